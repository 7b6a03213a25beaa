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
    std::size_t Pos() const { return m_pos; }
    void Seek(std::size_t pos) { m_pos = pos; }

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
    // A string or object path: a 32-bit length, the bytes and a terminating zero, with no zero inside.
    bool Text(std::string_view* text) { return Counted<std::uint32_t>(text); }
    // A signature: the same with an 8-bit length.
    bool Signature(std::string_view* text) { return Counted<std::uint8_t>(text); }
    // A value of the string type `code` ('s', 'o' or 'g').
    bool String(char code, std::string_view* text) { return code == 'g' ? Signature(text) : Text(text); }

private:
    template <class Length> bool Counted(std::string_view* text) {
        Length n = 0;
        if (!Fixed(&n) || m_size - m_pos <= n || m_data[m_pos + n] != '\0')
            return false;
        *text = std::string_view(m_data + m_pos, n);
        if (text->find('\0') != std::string_view::npos)
            return false;
        m_pos += std::size_t{n} + 1;
        return true;
    }

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

// Opens a container of `kind` holding `contents` in `out` (when there is one), copies into it what `copy` copies, and
// closes it.
template <class Copy> int CopyContainer(sd_bus_message* out, char kind, std::string_view contents, Copy copy) {
    int r = out ? sd_bus_message_open_container(out, kind, std::string(contents).c_str()) : 0;
    if (r >= 0)
        r = copy();
    if (r >= 0 && out)
        r = sd_bus_message_close_container(out);
    return r;
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
    case 'o':
    case 'g': {
        std::string_view text;
        if (!in.String(type[0], &text))
            return -EBADMSG;
        return out ? sd_bus_message_append_basic(out, type[0], std::string(text).c_str()) : 0;
    }
    case 'v': {
        std::string_view inner;
        if (!in.Signature(&inner) || inner.empty() || CompleteType(inner) != inner.size())
            return -EBADMSG;
        return CopyContainer(out, 'v', inner, [&] { return CopyValue(in, out, inner, depth + 1); });
    }
    case 'a': {
        std::uint32_t length = 0;
        if (!in.Fixed(&length) || length > kMaxArray)
            return -EBADMSG;
        const std::string_view element = type.substr(1);
        if (!in.Align(AlignmentOf(element[0])))
            return -EBADMSG;
        const std::size_t end = in.Pos() + length;
        return CopyContainer(out, 'a', element, [&] {
            int r = 0;
            while (r >= 0 && in.Pos() < end)
                r = CopyValue(in, out, element, depth + 1);
            return r >= 0 && in.Pos() != end ? -EBADMSG : r;
        });
    }
    case '(':
    case '{': {
        if (!in.Align(8))
            return -EBADMSG;
        const std::string_view members = type.substr(1, type.size() - 2);
        return CopyContainer(out, type[0] == '(' ? 'r' : 'e', members, [&] {
            int r = 0;
            for (std::size_t at = 0; r >= 0 && at < members.size();) {
                const std::size_t n = CompleteType(members.substr(at));
                if (n == 0)
                    return -EBADMSG;
                r = CopyValue(in, out, members.substr(at, n), depth + 1);
                at += n;
            }
            return r;
        });
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

// The fixed start of a message's header: its first 16 bytes, and where its parts end.
struct Header {
    std::uint8_t type = 0;
    std::uint8_t flags = 0;
    std::uint32_t serial = 0;
    bool swap = false;
    std::uint64_t fieldsEnd = 0;
    std::uint64_t bodyStart = 0;
    std::uint64_t total = 0;
};

// Reads the first 16 bytes of `data`; -EBADMSG when they start no valid message.
int ReadHeader(const char* data, Header* h) {
    const char endian = data[0];
    if (endian != 'l' && endian != 'B')
        return -EBADMSG;
    h->swap = (endian == 'B') != (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__);
    Cursor head(data, 16, h->swap);
    std::uint8_t version = 0;
    std::uint32_t bodySize = 0, fieldsSize = 0;
    head.Seek(1);
    head.Fixed(&h->type);
    head.Fixed(&h->flags);
    head.Fixed(&version);
    head.Fixed(&bodySize);
    head.Fixed(&h->serial);
    head.Fixed(&fieldsSize);
    if (version != 1 || h->type < kMethodCall || h->type > kSignal || h->serial == 0)
        return -EBADMSG;
    h->fieldsEnd = 16 + std::uint64_t{fieldsSize};
    h->bodyStart = (h->fieldsEnd + 7) / 8 * 8;
    h->total = h->bodyStart + bodySize;
    return h->total > kMaxMessage ? -EBADMSG : 0;
}

// The header fields this reader uses; the others are only checked.
struct Fields {
    std::string_view path, interface, member, errorName, sender, signature;
    std::uint32_t replySerial = 0;
};

// The fields whose value is a string, each with the only type it may have.
struct TextField {
    std::uint8_t code;
    char type;
    std::string_view Fields::*value;
};
constexpr TextField kTextFields[] = {
    {kFieldPath, 'o', &Fields::path},     {kFieldInterface, 's', &Fields::interface},
    {kFieldMember, 's', &Fields::member}, {kFieldErrorName, 's', &Fields::errorName},
    {kFieldSender, 's', &Fields::sender}, {kFieldSignature, 'g', &Fields::signature},
};

bool ReadField(Cursor& in, std::uint8_t code, std::string_view type, Fields* fields) {
    for (const TextField& field : kTextFields)
        if (field.code == code)
            return type.size() == 1 && type[0] == field.type && in.String(field.type, &(fields->*field.value));
    switch (code) {
    case kFieldReplySerial:
        return type == "u" && in.Fixed(&fields->replySerial) && fields->replySerial != 0;
    case kFieldUnixFds: {
        std::uint32_t count = 0;
        return type == "u" && in.Fixed(&count) && count == 0;
    }
    default:
        return CopyValue(in, nullptr, type, 0) >= 0;
    }
}

// Reads the header fields, which end at `end`, and the padding after them.
bool ReadFields(Cursor& in, std::uint64_t end, Fields* fields) {
    while (in.Pos() < end) {
        std::uint8_t code = 0;
        std::string_view type;
        if (!in.Align(8) || !in.Fixed(&code) || !in.Signature(&type) || type.empty() ||
            CompleteType(type) != type.size() || !ReadField(in, code, type, fields))
            return false;
    }
    return in.Pos() == end && in.Align(8);
}

// What a failure to build sd-bus's message means to the caller: out of memory, or bytes that make no valid message.
int BuildFailure(int r) {
    return r == -ENOMEM ? r : -EBADMSG;
}

// A call or a signal as a message of sd-bus's own, its body still to come.
int NewRequest(sd_bus* bus, std::uint8_t type, const Fields& f, sd_bus_message** raw) {
    const std::string path(f.path), interface(f.interface), member(f.member);
    if (type == kMethodCall) {
        if (f.path.empty() || f.member.empty())
            return -EBADMSG;
        return sd_bus_message_new_method_call(bus, raw, nullptr, path.c_str(),
                                              f.interface.empty() ? nullptr : interface.c_str(), member.c_str());
    }
    if (f.path.empty() || f.interface.empty() || f.member.empty())
        return -EBADMSG;
    return sd_bus_message_new_signal(bus, raw, path.c_str(), interface.c_str(), member.c_str());
}

// A reply to another call (one made without waiting, say) is built against a stand-in call carrying that call's
// serial, so that sd-bus matches it to its callback when it is dispatched.
int NewStandIn(sd_bus* bus, std::uint32_t serial, MessagePtr* standIn) {
    sd_bus_message* m = nullptr;
    int r = sd_bus_message_new_method_call(bus, &m, nullptr, "/", nullptr, "Reply");
    standIn->reset(m);
    if (r >= 0)
        r = sd_bus_message_seal(m, serial, 0);
    return r;
}

// An error reply's name, and its text when its first argument is a string; false when its body does not hold
// what its signature says.
bool ReadError(Cursor& in, const char* data, const Header& h, const Fields& f, PeerReader::Incoming* incoming) {
    incoming->errorName.assign(f.errorName);
    if (!f.signature.empty() && f.signature[0] == 's') {
        std::string_view text;
        Cursor body(data, static_cast<std::size_t>(h.total), h.swap);
        body.Seek(static_cast<std::size_t>(h.bodyStart));
        if (body.Text(&text))
            incoming->errorText.assign(text);
    }
    return CopyBody(in, nullptr, f.signature) >= 0 && in.Pos() == h.total;
}

// The error reply read into `incoming` as a message of sd-bus's own, answering `request`.
int NewErrorReply(sd_bus_message* request, std::uint32_t serial, PeerReader::Incoming* incoming) {
    const sd_bus_error error = SD_BUS_ERROR_MAKE_CONST(
        incoming->errorName.c_str(), incoming->errorText.empty() ? nullptr : incoming->errorText.c_str());
    sd_bus_message* raw = nullptr;
    int r = sd_bus_message_new_method_error(request, &raw, &error);
    MessagePtr message(raw);
    if (r >= 0)
        r = sd_bus_message_seal(raw, serial, 0);
    if (r >= 0)
        incoming->message = std::move(message);
    return r;
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
    Header h;
    if (const int r = ReadHeader(data, &h); r < 0)
        return r;
    if (available < h.total) {
        // The rest is still on its way; make room for all of it so that one read can take it.
        if (m_buffer.size() - m_begin < h.total + kReadRoom)
            m_buffer.resize(m_begin + h.total + kReadRoom);
        return 0;
    }
    const auto total = static_cast<std::size_t>(h.total);
    Cursor in(data, total, h.swap);
    in.Seek(16);
    Fields f;
    if (!ReadFields(in, h.fieldsEnd, &f))
        return -EBADMSG;

    sd_bus_message* raw = nullptr;
    int r = 0;
    if (h.type == kMethodCall || h.type == kSignal) {
        r = NewRequest(m_bus, h.type, f, &raw);
    } else {
        if (f.replySerial == 0 || (h.type == kMethodError && f.errorName.empty()))
            return -EBADMSG;
        std::uint64_t cookie = 0;
        const bool ours = call && sd_bus_message_get_cookie(call, &cookie) >= 0 && cookie == f.replySerial;
        incoming->type = h.type;
        incoming->replyCookie = f.replySerial;
        incoming->stray = !ours;
        if (h.type == kMethodError) {
            if (!ReadError(in, data, h, f, incoming))
                return -EBADMSG;
            if (ours) {
                m_begin += total;
                return 1;
            }
        }
        MessagePtr standIn;
        if (!ours && (r = NewStandIn(m_bus, f.replySerial, &standIn)) < 0)
            return BuildFailure(r);
        sd_bus_message* request = ours ? call : standIn.get();
        if (h.type == kMethodError) {
            if ((r = NewErrorReply(request, h.serial, incoming)) < 0)
                return BuildFailure(r);
            m_begin += total;
            return 1;
        }
        r = sd_bus_message_new_method_return(request, &raw);
    }
    if (r < 0)
        return r;
    MessagePtr message(raw);
    r = CopyBody(in, raw, f.signature);
    if (r >= 0 && in.Pos() != total)
        r = -EBADMSG;
    if (r >= 0 && h.type == kMethodCall && (h.flags & kNoReplyExpected))
        r = sd_bus_message_set_expect_reply(raw, 0);
    if (r >= 0 && !f.sender.empty())
        r = sd_bus_message_set_sender(raw, std::string(f.sender).c_str());
    if (r >= 0)
        r = sd_bus_message_seal(raw, h.serial, 0);
    if (r >= 0)
        r = sd_bus_message_rewind(raw, 1);
    if (r < 0)
        return BuildFailure(r);
    m_begin += total;
    incoming->type = h.type;
    incoming->replyCookie = f.replySerial;
    incoming->message = std::move(message);
    return 1;
}

} // namespace ole
