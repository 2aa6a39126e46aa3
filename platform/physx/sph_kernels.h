#pragma once
// Smoothing kernels of the particle solver and the constants a fluid derives from its
// descriptor. Plain records and inline functions only: the vector kernels include this from
// translation units built for other instruction sets.

#include <cstdint>

namespace nxsdk {

constexpr float kPi = 3.14159265358979323846f;

/// Poly6 kernel (density): 315 / (64 pi h^9) (h^2 - r^2)^3 inside the radius h.
inline float poly6(float r2, float h) {
    const float h2 = h * h;
    if (r2 >= h2) return 0.0f;
    const float d = h2 - r2;
    const float h9 = h2 * h2 * h2 * h2 * h;
    return 315.0f / (64.0f * kPi * h9) * d * d * d;
}

/// Magnitude of the spiky kernel's gradient: 45 / (pi h^6) (h - r)^2, pointing away from
/// the neighbour.
inline float spikyGradient(float r, float h) {
    if (r >= h) return 0.0f;
    const float d = h - r;
    const float h6 = h * h * h * h * h * h;
    return 45.0f / (kPi * h6) * d * d;
}

/// Laplacian of the viscosity kernel: 45 / (pi h^6) (h - r).
inline float viscosityLaplacian(float r, float h) {
    if (r >= h) return 0.0f;
    const float h6 = h * h * h * h * h * h;
    return 45.0f / (kPi * h6) * (h - r);
}

/// Everything the pair loops need, derived once per step from the fluid's settings.
struct SphConstants {
    float h = 0.0f;            ///< kernel radius, metres
    float h2 = 0.0f;           ///< h squared
    float mass = 0.0f;         ///< particle mass, kg
    float restDensity = 0.0f;  ///< kg/m^3
    /// mass x poly6 normalisation x the lattice calibration: the factor that puts a
    /// particle of a perfect cubic lattice at the rest spacing exactly at rest density.
    float densityCoef = 0.0f;
    float selfDensity = 0.0f;    ///< a particle's own contribution to its density
    float pressureCoef = 0.0f;   ///< mass x 45 / (pi h^6)
    float viscosityCoef = 0.0f;  ///< viscosity x mass x 45 / (pi h^6)
};

}  // namespace nxsdk
