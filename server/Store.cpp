#include "server/Store.h"

#include <chrono>
#include <stdexcept>

#include "server/Auth.h"

namespace tavi::serve {
namespace {

constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS users (
    id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE, hash TEXT NOT NULL, admin INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS sessions (
    key TEXT PRIMARY KEY, user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    csrf TEXT NOT NULL, last_seen INTEGER NOT NULL, created INTEGER);
CREATE TABLE IF NOT EXISTS jobs (
    id TEXT PRIMARY KEY, user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    name TEXT NOT NULL, question TEXT NOT NULL, params TEXT NOT NULL, state TEXT NOT NULL,
    created INTEGER NOT NULL, finished REAL);
CREATE INDEX IF NOT EXISTS jobs_by_user ON jobs(user_id);
CREATE TABLE IF NOT EXISTS answers (
    job_id TEXT NOT NULL REFERENCES jobs(id) ON DELETE CASCADE, number INTEGER NOT NULL,
    name TEXT NOT NULL, failure TEXT, student_id TEXT NOT NULL DEFAULT '', file TEXT NOT NULL DEFAULT '',
    source TEXT NOT NULL DEFAULT '', sheet_row INTEGER NOT NULL DEFAULT 0, PRIMARY KEY (job_id, number)) WITHOUT ROWID;
-- Records are large (the evidence): kept in a rowid table, so that counting a job's results
-- reads only the small index of the key and not every record.
CREATE TABLE IF NOT EXISTS results (
    job_id TEXT NOT NULL, number INTEGER NOT NULL, record BLOB NOT NULL, PRIMARY KEY (job_id, number),
    FOREIGN KEY (job_id, number) REFERENCES answers(job_id, number) ON DELETE CASCADE);
CREATE TABLE IF NOT EXISTS marks (
    job_id TEXT NOT NULL, number INTEGER NOT NULL, mark REAL, note TEXT NOT NULL, PRIMARY KEY (job_id, number),
    FOREIGN KEY (job_id, number) REFERENCES answers(job_id, number) ON DELETE CASCADE) WITHOUT ROWID;
)";

constexpr const char* kJobColumns =
    "SELECT j.id, j.user_id, j.name, j.question, j.params, j.state, j.created, j.finished, "
    "(SELECT count(*) FROM answers a WHERE a.job_id = j.id), "
    "(SELECT count(*) FROM results r WHERE r.job_id = j.id), "
    "(SELECT count(*) FROM answers a WHERE a.job_id = j.id AND a.failure IS NOT NULL), j.full_mark FROM jobs j ";

// Where an answer came from, after its number, name, record, failure, mark and note.
constexpr const char* kAnswerOrigin = ", a.student_id, a.file, a.source, a.sheet_row";

}  // namespace

// A prepared statement: values bound in order, rows stepped through. Statements are prepared
// once and kept by the store for the next use of the same text.
class Store::Statement {
public:
    Statement(Store& store, std::string sql) : m_store(store), m_db(store.m_db), m_sql(std::move(sql)) {
        if (auto it = store.m_statements.find(m_sql); it != store.m_statements.end()) {
            m_stmt = it->second;
            store.m_statements.erase(it);  // in use: a nested use of the same text prepares its own
        } else if (sqlite3_prepare_v3(m_db, m_sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr) !=
                   SQLITE_OK) {
            Fail();
        }
    }
    ~Statement() {
        Reset();
        if (!m_store.m_statements.emplace(std::move(m_sql), m_stmt).second) sqlite3_finalize(m_stmt);
    }

    Statement& Bind(const std::string& v) {
        Check(sqlite3_bind_text(m_stmt, ++m_bound, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT));
        return *this;
    }
    Statement& Blob(const std::string& v) {
        Check(sqlite3_bind_blob(m_stmt, ++m_bound, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT));
        return *this;
    }
    Statement& Bind(int64_t v) {
        Check(sqlite3_bind_int64(m_stmt, ++m_bound, v));
        return *this;
    }
    Statement& Bind(std::optional<double> v) {
        Check(v ? sqlite3_bind_double(m_stmt, ++m_bound, *v) : sqlite3_bind_null(m_stmt, ++m_bound));
        return *this;
    }

    void Reset() {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        m_bound = 0;
    }

