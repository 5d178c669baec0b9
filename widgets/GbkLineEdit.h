#pragma once
#include <QLineEdit>

// Bytes a text takes in the GBK code page: a Chinese character counts two.
int gbkByteLength(const QString &text);

// An edit box whose limit counts GBK bytes and whose key filter discards every
// character outside its set. Both bind typing and pasting; text set by the program
// is taken as it is.
class GbkLineEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit GbkLineEdit(QWidget *parent = nullptr);

    void setByteLimit(int bytes) { m_limit = bytes; }
    int byteLimit() const { return m_limit; }
    // Only these characters may be typed; empty means any.
    void setAllowedChars(const QString &chars) { m_allowed = chars; }
    const QString &allowedChars() const { return m_allowed; }
    // Shows every character as "@".
    void setPasswordMode();

    static const QString Digits;         // "0123456789"
    static const QString DigitsPoint;    // digits and "."
    static const QString DigitsMinus;    // digits and "-"

private:
    void onEdited(const QString &text);
    QString m_last;
    QString m_allowed;
    int m_limit = 0;
    bool m_fixing = false;
};
