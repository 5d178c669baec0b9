#pragma once
#include "report/ReportPresenter.h"

#include <QString>

class QWidget;

// The program's presenter: the modal print preview, opened maximised, printing on the
// system's default printer unless the operator picks another, and saving the page as PDF.
// It belongs to the given parent, else to the screen that asked (AskingWindow), never to a
// window that comes and goes by itself; it runs through the dialog runner.
class UiReportPreview : public ReportPresenter {
public:
    explicit UiReportPreview(QWidget *parent = nullptr) : m_parent(parent) {}
    void present(const report::PreparedReport &page) override;
    void presentPages(const QList<report::PreparedReport> &pages) override;

private:
    QWidget *m_parent;
};

// Where the preview proposes to keep a PDF of the document (printing to a file, "保存为PDF"):
// the operator's documents folder, or the home folder without one, named for the document.
QString proposedPdfPath(const QString &documentName);

// The preview of the running program. Installs it as the presenter when no other
// presenter is installed (the tests install their own before any screen prints).
void ensurePrintPreview();
