#include "db/CaseFold.h"

#include <QChar>
#include <QList>
#include <vector>

namespace CaseFold {

namespace {

// Wildcards of a compiled pattern: above every code point and every stand-in for a bad byte.
constexpr char32_t AnyRun = 0xFFFFFFFF;
constexpr char32_t AnyOne = 0xFFFFFFFE;
// A byte that starts no valid UTF-8 sequence stands for itself above the last code point.
constexpr char32_t BadByte = 0x110000;

constexpr unsigned char asciiFold(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

// Code points that have no case and fold to themselves, tested before the Unicode tables:
// ideographs, kana, Hangul, full-width digits and punctuation, which (beside ASCII) are
// nearly every character an office's names, rooms and addresses hold. The test suite
// holds these ranges against the tables for every code point.
constexpr bool caseless(char32_t c)
{
    return (c >= 0x2CF3 && c <= 0xA63F) || (c >= 0xABC0 && c <= 0xFF20) || (c >= 0xFF3B && c <= 0x103FF)
        || (c >= 0x1E922 && c <= 0x10FFFF);
}

// Decodes one code point at p and moves p past it. A malformed sequence (overlong,
// surrogate, above U+10FFFF, cut short) costs one byte, which stands for itself.
char32_t decode(const unsigned char *&p, const unsigned char *end)
{
    const unsigned char c = *p;
    if (c < 0x80) {
        ++p;
        return c;
    }
    int n = 0;
    char32_t v = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 1;
        v = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 2;
        v = c & 0x0F;
        if (c == 0xE0)
            lo = 0xA0;
        else if (c == 0xED)
            hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 3;
        v = c & 0x07;
        if (c == 0xF0)
            lo = 0x90;
        else if (c == 0xF4)
            hi = 0x8F;
    } else {
        ++p;
        return BadByte + c;
    }
    if (end - p <= n) {
        ++p;
        return BadByte + c;
    }
    for (int i = 1; i <= n; ++i) {
        const unsigned char b = p[i];
        if (b < (i == 1 ? lo : 0x80) || b > (i == 1 ? hi : 0xBF)) {
            ++p;
            return BadByte + c;
        }
        v = (v << 6) | (b & 0x3F);
    }
    p += n + 1;
    return v;
}

// The folded code points of a text.
void foldInto(std::u32string &out, const char *text, int bytes)
{
    out.clear();
    const auto *p = reinterpret_cast<const unsigned char *>(text);
    const auto *end = p + bytes;
    while (p < end) {
        if (*p < 0x80)
            out.push_back(asciiFold(*p++));
        else
            out.push_back(fold(decode(p, end)));
    }
}

} // namespace

char32_t fold(char32_t c)
{
    if (c < 0x80)
        return asciiFold(static_cast<unsigned char>(c));
    if (c > 0x10FFFF || caseless(c))
        return c;
    return QChar::toCaseFolded(c);
}

QString folded(const QString &text)
{
    const QList<uint> ucs4 = text.toUcs4();
    std::u32string out;
    out.reserve(ucs4.size());
    for (const uint c : ucs4)
        out.push_back(fold(c));
    return QString::fromUcs4(out.data(), qsizetype(out.size()));
}

int compareUtf8(const char *a, int aBytes, const char *b, int bBytes)
{
    const auto *pa = reinterpret_cast<const unsigned char *>(a);
    const auto *pb = reinterpret_cast<const unsigned char *>(b);
    const auto *ea = pa + aBytes;
    const auto *eb = pb + bBytes;
    // Equal bytes are equal characters: the common beginning (an index compares keys that
    // mostly share it, such as an area's name) is passed over bytewise. Where it ends inside
    // a character, both go back to that character's first byte: a byte that does not
    // continue a character always begins one (or stands alone), in both texts alike.
    const auto *startA = pa;
    while (pa < ea && pb < eb && *pa == *pb) {
        ++pa;
        ++pb;
    }
    if (pa > startA && pa[-1] >= 0x80) {
        do {
            --pa;
            --pb;
        } while (pa > startA && (*pa & 0xC0) == 0x80);
    }
    while (pa < ea && pb < eb) {
        // Most texts of the office are ASCII or Chinese: ASCII folds by table, and two
        // equal code points (an index compares keys that mostly share their beginning,
        // such as an area's name) need no folding.
        if (*pa < 0x80 && *pb < 0x80) {
            if (*pa != *pb) {
                const unsigned char x = asciiFold(*pa), y = asciiFold(*pb);
                if (x != y)
                    return x < y ? -1 : 1;
            }
            ++pa;
            ++pb;
            continue;
        }
        const char32_t ca = decode(pa, ea);
        const char32_t cb = decode(pb, eb);
        if (ca == cb)
            continue;
        const char32_t x = fold(ca);
        const char32_t y = fold(cb);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return (pa < ea ? 1 : 0) - (pb < eb ? 1 : 0);
}

LikePattern::LikePattern(const char *pattern, int bytes, char32_t escape)
    : m_escape(escape)
{
    const auto *p = reinterpret_cast<const unsigned char *>(pattern);
    const auto *end = p + bytes;
    bool escaped = false;
    while (p < end) {
        const char32_t c = decode(p, end);
        if (escaped) {
            m_tokens.push_back(fold(c));
            escaped = false;
        } else if (escape && c == escape) {
            escaped = true;
        } else if (c == U'%') {
            // Runs of "%" mean one.
            if (m_tokens.empty() || m_tokens.back() != AnyRun)
                m_tokens.push_back(AnyRun);
        } else if (c == U'_') {
            m_tokens.push_back(AnyOne);
        } else {
            m_tokens.push_back(fold(c));
        }
    }
    // An escape character at the very end stands for nothing, as in the engine's own LIKE.
}

bool LikePattern::matches(const char *text, int bytes) const
{
    thread_local std::u32string t;
    foldInto(t, text, bytes);
    const std::u32string &p = m_tokens;
    // Greedy match with a return to the last "%": linear for the usual "%x%".
    size_t ti = 0, pi = 0, starP = std::u32string::npos, starT = 0;
    while (ti < t.size()) {
        if (pi < p.size() && p[pi] != AnyRun && (p[pi] == AnyOne || p[pi] == t[ti])) {
            ++pi;
            ++ti;
        } else if (pi < p.size() && p[pi] == AnyRun) {
            starP = pi++;
            starT = ti;
        } else if (starP != std::u32string::npos) {
            pi = starP + 1;
            ti = ++starT;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == AnyRun)
        ++pi;
    return pi == p.size();
}

} // namespace CaseFold
