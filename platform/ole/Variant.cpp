#include "platform/ole/Variant.h"

#include "platform/ole/SafeArray.h"
#include "platform/ole/Unknown.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <locale>
#include <sstream>
#include <string>

void VariantInit(VARIANT* v) {
    if (!v)
        return;
    std::memset(v, 0, sizeof(VARIANT));
    v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* v) {
    if (!v)
        return E_INVALIDARG;
    if ((v->vt & VT_BYREF) == 0 && (v->vt & VT_ARRAY) != 0) {
        if (const HRESULT hr = SafeArrayDestroy(v->parray); FAILED(hr))
            return hr;
    } else if ((v->vt & VT_BYREF) == 0) {
        switch (v->vt) {
        case VT_BSTR:
            SysFreeString(v->bstrVal);
            break;
        case VT_UNKNOWN:
        case VT_DISPATCH:
            if (v->punkVal)
                v->punkVal->Release();
            break;
        default:
            break;
        }
    }
    VariantInit(v);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
    if (!dest || !src)
        return E_INVALIDARG;
    if (dest == src)
        return S_OK;
    VARIANT copy = *src;
    if ((src->vt & VT_BYREF) == 0 && (src->vt & VT_ARRAY) != 0) {
        if (const HRESULT hr = SafeArrayCopy(src->parray, &copy.parray); FAILED(hr))
            return hr;
    } else if ((src->vt & VT_BYREF) == 0) {
        switch (src->vt) {
        case VT_BSTR:
            copy.bstrVal = src->bstrVal ? SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal)) : nullptr;
            if (src->bstrVal && !copy.bstrVal)
                return E_OUTOFMEMORY;
            break;
        case VT_UNKNOWN:
        case VT_DISPATCH:
            if (copy.punkVal)
                copy.punkVal->AddRef();
            break;
        case VT_EMPTY:
        case VT_NULL:
        case VT_I1:
        case VT_I2:
        case VT_I4:
        case VT_I8:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_R8:
        case VT_DATE:
        case VT_BOOL:
        case VT_ERROR:
            break;
        default:
            return DISP_E_BADVARTYPE;
        }
    }
    VariantClear(dest);
    *dest = copy;
    return S_OK;
}

bool VariantDereference(const VARIANT* src, VARIANT* plain) {
    if ((src->vt & VT_BYREF) == 0) {
        *plain = *src;
        return true;
    }
    VariantInit(plain);
    if (!src->byref)
        return false;
    const VARTYPE vt = src->vt & ~VT_BYREF;
    if (vt == VT_VARIANT)
        return VariantDereference(static_cast<const VARIANT*>(src->byref), plain);
    std::size_t size = 0;
    switch (vt) {
    case VT_I1:
    case VT_UI1:
        size = 1;
        break;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        size = 2;
        break;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
        size = 4;
        break;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_DATE:
        size = 8;
        break;
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
        size = sizeof(void*);
        break;
    default:
        return false;
    }
    plain->vt = vt;
    std::memcpy(&plain->llVal, src->byref, size);
    return true;
}

