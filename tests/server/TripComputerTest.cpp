#include "server/core/TripComputer.h"
#include "tests/server/TrackBuilder.h"

#include <gtest/gtest.h>

using namespace navilonix::server;
using navilonix::server::testing::northOf;
using navilonix::server::testing::OriginLongitude;
using navilonix::server::testing::TrackBuilder;

namespace {

TripSettings handSettings() {
    TripSettings s;
    s.minParkSeconds = 600;
    s.minTripSeconds = 60;
    s.minTripMeters = 200;
    s.gapAsStopSeconds = 900;
    s.stopSeconds = 120;
    s.signalGapSeconds = 120;
    s.moveSpeed = 3.0;
    s.speedLimit = 90.0;
    return s;
}

ComputeResult compute(const TrackBuilder& track, bool split, std::vector<CheckPoint> points = {},
                      ChPParameters calls = {}) {
    ComputeInput input;
    input.records = track.records();
    input.settings = handSettings();
    input.split = split;
    input.checkPoints = std::move(points);
    input.calls = calls;
    return computeTrips(std::move(input));
}

const std::vector<Entry>& list(const Trip& trip, EntryList which) {
    return trip.entries[static_cast<std::size_t>(which)];
}

CheckPoint pointAt(const char* name, double meters, long radius) {
    CheckPoint p;
    p.name = name;
    p.id = name;
    p.latitude = northOf(meters);
    p.longitude = OriginLongitude;
    p.radius = radius;
    return p;
}

// 30 records driving at 36 km/h (100 m each), 700 s standing, 20 records driving.
TrackBuilder driveStandDrive() {
    TrackBuilder track;
    track.drive(30, 36).stand(700).drive(20, 36);
    return track;
}

} // namespace

TEST(TripSplitting, ALongStopSplitsTheRecordsIntoTwoTrips) {
    const TrackBuilder track = driveStandDrive();
    const UnixTime t0 = track.records().front().time;
    const ComputeResult result = compute(track, true);
    ASSERT_EQ(result.trips.size(), 2u);

    const Summary& first = result.trips[0].summary;
    EXPECT_EQ(first.startTime, t0);
    EXPECT_EQ(first.endTime, t0 + 300); // arrives where the stop begins
    EXPECT_NEAR(first.distance, 3000.0, 0.01);
    EXPECT_EQ(first.moveSeconds, 300);
    EXPECT_EQ(first.parkSeconds, 0);
    EXPECT_NEAR(first.averageSpeed, 36.0, 1e-6);
    EXPECT_FLOAT_EQ(first.maxSpeed, 36.0);

    const Summary& second = result.trips[1].summary;
    EXPECT_EQ(second.startTime, t0 + 1000); // leaves when the stop ends
    EXPECT_EQ(second.endTime, t0 + 1190);
    EXPECT_NEAR(second.distance, 1900.0, 0.01);
    EXPECT_EQ(second.moveSeconds, 190);
    EXPECT_TRUE(list(result.trips[0], EntryList::Parks).empty());
}

TEST(TripSplitting, WithoutSplittingThePeriodIsOneTripWithItsPark) {
    const TrackBuilder track = driveStandDrive();
    const UnixTime t0 = track.records().front().time;
    const ComputeResult result = compute(track, false);
    ASSERT_EQ(result.trips.size(), 1u);
    const Summary& s = result.trips[0].summary;
    EXPECT_EQ(s.realSeconds(), 1190);
    EXPECT_EQ(s.moveSeconds, 490);
    EXPECT_EQ(s.parkSeconds, 700);
    EXPECT_NEAR(s.distance, 4900.0, 0.01);
    EXPECT_NEAR(s.averageSpeed, 36.0, 1e-6);
    EXPECT_EQ(s.parkCount, 1);

    const auto& parks = list(result.trips[0], EntryList::Parks);
    ASSERT_EQ(parks.size(), 1u);
    EXPECT_EQ(parks[0].summary.startTime, t0 + 300);
    EXPECT_EQ(parks[0].summary.endTime, t0 + 1000);
    EXPECT_EQ(parks[0].summary.realSeconds(), 700);
    EXPECT_EQ(parks[0].id, 1);
    EXPECT_EQ(result.trips[0].track.size(), 120u);
}

