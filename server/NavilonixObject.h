// The server's automation object: INavilonixAutomation over the server core, with one connection point for
// INavilonixAutomationEvents.
#pragma once

#include "automation/Navilonix_tlb.h"
#include "platform/ole/ComPtr.h"
#include "platform/ole/Connections.h"
#include "platform/ole/DeferredReply.h"
#include "platform/ole/Dispatch.h"
#include "server/core/CheckPointFile.h"
#include "server/core/FieldComputer.h"
#include "server/core/Gazetteer.h"
#include "server/core/Model.h"
#include "server/core/PropertyStore.h"
#include "server/core/TimeText.h"
#include "server/core/TripComputer.h"
#include "server/core/WorkPaths.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace navilonix::server {

class CsvTable;

// What the object asks of the program around it: its window, its log and its main loop. Every call but
// wakeUp() comes on the main thread.
class ServerHost {
public:
    virtual ~ServerHost() = default;
    virtual void showApplication() {}
    virtual void hideApplication() {}
    virtual void showLastPosition(const Vehicle& /*vehicle*/, const GpsRecord& /*position*/) {}
    virtual void showLastTrack(const Vehicle& /*vehicle*/, const std::vector<GpsRecord>& /*track*/) {}
    // An address found by ShowAddress or FindNearestAddress.
    virtual void showAddress(const std::string& /*text*/, double /*latitude*/, double /*longitude*/) {}
    virtual void log(const std::string& /*line*/) {}
    // The groups or their vehicles' data changed.
    virtual void fleetChanged() {}
    // The number of advised event sinks changed.
    virtual void clientsChanged(std::size_t /*sinks*/) {}
    // From any thread: work waits for processPendingWork() on the main thread.
    virtual void wakeUp() {}
    // Work falls due after `delay`: processPendingWork() then, on the main thread.
    virtual void wakeUpIn(std::chrono::milliseconds /*delay*/) {}
};

// The position of the server's own GPS receiver, when it has one (Receiver.txt in the work directory).
struct ReceiverFix {
    double latitude = NoCoordinate;
    double longitude = NoCoordinate;
    double altitude = NoAltitude;
};

