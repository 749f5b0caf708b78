// Where a picture goes in a window of another shape: as large as fits,
// keeping its aspect, centred, with black bars on the other sides.
#pragma once

namespace win32 {

struct Placement {
  int x, y, width, height;
  // The whole multiple of the picture this is, or 0 when the picture had
  // to be resampled to an other size (it was larger than the drawable).
  int integer_scale = 0;
};

// For a drawable of drawable_width x drawable_height pixels (the size the
// window really has, which without a window manager is not always the size
// asked for) and a picture of picture_width x picture_height.
inline Placement letterbox(int drawable_width, int drawable_height, int picture_width, int picture_height) {
  if (drawable_width <= 0 || drawable_height <= 0 || picture_width <= 0 || picture_height <= 0) {
    return {0, 0, 0, 0};
  }
  // Compared as products, so a drawable of exactly the picture's shape is
  // filled whole.
  const long long wide = static_cast<long long>(drawable_width) * picture_height;
  const long long tall = static_cast<long long>(drawable_height) * picture_width;
  Placement p{0, 0, drawable_width, drawable_height};
  if (wide > tall) {
    p.width = static_cast<int>(static_cast<long long>(drawable_height) * picture_width / picture_height);
    p.x = (drawable_width - p.width) / 2;
  } else if (tall > wide) {
    p.height = static_cast<int>(static_cast<long long>(drawable_width) * picture_height / picture_width);
    p.y = (drawable_height - p.height) / 2;
  }
  return p;
}

// How a window shows a picture: at the largest whole multiple that fits,
// centred, so every picture pixel becomes the same square of screen pixels
// and nothing is resampled; only a picture larger than the drawable is
// letterboxed down, through the window's filter.
inline Placement place_picture(int drawable_width, int drawable_height, int picture_width,
                               int picture_height) {
  if (drawable_width <= 0 || drawable_height <= 0 || picture_width <= 0 || picture_height <= 0) {
    return {0, 0, 0, 0};
  }
  const int across = drawable_width / picture_width, down = drawable_height / picture_height;
  const int k = across < down ? across : down;
  if (k == 0) return letterbox(drawable_width, drawable_height, picture_width, picture_height);
  const int width = picture_width * k, height = picture_height * k;
  return {(drawable_width - width) / 2, (drawable_height - height) / 2, width, height, k};
}

// The largest scale in 1..max_scale whose mode_width * scale by
// mode_height * scale picture fits the drawable; 1 when none does.
inline int fit_scale(int drawable_width, int drawable_height, int mode_width, int mode_height,
                     int max_scale) {
  int scale = 1;
  while (scale < max_scale && mode_width * (scale + 1) <= drawable_width &&
         mode_height * (scale + 1) <= drawable_height) {
    ++scale;
  }
  return scale;
}

}  // namespace win32
