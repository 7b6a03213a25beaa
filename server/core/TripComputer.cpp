#include "server/core/TripComputer.h"

#include "server/core/Geo.h"
#include "server/core/TextFields.h"

#include <algorithm>
#include <cctype>

namespace navilonix::server {

namespace {

bool equalNames(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// A stretch of records, indices inclusive.
struct Span {
    std::size_t first = 0;
    std::size_t last = 0;
};

// Per-step prefix sums over the records, so that any stretch is summed in constant time.
class Analysis {
public:
    Analysis(const std::vector<GpsRecord>& records, const TripSettings& settings)
        : r_(records), s_(settings), n_(records.size()) {}

    const std::vector<GpsRecord>& records() const { return r_; }
    std::size_t size() const { return n_; }

    // Whether the step from record i to i+1 is a data gap long enough to count as a stop.
    bool isGapStop(std::size_t i) const { return r_[i + 1].time - r_[i].time >= s_.gapAsStopSeconds; }
    bool isMoveStep(std::size_t i) const { return !isGapStop(i) && r_[i].speed >= s_.moveSpeed; }

    void build(const std::function<void(std::size_t)>& tick) {
        cumDistance_.assign(n_, 0.0);
        cumMove_.assign(n_, 0);
        for (auto* a : {&cumMotor_, &cumMotorMove_})
            for (auto& v : *a)
                v.assign(n_, 0);
        for (auto& v : cumFuel_)
            v.assign(n_, 0.0);
        drainStep_.assign(n_, false);
        markDrains();
        std::size_t lastFix = n_;
        for (std::size_t i = 0; i < n_; ++i) {
            if (i > 0) {
                const std::size_t p = i - 1;
                const long long dt = r_[i].time - r_[p].time;
                double step = 0.0;
                if (r_[i].validFix() && lastFix < n_)
                    step = distanceMeters(r_[lastFix].latitude, r_[lastFix].longitude, r_[i].latitude, r_[i].longitude);
                cumDistance_[i] = cumDistance_[p] + step;
                const bool move = isMoveStep(p);
                const bool counted = !isGapStop(p);
                cumMove_[i] = cumMove_[p] + (move ? dt : 0);
                for (int m = 0; m < 2; ++m) {
                    const bool on = counted && (r_[p].status & (m == 0 ? StatusMotor1 : StatusMotor2));
                    cumMotor_[m][i] = cumMotor_[m][p] + (on ? dt : 0);
                    cumMotorMove_[m][i] = cumMotorMove_[m][p] + (on && move ? dt : 0);
                    const float a = r_[p].tanks[m];
                    const float b = r_[i].tanks[m];
                    const double used = (a >= 0 && b >= 0 && b < a && !drainStep_[p]) ? a - b : 0.0;
                    cumFuel_[m][i] = cumFuel_[m][p] + used;
                }
            }
            if (r_[i].validFix())
                lastFix = i;
            if ((i & 8191) == 0)
                tick(i);
        }
        findStops();
    }

    Summary summarize(Span s) const {
        Summary m;
        const std::size_t a = s.first;
        const std::size_t b = s.last;
        m.startTime = r_[a].time;
        m.endTime = r_[b].time;
        m.distance = cumDistance_[b] - cumDistance_[a];
        m.moveSeconds = cumMove_[b] - cumMove_[a];
        m.parkSeconds = m.realSeconds() - m.moveSeconds;
        for (std::size_t i = a; i <= b; ++i)
            if (r_[i].validFix())
                m.maxSpeed = std::max(m.maxSpeed, static_cast<double>(r_[i].speed));
        m.averageSpeed =
            m.moveSeconds > 0 ? (m.distance / 1000.0) / (static_cast<double>(m.moveSeconds) / 3600.0) : -1.0;
        for (int k = 0; k < 2; ++k) {
            m.motorHours[k] = static_cast<double>(cumMotor_[k][b] - cumMotor_[k][a]) / 3600.0;
            m.motorMoveHours[k] = static_cast<double>(cumMotorMove_[k][b] - cumMotorMove_[k][a]) / 3600.0;
            m.motorParkHours[k] = m.motorHours[k] - m.motorMoveHours[k];
            m.fuel[k] = cumFuel_[k][b] - cumFuel_[k][a];
        }
        for (int t = 0; t < TankCount; ++t) {
            const auto k = static_cast<std::size_t>(t);
            for (std::size_t i = a; i <= b; ++i)
                if (r_[i].tanks[k] >= 0) {
                    m.tankStart[k] = r_[i].tanks[k];
                    break;
                }
            for (std::size_t i = b + 1; i-- > a;)
                if (r_[i].tanks[k] >= 0) {
                    m.tankEnd[k] = r_[i].tanks[k];
                    break;
                }
        }
        const auto begin = std::lower_bound(listedStopStarts_.begin(), listedStopStarts_.end(), a);
        const auto end = std::lower_bound(listedStopStarts_.begin(), listedStopStarts_.end(), b);
        m.parkCount = static_cast<long>(end - begin);
        return m;
    }

    // Stops: maximal runs of steps without movement.
    const std::vector<Span>& stops() const { return stops_; }
    long long duration(Span s) const { return r_[s.last].time - r_[s.first].time; }

    std::vector<Span> tankEvents(int tank, bool refills) const {
        std::vector<Span> result;
        for (const Span& run : tankRuns_[static_cast<std::size_t>(tank)]) {
            const double change = r_[run.last].tanks[tank] - r_[run.first].tanks[tank];
            if (refills ? change >= s_.refillLitres : -change >= s_.drainLitres)
                result.push_back(run);
        }
        return result;
    }

private:
    // A step whose level changes faster than the tank rate; +1 rising, -1 falling, 0 otherwise.
    int tankStep(std::size_t i, int tank) const {
        const float a = r_[i].tanks[tank];
        const float b = r_[i + 1].tanks[tank];
        const long long dt = r_[i + 1].time - r_[i].time;
        if (a < 0 || b < 0 || dt <= 0)
            return 0;
        const double rate = (b - a) * 60.0 / static_cast<double>(dt);
        return rate >= s_.tankRate ? 1 : rate <= -s_.tankRate ? -1 : 0;
    }

    void markDrains() {
        for (int tank = 0; tank < TankCount; ++tank) {
            auto& runs = tankRuns_[static_cast<std::size_t>(tank)];
            runs.clear();
            std::size_t i = 0;
            while (i + 1 < n_) {
                const int direction = tankStep(i, tank);
                if (direction == 0) {
                    ++i;
                    continue;
                }
                std::size_t j = i;
                while (j + 1 < n_ && tankStep(j, tank) == direction)
                    ++j;
                runs.push_back(Span{i, j});
                i = j;
            }
            if (tank < 2)
                for (const Span& drain : tankEvents(tank, false))
                    for (std::size_t k = drain.first; k < drain.last; ++k)
                        drainStep_[k] = true;
        }
    }

    void findStops() {
        stops_.clear();
        listedStopStarts_.clear();
        std::size_t i = 0;
        while (i + 1 < n_) {
            if (isMoveStep(i)) {
                ++i;
                continue;
            }
            std::size_t j = i;
            while (j + 1 < n_ && !isMoveStep(j))
                ++j;
            stops_.push_back(Span{i, j});
            if (duration(Span{i, j}) >= s_.stopSeconds)
                listedStopStarts_.push_back(i);
            i = j;
        }
    }

    const std::vector<GpsRecord>& r_;
    const TripSettings& s_;
    std::size_t n_;
    std::vector<double> cumDistance_;
    std::vector<long long> cumMove_;
    std::array<std::vector<long long>, 2> cumMotor_;
    std::array<std::vector<long long>, 2> cumMotorMove_;
    std::array<std::vector<double>, 2> cumFuel_;
    std::vector<bool> drainStep_;
    std::array<std::vector<Span>, TankCount> tankRuns_;
    std::vector<Span> stops_;
    std::vector<std::size_t> listedStopStarts_;
};

// Runs of records for which the predicate holds. A run ends at the first record where it no longer holds
// (the time the state was seen to end), or at the last record.
template <typename Predicate> std::vector<Span> stateRuns(std::size_t n, Predicate holds) {
    std::vector<Span> runs;
    std::size_t i = 0;
    while (i < n) {
        if (!holds(i)) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j + 1 < n && holds(j + 1))
            ++j;
        runs.push_back(Span{i, j + 1 < n ? j + 1 : j});
        i = j + 1;
    }
    return runs;
}

// Runs of records inside a shape: from the first record inside to the last one inside.
template <typename Predicate> std::vector<Span> insideRuns(std::size_t n, Predicate inside) {
    std::vector<Span> runs;
    std::size_t i = 0;
    while (i < n) {
        if (!inside(i)) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j + 1 < n && inside(j + 1))
            ++j;
        runs.push_back(Span{i, j});
        i = j + 1;
    }
    return runs;
}

class Computation {
public:
    Computation(ComputeInput& input, const ProgressCallback& progress, const std::atomic<bool>* cancel,
                int firstPercent)
        : in_(input), analysis_(input.records, input.settings), progress_(progress), cancel_(cancel),
          first_(std::clamp(firstPercent, 0, 100)) {}

