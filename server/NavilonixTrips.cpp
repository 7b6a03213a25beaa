// The automation object's trip computation, its trips, entries and track points, and the track export.
#include "server/NavilonixObject.h"

#include "platform/ole/Bstr.h"
#include "platform/ole/SafeArray.h"
#include "server/ComputationState.h"
#include "server/ObjectSupport.h"
#include "server/core/FileUtil.h"
#include "server/core/Geo.h"
#include "server/core/GroupFile.h"
#include "server/core/RecordStore.h"
#include "server/core/TextFields.h"
#include "server/core/TrackExport.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace navilonix::server {

HRESULT NavilonixObject::startComputing(BSTR GroupFile, LONG Device, BSTR PeriodStart, BSTR PeriodEnd, BSTR DataSource,
                                        LONG SplitTrips) {
    auto c = std::make_unique<Computation>();
    const std::string file = BstrToUtf8(GroupFile);
    const std::string startText = BstrToUtf8(PeriodStart);
    const std::string endText = BstrToUtf8(PeriodEnd);
    const std::string source = BstrToUtf8(DataSource);
    c->description = excerpt(file) + ", " + std::to_string(Device) + ", " + excerpt(startText) + ", " +
                     excerpt(endText) + ", " + excerpt(source) + ", " + std::to_string(SplitTrips);
    log("StartComputing(" + c->description + ")");

    // A start while a computation runs restarts it with the new inputs; the earlier one ends silently.
    if (computation_) {
        computation_->stop();
        computation_.reset();
        log("  the running computation is abandoned for the new one");
        answerComputingWaiters(E_FAIL);
    }
    busy_ = true;
    percents_ = 0;
    check_ = 0;

    Group* owner = nullptr;
    const Vehicle* v = findVehicle(file, Device, &owner);
    const auto from = parseDateTime(startText, textFormat_);
    const auto to = parseDateTime(endText, textFormat_);
    c->failure = requestProblem(v, file, Device, startText, from, endText, to, source);
    if (!c->failure.empty()) {
        c->refuse(host_);
        computation_ = std::move(c);
        return S_OK;
    }

    // The vehicle's lists: its own unless it uses the defaults, which are the server's current check points.
    c->groupFile = owner->fileName;
    c->device = v->device;
    c->route = v->route;
    c->drivers = v->drivers;
    ComputeInput input;
    input.settings = v->trips;
    input.split = SplitTrips != 0;
    input.calls = v->chp;
    auto readList = [&](const std::string& name) -> std::optional<CheckPointList> {
        if (name.empty() || !isBareListName(name))
            return std::nullopt;
        try {
            return readCheckPoints(paths_.points() / (name + ".chp"));
        } catch (const FileError& e) {
            log(std::string("  ") + e.what());
            return std::nullopt;
        }
    };
    if (v->chp.useDefaults || v->chp.checkPointsFile.empty()) {
        input.checkPoints = checkPoints_;
    } else if (auto list = readList(v->chp.checkPointsFile)) {
        input.checkPoints = list->points;
    }
    if (auto list = readList(v->chp.useDefaults ? std::string() : v->chp.geoZonesFile))
        input.zones = list->zones;
    c->checkPoints = input.checkPoints;
    c->zones = input.zones;

    const RecordStore store(paths_.tracks());
    const UnixTime periodStart = *from;
    const UnixTime periodEnd = *to;
    c->start(
        host_, timeoutSeconds_, &percents_,
        [store, periodStart, periodEnd, input = std::move(input)](Computation& run,
                                                                  const ProgressCallback& progress) mutable {
            // The period includes its start and excludes its end.
            input.records = store.read(run.device, periodStart, periodEnd - 1, &run.problems);
            progress(10);
            run.result = computeTrips(std::move(input), progress, &run.cancel, 10);
        },
        "the computation took longer than ComputingTimeout and was stopped");
    computation_ = std::move(c);
    return S_OK;
}

void NavilonixObject::finishComputation() {
    if (!computation_ || !computation_->finished)
        return;
    std::unique_ptr<Computation> c = std::move(computation_);
    if (c->thread.joinable())
        c->thread.join();
    installResult(*c);
    busy_ = false;
    percents_ = 0;
    raiseEvent(DISPID_OnEndComputing);
    answerComputingWaiters(check_ ? S_OK : E_FAIL);
}

