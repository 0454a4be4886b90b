// Error reports and events: what reaches the event file, a caller's
// logbook, and the thread's error information.
#include "quessa_test_support.h"

#include "platform/eventlog.h"

#include <thread>

namespace quessa::testing {
namespace {

// A caller's own logbook: records what it is asked to log.
class Logbook final : public IVeskEvents {
public:
    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (iid != IID_IUnknown && iid != IID_IVeskEvents) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IVeskEvents*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++references; }
    ULONG Release() override { return --references; }
    HRESULT LogEvent(LPCOLESTR text, LONG f1, LPCOLESTR f2, LPCOLESTR f3, LONG f4, LPCOLESTR f5,
                     LPCOLESTR f6, LPCOLESTR f7, LONG f8, LONG f9, LONG f10) override {
        logged.push_back(text);
        fields = {f1, f4, f8, f9, f10};
        texts = {f2, f3, f5, f6, f7};
        return S_OK;
    }

    ULONG references = 1;
    std::vector<std::u16string> logged;
    std::vector<LONG> fields;
    std::vector<std::u16string> texts;
};

std::u16string ErrorMessage() {
    Bstr out;
    EXPECT_EQ(QUESSA_FN(ASGetErrorMsg)(out.Out()), S_OK);
    return out.Text();
}

TEST_F(QuessaTest, ReportError4LogsTheEventAndLeavesItAsTheThreadsError) {
    size_t before = Events().size();
    EXPECT_EQ(QUESSA_FN(ASVeskReportError4)(OlvaniThisModule(), 0, nullptr, kCantOpen, u"x"), S_OK);
    std::vector<nlohmann::json> events = Events();
    ASSERT_EQ(events.size(), before + 1);
    EXPECT_EQ(events.back()["text"], "Can't open 'x'");
    EXPECT_EQ(events.back()["f1"], 1);
    EXPECT_EQ(events.back()["f4"], 1);
    EXPECT_EQ(ErrorMessage(), u"Can't open 'x'");
    // Asking does not take the error information away.
    EXPECT_EQ(QUESSA_FN(ASVeskEventExists)(), 1);
    EXPECT_EQ(QUESSA_FN(ASVeskEventExists)(), 1);
    IErrorInfo* info = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    IVeskEvents* events2 = nullptr;
    EXPECT_EQ(info->QueryInterface(IID_IVeskEvents2, reinterpret_cast<void**>(&events2)), S_OK);
    events2->Release();
    info->Release();

    // Failures are the message step's, and log nothing.
    before = Events().size();
    EXPECT_EQ(QUESSA_FN(ASVeskReportError4)(OlvaniThisModule(), 0, nullptr, kMissing),
              QUESSA_E_STRING_NOT_FOUND);
    EXPECT_EQ(QUESSA_FN(ASVeskReportError4)(OlvaniThisModule(), 0, nullptr, 0), E_INVALIDARG);
    EXPECT_EQ(QUESSA_FN(ASVeskReportError4)(OlvaniThisModule(), 0, nullptr, kMixed, 1, 2),
              E_INVALIDARG);
    EXPECT_EQ(Events().size(), before);
}

TEST_F(QuessaTest, ExtraTextAndLastErrorFollowTheMessage) {
    EXPECT_EQ(QUESSA_FN(ASVeskReportError2)(OlvaniThisModule(), kBackup, u"abc", 5), S_OK);
    EXPECT_EQ(ErrorMessage(), u"The backup failed. abc (GetLastError= 5)");
    EXPECT_EQ(QUESSA_FN(ASVeskReportError2)(OlvaniThisModule(), kBackup, nullptr, 0), S_OK);
    EXPECT_EQ(ErrorMessage(), u"The backup failed.");
}

TEST_F(QuessaTest, ClassFormsFindTheMessagesByProgId) {
    const GUID clsid{0x0B1E55ED, 0x1234, 0x4321, {1, 2, 3, 4, 5, 6, 7, 8}};
    const GUID unknown{0x0B1E55ED, 0x1234, 0x4321, {8, 7, 6, 5, 4, 3, 2, 1}};
    OLECHAR text[40];
    StringFromGUID2(clsid, text, 40);
    WriteString(HKEY_CLASSES_ROOT, u"CLSID\\" + std::u16string(text) + u"\\ProgID", u"",
                u"Quessa_Tests.Reporter.1");
    using Form1 = LONG(const GUID&, UINT, const GUID&, LONG, const OLECHAR*, DWORD);
    using Form2 = LONG(const GUID&, const OLECHAR*, const GUID&, LONG);
    using Form3 = LONG(const GUID&, UINT, DWORD, const OLECHAR*, const GUID&, LONG, DWORD, ...);
    auto form1 = Library::Get().Function<Form1>("_Z17ASVeskReportErrorRK4GUIDjS1_iPKDsj");
    auto form2 = Library::Get().Function<Form2>("_Z17ASVeskReportErrorRK4GUIDPKDsS1_i");
    auto form3 = Library::Get().Function<Form3>("_Z17ASVeskReportErrorRK4GUIDjjPKDsS1_ijz");
    const LONG hr = static_cast<LONG>(0x80041234u);

    EXPECT_EQ(form1(clsid, kBackup, GUID_NULL, hr, u"abc", 0), hr);
    EXPECT_EQ(ErrorMessage(), u"The backup failed. abc");
    EXPECT_EQ(form2(clsid, u"given text", GUID_NULL, hr), hr);
    EXPECT_EQ(ErrorMessage(), u"given text");
    EXPECT_EQ(form3(clsid, kFilesIn, 0, nullptr, GUID_NULL, hr, 2, 3, u"/tmp"), hr);
    EXPECT_EQ(ErrorMessage(), u"3 files in /tmp (GetLastError= 2)");
    EXPECT_EQ(QUESSA_FN(ASVeskReportError3)(clsid, 0, nullptr, kCantOpen, u"y"), S_OK);
    EXPECT_EQ(ErrorMessage(), u"Can't open 'y'");

    EXPECT_EQ(form1(unknown, kBackup, GUID_NULL, hr, nullptr, 0), E_INVALIDARG);
    EXPECT_EQ(form2(unknown, u"lost", GUID_NULL, hr), E_INVALIDARG);
    EXPECT_EQ(QUESSA_FN(ASVeskReportError3)(unknown, 0, nullptr, kCantOpen, u"y"), E_INVALIDARG);
    EXPECT_EQ(ErrorMessage(), u"Can't open 'y'");
}

TEST_F(QuessaTest, AThreadWithoutErrorInformationHasNoMessage) {
    std::thread([] {
        Bstr out;
        EXPECT_EQ(QUESSA_FN(ASGetErrorMsg)(out.Out()), S_FALSE);
        EXPECT_EQ(out.Get(), nullptr);
        EXPECT_EQ(QUESSA_FN(ASVeskEventExists)(), 0);
    }).join();
    // Plain error information is not an event.
    ICreateErrorInfo* create = nullptr;
    ASSERT_EQ(CreateErrorInfo(&create), S_OK);
    create->SetDescription(u"plain");
    IErrorInfo* plain = nullptr;
    create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&plain));
    SetErrorInfo(0, plain);
    EXPECT_EQ(QUESSA_FN(ASVeskEventExists)(), 0);
    EXPECT_EQ(ErrorMessage(), u"plain");

    // A caller's logbook gets the event; the thread's error information stays.
    Logbook logbook;
    Bstr message;
    *message.Out() = SysAllocString(u"logged text");
    EXPECT_EQ(
        QUESSA_FN(ASLogEvent3)(&logbook, 4, u"two", u"three", 5, u"five", u"six", message.Get()),
        S_OK);
    EXPECT_EQ(logbook.logged, std::vector<std::u16string>{u"logged text"});
    EXPECT_EQ(logbook.references, 1u);
    IErrorInfo* after = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &after), S_OK);
    EXPECT_EQ(after, plain);
    after->Release();
    plain->Release();
    create->Release();
}

