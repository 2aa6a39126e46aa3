// One sub-step of a fluid, phase by phase: the particles age and are born, are sorted into
// the cells of the neighbour search, take their density and forces from their neighbours
// and the shapes near them, and are moved and collided (fluid_integrate.cpp).
#include <algorithm>
#include <cmath>

#include "platform/physx/fluid.h"
#include "platform/physx/fluid_internal.h"
#include "platform/physx/physics_scene.h"
#include "platform/physx/worker_pool.h"

namespace nxsdk {

void Fluid::step(const FluidStepContext& ctx) {
    m_chunkBoxFresh = false;
    clearPushes(ctx.bodyCount);
    m_deviceError = 0;
    if (!(m_desc.flags & NX_FF_ENABLED) || !(ctx.dt > 0.0f) || m_capacity == 0) return;
    if (m_device) {
        stepOnDevice(ctx);
        return;
    }
    const WorkerPool::BusyScope busy(*ctx.pool);

    ageParticles(ctx.dt);
    emit(ctx);
    if (m_desc.simulationMethod != NX_F_NO_PARTICLE_INTERACTION) {
        sortIntoCells(ctx);
        if (m_count > 0) {
            addWallDensity(ctx);
            densityAndForces(ctx);
        }
    } else {
        dropTheDead(ctx);
        clearForces();
    }
    integrateAll(ctx);
}

void Fluid::clearPushes(uint32_t bodyCount) {
    if (m_pushes.size() != bodyCount) m_pushes.resize(bodyCount);
    std::fill(m_pushes.begin(), m_pushes.end(), BodyPush{});
}

void Fluid::sortIntoCells(const FluidStepContext& ctx) {
    // Neighbour search: cells as wide as the kernel radius, the dead left out, the store
    // reordered cell by cell.
    m_grid.buildCells(m_cur.x.data(), m_cur.y.data(), m_cur.z.data(), m_keep.data(), m_count,
                      m_k.h);
    const uint32_t xrows = m_grid.xrowCount();
    const uint32_t rowChunks = std::min<uint32_t>(kCellChunks, (xrows + 63) / 64);
    ctx.pool->parallelFor(rowChunks, ctx.helpers, [&](uint32_t c, unsigned) {
        m_grid.finish(uint32_t(uint64_t(xrows) * c / rowChunks),
                      uint32_t(uint64_t(xrows) * (c + 1) / rowChunks));
    });
    reorder(ctx, m_grid.order(), m_grid.particleCount());
}

void Fluid::dropTheDead(const FluidStepContext& ctx) {
    uint32_t live = 0;
    for (uint32_t i = 0; i < m_count; ++i)
        if (m_keep[i]) m_compactOrder[live++] = i;
    reorder(ctx, m_compactOrder.data(), live);
}

void Fluid::addWallDensity(const FluidStepContext& ctx) {
    // What the shapes near each particle add to its density, and their push.
    const uint32_t wallChunks = (m_count + kShapeChunk - 1) / kShapeChunk;
    ctx.pool->parallelFor(wallChunks, ctx.helpers, [&](uint32_t c, unsigned) {
        wallPass(ctx, c * kShapeChunk, std::min(m_count, (c + 1) * kShapeChunk));
    });
    m_chunkBoxFresh = true;
}

void Fluid::densityAndForces(const FluidStepContext& ctx) {
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
    args.dt = ctx.dt;
    const SphPassSet& passes = sphPassSet(int(ctx.passSet));
    args.scratchStride = m_capacity + 2 * kSphPadding;
    args.boxMasks = m_boxMasks.data();
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
}

void Fluid::clearForces() {
    std::fill(m_ax.begin(), m_ax.begin() + m_count, 0.0f);
    std::fill(m_ay.begin(), m_ay.begin() + m_count, 0.0f);
    std::fill(m_az.begin(), m_az.begin() + m_count, 0.0f);
    std::fill(m_density.begin(), m_density.begin() + m_count, 0.0f);
}

void Fluid::integrateAll(const FluidStepContext& ctx) {
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

void Fluid::reorder(const FluidStepContext& ctx, const uint32_t* order, uint32_t count) {
    auto move = [&](uint32_t begin, uint32_t end) {
        for (uint32_t k = begin; k < end; ++k) m_next.copyParticle(k, m_cur, order[k]);
    };
    const uint32_t chunks = (count + kParticleChunk - 1) / kParticleChunk;
    ctx.pool->parallelFor(chunks, ctx.helpers, [&](uint32_t c, unsigned) {
        move(c * kParticleChunk, std::min(count, (c + 1) * kParticleChunk));
    });
    std::swap(m_cur, m_next);
    m_count = count;
    // Every slot now holds a living particle: the marks of the dead stayed with the old slots.
    std::fill(m_keep.begin(), m_keep.begin() + count, uint8_t(1));
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
    // Positions stay as they are until the integration, which reads the bounds again.
    m_chunkBox[2 * (begin / kShapeChunk)] = lo;
    m_chunkBox[2 * (begin / kShapeChunk) + 1] = hi;
    uint32_t shapeCount = shapesNear(ctx.shapes, ctx.shapeCount, lo, hi, h, local, kLocalShapes);
    if (shapeCount <= kLocalShapes)
        shapes = local;
    else
        shapeCount = ctx.shapeCount;
    WallLoopArgs args;
    args.x = m_cur.x.data();
    args.y = m_cur.y.data();
    args.z = m_cur.z.data();
    args.wall = m_wall.data();
    args.wx = m_wallX.data();
    args.wy = m_wallY.data();
    args.wz = m_wallZ.data();
    args.kernel = m_wallKernel;
    for (uint32_t i = begin; i < end; ++i)
        args.wall[i] = args.wx[i] = args.wy[i] = args.wz[i] = 0.0f;
    const SphPassSet& loops = sphPassSet(int(ctx.passSet));
    for (uint32_t k = 0; k < shapeCount; ++k) {
        const CollisionShape& c = shapes[k];
        if ((c.onBody ? !collideDynamic : !collideStatic) || c.drain) continue;
        // Planes and spheres, the common shapes, in vector registers; the rest particle by
        // particle, only where the particle is near the shape's box.
        if (c.type == NX_SHAPE_PLANE) {
            loops.wallPlane(args, {c.normal.x, c.normal.y, c.normal.z, c.d}, begin, end);
            continue;
        }
        if (c.type == NX_SHAPE_SPHERE) {
            loops.wallSphere(args, {c.pose.t.x, c.pose.t.y, c.pose.t.z, c.radius}, begin, end);
            continue;
        }
        const NxVec3 reachLo = c.boundsMin - NxVec3(h), reachHi = c.boundsMax + NxVec3(h);
        for (uint32_t i = begin; i < end; ++i) {
            const NxVec3 p(args.x[i], args.y[i], args.z[i]);
            if (p.x < reachLo.x || p.y < reachLo.y || p.z < reachLo.z || p.x > reachHi.x ||
                p.y > reachHi.y || p.z > reachHi.z)
                continue;
            float d;
            NxVec3 n;
            surfaceDistance(c, p, d, n);
            if (d >= h) continue;
            float density, gradient;
            wallTerms(m_wallKernel, d * m_wallKernel.invH, density, gradient);
            args.wall[i] += density;
            args.wx[i] += n.x * gradient;
            args.wy[i] += n.y * gradient;
            args.wz[i] += n.z * gradient;
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
            m_cur.copyParticle(w, m_cur, i);
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

}  // namespace nxsdk
