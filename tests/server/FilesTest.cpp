#include "server/core/CheckPointFile.h"
#include "server/core/FileUtil.h"
#include "server/core/GroupFile.h"
#include "server/core/RecordStore.h"
#include "server/core/TimeText.h"
#include "tests/server/TempFolder.h"
#include "tests/server/TrackBuilder.h"

#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace navilonix::server;
using navilonix::server::testing::TempFolder;
using navilonix::server::testing::TrackBuilder;

namespace {

void writeText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

mode_t modeOf(const std::filesystem::path& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// Runs `check` with the permissions of an ordinary user and returns its result: directly, or, for root (who may
// write everything), in a child process that has given up root for nobody and owns `folder`.
int asOrdinaryUser(const std::filesystem::path& folder, const std::function<int()>& check) {
    if (::geteuid() != 0)
        return check();
    constexpr uid_t Nobody = 65534;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        EXPECT_EQ(::lchown(entry.path().c_str(), Nobody, Nobody), 0);
    EXPECT_EQ(::chown(folder.c_str(), Nobody, Nobody), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(Nobody) != 0 || ::setuid(Nobody) != 0)
            _exit(100);
        _exit(check());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
}

} // namespace

TEST(CheckPointFiles, PointsAndZonesSurviveARoundTripWithAwkwardTexts) {
    TempFolder folder;
    CheckPointList list;
    list.points.push_back(
        CheckPoint{"Склад\t№1", "ул. Ленина, 5\nкорп. 2", "A\\7", 55.7558261, -37.6172999, 150, 30, 31});
    list.points.push_back(CheckPoint{"", "", "", 0.0, 0.0, 2, 0, 127});
    list.zones.push_back(GeoZone{"Центр", "", "Z1", {{55.7, 37.5}, {55.8, 37.5}, {55.8, 37.7}}});
    const auto path = checkPointFilePath(folder.path(), "Маршрут 5");
    writeCheckPointFile(path, list);

    std::vector<std::string> problems;
    const CheckPointList read = readCheckPointFile(path, &problems);
    EXPECT_TRUE(problems.empty());
    ASSERT_EQ(read.points.size(), 2u);
    EXPECT_EQ(read.points[0].name, "Склад\t№1");
    EXPECT_EQ(read.points[0].address, "ул. Ленина, 5\nкорп. 2");
    EXPECT_EQ(read.points[0].id, "A\\7");
    EXPECT_DOUBLE_EQ(read.points[0].latitude, 55.7558261);
    EXPECT_DOUBLE_EQ(read.points[0].longitude, -37.6172999);
    EXPECT_EQ(read.points[0].radius, 150);
    EXPECT_EQ(read.points[0].fixTime, 30);
    EXPECT_EQ(read.points[0].weekDays, 31);
    EXPECT_EQ(read.points[1].name, "");
    ASSERT_EQ(read.zones.size(), 1u);
    EXPECT_EQ(read.zones[0].vertices.size(), 3u);
    EXPECT_DOUBLE_EQ(read.zones[0].vertices[2].longitude, 37.7);
    EXPECT_EQ(listCheckPointFiles(folder.path()), std::vector<std::string>{"Маршрут 5"});
}

TEST(CheckPointFiles, NamesThatLeaveTheFolderAreRefused) {
    for (const char* name : {"", ".", "..", "../x", "a/b", "/etc/passwd", "a\\b", "line\nbreak"}) {
        EXPECT_FALSE(isBareListName(name)) << name;
        EXPECT_THROW(checkPointFilePath("/tmp/Points", name), FileError) << name;
    }
    for (const char* name : {"Moscow", "a.b", "..hidden", "Маршрут 5"})
        EXPECT_TRUE(isBareListName(name)) << name;
}

TEST(CheckPointFiles, DamagedLinesAreSkippedAndReported) {
    std::vector<std::string> problems;
    const CheckPointList list = parseCheckPointFile("NavilonixServer check points 1\n"
                                                    "point\tA\t\t1\t55.1\t37.1\t100\n"
                                                    "point\tB\t\t2\tnorth\t37.1\t100\n"
                                                    "point\tC\t\t3\t95\t37.1\t100\n"
                                                    "zone\tZ\t\t\t55 37;56 37\n"
                                                    "circle\tD\n"
                                                    "point\tE\t\t5\t55.2\t37.2\t50\r\n",
                                                    &problems);
    ASSERT_EQ(list.points.size(), 2u);
    EXPECT_EQ(list.points[0].name, "A");
    EXPECT_EQ(list.points[1].name, "E");
    EXPECT_TRUE(list.zones.empty());
    ASSERT_EQ(problems.size(), 4u);
    EXPECT_EQ(problems[0].rfind("line 3:", 0), 0u);
}

TEST(GroupFiles, AGroupSurvivesARoundTrip) {
    TempFolder folder;
    Group group{"taxi.grp", "Такси", "ул. Беговая, 32", "+7 495 000", {}};
    Vehicle v;
    v.device = 21305;
    v.model = "Ford Focus";
    v.drivers = "Иванов; Петров";
    v.chp.callOnSensor = true;
    v.chp.sensorNumber = 5;
    v.chp.checkPointsFile = "Москва";
    v.trips.speedLimit = 72.5;
    group.vehicles.push_back(v);
    writeGroupFile(folder.path(), group);

    std::vector<std::string> problems;
    const auto groups = readGroups(folder.path(), &problems);
    EXPECT_TRUE(problems.empty());
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0].fileName, "taxi.grp");
    EXPECT_EQ(groups[0].name, "Такси");
    ASSERT_EQ(groups[0].vehicles.size(), 1u);
    const Vehicle& r = groups[0].vehicles[0];
    EXPECT_EQ(r.device, 21305);
    EXPECT_EQ(r.model, "Ford Focus");
    EXPECT_EQ(r.drivers, "Иванов; Петров");
    EXPECT_TRUE(r.chp.callOnSensor);
    EXPECT_EQ(r.chp.sensorNumber, 5);
    EXPECT_EQ(r.chp.checkPointsFile, "Москва");
    EXPECT_DOUBLE_EQ(r.trips.speedLimit, 72.5);
}

