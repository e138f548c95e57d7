#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace tavi {

// Bytes that ReadRegularFile reads at most unless told otherwise; an answer, a parameter
// file or a model's dictionary is far shorter.
constexpr size_t kMaxFileBytes = size_t{1} << 30;

// Opens a file (native path) for reading only when it is a regular file: a FIFO would block
// the open and a device such as /dev/zero would never end, so neither is waited for. Null
// with errno set when it cannot be opened (EISDIR for a folder, EINVAL for anything else
// that is not a regular file).
std::FILE* OpenRegularFile(const std::string& nativePath);

// Reads a whole regular file of at most `maxBytes` bytes. False with `error` as
// "path: cause" when it cannot be opened, is not a regular file, is larger, or a read
// fails; `bytes` then holds what was read before the failure.
bool ReadRegularFile(const std::string& nativePath, std::string& bytes, std::string& error,
                     size_t maxBytes = kMaxFileBytes);

// Writes `bytes` to a native path through a temporary file in the same folder, flushed to
// disk and renamed over the target, so the target is either the old file or the whole new
// one; a replaced file keeps its mode. False with `error` as "path: cause" when anything
// fails; the temporary file is removed then.
bool WriteFileAtomically(const std::string& nativePath, std::string_view bytes, std::string& error);

}  // namespace tavi
