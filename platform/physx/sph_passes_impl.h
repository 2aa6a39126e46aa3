#pragma once
// The density and force passes, written once over a small vector interface S and built
// once per instruction set (sph_passes_sse2.cpp, _avx2.cpp, _avx512.cpp). Include only
// from those files, inside their own namespace, after defining S.
//
// S provides: W (lanes), V (vector), M (lane mask), zero(), set1(f), load(p), add, sub,
// mul, fmadd(a, b, c) = a * b + c, minv, maxv, lt(a, b) -> M, gt(a, b) -> M,
// andMask(M, M), firstLanes(n) -> M (lanes below n, n < W), maskAdd(acc, m, v) =
// acc + (m ? v : 0), maskFmadd(acc, m, a, b) = acc + (m ? a * b : 0), rsqrt(v),
// hsum(v) -> float, countMask(M) -> int, compress(dst, m, v): the lanes of m packed to
// dst (may write up to W floats).
//
// How a cell is worked: its particles (sorted by x) are cut into groups of about eight.
// For a group, the nine rows of the cell are trimmed to the group's x range widened by
// the kernel radius, and what lies within the radius of the group's bounding box is packed
// into a small scratch table; every particle of the group then sweeps that table. The
// table holds about half of what the rows hold, and it has no gaps, so the vector lanes
// stay busy.
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
    static constexpr uint32_t kGroup = 8;

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

    // Packs the candidates of a group into the scratch table: `fields` arrays (x, y, z and
    // for the force pass vx, vy, vz, pressure, inverse density) at `stride` floats apart.
    // lo holds the per-row starting points, moving forward from group to group.
    template <int kFields>
    static uint32_t gather(const nxsdk::SphPassArgs& a, const Range* rows, uint32_t* lo,
                           const Group& g, float* scratch, uint32_t stride) {
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
                // Distance to the group's box, axis by axis (zero inside its slab).
                const V dx = S::maxv(zero, S::maxv(S::sub(gx0, xj), S::sub(xj, gx1)));
                const V dy = S::maxv(zero, S::maxv(S::sub(gy0, yj), S::sub(yj, gy1)));
                const V dz = S::maxv(zero, S::maxv(S::sub(gz0, zj), S::sub(zj, gz1)));
                const V d2 = S::fmadd(dz, dz, S::fmadd(dy, dy, S::mul(dx, dx)));
                M mask = S::lt(d2, h2);
                if (end - j < uint32_t(S::W)) mask = S::andMask(mask, S::firstLanes(int(end - j)));
                S::compress(scratch + m, mask, xj);
                S::compress(scratch + stride + m, mask, yj);
                S::compress(scratch + 2 * size_t(stride) + m, mask, zj);
                for (int f = 3; f < kFields; ++f)
                    S::compress(scratch + size_t(f) * stride + m, mask, S::load(src[f] + j));
                m += uint32_t(S::countMask(mask));
            }
        }
        // Zeros after the last entry: the sweeps read whole vectors past it.
        for (int f = 0; f < kFields; ++f) S::store(scratch + size_t(f) * stride + m, S::zero());
        return m;
    }

    static uint64_t density(const nxsdk::SphPassArgs& a, uint32_t cellBegin, uint32_t cellEnd,
                            float* scratch) {
        const uint32_t stride = a.scratchStride;
        const float* __restrict sx = scratch;
        const float* __restrict sy = scratch + stride;
        const float* __restrict sz = scratch + 2 * size_t(stride);
        const V h2 = S::set1(a.k.h2);
        const float restDensity = a.k.restDensity;
        const float maxExcess = a.maxExcess;
        uint64_t pairs = 0;
        for (uint32_t c = cellBegin; c < cellEnd; ++c) {
            const Range cell = a.cells[c];
            const Range* rows = a.rows + size_t(c) * kRows;
            uint32_t lo[kRows];
            for (int r = 0; r < kRows; ++r) lo[r] = rows[r].begin;
            const uint32_t n = cell.end - cell.begin;
            const uint32_t groups = groupCount(n);
            for (uint32_t gi = 0; gi < groups; ++gi) {
                const Group g = group(a, cell.begin, n, groups, gi);
                const uint32_t m = gather<3>(a, rows, lo, g, scratch, stride);
                for (uint32_t i = g.begin; i < g.end; ++i) {
                    const V xi = S::set1(a.x[i]);
                    const V yi = S::set1(a.y[i]);
                    const V zi = S::set1(a.z[i]);
                    V sum = S::zero();
                    int found = 0;
                    for (uint32_t j = 0; j < m; j += S::W) {
                        const V dx = S::sub(xi, S::load(sx + j));
                        const V dy = S::sub(yi, S::load(sy + j));
                        const V dz = S::sub(zi, S::load(sz + j));
                        const V r2 = S::fmadd(dz, dz, S::fmadd(dy, dy, S::mul(dx, dx)));
                        M mask = S::lt(r2, h2);
                        if (m - j < uint32_t(S::W)) mask = S::andMask(mask, S::firstLanes(int(m - j)));
                        const V d = S::sub(h2, r2);
                        sum = S::maskAdd(sum, mask, S::mul(S::mul(d, d), d));
                        found += S::countMask(mask);
                    }
                    // Itself included in the sum, but not among its neighbours.
                    pairs += uint64_t(found > 0 ? found - 1 : 0);
                    float rho = a.k.densityCoef * S::hsum(sum);
                    if (a.wallDensity) rho += a.wallDensity[i];
                    if (!(rho >= a.k.selfDensity)) rho = a.k.selfDensity;
                    float excess = rho - restDensity;
                    if (excess < 0.0f) excess = 0.0f;
                    if (excess > maxExcess) excess = maxExcess;
                    const float inv = 1.0f / rho;
                    a.density[i] = rho;
                    a.invDensity[i] = inv;
                    a.pressure[i] = a.stiffness * excess * inv * inv;
                }
            }
        }
        return pairs;
    }

    static void forces(const nxsdk::SphPassArgs& a, uint32_t cellBegin, uint32_t cellEnd,
                       float* scratch) {
        const uint32_t stride = a.scratchStride;
        const float* __restrict sx = scratch;
        const float* __restrict sy = scratch + stride;
        const float* __restrict sz = scratch + 2 * size_t(stride);
        const float* __restrict svx = scratch + 3 * size_t(stride);
        const float* __restrict svy = scratch + 4 * size_t(stride);
        const float* __restrict svz = scratch + 5 * size_t(stride);
        const float* __restrict sp = scratch + 6 * size_t(stride);
        const float* __restrict sir = scratch + 7 * size_t(stride);
        const V h = S::set1(a.k.h);
        const V h2 = S::set1(a.k.h2);
        // Below this squared distance two particles sit on each other and have no direction
        // between them; they take no pressure from each other (their neighbours part them).
        const V tiny = S::set1(a.k.h2 * 1e-8f);
        const float pressureCoef = a.k.pressureCoef;
        const float viscosityCoef = a.k.viscosityCoef;
        const float dt = a.dt;
        for (uint32_t c = cellBegin; c < cellEnd; ++c) {
            const Range cell = a.cells[c];
            const Range* rows = a.rows + size_t(c) * kRows;
            uint32_t lo[kRows];
            for (int r = 0; r < kRows; ++r) lo[r] = rows[r].begin;
            const uint32_t n = cell.end - cell.begin;
            const uint32_t groups = groupCount(n);
            for (uint32_t gi = 0; gi < groups; ++gi) {
                const Group g = group(a, cell.begin, n, groups, gi);
                const uint32_t m = gather<8>(a, rows, lo, g, scratch, stride);
                for (uint32_t i = g.begin; i < g.end; ++i) {
                    const V xi = S::set1(a.x[i]);
                    const V yi = S::set1(a.y[i]);
                    const V zi = S::set1(a.z[i]);
                    const V pi = S::set1(a.pressure[i]);
                    V fx = S::zero(), fy = S::zero(), fz = S::zero();
                    V wx = S::zero(), wy = S::zero(), wz = S::zero(), wsum = S::zero();
                    for (uint32_t j = 0; j < m; j += S::W) {
                        const V dx = S::sub(xi, S::load(sx + j));
                        const V dy = S::sub(yi, S::load(sy + j));
                        const V dz = S::sub(zi, S::load(sz + j));
                        const V r2 = S::fmadd(dz, dz, S::fmadd(dy, dy, S::mul(dx, dx)));
                        M mask = S::andMask(S::lt(r2, h2), S::gt(r2, tiny));
                        if (m - j < uint32_t(S::W)) mask = S::andMask(mask, S::firstLanes(int(m - j)));
                        const V rinv = S::rsqrt(S::maxv(r2, tiny));
                        const V q = S::sub(h, S::mul(r2, rinv));
                        // Pressure: (P_i + P_j) (h - r)^2 / r along the separation.
                        const V s = S::mul(S::mul(S::add(pi, S::load(sp + j)), S::mul(q, q)), rinv);
                        fx = S::maskFmadd(fx, mask, s, dx);
                        fy = S::maskFmadd(fy, mask, s, dy);
                        fz = S::maskFmadd(fz, mask, s, dz);
                        // Viscosity: (h - r) / rho_j, weighting the neighbour's velocity.
                        const V t = S::mul(q, S::load(sir + j));
                        wx = S::maskFmadd(wx, mask, t, S::load(svx + j));
                        wy = S::maskFmadd(wy, mask, t, S::load(svy + j));
                        wz = S::maskFmadd(wz, mask, t, S::load(svz + j));
                        wsum = S::maskAdd(wsum, mask, t);
                    }
                    const float w = S::hsum(wsum);
                    float visc = viscosityCoef * a.invDensity[i];
                    // The viscous term pulls v_i toward the weighted mean of its neighbours
                    // by visc * w * dt per step; beyond half the way it would overshoot.
                    if (visc * w * dt > 0.5f) visc = 0.5f / (w * dt);
                    a.ax[i] = pressureCoef * S::hsum(fx) + visc * (S::hsum(wx) - a.vx[i] * w);
                    a.ay[i] = pressureCoef * S::hsum(fy) + visc * (S::hsum(wy) - a.vy[i] * w);
                    a.az[i] = pressureCoef * S::hsum(fz) + visc * (S::hsum(wz) - a.vz[i] * w);
                }
            }
        }
    }
};
