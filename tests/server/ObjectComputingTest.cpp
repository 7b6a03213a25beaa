#include "server/ObjectSupport.h"
#include "server/core/FileUtil.h"
#include "server/core/TrackExport.h"
#include "tests/server/ObjectFixture.h"

#include <sys/stat.h>

using namespace navilonix::server;
using navilonix::server::testing::ObjectTest;
using O = NavilonixObject;

namespace {
const char* const Start = "03.08.2009 00:00:00";
const char* const End = "05.08.2009 00:00:00";
} // namespace

TEST_F(ObjectTest, StartComputingReturnsAtOnceAndTheEndIsAnnouncedWithTheTrips) {
    EXPECT_EQ(readLong(&O::get_ComputingBusy), 0);
    ASSERT_EQ(start("taxi.grp", 21305, Start, End), S_OK);
    EXPECT_EQ(readLong(&O::get_ComputingBusy), 1);
    EXPECT_EQ(readLong(&O::get_ComputingCheck), 0);
    EXPECT_TRUE(sink_.events.empty()); // the end comes later, from the main loop
    waitForEnd();
    EXPECT_EQ(eventCount(DISPID_OnEndComputing), 1u);
    EXPECT_EQ(readLong(&O::get_ComputingCheck), 1);
    EXPECT_EQ(readLong(&O::get_ComputingPercents), 0);
    const LONG trips = readLong(&O::get_TripsNum);
    EXPECT_GE(trips, 4);
    EXPECT_EQ(readLong(&O::get_TripIndex), 1);
    EXPECT_EQ(readLong(&O::get_TripCase), 1);
    EXPECT_EQ(readText(&O::get_CurrentGroupFileName), "taxi.grp");
    EXPECT_EQ(readLong(&O::get_CurrentCarDevice), 21305);

    for (LONG t = 1; t <= trips; ++t) {
        ASSERT_EQ(server().set_TripIndex(t), S_OK);
        const auto startTime = parseDateTime(readText(&O::get_TripStartRealTime), TextFormat{});
        const auto endTime = parseDateTime(readText(&O::get_TripEndRealTime), TextFormat{});
        ASSERT_TRUE(startTime && endTime);
        EXPECT_GE(*startTime, parseDateTime(Start, TextFormat{}).value());
        EXPECT_LT(*startTime, *endTime);
        EXPECT_GT(readDouble(&O::get_TripDistance), 500.0);
        EXPECT_GT(readDouble(&O::get_TripAverSpeed), 0.0);
        EXPECT_GE(readDouble(&O::get_TripMaxSpeed), readDouble(&O::get_TripAverSpeed));
        EXPECT_GT(readLong(&O::get_TripCrdEntriesNum), 0);
        const std::string real = readText(&O::get_TripRealCont);
        EXPECT_NE(real.find(':'), std::string::npos);
    }
    EXPECT_EQ(server().set_TripIndex(trips + 1), S_FALSE);
    EXPECT_EQ(readLong(&O::get_TripIndex), trips);
}

TEST_F(ObjectTest, ProgressRisesWhileTheComputationRuns) {
    ASSERT_EQ(start("cargo.grp", 30010, "01.05.2009 00:00:00", "01.09.2009 00:00:00", "USB", 1), S_OK);
    LONG last = 0;
    bool falling = false;
    while (readLong(&O::get_ComputingBusy) == 1) {
        const LONG p = readLong(&O::get_ComputingPercents);
        EXPECT_GE(p, 0);
        EXPECT_LE(p, 100);
        falling |= p < last;
        last = p;
        server().processPendingWork();
    }
    EXPECT_FALSE(falling);
    EXPECT_EQ(readLong(&O::get_ComputingCheck), 1);
}

TEST_F(ObjectTest, BadInputsEndTheComputationWithoutSuccess) {
    struct Case {
        const char* group;
        LONG device;
        const char* from;
        const char* to;
        const char* source;
    };
    const Case cases[] = {
        {"taxi.grp", 21305, "32.08.2009 00:00:00", End, "GSM"},
        {"taxi.grp", 21305, Start, "soon", "GSM"},
        {"taxi.grp", 424242, Start, End, "GSM"},
        {"nosuch.grp", 21305, Start, End, "GSM"},
        {"taxi.grp", 21305, End, Start, "GSM"},
        {"taxi.grp", 21305, Start, Start, "GSM"},
        {"taxi.grp", 21305, Start, End, "radio"},
    };
    std::size_t ends = 0;
    for (const Case& c : cases) {
        ASSERT_EQ(start(c.group, c.device, c.from, c.to, c.source), S_OK);
        waitForEnd();
        EXPECT_EQ(eventCount(DISPID_OnEndComputing), ++ends) << c.from << " " << c.device;
        EXPECT_EQ(readLong(&O::get_ComputingCheck), 0) << c.from << " " << c.device;
        EXPECT_EQ(readLong(&O::get_TripsNum), 0);
    }
}

