// NavilonixServer: the demo tracking server. Publishes its automation object on the session bus, shows its window
// unless started by activation, and closes on its window, SIGTERM or SIGINT after telling its clients.
#include "automation/NavilonixMarshal.h"
#include "platform/ole/Registry.h"
#include "platform/ole/ServiceFile.h"
#include "platform/qt/QtBusPump.h"
#include "platform/qt/QtTranslations.h"
#include "platform/rtl/FormatSettings.h"
#include "server/ClassFactory.h"
#include "server/NavilonixObject.h"
#include "server/ServerWindow.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace navilonix::server;

namespace {

const char* const Usage = "Usage: NavilonixServer [--work-dir DIR] [--embedding]\n"
                          "       NavilonixServer --register | --unregister | --help\n"
                          "\n"
                          "The demo tracking server for the NavilonixOle console.\n"
                          "  --work-dir DIR  keep groups, records and check points in DIR\n"
                          "                  (default: $XDG_DATA_HOME/NavilonixServer)\n"
                          "  --embedding     started by D-Bus activation: no window until a client asks for it;\n"
                          "                  the server exits when its last client has gone and its window is hidden\n"
                          "  --register      write the D-Bus service file that lets clients start the server\n"
                          "  --unregister    remove that file\n"
                          "  --help          show this text\n";

struct Arguments {
    bool registerServer = false;
    bool unregisterServer = false;
    bool embedding = false;
    bool help = false;
    std::filesystem::path workDir;
};

bool parseArguments(int argc, char** argv, Arguments& args, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--register" || a == "-register" || a == "/regserver")
            args.registerServer = true;
        else if (a == "--unregister" || a == "-unregister" || a == "/unregserver")
            args.unregisterServer = true;
        else if (a == "--embedding" || a == "-embedding" || a == "-Embedding")
            args.embedding = true;
        else if (a == "--help" || a == "-h")
            args.help = true;
        else if (a == "--work-dir" && i + 1 < argc)
            args.workDir = argv[++i];
        else if (a.starts_with("--work-dir="))
            args.workDir = a.substr(11);
        else {
            error = a == "--work-dir" ? "--work-dir needs a folder" : "unknown argument " + a;
            return false;
        }
    }
    return true;
}

std::filesystem::path defaultWorkDir() {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
        return std::filesystem::path(data) / "NavilonixServer";
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : ".") / ".local" / "share" / "NavilonixServer";
}

// SIGTERM and SIGINT reach the event loop through a pipe.
int signalPipe[2] = {-1, -1};
void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

} // namespace

