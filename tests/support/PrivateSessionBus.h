// Test programs that talk over a session bus of their own, never the user's: the program re-executes itself under
// dbus-run-session with a bus configuration and service folder from the build folder, then runs its tests with the
// console's runtime set up as an application would.
#pragma once

#include <functional>

class QtComTransport;

// Unless the environment variable `flag` is set (it is, in the re-executed program), sets it, points
// XDG_DATA_HOME at `dataHome` and replaces this process with `dbus-run-session --config-file=<configFile> --` and
// this program's own command line. Returns only in the re-executed program; if dbus-run-session cannot be started,
// says so and exits with 1.
void ReexecUnderPrivateSessionBus(int argc, char** argv, const char* flag, const char* configFile,
                                  const char* dataHome);

// Runs every test with GoogleTest initialised, a QCoreApplication, the automation marshaling registered, the Qt
// transport installed (stored in *transport while the tests run, when given) and COM initialised; returns the
// result of RUN_ALL_TESTS.
int RunBusTests(int& argc, char** argv, QtComTransport** transport = nullptr);

// Runs the calling thread's Qt event loop until done() holds; false when `ms` milliseconds pass first.
bool RunLoopUntil(const std::function<bool()>& done, int ms = 15000);

// Whether a NavilonixServer's object is registered as running on the bus (GetActiveObject finds it).
bool ServerRunning();
