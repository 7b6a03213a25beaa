// Whole-file reads and writes that never leave a partial file behind.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace navilonix::server {

// A file operation that failed; what() names the file and the reason.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file opened for reading at given offsets, closed on destruction. One home for the POSIX file calls the server
// needs besides the standard library (positioned reads, atomic replacement with the old mode kept).
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::filesystem::path& path);
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
    ~ReadOnlyFile();
    bool isOpen() const { return fd_ >= 0; }
    // Reads exactly `size` bytes at `offset`; false on an error or the end of the file.
    bool readAt(std::size_t offset, unsigned char* buffer, std::size_t size) const;
    long long size() const;

private:
    int fd_;
};

// Reads the whole file; throws FileError when it cannot be read.
std::string readWholeFile(const std::filesystem::path& path);

// Writes the content to a temporary file beside the target and renames it over the target, so that a failure
// leaves an existing file as it was and no partial file. The new file keeps the mode of the file it replaces; a new
// file gets the process's umask. A file the user may not write is not replaced (FileError with EACCES). Throws
// FileError.
void writeFileAtomically(const std::filesystem::path& path, std::string_view content);

// Removes the temporary files that writes killed half-way left in `folder` (".<name>.XXXXXX" beside <name>), for
// names whose extension is one of `extensions` (".grp", or a whole name such as "Online.txt"). Returns the names
// of the removed files.
std::vector<std::string> removeStaleTemporaryFiles(const std::filesystem::path& folder,
                                                   const std::vector<std::string>& extensions);

// The text of the last system error, for messages.
std::string systemErrorText(int error);

} // namespace navilonix::server
