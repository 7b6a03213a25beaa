#include "platform/ole/Dispatch.h"
#include "platform/ole/SingleInterface.h"

#include "platform/ole/ErrorText.h"

#include <atomic>
#include <cstdio>
#include <memory>

const IID IID_ITypeInfo = {0x00020401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

void ClearExcepInfo(EXCEPINFO* info) {
    if (!info)
        return;
    SysFreeString(info->bstrSource);
    SysFreeString(info->bstrDescription);
    SysFreeString(info->bstrHelpFile);
    *info = EXCEPINFO{};
}

namespace ole {

namespace {

bool SameName(std::u16string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i];
        char y = b[i];
        if (x >= u'A' && x <= u'Z')
            x = static_cast<char16_t>(x - u'A' + u'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != static_cast<unsigned char>(y))
            return false;
    }
    return true;
}

std::u16string_view NameOf(LPOLESTR name) {
    return name ? std::u16string_view(name) : std::u16string_view();
}

void FillException(EXCEPINFO* info, const TypeDescription& type, const DispFunction& f, HRESULT code) {
    if (!info)
        return;
    *info = EXCEPINFO{};
    info->scode = code;
    info->bstrSource = SysAllocStringUtf8(type.name + "." + f.name);
    std::string text = SystemErrorLine(code);
    if (text.empty()) {
        char buffer[48];
        std::snprintf(buffer, sizeof buffer, "Error 0x%08X", static_cast<unsigned>(code));
        text = buffer;
    }
    info->bstrDescription = SysAllocStringUtf8(text);
}

// The function that answers an Invoke with these flags: a method call may also read a property and a property
// read may call a method without arguments, as scripting clients do.
const DispFunction* Choose(const TypeDescription& type, DISPID id, WORD flags) {
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))
        return type.Find(id, DispKind::Put);
    if (flags & DISPATCH_METHOD)
        if (const DispFunction* f = type.Find(id, DispKind::Method))
            return f;
    if (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) {
        if (const DispFunction* f = type.Find(id, DispKind::Get))
            return f;
        if (flags & DISPATCH_PROPERTYGET)
            return type.Find(id, DispKind::Method);
    }
    return nullptr;
}

class TypeInfo final : public SingleInterface<TypeInfo, ITypeInfo, IID_ITypeInfo> {
public:
    explicit TypeInfo(const TypeDescription& type) : m_type(type) {}

    HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** ppTypeAttr) override {
        if (!ppTypeAttr)
            return E_POINTER;
        auto* attr = new TYPEATTR{};
        attr->guid = m_type.iid;
        attr->typekind = TKIND_DISPATCH;
        attr->cFuncs = static_cast<WORD>(m_type.functions.size());
        *ppTypeAttr = attr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) override {
        if (!ppFuncDesc)
            return E_POINTER;
        *ppFuncDesc = nullptr;
        if (index >= m_type.functions.size())
            return DISP_E_BADINDEX;
        const DispFunction& f = m_type.functions[index];
        auto* desc = new FUNCDESC{};
        desc->memid = f.id;
        desc->invkind = f.kind == DispKind::Get   ? INVOKE_PROPERTYGET
                        : f.kind == DispKind::Put ? INVOKE_PROPERTYPUT
                                                  : INVOKE_FUNC;
        desc->cParams = static_cast<short>(f.params.size());
        desc->oVft = static_cast<short>(f.slot < 0 ? 0 : f.slot * static_cast<int>(sizeof(void*)));
        desc->lprgelemdescParam = f.params.empty() ? nullptr : new ELEMDESC[f.params.size()];
        for (std::size_t i = 0; i < f.params.size(); ++i)
            desc->lprgelemdescParam[i].vt = f.params[i].type;
        desc->elemdescFunc.vt = f.result;
        *ppFuncDesc = desc;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) override {
        if (!rgBstrNames || !pcNames)
            return E_POINTER;
        *pcNames = 0;
        const DispFunction* f = m_type.Find(memid, DispKind::Method);
        if (!f)
            f = m_type.Find(memid, DispKind::Get);
        if (!f)
            f = m_type.Find(memid, DispKind::Put);
        if (!f)
            return DISP_E_MEMBERNOTFOUND;
        std::vector<std::string> names{f->name};
        if (f->kind == DispKind::Method)
            for (const DispParam& p : f->params)
                names.push_back(p.name);
        for (std::size_t i = 0; i < names.size() && i < cMaxNames; ++i) {
            rgBstrNames[i] = SysAllocStringUtf8(names[i]);
            ++*pcNames;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) override {
        return DispGetIDsOfNames(m_type, rgszNames, cNames, pMemId);
    }
    HRESULT STDMETHODCALLTYPE Invoke(void* pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams,
                                     VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
        if (!pvInstance)
            return E_INVALIDARG;
        return DispInvoke(m_type, static_cast<IUnknown*>(pvInstance), memid, wFlags, pDispParams, pVarResult,
                          pExcepInfo, puArgErr);
    }
    HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString) override {
        std::string name = m_type.name;
        if (memid != DISPID_UNKNOWN) {
            const DispFunction* f = nullptr;
            for (const DispFunction& g : m_type.functions)
                if (g.id == memid) {
                    f = &g;
                    break;
                }
            if (!f)
                return DISP_E_MEMBERNOTFOUND;
            name = f->name;
        }
        if (pBstrName)
            *pBstrName = SysAllocStringUtf8(name);
        if (pBstrDocString)
            *pBstrDocString = nullptr;
        return S_OK;
    }
    void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* pTypeAttr) override { delete pTypeAttr; }
    void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC* pFuncDesc) override {
        if (pFuncDesc)
            delete[] pFuncDesc->lprgelemdescParam;
        delete pFuncDesc;
    }

