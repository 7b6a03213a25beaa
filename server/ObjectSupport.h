// Helpers of the automation object: result values, text conventions and file results.
#pragma once

#include "automation/Navilonix_tlb.h"
#include "platform/ole/Bstr.h"
#include "server/core/Model.h"
#include "server/core/TimeText.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

struct TFormatSettings;

namespace navilonix::server {

struct ReceiverFix;

constexpr std::uint32_t ErrorFileNotFound = 2;
constexpr std::uint32_t ErrorPathNotFound = 3;
constexpr std::uint32_t ErrorInvalidName = 123;
constexpr std::uint32_t ErrorNotFound = 1168;

inline HRESULT readLong(LONG* out, long value) {
    if (!out)
        return E_POINTER;
    *out = static_cast<LONG>(std::clamp<long>(value, -2147483647L - 1, 2147483647L));
    return S_OK;
}
inline HRESULT readDouble(DOUBLE* out, double value) {
    if (!out)
        return E_POINTER;
    *out = value;
    return S_OK;
}
inline HRESULT readText(BSTR* out, std::string_view value) {
    if (!out)
        return E_POINTER;
    *out = SysAllocStringUtf8(value);
    return S_OK;
}

// The date and time conventions of the locale settings.
TextFormat textFormatFrom(const TFormatSettings& settings);

// A text argument as the log shows it: in quotes, control characters escaped, and a long one cut after its start,
// with its length, so that a huge argument costs the log no more than a short one.
constexpr std::size_t LogExcerptBytes = 120;
std::string excerpt(std::string_view text);

// File names compared as the user's file system would show them: ignoring ASCII case.
bool sameFileName(std::string_view a, std::string_view b);

// The name of a place: the check point whose circle holds it, else its coordinates.
std::string placeName(const std::vector<CheckPoint>& points, double latitude, double longitude);

// The server's receiver position from Receiver.txt ("latitude longitude altitude"); nothing without the file.
std::optional<ReceiverFix> readReceiver(const std::filesystem::path& file,
                                        const std::function<void(const std::string&)>& log);

// The result for a file that could not be read or written: what the file system says about it.
HRESULT resultOfFileError(const std::filesystem::path& file, bool writing);

} // namespace navilonix::server
