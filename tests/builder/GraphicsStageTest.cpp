// The graphics stage end to end: the real morvik program compiles an object-make file and
// images made here into an object file, which the tests then open and check resource by
// resource, decoding every frame and comparing it with the image cell it was cut from.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "IFFResFile2.h"
#include "ImageWriters.h"
#include "MHandle.h"
#include "SpriteDecoders.h"
#include "StringBuffer.h"
#include "TestTempFolder.h"

namespace {

const uint32_t kSPR2 = 0x53505232;
const uint32_t kSPR = 0x53505223;
const uint32_t kPALT = 0x50414C54;
const uint32_t kDGRP = 0x44475250;
const uint32_t kSTR = 0x53545223;

// ---- Images --------------------------------------------------------------------------------

// The test palette: every entry distinct, so matching a TGA colour gives back its index.
std::vector<TestRGB> Palette(int shift = 0) {
  std::vector<TestRGB> p(256);
  for (int i = 0; i < 256; i++) {
    p[i] = {uint8_t(i), uint8_t(255 - i), uint8_t((i * 7 + shift) & 255)};
  }
  return p;
}

// A sheet of sprite cells with palette indices, depth (255 = nothing) and alpha.

// Large cell size 16; medium 8; small 4.
const int kLarge = 16;

// A cell as the sprite specs cut it: row block `row`, view column `column`, zoom index
// z (0 large, 1 medium, 2 small), `columns` views per zoom.
struct Cell {
  int left, top, size;
};
Cell CellOf(int columns, int row, int column, int z) {
  int left = 0;
  int size = kLarge;
  for (int i = 0; i < z; i++) {
    left += columns * size;
    size /= 2;
  }
  return Cell{left + column * size, row * kLarge, size};
}

// Fills every cell of `rows` row blocks with a view-dependent block of colour and depth.
TestSheet MakeSheet(int columns, int rows, int seed) {
  TestSheet s(columns * (kLarge + kLarge / 2 + kLarge / 4), rows * kLarge);
  for (int row = 0; row < rows; row++) {
    for (int z = 0; z < 3; z++) {
      for (int v = 0; v < columns; v++) {
        const Cell c = CellOf(columns, row, v, z);
        const int n = c.size;
        for (int y = n / 8 + (v % 2); y < n - n / 8; y++) {
          for (int x = n / 4; x < n - n / 4 + (v / 2 == 1 && n > 4 ? 1 : 0); x++) {
            const size_t i = s.At(c.left + x, c.top + y);
            s.index[i] = uint8_t(20 + seed + 7 * row + 3 * v + z + (x + y) % 3);
            s.depth[i] = uint8_t(10 + x + 2 * y + row);
            s.alpha[i] = y == n / 8 + (v % 2) ? 128 : 255;
          }
        }
      }
    }
  }
  return s;
}

std::vector<uint8_t> Tga(const TestSheet& s, const std::vector<TestRGB>& palette, int bits) {
  TGAWriteOptions o;
  o.bits = bits;
  o.topToBottom = bits == 32;  // one of each row order
  return WriteSheetTGA(s, palette, o);
}

// The alpha image: its red channel is read as the alpha value.
std::vector<uint8_t> AlphaTga(const TestSheet& s) { return WriteSheetAlphaTGA(s); }

// ---- Running the program ---------------------------------------------------------------------

struct MorvikRun {
  int exit = -1;
  std::string out;
  std::string err;
  std::vector<std::string> ErrLines() const {
    std::vector<std::string> lines;
    std::stringstream ss(err);
    std::string line;
    while (std::getline(ss, line)) lines.push_back(line);
    return lines;
  }
};

MorvikRun Morvik(const TestTempFolder& dir, const std::string& args) {
  const std::string out = dir / "stdout.txt";
  const std::string err = dir / "stderr.txt";
  const std::string cmd = std::string("'") + MORVIK_PATH + "' " + args + " >'" + out + "' 2>'" + err + "'";
  const int status = std::system(cmd.c_str());
  MorvikRun r;
  r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = TestTempFolder::ReadFile(out);
  r.err = TestTempFolder::ReadFile(err);
  return r;
}

// An empty object file.
std::string MakeObjectFile(const TestTempFolder& dir, const char* name = "obj.iff") {
  const std::string path = dir / name;
  IFFResFile2 file;
  FixedStringBuffer<260> p(path.c_str());
  EXPECT_EQ(file.Create(p), 0);
  return path;
}

MorvikRun Build(const TestTempFolder& dir, const std::string& omk, const std::string& extra = "") {
  dir.WriteFile("obj.omk", omk);
  return Morvik(dir, "'" + (dir / "obj.iff") + "' -spec '" + (dir / "obj.omk") + "' -graphics '" +
                         (dir / "art/") + "'" + extra);
}

// The bytes of a resource, or empty when missing.
std::vector<uint8_t> Resource(IFFResFile2& file, uint32_t type, uint16_t id, std::string* name = nullptr) {
  MHandle* h = file.GetResource(type, id);
  if (h == nullptr) return {};
  std::vector<uint8_t> bytes(size_t(HGetSize(h)));
  memcpy(bytes.data(), HLock(h), bytes.size());
  HUnlock(h);
  if (name != nullptr) {
    FixedStringBuffer<64> n;
    file.GetResName(h, n);
    *name = n.c_str();
  }
  file.DetachAndDispose(h);
  return bytes;
}

struct OpenFile {
  IFFResFile2 file;
  explicit OpenFile(const std::string& path) {
    FixedStringBuffer<260> p(path.c_str());
    EXPECT_EQ(file.Open(p), 0);
  }
};

uint32_t LE32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
float LEFloat(const std::vector<uint8_t>& b, size_t at) {
  float f;
  memcpy(&f, &b[at], 4);
  return f;
}

// ---- What the frames must hold -----------------------------------------------------------------

// The bounding box of the cell's pixels that `visible` accepts; an empty box when none.
struct Box {
  int left = 0, top = 0, right = 0, bottom = 0;
};
template <class Visible>
Box Trimmed(const Cell& c, Visible visible) {
  Box b{c.left + c.size, c.top + c.size, c.left, c.top};
  for (int y = c.top; y < c.top + c.size; y++) {
    for (int x = c.left; x < c.left + c.size; x++) {
      if (!visible(x, y)) continue;
      b.left = std::min(b.left, x);
      b.top = std::min(b.top, y);
      b.right = std::max(b.right, x + 1);
      b.bottom = std::max(b.bottom, y + 1);
    }
  }
  return b;
}

// Checks one SPR2 frame against its cell: size and origin of the trimmed box, then every
// pixel's visibility, colour, depth and alpha.
void ExpectSpr2Frame(const uint8_t* data, size_t size, const TestSheet& s, const Cell& c, bool alpha,
                     int paletteId = -1) {
  spritedec::Spr2Frame f;
  std::string error;
  ASSERT_TRUE(spritedec::DecodeSpr2Frame(data, size, f, error)) << error;
  if (paletteId >= 0) {
    EXPECT_EQ(f.paletteId, paletteId);
  }
  auto visible = [&](int x, int y) { return s.depth[s.At(x, y)] < 255; };
  const Box b = Trimmed(c, visible);
  ASSERT_EQ(f.width, b.right - b.left);
  ASSERT_EQ(f.height, b.bottom - b.top);
  EXPECT_EQ(f.originX, b.left - c.left);
  EXPECT_EQ(f.originY, b.top - c.top);
  EXPECT_EQ(f.flags, alpha ? 7u : 3u);
  for (int y = 0; y < f.height; y++) {
    for (int x = 0; x < f.width; x++) {
      const size_t i = s.At(b.left + x, b.top + y);
      const spritedec::Spr2Pixel& p = f.At(x, y);
      ASSERT_EQ(p.visible, s.depth[i] < 255) << x << "," << y;
      if (!p.visible) continue;
      EXPECT_EQ(p.colour, s.index[i]);
      EXPECT_EQ(p.z, s.depth[i]);
      const bool partial = alpha && (s.alpha[i] >> 3) != 31;
      EXPECT_EQ(p.hasAlpha, partial);
      if (partial) {
        EXPECT_EQ(p.alpha, s.alpha[i] >> 3);
      }
    }
  }
}

void ExpectSprFrame(const uint8_t* data, size_t size, const TestSheet& s, const Cell& c) {
  spritedec::SprFrame f;
  std::string error;
  ASSERT_TRUE(spritedec::DecodeSprFrame(data, size, f, error, true)) << error;
  auto visible = [&](int x, int y) { return s.index[s.At(x, y)] != 0; };
  const Box b = Trimmed(c, visible);
  ASSERT_EQ(f.width, b.right - b.left);
  ASSERT_EQ(f.height, b.bottom - b.top);
  const std::vector<int> indices = spritedec::SprToIndices(f, spritedec::SprColours{});
  for (int y = 0; y < f.height; y++) {
    for (int x = 0; x < f.width; x++) {
      const int want = s.index[s.At(b.left + x, b.top + y)];
      EXPECT_EQ(indices[size_t(y) * f.width + x], want == 0 ? -1 : want) << x << "," << y;
    }
  }
}

// Reads an SPR2 or SPR# list. SPR# lists are stored big-endian.
spritedec::SpriteListInfo List(const std::vector<uint8_t>& bytes, bool bigEndian) {
  spritedec::SpriteListInfo info;
  std::string error;
  EXPECT_TRUE(spritedec::DecodeSpriteList(bytes.data(), bytes.size(), info, error, bigEndian)) << error;
  return info;
}

// One stored DGRP item.
struct Item {
  int32_t id, index, a, b;
  float alt, x, y;
  uint32_t flags;
};
struct Entry {
  uint32_t mask, zoom;
  std::vector<Item> items;
};
std::vector<Entry> ReadDrawGroup(const std::vector<uint8_t>& b) {
  std::vector<Entry> entries;
  EXPECT_GE(b.size(), 6u);
  if (b.size() < 6) return entries;
  EXPECT_EQ(b[0] | (b[1] << 8), 20004);
  size_t at = 2;
  const uint32_t count = LE32(b, at);
  at += 4;
  for (uint32_t e = 0; e < count && at + 12 <= b.size(); e++) {
    Entry entry{LE32(b, at), LE32(b, at + 4), {}};
    const uint32_t items = LE32(b, at + 8);
    at += 12;
    for (uint32_t i = 0; i < items && at + 32 <= b.size(); i++, at += 32) {
      entry.items.push_back(Item{int32_t(LE32(b, at)), int32_t(LE32(b, at + 4)),
                                 int32_t(LE32(b, at + 8)), int32_t(LE32(b, at + 12)),
                                 LEFloat(b, at + 16), LEFloat(b, at + 24), LEFloat(b, at + 28),
                                 LE32(b, at + 20)});
    }
    entries.push_back(entry);
  }
  EXPECT_EQ(at, b.size());
  return entries;
}

const Entry* FindEntry(const std::vector<Entry>& entries, int d, int zoom) {
  for (const Entry& e : entries) {
    if ((e.mask & (1u << d)) && e.zoom == uint32_t(zoom)) return &e;
  }
  return nullptr;
}

const char kSizes[] = "<sizes lwidth=16 lheight=16 mwidth=8 mheight=8 swidth=4 sheight=4>\n";

// The draw offset of a sprite's trimmed view as the builder computes it: the cell's origin
// (x origin width / 2, y origin height - (4 << scale)) moved by the trim.
void ExpectedOffset(const Cell& c, const Box& b, int z, int32_t& h, int32_t& v) {
  const int height = c.size;
  const int yOrigin = height - (4 << (3 - z));
  h = -(c.size / 2) + (b.left - c.left);
  v = (height - yOrigin) + (b.bottom - (c.top + c.size));
}

class GraphicsStage : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.MakeFolder("art");
    MakeObjectFile(dir);
  }
  void Art(const std::string& name, const std::vector<uint8_t>& bytes) { dir.WriteFile("art/" + name, bytes); }
  TestTempFolder dir;
};

