// Wavefront OBJ in and out of the mesh format, for `tuuli mesh`. Included
// only from tools/.
#pragma once

#include <string>

#include "mesh/mesh.h"

namespace tools {

// OBJ is right-handed, counter-clockwise faces are front faces, and v grows
// upwards; the demo is left-handed, draws clockwise faces, and v grows
// downwards. Both directions turn z to -z and v to 1 - v and reverse each
// triangle's corners, so a face keeps facing the same way.

// Parses OBJ text (materials ignored), splits polygons into fans from their
// first corner, and makes one vertex per distinct (position, texture
// coordinate) pair, numbered in the order of the OBJ's numbers. Vertex normals are shared by every vertex made from one
// position, so a texture seam does not show in the shading. Throws
// std::runtime_error naming the problem.
mesh::MeshData mesh_from_obj_text(const std::string& text, float scale);

// OBJ text for a mesh; triangles without area made of one vertex repeated
// (the writer's padding) are left out.
std::string mesh_to_obj_text(const mesh::MeshData& mesh);

}  // namespace tools
