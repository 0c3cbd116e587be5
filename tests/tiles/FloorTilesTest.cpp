// The floor, shadow, pool and water tile rules and the floor maker over an in-memory object
// file: the id tables, the tile rectangles, and what the maker leaves behind when an id is out
// of its range, the image is too small or the file refuses a write.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "DebugCapture.h"
#include "MakeFloors.h"
#include "MakeWater.h"
#include "MemResFile.h"
#include "SpriteDecoders.h"
#include "TileTestWorlds.h"
#include "WallError.h"
#include "offscrn.h"

namespace {

const uint32_t kSPR2 = 0x53505232;
const uint32_t kPALT = 0x50414C54;

TEST(FloorIds, FollowTheRulesOfEachKind) {
  const struct {
    int id;
    int zoom;
    uint16_t floor;
  } floors[] = {{5, 1, 5}, {5, 2, 261}, {5, 3, 517}, {255, 3, 767}, {0, 1, 0}};
  for (const auto& c : floors) EXPECT_EQ(FloorSpriteId(uint8_t(c.id), c.zoom), c.floor) << c.id;

  EXPECT_EQ(ShadowSpriteId(3, 1), 771);
  EXPECT_EQ(ShadowSpriteId(3, 2), 803);
  EXPECT_EQ(ShadowSpriteId(31, 3), 863);

  const struct {
    int id;
    int zoom;
    uint16_t pool;
  } pools[] = {{2, 1, 1026}, {2, 2, 1042}, {2, 3, 1058}, {15, 3, 1071},
               {16, 1, 1072}, {17, 1, 1073}, {17, 2, 1077}, {17, 3, 1081}, {19, 3, 1083}};
  for (const auto& c : pools) EXPECT_EQ(PoolSpriteId(c.id, c.zoom), c.pool) << c.id << " " << c.zoom;

  EXPECT_EQ(WaterSpriteId(0), 2048);
  EXPECT_EQ(WaterSpriteId(15), 2063);
}

TEST(FloorIds, OutOfRangeIdsRaiseTheirAssertions) {
  ScopedDebugCapture capture;
  ShadowSpriteId(40, 1);
  PoolSpriteId(20, 1);
  PoolSpriteId(-1, 1);
  PoolSpriteId(3, 4);
  WaterSpriteId(16);
  std::string all;
  for (const auto& r : capture.Reports()) all += r.text + "\n";
  for (const char* text : {"shadow id out of range", "pool tile overlap piece id out-of-range",
                           "pool tile id out-of-range", "scale out-of-range", "water tile id out-of-range"}) {
    EXPECT_NE(all.find(text), std::string::npos) << text;
  }
}

TEST(FloorTileRect, HasOneRectanglePerZoom) {
  const struct {
    int zoom;
    MacRect rect;  // top, left, bottom, right
  } cases[] = {{1, {1, 195, 17, 226}}, {2, {1, 130, 33, 193}}, {3, {1, 1, 65, 128}}};
  for (const auto& c : cases) {
    MacRect r = {9, 9, 9, 9};
    FloorTileRect(r, c.zoom);
    EXPECT_EQ(r.top, c.rect.top);
    EXPECT_EQ(r.left, c.rect.left);
    EXPECT_EQ(r.bottom, c.rect.bottom);
    EXPECT_EQ(r.right, c.rect.right);
  }
  ScopedDebugCapture capture;
  MacRect r = {9, 9, 9, 9};
  FloorTileRect(r, 4);
  EXPECT_EQ(r.top, 9);
  ASSERT_EQ(capture.Reports().size(), 1u);
  EXPECT_NE(capture.Reports()[0].text.find("bad scale!"), std::string::npos);
}

// The floor maker over a world that holds a tile block in each zoom's rectangle.
class FloorMaker : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(MakeFloorWorld(world, 226, 65)); }
  std::string Run(uint32_t id, uint8_t shadow, uint8_t pool) {
    testing::internal::CaptureStderr();
    result = MakeFloorTile(&world, &file, id, shadow, pool);
    return testing::internal::GetCapturedStderr();
  }
  Offscreen world;
  MemResFile file;
  int32_t result = -1;  // of the last Run
};