void NavilonixObject::answerComputingWaiters(HRESULT result) {
    for (ole::DeferredReply& waiter : std::exchange(computingWaiters_, {}))
        waiter.Complete(result);
}

void NavilonixObject::installResult(Computation& c) {
    for (const std::string& problem : c.problems)
        log("  skipped: " + problem);
    result_ = {};
    resultCheckPoints_.clear();
    resultZones_.clear();
    if (!c.result || (c.cancel && !c.failure.empty())) {
        check_ = 0;
        log("computation (" + c.description + ") failed: " + (c.failure.empty() ? std::string("stopped") : c.failure));
    } else {
        result_ = std::move(*c.result);
        check_ = 1;
        std::size_t entries = 0;
        for (const Trip& t : result_.trips)
            for (const auto& list : t.entries)
                entries += list.size();
        log("computation (" + c.description + ") done: " + std::to_string(result_.records.size()) + " records, " +
            std::to_string(result_.trips.size()) + " trip(s), " + std::to_string(entries) + " entries");
    }
    resultGroupFile_ = c.groupFile;
    resultDevice_ = c.device;
    resultRoute_ = c.route;
    resultDrivers_ = c.drivers;
    resultCheckPoints_ = std::move(c.checkPoints);
    resultZones_ = std::move(c.zones);
    tripIndex_ = result_.trips.empty() ? 0 : 1;
    resetTripCursors();
}

void NavilonixObject::resetTripCursors() {
    const std::vector<Entry>* list = entries();
    entryIndex_ = list && !list->empty() ? 1 : 0;
    const Trip* t = trip();
    crdIndex_ = t && !t->track.empty() ? 1 : 0;
}

void NavilonixObject::detachHost() {
    host_ = nullptr;
    eventPoint_.DropAll();
}

void NavilonixObject::shutdown() {
    if (computation_) {
        computation_->stop();
        computation_.reset();
        busy_ = false;
    }
    stopFieldsComputing();
    // The server is closing: nobody waits for an answer that will not come.
    answerComputingWaiters(E_ABORT);
    for (auto& [due, reply] : std::exchange(sleepers_, {}))
        reply.Complete(E_ABORT);
}

HRESULT NavilonixObject::StartComputing(BSTR GroupFile, LONG Device, BSTR PeriodStart, BSTR PeriodEnd, BSTR DataSource,
                                        LONG SplitTrips) {
    return startComputing(GroupFile, Device, PeriodStart, PeriodEnd, DataSource, SplitTrips);
}

HRESULT NavilonixObject::WaitForComputing(BSTR Param1, LONG Param2, BSTR Param3, BSTR Param4, BSTR Param5,
                                          LONG Param6) {
    log("WaitForComputing: computes and returns at the end");
    startComputing(Param1, Param2, Param3, Param4, Param5, Param6);
    // Over the bus the caller gets its answer at the end, and the server serves the others meanwhile.
    if (ole::DeferredReply reply = ole::DeferCurrentCall()) {
        computingWaiters_.push_back(std::move(reply));
        return S_OK;
    }
    if (computation_ && computation_->thread.joinable())
        computation_->thread.join();
    finishComputation();
    return check_ ? S_OK : E_FAIL;
}

HRESULT NavilonixObject::get_ComputingBusy(LONG* Value) {
    return readLong(Value, busy_ ? 1 : 0);
}
HRESULT NavilonixObject::get_ComputingPercents(LONG* Value) {
    return readLong(Value, busy_ ? std::clamp(percents_.load(), 0, 100) : 0);
}
HRESULT NavilonixObject::get_ComputingCheck(LONG* Value) {
    return readLong(Value, check_);
}
HRESULT NavilonixObject::get_ComputingTimeout(LONG* Value) {
    return readLong(Value, timeoutSeconds_);
}
HRESULT NavilonixObject::set_ComputingTimeout(LONG Value) {
    log("ComputingTimeout := " + std::to_string(Value) + " s");
    timeoutSeconds_ = std::max<LONG>(Value, 0);
    return S_OK;
}
HRESULT NavilonixObject::get_CurrentGroupFileName(BSTR* Value) {
    return readText(Value, resultGroupFile_);
}
HRESULT NavilonixObject::get_CurrentCarDevice(LONG* Value) {
    return readLong(Value, resultDevice_);
}
HRESULT NavilonixObject::get_CurrentTripIndex(LONG* Value) {
    return readLong(Value, tripIndex_);
}

// Trips

