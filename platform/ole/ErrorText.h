// System texts for result codes: the stand-in for FormatMessageA / LocalFree.
#pragma once

#include "platform/ole/Types.h"

#include <cstdarg>
#include <string>

constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x0100;
constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x0200;
constexpr DWORD FORMAT_MESSAGE_FROM_STRING = 0x0400;
constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x0800;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x1000;
constexpr DWORD LANG_USER_DEFAULT = 0x400;

// The system's text for a result code, ending with a line break as the system returns it; null when unknown.
const char* SystemErrorText(HRESULT code);
// The same text without its line break; empty when unknown.
std::string SystemErrorLine(HRESULT code);
// An errno's description in English, like the system texts beside which it is shown, whatever the locale.
std::string ErrnoText(int error);

// With FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, `buffer` is really a char** that receives a
// block to release with LocalFree. Returns the number of characters written, 0 when there is no text.
DWORD FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD languageId, char* buffer, DWORD size,
                     va_list* arguments);
void* LocalFree(void* memory);
