#include "SpriteSpec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DebugCapture.h"
#include "SpecTestSupport.h"

namespace {

const char kSizes[] = "<sizes lwidth=10 lheight=20 mwidth=6 mheight=8 swidth=4 sheight=5>";

void SizesOf(RenderSpec& sizes, const std::string& tag) {
  TagFile tags(tag);
  sizes.ParseSizes(tags[0]);
}

// Parses the one sprite tag of `text` with the test sizes.
void ParseSprite(SpriteSpec& spec, const std::string& text, const char* sizes = kSizes,
                 bool headline = false) {
  RenderSpec render;
  SizesOf(render, sizes);
  TagFile tags(text);
  int32_t counter = 0;
  spec.Parse(tags[0], counter, render, nullptr, headline);
}

std::string Rect(const MacRect& r) {
  return std::to_string(r.top) + "," + std::to_string(r.left) + "," + std::to_string(r.bottom) +
         "," + std::to_string(r.right);
}

}  // namespace

TEST(SpriteSpec, CellsOriginsAndCutRecords) {
  struct Case {
    const char* tag;
    const char* sizes;
    int32_t number;
    const char* rect;  // top,left,bottom,right
    int32_t originV, originH;
    const char* zoom;
    int32_t row, column;
  };
  const char* bordered = "<sizes lwidth=10 lheight=20 mwidth=6 mheight=8 swidth=4 sheight=5 border=1>";
  const Case cases[] = {
      // 4 columns, no symmetry: 4 views per zoom, 12 sprites per frame.
      {"<sprite id=1 tgafile=a.tga>", kSizes, 0, "0,0,20,10", 32, -5, "large", 0, 0},
      {"<sprite id=1 tgafile=a.tga>", kSizes, 3, "0,30,20,40", 32, -5, "large", 0, 3},
      {"<sprite id=1 tgafile=a.tga>", kSizes, 4, "0,40,8,46", 16, -3, "medium", 0, 0},
      {"<sprite id=1 tgafile=a.tga>", kSizes, 9, "0,68,5,72", 8, -2, "small", 0, 1},
      // Frames run down the sheet from the position, one large height per row.
      {"<sprite id=1 tgafile=a.tga frames=2 position=3>", kSizes, 12, "80,0,100,10", 32, -5,
       "large", 4, 0},
      // 2 columns: 2 views per zoom, zoom blocks 2 cells wide.
      {"<sprite id=1 tgafile=a.tga columns=2>", kSizes, 2, "0,20,8,26", 16, -3, "medium", 0, 0},
      {"<sprite id=1 tgafile=a.tga columns=2>", kSizes, 5, "0,36,5,40", 8, -2, "small", 0, 1},
      // 1 column, radial: one view per zoom.
      {"<sprite id=1 tgafile=a.tga columns=1 symmetry=radial>", kSizes, 1, "0,10,8,16", 16, -3,
       "medium", 0, 0},
      {"<sprite id=1 tgafile=a.tga columns=1 symmetry=radial>", kSizes, 2, "0,16,5,20", 8, -2,
       "small", 0, 0},
      // Bi-lateral with 4 columns draws 2 views: sprite 2 is the medium zoom.
      {"<sprite id=1 tgafile=a.tga symmetry=bi-lateral>", kSizes, 2, "0,40,8,46", 16, -3,
       "medium", 0, 0},
      // Rotation 2 with 4 columns: view 0 from column 1, view 3 from column 0.
      {"<sprite id=1 tgafile=a.tga rotation=2>", kSizes, 0, "0,10,20,20", 32, -5, "large", 0, 1},
      {"<sprite id=1 tgafile=a.tga rotation=2>", kSizes, 3, "0,0,20,10", 32, -5, "large", 0, 0},
      // Reverse runs the views backwards and names no zoom.
      {"<sprite id=1 tgafile=a.tga reverse=true>", kSizes, 0, "0,76,5,80", 8, -2, "unknown", 0, 3},
      // A border shrinks every side; the default y origin loses it too.
      {"<sprite id=1 tgafile=a.tga>", bordered, 0, "1,1,19,9", 33, -5, "large", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.tag << " #" << c.number);
    SpriteSpec spec;
    ParseSprite(spec, c.tag, c.sizes);
    MacRect rect;
    MacPoint origin;
    SpriteCut cut;
    spec.GetSpriteRect(c.number, rect, origin, cut);
    EXPECT_EQ(Rect(rect), c.rect);
    EXPECT_EQ(origin.v, c.originV);
    EXPECT_EQ(origin.h, c.originH);
    EXPECT_STREQ(cut.fZoomName.c_str(), c.zoom);
    EXPECT_EQ(cut.fRow, c.row);
    EXPECT_EQ(cut.fColumn, c.column);
  }
}