const Trip* NavilonixObject::trip() const {
    if (tripIndex_ < 1 || tripIndex_ > static_cast<LONG>(result_.trips.size()))
        return nullptr;
    return &result_.trips[static_cast<std::size_t>(tripIndex_ - 1)];
}

HRESULT NavilonixObject::get_TripsNum(LONG* Value) {
    return readLong(Value, static_cast<long>(result_.trips.size()));
}
HRESULT NavilonixObject::get_TripIndex(LONG* Value) {
    return readLong(Value, tripIndex_);
}
HRESULT NavilonixObject::set_TripIndex(LONG Value) {
    log("TripIndex := " + std::to_string(Value));
    if (Value < 1 || Value > static_cast<LONG>(result_.trips.size()))
        return S_FALSE;
    tripIndex_ = Value;
    resetTripCursors();
    return S_OK;
}
HRESULT NavilonixObject::get_TripCase(LONG* Value) {
    return readLong(Value, trip() ? (trip()->split ? 1 : 0) : 0);
}

#define NVX_TRIP_PLACE(End, member)                                                                                    \
    HRESULT NavilonixObject::get_Trip##End##Name(BSTR* Value) {                                                        \
        return readText(Value, trip() ? trip()->member.name : std::string());                                          \
    }                                                                                                                  \
    HRESULT NavilonixObject::get_Trip##End##Address(BSTR* Value) {                                                     \
        return readText(Value, trip() ? trip()->member.address : std::string());                                       \
    }                                                                                                                  \
    HRESULT NavilonixObject::get_Trip##End##IDP(BSTR* Value) {                                                         \
        return readText(Value, trip() ? trip()->member.id : std::string());                                            \
    }                                                                                                                  \
    HRESULT NavilonixObject::get_Trip##End##Longitude(DOUBLE* Value) {                                                 \
        return readDouble(Value, trip() ? trip()->member.longitude : NoCoordinate);                                    \
    }                                                                                                                  \
    HRESULT NavilonixObject::get_Trip##End##Latitude(DOUBLE* Value) {                                                  \
        return readDouble(Value, trip() ? trip()->member.latitude : NoCoordinate);                                     \
    }
NVX_TRIP_PLACE(Start, start)
NVX_TRIP_PLACE(End, end)
#undef NVX_TRIP_PLACE

HRESULT NavilonixObject::get_TripStartRealTime(BSTR* Value) {
    return readText(Value, trip() ? text(trip()->summary.startTime) : std::string());
}
HRESULT NavilonixObject::get_TripStartRegTime(BSTR* Value) {
    return get_TripStartRealTime(Value);
}
HRESULT NavilonixObject::get_TripEndRealTime(BSTR* Value) {
    return readText(Value, trip() ? text(trip()->summary.endTime) : std::string());
}
HRESULT NavilonixObject::get_TripEndRegTime(BSTR* Value) {
    return get_TripEndRealTime(Value);
}
HRESULT NavilonixObject::get_TripDistance(DOUBLE* Value) {
    return readDouble(Value, trip() ? trip()->summary.distance : 0.0);
}
HRESULT NavilonixObject::get_TripRealCont(BSTR* Value) {
    return readText(Value, trip() ? formatDuration(trip()->summary.realSeconds(), textFormat_) : std::string());
}
HRESULT NavilonixObject::get_TripRegCont(BSTR* Value) {
    return get_TripRealCont(Value);
}
HRESULT NavilonixObject::get_TripMoveCont(BSTR* Value) {
    return readText(Value, trip() ? formatDuration(trip()->summary.moveSeconds, textFormat_) : std::string());
}
HRESULT NavilonixObject::get_TripParkCont(BSTR* Value) {
    return readText(Value, trip() ? formatDuration(trip()->summary.parkSeconds, textFormat_) : std::string());
}
HRESULT NavilonixObject::get_TripMaxSpeed(DOUBLE* Value) {
    return readDouble(Value, trip() ? trip()->summary.maxSpeed : 0.0);
}
HRESULT NavilonixObject::get_TripAverSpeed(DOUBLE* Value) {
    return readDouble(Value, trip() ? trip()->summary.averageSpeed : -1.0);
}

