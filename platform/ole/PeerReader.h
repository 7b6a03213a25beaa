// The client's reading side of a private channel. sd-bus reads a message in two reads (its fixed header, then the
// rest) and, waiting for a reply, first tries a read that fails before it polls. This reader waits for the reply in
// poll and then takes whatever the socket holds in one read, and hands each whole message to sd-bus as a message of
// its own, so handlers, matching and marshaling stay sd-bus's. Once a connection's reader is active, sd-bus never
// reads the socket again.
#pragma once

#include "platform/ole/Bus.h"

#include <cstdint>
#include <vector>

namespace ole {

class PeerReader {
public:
    PeerReader(sd_bus* bus, int fd);
    PeerReader(const PeerReader&) = delete;
    PeerReader& operator=(const PeerReader&) = delete;

    // One read of what the socket holds; with `waitMs` (-1: no limit), waits that long for something to come
    // first. 1 when bytes came, 0 when nothing was there, -EAGAIN when the wait ran out, -ECONNRESET at the end of
    // the stream, another negative errno on failure.
    int Fill(int waitMs);

    // Takes the next whole message out of the buffer: 1 with `*message`, 0 when no whole message is buffered,
    // -EBADMSG for bytes that are not a valid message. A reply to `call` (when given) is built against it; a reply
    // to anything else comes back with `stray` set, as a message for sd-bus's queue. An error reply to `call` comes
    // back as its name and text only.
    struct Incoming {
        MessagePtr message;
        std::uint8_t type = 0;
        std::uint64_t replyCookie = 0;
        bool stray = false;
        std::string errorName;
        std::string errorText;
    };
    int Next(sd_bus_message* call, Incoming* incoming);

    bool HasBuffered() const { return m_end > m_begin; }

private:
    sd_bus* m_bus;
    int m_fd;
    std::vector<char> m_buffer;
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
};

} // namespace ole
