#include "statistics/SeasonStatisticsWindow.h"
#include "data/DataModule.h"
#include "db/Database.h"
#include "db/Dates.h"
#include "db/Numbers.h"
#include "output/UiSheetOpener.h"
#include "report/ReportPresenter.h"
#include "statistics/SeasonCharts.h"
#include "statistics/SeasonPrint.h"
#include "statistics/SeasonWorkbook.h"
#include "widgets/DialogParent.h"
#include "widgets/Guard.h"

#include <QBoxLayout>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

using namespace SeasonStatistics;

SeasonStatisticsWindow::SeasonStatisticsWindow(QWidget *parent)
    : QWidget(parent)
{
    setWindowTitle(QStringLiteral("收费统计"));
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(14);
    setFont(f);

    seasonBox = new QComboBox(this);
    seasonBox->setObjectName(QStringLiteral("seasonBox"));
    refreshButton = new QPushButton(QStringLiteral("统计"), this);
    printButton = new QPushButton(QStringLiteral("打印"), this);
    excelButton = new QPushButton(QStringLiteral("Excel"), this);
    closeButton = new QPushButton(QStringLiteral("退出"), this);
    cancelButton = new QPushButton(QStringLiteral("取消"), this);
    cancelButton->setVisible(false);
    statusLabel = new QLabel(this);
    printButton->setEnabled(false);
    excelButton->setEnabled(false);

    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("采暖季："), this));
    top->addWidget(seasonBox);
    top->addWidget(refreshButton);
    top->addWidget(printButton);
    top->addWidget(excelButton);
    top->addWidget(closeButton);
    top->addWidget(cancelButton);
    top->addSpacing(12);
    top->addWidget(statusLabel, 1);

    const QStringList headings = tableHeadings();
    table = new QTableWidget(0, int(headings.size()), this);
    table->setHorizontalHeaderLabels(headings);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setDefaultSectionSize(22);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);

    auto makeView = [this](const char *name) {
        auto *v = new QChartView(this);
        v->setObjectName(QString::fromLatin1(name));
        v->setRenderHint(QPainter::Antialiasing);
        v->setMinimumSize(240, 200);
        return v;
    };
    rateView = makeView("rateView");
    dailyView = makeView("dailyView");
    methodView = makeView("methodView");
    auto *charts = new QSplitter(Qt::Horizontal, this);
    charts->addWidget(rateView);
    charts->addWidget(dailyView);
    charts->addWidget(methodView);
    charts->setStretchFactor(0, 4);
    charts->setStretchFactor(1, 4);
    charts->setStretchFactor(2, 3);
    auto *split = new QSplitter(Qt::Vertical, this);
    split->addWidget(table);
    split->addWidget(charts);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);
    split->setSizes({260, 420}); // the charts get the larger part from the start

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(split, 1);

    connect(refreshButton, &QPushButton::clicked, this, &SeasonStatisticsWindow::refresh);
    connect(printButton, &QPushButton::clicked, this, &SeasonStatisticsWindow::printPage);
    connect(excelButton, &QPushButton::clicked, this, &SeasonStatisticsWindow::exportToExcel);
    connect(closeButton, &QPushButton::clicked, this, &SeasonStatisticsWindow::closeWindow);
    connect(cancelButton, &QPushButton::clicked, this, &SeasonStatisticsWindow::cancelComputation);
    connect(&m_watcher, &QFutureWatcher<Outcome>::finished, this, &SeasonStatisticsWindow::computed);

    // The season that holds the charging date, a few before it and the next one.
    m_periodOk = guard(this, [this] {
        m_period = periodFromTexts(PeriodBeginMonth, PeriodBeginDay, PeriodEndMonth, PeriodEndDay);
    });
    if (!m_periodOk) {
        seasonBox->setEnabled(false);
        refreshButton->setEnabled(false);
        statusLabel->setText(QStringLiteral("收费周期设置有误，无法统计"));
        return;
    }
    QDate charging = Dates::tryParse(ChargeDate);
    if (!charging.isValid())
        charging = QDate::currentDate();
    const Season current = seasonHolding(charging, m_period);
    for (int y = current.year - 5; y <= current.year + 1; ++y)
        seasonBox->addItem(seasonOf(y, m_period).caption(), y);
    seasonBox->setCurrentIndex(seasonBox->findData(current.year));
    connect(seasonBox, &QComboBox::currentIndexChanged, this, &SeasonStatisticsWindow::refresh);
    refresh();
}

