// The pack's catalogue: every file with the system's name, and which
// generator makes it.
#include <stdexcept>

#include "media/clips.h"
#include "media/images.h"
#include "media/media.h"

namespace media {

namespace {

// The soundtrack's bit rate: transparent enough for synthesized music.
constexpr int kSoundtrackKbps = 192;

// Encoder quality for the clips: they are seen stretched over the screen and
// often multiplied by another clip, where blocking shows most.
constexpr double kClipQuality = 0.8;

}  // namespace

const std::vector<PackItem>& pack_items() {
  static const std::vector<PackItem> items = {
      {"rasmu", "data/rasmu.dat", ItemKind::kClip},
      {"televiso", "data/televiso.dat", ItemKind::kClip},
      {"kolpo", "data/kolpo.dat", ItemKind::kClip},
      {"liekki", "data/liekki.dat", ItemKind::kClip},
      {"hp", "data/hp.dat", ItemKind::kClip},
      {"raivo", "data/raivo.dat", ItemKind::kClip},
      {"monitor", "data/monitor.dat", ItemKind::kClip},
      {"pallukka", "obu/pallukka.obu", ItemKind::kMesh},
      {"aalto2", "obu/aalto2.obu", ItemKind::kMesh},
      {"taivas2", "gfx/taivas2.bmp", ItemKind::kImage},
      {"media", "gfx/media.bmp", ItemKind::kImage},
      {"media2", "gfx/media2.bmp", ItemKind::kImage},
      {"media3", "gfx/media3.bmp", ItemKind::kImage},
      {"media4", "gfx/media4.bmp", ItemKind::kImage},
      {"headless", "data/headless.tga", ItemKind::kImage},
      {"vemo", "vemo.mp3", ItemKind::kMusic},
  };
  return items;
}

const char* kind_name(ItemKind kind) {
  switch (kind) {
    case ItemKind::kClip: return "clip";
    case ItemKind::kMesh: return "mesh";
    case ItemKind::kImage: return "image";
    case ItemKind::kMusic: return "music";
  }
  return "?";
}

const std::vector<ClipSpec>& clip_specs() {
  // Rates in the scenes: 15 frames a second at rate 1, 30 at rate 2, so a
  // clip of n frames loops every n/15 or n/30 s. The headless scene steps
  // televiso through frames 0 to 38, so it has more than 40.
  static const std::vector<ClipSpec> specs = {
      {"rasmu", 128, 32},   {"televiso", 256, 48}, {"kolpo", 256, 64}, {"liekki", 128, 60},
      {"hp", 256, 64},      {"raivo", 256, 64},    {"monitor", 256, 64},
  };
  return specs;
}

std::vector<codec::RgbFrame> render_clip(const std::string& name) {
  for (const ClipSpec& spec : clip_specs()) {
    if (name != spec.name) continue;
    if (name == "rasmu") return render_plasma(spec.width, spec.frame_count);
    if (name == "televiso") return render_television(spec.width, spec.frame_count);
    if (name == "kolpo") return render_interference(spec.width, spec.frame_count);
    if (name == "liekki") return render_flames(spec.width, spec.frame_count);
    if (name == "hp") return render_rotozoom(spec.width, spec.frame_count);
    if (name == "raivo") return render_tunnel(spec.width, spec.frame_count);
    if (name == "monitor") return render_monitor(spec.width, spec.frame_count);
  }
  throw std::invalid_argument("no clip named '" + name + "' in the pack");
}

std::vector<uint8_t> encode_clip_file(const std::vector<codec::RgbFrame>& frames,
                                      codec::EncodeReport* report) {
  codec::EncoderOptions options;
  options.quality = kClipQuality;
  return codec::encode_clip(frames, options, report);
}

Image render_image(const std::string& name) {
  if (name == "taivas2") return render_sky();
  if (name == "media") return render_title();
  if (name == "media2") return render_credits();
  if (name == "media3") return render_wind();
  if (name == "media4") return render_the_end();
  if (name == "headless") return render_head();
  throw std::invalid_argument("no image named '" + name + "' in the pack");
}

std::vector<uint8_t> make_item(const PackItem& item) {
  const std::string name = item.name;
  switch (item.kind) {
    case ItemKind::kClip:
      return encode_clip_file(render_clip(name));
    case ItemKind::kMesh:
      return mesh::write_mesh_file(name == "pallukka" ? make_sphere_mesh() : make_wave_mesh());
    case ItemKind::kImage: {
      Image image = render_image(name);
      return name == "headless" ? encode_tga(image) : encode_bmp(image);
    }
    case ItemKind::kMusic:
      return encode_mp3(render_soundtrack(), kSoundtrackKbps);
  }
  throw std::invalid_argument("unknown kind of pack item");
}

}  // namespace media
