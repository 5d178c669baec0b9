#pragma once
#include <QString>
#include <string>

// Text without regard to letter case, for every letter and not only a–z: 'Ａ' (full-width,
// as Chinese input methods type it) equals 'ａ', 'É' equals 'é', 'Σ' equals 'σ'. Each code
// point is replaced by its Unicode simple case folding (one code point for one, so lengths
// and wildcard positions stay as typed). The database's text columns compare this way, and
// whatever must agree with them (a password compared without letter case) folds with the
// same function.
namespace CaseFold {

// The name of the database files' collation that compares this way; the tables' text
// columns declare it.
inline constexpr char CollationName[] = "CASEFOLD";

// One code point folded.
char32_t fold(char32_t c);

// The text folded code point by code point: two texts the database takes for equal fold
// to the same text.
QString folded(const QString &text);

// Orders two UTF-8 texts by their folded code points (negative, 0, positive), shorter
// first when one begins the other. Bytes that are no valid UTF-8 order after every
// character, each one as its own; the order is total, so indexes stay sound.
int compareUtf8(const char *a, int aBytes, const char *b, int bBytes);

// A LIKE pattern compiled once for many texts: "%" any run of characters (none included),
// "_" exactly one character, the escape character (if any) makes the next one literal;
// everything else is compared folded.
class LikePattern {
public:
    // escape 0: no escape character.
    LikePattern(const char *pattern, int bytes, char32_t escape = 0);
    bool matches(const char *text, int bytes) const;
    char32_t escape() const { return m_escape; }

private:
    std::u32string m_tokens; // folded code points and the two wildcard markers
    char32_t m_escape;
};

} // namespace CaseFold