TEST(GroupFiles, BadValuesAreReportedAndVehiclesWithoutDeviceSkipped) {
    std::vector<std::string> problems;
    const Group group = parseGroupFile("[Group]\nName=G\nColour=red\n"
                                       "[Vehicle]\nDevice=12\nSpeedLimit=fast\n"
                                       "[Vehicle]\nModel=No device\n"
                                       "[Vehicle]\nDevice=12\n"
                                       "[Vehicle]\nDevice=-4\n",
                                       &problems);
    EXPECT_EQ(group.name, "G");
    ASSERT_EQ(group.vehicles.size(), 1u);
    EXPECT_DOUBLE_EQ(group.vehicles[0].trips.speedLimit, TripSettings{}.speedLimit);
    EXPECT_EQ(problems.size(), 6u);
}

TEST(GroupFiles, AnUnreadableFileIsSkippedAndTheOthersRead) {
    TempFolder folder;
    writeText(folder.path() / "a.grp", "[Group]\nName=A\n");
    std::filesystem::create_directory(folder.path() / "b.grp"); // a folder cannot be read as a file
    writeText(folder.path() / "c.grp", "[Group]\nName=C\n");
    writeText(folder.path() / "notes.txt", "ignored");
    std::vector<std::string> problems;
    const auto groups = readGroups(folder.path(), &problems);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].name, "A");
    EXPECT_EQ(groups[1].name, "C");
    EXPECT_EQ(problems.size(), 1u);
}

TEST(OnlineStates, StatesSurviveARoundTripIncludingMissingValues) {
    const std::vector<std::pair<long, OnlineState>> states = {
        {17, OnlineState{1251782120, 0, NoCoordinate, NoCoordinate, -1, -1, 0, NoFlags}},
        {21305, OnlineState{1251782120, 1251782100, 55.77, 37.59, 118, 42.5, 270, 0x0E}},
    };
    std::vector<std::string> problems;
    const auto read = parseOnlineStates(formatOnlineStates(states) + "garbage\n", &problems);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(problems.size(), 1u);
    EXPECT_EQ(read[0].second.lastFixTime, 0);
    EXPECT_EQ(read[0].second.latitude, NoCoordinate);
    EXPECT_EQ(read[0].second.flags, NoFlags);
    EXPECT_EQ(read[1].second.lastFixTime, 1251782100);
    EXPECT_DOUBLE_EQ(read[1].second.speed, 42.5);
    EXPECT_EQ(read[1].second.parkSeconds, 270);
}

