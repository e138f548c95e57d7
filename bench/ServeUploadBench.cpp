// The server's peak memory (VmHWM) while it takes large uploads: a zip of ENTRIES answers of
// 16 MiB of text (compressed about 14 to 1), uploaded by one teacher, then by four teachers at
// once, each on a fresh server.
//   bench_serve_upload [ENTRIES=55]
#include <zlib.h>

#include <cstdio>
#include <future>
#include <random>

#include "server/ServerHarness.h"

namespace fs = std::filesystem;
using namespace tavi::test;

namespace {

// 16 MiB of Japanese text: lines of three words, one of them most often, which deflate packs
// about 14 to 1.
std::string Answer(unsigned seed) {
    static const char* const words[] = {"学校", "先生", "作文"};
    std::mt19937 random(seed);
    auto word = [&] {
        unsigned r = random() % 20;
        return words[r < 14 ? 0 : r < 17 ? 1 : 2];
    };
    std::string text, line;
    while (text.size() < (16u << 20) - 256) {
        line = word();
        for (int k = 0; k < 12; ++k) line += std::string(k % 4 == 3 ? "、" : "") + word();
        text += line + "。\n";
    }
    return text;
}

void Put16(std::string& out, unsigned v) { out += {static_cast<char>(v & 0xff), static_cast<char>((v >> 8) & 0xff)}; }
void Put32(std::string& out, unsigned long v) {
    Put16(out, static_cast<unsigned>(v & 0xffff));
    Put16(out, static_cast<unsigned>(v >> 16));
}

// A zip archive of `count` entries answer0.txt, answer1.txt, ... that all hold `text`,
// deflated once (libzip would compress each entry again).
std::string SameEntriesZip(const std::string& text, int count) {
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string packed(deflateBound(&z, text.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(packed.data());
    z.avail_out = static_cast<uInt>(packed.size());
    deflate(&z, Z_FINISH);
    packed.resize(z.total_out);
    deflateEnd(&z);
    unsigned long crc = crc32(0, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size()));
    std::string zip, directory;
    for (int k = 0; k < count; ++k) {
        std::string name = "answer" + std::to_string(k) + ".txt";
        auto header = [&](std::string& out, bool central) {
            Put32(out, central ? 0x02014b50 : 0x04034b50);
            if (central) Put16(out, 20);  // made by
            Put16(out, 20);               // needed to extract
            Put16(out, 0);                // flags
            Put16(out, 8);                // deflated
            Put32(out, 0);                // time and date
            Put32(out, crc);
            Put32(out, packed.size());
            Put32(out, text.size());
            Put16(out, static_cast<unsigned>(name.size()));
            Put16(out, 0);  // extra
            if (central) {
                Put16(out, 0);  // comment
                Put16(out, 0);  // disk
                Put16(out, 0);  // internal attributes
                Put32(out, 0);  // external attributes
                Put32(out, zip.size());
            }
            out += name;
        };
        header(directory, true);
        header(zip, false);
        zip += packed;
    }
    unsigned long at = zip.size();
    zip += directory;
    Put32(zip, 0x06054b50);
    Put32(zip, 0);
    Put16(zip, static_cast<unsigned>(count));
    Put16(zip, static_cast<unsigned>(count));
    Put32(zip, directory.size());
    Put32(zip, at);
    Put16(zip, 0);
    return zip;
}

}  // namespace

int main(int argc, char** argv) {
    int entries = argc > 1 ? std::atoi(argv[1]) : 55;
    std::string text = Answer(1);
    size_t unpacked = text.size() * static_cast<size_t>(entries);
    std::string zip = SameEntriesZip(text, entries);
    text.clear();
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
        // The sign-ins' password checks took 64 MiB each; the uploads' own peak counts from here.
        bool reset = ResetPeakMemory(server.pid);
        long start = PeakMemoryKiB(server.pid);
        std::vector<std::future<int>> done;
        for (auto& teacher : teachers)
            done.push_back(std::async(std::launch::async, [&] {
                auto res = teacher->Upload(items);
                return res ? res->status : 0;
            }));
        int created = 0;
        for (auto& f : done) created += f.get() == 201;
        std::printf(
            "%d upload(s) at once: %d created; peak memory %.1f MiB from %.1f MiB at their start%s "
            "(%.1f MiB after the sign-ins)\n",
            uploads, created, PeakMemoryKiB(server.pid) / 1024.0, start / 1024.0,
            reset ? "" : " (the peak could not be reset)", before / 1024.0);
        if (created != uploads) return 1;
    }
    return 0;
}
