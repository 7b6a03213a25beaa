#include "platform/ole/ErrorText.h"

#include <cstdlib>
#include <cstring>

namespace {

struct Entry {
    std::uint32_t code;
    const char* text;
};

// The usual Windows wording of the codes a console of this kind meets.
constexpr Entry kTexts[] = {
    {0x00000000u, "The operation completed successfully.\n"},
    {0x80004001u, "Not implemented\n"},
    {0x80004002u, "No such interface supported\n"},
    {0x80004003u, "Invalid pointer\n"},
    {0x80004004u, "Operation aborted\n"},
    {0x80004005u, "Unspecified error\n"},
    {0x8000FFFFu, "Catastrophic failure\n"},
    {0x80070002u, "The system cannot find the file specified.\n"},
    {0x80070003u, "The system cannot find the path specified.\n"},
    {0x80070005u, "Access is denied.\n"},
    {0x80070006u, "The handle is invalid.\n"},
    {0x8007000Eu, "Not enough memory resources are available to complete this operation.\n"},
    {0x80070057u, "The parameter is incorrect.\n"},
    {0x8007007Bu, "The filename, directory name, or volume label syntax is incorrect.\n"},
    {0x80020001u, "Unknown interface.\n"},
    {0x80020003u, "Member not found.\n"},
    {0x80020004u, "Parameter not found.\n"},
    {0x80020005u, "Type mismatch.\n"},
    {0x80020006u, "Unknown name.\n"},
    {0x80020008u, "Bad variable type.\n"},
    {0x80020009u, "Exception occurred.\n"},
    {0x8002000Au, "Out of present range.\n"},
    {0x8002000Eu, "Invalid number of parameters.\n"},
    {0x80040110u, "Class does not support aggregation (or class object is remote)\n"},
    {0x80040111u, "ClassFactory cannot supply requested class\n"},
    {0x80040154u, "Class not registered\n"},
    {0x80040200u, "Connection point: no connection\n"},
    {0x80040201u, "Connection point: advise limit reached\n"},
    {0x80040202u, "Connection point: cannot connect\n"},
    {0x800401E3u, "Operation unavailable\n"},
    {0x800401F0u, "CoInitialize has not been called.\n"},
    {0x800401F3u, "Invalid class string\n"},
    {0x80080005u, "Server execution failed\n"},
    {0x80010105u, "The server threw an exception.\n"},
    {0x80010108u, "The object invoked has disconnected from its clients.\n"},
    {0x8001011Fu, "This operation returned because the timeout period expired.\n"},
    {0x8001010Eu, "The application called an interface that was marshalled for a different thread.\n"},
    {0x800706BAu, "The RPC server is unavailable.\n"},
    {0x800706BEu, "The remote procedure call failed.\n"},
};

} // namespace

const char* SystemErrorText(HRESULT code) {
    const auto key = static_cast<std::uint32_t>(code);
    for (const Entry& e : kTexts)
        if (e.code == key)
            return e.text;
    return nullptr;
}

std::string SystemErrorLine(HRESULT code) {
    const char* system = SystemErrorText(code);
    std::string text = system ? system : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

std::string ErrnoText(int error) {
    const char* text = strerrordesc_np(error);
    return text ? text : "error " + std::to_string(error);
}

DWORD FormatMessageA(DWORD flags, const void* /*source*/, DWORD messageId, DWORD /*languageId*/, char* buffer,
                     DWORD size, va_list* /*arguments*/) {
    if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || !buffer)
        return 0;
    const char* text = SystemErrorText(static_cast<HRESULT>(messageId));
    if (!text)
        return 0;
    const std::size_t len = std::strlen(text);
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        auto* block = static_cast<char*>(std::malloc(len + 1));
        if (!block)
            return 0;
        std::memcpy(block, text, len + 1);
        *reinterpret_cast<char**>(buffer) = block;
        return static_cast<DWORD>(len);
    }
    if (size == 0)
        return 0;
    const std::size_t n = len < size - 1 ? len : size - 1;
    std::memcpy(buffer, text, n);
    buffer[n] = 0;
    return static_cast<DWORD>(n);
}

void* LocalFree(void* memory) {
    std::free(memory);
    return nullptr;
}
