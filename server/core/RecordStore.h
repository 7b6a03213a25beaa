// The GPS record archive: one folder per device under Tracks/, one binary file per calendar month (UTC).
#pragma once

#include "server/core/Model.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace navilonix::server {

// Each month file starts with a 16-byte header ("NXGPS01\n", the record size as 32-bit little-endian, 4 bytes
// reserved) followed by fixed-size records in time order, so that a period is found by binary search and only
// the records of the period are read.
class RecordStore {
public:
    static constexpr std::size_t HeaderSize = 16;
    static constexpr std::size_t RecordSize = 40;

    explicit RecordStore(std::filesystem::path root);

    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path deviceFolder(long device) const;

    // Writes the records (in time order) of a device, replacing the month files they fall into.
    void write(long device, const std::vector<GpsRecord>& records) const;

    // Appends records later than the device's last one. Throws FileError.
    void append(long device, const std::vector<GpsRecord>& records) const;

    // The records of the device with from <= time <= to, in time order. Damaged files or records are skipped and
    // described in problems.
    std::vector<GpsRecord> read(long device, UnixTime from, UnixTime to, std::vector<std::string>* problems) const;

    // The device's latest record, if it has any.
    std::optional<GpsRecord> last(long device) const;

    // The device's months on disk, as (year * 12 + month - 1), sorted.
    std::vector<int> months(long device) const;

    static void encode(const GpsRecord& record, unsigned char* out);
    static GpsRecord decode(const unsigned char* in);

private:
    std::filesystem::path monthFile(long device, int monthKey) const;

    std::filesystem::path root_;
};

} // namespace navilonix::server
