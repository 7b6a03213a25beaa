#include "server/core/GroupFile.h"

#include "server/core/FileUtil.h"
#include "server/core/TextFields.h"
#include "server/core/TimeText.h"

#include <algorithm>
#include <functional>
#include <map>

namespace navilonix::server {

namespace {

using Problems = std::vector<std::string>;

struct Key {
    std::function<bool(Vehicle&, std::string_view)> read;
    std::function<std::string(const Vehicle&)> write;
};

Key text(std::string Vehicle::*member) {
    return {[member](Vehicle& v, std::string_view s) {
                v.*member = unescapeField(s);
                return true;
            },
            [member](const Vehicle& v) { return escapeField(v.*member); }};
}

template <typename Getter> Key integer(Getter get) {
    return {[get](Vehicle& v, std::string_view s) {
                const auto value = parseInteger(s);
                if (!value || *value < 0)
                    return false;
                get(v) = *value;
                return true;
            },
            [get](const Vehicle& v) {
                Vehicle copy = v;
                return std::to_string(get(copy));
            }};
}

template <typename Getter> Key flag(Getter get) {
    return {[get](Vehicle& v, std::string_view s) {
                if (s != "0" && s != "1")
                    return false;
                get(v) = s == "1";
                return true;
            },
            [get](const Vehicle& v) {
                Vehicle copy = v;
                return std::string(get(copy) ? "1" : "0");
            }};
}

template <typename Getter> Key number(Getter get) {
    return {[get](Vehicle& v, std::string_view s) {
                const auto value = parseNumber(s);
                if (!value || *value < 0)
                    return false;
                get(v) = *value;
                return true;
            },
            [get](const Vehicle& v) {
                Vehicle copy = v;
                return formatNumber(get(copy), 3);
            }};
}

// The keys of a [Vehicle] section, in the order they are written.
const std::vector<std::pair<std::string, Key>>& vehicleKeys() {
    static const std::vector<std::pair<std::string, Key>> keys = {
        {"Device", integer([](Vehicle& v) -> long& { return v.device; })},
        {"Model", text(&Vehicle::model)},
        {"Number", text(&Vehicle::number)},
        {"Alias", text(&Vehicle::alias)},
        {"Phone", text(&Vehicle::phone)},
        {"Route", text(&Vehicle::route)},
        {"Drivers", text(&Vehicle::drivers)},
        {"UseDefaults", flag([](Vehicle& v) -> bool& { return v.chp.useDefaults; })},
        {"CheckPoints",
         {[](Vehicle& v, std::string_view s) {
              v.chp.checkPointsFile = unescapeField(s);
              return true;
          },
          [](const Vehicle& v) { return escapeField(v.chp.checkPointsFile); }}},
        {"GeoZones",
         {[](Vehicle& v, std::string_view s) {
              v.chp.geoZonesFile = unescapeField(s);
              return true;
          },
          [](const Vehicle& v) { return escapeField(v.chp.geoZonesFile); }}},
        {"CallOnPark", flag([](Vehicle& v) -> bool& { return v.chp.callOnPark; })},
        {"ParkMinutes", integer([](Vehicle& v) -> long& { return v.chp.parkMinutes; })},
        {"CallOnSensor", flag([](Vehicle& v) -> bool& { return v.chp.callOnSensor; })},
        {"SensorNumber", integer([](Vehicle& v) -> long& { return v.chp.sensorNumber; })},
        {"SensorSeconds", integer([](Vehicle& v) -> long& { return v.chp.sensorSeconds; })},
        {"MinParkSeconds", integer([](Vehicle& v) -> long& { return v.trips.minParkSeconds; })},
        {"MinTripSeconds", integer([](Vehicle& v) -> long& { return v.trips.minTripSeconds; })},
        {"MinTripMeters", integer([](Vehicle& v) -> long& { return v.trips.minTripMeters; })},
        {"GapAsStopSeconds", integer([](Vehicle& v) -> long& { return v.trips.gapAsStopSeconds; })},
        {"StopSeconds", integer([](Vehicle& v) -> long& { return v.trips.stopSeconds; })},
        {"SignalGapSeconds", integer([](Vehicle& v) -> long& { return v.trips.signalGapSeconds; })},
        {"MoveSpeed", number([](Vehicle& v) -> double& { return v.trips.moveSpeed; })},
        {"SpeedLimit", number([](Vehicle& v) -> double& { return v.trips.speedLimit; })},
        {"TankRate", number([](Vehicle& v) -> double& { return v.trips.tankRate; })},
        {"RefillLitres", number([](Vehicle& v) -> double& { return v.trips.refillLitres; })},
        {"DrainLitres", number([](Vehicle& v) -> double& { return v.trips.drainLitres; })},
    };
    return keys;
}

} // namespace

Group parseGroupFile(std::string_view content, Problems* problems) {
    Group group;
    auto report = [&](std::size_t line, const std::string& message) {
        if (problems)
            problems->push_back("line " + std::to_string(line) + ": " + message);
    };
    enum class Section { None, Group, Vehicle } section = Section::None;
    Vehicle vehicle;
    bool vehicleValid = false;
    std::size_t vehicleLine = 0;
    auto finishVehicle = [&]() {
        if (section != Section::Vehicle)
            return;
        if (!vehicleValid) {
            report(vehicleLine, "vehicle without a device number skipped");
        } else if (std::any_of(group.vehicles.begin(), group.vehicles.end(),
                               [&](const Vehicle& v) { return v.device == vehicle.device; })) {
            report(vehicleLine, "device " + std::to_string(vehicle.device) + " listed twice; second one skipped");
        } else {
            group.vehicles.push_back(vehicle);
        }
    };
    const auto lines = splitLines(content);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = trim(lines[i]);
        const std::size_t number = i + 1;
        if (line.empty() || line.front() == '#' || line.front() == ';')
            continue;
        if (line.front() == '[') {
            finishVehicle();
            if (line == "[Group]") {
                section = Section::Group;
            } else if (line == "[Vehicle]") {
                section = Section::Vehicle;
                vehicle = Vehicle{};
                vehicleValid = false;
                vehicleLine = number;
            } else {
                report(number, "unknown section " + std::string(line));
                section = Section::None;
            }
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            report(number, "expected Key=Value");
            continue;
        }
        const std::string_view key = trim(line.substr(0, equals));
        const std::string_view value = trim(line.substr(equals + 1));
        if (section == Section::Group) {
            if (key == "Name")
                group.name = unescapeField(value);
            else if (key == "Address")
                group.address = unescapeField(value);
            else if (key == "Contacts")
                group.contacts = unescapeField(value);
            else
                report(number, "unknown key " + std::string(key));
        } else if (section == Section::Vehicle) {
            const auto& keys = vehicleKeys();
            const auto it = std::find_if(keys.begin(), keys.end(), [&](const auto& k) { return k.first == key; });
            if (it == keys.end()) {
                report(number, "unknown key " + std::string(key));
            } else if (!it->second.read(vehicle, value)) {
                report(number, "bad value for " + std::string(key));
            } else if (key == "Device") {
                vehicleValid = vehicle.device > 0 && vehicle.device <= 2147483647L;
                if (!vehicleValid)
                    report(number, "bad value for Device");
            }
        } else {
            report(number, "key outside a section");
        }
    }
    finishVehicle();
    return group;
}