TEST(TripSplitting, AStopShorterThanTheMinimalParkKeepsOneTripAndIsListedAsPark) {
    TrackBuilder track;
    track.drive(30, 36).stand(300).drive(20, 36);
    const ComputeResult result = compute(track, true);
    ASSERT_EQ(result.trips.size(), 1u);
    const auto& parks = list(result.trips[0], EntryList::Parks);
    ASSERT_EQ(parks.size(), 1u);
    EXPECT_EQ(parks[0].summary.realSeconds(), 300);
}

TEST(TripSplitting, StopsBelowTheParkThresholdAreNotListed) {
    TrackBuilder track;
    track.drive(30, 36).stand(100).drive(20, 36);
    const ComputeResult result = compute(track, false);
    ASSERT_EQ(result.trips.size(), 1u);
    EXPECT_TRUE(list(result.trips[0], EntryList::Parks).empty());
    EXPECT_EQ(result.trips[0].summary.parkSeconds, 100);
}

TEST(TripSplitting, TripsShorterThanTheMinimalDistanceAreDropped) {
    TrackBuilder track;
    // The hop in the middle lasts 60 s, long enough, but covers only 6 * 25 m = 150 m.
    track.drive(30, 36).stand(700).drive(6, 9).stand(700).drive(30, 36);
    const ComputeResult result = compute(track, true);
    ASSERT_EQ(result.trips.size(), 2u);
    EXPECT_NEAR(result.trips[0].summary.distance, 3000.0, 0.01);
    EXPECT_NEAR(result.trips[1].summary.distance, 2900.0, 0.01);
}

TEST(TripSplitting, AVehicleThatNeverMovesHasNoTripsWhenSplitAndNoAverageSpeedOtherwise) {
    TrackBuilder track;
    track.stand(3600, 60);
    EXPECT_TRUE(compute(track, true).trips.empty());
    const ComputeResult whole = compute(track, false);
    ASSERT_EQ(whole.trips.size(), 1u);
    EXPECT_EQ(whole.trips[0].summary.averageSpeed, -1.0);
    EXPECT_EQ(whole.trips[0].summary.distance, 0.0);
}

TEST(TripSplitting, NoRecordsGiveNoTrips) {
    EXPECT_TRUE(compute(TrackBuilder{}, false).trips.empty());
}

TEST(SignalGaps, AGapLongerThanTheStopThresholdSplitsAndIsListedWithoutSplitting) {
    TrackBuilder track;
    track.drive(30, 36).silence(1000).drive(20, 36);
    const UnixTime t0 = track.records().front().time;
    const ComputeResult split = compute(track, true);
    ASSERT_EQ(split.trips.size(), 2u);
    EXPECT_EQ(split.trips[0].summary.endTime, t0 + 290);
    EXPECT_EQ(split.trips[1].summary.startTime, t0 + 1300);

    const ComputeResult whole = compute(track, false);
    ASSERT_EQ(whole.trips.size(), 1u);
    const auto& gaps = list(whole.trips[0], EntryList::SignalGaps);
    ASSERT_EQ(gaps.size(), 1u);
    EXPECT_EQ(gaps[0].summary.startTime, t0 + 290);
    EXPECT_EQ(gaps[0].summary.endTime, t0 + 1300);
    // The gap counts as standing: 29 + 19 moving steps of 10 s.
    EXPECT_EQ(whole.trips[0].summary.moveSeconds, 480);
    EXPECT_NEAR(whole.trips[0].summary.distance, 4900.0, 0.01);
}

