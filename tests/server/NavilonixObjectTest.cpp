#include "platform/ole/SafeArray.h"
#include "platform/rtl/DateTimeFormat.h"
#include "platform/rtl/FormatSettings.h"
#include "server/ObjectSupport.h"
#include "server/core/CheckPointFile.h"
#include "server/core/FileUtil.h"
#include "server/core/GroupFile.h"
#include "server/core/RecordStore.h"
#include "tests/server/ObjectFixture.h"

#include <cmath>
#include <fstream>
#include <sys/stat.h>

using namespace navilonix::server;
using navilonix::server::testing::ObjectTest;
using O = NavilonixObject;

TEST_F(ObjectTest, GroupsAndVehiclesAreWalkedWithOneBasedCursors) {
    ASSERT_EQ(readLong(&O::get_GroupsNum), 4);
    std::vector<std::string> files;
    long vehicles = 0;
    for (LONG g = 1; g <= 4; ++g) {
        ASSERT_EQ(server().set_GroupIndex(g), S_OK);
        files.push_back(readText(&O::get_GroupFileName));
        const LONG cars = readLong(&O::get_GroupCarsNum);
        for (LONG c = 1; c <= cars; ++c) {
            ASSERT_EQ(server().set_CarIndex(c), S_OK);
            EXPECT_GT(readLong(&O::get_CarDevice), 0);
            ++vehicles;
        }
    }
    EXPECT_EQ(files, (std::vector<std::string>{"cargo.grp", "reserve.grp", "service.grp", "taxi.grp"}));
    EXPECT_EQ(vehicles, 12);
}

TEST_F(ObjectTest, IndexWritesOutOfRangeAreIgnored) {
    server().set_GroupIndex(3);
    server().set_CarIndex(2);
    EXPECT_NE(server().set_GroupIndex(0), S_OK);
    EXPECT_NE(server().set_GroupIndex(5), S_OK);
    EXPECT_NE(server().set_CarIndex(-1), S_OK);
    EXPECT_NE(server().set_CarIndex(5), S_OK);
    EXPECT_EQ(readLong(&O::get_GroupIndex), 3);
    EXPECT_EQ(readLong(&O::get_CarIndex), 2);
    EXPECT_EQ(readText(&O::get_GroupFileName), "service.grp");
}

TEST_F(ObjectTest, AnUnknownGroupFileLeavesNoCurrentGroupAndEmptyValues) {
    EXPECT_EQ(server().SetGroupIndexByFileName(BStr("TAXI.GRP").get()), S_OK); // file names ignore case
    EXPECT_EQ(readLong(&O::get_GroupCarsNum), 4);
    EXPECT_EQ(server().SetGroupIndexByFileName(BStr("nosuch.grp").get()), E_INVALIDARG);
    EXPECT_EQ(readLong(&O::get_GroupCarsNum), 0);
    EXPECT_EQ(readText(&O::get_GroupName), "");
    EXPECT_EQ(readLong(&O::get_CarDevice), 0);
    EXPECT_EQ(readText(&O::get_CarModel), "");
    EXPECT_EQ(readDouble(&O::get_CarLatitude), NoCoordinate);
    EXPECT_EQ(readLong(&O::get_CarFlags), NoFlags);
    EXPECT_EQ(server().SetGroupIndexByFileName(BStr("reserve.grp").get()), S_OK);
    EXPECT_EQ(readLong(&O::get_GroupCarsNum), 0);
    EXPECT_EQ(readLong(&O::get_CarIndex), 0);
}

