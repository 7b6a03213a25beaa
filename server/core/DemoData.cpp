#include "server/core/DemoData.h"
#include "server/core/Implements.h"

#include "server/core/Gazetteer.h"

#include "server/core/CheckPointFile.h"
#include "server/core/FileUtil.h"
#include "server/core/Geo.h"
#include "server/core/GroupFile.h"
#include "server/core/RecordStore.h"
#include "server/core/TimeText.h"

#include <algorithm>
#include <cmath>

namespace navilonix::server {

namespace {

// Places in Moscow the demo vehicles drive between.
struct Place {
    const char* name;
    const char* address;
    double latitude;
    double longitude;
    long radius;
};

enum PlaceId {
    TaxiDepot,
    CargoDepot,
    ServiceDepot,
    FuelStation,
    RedSquare,
    Paveletsky,
    Kievsky,
    Komsomolskaya,
    Sheremetyevo,
    Vnukovo,
    Lyubertsy,
    Khimki,
    PlaceCount
};

const Place Places[PlaceCount] = {
    {"Таксопарк", "ул. Беговая, 32", 55.7763, 37.5510, 150},
    {"Автобаза «Вектор»", "ул. Шоссейная, 90", 55.6905, 37.7440, 200},
    {"Гараж коммунальных служб", "пр. Мира, 119", 55.8140, 37.6380, 150},
    {"АЗС", "Ленинградский пр., 41", 55.7900, 37.5340, 80},
    {"Красная площадь", "Красная пл., 1", 55.7539, 37.6208, 200},
    {"Павелецкий вокзал", "Павелецкая пл., 1", 55.7296, 37.6400, 150},
    {"Киевский вокзал", "пл. Киевского Вокзала, 1", 55.7430, 37.5660, 150},
    {"Комсомольская площадь", "Комсомольская пл., 3", 55.7765, 37.6550, 200},
    {"Аэропорт Шереметьево", "Химки, Шереметьевское ш.", 55.9726, 37.4146, 400},
    {"Аэропорт Внуково", "ул. 2-я Рейсовая, 2", 55.6000, 37.2700, 400},
    {"Склад Люберцы", "Люберцы, Октябрьский пр., 10", 55.6760, 37.8920, 200},
    {"Склад Химки", "Химки, ул. Ленинградская, 29", 55.8890, 37.4450, 200},
};

// One leg of a working day: drive to a place and stand there.
struct Leg {
    PlaceId to;
    int stopMinutes;
    bool highway = false;
    std::uint16_t sensorsDriving = 0;  // inputs on while driving to the place
    std::uint16_t sensorsStanding = 0; // inputs on while standing there
    bool refuel = false;
};

struct Schedule {
    long device;
    PlaceId depot;
    double cruise;       // km/h in town
    double highway;      // km/h on the highway
    double litresPerKm;  // 0 when the vehicle has no tank sensor
    int tanks;           // number of tank sensors
    double capacity;     // litres
    bool secondMotor;    // a power take-off runs while sensor 3 is on
    int departureMinute; // local time of day
    std::vector<Leg> legs;
};

const std::vector<Schedule>& schedules() {
    static const std::vector<Schedule> all = {
        {21305,
         TaxiDepot,
         38,
         100,
         0.09,
         1,
         55,
         false,
         7 * 60 + 30,
         {{Kievsky, 8, false, 0x01},
          {Sheremetyevo, 25, true, 0x01, 0x01},
          {RedSquare, 10, true, 0x01},
          {Komsomolskaya, 35, false, 0x01},
          {FuelStation, 6, false, 0, 0, true},
          {TaxiDepot, 0}}},
        {25001,
         TaxiDepot,
         36,
         95,
         0.0,
         0,
         0,
         false,
         8 * 60,
         {{Paveletsky, 6, false, 0x01}, {Vnukovo, 30, true, 0x01}, {Kievsky, 12, true, 0x01}, {TaxiDepot, 0}}},
        {30010,
         CargoDepot,
         42,
         78,
         0.32,
         2,
         400,
         false,
         6 * 60 + 30,
         {{Lyubertsy, 45, false, 0, 0x02},
          {Khimki, 40, true, 0, 0x02},
          {FuelStation, 8, false, 0, 0, true},
          {CargoDepot, 0}}},
        {30011,
         CargoDepot,
         40,
         80,
         0.0,
         0,
         0,
         false,
         7 * 60,
         {{Khimki, 30, true, 0, 0x02}, {Lyubertsy, 30, true, 0, 0x02}, {CargoDepot, 0}}},
        {40001,
         ServiceDepot,
         16,
         45,
         0.25,
         1,
         150,
         true,
         5 * 60,
         {{Komsomolskaya, 5, false, 0x04},
          {RedSquare, 15, false, 0x04},
          {Paveletsky, 24, false, 0x04},
          {Komsomolskaya, 5, false, 0x04},
          {ServiceDepot, 0}}},
    };
    return all;
}

// A small deterministic generator (SplitMix64).
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }
    int between(int low, int high) {
        return low + static_cast<int>(next() % static_cast<std::uint64_t>(high - low + 1));
    }

private:
    std::uint64_t state_;
};

