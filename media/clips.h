// The clip renderers behind render_clip, one per file.
#pragma once

#include <functional>
#include <vector>

#include "media/canvas.h"

namespace media {

// Colour of the texel around (x, y), in texel units with pixel centres at
// +0.5, for one frame.
using FrameShader = std::function<Colour(double x, double y)>;

// Renders `count` square frames of `width`; `make_shader` receives the frame
// index and its phase (index / count, so phase 1 would be frame 0 again: an
// animation periodic in the phase loops seamlessly). Each pixel averages
// supersample x supersample shader calls.
std::vector<codec::RgbFrame> render_frames(
    int width, int count, int supersample,
    const std::function<FrameShader(int index, double phase)>& make_shader);

std::vector<codec::RgbFrame> render_plasma(int width, int count);        // rasmu
std::vector<codec::RgbFrame> render_television(int width, int count);    // televiso
std::vector<codec::RgbFrame> render_interference(int width, int count);  // kolpo
std::vector<codec::RgbFrame> render_flames(int width, int count);        // liekki
std::vector<codec::RgbFrame> render_rotozoom(int width, int count);      // hp
std::vector<codec::RgbFrame> render_tunnel(int width, int count);        // raivo
std::vector<codec::RgbFrame> render_monitor(int width, int count);       // monitor

}  // namespace media
