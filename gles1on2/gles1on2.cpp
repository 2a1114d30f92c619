/* gles1on2.cpp - GLES 1.x entry points over OpenGL ES 2.0 (see gles1on2.h).
 *
 * The GLES 1.x state lives here, in plain module variables; every draw call
 * copies the client arrays it needs into one buffer object and draws with
 * one shader program, which does the fixed-function vertex work: the
 * modelview-projection transform and GL's lighting equation for one light,
 * per vertex, so colours are interpolated across a triangle as with
 * fixed-function Gouraud shading. Lines are widened into triangles on the
 * CPU (geometry.cpp) and then drawn by the same program with their
 * positions already in clip coordinates.
 *
 * The definitions take their C linkage and exact prototypes from
 * <GLES/gl.h>; the real OpenGL ES 2.0 functions are reached through
 * pointers from eglGetProcAddress, because their names are the ones this
 * file defines.
 */
#include "gles1on2.h"

#include <EGL/egl.h>
#include <GLES/gl.h>
#include <GLES2/gl2.h>

#include <cmath>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

#include "geometry.h"

namespace {

using g12::Mat4;
using g12::Vertex;

// The OpenGL ES 2.0 functions the layer draws with.
struct Es2 {
    PFNGLATTACHSHADERPROC AttachShader;
    PFNGLBINDATTRIBLOCATIONPROC BindAttribLocation;
    PFNGLBINDBUFFERPROC BindBuffer;
    PFNGLBUFFERDATAPROC BufferData;
    PFNGLCLEARPROC Clear;
    PFNGLCLEARCOLORPROC ClearColor;
    PFNGLCOMPILESHADERPROC CompileShader;
    PFNGLCREATEPROGRAMPROC CreateProgram;
    PFNGLCREATESHADERPROC CreateShader;
    PFNGLDELETESHADERPROC DeleteShader;
    PFNGLDISABLEPROC Disable;
    PFNGLDISABLEVERTEXATTRIBARRAYPROC DisableVertexAttribArray;
    PFNGLDRAWARRAYSPROC DrawArrays;
    PFNGLENABLEPROC Enable;
    PFNGLENABLEVERTEXATTRIBARRAYPROC EnableVertexAttribArray;
    PFNGLFINISHPROC Finish;
    PFNGLFLUSHPROC Flush;
    PFNGLGENBUFFERSPROC GenBuffers;
    PFNGLGETERRORPROC GetError;
    PFNGLGETINTEGERVPROC GetIntegerv;
    PFNGLGETPROGRAMINFOLOGPROC GetProgramInfoLog;
    PFNGLGETPROGRAMIVPROC GetProgramiv;
    PFNGLGETSHADERINFOLOGPROC GetShaderInfoLog;
    PFNGLGETSHADERIVPROC GetShaderiv;
    PFNGLGETSTRINGPROC GetString;
    PFNGLGETUNIFORMLOCATIONPROC GetUniformLocation;
    PFNGLHINTPROC Hint;
    PFNGLLINKPROGRAMPROC LinkProgram;
    PFNGLREADPIXELSPROC ReadPixels;
    PFNGLSCISSORPROC Scissor;
    PFNGLSHADERSOURCEPROC ShaderSource;
    PFNGLUNIFORM1FPROC Uniform1f;
    PFNGLUNIFORM1IPROC Uniform1i;
    PFNGLUNIFORM3FVPROC Uniform3fv;
    PFNGLUNIFORM4FVPROC Uniform4fv;
    PFNGLUNIFORMMATRIX3FVPROC UniformMatrix3fv;
    PFNGLUNIFORMMATRIX4FVPROC UniformMatrix4fv;
    PFNGLUSEPROGRAMPROC UseProgram;
    PFNGLVERTEXATTRIB4FVPROC VertexAttrib4fv;
    PFNGLVERTEXATTRIBPOINTERPROC VertexAttribPointer;
    PFNGLVIEWPORTPROC Viewport;
};

Es2 es2;

// Attribute locations, fixed before linking; position is 0, which WebGL
// wants to be an enabled array.
enum : GLuint { kPosition = 0, kColor = 1, kNormal = 2 };

const char *const kVertexShader = R"(
attribute vec4 a_position;
attribute vec4 a_color;
attribute vec3 a_normal;
uniform mat4 u_mvp;
uniform mat3 u_normal_matrix;
uniform bool u_lighting;
uniform bool u_light0;
uniform bool u_normalize;
uniform bool u_color_material;
uniform vec4 u_scene_ambient;
uniform vec4 u_mat_ambient;
uniform vec4 u_mat_diffuse;
uniform vec4 u_mat_specular;
uniform vec4 u_mat_emission;
uniform float u_mat_shininess;
uniform vec4 u_light_ambient;
uniform vec4 u_light_diffuse;
uniform vec4 u_light_specular;
uniform vec3 u_light_dir;   // unit vector toward the light, eye space
uniform vec3 u_light_half;  // unit half vector for a viewer at infinity
varying vec4 v_color;
void main() {
    gl_Position = u_mvp * a_position;
    if (!u_lighting) {
        v_color = a_color;
        return;
    }
    vec4 ambient = u_color_material ? a_color : u_mat_ambient;
    vec4 diffuse = u_color_material ? a_color : u_mat_diffuse;
    vec3 n = u_normal_matrix * a_normal;
    if (u_normalize) n = normalize(n);
    vec3 c = u_mat_emission.rgb + ambient.rgb * u_scene_ambient.rgb;
    if (u_light0) {
        c += ambient.rgb * u_light_ambient.rgb;
        float d = dot(n, u_light_dir);
        if (d > 0.0) {
            c += d * diffuse.rgb * u_light_diffuse.rgb;
            float h = max(dot(n, u_light_half), 0.0);
            float s = u_mat_shininess == 0.0 ? 1.0 : pow(h, u_mat_shininess);
            c += s * u_mat_specular.rgb * u_light_specular.rgb;
        }
    }
    v_color = clamp(vec4(c, diffuse.a), 0.0, 1.0);
}
)";

