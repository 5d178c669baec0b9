#include "widgets/RangeSpinBox.h"

#include <QApplication>
#include <QKeyEvent>
#include <QRegularExpression>

namespace {
bool signsAndDigitsOnly(const QString &s)
{
    for (const QChar c : s)
        if (!c.isDigit() && c != QLatin1Char('+') && c != QLatin1Char('-') && c != QLatin1Char(' '))
            return false;
    return true;
}
} // namespace

RangeSpinBox::RangeSpinBox(int minimum, int maximum, QWidget *parent)
    : QSpinBox(parent)
{
    setRange(minimum, maximum);
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
}

int RangeSpinBox::settle(const QString &text) const
{
    static const QRegularExpression whole(QStringLiteral("^\\s*[+-]?\\d+\\s*$"));
    if (!whole.match(text).hasMatch())
        return minimum();
    bool ok = false;
    const qlonglong v = text.trimmed().toLongLong(&ok);
    if (!ok) // too many digits: beyond either bound
        return text.trimmed().startsWith(QLatin1Char('-')) ? minimum() : maximum();
    return int(qBound(qlonglong(minimum()), v, qlonglong(maximum())));
}

void RangeSpinBox::keyPressEvent(QKeyEvent *event)
{
    const QString typed = event->text();
    const bool character = !typed.isEmpty() && typed.at(0).isPrint()
        && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    // A typed blank is refused like a letter: no whole number holds one.
    if (character && (!signsAndDigitsOnly(typed) || typed.contains(QLatin1Char(' ')))) {
        QApplication::beep();
        emit keyRefused();
        event->accept();
        return;
    }
    QSpinBox::keyPressEvent(event);
}

int RangeSpinBox::settledValue()
{
    interpretText();
    return value();
}

QValidator::State RangeSpinBox::validate(QString &input, int &) const
{
    if (!signsAndDigitsOnly(input))
        return QValidator::Invalid;
    static const QRegularExpression whole(QStringLiteral("^\\s*[+-]?\\d+\\s*$"));
    if (whole.match(input).hasMatch()) {
        bool ok = false;
        const qlonglong v = input.trimmed().toLongLong(&ok);
        if (ok && v >= minimum() && v <= maximum())
            return QValidator::Acceptable;
    }
    return QValidator::Intermediate;
}

void RangeSpinBox::fixup(QString &input) const
{
    input = QString::number(settle(input));
}

int RangeSpinBox::valueFromText(const QString &text) const
{
    return settle(text);
}
