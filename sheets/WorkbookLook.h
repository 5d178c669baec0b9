#pragma once
#include <QString>
#include <QStringList>

#include <xlsxwriter.h>

// The look every workbook of the program shares: the title merged over row 1 in 16 point
// 宋体, bold and centred; the headings on row 2, bold and centred; every cell from row 2
// on ruled and 9 point; landscape pages with the address and the page numbers in the
// footer. The formats belong to the workbook and live as long as it.
class WorkbookLook {
public:
    // Makes the shared formats and gives the workbook its title as its document title.
    WorkbookLook(lxw_workbook *wb, const QString &title);

    // A new ruled 9 point format for cells of the table, to be refined by the caller.
    lxw_format *ruled() const;

    lxw_format *titleFormat() const { return m_title; }
    lxw_format *headingFormat() const { return m_heading; }

    // Lays out a sheet: landscape, the footer, row 1 tall enough for the title, the title
    // merged over the headings' columns and the headings on row 2. Returns the first error
    // of the writer, or LXW_NO_ERROR.
    lxw_error startSheet(lxw_worksheet *ws, const QStringList &headings) const;

private:
    lxw_workbook *m_wb;
    QByteArray m_titleUtf8;
    lxw_format *m_title;
    lxw_format *m_heading;
};
