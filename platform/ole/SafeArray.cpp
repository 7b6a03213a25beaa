#include "platform/ole/SafeArray.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

ULONG ElementSize(VARTYPE vt) {
    switch (vt) {
    case VT_UI1:
        return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_R4:
        return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_DATE:
        return 8;
    case VT_BSTR:
        return sizeof(BSTR);
    case VT_VARIANT:
        return sizeof(VARIANT);
    default:
        return 0;
    }
}

void FreeElements(SAFEARRAY* psa) {
    const ULONG n = SafeArrayElementCount(psa);
    if (psa->vt == VT_BSTR) {
        auto* items = static_cast<BSTR*>(psa->pvData);
        for (ULONG i = 0; i < n; ++i)
            SysFreeString(items[i]);
    } else if (psa->vt == VT_VARIANT) {
        auto* items = static_cast<VARIANT*>(psa->pvData);
        for (ULONG i = 0; i < n; ++i)
            VariantClear(&items[i]);
    }
}

} // namespace

ULONG SafeArrayElementCount(const SAFEARRAY* psa) {
    if (!psa)
        return 0;
    ULONG n = 1;
    for (WORD d = 0; d < psa->cDims; ++d)
        n *= psa->rgsabound[d].cElements;
    return n;
}

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, const SAFEARRAYBOUND* rgsabound) {
    const ULONG size = ElementSize(vt);
    if (size == 0 || cDims == 0 || cDims > 64 || !rgsabound)
        return nullptr;
    // The total size must fit comfortably: no array beyond 1 GiB.
    unsigned long long count = 1;
    for (UINT d = 0; d < cDims; ++d) {
        count *= rgsabound[d].cElements;
        if (count * size > (1ull << 30))
            return nullptr;
    }
    const std::size_t header = sizeof(SAFEARRAY) + (cDims - 1) * sizeof(SAFEARRAYBOUND);
    auto* psa = static_cast<SAFEARRAY*>(std::calloc(1, header));
    if (!psa)
        return nullptr;
    psa->cDims = static_cast<WORD>(cDims);
    psa->cbElements = size;
    psa->vt = vt;
    for (UINT d = 0; d < cDims; ++d)
        psa->rgsabound[d] = rgsabound[d];
    psa->pvData = std::calloc(count == 0 ? 1 : static_cast<std::size_t>(count), size); // zero: empty strings
    if (!psa->pvData) {
        std::free(psa);
        return nullptr;
    }
    return psa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    const SAFEARRAYBOUND bound{cElements, lLbound};
    return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (!psa)
        return S_OK;
    if (psa->cLocks > 0)
        return DISP_E_ARRAYISLOCKED;
    FreeElements(psa);
    std::free(psa->pvData);
    std::free(psa);
    return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
    if (!ppsaOut)
        return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (!psa)
        return S_OK;
    SAFEARRAY* copy = SafeArrayCreate(psa->vt, psa->cDims, psa->rgsabound);
    if (!copy)
        return E_OUTOFMEMORY;
    const ULONG n = SafeArrayElementCount(psa);
    if (psa->vt == VT_BSTR) {
        auto* from = static_cast<BSTR*>(psa->pvData);
        auto* to = static_cast<BSTR*>(copy->pvData);
        for (ULONG i = 0; i < n; ++i)
            if (from[i] && !(to[i] = SysAllocStringLen(from[i], SysStringLen(from[i])))) {
                SafeArrayDestroy(copy);
                return E_OUTOFMEMORY;
            }
    } else if (psa->vt == VT_VARIANT) {
        auto* from = static_cast<VARIANT*>(psa->pvData);
        auto* to = static_cast<VARIANT*>(copy->pvData);
        for (ULONG i = 0; i < n; ++i)
            if (const HRESULT hr = VariantCopy(&to[i], &from[i]); FAILED(hr)) {
                SafeArrayDestroy(copy);
                return hr;
            }
    } else {
        std::memcpy(copy->pvData, psa->pvData, static_cast<std::size_t>(n) * psa->cbElements);
    }
    *ppsaOut = copy;
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) {
    return psa ? psa->cDims : 0;
}

UINT SafeArrayGetElemsize(SAFEARRAY* psa) {
    return psa ? psa->cbElements : 0;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    if (!psa || !pvt)
        return E_INVALIDARG;
    *pvt = psa->vt;
    return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    if (!psa || !plLbound)
        return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[nDim - 1].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    if (!psa || !plUbound)
        return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& b = psa->rgsabound[nDim - 1];
    *plUbound = static_cast<LONG>(static_cast<long long>(b.lLbound) + b.cElements - 1);
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
    if (!psa)
        return E_INVALIDARG;
    ++psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
    if (!psa)
        return E_INVALIDARG;
    if (psa->cLocks == 0)
        return E_UNEXPECTED;
    --psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    if (!psa || !ppvData)
        return E_INVALIDARG;
    SafeArrayLock(psa);
    *ppvData = psa->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) {
    return SafeArrayUnlock(psa);
}

HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, const LONG* rgIndices, void** ppvData) {
    if (!psa || !rgIndices || !ppvData)
        return E_INVALIDARG;
    unsigned long long offset = 0;
    unsigned long long stride = 1;
    for (WORD d = 0; d < psa->cDims; ++d) {
        const SAFEARRAYBOUND& b = psa->rgsabound[d];
        const long long i = static_cast<long long>(rgIndices[d]) - b.lLbound;
        if (i < 0 || i >= static_cast<long long>(b.cElements))
            return DISP_E_BADINDEX;
        offset += static_cast<unsigned long long>(i) * stride;
        stride *= b.cElements;
    }
    *ppvData = static_cast<char*>(psa->pvData) + offset * psa->cbElements;
    return S_OK;
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, const LONG* rgIndices, void* pv) {
    void* at = nullptr;
    if (const HRESULT hr = SafeArrayPtrOfIndex(psa, rgIndices, &at); FAILED(hr))
        return hr;
    if (psa->vt == VT_BSTR) {
        const auto from = static_cast<BSTR>(pv);
        BSTR copy = nullptr;
        if (from && !(copy = SysAllocStringLen(from, SysStringLen(from))))
            return E_OUTOFMEMORY;
        SysFreeString(*static_cast<BSTR*>(at));
        *static_cast<BSTR*>(at) = copy;
        return S_OK;
    }
    if (!pv)
        return E_INVALIDARG;
    if (psa->vt == VT_VARIANT)
        return VariantCopy(static_cast<VARIANT*>(at), static_cast<const VARIANT*>(pv));
    std::memcpy(at, pv, psa->cbElements);
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, const LONG* rgIndices, void* pv) {
    if (!pv)
        return E_INVALIDARG;
    void* at = nullptr;
    if (const HRESULT hr = SafeArrayPtrOfIndex(psa, rgIndices, &at); FAILED(hr))
        return hr;
    if (psa->vt == VT_BSTR) {
        const BSTR from = *static_cast<BSTR*>(at);
        BSTR copy = nullptr;
        if (from && !(copy = SysAllocStringLen(from, SysStringLen(from))))
            return E_OUTOFMEMORY;
        *static_cast<BSTR*>(pv) = copy;
        return S_OK;
    }
    if (psa->vt == VT_VARIANT) {
        VariantInit(static_cast<VARIANT*>(pv));
        return VariantCopy(static_cast<VARIANT*>(pv), static_cast<const VARIANT*>(at));
    }
    std::memcpy(pv, at, psa->cbElements);
    return S_OK;
}
