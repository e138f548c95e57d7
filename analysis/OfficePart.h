#pragma once

#include <limits>
#include <pugixml.hpp>
#include <string>
#include <string_view>

namespace tavi {

// The parts of Office files (.docx, .xlsx): XML files in a zip archive held in memory.
enum class ZipPartStatus { kRead, kNotZip, kMissing, kEncrypted, kTooLarge, kDamaged };

// True when `bytes` are a zip archive holding the part `name`.
bool HasZipPart(std::string_view bytes, const char* name);

// Unpacks the part `name` of the archive `bytes` into `part`: at most `maxBytes` and, beyond
// 4096 bytes, at most `maxRatio` times its packed size (the sizes an archive states are not
// trusted; at most one buffer beyond the cap is unpacked). `detail` receives libzip's words
// for kNotZip and kDamaged; `part` is empty unless kRead.
ZipPartStatus ReadZipPart(std::string_view bytes, const char* name, size_t maxBytes, std::string& part,
                          std::string& detail, double maxRatio = std::numeric_limits<double>::infinity());

// An XML element's name without its namespace prefix ("w:t" is "t").
std::string_view XmlLocalName(const pugi::xml_node& node);
// The first child element of `node` with the local name `local`; null when there is none.
pugi::xml_node XmlChild(const pugi::xml_node& node, std::string_view local);

}  // namespace tavi