#define NVX_SUMMARY_MOTOR(Prefix, source, n)                                                                           \
    HRESULT NavilonixObject::get_##Prefix##Motor##n##Hours(DOUBLE* Value) {                                            \
        return readDouble(Value, source ? source->summary.motorHours[n - 1] : 0.0);                                    \
    }                                                                                                                  \
    HRESULT NavilonixObject::get_##Prefix##Motor##n##MoveHours(DOUBLE* Value) {                                        \
        return readDouble(Value, source ? source->summary.motorMoveHours[n - 1] : 0.0);                                \
    }                                                                                                                  \
    HRESULT NavilonixObject::get_##Prefix##Motor##n##ParkHours(DOUBLE* Value) {                                        \
        return readDouble(Value, source ? source->summary.motorParkHours[n - 1] : 0.0);                                \
    }                                                                                                                  \
    HRESULT NavilonixObject::get_##Prefix##Motor##n##Fuel(DOUBLE* Value) {                                             \
        return readDouble(Value, source ? source->summary.fuel[n - 1] : 0.0);                                          \
    }
NVX_SUMMARY_MOTOR(Trip, trip(), 1)
NVX_SUMMARY_MOTOR(Trip, trip(), 2)
NVX_SUMMARY_MOTOR(Entry, entry(), 1)
NVX_SUMMARY_MOTOR(Entry, entry(), 2)
#undef NVX_SUMMARY_MOTOR

#define NVX_SUMMARY_TANK(Prefix, source, n)                                                                            \
    HRESULT NavilonixObject::get_##Prefix##Tank##n##StartLevel(DOUBLE* Value) {                                        \
        return readDouble(Value, source ? source->summary.tankStart[n - 1] : 0.0);                                     \
    }                                                                                                                  \
    HRESULT NavilonixObject::get_##Prefix##Tank##n##EndLevel(DOUBLE* Value) {                                          \
        return readDouble(Value, source ? source->summary.tankEnd[n - 1] : 0.0);                                       \
    }
NVX_SUMMARY_TANK(Trip, trip(), 1)
NVX_SUMMARY_TANK(Trip, trip(), 2)
NVX_SUMMARY_TANK(Trip, trip(), 3)
NVX_SUMMARY_TANK(Trip, trip(), 4)
NVX_SUMMARY_TANK(Entry, entry(), 1)
NVX_SUMMARY_TANK(Entry, entry(), 2)
NVX_SUMMARY_TANK(Entry, entry(), 3)
NVX_SUMMARY_TANK(Entry, entry(), 4)
#undef NVX_SUMMARY_TANK

#define NVX_TRIP_SENSOR(n)                                                                                             \
    HRESULT NavilonixObject::get_TripSensor##n##Cntr(LONG* Value) {                                                    \
        return readLong(Value, trip() ? trip()->sensors[n - 1].count : 0);                                             \
    }                                                                                                                  \
    HRESULT NavilonixObject::get_TripSensor##n##Distance(DOUBLE* Value) {                                              \
        return readDouble(Value, trip() ? trip()->sensors[n - 1].distance : 0.0);                                      \
    }                                                                                                                  \
    HRESULT NavilonixObject::get_TripSensor##n##Cont(BSTR* Value) {                                                    \
        return readText(Value, trip() ? formatDuration(trip()->sensors[n - 1].seconds, textFormat_) : std::string());  \
    }
NVX_TRIP_SENSOR(1)
NVX_TRIP_SENSOR(2)
NVX_TRIP_SENSOR(3)
NVX_TRIP_SENSOR(4)
NVX_TRIP_SENSOR(5)
NVX_TRIP_SENSOR(6)
NVX_TRIP_SENSOR(7)
NVX_TRIP_SENSOR(8)
#undef NVX_TRIP_SENSOR