TEST_F(ObjectTest, APeriodWithoutRecordsSucceedsWithNoTrips) {
    ASSERT_EQ(start("cargo.grp", 30012, Start, End), S_OK);
    waitForEnd();
    EXPECT_EQ(readLong(&O::get_ComputingCheck), 1);
    EXPECT_EQ(readLong(&O::get_TripsNum), 0);
    EXPECT_EQ(readLong(&O::get_TripIndex), 0);
    EXPECT_EQ(readLong(&O::get_TripCrdEntriesNum), 0);
    EXPECT_EQ(readText(&O::get_TripStartRealTime), "");
    EXPECT_EQ(readDouble(&O::get_TripAverSpeed), -1.0);
}

TEST_F(ObjectTest, AStartWhileBusyRestartsWithTheNewInputsAndEndsOnce) {
    ASSERT_EQ(start("cargo.grp", 30010, "01.05.2009 00:00:00", "01.09.2009 00:00:00"), S_OK);
    ASSERT_EQ(start("taxi.grp", 21305, Start, End, "GSM", 0), S_OK);
    waitForEnd();
    EXPECT_EQ(eventCount(DISPID_OnEndComputing), 1u);
    EXPECT_EQ(readLong(&O::get_ComputingCheck), 1);
    EXPECT_EQ(readLong(&O::get_CurrentCarDevice), 21305);
    EXPECT_EQ(readLong(&O::get_TripsNum), 1); // not split
    EXPECT_EQ(readLong(&O::get_TripCase), 0);
}

TEST_F(ObjectTest, WaitForComputingBlocksUntilTheEnd) {
    ASSERT_EQ(server().WaitForComputing(BStr("taxi.grp").get(), 21305, BStr(Start).get(), BStr(End).get(),
                                        BStr("GSM").get(), 1),
              S_OK);
    EXPECT_EQ(readLong(&O::get_ComputingBusy), 0);
    EXPECT_EQ(eventCount(DISPID_OnEndComputing), 1u);
    EXPECT_GT(readLong(&O::get_TripsNum), 0);
    EXPECT_EQ(
        server().WaitForComputing(BStr("taxi.grp").get(), 1, BStr(Start).get(), BStr(End).get(), BStr("GSM").get(), 1),
        E_FAIL);
}

TEST_F(ObjectTest, EntryListsAreChosenByTypeAndKindNames) {
    ASSERT_EQ(start("cargo.grp", 30010, "01.05.2009 00:00:00", "01.06.2009 00:00:00", "GSM", 0), S_OK);
    waitForEnd();
    ASSERT_EQ(readLong(&O::get_TripsNum), 1);
    auto count = [&](const char* type, const char* kind) {
        server().set_TripEntriesListTypeName(BStr(type).get());
        if (kind)
            server().set_TripEntriesListKindName(BStr(kind).get());
        return readLong(&O::get_TripEntriesNum);
    };
    EXPECT_GT(count("checkpoints", "points"), 0);
    EXPECT_GT(count("checkpoints", "stages"), 0);
    EXPECT_GT(count("geozones", "zones"), 0);
    EXPECT_GT(count("parks", nullptr), 0);
    EXPECT_GT(count("blinds", nullptr), 0);
    EXPECT_GT(count("power_off", nullptr), 0);
    EXPECT_GT(count("over_speed", nullptr), 0);
    EXPECT_GT(count("tank", "num1"), 0);
    EXPECT_EQ(count("tank", "num3"), 0);
    EXPECT_GT(count("sensor_on", "num2"), 0);
    EXPECT_EQ(count("nonsense", "num2"), 0);

    // The refills of tank 1: named, with rising levels, the entry cursor 1-based.
    const LONG n = count("tank", "num1");
    bool refill = false;
    for (LONG i = 1; i <= n; ++i) {
        ASSERT_EQ(server().set_EntryIndex(i), S_OK);
        if (readText(&O::get_EntryStartName) == "Заправка") {
            refill = true;
            EXPECT_GT(readDouble(&O::get_EntryTank1EndLevel), readDouble(&O::get_EntryTank1StartLevel));
        }
        EXPECT_FALSE(readText(&O::get_EntryRealCont).empty());
    }
    EXPECT_TRUE(refill);
    EXPECT_EQ(server().set_EntryIndex(n + 1), S_FALSE);
    EXPECT_EQ(readLong(&O::get_EntryIndex), n);

    // Check point passages carry the check point's position in the list as their identifier.
    count("checkpoints", "points");
    server().set_EntryIndex(1);
    EXPECT_GE(readLong(&O::get_EntryID), 1);
    EXPECT_EQ(readText(&O::get_EntryStartName), readText(&O::get_EntryEndName));
}

