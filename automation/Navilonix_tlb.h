// The automation contract of the tracking server: identifiers, the member table, INavilonixAutomation and
// INavilonixAutomationEvents. The member table below is the one place where a member is written; the
// interface, the wrapper's forwarding operations, the D-Bus proxy and stub, introspection and the test fake
// are all expanded from it.
#pragma once

#include "platform/ole/Unknown.h"

namespace ole {
struct TypeDescription;
}

#include <array>
#include <cstddef>
#include <string_view>

extern const GUID LIBID_Navilonix;
extern const IID IID_INavilonixAutomation;
extern const IID DIID_INavilonixAutomationEvents;
extern const CLSID CLSID_NavilonixAutomation;

// One row per vtable slot of INavilonixAutomation, in slot order (slots 0-6 belong to IUnknown and IDispatch):
//   READ(slot, Property, Type)              -> get_Property(Type* Value)
//   WRITE(slot, Property, Type)             -> set_Property(Type Value)
//   METHOD(slot, Name, (parameters), (arguments))
// Type is one of LONG (the contract's 32-bit "long"), DOUBLE, BSTR, VARIANT.
// clang-format off
#define NAVILONIX_MEMBERS(READ, WRITE, METHOD) \
    READ(7, CurrentVersion, BSTR) \
    READ(8, GroupsNum, LONG) \
    READ(9, GroupIndex, LONG) \
    WRITE(10, GroupIndex, LONG) \
    READ(11, GroupCarsNum, LONG) \
    READ(12, CarIndex, LONG) \
    WRITE(13, CarIndex, LONG) \
    READ(14, GroupName, BSTR) \
    READ(15, GroupAddress, BSTR) \
    READ(16, GroupContacts, BSTR) \
    READ(17, CarDevice, LONG) \
    READ(18, CarModel, BSTR) \
    READ(19, CarNumber, BSTR) \
    READ(20, CarAlias, BSTR) \
    READ(21, CarTelNum, BSTR) \
    READ(22, CarLatitude, DOUBLE) \
    READ(23, CarLongitude, DOUBLE) \
    READ(24, CarCourse, DOUBLE) \
    READ(25, CarSpeed, DOUBLE) \
    READ(26, CarParkTime, BSTR) \
    READ(27, CarLastTime, BSTR) \
    READ(28, CarLastATime, BSTR) \
    READ(29, CarFlags, LONG) \
    READ(30, CarCheckPointsFile, BSTR) \
    METHOD(31, ShowApplication, (), ()) \
    METHOD(32, HideApplication, (), ()) \
    METHOD(33, GoToCarLastPosition, (BSTR GroupFile, LONG Device), (GroupFile, Device)) \
    METHOD(34, GoToCarLastTrack, (BSTR GroupFile, LONG Device), (GroupFile, Device)) \
    READ(35, CheckPointsNum, LONG) \
    READ(36, CheckPointIndex, LONG) \
    WRITE(37, CheckPointIndex, LONG) \
    READ(38, CheckPointName, BSTR) \
    WRITE(39, CheckPointName, BSTR) \
    READ(40, CheckPointAddress, BSTR) \
    WRITE(41, CheckPointAddress, BSTR) \
    READ(42, CheckPointID, BSTR) \
    WRITE(43, CheckPointID, BSTR) \
    READ(44, CheckPointLatitude, DOUBLE) \
    WRITE(45, CheckPointLatitude, DOUBLE) \
    READ(46, CheckPointLongitude, DOUBLE) \
    WRITE(47, CheckPointLongitude, DOUBLE) \
    READ(48, CheckPointRadius, LONG) \
    WRITE(49, CheckPointRadius, LONG) \
    READ(50, CheckPointFixTime, LONG) \
    WRITE(51, CheckPointFixTime, LONG) \
    READ(52, CheckPointWeekDays, LONG) \
    WRITE(53, CheckPointWeekDays, LONG) \
    METHOD(54, LoadChPFromFile, (BSTR FileName), (FileName)) \
    METHOD(55, SaveChPToFile, (BSTR FileName), (FileName)) \
    METHOD(56, ClearCheckPoints, (), ()) \
    METHOD(57, AddCheckPoint, (BSTR Name, BSTR Address, BSTR ID, DOUBLE Latitude, DOUBLE Longitude, LONG Radius), (Name, Address, ID, Latitude, Longitude, Radius)) \
    METHOD(58, AddCheckPointEx, (BSTR Param1, BSTR Param2, BSTR Param3, DOUBLE Param4, DOUBLE Param5, LONG Param6, LONG Param7, LONG Param8), (Param1, Param2, Param3, Param4, Param5, Param6, Param7, Param8)) \
    READ(59, WorkDirectory, BSTR) \
    METHOD(60, DeleteCheckPoint, (), ()) \
    READ(61, GroupFileName, BSTR) \
    METHOD(62, SetCarChPParameters, (BSTR GroupFile, LONG Device, LONG UseDefaults, BSTR CheckPointsFile, LONG CallOnPark, LONG ParkMinutes, LONG CallOnSensor, LONG SensorNumber, LONG SensorSeconds, BSTR GeoZonesFile), (GroupFile, Device, UseDefaults, CheckPointsFile, CallOnPark, ParkMinutes, CallOnSensor, SensorNumber, SensorSeconds, GeoZonesFile)) \
    METHOD(63, SetGroupIndexByFileName, (BSTR GroupFile), (GroupFile)) \
    METHOD(64, StartComputing, (BSTR GroupFile, LONG Device, BSTR PeriodStart, BSTR PeriodEnd, BSTR DataSource, LONG SplitTrips), (GroupFile, Device, PeriodStart, PeriodEnd, DataSource, SplitTrips)) \
    READ(65, ComputingBusy, LONG) \
    READ(66, ComputingPercents, LONG) \
    READ(67, ComputingCheck, LONG) \
    READ(68, TripsNum, LONG) \
    READ(69, TripIndex, LONG) \
    WRITE(70, TripIndex, LONG) \
    READ(71, TripCase, LONG) \
    READ(72, TripStartName, BSTR) \
    READ(73, TripStartAddress, BSTR) \
    READ(74, TripStartIDP, BSTR) \
    READ(75, TripStartLongitude, DOUBLE) \
    READ(76, TripStartLatitude, DOUBLE) \
    READ(77, TripStartRealTime, BSTR) \
    READ(78, TripStartRegTime, BSTR) \
    READ(79, TripEndName, BSTR) \
    READ(80, TripEndAddress, BSTR) \
    READ(81, TripEndIDP, BSTR) \
    READ(82, TripEndLongitude, DOUBLE) \
    READ(83, TripEndLatitude, DOUBLE) \
    READ(84, TripEndRealTime, BSTR) \
    READ(85, TripEndRegTime, BSTR) \
    READ(86, TripDistance, DOUBLE) \
    READ(87, TripRealCont, BSTR) \
    READ(88, TripRegCont, BSTR) \
    READ(89, TripMoveCont, BSTR) \
    READ(90, TripParkCont, BSTR) \
    READ(91, TripMaxSpeed, DOUBLE) \
    READ(92, TripAverSpeed, DOUBLE) \
    READ(93, TripMotor1Hours, DOUBLE) \
    READ(94, TripMotor1MoveHours, DOUBLE) \
    READ(95, TripMotor1ParkHours, DOUBLE) \
    READ(96, TripMotor1Fuel, DOUBLE) \
    READ(97, TripMotor2Hours, DOUBLE) \
    READ(98, TripMotor2MoveHours, DOUBLE) \
    READ(99, TripMotor2ParkHours, DOUBLE) \
    READ(100, TripMotor2Fuel, DOUBLE) \
    READ(101, TripEntriesNum, LONG) \
    READ(102, EntryIndex, LONG) \
    WRITE(103, EntryIndex, LONG) \
    READ(104, EntryID, LONG) \
    READ(105, EntryStartName, BSTR) \
    READ(106, EntryStartAddress, BSTR) \
    READ(107, EntryStartIDP, BSTR) \
    READ(108, EntryStartLongitude, DOUBLE) \
    READ(109, EntryStartLatitude, DOUBLE) \
    READ(110, EntryStartRealTime, BSTR) \
    READ(111, EntryEndName, BSTR) \
    READ(112, EntryEndAddress, BSTR) \
    READ(113, EntryEndIDP, BSTR) \
    READ(114, EntryEndLongitude, DOUBLE) \
    READ(115, EntryEndLatitude, DOUBLE) \
    READ(116, EntryEndRealTime, BSTR) \
    READ(117, EntryDistance, DOUBLE) \
    READ(118, EntryParkCntr, LONG) \
    READ(119, EntryRealCont, BSTR) \
    READ(120, EntryMoveCont, BSTR) \
    READ(121, EntryParkCont, BSTR) \
    READ(122, EntryMaxSpeed, DOUBLE) \
    READ(123, EntryAverSpeed, DOUBLE) \
    READ(124, EntryMotor1Hours, DOUBLE) \
    READ(125, EntryMotor1MoveHours, DOUBLE) \
    READ(126, EntryMotor1ParkHours, DOUBLE) \
    READ(127, EntryMotor1Fuel, DOUBLE) \
    READ(128, EntryMotor2Hours, DOUBLE) \
    READ(129, EntryMotor2MoveHours, DOUBLE) \
    READ(130, EntryMotor2ParkHours, DOUBLE) \
    READ(131, EntryMotor2Fuel, DOUBLE) \
    METHOD(132, WaitForComputing, (BSTR Param1, LONG Param2, BSTR Param3, BSTR Param4, BSTR Param5, LONG Param6), (Param1, Param2, Param3, Param4, Param5, Param6)) \
    READ(133, ComputingTimeout, LONG) \
    WRITE(134, ComputingTimeout, LONG) \
    METHOD(135, EnterPassword, (BSTR Param1), (Param1)) \
    METHOD(136, ExportTrackToFile, (BSTR FileName, LONG Param2, BSTR Param3, BSTR Param4, LONG Param5, LONG Param6, LONG Param7, LONG Param8, LONG Param9, LONG Param10), (FileName, Param2, Param3, Param4, Param5, Param6, Param7, Param8, Param9, Param10)) \
    READ(137, TripCrdEntriesNum, LONG) \
    READ(138, CrdEntryIndex, LONG) \
    WRITE(139, CrdEntryIndex, LONG) \
    READ(140, CrdEntryTime, BSTR) \
    READ(141, CrdEntryLatitude, DOUBLE) \
    READ(142, CrdEntryLongitude, DOUBLE) \
    READ(143, CrdEntryDistance, DOUBLE) \
    READ(144, CrdEntrySpeed, DOUBLE) \
    READ(145, CrdEntrySensor1, LONG) \
    READ(146, CrdEntrySensor2, LONG) \
    READ(147, CrdEntrySensor3, LONG) \
    READ(148, CrdEntrySensor4, LONG) \
    READ(149, CrdEntrySensor5, LONG) \
    READ(150, CrdEntrySensor6, LONG) \
    METHOD(151, SetCrdEntryIndexByTime, (BSTR Param1), (Param1)) \
    READ(152, CarHandle, BSTR) \
    READ(153, TrackCrdsStr, BSTR) \
    READ(154, CarRoute, BSTR) \
    READ(155, CarDrivers, BSTR) \
    METHOD(156, ExportListToFile, (BSTR Param1, BSTR Param2, BSTR Param3, LONG Param4, LONG Param5), (Param1, Param2, Param3, Param4, Param5)) \
    READ(157, CrdEntryFlags, LONG) \
    READ(158, CarSensor1, LONG) \
    READ(159, CarSensor2, LONG) \
    READ(160, CarSensor3, LONG) \
    READ(161, CarSensor4, LONG) \
    READ(162, CarSensor5, LONG) \
    READ(163, CarSensor6, LONG) \
    READ(164, TripSensor1Cntr, LONG) \
    READ(165, TripSensor1Distance, DOUBLE) \
    READ(166, TripSensor1Cont, BSTR) \
    READ(167, TripSensor2Cntr, LONG) \
    READ(168, TripSensor2Distance, DOUBLE) \
    READ(169, TripSensor2Cont, BSTR) \
    READ(170, TripSensor3Cntr, LONG) \
    READ(171, TripSensor3Distance, DOUBLE) \
    READ(172, TripSensor3Cont, BSTR) \
    READ(173, TripSensor4Cntr, LONG) \
    READ(174, TripSensor4Distance, DOUBLE) \
    READ(175, TripSensor4Cont, BSTR) \
    READ(176, TripSensor5Cntr, LONG) \
    READ(177, TripSensor5Distance, DOUBLE) \
    READ(178, TripSensor5Cont, BSTR) \
    READ(179, TripSensor6Cntr, LONG) \
    READ(180, TripSensor6Distance, DOUBLE) \
    READ(181, TripSensor6Cont, BSTR) \
    READ(182, PropertyName, BSTR) \
    WRITE(183, PropertyName, BSTR) \
    READ(184, PropertyValue, BSTR) \
    WRITE(185, PropertyValue, BSTR) \
    METHOD(186, WaitForInitializing, (), ()) \
    METHOD(187, SetCarIndexByDevice, (LONG Device), (Device)) \
    METHOD(188, ExportDataToFile, (BSTR Param1, LONG Param2, LONG Param3), (Param1, Param2, Param3)) \
    READ(189, TripEntriesListTypeName, BSTR) \
    WRITE(190, TripEntriesListTypeName, BSTR) \
    READ(191, TripEntriesListKindName, BSTR) \
    WRITE(192, TripEntriesListKindName, BSTR) \
    READ(193, PropertyCheck, LONG) \
    READ(194, CrdEntryDriverID, BSTR) \
    READ(195, TrackCrdsArray, VARIANT) \
    READ(196, CurrentGroupFileName, BSTR) \
    READ(197, CurrentCarDevice, LONG) \
    READ(198, CurrentTripIndex, LONG) \
    METHOD(199, Sleep, (LONG Param1), (Param1)) \
    READ(200, EntryStartType, BSTR) \
    READ(201, EntryStartChannel, BSTR) \
    READ(202, EntryStartPlanTime, BSTR) \
    READ(203, EntryEndType, BSTR) \
    READ(204, EntryEndChannel, BSTR) \
    READ(205, EntryEndPlanTime, BSTR) \
    READ(206, EntryPlanCont, BSTR) \
    READ(207, TripTank1StartLevel, DOUBLE) \
    READ(208, TripTank1EndLevel, DOUBLE) \
    READ(209, TripTank2StartLevel, DOUBLE) \
    READ(210, TripTank2EndLevel, DOUBLE) \
    READ(211, EntryTank1StartLevel, DOUBLE) \
    READ(212, EntryTank1EndLevel, DOUBLE) \
    READ(213, EntryTank2StartLevel, DOUBLE) \
    READ(214, EntryTank2EndLevel, DOUBLE) \
    READ(215, CrdEntryLLS1, LONG) \
    READ(216, CrdEntryLLS2, LONG) \
    READ(217, CrdEntryLLS3, LONG) \
    READ(218, CrdEntryLLS4, LONG) \
    READ(219, CrdEntryLLS5, LONG) \
    READ(220, CrdEntryLLS6, LONG) \
    READ(221, CrdEntryLLS7, LONG) \
    READ(222, CrdEntryLLS8, LONG) \
    READ(223, TripCntr12EntriesNum, LONG) \
    READ(224, TripCntr34EntriesNum, LONG) \
    READ(225, Counters12Array, VARIANT) \
    READ(226, Counters34Array, VARIANT) \
    READ(227, TripRouteName, BSTR) \
    METHOD(228, ExportCarsToFile, (BSTR Param1, BSTR Param2, LONG Param3, BSTR Param4, BSTR Param5, LONG Param6, LONG Param7, LONG Param8), (Param1, Param2, Param3, Param4, Param5, Param6, Param7, Param8)) \
    READ(229, CrdEntrySensor7, LONG) \
    READ(230, CrdEntrySensor8, LONG) \
    READ(231, CrdEntryChPName, BSTR) \
    READ(232, CrdEntryChPAddress, BSTR) \
    READ(233, CrdEntryChPID, BSTR) \
    METHOD(234, SetCurrentCoords, (DOUBLE Latitude, DOUBLE Longitude), (Latitude, Longitude)) \
    READ(235, CurrentCheckPointIndex, LONG) \
    READ(236, CarSensor7, LONG) \
    READ(237, CarSensor8, LONG) \
    READ(238, TripTank3StartLevel, DOUBLE) \
    READ(239, TripTank3EndLevel, DOUBLE) \
    READ(240, TripTank4StartLevel, DOUBLE) \
    READ(241, TripTank4EndLevel, DOUBLE) \
    READ(242, TripSensor7Cntr, LONG) \
    READ(243, TripSensor7Distance, DOUBLE) \
    READ(244, TripSensor7Cont, BSTR) \
    READ(245, TripSensor8Cntr, LONG) \
    READ(246, TripSensor8Distance, DOUBLE) \
    READ(247, TripSensor8Cont, BSTR) \
    READ(248, TripCntr56EntriesNum, LONG) \
    READ(249, TripCntr78EntriesNum, LONG) \
    READ(250, EntryTank3StartLevel, DOUBLE) \
    READ(251, EntryTank3EndLevel, DOUBLE) \
    READ(252, EntryTank4StartLevel, DOUBLE) \
    READ(253, EntryTank4EndLevel, DOUBLE) \
    READ(254, Counters56Array, VARIANT) \
    READ(255, Counters78Array, VARIANT) \
    READ(256, CarGeoZonesFile, BSTR) \
    READ(257, CrdEntryGeoZName, BSTR) \
    READ(258, CrdEntryGeoZAddress, BSTR) \
    READ(259, CrdEntryGeoZID, BSTR) \
    READ(260, CrdEntryDriverName, BSTR) \
    READ(261, TripDriverName, BSTR) \
    READ(262, TripDriverID, BSTR) \
    METHOD(263, CmnExPropertySet, (BSTR Param1), (Param1)) \
    METHOD(264, CarExPropertySet, (BSTR Param1, LONG Param2), (Param1, Param2)) \
    READ(265, CmnExPropertyValue, BSTR) \
    WRITE(266, CmnExPropertyValue, BSTR) \
    READ(267, CarExPropertyValue, BSTR) \
    WRITE(268, CarExPropertyValue, BSTR) \
    METHOD(269, StartFieldsComputing, (BSTR Param1, LONG Param2, BSTR Param3, BSTR Param4, BSTR Param5, DOUBLE Param6, LONG Param7), (Param1, Param2, Param3, Param4, Param5, Param6, Param7)) \
    METHOD(270, WaitForFieldsComputing, (BSTR Param1, LONG Param2, BSTR Param3, BSTR Param4, BSTR Param5, DOUBLE Param6, LONG Param7), (Param1, Param2, Param3, Param4, Param5, Param6, Param7)) \
    READ(271, FieldsComputingTimeout, LONG) \
    WRITE(272, FieldsComputingTimeout, LONG) \
    READ(273, FieldsComputingBusy, LONG) \
    READ(274, FieldsComputingPercents, LONG) \
    READ(275, FieldsComputingCheck, LONG) \
    READ(276, CurrentLatitude, DOUBLE) \
    READ(277, CurrentLongitude, DOUBLE) \
    READ(278, CurrentAltitude, DOUBLE) \
    READ(279, CarPlacement, BSTR) \
    METHOD(280, ShowAddress, (BSTR Param1, BSTR Param2, BSTR Param3), (Param1, Param2, Param3)) \
    METHOD(281, FindNearestAddress, (DOUBLE Param1, DOUBLE Param2, LONG Param3), (Param1, Param2, Param3)) \
    READ(282, CurrentTime, BSTR) \
    METHOD(283, ReceiveOnlineData, (LONG Device), (Device)) \
    READ(284, TripImplementNames, BSTR) \
    READ(285, TripImplementIDs, BSTR) \
    READ(286, FieldsList, BSTR) \
    WRITE(287, FieldsList, BSTR) \
    METHOD(288, StartFieldsComputingEx, (LONG Param1, BSTR Param2, BSTR Param3, BSTR Param4, BSTR Param5, BSTR Param6, BSTR Param7, BSTR Param8), (Param1, Param2, Param3, Param4, Param5, Param6, Param7, Param8)) \
    METHOD(289, WaitForFieldsComputingEx, (LONG Param1, BSTR Param2, BSTR Param3, BSTR Param4, BSTR Param5, BSTR Param6, BSTR Param7, BSTR Param8), (Param1, Param2, Param3, Param4, Param5, Param6, Param7, Param8)) \
    READ(290, FieldsComputingTotalPercents, LONG)
