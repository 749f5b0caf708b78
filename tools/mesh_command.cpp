// `tuuli mesh`: look into mesh files and convert them to and from OBJ.
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "mesh/mesh.h"
#include "tools/command.h"
#include "tools/mesh_obj.h"

namespace tools {

namespace {

std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw std::runtime_error("cannot read " + path);
  return bytes;
}

void write_file(const std::string& path, const void* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot create " + path);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
}

// What `info` finds in one file: the check's verdict and the things that are
// allowed but probably not meant.
struct MeshReport {
  bool header = false;  // at least the 12 bytes of counts
  int32_t vertex_count = 0, triangle_count = 0, tex_coord_count = 0;
  bool valid = false;
  std::string refusal;  // why the demo would refuse it
  std::vector<std::string> notes;
  mesh::Vec3 min{}, max{};
};

MeshReport inspect(const std::vector<uint8_t>& bytes) {
  MeshReport r;
  mesh::MeshFileLayout layout;
  std::string detail;
  const mesh::MeshFileError error = mesh::check_mesh_file(bytes.data(), bytes.size(), &layout, &detail);
  if (bytes.size() >= 12) {
    r.header = true;
    auto i32 = [&](size_t at) {
      return static_cast<int32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                                  static_cast<uint32_t>(bytes[at + 3]) << 24);
    };
    r.vertex_count = i32(0);
    r.triangle_count = i32(4);
    r.tex_coord_count = i32(8);
  }
  if (error != mesh::MeshFileError::kNone) {
    r.refusal = detail;
    return r;
  }
  r.valid = true;
  const mesh::MeshData m = mesh::read_mesh_file(bytes.data(), bytes.size());
  constexpr float kInf = std::numeric_limits<float>::infinity();
  r.min = {kInf, kInf, kInf};
  r.max = {-kInf, -kInf, -kInf};
  size_t non_finite = 0;
  for (const auto& p : m.positions) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
      ++non_finite;
      continue;
    }
    r.min = {std::min(r.min.x, p.x), std::min(r.min.y, p.y), std::min(r.min.z, p.z)};
    r.max = {std::max(r.max.x, p.x), std::max(r.max.y, p.y), std::max(r.max.z, p.z)};
  }
  if (non_finite == m.positions.size()) r.min = r.max = {0.0f, 0.0f, 0.0f};
  if (non_finite != 0) r.notes.push_back(std::to_string(non_finite) + " positions are not finite numbers");
  size_t bad_uv = 0;
  for (const auto& t : m.tex_coords) bad_uv += !std::isfinite(t.u) || !std::isfinite(t.v);
  if (bad_uv != 0) r.notes.push_back(std::to_string(bad_uv) + " texture coordinates are not finite numbers");
  std::vector<bool> used(m.positions.size(), false);
  size_t degenerate = 0;
  for (size_t i = 0; i < m.triangles.size(); ++i) {
    const auto& t = m.triangles[i];
    for (uint16_t index : t) used[index] = true;
    // A last triangle of one vertex three times is how the writer evens an
    // odd count; it is not a problem.
    const bool padding = i + 1 == m.triangles.size() && t[0] == t[1] && t[1] == t[2];
    degenerate += !padding && (t[0] == t[1] || t[1] == t[2] || t[0] == t[2]);
  }
  const auto unused = static_cast<size_t>(std::count(used.begin(), used.end(), false));
  if (unused != 0) r.notes.push_back(std::to_string(unused) + " vertices belong to no triangle");
  if (degenerate != 0) {
    r.notes.push_back(std::to_string(degenerate) + " triangles repeat a vertex and draw nothing");
  }
  if (r.tex_coord_count > r.vertex_count) {
    r.notes.push_back(std::to_string(r.tex_coord_count - r.vertex_count) +
                      " texture coordinates beyond one per vertex are never used");
  }
  if (static_cast<uint64_t>(layout.size_bytes) < bytes.size()) {
    r.notes.push_back(std::to_string(bytes.size() - static_cast<size_t>(layout.size_bytes)) +
                      " bytes after the vertex normals are never read");
  }
  return r;
}

