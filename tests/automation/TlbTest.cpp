// The contract's binary layout: every member sits in the vtable slot the server's function table gives it.
#include "automation/Navilonix_tlb.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

// The vtable slot of a virtual member function (Itanium C++ ABI: the pointer holds 1 + the byte offset).
template <class F> int SlotOf(F function) {
    struct {
        std::uintptr_t ptr;
        std::ptrdiff_t adj;
    } raw;
    static_assert(sizeof(function) == sizeof(raw));
    std::memcpy(&raw, &function, sizeof raw);
    return static_cast<int>((raw.ptr - 1) / sizeof(void*));
}

using I = INavilonixAutomation;

TEST(Contract, IdentifiersHaveTheirRegisteredValues) {
    EXPECT_EQ(GuidToString(CLSID_NavilonixAutomation), "{7166C02F-CFCE-4856-AB71-40F9329297BB}");
    EXPECT_EQ(GuidToString(IID_INavilonixAutomation), "{9E428CC6-35AE-4899-A9BA-34CE991495D6}");
    EXPECT_EQ(GuidToString(DIID_INavilonixAutomationEvents), "{0FDE09BC-1493-4E8F-985F-2716E249FA5C}");
    EXPECT_EQ(GuidToString(LIBID_Navilonix), "{E813735A-C90C-4240-AA02-1FB84707D66E}");
}

TEST(Contract, BaseInterfacesKeepTheirSlots) {
    EXPECT_EQ(SlotOf(&IUnknown::QueryInterface), 0);
    EXPECT_EQ(SlotOf(&IUnknown::Release), 2);
    EXPECT_EQ(SlotOf(&IDispatch::GetTypeInfoCount), 3);
    EXPECT_EQ(SlotOf(&IDispatch::Invoke), 6);
    EXPECT_EQ(SlotOf(&IConnectionPointContainer::FindConnectionPoint), 4);
    EXPECT_EQ(SlotOf(&IConnectionPoint::Advise), 5);
    EXPECT_EQ(SlotOf(&IConnectionPoint::Unadvise), 6);
}

TEST(Contract, SampleMembersSitInTheirSlots) {
    EXPECT_EQ(SlotOf(&I::get_CurrentVersion), 7);
    EXPECT_EQ(SlotOf(&I::get_GroupIndex), 9);
    EXPECT_EQ(SlotOf(&I::set_GroupIndex), 10);
    EXPECT_EQ(SlotOf(&I::get_CarCheckPointsFile), 30);
    EXPECT_EQ(SlotOf(&I::ShowApplication), 31);
    EXPECT_EQ(SlotOf(&I::GoToCarLastTrack), 34);
    EXPECT_EQ(SlotOf(&I::set_CheckPointWeekDays), 53);
    EXPECT_EQ(SlotOf(&I::AddCheckPointEx), 58);
    EXPECT_EQ(SlotOf(&I::StartComputing), 64);
    EXPECT_EQ(SlotOf(&I::get_ComputingCheck), 67);
    EXPECT_EQ(SlotOf(&I::get_TripStartRegTime), 78);
    EXPECT_EQ(SlotOf(&I::get_TripEndName), 79);
    EXPECT_EQ(SlotOf(&I::get_TripMotor2Fuel), 100);
    EXPECT_EQ(SlotOf(&I::WaitForComputing), 132);
    EXPECT_EQ(SlotOf(&I::set_ComputingTimeout), 134);
    EXPECT_EQ(SlotOf(&I::ExportTrackToFile), 136);
    EXPECT_EQ(SlotOf(&I::get_CrdEntrySensor6), 150);
    EXPECT_EQ(SlotOf(&I::get_CarSensor1), 158);
    EXPECT_EQ(SlotOf(&I::get_TripSensor1Cntr), 164);
    EXPECT_EQ(SlotOf(&I::get_TripSensor6Cont), 181);
    EXPECT_EQ(SlotOf(&I::WaitForInitializing), 186);
    EXPECT_EQ(SlotOf(&I::set_TripEntriesListKindName), 192);
    EXPECT_EQ(SlotOf(&I::get_TrackCrdsArray), 195);
    EXPECT_EQ(SlotOf(&I::Sleep), 199);
    EXPECT_EQ(SlotOf(&I::get_EntryPlanCont), 206);
    EXPECT_EQ(SlotOf(&I::get_TripTank1StartLevel), 207);
    EXPECT_EQ(SlotOf(&I::get_CrdEntryLLS8), 222);
    EXPECT_EQ(SlotOf(&I::SetCurrentCoords), 234);
    EXPECT_EQ(SlotOf(&I::get_CurrentCheckPointIndex), 235);
    EXPECT_EQ(SlotOf(&I::get_TripSensor7Cntr), 242);
    EXPECT_EQ(SlotOf(&I::get_TripSensor8Cont), 247);
    EXPECT_EQ(SlotOf(&I::get_Counters78Array), 255);
    EXPECT_EQ(SlotOf(&I::get_TripDriverID), 262);
    EXPECT_EQ(SlotOf(&I::set_CarExPropertyValue), 268);
    EXPECT_EQ(SlotOf(&I::get_CurrentAltitude), 278);
    EXPECT_EQ(SlotOf(&I::get_CurrentTime), 282);
    EXPECT_EQ(SlotOf(&I::ReceiveOnlineData), 283);
    EXPECT_EQ(SlotOf(&I::set_FieldsList), 287);
    EXPECT_EQ(SlotOf(&I::WaitForFieldsComputingEx), 289);
    EXPECT_EQ(SlotOf(&I::get_FieldsComputingTotalPercents), 290);
}

