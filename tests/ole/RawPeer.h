// The far end of a private channel spoken byte by byte: D-Bus messages (little-endian) built and taken apart by
// hand, and the authentication lines, so that tests control exactly what goes into each write.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace rawpeer {

enum : std::uint8_t { kCall = 1, kReturn = 2, kError = 3, kSignal = 4 };
enum : std::uint8_t { kNoReplyExpected = 1 };

class Writer {
public:
    void Align(std::size_t n) {
        while (bytes.size() % n)
            bytes.push_back('\0');
    }
    void U8(std::uint8_t v) { bytes.push_back(static_cast<char>(v)); }
    void U32(std::uint32_t v) {
        Align(4);
        bytes.append(reinterpret_cast<const char*>(&v), 4);
    }
    void Put32At(std::size_t at, std::uint32_t v) { std::memcpy(bytes.data() + at, &v, 4); }
    void Str(const std::string& s) {
        U32(static_cast<std::uint32_t>(s.size()));
        bytes.append(s);
        bytes.push_back('\0');
    }
    void Sig(const std::string& s) {
        U8(static_cast<std::uint8_t>(s.size()));
        bytes.append(s);
        bytes.push_back('\0');
    }
    std::string bytes;
};

struct Message {
    std::uint8_t type = kCall;
    std::uint8_t flags = 0;
    std::uint32_t serial = 1;
    std::string path, interface, member, errorName, signature;
    std::optional<std::uint32_t> replySerial;
    std::string body;     // already marshaled, aligned as if it started at offset 0
    std::size_t size = 0; // of the whole message, when parsed
};

inline std::string Encode(const Message& m) {
    Writer w;
    w.U8('l');
    w.U8(m.type);
    w.U8(m.flags);
    w.U8(1);
    w.U32(static_cast<std::uint32_t>(m.body.size()));
    w.U32(m.serial);
    const std::size_t lengthAt = w.bytes.size();
    w.U32(0);
    const std::size_t fieldsStart = w.bytes.size();
    auto field = [&w](std::uint8_t code, const char* type, const std::string& value) {
        w.Align(8);
        w.U8(code);
        w.Sig(type);
        if (*type == 'g')
            w.Sig(value);
        else
            w.Str(value);
    };
    if (!m.path.empty())
        field(1, "o", m.path);
    if (!m.interface.empty())
        field(2, "s", m.interface);
    if (!m.member.empty())
        field(3, "s", m.member);
    if (!m.errorName.empty())
        field(4, "s", m.errorName);
    if (m.replySerial) {
        w.Align(8);
        w.U8(5);
        w.Sig("u");
        w.U32(*m.replySerial);
    }
    if (!m.signature.empty())
        field(8, "g", m.signature);
    w.Put32At(lengthAt, static_cast<std::uint32_t>(w.bytes.size() - fieldsStart));
    w.Align(8);
    return w.bytes + m.body;
}

// The first whole message at the start of `bytes`, or nothing while it is incomplete.
inline std::optional<Message> Decode(const std::string& bytes) {
    if (bytes.size() < 16 || bytes[0] != 'l')
        return std::nullopt;
    auto u32 = [&bytes](std::size_t at) {
        std::uint32_t v = 0;
        std::memcpy(&v, bytes.data() + at, 4);
        return v;
    };
    Message m;
    m.type = static_cast<std::uint8_t>(bytes[1]);
    m.flags = static_cast<std::uint8_t>(bytes[2]);
    const std::uint32_t bodySize = u32(4);
    m.serial = u32(8);
    const std::size_t fieldsEnd = 16 + u32(12);
    const std::size_t bodyStart = (fieldsEnd + 7) / 8 * 8;
    m.size = bodyStart + bodySize;
    if (bytes.size() < m.size)
        return std::nullopt;
    std::size_t at = 16;
    while (at < fieldsEnd) {
        at = (at + 7) / 8 * 8;
        const auto code = static_cast<std::uint8_t>(bytes[at]);
        const char type = bytes[at + 2];
        at += 4; // code, signature length, type, terminator
        std::string text;
        std::uint32_t number = 0;
        if (type == 'g') {
            const auto n = static_cast<std::uint8_t>(bytes[at]);
            text.assign(bytes, at + 1, n);
            at += n + 2;
        } else {
            at = (at + 3) / 4 * 4;
            number = u32(at);
            at += 4;
            if (type != 'u') {
                text.assign(bytes, at, number);
                at += number + 1;
            }
        }
        switch (code) {
        case 1:
            m.path = text;
            break;
        case 2:
            m.interface = text;
            break;
        case 3:
            m.member = text;
            break;
        case 4:
            m.errorName = text;
            break;
        case 5:
            m.replySerial = number;
            break;
        case 8:
            m.signature = text;
            break;
        default:
            break;
        }
    }
    m.body.assign(bytes, bodyStart, bodySize);
    return m;
}

inline std::int32_t BodyInt(const Message& m) {
    std::int32_t v = 0;
    if (m.body.size() >= 4)
        std::memcpy(&v, m.body.data(), 4);
    return v;
}

inline bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Reads more bytes into `buffer`; false on end of stream or when nothing came within five seconds.
inline bool ReadMore(int fd, std::string* buffer) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 5000) <= 0)
        return false;
    char chunk[4096];
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0)
        return false;
    buffer->append(chunk, static_cast<std::size_t>(n));
    return true;
}

// The next whole message from `fd` (bytes beyond it stay in `buffer`).
inline std::optional<Message> ReadMessage(int fd, std::string* buffer) {
    for (;;) {
        if (auto m = Decode(*buffer)) {
            buffer->erase(0, m->size);
            return m;
        }
        if (!ReadMore(fd, buffer))
            return std::nullopt;
    }
}

// The server's half of the authentication, for a client that authenticates as sd-bus does. Bytes after BEGIN stay
// in `buffer`.
inline bool AcceptClient(int fd, std::string* buffer) {
    bool sawNul = false;
    for (;;) {
        if (!sawNul && !buffer->empty()) {
            if ((*buffer)[0] != '\0')
                return false;
            buffer->erase(0, 1);
            sawNul = true;
        }
        const auto end = buffer->find("\r\n");
        if (end == std::string::npos) {
            if (!ReadMore(fd, buffer))
                return false;
            continue;
        }
        const std::string line = buffer->substr(0, end);
        buffer->erase(0, end + 2);
        // "AUTH EXTERNAL <uid>" is accepted at once; "AUTH EXTERNAL" alone is asked for its (empty) DATA first.
        if (line == "AUTH EXTERNAL")
            WriteAll(fd, "DATA\r\n");
        else if (line.rfind("AUTH", 0) == 0 || line.rfind("DATA", 0) == 0)
            WriteAll(fd, "OK 0123456789abcdef0123456789abcdef\r\n");
        else if (line == "NEGOTIATE_UNIX_FD")
            WriteAll(fd, "AGREE_UNIX_FD\r\n");
        else if (line == "BEGIN")
            return true;
        else
            WriteAll(fd, "ERROR\r\n");
    }
}

// A client's whole start in one write: authentication as the current user, BEGIN and then `first`.
inline std::string ClientStart(const std::string& first) {
    std::string hexUid;
    for (char c : std::to_string(::getuid())) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(c));
        hexUid += two;
    }
    return std::string(1, '\0') + "AUTH EXTERNAL " + hexUid + "\r\nBEGIN\r\n" + first;
}

} // namespace rawpeer
