#include "server/core/FileUtil.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace navilonix::server {

std::string systemErrorText(int error) {
    return std::strerror(error);
}

ReadOnlyFile::ReadOnlyFile(const std::filesystem::path& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}

ReadOnlyFile::~ReadOnlyFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool ReadOnlyFile::readAt(std::size_t offset, unsigned char* buffer, std::size_t size) const {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd_, buffer + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

long long ReadOnlyFile::size() const {
    return static_cast<long long>(::lseek(fd_, 0, SEEK_END));
}

std::string readWholeFile(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw FileError("cannot open " + path.string() + ": " + systemErrorText(errno));
    std::string content;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(fd);
            throw FileError("cannot read " + path.string() + ": " + systemErrorText(error));
        }
        if (n == 0)
            break;
        content.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return content;
}

namespace {

// The permission bits the process gives a new file: 0666 less its umask. Read from /proc, because umask() can only
// be read by setting it, which would change it for every thread for a moment.
mode_t newFileMode() {
    mode_t mask = 022;
    bool found = false;
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        while (!found && std::fgets(line, sizeof line, status)) {
            unsigned value = 0;
            if (std::sscanf(line, "Umask: %o", &value) == 1) {
                mask = static_cast<mode_t>(value);
                found = true;
            }
        }
        std::fclose(status);
    }
    if (!found) {
        mask = ::umask(022);
        ::umask(mask);
    }
    return 0666 & ~mask;
}

bool isTemporaryCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

} // namespace

void writeFileAtomically(const std::filesystem::path& path, std::string_view content) {
    // The new file takes the place of the old one with its permissions; one the user may not write stays as it is.
    struct stat existing {};
    const bool replacing = ::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
    if (replacing && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
        throw FileError("cannot replace " + path.string() + ": " + systemErrorText(errno));
    const mode_t mode = replacing ? existing.st_mode & 0777 : newFileMode();

    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    std::string pattern = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        throw FileError("cannot write " + path.string() + ": " + systemErrorText(errno));
    const std::filesystem::path temporary = pattern;
    auto fail = [&](const char* what, int error) {
        ::close(fd);
        ::unlink(temporary.c_str());
        throw FileError(std::string(what) + " " + path.string() + ": " + systemErrorText(error));
    };
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail("cannot write", errno);
        }
        written += static_cast<std::size_t>(n);
    }
    // The group of the replaced file too, where the user may give it; otherwise the new file keeps the user's own.
    if (replacing && existing.st_gid != ::getegid()) {
        [[maybe_unused]] const int kept = ::fchown(fd, static_cast<uid_t>(-1), existing.st_gid);
    }
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0)
        fail("cannot write", errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        throw FileError("cannot write " + path.string() + ": " + systemErrorText(error));
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        throw FileError("cannot replace " + path.string() + ": " + systemErrorText(error));
    }
}

std::vector<std::string> removeStaleTemporaryFiles(const std::filesystem::path& folder,
                                                   const std::vector<std::string>& extensions) {
    std::vector<std::string> removed;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        // ".<target>.XXXXXX": a dot, the target's name, a dot and six letters or digits.
        constexpr std::size_t Suffix = 7;
        if (name.size() < 2 + Suffix || name.front() != '.' || name[name.size() - Suffix] != '.' ||
            !std::all_of(name.end() - (Suffix - 1), name.end(), isTemporaryCharacter))
            continue;
        const std::string_view target = std::string_view(name).substr(1, name.size() - 1 - Suffix);
        const bool ours = std::any_of(extensions.begin(), extensions.end(), [&](const std::string& e) {
            return e.starts_with('.') ? target.size() > e.size() && target.ends_with(e) : target == e;
        });
        std::error_code typeError;
        if (!ours || !it->is_regular_file(typeError) || it->is_symlink(typeError))
            continue;
        std::error_code removeError;
        if (std::filesystem::remove(it->path(), removeError))
            removed.push_back(name);
    }
    return removed;
}

} // namespace navilonix::server
