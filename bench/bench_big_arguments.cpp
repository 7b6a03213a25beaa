// Long text arguments against the server: what a call with a 10 MB text costs the caller and every other client.
// Starts NavilonixServer (this build's, or the one named as the first argument) with its window drawn off screen on
// the session bus it finds (or one of its own), then sends calls with huge texts from one connection while a second
// connection keeps reading a property. Prints figures and asserts nothing.
#include <systemd/sd-bus.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr const char* Name = "ole.CLSID_7166C02F_CFCE_4856_AB71_40F9329297BB";
constexpr const char* Path = "/ole/Object";
constexpr const char* Interface = "ole.IID_9E428CC6_35AE_4899_A9BA_34CE991495D6";
constexpr std::size_t Huge = 10 * 1024 * 1024;

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Resident memory of a process now and at its peak, in MB.
std::pair<double, double> memoryOf(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    double rss = 0;
    double peak = 0;
    while (std::getline(status, line)) {
        if (line.starts_with("VmRSS:"))
            rss = std::atof(line.c_str() + 6) / 1024;
        if (line.starts_with("VmHWM:"))
            peak = std::atof(line.c_str() + 6) / 1024;
    }
    return {rss, peak};
}

sd_bus* openBus() {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0)
        return nullptr;
    return bus;
}

// One synchronous read of a long property; its time in ms, negative on failure.
double readGroups(sd_bus* bus) {
    const auto start = Clock::now();
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const int r = sd_bus_call_method(bus, Name, Path, Interface, "get_GroupsNum", &error, &reply, "");
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    return r < 0 ? -1 : msSince(start);
}

struct Outcome {
    double callMs = 0;     // the big call, from sending to its answer
    double otherMaxMs = 0; // the slowest read of the other client meanwhile
    int otherReads = 0;    // reads the other client got answered meanwhile
    std::string error;     // the big call's error name, if any
};

// Sends `member` with `signature` and arguments from `caller` without waiting, and reads from `other` until the
// answer has come.
template <class... A>
Outcome bigCall(sd_bus* caller, sd_bus* other, const char* member, const char* signature, A... arguments) {
    Outcome outcome;
    bool answered = false;
    struct State {
        bool* answered;
        std::string* error;
    } state{&answered, &outcome.error};
    auto onReply = [](sd_bus_message* m, void* userdata, sd_bus_error*) -> int {
        auto* s = static_cast<State*>(userdata);
        *s->answered = true;
        if (const sd_bus_error* e = sd_bus_message_get_error(m))
            *s->error = e->name ? e->name : "?";
        return 0;
    };
    const auto start = Clock::now();
    sd_bus_message* call = nullptr;
    sd_bus_message_new_method_call(caller, &call, Name, Path, Interface, member);
    sd_bus_message_append(call, signature, arguments...);
    sd_bus_call_async(caller, nullptr, call, onReply, &state, 120'000'000);
    sd_bus_message_unref(call);
    while (!answered) {
        // The caller's connection writes its big message and reads the answer; the other client keeps reading.
        while (sd_bus_process(caller, nullptr) > 0) {
        }
        if (answered)
            break;
        const double ms = readGroups(other);
        outcome.otherMaxMs = std::max(outcome.otherMaxMs, ms);
        ++outcome.otherReads;
    }
    outcome.callMs = msSince(start);
    return outcome;
}

void print(const char* what, const Outcome& o) {
    std::printf("  %-44s %9.1f ms   other client: %4d reads, slowest %7.1f ms%s%s\n", what, o.callMs, o.otherReads,
                o.otherMaxMs, o.error.empty() ? "" : "   ", o.error.c_str());
}

} // namespace

int main(int argc, char** argv) {
    sd_bus* probe = openBus();
    if (!probe && !std::getenv("NVX_BENCH_SESSION")) {
        setenv("NVX_BENCH_SESSION", "1", 1);
        std::vector<char*> args = {const_cast<char*>("dbus-run-session"), const_cast<char*>("--")};
        for (int i = 0; i < argc; ++i)
            args.push_back(argv[i]);
        args.push_back(nullptr);
        ::execvp("dbus-run-session", args.data());
        std::perror("dbus-run-session");
        return 1;
    }
    sd_bus_unref(probe);

    std::string server = argc > 1 ? argv[1] : NVX_SERVER;
    const auto workDir = std::filesystem::temp_directory_path() / ("nvx_bench_big." + std::to_string(::getpid()));
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::string workFlag = "--work-dir";
    std::string workPath = workDir.string();
    char* serverArgs[] = {server.data(), workFlag.data(), workPath.data(), nullptr};
    pid_t pid = -1;
    if (::posix_spawn(&pid, server.c_str(), nullptr, nullptr, serverArgs, environ) != 0) {
        std::perror("NavilonixServer");
        return 1;
    }
    sd_bus* caller = openBus();
    sd_bus* other = openBus();
    bool up = false;
    for (int i = 0; i < 400 && !up; ++i) {
        up = readGroups(other) >= 0;
        if (!up)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!caller || !other || !up) {
        std::fprintf(stderr, "the server did not come up on the session bus\n");
        ::kill(pid, SIGTERM);
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    std::vector<double> reads;
    for (int i = 0; i < 300; ++i)
        reads.push_back(readGroups(other));
    std::sort(reads.begin(), reads.end());
    const auto memoryBefore = memoryOf(pid);

    std::string huge(Huge, 'x');
    for (std::size_t i = 80; i < huge.size(); i += 81)
        huge[i] = '\n';
    const char* small = "Москва";
    std::printf("NavilonixServer: %s\n", server.c_str());
    std::printf("A property read (get_GroupsNum) through the bus daemon: median %.3f ms, 99th percentile %.3f ms\n",
                reads[reads.size() / 2], reads[reads.size() * 99 / 100]);
    std::printf("Calls from one client while another keeps reading (text arguments of %zu bytes):\n", Huge);
    print("LoadChPFromFile(\"Москва\")", bigCall(caller, other, "LoadChPFromFile", "s", small));
    // The copy alone: carried by the bus, refused unread; then read into the member's string, which it ignores.
    print("an unknown member with the text", bigCall(caller, other, "NoSuchMember", "s", huge.c_str()));
    print("EnterPassword(10 MB), text not used", bigCall(caller, other, "EnterPassword", "s", huge.c_str()));
    print("LoadChPFromFile(10 MB)", bigCall(caller, other, "LoadChPFromFile", "s", huge.c_str()));
    print("set_PropertyName(10 MB)", bigCall(caller, other, "set_PropertyName", "s", huge.c_str()));
    print("StartComputing(four 10 MB texts)", bigCall(caller, other, "StartComputing", "sisssi", huge.c_str(), 21305,
                                                      huge.c_str(), huge.c_str(), huge.c_str(), 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the computation's end and its log lines
    readGroups(other);
    const auto memoryAfter = memoryOf(pid);
    std::printf("Server memory: %.0f MB before, %.0f MB after, peak %.0f MB\n", memoryBefore.first, memoryAfter.first,
                memoryAfter.second);

    sd_bus_flush_close_unref(caller);
    sd_bus_flush_close_unref(other);
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    std::error_code ec;
    std::filesystem::remove_all(workDir, ec);
    return 0;
}
