// unixODBC's wide calls: SQLWCHAR is a 16-bit unit there, as char16_t is.
#include "utils/odbc_session.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <climits>

namespace dravik::odbc {

namespace {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "ODBC's wide text is UTF-16");

// Results past these are refused: no lab report is anywhere near them.
constexpr size_t kRowLimit = 100000;
constexpr size_t kTextLimit = 1 << 20;
constexpr SQLINTEGER kLoginTimeoutSeconds = 30;
constexpr SQLSMALLINT kDiagnosticsRead = 8;

SQLWCHAR* Sql(const std::u16string& text) {
    return reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(text.c_str()));
}

Failure Diagnose(SQLSMALLINT type, SQLHANDLE handle) {
    Failure failure;
    for (SQLSMALLINT record = 1; record <= kDiagnosticsRead; ++record) {
        SQLWCHAR state[6] = {};
        SQLWCHAR message[1024] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        const SQLRETURN r =
            SQLGetDiagRecW(type, handle, record, state, &native, message, 1024, &length);
        if (!SQL_SUCCEEDED(r))
            break;
        const std::u16string code(reinterpret_cast<const char16_t*>(state), 5);
        failure.loginRefused |= code == u"28000";
        if (!failure.text.empty())
            failure.text += u' ';
        failure.text += u"[" + code + u"] " + reinterpret_cast<const char16_t*>(message);
    }
    if (failure.text.empty())
        failure.text = u"no diagnostics";
    return failure;
}

bool IsWholeNumber(SQLSMALLINT type) {
    return type == SQL_TINYINT || type == SQL_SMALLINT || type == SQL_INTEGER ||
           type == SQL_BIGINT || type == SQL_BIT;
}

bool IsOtherNumber(SQLSMALLINT type) {
    return type == SQL_REAL || type == SQL_FLOAT || type == SQL_DOUBLE || type == SQL_NUMERIC ||
           type == SQL_DECIMAL;
}

// Text in pieces: a driver hands out what fits and says how much is left.
bool ReadText(SQLHSTMT statement, SQLUSMALLINT column, Cell* cell) {
    std::u16string text;
    for (;;) {
        SQLWCHAR piece[1024];
        SQLLEN indicator = 0;
        const SQLRETURN r =
            SQLGetData(statement, column, SQL_C_WCHAR, piece, sizeof piece, &indicator);
        if (r == SQL_NO_DATA)
            break;
        if (!SQL_SUCCEEDED(r))
            return false;
        if (indicator == SQL_NULL_DATA) {
            *cell = std::monostate{};
            return true;
        }
        const size_t room = sizeof piece / sizeof piece[0] - 1;
        const size_t units = indicator == SQL_NO_TOTAL || indicator / 2 > static_cast<SQLLEN>(room)
                                 ? room
                                 : static_cast<size_t>(indicator) / 2;
        text.append(reinterpret_cast<const char16_t*>(piece), units);
        if (text.size() > kTextLimit)
            return false;
        if (r == SQL_SUCCESS)
            break;
    }
    *cell = std::move(text);
    return true;
}

bool ReadCell(SQLHSTMT statement, SQLUSMALLINT column, SQLSMALLINT type, Cell* cell) {
    SQLLEN indicator = 0;
    if (IsWholeNumber(type)) {
        SQLBIGINT number = 0;
        if (!SQL_SUCCEEDED(SQLGetData(statement, column, SQL_C_SBIGINT, &number, 0, &indicator)))
            return false;
        if (indicator == SQL_NULL_DATA)
            *cell = std::monostate{};
        else if (number >= INT32_MIN && number <= INT32_MAX)
            *cell = static_cast<int32_t>(number);
        else
            *cell = static_cast<double>(number);
        return true;
    }
    if (IsOtherNumber(type)) {
        double number = 0;
        if (!SQL_SUCCEEDED(SQLGetData(statement, column, SQL_C_DOUBLE, &number, 0, &indicator)))
            return false;
        if (indicator == SQL_NULL_DATA)
            *cell = std::monostate{};
        else
            *cell = number;
        return true;
    }
    return ReadText(statement, column, cell);
}

} // namespace