TEST(CarFlagsLayout, SensorsOneAndTwoAreSwappedAndThreeToEightStartAtBitFour) {
    EXPECT_EQ(carFlags(0x01, 0), 0x02);
    EXPECT_EQ(carFlags(0x02, 0), 0x01);
    EXPECT_EQ(carFlags(0x04, 0), 0x10);
    EXPECT_EQ(carFlags(0x80, 0), 0x200);
    EXPECT_EQ(carFlags(0, StatusExternalPower | StatusValidFix), 0x0C);
}

TEST(RecordStoreFiles, APeriodReadsOnlyItsRecordsAcrossMonths) {
    TempFolder folder;
    const RecordStore store(folder.path());
    std::vector<GpsRecord> records;
    const UnixTime may31 = fromUtcCivil(CivilTime{2009, 5, 31, 23, 0, 0});
    for (int i = 0; i < 240; ++i) {
        GpsRecord r;
        r.time = may31 + i * 30;
        r.latitude = 55.0 + i * 1e-4;
        r.longitude = -37.5;
        r.speed = 12.3f;
        r.course = 359.9f;
        r.altitude = -20;
        r.inputs = 0x81;
        r.status = StatusValidFix | StatusMotor2;
        r.tanks = {10.5f, NoTankLevel, 0.0f, 6553.4f};
        records.push_back(r);
    }
    store.write(17, records);
    EXPECT_EQ(store.months(17).size(), 2u);

    std::vector<std::string> problems;
    const auto read = store.read(17, may31 + 30 * 100, may31 + 30 * 150, &problems);
    EXPECT_TRUE(problems.empty());
    ASSERT_EQ(read.size(), 51u);
    EXPECT_EQ(read.front().time, may31 + 3000);
    EXPECT_EQ(read.back().time, may31 + 4500);
    const GpsRecord& r = read.front();
    EXPECT_NEAR(r.latitude, 55.01, 1e-7);
    EXPECT_NEAR(r.longitude, -37.5, 1e-7);
    EXPECT_FLOAT_EQ(r.speed, 12.3f);
    EXPECT_FLOAT_EQ(r.course, 359.9f);
    EXPECT_FLOAT_EQ(r.altitude, -20.0f);
    EXPECT_EQ(r.inputs, 0x81);
    EXPECT_EQ(r.status, StatusValidFix | StatusMotor2);
    EXPECT_FLOAT_EQ(r.tanks[0], 10.5f);
    EXPECT_EQ(r.tanks[1], NoTankLevel);
    EXPECT_FLOAT_EQ(r.tanks[3], 6553.4f);
    EXPECT_EQ(store.last(17)->time, records.back().time);
    EXPECT_TRUE(store.read(18, 0, may31 * 2, nullptr).empty());
    EXPECT_FALSE(store.last(18));
}

TEST(RecordStoreFiles, DamagedFilesAreReportedAndTheirWholeRecordsKept) {
    TempFolder folder;
    const RecordStore store(folder.path());
    TrackBuilder track;
    track.drive(10, 36);
    store.write(5, track.records());
    const auto file = store.deviceFolder(5) / "2009-05.nxr";
    {
        std::ofstream out(file, std::ios::binary | std::ios::app);
        out << "partial";
    }
    writeText(store.deviceFolder(5) / "2009-04.nxr", "not a record file at all");
    std::vector<std::string> problems;
    const auto read = store.read(5, 0, track.time() + 100, &problems);
    EXPECT_EQ(read.size(), 10u);
    EXPECT_EQ(problems.size(), 2u);
}

TEST(RecordStoreFiles, AppendingKeepsOrderAndIgnoresOlderRecords) {
    TempFolder folder;
    const RecordStore store(folder.path());
    TrackBuilder track;
    track.drive(20, 36);
    const auto& all = track.records();
    store.write(9, {all.begin(), all.begin() + 10});
    store.append(9, {all.begin() + 5, all.end()});
    const auto read = store.read(9, 0, track.time(), nullptr);
    ASSERT_EQ(read.size(), 20u);
    EXPECT_EQ(read[10].time, all[10].time);
}

