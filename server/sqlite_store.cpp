#include "server/sqlite_store.h"

#include <sqlite3.h>

#include <cstdio>
#include <ctime>

#include "server/store_sql.h"

namespace plashwerk::server {

namespace {

using store_sql::Dialect;
using store_sql::kListKinds;
constexpr Dialect kSqlite = Dialect::Sqlite;

struct Statement {
    sqlite3_stmt* handle = nullptr;
    ~Statement() { sqlite3_finalize(handle); }
    // Clears the bindings and the cursor when a use ends, so the next use starts clean.
    struct Use {
        sqlite3_stmt* stmt;
        ~Use() {
            sqlite3_reset(stmt);
            sqlite3_clear_bindings(stmt);
        }
    };
};

void bind(sqlite3_stmt* stmt, const std::vector<store_sql::Value>& values) {
    int index = 1;
    for (const store_sql::Value& value : values) {
        if (const int64_t* number = std::get_if<int64_t>(&value)) {
            sqlite3_bind_int64(stmt, index++, *number);
        } else {
            const std::string& text = std::get<std::string>(value);
            sqlite3_bind_text(stmt, index++, text.data(), static_cast<int>(text.size()),
                              SQLITE_TRANSIENT);
        }
    }
}

class SqliteRow final : public store_sql::Row {
  public:
    explicit SqliteRow(sqlite3_stmt* stmt) : m_stmt(stmt) {}
    int64_t integer(int column) const override { return sqlite3_column_int64(m_stmt, column); }
    std::string text(int column) const override {
        const unsigned char* value = sqlite3_column_text(m_stmt, column);
        return value ? std::string(reinterpret_cast<const char*>(value),
                                   static_cast<size_t>(sqlite3_column_bytes(m_stmt, column)))
                     : std::string();
    }

  private:
    sqlite3_stmt* m_stmt;
};

// Entries made before the settings key was kept get theirs from their own columns.
bool fillSettingsKeys(sqlite3* db) {
    sqlite3_stmt* read = nullptr;
    sqlite3_stmt* write = nullptr;
    bool ok = sqlite3_prepare_v2(db, store_sql::entriesWithoutKey().c_str(), -1, &read, nullptr) ==
                  SQLITE_OK &&
              sqlite3_prepare_v2(db, store_sql::setKey(kSqlite).c_str(), -1, &write, nullptr) ==
                  SQLITE_OK;
    while (ok && sqlite3_step(read) == SQLITE_ROW) {
        const ScoreEntry entry = store_sql::readKeyFields(SqliteRow(read));
        bind(write, {SettingsKey::of(entry).text(), entry.id});
        ok = sqlite3_step(write) == SQLITE_DONE;
        sqlite3_reset(write);
    }
    sqlite3_finalize(read);
    sqlite3_finalize(write);
    return ok;
}

}  // namespace

/// One database connection with its statements, prepared once and reused.
struct SqliteStore::Connection {
    sqlite3* db = nullptr;
    Statement insert, find, rank, gpu_scores, gpu_counts, score_at;
    Statement lists[kListKinds];

    ~Connection() {
        // The statements must go before the connection closes.
        for (Statement* s : {&insert, &find, &rank, &gpu_scores, &gpu_counts, &score_at}) {
            sqlite3_finalize(s->handle);
            s->handle = nullptr;
        }
        for (Statement& s : lists) {
            sqlite3_finalize(s.handle);
            s.handle = nullptr;
        }
        sqlite3_close_v2(db);
    }

