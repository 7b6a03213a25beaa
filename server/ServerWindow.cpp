#include "server/ServerWindow.h"

#include "server/MapView.h"
#include "server/core/TextFields.h"

#include <QAction>
#include <QCloseEvent>
#include <QDateTime>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QShowEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

#include <cstdio>
#include <ctime>

namespace navilonix::server {

namespace {

// The log view keeps this many lines; older ones are dropped, also from those still waiting to be shown.
constexpr int LogLines = 5000;
// While the window is shown, lines reach the log view in batches at most this far apart: laying out and painting
// the view once per line would cost the server more than the calls it logs.
constexpr int LogBatchMilliseconds = 100;

// "hh:mm:ss.zzz " of a moment, in local time. QDateTime's local time reads the zone afresh (a stat of
// /etc/localtime) for each moment; the C library reads it once, which counts at thousands of lines a second.
QString LineTime(qint64 msecsSinceEpoch) {
    const auto seconds = static_cast<std::time_t>(msecsSinceEpoch / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[20];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d ", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(msecsSinceEpoch % 1000));
    return QString::fromLatin1(text);
}

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

QString vehicleTitle(const Vehicle& v) {
    QString title = v.model.empty() ? QStringLiteral("%1").arg(v.device, 7, 10, QLatin1Char('0')) : qs(v.model);
    if (!v.number.empty())
        title += QStringLiteral(" - ") + qs(v.number);
    return title;
}

} // namespace

ServerWindow::ServerWindow(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("ServerWindow"));
    setWindowTitle(QStringLiteral("NavilonixServer — демонстрационный сервер"));
    resize(1100, 720);

    createViews();
    createActions();

    status_ = new QLabel;
    statusBar()->addPermanentWidget(status_);

