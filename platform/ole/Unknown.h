// The COM base interfaces, declared in their binary method order (no virtual destructors: a destructor
// would take vtable slots that the binary layout does not have).
#pragma once

#include "platform/ole/Variant.h"

#define STDMETHODCALLTYPE
#define STDMETHOD(name) virtual HRESULT STDMETHODCALLTYPE name
#define STDMETHOD_(type, name) virtual type STDMETHODCALLTYPE name

struct ITypeInfo;

struct IUnknown {
    STDMETHOD(QueryInterface)(REFIID riid, void** ppvObject) = 0;
    STDMETHOD_(ULONG, AddRef)() = 0;
    STDMETHOD_(ULONG, Release)() = 0;

protected:
    ~IUnknown() = default;
};

struct IDispatch : IUnknown {
    STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) = 0;
    STDMETHOD(GetTypeInfo)(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
    STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) = 0;
    STDMETHOD(Invoke)
    (DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
     EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;

protected:
    ~IDispatch() = default;
};

struct IClassFactory : IUnknown {
    STDMETHOD(CreateInstance)(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    STDMETHOD(LockServer)(int fLock) = 0;

protected:
    ~IClassFactory() = default;
};

struct IConnectionPoint;
struct IConnectionPointContainer;

struct CONNECTDATA {
    IUnknown* pUnk;
    DWORD dwCookie;
};

struct IEnumConnections : IUnknown {
    STDMETHOD(Next)(ULONG cConnections, CONNECTDATA* rgcd, ULONG* pcFetched) = 0;
    STDMETHOD(Skip)(ULONG cConnections) = 0;
    STDMETHOD(Reset)() = 0;
    STDMETHOD(Clone)(IEnumConnections** ppEnum) = 0;

protected:
    ~IEnumConnections() = default;
};

struct IEnumConnectionPoints : IUnknown {
    STDMETHOD(Next)(ULONG cConnections, IConnectionPoint** ppCP, ULONG* pcFetched) = 0;
    STDMETHOD(Skip)(ULONG cConnections) = 0;
    STDMETHOD(Reset)() = 0;
    STDMETHOD(Clone)(IEnumConnectionPoints** ppEnum) = 0;

protected:
    ~IEnumConnectionPoints() = default;
};

struct IConnectionPointContainer : IUnknown {
    STDMETHOD(EnumConnectionPoints)(IEnumConnectionPoints** ppEnum) = 0;
    STDMETHOD(FindConnectionPoint)(REFIID riid, IConnectionPoint** ppCP) = 0;

protected:
    ~IConnectionPointContainer() = default;
};

struct IConnectionPoint : IUnknown {
    STDMETHOD(GetConnectionInterface)(IID* pIID) = 0;
    STDMETHOD(GetConnectionPointContainer)(IConnectionPointContainer** ppCPC) = 0;
    STDMETHOD(Advise)(IUnknown* pUnkSink, DWORD* pdwCookie) = 0;
    STDMETHOD(Unadvise)(DWORD dwCookie) = 0;
    STDMETHOD(EnumConnections)(IEnumConnections** ppEnum) = 0;

protected:
    ~IConnectionPoint() = default;
};

// The interface identifier that belongs to an interface type, for ComPtr::QueryFrom.
template <class T> struct InterfaceId;
template <> struct InterfaceId<IUnknown> {
    static const IID& Get() { return IID_IUnknown; }
};
template <> struct InterfaceId<IDispatch> {
    static const IID& Get() { return IID_IDispatch; }
};
template <> struct InterfaceId<IClassFactory> {
    static const IID& Get() { return IID_IClassFactory; }
};
template <> struct InterfaceId<IConnectionPointContainer> {
    static const IID& Get() { return IID_IConnectionPointContainer; }
};
template <> struct InterfaceId<IConnectionPoint> {
    static const IID& Get() { return IID_IConnectionPoint; }
};
