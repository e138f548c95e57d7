#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavi {

// The byte stream of the parameter file: little-endian numbers without alignment, strings
// with a length prefix (one byte below 255; 0xFF and a u16 below 65534; 0xFF, 0xFFFF and a
// u32 above). Storing appends to a buffer; loading reads from one and remembers the first
// failure (a truncated field or an impossible value) instead of throwing.
class ParamArchive {
public:
    // An archive that stores.
    ParamArchive() = default;
    // An archive that loads `bytes`.
    explicit ParamArchive(std::string bytes) : m_bytes(std::move(bytes)), m_storing(false) {}

    bool IsStoring() const { return m_storing; }
    const std::string& Bytes() const { return m_bytes; }

    void WriteU16(uint16_t v);
    void WriteI32(int32_t v);
    void WriteF64(double v);
    void WriteString(std::string_view s);

    // Loading: each returns a zero value once the archive has failed.
    uint16_t ReadU16();
    int32_t ReadI32();
    double ReadF64();
    std::string ReadString();

    // Marks the archive as failed with a reason (the first one is kept).
    void Fail(const std::string& reason);
    bool Failed() const { return !m_error.empty(); }
    const std::string& Error() const { return m_error; }
    // True when every byte has been read.
    bool AtEnd() const { return m_pos == m_bytes.size(); }
    size_t Position() const { return m_pos; }

private:
    bool Take(void* out, size_t n);
    std::string m_bytes;
    size_t m_pos = 0;
    bool m_storing = true;
    std::string m_error;
};

// The two directions of a list of fields: a function template that names each field once, as
// io.Int(x), io.Real(x), ..., stores with an ArchiveWriter and loads with an ArchiveReader.
struct ArchiveWriter {
    ParamArchive& ar;
    template <typename T>
    void Int(T v) {
        ar.WriteI32(static_cast<int32_t>(v));
    }
    void U16(uint16_t v) { ar.WriteU16(v); }
    void Real(double v) { ar.WriteF64(v); }
    void Flag(bool v) { ar.WriteI32(v); }
    void Str(const std::string& s) { ar.WriteString(s); }
    bool Count(int32_t) { return true; }
    // Checks of what was loaded; storing has nothing to check.
    template <typename F>
    void Check(F) {}
    bool Failed() const { return false; }
};

struct ArchiveReader {
    ParamArchive& ar;
    template <typename T>
    void Int(T& v) {
        v = static_cast<T>(ar.ReadI32());
    }
    void U16(uint16_t& v) { v = ar.ReadU16(); }
    void Real(double& v) { v = ar.ReadF64(); }
    void Flag(bool& v) { v = ar.ReadI32() != 0; }
    void Str(std::string& s) { s = ar.ReadString(); }
    // Every item takes at least one byte, so a count beyond the bytes left is corrupt.
    bool Count(int32_t count) {
        if (count >= 0 && static_cast<size_t>(count) <= ar.Bytes().size() - ar.Position()) return true;
        ar.Fail("impossible list size");
        return false;
    }
    // Fails with the cause `check` gives (empty: none), unless the archive has failed already.
    template <typename F>
    void Check(F check) {
        if (ar.Failed()) return;
        if (std::string cause = check(); !cause.empty()) ar.Fail(cause);
    }
    bool Failed() const { return ar.Failed(); }
};

}  // namespace tavi
