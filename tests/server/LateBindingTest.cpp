// The server object bound by name: GetIDsOfNames and Invoke over the member table, with the standard failures.
#include "platform/ole/Dispatch.h"
#include "tests/server/ObjectFixture.h"

using navilonix::server::testing::ObjectTest;

namespace {

class LateBinding : public ObjectTest {
protected:
    IDispatch* dispatch() { return static_cast<INavilonixAutomation*>(&server()); }

    DISPID id(const char16_t* name) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID result = 0;
        EXPECT_EQ(dispatch()->GetIDsOfNames(IID_NULL, names, 1, 0, &result), S_OK) << Utf16ToUtf8(name);
        return result;
    }

    // Invoke with the arguments in their natural order (reversed into rgvarg here).
    HRESULT invoke(const char16_t* name, WORD flags, std::vector<Variant> args, Variant* result = nullptr,
                   UINT* argErr = nullptr, EXCEPINFO* exception = nullptr) {
        std::vector<VARIANT> block;
        for (auto it = args.rbegin(); it != args.rend(); ++it)
            block.push_back(*it->get());
        DISPID put = DISPID_PROPERTYPUT;
        DISPPARAMS params{block.empty() ? nullptr : block.data(), flags == DISPATCH_PROPERTYPUT ? &put : nullptr,
                          static_cast<UINT>(block.size()), flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
        return dispatch()->Invoke(id(name), IID_NULL, 0, flags, &params, result ? result->get() : nullptr, exception,
                                  argErr);
    }
};

TEST_F(LateBinding, NamesAreFoundIgnoringCaseAndShareOneIdPerProperty) {
    EXPECT_EQ(id(u"groupindex"), id(u"GroupIndex"));
    EXPECT_EQ(id(u"GROUPSNUM"), 8);
    // A method's parameters are named by their positions.
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"GoToCarLastTrack"), const_cast<LPOLESTR>(u"device"),
                        const_cast<LPOLESTR>(u"Nonsense")};
    DISPID ids[3] = {};
    EXPECT_EQ(dispatch()->GetIDsOfNames(IID_NULL, names, 3, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 34);
    EXPECT_EQ(ids[1], 1);
    EXPECT_EQ(ids[2], DISPID_UNKNOWN);
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(u"NoSuchMember")};
    EXPECT_EQ(dispatch()->GetIDsOfNames(IID_NULL, unknown, 1, 0, ids), DISP_E_UNKNOWNNAME);
}

TEST_F(LateBinding, GetPutAndMethodReachTheTypedMembersWithCoercedArguments) {
    // A put with a text that reads as a number; the get then sees it.
    ASSERT_EQ(invoke(u"GroupIndex", DISPATCH_PROPERTYPUT, {Variant(std::string_view("4"))}), S_OK);
    Variant name;
    ASSERT_EQ(invoke(u"GroupFileName", DISPATCH_PROPERTYGET, {}, &name), S_OK);
    ASSERT_EQ(name.get()->vt, VT_BSTR);
    EXPECT_EQ(BstrToUtf8(name.get()->bstrVal), "taxi.grp");
    // A method with a double where a long is declared, and a number where a text is.
    ASSERT_EQ(invoke(u"SetGroupIndexByFileName", DISPATCH_METHOD, {Variant(std::string_view("cargo.grp"))}), S_OK);
    Variant index;
    ASSERT_EQ(invoke(u"groupindex", DISPATCH_PROPERTYGET | DISPATCH_METHOD, {}, &index), S_OK);
    EXPECT_EQ(index.get()->vt, VT_I4);
    EXPECT_EQ(index.get()->lVal, 1);
    ASSERT_EQ(invoke(u"AddCheckPoint", DISPATCH_METHOD,
                     {Variant(std::string_view("Депо")), Variant(std::string_view("")), Variant(LONG{17}),
                      Variant(std::string_view("55.75")), Variant(37.6), Variant(99.6)}),
              S_OK);
    EXPECT_EQ(readText(&navilonix::server::NavilonixObject::get_CheckPointID), "17");
    EXPECT_EQ(readLong(&navilonix::server::NavilonixObject::get_CheckPointRadius), 100);
    EXPECT_DOUBLE_EQ(readDouble(&navilonix::server::NavilonixObject::get_CheckPointLatitude), 55.75);
}

