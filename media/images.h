// The image generators behind render_image, one per file.
#pragma once

#include "media/canvas.h"

namespace media {

Image render_sky();       // taivas2: tiles in both directions
Image render_title();     // media
Image render_credits();   // media2
Image render_wind();      // media3
Image render_the_end();   // media4
Image render_head();      // headless: mid-grey means "unchanged" under 2x

// Overlay pictures are this size; the layer shows their top-left 90%.
inline constexpr int kOverlaySize = 512;

}  // namespace media
