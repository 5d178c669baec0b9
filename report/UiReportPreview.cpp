#include "report/UiReportPreview.h"
#include "output/TfrmDMP.h"
#include "widgets/Guard.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScreen>
#include <QToolBar>

void UiReportPreview::present(const report::PreparedReport &page) { presentPages({page}); }

void UiReportPreview::presentPages(const QList<report::PreparedReport> &pages)
{
    if (pages.isEmpty())
        return;
    const report::PreparedReport &page = pages.first();
    QWidget *parent = m_parent ? m_parent : QApplication::activeWindow();
    QPrinter printer(QPrinter::HighResolution); // the default printer
    printer.setFullPage(false);
    printer.setDocName(page.fileName);
    page.applyLayout(printer);

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
        bar->addSeparator();
        QAction *save = bar->addAction(QStringLiteral("保存为PDF"));
        save->setToolTip(QStringLiteral("把%1保存为 PDF 文件").arg(page.documentName));
        QObject::connect(save, &QAction::triggered, &dialog, [&dialog, &pages, &page] {
            const QString path = QFileDialog::getSaveFileName(&dialog, QStringLiteral("保存为PDF"),
                                                              page.documentName + QStringLiteral(".pdf"),
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
    dialog.exec();
}

void ensurePrintPreview()
{
    static UiReportPreview preview;
    if (!frmDMP().presenter())
        frmDMP().setPresenter(&preview);
}