    std::vector<Trip> run() {
        const std::size_t n = in_.records.size();
        if (n == 0) {
            report(100);
            return {};
        }
        // Shares of the work: steps 30 %, check points and zones 50 %, trips 20 %.
        analysis_.build([&](std::size_t i) { stage(0, 30, i, n); });
        passages();
        stateLists();
        std::vector<Trip> trips;
        for (const Span& span : tripSpans())
            trips.push_back(makeTrip(span));
        for (std::size_t t = 0; t < trips.size(); ++t)
            stage(80, 20, t, trips.size());
        report(100);
        return trips;
    }

private:
    void checkCancel() const {
        if (cancel_ && cancel_->load(std::memory_order_relaxed))
            throw ComputationCancelled();
    }

    void report(int percent) {
        percent = first_ + (100 - first_) * std::clamp(percent, 0, 100) / 100;
        if (percent > reported_) {
            reported_ = percent;
            if (progress_)
                progress_(percent);
        }
    }

    void stage(int from, int share, std::size_t done, std::size_t total) {
        checkCancel();
        report(from + static_cast<int>(static_cast<double>(share) * static_cast<double>(done) /
                                       static_cast<double>(std::max<std::size_t>(total, 1))));
    }

    const std::vector<GpsRecord>& records() const { return in_.records; }