TEST_F(ObjectTest, OnlineTextsReadBackAsTimesAndMarkersMarkMissingData) {
    server().SetGroupIndexByFileName(BStr("taxi.grp").get());
    server().SetCarIndexByDevice(25001);
    EXPECT_EQ(readText(&O::get_CarParkTime), "0:04:30");
    const std::string last = readText(&O::get_CarLastTime);
    EXPECT_TRUE(parseDateTime(last, TextFormat{})) << last;
    EXPECT_EQ(last, "01.09.2009 05:15:00");

    server().SetCarIndexByDevice(17);
    EXPECT_EQ(readDouble(&O::get_CarLatitude), NoCoordinate);
    EXPECT_EQ(readLong(&O::get_CarFlags), NoFlags);
    EXPECT_EQ(readText(&O::get_CarLastATime), "");
    EXPECT_EQ(readText(&O::get_CarModel), "");
    EXPECT_EQ(readLong(&O::get_CarSensor1), -1);

    server().SetGroupIndexByFileName(BStr("cargo.grp").get());
    server().SetCarIndexByDevice(21998);
    EXPECT_EQ(readLong(&O::get_CarFlags), 3);
    EXPECT_EQ(readText(&O::get_CarParkTime), "2:00:00");
}

TEST_F(ObjectTest, TextsFollowTheLocalesConventions) {
    server().setTextFormat(TextFormat{DateOrder::MonthDayYear, '/', ':'});
    server().SetGroupIndexByFileName(BStr("taxi.grp").get());
    server().SetCarIndexByDevice(25001);
    EXPECT_EQ(readText(&O::get_CarLastTime), "09/01/2009 05:15:00");
}

TEST_F(ObjectTest, CheckPointsAreAddedChangedAndDeletedThroughTheCursor) {
    EXPECT_EQ(readLong(&O::get_CheckPointsNum), 0);
    EXPECT_EQ(readLong(&O::get_CheckPointIndex), 0);
    EXPECT_EQ(readText(&O::get_CheckPointName), "");
    EXPECT_EQ(server().set_CheckPointName(BStr("x").get()), E_UNEXPECTED);
    for (const char* name : {"A", "B", "C"})
        ASSERT_EQ(server().AddCheckPoint(BStr(name).get(), BStr("addr").get(), BStr("7").get(), 55.0, 37.0, 100), S_OK);
    EXPECT_EQ(readLong(&O::get_CheckPointsNum), 3);
    EXPECT_EQ(readLong(&O::get_CheckPointIndex), 3); // the new one is current
    EXPECT_EQ(server().AddCheckPoint(BStr("bad").get(), nullptr, nullptr, 91.0, 37.0, 100), E_INVALIDARG);
    EXPECT_EQ(server().AddCheckPoint(BStr("bad").get(), nullptr, nullptr, 55.0, 37.0, 0), E_INVALIDARG);
    EXPECT_EQ(readLong(&O::get_CheckPointsNum), 3);

    server().set_CheckPointIndex(2);
    server().set_CheckPointName(BStr("B2").get());
    EXPECT_EQ(server().set_CheckPointLatitude(-91.0), E_INVALIDARG);
    server().set_CheckPointRadius(250);
    EXPECT_EQ(server().set_CheckPointIndex(4), S_FALSE);
    EXPECT_EQ(readText(&O::get_CheckPointName), "B2");
    EXPECT_EQ(readLong(&O::get_CheckPointRadius), 250);
    EXPECT_EQ(readDouble(&O::get_CheckPointLatitude), 55.0);

    ASSERT_EQ(server().DeleteCheckPoint(), S_OK);
    EXPECT_EQ(readLong(&O::get_CheckPointIndex), 2);
    EXPECT_EQ(readText(&O::get_CheckPointName), "C");
    ASSERT_EQ(server().DeleteCheckPoint(), S_OK);
    EXPECT_EQ(readLong(&O::get_CheckPointIndex), 1);
    EXPECT_EQ(readText(&O::get_CheckPointName), "A");
    server().ClearCheckPoints();
    EXPECT_EQ(readLong(&O::get_CheckPointsNum), 0);
    EXPECT_EQ(readLong(&O::get_CheckPointIndex), 0);
    EXPECT_EQ(server().DeleteCheckPoint(), E_UNEXPECTED);
}

