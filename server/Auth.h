#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <string>

namespace tavi::serve {

// Passwords, tokens and comparisons through libsodium. Call InitCrypto once before the rest.
bool InitCrypto();
// An Argon2id hash in libsodium's string form (salt and costs included).
std::string HashPassword(const std::string& password);
bool VerifyPassword(const std::string& hash, const std::string& password);
// `bytes` random bytes as lower-case hex.
std::string RandomHex(size_t bytes);
// What the database keeps of a session id: its BLAKE2b hash, so a copy of the database holds
// no usable cookie.
std::string SessionKey(const std::string& sessionId);
// Constant-time comparison of two tokens.
bool SameToken(const std::string& a, const std::string& b);

// Slows down guessing: after kFreePerUser failed sign-ins of one user name, or kFreePerAddress
// from one address (a school's teachers may share one), each further attempt waits twice as
// long as the last (up to kMaxWait) since the last failure. A success clears the name's count;
// counts are forgotten kForget after their last failure.
class LoginThrottle {
public:
    static constexpr int kFreePerUser = 5;
    static constexpr int kFreePerAddress = 20;
    static constexpr std::chrono::seconds kMaxWait{300};
    static constexpr std::chrono::minutes kForget{15};

    // Seconds to wait before the next attempt of this user from this address; 0 when allowed.
    long long WaitSeconds(const std::string& user, const std::string& address);
    void Failed(const std::string& user, const std::string& address);
    void Succeeded(const std::string& user);

private:
    struct Entry {
        int failures = 0;
        std::chrono::steady_clock::time_point last;
    };
    long long Wait(const Entry& e, int free, std::chrono::steady_clock::time_point now) const;
    std::mutex m_mutex;
    std::map<std::string, Entry> m_entries;  // "u:" user names and "a:" addresses
};

}  // namespace tavi::serve
