#pragma once
// Basic types of our physics SDK: scalars, vectors, 3x3 and 3x4 matrices, planes, bounds
// and the small array the descriptors carry.
//
// Contents:
//   scalar types
//   NxVec3
//   NxMat33 (rotation / linear part), NxMat34 (rigid pose)
//   NxPlane, NxBounds3
//   NxArray

#include <cmath>
#include <cstdint>
#include <vector>

using NxU8 = uint8_t;
using NxU16 = uint16_t;
using NxU32 = uint32_t;
using NxI32 = int32_t;
using NxU64 = uint64_t;
using NxReal = float;
using NxF32 = float;
using NxF64 = double;

/// Index of a material within its scene; 0 is the scene's default material.
using NxMaterialIndex = NxU16;

constexpr NxReal NxPi = 3.14159265358979323846f;

/// A 3-component float vector (metres, metres per second, newtons ... as the field says).
class NxVec3 {
  public:
    NxReal x = 0.0f, y = 0.0f, z = 0.0f;

    constexpr NxVec3() = default;
    constexpr NxVec3(NxReal x_, NxReal y_, NxReal z_) : x(x_), y(y_), z(z_) {}
    constexpr explicit NxVec3(NxReal v) : x(v), y(v), z(v) {}

    void set(NxReal x_, NxReal y_, NxReal z_) {
        x = x_;
        y = y_;
        z = z_;
    }
    void zero() { x = y = z = 0.0f; }
    NxReal& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
    NxReal operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }

    constexpr NxVec3 operator+(const NxVec3& v) const { return {x + v.x, y + v.y, z + v.z}; }
    constexpr NxVec3 operator-(const NxVec3& v) const { return {x - v.x, y - v.y, z - v.z}; }
    constexpr NxVec3 operator-() const { return {-x, -y, -z}; }
    constexpr NxVec3 operator*(NxReal s) const { return {x * s, y * s, z * s}; }
    constexpr NxVec3 operator/(NxReal s) const { return {x / s, y / s, z / s}; }
    NxVec3& operator+=(const NxVec3& v) {
        x += v.x;
        y += v.y;
        z += v.z;
        return *this;
    }
    NxVec3& operator-=(const NxVec3& v) {
        x -= v.x;
        y -= v.y;
        z -= v.z;
        return *this;
    }
    NxVec3& operator*=(NxReal s) {
        x *= s;
        y *= s;
        z *= s;
        return *this;
    }
    constexpr bool operator==(const NxVec3& v) const { return x == v.x && y == v.y && z == v.z; }

    constexpr NxReal dot(const NxVec3& v) const { return x * v.x + y * v.y + z * v.z; }
    constexpr NxVec3 cross(const NxVec3& v) const {
        return {y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x};
    }
    constexpr NxReal magnitudeSquared() const { return x * x + y * y + z * z; }
    NxReal magnitude() const { return std::sqrt(magnitudeSquared()); }
    /// Scales to unit length and returns the old length; a zero vector stays zero.
    NxReal normalize() {
        const NxReal m = magnitude();
        if (m > 0.0f) *this *= 1.0f / m;
        return m;
    }
    bool isFinite() const { return std::isfinite(x) && std::isfinite(y) && std::isfinite(z); }
};

inline constexpr NxVec3 operator*(NxReal s, const NxVec3& v) {
    return v * s;
}

/// A 3x3 matrix stored by rows: row r is (m[r][0], m[r][1], m[r][2]).
class NxMat33 {
  public:
    NxReal m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

    NxMat33() = default;
    /// A matrix from its three rows.
    NxMat33(const NxVec3& row0, const NxVec3& row1, const NxVec3& row2) {
        setRow(0, row0);
        setRow(1, row1);
        setRow(2, row2);
    }

    void id() { *this = NxMat33(); }
    void zero() {
        for (auto& r : m) r[0] = r[1] = r[2] = 0.0f;
    }
    void setRow(int r, const NxVec3& v) {
        m[r][0] = v.x;
        m[r][1] = v.y;
        m[r][2] = v.z;
    }
    NxVec3 getRow(int r) const { return {m[r][0], m[r][1], m[r][2]}; }
    void setColumn(int c, const NxVec3& v) {
        m[0][c] = v.x;
        m[1][c] = v.y;
        m[2][c] = v.z;
    }
    NxVec3 getColumn(int c) const { return {m[0][c], m[1][c], m[2][c]}; }

