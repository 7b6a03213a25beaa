// The automation object: lifetime, events, the fleet, check points, online data and the members it refuses.
// The computation and the trip cursors are in NavilonixTrips.cpp.
#include "server/NavilonixObject.h"

#include "platform/ole/Bstr.h"
#include "platform/rtl/FormatSettings.h"
#include "server/ComputationState.h"
#include "server/ObjectSupport.h"
#include "server/core/DemoData.h"
#include "server/core/FileUtil.h"
#include "server/core/Geo.h"
#include "server/core/GroupFile.h"
#include "server/core/RecordStore.h"
#include "server/core/TextFields.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <thread>

namespace navilonix::server {

ComPtr<NavilonixObject> NavilonixObject::create(Options options) {
    return ComPtr<NavilonixObject>::Attach(new NavilonixObject(std::move(options)));
}

NavilonixObject::NavilonixObject(Options options)
    : paths_(std::move(options.paths)), host_(options.host), onlineDelay_(options.onlineDelay) {
    eventPoint_.changed = [this](bool advised, DWORD cookie, std::size_t count) {
        log(std::string(advised ? "Advise: event sink " : "Unadvise: event sink ") + std::to_string(cookie) +
            (advised ? " connected" : " disconnected"));
        if (host_)
            host_->clientsChanged(count);
    };
    textFormat_ = textFormatFrom(CurrentFormatSettings());
    if (options.createDemoData && needsDemoData(paths_)) {
        try {
            const auto start = std::chrono::steady_clock::now();
            createDemoData(paths_);
            const auto ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
            log("demo data created in " + paths_.root.string() + " (" + std::to_string(ms.count()) + " ms)");
        } catch (const std::exception& e) {
            log(std::string("cannot create the demo data: ") + e.what());
        }
    }
    loadWorkDirectory();
}

NavilonixObject::~NavilonixObject() {
    shutdown();
}

void NavilonixObject::log(const std::string& line) const {
    if (host_)
        host_->log(line);
}

// IUnknown

HRESULT NavilonixObject::QueryInterface(REFIID riid, void** object) {
    if (!object)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, IID_INavilonixAutomation)) {
        *object = static_cast<INavilonixAutomation*>(this);
    } else if (IsEqualIID(riid, IID_IConnectionPointContainer)) {
        *object = static_cast<IConnectionPointContainer*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG NavilonixObject::AddRef() {
    return ++references_;
}

ULONG NavilonixObject::Release() {
    const ULONG left = --references_;
    if (left == 0)
        delete this;
    return left;
}

// IConnectionPointContainer

HRESULT NavilonixObject::EnumConnectionPoints(IEnumConnectionPoints** enumerator) {
    return ole::MakeConnectionPointEnumerator({&eventPoint_}, enumerator);
}

HRESULT NavilonixObject::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
    if (!point)
        return E_POINTER;
    if (!IsEqualIID(riid, DIID_INavilonixAutomationEvents)) {
        *point = nullptr;
        return CONNECT_E_NOCONNECTION;
    }
    *point = &eventPoint_;
    AddRef();
    return S_OK;
}

void NavilonixObject::raiseEvent(DISPID id) {
    const char* name = "?";
    for (const TNavilonixEventInfo& e : kNavilonixEvents)
        if (e.dispId == id)
            name = e.name;
    log(std::string("event ") + name + " (" + std::to_string(id) + ") to " + std::to_string(eventPoint_.Count()) +
        " client(s)");
    // A handler may release the object: hold a reference while the sinks are called.
    const ComPtr<INavilonixAutomation> self(this);
    bool dropped = false;
    eventPoint_.Fire(id, nullptr, [&](DWORD cookie, HRESULT hr) {
        // A client that has left without unadvising is forgotten.
        if ((hr == RPC_S_SERVER_UNAVAILABLE_HR || hr == RPC_E_DISCONNECTED) && eventPoint_.Drop(cookie)) {
            log("event sink " + std::to_string(cookie) + " is gone; forgotten");
            dropped = true;
        }
    });
    if (dropped && host_)
        host_->clientsChanged(eventPoint_.Count());
}

// The work directory

