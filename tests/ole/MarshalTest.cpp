#include "platform/ole/Marshal.h"
#include "platform/ole/Bus.h"
#include "platform/ole/SafeArray.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

// Messages need a connection to be made on; a socket pair's end will do.
class MarshalTest : public ::testing::Test {
protected:
    void SetUp() override {
        int fds[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        if (other >= 0)
            ::close(other);
        other = fds[1];
        connection = ole::Connection::OpenPeer(fds[0], ole::Connection::Kind::PeerClient);
        ASSERT_TRUE(connection);
        message = connection->NewMethodCall(nullptr, "/t", "t.T", "M");
        ASSERT_TRUE(message);
    }
    // Closes the message for writing and goes back to its start for reading.
    void Seal() {
        ASSERT_GE(sd_bus_message_seal(message.get(), 1, 0), 0);
        ASSERT_GE(sd_bus_message_rewind(message.get(), 1), 0);
    }
    std::string Signature() { return sd_bus_message_get_signature(message.get(), 1); }
    VARIANT RoundTrip(const VARIANT& in) {
        EXPECT_GE(ole::Append(message.get(), in), 0);
        Seal();
        VARIANT out;
        EXPECT_GE(ole::Read(message.get(), &out), 0);
        return out;
    }

    void TearDown() override {
        message.reset();
        connection.reset();
        ::close(other);
    }

    int other = -1;
    std::unique_ptr<ole::Connection> connection;
    ole::MessagePtr message;
};

TEST_F(MarshalTest, NumbersAndStringsUseTheirNaturalTypes) {
    BStr text("Москва, ул. Тверская");
    ASSERT_GE(ole::Append(message.get(), LONG{-5}), 0);
    ASSERT_GE(ole::Append(message.get(), 55.75), 0);
    ASSERT_GE(ole::Append(message.get(), text.get()), 0);
    Seal();
    EXPECT_EQ(Signature(), "ids");
    LONG l = 0;
    double d = 0;
    BStr s;
    ASSERT_GE(ole::Read(message.get(), &l), 0);
    ASSERT_GE(ole::Read(message.get(), &d), 0);
    ASSERT_GE(ole::Read(message.get(), s.out()), 0);
    EXPECT_EQ(l, -5);
    EXPECT_EQ(d, 55.75);
    EXPECT_EQ(s.utf8(), "Москва, ул. Тверская");
}

TEST_F(MarshalTest, NullStringTravelsAsEmpty) {
    ASSERT_GE(ole::Append(message.get(), BSTR{nullptr}), 0);
    Seal();
    BStr s;
    ASSERT_GE(ole::Read(message.get(), s.out()), 0);
    ASSERT_NE(s.get(), nullptr); // the caller gets a real, empty string
    EXPECT_EQ(s.length(), 0u);
}

TEST_F(MarshalTest, ReadingAnotherTypeFailsWithoutAllocating) {
    ASSERT_GE(ole::Append(message.get(), LONG{1}), 0);
    Seal();
    BSTR s = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(ole::Read(message.get(), &s), -ENXIO);
    EXPECT_EQ(s, nullptr);
}

TEST_F(MarshalTest, ReadingPastTheEndFails) {
    Seal();
    LONG l = 0;
    EXPECT_LT(ole::Read(message.get(), &l), 0);
    VARIANT v;
    EXPECT_LT(ole::Read(message.get(), &v), 0);
    EXPECT_EQ(v.vt, VT_EMPTY);
}

TEST_F(MarshalTest, VariantStringRoundTrips) {
    Variant in(std::string_view("Привет"));
    VARIANT out = RoundTrip(*in.get());
    EXPECT_EQ(Signature(), "v");
    ASSERT_EQ(out.vt, VT_BSTR);
    EXPECT_EQ(BstrToUtf8(out.bstrVal), "Привет");
    VariantClear(&out);
}

TEST_F(MarshalTest, VariantKeepsItsTypeForEveryTravellingKind) {
    struct Case {
        VARTYPE vt;
        std::uint64_t bits;
    };
    const Case cases[] = {
        {VT_EMPTY, 0},         {VT_NULL, 0},          {VT_I4, 0xFFFFFFF6u}, {VT_I2, 0x8001}, {VT_UI1, 200},
        {VT_UI2, 0xFFFF},      {VT_UI4, 0xFFFFFFFFu}, {VT_I8, 1ull << 40},  {VT_UI8, ~0ull}, {VT_ERROR, 0x80004005u},
        {VT_INT, 0xFFFFFFFFu}, {VT_UINT, 7},          {VT_I1, 0x80}};
    for (const Case& c : cases) {
        SetUp();
        VARIANT in;
        VariantInit(&in);
        in.vt = c.vt;
        in.ullVal = c.bits;
        VARIANT out = RoundTrip(in);
        EXPECT_EQ(out.vt, c.vt) << c.vt;
        const std::size_t width = c.vt == VT_I2 || c.vt == VT_UI2   ? 2
                                  : c.vt == VT_UI1 || c.vt == VT_I1 ? 1
                                  : c.vt == VT_I8 || c.vt == VT_UI8 ? 8
                                                                    : 4;
        const std::uint64_t mask = width == 8 ? ~0ull : (1ull << (8 * width)) - 1;
        EXPECT_EQ(out.ullVal & mask, c.bits & mask) << c.vt;
    }
}

TEST_F(MarshalTest, VariantFloatingPointAndDatesKeepEveryBit) {
    VARIANT in;
    VariantInit(&in);
    in.vt = VT_R4;
    in.fltVal = 1.25f;
    VARIANT out = RoundTrip(in);
    EXPECT_EQ(out.vt, VT_R4);
    EXPECT_EQ(out.fltVal, 1.25f);
    SetUp();
    in.vt = VT_DATE;
    in.date = 45000.5;
    out = RoundTrip(in);
    EXPECT_EQ(out.vt, VT_DATE);
    EXPECT_EQ(out.date, 45000.5);
    SetUp();
    in.vt = VT_BOOL;
    in.boolVal = VARIANT_TRUE;
    out = RoundTrip(in);
    EXPECT_EQ(out.vt, VT_BOOL);
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);
}

