// The trip computation: cuts a vehicle's records into trips and lists what happened on each trip.
#pragma once

#include "server/core/Model.h"

#include <array>
#include <atomic>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace navilonix::server {

// The twenty lists of trip entries, in the order the console offers them.
enum class EntryList {
    CheckPointPassages,
    CheckPointStages,
    ZonePassages,
    ZoneStages,
    Parks,
    SignalGaps,
    PowerOff,
    OverSpeed,
    Tank1,
    Tank2,
    Tank3,
    Tank4,
    Sensor1,
    Sensor2,
    Sensor3,
    Sensor4,
    Sensor5,
    Sensor6,
    Sensor7,
    Sensor8,
};
constexpr int EntryListCount = 20;

// The list named by a type name ("checkpoints", "geozones", "parks", "blinds", "power_off", "over_speed",
// "tank", "sensor_on") and, where the type has several lists, a kind name ("points", "stages", "zones",
// "num1" to "num8"). Names are compared ignoring ASCII case.
std::optional<EntryList> entryListByNames(std::string_view type, std::string_view kind);

// A place where an entry starts or ends: the check point or geozone it lies in, else its coordinates.
struct Place {
    std::string name;
    std::string address;
    std::string id;
    double latitude = NoCoordinate;
    double longitude = NoCoordinate;
};

// What the records of a stretch say.
struct Summary {
    UnixTime startTime = 0;
    UnixTime endTime = 0;
    double distance = 0.0; // metres
    long long moveSeconds = 0;
    long long parkSeconds = 0;
    long parkCount = 0; // stops long enough to be listed among the parks that begin in the stretch
    double maxSpeed = 0.0;
    double averageSpeed = -1.0; // km/h over the moving time; -1 when the vehicle never moved
    std::array<double, 2> motorHours{};
    std::array<double, 2> motorMoveHours{};
    std::array<double, 2> motorParkHours{};
    std::array<double, 2> fuel{}; // litres used from tank 1 (motor 1) and tank 2 (motor 2), drains excluded
    std::array<double, TankCount> tankStart{};
    std::array<double, TankCount> tankEnd{};

    long long realSeconds() const { return endTime - startTime; }
};

struct Entry {
    long id = 0;
    Place start;
    Place end;
    std::size_t first = 0; // record indices, inclusive
    std::size_t last = 0;
    Summary summary;
};

struct SensorTotals {
    long count = 0;
    double distance = 0.0;
    long long seconds = 0;
};

struct Trip {
    std::size_t first = 0; // record indices, inclusive
    std::size_t last = 0;
    bool split = false; // cut by the vehicle's trip settings (otherwise the whole period)
    Place start;
    Place end;
    Summary summary;
    std::array<std::vector<Entry>, EntryListCount> entries;
    std::vector<std::size_t> track; // indices of the trip's records with a position
    std::array<SensorTotals, SensorCount> sensors{};
};

struct ComputeInput {
    std::vector<GpsRecord> records; // in time order
    TripSettings settings;
    bool split = true;
    ChPParameters calls; // when callOnPark or callOnSensor is set, only passages with such a call count
    std::vector<CheckPoint> checkPoints;
    std::vector<GeoZone> zones;
};

struct ComputeResult {
    std::vector<GpsRecord> records;
    std::vector<Trip> trips;
};

class ComputationCancelled : public std::runtime_error {
public:
    ComputationCancelled() : std::runtime_error("computation cancelled") {}
};

// Called with the percentage done; values never decrease.
using ProgressCallback = std::function<void(int)>;

// Computes the trips. The progress runs from firstPercent to 100. Throws ComputationCancelled when cancel becomes
// true.
ComputeResult computeTrips(ComputeInput input, const ProgressCallback& progress = {},
                           const std::atomic<bool>* cancel = nullptr, int firstPercent = 0);

} // namespace navilonix::server
