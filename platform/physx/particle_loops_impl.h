#pragma once
// The per-particle loops of particle_loops.h, written as plain loops that the compiler runs
// in vector registers: no branches in the bodies (selects instead), no calls, and every
// array a restrict parameter (the compiler trusts restrict on parameters only). Built once
// per instruction set; include only from sph_passes_*.cpp, inside their own namespace.

#include "platform/physx/particle_loops.h"

struct ParticleLoops {
    static void wallPlaneLoop(const float* __restrict px, const float* __restrict py,
                              const float* __restrict pz, float* __restrict wall,
                              float* __restrict wx, float* __restrict wy, float* __restrict wz,
                              const nxsdk::WallKernel k, const nxsdk::ShapeRecord s, uint32_t begin,
                              uint32_t end) {
        const float nx = s.a, ny = s.b, nz = s.c, pd = s.d;
        for (uint32_t i = begin; i < end; ++i) {
            float t = (nx * px[i] + ny * py[i] + nz * pz[i] - pd) * k.invH;
            t = t > 0.0f ? t : 0.0f;
            t = t < 1.0f ? t : 1.0f;
            float density, gradient;
            nxsdk::wallTerms(k, t, density, gradient);
            // Out of reach both terms are zero; the mask keeps the rounding of P(1) out.
            wall[i] += t < 1.0f ? density : 0.0f;
            wx[i] += nx * gradient;
            wy[i] += ny * gradient;
            wz[i] += nz * gradient;
        }
    }

    static void wallPlane(const nxsdk::WallLoopArgs& a, const nxsdk::ShapeRecord& s, uint32_t begin,
                          uint32_t end) {
        wallPlaneLoop(a.x, a.y, a.z, a.wall, a.wx, a.wy, a.wz, a.kernel, s, begin, end);
    }

    static void wallSphereLoop(const float* __restrict px, const float* __restrict py,
                               const float* __restrict pz, float* __restrict wall,
                               float* __restrict wx, float* __restrict wy, float* __restrict wz,
                               const nxsdk::WallKernel k, const nxsdk::ShapeRecord s,
                               uint32_t begin, uint32_t end) {
        const float cx = s.a, cy = s.b, cz = s.c, radius = s.d;
        for (uint32_t i = begin; i < end; ++i) {
            const float fx = px[i] - cx, fy = py[i] - cy, fz = pz[i] - cz;
            const float len = __builtin_sqrtf(fx * fx + fy * fy + fz * fz);
            // Distance from the surface (0 inside) and the outward normal ((0, 1, 0) at the
            // very centre), as for any shape.
            const float d = len - radius > 0.0f ? len - radius : 0.0f;
            const bool centred = !(len > 1e-6f);
            const float inv = 1.0f / (centred ? 1.0f : len);
            const float nx = centred ? 0.0f : fx * inv;
            const float ny = centred ? 1.0f : fy * inv;
            const float nz = centred ? 0.0f : fz * inv;
            const float t = d * k.invH;
            const bool reach = t < 1.0f;
            float density, gradient;
            nxsdk::wallTerms(k, reach ? t : 1.0f, density, gradient);
            wall[i] += reach ? density : 0.0f;
            wx[i] += reach ? nx * gradient : 0.0f;
            wy[i] += reach ? ny * gradient : 0.0f;
            wz[i] += reach ? nz * gradient : 0.0f;
        }
    }

    static void wallSphere(const nxsdk::WallLoopArgs& a, const nxsdk::ShapeRecord& s,
                           uint32_t begin, uint32_t end) {
        wallSphereLoop(a.x, a.y, a.z, a.wall, a.wx, a.wy, a.wz, a.kernel, s, begin, end);
    }

