#include "platform/rtl/FileName.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

TEST(FileNameTest, SplitsAPathIntoFolderNameAndExtension) {
    EXPECT_EQ(ExtractFileName("/srv/work/Points/Moscow.chp"), "Moscow.chp");
    EXPECT_EQ(ExtractFilePath("/srv/work/Points/Moscow.chp"), "/srv/work/Points/");
    EXPECT_EQ(ExtractFileDir("/srv/work/Points/Moscow.chp"), "/srv/work/Points");
    EXPECT_EQ(ExtractFileExt("/srv/work/Points/Moscow.chp"), ".chp");
    EXPECT_EQ(ExtractFileName("Moscow.chp"), "Moscow.chp");
    EXPECT_EQ(ExtractFilePath("Moscow.chp"), "");
    EXPECT_EQ(ExtractFileDir("Moscow.chp"), "");
    EXPECT_EQ(ExtractFileName("/srv/work/"), "");
}

TEST(FileNameTest, FolderOfTheRootKeepsItsSeparator) {
    EXPECT_EQ(ExtractFileDir("/Moscow.chp"), "/");
    EXPECT_EQ(ExtractFileDir("a/b"), "a");
}

TEST(FileNameTest, ExtensionIsTheLastDotOfTheName) {
    EXPECT_EQ(ExtractFileExt("track.tar.gz"), ".gz");
    EXPECT_EQ(ExtractFileExt("Moscow"), "");
    EXPECT_EQ(ExtractFileExt("/a.b/Moscow"), "");
    EXPECT_EQ(ExtractFileExt("Москва.CHP"), ".CHP");
    EXPECT_EQ(ExtractFileExt("name."), ".");
}

TEST(FileNameTest, ChangeFileExtReplacesOrRemovesOrAppends) {
    EXPECT_EQ(ChangeFileExt("Moscow.chp", ""), "Moscow");
    EXPECT_EQ(ChangeFileExt("Москва.chp", ""), "Москва");
    EXPECT_EQ(ChangeFileExt("track.plt", ".kml"), "track.kml");
    EXPECT_EQ(ChangeFileExt("/a.b/track", ".kml"), "/a.b/track.kml");
    EXPECT_EQ(ChangeFileExt("a.tar.gz", ""), "a.tar");
}

TEST(FileNameTest, TrailingPathDelimiter) {
    EXPECT_EQ(IncludeTrailingPathDelimiter("/srv/work"), "/srv/work/");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/srv/work/"), "/srv/work/");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("/srv/work/"), "/srv/work");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("/"), "/");
}

TEST(FileNameTest, SameFileNameIgnoresCase) {
    EXPECT_TRUE(SameFileName("Group1.GRP", "group1.grp"));
    EXPECT_TRUE(SameFileName("Грузовики.grp", "ГРУЗОВИКИ.GRP"));
    EXPECT_TRUE(SameFileName("ёлка", "ЁЛКА"));
    EXPECT_FALSE(SameFileName("Group1.grp", "Group2.grp"));
    EXPECT_FALSE(SameFileName("Group1.grp", "Group1.grp "));
}

TEST(FileNameTest, MaskMatchesStarAndQuestionMarkIgnoringCase) {
    EXPECT_TRUE(MatchesMask("Moscow.chp", "*.chp"));
    EXPECT_TRUE(MatchesMask("Moscow.CHP", "*.chp"));
    EXPECT_TRUE(MatchesMask(".chp", "*.chp"));
    EXPECT_TRUE(MatchesMask("a.b.chp", "*.chp"));
    EXPECT_TRUE(MatchesMask("Москва.chp", "*.chp"));
    EXPECT_FALSE(MatchesMask("Moscow.chpx", "*.chp"));
    EXPECT_FALSE(MatchesMask("Moscow.ch", "*.chp"));
    EXPECT_FALSE(MatchesMask("Moscowchp", "*.chp"));
    EXPECT_TRUE(MatchesMask("Zone1.chp", "Zone?.chp"));
    EXPECT_TRUE(MatchesMask("ZoneЖ.chp", "Zone?.chp"));
    EXPECT_FALSE(MatchesMask("Zone12.chp", "Zone?.chp"));
    EXPECT_TRUE(MatchesMask("anything", "*"));
    EXPECT_TRUE(MatchesMask("noextension", "*.*"));
    EXPECT_TRUE(MatchesMask("", "*"));
    EXPECT_FALSE(MatchesMask("", "?"));
}

class FindFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/navilonix-rtl-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        m_folder = name;
    }
    void TearDown() override { std::filesystem::remove_all(m_folder); }

    void Touch(const std::string& name) const { std::ofstream(m_folder + "/" + name) << "x"; }

    std::string m_folder;
};

TEST_F(FindFilesTest, ListsTheMatchingEntriesOfAFolder) {
    Touch("Zone.chp");
    Touch("A.chp");
    Touch(".hidden.chp");
    Touch("B.CHP");
    Touch("notes.txt");
    Touch("C.chp.bak");
    std::filesystem::create_directory(m_folder + "/Folder.chp");
    const std::vector<std::string> names = FindFiles(m_folder + "/*.chp");
    EXPECT_EQ(names, (std::vector<std::string>{".hidden.chp", "A.chp", "B.CHP", "Folder.chp", "Zone.chp"}));
}

TEST_F(FindFilesTest, EmptyOrMissingFolderGivesNoNames) {
    EXPECT_TRUE(FindFiles(m_folder + "/*.chp").empty());
    EXPECT_TRUE(FindFiles(m_folder + "/Points/*.chp").empty());
}

} // namespace
