#pragma once
// The OpenCL C source of the device fluid solver, built once per hardware scene. The
// physics is the CPU solver's (sph_kernels.h, sph_passes_impl.h, fluid_integrate.cpp,
// shape_collision.cpp): the same kernels, constants, clamps and contact response.
//
// Particles live in float4 arrays: position with the remaining life in w (+inf for
// immortal), velocity with the density in w (written by the integration for the hand-over).
// The neighbour search is a counting sort by hashed cell: each particle takes its cell's
// hash and a rank inside it, a scan turns the counts into starts, and a scatter puts each
// cell's particles together. The dead take a bucket past the last hash, so the sort also
// sweeps them to the end, and the start of that bucket is the count of the living: the
// kernels after the sort read it there, so the host never waits for it. They are launched
// for every slot and the work-items past the living return at once. The density and force
// passes, which hold nearly all the time of a step, take the slot count instead: the few
// that died this step belong to no cell, so they are nobody's neighbour, and their own
// results are never read; that costs less than every work-item of the two reading the
// count (measured on PoCL). A particle visits each
// distinct bucket of its 27 neighbour cells once; particles of far cells sharing a bucket
// fail the distance test.
//
// The scan runs over many work groups: each scans a block of SCAN_ITEMS entries per
// work-item in local memory and leaves the block's total, one group scans those totals, and
// every entry then adds its block's offset.

namespace nxsdk {

inline constexpr const char* kClFluidSource = R"CLC(
typedef struct {
    float dt, h, h2, invCell;
    float densityCoef, selfDensity, pressureCoef, viscosityCoef;
    float restDensity, stiffness, maxExcess, wallPush;
    float gx, gy, gz, damp;
    float maxSpeed, contactDistance, worldLimit, pad0;
    float surface[8];
    float pnx, pny, pnz, pd;
    float bmin[4];
    float bmax[4];
    uint collideStatic, collideDynamic, project, hasBounds;
    uint shapeCount, hashMask, sph, markRemovals;
} StepParams;

#define SHAPE_FLOATS 40
#define SHAPE_PLANE 0
#define SHAPE_SPHERE 1
#define SHAPE_BOX 2
#define TOUCHED_STATIC 1u
#define TOUCHED_DYNAMIC 2u
#define DRAINED 4u
#define SCAN_ITEMS 4

// The particles alive after the sort: the start of the bucket of the dead.
uint liveCount(__global const uint* start, __constant StepParams* P) {
    return start[P->hashMask + 1];
}

int3 cellOf(float4 p, float invCell) {
    return (int3)((int)floor(p.x * invCell), (int)floor(p.y * invCell), (int)floor(p.z * invCell));
}

uint cellHash(int3 c, uint mask) {
    return (((uint)c.x * 73856093u) ^ ((uint)c.y * 19349663u) ^ ((uint)c.z * 83492791u)) & mask;
}

// The distinct buckets of a particle's 27 neighbour cells, into `buckets`; returns how
// many. Two cells that share a hash give one bucket, so no particle is met twice.
int neighbourBuckets(int3 c, uint mask, uint* buckets) {
    int count = 0;
    for (int dz = -1; dz <= 1; ++dz)
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const uint hsh = cellHash(c + (int3)(dx, dy, dz), mask);
                bool seen = false;
                for (int k = 0; k < count && !seen; ++k) seen = buckets[k] == hsh;
                if (!seen) buckets[count++] = hsh;
            }
    return count;
}

__kernel void ageParticles(__global float4* pos, uint n, float dt) {
    const uint i = get_global_id(0);
    if (i >= n) return;
    const float w = pos[i].w;
    if (!isinf(w)) pos[i].w = w - dt;
}

__kernel void cellKeys(__global const float4* pos, uint n, float invCell, uint mask,
                       __global uint* counts, __global uint* key, __global uint* rank) {
    const uint i = get_global_id(0);
    if (i >= n) return;
    const float4 p = pos[i];
    const uint k = p.w > 1e-5f ? cellHash(cellOf(p, invCell), mask) : mask + 1;
    key[i] = k;
    rank[i] = atomic_inc(&counts[k]);
}

