#include "platform/ole/Marshal.h"

#include "platform/ole/SafeArray.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace ole {

namespace {

constexpr const char* kTagged = "(qt)";

int AppendTagged(sd_bus_message* m, VARTYPE vt, std::uint64_t bits) {
    int r = sd_bus_message_open_container(m, 'v', kTagged);
    if (r >= 0)
        r = sd_bus_message_append(m, kTagged, static_cast<std::uint16_t>(vt), bits);
    if (r >= 0)
        r = sd_bus_message_close_container(m);
    return r;
}

template <class T> int AppendIn(sd_bus_message* m, char type, const T& value) {
    const char contents[2] = {type, 0};
    int r = sd_bus_message_open_container(m, 'v', contents);
    if (r >= 0)
        r = sd_bus_message_append_basic(m, type, &value);
    if (r >= 0)
        r = sd_bus_message_close_container(m);
    return r;
}

template <class T> std::uint64_t Bits(const T& value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof value);
    return bits;
}

// --- arrays: a vector counted from 0 travels as the D-Bus array of its element type ("ai", "as", "av", ...);
// any other array as "(a(ui)aX)": the bounds of each dimension (count, lower bound) in index order, then the
// elements with the first index varying fastest.

char ElementCode(VARTYPE vt) {
    switch (vt) {
    case VT_I4:
        return 'i';
    case VT_R8:
        return 'd';
    case VT_BSTR:
        return 's';
    case VT_VARIANT:
        return 'v';
    case VT_BOOL:
        return 'b';
    case VT_I2:
        return 'n';
    case VT_UI1:
        return 'y';
    case VT_UI2:
        return 'q';
    case VT_UI4:
        return 'u';
    case VT_I8:
        return 'x';
    case VT_UI8:
        return 't';
    default:
        return 0;
    }
}

VARTYPE ElementType(char code) {
    for (const VARTYPE vt : {VT_I4, VT_R8, VT_BSTR, VT_VARIANT, VT_BOOL, VT_I2, VT_UI1, VT_UI2, VT_UI4, VT_I8, VT_UI8})
        if (ElementCode(vt) == code)
            return vt;
    return VT_EMPTY;
}

bool IsFixed(char code) {
    return code != 's' && code != 'v' && code != 'b';
}

int AppendElements(sd_bus_message* m, SAFEARRAY* psa, char code) {
    const ULONG n = SafeArrayElementCount(psa);
    if (IsFixed(code))
        return sd_bus_message_append_array(m, code, psa->pvData, static_cast<std::size_t>(n) * psa->cbElements);
    const char contents[2] = {code, 0};
    int r = sd_bus_message_open_container(m, 'a', contents);
    for (ULONG i = 0; r >= 0 && i < n; ++i) {
        if (code == 's') {
            const std::string text = BstrToUtf8(static_cast<BSTR*>(psa->pvData)[i]);
            r = sd_bus_message_append_basic(m, 's', text.c_str());
        } else if (code == 'b') {
            const int b = static_cast<VARIANT_BOOL*>(psa->pvData)[i] != 0;
            r = sd_bus_message_append_basic(m, 'b', &b);
        } else {
            r = Append(m, static_cast<VARIANT*>(psa->pvData)[i]);
        }
    }
    if (r >= 0)
        r = sd_bus_message_close_container(m);
    return r;
}

int AppendArray(sd_bus_message* m, SAFEARRAY* psa, VARTYPE elementType) {
    if (!psa || psa->vt != elementType)
        return -EINVAL;
    const char code = ElementCode(psa->vt);
    if (code == 0)
        return -EINVAL;
    const bool vector = psa->cDims == 1 && psa->rgsabound[0].lLbound == 0;
    const std::string data = std::string("a") + code;
    const std::string bounded = "(a(ui)" + data + ")";
    int r = sd_bus_message_open_container(m, 'v', vector ? data.c_str() : bounded.c_str());
    if (r >= 0 && !vector) {
        r = sd_bus_message_open_container(m, 'r', bounded.substr(1, bounded.size() - 2).c_str());
        if (r >= 0)
            r = sd_bus_message_open_container(m, 'a', "(ui)");
        for (WORD d = 0; r >= 0 && d < psa->cDims; ++d)
            r = sd_bus_message_append(m, "(ui)", psa->rgsabound[d].cElements, psa->rgsabound[d].lLbound);
        if (r >= 0)
            r = sd_bus_message_close_container(m);
    }
    if (r >= 0)
        r = AppendElements(m, psa, code);
    if (r >= 0 && !vector)
        r = sd_bus_message_close_container(m);
    if (r >= 0)
        r = sd_bus_message_close_container(m);
    return r;
}

