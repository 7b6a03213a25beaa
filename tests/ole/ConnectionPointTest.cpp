// Events across a private channel: advising, delivery order and thread, and what the server does with sinks.
#include "tests/ole/PeerFixture.h"
#include "tests/support/RecordingSink.h"

#include <chrono>
#include <thread>

namespace {

class ConnectionPointTest : public PeerFixture {
protected:
    void SetUp() override {
        PeerFixture::SetUp();
        ASSERT_TRUE(sink.AdviseOn(automation.get(), point, cookie));
        EXPECT_NE(cookie, 0u);
    }
    void TearDown() override {
        point.reset();
        PeerFixture::TearDown();
    }
    // Makes the server raise the given events while it handles EnterPassword.
    void RaiseDuringCall(std::vector<DISPID> ids) {
        server->Run([&] {
            fake->OnCall("EnterPassword", [this, ids](std::vector<FakeValue>&, FakeValue&) {
                for (DISPID id : ids)
                    fake->RaiseEvent(id, id == DISPID_OnReceiveOnlineData
                                             ? std::vector<FakeValue>{LONG{1234567}, std::string("Онлайн")}
                                             : std::vector<FakeValue>{});
                return true;
            });
        });
        BStr none;
        sink.inCall = true;
        ASSERT_EQ(automation->EnterPassword(none.get()), S_OK);
        sink.inCall = false;
    }
    std::size_t ServerSinks() {
        std::size_t n = 0;
        server->Run([&] { n = fake->SinkCount(); });
        return n;
    }

    RecordingSink sink;
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
};

TEST_F(ConnectionPointTest, EventsArriveAfterTheCallInOrderOnTheClientThread) {
    RaiseDuringCall({201, 202, 203, 204, 205, 206});
    EXPECT_TRUE(sink.events.empty()); // never inside the call
    ASSERT_TRUE(RunUntil([&] { return sink.events.size() == 6; }));
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(sink.events[i].dispId, static_cast<DISPID>(201 + i));
        EXPECT_EQ(sink.events[i].thread, std::this_thread::get_id());
        EXPECT_FALSE(sink.events[i].duringCall);
    }
    EXPECT_EQ(sink.events[1].arguments, (std::vector<std::string>{"1234567", "Онлайн"}));
}

// A by-reference argument travels as the value it refers to, a reference to a variant included.
TEST_F(ConnectionPointTest, ByReferenceArgumentsTravelAsTheirValues) {
    server->Run([&] {
        LONG device = 7654321;
        Variant text(std::string_view("Ссылка"));
        VARIANT args[2]; // the last argument first
        VariantInit(&args[0]);
        VariantInit(&args[1]);
        args[1].vt = VT_BYREF | VT_I4;
        args[1].byref = &device;
        args[0].vt = VT_BYREF | VT_VARIANT;
        args[0].byref = text.get();
        DISPPARAMS params{args, nullptr, 2, 0};
        fake->EventPoint().Fire(DISPID_OnReceiveOnlineData, &params);
    });
    ASSERT_TRUE(RunUntil([&] { return sink.events.size() == 1; }));
    EXPECT_EQ(sink.events[0].arguments, (std::vector<std::string>{"7654321", "Ссылка"}));
}

TEST_F(ConnectionPointTest, NothingStaysQueuedAfterASynchronousCall) {
    RaiseDuringCall({205});
    // The event came in with the reply; no further data arrives, yet one pass delivers it.
    client->RunOnce(0);
    ASSERT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(sink.events[0].dispId, 205);
}

TEST_F(ConnectionPointTest, EventsRaisedOnAnotherServerThreadAreSent) {
    server->Run([&] {
        std::thread worker([&] { fake->RaiseEvent(DISPID_OnEndComputing); });
        worker.join();
    });
    ASSERT_TRUE(RunUntil([&] { return sink.events.size() == 1; }));
    EXPECT_EQ(sink.events[0].dispId, DISPID_OnEndComputing);
}

TEST_F(ConnectionPointTest, UnadviseStopsTheEvents) {
    ASSERT_EQ(ServerSinks(), 1u);
    EXPECT_EQ(point->Unadvise(cookie + 100), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(point->Unadvise(cookie), S_OK);
    EXPECT_EQ(ServerSinks(), 0u);
    RaiseDuringCall({201});
    client->RunOnce(50);
    EXPECT_TRUE(sink.events.empty());
}

TEST_F(ConnectionPointTest, TheServerForgetsTheSinksOfAClientThatLeft) {
    ASSERT_EQ(ServerSinks(), 1u);
    point.reset();
    automation.reset();
    client.reset(); // the client's channel closes, as when its process ends
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (ServerSinks() != 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(ServerSinks(), 0u);
    EXPECT_EQ(sink.refCount, 1u); // the client's transport let go of the sink too
}

TEST_F(ConnectionPointTest, TheServerNeverWaitsOnAClientThatDoesNotRead) {
    const std::string big(4096, 'x');
    constexpr std::size_t Events = 1000;
    // The client reads nothing meanwhile; far more than a socket buffer is raised, and the raising returns.
    server->Run([&] {
        for (std::size_t i = 0; i < Events; ++i)
            fake->RaiseEvent(DISPID_OnChangeParameters, {std::string(big)});
    });
    // However long a busy machine takes to carry them, every event arrives; only a stall fails.
    std::size_t seen = 0;
    auto lastProgress = std::chrono::steady_clock::now();
    while (sink.events.size() < Events) {
        client->RunOnce(20);
        if (sink.events.size() > seen) {
            seen = sink.events.size();
            lastProgress = std::chrono::steady_clock::now();
        }
        ASSERT_LT(std::chrono::steady_clock::now() - lastProgress, std::chrono::seconds(60))
            << "no event for a minute after " << seen;
    }
    EXPECT_EQ(sink.events.back().arguments, std::vector<std::string>{big});
}

TEST_F(ConnectionPointTest, APointForAnotherInterfaceIsRefused) {
    auto container = ComPtr<IConnectionPointContainer>::QueryFrom(automation.get());
    ComPtr<IConnectionPoint> other;
    EXPECT_TRUE(FAILED(container->FindConnectionPoint(IID_INavilonixAutomation, other.out())));
    EXPECT_FALSE(other);
    IID iid{};
    ASSERT_EQ(point->GetConnectionInterface(&iid), S_OK);
    EXPECT_EQ(iid, DIID_INavilonixAutomationEvents);
}

TEST_F(ConnectionPointTest, AfterTheServerDiesTheSinkIsReleased) {
    server->Stop();
    ASSERT_TRUE(RunUntil([&] { return sink.refCount == 1; }));
    EXPECT_EQ(point->Unadvise(cookie), RPC_S_SERVER_UNAVAILABLE_HR);
}

} // namespace
