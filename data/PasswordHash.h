#pragma once
#include <QString>

class Database;

// Operators' passwords as they are stored: a salted, slow hash of the case-folded text
// (PBKDF2-HMAC-SHA256), so that whoever opens the file with the program's key reads no
// password, while a password typed in other letter case still matches.
namespace PasswordHash {

// Rounds of PBKDF2, measured to cost about 50 ms on the office's machines. Every stored
// hash carries its own count, so raising this later keeps the older hashes valid.
inline constexpr int Iterations = 100000;

// The stored form of a typed password: "pbkdf2-sha256$rounds$salt$hash" (base64).
QString make(const QString &typed, int iterations = Iterations);
// True when stored is a hash this program made (a typed password holds at most 12 bytes,
// so it can never be mistaken for one).
bool isHash(const QString &stored);
// True when typed is the password stored. A stored text that is not a hash is a password
// kept in clear by an older program, compared the same way (letter case folded).
bool matches(const QString &stored, const QString &typed);

// Replaces every password still kept in clear in SUser by its hash. Returns how many.
int hashClearPasswords(Database &db);

} // namespace PasswordHash
