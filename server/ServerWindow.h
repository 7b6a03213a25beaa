// The server's window: the fleet, a map of the last position or track asked for, and the log of the calls and
// events it serves, with commands to raise events by hand and to close the server.
#pragma once

#include "server/NavilonixObject.h"

#include <QMainWindow>

#include <cstdint>
#include <deque>
#include <functional>

class QLabel;
class QPlainTextEdit;
class QTimer;
class QTreeWidget;

namespace navilonix::server {

class MapView;

class ServerWindow final : public QMainWindow, public ServerHost {
public:
    explicit ServerWindow(QWidget* parent = nullptr);
    ~ServerWindow() override;

    // The object the window shows and drives; set once after both exist.
    void setObject(NavilonixObject* object);
    // Called when the user closes the window or picks "close the server".
    void setCloseHandler(std::function<void()> handler) { closeHandler_ = std::move(handler); }
    // Called when the window is hidden or the number of clients changes.
    void setIdleCheck(std::function<void()> check) { idleCheck_ = std::move(check); }
    // Lets the window close for good (the server is exiting).
    void allowClose() { closing_ = true; }
    std::size_t clients() const { return clients_; }

    // ServerHost
    void showApplication() override;
    void hideApplication() override;
    void showLastPosition(const Vehicle& vehicle, const GpsRecord& position) override;
    void showLastTrack(const Vehicle& vehicle, const std::vector<GpsRecord>& track) override;
    void showAddress(const std::string& text, double latitude, double longitude) override;
    void log(const std::string& line) override;
    void fleetChanged() override;
    void clientsChanged(std::size_t sinks) override;
    void wakeUp() override;
    void wakeUpIn(std::chrono::milliseconds delay) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // A log line waiting for the log view: the time it was made and its text, already cut to length.
    struct PendingLine {
        std::int64_t msecsSinceEpoch = 0;
        std::string text;
    };
    void createViews();
    void createActions();
    void refreshFleet();
    void updateStatus();
    void flushLog();

    NavilonixObject* object_ = nullptr;
    QTreeWidget* fleet_ = nullptr;
    MapView* map_ = nullptr;
    QPlainTextEdit* log_ = nullptr;
    QLabel* status_ = nullptr;
    QTimer* wakeUpTimer_ = nullptr; // the object's next pending work that falls due
    QTimer* logTimer_ = nullptr;    // while the window is shown, brings the waiting lines into the log view
    std::deque<PendingLine> pendingLog_;
    std::function<void()> closeHandler_;
    std::function<void()> idleCheck_;
    std::size_t clients_ = 0;
    bool closing_ = false;
    bool fleetDirty_ = false;
};

} // namespace navilonix::server