const char *const kFragmentShader = R"(
precision mediump float;
varying vec4 v_color;
void main() { gl_FragColor = v_color; }
)";

struct Uniforms {
    GLint mvp, normal_matrix, lighting, light0, normalize, color_material, scene_ambient,
        mat_ambient, mat_diffuse, mat_specular, mat_emission, mat_shininess, light_ambient,
        light_diffuse, light_specular, light_dir, light_half;
};

struct ClientArray {
    bool on = false;
    GLint size = 4;
    GLenum type = GL_FLOAT;
    GLsizei stride = 0;
    const void *ptr = nullptr;
};

enum class Setup { kNotTried, kReady, kFailed };

// clang-format off
struct State {
    Mat4 modelview[16];
    int modelview_depth = 0;
    Mat4 projection[2];
    int projection_depth = 0;
    GLenum matrix_mode = GL_MODELVIEW;

    ClientArray vertex, color, normal;
    float current_color[4] = {1, 1, 1, 1};
    float current_normal[3] = {0, 0, 1};

    bool lighting = false, light0 = false, color_material = false, normalize = false;
    float scene_ambient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
    float mat_ambient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
    float mat_diffuse[4] = {0.8f, 0.8f, 0.8f, 1.0f};
    float mat_specular[4] = {0, 0, 0, 1};
    float mat_emission[4] = {0, 0, 0, 1};
    float mat_shininess = 0;
    float light_ambient[4] = {0, 0, 0, 1};
    float light_diffuse[4] = {1, 1, 1, 1};
    float light_specular[4] = {1, 1, 1, 1};
    float light_dir[3] = {0, 0, 1};  // eye space, unit length

    float line_width = 1.0f;
    GLint viewport[4] = {0, 0, 1, 1};
    GLenum error = GL_NO_ERROR;
};
// clang-format on

