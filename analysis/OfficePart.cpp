#include "analysis/OfficePart.h"

#include <zip.h>

#include <algorithm>
#include <memory>

namespace tavi {
namespace {

struct ZipCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using ZipArchive = std::unique_ptr<zip_t, ZipCloser>;

struct ZipFileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

// Opens zip bytes in place; null with `detail` set when they are no zip archive.
ZipArchive OpenZip(std::string_view bytes, std::string* detail) {
    zip_error_t failure;
    zip_error_init(&failure);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &failure);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &failure) : nullptr;
    if (!archive) {
        if (source) zip_source_free(source);
        if (detail) *detail = zip_error_strerror(&failure);
    }
    zip_error_fini(&failure);
    return ZipArchive(archive);
}

}  // namespace

bool HasZipPart(std::string_view bytes, const char* name) {
    if (!bytes.starts_with(std::string_view("PK\x03\x04", 4))) return false;
    ZipArchive archive = OpenZip(bytes, nullptr);
    return archive && zip_name_locate(archive.get(), name, 0) >= 0;
}

ZipPartStatus ReadZipPart(std::string_view bytes, const char* name, size_t maxBytes, std::string& part,
                          std::string& detail, double maxRatio) {
    part.clear();
    ZipArchive archive = OpenZip(bytes, &detail);
    if (!archive) return ZipPartStatus::kNotZip;
    zip_stat_t stat;
    if (zip_stat(archive.get(), name, 0, &stat) != 0) return ZipPartStatus::kMissing;
    if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE)
        return ZipPartStatus::kEncrypted;
    std::unique_ptr<zip_file_t, ZipFileCloser> file(zip_fopen(archive.get(), name, 0));
    if (!file) {
        detail = zip_strerror(archive.get());
        return ZipPartStatus::kDamaged;
    }
    const double packed = (stat.valid & ZIP_STAT_COMP_SIZE) ? static_cast<double>(stat.comp_size) : 0;
    const double ratioCap = std::max(4096.0, maxRatio * std::max(packed, 1.0));
    char buffer[65536];
    zip_int64_t n;
    while ((n = zip_fread(file.get(), buffer, sizeof buffer)) > 0) {
        if (static_cast<size_t>(n) > maxBytes - part.size() ||
            static_cast<double>(part.size()) + static_cast<double>(n) > ratioCap) {
            part.clear();
            return ZipPartStatus::kTooLarge;
        }
        part.append(buffer, static_cast<size_t>(n));
    }
    if (n < 0) {
        detail = zip_file_strerror(file.get());
        part.clear();
        return ZipPartStatus::kDamaged;
    }
    return ZipPartStatus::kRead;
}

std::string_view XmlLocalName(const pugi::xml_node& node) {
    std::string_view name = node.name();
    size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

pugi::xml_node XmlChild(const pugi::xml_node& node, std::string_view local) {
    for (pugi::xml_node child : node.children())
        if (XmlLocalName(child) == local) return child;
    return {};
}

}  // namespace tavi
