/* geometry.cpp - matrices and wide lines for the GLES 1.x layer (see
 * geometry.h). Single precision throughout, like a GL driver's own.
 */
#include "geometry.h"

#include <cmath>

namespace g12 {

Mat4 identity() {
    Mat4 r{};
    r.m[0] = r.m[5] = r.m[10] = r.m[15] = 1.0f;
    return r;
}

Mat4 multiply(const Mat4 &a, const Mat4 &b) {
    Mat4 r;
    for (int col = 0; col < 4; col++) {
        for (int row = 0; row < 4; row++) {
            float s = 0.0f;
            for (int k = 0; k < 4; k++) s += a.m[k * 4 + row] * b.m[col * 4 + k];
            r.m[col * 4 + row] = s;
        }
    }
    return r;
}

Mat4 frustum(float l, float r, float b, float t, float n, float f) {
    Mat4 m{};
    m.m[0] = 2.0f * n / (r - l);
    m.m[5] = 2.0f * n / (t - b);
    m.m[8] = (r + l) / (r - l);
    m.m[9] = (t + b) / (t - b);
    m.m[10] = -(f + n) / (f - n);
    m.m[11] = -1.0f;
    m.m[14] = -2.0f * f * n / (f - n);
    return m;
}

Mat4 ortho(float l, float r, float b, float t, float n, float f) {
    Mat4 m = identity();
    m.m[0] = 2.0f / (r - l);
    m.m[5] = 2.0f / (t - b);
    m.m[10] = -2.0f / (f - n);
    m.m[12] = -(r + l) / (r - l);
    m.m[13] = -(t + b) / (t - b);
    m.m[14] = -(f + n) / (f - n);
    return m;
}

Mat4 translation(float x, float y, float z) {
    Mat4 m = identity();
    m.m[12] = x;
    m.m[13] = y;
    m.m[14] = z;
    return m;
}

Mat4 scaling(float x, float y, float z) {
    Mat4 m = identity();
    m.m[0] = x;
    m.m[5] = y;
    m.m[10] = z;
    return m;
}

Mat4 rotation(float degrees, float x, float y, float z) {
    const float len = std::sqrt(x * x + y * y + z * z);
    if (len == 0.0f) return identity();  // no axis: GL leaves the matrix alone
    x /= len;
    y /= len;
    z /= len;
    const float rad = degrees * 0.017453292519943295f;
    const float c = std::cos(rad), s = std::sin(rad), k = 1.0f - c;
    Mat4 m = identity();
    m.m[0] = x * x * k + c;
    m.m[1] = y * x * k + z * s;
    m.m[2] = x * z * k - y * s;
    m.m[4] = x * y * k - z * s;
    m.m[5] = y * y * k + c;
    m.m[6] = y * z * k + x * s;
    m.m[8] = x * z * k + y * s;
    m.m[9] = y * z * k - x * s;
    m.m[10] = z * z * k + c;
    return m;
}

void transform(const Mat4 &a, const float in[4], float out[4]) {
    for (int row = 0; row < 4; row++) {
        out[row] =
            a.m[row] * in[0] + a.m[4 + row] * in[1] + a.m[8 + row] * in[2] + a.m[12 + row] * in[3];
    }
}

void normal_matrix(const Mat4 &a, float out[9]) {
    // Upper 3x3, e(row, col).
    auto e = [&a](int row, int col) { return a.m[col * 4 + row]; };
    // Cofactors: the inverse transpose is the cofactor matrix over the
    // determinant.
    float cof[3][3];
    for (int r = 0; r < 3; r++) {
        for (int c = 0; c < 3; c++) {
            const int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
            cof[r][c] = e(r1, c1) * e(r2, c2) - e(r1, c2) * e(r2, c1);
        }
    }
    const float det = e(0, 0) * cof[0][0] + e(0, 1) * cof[0][1] + e(0, 2) * cof[0][2];
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++) out[c * 3 + r] = det == 0.0f ? 0.0f : cof[r][c] / det;
}

namespace {

Vertex mix(const Vertex &a, const Vertex &b, float t) {
    Vertex v;
    for (int i = 0; i < 4; i++) v.pos[i] = a.pos[i] + (b.pos[i] - a.pos[i]) * t;
    for (int i = 0; i < 4; i++) v.color[i] = a.color[i] + (b.color[i] - a.color[i]) * t;
    for (int i = 0; i < 3; i++) v.normal[i] = a.normal[i] + (b.normal[i] - a.normal[i]) * t;
    return v;
}

// The vertex moved by (dx, dy) in normalised device coordinates.
Vertex shifted(const Vertex &v, float dx, float dy) {
    Vertex r = v;
    r.pos[0] += dx * v.pos[3];
    r.pos[1] += dy * v.pos[3];
    return r;
}

}  // namespace

void widen_segment(const Vertex &a, const Vertex &b, float width, int vw, int vh,
                   std::vector<Vertex> &out) {
    // Near plane: z >= -w. Cut what lies behind it before dividing by w.
    const float da = a.pos[2] + a.pos[3], db = b.pos[2] + b.pos[3];
    if (da < 0.0f && db < 0.0f) return;
    Vertex p = a, q = b;
    if (da < 0.0f) p = mix(a, b, da / (da - db));
    if (db < 0.0f) q = mix(a, b, da / (da - db));
    if (p.pos[3] <= 0.0f || q.pos[3] <= 0.0f) return;

    const float dx = (q.pos[0] / q.pos[3] - p.pos[0] / p.pos[3]) * (float)vw;
    const float dy = (q.pos[1] / q.pos[3] - p.pos[1] / p.pos[3]) * (float)vh;
    // Half the width in normalised device units across the minor axis.
    float ox = 0.0f, oy = 0.0f;
    if (std::fabs(dx) >= std::fabs(dy))
        oy = width / (float)vh;
    else
        ox = width / (float)vw;

    const Vertex p0 = shifted(p, -ox, -oy), p1 = shifted(p, ox, oy);
    const Vertex q0 = shifted(q, -ox, -oy), q1 = shifted(q, ox, oy);
    out.push_back(p0);
    out.push_back(q0);
    out.push_back(q1);
    out.push_back(p0);
    out.push_back(q1);
    out.push_back(p1);
}

}  // namespace g12
