/* glrec.cpp - recording (or, with GLREC_NOOP, silent) GLES 1.x entry points.
 * See glrec.h. The definitions take their C linkage and exact prototypes
 * from <GLES/gl.h>.
 */
#include "glrec.h"

#include <GLES/gl.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <utility>

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

// ---- text form ----

namespace {

const char *enum_name(unsigned e) {
    switch (e) {
    case GL_POINTS: return "GL_POINTS";  // also GL_ZERO / GL_FALSE: 0
    case GL_LINES: return "GL_LINES";
    case GL_LINE_LOOP: return "GL_LINE_LOOP";
    case GL_LINE_STRIP: return "GL_LINE_STRIP";
    case GL_TRIANGLES: return "GL_TRIANGLES";
    case GL_TRIANGLE_STRIP: return "GL_TRIANGLE_STRIP";
    case GL_TRIANGLE_FAN: return "GL_TRIANGLE_FAN";
    case GL_FLOAT: return "GL_FLOAT";
    case GL_NORMALIZE: return "GL_NORMALIZE";
    case GL_DEPTH_TEST: return "GL_DEPTH_TEST";
    case GL_LIGHTING: return "GL_LIGHTING";
    case GL_LIGHT0: return "GL_LIGHT0";
    case GL_COLOR_MATERIAL: return "GL_COLOR_MATERIAL";
    case GL_SCISSOR_TEST: return "GL_SCISSOR_TEST";
    case GL_BLEND: return "GL_BLEND";
    case GL_CULL_FACE: return "GL_CULL_FACE";
    case GL_TEXTURE_2D: return "GL_TEXTURE_2D";
    case GL_PERSPECTIVE_CORRECTION_HINT: return "GL_PERSPECTIVE_CORRECTION_HINT";
    case GL_NICEST: return "GL_NICEST";
    case GL_FASTEST: return "GL_FASTEST";
    case GL_DONT_CARE: return "GL_DONT_CARE";
    case GL_PROJECTION: return "GL_PROJECTION";
    case GL_MODELVIEW: return "GL_MODELVIEW";
    case GL_VERTEX_ARRAY: return "GL_VERTEX_ARRAY";
    case GL_COLOR_ARRAY: return "GL_COLOR_ARRAY";
    case GL_NORMAL_ARRAY: return "GL_NORMAL_ARRAY";
    case GL_AMBIENT: return "GL_AMBIENT";
    case GL_DIFFUSE: return "GL_DIFFUSE";
    case GL_SPECULAR: return "GL_SPECULAR";
    case GL_POSITION: return "GL_POSITION";
    default: return nullptr;
    }
}

std::string enum_text(double v) {
    const unsigned e = (unsigned)v;
    if (const char *n = enum_name(e)) return n;
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", e);
    return text;
}

std::string mask_text(double v) {
    unsigned m = (unsigned)v;
    std::string out;
    const std::pair<unsigned, const char *> bits[] = {
        {GL_COLOR_BUFFER_BIT, "GL_COLOR_BUFFER_BIT"},
        {GL_DEPTH_BUFFER_BIT, "GL_DEPTH_BUFFER_BIT"},
        {GL_STENCIL_BUFFER_BIT, "GL_STENCIL_BUFFER_BIT"}};
    for (const auto &[bit, name] : bits) {
        if (m & bit) {
            if (!out.empty()) out += '|';
            out += name;
            m &= ~bit;
        }
    }
    if (m != 0 || out.empty()) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%X", m);
        if (!out.empty()) out += '|';
        out += text;
    }
    return out;
}

// How each argument prints: e enum, b clear mask, i integer, f float.
const char *arg_kinds(const std::string &name) {
    static const std::pair<const char *, const char *> kinds[] = {
        {"glClear", "b"},
        {"glEnable", "e"},
        {"glDisable", "e"},
        {"glHint", "ee"},
        {"glMatrixMode", "e"},
        {"glEnableClientState", "e"},
        {"glDisableClientState", "e"},
        {"glVertexPointer", "iei"},
        {"glColorPointer", "iei"},
        {"glNormalPointer", "ei"},
        {"glDrawArrays", "eii"},
        {"glLightfv", "ee"},
    };
    for (const auto &[n, k] : kinds)
        if (name == n) return k;
    return "";  // all floats
}

bool has_pointer(const std::string &name) {
    return name == "glVertexPointer" || name == "glColorPointer" || name == "glNormalPointer" ||
           name == "glLightfv";
}

void append_floats(std::string &out, const float *f, size_t n) {
    for (size_t i = 0; i < n; i++) {
        out += ' ';
        out += glrec_float(f[i]);
    }
}

}  // namespace

std::string glrec_float(float f) {
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, f);
    return std::string(text, r.ptr);
}

std::string glrec_text(const GlCall &c, std::span<const GlrecName> names) {
    std::string out = c.name + "(";
    const char *kinds = arg_kinds(c.name);
    for (size_t i = 0; i < c.args.size(); i++) {
        if (i) out += ", ";
        const char kind = i < std::strlen(kinds) ? kinds[i] : 'f';
        const double v = c.args[i];
        if (kind == 'e') {
            out += enum_text(v);
        } else if (kind == 'b') {
            out += mask_text(v);
        } else if (kind == 'i') {
            out += std::to_string((long long)v);
        } else {
            out += glrec_float((float)v);
        }
    }
    if (has_pointer(c.name)) {
        if (!c.args.empty()) out += ", ";
        const char *pname = c.ptr == nullptr ? "null" : "ptr";
        for (const GlrecName &n : names)
            if (n.ptr == c.ptr && c.ptr != nullptr) pname = n.name;
        out += pname;
    }
    out += ")";
    if (c.name == "glLightfv" && !c.data.empty()) {
        out += " =";
        append_floats(out, c.data.data(), c.data.size());
    }
    if (c.name == "glDrawArrays") {
        out += " arrays:";
        if (c.arrays & GLREC_VERTEX) out += " vertex";
        if (c.arrays & GLREC_COLOR) out += " color";
        if (c.arrays & GLREC_NORMAL) out += " normal";
        if (c.arrays == 0) out += " none";
    }
    return out;
}

std::vector<std::string> glrec_array_lines(const GlCall &c) {
    std::vector<std::string> lines;
    if (c.name != "glDrawArrays") return lines;
    const size_t n = c.data.size() / 3;
    for (size_t k = 0; k < n; k++) {
        std::string line = "  [" + std::to_string(k) + "]";
        append_floats(line, &c.data[3 * k], 3);
        if (c.colors.size() >= 4 * (k + 1)) {
            line += " rgba";
            append_floats(line, &c.colors[4 * k], 4);
        }
        if (c.normals.size() >= 3 * (k + 1)) {
            line += " normal";
            append_floats(line, &c.normals[3 * k], 3);
        }
        lines.push_back(std::move(line));
    }
    return lines;
}
