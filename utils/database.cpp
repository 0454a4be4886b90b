// Three reports from a lab database: who is connected, the free space of
// every tablespace, and the free and total space of every file store folder.
// The database id is the ODBC connection string.
#include "platform/strings.h"
#include "trace/client/module_trace.h"
#include "utils/dravik.h"
#include "utils/frame.h"
#include "utils/lab.h"
#include "utils/odbc_session.h"
#include "utils/report.h"

#include <cwctype>
#include <memory>

namespace {

using dravik::BstrHolder;
using dravik::odbc::Cell;
using dravik::odbc::Failure;
using dravik::odbc::Rows;
using dravik::odbc::Session;

constexpr char16_t kLogin[] = u"VeskGuest";
constexpr char16_t kPassword[] = u"Tovra";
constexpr char16_t kDbOwner[] = u"OXLDbAdmin";
constexpr char16_t kComponent[] = u"odbc";

// The statements as an Oracle site needs them; a site on another database
// names its own under the LNS key.
constexpr char16_t kSessionQuery[] =
    u"Select osuser, machine from v$session where osuser<>'UNKNOWN'";
constexpr char16_t kTablespaceQuery[] =
    u"select sys.dba_free_space.tablespace_name, sys.dba_free_space.bytes, \n"
    u"       sys.dba_data_files.bytes\n"
    u"from sys.dba_free_space, sys.dba_data_files\n"
    u"where sys.dba_free_space.tablespace_name = sys.dba_data_files.tablespace_name";

std::u16string Statement(const char16_t* setting, std::u16string fixed) {
    return dravik::ReadLnsSetting(setting).value_or(std::move(fixed));
}

// Keywords that make the driver manager write a file or that name a driver
// library by path: an id comes from the network and may do neither.
bool SafeConnectionString(std::u16string_view text) {
    while (!text.empty()) {
        const size_t end = text.find(u';');
        std::u16string_view part = text.substr(0, end);
        text.remove_prefix(end == std::u16string_view::npos ? text.size() : end + 1);
        const size_t equals = part.find(u'=');
        std::u16string key;
        for (char16_t c : part.substr(0, equals))
            if (c != u' ' && c != u'\t')
                key += static_cast<char16_t>(c < 128 ? std::towupper(c) : c);
        const std::u16string_view value =
            equals == std::u16string_view::npos ? u"" : part.substr(equals + 1);
        if (key == u"SAVEFILE" || key == u"FILEDSN" ||
            (key == u"DRIVER" && value.find(u'/') != std::u16string_view::npos))
            return false;
    }
    return true;
}

// An open connection with the parts of its id that the messages show.
struct DbConnection {
    Session session;
    BstrHolder first;
    BstrHolder value;
    BstrHolder fourth;
};

HRESULT OpenDbConnection(const char16_t* dbId, std::unique_ptr<DbConnection>* pRetAdo) {
    ScopeTrace scope(9, u"OpenDbConnection");
    if (!pRetAdo) {
        TraceFormat(scope, u"Invalid Argument - pRetAdo");
        return E_INVALIDARG;
    }
    auto db = std::make_unique<DbConnection>();
    if (!db->session.Usable()) {
        TraceFormat(scope, u"Installation Error: problems accessing %s.", kComponent);
        dravik::ReportError(dravik::kComponentMissing, kComponent);
        return E_UNEXPECTED;
    }
    if (const HRESULT hr =
            ASVeskGetDbIdTokens(dbId, &db->first.text, &db->value.text, &db->fourth.text);
        FAILED(hr))
        return hr;
    // The login comes first: a driver takes the first of a repeated keyword.
    const std::u16string connection =
        std::u16string(u"UID=") + kLogin + u";PWD=" + kPassword + u";" + dbId;
    Failure failure;
    if (!SafeConnectionString(dbId)) {
        failure.text = u"the id names a file to write or a driver library by path";
    } else if (db->session.Open(connection, &failure)) {
        *pRetAdo = std::move(db);
        return S_OK;
    }
    if (failure.loginRefused) {
        TraceFormat(scope, u"Can't open a connection to '%s' (%s) for the user '%s'.",
                    db->first.Text(), db->value.Text(), kLogin);
        TraceFormat(scope, u"Invalid user or password.");
        dravik::ReportError(dravik::kLoginRefused, db->first.Text(), db->value.Text(), kLogin);
        return DRAVIK_E_LOGIN_REFUSED;
    }
    TraceFormat(scope, u"Can't open a connection to '%s' (%s).", db->first.Text(),
                db->value.Text());
    TraceFormat(scope, u"%s", failure.text.c_str());
    dravik::ReportError(dravik::kCannotConnect, db->first.Text(), db->value.Text());
    return DRAVIK_E_NO_CONNECTION;
}

HRESULT PutCell(SAFEARRAY* array, LONG field, LONG row, const Cell& cell) {
    VARIANT v;
    VariantInit(&v);
    if (const auto* number = std::get_if<int32_t>(&cell)) {
        v.vt = VT_I4;
        v.lVal = *number;
    } else if (const auto* real = std::get_if<double>(&cell)) {
        v.vt = VT_R8;
        v.dblVal = *real;
    } else if (const auto* text = std::get_if<std::u16string>(&cell)) {
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocStringLen(text->data(), static_cast<UINT>(text->size()));
        if (!v.bstrVal)
            return E_OUTOFMEMORY;
    }
    const LONG at[2] = {field, row};
    const HRESULT hr = SafeArrayPutElement(array, at, &v);
    VariantClear(&v);
    return hr;
}

// The rows as an array of variants indexed (field, row); empty without rows.
HRESULT RowsToVariant(const Rows& rows, VARIANT* out) {
    VariantInit(out);
    if (rows.rows.empty())
        return S_OK;
    const SAFEARRAYBOUND bounds[2] = {{static_cast<ULONG>(rows.fields), 0},
                                      {static_cast<ULONG>(rows.rows.size()), 0}};
    SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
    if (!array)
        return E_OUTOFMEMORY;
    for (size_t row = 0; row < rows.rows.size(); ++row)
        for (size_t field = 0; field < rows.fields; ++field)
            if (const HRESULT hr = PutCell(array, static_cast<LONG>(field), static_cast<LONG>(row),
                                           rows.rows[row][field]);
                FAILED(hr)) {
                SafeArrayDestroy(array);
                return hr;
            }
    out->vt = VT_ARRAY | VT_VARIANT;
    out->parray = array;
    return S_OK;
}

HRESULT ExecuteQuery(DbConnection& db, const std::u16string& sql, VARIANT* out,
                     const char16_t* table) {
    ScopeTrace scope(9, u"ExecuteQuery");
    Failure failure;
    const std::optional<Rows> rows = db.session.Query(sql, &failure);
    if (!rows) {
        TraceFormat(scope, u"Can't access the %s table in '%s' (%s).", table, db.first.Text(),
                    db.value.Text());
        TraceFormat(scope, u"%s", failure.text.c_str());
        dravik::ReportError(dravik::kCannotReadTable, table, db.first.Text(), db.value.Text());
        return DRAVIK_E_QUERY_FAILED;
    }
    if (const HRESULT hr = RowsToVariant(*rows, out); FAILED(hr)) {
        TraceFormat(scope, u"ExecuteQuery: VariantCopy failed Operation failed. Hr is %ld ", hr);
        return hr;
    }
    return S_OK;
}

HRESULT GetOpenedDbConnections(DbConnection& db, VARIANT* out) {
    ScopeTrace scope(9, u"GetOpenedDbConnections");
    return ExecuteQuery(db, Statement(u"SessionQuery", kSessionQuery), out, u"v$session");
}

HRESULT GetTableSpaceDiskInfo(DbConnection& db, VARIANT* out) {
    ScopeTrace scope(9, u"GetTableSpaceDiskInfo");
    return ExecuteQuery(db, Statement(u"TablespaceQuery", kTablespaceQuery), out,
                        u"sys.dba_free_space");
}

// Row by row: the folder, its free KB and its total KB.
HRESULT FillDirectories(const ScopeTrace& scope, SAFEARRAY* rows, LONG count, SAFEARRAY* out) {
    for (LONG row = 0; row < count; ++row) {
        const LONG at[2] = {0, row};
        VARIANT varDir;
        VariantInit(&varDir);
        if (const HRESULT hr = SafeArrayGetElement(rows, at, &varDir); FAILED(hr)) {
            TraceFormat(scope, u"SafeArrayCreate Operation failed. Hr is %ld ", hr);
            return hr;
        }
        if (varDir.vt != VT_BSTR) {
            VariantClear(&varDir);
            TraceFormat(scope, u"GetBlobDirInfo: varDir.vt is invalid");
            return E_UNEXPECTED;
        }
        // A folder that cannot be measured is reported there and shows 0 KB.
        DWORD totalKb = 0;
        DWORD freeKb = 0;
        ASVeskGetDiskSpace(varDir.bstrVal, &totalKb, &freeKb);
        VARIANT freeV, totalV;
        VariantInit(&freeV);
        VariantInit(&totalV);
        freeV.vt = totalV.vt = VT_I4;
        freeV.lVal = static_cast<LONG>(freeKb);
        totalV.lVal = static_cast<LONG>(totalKb);
        const LONG freeAt[2] = {1, row};
        const LONG totalAt[2] = {2, row};
        HRESULT hr = SafeArrayPutElement(out, at, &varDir);
        if (SUCCEEDED(hr))
            hr = SafeArrayPutElement(out, freeAt, &freeV);
        if (SUCCEEDED(hr))
            hr = SafeArrayPutElement(out, totalAt, &totalV);
        VariantClear(&varDir);
        if (FAILED(hr)) {
            TraceFormat(scope,
                        u"GetBlobDirInfo: SafeArrayPutElement failed Operation failed. Hr "
                        u"is %ld ",
                        hr);
            return hr;
        }
    }
    return S_OK;
}

HRESULT GetBlobDirInfo(DbConnection& db, VARIANT* out) {
    ScopeTrace scope(9, u"GetBlobDirInfo");
    if (!out)
        return E_INVALIDARG;
    const std::u16string fixed =
        std::u16string(u"select UNIQUE(locationstring) from ") + kDbOwner + u".type_registry";
    VARIANT found;
    VariantInit(&found);
    if (const HRESULT hr =
            ExecuteQuery(db, Statement(u"FileStoreQuery", fixed), &found, u"type_registry");
        FAILED(hr))
        return hr;
    VariantInit(out);
    if (found.vt == VT_EMPTY)
        return S_OK;
    LONG upper = -1;
    SafeArrayGetUBound(found.parray, 2, &upper);
    const SAFEARRAYBOUND bounds[2] = {{3, 0}, {static_cast<ULONG>(upper + 1), 0}};
    SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
    if (!array) {
        VariantClear(&found);
        TraceFormat(scope, u"Value returned by SafeArrayCreateis NULL");
        return E_UNEXPECTED;
    }
    out->vt = VT_ARRAY | VT_VARIANT;
    out->parray = array;
    const HRESULT hr = FillDirectories(scope, found.parray, upper + 1, array);
    VariantClear(&found);
    return hr;
}

} // namespace