class NavilonixObject final : public ole::TypedDispatch<INavilonixAutomation, &NavilonixTypeDescription>,
                              public IConnectionPointContainer {
public:
    // The longest Sleep: a longer one ends after this.
    static constexpr LONG MaxSleepMilliseconds = 10000;

    struct Options {
        WorkPaths paths;
        ServerHost* host = nullptr;                 // not owned; may be null
        std::chrono::milliseconds onlineDelay{300}; // how long a device takes to answer ReceiveOnlineData
        bool createDemoData = true;                 // fill an empty work directory with the demo fleet
    };

    // Creates an object with one reference owned by the caller.
    static ComPtr<NavilonixObject> create(Options options);

    // IUnknown
    STDMETHOD(QueryInterface)(REFIID riid, void** object) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;
    // IDispatch comes from the type description of the member table.
    // IConnectionPointContainer
    STDMETHOD(EnumConnectionPoints)(IEnumConnectionPoints** enumerator) override;
    STDMETHOD(FindConnectionPoint)(REFIID riid, IConnectionPoint** point) override;

    // INavilonixAutomation
#define NVX_DECLARE_READ(slot, name, type) STDMETHOD(get_##name)(type * Value) override;
#define NVX_DECLARE_WRITE(slot, name, type) STDMETHOD(set_##name)(type Value) override;
#define NVX_DECLARE_METHOD(slot, name, params, args) STDMETHOD(name) params override;
    NAVILONIX_MEMBERS(NVX_DECLARE_READ, NVX_DECLARE_WRITE, NVX_DECLARE_METHOD)
#undef NVX_DECLARE_READ
#undef NVX_DECLARE_WRITE
#undef NVX_DECLARE_METHOD

    // For the program around the object (main thread).

    // Delivers what other threads and timers have left: the end of a computation, online data answers, the
    // answers of Sleep calls that are due.
    void processPendingWork();
    // Periodic duties: online answers that are due, group files changed on disk.
    void tick();
    // Rereads the group files when they changed on disk; raises OnChangeCarsLists when they did.
    bool checkGroupFiles();
    // Calls every advised sink with the event's dispatch identifier.
    void raiseEvent(DISPID id);
    // Stops a running computation and waits for its thread; calls still waiting are answered.
    void shutdown();
    // The program is ending: no more calls to the host; the sinks are released.
    void detachHost();

    std::size_t sinkCount() const {
        return eventPoint_.Count();
    }
    const std::vector<Group>& groups() const {
        return groups_;
    }
    const OnlineState* onlineState(long device) const;
    const WorkPaths& paths() const {
        return paths_;
    }
    // Replaces the conventions of time texts (by default the user's locale).
    void setTextFormat(const TextFormat& format) {
        textFormat_ = format;
    }

private:
    struct Computation;
    struct PendingOnline {
        long device;
        std::chrono::steady_clock::time_point due;
    };

    explicit NavilonixObject(Options options);
    ~NavilonixObject();

    void log(const std::string& line) const;
    void loadWorkDirectory();
    void loadGroups(bool announce);
    std::string groupFilesSignature() const;
    void saveOnlineStates();
    // Asks the host for processPendingWork() when the next online answer or Sleep is due.
    void wakeUpForPendingWork();
    void answerOnline(long device);

    const Group* group() const;
    const Vehicle* car() const;
    const OnlineState* carOnline() const;
    CheckPoint* checkPoint();
    const Trip* trip() const;
    const std::vector<Entry>* entries() const;
    const Entry* entry() const;
    const GpsRecord* crd() const;
    Vehicle* findVehicle(std::string_view groupFile, long device, Group** owner = nullptr);

    HRESULT startComputing(BSTR groupFile, LONG device, BSTR periodStart, BSTR periodEnd, BSTR dataSource, LONG split);
    void finishComputation();
    void answerComputingWaiters(HRESULT result);
    void installResult(Computation& computation);
    void resetTripCursors();
    HRESULT countersArray(VARIANT* Value);
    std::string text(UnixTime time) const;

    std::atomic<ULONG> references_{1};
    ole::LocalConnectionPoint eventPoint_{*this, DIID_INavilonixAutomationEvents};

    WorkPaths paths_;
    ServerHost* host_;
    std::chrono::milliseconds onlineDelay_;
    TextFormat textFormat_;
    std::optional<ReceiverFix> receiver_;

    std::vector<Group> groups_;
    std::map<long, OnlineState> online_;
    std::string groupSignature_;
    std::deque<PendingOnline> pendingOnline_;
    LONG groupIndex_ = 0;
    LONG carIndex_ = 0;

    std::vector<CheckPoint> checkPoints_;
    LONG checkPointIndex_ = 0;
    LONG coordsCheckPoint_ = 0;

    std::string propertyName_;

    // The computation: the worker's state, and the results the cursors walk.
    std::unique_ptr<Computation> computation_;
    std::atomic<bool> busy_{false};
    // Callers over the bus waiting for the end of the computation (WaitForComputing) or for time to pass (Sleep).
    std::vector<ole::DeferredReply> computingWaiters_;
    std::multimap<std::chrono::steady_clock::time_point, ole::DeferredReply> sleepers_;
    std::atomic<int> percents_{0};
    LONG check_ = 0;
    LONG timeoutSeconds_ = 0;
    ComputeResult result_;
    std::string resultGroupFile_;
    long resultDevice_ = 0;
    std::string resultRoute_;
    std::string resultDrivers_;
    std::vector<CheckPoint> resultCheckPoints_;
    std::vector<GeoZone> resultZones_;
    LONG tripIndex_ = 0;
    LONG entryIndex_ = 0;
    LONG crdIndex_ = 0;
    std::string listType_ = "checkpoints";
    std::string listKind_ = "points";

    // Exports, extended properties and addresses (NavilonixFiles.cpp).
    static constexpr double PlacementRadiusMeters = 300;
    HRESULT checkExport(const std::string& name, LONG separator, std::filesystem::path* file);
    HRESULT writeExport(const std::filesystem::path& file, const CsvTable& table);
    PropertyStore& propertyStore();
    HRESULT readProperty(const std::string& section, const std::string& name, BSTR* Value);
    HRESULT writeProperty(const std::string& section, const std::string& name, BSTR Value);
    std::vector<AddressEntry> gazetteer();
    void showFound(const AddressEntry& entry);
    std::unique_ptr<PropertyStore> propertyStore_;
    std::string cmnExName_;
    std::string carExName_;
    long carExDevice_ = 0;
    std::string foundAddress_;

    // The field work (NavilonixFields.cpp): a computation of its own beside the trips.
    struct FieldRequest;
    HRESULT startFieldsComputing(const FieldRequest& request);
    std::optional<double> fieldsImplementWidth(const FieldRequest& request, Computation& c) const;
    std::vector<GeoZone> readFieldsList(const std::string& listName, std::string* failure) const;
    // A check point file; the lines it skips go to the log. Throws FileError.
    CheckPointList readCheckPoints(const std::filesystem::path& path) const;
    void finishFieldsComputing();
    void stopFieldsComputing();
    HRESULT waitForFieldsComputing();
    std::unique_ptr<Computation> fieldsComputation_;
    std::atomic<bool> fieldsBusy_{false};
    std::atomic<int> fieldsPercents_{0};
    std::atomic<int> fieldsTotalPercents_{0};
    LONG fieldsCheck_ = 0;
    LONG fieldsTimeoutSeconds_ = 0;
    std::string fieldsList_ = "Поля";
    std::vector<FieldResult> fieldsResult_;
    std::vector<ole::DeferredReply> fieldsWaiters_; // WaitForFieldsComputing(Ex) calls answered at the end
    void answerFieldsWaiters(HRESULT result);
};

} // namespace navilonix::server
