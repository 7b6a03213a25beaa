// A large fleet over the bus: a real NavilonixServer with a generated work directory of 20,000 vehicles in 200
// groups, and the console's main window connected to it through the private channel. Times the groups-tree
// rebuild, the group and vehicle panels and the two drop-down lists, counts the calls each makes, and sets each
// time against its number of calls times a raw Unix-socket ping-pong measured alongside. Prints figures and asserts
// nothing; the last line is the largest of the ratios. Beside each figure it prints the processor time each process
// spent per call, which a busy machine disturbs far less than the elapsed time. NVX_FLEET_SHOWN=1 starts the server
// with its window shown (on the offscreen platform), as a person would run it.
//
// It always runs on a session bus of its own (dbus-run-session), so that the server it starts takes no name on the
// user's bus.
#include "bench/PingPong.h"

#include "automation/NavilonixMarshal.h"
#include "automation/Navilonix_OCX.h"
#include "automation/Navilonix_tlb.h"
#include "forms/Application.h"
#include "forms/Controls.h"
#include "forms/Main.h"
#include "forms/UiSeam.h"
#include "platform/ole/Bus.h"
#include "platform/ole/Proxy.h"
#include "platform/qt/QtBusPump.h"
#include "server/core/GroupFile.h"
#include "server/core/WorkPaths.h"

#include <QApplication>
#include <QPushButton>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace navilonix::server;

