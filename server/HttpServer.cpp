#include "server/HttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <openssl/err.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <thread>

namespace tavi::serve {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Set while the accepting thread itself runs a connection that found every thread taken: it
// is refused at once.
thread_local bool t_serverFull = false;

// A thread for each connection, up to `max` at once. Threads wait for the next connection for
// a while before they end, so that clients which open a connection for each request do not
// cost a new thread each time.
class ConnectionThreads : public httplib::TaskQueue {
public:
    explicit ConnectionThreads(size_t max) : m_max(max) {}

    void enqueue(std::function<void()> fn) override {
        {
            std::lock_guard lock(m_mutex);
            if (m_idle > m_waiting.size() || m_threads < m_max) {
                m_waiting.push_back(std::move(fn));
                if (m_idle >= m_waiting.size()) {
                    m_wake.notify_one();
                } else {
                    ++m_threads;
                    std::thread(&ConnectionThreads::Serve, this).detach();
                }
                return;
            }
        }
        t_serverFull = true;
        fn();
        t_serverFull = false;
    }

    // Waits for the connections to end (they see that the server stops between requests).
    void shutdown() override {
        std::unique_lock lock(m_mutex);
        m_stopping = true;
        m_wake.notify_all();
        m_ended.wait(lock, [&] { return m_threads == 0; });
    }

private:
    static constexpr std::chrono::seconds kKeepIdle{30};

    void Serve() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            ++m_idle;
            m_wake.wait_for(lock, kKeepIdle, [&] { return !m_waiting.empty() || m_stopping; });
            --m_idle;
            if (m_waiting.empty()) break;
            std::function<void()> fn = std::move(m_waiting.front());
            m_waiting.pop_front();
            lock.unlock();
            fn();
            fn = nullptr;
            lock.lock();
        }
        if (--m_threads == 0) m_ended.notify_all();
    }

    size_t m_max;
    size_t m_threads = 0, m_idle = 0;
    bool m_stopping = false;
    std::deque<std::function<void()>> m_waiting;
    std::mutex m_mutex;
    std::condition_variable m_wake, m_ended;
};

bool EqualsNoCase(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

}  // namespace