    Place placeAt(std::size_t index) const {
        const GpsRecord& r = records()[index];
        Place place;
        if (!r.validFix())
            return place;
        place.latitude = r.latitude;
        place.longitude = r.longitude;
        const CheckPoint* nearest = nullptr;
        double best = 0.0;
        for (const CheckPoint& c : in_.checkPoints) {
            if (!insideCircle(c, r.latitude, r.longitude))
                continue;
            const double d = distanceMeters(c.latitude, c.longitude, r.latitude, r.longitude);
            if (!nearest || d < best) {
                nearest = &c;
                best = d;
            }
        }
        if (nearest) {
            place.name = nearest->name;
            place.address = nearest->address;
            place.id = nearest->id;
            return place;
        }
        for (const GeoZone& z : in_.zones)
            if (insidePolygon(z.vertices, r.latitude, r.longitude)) {
                place.name = z.name;
                place.address = z.address;
                place.id = z.id;
                return place;
            }
        place.name = formatNumber(r.latitude, 5) + ", " + formatNumber(r.longitude, 5);
        return place;
    }

    static Place placeOf(const CheckPoint& c) { return Place{c.name, c.address, c.id, c.latitude, c.longitude}; }
    static Place placeOf(const GeoZone& z) {
        Place p{z.name, z.address, z.id, NoCoordinate, NoCoordinate};
        if (!z.vertices.empty()) {
            p.latitude = z.vertices.front().latitude;
            p.longitude = z.vertices.front().longitude;
        }
        return p;
    }