int main(int argc, char** argv) {
    Arguments args;
    std::string error;
    if (!parseArguments(argc, argv, args, error)) {
        std::fprintf(stderr, "NavilonixServer: %s\n\n%s", error.c_str(), Usage);
        return 2;
    }
    if (args.help) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (args.registerServer || args.unregisterServer) {
        std::error_code ec;
        const auto self = std::filesystem::canonical("/proc/self/exe", ec);
        const bool ok = args.registerServer ? ole::RegisterLocalServer(CLSID_NavilonixAutomation, self, &error)
                                            : ole::UnregisterLocalServer(CLSID_NavilonixAutomation, &error);
        if (!ok) {
            std::fprintf(stderr, "NavilonixServer: %s\n", error.c_str());
            return 1;
        }
        std::printf("%s %s\n", args.registerServer ? "registered:" : "unregistered:",
                    ole::ServiceFilePath(CLSID_NavilonixAutomation).c_str());
        return 0;
    }

    // Without a display (a bare session bus, a service started by activation) the server still serves, with its
    // window drawn off screen.
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    QApplication::setDesktopFileName(QStringLiteral("ru.navilonix.NavilonixServer"));
    InstallQtTranslations(application);
    QApplication::setQuitOnLastWindowClosed(false);
    SetCurrentFormatSettings(TFormatSettings::FromLocale());
    RegisterNavilonixMarshaling();
    auto transport = InstallQtComTransport();
    if (FAILED(CoInitialize(nullptr))) {
        std::fprintf(stderr, "NavilonixServer: cannot initialise COM\n");
        return 1;
    }

    // Leave before touching the work directory when another server has the bus name already.
    {
        ComPtr<IUnknown> running;
        if (SUCCEEDED(GetActiveObject(CLSID_NavilonixAutomation, nullptr, running.out())) && running) {
            std::fprintf(stderr, "NavilonixServer: another NavilonixServer is already running\n");
            running.reset();
            CoUninitialize();
            return 1;
        }
    }

    const std::filesystem::path workDir = args.workDir.empty() ? defaultWorkDir() : args.workDir;
    std::error_code ec;
    std::filesystem::create_directories(workDir, ec);
    if (ec || !std::filesystem::is_directory(workDir)) {
        std::fprintf(stderr, "NavilonixServer: cannot use the work directory %s: %s\n", workDir.c_str(),
                     ec.message().c_str());
        CoUninitialize();
        return 1;
    }

    ServerWindow window;
    auto object = NavilonixObject::create(NavilonixObject::Options{WorkPaths{std::filesystem::absolute(workDir)},
                                                                   &window, std::chrono::milliseconds(300), true});
    window.setObject(object.get());

    // Publish the object; a second server finds the bus name taken and leaves.
    auto* factory = new ClassFactory(static_cast<INavilonixAutomation*>(object.get()));
    DWORD classCookie = 0;
    DWORD activeCookie = 0;
    HRESULT hr = CoRegisterClassObject(CLSID_NavilonixAutomation, factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                       &classCookie);
    if (SUCCEEDED(hr))
        hr = RegisterActiveObject(static_cast<INavilonixAutomation*>(object.get()), CLSID_NavilonixAutomation,
                                  ACTIVEOBJECT_STRONG, &activeCookie);
    if (FAILED(hr)) {
        std::fprintf(stderr, "NavilonixServer: %s (0x%08X)\n",
                     hr == E_ACCESSDENIED ? "another NavilonixServer is already running"
                                          : "cannot publish the automation object on the session bus",
                     static_cast<unsigned>(hr));
        if (classCookie)
            CoRevokeClassObject(classCookie);
        factory->Release();
        object->shutdown();
        object->detachHost();
        object.reset();
        CoUninitialize();
        transport.reset();
        return 1;
    }
    window.log("NavilonixServer started" + std::string(args.embedding ? " by activation" : "") + "; work directory " +
               object->paths().root.string());

    bool exiting = false;
    auto exitServer = [&](bool announce) {
        if (exiting)
            return;
        exiting = true;
        if (announce)
            object->raiseEvent(DISPID_OnCloseServer);
        // The events go out before the name does: send what is queued and wait until it is written.
        transport->transport().ProcessAll();
        for (ole::Connection* connection : transport->transport().Connections())
            sd_bus_flush(connection->bus());
        // Clients read the event before they see the server go.
        QTimer::singleShot(announce ? 300 : 0, &window, [&]() {
            RevokeActiveObject(activeCookie, nullptr);
            CoRevokeClassObject(classCookie);
            factory->detach();
            object->shutdown();
            window.allowClose();
            window.close();
            QApplication::quit();
        });
    };
    window.setCloseHandler([&]() { exitServer(true); });

    // Started by activation: leave once no client is left and nobody looks at the window. After a client has gone
    // that is a moment later; without any client, two minutes after the start or after the window was hidden.
    bool hadClient = false;
    QTimer idleExit;
    idleExit.setSingleShot(true);
    auto idle = [&]() { return args.embedding && !exiting && window.clients() == 0 && !window.isVisible(); };
    QObject::connect(&idleExit, &QTimer::timeout, &window, [&]() {
        if (!idle())
            return;
        window.log(hadClient ? "the last client has gone; exiting" : "no client came; exiting");
        exitServer(false);
    });
    window.setIdleCheck([&]() {
        if (window.clients() > 0)
            hadClient = true;
        if (!idle())
            idleExit.stop();
        else
            idleExit.start(hadClient ? std::chrono::milliseconds(500) : std::chrono::minutes(2));
    });
    if (args.embedding)
        idleExit.start(std::chrono::minutes(2));

    // Without its bus nobody new can reach the server: one started by activation goes, after telling the clients
    // it still has on private channels.
    transport->transport().SetBusLostHandler([&]() {
        window.log("the connection to the session bus is lost");
        if (args.embedding)
            QTimer::singleShot(0, &window, [&]() {
                window.log("exiting: clients can no longer reach the server");
                exitServer(true);
            });
    });

    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGINT, &action, nullptr);
    }
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &window, [&]() {
        char buffer[16];
        while (::read(signalPipe[0], buffer, sizeof buffer) > 0) {
        }
        window.log("termination signal received");
        exitServer(true);
    });

    // The object's own work reaches the loop when it falls due (ServerHost::wakeUp and wakeUpIn); only the group
    // files are looked at once a second.
    QTimer files;
    QObject::connect(&files, &QTimer::timeout, &window, [&]() { object->checkGroupFiles(); });
    files.start(1000);

    if (!args.embedding)
        window.show();
    const int result = QApplication::exec();
    files.stop();
    idleExit.stop();
    // The transport may still hold the object (its connection point's advices); it must not reach the window.
    object->detachHost();
    factory->Release();
    object.reset();
    CoUninitialize();
    transport.reset();
    return result;
}
