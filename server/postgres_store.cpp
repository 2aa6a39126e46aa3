#include "server/postgres_store.h"

#include <libpq-fe.h>

#include <charconv>
#include <ctime>

#include "server/store_sql.h"

namespace plashwerk::server {

namespace {

using store_sql::Dialect;
using store_sql::kListKinds;
constexpr Dialect kPostgres = Dialect::Postgres;

// Any number: an arbitrary constant that names our schema's lock among the database's
// advisory locks.
constexpr int64_t kSchemaLock = 0x706c617368;

// A result freed when it goes out of scope.
struct Result {
    PGresult* handle = nullptr;
    explicit Result(PGresult* result) : handle(result) {}
    ~Result() { PQclear(handle); }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    ExecStatusType status() const { return PQresultStatus(handle); }
    bool rows() const { return status() == PGRES_TUPLES_OK; }
    int count() const { return rows() ? PQntuples(handle) : 0; }
};

class PostgresRow final : public store_sql::Row {
  public:
    PostgresRow(PGresult* result, int row) : m_result(result), m_row(row) {}
    int64_t integer(int column) const override {
        const char* text = PQgetvalue(m_result, m_row, column);
        int64_t value = 0;
        std::from_chars(text, text + PQgetlength(m_result, m_row, column), value);
        return value;
    }
    std::string text(int column) const override {
        return std::string(PQgetvalue(m_result, m_row, column),
                           static_cast<size_t>(PQgetlength(m_result, m_row, column)));
    }

  private:
    PGresult* m_result;
    int m_row;
};

// The statements' names, in the order prepare() makes them.
const char* const kInsert = "insert";
const char* const kFind = "find";
const char* const kRank = "rank";
const char* const kGpuScores = "gpu_scores";
const char* const kGpuCounts = "gpu_counts";
const char* const kScoreAt = "score_at";
const char* const kCount = "count";

}  // namespace

struct PostgresStore::Connection {
    PGconn* db = nullptr;
    ~Connection() { PQfinish(db); }

    std::string error() const {
        std::string text = db ? PQerrorMessage(db) : "out of memory";
        while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
        return text;
    }
    bool exec(const std::string& sql) {
        Result result(PQexec(db, sql.c_str()));
        return result.status() == PGRES_COMMAND_OK || result.status() == PGRES_TUPLES_OK;
    }
    bool prepare(const std::string& name, const std::string& sql) {
        Result result(PQprepare(db, name.c_str(), sql.c_str(), 0, nullptr));
        return result.status() == PGRES_COMMAND_OK;
    }
    // Runs a prepared statement with its values, all sent as text.
    PGresult* run(const char* name, const std::vector<store_sql::Value>& values) {
        std::vector<std::string> texts;
        texts.reserve(values.size());
        for (const store_sql::Value& value : values) {
            texts.push_back(std::holds_alternative<int64_t>(value)
                                ? std::to_string(std::get<int64_t>(value))
                                : std::get<std::string>(value));
        }
        std::vector<const char*> pointers;
        for (const std::string& text : texts) pointers.push_back(text.c_str());
        return PQexecPrepared(db, name, static_cast<int>(pointers.size()), pointers.data(), nullptr,
                              nullptr, 0);
    }

    // Connects and prepares every statement; create also makes the schema and tries a write.
    bool open(const std::string& uri, bool create, std::string& error) {
        db = PQconnectdb(uri.c_str());
        if (!db || PQstatus(db) != CONNECTION_OK) {
            error = this->error();
            return false;
        }
        if (create) {
            // One server at a time makes the schema; the others find it made. The write
            // check is rolled back with it when the schema was there already.
            const bool made =
                exec("BEGIN") &&
                exec("SELECT pg_advisory_xact_lock(" + std::to_string(kSchemaLock) + ")") &&
                exec(store_sql::schema(kPostgres)) && exec(store_sql::indexes()) &&
                exec("CREATE TEMPORARY TABLE write_check (x INTEGER)") &&
                exec("INSERT INTO entries SELECT * FROM entries WHERE false") && exec("COMMIT");
            if (!made) {
                error = this->error();
                exec("ROLLBACK");
                return false;
            }
        }
        bool ok = prepare(kInsert, store_sql::insert(kPostgres)) &&
                  prepare(kFind, store_sql::find(kPostgres)) &&
                  prepare(kRank, store_sql::rank(kPostgres)) &&
                  prepare(kGpuScores, store_sql::gpuScores(kPostgres)) &&
                  prepare(kGpuCounts, store_sql::gpuCounts(kPostgres)) &&
                  prepare(kScoreAt, store_sql::scoreAt(kPostgres)) &&
                  prepare(kCount, store_sql::count());
        for (int kind = 0; ok && kind < kListKinds; ++kind)
            ok = prepare("list" + std::to_string(kind), store_sql::list(kPostgres, kind));
        if (!ok) error = this->error();
        return ok;
    }
};

/// A pooled connection for the length of one call; one that broke is not given back.
class PostgresStore::Lease {
  public:
    explicit Lease(PostgresStore& store) : m_store(store), m_connection(store.acquire()) {}
    ~Lease() {
        if (m_connection && PQstatus(m_connection->db) == CONNECTION_OK)
            m_store.release(std::move(m_connection));
    }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    Connection* operator->() const { return m_connection.get(); }
    explicit operator bool() const { return m_connection != nullptr; }

