// The threads that rasterize side by side (draw_queue.cpp).
#pragma once

#include <functional>

namespace d3d8::raster {

// Starts work(participant) for participant 0 .. participants - 1 on the
// pool's threads (made as they are first needed) and returns at once: the
// calling thread goes on with its own work meanwhile. One round at a time:
// wait_for_drawing_threads() ends it, and `work` must live until then.
void start_on_drawing_threads(int participants, const std::function<void(int participant)>& work);

// Returns when every participant of the round started last has returned
// (at once when none is running); what they wrote is then visible here.
void wait_for_drawing_threads();

}  // namespace d3d8::raster