    wakeUpTimer_ = new QTimer(this);
    wakeUpTimer_->setSingleShot(true);
    wakeUpTimer_->setTimerType(Qt::PreciseTimer);
    connect(wakeUpTimer_, &QTimer::timeout, this, [this]() {
        if (object_)
            object_->processPendingWork();
    });
    logTimer_ = new QTimer(this);
    logTimer_->setSingleShot(true);
    connect(logTimer_, &QTimer::timeout, this, &ServerWindow::flushLog);
}

// The fleet and the map side by side above the log.
void ServerWindow::createViews() {
    fleet_ = new QTreeWidget;
    fleet_->setObjectName(QStringLiteral("FleetTree"));
    fleet_->setHeaderLabels({QStringLiteral("Группа / ТС"), QStringLiteral("Устройство"), QStringLiteral("Связь"),
                             QStringLiteral("Координаты"), QStringLiteral("Состояние")});
    fleet_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    map_ = new MapView;
    map_->setObjectName(QStringLiteral("MapView"));
    log_ = new QPlainTextEdit;
    log_->setObjectName(QStringLiteral("LogView"));
    log_->setReadOnly(true);
    log_->setMaximumBlockCount(LogLines);
    log_->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto* top = new QSplitter(Qt::Horizontal);
    top->addWidget(fleet_);
    top->addWidget(map_);
    top->setStretchFactor(0, 3);
    top->setStretchFactor(1, 2);
    top->setSizes({600, 400}); // the fleet's columns ask for more than the map; their size hints would halve them
    auto* main = new QSplitter(Qt::Vertical);
    main->addWidget(top);
    main->addWidget(log_);
    main->setStretchFactor(0, 3);
    main->setStretchFactor(1, 2);
    setCentralWidget(main);
}

// The server's menu and the toolbar: one action per event the clients can be sent, rereading the group files and
// closing the server.
void ServerWindow::createActions() {
    auto* menu = menuBar()->addMenu(QStringLiteral("&Сервер"));
    auto* toolbar = addToolBar(QStringLiteral("События"));
    toolbar->setObjectName(QStringLiteral("EventsToolBar"));
    auto addEvent = [&](const QString& objectName, const QString& text, DISPID id) {
        auto* action = new QAction(text, this);
        action->setObjectName(objectName);
        action->setStatusTip(QStringLiteral(" Разослать клиентам событие %1 (%2)").arg(text).arg(id));
        connect(action, &QAction::triggered, this, [this, id]() {
            if (object_)
                object_->raiseEvent(id);
        });
        menu->addAction(action);
        toolbar->addAction(action);
    };
    addEvent(QStringLiteral("RaiseChangeCarsListsAction"), QStringLiteral("OnChangeCarsLists"),
             DISPID_OnChangeCarsLists);
    addEvent(QStringLiteral("RaiseChangeParametersAction"), QStringLiteral("OnChangeParameters"),
             DISPID_OnChangeParameters);
    addEvent(QStringLiteral("RaiseReceiveOnlineDataAction"), QStringLiteral("OnReceiveOnlineData"),
             DISPID_OnReceiveOnlineData);
    menu->addSeparator();
    toolbar->addSeparator();
    auto* reread = new QAction(QStringLiteral("Перечитать файлы ТС"), this);
    reread->setObjectName(QStringLiteral("RereadGroupsAction"));
    connect(reread, &QAction::triggered, this, [this]() {
        if (object_ && !object_->checkGroupFiles())
            log("group files unchanged");
    });
    menu->addAction(reread);
    menu->addSeparator();
    auto* close = new QAction(QStringLiteral("Закрыть сервер"), this);
    close->setObjectName(QStringLiteral("CloseServerAction"));
    close->setStatusTip(QStringLiteral(" Разослать OnCloseServer и завершить работу сервера"));
    connect(close, &QAction::triggered, this, [this]() {
        if (closeHandler_)
            closeHandler_();
    });
    menu->addAction(close);
    toolbar->addAction(close);
}

ServerWindow::~ServerWindow() = default;

void ServerWindow::setObject(NavilonixObject* object) {
    object_ = object;
    refreshFleet();
    updateStatus();
}

void ServerWindow::showApplication() {
    showNormal();
    raise();
    activateWindow();
}

void ServerWindow::hideApplication() {
    hide();
    if (idleCheck_)
        idleCheck_();
}

void ServerWindow::showLastPosition(const Vehicle& vehicle, const GpsRecord& position) {
    map_->showPosition(QStringLiteral("Последнее местоположение: ") + vehicleTitle(vehicle), position);
}

void ServerWindow::showLastTrack(const Vehicle& vehicle, const std::vector<GpsRecord>& track) {
    map_->showTrack(QStringLiteral("Последний трек: ") + vehicleTitle(vehicle), track);
}

void ServerWindow::showAddress(const std::string& text, double latitude, double longitude) {
    GpsRecord place;
    place.latitude = latitude;
    place.longitude = longitude;
    place.status = StatusValidFix;
    map_->showPosition(QStringLiteral("Адрес: ") + qs(text), place);
}

void ServerWindow::log(const std::string& line) {
    // Laying out a long line costs the whole server its time: the object quotes only the start of its arguments,
    // and no line is longer than this.
    constexpr std::size_t MaxLineBytes = 1000;
    PendingLine pending{QDateTime::currentMSecsSinceEpoch(), {}};
    if (line.size() > MaxLineBytes) {
        std::size_t end = MaxLineBytes;
        while (end > 0 && (static_cast<unsigned char>(line[end]) & 0xC0) == 0x80)
            --end;
        pending.text = line.substr(0, end) + "... (" + std::to_string(line.size()) + " bytes)";
    } else {
        pending.text = line;
    }
    // The line waits, with its time, until the window is shown or the next batch is due; formatting and laying
    // it out once per call would make each call several times dearer.
    pendingLog_.push_back(std::move(pending));
    if (pendingLog_.size() > static_cast<std::size_t>(LogLines))
        pendingLog_.pop_front();
    if (isVisible() && !logTimer_->isActive())
        logTimer_->start(LogBatchMilliseconds);
}

void ServerWindow::flushLog() {
    logTimer_->stop();
    if (pendingLog_.empty())
        return;
    QString text;
    for (const PendingLine& line : pendingLog_) {
        if (!text.isEmpty())
            text += QLatin1Char('\n');
        text += LineTime(line.msecsSinceEpoch) + QString::fromStdString(line.text);
    }
    // Room is made before the batch goes in: the view's own limit would drop the oldest lines by stepping a cursor
    // through them, laying each one out on the way.
    QTextDocument* document = log_->document();
    const int present = document->isEmpty() ? 0 : document->blockCount();
    const int excess = present + static_cast<int>(pendingLog_.size()) - LogLines;
    pendingLog_.clear();
    if (excess >= present) {
        log_->clear();
    } else if (excess > 0) {
        QTextCursor oldest(document);
        oldest.setPosition(document->findBlockByNumber(excess).position(), QTextCursor::KeepAnchor);
        oldest.removeSelectedText();
    }
    log_->appendPlainText(text);
}

void ServerWindow::showEvent(QShowEvent* event) {
    flushLog();
    QMainWindow::showEvent(event);
}

void ServerWindow::fleetChanged() {
    // Coalesce bursts of changes into one rebuild.
    if (fleetDirty_)
        return;
    fleetDirty_ = true;
    QTimer::singleShot(0, this, [this]() {
        fleetDirty_ = false;
        refreshFleet();
    });
}

void ServerWindow::clientsChanged(std::size_t sinks) {
    clients_ = sinks;
    updateStatus();
    if (idleCheck_)
        idleCheck_();
}

void ServerWindow::wakeUp() {
    // From any thread: the object's pending work is done on the window's thread.
    QMetaObject::invokeMethod(
        this,
        [this]() {
            if (object_)
                object_->processPendingWork();
        },
        Qt::QueuedConnection);
}

void ServerWindow::wakeUpIn(std::chrono::milliseconds delay) {
    // One timer for the earliest work; the object asks again for what is still to come.
    if (!wakeUpTimer_->isActive() || wakeUpTimer_->remainingTimeAsDuration() > delay)
        wakeUpTimer_->start(delay);
}

void ServerWindow::closeEvent(QCloseEvent* event) {
    if (closing_ || !closeHandler_) {
        event->accept();
        return;
    }
    // Closing the window closes the server, which first tells its clients.
    event->ignore();
    closeHandler_();
}

void ServerWindow::refreshFleet() {
    fleet_->clear();
    if (!object_)
        return;
    for (const Group& g : object_->groups()) {
        auto* groupItem = new QTreeWidgetItem(fleet_);
        groupItem->setText(0, qs(g.name));
        groupItem->setText(1, qs(g.fileName));
        QFont bold = groupItem->font(0);
        bold.setBold(true);
        groupItem->setFont(0, bold);
        for (const Vehicle& v : g.vehicles) {
            auto* item = new QTreeWidgetItem(groupItem);
            item->setText(0, vehicleTitle(v));
            item->setText(1, QStringLiteral("%1").arg(v.device, 7, 10, QLatin1Char('0')));
            const OnlineState* s = object_->onlineState(v.device);
            if (!s)
                continue;
            if (s->lastTime != 0)
                item->setText(2, qs(formatDateTime(s->lastTime, TextFormat{})));
            if (s->latitude != NoCoordinate)
                item->setText(3, qs(formatNumber(s->latitude, 5) + ", " + formatNumber(s->longitude, 5)));
            if (s->latitude == NoCoordinate)
                item->setText(4, QStringLiteral("нет координат"));
            else if (s->parkSeconds > 0)
                item->setText(4, QStringLiteral("стоянка ") + qs(formatDuration(s->parkSeconds, TextFormat{})));
            else if (s->speed >= 0)
                item->setText(4, QStringLiteral("движение, %1 км/ч").arg(s->speed, 0, 'f', 1));
        }
    }
    fleet_->expandAll();
}

void ServerWindow::updateStatus() {
    status_->setText(QStringLiteral("Рабочая папка: %1    Клиентов: %2")
                         .arg(object_ ? qs(object_->paths().root.string()) : QString())
                         .arg(clients_));
}

} // namespace navilonix::server