namespace {

constexpr int kGroups = 200;
constexpr int kVehiclesPerGroup = 100;
constexpr int kRepeats = 3;       // each figure is the best of at least this many runs
constexpr int kShortRepeats = 15; // and of up to this many while its runs together take under a second

void WriteFleet(const WorkPaths& paths) {
    std::filesystem::create_directories(paths.groups());
    std::filesystem::create_directories(paths.points());
    std::filesystem::create_directories(paths.tracks());
    for (int g = 0; g < kGroups; ++g) {
        Group group;
        char file[32];
        std::snprintf(file, sizeof file, "fleet%03d.grp", g);
        group.fileName = file;
        group.name = "Колонна " + std::to_string((g * 7919) % 1000);
        for (int v = 0; v < kVehiclesPerGroup; ++v) {
            Vehicle vehicle;
            vehicle.device = g * 1000 + v + 1;
            vehicle.model = v % 3 ? "Модель " + std::to_string((v * 7919) % 1000) : "";
            vehicle.number = v % 2 ? "А" + std::to_string(100 + v) + "ВС" : "";
            group.vehicles.push_back(std::move(vehicle));
        }
        writeGroupFile(paths.groups(), group);
    }
}

struct Figure {
    const char* name;
    double milliseconds = 0;
    std::uint64_t calls = 0;
    double rawMicroseconds = 0;
    double consoleCpuPerCall = 0; // microseconds of processor time per call, in the run with the best time
    double serverCpuPerCall = 0;
    double ratio() const { return milliseconds * 1000.0 / (static_cast<double>(calls) * rawMicroseconds); }
};

// Runs `work` kRepeats times; keeps the best time, its calls, and the best raw ping-pong measured around the runs:
// a best time set against a raw figure from a round that other processes slowed would flatter the ratio.
double OwnCpuMicroseconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

// User and system time of another process, from /proc (in clock ticks, so only runs of many calls are meaningful).
double ProcessCpuMicroseconds(pid_t pid) {
    std::FILE* file = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    if (!file)
        return 0;
    char text[1024] = {};
    const std::size_t n = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    const char* at = std::strrchr(text, ')'); // the command name may hold spaces
    if (n == 0 || !at)
        return 0;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    // Fields after the name: state (3) ... utime (14), stime (15).
    if (std::sscanf(at + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime) != 2)
        return 0;
    return static_cast<double>(utime + stime) * 1e6 / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

Figure Measure(const char* name, const RawPingPong& raw, pid_t server, const std::function<void()>& work) {
    Figure f{name};
    std::vector<double> rawRounds;
    f.milliseconds = 1e300;
    double spent = 0;
    // A figure of a few milliseconds is run more often: one pause of the machine would otherwise be its best.
    for (int i = 0; i < kRepeats || (i < kShortRepeats && spent < 1000.0); ++i) {
        rawRounds.push_back(raw.MedianMicroseconds(5, 400));
        const std::uint64_t before = ole::RemoteObject::CallsMade();
        const double consoleCpu = OwnCpuMicroseconds();
        const double serverCpu = ProcessCpuMicroseconds(server);
        const auto start = std::chrono::steady_clock::now();
        work();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        spent += ms;
        f.calls = ole::RemoteObject::CallsMade() - before;
        if (ms < f.milliseconds && f.calls > 0) {
            f.milliseconds = ms;
            f.consoleCpuPerCall = (OwnCpuMicroseconds() - consoleCpu) / static_cast<double>(f.calls);
            f.serverCpuPerCall = (ProcessCpuMicroseconds(server) - serverCpu) / static_cast<double>(f.calls);
        }
    }
    rawRounds.push_back(raw.MedianMicroseconds(5, 400));
    f.rawMicroseconds = *std::min_element(rawRounds.begin(), rawRounds.end());
    return f;
}

bool WaitForServer(pid_t server) {
    auto bus = ole::Connection::OpenSessionBus();
    const std::string name = ole::BusNameForClass(CLSID_NavilonixAutomation);
    for (int i = 0; i < 600 && bus; ++i) {
        if (ole::GetNameOwner(*bus, name))
            return true;
        if (::waitpid(server, nullptr, WNOHANG) == server)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("NVX_FLEET_SESSION")) {
        setenv("NVX_FLEET_SESSION", "1", 1);
        char* args[] = {const_cast<char*>("dbus-run-session"), const_cast<char*>("--"), argv[0], nullptr};
        ::execvp("dbus-run-session", args);
        std::perror("dbus-run-session");
        return 1;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);

    const WorkPaths paths{std::filesystem::temp_directory_path() / ("bench_fleet." + std::to_string(::getpid()))};
    auto start = std::chrono::steady_clock::now();
    WriteFleet(paths);
    std::printf("work directory: %d groups of %d vehicles written in %.2f s\n", kGroups, kVehiclesPerGroup,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());

    pid_t server = -1;
    std::string workDir = paths.root.string();
    char serverPath[] = NAVILONIX_SERVER_PATH;
    char workFlag[] = "--work-dir";
    char embeddingFlag[] = "--embedding"; // as when started by activation: the window stays hidden
    char* serverArgs[] = {serverPath, workFlag, workDir.data(), embeddingFlag, nullptr};
    if (const char* shown = std::getenv("NVX_FLEET_SHOWN"); shown && *shown == '1')
        serverArgs[3] = nullptr;
    if (::posix_spawn(&server, serverPath, nullptr, nullptr, serverArgs, environ) != 0) {
        std::perror("NavilonixServer");
        return 1;
    }
    start = std::chrono::steady_clock::now();
    if (!WaitForServer(server)) {
        std::fprintf(stderr, "the server did not come up on the session bus\n");
        ::kill(server, SIGTERM);
        return 1;
    }
    std::printf("server up in %.2f s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());

    int result = 0;
    {
        QApplication qt(argc, argv);
        RegisterNavilonixMarshaling();
        auto transport = InstallQtComTransport();
        TApplication application;
        application.Initialize();
        UiSeam::SetScripted(true);
        RawPingPong raw;
        std::vector<Figure> figures;
        {
            TMainForm form;
            start = std::chrono::steady_clock::now();
            form.ConnectButton->click();
            const double connectSeconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            QTreeWidget* tree = form.GroupsList;
            if (!Automation || !raw.valid() || tree->topLevelItemCount() != kGroups) {
                std::fprintf(stderr, "the console did not connect to the server (%d groups in the tree)\n",
                             tree->topLevelItemCount());
                result = 1;
            } else {
                std::printf("connected and first tree built in %.2f s\n", connectSeconds);
                figures.push_back(
                    Measure("groups-tree rebuild", raw, server, [&] { form.AutomationChangeCarsLists(nullptr); }));
                figures.push_back(Measure("group panel, every group selected", raw, server, [&] {
                    for (int g = 0; g < kGroups; ++g)
                        tree->setCurrentItem(tree->topLevelItem(g));
                }));
                figures.push_back(Measure("vehicle panels, 2,000 vehicles selected", raw, server, [&] {
                    for (int i = 0; i < 2000; ++i)
                        tree->setCurrentItem(tree->topLevelItem(i % kGroups)->child((i * 7) % kVehiclesPerGroup));
                }));
                figures.push_back(
                    Measure("groups drop-down list", raw, server, [&] { form.GroupsComboBoxDropDown(); }));
                figures.push_back(Measure("vehicles drop-down list, 20 groups", raw, server, [&] {
                    for (int g = 0; g < 20; ++g) {
                        tree->setCurrentItem(tree->topLevelItem(g * 10));
                        form.CarsComboBoxDropDown();
                    }
                }));
                form.DisconnectButton->click();
            }
        }
        if (result == 0) {
            std::printf("Best of %d runs (of up to %d for figures whose runs take under a second together); raw: a "
                        "Unix-socket ping-pong between two processes, the lowest of the medians measured before, "
                        "between and after the figure's runs\n",
                        kRepeats, kShortRepeats);
            const double cpuBefore = OwnCpuMicroseconds();
            raw.MedianMicroseconds(5, 2000);
            std::printf("raw ping-pong: %.1f us of processor time per round trip in the calling process\n",
                        (OwnCpuMicroseconds() - cpuBefore) / 10000.0);
            double worst = 0;
            for (const Figure& f : figures) {
                std::printf("  %-42s %9.1f ms  %7llu calls  raw %6.2f us  calls x raw %9.1f ms  %5.2f x  "
                            "cpu/call: console %5.1f us, server %5.1f us\n",
                            f.name, f.milliseconds, static_cast<unsigned long long>(f.calls), f.rawMicroseconds,
                            static_cast<double>(f.calls) * f.rawMicroseconds / 1000.0, f.ratio(), f.consoleCpuPerCall,
                            f.serverCpuPerCall);
                worst = std::max(worst, f.ratio());
            }
            std::printf("ratio: %.2f\n", worst);
        }
    }
    ::kill(server, SIGTERM);
    ::waitpid(server, nullptr, 0);
    std::error_code ec;
    std::filesystem::remove_all(paths.root, ec);
    return result;
}
