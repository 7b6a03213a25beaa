#include "platform/ole/Variant.h"
#include "platform/ole/Unknown.h"

#include <gtest/gtest.h>

namespace {

// Counts its references, to see what VariantCopy and VariantClear do with interfaces.
struct CountedUnknown final : IUnknown {
    ULONG count = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++count; }
    ULONG STDMETHODCALLTYPE Release() override { return --count; }
};

TEST(Variant, CopyDuplicatesStrings) {
    Variant a(std::string_view("Ёлка"));
    Variant b(a);
    EXPECT_EQ(b.get()->vt, VT_BSTR);
    EXPECT_NE(b.get()->bstrVal, a.get()->bstrVal);
    EXPECT_EQ(BstrToUtf8(b.get()->bstrVal), "Ёлка");
}

TEST(Variant, CopyAndClearCountInterfaceReferences) {
    CountedUnknown unknown;
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_UNKNOWN;
    v.punkVal = &unknown;
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(VariantCopy(&copy, &v), S_OK);
    EXPECT_EQ(unknown.count, 2u);
    VariantClear(&copy);
    EXPECT_EQ(unknown.count, 1u);
    EXPECT_EQ(copy.vt, VT_EMPTY);
}

TEST(Variant, CopyRefusesUnknownTypesAndLeavesTheTarget) {
    Variant target(LONG{7});
    VARIANT odd;
    VariantInit(&odd);
    odd.vt = 0x0FFF;
    EXPECT_EQ(VariantCopy(target.get(), &odd), DISP_E_BADVARTYPE);
    EXPECT_EQ(target.get()->vt, VT_I4);
    EXPECT_EQ(target.get()->lVal, 7);
}

TEST(Variant, ClearDoesNotFreeWhatIsHeldByReference) {
    BSTR s = SysAllocString(u"kept");
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR | VT_BYREF;
    v.byref = &s;
    VariantClear(&v);
    EXPECT_EQ(BstrToUtf8(s), "kept");
    SysFreeString(s);
}

TEST(Variant, DetachHandsOverOwnership) {
    Variant a(std::string_view("x"));
    VARIANT raw = a.detach();
    EXPECT_EQ(a.get()->vt, VT_EMPTY);
    EXPECT_EQ(raw.vt, VT_BSTR);
    VariantClear(&raw);
}

TEST(Variant, ChangeTypeConvertsNumbersAndTextsAndRefusesWhatDoesNotFit) {
    struct Case {
        Variant from;
        VARTYPE to;
        HRESULT result;
        std::string text; // the converted value as a text, when it converts
    };
    const Case cases[] = {
        {Variant(std::string_view(" 42 ")), VT_I4, S_OK, "42"},
        {Variant(std::string_view("-3.5")), VT_R8, S_OK, "-3.5"},
        {Variant(2.5), VT_I4, S_OK, "2"}, // half to even
        {Variant(3.5), VT_I4, S_OK, "4"},
        {Variant(std::string_view("1e3")), VT_I4, S_OK, "1000"},
        {Variant(LONG{7}), VT_BSTR, S_OK, "7"},
        {Variant(0.1), VT_BSTR, S_OK, "0.1"},
        {Variant(3e10), VT_I4, DISP_E_OVERFLOW, ""},
        {Variant(std::string_view("9999999999")), VT_I4, DISP_E_OVERFLOW, ""},
        {Variant(std::string_view("seven")), VT_I4, DISP_E_TYPEMISMATCH, ""},
        {Variant(std::string_view("")), VT_R8, DISP_E_TYPEMISMATCH, ""},
        {Variant(std::string_view("1,5")), VT_R8, DISP_E_TYPEMISMATCH, ""},
    };
    for (const Case& c : cases) {
        Variant to(LONG{-1});
        EXPECT_EQ(VariantChangeType(to.get(), c.from.get(), 0, c.to), c.result) << c.text;
        if (FAILED(c.result)) {
            EXPECT_EQ(to.get()->vt, VT_I4); // left as it was
            continue;
        }
        ASSERT_EQ(to.get()->vt, c.to);
        ASSERT_EQ(VariantChangeType(to.get(), to.get(), 0, VT_BSTR), S_OK);
        EXPECT_EQ(BstrToUtf8(to.get()->bstrVal), c.text);
    }
    // A by-reference value converts as the value it points to; null converts to nothing.
    LONG held = 12;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_I4 | VT_BYREF;
    ref.byref = &held;
    Variant out;
    ASSERT_EQ(VariantChangeType(out.get(), &ref, 0, VT_R8), S_OK);
    EXPECT_EQ(out.get()->dblVal, 12.0);
    VARIANT null;
    VariantInit(&null);
    null.vt = VT_NULL;
    EXPECT_EQ(VariantChangeType(out.get(), &null, 0, VT_I4), DISP_E_TYPEMISMATCH);
}

} // namespace