SeasonStatisticsWindow::~SeasonStatisticsWindow()
{
    // The worker holds only its own connection and copies; it is left to finish and its
    // result is dropped.
    disconnect(&m_watcher, nullptr, this, nullptr);
}

Season SeasonStatisticsWindow::season() const
{
    return seasonOf(seasonBox->currentData().toInt(), m_period);
}

void SeasonStatisticsWindow::refresh()
{
    if (!m_periodOk)
        return;
    ++m_request;
    m_chartsPending = false; // charts of older figures stop being drawn
    if (m_watcher.isRunning()) {
        m_pending = true; // computed() starts the latest request when this one is done
        return;
    }
    // The worker reads through a connection of its own, handed out by the data module (a
    // missing or unreadable file is reported here, as everywhere else). It stays open for
    // the window's next season, so the pages it has read are at hand again; one
    // computation at a time uses it.
    if (!m_reader && !guard(this, [this] { m_reader = std::shared_ptr<Database>(dataModule().db().openReader()); }))
        return;
    const Season s = season();
    m_running = m_request;
    m_pending = false;
    statusLabel->setText(QStringLiteral("正在统计 %1 …").arg(s.caption()));
    refreshButton->setEnabled(false);
    m_cancelled = false;
    cancelButton->setVisible(true);
    m_watcher.setFuture(QtConcurrent::run([s, reader = m_reader]() {
        Outcome o;
        QElapsedTimer timer;
        timer.start();
        try {
            o.figures = compute(*reader, s);
        } catch (const AppError &e) {
            o.error = e.message();
            o.detail = e.detail();
        } catch (const std::exception &e) {
            o.error = QString::fromLocal8Bit(e.what());
        }
        o.seconds = timer.elapsed() / 1000.0;
        return o;
    }));
}

void SeasonStatisticsWindow::computed()
{
    const Outcome o = m_watcher.result();
    refreshButton->setEnabled(true);
    cancelButton->setVisible(false);
    if (m_cancelled && !o.error.isEmpty()) {
        // Stopped by the operator: not a failure, and the figures shown before stay.
        m_cancelled = false;
        statusLabel->setText(QStringLiteral("统计已取消"));
        emit figuresShown();
        return;
    }
    m_cancelled = false;
    if (m_pending || m_running != m_request) {
        refresh(); // the season changed meanwhile: these figures are not the ones asked for
        return;
    }
    if (!o.error.isEmpty()) {
        statusLabel->setText(QStringLiteral("统计失败"));
        showError(this, withFullStop(o.error), o.detail);
        emit figuresShown();
        return;
    }
    m_figures = o.figures;
    m_hasFigures = true;
    m_seconds = o.seconds;
    QString status = QStringLiteral("%1 至 %2，用时 %3 秒")
                         .arg(Dates::format(m_figures.season.begin), Dates::format(m_figures.season.end),
                              QString::number(o.seconds, 'f', 2));
    if (m_figures.office.undatedHouses > 0)
        status += QStringLiteral("；另有 %1 户的到期日期不是日期，未计入已交或欠费").arg(m_figures.office.undatedHouses);
    if (!m_figures.suspended.isEmpty())
        status += QStringLiteral("；报停 %1 户，面积 %2 平方米")
                      .arg(m_figures.suspended.last().houses)
                      .arg(Numbers::plain(m_figures.suspended.last().floorArea));
    statusLabel->setText(status);
    printButton->setEnabled(true);
    excelButton->setEnabled(true);
    showFigures();
}