    // True while there is a row.
    bool Step() {
        int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW) return true;
        if (rc != SQLITE_DONE) Fail();
        return false;
    }
    // Runs a statement without rows; false when a constraint refused it.
    bool Run() {
        int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_DONE) return true;
        if ((rc & 0xFF) == SQLITE_CONSTRAINT) return false;
        Fail();
    }
    int64_t Int(int column) { return sqlite3_column_int64(m_stmt, column); }
    bool IsNull(int column) { return sqlite3_column_type(m_stmt, column) == SQLITE_NULL; }
    double Real(int column) { return sqlite3_column_double(m_stmt, column); }
    std::string Text(int column) {
        const void* p = sqlite3_column_blob(m_stmt, column);
        return p ? std::string(static_cast<const char*>(p), static_cast<size_t>(sqlite3_column_bytes(m_stmt, column)))
                 : std::string();
    }
    int Changes() { return sqlite3_changes(m_db); }

private:
    void Check(int rc) {
        if (rc != SQLITE_OK) Fail();
    }
    [[noreturn]] void Fail() {
        throw StoreError(std::string("database: ") + sqlite3_errmsg(m_db), sqlite3_extended_errcode(m_db));
    }

    Store& m_store;
    sqlite3* m_db;
    std::string m_sql;
    sqlite3_stmt* m_stmt = nullptr;
    int m_bound = 0;
};

// A row of kJobColumns.
JobRow Store::ReadJob(Statement& s) {
    return {s.Text(0),
            s.Int(1),
            s.Text(2),
            s.Text(3),
            s.Text(4),
            s.Text(5),
            s.Int(6),
            s.Real(7),
            static_cast<int>(s.Int(8)),
            static_cast<int>(s.Int(9)),
            static_cast<int>(s.Int(10)),
            s.Real(11)};
}

// A row of number, name, record, failure, mark, note and kAnswerOrigin.
AnswerRow Store::ReadAnswer(Statement& s) {
    AnswerRow row{static_cast<int>(s.Int(0)), s.Text(1), s.Text(2), s.Text(3), std::nullopt, s.Text(5)};
    if (!s.IsNull(4)) row.mark = s.Real(4);
    row.studentId = s.Text(6);
    row.file = s.Text(7);
    row.source = s.Text(8);
    row.sheetRow = static_cast<int>(s.Int(9));
    if (row.file.empty()) row.file = row.name;
    if (row.source.empty()) row.source = row.file;
    return row;
}

Store::Store(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        std::string error = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        sqlite3_close(m_db);
        throw std::runtime_error(path + ": " + error);
    }
    sqlite3_busy_timeout(m_db, 5000);
    // WAL with NORMAL sync: a committed result survives a killed process.
    // Freed space is overwritten, so that deleted essays, names and notes are gone.
    Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON; PRAGMA secure_delete=ON;");
    Exec(kSchema);
    // A store made before jobs kept their finishing time, or sessions their making, gets the column.
    if (!Statement(*this, "SELECT 1 FROM pragma_table_info('jobs') WHERE name = 'finished'").Step())
        Exec("ALTER TABLE jobs ADD COLUMN finished REAL");
    if (!Statement(*this, "SELECT 1 FROM pragma_table_info('sessions') WHERE name = 'created'").Step())
        Exec("ALTER TABLE sessions ADD COLUMN created INTEGER");
    Exec("UPDATE sessions SET created = last_seen WHERE created IS NULL");
    // A store made before jobs had a full mark gets it, at the default of 10.
    if (!Statement(*this, "SELECT 1 FROM pragma_table_info('jobs') WHERE name = 'full_mark'").Step())
        Exec("ALTER TABLE jobs ADD COLUMN full_mark REAL NOT NULL DEFAULT 10");
    // A store made before answers kept their student and origin gets the columns.
    for (const char* column : {"student_id TEXT NOT NULL DEFAULT ''", "file TEXT NOT NULL DEFAULT ''",
                               "source TEXT NOT NULL DEFAULT ''", "sheet_row INTEGER NOT NULL DEFAULT 0"}) {
        std::string name(column, std::string_view(column).find(' '));
        if (!Statement(*this, "SELECT 1 FROM pragma_table_info('answers') WHERE name = ?").Bind(name).Step())
            Exec(("ALTER TABLE answers ADD COLUMN " + std::string(column)).c_str());
    }
}

Store::~Store() {
    for (const auto& [sql, stmt] : m_statements) sqlite3_finalize(stmt);
    sqlite3_close(m_db);
}

void Store::Exec(const char* sql) {
    char* error = nullptr;
    if (int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, &error); rc != SQLITE_OK) {
        std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        throw StoreError("database: " + message, rc);
    }
}

void Store::Checkpoint() {
    int rc = sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    if (rc != SQLITE_OK && rc != SQLITE_BUSY)
        throw std::runtime_error(std::string("database: ") + sqlite3_errmsg(m_db));
}

