// SAFEARRAY: the automation array, with its bounds per dimension and elements of one type (VT_I2, VT_I4, VT_I8,
// VT_UI1, VT_UI2, VT_UI4, VT_UI8, VT_R4, VT_R8, VT_DATE, VT_BOOL, VT_BSTR or VT_VARIANT). Elements lie in one block,
// the first index varying fastest; bounds are given and reported in index order. An array owns its strings and
// variants: destroying it frees them, copying it copies them.
#pragma once

#include "platform/ole/Variant.h"

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

struct SAFEARRAY {
    WORD cDims;
    WORD fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    void* pvData;
    VARTYPE vt;                  // the element type
    SAFEARRAYBOUND rgsabound[1]; // cDims of them, in index order
};

// Null when the type is not one of the element types, a dimension count is 0 or the size overflows. The
// elements start zeroed (empty strings, VT_EMPTY variants).
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, const SAFEARRAYBOUND* rgsabound);
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
// Fails with DISP_E_ARRAYISLOCKED while the array is locked.
HRESULT SafeArrayDestroy(SAFEARRAY* psa);
HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);

UINT SafeArrayGetDim(SAFEARRAY* psa);
UINT SafeArrayGetElemsize(SAFEARRAY* psa);
HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);
// nDim counts from 1; DISP_E_BADINDEX outside 1..cDims.
HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
// The number of elements of all dimensions together.
ULONG SafeArrayElementCount(const SAFEARRAY* psa);

HRESULT SafeArrayLock(SAFEARRAY* psa);
HRESULT SafeArrayUnlock(SAFEARRAY* psa);
HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
// The address of the element at rgIndices (one index per dimension); DISP_E_BADINDEX outside the bounds.
HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, const LONG* rgIndices, void** ppvData);
// Stores a copy of *pv (for VT_BSTR `pv` is the BSTR itself, for VT_VARIANT a VARIANT*); the old element is freed.
HRESULT SafeArrayPutElement(SAFEARRAY* psa, const LONG* rgIndices, void* pv);
// Copies the element into *pv (a new BSTR or a copied VARIANT that the caller owns).
HRESULT SafeArrayGetElement(SAFEARRAY* psa, const LONG* rgIndices, void* pv);
