#include "server/core/FieldComputer.h"
#include "server/core/Geo.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace navilonix::server;

namespace {

constexpr double Lat0 = 55.0;
constexpr double Lon0 = 37.0;
constexpr double DegreeMeters = EarthRadiusMeters * 3.14159265358979323846 / 180.0;

GeoPoint at(double x, double y) {
    return {Lat0 + y / DegreeMeters, Lon0 + x / (DegreeMeters * std::cos(Lat0 * 3.14159265358979323846 / 180.0))};
}

GeoZone rectangle(const char* name, double x1, double y1, double x2, double y2) {
    return GeoZone{name, "", name, {at(x1, y1), at(x2, y1), at(x2, y2), at(x1, y2)}};
}

// A vehicle driving through the waypoints (metres east and north of the origin) at 5 m/s, one record a second.
class Drive {
public:
    Drive& to(double x, double y, std::uint16_t inputs = 0) {
        const double length = std::hypot(x - x_, y - y_);
        const int steps = std::max(1, static_cast<int>(std::lround(length / 5.0)));
        for (int k = 1; k <= steps; ++k)
            emit(x_ + (x - x_) * k / steps, y_ + (y - y_) * k / steps, 18.0f, inputs);
        x_ = x;
        y_ = y;
        return *this;
    }
    Drive& from(double x, double y) {
        x_ = x;
        y_ = y;
        emit(x, y, 18.0f, 0);
        return *this;
    }
    // Standing still for the seconds, one record every ten seconds.
    Drive& stand(int seconds) {
        for (int s = 10; s <= seconds; s += 10)
            emit(x_, y_, 0.0f, 0, 10);
        return *this;
    }
    std::vector<GpsRecord> records;

private:
    void emit(double x, double y, float speed, std::uint16_t inputs, int step = 1) {
        GpsRecord r;
        time_ += records.empty() ? 0 : step;
        r.time = time_;
        const GeoPoint p = at(x, y);
        r.latitude = p.latitude;
        r.longitude = p.longitude;
        r.speed = speed;
        r.inputs = inputs;
        r.status = StatusValidFix;
        records.push_back(r);
    }
    double x_ = 0.0;
    double y_ = 0.0;
    UnixTime time_ = 1'250'000'000;
};

std::vector<FieldResult> compute(std::vector<GpsRecord> records, std::vector<GeoZone> fields, double width,
                                 int sensor = 0) {
    FieldInput input;
    input.records = std::move(records);
    input.fields = std::move(fields);
    input.width = width;
    input.workSensor = sensor;
    return computeFields(input);
}

} // namespace

TEST(FieldWork, ASquareFieldDrivenInStripsIsCoveredOnceAndTheTurnsOutsideDoNotCount) {
    // A field of 100 x 100 m worked by a 10 m implement in ten strips, turning 20 m beyond each edge.
    Drive d;
    d.from(5, -20);
    for (int strip = 0; strip < 10; ++strip) {
        const double x = 5 + 10 * strip;
        const bool north = strip % 2 == 0;
        d.to(x, north ? 120 : -20);
        if (strip < 9)
            d.to(x + 10, north ? 120 : -20);
    }
    const auto results = compute(d.records, {rectangle("Square", 0, 0, 100, 100)}, 10.0);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].name, "Square");
    EXPECT_NEAR(results[0].area, 10000.0, 100.0);
    EXPECT_NEAR(results[0].distance, 1000.0, 5.0);
    EXPECT_NEAR(results[0].seconds, 200.0, 1.0); // 1000 m at 5 m/s

    // The same strips with a 5 m implement leave every other half strip unworked.
    EXPECT_NEAR(compute(d.records, {rectangle("Square", 0, 0, 100, 100)}, 5.0)[0].area, 5000.0, 100.0);
}

