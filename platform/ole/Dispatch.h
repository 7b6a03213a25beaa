// Late binding: a type description of an interface's members, the ITypeInfo that shows it, and one
// GetIDsOfNames/Invoke that every dispatch interface of the runtime uses. A description is made from the
// interface's member-function pointers, so the argument types are the compiler's, never typed twice.
#pragma once

#include "platform/ole/ComPtr.h"
#include "platform/ole/Unknown.h"

#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

enum INVOKEKIND : int { INVOKE_FUNC = 1, INVOKE_PROPERTYGET = 2, INVOKE_PROPERTYPUT = 4 };
enum TYPEKIND : int { TKIND_INTERFACE = 3, TKIND_DISPATCH = 4 };

struct ELEMDESC {
    VARTYPE vt;
};

struct TYPEATTR {
    GUID guid;
    LCID lcid;
    TYPEKIND typekind;
    WORD cFuncs;
    WORD cVars;
    WORD cImplTypes;
};

struct FUNCDESC {
    MEMBERID memid;
    INVOKEKIND invkind;
    short cParams;
    short cParamsOpt;
    short oVft; // byte offset of the function in the interface's function table; 0 for dispatch-only members
    ELEMDESC* lprgelemdescParam;
    ELEMDESC elemdescFunc; // the result: VT_HRESULT-only members show VT_EMPTY
};

// The runtime's type information: the part of the system interface that late-bound clients use.
struct ITypeInfo : IUnknown {
    STDMETHOD(GetTypeAttr)(TYPEATTR** ppTypeAttr) = 0;
    STDMETHOD(GetFuncDesc)(UINT index, FUNCDESC** ppFuncDesc) = 0;
    // names[0] is the member's name, then its parameters' names (a property put's value has none).
    STDMETHOD(GetNames)(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) = 0;
    STDMETHOD(GetIDsOfNames)(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) = 0;
    STDMETHOD(Invoke)
    (void* pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
     UINT* puArgErr) = 0;
    // memid -1 documents the interface itself.
    STDMETHOD(GetDocumentation)(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString) = 0;
    STDMETHOD_(void, ReleaseTypeAttr)(TYPEATTR* pTypeAttr) = 0;
    STDMETHOD_(void, ReleaseFuncDesc)(FUNCDESC* pFuncDesc) = 0;

protected:
    ~ITypeInfo() = default;
};
extern const IID IID_ITypeInfo;
template <> struct InterfaceId<ITypeInfo> {
    static const IID& Get() { return IID_ITypeInfo; }
};

// Clears what an Invoke or a failed member left in an EXCEPINFO.
void ClearExcepInfo(EXCEPINFO* info);

namespace ole {

enum class DispKind { Get, Put, Method };

// Calls one member on `target` (a pointer to the described interface) with arguments already of the declared
// types, in declaration order; a get leaves its value in `*result` (which the caller clears).
using DispCall = HRESULT (*)(IUnknown* target, VARIANT* args, VARIANT* result);

struct DispParam {
    VARTYPE type;
    std::string name;
};

struct DispFunction {
    DISPID id; // one identifier per name: a property's get and put share it
    DispKind kind;
    std::string name;
    VARTYPE result; // the value of a get; VT_EMPTY otherwise
    std::vector<DispParam> params;
    int slot;      // the function-table slot; -1 for members outside a function table
    DispCall call; // null for the events of an outgoing interface
};

struct TypeDescription {
    IID iid;
    std::string name;
    std::vector<DispFunction> functions;

