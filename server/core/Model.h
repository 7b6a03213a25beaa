// The tracking server's data model: vehicle groups, vehicles, GPS records, check points and geozones.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace navilonix::server {

// Seconds since 1970-01-01 00:00:00 UTC.
using UnixTime = std::int64_t;

// Markers for values a device has not reported.
constexpr double NoCoordinate = -777.0;
constexpr double NoAltitude = -1000.0;
constexpr long NoFlags = -1;
constexpr float NoTankLevel = -1.0f;

constexpr int SensorCount = 8;
constexpr int TankCount = 4;

// Status bits of a GPS record.
enum RecordStatus : std::uint16_t {
    StatusValidFix = 0x01,      // the receiver had a position fix
    StatusExternalPower = 0x02, // the device was fed by the vehicle (clear: running on its own battery)
    StatusMotor1 = 0x04,        // the main engine ran
    StatusMotor2 = 0x08,        // the second engine (a power take-off) ran
};

// One record of a tracking device.
struct GpsRecord {
    UnixTime time = 0;
    double latitude = 0.0;                           // degrees
    double longitude = 0.0;                          // degrees
    float speed = 0.0f;                              // km/h
    float course = -1.0f;                            // degrees from north; negative when unknown
    float altitude = static_cast<float>(NoAltitude); // metres
    std::uint16_t inputs = 0;                        // bit n-1 set: sensor n is on
    std::uint16_t status = 0;                        // RecordStatus bits
    std::array<float, TankCount> tanks{NoTankLevel, NoTankLevel, NoTankLevel, NoTankLevel}; // litres

    bool validFix() const { return (status & StatusValidFix) != 0; }
    bool sensor(int number) const { return (inputs & (1u << (number - 1))) != 0; }
};

struct CheckPoint {
    std::string name;
    std::string address;
    std::string id;
    double latitude = 0.0;
    double longitude = 0.0;
    long radius = 30;    // metres
    long fixTime = 0;    // minutes the vehicle is expected to stay
    long weekDays = 127; // bit 0 Monday ... bit 6 Sunday
};

struct GeoPoint {
    double latitude = 0.0;
    double longitude = 0.0;
};

struct GeoZone {
    std::string name;
    std::string address;
    std::string id;
    std::vector<GeoPoint> vertices; // a closed polygon; the last vertex joins the first
};

// The contents of one check point file: its check points and its geozones.
struct CheckPointList {
    std::vector<CheckPoint> points;
    std::vector<GeoZone> zones;
};

// How the trip computation cuts a vehicle's records.
struct TripSettings {
    long minParkSeconds = 1200;  // a stop at least this long ends a trip
    long minTripSeconds = 180;   // shorter trips are dropped
    long minTripMeters = 500;    // trips covering less are dropped
    long gapAsStopSeconds = 900; // a data gap at least this long counts as a stop
    long stopSeconds = 120;      // a stop at least this long is listed among the parks
    long signalGapSeconds = 120; // a pause between records at least this long is a signal gap
    double moveSpeed = 3.0;      // km/h at and above which the vehicle moves
    double speedLimit = 90.0;    // km/h above which the vehicle is speeding
    double tankRate = 2.0;       // litres per minute of level change that counts as a refill or drain
    double refillLitres = 10.0;  // smallest refill listed
    double drainLitres = 5.0;    // smallest drain listed
};

// A vehicle's check point parameters, as the console sets them.
struct ChPParameters {
    bool useDefaults = false;
    std::string checkPointsFile;
    bool callOnPark = false;
    long parkMinutes = 5;
    bool callOnSensor = false;
    long sensorNumber = 1;
    long sensorSeconds = 0;
    std::string geoZonesFile;
};

struct Vehicle {
    long device = 0;
    std::string model;
    std::string number;
    std::string alias;
    std::string phone;
    std::string route;
    std::string drivers;
    ChPParameters chp;
    TripSettings trips;
};

struct Group {
    std::string fileName; // the file's name in the Groups folder, with its extension
    std::string name;
    std::string address;
    std::string contacts;
    std::vector<Vehicle> vehicles;
};

// The latest data a vehicle has sent.
struct OnlineState {
    UnixTime lastTime = 0;    // last record of any kind; 0 when none
    UnixTime lastFixTime = 0; // last record with a position; 0 when none
    double latitude = NoCoordinate;
    double longitude = NoCoordinate;
    double course = -1.0;
    double speed = -1.0;
    long parkSeconds = 0; // how long the vehicle has stood still; 0 while it moves
    long flags = NoFlags; // inputs in the console's bit layout, see carFlags()
};

// The inputs and status of a record in the bit layout of CarFlags: sensor 1 in bit 1, sensor 2 in bit 0,
// external power in bit 2, a position fix in bit 3, sensors 3 to 8 in bits 4 to 9.
long carFlags(std::uint16_t inputs, std::uint16_t status);

} // namespace navilonix::server
