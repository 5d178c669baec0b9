#include "report/UiReportPreview.h"
#include "widgets/DialogParent.h"
#include "widgets/DialogRunner.h"
#include "widgets/Guard.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QScreen>
#include <QStandardPaths>
#include <QToolBar>

QString proposedPdfPath(const QString &documentName)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QFileInfo documents(folder);
    if (folder.isEmpty() || !documents.isDir() || !documents.isWritable())
        folder = QDir::homePath();
    QString name = documentName.trimmed();
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    if (name.isEmpty())
        name = QStringLiteral("打印");
    return QDir(folder).filePath(name + QStringLiteral(".pdf"));
}

namespace {

// The print dialog of the preview, run through the dialog runner. Its file box (printing to
// a PDF file) starts at the operator's documents folder with the document's name; left to
// itself the dialog would derive it from the printer's document name and the current folder.
void printFromPreview(QPrintPreviewDialog &preview, QPrinter &printer, const QString &pdfPath)
{
    QPrintDialog dialog(&printer, &preview);
    // The box is found by the name it has in Qt's own print dialog; without it the
    // dialog's proposal stays.
    if (auto *file = dialog.findChild<QLineEdit *>(QStringLiteral("filename")))
        file->setText(QDir::toNativeSeparators(pdfPath));
    if (runModal(&dialog) != QDialog::Accepted)
        return;
    if (auto *pages = preview.findChild<QPrintPreviewWidget *>())
        pages->print();
    preview.accept();
}

} // namespace

void UiReportPreview::present(const report::PreparedReport &page) { presentPages({page}); }

void UiReportPreview::presentPages(const QList<report::PreparedReport> &pages)
{
    if (pages.isEmpty())
        return;
    const report::PreparedReport &page = pages.first();
    // The screen that asked, never a window that comes and goes by itself: the lock-wait
    // window of the write just done is still there and is deleted while the preview is
    // open, and would take the preview with it.
    QWidget *parent = dialogParent(m_parent);
    QPrinter printer(QPrinter::HighResolution); // the default printer
    printer.setFullPage(false);
    // The print queue shows the job under this name.
    printer.setDocName(page.documentName);
    page.applyLayout(printer);
    const QString pdfPath = proposedPdfPath(page.documentName);

    QPrintPreviewDialog dialog(&printer, parent);
    dialog.setWindowTitle(QStringLiteral("打印预览"));
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&pages](QPrinter *p) {
        pages.first().applyLayout(*p);
        QPainter painter(p);
        for (int i = 0; i < pages.size(); ++i) {
            if (i > 0)
                p->newPage();
            pages.at(i).paintAll(painter, *p);
        }
    });

    if (auto *bar = dialog.findChild<QToolBar *>()) {
        // The tool bar's print button opens the print dialog proposing a writable file.
        for (QAction *action : bar->actions()) {
            if (QObject::disconnect(action, SIGNAL(triggered(bool)), &dialog, SLOT(_q_print())))
                QObject::connect(action, &QAction::triggered, &dialog,
                                 [&dialog, &printer, pdfPath] { printFromPreview(dialog, printer, pdfPath); });
        }
        bar->addSeparator();
        QAction *save = bar->addAction(QStringLiteral("保存为PDF"));
        save->setToolTip(QStringLiteral("把%1保存为 PDF 文件").arg(page.documentName));
        QObject::connect(save, &QAction::triggered, &dialog, [&dialog, &pages, pdfPath] {
            const QString path = QFileDialog::getSaveFileName(&dialog, QStringLiteral("保存为PDF"), pdfPath,
                                                              QStringLiteral("PDF 文件 (*.pdf)"));
            if (path.isEmpty())
                return;
            guard(&dialog, [&] { report::writePdf(pages, path); });
        });
    }
    // Maximised; the geometry also covers the screen where no window manager maximises.
    if (QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        dialog.setGeometry(screen->availableGeometry());
    dialog.setWindowState(dialog.windowState() | Qt::WindowMaximized);
    runModal(&dialog);
}

void ensurePrintPreview()
{
    static UiReportPreview preview;
    if (!report::presenter())
        report::setPresenter(&preview);
}
