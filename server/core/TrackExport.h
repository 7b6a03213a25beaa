// Track files: OziExplorer track (.plt) and KML 2.2 (.kml).
#pragma once

#include "server/core/Model.h"

#include <filesystem>
#include <string>
#include <vector>

namespace navilonix::server {

struct TrackExport {
    std::string name;      // the track's name
    std::string startName; // where the trip started and ended
    std::string endName;
    std::vector<GpsRecord> points; // in time order, all with a position
    long breakSeconds = 120;       // a pause at least this long starts a new segment
};

// Which format a file name asks for, by its extension (ignoring case).
enum class TrackFormat { Plt, Kml, Unknown };
TrackFormat trackFormatOf(const std::filesystem::path& file);

std::string formatPlt(const TrackExport& track);
std::string formatKml(const TrackExport& track);

// Writes the track in the format of the file's extension, through a temporary file. Throws FileError for an
// unknown extension, a track without points or a file that cannot be written.
void exportTrack(const std::filesystem::path& file, const TrackExport& track);

} // namespace navilonix::server
