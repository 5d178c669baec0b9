// A comma-separated text file is read as the sheet itself. Spreadsheet programs save it
// as UTF-8 (often with a byte-order mark) or, in Chinese settings, as GBK: the encoding
// is told from the bytes.
#include "sheets/SheetFormats.h"
#include "db/DbError.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace {

QString decode(const QString &path, QByteArray bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.constData() + 3, bytes.size() - 3);
    QStringDecoder utf8(QStringConverter::Utf8);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    // GB18030 reads every GBK text the same and more besides.
    QStringDecoder gbk("GB18030");
    if (!gbk.isValid())
        throw AppError(SheetFormats::unreadableMessage(path, QStringLiteral("文件不是 UTF-8 编码，而本机无法读取 GBK 编码的文本")));
    text = gbk.decode(bytes);
    if (gbk.hasError())
        throw AppError(SheetFormats::unreadableMessage(path, QStringLiteral("文件既不是 UTF-8 也不是 GBK 编码的文本")));
    return text;
}

// Comma unless the title line has none and is clearly separated otherwise.
QChar separatorOf(const QString &text)
{
    const QString line = text.left(text.indexOf(QLatin1Char('\n')));
    if (line.contains(QLatin1Char(',')))
        return QLatin1Char(',');
    if (line.contains(QLatin1Char('\t')))
        return QLatin1Char('\t');
    if (line.contains(QLatin1Char(';')))
        return QLatin1Char(';');
    return QLatin1Char(',');
}

} // namespace

namespace SheetFormats {

Sheet readCsv(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw AppError(unreadableMessage(path, f.errorString()));
    const QString text = decode(path, f.readAll());
    const QChar sep = separatorOf(text);

    // Fields in double quotes may hold separators, line breaks and doubled quotes.
    SheetBuilder builder;
    qint64 row = 0;
    qint64 column = 0;
    QString field;
    bool quoted = false;
    bool wasQuoted = false;
    int line = 1;      // the line of the file, counting breaks inside quotes too
    int quoteLine = 0; // where the open quote began
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar ch = text.at(i);
        if (ch == QLatin1Char('\n'))
            ++line;
        if (quoted) {
            if (ch == QLatin1Char('"')) {
                if (i + 1 < n && text.at(i + 1) == QLatin1Char('"')) {
                    field += ch;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += ch;
            }
            continue;
        }
        if (ch == QLatin1Char('"') && field.isEmpty() && !wasQuoted) {
            quoted = true;
            wasQuoted = true;
            quoteLine = line;
        } else if (ch == sep) {
            builder.setCell(row, column++, field);
            field.clear();
            wasQuoted = false;
        } else if (ch == QLatin1Char('\r') || ch == QLatin1Char('\n')) {
            if (ch == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n')) {
                ++i;
                ++line;
            }
            builder.setCell(row, column, field);
            field.clear();
            wasQuoted = false;
            ++row;
            column = 0;
        } else {
            field += ch;
        }
    }
    // The rest of the file swallowed into one field would import without a word.
    if (quoted)
        throw AppError(unreadableMessage(path, QStringLiteral("第 %1 行的引号没有结束").arg(quoteLine)));
    builder.setCell(row, column, field);
    return builder.finish(QFileInfo(path).fileName());
}

} // namespace SheetFormats