std::string formatGroupFile(const Group& group) {
    std::string out = "# NavilonixServer vehicle group. Edit freely; the server rereads the file when it changes.\n"
                      "[Group]\n";
    out += "Name=" + escapeField(group.name) + "\nAddress=" + escapeField(group.address) +
           "\nContacts=" + escapeField(group.contacts) + "\n";
    for (const Vehicle& v : group.vehicles) {
        out += "\n[Vehicle]\n";
        for (const auto& [key, access] : vehicleKeys())
            out += key + '=' + access.write(v) + '\n';
    }
    return out;
}

std::vector<Group> readGroups(const std::filesystem::path& folder, Problems* problems) {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().extension() == ".grp")
            files.push_back(it->path());
    std::sort(files.begin(), files.end());
    std::vector<Group> groups;
    for (const auto& file : files) {
        try {
            Problems lines;
            Group group = parseGroupFile(readWholeFile(file), &lines);
            group.fileName = file.filename().string();
            if (problems)
                for (const auto& line : lines)
                    problems->push_back(group.fileName + ": " + line);
            groups.push_back(std::move(group));
        } catch (const FileError& e) {
            if (problems)
                problems->push_back(e.what());
        }
    }
    return groups;
}

void writeGroupFile(const std::filesystem::path& folder, const Group& group) {
    writeFileAtomically(folder / group.fileName, formatGroupFile(group));
}

std::string formatOnlineStates(const std::vector<std::pair<long, OnlineState>>& states) {
    std::string out = "# device\tlast record (UTC)\tlast position (UTC)\tlatitude\tlongitude\tcourse\tspeed km/h\t"
                      "parked s\tflags\n";
    auto time = [](UnixTime t) {
        if (t == 0)
            return std::string("-");
        const CivilTime c = toUtcCivil(t);
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02dZ", c.year, c.month, c.day, c.hour, c.minute,
                      c.second);
        return std::string(buffer);
    };
    for (const auto& [device, s] : states) {
        out += std::to_string(device) + '\t' + time(s.lastTime) + '\t' + time(s.lastFixTime) + '\t' +
               formatNumber(s.latitude, 7) + '\t' + formatNumber(s.longitude, 7) + '\t' + formatNumber(s.course, 1) +
               '\t' + formatNumber(s.speed, 1) + '\t' + std::to_string(s.parkSeconds) + '\t' + std::to_string(s.flags) +
               '\n';
    }
    return out;
}

std::vector<std::pair<long, OnlineState>> parseOnlineStates(std::string_view content, Problems* problems) {
    std::vector<std::pair<long, OnlineState>> states;
    auto parseTime = [](std::string_view s) -> std::optional<UnixTime> {
        if (s == "-")
            return UnixTime{0};
        CivilTime c;
        if (s.size() != 20 ||
            std::sscanf(std::string(s).c_str(), "%4d-%2d-%2dT%2d:%2d:%2dZ", &c.year, &c.month, &c.day, &c.hour,
                        &c.minute, &c.second) != 6 ||
            !isValidCivil(c))
            return std::nullopt;
        return fromUtcCivil(c);
    };
    const auto lines = splitLines(content);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (trim(line).empty() || line.front() == '#')
            continue;
        const auto f = splitFields(line);
        std::optional<long> device;
        std::optional<UnixTime> last, fix;
        std::optional<double> lat, lon, course, speed;
        std::optional<long> park, flags;
        if (f.size() == 9) {
            device = parseInteger(f[0]);
            last = parseTime(f[1]);
            fix = parseTime(f[2]);
            lat = parseNumber(f[3]);
            lon = parseNumber(f[4]);
            course = parseNumber(f[5]);
            speed = parseNumber(f[6]);
            park = parseInteger(f[7]);
            flags = parseInteger(f[8]);
        }
        if (!device || !last || !fix || !lat || !lon || !course || !speed || !park || !flags) {
            if (problems)
                problems->push_back("line " + std::to_string(i + 1) + ": unreadable online state skipped");
            continue;
        }
        states.emplace_back(*device, OnlineState{*last, *fix, *lat, *lon, *course, *speed, *park, *flags});
    }
    return states;
}

} // namespace navilonix::server