namespace {
// The SQL form of UserNameKey for a column: ASCII lower case without surrounding spaces.
constexpr const char* kNameKey = "lower(trim(name, ' ' || char(9)))";
}  // namespace

bool Store::AddUser(const std::string& name, const std::string& hash, bool admin) {
    std::lock_guard lock(m_mutex);
    if (Statement(*this, std::string("SELECT 1 FROM users WHERE ") + kNameKey + " = ?").Bind(UserNameKey(name)).Step())
        return false;
    return Statement(*this, "INSERT INTO users(name, hash, admin) VALUES (?, ?, ?)")
        .Bind(name)
        .Bind(hash)
        .Bind(int64_t{admin})
        .Run();
}

bool Store::RemoveUser(const std::string& name) {
    std::lock_guard lock(m_mutex);
    Statement s(*this, std::string("DELETE FROM users WHERE ") + kNameKey + " = ?");
    s.Bind(UserNameKey(name)).Run();
    bool removed = s.Changes() > 0;
    if (removed) Checkpoint();
    return removed;
}

std::optional<User> Store::FindUser(const std::string& name) {
    std::lock_guard lock(m_mutex);
    Statement s(*this, std::string("SELECT id, name, hash, admin FROM users WHERE ") + kNameKey + " = ?");
    if (!s.Bind(UserNameKey(name)).Step()) return std::nullopt;
    return User{s.Int(0), s.Text(1), s.Text(2), s.Int(3) != 0};
}

std::optional<User> Store::FindUser(int64_t id) {
    std::lock_guard lock(m_mutex);
    Statement s(*this, "SELECT id, name, hash, admin FROM users WHERE id = ?");
    if (!s.Bind(id).Step()) return std::nullopt;
    return User{s.Int(0), s.Text(1), s.Text(2), s.Int(3) != 0};
}

std::vector<User> Store::Users() {
    std::lock_guard lock(m_mutex);
    Statement s(*this, "SELECT id, name, '', admin FROM users ORDER BY name");
    std::vector<User> users;
    while (s.Step()) users.push_back({s.Int(0), s.Text(1), {}, s.Int(3) != 0});
    return users;
}

bool Store::SetPassword(const std::string& name, const std::string& hash, const std::string& keepSession) {
    std::lock_guard lock(m_mutex);
    std::optional<User> user = FindUser(name);
    if (!user) return false;
    Statement(*this, "UPDATE users SET hash = ? WHERE id = ?").Bind(hash).Bind(user->id).Run();
    // A new password ends the user's sessions.
    Statement(*this, "DELETE FROM sessions WHERE user_id = ? AND key <> ?").Bind(user->id).Bind(keepSession).Run();
    return true;
}

void Store::AddSession(const std::string& key, int64_t userId, const std::string& csrf, int64_t now) {
    std::lock_guard lock(m_mutex);
    Statement(*this, "INSERT INTO sessions(key, user_id, csrf, last_seen, created) VALUES (?, ?, ?, ?, ?)")
        .Bind(key)
        .Bind(userId)
        .Bind(csrf)
        .Bind(now)
        .Bind(now)
        .Run();
}

std::optional<Store::SessionUser> Store::UseSession(const std::string& key, int64_t now, int64_t idleSeconds,
                                                    int64_t lifetimeSeconds) {
    std::lock_guard lock(m_mutex);
    Statement s(*this,
                "SELECT u.id, u.name, u.admin, s.csrf, s.last_seen, s.created FROM sessions s "
                "JOIN users u ON u.id = s.user_id WHERE s.key = ?");
    if (!s.Bind(key).Step()) return std::nullopt;
    if (now - s.Int(4) > idleSeconds || now - s.Int(5) > lifetimeSeconds) {
        RemoveSession(key);
        return std::nullopt;
    }
    SessionUser found{{s.Int(0), s.Text(1), {}, s.Int(2) != 0}, s.Text(3)};
    // The time is written at most once a minute: polling pages do not turn into writes. A
    // full disk leaves the time as it was: the session goes on.
    if (now - s.Int(4) >= 60) {
        try {
            Statement(*this, "UPDATE sessions SET last_seen = ? WHERE key = ?").Bind(now).Bind(key).Run();
        } catch (const StoreError& e) {
            if (!e.DiskFull()) throw;
        }
    }
    return found;
}

void Store::RemoveSession(const std::string& key) {
    std::lock_guard lock(m_mutex);
    Statement(*this, "DELETE FROM sessions WHERE key = ?").Bind(key).Run();
}

