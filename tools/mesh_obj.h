// Wavefront OBJ in and out of the mesh format, for `tuuli mesh`. Included
// only from tools/.
#pragma once

#include <string>

#include "mesh/mesh.h"

namespace tools {

// OBJ is right-handed with v growing upwards; the demo is left-handed with v
// growing downwards. Both directions turn z to -z and v to 1 - v, so a
// triangle's corner order keeps it facing the same way.

// Parses OBJ text (materials ignored), splits polygons into fans from their
// first corner, and makes one vertex per distinct (position, texture
// coordinate) pair. Vertex normals are shared by every vertex made from one
// position, so a texture seam does not show in the shading. Throws
// std::runtime_error naming the problem.
mesh::MeshData mesh_from_obj_text(const std::string& text, float scale);

// OBJ text for a mesh; triangles without area made of one vertex repeated
// (the writer's padding) are left out.
std::string mesh_to_obj_text(const mesh::MeshData& mesh);

}  // namespace tools
