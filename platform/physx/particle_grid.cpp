#include "platform/physx/particle_grid.h"

#include <algorithm>
#include <cmath>

namespace nxsdk {

namespace {

// Cell coordinates are kept within +-2^20 cells (about 450 km at the usual radius); farther
// particles share the border cells, which costs only extra distance checks.
constexpr int32_t kCoordLimit = (1 << 20) - 2;

constexpr int32_t kBias = 1 << 20;

// Fibonacci hashing of the cell keys.
constexpr uint64_t kHashMultiplier = 0x9E3779B97F4A7C15ull;
// How far ahead of the particle being inserted the hash slot is fetched.
constexpr uint32_t kPrefetchAhead = 24;

// The biased cell coordinate (bias 2^20, so it is positive): floor by truncation of a
// positive number, written so that the compiler vectorises the loop around it. NaN lands
// on the lowest cell.
inline uint32_t biasedCoord(float v, float inv) {
    float t = v * inv + float(kBias);
    t = t > float(kBias - kCoordLimit) ? t : float(kBias - kCoordLimit);
    t = t < float(kBias + kCoordLimit) ? t : float(kBias + kCoordLimit);
    return uint32_t(int32_t(t));
}

}  // namespace

uint64_t ParticleGrid::cellKey(uint32_t bx, uint32_t by, uint32_t bz) {
    return (uint64_t(bz) << 42) | (uint64_t(by) << 21) | uint64_t(bx);
}

void ParticleGrid::reserve(uint32_t capacity) {
    uint32_t bits = 4;
    while ((1u << bits) < 2 * capacity + 16) ++bits;
    m_hash.assign(size_t(1) << bits, Slot{});
    m_hashMaxBits = bits;
    m_hashBits = std::min<uint32_t>(bits, 10);
    m_stamp = 0;
    m_cellKey.resize(capacity);
    m_cellCountOf.resize(capacity);
    m_sortedCells.resize(capacity);
    m_sortedKey.resize(capacity);
    m_keyedCells.resize(capacity);
    m_particleCell.resize(capacity);
    m_particleKey.resize(capacity);
    m_xrowStart.resize(capacity + 1);
    m_order.resize(capacity);
    m_cellRange.resize(capacity);
    m_rows.resize(size_t(capacity) * kRows);
}

uint32_t ParticleGrid::insertCell(uint64_t key) {
    const size_t mask = (size_t(1) << m_hashBits) - 1;
    for (size_t s = size_t((key * kHashMultiplier) >> (64 - m_hashBits));; s = (s + 1) & mask) {
        Slot& slot = m_hash[s];
        if (slot.stamp != m_stamp) {
            slot.stamp = m_stamp;
            slot.key = key;
            slot.cell = m_cellCount;
            m_cellKey[m_cellCount] = key;
            m_cellCountOf[m_cellCount] = 0;
            return m_cellCount++;
        }
        if (slot.key == key) return slot.cell;
    }
}

void ParticleGrid::buildCells(const float* x, const float* y, const float* z, const uint8_t* keep,
                              uint32_t count, float cellSize) {
    if (count > m_order.size()) reserve(count);
    if (++m_stamp == 0) {  // the stamp wrapped: really clear the table once
        std::fill(m_hash.begin(), m_hash.end(), Slot{});
        m_stamp = 1;
    }
    const float inv = 1.0f / cellSize;
    {
        uint64_t* __restrict keys = m_particleKey.data();
        for (uint32_t p = 0; p < count; ++p)
            keys[p] =
                cellKey(biasedCoord(x[p], inv), biasedCoord(y[p], inv), biasedCoord(z[p], inv));
    }

    // Cells of the kept particles and their populations. The store is still in last
    // step's cell order, so a particle mostly shares the cell of the one before it. The
    // hash table uses only as much of itself as about twice the cells need, so that it
    // stays in cache; when the cells outgrow that, the pass starts over with a bigger one.
    while (m_hashBits < m_hashMaxBits && (size_t(1) << m_hashBits) < 2 * size_t(m_lastCells) + 64)
        ++m_hashBits;
    for (;;) {
        m_cellCount = 0;
        m_particleCount = 0;
        const uint32_t limit = uint32_t((size_t(1) << m_hashBits) * 3 / 4);
        bool full = false;
        uint64_t lastKey = ~uint64_t(0);
        uint32_t lastCell = kNone;
        const int shift = 64 - int(m_hashBits);
        for (uint32_t p = 0; p < count; ++p) {
            // The table is larger than the nearest caches: ask for the slot of the particle
            // some way ahead (usually in a cell of its own by then) while this one waits.
            if (p + kPrefetchAhead < count)
                __builtin_prefetch(&m_hash[size_t(
                    (m_particleKey[p + kPrefetchAhead] * kHashMultiplier) >> shift)]);
            if (keep && !keep[p]) {
                m_particleCell[p] = kNone;
                continue;
            }
            const uint64_t key = m_particleKey[p];
            if (key != lastKey) {
                if (m_cellCount >= limit && m_hashBits < m_hashMaxBits) {
                    full = true;
                    break;
                }
                lastKey = key;
                lastCell = insertCell(key);
            }
            m_particleCell[p] = lastCell;
            ++m_cellCountOf[lastCell];
            ++m_particleCount;
        }
        if (!full) break;
        ++m_hashBits;
        if (++m_stamp == 0) {
            std::fill(m_hash.begin(), m_hash.end(), Slot{});
            m_stamp = 1;
        }
    }
    // Shrink the table again slowly when the cells become fewer.
    if (m_hashBits > 10 && (size_t(1) << (m_hashBits - 1)) >= 4 * size_t(m_cellCount) + 64)
        --m_hashBits;
    m_lastCells = m_cellCount;

    // Cells in key order (z, then y, then x), with their slot ranges.
    // Sorted as (key, cell) records: the comparisons read no other memory.
    KeyedCell* keyed = m_keyedCells.data();
    for (uint32_t c = 0; c < m_cellCount; ++c) keyed[c] = {m_cellKey[c], c};
    std::sort(keyed, keyed + m_cellCount,
              [](const KeyedCell& a, const KeyedCell& b) { return a.key < b.key; });
    for (uint32_t r = 0; r < m_cellCount; ++r) {
        m_sortedCells[r] = keyed[r].cell;
        m_sortedKey[r] = keyed[r].key;
    }
    uint32_t slot = 0;
    for (uint32_t r = 0; r < m_cellCount; ++r) {
        const uint32_t c = m_sortedCells[r];
        m_cellRange[r].begin = slot;
        slot += m_cellCountOf[c];
        m_cellRange[r].end = slot;
        m_cellCountOf[c] = m_cellRange[r].begin;  // from here on: the write cursor
    }

    // Particles into their cells, keeping the previous order inside each cell.
    for (uint32_t p = 0; p < count; ++p) {
        const uint32_t c = m_particleCell[p];
        if (c != kNone) m_order[m_cellCountOf[c]++] = p;
    }
    // Cells sharing y and z form an x-row, consecutive in key order.
    m_x = x;
    const uint64_t* sorted = m_sortedKey.data();
    m_xrowCount = 0;
    for (uint32_t r = 0; r < m_cellCount; ++r)
        if (r == 0 || (sorted[r] >> 21) != (sorted[r - 1] >> 21)) m_xrowStart[m_xrowCount++] = r;
    m_xrowStart[m_xrowCount] = m_cellCount;
}

void ParticleGrid::build(const float* x, const float* y, const float* z, const uint8_t* keep,
                         uint32_t count, float cellSize) {
    buildCells(x, y, z, keep, count, cellSize);
    finish(0, m_xrowCount);
}

void ParticleGrid::finish(uint32_t xrowBegin, uint32_t xrowEnd) {
    if (xrowBegin >= xrowEnd) return;
    const float* x = m_x;
    const uint64_t* sorted = m_sortedKey.data();
    const uint32_t xrows = m_xrowCount;

    // Inside each cell by x. The store was in this order a step ago, so the insertion sort
    // has little to do.
    uint32_t* o = m_order.data();
    for (uint32_t r = m_xrowStart[xrowBegin]; r < m_xrowStart[xrowEnd]; ++r) {
        for (uint32_t k = m_cellRange[r].begin + 1; k < m_cellRange[r].end; ++k) {
            const uint32_t v = o[k];
            const float xv = x[v];
            uint32_t j = k;
            while (j > m_cellRange[r].begin && x[o[j - 1]] > xv) {
                o[j] = o[j - 1];
                --j;
            }
            o[j] = v;
        }
    }

    // The nine runs of each cell. The nine neighbouring x-rows of an x-row are found by one
    // cursor each (the rows asked for grow with the row; a range of x-rows starts them by
    // binary search), and inside a neighbouring x-row the cells x-1 to x+1 of each cell by
    // two pointers that only move forward.
    auto yzOf = [&](uint32_t xr) { return sorted[m_xrowStart[xr]] >> 21; };
    constexpr uint64_t kAxis = (uint64_t(1) << 21) - 1;
    uint32_t cursor[kRows];
    {
        const uint64_t yz = yzOf(xrowBegin);
        int k = 0;
        for (uint64_t dz = 0; dz < 3; ++dz)
            for (uint64_t dy = 0; dy < 3; ++dy, ++k) {
                const uint64_t want = yz + (dz << 21) + dy - (uint64_t(1) << 21) - 1;
                uint32_t lo = 0, hi = xrows;
                while (lo < hi) {
                    const uint32_t mid = (lo + hi) / 2;
                    if (yzOf(mid) < want)
                        lo = mid + 1;
                    else
                        hi = mid;
                }
                cursor[k] = lo;
            }
    }
    for (uint32_t xr = xrowBegin; xr < xrowEnd; ++xr) {
        const uint32_t first = m_xrowStart[xr], end = m_xrowStart[xr + 1];
        const uint64_t yz = sorted[first] >> 21;
        int k = 0;
        for (uint64_t dz = 0; dz < 3; ++dz) {
            for (uint64_t dy = 0; dy < 3; ++dy, ++k) {
                const uint64_t want = yz + (dz << 21) + dy - (uint64_t(1) << 21) - 1;
                uint32_t c = cursor[k];
                while (c < xrows && yzOf(c) < want) ++c;
                cursor[k] = c;
                const bool found = c < xrows && yzOf(c) == want;
                uint32_t lo = found ? m_xrowStart[c] : 0, hi = lo;
                const uint32_t rowEnd = found ? m_xrowStart[c + 1] : 0;
                for (uint32_t cell = first; cell < end; ++cell) {
                    Range& out = m_rows[size_t(cell) * kRows + size_t(k)];
                    const uint64_t cx = sorted[cell] & kAxis;
                    while (lo < rowEnd && (sorted[lo] & kAxis) + 1 < cx) ++lo;
                    if (hi < lo) hi = lo;
                    while (hi < rowEnd && (sorted[hi] & kAxis) <= cx + 1) ++hi;
                    out = hi > lo ? Range{m_cellRange[lo].begin, m_cellRange[hi - 1].end} : Range{};
                }
            }
        }
    }
}

void ParticleGrid::chunkCells(uint32_t target, std::vector<uint32_t>& bounds) const {
    bounds.clear();
    bounds.push_back(0);
    if (m_cellCount == 0 || target <= 1) {
        bounds.push_back(m_cellCount);
        return;
    }
    // Rounded up, so at most `target` chunks fill up and one more takes the remainder: the
    // solver keeps one slot per chunk.
    const uint32_t perChunk = std::max<uint32_t>(1, (m_particleCount + target - 1) / target);
    uint32_t filled = 0;
    for (uint32_t r = 0; r < m_cellCount; ++r) {
        filled += m_cellRange[r].end - m_cellRange[r].begin;
        if (filled >= perChunk && r + 1 < m_cellCount) {
            bounds.push_back(r + 1);
            filled = 0;
        }
    }
    bounds.push_back(m_cellCount);
}

}  // namespace nxsdk