HRESULT NavilonixObject::get_TripRouteName(BSTR* Value) {
    return readText(Value, trip() ? resultRoute_ : std::string());
}
HRESULT NavilonixObject::get_TripDriverName(BSTR* Value) {
    return readText(Value, trip() ? resultDrivers_ : std::string());
}
HRESULT NavilonixObject::get_TripDriverID(BSTR* Value) {
    return readText(Value, std::string()); // the demo devices identify no drivers
}
HRESULT NavilonixObject::get_TripImplementNames(BSTR* Value) {
    return readText(Value, std::string()); // the demo devices do not report which implement is hitched
}
HRESULT NavilonixObject::get_TripImplementIDs(BSTR* Value) {
    return readText(Value, std::string());
}
// The demo devices have no pulse counters.
HRESULT NavilonixObject::get_TripCntr12EntriesNum(LONG* Value) {
    return readLong(Value, 0);
}
HRESULT NavilonixObject::get_TripCntr34EntriesNum(LONG* Value) {
    return readLong(Value, 0);
}
HRESULT NavilonixObject::get_TripCntr56EntriesNum(LONG* Value) {
    return readLong(Value, 0);
}
HRESULT NavilonixObject::get_TripCntr78EntriesNum(LONG* Value) {
    return readLong(Value, 0);
}
// The current trip's track points as rows 1..n of (latitude, longitude), the rows counted like CrdEntryIndex.
HRESULT NavilonixObject::get_TrackCrdsArray(VARIANT* Value) {
    if (!Value)
        return E_POINTER;
    VariantInit(Value);
    const Trip* t = trip();
    const ULONG n = t ? static_cast<ULONG>(t->track.size()) : 0;
    const SAFEARRAYBOUND bounds[] = {{n, 1}, {2, 1}};
    SAFEARRAY* psa = SafeArrayCreate(VT_R8, 2, bounds);
    if (!psa)
        return E_OUTOFMEMORY;
    auto* cells = static_cast<double*>(psa->pvData);
    for (ULONG i = 0; i < n; ++i) {
        const GpsRecord& r = result_.records[t->track[i]];
        cells[i] = r.latitude;
        cells[n + i] = r.longitude;
    }
    Value->vt = VT_ARRAY | VT_R8;
    Value->parray = psa;
    return S_OK;
}

// The entries of a pair of pulse counters in the current trip: rows 1..n of (time, first counter, second counter).
// The demo devices have no counters, so the rows are none, like TripCntr12EntriesNum.
HRESULT NavilonixObject::countersArray(VARIANT* Value) {
    if (!Value)
        return E_POINTER;
    VariantInit(Value);
    const SAFEARRAYBOUND bounds[] = {{0, 1}, {3, 1}};
    SAFEARRAY* psa = SafeArrayCreate(VT_VARIANT, 2, bounds);
    if (!psa)
        return E_OUTOFMEMORY;
    Value->vt = VT_ARRAY | VT_VARIANT;
    Value->parray = psa;
    return S_OK;
}
HRESULT NavilonixObject::get_Counters12Array(VARIANT* Value) {
    return countersArray(Value);
}
HRESULT NavilonixObject::get_Counters34Array(VARIANT* Value) {
    return countersArray(Value);
}
HRESULT NavilonixObject::get_Counters56Array(VARIANT* Value) {
    return countersArray(Value);
}
HRESULT NavilonixObject::get_Counters78Array(VARIANT* Value) {
    return countersArray(Value);
}

// Entries

const std::vector<Entry>* NavilonixObject::entries() const {
    const Trip* t = trip();
    const auto list = entryListByNames(listType_, listKind_);
    if (!t || !list)
        return nullptr;
    return &t->entries[static_cast<std::size_t>(*list)];
}

const Entry* NavilonixObject::entry() const {
    const std::vector<Entry>* list = entries();
    if (!list || entryIndex_ < 1 || entryIndex_ > static_cast<LONG>(list->size()))
        return nullptr;
    return &(*list)[static_cast<std::size_t>(entryIndex_ - 1)];
}

HRESULT NavilonixObject::get_TripEntriesListTypeName(BSTR* Value) {
    return readText(Value, listType_);
}
HRESULT NavilonixObject::set_TripEntriesListTypeName(BSTR Value) {
    listType_ = BstrToUtf8(Value);
    log("TripEntriesListTypeName := " + excerpt(listType_));
    resetTripCursors();
    return S_OK;
}
HRESULT NavilonixObject::get_TripEntriesListKindName(BSTR* Value) {
    return readText(Value, listKind_);
}
HRESULT NavilonixObject::set_TripEntriesListKindName(BSTR Value) {
    listKind_ = BstrToUtf8(Value);
    log("TripEntriesListKindName := " + excerpt(listKind_));
    resetTripCursors();
    return S_OK;
}
HRESULT NavilonixObject::get_TripEntriesNum(LONG* Value) {
    const std::vector<Entry>* list = entries();
    return readLong(Value, list ? static_cast<long>(list->size()) : 0);
}
HRESULT NavilonixObject::get_EntryIndex(LONG* Value) {
    return readLong(Value, entryIndex_);
}
HRESULT NavilonixObject::set_EntryIndex(LONG Value) {
    const std::vector<Entry>* list = entries();
    if (!list || Value < 1 || Value > static_cast<LONG>(list->size()))
        return S_FALSE;
    entryIndex_ = Value;
    return S_OK;
}
HRESULT NavilonixObject::get_EntryID(LONG* Value) {
    return readLong(Value, entry() ? entry()->id : 0);
}