    // Velocities take the forces and the limit, particles move (the skipped ones stay).
    template <bool kSkip>
    static void moveLoop(float* __restrict x, float* __restrict y, float* __restrict z,
                         float* __restrict vx, float* __restrict vy, float* __restrict vz,
                         const float* __restrict ax, const float* __restrict ay,
                         const float* __restrict az, const float* __restrict wx,
                         const float* __restrict wy, const float* __restrict wz,
                         const float* __restrict pressure, const uint8_t* __restrict skip,
                         const nxsdk::PlaneIntegrationArgs& a, uint32_t begin, uint32_t end) {
        const float dt = a.dt, gx = a.gx, gy = a.gy, gz = a.gz;
        const float damp = a.damp;
        const float maxSpeed = a.maxSpeed;
        const float maxSpeed2 = maxSpeed * maxSpeed;
        const float push = a.wallPush;
        for (uint32_t i = begin; i < end; ++i) {
            const float wp = push * pressure[i];
            float ux = (vx[i] + (ax[i] + wx[i] * wp + gx) * dt) * damp;
            float uy = (vy[i] + (ay[i] + wy[i] * wp + gy) * dt) * damp;
            float uz = (vz[i] + (az[i] + wz[i] * wp + gz) * dt) * damp;
            // A velocity that is not a number (x - x is then not zero) stops instead: a
            // NaN handed on would spread into every neighbour.
            const bool finite = ux - ux == 0.0f && uy - uy == 0.0f && uz - uz == 0.0f;
            ux = finite ? ux : 0.0f;
            uy = finite ? uy : 0.0f;
            uz = finite ? uz : 0.0f;
            const float speed2 = ux * ux + uy * uy + uz * uz;
            const float limit = speed2 > maxSpeed2 ? maxSpeed / __builtin_sqrtf(speed2) : 1.0f;
            ux *= limit;
            uy *= limit;
            uz *= limit;
            const bool stay = kSkip && skip[i] != 0;
            vx[i] = stay ? vx[i] : ux;
            vy[i] = stay ? vy[i] : uy;
            vz[i] = stay ? vz[i] : uz;
            x[i] = stay ? x[i] : x[i] + ux * dt;
            y[i] = stay ? y[i] : y[i] + uy * dt;
            z[i] = stay ? z[i] : z[i] + uz * dt;
        }
    }

    // Out of one plane, and the velocity answered where it approaches the plane.
    template <bool kSkip>
    static void planeLoop(float* __restrict x, float* __restrict y, float* __restrict z,
                          float* __restrict vx, float* __restrict vy, float* __restrict vz,
                          const uint8_t* __restrict skip, const nxsdk::ShapeRecord plane,
                          const nxsdk::SurfaceResponse still, float distance, uint32_t begin,
                          uint32_t end) {
        const float nx = plane.a, ny = plane.b, nz = plane.c;
        const float d = plane.d + distance;
        for (uint32_t i = begin; i < end; ++i) {
            float sd = nx * x[i] + ny * y[i] + nz * z[i] - d;
            sd = sd < 0.0f && !(kSkip && skip[i] != 0) ? sd : 0.0f;
            x[i] -= nx * sd;
            y[i] -= ny * sd;
            z[i] -= nz * sd;
            const float vn = nx * vx[i] + ny * vy[i] + nz * vz[i];
            const nxsdk::ParticleVelocity u = nxsdk::contactResponse(
                still, nx, ny, nz, vx[i], vy[i], vz[i], vn, nxsdk::kStillSurface,
                nxsdk::kStillSurface, nxsdk::kStillSurface);
            const bool hit = sd < 0.0f && vn < 0.0f;
            vx[i] = hit ? u.x : vx[i];
            vy[i] = hit ? u.y : vy[i];
            vz[i] = hit ? u.z : vz[i];
        }
    }

    // Inside the world's cube (NaN stays NaN, as with std::clamp; a no-op for the skipped
    // particles, which are inside already).
    static void clampLoop(float* __restrict x, float* __restrict y, float* __restrict z,
                          float limit, uint32_t begin, uint32_t end) {
        for (uint32_t i = begin; i < end; ++i) {
            x[i] = x[i] < -limit ? -limit : (limit < x[i] ? limit : x[i]);
            y[i] = y[i] < -limit ? -limit : (limit < y[i] ? limit : y[i]);
            z[i] = z[i] < -limit ? -limit : (limit < z[i] ? limit : z[i]);
        }
    }

    template <bool kSkip>
    static void integratePlanesT(const nxsdk::PlaneIntegrationArgs& a, uint32_t begin,
                                 uint32_t end) {
        moveLoop<kSkip>(a.x, a.y, a.z, a.vx, a.vy, a.vz, a.ax, a.ay, a.az, a.wx, a.wy, a.wz,
                        a.pressure, a.skip, a, begin, end);
        for (int round = 0; round < 2; ++round) {
            for (uint32_t k = 0; k < a.planeCount; ++k)
                planeLoop<kSkip>(a.x, a.y, a.z, a.vx, a.vy, a.vz, a.skip, a.planes[k], a.still,
                                 a.distance, begin, end);
            if (a.planeCount < 2) break;  // one plane settles in one round
        }
        clampLoop(a.x, a.y, a.z, a.worldLimit, begin, end);
    }

