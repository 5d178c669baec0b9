#pragma once
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <map>

// One sheet of a workbook as the import sees it: the first row gives the column titles,
// every further row one record, every cell as text.
struct Sheet {
    QStringList headings;
    QVector<QStringList> rows;   // each as wide as headings
    QVector<int> sheetRows;      // the spreadsheet's own row number of each row (titles: 1)

    int rowCount() const { return int(rows.size()); }
    int columnCount() const { return int(headings.size()); }
    // Column of the first heading equal to name, or -1.
    int columnOf(const QString &name) const { return int(headings.indexOf(name)); }
};

// Collects the non-empty cells of one sheet in whatever order a reader meets them and
// makes the Sheet: the widest row sets the column count, a column without a title is
// called F1, F2, ... after its position, and rows without any text are left out.
class SheetBuilder {
public:
    SheetBuilder() = default;
    SheetBuilder(const SheetBuilder &) = delete;
    SheetBuilder &operator=(const SheetBuilder &) = delete;

    // row and column count from 0. Empty texts are ignored.
    void setCell(int row, int column, const QString &text);
    // Throws AppError when the first row holds no title at all.
    Sheet finish(const QString &sheetName) const;

private:
    std::map<int, QStringList> m_rows;
    // Readers give the cells row by row: the row of the last cell stays at hand, and a new
    // row starts as wide as the widest so far.
    int m_lastRow = -1;
    QStringList *m_last = nullptr;
    int m_widest = 0;
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
// "Sheet1", a sheet without a title row.
// stop, when given, is watched while a helper process reads an .xls file (see readXls).
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
