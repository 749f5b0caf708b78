// The timeline's layer scenes stacked from the pack's pieces, one still
// each, to judge the clips and overlays the way the demo shows them.
#include "media/media.h"

namespace media {

namespace {

struct PieceRef {
  const char* name;  // clip or image
  double position;   // clip only: where in the loop, 0..1
};

struct SceneLayer {
  PieceRef piece;
  Blend blend;
  int level;
};

struct Scene {
  const char* name;
  std::vector<SceneLayer> layers;
};

const std::vector<Scene>& scenes() {
  static const std::vector<Scene> list = {
      {"entry00_liekki_media",
       {{{"liekki", 0.3}, Blend::kOpaque, 255},
        {{"media", 0}, Blend::kModulate2x, 170},
        {{"media", 0}, Blend::kAdditive, 176}}},
      {"entry01_televiso_liekki",
       {{{"televiso", 0.1}, Blend::kOpaque, 255}, {{"liekki", 0.5}, Blend::kModulate2x, 255}}},
      {"entry02_televiso_liekki_media2",
       {{{"televiso", 0.4}, Blend::kOpaque, 255},
        {{"liekki", 0.2}, Blend::kModulate2x, 255},
        {{"media2", 0}, Blend::kAdditive, 255}}},
      {"entry03_televiso_media3",
       {{{"televiso", 0.75}, Blend::kOpaque, 255}, {{"media3", 0}, Blend::kAdditive, 250}}},
      {"entry04_hp_televiso",
       {{{"hp", 0.2}, Blend::kOpaque, 255}, {{"televiso", 0.5}, Blend::kModulate2x, 255}}},
      {"entry05_hp_hp", {{{"hp", 0.1}, Blend::kOpaque, 255}, {{"hp", 0.6}, Blend::kModulate2x, 255}}},
      {"entry07_televiso_headless",
       {{{"televiso", 0.1}, Blend::kOpaque, 255}, {{"headless", 0}, Blend::kModulate2x, 255}}},
      {"entry08_raivo_hp",
       {{{"raivo", 0.3}, Blend::kOpaque, 255}, {{"hp", 0.7}, Blend::kModulate2x, 255}}},
      {"entry09_raivo_rasmu",
       {{{"raivo", 0.6}, Blend::kOpaque, 255}, {{"rasmu", 0.4}, Blend::kAdditive, 255}}},
      {"entry11_kolpo_televiso",
       {{{"kolpo", 0.4}, Blend::kOpaque, 255}, {{"televiso", 0.8}, Blend::kModulate2x, 255}}},
      {"entry13_monitor_televiso_media4",
       {{{"monitor", 0.5}, Blend::kOpaque, 255},
        {{"televiso", 0.3}, Blend::kModulate2x, 255},
        {{"media4", 0}, Blend::kAdditive, 200}}},
  };
  return list;
}

}  // namespace

std::vector<std::pair<std::string, Image>> scene_previews(const PreviewSet& set) {
  std::vector<std::pair<std::string, Image>> out;
  for (const Scene& scene : scenes()) {
    std::vector<Image> frames;  // clip frames converted, kept alive for the layers
    frames.reserve(scene.layers.size());
    std::vector<Layer> layers;
    bool complete = true;
    for (const SceneLayer& l : scene.layers) {
      auto clip = set.clips.find(l.piece.name);
      auto image = set.images.find(l.piece.name);
      if (clip != set.clips.end() && !clip->second.empty()) {
        size_t index = static_cast<size_t>(l.piece.position * static_cast<double>(clip->second.size()));
        frames.push_back(frame_image(clip->second[index % clip->second.size()]));
        layers.push_back({&frames.back(), l.blend, l.level});
      } else if (image != set.images.end()) {
        layers.push_back({&image->second, l.blend, l.level});
      } else {
        complete = false;
        break;
      }
    }
    if (complete) out.emplace_back(scene.name, composite_layers(layers));
  }
  return out;
}

}  // namespace media
