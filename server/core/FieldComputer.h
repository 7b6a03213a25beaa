// Field work: how long a vehicle stayed in each field, how far it drove there and how much of the field its
// implement covered.
#pragma once

#include "server/core/Implements.h"
#include "server/core/Model.h"
#include "server/core/TripComputer.h"

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

namespace navilonix::server {

struct FieldInput {
    std::vector<GpsRecord> records; // in time order
    std::vector<GeoZone> fields;
    double width = 0.0;     // metres; 0 works no area
    int workSensor = 0;     // 1 to 8: the implement works only while that sensor is on; 0: whenever moving
    double moveSpeed = 3.0; // km/h at and above which the vehicle moves
    long gapSeconds = 900;  // a pause this long between records is not driven through: no area, no distance
};

struct FieldResult {
    std::string name;
    std::string id;
    double seconds = 0.0;  // time inside the field
    double distance = 0.0; // metres driven inside the field
    double area = 0.0;     // square metres of the field the implement covered, each spot once
};

// Works out every field in input order. Progress runs from firstPercent to 100, fieldProgress from 0 to 100 for
// each field in turn. Throws ComputationCancelled when cancel becomes true, std::invalid_argument for a negative or
// non-finite width or a work sensor out of range.
std::vector<FieldResult> computeFields(const FieldInput& input, const ProgressCallback& progress = {},
                                       const std::atomic<bool>* cancel = nullptr, int firstPercent = 0,
                                       const ProgressCallback& fieldProgress = {});

} // namespace navilonix::server