TEST_F(ObjectTest, TheCheckPointAtCoordinatesIsTheNearestWhoseCircleHoldsThem) {
    server().AddCheckPoint(BStr("Big").get(), nullptr, nullptr, 55.0000, 37.0, 1000);
    server().AddCheckPoint(BStr("Small").get(), nullptr, nullptr, 55.0050, 37.0, 200);
    server().AddCheckPoint(BStr("Far").get(), nullptr, nullptr, 56.0, 37.0, 200);
    server().SetCurrentCoords(55.0045, 37.0); // inside Big (500 m) and Small (56 m)
    EXPECT_EQ(readLong(&O::get_CurrentCheckPointIndex), 2);
    server().SetCurrentCoords(54.9980, 37.0);
    EXPECT_EQ(readLong(&O::get_CurrentCheckPointIndex), 1);
    server().SetCurrentCoords(10.0, 10.0);
    EXPECT_EQ(readLong(&O::get_CurrentCheckPointIndex), 0);
    // Coordinates that are no numbers match nothing and change nothing.
    server().SetCurrentCoords(55.0045, 37.0);
    for (const double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
        EXPECT_EQ(server().SetCurrentCoords(bad, 37.0), E_INVALIDARG);
        EXPECT_EQ(server().SetCurrentCoords(55.0, bad), E_INVALIDARG);
    }
    EXPECT_EQ(readLong(&O::get_CurrentCheckPointIndex), 2);
}

TEST_F(ObjectTest, CheckPointListsLoadAndSaveByBareNameAndKeepTheFilesZones) {
    ASSERT_EQ(server().LoadChPFromFile(BStr("Москва").get()), S_OK);
    const LONG loaded = readLong(&O::get_CheckPointsNum);
    EXPECT_GT(loaded, 5);
    EXPECT_EQ(readLong(&O::get_CheckPointIndex), 1);
    server().DeleteCheckPoint();
    ::chmod((paths().points() / "Москва.chp").c_str(), 0600); // a private list stays private
    ASSERT_EQ(server().SaveChPToFile(BStr("Москва").get()), S_OK);
    struct stat saved {};
    ASSERT_EQ(::stat((paths().points() / "Москва.chp").c_str(), &saved), 0);
    EXPECT_EQ(saved.st_mode & 0777, 0600u);
    const CheckPointList file = readCheckPointFile(paths().points() / "Москва.chp", nullptr);
    EXPECT_EQ(static_cast<LONG>(file.points.size()), loaded - 1);
    EXPECT_EQ(file.zones.size(), 3u);

    ASSERT_EQ(server().SaveChPToFile(BStr("Новый").get()), S_OK);
    server().ClearCheckPoints();
    ASSERT_EQ(server().LoadChPFromFile(BStr("Новый").get()), S_OK);
    EXPECT_EQ(readLong(&O::get_CheckPointsNum), loaded - 1);
}

TEST_F(ObjectTest, ListNamesThatLeaveThePointsFolderAreRefused) {
    server().AddCheckPoint(BStr("A").get(), nullptr, nullptr, 55.0, 37.0, 100);
    for (const char* name : {"../Groups/taxi", "/tmp/x", "a/b", "..", ""}) {
        EXPECT_EQ(server().SaveChPToFile(BStr(name).get()), HRESULT_FROM_WIN32(ErrorInvalidName)) << name;
        EXPECT_EQ(server().LoadChPFromFile(BStr(name).get()), HRESULT_FROM_WIN32(ErrorInvalidName)) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(paths().groups() / "taxi.chp"));
    EXPECT_EQ(server().LoadChPFromFile(BStr("missing").get()), HRESULT_FROM_WIN32(ErrorFileNotFound));
    EXPECT_EQ(readLong(&O::get_CheckPointsNum), 1); // a failed load keeps the list
}