Setup setup = Setup::kNotTried;
State st;
GLuint program = 0;
GLuint buffer = 0;
Uniforms u;
char error_text[512] = "";
char version_text[256] = "";
std::vector<Vertex> staging;  // the vertices of one draw call
std::vector<Vertex> widened;  // lines turned into triangles

[[gnu::format(printf, 1, 2)]] void set_error(const char *fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(error_text, sizeof error_text, fmt, args);
    va_end(args);
}

// An unsupported request: ignored, remembered for glGetError and, the first
// one, by name.
void unsupported(const char *what, unsigned value) {
    if (st.error == GL_NO_ERROR) {
        st.error = GL_INVALID_ENUM;
        if (error_text[0] == '\0') set_error("gles1on2: unsupported %s 0x%04X", what, value);
    }
}

template <class F>
bool load(F &f, const char *name) {
    f = reinterpret_cast<F>(eglGetProcAddress(name));
    if (f == nullptr) set_error("gles1on2: OpenGL ES 2.0 has no %s", name);
    return f != nullptr;
}

bool load_all() {
    return load(es2.AttachShader, "glAttachShader") &&
           load(es2.BindAttribLocation, "glBindAttribLocation") &&
           load(es2.BindBuffer, "glBindBuffer") && load(es2.BufferData, "glBufferData") &&
           load(es2.Clear, "glClear") && load(es2.ClearColor, "glClearColor") &&
           load(es2.CompileShader, "glCompileShader") &&
           load(es2.CreateProgram, "glCreateProgram") && load(es2.CreateShader, "glCreateShader") &&
           load(es2.DeleteShader, "glDeleteShader") && load(es2.Disable, "glDisable") &&
           load(es2.DisableVertexAttribArray, "glDisableVertexAttribArray") &&
           load(es2.DrawArrays, "glDrawArrays") && load(es2.Enable, "glEnable") &&
           load(es2.EnableVertexAttribArray, "glEnableVertexAttribArray") &&
           load(es2.Finish, "glFinish") && load(es2.Flush, "glFlush") &&
           load(es2.GenBuffers, "glGenBuffers") && load(es2.GetError, "glGetError") &&
           load(es2.GetIntegerv, "glGetIntegerv") &&
           load(es2.GetProgramInfoLog, "glGetProgramInfoLog") &&
           load(es2.GetProgramiv, "glGetProgramiv") &&
           load(es2.GetShaderInfoLog, "glGetShaderInfoLog") &&
           load(es2.GetShaderiv, "glGetShaderiv") && load(es2.GetString, "glGetString") &&
           load(es2.GetUniformLocation, "glGetUniformLocation") && load(es2.Hint, "glHint") &&
           load(es2.LinkProgram, "glLinkProgram") && load(es2.ReadPixels, "glReadPixels") &&
           load(es2.Scissor, "glScissor") && load(es2.ShaderSource, "glShaderSource") &&
           load(es2.Uniform1f, "glUniform1f") && load(es2.Uniform1i, "glUniform1i") &&
           load(es2.Uniform3fv, "glUniform3fv") && load(es2.Uniform4fv, "glUniform4fv") &&
           load(es2.UniformMatrix3fv, "glUniformMatrix3fv") &&
           load(es2.UniformMatrix4fv, "glUniformMatrix4fv") &&
           load(es2.UseProgram, "glUseProgram") && load(es2.VertexAttrib4fv, "glVertexAttrib4fv") &&
           load(es2.VertexAttribPointer, "glVertexAttribPointer") &&
           load(es2.Viewport, "glViewport");
}

GLuint compile(GLenum kind, const char *source, const char *what) {
    const GLuint s = es2.CreateShader(kind);
    es2.ShaderSource(s, 1, &source, nullptr);
    es2.CompileShader(s);
    GLint ok = 0;
    es2.GetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[256] = "";
        es2.GetShaderInfoLog(s, sizeof log, nullptr, log);
        set_error("gles1on2: the %s shader does not compile: %s", what, log);
        es2.DeleteShader(s);
        return 0;
    }
    return s;
}

