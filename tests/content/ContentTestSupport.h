#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fakes/TestSupport.h"

namespace tavi::test {

inline void AppendInt32(std::string& bytes, int32_t value) {
    uint32_t u = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>(u >> (8 * i) & 0xFF));
}

inline void AppendDouble(std::string& bytes, double value) {
    uint64_t u;
    std::memcpy(&u, &value, sizeof u);
    for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<char>(u >> (8 * i) & 0xFF));
}

// A matrix file: header K, N and then `values` as little-endian doubles (dimension after
// dimension, then the scaling vector); a short `values` makes a short file.
inline std::string MatrixFile(int32_t k, int32_t n, const std::vector<double>& values) {
    std::string bytes;
    AppendInt32(bytes, k);
    AppendInt32(bytes, n);
    for (double v : values) AppendDouble(bytes, v);
    return bytes;
}

// Dictionary bytes: each UTF-8 word in Shift_JIS followed by a line feed.
inline std::string DictionaryFile(const std::vector<std::string>& utf8Words) {
    std::string bytes;
    for (const std::string& w : utf8Words) bytes += S(w) + "\n";
    return bytes;
}

}  // namespace tavi::test
