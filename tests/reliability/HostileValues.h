#pragma once
// The table of hostile texts fed into every text box, and a whole-database snapshot to
// prove that a statement did only what it was meant to do.
#include "data/DataModule.h"
#include "db/Database.h"

#include <QChar>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTest>

namespace hostile {

inline QString nul() { return QString(QChar(0)); }

// Adds the column "value" and one row per hostile text.
inline void addValueRows()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("single quote") << QStringLiteral("O'Brien's");
    QTest::newRow("lone quote") << QStringLiteral("'");
    QTest::newRow("double quote") << QStringLiteral("王\"大\"明");
    QTest::newRow("percent") << QStringLiteral("50%");
    QTest::newRow("underscore") << QStringLiteral("a_b");
    // The lists' LIKE escape character, alone and before a wildcard.
    QTest::newRow("escape character") << QStringLiteral("a!b");
    QTest::newRow("escape before wildcards") << QStringLiteral("1!_0!%");
    QTest::newRow("question mark") << QStringLiteral("几?号");
    QTest::newRow("backslash") << QStringLiteral("C:\\x\\");
    QTest::newRow("backslash quote") << QStringLiteral("\\'");
    QTest::newRow("second statement") << QStringLiteral("x'; DELETE FROM UCharge; --");
    QTest::newRow("or always true") << QStringLiteral("' OR '1'='1");
    QTest::newRow("comment") << QStringLiteral("1/*x*/--");
    QTest::newRow("1000 characters") << QString(1000, QLatin1Char('x'));
    QTest::newRow("1000 chinese") << QString(1000, QChar(0x697C)); // 楼
    QTest::newRow("outside GBK") << QStringLiteral("家🏠😀𠀀");
    QTest::newRow("tab newline") << QStringLiteral("a\tb\nc\rd");
    QTest::newRow("control") << QStringLiteral("e\x01\x1b[0m\x7f");
    QTest::newRow("NUL") << (QStringLiteral("a") + nul() + QStringLiteral("b"));
    QTest::newRow("blanks") << QStringLiteral("  101  ");
    QTest::newRow("full-width digits") << QStringLiteral("１２３．５");
    QTest::newRow("full-width blank") << QStringLiteral("\u3000张三\u3000");
    QTest::newRow("zero width") << QStringLiteral("a\u200Bb\u2028c");
}

// Rows that a LIKE would find by accident if "%" or "_" acted as wildcards, or if the
// escape character were taken as one ("1_0%" for "1!_0!%").
inline QStringList decoys()
{
    return {QStringLiteral("普通"), QStringLiteral("50元"), QStringLiteral("axb"), QStringLiteral("几号"),
            QStringLiteral("O"), QStringLiteral("x"), QStringLiteral("101"), QStringLiteral("ab"),
            QStringLiteral("e"), QStringLiteral("a"), QStringLiteral("1_0%"), QStringLiteral("1!x0!y")};
}

// What "text LIKE '%value%'" gives: "%" any run of characters, "_" one character, letter
// case ignored; every other character stands for itself.
inline bool likeAnyPart(const QString &text, const QString &value)
{
    QString pattern, literal;
    for (const QChar c : value) {
        if (c != QLatin1Char('%') && c != QLatin1Char('_')) {
            literal += c;
            continue;
        }
        pattern += QRegularExpression::escape(literal) + (c == QLatin1Char('%') ? QStringLiteral(".*") : QStringLiteral("."));
        literal.clear();
    }
    pattern += QRegularExpression::escape(literal);
    const QRegularExpression re(pattern, QRegularExpression::CaseInsensitiveOption
                                             | QRegularExpression::DotMatchesEverythingOption);
    return re.match(text).hasMatch();
}

// Every row of every table, as text, so that a test can see exactly what changed.
using Dump = QMap<QString, QSet<QString>>;

inline Dump dump()
{
    Dump d;
    for (const char *t : {"SUser", "SArea", "SMType", "SPrice", "SDept", "SZD", "UHouse", "UCharge"}) {
        const QString table = QString::fromLatin1(t);
        const Rows rows = dataModule().db().select(QStringLiteral("SELECT * FROM ") + table);
        QSet<QString> set;
        for (int r = 0; r < rows.rowCount(); ++r)
            set.insert(rows.row(r).join(QChar(0x1f)));
        d.insert(table, set);
    }
    return d;
}

struct Change {
    QSet<QString> added, removed;
};

// Tables whose rows changed, with the rows that appeared and disappeared.
inline QMap<QString, Change> diff(const Dump &before, const Dump &after)
{
    QMap<QString, Change> out;
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        const QSet<QString> &b = before.value(it.key());
        Change c;
        c.added = it.value() - b;
        c.removed = b - it.value();
        if (!c.added.isEmpty() || !c.removed.isEmpty())
            out.insert(it.key(), c);
    }
    return out;
}

// Printable form of a text for failure messages.
inline QByteArray shown(const QString &s)
{
    QString out;
    for (const QChar c : s.left(60)) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    if (s.size() > 60)
        out += QStringLiteral("…(%1)").arg(s.size());
    return out.toUtf8();
}

} // namespace hostile
