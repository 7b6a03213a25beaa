#include "server/core/RecordStore.h"

#include "server/core/FileUtil.h"
#include "server/core/TimeText.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace navilonix::server {

namespace {

constexpr char Magic[8] = {'N', 'X', 'G', 'P', 'S', '0', '1', '\n'};

void put16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
void put32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void put64(unsigned char* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}
std::uint16_t get16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t get32(const unsigned char* p) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}
std::uint64_t get64(const unsigned char* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

std::int32_t scaled(double value, double factor) {
    return static_cast<std::int32_t>(std::lround(value * factor));
}

int monthKeyOf(UnixTime time) {
    const CivilTime c = toUtcCivil(time);
    return c.year * 12 + c.month - 1;
}

UnixTime monthStart(int key) {
    return fromUtcCivil(CivilTime{key / 12, key % 12 + 1, 1});
}

} // namespace

RecordStore::RecordStore(std::filesystem::path root) : root_(std::move(root)) {}

std::filesystem::path RecordStore::deviceFolder(long device) const {
    char name[16];
    std::snprintf(name, sizeof name, "%07ld", device);
    return root_ / name;
}

std::filesystem::path RecordStore::monthFile(long device, int key) const {
    char name[24];
    std::snprintf(name, sizeof name, "%04d-%02d.nxr", key / 12, key % 12 + 1);
    return deviceFolder(device) / name;
}

void RecordStore::encode(const GpsRecord& r, unsigned char* p) {
    std::memset(p, 0, RecordSize);
    put64(p, static_cast<std::uint64_t>(r.time));
    put32(p + 8, static_cast<std::uint32_t>(scaled(r.latitude, 1e7)));
    put32(p + 12, static_cast<std::uint32_t>(scaled(r.longitude, 1e7)));
    put16(p + 16, static_cast<std::uint16_t>(std::clamp(std::lround(r.speed * 10.0f), 0L, 65535L)));
    put16(p + 18, r.course < 0 ? 0xFFFF : static_cast<std::uint16_t>(std::lround(r.course * 10.0f) % 3600));
    put16(p + 20,
          static_cast<std::uint16_t>(static_cast<std::int16_t>(std::clamp(std::lround(r.altitude), -32768L, 32767L))));
    put16(p + 22, r.inputs);
    put16(p + 24, r.status);
    for (int t = 0; t < TankCount; ++t) {
        const float level = r.tanks[static_cast<std::size_t>(t)];
        put16(p + 26 + 2 * t,
              level < 0 ? 0xFFFF : static_cast<std::uint16_t>(std::clamp(std::lround(level * 10.0f), 0L, 65534L)));
    }
    // bytes 34..39 reserved
}

GpsRecord RecordStore::decode(const unsigned char* p) {
    GpsRecord r;
    r.time = static_cast<UnixTime>(get64(p));
    r.latitude = static_cast<std::int32_t>(get32(p + 8)) / 1e7;
    r.longitude = static_cast<std::int32_t>(get32(p + 12)) / 1e7;
    r.speed = static_cast<float>(get16(p + 16)) / 10.0f;
    const std::uint16_t course = get16(p + 18);
    r.course = course == 0xFFFF ? -1.0f : static_cast<float>(course) / 10.0f;
    r.altitude = static_cast<float>(static_cast<std::int16_t>(get16(p + 20)));
    r.inputs = get16(p + 22);
    r.status = get16(p + 24);
    for (int t = 0; t < TankCount; ++t) {
        const std::uint16_t level = get16(p + 26 + 2 * t);
        r.tanks[static_cast<std::size_t>(t)] = level == 0xFFFF ? NoTankLevel : static_cast<float>(level) / 10.0f;
    }
    return r;
}

void RecordStore::write(long device, const std::vector<GpsRecord>& records) const {
    std::filesystem::create_directories(deviceFolder(device));
    std::size_t i = 0;
    while (i < records.size()) {
        const int key = monthKeyOf(records[i].time);
        std::string content(HeaderSize, '\0');
        std::memcpy(content.data(), Magic, sizeof Magic);
        put32(reinterpret_cast<unsigned char*>(content.data()) + 8, RecordSize);
        unsigned char buffer[RecordSize];
        for (; i < records.size() && monthKeyOf(records[i].time) == key; ++i) {
            encode(records[i], buffer);
            content.append(reinterpret_cast<const char*>(buffer), RecordSize);
        }
        writeFileAtomically(monthFile(device, key), content);
    }
}

void RecordStore::append(long device, const std::vector<GpsRecord>& records) const {
    if (records.empty())
        return;
    const auto previous = last(device);
    std::vector<GpsRecord> fresh;
    for (const GpsRecord& r : records)
        if (!previous || r.time > previous->time)
            fresh.push_back(r);
    std::size_t i = 0;
    while (i < fresh.size()) {
        const int key = monthKeyOf(fresh[i].time);
        std::vector<GpsRecord> month;
        const std::filesystem::path file = monthFile(device, key);
        if (std::filesystem::exists(file))
            month = read(device, monthStart(key), monthStart(key + 1) - 1, nullptr);
        for (; i < fresh.size() && monthKeyOf(fresh[i].time) == key; ++i)
            month.push_back(fresh[i]);
        write(device, month);
    }
}

