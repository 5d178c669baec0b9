#pragma once
#include "output/XlsxExport.h"

#include <QString>
#include <functional>

class BrowseWindow;
class QWidget;
class QueryModel;

// Presents a finished workbook in the desktop's spreadsheet program. Tests install their
// own opener and read the file instead.
class SheetOpener {
public:
    virtual ~SheetOpener() = default;
    // Starts the spreadsheet program on the file; false when none can be started.
    virtual bool open(const QString &path) = 0;
};

SheetOpener &sheetOpener();
void setSheetOpener(SheetOpener *opener); // nullptr restores the desktop's opener

// What the desktop's opener does on a screen: starts the spreadsheet program on the file
// (LibreOffice Calc, Gnumeric, WPS, or the desktop's choice for workbooks); false when no
// such program can be started.
bool startSpreadsheetProgram(const QString &path);

inline const char NoSpreadsheetProgram[] =
    "工作簿已经生成，但这台电脑上没有可以打开它的程序（如 WPS 表格、LibreOffice）。要把工作簿保存到您选择的位置吗？";

// Asks where a workbook that no program could show is to be kept (a file dialog); empty
// when the operator cancels. Tests install their own; an empty function restores the dialog.
using SaveLocationChooser = std::function<QString(const QString &suggestedName)>;
void setSaveLocationChooser(SaveLocationChooser chooser);

// A workbook no program could show (a computer without a spreadsheet program): says that
// it was made and offers to save it where the operator chooses, suggestedName (what it
// holds and its day, ExportLayouts::fileName) in the documents folder first. Removes it
// from where it was written unless the operator keeps it there. Returns where it is kept
// (empty when the operator kept none); throws AppError when it cannot be saved there. The
// boxes and the file dialog belong to parent.
QString offerToKeepWorkbook(QWidget *parent, const QString &path, const QString &suggestedName);

// The "Excel" button of a browse screen: writes the list and its totals row to a new
// workbook in the export folder, named by the title and the time, and opens it unsaved
// for the operator. Every call makes another workbook. Leaves the ruled range in SqlText.
// Throws AppError (shown by the screen's guard) when the workbook cannot be written.
// When no spreadsheet program can be started, offers to save the workbook under
// suggestedName (offerToKeepWorkbook); the workbook is never left behind in the export
// folder. Returns where the workbook is (empty when the operator kept none). The boxes and
// the file dialog belong to asker (the screen that exports), else to the active window.
QString presentExport(const ExportLayout &layout, ExportRowSource &list, const Rows &totals,
                      const QString &suggestedName, QWidget *asker = nullptr);

// The rows of a browse grid's list query, from the first to the last.
class QueryModelExportSource : public ExportRowSource {
public:
    explicit QueryModelExportSource(const QueryModel &model) : m_model(model) {}
    QStringList fieldNames() const override;
    bool next() override;
    QString value(int field) const override;

private:
    const QueryModel &m_model;
    int m_row = -1;
};

// exportToExcel of the owner query, the arrears reminder and the charge query: exports the
// rows the grid lists (every row of the last "查询", read to the end) with the footer's
// totals, then leaves the grid on its last row; a workbook kept by hand is named by the
// window's title and today ("收费查询-20261211.xlsx"). Errors go to the window's error box.
void exportBrowseList(BrowseWindow *window, const ExportLayout &layout);
