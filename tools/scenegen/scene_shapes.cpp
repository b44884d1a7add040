#include "tools/scenegen/scene_shapes.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

Vec3d sub(const Vec3d& a, const Vec3d& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3d cross(const Vec3d& a, const Vec3d& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double dot(const Vec3d& a, const Vec3d& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vec3d centroid(const std::vector<Vec3d>& v) {
    Vec3d c{};
    for (const Vec3d& p : v) {
        c.x += p.x;
        c.y += p.y;
        c.z += p.z;
    }
    const double n = v.empty() ? 1.0 : static_cast<double>(v.size());
    return {c.x / n, c.y / n, c.z / n};
}

// Winds every face of a closed convex solid outward from its centre.
void addConvexFace(SceneMeshData& mesh, std::vector<std::uint32_t> indices, const Vec3d& centre) {
    std::vector<Vec3d> pts;
    for (std::uint32_t i : indices)
        pts.push_back(mesh.vertices[i]);
    addOutwardFace(mesh, std::move(indices), sub(centroid(pts), centre));
}

} // namespace

void addOutwardFace(SceneMeshData& mesh, std::vector<std::uint32_t> indices, const Vec3d& outward) {
    const Vec3d& a = mesh.vertices[indices[0]];
    const Vec3d& b = mesh.vertices[indices[1]];
    const Vec3d& c = mesh.vertices[indices[2]];
    if (dot(cross(sub(b, a), sub(c, a)), outward) < 0)
        std::reverse(indices.begin(), indices.end());
    mesh.faceData.push_back(static_cast<std::uint32_t>(indices.size()));
    mesh.faceData.insert(mesh.faceData.end(), indices.begin(), indices.end());
}

SceneMeshData makeFloor(double x0, double x1, double y0, double y1, double z) {
    SceneMeshData m;
    m.vertices = {{x0, y1, z}, {x1, y1, z}, {x1, y0, z}, {x0, y0, z}};
    addOutwardFace(m, {0, 1, 2, 3}, {0, 0, 1});
    endFaces(m.faceData);
    return m;
}

SceneMeshData makeBox(const Vec3d& c, double sx, double sy, double sz) {
    const double hx = sx / 2, hy = sy / 2, hz = sz / 2;
    // Corners around, as seen from above with scene +x on the screen's left:
    // far left, far right, near right, near left.
    const double cx[4] = {c.x + hx, c.x - hx, c.x - hx, c.x + hx};
    const double cy[4] = {c.y + hy, c.y + hy, c.y - hy, c.y - hy};
    SceneMeshData m;
    m.vertices.resize(8);
    std::uint32_t top[4], bottom[4];
    for (int k = 0; k < 4; ++k) {
        top[k] = static_cast<std::uint32_t>(k);
        bottom[k] = static_cast<std::uint32_t>(4 + (k + 1) % 4);
        m.vertices[top[k]] = {cx[k], cy[k], c.z + hz};
        m.vertices[bottom[k]] = {cx[k], cy[k], c.z - hz};
    }
    addConvexFace(m, {top[0], top[1], top[2], top[3]}, c);
    addConvexFace(m, {bottom[3], bottom[2], bottom[1], bottom[0]}, c);
    for (int k = 0; k < 4; ++k) {
        const int n = (k + 1) % 4;
        addConvexFace(m, {top[k], top[n], bottom[n], bottom[k]}, c);
    }
    endFaces(m.faceData);
    return m;
}

SceneMeshData makeTetrahedron(const Vec3d& b, double radius, double height) {
    SceneMeshData m;
    for (int k = 0; k < 3; ++k) {
        const double a = 2 * std::numbers::pi * k / 3 + std::numbers::pi / 2;
        m.vertices.push_back({b.x + radius * std::cos(a), b.y + radius * std::sin(a), b.z});
    }
    m.vertices.push_back({b.x, b.y, b.z + height});
    const Vec3d c = centroid(m.vertices);
    addConvexFace(m, {0, 1, 2}, c);
    addConvexFace(m, {0, 1, 3}, c);
    addConvexFace(m, {1, 2, 3}, c);
    addConvexFace(m, {2, 0, 3}, c);
    endFaces(m.faceData);
    return m;
}

SceneMeshData makeOctahedron(const Vec3d& c, double radius, double halfHeight) {
    SceneMeshData m;
    m.vertices = {{c.x + radius, c.y, c.z},     {c.x, c.y + radius, c.z},
                  {c.x - radius, c.y, c.z},     {c.x, c.y - radius, c.z},
                  {c.x, c.y, c.z + halfHeight}, {c.x, c.y, c.z - halfHeight}};
    for (std::uint32_t k = 0; k < 4; ++k) {
        addConvexFace(m, {k, (k + 1) % 4, 4}, c);
        addConvexFace(m, {k, (k + 1) % 4, 5}, c);
    }
    endFaces(m.faceData);
    return m;
}

SceneMeshData makeCylinder(const Vec3d& b, double radius, double height, int sides) {
    SceneMeshData m;
    const auto n = static_cast<std::uint32_t>(sides);
    for (std::uint32_t k = 0; k < n; ++k) {
        const double a = 2 * std::numbers::pi * k / n;
        m.vertices.push_back({b.x + radius * std::cos(a), b.y + radius * std::sin(a), b.z});
        m.vertices.push_back(
            {b.x + radius * std::cos(a), b.y + radius * std::sin(a), b.z + height});
    }
    const Vec3d c{b.x, b.y, b.z + height / 2};
    std::vector<std::uint32_t> bottomCap, topCap;
    for (std::uint32_t k = 0; k < n; ++k) {
        const std::uint32_t next = (k + 1) % n;
        addConvexFace(m, {2 * k, 2 * next, 2 * next + 1, 2 * k + 1}, c);
        bottomCap.push_back(2 * k);
        topCap.push_back(2 * k + 1);
    }
    addOutwardFace(m, bottomCap, {0, 0, -1});
    addOutwardFace(m, topCap, {0, 0, 1});
    endFaces(m.faceData);
    return m;
}

SceneMeshData makeSphere(const Vec3d& c, double radius, int stacks, int slices) {
    SceneMeshData m;
    const auto st = static_cast<std::uint32_t>(stacks);
    const auto sl = static_cast<std::uint32_t>(slices);
    m.vertices.push_back({c.x, c.y, c.z + radius}); // north pole
    for (std::uint32_t i = 1; i < st; ++i) {
        const double polar = std::numbers::pi * i / st;
        for (std::uint32_t j = 0; j < sl; ++j) {
            const double az = 2 * std::numbers::pi * j / sl;
            m.vertices.push_back({c.x + radius * std::sin(polar) * std::cos(az),
                                  c.y + radius * std::sin(polar) * std::sin(az),
                                  c.z + radius * std::cos(polar)});
        }
    }
    const auto south = static_cast<std::uint32_t>(m.vertices.size());
    m.vertices.push_back({c.x, c.y, c.z - radius});
    auto ring = [&](std::uint32_t i, std::uint32_t j) { return 1 + (i - 1) * sl + j % sl; };
    m.faceData.reserve(8 * st * sl + 1);
    for (std::uint32_t j = 0; j < sl; ++j) {
        addConvexFace(m, {0, ring(1, j), ring(1, j + 1)}, c);
        addConvexFace(m, {south, ring(st - 1, j + 1), ring(st - 1, j)}, c);
    }
    for (std::uint32_t i = 1; i + 1 < st; ++i) {
        for (std::uint32_t j = 0; j < sl; ++j) {
            addConvexFace(m, {ring(i, j), ring(i + 1, j), ring(i + 1, j + 1)}, c);
            addConvexFace(m, {ring(i, j), ring(i + 1, j + 1), ring(i, j + 1)}, c);
        }
    }
    endFaces(m.faceData);
    return m;
}

int sphereStacksForTriangles(long long triangles) {
    // 2 * slices * (stacks - 1) with slices = 2 * stacks is 4 * stacks * (stacks - 1).
    const double n = static_cast<double>(std::max(triangles, 0LL));
    return std::max(3, static_cast<int>(std::lround((1.0 + std::sqrt(1.0 + n)) / 2.0)));
}

long long maxSphereTriangles() {
    // Each triangle takes 4 face-data words, plus the terminating 0.
    long long stacks = 3;
    while (16 * (stacks + 1) * stacks + 1 <= kMeshTableCapacity)
        ++stacks;
    return 4 * stacks * (stacks - 1);
}

SceneMeshData makeCurvedPanel(const Vec3d& c, double width, double height, double bulge, int cols,
                              int rows) {
    SceneMeshData m;
    const auto nc = static_cast<std::uint32_t>(cols);
    const auto nr = static_cast<std::uint32_t>(rows);
    const std::uint32_t points = nc * nr;
    const std::uint32_t blocks = (points + 3) / 4;
    m.vertices.assign(blocks * 8, Vec3d{});
    for (std::uint32_t r = 0; r < nr; ++r) {
        for (std::uint32_t k = 0; k < nc; ++k) {
            const double u = static_cast<double>(k) / (nc - 1);
            const double v = static_cast<double>(r) / (nr - 1);
            const double t = 2 * u - 1; // -1 at the left edge, 1 at the right
            const std::uint32_t j = panelVertexIndex(r * nc + k);
            // Screen left is scene +x.
            m.vertices[j] = {c.x + width / 2 * -t, c.y - bulge * t * t,
                             c.z + height / 2 - v * height};
            m.vertices[j + 4] = {u, v, 0.0};
        }
    }
    for (std::uint32_t r = 0; r + 1 < nr; ++r) {
        for (std::uint32_t k = 0; k + 1 < nc; ++k) {
            const std::uint32_t g = r * nc + k;
            addOutwardFace(m,
                           {panelVertexIndex(g), panelVertexIndex(g + 1),
                            panelVertexIndex(g + nc + 1), panelVertexIndex(g + nc)},
                           {0, -1, 0});
        }
    }
    endFaces(m.faceData);
    return m;
}