// clang-format on

// The count and the slot range follow from the rows (slots 0-6 belong to IUnknown and IDispatch).
#define NVX_COUNT_ROW(...) +1
constexpr std::size_t kNavilonixMemberCount = 0 NAVILONIX_MEMBERS(NVX_COUNT_ROW, NVX_COUNT_ROW, NVX_COUNT_ROW);
#undef NVX_COUNT_ROW
constexpr int kNavilonixFirstSlot = 7;
constexpr int kNavilonixLastSlot = kNavilonixFirstSlot + static_cast<int>(kNavilonixMemberCount) - 1;

struct INavilonixAutomation : IDispatch {
#define NVX_DECLARE_READ(slot, name, type) STDMETHOD(get_##name)(type * Value) = 0;
#define NVX_DECLARE_WRITE(slot, name, type) STDMETHOD(set_##name)(type Value) = 0;
#define NVX_DECLARE_METHOD(slot, name, params, args) STDMETHOD(name) params = 0;
    NAVILONIX_MEMBERS(NVX_DECLARE_READ, NVX_DECLARE_WRITE, NVX_DECLARE_METHOD)
#undef NVX_DECLARE_READ
#undef NVX_DECLARE_WRITE
#undef NVX_DECLARE_METHOD

protected:
    ~INavilonixAutomation() = default;
};