// A text read into `*v` as a BSTR; what sd_bus_message_read_basic returns, or -ENOMEM.
int ReadText(sd_bus_message* m, VARIANT* v) {
    const char* text = nullptr;
    const int r = sd_bus_message_read_basic(m, 's', &text);
    if (r <= 0)
        return r;
    v->vt = VT_BSTR;
    v->bstrVal = SysAllocStringUtf8(text);
    return v->bstrVal ? r : -ENOMEM;
}

int ReadBool(sd_bus_message* m, VARIANT* v) {
    int b = 0;
    const int r = sd_bus_message_read_basic(m, 'b', &b);
    v->vt = VT_BOOL;
    v->boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
    return r;
}

// A new array of `count` elements in the shape of `bounds` (none: a vector from 0); -EBADMSG when the bounds hold
// another count.
int CreateShaped(VARTYPE vt, std::vector<SAFEARRAYBOUND> bounds, std::size_t count, SAFEARRAY** out) {
    *out = nullptr;
    if (bounds.empty())
        bounds.push_back({static_cast<ULONG>(count), 0});
    SAFEARRAY* psa = SafeArrayCreate(vt, static_cast<UINT>(bounds.size()), bounds.data());
    if (!psa)
        return -ENOMEM;
    if (SafeArrayElementCount(psa) != count) {
        SafeArrayDestroy(psa);
        return -EBADMSG;
    }
    *out = psa;
    return 1;
}

// Elements of a fixed size arrive as one block and are copied as they are.
int ReadFixedElements(sd_bus_message* m, char code, std::vector<SAFEARRAYBOUND> bounds, SAFEARRAY** out) {
    const void* items = nullptr;
    std::size_t size = 0;
    int r = sd_bus_message_read_array(m, code, &items, &size);
    if (r < 0)
        return r;
    const ULONG elementSize = code == 'y' ? 1 : code == 'n' || code == 'q' ? 2 : code == 'i' || code == 'u' ? 4 : 8;
    r = CreateShaped(ElementType(code), std::move(bounds), size / elementSize, out);
    if (r >= 0 && size > 0)
        std::memcpy((*out)->pvData, items, size);
    return r;
}

// Texts, booleans and variants are read one by one, then moved into the array.
int ReadEachElement(sd_bus_message* m, char code, std::vector<SAFEARRAYBOUND> bounds, SAFEARRAY** out) {
    const char contents[2] = {code, 0};
    int r = sd_bus_message_enter_container(m, 'a', contents);
    if (r < 0)
        return r;
    std::vector<Variant> items;
    for (;;) {
        Variant item;
        VARIANT* v = item.get();
        if (code == 's')
            r = ReadText(m, v);
        else if (code == 'b')
            r = ReadBool(m, v);
        else
            r = sd_bus_message_at_end(m, 0) > 0 ? 0 : Read(m, v);
        if (r <= 0)
            break;
        items.push_back(std::move(item));
    }
    if (r < 0)
        return r;
    r = sd_bus_message_exit_container(m);
    if (r >= 0)
        r = CreateShaped(ElementType(code), std::move(bounds), items.size(), out);
    if (r < 0)
        return r;
    SAFEARRAY* psa = *out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        VARIANT* v = items[i].get();
        if (code == 's')
            std::swap(static_cast<BSTR*>(psa->pvData)[i], v->bstrVal);
        else if (code == 'b')
            static_cast<VARIANT_BOOL*>(psa->pvData)[i] = v->boolVal;
        else
            static_cast<VARIANT*>(psa->pvData)[i] = items[i].detach();
    }
    return 1;
}

// Reads the elements "aX" into a new array with the given bounds (none: a vector from 0 of what arrives).
int ReadElements(sd_bus_message* m, char code, std::vector<SAFEARRAYBOUND> bounds, SAFEARRAY** out) {
    *out = nullptr;
    return IsFixed(code) ? ReadFixedElements(m, code, std::move(bounds), out)
                         : ReadEachElement(m, code, std::move(bounds), out);
}

