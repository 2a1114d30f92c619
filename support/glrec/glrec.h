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
 * glrec_text and glrec_array_lines turn a recorded call into readable
 * lines (GL enums by name, floats in their shortest exact decimal form, so
 * equal text means bit-equal values), e.g. for golden call logs.
 *
 * Limits: single-threaded; only tightly packed or strided GL_FLOAT arrays
 * are copied.
 */
#ifndef KESTOVAR_GLREC_H
#define KESTOVAR_GLREC_H

#include <span>
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

// A name for a pointer argument in glrec_text; pointers without one print
// as "ptr", a null pointer as "null".
struct GlrecName {
    const void *ptr;
    const char *name;
};

// The call on one line, e.g. "glVertexPointer(3, GL_FLOAT, 0, scope_vertices)";
// glLightfv also shows its parameters, glDrawArrays the arrays it drew from.
std::string glrec_text(const GlCall &c, std::span<const GlrecName> names = {});
// glDrawArrays: one line per vertex drawn, "  [k] x y z" followed by
// " rgba r g b a" and " normal x y z" where those arrays were on; empty for
// other calls.
std::vector<std::string> glrec_array_lines(const GlCall &c);
// The shortest decimal text that reads back as exactly f ("-0" for -0.0).
std::string glrec_float(float f);

#endif
