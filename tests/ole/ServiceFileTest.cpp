#include "platform/ole/ServiceFile.h"

#include "automation/Navilonix_tlb.h"

#include <gtest/gtest.h>

#include <pwd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

class ServiceFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("XDG_DATA_HOME"))
            saved = old;
        root = std::filesystem::temp_directory_path() / ("nvx-services-" + std::to_string(::getpid()));
        setenv("XDG_DATA_HOME", root.c_str(), 1);
    }
    void TearDown() override {
        std::filesystem::remove_all(root);
        if (saved.empty())
            unsetenv("XDG_DATA_HOME");
        else
            setenv("XDG_DATA_HOME", saved.c_str(), 1);
    }
    static std::string Read(const std::filesystem::path& p) {
        std::ifstream in(p);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::filesystem::path root;
    std::string saved;
};

TEST_F(ServiceFileTest, RegisterWritesTheActivationFileUnderXdgDataHome) {
    const std::filesystem::path program = root / "bin dir" / "NavilonixServer";
    std::filesystem::create_directories(program.parent_path());
    std::ofstream(program) << "#!/bin/sh\n";
    std::string error;
    ASSERT_TRUE(ole::RegisterLocalServer(CLSID_NavilonixAutomation, program, &error)) << error;
    const auto file = root / "dbus-1/services/ole.CLSID_7166C02F_CFCE_4856_AB71_40F9329297BB.service";
    EXPECT_EQ(ole::ServiceFilePath(CLSID_NavilonixAutomation), file);
    EXPECT_EQ(Read(file), "[D-BUS Service]\n"
                          "Name=ole.CLSID_7166C02F_CFCE_4856_AB71_40F9329297BB\n"
                          "Exec=\"" +
                              program.string() + "\" --embedding\n");
    ASSERT_TRUE(ole::UnregisterLocalServer(CLSID_NavilonixAutomation, &error)) << error;
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(ole::UnregisterLocalServer(CLSID_NavilonixAutomation)); // nothing left to remove
}

TEST_F(ServiceFileTest, RegisterRefusesAMissingProgram) {
    std::string error;
    EXPECT_FALSE(ole::RegisterLocalServer(CLSID_NavilonixAutomation, root / "missing", &error));
    EXPECT_NE(error.find("missing"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(ole::ServiceFilePath(CLSID_NavilonixAutomation)));
}

TEST_F(ServiceFileTest, WithoutAnAbsoluteXdgDataHomeTheFolderIsInTheHomeTheBusReads) {
    // The bus daemon looks in the home directory of the user's account, whatever HOME says.
    const passwd* account = ::getpwuid(::getuid());
    ASSERT_NE(account, nullptr);
    const std::string saved = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", root.c_str(), 1);
    setenv("XDG_DATA_HOME", "relative/path", 1);
    EXPECT_EQ(ole::UserServiceDirectory(), std::filesystem::path(account->pw_dir) / ".local/share/dbus-1/services");
    setenv("HOME", saved.c_str(), 1);
}

} // namespace