    // Whether a check point passage holds a call, when the vehicle's parameters ask for calls.
    bool hasCall(Span s) const {
        const ChPParameters& c = in_.calls;
        if (c.useDefaults || (!c.callOnPark && !c.callOnSensor))
            return true;
        if (c.callOnPark && analysis_.summarize(s).parkSeconds >= c.parkMinutes * 60)
            return true;
        if (c.callOnSensor && c.sensorNumber >= 1 && c.sensorNumber <= SensorCount) {
            long long on = 0;
            for (std::size_t i = s.first; i < s.last; ++i)
                if (records()[i].sensor(static_cast<int>(c.sensorNumber)))
                    on += records()[i + 1].time - records()[i].time;
            if (on >= c.sensorSeconds)
                return true;
        }
        return false;
    }

    struct Passage {
        Span span;
        std::size_t item; // index in the check point or zone list
    };

    void passages() {
        const std::size_t n = records().size();
        const std::size_t shapes = in_.checkPoints.size() + in_.zones.size();
        std::size_t done = 0;
        for (std::size_t c = 0; c < in_.checkPoints.size(); ++c, ++done) {
            stage(30, 50, done, shapes);
            const CheckPoint& point = in_.checkPoints[c];
            for (const Span& s : insideRuns(n, [&](std::size_t i) {
                     const GpsRecord& r = records()[i];
                     return r.validFix() && insideCircle(point, r.latitude, r.longitude);
                 }))
                if (hasCall(s))
                    pointPassages_.push_back(Passage{s, c});
        }
        for (std::size_t z = 0; z < in_.zones.size(); ++z, ++done) {
            stage(30, 50, done, shapes);
            const GeoZone& zone = in_.zones[z];
            for (const Span& s : insideRuns(n, [&](std::size_t i) {
                     const GpsRecord& r = records()[i];
                     return r.validFix() && insidePolygon(zone.vertices, r.latitude, r.longitude);
                 }))
                zonePassages_.push_back(Passage{s, z});
        }
        auto byStart = [](const Passage& a, const Passage& b) {
            return a.span.first != b.span.first ? a.span.first < b.span.first : a.item < b.item;
        };
        std::sort(pointPassages_.begin(), pointPassages_.end(), byStart);
        std::sort(zonePassages_.begin(), zonePassages_.end(), byStart);
        stage(80, 0, 0, 1);
    }

    // The lists that do not depend on the trip, found once over all records.
    void stateLists() {
        const std::size_t n = records().size();
        const TripSettings& set = in_.settings;
        for (const Span& stop : analysis_.stops())
            if (analysis_.duration(stop) >= set.stopSeconds)
                parks_.push_back(stop);
        powerOff_ = stateRuns(n, [&](std::size_t i) { return (records()[i].status & StatusExternalPower) == 0; });
        overSpeed_ = stateRuns(n, [&](std::size_t i) { return records()[i].speed > set.speedLimit; });
        for (int sensor = 1; sensor <= SensorCount; ++sensor)
            sensorOn_[static_cast<std::size_t>(sensor - 1)] =
                stateRuns(n, [&](std::size_t i) { return records()[i].sensor(sensor); });
        for (int tank = 0; tank < TankCount; ++tank) {
            auto& events = tankEvents_[static_cast<std::size_t>(tank)];
            for (const Span& s : analysis_.tankEvents(tank, true))
                events.emplace_back(s, true);
            for (const Span& s : analysis_.tankEvents(tank, false))
                events.emplace_back(s, false);
            std::sort(events.begin(), events.end(),
                      [](const auto& a, const auto& b) { return a.first.first < b.first.first; });
        }
    }

