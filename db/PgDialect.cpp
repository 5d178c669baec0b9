#include "db/PgDialect.h"
#include "db/ServerColumns.h"

#include <QSet>
#include <charconv>
#include <QVector>

namespace PgDialect {

namespace {

enum class Kind { Space, Comment, String, Quoted, Word, Param, Other };

struct Token {
    Kind kind;
    int begin; // index into the text
    int end;
    QString text;
};

bool isWordStart(QChar c)
{
    return c.isLetter() || c == QLatin1Char('_') || c.unicode() >= 0x80;
}

bool isWordChar(QChar c)
{
    return isWordStart(c) || c.isDigit() || c == QLatin1Char('$');
}

QVector<Token> tokenize(const QString &s)
{
    QVector<Token> out;
    const int n = int(s.size());
    int i = 0;
    while (i < n) {
        const int b = i;
        const QChar c = s.at(i);
        Kind k = Kind::Other;
        if (c.isSpace()) {
            while (i < n && s.at(i).isSpace())
                ++i;
            k = Kind::Space;
        } else if (c == QLatin1Char('-') && i + 1 < n && s.at(i + 1) == QLatin1Char('-')) {
            while (i < n && s.at(i) != QLatin1Char('\n'))
                ++i;
            k = Kind::Comment;
        } else if (c == QLatin1Char('/') && i + 1 < n && s.at(i + 1) == QLatin1Char('*')) {
            const int e = int(s.indexOf(QLatin1String("*/"), i + 2));
            i = e < 0 ? n : e + 2;
            k = Kind::Comment;
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            ++i;
            while (i < n) {
                if (s.at(i) == c) {
                    if (i + 1 < n && s.at(i + 1) == c) {
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                ++i;
            }
            k = c == QLatin1Char('\'') ? Kind::String : Kind::Quoted;
        } else if (isWordStart(c)) {
            while (i < n && isWordChar(s.at(i)))
                ++i;
            k = Kind::Word;
        } else if (c == QLatin1Char('?')) {
            ++i;
            k = Kind::Param;
        } else if (c == QLatin1Char('$') && i + 1 < n && s.at(i + 1).isDigit()) {
            ++i;
            while (i < n && s.at(i).isDigit())
                ++i;
            k = Kind::Param;
        } else if (c.isDigit()) {
            while (i < n && (s.at(i).isLetterOrNumber() || s.at(i) == QLatin1Char('.')))
                ++i;
        } else {
            ++i;
        }
        out.append(Token{k, b, i, s.mid(b, i - b)});
    }
    return out;
}

bool significant(const Token &t)
{
    return t.kind != Kind::Space && t.kind != Kind::Comment;
}

int previousSignificant(const QVector<Token> &t, int i)
{
    for (--i; i >= 0; --i)
        if (significant(t.at(i)))
            return i;
    return -1;
}

bool isWord(const QVector<Token> &t, int i, const char *word)
{
    return i >= 0 && i < t.size() && t.at(i).kind == Kind::Word
        && t.at(i).text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

bool isChar(const QVector<Token> &t, int i, char c)
{
    return i >= 0 && i < t.size() && t.at(i).kind == Kind::Other && t.at(i).text == QLatin1Char(c);
}

QString foldQuoted(const QString &inner)
{
    QString s = inner;
    for (QChar &c : s)
        if (c.unicode() < 0x80)
            c = c.toLower();
    return s;
}

} // namespace

Translated translate(const QString &sql)
{
    const QVector<Token> t = tokenize(sql);
    Translated out;
    out.text.reserve(sql.size() + 16);
    bool first = true;
    for (int i = 0; i < t.size(); ++i) {
        const Token &tok = t.at(i);
        if (first && significant(tok)) {
            first = false;
            out.read = isWord(t, i, "select") || isWord(t, i, "with") || isWord(t, i, "values") || isChar(t, i, '(');
        }
        switch (tok.kind) {
        case Kind::Param:
            if (tok.text == QLatin1String("?"))
                out.text += QLatin1Char('$') + QString::number(++out.parameters);
            else {
                out.text += tok.text;
                out.parameters = qMax(out.parameters, tok.text.mid(1).toInt());
            }
            continue;
        case Kind::Quoted: {
            const QString inner = tok.text.mid(1, tok.text.size() - 2);
            const QString folded = foldQuoted(inner);
            out.spelling.insert(folded.toLower(), QString(inner).replace(QLatin1String("\"\""), QLatin1String("\"")));
            out.text += QLatin1Char('"') + folded + QLatin1Char('"');
            continue;
        }
        case Kind::Word: {
            const QString lower = tok.text.toLower();
            if (!out.spelling.contains(lower))
                out.spelling.insert(lower, tok.text);
            out.text += tok.text;
            continue;
        }
        default:
            out.text += tok.text;
        }
    }
    return out;
}

int rowLimit(const QString &text)
{
    const QVector<Token> t = tokenize(text);
    int last = previousSignificant(t, int(t.size()));
    while (isChar(t, last, ';'))
        last = previousSignificant(t, last);
    const int word = previousSignificant(t, last);
    if (last < 0 || !isWord(t, word, "limit") || t.at(last).kind != Kind::Other || !t.at(last).text.at(0).isDigit())
        return -1;
    bool ok = false;
    const int n = t.at(last).text.toInt(&ok);
    if (!ok)
        return -1;
    int depth = 0;
    for (int i = 0; i < word; ++i) {
        if (isChar(t, i, '('))
            ++depth;
        else if (isChar(t, i, ')'))
            --depth;
    }
    return depth == 0 ? n : -1;
}

QString columnName(const Translated &t, const QString &serverName)
{
    const auto it = t.spelling.constFind(serverName);
    if (it != t.spelling.constEnd())
        return it.value();
    return ServerColumns::spelled(serverName);
}

namespace {

// The column for the value token at index v.
QString columnForToken(const QVector<Token> &t, int v)
{
    if (v < 0)
        return {};
    // "col = value" (UPDATE ... SET, WHERE)
    const int eq = previousSignificant(t, v);
    if (isChar(t, eq, '=')) {
        const int col = previousSignificant(t, eq);
        if (col >= 0 && (t.at(col).kind == Kind::Word || t.at(col).kind == Kind::Quoted))
            return t.at(col).kind == Kind::Word ? t.at(col).text.toLower() : foldQuoted(t.at(col).text.mid(1, t.at(col).text.size() - 2)).toLower();
    }
    // INSERT ... (c1, c2, ...) VALUES (v1, v2, ...): the place of v in its list.
    int depth = 0;
    int place = 0;
    int open = -1;
    for (int i = v - 1; i >= 0; --i) {
        const Token &k = t.at(i);
        if (k.kind != Kind::Other)
            continue;
        if (k.text == QLatin1String(")"))
            ++depth;
        else if (k.text == QLatin1String("(")) {
            if (depth == 0) {
                open = i;
                break;
            }
            --depth;
        } else if (k.text == QLatin1String(",") && depth == 0)
            ++place;
    }
    if (open < 0 || !isWord(t, previousSignificant(t, open), "values"))
        return {};
    int close = previousSignificant(t, previousSignificant(t, open));
    if (!isChar(t, close, ')'))
        return {};
    QStringList columns;
    int start = -1;
    for (int i = close - 1; i >= 0; --i)
        if (isChar(t, i, '(')) {
            start = i;
            break;
        }
    for (int i = start + 1; i < close && start >= 0; ++i)
        if (t.at(i).kind == Kind::Word)
            columns << t.at(i).text.toLower();
    return place < columns.size() ? columns.at(place) : QString();
}

} // namespace

QString columnAtPosition(const QString &text, int position)
{
    // The server counts characters, not UTF-16 units.
    int index = 0;
    for (int chars = 1; index < text.size() && chars < position; ++chars)
        index += text.at(index).isHighSurrogate() ? 2 : 1;
    const QVector<Token> t = tokenize(text);
    for (int i = 0; i < t.size(); ++i)
        if (t.at(i).begin <= index && index < t.at(i).end)
            return columnForToken(t, i);
    return {};
}

QString columnOfParameter(const QString &text, int n)
{
    const QVector<Token> t = tokenize(text);
    const QString name = QLatin1Char('$') + QString::number(n);
    for (int i = 0; i < t.size(); ++i)
        if (t.at(i).kind == Kind::Param && t.at(i).text == name)
            return columnForToken(t, i);
    return {};
}

QString columnOfOverflowingNumber(const QString &text)
{
    const QVector<Token> t = tokenize(text);
    for (int i = 0; i < t.size(); ++i) {
        const QString &word = t.at(i).text;
        if (t.at(i).kind != Kind::Other || word.isEmpty() || !(word.at(0).isDigit() || word.at(0) == QLatin1Char('.')))
            continue;
        // An exponent with its sign is read as three tokens: 1e, +, 999.
        QString number = word;
        if ((word.endsWith(QLatin1Char('e')) || word.endsWith(QLatin1Char('E'))) && i + 2 < t.size()
            && (isChar(t, i + 1, '+') || isChar(t, i + 1, '-')))
            number += t.at(i + 1).text + t.at(i + 2).text;
        // Beyond double precision either way (1e999, 1e-999), as the server refuses it.
        const QByteArray latin = number.toLatin1();
        double value = 0;
        const auto [end, error] = std::from_chars(latin.constData(), latin.constData() + latin.size(), value);
        if (error != std::errc::result_out_of_range || end != latin.constData() + latin.size())
            continue;
        // A sign before the number belongs to the value.
        const int before = previousSignificant(t, i);
        const int valueToken = isChar(t, before, '-') || isChar(t, before, '+') ? before : i;
        return columnForToken(t, valueToken);
    }
    return {};
}

} // namespace PgDialect