// Inclusive scan of sums[0, size) across the work-items of a group, in place.
void scanGroupSums(__local uint* sums, uint lid, uint size) {
    for (uint off = 1; off < size; off <<= 1) {
        const uint v = lid >= off ? sums[lid - off] : 0u;
        barrier(CLK_LOCAL_MEM_FENCE);
        sums[lid] += v;
        barrier(CLK_LOCAL_MEM_FENCE);
    }
}

// Exclusive scan of data[0, n) in place by one work group; data[n] receives the total.
__kernel void scanOneGroup(__global uint* data, uint n, __local uint* sums) {
    const uint lid = get_local_id(0), size = get_local_size(0);
    const uint per = (n + size - 1) / size;
    const uint b = min(n, lid * per), e = min(n, b + per);
    uint s = 0;
    for (uint k = b; k < e; ++k) s += data[k];
    sums[lid] = s;
    barrier(CLK_LOCAL_MEM_FENCE);
    scanGroupSums(sums, lid, size);
    uint run = sums[lid] - s;
    for (uint k = b; k < e; ++k) {
        const uint v = data[k];
        data[k] = run;
        run += v;
    }
    if (lid == size - 1) data[n] = sums[lid];
}

// Exclusive scan of each block of SCAN_ITEMS * (group size) entries of data[0, n) in place,
// the block's total into blockSums[group]. The block passes through local memory so that
// the global reads and writes stay contiguous across the work-items.
__kernel void scanBlocks(__global uint* data, uint n, __global uint* blockSums,
                         __local uint* tile, __local uint* sums) {
    const uint lid = get_local_id(0), size = get_local_size(0);
    const uint base = get_group_id(0) * size * SCAN_ITEMS;
    for (uint k = 0; k < SCAN_ITEMS; ++k) {
        const uint at = base + k * size + lid;
        tile[k * size + lid] = at < n ? data[at] : 0u;
    }
    barrier(CLK_LOCAL_MEM_FENCE);
    uint s = 0;
    for (uint k = 0; k < SCAN_ITEMS; ++k) s += tile[lid * SCAN_ITEMS + k];
    sums[lid] = s;
    barrier(CLK_LOCAL_MEM_FENCE);
    scanGroupSums(sums, lid, size);
    uint run = sums[lid] - s;
    for (uint k = 0; k < SCAN_ITEMS; ++k) {
        const uint v = tile[lid * SCAN_ITEMS + k];
        tile[lid * SCAN_ITEMS + k] = run;
        run += v;
    }
    barrier(CLK_LOCAL_MEM_FENCE);
    for (uint k = 0; k < SCAN_ITEMS; ++k) {
        const uint at = base + k * size + lid;
        if (at < n) data[at] = tile[k * size + lid];
    }
    if (lid == size - 1) blockSums[get_group_id(0)] = sums[lid];
}

// Adds each block's offset (the scanned block totals) to its entries; data[n] receives the
// total of all `blocks`.
__kernel void addBlockOffsets(__global uint* data, uint n, __global const uint* blockOffsets,
                              uint blockSize, uint blocks) {
    const uint i = get_global_id(0);
    if (i == 0) data[n] = blockOffsets[blocks];
    if (i >= n) return;
    data[i] += blockOffsets[i / blockSize];
}

__kernel void scatterByCell(uint n, __global const uint* key, __global const uint* rank,
                            __global const uint* start, __global const float4* posIn,
                            __global const float4* velIn, __global float4* posOut,
                            __global float4* velOut) {
    const uint i = get_global_id(0);
    if (i >= n) return;
    const uint dst = start[key[i]] + rank[i];
    posOut[dst] = posIn[i];
    velOut[dst] = velIn[i];
}

// Moves the kept particles (flag k = scan[k + 1] - scan[k]) to the front in their order and
// the others after them, so that the first n entries stay whole particles.
__kernel void compactKept(uint n, __global const uint* scan, __global const float4* posIn,
                          __global const float4* velIn, __global float4* posOut,
                          __global float4* velOut) {
    const uint i = get_global_id(0);
    if (i >= n) return;
    const uint dst = scan[i + 1] != scan[i] ? scan[i] : scan[n] + (i - scan[i]);
    posOut[dst] = posIn[i];
    velOut[dst] = velIn[i];
}