constexpr int LocalOffset = 4 * 3600; // Moscow summer time in 2009

// Drives a vehicle through its schedule and writes what its device would record.
class Simulator {
public:
    Simulator(const Schedule& schedule, UnixTime start, std::vector<GpsRecord>& out)
        : s_(schedule), out_(out), t_(start), random_(static_cast<std::uint64_t>(schedule.device) * 7919u) {
        position_ = GeoPoint{Places[schedule.depot].latitude, Places[schedule.depot].longitude};
        for (int k = 0; k < s_.tanks; ++k)
            tanks_[static_cast<std::size_t>(k)] = s_.capacity / s_.tanks * 0.8;
    }

    void day(int index, UnixTime dayStart) {
        Random random(static_cast<std::uint64_t>(s_.device) * 100003u + static_cast<std::uint64_t>(index));
        const UnixTime departure = dayStart + s_.departureMinute * 60 - LocalOffset + random.between(0, 20) * 60;
        nightPark(index, departure);
        gapStart_ = gapEnd_ = 0;
        if (index % 7 == 3) { // a signal gap on the road, once a week
            gapStart_ = departure + 40 * 60;
            gapEnd_ = gapStart_ + 10 * 60;
        }
        for (const Leg& leg : s_.legs) {
            drive(leg, random);
            if (leg.stopMinutes > 0)
                stand(leg, random);
        }
    }

    void finish(UnixTime end) { park(end, 300, false, 0); }

private:
    void emit(double speed, double course, std::uint16_t inputs, bool motor, bool power = true) {
        if (t_ > gapStart_ && t_ < gapEnd_)
            return;
        GpsRecord r;
        r.time = t_;
        r.latitude = position_.latitude;
        r.longitude = position_.longitude;
        r.speed = static_cast<float>(speed);
        r.course = static_cast<float>(course);
        r.altitude = static_cast<float>(150 + 20 * std::sin(position_.latitude * 300));
        r.inputs = inputs;
        r.status = StatusValidFix;
        if (power)
            r.status |= StatusExternalPower;
        if (motor)
            r.status |= StatusMotor1;
        if (s_.secondMotor && (inputs & 0x04))
            r.status |= StatusMotor2;
        for (int k = 0; k < s_.tanks; ++k)
            r.tanks[static_cast<std::size_t>(k)] =
                static_cast<float>(std::round(tanks_[static_cast<std::size_t>(k)] * 10) / 10);
        out_.push_back(r);
    }

    void park(UnixTime until, int interval, bool motor, std::uint16_t inputs, UnixTime powerOffFrom = 0,
              UnixTime powerOffTo = 0) {
        while (t_ < until) {
            emit(0, course_, inputs, motor, !(t_ >= powerOffFrom && t_ < powerOffTo));
            t_ = std::min(until, t_ + interval);
        }
    }