HRESULT ASVeskGetDbInfo(const char16_t* dbId, VARIANT* users, VARIANT* tablespaces,
                        VARIANT* directories) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskGetDbInfo");
    if (!users || !tablespaces || !directories) {
        TraceFormat(scope, u"Invalid Argument - the reports");
        return E_INVALIDARG;
    }
    VariantInit(users);
    VariantInit(tablespaces);
    VariantInit(directories);
    std::unique_ptr<DbConnection> db;
    HRESULT hr = OpenDbConnection(dbId, &db);
    if (SUCCEEDED(hr))
        hr = GetOpenedDbConnections(*db, users);
    if (SUCCEEDED(hr))
        hr = GetTableSpaceDiskInfo(*db, tablespaces);
    if (SUCCEEDED(hr))
        hr = GetBlobDirInfo(*db, directories);
    if (SUCCEEDED(hr)) {
        db->session.Close();
        return S_OK;
    }
    // Closing must not lose the failure's error information; and on failure
    // the caller is handed no half of the reports.
    IErrorInfo* error = nullptr;
    GetErrorInfo(0, &error);
    if (db)
        db->session.Close();
    SetErrorInfo(0, error);
    if (error)
        error->Release();
    VariantClear(users);
    VariantClear(tablespaces);
    VariantClear(directories);
    return hr;
}