    /// Rotation about the x axis by angle radians (right-handed).
    void rotX(NxReal angle) {
        const NxReal c = std::cos(angle), s = std::sin(angle);
        *this = NxMat33({1, 0, 0}, {0, c, -s}, {0, s, c});
    }
    /// Rotation about the y axis by angle radians (right-handed).
    void rotY(NxReal angle) {
        const NxReal c = std::cos(angle), s = std::sin(angle);
        *this = NxMat33({c, 0, s}, {0, 1, 0}, {-s, 0, c});
    }
    /// Rotation about the z axis by angle radians (right-handed).
    void rotZ(NxReal angle) {
        const NxReal c = std::cos(angle), s = std::sin(angle);
        *this = NxMat33({c, -s, 0}, {s, c, 0}, {0, 0, 1});
    }

    NxMat33 operator*(const NxMat33& b) const {
        NxMat33 r;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                r.m[i][j] = m[i][0] * b.m[0][j] + m[i][1] * b.m[1][j] + m[i][2] * b.m[2][j];
        return r;
    }
    NxVec3 operator*(const NxVec3& v) const {
        return {m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z,
                m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
                m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z};
    }
    /// Transpose times v: the inverse rotation for an orthonormal matrix.
    NxVec3 multiplyByTranspose(const NxVec3& v) const {
        return {m[0][0] * v.x + m[1][0] * v.y + m[2][0] * v.z,
                m[0][1] * v.x + m[1][1] * v.y + m[2][1] * v.z,
                m[0][2] * v.x + m[1][2] * v.y + m[2][2] * v.z};
    }
    NxMat33 getTransposed() const { return NxMat33(getColumn(0), getColumn(1), getColumn(2)); }
    bool isFinite() const {
        for (const auto& r : m)
            for (NxReal v : r)
                if (!std::isfinite(v)) return false;
        return true;
    }
};

/// A rigid pose: rotation M and translation t; a point p maps to M p + t.
class NxMat34 {
  public:
    NxMat33 M;
    NxVec3 t;

    NxMat34() = default;
    NxMat34(const NxMat33& rot, const NxVec3& trans) : M(rot), t(trans) {}

    void id() {
        M.id();
        t.zero();
    }
    NxVec3 operator*(const NxVec3& p) const { return M * p + t; }
    NxMat34 operator*(const NxMat34& b) const { return {M * b.M, M * b.t + t}; }
    /// The inverse of a pose whose M is a rotation.
    NxMat34 getInverseRT() const {
        const NxMat33 mt = M.getTransposed();
        return {mt, -(mt * t)};
    }
    bool isFinite() const { return M.isFinite() && t.isFinite(); }
};

/// The plane of points p with normal · p = d.
class NxPlane {
  public:
    NxVec3 normal{0, 1, 0};
    NxReal d = 0.0f;

    NxPlane() = default;
    NxPlane(const NxVec3& n, NxReal dist) : normal(n), d(dist) {}
    NxReal distance(const NxVec3& p) const { return normal.dot(p) - d; }
};

/// An axis-aligned box from min to max (metres).
class NxBounds3 {
  public:
    NxVec3 min{0, 0, 0};
    NxVec3 max{0, 0, 0};

    void set(const NxVec3& lo, const NxVec3& hi) {
        min = lo;
        max = hi;
    }
    bool contain(const NxVec3& p) const {
        return p.x >= min.x && p.y >= min.y && p.z >= min.z && p.x <= max.x && p.y <= max.y &&
               p.z <= max.z;
    }
    bool isEmpty() const { return min.x > max.x || min.y > max.y || min.z > max.z; }
};

/// The growable array that descriptors carry (an actor's shapes).
template <typename T>
class NxArray : public std::vector<T> {
  public:
    using std::vector<T>::vector;
    void pushBack(const T& v) { this->push_back(v); }
};
