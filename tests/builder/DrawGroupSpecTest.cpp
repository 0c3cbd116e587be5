// Draw-group specs compiled from object-make text: item expansion into views, direction
// offsets, overwrites, obscured ordering, deprecated items, the draw-group table and the
// draw offsets: of items in an order other than the sprites', of a sprite in several items,
// and of groups that do not show a sprite.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <tuple>
#include <string>

#include "DGRPSpec.h"
#include "MemResFile.h"
#include "ObjectBuilder.h"
#include "SpecSet.h"
#include "SpriteSpec.h"
#include "TestTempFolder.h"
#include "attribtable.h"
#include "flatfile.h"

namespace {

const char kSizes[] = "<sizes lwidth=16 lheight=16 mwidth=8 mheight=8 swidth=4 sheight=4>\n";

// Compiles `omk` into a spec set over an empty in-memory object file, with the log going to
// a temporary stream that Log() reads back.
class Compiled {
 public:
  explicit Compiled(const std::string& omk) {
    fLog = tmpfile();
    fOldLog = gLogStream;
    gLogStream = fLog;
    const std::string path = fDir.WriteFile("a.omk", omk);
    fSet.reset(new SpecSet(&fFile));
    FlatFile markup;
    FixedStringBuffer<260> p(path.c_str());
    markup.Open(p);
    ReadMarkupFile(fTags, &markup);
    markup.Close();
    try {
      fSet->ParseSpecTags(fTags);
    } catch (...) {
      gLogStream = fOldLog;
      fclose(fLog);
      throw;
    }
  }
  ~Compiled() {
    gLogStream = fOldLog;
    fclose(fLog);
  }
  SpecSet& Set() { return *fSet; }
  DGRPSpec* Group(int n) { return fSet->fDrawGroups.Nth(n); }
  std::string Log() {
    fflush(fLog);
    rewind(fLog);
    std::string text;
    char buffer[512];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, fLog)) > 0) text.append(buffer, n);
    return text;
  }

 private:
  TestTempFolder fDir;
  MemResFile fFile;
  AttribTableList fTags;
  std::unique_ptr<SpecSet> fSet;
  FILE* fLog;
  FILE* fOldLog;
};

int Occurrences(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) n++;
  return n;
}

TEST(DrawGroupSpec, ItemExpandsIntoEveryViewWithItsDirectionOffset) {
  Compiled c(std::string(kSizes) +
             "<sprite id=1 name=one tgafile=a.tga>\n"
             "<drawgroup id=5 name=five>\n<item sprite id=1>\n"
             "<drawgroup id=6 name=six>\n<item sprite id=1 \"direction offset\"=2>\n");
  for (int g = 0; g < 2; g++) {
    DrawGroup& group = c.Group(g)->GetDrawGroup();
    ASSERT_EQ(group.fEntries.size(), 12u);
    for (uint32_t zoom = 1; zoom <= 3; zoom++) {
      for (uint32_t d = 0; d < 8; d += 2) {
        DrawGroupEntry* e = group.GetEntry(d, zoom);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->fDirectionMask, 1u << d);
        ASSERT_EQ(e->CountItems(), 1);
        const uint32_t view = g == 0 ? d / 2 : ((d + 2) % 8) / 2;
        EXPECT_EQ(e->fItems[0].fSpriteIndex, int32_t(view + (3 - zoom) * 4));
        EXPECT_EQ(e->fItems[0].fFlags, 0u);
        EXPECT_EQ(e->fItems[0].fSpriteId, 1);
      }
    }
  }
}

TEST(DrawGroupSpec, OverwritesOrderingAndDeprecatedItems) {
  Compiled c(std::string(kSizes) +
             "<sprite id=1 name=one tgafile=a.tga>\n"
             "<sprite id=2 name=two tgafile=b.tga>\n"
             "<drawgroup id=5 name=five ordering=obscured>\n"
             "<item object id=1>\n<item slot id=1>\n"
             "<item sprite id=1 alt=1>\n<item sprite id=2>\n<item sprite id=1 alt=2>\n");
  const std::string log = c.Log();
  EXPECT_EQ(Occurrences(log, "warning: draw group item tag specifying depracated \"object\" type\n"), 1);
  EXPECT_EQ(Occurrences(log, "warning: draw group item tag specifying depracated \"slot\" type\n"), 1);
  EXPECT_EQ(Occurrences(log, "warning: overwriting a draw group item\n"), 12);
  DrawGroup& group = c.Group(0)->GetDrawGroup();
  for (uint32_t zoom = 1; zoom <= 3; zoom++) {
    for (uint32_t d = 0; d < 8; d += 2) {
      DrawGroupEntry* e = group.GetEntry(d, zoom);
      ASSERT_EQ(e->CountItems(), 2);
      const bool reversed = d == 2 || d == 4;
      const DrawGroupItem& one = e->fItems[reversed ? 1 : 0];
      EXPECT_EQ(one.fSpriteId, 1);
      EXPECT_EQ(one.fAlt, 2.0f * 0.33333334f * 4.898979f);
      EXPECT_EQ(e->fItems[reversed ? 0 : 1].fSpriteId, 2);
    }
  }
}