TEST_F(ObjectTest, VehicleParametersAreStoredInTheGroupFileAndAnnounced) {
    ASSERT_EQ(server().SetCarChPParameters(BStr("taxi.grp").get(), 25001, 0, BStr("Базы").get(), 1, 7, 1, 5, 30,
                                           BStr("Москва").get()),
              S_OK);
    EXPECT_EQ(eventCount(DISPID_OnChangeParameters), 1u);
    const Group group = parseGroupFile(readWholeFile(paths().groups() / "taxi.grp"), nullptr);
    const auto it =
        std::find_if(group.vehicles.begin(), group.vehicles.end(), [](const Vehicle& v) { return v.device == 25001; });
    ASSERT_NE(it, group.vehicles.end());
    EXPECT_EQ(it->chp.checkPointsFile, "Базы");
    EXPECT_TRUE(it->chp.callOnPark);
    EXPECT_EQ(it->chp.parkMinutes, 7);
    EXPECT_EQ(it->chp.sensorNumber, 5);
    EXPECT_EQ(it->chp.sensorSeconds, 30);

    server().SetGroupIndexByFileName(BStr("taxi.grp").get());
    server().SetCarIndexByDevice(25001);
    EXPECT_EQ(readText(&O::get_CarCheckPointsFile), "Базы");
    // The server's own write is no change on disk.
    EXPECT_FALSE(server().checkGroupFiles());
    EXPECT_EQ(eventCount(DISPID_OnChangeCarsLists), 0u);

    EXPECT_EQ(server().SetCarChPParameters(BStr("taxi.grp").get(), 99999, 0, nullptr, 0, 5, 0, 1, 0, nullptr),
              E_INVALIDARG);
    EXPECT_EQ(server().SetCarChPParameters(BStr("taxi.grp").get(), 25001, 0, nullptr, 0, 5, 0, 9, 0, nullptr),
              E_INVALIDARG);
    EXPECT_EQ(
        server().SetCarChPParameters(BStr("taxi.grp").get(), 25001, 0, BStr("../x").get(), 0, 5, 0, 1, 0, nullptr),
        E_INVALIDARG);
    EXPECT_EQ(eventCount(DISPID_OnChangeParameters), 1u);
}

TEST_F(ObjectTest, GroupFilesChangedOnDiskAreRereadAndAnnounced) {
    {
        std::ofstream out(paths().groups() / "extra.grp");
        out << "[Group]\nName=Extra\n[Vehicle]\nDevice=777\nModel=Test\n";
    }
    // A corrupt file is reported and skipped; nothing else is lost.
    {
        std::ofstream out(paths().groups() / "broken.grp");
        out << "[Vehicle]\nDevice=oops\n";
    }
    EXPECT_TRUE(server().checkGroupFiles());
    EXPECT_EQ(eventCount(DISPID_OnChangeCarsLists), 1u);
    EXPECT_EQ(readLong(&O::get_GroupsNum), 6);
    EXPECT_EQ(server().SetGroupIndexByFileName(BStr("extra.grp").get()), S_OK);
    EXPECT_EQ(readLong(&O::get_CarDevice), 777);
    server().SetGroupIndexByFileName(BStr("broken.grp").get());
    EXPECT_EQ(readLong(&O::get_GroupCarsNum), 0);
    EXPECT_TRUE(std::any_of(host_.lines.begin(), host_.lines.end(),
                            [](const std::string& l) { return l.find("broken.grp") != std::string::npos; }));
    EXPECT_FALSE(server().checkGroupFiles());
    EXPECT_EQ(eventCount(DISPID_OnChangeCarsLists), 1u);
}

