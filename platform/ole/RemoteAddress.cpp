#include "platform/ole/RemoteAddress.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace ole {

namespace {

// Run by the remote user's login shell (whatever it is, hence one single-quoted "sh -c" script): the user's
// session bus is $XDG_RUNTIME_DIR/bus, or else what DBUS_SESSION_BUS_ADDRESS names. The bridge would log to the
// journal; on the console its errors travel back through SSH to the user.
constexpr const char* kRemoteCommand =
    "sh -c '"
    "if [ -S \"$XDG_RUNTIME_DIR/bus\" ]; then a=\"unix:path=$XDG_RUNTIME_DIR/bus\"; "
    "elif [ -n \"$DBUS_SESSION_BUS_ADDRESS\" ]; then a=\"$DBUS_SESSION_BUS_ADDRESS\"; "
    "else echo \"no session bus: $XDG_RUNTIME_DIR/bus is missing and DBUS_SESSION_BUS_ADDRESS is not set "
    "(loginctl enable-linger keeps the bus of a user who is not logged in)\" >&2; exit 1; fi; "
    "export SYSTEMD_LOG_TARGET=console; exec systemd-stdio-bridge -p \"$a\"'";

// The SSH options: no prompts (the console has no terminal to ask on), a bounded wait for the machine and
// keep-alives, so that an idle link whose network has gone ends within about ten seconds, while a network that
// stalls for a few seconds keeps it (a call in progress notices sooner: it probes the link itself).
constexpr const char* kSshOptions[] = {"-xT",
                                       "-o",
                                       "BatchMode=yes",
                                       "-o",
                                       "ConnectTimeout=10",
                                       "-o",
                                       "ServerAliveInterval=3",
                                       "-o",
                                       "ServerAliveCountMax=3"};

bool IsAddress(const std::string& name) {
    // "transport:key=value...": a machine name never has '=' after a colon.
    const auto colon = name.find(':');
    if (colon == std::string::npos || colon == 0 || name.find('=', colon) == std::string::npos)
        return false;
    return std::all_of(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(colon),
                       [](unsigned char c) { return std::islower(c); });
}

bool ValidUser(std::string_view user) {
    if (user.empty() || user.front() == '-')
        return false;
    return std::all_of(user.begin(), user.end(), [](unsigned char c) {
        return c > ' ' && c != 0x7f && c != ':' && c != '@' && c != '\'' && c != '"' && c != '\\';
    });
}

bool ValidHost(std::string_view host, bool bracketed) {
    if (host.empty() || host.front() == '-')
        return false;
    return std::all_of(host.begin(), host.end(), [bracketed](unsigned char c) {
        if (std::isalnum(c) || c == '.' || c == '-' || c == '_')
            return true;
        return bracketed && (c == ':' || c == '%');
    });
}

} // namespace

std::string EscapeBusAddressValue(std::string_view value) {
    std::string out;
    for (unsigned char c : value) {
        if (std::isalnum(c) || c == '_' || c == '-' || c == '/' || c == '.') {
            out.push_back(static_cast<char>(c));
        } else {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02x", c);
            out += buf;
        }
    }
    return out;
}

bool RemoteBusAddress(const std::string& machine, std::string* address, std::string* error) {
    if (IsAddress(machine)) {
        *address = machine;
        return true;
    }
    const auto fail = [&](const std::string& why) {
        *error = "\"" + machine + "\" is not a machine name of the form [user@]host[:port]: " + why;
        return false;
    };
    std::string_view rest = machine;
    std::string_view user;
    if (const auto at = rest.rfind('@'); at != std::string_view::npos) {
        user = rest.substr(0, at);
        rest = rest.substr(at + 1);
        if (!ValidUser(user))
            return fail("the user name is empty or holds characters a user name cannot have");
    }
    std::string_view host = rest;
    std::string_view port;
    bool bracketed = false;
    if (!rest.empty() && rest.front() == '[') {
        const auto close = rest.find(']');
        if (close == std::string_view::npos)
            return fail("the bracket after the IPv6 address is missing");
        host = rest.substr(1, close - 1);
        bracketed = true;
        const std::string_view after = rest.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':')
                return fail("only \":port\" may follow the bracketed address");
            port = after.substr(1);
            if (port.empty())
                return fail("the port is missing after the colon");
        }
    } else if (const auto colon = rest.find(':'); colon != std::string_view::npos) {
        if (rest.find(':', colon + 1) != std::string_view::npos)
            return fail("an IPv6 address goes in brackets, as in [::1]:22");
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
        if (port.empty())
            return fail("the port is missing after the colon");
    }
    if (!ValidHost(host, bracketed))
        return fail("the host name is empty or holds characters a host name cannot have");
    if (!port.empty()) {
        if (port.size() > 5 || !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
            std::atoi(std::string(port).c_str()) < 1 || std::atoi(std::string(port).c_str()) > 65535)
            return fail("the port is not a number from 1 to 65535");
    }

    const char* program = std::getenv("NAVILONIX_SSH");
    if (!program || !*program)
        program = "ssh";
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), std::begin(kSshOptions), std::end(kSshOptions));
    if (!port.empty()) {
        argv.emplace_back("-p");
        argv.emplace_back(port);
    }
    argv.emplace_back("--");
    argv.push_back(user.empty() ? std::string(host) : std::string(user) + "@" + std::string(host));
    argv.emplace_back(kRemoteCommand);

    std::string result = "unixexec:path=" + EscapeBusAddressValue(program);
    for (std::size_t i = 0; i < argv.size(); ++i)
        result += ",argv" + std::to_string(i) + "=" + EscapeBusAddressValue(argv[i]);
    *address = result;
    return true;
}

} // namespace ole
