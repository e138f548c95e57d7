#pragma once

#include <httplib.h>
#include <openssl/ssl.h>

#include <map>
#include <mutex>
#include <string>

namespace tavi::serve {

// What one client may take of the server, and how long a request may take.
struct ConnectionLimits {
    // Seconds for a request's line and headers, counted from its first byte (for a new
    // connection: from its opening); also the grace a body has before its minimum rate counts.
    int headerSeconds = 20;
    // Bytes per second that a body must keep up on average after the grace: a body of n bytes
    // so far must have arrived by headerSeconds + n / minBodyRate after the headers.
    size_t minBodyRate = 32 << 10;
    int ioSeconds = 30;  // the longest wait for the next bytes to read or room to write
    int keepAliveSeconds = 5;
    size_t keepAliveRequests = 1000;  // a polling page keeps its connection
    size_t maxConnections = 512;      // open at once, each served by a thread of its own
    size_t maxPerAddress = 32;        // open at once from one client address
    size_t maxBody = size_t{64} << 20;
};

// cpp-httplib's server with connections handled here: a thread per connection up to
// maxConnections, at most maxPerAddress of them from one address (more are answered 503 at
// once), a deadline for each request's headers and body, strict framing of bodies, and TLS
// when a certificate is given.
//
// Framing: a body with two different Content-Length values, with Content-Length and
// Transfer-Encoding together, or with a transfer coding other than chunked is refused with
// 400 (501) and the connection closed; a Content-Length over maxBody gets 413 before the body
// is read; a POST, PUT or DELETE with neither header has an empty body. These refusals are made
// by a pre-routing handler of this class: callers must not set one of their own.
class HttpServer : public httplib::Server {
public:
    explicit HttpServer(ConnectionLimits limits);
    ~HttpServer() override;

    // Serves HTTPS with the certificate chain and key (PEM files); false with `error`.
    bool UseTls(const std::string& certFile, const std::string& keyFile, std::string& error);
    bool Tls() const { return m_tls != nullptr; }
    // The message of a 413.
    std::string TooLarge() const;
    // Called from a handler: the connection is closed after this response, the rest of the
    // request's body unread.
    static void CloseAfterResponse();

private:
    class Connection;
    bool process_and_close_socket(socket_t sock) override;
    // Checks how a request's body is framed; a refusal is answered without reading it.
    void Frame(httplib::Request& req, Connection& connection) const;
    // Counts a connection from `address`; false when that address has maxPerAddress open.
    bool Admit(const std::string& address);
    void Release(const std::string& address);

    ConnectionLimits m_limits;
    SSL_CTX* m_tls = nullptr;
    std::mutex m_mutex;
    std::map<std::string, size_t> m_perAddress;
    // The connection whose request this thread serves; null on other threads.
    static thread_local Connection* s_current;
};

}  // namespace tavi::serve
