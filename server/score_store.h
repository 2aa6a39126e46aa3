#pragma once
// The scores database, as the routes and pages use it: store an entry, find one, list them,
// compare one with the others. Two stores implement it: an SQLite file (SqliteStore) for one
// server, and a PostgreSQL database (PostgresStore) that several servers on different
// machines may share. Their schema and queries are written once, in store_sql.h. Every
// entry is stored in a transaction of its own and is durable before insert() returns.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "server/score_entry.h"

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
    /// Opens the database the target names: "postgresql://user@host/dbname" (or
    /// "postgres://...", any libpq connection URI) for PostgreSQL, anything else is the path
    /// of an SQLite file. Creates the schema where missing; null with a reason in error when
    /// the database cannot be reached, written or is not a scores database.
    static std::unique_ptr<ScoreStore> open(const std::string& target, std::string& error);
    /// Whether open() reads the target as a PostgreSQL connection URI.
    static bool isPostgresTarget(const std::string& target);

    virtual ~ScoreStore() = default;
    ScoreStore(const ScoreStore&) = delete;
    ScoreStore& operator=(const ScoreStore&) = delete;

    /// Stores the entry, filling its id and submitted_at; -1 when the database refused it.
    /// The first refusal after a success (or after the start) goes to the standard error
    /// with the database's reason; the ones that follow it do not, so a broken disk cannot
    /// flood the log.
    virtual int64_t insert(ScoreEntry& entry) = 0;
    virtual std::optional<ScoreEntry> find(int64_t id) = 0;
    virtual ListPage list(const ListQuery& query) = 0;
    virtual int64_t count() = 0;

    /// The entry against its GPU and settings: the best best_count entries there, and the
    /// nearest_count other GPUs whose median score at these settings is nearest this GPU's.
    std::optional<Comparison> compare(int64_t id, int best_count, int nearest_count = 3);

  protected:
    ScoreStore() = default;

    /// Entries ahead of this one on its GPU at its settings (higher score, or equal and
    /// earlier); -1 when the database failed.
    virtual int64_t ahead(const ScoreEntry& entry, const std::string& key) = 0;
    /// The scores on a GPU at a settings key, best first.
    virtual std::vector<int> gpuScores(const GpuId& gpu, const std::string& key) = 0;
    /// Every GPU at a settings key with its runs (median and best left empty).
    virtual std::vector<GpuMedian> gpuCounts(const std::string& key) = 0;
    /// The score at a place (from 0, best first) on a GPU at a settings key; 0 for none.
    virtual int scoreAt(const GpuId& gpu, const std::string& key, int64_t place) = 0;

    /// Reports a refused write once until a write succeeds (see insert()).
    void writeFailed(const char* reason);
    void writeSucceeded() { m_write_failing = false; }

  private:
    std::atomic<bool> m_write_failing{false};
};

}  // namespace plashwerk::server
