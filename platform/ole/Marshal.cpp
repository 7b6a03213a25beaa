#include "platform/ole/Marshal.h"

#include <cerrno>
#include <cstring>
#include <string>

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
    if (inner == kTagged) {
        std::uint16_t vt = 0;
        std::uint64_t bits = 0;
        r = sd_bus_message_read(m, kTagged, &vt, &bits);
        if (r >= 0) {
            switch (vt) {
            case VT_EMPTY:
            case VT_NULL:
                v.vt = vt;
                break;
            case VT_R4:
            case VT_ERROR:
            case VT_INT:
            case VT_UINT:
            case VT_I1: {
                v.vt = vt;
                const auto low = static_cast<std::uint32_t>(bits);
                if (vt == VT_I1)
                    v.cVal = static_cast<std::int8_t>(low);
                else
                    std::memcpy(&v.ulVal, &low, sizeof low);
                break;
            }
            case VT_DATE:
                v.vt = vt;
                std::memcpy(&v.date, &bits, sizeof bits);
                break;
            default:
                r = -ENXIO;
            }
        }
    } else if (inner.size() == 1) {
        const char t = inner[0];
        switch (t) {
        case 'i':
            v.vt = VT_I4;
            r = sd_bus_message_read_basic(m, t, &v.lVal);
            break;
        case 'd':
            v.vt = VT_R8;
            r = sd_bus_message_read_basic(m, t, &v.dblVal);
            break;
        case 'b': {
            int b = 0;
            r = sd_bus_message_read_basic(m, t, &b);
            v.vt = VT_BOOL;
            v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        }
        case 'n':
            v.vt = VT_I2;
            r = sd_bus_message_read_basic(m, t, &v.iVal);
            break;
        case 'y':
            v.vt = VT_UI1;
            r = sd_bus_message_read_basic(m, t, &v.bVal);
            break;
        case 'q':
            v.vt = VT_UI2;
            r = sd_bus_message_read_basic(m, t, &v.uiVal);
            break;
        case 'u':
            v.vt = VT_UI4;
            r = sd_bus_message_read_basic(m, t, &v.ulVal);
            break;
        case 'x':
            v.vt = VT_I8;
            r = sd_bus_message_read_basic(m, t, &v.llVal);
            break;
        case 't':
            v.vt = VT_UI8;
            r = sd_bus_message_read_basic(m, t, &v.ullVal);
            break;
        case 's': {
            const char* text = nullptr;
            r = sd_bus_message_read_basic(m, t, &text);
            if (r > 0) {
                v.vt = VT_BSTR;
                v.bstrVal = SysAllocStringUtf8(text);
                if (!v.bstrVal)
                    r = -ENOMEM;
            }
            break;
        }
        default:
            r = -ENXIO;
        }
        if (r == 0)
            r = -ENXIO;
    } else {
        r = -ENXIO;
    }
    if (r < 0) {
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
