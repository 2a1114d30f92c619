/* glrec.h - a recording stand-in for the GLES 1.x entry points the scene
 * uses, for tests and benchmarks.
 *
 * Link `glrec` instead of libGLESv1_CM: every call is appended to a list
 * with its arguments; glDrawArrays also copies the enabled client arrays
 * (vertex, colour, normal) for the range it draws, as they are at draw time.
 * glLightfv copies its four parameters. Nothing is rendered and no GL state
 * other than the client arrays is tracked.
 *
 * The `glrec_noop` build of the same file records nothing (for timing and
 * allocation counting); glrec_calls() then stays empty.
 *
 * Limits: single-threaded; only tightly packed or strided GL_FLOAT arrays
 * are copied.
 */
#ifndef KESTOVAR_GLREC_H
#define KESTOVAR_GLREC_H

#include <string>
#include <vector>

enum GlrecArray : unsigned {
    GLREC_VERTEX = 1u,
    GLREC_COLOR = 2u,
    GLREC_NORMAL = 4u,
};

struct GlCall {
    std::string name;            // e.g. "glRotatef"
    std::vector<double> args;    // numeric arguments in order (enums, ints, floats)
    const void *ptr = nullptr;   // the pointer argument, if the function has one
    unsigned arrays = 0;         // glDrawArrays: GlrecArray bits enabled at draw time
    std::vector<float> data;     // glDrawArrays: vertices drawn; glLightfv: its params
    std::vector<float> colors;   // glDrawArrays with the colour array on
    std::vector<float> normals;  // glDrawArrays with the normal array on
};

const std::vector<GlCall> &glrec_calls();
// Forgets the recorded calls and the client-array state.
void glrec_clear();

#endif
