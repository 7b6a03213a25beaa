// The stub side: members made from the table, and what the server answers to calls that do not fit.
#include "tests/ole/PeerFixture.h"

#include <set>

namespace {

char CodeOf(TMemberType type) {
    switch (type) {
    case TMemberType::Long:
        return 'i';
    case TMemberType::Double:
        return 'd';
    case TMemberType::Bstr:
        return 's';
    case TMemberType::Variant:
        return 'v';
    }
    return '?';
}

TEST(StubMembers, MatchTheTableMemberByMember) {
    const ole::InterfaceMarshaler& m = NavilonixMarshaler();
    ASSERT_EQ(m.members.size(), kNavilonixMemberCount);
    EXPECT_EQ(m.busInterface, "ole.IID_9E428CC6_35AE_4899_A9BA_34CE991495D6");
    for (std::size_t i = 0; i < kNavilonixMemberCount; ++i) {
        const TMemberInfo& info = kNavilonixMembers[i];
        const ole::StubMember& stub = m.members[i];
        EXPECT_EQ(stub.name, info.name);
        std::string params;
        std::string names;
        for (int p = 0; p < info.paramCount; ++p) {
            params.push_back(CodeOf(info.params[p].type));
            names.append(info.params[p].name);
            names.push_back('\0');
        }
        // A read replies with its value; writes and methods take their arguments and reply with nothing.
        EXPECT_EQ(info.kind == TMemberKind::Read ? stub.out : stub.in, params) << stub.name;
        EXPECT_EQ(info.kind == TMemberKind::Read ? stub.in : stub.out, "") << stub.name;
        EXPECT_EQ(stub.names, names) << stub.name;
    }
}

TEST(StubMembers, RegisteringTwiceKeepsTheFirst) {
    const ole::InterfaceMarshaler& first = NavilonixMarshaler();
    const ole::InterfaceMarshaler& again =
        ole::RegisterInterfaceMarshaler({IID_INavilonixAutomation, "x", {}, nullptr, {}});
    EXPECT_EQ(&first, &again);
    EXPECT_EQ(ole::FindInterfaceMarshaler(IID_INavilonixAutomation), &first);
}

class StubTest : public PeerFixture {
protected:
    // A raw call on the channel; returns the error name, empty on success.
    std::string RawCall(const char* interface, const char* member, const char* signature, ...) {
        ole::MessagePtr call = channel->NewMethodCall(nullptr, ole::kObjectPath, interface, member);
        EXPECT_TRUE(call);
        va_list ap;
        va_start(ap, signature);
        const int r = sd_bus_message_appendv(call.get(), signature, ap);
        va_end(ap);
        EXPECT_GE(r, 0);
        ole::BusError error;
        reply.reset();
        channel->Call(call.get(), 5'000'000, &reply, &error);
        return std::string(error.name());
    }
    ole::MessagePtr reply;
    const std::string iface = ole::InterfaceNameFor(IID_INavilonixAutomation);
};

TEST_F(StubTest, AWrongSignatureGetsAnErrorReplyAndTheServerGoesOn) {
    EXPECT_EQ(RawCall(iface.c_str(), "set_GroupIndex", "s", "пять"), SD_BUS_ERROR_INVALID_ARGS);
    EXPECT_EQ(RawCall(iface.c_str(), "AddCheckPoint", "ss", "a", "b"), SD_BUS_ERROR_INVALID_ARGS);
    EXPECT_EQ(RawCall(iface.c_str(), "get_GroupsNum", "i", 1), SD_BUS_ERROR_INVALID_ARGS);
    EXPECT_EQ(RawCall(iface.c_str(), "NoSuchMember", ""), SD_BUS_ERROR_UNKNOWN_METHOD);
    EXPECT_EQ(RawCall("ole.NoSuchInterface", "get_GroupsNum", ""), SD_BUS_ERROR_UNKNOWN_METHOD);
    EXPECT_EQ(RawCall(ole::kTransportInterface, "QueryInterface", "s", "not a guid"), SD_BUS_ERROR_INVALID_ARGS);
    LONG value = 0;
    EXPECT_EQ(automation->get_GroupsNum(&value), S_OK);
    std::vector<std::string> calls;
    server->Run([&] { calls = fake->Calls(); });
    EXPECT_EQ(calls, std::vector<std::string>{"get_GroupsNum"}); // nothing malformed reached the object
}

TEST_F(StubTest, ResultsTravelAsErrorNamesWithTheSystemText) {
    server->Run([&] { fake->Fail("set_GroupIndex", REGDB_E_CLASSNOTREG); });
    ole::MessagePtr call = channel->NewMethodCall(nullptr, ole::kObjectPath, iface.c_str(), "set_GroupIndex");
    ASSERT_GE(sd_bus_message_append(call.get(), "i", 2), 0);
    ole::BusError error;
    ole::MessagePtr answer;
    channel->Call(call.get(), 5'000'000, &answer, &error);
    EXPECT_EQ(error.name(), "ole.Error.HRESULT_80040154");
    EXPECT_EQ(error.message(), "Class not registered");
}

TEST_F(StubTest, AMemberTakesItsCallOverAndAnswersLaterWhileOthersAreServed) {
    // EnterPassword is taken over and left waiting; the next call answers it, and the one after drops it.
    std::vector<ole::DeferredReply> held;
    bool readTaken = true;
    bool inProcessTaken = true;
    server->Run([&] {
        fake->OnCall("EnterPassword", [&](std::vector<FakeValue>&, FakeValue&) {
            held.push_back(ole::DeferCurrentCall());
            return true;
        });
        fake->OnCall("get_GroupsNum", [&](std::vector<FakeValue>&, FakeValue& value) {
            readTaken = static_cast<bool>(ole::DeferCurrentCall()); // a read owes its value now
            held.front().Complete(E_ACCESSDENIED);
            value = LONG{3};
            return true;
        });
        fake->OnCall("Sleep", [&](std::vector<FakeValue>&, FakeValue&) {
            held.clear();
            return true;
        });
        inProcessTaken = static_cast<bool>(ole::DeferCurrentCall());
    });
    std::vector<std::string> answers;
    auto send = [&] {
        ole::MessagePtr call = channel->NewMethodCall(nullptr, ole::kObjectPath, iface.c_str(), "EnterPassword");
        ASSERT_GE(sd_bus_message_append(call.get(), "s", "secret"), 0);
        auto received = [](sd_bus_message* m, void* userdata, sd_bus_error*) {
            const sd_bus_error* e = sd_bus_message_get_error(m);
            static_cast<std::vector<std::string>*>(userdata)->push_back(e ? e->name : "answered");
            return 0;
        };
        ASSERT_GE(sd_bus_call_async(channel->Bus(), nullptr, call.get(), received, &answers, 5'000'000), 0);
    };
    send();
    LONG groups = 0;
    ASSERT_EQ(automation->get_GroupsNum(&groups), S_OK);
    EXPECT_EQ(groups, 3);
    ASSERT_TRUE(RunUntil([&] { return answers.size() == 1; }));
    EXPECT_EQ(answers[0], "ole.Error.HRESULT_80070005");
    send();
    ASSERT_EQ(automation->Sleep(0), S_OK);
    ASSERT_TRUE(RunUntil([&] { return answers.size() == 2; }));
    EXPECT_EQ(answers[1], "ole.Error.HRESULT_80004004"); // dropped unanswered: aborted
    EXPECT_FALSE(readTaken);
    EXPECT_FALSE(inProcessTaken);
}

TEST_F(StubTest, IntrospectionListsEveryMemberWithItsArgumentNames) {
    ASSERT_EQ(RawCall("org.freedesktop.DBus.Introspectable", "Introspect", ""), "");
    const char* xml = nullptr;
    ASSERT_GE(sd_bus_message_read(reply.get(), "s", &xml), 0);
    const std::string text = xml;
    EXPECT_NE(text.find("<interface name=\"" + iface + "\">"), std::string::npos);
    for (const TMemberInfo& m : kNavilonixMembers)
        EXPECT_NE(text.find("<method name=\"" + std::string(m.name) + "\">"), std::string::npos) << m.name;
    EXPECT_NE(text.find("<arg type=\"s\" name=\"GroupFile\" direction=\"in\"/>"), std::string::npos);
    EXPECT_NE(text.find("<arg type=\"i\" name=\"Value\" direction=\"out\"/>"), std::string::npos);
    EXPECT_NE(text.find("<interface name=\"ole.Transport\">"), std::string::npos);
}

} // namespace
