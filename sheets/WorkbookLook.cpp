#include "sheets/WorkbookLook.h"
#include "sheets/WorkbookWriter.h"

WorkbookLook::WorkbookLook(lxw_workbook *wb, const QString &title)
    : m_wb(wb), m_titleUtf8(title.toUtf8())
{
    lxw_doc_properties props{};
    props.title = const_cast<char *>(m_titleUtf8.constData());
    workbook_set_properties(wb, &props);

    m_title = workbook_add_format(wb);
    format_set_font_name(m_title, "宋体");
    format_set_font_size(m_title, 16);
    format_set_bold(m_title);
    format_set_align(m_title, LXW_ALIGN_CENTER);
    format_set_align(m_title, LXW_ALIGN_VERTICAL_CENTER);
    m_heading = ruled();
    format_set_bold(m_heading);
    format_set_align(m_heading, LXW_ALIGN_CENTER);
    format_set_align(m_heading, LXW_ALIGN_VERTICAL_CENTER);
}

lxw_format *WorkbookLook::ruled() const
{
    // Formats are fixed when a cell is written (rows go out in order and are not
    // revisited), so every ruled cell carries its border and size in its own format.
    lxw_format *f = workbook_add_format(m_wb);
    format_set_border(f, LXW_BORDER_THIN);
    format_set_font_size(f, 9);
    return f;
}

lxw_error WorkbookLook::startSheet(lxw_worksheet *ws, const QStringList &headings) const
{
    worksheet_set_landscape(ws);
    const QByteArray footer = exportFooter().toUtf8();
    lxw_error err = worksheet_set_footer(ws, footer.constData());
    if (err == LXW_NO_ERROR)
        err = worksheet_set_row(ws, 0, 20.25, nullptr); // room for the 16 point title
    if (err == LXW_NO_ERROR)
        err = worksheet_merge_range(ws, 0, 0, 0, lxw_col_t(headings.size() - 1), m_titleUtf8.constData(), m_title);
    for (qsizetype c = 0; c < headings.size() && err == LXW_NO_ERROR; ++c) {
        const QByteArray heading = headings.at(c).toUtf8();
        err = heading.isEmpty() ? worksheet_write_blank(ws, 1, lxw_col_t(c), m_heading)
                                : worksheet_write_string(ws, 1, lxw_col_t(c), heading.constData(), m_heading);
    }
    return err;
}
