#include "widgets/DatePicker.h"
#include "db/Dates.h"

DatePicker::DatePicker(QWidget *parent)
    : QDateEdit(parent)
{
    setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    setCalendarPopup(true);
    setMinimumDate(QDate(1900, 1, 1));
    setMaximumDate(QDate(9999, 12, 31));
    connect(this, &QDateEdit::dateChanged, this, [this] {
        if (!m_quiet)
            emit userChanged();
    });
}

void DatePicker::setDateQuietly(const QDate &date)
{
    m_quiet = true;
    setDate(date);
    m_quiet = false;
}

QString DatePicker::text() const
{
    return Dates::format(date());
}

bool DatePicker::focusNextPrevChild(bool next)
{
    return QWidget::focusNextPrevChild(next);
}
