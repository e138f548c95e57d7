#include "analysis/Encoding.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cstdint>
#include <vector>

namespace tavi {
namespace {

const char kGeta[] = "\x81\xAC";  // 〓

// One iconv conversion of a whole string. `onError` decides what an unconvertible or
// invalid input sequence becomes; it returns how many input bytes to skip.
template <typename OnError>
std::string Convert(const char* to, const char* from, std::string_view in, OnError onError) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        std::fprintf(stderr, "tavi: iconv cannot convert %s to %s\n", from, to);
        std::abort();
    }
    std::string out;
    out.resize(in.size() * 2 + 16);
    char* inPtr = const_cast<char*>(in.data());
    size_t inLeft = in.size();
    size_t used = 0;
    while (true) {
        char* outPtr = out.data() + used;
        size_t outLeft = out.size() - used;
        size_t rc = inLeft == 0 ? iconv(cd, nullptr, nullptr, &outPtr, &outLeft)
                                : iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        used = out.size() - outLeft;
        if (rc != static_cast<size_t>(-1)) {
            if (inLeft == 0) break;
            continue;
        }
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
        } else {  // EILSEQ or EINVAL: an invalid, unconvertible or truncated sequence
            std::string replacement;
            size_t skip = onError(std::string_view(inPtr, inLeft), replacement);
            if (out.size() - used < replacement.size()) out.resize(out.size() * 2 + replacement.size());
            out.replace(used, replacement.size(), replacement);
            used += replacement.size();
            inPtr += skip;
            inLeft -= skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    out.resize(used);
    return out;
}

// Length of the UTF-8 sequence that starts `s`, at least 1, for skipping a bad character.
size_t Utf8SequenceLength(std::string_view s) {
    unsigned char c = static_cast<unsigned char>(s[0]);
    size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (n > s.size()) return 1;
    for (size_t i = 1; i < n; ++i)
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return 1;
    return n;
}

}  // namespace

std::string Sjis(std::string_view utf8) {
    return Convert("CP932", "UTF-8", utf8, [&](std::string_view, std::string&) -> size_t {
        std::fprintf(stderr, "tavi: literal without a Shift_JIS form: %.*s\n", static_cast<int>(utf8.size()),
                     utf8.data());
        std::abort();
    });
}

std::string SjisToUtf8(std::string_view sjis) {
    return Convert("UTF-8", "CP932", sjis, [](std::string_view rest, std::string& replacement) -> size_t {
        replacement = "\xEF\xBF\xBD";
        return SjisCharLength(rest, 0);
    });
}

// The code page 932 form of every character of the Basic Multilingual Plane (0 where there
// is none), taken from iconv once: analyser output is converted back through this table.
const std::vector<uint16_t>& SjisOfBmp() {
    static const std::vector<uint16_t> table = [] {
        std::vector<uint16_t> t(0x10000, 0);
        iconv_t cd = iconv_open("CP932", "UTF-8");
        for (uint32_t cp = 0x80; cp < 0x10000; ++cp) {
            if (cp >= 0xD800 && cp <= 0xDFFF) continue;
            char in[3] = {static_cast<char>(cp < 0x800 ? 0xC0 | (cp >> 6) : 0xE0 | (cp >> 12)),
                          static_cast<char>(cp < 0x800 ? 0x80 | (cp & 0x3F) : 0x80 | ((cp >> 6) & 0x3F)),
                          static_cast<char>(0x80 | (cp & 0x3F))};
            char out[4];
            char* inPtr = in;
            char* outPtr = out;
            size_t inLeft = cp < 0x800 ? 2 : 3, outLeft = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) continue;
            size_t n = sizeof out - outLeft;
            if (n == 1) t[cp] = static_cast<unsigned char>(out[0]);
            if (n == 2) t[cp] = static_cast<uint16_t>(static_cast<unsigned char>(out[0]) << 8 | static_cast<unsigned char>(out[1]));
        }
        iconv_close(cd);
        return t;
    }();
    return table;
}

std::string Utf8ToSjis(std::string_view utf8, bool* lossy) {
    const std::vector<uint16_t>& table = SjisOfBmp();
    bool lost = false;
    // A Shift_JIS form is never longer than its UTF-8 form, except "〓" for a lone bad byte.
    std::string out(utf8.size() * 2, '\0');
    char* o = out.data();
    const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8.data());
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = p[i];
        if (c < 0x80) {
            *o++ = static_cast<char>(c);
            ++i;
            continue;
        }
        size_t n = Utf8SequenceLength(utf8.substr(i));
        uint32_t cp = 0;
        if (n == 2 && c >= 0xC2) {
            cp = (c & 0x1Fu) << 6 | (p[i + 1] & 0x3Fu);
        } else if (n == 3) {
            cp = (c & 0x0Fu) << 12 | (p[i + 1] & 0x3Fu) << 6 | (p[i + 2] & 0x3Fu);
            if (cp < 0x800) cp = 0;
        }
        uint16_t code = cp ? table[cp] : 0;
        if (code == 0) {
            lost = true;
            *o++ = kGeta[0];
            *o++ = kGeta[1];
        } else if (code < 0x100) {
            *o++ = static_cast<char>(code);
        } else {
            *o++ = static_cast<char>(code >> 8);
            *o++ = static_cast<char>(code & 0xFF);
        }
        i += n;
    }
    out.resize(static_cast<size_t>(o - out.data()));
    if (lossy) *lossy = lost;
    return out;
}

bool IsValidUtf8(std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        size_t n;
        uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            n = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + n > bytes.size()) return false;
        for (size_t k = 1; k < n; ++k) {
            unsigned char t = static_cast<unsigned char>(bytes[i + k]);
            if ((t & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n;
    }
    return true;
}

std::string SjisPathToNative(const std::string& sjisPath) { return SjisToUtf8(sjisPath); }

bool NativePathToSjis(const std::string& nativePath, std::string& sjisPath) {
    if (!IsValidUtf8(nativePath)) return false;
    bool lossy = false;
    std::string sjis = Utf8ToSjis(nativePath, &lossy);
    if (lossy || SjisToUtf8(sjis) != nativePath) return false;
    sjisPath = std::move(sjis);
    return true;
}

std::FILE* OpenSjisPath(const std::string& sjisPath, const char* mode) {
    std::string path = SjisPathToNative(sjisPath);
    if (mode[0] != 'r' || std::strchr(mode, '+')) return std::fopen(path.c_str(), mode);
    // Only regular files are read: a FIFO would block the open and a device such as
    // /dev/zero would never end. The open itself must not block either.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        int err = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        close(fd);
        errno = err;
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = fdopen(fd, mode);
    if (!file) close(fd);
    return file;
}

}  // namespace tavi
