// Basic COM types and result codes.
#pragma once

#include <cstdint>

using HRESULT = std::int32_t;
using LONG = std::int32_t; // the contract's "long": 32 bits on every platform
using ULONG = std::uint32_t;
using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using UINT = unsigned int;
using BYTE = std::uint8_t;
using DOUBLE = double;
using DISPID = LONG;
using LCID = DWORD;
using MEMBERID = DISPID;

constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}
constexpr HRESULT MakeHResult(std::uint32_t code) {
    return static_cast<HRESULT>(code);
}
constexpr HRESULT HRESULT_FROM_WIN32(std::uint32_t code) {
    return code == 0 ? 0 : static_cast<HRESULT>((code & 0x0000FFFFu) | 0x80070000u);
}

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = MakeHResult(0x80004001u);
constexpr HRESULT E_NOINTERFACE = MakeHResult(0x80004002u);
constexpr HRESULT E_POINTER = MakeHResult(0x80004003u);
constexpr HRESULT E_ABORT = MakeHResult(0x80004004u);
constexpr HRESULT E_FAIL = MakeHResult(0x80004005u);
constexpr HRESULT E_UNEXPECTED = MakeHResult(0x8000FFFFu);
constexpr HRESULT E_ACCESSDENIED = MakeHResult(0x80070005u);
constexpr HRESULT E_HANDLE = MakeHResult(0x80070006u);
constexpr HRESULT E_OUTOFMEMORY = MakeHResult(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = MakeHResult(0x80070057u);
constexpr HRESULT DISP_E_UNKNOWNINTERFACE = MakeHResult(0x80020001u);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = MakeHResult(0x80020003u);
constexpr HRESULT DISP_E_PARAMNOTFOUND = MakeHResult(0x80020004u);
constexpr HRESULT DISP_E_TYPEMISMATCH = MakeHResult(0x80020005u);
constexpr HRESULT DISP_E_UNKNOWNNAME = MakeHResult(0x80020006u);
constexpr HRESULT DISP_E_BADVARTYPE = MakeHResult(0x80020008u);
constexpr HRESULT DISP_E_EXCEPTION = MakeHResult(0x80020009u);
constexpr HRESULT DISP_E_OVERFLOW = MakeHResult(0x8002000Au);
constexpr HRESULT DISP_E_BADINDEX = MakeHResult(0x8002000Bu);
constexpr HRESULT DISP_E_BADPARAMCOUNT = MakeHResult(0x8002000Eu);
constexpr HRESULT DISP_E_ARRAYISLOCKED = MakeHResult(0x8002000Du);
constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHResult(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHResult(0x80040111u);
constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHResult(0x80040154u);
constexpr HRESULT CONNECT_E_NOCONNECTION = MakeHResult(0x80040200u);
constexpr HRESULT CONNECT_E_ADVISELIMIT = MakeHResult(0x80040201u);
constexpr HRESULT CONNECT_E_CANNOTCONNECT = MakeHResult(0x80040202u);
constexpr HRESULT MK_E_UNAVAILABLE = MakeHResult(0x800401E3u);
constexpr HRESULT CO_E_NOTINITIALIZED = MakeHResult(0x800401F0u);
constexpr HRESULT CO_E_SERVER_EXEC_FAILURE = MakeHResult(0x80080005u);
constexpr HRESULT CO_S_NOTALLINTERFACES = MakeHResult(0x00080012u);
constexpr HRESULT RPC_E_DISCONNECTED = MakeHResult(0x80010108u);
constexpr HRESULT RPC_E_SERVERFAULT = MakeHResult(0x80010105u);
constexpr HRESULT RPC_E_TIMEOUT = MakeHResult(0x8001011Fu);
constexpr HRESULT RPC_E_WRONG_THREAD = MakeHResult(0x8001010Eu);
constexpr HRESULT RPC_S_SERVER_UNAVAILABLE_HR = MakeHResult(0x800706BAu); // "The RPC server is unavailable."
constexpr HRESULT RPC_S_CALL_FAILED_HR = MakeHResult(0x800706BEu);

// Class contexts and registration flags.
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
constexpr DWORD CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
constexpr DWORD REGCLS_SINGLEUSE = 0;
constexpr DWORD REGCLS_MULTIPLEUSE = 1;
constexpr DWORD ACTIVEOBJECT_STRONG = 0;
constexpr DWORD ACTIVEOBJECT_WEAK = 1;

// IDispatch::Invoke flags.
constexpr WORD DISPATCH_METHOD = 0x1;
constexpr WORD DISPATCH_PROPERTYGET = 0x2;
constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;
constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_PROPERTYPUT = -3;