// One client connection as the stream the library reads requests from and writes responses
// to: plain or TLS, non-blocking, every wait bounded by the I/O time and by the deadline of
// the request being read.
class HttpServer::Connection : public httplib::Stream {
public:
    Connection(socket_t sock, const ConnectionLimits& limits) : m_sock(sock), m_limits(limits) {
        fcntl(sock, F_SETFL, fcntl(sock, F_GETFL) | O_NONBLOCK);
        sockaddr_storage address{};
        socklen_t size = sizeof address;
        if (getpeername(sock, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
            char host[64] = "";
            const void* raw = address.ss_family == AF_INET6
                                  ? static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(&address)->sin6_addr)
                                  : static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(&address)->sin_addr);
            inet_ntop(address.ss_family, raw, host, sizeof host);
            m_address = host;
            m_port = ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                                                         : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
        }
    }
    ~Connection() override {
        if (m_ssl) SSL_free(m_ssl);
    }

    const std::string& Address() const { return m_address; }
    bool Expired() const { return m_expired; }

    // The TLS handshake, within the time of a request's headers.
    bool Handshake(SSL_CTX* context) {
        m_ssl = SSL_new(context);
        if (!m_ssl || SSL_set_fd(m_ssl, m_sock) != 1) return false;
        Clock::time_point deadline = m_opened + std::chrono::seconds(m_limits.headerSeconds);
        for (;;) {
            int rc = SSL_accept(m_ssl);
            if (rc == 1) return true;
            int error = SSL_get_error(m_ssl, rc);
            short events = error == SSL_ERROR_WANT_READ ? POLLIN : error == SSL_ERROR_WANT_WRITE ? POLLOUT : 0;
            if (!events || !Wait(events, std::min(deadline, Clock::now() + IoTime()))) {
                ERR_clear_error();
                m_broken = true;
                return false;
            }
        }
    }

    // Waits for the first byte of the next request: for a connection's first request within
    // the time of its headers, later within the keep-alive time. False when none comes or the
    // server stops. Starts the request's deadline.
    bool WaitForRequest(bool first, const std::atomic<socket_t>& listening) {
        Clock::time_point until = first ? m_opened + std::chrono::seconds(m_limits.headerSeconds)
                                        : Clock::now() + std::chrono::seconds(m_limits.keepAliveSeconds);
        while (m_begin == m_end && !(m_ssl && SSL_pending(m_ssl) > 0)) {
            if (listening == INVALID_SOCKET) return false;
            // Short waits, so that a stopping server is seen soon.
            if (Wait(POLLIN, std::min(until, Clock::now() + 200ms))) break;
            if (Clock::now() >= until || m_broken) return false;
        }
        m_requestDeadline = first ? until : Clock::now() + std::chrono::seconds(m_limits.headerSeconds);
        m_inHeaders = true;
        m_tail = 0;
        m_bodyBytes = 0;
        refusal = 0;
        closeAfter = false;
        return true;
    }

    // Answers 503 without reading the request (the server or the client's address is full).
    void RefuseFull() {
        static const std::string body = R"({"error":"接続が多すぎます。数秒待ってから、もう一度お試しください。"})";
        const std::string response =
            "HTTP/1.1 503 Service Unavailable\r\nContent-Type: application/json\r\n"
            "Content-Length: " +
            std::to_string(body.size()) +
            "\r\nRetry-After: 5\r\nX-Content-Type-Options: nosniff\r\nConnection: "
            "close\r\n\r\n" +
            body;
        if (!m_ssl) send(m_sock, response.data(), response.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    }

    // Closes the connection; with `linger`, first reads what the client still sends (for up to
    // a second), so that it sees the response instead of a reset.
    void Close(bool linger) {
        if (m_ssl && !m_broken) SSL_shutdown(m_ssl);
        ERR_clear_error();
        if (linger) {
            shutdown(m_sock, SHUT_WR);
            Clock::time_point until = Clock::now() + 1s;
            char buffer[16384];
            while (Wait(POLLIN, until) && recv(m_sock, buffer, sizeof buffer, 0) > 0) {
            }
        }
        shutdown(m_sock, SHUT_RDWR);
        close(m_sock);
    }

    bool is_readable() const override {
        return m_begin < m_end || (m_ssl && SSL_pending(m_ssl) > 0) || Poll(POLLIN, IoTime()) > 0;
    }
    bool is_writable() const override { return !m_broken && Poll(POLLOUT, IoTime()) > 0; }

    ssize_t read(char* ptr, size_t size) override {
        if (m_begin == m_end && !Fill()) return m_eof ? 0 : -1;
        size_t n = std::min(size, m_end - m_begin);
        std::memcpy(ptr, m_buffer + m_begin, n);
        m_begin += n;
        Delivered(ptr, n);
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char* ptr, size_t size) override {
        size_t done = 0;
        while (done < size) {
            ssize_t n = Transfer(false, const_cast<char*>(ptr) + done, size - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else if (n != kWouldBlock || !Wait(m_events, Clock::now() + IoTime())) {
                m_broken = true;
                return -1;
            }
        }
        return static_cast<ssize_t>(done);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = m_address;
        port = m_port;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        sockaddr_storage address{};
        socklen_t size = sizeof address;
        ip.clear();
        port = -1;
        if (getsockname(m_sock, reinterpret_cast<sockaddr*>(&address), &size) != 0 || address.ss_family != AF_INET)
            return;
        char host[INET_ADDRSTRLEN] = "";
        auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
        inet_ntop(AF_INET, &v4->sin_addr, host, sizeof host);
        ip = host;
        port = ntohs(v4->sin_port);
    }
    socket_t socket() const override { return m_sock; }

    // Set by the request's framing or a handler: answered with this status without reading the
    // body (0: none); the connection closed after the response.
    int refusal = 0;
    std::string refusalMessage;
    bool closeAfter = false;

private:
    static constexpr ssize_t kWouldBlock = -1, kFailed = -2;

    std::chrono::seconds IoTime() const { return std::chrono::seconds(m_limits.ioSeconds); }

    // When the bytes read so far must have come: the headers by their deadline; a body by the
    // end of its grace, moved on by each byte as the minimum rate allows.
    Clock::time_point Deadline() const {
        if (m_inHeaders) return m_requestDeadline;
        auto earned = std::chrono::duration<double>(static_cast<double>(m_bodyBytes) /
                                                    static_cast<double>(std::max<size_t>(m_limits.minBodyRate, 1)));
        return m_bodyStart + std::chrono::seconds(m_limits.headerSeconds) +
               std::chrono::duration_cast<Clock::duration>(earned);
    }

    // Follows the request through its bytes: the headers end at the first empty line.
    void Delivered(const char* data, size_t size) {
        if (!m_inHeaders) {
            m_bodyBytes += size;
            return;
        }
        for (size_t k = 0; k < size; ++k) {
            m_tail = (m_tail << 8) | static_cast<unsigned char>(data[k]);
            if (m_tail == 0x0d0a0d0a) {
                m_inHeaders = false;
                m_bodyStart = Clock::now();
                m_bodyBytes = size - k - 1;
                return;
            }
        }
    }

    // Reads the next bytes into the buffer; false at the end, on an error or at the deadline.
    bool Fill() {
        m_begin = m_end = 0;
        for (;;) {
            ssize_t n = Transfer(true, m_buffer, sizeof m_buffer);
            if (n > 0) {
                m_end = static_cast<size_t>(n);
                return true;
            }
            if (n == 0) m_eof = true;
            if (n != kWouldBlock) return false;
            Clock::time_point deadline = Deadline();
            if (!Wait(m_events, std::min(deadline, Clock::now() + IoTime()))) {
                if (Clock::now() >= deadline) m_expired = true;
                return false;
            }
        }
    }

    // One read or write of the transport: the bytes moved, 0 at the end of the stream,
    // kWouldBlock (with m_events to wait for) or kFailed.
    ssize_t Transfer(bool reading, char* data, size_t size) {
        if (!m_ssl) {
            ssize_t n = reading ? recv(m_sock, data, size, 0) : send(m_sock, data, size, MSG_NOSIGNAL);
            if (n >= 0) return n;
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return kFailed;
            m_events = reading ? POLLIN : POLLOUT;
            return kWouldBlock;
        }
        int length = static_cast<int>(std::min<size_t>(size, INT_MAX));
        int n = reading ? SSL_read(m_ssl, data, length) : SSL_write(m_ssl, data, length);
        if (n > 0) return n;
        switch (SSL_get_error(m_ssl, n)) {
            case SSL_ERROR_WANT_READ:
                m_events = POLLIN;
                return kWouldBlock;
            case SSL_ERROR_WANT_WRITE:
                m_events = POLLOUT;
                return kWouldBlock;
            case SSL_ERROR_ZERO_RETURN:
                return 0;
            default:
                ERR_clear_error();
                m_broken = true;
                return kFailed;
        }
    }

    int Poll(short events, Clock::duration timeout) const {
        pollfd p{m_sock, events, 0};
        int ms = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(timeout).count());
        int rc;
        do rc = poll(&p, 1, std::max(ms, 0));
        while (rc < 0 && errno == EINTR);
        return rc;
    }

    // Waits until the socket is ready for `events` or `until` has come; false at that time.
    bool Wait(short events, Clock::time_point until) const {
        Clock::time_point now = Clock::now();
        return now < until && Poll(events, until - now) > 0;
    }

    socket_t m_sock;
    const ConnectionLimits& m_limits;
    SSL* m_ssl = nullptr;
    std::string m_address;
    int m_port = -1;
    Clock::time_point m_opened = Clock::now(), m_requestDeadline = m_opened, m_bodyStart;
    bool m_inHeaders = true, m_expired = false, m_eof = false, m_broken = false;
    uint32_t m_tail = 0;
    size_t m_bodyBytes = 0;
    short m_events = POLLIN;
    char m_buffer[16384];
    size_t m_begin = 0, m_end = 0;
};

