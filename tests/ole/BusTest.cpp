#include "platform/ole/Bus.h"

#include "automation/Navilonix_tlb.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

TEST(BusNames, FollowThePublishedScheme) {
    EXPECT_EQ(ole::BusNameForClass(CLSID_NavilonixAutomation), "ole.CLSID_7166C02F_CFCE_4856_AB71_40F9329297BB");
    EXPECT_EQ(ole::InterfaceNameFor(IID_INavilonixAutomation), "ole.IID_9E428CC6_35AE_4899_A9BA_34CE991495D6");
}

TEST(BusNames, ErrorNamesCarryTheCodeBothWays) {
    EXPECT_EQ(ole::ErrorNameFor(E_FAIL), "ole.Error.HRESULT_80004005");
    EXPECT_EQ(ole::HResultFromErrorName("ole.Error.HRESULT_800706BA"), RPC_S_SERVER_UNAVAILABLE_HR);
    EXPECT_EQ(ole::HResultFromErrorName("ole.Error.HRESULT_8000ffff"), E_UNEXPECTED);
    EXPECT_FALSE(ole::HResultFromErrorName("ole.Error.HRESULT_8000FFF"));
    EXPECT_FALSE(ole::HResultFromErrorName("ole.Error.HRESULT_8000FFFG"));
    EXPECT_FALSE(ole::HResultFromErrorName("org.freedesktop.DBus.Error.Failed"));
}

HRESULT Failure(int r, const char* name, bool* gone) {
    sd_bus_error e = SD_BUS_ERROR_MAKE_CONST(name, "text");
    return ole::HResultFromCallFailure(r, name ? &e : nullptr, gone);
}

TEST(BusErrors, ServerCodesComeBackUnchanged) {
    bool gone = true;
    EXPECT_EQ(Failure(-EIO, "ole.Error.HRESULT_80020009", &gone), DISP_E_EXCEPTION);
    EXPECT_FALSE(gone);
}

TEST(BusErrors, AMissingPeerIsUnavailableAndGone) {
    for (const char* name : {SD_BUS_ERROR_SERVICE_UNKNOWN, SD_BUS_ERROR_NAME_HAS_NO_OWNER, SD_BUS_ERROR_DISCONNECTED}) {
        bool gone = false;
        EXPECT_EQ(Failure(-EIO, name, &gone), RPC_S_SERVER_UNAVAILABLE_HR) << name;
        EXPECT_TRUE(gone) << name;
    }
    for (int e : {ECONNRESET, ENOTCONN, EPIPE}) {
        bool gone = false;
        EXPECT_EQ(Failure(-e, nullptr, &gone), RPC_S_SERVER_UNAVAILABLE_HR);
        EXPECT_TRUE(gone);
    }
}

TEST(BusErrors, ATimeoutIsUnavailableButNotProofOfDeath) {
    bool gone = true;
    EXPECT_EQ(Failure(-ETIMEDOUT, nullptr, &gone), RPC_S_SERVER_UNAVAILABLE_HR);
    EXPECT_FALSE(gone);
    EXPECT_EQ(Failure(-EIO, SD_BUS_ERROR_NO_REPLY, &gone), RPC_S_SERVER_UNAVAILABLE_HR);
    EXPECT_FALSE(gone);
}

TEST(BusErrors, ProtocolErrorsKeepTheirMeaning) {
    bool gone = false;
    EXPECT_EQ(Failure(-EIO, SD_BUS_ERROR_UNKNOWN_METHOD, &gone), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Failure(-EIO, SD_BUS_ERROR_INVALID_ARGS, &gone), E_INVALIDARG);
    EXPECT_EQ(Failure(-EIO, SD_BUS_ERROR_UNKNOWN_INTERFACE, &gone), E_NOINTERFACE);
    EXPECT_EQ(Failure(-EIO, "com.example.Odd", &gone), RPC_S_CALL_FAILED_HR);
    EXPECT_FALSE(gone);
}

} // namespace
