#pragma once
// The density and force passes, written once over a small vector interface S and built
// once per instruction set (sph_passes_sse2.cpp, _avx2.cpp, _avx512.cpp). Include only
// from those files, inside their own namespace, after defining S.
//
// S provides:
//   W (lanes), V (vector), M (lane mask);
//   zero(), set1(f), load(p), store(p, v), add, sub, mul, minv, maxv, rsqrt(v),
//   fmadd(a, b, c) = a * b + c, fnmadd(a, b, c) = c - a * b;
//   lt(a, b) -> M, gt(a, b) -> M, andMask(M, M), firstLanes(n) -> M (lanes below n, n < W),
//   bits(M) -> the lanes as bits (lane k as bit k), fromBits(unsigned) -> M;
//   maskAdd(acc, m, v) = acc + (m ? v : 0), maskFmadd(acc, m, a, b) = acc + (m ? a * b : 0);
//   hsum(v) -> float, reduce8(const V[8], float[8]) (eight sums at once), countMask(M) -> int;
//   compress(dst, m, v): the lanes of m packed to dst (may write up to W floats).
//
// How a cell is worked: its particles (sorted by x) are cut into groups of at most 16.
// For a group, the nine rows of the cell are trimmed to the group's x range widened by
// the kernel radius, and what lies within the radius of the group's bounding box is packed
// into a small scratch table; every particle of the group then sweeps that table. The
// table holds about half of what the rows hold, and it has no gaps, so the vector lanes
// stay busy. The force pass packs the same candidates as the density pass, with the box
// tests the density pass kept (SphPassArgs::boxMasks).
//
// Both passes gather: each particle sums over its own neighbours and writes only its own
// results, so the result of a particle never depends on how cells are shared out.

#include "platform/physx/sph_passes.h"

template <class S>
struct SphPassesT {
    using V = typename S::V;
    using M = typename S::M;
    using Range = nxsdk::ParticleGrid::Range;
    static constexpr int kRows = nxsdk::ParticleGrid::kRows;
    static constexpr uint32_t kGroup = 16;
    // Where the entries past a table's end lie: far beyond any particle (positions stay
    // within 1e6 m), with squared distances still finite.
    static constexpr float kFarAway = 1.0e18f;

    struct Group {
        uint32_t begin, end;
        float x0, x1, y0, y1, z0, z1;
    };

    // Groups of about kGroup particles of a cell [b, e), with their bounding boxes.
    static uint32_t groupCount(uint32_t n) { return (n + kGroup - 1) / kGroup; }
    static Group group(const nxsdk::SphPassArgs& a, uint32_t b, uint32_t n, uint32_t groups,
                       uint32_t g) {
        Group gr;
        gr.begin = b + uint32_t(uint64_t(n) * g / groups);
        gr.end = b + uint32_t(uint64_t(n) * (g + 1) / groups);
        gr.x0 = a.x[gr.begin];
        gr.x1 = a.x[gr.end - 1];
        gr.y0 = gr.y1 = a.y[gr.begin];
        gr.z0 = gr.z1 = a.z[gr.begin];
        for (uint32_t i = gr.begin + 1; i < gr.end; ++i) {
            gr.y0 = a.y[i] < gr.y0 ? a.y[i] : gr.y0;
            gr.y1 = a.y[i] > gr.y1 ? a.y[i] : gr.y1;
            gr.z0 = a.z[i] < gr.z0 ? a.z[i] : gr.z0;
            gr.z1 = a.z[i] > gr.z1 ? a.z[i] : gr.z1;
        }
        return gr;
    }

    // The box tests of a cell's groups, in the order the gather makes them: the density
    // pass records them, the force pass replays them (both walk the same rows in the same
    // steps). Past the cell's room the tests are made anew.
    struct BoxMasks {
        uint16_t* at = nullptr;
        uint32_t room = 0;
        bool replay = false;

        BoxMasks(const nxsdk::SphPassArgs& a, uint32_t c, bool replaying) : replay(replaying) {
            if (!a.boxMasks) return;
            const Range cell = a.cells[c];
            at = a.boxMasks + nxsdk::sphBoxMaskRoom(cell.begin, c);
            room = uint32_t(nxsdk::sphBoxMaskRoom(cell.end - cell.begin, 1));
        }
    };

