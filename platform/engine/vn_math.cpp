#include "platform/engine/vn_math.h"

#include <cmath>

namespace Vantorr_nsp {

vnMatrix4 vnMatrix4::inverse() const {
    const float* a = m;
    float inv[16];
    inv[0] = a[5] * a[10] * a[15] - a[5] * a[11] * a[14] - a[9] * a[6] * a[15] +
             a[9] * a[7] * a[14] + a[13] * a[6] * a[11] - a[13] * a[7] * a[10];
    inv[4] = -a[4] * a[10] * a[15] + a[4] * a[11] * a[14] + a[8] * a[6] * a[15] -
             a[8] * a[7] * a[14] - a[12] * a[6] * a[11] + a[12] * a[7] * a[10];
    inv[8] = a[4] * a[9] * a[15] - a[4] * a[11] * a[13] - a[8] * a[5] * a[15] +
             a[8] * a[7] * a[13] + a[12] * a[5] * a[11] - a[12] * a[7] * a[9];
    inv[12] = -a[4] * a[9] * a[14] + a[4] * a[10] * a[13] + a[8] * a[5] * a[14] -
              a[8] * a[6] * a[13] - a[12] * a[5] * a[10] + a[12] * a[6] * a[9];
    inv[1] = -a[1] * a[10] * a[15] + a[1] * a[11] * a[14] + a[9] * a[2] * a[15] -
             a[9] * a[3] * a[14] - a[13] * a[2] * a[11] + a[13] * a[3] * a[10];
    inv[5] = a[0] * a[10] * a[15] - a[0] * a[11] * a[14] - a[8] * a[2] * a[15] +
             a[8] * a[3] * a[14] + a[12] * a[2] * a[11] - a[12] * a[3] * a[10];
    inv[9] = -a[0] * a[9] * a[15] + a[0] * a[11] * a[13] + a[8] * a[1] * a[15] -
             a[8] * a[3] * a[13] - a[12] * a[1] * a[11] + a[12] * a[3] * a[9];
    inv[13] = a[0] * a[9] * a[14] - a[0] * a[10] * a[13] - a[8] * a[1] * a[14] +
              a[8] * a[2] * a[13] + a[12] * a[1] * a[10] - a[12] * a[2] * a[9];
    inv[2] = a[1] * a[6] * a[15] - a[1] * a[7] * a[14] - a[5] * a[2] * a[15] + a[5] * a[3] * a[14] +
             a[13] * a[2] * a[7] - a[13] * a[3] * a[6];
    inv[6] = -a[0] * a[6] * a[15] + a[0] * a[7] * a[14] + a[4] * a[2] * a[15] -
             a[4] * a[3] * a[14] - a[12] * a[2] * a[7] + a[12] * a[3] * a[6];
    inv[10] = a[0] * a[5] * a[15] - a[0] * a[7] * a[13] - a[4] * a[1] * a[15] +
              a[4] * a[3] * a[13] + a[12] * a[1] * a[7] - a[12] * a[3] * a[5];
    inv[14] = -a[0] * a[5] * a[14] + a[0] * a[6] * a[13] + a[4] * a[1] * a[14] -
              a[4] * a[2] * a[13] - a[12] * a[1] * a[6] + a[12] * a[2] * a[5];
    inv[3] = -a[1] * a[6] * a[11] + a[1] * a[7] * a[10] + a[5] * a[2] * a[11] -
             a[5] * a[3] * a[10] - a[9] * a[2] * a[7] + a[9] * a[3] * a[6];
    inv[7] = a[0] * a[6] * a[11] - a[0] * a[7] * a[10] - a[4] * a[2] * a[11] + a[4] * a[3] * a[10] +
             a[8] * a[2] * a[7] - a[8] * a[3] * a[6];
    inv[11] = -a[0] * a[5] * a[11] + a[0] * a[7] * a[9] + a[4] * a[1] * a[11] - a[4] * a[3] * a[9] -
              a[8] * a[1] * a[7] + a[8] * a[3] * a[5];
    inv[15] = a[0] * a[5] * a[10] - a[0] * a[6] * a[9] - a[4] * a[1] * a[10] + a[4] * a[2] * a[9] +
              a[8] * a[1] * a[6] - a[8] * a[2] * a[5];
    const float det = a[0] * inv[0] + a[1] * inv[4] + a[2] * inv[8] + a[3] * inv[12];
    vnMatrix4 r;
    if (det == 0.0f || !std::isfinite(det)) return r;
    const float s = 1.0f / det;
    for (int i = 0; i < 16; ++i) r.m[i] = inv[i] * s;
    return r;
}

vnMatrix4 vnMatrix4::lookAt(const vnVector3& eye, const vnVector3& target, const vnVector3& up) {
    vnVector3 f = (target - eye).normalized();
    vnVector3 s = f.cross(up).normalized();
    // An up vector along the view direction leaves no side axis: take any perpendicular.
    if (s.length() == 0.0f)
        s = f.cross(std::fabs(f.y) < 0.9f ? vnVector3{0, 1, 0} : vnVector3{1, 0, 0}).normalized();
    const vnVector3 u = s.cross(f);
    vnMatrix4 r;
    r.at(0, 0) = s.x;
    r.at(0, 1) = s.y;
    r.at(0, 2) = s.z;
    r.at(1, 0) = u.x;
    r.at(1, 1) = u.y;
    r.at(1, 2) = u.z;
    r.at(2, 0) = -f.x;
    r.at(2, 1) = -f.y;
    r.at(2, 2) = -f.z;
    r.at(0, 3) = -s.dot(eye);
    r.at(1, 3) = -u.dot(eye);
    r.at(2, 3) = f.dot(eye);
    return r;
}

vnMatrix4 vnMatrix4::perspective(float fov_deg, float aspect, float near_z, float far_z) {
    vnMatrix4 r;
    const float f = 1.0f / std::tan(fov_deg * kDegToRad * 0.5f);
    r.at(0, 0) = aspect != 0.0f ? f / aspect : f;
    r.at(1, 1) = f;
    const float depth = near_z - far_z;
    r.at(2, 2) = depth != 0.0f ? (far_z + near_z) / depth : -1.0f;
    r.at(2, 3) = depth != 0.0f ? 2.0f * far_z * near_z / depth : 0.0f;
    r.at(3, 2) = -1.0f;
    r.at(3, 3) = 0.0f;
    return r;
}

vnMatrix4 vnMatrix4::ortho(float left, float right, float bottom, float top, float near_z,
                           float far_z) {
    vnMatrix4 r;
    r.at(0, 0) = 2.0f / (right - left);
    r.at(1, 1) = 2.0f / (top - bottom);
    r.at(2, 2) = -2.0f / (far_z - near_z);
    r.at(0, 3) = -(right + left) / (right - left);
    r.at(1, 3) = -(top + bottom) / (top - bottom);
    r.at(2, 3) = -(far_z + near_z) / (far_z - near_z);
    return r;
}

vnMatrix4 vnMatrix4::translation(const vnVector3& t) {
    vnMatrix4 r;
    r.at(0, 3) = t.x;
    r.at(1, 3) = t.y;
    r.at(2, 3) = t.z;
    return r;
}

vnMatrix4 vnMatrix4::shadowBias() {
    vnMatrix4 r;
    for (int i = 0; i < 3; ++i) {
        r.at(i, i) = 0.5f;
        r.at(i, 3) = 0.5f;
    }
    return r;
}

}  // namespace Vantorr_nsp
