// What the call log costs: the time it adds to each call forwarded by the wrapper (against a server object that
// does nothing, so the log's share is not hidden by the server's work), and the memory of a full log.
#include "automation/CallLog.h"
#include "automation/Navilonix_OCX.h"

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
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

// The processor time this thread has used, ns: unlike the wall clock, it leaves out the time other programs on the
// machine take.
double ThreadNs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

// One round of the calls a tree rebuild makes for one vehicle, plus a method call with text.
void Round(TNavilonixAutomation& wrapper, LONG i, BSTR file) {
    wrapper.set_CarIndex(i);
    (void)wrapper.get_CarDevice();
    SysFreeString(wrapper.get_CarModel());
    (void)wrapper.get_CarLatitude();
    wrapper.GoToCarLastPosition(file, i);
}
constexpr int kCallsPerRound = 5;

// The longest calls: ten arguments, three of them paths.
void LongestCall(TNavilonixAutomation& wrapper, LONG i, BSTR path) {
    wrapper.SetCarChPParameters(path, 1234567, 0, path, 1, 10, 1, i, 30, path);
}

double NanosecondsPerCall(void (*round)(TNavilonixAutomation&, LONG, BSTR), int callsPerRound, BSTR text,
                          TNavilonixAutomation& wrapper, bool logged, int rounds) {
    CallLog().SetRecording(logged); // the log full and wrapping, as in a long session
    const double start = ThreadNs();
    for (int i = 0; i < rounds; ++i)
        round(wrapper, i, text);
    return (ThreadNs() - start) / (rounds * callsPerRound);
}

// The log's cost per call: the best of five alternate runs with the log paused and on.
void PrintCost(const char* what, void (*round)(TNavilonixAutomation&, LONG, BSTR), int callsPerRound, BSTR text,
               TNavilonixAutomation& wrapper) {
    const int calls = 1000000;
    double off = 1e30;
    double on = 1e30;
    for (int run = 0; run < 5; ++run) {
        off = std::min(off, NanosecondsPerCall(round, callsPerRound, text, wrapper, false, calls / callsPerRound));
        on = std::min(on, NanosecondsPerCall(round, callsPerRound, text, wrapper, true, calls / callsPerRound));
    }
    std::printf("%s: call through the wrapper %.1f ns with the log paused, %.1f ns with it on; the log costs %.1f ns "
                "a call (best of 5 runs of %d calls)\n",
                what, off, on, on - off, calls);
}

std::size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd; // small blocks and mapped ones
}

// The process's resident memory, bytes.
std::size_t Resident() {
    unsigned long size = 0;
    unsigned long resident = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%lu %lu", &size, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

// What the log took since the start: the heap (its ring of records) and the blocks of its arena, which it maps
// from the system itself; and the growth of the resident memory, which counts both.
void PrintMemory(const char* what, std::size_t heapBefore, std::size_t residentBefore) {
    const double heap = static_cast<double>(HeapInUse() - heapBefore) / 1e6;
    const double arena = static_cast<double>(CallLog().ArenaBytes()) / 1e6;
    std::printf("memory of %zu logged calls (%s): %.1f MB (%.1f MB of heap, %.1f MB of arena); resident %.1f MB\n",
                CallLog().Count(), what, heap + arena, heap, arena,
                static_cast<double>(Resident() - residentBefore) / 1e6);
}

} // namespace

int main() {
    NullAutomation server;
    TNavilonixAutomation wrapper(nullptr);
    wrapper.ConnectTo(&server);

    // Memory: the heap that a full log takes, first of the calls of a tree rebuild, then of the longest calls
    // with text arguments.
    const std::size_t heapBefore = HeapInUse();
    const std::size_t residentBefore = Resident();
    BStr file("g12.grp");
    for (int i = 0; i < static_cast<int>(TCallLog::kCapacity) / kCallsPerRound; ++i)
        Round(wrapper, i, file.get());
    PrintMemory("tree rebuild mix", heapBefore, residentBefore);
    BStr path("/home/user/.local/share/NavilonixServer/Points/Склад.chp");
    for (std::size_t i = 0; i < TCallLog::kCapacity; ++i)
        wrapper.SetCarChPParameters(path.get(), 1234567, 0, path.get(), 1, 10, 1, 2, 30, path.get());
    const std::string worst = "SetCarChPParameters, ten arguments, three " + std::to_string(path.length()) +
                              "-character paths; goal: under 30 MB";
    PrintMemory(worst.c_str(), heapBefore, residentBefore);

    PrintCost("tree rebuild mix", Round, kCallsPerRound, file.get(), wrapper);
    PrintCost("SetCarChPParameters", LongestCall, 1, path.get(), wrapper);
    return 0;
}
