#pragma once
// The scores database on a PostgreSQL server, through libpq: the store for more than one
// machine, since any number of plashwerk-scores processes may share the database. The
// schema is made on first open (under an advisory lock, so that servers starting together
// do not race) and is the one of store_sql.h. Each entry is one INSERT in autocommit mode,
// durable when the server has answered it. Connections, each with its prepared statements,
// are kept in a pool and leased to one thread at a time; a connection that broke is
// dropped, and the next call opens a fresh one.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "server/score_store.h"

namespace plashwerk::server {

class PostgresStore final : public ScoreStore {
  public:
    /// Connects with a libpq connection URI ("postgresql://user@host/dbname"), makes the
    /// schema where missing and checks that a write is allowed; null with libpq's reason in
    /// error otherwise.
    static std::unique_ptr<PostgresStore> open(const std::string& uri, std::string& error);
    ~PostgresStore() override;

    int64_t insert(ScoreEntry& entry) override;
    std::optional<ScoreEntry> find(int64_t id) override;
    ListPage list(const ListQuery& query) override;
    int64_t count() override;

    struct Connection;

  private:
    explicit PostgresStore(std::string uri);

    int64_t ahead(const ScoreEntry& entry, const std::string& key) override;
    std::vector<int> gpuScores(const GpuId& gpu, const std::string& key) override;
    std::vector<GpuMedian> gpuCounts(const std::string& key) override;
    int scoreAt(const GpuId& gpu, const std::string& key, int64_t place) override;

    class Lease;
    std::unique_ptr<Connection> acquire(std::string* error = nullptr);
    void release(std::unique_ptr<Connection> connection);

    std::string m_uri;
    std::mutex m_pool_mutex;
    std::vector<std::unique_ptr<Connection>> m_idle;
};

}  // namespace plashwerk::server