  private:
    PostgresStore& m_store;
    std::unique_ptr<Connection> m_connection;
};

std::unique_ptr<PostgresStore> PostgresStore::open(const std::string& uri, std::string& error) {
    std::unique_ptr<PostgresStore> store(new PostgresStore(uri));
    auto connection = std::make_unique<Connection>();
    if (!connection->open(uri, true, error)) return nullptr;
    store->m_idle.push_back(std::move(connection));
    return store;
}

PostgresStore::PostgresStore(std::string uri) : m_uri(std::move(uri)) {}
PostgresStore::~PostgresStore() = default;

std::unique_ptr<PostgresStore::Connection> PostgresStore::acquire(std::string* error) {
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
    if (!connection->open(m_uri, false, error ? *error : ignored)) return nullptr;
    return connection;
}

void PostgresStore::release(std::unique_ptr<Connection> connection) {
    std::lock_guard lock(m_pool_mutex);
    m_idle.push_back(std::move(connection));
}

int64_t PostgresStore::insert(ScoreEntry& entry) {
    std::string error;
    std::unique_ptr<Connection> connection = acquire(&error);
    if (!connection) {
        writeFailed(("no connection to the database: " + error).c_str());
        return -1;
    }
    entry.submitted_at = static_cast<int64_t>(std::time(nullptr));
    int64_t id = -1;
    {
        Result result(connection->run(kInsert, store_sql::entryValues(entry)));
        if (result.count() == 1) {
            id = PostgresRow(result.handle, 0).integer(0);
        } else {
            writeFailed(connection->error().c_str());
        }
    }
    if (PQstatus(connection->db) == CONNECTION_OK) release(std::move(connection));
    if (id < 0) return -1;
    entry.id = id;
    writeSucceeded();
    return id;
}

std::optional<ScoreEntry> PostgresStore::find(int64_t id) {
    Lease connection(*this);
    if (!connection) return std::nullopt;
    Result result(connection->run(kFind, {id}));
    if (result.count() != 1) return std::nullopt;
    return store_sql::readEntry(PostgresRow(result.handle, 0));
}

ListPage PostgresStore::list(const ListQuery& query) {
    ListPage page;
    Lease connection(*this);
    if (!connection || query.page < 1 || query.page_size < 1) return page;
    const int64_t offset = static_cast<int64_t>(query.page - 1) * query.page_size;
    const std::string name = "list" + std::to_string(store_sql::listKind(query));
    // One row beyond the page tells whether another page follows, without counting them all.
    Result result(
        connection->run(name.c_str(), store_sql::listValues(query, query.page_size + 1, offset)));
    for (int row = 0; row < result.count(); ++row) {
        if (static_cast<int>(page.entries.size()) == query.page_size) {
            page.has_next = true;
            break;
        }
        page.entries.push_back(store_sql::readEntry(PostgresRow(result.handle, row)));
    }
    page.first_rank = offset + 1;
    return page;
}

int64_t PostgresStore::count() {
    Lease connection(*this);
    if (!connection) return 0;
    Result result(connection->run(kCount, {}));
    return result.count() == 1 ? PostgresRow(result.handle, 0).integer(0) : 0;
}

int64_t PostgresStore::ahead(const ScoreEntry& entry, const std::string& key) {
    Lease connection(*this);
    if (!connection) return -1;
    Result result(
        connection->run(kRank, {key, int64_t{entry.gpu_vendor_id}, int64_t{entry.gpu_device_id},
                                int64_t{entry.global_score}, entry.id}));
    return result.count() == 1 ? PostgresRow(result.handle, 0).integer(0) : -1;
}

std::vector<int> PostgresStore::gpuScores(const GpuId& gpu, const std::string& key) {
    std::vector<int> scores;
    Lease connection(*this);
    if (!connection) return scores;
    Result result(
        connection->run(kGpuScores, {key, int64_t{gpu.vendor_id}, int64_t{gpu.device_id}}));
    for (int row = 0; row < result.count(); ++row)
        scores.push_back(static_cast<int>(PostgresRow(result.handle, row).integer(0)));
    return scores;
}

std::vector<GpuMedian> PostgresStore::gpuCounts(const std::string& key) {
    std::vector<GpuMedian> counts;
    Lease connection(*this);
    if (!connection) return counts;
    Result result(connection->run(kGpuCounts, {key}));
    for (int row = 0; row < result.count(); ++row) {
        const PostgresRow values(result.handle, row);
        counts.push_back(
            {{static_cast<int>(values.integer(0)), static_cast<int>(values.integer(1))},
             0,
             values.integer(2),
             {}});
    }
    return counts;
}

int PostgresStore::scoreAt(const GpuId& gpu, const std::string& key, int64_t place) {
    Lease connection(*this);
    if (!connection) return 0;
    Result result(
        connection->run(kScoreAt, {key, int64_t{gpu.vendor_id}, int64_t{gpu.device_id}, place}));
    return result.count() == 1 ? static_cast<int>(PostgresRow(result.handle, 0).integer(0)) : 0;
}

}  // namespace plashwerk::server