    bool exec(const std::string& sql) {
        return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    bool prepare(Statement& statement, const std::string& sql) {
        return sqlite3_prepare_v3(db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &statement.handle,
                                  nullptr) == SQLITE_OK;
    }

    // Opens the file, sets the journal up and prepares every statement; create also makes
    // the schema (the first connection of a process).
    bool open(const std::string& path, bool create, std::string& error,
              SqliteStore* owner = nullptr) {
        const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
        if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
            error = db ? sqlite3_errmsg(db) : "out of memory";
            return false;
        }
        sqlite3_busy_timeout(db, 5000);
        // WAL: readers never block the writer; NORMAL: a commit reaches the log file before
        // it returns (safe against a killed process), and only a power cut can lose the last
        // ones, which saves an fsync per entry.
        if (!exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; "
                  "PRAGMA wal_autocheckpoint=0;") ||
            (create && !exec("BEGIN IMMEDIATE;" + store_sql::schema(kSqlite)))) {
            error = sqlite3_errmsg(db);
            return false;
        }
        if (create) {
            // A database from before the settings key gains the column and its values.
            sqlite3_stmt* probe = nullptr;
            const bool has_key = sqlite3_prepare_v2(db, "SELECT settings_key FROM entries", -1,
                                                    &probe, nullptr) == SQLITE_OK;
            sqlite3_finalize(probe);
            if ((!has_key &&
                 !exec("ALTER TABLE entries ADD COLUMN settings_key TEXT NOT NULL DEFAULT ''")) ||
                !fillSettingsKeys(db) || !exec(store_sql::indexes() + "COMMIT;")) {
                error = sqlite3_errmsg(db);
                exec("ROLLBACK;");
                return false;
            }
        }
        // A file we may only read (write-protected, another user's) opens without a word;
        // a write that is rolled back finds out before the first submission does.
        if (create && (!exec("BEGIN IMMEDIATE; CREATE TABLE write_check (x INTEGER);") ||
                       !exec("ROLLBACK;"))) {
            error = std::string("it cannot be written: ") + sqlite3_errmsg(db);
            exec("ROLLBACK;");
            return false;
        }
        if (owner) sqlite3_wal_hook(db, &SqliteStore::walGrew, owner);
        bool ok = prepare(insert, store_sql::insert(kSqlite)) &&
                  prepare(find, store_sql::find(kSqlite)) &&
                  prepare(rank, store_sql::rank(kSqlite)) &&
                  prepare(gpu_scores, store_sql::gpuScores(kSqlite)) &&
                  prepare(gpu_counts, store_sql::gpuCounts(kSqlite)) &&
                  prepare(score_at, store_sql::scoreAt(kSqlite));
        for (int kind = 0; ok && kind < kListKinds; ++kind)
            ok = prepare(lists[kind], store_sql::list(kSqlite, kind));
        if (!ok) error = sqlite3_errmsg(db);
        return ok;
    }
};

/// A pooled connection for the length of one call.
class SqliteStore::Lease {
  public:
    explicit Lease(SqliteStore& store) : m_store(store), m_connection(store.acquire()) {}
    ~Lease() {
        if (m_connection) m_store.release(std::move(m_connection));
    }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    Connection* operator->() const { return m_connection.get(); }
    explicit operator bool() const { return m_connection != nullptr; }

  private:
    SqliteStore& m_store;
    std::unique_ptr<Connection> m_connection;
};

std::unique_ptr<SqliteStore> SqliteStore::open(const std::string& path, std::string& error) {
    std::unique_ptr<SqliteStore> store(new SqliteStore(path));
    auto connection = std::make_unique<Connection>();
    if (!connection->open(path, true, error, store.get())) return nullptr;
    auto checkpoints = std::make_unique<Connection>();
    if (!checkpoints->open(path, false, error)) return nullptr;
    store->m_idle.push_back(std::move(connection));
    store->m_checkpointer = std::thread([raw = store.get(), c = std::move(checkpoints)]() mutable {
        raw->checkpointLoop(std::move(c));
    });
    return store;
}

SqliteStore::SqliteStore(std::string path) : m_path(std::move(path)) {}

SqliteStore::~SqliteStore() {
    {
        std::lock_guard lock(m_stop_mutex);
        m_stopping = true;
    }
    m_stop_signal.notify_all();
    if (m_checkpointer.joinable()) m_checkpointer.join();
}

int SqliteStore::walGrew(void* store, sqlite3*, const char*, int frames) {
    // Called by SQLite right after each commit, on the committing thread, which holds
    // m_write_mutex.
    static_cast<SqliteStore*>(store)->m_wal_full = frames >= kCheckpointFrames;
    return SQLITE_OK;
}

// Copies the rest of the log, waits (half a second at most) for the readers still on it,
// and truncates it; the caller holds m_write_mutex, so no writer of ours starts meanwhile.
static void emptyLog(sqlite3* db, std::mutex& checkpoints) {
    std::lock_guard one_at_a_time(checkpoints);
    sqlite3_busy_timeout(db, 500);
    sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    sqlite3_busy_timeout(db, 5000);
}

void SqliteStore::checkpointLoop(std::unique_ptr<Connection> connection) {
    std::unique_lock lock(m_stop_mutex);
    while (
        !m_stop_signal.wait_for(lock, std::chrono::milliseconds(250), [&] { return m_stopping; })) {
        lock.unlock();
        const bool quiet = m_writes.exchange(0) == 0;
        // Passive: copies what no reader still needs and never blocks a writer or reader.
        int log_pages = 0;
        {
            std::lock_guard one_at_a_time(m_checkpoint_mutex);
            sqlite3_wal_checkpoint_v2(connection->db, nullptr, SQLITE_CHECKPOINT_PASSIVE,
                                      &log_pages, nullptr);
        }
        if (quiet && log_pages > 0) {
            std::lock_guard write(m_write_mutex);
            emptyLog(connection->db, m_checkpoint_mutex);
        }
        lock.lock();
    }
}

std::unique_ptr<SqliteStore::Connection> SqliteStore::acquire() {
    {
        std::lock_guard lock(m_pool_mutex);
        if (!m_idle.empty()) {
            std::unique_ptr<Connection> connection = std::move(m_idle.back());
            m_idle.pop_back();
            return connection;
        }
    }
    auto connection = std::make_unique<Connection>();
    std::string ignored;
    if (!connection->open(m_path, false, ignored, this)) return nullptr;
    return connection;
}