    std::vector<Span> tripSpans() const {
        const std::size_t n = records().size();
        if (!in_.split)
            return {Span{0, n - 1}};
        std::vector<Span> candidates;
        std::size_t start = 0;
        for (const Span& stop : analysis_.stops()) {
            if (analysis_.duration(stop) < in_.settings.minParkSeconds)
                continue;
            if (stop.first > start)
                candidates.push_back(Span{start, stop.first});
            start = stop.last;
        }
        if (start < n - 1)
            candidates.push_back(Span{start, n - 1});
        std::vector<Span> trips;
        for (const Span& c : candidates) {
            const Summary s = analysis_.summarize(c);
            if (s.realSeconds() >= in_.settings.minTripSeconds && s.distance >= in_.settings.minTripMeters &&
                s.moveSeconds > 0)
                trips.push_back(c);
        }
        return trips;
    }

    Entry entry(long id, Span s, Place start, Place end) const {
        Entry e;
        e.id = id;
        e.first = s.first;
        e.last = s.last;
        e.start = std::move(start);
        e.end = std::move(end);
        e.summary = analysis_.summarize(s);
        return e;
    }

    Entry entryAt(long id, Span s) const { return entry(id, s, placeAt(s.first), placeAt(s.last)); }

    // The part of a span that lies in the trip, if the two share some time.
    static std::optional<Span> clip(Span s, Span trip) {
        const std::size_t a = std::max(s.first, trip.first);
        const std::size_t b = std::min(s.last, trip.last);
        if (a > b || (a == b && s.first != s.last))
            return std::nullopt;
        return Span{a, b};
    }

    template <typename Shape>
    void passageLists(Trip& trip, Span span, const std::vector<Passage>& all, const std::vector<Shape>& shapes,
                      EntryList passagesList, EntryList stagesList) const {
        std::vector<Passage> inTrip;
        for (const Passage& p : all)
            if (auto s = clip(p.span, span))
                inTrip.push_back(Passage{*s, p.item});
        auto& passages = trip.entries[static_cast<std::size_t>(passagesList)];
        for (const Passage& p : inTrip)
            passages.push_back(
                entry(static_cast<long>(p.item) + 1, p.span, placeOf(shapes[p.item]), placeOf(shapes[p.item])));
        auto& stages = trip.entries[static_cast<std::size_t>(stagesList)];
        for (std::size_t k = 0; k + 1 < inTrip.size(); ++k) {
            const std::size_t a = inTrip[k].span.last;
            const std::size_t b = std::max(a, inTrip[k + 1].span.first);
            stages.push_back(entry(static_cast<long>(k) + 1, Span{a, b}, placeOf(shapes[inTrip[k].item]),
                                   placeOf(shapes[inTrip[k + 1].item])));
        }
    }

    void spanList(Trip& trip, Span span, EntryList list, const std::vector<Span>& spans) const {
        auto& entries = trip.entries[static_cast<std::size_t>(list)];
        for (const Span& s : spans)
            if (auto c = clip(s, span))
                entries.push_back(entryAt(static_cast<long>(entries.size()) + 1, *c));
    }

    Trip makeTrip(Span span) {
        Trip trip;
        trip.first = span.first;
        trip.last = span.last;
        trip.split = in_.split;
        trip.start = placeAt(span.first);
        trip.end = placeAt(span.last);
        trip.summary = analysis_.summarize(span);
        for (std::size_t i = span.first; i <= span.last; ++i)
            if (records()[i].validFix())
                trip.track.push_back(i);

        passageLists(trip, span, pointPassages_, in_.checkPoints, EntryList::CheckPointPassages,
                     EntryList::CheckPointStages);
        passageLists(trip, span, zonePassages_, in_.zones, EntryList::ZonePassages, EntryList::ZoneStages);

        spanList(trip, span, EntryList::Parks, parks_);
        std::vector<Span> gaps;
        for (std::size_t i = span.first; i < span.last; ++i)
            if (records()[i + 1].time - records()[i].time >= in_.settings.signalGapSeconds)
                gaps.push_back(Span{i, i + 1});
        spanList(trip, span, EntryList::SignalGaps, gaps);
        spanList(trip, span, EntryList::PowerOff, powerOff_);
        spanList(trip, span, EntryList::OverSpeed, overSpeed_);

        for (int tank = 0; tank < TankCount; ++tank) {
            auto& list = trip.entries[static_cast<std::size_t>(EntryList::Tank1) + static_cast<std::size_t>(tank)];
            for (const auto& [s, refill] : tankEvents_[static_cast<std::size_t>(tank)])
                if (auto c = clip(s, span)) {
                    Entry e = entryAt(static_cast<long>(list.size()) + 1, *c);
                    e.start.name = refill ? "Заправка" : "Слив";
                    e.end.name = e.start.name;
                    list.push_back(std::move(e));
                }
        }

        for (std::size_t sensor = 0; sensor < SensorCount; ++sensor) {
            const auto index = static_cast<std::size_t>(EntryList::Sensor1) + sensor;
            spanList(trip, span, static_cast<EntryList>(index), sensorOn_[sensor]);
            SensorTotals& totals = trip.sensors[sensor];
            for (const Entry& e : trip.entries[index]) {
                ++totals.count;
                totals.distance += e.summary.distance;
                totals.seconds += e.summary.realSeconds();
            }
        }
        return trip;
    }