    void nightPark(int index, UnixTime until) {
        UnixTime offFrom = 0;
        UnixTime offTo = 0;
        if (index % 17 == 5) { // the battery is disconnected for half an hour at night
            offFrom = t_ + 3 * 3600;
            offTo = offFrom + 1800;
        }
        if (s_.tanks > 0 && index % 23 == 11) { // fuel is drained at night
            const UnixTime drainAt = t_ + 2 * 3600;
            park(drainAt, 300, false, 0, offFrom, offTo);
            for (int minute = 0; minute < 5; ++minute) {
                emit(0, course_, 0, false);
                tanks_[0] = std::max(0.0, tanks_[0] - 5.0);
                t_ += 60;
            }
        }
        park(until, 300, false, 0, offFrom, offTo);
    }

    void drive(const Leg& leg, Random& random) {
        const GeoPoint target{Places[leg.to].latitude, Places[leg.to].longitude};
        const double base = leg.highway ? s_.highway : s_.cruise;
        for (;;) {
            const double remaining =
                distanceMeters(position_.latitude, position_.longitude, target.latitude, target.longitude);
            course_ = courseDegrees(position_.latitude, position_.longitude, target.latitude, target.longitude);
            double speed = base * (0.85 + 0.3 * random.uniform());
            if (leg.highway && random.uniform() < 0.02)
                speed = base * 1.2; // a burst of speeding
            const double step = speed / 3.6 * 10.0;
            emit(speed, course_, leg.sensorsDriving, true);
            const double travelled = std::min(step, remaining);
            for (int k = 0; k < s_.tanks; ++k)
                tanks_[static_cast<std::size_t>(k)] =
                    std::max(0.0, tanks_[static_cast<std::size_t>(k)] - travelled / 1000.0 * s_.litresPerKm / s_.tanks);
            if (remaining <= step) {
                position_ = target;
                t_ += static_cast<UnixTime>(std::max(1.0, std::round(remaining / (speed / 3.6))));
                break;
            }
            position_ = moveBy(position_.latitude, position_.longitude, course_, step);
            t_ += 10;
        }
    }

    void stand(const Leg& leg, Random& random) {
        const int minutes = leg.stopMinutes + random.between(-2, 4);
        const UnixTime until = t_ + std::max(2, minutes) * 60;
        if (leg.refuel && s_.tanks > 0) {
            for (int minute = 0; minute < 4 && t_ < until; ++minute) {
                emit(0, course_, leg.sensorsStanding, false);
                for (int k = 0; k < s_.tanks; ++k) {
                    double& level = tanks_[static_cast<std::size_t>(k)];
                    level = std::min(s_.capacity / s_.tanks, level + s_.capacity / s_.tanks / 4);
                }
                t_ += 60;
            }
        }
        // Short stops idle with the engine on and report every minute; long ones switch it off.
        const bool shortStop = minutes < 15;
        park(until, shortStop ? 60 : 300, shortStop, leg.sensorsStanding);
    }

    const Schedule& s_;
    std::vector<GpsRecord>& out_;
    UnixTime t_;
    Random random_;
    GeoPoint position_;
    double course_ = 0.0;
    std::array<double, TankCount> tanks_{};
    UnixTime gapStart_ = 0;
    UnixTime gapEnd_ = 0;
};

Vehicle vehicle(long device, const char* model, const char* number, const char* alias, const char* phone,
                const char* route, const char* drivers) {
    Vehicle v;
    v.device = device;
    v.model = model;
    v.number = number;
    v.alias = alias;
    v.phone = phone;
    v.route = route;
    v.drivers = drivers;
    v.chp.checkPointsFile = "Москва";
    v.chp.geoZonesFile = "Москва";
    return v;
}