TEST(Contract, EveryRowOfTheTableIsTheSlotOfItsMember) {
    int checked = 0;
#define NVX_CHECK_READ(slot, name, type)                                                                               \
    EXPECT_EQ(SlotOf(&I::get_##name), slot) << "get_" #name;                                                           \
    ++checked;
#define NVX_CHECK_WRITE(slot, name, type)                                                                              \
    EXPECT_EQ(SlotOf(&I::set_##name), slot) << "set_" #name;                                                           \
    ++checked;
#define NVX_CHECK_METHOD(slot, name, params, args)                                                                     \
    EXPECT_EQ(SlotOf(&I::name), slot) << #name;                                                                        \
    ++checked;
    NAVILONIX_MEMBERS(NVX_CHECK_READ, NVX_CHECK_WRITE, NVX_CHECK_METHOD)
    EXPECT_EQ(checked, 284);
}

TEST(Contract, HasTheMemberCountsOfTheServer) {
    int reads = 0, writes = 0, methods = 0;
    for (const TMemberInfo& m : kNavilonixMembers) {
        reads += m.kind == TMemberKind::Read;
        writes += m.kind == TMemberKind::Write;
        methods += m.kind == TMemberKind::Method;
    }
    EXPECT_EQ(reads, 228);
    EXPECT_EQ(writes, 23);
    EXPECT_EQ(methods, 33);
    EXPECT_EQ(kNavilonixMembers.front().slot, 7);
    EXPECT_EQ(kNavilonixMembers.back().slot, 290);
}

TEST(Contract, DescribesParametersByNameAndType) {
    const TMemberInfo* start = FindNavilonixMember("StartComputing");
    ASSERT_NE(start, nullptr);
    ASSERT_EQ(start->paramCount, 6);
    EXPECT_EQ(start->params[0].name, "GroupFile");
    EXPECT_EQ(start->params[1].type, TMemberType::Long);
    EXPECT_EQ(start->params[5].name, "SplitTrips");
    const TMemberInfo* exportTrack = FindNavilonixMember(136);
    ASSERT_NE(exportTrack, nullptr);
    EXPECT_EQ(exportTrack->name, "ExportTrackToFile");
    EXPECT_EQ(exportTrack->paramCount, 10);
    EXPECT_EQ(exportTrack->params[9].type, TMemberType::Long);
    const TMemberInfo* read = FindNavilonixMember("get_CarLatitude");
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->property, "CarLatitude");
    EXPECT_EQ(read->params[0].type, TMemberType::Double);
    EXPECT_EQ(FindNavilonixMember(6), nullptr);
    EXPECT_EQ(FindNavilonixMember(291), nullptr);
    EXPECT_EQ(FindNavilonixMember("ShowApplication")->paramCount, 0);
}

TEST(Contract, EventsCarryTheirDispatchIdentifiers) {
    EXPECT_EQ(DISPID_OnChangeCarsLists, 201);
    EXPECT_EQ(DISPID_OnEndFieldsComputing, 206);
    EXPECT_STREQ(kNavilonixEvents[2].name, "OnCloseServer");
    EXPECT_EQ(kNavilonixEvents[2].dispId, 203);
}

} // namespace
