// winsock2.h must come before windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "tests/e2e/HttpTestServer.h"

namespace e2e {

namespace {

// Winsock for as long as a server or a port probe needs it.
struct Winsock {
    Winsock() { ok = ::WSAStartup(MAKEWORD(2, 2), &data) == 0; }
    ~Winsock() {
        if (ok) ::WSACleanup();
    }
    WSADATA data{};
    bool ok = false;
};

SOCKET ListenOnLoopback(unsigned short* port) {
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return s;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    int len = sizeof addr;
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(s, 16) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::closesocket(s);
        return INVALID_SOCKET;
    }
    *port = ntohs(addr.sin_port);
    return s;
}

const char* StatusText(int status) {
    switch (status) {
    case 200: return "OK";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    }
    return "Status";
}

}  // namespace

HttpTestServer::HttpTestServer(Mode mode) : m_mode(mode) {
    static Winsock winsock;  // for the whole test program
    if (!winsock.ok) return;
    m_listener = ListenOnLoopback(&m_port);
    if (m_listener != kNoSocket) m_thread = std::thread([this] { Run(); });
}

HttpTestServer::~HttpTestServer() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    for (Socket s : m_held) ::closesocket(s);
    if (m_listener != kNoSocket) ::closesocket(m_listener);
}

std::wstring HttpTestServer::Address() const { return L"http://127.0.0.1:" + std::to_wstring(m_port); }

void HttpTestServer::Put(const std::string& path, const std::string& body, int status) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_replies[path] = Reply{status, body};
}

int HttpTestServer::Requests(const std::string& path) const {
    std::lock_guard<std::mutex> lock(m_lock);
    const auto it = m_requests.find(path);
    return it == m_requests.end() ? 0 : it->second;
}

void HttpTestServer::Run() {
    while (!m_stop) {
        // Short waits, so that the destructor's stop is seen at once.
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(m_listener, &readable);
        timeval wait{0, 50 * 1000};
        if (::select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
        SOCKET s = ::accept(m_listener, nullptr, nullptr);
        if (s == INVALID_SOCKET) continue;
        ++m_connections;
        if (m_mode == Mode::Silent) {
            m_held.push_back(s);
            continue;
        }
        Answer(s);
        ::closesocket(s);
    }
}

void HttpTestServer::Answer(Socket s) {
    DWORD timeoutMs = 5000;
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs);
    std::string request;
    char buffer[2048];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 64 * 1024) {
        const int n = ::recv(s, buffer, sizeof buffer, 0);
        if (n <= 0) return;
        request.append(buffer, static_cast<size_t>(n));
    }
    // "GET /path?query HTTP/1.1"
    const size_t start = request.find(' ');
    const size_t end = start == std::string::npos ? start : request.find(' ', start + 1);
    if (end == std::string::npos) return;
    std::string path = request.substr(start + 1, end - start - 1);
    path = path.substr(0, path.find('?'));

    Reply reply{404, "not here\n"};
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_requests[path];
        const auto it = m_replies.find(path);
        if (it != m_replies.end()) reply = it->second;
    }
    std::string response = "HTTP/1.0 " + std::to_string(reply.status) + " " + StatusText(reply.status) + "\r\n";
    response += "Content-Type: text/plain\r\nCache-Control: max-age=3600\r\n";
    response += "Content-Length: " + std::to_string(reply.body.size()) + "\r\nConnection: close\r\n\r\n";
    response += reply.body;
    size_t sent = 0;
    while (sent < response.size()) {
        const int n = ::send(s, response.data() + sent, static_cast<int>(response.size() - sent), 0);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
    }
    ::shutdown(s, SD_SEND);
}

unsigned short RefusedPort() {
    static Winsock winsock;
    unsigned short port = 0;
    SOCKET s = ListenOnLoopback(&port);
    if (s != INVALID_SOCKET) ::closesocket(s);
    return port;
}

}  // namespace e2e