TEST_F(FloorMaker, WritesOneTrimmedFramePerZoomAndThePalette) {
  EXPECT_EQ(Run(5, 0, 0), "");
  EXPECT_EQ(result, 0);
  const uint16_t ids[] = {5, 261, 517};
  for (int zoom = 1; zoom <= 3; zoom++) {
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(file.GetStored(kSPR2, ids[zoom - 1], &bytes)) << zoom;
    spritedec::SpriteListInfo list;
    std::string error;
    ASSERT_TRUE(spritedec::DecodeSpriteList(bytes.data(), bytes.size(), list, error)) << error;
    EXPECT_EQ(list.version, 1000u);
    EXPECT_EQ(list.count, 1u);
    EXPECT_EQ(list.paletteId, 5u);
    EXPECT_EQ(list.frames[0].offset, 16u);
    spritedec::Spr2Frame frame;
    ASSERT_TRUE(spritedec::DecodeSpr2Frame(bytes.data() + 16, list.frames[0].size, frame, error)) << error;
    ExpectFloorFrame(world, zoom, frame);
  }
  std::vector<uint8_t> palette;
  ASSERT_TRUE(file.GetStored(kPALT, 5, &palette));
  EXPECT_EQ(palette.size(), 784u);
}

TEST_F(FloorMaker, RefusesIdsThatWouldWriteOverAnotherTile) {
  const struct {
    uint32_t id;
    uint8_t shadow, pool;
    const char* message;
  } cases[] = {
      {40, 1, 0, "shadow id out of range : 40\n"},
      {20, 0, 1, "pool tile overlap piece id out-of-range : 20\n"},
      {uint32_t(-1), 0, 1, "pool tile id out-of-range : -1\n"},
      {256, 0, 0, "floor id out of range : 256\n"},
  };
  for (const auto& c : cases) {
    ScopedDebugCapture capture;
    EXPECT_EQ(Run(c.id, c.shadow, c.pool), c.message);
    EXPECT_EQ(result, kTileNotMade) << c.message;
    EXPECT_EQ(file.CountTypes(), 0) << c.message;
    EXPECT_FALSE(capture.Reports().empty()) << c.message;
  }
}

TEST_F(FloorMaker, ShadowWithPoolFollowsTheShadowRules) {
  ScopedDebugCapture capture;
  EXPECT_EQ(Run(3, 1, 1), "");
  EXPECT_TRUE(file.GetStored(kSPR2, 771, nullptr));
  EXPECT_FALSE(file.GetStored(kSPR2, 1027, nullptr));
  EXPECT_EQ(file.Count(kPALT), 0);
  ASSERT_FALSE(capture.Reports().empty());
  EXPECT_NE(capture.Reports()[0].text.find("pooltile & shadow?!?"), std::string::npos);
}

TEST_F(FloorMaker, AnImageTooSmallForAZoomWritesNothing) {
  ASSERT_TRUE(MakeFloorWorld(world, 200, 40));  // holds the zoom 2 tile only
  const int before = LiveHandleCount();
  EXPECT_EQ(Run(5, 0, 0), "image too small for the floor tile : 1\nimage too small for the floor tile : 3\n");
  EXPECT_EQ(result, kTileNotMade);
  EXPECT_EQ(file.CountTypes(), 0);  // neither the zoom 2 sprite nor the palette
  EXPECT_EQ(LiveHandleCount(), before);  // the zoom 2 list made was freed
}

TEST_F(FloorMaker, AFailedWriteEndsTheMakerWithoutLosingTheList) {
  const int before = LiveHandleCount();
  file.SetWriteError(-36);
  EXPECT_EQ(Run(5, 0, 0), "could not add write sprites : -36\n");
  EXPECT_EQ(file.WriteCount(), 0);
  EXPECT_EQ(file.HeldCount(), 1);  // the list the file took stays the file's
  file.SetReadOnly(true);
  EXPECT_EQ(Run(6, 0, 0).substr(0, 24), "could not add sprites : ");
  EXPECT_EQ(LiveHandleCount(), before + 1);  // the refused list was freed
}

TEST(WaterDepth, OnlyNothingDrawnBecomesDrawn) {
  Offscreen depth;
  ASSERT_TRUE(depth.Create(MacRect{0, 0, 3, 5}));
  uint8_t* row = depth.GetBaseAddr();
  for (int y = 0; y < 3; y++, row += depth.GetRowBytes()) {
    for (int x = 0; x < 5; x++) row[x] = uint8_t(x == 0 ? 255 : 250 + x);
  }
  ClampWaterDepth(&depth);
  row = depth.GetBaseAddr();
  for (int y = 0; y < 3; y++, row += depth.GetRowBytes()) {
    EXPECT_EQ(row[0], 254);
    EXPECT_EQ(row[1], 251);
    EXPECT_EQ(row[4], 254);
  }
}

}  // namespace
