// The demo fleet that a new work directory starts with.
#pragma once

#include "server/core/Model.h"
#include "server/core/WorkPaths.h"

#include <vector>

namespace navilonix::server {

struct DemoOptions {
    UnixTime from = 1241136000; // 2009-05-01 00:00 UTC
    int days = 123;             // to 2009-09-01
};

// Whether the work directory has no data of its own yet (no Groups folder).
bool needsDemoData(const WorkPaths& paths);

// Writes the demo groups, online states, check points and GPS records. Deterministic: the same options give
// the same files. Throws FileError.
void createDemoData(const WorkPaths& paths, const DemoOptions& options = {});

// The demo records of one vehicle that has a daily schedule (an empty list for the others).
std::vector<GpsRecord> demoRecords(long device, const DemoOptions& options);

// A synthetic track at a fixed interval for the benchmark: the vehicle drives and stops around the city.
std::vector<GpsRecord> syntheticTrack(UnixTime from, long long seconds, int interval);

} // namespace navilonix::server