void NavilonixObject::loadWorkDirectory() {
    // Writes go through a temporary file beside their target; one killed half-way leaves that file behind.
    auto removeStale = [this](const std::filesystem::path& folder, const std::vector<std::string>& names) {
        for (const std::string& name : removeStaleTemporaryFiles(folder, names))
            log("removed " + (folder / name).string() + ", left by an interrupted write");
    };
    removeStale(paths_.root, {paths_.online().filename().string(), paths_.receiver().filename().string()});
    removeStale(paths_.groups(), {".grp"});
    removeStale(paths_.points(), {".chp"});
    std::error_code ec;
    for (std::filesystem::directory_iterator it(paths_.tracks(), ec), end; !ec && it != end; it.increment(ec))
        if (it->is_directory(ec))
            removeStale(it->path(), {".nxr"});
    loadGroups(false);
    groupSignature_ = groupFilesSignature();
    try {
        std::vector<std::string> problems;
        for (auto& [device, state] : parseOnlineStates(readWholeFile(paths_.online()), &problems))
            online_[device] = state;
        for (const auto& p : problems)
            log("Online.txt: " + p);
    } catch (const FileError& e) {
        log(std::string("no online states: ") + e.what());
    }
    receiver_ = readReceiver(paths_.receiver(), [this](const std::string& line) { log(line); });
}

void NavilonixObject::loadGroups(bool announce) {
    std::vector<std::string> problems;
    groups_ = readGroups(paths_.groups(), &problems);
    for (const auto& p : problems)
        log("skipped: " + p);
    std::size_t vehicles = 0;
    for (const Group& g : groups_)
        vehicles += g.vehicles.size();
    log("groups read: " + std::to_string(groups_.size()) + ", vehicles: " + std::to_string(vehicles));
    // Keep the cursors on existing elements.
    if (groupIndex_ > static_cast<LONG>(groups_.size()) || (groupIndex_ == 0 && !groups_.empty()))
        groupIndex_ = groups_.empty() ? 0 : 1;
    const Group* g = group();
    if (!g || carIndex_ > static_cast<LONG>(g->vehicles.size()) || carIndex_ == 0)
        carIndex_ = g && !g->vehicles.empty() ? 1 : 0;
    if (host_)
        host_->fleetChanged();
    if (announce)
        raiseEvent(DISPID_OnChangeCarsLists);
}

std::string NavilonixObject::groupFilesSignature() const {
    std::vector<std::string> parts;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(paths_.groups(), ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().extension() != ".grp")
            continue;
        std::error_code e1;
        std::error_code e2;
        const auto time = std::filesystem::last_write_time(it->path(), e1);
        const auto size = std::filesystem::file_size(it->path(), e2);
        parts.push_back(it->path().filename().string() + ':' +
                        std::to_string(e1 ? 0 : time.time_since_epoch().count()) + ':' + std::to_string(e2 ? 0 : size));
    }
    std::sort(parts.begin(), parts.end());
    std::string signature;
    for (const auto& p : parts)
        signature += p + '\n';
    return signature;
}

bool NavilonixObject::checkGroupFiles() {
    const std::string signature = groupFilesSignature();
    if (signature == groupSignature_)
        return false;
    groupSignature_ = signature;
    log("group files changed on disk; reread");
    loadGroups(true);
    return true;
}

void NavilonixObject::saveOnlineStates() {
    try {
        writeFileAtomically(paths_.online(), formatOnlineStates(std::vector<std::pair<long, OnlineState>>(
                                                 online_.begin(), online_.end())));
    } catch (const FileError& e) {
        log(std::string("cannot save the online states: ") + e.what());
    }
}

void NavilonixObject::tick() {
    processPendingWork();
    checkGroupFiles();
}

void NavilonixObject::processPendingWork() {
    finishComputation();
    finishFieldsComputing();
    const auto now = std::chrono::steady_clock::now();
    while (!pendingOnline_.empty() && pendingOnline_.front().due <= now) {
        const long device = pendingOnline_.front().device;
        pendingOnline_.pop_front();
        answerOnline(device);
    }
    while (!sleepers_.empty() && sleepers_.begin()->first <= now) {
        ole::DeferredReply reply = std::move(sleepers_.begin()->second);
        sleepers_.erase(sleepers_.begin());
        reply.Complete(S_OK);
    }
    wakeUpForPendingWork();
}

void NavilonixObject::wakeUpForPendingWork() {
    auto next = std::chrono::steady_clock::time_point::max();
    if (!pendingOnline_.empty())
        next = pendingOnline_.front().due; // due in the order asked: the delay is the same for all
    if (!sleepers_.empty())
        next = std::min(next, sleepers_.begin()->first);
    if (host_ && next != std::chrono::steady_clock::time_point::max())
        host_->wakeUpIn(std::chrono::ceil<std::chrono::milliseconds>(
            std::max(next - std::chrono::steady_clock::now(), std::chrono::steady_clock::duration::zero())));
}

const OnlineState* NavilonixObject::onlineState(long device) const {
    const auto it = online_.find(device);
    return it == online_.end() ? nullptr : &it->second;
}