// The outgoing events: a dispatch-only interface; the server calls IDispatch::Invoke on the client's sink.
struct INavilonixAutomationEvents : IDispatch {
protected:
    ~INavilonixAutomationEvents() = default;
};

enum NavilonixEventDispId : DISPID {
    DISPID_OnChangeCarsLists = 201,
    DISPID_OnReceiveOnlineData = 202,
    DISPID_OnCloseServer = 203,
    DISPID_OnChangeParameters = 204,
    DISPID_OnEndComputing = 205,
    DISPID_OnEndFieldsComputing = 206,
};

struct TNavilonixEventInfo {
    DISPID dispId;
    const char* name;
};
extern const TNavilonixEventInfo kNavilonixEvents[6];

template <> struct InterfaceId<INavilonixAutomation> {
    static const IID& Get() { return IID_INavilonixAutomation; }
};

// Descriptions of the members, in slot order, for whatever needs them at run time (introspection, logs).
enum class TMemberKind { Read, Write, Method };
enum class TMemberType { Long, Double, Bstr, Variant };

struct TMemberParam {
    TMemberType type;
    std::string_view name;
};

struct TMemberInfo {
    int slot;
    TMemberKind kind;
    std::string_view name;     // the wrapper's name: get_X, set_X or the method's name
    std::string_view property; // the property's name, or the method's name
    int paramCount;            // 1 for reads and writes
    TMemberParam params[10];
};

extern const std::array<TMemberInfo, kNavilonixMemberCount> kNavilonixMembers;
// The member of a slot, or null outside 7..290; the member of a wrapper name, or null.
const TMemberInfo* FindNavilonixMember(int slot);
const TMemberInfo* FindNavilonixMember(std::string_view name);
const char* MemberTypeName(TMemberType type); // "long", "double", "BSTR", "VARIANT"

// The late-binding descriptions, made from the member table and the event list. A member's dispatch identifier
// is the slot of its first row (a property's read accessor), shared by its write accessor; the events keep 201-206.
const ole::TypeDescription& NavilonixTypeDescription();
const ole::TypeDescription& NavilonixEventsDescription();
// The dispatch identifier of a slot's member.
DISPID NavilonixDispId(int slot);