TEST(SignalGaps, AShortGapWhileDrivingStaysInsideTheTrip) {
    TrackBuilder track;
    track.drive(10, 36).silence(120).drive(10, 36);
    const ComputeResult result = compute(track, true);
    ASSERT_EQ(result.trips.size(), 1u);
    const auto& gaps = list(result.trips[0], EntryList::SignalGaps);
    ASSERT_EQ(gaps.size(), 1u);
    EXPECT_EQ(gaps[0].summary.realSeconds(), 130);
}

TEST(OverSpeed, ARunAboveTheLimitLastsUntilTheSpeedDropsBack) {
    TrackBuilder track;
    track.drive(5, 36).drive(3, 108).drive(5, 36);
    const UnixTime t0 = track.records().front().time;
    const ComputeResult result = compute(track, false);
    const auto& speeding = list(result.trips[0], EntryList::OverSpeed);
    ASSERT_EQ(speeding.size(), 1u);
    EXPECT_EQ(speeding[0].summary.startTime, t0 + 50);
    EXPECT_EQ(speeding[0].summary.endTime, t0 + 80);
    EXPECT_NEAR(speeding[0].summary.distance, 900.0, 0.01);
    EXPECT_FLOAT_EQ(speeding[0].summary.maxSpeed, 108.0);
    EXPECT_FLOAT_EQ(result.trips[0].summary.maxSpeed, 108.0);
}

TEST(OverSpeed, ExactlyTheLimitIsNotSpeeding) {
    TrackBuilder track;
    track.drive(5, 90);
    EXPECT_TRUE(list(compute(track, false).trips[0], EntryList::OverSpeed).empty());
}

TEST(CheckPointPassages, ThePassageRunsFromTheFirstToTheLastRecordInsideTheCircle) {
    TrackBuilder track;
    track.drive(40, 36);
    const UnixTime t0 = track.records().front().time;
    // Records lie every 100 m; the circle around 1000 m with radius 150 m holds those at 900, 1000 and 1100 m.
    const ComputeResult result = compute(track, false, {pointAt("A", 1000, 150), pointAt("B", 3000, 150)});
    const auto& passages = list(result.trips[0], EntryList::CheckPointPassages);
    ASSERT_EQ(passages.size(), 2u);
    EXPECT_EQ(passages[0].start.name, "A");
    EXPECT_EQ(passages[0].id, 1);
    EXPECT_EQ(passages[0].summary.startTime, t0 + 90);
    EXPECT_EQ(passages[0].summary.endTime, t0 + 110);
    EXPECT_NEAR(passages[0].summary.distance, 200.0, 0.01);
    EXPECT_EQ(passages[1].start.name, "B");
    EXPECT_EQ(passages[1].id, 2);

    const auto& stages = list(result.trips[0], EntryList::CheckPointStages);
    ASSERT_EQ(stages.size(), 1u);
    EXPECT_EQ(stages[0].start.name, "A");
    EXPECT_EQ(stages[0].end.name, "B");
    EXPECT_EQ(stages[0].summary.startTime, t0 + 110);
    EXPECT_EQ(stages[0].summary.endTime, t0 + 290);
    EXPECT_NEAR(stages[0].summary.distance, 1800.0, 0.01);
}

TEST(CheckPointPassages, ACircleBetweenTwoRecordsIsNotPassed) {
    TrackBuilder track;
    track.drive(40, 36);
    const ComputeResult result = compute(track, false, {pointAt("A", 1050, 40)});
    EXPECT_TRUE(list(result.trips[0], EntryList::CheckPointPassages).empty());
}

TEST(CheckPointPassages, CallOnParkKeepsOnlyPassagesWithALongEnoughStop) {
    TrackBuilder track;
    track.drive(10, 36).stand(400).drive(20, 36).stand(120).drive(10, 36);
    // A at 1000 m holds the 400 s stop, B at 3000 m the 120 s stop.
    ChPParameters calls;
    calls.callOnPark = true;
    calls.parkMinutes = 5;
    const ComputeResult result = compute(track, false, {pointAt("A", 1000, 50), pointAt("B", 3000, 50)}, calls);
    const auto& passages = list(result.trips[0], EntryList::CheckPointPassages);
    ASSERT_EQ(passages.size(), 1u);
    EXPECT_EQ(passages[0].start.name, "A");
}

