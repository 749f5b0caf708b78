// The whole demo drawn at scales 2 and 3: each timeline entry's picture,
// box-averaged back to 640x480, is close to the scale-1 picture. A layer
// off by a pixel, a missing row or a mesh placed or sized wrongly at the
// larger scale would pull an entry far below its bound.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "shell/shell.h"
#include "tests/support/demo_child.h"
#include "tests/support/test_media.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

float entry_middle(int entry) {
  const float start = entry == 0 ? 0.0f : shell::Timeline[entry - 1].endTime;
  const float end = entry == shell::kTimelineLength - 1 ? 1000.0f : shell::Timeline[entry].endTime;
  return (start + end) / 2;
}

// The program's pixel (x, y) is the target's pixels whose centres lie in
// [N x - N/2, N x + N/2): the target's positions are N times the
// program's, pixel centres on whole numbers in both.
std::string box_average(const win32::Frame& frame, int n) {
  std::vector<uint8_t> rgb(size_t(frame.width) * frame.height * 3);
  win32::frame_to_rgb888(frame, rgb.data());
  std::string out(size_t(kWidth) * kHeight * 3, '\0');
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      int sum[3] = {0, 0, 0}, count = 0;
      for (int ty = n * y - n / 2; ty < n * y - n / 2 + n; ++ty) {
        for (int tx = n * x - n / 2; tx < n * x - n / 2 + n; ++tx) {
          if (tx < 0 || ty < 0 || tx >= frame.width || ty >= frame.height) continue;
          for (int c = 0; c < 3; ++c) sum[c] += rgb[(size_t(ty) * frame.width + tx) * 3 + c];
          ++count;
        }
      }
      for (int c = 0; c < 3; ++c) out[(size_t(y) * kWidth + x) * 3 + c] = char((sum[c] + count / 2) / count);
    }
  }
  return out;
}

// One picture per timeline entry, the first at or past its middle, at
// two frames a second.
std::vector<std::string> entry_pictures(int scale) {
  test_support::DemoRunOptions o;
  o.directory = test_support::test_media_dir();
  o.headless.fps = 2;
  o.headless.print_message_boxes = false;
  o.before = [scale] { d3d8::target_options.scale = scale; };
  o.record = [scale, done = std::vector<bool>(shell::kTimelineLength, false)](const win32::Frame& f,
                                                                                 uint64_t) mutable {
    const int entry = shell::TimelineIndex;
    if (entry < 0 || entry >= shell::kTimelineLength || done[entry] || shell::DemoTime < entry_middle(entry)) {
      return std::string();
    }
    done[entry] = true;
    return std::to_string(entry) + " " + box_average(f, scale);
  };
  const test_support::DemoRun run = test_support::run_demo(o);
  EXPECT_EQ(run.died_how, "");
  std::vector<std::string> pictures(shell::kTimelineLength);
  for (const std::string& r : run.records) {
    if (r.empty()) continue;
    const size_t space = r.find(' ');
    pictures[std::stoul(r.substr(0, space))] = r.substr(space + 1);
  }
  return pictures;
}

// Per scale and entry, from the data: 0.2 dB under what the test media
// give. The pictures are the same bytes on every machine, so the bounds can
// be tight; they have to be, as the test media are smooth: a picture one
// row off loses only 0.3 to 6 dB.
const double kMinPsnr[2][14] = {{34.9, 36.7, 32.4, 32.5, 34.2, 33.8, 39.1, 36.3, 35.7, 31.7, 31.3, 36.9, 35.5, 32.3},
                                {38.3, 40.4, 36.0, 36.1, 37.6, 37.1, 43.0, 39.8, 39.3, 35.3, 35.5, 40.6, 41.0, 35.8}};

double psnr(const std::string& a, const std::string& b) {
  double squared = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    const double d = double(uint8_t(a[i])) - double(uint8_t(b[i]));
    squared += d * d;
  }
  const double mse = squared / double(a.size());
  return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

TEST(RenderScale, EveryEntryAtScalesTwoAndThreeAveragesBackToTheScaleOnePicture) {
  const std::vector<std::string> one = entry_pictures(1);
  for (int scale : {2, 3}) {
    const std::vector<std::string> larger = entry_pictures(scale);
    for (int e = 0; e < shell::kTimelineLength; ++e) {
      ASSERT_EQ(one[e].size(), size_t(kWidth) * kHeight * 3) << "entry " << e;
      ASSERT_EQ(larger[e].size(), one[e].size()) << "entry " << e << " at scale " << scale;
      const double db = psnr(one[e], larger[e]);
      std::printf("scale %d entry %2d: %.2f dB\n", scale, e, db);
      EXPECT_GT(db, kMinPsnr[scale - 2][e]) << "entry " << e << " at scale " << scale;
    }
  }
}

}  // namespace
