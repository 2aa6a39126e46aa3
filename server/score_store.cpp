#include "server/score_store.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <stdexcept>
#include <variant>

namespace plashwerk::server {

namespace {

using IntField = int ScoreEntry::*;
using TextField = std::string ScoreEntry::*;

struct Column {
    const char* name;
    std::variant<IntField, TextField> field;
};

// The stored fields in column order; the GPU slots follow them (gpuN_vendor_id,
// gpuN_device_id, gpuN_maxima for N = 1..4).
const Column kColumns[] = {
    {"global_score", &ScoreEntry::global_score},
    {"max_time_ms", &ScoreEntry::max_time_ms},
    {"time_based", &ScoreEntry::time_based},
    {"width", &ScoreEntry::width},
    {"height", &ScoreEntry::height},
    {"msaa", &ScoreEntry::msaa},
    {"fullscreen", &ScoreEntry::fullscreen},
    {"gpu_vendor_id", &ScoreEntry::gpu_vendor_id},
    {"gpu_device_id", &ScoreEntry::gpu_device_id},
    {"cpu_mhz", &ScoreEntry::cpu_mhz},
    {"gpu_count", &ScoreEntry::gpu_count},
    {"nickname", &ScoreEntry::nickname},
    {"cpu_name", &ScoreEntry::cpu_name},
    {"os_name", &ScoreEntry::os_name},
    {"renderer", &ScoreEntry::renderer},
    {"driver", &ScoreEntry::driver},
    {"mac_address", &ScoreEntry::mac_address},
    {"physx_system_version", &ScoreEntry::physx_system_version},
    {"physx_device", &ScoreEntry::physx_device},
    {"temperatures", &ScoreEntry::temperatures},
    {"clocks", &ScoreEntry::clocks},
    {"run_details", &ScoreEntry::run_details},
    {"account_email", &ScoreEntry::account_email},
};
constexpr int kGpuSlots = 4;

std::string columnList() {
    std::string text = "id, submitted_at";
    for (const Column& column : kColumns) text += std::string(", ") + column.name;
    for (int slot = 1; slot <= kGpuSlots; ++slot) {
        const std::string prefix = ", gpu" + std::to_string(slot);
        text += prefix + "_vendor_id" + prefix + "_device_id" + prefix + "_maxima";
    }
    return text;
}

// The settings key (SettingsKey::text) follows the entry's own columns: it is derived from
// them, and kept so that the lists of one settings key are read from an index.
std::string schemaSql() {
    std::string sql =
        "CREATE TABLE IF NOT EXISTS entries (id INTEGER PRIMARY KEY, "
        "submitted_at INTEGER NOT NULL";
    for (const Column& column : kColumns) {
        sql += std::string(", ") + column.name +
               (std::holds_alternative<IntField>(column.field) ? " INTEGER NOT NULL"
                                                               : " TEXT NOT NULL");
    }
    for (int slot = 1; slot <= kGpuSlots; ++slot) {
        const std::string prefix = ", gpu" + std::to_string(slot);
        sql += prefix + "_vendor_id INTEGER NOT NULL" + prefix + "_device_id INTEGER NOT NULL" +
               prefix + "_maxima TEXT NOT NULL";
    }
    return sql + ", settings_key TEXT NOT NULL DEFAULT '');";
}

// One index per order the pages ask for: the whole list, a renderer's, a GPU's, a settings
// key's, and a GPU's at one settings key (which also gives every GPU's scores in order).
std::string indexSql() {
    return "CREATE INDEX IF NOT EXISTS entries_by_score ON entries (global_score DESC, id);"
           "CREATE INDEX IF NOT EXISTS entries_by_renderer ON entries "
           "(renderer, global_score DESC, id);"
           "CREATE INDEX IF NOT EXISTS entries_by_gpu ON entries "
           "(gpu_vendor_id, gpu_device_id, global_score DESC, id);"
           "CREATE INDEX IF NOT EXISTS entries_by_settings ON entries "
           "(settings_key, global_score DESC, id);"
           "CREATE INDEX IF NOT EXISTS entries_by_settings_gpu ON entries "
           "(settings_key, gpu_vendor_id, gpu_device_id, global_score DESC, id);";
}

std::string insertSql() {
    std::string sql = "INSERT INTO entries (" + columnList() + ", settings_key) VALUES (NULL, ?";
    const size_t values = std::size(kColumns) + 3 * kGpuSlots + 1;
    for (size_t i = 0; i < values; ++i) sql += ", ?";
    return sql + ")";
}

// The list orders: best score first, the earlier entry first among equal scores.
const char* const kOrder = " ORDER BY global_score DESC, id ASC LIMIT ?1 OFFSET ?2";

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

ScoreEntry readEntry(sqlite3_stmt* stmt) {
    ScoreEntry entry;
    int index = 0;
    entry.id = sqlite3_column_int64(stmt, index++);
    entry.submitted_at = sqlite3_column_int64(stmt, index++);
    const auto text = [&](int at) {
        const unsigned char* value = sqlite3_column_text(stmt, at);
        return value ? std::string(reinterpret_cast<const char*>(value),
                                   static_cast<size_t>(sqlite3_column_bytes(stmt, at)))
                     : std::string();
    };
    for (const Column& column : kColumns) {
        if (const IntField* field = std::get_if<IntField>(&column.field)) {
            entry.*(*field) = sqlite3_column_int(stmt, index);
        } else {
            entry.*std::get<TextField>(column.field) = text(index);
        }
        ++index;
    }
    for (GpuSlot& gpu : entry.gpus) {
        gpu.vendor_id = sqlite3_column_int(stmt, index++);
        gpu.device_id = sqlite3_column_int(stmt, index++);
        gpu.maxima = text(index++);
    }
    return entry;
}

void bindEntry(sqlite3_stmt* stmt, const ScoreEntry& entry) {
    int index = 1;
    sqlite3_bind_int64(stmt, index++, entry.submitted_at);
    const auto text = [&](const std::string& value) {
        sqlite3_bind_text(stmt, index++, value.data(), static_cast<int>(value.size()),
                          SQLITE_TRANSIENT);
    };
    for (const Column& column : kColumns) {
        if (const IntField* field = std::get_if<IntField>(&column.field)) {
            sqlite3_bind_int(stmt, index++, entry.*(*field));
        } else {
            text(entry.*std::get<TextField>(column.field));
        }
    }
    for (const GpuSlot& gpu : entry.gpus) {
        sqlite3_bind_int(stmt, index++, gpu.vendor_id);
        sqlite3_bind_int(stmt, index++, gpu.device_id);
        text(gpu.maxima);
    }
    text(SettingsKey::of(entry).text());
}

// The list statement of each combination of filters: bit 0 a GPU (?3, ?4), bit 1 a
// renderer (?5), bit 2 a settings key (?6); ?1 and ?2 are the limit and the offset.
constexpr int kByGpu = 1, kByRenderer = 2, kBySettings = 4, kListKinds = 8;

std::string listSql(int filters) {
    std::string sql = "SELECT " + columnList() + " FROM entries";
    const char* joiner = " WHERE ";
    const auto add = [&](const char* condition) {
        sql += joiner;
        sql += condition;
        joiner = " AND ";
    };
    if (filters & kBySettings) add("settings_key = ?6");
    if (filters & kByGpu) add("gpu_vendor_id = ?3 AND gpu_device_id = ?4");
    if (filters & kByRenderer) add("renderer = ?5");
    return sql + kOrder;
}

// Entries made before the settings key was kept get theirs from their own columns.
bool fillSettingsKeys(sqlite3* db) {
    sqlite3_stmt* read = nullptr;
    sqlite3_stmt* write = nullptr;
    bool ok = sqlite3_prepare_v2(db,
                                 "SELECT id, width, height, msaa, physx_device, run_details FROM "
                                 "entries WHERE settings_key = ''",
                                 -1, &read, nullptr) == SQLITE_OK &&
              sqlite3_prepare_v2(db, "UPDATE entries SET settings_key = ?1 WHERE id = ?2", -1,
                                 &write, nullptr) == SQLITE_OK;
    while (ok && sqlite3_step(read) == SQLITE_ROW) {
        ScoreEntry entry;
        entry.width = sqlite3_column_int(read, 1);
        entry.height = sqlite3_column_int(read, 2);
        entry.msaa = sqlite3_column_int(read, 3);
        entry.physx_device = sqlite3_column_int(read, 4);
        const unsigned char* details = sqlite3_column_text(read, 5);
        entry.run_details = details ? reinterpret_cast<const char*>(details) : "";
        const std::string key = SettingsKey::of(entry).text();
        sqlite3_bind_text(write, 1, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(write, 2, sqlite3_column_int64(read, 0));
        ok = sqlite3_step(write) == SQLITE_DONE;
        sqlite3_reset(write);
    }
    sqlite3_finalize(read);
    sqlite3_finalize(write);
    return ok;
}

}  // namespace

/// One database connection with its statements, prepared once and reused.
struct ScoreStore::Connection {
    sqlite3* db = nullptr;
    Statement insert, find, gpu_rank, gpu_total, gpu_scores, settings_scores;
    Statement lists[kListKinds];