TEST(CheckPointPassages, CallOnSensorNeedsTheSensorOnLongEnoughInside) {
    TrackBuilder track;
    track.drive(10, 36).inputs(0x04).stand(60).inputs(0).stand(60).drive(30, 36).stand(120).drive(5, 36);
    ChPParameters calls;
    calls.callOnSensor = true;
    calls.sensorNumber = 3;
    calls.sensorSeconds = 60;
    const ComputeResult result = compute(track, false, {pointAt("A", 1000, 50), pointAt("B", 4000, 50)}, calls);
    const auto& passages = list(result.trips[0], EntryList::CheckPointPassages);
    ASSERT_EQ(passages.size(), 1u);
    EXPECT_EQ(passages[0].start.name, "A");
}

TEST(Places, EntriesAreNamedAfterTheCheckPointTheyLieInOrTheirCoordinates) {
    TrackBuilder track;
    track.drive(10, 36).stand(300).drive(10, 36);
    const ComputeResult result = compute(track, false, {pointAt("Склад", 1000, 50)});
    const auto& parks = list(result.trips[0], EntryList::Parks);
    ASSERT_EQ(parks.size(), 1u);
    EXPECT_EQ(parks[0].start.name, "Склад");
    EXPECT_EQ(result.trips[0].start.name, "55, 37");
}

TEST(TankEvents, ARefillAndADrainAreListedWithTheirLevels) {
    TrackBuilder track;
    // Driving uses 0.1 l per record; standing, the tank rises 10 l a minute, later falls 3 l a minute.
    track.tank(50, -0.1).drive(20, 36);
    track.tank(48, 10).stand(300, 60);
    track.tank(98, -0.1).drive(20, 36);
    track.tank(96, -3).stand(240, 60);
    track.tank(84, 0).drive(5, 36);
    const ComputeResult result = compute(track, false);
    const auto& events = list(result.trips[0], EntryList::Tank1);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].start.name, "Заправка");
    EXPECT_NEAR(events[0].summary.tankStart[0], 48.0, 1e-4);
    EXPECT_NEAR(events[0].summary.tankEnd[0], 98.0, 1e-4);
    EXPECT_EQ(events[1].start.name, "Слив");
    EXPECT_NEAR(events[1].summary.tankStart[0], 96.0, 1e-4);
    EXPECT_NEAR(events[1].summary.tankEnd[0], 84.0, 1e-4);
    // Used by the motor: 0.1 l per driving step (19 + 1 + 19 + 1 including the steps into the stops), no drain.
    EXPECT_NEAR(result.trips[0].summary.fuel[0], 4.0, 1e-3);
    EXPECT_NEAR(result.trips[0].summary.tankStart[0], 50.0, 1e-4);
    EXPECT_NEAR(result.trips[0].summary.tankEnd[0], 84.0, 1e-4);
}

TEST(TankEvents, SlowConsumptionIsNoEvent) {
    TrackBuilder track;
    track.tank(60, -0.2).drive(100, 36);
    EXPECT_TRUE(list(compute(track, false).trips[0], EntryList::Tank1).empty());
}

