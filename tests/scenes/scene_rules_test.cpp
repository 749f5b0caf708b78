// The rules the scenes share and the state they carry, driven directly.
#include <gtest/gtest.h>

#include <cmath>

#include "codec/codec.h"
#include "mesh/mesh.h"
#include "scenes/scene_state.h"
#include "scenes/scenes.h"
#include "shell/shell.h"
#include "tests/support/started_demo.h"

namespace {

using test_support::StartedDemo;

struct CounterCase {
  int8_t before;
  float increment;
  float step;
  int8_t after;
};

TEST(GreyCounter, TruncatesTowardZeroAndWrapsInEightBits) {
  const CounterCase cases[] = {
      {10, 5, 0.25f, 11},    {-10, 5, 0.25f, -8},  {127, 5, 0.25f, -128}, {-1, 5, 0.25f, 0},
      {126, 5, 0.25f, 127},  {0, 3, 0.25f, 0},     {100, 3, 0.25f, 100},  {-5, 3, 0.25f, -4},
      {-128, 20, 0.3f, -121}, {0, 25, 0.0f, 0},    {120, 20, 2.0f, -96},
  };
  for (const CounterCase& c : cases) {
    scenes::GreyCounter = c.before;
    shell::FrameStep = c.step;
    scenes::UpdateGreyCounter(c.increment);
    EXPECT_EQ(scenes::GreyCounter, c.after)
        << int{c.before} << " + " << c.increment << " x " << c.step;
  }
}

TEST(GreyCounter, LevelsAsTheLayersSeeThem) {
  struct {
    int8_t counter;
    int counter_level;
    int eighth_level;  // after the layer keeps the low 8 bits
  } cases[] = {{0, 0, 0}, {127, 127, 15}, {-128, 128, 240}, {-1, 255, 255}, {8, 8, 1}, {-9, 247, 254}};
  for (const auto& c : cases) {
    scenes::GreyCounter = c.counter;
    EXPECT_EQ(scenes::CounterLevel(), c.counter_level) << int{c.counter};
    EXPECT_EQ(scenes::EighthLevel() & 0xFF, c.eighth_level) << int{c.counter};
  }
}

class Scenes : public StartedDemo {};

TEST_F(Scenes, AClipRestartsAtTheStepAfterRunningPastItsEnd) {
  // liekki of the test media has five frames, 0 to 4.
  struct {
    float position;
    bool in_range;
    float after;
  } steps[] = {{3.9f, true, 4.4f}, {4.4f, true, 4.9f}, {4.9f, true, 5.4f}, {5.4f, false, 0.5f}};
  float position = 3.9f;
  frame(0.25f, [&] {
    for (const auto& s : steps) {
      ASSERT_FLOAT_EQ(position, s.position);
      EXPECT_EQ(scenes::AdvanceClip(shell::LiekkiClip, position, 2.0f), s.in_range);
      EXPECT_FLOAT_EQ(position, s.after);
    }
  });
}

TEST_F(Scenes, TheFirstFrameOfTheDemoIsBlack) {
  auto picture = frame(0.0f, [] { scenes::LiekkiOverlayScene(); });
  for (uint16_t p : picture) ASSERT_EQ(p, 0);
  EXPECT_EQ(scenes::GreyCounter, 0);
  EXPECT_EQ(scenes::ClipPositionC, 0.0f);
}

TEST_F(Scenes, TheOrbiterStartsFromZeroAndUpdatesBeforeUse) {
  frame(2.0f, [] { scenes::OrbiterMesh0Scene(); });
  EXPECT_FLOAT_EQ(scenes::MeshTurn4, 0.001f);
  EXPECT_FLOAT_EQ(scenes::MeshTurn3, -0.0002f);
  EXPECT_FLOAT_EQ(scenes::ScrollOffset, -0.02f);
  EXPECT_FLOAT_EQ(scenes::SpinAngle, 1.0f);
  EXPECT_EQ(mesh::MeshTextureUOffset, scenes::ScrollOffset);
  EXPECT_EQ(mesh::MeshTextureScale, 1.0f);
  D3DMATRIX world, y, x, expected;
  shell::Device->GetTransform(D3DTS_WORLD, &world);
  mesh::BuildRotationY(&y, scenes::MeshTurn4);
  mesh::BuildRotationX(&x, scenes::MeshTurn3);
  mesh::MultiplyMatrices(&expected, &y, &x);
  for (int i = 0; i < 16; ++i) EXPECT_EQ((&world._11)[i], (&expected._11)[i]) << i;
}

TEST_F(Scenes, TheMeshOneVariantKeepsTheWorldStill) {
  frame(3.0f, [] { scenes::OrbiterMesh1Scene(); });
  D3DMATRIX world;
  shell::Device->GetTransform(D3DTS_WORLD, &world);
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) EXPECT_EQ(world.m[r][c], r == c ? 1.0f : 0.0f);
  }
}

TEST_F(Scenes, CameraTracksOverTheirNominalLengths) {
  for (int i = 0; i < 192; ++i) frame(1.0f, [] { scenes::OrbiterMesh0Scene(); });
  EXPECT_NEAR(scenes::CameraTrackMesh0.depth, 2.32f, 1e-4);
  EXPECT_NEAR(scenes::CameraTrackMesh0.sway, 0.216f, 1e-4);
  // Entry 10 for 24 units, then entry 12 continues the same track.
  for (int i = 0; i < 24; ++i) frame(1.0f, [] { scenes::OrbiterMesh1Scene(); });
  EXPECT_NEAR(scenes::CameraTrackMesh1.depth, 4.32f, 1e-4);
  for (int i = 0; i < 48; ++i) frame(1.0f, [] { scenes::OrbiterMesh1Scene(); });
  EXPECT_NEAR(scenes::CameraTrackMesh1.depth, 0.96f, 1e-4);
  EXPECT_NEAR(scenes::CameraTrackMesh1.sway, 0.456f, 1e-4);
}

TEST_F(Scenes, TheHeadlessClipStepsSixFramesThenEveryFive) {
  std::vector<int> shown;
  for (int i = 0; i < 16; ++i) {
    shown.push_back(scenes::HeadlessFrameIndex);
    frame(0.3f, [] { scenes::HeadlessScene(); });
  }
  EXPECT_EQ(shown, (std::vector<int>{0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2}));
}

TEST_F(Scenes, TwoLayersOfOneClipEachShowTheirOwnFrame) {
  // If the second decode overwrote what the first layer drew from, the two
  // positions would give the same picture as two equal positions.
  scenes::ClipPositionA = 0.0f;
  scenes::ClipPositionB = 2.0f;
  auto different = frame(0.0f, [] { scenes::HpHpScene(); });
  scenes::ClipPositionA = 2.0f;
  scenes::ClipPositionB = 2.0f;
  auto same = frame(0.0f, [] { scenes::HpHpScene(); });
  EXPECT_NE(different, same);
}

TEST_F(Scenes, StartUpBindsTheLargeClipTexture) {
  EXPECT_EQ(codec::CurrentClipTexture, 1);
  IDirect3DBaseTexture8* bound = nullptr;
  shell::Device->GetTexture(0, &bound);
  EXPECT_EQ(bound, codec::ClipTexture[1]);
  if (bound != nullptr) bound->Release();
}

}  // namespace
