#pragma once

// The filter of the rows still in use. A deleted house or a voided payment keeps its row,
// marked theDel = '是'; every list, count and look-up of live rows reads through this one
// spelling. A string literal, so that it joins the statement text around it:
//     QStringLiteral("SELECT ID FROM UHouse WHERE (" LIVE_ROW ") AND ...")
#define LIVE_ROW "theDel = '否'"
