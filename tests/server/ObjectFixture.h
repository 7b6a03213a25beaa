// The automation object in-process over a copy of the demo work directory, with a recording event sink.
#pragma once

#include "platform/ole/Bstr.h"
#include "server/NavilonixObject.h"
#include "server/core/DemoData.h"
#include "tests/server/TempFolder.h"
#include "tests/support/RecordingSink.h"

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <thread>

namespace navilonix::server::testing {

class RecordingHost final : public ServerHost {
public:
    void showApplication() override { ++shows; }
    void hideApplication() override { ++hides; }
    void showLastPosition(const Vehicle& v, const GpsRecord&) override { positionOf = v.device; }
    void showLastTrack(const Vehicle& v, const std::vector<GpsRecord>& track) override {
        trackOf = v.device;
        trackPoints = track.size();
    }
    void log(const std::string& line) override { lines.push_back(line); }
    void showAddress(const std::string& text, double, double) override { addresses.push_back(text); }

    int shows = 0;
    int hides = 0;
    long positionOf = 0;
    long trackOf = 0;
    std::size_t trackPoints = 0;
    std::vector<std::string> lines;
    std::vector<std::string> addresses;
};

class ObjectTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        demo_ = new TempFolder;
        createDemoData(WorkPaths{demo_->path()});
    }
    static void TearDownTestSuite() {
        delete demo_;
        demo_ = nullptr;
    }

    void SetUp() override {
        // The texts and lists are copied; the record archive is shared read-only.
        const WorkPaths from{demo_->path()};
        const WorkPaths to{folder_.path()};
        std::filesystem::copy(from.groups(), to.groups(), std::filesystem::copy_options::recursive);
        std::filesystem::copy(from.points(), to.points(), std::filesystem::copy_options::recursive);
        std::filesystem::copy_file(from.online(), to.online());
        std::filesystem::copy_file(from.receiver(), to.receiver());
        std::filesystem::copy_file(from.implements(), to.implements());
        std::filesystem::copy_file(from.addresses(), to.addresses());
        // The record files are linked one by one: a write replaces the link, never the shared file.
        for (const auto& device : std::filesystem::directory_iterator(from.tracks())) {
            const auto folder = to.tracks() / device.path().filename();
            std::filesystem::create_directories(folder);
            for (const auto& month : std::filesystem::directory_iterator(device.path()))
                std::filesystem::create_symlink(month.path(), folder / month.path().filename());
        }
        object_ = NavilonixObject::create(NavilonixObject::Options{to, &host_, std::chrono::milliseconds(0), true});
        object_->setTextFormat(TextFormat{});
        ComPtr<IConnectionPoint> point;
        ASSERT_TRUE(sink_.AdviseOn(static_cast<IConnectionPointContainer*>(object_.get()), point, cookie_));
    }
    void TearDown() override {
        if (object_)
            object_->shutdown();
        object_.reset();
    }

    NavilonixObject& server() { return *object_.get(); }
    WorkPaths paths() const { return WorkPaths{folder_.path()}; }

    LONG readLong(HRESULT (NavilonixObject::*get)(LONG*)) {
        LONG value = -12345;
        EXPECT_EQ((object_.get()->*get)(&value), S_OK);
        return value;
    }
    double readDouble(HRESULT (NavilonixObject::*get)(DOUBLE*)) {
        DOUBLE value = -12345;
        EXPECT_EQ((object_.get()->*get)(&value), S_OK);
        return value;
    }
    std::string readText(HRESULT (NavilonixObject::*get)(BSTR*)) {
        BStr value;
        EXPECT_EQ((object_.get()->*get)(value.out()), S_OK);
        return value.utf8();
    }

    // Delivers pending work until the computation has ended (at most ten seconds).
    void waitForEnd() {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (;;) {
            object_->processPendingWork();
            if (readLong(&NavilonixObject::get_ComputingBusy) == 0 || std::chrono::steady_clock::now() > limit)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    HRESULT start(const char* group, LONG device, const char* from, const char* to, const char* source = "GSM",
                  LONG split = 1) {
        return server().StartComputing(BStr(group).get(), device, BStr(from).get(), BStr(to).get(), BStr(source).get(),
                                       split);
    }

    std::size_t eventCount(DISPID id) const {
        const std::vector<DISPID> ids = sink_.dispIds();
        return std::count(ids.begin(), ids.end(), id);
    }

    static TempFolder* demo_;
    TempFolder folder_;
    RecordingHost host_;
    RecordingSink sink_;
    DWORD cookie_ = 0;
    ComPtr<NavilonixObject> object_;
};

inline TempFolder* ObjectTest::demo_ = nullptr;

} // namespace navilonix::server::testing