TEST_F(QuessaTest, EventExportsPassTheirFieldsInOrder) {
    Logbook logbook;
    EXPECT_EQ(QUESSA_FN(ASLogFullEvent1)(&logbook, 1, u"2", u"3", 4, u"5", u"6", u"7", 8, 9, 10,
                                         OlvaniThisModule(), kFilesIn, 12, u"/srv"),
              S_OK);
    EXPECT_EQ(logbook.logged.back(), u"12 files in /srv");
    EXPECT_EQ(logbook.fields, (std::vector<LONG>{1, 4, 8, 9, 10}));
    EXPECT_EQ(logbook.texts, (std::vector<std::u16string>{u"2", u"3", u"5", u"6", u"7"}));
    EXPECT_EQ(QUESSA_FN(ASLogAuditEvent2)(&logbook, u"2", u"3", 4, u"5", u"6", int16_t{10}, u"7",
                                          u"Quessa_Tests.Reporter", kCantOpen, u"z"),
              S_OK);
    EXPECT_EQ(logbook.logged.back(), u"Can't open 'z'");
    EXPECT_EQ(logbook.fields, (std::vector<LONG>{128, 4, 0, 0, 10}));
    EXPECT_EQ(logbook.texts, (std::vector<std::u16string>{u"2", u"3", u"5", u"6", u"7"}));
    EXPECT_EQ(QUESSA_FN(ASLogErrorEvent3)(&logbook, 1, nullptr, nullptr, 4, nullptr, nullptr, 8, 9,
                                          nullptr),
              E_INVALIDARG);
    Bstr empty;
    *empty.Out() = SysAllocString(u"");
    EXPECT_EQ(
        QUESSA_FN(ASLogEvent3)(nullptr, 0, nullptr, nullptr, 0, nullptr, nullptr, empty.Get()),
        E_INVALIDARG);
    EXPECT_EQ(logbook.logged.size(), 2u);
}