TEST(SpriteSpec, DerivedCounts) {
  struct Case {
    const char* tag;
    int32_t views, perFrame, count;
  };
  const Case cases[] = {
      {"<sprite id=1 tgafile=a.tga>", 4, 12, 12},
      {"<sprite id=1 tgafile=a.tga columns=2>", 2, 6, 6},
      {"<sprite id=1 tgafile=a.tga columns=2 symmetry=none frames=3>", 2, 6, 18},
      {"<sprite id=1 tgafile=a.tga symmetry=bi-lateral>", 2, 6, 6},
      {"<sprite id=1 tgafile=a.tga columns=1 symmetry=bi-lateral>", 1, 3, 3},
      {"<sprite id=1 tgafile=a.tga symmetry=radial-flip frames=2>", 1, 3, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tag);
    SpriteSpec spec;
    ParseSprite(spec, c.tag);
    EXPECT_EQ(spec.ViewsPerZoom(), c.views);
    EXPECT_EQ(spec.SpritesPerFrame(), c.perFrame);
    EXPECT_EQ(spec.SpriteCount(), c.count);
    std::vector<MacRect> cells;
    std::vector<SpriteCut> cuts;
    spec.GetSpriteRects(cells, cuts);
    EXPECT_EQ(int32_t(cells.size()), c.count);
    EXPECT_EQ(cuts.size(), cells.size());
  }
}

TEST(SpriteSpec, SpriteNumbersAndFlips) {
  struct Case {
    const char* tag;
    int32_t direction, zoom, frame;
    int32_t number;
    bool flip;
  };
  const Case cases[] = {
      {"<sprite id=1 tgafile=a.tga>", 0, 3, 0, 0, false},
      {"<sprite id=1 tgafile=a.tga>", 6, 3, 0, 3, false},
      {"<sprite id=1 tgafile=a.tga>", 2, 1, 0, 9, false},
      {"<sprite id=1 tgafile=a.tga frames=3>", 4, 2, 2, 2 + 24 + 4, false},
      // Diagonals: an odd direction takes the next frame.
      {"<sprite id=1 tgafile=a.tga frames=2>", 1, 3, 0, 12, false},
      {"<sprite id=1 tgafile=a.tga frames=2>", 3, 3, 0, 13, false},
      {"<sprite id=1 tgafile=a.tga symmetry=bi-lateral>", 0, 3, 0, 0, false},
      {"<sprite id=1 tgafile=a.tga symmetry=bi-lateral>", 2, 3, 0, 1, false},
      {"<sprite id=1 tgafile=a.tga symmetry=bi-lateral>", 4, 3, 0, 1, true},
      {"<sprite id=1 tgafile=a.tga symmetry=bi-lateral>", 6, 3, 0, 0, true},
      {"<sprite id=1 tgafile=a.tga symmetry=bi-lateral>", 2, 2, 0, 3, false},
      {"<sprite id=1 tgafile=a.tga symmetry=radial>", 4, 1, 0, 2, false},
      {"<sprite id=1 tgafile=a.tga symmetry=radial-flip>", 2, 3, 0, 0, true},
      {"<sprite id=1 tgafile=a.tga symmetry=radial-flip>", 4, 3, 0, 0, false},
      {"<sprite id=1 tgafile=a.tga symmetry=radial-flip>", 6, 3, 0, 0, true},
      // A paired radial-flip sprite is never mirrored: its pair stands in.
      {"<sprite id=1 tgafile=a.tga symmetry=radial-flip pairing=3>", 2, 3, 0, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.tag << " d" << c.direction << " z" << c.zoom);
    SpriteSpec spec;
    ParseSprite(spec, c.tag);
    int32_t number = -1;
    bool flip = !c.flip;
    spec.GetSpriteNumber(c.direction, c.zoom, c.frame, number, flip);
    EXPECT_EQ(number, c.number);
    EXPECT_EQ(flip, c.flip);
  }

  SpriteSpec plain;
  ParseSprite(plain, "<sprite id=1 tgafile=a.tga>");
  int32_t number = 0;
  bool flip = false;
  for (int32_t direction : {-1, 8, 1}) {
    EXPECT_EQ(FatalText([&] { plain.GetSpriteNumber(direction, 3, 0, number, flip); }),
              "logic error. bad direction.");
  }
}