thread_local HttpServer::Connection* HttpServer::s_current = nullptr;

HttpServer::HttpServer(ConnectionLimits limits) : m_limits(limits) {
    size_t threads = m_limits.maxConnections;
    new_task_queue = [threads] { return new ConnectionThreads(threads); };
    set_payload_max_length(m_limits.maxBody);
    set_keep_alive_max_count(m_limits.keepAliveRequests);
    set_keep_alive_timeout(m_limits.keepAliveSeconds);
    auto refuse = [](const httplib::Request& req, httplib::Response& res) {
        res.status = s_current->refusal;
        res.set_content("{\"error\":\"" + s_current->refusalMessage + "\"}", "application/json");
        if (req.get_header_value("Connection") != "close") res.set_header("Connection", "close");
        s_current->closeAfter = true;
    };
    set_pre_routing_handler([refuse](const httplib::Request& req, httplib::Response& res) {
        if (!s_current || s_current->refusal == 0) return HandlerResponse::Unhandled;
        refuse(req, res);
        return HandlerResponse::Handled;
    });
    // A client that waits for "100 Continue" before its body gets the refusal instead.
    set_expect_100_continue_handler([refuse](const httplib::Request& req, httplib::Response& res) {
        if (!s_current || s_current->refusal == 0) return 100;
        refuse(req, res);
        return res.status;
    });
}