// ---- Tests ---------------------------------------------------------------------------------

TEST_F(GraphicsStage, BuildsEverySpriteKindPaletteAndDrawGroup) {
  const std::vector<TestRGB> pal = Palette();
  const TestSheet a = MakeSheet(4, 1, 0);  // 32-bit TGA + 8-bit BMP: SPR2 colour and depth
  const TestSheet b = MakeSheet(4, 1, 40);  // 24-bit TGA + 8-bit BMP: SPR#
  const TestSheet c = MakeSheet(4, 1, 80);  // 32-bit TGA + raw palette + alpha image: SPR2 with alpha
  Art("a.tga", Tga(a, pal, 32));
  Art("a.bmp", WriteSheetBMP8(a, pal));
  Art("b.tga", Tga(b, pal, 24));
  Art("b.bmp", WriteSheetBMP8(b, pal));
  Art("c.tga", Tga(c, pal, 32));
  Art("c.bmp", WriteRawPalette(pal));
  Art("calpha.tga", AlphaTga(c));
  const MorvikRun r = Build(dir, std::string(kSizes) +
                               "<sprite id=100 name=alpha-one tgafile=a.tga paletteid=5>\n"
                               "<sprite id=101 name=bee tgafile=b.tga>\n"
                               "<sprite id=102 name=sea tgafile=c.tga paletteid=6>\n"
                               "<drawgroup id=10 name=first>\n"
                               "<item sprite id=100 alt=1.5 x=0.5 y=-0.25>\n"
                               "<item sprite id=101 luminous=true>\n"
                               "<drawgroup id=11 name=second ordering=obscured>\n"
                               "<item sprite id=102 \"direction offset\"=2>\n"
                               "<item sprite id=100>\n");
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(r.out, "");

  // The progress lines, in order.
  std::vector<std::string> want;
  const char* zooms[] = {"large", "medium", "small"};
  const struct {
    int id;
    const char* name;
    const char* file;
    bool spr2;
  } sprites[] = {{100, "alpha-one", "a.tga", true}, {101, "bee", "b.tga", false}, {102, "sea", "c.tga", true}};
  for (const auto& s : sprites) {
    want.push_back("Generating sprite " + std::to_string(s.id) + ", " + s.name + "...");
    want.push_back(std::string("Rendering file ") + s.file + "...");
    for (int i = 0; s.spr2 && i < 12; i++) {
      want.push_back("Compressing row:0 size:" + std::string(zooms[i / 4]) + " column:" +
                     std::to_string(i % 4) + " into sprite #" + std::to_string(i));
    }
  }
  std::vector<std::string> lines = r.ErrLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].rfind("Morvik version built ", 0), 0u) << lines[0];
  lines.erase(lines.begin());
  EXPECT_EQ(lines, want);

  OpenFile f(dir / "obj.iff");
  EXPECT_EQ(f.file.Count(kSPR2), 2);
  EXPECT_EQ(f.file.Count(kSPR), 1);
  EXPECT_EQ(f.file.Count(kPALT), 2);
  EXPECT_EQ(f.file.Count(kDGRP), 2);

  // SPR2 lists: version 1000, 12 frames, the palette id, frames matching their cells.
  for (const auto& [id, sheet, alpha, palId] :
       {std::tuple{100, &a, false, 5u}, std::tuple{102, &c, true, 6u}}) {
    SCOPED_TRACE(id);
    std::string name;
    const std::vector<uint8_t> list = Resource(f.file, kSPR2, uint16_t(id), &name);
    EXPECT_EQ(name, id == 100 ? "alpha-one" : "sea");
    const spritedec::SpriteListInfo info = List(list, false);
    EXPECT_EQ(info.version, 1000u);
    ASSERT_EQ(info.count, 12u);
    EXPECT_EQ(info.paletteId, palId);
    EXPECT_EQ(info.frames[0].offset, 12u + 4 * 12);
    for (int n = 0; n < 12; n++) {
      SCOPED_TRACE(n);
      ExpectSpr2Frame(list.data() + info.frames[n].offset, info.frames[n].size, *sheet,
                      CellOf(4, 0, n % 4, n / 4), alpha, int(palId));
    }
  }

  // The SPR# list: version 502, big-endian, no palette.
  {
    std::string name;
    const std::vector<uint8_t> list = Resource(f.file, kSPR, 101, &name);
    EXPECT_EQ(name, "bee");
    const spritedec::SpriteListInfo info = List(list, true);
    EXPECT_EQ(info.version, 502u);
    ASSERT_EQ(info.count, 12u);
    EXPECT_EQ(info.paletteId, 0xFFFFFFFFu);
    for (int n = 0; n < 12; n++) {
      SCOPED_TRACE(n);
      ExpectSprFrame(list.data() + info.frames[n].offset, info.frames[n].size, b, CellOf(4, 0, n % 4, n / 4));
    }
  }

  // PALT 5 and 6: the palette in force when each sprite was written.
  for (uint16_t id : {5, 6}) {
    const std::vector<uint8_t> p = Resource(f.file, kPALT, id);
    ASSERT_EQ(p.size(), 784u);
    EXPECT_EQ(LE32(p, 0), 1u);
    EXPECT_EQ(LE32(p, 4), 256u);
    for (int i = 0; i < 256; i++) {
      EXPECT_EQ(p[16 + 3 * i], pal[i].r);
      EXPECT_EQ(p[17 + 3 * i], pal[i].g);
      EXPECT_EQ(p[18 + 3 * i], pal[i].b);
    }
  }

  // Draw group 10: per zoom and direction 0, 2, 4, 6 the items of sprites 100 and 101.
  std::string name;
  const std::vector<Entry> first = ReadDrawGroup(Resource(f.file, kDGRP, 10, &name));
  EXPECT_EQ(name, "first");
  ASSERT_EQ(first.size(), 12u);
  for (int zoom = 1; zoom <= 3; zoom++) {
    for (int d = 0; d < 8; d += 2) {
      SCOPED_TRACE(testing::Message() << "zoom " << zoom << " d " << d);
      const Entry* e = FindEntry(first, d, zoom);
      ASSERT_NE(e, nullptr);
      EXPECT_EQ(e->mask, 1u << d);
      ASSERT_EQ(e->items.size(), 2u);
      const int z = 3 - zoom;
      const int view = d / 2;
      const int number = view + z * 4;
      for (int k = 0; k < 2; k++) {
        const Item& item = e->items[k];
        const TestSheet& s = k == 0 ? a : b;
        EXPECT_EQ(item.id, k == 0 ? 100 : 101);
        EXPECT_EQ(item.index, number);
        EXPECT_EQ(item.flags, k == 0 ? 0u : 4u);
        const Cell c = CellOf(4, 0, view, z);
        const Box box = k == 0 ? Trimmed(c, [&](int x, int y) { return s.depth[s.At(x, y)] < 255; })
                               : Trimmed(c, [&](int x, int y) { return s.index[s.At(x, y)] != 0; });
        int32_t h = 0;
        int32_t v = 0;
        ExpectedOffset(c, box, z, h, v);
        EXPECT_EQ(item.a, h);
        EXPECT_EQ(item.b, v);
      }
      EXPECT_EQ(e->items[0].alt, 1.5f * 0.33333334f * 4.898979f);
      EXPECT_EQ(e->items[0].x, 0.5f * 0.33333334f * 16.0f);
      EXPECT_EQ(e->items[0].y, -0.25f * 0.33333334f * 16.0f);
      EXPECT_EQ(e->items[1].alt, 0.0f);
    }
  }

  // Draw group 11, obscured: directions 2 and 4 draw the later item first; the direction
  // offset of 2 shifts sprite 102's views by one.
  const std::vector<Entry> second = ReadDrawGroup(Resource(f.file, kDGRP, 11));
  ASSERT_EQ(second.size(), 12u);
  for (int zoom = 1; zoom <= 3; zoom++) {
    for (int d = 0; d < 8; d += 2) {
      const Entry* e = FindEntry(second, d, zoom);
      ASSERT_NE(e, nullptr);
      ASSERT_EQ(e->items.size(), 2u);
      const bool reversed = d == 2 || d == 4;
      const Item& sea = e->items[reversed ? 1 : 0];
      EXPECT_EQ(sea.id, 102);
      EXPECT_EQ(e->items[reversed ? 0 : 1].id, 100);
      EXPECT_EQ(sea.index, ((d + 2) % 8) / 2 + (3 - zoom) * 4);
    }
  }
}