void Store::RemoveSessionsBefore(int64_t usedBefore, int64_t madeBefore) {
    std::lock_guard lock(m_mutex);
    Statement(*this, "DELETE FROM sessions WHERE last_seen < ? OR created < ?").Bind(usedBefore).Bind(madeBefore).Run();
}

void Store::AddJob(const JobRow& job, const std::vector<NewAnswer>& answers) {
    std::lock_guard lock(m_mutex);
    Exec("BEGIN IMMEDIATE");
    try {
        Statement(*this,
                  "INSERT INTO jobs(id, user_id, name, question, params, state, created, full_mark) "
                  "VALUES (?, ?, ?, ?, ?, ?, ?, ?)")
            .Bind(job.id)
            .Bind(job.userId)
            .Bind(job.name)
            .Bind(job.question)
            .Bind(job.params)
            .Bind(job.state)
            .Bind(job.created)
            .Bind(std::optional<double>(job.fullMark))
            .Run();
        Statement insert(*this,
                         "INSERT INTO answers(job_id, number, name, student_id, file, source, sheet_row) "
                         "VALUES (?, ?, ?, ?, ?, ?, ?)");
        for (size_t k = 0; k < answers.size(); ++k) {
            const NewAnswer& a = answers[k];
            insert.Reset();
            insert.Bind(job.id)
                .Bind(static_cast<int64_t>(k + 1))
                .Bind(a.name)
                .Bind(a.studentId)
                .Bind(a.file)
                .Bind(a.source)
                .Bind(int64_t{a.sheetRow})
                .Run();
        }
        Exec("COMMIT");
    } catch (...) {
        Exec("ROLLBACK");
        throw;
    }
}

std::optional<JobRow> Store::OneJob(const char* where, const std::string& jobId, const int64_t* userId) {
    std::lock_guard lock(m_mutex);
    Statement s(*this, std::string(kJobColumns) + where);
    s.Bind(jobId);
    if (userId) s.Bind(*userId);
    if (!s.Step()) return std::nullopt;
    return ReadJob(s);
}

std::optional<JobRow> Store::Job(int64_t userId, const std::string& jobId) {
    return OneJob("WHERE j.id = ? AND j.user_id = ?", jobId, &userId);
}

std::optional<JobRow> Store::Job(const std::string& jobId) { return OneJob("WHERE j.id = ?", jobId, nullptr); }

std::vector<JobRow> Store::Jobs(int64_t userId) {
    std::lock_guard lock(m_mutex);
    Statement s(*this, std::string(kJobColumns) + "WHERE j.user_id = ? ORDER BY j.created DESC, j.rowid DESC");
    s.Bind(userId);
    std::vector<JobRow> jobs;
    while (s.Step()) jobs.push_back(ReadJob(s));
    return jobs;
}

std::vector<JobRow> Store::JobsInState(const std::vector<std::string>& states) {
    std::vector<JobRow> jobs;
    std::lock_guard lock(m_mutex);
    for (const std::string& state : states) {
        Statement s(*this, std::string(kJobColumns) + "WHERE j.state = ? ORDER BY j.created, j.rowid");
        s.Bind(state);
        while (s.Step()) jobs.push_back(ReadJob(s));
    }
    return jobs;
}

void Store::SetJobState(const std::string& jobId, const std::string& state) {
    std::lock_guard lock(m_mutex);
    std::optional<double> finished;
    if (state == "done")
        finished = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    Statement(*this, "UPDATE jobs SET state = ?, finished = ? WHERE id = ?")
        .Bind(state)
        .Bind(finished)
        .Bind(jobId)
        .Run();
}

bool Store::DeleteJob(const std::string& jobId) {
    std::lock_guard lock(m_mutex);
    Statement s(*this, "DELETE FROM jobs WHERE id = ?");
    s.Bind(jobId).Run();
    bool deleted = s.Changes() > 0;
    if (deleted) Checkpoint();
    return deleted;
}

std::vector<int> Store::PendingAnswers(const std::string& jobId) {
    std::lock_guard lock(m_mutex);
    Statement s(*this,
                "SELECT a.number FROM answers a WHERE a.job_id = ? AND a.failure IS NULL AND NOT EXISTS "
                "(SELECT 1 FROM results r WHERE r.job_id = a.job_id AND r.number = a.number) ORDER BY a.number");
    s.Bind(jobId);
    std::vector<int> numbers;
    while (s.Step()) numbers.push_back(static_cast<int>(s.Int(0)));
    return numbers;
}

void Store::ClearFailures(const std::string& jobId) {
    std::lock_guard lock(m_mutex);
    Statement(*this, "UPDATE answers SET failure = NULL WHERE job_id = ?").Bind(jobId).Run();
}

