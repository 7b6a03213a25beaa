// What the record benchmarks share: their timing and the archive they read.
#pragma once

#include "server/core/DemoData.h"
#include "server/core/RecordStore.h"
#include "server/core/TimeText.h"
#include "server/core/WorkPaths.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

// Seconds since start.
inline double since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One vehicle's records at a 10-second interval over three months from June 2009, beside the demo data, in a work
// folder of its own under the temporary folder that goes with the object. The benchmarks read its July.
class BenchArchive {
public:
    explicit BenchArchive(const std::string& name)
        : root(std::filesystem::temp_directory_path() / (name + "." + std::to_string(::getpid()))), paths{root},
          store(paths.tracks()) {}
    ~BenchArchive() {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    BenchArchive(const BenchArchive&) = delete;
    BenchArchive& operator=(const BenchArchive&) = delete;

    // Writes the demo data and the records in a child process, so that the benchmark's peak memory is its own;
    // false, with a message, when that fails.
    bool write() const {
        const pid_t child = ::fork();
        if (child == 0) {
            navilonix::server::createDemoData(paths, navilonix::server::DemoOptions{archiveStart, 1});
            store.write(device, navilonix::server::syntheticTrack(archiveStart, 92LL * 86400, 10));
            std::_Exit(0);
        }
        int status = 0;
        if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "cannot write the archive\n");
            return false;
        }
        return true;
    }

    const std::filesystem::path root;
    const navilonix::server::WorkPaths paths;
    const long device = 21305;
    const navilonix::server::UnixTime archiveStart = navilonix::server::fromUtcCivil({2009, 6, 1});
    const navilonix::server::UnixTime periodStart = navilonix::server::fromUtcCivil({2009, 7, 1});
    const navilonix::server::UnixTime periodEnd = navilonix::server::fromUtcCivil({2009, 7, 31});
    const navilonix::server::RecordStore store;
};
