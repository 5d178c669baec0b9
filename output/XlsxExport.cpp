#include "output/XlsxExport.h"

#include <QRegularExpression>

namespace {

ExportColumn col(const char *heading, ExportCell cell = ExportCell::Typed, const char *total = nullptr)
{
    return ExportColumn{QString::fromUtf8(heading), cell, total ? QString::fromUtf8(total) : QString()};
}

QVector<ExportColumn> ownerColumns()
{
    return {col("序号", ExportCell::Sequence),
            col("小区名称"),
            col("房号", ExportCell::Text),
            col("面积", ExportCell::Typed, "面积"),
            col("房屋用途"),
            col("单价"),
            col("到期日期", ExportCell::Text),
            col("业主名称"),
            col("手机号码", ExportCell::Text),
            col("备注")};
}

} // namespace

namespace ExportLayouts {

ExportLayout chargeQuery()
{
    return {QStringLiteral("收费报表"),
            {col("序号", ExportCell::Sequence),
             col("单号", ExportCell::Text),
             col("收费日期", ExportCell::Text),
             col("小区名称"),
             col("房号", ExportCell::Text),
             col("面积"),
             col("单价"),
             col("业主名称"),
             col("收费年数"),
             col("起始日期", ExportCell::Date),
             col("截止日期", ExportCell::Date),
             col("收款金额", ExportCell::Typed, "收款金额"),
             col("收款方式"),
             col("收款人"),
             col("备注")}};
}

ExportLayout ownerQuery() { return {QStringLiteral("业主报表"), ownerColumns()}; }

ExportLayout arrears()
{
    ExportLayout l{QStringLiteral("业主报表"), ownerColumns()};
    l.columns << col("欠费年数") << col("欠费金额", ExportCell::Typed, "欠费金额");
    return l;
}

QString fileName(const QString &what, const QDate &day, const QDate &lastDay)
{
    static const QRegularExpression unsafe(QStringLiteral("[\\\\/:*?\"<>|\\x00-\\x1f]"));
    QString name = what.trimmed();
    name.replace(unsafe, QStringLiteral("_"));
    if (name.isEmpty())
        name = QStringLiteral("报表");
    name += QLatin1Char('-') + day.toString(QStringLiteral("yyyyMMdd"));
    if (lastDay.isValid() && lastDay != day)
        name += QLatin1Char('-') + lastDay.toString(QStringLiteral("yyyyMMdd"));
    return name + QStringLiteral(".xlsx");
}

} // namespace ExportLayouts
