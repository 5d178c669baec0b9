#include "statistics/SeasonWorkbook.h"
#include "db/DbError.h"
#include "data/OutputFile.h"
#include "sheets/WorkbookLook.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <xlsxwriter.h>

#include <memory>

namespace SeasonWorkbook {

namespace {

// A workbook left unfinished by a failure is closed; its temporary file goes with the
// OutputFile, and the target stays as it was.
struct Discarder {
    void operator()(lxw_workbook *wb) const
    {
        if (wb)
            workbook_close(wb);
    }
};

} // namespace

void write(const QString &path, const SeasonStatistics::Figures &figures, const QString &unitName)
{
    using namespace SeasonStatistics;
    // Written beside the target and put in its place when complete, never through a link.
    OutputFile file(path);
    const QByteArray fileName = QFile::encodeName(file.writerPath());
    lxw_workbook *wb = workbook_new(fileName.constData());
    if (!wb)
        throw AppError(QStringLiteral("无法创建工作簿 %1").arg(QDir::toNativeSeparators(path)));
    std::unique_ptr<lxw_workbook, Discarder> closer(wb);
    auto check = [&path](lxw_error err) {
        if (err != LXW_NO_ERROR)
            throw AppError(QStringLiteral("无法写入工作簿 %1：%2")
                               .arg(QDir::toNativeSeparators(path), QString::fromUtf8(lxw_strerror(err))));
    };

    lxw_worksheet *ws = workbook_add_worksheet(wb, SheetName);
    if (!ws)
        throw AppError(QStringLiteral("无法创建工作簿 %1").arg(QDir::toNativeSeparators(path)));

    check(worksheet_set_column(ws, 0, 0, 16, nullptr));
    check(worksheet_set_column(ws, 1, 11, 11, nullptr));
    const WorkbookLook look(wb, unitName + QStringLiteral("收费统计 ") + figures.season.caption());
    check(look.startSheet(ws, tableHeadings()));
    lxw_format *textFmt = look.ruled();
    format_set_num_format(textFmt, "@");
    lxw_format *countFmt = look.ruled();
    lxw_format *moneyFmt = look.ruled();
    format_set_num_format(moneyFmt, "0.00");
    lxw_format *areaFmt = look.ruled();
    format_set_num_format(areaFmt, "0.##");
    lxw_format *rateFmt = look.ruled();
    format_set_num_format(rateFmt, "0.0%");
    lxw_format *noneFmt = look.ruled();
    format_set_align(noneFmt, LXW_ALIGN_CENTER);

    auto writeRow = [&](int row, const AreaFigures &a) {
        const lxw_row_t r = lxw_row_t(row);
        check(a.area.isEmpty() ? worksheet_write_blank(ws, r, 0, textFmt)
                               : worksheet_write_string(ws, r, 0, a.area.toUtf8().constData(), textFmt));
        check(worksheet_write_number(ws, r, 1, a.houses, countFmt));
        check(worksheet_write_number(ws, r, 2, a.floorArea, areaFmt));
        check(worksheet_write_number(ws, r, 3, a.paidHouses, countFmt));
        check(worksheet_write_number(ws, r, 4, a.paidArea, areaFmt));
        check(worksheet_write_number(ws, r, 5, a.behindHouses, countFmt));
        check(worksheet_write_number(ws, r, 6, a.behindArea, areaFmt));
        check(worksheet_write_number(ws, r, 7, a.owed, moneyFmt));
        check(worksheet_write_number(ws, r, 8, a.taken, moneyFmt));
        check(worksheet_write_number(ws, r, 9, a.payments, countFmt));
        const double rates[2] = {a.houseRate(), a.areaRate()};
        for (int i = 0; i < 2; ++i) {
            // An area without houses has no rate: a dash, which the chart leaves out.
            check(rates[i] < 0 ? worksheet_write_string(ws, r, lxw_col_t(10 + i), "—", noneFmt)
                               : worksheet_write_number(ws, r, lxw_col_t(10 + i), rates[i] / 100.0, rateFmt));
        }
    };
    int row = 2;
    for (const AreaFigures &a : figures.areas)
        writeRow(row++, a);
    const int lastAreaRow = row - 1;
    writeRow(row, figures.office);

    if (!figures.areas.isEmpty()) {
        lxw_chart *chart = workbook_add_chart(wb, LXW_CHART_COLUMN);
        lxw_chart_series *series = chart_add_series(chart, nullptr, nullptr);
        chart_series_set_categories(series, SheetName, 2, 0, lxw_row_t(lastAreaRow), 0);
        chart_series_set_values(series, SheetName, 2, 11, lxw_row_t(lastAreaRow), 11);
        chart_series_set_name(series, "面积收费率");
        chart_series_set_labels(series);
        chart_series_set_labels_num_format(series, "0.0%");
        const QByteArray chartTitle = QStringLiteral("各小区收费率（按面积，全公司 %1）")
                                          .arg(formatRate(figures.office.areaRate()))
                                          .toUtf8();
        chart_title_set_name(chart, chartTitle.constData());
        chart_axis_set_num_format(chart->y_axis, "0%");
        chart_axis_set_min(chart->y_axis, 0);
        chart_axis_set_max(chart->y_axis, 1);
        chart_legend_set_position(chart, LXW_CHART_LEGEND_NONE);
        lxw_chart_options options{};
        options.x_scale = 2.0;
        options.y_scale = 1.3;
        check(worksheet_insert_chart_opt(ws, lxw_row_t(row + 2), 0, chart, &options));
    }

    closer.release();
    check(workbook_close(wb));
    file.commit();
}

} // namespace SeasonWorkbook
