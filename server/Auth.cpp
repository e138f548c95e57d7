#include "server/Auth.h"

#include <sodium.h>

#include <algorithm>
#include <condition_variable>
#include <stdexcept>
#include <vector>

namespace tavi::serve {

bool InitCrypto() { return sodium_init() >= 0; }

namespace {

// Lets kParallelHashes callers through at once.
class HashGate {
public:
    HashGate() {
        std::unique_lock lock(s_mutex);
        s_free.wait(lock, [] { return s_running < kParallelHashes; });
        ++s_running;
    }
    ~HashGate() {
        {
            std::lock_guard lock(s_mutex);
            --s_running;
        }
        s_free.notify_one();
    }

private:
    static inline std::mutex s_mutex;
    static inline std::condition_variable s_free;
    static inline int s_running = 0;
};

}  // namespace

std::string HashPassword(const std::string& password) {
    HashGate gate;
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw std::runtime_error("not enough memory to hash a password");
    return hash;
}

bool VerifyPassword(const std::string& hash, const std::string& password) {
    HashGate gate;
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

std::string UserNameKey(const std::string& name) {
    size_t first = name.find_first_not_of(" \t"), last = name.find_last_not_of(" \t");
    std::string key = first == std::string::npos ? std::string() : name.substr(first, last - first + 1);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return key;
}

std::string UserNameProblem(const std::string& name) {
    if (name.empty() || name.size() > 64)
        return "利用者名: 空か、長すぎます。64 バイト（日本語なら 21 字）までにしてください。";
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7f || c == '/' || c == '\\')
            return "利用者名: 制御文字、「/」または「\\」は使えません。";
    if (name.front() == ' ' || name.back() == ' ') return "利用者名: 最初と最後に空白は使えません。";
    return {};
}

std::string PasswordProblem(const std::string& name, const std::string& password) {
    // Characters, not bytes: a UTF-8 lead byte starts each.
    std::vector<uint32_t> chars;
    for (unsigned char c : password)
        if ((c & 0xC0) != 0x80)
            chars.push_back(c);
        else if (!chars.empty())
            chars.back() = (chars.back() << 8) | c;
    if (chars.size() < 8) return "パスワード: 短すぎます。8 文字以上にしてください。";
    if (std::all_of(chars.begin(), chars.end(), [&](uint32_t c) { return c == chars[0]; }))
        return "パスワード: 同じ文字の繰り返しは使えません。";
    bool ascending = true, descending = true;
    for (size_t k = 1; k < chars.size(); ++k) {
        ascending = ascending && chars[k] == chars[k - 1] + 1;
        descending = descending && chars[k] + 1 == chars[k - 1];
    }
    if (ascending || descending) return "パスワード: 12345678 のような連続した文字の並びは使えません。";
    std::string key = UserNameKey(password), nameKey = UserNameKey(name);
    if (!nameKey.empty() && (key == nameKey || (nameKey.size() >= 3 && key.find(nameKey) != std::string::npos)))
        return "パスワード: 利用者名を含むパスワードは使えません。";
    static const char* const common[] = {
        "password",  "password1",     "password12", "password123", "passw0rd", "p@ssw0rd", "iloveyou", "qwertyui",
        "qwerty123", "qwertyuiop",    "asdfghjk",   "asdfghjkl",   "zxcvbnm1", "1q2w3e4r", "1qaz2wsx", "abc12345",
        "abcd1234",  "12341234",      "11223344",   "123123123",   "00000000", "87654321", "letmein1", "welcome1",
        "sunshine",  "princess",      "football",   "baseball",    "dragon12", "monkey12", "trustno1", "superman",
        "changeme",  "administrator", "tavitavi",   "sensei123",   "gakkou123"};
    for (const char* word : common)
        if (key == word)
            return "パスワード: よく使われるパスワードなので使えません。推測されにくいものにしてください。";
    return {};
}

long long LoginThrottle::Wait(const Entry& e, int free, Time now) const {
    int counted = e.failures + e.checking;
    if (counted < free) return 0;
    // An attempt being checked holds back the next one until it ends.
    if (e.failures < free) return 1;
    if (now - e.last > kForget) return e.checking > 0 ? 1 : 0;
    auto wait = std::min<std::chrono::seconds>(std::chrono::seconds(1LL << std::min(counted - free, 20)), kMaxWait);
    auto left = std::chrono::ceil<std::chrono::seconds>(e.last + wait - now).count();
    return std::max<long long>(left, e.checking > 0 ? 1 : 0);
}

void LoginThrottle::Forget(Time now) {
    // Entries quiet for longer than kForget count no more: drop them now and then.
    if (m_entries.size() > 10000)
        std::erase_if(m_entries,
                      [&](const auto& e) { return e.second.checking == 0 && now - e.second.last > kForget; });
    if (m_signedIn.size() > 10000) std::erase_if(m_signedIn, [&](const auto& e) { return now - e.second > kRemember; });
}

LoginThrottle::Attempt LoginThrottle::Begin(const std::string& user, const std::string& address) {
    std::lock_guard lock(m_mutex);
    Time now = std::chrono::steady_clock::now();
    Forget(now);
    Attempt attempt;
    attempt.pair = user + "\n" + address;
    auto known = m_signedIn.find(attempt.pair);
    bool trusted = known != m_signedIn.end() && now - known->second <= kRemember;
    std::vector<std::pair<std::string, int>> counts = {{"p:" + attempt.pair, kFreePerPair}};
    if (!trusted) counts.insert(counts.end(), {{"u:" + user, kFreePerUser}, {"a:" + address, kFreePerAddress}});
    for (const auto& [key, free] : counts)
        if (auto it = m_entries.find(key); it != m_entries.end())
            attempt.wait = std::max(attempt.wait, Wait(it->second, free, now));
    if (attempt.wait > 0) return attempt;
    for (const auto& [key, free] : counts) {
        Entry& e = m_entries[key];
        if (e.checking == 0 && now - e.last > kForget) e.failures = 0;
        ++e.checking;
        attempt.counted.push_back(key);
    }
    return attempt;
}

void LoginThrottle::Finish(const Attempt& attempt, bool succeeded) {
    std::lock_guard lock(m_mutex);
    Time now = std::chrono::steady_clock::now();
    for (const std::string& key : attempt.counted) {
        auto it = m_entries.find(key);
        if (it == m_entries.end()) continue;
        Entry& e = it->second;
        --e.checking;
        if (!succeeded) {
            ++e.failures;
            e.last = now;
        } else if (key[0] == 'p') {
            e.failures = 0;
        }
        if (e.failures == 0 && e.checking == 0) m_entries.erase(it);
    }
    if (succeeded) m_signedIn[attempt.pair] = now;
}

}  // namespace tavi::serve
