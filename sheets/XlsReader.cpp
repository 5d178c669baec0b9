// Excel 97-2003 workbooks (BIFF in an OLE2 container), read with FreeXL. FreeXL already
// tells date cells from numbers by their format and gives them as "yyyy-mm-dd". It runs
// in a helper process: see readXls in SheetFormats.h.
#include "sheets/SheetFormats.h"
#include "db/DbError.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QProcess>

#include <freexl.h>

#include <new>

namespace {

class XlsHandle {
public:
    explicit XlsHandle(const QString &path)
    {
        const int rc = freexl_open(QFile::encodeName(path).constData(), &m_handle);
        if (rc != FREEXL_OK) {
            m_handle = nullptr;
            QString why;
            switch (rc) {
            case FREEXL_BIFF_WORKBOOK_NOT_FOUND: // also what a password-protected .xlsx looks like
                why = QStringLiteral("文件中没有 Excel 工作簿数据（设有密码的工作簿请先取消密码再导入）");
                break;
            case FREEXL_INSUFFICIENT_MEMORY:
                why = QStringLiteral("内存不足");
                break;
            default:
                why = QStringLiteral("不是完整的 Excel 97-2003 工作簿（错误 %1）").arg(rc);
                break;
            }
            throw AppError(SheetFormats::unreadableMessage(path, why));
        }
    }
    ~XlsHandle()
    {
        if (m_handle)
            freexl_close(m_handle);
    }
    XlsHandle(const XlsHandle &) = delete;
    XlsHandle &operator=(const XlsHandle &) = delete;
    const void *get() const { return m_handle; }

private:
    const void *m_handle = nullptr;
};

QString cellText(const FreeXL_CellValue &v)
{
    switch (v.type) {
    case FREEXL_CELL_INT:
        return SheetReader::numberText(v.value.int_value);
    case FREEXL_CELL_DOUBLE:
        return SheetReader::numberText(v.value.double_value);
    case FREEXL_CELL_TEXT:
    case FREEXL_CELL_SST_TEXT:
    case FREEXL_CELL_DATE:
    case FREEXL_CELL_TIME:
        return QString::fromUtf8(v.value.text_value);
    case FREEXL_CELL_DATETIME: {
        // Midnight is the date alone, as the program writes dates.
        QString text = QString::fromUtf8(v.value.text_value);
        if (text.endsWith(QLatin1String(" 00:00:00")))
            text.chop(9);
        return text;
    }
    default:
        return {};
    }
}

constexpr quint32 ResultMagic = 0x43595853; // "CYXS"
constexpr int HelperTimeoutMs = 120000;

// The admin tool beside this program; empty when there is none.
QString helperProgram()
{
    const QString dir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                                     : QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    const QFileInfo helper(QDir(dir).filePath(QStringLiteral("chengyue-admin")));
    return helper.isFile() && helper.isExecutable() ? helper.absoluteFilePath() : QString();
}

} // namespace

