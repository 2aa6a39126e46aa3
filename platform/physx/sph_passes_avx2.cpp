// The pair passes for processors with AVX2 and FMA (8 lanes). Built with -mavx2 -mfma;
// called only after the processor said it runs them.

#include <immintrin.h>

#include "platform/physx/sph_passes.h"

namespace nxsdk {
namespace {

// For each 8-bit lane mask, the lanes to pick in order, one per 4-bit nibble.
struct CompressTable {
    uint32_t lanes[256];
    constexpr CompressTable() : lanes() {
        for (uint32_t m = 0; m < 256; ++m) {
            uint32_t packed = 0, k = 0;
            for (uint32_t lane = 0; lane < 8; ++lane)
                if (m & (1u << lane)) packed |= lane << (4 * k++);
            lanes[m] = packed;
        }
    }
};
constexpr CompressTable kCompress;

struct Avx2 {
    static constexpr int W = 8;
    using V = __m256;
    using M = __m256;
    static V zero() { return _mm256_setzero_ps(); }
    static V set1(float f) { return _mm256_set1_ps(f); }
    static V load(const float* p) { return _mm256_loadu_ps(p); }
    static V add(V a, V b) { return _mm256_add_ps(a, b); }
    static V sub(V a, V b) { return _mm256_sub_ps(a, b); }
    static V mul(V a, V b) { return _mm256_mul_ps(a, b); }
    static V fmadd(V a, V b, V c) { return _mm256_fmadd_ps(a, b, c); }
    static V fnmadd(V a, V b, V c) { return _mm256_fnmadd_ps(a, b, c); }
    static void store(float* p, V v) { _mm256_storeu_ps(p, v); }
    static V minv(V a, V b) { return _mm256_min_ps(a, b); }
    static V maxv(V a, V b) { return _mm256_max_ps(a, b); }
    static M lt(V a, V b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
    static M gt(V a, V b) { return _mm256_cmp_ps(a, b, _CMP_GT_OQ); }
    static M andMask(M a, M b) { return _mm256_and_ps(a, b); }
    static M firstLanes(int n) {
        const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
        return _mm256_castsi256_ps(_mm256_cmpgt_epi32(_mm256_set1_epi32(n), lane));
    }
    static V maskAdd(V acc, M m, V v) { return _mm256_add_ps(acc, _mm256_and_ps(m, v)); }
    static V maskFmadd(V acc, M m, V a, V b) {
        return _mm256_fmadd_ps(_mm256_and_ps(m, a), b, acc);
    }
    static V rsqrt(V v) { return _mm256_rsqrt_ps(v); }
    static float hsum(V v) {
        __m128 s = _mm_add_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1));
        s = _mm_add_ps(s, _mm_movehl_ps(s, s));
        s = _mm_add_ss(s, _mm_shuffle_ps(s, s, 0x55));
        return _mm_cvtss_f32(s);
    }
    static int countMask(M m) { return __builtin_popcount(unsigned(_mm256_movemask_ps(m))); }
    static unsigned bits(M m) { return unsigned(_mm256_movemask_ps(m)); }
    static M fromBits(unsigned b) {
        const __m256i lane = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
        const __m256i set = _mm256_and_si256(_mm256_set1_epi32(int(b)), lane);
        return _mm256_castsi256_ps(_mm256_cmpeq_epi32(set, lane));
    }
    static void reduce8(const V* v, float* out) {
        const __m256 t01 = _mm256_hadd_ps(v[0], v[1]), t23 = _mm256_hadd_ps(v[2], v[3]);
        const __m256 t45 = _mm256_hadd_ps(v[4], v[5]), t67 = _mm256_hadd_ps(v[6], v[7]);
        const __m256 u0 = _mm256_hadd_ps(t01, t23), u1 = _mm256_hadd_ps(t45, t67);
        const __m256 r = _mm256_add_ps(_mm256_permute2f128_ps(u0, u1, 0x20),
                                       _mm256_permute2f128_ps(u0, u1, 0x31));
        _mm256_storeu_ps(out, r);
    }
    static void compress(float* dst, M m, V v) {
        const __m256i nibbles = _mm256_set1_epi32(int(kCompress.lanes[_mm256_movemask_ps(m)]));
        const __m256i shifts = _mm256_setr_epi32(0, 4, 8, 12, 16, 20, 24, 28);
        const __m256i idx =
            _mm256_and_si256(_mm256_srlv_epi32(nibbles, shifts), _mm256_set1_epi32(7));
        _mm256_storeu_ps(dst, _mm256_permutevar8x32_ps(v, idx));
    }
};

#include "platform/physx/particle_loops_impl.h"
#include "platform/physx/sph_passes_impl.h"

}  // namespace

SphPassSet sphPassesAvx2() {
    return {"avx2",
            &SphPassesT<Avx2>::density,
            &SphPassesT<Avx2>::forces,
            &ParticleLoops::wallPlane,
            &ParticleLoops::wallSphere,
            &ParticleLoops::integratePlanes,
            &ParticleLoops::pathBoxes};
}

}  // namespace nxsdk
