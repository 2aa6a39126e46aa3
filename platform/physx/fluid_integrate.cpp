// Integration and collision of one chunk of a fluid's particles: the velocities take the
// forces, the damping and the motion limit, the particles move and meet the shapes near
// them. Particles that can meet nothing but static planes take a branch-free integrator
// that runs in vector registers (particle_loops.h); the others take the general one. Both
// answer a contact with contactResponse.
#include <algorithm>
#include <cmath>

#include "platform/physx/fluid.h"
#include "platform/physx/fluid_internal.h"
#include "platform/physx/opencl/cl_fluid.h"

namespace nxsdk {

/// What both integrators need, fixed for a chunk.
struct Fluid::Integration {
    float dt = 0.0f;
    NxVec3 g;           ///< gravity and the external acceleration
    float damp = 1.0f;  ///< velocity factor of the damping
    float maxStep = 0.0f;
    float maxSpeed = 0.0f;
    bool sph = false;
    bool project = false;
    NxVec3 planeNormal;  ///< of the projection plane
    ParticleContactParams contact;
    float pushMass = 0.0f;
    float wallPush = 0.0f;
    bool walls = false;
    const CollisionShape* shapes = nullptr;  ///< the shapes the chunk can reach
    uint32_t shapeCount = 0;
};

void Fluid::setUpIntegration(const FluidStepContext& ctx, Integration& in) const {
    const float dt = in.dt = ctx.dt;
    in.g = m_desc.externalAcceleration;
    if (!(m_desc.flags & NX_FF_DISABLE_GRAVITY)) in.g += ctx.gravity;
    // Implicit damping: never reverses a velocity, however large damping * dt.
    in.damp = 1.0f / (1.0f + m_desc.damping * dt);
    in.maxStep = m_desc.motionLimitMultiplier * m_spacing;
    in.maxSpeed = in.maxStep / dt;
    in.sph = m_desc.simulationMethod != NX_F_NO_PARTICLE_INTERACTION;
    in.project = (m_desc.flags & NX_FF_PROJECT_TO_PLANE) != 0;
    in.planeNormal = m_desc.projectionPlane.normal;
    in.planeNormal.normalize();

    ParticleContactParams& contact = in.contact;
    contact.distance = m_desc.collisionDistanceMultiplier * m_spacing;
    // Slower than two steps of free fall, an impact is a particle at rest on the surface
    // and must not bounce.
    const float bounceSpeed = 2.0f * in.g.magnitude() * dt;
    contact.surface[0] = {m_desc.restitutionForStaticShapes,
                          1.0f - m_desc.dynamicFrictionForStaticShapes,
                          m_desc.staticFrictionForStaticShapes, bounceSpeed};
    contact.surface[1] = {m_desc.restitutionForDynamicShapes,
                          1.0f - m_desc.dynamicFrictionForDynamicShapes,
                          m_desc.staticFrictionForDynamicShapes, bounceSpeed};
    contact.collideStatic = (m_desc.collisionMethod & NX_F_STATIC) != 0;
    contact.collideDynamic = (m_desc.collisionMethod & NX_F_DYNAMIC) != 0;
    // Bodies feel the fluid only in two-way mode, and then the share of the momentum given
    // by the response coefficient.
    in.pushMass = (m_desc.flags & NX_FF_COLLISION_TWOWAY)
                      ? m_mass * m_desc.collisionResponseCoefficient
                      : 0.0f;
    // Walls push with twice the particle's own pressure term (a mirror image of it).
    in.wallPush = 2.0f * m_desc.restDensity;
    in.walls = in.sph && !m_wall.empty();
}

void Fluid::integrate(const FluidStepContext& ctx, uint32_t begin, uint32_t end, BodyPush* pushes,
                      uint32_t& removed) {
    Integration in;
    setUpIntegration(ctx, in);
    const ParticleContactParams& contact = in.contact;
    // The shapes this chunk can reach: its particles sit close together (grid order), so
    // most shapes are far from all of them and need no test per particle.
    CollisionShape local[kLocalShapes];
    in.shapes = ctx.shapes;
    in.shapeCount = ctx.shapeCount;
    if (begin < end) {
        NxVec3 lo, hi;
        if (m_chunkBoxFresh) {
            lo = m_chunkBox[2 * (begin / kShapeChunk)];
            hi = m_chunkBox[2 * (begin / kShapeChunk) + 1];
        } else {
            chunkBounds(begin, end, lo, hi);
        }
        const uint32_t n = shapesNear(ctx.shapes, ctx.shapeCount, lo, hi,
                                      in.maxStep + 2.0f * contact.distance, local, kLocalShapes);
        if (n <= kLocalShapes) {
            in.shapes = local;
            in.shapeCount = n;
        }
    }

    // The branch-free integrator knows static planes only, and no flags, normals, projection
    // or bounds; it takes every particle of the chunk that can meet nothing else this step
    // (most of them: the ground is everywhere, the other shapes are few).
    const bool branchFree = contact.collideStatic && !in.project && !m_wantFlags &&
                            !m_wantNormals && !ctx.bounds && in.shapeCount <= kLocalShapes;
    if (!branchFree) {
        for (uint32_t i = begin; i < end; ++i) integrateGeneral(ctx, in, i, pushes, removed);
        return;
    }
    ShapeRecord planes[kLocalShapes];
    PlaneIntegrationArgs a;
    a.x = m_cur.x.data();
    a.y = m_cur.y.data();
    a.z = m_cur.z.data();
    a.vx = m_cur.vx.data();
    a.vy = m_cur.vy.data();
    a.vz = m_cur.vz.data();
    a.ax = m_ax.data();
    a.ay = m_ay.data();
    a.az = m_az.data();
    a.wx = m_wallX.data();
    a.wy = m_wallY.data();
    a.wz = m_wallZ.data();
    a.pressure = m_pressure.data();
    a.wallPush = in.walls ? in.wallPush : 0.0f;
    a.dt = in.dt;
    a.gx = in.g.x;
    a.gy = in.g.y;
    a.gz = in.g.z;
    a.damp = in.damp;
    a.maxSpeed = in.maxSpeed;
    a.distance = contact.distance;
    a.worldLimit = kWorldLimit;
    a.still = contact.surface[0];
    a.planes = planes;
    for (uint32_t k = 0; k < in.shapeCount; ++k) {
        const CollisionShape& c = in.shapes[k];
        if (c.type == NX_SHAPE_PLANE && !c.onBody && !c.drain)
            planes[a.planeCount++] = {c.normal.x, c.normal.y, c.normal.z, c.d};
    }
    const SphPassSet& loops = sphPassSet(int(ctx.passSet));
    uint32_t general[kPathChunk];
    const uint32_t generalCount = markGeneral(in, a, loops, begin, end, general);
    for (uint32_t k = 0; k < generalCount; ++k)
        integrateGeneral(ctx, in, general[k], pushes, removed);
    if (generalCount == end - begin) return;
    a.skip = generalCount ? m_general.data() : nullptr;
    loops.integratePlanes(a, begin, end);
}

uint32_t Fluid::markGeneral(const Integration& in, const PlaneIntegrationArgs& a,
                            const SphPassSet& loops, uint32_t begin, uint32_t end,
                            uint32_t* general) {
    static_assert(kShapeChunk <= kPathChunk, "a chunk's paths fit the path boxes");
    // The shapes other than static planes that particles of the chunk may meet.
    const CollisionShape* solids[kLocalShapes];
    uint32_t solidCount = 0;
    for (uint32_t k = 0; k < in.shapeCount; ++k) {
        const CollisionShape& c = in.shapes[k];
        const bool plane = c.type == NX_SHAPE_PLANE && !c.onBody && !c.drain;
        if (!plane && (c.onBody ? in.contact.collideDynamic : in.contact.collideStatic))
            solids[solidCount++] = &c;
    }
    uint8_t* mark = m_general.data() + begin;
    const uint32_t n = end - begin;
    for (uint32_t k = 0; k < n; ++k) mark[k] = 0;
    if (solidCount == 0) return 0;

    // A particle whose path box (particle_loops.h) is clear of every other shape meets
    // nothing but planes, and both integrators answer planes alike.
    float box[6 * kPathChunk], scratch[4 * kPathChunk];
    loops.pathBoxes(a, box, scratch, begin, end);
    const float* lx = box;
    const float* ly = box + kPathChunk;
    const float* lz = box + 2 * kPathChunk;
    const float* hx = box + 3 * kPathChunk;
    const float* hy = box + 4 * kPathChunk;
    const float* hz = box + 5 * kPathChunk;
    const float dist = in.contact.distance;
    for (uint32_t s = 0; s < solidCount; ++s) {
        const CollisionShape& c = *solids[s];
        if (c.type == NX_SHAPE_SPHERE) {
            // The box's nearest point to the centre, within the radius and the contact
            // distance.
            const float ox = c.pose.t.x, oy = c.pose.t.y, oz = c.pose.t.z;
            const float r = c.radius + dist;
            const float r2 = r * r;
            for (uint32_t k = 0; k < n; ++k) {
                const float dx = std::max(0.0f, std::max(lx[k] - ox, ox - hx[k]));
                const float dy = std::max(0.0f, std::max(ly[k] - oy, oy - hy[k]));
                const float dz = std::max(0.0f, std::max(lz[k] - oz, oz - hz[k]));
                mark[k] |= dx * dx + dy * dy + dz * dz < r2 ? 1 : 0;
            }
        } else {
            // A turned box grown by the contact distance stays inside its bounds grown by
            // twice that.
            const NxVec3 bLo = c.boundsMin - NxVec3(2.0f * dist);
            const NxVec3 bHi = c.boundsMax + NxVec3(2.0f * dist);
            for (uint32_t k = 0; k < n; ++k)
                mark[k] |= hx[k] < bLo.x || lx[k] > bHi.x || hy[k] < bLo.y || ly[k] > bHi.y ||
                                   hz[k] < bLo.z || lz[k] > bHi.z
                               ? 0
                               : 1;
        }
    }
    uint32_t count = 0;
    for (uint32_t k = 0; k < n; ++k) {
        // Not a number anywhere: the general integrator's rules for it apply.
        const bool broken = !(lx[k] <= hx[k]) || !(ly[k] <= hy[k]) || !(lz[k] <= hz[k]);
        if (broken) mark[k] = 1;
        if (mark[k]) general[count++] = begin + k;
    }
    return count;
}

void Fluid::integrateGeneral(const FluidStepContext& ctx, const Integration& in, uint32_t i,
                             BodyPush* pushes, uint32_t& removed) {
    const float dt = in.dt;
    const float maxSpeed = in.maxSpeed;
    const NxVec3 planeNormal = in.planeNormal;
    const float pushMass = in.pushMass;
    Store& s = m_cur;
    const NxVec3 x0(s.x[i], s.y[i], s.z[i]);
    NxVec3 v(s.vx[i], s.vy[i], s.vz[i]);
    NxVec3 a(m_ax[i], m_ay[i], m_az[i]);
    if (in.walls) a += NxVec3(m_wallX[i], m_wallY[i], m_wallZ[i]) * (in.wallPush * m_pressure[i]);
    v += (a + in.g) * dt;
    v *= in.damp;
    uint32_t flags = 0;
    const float speed2 = v.magnitudeSquared();
    if (speed2 > maxSpeed * maxSpeed) {
        v *= maxSpeed / std::sqrt(speed2);
        flags |= NX_FP_MOTION_LIMIT_REACHED;
    }
    if (!v.isFinite()) v = NxVec3(0, 0, 0);
    NxVec3 x1 = x0 + v * dt;
    NxVec3 normal(0, 0, 0);
    const uint32_t c = collideParticle(in.shapes, in.shapeCount, in.contact, x0, x1, v, pushMass,
                                       pushMass > 0.0f ? pushes : nullptr, normal);
    if (in.project) {
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
        if (in.sph && m_density[i] <= m_k.selfDensity * 1.0001f) flags |= NX_FP_SEPARATED;
        m_flags[i] = flags;
    }
    if (m_wantNormals) {
        m_nx[i] = normal.x;
        m_ny[i] = normal.y;
        m_nz[i] = normal.z;
    }
}

void Fluid::deviceParams(const FluidStepContext& ctx, ClStepParams& p) const {
    // The device integrates like integrateGeneral with the same set-up; only the pushes of
    // collisions on bodies (two-way fluids) are left to the CPU solver.
    Integration in;
    setUpIntegration(ctx, in);
    p = ClStepParams{};
    p.dt = in.dt;
    p.h = m_k.h;
    p.h2 = m_k.h2;
    p.invCell = 1.0f / m_k.h;
    p.densityCoef = m_k.densityCoef;
    p.selfDensity = m_k.selfDensity;
    p.pressureCoef = m_k.pressureCoef;
    p.viscosityCoef = m_k.viscosityCoef;
    p.restDensity = m_desc.restDensity;
    p.stiffness = m_desc.stiffness;
    p.maxExcess = m_desc.restDensity;  // pressure stops growing at twice the rest density
    p.wallPush = in.wallPush;
    p.gx = in.g.x;
    p.gy = in.g.y;
    p.gz = in.g.z;
    p.damp = in.damp;
    p.maxSpeed = in.maxSpeed;
    p.contactDistance = in.contact.distance;
    p.worldLimit = kWorldLimit;
    for (int k = 0; k < 2; ++k) {
        const SurfaceResponse& r = in.contact.surface[k];
        p.surface[4 * k] = r.restitution;
        p.surface[4 * k + 1] = r.keepSliding;
        p.surface[4 * k + 2] = r.staticFriction;
        p.surface[4 * k + 3] = r.bounceSpeed;
    }
    p.pnx = in.planeNormal.x;
    p.pny = in.planeNormal.y;
    p.pnz = in.planeNormal.z;
    p.pd = m_desc.projectionPlane.d;
    if (ctx.bounds) {
        p.bmin[0] = ctx.bounds->min.x;
        p.bmin[1] = ctx.bounds->min.y;
        p.bmin[2] = ctx.bounds->min.z;
        p.bmax[0] = ctx.bounds->max.x;
        p.bmax[1] = ctx.bounds->max.y;
        p.bmax[2] = ctx.bounds->max.z;
    }
    p.collideStatic = in.contact.collideStatic;
    p.collideDynamic = in.contact.collideDynamic;
    p.project = in.project;
    p.hasBounds = ctx.bounds != nullptr;
    p.shapeCount = ctx.shapeCount;
    p.sph = in.sph;
    // Only drains and the scene's bounds remove particles: without them the device skips
    // the count and the compaction.
    bool removals = ctx.bounds != nullptr;
    for (uint32_t k = 0; k < ctx.shapeCount && !removals; ++k) removals = ctx.shapes[k].drain;
    p.markRemovals = removals;
}

}  // namespace nxsdk
