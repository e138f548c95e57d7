#pragma once

#include <string>
#include <string_view>

namespace tavi {

// Writes `bytes` to a native path through a temporary file in the same folder, flushed to
// disk and renamed over the target, so the target is either the old file or the whole new
// one. False with `error` (the cause, in English) when anything fails; the temporary file
// is removed then.
bool WriteFileAtomically(const std::string& nativePath, std::string_view bytes, std::string& error);

// Reads a whole file; false with `error` when it cannot be read.
bool ReadWholeFile(const std::string& nativePath, std::string& bytes, std::string& error);

}  // namespace tavi
