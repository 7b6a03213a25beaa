// The private channel against a peer that speaks the wire protocol byte by byte: what other D-Bus implementations
// do (pipelined starts) and what a failing peer does (replies split across writes, death mid-call).
#include "tests/ole/PeerFixture.h"
#include "tests/ole/RawPeer.h"

#include "platform/ole/Bus.h"
#include "platform/ole/Proxy.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <thread>

namespace {

std::vector<FakeGroup> Groups(int n) {
    std::vector<FakeGroup> groups(static_cast<std::size_t>(n));
    for (int g = 0; g < n; ++g)
        groups[static_cast<std::size_t>(g)].fields = {{"GroupName", "G" + std::to_string(g)}};
    return groups;
}

rawpeer::Message AutomationCall(const char* member, std::uint32_t serial) {
    rawpeer::Message m;
    m.serial = serial;
    m.path = ole::kObjectPath;
    m.interface = ole::InterfaceNameFor(IID_INavilonixAutomation);
    m.member = member;
    return m;
}

// Reads the server's answer to a client's start up to its OK line; `buffer` keeps what came after it.
void ExpectAccepted(int fd, std::string* buffer) {
    while (buffer->find("\r\n") == std::string::npos)
        ASSERT_TRUE(rawpeer::ReadMore(fd, buffer)) << "no answer to the authentication";
    ASSERT_EQ(buffer->rfind("OK ", 0), 0u) << *buffer;
    buffer->erase(0, buffer->find("\r\n") + 2);
}

void ExpectTwoCallsInOneWriteAnswered(int fd, std::string* buffer, std::uint32_t serial) {
    ASSERT_TRUE(rawpeer::WriteAll(fd, rawpeer::Encode(AutomationCall("get_GroupIndex", serial)) +
                                          rawpeer::Encode(AutomationCall("get_GroupsNum", serial + 1))));
    const auto first = rawpeer::ReadMessage(fd, buffer);
    const auto second = rawpeer::ReadMessage(fd, buffer);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->replySerial, serial);
    EXPECT_EQ(second->replySerial, serial + 1);
}

