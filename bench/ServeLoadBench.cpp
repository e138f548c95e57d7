// Load on tavi-serve: TEACHERS simulated teachers at once, each creating a job of ANSWERS
// answers, starting it, polling it and its page until it is done, downloading the results and
// deleting the job; ROUNDS rounds. Reports the scoring throughput against tavi-score -j N on
// the same answers in the same run (as csv, and as json, which keeps the evidence as the server
// does), the processor time of the server's own threads and of its scoring processes, the 99th percentile latency of
// GET /api/jobs/{id} and of the job page while the workers are busy, the requests that got no
// answer or an error, and the server's memory after each round. With SLOW, that many slow
// clients hold connections all the while (ten from each address 127.0.0.2, 127.0.0.3, ...):
// each sends a header line every 12 s and never ends its request; one the server cuts off is
// opened again.
//   bench_serve_load [ROUNDS=10] [TEACHERS=20] [ANSWERS=100] [JOBS=cores] [SLOW=0]
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <thread>

#include "bench/CorpusAnswers.h"
#include "server/ServerHarness.h"

namespace fs = std::filesystem;
using namespace tavi::test;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(p * values.size()))];
}

// Processor seconds used by a process (all its threads).
double CpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int k = 3; k <= 15 && fields >> field; ++k)
        if (k >= 14) ticks += std::stod(field);  // utime and stime
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long RssKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

// Slow clients holding connections until the object ends.
class SlowClients {
public:
    SlowClients(int port, int count) {
        if (count > 0) m_thread = std::thread([this, port, count] { Run(port, count); });
    }
    ~SlowClients() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
    }
    int Reopened() const { return m_reopened; }

