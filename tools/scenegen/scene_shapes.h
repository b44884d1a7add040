// Mesh shapes for generated scenes, in scene coordinates (+z up).
//
// Winding: every face is wound so that cross(v1 - v0, v2 - v0) points out of
// the solid (or toward the side meant to be seen). Seen from that side, its
// vertices then run clockwise on the screen, which is what the viewer draws as
// a front face; back faces are culled. Polygons of more than three vertices
// are convex and planar (drawn as a fan).
#pragma once

#include <cstdint>
#include <vector>

#include "tools/scenegen/scene_writer.h"

// Appends a face, reversing its order if needed so that its normal points
// along `outward`.
void addOutwardFace(SceneMeshData& mesh, std::vector<std::uint32_t> indices, const Vec3d& outward);

// A horizontal quad at height z, seen from above. Vertex 0 is the corner at
// (x0, y1), then (x1, y1), (x1, y0), (x0, y0): with the camera looking along
// +y (scene +x is on the screen's left), vertex 0 is the far left corner, so a
// 4-vertex textured quad shows its texture upright.
SceneMeshData makeFloor(double x0, double x1, double y0, double y1, double z);

// A box of 8 vertices: top ring 0-3 and bottom ring 4-7. The bottom vertex
// below top corner k is 4 + (k + 1) % 4, so that a textured box (whose
// vertices 0-3 and 4-7 get the corners (0,0) (1,0) (1,1) (0,1)) shows a
// non-degenerate texture on its sides too. Six quad faces.
SceneMeshData makeBox(const Vec3d& centre, double sx, double sy, double sz);

// A tetrahedron of 4 vertices standing on z = base.
SceneMeshData makeTetrahedron(const Vec3d& baseCentre, double radius, double height);

// An octahedron of 6 vertices.
SceneMeshData makeOctahedron(const Vec3d& centre, double radius, double halfHeight);

// A closed cylinder (upright) with `sides` quads around and two cap polygons.
SceneMeshData makeCylinder(const Vec3d& baseCentre, double radius, double height, int sides);

// A UV sphere: `stacks` bands from pole to pole, `slices` around; two pole
// vertices shared by triangle fans, quads split into triangles. It has
// 2 * slices * (stacks - 1) triangles.
SceneMeshData makeSphere(const Vec3d& centre, double radius, int stacks, int slices);

// Stacks for a sphere of about `triangles` triangles (slices = 2 * stacks),
// and the largest count whose faces fit one mesh's face-data table.
int sphereStacksForTriangles(long long triangles);
long long maxSphereTriangles();

// A large textured panel of cols x rows grid points facing -y, curved toward
// the camera at its left and right ends, with its texture coordinates carried
// in the table entries four places on: grid point g is vertex (g/4)*8 + g%4,
// and vertex j + 4 holds (u, v, 0) for vertex j. u runs 0..1 from the screen's
// left edge (scene +x) to its right, v 0..1 from top to bottom.
SceneMeshData makeCurvedPanel(const Vec3d& centre, double width, double height, double bulge,
                              int cols, int rows);

// Index of grid point g in a mesh laid out like makeCurvedPanel.
inline std::uint32_t panelVertexIndex(std::uint32_t g) {
    return (g / 4) * 8 + g % 4;
}
