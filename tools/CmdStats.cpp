// stats: the season statistics of the 收费统计 window as text, and optionally as a workbook
// with its chart, a picture of the collection-rate chart and the printed page as PDF.
#include "tools/AdminCommand.h"
#include "tools/OutputFile.h"
#include "db/Dates.h"
#include "data/OutputFile.h"
#include "data/Schema.h"
#include "data/DataModule.h"
#include "operators/Login.h"
#include "statistics/SeasonCharts.h"
#include "statistics/SeasonPrint.h"
#include "statistics/SeasonStatistics.h"
#include "statistics/SeasonWorkbook.h"

#include <QDir>
#include <QImageWriter>

namespace {

int runStats(const QStringList &args, QTextStream &out, QTextStream &err)
{
    const AdminArgs a(args, {QStringLiteral("db"), QStringLiteral("season"), QStringLiteral("out"), QStringLiteral("png"),
                           QStringLiteral("pdf")});
    if (!a.ok()) {
        err << a.error() << '\n';
        return 2;
    }
    if (!a.positional().isEmpty()) {
        err << "用法: chengyue-admin stats --db PATH [--season YYYY] [--out FILE.xlsx] [--png FILE.png] [--pdf FILE.pdf]\n";
        return 2;
    }
    int year = 0;
    if (a.has(QStringLiteral("season"))) {
        bool ok = false;
        year = a.value(QStringLiteral("season")).toInt(&ok);
        if (!ok || year < 2000 || year > 2098) {
            err << "“" << a.value(QStringLiteral("season")) << "” 不是采暖季的开始年份（2000 到 2098）\n";
            return 2;
        }
    }
    const QString outPath = a.has(QStringLiteral("out")) ? QDir::current().absoluteFilePath(a.value(QStringLiteral("out"))) : QString();
    const QString pngPath = a.has(QStringLiteral("png")) ? QDir::current().absoluteFilePath(a.value(QStringLiteral("png"))) : QString();
    const QString pdfPath = a.has(QStringLiteral("pdf")) ? QDir::current().absoluteFilePath(a.value(QStringLiteral("pdf"))) : QString();
    if (!pdfPath.isEmpty())
        checkOutputFile(pdfPath, QByteArrayLiteral("%PDF-"), QStringLiteral(" PDF "));
    if (!outPath.isEmpty())
        checkOutputFile(outPath, QByteArrayLiteral("PK\x03\x04"), QStringLiteral(" Excel 工作簿"));
    if (!pngPath.isEmpty())
        checkOutputFile(pngPath, QByteArrayLiteral("\x89PNG"), QStringLiteral(" PNG 图片"));

    openProgramDatabase(a.dbPath());
    Login::readUnit();
    const auto period = SeasonStatistics::periodFromTexts(PeriodBeginMonth, PeriodBeginDay, PeriodEndMonth, PeriodEndDay);
    // Without --season, the season the window opens with; outside the program the
    // charging date is today.
    const SeasonStatistics::Season season = year ? SeasonStatistics::seasonOf(year, period)
                                                 : SeasonStatistics::seasonHolding(QDate::currentDate(), period);
    const SeasonStatistics::Figures figures = SeasonStatistics::compute(dataModule().db(), season);

    out << UnitName << " 收费统计 " << season.caption() << "（" << Dates::format(season.begin) << " 至 "
        << Dates::format(season.end) << "）\n";
    out << SeasonStatistics::tableText(figures);
    if (figures.office.undatedHouses > 0)
        out << "另有 " << figures.office.undatedHouses << " 户的到期日期不是日期，未计入已交或欠费\n";

    if (!outPath.isEmpty()) {
        SeasonWorkbook::write(outPath, figures, UnitName);
        out << "已写入工作簿 " << QDir::toNativeSeparators(outPath) << '\n';
    }
    if (!pngPath.isEmpty()) {
        const QImage img = SeasonCharts::image(SeasonCharts::rateChart(figures), QSize(900, 560), 2.0);
        OutputFile file(pngPath);
        if (!img.save(&file.file(), "PNG"))
            throw AppError(QStringLiteral("无法写入图片 %1：%2").arg(QDir::toNativeSeparators(pngPath), file.file().errorString()));
        file.commit();
        out << "已写入图片 " << QDir::toNativeSeparators(pngPath) << '\n';
    }
    if (!pdfPath.isEmpty()) {
        SeasonPrint::design(figures, UnitName).prepare().writePdf(pdfPath);
        out << "已写入打印页 " << QDir::toNativeSeparators(pdfPath) << '\n';
    }
    return 0;
}

AdminCommandRegistrar reg({QStringLiteral("stats"),
                           QStringLiteral("--db PATH [--season YYYY] [--out FILE.xlsx] [--png FILE.png] [--pdf FILE.pdf]"),
                           QStringLiteral("采暖季收费统计（与“收费统计”窗口相同）：按小区列出户数、面积、已交、欠费与收款，"
                                          "可写成带收费率图表的工作簿、收费率图片和打印页（PDF）；--season 为采暖季开始的年份，默认为今天所在的采暖季"),
                           runStats});

} // namespace
