#include "document/ParamArchive.h"

#include <bit>
#include <cstring>

namespace tavi {
namespace {

static_assert(std::endian::native == std::endian::little, "the parameter file is little-endian");

template <typename T>
void Append(std::string& bytes, T v) {
    char raw[sizeof(T)];
    std::memcpy(raw, &v, sizeof(T));
    bytes.append(raw, sizeof(T));
}

}  // namespace

void ParamArchive::WriteU16(uint16_t v) { Append(m_bytes, v); }
void ParamArchive::WriteI32(int32_t v) { Append(m_bytes, v); }
void ParamArchive::WriteF64(double v) { Append(m_bytes, v); }

void ParamArchive::WriteString(std::string_view s) {
    size_t n = s.size();
    if (n < 255) {
        m_bytes.push_back(static_cast<char>(n));
    } else if (n < 0xFFFE) {
        m_bytes.push_back('\xFF');
        WriteU16(static_cast<uint16_t>(n));
    } else {
        m_bytes.push_back('\xFF');
        WriteU16(0xFFFF);
        Append(m_bytes, static_cast<uint32_t>(n));
    }
    m_bytes.append(s);
}

bool ParamArchive::Take(void* out, size_t n) {
    if (Failed()) return false;
    if (m_bytes.size() - m_pos < n) {
        Fail("the file ends at byte " + std::to_string(m_bytes.size()) + " inside a field");
        return false;
    }
    std::memcpy(out, m_bytes.data() + m_pos, n);
    m_pos += n;
    return true;
}

uint16_t ParamArchive::ReadU16() {
    uint16_t v = 0;
    return Take(&v, sizeof v) ? v : 0;
}

int32_t ParamArchive::ReadI32() {
    int32_t v = 0;
    return Take(&v, sizeof v) ? v : 0;
}

double ParamArchive::ReadF64() {
    double v = 0;
    return Take(&v, sizeof v) ? v : 0;
}

std::string ParamArchive::ReadString() {
    uint8_t first = 0;
    if (!Take(&first, 1)) return {};
    size_t n = first;
    if (first == 0xFF) {
        uint16_t n16 = ReadU16();
        n = n16;
        if (n16 == 0xFFFE) {
            Fail("a string of 16-bit characters at byte " + std::to_string(m_pos - 3));
            return {};
        }
        if (n16 == 0xFFFF) {
            uint32_t n32 = 0;
            if (!Take(&n32, sizeof n32)) return {};
            n = n32;
        }
    }
    if (Failed()) return {};
    if (m_bytes.size() - m_pos < n) {
        Fail("a string of " + std::to_string(n) + " bytes runs past the end of the file");
        return {};
    }
    std::string s = m_bytes.substr(m_pos, n);
    m_pos += n;
    return s;
}

void ParamArchive::Fail(const std::string& reason) {
    if (m_error.empty()) m_error = reason;
}

}  // namespace tavi
