#include "platform/ole/PeerReader.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

namespace ole {

namespace {

constexpr std::size_t kMaxMessage = std::size_t{1} << 27; // the protocol's limit
constexpr std::size_t kMaxArray = std::size_t{1} << 26;
constexpr std::size_t kReadRoom = 64 * 1024;
constexpr int kMaxDepth = 32;

enum : std::uint8_t { kMethodCall = 1, kMethodReturn = 2, kMethodError = 3, kSignal = 4 };
enum : std::uint8_t { kNoReplyExpected = 1 };
enum : std::uint8_t {
    kFieldPath = 1,
    kFieldInterface = 2,
    kFieldMember = 3,
    kFieldErrorName = 4,
    kFieldReplySerial = 5,
    kFieldSender = 7,
    kFieldSignature = 8,
    kFieldUnixFds = 9,
};

// Reads the values of one message, every position checked against its end; alignment counts from the message's
// first byte, and padding must be zero.
class Cursor {
public:
    Cursor(const char* data, std::size_t size, bool swap) : m_data(data), m_size(size), m_swap(swap) {}
    std::size_t pos() const { return m_pos; }
    void seek(std::size_t pos) { m_pos = pos; }

    bool Align(std::size_t n) {
        const std::size_t to = (m_pos + n - 1) / n * n;
        if (to > m_size)
            return false;
        for (; m_pos < to; ++m_pos)
            if (m_data[m_pos] != 0)
                return false;
        return true;
    }
    template <class T> bool Fixed(T* value) {
        if (!Align(sizeof(T)) || m_size - m_pos < sizeof(T))
            return false;
        std::memcpy(value, m_data + m_pos, sizeof(T));
        if (m_swap) {
            if constexpr (sizeof(T) == 2)
                *value = static_cast<T>(__builtin_bswap16(static_cast<std::uint16_t>(*value)));
            else if constexpr (sizeof(T) == 4)
                *value = static_cast<T>(__builtin_bswap32(static_cast<std::uint32_t>(*value)));
            else if constexpr (sizeof(T) == 8)
                *value = static_cast<T>(__builtin_bswap64(static_cast<std::uint64_t>(*value)));
        }
        m_pos += sizeof(T);
        return true;
    }
    // A string or object path: its length, its bytes and a terminating zero, with no zero inside.
    bool Text(std::string_view* text) {
        std::uint32_t n = 0;
        if (!Fixed(&n) || m_size - m_pos <= n || m_data[m_pos + n] != '\0')
            return false;
        *text = std::string_view(m_data + m_pos, n);
        if (text->find('\0') != std::string_view::npos)
            return false;
        m_pos += std::size_t{n} + 1;
        return true;
    }
    bool Signature(std::string_view* text) {
        std::uint8_t n = 0;
        if (!Fixed(&n) || m_size - m_pos <= n || m_data[m_pos + n] != '\0')
            return false;
        *text = std::string_view(m_data + m_pos, n);
        if (text->find('\0') != std::string_view::npos)
            return false;
        m_pos += std::size_t{n} + 1;
        return true;
    }

private:
    const char* m_data;
    std::size_t m_size;
    bool m_swap;
    std::size_t m_pos = 0;
};

bool IsBasic(char c) {
    return std::strchr("ybnqiuxtdsogh", c) != nullptr && c != '\0';
}

// The length of the single complete type at the start of `sig`, or 0 when there is none.
std::size_t CompleteType(std::string_view sig, int depth = 0) {
    if (sig.empty() || depth > kMaxDepth)
        return 0;
    const char c = sig[0];
    if (IsBasic(c) || c == 'v')
        return 1;
    if (c == 'a') {
        if (sig.size() > 1 && sig[1] == '{') {
            if (sig.size() < 5 || !IsBasic(sig[2]))
                return 0;
            const std::size_t value = CompleteType(sig.substr(3), depth + 1);
            if (value == 0 || sig.size() <= 3 + value || sig[3 + value] != '}')
                return 0;
            return 4 + value;
        }
        const std::size_t element = CompleteType(sig.substr(1), depth + 1);
        return element == 0 ? 0 : 1 + element;
    }
    if (c == '(') {
        std::size_t at = 1;
        while (at < sig.size() && sig[at] != ')') {
            const std::size_t n = CompleteType(sig.substr(at), depth + 1);
            if (n == 0)
                return 0;
            at += n;
        }
        return at < sig.size() && at > 1 ? at + 1 : 0;
    }
    return 0;
}

std::size_t AlignmentOf(char c) {
    switch (c) {
    case 'n':
    case 'q':
        return 2;
    case 'b':
    case 'i':
    case 'u':
    case 's':
    case 'o':
    case 'a':
    case 'h':
        return 4;
    case 'x':
    case 't':
    case 'd':
    case '(':
    case '{':
        return 8;
    default:
        return 1;
    }
}

template <class T> int CopyFixed(Cursor& in, sd_bus_message* out, char type) {
    T value{};
    if (!in.Fixed(&value))
        return -EBADMSG;
    return out ? sd_bus_message_append_basic(out, type, &value) : 0;
}

// Copies one value of the complete type `type` from the wire into `out` (or only checks it when `out` is null).
int CopyValue(Cursor& in, sd_bus_message* out, std::string_view type, int depth) {
    if (depth > kMaxDepth)
        return -EBADMSG;
    switch (type[0]) {
    case 'y':
        return CopyFixed<std::uint8_t>(in, out, 'y');
    case 'n':
        return CopyFixed<std::int16_t>(in, out, 'n');
    case 'q':
        return CopyFixed<std::uint16_t>(in, out, 'q');
    case 'i':
        return CopyFixed<std::int32_t>(in, out, 'i');
    case 'u':
        return CopyFixed<std::uint32_t>(in, out, 'u');
    case 'x':
        return CopyFixed<std::int64_t>(in, out, 'x');
    case 't':
        return CopyFixed<std::uint64_t>(in, out, 't');
    case 'd': {
        std::uint64_t bits = 0;
        if (!in.Fixed(&bits))
            return -EBADMSG;
        double value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return out ? sd_bus_message_append_basic(out, 'd', &value) : 0;
    }
    case 'b': {
        std::uint32_t value = 0;
        if (!in.Fixed(&value) || value > 1)
            return -EBADMSG;
        const int flag = static_cast<int>(value);
        return out ? sd_bus_message_append_basic(out, 'b', &flag) : 0;
    }
    case 's':
    case 'o': {
        std::string_view text;
        if (!in.Text(&text))
            return -EBADMSG;
        return out ? sd_bus_message_append_basic(out, type[0], std::string(text).c_str()) : 0;
    }
    case 'g': {
        std::string_view text;
        if (!in.Signature(&text))
            return -EBADMSG;
        return out ? sd_bus_message_append_basic(out, 'g', std::string(text).c_str()) : 0;
    }
    case 'v': {
        std::string_view inner;
        if (!in.Signature(&inner) || inner.empty() || CompleteType(inner) != inner.size())
            return -EBADMSG;
        const std::string contents(inner);
        int r = out ? sd_bus_message_open_container(out, 'v', contents.c_str()) : 0;
        if (r >= 0)
            r = CopyValue(in, out, inner, depth + 1);
        if (r >= 0 && out)
            r = sd_bus_message_close_container(out);
        return r;
    }
    case 'a': {
        std::uint32_t length = 0;
        if (!in.Fixed(&length) || length > kMaxArray)
            return -EBADMSG;
        const std::string_view element = type.substr(1);
        if (!in.Align(AlignmentOf(element[0])))
            return -EBADMSG;
        const std::size_t end = in.pos() + length;
        const std::string contents(element);
        int r = out ? sd_bus_message_open_container(out, 'a', contents.c_str()) : 0;
        while (r >= 0 && in.pos() < end)
            r = CopyValue(in, out, element, depth + 1);
        if (r >= 0 && in.pos() != end)
            r = -EBADMSG;
        if (r >= 0 && out)
            r = sd_bus_message_close_container(out);
        return r;
    }
    case '(':
    case '{': {
        if (!in.Align(8))
            return -EBADMSG;
        const std::string_view members = type.substr(1, type.size() - 2);
        const std::string contents(members);
        int r = out ? sd_bus_message_open_container(out, type[0] == '(' ? 'r' : 'e', contents.c_str()) : 0;
        for (std::size_t at = 0; r >= 0 && at < members.size();) {
            const std::size_t n = CompleteType(members.substr(at));
            if (n == 0)
                return -EBADMSG;
            r = CopyValue(in, out, members.substr(at, n), depth + 1);
            at += n;
        }
        if (r >= 0 && out)
            r = sd_bus_message_close_container(out);
        return r;
    }
    default:
        // Descriptors never travel on a private channel; anything else is no type at all.
        return -EBADMSG;
    }
}

int CopyBody(Cursor& in, sd_bus_message* out, std::string_view signature) {
    for (std::size_t at = 0; at < signature.size();) {
        const std::size_t n = CompleteType(signature.substr(at));
        if (n == 0)
            return -EBADMSG;
        if (const int r = CopyValue(in, out, signature.substr(at, n), 0); r < 0)
            return r;
        at += n;
    }
    return 0;
}

} // namespace

PeerReader::PeerReader(sd_bus* bus, int fd) : m_bus(bus), m_fd(fd), m_buffer(kReadRoom) {}

int PeerReader::Fill(int waitMs) {
    if (m_begin == m_end) {
        m_begin = m_end = 0;
    } else if (m_begin > 0 && m_buffer.size() - m_end < kReadRoom) {
        std::memmove(m_buffer.data(), m_buffer.data() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
    }
    if (m_buffer.size() - m_end < kReadRoom)
        m_buffer.resize(m_end + kReadRoom);
    iovec iov{m_buffer.data() + m_end, m_buffer.size() - m_end};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 16)];
    msghdr mh{};
    mh.msg_iov = &iov;
    mh.msg_iovlen = 1;
    mh.msg_control = control;
    mh.msg_controllen = sizeof control;
    if (waitMs != 0) {
        // Waiting in poll and then reading measured faster than one blocking read of a stream socket, though it
        // costs a system call more (see bench_calls).
        pollfd p{m_fd, POLLIN, 0};
        int r = 0;
        do {
            r = ::poll(&p, 1, waitMs);
        } while (r < 0 && errno == EINTR);
        if (r < 0)
            return -errno;
        if (r == 0)
            return -EAGAIN;
    }
    ssize_t n = 0;
    do {
        n = ::recvmsg(m_fd, &mh, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK ? (waitMs != 0 ? -EAGAIN : 0) : -errno;
    bool descriptors = (mh.msg_flags & MSG_CTRUNC) != 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&mh); c; c = CMSG_NXTHDR(&mh, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS)
            continue;
        descriptors = true;
        const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = 0; i < count; ++i) {
            int fd = -1;
            std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
            ::close(fd);
        }
    }
    if (descriptors)
        return -EBADMSG; // nothing on this channel carries descriptors
    if (n == 0)
        return -ECONNRESET;
    m_end += static_cast<std::size_t>(n);
    return 1;
}

