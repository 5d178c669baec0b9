#pragma once
#include <QDateEdit>

// The date picker of every screen: shows "yyyy-mm-dd" with a calendar to pop up.
// userChanged() fires only for changes the operator makes, not for setDate().
class DatePicker : public QDateEdit {
    Q_OBJECT
public:
    explicit DatePicker(QWidget *parent = nullptr);
    // Sets the date without userChanged().
    void setDateQuietly(const QDate &date);
    QString text() const;

signals:
    void userChanged();

protected:
    // Tab and Shift+Tab leave the picker as they leave every other box, also while it
    // shows no date; the year, month and day are reached with the arrow keys.
    bool focusNextPrevChild(bool next) override;

private:
    bool m_quiet = false;
};
