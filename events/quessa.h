// The exports of Quessa (libquessa.so), the error and event reporting
// library: message texts built from positional formats, errors left as the
// thread's error information, and events handed to the event-log component.
// Strings are NUL-terminated UTF-16; a BSTR handed out is the caller's to free
// with SysFreeString. Results are HRESULT-style: 0 success, negative failure.
//
// Formats are printf-like; a conversion may carry a position "#N" or "#NN"
// just before its '%' ("#2%s copied to #1%s"), and then every conversion must
// have one and the positions must be exactly 1 to n. Arguments are taken in
// position order.
//
// What a caller of a "..." export must guarantee: one C argument per
// conversion of the message, of the conversion letter's type (int32_t for
// C X d i o p u x c; a pointer to int32_t for n; double for E G Q Y Z e f g q
// y z; const char16_t* for s; a UTF-8 const char* for S). A C argument list
// carries no count, so passing fewer is undefined behaviour that no check
// here can catch; the VARIANT-array forms do check the count.
//
// "%n" never writes anything: it takes the integer pointed to and renders
// nothing. Width and precision are honoured up to 1024 characters, and a
// string is never cut short to fit a buffer.
#pragma once

#include "platform/oleauto.h"
#include "platform/wintypes.h"

#include <cstdarg>

#if defined(QUESSA_BUILDING)
#define QUESSA_API __attribute__((visibility("default")))
#else
#define QUESSA_API
#endif

// The message's resource string does not exist.
constexpr HRESULT QUESSA_E_STRING_NOT_FOUND = static_cast<HRESULT>(0x80040400u);

