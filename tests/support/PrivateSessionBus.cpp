#include "tests/support/PrivateSessionBus.h"

#include "automation/NavilonixMarshal.h"
#include "platform/ole/Registry.h"
#include "platform/qt/QtBusPump.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

void ReexecUnderPrivateSessionBus(int argc, char** argv, const char* flag, const char* configFile,
                                  const char* dataHome) {
    if (std::getenv(flag))
        return;
    setenv(flag, "1", 1);
    setenv("XDG_DATA_HOME", dataHome, 1);
    std::string config = std::string("--config-file=") + configFile;
    std::vector<char*> args{const_cast<char*>("dbus-run-session"), config.data(), const_cast<char*>("--")};
    for (int i = 0; i < argc; ++i)
        args.push_back(argv[i]);
    args.push_back(nullptr);
    ::execvp("dbus-run-session", args.data());
    std::perror("dbus-run-session");
    std::exit(1);
}

int RunBusTests(int& argc, char** argv, QtComTransport** transport) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    RegisterNavilonixMarshaling();
    auto installed = InstallQtComTransport();
    if (transport)
        *transport = installed.get();
    CoInitialize(nullptr);
    const int result = RUN_ALL_TESTS();
    CoUninitialize();
    if (transport)
        *transport = nullptr;
    return result;
}

bool RunLoopUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

bool ServerRunning() {
    ComPtr<IUnknown> unknown;
    return SUCCEEDED(GetActiveObject(CLSID_NavilonixAutomation, nullptr, unknown.out()));
}
