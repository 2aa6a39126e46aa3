#pragma once
// The scores database: one SQLite file in WAL mode, created with its schema on first open.
// Every entry is stored in a transaction of its own and is on disk (in the write-ahead log)
// before insert() returns, so a server killed afterwards keeps it. SQL text is fixed; every
// value travels as a bound parameter. Connections, each with its prepared statements, are
// kept in a pool and leased to one thread at a time; writes are serialised in the process
// so that our own connections never wait on each other's locks, and the log is copied into
// the database file in the background and kept short (see checkpointLoop).

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "server/score_entry.h"

struct sqlite3;

namespace plashwerk::server {

/// Which entries a list holds: an empty renderer or gpu.any() leaves that filter out.
struct ListQuery {
    std::string renderer;
    GpuId gpu;
    std::string settings;  ///< a SettingsKey::text(); empty for every settings
    int page = 1;          ///< 1-based
    int page_size = 25;
};

struct ListPage {
    std::vector<ScoreEntry> entries;  ///< best first: higher global score, then earlier id
    int64_t first_rank = 1;           ///< the rank of entries[0]
    bool has_next = false;            ///< more entries follow this page
};

/// Another GPU's runs at one settings key.
struct GpuMedian {
    GpuId gpu;
    int median = 0;    ///< its middle score (the lower middle one for an even count)
    int64_t runs = 0;  ///< its entries at these settings
    ScoreEntry best;   ///< its best entry at these settings
};

/// One entry against the others on the same GPU (the same PCI vendor and device ids) at the
/// same settings (SettingsKey): only those scores can be compared.
struct Comparison {
    ScoreEntry entry;
    int64_t rank = 0;                ///< 1 for the best on that GPU at these settings
    int64_t total = 0;               ///< entries on that GPU at these settings, this one included
    std::vector<ScoreEntry> best;    ///< the best entries on that GPU at these settings
    std::vector<int> scores;         ///< every score on that GPU at these settings, best first
    int64_t lower = 0;               ///< of those, the scores below this entry's
    int median = 0;                  ///< the middle one of scores
    std::vector<GpuMedian> nearest;  ///< the GPUs whose median is nearest, nearest first
};

class ScoreStore {
  public:
    /// Opens (creating when missing) the database file; null with a reason in error when the
    /// file cannot be opened, cannot be written (a write transaction is tried and rolled
    /// back) or is not a scores database.
    static std::unique_ptr<ScoreStore> open(const std::string& path, std::string& error);
    ~ScoreStore();
    ScoreStore(const ScoreStore&) = delete;
    ScoreStore& operator=(const ScoreStore&) = delete;

    /// Stores the entry, filling its id and submitted_at; -1 when the database refused it.
    /// The first refusal after a success (or after the start) goes to the standard error
    /// with SQLite's reason; the ones that follow it do not, so a broken disk cannot flood
    /// the log.
    int64_t insert(ScoreEntry& entry);
    std::optional<ScoreEntry> find(int64_t id);
    ListPage list(const ListQuery& query);
    /// The entry against its GPU and settings: the best best_count entries there, and the
    /// nearest_count other GPUs whose median score at these settings is nearest this GPU's.
    std::optional<Comparison> compare(int64_t id, int best_count, int nearest_count = 3);
    int64_t count();

    /// Log pages past which the log is emptied at once: 2048 pages of 4 KiB, 8 MiB. With
    /// writers held back while it is emptied, the log stays within about this size.
    static constexpr int kCheckpointFrames = 2048;

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

    void writeFailed(const char* reason);
    std::atomic<bool> m_write_failing{false};

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
