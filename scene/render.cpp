/* render.cpp - osa: one frame of the scene.
 *
 * Each call derives the bar `beat` from the frames handed to the sound card
 * (syna_counter), sets `quit` past bar 58, analyses the audio sounding at
 * `ms`, takes one keyframe step and draws with OpenGL ES 1.x fixed-function
 * calls into the current context: the oscilloscope cross (bars 0..47) and
 * the lit twelve-petal flower with black outlines. It sets all the GL state
 * it relies on except the viewport and scissor, pushes no matrix and uses
 * only client-side arrays.
 *
 * Limits: one scene per process, main thread only; allocates nothing. The
 * line width set for the trace stays in force for the outlines. The trace's
 * x, z and colours are constant and written on the first trace frame only.
 */
#include <GLES/gl.h>
#include <math.h>
#include <string.h>

#include "scene_internal.h"
#include "show.h"
#include "show_clock.h"
#include "syna.h"

int beat;
int quit;
float timef;
float spin_angle;
float scope_vertices[SCOPE_POINTS * 3];
float scope_colors[SCOPE_POINTS * 4];
const float light_ambient[4] = {0.2f, 0.2f, 0.2f, 0.0f};

void scene_reset(void) {
    memset(paramf, 0, sizeof paramf);
    max_sample = 0.0f;
    beat = 0;
    quit = 0;
    timef = 0.0f;
    spin_angle = 0.0f;
}

// The trace's x, z and colours never change: filled on the first trace.
static void scope_constants(void) {
    for (int k = 0; k < SCOPE_POINTS; k++) {
        scope_vertices[3 * k] = (float)k / 512.0f - 1.0f;
        scope_vertices[3 * k + 2] = -0.3f;
        // White at both ends, black in the middle.
        const float g = 1.0f - sinf((float)(k * 0.0030679615757712823));
        scope_colors[4 * k] = g;
        scope_colors[4 * k + 1] = g;
        scope_colors[4 * k + 2] = g;
        scope_colors[4 * k + 3] = 1.0f;
    }
}

static void draw_scope(void) {
    static bool constants_ready = false;
    if (!constants_ready) {
        scope_constants();
        constants_ready = true;
    }
    glDisable(GL_LIGHTING);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, scope_vertices);
    glColorPointer(4, GL_FLOAT, 0, scope_colors);
    glLineWidth(3.0f);
    for (int k = 0; k < SCOPE_POINTS; k++) scope_vertices[3 * k + 1] = buf[k];
    // Drawn twice, crossed; the extra half turn carries into the flower.
    glDrawArrays(GL_LINE_STRIP, 0, SCOPE_POINTS);
    glRotatef(90.0f, 0.0f, 0.0f, 1.0f);
    glDrawArrays(GL_LINE_STRIP, 0, SCOPE_POINTS);
    glRotatef(90.0f, 0.0f, 0.0f, 1.0f);
}

static void draw_flower(int ms) {
    glEnable(GL_LIGHTING);
    glLightfv(GL_LIGHT0, GL_AMBIENT, light_ambient);
    glEnable(GL_LIGHT0);
    glEnable(GL_COLOR_MATERIAL);
    glDisableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, petal_vertices);
    glNormalPointer(GL_FLOAT, 0, petal_normals);
    glRotatef(15.0f, 0.0f, 0.0f, 1.0f);

    spline3DMorph((float)(0.5 + 0.5 * sin(0.001 * ms)));

    const double bright = (double)paramf[4];
    glColor4f((float)(0.82 * bright), (float)(0.87 * bright), (float)(0.95 * bright), 1.0f);
    for (int p = 0; p < 12; p++) {
        glDrawArrays(GL_TRIANGLES, 0, petal_vertex_count);
        glRotatef(30.0f, 0.0f, 0.0f, 1.0f);
    }

    // Twelve 30-degree turns are a full circle: each outline lands on its petal.
    glDisable(GL_LIGHT0);
    glDisable(GL_LIGHTING);
    glDisableClientState(GL_NORMAL_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, petal_lines);
    glColor4f(0.0f, 0.0f, 0.0f, 1.0f);
    for (int p = 0; p < 12; p++) {
        glDrawArrays(GL_LINES, 0, petal_vertex_count * 2 / 3);
        glRotatef(30.0f, 0.0f, 0.0f, 1.0f);
    }
}

// Everything of a frame that carries over to the next one; osa_skip runs
// only this.
static void advance(int ms) {
    timef = (float)ms;
    // One relaxed 32-bit read of the position the audio thread advances; a
    // stale value only moves the picture by one callback block.
    beat = beatof(__atomic_load_n(&syna_counter, __ATOMIC_RELAXED));
    if (beat > 58) quit = 1;  // the frame is still drawn

    analyysi(&mixed[windowstart(ms)]);
    paramstep(beat);
    spin_angle = (float)((double)spin_angle + 1.5 * (double)paramf[7]);
}

void osa_skip(int ms) { advance(ms); }

int osa(int ms) {
    advance(ms);

    glClearColor(paramf[8], paramf[8], paramf[8], 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_NORMALIZE);
    glEnable(GL_DEPTH_TEST);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);

    // 90 degrees across, 4:3.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustumf(-0.01f, 0.01f, -0.0075f, 0.0075f, 0.01f, 1135.0f);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, paramf[5]);
    glRotatef(-18.0f * paramf[6], 1.0f, 0.0f, 0.0f);
    glRotatef(spin_angle, 0.0f, 0.0f, 1.0f);
    glEnableClientState(GL_VERTEX_ARRAY);

    if (beat < 48) draw_scope();
    draw_flower(ms);
    return 1;
}
