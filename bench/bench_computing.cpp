// Trip computation on one vehicle's month of records at a 10-second interval (about 260,000 records), read from a
// three-month archive, with the demo check points and geozones, against the plain scan of the same records: reading
// and decoding them from the page cache and summing their great-circle distances. Each is run several times and the
// best run counts (the machine may be shared). Prints figures; the last line is the seconds of reading and computing.
#include "bench/BenchSupport.h"
#include "server/core/CheckPointFile.h"
#include "server/core/Geo.h"
#include "server/core/TripComputer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/resource.h>
#include <unistd.h>

using namespace navilonix::server;

namespace {

long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The floor for the computation: every record of the period read from the month files in large blocks, decoded,
// and the great-circle distance between consecutive fixes summed. Returns the metres; counts the records.
double PlainScan(const RecordStore& store, long device, UnixTime from, UnixTime to, std::size_t* records) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(store.deviceFolder(device)))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    constexpr std::size_t Block = 4096;
    std::vector<unsigned char> buffer(Block * RecordStore::RecordSize);
    double metres = 0;
    bool haveFix = false;
    double lastLat = 0, lastLon = 0;
    *records = 0;
    for (const auto& path : files) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        off_t offset = RecordStore::HeaderSize;
        for (;;) {
            const ssize_t n = ::pread(fd, buffer.data(), buffer.size(), offset);
            if (n <= 0)
                break;
            offset += n;
            for (std::size_t k = 0; k + RecordStore::RecordSize <= static_cast<std::size_t>(n);
                 k += RecordStore::RecordSize) {
                const GpsRecord r = RecordStore::decode(buffer.data() + k);
                if (r.time < from || r.time > to)
                    continue;
                ++*records;
                if (!r.validFix())
                    continue;
                if (haveFix)
                    metres += distanceMeters(lastLat, lastLon, r.latitude, r.longitude);
                lastLat = r.latitude;
                lastLon = r.longitude;
                haveFix = true;
            }
        }
        ::close(fd);
    }
    return metres;
}

} // namespace

int main() {
    const BenchArchive archive("bench_computing");
    const WorkPaths& paths = archive.paths;
    const RecordStore& store = archive.store;
    const long device = archive.device;
    const UnixTime periodStart = archive.periodStart;
    const UnixTime periodEnd = archive.periodEnd;

    // The archive is written by a child process, so that the peak memory below is the computation's own.
    auto start = std::chrono::steady_clock::now();
    if (!archive.write())
        return 1;
    std::printf("archive: 92 days at 10 s (%zu records) written in %.3f s\n", static_cast<std::size_t>(92 * 8640 + 1),
                since(start));
    const long baseline = peakKilobytes();

    // The plain scan, best of five.
    double scanSeconds = 1e300;
    double scanMetres = 0;
    std::size_t scanRecords = 0;
    for (int run = 0; run < 5; ++run) {
        const auto scanStart = std::chrono::steady_clock::now();
        scanMetres = PlainScan(store, device, periodStart, periodEnd, &scanRecords);
        scanSeconds = std::min(scanSeconds, since(scanStart));
    }

    // The full reading and computation, best of five.
    constexpr int Runs = 5;
    double readSeconds = 1e300, computeSeconds = 1e300, total = 1e300;
    std::vector<std::string> problems;
    std::size_t recordCount = 0;
    int lastPercent = 0;
    ComputeResult result;
    CheckPointList list;
    for (int run = 0; run < Runs; ++run) {
        problems.clear();
        result = ComputeResult{};
        start = std::chrono::steady_clock::now();
        ComputeInput input;
        input.records = store.read(device, periodStart, periodEnd, &problems);
        const double read = since(start);
        list = readCheckPointFile(paths.points() / "Москва.chp", &problems);
        input.checkPoints = list.points;
        input.zones = list.zones;
        input.split = true;
        recordCount = input.records.size();
        const auto computeStart = std::chrono::steady_clock::now();
        result = computeTrips(std::move(input), [&](int p) { lastPercent = p; });
        const double compute = since(computeStart);
        const double all = since(start);
        if (all < total) {
            total = all;
            readSeconds = read;
            computeSeconds = compute;
        }
    }

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
    std::printf("plain scan of the same records (read, decode, sum of distances): %.4f s, %zu records, %.1f km\n",
                scanSeconds, scanRecords, scanMetres / 1000.0);
    std::printf("full reading and computation against the plain scan: %.2f x (best of %d runs each)\n",
                total / scanSeconds, Runs);
    std::printf("peak memory: %ld kB before reading, %ld kB after computing (records of the period: %zu kB)\n",
                baseline, peakKilobytes(), recordCount * sizeof(GpsRecord) / 1024);
    std::printf("seconds: %.3f\n", total);
    return problems.empty() ? 0 : 1;
}
