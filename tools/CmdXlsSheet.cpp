// xls-sheet: the helper in which the program reads an Excel 97-2003 workbook, so that a
// damaged file that upsets the reading library ends this process, not the program.
#include "tools/AdminCommand.h"
#include "sheets/SheetFormats.h"

#include <QFile>
#include <cstdio>

namespace {

int runXlsSheet(const QStringList &args, QTextStream &, QTextStream &err)
{
    if (args.size() != 1) {
        err << "用法: chengyue-admin xls-sheet FILE\n";
        return 2;
    }
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly))
        return 1;
    SheetFormats::writeXlsResult(&out, args.first());
    out.flush();
    return 0;
}

AdminCommandRegistrar r({QStringLiteral("xls-sheet"), QStringLiteral("FILE"),
                         QStringLiteral("读取 Excel 97-2003 工作簿的工作表 Sheet1，以程序内部的格式写到标准输出"
                                        "（程序导入 .xls 文件时在单独的进程中调用）"),
                         runXlsSheet});

} // namespace