TEST(AtomicWrites, AReplacedFileKeepsItsModeAndANewFileFollowsTheUmask) {
    TempFolder folder;
    const mode_t previous = ::umask(077);
    writeFileAtomically(folder.path() / "private.chp", "new");
    EXPECT_EQ(modeOf(folder.path() / "private.chp"), 0600u);
    ::umask(022);
    writeFileAtomically(folder.path() / "shared.chp", "new");
    EXPECT_EQ(modeOf(folder.path() / "shared.chp"), 0644u);
    // A save over a file keeps what its owner chose, whatever the umask says.
    for (const mode_t mode : {0600u, 0640u, 0664u}) {
        ::chmod((folder.path() / "private.chp").c_str(), mode);
        writeFileAtomically(folder.path() / "private.chp", "saved");
        EXPECT_EQ(modeOf(folder.path() / "private.chp"), mode);
    }
    ::umask(previous);
    EXPECT_EQ(readWholeFile(folder.path() / "private.chp"), "saved");
}

TEST(AtomicWrites, AFileTheUserMayNotWriteIsRefusedAndKept) {
    TempFolder folder;
    const auto target = folder.path() / "Track.kml";
    writeText(target, "keep me");
    ::chmod(target.c_str(), 0444);
    // 0: refused and kept; anything else names what went wrong.
    const int outcome = asOrdinaryUser(folder.path(), [&] {
        try {
            writeFileAtomically(target, "replaced");
            return 1;
        } catch (const FileError&) {
        }
        if (readWholeFile(target) != "keep me")
            return 2;
        return std::distance(std::filesystem::directory_iterator(folder.path()), {}) == 1 ? 0 : 3;
    });
    EXPECT_EQ(outcome, 0);
}

TEST(AtomicWrites, StaleTemporaryFilesOfOurOwnFilesAreRemovedAndNothingElse) {
    TempFolder folder;
    const std::vector<std::string> stale = {".taxi.grp.Ab12Cd", ".Online.txt.x9Y8z7"};
    const std::vector<std::string> kept = {"taxi.grp",    ".notes.backup",    ".taxi.grp.Ab1", ".taxi.grp.Ab-2Cd",
                                           ".grp.Ab12Cd", ".taxi.chp.Ab12Cd", ".Online.txt"};
    for (const auto& name : stale)
        writeText(folder.path() / name, "half");
    for (const auto& name : kept)
        writeText(folder.path() / name, "keep");
    std::filesystem::create_directory(folder.path() / ".cargo.grp.QwErTy"); // a folder is never ours
    auto removed = removeStaleTemporaryFiles(folder.path(), {".grp", "Online.txt"});
    std::sort(removed.begin(), removed.end());
    EXPECT_EQ(removed, (std::vector<std::string>{".Online.txt.x9Y8z7", ".taxi.grp.Ab12Cd"}));
    for (const auto& name : stale)
        EXPECT_FALSE(std::filesystem::exists(folder.path() / name)) << name;
    for (const auto& name : kept)
        EXPECT_TRUE(std::filesystem::exists(folder.path() / name)) << name;
    EXPECT_TRUE(std::filesystem::is_directory(folder.path() / ".cargo.grp.QwErTy"));
}

TEST(AtomicWrites, AFailedWriteLeavesNoFileAndAnExistingFileIntact) {
    TempFolder folder;
    const auto target = folder.path() / "file.txt";
    writeFileAtomically(target, "first");
    EXPECT_EQ(readWholeFile(target), "first");
    EXPECT_THROW(writeFileAtomically(folder.path() / "missing" / "file.txt", "x"), FileError);
    // A folder in the way cannot be replaced by a file.
    std::filesystem::create_directory(folder.path() / "dir");
    std::filesystem::create_directory(folder.path() / "dir" / "inner");
    EXPECT_THROW(writeFileAtomically(folder.path() / "dir", "x"), FileError);
    EXPECT_TRUE(std::filesystem::is_directory(folder.path() / "dir" / "inner"));
    writeFileAtomically(target, "second");
    EXPECT_EQ(readWholeFile(target), "second");
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.path()))
        ++files;
    EXPECT_EQ(files, 2u); // file.txt and dir: no temporary files left
}