float3 shapeT(__global const float* s) { return (float3)(s[13], s[14], s[15]); }
float3 rotate(__global const float* s, float3 v) {
    return (float3)(s[4] * v.x + s[5] * v.y + s[6] * v.z, s[7] * v.x + s[8] * v.y + s[9] * v.z,
                    s[10] * v.x + s[11] * v.y + s[12] * v.z);
}
float3 rotateBack(__global const float* s, float3 v) {
    return (float3)(s[4] * v.x + s[7] * v.y + s[10] * v.z, s[5] * v.x + s[8] * v.y + s[11] * v.z,
                    s[6] * v.x + s[9] * v.y + s[12] * v.z);
}
float3 shapeHalf(__global const float* s) { return (float3)(s[16], s[17], s[18]); }
float3 shapeNormal(__global const float* s) { return (float3)(s[20], s[21], s[22]); }
float axisOf(float3 v, int k) { return k == 0 ? v.x : (k == 1 ? v.y : v.z); }
float3 withAxis(float3 v, int k, float f) {
    if (k == 0) v.x = f; else if (k == 1) v.y = f; else v.z = f;
    return v;
}

void nearestFace(float3 l, float3 e, int* axis, float* side) {
    int a = 0;
    float best = e.x - fabs(l.x);
    for (int k = 1; k < 3; ++k) {
        const float depth = axisOf(e, k) - fabs(axisOf(l, k));
        if (depth < best) { best = depth; a = k; }
    }
    *axis = a;
    *side = axisOf(l, a) < 0.0f ? -1.0f : 1.0f;
}

void surfaceDistance(__global const float* s, float3 p, float* distance, float3* normal) {
    const int type = (int)s[0];
    if (type == SHAPE_PLANE) {
        *distance = fmax(0.0f, dot(shapeNormal(s), p) - s[19]);
        *normal = shapeNormal(s);
    } else if (type == SHAPE_SPHERE) {
        const float3 f = p - shapeT(s);
        const float len = length(f);
        *distance = fmax(0.0f, len - s[3]);
        *normal = len > 1e-6f ? f * (1.0f / len) : (float3)(0.0f, 1.0f, 0.0f);
    } else {
        const float3 l = rotateBack(s, p - shapeT(s));
        const float3 e = shapeHalf(s);
        float3 nl = l - clamp(l, -e, e);
        const float d = length(nl);
        if (d > 0.0f) {
            nl *= 1.0f / d;
        } else {
            int axis; float side;
            nearestFace(l, e, &axis, &side);
            nl = withAxis((float3)(0.0f), axis, side);
        }
        *distance = d;
        *normal = rotate(s, nl);
    }
}

__kernel void wallDensity(__global const uint* start, __global const float4* pos,
                          __global const float* shapes, __constant StepParams* P,
                          __global float4* wall) {
    const uint i = get_global_id(0);
    if (i >= liveCount(start, P)) return;
    const float3 p = pos[i].xyz;
    const float invH = 1.0f / P->h;
    const float densityScale = P->restDensity * (315.0f / 256.0f);
    const float gradientScale = 30.0f * invH;
    const float p1 = 1.0f - 4.0f / 3.0f + 6.0f / 5.0f - 4.0f / 7.0f + 1.0f / 9.0f;
    float4 w = (float4)(0.0f);
    for (uint k = 0; k < P->shapeCount; ++k) {
        __global const float* s = shapes + SHAPE_FLOATS * k;
        const bool onBody = s[1] != 0.0f;
        if ((onBody ? !P->collideDynamic : !P->collideStatic) || s[2] != 0.0f) continue;
        float d; float3 nrm;
        surfaceDistance(s, p, &d, &nrm);
        if (d >= P->h) continue;
        const float t = clamp(d * invH, 0.0f, 1.0f);
        const float t2 = t * t;
        const float poly =
            t * (1.0f + t2 * (-4.0f / 3.0f + t2 * (6.0f / 5.0f + t2 * (-4.0f / 7.0f + t2 * (1.0f / 9.0f)))));
        const float u = 1.0f - t;
        const float u4 = u * u * u * u;
        const float g = gradientScale * u4 * (0.25f - 0.2f * u);
        w += (float4)(densityScale * (p1 - poly), nrm * g);
    }
    wall[i] = w;
}