TEST_F(GraphicsStage, PrintsTheDrawGroupTable) {
  const std::vector<TestRGB> pal = Palette();
  const TestSheet a = MakeSheet(4, 2, 0);
  Art("a.tga", Tga(a, pal, 32));
  Art("a.bmp", WriteSheetBMP8(a, pal));
  const std::string omk = std::string(kSizes) +
                          "<sprite id=1 name=left tgafile=a.tga>\n"
                          "<sprite id=2 name=right tgafile=a.tga>\n"
                          "<drawgroup id=100 name=one>\n<item sprite id=1>\n<item sprite id=2>\n"
                          "<drawgroup id=101 name=two>\n<item sprite id=2>\n"
                          "<drawgroup id=105 name=three>\n<item sprite id=1>\n";
  dir.WriteFile("obj.omk", omk);
  const MorvikRun r = Morvik(dir, "'" + (dir / "obj.iff") + "' -spec '" + (dir / "obj.omk") + "' -printdgrps");
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(r.out,
            "DGroupNum\tName\tDescription\n"
            "0\tone\t(left) + (right)\n"
            "1\ttwo\t(right)\n"
            "0\tthree\t(left)\n");
  // Printing writes nothing.
  OpenFile f(dir / "obj.iff");
  EXPECT_EQ(f.file.CountTypes(), 0);
}