TEST(SpriteSpec, ParseDefaultsAndSources) {
  SpriteSpec spec;
  ParseSprite(spec, "<sprite id=7 name=chair tgafile=a.tga>");
  EXPECT_EQ(spec.fId, 7);
  EXPECT_STREQ(spec.fName.c_str(), "chair");
  EXPECT_STREQ(spec.mFileName.c_str(), "a.tga");
  EXPECT_EQ(spec.fIsBMP, 0);
  EXPECT_EQ(spec.fColumns, 4);
  EXPECT_EQ(spec.fFrames, 1);
  EXPECT_EQ(spec.fShrink, 15);
  EXPECT_EQ(spec.fPaletteId, -1);
  EXPECT_EQ(spec.fSymmetry, SpriteSpec::kSymmetryNone);
  EXPECT_EQ(spec.fMaskFile.length(), 0);

  struct ShrinkCase {
    const char* tag;
    int32_t shrink;
  };
  for (const ShrinkCase& c : {ShrinkCase{"<sprite id=1 tgafile=a.tga shrink=true>", 15},
                              ShrinkCase{"<sprite id=1 tgafile=a.tga shrink=top>", 1},
                              ShrinkCase{"<sprite id=1 tgafile=a.tga shrink=false>", 0}}) {
    SpriteSpec s;
    ParseSprite(s, c.tag);
    EXPECT_EQ(s.fShrink, c.shrink) << c.tag;
  }

  SpriteSpec bmp;
  ParseSprite(bmp, "<sprite id=1 bmpfile=b.bmp mask=m.bmp paletteid=9>");
  EXPECT_EQ(bmp.fIsBMP, 1);
  EXPECT_STREQ(bmp.mFileName.c_str(), "b.bmp");
  EXPECT_STREQ(bmp.fMaskFile.c_str(), "m.bmp");
  EXPECT_EQ(bmp.fPaletteId, 9);

  // "tgafile" wins; an empty one falls back to "bmpfile".
  SpriteSpec both;
  ParseSprite(both, "<sprite id=1 tgafile=\"\" bmpfile=b.bmp>");
  EXPECT_EQ(both.fIsBMP, 1);

  ScopedDebugCapture capture;
  SpriteSpec odd;
  ParseSprite(odd, "<sprite id=1 tgafile=a.png>");
  EXPECT_TRUE(capture.Saw("really a tga file next to tgafile tag in omk file?"));
}

TEST(SpriteSpec, PositionCounterFollowsTheSource) {
  TagFile tags(
      "<sprite id=1 tgafile=a.tga frames=2>"
      "<sprite id=2 tgafile=a.tga>"
      "<sprite id=3 tgafile=b.tga>"
      "<sprite id=4 tgafile=b.tga position=7>"
      "<sprite id=5 tgafile=b.tga>");
  RenderSpec sizes;
  int32_t counter = 0;
  SpriteSpec specs[5];
  const int32_t expected[5] = {0, 2, 0, 7, 2};
  for (int32_t i = 0; i < 5; i++) {
    specs[i].Parse(tags[i], counter, sizes, i ? &specs[i - 1].mFileName : nullptr, false);
    EXPECT_EQ(specs[i].fPosition, expected[i]) << "sprite " << i + 1;
  }
  EXPECT_EQ(counter, 3);  // an explicit position does not move the counter's base
}