// Reads the contents of a variant whose signature is an array form; 0 when `inner` is no such form.
int ReadArray(sd_bus_message* m, const std::string& inner, VARIANT* v) {
    SAFEARRAY* psa = nullptr;
    int r = 0;
    if (inner.size() == 2 && inner[0] == 'a' && ElementType(inner[1]) != VT_EMPTY) {
        r = ReadElements(m, inner[1], {}, &psa);
    } else if (inner.size() == 9 && inner.compare(0, 7, "(a(ui)a") == 0 && inner[8] == ')' &&
               ElementType(inner[7]) != VT_EMPTY) {
        r = sd_bus_message_enter_container(m, 'r', inner.substr(1, 7).c_str());
        if (r >= 0)
            r = sd_bus_message_enter_container(m, 'a', "(ui)");
        std::vector<SAFEARRAYBOUND> bounds;
        while (r >= 0) {
            std::uint32_t count = 0;
            std::int32_t lower = 0;
            r = sd_bus_message_read(m, "(ui)", &count, &lower);
            if (r <= 0)
                break;
            bounds.push_back({count, lower});
        }
        if (r >= 0)
            r = sd_bus_message_exit_container(m);
        if (r >= 0 && (bounds.empty() || bounds.size() > 64))
            r = -EBADMSG;
        if (r >= 0)
            r = ReadElements(m, inner[7], bounds, &psa);
        if (r >= 0)
            r = sd_bus_message_exit_container(m);
    } else {
        return 0;
    }
    if (r < 0) {
        SafeArrayDestroy(psa);
        return r;
    }
    v->vt = static_cast<VARTYPE>(VT_ARRAY | psa->vt);
    v->parray = psa;
    return 1;
}

// --- reading a variant: a reader for each form its signature may take ---

// "(qt)": a type that D-Bus has no code for, as the type and the value's bits.
int ReadTagged(sd_bus_message* m, VARIANT* v) {
    std::uint16_t vt = 0;
    std::uint64_t bits = 0;
    const int r = sd_bus_message_read(m, kTagged, &vt, &bits);
    if (r < 0)
        return r;
    const auto low = static_cast<std::uint32_t>(bits);
    switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
        break;
    case VT_R4:
    case VT_ERROR:
    case VT_INT:
    case VT_UINT:
        std::memcpy(&v->ulVal, &low, sizeof low);
        break;
    case VT_I1:
        v->cVal = static_cast<std::int8_t>(low);
        break;
    case VT_DATE:
        std::memcpy(&v->date, &bits, sizeof bits);
        break;
    default:
        return -ENXIO;
    }
    v->vt = vt;
    return r;
}

// One value of a basic D-Bus type, by its type code.
int ReadBasic(sd_bus_message* m, char code, VARIANT* v) {
    int r = 0;
    switch (code) {
    case 'i':
        v->vt = VT_I4;
        r = sd_bus_message_read_basic(m, code, &v->lVal);
        break;
    case 'd':
        v->vt = VT_R8;
        r = sd_bus_message_read_basic(m, code, &v->dblVal);
        break;
    case 'b':
        r = ReadBool(m, v);
        break;
    case 'n':
        v->vt = VT_I2;
        r = sd_bus_message_read_basic(m, code, &v->iVal);
        break;
    case 'y':
        v->vt = VT_UI1;
        r = sd_bus_message_read_basic(m, code, &v->bVal);
        break;
    case 'q':
        v->vt = VT_UI2;
        r = sd_bus_message_read_basic(m, code, &v->uiVal);
        break;
    case 'u':
        v->vt = VT_UI4;
        r = sd_bus_message_read_basic(m, code, &v->ulVal);
        break;
    case 'x':
        v->vt = VT_I8;
        r = sd_bus_message_read_basic(m, code, &v->llVal);
        break;
    case 't':
        v->vt = VT_UI8;
        r = sd_bus_message_read_basic(m, code, &v->ullVal);
        break;
    case 's':
        r = ReadText(m, v);
        break;
    default:
        return -ENXIO;
    }
    return r == 0 ? -ENXIO : r;
}

// The contents of a variant whose signature is `inner`: an array, a tagged value or one basic value.
int ReadContents(sd_bus_message* m, const std::string& inner, VARIANT* v) {
    if (const int r = ReadArray(m, inner, v); r != 0)
        return r;
    if (inner == kTagged)
        return ReadTagged(m, v);
    if (inner.size() == 1)
        return ReadBasic(m, inner[0], v);
    return -ENXIO;
}

} // namespace

int Append(sd_bus_message* m, LONG value) {
    return sd_bus_message_append_basic(m, 'i', &value);
}

