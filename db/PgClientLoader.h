#pragma once

// The PostgreSQL client library is loaded the first time a server is used, not when the
// program starts: most offices keep their data in the file, and loading the library with
// its own dependencies (TLS, Kerberos, LDAP) would hold up every start before the login
// window. The server engine calls the library's functions as usual; they load it.
namespace PgClientLoader {

// The file name the library is loaded under.
const char *libraryName();
// True once the library has been loaded into the process.
bool isLoaded();

} // namespace PgClientLoader
