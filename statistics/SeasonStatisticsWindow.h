#pragma once
#include "statistics/SeasonStatistics.h"

#include <QFutureWatcher>
#include <QWidget>

#include <memory>

class Database;
class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

// "收费统计": how far the collection of a heating season has come, for the whole office
// and area by area, with three charts; printable and exportable. A child window of the
// main window. The figures are computed on a worker thread through a connection of its
// own, so the window stays responsive; a newer request supersedes an older one.
class SeasonStatisticsWindow : public QWidget {
    Q_OBJECT
public:
    explicit SeasonStatisticsWindow(QWidget *parent = nullptr);
    ~SeasonStatisticsWindow() override;

    QComboBox *seasonBox;    // "2024—2025采暖季", the year of the season as item data
    QPushButton *refreshButton; // "统计"
    QPushButton *printButton;   // "打印"
    QPushButton *excelButton;   // "Excel"
    QPushButton *closeButton;   // "退出"
    QPushButton *cancelButton;  // "取消": stops the computation running (shown while it runs)
    QLabel *statusLabel;
    QTableWidget *table;
    QChartView *rateView;
    QChartView *dailyView;
    QChartView *methodView;

    // The season shown in the picker.
    SeasonStatistics::Season season() const;
    // True while figures are being computed or their charts drawn.
    bool isComputing() const { return m_watcher.isRunning() || m_chartsPending; }
    // The figures of the last finished computation (empty before the first).
    const SeasonStatistics::Figures &figures() const { return m_figures; }
    bool hasFigures() const { return m_hasFigures; }
    // How long the worker took for the last figures, in seconds.
    double computeSeconds() const { return m_seconds; }

public slots:
    // "统计" and a change of the season: computes the figures of the chosen season.
    void refresh();
    // "打印": the page in the print preview.
    void printPage();
    // "Excel": the table with its chart in a new workbook, opened in the spreadsheet program.
    void exportToExcel();
    void closeWindow();
    // "取消": the running statements are interrupted; the figures shown stay as they were.
    void cancelComputation();

signals:
    // A computation finished and its figures are shown, charts included (or its error was).
    void figuresShown();

private:
    struct Outcome {
        SeasonStatistics::Figures figures;
        QString error;
        QString detail;
        double seconds = 0;
    };
    void computed();
    void showFigures();
    void setCharts(int next);

    SeasonStatistics::Period m_period;
    bool m_periodOk = false;
    SeasonStatistics::Figures m_figures;
    bool m_hasFigures = false;
    double m_seconds = 0;
    bool m_chartsPending = false;
    QFutureWatcher<Outcome> m_watcher;
    // The worker's connection; shared with a running computation, which may outlive the window.
    std::shared_ptr<Database> m_reader;
    int m_request = 0;      // the latest request; older results are dropped
    int m_running = 0;      // the request being computed
    bool m_pending = false; // a request came while another ran
    bool m_cancelled = false; // 取消 was pressed for the running computation
};