    ~Connection() {
        // The statements must go before the connection closes.
        for (Statement* s :
             {&insert, &find, &gpu_rank, &gpu_total, &gpu_scores, &settings_scores}) {
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
              ScoreStore* owner = nullptr) {
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
            (create && !exec("BEGIN IMMEDIATE;" + schemaSql()))) {
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
                !fillSettingsKeys(db) || !exec(indexSql() + "COMMIT;")) {
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
        if (owner) sqlite3_wal_hook(db, &ScoreStore::walGrew, owner);
        const std::string select = "SELECT " + columnList() + " FROM entries";
        const std::string same =
            " WHERE settings_key = ?5 AND gpu_vendor_id = ?1 AND "
            "gpu_device_id = ?2";
        bool ok = prepare(insert, insertSql()) && prepare(find, select + " WHERE id = ?1") &&
                  prepare(gpu_rank, "SELECT COUNT(*) FROM entries" + same +
                                        " AND (global_score > ?3 OR (global_score = ?3 AND "
                                        "id < ?4))") &&
                  prepare(gpu_total, "SELECT COUNT(*) FROM entries" + same) &&
                  prepare(gpu_scores, "SELECT global_score FROM entries" + same +
                                          " ORDER BY global_score DESC") &&
                  prepare(settings_scores,
                          "SELECT gpu_vendor_id, gpu_device_id, global_score FROM entries WHERE "
                          "settings_key = ?1 ORDER BY gpu_vendor_id, gpu_device_id, "
                          "global_score DESC");
        for (int filters = 0; ok && filters < kListKinds; ++filters)
            ok = prepare(lists[filters], listSql(filters));
        if (!ok) error = sqlite3_errmsg(db);
        return ok;
    }
};

/// A pooled connection for the length of one call.
class ScoreStore::Lease {
  public:
    explicit Lease(ScoreStore& store) : m_store(store), m_connection(store.acquire()) {}
    ~Lease() {
        if (m_connection) m_store.release(std::move(m_connection));
    }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    Connection* operator->() const { return m_connection.get(); }
    explicit operator bool() const { return m_connection != nullptr; }

