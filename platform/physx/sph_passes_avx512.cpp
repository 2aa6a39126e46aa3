// The pair passes for processors with AVX-512 (16 lanes, mask registers). Built with
// -mavx512f -mfma; called only after the processor said it runs them.

#include <immintrin.h>

// GCC 12 reports its own AVX-512 headers (the undefined-vector idiom of the reductions)
// as maybe-uninitialised once they are inlined here.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif

#include "platform/physx/sph_passes.h"

namespace nxsdk {
namespace {

struct Avx512 {
    static constexpr int W = 16;
    using V = __m512;
    using M = __mmask16;
    static V zero() { return _mm512_setzero_ps(); }
    static V set1(float f) { return _mm512_set1_ps(f); }
    static V load(const float* p) { return _mm512_loadu_ps(p); }
    static V add(V a, V b) { return _mm512_add_ps(a, b); }
    static V sub(V a, V b) { return _mm512_sub_ps(a, b); }
    static V mul(V a, V b) { return _mm512_mul_ps(a, b); }
    static V fmadd(V a, V b, V c) { return _mm512_fmadd_ps(a, b, c); }
    static V fnmadd(V a, V b, V c) { return _mm512_fnmadd_ps(a, b, c); }
    static void store(float* p, V v) { _mm512_storeu_ps(p, v); }
    static V minv(V a, V b) { return _mm512_min_ps(a, b); }
    static V maxv(V a, V b) { return _mm512_max_ps(a, b); }
    static M lt(V a, V b) { return _mm512_cmp_ps_mask(a, b, _CMP_LT_OQ); }
    static M gt(V a, V b) { return _mm512_cmp_ps_mask(a, b, _CMP_GT_OQ); }
    static M andMask(M a, M b) { return M(a & b); }
    static M firstLanes(int n) { return M((1u << n) - 1u); }
    static V maskAdd(V acc, M m, V v) { return _mm512_mask_add_ps(acc, m, acc, v); }
    static V maskFmadd(V acc, M m, V a, V b) { return _mm512_mask3_fmadd_ps(a, b, acc, m); }
    static V rsqrt(V v) { return _mm512_rsqrt14_ps(v); }
    static float hsum(V v) { return _mm512_reduce_add_ps(v); }
    static int countMask(M m) { return __builtin_popcount(unsigned(m)); }
    static unsigned bits(M m) { return unsigned(m); }
    static M fromBits(unsigned b) { return M(b); }
    static void reduce8(const V* v, float* out) {
        // Halves added (16 -> 8 lanes), then a tree of horizontal adds over the eight.
        __m256 y[8];
        for (int k = 0; k < 8; ++k)
            y[k] =
                _mm256_add_ps(_mm512_castps512_ps256(v[k]),
                              _mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(v[k]), 1)));
        const __m256 t01 = _mm256_hadd_ps(y[0], y[1]), t23 = _mm256_hadd_ps(y[2], y[3]);
        const __m256 t45 = _mm256_hadd_ps(y[4], y[5]), t67 = _mm256_hadd_ps(y[6], y[7]);
        const __m256 u0 = _mm256_hadd_ps(t01, t23), u1 = _mm256_hadd_ps(t45, t67);
        const __m256 r = _mm256_add_ps(_mm256_permute2f128_ps(u0, u1, 0x20),
                                       _mm256_permute2f128_ps(u0, u1, 0x31));
        _mm256_storeu_ps(out, r);
    }
    static void compress(float* dst, M m, V v) {
        _mm512_storeu_ps(dst, _mm512_maskz_compress_ps(m, v));
    }
};

#include "platform/physx/particle_loops_impl.h"
#include "platform/physx/sph_passes_impl.h"

}  // namespace

SphPassSet sphPassesAvx512() {
    return {"avx512",
            &SphPassesT<Avx512>::density,
            &SphPassesT<Avx512>::forces,
            &ParticleLoops::wallPlane,
            &ParticleLoops::wallSphere,
            &ParticleLoops::integratePlanes,
            &ParticleLoops::pathBoxes};
}

}  // namespace nxsdk