bool Store::SaveResult(const std::string& jobId, int number, const std::string& record, const std::string& params) {
    std::lock_guard lock(m_mutex);
    Statement s(*this,
                "INSERT OR REPLACE INTO results(job_id, number, record) SELECT ?, ?, ? "
                "WHERE EXISTS (SELECT 1 FROM jobs WHERE id = ? AND params = ?)");
    if (!s.Bind(jobId).Bind(int64_t{number}).Blob(record).Bind(jobId).Bind(params).Run()) return false;
    return s.Changes() > 0;
}

void Store::SetJobParams(const std::string& jobId, const std::string& params, double fullMark, bool clearResults) {
    std::lock_guard lock(m_mutex);
    Exec("BEGIN IMMEDIATE");
    try {
        Statement(*this, "UPDATE jobs SET params = ?, full_mark = ? WHERE id = ?")
            .Bind(params)
            .Bind(std::optional<double>(fullMark))
            .Bind(jobId)
            .Run();
        if (clearResults) {
            Statement(*this, "DELETE FROM results WHERE job_id = ?").Bind(jobId).Run();
            Statement(*this, "UPDATE answers SET failure = NULL WHERE job_id = ?").Bind(jobId).Run();
        }
        Exec("COMMIT");
    } catch (...) {
        Exec("ROLLBACK");
        throw;
    }
}

bool Store::ReplaceResults(const std::string& jobId, const std::string& params,
                           const std::vector<std::pair<int, std::string>>& records) {
    std::lock_guard lock(m_mutex);
    Exec("BEGIN IMMEDIATE");
    try {
        bool current =
            Statement(*this, "SELECT 1 FROM jobs WHERE id = ? AND params = ?").Bind(jobId).Bind(params).Step();
        if (current) {
            Statement update(*this, "UPDATE results SET record = ? WHERE job_id = ? AND number = ?");
            for (const auto& [number, record] : records) {
                update.Reset();
                update.Blob(record).Bind(jobId).Bind(int64_t{number}).Run();
            }
        }
        Exec("COMMIT");
        return current;
    } catch (...) {
        Exec("ROLLBACK");
        throw;
    }
}

void Store::SaveFailure(const std::string& jobId, int number, const std::string& reason) {
    std::lock_guard lock(m_mutex);
    Statement(*this, "UPDATE answers SET failure = ? WHERE job_id = ? AND number = ?")
        .Bind(reason)
        .Bind(jobId)
        .Bind(int64_t{number})
        .Run();
}

std::vector<AnswerRow> Store::Answers(const std::string& jobId, bool withRecords) {
    std::lock_guard lock(m_mutex);
    Statement s(*this, std::string("SELECT a.number, a.name, ") +
                           (withRecords ? "r.record" : "CASE WHEN r.record IS NULL THEN NULL ELSE 'x' END") +
                           ", a.failure, m.mark, m.note" + kAnswerOrigin +
                           " FROM answers a "
                           "LEFT JOIN results r ON r.job_id = a.job_id AND r.number = a.number "
                           "LEFT JOIN marks m ON m.job_id = a.job_id AND m.number = a.number "
                           "WHERE a.job_id = ? ORDER BY a.number");
    s.Bind(jobId);
    std::vector<AnswerRow> rows;
    while (s.Step()) {
        rows.push_back(ReadAnswer(s));
    }
    return rows;
}

std::optional<AnswerRow> Store::Answer(const std::string& jobId, int number) {
    std::lock_guard lock(m_mutex);
    Statement s(*this, std::string("SELECT a.number, a.name, r.record, a.failure, m.mark, m.note") + kAnswerOrigin +
                           " FROM answers a "
                           "LEFT JOIN results r ON r.job_id = a.job_id AND r.number = a.number "
                           "LEFT JOIN marks m ON m.job_id = a.job_id AND m.number = a.number "
                           "WHERE a.job_id = ? AND a.number = ?");
    s.Bind(jobId).Bind(int64_t{number});
    if (!s.Step()) return std::nullopt;
    return ReadAnswer(s);
}

bool Store::SetReview(const std::string& jobId, int number, std::optional<double> mark, const std::string& note) {
    std::lock_guard lock(m_mutex);
    return Statement(*this, "INSERT OR REPLACE INTO marks(job_id, number, mark, note) VALUES (?, ?, ?, ?)")
        .Bind(jobId)
        .Bind(int64_t{number})
        .Bind(mark)
        .Bind(note)
        .Run();
}

}  // namespace tavi::serve
