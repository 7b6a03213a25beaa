// A served object and its proxy over a private channel in one process: the server half runs its own transport on a
// thread of its own, the client half on the test's thread, as two processes would.
#pragma once

#include "automation/NavilonixMarshal.h"
#include "platform/ole/Transport.h"
#include "tests/support/FakeAutomation.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <sys/socket.h>
#include <thread>
#include <vector>

class ServerThread {
public:
    // Serves `object` itself, or, with a factory, the object the factory makes on first use.
    ServerThread(ComPtr<FakeAutomation> object, int fd, FakeFactory* factory = nullptr) {
        std::promise<void> ready;
        auto started = ready.get_future();
        m_thread = std::thread([this, object, fd, factory, &ready] {
            ole::DBusTransport transport;
            m_transport = &transport;
            ole::Connection* c = transport.Adopt(ole::Connection::OpenPeer(fd, ole::Connection::Kind::PeerServer));
            std::unique_ptr<ole::ExportedObject> byClass;
            if (factory) {
                byClass = std::make_unique<ole::ExportedObject>(transport, IID_NULL);
                byClass->SetClassObject(factory);
                byClass->Attach(*c);
            } else {
                transport.Serve(*c, static_cast<INavilonixAutomation*>(object.get()));
            }
            ready.set_value();
            while (!m_stop) {
                transport.RunOnce(20);
                RunTasks();
            }
            byClass.reset();
            m_transport = nullptr;
        });
        started.wait();
    }
    ServerThread(const ServerThread&) = delete;
    ServerThread& operator=(const ServerThread&) = delete;
    ~ServerThread() { Stop(); }

    // Ends the server: its transport and channel go away, as when the process dies.
    void Stop() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    // Runs `f` on the server's thread and waits for it.
    void Run(std::function<void()> f) {
        std::promise<void> done;
        auto finished = done.get_future();
        {
            std::lock_guard lock(m_mutex);
            m_tasks.push_back([&] {
                f();
                done.set_value();
            });
        }
        m_transport.load()->Schedule();
        finished.wait();
    }

private:
    void RunTasks() {
        std::vector<std::function<void()>> tasks;
        {
            std::lock_guard lock(m_mutex);
            tasks.swap(m_tasks);
        }
        for (auto& t : tasks)
            t();
    }

    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<ole::DBusTransport*> m_transport{nullptr};
    std::mutex m_mutex;
    std::vector<std::function<void()>> m_tasks;
};

class PeerFixture : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterNavilonixMarshaling();
        int fds[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        server = std::make_unique<ServerThread>(fake, fds[0], byClassObject ? &factory : nullptr);
        client = std::make_unique<ole::DBusTransport>();
        channel = client->Adopt(ole::Connection::OpenPeer(fds[1], ole::Connection::Kind::PeerClient));
        ASSERT_NE(channel, nullptr);
        ComPtr<IUnknown> unknown;
        ASSERT_EQ(client->ConnectPeer(*channel, unknown.out()), S_OK);
        HRESULT hr = E_FAIL;
        automation = ComPtr<INavilonixAutomation>::QueryFrom(unknown.get(), &hr);
        ASSERT_EQ(hr, S_OK);
    }
    void TearDown() override {
        automation.reset();
        client.reset();
        server.reset();
    }
    // Runs the client's loop until `done` holds; false when it did not within five seconds.
    bool RunUntil(const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            client->RunOnce(20);
        }
        return true;
    }

    bool byClassObject = false; // set before SetUp to serve through a class object
    ComPtr<FakeAutomation> fake = FakeAutomation::Create();
    FakeFactory factory{fake};
    std::unique_ptr<ServerThread> server;
    std::unique_ptr<ole::DBusTransport> client;
    ole::Connection* channel = nullptr;
    ComPtr<INavilonixAutomation> automation;
};
