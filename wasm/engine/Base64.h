#pragma once

#include <string>
#include <string_view>

namespace tavi {

// Base64 (RFC 4648, with padding), how the engine passes bytes to JavaScript in JSON.
std::string EncodeBase64(std::string_view bytes);
// False when `text` is not base64 (padding optional; no spaces).
bool DecodeBase64(std::string_view text, std::string& bytes);

}  // namespace tavi
