// Tile geometry: view sizes by zoom, tile points and their neighbours, the rotation table
// of a tile area, and the walls of one tile.
#include <gtest/gtest.h>

#include <functional>

#include "DebugCapture.h"
#include "ctilept.h"
#include "isoview.h"
#include "tilewalls.h"

TEST(IsoView, SizesByZoom) {
  const int32_t factor[] = {1, 2, 4}, tile[] = {32, 64, 128}, cell[] = {34, 68, 136},
                height[] = {96, 192, 384};
  for (int32_t s = kMinScale; s <= kMaxScale; ++s) {
    EXPECT_EQ(ScaleFactor(s), factor[s - 1]);
    EXPECT_EQ(TileWidth(s), tile[s - 1]);
    EXPECT_EQ(WallCellWidth(s), cell[s - 1]);
    EXPECT_EQ(WallHeight(s), height[s - 1]);
  }
}

TEST(IsoView, ZoomOutOfRangeIsReportedAndClamped) {
  ScopedDebugCapture capture;
  EXPECT_EQ(TileWidth(0), 32);
  EXPECT_EQ(WallHeight(7), 384);
  EXPECT_EQ(capture.Count("inScale >= kMinScale && inScale <= kMaxScale; bad scale"), 2);
}

TEST(CTilePt, AddsOffsetsAndChecksLevels) {
  ScopedDebugCapture capture;
  CTilePt p(5, 7, 2);
  p += TileNeighbourOffsets[4];
  EXPECT_EQ(p, CTilePt(4, 6, 2));
  EXPECT_EQ(capture.ReportCount(), 0u);

  CTilePt q = p + CTilePt(1, 1, 1);
  EXPECT_TRUE(capture.Saw("CTilePts on different levels"));
  EXPECT_EQ(q.x, 5);
  EXPECT_EQ(q.level, 2);

  CTilePt bad(0, 0, 3);
  EXPECT_TRUE(capture.Saw("inLevel >= 0 && inLevel <= kLevelCount; level out-of-range"));

  CTilePt& self = p;
  p = self;
  EXPECT_TRUE(capture.Saw("assigning CTilePt to self"));
}

TEST(CTilePt, NeighbourOffsets) {
  const int x[] = {0, 0, -1, 1, -1, 1, 1, -1}, y[] = {-1, 1, 0, 0, -1, 1, -1, 1};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(TileNeighbourOffsets[i], CTilePt(x[i], y[i], 0)) << i;
  }
}

TEST(TileRotationTable, RotatesTheArea) {
  static TileRotationTable table;  // large; keep it off the stack
  EXPECT_FALSE(table.IsBuilt());
  table.Build();
  EXPECT_TRUE(table.IsBuilt());
  EXPECT_EQ(table.Rotate(1, 0, 0), CTilePt(63, 0));
  EXPECT_EQ(table.Rotate(1, 10, 20), CTilePt(43, 10));
  EXPECT_EQ(table.Rotate(2, 10, 20), CTilePt(53, 43));
  EXPECT_EQ(table.Rotate(3, 10, 20), CTilePt(20, 53));
  EXPECT_EQ(table.Rotate(0, 10, 20), CTilePt(10, 20));
  ScopedDebugCapture capture;
  EXPECT_EQ(table.Rotate(4, 1, 2), CTilePt(1, 2));
  EXPECT_EQ(table.Rotate(1, 64, 0), CTilePt(64, 0));
  EXPECT_EQ(capture.Count("huh?"), 2);
}

TEST(TileWalls, AddingAndBlocking) {
  ScopedDebugCapture capture;
  TileWalls empty;
  EXPECT_TRUE(empty.CanAdd(kLeftWall));
  EXPECT_TRUE(empty.CanAdd(kHorizDiag));

  TileWalls walls;
  walls.AddWall(kLeftWall);
  EXPECT_FALSE(walls.CanAdd(kHorizDiag));
  EXPECT_TRUE(walls.CanAdd(kTopWall));
  walls.AddWall(kHorizDiag);
  EXPECT_TRUE(capture.Saw("AddWall: segment not allowed"));
  EXPECT_FALSE(walls.HasWall(kHorizDiag));

  TileWalls diagonal;
  diagonal.AddWall(kVertDiag);
  EXPECT_FALSE(diagonal.CanAdd(kBottomWall));
  EXPECT_FALSE(diagonal.CanAdd(kHorizDiag));
  EXPECT_TRUE(diagonal.CanAdd(kVertDiag));

  capture.Clear();
  EXPECT_FALSE(walls.CanAdd(kLeftWall | kTopWall));
  EXPECT_TRUE(capture.Saw("CanAdd: more than 1 wall specified"));
  walls.AddWall(kLeftWall | kTopWall);
  EXPECT_TRUE(capture.Saw("adding more than one wall"));

  // Blocking flags are for the unrotated tile: the right side is blocked.
  const uint8_t blocking[4] = {0, 0, 1, 0};
  TileWalls blocked(PackedTileWalls{}, blocking);
  EXPECT_FALSE(blocked.CanAdd(kRightWall));
  EXPECT_TRUE(blocked.CanAdd(kTopWall));
  blocked.Rotate(1);  // the blocked right side now lies at the bottom
  EXPECT_TRUE(blocked.CanAdd(kRightWall));
  EXPECT_FALSE(blocked.CanAdd(kBottomWall));
}