// The device's answer: thirty seconds more of its life.
void NavilonixObject::answerOnline(long device) {
    OnlineState& s = online_[device];
    constexpr long Step = 30;
    s.lastTime = s.lastTime == 0 ? static_cast<UnixTime>(std::time(nullptr)) : s.lastTime + Step;
    if (s.latitude != NoCoordinate) {
        s.lastFixTime = s.lastTime;
        if (s.parkSeconds == 0 && s.speed > 0) {
            const GeoPoint p = moveBy(s.latitude, s.longitude, std::max(0.0, s.course), s.speed / 3.6 * Step);
            s.latitude = p.latitude;
            s.longitude = p.longitude;
        } else {
            s.parkSeconds += Step;
        }
    }
    saveOnlineStates();
    // The answer joins the device's archive, as any record it sends.
    if (s.latitude != NoCoordinate) {
        GpsRecord r;
        r.time = s.lastTime;
        r.latitude = s.latitude;
        r.longitude = s.longitude;
        r.speed = static_cast<float>(std::max(0.0, s.speed));
        r.course = static_cast<float>(s.course);
        r.status = StatusValidFix;
        if (s.flags != NoFlags) {
            r.status |= (s.flags & 0x04) ? StatusExternalPower : 0;
            r.inputs = static_cast<std::uint16_t>(((s.flags >> 1) & 1) | ((s.flags & 1) << 1) |
                                                  (((s.flags >> 4) & 0x3F) << 2));
        }
        try {
            RecordStore(paths_.tracks()).append(device, {r});
        } catch (const std::exception& e) {
            log(std::string("cannot store the online record: ") + e.what());
        }
    }
    log("online data of " + std::to_string(device) + " received");
    if (host_)
        host_->fleetChanged();
    raiseEvent(DISPID_OnReceiveOnlineData);
}

// Cursors

const Group* NavilonixObject::group() const {
    if (groupIndex_ < 1 || groupIndex_ > static_cast<LONG>(groups_.size()))
        return nullptr;
    return &groups_[static_cast<std::size_t>(groupIndex_ - 1)];
}

const Vehicle* NavilonixObject::car() const {
    const Group* g = group();
    if (!g || carIndex_ < 1 || carIndex_ > static_cast<LONG>(g->vehicles.size()))
        return nullptr;
    return &g->vehicles[static_cast<std::size_t>(carIndex_ - 1)];
}

const OnlineState* NavilonixObject::carOnline() const {
    const Vehicle* v = car();
    return v ? onlineState(v->device) : nullptr;
}

CheckPoint* NavilonixObject::checkPoint() {
    if (checkPointIndex_ < 1 || checkPointIndex_ > static_cast<LONG>(checkPoints_.size()))
        return nullptr;
    return &checkPoints_[static_cast<std::size_t>(checkPointIndex_ - 1)];
}

Vehicle* NavilonixObject::findVehicle(std::string_view groupFile, long device, Group** owner) {
    for (Group& g : groups_) {
        if (!sameFileName(g.fileName, groupFile))
            continue;
        for (Vehicle& v : g.vehicles)
            if (v.device == device) {
                if (owner)
                    *owner = &g;
                return &v;
            }
    }
    return nullptr;
}

std::string NavilonixObject::text(UnixTime time) const {
    return time == 0 ? std::string() : formatDateTime(time, textFormat_);
}

// Server and groups