std::vector<Group> demoGroups() {
    Group taxi{"taxi.grp", "Такси «Столица»", "Москва, ул. Беговая, 32", "+7 495 123-45-67, dispatch@taxi.example", {}};
    taxi.vehicles = {
        vehicle(21305, "Ford Focus", "А123ВС 77", "Такси 05", "+7 916 100-00-05", "Вокзалы — аэропорты",
                "Иванов И. И., Петров П. П."),
        vehicle(25001, "Hyundai Solaris", "В456ОР 77", "Такси 11", "+7 916 100-00-11", "Внуково", "Сидоров С. С."),
        vehicle(25002, "Kia Rio", "", "Такси 12", "+7 916 100-00-12", "", "Кузнецов К. К."),
        vehicle(17, "", "", "", "", "", ""),
    };
    Group cargo{"cargo.grp", "Грузоперевозки «Вектор»", "Москва, ул. Шоссейная, 90", "+7 495 765-43-21", {}};
    cargo.vehicles = {
        vehicle(30010, "КамАЗ 65115", "Е789КХ 50", "Самосвал 1", "+7 903 200-00-10", "Люберцы — Химки",
                "Смирнов А. В."),
        vehicle(30011, "MAN TGS", "К321МН 50", "Тягач 2", "+7 903 200-00-11", "Химки — Люберцы", "Волков Д. Н."),
        vehicle(30012, "ГАЗель Next", "М654ТТ 77", "Доставка 3", "+7 903 200-00-12", "", "Морозов Е. А."),
        vehicle(21998, "Volvo FH", "Н987АА 77", "Тягач 4", "+7 903 200-00-13", "", "Зайцев Г. Г."),
    };
    cargo.vehicles[0].trips.speedLimit = 70;
    cargo.vehicles[1].trips.speedLimit = 70;
    Group service{"service.grp", "Коммунальные службы", "Москва, пр. Мира, 119", "+7 495 555-01-02", {}};
    service.vehicles = {
        vehicle(40001, "ЗИЛ 433362", "О111ОО 99", "Подметальная 1", "+7 905 300-00-01", "Центр", "Николаев Н. Н."),
        vehicle(40002, "Трактор МТЗ-82", "Т222ТТ 99", "Трактор 2", "+7 905 300-00-02", "", "Фёдоров Ф. Ф."),
        vehicle(40003, "", "", "", "+7 905 300-00-03", "", ""),
        vehicle(21999, "УАЗ Патриот", "Р222РР 99", "Дежурная", "+7 905 300-00-04", "", "Павлов П. А."),
    };
    service.vehicles[0].trips.speedLimit = 60;
    Group reserve{"reserve.grp", "Резерв", "Москва, ул. Беговая, 32", "", {}};
    return {cargo, reserve, service, taxi};
}

UnixTime local(int year, int month, int day, int hour, int minute, int second) {
    return fromUtcCivil(CivilTime{year, month, day, hour, minute, second}) - LocalOffset;
}

std::vector<std::pair<long, OnlineState>> demoOnline() {
    auto at = [](double lat, double lon) { return std::pair{lat, lon}; };
    auto state = [](UnixTime last, std::pair<double, double> p, double course, double speed, long park, long flags) {
        return OnlineState{last, p.first == NoCoordinate ? 0 : last, p.first, p.second, course, speed, park, flags};
    };
    const UnixTime now = local(2009, 9, 1, 9, 15, 20);
    return {
        {21305, state(now, at(55.7702, 37.5951), 118.0, 42.5, 0, 0x0E)},
        {25001, state(now - 20, at(55.7431, 37.5662), 85.0, 0.0, 270, 0x04 | 0x08)},
        {25002, state(now - 40, at(55.7764, 37.5512), 0.0, 0.0, 3 * 3600, 0x0C)},
        {17, OnlineState{now - 3600, 0, NoCoordinate, NoCoordinate, -1.0, -1.0, 0, NoFlags}},
        {30010, state(now - 60, at(55.6761, 37.8921), 270.0, 0.0, 25 * 60, 0x0C | 0x01)},
        {30011, state(now - 5, at(55.8512, 37.4890), 315.0, 78.0, 0, 0x0C)},
        {30012, state(now - 15, at(55.7620, 37.6420), 45.0, 12.3, 0, 0x0C)},
        {21998, state(now - 120, at(55.6904, 37.7441), 0.0, 0.0, 2 * 3600, 0x03)},
        {40001, state(now - 10, at(55.7545, 37.6230), 200.0, 15.0, 0, 0x0C | 0x10)},
        {40002, state(now - 30, at(55.8141, 37.6381), 0.0, 0.0, 3600, 0x0C)},
        {40003, state(now - 50, at(55.8139, 37.6379), 90.0, 0.0, 600, NoFlags)},
        {21999, state(now - 25, at(55.8142, 37.6382), 180.0, -1.0, 0, 0x3F2)},
    };
}

