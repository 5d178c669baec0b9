#pragma once
#include <functional>
#include "db/Database.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

// The workbook writer behind every list export: one sheet with a title, headings, the
// list and a totals row, shaped by a column table (the screens' tables are in
// output/XlsxExport.h).

// The rows to export, walked once from the first to the last. Fields are found by name
// without regard to letter case, as the grid's captions name them.
class ExportRowSource {
public:
    virtual ~ExportRowSource() = default;
    virtual QStringList fieldNames() const = 0;
    // Moves to the next row; the first call moves to the first row. False past the last.
    virtual bool next() = 0;
    // Value of the current row, as text (null reads as the empty text).
    virtual QString value(int field) const = 0;

    // -1 when the source has no such field.
    int fieldIndex(const QString &name) const;
    // Throws AppError naming the field when it is absent.
    QString value(const QString &name) const;
    // Runs the workbook's last step (packing the written sheet, seconds for a long list).
    // A source read on a window's thread runs it on another thread while the window
    // answers; it may throw once the work is over (the workbook is then not kept).
    virtual void whileFinishing(const std::function<void()> &work) { work(); }
};

// A list held in memory, as a screen's list query holds it. When the walk ends, the
// list is left on its last row, as the grid shows it after an export.
class RowsExportSource : public ExportRowSource {
public:
    explicit RowsExportSource(Rows &rows) : m_rows(rows) {}
    QStringList fieldNames() const override { return m_rows.columns(); }
    bool next() override;
    QString value(int field) const override { return m_rows.at(m_row, field); }

private:
    Rows &m_rows;
    int m_row = -1;
};

// A forward-only cursor, for lists too large to hold (the admin tool's whole lists).
class CursorExportSource : public ExportRowSource {
public:
    explicit CursorExportSource(Cursor &cursor) : m_cursor(cursor) {}
    QStringList fieldNames() const override { return m_cursor.columns(); }
    bool next() override { return m_cursor.next(); }
    QString value(int field) const override { return m_cursor.text(field); }

private:
    Cursor &m_cursor;
};

// How a column's values reach the sheet.
enum class ExportCell {
    Sequence, // the row's sequence number, centred
    Typed,    // as if typed: a number becomes a number, anything else stays text
    Text,     // always text, every character kept (receipt numbers, rooms, phones, dates)
    Date,     // a "yyyy-mm-dd" date becomes a date shown as yyyy-mm-dd; else as Typed
};

struct ExportColumn {
    QString heading;    // row 2; also the list field the values come from
    ExportCell cell = ExportCell::Typed;
    QString totalField; // field of the totals row summed under this column, or empty
};

struct ExportLayout {
    QString titleWord; // follows the unit's name in the title
    QVector<ExportColumn> columns;

    QString lastColumnLetter() const;
    QString titleRange() const;   // "A1:O1"
    QString headingRange() const; // "A1:O2": title and headings
    QString bodyRange(int lastRow) const; // "A2:O<lastRow>": the ruled part
};

struct ExportResult {
    int dataRows = 0;
    int totalsRow = 0;   // 1-based sheet row of "合计"
    QString bodyRange;   // "A2:O<totalsRow>"
};

// The centre footer in the workbook's header/footer code: the address, page count, page.
QString exportFooter();

// Writes the workbook to path in one pass with constant memory: title merged over row 1,
// headings on row 2, the list from row 3, then the totals row; every cell of row 2 to the
// totals row ruled and 9 point; column A four characters wide; landscape. totals holds
// one row (or none: the sums are then empty). Throws AppError when the file cannot be
// written or the list lacks a field of the layout.
ExportResult writeExportWorkbook(const QString &path, const ExportLayout &layout, ExportRowSource &list,
                                 const Rows &totals, const QString &unitName);

// A new file name in folder for a workbook with this title made at this time (and tag,
// when given); never the name of an existing file. Characters that no file name may hold
// become "_".
QString newExportPath(const QString &folder, const QString &title, const QDateTime &when, const QString &tag = {});
// Where the screens put their workbooks: a folder of the account's own in the system's
// temporary place.
QString exportFolder();
// exportFolder, made if needed, owned by this account and private to it (0700). Throws
// AppError when another account's folder (or a link) is in its place.
QString privateExportFolder();
// Six random letters and digits, so that a workbook's name cannot be guessed.
QString unpredictableTag();
