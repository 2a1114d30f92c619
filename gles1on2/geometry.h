/* geometry.h - the arithmetic of the GLES 1.x layer that needs no GL: 4x4
 * matrices as GL builds them, the normal matrix, and wide lines turned into
 * triangles. Internal to gles1on2 (and its tests).
 *
 * Matrices are column-major float[16], as glLoadMatrixf takes them, and
 * composed the way GL does: m = m * op.
 */
#ifndef KESTOVAR_GLES1ON2_GEOMETRY_H
#define KESTOVAR_GLES1ON2_GEOMETRY_H

#include <vector>

namespace g12 {

struct Mat4 {
    float m[16];
};

Mat4 identity();
Mat4 multiply(const Mat4 &a, const Mat4 &b);  // a * b
Mat4 frustum(float l, float r, float b, float t, float n, float f);
Mat4 ortho(float l, float r, float b, float t, float n, float f);
Mat4 translation(float x, float y, float z);
Mat4 rotation(float degrees, float x, float y, float z);  // about (x, y, z)
Mat4 scaling(float x, float y, float z);
void transform(const Mat4 &a, const float in[4], float out[4]);  // out = a * in

// The inverse transpose of the upper 3x3 of `a`, column-major, which carries
// normals into eye space. A singular matrix gives all zeros.
void normal_matrix(const Mat4 &a, float out[9]);

// One vertex as the shader takes it.
struct Vertex {
    float pos[4];
    float color[4];
    float normal[3];
};

// The segment a-b (positions in clip coordinates) as two triangles covering
// what GL rasterises for an aliased line `width` pixels wide in a viewport
// of vw x vh pixels: the segment's window-space length, widened by `width`
// across its minor axis (vertically for a line that runs more across than
// up). The part behind the near plane is cut off first; colours and normals
// are interpolated to the cut. Appends 6 vertices, or none when nothing of
// the segment is in front of the near plane.
void widen_segment(const Vertex &a, const Vertex &b, float width, int vw, int vh,
                   std::vector<Vertex> &out);

}  // namespace g12

#endif