// The neighbour loop of the density and force passes: runs the block given after pi (a
// float4) for every particle j in the distinct buckets of the 27 cells around pi, with
// d = pi - x_j and r2 = |d|^2 set. Particles of far cells that share a bucket are met too,
// so the block tests r2 against the kernel radius. Reads pos, start and P of the caller.
#define FOR_EACH_NEIGHBOUR(pi, ...)                                                  \
    {                                                                                \
        uint buckets_[27];                                                           \
        const int bucketCount_ =                                                     \
            neighbourBuckets(cellOf(pi, P->invCell), P->hashMask, buckets_);         \
        for (int b_ = 0; b_ < bucketCount_; ++b_) {                                  \
            const uint end_ = start[buckets_[b_] + 1];                               \
            for (uint j = start[buckets_[b_]]; j < end_; ++j) {                      \
                const float3 d = pi.xyz - pos[j].xyz;                                \
                const float r2 = dot(d, d);                                          \
                __VA_ARGS__                                                          \
            }                                                                        \
        }                                                                            \
    }

__kernel void densityPass(uint n, __global const float4* pos, __global const uint* start,
                          __global const float4* wall, __constant StepParams* P,
                          __global float4* dens) {
    const uint i = get_global_id(0);
    if (i >= n) return;
    const float4 pi = pos[i];
    const float h2 = P->h2;
    float sum = 0.0f;
    FOR_EACH_NEIGHBOUR(pi, {
        if (r2 < h2) {
            const float q = h2 - r2;
            sum += q * q * q;
        }
    })
    float rho = P->densityCoef * sum + wall[i].x;
    if (!(rho >= P->selfDensity)) rho = P->selfDensity;
    const float excess = clamp(rho - P->restDensity, 0.0f, P->maxExcess);
    const float inv = 1.0f / rho;
    dens[i] = (float4)(rho, P->stiffness * excess * inv * inv, inv, 0.0f);
}

__kernel void forcePass(uint n, __global const float4* pos, __global const float4* vel,
                        __global const uint* start, __global const float4* dens,
                        __constant StepParams* P, __global float4* acc) {
    const uint i = get_global_id(0);
    if (i >= n) return;
    const float4 pi = pos[i];
    const float presI = dens[i].y;
    const float h = P->h, h2 = P->h2;
    const float tiny = h2 * 1e-8f;
    float3 ap = (float3)(0.0f), av = (float3)(0.0f);
    float wsum = 0.0f;
    FOR_EACH_NEIGHBOUR(pi, {
        if (r2 < h2 && r2 > tiny) {
            const float rinv = rsqrt(r2);
            const float q = h - r2 * rinv;
            const float4 dj = dens[j];
            ap += d * ((presI + dj.y) * q * q * rinv);
            const float w = q * dj.z;
            av += vel[j].xyz * w;
            wsum += w;
        }
    })
    float visc = P->viscosityCoef * dens[i].z;
    if (visc * wsum * P->dt > 0.5f) visc = 0.5f / (wsum * P->dt);
    acc[i] = (float4)(P->pressureCoef * ap + visc * (av - vel[i].xyz * wsum), 0.0f);
}

__kernel void clearForces(__global const uint* start, __constant StepParams* P,
                          __global float4* acc, __global float4* wall, __global float4* dens) {
    const uint i = get_global_id(0);
    if (i >= liveCount(start, P)) return;
    acc[i] = (float4)(0.0f);
    wall[i] = (float4)(0.0f);
    dens[i] = (float4)(P->restDensity, 0.0f, 1.0f / P->restDensity, 0.0f);
}

bool segmentMayTouch(__global const float* s, float3 a, float3 b, float dist) {
    if ((int)s[0] == SHAPE_PLANE) return true;
    const float3 lo = fmin(a, b), hi = fmax(a, b);
    return lo.x <= s[35] + dist && hi.x >= s[32] - dist && lo.y <= s[36] + dist &&
           hi.y >= s[33] - dist && lo.z <= s[37] + dist && hi.z >= s[34] - dist;
}

bool resolvePlane(__global const float* s, float dist, float3* p, float3* n) {
    const float sd = dot(shapeNormal(s), *p) - s[19] - dist;
    if (!(sd < 0.0f)) return false;
    *p -= shapeNormal(s) * sd;
    *n = shapeNormal(s);
    return true;
}