TEST(TileWalls, WalksSegments) {
  ScopedDebugCapture capture;
  TileWalls walls;
  EXPECT_EQ(walls.FirstSegment(), 0u);
  walls.AddWall(kBottomWall);
  walls.AddWall(kLeftWall);
  EXPECT_EQ(walls.FirstSegment(), kLeftWall);
  EXPECT_EQ(walls.Next(kLeftWall), kBottomWall);
  EXPECT_EQ(walls.Next(kBottomWall), 0u);
  EXPECT_TRUE(walls.HasWall(kLeftWall | kBottomWall));
  EXPECT_FALSE(walls.HasWall(kLeftWall | kTopWall));
  EXPECT_EQ(capture.ReportCount(), 0u);
  EXPECT_EQ(walls.Next(3), 0u);
  EXPECT_TRUE(capture.Saw("Bad inPrevious to TileWalls::Next"));
}

TEST(TileWalls, StylesPatternsAndPlacement) {
  ScopedDebugCapture capture;
  TileWalls walls;
  walls.AddWall(kTopWall);
  walls.AddWall(kRightWall);
  walls.SetStyle(7, kTopWall);
  walls.SetPattern(9, kAllWalls);
  walls.SetPlacement(2, kRightWall);
  EXPECT_EQ(walls.GetStyle(kTopWall), 7u);
  EXPECT_EQ(walls.GetStyle(kRightWall), 0u);
  EXPECT_EQ(walls.GetPattern(kRightWall), 9u);
  EXPECT_EQ(walls.GetPlacement(kRightWall), 2u);
  EXPECT_EQ(walls.GetPlacement(kTopWall), 0u);
  EXPECT_EQ(capture.ReportCount(), 0u);

  struct Misuse {
    std::function<void()> call;
    const char* message;
  } misuses[] = {
      {[&] { walls.GetStyle(kLeftWall); }, "wall segment doesn't exist"},
      {[&] { walls.GetStyle(kTopWall | kRightWall); }, "requesting style of more than 1 wall segment"},
      {[&] { walls.SetStyle(256, kTopWall); }, "style out of range"},
      {[&] { walls.SetStyle(1, kLeftWall); }, "SetPattern: wall segment doesn't exist"},
      {[&] { walls.GetPattern(kLeftWall); }, "This wall segment doesn't exist"},
      {[&] { walls.GetPattern(kTopWall | kRightWall); }, "GetPattern requesting more than 1 wall segment pattern"},
      {[&] { walls.SetPattern(300, kTopWall); }, "SetPattern: inPattern out of range"},
      {[&] { walls.SetPattern(1, kLeftWall); }, "SetPattern: wall segment doesn't exist"},
      {[&] { walls.GetPlacement(kLeftWall); }, "GetPlacement on non-existent wall segment"},
      {[&] { walls.GetPlacement(kTopWall | kRightWall); }, "GetPlacement called for multiple wall segments"},
      {[&] { walls.SetPlacement(1, kLeftWall); }, "SetPlacement on non-existent wall"},
      {[&] { walls.GetDiagFloor(1); }, "using floor-in-wall-data incorrectly"},
  };
  for (const Misuse& m : misuses) {
    capture.Clear();
    m.call();
    EXPECT_TRUE(capture.Saw(m.message)) << m.message;
  }
  // Nothing changed through the misuse.
  EXPECT_EQ(walls.GetStyle(kTopWall), 7u);
  EXPECT_EQ(walls.GetPattern(kTopWall), 9u);
}

TEST(TileWalls, DiagonalFacesAndFloors) {
  TileWalls walls;
  walls.AddWall(kHorizDiag);
  EXPECT_EQ(walls.GetPlacement(kHorizDiag), 3u);
  walls.SetPattern(4, kHorizDiag, 2);
  walls.SetPattern(5, kHorizDiag);  // no sub-face: sub-face 4
  EXPECT_EQ(walls.GetPattern(kHorizDiag, 2), 4u);
  EXPECT_EQ(walls.GetPattern(kHorizDiag, 4), 5u);
  walls.SetDiagFloor(11, kLeft);
  walls.SetDiagFloor(12, kBottom);
  EXPECT_EQ(walls.GetDiagFloor(kTop), 11u);
  EXPECT_EQ(walls.GetDiagFloor(kRight), 12u);
  walls.SetStyle(3, kHorizDiag);

  // A quarter turn makes it the other diagonal; sub-face 2 becomes 3, 4 becomes 1.
  walls.Rotate(1);
  EXPECT_FALSE(walls.HasWall(kHorizDiag));
  ASSERT_TRUE(walls.HasWall(kVertDiag));
  EXPECT_EQ(walls.GetPattern(kVertDiag, 3), 4u);
  EXPECT_EQ(walls.GetPattern(kVertDiag, 1), 5u);
  EXPECT_EQ(walls.GetStyle(kVertDiag), 3u);
  EXPECT_EQ(walls.GetDiagFloor(kLeft), 11u);
  EXPECT_EQ(walls.GetDiagFloor(kBottom), 12u);
  walls.Rotate(3);  // two more quarter turns: the same diagonal
  EXPECT_TRUE(walls.HasWall(kVertDiag));
  EXPECT_EQ(walls.GetPattern(kVertDiag, 3), 5u);
}