TEST_F(ObjectTest, OnlineDataIsAnsweredAfterTheCallWithFreshData) {
    server().SetGroupIndexByFileName(BStr("taxi.grp").get());
    server().SetCarIndexByDevice(21305);
    const std::string before = readText(&O::get_CarLastTime);
    const double latitude = readDouble(&O::get_CarLatitude);
    ASSERT_EQ(server().ReceiveOnlineData(21305), S_OK);
    EXPECT_EQ(eventCount(DISPID_OnReceiveOnlineData), 0u); // not within the call
    server().processPendingWork();
    EXPECT_EQ(eventCount(DISPID_OnReceiveOnlineData), 1u);
    EXPECT_NE(readText(&O::get_CarLastTime), before);
    EXPECT_NE(readDouble(&O::get_CarLatitude), latitude); // it moves
    // The answer joins the archive.
    const auto stored = RecordStore(paths().tracks()).last(21305);
    ASSERT_TRUE(stored);
    EXPECT_EQ(formatDateTime(stored->time, TextFormat{}), readText(&O::get_CarLastTime));
    EXPECT_TRUE(std::filesystem::is_symlink(paths().tracks() / "0021305" / "2009-08.nxr"));
    EXPECT_EQ(server().ReceiveOnlineData(424242), E_INVALIDARG);
    server().processPendingWork();
    EXPECT_EQ(eventCount(DISPID_OnReceiveOnlineData), 1u);
}

TEST_F(ObjectTest, TheServersReceiverPositionOrItsMarkers) {
    EXPECT_NEAR(readDouble(&O::get_CurrentLatitude), 55.7763, 1e-9);
    EXPECT_NEAR(readDouble(&O::get_CurrentAltitude), 152.0, 1e-9);
    EXPECT_FALSE(readText(&O::get_CurrentTime).empty());

    std::filesystem::remove(paths().receiver());
    const auto bare = NavilonixObject::create(NavilonixObject::Options{paths(), nullptr, {}, false});
    DOUBLE latitude = 0;
    DOUBLE altitude = 0;
    BStr time;
    bare->get_CurrentLatitude(&latitude);
    bare->get_CurrentAltitude(&altitude);
    bare->get_CurrentTime(time.out());
    EXPECT_EQ(latitude, NoCoordinate);
    EXPECT_EQ(altitude, NoAltitude);
    EXPECT_EQ(time.utf8(), "");
}

TEST_F(ObjectTest, WindowCommandsReachTheHost) {
    server().ShowApplication();
    server().HideApplication();
    EXPECT_EQ(server().GoToCarLastPosition(BStr("taxi.grp").get(), 21305), S_OK);
    EXPECT_EQ(server().GoToCarLastTrack(BStr("taxi.grp").get(), 21305), S_OK);
    EXPECT_EQ(host_.shows, 1);
    EXPECT_EQ(host_.hides, 1);
    EXPECT_EQ(host_.positionOf, 21305);
    EXPECT_EQ(host_.trackOf, 21305);
    EXPECT_GT(host_.trackPoints, 100u);
    EXPECT_EQ(server().GoToCarLastPosition(BStr("cargo.grp").get(), 21305), E_INVALIDARG);
    EXPECT_EQ(server().GoToCarLastTrack(BStr("taxi.grp").get(), 17), S_FALSE); // no records
}

TEST_F(ObjectTest, EventSinksThatLeftAreForgottenAndUnadviseStopsEvents) {
    RecordingSink gone;
    gone.answer = RPC_S_SERVER_UNAVAILABLE_HR;
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(server().FindConnectionPoint(DIID_INavilonixAutomationEvents, point.out()), S_OK);
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(&gone, &cookie), S_OK);
    EXPECT_EQ(server().sinkCount(), 2u);
    server().raiseEvent(DISPID_OnChangeCarsLists);
    EXPECT_EQ(server().sinkCount(), 1u);
    EXPECT_EQ(gone.refCount, 1u);
    EXPECT_EQ(point->Unadvise(cookie), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point->Unadvise(cookie_), S_OK);
    server().raiseEvent(DISPID_OnChangeCarsLists);
    EXPECT_EQ(sink_.dispIds(), std::vector<DISPID>{DISPID_OnChangeCarsLists});
    IConnectionPoint* other = nullptr;
    EXPECT_EQ(server().FindConnectionPoint(IID_IDispatch, &other), CONNECT_E_NOCONNECTION);
}

