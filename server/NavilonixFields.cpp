// The automation object's field work: time, distance and worked area of a vehicle in each field of a list.
#include "server/NavilonixObject.h"

#include "platform/ole/Bstr.h"
#include "server/ComputationState.h"
#include "server/ObjectSupport.h"
#include "server/core/FileUtil.h"
#include "server/core/RecordStore.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <utility>

namespace navilonix::server {

// What a field computation is asked for, from either form of the start.
struct NavilonixObject::FieldRequest {
    std::string groupFile;
    long device = 0;
    std::string periodStart;
    std::string periodEnd;
    std::string source;
    std::optional<double> width; // the plain form gives a width; the other names an implement or a width
    std::string implement;
    std::optional<long> sensor;
    std::string sensorText;
    std::string fields; // empty: FieldsList
    std::string description;
};

namespace {

std::optional<double> parseNumber(std::string text) {
    for (char& c : text)
        if (c == ',')
            c = '.';
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::nullopt;
    double value = 0.0;
    const char* begin = text.data() + first;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || ptr != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string fixed(double value, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

// The work sensor: given, or read from its text (blank for none); nothing when the text is no sensor number.
std::optional<long> workSensor(std::optional<long> sensor, const std::string& text) {
    if (sensor)
        return sensor;
    if (text.find_first_not_of(' ') == std::string::npos)
        return 0;
    if (const auto n = parseNumber(text); n && *n == std::floor(*n) && std::abs(*n) < 100)
        return static_cast<long>(*n);
    return std::nullopt;
}

} // namespace

// The implement: one of Implements.txt by its identifier, else a width in metres; none works no area.
std::optional<double> NavilonixObject::fieldsImplementWidth(const FieldRequest& request, Computation& c) const {
    if (request.width)
        return request.width;
    if (request.implement.find_first_not_of(' ') == std::string::npos)
        return 0.0;
    std::optional<double> width;
    std::string unreadable;
    try {
        std::vector<std::string> problems;
        for (const Implement& i : parseImplements(readWholeFile(paths_.implements()), &problems))
            if (!width && i.id == request.implement) {
                width = i.width;
                c.implement = i.name;
            }
        for (const auto& p : problems)
            log("  Implements.txt: " + p);
    } catch (const FileError& e) {
        unreadable = e.what();
    }
    if (!width)
        width = parseNumber(request.implement);
    if (!width)
        c.failure = "no implement " + excerpt(request.implement) + " in Implements.txt" +
                    (unreadable.empty() ? std::string() : " (" + unreadable + ")");
    return width;
}

// The fields (geozones) of the list `listName`; with the reason in `*failure` when there are none.
std::vector<GeoZone> NavilonixObject::readFieldsList(const std::string& listName, std::string* failure) const {
    if (!isBareListName(listName)) {
        *failure = excerpt(listName) + " is not a list name";
        return {};
    }
    try {
        auto fields = readCheckPoints(paths_.points() / (listName + ".chp")).zones;
        if (fields.empty())
            *failure = "the list " + excerpt(listName) + " has no fields (geozones)";
        return fields;
    } catch (const FileError& e) {
        *failure = e.what();
        return {};
    }
}

HRESULT NavilonixObject::startFieldsComputing(const FieldRequest& request) {
    log("StartFieldsComputing(" + request.description + ")");
    // A start while the field work runs restarts it with the new inputs; the earlier one ends silently.
    if (fieldsComputation_) {
        fieldsComputation_->stop();
        fieldsComputation_.reset();
        log("  the running field computation is abandoned for the new one");
        answerFieldsWaiters(E_FAIL);
    }
    auto c = std::make_unique<Computation>();
    c->description = request.description;
    fieldsBusy_ = true;
    fieldsPercents_ = 0;
    fieldsTotalPercents_ = 0;
    fieldsCheck_ = 0;

    Group* owner = nullptr;
    const Vehicle* v = findVehicle(request.groupFile, request.device, &owner);
    const auto from = parseDateTime(request.periodStart, textFormat_);
    const auto to = parseDateTime(request.periodEnd, textFormat_);
    c->failure = requestProblem(v, request.groupFile, request.device, request.periodStart, from, request.periodEnd, to,
                                request.source);

    const std::optional<double> width = c->failure.empty() ? fieldsImplementWidth(request, *c) : request.width;
    if (c->failure.empty() && (!std::isfinite(*width) || *width < 0))
        c->failure = "the implement's width " + fixed(*width, 2) + " m is not 0 or more";
    const std::optional<long> sensor = workSensor(request.sensor, request.sensorText);
    if (c->failure.empty() && (!sensor || *sensor < 0 || *sensor > SensorCount))
        c->failure = "the work sensor must be 0 (none) or 1 to 8";
    FieldInput input;
    if (c->failure.empty())
        input.fields = readFieldsList(request.fields.empty() ? fieldsList_ : request.fields, &c->failure);
    if (!c->failure.empty()) {
        c->refuse(host_);
        fieldsComputation_ = std::move(c);
        return S_OK;
    }

    c->groupFile = owner->fileName;
    c->device = v->device;
    c->width = *width;
    input.width = *width;
    input.workSensor = static_cast<int>(*sensor);
    input.moveSpeed = v->trips.moveSpeed;
    input.gapSeconds = v->trips.gapAsStopSeconds;
    const RecordStore store(paths_.tracks());
    const UnixTime periodStart = *from;
    const UnixTime periodEnd = *to;
    std::atomic<int>* fieldPercents = &fieldsPercents_;
    c->start(
        host_, fieldsTimeoutSeconds_, &fieldsTotalPercents_,
        [store, periodStart, periodEnd, fieldPercents,
         input = std::move(input)](Computation& run, const ProgressCallback& progress) mutable {
            // The period includes its start and excludes its end.
            input.records = store.read(run.device, periodStart, periodEnd - 1, &run.problems);
            progress(10);
            run.fields = computeFields(input, progress, &run.cancel, 10, [&](int p) { *fieldPercents = p; });
        },
        "the field computation took longer than FieldsComputingTimeout and was stopped");
    fieldsComputation_ = std::move(c);
    return S_OK;
}

void NavilonixObject::finishFieldsComputing() {
    if (!fieldsComputation_ || !fieldsComputation_->finished)
        return;
    std::unique_ptr<Computation> c = std::move(fieldsComputation_);
    if (c->thread.joinable())
        c->thread.join();
    for (const std::string& problem : c->problems)
        log("  skipped: " + problem);
    fieldsResult_.clear();
    if (!c->fields || !c->failure.empty()) {
        fieldsCheck_ = 0;
        log("field computation (" + c->description +
            ") failed: " + (c->failure.empty() ? std::string("stopped") : c->failure));
    } else {
        fieldsResult_ = std::move(*c->fields);
        fieldsCheck_ = 1;
        double area = 0.0;
        for (const FieldResult& f : fieldsResult_)
            area += f.area;
        log("field computation (" + c->description + ") done: " + std::to_string(fieldsResult_.size()) + " field(s), " +
            fixed(area / 10000, 3) + " ha worked" + (c->implement.empty() ? std::string() : " with " + c->implement));
    }
    fieldsBusy_ = false;
    fieldsPercents_ = 0;
    fieldsTotalPercents_ = 0;
    raiseEvent(DISPID_OnEndFieldsComputing);
    answerFieldsWaiters(fieldsCheck_ ? S_OK : E_FAIL);
}

void NavilonixObject::answerFieldsWaiters(HRESULT result) {
    for (ole::DeferredReply& waiter : std::exchange(fieldsWaiters_, {}))
        waiter.Complete(result);
}

void NavilonixObject::stopFieldsComputing() {
    if (fieldsComputation_) {
        fieldsComputation_->stop();
        fieldsComputation_.reset();
        fieldsBusy_ = false;
    }
    // The server is closing: nobody waits for an answer that will not come.
    answerFieldsWaiters(E_ABORT);
}

HRESULT NavilonixObject::StartFieldsComputing(BSTR Param1, LONG Param2, BSTR Param3, BSTR Param4, BSTR Param5,
                                              DOUBLE Param6, LONG Param7) {
    FieldRequest r;
    r.groupFile = BstrToUtf8(Param1);
    r.device = Param2;
    r.periodStart = BstrToUtf8(Param3);
    r.periodEnd = BstrToUtf8(Param4);
    r.source = BstrToUtf8(Param5);
    r.width = Param6;
    r.sensor = Param7;
    r.description = excerpt(r.groupFile) + ", " + std::to_string(Param2) + ", " + excerpt(r.periodStart) + ", " +
                    excerpt(r.periodEnd) + ", " + excerpt(r.source) + ", " + fixed(Param6, 2) + ", " +
                    std::to_string(Param7);
    return startFieldsComputing(r);
}

HRESULT NavilonixObject::StartFieldsComputingEx(LONG Param1, BSTR Param2, BSTR Param3, BSTR Param4, BSTR Param5,
                                                BSTR Param6, BSTR Param7, BSTR Param8) {
    FieldRequest r;
    r.device = Param1;
    r.groupFile = BstrToUtf8(Param2);
    r.periodStart = BstrToUtf8(Param3);
    r.periodEnd = BstrToUtf8(Param4);
    r.source = BstrToUtf8(Param5);
    r.implement = BstrToUtf8(Param6);
    r.sensorText = BstrToUtf8(Param7);
    r.fields = BstrToUtf8(Param8);
    r.description = std::to_string(Param1) + ", " + excerpt(r.groupFile) + ", " + excerpt(r.periodStart) + ", " +
                    excerpt(r.periodEnd) + ", " + excerpt(r.source) + ", " + excerpt(r.implement) + ", " +
                    excerpt(r.sensorText) + ", " + excerpt(r.fields);
    return startFieldsComputing(r);
}

HRESULT NavilonixObject::WaitForFieldsComputing(BSTR Param1, LONG Param2, BSTR Param3, BSTR Param4, BSTR Param5,
                                                DOUBLE Param6, LONG Param7) {
    StartFieldsComputing(Param1, Param2, Param3, Param4, Param5, Param6, Param7);
    return waitForFieldsComputing();
}

HRESULT NavilonixObject::WaitForFieldsComputingEx(LONG Param1, BSTR Param2, BSTR Param3, BSTR Param4, BSTR Param5,
                                                  BSTR Param6, BSTR Param7, BSTR Param8) {
    StartFieldsComputingEx(Param1, Param2, Param3, Param4, Param5, Param6, Param7, Param8);
    return waitForFieldsComputing();
}

// Over the bus the caller gets its answer at the end, and the server serves the others meanwhile.
HRESULT NavilonixObject::waitForFieldsComputing() {
    if (ole::DeferredReply reply = ole::DeferCurrentCall()) {
        fieldsWaiters_.push_back(std::move(reply));
        return S_OK;
    }
    if (fieldsComputation_ && fieldsComputation_->thread.joinable())
        fieldsComputation_->thread.join();
    finishFieldsComputing();
    return fieldsCheck_ ? S_OK : E_FAIL;
}

HRESULT NavilonixObject::get_FieldsComputingTimeout(LONG* Value) {
    return readLong(Value, fieldsTimeoutSeconds_);
}
HRESULT NavilonixObject::set_FieldsComputingTimeout(LONG Value) {
    log("FieldsComputingTimeout := " + std::to_string(Value) + " s");
    fieldsTimeoutSeconds_ = std::max<LONG>(Value, 0);
    return S_OK;
}
HRESULT NavilonixObject::get_FieldsComputingBusy(LONG* Value) {
    return readLong(Value, fieldsBusy_ ? 1 : 0);
}
HRESULT NavilonixObject::get_FieldsComputingPercents(LONG* Value) {
    return readLong(Value, fieldsBusy_ ? std::clamp(fieldsPercents_.load(), 0, 100) : 0);
}
HRESULT NavilonixObject::get_FieldsComputingTotalPercents(LONG* Value) {
    return readLong(Value, fieldsBusy_ ? std::clamp(fieldsTotalPercents_.load(), 0, 100) : 0);
}
HRESULT NavilonixObject::get_FieldsComputingCheck(LONG* Value) {
    return readLong(Value, fieldsCheck_);
}

// The results of the last field computation: a header line, then one line a field, tab-separated.
HRESULT NavilonixObject::get_FieldsList(BSTR* Value) {
    if (fieldsResult_.empty())
        return readText(Value, std::string());
    std::string table = "Поле\tИД\tВремя\tПуть, км\tПлощадь, га\n";
    for (const FieldResult& f : fieldsResult_)
        table += f.name + "\t" + f.id + "\t" + formatDuration(std::llround(f.seconds), textFormat_) + "\t" +
                 fixed(f.distance / 1000, 3) + "\t" + fixed(f.area / 10000, 3) + "\n";
    return readText(Value, table);
}

// Chooses the list whose geozones are the fields of later computations; it must exist.
HRESULT NavilonixObject::set_FieldsList(BSTR Value) {
    const std::string name = BstrToUtf8(Value);
    log("FieldsList := " + excerpt(name));
    if (!isBareListName(name)) {
        log("  refused: not a bare list name");
        return HRESULT_FROM_WIN32(ErrorInvalidName);
    }
    const auto path = paths_.points() / (name + ".chp");
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        log("  refused: no such list");
        return resultOfFileError(path, false);
    }
    fieldsList_ = name;
    return S_OK;
}

} // namespace navilonix::server
