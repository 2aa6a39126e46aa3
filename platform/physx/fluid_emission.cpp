// Births and deaths of a fluid's particles: the emitters, their repeatable random numbers,
// the lifetimes counted down at the start of each step and the emission that follows.
#include <algorithm>
#include <cmath>
#include <new>

#include "platform/physx/fluid.h"
#include "platform/physx/fluid_internal.h"
#include "platform/physx/physics_scene.h"
#include "platform/physx/scene_objects.h"
#include "platform/physx/worker_pool.h"

namespace nxsdk {

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

NxFluid& FluidEmitter::getFluid() const {
    return m_fluid;
}
NxShape* FluidEmitter::getFrameShape() const {
    return m_frame ? m_frame->shape : nullptr;
}

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
// Fluid: lifetimes and emission

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
    const float restNumberDensity =
        m_desc.restParticlesPerMeter * m_desc.restParticlesPerMeter * m_desc.restParticlesPerMeter;
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
        if (d.maxParticles)
            n = std::min(n, d.maxParticles - std::min(d.maxParticles, e->emitted()));
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

}  // namespace nxsdk
