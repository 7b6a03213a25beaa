// The runtime's exception classes and printf-style text formatting.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// printf-style formatting into a std::string (UTF-8 text passes through unchanged).
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The base of every error the console reports with the application's standard error box.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// A text that does not convert to a number, date or time.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

class EOleError : public Exception {
public:
    using Exception::Exception;
};

// A failed COM call, with its result code.
class EOleSysError : public EOleError {
public:
    EOleSysError(const std::string& message, std::int32_t errorCode, int helpContext = 0)
        : EOleError(message), m_errorCode(errorCode), m_helpContext(helpContext) {}
    std::int32_t ErrorCode() const { return m_errorCode; }
    int HelpContext() const { return m_helpContext; }

private:
    std::int32_t m_errorCode;
    int m_helpContext;
};

// An error reported by an automation server (or raised on its behalf), with its source and help file.
class EOleException : public EOleSysError {
public:
    EOleException(const std::string& message, std::int32_t errorCode, const std::string& source,
                  const std::string& helpFile, int helpContext)
        : EOleSysError(message, errorCode, helpContext), m_source(source), m_helpFile(helpFile) {}
    const std::string& Source() const { return m_source; }
    const std::string& HelpFile() const { return m_helpFile; }

private:
    std::string m_source;
    std::string m_helpFile;
};

// Destroys the object and empties the reference first, so that code run by the destructor sees it empty.
template <class T> void FreeAndNil(T*& reference) {
    T* object = reference;
    reference = nullptr;
    delete object;
}
