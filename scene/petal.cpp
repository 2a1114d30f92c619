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

// One coordinate of a segment. The basis, the tangents and h1*P1 + h2*P2 are
// single precision; the tangent terms and the sum are taken in double.
static float tcb(float p0, float p1, float p2, float p3, float t, float tension, float c, float b) {
    const float t2 = t * t;
    const float t3 = t2 * t;
    const float h1 = 2.0f * t3 - 3.0f * t2 + 1.0f;
    const float h2 = 3.0f * t2 - 2.0f * t3;
    const float h3 = t3 - 2.0f * t2 + t;
    const float h4 = t3 - t2;
    const float dout = (1.0f + b) * (1.0f - c) * (p1 - p0) + (1.0f - b) * (1.0f + c) * (p2 - p1);
    const float din = (1.0f + b) * (1.0f + c) * (p2 - p1) + (1.0f - b) * (1.0f - c) * (p3 - p2);
    const float ends = h1 * p1 + h2 * p2;
    const float loose = 1.0f - tension;
    return (float)((double)ends + (double)loose * (0.5 * (double)h3 * (double)dout +
                                                   0.5 * (double)h4 * (double)din));
}

void splineTCP(const float *points, float *out, float t) {
    const float tension = paramf[1], c = paramf[2], b = paramf[3];
    for (int axis = 0; axis < 2; axis++) {
        out[axis] = tcb(points[axis], points[3 + axis], points[6 + axis], points[9 + axis], t,
                        tension, c, b);
    }
}

static void put(float *dst, int vertex, float x, float y, float z) {
    dst[3 * vertex] = x;
    dst[3 * vertex + 1] = y;
    dst[3 * vertex + 2] = z;
}

void spline3DMorph(float morph) {
    // Profile: four segments of 16 steps; the last point stops at t = 15/16
    // of the last segment, short of control point 5.
    for (int s = 0; s < 4; s++) {
        for (int i = 0; i < 16; i++) {
            const int n = 16 * s + i;
            const float t = (float)i * 0.0625f;
            float a[2], b[2];
            splineTCP(&kukka[3 * s], a, t);
            splineTCP(&kukka_morph[3 * s], b, t);
            float *p = &petal_profile[3 * n];
            p[0] = (float)((double)(morph * b[0]) + (1.0 - (double)morph) * (double)a[0]);
            p[1] = (float)((double)(morph * b[1]) + (1.0 - (double)morph) * (double)a[1]);
            // Half-width: 0 at the base, widest (0.07) in the middle.
            p[2] = (float)(0.07 * sin(n * 0.04908738521234052));
        }
    }

    for (int i = 0; i < PETAL_STRIPS; i++) {
        float *p = &petal_profile[3 * i];
        const float *q = &petal_profile[3 * (i + 1)];
        // Deliberately this exact vector (GL normalises it), from the
        // untrembled points.
        const float nx = q[2] - p[2], ny = p[0] - q[0], nz = q[1] - p[1];

        const float ys = sinf((float)(0.006 * (double)timef + 0.5 * i)) * max_sample;
        p[1] = (float)((double)p[1] + (double)ys * 0.006 * (1.0 + 0.6 * i));
        const float ws = sinf((float)(0.002 * (double)timef + 0.05 * i)) * max_sample;
        p[2] = (float)((double)p[2] + (double)ws * 0.001 * (double)(1 + i));

        const float x0 = p[0], w0 = p[2], z0 = (float)(1.1 * (double)p[1]);
        const float x1 = q[0], w1 = q[2], z1 = (float)(1.1 * (double)q[1]);

        const int v = 6 * i;
        put(petal_vertices, v + 0, x0, -w0, z0);
        put(petal_vertices, v + 1, x1, -w1, z1);
        put(petal_vertices, v + 2, x1, w1, z1);
        put(petal_vertices, v + 3, x0, -w0, z0);
        put(petal_vertices, v + 4, x1, w1, z1);
        put(petal_vertices, v + 5, x0, w0, z0);
        for (int k = 0; k < 6; k++) put(petal_normals, v + k, nx, ny, nz);

        const int l = 4 * i;
        put(petal_lines, l + 0, x1, w1, z1);
        put(petal_lines, l + 1, x0, w0, z0);
        put(petal_lines, l + 2, x1, -w1, z1);
        put(petal_lines, l + 3, x0, -w0, z0);
    }
    petal_vertex_count = 6 * PETAL_STRIPS;
}
