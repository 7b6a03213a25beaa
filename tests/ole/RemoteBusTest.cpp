// Machine names and the addresses they become.
#include "platform/ole/RemoteAddress.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The argument values of a "unixexec:" address, unescaped, in order.
std::vector<std::string> ExecArguments(const std::string& address) {
    std::vector<std::string> values;
    std::size_t at = 0;
    while ((at = address.find(",argv", at)) != std::string::npos) {
        const std::size_t start = address.find('=', at) + 1;
        const std::size_t end = std::min(address.find(',', start), address.size());
        std::string value;
        for (std::size_t i = start; i < end; ++i) {
            if (address[i] == '%') {
                value.push_back(static_cast<char>(std::stoi(address.substr(i + 1, 2), nullptr, 16)));
                i += 2;
            } else {
                value.push_back(address[i]);
            }
        }
        values.push_back(value);
        at = end;
    }
    return values;
}

TEST(RemoteBusAddress, MachineNamesBecomeAnSshRunOfTheBridgeWithTheFarUsersBus) {
    unsetenv("NAVILONIX_SSH");
    struct Case {
        const char* machine;
        const char* target;
        const char* port;
    } cases[] = {{"fleet.example.org", "fleet.example.org", nullptr},
                 {"ops@fleet-01:2222", "ops@fleet-01", "2222"},
                 {"[::1]:22", "::1", "22"},
                 {"ops@[fe80::1%eth0]", "ops@fe80::1%eth0", nullptr}};
    for (const Case& c : cases) {
        std::string address;
        std::string error;
        ASSERT_TRUE(ole::RemoteBusAddress(c.machine, &address, &error)) << c.machine << ": " << error;
        EXPECT_EQ(address.rfind("unixexec:path=ssh,", 0), 0u) << address;
        const std::vector<std::string> argv = ExecArguments(address);
        ASSERT_GE(argv.size(), 4u);
        EXPECT_EQ(argv.front(), "ssh");
        // The host comes after "--", so that no name can pass for an option; the far command comes last.
        const auto dashes = std::find(argv.begin(), argv.end(), "--");
        ASSERT_EQ(argv.end() - dashes, 3) << c.machine;
        EXPECT_EQ(dashes[1], c.target);
        const auto port = std::find(argv.begin(), dashes, "-p");
        if (c.port) {
            ASSERT_NE(port, dashes) << c.machine;
            EXPECT_EQ(port[1], c.port);
        } else {
            EXPECT_EQ(port, dashes) << c.machine;
        }
        // The far shell, not ours, expands the runtime folder: the dollar travels escaped.
        EXPECT_NE(dashes[2].find("systemd-stdio-bridge -p"), std::string::npos);
        EXPECT_NE(dashes[2].find("$XDG_RUNTIME_DIR/bus"), std::string::npos);
        EXPECT_NE(dashes[2].find("$DBUS_SESSION_BUS_ADDRESS"), std::string::npos);
        EXPECT_EQ(address.find('$'), std::string::npos);
        EXPECT_NE(address.find("%24XDG_RUNTIME_DIR"), std::string::npos);
    }
    setenv("NAVILONIX_SSH", "/opt/ssh, patched/ssh", 1);
    std::string address;
    std::string error;
    ASSERT_TRUE(ole::RemoteBusAddress("host", &address, &error));
    EXPECT_EQ(ExecArguments(address).front(), "/opt/ssh, patched/ssh");
    unsetenv("NAVILONIX_SSH");
    // A D-Bus address is taken as it is.
    ASSERT_TRUE(ole::RemoteBusAddress("unix:path=/run/user/1000/bus", &address, &error));
    EXPECT_EQ(address, "unix:path=/run/user/1000/bus");
}

TEST(RemoteBusAddress, NamesThatAreNotAMachineGetAClearError) {
    for (const char* machine :
         {"", "@host", "user@", "-oProxyCommand=touch /tmp/x", "user@-host", "host:", "host:0", "host:65536",
          "host:22x", "::1", "[::1", "[::1]x", "bad host", "host;reboot", "us er@host", "'user'@host"}) {
        std::string address = "unchanged";
        std::string error;
        EXPECT_FALSE(ole::RemoteBusAddress(machine, &address, &error)) << machine;
        EXPECT_EQ(address, "unchanged") << machine;
        EXPECT_NE(error.find("[user@]host[:port]"), std::string::npos) << machine << ": " << error;
    }
}

} // namespace
