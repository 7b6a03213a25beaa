#include "platform/qt/QtBusPump.h"

#include <QMetaObject>
#include <QSocketNotifier>

#include <poll.h>
#include <time.h>

namespace {

std::uint64_t NowUsec() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1'000'000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000u;
}

} // namespace

QtBusPump::QtBusPump(QObject* parent) : QObject(parent) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &QtBusPump::Pass);
}

QtBusPump::~QtBusPump() {
    for (auto& [connection, w] : m_watched) {
        delete w.read;
        delete w.write;
    }
}

void QtBusPump::Watch(ole::Connection& connection) {
    const int fd = connection.Fd();
    if (fd < 0 || m_watched.count(&connection))
        return;
    Watched w;
    w.read = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    w.write = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    w.write->setEnabled(false);
    ole::Connection* c = &connection;
    connect(w.read, &QSocketNotifier::activated, this, [this, c] { Ready(c); });
    connect(w.write, &QSocketNotifier::activated, this, [this, c] { Ready(c); });
    m_watched[&connection] = w;
    Schedule();
}

void QtBusPump::Unwatch(ole::Connection& connection) {
    auto it = m_watched.find(&connection);
    if (it == m_watched.end())
        return;
    // May be called from inside the notifier's own activation.
    for (QSocketNotifier* n : {it->second.read, it->second.write}) {
        n->setEnabled(false);
        n->deleteLater();
    }
    m_watched.erase(it);
}

void QtBusPump::Schedule() {
    if (m_scheduled.exchange(true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_scheduled = false;
            Pass();
        },
        Qt::QueuedConnection);
}

void QtBusPump::Pass() {
    if (!m_transport)
        return;
    // While a connection is being processed further up the stack (a server call running a modal loop), its
    // notifier stays quiet; the other connections are served.
    const bool nested = m_inPass;
    m_inPass = true;
    for (auto& [connection, w] : m_watched)
        if (connection->IsProcessing())
            w.read->setEnabled(false);
    m_transport->ProcessAll();
    m_inPass = nested;
    Rearm();
}

void QtBusPump::Ready(ole::Connection* connection) {
    if (!m_transport || !m_watched.count(connection))
        return;
    const bool nested = m_inPass;
    m_inPass = true;
    m_transport->ProcessReady(*connection);
    m_inPass = nested;
    Rearm();
}

void QtBusPump::Rearm() {
    std::uint64_t deadline = UINT64_MAX;
    for (auto& [connection, w] : m_watched) {
        const int events = connection->Events();
        const bool processing = connection->IsProcessing();
        // Only changes are passed on: each one costs the dispatcher some work.
        const bool read = !processing && events >= 0 && (events & POLLIN);
        const bool write = !processing && events >= 0 && (events & POLLOUT);
        if (w.read->isEnabled() != read)
            w.read->setEnabled(read);
        if (w.write->isEnabled() != write)
            w.write->setEnabled(write);
        if (!processing)
            deadline = std::min(deadline, connection->Deadline());
    }
    if (deadline == UINT64_MAX) {
        m_timer.stop();
        return;
    }
    const std::uint64_t now = NowUsec();
    const auto ms =
        deadline <= now ? 0 : static_cast<int>(std::min<std::uint64_t>((deadline - now + 999) / 1000, 1 << 30));
    m_timer.start(ms);
}

QtComTransport::QtComTransport()
    : m_pump(std::make_unique<QtBusPump>()), m_transport(std::make_unique<ole::DBusTransport>(m_pump.get())) {
    m_pump->SetTransport(m_transport.get());
    m_previous = CoSetTransport(m_transport.get());
}

QtComTransport::~QtComTransport() {
    CoSetTransport(m_previous);
    m_transport.reset();
    m_pump.reset();
}

std::unique_ptr<QtComTransport> InstallQtComTransport() {
    return std::make_unique<QtComTransport>();
}