TEST_F(ObjectTest, TrackPointsAreWalkedByIndexAndByTime) {
    ASSERT_EQ(start("taxi.grp", 21305, Start, End), S_OK);
    waitForEnd();
    const LONG points = readLong(&O::get_TripCrdEntriesNum);
    ASSERT_GT(points, 10);
    ASSERT_EQ(server().set_CrdEntryIndex(10), S_OK);
    const std::string time = readText(&O::get_CrdEntryTime);
    const double distance = readDouble(&O::get_CrdEntryDistance);
    EXPECT_GT(distance, 0.0);
    EXPECT_NE(readDouble(&O::get_CrdEntryLatitude), NoCoordinate);
    server().set_CrdEntryIndex(1);
    EXPECT_EQ(readDouble(&O::get_CrdEntryDistance), 0.0);
    ASSERT_EQ(server().SetCrdEntryIndexByTime(BStr(time).get()), S_OK);
    EXPECT_EQ(readLong(&O::get_CrdEntryIndex), 10);
    EXPECT_EQ(server().SetCrdEntryIndexByTime(BStr("never").get()), E_INVALIDARG);
    EXPECT_EQ(server().set_CrdEntryIndex(points + 1), S_FALSE);
    EXPECT_EQ(readLong(&O::get_CrdEntryIndex), 10);
}

TEST_F(ObjectTest, TheCurrentTripsTrackIsExportedAsPltAndKml) {
    ASSERT_EQ(start("taxi.grp", 21305, Start, End), S_OK);
    waitForEnd();
    server().set_TripIndex(2);
    const LONG points = readLong(&O::get_TripCrdEntriesNum);
    const auto plt = folder_.path() / "Track.plt";
    const auto kml = folder_.path() / "Track.kml";
    auto exportTo = [&](const std::filesystem::path& file) {
        return server().ExportTrackToFile(BStr(file.string()).get(), 1, nullptr, nullptr, 0, 0, -1, 0, 0, 0);
    };
    ASSERT_EQ(exportTo(plt), S_OK);
    ASSERT_EQ(exportTo(kml), S_OK);
    const std::string pltText = readWholeFile(plt);
    EXPECT_EQ(pltText.rfind("OziExplorer Track Point File Version 2.1", 0), 0u);
    EXPECT_NE(pltText.find("\r\n" + std::to_string(points) + "\r\n"), std::string::npos);
    EXPECT_NE(readWholeFile(kml).find("<LineString>"), std::string::npos);

    EXPECT_EQ(exportTo("relative.kml"), HRESULT_FROM_WIN32(ErrorInvalidName));
    EXPECT_EQ(exportTo(folder_.path() / "Track.gpx"), E_INVALIDARG);
    EXPECT_EQ(exportTo(folder_.path() / "missing" / "Track.kml"), HRESULT_FROM_WIN32(ErrorPathNotFound));
    EXPECT_FALSE(std::filesystem::exists(folder_.path() / "Track.gpx"));
}

TEST_F(ObjectTest, AFailedExportKeepsTheExistingFile) {
    ASSERT_EQ(start("taxi.grp", 21305, Start, End), S_OK);
    waitForEnd();
    const auto locked = folder_.path() / "locked";
    std::filesystem::create_directory(locked);
    writeFileAtomically(locked / "Track.kml", "old");
    ::chmod(locked.c_str(), 0555);
    if (::access((locked / "probe").c_str(), F_OK) != 0 && ::geteuid() != 0) {
        EXPECT_EQ(server().ExportTrackToFile(BStr((locked / "Track.kml").string()).get(), 1, nullptr, nullptr, 0, 0, -1,
                                             0, 0, 0),
                  E_ACCESSDENIED);
        EXPECT_EQ(readWholeFile(locked / "Track.kml"), "old");
    }
    ::chmod(locked.c_str(), 0755);
}

TEST_F(ObjectTest, ExportWithoutTripsIsRefused) {
    EXPECT_EQ(server().ExportTrackToFile(BStr((folder_.path() / "t.kml").string()).get(), 1, nullptr, nullptr, 0, 0, -1,
                                         0, 0, 0),
              E_UNEXPECTED);
    EXPECT_FALSE(std::filesystem::exists(folder_.path() / "t.kml"));
}
