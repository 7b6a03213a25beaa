// The state of one trip computation on its worker thread; private to the automation object.
#pragma once

#include "server/NavilonixObject.h"

namespace navilonix::server {

// A computation on its worker thread. The worker writes only `result`, `failure`, `problems` and `finished`;
// the main thread reads them once `finished` is set.
struct NavilonixObject::Computation {
    std::thread thread;
    std::atomic<bool> cancel{false};
    std::atomic<bool> finished{false};
    std::optional<ComputeResult> result;
    std::string failure;
    std::vector<std::string> problems; // damaged record files: skipped, reported at the end
    std::string description;
    // What the trips are of.
    std::string groupFile;
    long device = 0;
    std::string route;
    std::string drivers;
    std::vector<CheckPoint> checkPoints;
    std::vector<GeoZone> zones;
};

} // namespace navilonix::server