#define NVX_ENTRY_PLACE(End, member)                                                                                   \
    HRESULT NavilonixObject::get_Entry##End##Name(BSTR* Value) {                                                       \
        return readText(Value, entry() ? entry()->member.name : std::string());                                        \
    }                                                                                                                  \
    HRESULT NavilonixObject::get_Entry##End##Address(BSTR* Value) {                                                    \
        return readText(Value, entry() ? entry()->member.address : std::string());                                     \
    }                                                                                                                  \
    HRESULT NavilonixObject::get_Entry##End##IDP(BSTR* Value) {                                                        \
        return readText(Value, entry() ? entry()->member.id : std::string());                                          \
    }                                                                                                                  \
    HRESULT NavilonixObject::get_Entry##End##Longitude(DOUBLE* Value) {                                                \
        return readDouble(Value, entry() ? entry()->member.longitude : NoCoordinate);                                  \
    }                                                                                                                  \
    HRESULT NavilonixObject::get_Entry##End##Latitude(DOUBLE* Value) {                                                 \
        return readDouble(Value, entry() ? entry()->member.latitude : NoCoordinate);                                   \
    }                                                                                                                  \
    HRESULT NavilonixObject::get_Entry##End##Type(BSTR* Value) {                                                       \
        return readText(Value, std::string());                                                                         \
    }                                                                                                                  \
    HRESULT NavilonixObject::get_Entry##End##Channel(BSTR* Value) {                                                    \
        return readText(Value, std::string());                                                                         \
    }                                                                                                                  \
    HRESULT NavilonixObject::get_Entry##End##PlanTime(BSTR* Value) {                                                   \
        return readText(Value, std::string());                                                                         \
    }
NVX_ENTRY_PLACE(Start, start)
NVX_ENTRY_PLACE(End, end)
#undef NVX_ENTRY_PLACE

HRESULT NavilonixObject::get_EntryStartRealTime(BSTR* Value) {
    return readText(Value, entry() ? text(entry()->summary.startTime) : std::string());
}
HRESULT NavilonixObject::get_EntryEndRealTime(BSTR* Value) {
    return readText(Value, entry() ? text(entry()->summary.endTime) : std::string());
}
HRESULT NavilonixObject::get_EntryPlanCont(BSTR* Value) {
    return readText(Value, std::string()); // the demo server keeps no schedules
}
HRESULT NavilonixObject::get_EntryDistance(DOUBLE* Value) {
    return readDouble(Value, entry() ? entry()->summary.distance : 0.0);
}
HRESULT NavilonixObject::get_EntryParkCntr(LONG* Value) {
    return readLong(Value, entry() ? entry()->summary.parkCount : 0);
}
HRESULT NavilonixObject::get_EntryRealCont(BSTR* Value) {
    return readText(Value, entry() ? formatDuration(entry()->summary.realSeconds(), textFormat_) : std::string());
}
HRESULT NavilonixObject::get_EntryMoveCont(BSTR* Value) {
    return readText(Value, entry() ? formatDuration(entry()->summary.moveSeconds, textFormat_) : std::string());
}
HRESULT NavilonixObject::get_EntryParkCont(BSTR* Value) {
    return readText(Value, entry() ? formatDuration(entry()->summary.parkSeconds, textFormat_) : std::string());
}
HRESULT NavilonixObject::get_EntryMaxSpeed(DOUBLE* Value) {
    return readDouble(Value, entry() ? entry()->summary.maxSpeed : 0.0);
}
HRESULT NavilonixObject::get_EntryAverSpeed(DOUBLE* Value) {
    return readDouble(Value, entry() ? entry()->summary.averageSpeed : -1.0);
}

// Track points of the current trip

const GpsRecord* NavilonixObject::crd() const {
    const Trip* t = trip();
    if (!t || crdIndex_ < 1 || crdIndex_ > static_cast<LONG>(t->track.size()))
        return nullptr;
    return &result_.records[t->track[static_cast<std::size_t>(crdIndex_ - 1)]];
}