bool build_program() {
    const GLuint vs = compile(GL_VERTEX_SHADER, kVertexShader, "vertex");
    if (vs == 0) return false;
    const GLuint fs = compile(GL_FRAGMENT_SHADER, kFragmentShader, "fragment");
    if (fs == 0) return false;
    program = es2.CreateProgram();
    es2.AttachShader(program, vs);
    es2.AttachShader(program, fs);
    es2.BindAttribLocation(program, kPosition, "a_position");
    es2.BindAttribLocation(program, kColor, "a_color");
    es2.BindAttribLocation(program, kNormal, "a_normal");
    es2.LinkProgram(program);
    es2.DeleteShader(vs);
    es2.DeleteShader(fs);
    GLint ok = 0;
    es2.GetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[256] = "";
        es2.GetProgramInfoLog(program, sizeof log, nullptr, log);
        set_error("gles1on2: the shader program does not link: %s", log);
        return false;
    }
    auto at = [](const char *name) { return es2.GetUniformLocation(program, name); };
    u = Uniforms{at("u_mvp"),           at("u_normal_matrix"), at("u_lighting"),
                 at("u_light0"),        at("u_normalize"),     at("u_color_material"),
                 at("u_scene_ambient"), at("u_mat_ambient"),   at("u_mat_diffuse"),
                 at("u_mat_specular"),  at("u_mat_emission"),  at("u_mat_shininess"),
                 at("u_light_ambient"), at("u_light_diffuse"), at("u_light_specular"),
                 at("u_light_dir"),     at("u_light_half")};
    es2.GenBuffers(1, &buffer);
    return true;
}

bool ready() {
    if (setup == Setup::kNotTried) gles1on2_init();
    return setup == Setup::kReady;
}

Mat4 &top() {
    return st.matrix_mode == GL_PROJECTION ? st.projection[st.projection_depth]
                                           : st.modelview[st.modelview_depth];
}

void apply(const Mat4 &op) { top() = g12::multiply(top(), op); }

// Reads vertex i of a client array as up to `n` floats into out (which
// holds the defaults for missing components).
void fetch(const ClientArray &a, int i, int n, float *out) {
    const int size = a.size < n ? a.size : n;
    const GLsizei step = a.stride ? a.stride : a.size * (GLsizei)sizeof(float);
    const float *p =
        reinterpret_cast<const float *>(static_cast<const char *>(a.ptr) + (size_t)i * step);
    for (int k = 0; k < size; k++) out[k] = p[k];
}

// Gathers vertices first .. first + count - 1 of the enabled arrays.
void gather(GLint first, GLsizei count) {
    staging.resize((size_t)count);
    for (GLsizei v = 0; v < count; v++) {
        Vertex &x = staging[(size_t)v];
        x.pos[0] = x.pos[1] = x.pos[2] = 0.0f;
        x.pos[3] = 1.0f;
        fetch(st.vertex, first + v, 4, x.pos);
        if (st.color.on)
            fetch(st.color, first + v, 4, x.color);
        else
            std::memcpy(x.color, st.current_color, sizeof x.color);
        // Unlit, the shader never looks at the normal.
        if (st.normal.on && st.lighting)
            fetch(st.normal, first + v, 3, x.normal);
        else
            std::memcpy(x.normal, st.current_normal, sizeof x.normal);
    }
}

