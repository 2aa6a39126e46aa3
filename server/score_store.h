#pragma once
// The scores database: one SQLite file in WAL mode, created with its schema on first open.
// Every entry is stored in a transaction of its own and is on disk (in the write-ahead log)
// before insert() returns, so a server killed afterwards keeps it. SQL text is fixed; every
// value travels as a bound parameter. Connections, each with its prepared statements, are
// kept in a pool and leased to one thread at a time; writes are serialised in the process
// so that our own connections never wait on each other's locks, and the log is copied into
// the database file in the background.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "server/score_entry.h"

namespace plashwerk::server {

/// Which entries a list holds: an empty renderer or gpu.any() leaves that filter out.
struct ListQuery {
    std::string renderer;
    GpuId gpu;
    int page = 1;  ///< 1-based
    int page_size = 25;
};

struct ListPage {
    std::vector<ScoreEntry> entries;  ///< best first: higher global score, then earlier id
    int64_t first_rank = 1;           ///< the rank of entries[0]
    bool has_next = false;            ///< more entries follow this page
};

/// One entry against the others on the same GPU (the same PCI vendor and device ids).
struct Comparison {
    ScoreEntry entry;
    int64_t rank = 0;              ///< 1 for the best on that GPU
    int64_t total = 0;             ///< entries on that GPU, this one included
    std::vector<ScoreEntry> best;  ///< the best entries on that GPU
};

class ScoreStore {
  public:
    /// Opens (creating when missing) the database file; null with a reason in error when the
    /// file cannot be opened or is not a scores database.
    static std::unique_ptr<ScoreStore> open(const std::string& path, std::string& error);
    ~ScoreStore();
    ScoreStore(const ScoreStore&) = delete;
    ScoreStore& operator=(const ScoreStore&) = delete;

    /// Stores the entry, filling its id and submitted_at; -1 when the database refused it.
    int64_t insert(ScoreEntry& entry);
    std::optional<ScoreEntry> find(int64_t id);
    ListPage list(const ListQuery& query);
    std::optional<Comparison> compare(int64_t id, int best_count);
    int64_t count();

    struct Connection;

  private:
    explicit ScoreStore(std::string path);

    class Lease;
    std::unique_ptr<Connection> acquire();
    void release(std::unique_ptr<Connection> connection);

    std::string m_path;
    std::mutex m_pool_mutex;
    std::vector<std::unique_ptr<Connection>> m_idle;
    std::mutex m_write_mutex;

    // Copies the write-ahead log into the database file once a second on a thread of its
    // own, so that no request waits for a checkpoint.
    void checkpointLoop(std::unique_ptr<Connection> connection);
    std::mutex m_stop_mutex;
    std::condition_variable m_stop_signal;
    bool m_stopping = false;
    std::thread m_checkpointer;
};

}  // namespace plashwerk::server
