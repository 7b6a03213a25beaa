// Distances and shapes on the Earth's surface.
#pragma once

#include "server/core/Model.h"

namespace navilonix::server {

constexpr double EarthRadiusMeters = 6371008.8;

// Great-circle distance in metres.
double distanceMeters(double lat1, double lon1, double lat2, double lon2);

// Whether the point lies in the circle of the check point (its radius in metres).
bool insideCircle(const CheckPoint& point, double latitude, double longitude);

// Whether the point lies inside the polygon (ray casting on the degree plane, fine for city-sized zones).
bool insidePolygon(const std::vector<GeoPoint>& polygon, double latitude, double longitude);

// Destination after travelling the distance along a course (degrees from north).
GeoPoint moveBy(double latitude, double longitude, double courseDegrees, double meters);

// Initial course from the first point to the second, degrees from north in [0, 360).
double courseDegrees(double lat1, double lon1, double lat2, double lon2);

} // namespace navilonix::server
