// The console's command line.
#include "forms/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TCommandLine Parse(std::vector<const char*> arguments, bool strict) {
    arguments.insert(arguments.begin(), "NavilonixOle");
    return ParseCommandLine(static_cast<int>(arguments.size()), arguments.data(), strict);
}

TEST(CommandLine, TheRemoteMachineAndTheToolkitsOwnOptions) {
    EXPECT_EQ(Parse({}, true).RemoteMachineName, "");
    EXPECT_TRUE(Parse({}, true).Error.empty());
    for (bool strict : {false, true}) {
        EXPECT_EQ(Parse({"--remote", "ops@fleet-01:2222"}, strict).RemoteMachineName, "ops@fleet-01:2222");
        EXPECT_EQ(Parse({"--remote=[::1]:22"}, strict).RemoteMachineName, "[::1]:22");
    }
    // Before the toolkit has taken "-platform offscreen", it is left alone; what remains afterwards is judged.
    const TCommandLine early = Parse({"-platform", "offscreen", "--platformtheme", "gtk3", "--remote", "fleet"}, false);
    EXPECT_TRUE(early.Error.empty()) << early.Error;
    EXPECT_EQ(early.RemoteMachineName, "fleet");
    EXPECT_EQ(Parse({"localhost"}, true).Error, "unexpected argument localhost");
    EXPECT_TRUE(Parse({"--help"}, false).Help);
    EXPECT_TRUE(Parse({"--version"}, false).Version);
}

TEST(CommandLine, WhatCannotBeUsedIsAnErrorThatNamesIt) {
    EXPECT_EQ(Parse({"--remote"}, false).Error, "--remote needs a machine: --remote [user@]host[:port]");
    EXPECT_EQ(Parse({"--remotely"}, true).Error, "unknown option --remotely");
    EXPECT_EQ(Parse({"-x"}, true).Error, "unknown option -x");
    const TCommandLine bad = Parse({"--remote", "ops@fleet 01"}, false);
    EXPECT_NE(bad.Error.find("\"ops@fleet 01\" is not a machine name of the form [user@]host[:port]"),
              std::string::npos)
        << bad.Error;
    EXPECT_EQ(bad.RemoteMachineName, "");
    // An option that looks like one of SSH's never reaches it.
    EXPECT_FALSE(Parse({"--remote", "-oProxyCommand=sh"}, false).Error.empty());
}

} // namespace
