#include "output/UiSheetOpener.h"
#include "data/DbError.h"
#include "data/TfrmDM.h"
#include "widgets/BrowseWindow.h"
#include "widgets/Guard.h"
#include "browse/QueryModel.h"
#include "widgets/Seams.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTableView>
#include <QUrl>

namespace {

class DesktopSheetOpener : public SheetOpener {
public:
    bool open(const QString &path) override
    {
        // A run without a screen (the headless test platform) has nobody to show the
        // workbook to: it stays written in the export folder and no program is started.
        const QString platform = QGuiApplication::platformName();
        if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
            return true;
        return startSpreadsheetProgram(path);
    }
};

DesktopSheetOpener g_desktop;
SheetOpener *g_opener = &g_desktop;

SaveLocationChooser &saveChooser()
{
    static SaveLocationChooser chooser;
    return chooser;
}

QString chooseSaveLocation(const QString &suggestedName)
{
    if (saveChooser())
        return saveChooser()(suggestedName);
    return QFileDialog::getSaveFileName(QApplication::activeWindow(), QStringLiteral("保存工作簿"),
                                        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                                            .filePath(suggestedName),
                                        QStringLiteral("Excel文件(*.xlsx)"));
}

// No program can show the workbook (an office computer without a spreadsheet program):
// after the usual message the operator may keep it where they choose; otherwise it goes.
QString keepUnshownWorkbook(const QString &path)
{
    showError(QApplication::activeWindow(), withFullStop(QString::fromUtf8(NoSpreadsheetProgram)));
    QString target;
    if (messages().question(QApplication::activeWindow(), QStringLiteral("保存工作簿"),
                            QStringLiteral("没有找到可以打开工作簿的程序。要把工作簿保存到您选择的位置吗？"), true))
        target = chooseSaveLocation(QFileInfo(path).fileName());
    if (target.isEmpty()) {
        QFile::remove(path);
        return {};
    }
    if (!target.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive))
        target += QStringLiteral(".xlsx");
    // The file dialog has asked before replacing an existing file.
    if (QFileInfo(target).absoluteFilePath() != QFileInfo(path).absoluteFilePath()) {
        QFile::remove(target);
        if (!QFile::copy(path, target)) {
            QFile::remove(path);
            throw AppError(QStringLiteral("无法把工作簿保存到 %1").arg(QDir::toNativeSeparators(target)));
        }
        QFile::remove(path);
    }
    showInfo(QApplication::activeWindow(), QStringLiteral("工作簿已保存到：%1").arg(QDir::toNativeSeparators(target)));
    return target;
}

} // namespace

bool startSpreadsheetProgram(const QString &path)
{
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    // The shell refuses when no program is registered for workbooks.
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
#else
    // xdg-open reports success even when nothing can show the file, so a spreadsheet
    // program is looked for by name first, then the desktop's own choice for workbooks.
    struct Program {
        const char *name;
        const char *option;
    };
    static const Program programs[] = {{"localc", nullptr},   {"libreoffice", "--calc"}, {"soffice", "--calc"},
                                       {"gnumeric", nullptr}, {"et", nullptr},           {"wps", nullptr}};
    for (const Program &p : programs) {
        const QString exe = QStandardPaths::findExecutable(QString::fromLatin1(p.name));
        if (exe.isEmpty())
            continue;
        QStringList args;
        if (p.option)
            args << QString::fromLatin1(p.option);
        args << path;
        if (QProcess::startDetached(exe, args))
            return true;
    }
    const QString mime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (mime.isEmpty())
        return false;
    QProcess query;
    query.start(mime, {QStringLiteral("query"), QStringLiteral("default"),
                       QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet")});
    if (!query.waitForFinished(5000) || query.exitCode() != 0 || query.readAllStandardOutput().trimmed().isEmpty())
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
#endif
}

void setSaveLocationChooser(SaveLocationChooser chooser) { saveChooser() = std::move(chooser); }

SheetOpener &sheetOpener() { return *g_opener; }
void setSheetOpener(SheetOpener *opener) { g_opener = opener ? opener : &g_desktop; }

QString presentExport(const ExportLayout &layout, ExportRowSource &list, const Rows &totals)
{
    const QString folder = privateExportFolder();
    const QString path = newExportPath(folder, UnitName + layout.titleWord, QDateTime::currentDateTime(), unpredictableTag());
    const ExportResult result = writeExportWorkbook(path, layout, list, totals, UnitName);
    SqlText = result.bodyRange;
    if (!sheetOpener().open(path))
        return keepUnshownWorkbook(path);
    return path;
}

QStringList QueryModelExportSource::fieldNames() const { return m_model.columns(); }

bool QueryModelExportSource::next()
{
    if (m_row + 1 >= m_model.rowCount())
        return false;
    ++m_row;
    return true;
}

QString QueryModelExportSource::value(int field) const { return m_model.text(m_row, field); }

void exportBrowseList(BrowseWindow *window, const ExportLayout &layout)
{
    guard(window, [&] {
        QueryModel &list = *window->ADOQuery1;
        if (!list.isOpen())
            throw AppError(QStringLiteral("列表没有打开，请重新查询"));
        // The grid reads its rows as it scrolls; the workbook takes all of them, the same
        // rows the footer's totals were summed over.
        list.fetchAll();
        QueryModelExportSource source(list);
        presentExport(layout, source, window->totals());
        if (list.rowCount() > 0) {
            const QModelIndex current = window->DBGrid1->currentIndex();
            window->DBGrid1->setCurrentIndex(list.index(list.rowCount() - 1, current.isValid() ? current.column() : 0));
        }
    });
}
