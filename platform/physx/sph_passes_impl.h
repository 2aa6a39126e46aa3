#pragma once
// The density and force passes, written once over a small vector interface S and built
// once per instruction set (sph_passes_sse2.cpp, _avx2.cpp, _avx512.cpp). Include only
// from those files, inside their own namespace, after defining S.
//
// S provides: W (lanes), V (vector), M (lane mask), zero(), set1(f), load(p), add, sub,
// mul, fmadd(a, b, c) = a * b + c, maxv, lt(a, b) -> M, gt(a, b) -> M, andMask(M, M),
// firstLanes(n) -> M (lanes below n, n < W), maskAdd(acc, m, v) = acc + (m ? v : 0),
// maskFmadd(acc, m, a, b) = acc + (m ? a * b : 0), rsqrt(v), hsum(v) -> float,
// countMask(M) -> int.
//
// Both passes gather: each particle sums over its own neighbours and writes only its own
// results, so the result of a particle never depends on how cells are shared out.

#include "platform/physx/sph_passes.h"

template <class S>
struct SphPassesT {
    using V = typename S::V;
    using M = typename S::M;
    using Range = nxsdk::ParticleGrid::Range;

    static uint64_t density(const nxsdk::SphPassArgs& a, uint32_t cellBegin, uint32_t cellEnd) {
        const float* __restrict px = a.x;
        const float* __restrict py = a.y;
        const float* __restrict pz = a.z;
        const V h2 = S::set1(a.k.h2);
        const float restDensity = a.k.restDensity;
        const float maxExcess = a.maxExcess;
        uint64_t pairs = 0;
        for (uint32_t c = cellBegin; c < cellEnd; ++c) {
            const Range cell = a.cells[c];
            const Range* rows = a.rows + size_t(c) * nxsdk::ParticleGrid::kRows;
            for (uint32_t i = cell.begin; i < cell.end; ++i) {
                const V xi = S::set1(px[i]);
                const V yi = S::set1(py[i]);
                const V zi = S::set1(pz[i]);
                V sum = S::zero();
                int found = 0;
                for (int r = 0; r < nxsdk::ParticleGrid::kRows; ++r) {
                    const uint32_t end = rows[r].end;
                    for (uint32_t j = rows[r].begin; j < end; j += S::W) {
                        const V dx = S::sub(xi, S::load(px + j));
                        const V dy = S::sub(yi, S::load(py + j));
                        const V dz = S::sub(zi, S::load(pz + j));
                        const V r2 = S::fmadd(dz, dz, S::fmadd(dy, dy, S::mul(dx, dx)));
                        M m = S::lt(r2, h2);
                        if (end - j < uint32_t(S::W)) m = S::andMask(m, S::firstLanes(int(end - j)));
                        const V d = S::sub(h2, r2);
                        sum = S::maskAdd(sum, m, S::mul(S::mul(d, d), d));
                        found += S::countMask(m);
                    }
                }
                // Itself included in the sum, but not among its neighbours.
                pairs += uint64_t(found > 0 ? found - 1 : 0);
                float rho = a.k.densityCoef * S::hsum(sum);
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
        return pairs;
    }

    static void forces(const nxsdk::SphPassArgs& a, uint32_t cellBegin, uint32_t cellEnd) {
        const float* __restrict px = a.x;
        const float* __restrict py = a.y;
        const float* __restrict pz = a.z;
        const float* __restrict vx = a.vx;
        const float* __restrict vy = a.vy;
        const float* __restrict vz = a.vz;
        const float* __restrict pp = a.pressure;
        const float* __restrict ir = a.invDensity;
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
            const Range* rows = a.rows + size_t(c) * nxsdk::ParticleGrid::kRows;
            for (uint32_t i = cell.begin; i < cell.end; ++i) {
                const V xi = S::set1(px[i]);
                const V yi = S::set1(py[i]);
                const V zi = S::set1(pz[i]);
                const V pi = S::set1(pp[i]);
                V fx = S::zero(), fy = S::zero(), fz = S::zero();
                V wx = S::zero(), wy = S::zero(), wz = S::zero(), wsum = S::zero();
                for (int r = 0; r < nxsdk::ParticleGrid::kRows; ++r) {
                    const uint32_t end = rows[r].end;
                    for (uint32_t j = rows[r].begin; j < end; j += S::W) {
                        const V dx = S::sub(xi, S::load(px + j));
                        const V dy = S::sub(yi, S::load(py + j));
                        const V dz = S::sub(zi, S::load(pz + j));
                        const V r2 = S::fmadd(dz, dz, S::fmadd(dy, dy, S::mul(dx, dx)));
                        M m = S::andMask(S::lt(r2, h2), S::gt(r2, tiny));
                        if (end - j < uint32_t(S::W)) m = S::andMask(m, S::firstLanes(int(end - j)));
                        const V rinv = S::rsqrt(S::maxv(r2, tiny));
                        const V q = S::sub(h, S::mul(r2, rinv));
                        // Pressure: (P_i + P_j) (h - r)^2 / r along the separation.
                        const V s = S::mul(S::mul(S::add(pi, S::load(pp + j)), S::mul(q, q)), rinv);
                        fx = S::maskFmadd(fx, m, s, dx);
                        fy = S::maskFmadd(fy, m, s, dy);
                        fz = S::maskFmadd(fz, m, s, dz);
                        // Viscosity: (h - r) / rho_j, weighting the neighbour's velocity.
                        const V t = S::mul(q, S::load(ir + j));
                        wx = S::maskFmadd(wx, m, t, S::load(vx + j));
                        wy = S::maskFmadd(wy, m, t, S::load(vy + j));
                        wz = S::maskFmadd(wz, m, t, S::load(vz + j));
                        wsum = S::maskAdd(wsum, m, t);
                    }
                }
                const float w = S::hsum(wsum);
                float visc = viscosityCoef * ir[i];
                // The viscous term pulls v_i toward the weighted mean of its neighbours by
                // visc * w * dt per step; beyond half the way it would overshoot and ring.
                if (visc * w * dt > 0.5f) visc = 0.5f / (w * dt);
                a.ax[i] = pressureCoef * S::hsum(fx) + visc * (S::hsum(wx) - vx[i] * w);
                a.ay[i] = pressureCoef * S::hsum(fy) + visc * (S::hsum(wy) - vy[i] * w);
                a.az[i] = pressureCoef * S::hsum(fz) + visc * (S::hsum(wz) - vz[i] * w);
            }
        }
    }
};