TEST_F(MarshalTest, ByReferenceValueTravelsAsItsValue) {
    LONG target = 42;
    VARIANT in;
    VariantInit(&in);
    in.vt = VT_I4 | VT_BYREF;
    in.byref = &target;
    VARIANT out = RoundTrip(in);
    EXPECT_EQ(out.vt, VT_I4);
    EXPECT_EQ(out.lVal, 42);
}

TEST_F(MarshalTest, InterfacesCannotTravel) {
    VARIANT in;
    VariantInit(&in);
    in.vt = VT_UNKNOWN;
    EXPECT_EQ(ole::Append(message.get(), in), -EINVAL);
    in.vt = VT_I4 | VT_BYREF;
    in.byref = nullptr;
    EXPECT_EQ(ole::Append(message.get(), in), -EINVAL);
}

TEST_F(MarshalTest, ForeignVariantContentIsRefusedAndSkipped) {
    // A string array is an array of texts now; a dictionary has no automation counterpart.
    ASSERT_GE(sd_bus_message_append(message.get(), "vi", "a{si}", 2, "a", 1, "b", 2, 9), 0);
    Seal();
    VARIANT v;
    EXPECT_EQ(ole::Read(message.get(), &v), -ENXIO);
    EXPECT_EQ(v.vt, VT_EMPTY);
    LONG next = 0;
    ASSERT_GE(ole::Read(message.get(), &next), 0); // the rest of the message is still readable
    EXPECT_EQ(next, 9);
}