bool resolveSphere(__global const float* s, float dist, bool path, float3 from, float3* p,
                   float3* n) {
    const float3 c = shapeT(s);
    const float R = s[3] + dist;
    if (path) {
        const float3 f = from - c;
        const float3 seg = *p - from;
        const float A = dot(seg, seg);
        const float C = dot(f, f) - R * R;
        if (C >= 0.0f) {
            if (A <= 0.0f) return false;
            const float B = 2.0f * dot(f, seg);
            const float disc = B * B - 4.0f * A * C;
            if (disc < 0.0f) return false;
            const float t = (-B - sqrt(disc)) / (2.0f * A);
            if (!(t >= 0.0f && t <= 1.0f)) return false;
            const float3 m = (f + seg * t) * (1.0f / R);
            const float len = length(m);
            *n = len > 0.0f ? m * (1.0f / len) : (float3)(1.0f, 0.0f, 0.0f);
            *p = c + *n * R;
            return true;
        }
    }
    const float3 f = *p - c;
    const float d2 = dot(f, f);
    if (!(d2 < R * R)) return false;
    const float len = sqrt(d2);
    *n = len > 1e-6f * R ? f * (1.0f / len) : (float3)(0.0f, 1.0f, 0.0f);
    *p = c + *n * R;
    return true;
}

bool insideBox(float3 l, float3 e) {
    return fabs(l.x) < e.x && fabs(l.y) < e.y && fabs(l.z) < e.z;
}

bool resolveBox(__global const float* s, float dist, bool path, float3 from, float3* p,
                float3* n) {
    const float3 e = shapeHalf(s) + (float3)(dist);
    float3 pl = rotateBack(s, *p - shapeT(s));
    int axis = -1;
    float side = 0.0f;
    if (path) {
        const float3 al = rotateBack(s, from - shapeT(s));
        if (insideBox(al, e)) {
            if (!insideBox(pl, e)) return false;
            nearestFace(al, e, &axis, &side);
        } else {
            const float3 seg = pl - al;
            float t0 = 0.0f, t1 = 1.0f;
            for (int k = 0; k < 3; ++k) {
                const float sk = axisOf(seg, k), ak = axisOf(al, k), ek = axisOf(e, k);
                if (fabs(sk) < 1e-12f) {
                    if (fabs(ak) > ek) return false;
                    continue;
                }
                const float inv = 1.0f / sk;
                float ta = (-ek - ak) * inv;
                float tb = (ek - ak) * inv;
                if (ta > tb) { const float tmp = ta; ta = tb; tb = tmp; }
                if (ta >= t0) {
                    t0 = ta;
                    axis = k;
                    side = sk > 0.0f ? -1.0f : 1.0f;
                }
                t1 = fmin(t1, tb);
                if (t0 > t1) return false;
            }
            if (axis < 0) return false;
            pl = al + seg * t0;
        }
    } else {
        if (!insideBox(pl, e)) return false;
        nearestFace(pl, e, &axis, &side);
    }
    pl = withAxis(pl, axis, side * axisOf(e, axis));
    *p = rotate(s, pl) + shapeT(s);
    *n = rotate(s, withAxis((float3)(0.0f), axis, side));
    return true;
}

float3 contactResponse(__constant const float* r, float3 n, float3 v, float vn, float3 sv) {
    const float3 t = v - n * vn;
    const float slide = length(t);
    const float brake = slide <= r[2] * -vn ? 0.0f : r[1];
    const float bounce = -vn > r[3] ? r[0] : 0.0f;
    return sv + t * brake - n * (bounce * vn);
}