void set_uniforms(const Mat4 &mvp) {
    const Mat4 &mv = st.modelview[st.modelview_depth];
    float nm[9];
    g12::normal_matrix(mv, nm);
    es2.UniformMatrix4fv(u.mvp, 1, GL_FALSE, mvp.m);
    es2.UniformMatrix3fv(u.normal_matrix, 1, GL_FALSE, nm);
    es2.Uniform1i(u.lighting, st.lighting);
    if (!st.lighting) return;
    es2.Uniform1i(u.light0, st.light0);
    es2.Uniform1i(u.normalize, st.normalize);
    es2.Uniform1i(u.color_material, st.color_material);
    es2.Uniform4fv(u.scene_ambient, 1, st.scene_ambient);
    es2.Uniform4fv(u.mat_ambient, 1, st.mat_ambient);
    es2.Uniform4fv(u.mat_diffuse, 1, st.mat_diffuse);
    es2.Uniform4fv(u.mat_specular, 1, st.mat_specular);
    es2.Uniform4fv(u.mat_emission, 1, st.mat_emission);
    es2.Uniform1f(u.mat_shininess, st.mat_shininess);
    es2.Uniform4fv(u.light_ambient, 1, st.light_ambient);
    es2.Uniform4fv(u.light_diffuse, 1, st.light_diffuse);
    es2.Uniform4fv(u.light_specular, 1, st.light_specular);
    es2.Uniform3fv(u.light_dir, 1, st.light_dir);
    float half[3] = {st.light_dir[0], st.light_dir[1], st.light_dir[2] + 1.0f};
    const float len = std::sqrt(half[0] * half[0] + half[1] * half[1] + half[2] * half[2]);
    for (float &h : half) h = len > 0.0f ? h / len : 0.0f;
    es2.Uniform3fv(u.light_half, 1, half);
}

void submit(GLenum mode, const std::vector<Vertex> &verts) {
    if (verts.empty()) return;
    es2.BindBuffer(GL_ARRAY_BUFFER, buffer);
    es2.BufferData(GL_ARRAY_BUFFER, (GLsizeiptr)(verts.size() * sizeof(Vertex)), verts.data(),
                   GL_STREAM_DRAW);
    const GLsizei stride = sizeof(Vertex);
    es2.EnableVertexAttribArray(kPosition);
    es2.VertexAttribPointer(kPosition, 4, GL_FLOAT, GL_FALSE, stride,
                            reinterpret_cast<const void *>(offsetof(Vertex, pos)));
    es2.EnableVertexAttribArray(kColor);
    es2.VertexAttribPointer(kColor, 4, GL_FLOAT, GL_FALSE, stride,
                            reinterpret_cast<const void *>(offsetof(Vertex, color)));
    es2.EnableVertexAttribArray(kNormal);
    es2.VertexAttribPointer(kNormal, 3, GL_FLOAT, GL_FALSE, stride,
                            reinterpret_cast<const void *>(offsetof(Vertex, normal)));
    es2.DrawArrays(mode, 0, (GLsizei)verts.size());
}

bool float_array(const ClientArray &a) {
    return a.ptr != nullptr && a.type == GL_FLOAT && a.size >= 1 && a.size <= 4;
}

// Lines: each segment becomes a parallelogram in clip space, drawn with an
// identity transform.
void draw_lines(GLenum mode, const Mat4 &mvp) {
    widened.clear();
    const size_t n = staging.size();
    for (Vertex &v : staging) {
        float clip[4];
        g12::transform(mvp, v.pos, clip);
        std::memcpy(v.pos, clip, sizeof clip);
    }
    auto segment = [&](size_t i, size_t j) {
        g12::widen_segment(staging[i], staging[j], st.line_width, st.viewport[2], st.viewport[3],
                           widened);
    };
    if (mode == GL_LINES) {
        for (size_t i = 0; i + 1 < n; i += 2) segment(i, i + 1);
    } else {
        for (size_t i = 0; i + 1 < n; i++) segment(i, i + 1);
        if (mode == GL_LINE_LOOP && n > 2) segment(n - 1, 0);
    }
    set_uniforms(g12::identity());
    submit(GL_TRIANGLES, widened);
}

