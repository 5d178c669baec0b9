#include "widgets/GbkLineEdit.h"

#include <QProxyStyle>

const QString GbkLineEdit::Digits = QStringLiteral("0123456789");
const QString GbkLineEdit::DigitsPoint = QStringLiteral("0123456789.");
const QString GbkLineEdit::DigitsMinus = QStringLiteral("0123456789-");

int gbkByteLength(const QString &text)
{
    int n = 0;
    for (const QChar c : text)
        n += c.unicode() < 0x80 ? 1 : 2;
    return n;
}

namespace {
class AtPasswordStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *ret) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '@';
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }
};
} // namespace

GbkLineEdit::GbkLineEdit(QWidget *parent)
    : QLineEdit(parent)
{
    connect(this, &QLineEdit::textEdited, this, &GbkLineEdit::onEdited);
    connect(this, &QLineEdit::textChanged, this, [this](const QString &) {
        if (!m_fixing)
            m_last = text(); // after a fix, the signal still carries the text before it
    });
}

void GbkLineEdit::setPasswordMode()
{
    auto *style = new AtPasswordStyle;
    style->setParent(this);
    setStyle(style);
    setEchoMode(QLineEdit::Password);
}

void GbkLineEdit::onEdited(const QString &text)
{
    if (m_fixing)
        return;
    const QString &old = m_last;
    // The part the operator just inserted lies between what old and new have in common.
    int prefix = 0;
    const int maxPrefix = int(qMin(old.size(), text.size()));
    while (prefix < maxPrefix && old.at(prefix) == text.at(prefix))
        ++prefix;
    int suffix = 0;
    while (suffix < maxPrefix - prefix
           && old.at(old.size() - 1 - suffix) == text.at(text.size() - 1 - suffix))
        ++suffix;
    // A character outside the basic plane is two UTF-16 units: the edges never part them.
    if (prefix > 0 && text.at(prefix - 1).isHighSurrogate())
        --prefix;
    if (suffix > 0 && text.at(text.size() - suffix).isLowSurrogate())
        --suffix;
    const QString kept = text.left(prefix) + text.right(suffix);
    QString inserted = text.mid(prefix, text.size() - prefix - suffix);

    if (!m_allowed.isEmpty()) {
        QString filtered;
        for (const QChar c : inserted)
            if (m_allowed.contains(c))
                filtered += c;
        inserted = filtered;
    }
    if (m_limit > 0) {
        int budget = m_limit - gbkByteLength(kept);
        QString fitted;
        for (qsizetype i = 0; i < inserted.size(); ++i) {
            // A surrogate pair fits whole or not at all: half of one is no character.
            const qsizetype n = inserted.at(i).isHighSurrogate() && i + 1 < inserted.size()
                    && inserted.at(i + 1).isLowSurrogate() ? 2 : 1;
            const int w = gbkByteLength(inserted.mid(i, n));
            if (w > budget)
                break;
            budget -= w;
            fitted += inserted.mid(i, n);
            i += n - 1;
        }
        inserted = fitted;
    }
    const QString result = text.left(prefix) + inserted + text.right(suffix);
    if (result != text) {
        m_fixing = true;
        setText(result);
        setCursorPosition(int(prefix + inserted.size()));
        m_fixing = false;
    }
    m_last = result;
}
