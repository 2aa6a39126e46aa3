#include "platform/engine/vn_mesh.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>

namespace Vantorr_nsp {
namespace {

constexpr int kMaxSegments = 1024;
constexpr float kPi = 3.14159265358979f;

vnVertex vertex(const vnVector3& p, const vnVector3& n, float u, float v) {
    return vnVertex{{p.x, p.y, p.z}, {n.x, n.y, n.z}, {u, v}, {1.0f, 1.0f, 1.0f, 1.0f}};
}

// A grid of cells on the rectangle origin + s * du + t * dv (s, t in 0..1), facing normal.
// Faces wind counter-clockwise seen from the side the normal points to.
void addGrid(std::vector<vnVertex>& vertices, std::vector<uint32_t>& indices,
             const vnVector3& origin, const vnVector3& du, const vnVector3& dv,
             const vnVector3& normal, int cells_u, int cells_v, float tile_u, float tile_v) {
    const uint32_t base = uint32_t(vertices.size());
    for (int j = 0; j <= cells_v; ++j) {
        for (int i = 0; i <= cells_u; ++i) {
            const float s = float(i) / float(cells_u), t = float(j) / float(cells_v);
            vertices.push_back(vertex(origin + du * s + dv * t, normal, s * tile_u, t * tile_v));
        }
    }
    const bool flip = du.cross(dv).dot(normal) < 0.0f;
    const uint32_t row = uint32_t(cells_u + 1);
    for (int j = 0; j < cells_v; ++j) {
        for (int i = 0; i < cells_u; ++i) {
            const uint32_t a = base + uint32_t(j) * row + uint32_t(i), b = a + 1, c = a + row,
                           d = c + 1;
            if (!flip)
                indices.insert(indices.end(), {a, b, d, a, d, c});
            else
                indices.insert(indices.end(), {a, d, b, a, c, d});
        }
    }
}

}  // namespace

vnMesh::~vnMesh() {
    if (glDeleteBuffers) {
        if (m_vbo) glDeleteBuffers(1, &m_vbo);
        if (m_ibo) glDeleteBuffers(1, &m_ibo);
    }
}

bool vnMesh::build(const vnMeshDesc& d) {
    for (int s : d.segments)
        if (s < 1 || s > kMaxSegments) return false;
    if (!(d.size.x > 0.0f) || !std::isfinite(d.size.x) || !std::isfinite(d.size.y) ||
        !std::isfinite(d.size.z))
        return false;
    auto& v = m_data.m_vertices;
    auto& idx = m_data.m_indices;
    v.clear();
    idx.clear();
    switch (d.type) {
        case VN_MESH_PLANE: {
            if (!(d.size.z > 0.0f)) return false;
            const float hx = d.size.x * 0.5f, hz = d.size.z * 0.5f;
            addGrid(v, idx, {-hx, 0.0f, hz}, {d.size.x, 0, 0}, {0, 0, -d.size.z}, {0, 1, 0},
                    d.segments[0], d.segments[2], d.tiling[0], d.tiling[1]);
            break;
        }
        case VN_MESH_SPHERE: {
            const float r = d.size.x;
            const int slices = std::max(3, d.segments[0]), stacks = std::max(2, d.segments[1]);
            for (int j = 0; j <= stacks; ++j) {
                const float phi = kPi * float(j) / float(stacks);  // from the north pole
                for (int i = 0; i <= slices; ++i) {
                    const float theta = 2.0f * kPi * float(i) / float(slices);
                    const vnVector3 n{std::sin(phi) * std::cos(theta), std::cos(phi),
                                      -std::sin(phi) * std::sin(theta)};
                    v.push_back(vertex(n * r, n, float(i) / float(slices),
                                       1.0f - float(j) / float(stacks)));
                }
            }
            const uint32_t row = uint32_t(slices + 1);
            for (int j = 0; j < stacks; ++j) {
                for (int i = 0; i < slices; ++i) {
                    const uint32_t a = uint32_t(j) * row + uint32_t(i), b = a + 1, c = a + row,
                                   e = c + 1;
                    // The rows at the poles collapse to a point: one triangle per cell.
                    if (j != 0) idx.insert(idx.end(), {a, c, b});
                    if (j != stacks - 1) idx.insert(idx.end(), {b, c, e});
                }
            }
            break;
        }
        case VN_MESH_BOX:
        case VN_MESH_QUAD: {
            const float hx = d.size.x * 0.5f, hy = d.size.y * 0.5f, hz = d.size.z * 0.5f;
            if (d.type == VN_MESH_QUAD) {
                // One face toward the viewer in the z = 0 plane. Images are stored from
                // their top row, so t runs from the top edge down.
                addGrid(v, idx, {-hx, hy, 0}, {d.size.x, 0, 0}, {0, -d.size.y, 0}, {0, 0, 1}, 1, 1,
                        1.0f, 1.0f);
                break;
            }
            if (!(d.size.y > 0.0f) || !(d.size.z > 0.0f)) return false;
            const int sx = d.segments[0], sy = d.segments[1], sz = d.segments[2];
            addGrid(v, idx, {-hx, -hy, hz}, {d.size.x, 0, 0}, {0, d.size.y, 0}, {0, 0, 1}, sx, sy,
                    1, 1);  // front
            addGrid(v, idx, {hx, -hy, -hz}, {-d.size.x, 0, 0}, {0, d.size.y, 0}, {0, 0, -1}, sx, sy,
                    1, 1);  // back
            addGrid(v, idx, {hx, -hy, hz}, {0, 0, -d.size.z}, {0, d.size.y, 0}, {1, 0, 0}, sz, sy,
                    1, 1);  // right
            addGrid(v, idx, {-hx, -hy, -hz}, {0, 0, d.size.z}, {0, d.size.y, 0}, {-1, 0, 0}, sz, sy,
                    1, 1);  // left
            addGrid(v, idx, {-hx, hy, hz}, {d.size.x, 0, 0}, {0, 0, -d.size.z}, {0, 1, 0}, sx, sz,
                    1, 1);  // top
            addGrid(v, idx, {-hx, -hy, -hz}, {d.size.x, 0, 0}, {0, 0, d.size.z}, {0, -1, 0}, sx, sz,
                    1, 1);  // bottom
            break;
        }
        default:
            return false;
    }
    m_local_min = m_local_max = vnVector3{v[0].position[0], v[0].position[1], v[0].position[2]};
    for (const vnVertex& p : v) {
        m_local_min = {std::min(m_local_min.x, p.position[0]),
                       std::min(m_local_min.y, p.position[1]),
                       std::min(m_local_min.z, p.position[2])};
        m_local_max = {std::max(m_local_max.x, p.position[0]),
                       std::max(m_local_max.y, p.position[1]),
                       std::max(m_local_max.z, p.position[2])};
    }
    m_groups.clear();
    m_data.markChanged();
    return true;
}

void vnMesh::computeFaceNormals() {
    const auto& v = m_data.m_vertices;
    const auto& idx = m_data.m_indices;
    m_data.m_face_normals.resize(idx.size() / 3);
    for (size_t f = 0; f + 2 < idx.size(); f += 3) {
        const float* a = v[idx[f]].position;
        const float* b = v[idx[f + 1]].position;
        const float* c = v[idx[f + 2]].position;
        const vnVector3 e1{b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        const vnVector3 e2{c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        m_data.m_face_normals[f / 3] = e1.cross(e2).normalized();
    }
}

void vnMesh::setVerticesColor(const vnColor& c) {
    for (vnVertex& p : m_data.m_vertices) {
        p.color[0] = c.r;
        p.color[1] = c.g;
        p.color[2] = c.b;
        p.color[3] = c.a;
    }
    m_data.markChanged();
}

void vnMesh::assignMaterialToFaces(vnMaterial* material, int first, int count) {
    const uint32_t faces = uint32_t(m_data.getFaceCount());
    if (first < 0 || uint32_t(first) >= faces) return;
    const uint32_t begin = uint32_t(first);
    const uint32_t end = count < 0 ? faces : std::min(faces, begin + uint32_t(count));
    // Cut the existing groups around [begin, end) and put the new group in between.
    std::vector<vnFaceGroup> groups;
    for (const vnFaceGroup& g : m_groups) {
        const uint32_t g_end = g.first_face + g.face_count;
        if (g.first_face < begin)
            groups.push_back({g.first_face, std::min(g_end, begin) - g.first_face, g.material});
        if (g_end > end) {
            const uint32_t s = std::max(g.first_face, end);
            groups.push_back({s, g_end - s, g.material});
        }
    }
    groups.push_back({begin, end - begin, material});
    std::sort(groups.begin(), groups.end(), [](const vnFaceGroup& a, const vnFaceGroup& b) {
        return a.first_face < b.first_face;
    });
    m_groups = std::move(groups);
}

vnBoundingVolume vnMesh::getBoundingVolume() const {
    vnBoundingVolume b;
    const vnVector3& p = m_tripod.getPosition();
    b.min = m_local_min + p;
    b.max = m_local_max + p;
    b.centre = (b.min + b.max) * 0.5f;
    b.radius = b.size().length() * 0.5f;
    return b;
}

bool vnMesh::getPlaneEquation(float equation[4]) const {
    const auto& idx = m_data.m_indices;
    if (idx.size() < 3) return false;
    const auto& v = m_data.m_vertices;
    const float* a = v[idx[0]].position;
    const float* b = v[idx[1]].position;
    const float* c = v[idx[2]].position;
    const vnVector3 n = vnVector3{b[0] - a[0], b[1] - a[1], b[2] - a[2]}
                            .cross({c[0] - a[0], c[1] - a[1], c[2] - a[2]})
                            .normalized();
    const vnVector3 point = vnVector3{a[0], a[1], a[2]} + m_tripod.getPosition();
    equation[0] = n.x;
    equation[1] = n.y;
    equation[2] = n.z;
    equation[3] = -n.dot(point);
    return true;
}

void vnMesh::bindBuffers() {
    if (!m_vbo) glGenBuffers(1, &m_vbo);
    if (!m_ibo) {
        glGenBuffers(1, &m_ibo);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_ibo);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER,
                     GLsizeiptr(m_data.m_indices.size() * sizeof(uint32_t)),
                     m_data.m_indices.data(), GL_STATIC_DRAW);
    }
    glBindBuffer(GL_ARRAY_BUFFER, m_vbo);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_ibo);
    if (m_data.m_changed) {
        const size_t bytes = m_data.m_vertices.size() * sizeof(vnVertex);
        if (bytes == m_vbo_bytes) {
            glBufferSubData(GL_ARRAY_BUFFER, 0, GLsizeiptr(bytes), m_data.m_vertices.data());
        } else {
            glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(bytes), m_data.m_vertices.data(),
                         GL_DYNAMIC_DRAW);
            m_vbo_bytes = bytes;
        }
        m_data.m_changed = false;
    }
}

void vnQuad::setSize(float width, float height) {
    if (!(width > 0.0f) || !(height > 0.0f)) return;
    // Scale the corners about the centre, keeping any stretching of single vertices.
    const float sx = width / m_width, sy = height / m_height;
    for (vnVertex& p : m_data.getVertices()) {
        p.position[0] *= sx;
        p.position[1] *= sy;
    }
    m_width = width;
    m_height = height;
    m_local_min = {-width * 0.5f, -height * 0.5f, 0.0f};
    m_local_max = {width * 0.5f, height * 0.5f, 0.0f};
    m_data.markChanged();
}

}  // namespace Vantorr_nsp
