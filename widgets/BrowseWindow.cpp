#include "widgets/BrowseWindow.h"
#include "browse/ListFigures.h"
#include "browse/QueryModel.h"
#include "data/DataModule.h"
#include "widgets/DatePicker.h"
#include "widgets/Guard.h"
#include "widgets/LongAction.h"
#include "widgets/LookupCombo.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QToolTip>
#include <QVBoxLayout>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace {

// Paints each cell in the text colour that its screen gives the row, at paint time, so
// a colour that depends on an input follows that input at the next repaint.
class RowColourDelegate : public QStyledItemDelegate {
public:
    RowColourDelegate(const BrowseWindow *window, QObject *parent)
        : QStyledItemDelegate(parent), m_window(window)
    {
    }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const QColor c = m_window->rowTextColour(index.row());
        if (c.isValid()) {
            option->palette.setColor(QPalette::Text, c);
            option->palette.setColor(QPalette::HighlightedText, c);
        }
    }

    // A cell that shows only part of its text (the grid cuts it with "…") has the whole
    // text as its tooltip, wrapped.
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override
    {
        if (event && event->type() == QEvent::ToolTip && index.isValid()) {
            QStyleOptionViewItem o = option;
            initStyleOption(&o, index);
            QStyle *style = view->style();
            const int margins = 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1);
            const QRect room = style->subElementRect(QStyle::SE_ItemViewItemText, &o, view);
            if (!o.text.isEmpty() && o.fontMetrics.horizontalAdvance(o.text) + margins > room.width()) {
                QToolTip::showText(event->globalPos(),
                                   QStringLiteral("<p style='white-space:pre-wrap'>") + o.text.toHtmlEscaped()
                                       + QStringLiteral("</p>"),
                                   view->viewport(), option.rect);
                return true;
            }
        }
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }

private:
    const BrowseWindow *m_window;
};

constexpr int FooterLabelWidth = 160;
constexpr int FooterGap = 8;
constexpr int DefaultColumnMax = 220;
constexpr int BatchRowsForWidths = 200; // rows looked at for a default column width

// The footer band: countLabel..seventhSumLabel side by side, each at least FooterLabelWidth apart and as
// wide as its text (a total of a large district is wider than the usual place), placed
// again whenever a text changes. They are placed, not laid out, so that a narrow window
// clips the last ones instead of growing.
class FooterBand : public QWidget {
public:
    explicit FooterBand(QWidget *parent) : QWidget(parent) {}
    QLabel *labels[8] = {};

    void place()
    {
        int x = FooterGap;
        for (QLabel *l : labels) {
            const int width = qMax(FooterLabelWidth - FooterGap, l->sizeHint().width());
            l->setGeometry(x, 2, width, 20);
            x += width + FooterGap;
        }
    }

protected:
    bool event(QEvent *event) override
    {
        // A label whose text changed asks for this (only while the band is shown).
        if (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Show)
            place();
        return QWidget::event(event);
    }
};

} // namespace

