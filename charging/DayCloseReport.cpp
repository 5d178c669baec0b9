#include "charging/DayCloseReport.h"

namespace DayCloseReport {

namespace {

constexpr double PageWidth = 180;  // A4 less 15 mm on each side
constexpr double BodyBottom = 255; // below it only the page number
constexpr double RowHeight = 6.5;

struct Column {
    const char *heading;
    double width;
    Qt::Alignment align;
};

class PageBuilder {
public:
    PageBuilder(QString fileName) : m_fileName(std::move(fileName)) { newPage(); }

    double y = 0;

    void newPage()
    {
        report::PreparedReport page;
        report::Report design;
        design.paperSize = QSizeF(210, 297);
        design.margins = QMarginsF(15, 15, 15, 15);
        design.name = QStringLiteral("A4");
        page.layout = design.pageLayout();
        page.fileName = m_fileName;
        m_pages << page;
        y = 0;
    }

    void text(const QRectF &rect, const QString &content, double pointSize, Qt::Alignment align, bool bold = false,
              bool wrap = false)
    {
        report::TextBox box;
        box.rect = rect;
        box.content = content;
        box.pointSize = pointSize;
        box.hAlign = align;
        box.bold = bold;
        box.wordWrap = wrap;
        box.fontFamily = QStringLiteral("WenQuanYi Micro Hei");
        m_pages.last().texts.append({box, content});
    }

    // The box written last.
    report::TextBox &pageText() { return m_pages.last().texts.last().box; }

    void line(double x1, double y1, double x2, double y2, double width = report::PxMm)
    {
        m_pages.last().lines.append(report::Line{QPointF(x1, y1), QPointF(x2, y2), width});
    }

    // Room for height more millimetres on this page, or a new page.
    bool ensure(double height)
    {
        if (y + height <= BodyBottom)
            return false;
        newPage();
        return true;
    }

    // One ruled row of cells.
    void row(const QVector<Column> &columns, const QStringList &cells, bool bold = false)
    {
        double x = 0;
        line(0, y, PageWidth, y);
        line(0, y + RowHeight, PageWidth, y + RowHeight);
        line(0, y, 0, y + RowHeight);
        for (int i = 0; i < columns.size(); ++i) {
            text(QRectF(x, y, columns.at(i).width, RowHeight), cells.value(i), 9, columns.at(i).align, bold);
            x += columns.at(i).width;
            line(x, y, x, y + RowHeight);
        }
        y += RowHeight;
    }

    // A table: the heading row, then the rows, the heading again on every new page.
    void table(const QVector<Column> &columns, const QList<QStringList> &rows, const QStringList &total)
    {
        QStringList headings;
        for (const Column &c : columns)
            headings << QString::fromUtf8(c.heading);
        ensure(RowHeight * 2);
        row(columns, headings, true);
        QList<QStringList> all = rows;
        all << total;
        for (int i = 0; i < all.size(); ++i) {
            if (ensure(RowHeight))
                row(columns, headings, true);
            row(columns, all.at(i), i == all.size() - 1);
        }
    }

