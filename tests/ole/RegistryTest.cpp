#include "platform/ole/Registry.h"
#include "platform/ole/ComPtr.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const CLSID kClass = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
const CLSID kOther = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x56}};

struct Object final : IUnknown {
    ULONG count = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (riid != IID_IUnknown)
            return E_NOINTERFACE;
        *out = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++count; }
    ULONG STDMETHODCALLTYPE Release() override { return --count; }
};

struct Factory final : IClassFactory {
    ULONG count = 1;
    int created = 0;
    Object product;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (riid != IID_IUnknown && riid != IID_IClassFactory)
            return E_NOINTERFACE;
        *out = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++count; }
    ULONG STDMETHODCALLTYPE Release() override { return --count; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID riid, void** out) override {
        ++created;
        return product.QueryInterface(riid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(int) override { return S_OK; }
};

// Records what the registry asks of the out-of-process half.
struct RecordingTransport final : ComTransport {
    std::vector<std::string> calls;
    HRESULT publishResult = S_OK;
    HRESULT GetActiveObject(REFCLSID, IUnknown**) override {
        calls.push_back("GetActiveObject");
        return MK_E_UNAVAILABLE;
    }
    HRESULT CreateInstance(REFCLSID, REFIID, void**, std::string*) override {
        calls.push_back("CreateInstance");
        return CO_E_SERVER_EXEC_FAILURE;
    }
    HRESULT PublishClassObject(REFCLSID, IUnknown*) override {
        calls.push_back("PublishClassObject");
        return publishResult;
    }
    void RevokeClassObject(REFCLSID) override { calls.push_back("RevokeClassObject"); }
    HRESULT PublishActiveObject(REFCLSID, IUnknown*) override {
        calls.push_back("PublishActiveObject");
        return publishResult;
    }
    void RevokeActiveObject(REFCLSID) override { calls.push_back("RevokeActiveObject"); }
};

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override {
        CoSetTransport(previous);
        CoUninitialize();
    }
    ComTransport* previous = CoGetTransport();
};

TEST_F(RegistryTest, RunningObjectIsFoundUntilRevoked) {
    CoSetTransport(nullptr);
    Object object;
    DWORD cookie = 0;
    ASSERT_EQ(RegisterActiveObject(&object, kClass, ACTIVEOBJECT_STRONG, &cookie), S_OK);
    ComPtr<IUnknown> found;
    ASSERT_EQ(GetActiveObject(kClass, nullptr, found.out()), S_OK);
    EXPECT_EQ(found.get(), &object);
    found.reset();
    EXPECT_EQ(GetActiveObject(kOther, nullptr, found.out()), MK_E_UNAVAILABLE);
    ASSERT_EQ(RevokeActiveObject(cookie, nullptr), S_OK);
    EXPECT_EQ(GetActiveObject(kClass, nullptr, found.out()), MK_E_UNAVAILABLE);
    EXPECT_EQ(object.count, 1u); // every reference returned
    EXPECT_EQ(RevokeActiveObject(cookie, nullptr), E_INVALIDARG);
}

TEST_F(RegistryTest, CreateInstanceUsesTheRegisteredClassObject) {
    CoSetTransport(nullptr);
    Factory factory;
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(kClass, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie), S_OK);
    ComPtr<IUnknown> made;
    EXPECT_EQ(
        CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IUnknown, made.outVoid()),
        S_OK);
    EXPECT_EQ(factory.created, 1);
    EXPECT_EQ(CoCreateInstance(kOther, nullptr, 5, IID_IUnknown, made.outVoid()), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(made.get(), nullptr);
    CoRevokeClassObject(cookie);
}

TEST_F(RegistryTest, CreateInstanceNeedsCoInitialize) {
    CoUninitialize();
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(kClass, nullptr, 5, IID_IUnknown, &out), CO_E_NOTINITIALIZED);
    EXPECT_EQ(out, nullptr);
    CoInitialize(nullptr);
}

TEST_F(RegistryTest, UnknownClassesGoToTheTransport) {
    RecordingTransport transport;
    CoSetTransport(&transport);
    ComPtr<IUnknown> out;
    EXPECT_EQ(GetActiveObject(kClass, nullptr, out.out()), MK_E_UNAVAILABLE);
    EXPECT_EQ(CoCreateInstance(kClass, nullptr, 5, IID_IUnknown, out.outVoid()), CO_E_SERVER_EXEC_FAILURE);
    // In-process only: the transport is not asked.
    EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, out.outVoid()),
              REGDB_E_CLASSNOTREG);
    Object outer;
    EXPECT_EQ(CoCreateInstance(kClass, &outer, 5, IID_IUnknown, out.outVoid()), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(transport.calls, (std::vector<std::string>{"GetActiveObject", "CreateInstance"}));
}

TEST_F(RegistryTest, RegistrationsArePublishedAndRevoked) {
    RecordingTransport transport;
    CoSetTransport(&transport);
    Object object;
    Factory factory;
    DWORD active = 0;
    DWORD inproc = 0;
    DWORD local = 0;
    ASSERT_EQ(RegisterActiveObject(&object, kClass, ACTIVEOBJECT_STRONG, &active), S_OK);
    ASSERT_EQ(CoRegisterClassObject(kOther, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &inproc), S_OK);
    ASSERT_EQ(CoRegisterClassObject(kClass, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &local), S_OK);
    RevokeActiveObject(active, nullptr);
    CoRevokeClassObject(inproc);
    CoRevokeClassObject(local);
    EXPECT_EQ(transport.calls, (std::vector<std::string>{"PublishActiveObject", "PublishClassObject",
                                                         "RevokeActiveObject", "RevokeClassObject"}));
}

TEST_F(RegistryTest, AFailedPublicationLeavesNothingRegistered) {
    RecordingTransport transport;
    transport.publishResult = E_ACCESSDENIED;
    CoSetTransport(&transport);
    Object object;
    DWORD cookie = 123;
    EXPECT_EQ(RegisterActiveObject(&object, kClass, ACTIVEOBJECT_STRONG, &cookie), E_ACCESSDENIED);
    EXPECT_EQ(cookie, 0u);
    CoSetTransport(nullptr);
    ComPtr<IUnknown> found;
    EXPECT_EQ(GetActiveObject(kClass, nullptr, found.out()), MK_E_UNAVAILABLE);
    EXPECT_EQ(object.count, 1u);
}

} // namespace
