/* petal.cpp - the flower's petal: a TCB spline profile swept into a ribbon.
 *
 * splineTCP evaluates one Kochanek-Bartels segment with tension, continuity
 * and bias from paramf[1..3] (continuity enters with the sign this demo's
 * keyframes were tuned for: the tangent leaving P1 weights P1 - P0 by
 * (1 + b)(1 - c)). spline3DMorph blends the `kukka` and `kukka_morph`
 * profiles into 64 points, gives them a half-width that swells in the middle,
 * trembles them with max_sample and timef, and writes a 378-vertex triangle
 * list with normals and a 252-vertex edge line list into static arrays.
 *
 * Cost: what does not change between frames (the Hermite basis at the 16
 * steps, the half-widths) is computed on the first build, and the tangents
 * once per segment; the results are the same floats as evaluating every
 * point from scratch. The two sines per strip remain (none while max_sample
 * is 0).
 *
 * Limits: the arrays are rebuilt whole each call, single-threaded; neighbour
 * strips meet exactly only while max_sample is 0 (each point trembles when
 * its own strip is built, after the previous strip has used it).
 */
#include <math.h>

#include "scene_internal.h"
#include "tables.h"

float petal_profile[PETAL_POINTS * 3];
float petal_vertices[PETAL_CAPACITY * 3];
float petal_normals[PETAL_CAPACITY * 3];
float petal_lines[PETAL_CAPACITY * 3];
int petal_vertex_count;

namespace {

// The Hermite basis at t, in single precision. The two tangent weights are
// kept halved, in double: 0.5 * h is exact, so the segment formula below
// multiplies exactly as it would with the halving written out.
struct Basis {
    float h1, h2;
    double half_h3, half_h4;
};

Basis hermite(float t) {
    const float t2 = t * t;
    const float t3 = t2 * t;
    Basis b;
    b.h1 = 2.0f * t3 - 3.0f * t2 + 1.0f;
    b.h2 = 3.0f * t2 - 2.0f * t3;
    b.half_h3 = 0.5 * (double)(t3 - 2.0f * t2 + t);
    b.half_h4 = 0.5 * (double)(t3 - t2);
    return b;
}

// One coordinate of a segment from P1 to P2 with its two tangents. The basis,
// the tangents and h1*P1 + h2*P2 are single precision; the tangent terms and
// the sum are taken in double.
inline float segment(const Basis &h, float p1, float p2, float dout, float din, float loose) {
    const float ends = h.h1 * p1 + h.h2 * p2;
    return (float)((double)ends +
                   (double)loose * (h.half_h3 * (double)dout + h.half_h4 * (double)din));
}

// The tangent weights (1 +- b)(1 -+ c), as the tangents multiply them.
struct Weights {
    float out_in, out_mid, in_mid, in_out;
};

Weights weights(float c, float b) {
    return {(1.0f + b) * (1.0f - c), (1.0f - b) * (1.0f + c), (1.0f + b) * (1.0f + c),
            (1.0f - b) * (1.0f - c)};
}

// One coordinate of one segment, everything about it that does not depend
// on t.
struct Span {
    float p1, p2, dout, din;
};

Span span(const Weights &w, float p0, float p1, float p2, float p3) {
    return {p1, p2, w.out_in * (p1 - p0) + w.out_mid * (p2 - p1),
            w.in_mid * (p2 - p1) + w.in_out * (p3 - p2)};
}

// What every build shares: the basis at the 16 steps of a segment and the
// ribbon's half-width at each profile point (0 at the base, widest, 0.07, in
// the middle). Filled on the first build.
Basis steps[16];
float half_width[PETAL_POINTS];
bool prepared = false;

void prepare() {
    for (int i = 0; i < 16; i++) steps[i] = hermite((float)i * 0.0625f);
    for (int n = 0; n < PETAL_POINTS; n++)
        half_width[n] = (float)(0.07 * sin(n * 0.04908738521234052));
    prepared = true;
}

// Tremble of one profile value: sine * level in single precision, then
// times unit, times growth, added in double. With no level the offset is a
// zero, which leaves every nonzero value as it is, so the sine is skipped;
// not for a zero value (the zero's sign may change) nor when `still` says
// the sine might not be finite.
inline float tremble(float value, float angle, double unit, double growth, bool still) {
    if (still && value != 0.0f) return value;
    const float offset = sinf(angle) * max_sample;
    return (float)((double)value + (double)offset * unit * growth);
}

inline void put(float *dst, float x, float y, float z) {
    dst[0] = x;
    dst[1] = y;
    dst[2] = z;
}

}  // namespace

