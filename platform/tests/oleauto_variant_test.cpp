#include "platform/eventlog.h"
#include "platform/oleauto.h"
#include "platform/registry.h"
#include "platform/strings.h"
#include "registry_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

// Owns a VARIANT for the length of a test.
struct Var : VARIANT {
    Var() { VariantInit(this); }
    explicit Var(LONG value) : Var() { vt = VT_I4, lVal = value; }
    explicit Var(double value) : Var() { vt = VT_R8, dblVal = value; }
    explicit Var(const char16_t* text) : Var() { vt = VT_BSTR, bstrVal = SysAllocString(text); }
    ~Var() { VariantClear(this); }
};

std::u16string Converted(const VARIANT& from, VARTYPE to, HRESULT expected = S_OK) {
    Var result;
    EXPECT_EQ(VariantChangeType(&result, &from, 0, to), expected);
    if (result.vt == VT_BSTR)
        return result.bstrVal ? result.bstrVal : u"";
    if (result.vt == VT_I4)
        return u"i" + olvani::Utf8ToUtf16(std::to_string(result.lVal));
    if (result.vt == VT_R8)
        return u"r" + olvani::Utf8ToUtf16(std::to_string(result.dblVal));
    return u"empty";
}

// Counts its references so tests can see who holds one.
struct Counted : IUnknown {
    ULONG references = 1;
    HRESULT QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++references; }
    ULONG Release() override { return --references; }
};

} // namespace

TEST(Variants, ConvertWithoutLocaleAndRoundHalfToEven) {
    EXPECT_EQ(Converted(Var(LONG{-42}), VT_BSTR), u"-42");
    EXPECT_EQ(Converted(Var(3.14), VT_BSTR), u"3.14");
    EXPECT_EQ(Converted(Var(0.1 + 0.2), VT_BSTR), u"0.3");
    EXPECT_EQ(Converted(Var(1e20), VT_BSTR), u"1E+20");
    EXPECT_EQ(Converted(Var(u" +2.5 "), VT_R8), u"r2.500000");
    EXPECT_EQ(Converted(Var(u"2.5"), VT_I4), u"i2");
    EXPECT_EQ(Converted(Var(3.5), VT_I4), u"i4");
    EXPECT_EQ(Converted(Var(-7.0), VT_I4), u"i-7");
    EXPECT_EQ(Converted(Var(LONG{7}), VT_R8), u"r7.000000");
    EXPECT_EQ(Converted(Var(), VT_I4), u"i0");
    EXPECT_EQ(Converted(Var(), VT_BSTR), u"");
}

TEST(Variants, RefuseTextThatIsNoNumberAndValuesOutOfRange) {
    for (const char16_t* text : {u"", u"abc", u"1,5", u"inf", u"nan", u"0x10", u"1 2"})
        Converted(Var(text), VT_R8, DISP_E_TYPEMISMATCH);
    Converted(Var(3e9), VT_I4, DISP_E_OVERFLOW);
    Converted(Var(u"2147483648"), VT_I4, DISP_E_OVERFLOW);
    Converted(Var(u"2147483647"), VT_I4);
    Var bad;
    bad.vt = 0x7777;
    Converted(bad, VT_I4, DISP_E_BADVARTYPE);
}

TEST(Variants, ConvertInPlaceAndCopyDeeply) {
    Var text(u"12");
    ASSERT_EQ(VariantChangeType(&text, &text, 0, VT_I4), S_OK);
    EXPECT_EQ(text.vt, VT_I4);
    EXPECT_EQ(text.lVal, 12);

    Var original(u"kept"), copy;
    ASSERT_EQ(VariantCopy(&copy, &original), S_OK);
    EXPECT_NE(copy.bstrVal, original.bstrVal);
    EXPECT_EQ(std::u16string(copy.bstrVal), u"kept");

    Counted object;
    Var holder;
    holder.vt = VT_UNKNOWN;
    holder.punkVal = &object;
    object.AddRef();
    {
        Var second;
        ASSERT_EQ(VariantCopy(&second, &holder), S_OK);
        EXPECT_EQ(object.references, 3u);
    }
    EXPECT_EQ(object.references, 2u);
    VariantClear(&holder);
    EXPECT_EQ(object.references, 1u);
}

TEST(SafeArrays, TwoDimensionsKeepTheirBoundsAndElements) {
    SAFEARRAYBOUND bounds[2] = {{3, 1}, {2, -1}};
    SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
    ASSERT_NE(array, nullptr);
    LONG bound = 0;
    SafeArrayGetLBound(array, 1, &bound);
    EXPECT_EQ(bound, 1);
    SafeArrayGetUBound(array, 1, &bound);
    EXPECT_EQ(bound, 3);
    SafeArrayGetLBound(array, 2, &bound);
    EXPECT_EQ(bound, -1);
    SafeArrayGetUBound(array, 2, &bound);
    EXPECT_EQ(bound, 0);
    EXPECT_EQ(SafeArrayGetUBound(array, 3, &bound), DISP_E_BADINDEX);

    for (LONG row = 1; row <= 3; ++row)
        for (LONG column = -1; column <= 0; ++column) {
            LONG at[2] = {row, column};
            Var value(LONG{row * 10 + column});
            ASSERT_EQ(SafeArrayPutElement(array, at, &value), S_OK);
        }
    for (LONG row = 1; row <= 3; ++row)
        for (LONG column = -1; column <= 0; ++column) {
            LONG at[2] = {row, column};
            Var value;
            ASSERT_EQ(SafeArrayGetElement(array, at, &value), S_OK);
            EXPECT_EQ(value.lVal, row * 10 + column);
        }
    LONG outside[2][2] = {{0, 0}, {4, 0}}, outsideColumn[2] = {1, 1};
    Var value;
    EXPECT_EQ(SafeArrayGetElement(array, outside[0], &value), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetElement(array, outside[1], &value), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayPutElement(array, outsideColumn, &value), DISP_E_BADINDEX);
    SafeArrayDestroy(array);
}

