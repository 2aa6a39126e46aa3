#pragma once
// Vectors, colours and 4 x 4 matrices of the engine.
//
// Matrices are stored column by column, as OpenGL loads them: element (row r, column c)
// is m[c * 4 + r]. Angles are degrees at the interface, as the engine's callers give them.

#include <cmath>

namespace Vantorr_nsp {

struct vnVector3 {
    float x = 0.0f, y = 0.0f, z = 0.0f;

    constexpr vnVector3() = default;
    constexpr vnVector3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

    vnVector3 operator+(const vnVector3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    vnVector3 operator-(const vnVector3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    vnVector3 operator*(float s) const { return {x * s, y * s, z * s}; }
    float dot(const vnVector3& o) const { return x * o.x + y * o.y + z * o.z; }
    vnVector3 cross(const vnVector3& o) const {
        return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x};
    }
    float length() const { return std::sqrt(dot(*this)); }
    /// The unit vector of the same direction; the zero vector stays zero.
    vnVector3 normalized() const {
        const float l = length();
        return l > 0.0f ? *this * (1.0f / l) : *this;
    }
};

/// A colour (r, g, b, a) or a homogeneous point.
struct vnColor {
    float r = 0.0f, g = 0.0f, b = 0.0f, a = 1.0f;
    constexpr vnColor() = default;
    constexpr vnColor(float r_, float g_, float b_, float a_) : r(r_), g(g_), b(b_), a(a_) {}
    const float* data() const { return &r; }
};

struct vnMatrix4 {
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

    static vnMatrix4 identity() { return {}; }
    float& at(int row, int col) { return m[col * 4 + row]; }
    float at(int row, int col) const { return m[col * 4 + row]; }
    const float* data() const { return m; }

    vnMatrix4 operator*(const vnMatrix4& o) const {
        vnMatrix4 r;
        for (int c = 0; c < 4; ++c)
            for (int row = 0; row < 4; ++row) {
                float s = 0.0f;
                for (int k = 0; k < 4; ++k) s += at(row, k) * o.at(k, c);
                r.at(row, c) = s;
            }
        return r;
    }
    /// This matrix applied to the point (x, y, z, 1); the result is not divided by w.
    vnColor transform(const vnVector3& p) const {
        return {at(0, 0) * p.x + at(0, 1) * p.y + at(0, 2) * p.z + at(0, 3),
                at(1, 0) * p.x + at(1, 1) * p.y + at(1, 2) * p.z + at(1, 3),
                at(2, 0) * p.x + at(2, 1) * p.y + at(2, 2) * p.z + at(2, 3),
                at(3, 0) * p.x + at(3, 1) * p.y + at(3, 2) * p.z + at(3, 3)};
    }

    /// The general inverse (cofactors); the identity when the matrix is singular.
    vnMatrix4 inverse() const;

    /// A right-handed view matrix looking from eye at target (gluLookAt).
    static vnMatrix4 lookAt(const vnVector3& eye, const vnVector3& target, const vnVector3& up);
    /// A perspective projection (gluPerspective): vertical field of view in degrees.
    static vnMatrix4 perspective(float fov_deg, float aspect, float near_z, float far_z);
    /// An orthographic projection (glOrtho).
    static vnMatrix4 ortho(float left, float right, float bottom, float top, float near_z,
                           float far_z);
    static vnMatrix4 translation(const vnVector3& t);
    /// Maps clip coordinates -1..1 to texture coordinates 0..1 on x, y and z.
    static vnMatrix4 shadowBias();
};

inline constexpr float kDegToRad = 0.017453292f;

}  // namespace Vantorr_nsp