TEST_F(GraphicsStage, SecondBuildReplacesSpritesAndDrawGroupsOnly) {
  const std::vector<TestRGB> pal = Palette();
  {
    // Resources that the build must leave alone, the SPR2 of another id included.
    OpenFile f(dir / "obj.iff");
    for (const auto& [type, id] : {std::pair{kSTR, 128}, std::pair{kSPR2, 900}}) {
      MHandle* h = HAlloc(6);
      memcpy(HLock(h), "keep!", 6);
      HUnlock(h);
      FixedStringBuffer<64> name("other");
      f.file.AddResource(h, type, uint16_t(id), name, true);
      ASSERT_EQ(f.file.GetError(), 0);
    }
  }
  const std::string omk1 = std::string(kSizes) +
                           "<sprite id=100 name=a tgafile=a.tga paletteid=1>\n"
                           "<drawgroup id=10 name=g>\n<item sprite id=100>\n";
  const TestSheet a1 = MakeSheet(4, 1, 0);
  Art("a.tga", Tga(a1, pal, 32));
  Art("a.bmp", WriteSheetBMP8(a1, pal));
  ASSERT_EQ(Build(dir, omk1).exit, 0);

  // The second build: other pixels, another palette, and the item now luminous.
  const std::vector<TestRGB> pal2 = Palette(3);
  const TestSheet a2 = MakeSheet(4, 1, 50);
  Art("a.tga", Tga(a2, pal2, 32));
  Art("a.bmp", WriteSheetBMP8(a2, pal2));
  const MorvikRun r = Build(dir, std::string(kSizes) +
                               "<sprite id=100 name=a2 tgafile=a.tga paletteid=1>\n"
                               "<drawgroup id=10 name=g2>\n<item sprite id=100 luminous=true>\n");
  ASSERT_EQ(r.exit, 0) << r.err;

  OpenFile f(dir / "obj.iff");
  EXPECT_EQ(f.file.Count(kSPR2), 2);
  EXPECT_EQ(f.file.Count(kPALT), 1);
  EXPECT_EQ(f.file.Count(kDGRP), 1);
  EXPECT_EQ(f.file.Count(kSTR), 1);
  for (const auto& [type, id] : {std::pair{kSTR, 128}, std::pair{kSPR2, 900}}) {
    std::string name;
    const std::vector<uint8_t> kept = Resource(f.file, type, uint16_t(id), &name);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), std::string("keep!", 6));
    EXPECT_EQ(name, "other");
  }
  std::string name;
  const std::vector<uint8_t> list = Resource(f.file, kSPR2, 100, &name);
  EXPECT_EQ(name, "a2");
  const spritedec::SpriteListInfo info = List(list, false);
  ASSERT_EQ(info.count, 12u);
  for (int n = 0; n < 12; n++) {
    ExpectSpr2Frame(list.data() + info.frames[n].offset, info.frames[n].size, a2, CellOf(4, 0, n % 4, n / 4), false);
  }
  const std::vector<uint8_t> p = Resource(f.file, kPALT, 1);
  ASSERT_EQ(p.size(), 784u);
  EXPECT_EQ(p[18 + 3 * 9], pal2[9].b);
  const std::vector<Entry> g = ReadDrawGroup(Resource(f.file, kDGRP, 10, &name));
  EXPECT_EQ(name, "g2");
  ASSERT_EQ(g.size(), 12u);
  EXPECT_EQ(g[0].items.at(0).flags, 4u);
}