// While colour material is on, the current colour is written into the
// material's ambient and diffuse colours, which keep it after it is turned
// off again, as in GL.
void track_color() {
    if (!st.color_material) return;
    std::memcpy(st.mat_ambient, st.current_color, sizeof st.mat_ambient);
    std::memcpy(st.mat_diffuse, st.current_color, sizeof st.mat_diffuse);
}

bool layer_cap(GLenum cap, bool on) {
    switch (cap) {
    case GL_LIGHTING: st.lighting = on; return true;
    case GL_LIGHT0: st.light0 = on; return true;
    case GL_COLOR_MATERIAL:
        st.color_material = on;
        track_color();
        return true;
    case GL_NORMALIZE: st.normalize = on; return true;
    default: return false;
    }
}

bool passed_cap(GLenum cap) {
    switch (cap) {
    case GL_DEPTH_TEST:
    case GL_SCISSOR_TEST:
    case GL_CULL_FACE:
    case GL_BLEND:
    case GL_DITHER:
    case GL_POLYGON_OFFSET_FILL:
    case GL_STENCIL_TEST:
    case GL_SAMPLE_ALPHA_TO_COVERAGE:
    case GL_SAMPLE_COVERAGE: return true;
    default: return false;
    }
}

ClientArray *client_array(GLenum array) {
    switch (array) {
    case GL_VERTEX_ARRAY: return &st.vertex;
    case GL_COLOR_ARRAY: return &st.color;
    case GL_NORMAL_ARRAY: return &st.normal;
    default: return nullptr;
    }
}

}  // namespace

extern "C" int gles1on2_init(void) {
    error_text[0] = '\0';
    setup = Setup::kFailed;
    st = State{};
    st.modelview[0] = g12::identity();
    st.projection[0] = g12::identity();
    if (eglGetCurrentContext() == EGL_NO_CONTEXT) {
        set_error("gles1on2: no OpenGL ES context is current");
        return -1;
    }
    if (!load_all() || !build_program()) return -1;
    es2.GetIntegerv(GL_VIEWPORT, st.viewport);
    const char *real = reinterpret_cast<const char *>(es2.GetString(GL_VERSION));
    std::snprintf(version_text, sizeof version_text, "OpenGL ES-CM 1.1 gles1on2 on %s",
                  real ? real : "an unknown OpenGL ES");
    setup = Setup::kReady;
    return 0;
}

extern "C" const char *gles1on2_error(void) { return error_text; }

// ---- state passed on to OpenGL ES 2.0 -------------------------------------

GL_API void GL_APIENTRY glClearColor(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha) {
    if (ready()) es2.ClearColor(red, green, blue, alpha);
}

GL_API void GL_APIENTRY glClear(GLbitfield mask) {
    if (ready()) es2.Clear(mask);
}

GL_API void GL_APIENTRY glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    if (!ready()) return;
    st.viewport[0] = x;
    st.viewport[1] = y;
    st.viewport[2] = width;
    st.viewport[3] = height;
    es2.Viewport(x, y, width, height);
}

GL_API void GL_APIENTRY glScissor(GLint x, GLint y, GLsizei width, GLsizei height) {
    if (ready()) es2.Scissor(x, y, width, height);
}

GL_API void GL_APIENTRY glFlush(void) {
    if (ready()) es2.Flush();
}

GL_API void GL_APIENTRY glFinish(void) {
    if (ready()) es2.Finish();
}

GL_API void GL_APIENTRY glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format,
                                     GLenum type, void *pixels) {
    if (ready()) es2.ReadPixels(x, y, width, height, format, type, pixels);
}

GL_API const GLubyte *GL_APIENTRY glGetString(GLenum name) {
    if (!ready()) return nullptr;
    if (name == GL_VERSION) return reinterpret_cast<const GLubyte *>(version_text);
    return es2.GetString(name);
}

GL_API GLenum GL_APIENTRY glGetError(void) {
    if (!ready()) return GL_INVALID_OPERATION;
    const GLenum own = st.error;
    st.error = GL_NO_ERROR;
    const GLenum real = es2.GetError();
    return own != GL_NO_ERROR ? own : real;
}