TEST(DrawGroupSpec, TableRowsCountFromEachRunOfIds) {
  Compiled c(std::string(kSizes) +
             "<sprite id=1 name=one tgafile=a.tga>\n<sprite id=2 name=two tgafile=a.tga>\n"
             "<drawgroup id=100 name=a>\n<item sprite id=1>\n<item sprite id=2>\n"
             "<drawgroup id=101 name=b>\n<item sprite id=2>\n"
             "<drawgroup id=102 name=empty>\n"
             "<drawgroup id=105 name=c>\n<item sprite id=1>\n");
  FILE* out = tmpfile();
  c.Set().PrintDrawGroups(out);
  rewind(out);
  char text[512] = {};
  EXPECT_GT(fread(text, 1, sizeof text - 1, out), 0u);
  fclose(out);
  EXPECT_STREQ(text,
               "DGroupNum\tName\tDescription\n"
               "0\ta\t(one) + (two)\n"
               "1\tb\t(two)\n"
               "0\tc\t(one)\n");
}

TEST(DrawGroupSpec, DrawOffsetsLeaveGroupsWithoutTheSprite) {
  Compiled c(std::string(kSizes) +
             "<sprite id=1 name=one tgafile=a.tga frames=2>\n<sprite id=2 name=two tgafile=a.tga>\n"
             "<drawgroup id=7 name=seven>\n<item sprite id=2>\n");
  SpriteSpec* diagonal = c.Set().fSprites.Nth(0);
  std::vector<MacRect> cells;
  std::vector<SpriteCut> cuts;
  diagonal->GetSpriteRects(cells, cuts);
  diagonal->SetCompressionBounds(cells, cells);
  DGRPSpec* group = c.Group(0);
  const DrawGroup before = group->GetDrawGroup();
  group->UpdateDrawOffsets(diagonal);  // group 7 has no odd directions: nothing to do
  ASSERT_EQ(group->GetDrawGroup().fEntries.size(), before.fEntries.size());
  EXPECT_EQ(group->GetDrawGroup().fEntries[0].fItems[0].fValueA, before.fEntries[0].fItems[0].fValueA);
}

// Gives `sprite` compression bounds that trim each cell by its own amounts, so that every
// view has a draw offset of its own.
void TrimEveryCellDifferently(SpriteSpec* sprite) {
  std::vector<MacRect> cells;
  std::vector<SpriteCut> cuts;
  sprite->GetSpriteRects(cells, cuts);
  std::vector<MacRect> trimmed = cells;
  for (size_t i = 0; i < trimmed.size(); i++) {
    trimmed[i].left += static_cast<int16_t>(i % 4 + 1);
    trimmed[i].top += static_cast<int16_t>(sprite->fId);
  }
  sprite->SetCompressionBounds(cells, trimmed);
}

TEST(DrawGroupSpec, DrawOffsetsFollowTheViewOfTheItemThatStands) {
  // Items name the sprites 3, 1, 2 and 1 again (which overwrites the first item of 1 with
  // another direction offset); obscured ordering puts later items in front in directions 2
  // and 4, so an item's place differs from its tag's.
  Compiled c(std::string(kSizes) +
             "<sprite id=1 tgafile=a.tga>\n<sprite id=2 tgafile=a.tga>\n"
             "<sprite id=3 tgafile=a.tga>\n"
             "<drawgroup id=5 ordering=obscured>\n<item sprite id=3 \"direction offset\"=6>\n"
             "<item sprite id=1 \"direction offset\"=2>\n<item sprite id=2>\n"
             "<item sprite id=1 \"direction offset\"=4>\n");
  const int32_t standingOffset[] = {0, 4, 0, 6};  // by sprite id
  for (PtrListIterator<SpriteSpec> it(c.Set().fSprites); it.Current() != nullptr; it.Next()) {
    TrimEveryCellDifferently(it.Current());
  }
  DGRPSpec* group = c.Group(0);
  for (PtrListIterator<SpriteSpec> it(c.Set().fSprites); it.Current() != nullptr; it.Next()) {
    group->UpdateDrawOffsets(it.Current());
  }
  DrawGroup& drawn = group->GetDrawGroup();
  ASSERT_EQ(drawn.fEntries.size(), 12u);
  std::set<std::tuple<int32_t, uint32_t, int32_t, int32_t>> distinct;
  for (uint32_t zoom = 1; zoom <= 3; zoom++) {
    for (uint32_t d = 0; d < 8; d += 2) {
      DrawGroupEntry* e = drawn.GetEntry(d, zoom);
      ASSERT_NE(e, nullptr);
      ASSERT_EQ(e->CountItems(), 3);
      for (const DrawGroupItem& item : e->fItems) {
        SCOPED_TRACE(testing::Message() << "zoom " << zoom << " d " << d << " sprite " << item.fSpriteId);
        const SpriteSpec* sprite = FindSpriteSpec(c.Set(), item.fSpriteId);
        ASSERT_NE(sprite, nullptr);
        const int32_t view = int32_t(d + standingOffset[item.fSpriteId]) % 8;
        int32_t number = 0;
        bool flip = false;
        sprite->GetSpriteNumber(view, int32_t(zoom), 0, number, flip);
        EXPECT_EQ(item.fSpriteIndex, number);
        MacPoint offset;
        sprite->GetDrawOffset(offset, view, int32_t(zoom), 0);
        EXPECT_EQ(item.fValueA, offset.h);
        EXPECT_EQ(item.fValueB, offset.v);
        distinct.insert({item.fSpriteId, zoom, item.fValueA, item.fValueB});
      }
    }
  }
  EXPECT_EQ(distinct.size(), 36u);  // within a sprite and zoom, every view has its own offset
}

