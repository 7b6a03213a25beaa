#include "tests/support/BusServers.h"

#include "automation/Navilonix_tlb.h"
#include "platform/ole/Bstr.h"
#include "platform/ole/Bus.h"
#include "platform/ole/ServiceFile.h"

#include <systemd/sd-bus.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Asks the bus daemon about the class's bus name on a connection of our own; false when it cannot be asked.
bool AskAboutName(const char* method, const char* replyType, void* reply) {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0)
        return false;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* message = nullptr;
    const bool asked =
        sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method, &error,
                           &message, "s", ole::BusNameForClass(CLSID_NavilonixAutomation).c_str()) >= 0 &&
        sd_bus_message_read(message, replyType, reply) >= 0;
    sd_bus_message_unref(message);
    sd_bus_error_free(&error);
    sd_bus_flush_close_unref(bus);
    return asked;
}

// The process that owns the class's bus name (an activated server is not our child); -1 for none.
pid_t NameOwnerPid() {
    std::uint32_t pid = 0;
    return AskAboutName("GetConnectionUnixProcessID", "u", &pid) && pid > 0 ? static_cast<pid_t>(pid) : -1;
}

} // namespace

bool ServerNameOwned() {
    int has = 0;
    return AskAboutName("NameHasOwner", "b", &has) && has != 0;
}

BusServers::BusServers(Options options) : m_options(std::move(options)) {
    ole::UnregisterLocalServer(CLSID_NavilonixAutomation);
    if (!m_options.workDirPrefix.empty()) {
        std::random_device random;
        m_workDir = std::filesystem::temp_directory_path() / (m_options.workDirPrefix + "." + std::to_string(random()));
    }
}

BusServers::~BusServers() {
    if (!m_stopped)
        Stop();
}

pid_t BusServers::Start(std::vector<std::string> arguments, char** environment) {
    arguments.insert(arguments.begin(), m_options.program);
    return Spawn(std::move(arguments), environment);
}

pid_t BusServers::Spawn(std::vector<std::string> arguments, char** environment) {
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    EXPECT_EQ(::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environment ? environment : environ), 0)
        << argv[0];
    if (pid > 0)
        m_children.push_back(pid);
    return pid;
}

::testing::AssertionResult BusServers::WaitUntilUp(int ms) {
    if (RunLoopUntil(m_options.up, ms))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << m_options.program << " did not come up within " << ms << " ms";
}

::testing::AssertionResult BusServers::RegisterForActivation() {
    std::string error;
    if (ole::RegisterLocalServer(CLSID_NavilonixAutomation, m_options.program, &error))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << error;
}

void BusServers::Adopt(pid_t pid) {
    if (pid > 0 && std::find(m_adopted.begin(), m_adopted.end(), pid) == m_adopted.end() &&
        std::find(m_children.begin(), m_children.end(), pid) == m_children.end())
        m_adopted.push_back(pid);
}

pid_t BusServers::AdoptTestServer(INavilonixAutomation* automation) {
    BStr version;
    if (!automation || FAILED(automation->get_CurrentVersion(version.out())))
        return -1;
    const pid_t pid = TestServerPid(version.utf8());
    Adopt(pid);
    return pid;
}

pid_t BusServers::TestServerPid(const std::string& version) {
    const std::string prefix = "test-server ";
    return version.starts_with(prefix) ? std::atoi(version.c_str() + prefix.size()) : -1;
}

int BusServers::WaitForExit(pid_t pid, int ms) {
    int status = 0;
    if (!RunLoopUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, ms))
        return -1;
    m_children.erase(std::remove(m_children.begin(), m_children.end(), pid), m_children.end());
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void BusServers::Terminate(pid_t pid, int ms) {
    ::kill(pid, SIGTERM);
    if (WaitForExit(pid, ms) < 0) {
        ::kill(pid, SIGKILL);
        WaitForExit(pid);
    }
}

void BusServers::Stop() {
    m_stopped = true;
    for (const std::vector<pid_t>* list : {&m_children, &m_adopted})
        for (const pid_t pid : *list) {
            ::kill(pid, SIGCONT);
            ::kill(pid, SIGKILL);
        }
    for (const pid_t pid : m_children)
        ::waitpid(pid, nullptr, 0);
    m_children.clear();
    m_adopted.clear();
    ole::UnregisterLocalServer(CLSID_NavilonixAutomation);
    // An activated server that a failed test left behind.
    if (ServerNameOwned() && !RunLoopUntil([] { return !ServerNameOwned(); }, 3000))
        if (const pid_t pid = NameOwnerPid(); pid > 0)
            ::kill(pid, SIGKILL);
    EXPECT_TRUE(RunLoopUntil([] { return !ServerNameOwned(); })) << "a server still owns the class's bus name";
    if (!m_workDir.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(m_workDir, ec);
    }
}
