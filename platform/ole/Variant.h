// The 16-byte automation variant and the argument blocks of IDispatch::Invoke.
#pragma once

#include "platform/ole/Bstr.h"

struct IUnknown;
struct IDispatch;
struct SAFEARRAY;

using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;
constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

enum : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
};

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        std::int64_t llVal;
        std::uint64_t ullVal;
        LONG lVal;
        ULONG ulVal;
        std::int16_t iVal;
        std::uint16_t uiVal;
        std::int8_t cVal;
        BYTE bVal;
        float fltVal;
        double dblVal;
        double date;
        VARIANT_BOOL boolVal;
        HRESULT scode;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        VARIANT* pvarVal;
        SAFEARRAY* parray; // VT_ARRAY | the element type
        void* byref;
    };
};
static_assert(sizeof(VARIANT) == 16, "VARIANT must stay 16 bytes");
using VARIANTARG = VARIANT;

void VariantInit(VARIANT* v);
// Frees what the variant owns (a string, an interface reference, an array) and leaves it VT_EMPTY.
HRESULT VariantClear(VARIANT* v);
// Deep copy: strings and arrays are duplicated, interfaces AddRef'ed; the destination is cleared first.
HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);
// The value a by-reference variant refers to, as a plain variant (a shallow view: nothing is copied or owned; a
// reference to a variant is followed); a plain variant as it is. False for a null reference or a type that cannot
// be referred to.
bool VariantDereference(const VARIANT* src, VARIANT* plain);

// Converts `src` to the type `vt` (VT_I4, VT_R8, VT_BSTR, VT_BOOL, VT_I2, VT_I8 or VT_VARIANT for a plain copy)
// into `dest`, which is cleared first; `dest` may be `src`. Texts are read as numbers in the invariant form
// ("12", "-3.5", "1e3"); numbers become texts in their shortest exact form; doubles become integers rounded half
// to even. A value that does not fit gives DISP_E_OVERFLOW, one that cannot be converted DISP_E_TYPEMISMATCH;
// `dest` is then left unchanged. `flags` is accepted for the usual signature and not used.
HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, WORD flags, VARTYPE vt);

struct DISPPARAMS {
    VARIANTARG* rgvarg; // the last argument first
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    void* pvReserved;
    HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
    HRESULT scode;
};

// Owns one VARIANT and clears it. Its members are named like the standard owners', as ComPtr's are.
class Variant {
public:
    Variant() { VariantInit(&m_v); }
    explicit Variant(LONG value) : Variant() {
        m_v.vt = VT_I4;
        m_v.lVal = value;
    }
    explicit Variant(double value) : Variant() {
        m_v.vt = VT_R8;
        m_v.dblVal = value;
    }
    explicit Variant(std::string_view utf8) : Variant() {
        m_v.vt = VT_BSTR;
        m_v.bstrVal = SysAllocStringUtf8(utf8);
    }
    Variant(const Variant& other) : Variant() { VariantCopy(&m_v, &other.m_v); }
    Variant& operator=(const Variant& other) {
        if (this != &other)
            VariantCopy(&m_v, &other.m_v);
        return *this;
    }
    ~Variant() { VariantClear(&m_v); }
    VARIANT* get() { return &m_v; }
    const VARIANT* get() const { return &m_v; }
    VARIANT detach() {
        VARIANT out = m_v;
        VariantInit(&m_v);
        return out;
    }

private:
    VARIANT m_v;
};
