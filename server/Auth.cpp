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

long long LoginThrottle::Wait(const Entry& e, int free, std::chrono::steady_clock::time_point now) const {
    if (e.failures < free || now - e.last > kForget) return 0;
    auto wait = std::min<std::chrono::seconds>(std::chrono::seconds(1LL << std::min(e.failures - free, 20)), kMaxWait);
    auto left = std::chrono::ceil<std::chrono::seconds>(e.last + wait - now).count();
    return std::max<long long>(left, 0);
}

long long LoginThrottle::WaitSeconds(const std::string& user, const std::string& address) {
    std::lock_guard lock(m_mutex);
    auto now = std::chrono::steady_clock::now();
    long long wait = 0;
    if (auto it = m_entries.find("u:" + user); it != m_entries.end()) wait = Wait(it->second, kFreePerUser, now);
    if (auto it = m_entries.find("a:" + address); it != m_entries.end())
        wait = std::max(wait, Wait(it->second, kFreePerAddress, now));
    return wait;
}

void LoginThrottle::Failed(const std::string& user, const std::string& address) {
    std::lock_guard lock(m_mutex);
    auto now = std::chrono::steady_clock::now();
    // Entries quiet for longer than kForget count no more: drop them now and then.
    if (m_entries.size() > 10000)
        std::erase_if(m_entries, [&](const auto& e) { return now - e.second.last > kForget; });
    for (const std::string& key : {"u:" + user, "a:" + address}) {
        Entry& e = m_entries[key];
        if (now - e.last > kForget) e.failures = 0;
        ++e.failures;
        e.last = now;
    }
}

void LoginThrottle::Succeeded(const std::string& user) {
    std::lock_guard lock(m_mutex);
    m_entries.erase("u:" + user);
}

}  // namespace tavi::serve
