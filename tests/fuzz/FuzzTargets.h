#pragma once
// The bodies of the fuzz targets, shared by the libFuzzer programs (fuzz_*.cpp) and the
// unit test that replays the inputs that once crashed them (tst_fuzzregress). Each takes
// the bytes of one input; a reader's AppError is the expected answer to a bad file.
#include "data/Capitals.h"
#include "db/Dates.h"
#include "db/DbError.h"
#include "db/Numbers.h"
#include "sheets/SheetFormats.h"
#include "sheets/SheetReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>
#include <zip.h>

namespace fuzz {

// A scratch file of this process: the readers read files, as the import does. The files
// are removed when the process ends normally.
inline QString scratchPath(const char *suffix)
{
    static struct Scratch {
        QStringList paths;
        ~Scratch()
        {
            for (const QString &p : paths)
                QFile::remove(p);
        }
    } scratch;
    const QString dir = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    const QString path = QStringLiteral("%1/cy-fuzz-%2%3").arg(dir).arg(QCoreApplication::applicationPid()).arg(QLatin1String(suffix));
    if (!scratch.paths.contains(path))
        scratch.paths << path;
    return path;
}

inline QString writeScratch(const char *suffix, const uint8_t *data, size_t size)
{
    const QString path = scratchPath(suffix);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(reinterpret_cast<const char *>(data), qint64(size));
    return path;
}

// Reads the file with one reader and walks every cell, as the preview and the import do.
inline void readSheet(Sheet (*reader)(const QString &), const QString &path)
{
    try {
        const Sheet sheet = reader(path);
        qsizetype chars = 0;
        for (const QString &h : sheet.headings)
            chars += h.size();
        for (int r = 0; r < sheet.rowCount(); ++r) {
            int previous = -1;
            for (const auto &[column, text] : sheet.rows.at(r)) {
                // Cells in column order, within the titles, never empty, never over a cell's limit.
                if (column <= previous || column >= sheet.columnCount() || text.isEmpty()
                    || text.size() > SheetLimits::MaxCellChars)
                    __builtin_trap();
                previous = column;
                chars += text.size();
            }
        }
        (void)chars;
    } catch (const AppError &) {
    }
}

inline void csv(const uint8_t *data, size_t size)
{
    readSheet(&SheetFormats::readCsv, writeScratch(".csv", data, size));
}

// As the program reads a workbook: FreeXL in the helper process beside the target (built
// with it by fuzz.sh), so that a fault of FreeXL's ends the helper with a message here.
inline void xls(const uint8_t *data, size_t size)
{
    readSheet([](const QString &p) { return SheetFormats::readXls(p); }, writeScratch(".xls", data, size));
}

// FreeXL itself, in this process: what it finds are FreeXL's own faults, which the program
// keeps out of its process (xls above); the inputs are kept to replay through xls.
inline void xlsFreexl(const uint8_t *data, size_t size)
{
    readSheet(&SheetFormats::readXlsHere, writeScratch(".xls", data, size));
}

inline void xlsx(const uint8_t *data, size_t size)
{
    readSheet(&SheetFormats::readXlsx, writeScratch(".xlsx", data, size));
}

inline void ods(const uint8_t *data, size_t size)
{
    readSheet(&SheetFormats::readOds, writeScratch(".ods", data, size));
}

// Any file through the detection, as the import window opens it.
inline void anyFile(const uint8_t *data, size_t size)
{
    readSheet([](const QString &p) { return SheetReader::read(p); }, writeScratch(".bin", data, size));
}

// The parts of a container, separated in the input by this line; a mutated zip seldom
// gets past its own checksums, so these targets build a sound container around mutated
// XML and reach the readers' XML handling.
inline const char PartSeparator[] = "\n=====PART=====\n";

inline std::vector<std::string> splitParts(const uint8_t *data, size_t size)
{
    const std::string all(reinterpret_cast<const char *>(data), size);
    std::vector<std::string> parts;
    size_t start = 0;
    const size_t sepLen = std::strlen(PartSeparator);
    for (;;) {
        const size_t at = all.find(PartSeparator, start);
        if (at == std::string::npos) {
            parts.push_back(all.substr(start));
            return parts;
        }
        parts.push_back(all.substr(start, at - start));
        start = at + sepLen;
    }
}

// Zips the named parts (empty names are left out) into the scratch file.
inline QString zipParts(const char *suffix, const std::vector<std::pair<std::string, std::string>> &parts)
{
    const QString path = scratchPath(suffix);
    QFile::remove(path);
    int error = 0;
    zip_t *z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!z)
        return path;
    for (const auto &[name, content] : parts) {
        if (name.empty())
            continue;
        zip_source_t *src = zip_source_buffer(z, content.data(), content.size(), 0);
        if (!src || zip_file_add(z, name.c_str(), src, ZIP_FL_OVERWRITE) < 0) {
            if (src)
                zip_source_free(src);
            continue;
        }
        if (name == "mimetype")
            zip_set_file_compression(z, zip_uint64_t(zip_name_locate(z, "mimetype", 0)), ZIP_CM_STORE, 0);
    }
    zip_close(z); // the buffers must live until here
    return path;
}

// Parts in order: [Content_Types].xml, _rels/.rels, xl/workbook.xml,
// xl/_rels/workbook.xml.rels, xl/sharedStrings.xml, xl/styles.xml, xl/worksheets/sheet1.xml.
inline const char *const XlsxPartNames[] = {"[Content_Types].xml", "_rels/.rels", "xl/workbook.xml",
                                           "xl/_rels/workbook.xml.rels", "xl/sharedStrings.xml", "xl/styles.xml",
                                           "xl/worksheets/sheet1.xml"};

inline void xlsxParts(const uint8_t *data, size_t size)
{
    const std::vector<std::string> in = splitParts(data, size);
    std::vector<std::pair<std::string, std::string>> parts;
    for (size_t i = 0; i < in.size() && i < std::size(XlsxPartNames); ++i)
        parts.emplace_back(XlsxPartNames[i], in[i]);
    readSheet(&SheetFormats::readXlsx, zipParts(".xlsx", parts));
}

// Parts in order: content.xml, styles.xml; the mimetype is the spreadsheet's.
inline const char *const OdsPartNames[] = {"content.xml", "styles.xml"};

inline void odsParts(const uint8_t *data, size_t size)
{
    const std::vector<std::string> in = splitParts(data, size);
    std::vector<std::pair<std::string, std::string>> parts;
    parts.emplace_back("mimetype", "application/vnd.oasis.opendocument.spreadsheet");
    for (size_t i = 0; i < in.size() && i < std::size(OdsPartNames); ++i)
        parts.emplace_back(OdsPartNames[i], in[i]);
    readSheet(&SheetFormats::readOds, zipParts(".ods", parts));
}

// Amount, number and date texts as an operator or a sheet can give them.
inline void numbers(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    (void)Dates::tryParse(text);
    try {
        const double v = Numbers::toDouble(text);
        (void)Numbers::plain(v);
        (void)Numbers::roundTo(v, 2);
        (void)Numbers::roundTo(v, 0);
        const double a = std::fabs(v);
        if (a < 1e13)
            (void)amountInCapitals(a);
    } catch (const AppError &) {
    }
    try {
        (void)Numbers::toInt(text);
    } catch (const AppError &) {
    }
    if (size >= sizeof(double)) {
        double raw;
        std::memcpy(&raw, data, sizeof raw);
        (void)Numbers::plain(raw);
        if (std::isfinite(raw) && std::fabs(raw) < 1e13)
            (void)amountInCapitals(std::fabs(raw));
    }
}

} // namespace fuzz
