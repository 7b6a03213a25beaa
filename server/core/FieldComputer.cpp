#include "server/core/FieldComputer.h"

#include "server/core/Geo.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <stdexcept>

namespace navilonix::server {

namespace {

constexpr double Pi = 3.14159265358979323846;

struct Xy {
    double x = 0.0;
    double y = 0.0;
};

// A field in a flat metric frame centred on it (equirectangular: fine for fields of a few kilometres).
class FieldFrame {
public:
    explicit FieldFrame(const GeoZone& zone) {
        double minLat = 90, maxLat = -90, minLon = 180, maxLon = -180;
        for (const GeoPoint& p : zone.vertices) {
            minLat = std::min(minLat, p.latitude);
            maxLat = std::max(maxLat, p.latitude);
            minLon = std::min(minLon, p.longitude);
            maxLon = std::max(maxLon, p.longitude);
        }
        minLat_ = minLat;
        maxLat_ = maxLat;
        minLon_ = minLon;
        maxLon_ = maxLon;
        lat0_ = (minLat + maxLat) / 2;
        lon0_ = (minLon + maxLon) / 2;
        ky_ = EarthRadiusMeters * Pi / 180.0;
        kx_ = ky_ * std::cos(lat0_ * Pi / 180.0);
        for (const GeoPoint& p : zone.vertices)
            polygon_.push_back(project(p.latitude, p.longitude));
        low_ = project(minLat, minLon);
        high_ = project(maxLat, maxLon);
    }

    Xy project(double latitude, double longitude) const {
        return {(longitude - lon0_) * kx_, (latitude - lat0_) * ky_};
    }
    // Whether a segment given in degrees may touch the field at all.
    bool near(const GpsRecord& a, const GpsRecord& b) const {
        return std::max(a.latitude, b.latitude) >= minLat_ && std::min(a.latitude, b.latitude) <= maxLat_ &&
               std::max(a.longitude, b.longitude) >= minLon_ && std::min(a.longitude, b.longitude) <= maxLon_;
    }
    bool inside(Xy p) const {
        bool in = false;
        for (std::size_t i = 0, j = polygon_.size() - 1; i < polygon_.size(); j = i++) {
            const Xy& a = polygon_[i];
            const Xy& b = polygon_[j];
            if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x)
                in = !in;
        }
        return in;
    }
    // The share of the segment from p to q that lies inside the field, 0 to 1.
    double insideShare(Xy p, Xy q) const {
        const double dx = q.x - p.x;
        const double dy = q.y - p.y;
        if (std::abs(dx) + std::abs(dy) < 1e-9)
            return inside(p) ? 1.0 : 0.0;
        cuts_.assign({0.0, 1.0});
        for (std::size_t i = 0, j = polygon_.size() - 1; i < polygon_.size(); j = i++) {
            const Xy& a = polygon_[j];
            const Xy& b = polygon_[i];
            const double ex = b.x - a.x;
            const double ey = b.y - a.y;
            const double denominator = dx * ey - dy * ex;
            if (std::abs(denominator) < 1e-12)
                continue; // parallel: the midpoint tests below decide
            const double t = ((a.x - p.x) * ey - (a.y - p.y) * ex) / denominator;
            const double s = ((a.x - p.x) * dy - (a.y - p.y) * dx) / denominator;
            if (t > 0.0 && t < 1.0 && s >= 0.0 && s <= 1.0)
                cuts_.push_back(t);
        }
        std::sort(cuts_.begin(), cuts_.end());
        double share = 0.0;
        for (std::size_t k = 1; k < cuts_.size(); ++k) {
            const double from = cuts_[k - 1];
            const double to = cuts_[k];
            if (to - from <= 0.0)
                continue;
            const double m = (from + to) / 2;
            if (inside({p.x + dx * m, p.y + dy * m}))
                share += to - from;
        }
        return share;
    }

