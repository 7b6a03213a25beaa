// NavilonixServer: the demo tracking server. Publishes its automation object on the session bus, shows its window
// unless started by activation, and closes on its window, SIGTERM or SIGINT after telling its clients.
#include "automation/NavilonixMarshal.h"
#include "platform/ole/Registry.h"
#include "platform/ole/ServiceFile.h"
#include "platform/qt/QtBusPump.h"
#include "platform/qt/QtTranslations.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/ScopeExit.h"
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
#include <memory>
#include <optional>
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

int registerServer(const Arguments& args) {
    std::string error;
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

// The running server: its window, its published object and the ways it leaves. COM and the object's registration
// are released by scope on every way out of run(); the transport goes after COM, the window after the transport.
class ServerApplication {
public:
    explicit ServerApplication(Arguments args) : args_(std::move(args)) {}
    int run();

private:
    bool anotherServerRunning();
    bool publish();
    void exitServer(bool announce);
    bool idle() const;
    void watchIdle();
    void watchBus();
    void watchSignals();

    Arguments args_;
    std::optional<ServerWindow> window_;
    QTimer idleExit_;
    std::optional<QSocketNotifier> signalNotifier_;
    QTimer files_;
    std::unique_ptr<QtComTransport> transport_;
    ComPtr<NavilonixObject> object_;
    ClassFactory* factory_ = nullptr;
    DWORD classCookie_ = 0;
    DWORD activeCookie_ = 0;
    bool exiting_ = false;
    bool hadClient_ = false;
};

int ServerApplication::run() {
    transport_ = InstallQtComTransport();
    if (FAILED(CoInitialize(nullptr))) {
        std::fprintf(stderr, "NavilonixServer: cannot initialise COM\n");
        return 1;
    }
    const TScopeExit uninitialize([] { CoUninitialize(); });

    // Leave before touching the work directory when another server has the bus name already.
    if (anotherServerRunning())
        return 1;

    const std::filesystem::path workDir = args_.workDir.empty() ? defaultWorkDir() : args_.workDir;
    std::error_code ec;
    std::filesystem::create_directories(workDir, ec);
    if (ec || !std::filesystem::is_directory(workDir)) {
        std::fprintf(stderr, "NavilonixServer: cannot use the work directory %s: %s\n", workDir.c_str(),
                     ec.message().c_str());
        return 1;
    }

    ServerWindow& window = window_.emplace();
    object_ = NavilonixObject::create(NavilonixObject::Options{WorkPaths{std::filesystem::absolute(workDir)}, &window,
                                                               std::chrono::milliseconds(300), true});
    window.setObject(object_.get());
    factory_ = new ClassFactory(static_cast<INavilonixAutomation*>(object_.get()));
    // The transport may still hold the object (its connection point's advices); it must not reach the window.
    const TScopeExit release([this] {
        object_->detachHost();
        factory_->Release();
        object_.reset();
    });
    if (!publish())
        return 1;
    window.log("NavilonixServer started" + std::string(args_.embedding ? " by activation" : "") + "; work directory " +
               object_->paths().root.string());

    window.setCloseHandler([this]() { exitServer(true); });
    watchIdle();
    watchBus();
    watchSignals();

    // The object's own work reaches the loop when it falls due (ServerHost::wakeUp and wakeUpIn); only the group
    // files are looked at once a second.
    QObject::connect(&files_, &QTimer::timeout, &window, [this]() { object_->checkGroupFiles(); });
    files_.start(1000);

    if (!args_.embedding)
        window.show();
    const int result = QApplication::exec();
    files_.stop();
    idleExit_.stop();
    return result;
}

bool ServerApplication::anotherServerRunning() {
    ComPtr<IUnknown> running;
    if (FAILED(GetActiveObject(CLSID_NavilonixAutomation, nullptr, running.out())) || !running)
        return false;
    std::fprintf(stderr, "NavilonixServer: another NavilonixServer is already running\n");
    return true;
}

// Publishes the object; a second server finds the bus name taken and leaves.
bool ServerApplication::publish() {
    HRESULT hr = CoRegisterClassObject(CLSID_NavilonixAutomation, factory_, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                       &classCookie_);
    if (SUCCEEDED(hr))
        hr = RegisterActiveObject(static_cast<INavilonixAutomation*>(object_.get()), CLSID_NavilonixAutomation,
                                  ACTIVEOBJECT_STRONG, &activeCookie_);
    if (SUCCEEDED(hr))
        return true;
    std::fprintf(stderr, "NavilonixServer: %s (0x%08X)\n",
                 hr == E_ACCESSDENIED ? "another NavilonixServer is already running"
                                      : "cannot publish the automation object on the session bus",
                 static_cast<unsigned>(hr));
    if (classCookie_)
        CoRevokeClassObject(classCookie_);
    object_->shutdown();
    return false;
}

void ServerApplication::exitServer(bool announce) {
    if (exiting_)
        return;
    exiting_ = true;
    if (announce)
        object_->raiseEvent(DISPID_OnCloseServer);
    // The events go out before the name does: send what is queued and wait until it is written.
    transport_->Transport().ProcessAll();
    for (ole::Connection* connection : transport_->Transport().Connections())
        sd_bus_flush(connection->Bus());
    // Clients read the event before they see the server go.
    QTimer::singleShot(announce ? 300 : 0, &*window_, [this]() {
        RevokeActiveObject(activeCookie_, nullptr);
        CoRevokeClassObject(classCookie_);
        factory_->detach();
        object_->shutdown();
        window_->allowClose();
        window_->close();
        QApplication::quit();
    });
}

bool ServerApplication::idle() const {
    return args_.embedding && !exiting_ && window_->clients() == 0 && !window_->isVisible();
}

// Started by activation: leave once no client is left and nobody looks at the window. After a client has gone
// that is a moment later; without any client, two minutes after the start or after the window was hidden.
void ServerApplication::watchIdle() {
    idleExit_.setSingleShot(true);
    QObject::connect(&idleExit_, &QTimer::timeout, &*window_, [this]() {
        if (!idle())
            return;
        window_->log(hadClient_ ? "the last client has gone; exiting" : "no client came; exiting");
        exitServer(false);
    });
    window_->setIdleCheck([this]() {
        if (window_->clients() > 0)
            hadClient_ = true;
        if (!idle())
            idleExit_.stop();
        else
            idleExit_.start(hadClient_ ? std::chrono::milliseconds(500) : std::chrono::minutes(2));
    });
    if (args_.embedding)
        idleExit_.start(std::chrono::minutes(2));
}

// Without its bus nobody new can reach the server: one started by activation goes, after telling the clients it
// still has on private channels.
void ServerApplication::watchBus() {
    transport_->Transport().SetBusLostHandler([this]() {
        window_->log("the connection to the session bus is lost");
        if (args_.embedding)
            QTimer::singleShot(0, &*window_, [this]() {
                window_->log("exiting: clients can no longer reach the server");
                exitServer(true);
            });
    });
}

void ServerApplication::watchSignals() {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGINT, &action, nullptr);
    }
    signalNotifier_.emplace(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&*signalNotifier_, &QSocketNotifier::activated, &*window_, [this]() {
        char buffer[16];
        while (::read(signalPipe[0], buffer, sizeof buffer) > 0) {
        }
        window_->log("termination signal received");
        exitServer(true);
    });
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
    if (args.registerServer || args.unregisterServer)
        return registerServer(args);

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
    ServerApplication server(std::move(args));
    return server.run();
}
