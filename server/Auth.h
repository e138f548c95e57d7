#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace tavi::serve {

// Passwords, tokens and comparisons through libsodium. Call InitCrypto once before the rest.
bool InitCrypto();
// An Argon2id hash in libsodium's string form (salt and costs included). Each hash or check
// takes 64 MiB: at most kParallelHashes run at once, others wait for their turn.
constexpr int kParallelHashes = 4;
std::string HashPassword(const std::string& password);
bool VerifyPassword(const std::string& hash, const std::string& password);
// `bytes` random bytes as lower-case hex.
std::string RandomHex(size_t bytes);
// What the database keeps of a session id: its BLAKE2b hash, so a copy of the database holds
// no usable cookie.
std::string SessionKey(const std::string& sessionId);
// Constant-time comparison of two tokens.
bool SameToken(const std::string& a, const std::string& b);

// The form of a user name that sign-in and uniqueness compare: without surrounding spaces and
// with ASCII letters in lower case (" Alice" and "alice" are one name).
std::string UserNameKey(const std::string& name);
// Why `name` cannot be a new user's name (empty, too long, surrounding spaces, a control
// character or a "/"); empty when it can.
std::string UserNameProblem(const std::string& name);
// Why `password` is too weak for the user `name` (shorter than 8 characters, one character
// repeated, the user's name, or a common password); empty when it is good enough.
std::string PasswordProblem(const std::string& name, const std::string& password);

// Slows down guessing before any password is checked. Failures are counted per user name and
// address together; per user name over all addresses (guesses spread over many addresses);
// and per address over all names (one address trying many names). A name that signed in from
// an address within kRemember is held back there by its pair's count only, so that guesses
// from elsewhere, or from others behind a school's shared address, do not lock it out. After
// kFreePerPair (kFreePerUser, kFreePerAddress) failures each further attempt waits
// twice as long as the last (up to kMaxWait) since the last failure; attempts being checked
// count as failures until they end, so parallel guesses get no more checks than sequential
// ones. A success clears its pair; counts are forgotten kForget after their last failure.
class LoginThrottle {
public:
    static constexpr int kFreePerPair = 5;
    static constexpr int kFreePerUser = 50;
    static constexpr int kFreePerAddress = 20;
    static constexpr std::chrono::seconds kMaxWait{300};
    static constexpr std::chrono::minutes kForget{15};
    static constexpr std::chrono::hours kRemember{24 * 30};

    // An attempt of a user name (its UserNameKey) from an address: `wait` 0 when it may be
    // checked now (then pass it to Finish), else the seconds to wait.
    struct Attempt {
        long long wait = 0;
        std::string pair;
        std::vector<std::string> counted;  // the entries it counts in
    };
    Attempt Begin(const std::string& user, const std::string& address);
    void Finish(const Attempt& attempt, bool succeeded);

private:
    using Time = std::chrono::steady_clock::time_point;
    struct Entry {
        int failures = 0;
        int checking = 0;
        Time last;
    };
    long long Wait(const Entry& e, int free, Time now) const;
    void Forget(Time now);
    std::mutex m_mutex;
    std::map<std::string, Entry> m_entries;  // "p:" name "\n" address, "u:" name, "a:" address
    std::map<std::string, Time> m_signedIn;  // pairs by their last sign-in
};

}  // namespace tavi::serve
