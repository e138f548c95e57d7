// The server's peak memory (VmHWM) while it takes large uploads: a zip of ENTRIES answers of
// 16 MiB of text (compressed about 14 to 1, as teachers' answers are), uploaded by one teacher,
// then by four teachers at once, each on a fresh server.
//   bench_serve_upload [ENTRIES=55]
#include <cstdio>
#include <future>
#include <random>

#include "server/ServerHarness.h"

namespace fs = std::filesystem;
using namespace tavi::test;

namespace {

// 16 MiB of Japanese text, lines of words drawn at random from a small vocabulary.
std::string Answer(unsigned seed) {
    static const char* const words[] = {"学校", "先生", "生徒", "作文", "考え", "意見", "社会", "未来",
                                        "環境", "問題", "大切", "理由", "経験", "地域", "自然", "文化"};
    std::mt19937 random(seed);
    std::string text, line;
    while (text.size() < (16u << 20) - 256) {
        line = words[random() % 16];
        for (int k = 0; k < 12; ++k) line += std::string(k % 4 == 3 ? "、" : "") + words[random() % 16];
        text += line + "。\n";
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    int entries = argc > 1 ? std::atoi(argv[1]) : 55;
    std::vector<std::pair<std::string, std::string>> files;
    size_t unpacked = 0;
    for (int k = 0; k < entries; ++k) {
        files.push_back({"answer" + std::to_string(k) + ".txt", Answer(static_cast<unsigned>(k))});
        unpacked += files.back().second.size();
    }
    std::string zip = MakeZip(files);
    files.clear();
    std::printf("zip: %d entries, %.1f MB packed, %.1f MiB unpacked (%.1f to 1)\n", entries, zip.size() / 1e6,
                unpacked / 1048576.0, static_cast<double>(unpacked) / static_cast<double>(zip.size()));
    httplib::MultipartFormDataItems items = {
        {"question", ReadFile(fs::path(TAVI_SAMPLES_DIR) / "question.txt"), "question.txt", "text/plain"},
        {"answers", zip, "class.zip", "application/zip"}};
    for (int uploads : {1, 4}) {
        TempFolder temp;
        fs::path data = temp.path / "data";
        for (int t = 0; t < uploads; ++t) AddUser(data, "t" + std::to_string(t), "upload test password");
        ServerProcess server(data, {"--jobs", "1"});
        std::vector<std::unique_ptr<Teacher>> teachers;
        for (int t = 0; t < uploads; ++t)
            teachers.push_back(std::make_unique<Teacher>(server.port, "t" + std::to_string(t), "upload test password"));
        long before = PeakMemoryKiB(server.pid);
        std::vector<std::future<int>> done;
        for (auto& teacher : teachers)
            done.push_back(std::async(std::launch::async, [&] {
                auto res = teacher->Upload(items);
                return res ? res->status : 0;
            }));
        int created = 0;
        for (auto& f : done) created += f.get() == 201;
        std::printf(
            "%d upload(s) at once: %d created; peak memory %.1f MiB (%.1f MiB before the uploads, "
            "after the sign-ins)\n",
            uploads, created, PeakMemoryKiB(server.pid) / 1024.0, before / 1024.0);
        if (created != uploads) return 1;
    }
    return 0;
}