HRESULT NavilonixObject::get_CurrentVersion(BSTR* Value) {
    return readText(Value, "NavilonixServer 1.0");
}
HRESULT NavilonixObject::get_GroupsNum(LONG* Value) {
    return readLong(Value, static_cast<long>(groups_.size()));
}
HRESULT NavilonixObject::get_GroupIndex(LONG* Value) {
    return readLong(Value, groupIndex_);
}
HRESULT NavilonixObject::set_GroupIndex(LONG Value) {
    log("GroupIndex := " + std::to_string(Value));
    if (Value < 1 || Value > static_cast<LONG>(groups_.size()))
        return S_FALSE;
    groupIndex_ = Value;
    carIndex_ = group()->vehicles.empty() ? 0 : 1;
    return S_OK;
}
HRESULT NavilonixObject::get_GroupCarsNum(LONG* Value) {
    const Group* g = group();
    return readLong(Value, g ? static_cast<long>(g->vehicles.size()) : 0);
}
HRESULT NavilonixObject::get_CarIndex(LONG* Value) {
    return readLong(Value, carIndex_);
}
HRESULT NavilonixObject::set_CarIndex(LONG Value) {
    log("CarIndex := " + std::to_string(Value));
    const Group* g = group();
    if (!g || Value < 1 || Value > static_cast<LONG>(g->vehicles.size()))
        return S_FALSE;
    carIndex_ = Value;
    return S_OK;
}
HRESULT NavilonixObject::get_GroupName(BSTR* Value) {
    return readText(Value, group() ? group()->name : std::string());
}
HRESULT NavilonixObject::get_GroupAddress(BSTR* Value) {
    return readText(Value, group() ? group()->address : std::string());
}
HRESULT NavilonixObject::get_GroupContacts(BSTR* Value) {
    return readText(Value, group() ? group()->contacts : std::string());
}
HRESULT NavilonixObject::get_GroupFileName(BSTR* Value) {
    return readText(Value, group() ? group()->fileName : std::string());
}
HRESULT NavilonixObject::SetGroupIndexByFileName(BSTR GroupFile) {
    const std::string name = BstrToUtf8(GroupFile);
    log("SetGroupIndexByFileName(" + excerpt(name) + ")");
    for (std::size_t i = 0; i < groups_.size(); ++i)
        if (sameFileName(groups_[i].fileName, name)) {
            groupIndex_ = static_cast<LONG>(i + 1);
            carIndex_ = groups_[i].vehicles.empty() ? 0 : 1;
            return S_OK;
        }
    // No such group: no group is current, so the vehicle cursor lists nothing.
    groupIndex_ = 0;
    carIndex_ = 0;
    return E_INVALIDARG;
}
HRESULT NavilonixObject::SetCarIndexByDevice(LONG Device) {
    log("SetCarIndexByDevice(" + std::to_string(Device) + ")");
    const Group* g = group();
    if (!g)
        return E_UNEXPECTED;
    for (std::size_t i = 0; i < g->vehicles.size(); ++i)
        if (g->vehicles[i].device == Device) {
            carIndex_ = static_cast<LONG>(i + 1);
            return S_OK;
        }
    return E_INVALIDARG;
}
HRESULT NavilonixObject::WaitForInitializing() {
    // The groups are read when the object is created.
    return S_OK;
}

// The current vehicle

HRESULT NavilonixObject::get_CarDevice(LONG* Value) {
    return readLong(Value, car() ? car()->device : 0);
}
HRESULT NavilonixObject::get_CarModel(BSTR* Value) {
    return readText(Value, car() ? car()->model : std::string());
}
HRESULT NavilonixObject::get_CarNumber(BSTR* Value) {
    return readText(Value, car() ? car()->number : std::string());
}
HRESULT NavilonixObject::get_CarAlias(BSTR* Value) {
    return readText(Value, car() ? car()->alias : std::string());
}
HRESULT NavilonixObject::get_CarTelNum(BSTR* Value) {
    return readText(Value, car() ? car()->phone : std::string());
}
HRESULT NavilonixObject::get_CarRoute(BSTR* Value) {
    return readText(Value, car() ? car()->route : std::string());
}
HRESULT NavilonixObject::get_CarDrivers(BSTR* Value) {
    return readText(Value, car() ? car()->drivers : std::string());
}
HRESULT NavilonixObject::get_CarCheckPointsFile(BSTR* Value) {
    return readText(Value, car() ? car()->chp.checkPointsFile : std::string());
}
HRESULT NavilonixObject::get_CarGeoZonesFile(BSTR* Value) {
    return readText(Value, car() ? car()->chp.geoZonesFile : std::string());
}
HRESULT NavilonixObject::get_CarHandle(BSTR* Value) {
    return readText(Value, car() ? group()->fileName + "/" + std::to_string(car()->device) : std::string());
}
HRESULT NavilonixObject::get_CarLatitude(DOUBLE* Value) {
    return readDouble(Value, carOnline() ? carOnline()->latitude : NoCoordinate);
}
HRESULT NavilonixObject::get_CarLongitude(DOUBLE* Value) {
    return readDouble(Value, carOnline() ? carOnline()->longitude : NoCoordinate);
}
HRESULT NavilonixObject::get_CarCourse(DOUBLE* Value) {
    return readDouble(Value, carOnline() ? carOnline()->course : -1.0);
}
HRESULT NavilonixObject::get_CarSpeed(DOUBLE* Value) {
    return readDouble(Value, carOnline() ? carOnline()->speed : -1.0);
}
HRESULT NavilonixObject::get_CarParkTime(BSTR* Value) {
    // A time of day, so that it reads back as one; stops of a day or more show 23:59:59.
    return readText(Value, formatTimeOfDay(carOnline() ? carOnline()->parkSeconds : 0, textFormat_));
}
HRESULT NavilonixObject::get_CarLastTime(BSTR* Value) {
    return readText(Value, carOnline() ? text(carOnline()->lastTime) : std::string());
}
HRESULT NavilonixObject::get_CarLastATime(BSTR* Value) {
    return readText(Value, carOnline() ? text(carOnline()->lastFixTime) : std::string());
}
HRESULT NavilonixObject::get_CarFlags(LONG* Value) {
    return readLong(Value, carOnline() ? carOnline()->flags : NoFlags);
}
namespace {
// The sensor's state from the flags in the console's layout: 1 on, 0 off, -1 unknown.
long sensorFromFlags(long flags, int sensor) {
    if (flags == NoFlags)
        return -1;
    const int bit = sensor == 1 ? 1 : sensor == 2 ? 0 : sensor + 1;
    return (flags >> bit) & 1;
}
} // namespace

