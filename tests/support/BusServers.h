// The servers a test starts on the program's private session bus, and their clean-up: every process started or
// adopted is killed when the test ends, the activation file is removed, and the test waits until the class's bus
// name is free again, so that the next test starts with no server on the bus.
#pragma once

#include "tests/support/PrivateSessionBus.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

struct INavilonixAutomation;

// Whether the class's bus name has an owner, asked on a connection of the caller's own: the runtime opens no
// connection for it.
bool ServerNameOwned();

class BusServers {
public:
    // What differs between the test programs.
    struct Options {
        // The server program: NavilonixServer or the test server.
        std::string program;
        // When set, WorkDir names a fresh folder "<prefix>.<random>" in the temporary folder, which nobody creates
        // and which is removed with everything in it when the servers are stopped.
        std::string workDirPrefix = {};
        // How a test tells that the server is up: by default the runtime finds its object. A test that must keep
        // the runtime off this bus asks ServerNameOwned instead.
        std::function<bool()> up = ServerRunning;
    };

    // Removes an activation file that an earlier test left behind.
    explicit BusServers(Options options);
    // Stops what Stop has not.
    ~BusServers();
    BusServers(const BusServers&) = delete;
    BusServers& operator=(const BusServers&) = delete;

    // Starts the server program with these arguments (and this environment, by default the program's own); it is
    // killed when the servers are stopped.
    pid_t Start(std::vector<std::string> arguments = {}, char** environment = nullptr);
    // Starts any program found on the PATH (or by its path) in the same way.
    pid_t Spawn(std::vector<std::string> arguments, char** environment = nullptr);
    // Whether the server comes up (Options::up) within `ms` milliseconds.
    ::testing::AssertionResult WaitUntilUp(int ms = 15000);
    // Writes the activation file that lets the bus start the server program; the failure says why it could not.
    ::testing::AssertionResult RegisterForActivation();
    // A server that is not this program's child (one the bus activated): it is killed too when the servers stop.
    void Adopt(pid_t pid);
    // The process of the test server behind `automation`, from its version text, adopted; -1 when the call fails or
    // the text is not the test server's.
    pid_t AdoptTestServer(INavilonixAutomation* automation);
    // The process in a test server's version text "test-server <pid>"; -1 for any other text.
    static pid_t TestServerPid(const std::string& version);
    // The exit status of a child started here (128 + the signal for one that a signal ended), or -1 when it has
    // not ended within `ms` milliseconds.
    int WaitForExit(pid_t pid, int ms = 15000);
    // Asks a child to end (SIGTERM) and kills it when it has not ended within `ms` milliseconds.
    void Terminate(pid_t pid, int ms = 5000);
    // Kills every process started or adopted (stopped ones too), removes the activation file, kills a server the
    // bus activated that has not gone within 3 seconds, checks that the class's bus name is free within 15 and
    // removes the work directory. Run it from TearDown once the test has let go of the server's objects.
    void Stop();

    const std::filesystem::path& WorkDir() const { return m_workDir; }

private:
    Options m_options;
    std::filesystem::path m_workDir;
    std::vector<pid_t> m_children; // started here: reaped when stopped
    std::vector<pid_t> m_adopted;  // not children: only killed
    bool m_stopped = false;
};
