#pragma once
#include <QString>
#include <QList>
#include <QPair>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <map>

// The non-empty cells of one sheet row: (column, text), columns rising.
using SheetRow = QList<QPair<int, QString>>;

// One sheet of a workbook as the import sees it: the first row gives the column titles,
// every further row one record, every cell as text. Rows keep only their non-empty cells,
// so a stray cell far to the right costs one cell, not a widened row for every record.
struct Sheet {
    QStringList headings;
    QVector<SheetRow> rows;
    QVector<int> sheetRows;      // the spreadsheet's own row number of each row (titles: 1)

    int rowCount() const { return int(rows.size()); }
    int columnCount() const { return int(headings.size()); }
    // Column of the first heading equal to name, or -1.
    int columnOf(const QString &name) const { return int(headings.indexOf(name)); }
    // The text of a cell; empty for an empty cell or one beyond the row.
    QString cell(int row, int column) const;
    // A whole row, as wide as the headings.
    QStringList row(int r) const;
    // Appends a row given whole; its empty cells are left out.
    void addRow(const QStringList &cells, int sheetRow);
};

// The limits of the spreadsheet programs themselves. A file beyond them is refused with a
// message naming the cell, before it can take the machine's memory.
namespace SheetLimits {
inline constexpr int MaxRows = 1048576;
inline constexpr int MaxColumns = 16384;
inline constexpr int MaxCellChars = 32767;
// Non-empty cells of one sheet (a full sheet of owners is 8 columns of 1,048,575 houses);
// repeated cells count as often as they repeat.
inline constexpr qint64 MaxCells = 10000000;
// "第 3 行第 16385 列" (both from 1).
QString cellName(qint64 row, qint64 column);
// Throws AppError when text is longer than a cell may hold (row and column from 0).
void checkCellText(const QString &text, qint64 row, qint64 column);
[[noreturn]] void cellTooLong(qint64 row, qint64 column);
} // namespace SheetLimits

// Collects the non-empty cells of one sheet in whatever order a reader meets them and
// makes the Sheet: the widest row sets the column count, a column without a title is
// called F1, F2, ... after its position, and rows without any text are left out.
class SheetBuilder {
public:
    SheetBuilder() = default;
    SheetBuilder(const SheetBuilder &) = delete;
    SheetBuilder &operator=(const SheetBuilder &) = delete;

    // row and column count from 0. Empty texts are ignored. Throws AppError for a cell
    // beyond the spreadsheet's limits or beyond MaxCells.
    void setCell(qint64 row, qint64 column, const QString &text);
    // Throws the same AppError at once when cells more cells would pass MaxCells (a
    // reader about to repeat a row), naming the cell where they start.
    void expectCells(qint64 cells, qint64 row, qint64 column) const;
    // Throws AppError when the first row holds no title at all.
    Sheet finish(const QString &sheetName) const;

private:
    std::map<int, SheetRow> m_rows;
    // Readers give the cells row by row: the row of the last cell stays at hand.
    int m_lastRow = -1;
    SheetRow *m_last = nullptr;
    qint64 m_cells = 0;
};

// Reads the sheet named "Sheet1" of a workbook file. The format is told by the file's
// content, never by its name: Excel 97-2003 (.xls), Office Open XML (.xlsx, from any
// writer), OpenDocument (.ods), or a comma-separated text file (UTF-8 with or without
// BOM, or GBK), which is the sheet itself.
namespace SheetReader {

enum class Format { Xls, Xlsx, Ods, Csv };

inline const char SheetName[] = "Sheet1";

// Throws AppError when the file cannot be read or is of no known kind.
Format detect(const QString &path);
// Throws AppError with a message for the operator: unreadable or damaged file, no sheet
// "Sheet1", a sheet without a title row, a file beyond the limits above or beyond the
// memory of the machine. stop, when given, is watched while a helper process reads an
// .xls file (see readXls).
Sheet read(const QString &path, const std::atomic<bool> *stop = nullptr);

// Cell texts shared by the readers.
// A number in its general decimal form: 1201, 88.56, never 1201.0 or an exponent.
QString numberText(double value);
// The text of a number cell as a workbook stores it ("88.56", "8.8560000000000002E1"): the
// stored text itself when it is already the general decimal form (most cells, read without
// converting), else numberText of its value; a text that is no number is kept as it is.
QString storedNumberText(const QString &stored);
// A spreadsheet serial day number as the program writes dates: "yyyy-mm-dd", with
// " hh:mm:ss" only when the value holds a time of day; timeOnly gives "hh:mm:ss".
QString serialDateText(double serial, bool date1904, bool timeOnly = false);
// True for a number format code that shows a date or time ("yyyy-mm-dd",
// 'yyyy"年"m"月"d"日"', "h:mm"); *timeOnly tells whether it shows no date part.
bool isDateFormatCode(const QString &code, bool *timeOnly = nullptr);

} // namespace SheetReader
