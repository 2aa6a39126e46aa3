// The pair passes for every x86-64 processor (SSE2, 4 lanes), and the choice between the
// versions at run time.

#include <emmintrin.h>

#include "platform/physx/sph_passes.h"

namespace nxsdk {
namespace {

struct Sse2 {
    static constexpr int W = 4;
    using V = __m128;
    using M = __m128;
    static V zero() { return _mm_setzero_ps(); }
    static V set1(float f) { return _mm_set1_ps(f); }
    static V load(const float* p) { return _mm_loadu_ps(p); }
    static V add(V a, V b) { return _mm_add_ps(a, b); }
    static V sub(V a, V b) { return _mm_sub_ps(a, b); }
    static V mul(V a, V b) { return _mm_mul_ps(a, b); }
    static V fmadd(V a, V b, V c) { return _mm_add_ps(_mm_mul_ps(a, b), c); }
    static V fnmadd(V a, V b, V c) { return _mm_sub_ps(c, _mm_mul_ps(a, b)); }
    static void store(float* p, V v) { _mm_storeu_ps(p, v); }
    static V minv(V a, V b) { return _mm_min_ps(a, b); }
    static V maxv(V a, V b) { return _mm_max_ps(a, b); }
    static M lt(V a, V b) { return _mm_cmplt_ps(a, b); }
    static M gt(V a, V b) { return _mm_cmpgt_ps(a, b); }
    static M andMask(M a, M b) { return _mm_and_ps(a, b); }
    static M firstLanes(int n) {
        return _mm_castsi128_ps(_mm_cmpgt_epi32(_mm_set1_epi32(n), _mm_setr_epi32(0, 1, 2, 3)));
    }
    static V maskAdd(V acc, M m, V v) { return _mm_add_ps(acc, _mm_and_ps(m, v)); }
    static V maskFmadd(V acc, M m, V a, V b) {
        return _mm_add_ps(acc, _mm_mul_ps(_mm_and_ps(m, a), b));
    }
    static V rsqrt(V v) { return _mm_rsqrt_ps(v); }
    static float hsum(V v) {
        V s = _mm_add_ps(v, _mm_movehl_ps(v, v));
        s = _mm_add_ss(s, _mm_shuffle_ps(s, s, 0x55));
        return _mm_cvtss_f32(s);
    }
    static int countMask(M m) {
        static constexpr int kBits[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};
        return kBits[_mm_movemask_ps(m)];
    }
    static unsigned bits(M m) { return unsigned(_mm_movemask_ps(m)); }
    static M fromBits(unsigned b) {
        const __m128i lane = _mm_setr_epi32(1, 2, 4, 8);
        const __m128i set = _mm_and_si128(_mm_set1_epi32(int(b)), lane);
        return _mm_castsi128_ps(_mm_cmpeq_epi32(set, lane));
    }
    static void reduce8(const V* v, float* out) {
        for (int k = 0; k < 8; ++k) out[k] = hsum(v[k]);
    }
    static void compress(float* dst, M m, V v) {
        alignas(16) float lanes[4];
        _mm_store_ps(lanes, v);
        const int bits = _mm_movemask_ps(m);
        int k = 0;
        for (int lane = 0; lane < 4; ++lane)
            if (bits & (1 << lane)) dst[k++] = lanes[lane];
    }
};

#include "platform/physx/particle_loops_impl.h"
#include "platform/physx/sph_passes_impl.h"

struct PassTable {
    SphPassSet sets[3];
    int count = 0;
    PassTable() {
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx512f")) sets[count++] = sphPassesAvx512();
        if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"))
            sets[count++] = sphPassesAvx2();
        sets[count++] = {"sse2",
                         &SphPassesT<Sse2>::density,
                         &SphPassesT<Sse2>::forces,
                         &ParticleLoops::wallPlane,
                         &ParticleLoops::wallSphere,
                         &ParticleLoops::integratePlanes,
                         &ParticleLoops::pathBoxes};
    }
};

const PassTable& passTable() {
    static const PassTable table;
    return table;
}

}  // namespace

SphPassSet sphPassesSse2() {
    return passTable().sets[passTable().count - 1];
}

const SphPassSet& sphPasses() {
    return passTable().sets[0];
}

int sphPassSetCount() {
    return passTable().count;
}

const SphPassSet& sphPassSet(int index) {
    const PassTable& t = passTable();
    return t.sets[index < 0 ? 0 : (index >= t.count ? t.count - 1 : index)];
}

}  // namespace nxsdk
