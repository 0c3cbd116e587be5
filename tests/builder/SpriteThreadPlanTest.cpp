// The sprite build's thread plan, from the sizes of its sheets and sprites: which sheets are
// loaded ahead, which sprites are encoded on the pool, how many threads each gets, and which
// sprite's frames may be encoded while the one before is written. The thresholds are tested
// at their edges (one pixel under, at).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SpriteThreadPlan.h"

namespace {

constexpr int64_t kWork = 1000;    // the least work for threads
constexpr int64_t kPooled = 100;   // a pooled sprite's least pixels
constexpr int64_t kAhead = 200;    // a sheet loaded ahead: its least pixels
constexpr size_t kNone = kNoPlannedSheet;
constexpr size_t kNo = kNoFollowing;

SpriteThreadSettings Settings(int32_t threads) {
  SpriteThreadSettings s;
  s.threads = threads;
  s.leastWork = kWork;
  s.leastPooled = kPooled;
  s.leastAhead = kAhead;
  return s;
}

// One sprite per sheet, each of `pixels`.
void OnePerSheet(const std::vector<int64_t>& pixels, std::vector<PlannedSheet>& sheets,
                 std::vector<PlannedSprite>& sprites) {
  for (size_t i = 0; i < pixels.size(); i++) {
    sheets.push_back({pixels[i], false});
    sprites.push_back({i, pixels[i], false});
  }
}

struct Case {
  const char* name;
  int32_t threads;
  std::vector<PlannedSheet> sheets;
  std::vector<PlannedSprite> sprites;
  int32_t loaders;
  int32_t poolThreads;
  std::vector<bool> ahead;
  std::vector<bool> pooled;
  std::vector<size_t> following;
};

TEST(SpriteThreadPlan, FollowsTheThresholdsOfItsSettings) {
  std::vector<Case> cases;
  {
    // Work enough for everything, but one thread: no thread at all.
    Case c{"one thread", 1, {}, {}, 0, 0, {false, false, false}, {false, false, false}, {kNo, kNo, kNo}};
    OnePerSheet({600, 600, 600}, c.sheets, c.sprites);
    cases.push_back(c);
  }
  {
    // The sheets after the first hold the least work together (600 + 400): a loader; the
    // sprites hold it too: the pool gets the three threads left.
    Case c{"loader and pool", 4, {}, {}, 1, 3, {false, true, true}, {true, true, true}, {kNo, kNo, kNo}};
    OnePerSheet({600, 600, 400}, c.sheets, c.sprites);
    cases.push_back(c);
  }
  {
    // One pixel short of the least work behind the first sheet: no loader; the pool takes
    // every thread.
    Case c{"loads one short", 4, {}, {}, 0, 4, {false, false, false}, {true, true, true}, {kNo, kNo, kNo}};
    OnePerSheet({600, 600, 399}, c.sheets, c.sprites);
    cases.push_back(c);
  }
  {
    // Two threads and a loader leave the pool one: no pool.
    Case c{"two threads", 2, {}, {}, 1, 0, {false, true, true}, {false, false, false}, {kNo, kNo, kNo}};
    OnePerSheet({600, 600, 400}, c.sheets, c.sprites);
    cases.push_back(c);
  }
  {
    // Sheets one pixel under the least of a sheet loaded ahead, sprites one under a pooled
    // sprite's least: many of them, but no thread.
    Case c{"each too small", 4, {}, {}, 0, 0, std::vector<bool>(12, false),
           std::vector<bool>(12, false), std::vector<size_t>(12, kNo)};
    OnePerSheet(std::vector<int64_t>(12, 99), c.sheets, c.sprites);
    for (PlannedSheet& s : c.sheets) s.pixels = kAhead - 1;
    cases.push_back(c);
  }
  {
    // At the least of each: a sheet of exactly kAhead, sprites of exactly kPooled; five
    // sheets after the first make the least work exactly.
    Case c{"at the edges", 4, {}, {}, 1, 3, std::vector<bool>(6, true),
           std::vector<bool>(12, true), {}};
    c.ahead[0] = false;
    for (size_t s = 0; s < 6; s++) {
      c.sheets.push_back({kAhead, false});
      c.sprites.push_back({s, kPooled, false});
      c.sprites.push_back({s, kPooled, false});
      c.following.push_back(2 * s + 1);  // the second sprite of the sheet follows the first
      c.following.push_back(kNo);
    }
    cases.push_back(c);
  }
  {
    // A sheet with an alpha image is always the build's own: without it the sheets behind
    // the first hold 500 pixels, too few for a loader. Its sprites may still be pooled.
    Case c{"alpha", 4, {}, {}, 0, 4, {false, false, false}, {true, true, true}, {kNo, kNo, kNo}};
    OnePerSheet({600, 600, 500}, c.sheets, c.sprites);
    c.sheets[1].hasAlpha = true;
    cases.push_back(c);
  }
  {
    // Following: the next sprite with an image, pooled, on the same sheet, neither masked.
    // Sprites: 0 and 1 on sheet 0; a headline (no image); 3 on sheet 0; 4 masked on sheet 0;
    // 5 on sheet 0 after the masked one; 6 too small for the pool; 7 on sheet 1.
    Case c{"following", 4,
           {{2000, false}, {600, false}},
           {{0, 600, false}, {0, 600, false}, {kNone, 0, false}, {0, 600, false},
            {0, 600, true}, {0, 600, false}, {0, 50, false}, {1, 600, false}},
           0, 4, {false, false},
           {true, true, false, true, true, true, false, true},
           {1, 3, kNo, kNo, kNo, kNo, kNo, kNo}};
    cases.push_back(c);
  }

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SpriteThreadPlan plan = PlanSpriteThreads(c.sheets, c.sprites, Settings(c.threads));
    EXPECT_EQ(plan.loaders, c.loaders);
    EXPECT_EQ(plan.poolThreads, c.poolThreads);
    EXPECT_EQ(plan.ahead, c.ahead);
    EXPECT_EQ(plan.pooled, c.pooled);
    EXPECT_EQ(plan.following, c.following);
  }
}

TEST(SpriteThreadPlan, CurrentSettingsFollowTheProcessSettings) {
  const int32_t oldThreads = GetSpriteThreads();
  const int64_t oldWork = GetSpriteThreadWork();
  SetSpriteThreads(3);
  SetSpriteThreadWork(50);
  const SpriteThreadSettings s = CurrentSpriteThreadSettings();
  EXPECT_EQ(s.threads, 3);
  EXPECT_EQ(s.leastWork, 50);
  // The least of a pooled sprite and of a sheet loaded ahead never exceeds the least work.
  EXPECT_LE(s.leastPooled, 50);
  EXPECT_LE(s.leastAhead, 50);
  SetSpriteThreads(0);
  EXPECT_EQ(GetSpriteThreads(), 1);
  SetSpriteThreads(oldThreads);
  SetSpriteThreadWork(oldWork);
}

}  // namespace