#define NVX_CAR_SENSOR(n)                                                                                              \
    HRESULT NavilonixObject::get_CarSensor##n(LONG* Value) {                                                           \
        return readLong(Value, sensorFromFlags(carOnline() ? carOnline()->flags : NoFlags, n));                        \
    }
NVX_CAR_SENSOR(1)
NVX_CAR_SENSOR(2)
NVX_CAR_SENSOR(3)
NVX_CAR_SENSOR(4)
NVX_CAR_SENSOR(5)
NVX_CAR_SENSOR(6)
NVX_CAR_SENSOR(7)
NVX_CAR_SENSOR(8)
#undef NVX_CAR_SENSOR

// The window and the map

HRESULT NavilonixObject::ShowApplication() {
    log("ShowApplication()");
    if (host_)
        host_->showApplication();
    return S_OK;
}
HRESULT NavilonixObject::HideApplication() {
    log("HideApplication()");
    if (host_)
        host_->hideApplication();
    return S_OK;
}
HRESULT NavilonixObject::GoToCarLastPosition(BSTR GroupFile, LONG Device) {
    const std::string file = BstrToUtf8(GroupFile);
    log("GoToCarLastPosition(" + excerpt(file) + ", " + std::to_string(Device) + ")");
    const Vehicle* v = findVehicle(file, Device);
    if (!v) {
        log("  no vehicle " + std::to_string(Device) + " in " + excerpt(file));
        return E_INVALIDARG;
    }
    GpsRecord position;
    const OnlineState* s = onlineState(Device);
    if (s && s->latitude != NoCoordinate) {
        position.time = s->lastFixTime;
        position.latitude = s->latitude;
        position.longitude = s->longitude;
        position.course = static_cast<float>(s->course);
        position.speed = static_cast<float>(std::max(0.0, s->speed));
        position.status = StatusValidFix;
    } else if (auto last = RecordStore(paths_.tracks()).last(Device); last && last->validFix()) {
        position = *last;
    } else {
        log("  the vehicle has no position");
        return S_FALSE;
    }
    if (host_)
        host_->showLastPosition(*v, position);
    return S_OK;
}
HRESULT NavilonixObject::GoToCarLastTrack(BSTR GroupFile, LONG Device) {
    const std::string file = BstrToUtf8(GroupFile);
    log("GoToCarLastTrack(" + excerpt(file) + ", " + std::to_string(Device) + ")");
    const Vehicle* v = findVehicle(file, Device);
    if (!v) {
        log("  no vehicle " + std::to_string(Device) + " in " + excerpt(file));
        return E_INVALIDARG;
    }
    // The last track: the day of records before the latest one.
    const RecordStore store(paths_.tracks());
    const auto last = store.last(Device);
    std::vector<GpsRecord> track;
    if (last) {
        std::vector<std::string> problems;
        for (const GpsRecord& r : store.read(Device, last->time - 86400, last->time, &problems))
            if (r.validFix())
                track.push_back(r);
        for (const auto& p : problems)
            log("  " + p);
    }
    if (track.empty()) {
        log("  the vehicle has no track");
        return S_FALSE;
    }
    if (host_)
        host_->showLastTrack(*v, track);
    return S_OK;
}

// Check points

HRESULT NavilonixObject::get_CheckPointsNum(LONG* Value) {
    return readLong(Value, static_cast<long>(checkPoints_.size()));
}
HRESULT NavilonixObject::get_CheckPointIndex(LONG* Value) {
    return readLong(Value, checkPointIndex_);
}
HRESULT NavilonixObject::set_CheckPointIndex(LONG Value) {
    log("CheckPointIndex := " + std::to_string(Value));
    if (Value < 1 || Value > static_cast<LONG>(checkPoints_.size()))
        return S_FALSE;
    checkPointIndex_ = Value;
    return S_OK;
}