TEST_F(GraphicsStage, PalettesAreWrittenOnceUnlessTheyChange) {
  // Sprites on two sheets name palette 1 (and the second sheet's sprite palette 2 as well).
  // When both sheets have the same colours, a fresh build writes PALT 1 once and leaves no
  // free block in the file; when they differ, PALT 1 holds the colours of the last sheet
  // written with it.
  struct Case {
    const char* name;
    int secondShift;  // the second sheet's palette
    bool noFreeBlock;
  };
  const Case cases[] = {{"same colours", 0, true}, {"other colours", 5, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestTempFolder run;
    run.MakeFolder("art");
    MakeObjectFile(run);
    const std::vector<TestRGB> first = Palette();
    const std::vector<TestRGB> second = Palette(c.secondShift);
    const TestSheet a = MakeSheet(4, 2, 0);
    const TestSheet b = MakeSheet(4, 1, 30);
    run.WriteFile("art/a.tga", Tga(a, first, 32));
    run.WriteFile("art/a.bmp", WriteSheetBMP8(a, first));
    run.WriteFile("art/b.tga", Tga(b, second, 32));
    run.WriteFile("art/b.bmp", WriteSheetBMP8(b, second));
    const MorvikRun r = Build(run, std::string(kSizes) +
                                   "<sprite id=1 name=one tgafile=a.tga position=0 paletteid=1>\n"
                                   "<sprite id=2 name=two tgafile=a.tga position=1 paletteid=1>\n"
                                   "<sprite id=3 name=three tgafile=b.tga position=0 paletteid=1>\n"
                                   "<sprite id=4 name=four tgafile=b.tga position=0 paletteid=2>\n");
    ASSERT_EQ(r.exit, 0) << r.err;
    OpenFile f(run / "obj.iff");
    EXPECT_EQ(f.file.Count(kSPR2), 4);
    EXPECT_EQ(f.file.Count(kPALT), 2);
    for (uint16_t id : {1, 2}) {
      const std::vector<uint8_t> p = Resource(f.file, kPALT, id);
      ASSERT_EQ(p.size(), 784u);
      for (int i = 0; i < 256; i++) {
        EXPECT_EQ(p[16 + 3 * i], second[i].r) << id << ":" << i;
        EXPECT_EQ(p[18 + 3 * i], second[i].b) << id << ":" << i;
      }
    }
    if (c.noFreeBlock) {
      EXPECT_EQ(f.file.GetWasted(), 0u);
    }
  }
}

TEST_F(GraphicsStage, MaskedSpriteLeavesTheSharedSourceAndPaletteAlone) {
  // Sprite 1 and 3 show the unmasked sheet; sprite 2, on the same source, is masked by a BMP
  // with a palette of its own. Neither the mask's pixels nor its palette may reach sprites 1
  // and 3 or the PALT.
  const std::vector<TestRGB> pal = Palette();
  const TestSheet a = MakeSheet(4, 3, 0);
  Art("a.tga", Tga(a, pal, 32));
  Art("a.bmp", WriteSheetBMP8(a, pal));
  TestSheet mask(a.width, kLarge);
  for (int y = 0; y < kLarge; y++) {
    for (int x = 0; x < a.width; x++) mask.index[mask.At(x, y)] = x < a.width / 2 ? 0 : 9;
  }
  Art("mask.bmp", WriteSheetBMP8(mask, Palette(100)));
  const MorvikRun r = Build(dir, std::string(kSizes) +
                               "<sprite id=1 name=one tgafile=a.tga position=1 paletteid=1>\n"
                               "<sprite id=2 name=two tgafile=a.tga position=1 paletteid=1 mask=mask.bmp>\n"
                               "<sprite id=3 name=three tgafile=a.tga position=1 paletteid=1>\n");
  ASSERT_EQ(r.exit, 0) << r.err;
  const std::vector<std::string> lines = r.ErrLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Rendering file a.tga..."), 1) << r.err;

  OpenFile f(dir / "obj.iff");
  const std::vector<uint8_t> first = Resource(f.file, kSPR2, 1);
  const std::vector<uint8_t> masked = Resource(f.file, kSPR2, 2);
  const std::vector<uint8_t> third = Resource(f.file, kSPR2, 3);
  EXPECT_EQ(first, third);
  EXPECT_NE(first, masked);
  const spritedec::SpriteListInfo info = List(third, false);
  ASSERT_EQ(info.count, 12u);
  for (int n = 0; n < 12; n++) {
    ExpectSpr2Frame(third.data() + info.frames[n].offset, info.frames[n].size, a, CellOf(4, 1, n % 4, n / 4), false);
  }
  // The masked sprite shows only the right half of the sheet.
  TestSheet right = a;
  for (int y = kLarge; y < 2 * kLarge; y++) {
    for (int x = 0; x < a.width / 2; x++) {
      right.depth[right.At(x, y)] = 255;
      right.index[right.At(x, y)] = 0;
    }
  }
  const spritedec::SpriteListInfo minfo = List(masked, false);
  for (int n = 0; n < 12; n++) {
    const Cell c = CellOf(4, 1, n % 4, n / 4);
    if (c.left + c.size <= a.width / 2) continue;  // wholly masked: an empty frame
    ExpectSpr2Frame(masked.data() + minfo.frames[n].offset, minfo.frames[n].size, right, c, false);
  }
  const std::vector<uint8_t> p = Resource(f.file, kPALT, 1);
  ASSERT_EQ(p.size(), 784u);
  for (int i = 0; i < 256; i++) EXPECT_EQ(p[18 + 3 * i], pal[i].b) << i;
}

TEST_F(GraphicsStage, DrawOffsetsSkipGroupsWithoutTheSprite) {
  // Sprite 1 has diagonals (two frames); group 8 shows only sprite 2, which has none, so it
  // has no entries for odd directions.
  const std::vector<TestRGB> pal = Palette();
  const TestSheet a = MakeSheet(4, 3, 0);
  Art("a.tga", Tga(a, pal, 32));
  Art("a.bmp", WriteSheetBMP8(a, pal));
  const MorvikRun r = Build(dir, std::string(kSizes) +
                               "<sprite id=1 name=one tgafile=a.tga frames=2>\n"
                               "<sprite id=2 name=two tgafile=a.tga position=2>\n"
                               "<drawgroup id=7 name=seven>\n<item sprite id=1>\n"
                               "<drawgroup id=8 name=eight>\n<item sprite id=2>\n");
  ASSERT_EQ(r.exit, 0) << r.err;
  OpenFile f(dir / "obj.iff");
  EXPECT_EQ(ReadDrawGroup(Resource(f.file, kDGRP, 7)).size(), 24u);
  EXPECT_EQ(ReadDrawGroup(Resource(f.file, kDGRP, 8)).size(), 12u);
}

TEST_F(GraphicsStage, PairGroupsSwapMirroredViews) {
  const std::vector<TestRGB> pal = Palette();
  const TestSheet a = MakeSheet(2, 2, 0);
  Art("a.tga", Tga(a, pal, 32));
  Art("a.bmp", WriteSheetBMP8(a, pal));
  const MorvikRun r = Build(dir, std::string(kSizes) +
                               "<sprite id=1 name=l tgafile=a.tga columns=2 symmetry=bi-lateral pairing=1>\n"
                               "<sprite id=2 name=r tgafile=a.tga columns=2 symmetry=bi-lateral pairing=1>\n"
                               "<drawgroup id=7 name=seven>\n<item sprite id=1>\n");
  ASSERT_EQ(r.exit, 0) << r.err;
  OpenFile f(dir / "obj.iff");
  const std::vector<Entry> g = ReadDrawGroup(Resource(f.file, kDGRP, 7));
  for (int zoom = 1; zoom <= 3; zoom++) {
    for (int d = 0; d < 8; d += 2) {
      const Entry* e = FindEntry(g, d, zoom);
      ASSERT_NE(e, nullptr);
      ASSERT_EQ(e->items.size(), 1u);
      const bool mirrored = d == 4 || d == 6;
      EXPECT_EQ(e->items[0].flags, mirrored ? 1u : 0u);
      EXPECT_EQ(e->items[0].id, mirrored ? 2 : 1) << d;
      EXPECT_EQ(e->items[0].index, (d == 0 || d == 6 ? 0 : 1) + (3 - zoom) * 2);
    }
  }
}

TEST_F(GraphicsStage, FailuresEndTheBuildWithTheirMessage) {
  const std::vector<TestRGB> pal = Palette();
  const TestSheet a = MakeSheet(4, 1, 0);
  const TestSheet tall = MakeSheet(4, 2, 0);
  Art("a.tga", Tga(a, pal, 32));
  Art("a.bmp", WriteSheetBMP8(a, pal));
  Art("nopal.tga", Tga(a, pal, 32));
  Art("flat.tga", Tga(a, pal, 24));
  Art("flat.bmp", WriteSheetBMP8(a, pal));
  Art("flatalpha.tga", AlphaTga(a));
  Art("short.tga", Tga(a, pal, 32));
  Art("short.bmp", WriteSheetBMP8(tall, pal));
  Art("tall.bmp", WriteSheetBMP8(tall, pal));
  Art("notbmp.bmp", WriteRawPalette(pal));
  TestSheet small(8, 8);
  Art("narrow.tga", Tga(small, pal, 32));
  Art("narrow.bmp", WriteSheetBMP8(small, pal));
  const std::string art = dir / "art/";
  const struct {
    const char* tags;
    std::string message;
  } cases[] = {
      {"<sprite id=1 name=x tgafile=nopal.tga>",
       "BMP file " + art + "nopal.bmp required.  Could not obtain palette."},
      {"<sprite id=1 name=x tgafile=short.tga>",
       "bad bmp height: " + art + "short.bmp is 112 x 32 pixels, its TGA " + art +
           "short.tga 112 x 16; they must be the same size"},
      {"<sprite id=1 name=x tgafile=flat.tga>",
       "only supports alpha sprites with z at this time: the alpha image " + art +
           "flatalpha.tga needs a 32-bit TGA sheet, and " + art + "flat.tga is a 24-bit TGA"},
      {"<sprite id=1 name=x tgafile=a.tga mask=tall.bmp>",
       "mask too large or sprite file too small: the mask " + art +
           "tall.bmp of sprite 1 (line 2) is 112 x 32 pixels from row 0 of " + art +
           "a.tga, which is 112 x 16"},
      {"<sprite id=1 name=x tgafile=a.tga mask=notbmp.bmp>",
       "no mask to apply: the mask " + art + "notbmp.bmp of sprite 1 (line 2) is not a BMP"},
      {"<sprite id=1 name=x tgafile=narrow.tga>",
       "line: 2 - tga file too small for some sprite position...did you export all frames? "
       "sprite 1 needs 112 x 16 pixels of " + art + "narrow.tga, which is 8 x 8"},
      {"<sprite id=1 name=x bmpfile=notbmp.bmp>",
       "bmpfile " + art + "notbmp.bmp is not a BMP: a sprite's bmpfile must be an 8-bit BMP"},
      {"<sprite id=1 name=x tgafile=a.tga>\n<drawgroup id=3 name=d ordering=sideways>",
       "line: 3 - unknown ordering"},
      {"<sprite id=1 name=x tgafile=a.tga>\n<drawgroup id=3 name=d>\n<item sprite id=9>",
       "line: 4 - sprite not found for some dgrp item: no sprite tag with id 9 comes before this "
       "item of draw group 3"},
      {"<sprite id=1 name=x tgafile=a.tga>\n<drawgroup id=3 name=d>\n<item chair id=1>",
       "line: 4 - unknown item type \"chair\" (sprite expected)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tags);
    const MorvikRun r = Build(dir, std::string(kSizes) + c.tags + "\n");
    EXPECT_EQ(r.exit, 1);
    const std::vector<std::string> lines = r.ErrLines();
    ASSERT_GE(lines.size(), 2u) << r.err;
    EXPECT_EQ(lines[lines.size() - 2], "fatal error: " + c.message) << r.err;
    EXPECT_EQ(lines.back(), "");
  }
}

TEST_F(GraphicsStage, FrameTooWideForTheFormatIsRefused) {
  // A large cell of 4200 visible pixels in a row needs a line of 8404 bytes: more than the
  // 13-bit line length of an SPR2 frame holds.
  const int width = 4200 + 2100 + 1050;
  TestSheet s(width, 4);
  for (size_t i = 0; i < s.index.size(); i++) {
    s.index[i] = 7;
    s.depth[i] = 9;
  }
  s.index[0] = 0;
  s.depth[0] = 255;
  const std::vector<TestRGB> pal = Palette();
  Art("wide.tga", Tga(s, pal, 32));
  Art("wide.bmp", WriteSheetBMP8(s, pal));
  const MorvikRun r = Build(dir, "<sizes lwidth=4200 lheight=4 mwidth=2100 mheight=2 swidth=1050 sheight=1>\n"
                                 "<sprite id=1 name=wide tgafile=wide.tga columns=1>\n");
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("fatal error: could not encode sprite frame\n\n"), std::string::npos) << r.err;
}

TEST_F(GraphicsStage, EmptyGraphicsFolderIsRefused) {
  dir.WriteFile("obj.omk", std::string(kSizes) + "<sprite id=1 name=x tgafile=a.tga>\n");
  const MorvikRun r = Morvik(dir, "'" + (dir / "obj.iff") + "' -spec '" + (dir / "obj.omk") + "' -graphics ''");
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("fatal error: not enough info to determine tga file\n\n"), std::string::npos) << r.err;
}