    // Packs the candidates of a group into the scratch table: `fields` arrays (x, y, z and
    // for the force pass vx, vy, vz, pressure, inverse density) at `stride` floats apart.
    // lo holds the per-row starting points, moving forward from group to group.
    template <int kFields>
    static uint32_t gather(const nxsdk::SphPassArgs& a, const Range* rows, uint32_t* lo,
                           const Group& g, float* scratch, uint32_t stride, BoxMasks& masks) {
        const float h = a.k.h;
        const float* __restrict px = a.x;
        const float* __restrict py = a.y;
        const float* __restrict pz = a.z;
        const V gx0 = S::set1(g.x0), gx1 = S::set1(g.x1);
        const V gy0 = S::set1(g.y0), gy1 = S::set1(g.y1);
        const V gz0 = S::set1(g.z0), gz1 = S::set1(g.z1);
        const V zero = S::zero();
        const V h2 = S::set1(a.k.h2);
        const float* src[8] = {px, py, pz, a.vx, a.vy, a.vz, a.pressure, a.invDensity};
        uint32_t m = 0;
        const float xFrom = g.x0 - h, xTo = g.x1 + h;
        for (int r = 0; r < kRows; ++r) {
            const uint32_t end = rows[r].end;
            // The row is sorted by x: skip whole vectors left of the group's reach (the
            // pointer only moves forward from group to group), then sweep until a vector
            // starts right of it. Lanes outside the reach fail the box test below.
            uint32_t j = lo[r];
            while (j + S::W <= end && px[j + S::W - 1] < xFrom) j += S::W;
            lo[r] = j;
            for (; j < end && px[j] <= xTo; j += S::W) {
                const V xj = S::load(px + j);
                const V yj = S::load(py + j);
                const V zj = S::load(pz + j);
                M mask;
                if (masks.replay && masks.room) {
                    mask = S::fromBits(*masks.at++);
                    --masks.room;
                } else {
                    // Distance to the group's box, axis by axis (zero inside its slab).
                    const V dx = S::maxv(zero, S::maxv(S::sub(gx0, xj), S::sub(xj, gx1)));
                    const V dy = S::maxv(zero, S::maxv(S::sub(gy0, yj), S::sub(yj, gy1)));
                    const V dz = S::maxv(zero, S::maxv(S::sub(gz0, zj), S::sub(zj, gz1)));
                    const V d2 = S::fmadd(dz, dz, S::fmadd(dy, dy, S::mul(dx, dx)));
                    mask = S::lt(d2, h2);
                    if (end - j < uint32_t(S::W))
                        mask = S::andMask(mask, S::firstLanes(int(end - j)));
                    if (!masks.replay && masks.room) {
                        *masks.at++ = uint16_t(S::bits(mask));
                        --masks.room;
                    }
                }
                S::compress(scratch + m, mask, xj);
                S::compress(scratch + stride + m, mask, yj);
                S::compress(scratch + 2 * size_t(stride) + m, mask, zj);
                for (int f = 3; f < kFields; ++f)
                    S::compress(scratch + size_t(f) * stride + m, mask, S::load(src[f] + j));
                m += uint32_t(S::countMask(mask));
            }
        }
        // One vector after the last entry, which the sweeps read whole: far away (so out of
        // every particle's reach without a mask; its square still a finite float) and zero.
        for (int f = 0; f < kFields; ++f)
            S::store(scratch + size_t(f) * stride + m, f < 3 ? S::set1(kFarAway) : S::zero());
        return m;
    }

    // The walk over the cells that both passes share: for each group of each cell in
    // [cellBegin, cellEnd), packs the group's candidates into the scratch table (kFields
    // fields) and calls block(group, entries).
    template <int kFields, class Block>
    static void forEachGroup(const nxsdk::SphPassArgs& a, uint32_t cellBegin, uint32_t cellEnd,
                             float* scratch, Block&& block) {
        for (uint32_t c = cellBegin; c < cellEnd; ++c) {
            const Range cell = a.cells[c];
            const Range* rows = a.rows + size_t(c) * kRows;
            uint32_t lo[kRows];
            for (int r = 0; r < kRows; ++r) lo[r] = rows[r].begin;
            const uint32_t n = cell.end - cell.begin;
            const uint32_t groups = groupCount(n);
            BoxMasks masks(a, c, kFields > 3);  // the force pass (8 fields) replays
            for (uint32_t gi = 0; gi < groups; ++gi) {
                const Group g = group(a, cell.begin, n, groups, gi);
                block(g, gather<kFields>(a, rows, lo, g, scratch, a.scratchStride, masks));
            }
        }
    }

