#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "report/AnswerUpload.h"
#include "report/Job.h"

namespace tavi::serve {

// An error of the database, with SQLite's result code.
class StoreError : public std::runtime_error {
public:
    StoreError(const std::string& message, int code) : std::runtime_error(message), m_code(code) {}
    // The disk, or the database's own size limit, is full: a write may succeed once space is freed.
    bool DiskFull() const { return (m_code & 0xFF) == SQLITE_FULL; }

private:
    int m_code;
};

struct User {
    int64_t id = 0;
    std::string name;
    std::string hash;  // Argon2id, in libsodium's string form
    bool admin = false;
};

// A job as listed: its row and the counts of its answers.
struct JobRow {
    std::string id;
    int64_t userId = 0;
    std::string name;
    std::string question;  // the question file's name as uploaded
    std::string params;    // JSON
    std::string state;     // idle, queued, scoring, done
    int64_t created = 0;
    double finished = 0;  // when it was last done (seconds since the epoch); 0 while not done
    int answers = 0;
    int scored = 0;
    int failed = 0;
    double fullMark = 10;  // the teacher's marks run from 0 to this
};

// An answer as a new job brings it.
using NewAnswer = UploadedAnswer;

// An answer of a job as the store holds it.
using AnswerRow = JobAnswer;

// The database of the server (SQLite in WAL mode): users, sessions, jobs, answers, results
// and marks. Every statement is prepared with bound values. One connection, used under a
// lock, so one Store serves every thread. Errors throw StoreError.
//
// Deleted rows leave nothing readable behind: freed space is overwritten (secure_delete), and
// after deleting a job or a user the log (tavi.db-wal) is written back and emptied.
class Store {
public:
    explicit Store(const std::string& path);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // --- Users (names compared by their UserNameKey) ---
    // False when the name, or one that differs from it only in case or surrounding spaces, is taken.
    bool AddUser(const std::string& name, const std::string& hash, bool admin);
    // Removes the user with their sessions and jobs; false when there is none.
    bool RemoveUser(const std::string& name);
    std::optional<User> FindUser(const std::string& name);
    std::optional<User> FindUser(int64_t id);
    std::vector<User> Users();
    // Sets the user's password hash and ends their sessions, all but the one keyed `keepSession`
    // (the caller's own, when a user changes their own password); false when there is no user.
    bool SetPassword(const std::string& name, const std::string& hash, const std::string& keepSession = {});

    // --- Sessions (keyed by a hash of the cookie's id) ---
    void AddSession(const std::string& key, int64_t userId, const std::string& csrf, int64_t now);
    // The session's user and CSRF token when it was used within `idleSeconds` and made within
    // `lifetimeSeconds`; refreshes its time of use. An expired session is removed.
    struct SessionUser {
        User user;
        std::string csrf;
    };
    std::optional<SessionUser> UseSession(const std::string& key, int64_t now, int64_t idleSeconds,
                                          int64_t lifetimeSeconds);
    void RemoveSession(const std::string& key);
    // Removes the sessions last used before `usedBefore` or made before `madeBefore`.
    void RemoveSessionsBefore(int64_t usedBefore, int64_t madeBefore);

    // --- Jobs ---
    // Adds a job with its answers (numbered from 1 in the order given) in one transaction.
    void AddJob(const JobRow& job, const std::vector<NewAnswer>& answers);
    std::optional<JobRow> Job(int64_t userId, const std::string& jobId);
    std::optional<JobRow> Job(const std::string& jobId);
    std::vector<JobRow> Jobs(int64_t userId);
    // Jobs of every user in one of the states, oldest first.
    std::vector<JobRow> JobsInState(const std::vector<std::string>& states);
    void SetJobState(const std::string& jobId, const std::string& state);
    // New parameters and full mark of a job; with `clearResults` its results and failures go,
    // to be scored again.
    void SetJobParams(const std::string& jobId, const std::string& params, double fullMark, bool clearResults);
    // Replaces stored records in one transaction, each only while the job's parameters are still
    // `params`; false when they are not (nothing is then written).
    bool ReplaceResults(const std::string& jobId, const std::string& params,
                        const std::vector<std::pair<int, std::string>>& records);
    bool DeleteJob(const std::string& jobId);

    // --- Answers ---
    // Numbers of the answers with neither a result nor a failure.
    std::vector<int> PendingAnswers(const std::string& jobId);
    void ClearFailures(const std::string& jobId);
    // Stores a record scored under `params`; false when the answer is gone (its job was
    // deleted) or the job's parameters have changed since (the record is then dropped).
    bool SaveResult(const std::string& jobId, int number, const std::string& record, const std::string& params);
    void SaveFailure(const std::string& jobId, int number, const std::string& reason);
    // The answers in number order; without records when `withRecords` is false.
    std::vector<AnswerRow> Answers(const std::string& jobId, bool withRecords);
    std::optional<AnswerRow> Answer(const std::string& jobId, int number);
    bool SetReview(const std::string& jobId, int number, std::optional<double> mark, const std::string& note);

private:
    class Statement;
    void Exec(const char* sql);
    // Writes the log back into the database and truncates it, so that no copy of deleted rows
    // stays in it.
    void Checkpoint();
    static JobRow ReadJob(Statement& s);
    static AnswerRow ReadAnswer(Statement& s);
    std::optional<JobRow> OneJob(const char* where, const std::string& jobId, const int64_t* userId);

    sqlite3* m_db = nullptr;
    std::map<std::string, sqlite3_stmt*> m_statements;  // prepared, not in use
    std::recursive_mutex m_mutex;
};

}  // namespace tavi::serve