HttpServer::~HttpServer() {
    if (m_tls) SSL_CTX_free(m_tls);
}

bool HttpServer::UseTls(const std::string& certFile, const std::string& keyFile, std::string& error) {
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    bool ok = context && SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION) == 1 &&
              SSL_CTX_use_certificate_chain_file(context, certFile.c_str()) == 1 &&
              SSL_CTX_use_PrivateKey_file(context, keyFile.c_str(), SSL_FILETYPE_PEM) == 1 &&
              SSL_CTX_check_private_key(context) == 1;
    ERR_clear_error();
    if (!ok) {
        SSL_CTX_free(context);
        error = "証明書 " + certFile + " または秘密鍵 " + keyFile + " を読み込めません。";
        return false;
    }
    SSL_CTX_set_options(context, SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION);
    if (m_tls) SSL_CTX_free(m_tls);
    m_tls = context;
    return true;
}

std::string HttpServer::TooLarge() const {
    return "送るデータが大きすぎます。1 回に送れるのは " + std::to_string(m_limits.maxBody >> 20) +
           " MB までです。ファイルを分けて送ってください。";
}

void HttpServer::CloseAfterResponse() {
    if (s_current) s_current->closeAfter = true;
}

bool HttpServer::Admit(const std::string& address) {
    std::lock_guard lock(m_mutex);
    size_t& open = m_perAddress[address];
    if (open >= m_limits.maxPerAddress) return false;
    ++open;
    return true;
}

void HttpServer::Release(const std::string& address) {
    std::lock_guard lock(m_mutex);
    if (auto it = m_perAddress.find(address); it != m_perAddress.end() && --it->second == 0) m_perAddress.erase(it);
}

bool HttpServer::process_and_close_socket(socket_t sock) {
    Connection connection(sock, m_limits);
    if (t_serverFull) {
        connection.RefuseFull();
        connection.Close(false);
        return false;
    }
    if (!Admit(connection.Address())) {
        connection.RefuseFull();
        connection.Close(true);
        return false;
    }
    bool ok = !m_tls || connection.Handshake(m_tls);
    for (size_t left = m_limits.keepAliveRequests;
         ok && left > 0 && connection.WaitForRequest(left == m_limits.keepAliveRequests, svr_sock_); --left) {
        bool closed = false;
        s_current = &connection;
        ok = process_request(connection, left == 1, closed, [&](httplib::Request& req) { Frame(req, connection); });
        s_current = nullptr;
        if (closed || connection.closeAfter || connection.Expired()) break;
    }
    // A refused body was not read: the client is given time to see the refusal.
    connection.Close(connection.closeAfter && !connection.Expired());
    Release(connection.Address());
    return ok;
}

void HttpServer::Frame(httplib::Request& req, Connection& connection) const {
    auto refuse = [&](int status, std::string message) {
        connection.refusal = status;
        connection.refusalMessage = std::move(message);
    };
    size_t lengths = req.get_header_value_count("Content-Length");
    bool coded = req.has_header("Transfer-Encoding");
    std::string length = req.get_header_value("Content-Length");
    for (size_t k = 1; k < lengths; ++k)
        if (req.get_header_value("Content-Length", k) != length)
            return refuse(400, "要求の Content-Length が 2 つあり、値が違います。");
    if (lengths > 0 && coded) return refuse(400, "要求に Content-Length と Transfer-Encoding の両方があります。");
    if (coded && (req.get_header_value_count("Transfer-Encoding") > 1 ||
                  !EqualsNoCase(req.get_header_value("Transfer-Encoding"), "chunked")))
        return refuse(501, "要求の Transfer-Encoding が chunked ではありません。");
    if (lengths > 0 && (length.empty() || length.size() > 18 || length.find_first_not_of("0123456789") != length.npos))
        return refuse(400, "要求の Content-Length が数ではありません。");
    bool takesBody = req.method == "POST" || req.method == "PUT" || req.method == "PATCH" || req.method == "DELETE";
    if (!takesBody && (coded || (lengths > 0 && length != "0")))
        return refuse(400, req.method + " の要求に本文は付けられません。");
    if (lengths > 0 && std::stoull(length) > m_limits.maxBody) return refuse(413, TooLarge());
    // Without either header a request's body is empty.
    if (takesBody && lengths == 0 && !coded) req.set_header("Content-Length", "0");
}

}  // namespace tavi::serve