    // The neighbour loop of both passes: particles i0 .. i0 + kN - 1 of a group against its
    // table t (x, y, z first; m entries), read once for all of them. For every vector of
    // candidates at j and every particle k, calls pair(k, j, dx, dy, dz, r2, mask) with the
    // separations x_i - x_j, their squared length and the lanes within the kernel radius
    // (lanes past the table's end lie far away and are never within it).
    template <int kN, class Pair>
    static void sweep(const nxsdk::SphPassArgs& a, uint32_t i0, const float* const* t, uint32_t m,
                      Pair&& pair) {
        const V h2 = S::set1(a.k.h2);
        V xi[kN], yi[kN], zi[kN];
        for (int k = 0; k < kN; ++k) {
            xi[k] = S::set1(a.x[i0 + k]);
            yi[k] = S::set1(a.y[i0 + k]);
            zi[k] = S::set1(a.z[i0 + k]);
        }
        for (uint32_t j = 0; j < m; j += S::W) {
            const V xj = S::load(t[0] + j), yj = S::load(t[1] + j), zj = S::load(t[2] + j);
            for (int k = 0; k < kN; ++k) {
                const V dx = S::sub(xi[k], xj);
                const V dy = S::sub(yi[k], yj);
                const V dz = S::sub(zi[k], zj);
                const V r2 = S::fmadd(dz, dz, S::fmadd(dy, dy, S::mul(dx, dx)));
                pair(k, j, dx, dy, dz, r2, S::lt(r2, h2));
            }
        }
    }

    // Density of particles i0 .. i0 + n - 1 (n <= 4) of a group against its table. Returns
    // the neighbours found (itself excluded).
    template <int kN>
    static uint64_t densityBlock(const nxsdk::SphPassArgs& a, uint32_t i0, const float* const* t,
                                 uint32_t m) {
        const V h2 = S::set1(a.k.h2);
        V sum[kN];
        int found[kN];
        for (int k = 0; k < kN; ++k) {
            sum[k] = S::zero();
            found[k] = 0;
        }
        sweep<kN>(a, i0, t, m, [&](int k, uint32_t, V, V, V, V r2, M mask) {
            const V d = S::sub(h2, r2);
            sum[k] = S::maskAdd(sum[k], mask, S::mul(S::mul(d, d), d));
            found[k] += S::countMask(mask);
        });
        uint64_t pairs = 0;
        for (int k = 0; k < kN; ++k) {
            const uint32_t i = i0 + uint32_t(k);
            pairs += uint64_t(found[k] > 0 ? found[k] - 1 : 0);
            float rho = a.k.densityCoef * S::hsum(sum[k]);
            if (a.wallDensity) rho += a.wallDensity[i];
            if (!(rho >= a.k.selfDensity)) rho = a.k.selfDensity;
            float excess = rho - a.k.restDensity;
            if (excess < 0.0f) excess = 0.0f;
            if (excess > a.maxExcess) excess = a.maxExcess;
            const float inv = 1.0f / rho;
            a.density[i] = rho;
            a.invDensity[i] = inv;
            a.pressure[i] = a.stiffness * excess * inv * inv;
        }
        return pairs;
    }

    // The scratch table's fields: x, y, z, vx, vy, vz, pressure, inverse density.
    struct Table {
        const float* f[nxsdk::kSphScratchFields];
        Table(float* scratch, uint32_t stride) {
            for (uint32_t k = 0; k < nxsdk::kSphScratchFields; ++k)
                f[k] = scratch + size_t(k) * stride;
        }
    };

