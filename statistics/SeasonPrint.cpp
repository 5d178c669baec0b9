#include "statistics/SeasonPrint.h"
#include "db/Dates.h"
#include "statistics/SeasonCharts.h"

#include <QDate>

using namespace SeasonStatistics;

namespace SeasonPrint {

namespace {

// The printable area of A4 landscape with 10 mm margins.
constexpr double PageWidth = 277;
constexpr double PageHeight = 190;
constexpr double ChartTop = 17;
constexpr double ChartHeight = 62;
constexpr double FooterTop = 184;
constexpr double HeadingHeight = 7;
constexpr double RowHeight = 5.2;
constexpr double NameWidth = 35;

report::TextBox cell(const QString &text, const QRectF &rect, int page, Qt::Alignment align, bool bold = false)
{
    report::TextBox b;
    b.rect = rect;
    b.content = text;
    b.fontFamily = QStringLiteral("Arial");
    b.pointSize = 8;
    b.bold = bold;
    b.hAlign = align;
    b.wordWrap = false;
    b.page = page;
    return b;
}

} // namespace

report::Report design(const Figures &figures, const QString &unitName)
{
    report::Report r;
    r.name = QStringLiteral("A4");
    r.paperSize = QSizeF(210, 297);
    r.orientation = QPageLayout::Landscape;
    r.margins = QMarginsF(10, 10, 10, 10);
    r.documentName = QStringLiteral("收费统计");

    report::TextBox title = cell(unitName + QStringLiteral("收费统计　") + figures.season.caption(),
                                 QRectF(0, 0, PageWidth, 10), 0, Qt::AlignHCenter, true);
    title.name = QString::fromLatin1(TitleBox);
    title.fontFamily = QStringLiteral("WenQuanYi Micro Hei");
    title.pointSize = 16;
    r.texts << title;
    r.texts << cell(QStringLiteral("采暖季 %1 至 %2；已交指到期日期不早于 %2，欠费金额按欠费提醒在 %2 的算法；打印日期 %3")
                        .arg(Dates::format(figures.season.begin), Dates::format(figures.season.end),
                             Dates::format(QDate::currentDate())),
                    QRectF(0, 10, PageWidth, 6), 0, Qt::AlignHCenter);

    // The charts are laid out at a fixed size and drawn at three times its pixels.
    const double chartWidth = PageWidth / 3;
    const QSize pixels(460, int(460 * ChartHeight / chartWidth));
    QChart *charts[3] = {SeasonCharts::rateChart(figures), SeasonCharts::dailyChart(figures),
                         SeasonCharts::methodChart(figures)};
    for (int i = 0; i < 3; ++i)
        r.pictures << report::Picture{QRectF(i * chartWidth, ChartTop, chartWidth, ChartHeight),
                                      SeasonCharts::image(charts[i], pixels, 3.0), 0};

    const QStringList headings = tableHeadings();
    const int ncols = int(headings.size());
    const double otherWidth = (PageWidth - NameWidth) / (ncols - 1);
    auto columnLeft = [&](int c) { return c == 0 ? 0.0 : NameWidth + (c - 1) * otherWidth; };
    auto columnWidth = [&](int c) { return c == 0 ? NameWidth : otherWidth; };

    QVector<QStringList> rows;
    for (const AreaFigures &a : figures.areas)
        rows << tableCells(a);
    rows << tableCells(figures.office);

    int page = 0;
    double y = ChartTop + ChartHeight + 3;
    double tableTop = y;
    auto rule = [&](double yy) { r.lines << report::Line{QPointF(0, yy), QPointF(PageWidth, yy), report::PxMm, page}; };
    auto closeTable = [&](double bottom) {
        for (int c = 0; c <= ncols; ++c) {
            const double x = c == ncols ? PageWidth : columnLeft(c);
            r.lines << report::Line{QPointF(x, tableTop), QPointF(x, bottom), report::PxMm, page};
        }
    };
    auto headingRow = [&] {
        rule(y);
        for (int c = 0; c < ncols; ++c)
            r.texts << cell(headings.at(c), QRectF(columnLeft(c), y, columnWidth(c), HeadingHeight), page,
                            Qt::AlignHCenter, true);
        y += HeadingHeight;
        rule(y);
    };
    headingRow();
    for (int i = 0; i < rows.size(); ++i) {
        if (y + RowHeight > FooterTop) {
            closeTable(y);
            ++page;
            y = 0;
            tableTop = 0;
            headingRow();
        }
        const bool office = i == rows.size() - 1;
        for (int c = 0; c < ncols; ++c)
            r.texts << cell(rows.at(i).at(c), QRectF(columnLeft(c), y, columnWidth(c), RowHeight), page,
                            c == 0 ? Qt::AlignLeft : Qt::AlignRight, office);
        y += RowHeight;
        rule(y);
    }
    closeTable(y);

    const int pages = page + 1;
    for (int p = 0; p < pages; ++p)
        r.texts << cell(QStringLiteral("第 %1 页，共 %2 页").arg(p + 1).arg(pages),
                        QRectF(0, FooterTop + 1, PageWidth, 5), p, Qt::AlignHCenter);
    return r;
}

} // namespace SeasonPrint