TEST_F(LateBinding, FailuresAreTheStandardOnesWithTheArgumentPosition) {
    UINT argErr = 99;
    // Unknown identifier, a put of a read-only property, a wrong count.
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(dispatch()->Invoke(5000, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(invoke(u"GroupsNum", DISPATCH_PROPERTYPUT, {Variant(LONG{1})}), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(invoke(u"GoToCarLastTrack", DISPATCH_METHOD, {Variant(std::string_view("taxi.grp"))}),
              DISP_E_BADPARAMCOUNT);
    // The second of two arguments does not read as a number: it sits first in rgvarg.
    EXPECT_EQ(invoke(u"GoToCarLastTrack", DISPATCH_METHOD,
                     {Variant(std::string_view("taxi.grp")), Variant(std::string_view("lots"))}, nullptr, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);
    argErr = 99;
    EXPECT_EQ(invoke(u"SetCurrentCoords", DISPATCH_METHOD, {Variant(std::string_view("north")), Variant(37.0)}, nullptr,
                     &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 1u);
    argErr = 99;
    EXPECT_EQ(invoke(u"CarIndex", DISPATCH_PROPERTYPUT, {Variant(1e12)}, nullptr, &argErr), DISP_E_OVERFLOW);
    EXPECT_EQ(argErr, 0u);
    // A member that fails comes back as an exception with its code and a description.
    EXCEPINFO exception{};
    EXPECT_EQ(invoke(u"SetGroupIndexByFileName", DISPATCH_METHOD, {Variant(std::string_view("none.grp"))}, nullptr,
                     nullptr, &exception),
              DISP_E_EXCEPTION);
    EXPECT_EQ(exception.scode, E_INVALIDARG);
    EXPECT_EQ(BstrToUtf8(exception.bstrSource), "NavilonixAutomation.SetGroupIndexByFileName");
    EXPECT_EQ(BstrToUtf8(exception.bstrDescription), "The parameter is incorrect.");
    ClearExcepInfo(&exception);
}

TEST_F(LateBinding, TheTypeInformationDescribesEveryMemberOfTheTable) {
    UINT count = 0;
    ASSERT_EQ(dispatch()->GetTypeInfoCount(&count), S_OK);
    ASSERT_EQ(count, 1u);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(dispatch()->GetTypeInfo(0, 0, info.out()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, IID_INavilonixAutomation);
    EXPECT_EQ(attr->cFuncs, kNavilonixMemberCount);
    info->ReleaseTypeAttr(attr);
    // Slot 64: StartComputing(BSTR GroupFile, LONG Device, ...).
    FUNCDESC* desc = nullptr;
    ASSERT_EQ(info->GetFuncDesc(64 - kNavilonixFirstSlot, &desc), S_OK);
    EXPECT_EQ(desc->invkind, INVOKE_FUNC);
    ASSERT_EQ(desc->cParams, 6);
    EXPECT_EQ(desc->lprgelemdescParam[0].vt, VT_BSTR);
    EXPECT_EQ(desc->lprgelemdescParam[1].vt, VT_I4);
    EXPECT_EQ(desc->oVft, static_cast<short>(64 * sizeof(void*)));
    BSTR names[8] = {};
    UINT got = 0;
    ASSERT_EQ(info->GetNames(desc->memid, names, 8, &got), S_OK);
    ASSERT_EQ(got, 7u);
    EXPECT_EQ(BstrToUtf8(names[0]), "StartComputing");
    EXPECT_EQ(BstrToUtf8(names[2]), "Device");
    for (UINT i = 0; i < got; ++i)
        SysFreeString(names[i]);
    info->ReleaseFuncDesc(desc);
    // The write accessor of a property shares the read's identifier.
    ASSERT_EQ(info->GetFuncDesc(10 - kNavilonixFirstSlot, &desc), S_OK);
    EXPECT_EQ(desc->invkind, INVOKE_PROPERTYPUT);
    EXPECT_EQ(desc->memid, 9);
    info->ReleaseFuncDesc(desc);
}

TEST_F(LateBinding, TheEventPointAndTheContainerEnumerateWhatTheyHold) {
    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(server().EnumConnectionPoints(points.out()), S_OK);
    IConnectionPoint* point = nullptr;
    ULONG fetched = 0;
    ASSERT_EQ(points->Next(1, &point, &fetched), S_OK);
    ComPtr<IConnectionPoint> held = ComPtr<IConnectionPoint>::Attach(point);
    EXPECT_EQ(points->Next(1, &point, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    IID iid{};
    ASSERT_EQ(held->GetConnectionInterface(&iid), S_OK);
    EXPECT_EQ(iid, DIID_INavilonixAutomationEvents);

    RecordingSink second;
    DWORD cookie = 0;
    ASSERT_EQ(held->Advise(&second, &cookie), S_OK);
    ComPtr<IEnumConnections> connections;
    ASSERT_EQ(held->EnumConnections(connections.out()), S_OK);
    ASSERT_EQ(held->Unadvise(cookie), S_OK); // the snapshot keeps what it listed
    CONNECTDATA data[3] = {};
    ASSERT_EQ(connections->Next(3, data, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(data[0].dwCookie, cookie_);
    EXPECT_EQ(data[1].dwCookie, cookie);
    for (ULONG i = 0; i < fetched; ++i)
        data[i].pUnk->Release();
    connections.reset();
    EXPECT_EQ(second.refCount, 1u);
}

} // namespace
