#pragma once
// The scores database's schema and queries, written once for both stores: SQLite (a file)
// and PostgreSQL (a server that several plashwerk-scores processes may share). The two
// dialects differ only in the id column, the parameter marks ("?1" against "$1") and how
// an insert gives back its id; everything else is the same text. Every value travels as a
// bound parameter, in the order the matching *Values function gives.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "server/score_entry.h"
#include "server/score_store.h"

namespace plashwerk::server::store_sql {

enum class Dialect { Sqlite, Postgres };
using Value = std::variant<int64_t, std::string>;

/// CREATE TABLE IF NOT EXISTS of the entries.
std::string schema(Dialect dialect);
/// CREATE INDEX IF NOT EXISTS of every order the pages ask for.
std::string indexes();

/// Stores an entry; its values are entryValues(). On PostgreSQL it returns the new id.
std::string insert(Dialect dialect);
/// submitted_at, the entry's columns, the GPU slots and the settings key.
std::vector<Value> entryValues(const ScoreEntry& entry);

/// Every column of one entry, by id (one value).
std::string find(Dialect dialect);

/// The list statements, one per combination of filters (kind, 0 to kListKinds - 1).
inline constexpr int kListKinds = 8;
int listKind(const ListQuery& query);
std::string list(Dialect dialect, int kind);
/// The filters present, then limit and offset.
std::vector<Value> listValues(const ListQuery& query, int64_t limit, int64_t offset);

/// Entries ahead of one on its GPU at its settings: key, vendor, device, score, id.
std::string rank(Dialect dialect);
/// The scores on a GPU at a settings key, best first: key, vendor, device.
std::string gpuScores(Dialect dialect);
/// Every GPU at a settings key with its number of entries: key. Rows of vendor, device,
/// count; read from the index of the key and GPU alone.
std::string gpuCounts(Dialect dialect);
/// The score at a place (from 0, best first) on a GPU at a settings key: key, vendor,
/// device, place.
std::string scoreAt(Dialect dialect);
std::string count();

/// One result row, column by column from 0.
class Row {
  public:
    virtual ~Row() = default;
    virtual int64_t integer(int column) const = 0;
    virtual std::string text(int column) const = 0;
};
/// The entry of a row of find() or list().
ScoreEntry readEntry(const Row& row);

/// For a database made before the settings key was kept: the entries without one, and the
/// statement that sets it (key, id).
std::string entriesWithoutKey();
std::string setKey(Dialect dialect);
/// The entry of a row of entriesWithoutKey(): only the fields its settings key needs.
ScoreEntry readKeyFields(const Row& row);

}  // namespace plashwerk::server::store_sql