int Append(sd_bus_message* m, double value) {
    return sd_bus_message_append_basic(m, 'd', &value);
}

int Append(sd_bus_message* m, BSTR value) {
    const std::string text = BstrToUtf8(value);
    return sd_bus_message_append_basic(m, 's', text.c_str());
}

int Append(sd_bus_message* m, const VARIANT& value) {
    const bool byRef = (value.vt & VT_BYREF) != 0;
    if ((value.vt & VT_ARRAY) != 0)
        return byRef ? -EINVAL : AppendArray(m, value.parray, static_cast<VARTYPE>(value.vt & ~VT_ARRAY));
    const VARTYPE vt = value.vt & ~VT_BYREF;
    if (byRef && !value.byref)
        return -EINVAL;
    // A by-reference value travels as the value it points to.
    const void* p = byRef ? value.byref : static_cast<const void*>(&value.llVal);
    auto at = [p](auto sample) {
        decltype(sample) v;
        std::memcpy(&v, p, sizeof v);
        return v;
    };
    switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
        return AppendTagged(m, vt, 0);
    case VT_I4:
        return AppendIn(m, 'i', at(std::int32_t{}));
    case VT_R8:
        return AppendIn(m, 'd', at(double{}));
    case VT_BSTR: {
        const std::string text = BstrToUtf8(at(BSTR{}));
        int r = sd_bus_message_open_container(m, 'v', "s");
        if (r >= 0)
            r = sd_bus_message_append_basic(m, 's', text.c_str());
        if (r >= 0)
            r = sd_bus_message_close_container(m);
        return r;
    }
    case VT_BOOL: {
        const int b = at(VARIANT_BOOL{}) != 0;
        return AppendIn(m, 'b', b);
    }
    case VT_I2:
        return AppendIn(m, 'n', at(std::int16_t{}));
    case VT_UI1:
        return AppendIn(m, 'y', at(std::uint8_t{}));
    case VT_UI2:
        return AppendIn(m, 'q', at(std::uint16_t{}));
    case VT_UI4:
        return AppendIn(m, 'u', at(std::uint32_t{}));
    case VT_I8:
        return AppendIn(m, 'x', at(std::int64_t{}));
    case VT_UI8:
        return AppendIn(m, 't', at(std::uint64_t{}));
    case VT_R4:
        return AppendTagged(m, vt, Bits(at(float{})));
    case VT_DATE:
        return AppendTagged(m, vt, Bits(at(double{})));
    case VT_ERROR:
    case VT_INT:
    case VT_UINT:
        return AppendTagged(m, vt, Bits(at(std::uint32_t{})));
    case VT_I1:
        return AppendTagged(m, vt, Bits(at(std::uint8_t{})));
    default:
        return -EINVAL;
    }
}

int Read(sd_bus_message* m, LONG* value) {
    const int r = sd_bus_message_read_basic(m, 'i', value);
    return r == 0 ? -ENXIO : r;
}

int Read(sd_bus_message* m, double* value) {
    const int r = sd_bus_message_read_basic(m, 'd', value);
    return r == 0 ? -ENXIO : r;
}

int Read(sd_bus_message* m, BSTR* value) {
    *value = nullptr;
    const char* text = nullptr;
    const int r = sd_bus_message_read_basic(m, 's', &text);
    if (r <= 0)
        return r < 0 ? r : -ENXIO;
    *value = SysAllocStringUtf8(text);
    return *value ? 1 : -ENOMEM;
}

int Read(sd_bus_message* m, VARIANT* value) {
    VariantInit(value);
    char type = 0;
    const char* contents = nullptr;
    int r = sd_bus_message_peek_type(m, &type, &contents);
    if (r <= 0)
        return r < 0 ? r : -ENXIO;
    if (type != 'v' || !contents)
        return -ENXIO;
    const std::string inner = contents;
    r = sd_bus_message_enter_container(m, 'v', inner.c_str());
    if (r < 0)
        return r;
    VARIANT v;
    VariantInit(&v);
    r = ReadContents(m, inner, &v);
    if (r < 0) {
        // Past the variant all the same, so that a caller may read on.
        VariantClear(&v);
        sd_bus_message_skip(m, inner.c_str());
        sd_bus_message_exit_container(m);
        return r;
    }
    r = sd_bus_message_exit_container(m);
    if (r < 0) {
        VariantClear(&v);
        return r;
    }
    *value = v;
    return 1;
}

} // namespace ole
