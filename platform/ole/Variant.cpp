#include "platform/ole/Variant.h"

#include "platform/ole/Unknown.h"

#include <cstring>

void VariantInit(VARIANT* v) {
    if (!v)
        return;
    std::memset(v, 0, sizeof(VARIANT));
    v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* v) {
    if (!v)
        return E_INVALIDARG;
    if ((v->vt & VT_BYREF) == 0) {
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
    if ((src->vt & VT_BYREF) == 0) {
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
