// The Qt side of the D-Bus transport: the one start-up call that both the console and NavilonixServer make.
//
//     RegisterNavilonixMarshaling();                  // automation/NavilonixMarshal.h: how the interface travels
//     auto transport = InstallQtComTransport();       // after QApplication, on the user-interface thread
//     ... CoInitialize, GetActiveObject / CoCreateInstance / CoRegisterClassObject, exec() ...
//
// InstallQtComTransport() installs the D-Bus transport with CoSetTransport and hooks its connections into the
// Qt event loop of the calling thread: each connection's descriptor is watched with QSocketNotifier, its deadlines
// with a timer, so incoming calls and events are dispatched by the event loop on that thread, also while a modal
// dialog runs its own loop. After every synchronous call a deferred pass delivers whatever arrived meanwhile, so
// nothing stays queued and no event runs inside another call. The returned handle uninstalls the transport when it
// is destroyed (before the QCoreApplication goes).
#pragma once

#include "platform/ole/Transport.h"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <map>
#include <memory>

class QSocketNotifier;

class QtBusPump final : public QObject, public ole::TransportLoop {
public:
    explicit QtBusPump(QObject* parent = nullptr);
    ~QtBusPump() override;

    void SetTransport(ole::DBusTransport* transport) { m_transport = transport; }

    void Watch(ole::Connection& connection) override;
    void Unwatch(ole::Connection& connection) override;
    void Schedule() override;

private:
    struct Watched {
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
    };
    void Pass();
    void Ready(ole::Connection* connection);
    void Rearm();

    ole::DBusTransport* m_transport = nullptr;
    std::map<ole::Connection*, Watched> m_watched;
    QTimer m_timer;
    std::atomic<bool> m_scheduled{false};
    bool m_inPass = false;
};

class QtComTransport {
public:
    QtComTransport();
    QtComTransport(const QtComTransport&) = delete;
    QtComTransport& operator=(const QtComTransport&) = delete;
    ~QtComTransport();

    ole::DBusTransport& Transport() { return *m_transport; }

private:
    std::unique_ptr<QtBusPump> m_pump;
    std::unique_ptr<ole::DBusTransport> m_transport;
    ComTransport* m_previous = nullptr;
};

[[nodiscard]] std::unique_ptr<QtComTransport> InstallQtComTransport();
