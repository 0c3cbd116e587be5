// Thick walls and their cutaways over an in-memory object file: the piece layout, the lists
// decoded frame by frame against the image they were cut from, and the refusals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DebugCapture.h"
#include "MakeThickWalls.h"
#include "MemResFile.h"
#include "SpriteDecoders.h"
#include "TileTestWorlds.h"
#include "WallError.h"
#include "offscrn.h"

namespace {

const uint32_t kSPR = 0x53505223;
const uint32_t kPALT = 0x50414C54;

bool SameRect(const MacRect& r, int left, int top, int right, int bottom) {
  return r.left == left && r.top == top && r.right == right && r.bottom == bottom;
}

TEST(ThickWallPieces, LieOnTheGridOfTheirZoom) {
  ScopedDebugCapture capture;
  MacRect small[kThickWallPieceCount];
  ASSERT_TRUE(ThickWallPieceRects(small, 1));
  EXPECT_TRUE(SameRect(small[0], 38, 2, 70, 18));
  EXPECT_TRUE(SameRect(small[6], 254, 2, 286, 18));  // the last of the first row
  EXPECT_TRUE(SameRect(small[7], 2, 77, 34, 93));    // the second row starts at column 0
  EXPECT_TRUE(SameRect(small[45], 218, 377, 250, 393));
  const std::vector<std::string> text = capture.Text();
  ASSERT_EQ(text.size(), size_t(kThickWallPieceCount));
  EXPECT_EQ(text[0], "(38, 2; 70, 18)\n");

  MacRect medium[kThickWallPieceCount];
  ASSERT_TRUE(ThickWallPieceRects(medium, 2));
  EXPECT_TRUE(SameRect(medium[0], 76, 4, 140, 36));
  MacRect large[kThickWallPieceCount];
  ASSERT_TRUE(ThickWallPieceRects(large, 3));
  for (int i = 0; i < kThickWallPieceCount; i++) {
    EXPECT_TRUE(SameRect(large[i], 4 * small[i].left, 4 * small[i].top, 4 * small[i].right,
                         4 * small[i].bottom)) << i;
  }
  EXPECT_TRUE(capture.Reports().empty());
}

TEST(ThickWallPieces, RefuseAScaleOutsideOneToThree) {
  for (int scale : {0, 4, -1}) {
    ScopedDebugCapture capture;
    MacRect rects[kThickWallPieceCount] = {};
    EXPECT_FALSE(ThickWallPieceRects(rects, scale));
    EXPECT_TRUE(SameRect(rects[0], 0, 0, 0, 0));
    ASSERT_EQ(capture.Reports().size(), 1u);
    EXPECT_NE(capture.Reports()[0].text.find("bad scale"), std::string::npos);
  }
}

// An image with a block of colour over each piece of `scale`, less a clear border of 1.
TileImage ThickImage(int scale, int extraWidth = 0) {
  MacRect rects[kThickWallPieceCount];
  ThickWallPieceRects(rects, scale);
  const int k = 1 << (scale - 1);
  TileImage image(286 * k + extraWidth, 393 * k);
  for (int i = 0; i < kThickWallPieceCount; i++) image.FillBlock(rects[i], 1, i);
  return image;
}

// Checks an SPR# list of host order: 46 untrimmed pieces of `scale`, each showing the image.
void ExpectPieces(const std::vector<uint8_t>& bytes, const TileImage& image, int scale,
                  uint32_t version, uint32_t paletteId) {
  spritedec::SpriteListInfo list;
  std::string error;
  ASSERT_TRUE(spritedec::DecodeSpriteList(bytes.data(), bytes.size(), list, error)) << error;
  EXPECT_EQ(list.version, version);
  EXPECT_EQ(list.paletteId, paletteId);
  ASSERT_EQ(list.count, uint32_t(kThickWallPieceCount));
  MacRect rects[kThickWallPieceCount];
  ThickWallPieceRects(rects, scale);
  for (int i = 0; i < kThickWallPieceCount; i++) {
    spritedec::SprFrame frame;
    ASSERT_TRUE(spritedec::DecodeSprFrame(bytes.data() + list.frames[i].offset, list.frames[i].size,
                                          frame, error)) << i << ": " << error;
    ASSERT_EQ(frame.width, rects[i].right - rects[i].left);
    ASSERT_EQ(frame.height, rects[i].bottom - rects[i].top);
    const std::vector<int> got = spritedec::SprToIndices(frame, spritedec::SprColours{});
    int wrong = 0;
    for (int y = 0; y < frame.height; y++) {
      for (int x = 0; x < frame.width; x++) {
        const int want = image.At(rects[i].left + x, rects[i].top + y);
        if (got[size_t(y) * frame.width + x] != (want == 0 ? -1 : want)) wrong++;
      }
    }
    EXPECT_EQ(wrong, 0) << "piece " << i;
  }
}

class ThickWallMaker : public ::testing::Test {
 protected:
  std::string Run(int scale) {
    testing::internal::CaptureStderr();
    MakeThickWalls(&colour, scale, &file);
    return testing::internal::GetCapturedStderr();
  }
  std::string RunCutaway(int zoom) {
    testing::internal::CaptureStderr();
    MakeThickCutaway(&colour, &alpha, zoom, &file);
    return testing::internal::GetCapturedStderr();
  }
  Offscreen colour;
  Offscreen alpha;
  MemResFile file;
};

TEST_F(ThickWallMaker, WritesTheUntrimmedPiecesAndThePalette) {
  const TileImage image = ThickImage(1, 10);
  ASSERT_TRUE(ImageToWorld(image, colour));
  EXPECT_EQ(Run(1), "");
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(file.GetStored(kSPR, 4096, &bytes));
  ExpectPieces(bytes, image, 1, 502, 4096);
  EXPECT_TRUE(file.GetStored(kPALT, 4096, nullptr));
  EXPECT_EQ(file.CountTypes(), 2);
}

TEST_F(ThickWallMaker, CutawayAddsTheAlphaListWithoutAPalette) {
  const TileImage image = ThickImage(1);
  TileImage depth(image.width, image.height);
  for (size_t i = 0; i < depth.index.size(); i++) depth.index[i] = image.index[i] == 0 ? 255 : uint8_t(1 + i % 97);
  ASSERT_TRUE(ImageToWorld(image, colour));
  ASSERT_TRUE(ImageToWorld(depth, alpha));
  EXPECT_EQ(RunCutaway(1), "");
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(file.GetStored(kSPR, 5120, &bytes));
  ExpectPieces(bytes, image, 1, 502, 5120);
  EXPECT_TRUE(file.GetStored(kPALT, 5120, nullptr));
  ASSERT_TRUE(file.GetStored(kSPR, 6144, &bytes));
  // Clear 255 in the alpha image reads back as transparent.
  TileImage expected = depth;
  for (uint8_t& v : expected.index) v = v == 255 ? 0 : v;
  ExpectPieces(bytes, expected, 1, 505, 0xFFFFFFFF);
}

TEST_F(ThickWallMaker, RefusesBadScalesAndPiecesOutsideTheImage) {
  ASSERT_TRUE(ImageToWorld(ThickImage(1), colour));
  {
    ScopedDebugCapture capture;
    EXPECT_EQ(Run(4), "bad scale : 4\n");
    EXPECT_EQ(RunCutaway(0), "bad scale : 0\n");
    EXPECT_EQ(file.CountTypes(), 0);
  }
  // The scale-2 pieces leave a scale-1 image: no list, and no palette without it.
  EXPECT_EQ(Run(2), "image too small for the thick wall pieces : 2\n");
  EXPECT_EQ(file.CountTypes(), 0);
}

TEST_F(ThickWallMaker, CutawayWithoutAlphaWritesNothing) {
  ASSERT_TRUE(ImageToWorld(ThickImage(1), colour));
  const int before = LiveHandleCount();
  testing::internal::CaptureStderr();
  EXPECT_EQ(MakeThickCutaway(&colour, &alpha, 1, &file), kTileNotMade);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "thick wall cutaway tga has no alpha channel : 0\n");
  EXPECT_EQ(file.CountTypes(), 0);  // neither the colour list nor its palette
  EXPECT_EQ(LiveHandleCount(), before);
}

TEST_F(ThickWallMaker, AFailedWriteEndsTheMakerAndFreesTheList) {
  ASSERT_TRUE(ImageToWorld(ThickImage(1), colour));
  file.SetReadOnly(true);
  const int before = LiveHandleCount();
  EXPECT_EQ(Run(1).substr(0, 24), "could not add sprites : ");
  EXPECT_EQ(LiveHandleCount(), before);
}

}  // namespace
