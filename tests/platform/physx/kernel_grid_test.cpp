// The solver's parts against simple references: kernels normalised, the grid missing no
// neighbour, and every vector version of the pair passes equal to a plain double loop.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/physx/particle_grid.h"
#include "platform/physx/sph_kernels.h"
#include "platform/physx/sph_passes.h"

namespace {

using nxsdk::ParticleGrid;

constexpr float kH = 3.0f / 7.0f;

TEST(Kernels, IntegrateToOneOverTheirSupport) {
    // Integrals over the ball of radius h, in shells: poly6 and the spiky kernel whose
    // gradient the pressure uses (W = 15 / (pi h^6) (h - r)^3, -dW/dr = spikyGradient).
    const int shells = 20000;
    double poly6 = 0.0, spiky = 0.0;
    for (int k = 0; k < shells; ++k) {
        const double r = (k + 0.5) * kH / shells;
        const double shell = 4.0 * M_PI * r * r * kH / shells;
        poly6 += nxsdk::poly6(float(r * r), kH) * shell;
        spiky += 15.0 / (M_PI * std::pow(kH, 6)) * std::pow(kH - r, 3) * shell;
    }
    EXPECT_NEAR(poly6, 1.0, 1e-4);
    EXPECT_NEAR(spiky, 1.0, 1e-4);
    // The gradient used is the derivative of that spiky kernel.
    const float r = 0.3f * kH, e = 1e-3f * kH;
    auto w = [](float s) {
        return 15.0f / (nxsdk::kPi * std::pow(kH, 6.0f)) * std::pow(kH - s, 3.0f);
    };
    EXPECT_NEAR(nxsdk::spikyGradient(r, kH), (w(r - e) - w(r + e)) / (2 * e),
                1e-3f * nxsdk::spikyGradient(r, kH));
    EXPECT_EQ(nxsdk::poly6(kH * kH, kH), 0.0f);
    EXPECT_EQ(nxsdk::spikyGradient(kH, kH), 0.0f);
    EXPECT_EQ(nxsdk::viscosityLaplacian(2 * kH, kH), 0.0f);
}

struct Cloud {
    std::vector<float> x, y, z;
    uint32_t n = 0;
    void add(float a, float b, float c) {
        x.push_back(a);
        y.push_back(b);
        z.push_back(c);
        ++n;
    }
    void pad() {
        for (int k = 0; k < int(nxsdk::kSphPadding); ++k) {
            x.push_back(0.0f);
            y.push_back(0.0f);
            z.push_back(0.0f);
        }
    }
};

// Dense blobs, a sparse spray, coincident points and a few far away: what a splash holds.
Cloud splash(uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    Cloud c;
    for (int i = 0; i < 1500; ++i) c.add(2.0f * u(rng), 1.0f * u(rng), 2.0f * u(rng));
    for (int i = 0; i < 400; ++i)
        c.add(-3.0f + 6.0f * u(rng), 5.0f * u(rng), -6.0f + 3.0f * u(rng));
    for (int i = 0; i < 20; ++i) c.add(1.0f, 0.5f, 1.0f);
    c.add(1e5f, -2e5f, 3e4f);
    c.add(-1e5f, 7.0f, 0.0f);
    c.add(-0.0f, 0.0f, -0.0f);
    return c;
}

TEST(ParticleGrid, OrdersEveryKeptParticleOnceAndItsRowsHoldAllNeighbours) {
    Cloud c = splash(7);
    std::vector<uint8_t> keep(c.n, 1);
    for (uint32_t i = 0; i < c.n; i += 7) keep[i] = 0;
    ParticleGrid grid;
    grid.reserve(c.n);
    grid.build(c.x.data(), c.y.data(), c.z.data(), keep.data(), c.n, kH);

    std::vector<int> seen(c.n, 0);
    std::vector<uint32_t> slotOf(c.n, 0);
    for (uint32_t k = 0; k < grid.particleCount(); ++k) {
        ++seen[grid.order()[k]];
        slotOf[grid.order()[k]] = k;
    }
    for (uint32_t i = 0; i < c.n; ++i) ASSERT_EQ(seen[i], keep[i] ? 1 : 0) << i;

    std::vector<uint32_t> cellOf(grid.particleCount());
    for (uint32_t cell = 0; cell < grid.cellCount(); ++cell)
        for (uint32_t k = grid.cell(cell).begin; k < grid.cell(cell).end; ++k) cellOf[k] = cell;
    for (uint32_t i = 0; i < c.n; ++i) {
        if (!keep[i]) continue;
        const ParticleGrid::Range* rows = grid.rows(cellOf[slotOf[i]]);
        for (uint32_t j = 0; j < c.n; ++j) {
            if (!keep[j]) continue;
            const float dx = c.x[i] - c.x[j], dy = c.y[i] - c.y[j], dz = c.z[i] - c.z[j];
            if (dx * dx + dy * dy + dz * dz >= kH * kH) continue;
            bool found = false;
            for (int r = 0; r < ParticleGrid::kRows && !found; ++r)
                found = slotOf[j] >= rows[r].begin && slotOf[j] < rows[r].end;
            ASSERT_TRUE(found) << "neighbour " << j << " of " << i << " missed";
        }
    }
}

// The two passes of every version against a plain double-precision loop over all pairs.
// The solver keeps one slot per chunk, sized for `target` chunks and a remainder: a few
// particles spread over many cells (a small fluid) must not give a chunk per cell.
TEST(ParticleGrid, ChunksNeverOutnumberTheTargetAndItsRemainder) {
    constexpr uint32_t kTarget = 64;
    std::vector<uint32_t> bounds;
    for (uint32_t n : {1u, 63u, 64u, 65u, 100u, 127u, 130u, 200u, 1000u}) {
        std::vector<float> x(n), y(n, 0.0f), z(n, 0.0f);
        for (uint32_t i = 0; i < n; ++i) x[i] = 10.0f * kH * float(i);  // one particle per cell
        ParticleGrid grid;
        grid.reserve(n);
        grid.build(x.data(), y.data(), z.data(), nullptr, n, kH);
        grid.chunkCells(kTarget, bounds);
        ASSERT_GE(bounds.size(), 2u);
        EXPECT_LE(bounds.size() - 1, kTarget + 1) << n << " particles";
        EXPECT_EQ(bounds.front(), 0u);
        EXPECT_EQ(bounds.back(), grid.cellCount());
        for (size_t k = 1; k < bounds.size(); ++k) EXPECT_LT(bounds[k - 1], bounds[k]);
    }
}

TEST(SphPasses, EveryVersionMatchesTheBruteForceReference) {
    Cloud raw = splash(11);
    ParticleGrid grid;
    grid.reserve(raw.n);
    grid.build(raw.x.data(), raw.y.data(), raw.z.data(), nullptr, raw.n, kH);
    const uint32_t n = grid.particleCount();
    Cloud c;
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> vx, vy, vz;
    for (uint32_t k = 0; k < n; ++k) {
        const uint32_t s = grid.order()[k];
        c.add(raw.x[s], raw.y[s], raw.z[s]);
        vx.push_back(u(rng));
        vy.push_back(u(rng));
        vz.push_back(u(rng));
    }
    c.pad();
    for (auto* v : {&vx, &vy, &vz}) v->resize(n + nxsdk::kSphPadding, 0.0f);

    nxsdk::SphPassArgs a;
    a.cells = grid.cellData();
    a.rows = grid.rowData();
    a.x = c.x.data();
    a.y = c.y.data();
    a.z = c.z.data();
    a.vx = vx.data();
    a.vy = vy.data();
    a.vz = vz.data();
    const float mass = 1000.0f / 343.0f;
    const float h6 = std::pow(kH, 6.0f);
    a.k.h = kH;
    a.k.h2 = kH * kH;
    a.k.mass = mass;
    a.k.restDensity = 1000.0f;
    a.k.densityCoef = mass * 315.0f / (64.0f * nxsdk::kPi * h6 * kH * kH * kH);
    a.k.selfDensity = a.k.densityCoef * h6;
    a.k.pressureCoef = mass * 45.0f / (nxsdk::kPi * h6);
    a.k.viscosityCoef = 100.0f * a.k.pressureCoef;
    a.stiffness = 60.0f;
    a.maxExcess = 1000.0f;
    a.dt = 0.02f;
    a.scratchStride = n + 2 * nxsdk::kSphPadding;

    // Reference densities, pressures and accelerations.
    std::vector<double> rho(n), p(n), ir(n);
    uint64_t refPairs = 0;
    for (uint32_t i = 0; i < n; ++i) {
        double sum = 0.0;
        for (uint32_t j = 0; j < n; ++j) {
            const double dx = c.x[i] - c.x[j], dy = c.y[i] - c.y[j], dz = c.z[i] - c.z[j];
            const double r2 = dx * dx + dy * dy + dz * dz;
            if (r2 >= double(kH) * kH) continue;
            sum += std::pow(double(kH) * kH - r2, 3);
            refPairs += i != j;
        }
        rho[i] = std::max<double>(a.k.densityCoef * sum, a.k.selfDensity);
        ir[i] = 1.0 / rho[i];
        p[i] = 60.0 * std::clamp(rho[i] - 1000.0, 0.0, 1000.0) * ir[i] * ir[i];
    }

    // Each version with its box tests made in both passes, then with the density pass's
    // tests kept for the force pass (in the dense blob a cell outgrows its room for them
    // on the narrower versions, so both the replay and the tests after it are used).
    std::vector<uint16_t> boxMasks(nxsdk::sphBoxMaskRoom(n, grid.cellCount()));
    for (int run = 0; run < 2 * nxsdk::sphPassSetCount(); ++run) {
        const nxsdk::SphPassSet& passes = nxsdk::sphPassSet(run / 2);
        a.boxMasks = run % 2 ? boxMasks.data() : nullptr;
        SCOPED_TRACE(std::string(passes.name) + (a.boxMasks ? ", box tests kept" : ""));
        std::vector<float> density(n + 16), pressure(n + 16), inv(n + 16), ax(n + 16), ay(n + 16),
            az(n + 16);
        a.density = density.data();
        a.pressure = pressure.data();
        a.invDensity = inv.data();
        a.ax = ax.data();
        a.ay = ay.data();
        a.az = az.data();
        std::unique_ptr<float[]> scratch(new float[nxsdk::kSphScratchFields * a.scratchStride]);
        // In two halves, as two threads would take them.
        const uint32_t half = grid.cellCount() / 2;
        uint64_t pairs = passes.density(a, 0, half, scratch.get());
        pairs += passes.density(a, half, grid.cellCount(), scratch.get());
        EXPECT_EQ(pairs, refPairs);
        passes.forces(a, half, grid.cellCount(), scratch.get());
        passes.forces(a, 0, half, scratch.get());
        for (uint32_t i = 0; i < n; ++i) {
            ASSERT_NEAR(density[i], rho[i], 1e-4 * rho[i]) << i;
            // Reference acceleration from the reference densities.
            double f[3] = {0, 0, 0}, w[3] = {0, 0, 0}, t = 0;
            double fAbs[3] = {0, 0, 0}, wAbs[3] = {0, 0, 0};  // sizes of the summed terms
            // What an error of dq = 4e-4 h in h - r (the 12-bit reciprocal square root of
            // SSE and AVX2, near the edge of the kernel) can move each sum by.
            double fEdge = 0.0, wEdge[3] = {0, 0, 0};
            for (uint32_t j = 0; j < n; ++j) {
                const double d[3] = {double(c.x[i]) - c.x[j], double(c.y[i]) - c.y[j],
                                     double(c.z[i]) - c.z[j]};
                const double r2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
                if (r2 >= double(kH) * kH || r2 <= double(kH) * kH * 1e-8) continue;
                const double r = std::sqrt(r2), q = kH - r;
                const double s = (p[i] + p[j]) * q * q / r;
                const double tv = q * ir[j];
                const double v[3] = {vx[j], vy[j], vz[j]};
                for (int k = 0; k < 3; ++k) {
                    f[k] += s * d[k];
                    w[k] += tv * v[k];
                    fAbs[k] += std::fabs(s * d[k]);
                    wAbs[k] += std::fabs(tv * v[k]) + std::fabs(tv * vx[i]);
                    wEdge[k] +=
                        4e-4 * kH * ir[j] *
                        (std::fabs(v[k]) + std::fabs(vx[i]) + std::fabs(vy[i]) + std::fabs(vz[i]));
                }
                fEdge += (p[i] + p[j]) * 2.0 * q * 4e-4 * kH;
                t += tv;
            }
            double visc = a.k.viscosityCoef * ir[i];
            if (visc * t * a.dt > 0.5) visc = 0.5 / (t * a.dt);
            const double vi[3] = {vx[i], vy[i], vz[i]};
            const float got[3] = {ax[i], ay[i], az[i]};
            for (int k = 0; k < 3; ++k) {
                const double want = a.k.pressureCoef * f[k] + visc * (w[k] - vi[k] * t);
                // Float sums and an approximate reciprocal square root: the error is a
                // small share of the terms summed, not of their (often cancelling) total.
                const double scale =
                    a.k.pressureCoef * fAbs[k] + visc * (wAbs[k] + std::fabs(vi[k]) * t) + 1e-3;
                const double edge = a.k.pressureCoef * fEdge + visc * wEdge[k];
                ASSERT_NEAR(got[k], want, 1e-3 * scale + edge) << "particle " << i << " axis " << k;
            }
        }
    }
}

}  // namespace
