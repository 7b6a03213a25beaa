#include "platform/ole/ServiceFile.h"

#include "platform/ole/Bus.h"

#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace ole {

namespace {

// The daemon splits Exec like a shell: quote the path when it needs it.
std::string QuoteForExec(const std::string& text) {
    if (text.find_first_of(" \t\"'\\$") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\' || c == '$')
            quoted.push_back('\\');
        quoted.push_back(c);
    }
    quoted.push_back('"');
    return quoted;
}

// The home directory of the user's account. The session bus daemon looks for services there, not in $HOME: a HOME
// set to another folder would otherwise get a registration the bus never reads.
std::string AccountHome() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_dir ||
        found->pw_dir[0] != '/')
        return {};
    return found->pw_dir;
}

} // namespace

std::filesystem::path UserServiceDirectory() {
    std::filesystem::path base;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/')
        base = data;
    else if (const std::string home = AccountHome(); !home.empty())
        base = std::filesystem::path(home) / ".local" / "share";
    else if (const char* env = std::getenv("HOME"); env && *env)
        base = std::filesystem::path(env) / ".local" / "share";
    else
        return {};
    return base / "dbus-1" / "services";
}

std::filesystem::path ServiceFilePath(REFCLSID clsid) {
    const std::filesystem::path dir = UserServiceDirectory();
    if (dir.empty())
        return {};
    return dir / (BusNameForClass(clsid) + ".service");
}

bool RegisterLocalServer(REFCLSID clsid, const std::filesystem::path& executable, std::string* error) {
    auto fail = [error](std::string why) {
        if (error)
            *error = std::move(why);
        return false;
    };
    const std::filesystem::path file = ServiceFilePath(clsid);
    if (file.empty())
        return fail("neither XDG_DATA_HOME nor HOME is set");
    std::error_code ec;
    const std::filesystem::path program = std::filesystem::absolute(executable, ec);
    if (ec || !std::filesystem::is_regular_file(program))
        return fail("no such program: " + executable.string());
    if (program.string().find('\n') != std::string::npos)
        return fail("the program's path holds a line break");
    std::filesystem::create_directories(file.parent_path(), ec);
    if (ec)
        return fail("cannot create " + file.parent_path().string() + ": " + ec.message());
    // Written beside the final name and renamed, so the daemon never reads half a file.
    const std::filesystem::path temporary = file.string() + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << "[D-BUS Service]\n"
            << "Name=" << BusNameForClass(clsid) << "\n"
            << "Exec=" << QuoteForExec(program.string()) << " --embedding\n";
        out.close();
        if (!out)
            return fail("cannot write " + temporary.string());
    }
    std::filesystem::rename(temporary, file, ec);
    if (ec) {
        std::filesystem::remove(temporary, ec);
        return fail("cannot write " + file.string());
    }
    return true;
}

bool UnregisterLocalServer(REFCLSID clsid, std::string* error) {
    const std::filesystem::path file = ServiceFilePath(clsid);
    if (file.empty()) {
        if (error)
            *error = "neither XDG_DATA_HOME nor HOME is set";
        return false;
    }
    std::error_code ec;
    std::filesystem::remove(file, ec);
    if (ec) {
        if (error)
            *error = "cannot remove " + file.string() + ": " + ec.message();
        return false;
    }
    return true;
}

} // namespace ole