BrowseWindow::BrowseWindow(const BrowseSetup &setup, QWidget *parent)
    : QWidget(parent), m_setup(setup)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(m_setup.caption);
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(13);
    setFont(f);
    resize(1000, 560);

    // Top band: the criteria, then the extras and the buttons.
    criteriaGroup = new QGroupBox(QStringLiteral("查询条件"), this);
    auto *grid = new QGridLayout(criteriaGroup);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(6);
    QVector<int> placed; // criteria placed so far in each row
    for (int i = 0; i < m_setup.criteria.size(); ++i) {
        const BrowseCriterion &c = m_setup.criteria.at(i);
        auto *box = new QCheckBox(c.caption, criteriaGroup);
        box->setObjectName(QStringLiteral("checkBox%1").arg(i + 1));
        m_checks << box;
        QWidget *input = nullptr;
        switch (c.input) {
        case BrowseCriterion::Text: {
            auto *e = new QLineEdit(criteriaGroup);
            e->setObjectName(QStringLiteral("edit%1").arg(m_edits.size() + 1));
            e->setFixedWidth(130);
            m_inputIndex << int(m_edits.size());
            m_edits << e;
            connect(e, &QLineEdit::textChanged, box, [box] { box->setChecked(true); });
            input = e;
            break;
        }
        case BrowseCriterion::Lookup: {
            auto *l = new LookupCombo(criteriaGroup);
            l->setObjectName(QStringLiteral("lookup%1").arg(m_lookups.size() + 1));
            l->setFixedWidth(130);
            m_inputIndex << int(m_lookups.size());
            m_lookups << l;
            connect(l, &LookupCombo::picked, box, [box] { box->setChecked(true); });
            input = l;
            break;
        }
        case BrowseCriterion::DateRange: {
            auto *w = new QWidget(criteriaGroup);
            auto *h = new QHBoxLayout(w);
            h->setContentsMargins(0, 0, 0, 0);
            auto *from = new DatePicker(w);
            auto *to = new DatePicker(w);
            from->setObjectName(QStringLiteral("datePicker%1").arg(m_pickers.size() + 1));
            to->setObjectName(QStringLiteral("datePicker%1").arg(m_pickers.size() + 2));
            m_inputIndex << int(m_pickers.size());
            m_pickers << from << to;
            h->addWidget(from);
            h->addWidget(new QLabel(QStringLiteral("至："), w));
            h->addWidget(to);
            connect(from, &DatePicker::userChanged, box, [box] { box->setChecked(true); });
            connect(to, &DatePicker::userChanged, box, [box] { box->setChecked(true); });
            input = w;
            break;
        }
        }
        while (placed.size() <= c.row)
            placed << 0;
        const int col = placed[c.row]++ * 2;
        grid->addWidget(box, c.row, col);
        grid->addWidget(input, c.row, col + 1);
    }
    grid->setColumnStretch(grid->columnCount(), 1);

    queryButton = new QPushButton(QStringLiteral("查询"), this);
    queryButton->setDefault(true);
    excelButton = m_setup.excel ? new QPushButton(QStringLiteral("Excel"), this) : nullptr;
    closeButton = new QPushButton(QStringLiteral("退出"), this);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(queryButton);
    if (excelButton) {
        excelButton->setEnabled(false);
        buttons->addWidget(excelButton);
    }
    buttons->addWidget(closeButton);
    buttons->addStretch();
    for (QPushButton *b : {queryButton, closeButton, excelButton})
        if (b) {
            b->setMinimumSize(80, 30);
            b->setAutoDefault(false);
        }

    m_extras = new QHBoxLayout;
    auto *right = new QVBoxLayout;
    right->addLayout(m_extras);
    right->addStretch();
    right->addLayout(buttons);

    auto *top = new QHBoxLayout;
    top->addWidget(criteriaGroup);
    top->addLayout(right);
    top->addStretch();

    // Middle band: the grid, read-only, whole rows, a row indicator, resizable columns.
    listModel = new QueryModel(this);
    m_query = std::make_unique<BrowseQuery>(*listModel);
    listGrid = new QTableView(this);
    listGrid->setModel(listModel);
    listGrid->setItemDelegate(new RowColourDelegate(this, listGrid));
    listGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    listGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    listGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    listGrid->setWordWrap(false);
    // Tab leaves the grid (it selects whole rows); the arrow keys move in it.
    listGrid->setTabKeyNavigation(false);
    listGrid->setContextMenuPolicy(Qt::PreventContextMenu);
    listGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    listGrid->horizontalHeader()->setHighlightSections(false);
    listGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    listGrid->verticalHeader()->setDefaultSectionSize(22);
    listGrid->verticalHeader()->setFixedWidth(14);
    listGrid->verticalHeader()->setResizeContentsPrecision(BatchRowsForWidths);
    connect(listModel, &QueryModel::fetchFailed, this, [this](const QString &message, const QString &detail) {
        showError(this, withFullStop(message), detail);
    });
    QHeaderView *heading = listGrid->horizontalHeader();
    heading->setSectionsClickable(true);
    heading->setSortIndicatorShown(false);
    connect(heading, &QHeaderView::sectionClicked, this, [this](int section) {
        // The heading has already turned its own indicator round at the click: the order
        // is decided from the list's last order instead.
        const QString caption = listModel->columns().value(section);
        const bool same = !m_sortKeys.isEmpty() && !caption.isEmpty()
            && m_sortKeys.first().column.compare(caption, Qt::CaseInsensitive) == 0;
        const bool ascendingNow = same && !m_sortKeys.first().descending;
        sortByColumn(section, ascendingNow ? Qt::DescendingOrder : Qt::AscendingOrder);
        showSortIndicator();
    });

    m_figures = new ListFigures(this);
    connect(m_figures, &ListFigures::countReady, this, [this](const QString &count) {
        m_countPending = false;
        countLabel->setText(QStringLiteral("记录：") + count);
    });
    connect(m_figures, &ListFigures::totalsReady, this, [this](const Rows &totals) {
        m_totalsPending = false;
        fillTotals(totals);
    });
    connect(m_figures, &ListFigures::pageStartsReady, listModel, &QueryModel::setPageStarts);
    connect(m_figures, &ListFigures::failed, this, [this](const QString &message, const QString &detail) {
        // The footer does not go on saying it counts.
        if (m_countPending)
            countLabel->setText(QStringLiteral("记录："));
        if (m_totalsPending)
            for (int i = 0; i < m_setup.sums.size() && i + 1 < 8; ++i)
                m_labels[i + 1]->setText(m_setup.sums.at(i).prefix);
        m_countPending = m_totalsPending = false;
        showError(this, withFullStop(message), detail);
    });

    // Bottom band: countLabel..seventhSumLabel, left to right.
    auto *footer = new FooterBand(this);
    footer->setFixedHeight(24);
    for (int i = 0; i < 8; ++i) {
        m_labels[i] = footer->labels[i] = new QLabel(footer);
        m_labels[i]->setObjectName(QStringLiteral("label%1").arg(i + 1));
    }
    footer->place();
    countLabel = m_labels[0];
    firstSumLabel = m_labels[1];
    secondSumLabel = m_labels[2];
    thirdSumLabel = m_labels[3];
    fourthSumLabel = m_labels[4];
    fifthSumLabel = m_labels[5];
    sixthSumLabel = m_labels[6];
    seventhSumLabel = m_labels[7];

    auto *v = new QVBoxLayout(this);
    v->setContentsMargins(6, 6, 6, 4);
    v->addLayout(top);
    v->addWidget(listGrid, 1);
    v->addWidget(footer);

    // "查询" is the default button: Enter in any filter input runs it.
    for (QWidget *w : criteriaGroup->findChildren<QWidget *>())
        w->installEventFilter(this);
    if (!m_setup.fillColumn.isEmpty())
        listGrid->viewport()->installEventFilter(this);

    connect(queryButton, &QPushButton::clicked, this, &BrowseWindow::runQuery);
    connect(closeButton, &QPushButton::clicked, this, &BrowseWindow::closeWindow);
    if (excelButton)
        connect(excelButton, &QPushButton::clicked, this, &BrowseWindow::exportToExcel);

    // At opening: the lookup lists; nothing is queried until "查询".
    guard(this, [&] {
        for (int i = 0; i < m_setup.criteria.size(); ++i) {
            const BrowseCriterion &c = m_setup.criteria.at(i);
            if (c.input == BrowseCriterion::Lookup && c.filler)
                m_lookups.at(m_inputIndex.at(i))->bind((dataModule().*c.filler)());
        }
    });
}

