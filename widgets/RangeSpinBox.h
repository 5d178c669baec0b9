#pragma once
#include <QSpinBox>

// A whole-number box that lets the operator type any digits and signs, and settles the
// text into its range when it loses the focus or is read: a text that is not a whole
// number counts as the lower bound, a number outside the range becomes the nearest bound.
class RangeSpinBox : public QSpinBox {
    Q_OBJECT
public:
    RangeSpinBox(int minimum, int maximum, QWidget *parent = nullptr);

    // The value the box holds once its text is settled (what a save must read).
    int settledValue();
    // The value a text settles to in this box's range.
    int settle(const QString &text) const;

signals:
    // A typed character the box does not take (anything but digits and signs, a blank
    // too); the box beeps, as the operator expects of a refused key. A pasted text may
    // still have blanks around its number.
    void keyRefused();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    QValidator::State validate(QString &input, int &pos) const override;
    void fixup(QString &input) const override;
    int valueFromText(const QString &text) const override;
};