TEST_F(QuessaTest, MissingCatalogsAndStringsAreTracedFailures) {
    void* morvale = dlopen(MORVALE_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(morvale, nullptr);
    HMODULE noResources = OlvaniModuleFromAddress(dlsym(morvale, "CTrace_Entry"));
    dlclose(morvale);
    EXPECT_EQ(QUESSA_FN(ASVeskReportError4)(noResources, 0, nullptr, 1),
              E_RESOURCE_MODULE_NOT_FOUND);
    EXPECT_EQ(QUESSA_FN(ASLogEvent2)(nullptr, 1, nullptr, nullptr, 1, nullptr, nullptr,
                                     u"Nowhere.Class", 1),
              E_RESOURCE_MODULE_NOT_FOUND);
    EXPECT_EQ(QUESSA_FN(ASFormatString3)(nullptr, u"#1%d and %d", 1, 2), E_INVALIDARG);
    Bstr out;
    EXPECT_EQ(QUESSA_FN(ASFormatString3)(out.Out(), u"#1%d and %d", 1, 2), E_INVALIDARG);
    std::string trace = ReadFile(Library::Get().TraceFile());
    EXPECT_NE(trace.find("VeskEvents"), std::string::npos);
    EXPECT_NE(trace.find("Unable to find a resource file for 'libmorvale.so"), std::string::npos);
    EXPECT_NE(trace.find("Unable to find a resource file for 'Nowhere.Class'"), std::string::npos);
    EXPECT_NE(trace.find("Invalid format string '#1%d and %d' (mixed use of positions)"),
              std::string::npos);
}

} // namespace
} // namespace quessa::testing
