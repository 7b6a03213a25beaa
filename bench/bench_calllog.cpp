// What the call log costs: the time it adds to each call forwarded by the wrapper (against a server object that
// does nothing, so the log's share is not hidden by the server's work), and the memory of a full log.
#include "automation/CallLog.h"
#include "automation/Navilonix_OCX.h"

#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace {

// Answers every member at once: reads give a fixed value of their type.
class NullAutomation final : public INavilonixAutomation {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_INavilonixAutomation) {
            *object = static_cast<INavilonixAutomation*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
#define NVX_NULL_READ(slot, name, type)                                                                                \
    HRESULT STDMETHODCALLTYPE get_##name(type* Value) override {                                                       \
        Fill(Value);                                                                                                   \
        return S_OK;                                                                                                   \
    }
#define NVX_NULL_WRITE(slot, name, type)                                                                               \
    HRESULT STDMETHODCALLTYPE set_##name(type) override {                                                              \
        return S_OK;                                                                                                   \
    }
#define NVX_NULL_METHOD(slot, name, params, args)                                                                      \
    HRESULT STDMETHODCALLTYPE name params override {                                                                   \
        Ignore args;                                                                                                   \
        return S_OK;                                                                                                   \
    }
    NAVILONIX_MEMBERS(NVX_NULL_READ, NVX_NULL_WRITE, NVX_NULL_METHOD)
#undef NVX_NULL_READ
#undef NVX_NULL_WRITE
#undef NVX_NULL_METHOD

private:
    template <class... A> static void Ignore(const A&...) {}
    static void Fill(LONG* value) {
        *value = 1234567;
    }
    static void Fill(double* value) {
        *value = 55.755831;
    }
    static void Fill(BSTR* value) {
        *value = SysAllocString(u"Группа 1234");
    }
    static void Fill(VARIANT* value) {
        VariantInit(value);
    }
};

using Clock = std::chrono::steady_clock;

// One round of the calls a tree rebuild makes for one vehicle, plus a method call with text.
void Round(TNavilonixAutomation& wrapper, LONG i, BSTR file) {
    wrapper.set_CarIndex(i);
    (void)wrapper.get_CarDevice();
    SysFreeString(wrapper.get_CarModel());
    (void)wrapper.get_CarLatitude();
    wrapper.GoToCarLastPosition(file, i);
}
constexpr int kCallsPerRound = 5;

double NanosecondsPerCall(TNavilonixAutomation& wrapper, bool logged, int rounds) {
    CallLog().SetRecording(logged);
    CallLog().Clear();
    BStr file("g12.grp");
    const auto start = Clock::now();
    for (int i = 0; i < rounds; ++i)
        Round(wrapper, i, file.get());
    const auto end = Clock::now();
    return std::chrono::duration<double, std::nano>(end - start).count() / (rounds * kCallsPerRound);
}

std::size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd; // small blocks and mapped ones
}

} // namespace

int main() {
    NullAutomation server;
    TNavilonixAutomation wrapper(nullptr);
    wrapper.ConnectTo(&server);

    // Memory: the heap that a full log takes, first of the calls of a tree rebuild, then of the longest calls
    // with text arguments.
    const std::size_t before = HeapInUse();
    BStr file("g12.grp");
    for (int i = 0; i < static_cast<int>(TCallLog::kCapacity) / kCallsPerRound; ++i)
        Round(wrapper, i, file.get());
    std::printf("memory of %zu logged calls (tree rebuild mix): %.1f MB\n", CallLog().Count(),
                static_cast<double>(HeapInUse() - before) / 1e6);
    BStr path("/home/user/.local/share/NavilonixServer/Points/Склад.chp");
    for (std::size_t i = 0; i < TCallLog::kCapacity; ++i)
        wrapper.SetCarChPParameters(path.get(), 1234567, 0, path.get(), 1, 10, 1, 2, 30, path.get());
    std::printf("memory of %zu logged calls (SetCarChPParameters, ten arguments, three %u-character paths): %.1f MB\n",
                CallLog().Count(), path.length(), static_cast<double>(HeapInUse() - before) / 1e6);

    const int rounds = 200000;
    double off = 1e30;
    double on = 1e30;
    for (int run = 0; run < 5; ++run) {
        off = std::min(off, NanosecondsPerCall(wrapper, false, rounds));
        on = std::min(on, NanosecondsPerCall(wrapper, true, rounds));
    }
    std::printf("call through the wrapper, log paused: %7.1f ns\n", off);
    std::printf("call through the wrapper, log on:     %7.1f ns\n", on);
    std::printf("cost of the log per call:             %7.1f ns (best of 5 runs of %d calls)\n", on - off,
                rounds * kCallsPerRound);
    return 0;
}