TEST_F(ObjectTest, MembersWithoutArgumentsRefuseThemClearlyInsteadOfBeingMissing) {
    EXPECT_EQ(server().ExportListToFile(nullptr, nullptr, nullptr, 0, 0), HRESULT_FROM_WIN32(ErrorInvalidName));
    VARIANT v;
    v.vt = VT_I4;
    EXPECT_EQ(server().get_TrackCrdsArray(&v), S_OK);
    EXPECT_EQ(v.vt, VT_ARRAY | VT_R8);
    VariantClear(&v);
    DISPID id = 0;
    BStr name("groupsnum");
    LPOLESTR names[] = {name.get()};
    EXPECT_EQ(server().GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    EXPECT_EQ(id, 8);
}

TEST_F(ObjectTest, TimeTextsReadBackWithTheConsolesLocaleParsing) {
    for (const TFormatSettings& settings :
         {TFormatSettings::Russian(), TFormatSettings::English(), TFormatSettings::Invariant()}) {
        server().setTextFormat(textFormatFrom(settings));
        server().SetGroupIndexByFileName(BStr("taxi.grp").get());
        server().SetCarIndexByDevice(25001);
        TDateTime last = 0;
        const std::string text = readText(&O::get_CarLastTime);
        ASSERT_TRUE(TryStrToDateTime(text, last, settings)) << text << " " << settings.ShortDateFormat;
        EXPECT_NEAR(last, EncodeDateTime(2009, 9, 1, 5, 15, 0, 0), 1e-6) << text;
        TDateTime park = 0;
        const std::string parkText = readText(&O::get_CarParkTime);
        ASSERT_TRUE(TryStrToTime(parkText, park, settings)) << parkText;
        EXPECT_NEAR(park, 270.0 / 86400.0, 1e-6) << parkText;
    }
}

TEST_F(ObjectTest, TheLogQuotesTheStartAndLengthOfLongTextsOnOneLine) {
    // A megabyte of lines: logged whole, it would cost the window seconds and the log its one line per call.
    std::string huge;
    while (huge.size() < 1'000'000)
        huge += "строка\n";
    const std::string length = "(" + std::to_string(huge.size()) + " bytes)";
    const BStr text(huge);
    server().SetGroupIndexByFileName(text.get());
    EXPECT_EQ(server().LoadChPFromFile(text.get()), HRESULT_FROM_WIN32(ErrorInvalidName));
    EXPECT_EQ(server().SaveChPToFile(text.get()), HRESULT_FROM_WIN32(ErrorInvalidName));
    server().AddCheckPoint(text.get(), text.get(), text.get(), 1e300, 37.0, 100);
    server().AddCheckPoint(BStr("A").get(), nullptr, nullptr, 55.0, 37.0, 100);
    server().set_CheckPointName(text.get());
    server().SetCarChPParameters(text.get(), 21305, 0, text.get(), 0, 5, 0, 1, 0, text.get());
    server().set_PropertyName(text.get());
    server().set_PropertyValue(text.get());
    server().GoToCarLastPosition(text.get(), 21305);
    server().set_TripEntriesListTypeName(text.get());
    server().SetCrdEntryIndexByTime(text.get());
    server().ExportTrackToFile(text.get(), 1, nullptr, nullptr, 0, 0, -1, 0, 0, 0);
    server().StartComputing(text.get(), 21305, text.get(), text.get(), text.get(), 1);
    waitForEnd();

    std::size_t withLength = 0;
    for (const std::string& line : host_.lines) {
        EXPECT_LT(line.size(), 1000u) << line.substr(0, 200);
        EXPECT_EQ(line.find('\n'), std::string::npos);
        withLength += line.find(length) != std::string::npos;
    }
    EXPECT_GE(withLength, 14u);
    EXPECT_TRUE(std::any_of(host_.lines.begin(), host_.lines.end(), [](const std::string& l) {
        return l.starts_with("LoadChPFromFile(\"строка\\nстрока") && l.find("refused") != std::string::npos;
    }));
    // A number too large for fixed notation is logged in exponent form, not as whatever its buffer held.
    EXPECT_TRUE(std::any_of(host_.lines.begin(), host_.lines.end(),
                            [](const std::string& l) { return l.find(", 1e+300, 37, 100)") != std::string::npos; }));
}

TEST_F(ObjectTest, TemporaryFilesOfWritesKilledHalfWayAreRemovedAtStart) {
    const std::vector<std::filesystem::path> stale = {
        paths().groups() / ".taxi.grp.a1B2c3", paths().points() / ".Москва.chp.Zz9Yy8",
        paths().root / ".Online.txt.000aaa", paths().tracks() / "0021305" / ".2009-05.nxr.Q1w2E3"};
    for (const auto& file : stale)
        writeFileAtomically(file, "half a file");
    writeFileAtomically(paths().points() / ".hidden.txt.a1B2c3", "not ours");
    const auto fresh = NavilonixObject::create(NavilonixObject::Options{paths(), &host_, {}, false});
    for (const auto& file : stale)
        EXPECT_FALSE(std::filesystem::exists(file)) << file;
    EXPECT_TRUE(std::filesystem::exists(paths().points() / ".hidden.txt.a1B2c3"));
    EXPECT_TRUE(std::any_of(host_.lines.begin(), host_.lines.end(),
                            [](const std::string& l) { return l.find(".taxi.grp.a1B2c3") != std::string::npos; }));
}

TEST_F(ObjectTest, CorruptFilesAreReportedAndSkippedWithoutHarm) {
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 7919 + 13) % 256);
    writeFileAtomically(paths().groups() / "garbage.grp", garbage);
    writeFileAtomically(paths().points() / "garbage.chp", garbage);
    writeFileAtomically(paths().online(), garbage);
    writeFileAtomically(paths().receiver(), garbage);
    // A device's records of its own, damaged, beside the shared archive.
    const auto damagedFolder = folder_.path() / "damaged";
    std::filesystem::create_directories(damagedFolder / "Tracks" / "0021305");
    writeFileAtomically(damagedFolder / "Tracks" / "0021305" / "2009-08.nxr", garbage);
    std::filesystem::copy(paths().groups(), damagedFolder / "Groups");

    const auto fresh = NavilonixObject::create(NavilonixObject::Options{paths(), &host_, {}, false});
    LONG groups = 0;
    fresh->get_GroupsNum(&groups);
    EXPECT_EQ(groups, 5); // the garbage file is a group without vehicles
    ASSERT_EQ(fresh->LoadChPFromFile(BStr("garbage").get()), S_OK);
    LONG points = -1;
    fresh->get_CheckPointsNum(&points);
    EXPECT_EQ(points, 0);
    DOUBLE latitude = 0;
    fresh->get_CurrentLatitude(&latitude);
    EXPECT_EQ(latitude, NoCoordinate);

    const auto damaged = NavilonixObject::create(NavilonixObject::Options{WorkPaths{damagedFolder}, &host_, {}, false});
    EXPECT_EQ(damaged->WaitForComputing(BStr("taxi.grp").get(), 21305, BStr("01.08.2009 00:00:00").get(),
                                        BStr("01.09.2009 00:00:00").get(), BStr("GSM").get(), 1),
              S_OK);
    LONG trips = -1;
    damaged->get_TripsNum(&trips);
    EXPECT_EQ(trips, 0);
    EXPECT_TRUE(std::any_of(host_.lines.begin(), host_.lines.end(),
                            [](const std::string& l) { return l.find("not a record file") != std::string::npos; }));
    EXPECT_TRUE(std::any_of(host_.lines.begin(), host_.lines.end(),
                            [](const std::string& l) { return l.find("Online.txt") != std::string::npos; }));
}
