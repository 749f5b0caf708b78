// Shared by the mesh tests: a device to upload to, small meshes as file
// images, and a look into the buffers the device holds.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "mesh/mesh.h"
#include "platform/d3d8/d3d8_local.h"
#include "shell/shell.h"

namespace mesh_test {

inline void ensure_device() {
  if (shell::Device == nullptr) {
    ASSERT_GE(shell::InitDevice(nullptr), 0);
  }
}

// Uploads a file image that stays alive for the rest of the process, as the
// demo's do. Returns the mesh number.
inline int32_t upload_kept(std::vector<uint8_t> file) {
  auto* kept = new std::vector<uint8_t>(std::move(file));
  std::string detail;
  const int32_t number = mesh::UploadMesh(kept->data(), kept->size(), nullptr, &detail);
  EXPECT_GE(number, 0) << detail;
  return number;
}

inline std::vector<mesh::MeshVertex> vertices_of(int32_t number) {
  const std::vector<uint8_t>& bytes = mesh::MeshTable[number].vertexBuffer->data().bytes;
  std::vector<mesh::MeshVertex> out(bytes.size() / sizeof(mesh::MeshVertex));
  std::memcpy(out.data(), bytes.data(), out.size() * sizeof(mesh::MeshVertex));
  return out;
}

inline uint32_t bits(float f) {
  uint32_t b;
  std::memcpy(&b, &f, 4);
  return b;
}

inline float from_bits(uint32_t b) {
  float f;
  std::memcpy(&f, &b, 4);
  return f;
}

}  // namespace mesh_test
