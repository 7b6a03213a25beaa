// The automation object's exports, extended properties and addresses.
#include "server/NavilonixObject.h"

#include "platform/ole/Bstr.h"
#include "server/ObjectSupport.h"
#include "server/core/Csv.h"
#include "server/core/FileUtil.h"
#include "server/core/Gazetteer.h"
#include "server/core/Geo.h"
#include "server/core/PropertyStore.h"
#include "server/core/TextFields.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace navilonix::server {

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string duration(long seconds) {
    const long s = std::max(0L, seconds);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    return buffer;
}

std::string coordinate(double value) {
    return value == NoCoordinate ? std::string() : formatNumber(value, 6);
}

} // namespace

// --- exports -------------------------------------------------------------------------------------------------

// The checks every export makes before writing: a full path ending in .csv and a separator flag of 0 or 1.
HRESULT NavilonixObject::checkExport(const std::string& name, LONG separator, std::filesystem::path* file) {
    *file = std::filesystem::path(name);
    if (!file->is_absolute()) {
        log("  refused: the file must be named by its full path");
        return HRESULT_FROM_WIN32(ErrorInvalidName);
    }
    if (lower(file->extension().string()) != ".csv") {
        log("  refused: the extension must be .csv");
        return E_INVALIDARG;
    }
    if (separator != 0 && separator != 1) {
        log("  refused: the separator flag must be 0 (comma) or 1 (semicolon)");
        return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT NavilonixObject::writeExport(const std::filesystem::path& file, const CsvTable& table) {
    try {
        writeFileAtomically(file, table.text());
        log("  " + std::to_string(table.rows()) + " row(s) written");
        return S_OK;
    } catch (const FileError& e) {
        log(std::string("  ") + e.what());
        return resultOfFileError(file, true);
    }
}

HRESULT NavilonixObject::ExportListToFile(BSTR Param1, BSTR Param2, BSTR Param3, LONG Param4, LONG Param5) {
    const std::string name = BstrToUtf8(Param1);
    const std::string list = lower(BstrToUtf8(Param2));
    const std::string kind = lower(BstrToUtf8(Param3));
    log("ExportListToFile(" + excerpt(name) + ", " + excerpt(list) + ", " + excerpt(kind) + ", " +
        std::to_string(Param4) + ", " + std::to_string(Param5) + ")");
    std::filesystem::path file;
    if (const HRESULT hr = checkExport(name, Param4, &file); FAILED(hr))
        return hr;
    const char separator = Param4 ? ';' : ',';
    if (list == "checkpoints" && kind.empty()) {
        CsvTable table({"Name", "Address", "ID", "Latitude", "Longitude", "Radius m", "Fix time min", "Week days"},
                       separator);
        for (const CheckPoint& p : checkPoints_)
            table.addRow({p.name, p.address, p.id, formatNumber(p.latitude, 6), formatNumber(p.longitude, 6),
                          std::to_string(p.radius), std::to_string(p.fixTime), std::to_string(p.weekDays)});
        return writeExport(file, table);
    }
    if (list == "trips" && kind.empty()) {
        CsvTable table({"Trip", "Start", "Start place", "End", "End place", "Distance m", "Duration", "Moving",
                        "Parked", "Max speed km/h", "Average speed km/h"},
                       separator);
        for (std::size_t i = 0; i < result_.trips.size(); ++i) {
            const Trip& t = result_.trips[i];
            const Summary& s = t.summary;
            table.addRow({std::to_string(i + 1), text(s.startTime), t.start.name, text(s.endTime), t.end.name,
                          formatNumber(s.distance, 1), duration(static_cast<long>(s.realSeconds())),
                          duration(static_cast<long>(s.moveSeconds)), duration(static_cast<long>(s.parkSeconds)),
                          formatNumber(s.maxSpeed, 1),
                          s.averageSpeed < 0 ? std::string() : formatNumber(s.averageSpeed, 1)});
        }
        return writeExport(file, table);
    }
    // Otherwise an entry list of the current trip, named as TripEntriesListTypeName / ...KindName name it.
    const Trip* t = trip();
    const auto index = entryListByNames(list, kind);
    if (!index) {
        log("  refused: no list " + excerpt(list) + " " + excerpt(kind) + " (checkpoints, trips or an entry list)");
        return E_INVALIDARG;
    }
    if (!t) {
        log("  no current trip");
        return E_UNEXPECTED;
    }
    CsvTable table({"ID", "Start place", "Start", "End place", "End", "Distance m", "Duration"}, separator);
    for (const Entry& e : t->entries[static_cast<std::size_t>(*index)])
        table.addRow({std::to_string(e.id), e.start.name, text(e.summary.startTime), e.end.name,
                      text(e.summary.endTime), formatNumber(e.summary.distance, 1),
                      duration(static_cast<long>(e.summary.realSeconds()))});
    return writeExport(file, table);
}

HRESULT NavilonixObject::ExportDataToFile(BSTR Param1, LONG Param2, LONG Param3) {
    const std::string name = BstrToUtf8(Param1);
    log("ExportDataToFile(" + excerpt(name) + ", " + std::to_string(Param2) + ", " + std::to_string(Param3) + ")");
    std::filesystem::path file;
    if (const HRESULT hr = checkExport(name, Param3, &file); FAILED(hr))
        return hr;
    if (Param2 < 0 || static_cast<std::size_t>(Param2) > result_.trips.size()) {
        log("  refused: no trip " + std::to_string(Param2) + " (0 for the whole period)");
        return E_INVALIDARG;
    }
    if (check_ == 0 || result_.records.empty()) {
        log("  no computed records");
        return E_UNEXPECTED;
    }
    std::size_t first = 0;
    std::size_t last = result_.records.size() - 1;
    if (Param2 > 0) {
        first = result_.trips[static_cast<std::size_t>(Param2 - 1)].first;
        last = result_.trips[static_cast<std::size_t>(Param2 - 1)].last;
    }
    std::vector<std::string> header{"Device",     "Time", "Latitude", "Longitude", "Speed km/h", "Course",
                                    "Altitude m", "Fix",  "Power",    "Motor 1",   "Motor 2"};
    for (int s = 1; s <= SensorCount; ++s)
        header.push_back("Sensor " + std::to_string(s));
    for (int k = 1; k <= TankCount; ++k)
        header.push_back("Tank " + std::to_string(k) + " l");
    CsvTable table(header, Param3 ? ';' : ',');
    for (std::size_t i = first; i <= last; ++i) {
        const GpsRecord& r = result_.records[i];
        std::vector<std::string> row{std::to_string(resultDevice_),
                                     text(r.time),
                                     r.validFix() ? formatNumber(r.latitude, 6) : std::string(),
                                     r.validFix() ? formatNumber(r.longitude, 6) : std::string(),
                                     formatNumber(r.speed, 1),
                                     r.course < 0 ? std::string() : formatNumber(r.course, 1),
                                     r.altitude <= NoAltitude ? std::string() : formatNumber(r.altitude, 0),
                                     r.validFix() ? "1" : "0",
                                     (r.status & StatusExternalPower) ? "1" : "0",
                                     (r.status & StatusMotor1) ? "1" : "0",
                                     (r.status & StatusMotor2) ? "1" : "0"};
        for (int s = 1; s <= SensorCount; ++s)
            row.push_back(r.sensor(s) ? "1" : "0");
        for (const float level : r.tanks)
            row.push_back(level < 0 ? std::string() : formatNumber(level, 1));
        table.addRow(std::move(row));
    }
    return writeExport(file, table);
}

HRESULT NavilonixObject::ExportCarsToFile(BSTR Param1, BSTR Param2, LONG Param3, BSTR, BSTR, LONG, LONG, LONG) {
    const std::string name = BstrToUtf8(Param1);
    const std::string groupFile = BstrToUtf8(Param2);
    log("ExportCarsToFile(" + excerpt(name) + ", " + excerpt(groupFile) + ", " + std::to_string(Param3) + ", ...)");
    std::filesystem::path file;
    if (const HRESULT hr = checkExport(name, Param3, &file); FAILED(hr))
        return hr;
    const bool any = std::none_of(groups_.begin(), groups_.end(),
                                  [&](const Group& g) { return sameFileName(g.fileName, groupFile); });
    if (!groupFile.empty() && any) {
        log("  refused: no group " + excerpt(groupFile));
        return E_INVALIDARG;
    }
    CsvTable table({"Group file", "Group", "Device", "Model", "Number", "Alias", "Phone", "Route", "Drivers",
                    "Last record", "Latitude", "Longitude", "Speed km/h", "Course", "Parked"},
                   Param3 ? ';' : ',');
    for (const Group& g : groups_) {
        if (!groupFile.empty() && !sameFileName(g.fileName, groupFile))
            continue;
        for (const Vehicle& v : g.vehicles) {
            const OnlineState* s = onlineState(v.device);
            const OnlineState none;
            const OnlineState& o = s ? *s : none;
            table.addRow({g.fileName, g.name, std::to_string(v.device), v.model, v.number, v.alias, v.phone, v.route,
                          v.drivers, o.lastTime ? text(o.lastTime) : std::string(), coordinate(o.latitude),
                          coordinate(o.longitude), o.speed < 0 ? std::string() : formatNumber(o.speed, 1),
                          o.course < 0 ? std::string() : formatNumber(o.course, 1), duration(o.parkSeconds)});
        }
    }
    return writeExport(file, table);
}

// --- extended properties --------------------------------------------------------------------------------------

PropertyStore& NavilonixObject::propertyStore() {
    if (!propertyStore_)
        propertyStore_ = std::make_unique<PropertyStore>(paths_.properties());
    return *propertyStore_;
}

HRESULT NavilonixObject::readProperty(const std::string& section, const std::string& name, BSTR* Value) {
    if (!Value)
        return E_POINTER;
    *Value = nullptr;
    if (name.empty())
        return readText(Value, "");
    const auto value = propertyStore().get(section, name);
    for (const auto& p : propertyStore().problems())
        log("Properties.txt: " + p);
    return readText(Value, value.value_or(std::string()));
}

HRESULT NavilonixObject::writeProperty(const std::string& section, const std::string& name, BSTR Value) {
    if (name.empty()) {
        log("  refused: no property chosen");
        return E_UNEXPECTED;
    }
    try {
        propertyStore().set(section, name, BstrToUtf8(Value));
        return S_OK;
    } catch (const FileError& e) {
        log(std::string("  ") + e.what());
        return resultOfFileError(paths_.properties(), true);
    }
}

HRESULT NavilonixObject::CmnExPropertySet(BSTR Param1) {
    const std::string name = BstrToUtf8(Param1);
    log("CmnExPropertySet(" + excerpt(name) + ")");
    if (!PropertyStore::validName(name)) {
        log("  refused: not a property name");
        return E_INVALIDARG;
    }
    cmnExName_ = name;
    return S_OK;
}

HRESULT NavilonixObject::CarExPropertySet(BSTR Param1, LONG Param2) {
    const std::string name = BstrToUtf8(Param1);
    log("CarExPropertySet(" + excerpt(name) + ", " + std::to_string(Param2) + ")");
    if (!PropertyStore::validName(name)) {
        log("  refused: not a property name");
        return E_INVALIDARG;
    }
    bool known = false;
    for (const Group& g : groups_)
        for (const Vehicle& v : g.vehicles)
            known = known || v.device == Param2;
    if (!known) {
        log("  refused: no vehicle " + std::to_string(Param2));
        return E_INVALIDARG;
    }
    carExName_ = name;
    carExDevice_ = Param2;
    return S_OK;
}

HRESULT NavilonixObject::get_CmnExPropertyValue(BSTR* Value) {
    return readProperty("Server", cmnExName_, Value);
}
HRESULT NavilonixObject::set_CmnExPropertyValue(BSTR Value) {
    log("CmnExPropertyValue := " + excerpt(BstrToUtf8(Value)));
    return writeProperty("Server", cmnExName_, Value);
}
HRESULT NavilonixObject::get_CarExPropertyValue(BSTR* Value) {
    return readProperty("Vehicle " + std::to_string(carExDevice_), carExName_, Value);
}
HRESULT NavilonixObject::set_CarExPropertyValue(BSTR Value) {
    log("CarExPropertyValue := " + excerpt(BstrToUtf8(Value)));
    return writeProperty("Vehicle " + std::to_string(carExDevice_), carExName_, Value);
}

HRESULT NavilonixObject::get_PropertyName(BSTR* Value) {
    return readText(Value, propertyName_);
}
HRESULT NavilonixObject::set_PropertyName(BSTR Value) {
    const std::string name = BstrToUtf8(Value);
    log("PropertyName := " + excerpt(name));
    if (!PropertyStore::validName(name)) {
        log("  refused: not a property name");
        return E_INVALIDARG;
    }
    propertyName_ = name;
    return S_OK;
}
HRESULT NavilonixObject::get_PropertyValue(BSTR* Value) {
    return readProperty("Server", propertyName_, Value);
}
HRESULT NavilonixObject::set_PropertyValue(BSTR Value) {
    log("PropertyValue := " + excerpt(BstrToUtf8(Value)));
    return writeProperty("Server", propertyName_, Value);
}
HRESULT NavilonixObject::get_PropertyCheck(LONG* Value) {
    if (!Value)
        return E_POINTER;
    return readLong(Value, !propertyName_.empty() && propertyStore().get("Server", propertyName_) ? 1 : 0);
}

// --- addresses ------------------------------------------------------------------------------------------------

std::vector<AddressEntry> NavilonixObject::gazetteer() {
    const auto file = paths_.addresses();
    std::error_code ec;
    if (!std::filesystem::exists(file, ec))
        return {};
    try {
        std::vector<std::string> problems;
        auto entries = parseGazetteer(readWholeFile(file), &problems);
        for (const auto& p : problems)
            log("Addresses.txt: " + p);
        return entries;
    } catch (const FileError& e) {
        log(e.what());
        return {};
    }
}

void NavilonixObject::showFound(const AddressEntry& entry) {
    foundAddress_ = entry.text;
    if (host_)
        host_->showAddress(entry.text, entry.latitude, entry.longitude);
}

HRESULT NavilonixObject::ShowAddress(BSTR Param1, BSTR Param2, BSTR Param3) {
    const std::vector<std::string> parts{BstrToUtf8(Param1), BstrToUtf8(Param2), BstrToUtf8(Param3)};
    log("ShowAddress(" + excerpt(parts[0]) + ", " + excerpt(parts[1]) + ", " + excerpt(parts[2]) + ")");
    if (std::all_of(parts.begin(), parts.end(), [](const std::string& p) { return trim(p).empty(); })) {
        log("  refused: no address given");
        return E_INVALIDARG;
    }
    const auto entries = gazetteer();
    const AddressEntry* found = findAddress(entries, parts);
    if (!found) {
        log("  not in the gazetteer");
        return HRESULT_FROM_WIN32(ErrorNotFound);
    }
    log("  " + found->text);
    showFound(*found);
    return S_OK;
}

HRESULT NavilonixObject::FindNearestAddress(DOUBLE Param1, DOUBLE Param2, LONG Param3) {
    log("FindNearestAddress(" + formatNumber(Param1, 6) + ", " + formatNumber(Param2, 6) + ", " +
        std::to_string(Param3) + ")");
    if (!std::isfinite(Param1) || !std::isfinite(Param2) || std::fabs(Param1) > 90 || std::fabs(Param2) > 180 ||
        Param3 < 0) {
        log("  refused: coordinates outside the Earth or a negative radius");
        return E_INVALIDARG;
    }
    const auto entries = gazetteer();
    const auto nearest = nearestAddress(entries, Param1, Param2, Param3);
    if (!nearest) {
        foundAddress_.clear();
        log("  no address within " + std::to_string(Param3) + " m");
        return HRESULT_FROM_WIN32(ErrorNotFound);
    }
    log("  " + nearest->entry.text + " (" + formatNumber(nearest->meters, 0) + " m)");
    showFound(nearest->entry);
    return S_OK;
}

// Where the current vehicle is: the check point whose circle holds it, else the nearest address of the
// gazetteer within PlacementRadiusMeters, else its coordinates.
HRESULT NavilonixObject::get_CarPlacement(BSTR* Value) {
    const OnlineState* s = carOnline();
    if (!s || s->latitude == NoCoordinate || s->longitude == NoCoordinate)
        return readText(Value, std::string());
    for (const CheckPoint& p : checkPoints_)
        if (insideCircle(p, s->latitude, s->longitude))
            return readText(Value, placeName(checkPoints_, s->latitude, s->longitude));
    if (const auto nearest = nearestAddress(gazetteer(), s->latitude, s->longitude, PlacementRadiusMeters))
        return readText(Value, nearest->entry.text);
    return readText(Value, placeName(checkPoints_, s->latitude, s->longitude));
}

} // namespace navilonix::server
