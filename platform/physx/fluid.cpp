#include "platform/physx/fluid.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "platform/physx/physics_scene.h"
#include "platform/physx/scene_objects.h"
#include "platform/physx/worker_pool.h"

namespace nxsdk {

namespace {

constexpr float kImmortal = std::numeric_limits<float>::infinity();
// Particles per chunk of the per-particle loops: large enough that a chunk costs far more
// than handing it out, small enough that two to sixteen threads share the work evenly.
constexpr uint32_t kParticleChunk = 1024;
// Particles per chunk where shapes are met: small enough that a chunk (close together in
// grid order) usually sees only the shapes really near it.
constexpr uint32_t kShapeChunk = 256;
// Chunks of the pair loops (split by cells with similar particle counts).
constexpr uint32_t kCellChunks = 64;
// Positions are kept inside this cube (metres) so that nothing ever overflows.
constexpr float kWorldLimit = 1.0e6f;

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

template <typename T>
T* recordAt(void* base, uint32_t stride, uint32_t i) {
    return reinterpret_cast<T*>(static_cast<char*>(base) + size_t(stride) * i);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Pcg32

void Pcg32::reseed(uint64_t seed) {
    m_state = 0;
    next();
    m_state += seed;
    next();
}

uint32_t Pcg32::next() {
    const uint64_t old = m_state;
    m_state = old * 6364136223846793005ull + 1442695040888963407ull;
    const uint32_t xorshifted = uint32_t(((old >> 18u) ^ old) >> 27u);
    const uint32_t rot = uint32_t(old >> 59u);
    return (xorshifted >> rot) | (xorshifted << ((32 - rot) & 31));
}

// ---------------------------------------------------------------------------------------
// FluidEmitter

FluidEmitter::FluidEmitter(Fluid& fluid, const NxFluidEmitterDesc& desc, ShapeCore* frame,
                           uint64_t seed)
    : m_fluid(fluid), m_desc(desc), m_frame(frame), m_rng(seed) {
    userData = desc.userData;
    captureFrame();
}

NxFluid& FluidEmitter::getFluid() const { return m_fluid; }
NxShape* FluidEmitter::getFrameShape() const { return m_frame ? m_frame->shape : nullptr; }

NxMat34 FluidEmitter::getGlobalPose() const {
    return m_frame ? m_frame->globalPose() * m_desc.relPose : m_framePose;
}

void FluidEmitter::setLocalPose(const NxMat34& pose) {
    NxFluidEmitterDesc d = m_desc;
    d.relPose = pose;
    if (d.isValid()) m_desc.relPose = pose;
    if (!m_frame) m_framePose = pose;
}

void FluidEmitter::setFluidVelocityMagnitude(NxReal speed) {
    if (std::isfinite(speed) && speed >= 0.0f) m_desc.fluidVelocityMagnitude = speed;
}
void FluidEmitter::setRate(NxReal rate) {
    if (std::isfinite(rate) && rate >= 0.0f) m_desc.rate = rate;
}
void FluidEmitter::setParticleLifetime(NxReal life) {
    if (std::isfinite(life) && life >= 0.0f) m_desc.particleLifetime = life;
}
void FluidEmitter::setFlag(NxFluidEmitterFlag flag, bool on) {
    if (flag == NX_FEF_BROKEN_ACTOR_REF) return;  // the SDK's to set
    m_desc.flags = on ? (m_desc.flags | flag) : (m_desc.flags & ~NxU32(flag));
}
void FluidEmitter::resetEmission(NxU32 maxParticles) {
    m_desc.maxParticles = maxParticles;
    m_emitted = 0;
    m_pending = 0.0;
}

void FluidEmitter::detachFrame() {
    captureFrame();
    m_frame = nullptr;
    m_frameVelocity = m_frameAngular = NxVec3(0, 0, 0);
    m_frameBody = kNoBody;
    m_desc.flags |= NX_FEF_BROKEN_ACTOR_REF;
}

void FluidEmitter::captureFrame() {
    if (!m_frame) {
        if (!(m_desc.flags & NX_FEF_BROKEN_ACTOR_REF)) m_framePose = m_desc.relPose;
        return;
    }
    m_framePose = m_frame->globalPose() * m_desc.relPose;
    const Actor* actor = m_frame->actor;
    if (actor && actor->isDynamic()) {
        m_frameVelocity = actor->body().linearVelocity;
        m_frameAngular = actor->body().angularVelocity;
        m_frameCentre = actor->centreOfMassWorld();
    } else {
        m_frameVelocity = m_frameAngular = NxVec3(0, 0, 0);
        m_frameCentre = m_framePose.t;
    }
}

// ---------------------------------------------------------------------------------------
// Fluid: set-up and the public calls

void Fluid::Store::resize(size_t n) {
    for (auto* v : {&x, &y, &z, &vx, &vy, &vz, &life}) v->assign(n, 0.0f);
    id.assign(n, 0);
}

Fluid::Fluid(Scene& scene, const NxFluidDesc& desc, NxCompartment* compartment)
    : m_scene(scene), m_desc(desc), m_compartment(compartment) {
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
        m_chunkPairs.assign(kCellChunks + 2, 0);
    } catch (const std::bad_alloc&) {
        return false;
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

    // A flat wall at distance d = t h as a half-space of fluid at rest density: what it adds
    // to the density (poly6 over the half-space, 1/2 at contact), and the magnitude of the
    // gradient of the spiky kernel over it, which sets its push.
    auto p6 = [](double t) {
        const double t2 = t * t, t3 = t2 * t, t5 = t3 * t2, t7 = t5 * t2, t9 = t7 * t2;
        return t - 4.0 * t3 / 3.0 + 6.0 * t5 / 5.0 - 4.0 * t7 / 7.0 + t9 / 9.0;
    };
    const double restDensity = m_desc.restDensity;
    m_wallDensity.fill([&](double t) { return restDensity * 315.0 / 256.0 * (p6(1.0) - p6(t)); });
    m_wallGradient.fill([&](double t) {
        const double u = 1.0 - t;
        return 30.0 / h * (u * u * u * u / 4.0 - u * u * u * u * u / 5.0);
    });
}

NxScene& Fluid::getScene() const { return m_scene; }

NxFluidEmitter* Fluid::createEmitter(const NxFluidEmitterDesc& desc) {
    if (!desc.isValid()) return nullptr;
    ShapeCore* frame = nullptr;
    if (desc.frameShape) {
        frame = m_scene.findShape(desc.frameShape);
        if (!frame) return nullptr;  // a shape of another scene, or no shape at all
    }
    m_scene.waitForStep();
    const uint64_t seed = desc.randomSeed ? desc.randomSeed
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
    m_published = m_count;
    return added;
}

void Fluid::removeAllParticles() {
    m_scene.waitForStep();
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
    if (flag == NX_FF_HARDWARE) return;  // no hardware to move to
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
// Fluid: the step

uint32_t Fluid::appendParticle(const NxVec3& p, const NxVec3& v, float life) {
    const uint32_t i = m_count++;
    m_cur.x[i] = p.x;
    m_cur.y[i] = p.y;
    m_cur.z[i] = p.z;
    m_cur.vx[i] = v.x;
    m_cur.vy[i] = v.y;
    m_cur.vz[i] = v.z;
    m_cur.life[i] = life;
    m_cur.id[i] = takeId();
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

void Fluid::captureEmitterFrames() {
    for (FluidEmitter* e : m_emitters) {
        e->captureFrame();
        e->setFrameBody(e->frame() ? m_scene.pushIndexOf(e->frame()->actor) : kNoBody);
    }
}

void Fluid::ageParticles(float dt) {
    uint32_t live = 0, expired = 0;
    for (uint32_t i = 0; i < m_count; ++i) {
        float& life = m_cur.life[i];
        if (life != kImmortal) life -= dt;
        // Ten microseconds of life left is none: the float steps add up a little short.
        const bool alive = life > 1e-5f;
        m_keep[i] = alive;
        if (alive) {
            ++live;
        } else {
            releaseId(m_cur.id[i]);
            ++expired;
        }
    }
    m_live = live;
    m_stats.expired += expired;
}

void Fluid::emit(const FluidStepContext& ctx) {
    const float dt = ctx.dt;
    // The step in whole microseconds: 0.02 s is a hair shorter as a float, and that hair
    // would cost an emitter one particle now and then.
    const double stepSeconds = std::round(double(dt) * 1e6) * 1e-6;
    const float maxSpeed = m_desc.motionLimitMultiplier * m_spacing / dt;
    const float restNumberDensity = m_desc.restParticlesPerMeter * m_desc.restParticlesPerMeter *
                                    m_desc.restParticlesPerMeter;
    for (FluidEmitter* e : m_emitters) {
        const NxFluidEmitterDesc& d = e->desc();
        if (!(d.flags & NX_FEF_ENABLED)) continue;
        const float area = d.shape == NX_FE_ELLIPSE ? kPi * d.dimensionX * d.dimensionY
                                                    : 4.0f * d.dimensionX * d.dimensionY;
        const double rate = d.type == NX_FE_CONSTANT_FLOW_RATE
                                ? double(d.rate)
                                : double(area) * d.fluidVelocityMagnitude * restNumberDensity;
        double& pending = e->pending();
        pending += rate * stepSeconds;
        const double due = std::floor(pending + 1e-9);
        uint32_t n = due >= 4294967295.0 ? 0xFFFFFFFFu : uint32_t(std::max(0.0, due));
        pending -= double(n);
        if (d.maxParticles) n = std::min(n, d.maxParticles - std::min(d.maxParticles, e->emitted()));
        // A full fluid takes no more: what the emitter would have emitted is dropped, so it
        // resumes at its plain rate once particles expire.
        const uint32_t room = std::min(m_desc.maxParticles - std::min(m_desc.maxParticles, m_live),
                                       m_capacity - m_count);
        n = std::min(n, room);
        if (n == 0) continue;

        const NxMat34& pose = e->framePose();
        const bool addBody = (d.flags & NX_FEF_ADD_BODY_VELOCITY) != 0;
        const bool pushBody = (d.flags & NX_FEF_FORCE_ON_BODY) && e->frameBody() != kNoBody;
        Pcg32& rng = e->rng();
        for (uint32_t k = 0; k < n; ++k) {
            NxVec3 local;
            if (d.shape == NX_FE_ELLIPSE) {
                const float r = std::sqrt(rng.unit());
                const float a = 2.0f * kPi * rng.unit();
                local.set(d.dimensionX * r * std::cos(a), d.dimensionY * r * std::sin(a), 0.0f);
            } else {
                local.set(d.dimensionX * rng.signedUnit(), d.dimensionY * rng.signedUnit(), 0.0f);
            }
            local += NxVec3(d.randomPos.x * rng.signedUnit(), d.randomPos.y * rng.signedUnit(),
                            d.randomPos.z * rng.signedUnit());
            // Direction inside a cone of half-angle randomAngle around the frame's z axis.
            const float theta = d.randomAngle * std::sqrt(rng.unit());
            const float phi = 2.0f * kPi * rng.unit();
            const NxVec3 dirLocal(std::sin(theta) * std::cos(phi), std::sin(theta) * std::sin(phi),
                                  std::cos(theta));
            NxVec3 p = pose * local;
            NxVec3 v = pose.M * dirLocal * d.fluidVelocityMagnitude;
            if (addBody)
                v += e->frameVelocity() + e->frameAngularVelocity().cross(p - e->frameCentre());
            const float speed2 = v.magnitudeSquared();
            if (speed2 > maxSpeed * maxSpeed) v *= maxSpeed / std::sqrt(speed2);
            // Spread the step's particles along the path they took since their moment of
            // emission inside the step, instead of stacking them at the nozzle.
            p += v * (dt * (float(k) + rng.unit()) / float(n));
            if (!p.isFinite() || !v.isFinite()) continue;
            const float life = d.particleLifetime > 0.0f ? d.particleLifetime : kImmortal;
            appendParticle(p, v, life);
            ++m_live;
            if (pushBody) {
                const NxVec3 dp = v * (m_mass * d.repulsionCoefficient);
                m_pushes[e->frameBody()].linear -= dp;
                m_pushes[e->frameBody()].angular -= (p - e->frameCentre()).cross(dp);
            }
        }
        e->emitted() += n;
        m_stats.emitted += n;
    }
}

void Fluid::reorder(const FluidStepContext& ctx, const uint32_t* order, uint32_t count) {
    auto move = [&](uint32_t begin, uint32_t end) {
        for (uint32_t k = begin; k < end; ++k) {
            const uint32_t s = order[k];
            m_next.x[k] = m_cur.x[s];
            m_next.y[k] = m_cur.y[s];
            m_next.z[k] = m_cur.z[s];
            m_next.vx[k] = m_cur.vx[s];
            m_next.vy[k] = m_cur.vy[s];
            m_next.vz[k] = m_cur.vz[s];
            m_next.life[k] = m_cur.life[s];
            m_next.id[k] = m_cur.id[s];
        }
    };
    const uint32_t chunks = (count + kParticleChunk - 1) / kParticleChunk;
    ctx.pool->parallelFor(chunks, ctx.helpers, [&](uint32_t c, unsigned) {
        move(c * kParticleChunk, std::min(count, (c + 1) * kParticleChunk));
    });
    std::swap(m_cur, m_next);
    m_count = count;
}


void Fluid::step(const FluidStepContext& ctx) {
    if (m_pushes.size() != ctx.bodyCount) m_pushes.resize(ctx.bodyCount);
    std::fill(m_pushes.begin(), m_pushes.end(), BodyPush{});
    if (!(m_desc.flags & NX_FF_ENABLED) || !(ctx.dt > 0.0f) || m_capacity == 0) return;
    const float dt = ctx.dt;

    ageParticles(dt);
    emit(ctx);

    const bool sph = m_desc.simulationMethod != NX_F_NO_PARTICLE_INTERACTION;
    if (sph) {
        // Neighbour search: cells as wide as the kernel radius, the dead left out, the
        // store reordered cell by cell.
        m_grid.buildCells(m_cur.x.data(), m_cur.y.data(), m_cur.z.data(), m_keep.data(),
                          m_count, m_k.h);
        const uint32_t xrows = m_grid.xrowCount();
        const uint32_t rowChunks = std::min<uint32_t>(kCellChunks, (xrows + 63) / 64);
        ctx.pool->parallelFor(rowChunks, ctx.helpers, [&](uint32_t c, unsigned) {
            m_grid.finish(uint32_t(uint64_t(xrows) * c / rowChunks),
                          uint32_t(uint64_t(xrows) * (c + 1) / rowChunks));
        });
        reorder(ctx, m_grid.order(), m_grid.particleCount());
    } else {
        uint32_t live = 0;
        for (uint32_t i = 0; i < m_count; ++i)
            if (m_keep[i]) m_compactOrder[live++] = i;
        reorder(ctx, m_compactOrder.data(), live);
    }

    if (sph && m_count > 0) {
        // What the shapes near each particle add to its density, and their push.
        const uint32_t wallChunks = (m_count + kShapeChunk - 1) / kShapeChunk;
        ctx.pool->parallelFor(wallChunks, ctx.helpers, [&](uint32_t c, unsigned) {
            wallPass(ctx, c * kShapeChunk, std::min(m_count, (c + 1) * kShapeChunk));
        });

        SphPassArgs args;
        args.cells = m_grid.cellData();
        args.rows = m_grid.rowData();
        args.x = m_cur.x.data();
        args.y = m_cur.y.data();
        args.z = m_cur.z.data();
        args.vx = m_cur.vx.data();
        args.vy = m_cur.vy.data();
        args.vz = m_cur.vz.data();
        args.density = m_density.data();
        args.pressure = m_pressure.data();
        args.invDensity = m_invDensity.data();
        args.wallDensity = m_wall.data();
        args.ax = m_ax.data();
        args.ay = m_ay.data();
        args.az = m_az.data();
        args.k = m_k;
        args.stiffness = m_desc.stiffness;
        // Pressure stops growing at twice the rest density: a pile-up from a violent splash
        // then pushes back hard but never without bound.
        args.maxExcess = m_desc.restDensity;
        args.dt = dt;
        const SphPassSet& passes = sphPassSet(int(ctx.passSet));
        args.scratchStride = m_capacity + 2 * kSphPadding;
        // One scratch table per thread that may join (tables are only ever added).
        const size_t slots = size_t(ctx.helpers ? ctx.pool->workerCount() : 0) + 1;
        while (m_scratch.size() < slots)
            m_scratch.emplace_back(new float[size_t(kSphScratchFields) * args.scratchStride]);
        m_grid.chunkCells(kCellChunks, m_chunks);
        const uint32_t chunks = uint32_t(m_chunks.size() - 1);
        ctx.pool->parallelFor(chunks, ctx.helpers, [&](uint32_t c, unsigned slot) {
            m_chunkPairs[c] = passes.density(args, m_chunks[c], m_chunks[c + 1], m_scratch[slot].get());
        });
        uint64_t pairs = 0;
        for (uint32_t c = 0; c < chunks; ++c) pairs += m_chunkPairs[c];
        m_stats.neighbourPairs += pairs;
        // Both passes visit every pair (the density pass also meets each particle itself).
        m_stats.pairEvaluations += 2 * pairs + m_count;
        ctx.pool->parallelFor(chunks, ctx.helpers, [&](uint32_t c, unsigned slot) {
            passes.forces(args, m_chunks[c], m_chunks[c + 1], m_scratch[slot].get());
        });
    } else if (m_count > 0) {
        std::fill(m_ax.begin(), m_ax.begin() + m_count, 0.0f);
        std::fill(m_ay.begin(), m_ay.begin() + m_count, 0.0f);
        std::fill(m_az.begin(), m_az.begin() + m_count, 0.0f);
        std::fill(m_density.begin(), m_density.begin() + m_count, 0.0f);
    }

    // Integration and collision, chunk by chunk; each chunk sums its own pushes, added up
    // in chunk order afterwards so that the sum does not depend on the threads.
    const uint32_t chunks = (m_count + kShapeChunk - 1) / kShapeChunk;
    const size_t bodies = ctx.bodyCount;
    if (m_chunkPushes.size() < size_t(chunks) * bodies)
        m_chunkPushes.resize(size_t((m_capacity + kShapeChunk - 1) / kShapeChunk) * bodies);
    std::fill(m_chunkPushes.begin(), m_chunkPushes.begin() + size_t(chunks) * bodies, BodyPush{});
    ctx.pool->parallelFor(chunks, ctx.helpers, [&](uint32_t c, unsigned) {
        m_chunkRemoved[c] = 0;
        integrate(ctx, c * kShapeChunk, std::min(m_count, (c + 1) * kShapeChunk),
                  bodies ? &m_chunkPushes[size_t(c) * bodies] : nullptr, m_chunkRemoved[c]);
    });
    uint32_t removed = 0;
    for (uint32_t c = 0; c < chunks; ++c) {
        removed += m_chunkRemoved[c];
        for (size_t b = 0; b < bodies; ++b) {
            m_pushes[b].linear += m_chunkPushes[size_t(c) * bodies + b].linear;
            m_pushes[b].angular += m_chunkPushes[size_t(c) * bodies + b].angular;
        }
    }
    if (removed) removeMarked();
}

void Fluid::integrate(const FluidStepContext& ctx, uint32_t begin, uint32_t end,
                      BodyPush* pushes, uint32_t& removed) {
    const float dt = ctx.dt;
    NxVec3 g = m_desc.externalAcceleration;
    if (!(m_desc.flags & NX_FF_DISABLE_GRAVITY)) g += ctx.gravity;
    // Implicit damping: never reverses a velocity, however large damping * dt.
    const float damp = 1.0f / (1.0f + m_desc.damping * dt);
    const float maxStep = m_desc.motionLimitMultiplier * m_spacing;
    const float maxSpeed = maxStep / dt;
    const bool sph = m_desc.simulationMethod != NX_F_NO_PARTICLE_INTERACTION;
    const bool project = (m_desc.flags & NX_FF_PROJECT_TO_PLANE) != 0;
    NxVec3 planeNormal = m_desc.projectionPlane.normal;
    planeNormal.normalize();

    ParticleContactParams contact;
    contact.distance = m_desc.collisionDistanceMultiplier * m_spacing;
    contact.restitution[0] = m_desc.restitutionForStaticShapes;
    contact.restitution[1] = m_desc.restitutionForDynamicShapes;
    contact.dynamicFriction[0] = m_desc.dynamicFrictionForStaticShapes;
    contact.dynamicFriction[1] = m_desc.dynamicFrictionForDynamicShapes;
    contact.staticFriction[0] = m_desc.staticFrictionForStaticShapes;
    contact.staticFriction[1] = m_desc.staticFrictionForDynamicShapes;
    // Slower than two steps of free fall, an impact is a particle at rest on the surface
    // and must not bounce.
    contact.bounceSpeed = 2.0f * g.magnitude() * dt;
    contact.collideStatic = (m_desc.collisionMethod & NX_F_STATIC) != 0;
    contact.collideDynamic = (m_desc.collisionMethod & NX_F_DYNAMIC) != 0;
    // Bodies feel the fluid only in two-way mode, and then the share of the momentum given
    // by the response coefficient.
    const float pushMass = (m_desc.flags & NX_FF_COLLISION_TWOWAY)
                               ? m_mass * m_desc.collisionResponseCoefficient
                               : 0.0f;

    Store& s = m_cur;

    // The shapes this chunk can reach: its particles sit close together (grid order), so
    // most shapes are far from all of them and need no test per particle.
    CollisionShape local[kLocalShapes];
    const CollisionShape* shapes = ctx.shapes;
    uint32_t shapeCount = ctx.shapeCount;
    if (begin < end) {
        NxVec3 lo, hi;
        chunkBounds(begin, end, lo, hi);
        const uint32_t n = shapesNear(ctx.shapes, ctx.shapeCount, lo, hi,
                                      maxStep + 2.0f * contact.distance, local, kLocalShapes);
        if (n <= kLocalShapes) {
            shapes = local;
            shapeCount = n;
        }
    }
    // Walls push with twice the particle's own pressure term (a mirror image of it).
    const float wallPush = 2.0f * m_desc.restDensity;
    const bool walls = sph && !m_wall.empty();

    // Most chunks meet nothing but static planes (the ground): they take a path without
    // branches that the compiler runs in vector registers.
    bool planesOnly = contact.collideStatic && !project && !m_wantFlags && !m_wantNormals &&
                      !ctx.bounds && shapeCount <= kLocalShapes;
    for (uint32_t k = 0; k < shapeCount && planesOnly; ++k)
        planesOnly = shapes[k].type == NX_SHAPE_PLANE && !shapes[k].onBody && !shapes[k].drain;
    if (planesOnly) {
        float* __restrict x = s.x.data();
        float* __restrict y = s.y.data();
        float* __restrict z = s.z.data();
        float* __restrict vx = s.vx.data();
        float* __restrict vy = s.vy.data();
        float* __restrict vz = s.vz.data();
        const float* __restrict ax = m_ax.data();
        const float* __restrict ay = m_ay.data();
        const float* __restrict az = m_az.data();
        const float* __restrict wx = m_wallX.data();
        const float* __restrict wy = m_wallY.data();
        const float* __restrict wz = m_wallZ.data();
        const float* __restrict pressure = m_pressure.data();
        const float push = walls ? wallPush : 0.0f;
        const float maxSpeed2 = maxSpeed * maxSpeed;
        for (uint32_t i = begin; i < end; ++i) {
            const float wp = push * pressure[i];
            float ux = (vx[i] + (ax[i] + wx[i] * wp + g.x) * dt) * damp;
            float uy = (vy[i] + (ay[i] + wy[i] * wp + g.y) * dt) * damp;
            float uz = (vz[i] + (az[i] + wz[i] * wp + g.z) * dt) * damp;
            // A velocity that is not a number (x - x is then not zero) stops instead: a
            // NaN handed on would spread into every neighbour.
            const bool finite = ux - ux == 0.0f && uy - uy == 0.0f && uz - uz == 0.0f;
            ux = finite ? ux : 0.0f;
            uy = finite ? uy : 0.0f;
            uz = finite ? uz : 0.0f;
            const float speed2 = ux * ux + uy * uy + uz * uz;
            const float limit = speed2 > maxSpeed2 ? maxSpeed / std::sqrt(speed2) : 1.0f;
            vx[i] = ux * limit;
            vy[i] = uy * limit;
            vz[i] = uz * limit;
            x[i] += vx[i] * dt;
            y[i] += vy[i] * dt;
            z[i] += vz[i] * dt;
        }
        const float restitution = contact.restitution[0];
        const float keepSliding = 1.0f - contact.dynamicFriction[0];
        const float staticFriction = contact.staticFriction[0];
        // The same response as collideParticle: out of the plane, the approaching part of
        // the velocity bounced (above the bounce speed), the sliding part braked.
        for (int round = 0; round < 2; ++round) {
            for (uint32_t k = 0; k < shapeCount; ++k) {
                const float nx = shapes[k].normal.x, ny = shapes[k].normal.y, nz = shapes[k].normal.z;
                const float d = shapes[k].d + contact.distance;
                for (uint32_t i = begin; i < end; ++i) {
                    float sd = nx * x[i] + ny * y[i] + nz * z[i] - d;
                    sd = sd < 0.0f ? sd : 0.0f;
                    x[i] -= nx * sd;
                    y[i] -= ny * sd;
                    z[i] -= nz * sd;
                    const float vn = nx * vx[i] + ny * vy[i] + nz * vz[i];
                    const float tx = vx[i] - nx * vn, ty = vy[i] - ny * vn, tz = vz[i] - nz * vn;
                    const float slide = std::sqrt(tx * tx + ty * ty + tz * tz);
                    const float brake = slide <= staticFriction * -vn ? 0.0f : keepSliding;
                    const float bounce = -vn > contact.bounceSpeed ? restitution : 0.0f;
                    const bool hit = sd < 0.0f && vn < 0.0f;
                    vx[i] = hit ? tx * brake - nx * (bounce * vn) : vx[i];
                    vy[i] = hit ? ty * brake - ny * (bounce * vn) : vy[i];
                    vz[i] = hit ? tz * brake - nz * (bounce * vn) : vz[i];
                }
            }
            if (shapeCount < 2) break;  // one plane settles in one round
        }
        for (uint32_t i = begin; i < end; ++i) {
            x[i] = std::clamp(x[i], -kWorldLimit, kWorldLimit);
            y[i] = std::clamp(y[i], -kWorldLimit, kWorldLimit);
            z[i] = std::clamp(z[i], -kWorldLimit, kWorldLimit);
        }
        return;
    }

    for (uint32_t i = begin; i < end; ++i) {
        const NxVec3 x0(s.x[i], s.y[i], s.z[i]);
        NxVec3 v(s.vx[i], s.vy[i], s.vz[i]);
        NxVec3 a(m_ax[i], m_ay[i], m_az[i]);
        if (walls) a += NxVec3(m_wallX[i], m_wallY[i], m_wallZ[i]) * (wallPush * m_pressure[i]);
        v += (a + g) * dt;
        v *= damp;
        uint32_t flags = 0;
        const float speed2 = v.magnitudeSquared();
        if (speed2 > maxSpeed * maxSpeed) {
            v *= maxSpeed / std::sqrt(speed2);
            flags |= NX_FP_MOTION_LIMIT_REACHED;
        }
        if (!v.isFinite()) v = NxVec3(0, 0, 0);
        NxVec3 x1 = x0 + v * dt;
        NxVec3 normal(0, 0, 0);
        const uint32_t c = collideParticle(shapes, shapeCount, contact, x0, x1, v, pushMass,
                                           pushMass > 0.0f ? pushes : nullptr, normal);
        if (project) {
            const float off = planeNormal.dot(x1) - m_desc.projectionPlane.d;
            x1 -= planeNormal * off;
            v -= planeNormal * planeNormal.dot(v);
        }
        x1.x = std::clamp(x1.x, -kWorldLimit, kWorldLimit);
        x1.y = std::clamp(x1.y, -kWorldLimit, kWorldLimit);
        x1.z = std::clamp(x1.z, -kWorldLimit, kWorldLimit);
        if (!x1.isFinite() || !v.isFinite()) {  // never hand on a NaN: stay put instead
            x1 = x0;
            v = NxVec3(0, 0, 0);
        }
        bool keep = !(c & kDrained);
        if (ctx.bounds && !ctx.bounds->contain(x1)) keep = false;
        if (!keep) {
            m_keep[i] = 0;
            ++removed;
        }
        s.x[i] = x1.x;
        s.y[i] = x1.y;
        s.z[i] = x1.z;
        s.vx[i] = v.x;
        s.vy[i] = v.y;
        s.vz[i] = v.z;
        if (m_wantFlags) {
            if (c & kTouchedStatic) flags |= NX_FP_COLLISION_WITH_STATIC;
            if (c & kTouchedDynamic) flags |= NX_FP_COLLISION_WITH_DYNAMIC;
            if (sph && m_density[i] <= m_k.selfDensity * 1.0001f) flags |= NX_FP_SEPARATED;
            m_flags[i] = flags;
        }
        if (m_wantNormals) {
            m_nx[i] = normal.x;
            m_ny[i] = normal.y;
            m_nz[i] = normal.z;
        }
    }
}

void Fluid::chunkBounds(uint32_t begin, uint32_t end, NxVec3& lo, NxVec3& hi) const {
    const float* x = m_cur.x.data();
    const float* y = m_cur.y.data();
    const float* z = m_cur.z.data();
    float x0 = x[begin], x1 = x0, y0 = y[begin], y1 = y0, z0 = z[begin], z1 = z0;
    for (uint32_t i = begin + 1; i < end; ++i) {
        x0 = std::min(x0, x[i]);
        x1 = std::max(x1, x[i]);
        y0 = std::min(y0, y[i]);
        y1 = std::max(y1, y[i]);
        z0 = std::min(z0, z[i]);
        z1 = std::max(z1, z[i]);
    }
    lo.set(x0, y0, z0);
    hi.set(x1, y1, z1);
}

void Fluid::wallPass(const FluidStepContext& ctx, uint32_t begin, uint32_t end) {
    const float h = m_k.h;
    const bool collideStatic = (m_desc.collisionMethod & NX_F_STATIC) != 0;
    const bool collideDynamic = (m_desc.collisionMethod & NX_F_DYNAMIC) != 0;
    CollisionShape local[kLocalShapes];
    const CollisionShape* shapes = ctx.shapes;
    NxVec3 lo, hi;
    chunkBounds(begin, end, lo, hi);
    uint32_t shapeCount = shapesNear(ctx.shapes, ctx.shapeCount, lo, hi, h, local, kLocalShapes);
    if (shapeCount <= kLocalShapes)
        shapes = local;
    else
        shapeCount = ctx.shapeCount;
    const float invH = 1.0f / h;
    float* __restrict wall = m_wall.data();
    float* __restrict wx = m_wallX.data();
    float* __restrict wy = m_wallY.data();
    float* __restrict wz = m_wallZ.data();
    const float* __restrict px = m_cur.x.data();
    const float* __restrict py = m_cur.y.data();
    const float* __restrict pz = m_cur.z.data();
    for (uint32_t i = begin; i < end; ++i) wall[i] = wx[i] = wy[i] = wz[i] = 0.0f;
    const double restDensity = m_desc.restDensity;
    for (uint32_t k = 0; k < shapeCount; ++k) {
        const CollisionShape& c = shapes[k];
        if ((c.onBody ? !collideDynamic : !collideStatic) || c.drain) continue;
        if (c.type == NX_SHAPE_PLANE) {
            // Planes, the common case, in closed form and branch-free so that the loop
            // runs in vector registers: t = d / h, clamped to 1 where the plane is out of
            // reach (both terms are zero there).
            const float nx = c.normal.x, ny = c.normal.y, nz = c.normal.z, pd = c.d;
            const float densityScale = float(restDensity * 315.0 / 256.0);
            const float gradientScale = 30.0f * invH;
            const float p1 = float(1.0 - 4.0 / 3.0 + 6.0 / 5.0 - 4.0 / 7.0 + 1.0 / 9.0);
            for (uint32_t i = begin; i < end; ++i) {
                float t = (nx * px[i] + ny * py[i] + nz * pz[i] - pd) * invH;
                t = t > 0.0f ? t : 0.0f;
                t = t < 1.0f ? t : 1.0f;
                const float t2 = t * t;
                const float poly = t * (1.0f + t2 * (-4.0f / 3.0f + t2 * (6.0f / 5.0f + t2 * (-4.0f / 7.0f + t2 * (1.0f / 9.0f)))));
                const float u = 1.0f - t;
                const float u4 = u * u * u * u;
                const float g = gradientScale * u4 * (0.25f - 0.2f * u);
                wall[i] += densityScale * (p1 - poly);
                wx[i] += nx * g;
                wy[i] += ny * g;
                wz[i] += nz * g;
            }
            continue;
        }
        for (uint32_t i = begin; i < end; ++i) {
            float d;
            NxVec3 n;
            surfaceDistance(c, NxVec3(px[i], py[i], pz[i]), d, n);
            if (d >= h) continue;
            const float t = d * invH;
            wall[i] += m_wallDensity.sample(t);
            const float g = m_wallGradient.sample(t);
            wx[i] += n.x * g;
            wy[i] += n.y * g;
            wz[i] += n.z * g;
        }
    }
}

void Fluid::removeMarked() {
    uint32_t w = 0;
    for (uint32_t i = 0; i < m_count; ++i) {
        if (!m_keep[i]) {
            releaseId(m_cur.id[i]);
            continue;
        }
        if (w != i) {
            m_cur.x[w] = m_cur.x[i];
            m_cur.y[w] = m_cur.y[i];
            m_cur.z[w] = m_cur.z[i];
            m_cur.vx[w] = m_cur.vx[i];
            m_cur.vy[w] = m_cur.vy[i];
            m_cur.vz[w] = m_cur.vz[i];
            m_cur.life[w] = m_cur.life[i];
            m_cur.id[w] = m_cur.id[i];
            m_density[w] = m_density[i];
            if (m_wantFlags) m_flags[w] = m_flags[i];
            if (m_wantNormals) {
                m_nx[w] = m_nx[i];
                m_ny[w] = m_ny[i];
                m_nz[w] = m_nz[i];
            }
        }
        m_keep[w] = 1;
        ++w;
    }
    m_count = w;
}

void Fluid::writeResults(WorkerPool& pool, unsigned helpers) {
    m_published = m_count;
    const NxParticleData& out = m_desc.particlesWriteData;
    uint32_t n = std::min(m_count, m_desc.maxParticles);
    if (out.maxParticles) n = std::min(n, out.maxParticles);
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
