#pragma once
#include "browse/BrowseCriteria.h"
#include "browse/BrowseQuery.h"
#include "db/Database.h"

#include <QColor>
#include <QStringList>
#include <QVector>
#include <QWidget>
#include <memory>

class DatePicker;
class LookupCombo;
class QBoxLayout;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTableView;
class QueryModel;
class ListFigures;

// A grid column that gets a fixed width after every run of the list query.
struct BrowseColumnWidth {
    QString caption;
    int width = 0;
};

// A footer sum: the totals query's column alias, read as text ("0" for a sum over no rows),
// shown after its prefix. The sums fill firstSumLabel, secondSumLabel, ... in this order.
struct BrowseFooterSum {
    QString alias;
    QString prefix;
};

// What a browse screen tells its base once, at construction.
struct BrowseSetup {
    QString caption;                       // window title
    QVector<BrowseCriterion> criteria;     // the check boxes, in clause order
    bool excel = false;                    // shows the "Excel" button
    QVector<BrowseColumnWidth> widths;     // fixed column widths by caption
    // A column (by caption) that also takes the grid's free width, never narrower than its
    // width above; empty: none.
    QString fillColumn;
    QStringList hiddenColumns{QStringLiteral("ID")};
    QVector<BrowseFooterSum> sums;
};

// The filter-and-browse pattern shared by every browse screen: a "查询条件" group built
// from the criteria table (each box ticked by a change of its input), the buttons "查询"
// (default: Enter in a filter runs it), "Excel" and "退出", the grid over the list query,
// and the footer labels countLabel..seventhSumLabel ("记录：" and the screen's sums).
//
// "查询" rebuilds conditions from the ticks (after whereStart()), runs requery and then the
// after-query step (the pop-up menu is attached, "Excel" enabled). requery repeats the
// criteria kept in conditions. A refused statement is shown in the error box and leaves the
// grid empty, the footer as it was, conditions as built, and skips the after-query step.
//
// The grid shows the first rows at once and reads further pages by their keys as the
// operator scrolls. The footer's count and sums, and the keys of every page, come from a
// background thread (ListFigures); the footer says "统计中…" until they arrive. A new
// "查询", a sort or closing the window stops them. A click on a column heading orders the
// list by that column (again: the other way), the ID breaking ties.
//
// A cell too narrow for its text shows the whole text as its tooltip.
//
// A screen supplies its statements (listSql, totalsSql, optionally countSql and
// whereStart), and optionally a pop-up menu (setGridPopup), extra widgets above the
// buttons (extrasLayout), and a text colour per row (rowTextColour).
class BrowseWindow : public QWidget {
    Q_OBJECT
public:
    ~BrowseWindow() override;

    QGroupBox *criteriaGroup;    // "查询条件"
    QPushButton *queryButton;    // "查询"
    QPushButton *closeButton;    // "退出"
    QPushButton *excelButton;    // "Excel"; nullptr on screens without it
    QTableView *listGrid;
    QLabel *countLabel, *firstSumLabel, *secondSumLabel, *thirdSumLabel, *fourthSumLabel, *fifthSumLabel, *sixthSumLabel, *seventhSumLabel;
    QueryModel *listModel;   // the list query shown in the grid
    Rows lastTotals;         // the totals of the last successful requery
    QMenu *gridMenu = nullptr;
    // The clauses built at the last "查询"; requery reads them.
    QString conditions;

    // The criteria widgets, numbered from 1 in table order: the n-th check box, and the
    // n-th edit box, lookup list or date picker (a date range has two pickers).
    QCheckBox *checkBox(int n) const;
    QLineEdit *edit(int n) const;
    LookupCombo *lookup(int n) const;
    DatePicker *datePicker(int n) const;
    QLabel *label(int n) const; // countLabel..seventhSumLabel
    const QVector<BrowseCriterion> &criteria() const { return m_setup.criteria; }

    // The grid's current row, -1 when the list holds none.
    int currentRow() const;
    // A value of the current row by column caption; throws AppError without a current row.
    QString currentValue(const QString &caption) const;
    // True once the pop-up menu is attached to the grid (after the first query).
    bool gridPopupAttached() const { return m_popupAttached; }

