#pragma once
#include "sheets/WorkbookWriter.h"

#include <QDate>

// The spreadsheet export of the owner query, the arrears reminder and the charge query:
// one workbook writer, configured by a column table per screen.
namespace ExportLayouts {
ExportLayout chargeQuery(); // 收费查询: A to O, "收费报表"
ExportLayout ownerQuery();  // 业主查询: A to J, "业主报表"
ExportLayout arrears();     // 欠费提醒: A to L, "业主报表"

// The name a workbook is offered to be kept under: what it holds and its day,
// "收费查询-20261211.xlsx", or its first and last day, "收费日报-20261201-20261210.xlsx".
// Characters that no file name may hold become "_".
QString fileName(const QString &what, const QDate &day, const QDate &lastDay = QDate());
} // namespace ExportLayouts