    const DispFunction* Find(DISPID id, DispKind kind) const;
    // The identifier of a member's name, compared ignoring ASCII case; DISPID_UNKNOWN when there is none.
    DISPID IdOfName(std::u16string_view name) const;
};

// IDispatch::GetIDsOfNames: names[0] a member, names[1..] its parameters (their positions, counted from 0).
HRESULT DispGetIDsOfNames(const TypeDescription& type, LPOLESTR* names, UINT count, DISPID* ids);

// IDispatch::Invoke on `target`. Arguments are coerced to the declared types; failures are the standard ones:
// DISP_E_MEMBERNOTFOUND (no such member or no such kind of it), DISP_E_BADPARAMCOUNT, DISP_E_PARAMNOTFOUND and
// DISP_E_TYPEMISMATCH / DISP_E_OVERFLOW (with `*argErr` the failing argument's index in rgvarg), and
// DISP_E_EXCEPTION when the member fails (`*exception` names the source, the member's code and its text).
HRESULT DispInvoke(const TypeDescription& type, IUnknown* target, DISPID id, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* exception, UINT* argErr);

// A type information object over a description that outlives it.
ComPtr<ITypeInfo> MakeTypeInfo(const TypeDescription& type);

// --- descriptions from member-function pointers ---

template <class T> struct DispType;
template <> struct DispType<LONG> {
    static constexpr VARTYPE vt = VT_I4;
    static LONG From(VARIANT& v) { return v.lVal; }
    static void To(VARIANT& v, LONG x) {
        v.vt = VT_I4;
        v.lVal = x;
    }
};
template <> struct DispType<double> {
    static constexpr VARTYPE vt = VT_R8;
    static double From(VARIANT& v) { return v.dblVal; }
    static void To(VARIANT& v, double x) {
        v.vt = VT_R8;
        v.dblVal = x;
    }
};
template <> struct DispType<BSTR> {
    static constexpr VARTYPE vt = VT_BSTR;
    static BSTR From(VARIANT& v) { return v.bstrVal; }
    static void To(VARIANT& v, BSTR x) {
        v.vt = VT_BSTR;
        v.bstrVal = x;
    }
};
template <> struct DispType<VARIANT> {
    static constexpr VARTYPE vt = VT_VARIANT;
    static VARIANT From(VARIANT& v) { return v; }
    static void To(VARIANT& v, const VARIANT& x) { v = x; }
};

template <class I, class... A, std::size_t... N>
HRESULT CallWith(HRESULT (STDMETHODCALLTYPE I::*slot)(A...), I* target, VARIANT* args, std::index_sequence<N...>) {
    return (target->*slot)(DispType<A>::From(args[N])...);
}

template <class... A> struct OnlyArgument { using type = void; };
template <class A> struct OnlyArgument<A> { using type = A; };
// A member whose only argument is a pointer (other than a BSTR, which is one itself) is a property read.
template <class... A>
inline constexpr bool kIsGet =
    std::is_pointer_v<typename OnlyArgument<A...>::type> && !std::is_same_v<typename OnlyArgument<A...>::type, BSTR>;

template <class I, class... A>
HRESULT CallSlotWith(HRESULT (STDMETHODCALLTYPE I::*slot)(A...), IUnknown* object, VARIANT* args, VARIANT* result) {
    I* target = static_cast<I*>(object);
    if constexpr (kIsGet<A...>) {
        using T = std::remove_pointer_t<typename OnlyArgument<A...>::type>;
        T value{};
        if constexpr (std::is_same_v<T, VARIANT>)
            VariantInit(&value);
        const HRESULT hr = (target->*slot)(&value);
        if (SUCCEEDED(hr))
            DispType<T>::To(*result, value);
        else if constexpr (std::is_same_v<T, BSTR>)
            SysFreeString(value);
        else if constexpr (std::is_same_v<T, VARIANT>)
            VariantClear(&value);
        return hr;
    } else {
        return CallWith(slot, target, args, std::index_sequence_for<A...>{});
    }
}

template <auto Slot> HRESULT CallSlot(IUnknown* object, VARIANT* args, VARIANT* result) {
    return CallSlotWith(Slot, object, args, result);
}

template <class I, class... A> void DescribeSignature(HRESULT (STDMETHODCALLTYPE I::*)(A...), DispFunction& f) {
    if constexpr (kIsGet<A...>) {
        f.result = DispType<std::remove_pointer_t<typename OnlyArgument<A...>::type>>::vt;
    } else {
        const VARTYPE types[] = {DispType<A>::vt..., VT_EMPTY};
        for (std::size_t i = 0; i < sizeof...(A); ++i)
            f.params[i].type = types[i];
    }
}

// One function of a description: `names` are the parameters' names of a method or a put (inputs only).
template <auto Slot>
DispFunction MakeDispFunction(DISPID id, DispKind kind, std::string name, int slot,
                              const std::vector<std::string_view>& names) {
    DispFunction f{id, kind, std::move(name), VT_EMPTY, {}, slot, &CallSlot<Slot>};
    if (kind != DispKind::Get)
        for (std::string_view n : names)
            f.params.push_back({VT_EMPTY, std::string(n)});
    DescribeSignature(Slot, f);
    return f;
}

// GetTypeInfoCount, GetTypeInfo and GetIDsOfNames of a dispatch interface `Base` from its description.
template <class Base, const TypeDescription& (*Describe)()> class DescribedDispatch : public Base {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
        if (!pctinfo)
            return E_POINTER;
        *pctinfo = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) override {
        if (!ppTInfo)
            return E_POINTER;
        *ppTInfo = nullptr;
        if (iTInfo != 0)
            return DISP_E_BADINDEX;
        *ppTInfo = MakeTypeInfo(Describe()).detach();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                                            DISPID* rgDispId) override {
        if (!IsEqualIID(riid, IID_NULL))
            return DISP_E_UNKNOWNINTERFACE;
        return DispGetIDsOfNames(Describe(), rgszNames, cNames, rgDispId);
    }

protected:
    ~DescribedDispatch() = default;
};

// All of IDispatch from the description: Invoke calls the object's own typed members.
template <class Base, const TypeDescription& (*Describe)()>
class TypedDispatch : public DescribedDispatch<Base, Describe> {
public:
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                                     VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
        if (!IsEqualIID(riid, IID_NULL))
            return DISP_E_UNKNOWNINTERFACE;
        return DispInvoke(Describe(), static_cast<Base*>(this), dispIdMember, wFlags, pDispParams, pVarResult,
                          pExcepInfo, puArgErr);
    }

protected:
    ~TypedDispatch() = default;
};

} // namespace ole
