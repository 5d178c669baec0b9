#pragma once
#include "sheets/WorkbookWriter.h"

// The spreadsheet export of the owner query, the arrears reminder and the charge query:
// one workbook writer, configured by a column table per screen.
namespace ExportLayouts {
ExportLayout chargeQuery(); // 收费查询: A to O, "收费报表"
ExportLayout ownerQuery();  // 业主查询: A to J, "业主报表"
ExportLayout arrears();     // 欠费提醒: A to L, "业主报表"
} // namespace ExportLayouts
