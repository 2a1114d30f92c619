/* scene_internal.h - the scene's working parts, exposed for tests and
 * benchmarks. The demo itself needs only scene.h.
 *
 * Every function here works on module-level state (paramf, buf, max_sample,
 * the petal arrays, ...) and allocates nothing. None of them is thread-safe;
 * all run on the thread that owns the GL context.
 */
#ifndef KESTOVAR_SCENE_INTERNAL_H
#define KESTOVAR_SCENE_INTERNAL_H

#include <stdint.h>

#include "scene.h"

#define PETAL_POINTS 64     /* profile points per petal */
#define PETAL_STRIPS 63     /* ribbon strips between them */
#define PETAL_CAPACITY 1000 /* vertex room of each petal array */
#define SCOPE_POINTS 1024   /* oscilloscope vertices drawn */
#define WINDOW_VALUES 2048  /* analysed 16-bit values (one channel) */

#ifdef __cplusplus
extern "C" {
#endif

/* Keyframe step: glides paramf[1..8] 3 % toward the row of `param` that
 * belongs to bar `beat`. From bar 59 on nothing changes. */
void paramstep(int beat);

/* Audio analysis over every second 16-bit value from `samples` (2048 of
 * them): fills buf, updates max_sample; max_sample is 0 from bar 48 on. */
void analyysi(const int16_t *samples);

/* Index into `mixed` where the analysis window for `ms` starts:
 * 882 * ms / 10, clamped so that the window stays inside `mixed`
 * (the parity, i.e. the channel, is kept). */
int windowstart(int ms);

/* One Kochanek-Bartels segment from P1 to P2 of the four points starting at
 * `points` (three floats apart), at t; writes x and y to out[0], out[1].
 * Tension, continuity and bias are paramf[1..3]. */
void splineTCP(const float *points, float *out, float t);

/* Rebuilds the petal mesh for morph factor `morph` (0 = kukka,
 * 1 = kukka_morph), trembling with max_sample and timef. */
void spline3DMorph(float morph);

extern float petal_profile[PETAL_POINTS * 3];    /* x, y, w */
extern float petal_vertices[PETAL_CAPACITY * 3]; /* triangle list */
extern float petal_normals[PETAL_CAPACITY * 3];  /* one per triangle vertex */
extern float petal_lines[PETAL_CAPACITY * 3];    /* edge line list */
extern int petal_vertex_count;                   /* 378 after a build */

/* Puts the scene's moving state back where it is at process start (the
 * keyframe glide, the peak, bar, time, spin and the end flag), so that tests
 * can play one show after another. Caches of constant values stay. */
void scene_reset(void);

extern float spin_angle; /* degrees, never wrapped */
extern float scope_vertices[SCOPE_POINTS * 3];
extern float scope_colors[SCOPE_POINTS * 4];
extern const float light_ambient[4];

#ifdef __cplusplus
}
#endif
#endif
