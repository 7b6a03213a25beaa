#include "server/core/DemoData.h"
#include "server/core/CheckPointFile.h"
#include "server/core/FileUtil.h"
#include "server/core/GroupFile.h"
#include "server/core/RecordStore.h"
#include "server/core/TimeText.h"
#include "server/core/TripComputer.h"
#include "tests/server/TempFolder.h"

#include <gtest/gtest.h>

using namespace navilonix::server;
using navilonix::server::testing::TempFolder;

namespace {

// The demo work directory is written once for all tests of this file.
class DemoData : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new TempFolder;
        createDemoData(WorkPaths{folder_->path()});
    }
    static void TearDownTestSuite() {
        delete folder_;
        folder_ = nullptr;
    }
    static WorkPaths paths() { return WorkPaths{folder_->path()}; }

    static std::vector<Group> groups() {
        std::vector<std::string> problems;
        auto result = readGroups(paths().groups(), &problems);
        EXPECT_TRUE(problems.empty());
        return result;
    }

    static const Vehicle* find(const std::vector<Group>& groups, long device) {
        for (const Group& g : groups)
            for (const Vehicle& v : g.vehicles)
                if (v.device == device)
                    return &v;
        return nullptr;
    }

    static TempFolder* folder_;
};

TempFolder* DemoData::folder_ = nullptr;

} // namespace

TEST_F(DemoData, TheFleetCoversWhatTheConsoleMustShow) {
    const auto all = groups();
    ASSERT_GE(all.size(), 3u);
    std::size_t vehicles = 0;
    bool emptyGroup = false, withoutModel = false, modelWithoutNumber = false, low = false, high = false;
    for (const Group& g : all) {
        vehicles += g.vehicles.size();
        emptyGroup |= g.vehicles.empty();
        for (const Vehicle& v : g.vehicles) {
            withoutModel |= v.model.empty();
            modelWithoutNumber |= !v.model.empty() && v.number.empty();
            low |= v.device < 21999;
            high |= v.device > 21999;
        }
    }
    EXPECT_GE(vehicles, 12u);
    EXPECT_TRUE(emptyGroup);
    EXPECT_TRUE(withoutModel);
    EXPECT_TRUE(modelWithoutNumber);
    EXPECT_TRUE(low && high);
    EXPECT_FALSE(needsDemoData(paths()));
}

TEST_F(DemoData, OnlineStatesIncludeMissingPositionMissingInputsMovingAndParked) {
    const auto states = parseOnlineStates(readWholeFile(paths().online()), nullptr);
    bool noPosition = false, noFlags = false, moving = false, minutes = false, hours = false;
    for (const auto& [device, s] : states) {
        noPosition |= s.latitude == NoCoordinate;
        noFlags |= s.flags == NoFlags;
        moving |= s.speed > 0 && s.parkSeconds == 0;
        minutes |= s.parkSeconds > 0 && s.parkSeconds < 3600;
        hours |= s.parkSeconds > 3600;
    }
    EXPECT_EQ(states.size(), 12u);
    EXPECT_TRUE(noPosition && noFlags && moving && minutes && hours);
}

TEST_F(DemoData, IsTheSameEveryTime) {
    const DemoOptions options{1241136000, 3};
    const auto a = demoRecords(30010, options);
    const auto b = demoRecords(30010, options);
    ASSERT_EQ(a.size(), b.size());
    ASSERT_FALSE(a.empty());
    for (std::size_t i = 0; i < a.size(); i += 97) {
        EXPECT_EQ(a[i].time, b[i].time);
        EXPECT_EQ(a[i].latitude, b[i].latitude);
    }
    EXPECT_TRUE(demoRecords(17, options).empty());
}

TEST_F(DemoData, AMonthOfADemoTruckHasEveryKindOfEvent) {
    const auto all = groups();
    const Vehicle* truck = find(all, 30010);
    ASSERT_NE(truck, nullptr);
    const RecordStore store(paths().tracks());
    const UnixTime from = fromUtcCivil(CivilTime{2009, 5, 1});
    const UnixTime to = fromUtcCivil(CivilTime{2009, 6, 1});
    std::vector<std::string> problems;
    ComputeInput input;
    input.records = store.read(truck->device, from, to, &problems);
    EXPECT_TRUE(problems.empty());
    const CheckPointList list = readCheckPointFile(paths().points() / (truck->chp.checkPointsFile + ".chp"), nullptr);
    input.checkPoints = list.points;
    input.zones = list.zones;
    input.settings = truck->trips;
    input.split = false;
    const ComputeResult result = computeTrips(std::move(input));
    ASSERT_EQ(result.trips.size(), 1u);
    const Trip& month = result.trips[0];
    for (EntryList kind : {EntryList::CheckPointPassages, EntryList::CheckPointStages, EntryList::ZonePassages,
                           EntryList::ZoneStages, EntryList::Parks, EntryList::SignalGaps, EntryList::PowerOff,
                           EntryList::OverSpeed, EntryList::Tank1, EntryList::Sensor2})
        EXPECT_FALSE(month.entries[static_cast<std::size_t>(kind)].empty()) << static_cast<int>(kind);
    EXPECT_GT(month.summary.distance, 31 * 50000.0);
    EXPECT_GT(month.summary.fuel[0], 0.0);
}

TEST_F(DemoData, SplittingGivesSeveralTripsADay) {
    const auto all = groups();
    const Vehicle* taxi = find(all, 21305);
    ASSERT_NE(taxi, nullptr);
    const RecordStore store(paths().tracks());
    const UnixTime from = fromUtcCivil(CivilTime{2009, 8, 3});
    ComputeInput input;
    input.records = store.read(taxi->device, from, from + 86400, nullptr);
    input.settings = taxi->trips;
    const ComputeResult result = computeTrips(std::move(input));
    EXPECT_GE(result.trips.size(), 2u);
    EXPECT_LE(result.trips.size(), 6u);
    for (const Trip& trip : result.trips) {
        EXPECT_GT(trip.summary.distance, 1000.0);
        EXPECT_GT(trip.summary.averageSpeed, 10.0);
        EXPECT_FALSE(trip.track.empty());
    }
}
