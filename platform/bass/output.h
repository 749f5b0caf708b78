// Where the music goes. Chosen, like the window backend, before DemoMain runs.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bass {

enum class Output {
  none,    // nothing is opened; the calls succeed as far as they can (tests)
  device,  // the default sound device through SDL2 (tuulikannel)
  pull,    // nothing is opened; the samples are taken with pull_samples (captures)
};

void use_output(Output output);

}  // namespace bass