namespace SheetFormats {

void writeXlsResult(QIODevice *out, const QString &path)
{
    QDataStream ds(out);
    ds.setVersion(QDataStream::Qt_6_0);
    try {
        const Sheet sheet = readXlsHere(path);
        ds << ResultMagic << qint32(1) << sheet.headings << sheet.rows << sheet.sheetRows;
    } catch (const AppError &e) {
        ds << ResultMagic << qint32(0) << e.message();
    } catch (const std::bad_alloc &) {
        ds << ResultMagic << qint32(0) << unreadableMessage(path, QStringLiteral("文件太大，本机内存不足，无法读取"));
    }
}

Sheet readXls(const QString &path, const std::atomic<bool> *stop)
{
    const QString helper = helperProgram();
    if (helper.isEmpty())
        return readXlsHere(path);
    QProcess p;
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(helper, {QStringLiteral("xls-sheet"), QFileInfo(path).absoluteFilePath()});
    if (!p.waitForStarted())
        throw AppError(unreadableMessage(path, QStringLiteral("无法启动读取程序 %1").arg(QDir::toNativeSeparators(helper))));
    // Waited for in short steps, so that the operator's "取消" ends the helper at once.
    QElapsedTimer waited;
    waited.start();
    while (!p.waitForFinished(100)) {
        const bool stopped = stop && stop->load();
        if (stopped || waited.elapsed() >= HelperTimeoutMs || p.state() == QProcess::NotRunning) {
            if (p.state() == QProcess::NotRunning)
                break;
            p.kill();
            p.waitForFinished();
            throw AppError(stopped ? QStringLiteral("已取消读取 %1").arg(QDir::toNativeSeparators(path))
                                   : unreadableMessage(path, QStringLiteral("读取超时，文件可能已损坏")));
        }
    }
    const QByteArray answer = p.readAllStandardOutput();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        throw AppError(unreadableMessage(path, QStringLiteral("文件已损坏，读取时出错")));
    QDataStream ds(answer);
    ds.setVersion(QDataStream::Qt_6_0);
    quint32 magic = 0;
    qint32 ok = 0;
    ds >> magic >> ok;
    if (ds.status() == QDataStream::Ok && magic == ResultMagic && ok == 0) {
        QString message;
        ds >> message;
        if (ds.status() == QDataStream::Ok)
            throw AppError(message);
    }
    Sheet sheet;
    if (ds.status() == QDataStream::Ok && magic == ResultMagic && ok == 1)
        ds >> sheet.headings >> sheet.rows >> sheet.sheetRows;
    bool whole = ds.status() == QDataStream::Ok && magic == ResultMagic && ok == 1
        && sheet.rows.size() == sheet.sheetRows.size();
    for (int r = 0; whole && r < sheet.rowCount(); ++r) {
        int previous = -1;
        for (const auto &cell : sheet.rows.at(r)) {
            whole = whole && cell.first > previous && cell.first < sheet.columnCount();
            previous = cell.first;
        }
    }
    if (!whole)
        throw AppError(unreadableMessage(path, QStringLiteral("读取程序的结果不完整")));
    return sheet;
}

Sheet readXlsHere(const QString &path)
{
    const XlsHandle xls(path);
    unsigned int protection = 0;
    if (freexl_get_info(xls.get(), FREEXL_BIFF_PASSWORD, &protection) == FREEXL_OK && protection == FREEXL_BIFF_OBFUSCATED)
        throw AppError(unreadableMessage(path, QStringLiteral("工作簿设有密码，请先在电子表格程序中取消密码再导入")));
    unsigned int count = 0;
    if (freexl_get_info(xls.get(), FREEXL_BIFF_SHEET_COUNT, &count) != FREEXL_OK)
        throw AppError(unreadableMessage(path, QStringLiteral("无法读取工作表目录")));
    QStringList names;
    for (unsigned int i = 0; i < count; ++i) {
        const char *name = nullptr;
        freexl_get_worksheet_name(xls.get(), static_cast<unsigned short>(i), &name);
        names << QString::fromUtf8(name ? name : "");
    }
    const int index = findSheet(names);
    if (index < 0)
        throw AppError(noSheetMessage(path, names));
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (freexl_select_active_worksheet(xls.get(), static_cast<unsigned short>(index)) != FREEXL_OK
        || freexl_worksheet_dimensions(xls.get(), &rows, &columns) != FREEXL_OK)
        throw AppError(unreadableMessage(path, QStringLiteral("无法读取工作表 %1").arg(names.at(index))));

    SheetBuilder builder;
    for (unsigned int r = 0; r < rows; ++r) {
        for (unsigned short c = 0; c < columns; ++c) {
            FreeXL_CellValue value;
            if (freexl_get_cell_value(xls.get(), r, c, &value) == FREEXL_OK)
                builder.setCell(int(r), int(c), cellText(value));
        }
    }
    return builder.finish(names.at(index));
}

} // namespace SheetFormats
