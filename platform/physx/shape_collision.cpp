#include "platform/physx/shape_collision.h"

#include <algorithm>
#include <cmath>

namespace nxsdk {

namespace {

// Three rounds settle a particle caught where shapes meet (a sphere resting in the ground):
// the first follows its path, the others only push it out of whatever it still sits in.
constexpr int kRounds = 3;

bool segmentMayTouch(const CollisionShape& s, const NxVec3& a, const NxVec3& b, float dist) {
    if (s.type == NX_SHAPE_PLANE) return true;
    return std::min(a.x, b.x) <= s.boundsMax.x + dist &&
           std::max(a.x, b.x) >= s.boundsMin.x - dist &&
           std::min(a.y, b.y) <= s.boundsMax.y + dist &&
           std::max(a.y, b.y) >= s.boundsMin.y - dist &&
           std::min(a.z, b.z) <= s.boundsMax.z + dist && std::max(a.z, b.z) >= s.boundsMin.z - dist;
}

bool resolvePlane(const CollisionShape& s, float dist, NxVec3& p, NxVec3& n) {
    const float sd = s.normal.dot(p) - s.d - dist;
    if (!(sd < 0.0f)) return false;
    p -= s.normal * sd;
    n = s.normal;
    return true;
}

bool resolveSphere(const CollisionShape& s, float dist, const NxVec3* from, NxVec3& p, NxVec3& n) {
    const NxVec3 c = s.pose.t;
    const float R = s.radius + dist;
    if (from) {
        // First contact along the path, when the path starts outside.
        const NxVec3 f = *from - c;
        const NxVec3 seg = p - *from;
        const float A = seg.dot(seg);
        const float C = f.dot(f) - R * R;
        if (C >= 0.0f) {
            if (A <= 0.0f) return false;
            const float B = 2.0f * f.dot(seg);
            const float disc = B * B - 4.0f * A * C;
            if (disc < 0.0f) return false;
            const float t = (-B - std::sqrt(disc)) / (2.0f * A);
            if (!(t >= 0.0f && t <= 1.0f)) return false;
            n = (f + seg * t) * (1.0f / R);
            n.normalize();
            p = c + n * R;
            return true;
        }
    }
    const NxVec3 f = p - c;
    const float d2 = f.dot(f);
    if (!(d2 < R * R)) return false;
    const float len = std::sqrt(d2);
    n = len > 1e-6f * R ? f * (1.0f / len) : NxVec3(0, 1, 0);
    p = c + n * R;
    return true;
}

// The face of the box (grown by e) nearest to the local point l: its axis and side.
void nearestFace(const NxVec3& l, const NxVec3& e, int& axis, float& side) {
    axis = 0;
    float best = e.x - std::fabs(l.x);
    for (int k = 1; k < 3; ++k) {
        const float depth = e[k] - std::fabs(l[k]);
        if (depth < best) {
            best = depth;
            axis = k;
        }
    }
    side = l[axis] < 0.0f ? -1.0f : 1.0f;
}

bool insideBox(const NxVec3& l, const NxVec3& e) {
    return std::fabs(l.x) < e.x && std::fabs(l.y) < e.y && std::fabs(l.z) < e.z;
}

bool resolveBox(const CollisionShape& s, float dist, const NxVec3* from, NxVec3& p, NxVec3& n) {
    const NxVec3 e = s.halfExtents + NxVec3(dist);
    NxVec3 pl = s.pose.M.multiplyByTranspose(p - s.pose.t);
    int axis = -1;
    float side = 0.0f;
    if (from) {
        const NxVec3 al = s.pose.M.multiplyByTranspose(*from - s.pose.t);
        if (insideBox(al, e)) {
            // It starts on (or in) the box, typically resting against a face: it leaves
            // through the face it is at, never through another (the one on the ground).
            if (!insideBox(pl, e)) return false;
            nearestFace(al, e, axis, side);
        } else {
            // Slab test of the path against the grown box: the first face it crosses.
            const NxVec3 seg = pl - al;
            float t0 = 0.0f, t1 = 1.0f;
            for (int k = 0; k < 3; ++k) {
                if (std::fabs(seg[k]) < 1e-12f) {
                    if (std::fabs(al[k]) > e[k]) return false;
                    continue;
                }
                const float inv = 1.0f / seg[k];
                float ta = (-e[k] - al[k]) * inv;
                float tb = (e[k] - al[k]) * inv;
                if (ta > tb) std::swap(ta, tb);
                if (ta >= t0) {
                    t0 = ta;
                    axis = k;
                    side = seg[k] > 0.0f ? -1.0f : 1.0f;
                }
                t1 = std::min(t1, tb);
                if (t0 > t1) return false;
            }
            if (axis < 0) return false;
            pl = al + seg * t0;
        }
    } else {
        if (!insideBox(pl, e)) return false;
        nearestFace(pl, e, axis, side);
    }
    pl[axis] = side * e[axis];
    NxVec3 nl(0, 0, 0);
    nl[axis] = side;
    p = s.pose * pl;
    n = s.pose.M * nl;
    return true;
}

}  // namespace

uint32_t shapesNear(const CollisionShape* shapes, uint32_t count, NxVec3 lo, NxVec3 hi, float reach,
                    CollisionShape* out, uint32_t capacity) {
    lo -= NxVec3(reach);
    hi += NxVec3(reach);
    uint32_t n = 0;
    for (uint32_t k = 0; k < count; ++k) {
        const CollisionShape& c = shapes[k];
        bool near;
        if (c.type == NX_SHAPE_PLANE) {
            // The corner of the box deepest on the solid side.
            const NxVec3 deepest(c.normal.x >= 0.0f ? lo.x : hi.x, c.normal.y >= 0.0f ? lo.y : hi.y,
                                 c.normal.z >= 0.0f ? lo.z : hi.z);
            near = c.normal.dot(deepest) <= c.d;
        } else {
            near = !(c.boundsMin.x > hi.x || c.boundsMax.x < lo.x || c.boundsMin.y > hi.y ||
                     c.boundsMax.y < lo.y || c.boundsMin.z > hi.z || c.boundsMax.z < lo.z);
        }
        if (!near) continue;
        if (n < capacity) out[n] = c;
        ++n;
    }
    return n;
}

void surfaceDistance(const CollisionShape& s, const NxVec3& p, float& distance, NxVec3& normal) {
    switch (s.type) {
        case NX_SHAPE_PLANE:
            distance = std::max(0.0f, s.normal.dot(p) - s.d);
            normal = s.normal;
            return;
        case NX_SHAPE_SPHERE: {
            const NxVec3 f = p - s.pose.t;
            const float len = f.magnitude();
            distance = std::max(0.0f, len - s.radius);
            normal = len > 1e-6f ? f * (1.0f / len) : NxVec3(0, 1, 0);
            return;
        }
        case NX_SHAPE_BOX: {
            const NxVec3 l = s.pose.M.multiplyByTranspose(p - s.pose.t);
            NxVec3 q;
            for (int k = 0; k < 3; ++k)
                q[k] = std::clamp(l[k], -s.halfExtents[k], s.halfExtents[k]);
            NxVec3 nl = l - q;
            distance = nl.normalize();
            if (distance <= 0.0f) {
                int axis;
                float side;
                nearestFace(l, s.halfExtents, axis, side);
                nl = NxVec3(0, 0, 0);
                nl[axis] = side;
            }
            normal = s.pose.M * nl;
            return;
        }
        default:
            distance = 1e30f;
            normal = NxVec3(0, 1, 0);
    }
}

uint32_t collideParticle(const CollisionShape* shapes, uint32_t shapeCount,
                         const ParticleContactParams& params, const NxVec3& from, NxVec3& to,
                         NxVec3& v, float mass, BodyPush* pushes, NxVec3& normal) {
    uint32_t contact = 0;
    const float dist = params.distance;
    bool offPlane = false;  // a sphere or a box moved the particle
    for (int round = 0; round < kRounds; ++round) {
        int touched = 0;
        for (uint32_t k = 0; k < shapeCount; ++k) {
            const CollisionShape& s = shapes[k];
            if (s.onBody ? !params.collideDynamic : !params.collideStatic) continue;
            const NxVec3& start = round == 0 ? from : to;
            if (!segmentMayTouch(s, start, to, dist)) continue;
            NxVec3 n;
            bool hit = false;
            switch (s.type) {
                case NX_SHAPE_PLANE:
                    hit = resolvePlane(s, dist, to, n);
                    break;
                case NX_SHAPE_SPHERE:
                    hit = resolveSphere(s, dist, round == 0 ? &from : nullptr, to, n);
                    break;
                case NX_SHAPE_BOX:
                    hit = resolveBox(s, dist, round == 0 ? &from : nullptr, to, n);
                    break;
                default:
                    break;
            }
            if (!hit) continue;
            ++touched;
            offPlane = offPlane || s.type != NX_SHAPE_PLANE;
            if (s.drain) return contact | kDrained;
            contact |= s.onBody ? kTouchedDynamic : kTouchedStatic;
            normal = n;

            // The response to the velocity relative to the surface point.
            NxVec3 vs(0, 0, 0);
            if (s.onBody) vs = s.linearVelocity + s.angularVelocity.cross(to - s.centreOfMass);
            const NxVec3 vr = v - vs;
            const float vn = vr.dot(n);
            if (vn >= 0.0f) continue;
            const ParticleVelocity u = contactResponse(params.surface[s.onBody ? 1 : 0], n.x, n.y,
                                                       n.z, vr.x, vr.y, vr.z, vn, vs.x, vs.y, vs.z);
            const NxVec3 vNew(u.x, u.y, u.z);
            if (s.body != kNoBody && pushes) {
                const NxVec3 dp = (vNew - v) * mass;
                pushes[s.body].linear -= dp;
                pushes[s.body].angular -= (to - s.centreOfMass).cross(dp);
            }
            v = vNew;
        }
        // Done when nothing was touched, or when the only shape there is let it go: moving
        // out of one shape cannot put it into another that is not there.
        if (touched == 0 || shapeCount == 1) break;
    }
    // Where a shape meets a plane (a sphere sunk into the ground) the rounds can leave a
    // particle a hair inside one of them; the planes, bounding the world, get the last word.
    if (offPlane) {
        for (uint32_t k = 0; k < shapeCount; ++k) {
            NxVec3 n;
            if (shapes[k].type == NX_SHAPE_PLANE && !shapes[k].onBody && params.collideStatic &&
                !shapes[k].drain && resolvePlane(shapes[k], dist, to, n)) {
                const float vn = v.dot(n);
                if (vn < 0.0f) v -= n * vn;
            }
        }
    }
    return contact;
}

}  // namespace nxsdk
