// The exports of Dravik (libdravik.so), the utility library: registry string
// helpers, date and time conversions, and number texts. Strings are
// NUL-terminated UTF-16; a BSTR handed out is the caller's to free with
// SysFreeString. Results are HRESULT-style: 0 success, negative failure.
// The registry and date functions leave a failure's message as the thread's
// error information (ASGetErrorMsg of Quessa); the number functions only
// return a code.
#pragma once

#include "platform/datetime.h"
#include "platform/nls.h"
#include "platform/oleauto.h"
#include "platform/registry.h"
#include "platform/wintypes.h"

#if defined(DRAVIK_BUILDING)
#define DRAVIK_API __attribute__((visibility("default")))
#else
#define DRAVIK_API
#endif

// The text is not a number in the form asked for.
constexpr HRESULT DRAVIK_E_INVALID_NUMBER = static_cast<HRESULT>(0x80000065u);

extern "C" {

// Registry string helpers. Values are read as text whatever their type, up
// to 2048 bytes. Enumeration fills one process-wide list of subkey names that
// ASVeskGetSubkeyByIndex reads.
DRAVIK_API HRESULT ASVeskGetStringKeyFromRegistry(HKEY root, const char16_t* subKey,
                                                  const char16_t* valueName, BSTR* pRetStrValue);
DRAVIK_API HRESULT ASVeskPutStringKeyInRegistry(HKEY root, const char16_t* regKey,
                                                const char16_t* strName, const char16_t* value);
DRAVIK_API HRESULT ASVeskEnumRegKeys(HKEY root, const char16_t* subKey, LONG* pRetSubkeyCount);
DRAVIK_API HRESULT ASVeskGetSubkeyByIndex(LONG index, BSTR* pRetSubkey);

// Dates are OLE Automation dates; a bias is minutes to add to UTC for local
// time (positive east of Greenwich).
DRAVIK_API HRESULT ASVeskGetCurrentDate(DATE* local, DATE* utc);
DRAVIK_API HRESULT ASVeskGetDateInFormat(DATE date, const char16_t* format, BSTR* result);
DRAVIK_API HRESULT ASVeskGetDateFromFormat(DATE* result, const char16_t* format,
                                           const char16_t* text);
DRAVIK_API HRESULT ASVeskGetDateFromString(const char16_t* text, DATE* result);
DRAVIK_API HRESULT ASVeskConvertUTCToLocalDate(DATE utc, DATE* local);
DRAVIK_API HRESULT ASVeskConvertLocalDateToUTC(DATE local, DATE* utc);
DRAVIK_API HRESULT ASVeskConvertTimeTToDate(LONG unixTime, DATE* result);
DRAVIK_API HRESULT ASVeskConvertDateToTimeT(DATE date, LONG* unixTime);
DRAVIK_API HRESULT ASVeskGetTimeZoneBiasFromUTCDate(DATE utc, LONG* bias);
DRAVIK_API HRESULT ASVeskGetTimeZoneBiasFromLocalDate(DATE local, LONG* bias);
DRAVIK_API HRESULT ASVeskGetCurrentTimeZoneBias(LONG* bias);
DRAVIK_API HRESULT ASVeskConvertUTCAndBiasToLocalDate(DATE utc, LONG bias, DATE* local);
DRAVIK_API HRESULT ASVeskConvertLocalDateAndBiasToUTC(DATE local, LONG bias, DATE* utc);

// Numbers: the locale form a user reads (locale 0: the thread's locale), the
// neutral form "-1,234.5", and the formatting library's forms. Output BSTRs
// must be null on entry.
DRAVIK_API HRESULT ASVeskFormatNumber(const char16_t* format, double value, BSTR* out);
DRAVIK_API HRESULT ASVeskGetExcelFormat(LONG first, double value, LONG second, BSTR* out);
DRAVIK_API HRESULT ASVeskIsValidNumber(const char16_t* text, LCID locale);
DRAVIK_API HRESULT ASVeskGetNonLocaleNumber(const char16_t* text, BSTR* out, LCID locale);
DRAVIK_API HRESULT ASVeskGetNonLocaleNumberEx(double value, BSTR* out, LCID locale);
DRAVIK_API HRESULT ASVeskGetLocalizedNumber(const char16_t* text, BSTR* out, LCID locale);
DRAVIK_API HRESULT ASVeskGetLocalizedNumberEx(double value, BSTR* out, LCID locale);

// Services, the right to log on as a service, disk space and the last
// error. A service name is a systemd unit ("name" means "name.service");
// states are 1 stopped, 2 start pending, 3 stop pending, 4 running; start
// types 0-2 automatic, 3 on demand, 4 disabled. Failures return errno folded
// as HRESULT_FROM_WIN32 (0 when errno is 0).
DRAVIK_API HRESULT ASVeskNTGetLastError(BSTR* text, DWORD* code);
DRAVIK_API HRESULT ASVeskGetErrorInfo(BSTR* description);
DRAVIK_API HRESULT ASVeskStartNTService(const char16_t* service);
DRAVIK_API HRESULT ASVeskStopNTService(const char16_t* service);
DRAVIK_API HRESULT ASVeskGetNTServiceStatus(const char16_t* service, DWORD* state);
DRAVIK_API HRESULT ASVeskSetStartTypeNTService(const char16_t* service, DWORD startType);
DRAVIK_API HRESULT ASVeskSetAccountNTService(const char16_t* service, const char16_t* account,
                                             const char16_t* password);
DRAVIK_API HRESULT ASVeskAddServiceLogonPrivilege(const char16_t* account);
DRAVIK_API HRESULT ASVeskVerifyServiceLogonPrivilege(const char16_t* account, DWORD* hasRight);
// KB figures saturate at 0xFFFFFFFF on volumes of 4 TB and more.
DRAVIK_API HRESULT ASVeskGetDiskSpace(const char16_t* path, DWORD* totalKb, DWORD* freeKb);

// 0 when the host answers echo requests; 11001 blank or unknown name,
// E_INVALIDARG loops below 1 or a payload over 1012 bytes, 258 no reply
// within the time-out, -1 no good reply, else the system's error number.
DRAVIK_API LONG ASPingHost(const char16_t* host, LONG interval, LONG loops, LONG timeout,
                           LONG datasize);

// The lab network server and the lab databases. A host is "name",
// "name:port" or an address (etcd's client port 2379 unless given); the ids
// it holds are ODBC connection strings of at least four parts
// ("first;key=value;fourth"). Results besides the system's: 0x800404C8 host
// not responding, 0x800404C9 lab network server not answering, 0x80040407
// login refused, 0x80040405 no connection, 0x800100DB a query failed.
DRAVIK_API HRESULT ASVeskGetDbCountFromLns(const char16_t* host, LONG* pRetCount);
DRAVIK_API HRESULT ASVeskGetDbIdFromLns(LONG index, BSTR* pRetDbId);
DRAVIK_API HRESULT ASVeskGetDbIdFromDox(const char16_t* host, BSTR* pRetDbId);
DRAVIK_API HRESULT ASVeskGetDbIdTokens(const char16_t* dbId, BSTR* pRetFirst, BSTR* pRetValue,
                                       BSTR* pRetFourth);

// The three reports of a database, each an array of variants indexed
// (field, row) or empty without rows: connected users (osuser, machine),
// tablespaces (name, free bytes, file bytes), file store folders (folder,
// free KB, total KB). On failure all three are empty.
DRAVIK_API HRESULT ASVeskGetDbInfo(const char16_t* dbId, VARIANT* users, VARIANT* tablespaces,
                                   VARIANT* directories);
// The database's server manager (LNS "SVRMGR", default "svrmgrl.exe") run
// with a start or stop script; it must end within LNS "SvrMgrTimeout"
// seconds (default 600).
DRAVIK_API HRESULT ASVeskStartDb(const char16_t* dbId, const char16_t* user,
                                 const char16_t* password);
DRAVIK_API HRESULT ASVeskStopDb(const char16_t* dbId, const char16_t* user,
                                const char16_t* password, LONG immediate);

} // extern "C"