std::vector<int> RecordStore::months(long device) const {
    std::vector<int> keys;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(deviceFolder(device), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        int year = 0;
        int month = 0;
        char tail[8] = {};
        if (name.size() == 11 && std::sscanf(name.c_str(), "%4d-%2d.%3s", &year, &month, tail) == 3 &&
            std::strcmp(tail, "nxr") == 0 && month >= 1 && month <= 12)
            keys.push_back(year * 12 + month - 1);
    }
    std::sort(keys.begin(), keys.end());
    return keys;
}

namespace {

// The first record in [low, high) of a month file (its records in time order) whose time is not `before` the point
// looked for; `ok` turns false when the file cannot be read.
template <class Before>
std::size_t firstRecordFrom(ReadOnlyFile& file, std::size_t low, std::size_t high, bool& ok, Before before) {
    while (low < high && ok) {
        const std::size_t mid = low + (high - low) / 2;
        unsigned char buffer[RecordStore::RecordSize];
        ok = file.readAt(RecordStore::HeaderSize + mid * RecordStore::RecordSize, buffer, RecordStore::RecordSize);
        if (ok && before(static_cast<UnixTime>(get64(buffer))))
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

// Appends the records of [from, to] of the month file `path` from `low` on, in chunks; `report` hears what is
// skipped.
template <class Report>
void appendRecords(ReadOnlyFile& file, const std::string& path, std::size_t low, std::size_t count, UnixTime from,
                   UnixTime to, std::vector<GpsRecord>& result, const Report& report) {
    constexpr std::size_t Chunk = 4096;
    constexpr std::size_t RecordSize = RecordStore::RecordSize;
    std::vector<unsigned char> buffer(Chunk * RecordSize);
    for (std::size_t index = low; index < count; index += Chunk) {
        const std::size_t n = std::min(Chunk, count - index);
        if (!file.readAt(RecordStore::HeaderSize + index * RecordSize, buffer.data(), n * RecordSize)) {
            report("cannot read " + path);
            return;
        }
        for (std::size_t k = 0; k < n; ++k) {
            const GpsRecord r = RecordStore::decode(buffer.data() + k * RecordSize);
            if (r.time > to)
                return;
            if (!result.empty() && r.time <= result.back().time) {
                report(path + ": record out of time order skipped");
                continue;
            }
            if (r.time >= from)
                result.push_back(r);
        }
    }
}

} // namespace

std::vector<GpsRecord> RecordStore::read(long device, UnixTime from, UnixTime to,
                                         std::vector<std::string>* problems) const {
    std::vector<GpsRecord> result;
    if (to < from)
        return result;
    auto report = [&](const std::string& text) {
        if (problems)
            problems->push_back(text);
    };
    for (const int key : months(device)) {
        if (monthStart(key + 1) <= from || monthStart(key) > to)
            continue;
        const std::filesystem::path path = monthFile(device, key);
        ReadOnlyFile file(path);
        if (!file.isOpen()) {
            report("cannot open " + path.string() + ": " + systemErrorText(errno));
            continue;
        }
        unsigned char header[HeaderSize];
        const long long size = file.size();
        if (size < static_cast<long long>(HeaderSize) || !file.readAt(0, header, HeaderSize) ||
            std::memcmp(header, Magic, sizeof Magic) != 0 || get32(header + 8) != RecordSize) {
            report(path.string() + " is not a record file; skipped");
            continue;
        }
        const std::size_t count = static_cast<std::size_t>(size - static_cast<long long>(HeaderSize)) / RecordSize;
        if ((size - static_cast<long long>(HeaderSize)) % static_cast<long long>(RecordSize) != 0)
            report(path.string() + " ends with a partial record; it is ignored");
        // The first record at or after the period's start, and the first one after its end, so that the result
        // grows once per month file rather than by doubling.
        bool ok = true;
        const std::size_t low = firstRecordFrom(file, 0, count, ok, [from](UnixTime t) { return t < from; });
        const std::size_t end = firstRecordFrom(file, low, count, ok, [to](UnixTime t) { return t <= to; });
        if (!ok) {
            report("cannot read " + path.string());
            continue;
        }
        result.reserve(result.size() + (end - low));
        appendRecords(file, path.string(), low, count, from, to, result, report);
    }
    return result;
}

std::optional<GpsRecord> RecordStore::last(long device) const {
    const auto keys = months(device);
    for (auto it = keys.rbegin(); it != keys.rend(); ++it) {
        const std::filesystem::path path = monthFile(device, *it);
        ReadOnlyFile file(path);
        if (!file.isOpen())
            continue;
        const long long size = file.size();
        unsigned char header[HeaderSize];
        if (size < static_cast<long long>(HeaderSize + RecordSize) || !file.readAt(0, header, HeaderSize) ||
            std::memcmp(header, Magic, sizeof Magic) != 0 || get32(header + 8) != RecordSize)
            continue;
        const std::size_t count = static_cast<std::size_t>(size - static_cast<long long>(HeaderSize)) / RecordSize;
        unsigned char buffer[RecordSize];
        if (file.readAt(HeaderSize + (count - 1) * RecordSize, buffer, RecordSize))
            return decode(buffer);
    }
    return std::nullopt;
}

} // namespace navilonix::server