void SeasonStatisticsWindow::showFigures()
{
    table->setRowCount(0);
    table->setRowCount(int(m_figures.areas.size()) + 1);
    auto fill = [this](int row, const AreaFigures &a, bool bold) {
        const QStringList cells = tableCells(a);
        for (int c = 0; c < cells.size(); ++c) {
            auto *item = new QTableWidgetItem(cells.at(c));
            item->setTextAlignment((c == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
            if (bold) {
                QFont f = item->font();
                f.setBold(true);
                item->setFont(f);
            }
            table->setItem(row, c, item);
        }
    };
    for (int i = 0; i < m_figures.areas.size(); ++i)
        fill(i, m_figures.areas.at(i), false);
    fill(int(m_figures.areas.size()), m_figures.office, true);
    m_chartsPending = true;
    // The charts begin in the next turn: the table is laid out and painted first.
    const int generation = m_request;
    QTimer::singleShot(0, this, [this, generation] {
        if (generation == m_request)
            setCharts(0);
    });
}

void SeasonStatisticsWindow::setCharts(int next)
{
    // Each chart in two turns of the event loop, the window answering between them: the
    // chart is made and laid out at its view's size first (with a hundred areas the
    // rate chart's names take most of the time), then put into its view, which then only
    // paints it. The old chart of a view goes in a later turn too. figuresShown follows
    // the last chart.
    QChartView *views[3] = {rateView, dailyView, methodView};
    QChart *(*makers[3])(const Figures &) = {&SeasonCharts::rateChart, &SeasonCharts::dailyChart,
                                             &SeasonCharts::methodChart};
    if (next >= 3) {
        m_chartsPending = false;
        emit figuresShown();
        return;
    }
    const int generation = m_request;
    QChartView *view = views[next];
    QChart *chart = makers[next](m_figures);
    chart->setParent(this); // released with the window should it close before the next turn
    chart->resize(view->viewport()->size());
    QTimer::singleShot(0, this, [this, next, generation, view, chart] {
        if (generation != m_request) {
            chart->deleteLater(); // newer figures are on their way
            return;
        }
        QChart *old = view->chart();
        chart->setParent(nullptr);
        view->setChart(chart);
        old->deleteLater();
        QTimer::singleShot(0, this, [this, next, generation] {
            if (generation == m_request)
                setCharts(next + 1);
        });
    });
}

void SeasonStatisticsWindow::printPage()
{
    guard(this, [this] {
        if (!m_hasFigures)
            throw AppError(QStringLiteral("请先统计"));
        ReportPresenter *presenter = report::presenter();
        if (!presenter)
            throw AppError(QStringLiteral("没有可用的打印预览"));
        const report::Report page = SeasonPrint::design(m_figures, UnitName);
        const AskingWindow asking(this);
        presenter->present(page.prepare());
    });
}

void SeasonStatisticsWindow::exportToExcel()
{
    guard(this, [this] {
        if (!m_hasFigures)
            throw AppError(QStringLiteral("请先统计"));
        const QString folder = exportFolder();
        if (!QDir().mkpath(folder))
            throw AppError(QStringLiteral("无法创建文件夹 %1").arg(QDir::toNativeSeparators(folder)));
        const QString path = newExportPath(folder, UnitName + QStringLiteral("收费统计 ") + m_figures.season.caption(),
                                           QDateTime::currentDateTime());
        SeasonWorkbook::write(path, m_figures, UnitName);
        if (!sheetOpener().open(path))
            offerToKeepWorkbook(this, path,
                                ExportLayouts::fileName(QStringLiteral("收费统计 ") + m_figures.season.caption(),
                                                        QDate::currentDate()));
    });
}

void SeasonStatisticsWindow::cancelComputation()
{
    if (!m_watcher.isRunning())
        return;
    m_cancelled = true;
    m_pending = false; // a season chosen meanwhile is not computed either
    statusLabel->setText(QStringLiteral("正在取消…"));
    // An interrupt that comes between two statements is lost: repeated until the worker
    // has stopped.
    auto *repeat = new QTimer(this);
    repeat->setInterval(20);
    const auto interrupt = [this, repeat] {
        if (!m_watcher.isRunning() || !m_reader) {
            repeat->deleteLater();
            return;
        }
        m_reader->interrupt();
    };
    connect(repeat, &QTimer::timeout, this, interrupt);
    repeat->start();
    interrupt();
}

void SeasonStatisticsWindow::closeWindow()
{
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget()))
        sub->close();
    else
        close();
}
