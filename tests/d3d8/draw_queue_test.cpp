// Draws that wait for the drawing threads: what they read stays theirs
// (a texture released, a thread count lowered, another device drawing)
// and the picture is the one a single thread draws.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>
#include <string>
#include <vector>

#include "platform/cpu/cpu.h"
#include "platform/d3d8/draw_queue.h"
#include "platform/win32/headless.h"
#include "tests/d3d8/raster_fixture.h"

namespace raster_test {
namespace {

class DrawQueue : public RasterTest {
 protected:
  // A texture only the device holds once bound: released here at once.
  void bind_owned_texture(uint32_t seed) {
    IDirect3DTexture8* t = texture(64, 64, D3DFMT_R5G6B5,
                                   [&](int x, int y) { return uint32_t((x * 977 + y * 131) ^ seed) & 0xFFFF; });
    textures_.pop_back();
    t->Release();
  }

  // Runs `steps` on a cleared device with `threads` drawing threads and
  // returns the picture.
  std::vector<uint16_t> picture(int threads, const std::function<void()>& steps) {
    d3d8::raster_options.threads = threads;
    state(D3DRS_ALPHABLENDENABLE, FALSE);
    clear(0x00102030);
    steps();
    std::vector<uint16_t> out = colour_buffer();
    d3d8::raster_options = {};
    return out;
  }
};

TEST_F(DrawQueue, WaitingDrawsGiveTheOneThreadPicture) {
  auto additive = [&] {
    state(D3DRS_ALPHABLENDENABLE, TRUE);
    state(D3DRS_SRCBLEND, D3DBLEND_ONE);
    state(D3DRS_DESTBLEND, D3DBLEND_ONE);
  };
  struct Case {
    const char* name;
    std::function<void()> steps;
  } cases[] = {
      // The texture's last reference goes while its draw waits; a second
      // texture then takes its place.
      {"texture released while its draw waits",
       [&] {
         bind_owned_texture(0x1234);
         draw_layer(0xFFFFFFFF);
         device_->SetTexture(0, nullptr);
         bind_owned_texture(0x4321);
         additive();
         draw_layer(0x80808080);
         device_->SetTexture(0, nullptr);
       }},
      // Down to one thread between draws: the waiting draw still comes first.
      {"thread count lowered between draws",
       [&] {
         bind_owned_texture(0x0F0F);
         draw_layer(0xFFFFFFFF);
         d3d8::raster_options.threads = 1;
         additive();
         draw_layer(0xC0C0C0C0);
         device_->SetTexture(0, nullptr);
       }},
      // A clear between draws of one scene clears what came before only.
      {"clear between draws",
       [&] {
         bind_owned_texture(0x5555);
         draw_layer(0xFFFFFFFF);
         device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00400000, 1.0f, 0);
         additive();
         std::vector<ScreenVertex> half = layer_strip(0xFFFFFFFF);
         for (auto& v : half) v.y = v.y == 0 ? 100.0f : 300.0f;
         draw_screen(half, D3DPT_TRIANGLESTRIP);
         device_->SetTexture(0, nullptr);
       }},
      // More draws than the queue holds at once: it is finished and taken
      // up again mid-scene, the later draws still after the earlier ones.
      {"more draws than one queue holds",
       [&] {
         bind_owned_texture(0x6666);
         additive();
         const std::vector<ScreenVertex> layer = layer_strip(0x10101010);
         for (int i = 0; i < 5000; ++i) {
           std::vector<ScreenVertex> quad = layer;
           const float x = float(i * 37 % 600), y = float(i * 53 % 440);
           for (auto& v : quad) v.x = x + (v.x == 0 ? 0.0f : 40.0f), v.y = y + (v.y == 0 ? 0.0f : 40.0f);
           draw_screen(quad, D3DPT_TRIANGLESTRIP);
         }
         device_->SetTexture(0, nullptr);
       }},
      // A texture drawn while locked is widened afresh for every draw,
      // each draw reading it as it was then; past a bound the waiting
      // draws are shaded instead of their copies kept.
      {"a texture written and drawn while locked, many times",
       [&] {
         IDirect3DTexture8* locked_texture =
             texture(256, 256, D3DFMT_R5G6B5, [](int x, int y) { return uint32_t(x * 97 + y * 31) & 0xFFFF; });
         D3DLOCKED_RECT locked;
         ASSERT_TRUE(SUCCEEDED(locked_texture->LockRect(0, &locked, nullptr, 0)));
         device_->SetTexture(0, locked_texture);
         additive();
         const std::vector<ScreenVertex> layer = layer_strip(0x20202020);
         for (int i = 0; i < 100; ++i) {
           static_cast<uint16_t*>(locked.pBits)[i * 3] = uint16_t(i * 0x0841);
           std::vector<ScreenVertex> quad = layer;
           for (auto& v : quad) v.x = float(i * 6) + (v.x == 0 ? 0.0f : 32.0f), v.y = v.y == 0 ? 0.0f : 400.0f;
           draw_screen(quad, D3DPT_TRIANGLESTRIP);
         }
         locked_texture->UnlockRect(0);
         device_->SetTexture(0, nullptr);
       }},
  };
  // A mesh large enough that the drawing threads build it with the
  // demo's thread, some or all of whose triangles name a vertex past the
  // ones drawn and are left out.
  auto large_mesh = [&](int every_nth_left_out) {
    return [&, every_nth_left_out] {
      std::vector<MeshVertex> v;
      std::vector<uint16_t> indices;
      constexpr int kColumns = 64, kRows = 32;
      for (int j = 0; j <= kRows; ++j) {
        for (int i = 0; i <= kColumns; ++i) {
          v.push_back({i * 2.0f / kColumns - 1, j * 2.0f / kRows - 1, 0.5f, uint32_t(i * 0x10305 + j * 0x3070D),
                       i / 9.0f, j / 9.0f});
        }
      }
      const auto past = uint16_t(v.size());
      for (int j = 0; j < kRows; ++j) {
        for (int i = 0; i < kColumns; ++i) {
          const auto a = uint16_t(j * (kColumns + 1) + i), c = uint16_t(a + kColumns + 1);
          const bool left_out = (j * kColumns + i) % every_nth_left_out == 0;
          indices.insert(indices.end(), {a, left_out ? past : uint16_t(a + 1), c, uint16_t(a + 1), uint16_t(c + 1), c});
        }
      }
      bind_owned_texture(0x7777);
      draw_mesh(v, indices);
      device_->SetTexture(0, nullptr);
    };
  };
  const Case large[] = {{"a large mesh, some triangles left out", large_mesh(97)},
                        {"a large mesh, every other triangle left out", large_mesh(1)}};
  for (const Case& c : large) {
    const std::vector<uint16_t> one = picture(1, c.steps);
    for (int threads : {2, 5}) {
      EXPECT_TRUE(picture(threads, c.steps) == one) << c.name << ", " << threads << " threads";
    }
  }
  for (const Case& c : cases) {
    const std::vector<uint16_t> one = picture(1, c.steps);
    for (int threads : {2, 5}) {
      EXPECT_TRUE(picture(threads, c.steps) == one) << c.name << ", " << threads << " threads";
    }
  }
}

// A backend that lends the device a buffer to present in gets the picture
// there, whether the drawing threads finish it into the buffer band by band
// or nothing waited and the device copies it whole.
TEST_F(DrawQueue, APictureFinishedIntoALentBufferIsTheOneThreadPicture) {
  auto steps = [&] {
    bind_owned_texture(0x4321);
    draw_layer(0xFFFFFFFF);
    draw_layer(0x80808080);
  };
  const std::vector<uint16_t> one = picture(1, steps);
  std::vector<uint16_t> lent(one.size());
  const void* presented = nullptr;
  std::vector<uint16_t> got;
  win32::HeadlessOptions options;
  options.lend_buffer = [&](const win32::Frame& shape, win32::Frame& buffer) {
    buffer = shape;
    buffer.pixels = lent.data();
    return true;
  };
  options.on_present = [&](const win32::Frame& frame, uint64_t) {
    presented = frame.pixels;
    const uint16_t* first = frame.row565(0);
    got.assign(first, first + one.size());
  };
  win32::HeadlessBackend backend(options);
  win32::use_backend(&backend);
  for (int threads : {1, 2, 3}) {
    std::fill(lent.begin(), lent.end(), uint16_t{0});
    d3d8::raster_options.threads = threads;
    state(D3DRS_ALPHABLENDENABLE, FALSE);
    clear(0x00102030);
    steps();
    device_->EndScene();
    EXPECT_GE(device_->Present(nullptr, nullptr, nullptr, nullptr), 0);
    device_->BeginScene();
    EXPECT_EQ(presented, lent.data()) << threads << " threads";
    EXPECT_TRUE(got == one) << threads << " threads";
    EXPECT_TRUE(lent == one) << threads << " threads";
  }
  win32::use_backend(nullptr);
}

// A device whose draws wait may be released, and another device's draw
// then finds nothing of it.
TEST_F(DrawQueue, ADeviceReleasedWithDrawsWaiting) {
  d3d8::raster_options.threads = 3;
  bind_owned_texture(0x2222);
  draw_layer(0xFFFFFFFF);
  device_->SetTexture(0, nullptr);
  device_->Release();
  device_ = nullptr;
  object_->Release();
  object_ = nullptr;
  SetUp();
  d3d8::raster_options.threads = 3;
  bind_owned_texture(0x3333);
  clear(0);
  draw_layer(0xFFFFFFFF);
  device_->SetTexture(0, nullptr);
  EXPECT_NE(pixel(320, 240), 0);
}

// A program may end without releasing a device whose draws are being
// shaded: it must still end, not wait for its drawing threads. (Run in a
// fresh process; the alarm fails a program that hangs.)
using DrawQueueDeathTest = DrawQueue;
TEST_F(DrawQueueDeathTest, AProgramEndsWithDrawsWaiting) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        alarm(10);
        d3d8::raster_options.threads = 3;
        bind_owned_texture(0x7777);
        draw_layer(0xFFFFFFFF);
        // Once the threads are waiting for the next draw.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
}

