#include "server/core/Geo.h"

#include <cmath>
#include <numbers>

namespace navilonix::server {

namespace {
constexpr double Rad = std::numbers::pi / 180.0;
}

double distanceMeters(double lat1, double lon1, double lat2, double lon2) {
    const double p1 = lat1 * Rad;
    const double p2 = lat2 * Rad;
    const double dp = (lat2 - lat1) * Rad;
    const double dl = (lon2 - lon1) * Rad;
    const double a =
        std::sin(dp / 2) * std::sin(dp / 2) + std::cos(p1) * std::cos(p2) * std::sin(dl / 2) * std::sin(dl / 2);
    return 2 * EarthRadiusMeters * std::asin(std::sqrt(std::min(1.0, a)));
}

bool insideCircle(const CheckPoint& point, double latitude, double longitude) {
    // A cheap rejection on latitude first: most records are far from most check points.
    const double dLat = std::fabs(latitude - point.latitude) * Rad * EarthRadiusMeters;
    if (dLat > static_cast<double>(point.radius))
        return false;
    return distanceMeters(point.latitude, point.longitude, latitude, longitude) <= static_cast<double>(point.radius);
}

bool insidePolygon(const std::vector<GeoPoint>& polygon, double latitude, double longitude) {
    bool inside = false;
    const std::size_t n = polygon.size();
    if (n < 3)
        return false;
    for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
        const GeoPoint& a = polygon[i];
        const GeoPoint& b = polygon[j];
        if ((a.latitude > latitude) != (b.latitude > latitude)) {
            const double crossLon =
                a.longitude + (latitude - a.latitude) * (b.longitude - a.longitude) / (b.latitude - a.latitude);
            if (longitude < crossLon)
                inside = !inside;
        }
    }
    return inside;
}

GeoPoint moveBy(double latitude, double longitude, double course, double meters) {
    const double d = meters / EarthRadiusMeters;
    const double p1 = latitude * Rad;
    const double l1 = longitude * Rad;
    const double t = course * Rad;
    const double p2 = std::asin(std::sin(p1) * std::cos(d) + std::cos(p1) * std::sin(d) * std::cos(t));
    const double l2 =
        l1 + std::atan2(std::sin(t) * std::sin(d) * std::cos(p1), std::cos(d) - std::sin(p1) * std::sin(p2));
    return GeoPoint{p2 / Rad, l2 / Rad};
}

double courseDegrees(double lat1, double lon1, double lat2, double lon2) {
    const double p1 = lat1 * Rad;
    const double p2 = lat2 * Rad;
    const double dl = (lon2 - lon1) * Rad;
    const double y = std::sin(dl) * std::cos(p2);
    const double x = std::cos(p1) * std::sin(p2) - std::sin(p1) * std::cos(p2) * std::cos(dl);
    double c = std::atan2(y, x) / Rad;
    if (c < 0)
        c += 360.0;
    return c;
}

} // namespace navilonix::server