TEST(FieldWork, GroundDrivenTwiceOrUnderOverlappingStripsCountsOnce) {
    // Up and down the same line, then a parallel line 5 m over: 15 m of width covered, 300 m driven.
    Drive d;
    d.from(5, -20).to(5, 120).to(5, -20).to(10, -20).to(10, 120);
    const auto results = compute(d.records, {rectangle("Square", 0, 0, 100, 100)}, 10.0);
    EXPECT_NEAR(results[0].area, 1500.0, 30.0);
    EXPECT_NEAR(results[0].distance, 300.0, 2.0);
    EXPECT_NEAR(results[0].seconds, 60.0, 1.0);
}

TEST(FieldWork, ATrackCrossingTwoFieldsSharesItsTimeDistanceAndAreaBetweenThem) {
    // Two adjacent fields crossed on one straight line (records fall between the edges), a third one untouched.
    Drive d;
    d.from(-52, 50).to(253, 50);
    const auto results = compute(
        d.records,
        {rectangle("West", 0, 0, 100, 100), rectangle("East", 100, 0, 200, 100), rectangle("Away", 0, 300, 100, 400)},
        4.0);
    ASSERT_EQ(results.size(), 3u);
    for (int k = 0; k < 2; ++k) {
        SCOPED_TRACE(results[k].name);
        EXPECT_NEAR(results[k].distance, 100.0, 0.5);
        EXPECT_NEAR(results[k].seconds, 20.0, 0.2);
        EXPECT_NEAR(results[k].area, 400.0, 20.0);
    }
    EXPECT_EQ(results[2].distance, 0.0);
    EXPECT_EQ(results[2].seconds, 0.0);
    EXPECT_EQ(results[2].area, 0.0);
}

TEST(FieldWork, AreaNeedsAWidthAndTheWorkSensorWhileTimeAndDistanceAlwaysCount) {
    Drive d;
    d.from(50, -20).to(50, 45, 0x02).to(50, 120, 0x00).stand(300);
    const std::vector<GeoZone> field{rectangle("Square", 0, 0, 100, 100)};

    const auto noWidth = compute(d.records, field, 0.0);
    EXPECT_EQ(noWidth[0].area, 0.0);
    EXPECT_NEAR(noWidth[0].distance, 100.0, 0.5);

    // Sensor 2 is on for the first half of the way through the field only: the reading at 45 m holds until the
    // next record at 50 m, where the strip ends in a half disc of the implement's width.
    EXPECT_NEAR(compute(d.records, field, 10.0, 2)[0].area, 500.0 + 3.14159 * 25 / 2, 15.0);
    EXPECT_NEAR(compute(d.records, field, 10.0, 0)[0].area, 1000.0, 30.0);
    // Standing outside the field after the drive adds nothing.
    EXPECT_NEAR(compute(d.records, field, 10.0, 2)[0].seconds, 20.0, 0.2);

    FieldInput bad;
    bad.fields = field;
    bad.width = -1.0;
    EXPECT_THROW(computeFields(bad), std::invalid_argument);
    bad.width = std::nan("");
    EXPECT_THROW(computeFields(bad), std::invalid_argument);
    bad.width = 3.0;
    bad.workSensor = 9;
    EXPECT_THROW(computeFields(bad), std::invalid_argument);
}

TEST(FieldWork, ImplementsFileSkipsBadLinesAndReadsBackWhatItWrote) {
    std::vector<std::string> problems;
    const auto read =
        parseImplements("# comment\n1;Сеялка;3.6\n\n2;Плуг;wide\n;no id;2\n3;Борона; 12 \nbroken\n", &problems);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[1].id, "3");
    EXPECT_EQ(read[1].name, "Борона");
    EXPECT_EQ(read[1].width, 12.0);
    EXPECT_EQ(problems.size(), 3u);
    const auto again = parseImplements(formatImplements(read), nullptr);
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[0].name, "Сеялка");
    EXPECT_EQ(again[0].width, 3.6);
}
