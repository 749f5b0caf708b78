// The threads that rasterize a draw side by side (draw.cpp). The calling
// thread takes part too, so one thread means no pool at all.
#pragma once

#include <functional>

namespace d3d8::raster {

// Runs work(participant) for participant 0 .. participants - 1 at the same
// time, 0 on the calling thread, the others on the pool's threads (made as
// they are first needed), and returns when every one has. Called by one
// thread at a time.
void run_on_drawing_threads(int participants, const std::function<void(int participant)>& work);

}  // namespace d3d8::raster