TEST_F(GraphicsStage, BmpSourceBecomesAnSprList) {
  const std::vector<TestRGB> pal = Palette();
  const TestSheet a = MakeSheet(4, 1, 0);
  Art("a.bmp", WriteSheetBMP8(a, pal));
  const MorvikRun r = Build(dir, std::string(kSizes) + "<sprite id=5 name=flat bmpfile=a.bmp paletteid=2>\n");
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_NE(r.err.find("Generating sprite 5, flat...\nRendering file a.bmp...\n"), std::string::npos) << r.err;
  OpenFile f(dir / "obj.iff");
  const std::vector<uint8_t> list = Resource(f.file, kSPR, 5);
  const spritedec::SpriteListInfo info = List(list, true);
  EXPECT_EQ(info.version, 502u);
  EXPECT_EQ(info.paletteId, 2u);
  ASSERT_EQ(info.count, 12u);
  for (int n = 0; n < 12; n++) {
    ExpectSprFrame(list.data() + info.frames[n].offset, info.frames[n].size, a, CellOf(4, 0, n % 4, n / 4));
  }
  EXPECT_EQ(Resource(f.file, kPALT, 2).size(), 784u);
}

TEST_F(GraphicsStage, SourcePathsMayUseBackslashesAndAnotherCase) {
  const std::vector<TestRGB> pal = Palette();
  const TestSheet a = MakeSheet(4, 1, 0);
  // The TGA's colours are all black: the indices must come from the BMP.
  dir.WriteFile("art/Sub/a.tga", Tga(a, std::vector<TestRGB>(256), 32));
  dir.WriteFile("art/Sub/a.bmp", WriteSheetBMP8(a, pal));
  dir.WriteFile("art/Sub/aalpha.tga", AlphaTga(a));
  const MorvikRun r = Build(dir, std::string(kSizes) + "<sprite id=5 name=x tgafile=\"sub\\A.TGA\">\n");
  ASSERT_EQ(r.exit, 0) << r.err;
  OpenFile f(dir / "obj.iff");
  const std::vector<uint8_t> list = Resource(f.file, kSPR2, 5);
  const spritedec::SpriteListInfo info = List(list, false);
  ASSERT_EQ(info.count, 12u);
  for (int n = 0; n < 12; n++) {
    ExpectSpr2Frame(list.data() + info.frames[n].offset, info.frames[n].size, a, CellOf(4, 0, n % 4, n / 4), true);
  }
}