GL_API void GL_APIENTRY glEnable(GLenum cap) {
    if (!ready() || layer_cap(cap, true)) return;
    if (passed_cap(cap))
        es2.Enable(cap);
    else
        unsupported("capability", cap);
}

GL_API void GL_APIENTRY glDisable(GLenum cap) {
    if (!ready() || layer_cap(cap, false)) return;
    if (passed_cap(cap))
        es2.Disable(cap);
    else
        unsupported("capability", cap);
}

GL_API void GL_APIENTRY glHint(GLenum target, GLenum mode) {
    if (!ready()) return;
    // OpenGL ES 2.0 always interpolates with perspective correction; the
    // smoothing and fog hints have nothing to act on here.
    if (target == GL_GENERATE_MIPMAP_HINT) es2.Hint(target, mode);
}

GL_API void GL_APIENTRY glLineWidth(GLfloat width) {
    if (!ready()) return;
    if (width > 0.0f) st.line_width = width;
}

// ---- matrices -------------------------------------------------------------

GL_API void GL_APIENTRY glMatrixMode(GLenum mode) {
    if (!ready()) return;
    if (mode == GL_MODELVIEW || mode == GL_PROJECTION)
        st.matrix_mode = mode;
    else
        unsupported("matrix mode", mode);
}

GL_API void GL_APIENTRY glLoadIdentity(void) {
    if (ready()) top() = g12::identity();
}

GL_API void GL_APIENTRY glLoadMatrixf(const GLfloat *m) {
    if (ready()) std::memcpy(top().m, m, sizeof(Mat4));
}

GL_API void GL_APIENTRY glMultMatrixf(const GLfloat *m) {
    if (!ready()) return;
    Mat4 op;
    std::memcpy(op.m, m, sizeof op.m);
    apply(op);
}

GL_API void GL_APIENTRY glPushMatrix(void) {
    if (!ready()) return;
    int &depth = st.matrix_mode == GL_PROJECTION ? st.projection_depth : st.modelview_depth;
    const int capacity = st.matrix_mode == GL_PROJECTION ? 2 : 16;
    if (depth + 1 >= capacity) {
        st.error = GL_STACK_OVERFLOW;
        return;
    }
    Mat4 *stack = st.matrix_mode == GL_PROJECTION ? st.projection : st.modelview;
    stack[depth + 1] = stack[depth];
    depth++;
}

GL_API void GL_APIENTRY glPopMatrix(void) {
    if (!ready()) return;
    int &depth = st.matrix_mode == GL_PROJECTION ? st.projection_depth : st.modelview_depth;
    if (depth == 0) {
        st.error = GL_STACK_UNDERFLOW;
        return;
    }
    depth--;
}

GL_API void GL_APIENTRY glFrustumf(GLfloat l, GLfloat r, GLfloat b, GLfloat t, GLfloat n,
                                   GLfloat f) {
    if (!ready()) return;
    if (n <= 0.0f || f <= 0.0f || l == r || b == t || n == f) {
        st.error = GL_INVALID_VALUE;
        return;
    }
    apply(g12::frustum(l, r, b, t, n, f));
}

GL_API void GL_APIENTRY glOrthof(GLfloat l, GLfloat r, GLfloat b, GLfloat t, GLfloat n, GLfloat f) {
    if (!ready()) return;
    if (l == r || b == t || n == f) {
        st.error = GL_INVALID_VALUE;
        return;
    }
    apply(g12::ortho(l, r, b, t, n, f));
}

GL_API void GL_APIENTRY glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    if (ready()) apply(g12::translation(x, y, z));
}

GL_API void GL_APIENTRY glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
    if (ready()) apply(g12::rotation(angle, x, y, z));
}

GL_API void GL_APIENTRY glScalef(GLfloat x, GLfloat y, GLfloat z) {
    if (ready()) apply(g12::scaling(x, y, z));
}

