// The fit to a teacher's marks through tavi-serve: a job of ANSWERS corpus answers, all marked
// by a teacher who weighs content most and expects shorter answers, then ROUNDS times
// POST /api/jobs/{id}/fit with every parameter free, GET /api/jobs/{id}/agreement and, as the
// baseline of the same run, GET /api/jobs/{id}/answers, which reads the same records. Reports
// the median of each and the fit's ratio to the baseline. The aim for 40 answers: the fit
// answers within 2 s.
//   bench_serve_fit [ANSWERS=40] [ROUNDS=5]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>

#include "bench/CorpusAnswers.h"
#include "server/ServerHarness.h"

namespace fs = std::filesystem;
using namespace tavi::test;
using Clock = std::chrono::steady_clock;
using nlohmann::json;

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 40;
    int rounds = std::clamp(argc > 2 ? std::atoi(argv[2]) : 5, 1, 50);
    TempFolder temp;
    fs::path data = temp.path / "data";
    AddUser(data, "t", "fit bench password");
    ServerProcess server(data, {"--jobs", "2"});
    Teacher teacher(server.port, "t", "fit bench password");
    httplib::MultipartFormDataItems upload = {
        {"question", ReadFile(fs::path(TAVI_SAMPLES_DIR) / "question.txt"), "question.txt", "text/plain"}};
    for (const auto& [name, text] : tavi::bench::CorpusAnswers(TAVI_CORPUS_DIR, count))
        upload.push_back({"answers", text, name, "text/plain"});
    auto created = teacher.Upload(upload);
    if (!created || created->status != 201) {
        std::fprintf(stderr, "the job was not created\n");
        return 1;
    }
    std::string id = json::parse(created->body)["id"], job = "/api/jobs/" + id;
    teacher.Post(job + "/start");
    if (teacher.WaitDone(id, 600)["state"] != "done") {
        std::fprintf(stderr, "the job was not scored\n");
        return 1;
    }
    // The teacher's marks: Tavi's totals under their parameters, rounded.
    teacher.Put(job + "/params", R"({"weights": "2:1:7", "expectedLength": 400})");
    std::vector<double> marks;
    for (const json& a : teacher.Json(job + "/answers"))
        marks.push_back(std::round(std::clamp(a["scores"]["total"].get<double>(), 0.0, 10.0)));
    teacher.Put(job + "/params", R"({"weights": "5:2:3", "expectedLength": 800})");
    for (size_t k = 0; k < marks.size(); ++k)
        teacher.Put(job + "/answers/" + std::to_string(k + 1) + "/review",
                    json{{"mark", marks[k]}, {"note", ""}}.dump());

    auto timed = [&](const std::function<int()>& request) {
        std::vector<double> seconds;
        for (int r = 0; r < rounds; ++r) {
            auto start = Clock::now();
            if (request() != 200) return -1.0;
            seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        }
        return Median(seconds);
    };
    double answers = timed([&] { return teacher.Get(job + "/answers")->status; });
    double agreement = timed([&] { return teacher.Get(job + "/agreement")->status; });
    json fit;
    double fitting = timed([&] {
        auto res = teacher.Post(job + "/fit", R"({"fit": []})");
        if (res && res->status == 200) fit = json::parse(res->body);
        return res ? res->status : 0;
    });
    std::printf("answers %zu, marked %zu\n", count, marks.size());
    std::printf("GET answers (baseline)  %.3f s\n", answers);
    std::printf("GET agreement           %.3f s\n", agreement);
    std::printf("POST fit (all free)     %.3f s  (%.0f x the baseline; aim: under 2 s)\n", fitting,
                answers > 0 ? fitting / answers : 0);
    if (!fit.is_null())
        std::printf("qwk before %s, after %s (cross-validated)\n", fit["before"]["qwk"].dump().c_str(),
                    fit["after"]["qwk"].dump().c_str());
    return fitting < 0 || agreement < 0 ? 1 : 0;
}