// Serves the fake on a channel from a thread whose loop wakes only when the socket is ready, as the applications'
// event loops do (no periodic pass that would hide work left undone).
class SocketDrivenServer {
public:
    SocketDrivenServer(ComPtr<FakeAutomation> fake, int fd) : m_stop(eventfd(0, EFD_CLOEXEC)) {
        m_thread = std::thread([this, fake, fd] {
            ole::DBusTransport transport;
            ole::Connection* c = transport.Adopt(ole::Connection::OpenPeer(fd, ole::Connection::Kind::PeerServer));
            // Its id first: the first pass may already find the client gone and free the connection.
            const std::uint64_t id = c->Id();
            transport.Serve(*c, static_cast<INavilonixAutomation*>(fake.get()));
            transport.ProcessAll();
            while (transport.ConnectionById(id) == c) {
                pollfd p[2] = {{c->Fd(), static_cast<short>(c->Events()), 0}, {m_stop, POLLIN, 0}};
                if (::poll(p, 2, -1) < 0 || p[1].revents)
                    return;
                if (p[0].revents)
                    transport.ProcessReady(*c);
                if (transport.ConnectionById(id) == c && c->ReadsDirectly())
                    m_direct = true;
            }
            m_closed = true;
        });
    }
    bool ReadsDirectly() const { return m_direct; }
    bool WaitUntilClosed() const {
        for (int i = 0; i < 500 && !m_closed; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return m_closed;
    }
    ~SocketDrivenServer() {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(m_stop, &one, sizeof one);
        m_thread.join();
        ::close(m_stop);
    }

private:
    int m_stop;
    std::atomic<bool> m_direct{false};
    std::atomic<bool> m_closed{false};
    std::thread m_thread;
};

// After the client's promise the server reads the socket itself: calls cut anywhere, calls sharing a write and a
// client that hangs up are all handled there.
TEST(RawClient, AfterThePromiseTheServerReadsWholeCallsFromTheSocketItself) {
    RegisterNavilonixMarshaling();
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    ComPtr<FakeAutomation> fake = FakeAutomation::Create();
    fake->SetFleet(Groups(4));
    SocketDrivenServer server(fake, fds[0]);
    rawpeer::Message promise = AutomationCall(ole::kReadDirectlyMember, 1);
    promise.interface = ole::kTransportInterface;
    ASSERT_TRUE(rawpeer::WriteAll(fds[1], rawpeer::ClientStart("")));
    std::string buffer;
    ASSERT_NO_FATAL_FAILURE(ExpectAccepted(fds[1], &buffer));
    ASSERT_TRUE(rawpeer::WriteAll(fds[1], rawpeer::Encode(promise)));
    const auto promised = rawpeer::ReadMessage(fds[1], &buffer);
    ASSERT_TRUE(promised);
    ASSERT_EQ(promised->type, rawpeer::kReturn) << promised->errorName;
    // A call cut inside its fixed header, then one cut inside its fields.
    std::uint32_t serial = 2;
    for (std::size_t cut : {std::size_t{9}, std::size_t{40}}) {
        const std::string bytes = rawpeer::Encode(AutomationCall("get_GroupsNum", serial));
        ASSERT_TRUE(rawpeer::WriteAll(fds[1], bytes.substr(0, cut)));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        ASSERT_TRUE(rawpeer::WriteAll(fds[1], bytes.substr(cut)));
        const auto reply = rawpeer::ReadMessage(fds[1], &buffer);
        ASSERT_TRUE(reply) << "a call cut at " << cut << " was never answered";
        EXPECT_EQ(reply->replySerial, serial);
        EXPECT_EQ(rawpeer::BodyInt(*reply), 4);
        ++serial;
    }
    EXPECT_TRUE(server.ReadsDirectly());
    ExpectTwoCallsInOneWriteAnswered(fds[1], &buffer, 10);
    ::close(fds[1]);
    EXPECT_TRUE(server.WaitUntilClosed()) << "the server kept the channel of a client that hung up";
}

TEST(RawClient, CallsSentInTheSameWriteAsTheAuthenticationAreAnswered) {
    RegisterNavilonixMarshaling();
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    ComPtr<FakeAutomation> fake = FakeAutomation::Create();
    fake->SetFleet(Groups(3));
    SocketDrivenServer server(fake, fds[0]);
    // A call behind BEGIN, before the server's OK was read, all of it short enough for one read of the server's.
    ASSERT_TRUE(rawpeer::WriteAll(fds[1], rawpeer::ClientStart(rawpeer::Encode(AutomationCall("get_GroupsNum", 7)))));
    std::string buffer;
    ASSERT_NO_FATAL_FAILURE(ExpectAccepted(fds[1], &buffer));
    const auto first = rawpeer::ReadMessage(fds[1], &buffer);
    ASSERT_TRUE(first) << "the first call was never answered";
    EXPECT_EQ(first->type, rawpeer::kReturn);
    EXPECT_EQ(first->replySerial, 7u);
    EXPECT_EQ(rawpeer::BodyInt(*first), 3);
    // Later calls, two in one write, are answered too.
    ExpectTwoCallsInOneWriteAnswered(fds[1], &buffer, 8);
    ::close(fds[1]);
}

// A server that speaks the protocol by hand on a thread: it authenticates the client, then runs `script`.
class RawServer {
public:
    using Script = std::function<void(int fd, std::string& buffer)>;
    RawServer(int fd, Script script) : m_fd(fd) {
        m_thread = std::thread([this, script] {
            std::string buffer;
            if (!rawpeer::AcceptClient(m_fd, &buffer))
                return;
            // The client's first call offers to let the server read directly; answered as a server that does not
            // know the call, so the scripts see the calls the test makes.
            const auto promise = rawpeer::ReadMessage(m_fd, &buffer);
            if (!promise || promise->member != ole::kReadDirectlyMember)
                return;
            rawpeer::Message unknown;
            unknown.type = rawpeer::kError;
            unknown.serial = 1;
            unknown.replySerial = promise->serial;
            unknown.errorName = "org.freedesktop.DBus.Error.UnknownMethod";
            rawpeer::WriteAll(m_fd, rawpeer::Encode(unknown));
            script(m_fd, buffer);
        });
    }
    ~RawServer() {
        m_thread.join();
        ::close(m_fd);
    }

private:
    int m_fd;
    std::thread m_thread;
};

rawpeer::Message ReplyTo(const rawpeer::Message& call, std::int32_t value, std::uint32_t serial) {
    rawpeer::Message m;
    m.type = rawpeer::kReturn;
    m.serial = serial;
    m.replySerial = call.serial;
    m.signature = "i";
    m.body.assign(reinterpret_cast<const char*>(&value), 4);
    return m;
}

// The client's side of a private channel to a RawServer, calling through the proxy's own call path.
class RawChannelTest : public ::testing::Test {
protected:
    void Start(RawServer::Script script) {
        int fds[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        server = std::make_unique<RawServer>(fds[0], std::move(script));
        channel = client.Adopt(ole::Connection::OpenPeer(fds[1], ole::Connection::Kind::PeerClient));
        ASSERT_NE(channel, nullptr);
        ComPtr<IUnknown> unknown;
        ASSERT_EQ(client.ConnectPeer(*channel, unknown.out()), S_OK);
        remote = ComPtr<ole::RemoteObject>(static_cast<ole::RemoteObject*>(unknown.get()));
    }
    HRESULT ReadLong(LONG* value) { return remote->CallRead(interface, "get_GroupsNum", value); }
    void TearDown() override {
        remote.reset();
        server.reset();
    }

    const std::string interface = ole::InterfaceNameFor(IID_INavilonixAutomation);
    ole::DBusTransport client;
    std::unique_ptr<RawServer> server;
    ole::Connection* channel = nullptr;
    ComPtr<ole::RemoteObject> remote;
};

TEST_F(RawChannelTest, RepliesSplitAcrossWritesArriveWhole) {
    Start([](int fd, std::string& buffer) {
        // The first reply breaks inside its fixed header, the second inside its body.
        for (std::size_t cut : {std::size_t{10}, std::size_t{0}}) {
            const auto call = rawpeer::ReadMessage(fd, &buffer);
            if (!call)
                return;
            const std::string bytes = rawpeer::Encode(ReplyTo(*call, cut ? 41 : 42, call->serial + 100));
            const std::size_t at = cut ? cut : bytes.size() - 2;
            rawpeer::WriteAll(fd, bytes.substr(0, at));
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            rawpeer::WriteAll(fd, bytes.substr(at));
        }
        rawpeer::ReadMessage(fd, &buffer); // until the client closes
    });
    LONG value = 0;
    EXPECT_EQ(ReadLong(&value), S_OK);
    EXPECT_EQ(value, 41);
    EXPECT_EQ(ReadLong(&value), S_OK);
    EXPECT_EQ(value, 42);
}

TEST_F(RawChannelTest, APeerThatDiesOrBabblesFailsTheCallAtOnceAsUnavailable) {
    for (const bool babble : {false, true}) {
        SCOPED_TRACE(babble ? "garbage instead of a reply" : "the peer dies after the call was sent");
        Start([babble](int fd, std::string& buffer) {
            if (!rawpeer::ReadMessage(fd, &buffer))
                return;
            if (babble)
                rawpeer::WriteAll(fd, std::string(64, 'x'));
            ::shutdown(fd, SHUT_RDWR);
        });
        LONG value = 0;
        EXPECT_EQ(ReadLong(&value), RPC_S_SERVER_UNAVAILABLE_HR);
        EXPECT_TRUE(remote->IsDead());
        EXPECT_EQ(ReadLong(&value), RPC_S_SERVER_UNAVAILABLE_HR);
        TearDown();
    }
}

TEST_F(RawChannelTest, MessagesThatCameBeforeTheReplyWaitForTheLoopInOrder) {
    std::vector<std::int32_t> seen;
    Start([](int fd, std::string& buffer) {
        const auto call = rawpeer::ReadMessage(fd, &buffer);
        if (!call)
            return;
        // Two calls to the client's object and the reply, in one write.
        std::string bytes;
        for (std::int32_t n : {1, 2}) {
            rawpeer::Message note;
            note.flags = rawpeer::kNoReplyExpected;
            note.serial = static_cast<std::uint32_t>(50 + n);
            note.path = "/test/Sink";
            note.interface = "test.Sink";
            note.member = "Note";
            note.signature = "i";
            note.body.assign(reinterpret_cast<const char*>(&n), 4);
            bytes += rawpeer::Encode(note);
        }
        bytes += rawpeer::Encode(ReplyTo(*call, 7, 60));
        rawpeer::WriteAll(fd, bytes);
        rawpeer::ReadMessage(fd, &buffer);
    });
    static const sd_bus_vtable kSink[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD(
            "Note", "i", "",
            [](sd_bus_message* m, void* userdata, sd_bus_error*) {
                std::int32_t n = 0;
                sd_bus_message_read(m, "i", &n);
                static_cast<std::vector<std::int32_t>*>(userdata)->push_back(n);
                return 1;
            },
            0),
        SD_BUS_VTABLE_END,
    };
    sd_bus_slot* slot = nullptr;
    ASSERT_GE(sd_bus_add_object_vtable(channel->Bus(), &slot, "/test/Sink", "test.Sink", kSink, &seen), 0);
    ole::SlotPtr owned(slot);
    LONG value = 0;
    ASSERT_EQ(ReadLong(&value), S_OK);
    EXPECT_EQ(value, 7);
    EXPECT_TRUE(seen.empty()) << "a message ran inside the call";
    client.RunOnce(0);
    EXPECT_EQ(seen, (std::vector<std::int32_t>{1, 2}));
}

} // namespace