#define NVX_CHECKPOINT_TEXT(Name, member)                                                                              \
    HRESULT NavilonixObject::get_CheckPoint##Name(BSTR* Value) {                                                       \
        return readText(Value, checkPoint() ? checkPoint()->member : std::string());                                   \
    }                                                                                                                  \
    HRESULT NavilonixObject::set_CheckPoint##Name(BSTR Value) {                                                        \
        const std::string text = BstrToUtf8(Value);                                                                    \
        log("CheckPoint" #Name " := " + excerpt(text));                                                                \
        if (!checkPoint())                                                                                             \
            return E_UNEXPECTED;                                                                                       \
        checkPoint()->member = text;                                                                                   \
        return S_OK;                                                                                                   \
    }
NVX_CHECKPOINT_TEXT(Name, name)
NVX_CHECKPOINT_TEXT(Address, address)
NVX_CHECKPOINT_TEXT(ID, id)
#undef NVX_CHECKPOINT_TEXT

HRESULT NavilonixObject::get_CheckPointLatitude(DOUBLE* Value) {
    return readDouble(Value, checkPoint() ? checkPoint()->latitude : 0.0);
}
HRESULT NavilonixObject::set_CheckPointLatitude(DOUBLE Value) {
    log("CheckPointLatitude := " + formatNumber(Value, 7));
    if (!checkPoint())
        return E_UNEXPECTED;
    if (!(Value >= -90.0 && Value <= 90.0))
        return E_INVALIDARG;
    checkPoint()->latitude = Value;
    return S_OK;
}
HRESULT NavilonixObject::get_CheckPointLongitude(DOUBLE* Value) {
    return readDouble(Value, checkPoint() ? checkPoint()->longitude : 0.0);
}
HRESULT NavilonixObject::set_CheckPointLongitude(DOUBLE Value) {
    log("CheckPointLongitude := " + formatNumber(Value, 7));
    if (!checkPoint())
        return E_UNEXPECTED;
    if (!(Value >= -180.0 && Value <= 180.0))
        return E_INVALIDARG;
    checkPoint()->longitude = Value;
    return S_OK;
}
HRESULT NavilonixObject::get_CheckPointRadius(LONG* Value) {
    return readLong(Value, checkPoint() ? checkPoint()->radius : 0);
}
HRESULT NavilonixObject::set_CheckPointRadius(LONG Value) {
    log("CheckPointRadius := " + std::to_string(Value));
    if (!checkPoint())
        return E_UNEXPECTED;
    if (Value < 1)
        return E_INVALIDARG;
    checkPoint()->radius = Value;
    return S_OK;
}
HRESULT NavilonixObject::get_CheckPointFixTime(LONG* Value) {
    return readLong(Value, checkPoint() ? checkPoint()->fixTime : 0);
}
HRESULT NavilonixObject::set_CheckPointFixTime(LONG Value) {
    log("CheckPointFixTime := " + std::to_string(Value));
    if (!checkPoint())
        return E_UNEXPECTED;
    if (Value < 0)
        return E_INVALIDARG;
    checkPoint()->fixTime = Value;
    return S_OK;
}
HRESULT NavilonixObject::get_CheckPointWeekDays(LONG* Value) {
    return readLong(Value, checkPoint() ? checkPoint()->weekDays : 0);
}
HRESULT NavilonixObject::set_CheckPointWeekDays(LONG Value) {
    log("CheckPointWeekDays := " + std::to_string(Value));
    if (!checkPoint())
        return E_UNEXPECTED;
    if (Value < 0 || Value > 127)
        return E_INVALIDARG;
    checkPoint()->weekDays = Value;
    return S_OK;
}

CheckPointList NavilonixObject::readCheckPoints(const std::filesystem::path& path) const {
    std::vector<std::string> problems;
    CheckPointList list = readCheckPointFile(path, &problems);
    for (const auto& p : problems)
        log("  skipped: " + p);
    return list;
}

