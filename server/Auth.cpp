#include "server/Auth.h"

#include <sodium.h>

#include <algorithm>
#include <stdexcept>

namespace tavi::serve {

bool InitCrypto() { return sodium_init() >= 0; }

std::string HashPassword(const std::string& password) {
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw std::runtime_error("not enough memory to hash a password");
    return hash;
}

bool VerifyPassword(const std::string& hash, const std::string& password) {
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

std::string RandomHex(size_t bytes) {
    std::string raw(bytes, '\0');
    randombytes_buf(raw.data(), bytes);
    std::string hex(bytes * 2 + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), reinterpret_cast<const unsigned char*>(raw.data()), bytes);
    hex.pop_back();
    return hex;
}

std::string SessionKey(const std::string& sessionId) {
    unsigned char digest[32];
    crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(sessionId.data()),
                       sessionId.size(), nullptr, 0);
    char hex[65];
    sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
    return hex;
}

bool SameToken(const std::string& a, const std::string& b) {
    return !a.empty() && a.size() == b.size() && sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}

long long LoginThrottle::Wait(const Entry& e, std::chrono::steady_clock::time_point now) const {
    if (e.failures < kFree) return 0;
    auto wait = std::min<std::chrono::seconds>(std::chrono::seconds(1LL << std::min(e.failures - kFree, 20)), kMaxWait);
    auto left = std::chrono::ceil<std::chrono::seconds>(e.last + wait - now).count();
    return std::max<long long>(left, 0);
}

long long LoginThrottle::WaitSeconds(const std::string& user, const std::string& address) {
    std::lock_guard lock(m_mutex);
    auto now = std::chrono::steady_clock::now();
    long long wait = 0;
    for (const std::string& key : {"u:" + user, "a:" + address})
        if (auto it = m_entries.find(key); it != m_entries.end()) wait = std::max(wait, Wait(it->second, now));
    return wait;
}

void LoginThrottle::Failed(const std::string& user, const std::string& address) {
    std::lock_guard lock(m_mutex);
    auto now = std::chrono::steady_clock::now();
    // Forget entries that have long been quiet, so the map stays small.
    if (m_entries.size() > 10000)
        std::erase_if(m_entries, [&](const auto& e) { return now - e.second.last > std::chrono::hours(1); });
    for (const std::string& key : {"u:" + user, "a:" + address}) {
        Entry& e = m_entries[key];
        ++e.failures;
        e.last = now;
    }
}

void LoginThrottle::Succeeded(const std::string& user, const std::string& address) {
    std::lock_guard lock(m_mutex);
    m_entries.erase("u:" + user);
    m_entries.erase("a:" + address);
}

}  // namespace tavi::serve
