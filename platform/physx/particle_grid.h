#pragma once
// The neighbour grid of a fluid: cubic cells as wide as the kernel radius, rebuilt every
// step. Particles are reordered cell by cell (cells in z, y, x order; inside a cell by x),
// so that the three cells of a row along x form one contiguous, x-sorted run. For every
// cell the grid keeps the nine runs (rows y-1..y+1 by z-1..z+1) that hold all particles
// within the kernel radius of any particle in the cell.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace nxsdk {

class ParticleGrid {
  public:
    struct Range {
        uint32_t begin = 0;
        uint32_t end = 0;
    };
    static constexpr int kRows = 9;

    /// Sizes every table for up to `capacity` particles; build() then never allocates.
    void reserve(uint32_t capacity);

    /// Orders the particles whose keep flag is set (all when keep is null) by cell.
    /// Afterwards order()[k] is the old index of the particle that belongs at slot k.
    void build(const float* x, const float* y, const float* z, const uint8_t* keep, uint32_t count,
               float cellSize);

    /// build() in two parts, the second one open to threads: buildCells() groups the
    /// particles by cell; finish() then sorts the cells of x-rows [begin, end) by x and
    /// finds their rows. Every x-row must be finished once before the grid is used; x
    /// stays readable until then.
    void buildCells(const float* x, const float* y, const float* z, const uint8_t* keep,
                    uint32_t count, float cellSize);
    void finish(uint32_t xrowBegin, uint32_t xrowEnd);
    /// Runs of cells sharing y and z.
    uint32_t xrowCount() const { return m_xrowCount; }

    uint32_t particleCount() const { return m_particleCount; }
    uint32_t cellCount() const { return m_cellCount; }
    const uint32_t* order() const { return m_order.data(); }
    /// Slots of sorted cell c.
    Range cell(uint32_t c) const { return m_cellRange[c]; }
    /// The nine neighbour runs of sorted cell c (empty runs have begin == end).
    const Range* rows(uint32_t c) const { return &m_rows[size_t(c) * kRows]; }
    const Range* cellData() const { return m_cellRange.data(); }
    const Range* rowData() const { return m_rows.data(); }

    /// Splits the cells into about `target` chunks (never more than target + 1) of similar
    /// particle counts; chunk k is the cells [bounds[k], bounds[k + 1]). Depends on the particles
    /// only, never on the number of threads, so results are the same however the chunks are shared
    /// out.
    void chunkCells(uint32_t target, std::vector<uint32_t>& bounds) const;

  private:
    static uint64_t cellKey(uint32_t bx, uint32_t by, uint32_t bz);
    uint32_t insertCell(uint64_t key);  // unsorted cell index

    static constexpr uint32_t kNone = 0xFFFFFFFFu;

    struct Slot {
        uint64_t key = 0;
        uint32_t cell = 0;
        uint32_t stamp = 0;
    };

    struct KeyedCell {
        uint64_t key;
        uint32_t cell;
    };

    uint32_t m_particleCount = 0;
    uint32_t m_cellCount = 0;
    uint32_t m_stamp = 0;
    uint32_t m_hashBits = 10;  // the part of the table in use: 2^bits slots
    uint32_t m_hashMaxBits = 10;
    uint32_t m_lastCells = 0;
    std::vector<Slot> m_hash;
    std::vector<uint64_t> m_cellKey;       // by unsorted cell index
    std::vector<uint32_t> m_cellCountOf;   // particles per unsorted cell, then write cursors
    std::vector<uint32_t> m_sortedCells;   // sorted position -> unsorted cell index
    std::vector<uint64_t> m_sortedKey;     // keys in sorted order
    std::vector<KeyedCell> m_keyedCells;   // the cells while they are sorted
    std::vector<uint32_t> m_particleCell;  // old particle index -> unsorted cell index
    std::vector<uint64_t> m_particleKey;   // old particle index -> cell key
    std::vector<uint32_t> m_xrowStart;     // first sorted cell of each x-row, then the end
    uint32_t m_xrowCount = 0;
    const float* m_x = nullptr;  // x of the particles being ordered
    std::vector<uint32_t> m_order;
    std::vector<Range> m_cellRange;  // by sorted position
    std::vector<Range> m_rows;       // kRows per sorted cell
};

}  // namespace nxsdk
