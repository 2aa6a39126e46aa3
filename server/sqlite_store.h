#pragma once
// The scores database in one SQLite file in WAL mode, created with its schema on first
// open. Every entry is on disk (in the write-ahead log) before insert() returns, so a server
// killed afterwards keeps it. Connections, each with its prepared statements, are kept in a
// pool and leased to one thread at a time; writes are serialised in the process so that our
// own connections never wait on each other's locks, and the log is copied into the database
// file in the background and kept short (see checkpointLoop).

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server/score_store.h"

struct sqlite3;

namespace plashwerk::server {

class SqliteStore final : public ScoreStore {
  public:
    /// Opens (creating when missing) the database file; null with a reason in error when the
    /// file cannot be opened, cannot be written (a write transaction is tried and rolled
    /// back) or is not a scores database.
    static std::unique_ptr<SqliteStore> open(const std::string& path, std::string& error);
    ~SqliteStore() override;

    int64_t insert(ScoreEntry& entry) override;
    std::optional<ScoreEntry> find(int64_t id) override;
    ListPage list(const ListQuery& query) override;
    int64_t count() override;

    /// Log pages past which the log is emptied at once: 2048 pages of 4 KiB, 8 MiB. With
    /// writers held back while it is emptied, the log stays within about this size.
    static constexpr int kCheckpointFrames = 2048;

    struct Connection;

  private:
    explicit SqliteStore(std::string path);

    int64_t ahead(const ScoreEntry& entry, const std::string& key) override;
    std::vector<int> gpuScores(const GpuId& gpu, const std::string& key) override;
    std::vector<GpuMedian> gpuCounts(const std::string& key) override;
    int scoreAt(const GpuId& gpu, const std::string& key, int64_t place) override;

    class Lease;
    std::unique_ptr<Connection> acquire();
    void release(std::unique_ptr<Connection> connection);

    std::string m_path;
    std::mutex m_pool_mutex;
    std::vector<std::unique_ptr<Connection>> m_idle;
    std::mutex m_write_mutex;

    // Keeps the write-ahead log short. A thread of its own copies the log into the database
    // file every quarter second without blocking anyone, and empties it (truncates it to
    // nothing) when no entry came since its last round. Under steady writes, the writer
    // whose entry takes the log past kCheckpointFrames pages empties it before it answers,
    // with the other writers held back for that moment: the log never grows much past that.
    void checkpointLoop(std::unique_ptr<Connection> connection);
    static int walGrew(void* store, sqlite3* db, const char* name, int frames);
    bool m_wal_full = false;  ///< under m_write_mutex: the last commit passed the bound
    // One checkpoint at a time: an emptying that met a copy in progress would be skipped.
    // Taken after m_write_mutex when both are.
    std::mutex m_checkpoint_mutex;
    std::mutex m_stop_mutex;
    std::condition_variable m_stop_signal;
    bool m_stopping = false;
    std::atomic<int64_t> m_writes{0};
    std::thread m_checkpointer;
};

}  // namespace plashwerk::server
