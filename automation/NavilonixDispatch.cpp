// The type descriptions of INavilonixAutomation and INavilonixAutomationEvents, expanded from the member table.
#include "automation/Navilonix_tlb.h"
#include "platform/ole/Dispatch.h"

namespace {

std::vector<std::string_view> ParameterNames(int slot) {
    std::vector<std::string_view> names;
    if (const TMemberInfo* m = FindNavilonixMember(slot))
        for (int i = 0; i < m->paramCount; ++i)
            names.push_back(m->params[i].name);
    return names;
}

ole::TypeDescription Describe() {
    ole::TypeDescription type{IID_INavilonixAutomation, "NavilonixAutomation", {}};
#define NVX_DISP_READ(slot, name, type)                                                                                \
    ole::MakeDispFunction<&INavilonixAutomation::get_##name>(NavilonixDispId(slot), ole::DispKind::Get, #name, slot,   \
                                                             ParameterNames(slot)),
#define NVX_DISP_WRITE(slot, name, type)                                                                               \
    ole::MakeDispFunction<&INavilonixAutomation::set_##name>(NavilonixDispId(slot), ole::DispKind::Put, #name, slot,   \
                                                             ParameterNames(slot)),
#define NVX_DISP_METHOD(slot, name, params, args)                                                                      \
    ole::MakeDispFunction<&INavilonixAutomation::name>(NavilonixDispId(slot), ole::DispKind::Method, #name, slot,      \
                                                       ParameterNames(slot)),
    type.functions = {NAVILONIX_MEMBERS(NVX_DISP_READ, NVX_DISP_WRITE, NVX_DISP_METHOD)};
#undef NVX_DISP_READ
#undef NVX_DISP_WRITE
#undef NVX_DISP_METHOD
    return type;
}

} // namespace

DISPID NavilonixDispId(int slot) {
    const TMemberInfo* member = FindNavilonixMember(slot);
    if (!member)
        return DISPID_UNKNOWN;
    for (const TMemberInfo& m : kNavilonixMembers)
        if (m.property == member->property)
            return m.slot;
    return DISPID_UNKNOWN;
}

const ole::TypeDescription& NavilonixTypeDescription() {
    static const ole::TypeDescription type = Describe();
    return type;
}

const ole::TypeDescription& NavilonixEventsDescription() {
    static const ole::TypeDescription type = [] {
        ole::TypeDescription t{DIID_INavilonixAutomationEvents, "NavilonixAutomationEvents", {}};
        for (const TNavilonixEventInfo& e : kNavilonixEvents)
            t.functions.push_back({e.dispId, ole::DispKind::Method, e.name, VT_EMPTY, {}, -1, nullptr});
        return t;
    }();
    return type;
}