struct Session::Handles {
    SQLHENV environment = SQL_NULL_HENV;
    SQLHDBC connection = SQL_NULL_HDBC;
    bool open = false;
};

Session::Session() : handles_(std::make_unique<Handles>()) {
    Handles& h = *handles_;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h.environment))) {
        h.environment = SQL_NULL_HENV;
        return;
    }
    if (!SQL_SUCCEEDED(SQLSetEnvAttr(h.environment, SQL_ATTR_ODBC_VERSION,
                                     reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)) ||
        !SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, h.environment, &h.connection)))
        h.connection = SQL_NULL_HDBC;
}

Session::~Session() {
    Close();
    if (handles_->connection != SQL_NULL_HDBC)
        SQLFreeHandle(SQL_HANDLE_DBC, handles_->connection);
    if (handles_->environment != SQL_NULL_HENV)
        SQLFreeHandle(SQL_HANDLE_ENV, handles_->environment);
}

bool Session::Usable() const {
    return handles_->connection != SQL_NULL_HDBC;
}

bool Session::Open(const std::u16string& connection, Failure* failure) {
    SQLSetConnectAttr(handles_->connection, SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(kLoginTimeoutSeconds)), 0);
    const SQLRETURN r = SQLDriverConnectW(handles_->connection, nullptr, Sql(connection), SQL_NTS,
                                          nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(r)) {
        *failure = Diagnose(SQL_HANDLE_DBC, handles_->connection);
        return false;
    }
    handles_->open = true;
    return true;
}

std::optional<Rows> Session::Query(const std::u16string& sql, Failure* failure) {
    SQLHSTMT statement = SQL_NULL_HSTMT;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, handles_->connection, &statement))) {
        *failure = Diagnose(SQL_HANDLE_DBC, handles_->connection);
        return std::nullopt;
    }
    std::unique_ptr<void, void (*)(void*)> release(
        statement, [](void* s) { SQLFreeHandle(SQL_HANDLE_STMT, static_cast<SQLHSTMT>(s)); });
    Rows rows;
    SQLSMALLINT fields = 0;
    if (!SQL_SUCCEEDED(SQLExecDirectW(statement, Sql(sql), SQL_NTS)) ||
        !SQL_SUCCEEDED(SQLNumResultCols(statement, &fields))) {
        *failure = Diagnose(SQL_HANDLE_STMT, statement);
        return std::nullopt;
    }
    rows.fields = static_cast<size_t>(fields);
    std::vector<SQLSMALLINT> types(rows.fields);
    for (SQLUSMALLINT i = 0; i < fields; ++i) {
        SQLSMALLINT nameLength = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        SQLWCHAR name[256];
        if (!SQL_SUCCEEDED(SQLDescribeColW(statement, i + 1, name, 256, &nameLength, &types[i],
                                           &size, &digits, &nullable))) {
            *failure = Diagnose(SQL_HANDLE_STMT, statement);
            return std::nullopt;
        }
    }
    for (;;) {
        const SQLRETURN r = fields ? SQLFetch(statement) : SQL_NO_DATA;
        if (r == SQL_NO_DATA)
            break;
        if (!SQL_SUCCEEDED(r) || rows.rows.size() == kRowLimit) {
            *failure = SQL_SUCCEEDED(r) ? Failure{false, u"more rows than a report may hold"}
                                        : Diagnose(SQL_HANDLE_STMT, statement);
            return std::nullopt;
        }
        std::vector<Cell>& row = rows.rows.emplace_back(rows.fields);
        for (SQLUSMALLINT i = 0; i < fields; ++i)
            if (!ReadCell(statement, i + 1, types[i], &row[i])) {
                *failure = Diagnose(SQL_HANDLE_STMT, statement);
                return std::nullopt;
            }
    }
    return rows;
}

void Session::Close() {
    if (handles_->open)
        SQLDisconnect(handles_->connection);
    handles_->open = false;
}

} // namespace dravik::odbc