TEST_F(GraphicsStage, DeprecatedItemsAndOverwritesWarn) {
  const std::vector<TestRGB> pal = Palette();
  const TestSheet a = MakeSheet(4, 1, 0);
  Art("a.tga", Tga(a, pal, 32));
  Art("a.bmp", WriteSheetBMP8(a, pal));
  const MorvikRun r = Build(dir, std::string(kSizes) +
                               "<sprite id=1 name=x tgafile=a.tga>\n"
                               "<drawgroup id=3 name=d>\n"
                               "<item object id=1>\n<item slot id=1>\n"
                               "<item sprite id=1 alt=1>\n<item sprite id=1 alt=2>\n");
  ASSERT_EQ(r.exit, 0) << r.err;
  const std::vector<std::string> lines = r.ErrLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(),
                       "warning: draw group item tag specifying depracated \"object\" type"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(),
                       "warning: draw group item tag specifying depracated \"slot\" type"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "warning: overwriting a draw group item"), 12);
  OpenFile f(dir / "obj.iff");
  const std::vector<Entry> g = ReadDrawGroup(Resource(f.file, kDGRP, 3));
  ASSERT_EQ(g.size(), 12u);
  for (const Entry& e : g) {
    ASSERT_EQ(e.items.size(), 1u);
    EXPECT_EQ(e.items[0].alt, 2.0f * 0.33333334f * 4.898979f);
  }
}

