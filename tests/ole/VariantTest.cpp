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

} // namespace