HRESULT NavilonixObject::get_TripCrdEntriesNum(LONG* Value) {
    return readLong(Value, trip() ? static_cast<long>(trip()->track.size()) : 0);
}
HRESULT NavilonixObject::get_CrdEntryIndex(LONG* Value) {
    return readLong(Value, crdIndex_);
}
HRESULT NavilonixObject::set_CrdEntryIndex(LONG Value) {
    const Trip* t = trip();
    if (!t || Value < 1 || Value > static_cast<LONG>(t->track.size()))
        return S_FALSE;
    crdIndex_ = Value;
    return S_OK;
}
HRESULT NavilonixObject::SetCrdEntryIndexByTime(BSTR Param1) {
    const std::string when = BstrToUtf8(Param1);
    log("SetCrdEntryIndexByTime(" + excerpt(when) + ")");
    const Trip* t = trip();
    const auto time = parseDateTime(when, textFormat_);
    if (!t || t->track.empty())
        return E_UNEXPECTED;
    if (!time)
        return E_INVALIDARG;
    // The last point at or before the time; the first point for earlier times.
    const auto it = std::upper_bound(t->track.begin(), t->track.end(), *time, [&](UnixTime value, std::size_t index) {
        return value < result_.records[index].time;
    });
    crdIndex_ = std::max<LONG>(1, static_cast<LONG>(it - t->track.begin()));
    return S_OK;
}
HRESULT NavilonixObject::get_CrdEntryTime(BSTR* Value) {
    return readText(Value, crd() ? text(crd()->time) : std::string());
}
HRESULT NavilonixObject::get_CrdEntryLatitude(DOUBLE* Value) {
    return readDouble(Value, crd() ? crd()->latitude : NoCoordinate);
}
HRESULT NavilonixObject::get_CrdEntryLongitude(DOUBLE* Value) {
    return readDouble(Value, crd() ? crd()->longitude : NoCoordinate);
}
HRESULT NavilonixObject::get_CrdEntryDistance(DOUBLE* Value) {
    // The distance from the trip's start, along the track.
    const Trip* t = trip();
    if (!crd())
        return readDouble(Value, 0.0);
    double meters = 0.0;
    for (LONG i = 1; i < crdIndex_; ++i) {
        const GpsRecord& a = result_.records[t->track[static_cast<std::size_t>(i - 1)]];
        const GpsRecord& b = result_.records[t->track[static_cast<std::size_t>(i)]];
        meters += distanceMeters(a.latitude, a.longitude, b.latitude, b.longitude);
    }
    return readDouble(Value, meters);
}
HRESULT NavilonixObject::get_CrdEntrySpeed(DOUBLE* Value) {
    return readDouble(Value, crd() ? crd()->speed : -1.0);
}
HRESULT NavilonixObject::get_CrdEntryFlags(LONG* Value) {
    return readLong(Value, crd() ? carFlags(crd()->inputs, crd()->status) : NoFlags);
}

#define NVX_CRD_SENSOR(n)                                                                                              \
    HRESULT NavilonixObject::get_CrdEntrySensor##n(LONG* Value) {                                                      \
        return readLong(Value, crd() ? (crd()->sensor(n) ? 1 : 0) : -1);                                               \
    }
NVX_CRD_SENSOR(1)
NVX_CRD_SENSOR(2)
NVX_CRD_SENSOR(3)
NVX_CRD_SENSOR(4)
NVX_CRD_SENSOR(5)
NVX_CRD_SENSOR(6)
NVX_CRD_SENSOR(7)
NVX_CRD_SENSOR(8)
#undef NVX_CRD_SENSOR

// Level sensors in tenths of a litre; -1 without a sensor. The demo devices have four.
#define NVX_CRD_LLS(n)                                                                                                 \
    HRESULT NavilonixObject::get_CrdEntryLLS##n(LONG* Value) {                                                         \
        const float level = crd() && n <= TankCount ? crd()->tanks[(n - 1) % TankCount] : NoTankLevel;                 \
        return readLong(Value, level < 0 ? -1 : std::lround(level * 10.0f));                                           \
    }
NVX_CRD_LLS(1)
NVX_CRD_LLS(2)
NVX_CRD_LLS(3)
NVX_CRD_LLS(4)
NVX_CRD_LLS(5)
NVX_CRD_LLS(6)
NVX_CRD_LLS(7)
NVX_CRD_LLS(8)
#undef NVX_CRD_LLS