private:
    template <class, class, const IID&> friend class ole::SingleInterface;
    ~TypeInfo() = default;
    const TypeDescription& m_type;
};

} // namespace

const DispFunction* TypeDescription::Find(DISPID id, DispKind kind) const {
    for (const DispFunction& f : functions)
        if (f.id == id && f.kind == kind)
            return &f;
    return nullptr;
}

DISPID TypeDescription::IdOfName(std::u16string_view name) const {
    for (const DispFunction& f : functions)
        if (SameName(name, f.name))
            return f.id;
    return DISPID_UNKNOWN;
}

HRESULT DispGetIDsOfNames(const TypeDescription& type, LPOLESTR* names, UINT count, DISPID* ids) {
    if (!names || !ids)
        return E_POINTER;
    if (count == 0)
        return E_INVALIDARG;
    HRESULT hr = S_OK;
    ids[0] = type.IdOfName(NameOf(names[0]));
    if (ids[0] == DISPID_UNKNOWN)
        hr = DISP_E_UNKNOWNNAME;
    // Parameter names are looked up among the method's parameters (or a put's single value).
    const DispFunction* f = type.Find(ids[0], DispKind::Method);
    if (!f)
        f = type.Find(ids[0], DispKind::Put);
    for (UINT i = 1; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        if (f)
            for (std::size_t p = 0; p < f->params.size(); ++p)
                if (SameName(NameOf(names[i]), f->params[p].name))
                    ids[i] = static_cast<DISPID>(p);
        if (ids[i] == DISPID_UNKNOWN)
            hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT DispInvoke(const TypeDescription& type, IUnknown* target, DISPID id, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* exception, UINT* argErr) {
    if (result)
        VariantInit(result);
    if (!target)
        return E_POINTER;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    if (!params)
        params = &none;
    if (params->cArgs > 0 && !params->rgvarg)
        return E_INVALIDARG;
    if (params->cNamedArgs > params->cArgs || (params->cNamedArgs > 0 && !params->rgdispidNamedArgs))
        return E_INVALIDARG;
    const DispFunction* f = Choose(type, id, flags);
    if (!f || !f->call) // members of an outgoing interface are answered by the sink itself
        return DISP_E_MEMBERNOTFOUND;
    const UINT n = static_cast<UINT>(f->params.size());
    if (params->cArgs != n)
        return DISP_E_BADPARAMCOUNT;

    // Where each parameter's value is in rgvarg: positional arguments last-first, then the named ones.
    std::vector<int> source(n, -1);
    const UINT named = params->cNamedArgs;
    const UINT positional = params->cArgs - named;
    for (UINT k = 0; k < positional; ++k)
        source[k] = static_cast<int>(params->cArgs - 1 - k);
    for (UINT i = 0; i < named; ++i) {
        DISPID position = params->rgdispidNamedArgs[i];
        if (f->kind == DispKind::Put && position == DISPID_PROPERTYPUT)
            position = 0;
        if (position < static_cast<DISPID>(positional) || position >= static_cast<DISPID>(n) ||
            source[static_cast<UINT>(position)] >= 0) {
            if (argErr)
                *argErr = i;
            return DISP_E_PARAMNOTFOUND;
        }
        source[static_cast<UINT>(position)] = static_cast<int>(i);
    }

    std::vector<Variant> args(n);
    std::vector<VARIANT> raw(n);
    for (UINT p = 0; p < n; ++p) {
        const VARIANT& given = params->rgvarg[source[p]];
        const HRESULT hr = VariantChangeType(args[p].get(), &given, 0, f->params[p].type);
        if (FAILED(hr)) {
            if (argErr)
                *argErr = static_cast<UINT>(source[p]);
            return hr == DISP_E_OVERFLOW ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH;
        }
        raw[p] = *args[p].get(); // shallow: `args` keeps ownership
    }

    Variant value;
    const HRESULT hr = f->call(target, raw.data(), value.get());
    if (FAILED(hr)) {
        FillException(exception, type, *f, hr);
        return DISP_E_EXCEPTION;
    }
    if (result)
        *result = value.detach();
    return S_OK;
}

ComPtr<ITypeInfo> MakeTypeInfo(const TypeDescription& type) {
    return ComPtr<ITypeInfo>::Attach(new TypeInfo(type));
}

} // namespace ole