TEST(DrawGroupSpec, RadialPairGroupTurnsTheMembersWithTheView) {
  std::string omk = kSizes;
  for (int id = 1; id <= 4; id++) {
    omk += "<sprite id=" + std::to_string(id) + " tgafile=a.tga symmetry=radial pairing=2>\n";
  }
  Compiled c(omk + "<drawgroup id=9>\n<item sprite id=1>\n");
  DrawGroup& group = c.Group(0)->GetDrawGroup();
  ASSERT_EQ(group.fEntries.size(), 12u);
  for (uint32_t zoom = 1; zoom <= 3; zoom++) {
    for (uint32_t d = 0; d < 8; d += 2) {
      DrawGroupEntry* e = group.GetEntry(d, zoom);
      ASSERT_EQ(e->CountItems(), 1);
      EXPECT_EQ(e->fItems[0].fSpriteId, int32_t(1 + d / 2)) << d;
      EXPECT_EQ(e->fItems[0].fSpriteIndex, int32_t(3 - zoom));
    }
  }
}

TEST(DrawGroupSpec, PairGroupErrors) {
  const struct {
    const char* sprites;
    const char* message;
  } cases[] = {
      {"<sprite id=1 tgafile=a.tga pairing=1><sprite id=2 tgafile=a.tga pairing=1>",
       "line: 2 - illegal symmetry on a paired sprite"},
      {"<sprite id=1 tgafile=a.tga symmetry=bi-lateral pairing=1>"
       "<sprite id=2 tgafile=a.tga symmetry=bi-lateral pairing=1>"
       "<sprite id=3 tgafile=a.tga symmetry=bi-lateral pairing=1>",
       "line: 2 - two sprites expected for bi-laterally symmetric pair group"},
      {"<sprite id=1 tgafile=a.tga symmetry=radial-flip pairing=1>"
       "<sprite id=2 tgafile=a.tga symmetry=radial-flip pairing=1>",
       "line: 2 - four sprites expected for radially symmetric pair group"},
      {"<sprite id=1 tgafile=a.tga symmetry=bi-lateral pairing=1>"
       "<sprite id=2 tgafile=a.tga symmetry=radial pairing=1>",
       "line: 2 - different symmetries for paired sprites"},
      {"<sprite id=1 tgafile=a.tga symmetry=bi-lateral pairing=1 frames=2>"
       "<sprite id=2 tgafile=a.tga symmetry=bi-lateral pairing=1>",
       "line: 2 - pairing found for diagonal sprites"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.sprites);
    std::string message;
    try {
      Compiled c(std::string(kSizes) + k.sprites + "\n<drawgroup id=5>\n<item sprite id=1>\n");
    } catch (const Terminate& t) {
      message = t.c_str();
    }
    EXPECT_EQ(message, k.message);
  }
}

TEST(DrawGroupSpec, ItemErrors) {
  const struct {
    const char* tags;
    const char* message;
  } cases[] = {
      {"<drawgroup id=5>\n<item sprite id=9>\n",
       "line: 3 - sprite not found for some dgrp item: no sprite tag with id 9 comes before this "
       "item of draw group 5"},
      {"<drawgroup id=5>\n<item sprite>\n", "line: 3 - id required"},
      {"<drawgroup id=5>\n<item thing id=1>\n", "line: 3 - unknown item type \"thing\" (sprite expected)"},
      {"<drawgroup id=5 ordering=upside>\n", "line: 2 - unknown ordering"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.tags);
    std::string message;
    try {
      Compiled c(std::string(kSizes) + k.tags);
    } catch (const Terminate& t) {
      message = t.c_str();
    }
    EXPECT_EQ(message, k.message);
  }
}

}  // namespace