namespace {
const CheckPoint* checkPointAt(const std::vector<CheckPoint>& points, const GpsRecord* r) {
    const CheckPoint* nearest = nullptr;
    double best = 0.0;
    if (!r)
        return nullptr;
    for (const CheckPoint& c : points) {
        if (!insideCircle(c, r->latitude, r->longitude))
            continue;
        const double d = distanceMeters(c.latitude, c.longitude, r->latitude, r->longitude);
        if (!nearest || d < best) {
            nearest = &c;
            best = d;
        }
    }
    return nearest;
}
const GeoZone* zoneAt(const std::vector<GeoZone>& zones, const GpsRecord* r) {
    if (!r)
        return nullptr;
    for (const GeoZone& z : zones)
        if (insidePolygon(z.vertices, r->latitude, r->longitude))
            return &z;
    return nullptr;
}
} // namespace

HRESULT NavilonixObject::get_CrdEntryChPName(BSTR* Value) {
    const CheckPoint* c = checkPointAt(resultCheckPoints_, crd());
    return readText(Value, c ? c->name : std::string());
}
HRESULT NavilonixObject::get_CrdEntryChPAddress(BSTR* Value) {
    const CheckPoint* c = checkPointAt(resultCheckPoints_, crd());
    return readText(Value, c ? c->address : std::string());
}
HRESULT NavilonixObject::get_CrdEntryChPID(BSTR* Value) {
    const CheckPoint* c = checkPointAt(resultCheckPoints_, crd());
    return readText(Value, c ? c->id : std::string());
}
HRESULT NavilonixObject::get_CrdEntryGeoZName(BSTR* Value) {
    const GeoZone* z = zoneAt(resultZones_, crd());
    return readText(Value, z ? z->name : std::string());
}
HRESULT NavilonixObject::get_CrdEntryGeoZAddress(BSTR* Value) {
    const GeoZone* z = zoneAt(resultZones_, crd());
    return readText(Value, z ? z->address : std::string());
}
HRESULT NavilonixObject::get_CrdEntryGeoZID(BSTR* Value) {
    const GeoZone* z = zoneAt(resultZones_, crd());
    return readText(Value, z ? z->id : std::string());
}
HRESULT NavilonixObject::get_CrdEntryDriverID(BSTR* Value) {
    return readText(Value, std::string());
}
HRESULT NavilonixObject::get_CrdEntryDriverName(BSTR* Value) {
    return readText(Value, crd() ? resultDrivers_ : std::string());
}
HRESULT NavilonixObject::get_TrackCrdsStr(BSTR* Value) {
    // The current trip's track as "latitude,longitude" pairs divided by ';'.
    std::string track;
    if (const Trip* t = trip())
        for (const std::size_t index : t->track) {
            const GpsRecord& r = result_.records[index];
            if (!track.empty())
                track += ';';
            track += formatNumber(r.latitude, 6) + ',' + formatNumber(r.longitude, 6);
        }
    return readText(Value, track);
}

HRESULT NavilonixObject::ExportTrackToFile(BSTR FileName, LONG, BSTR, BSTR, LONG, LONG, LONG, LONG, LONG, LONG) {
    const std::string name = BstrToUtf8(FileName);
    log("ExportTrackToFile(" + excerpt(name) + ", ...)");
    const Trip* t = trip();
    if (!t || t->track.empty()) {
        log("  no current trip with a track");
        return E_UNEXPECTED;
    }
    const std::filesystem::path file(name);
    if (!file.is_absolute()) {
        log("  refused: the file must be named by its full path");
        return HRESULT_FROM_WIN32(ErrorInvalidName);
    }
    if (trackFormatOf(file) == TrackFormat::Unknown) {
        log("  refused: the extension must be .plt or .kml");
        return E_INVALIDARG;
    }
    TrackExport track;
    track.name = std::to_string(resultDevice_) + " " + text(t->summary.startTime);
    track.startName = t->start.name;
    track.endName = t->end.name;
    for (const std::size_t index : t->track)
        track.points.push_back(result_.records[index]);
    for (const Group& g : groups_)
        for (const Vehicle& v : g.vehicles)
            if (v.device == resultDevice_) {
                track.name = (v.model.empty() ? std::to_string(v.device) : v.model) +
                             (v.number.empty() ? std::string() : " " + v.number) + ", " + text(t->summary.startTime);
                track.breakSeconds = v.trips.signalGapSeconds;
            }
    try {
        exportTrack(file, track);
        log("  " + std::to_string(track.points.size()) + " point(s) written");
        return S_OK;
    } catch (const FileError& e) {
        log(std::string("  ") + e.what());
        return resultOfFileError(file, true);
    }
}

} // namespace navilonix::server