HRESULT NavilonixObject::LoadChPFromFile(BSTR FileName) {
    const std::string name = BstrToUtf8(FileName);
    if (!isBareListName(name)) {
        log("LoadChPFromFile(" + excerpt(name) + "): refused, not a bare list name");
        return HRESULT_FROM_WIN32(ErrorInvalidName);
    }
    log("LoadChPFromFile(" + excerpt(name) + ")");
    const auto path = paths_.points() / (name + ".chp");
    try {
        checkPoints_ = readCheckPoints(path).points;
        checkPointIndex_ = checkPoints_.empty() ? 0 : 1;
        log("  " + std::to_string(checkPoints_.size()) + " check point(s) loaded");
        return S_OK;
    } catch (const FileError& e) {
        log(std::string("  ") + e.what());
        return resultOfFileError(path, false);
    }
}
HRESULT NavilonixObject::SaveChPToFile(BSTR FileName) {
    const std::string name = BstrToUtf8(FileName);
    if (!isBareListName(name)) {
        log("SaveChPToFile(" + excerpt(name) + "): refused, not a bare list name");
        return HRESULT_FROM_WIN32(ErrorInvalidName);
    }
    log("SaveChPToFile(" + excerpt(name) + ")");
    const auto path = paths_.points() / (name + ".chp");
    try {
        // The geozones a file already holds stay in it.
        CheckPointList list;
        if (std::filesystem::exists(path))
            list.zones = readCheckPointFile(path, nullptr).zones;
        list.points = checkPoints_;
        std::filesystem::create_directories(paths_.points());
        writeCheckPointFile(path, list);
        log("  " + std::to_string(checkPoints_.size()) + " check point(s) saved");
        return S_OK;
    } catch (const std::exception& e) {
        log(std::string("  ") + e.what());
        return resultOfFileError(path, true);
    }
}
HRESULT NavilonixObject::ClearCheckPoints() {
    log("ClearCheckPoints()");
    checkPoints_.clear();
    checkPointIndex_ = 0;
    return S_OK;
}
HRESULT NavilonixObject::AddCheckPoint(BSTR Name, BSTR Address, BSTR ID, DOUBLE Latitude, DOUBLE Longitude,
                                       LONG Radius) {
    return AddCheckPointEx(Name, Address, ID, Latitude, Longitude, Radius, 0, 127);
}
HRESULT NavilonixObject::AddCheckPointEx(BSTR Param1, BSTR Param2, BSTR Param3, DOUBLE Param4, DOUBLE Param5,
                                         LONG Param6, LONG Param7, LONG Param8) {
    CheckPoint p{BstrToUtf8(Param1), BstrToUtf8(Param2), BstrToUtf8(Param3), Param4, Param5, Param6, Param7, Param8};
    log("AddCheckPoint(" + excerpt(p.name) + ", " + excerpt(p.address) + ", " + excerpt(p.id) + ", " +
        formatNumber(p.latitude, 7) + ", " + formatNumber(p.longitude, 7) + ", " + std::to_string(p.radius) + ")");
    if (!(p.latitude >= -90 && p.latitude <= 90 && p.longitude >= -180 && p.longitude <= 180) || p.radius < 1 ||
        p.fixTime < 0 || p.weekDays < 0 || p.weekDays > 127) {
        log("  refused: coordinates, radius or schedule out of range");
        return E_INVALIDARG;
    }
    checkPoints_.push_back(std::move(p));
    checkPointIndex_ = static_cast<LONG>(checkPoints_.size());
    return S_OK;
}
HRESULT NavilonixObject::DeleteCheckPoint() {
    log("DeleteCheckPoint() of " + std::to_string(checkPointIndex_));
    if (!checkPoint())
        return E_UNEXPECTED;
    checkPoints_.erase(checkPoints_.begin() + (checkPointIndex_ - 1));
    // The next check point takes the deleted one's place; after the last, the new last one is current.
    checkPointIndex_ = std::min(checkPointIndex_, static_cast<LONG>(checkPoints_.size()));
    return S_OK;
}
HRESULT NavilonixObject::get_WorkDirectory(BSTR* Value) {
    return readText(Value, paths_.root.string());
}
HRESULT NavilonixObject::SetCurrentCoords(DOUBLE Latitude, DOUBLE Longitude) {
    log("SetCurrentCoords(" + formatNumber(Latitude, 7) + ", " + formatNumber(Longitude, 7) + ")");
    // NaN would fall inside every circle.
    if (!std::isfinite(Latitude) || !std::isfinite(Longitude)) {
        log("  refused: the coordinates are not numbers");
        return E_INVALIDARG;
    }
    coordsCheckPoint_ = 0;
    double best = 0.0;
    for (std::size_t i = 0; i < checkPoints_.size(); ++i) {
        const CheckPoint& c = checkPoints_[i];
        if (!insideCircle(c, Latitude, Longitude))
            continue;
        const double d = distanceMeters(c.latitude, c.longitude, Latitude, Longitude);
        if (coordsCheckPoint_ == 0 || d < best) {
            coordsCheckPoint_ = static_cast<LONG>(i + 1);
            best = d;
        }
    }
    return S_OK;
}
HRESULT NavilonixObject::get_CurrentCheckPointIndex(LONG* Value) {
    return readLong(Value, coordsCheckPoint_);
}

