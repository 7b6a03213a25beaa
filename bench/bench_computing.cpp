// Trip computation on one vehicle's month of records at a 10-second interval (about 260,000 records), read from a
// three-month archive, with the demo check points and geozones. Prints figures; the last line is the seconds of
// reading and computing.
#include "server/core/CheckPointFile.h"
#include "server/core/DemoData.h"
#include "server/core/RecordStore.h"
#include "server/core/TimeText.h"
#include "server/core/TripComputer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace navilonix::server;

namespace {

long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main() {
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("bench_computing." + std::to_string(::getpid()));
    const WorkPaths paths{root};
    const long device = 21305;
    const UnixTime archiveStart = fromUtcCivil(CivilTime{2009, 6, 1});
    const UnixTime periodStart = fromUtcCivil(CivilTime{2009, 7, 1});
    const UnixTime periodEnd = fromUtcCivil(CivilTime{2009, 7, 31});

    auto start = std::chrono::steady_clock::now();
    const RecordStore store(paths.tracks());
    // The archive is written by a child process, so that the peak memory below is the computation's own.
    const pid_t child = ::fork();
    if (child == 0) {
        createDemoData(paths, DemoOptions{archiveStart, 1});
        store.write(device, syntheticTrack(archiveStart, 92LL * 86400, 10));
        std::_Exit(0);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "cannot write the archive\n");
        return 1;
    }
    std::printf("archive: 92 days at 10 s (%zu records) written in %.3f s\n", static_cast<std::size_t>(92 * 8640 + 1),
                since(start));
    const long baseline = peakKilobytes();

    start = std::chrono::steady_clock::now();
    std::vector<std::string> problems;
    ComputeInput input;
    input.records = store.read(device, periodStart, periodEnd, &problems);
    const double readSeconds = since(start);
    const CheckPointList list = readCheckPointFile(paths.points() / "Москва.chp", &problems);
    input.checkPoints = list.points;
    input.zones = list.zones;
    input.split = true;
    const std::size_t recordCount = input.records.size();
    const auto computeStart = std::chrono::steady_clock::now();
    int lastPercent = 0;
    const ComputeResult result = computeTrips(std::move(input), [&](int p) { lastPercent = p; });
    const double computeSeconds = since(computeStart);
    const double total = since(start);

    std::size_t entries = 0;
    std::size_t points = 0;
    for (const Trip& trip : result.trips) {
        points += trip.track.size();
        for (const auto& list : trip.entries)
            entries += list.size();
    }
    std::printf("records in period: %zu (read in %.3f s)\n", recordCount, readSeconds);
    std::printf("check points: %zu, geozones: %zu\n", list.points.size(), list.zones.size());
    std::printf("trips: %zu, entries: %zu, track points: %zu, progress reached %d %%\n", result.trips.size(), entries,
                points, lastPercent);
    std::printf("computation alone: %.3f s\n", computeSeconds);
    std::printf("peak memory: %ld kB before reading, %ld kB after computing (records of the period: %zu kB)\n",
                baseline, peakKilobytes(), recordCount * sizeof(GpsRecord) / 1024);
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    std::printf("seconds: %.3f\n", total);
    return problems.empty() ? 0 : 1;
}
