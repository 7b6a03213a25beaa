// Field computation on one vehicle's month of records at a 10-second interval (about 260,000 records), read from a
// three-month archive, over the demo fields with the demo cultivator. Prints figures; the last line is the seconds
// of reading and computing.
#include "server/core/CheckPointFile.h"
#include "server/core/DemoData.h"
#include "server/core/FieldComputer.h"
#include "server/core/FileUtil.h"
#include "server/core/RecordStore.h"
#include "server/core/TimeText.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

using namespace navilonix::server;

namespace {

double since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main() {
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("bench_fields." + std::to_string(::getpid()));
    const WorkPaths paths{root};
    const long device = 21305;
    const UnixTime archiveStart = fromUtcCivil(CivilTime{2009, 6, 1});
    const UnixTime periodStart = fromUtcCivil(CivilTime{2009, 7, 1});
    const UnixTime periodEnd = fromUtcCivil(CivilTime{2009, 7, 31});

    const RecordStore store(paths.tracks());
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

    int code = 0;
    try {
        FieldInput input;
        input.fields = readCheckPointFile(paths.points() / "Поля.chp", nullptr).zones;
        for (const Implement& i : parseImplements(readWholeFile(paths.implements()), nullptr))
            if (i.id == "3")
                input.width = i.width;
        const auto start = std::chrono::steady_clock::now();
        input.records = store.read(device, periodStart, periodEnd - 1, nullptr);
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
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    return code;
}
