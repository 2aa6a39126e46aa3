#pragma once
// Meshes: triangle lists with per-vertex position, normal, texture coordinate and colour,
// built by the engine as planes, spheres and boxes (vnMeshDesc), placed by their tripod's
// position, drawn with the materials assigned to their faces. HUD quads (vnQuad) are
// meshes in window pixels, drawn over the scene.
//
// The vertices live on the processor side (vnMeshData) and in a vertex buffer that is
// refreshed before the next draw whenever the data was marked changed.

#include <cstdint>
#include <vector>

#include "platform/engine/vn_object.h"

namespace Vantorr_nsp {

class vnMaterial;

struct vnVertex {
    float position[3];
    float normal[3];
    float uv[2];
    float color[4];
};

/// Faces first_face .. first_face + face_count - 1 are drawn with material.
struct vnFaceGroup {
    uint32_t first_face = 0;
    uint32_t face_count = 0;
    vnMaterial* material = nullptr;
};

class vnMeshData {
  public:
    std::vector<vnVertex>& getVertices() { return m_vertices; }
    const std::vector<vnVertex>& getVertices() const { return m_vertices; }
    /// Three indices per face.
    const std::vector<uint32_t>& getIndices() const { return m_indices; }
    int getFaceCount() const { return int(m_indices.size() / 3); }
    int getVertexCount() const { return int(m_vertices.size()); }
    /// One normal per face after vnMesh::computeFaceNormals.
    const std::vector<vnVector3>& getFaceNormals() const { return m_face_normals; }
    /// Call after changing vertices: the next draw uploads them again.
    void markChanged() { m_changed = true; }

  private:
    friend class vnMesh;
    friend class vnRenderer;
    std::vector<vnVertex> m_vertices;
    std::vector<uint32_t> m_indices;
    std::vector<vnVector3> m_face_normals;
    bool m_changed = true;
};

/// Bounds of a mesh where it stands (local bounds moved by its position).
struct vnBoundingVolume {
    vnVector3 min, max;
    vnVector3 centre;
    float radius = 0.0f;  ///< of the sphere around the box
    vnVector3 size() const { return max - min; }
};

enum vnMeshType { VN_MESH_PLANE = 1, VN_MESH_SPHERE = 2, VN_MESH_BOX = 3, VN_MESH_QUAD = 4 };

/// What Vantorr::createMesh builds, in metres and counts.
struct vnMeshDesc {
    int type = VN_MESH_BOX;
    /// Plane: x wide, z deep (in the y = 0 plane, facing up). Sphere: x is the radius.
    /// Box: the full size on each axis.
    vnVector3 size{1.0f, 1.0f, 1.0f};
    /// Plane: cells along x and z (segments[0], segments[2]). Sphere: slices around and
    /// stacks from pole to pole (segments[0], segments[1]). Box: segments per axis. Each at
    /// least 1 (3 around a sphere), at most 1024.
    int segments[3] = {1, 1, 1};
    /// Plane: times the texture repeats across x and z.
    float tiling[2] = {1.0f, 1.0f};
};

class vnMesh : public vnObject {
  public:
    ~vnMesh() override;

    vnMeshData* getMeshData() { return &m_data; }
    int getFaceCount() const { return m_data.getFaceCount(); }
    /// Computes one normal per face from its corners.
    void computeFaceNormals();
    void setVerticesColor(const vnColor& c);
    /// Draws faces first .. first + count - 1 (count < 0: to the end) with the material;
    /// replaces the groups those faces were in.
    void assignMaterialToFaces(vnMaterial* material, int first = 0, int count = -1);
    const std::vector<vnFaceGroup>& getFaceGroups() const { return m_groups; }
    /// The material of the first face group, or null.
    vnMaterial* getMaterial() const { return m_groups.empty() ? nullptr : m_groups[0].material; }

    vnBoundingVolume getBoundingVolume() const;
    /// The plane of the first face where the mesh stands, a x + b y + c z + d = 0 with
    /// (a, b, c) of unit length. False for a mesh without faces.
    bool getPlaneEquation(float equation[4]) const;

    /// Makes the vertex and index buffers current, uploading what changed (renderer use).
    void bindBuffers();

  protected:
    friend class Vantorr;
    friend class vnRenderer;
    explicit vnMesh(const char* name) : vnObject(name) {}
    /// Fills the data from a descriptor; false for a bad one.
    bool build(const vnMeshDesc& desc);

    vnMeshData m_data;
    std::vector<vnFaceGroup> m_groups;
    vnVector3 m_local_min, m_local_max;
    uint32_t m_vbo = 0;
    uint32_t m_ibo = 0;
    size_t m_vbo_bytes = 0;
};

/// A rectangle drawn over the scene in window pixels: its position is its centre, with the
/// origin at the centre of the window, x to the right and y up; z orders overlapping quads
/// (larger is nearer).
class vnQuad : public vnMesh {
  public:
    /// Resizes the rectangle around its centre.
    void setSize(float width, float height);
    float getWidth() const { return m_width; }
    float getHeight() const { return m_height; }
    void setColor(const vnColor& c) {
        m_color = c;
        setVerticesColor(c);
    }
    const vnColor& getColor() const { return m_color; }
    void clearMaterialList() { m_materials.clear(); }
    void addMaterial(vnMaterial* material) {
        if (material) m_materials.push_back(material);
    }
    const std::vector<vnMaterial*>& getMaterialList() const { return m_materials; }

  private:
    friend class Vantorr;
    explicit vnQuad(const char* name) : vnMesh(name) {}
    float m_width = 1.0f;
    float m_height = 1.0f;
    vnColor m_color{1, 1, 1, 1};
    std::vector<vnMaterial*> m_materials;
};

}  // namespace Vantorr_nsp