    QList<report::PreparedReport> finish()
    {
        const int n = int(m_pages.size());
        for (int i = 0; i < n; ++i) {
            report::TextBox box;
            box.rect = QRectF(0, 260, PageWidth, 6);
            box.pointSize = 9;
            box.hAlign = Qt::AlignHCenter;
            box.fontFamily = QStringLiteral("WenQuanYi Micro Hei");
            const QString t = QStringLiteral("第 %1 页  共 %2 页").arg(i + 1).arg(n);
            box.content = t;
            box.name = QStringLiteral("pageNumber");
            m_pages[i].texts.append({box, t});
        }
        return m_pages;
    }

private:
    QString m_fileName;
    QList<report::PreparedReport> m_pages;
};

} // namespace

QList<report::PreparedReport> pages(const DayClose::Report &close, const QString &unitName, const QDateTime &printedAt)
{
    const Qt::Alignment L = Qt::AlignLeft, C = Qt::AlignHCenter, R = Qt::AlignRight;
    const auto yuan = [](const QString &amount) { return report::formatNumber(QStringLiteral("%.2f"), amount); };
    PageBuilder b(QStringLiteral("收费日报 ") + close.periodText());

    b.text(QRectF(0, 0, PageWidth, 10), unitName, 16, C, true);
    b.text(QRectF(0, 10, PageWidth, 9), QStringLiteral("收 费 日 报"), 14, C, true);
    b.text(QRectF(0, 21, 80, 6), QStringLiteral("收费日期：") + close.periodText(), 9.75, L);
    b.text(QRectF(80, 21, 40, 6), QStringLiteral("收费员：") + close.operatorText(), 9.75, L);
    b.text(QRectF(120, 21, 60, 6), QStringLiteral("打印时间：") + printedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm")),
           9.75, R);
    b.y = 30;

    b.text(QRectF(0, b.y, PageWidth, 7), QStringLiteral("一、收款（按收费员和收款方式）"), 10.5, L, true);
    b.y += 8;
    const QVector<Column> paid{{"收费员", 30, L}, {"收款方式", 28, L}, {"笔数", 16, R},
                               {"起始单号", 34, C}, {"结束单号", 34, C}, {"金额（元）", 38, R}};
    QList<QStringList> rows;
    for (const DayClose::Line &l : close.lines)
        rows << QStringList{l.operatorName, l.method, QString::number(l.count), l.firstNumber, l.lastNumber, yuan(l.amount)};
    b.table(paid, rows, {QStringLiteral("收款合计"), QString(), QString::number(close.paymentCount), QString(), QString(),
                         yuan(close.paymentTotal)});
    // Each group's own numbers: the range above may span other cashiers' receipts.
    for (const DayClose::Line &l : close.lines) {
        if (!l.runs.contains(QStringLiteral(", ")))
            continue;
        const QStringList runs = l.runs.split(QStringLiteral(", "));
        for (qsizetype i = 0; i < runs.size(); i += 4) {
            b.ensure(RowHeight);
            const QString head = i == 0 ? QStringLiteral("%1（%2）单号：").arg(l.operatorName, l.method) : QString();
            b.text(QRectF(0, b.y, PageWidth, RowHeight), head + runs.mid(i, 4).join(QStringLiteral(", ")), 9, L);
            b.y += RowHeight;
        }
    }
    b.y += 5;

    b.ensure(8 + 3 * RowHeight);
    b.text(QRectF(0, b.y, PageWidth, 7), QStringLiteral("二、作废"), 10.5, L, true);
    b.y += 8;
    const QVector<Column> voided{{"作废时间", 32, L}, {"收费员", 20, L}, {"单号", 26, C},
                                {"房屋", 36, L},     {"金额（元）", 24, R}, {"原因", 42, L}};
    rows.clear();
    for (const DayClose::Void &v : close.voids)
        rows << QStringList{v.time.left(16), v.operatorName, v.number, v.area + QLatin1Char(' ') + v.room, yuan(v.amount),
                            QStringLiteral("%1（%2作废，%3批准）").arg(v.reason, v.requester, v.approver)};
    b.table(voided, rows, {QStringLiteral("作废合计"), QStringLiteral("%1 笔").arg(close.voidCount), QString(), QString(),
                           yuan(close.voidTotal), QString()});
    b.y += 5;

    if (!close.reprints.isEmpty()) {
        b.ensure(8 + 3 * RowHeight);
        b.text(QRectF(0, b.y, PageWidth, 7), QStringLiteral("三、补打收据"), 10.5, L, true);
        b.y += 8;
        const QVector<Column> reprinted{{"补打时间", 50, L}, {"补打人", 40, L}, {"单号", 50, C}, {"次数", 40, R}};
        rows.clear();
        for (const DayClose::Reprint &p : close.reprints)
            rows << QStringList{p.time.left(16), p.operatorName, p.number, QStringLiteral("第 %1 次").arg(p.times)};
        b.table(reprinted, rows, {QStringLiteral("补打合计"), QStringLiteral("%1 次").arg(close.reprints.size()), QString(), QString()});
        b.y += 5;
    }

    // The totals, the signatures and the code stay together on one page.
    b.ensure(61);
    b.line(0, b.y, PageWidth, b.y, 2 * report::PxMm);
    b.y += 2;
    b.text(QRectF(0, b.y, 90, 7), QStringLiteral("收款合计：%1 笔，%2 元").arg(close.paymentCount).arg(yuan(close.paymentTotal)), 10.5, L);
    b.text(QRectF(90, b.y, 90, 7), QStringLiteral("作废合计：%1 笔，%2 元").arg(close.voidCount).arg(yuan(close.voidTotal)), 10.5, L);
    b.y += 8;
    b.text(QRectF(0, b.y, PageWidth, 7), QStringLiteral("实收合计：%1 元").arg(yuan(close.net)), 12, L, true);
    b.y += 8;
    b.text(QRectF(0, b.y, PageWidth, 7), QStringLiteral("大写：") + close.netInWords, 12, L, true);
    b.y += 16;
    b.text(QRectF(0, b.y, 60, 7), QStringLiteral("收费员（签字）："), 10.5, L);
    b.line(32, b.y + 6.5, 85, b.y + 6.5);
    b.text(QRectF(95, b.y, 60, 7), QStringLiteral("复核人（签字）："), 10.5, L);
    b.line(127, b.y + 6.5, PageWidth, b.y + 6.5);
    b.y += 10;
    // What the books give for these days: the signed page is checked against it later.
    b.text(QRectF(0, b.y, PageWidth, 7), QStringLiteral("校验码：") + close.code, 10.5, L, true);
    b.pageText().name = QStringLiteral("code");
    return b.finish();
}

ExportLayout layout(const DayClose::Report &close)
{
    auto col = [](const char *heading, ExportCell cell = ExportCell::Typed, const char *total = nullptr) {
        return ExportColumn{QString::fromUtf8(heading), cell, total ? QString::fromUtf8(total) : QString()};
    };
    // The title says which close it is, as the printed page does.
    QString title = QStringLiteral("收费日报（") + close.periodText();
    if (!close.criteria.operatorName.isEmpty())
        title += QStringLiteral("，收费员：") + close.criteria.operatorName;
    title += QStringLiteral("）校验码：") + close.code;
    return {title,
            {col("序号", ExportCell::Sequence), col("类别"), col("收费员"), col("收款方式"), col("笔数"),
             col("起始单号", ExportCell::Text), col("结束单号", ExportCell::Text), col("金额", ExportCell::Typed, "金额"),
             col("说明")}};
}

QString fileName(const DayClose::Report &close)
{
    QString what = QStringLiteral("收费日报");
    if (!close.criteria.operatorName.isEmpty())
        what += QLatin1Char('-') + close.criteria.operatorName;
    return ExportLayouts::fileName(what, close.criteria.from, close.criteria.to);
}

} // namespace DayCloseReport
