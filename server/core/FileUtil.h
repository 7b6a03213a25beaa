// Whole-file reads and writes that never leave a partial file behind.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace navilonix::server {

// A file operation that failed; what() names the file and the reason.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads the whole file; throws FileError when it cannot be read.
std::string readWholeFile(const std::filesystem::path& path);

// Writes the content to a temporary file beside the target and renames it over the target, so that a failure
// leaves an existing file as it was and no partial file. Throws FileError.
void writeFileAtomically(const std::filesystem::path& path, std::string_view content);

// The text of the last system error, for messages.
std::string systemErrorText(int error);

} // namespace navilonix::server