int run_info(const std::string& path, bool json) {
  std::vector<uint8_t> bytes;
  try {
    bytes = read_file(path);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tuuli mesh info: %s\n", e.what());
    return 1;
  }
  const MeshReport r = inspect(bytes);
  if (json) {
    nlohmann::json out;
    out["file"] = path;
    out["size_bytes"] = bytes.size();
    if (r.header) {
      out["vertices"] = r.vertex_count;
      out["triangles"] = r.triangle_count;
      out["tex_coords"] = r.tex_coord_count;
      out["has_tex_coords"] = r.tex_coord_count != 0;
    }
    out["valid"] = r.valid;
    if (r.valid) {
      out["bounds"] = {{"min", {r.min.x, r.min.y, r.min.z}}, {"max", {r.max.x, r.max.y, r.max.z}}};
    }
    nlohmann::json problems = nlohmann::json::array();
    if (!r.valid) problems.push_back(r.refusal);
    for (const auto& note : r.notes) problems.push_back(note);
    out["problems"] = problems;
    std::printf("%s\n", out.dump(2).c_str());
  } else {
    std::printf("file: %s (%zu bytes)\n", path.c_str(), bytes.size());
    if (r.header) {
      std::printf("vertices: %" PRId32 "\ntriangles: %" PRId32 "\ntexture coordinates: %" PRId32
                  " (%s)\n",
                  r.vertex_count, r.triangle_count, r.tex_coord_count,
                  r.tex_coord_count != 0 ? "has texture coordinates"
                                         : "none: drawn with the vertex normals' x and y");
    }
    if (r.valid) {
      std::printf("bounds: min (%g, %g, %g) max (%g, %g, %g)\n", r.min.x, r.min.y, r.min.z, r.max.x,
                  r.max.y, r.max.z);
    }
    if (!r.valid) std::printf("refused: %s\n", r.refusal.c_str());
    if (r.notes.empty()) {
      if (r.valid) std::printf("problems: none\n");
    } else {
      std::printf("problems:\n");
      for (const auto& note : r.notes) std::printf("  %s\n", note.c_str());
    }
  }
  return r.valid ? 0 : 1;
}

int run_from_obj(const std::string& in, const std::string& out, float scale) {
  try {
    if (!std::isfinite(scale) || !(scale > 0.0f)) {
      throw std::runtime_error("--scale must be a positive number");
    }
    const std::vector<uint8_t> text = read_file(in);
    const mesh::MeshData m = mesh_from_obj_text(std::string(text.begin(), text.end()), scale);
    const std::vector<uint8_t> file = mesh::write_mesh_file(m);
    write_file(out, file.data(), file.size());
    std::printf("%s: %zu vertices, %zu triangles, %s\n", out.c_str(), m.positions.size(),
                m.triangles.size(), m.tex_coords.empty() ? "no texture coordinates" : "texture coordinates");
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tuuli mesh from-obj: %s: %s\n", in.c_str(), e.what());
    return 1;
  }
}

int run_to_obj(const std::string& in, const std::string& out) {
  try {
    const std::vector<uint8_t> bytes = read_file(in);
    const mesh::MeshData m = mesh::read_mesh_file(bytes.data(), bytes.size());
    const std::string text = mesh_to_obj_text(m);
    write_file(out, text.data(), text.size());
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tuuli mesh to-obj: %s: %s\n", in.c_str(), e.what());
    return 1;
  }
}

const bool registered = register_command(30, [](CLI::App& app) {
  CLI::App* cmd = app.add_subcommand("mesh", "Look into mesh files (.obu) and convert them to and from OBJ");
  cmd->require_subcommand(1);

  struct Options {
    std::string file, in, out;
    bool json = false;
    float scale = 1.0f;
  };
  auto options = std::make_shared<Options>();

  CLI::App* info = cmd->add_subcommand(
      "info", "Counts, bounds and texture coordinates of a mesh file, and any problem the demo "
              "would refuse it for (exit 1) or that is allowed but suspicious");
  info->add_option("FILE", options->file, "mesh file")->required();
  info->add_flag("--json", options->json, "print one JSON object instead of text");
  info->callback([options] { set_exit_code(run_info(options->file, options->json)); });

  CLI::App* from_obj = cmd->add_subcommand(
      "from-obj",
      "Convert a Wavefront OBJ to a mesh file. Polygons become fans of triangles from their first "
      "corner; a vertex is split where faces give it different texture coordinates; normals are "
      "computed (the OBJ's own are ignored); an OBJ without texture coordinates gives a mesh "
      "without them. OBJ is right-handed with counter-clockwise faces and v upwards, the demo the "
      "opposite: z becomes -z, v becomes 1 - v and each triangle's corners are reversed.");
  from_obj->add_option("IN", options->in, "OBJ file")->required();
  from_obj->add_option("OUT", options->out, "mesh file to write")->required();
  from_obj->add_option("--scale", options->scale, "factor on every position (default 1)");
  from_obj->callback([options] { set_exit_code(run_from_obj(options->in, options->out, options->scale)); });

  CLI::App* to_obj = cmd->add_subcommand(
      "to-obj", "Convert a mesh file to a Wavefront OBJ (z becomes -z, v becomes 1 - v, each "
                "triangle's corners are reversed)");
  to_obj->add_option("IN", options->in, "mesh file")->required();
  to_obj->add_option("OUT", options->out, "OBJ file to write")->required();
  to_obj->callback([options] { set_exit_code(run_to_obj(options->in, options->out)); });
});

}  // namespace

}  // namespace tools
