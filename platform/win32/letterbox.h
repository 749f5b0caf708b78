// Where a picture goes in a window of another shape: as large as fits,
// keeping its aspect, centred, with black bars on the other sides.
#pragma once

namespace win32 {

struct Placement {
  int x, y, width, height;
};

// For a drawable of drawable_width x drawable_height pixels (the size the
// window really has, which without a window manager is not always the size
// asked for) and a picture of picture_width x picture_height.
inline Placement letterbox(int drawable_width, int drawable_height, int picture_width, int picture_height) {
  if (drawable_width <= 0 || drawable_height <= 0) return {0, 0, 0, 0};
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

}  // namespace win32