    const std::vector<Xy>& polygon() const { return polygon_; }
    Xy low() const { return low_; }
    Xy high() const { return high_; }

private:
    double minLat_, maxLat_, minLon_, maxLon_;
    double lat0_, lon0_, kx_, ky_;
    std::vector<Xy> polygon_;
    Xy low_, high_;
    mutable std::vector<double> cuts_;
};

// The field on a square grid: which cells lie inside it and which the implement has covered. A cell counts by its
// centre, so each spot of ground is counted once however often it is driven over.
class Coverage {
public:
    Coverage(const FieldFrame& field, double width) : origin_(field.low()), radius_(width / 2) {
        const double w = std::max(field.high().x - origin_.x, 1e-3);
        const double h = std::max(field.high().y - origin_.y, 1e-3);
        // A tenth of the width keeps the edges of the strips within a few percent; large fields get coarser
        // cells so that the grid stays within about twenty million cells.
        cell_ = std::max({width / 10, std::sqrt(w * h / 20e6), 0.05});
        cols_ = static_cast<long>(std::ceil(w / cell_)) + 1;
        rows_ = static_cast<long>(std::ceil(h / cell_)) + 1;
        cells_.assign(static_cast<std::size_t>(cols_ * rows_), 0);
        // Scan lines through the cell centres mark the inside (even-odd rule, as the inside test).
        const auto& polygon = field.polygon();
        std::vector<double> xs;
        for (long row = 0; row < rows_; ++row) {
            const double y = origin_.y + (row + 0.5) * cell_;
            xs.clear();
            for (std::size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
                const Xy& a = polygon[i];
                const Xy& b = polygon[j];
                if ((a.y > y) != (b.y > y))
                    xs.push_back((b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x);
            }
            std::sort(xs.begin(), xs.end());
            for (std::size_t k = 0; k + 1 < xs.size(); k += 2)
                mark(row, xs[k], xs[k + 1], Inside);
        }
    }

    // Marks the cells within half the width of the segment (a strip with round ends, so turns leave no gaps).
    void sweep(Xy p, Xy q) {
        const double r = radius_;
        const long firstRow = std::max(0L, static_cast<long>(std::floor((std::min(p.y, q.y) - r - origin_.y) / cell_)));
        const long lastRow =
            std::min(rows_ - 1, static_cast<long>(std::ceil((std::max(p.y, q.y) + r - origin_.y) / cell_)));
        const double dx = q.x - p.x;
        const double dy = q.y - p.y;
        const double length = std::hypot(dx, dy);
        for (long row = firstRow; row <= lastRow; ++row) {
            const double y = origin_.y + (row + 0.5) * cell_;
            double low = INFINITY;
            double high = -INFINITY;
            auto disc = [&](Xy c) {
                const double d = y - c.y;
                if (d * d <= r * r) {
                    const double half = std::sqrt(r * r - d * d);
                    low = std::min(low, c.x - half);
                    high = std::max(high, c.x + half);
                }
            };
            disc(p);
            disc(q);
            if (length > 0) {
                // The straight part: 0 <= along <= length and |across| <= r, each linear in x on this line.
                const double ux = dx / length, uy = dy / length;
                double from = -INFINITY, to = INFINITY;
                auto clip = [&](double slope, double offset, double min, double max) {
                    // min <= slope * x + offset <= max
                    if (std::abs(slope) < 1e-12) {
                        if (offset < min || offset > max)
                            from = INFINITY;
                        return;
                    }
                    double a = (min - offset) / slope, b = (max - offset) / slope;
                    if (a > b)
                        std::swap(a, b);
                    from = std::max(from, a);
                    to = std::min(to, b);
                };
                clip(ux, (y - p.y) * uy - p.x * ux, 0.0, length);
                clip(-uy, (y - p.y) * ux + p.x * uy, -r, r);
                if (from <= to) {
                    low = std::min(low, from);
                    high = std::max(high, to);
                }
            }
            if (low <= high)
                mark(row, low, high, Covered);
        }
    }

    double area() const {
        std::size_t count = 0;
        for (std::uint8_t c : cells_)
            count += c == (Inside | Covered);
        return static_cast<double>(count) * cell_ * cell_;
    }

private:
    enum : std::uint8_t { Inside = 1, Covered = 2 };

    // Flags the cells of the row whose centres lie between the two x.
    void mark(long row, double x1, double x2, std::uint8_t flag) {
        const long first = std::max(0L, static_cast<long>(std::ceil((x1 - origin_.x) / cell_ - 0.5)));
        const long last = std::min(cols_ - 1, static_cast<long>(std::floor((x2 - origin_.x) / cell_ - 0.5)));
        std::uint8_t* line = cells_.data() + row * cols_;
        for (long col = first; col <= last; ++col)
            line[col] |= flag;
    }

    Xy origin_;
    double radius_;
    double cell_ = 1.0;
    long cols_ = 0;
    long rows_ = 0;
    std::vector<std::uint8_t> cells_;
};

} // namespace

std::vector<FieldResult> computeFields(const FieldInput& input, const ProgressCallback& progress,
                                       const std::atomic<bool>* cancel, int firstPercent,
                                       const ProgressCallback& fieldProgress) {
    if (!std::isfinite(input.width) || input.width < 0)
        throw std::invalid_argument("the implement's width must be a number of metres, 0 or more");
    if (input.workSensor < 0 || input.workSensor > SensorCount)
        throw std::invalid_argument("the work sensor must be 0 (none) or 1 to 8");

    // The stretches between consecutive records with a position.
    std::vector<std::size_t> fixes;
    fixes.reserve(input.records.size());
    for (std::size_t i = 0; i < input.records.size(); ++i)
        if (input.records[i].validFix())
            fixes.push_back(i);

    std::vector<FieldResult> results;
    const std::size_t steps = std::max<std::size_t>(1, input.fields.size() * fixes.size());
    std::size_t done = 0;
    int reported = firstPercent;
    for (const GeoZone& zone : input.fields) {
        FieldResult result{zone.name, zone.id, 0.0, 0.0, 0.0};
        if (zone.vertices.size() < 3) {
            results.push_back(std::move(result));
            done += fixes.size();
            continue;
        }
        const FieldFrame field(zone);
        std::optional<Coverage> coverage; // made when the implement first works in the field
        for (std::size_t k = 1; k < fixes.size(); ++k) {
            if ((++done & 0xFFF) == 0) {
                if (cancel && *cancel)
                    throw ComputationCancelled();
                const int percent =
                    firstPercent + static_cast<int>(static_cast<double>(done) * (100 - firstPercent) / steps);
                if (progress && percent > reported)
                    progress(reported = percent);
                if (fieldProgress)
                    fieldProgress(static_cast<int>(static_cast<double>(k) * 100 / fixes.size()));
            }
            const GpsRecord& a = input.records[fixes[k - 1]];
            const GpsRecord& b = input.records[fixes[k]];
            if (!field.near(a, b))
                continue;
            const double seconds = static_cast<double>(b.time - a.time);
            if (seconds <= 0)
                continue;
            const Xy p = field.project(a.latitude, a.longitude);
            const Xy q = field.project(b.latitude, b.longitude);
            if (seconds >= static_cast<double>(input.gapSeconds)) {
                // Unknown ground between the two: only a wait that began and ended inside counts.
                if (field.inside(p) && field.inside(q))
                    result.seconds += seconds;
                continue;
            }
            const double share = field.insideShare(p, q);
            if (share <= 0.0)
                continue;
            result.seconds += seconds * share;
            result.distance += std::hypot(q.x - p.x, q.y - p.y) * share;
            const bool working = a.speed >= input.moveSpeed && (input.workSensor == 0 || a.sensor(input.workSensor));
            if (working && input.width > 0) {
                if (!coverage)
                    coverage.emplace(field, input.width);
                coverage->sweep(p, q);
            }
        }
        if (coverage)
            result.area = coverage->area();
        if (fieldProgress)
            fieldProgress(100);
        results.push_back(std::move(result));
    }
    if (progress && reported < 100)
        progress(100);
    return results;
}

} // namespace navilonix::server
