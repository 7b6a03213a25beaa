#include "platform/ole/Transport.h"

#include "automation/NavilonixMarshal.h"
#include "tests/support/FakeAutomation.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>

namespace {

// Points the session bus at a socket that does not exist, for the life of the object.
class NoSessionBus {
public:
    NoSessionBus() {
        if (const char* old = std::getenv("DBUS_SESSION_BUS_ADDRESS"))
            m_saved = old;
        setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/nvx-test-bus", 1);
    }
    ~NoSessionBus() {
        if (m_saved.empty())
            unsetenv("DBUS_SESSION_BUS_ADDRESS");
        else
            setenv("DBUS_SESSION_BUS_ADDRESS", m_saved.c_str(), 1);
    }

private:
    std::string m_saved;
};

TEST(Transport, WithoutASessionBusNothingIsFoundStartedOrPublished) {
    NoSessionBus none;
    ole::DBusTransport transport;
    ComPtr<IUnknown> object;
    EXPECT_EQ(transport.GetActiveObject(CLSID_NavilonixAutomation, object.out()), MK_E_UNAVAILABLE);
    // Nothing is known of the class then: the failure is the bus's, and says which address could not be reached.
    std::string detail;
    EXPECT_EQ(transport.CreateInstance(CLSID_NavilonixAutomation, IID_IUnknown, object.outVoid(), &detail),
              RPC_S_SERVER_UNAVAILABLE_HR);
    EXPECT_NE(detail.find("session bus"), std::string::npos) << detail;
    EXPECT_NE(detail.find("unix:path=/nonexistent/nvx-test-bus"), std::string::npos) << detail;
    EXPECT_EQ(object.get(), nullptr);
    ComPtr<FakeAutomation> fake = FakeAutomation::Create();
    EXPECT_EQ(transport.PublishActiveObject(CLSID_NavilonixAutomation, static_cast<INavilonixAutomation*>(fake.get())),
              RPC_S_SERVER_UNAVAILABLE_HR);
    EXPECT_EQ(fake->RefCount(), 1u); // nothing kept
    EXPECT_TRUE(transport.Connections().empty());
}

TEST(Transport, ObjectsAreObtainedOnTheOwnerThreadOnly) {
    ole::DBusTransport transport;
    HRESULT active = S_OK;
    HRESULT created = S_OK;
    std::thread other([&] {
        ComPtr<IUnknown> object;
        active = transport.GetActiveObject(CLSID_NavilonixAutomation, object.out());
        created = transport.CreateInstance(CLSID_NavilonixAutomation, IID_IUnknown, object.outVoid(), nullptr);
    });
    other.join();
    EXPECT_EQ(active, RPC_E_WRONG_THREAD);
    EXPECT_EQ(created, RPC_E_WRONG_THREAD);
}

} // namespace