    ComputeInput& in_;
    Analysis analysis_;
    const ProgressCallback& progress_;
    const std::atomic<bool>* cancel_;
    int first_;
    int reported_ = -1;
    std::vector<Passage> pointPassages_;
    std::vector<Passage> zonePassages_;
    std::vector<Span> parks_;
    std::vector<Span> powerOff_;
    std::vector<Span> overSpeed_;
    std::array<std::vector<Span>, SensorCount> sensorOn_;
    std::array<std::vector<std::pair<Span, bool>>, TankCount> tankEvents_;
};

} // namespace

std::optional<EntryList> entryListByNames(std::string_view type, std::string_view kind) {
    if (equalNames(type, "checkpoints")) {
        if (equalNames(kind, "points"))
            return EntryList::CheckPointPassages;
        if (equalNames(kind, "stages"))
            return EntryList::CheckPointStages;
        return std::nullopt;
    }
    if (equalNames(type, "geozones")) {
        if (equalNames(kind, "zones"))
            return EntryList::ZonePassages;
        if (equalNames(kind, "stages"))
            return EntryList::ZoneStages;
        return std::nullopt;
    }
    if (equalNames(type, "parks"))
        return EntryList::Parks;
    if (equalNames(type, "blinds"))
        return EntryList::SignalGaps;
    if (equalNames(type, "power_off"))
        return EntryList::PowerOff;
    if (equalNames(type, "over_speed"))
        return EntryList::OverSpeed;
    const bool tank = equalNames(type, "tank");
    const bool sensor = equalNames(type, "sensor_on");
    if ((tank || sensor) && kind.size() == 4 && equalNames(kind.substr(0, 3), "num")) {
        const int number = kind[3] - '0';
        if (tank && number >= 1 && number <= TankCount)
            return static_cast<EntryList>(static_cast<int>(EntryList::Tank1) + number - 1);
        if (sensor && number >= 1 && number <= SensorCount)
            return static_cast<EntryList>(static_cast<int>(EntryList::Sensor1) + number - 1);
    }
    return std::nullopt;
}

ComputeResult computeTrips(ComputeInput input, const ProgressCallback& progress, const std::atomic<bool>* cancel,
                           int firstPercent) {
    // Records out of time order cannot be cut into stretches; keep the first of equal times.
    auto& r = input.records;
    if (!std::is_sorted(r.begin(), r.end(), [](const GpsRecord& a, const GpsRecord& b) { return a.time < b.time; }))
        std::stable_sort(r.begin(), r.end(), [](const GpsRecord& a, const GpsRecord& b) { return a.time < b.time; });
    r.erase(std::unique(r.begin(), r.end(), [](const GpsRecord& a, const GpsRecord& b) { return a.time == b.time; }),
            r.end());
    Computation computation(input, progress, cancel, firstPercent);
    ComputeResult result;
    result.trips = computation.run();
    result.records = std::move(input.records);
    return result;
}

} // namespace navilonix::server