HRESULT NavilonixObject::SetCarChPParameters(BSTR GroupFile, LONG Device, LONG UseDefaults, BSTR CheckPointsFile,
                                             LONG CallOnPark, LONG ParkMinutes, LONG CallOnSensor, LONG SensorNumber,
                                             LONG SensorSeconds, BSTR GeoZonesFile) {
    const std::string file = BstrToUtf8(GroupFile);
    ChPParameters p;
    p.useDefaults = UseDefaults != 0;
    p.checkPointsFile = BstrToUtf8(CheckPointsFile);
    p.callOnPark = CallOnPark != 0;
    p.parkMinutes = ParkMinutes;
    p.callOnSensor = CallOnSensor != 0;
    p.sensorNumber = SensorNumber;
    p.sensorSeconds = SensorSeconds;
    p.geoZonesFile = BstrToUtf8(GeoZonesFile);
    log("SetCarChPParameters(" + excerpt(file) + ", " + std::to_string(Device) + ", " + std::to_string(UseDefaults) +
        ", " + excerpt(p.checkPointsFile) + ", " + std::to_string(CallOnPark) + ", " + std::to_string(ParkMinutes) +
        ", " + std::to_string(CallOnSensor) + ", " + std::to_string(SensorNumber) + ", " +
        std::to_string(SensorSeconds) + ", " + excerpt(p.geoZonesFile) + ")");
    Group* owner = nullptr;
    Vehicle* v = findVehicle(file, Device, &owner);
    if (!v) {
        log("  no vehicle " + std::to_string(Device) + " in " + excerpt(file));
        return E_INVALIDARG;
    }
    if (p.parkMinutes < 0 || p.sensorSeconds < 0 || p.sensorNumber < 1 || p.sensorNumber > SensorCount ||
        (!p.checkPointsFile.empty() && !isBareListName(p.checkPointsFile)) ||
        (!p.geoZonesFile.empty() && !isBareListName(p.geoZonesFile))) {
        log("  refused: a value out of range or a list name that is not bare");
        return E_INVALIDARG;
    }
    const ChPParameters previous = v->chp;
    v->chp = p;
    try {
        writeGroupFile(paths_.groups(), *owner);
        groupSignature_ = groupFilesSignature(); // our own change is no change on disk
    } catch (const FileError& e) {
        v->chp = previous;
        log(std::string("  ") + e.what());
        return resultOfFileError(paths_.groups() / owner->fileName, true);
    }
    if (host_)
        host_->fleetChanged();
    raiseEvent(DISPID_OnChangeParameters);
    return S_OK;
}

// Online data and the server's receiver

HRESULT NavilonixObject::ReceiveOnlineData(LONG Device) {
    log("ReceiveOnlineData(" + std::to_string(Device) + ")");
    bool known = false;
    for (const Group& g : groups_)
        for (const Vehicle& v : g.vehicles)
            known |= v.device == Device;
    if (!known) {
        log("  no vehicle " + std::to_string(Device));
        return E_INVALIDARG;
    }
    pendingOnline_.push_back(PendingOnline{Device, std::chrono::steady_clock::now() + onlineDelay_});
    wakeUpForPendingWork();
    return S_OK;
}
HRESULT NavilonixObject::get_CurrentTime(BSTR* Value) {
    return readText(Value, receiver_ ? text(static_cast<UnixTime>(std::time(nullptr))) : std::string());
}
HRESULT NavilonixObject::get_CurrentLatitude(DOUBLE* Value) {
    return readDouble(Value, receiver_ ? receiver_->latitude : NoCoordinate);
}
HRESULT NavilonixObject::get_CurrentLongitude(DOUBLE* Value) {
    return readDouble(Value, receiver_ ? receiver_->longitude : NoCoordinate);
}
HRESULT NavilonixObject::get_CurrentAltitude(DOUBLE* Value) {
    return readDouble(Value, receiver_ ? receiver_->altitude : NoAltitude);
}

HRESULT NavilonixObject::EnterPassword(BSTR) {
    log("EnterPassword(...): the demo server has no password");
    return S_OK;
}
HRESULT NavilonixObject::Sleep(LONG Param1) {
    log("Sleep(" + std::to_string(Param1) + ")");
    const auto delay = std::chrono::milliseconds(std::clamp<LONG>(Param1, 0, MaxSleepMilliseconds));
    // Over the bus the caller gets its answer when the time is up, and the server serves the others meanwhile.
    if (ole::DeferredReply reply = ole::DeferCurrentCall()) {
        sleepers_.emplace(std::chrono::steady_clock::now() + delay, std::move(reply));
        wakeUpForPendingWork();
        return S_OK;
    }
    std::this_thread::sleep_for(delay);
    return S_OK;
}

} // namespace navilonix::server
