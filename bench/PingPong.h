// The raw reference for call benchmarks: four bytes there and back over a socket pair between this process and a
// child that echoes them, each side blocking in its read.
#pragma once

#include <algorithm>
#include <chrono>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

class RawPingPong {
public:
    RawPingPong() {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
            return;
        m_child = ::fork();
        if (m_child == 0) {
            ::close(fds[0]);
            char buf[4];
            while (::read(fds[1], buf, sizeof buf) == sizeof buf &&
                   ::send(fds[1], buf, sizeof buf, MSG_NOSIGNAL) == 4) {
            }
            _exit(0);
        }
        ::close(fds[1]);
        m_fd = m_child > 0 ? fds[0] : -1;
        if (m_fd < 0)
            ::close(fds[0]);
    }
    RawPingPong(const RawPingPong&) = delete;
    RawPingPong& operator=(const RawPingPong&) = delete;
    ~RawPingPong() {
        if (m_fd >= 0)
            ::close(m_fd);
        if (m_child > 0)
            ::waitpid(m_child, nullptr, 0);
    }
    bool valid() const { return m_fd >= 0; }
    pid_t child() const { return m_child; }

    bool Once() const {
        char buf[4] = {'p', 'i', 'n', 'g'};
        return ::send(m_fd, buf, sizeof buf, MSG_NOSIGNAL) == sizeof buf && ::read(m_fd, buf, sizeof buf) == sizeof buf;
    }
    // Microseconds per round trip over `calls` round trips; negative when the partner is gone.
    double Microseconds(int calls) const {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < calls; ++i)
            if (!Once())
                return -1;
        return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count() / calls;
    }
    // The median of `rounds` rounds of `calls` round trips: steady against a busy moment of a shared machine.
    double MedianMicroseconds(int rounds, int calls) const {
        std::vector<double> v;
        for (int r = 0; r < rounds; ++r)
            v.push_back(Microseconds(calls));
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }

private:
    int m_fd = -1;
    pid_t m_child = -1;
};