extern "C" {

// Message formatting.

// *out := the text of string `id` of `module` with the arguments substituted.
QUESSA_API LONG ASFormatString1(HMODULE module, BSTR* out, UINT id, ...);
// The text of string `id` of `module`, arguments taken from `args` (a
// one-dimensional array of variants), into `buffer` of `size` characters, cut
// to size - 1 when longer; returns the length placed there.
QUESSA_API LONG ASFormatString2(HMODULE module, UINT id, VARIANT* args, LONG size, OLECHAR* buffer);
// *out := `format` with the arguments substituted; no format gives an empty *out.
QUESSA_API LONG ASFormatString3(BSTR* out, const OLECHAR* format, ...);
QUESSA_API LONG ASFormatString4(const OLECHAR* format, VARIANT* args, BSTR* out);

// Error reporting: the message goes to the event log and stays with the
// calling thread as its error information (see ASGetErrorMsg).

// Resource `resId` of `module` (2: followed by `extra` and `lastError`; 3 and 4:
// arguments substituted). 0 or the error of building the message.
QUESSA_API LONG ASVeskReportError2(HMODULE module, UINT resId, const OLECHAR* extra,
                                   DWORD lastError);
QUESSA_API LONG ASVeskReportError3(const GUID& clsid, DWORD, const OLECHAR*, UINT resId, ...);
QUESSA_API LONG ASVeskReportError4(HMODULE module, DWORD, const OLECHAR*, UINT resId, ...);

// 1 when the thread's error information is an event of the event log, else 0.
QUESSA_API LONG ASVeskEventExists();
// *out := the description of the thread's error information, which the
// thread keeps; 1 (S_FALSE) and *out empty when it has none.
QUESSA_API LONG ASGetErrorMsg(BSTR* out);

// Event logging. `logbook` is an event-log object of the caller, or nullptr
// for a new one that is left as the thread's error information. The fields
// f1 to f10 go to the event log unchanged; the audit forms set f1 to 128.

QUESSA_API LONG ASLogEvent1(IUnknown* logbook, LONG f1, const OLECHAR* f2, const OLECHAR* f3,
                            LONG f4, const OLECHAR* f5, const OLECHAR* f6, HMODULE module,
                            UINT resId, ...);
QUESSA_API LONG ASLogEvent2(IUnknown* logbook, LONG f1, const OLECHAR* f2, const OLECHAR* f3,
                            LONG f4, const OLECHAR* f5, const OLECHAR* f6, const OLECHAR* progId,
                            UINT resId, ...);
QUESSA_API LONG ASLogEvent3(IUnknown* logbook, LONG f1, const OLECHAR* f2, const OLECHAR* f3,
                            LONG f4, const OLECHAR* f5, const OLECHAR* f6, BSTR message);
// `args` points to the argument list for the message, or is nullptr.
QUESSA_API LONG ASLogEvent4(IUnknown* logbook, LONG f1, const OLECHAR* f2, const OLECHAR* f3,
                            LONG f4, const OLECHAR* f5, const OLECHAR* f6, HMODULE module,
                            UINT resId, va_list* args);

QUESSA_API LONG ASLogAuditEvent1(IUnknown* logbook, const OLECHAR* f2, const OLECHAR* f3, LONG f4,
                                 const OLECHAR* f5, const OLECHAR* f6, const OLECHAR* f7, LONG f10,
                                 HMODULE module, UINT resId, ...);
QUESSA_API LONG ASLogAuditEvent2(IUnknown* logbook, const OLECHAR* f2, const OLECHAR* f3, LONG f4,
                                 const OLECHAR* f5, const OLECHAR* f6, int16_t f10,
                                 const OLECHAR* f7, const OLECHAR* progId, UINT resId, ...);
QUESSA_API LONG ASLogAuditEvent3(IUnknown* logbook, const OLECHAR* f2, const OLECHAR* f3, LONG f4,
                                 const OLECHAR* f5, const OLECHAR* f6, const OLECHAR* f7, LONG f10,
                                 BSTR message);

QUESSA_API LONG ASLogErrorEvent1(IUnknown* logbook, LONG f1, const OLECHAR* f2, const OLECHAR* f3,
                                 LONG f4, const OLECHAR* f5, const OLECHAR* f6, LONG f8, LONG f9,
                                 HMODULE module, UINT resId, ...);
QUESSA_API LONG ASLogErrorEvent2(IUnknown* logbook, LONG f1, const OLECHAR* f2, const OLECHAR* f3,
                                 LONG f4, const OLECHAR* f5, const OLECHAR* f6, LONG f8, LONG f9,
                                 const OLECHAR* progId, UINT resId, ...);
QUESSA_API LONG ASLogErrorEvent3(IUnknown* logbook, LONG f1, const OLECHAR* f2, const OLECHAR* f3,
                                 LONG f4, const OLECHAR* f5, const OLECHAR* f6, LONG f8, LONG f9,
                                 BSTR message);

QUESSA_API LONG ASLogFullEvent1(IUnknown* logbook, LONG f1, const OLECHAR* f2, const OLECHAR* f3,
                                LONG f4, const OLECHAR* f5, const OLECHAR* f6, const OLECHAR* f7,
                                LONG f8, LONG f9, LONG f10, HMODULE module, UINT resId, ...);
QUESSA_API LONG ASLogFullEvent2(IUnknown* logbook, LONG f1, const OLECHAR* f2, const OLECHAR* f3,
                                LONG f4, const OLECHAR* f5, const OLECHAR* f6, const OLECHAR* f7,
                                LONG f8, LONG f9, LONG f10, const OLECHAR* progId, UINT resId, ...);
QUESSA_API LONG ASLogFullEvent3(IUnknown* logbook, LONG f1, const OLECHAR* f2, const OLECHAR* f3,
                                LONG f4, const OLECHAR* f5, const OLECHAR* f6, const OLECHAR* f7,
                                LONG f8, LONG f9, LONG f10, BSTR message);

} // extern "C"

// The three overloads for the reporting classes, named by their class id
// (the module is the class's ProgID). `iid` and the unnamed arguments are
// not used. Each returns `hr` once the message was handed on, or the error
// of the step that failed.
QUESSA_API LONG ASVeskReportError(const GUID& clsid, UINT resId, const GUID& iid, LONG hr,
                                  const OLECHAR* extra, DWORD lastError);
QUESSA_API LONG ASVeskReportError(const GUID& clsid, const OLECHAR* message, const GUID& iid,
                                  LONG hr);
QUESSA_API LONG ASVeskReportError(const GUID& clsid, UINT resId, DWORD, const OLECHAR*,
                                  const GUID& iid, LONG hr, DWORD lastError, ...);