int PeerReader::Next(sd_bus_message* call, Incoming* incoming) {
    *incoming = Incoming{};
    const std::size_t available = m_end - m_begin;
    if (available < 16)
        return 0;
    const char* data = m_buffer.data() + m_begin;
    const char endian = data[0];
    if (endian != 'l' && endian != 'B')
        return -EBADMSG;
    const bool swap = (endian == 'B') != (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__);
    Cursor head(data, 16, swap);
    std::uint8_t type = 0, flags = 0, version = 0;
    std::uint32_t bodySize = 0, serial = 0, fieldsSize = 0;
    head.seek(1);
    head.Fixed(&type);
    head.Fixed(&flags);
    head.Fixed(&version);
    head.Fixed(&bodySize);
    head.Fixed(&serial);
    head.Fixed(&fieldsSize);
    if (version != 1 || type < kMethodCall || type > kSignal || serial == 0)
        return -EBADMSG;
    const std::uint64_t fieldsEnd = 16 + std::uint64_t{fieldsSize};
    const std::uint64_t bodyStart = (fieldsEnd + 7) / 8 * 8;
    const std::uint64_t total = bodyStart + bodySize;
    if (total > kMaxMessage)
        return -EBADMSG;
    if (available < total) {
        // The rest is still on its way; make room for all of it so that one read can take it.
        if (m_buffer.size() - m_begin < total + kReadRoom)
            m_buffer.resize(m_begin + total + kReadRoom);
        return 0;
    }

    Cursor in(data, static_cast<std::size_t>(total), swap);
    in.seek(16);
    std::string_view path, interface, member, errorName, sender, signature;
    std::uint32_t replySerial = 0;
    while (in.pos() < fieldsEnd) {
        std::uint8_t code = 0;
        std::string_view fieldType;
        if (!in.Align(8) || !in.Fixed(&code) || !in.Signature(&fieldType) || fieldType.empty() ||
            CompleteType(fieldType) != fieldType.size())
            return -EBADMSG;
        bool ok = true;
        auto text = [&](char expected, std::string_view* value) {
            ok = fieldType.size() == 1 && fieldType[0] == expected &&
                 (expected == 'g' ? in.Signature(value) : in.Text(value));
        };
        switch (code) {
        case kFieldPath:
            text('o', &path);
            break;
        case kFieldInterface:
            text('s', &interface);
            break;
        case kFieldMember:
            text('s', &member);
            break;
        case kFieldErrorName:
            text('s', &errorName);
            break;
        case kFieldSender:
            text('s', &sender);
            break;
        case kFieldSignature:
            text('g', &signature);
            break;
        case kFieldReplySerial:
            ok = fieldType == "u" && in.Fixed(&replySerial) && replySerial != 0;
            break;
        case kFieldUnixFds: {
            std::uint32_t count = 0;
            ok = fieldType == "u" && in.Fixed(&count) && count == 0;
            break;
        }
        default:
            ok = CopyValue(in, nullptr, fieldType, 0) >= 0;
            break;
        }
        if (!ok)
            return -EBADMSG;
    }
    if (in.pos() != fieldsEnd || !in.Align(8))
        return -EBADMSG;

    const std::string pathText(path), interfaceText(interface), memberText(member);
    sd_bus_message* raw = nullptr;
    int r = 0;
    switch (type) {
    case kMethodCall:
        if (path.empty() || member.empty())
            return -EBADMSG;
        r = sd_bus_message_new_method_call(m_bus, &raw, nullptr, pathText.c_str(),
                                           interface.empty() ? nullptr : interfaceText.c_str(), memberText.c_str());
        break;
    case kSignal:
        if (path.empty() || interface.empty() || member.empty())
            return -EBADMSG;
        r = sd_bus_message_new_signal(m_bus, &raw, pathText.c_str(), interfaceText.c_str(), memberText.c_str());
        break;
    default: {
        if (replySerial == 0 || (type == kMethodError && errorName.empty()))
            return -EBADMSG;
        std::uint64_t cookie = 0;
        const bool ours = call && sd_bus_message_get_cookie(call, &cookie) >= 0 && cookie == replySerial;
        incoming->type = type;
        incoming->replyCookie = replySerial;
        incoming->stray = !ours;
        if (type == kMethodError) {
            incoming->errorName.assign(errorName);
            if (!signature.empty() && signature[0] == 's') {
                std::string_view text;
                Cursor body(data, static_cast<std::size_t>(total), swap);
                body.seek(static_cast<std::size_t>(bodyStart));
                if (body.Text(&text))
                    incoming->errorText.assign(text);
            }
            if (CopyBody(in, nullptr, signature) < 0 || in.pos() != total)
                return -EBADMSG;
        }
        // A reply to another call (one made without waiting, say) is built against a stand-in call carrying that
        // call's serial, so that sd-bus matches it to its callback when it is dispatched.
        MessagePtr standIn;
        sd_bus_message* request = call;
        if (!ours) {
            sd_bus_message* m = nullptr;
            r = sd_bus_message_new_method_call(m_bus, &m, nullptr, "/", nullptr, "Reply");
            standIn.reset(m);
            if (r >= 0)
                r = sd_bus_message_seal(m, replySerial, 0);
            if (r < 0)
                return r == -ENOMEM ? r : -EBADMSG;
            request = m;
        }
        if (type == kMethodError) {
            if (ours) {
                m_begin += static_cast<std::size_t>(total);
                return 1;
            }
            const sd_bus_error error = SD_BUS_ERROR_MAKE_CONST(
                incoming->errorName.c_str(), incoming->errorText.empty() ? nullptr : incoming->errorText.c_str());
            r = sd_bus_message_new_method_error(request, &raw, &error);
            if (r >= 0)
                r = sd_bus_message_seal(raw, serial, 0);
            if (r < 0) {
                sd_bus_message_unref(raw);
                return r == -ENOMEM ? r : -EBADMSG;
            }
            incoming->message.reset(raw);
            m_begin += static_cast<std::size_t>(total);
            return 1;
        }
        r = sd_bus_message_new_method_return(request, &raw);
        break;
    }
    }
    if (r < 0)
        return r;
    MessagePtr message(raw);
    r = CopyBody(in, raw, signature);
    if (r >= 0 && in.pos() != total)
        r = -EBADMSG;
    if (r >= 0 && type == kMethodCall && (flags & kNoReplyExpected))
        r = sd_bus_message_set_expect_reply(raw, 0);
    if (r >= 0 && !sender.empty())
        r = sd_bus_message_set_sender(raw, std::string(sender).c_str());
    if (r >= 0)
        r = sd_bus_message_seal(raw, serial, 0);
    if (r >= 0)
        r = sd_bus_message_rewind(raw, 1);
    if (r < 0)
        return r == -ENOMEM ? r : -EBADMSG;
    m_begin += static_cast<std::size_t>(total);
    incoming->type = type;
    incoming->replyCookie = replySerial;
    incoming->message = std::move(message);
    return 1;
}

} // namespace ole