    static uint64_t density(const nxsdk::SphPassArgs& a, uint32_t cellBegin, uint32_t cellEnd,
                            float* scratch) {
        const Table table(scratch, a.scratchStride);
        const float* const* t = table.f;
        uint64_t pairs = 0;
        forEachGroup<3>(a, cellBegin, cellEnd, scratch, [&](const Group& g, uint32_t m) {
            uint32_t i = g.begin;
            for (; i + 4 <= g.end; i += 4) pairs += densityBlock<4>(a, i, t, m);
            switch (g.end - i) {
                case 3:
                    pairs += densityBlock<3>(a, i, t, m);
                    break;
                case 2:
                    pairs += densityBlock<2>(a, i, t, m);
                    break;
                case 1:
                    pairs += densityBlock<1>(a, i, t, m);
                    break;
                default:
                    break;
            }
        });
        return pairs;
    }

    // Accelerations of particles i0 .. i0 + n - 1 (n <= 2) of a group against its table.
    template <int kN>
    static void forceBlock(const nxsdk::SphPassArgs& a, uint32_t i0, const float* const* t,
                           uint32_t m) {
        const V h = S::set1(a.k.h);
        // Below this squared distance two particles sit on each other (or it is the particle
        // itself): no direction between them, so no pressure or viscosity (their neighbours
        // part them). Clamping r^2 to it also keeps 1 / r finite.
        const V tiny = S::set1(a.k.h2 * 1e-8f);
        V pi[kN];
        // Per particle: pressure sum (3), viscosity-weighted velocities (3), weights (1).
        V acc[kN][8];
        for (int k = 0; k < kN; ++k) {
            pi[k] = S::set1(a.pressure[i0 + k]);
            for (V& v : acc[k]) v = S::zero();
        }
        sweep<kN>(a, i0, t, m, [&](int k, uint32_t j, V dx, V dy, V dz, V r2, M near) {
            const M mask = S::andMask(near, S::gt(r2, tiny));
            const V rinv = S::rsqrt(S::maxv(r2, tiny));
            const V q = S::fnmadd(r2, rinv, h);
            // Pressure: (P_i + P_j) (h - r)^2 / r along the separation.
            const V s = S::mul(S::mul(S::add(pi[k], S::load(t[6] + j)), S::mul(q, q)), rinv);
            acc[k][0] = S::maskFmadd(acc[k][0], mask, s, dx);
            acc[k][1] = S::maskFmadd(acc[k][1], mask, s, dy);
            acc[k][2] = S::maskFmadd(acc[k][2], mask, s, dz);
            // Viscosity: (h - r) / rho_j, weighting the neighbour's velocity.
            const V w = S::mul(q, S::load(t[7] + j));
            acc[k][3] = S::maskFmadd(acc[k][3], mask, w, S::load(t[3] + j));
            acc[k][4] = S::maskFmadd(acc[k][4], mask, w, S::load(t[4] + j));
            acc[k][5] = S::maskFmadd(acc[k][5], mask, w, S::load(t[5] + j));
            acc[k][6] = S::maskAdd(acc[k][6], mask, w);
        });
        const float dt = a.dt;
        for (int k = 0; k < kN; ++k) {
            const uint32_t i = i0 + uint32_t(k);
            float sum[8];
            S::reduce8(acc[k], sum);
            const float w = sum[6];
            float visc = a.k.viscosityCoef * a.invDensity[i];
            // The viscous term pulls v_i toward the weighted mean of its neighbours by
            // visc * w * dt per step; beyond half the way it would overshoot and ring.
            if (visc * w * dt > 0.5f) visc = 0.5f / (w * dt);
            a.ax[i] = a.k.pressureCoef * sum[0] + visc * (sum[3] - a.vx[i] * w);
            a.ay[i] = a.k.pressureCoef * sum[1] + visc * (sum[4] - a.vy[i] * w);
            a.az[i] = a.k.pressureCoef * sum[2] + visc * (sum[5] - a.vz[i] * w);
        }
    }

    static void forces(const nxsdk::SphPassArgs& a, uint32_t cellBegin, uint32_t cellEnd,
                       float* scratch) {
        const Table table(scratch, a.scratchStride);
        const float* const* t = table.f;
        forEachGroup<8>(a, cellBegin, cellEnd, scratch, [&](const Group& g, uint32_t m) {
            uint32_t i = g.begin;
            for (; i + 2 <= g.end; i += 2) forceBlock<2>(a, i, t, m);
            if (i < g.end) forceBlock<1>(a, i, t, m);
        });
    }
};