uint collideParticle(__global const float* shapes, __constant StepParams* P, float3 from,
                     float3* to, float3* v) {
    const uint count = P->shapeCount;
    const float dist = P->contactDistance;
    uint contact = 0;
    bool offPlane = false;
    for (int round = 0; round < 3; ++round) {
        int touched = 0;
        for (uint k = 0; k < count; ++k) {
            __global const float* s = shapes + SHAPE_FLOATS * k;
            const bool onBody = s[1] != 0.0f;
            if (onBody ? !P->collideDynamic : !P->collideStatic) continue;
            if (!segmentMayTouch(s, round == 0 ? from : *to, *to, dist)) continue;
            const int type = (int)s[0];
            float3 n;
            bool hit = false;
            if (type == SHAPE_PLANE)
                hit = resolvePlane(s, dist, to, &n);
            else if (type == SHAPE_SPHERE)
                hit = resolveSphere(s, dist, round == 0, from, to, &n);
            else if (type == SHAPE_BOX)
                hit = resolveBox(s, dist, round == 0, from, to, &n);
            if (!hit) continue;
            ++touched;
            offPlane = offPlane || type != SHAPE_PLANE;
            if (s[2] != 0.0f) return contact | DRAINED;
            contact |= onBody ? TOUCHED_DYNAMIC : TOUCHED_STATIC;
            float3 vs = (float3)(0.0f);
            if (onBody)
                vs = (float3)(s[23], s[24], s[25]) +
                     cross((float3)(s[26], s[27], s[28]), *to - (float3)(s[29], s[30], s[31]));
            const float3 vr = *v - vs;
            const float vn = dot(vr, n);
            if (vn >= 0.0f) continue;
            *v = contactResponse(P->surface + (onBody ? 4 : 0), n, vr, vn, vs);
        }
        if (touched == 0 || count == 1) break;
    }
    if (offPlane) {
        for (uint k = 0; k < count; ++k) {
            __global const float* s = shapes + SHAPE_FLOATS * k;
            float3 n;
            if ((int)s[0] == SHAPE_PLANE && s[1] == 0.0f && P->collideStatic && s[2] == 0.0f &&
                resolvePlane(s, dist, to, &n)) {
                const float vn = dot(*v, n);
                if (vn < 0.0f) *v -= n * vn;
            }
        }
    }
    return contact;
}

bool finite3(float3 v) { return isfinite(v.x) && isfinite(v.y) && isfinite(v.z); }

// Steps the living; where removals are marked, every slot up to `slots` gets its keep flag
// (the dead none) and a removed particle loses its life, so that it counts as dead
// wherever it is left.
__kernel void integrate(uint slots, __global const uint* start, __global float4* pos,
                        __global float4* vel, __global const float4* acc,
                        __global const float4* wall, __global const float4* dens,
                        __global const float* shapes, __constant StepParams* P,
                        __global uint* keep, __global uint* removed) {
    const uint i = get_global_id(0);
    if (i >= slots) return;
    if (i >= liveCount(start, P)) {
        if (P->markRemovals) keep[i] = 0u;
        return;
    }
    const float dt = P->dt;
    const float4 p0 = pos[i];
    const float3 x0 = p0.xyz;
    float3 v = vel[i].xyz;
    const float4 di = dens[i];
    float3 a = acc[i].xyz;
    if (P->sph) a += wall[i].yzw * (P->wallPush * di.y);
    v += (a + (float3)(P->gx, P->gy, P->gz)) * dt;
    v *= P->damp;
    const float speed2 = dot(v, v);
    if (speed2 > P->maxSpeed * P->maxSpeed) v *= P->maxSpeed / sqrt(speed2);
    if (!finite3(v)) v = (float3)(0.0f);
    float3 x1 = x0 + v * dt;
    const uint c = collideParticle(shapes, P, x0, &x1, &v);
    if (P->project) {
        const float3 pn = (float3)(P->pnx, P->pny, P->pnz);
        x1 -= pn * (dot(pn, x1) - P->pd);
        v -= pn * dot(pn, v);
    }
    x1 = clamp(x1, -P->worldLimit, P->worldLimit);
    if (!finite3(x1) || !finite3(v)) {
        x1 = x0;
        v = (float3)(0.0f);
    }
    bool kept = (c & DRAINED) == 0;
    if (P->hasBounds &&
        !(x1.x >= P->bmin[0] && x1.x <= P->bmax[0] && x1.y >= P->bmin[1] && x1.y <= P->bmax[1] &&
          x1.z >= P->bmin[2] && x1.z <= P->bmax[2]))
        kept = false;
    if (P->markRemovals) {
        keep[i] = kept ? 1u : 0u;
        if (!kept) atomic_inc(removed);
    }
    pos[i] = (float4)(x1, P->markRemovals && !kept ? 0.0f : p0.w);
    vel[i] = (float4)(v, P->sph ? di.x : P->restDensity);
}
)CLC";

}  // namespace nxsdk
