#include "FileUtil.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace navilonix::server {

std::string systemErrorText(int error) {
    return std::strerror(error);
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

void writeFileAtomically(const std::filesystem::path& path, std::string_view content) {
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    std::string pattern = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(pattern.data());
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
    if (::fchmod(fd, 0644) != 0 || ::fsync(fd) != 0)
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

} // namespace navilonix::server