  private:
    ScoreStore& m_store;
    std::unique_ptr<Connection> m_connection;
};

std::unique_ptr<ScoreStore> ScoreStore::open(const std::string& path, std::string& error) {
    std::unique_ptr<ScoreStore> store(new ScoreStore(path));
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

ScoreStore::ScoreStore(std::string path) : m_path(std::move(path)) {}

ScoreStore::~ScoreStore() {
    {
        std::lock_guard lock(m_stop_mutex);
        m_stopping = true;
    }
    m_stop_signal.notify_all();
    if (m_checkpointer.joinable()) m_checkpointer.join();
}

int ScoreStore::walGrew(void* store, sqlite3*, const char*, int frames) {
    // Called by SQLite right after each commit, on the committing thread, which holds
    // m_write_mutex.
    static_cast<ScoreStore*>(store)->m_wal_full = frames >= kCheckpointFrames;
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

void ScoreStore::checkpointLoop(std::unique_ptr<Connection> connection) {
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

void ScoreStore::writeFailed(const char* reason) {
    if (!m_write_failing.exchange(true))
        std::fprintf(stderr, "plashwerk-scores: a score could not be stored: %s\n", reason);
}

std::unique_ptr<ScoreStore::Connection> ScoreStore::acquire() {
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

void ScoreStore::release(std::unique_ptr<Connection> connection) {
    std::lock_guard lock(m_pool_mutex);
    m_idle.push_back(std::move(connection));
}

int64_t ScoreStore::insert(ScoreEntry& entry) {
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
    bindEntry(stmt, entry);
    if (sqlite3_step(stmt) != SQLITE_DONE) {
        writeFailed(sqlite3_errmsg(connection->db));
        return -1;
    }
    entry.id = sqlite3_last_insert_rowid(connection->db);
    m_write_failing = false;
    ++m_writes;
    if (m_wal_full) {
        emptyLog(connection->db, m_checkpoint_mutex);
        m_wal_full = false;
    }
    return entry.id;
}

std::optional<ScoreEntry> ScoreStore::find(int64_t id) {
    Lease connection(*this);
    if (!connection) return std::nullopt;
    sqlite3_stmt* stmt = connection->find.handle;
    Statement::Use use{stmt};
    sqlite3_bind_int64(stmt, 1, id);
    if (sqlite3_step(stmt) != SQLITE_ROW) return std::nullopt;
    return readEntry(stmt);
}

ListPage ScoreStore::list(const ListQuery& query) {
    ListPage page;
    Lease connection(*this);
    if (!connection || query.page < 1 || query.page_size < 1) return page;
    const bool by_renderer = !query.renderer.empty();
    const bool by_gpu = !query.gpu.any();
    const bool by_settings = !query.settings.empty();
    sqlite3_stmt* stmt = connection
                             ->lists[(by_gpu ? kByGpu : 0) | (by_renderer ? kByRenderer : 0) |
                                     (by_settings ? kBySettings : 0)]
                             .handle;
    Statement::Use use{stmt};
    const int64_t offset = static_cast<int64_t>(query.page - 1) * query.page_size;
    // One row beyond the page tells whether another page follows, without counting them all.
    sqlite3_bind_int(stmt, 1, query.page_size + 1);
    sqlite3_bind_int64(stmt, 2, offset);
    if (by_gpu) {
        sqlite3_bind_int(stmt, 3, query.gpu.vendor_id);
        sqlite3_bind_int(stmt, 4, query.gpu.device_id);
    }
    if (by_renderer) {
        sqlite3_bind_text(stmt, 5, query.renderer.data(), static_cast<int>(query.renderer.size()),
                          SQLITE_TRANSIENT);
    }
    if (by_settings) {
        sqlite3_bind_text(stmt, 6, query.settings.data(), static_cast<int>(query.settings.size()),
                          SQLITE_TRANSIENT);
    }
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        if (static_cast<int>(page.entries.size()) == query.page_size) {
            page.has_next = true;
            break;
        }
        page.entries.push_back(readEntry(stmt));
    }
    page.first_rank = offset + 1;
    return page;
}

namespace {

// The middle score of a list in either order (the lower of the two middle ones for an even
// count); 0 for none.
int medianOf(const std::vector<int>& sorted) {
    return sorted.empty() ? 0 : sorted[sorted.size() / 2];
}

}  // namespace

std::optional<Comparison> ScoreStore::compare(int64_t id, int best_count, int nearest_count) {
    std::optional<ScoreEntry> entry = find(id);
    if (!entry) return std::nullopt;
    Comparison result;
    result.entry = std::move(*entry);
    const std::string key = SettingsKey::of(result.entry).text();
    const GpuId own{result.entry.gpu_vendor_id, result.entry.gpu_device_id};
    std::vector<GpuMedian> others;
    {
        Lease connection(*this);
        if (!connection) return std::nullopt;
        const auto bindSame = [&](sqlite3_stmt* stmt) {
            sqlite3_bind_int(stmt, 1, own.vendor_id);
            sqlite3_bind_int(stmt, 2, own.device_id);
            sqlite3_bind_text(stmt, 5, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
        };
        {
            sqlite3_stmt* stmt = connection->gpu_rank.handle;
            Statement::Use use{stmt};
            bindSame(stmt);
            sqlite3_bind_int(stmt, 3, result.entry.global_score);
            sqlite3_bind_int64(stmt, 4, result.entry.id);
            result.rank =
                (sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : 0) + 1;
        }
        {
            sqlite3_stmt* stmt = connection->gpu_scores.handle;
            Statement::Use use{stmt};
            bindSame(stmt);
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                const int score = sqlite3_column_int(stmt, 0);
                result.scores.push_back(score);
                if (score < result.entry.global_score) ++result.lower;
            }
            result.total = static_cast<int64_t>(result.scores.size());
        }
        // Every other GPU's median at these settings, from its scores in order.
        sqlite3_stmt* stmt = connection->settings_scores.handle;
        Statement::Use use{stmt};
        sqlite3_bind_text(stmt, 1, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
        std::vector<int> scores;
        GpuId current;
        const auto close = [&] {
            if (!scores.empty() &&
                (current.vendor_id != own.vendor_id || current.device_id != own.device_id)) {
                others.push_back(
                    {current, medianOf(scores), static_cast<int64_t>(scores.size()), {}});
            }
            scores.clear();
        };
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            const GpuId gpu{sqlite3_column_int(stmt, 0), sqlite3_column_int(stmt, 1)};
            if (gpu.vendor_id != current.vendor_id || gpu.device_id != current.device_id) {
                close();
                current = gpu;
            }
            scores.push_back(sqlite3_column_int(stmt, 2));
        }
        close();
    }
    result.median = medianOf(result.scores);
    const auto distance = [&](const GpuMedian& other) {
        return std::abs(static_cast<int64_t>(other.median) - result.median);
    };
    std::stable_sort(others.begin(), others.end(), [&](const GpuMedian& a, const GpuMedian& b) {
        return distance(a) < distance(b);
    });
    if (others.size() > static_cast<size_t>(std::max(nearest_count, 0)))
        others.resize(static_cast<size_t>(std::max(nearest_count, 0)));
    ListQuery query;
    query.settings = key;
    query.page_size = 1;
    for (GpuMedian& other : others) {
        query.gpu = other.gpu;
        ListPage best = list(query);
        if (best.entries.empty()) continue;
        other.best = std::move(best.entries.front());
        result.nearest.push_back(std::move(other));
    }
    query.gpu = own;
    query.page_size = best_count;
    result.best = list(query).entries;
    return result;
}

int64_t ScoreStore::count() {
    Lease connection(*this);
    if (!connection) return 0;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(connection->db, "SELECT COUNT(*) FROM entries", -1, &stmt, nullptr) !=
        SQLITE_OK) {
        return 0;
    }
    const int64_t total = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : 0;
    sqlite3_finalize(stmt);
    return total;
}

}  // namespace plashwerk::server
