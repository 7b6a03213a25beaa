// Field computation on one vehicle's month of records at a 10-second interval (about 260,000 records), read from a
// three-month archive, over the demo fields with the demo cultivator. Prints figures; the last line is the seconds
// of reading and computing.
#include "bench/BenchSupport.h"
#include "server/core/CheckPointFile.h"
#include "server/core/FieldComputer.h"
#include "server/core/FileUtil.h"

#include <chrono>
#include <cstdio>
#include <exception>

using namespace navilonix::server;

int main() {
    const BenchArchive archive("bench_fields");
    if (!archive.write())
        return 1;
    const WorkPaths& paths = archive.paths;

    int code = 0;
    try {
        FieldInput input;
        input.fields = readCheckPointFile(paths.points() / "Поля.chp", nullptr).zones;
        for (const Implement& i : parseImplements(readWholeFile(paths.implements()), nullptr))
            if (i.id == "3")
                input.width = i.width;
        const auto start = std::chrono::steady_clock::now();
        input.records = archive.store.read(archive.device, archive.periodStart, archive.periodEnd - 1, nullptr);
        const double reading = since(start);
        const auto results = computeFields(input);
        const double total = since(start);
        std::printf("records: %zu, fields: %zu, implement width: %.1f m\n", input.records.size(), results.size(),
                    input.width);
        for (const FieldResult& f : results)
            std::printf("  %s: %.0f s inside, %.3f km, %.3f ha\n", f.name.c_str(), f.seconds, f.distance / 1000,
                        f.area / 10000);
        std::printf("reading: %.3f s, computing: %.3f s\n", reading, total - reading);
        std::printf("seconds: %.3f\n", total);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        code = 1;
    }
    return code;
}