CheckPointList demoCheckPoints() {
    CheckPointList list;
    for (int i = 0; i < PlaceCount; ++i) {
        const Place& p = Places[i];
        list.points.push_back(CheckPoint{p.name, p.address, std::to_string(101 + i), p.latitude, p.longitude, p.radius,
                                         i < 3 ? 480 : 15, 127});
    }
    list.zones.push_back(
        GeoZone{"Центр",
                "Садовое кольцо",
                "Z1",
                {{55.7720, 37.5850}, {55.7790, 37.6490}, {55.7520, 37.6680}, {55.7280, 37.6390}, {55.7350, 37.5830}}});
    list.zones.push_back(GeoZone{"Промзона Печатники",
                                 "ул. Шоссейная",
                                 "Z2",
                                 {{55.6980, 37.7300}, {55.6980, 37.7600}, {55.6830, 37.7600}, {55.6830, 37.7300}}});
    list.zones.push_back(GeoZone{"Шереметьево",
                                 "Химки",
                                 "Z3",
                                 {{55.9850, 37.3900}, {55.9850, 37.4400}, {55.9600, 37.4400}, {55.9600, 37.3900}}});
    return list;
}

// Work areas for the field computation: a field by the Lyubertsy warehouse and two city sweeping beats on the
// sweeper's round.
CheckPointList demoFields() {
    CheckPointList list;
    list.zones.push_back(GeoZone{"Поле у Люберец",
                                 "Люберцы, Октябрьский пр.",
                                 "F1",
                                 {{55.6800, 37.8800}, {55.6800, 37.8990}, {55.6720, 37.8990}, {55.6720, 37.8800}}});
    list.zones.push_back(GeoZone{"Участок Комсомольская",
                                 "Комсомольская пл.",
                                 "F2",
                                 {{55.7815, 37.6470}, {55.7815, 37.6630}, {55.7715, 37.6630}, {55.7715, 37.6470}}});
    list.zones.push_back(GeoZone{"Участок Павелецкая",
                                 "Павелецкая пл.",
                                 "F3",
                                 {{55.7346, 37.6320}, {55.7346, 37.6480}, {55.7246, 37.6480}, {55.7246, 37.6320}}});
    return list;
}

// The places of the demo routes and some streets around them, with full addresses.
std::vector<AddressEntry> demoAddresses() {
    std::vector<AddressEntry> list;
    for (const Place& p : Places) {
        const std::string address = p.address;
        const bool town = address.rfind("Химки", 0) == 0 || address.rfind("Люберцы", 0) == 0;
        list.push_back({p.latitude, p.longitude, (town ? "Московская обл., " : "Москва, ") + address});
    }
    const AddressEntry more[] = {
        {55.7772, 37.5560, "Москва, ул. Беговая, 12"},
        {55.7804, 37.5430, "Москва, Ленинградский пр., 31"},
        {55.7700, 37.5950, "Москва, ул. Тверская-Ямская 1-я, 2"},
        {55.7652, 37.6050, "Москва, ул. Тверская, 13"},
        {55.7558, 37.6173, "Москва, Манежная пл., 1"},
        {55.7480, 37.5810, "Москва, ул. Новый Арбат, 36"},
        {55.7340, 37.6300, "Москва, ул. Большая Ордынка, 40"},
        {55.7280, 37.6480, "Москва, ул. Кожевническая, 7"},
        {55.7810, 37.6330, "Москва, пр. Мира, 26"},
        {55.8070, 37.6370, "Москва, пр. Мира, 95"},
        {55.6930, 37.7370, "Москва, ул. Шоссейная, 42"},
        {55.7010, 37.7220, "Москва, Волгоградский пр., 92"},
        {55.6780, 37.8860, "Московская обл., Люберцы, Октябрьский пр., 1"},
        {55.8860, 37.4400, "Московская обл., Химки, ул. Ленинградская, 1"},
        {55.9400, 37.4050, "Московская обл., Химки, Шереметьевское ш., 4"},
        {55.6350, 37.3400, "Москва, Киевское ш., 22-й км"},
        {55.7430, 37.5550, "Москва, Бережковская наб., 2"},
    };
    list.insert(list.end(), std::begin(more), std::end(more));
    return list;
}

} // namespace