    static void pathLoop(const float* __restrict x, const float* __restrict y,
                         const float* __restrict z, const float* __restrict vx,
                         const float* __restrict vy, const float* __restrict vz,
                         const float* __restrict ax, const float* __restrict ay,
                         const float* __restrict az, const float* __restrict wx,
                         const float* __restrict wy, const float* __restrict wz,
                         const float* __restrict pressure, float* __restrict box,
                         float* __restrict end1, const nxsdk::PlaneIntegrationArgs& a,
                         uint32_t begin, uint32_t end) {
        constexpr uint32_t C = nxsdk::kPathChunk;
        const float dt = a.dt, gx = a.gx, gy = a.gy, gz = a.gz;
        const float damp = a.damp;
        const float maxSpeed = a.maxSpeed;
        const float maxSpeed2 = maxSpeed * maxSpeed;
        const float push = a.wallPush;
        const float distance = a.distance;
        for (uint32_t i = begin; i < end; ++i) {
            const uint32_t k = i - begin;
            const float wp = push * pressure[i];
            float ux = (vx[i] + (ax[i] + wx[i] * wp + gx) * dt) * damp;
            float uy = (vy[i] + (ay[i] + wy[i] * wp + gy) * dt) * damp;
            float uz = (vz[i] + (az[i] + wz[i] * wp + gz) * dt) * damp;
            const float speed2 = ux * ux + uy * uy + uz * uz;
            const float limit = speed2 > maxSpeed2 ? maxSpeed / __builtin_sqrtf(speed2) : 1.0f;
            const float x1 = x[i] + ux * limit * dt;
            const float y1 = y[i] + uy * limit * dt;
            const float z1 = z[i] + uz * limit * dt;
            end1[k] = x1;
            end1[C + k] = y1;
            end1[2 * C + k] = z1;
            end1[3 * C + k] =
                distance + 1e-3f +
                1e-5f * (__builtin_fabsf(x[i]) + __builtin_fabsf(y[i]) + __builtin_fabsf(z[i]));
            box[k] = x[i] < x1 ? x[i] : x1;
            box[C + k] = y[i] < y1 ? y[i] : y1;
            box[2 * C + k] = z[i] < z1 ? z[i] : z1;
            box[3 * C + k] = x[i] < x1 ? x1 : x[i];
            box[4 * C + k] = y[i] < y1 ? y1 : y[i];
            box[5 * C + k] = z[i] < z1 ? z1 : z[i];
        }
    }

    static void insideLoop(const float* __restrict end1, float* __restrict margin,
                           const nxsdk::ShapeRecord plane, float distance, uint32_t n) {
        constexpr uint32_t C = nxsdk::kPathChunk;
        const float d = plane.d + distance;
        for (uint32_t k = 0; k < n; ++k) {
            const float sd =
                plane.a * end1[k] + plane.b * end1[C + k] + plane.c * end1[2 * C + k] - d;
            margin[k] += sd < 0.0f ? -3.0f * sd : 0.0f;
        }
    }

    static void growLoop(float* __restrict box, const float* __restrict margin, uint32_t n) {
        constexpr uint32_t C = nxsdk::kPathChunk;
        for (uint32_t k = 0; k < n; ++k) {
            box[k] -= margin[k];
            box[C + k] -= margin[k];
            box[2 * C + k] -= margin[k];
            box[3 * C + k] += margin[k];
            box[4 * C + k] += margin[k];
            box[5 * C + k] += margin[k];
        }
    }

    static void pathBoxes(const nxsdk::PlaneIntegrationArgs& a, float* box, float* scratch,
                          uint32_t begin, uint32_t end) {
        constexpr uint32_t C = nxsdk::kPathChunk;
        pathLoop(a.x, a.y, a.z, a.vx, a.vy, a.vz, a.ax, a.ay, a.az, a.wx, a.wy, a.wz, a.pressure,
                 box, scratch, a, begin, end);
        for (uint32_t k = 0; k < a.planeCount; ++k)
            insideLoop(scratch, scratch + 3 * C, a.planes[k], a.distance, end - begin);
        growLoop(box, scratch + 3 * C, end - begin);
    }

    static void integratePlanes(const nxsdk::PlaneIntegrationArgs& a, uint32_t begin,
                                uint32_t end) {
        if (a.skip)
            integratePlanesT<true>(a, begin, end);
        else
            integratePlanesT<false>(a, begin, end);
    }
};
