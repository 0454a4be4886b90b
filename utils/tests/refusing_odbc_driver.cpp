// An ODBC driver that turns every login away, as a database server does for
// a wrong password (SQLSTATE 28000): the SQLite driver has no logins.
#include <sql.h>
#include <sqlext.h>

#include <cstring>

namespace {
int g_handles[3];
} // namespace

extern "C" {

__attribute__((visibility("default"))) SQLRETURN SQLAllocHandle(SQLSMALLINT type, SQLHANDLE,
                                                                SQLHANDLE* out) {
    if (type < SQL_HANDLE_ENV || type > SQL_HANDLE_STMT)
        return SQL_ERROR;
    *out = &g_handles[type - SQL_HANDLE_ENV];
    return SQL_SUCCESS;
}

__attribute__((visibility("default"))) SQLRETURN SQLFreeHandle(SQLSMALLINT, SQLHANDLE) {
    return SQL_SUCCESS;
}

__attribute__((visibility("default"))) SQLRETURN SQLSetEnvAttr(SQLHENV, SQLINTEGER, SQLPOINTER,
                                                               SQLINTEGER) {
    return SQL_SUCCESS;
}

__attribute__((visibility("default"))) SQLRETURN SQLSetConnectAttr(SQLHDBC, SQLINTEGER, SQLPOINTER,
                                                                   SQLINTEGER) {
    return SQL_SUCCESS;
}

__attribute__((visibility("default"))) SQLRETURN SQLDriverConnect(SQLHDBC, SQLHWND, SQLCHAR*,
                                                                  SQLSMALLINT, SQLCHAR*,
                                                                  SQLSMALLINT, SQLSMALLINT*,
                                                                  SQLUSMALLINT) {
    return SQL_ERROR;
}

__attribute__((visibility("default"))) SQLRETURN
SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE, SQLSMALLINT record, SQLCHAR* state, SQLINTEGER* native,
              SQLCHAR* message, SQLSMALLINT room, SQLSMALLINT* length) {
    static const char kText[] = "password authentication failed for user \"VeskGuest\"";
    if (type != SQL_HANDLE_DBC || record != 1)
        return SQL_NO_DATA;
    std::memcpy(state, "28000", 6);
    *native = 1;
    if (message && room > 0) {
        std::strncpy(reinterpret_cast<char*>(message), kText, static_cast<size_t>(room) - 1);
        message[room - 1] = 0;
    }
    if (length)
        *length = static_cast<SQLSMALLINT>(sizeof kText - 1);
    return SQL_SUCCESS;
}

__attribute__((visibility("default"))) SQLRETURN SQLDisconnect(SQLHDBC) {
    return SQL_SUCCESS;
}

} // extern "C"