TEST(StateLists, SensorPowerAndMotorPeriodsAreMeasured) {
    TrackBuilder track;
    track.drive(5, 36).inputs(0x81).drive(6, 36).inputs(0).drive(5, 36);
    track.status(StatusValidFix).stand(120, 10).status(StatusValidFix | StatusExternalPower).drive(5, 36);
    const UnixTime t0 = track.records().front().time;
    const ComputeResult result = compute(track, false);
    const Trip& trip = result.trips[0];
    for (EntryList sensor : {EntryList::Sensor1, EntryList::Sensor8}) {
        const auto& on = list(trip, sensor);
        ASSERT_EQ(on.size(), 1u);
        EXPECT_EQ(on[0].summary.startTime, t0 + 50);
        EXPECT_EQ(on[0].summary.endTime, t0 + 110);
    }
    EXPECT_TRUE(list(trip, EntryList::Sensor2).empty());
    EXPECT_EQ(trip.sensors[0].count, 1);
    EXPECT_EQ(trip.sensors[0].seconds, 60);
    EXPECT_NEAR(trip.sensors[0].distance, 600.0, 0.01);

    const auto& power = list(trip, EntryList::PowerOff);
    ASSERT_EQ(power.size(), 1u);
    EXPECT_EQ(power[0].summary.startTime, t0 + 160);
    EXPECT_EQ(power[0].summary.endTime, t0 + 280);
    // The motor ran for the 16 steps of the first three drives; standing without the motor bit does not count.
    EXPECT_NEAR(trip.summary.motorHours[0], 160.0 / 3600.0, 1e-9);
    EXPECT_NEAR(trip.summary.motorMoveHours[0], 160.0 / 3600.0, 1e-9);
}

TEST(EntryListNames, TheTwentyTypeAndKindPairsNameTheTwentyLists) {
    EXPECT_EQ(entryListByNames("checkpoints", "points"), EntryList::CheckPointPassages);
    EXPECT_EQ(entryListByNames("checkpoints", "stages"), EntryList::CheckPointStages);
    EXPECT_EQ(entryListByNames("geozones", "zones"), EntryList::ZonePassages);
    EXPECT_EQ(entryListByNames("geozones", "stages"), EntryList::ZoneStages);
    EXPECT_EQ(entryListByNames("parks", "stages"), EntryList::Parks); // a kind left from before is ignored
    EXPECT_EQ(entryListByNames("blinds", ""), EntryList::SignalGaps);
    EXPECT_EQ(entryListByNames("power_off", ""), EntryList::PowerOff);
    EXPECT_EQ(entryListByNames("OVER_SPEED", ""), EntryList::OverSpeed);
    EXPECT_EQ(entryListByNames("tank", "num4"), EntryList::Tank4);
    EXPECT_EQ(entryListByNames("sensor_on", "num8"), EntryList::Sensor8);
    EXPECT_FALSE(entryListByNames("tank", "num5"));
    EXPECT_FALSE(entryListByNames("sensor_on", "num9"));
    EXPECT_FALSE(entryListByNames("checkpoints", "zones"));
    EXPECT_FALSE(entryListByNames("unknown", "points"));
}

TEST(ComputationControl, ProgressRisesToOneHundredAndCancellingStops) {
    TrackBuilder track;
    for (int i = 0; i < 40; ++i)
        track.drive(500, 50).stand(1500, 60);
    ComputeInput input;
    input.records = track.records();
    std::vector<int> seen;
    computeTrips(
        input, [&](int p) { seen.push_back(p); }, nullptr, 10);
    ASSERT_FALSE(seen.empty());
    EXPECT_GE(seen.front(), 10);
    EXPECT_EQ(seen.back(), 100);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_GT(seen.size(), 5u);

    std::atomic<bool> cancel{true};
    EXPECT_THROW(computeTrips(input, {}, &cancel), ComputationCancelled);
}

TEST(ComputationControl, RecordsOutOfOrderAreSortedAndDuplicatesDropped) {
    TrackBuilder track;
    track.drive(30, 36);
    ComputeInput input;
    input.records = track.records();
    std::swap(input.records[3], input.records[17]);
    input.records.push_back(input.records[5]);
    input.split = false;
    const ComputeResult result = computeTrips(input);
    ASSERT_EQ(result.records.size(), 30u);
    EXPECT_NEAR(result.trips[0].summary.distance, 2900.0, 0.01);
}
