// The default media pack: every file the demo reads, made from code.
//
// Everything here is deterministic: the same bytes on every run and machine
// with the same libraries (fixed seeds, exactly rounded arithmetic in a fixed
// order, no clocks, no threads).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "codec/clip_encoder.h"
#include "mesh/mesh_writer.h"

namespace media {

// An 8-bit RGB picture, top row first.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // width * height * 3 bytes: R G B
};

enum class ItemKind { kClip, kMesh, kImage, kMusic };

struct PackItem {
  const char* name;  // "rasmu": what --only and the progress lines call it
  const char* path;  // "data/rasmu.dat", relative to the pack folder
  ItemKind kind;
};

// The whole set, in the order it is written.
const std::vector<PackItem>& pack_items();
const char* kind_name(ItemKind kind);  // "clip", "mesh", "image", "music"

// One file of the pack, as bytes. Throws std::runtime_error when something it
// needs is missing (the font) or a writer refuses its input.
std::vector<uint8_t> make_item(const PackItem& item);

// Clips: procedural animations, periodic over their length so they loop.
struct ClipSpec {
  const char* name;
  int width;        // 128 or 256; frames are square
  int frame_count;
};
const std::vector<ClipSpec>& clip_specs();
// Throws std::invalid_argument for a name that is not a clip of the pack.
std::vector<codec::RgbFrame> render_clip(const std::string& name);
std::vector<uint8_t> encode_clip_file(const std::vector<codec::RgbFrame>& frames,
                                      codec::EncodeReport* report = nullptr);

// Meshes. pallukka: a sphere of radius 100 around the origin; aalto2: a wave
// surface of 100 by 100 units in the x-z plane, y up. Both with texture
// coordinates over 0..1.
mesh::MeshData make_sphere_mesh();
mesh::MeshData make_wave_mesh();

// Images: "taivas2", "media", "media2", "media3", "media4", "headless".
// Throws std::invalid_argument for another name.
Image render_image(const std::string& name);
// 24-bit uncompressed files, bottom row first as both formats usually store.
std::vector<uint8_t> encode_bmp(const Image& image);
std::vector<uint8_t> encode_tga(const Image& image);

// The soundtrack as interleaved 16-bit stereo PCM.
struct Soundtrack {
  int sample_rate = 44100;
  int channels = 2;
  std::vector<int16_t> samples;
};
Soundtrack render_soundtrack();
// Throws std::runtime_error when the encoder fails.
std::vector<uint8_t> encode_mp3(const Soundtrack& track, int kbps);

// Looking at the work: PNG files of images, clip frames and how the scenes
// stack them. Each returns false when the file cannot be written.
bool write_png(const std::string& path, const Image& image);
Image frame_image(const codec::RgbFrame& frame);
// The picture of one full-screen layer composition at 640x480, as the
// demo's layers stack it (top-left nine tenths of each texture stretched).
enum class Blend { kOpaque, kAdditive, kModulate2x };
struct Layer {
  const Image* texture;
  Blend blend;
  int level = 255;  // the layer's grey level, 255 = white
};
Image composite_layers(const std::vector<Layer>& layers);

// What the previews are made from: rendered clips (before encoding) and
// images, by pack name. Either may be partial.
struct PreviewSet {
  std::map<std::string, std::vector<codec::RgbFrame>> clips;
  std::map<std::string, Image> images;
};
// The layer scenes of the timeline (all but the mesh scenes), as composed
// from `set`, named like "entry01_televiso_liekki"; scenes whose pieces are
// missing from `set` are left out.
std::vector<std::pair<std::string, Image>> scene_previews(const PreviewSet& set);

}  // namespace media