    // For the export: the list statement whose rows the grid shows (empty when the last
    // list was refused), to be run again from the first row; and the totals row.
    QString lastListStatement() const;
    // True once the footer's figures of the last list have arrived (or failed).
    bool figuresDone() const;
    // Waits, running the event loop, until the figures have arrived; false on timeout.
    bool waitForFigures(int timeoutMs = 60000);
    ListFigures *figures() const { return m_figures; }
    // The list's connection, on which a cursor over every row of the list in the grid's
    // order (listModel->orderedStatement()) is read; AppError when no list is open.
    Database &listReader();
    // Orders the list by a grid column (the heading's click).
    void sortByColumn(int column, Qt::SortOrder order);
    const Rows &totals() const { return lastTotals; }

    // The text colour of a row, asked whenever a cell is painted; an invalid colour keeps
    // the ordinary one. Selected rows keep their highlight background.
    virtual QColor rowTextColour(int row) const;

public slots:
    // "查询": builds conditions, runs requery, and after a success takes the after-query step.
    virtual void runQuery();
    // Runs the list and totals statements with the current conditions and fills the grid and
    // the footer. Returns false when a statement was refused (already shown).
    bool requery();
    // "退出": closes the window (and its child window in the main window).
    void closeWindow();
    // "Excel": emits excelRequested(); a screen's export overrides or connects to it.
    virtual void exportToExcel();

signals:
    void excelRequested();

protected:
    BrowseWindow(const BrowseSetup &setup, QWidget *parent = nullptr);

    // The list statement in full (select fragments, "WHERE (theDel = '否') ", conditions,
    // ORDER BY), and the totals statement (sums, FROM, WHERE, conditions).
    virtual QString listSql() const = 0;
    virtual QString totalsSql() const = 0;
    // The exact row count of the list. By default a count over the whole list statement,
    // which reads every listed column; a screen gives a count over its own FROM and WHERE
    // (conditions included) to have it at index speed.
    virtual QString countSql(const QString &list) const;
    // The list's order by captions, the last key unique (see ListKey); by default the
    // newest row first, by ID.
    virtual QVector<ListKey> listOrder() const;
    // What conditions begins with at "查询" (the arrears reminder's date clause).
    virtual QString whereStart() const { return {}; }
    // The after-query step: attaches the pop-up menu, enables "Excel".
    virtual void afterQuery();

    // The grid's pop-up menu, attached after the first successful "查询"; the grid shows
    // the tooltip that hints at it from the start.
    void setGridPopup(QMenu *menu);
    // A row to the right of the criteria group, above the buttons, for extra inputs.
    QBoxLayout *extrasLayout() const { return m_extras; }

    // conditions as the ticks and inputs stand now.
    QString buildWhere() const;
    // Esc that no box used closes the window, as it closes a dialog.
    void keyPressEvent(QKeyEvent *event) override;

private:
    // False when the operator gave the list up while its first rows were read.
    bool refresh();
    // Opens the list in the grid with the current order; starts the figures (count and
    // totals only when asked: a sort keeps those it has). False when the operator gave it
    // up while its first rows were read (the grid is then empty, the footer blank).
    bool openList(bool countAndTotals);
    void showPendingFooter();
    void fillTotals(const Rows &totals);
    void applyColumns();
    // Widens the fill column to the grid's free width.
    void fillFreeWidth();
    // The heading's indicator as the list is ordered (none in the screen's own order).
    void showSortIndicator();
    bool eventFilter(QObject *watched, QEvent *event) override;

    BrowseSetup m_setup;
    QVector<QCheckBox *> m_checks;
    QVector<QLineEdit *> m_edits;
    QVector<LookupCombo *> m_lookups;
    QVector<DatePicker *> m_pickers;
    // Per criterion: the index of its first input in the list of its kind.
    QVector<int> m_inputIndex;
    QLabel *m_labels[8];
    QBoxLayout *m_extras;
    bool m_popupAttached = false;
    std::unique_ptr<BrowseQuery> m_query;
    ListFigures *m_figures;
    QVector<ListKey> m_sortKeys; // a heading's order; empty: the screen's own
    QString m_lastList;
    bool m_countPending = false;
    bool m_totalsPending = false;
};
