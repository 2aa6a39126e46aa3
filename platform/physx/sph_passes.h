#pragma once
// The two pair passes of the particle solver, density and forces, over the cells of a
// ParticleGrid. Each comes in versions for several instruction sets (AVX-512, AVX2 with
// FMA, SSE2); sphPasses() picks the best one the processor runs.
//
// Arrays are in grid order and must stay readable kSphPadding floats past the last
// particle (the vector loops read whole vectors and mask off the lanes beyond a run).

#include <cstdint>

#include "platform/physx/particle_grid.h"
#include "platform/physx/particle_loops.h"
#include "platform/physx/sph_kernels.h"

namespace nxsdk {

constexpr uint32_t kSphPadding = 16;

struct SphPassArgs {
    /// The grid's cell ranges and rows (raw arrays: the vector versions use no library code
    /// that other translation units share).
    const ParticleGrid::Range* cells = nullptr;
    const ParticleGrid::Range* rows = nullptr;
    const float* x = nullptr;
    const float* y = nullptr;
    const float* z = nullptr;
    const float* vx = nullptr;
    const float* vy = nullptr;
    const float* vz = nullptr;
    const float* wallDensity = nullptr;  ///< density the shapes add to each particle, or null
    float* density = nullptr;            ///< out of the density pass, kg/m^3
    float* pressure = nullptr;           ///< out of the density pass: p / rho^2
    float* invDensity = nullptr;         ///< out of the density pass: 1 / rho
    float* ax = nullptr;                 ///< out of the force pass: pressure and viscosity, m/s^2
    float* ay = nullptr;
    float* az = nullptr;
    SphConstants k;
    float stiffness = 0.0f;  ///< pressure per density excess, (m/s)^2
    float maxExcess = 0.0f;  ///< density excess beyond which pressure stops growing
    float dt = 0.0f;         ///< step, seconds (bounds the viscous relaxation)
    /// Floats between the fields of a scratch table: at least the particle count plus
    /// kSphPadding. A table has kSphScratchFields fields.
    uint32_t scratchStride = 0;
    /// Room for sphBoxMaskRoom(particles, cells) entries, or null. The density pass keeps
    /// there which candidates of each group lie near the group, and the force pass reads
    /// them back instead of testing again (positions do not change between the two).
    uint16_t* boxMasks = nullptr;
};

/// Box masks kept per cell: kSphBoxMasksPerParticle for each of its particles and
/// kSphBoxMasksPerCell more. A cell whose groups need more tests than that keeps the first
/// ones; the force pass tests the rest itself.
constexpr uint32_t kSphBoxMasksPerParticle = 4;
constexpr uint32_t kSphBoxMasksPerCell = 16;
constexpr size_t sphBoxMaskRoom(uint32_t particles, uint32_t cells) {
    return size_t(kSphBoxMasksPerParticle) * particles + size_t(kSphBoxMasksPerCell) * cells;
}

constexpr uint32_t kSphScratchFields = 8;

/// Each call needs a scratch table of its own (kSphScratchFields x scratchStride floats).
///
/// Density pass over sorted cells [cellBegin, cellEnd): writes density, pressure and
/// inverse density of their particles; returns the neighbour pairs found (each particle's
/// neighbours within the kernel radius, itself not counted).
using SphDensityPass = uint64_t (*)(const SphPassArgs& args, uint32_t cellBegin, uint32_t cellEnd,
                                    float* scratch);
/// Force pass over sorted cells [cellBegin, cellEnd): writes the acceleration from
/// pressure and viscosity of their particles. Needs the density pass of all cells first.
using SphForcePass = void (*)(const SphPassArgs& args, uint32_t cellBegin, uint32_t cellEnd,
                              float* scratch);

/// The passes of one instruction set, with the per-particle loops built alongside them.
struct SphPassSet {
    const char* name;
    SphDensityPass density;
    SphForcePass forces;
    WallLoop wallPlane;
    WallLoop wallSphere;
    PlaneIntegrator integratePlanes;
    PathBoxes pathBoxes;
};

/// The fastest version this processor runs.
const SphPassSet& sphPasses();
/// Every version this processor runs, fastest first (for tests and benchmarks).
int sphPassSetCount();
const SphPassSet& sphPassSet(int index);

// Versions built in their own translation units.
SphPassSet sphPassesSse2();
SphPassSet sphPassesAvx2();
SphPassSet sphPassesAvx512();

}  // namespace nxsdk