TEST(SpriteSpec, ParseErrors) {
  const std::string longName(255, 'x');
  struct Case {
    std::string tag;
    std::string message;
  };
  const Case cases[] = {
      {"<sprite tgafile=a.tga>", "line: 1 - id required"},
      {"<sprite id=1>", "line: 1 - sprite tag requires a tgafile or bmpfile attribute"},
      {"<sprite id=1 tgafile=\"\" bmpfile=\"\">",
       "line: 1 - sprite tag requires a tgafile or bmpfile attribute"},
      {"<sprite id=1 tgafile=" + longName + ">", "line: 1 - file name too long"},
      {"<sprite id=1 tgafile=a.tga frames=0>", "line: 1 - negative frames"},
      {"<sprite id=1 tgafile=a.tga frames=4294967297>",
       "line: 1 - value 4294967297 for key \"frames\" in tag \"sprite\" out of range "
       "-2147483648 to 2147483647"},
      {"<sprite id=1 tgafile=a.tga frames=2000000000>",
       "line: 1 - frames expected to be at most 32767"},
      {"<sprite id=1 tgafile=a.tga frames=two>",
       "line: 1 - integer value expected for key \"frames\" in tag \"sprite\""},
      {"<sprite id=1\ntgafile=a.tga\n\ncolumns=3>", "line: 4 - columns expected to be 1, 2, or 4"},
      {"<sprite id=1 tgafile=a.tga\nshrink=some>", "line: 2 - unexpected shrink tag value"},
      {"<sprite id=1 tgafile=a.tga reverse=yes>",
       "line: 1 - boolean value for key \"reverse\" in tag \"sprite\" expected to be true or false"},
      {"<sprite id=1 tgafile=a.tga\nsymmetry=round>", "line: 2 - unexpected symmetry value"},
      {"<sprite id=1 tgafile=a.tga\nrotation=8>",
       "line: 2 - sprite rotation expected to be >=0 and <=6"},
      {"<sprite id=1 tgafile=a.tga rotation=-2>",
       "line: 1 - sprite rotation expected to be >=0 and <=6"},
      {"<sprite id=1 tgafile=a.tga\nrotation=3>",
       "line: 2 - sprite rotation expected to be an even number"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tag);
    SpriteSpec spec;
    EXPECT_EQ(FatalText([&] { ParseSprite(spec, c.tag); }), c.message);
  }
}

TEST(SpriteSpec, HeadlinesTakeFixedLayout) {
  RenderSpec headlineSizes;
  headlineSizes.SetHeadlineDefaults();
  TagFile tags("<headline id=1 tgafile=h.tga frames=2>");
  SpriteSpec spec;
  int32_t counter = 0;
  spec.Parse(tags[0], counter, headlineSizes, nullptr, true);
  EXPECT_EQ(spec.fColumns, 1);
  EXPECT_EQ(spec.fShrink, 1);
  EXPECT_EQ(spec.SpriteCount(), 6);
  MacRect rect;
  MacPoint origin;
  SpriteCut cut;
  spec.GetSpriteRect(4, rect, origin, cut);  // frame 1, medium
  EXPECT_EQ(Rect(rect), "97,65,143,95");

  // A headline may name no image (the -headline stage cuts it from its sheet); a sprite may not.
  TagFile bare("<headline id=2 frames=2><headline id=3 bmpfile=\"\">");
  for (int32_t i : {0, 1}) {
    SpriteSpec s;
    s.mFileName.assign("stale.tga");
    int32_t c = 0;
    EXPECT_EQ(FatalText([&] { s.Parse(bare[i], c, headlineSizes, nullptr, true); }), "<no error>");
    EXPECT_EQ(s.mFileName.length(), 0);
    EXPECT_EQ(s.fIsBMP, 0);
    EXPECT_EQ(s.SpriteCount(), 3 * (2 - i));
  }

  for (const char* key : {"columns=1", "shrink=true", "reverse=false", "symmetry=none"}) {
    TagFile refused(std::string("<headline id=1 tgafile=h.tga ") + key + ">");
    SpriteSpec s;
    int32_t c = 0;
    std::string name(key, std::strchr(key, '=') - key);
    EXPECT_EQ(FatalText([&] { s.Parse(refused[0], c, headlineSizes, nullptr, true); }),
              "line: 1 - headline tag not expecting " + name);
  }
}

TEST(SpriteSpec, SizesTag) {
  RenderSpec sizes;
  SizesOf(sizes,
      "<sizes lwidth=10 lheight=100 mwidth=6 mheight=50 swidth=4 sheight=20 slopwidth=4 "
      "border=1>");
  EXPECT_EQ(sizes.fSlopWidths[0], 4);
  EXPECT_EQ(sizes.fSlopWidths[1], 2);
  EXPECT_EQ(sizes.fSlopWidths[2], 1);
  EXPECT_EQ(sizes.fYOrigins[0], 100 - 32 - 4 - 1);
  EXPECT_EQ(sizes.fYOrigins[1], 50 - 16 - 2 - 1);
  EXPECT_EQ(sizes.fYOrigins[2], 20 - 8 - 1 - 1);
  EXPECT_EQ(sizes.fXOrigins[0], 5);
  EXPECT_EQ(sizes.fBorders[2], 1);

  RenderSpec uniform;
  SizesOf(uniform,
      "<sizes lwidth=10 lheight=20 mwidth=6 mheight=8 swidth=4 sheight=5 \"uniform slopwidth\"=3 "
      "lxorigin=1 syorigin=2>");
  EXPECT_EQ(uniform.fSlopWidths[2], 3);
  EXPECT_EQ(uniform.fXOrigins[0], 1);
  EXPECT_EQ(uniform.fYOrigins[2], 2);
  EXPECT_EQ(uniform.fYOrigins[1], 8 - 16 - 3);

  struct Case {
    const char* tag;
    const char* message;
  };
  const Case cases[] = {
      {"<sizes lwidth=10>", "line: 1 - lheight required in sizes attribute"},
      {"<sizes lwidth=10 lheight=20 mwidth=6 mheight=8 sheight=5>",
       "line: 1 - swidth required in sizes attribute"},
      {"<sizes lwidth=10 lheight=20 mwidth=6 mheight=8 swidth=4 sheight=5 slopwidth=1 "
       "\"uniform slopwidth\"=1>",
       "line: 1 - slopwidth and uniform slopwidth not allowed together"},
  };
  for (const Case& c : cases) {
    TagFile tags(c.tag);
    RenderSpec spec;
    EXPECT_EQ(FatalText([&] { spec.ParseSizes(tags[0]); }), c.message) << c.tag;
  }
}