namespace {

// The numeric value of a plain variant: an integer when it is one, else a double.
struct Number {
    bool integral = true;
    std::int64_t i = 0;
    double d = 0;
};

HRESULT ParseNumber(BSTR text, Number* n) {
    std::string s = BstrToUtf8(text);
    const auto first = s.find_first_not_of(" \t");
    const auto last = s.find_last_not_of(" \t");
    if (first == std::string::npos)
        return DISP_E_TYPEMISMATCH;
    s = s.substr(first, last - first + 1);
    errno = 0;
    char* end = nullptr;
    const long long i = std::strtoll(s.c_str(), &end, 10);
    if (end && *end == 0 && errno == 0) {
        n->i = i;
        return S_OK;
    }
    errno = 0;
    end = nullptr;
    std::istringstream in(s);
    in.imbue(std::locale::classic());
    double d = 0;
    in >> d;
    if (in.fail() || !in.eof() || std::isnan(d))
        return DISP_E_TYPEMISMATCH;
    if (std::isinf(d))
        return DISP_E_OVERFLOW;
    n->integral = false;
    n->d = d;
    return S_OK;
}

HRESULT NumberOf(const VARIANT& v, Number* n) {
    switch (v.vt) {
    case VT_EMPTY:
        return S_OK;
    case VT_I1:
        n->i = v.cVal;
        return S_OK;
    case VT_UI1:
        n->i = v.bVal;
        return S_OK;
    case VT_I2:
        n->i = v.iVal;
        return S_OK;
    case VT_UI2:
        n->i = v.uiVal;
        return S_OK;
    case VT_I4:
    case VT_INT:
        n->i = v.lVal;
        return S_OK;
    case VT_UI4:
    case VT_UINT:
        n->i = v.ulVal;
        return S_OK;
    case VT_I8:
        n->i = v.llVal;
        return S_OK;
    case VT_UI8:
        if (v.ullVal > static_cast<std::uint64_t>(INT64_MAX))
            return DISP_E_OVERFLOW;
        n->i = static_cast<std::int64_t>(v.ullVal);
        return S_OK;
    case VT_BOOL:
        n->i = v.boolVal ? -1 : 0;
        return S_OK;
    case VT_R4:
        n->integral = false;
        n->d = v.fltVal;
        return S_OK;
    case VT_R8:
    case VT_DATE:
        n->integral = false;
        n->d = v.dblVal;
        return S_OK;
    case VT_BSTR:
        return ParseNumber(v.bstrVal, n);
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

HRESULT ToInteger(const Number& n, std::int64_t low, std::int64_t high, std::int64_t* out) {
    if (n.integral) {
        if (n.i < low || n.i > high)
            return DISP_E_OVERFLOW;
        *out = n.i;
        return S_OK;
    }
    if (std::isnan(n.d))
        return DISP_E_TYPEMISMATCH;
    const double r = std::nearbyint(n.d); // the default rounding mode: half to even
    if (!(r >= static_cast<double>(low) && r <= static_cast<double>(high)))
        return DISP_E_OVERFLOW;
    *out = static_cast<std::int64_t>(r);
    return S_OK;
}

std::string TextOf(const Number& n) {
    if (n.integral)
        return std::to_string(n.i);
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, n.d);
    return std::string(buffer, r.ptr);
}

} // namespace

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, WORD, VARTYPE vt) {
    if (!dest || !src)
        return E_INVALIDARG;
    VARIANT plain;
    if (!VariantDereference(src, &plain))
        return DISP_E_BADVARTYPE;
    VARIANT out;
    VariantInit(&out);
    if (vt == VT_VARIANT || vt == plain.vt) {
        const HRESULT hr = VariantCopy(&out, &plain);
        if (FAILED(hr))
            return hr;
    } else if (plain.vt == VT_NULL || plain.vt == VT_DISPATCH || plain.vt == VT_UNKNOWN || plain.vt == VT_ERROR ||
               (plain.vt & VT_ARRAY) != 0) {
        return DISP_E_TYPEMISMATCH;
    } else if (vt == VT_BSTR && plain.vt == VT_BOOL) {
        out.vt = VT_BSTR;
        out.bstrVal = SysAllocStringUtf8(plain.boolVal ? "True" : "False");
    } else if (vt == VT_BSTR && plain.vt == VT_EMPTY) {
        out.vt = VT_BSTR;
        out.bstrVal = SysAllocStringUtf8("");
    } else if (vt == VT_BOOL && plain.vt == VT_BSTR &&
               (BstrToUtf8(plain.bstrVal) == "True" || BstrToUtf8(plain.bstrVal) == "False")) {
        out.vt = VT_BOOL;
        out.boolVal = BstrToUtf8(plain.bstrVal) == "True" ? VARIANT_TRUE : VARIANT_FALSE;
    } else {
        Number n;
        if (const HRESULT hr = NumberOf(plain, &n); FAILED(hr))
            return hr;
        std::int64_t i = 0;
        HRESULT hr = S_OK;
        switch (vt) {
        case VT_I2:
            hr = ToInteger(n, INT16_MIN, INT16_MAX, &i);
            out.iVal = static_cast<std::int16_t>(i);
            break;
        case VT_I4:
            hr = ToInteger(n, INT32_MIN, INT32_MAX, &i);
            out.lVal = static_cast<LONG>(i);
            break;
        case VT_I8:
            hr = ToInteger(n, INT64_MIN, INT64_MAX, &i);
            out.llVal = i;
            break;
        case VT_R8:
            out.dblVal = n.integral ? static_cast<double>(n.i) : n.d;
            break;
        case VT_BOOL:
            out.boolVal = (n.integral ? n.i != 0 : n.d != 0) ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        case VT_BSTR:
            out.bstrVal = SysAllocStringUtf8(TextOf(n));
            break;
        default:
            return DISP_E_BADVARTYPE;
        }
        if (FAILED(hr))
            return hr;
        out.vt = vt;
    }
    VariantClear(dest);
    *dest = out;
    return S_OK;
}
