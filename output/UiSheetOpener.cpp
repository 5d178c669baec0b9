#include "output/UiSheetOpener.h"
#include "db/DbError.h"
#include "data/DataModule.h"
#include "widgets/BrowseWindow.h"
#include "widgets/DialogParent.h"
#include "widgets/Guard.h"
#include "browse/QueryModel.h"
#include "widgets/LongAction.h"
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

#include <atomic>
#include <exception>
#include <thread>

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

QString chooseSaveLocation(QWidget *parent, const QString &suggestedName)
{
    if (saveChooser())
        return saveChooser()(suggestedName);
    return QFileDialog::getSaveFileName(parent, QStringLiteral("保存工作簿"),
                                        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                                            .filePath(suggestedName),
                                        QStringLiteral("Excel文件(*.xlsx)"));
}

} // namespace

QString offerToKeepWorkbook(QWidget *parent, const QString &path, const QString &suggestedName)
{
    QString target;
    if (messages().question(parent, QStringLiteral("保存工作簿"), QString::fromUtf8(NoSpreadsheetProgram), true))
        target = chooseSaveLocation(parent, suggestedName);
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
    showInfo(parent, QStringLiteral("工作簿已保存到：%1").arg(QDir::toNativeSeparators(target)));
    return target;
}

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

QString presentExport(const ExportLayout &layout, ExportRowSource &list, const Rows &totals, const QString &suggestedName,
                      QWidget *asker)
{
    const QString folder = privateExportFolder();
    const QString path = newExportPath(folder, UnitName + layout.titleWord, QDateTime::currentDateTime(), unpredictableTag());
    const ExportResult result = writeExportWorkbook(path, layout, list, totals, UnitName);
    SqlText = result.bodyRange;
    if (!sheetOpener().open(path))
        return offerToKeepWorkbook(dialogParent(asker), path, suggestedName);
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

namespace {

// A source whose first row was already moved to (by whoever read it ahead).
class FirstReadSource : public ExportRowSource {
public:
    FirstReadSource(ExportRowSource &rows, bool hasFirst) : m_rows(rows), m_hasFirst(hasFirst) {}
    QStringList fieldNames() const override { return m_rows.fieldNames(); }
    bool next() override
    {
        if (m_first) {
            m_first = false;
            return m_hasFirst;
        }
        return m_rows.next();
    }
    QString value(int field) const override { return m_rows.value(field); }

private:
    ExportRowSource &m_rows;
    bool m_hasFirst;
    bool m_first = true;
};

// The list's rows with a progress window: "取消" ends the walk, and with it the workbook.
class ProgressExportSource : public ExportRowSource {
public:
    ProgressExportSource(ExportRowSource &rows, LongAction &action) : m_rows(rows), m_action(action) {}
    QStringList fieldNames() const override { return m_rows.fieldNames(); }
    bool next() override
    {
        if (!m_action.step(++m_done))
            throw ActionCancelled{};
        return m_rows.next();
    }
    QString value(int field) const override { return m_rows.value(field); }
    void whileFinishing(const std::function<void()> &work) override
    {
        m_action.setLabel(QStringLiteral("正在保存工作簿…"));
        m_action.setTotal(0);
        std::atomic<bool> done{false};
        std::thread packer([&] {
            work();
            done = true;
            // Wakes the window's loop, which may be waiting for its next event.
            QMetaObject::invokeMethod(qApp, [] {}, Qt::QueuedConnection);
        });
        // "取消" meanwhile: the packing is not stopped halfway, its workbook is not kept.
        const bool kept = m_action.waitUntil([&] { return done.load(); });
        while (!done.load())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        packer.join();
        // The workbook is written: what follows (the spreadsheet program, or the boxes
        // when there is none) is no longer the export's work.
        m_action.finish();
        if (!kept)
            throw ActionCancelled{};
    }

private:
    ExportRowSource &m_rows;
    LongAction &m_action;
    qint64 m_done = 0;
};

} // namespace

void exportBrowseList(BrowseWindow *window, const ExportLayout &layout)
{
    guard(window, [&] {
        QueryModel &list = *window->listModel;
        if (!list.isOpen())
            throw AppError(QStringLiteral("列表没有打开，请重新查询"));
        LongAction action(window, QStringLiteral("正在统计列表…"));
        // The totals row needs the footer's figures; they may still be counted.
        if (!action.waitUntil([window] { return window->figuresDone(); }))
            return;
        if (!list.atEnd())
            throw AppError(QStringLiteral("列表没有统计完成，请重新查询"));
        action.setLabel(QStringLiteral("正在导出 %1 行…").arg(list.rowCount()));
        action.setTotal(list.rowCount());
        // The workbook takes every row of the list, the same rows the footer's totals
        // were summed over, read once from the first in the grid's order.
        Database &reader = window->listReader();
        const QString statement = window->listModel->orderedStatement();
        std::unique_ptr<Cursor> cursor;
        // The first row may take the engine a while (a list in another order than its
        // index sorts first, on opening the cursor): read on a thread of its own while the
        // window answers.
        bool hasFirst = false;
        {
            std::atomic<bool> done{false};
            std::exception_ptr error;
            std::thread first([&] {
                try {
                    cursor = reader.cursor(statement);
                    hasFirst = cursor->next();
                } catch (...) {
                    error = std::current_exception();
                }
                done = true;
                QMetaObject::invokeMethod(qApp, [] {}, Qt::QueuedConnection);
            });
            const bool waited = action.waitUntil([&] { return done.load(); });
            // Given up: the row being read is let finish, the window answering meanwhile.
            while (!done.load())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            first.join();
            if (error)
                std::rethrow_exception(error);
            if (!waited)
                return;
        }
        CursorExportSource cursorRows(*cursor);
        FirstReadSource rows(cursorRows, hasFirst);
        ProgressExportSource source(rows, action);
        try {
            presentExport(layout, source, window->totals(),
                          ExportLayouts::fileName(window->windowTitle(), QDate::currentDate()), window);
        } catch (const ActionCancelled &) {
            return; // the half-written workbook is removed by the writer
        }
        if (list.rowCount() > 0) {
            const QModelIndex current = window->listGrid->currentIndex();
            window->listGrid->setCurrentIndex(list.index(list.rowCount() - 1, current.isValid() ? current.column() : 0));
        }
    });
}