// Arrays of every element type travel as typed D-Bus arrays: a vector from 0 as "aX", anything else with its
// bounds; in process the same arrays survive VariantCopy and VariantClear.
TEST_F(MarshalTest, ArraysOfEveryElementTypeRoundTripWithTheirBounds) {
    struct Case {
        VARTYPE vt;
        std::vector<SAFEARRAYBOUND> bounds;
    };
    const Case cases[] = {
        {VT_I4, {{3, 0}}},   {VT_R8, {{2, 1}, {3, 1}}}, {VT_BSTR, {{3, 0}}}, {VT_VARIANT, {{2, 0}, {2, 5}}},
        {VT_BOOL, {{2, 0}}}, {VT_I2, {{2, -1}}},        {VT_UI1, {{4, 0}}},  {VT_UI2, {{1, 0}}},
        {VT_UI4, {{2, 0}}},  {VT_I8, {{2, 0}}},         {VT_UI8, {{0, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.vt);
        message = connection->NewMethodCall(nullptr, "/t", "t.T", "M");
        SAFEARRAY* psa = SafeArrayCreate(c.vt, static_cast<UINT>(c.bounds.size()), c.bounds.data());
        ASSERT_NE(psa, nullptr);
        const ULONG n = SafeArrayElementCount(psa);
        // Element i holds i + 1 in the element's own type (a text, a variant of a text or a number, true for odd).
        for (ULONG i = 0; i < n; ++i) {
            void* at = static_cast<char*>(psa->pvData) + i * psa->cbElements;
            const LONG value = static_cast<LONG>(i + 1);
            if (c.vt == VT_BSTR) {
                *static_cast<BSTR*>(at) = SysAllocStringUtf8("№" + std::to_string(value));
            } else if (c.vt == VT_VARIANT) {
                Variant v = i % 2 ? Variant(value) : Variant(std::string_view("текст"));
                *static_cast<VARIANT*>(at) = v.detach();
            } else if (c.vt == VT_BOOL) {
                *static_cast<VARIANT_BOOL*>(at) = i % 2 ? VARIANT_TRUE : VARIANT_FALSE;
            } else if (c.vt == VT_R8) {
                *static_cast<double*>(at) = value + 0.25;
            } else {
                const long long wide = value;            // as wide as the widest element type
                std::memcpy(at, &wide, psa->cbElements); // little-endian: the low bytes
            }
        }
        Variant original;
        original.get()->vt = static_cast<VARTYPE>(VT_ARRAY | c.vt);
        original.get()->parray = psa;
        Variant copy(original); // VariantCopy of an array is deep
        ASSERT_NE(copy.get()->parray, psa);

        VARIANT arrived = RoundTrip(*copy.get());
        Variant back;
        *back.get() = arrived;
        ASSERT_EQ(back.get()->vt, VT_ARRAY | c.vt);
        SAFEARRAY* got = back.get()->parray;
        ASSERT_EQ(SafeArrayGetDim(got), c.bounds.size());
        for (UINT d = 1; d <= c.bounds.size(); ++d) {
            LONG lower = 0;
            LONG upper = 0;
            ASSERT_EQ(SafeArrayGetLBound(got, d, &lower), S_OK);
            ASSERT_EQ(SafeArrayGetUBound(got, d, &upper), S_OK);
            EXPECT_EQ(lower, c.bounds[d - 1].lLbound);
            EXPECT_EQ(upper - lower + 1, static_cast<LONG>(c.bounds[d - 1].cElements));
        }
        ASSERT_EQ(SafeArrayElementCount(got), n);
        for (ULONG i = 0; i < n; ++i) {
            const void* a = static_cast<char*>(psa->pvData) + i * psa->cbElements;
            const void* b = static_cast<char*>(got->pvData) + i * got->cbElements;
            if (c.vt == VT_BSTR) {
                EXPECT_EQ(BstrToUtf8(*static_cast<const BSTR*>(b)), BstrToUtf8(*static_cast<const BSTR*>(a)));
            } else if (c.vt == VT_VARIANT) {
                Variant x;
                Variant y;
                ASSERT_EQ(VariantChangeType(x.get(), static_cast<const VARIANT*>(a), 0, VT_BSTR), S_OK);
                ASSERT_EQ(VariantChangeType(y.get(), static_cast<const VARIANT*>(b), 0, VT_BSTR), S_OK);
                EXPECT_EQ(static_cast<const VARIANT*>(b)->vt, static_cast<const VARIANT*>(a)->vt);
                EXPECT_EQ(BstrToUtf8(y.get()->bstrVal), BstrToUtf8(x.get()->bstrVal));
            } else {
                EXPECT_EQ(std::memcmp(a, b, psa->cbElements), 0) << "element " << i;
            }
        }
    }
}

TEST(SafeArray, ElementAccessChecksBoundsAndOwnsItsStrings) {
    const SAFEARRAYBOUND bounds[] = {{2, 1}, {3, 0}};
    SAFEARRAY* psa = SafeArrayCreate(VT_BSTR, 2, bounds);
    ASSERT_NE(psa, nullptr);
    BStr text("Химки");
    const LONG at[] = {2, 2};
    ASSERT_EQ(SafeArrayPutElement(psa, at, text.get()), S_OK);
    BSTR out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(psa, at, &out), S_OK);
    EXPECT_NE(out, text.get()); // a copy each way
    EXPECT_EQ(BstrToUtf8(out), "Химки");
    SysFreeString(out);
    // The first index varies fastest: (2, 2) is element 1 + 2 * 2.
    EXPECT_EQ(BstrToUtf8(static_cast<BSTR*>(psa->pvData)[5]), "Химки");
    const LONG outside[][2] = {{0, 0}, {3, 0}, {1, 3}, {1, -1}};
    for (const auto& o : outside)
        EXPECT_EQ(SafeArrayPutElement(psa, o, text.get()), DISP_E_BADINDEX);
    LONG bound = 0;
    EXPECT_EQ(SafeArrayGetLBound(psa, 3, &bound), DISP_E_BADINDEX);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
    EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
    ASSERT_EQ(SafeArrayUnaccessData(psa), S_OK);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
    EXPECT_EQ(SafeArrayCreate(VT_DISPATCH, 1, bounds), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_I4, 0, bounds), nullptr);
}

} // namespace
