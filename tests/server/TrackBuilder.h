// Builds small synthetic tracks for the computation tests: a vehicle driving due north from a fixed point, so
// that distances are plain multiples of the step length.
#pragma once

#include "server/core/Geo.h"
#include "server/core/Model.h"

#include <vector>

namespace navilonix::server::testing {

constexpr double OriginLatitude = 55.0;
constexpr double OriginLongitude = 37.0;

// Latitude of the point the given number of metres north of the origin.
inline double northOf(double meters) {
    return OriginLatitude + meters / (EarthRadiusMeters * 3.14159265358979323846 / 180.0);
}

class TrackBuilder {
public:
    // Records every 10 s while moving at the speed (km/h).
    TrackBuilder& drive(int records, double speed) {
        for (int k = 0; k < records; ++k) {
            emit(speed);
            meters_ += speed / 3.6 * 10.0;
            time_ += 10;
        }
        return *this;
    }
    // Records at the interval while standing, covering the given seconds.
    TrackBuilder& stand(long seconds, int interval = 10) {
        const UnixTime until = time_ + seconds;
        while (time_ < until) {
            emit(0.0);
            time_ += interval;
        }
        return *this;
    }
    // No records for the given seconds.
    TrackBuilder& silence(long seconds) {
        time_ += seconds;
        return *this;
    }
    TrackBuilder& inputs(std::uint16_t bits) {
        inputs_ = bits;
        return *this;
    }
    TrackBuilder& status(std::uint16_t bits) {
        status_ = bits;
        return *this;
    }
    // Tank 1 level of the next records, and its change per record.
    TrackBuilder& tank(double level, double perRecord = 0.0) {
        tank_ = level;
        tankStep_ = perRecord;
        return *this;
    }

    UnixTime time() const { return time_; }
    double meters() const { return meters_; }
    const std::vector<GpsRecord>& records() const { return records_; }

private:
    void emit(double speed) {
        GpsRecord r;
        r.time = time_;
        r.latitude = northOf(meters_);
        r.longitude = OriginLongitude;
        r.speed = static_cast<float>(speed);
        r.course = 0.0f;
        r.altitude = 100.0f;
        r.inputs = inputs_;
        r.status = status_;
        if (tank_ >= 0) {
            r.tanks[0] = static_cast<float>(tank_);
            tank_ += tankStep_;
        }
        records_.push_back(r);
    }

    std::vector<GpsRecord> records_;
    UnixTime time_ = 1241164800; // 2009-05-01 08:00 UTC
    double meters_ = 0.0;
    std::uint16_t inputs_ = 0;
    std::uint16_t status_ = StatusValidFix | StatusExternalPower | StatusMotor1;
    double tank_ = -1.0;
    double tankStep_ = 0.0;
};

} // namespace navilonix::server::testing
