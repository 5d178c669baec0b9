#pragma once
#include "report/ReportPresenter.h"

class QWidget;

// The program's presenter: the modal print preview, opened maximised, printing on the
// system's default printer unless the operator picks another, and saving the page as PDF.
class UiReportPreview : public ReportPresenter {
public:
    explicit UiReportPreview(QWidget *parent = nullptr) : m_parent(parent) {}
    void present(const report::PreparedReport &page) override;
    void presentPages(const QList<report::PreparedReport> &pages) override;

private:
    QWidget *m_parent;
};

// The preview of the running program. Installs it in the print module when no other
// presenter is installed (the tests install their own before any screen prints).
void ensurePrintPreview();
