// A small HTTP server on the loopback interface for the version check's
// tests and benchmark: it serves files put into it by path, or (silent)
// accepts every connection and never answers, as a stuck server does.
// Requests and connections are counted so that a test can wait for the tool
// to have asked.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

class HttpTestServer {
public:
    enum class Mode { Serve, Silent };

    explicit HttpTestServer(Mode mode = Mode::Serve);
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    bool Started() const { return m_listener != kNoSocket; }
    unsigned short Port() const { return m_port; }
    // "http://127.0.0.1:<port>"
    std::wstring Address() const;

    // Answers GET path with status and body (replacing what was there), as
    // a static file that caches may keep for an hour. A path without an
    // entry gets 404.
    void Put(const std::string& path, const std::string& body, int status = 200);
    // GET requests seen for path, and connections accepted.
    int Requests(const std::string& path) const;
    int Connections() const { return m_connections; }

private:
    // A Winsock SOCKET; kept as its integer type so that this header does
    // not need winsock2.h before every windows.h of its includers.
    using Socket = std::uintptr_t;
    static constexpr Socket kNoSocket = ~Socket{0};
    struct Reply {
        int status;
        std::string body;
    };
    void Run();
    void Answer(Socket s);

    Mode m_mode;
    Socket m_listener = kNoSocket;
    unsigned short m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    mutable std::mutex m_lock;
    std::map<std::string, Reply> m_replies;
    std::map<std::string, int> m_requests;
    std::vector<Socket> m_held;  // silent mode: open until the server stops
    std::thread m_thread;
};

// A loopback port on which nothing listens (connections are refused).
unsigned short RefusedPort();

}  // namespace e2e