private:
    void Run(int port, int count) {
        std::vector<std::unique_ptr<RawConnection>> slow(static_cast<size_t>(count));
        for (int line = 0; !m_stop; ++line) {
            for (int k = 0; k < count; ++k) {
                auto& c = slow[static_cast<size_t>(k)];
                bool closed = false;
                if (c) c->Receive(0, closed);
                if (c && !closed && c->Send("X-Slow-" + std::to_string(line) + ": x\r\n")) continue;
                if (c) ++m_reopened;
                c = std::make_unique<RawConnection>(port, "127.0.0." + std::to_string(2 + k / 10));
                c->Send("GET /login HTTP/1.1\r\nHost: 127.0.0.1\r\n");
            }
            for (int tick = 0; tick < 120 && !m_stop; ++tick)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_reopened{0};
    std::thread m_thread;
};

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 10;
    int teachers = argc > 2 ? std::atoi(argv[2]) : 20;
    size_t count = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 100;
    int jobs = argc > 4 ? std::atoi(argv[4]) : static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
    int slowCount = argc > 5 ? std::atoi(argv[5]) : 0;
    const auto roundLimit = std::chrono::minutes(10);

    TempFolder temp;
    auto answers = tavi::bench::CorpusAnswers(TAVI_CORPUS_DIR, count);
    fs::path question = fs::path(TAVI_SAMPLES_DIR) / "question.txt";
    httplib::MultipartFormDataItems upload = {{"question", ReadFile(question), "question.txt", "text/plain"}};
    for (const auto& [name, text] : answers) upload.push_back({"answers", text, name, "text/plain"});

    // tavi-score on as many answers as one round scores (the answers once per teacher).
    fs::path folder = temp.path / "answers";
    fs::create_directories(folder);
    for (int t = 0; t < teachers; ++t)
        for (const auto& [name, text] : answers) std::ofstream(folder / (std::to_string(t) + "_" + name)) << text;
    // As csv (no evidence), and as json, which keeps every answer's evidence as the server does.
    auto command = [&](const char* format) {
        return std::string(TAVI_BIN_DIR) + "/tavi-score -j " + std::to_string(jobs) + " --format " + format +
               " -o /dev/null -q '" + question.string() + "' '" + folder.string() + "'";
    };
    auto timed = [](const std::string& line) {
        auto start = Clock::now();
        return std::system(line.c_str()) == 0 ? Seconds(Clock::now() - start) : -1.0;
    };

    fs::path data = temp.path / "data";
    for (int t = 0; t < teachers; ++t) AddUser(data, "t" + std::to_string(t), "load test password");
    ServerProcess server(data, {"--jobs", std::to_string(jobs)});
    std::vector<std::unique_ptr<Teacher>> clients;
    for (int t = 0; t < teachers; ++t)
        clients.push_back(std::make_unique<Teacher>(server.port, "t" + std::to_string(t), "load test password"));

    SlowClients slow(server.port, slowCount);
    std::printf("%d rounds: %d teachers x %zu answers, %d scoring processes, %d slow clients\n", rounds, teachers,
                answers.size(), jobs, slowCount);
    std::printf(
        "server: from the start to the time the last job was done\n"
        "ratio: tavi-score's time over the server's (csv: without evidence, json: with it)\n"
        "CPU: seconds of the server's own threads (the whole round) and of its scoring processes\n"
        "errors: polls of the job or its page without an answer or with an error\n"
        "round  server s  csv s  json s  ratio csv  ratio json  p99 job ms  p99 page ms  errors  CPU server  "
        "CPU scoring  RSS MiB\n");
    std::vector<double> allJob, allPage;
    int allErrors = 0;
    double serverTotal = 0, csvTotal = 0, jsonTotal = 0;
    for (int round = 0; round < rounds; ++round) {
        double csv = timed(command("csv")), json = timed(command("json"));
        if (csv < 0 || json < 0) return 1;

        std::vector<std::string> ids(teachers);
        for (int t = 0; t < teachers; ++t) {
            auto res = clients[t]->Upload(upload);
            if (!res || res->status != 201)
                return std::fprintf(stderr, "upload failed: %s\n", res ? res->body.c_str() : "no response"), 1;
            ids[t] = nlohmann::json::parse(res->body)["id"];
        }
        std::mutex mutex;
        std::vector<double> jobLatency, pageLatency;
        int errors = 0;
        // The scoring ends when the last job is done, by the time the server gives it (the
        // downloads and deletions after it are not timed).
        double lastFinished = 0;
        bool failed = false;
        double serverCpu = CpuSeconds(server.pid), workerCpu = 0;
        for (pid_t worker : server.Workers()) workerCpu -= CpuSeconds(worker);
        auto start = Clock::now();
        double startedAt = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
        std::vector<std::thread> threads;
        for (int t = 0; t < teachers; ++t)
            threads.emplace_back([&, t] {
                Teacher& teacher = *clients[t];
                const std::string job = "/api/jobs/" + ids[t];
                auto started = teacher.Post(job + "/start");
                if (!started || started->status != 202) {
                    std::fprintf(stderr, "start: %s\n",
                                 started ? started->body.c_str() : httplib::to_string(started.error()).c_str());
                    std::lock_guard lock(mutex);
                    failed = true;
                    return;
                }
                std::vector<double> mine, page;
                double finished = 0;
                int myErrors = 0;
                while (Clock::now() - start < roundLimit) {
                    auto t0 = Clock::now();
                    auto res = teacher.Get(job);
                    mine.push_back(Seconds(Clock::now() - t0) * 1000);
                    nlohmann::json state = res && res->status == 200 ? nlohmann::json::parse(res->body) : nullptr;
                    bool done = state.is_object() && state["state"] == "done";
                    if (done) finished = state["finished"].get<double>();
                    auto t2 = Clock::now();
                    auto html = teacher.Get("/jobs/" + ids[t]);
                    page.push_back(Seconds(Clock::now() - t2) * 1000);
                    myErrors += (!res || res->status != 200) + (!html || html->status != 200);
                    if (done) break;
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
                }
                auto csv = teacher.Get(job + "/results.csv");
                bool ok = csv && csv->status == 200 &&
                          std::count(csv->body.begin(), csv->body.end(), '\n') == static_cast<long>(answers.size()) + 1;
                teacher.Delete(job);
                std::lock_guard lock(mutex);
                failed |= !ok;
                lastFinished = std::max(lastFinished, finished);
                errors += myErrors;
                jobLatency.insert(jobLatency.end(), mine.begin(), mine.end());
                pageLatency.insert(pageLatency.end(), page.begin(), page.end());
            });
        for (std::thread& t : threads) t.join();
        double seconds = lastFinished - startedAt;
        serverCpu = CpuSeconds(server.pid) - serverCpu;
        for (pid_t worker : server.Workers()) workerCpu += CpuSeconds(worker);
        if (failed) {
            std::string log = ReadFile(temp.path / "data.log");
            std::fprintf(stderr, "a job did not finish or its results were incomplete; the server's log ends:\n%s\n",
                         log.substr(log.size() > 3000 ? log.size() - 3000 : 0).c_str());
            return 1;
        }
        serverTotal += seconds;
        csvTotal += csv;
        jsonTotal += json;
        allJob.insert(allJob.end(), jobLatency.begin(), jobLatency.end());
        allPage.insert(allPage.end(), pageLatency.begin(), pageLatency.end());
        allErrors += errors;
        std::printf("%5d  %8.2f  %5.2f  %6.2f  %9.2f  %10.2f  %10.1f  %11.1f  %6d  %10.2f  %11.2f  %7.1f\n", round + 1,
                    seconds, csv, json, csv / seconds, json / seconds, Percentile(jobLatency, 0.99),
                    Percentile(pageLatency, 0.99), errors, serverCpu, workerCpu, RssKiB(server.pid) / 1024.0);
        std::fflush(stdout);
    }
    std::printf("all    %8.2f  %5.2f  %6.2f  %9.2f  %10.2f  %10.1f  %11.1f  %6d\n", serverTotal, csvTotal, jsonTotal,
                csvTotal / serverTotal, jsonTotal / serverTotal, Percentile(allJob, 0.99), Percentile(allPage, 0.99),
                allErrors);
    if (slowCount > 0) std::printf("slow connections cut off by the server and opened again: %d\n", slow.Reopened());
    return 0;
}