void splineTCP(const float *points, float *out, float t) {
    const float loose = 1.0f - paramf[1];
    const Weights w = weights(paramf[2], paramf[3]);
    const Basis h = hermite(t);
    for (int axis = 0; axis < 2; axis++) {
        const Span sp = span(w, points[axis], points[3 + axis], points[6 + axis], points[9 + axis]);
        out[axis] = segment(h, sp.p1, sp.p2, sp.dout, sp.din, loose);
    }
}

void spline3DMorph(float morph) {
    if (!prepared) prepare();
    const float loose = 1.0f - paramf[1];
    const Weights w = weights(paramf[2], paramf[3]);
    const double keep = 1.0 - (double)morph;

    // Profile: four segments of 16 steps; the last point stops at t = 15/16
    // of the last segment, short of control point 5. x_n and y_n blend the
    // two curves: morph * b in single precision, the rest in double.
    for (int s = 0; s < 4; s++) {
        const float *a = &kukka[3 * s];
        const float *b = &kukka_morph[3 * s];
        const Span ax = span(w, a[0], a[3], a[6], a[9]), ay = span(w, a[1], a[4], a[7], a[10]);
        const Span bx = span(w, b[0], b[3], b[6], b[9]), by = span(w, b[1], b[4], b[7], b[10]);
        for (int i = 0; i < 16; i++) {
            const Basis &h = steps[i];
            float *p = &petal_profile[3 * (16 * s + i)];
            const float x0 = segment(h, ax.p1, ax.p2, ax.dout, ax.din, loose);
            const float y0 = segment(h, ay.p1, ay.p2, ay.dout, ay.din, loose);
            const float x1 = segment(h, bx.p1, bx.p2, bx.dout, bx.din, loose);
            const float y1 = segment(h, by.p1, by.p2, by.dout, by.din, loose);
            p[0] = (float)((double)(morph * x1) + keep * (double)x0);
            p[1] = (float)((double)(morph * y1) + keep * (double)y0);
            p[2] = half_width[16 * s + i];
        }
    }

    const bool still = max_sample == 0.0f && isfinite(timef);
    const double time = (double)timef;
    for (int i = 0; i < PETAL_STRIPS; i++) {
        float *p = &petal_profile[3 * i];
        const float *q = &petal_profile[3 * (i + 1)];
        // Deliberately this exact vector (GL normalises it), from the
        // untrembled points.
        const float nx = q[2] - p[2], ny = p[0] - q[0], nz = q[1] - p[1];

        p[1] = tremble(p[1], (float)(0.006 * time + 0.5 * i), 0.006, 1.0 + 0.6 * i, still);
        p[2] = tremble(p[2], (float)(0.002 * time + 0.05 * i), 0.001, (double)(1 + i), still);

        const float x0 = p[0], w0 = p[2], z0 = (float)(1.1 * (double)p[1]);
        const float x1 = q[0], w1 = q[2], z1 = (float)(1.1 * (double)q[1]);

        float *v = &petal_vertices[3 * 6 * i];
        put(v + 0, x0, -w0, z0);
        put(v + 3, x1, -w1, z1);
        put(v + 6, x1, w1, z1);
        put(v + 9, x0, -w0, z0);
        put(v + 12, x1, w1, z1);
        put(v + 15, x0, w0, z0);
        float *n = &petal_normals[3 * 6 * i];
        for (int k = 0; k < 6; k++) put(n + 3 * k, nx, ny, nz);

        float *l = &petal_lines[3 * 4 * i];
        put(l + 0, x1, w1, z1);
        put(l + 3, x0, w0, z0);
        put(l + 6, x1, -w1, z1);
        put(l + 9, x0, -w0, z0);
    }
    petal_vertex_count = 6 * PETAL_STRIPS;
}
