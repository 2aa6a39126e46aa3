// The fluid's set-up, its public calls, its particle store and ids, and the hand-over
// of results; emission, the step and integration live in fluid_emission.cpp,
// fluid_step.cpp and fluid_integrate.cpp.
#include "platform/physx/fluid.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "platform/physx/fluid_internal.h"
#include "platform/physx/opencl/cl_fluid.h"
#include "platform/physx/physics_scene.h"
#include "platform/physx/scene_objects.h"
#include "platform/physx/worker_pool.h"

namespace nxsdk {

namespace {

// Density a particle sees from a perfect cubic lattice of the rest spacing: the kernel sum
// falls short of the rest density by a few percent at small radii, so the density kernel
// is scaled by restDensity / this to put a fluid at rest exactly at its rest density.
float latticeDensity(float spacing, float h, float mass) {
    const int n = int(std::ceil(h / spacing));
    double sum = 0.0;
    for (int i = -n; i <= n; ++i)
        for (int j = -n; j <= n; ++j)
            for (int k = -n; k <= n; ++k) {
                const float r2 = float(i * i + j * j + k * k) * spacing * spacing;
                sum += poly6(r2, h);
            }
    return float(sum) * mass;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Fluid: set-up and the public calls

void Fluid::Store::resize(size_t n) {
    for (auto* v : {&x, &y, &z, &vx, &vy, &vz, &life}) v->assign(n, 0.0f);
    id.assign(n, 0);
}

Fluid::Fluid(Scene& scene, const NxFluidDesc& desc, NxCompartment* compartment,
             std::shared_ptr<ClDevice> device)
    : m_scene(scene), m_desc(desc), m_compartment(compartment), m_clDevice(std::move(device)) {
    userData = desc.userData;
    m_desc.compartment = compartment;
    m_emitterSeed = uint64_t(desc.randomSeed) * 0x9E3779B97F4A7C15ull + 1;
    m_wantFlags = desc.particlesWriteData.bufferFlag != nullptr;
    m_wantNormals = desc.particlesWriteData.bufferCollisionNormal != nullptr;
    updateConstants();
}

Fluid::~Fluid() {
    for (FluidEmitter* e : m_emitters) delete e;
}

bool Fluid::allocate() {
    // One step can bring at most this many births on top of a full store before the dead
    // are swept out; emission beyond it waits a step.
    const uint32_t births = std::max<uint32_t>(1024, m_desc.maxParticles / 8);
    m_capacity = m_desc.maxParticles + births;
    const size_t n = size_t(m_capacity) + kSphPadding;
    try {
        m_cur.resize(n);
        m_next.resize(n);
        for (auto* v : {&m_density, &m_pressure, &m_invDensity, &m_ax, &m_ay, &m_az, &m_wall,
                        &m_wallX, &m_wallY, &m_wallZ})
            v->assign(n, 0.0f);
        m_keep.assign(n, 0);
        m_general.assign(n, 0);
        m_compactOrder.assign(n, 0);
        if (m_wantFlags) m_flags.assign(n, 0);
        if (m_wantNormals)
            for (auto* v : {&m_nx, &m_ny, &m_nz}) v->assign(n, 0.0f);
        // Free ids wait in a ring, oldest first: an id is handed out again as late as
        // possible, so a consumer tracking ids rarely sees one change owners.
        m_freeIds.resize(m_desc.maxParticles);
        for (uint32_t k = 0; k < m_desc.maxParticles; ++k) m_freeIds[k] = k;
        m_freeHead = 0;
        m_freeCount = m_desc.maxParticles;
        m_grid.reserve(m_capacity);
        m_chunks.reserve(kCellChunks + 2);
        const uint32_t maxChunks = (m_capacity + kShapeChunk - 1) / kShapeChunk;
        m_chunkRemoved.assign(maxChunks, 0);
        m_chunkBox.assign(2 * size_t(maxChunks), NxVec3(0, 0, 0));
        m_chunkPairs.assign(kCellChunks + 2, 0);
        m_boxMasks.assign(sphBoxMaskRoom(m_capacity, m_capacity), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (m_clDevice) {
        // A hardware fluid keeps its particles on the device; the host store above only
        // stages the births of a step.
        cl_int err = CL_SUCCESS;
        m_device = ClFluidSolver::create(m_clDevice, m_capacity, err);
        if (!m_device) return false;
    }
    if (m_desc.initialParticleData.numParticlesPtr && m_desc.initialParticleData.bufferPos)
        addParticles(m_desc.initialParticleData);
    m_published = m_count;
    return true;
}

void Fluid::updateConstants() {
    m_spacing = 1.0f / m_desc.restParticlesPerMeter;
    m_mass = m_desc.restDensity * m_spacing * m_spacing * m_spacing;
    const float h = m_desc.kernelRadiusMultiplier * m_spacing;
    m_latticeCalibration = m_desc.restDensity / latticeDensity(m_spacing, h, m_mass);
    const float h2 = h * h;
    const float h6 = h2 * h2 * h2;
    m_k.h = h;
    m_k.h2 = h2;
    m_k.mass = m_mass;
    m_k.restDensity = m_desc.restDensity;
    m_k.densityCoef = m_mass * 315.0f / (64.0f * kPi * h6 * h2 * h) * m_latticeCalibration;
    m_k.selfDensity = m_k.densityCoef * h6;
    m_k.pressureCoef = m_mass * 45.0f / (kPi * h6);
    m_k.viscosityCoef = m_desc.viscosity * m_mass * 45.0f / (kPi * h6);

    // The shapes count as half-spaces of fluid at rest density (wallTerms).
    m_wallKernel.invH = 1.0f / h;
    m_wallKernel.densityScale = float(double(m_desc.restDensity) * 315.0 / 256.0);
    m_wallKernel.gradientScale = 30.0f * m_wallKernel.invH;
}

NxScene& Fluid::getScene() const {
    return m_scene;
}

NxFluidEmitter* Fluid::createEmitter(const NxFluidEmitterDesc& desc) {
    if (!desc.isValid()) return nullptr;
    ShapeCore* frame = nullptr;
    if (desc.frameShape) {
        frame = m_scene.findShape(desc.frameShape);
        if (!frame) return nullptr;  // a shape of another scene, or no shape at all
    }
    m_scene.waitForStep();
    const uint64_t seed = desc.randomSeed
                              ? desc.randomSeed
                              : m_emitterSeed + 0x632BE59BD9B4E019ull * (m_emitters.size() + 1);
    FluidEmitter* e = new (std::nothrow) FluidEmitter(*this, desc, frame, seed);
    if (!e) return nullptr;
    m_emitters.push_back(e);
    m_scene.onEmittersChanged();
    return e;
}

void Fluid::releaseEmitter(NxFluidEmitter& emitter) {
    auto it = std::find(m_emitters.begin(), m_emitters.end(), &emitter);
    if (it == m_emitters.end()) return;
    m_scene.waitForStep();
    delete *it;
    m_emitters.erase(it);
    m_scene.onEmittersChanged();
}

NxFluidEmitter** Fluid::getEmitters() {
    return m_emitters.empty() ? nullptr : reinterpret_cast<NxFluidEmitter**>(m_emitters.data());
}

void Fluid::onShapeReleased(const ShapeCore* shape) {
    for (FluidEmitter* e : m_emitters)
        if (e->frame() == shape) e->detachFrame();
}

NxU32 Fluid::addParticles(const NxParticleData& data) {
    if (!data.isValid() || !data.bufferPos || !data.numParticlesPtr) return 0;
    m_scene.waitForStep();
    const uint32_t wanted = *data.numParticlesPtr;
    const uint32_t limit = m_desc.maxParticles - m_desc.numReserveParticles;
    uint32_t added = 0;
    for (uint32_t k = 0; k < wanted && m_count < limit && m_count < m_capacity; ++k) {
        const float* p = recordAt<float>(data.bufferPos, data.bufferPosByteStride, k);
        const NxVec3 pos(p[0], p[1], p[2]);
        NxVec3 vel(0, 0, 0);
        if (data.bufferVel) {
            const float* v = recordAt<float>(data.bufferVel, data.bufferVelByteStride, k);
            vel.set(v[0], v[1], v[2]);
        }
        float life = kImmortal;
        if (data.bufferLife) {
            const float l = *recordAt<float>(data.bufferLife, data.bufferLifeByteStride, k);
            if (std::isfinite(l) && l > 0.0f) life = l;
        }
        if (!pos.isFinite() || !vel.isFinite()) continue;
        appendParticle(pos, vel, life);
        ++added;
    }
    if (m_device && added) {
        // Onto the device, and staged for the next hand-over.
        const uint32_t first = m_count - added;
        if (!uploadAppended(first) || m_device->readBack(m_count) != CL_SUCCESS) {
            m_device->settle();
            m_count = first;
            added = 0;
        }
    }
    m_published = m_count;
    return added;
}

void Fluid::removeAllParticles() {
    m_scene.waitForStep();
    if (!m_device)  // a hardware fluid hands out no ids
        for (uint32_t i = 0; i < m_count; ++i) releaseId(m_cur.id[i]);
    m_count = 0;
    m_published = 0;
}

void Fluid::setParticlesWriteData(const NxParticleData& data) {
    if (!data.isValid()) return;
    m_scene.waitForStep();
    m_desc.particlesWriteData = data;
    const size_t n = size_t(m_capacity) + kSphPadding;
    if (data.bufferFlag && !m_wantFlags && m_capacity) m_flags.assign(n, 0);
    if (data.bufferCollisionNormal && !m_wantNormals && m_capacity)
        for (auto* v : {&m_nx, &m_ny, &m_nz}) v->assign(n, 0.0f);
    m_wantFlags = m_wantFlags || data.bufferFlag;
    m_wantNormals = m_wantNormals || data.bufferCollisionNormal;
}

void Fluid::setSimulationMethod(NxU32 method) {
    if (method == NX_F_SPH || method == NX_F_NO_PARTICLE_INTERACTION || method == NX_F_MIXED_MODE)
        m_desc.simulationMethod = method;
}

void Fluid::setFlag(NxFluidFlag flag, bool on) {
    if (flag == NX_FF_HARDWARE) return;  // a fluid stays where it was created
    m_desc.flags = on ? (m_desc.flags | flag) : (m_desc.flags & ~NxU32(flag));
}

void Fluid::setStiffness(NxReal stiffness) {
    if (std::isfinite(stiffness) && stiffness > 0.0f) m_desc.stiffness = stiffness;
}

void Fluid::setViscosity(NxReal viscosity) {
    if (!(std::isfinite(viscosity) && viscosity > 0.0f)) return;
    m_desc.viscosity = viscosity;
    updateConstants();
}

void Fluid::setDamping(NxReal damping) {
    if (std::isfinite(damping) && damping >= 0.0f) m_desc.damping = damping;
}

void Fluid::setExternalAcceleration(const NxVec3& acceleration) {
    if (acceleration.isFinite()) m_desc.externalAcceleration = acceleration;
}

// ---------------------------------------------------------------------------------------
// Fluid: the store and its ids

uint32_t Fluid::appendParticle(const NxVec3& p, const NxVec3& v, float life) {
    const uint32_t i = m_count++;
    m_cur.x[i] = p.x;
    m_cur.y[i] = p.y;
    m_cur.z[i] = p.z;
    m_cur.vx[i] = v.x;
    m_cur.vy[i] = v.y;
    m_cur.vz[i] = v.z;
    m_cur.life[i] = life;
    // Ids follow the CPU store's order; a hardware fluid's particles carry none.
    m_cur.id[i] = m_device ? 0 : takeId();
    m_keep[i] = 1;
    return i;
}

uint32_t Fluid::takeId() {
    const uint32_t id = m_freeIds[m_freeHead];
    m_freeHead = m_freeHead + 1 == m_freeIds.size() ? 0 : m_freeHead + 1;
    --m_freeCount;
    return id;
}

void Fluid::releaseId(uint32_t id) {
    size_t tail = m_freeHead + m_freeCount;
    if (tail >= m_freeIds.size()) tail -= m_freeIds.size();
    m_freeIds[tail] = id;
    ++m_freeCount;
}

// ---------------------------------------------------------------------------------------
// Fluid: the hand-over

void Fluid::writeResults(WorkerPool& pool, unsigned helpers) {
    m_published = m_count;
    const NxParticleData& out = m_desc.particlesWriteData;
    uint32_t n = std::min(m_count, m_desc.maxParticles);
    if (out.maxParticles) n = std::min(n, out.maxParticles);
    if (m_device) {
        writeDeviceResults(n);
        if (out.numParticlesPtr) *out.numParticlesPtr = n;
        return;
    }
    const bool sph = m_desc.simulationMethod != NX_F_NO_PARTICLE_INTERACTION;
    auto write = [&](uint32_t begin, uint32_t end) {
        if (out.bufferPos)
            for (uint32_t i = begin; i < end; ++i) {
                float* p = recordAt<float>(out.bufferPos, out.bufferPosByteStride, i);
                p[0] = m_cur.x[i];
                p[1] = m_cur.y[i];
                p[2] = m_cur.z[i];
            }
        if (out.bufferVel)
            for (uint32_t i = begin; i < end; ++i) {
                float* p = recordAt<float>(out.bufferVel, out.bufferVelByteStride, i);
                p[0] = m_cur.vx[i];
                p[1] = m_cur.vy[i];
                p[2] = m_cur.vz[i];
            }
        if (out.bufferLife)
            for (uint32_t i = begin; i < end; ++i) {
                const float life = m_cur.life[i];
                *recordAt<float>(out.bufferLife, out.bufferLifeByteStride, i) =
                    life == kImmortal ? 0.0f : life;
            }
        if (out.bufferDensity)
            for (uint32_t i = begin; i < end; ++i)
                *recordAt<float>(out.bufferDensity, out.bufferDensityByteStride, i) =
                    sph ? m_density[i] : m_desc.restDensity;
        if (out.bufferId)
            for (uint32_t i = begin; i < end; ++i)
                *recordAt<uint32_t>(out.bufferId, out.bufferIdByteStride, i) = m_cur.id[i];
        if (out.bufferFlag && m_wantFlags)
            for (uint32_t i = begin; i < end; ++i)
                *recordAt<uint32_t>(out.bufferFlag, out.bufferFlagByteStride, i) = m_flags[i];
        if (out.bufferCollisionNormal && m_wantNormals)
            for (uint32_t i = begin; i < end; ++i) {
                float* p = recordAt<float>(out.bufferCollisionNormal,
                                           out.bufferCollisionNormalByteStride, i);
                p[0] = m_nx[i];
                p[1] = m_ny[i];
                p[2] = m_nz[i];
            }
    };
    // Several thousand records per chunk: enough to be worth a thread.
    constexpr uint32_t kWriteChunk = 4096;
    const uint32_t chunks = (n + kWriteChunk - 1) / kWriteChunk;
    pool.parallelFor(chunks, helpers, [&](uint32_t c, unsigned) {
        write(c * kWriteChunk, std::min(n, (c + 1) * kWriteChunk));
    });
    if (out.numParticlesPtr) *out.numParticlesPtr = n;
}

}  // namespace nxsdk