TEST(SafeArrays, StringElementsAreCopiesAndTravelInVariants) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, 2);
    BSTR text = SysAllocString(u"first");
    LONG at = 1;
    ASSERT_EQ(SafeArrayPutElement(array, &at, text), S_OK);
    text[0] = u'F';
    SysFreeString(text);

    Var holder;
    holder.vt = VT_ARRAY | VT_BSTR;
    holder.parray = array;
    Var copy;
    ASSERT_EQ(VariantCopy(&copy, &holder), S_OK);
    ASSERT_NE(copy.parray, array);
    BSTR read = nullptr;
    ASSERT_EQ(SafeArrayGetElement(copy.parray, &at, &read), S_OK);
    EXPECT_EQ(std::u16string(read), u"first");
    SysFreeString(read);
    EXPECT_EQ(SafeArrayCreate(VT_BSTR, 3, nullptr), nullptr);
    SAFEARRAYBOUND huge[2] = {{1u << 16, 0}, {1u << 16, 0}};
    EXPECT_EQ(SafeArrayCreate(VT_I4, 2, huge), nullptr);
}

TEST(ErrorInformation, IsTakenOncePerThreadAndHoldsItsOwnReference) {
    ComPtr<ICreateErrorInfo> create;
    ASSERT_EQ(CreateErrorInfo(create.Put()), S_OK);
    create->SetDescription(u"disk full");
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, info.PutVoid()), S_OK);
    ASSERT_EQ(SetErrorInfo(0, info.Get()), S_OK);
    info.Reset();
    create.Reset(); // the thread's slot keeps the object alive

    std::thread other([] {
        IErrorInfo* none = reinterpret_cast<IErrorInfo*>(1);
        EXPECT_EQ(GetErrorInfo(0, &none), S_FALSE);
        EXPECT_EQ(none, nullptr);
    });
    other.join();

    ASSERT_EQ(GetErrorInfo(0, info.Put()), S_OK);
    BSTR description = nullptr;
    info->GetDescription(&description);
    EXPECT_EQ(std::u16string(description), u"disk full");
    SysFreeString(description);
    IErrorInfo* again = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &again), S_FALSE);
}

TEST(Classes, TheEventComponentIsCreatableAndNamed) {
    ComPtr<IVeskEvents> events;
    ASSERT_EQ(CoCreateInstance(CLSID_VeskEvents, nullptr, CLSCTX_INPROC_SERVER, IID_IVeskEvents,
                               events.PutVoid()),
              S_OK);
    void* none = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_VeskEvents, events.Get(), CLSCTX_INPROC_SERVER,
                               IID_IVeskEvents, &none),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(CoCreateInstance(IID_IVeskEvents, nullptr, CLSCTX_ALL, IID_IUnknown, &none),
              REGDB_E_CLASSNOTREG);

    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(CLSID_VeskEvents, &progId), S_OK);
    EXPECT_EQ(std::u16string(progId), kVeskEventsProgId);
    CoTaskMemFree(progId);
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"veskevents.logbook", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_VeskEvents);

    // A class added at run time is created by its own factory until revoked.
    constexpr CLSID added{0x0BADC0DE, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    auto factory = [](REFIID iid, void** object) { return CreateVeskEvents(iid, object); };
    ASSERT_EQ(OlvaniRegisterClass(added, u"Added.Class", factory), S_OK);
    ComPtr<IErrorInfo> created;
    EXPECT_EQ(
        CoCreateInstance(added, nullptr, CLSCTX_INPROC_SERVER, IID_IErrorInfo, created.PutVoid()),
        S_OK);
    ASSERT_EQ(ProgIDFromCLSID(added, &progId), S_OK);
    EXPECT_EQ(std::u16string(progId), u"Added.Class");
    CoTaskMemFree(progId);
    OlvaniRevokeClass(added);
    EXPECT_EQ(CoCreateInstance(added, nullptr, CLSCTX_ALL, IID_IUnknown, &none),
              REGDB_E_CLASSNOTREG);
}

using ClassRegistry = olvani::testing::TempRegistry;

TEST_F(ClassRegistry, NamesClassesOutsideTheTable) {
    constexpr CLSID reporter{0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};
    OLECHAR text[39];
    ASSERT_EQ(StringFromGUID2(reporter, text, 39), 39);
    EXPECT_EQ(std::u16string(text), u"{12345678-9ABC-DEF0-0102-030405060708}");
    CLSID parsed{};
    ASSERT_EQ(CLSIDFromString(text, &parsed), S_OK);
    EXPECT_EQ(parsed, reporter);
    EXPECT_EQ(CLSIDFromString(u"{12345678-9ABC-DEF0-0102-03040506070}", &parsed), CO_E_CLASSSTRING);

    LPOLESTR progId = nullptr;
    EXPECT_EQ(ProgIDFromCLSID(reporter, &progId), REGDB_E_CLASSNOTREG);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT,
                              (u"CLSID\\" + std::u16string(text) + u"\\ProgID").c_str(), 0, nullptr,
                              0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const char16_t name[] = u"Dravik.Reporter.1";
    RegSetValueExW(key, u"", 0, REG_SZ, reinterpret_cast<const BYTE*>(name), sizeof name);
    RegCloseKey(key);
    ASSERT_EQ(ProgIDFromCLSID(reporter, &progId), S_OK);
    EXPECT_EQ(std::u16string(progId), name);
    CoTaskMemFree(progId);
}
