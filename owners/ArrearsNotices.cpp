#include "owners/ArrearsNotices.h"
#include "data/Capitals.h"
#include "data/ChangeLog.h"
#include "data/DataModule.h"
#include "db/Dates.h"
#include "db/DbError.h"
#include "db/Database.h"
#include "db/Numbers.h"
#include "db/Sql.h"
#include "owners/ArrearsStatements.h"

namespace ArrearsNotices {

namespace {

constexpr double PageWidth = 180;   // A4 less 15 mm on each side
constexpr double SecondTop = 139;   // the lower notice; the cutting line lies between
constexpr double CutAt = 133.5;
constexpr double RowHeight = 9;

const QString Font = QStringLiteral("WenQuanYi Micro Hei");

report::PreparedReport newPage()
{
    report::Report design;
    design.paperSize = QSizeF(210, 297);
    design.margins = QMarginsF(15, 15, 15, 15);
    design.name = QStringLiteral("A4");
    report::PreparedReport page;
    page.layout = design.pageLayout();
    page.documentName = QStringLiteral("催费通知单");
    page.fileName = QStringLiteral("催费通知单");
    return page;
}

void addText(report::PreparedReport &page, const QString &name, const QRectF &rect, const QString &text, double pointSize,
             Qt::Alignment align, bool bold = false, bool wrap = false)
{
    report::TextBox box;
    box.name = name;
    box.rect = rect;
    box.content = text;
    box.pointSize = pointSize;
    box.hAlign = align;
    box.bold = bold;
    box.wordWrap = wrap;
    box.vAlign = wrap ? Qt::AlignTop : Qt::AlignVCenter;
    box.fontFamily = Font;
    page.texts.append({box, text});
}

void addLine(report::PreparedReport &page, double x1, double y1, double x2, double y2)
{
    page.lines.append(report::Line{QPointF(x1, y1), QPointF(x2, y2)});
}

void layOut(report::PreparedReport &page, int slot, const Notice &n, const Office &office, const QDate &reference)
{
    const double top = slot == 0 ? 0 : SecondTop;
    const auto name = [slot](const char *field) { return QStringLiteral("n%1.").arg(slot) + QLatin1String(field); };
    const Qt::Alignment L = Qt::AlignLeft, C = Qt::AlignHCenter, R = Qt::AlignRight;

    addText(page, name("unit"), QRectF(0, top, PageWidth, 8), office.unitName, 14, C, true);
    addText(page, name("title"), QRectF(0, top + 9, PageWidth, 10), QStringLiteral("催 费 通 知 单"), 18, C, true);
    addText(page, name("greeting"), QRectF(0, top + 22, PageWidth, 7), QStringLiteral("尊敬的 %1 业主：").arg(n.owner), 11, L);

    // The house and its figures as a ruled table of label and value cells.
    double y = top + 31;
    const double label = 30, value = 60;
    struct Cell {
        const char *label;
        const char *field;
        QString value;
    };
    const QList<QList<Cell>> rows{
        {{"小区名称", "area", n.area}, {"房号", "room", n.room}},
        {{"业主名称", "owner", n.owner}, {"交费截至日期", "paidUp", n.paidUp}},
        {{"欠费年数", "years", n.years}, {"欠费金额（元）", "amount", n.amount}},
        {{"大写金额", "inWords", n.inWords}},
    };
    for (const QList<Cell> &row : rows) {
        addLine(page, 0, y, PageWidth, y);
        addLine(page, 0, y, 0, y + RowHeight);
        double x = 0;
        for (int i = 0; i < row.size(); ++i) {
            const bool last = i == row.size() - 1;
            const double width = last ? PageWidth - x - label : value;
            addText(page, QString(), QRectF(x, y, label, RowHeight), QString::fromUtf8(row[i].label), 10.5, C);
            addLine(page, x + label, y, x + label, y + RowHeight);
            addText(page, name(row[i].field), QRectF(x + label, y, width, RowHeight), row[i].value, 10.5, L,
                    qstrcmp(row[i].field, "amount") == 0 || qstrcmp(row[i].field, "inWords") == 0);
            x += label + width;
            addLine(page, x, y, x, y + RowHeight);
        }
        y += RowHeight;
    }
    addLine(page, 0, y, PageWidth, y);

    const QString text = QStringLiteral("您的供热费已交至 %1，截至 %2 尚欠 %3 年，共计人民币 %4 元（%5）。"
                                        "请于收到本通知后尽快交纳。如已交纳，请忽略本通知。")
                             .arg(n.paidUp, Dates::format(reference), n.years, n.amount, n.inWords);
    addText(page, name("text"), QRectF(0, top + 70, PageWidth, 20), QStringLiteral("        ") + text, 10.5, L, false, true);
    addText(page, name("howToPay"), QRectF(0, top + 92, PageWidth, 14), office.howToPay, 10.5, L, false, true);
    addText(page, name("sender"), QRectF(80, top + 110, 100, 7), office.unitName, 10.5, R);
    addText(page, name("date"), QRectF(80, top + 117, 100, 7), office.date, 10.5, R);
}

// A dashed line across the page between the two notices.
void cuttingLine(report::PreparedReport &page)
{
    for (double x = 0; x < PageWidth; x += 5)
        addLine(page, x, CutAt, std::min(x + 3, PageWidth), CutAt);
}

int column(const Cursor &rows, const char *caption)
{
    const int c = int(rows.columns().indexOf(QString::fromUtf8(caption)));
    if (c < 0)
        throw AppError(QStringLiteral("欠费列表中没有“%1”列").arg(QString::fromUtf8(caption)));
    return c;
}

} // namespace

Office office(Database &db, const QString &unitName, const QString &date)
{
    const Rows methods = db.select(QStringLiteral("SELECT theName FROM SMType ORDER BY ID"));
    QStringList names;
    for (int r = 0; r < methods.rowCount(); ++r)
        if (!methods.at(r, 0).trimmed().isEmpty())
            names << methods.at(r, 0);
    QString how = QStringLiteral("交费地点：%1收费处。").arg(unitName);
    if (!names.isEmpty())
        how += QStringLiteral("收款方式：%1。").arg(names.join(QStringLiteral("、")));
    return {unitName, how, date};
}

Batch build(Cursor &rows, const Office &office, const QDate &reference, const std::function<bool(int)> &progress)
{
    const int area = column(rows, "小区名称"), room = column(rows, "房号"), owner = column(rows, "业主名称"),
              paidUp = column(rows, "到期日期"), years = column(rows, "欠费年数"), amount = column(rows, "欠费金额");
    Batch b;
    while (rows.next()) {
        ++b.rowsRead;
        const QString owed = rows.text(amount);
        // The list shows no amount for a house whose arrears no receipt can write; it is
        // refused as the list itself refuses it.
        if (owed.isEmpty() && !rows.text(years).isEmpty())
            throw AppError(QStringLiteral("欠费金额超出范围：%1 %2。收据的大写金额最多写到万亿元，请在业主管理中检查这个业主的面积和单价")
                               .arg(rows.text(area), rows.text(room)));
        const double money = Numbers::roundTo(owed.isEmpty() ? 0 : Numbers::toDouble(owed), 2);
        if (money > 0) {
            Notice n;
            n.area = rows.text(area);
            n.room = rows.text(room);
            n.owner = rows.text(owner);
            n.paidUp = rows.text(paidUp);
            n.years = rows.text(years);
            n.amount = report::formatNumber(QStringLiteral("%.2f"), Numbers::plain(money));
            n.inWords = amountInCapitals(money);
            b.notices << n;
        }
        if (progress && !progress(b.rowsRead)) {
            b.cancelled = true;
            return b;
        }
    }
    b.pages = pages(b.notices, office, reference);
    return b;
}

QList<report::PreparedReport> pages(const QList<Notice> &notices, const Office &office, const QDate &reference)
{
    QList<report::PreparedReport> result;
    for (qsizetype i = 0; i < notices.size(); i += 2) {
        report::PreparedReport page = newPage();
        layOut(page, 0, notices.at(i), office, reference);
        if (i + 1 < notices.size()) {
            cuttingLine(page);
            layOut(page, 1, notices.at(i + 1), office, reference);
        }
        result << page;
    }
    return result;
}

void record(int notices, const QDate &reference, const QString &criteria)
{
    Transaction tx(dataModule().db());
    QString what = QStringLiteral("%1 份，到期日期 %2").arg(notices).arg(Dates::format(reference));
    if (!criteria.isEmpty())
        what += QStringLiteral("，条件：") + criteria;
    ChangeLog::record({QString::fromUtf8(NoticesIssued), QStringLiteral("UHouse"), {}, {}, {}, what});
    tx.commit();
}

QString conditions(const QDate &reference, const QString &area)
{
    QString c = ArrearsStatements::dateClause(reference);
    if (!area.isEmpty())
        c += QStringLiteral("AND (AName = ") + Sql::quote(area) + QStringLiteral(") ");
    return c;
}

} // namespace ArrearsNotices