TEST(TileWalls, RotationMovesSides) {
  TileWalls walls;
  walls.AddWall(kLeftWall);
  walls.SetStyle(6, kLeftWall);
  walls.SetPattern(8, kLeftWall);
  walls.SetPlacement(1, kLeftWall);
  walls.Rotate(2);
  EXPECT_EQ(walls.GetRotation(), 2u);
  ASSERT_TRUE(walls.HasWall(kRightWall));
  EXPECT_FALSE(walls.HasWall(kLeftWall));
  EXPECT_EQ(walls.GetStyle(kRightWall), 6u);
  EXPECT_EQ(walls.GetPattern(kRightWall), 8u);
  EXPECT_EQ(walls.GetPlacement(kRightWall), 1u);
  walls.Rotate(0);
  EXPECT_TRUE(walls.HasWall(kLeftWall));

  EXPECT_EQ(TileWalls::RotateSegments(kLeftWall | kBottomWall | kHorizDiag, 1),
            kTopWall | kLeftWall | kVertDiag);
  EXPECT_EQ(TileWalls::RotateSelector(kBottom, 1), kLeft);
  ScopedDebugCapture capture;
  walls.Rotate(4);
  EXPECT_TRUE(capture.Saw("bad rotation value"));
  EXPECT_TRUE(walls.HasWall(kLeftWall));
}

TEST(TileWalls, DirectionsAndNeighbours) {
  const uint32_t ofDirection[] = {1, 1, 2, 2, 32, 32, 16, 16};
  const uint32_t between[] = {2, 8, 1, 4, 32, 32, 16, 16};
  for (int d = 0; d < 8; ++d) {
    EXPECT_EQ(TileWalls::SegmentOfDirection(d), ofDirection[d]) << d;
    EXPECT_EQ(TileWalls::GetWallBetween(d), between[d]) << d;
  }
  EXPECT_EQ(TileWalls::OppositeSegment(kLeftWall), kRightWall);
  EXPECT_EQ(TileWalls::OppositeSegment(kBottomWall), kTopWall);
  EXPECT_EQ(TileWalls::OppositeSegment(kVertDiag), kVertDiag);

  CTilePt p(10, 10, 1);
  TileWalls::GetAdjacentTile(kLeftWall, &p);
  EXPECT_EQ(p, CTilePt(9, 10, 1));
  TileWalls::GetAdjacentTile(kBottomWall, &p);
  EXPECT_EQ(p, CTilePt(9, 11, 1));
  TileWalls::GetAdjacentTile(kHorizDiag, &p);
  EXPECT_EQ(p, CTilePt(9, 11, 1));

  ScopedDebugCapture capture;
  EXPECT_EQ(TileWalls::SegmentOfDirection(8), 0u);
  EXPECT_TRUE(capture.Saw("bad direction"));
  EXPECT_EQ(TileWalls::GetWallBetween(-1), 0u);
  EXPECT_TRUE(capture.Saw("bad direction passed to GetWallBetween()"));
  EXPECT_EQ(TileWalls::OppositeSegment(3), 0u);
  TileWalls::GetAdjacentTile(kLeftWall, nullptr);
  EXPECT_TRUE(capture.Saw("Must pass in a CTilePt pointer"));
  EXPECT_EQ(capture.Count("bad seg to GetAdjacentTile"), 1);
}

TEST(TileWalls, PackedRecordAndCopies) {
  PackedTileWalls packed;
  packed.fSegments = kLeftWall | kBottomWall;
  packed.fPlacement = 2 | (1 << 6);
  packed.fStyles[0] = 4;
  packed.fStyles[3] = 5;
  TileWalls walls(packed);
  EXPECT_EQ(walls.GetStyle(kLeftWall), 4u);
  EXPECT_EQ(walls.GetPattern(kBottomWall), 5u);
  EXPECT_EQ(walls.GetPlacement(kLeftWall), 2u);
  EXPECT_EQ(walls.GetPlacement(kBottomWall), 1u);

  TileWalls copy(walls);
  EXPECT_EQ(copy.GetStyle(kBottomWall), 5u);
  ScopedDebugCapture capture;
  TileWalls& self = copy;
  copy = self;
  EXPECT_TRUE(capture.Saw("TileWalls assigned to self"));
  EXPECT_EQ(copy.GetStyle(kLeftWall), 4u);
}
