#include "bench/BenchScreens.h"

#include "browse/ListFigures.h"
#include "browse/ListKeys.h"
#include "browse/QueryModel.h"
#include "charging/ChargeQueryWindow.h"
#include "data/DataModule.h"
#include "data/Schema.h"
#include "operators/Login.h"
#include "output/UiSheetOpener.h"
#include "owners/ArrearsReminderWindow.h"
#include "owners/OwnerImportDialog.h"
#include "owners/OwnerQueryWindow.h"
#include "statistics/SeasonStatisticsWindow.h"
#include "widgets/DatePicker.h"
#include "widgets/LookupCombo.h"

#include <QApplication>
#include <QChartView>
#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMap>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTableWidget>
#include <QTextStream>
#include <QTimer>

#include <memory>
#include <stdexcept>

using namespace Bench;

namespace BenchScreens {

namespace {

constexpr int ActionTimeoutMs = 1800000;

bool footerFilled(const BrowseWindow &w)
{
    for (int i = 1; i <= 8; ++i)
        if (w.label(i)->text().contains(QStringLiteral("统计中")))
            return false;
    return true;
}

void waitFor(const std::function<bool()> &done, const QElapsedTimer &since)
{
    while (!done()) {
        if (since.elapsed() > ActionTimeoutMs)
            throw std::runtime_error("the window did not finish in time");
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

struct ListRun {
    double first = 0;  // the first rows painted
    double footer = 0; // "记录：" and the sums painted
    double done = 0;   // the background work over (the keys of every page)
    double pause = 0;  // the longest pause of the window meanwhile
};

// One action of a list window (a "查询", a heading's click), from the press until its first
// rows are painted, its footer is filled and its background work is over, the event loop
// turning meanwhile as it does for the operator.
ListRun listAction(BrowseWindow &w, const std::function<void()> &press)
{
    ListRun r;
    PauseProbe probe;
    QElapsedTimer t;
    probe.start();
    t.start();
    press();
    QCoreApplication::processEvents();
    w.listGrid->viewport()->repaint();
    r.first = double(t.nsecsElapsed()) / 1e6;
    waitFor([&] { return footerFilled(w); }, t);
    for (int i = 1; i <= 8; ++i)
        w.label(i)->repaint();
    r.footer = double(t.nsecsElapsed()) / 1e6;
    waitFor([&] { return w.figuresDone(); }, t);
    r.done = double(t.nsecsElapsed()) / 1e6;
    probe.stop();
    r.pause = probe.longest();
    return r;
}

QString listGoal()
{
    return QStringLiteral("first rows ≤ 200 ms, page read ≤ 2× floor; footer ≤ 2× floor or with the first rows; no pause > 100 ms");
}

// The program's own reading of the list's first page, on a connection of its own as the
// window's reader: what the floor's first page is compared with (the window's first rows
// also include laying out and painting the grid).
double pageRead(const KeyedList &list)
{
    static std::unique_ptr<Database> reader;
    static QString readerOf;
    if (!reader || readerOf != dataModule().db().path()) {
        reader = dataModule().db().openReader();
        readerOf = dataModule().db().path();
    }
    return timeMs([&] { QueryModel::readFirstPage(*reader, list); });
}

// Which of the list goals a row misses, in words; empty when it meets them all.
QString listMisses(double first, double page, double floorFirst, double footer, double floorFooter, double pause)
{
    QStringList why;
    if (first > 200)
        why << QStringLiteral("first rows over 200 ms");
    if (page > 2 * floorFirst)
        why << QStringLiteral("page read over 2× the floor");
    // A footer painted with the first rows (its figures read before they were) waits for
    // nothing: the floor's few milliseconds of kept figures cannot be seen beside a paint.
    if (footer > 2 * floorFooter && footer > first + 5)
        why << QStringLiteral("footer over 2× the floor");
    if (pause > 100)
        why << QStringLiteral("a pause over 100 ms");
    return why.join(QStringLiteral("; "));
}

// "查询" of one list screen against the floor running the statements the screen ran: the
// list's first page, then its count and totals.
Row compare(Hooks &h, BrowseWindow &w, const QString &operation, const QString &footerKey)
{
    Row r;
    r.operation = operation;
    r.goal = listGoal();
    w.resize(1280, 800);
    w.show();
    QCoreApplication::processEvents();
    auto press = [&] { w.runQuery(); };
    listAction(w, press); // warm: the data in the caches for both
    const QString list = w.lastListStatement();
    const ListFigures::Request request = w.figures()->lastRequest();
    h.floor->readFirst(list, QueryModel::BatchSize);

    QVector<double> first, page, footer, done, floorFirst, floorPage, floorFigures;
    double pause = 0;
    for (int i = 0; i < *h.runs; ++i) {
        const ListRun run = listAction(w, press);
        first << run.first;
        footer << run.footer;
        done << run.done;
        pause = std::max(pause, run.pause);
        page << pageRead(w.listModel->keyedList());
        floorFirst << timeMs([&] { h.floor->readFirst(list, QueryModel::BatchSize); });
        floorPage << timeMs([&] { h.floor->readAll(w.listModel->keyedList().page({}, true, QueryModel::BatchSize)); });
        floorFigures << timeMs([&] {
            h.floor->scalar(request.count);
            if (!request.totals.isEmpty())
                h.floor->readAll(request.totals);
        });
    }
    // The footer must be exact: the whole list's count and sum.
    const QString n = h.floor->scalar(request.count);
    const QString sum = request.totals.isEmpty() ? QString() : dataModule().query(request.totals).at(0, 0);
    const bool exact = w.countLabel->text() == QStringLiteral("记录：") + n
        && (sum.isEmpty() || w.firstSumLabel->text().endsWith(QStringLiteral("：") + sum)) && w.listModel->rowCount() > 0;
    const double p1 = median(first), pr = median(page), f1 = median(floorFirst);
    const double p2 = median(footer), f2 = f1 + median(floorFigures);
    r.program = QStringLiteral("first rows %1 (page read %2); footer %3").arg(ms(p1), ms(pr), ms(p2));
    r.floor = QStringLiteral("first page %1; + count and totals %2").arg(ms(f1), ms(f2));
    r.ratio = QStringLiteral("%1; %2").arg(ratio(pr, f1), ratio(p2, f2));
    r.pause = ms(pause);
    const QString misses = listMisses(p1, pr, f1, p2, f2, pause);
    r.verdict = exact && misses.isEmpty() ? Verdict::Meets : Verdict::Misses;
    if (!exact)
        r.note = QStringLiteral("footer not exact: %1 / %2, expected %3 rows and %4").arg(w.countLabel->text(), w.firstSumLabel->text(), n, sum);
    else if (!misses.isEmpty())
        r.note = misses;
    *h.details << QStringLiteral("%1: %2 rows listed (\"%3\", \"%4\"); the keys of every page arrive %5 after \"查询\" "
                                 "(the window answers meanwhile); the floor (%6) runs the list statement for its first "
                                 "%7 rows, then the window's count and totals statements; the floor reads the "
                                 "window's own page statement (the list wrapped, ordered by its keys, LIMIT) in %8")
                      .arg(footerKey, n, w.countLabel->text(), w.firstSumLabel->text(), ms(median(done)), h.floor->name())
                      .arg(QueryModel::BatchSize)
                      .arg(ms(median(floorPage)));
    return r;
}

// Runs this program in a fresh process in the given mode; returns its "key value" lines.
QMap<QString, double> child(const QString &mode, const QString &db)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(QCoreApplication::applicationFilePath(), {mode, QStringLiteral("--db"), db});
    if (!p.waitForFinished(ActionTimeoutMs) || p.exitCode() != 0)
        throw std::runtime_error(mode.toStdString() + " failed: " + p.readAllStandardError().toStdString());
    QMap<QString, double> out;
    for (const QString &line : QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        out.insert(line.section(QLatin1Char(' '), 0, 0), line.section(QLatin1Char(' '), 1, 1).toDouble());
    return out;
}

QString thousands(qint64 n)
{
    return QStringLiteral("%L1").arg(n);
}

} // namespace

Row ownerQuery(Hooks &h)
{
    OwnerQueryWindow w;
    return compare(h, w,
                   QStringLiteral("owner query, no criteria, %1 houses").arg(thousands(qint64(100000) * h.scale)),
                   QStringLiteral("owner query"));
}

Row chargeQuery(Hooks &h)
{
    ChargeQueryWindow w;
    return compare(h, w,
                   QStringLiteral("charge query, no criteria, ~%1 payments").arg(thousands(qint64(1000000) * h.scale)),
                   QStringLiteral("charge query"));
}

Row arrears(Hooks &h)
{
    ArrearsReminderWindow w;
    // A reference date two seasons ahead: every house of the district owes, so the
    // reminder lists them all with their years and amounts.
    w.referencePicker->setDateQuietly(QDate(2027, 4, 10));
    return compare(h, w,
                   QStringLiteral("arrears reminder over %1 houses (all listed)").arg(thousands(qint64(100000) * h.scale)),
                   QStringLiteral("arrears"));
}

namespace {

// A click on every heading of a list in turn (ascending; the next click on the same
// heading turns it round, which reads the same index the other way): the slowest first
// rows and which heading gave them.
Row sortEveryHeading(Hooks &h, BrowseWindow &w, const QString &list)
{
    Row r;
    r.operation = QStringLiteral("%1 ordered by a click on any heading (the slowest of every heading)").arg(list);
    r.goal = QStringLiteral("first rows ≤ %1 ms, page read ≤ 2× floor; no pause > 100 ms").arg(h.scale > 1 ? 500 : 200);
    w.resize(1280, 800);
    w.show();
    QCoreApplication::processEvents();
    listAction(w, [&] { w.runQuery(); });
    QHeaderView *heading = w.listGrid->horizontalHeader();
    double worstFirst = -1, worstPage = 0, worstFloor = 0, pause = 0, keys = 0;
    QString worstName;
    QStringList each;
    for (int column = 0; column < w.listModel->columnCount(); ++column) {
        if (w.listGrid->isColumnHidden(column))
            continue;
        const QString name = w.listModel->headerData(column, Qt::Horizontal).toString();
        const ListRun run = listAction(w, [&] { emit heading->sectionClicked(column); });
        const KeyedList keyed = w.listModel->keyedList();
        const double page = pageRead(keyed);
        const double floor = timeMs([&] { h.floor->readAll(keyed.page({}, true, QueryModel::BatchSize)); });
        each << QStringLiteral("%1 %2").arg(name, ms(run.first));
        pause = std::max(pause, run.pause);
        keys = std::max(keys, run.done);
        if (run.first > worstFirst) {
            worstFirst = run.first;
            worstPage = page;
            worstFloor = floor;
            worstName = name;
        }
    }
    r.program = QStringLiteral("first rows %1 by %2 (page read %3)").arg(ms(worstFirst), worstName, ms(worstPage));
    r.floor = QStringLiteral("first page %1").arg(ms(worstFloor));
    r.ratio = ratio(worstPage, worstFloor);
    r.pause = ms(pause);
    const double firstGoal = h.scale > 1 ? 500 : 200;
    QString misses = listMisses(0, worstPage, worstFloor, 0, 1, pause);
    if (worstFirst > firstGoal)
        misses = QStringLiteral("first rows over %1 ms").arg(firstGoal) + (misses.isEmpty() ? QString() : QStringLiteral("; ") + misses);
    r.verdict = misses.isEmpty() ? Verdict::Meets : Verdict::Misses;
    r.note = misses;
    *h.details << QStringLiteral("sort, %1: every heading clicked once, the list read again in its order (ID breaking "
                                 "ties), the count and sums kept; first rows by heading: %2; the keys of every page "
                                 "in the new order arrive at most %3 after a click")
                      .arg(list, each.join(QStringLiteral(", ")), ms(keys));
    return r;
}

} // namespace

Row sorting(Hooks &h)
{
    ChargeQueryWindow w;
    return sortEveryHeading(h, w, QStringLiteral("charge query"));
}

Row sortingOwners(Hooks &h)
{
    OwnerQueryWindow w;
    return sortEveryHeading(h, w, QStringLiteral("owner query"));
}

Row sortingArrears(Hooks &h)
{
    ArrearsReminderWindow w;
    w.referencePicker->setDateQuietly(QDate(2027, 4, 10));
    return sortEveryHeading(h, w, QStringLiteral("arrears reminder"));
}

Row seasonStatistics(Hooks &h)
{
    Row r;
    r.operation = QStringLiteral("season statistics: table and three charts filled");
    r.goal = QStringLiteral("< 1 s; ≤ 2× floor; no pause > 100 ms");
    SeasonStatisticsWindow w;
    w.resize(1280, 800);
    w.show();
    // From "统计" until the table and the charts are painted with the new figures.
    double pause = 0;
    auto fill = [&] {
        bool shown = false;
        auto c = QObject::connect(&w, &SeasonStatisticsWindow::figuresShown, [&] { shown = true; });
        double p = 0;
        const double t = runUntil([&] { w.refresh(); }, [&] { return shown; }, &p);
        QObject::disconnect(c);
        pause = std::max(pause, p);
        return t + timeMs([&] {
            w.table->viewport()->repaint();
            w.rateView->viewport()->repaint();
            w.dailyView->viewport()->repaint();
            w.methodView->viewport()->repaint();
        });
    };
    fill(); // warm, as the other rows
    pause = 0;
    const QStringList statements = SeasonStatistics::statements(dataModule().db(), w.season());
    QVector<double> prog, floor, worker;
    // Each statement's own time on the floor: where the statistics' time goes.
    QVector<QVector<double>> each(statements.size());
    for (int i = 0; i < *h.runs; ++i) {
        prog << fill();
        worker << w.computeSeconds() * 1000;
        floor << timeMs([&] {
            for (int k = 0; k < statements.size(); ++k)
                each[k] << timeMs([&] { h.floor->readAll(statements.at(k)); });
        });
    }
    const double p = median(prog), f = median(floor);
    r.program = ms(p);
    r.floor = ms(f);
    r.ratio = ratio(p, f);
    r.pause = ms(pause);
    r.verdict = p < 1000 && p <= 2 * f && pause <= 100 ? Verdict::Meets : Verdict::Misses;
    QStringList why;
    if (p >= 1000)
        why << QStringLiteral("over 1 s");
    if (p > 2 * f)
        why << QStringLiteral("over 2× the floor");
    if (pause > 100)
        why << QStringLiteral("a pause over 100 ms");
    r.note = why.join(QStringLiteral("; "));
    const auto &o = w.figures().office;
    *h.details << QStringLiteral("season statistics: %1, %2 houses, %3 payments in the season over %4 areas; "
                                 "the worker's statements take %5 of it")
                      .arg(w.figures().season.caption())
                      .arg(o.houses)
                      .arg(o.payments)
                      .arg(w.figures().areas.size())
                      .arg(ms(median(worker)));
    QStringList parts;
    const char *const names[] = {"areas", "houses by area", "arrears total", "payments by day, area and method"};
    for (int k = 0; k < each.size(); ++k)
        parts << QStringLiteral("%1 %2").arg(QLatin1String(k < 4 ? names[k] : "other"), ms(median(each[k])));
    *h.details << QStringLiteral("season statistics on the floor, statement by statement: ") + parts.join(QStringLiteral(", "));
    return r;
}

Row scrolling(Hooks &h, const QString &db)
{
    Row r;
    r.operation = QStringLiteral("charge grid dragged to its end and to 100 places over the whole list");
    r.goal = QStringLiteral("no pause > 100 ms; resident memory after ≤ 1.2× before");
    const auto m = child(QStringLiteral("child-grid"), db);
    const double longest = m.value(QStringLiteral("longest-pause"));
    const double before = m.value(QStringLiteral("rss-before")), after = m.value(QStringLiteral("rss-after"));
    r.program = QStringLiteral("%1 → %2 MiB").arg(before, 0, 'f', 0).arg(after, 0, 'f', 0);
    r.ratio = ratio(after, before);
    r.pause = ms(longest);
    QStringList why;
    if (longest > 100)
        why << QStringLiteral("a pause over 100 ms");
    if (after > 1.2 * before)
        why << QStringLiteral("memory grows by more than a fifth");
    r.verdict = why.isEmpty() ? Verdict::Meets : Verdict::Misses;
    r.note = why.join(QStringLiteral("; "));
    *h.details << QStringLiteral("scrolling (fresh process, whole program's VmRSS): %1 MiB after login, %2 MiB with the "
                                 "first rows listed, %3 MiB once the page keys of all %4 rows arrived, %5 MiB after "
                                 "%6 jumps (the end first); median jump %7; the grid holds %8 pages at the end")
                      .arg(m.value(QStringLiteral("rss-login")), 0, 'f', 0)
                      .arg(m.value(QStringLiteral("rss-listed")), 0, 'f', 0)
                      .arg(before, 0, 'f', 0)
                      .arg(thousands(qint64(m.value(QStringLiteral("rows")))))
                      .arg(after, 0, 'f', 0)
                      .arg(m.value(QStringLiteral("steps")))
                      .arg(ms(m.value(QStringLiteral("median-step"))))
                      .arg(m.value(QStringLiteral("pages")));
    return r;
}

namespace {
// Takes the finished workbook instead of starting a spreadsheet program, and removes it.
class DiscardingOpener : public SheetOpener {
public:
    bool open(const QString &path) override
    {
        QFile::remove(path);
        return true;
    }
};
} // namespace

QVector<double> chargeExport(const QDate &from, const QDate &to, int runs, double *pause, int *rows)
{
    DiscardingOpener opener;
    setSheetOpener(&opener);
    QVector<double> times;
    *pause = 0;
    for (int i = 0; i < runs; ++i) {
        ChargeQueryWindow w;
        w.resize(1280, 800);
        w.show();
        w.checkBox(2)->setChecked(true);
        w.datePicker(1)->setDateQuietly(from);
        w.datePicker(2)->setDateQuietly(to);
        listAction(w, [&] { w.runQuery(); });
        double p = 0;
        times << runUntil([&] { w.exportToExcel(); }, [] { return true; }, &p);
        *pause = std::max(*pause, p);
        *rows = w.listModel->rowCount();
    }
    setSheetOpener(nullptr);
    return times;
}

QVector<double> ownerImport(const QString &sheet, const QString &area, int runs, double *pause, int *added)
{
    if (dataModule().countRows(QStringLiteral("SELECT ID FROM SArea WHERE theName = '") + area + QStringLiteral("'")) == 0)
        dataModule().execute(QStringLiteral("INSERT INTO SArea (theName, Remark) VALUES ('") + area + QStringLiteral("', '')"));
    OwnerImportDialog::setFileChooser([sheet](QWidget *, const QString &) { return sheet; });
    QVector<double> times;
    *pause = 0;
    for (int i = 0; i < runs; ++i) {
        dataModule().execute(QStringLiteral("DELETE FROM UHouse WHERE AName = '") + area + QStringLiteral("'"));
        OwnerImportDialog w;
        w.show();
        double p = 0;
        times << runUntil(
            [&] {
                QElapsedTimer t;
                t.start();
                w.chooseWorkbook();
                const double read = double(t.nsecsElapsed()) / 1e6;
                w.areaBox->setKeyValue(area);
                w.importOwners();
                if (qEnvironmentVariableIsSet("BENCH_PAUSES"))
                    QTextStream(stderr) << "import: sheet in the window after " << read << " ms\n";
            },
            [] { return true; }, &p);
        *pause = std::max(*pause, p);
        *added = dataModule().countRows(QStringLiteral("SELECT ID FROM UHouse WHERE AName = '") + area + QStringLiteral("'"));
    }
    dataModule().execute(QStringLiteral("DELETE FROM UHouse WHERE AName = '") + area + QStringLiteral("'"));
    OwnerImportDialog::setFileChooser(nullptr);
    return times;
}

int childGrid(const QString &db)
{
    dataModule().setConnection(db, QString::fromUtf8(Schema::DatabaseKey));
    if (!Login::tryLogin(QString::fromUtf8(Schema::DefaultOperator), QString::fromUtf8(Schema::InitialPassword),
                         QDate(2025, 1, 31)))
        return 1;
    Login::readUnit();
    QTextStream out(stdout);
    out << "rss-login " << residentMiB() << "\n";

    ChargeQueryWindow w;
    w.resize(1280, 800);
    w.show();
    QCoreApplication::processEvents();
    QElapsedTimer t;
    t.start();
    w.runQuery();
    QCoreApplication::processEvents();
    w.listGrid->viewport()->repaint();
    out << "rss-listed " << residentMiB() << "\n";
    waitFor([&] { return w.figuresDone(); }, t);
    QCoreApplication::processEvents();
    out << "rss-before " << residentMiB() << "\n";
    out.flush();

    // The thumb dragged to the end, then to a hundred places from the bottom to the top;
    // each step paints the rows there, read by their keys.
    QScrollBar *bar = w.listGrid->verticalScrollBar();
    QVector<int> places{bar->maximum()};
    for (int i = 99; i >= 0; --i)
        places << int(qint64(bar->maximum()) * i / 100);
    PauseProbe probe;
    probe.start();
    QVector<double> steps;
    for (const int place : places)
        steps << timeMs([&] {
            bar->setValue(place);
            QCoreApplication::processEvents();
            w.listGrid->viewport()->repaint();
        });
    // Let the loop turn once more, so that the last step's gap is counted.
    QCoreApplication::processEvents();
    probe.stop();
    out << "rows " << w.listModel->rowCount() << "\n";
    out << "pages " << w.listModel->pagesHeld() << "\n";
    out << "steps " << steps.size() << "\n";
    out << "longest-pause " << std::max(probe.longest(), maxOf(steps)) << "\n";
    out << "median-step " << median(steps) << "\n";
    out << "rss-after " << residentMiB() << "\n";
    return 0;
}

} // namespace BenchScreens
