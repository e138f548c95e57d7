#include "fakes/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

namespace tavi::test {

MorphemeTable TableOf(std::initializer_list<Row> rows) {
    MorphemeTable table;
    for (const Row& r : rows) {
        Morpheme m;
        m.fields = {Sjis(r.surface), Sjis(r.reading), Sjis(r.baseForm), Sjis(r.pos), Sjis(r.conjType), Sjis(r.conjForm)};
        table.AppendRow(m);
    }
    return table;
}

std::string TempDir() {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "_" + info->name() : "tavi";
    for (char& c : name)
        if (c == '/') c = '_';
    std::filesystem::path dir = std::filesystem::temp_directory_path() / ("tavi_test_" + std::to_string(::getpid())) / name;
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

}  // namespace tavi::test
