#include "fakes/TestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace tavi::test {

MorphemeTable TableOf(std::initializer_list<Row> rows) {
    MorphemeTable table;
    for (const Row& r : rows) {
        Morpheme m;
        m.fields = {Sjis(r.surface), Sjis(r.reading),  Sjis(r.baseForm),
                    Sjis(r.pos),     Sjis(r.conjType), Sjis(r.conjForm)};
        table.AppendRow(m);
    }
    return table;
}

std::string TempDir() {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "_" + info->name() : "tavi";
    for (char& c : name)
        if (c == '/') c = '_';
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("tavi_test_" + std::to_string(::getpid())) / name;
    static std::string last;
    if (last != dir.string()) {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        last = dir.string();
    }
    return dir.string();
}

std::string WriteTempFile(const std::string& name, std::string_view bytes) {
    std::string path = TempDir() + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string WriteWordFile(const std::string& name, const std::string& body,
                          std::initializer_list<std::pair<std::string, std::string>> otherParts,
                          const std::string& password) {
    std::string path = WriteTempFile(name, "");
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    EXPECT_NE(archive, nullptr) << path;
    if (!archive) return path;
    std::vector<std::pair<std::string, std::string>> parts = {
        {"[Content_Types].xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types "
         "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>"},
        {"word/document.xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w:document "
         "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
         "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\"><w:body>" +
             body + "</w:body></w:document>"}};
    parts.insert(parts.end(), otherParts.begin(), otherParts.end());
    for (const auto& [member, content] : parts) {
        // libzip reads the buffer when the archive is closed; `parts` lives until then.
        zip_source_t* source = zip_source_buffer(archive, content.data(), content.size(), 0);
        zip_int64_t index = zip_file_add(archive, member.c_str(), source, ZIP_FL_ENC_UTF_8);
        EXPECT_GE(index, 0) << member;
        if (!password.empty()) {
            EXPECT_EQ(zip_file_set_encryption(archive, index, ZIP_EM_AES_256, password.c_str()), 0);
        }
    }
    EXPECT_EQ(zip_close(archive), 0) << zip_strerror(archive);
    return path;
}

std::string WordParagraphs(const std::vector<std::string>& lines) {
    std::string xml;
    for (const std::string& line : lines) {
        xml += "<w:p><w:r><w:t xml:space=\"preserve\">";
        for (char c : line) {
            switch (c) {
                case '&':
                    xml += "&amp;";
                    break;
                case '<':
                    xml += "&lt;";
                    break;
                case '>':
                    xml += "&gt;";
                    break;
                default:
                    xml += c;
            }
        }
        xml += "</w:t></w:r></w:p>";
    }
    return xml;
}

}  // namespace tavi::test