bool needsDemoData(const WorkPaths& paths) {
    return !std::filesystem::exists(paths.groups());
}

std::vector<GpsRecord> demoRecords(long device, const DemoOptions& options) {
    std::vector<GpsRecord> records;
    for (const Schedule& schedule : schedules()) {
        if (schedule.device != device)
            continue;
        records.reserve(static_cast<std::size_t>(options.days) * 1400);
        Simulator simulator(schedule, options.from, records);
        for (int day = 0; day < options.days; ++day)
            simulator.day(day, options.from + static_cast<UnixTime>(day) * 86400);
        simulator.finish(options.from + static_cast<UnixTime>(options.days) * 86400 - 1);
    }
    return records;
}

void createDemoData(const WorkPaths& paths, const DemoOptions& options) {
    std::filesystem::create_directories(paths.points());
    std::filesystem::create_directories(paths.tracks());
    writeCheckPointFile(paths.points() / "Москва.chp", demoCheckPoints());
    CheckPointList depots;
    for (int i = 0; i < 3; ++i) {
        const Place& p = Places[i];
        depots.points.push_back(
            CheckPoint{p.name, p.address, std::to_string(101 + i), p.latitude, p.longitude, p.radius, 480, 31});
    }
    writeCheckPointFile(paths.points() / "Базы.chp", depots);
    writeCheckPointFile(paths.points() / "Поля.chp", demoFields());
    writeFileAtomically(paths.implements(), formatImplements({{"1", "Щётка подметальная ПУ-2,5", 2.5},
                                                              {"2", "Сеялка СЗ-3,6", 3.6},
                                                              {"3", "Культиватор КПС-4", 4.0}}));
    writeFileAtomically(paths.addresses(), renderGazetteer(demoAddresses()));
    writeFileAtomically(paths.online(), formatOnlineStates(demoOnline()));
    writeFileAtomically(paths.receiver(), "# The server's own GPS receiver: latitude longitude altitude (m).\n"
                                          "# Remove the file for a server without a receiver.\n"
                                          "55.7763 37.5510 152\n");
    const RecordStore store(paths.tracks());
    for (const Schedule& schedule : schedules())
        store.write(schedule.device, demoRecords(schedule.device, options));
    // The groups last: their folder marks the work directory as filled.
    std::filesystem::create_directories(paths.groups());
    for (const Group& group : demoGroups())
        writeGroupFile(paths.groups(), group);
}

std::vector<GpsRecord> syntheticTrack(UnixTime from, long long seconds, int interval) {
    std::vector<GpsRecord> records;
    records.reserve(static_cast<std::size_t>(seconds / interval + 1));
    const Schedule& s = schedules().front();
    GeoPoint position{Places[s.depot].latitude, Places[s.depot].longitude};
    Random random(42);
    double course = 0.0;
    double tank = 50.0;
    std::size_t target = 1;
    for (long long offset = 0; offset <= seconds; offset += interval) {
        GpsRecord r;
        r.time = from + offset;
        // Two hours of driving between the places, then one hour standing, round the clock.
        const bool moving = (offset / 3600) % 3 != 2;
        if (moving) {
            const Place& p = Places[target];
            const double speed = 30 + 60 * random.uniform();
            course = courseDegrees(position.latitude, position.longitude, p.latitude, p.longitude);
            const double step = speed / 3.6 * interval;
            if (distanceMeters(position.latitude, position.longitude, p.latitude, p.longitude) < step)
                target = (target + 1) % PlaceCount;
            else
                position = moveBy(position.latitude, position.longitude, course, step);
            r.speed = static_cast<float>(speed);
            tank = std::max(5.0, tank - step / 1000.0 * 0.1);
        } else if (tank < 20) {
            tank += 1.0;
        }
        r.latitude = position.latitude;
        r.longitude = position.longitude;
        r.course = static_cast<float>(course);
        r.altitude = 150.0f;
        r.status = StatusValidFix | StatusExternalPower | (moving ? StatusMotor1 : 0);
        r.inputs = moving && (offset / 600) % 2 ? 0x05 : 0x00;
        r.tanks[0] = static_cast<float>(std::round(tank * 10) / 10);
        records.push_back(r);
    }
    return records;
}

} // namespace navilonix::server