// Sprite images whose RLE8 rows were encoded over the padded row length (as a common
// converter writes palette images whose width is not a multiple of 4) or with literals
// that pass the width: the BMP as the source of an SPR# sprite and as the colour image
// beside a 32-bit TGA. The cells fill the sheet to its right edge, and every pixel of
// every frame is compared with the sheet.
TEST_F(GraphicsStage, RLE8BmpsEncodedOverTheirPaddedRowsBuild) {
  const struct Style {
    const char* name;
    RLE8Rows rows;
    int pad;
  } styles[] = {
      {"padded runs, padding 0", RLE8Rows::kPaddedRuns, 0},
      {"padded runs, last pixel repeated", RLE8Rows::kPaddedRuns, -1},
      {"padded literals", RLE8Rows::kPaddedLiterals, 3},
  };
  // Large, medium and small cell sides: sheets 28, 29, 30 and 31 pixels wide.
  const int sides[][3] = {{16, 8, 4}, {16, 8, 5}, {16, 9, 5}, {17, 9, 5}};
  const std::vector<TestRGB> pal = Palette();
  for (const auto& side : sides) {
    TestSheet s(side[0] + side[1] + side[2], side[0]);
    Cell cells[3];
    for (int z = 0, left = 0; z < 3; left += side[z], z++) {
      cells[z] = Cell{left, 0, side[z]};
      for (int y = 0; y < side[z]; y++) {
        for (int x = 0; x < side[z]; x++) {
          const size_t i = s.At(left + x, y);
          s.index[i] = uint8_t(x % 6 < 3 ? 30 + y + z : 40 + x + 2 * y);  // runs and literals
          s.depth[i] = uint8_t(10 + x + y);
        }
      }
    }
    s.index[0] = 0;  // the top-left pixel gives the clear colour and depth
    s.depth[0] = 255;
    const std::string sizes = "<sizes lwidth=" + std::to_string(side[0]) + " lheight=" +
                              std::to_string(side[0]) + " mwidth=" + std::to_string(side[1]) +
                              " mheight=" + std::to_string(side[1]) + " swidth=" +
                              std::to_string(side[2]) + " sheight=" + std::to_string(side[2]) + ">\n";
    for (const Style& k : styles) {
      SCOPED_TRACE(testing::Message() << k.name << ", width " << s.width);
      TestImage8 im;
      im.width = s.width;
      im.height = s.height;
      im.pixels = s.index;
      im.palette = pal;
      BMPWriteOptions o;
      o.rle8 = true;
      o.rleRows = k.rows;
      o.rlePad = k.pad;
      Art("flat.bmp", WriteBMP8(im, o));
      Art("deep.bmp", WriteBMP8(im, o));
      // The TGA's colours are all black: the indices must come from the BMP.
      Art("deep.tga", Tga(s, std::vector<TestRGB>(256), 32));
      const MorvikRun r = Build(dir, sizes +
                                         "<sprite id=5 name=flat bmpfile=flat.bmp columns=1>\n"
                                         "<sprite id=6 name=deep tgafile=deep.tga columns=1>\n");
      ASSERT_EQ(r.exit, 0) << r.err;
      OpenFile f(dir / "obj.iff");
      const std::vector<uint8_t> flat = Resource(f.file, kSPR, 5);
      const spritedec::SpriteListInfo flatInfo = List(flat, true);
      ASSERT_EQ(flatInfo.count, 3u);
      const std::vector<uint8_t> deep = Resource(f.file, kSPR2, 6);
      const spritedec::SpriteListInfo deepInfo = List(deep, false);
      ASSERT_EQ(deepInfo.count, 3u);
      for (int n = 0; n < 3; n++) {
        SCOPED_TRACE(n);
        ExpectSprFrame(flat.data() + flatInfo.frames[n].offset, flatInfo.frames[n].size, s, cells[n]);
        ExpectSpr2Frame(deep.data() + deepInfo.frames[n].offset, deepInfo.frames[n].size, s, cells[n], false);
      }
    }
  }
}

}  // namespace
