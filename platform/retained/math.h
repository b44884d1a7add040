// Small vector arithmetic of the engine (single precision, left-handed coordinates).
#pragma once

#include <cmath>

namespace retained {

struct Vec3 {
    float x, y, z;
};

inline Vec3 operator+(Vec3 a, Vec3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vec3 operator-(Vec3 a, Vec3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vec3 operator*(Vec3 a, float s) {
    return {a.x * s, a.y * s, a.z * s};
}
inline float dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vec3 cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float length(Vec3 a) {
    return std::sqrt(dot(a, a));
}
inline bool isFinite(Vec3 a) {
    return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z);
}
// Unit vector, or (0, 0, 0) for a zero or non-finite one. Worked in double precision so that
// tiny (even denormal) and huge components neither underflow nor overflow.
inline Vec3 normalised(Vec3 a) {
    const double x = a.x, y = a.y, z = a.z;
    const double len = std::sqrt(x * x + y * y + z * z);
    if (!(len > 0.0) || !std::isfinite(len))
        return {0, 0, 0};
    return {static_cast<float>(x / len), static_cast<float>(y / len), static_cast<float>(z / len)};
}

// Rotation: columns are the local x, y and z axes expressed in the outer coordinates.
struct Mat3 {
    Vec3 x, y, z;
    static Mat3 identity() { return {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}; }
    Vec3 apply(Vec3 v) const { return x * v.x + y * v.y + z * v.z; }
    // The inverse of a rotation is its transpose.
    Vec3 applyInverse(Vec3 v) const { return {dot(x, v), dot(y, v), dot(z, v)}; }
    Mat3 operator*(const Mat3& o) const { return {apply(o.x), apply(o.y), apply(o.z)}; }
    Mat3 transposed() const { return {{x.x, y.x, z.x}, {x.y, y.y, z.y}, {x.z, y.z, z.z}}; }
};

// Rigid transform: outer = rotation * local + position.
struct Transform {
    Mat3 rotation = Mat3::identity();
    Vec3 position{0, 0, 0};
    Vec3 apply(Vec3 v) const { return rotation.apply(v) + position; }
    Vec3 applyInverse(Vec3 v) const { return rotation.applyInverse(v - position); }
    Transform operator*(const Transform& inner) const {
        return {rotation * inner.rotation, apply(inner.position)};
    }
    Transform inverse() const {
        Mat3 t = rotation.transposed();
        return {t, t.apply(position) * -1.0f};
    }
};

} // namespace retained
