#pragma once
#include "report/Report.h"

#include <QString>

// Where a prepared report goes. The program's own presenter is the modal print preview
// (UiReportPreview); the admin tool and the tests write the page to a PDF file instead.
class ReportPresenter {
public:
    virtual ~ReportPresenter() = default;
    // Shows the prepared page; returns when the operator is done with it. Throws AppError
    // when the page cannot be shown.
    virtual void present(const report::PreparedReport &page) = 0;
    // Shows a report of several pages. By default each page is presented in turn.
    virtual void presentPages(const QList<report::PreparedReport> &pages)
    {
        for (const report::PreparedReport &page : pages)
            present(page);
    }
};

namespace report {
// Where the program's pages go (receipts, the day close, the season statistics): the print
// preview in the program, a PDF file in the admin tool and the tests. Not owned; nullptr
// removes it.
ReportPresenter *presenter();
void setPresenter(ReportPresenter *presenter);
} // namespace report

// Writes every presented page to one PDF file, replacing it.
class PdfFilePresenter : public ReportPresenter {
public:
    explicit PdfFilePresenter(QString path) : m_path(std::move(path)) {}
    void present(const report::PreparedReport &page) override { page.writePdf(m_path); }
    void presentPages(const QList<report::PreparedReport> &pages) override { report::writePdf(pages, m_path); }
    const QString &path() const { return m_path; }

private:
    QString m_path;
};
