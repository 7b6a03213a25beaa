// The offline gazetteer of the work directory (Addresses.txt): streets and places with their coordinates, one per
// line as "latitude<TAB>longitude<TAB>address", UTF-8, '#' starting a comment.
#pragma once

#include "server/core/Model.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace navilonix::server {

struct AddressEntry {
    double latitude = 0;
    double longitude = 0;
    std::string text;
};

struct NearestAddress {
    AddressEntry entry;
    double meters = 0;
};

std::vector<AddressEntry> parseGazetteer(std::string_view content, std::vector<std::string>* problems);
std::string renderGazetteer(const std::vector<AddressEntry>& entries);

// The entry nearest to the point by great-circle distance, if it lies within `radiusMeters` (inclusive).
std::optional<NearestAddress> nearestAddress(const std::vector<AddressEntry>& entries, double latitude,
                                             double longitude, double radiusMeters);

// The first entry whose text holds every non-empty part, ignoring the case of Latin and Cyrillic letters.
const AddressEntry* findAddress(const std::vector<AddressEntry>& entries, const std::vector<std::string>& parts);

// Folds Latin and Cyrillic capitals (UTF-8) to small letters, for searches.
std::string foldCase(std::string_view text);

} // namespace navilonix::server
