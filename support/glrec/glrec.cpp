/* glrec.cpp - recording (or, with GLREC_NOOP, silent) GLES 1.x entry points.
 * See glrec.h. The definitions take their C linkage and exact prototypes
 * from <GLES/gl.h>.
 */
#include "glrec.h"

#include <GLES/gl.h>

#include <initializer_list>

namespace {

struct ClientArray {
    bool on = false;
    GLint size = 0;
    GLenum type = 0;
    GLsizei stride = 0;
    const void *ptr = nullptr;
};

std::vector<GlCall> calls;
ClientArray vertex_array, color_array, normal_array;

#ifndef GLREC_NOOP
GlCall &rec(const char *name, std::initializer_list<double> args, const void *ptr = nullptr) {
    GlCall c;
    c.name = name;
    c.args = args;
    c.ptr = ptr;
    calls.push_back(std::move(c));
    return calls.back();
}

ClientArray *array_for(GLenum cap) {
    switch (cap) {
    case GL_VERTEX_ARRAY: return &vertex_array;
    case GL_COLOR_ARRAY: return &color_array;
    case GL_NORMAL_ARRAY: return &normal_array;
    default: return nullptr;
    }
}

std::vector<float> copy_range(const ClientArray &a, GLint first, GLsizei count) {
    std::vector<float> out;
    if (!a.on || a.ptr == nullptr || a.type != GL_FLOAT || count <= 0) return out;
    const GLint size = a.size;
    const GLsizei step = a.stride ? a.stride / (GLsizei)sizeof(float) : size;
    const float *p = static_cast<const float *>(a.ptr);
    out.reserve((size_t)count * (size_t)size);
    for (GLsizei v = 0; v < count; v++) {
        const float *e = p + (size_t)(first + v) * (size_t)step;
        out.insert(out.end(), e, e + size);
    }
    return out;
}
#define REC(...) rec(__VA_ARGS__)
#else
// Takes the arguments like the recorder does (no warnings), records nothing.
inline void noop(const char *, std::initializer_list<double>, const void * = nullptr) {}
#define REC(...) noop(__VA_ARGS__)
#endif

}  // namespace

const std::vector<GlCall> &glrec_calls() { return calls; }

void glrec_clear() {
    calls.clear();
    vertex_array = ClientArray{};
    color_array = ClientArray{};
    normal_array = ClientArray{};
}

GL_API void GL_APIENTRY glClearColor(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha) {
    REC("glClearColor", {red, green, blue, alpha});
}

GL_API void GL_APIENTRY glClear(GLbitfield mask) { REC("glClear", {(double)mask}); }

GL_API void GL_APIENTRY glEnable(GLenum cap) { REC("glEnable", {(double)cap}); }

GL_API void GL_APIENTRY glDisable(GLenum cap) { REC("glDisable", {(double)cap}); }

GL_API void GL_APIENTRY glHint(GLenum target, GLenum mode) {
    REC("glHint", {(double)target, (double)mode});
}

GL_API void GL_APIENTRY glMatrixMode(GLenum mode) { REC("glMatrixMode", {(double)mode}); }

GL_API void GL_APIENTRY glLoadIdentity(void) { REC("glLoadIdentity", {}); }

GL_API void GL_APIENTRY glFrustumf(GLfloat l, GLfloat r, GLfloat b, GLfloat t, GLfloat n,
                                   GLfloat f) {
    REC("glFrustumf", {l, r, b, t, n, f});
}

GL_API void GL_APIENTRY glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    REC("glTranslatef", {x, y, z});
}

GL_API void GL_APIENTRY glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
    REC("glRotatef", {angle, x, y, z});
}

GL_API void GL_APIENTRY glLineWidth(GLfloat width) { REC("glLineWidth", {width}); }

GL_API void GL_APIENTRY glColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha) {
    REC("glColor4f", {red, green, blue, alpha});
}

GL_API void GL_APIENTRY glLightfv(GLenum light, GLenum pname, const GLfloat *params) {
#ifndef GLREC_NOOP
    GlCall &c = rec("glLightfv", {(double)light, (double)pname}, params);
    if (params != nullptr) c.data.assign(params, params + 4);
#else
    (void)light, (void)pname, (void)params;
#endif
}

GL_API void GL_APIENTRY glEnableClientState(GLenum array) {
#ifndef GLREC_NOOP
    if (ClientArray *a = array_for(array)) a->on = true;
#endif
    REC("glEnableClientState", {(double)array});
}

GL_API void GL_APIENTRY glDisableClientState(GLenum array) {
#ifndef GLREC_NOOP
    if (ClientArray *a = array_for(array)) a->on = false;
#endif
    REC("glDisableClientState", {(double)array});
}

GL_API void GL_APIENTRY glVertexPointer(GLint size, GLenum type, GLsizei stride,
                                        const void *pointer) {
#ifndef GLREC_NOOP
    vertex_array.size = size, vertex_array.type = type, vertex_array.stride = stride;
    vertex_array.ptr = pointer;
#endif
    REC("glVertexPointer", {(double)size, (double)type, (double)stride}, pointer);
}

GL_API void GL_APIENTRY glColorPointer(GLint size, GLenum type, GLsizei stride,
                                       const void *pointer) {
#ifndef GLREC_NOOP
    color_array.size = size, color_array.type = type, color_array.stride = stride;
    color_array.ptr = pointer;
#endif
    REC("glColorPointer", {(double)size, (double)type, (double)stride}, pointer);
}

GL_API void GL_APIENTRY glNormalPointer(GLenum type, GLsizei stride, const void *pointer) {
#ifndef GLREC_NOOP
    normal_array.size = 3, normal_array.type = type, normal_array.stride = stride;
    normal_array.ptr = pointer;
#endif
    REC("glNormalPointer", {(double)type, (double)stride}, pointer);
}

GL_API void GL_APIENTRY glDrawArrays(GLenum mode, GLint first, GLsizei count) {
#ifndef GLREC_NOOP
    GlCall &c = rec("glDrawArrays", {(double)mode, (double)first, (double)count});
    c.arrays = (vertex_array.on ? GLREC_VERTEX : 0u) | (color_array.on ? GLREC_COLOR : 0u) |
               (normal_array.on ? GLREC_NORMAL : 0u);
    c.data = copy_range(vertex_array, first, count);
    c.colors = copy_range(color_array, first, count);
    c.normals = copy_range(normal_array, first, count);
#else
    (void)mode, (void)first, (void)count;
#endif
}
