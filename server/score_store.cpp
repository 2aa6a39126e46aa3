#include "server/score_store.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "server/postgres_store.h"
#include "server/sqlite_store.h"

namespace plashwerk::server {

bool ScoreStore::isPostgresTarget(const std::string& target) {
    return target.rfind("postgresql://", 0) == 0 || target.rfind("postgres://", 0) == 0;
}

std::unique_ptr<ScoreStore> ScoreStore::open(const std::string& target, std::string& error) {
    if (isPostgresTarget(target)) return PostgresStore::open(target, error);
    return SqliteStore::open(target, error);
}

void ScoreStore::writeFailed(const char* reason) {
    if (!m_write_failing.exchange(true))
        std::fprintf(stderr, "plashwerk-scores: a score could not be stored: %s\n", reason);
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
    const int64_t before = ahead(result.entry, key);
    if (before < 0) return std::nullopt;
    result.rank = before + 1;
    result.scores = gpuScores(own, key);
    result.total = static_cast<int64_t>(result.scores.size());
    result.lower = std::count_if(result.scores.begin(), result.scores.end(),
                                 [&](int score) { return score < result.entry.global_score; });
    result.median = medianOf(result.scores);

    // Each other GPU's median: its count, then the one score at the middle place, both read
    // from the index of the key and GPU.
    std::vector<GpuMedian> others = gpuCounts(key);
    std::erase_if(others, [&](const GpuMedian& other) {
        return other.gpu.vendor_id == own.vendor_id && other.gpu.device_id == own.device_id;
    });
    for (GpuMedian& other : others) other.median = scoreAt(other.gpu, key, other.runs / 2);
    const auto distance = [&](const GpuMedian& other) {
        return std::abs(static_cast<int64_t>(other.median) - result.median);
    };
    std::stable_sort(others.begin(), others.end(), [&](const GpuMedian& a, const GpuMedian& b) {
        return distance(a) < distance(b);
    });
    others.resize(std::min(others.size(), static_cast<size_t>(std::max(nearest_count, 0))));

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

}  // namespace plashwerk::server