TEST(DrawingThreads, BandBordersMoveHalfwayToWhereTheWorkSplitsEvenly) {
  struct Case {
    const char* name;
    std::vector<int> top;
    std::vector<double> seconds;
    std::vector<int> expected;
  } cases[] = {
      {"even work stays", {0, 240, 480}, {1, 1}, {0, 240, 480}},
      // The top band took three times as long: its even share ends at row
      // 160, and the border moves halfway there.
      {"busy top band", {0, 240, 480}, {3, 1}, {0, 200, 480}},
      {"busy bottom band", {0, 240, 480}, {1, 3}, {0, 280, 480}},
      {"nothing measured", {0, 100, 480}, {0, 0}, {0, 100, 480}},
      // All the work in one band of three: the others keep a few rows.
      {"all in the middle", {0, 160, 320, 480}, {0, 1, 0}, {0, 187, 293, 480}},
      {"all at the top", {0, 8, 16, 480}, {1, 0, 0}, {0, 5, 11, 480}},
      {"a band keeps its least rows", {0, 2, 480}, {5, 0}, {0, 4, 480}},
  };
  for (const Case& c : cases) {
    const int bands = static_cast<int>(c.seconds.size());
    std::vector<int> got(c.top.size());
    d3d8::raster::balance_bands(bands, c.top.data(), c.seconds.data(), got.data());
    EXPECT_EQ(got, c.expected) << c.name;
  }
}

TEST(DrawingThreads, TuuliThreadsIsACountFromOneTo64) {
  struct Case {
    const char* env;
    int cores, expected;
  } cases[] = {{nullptr, 2, 2}, {"", 12, 12}, {"1", 8, 1}, {"7", 2, 7}, {"64", 1, 64}, {nullptr, 300, 64}};
  for (const Case& c : cases) {
    int got = 0;
    std::string error;
    ASSERT_TRUE(cpu::threads_for(c.env, c.cores, got, error)) << (c.env ? c.env : "(unset)");
    EXPECT_EQ(got, c.expected) << (c.env ? c.env : "(unset)") << " with " << c.cores << " cores";
  }
  for (const char* bad : {"0", "65", "-2", "two", "3x", " 4"}) {
    int got = 0;
    std::string error;
    EXPECT_FALSE(cpu::threads_for(bad, 4, got, error)) << bad;
    EXPECT_NE(error.find(std::string("TUULI_THREADS=") + bad), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace raster_test