BrowseWindow::~BrowseWindow()
{
    // The background statements stop before the window's list and connections go.
    m_figures->cancel();
}

void BrowseWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget()))
            sub->close();
        else
            close();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool BrowseWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == listGrid->viewport()) {
        if (event->type() == QEvent::Resize)
            fillFreeWidth();
        return QWidget::eventFilter(watched, event);
    }
    if (event->type() == QEvent::KeyPress) {
        const auto *k = static_cast<QKeyEvent *>(event);
        if ((k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) && k->modifiers() == Qt::NoModifier) {
            runQuery();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

QCheckBox *BrowseWindow::checkBox(int n) const
{
    return n >= 1 && n <= m_checks.size() ? m_checks.at(n - 1) : nullptr;
}

QLineEdit *BrowseWindow::edit(int n) const
{
    return n >= 1 && n <= m_edits.size() ? m_edits.at(n - 1) : nullptr;
}

LookupCombo *BrowseWindow::lookup(int n) const
{
    return n >= 1 && n <= m_lookups.size() ? m_lookups.at(n - 1) : nullptr;
}

DatePicker *BrowseWindow::datePicker(int n) const
{
    return n >= 1 && n <= m_pickers.size() ? m_pickers.at(n - 1) : nullptr;
}

QLabel *BrowseWindow::label(int n) const
{
    return n >= 1 && n <= 8 ? m_labels[n - 1] : nullptr;
}

int BrowseWindow::currentRow() const
{
    if (listModel->rowCount() == 0)
        return -1;
    const int r = listGrid->currentIndex().row();
    return r >= 0 ? r : 0;
}

QString BrowseWindow::currentValue(const QString &caption) const
{
    return listModel->value(currentRow(), caption);
}

QString BrowseWindow::lastListStatement() const
{
    return listModel->isOpen() ? m_lastList : QString();
}

bool BrowseWindow::figuresDone() const
{
    return m_figures->isDone() && !listModel->growing();
}

bool BrowseWindow::waitForFigures(int timeoutMs)
{
    if (m_figures->isDone())
        return true;
    QEventLoop loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    connect(m_figures, &ListFigures::finished, &loop, &QEventLoop::quit);
    loop.exec();
    return m_figures->isDone();
}

Database &BrowseWindow::listReader()
{
    if (!listModel->isOpen())
        throw AppError(QStringLiteral("列表没有打开，请重新查询"));
    return m_query->reader(dataModule().db());
}

void BrowseWindow::sortByColumn(int column, Qt::SortOrder order)
{
    if (!listModel->isOpen() || column < 0 || column >= listModel->columnCount())
        return;
    const QString caption = listModel->columns().at(column);
    const bool descending = order == Qt::DescendingOrder;
    const bool byId = caption.compare(QStringLiteral("ID"), Qt::CaseInsensitive) == 0;
    m_sortKeys = {ListKey{caption, descending, byId}};
    if (!byId)
        m_sortKeys << ListKey{QStringLiteral("ID"), descending, true};
    showSortIndicator();
    // The count and the sums do not change with the order: kept when they have arrived.
    guard(this, [&] { openList(m_countPending || m_totalsPending || !m_figures->isDone()); });
}

void BrowseWindow::showSortIndicator()
{
    QHeaderView *heading = listGrid->horizontalHeader();
    const int column = m_sortKeys.isEmpty() ? -1 : listModel->columnIndex(m_sortKeys.first().column);
    heading->setSortIndicatorShown(column >= 0);
    if (column >= 0)
        heading->setSortIndicator(column, m_sortKeys.first().descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

QColor BrowseWindow::rowTextColour(int) const
{
    return {};
}

QVector<ListKey> BrowseWindow::listOrder() const
{
    return {{QStringLiteral("ID"), true, true}};
}

QString BrowseWindow::countSql(const QString &list) const
{
    return Browse::countStatement(list);
}

QString BrowseWindow::buildWhere() const
{
    QVector<BrowseValue> values;
    for (int i = 0; i < m_setup.criteria.size(); ++i) {
        const BrowseCriterion &c = m_setup.criteria.at(i);
        BrowseValue v;
        v.ticked = m_checks.at(i)->isChecked();
        const int k = m_inputIndex.at(i);
        switch (c.input) {
        case BrowseCriterion::Text:
            v.text = m_edits.at(k)->text();
            break;
        case BrowseCriterion::Lookup:
            v.text = m_lookups.at(k)->text();
            break;
        case BrowseCriterion::DateRange:
            v.text = m_pickers.at(k)->text();
            v.to = m_pickers.at(k + 1)->text();
            break;
        }
        values << v;
    }
    return Browse::where(m_setup.criteria, values, whereStart());
}

void BrowseWindow::runQuery()
{
    if (!guard(this, [&] { conditions = buildWhere(); }))
        return;
    if (requery())
        afterQuery();
}

bool BrowseWindow::requery()
{
    bool listed = false;
    return guard(this, [&] { listed = refresh(); }) && listed;
}

bool BrowseWindow::refresh()
{
    return openList(true);
}

namespace {

// A first page that takes longer than this is waited for with the window answering.
constexpr int QuietWaitMs = 30;

// Makes the window the main window's active list again and gives the focus back to the
// box that had it.
void keepActive(QWidget *window, QWidget *focus)
{
    if (auto *sub = qobject_cast<QMdiSubWindow *>(window->parentWidget())) {
        if (QMdiArea *area = sub->mdiArea(); area && area->activeSubWindow() != sub)
            area->setActiveSubWindow(sub);
    }
    if (focus && window->isAncestorOf(focus) && focus->isVisible() && focus->isEnabled())
        focus->setFocus(Qt::OtherFocusReason);
}

// Reads the first page of a keyed list on a thread of its own. Ordered by a column
// without an index, or under criteria that few rows meet, the engine goes through the
// whole list before the first row (seconds at ten times today's district): meanwhile the
// window answers and, after half a second, offers "取消". False when the operator gave it
// up (the statement is interrupted); throws what the reading threw.
bool readFirstPageAnswering(QWidget *window, Database &reader, const KeyedList &list, QueryModel::FirstPage *out)
{
    struct Reading {
        std::mutex mutex;
        std::condition_variable ready;
        bool done = false;
        QueryModel::FirstPage page;
        std::exception_ptr error;
    };
    auto reading = std::make_shared<Reading>();
    std::thread worker([reading, &reader, list] {
        QueryModel::FirstPage page;
        std::exception_ptr error;
        try {
            page = QueryModel::readFirstPage(reader, list);
        } catch (...) {
            error = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> lock(reading->mutex);
            reading->page = std::move(page);
            reading->error = error;
            reading->done = true;
        }
        reading->ready.notify_all();
        // Wakes the window's loop, which may be waiting for its next event.
        QMetaObject::invokeMethod(qApp, [] {}, Qt::QueuedConnection);
    });
    auto done = [&] {
        std::lock_guard<std::mutex> lock(reading->mutex);
        return reading->done;
    };
    bool givenUp = false;
    {
        std::unique_lock<std::mutex> lock(reading->mutex);
        reading->ready.wait_for(lock, std::chrono::milliseconds(QuietWaitMs), [&] { return reading->done; });
    }
    if (!done()) {
        // No second "查询" or sort while this one runs. Disabling the window takes the focus
        // out of it; given back to nobody, the main window would hand it, when it is active
        // again after the progress window, to the first box of whichever list window comes
        // first, and show that list in place of this one.
        const QPointer<QWidget> focus = window->focusWidget();
        window->setEnabled(false);
        {
            LongAction action(window, QStringLiteral("正在查询…"));
            givenUp = !action.waitUntil(done);
        }
        window->setEnabled(true);
        keepActive(window, focus);
        // An interrupt that arrives between two steps is lost: repeated until it ends.
        while (givenUp && !done()) {
            reader.interrupt();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    worker.join();
    if (givenUp)
        return false;
    if (reading->error)
        std::rethrow_exception(reading->error);
    *out = std::move(reading->page);
    return true;
}

} // namespace

bool BrowseWindow::openList(bool countAndTotals)
{
    SqlText = listSql();
    const QString list = SqlText;
    Database &db = dataModule().db(); // reports a missing or unreadable file as usual
    KeyedList keyed;
    keyed.base = KeyedList::withoutOrder(list);
    keyed.keys = m_sortKeys.isEmpty() ? listOrder() : m_sortKeys;
    keyed.nullsSortLow = db.nullsSortLow();
    // A heading's order: its first page comes off the column's index, all its keys from
    // one scan and a sort. The lists' own orders read their keys as they always did.
    keyed.keysByScan = !m_sortKeys.isEmpty() && !m_sortKeys.first().notNull && db.plusHidesIndex();
    // A refused statement leaves the list closed and the grid empty; the footer keeps
    // its texts, since nothing below runs. The old list lets go of the reader connection,
    // on which the first page is read.
    Database &reader = m_query->reader(db);
    // Nothing of the old list arrives while the window answers during the reading.
    m_figures->cancel();
    m_query->closeList();
    m_lastList.clear();
    QueryModel::FirstPage first;
    if (!readFirstPageAnswering(this, reader, keyed, &first)) {
        m_figures->cancel();
        m_countPending = m_totalsPending = false;
        countLabel->setText(QStringLiteral("记录："));
        for (int i = 0; i < m_setup.sums.size() && i + 1 < 8; ++i)
            m_labels[i + 1]->setText(m_setup.sums.at(i).prefix);
        return false;
    }
    m_query->openKeyed(db, keyed, std::move(first));
    m_lastList = list;
    applyColumns();
    if (listModel->rowCount() > 0) {
        int first = 0;
        while (first < listModel->columnCount() - 1 && listGrid->isColumnHidden(first))
            ++first;
        listGrid->setCurrentIndex(listModel->index(0, first));
    }
    listGrid->scrollToTop();

    ListFigures::Request request;
    request.pageSize = QueryModel::BatchSize;
    if (!listModel->atEnd())
        request.keys = keyed;
    if (countAndTotals) {
        request.count = countSql(list);
        if (!m_setup.sums.isEmpty())
            request.totals = SqlText = totalsSql();
        showPendingFooter();
    } else if (request.keys.isValid()) {
        m_figures->cancel();
    }
    if (request.count.isEmpty() && request.totals.isEmpty() && !request.keys.isValid())
        return true;
    m_figures->start(db, request);
    return true;
}

void BrowseWindow::showPendingFooter()
{
    m_figures->cancel();
    m_countPending = true;
    m_totalsPending = !m_setup.sums.isEmpty();
    countLabel->setText(QStringLiteral("记录：统计中…"));
    for (int i = 0; i < m_setup.sums.size() && i + 1 < 8; ++i)
        m_labels[i + 1]->setText(m_setup.sums.at(i).prefix + QStringLiteral("统计中…"));
}

void BrowseWindow::fillTotals(const Rows &totals)
{
    lastTotals = totals;
    for (int i = 0; i < m_setup.sums.size() && i + 1 < 8; ++i) {
        const BrowseFooterSum &s = m_setup.sums.at(i);
        QString v = lastTotals.isEmpty() ? QString() : lastTotals.at(0, s.alias);
        if (v.isEmpty())
            v = QStringLiteral("0");
        m_labels[i + 1]->setText(s.prefix + v);
    }
}

void BrowseWindow::applyColumns()
{
    QHeaderView *h = listGrid->horizontalHeader();
    for (int c = 0; c < listModel->columnCount(); ++c) {
        const QString caption = listModel->columns().at(c);
        bool hidden = false;
        for (const QString &name : m_setup.hiddenColumns)
            hidden = hidden || name.compare(caption, Qt::CaseInsensitive) == 0;
        listGrid->setColumnHidden(c, hidden);
        if (hidden)
            continue;
        int width = 0;
        for (const BrowseColumnWidth &w : m_setup.widths)
            if (w.caption.compare(caption, Qt::CaseInsensitive) == 0)
                width = w.width;
        if (width > 0) {
            listGrid->setColumnWidth(c, width);
        } else {
            // The default: wide enough for the caption and the first rows read.
            listGrid->resizeColumnToContents(c);
            listGrid->setColumnWidth(c, qMin(h->sectionSize(c) + 12, DefaultColumnMax));
        }
    }
    fillFreeWidth();
}

void BrowseWindow::fillFreeWidth()
{
    const int c = m_setup.fillColumn.isEmpty() ? -1 : listModel->columnIndex(m_setup.fillColumn);
    if (c < 0 || listGrid->isColumnHidden(c))
        return;
    int own = 0;
    for (const BrowseColumnWidth &w : m_setup.widths)
        if (w.caption.compare(m_setup.fillColumn, Qt::CaseInsensitive) == 0)
            own = w.width;
    int others = 0;
    for (int k = 0; k < listModel->columnCount(); ++k)
        if (k != c && !listGrid->isColumnHidden(k))
            others += listGrid->columnWidth(k);
    listGrid->setColumnWidth(c, qMax(own, listGrid->viewport()->width() - others));
}

void BrowseWindow::afterQuery()
{
    if (gridMenu && !m_popupAttached) {
        m_popupAttached = true;
        listGrid->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(listGrid, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
            gridMenu->popup(listGrid->viewport()->mapToGlobal(pos));
        });
    }
    if (excelButton)
        excelButton->setEnabled(true);
}

void BrowseWindow::setGridPopup(QMenu *menu)
{
    gridMenu = menu;
    listGrid->setToolTip(QStringLiteral("亲，鼠标右键，有惊喜哟！"));
}

void BrowseWindow::closeWindow()
{
    // Inside the main window the child window frame goes too; both are released.
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget()))
        sub->close();
    else
        close();
}

void BrowseWindow::exportToExcel()
{
    emit excelRequested();
}