TEST(SpriteSpec, RectErrors) {
  SpriteSpec spec;
  ParseSprite(spec, "<sprite id=1 tgafile=a.tga>");
  MacRect rect;
  MacPoint origin;
  SpriteCut cut;
  EXPECT_EQ(FatalText([&] { spec.GetSpriteRect(-1, rect, origin, cut); }), "bad sprite count");
  EXPECT_EQ(FatalText([&] { spec.GetSpriteRect(12, rect, origin, cut); }), "bad sprite count");

  // No "sizes" tag: every cell is empty.
  SpriteSpec unsized;
  TagFile tags("<sprite id=1 tgafile=a.tga>");
  int32_t counter = 0;
  unsized.Parse(tags[0], counter, RenderSpec(), nullptr, false);
  EXPECT_EQ(FatalText([&] { unsized.GetSpriteRect(0, rect, origin, cut); }),
            "Empty rectangle found for compression -- sizes may not be specified.");

  // A sheet row beyond 16-bit coordinates is refused rather than wrapped.
  SpriteSpec far;
  ParseSprite(far, "<sprite id=1 tgafile=a.tga position=5000>");
  EXPECT_NE(FatalText([&] { far.GetSpriteRect(0, rect, origin, cut); }), "<no error>");
}

TEST(SpriteSpec, CompressionBoundsAndDrawOffsets) {
  SpriteSpec spec;
  ParseSprite(spec, "<sprite id=1 tgafile=a.tga columns=1 symmetry=radial-flip>");
  std::vector<MacRect> cells;
  std::vector<SpriteCut> cuts;
  spec.GetSpriteRects(cells, cuts);
  ASSERT_EQ(cells.size(), 3u);

  MacPoint point;
  EXPECT_EQ(FatalText([&] { spec.GetDrawOffset(point, 0, 3, 0); }),
            "logic error. offsets not initialized");

  std::vector<MacRect> bounds = cells;
  bounds[0] = MacRect{2, 3, 18, 8};  // trimmed large cell
  std::vector<MacRect> two(cells.begin(), cells.begin() + 2);
  EXPECT_EQ(FatalText([&] { spec.SetCompressionBounds(two, bounds); }),
            "logic error. bad rect count.");
  std::vector<MacRect> four(4, cells[0]);
  EXPECT_EQ(FatalText([&] { spec.SetCompressionBounds(four, four); }), "unusual rect count");
  std::vector<MacRect> six(6, cells[0]);
  EXPECT_EQ(FatalText([&] { spec.SetCompressionBounds(six, six); }),
            "rect count not what it should be.");
  std::vector<MacRect> wrong = cells;
  wrong[1].left += 1;
  EXPECT_EQ(FatalText([&] { spec.SetCompressionBounds(wrong, bounds); }),
            "incorrect rect computation");

  spec.SetCompressionBounds(cells, bounds);
  ASSERT_EQ(spec.GetCompressionBounds().size(), 3u);
  // Large cell origin: (32, -5). Unflipped: h = -5 + (3 - 0), v = 32 + (18 - 20).
  MacPoint got = spec.GetDrawOffset(point, 0, 3, 0);
  EXPECT_EQ(got.h, -2);
  EXPECT_EQ(got.v, 30);
  EXPECT_EQ(point.h, -2);
  // Direction 2 is mirrored: h = -(8 - 3) - (-2) - 1.
  spec.GetDrawOffset(point, 2, 3, 0);
  EXPECT_EQ(point.h, -4);
  EXPECT_EQ(point.v, 30);
}