void SqliteStore::release(std::unique_ptr<Connection> connection) {
    std::lock_guard lock(m_pool_mutex);
    m_idle.push_back(std::move(connection));
}

int64_t SqliteStore::insert(ScoreEntry& entry) {
    Lease connection(*this);
    if (!connection) {
        writeFailed("no connection to the database could be opened");
        return -1;
    }
    entry.submitted_at = static_cast<int64_t>(std::time(nullptr));
    std::lock_guard lock(m_write_mutex);
    // One statement in autocommit mode: one transaction per entry.
    sqlite3_stmt* stmt = connection->insert.handle;
    Statement::Use use{stmt};
    bind(stmt, store_sql::entryValues(entry));
    if (sqlite3_step(stmt) != SQLITE_DONE) {
        writeFailed(sqlite3_errmsg(connection->db));
        return -1;
    }
    entry.id = sqlite3_last_insert_rowid(connection->db);
    writeSucceeded();
    ++m_writes;
    if (m_wal_full) {
        emptyLog(connection->db, m_checkpoint_mutex);
        m_wal_full = false;
    }
    return entry.id;
}

std::optional<ScoreEntry> SqliteStore::find(int64_t id) {
    Lease connection(*this);
    if (!connection) return std::nullopt;
    sqlite3_stmt* stmt = connection->find.handle;
    Statement::Use use{stmt};
    sqlite3_bind_int64(stmt, 1, id);
    if (sqlite3_step(stmt) != SQLITE_ROW) return std::nullopt;
    return store_sql::readEntry(SqliteRow(stmt));
}

ListPage SqliteStore::list(const ListQuery& query) {
    ListPage page;
    Lease connection(*this);
    if (!connection || query.page < 1 || query.page_size < 1) return page;
    sqlite3_stmt* stmt = connection->lists[store_sql::listKind(query)].handle;
    Statement::Use use{stmt};
    const int64_t offset = static_cast<int64_t>(query.page - 1) * query.page_size;
    // One row beyond the page tells whether another page follows, without counting them all.
    bind(stmt, store_sql::listValues(query, query.page_size + 1, offset));
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        if (static_cast<int>(page.entries.size()) == query.page_size) {
            page.has_next = true;
            break;
        }
        page.entries.push_back(store_sql::readEntry(SqliteRow(stmt)));
    }
    page.first_rank = offset + 1;
    return page;
}

int64_t SqliteStore::ahead(const ScoreEntry& entry, const std::string& key) {
    Lease connection(*this);
    if (!connection) return -1;
    sqlite3_stmt* stmt = connection->rank.handle;
    Statement::Use use{stmt};
    bind(stmt, {key, int64_t{entry.gpu_vendor_id}, int64_t{entry.gpu_device_id},
                int64_t{entry.global_score}, entry.id});
    return sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : -1;
}

std::vector<int> SqliteStore::gpuScores(const GpuId& gpu, const std::string& key) {
    std::vector<int> scores;
    Lease connection(*this);
    if (!connection) return scores;
    sqlite3_stmt* stmt = connection->gpu_scores.handle;
    Statement::Use use{stmt};
    bind(stmt, {key, int64_t{gpu.vendor_id}, int64_t{gpu.device_id}});
    while (sqlite3_step(stmt) == SQLITE_ROW) scores.push_back(sqlite3_column_int(stmt, 0));
    return scores;
}

std::vector<GpuMedian> SqliteStore::gpuCounts(const std::string& key) {
    std::vector<GpuMedian> counts;
    Lease connection(*this);
    if (!connection) return counts;
    sqlite3_stmt* stmt = connection->gpu_counts.handle;
    Statement::Use use{stmt};
    bind(stmt, {key});
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        counts.push_back({{sqlite3_column_int(stmt, 0), sqlite3_column_int(stmt, 1)},
                          0,
                          sqlite3_column_int64(stmt, 2),
                          {}});
    }
    return counts;
}

int SqliteStore::scoreAt(const GpuId& gpu, const std::string& key, int64_t place) {
    Lease connection(*this);
    if (!connection) return 0;
    sqlite3_stmt* stmt = connection->score_at.handle;
    Statement::Use use{stmt};
    bind(stmt, {key, int64_t{gpu.vendor_id}, int64_t{gpu.device_id}, place});
    return sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int(stmt, 0) : 0;
}

int64_t SqliteStore::count() {
    Lease connection(*this);
    if (!connection) return 0;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(connection->db, store_sql::count().c_str(), -1, &stmt, nullptr) !=
        SQLITE_OK) {
        return 0;
    }
    const int64_t total = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : 0;
    sqlite3_finalize(stmt);
    return total;
}

}  // namespace plashwerk::server
