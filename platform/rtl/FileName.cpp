#include "platform/rtl/FileName.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {

std::size_t LastDelimiter(const std::string& fileName) {
    return fileName.rfind(PathDelim);
}

std::u32string Folded(const std::string& text) {
    return DecodeUtf8(AnsiLowerCase(text));
}

bool Match(const std::u32string& name, const std::u32string& mask) {
    // Iterative glob matching with backtracking to the last "*".
    std::size_t n = 0, m = 0;
    std::size_t starMask = std::u32string::npos, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == U'?' || mask[m] == name[n])) {
            ++n, ++m;
        } else if (m < mask.size() && mask[m] == U'*') {
            starMask = m++;
            starName = n;
        } else if (starMask != std::u32string::npos) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == U'*') {
        ++m;
    }
    return m == mask.size();
}

} // namespace

std::string ExtractFileName(const std::string& fileName) {
    const std::size_t d = LastDelimiter(fileName);
    return d == std::string::npos ? fileName : fileName.substr(d + 1);
}

std::string ExtractFilePath(const std::string& fileName) {
    const std::size_t d = LastDelimiter(fileName);
    return d == std::string::npos ? std::string() : fileName.substr(0, d + 1);
}

std::string ExtractFileDir(const std::string& fileName) {
    std::size_t d = LastDelimiter(fileName);
    if (d == std::string::npos) {
        return {};
    }
    // Drop the separator unless it is the root's (or one of a run of separators at the start).
    if (d > 0 && fileName[d - 1] != PathDelim) {
        return fileName.substr(0, d);
    }
    return fileName.substr(0, d + 1);
}

std::string ExtractFileExt(const std::string& fileName) {
    const std::size_t dot = fileName.rfind('.');
    const std::size_t d = LastDelimiter(fileName);
    if (dot == std::string::npos || (d != std::string::npos && dot < d)) {
        return {};
    }
    return fileName.substr(dot);
}

std::string ChangeFileExt(const std::string& fileName, const std::string& extension) {
    const std::string ext = ExtractFileExt(fileName);
    return fileName.substr(0, fileName.size() - ext.size()) + extension;
}

std::string IncludeTrailingPathDelimiter(const std::string& path) {
    if (!path.empty() && path.back() == PathDelim) {
        return path;
    }
    return path + PathDelim;
}

std::string ExcludeTrailingPathDelimiter(const std::string& path) {
    if (path.size() > 1 && path.back() == PathDelim) {
        return path.substr(0, path.size() - 1);
    }
    return path;
}

bool SameFileName(const std::string& a, const std::string& b) {
    return SameText(a, b);
}

bool MatchesMask(const std::string& name, const std::string& mask) {
    if (mask == "*.*") {
        return true;
    }
    return Match(Folded(name), Folded(mask));
}

std::vector<std::string> FindFiles(const std::string& pattern) {
    std::vector<std::string> names;
    const std::string mask = ExtractFileName(pattern);
    const std::string dir = ExtractFileDir(pattern);
    const std::filesystem::path folder = dir.empty() ? std::filesystem::path(".") : std::filesystem::path(dir);
    std::error_code error;
    std::filesystem::directory_iterator it(folder, error);
    if (error) {
        return names;
    }
    for (const std::filesystem::directory_iterator end; it != end; it.increment(error)) {
        if (error) {
            break;
        }
        const std::string name = it->path().filename().string();
        if (MatchesMask(name, mask)) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}
