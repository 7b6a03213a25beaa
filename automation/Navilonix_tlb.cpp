#include "automation/Navilonix_tlb.h"

#include <array>

const GUID LIBID_Navilonix = {0xE813735A, 0xC90C, 0x4240, {0xAA, 0x02, 0x1F, 0xB8, 0x47, 0x07, 0xD6, 0x6E}};
const IID IID_INavilonixAutomation = {0x9E428CC6, 0x35AE, 0x4899, {0xA9, 0xBA, 0x34, 0xCE, 0x99, 0x14, 0x95, 0xD6}};
const IID DIID_INavilonixAutomationEvents = {
    0x0FDE09BC, 0x1493, 0x4E8F, {0x98, 0x5F, 0x27, 0x16, 0xE2, 0x49, 0xFA, 0x5C}};
const CLSID CLSID_NavilonixAutomation = {0x7166C02F, 0xCFCE, 0x4856, {0xAB, 0x71, 0x40, 0xF9, 0x32, 0x92, 0x97, 0xBB}};

const TNavilonixEventInfo kNavilonixEvents[6] = {
    {DISPID_OnChangeCarsLists, "OnChangeCarsLists"}, {DISPID_OnReceiveOnlineData, "OnReceiveOnlineData"},
    {DISPID_OnCloseServer, "OnCloseServer"},         {DISPID_OnChangeParameters, "OnChangeParameters"},
    {DISPID_OnEndComputing, "OnEndComputing"},       {DISPID_OnEndFieldsComputing, "OnEndFieldsComputing"},
};

namespace {

constexpr TMemberType TypeOf(std::string_view token) {
    if (token == "LONG")
        return TMemberType::Long;
    if (token == "DOUBLE")
        return TMemberType::Double;
    if (token == "BSTR")
        return TMemberType::Bstr;
    if (token == "VARIANT")
        return TMemberType::Variant;
    throw "unknown type in the member table"; // a compile-time error in a constant expression
}

constexpr std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '('))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == ')'))
        s.remove_suffix(1);
    return s;
}

constexpr TMemberInfo Property(int slot, TMemberKind kind, std::string_view name, std::string_view property,
                               std::string_view type) {
    TMemberInfo m{slot, kind, name, property, 1, {}};
    m.params[0] = {TypeOf(type), "Value"};
    return m;
}

// Parses the parameter list text "(BSTR GroupFile, LONG Device)" of a METHOD row.
constexpr TMemberInfo Method(int slot, std::string_view name, std::string_view params) {
    TMemberInfo m{slot, TMemberKind::Method, name, name, 0, {}};
    std::string_view rest = Trim(params);
    while (!rest.empty()) {
        const auto comma = rest.find(',');
        const std::string_view one = Trim(rest.substr(0, comma));
        const auto space = one.find(' ');
        m.params[m.paramCount++] = {TypeOf(one.substr(0, space)), Trim(one.substr(space + 1))};
        rest = comma == std::string_view::npos ? std::string_view{} : Trim(rest.substr(comma + 1));
    }
    return m;
}

#define NVX_INFO_READ(slot, name, type) Property(slot, TMemberKind::Read, "get_" #name, #name, #type),
#define NVX_INFO_WRITE(slot, name, type) Property(slot, TMemberKind::Write, "set_" #name, #name, #type),
#define NVX_INFO_METHOD(slot, name, params, args) Method(slot, #name, #params),
constexpr std::array<TMemberInfo, kNavilonixMemberCount> kTable = {
    NAVILONIX_MEMBERS(NVX_INFO_READ, NVX_INFO_WRITE, NVX_INFO_METHOD)};
#undef NVX_INFO_READ
#undef NVX_INFO_WRITE
#undef NVX_INFO_METHOD

constexpr bool SlotsAreConsecutive() {
    for (std::size_t i = 0; i < kTable.size(); ++i)
        if (kTable[i].slot != kNavilonixFirstSlot + static_cast<int>(i))
            return false;
    return kTable.back().slot == kNavilonixLastSlot;
}
static_assert(SlotsAreConsecutive(), "the member table must fill its slots without gaps");

// True when the argument list "(GroupFile, Device)" names the parameters of "(BSTR GroupFile, LONG Device)", one for
// one and in the same order; a METHOD row whose arguments are crossed or missing would send the wrong values.
constexpr bool ArgumentsNameParameters(std::string_view params, std::string_view args) {
    params = Trim(params);
    args = Trim(args);
    while (!params.empty() || !args.empty()) {
        if (params.empty() || args.empty())
            return false;
        const auto pComma = params.find(',');
        const auto aComma = args.find(',');
        const std::string_view param = Trim(params.substr(0, pComma));
        const std::string_view arg = Trim(args.substr(0, aComma));
        const auto space = param.rfind(' ');
        if (space == std::string_view::npos || Trim(param.substr(space + 1)) != arg)
            return false;
        params = pComma == std::string_view::npos ? std::string_view{} : Trim(params.substr(pComma + 1));
        args = aComma == std::string_view::npos ? std::string_view{} : Trim(args.substr(aComma + 1));
    }
    return true;
}
static_assert(ArgumentsNameParameters("(BSTR A, LONG B)", "(A, B)"));
static_assert(!ArgumentsNameParameters("(BSTR A, LONG B)", "(B, A)"));
static_assert(!ArgumentsNameParameters("(BSTR A, LONG B)", "(A)"));
static_assert(!ArgumentsNameParameters("(BSTR A)", "(A, A)"));
static_assert(ArgumentsNameParameters("()", "()"));

#define NVX_CHECK_READ(slot, name, type)
#define NVX_CHECK_WRITE(slot, name, type)
#define NVX_CHECK_METHOD(slot, name, params, args)                                                                     \
    static_assert(ArgumentsNameParameters(#params, #args),                                                             \
                  "the arguments of " #name " must name its parameters in order");
NAVILONIX_MEMBERS(NVX_CHECK_READ, NVX_CHECK_WRITE, NVX_CHECK_METHOD)
#undef NVX_CHECK_READ
#undef NVX_CHECK_WRITE
#undef NVX_CHECK_METHOD

} // namespace

const std::array<TMemberInfo, kNavilonixMemberCount> kNavilonixMembers = kTable;

const TMemberInfo* FindNavilonixMember(int slot) {
    if (slot < kNavilonixFirstSlot || slot > kNavilonixLastSlot)
        return nullptr;
    return &kNavilonixMembers[static_cast<std::size_t>(slot - kNavilonixFirstSlot)];
}

const TMemberInfo* FindNavilonixMember(std::string_view name) {
    for (const TMemberInfo& m : kNavilonixMembers)
        if (m.name == name)
            return &m;
    return nullptr;
}

const char* MemberTypeName(TMemberType type) {
    switch (type) {
    case TMemberType::Long:
        return "long";
    case TMemberType::Double:
        return "double";
    case TMemberType::Bstr:
        return "BSTR";
    case TMemberType::Variant:
        return "VARIANT";
    }
    return "?";
}