// ---- colour and lighting ---------------------------------------------------

GL_API void GL_APIENTRY glColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha) {
    if (!ready()) return;
    st.current_color[0] = red;
    st.current_color[1] = green;
    st.current_color[2] = blue;
    st.current_color[3] = alpha;
    track_color();
}

GL_API void GL_APIENTRY glNormal3f(GLfloat nx, GLfloat ny, GLfloat nz) {
    if (!ready()) return;
    st.current_normal[0] = nx;
    st.current_normal[1] = ny;
    st.current_normal[2] = nz;
}

GL_API void GL_APIENTRY glLightfv(GLenum light, GLenum pname, const GLfloat *params) {
    if (!ready()) return;
    if (light != GL_LIGHT0) {
        unsupported("light", light);
        return;
    }
    switch (pname) {
    case GL_AMBIENT: std::memcpy(st.light_ambient, params, 4 * sizeof(float)); break;
    case GL_DIFFUSE: std::memcpy(st.light_diffuse, params, 4 * sizeof(float)); break;
    case GL_SPECULAR: std::memcpy(st.light_specular, params, 4 * sizeof(float)); break;
    case GL_POSITION: {
        if (params[3] != 0.0f) {
            unsupported("positional light (w)", 1);
            return;
        }
        // Taken into eye space by the modelview matrix of this moment.
        float eye[4];
        g12::transform(st.modelview[st.modelview_depth], params, eye);
        const float len = std::sqrt(eye[0] * eye[0] + eye[1] * eye[1] + eye[2] * eye[2]);
        for (int k = 0; k < 3; k++) st.light_dir[k] = len > 0.0f ? eye[k] / len : 0.0f;
        break;
    }
    default: unsupported("light parameter", pname);
    }
}

// ---- client arrays and drawing ---------------------------------------------

GL_API void GL_APIENTRY glEnableClientState(GLenum array) {
    if (!ready()) return;
    if (ClientArray *a = client_array(array))
        a->on = true;
    else
        unsupported("client array", array);
}

GL_API void GL_APIENTRY glDisableClientState(GLenum array) {
    if (!ready()) return;
    if (ClientArray *a = client_array(array))
        a->on = false;
    else
        unsupported("client array", array);
}

GL_API void GL_APIENTRY glVertexPointer(GLint size, GLenum type, GLsizei stride,
                                        const void *pointer) {
    if (!ready()) return;
    st.vertex = ClientArray{st.vertex.on, size, type, stride, pointer};
}

GL_API void GL_APIENTRY glColorPointer(GLint size, GLenum type, GLsizei stride,
                                       const void *pointer) {
    if (!ready()) return;
    st.color = ClientArray{st.color.on, size, type, stride, pointer};
}

GL_API void GL_APIENTRY glNormalPointer(GLenum type, GLsizei stride, const void *pointer) {
    if (!ready()) return;
    st.normal = ClientArray{st.normal.on, 3, type, stride, pointer};
}

GL_API void GL_APIENTRY glDrawArrays(GLenum mode, GLint first, GLsizei count) {
    if (!ready() || count <= 0 || first < 0) return;
    if (!st.vertex.on || !float_array(st.vertex) || (st.color.on && !float_array(st.color)) ||
        (st.normal.on && !float_array(st.normal))) {
        unsupported("client array type or size", st.vertex.type);
        return;
    }
    const Mat4 mvp =
        g12::multiply(st.projection[st.projection_depth], st.modelview[st.modelview_depth]);
    es2.UseProgram(program);
    gather(first, count);
    switch (mode) {
    case GL_TRIANGLES:
    case GL_TRIANGLE_STRIP:
    case GL_TRIANGLE_FAN:
        set_uniforms(mvp);
        submit(mode, staging);
        break;
    case GL_LINES:
    case GL_LINE_STRIP:
    case GL_LINE_LOOP: draw_lines(mode, mvp); break;
    default: unsupported("primitive mode", mode);
    }
}
