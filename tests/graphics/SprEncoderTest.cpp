// SPR# frames and sprite lists: exact bytes for the small cases, round trips through the
// test decoder, the settings check, refusals, trimming, growing and merging.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "Compressor.h"
#include "DebugCapture.h"
#include "EncoderTestWorld.h"
#include "SpriteDecoders.h"
#include "SpriteList.h"
#include "palwrap.h"

using enctest::HandleBytes;
using enctest::HandleOwner;
using enctest::MakeWorld;
using enctest::WorldFromText;
using Bytes = std::vector<uint8_t>;

namespace {

MacRect Bounds(Offscreen& world) {
  MacRect r;
  world.GetPortRect(r);
  return r;
}

// Encodes the whole world with `settings`; fails the test on an encoder error.
Bytes Encode(Offscreen& world, const CompressorSettings& settings = CompressorSettings(),
             PalWrap* palette = nullptr) {
  Compressor c;
  c.SetSettings(settings);
  MHandle* frame = nullptr;
  int32_t status = c.CompressFrame(&world, Bounds(world), frame, palette);
  EXPECT_EQ(status, 0);
  HandleOwner owner(frame);
  return HandleBytes(frame);
}

Bytes Header(int w, int h, uint8_t flags) {
  return {0, 0, 0, 0, uint8_t(h), uint8_t(h >> 8), uint8_t(w), uint8_t(w >> 8), 0, flags};
}

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

spritedec::SprFrame Decode(const Bytes& bytes) {
  spritedec::SprFrame f;
  std::string error;
  EXPECT_TRUE(spritedec::DecodeSprFrame(bytes.data(), bytes.size(), f, error)) << error;
  return f;
}

// Alternating colours 5, 6, 5, ... (never a run of two).
uint8_t Alternate(int x, int) { return uint8_t(5 + (x & 1)); }

}  // namespace

TEST(SprFrame, SmallCasesEncodeToExactBytes) {
  struct Case {
    const char* name;
    std::vector<const char*> rows;
    Bytes tokens;
    uint8_t flags;
  } cases[] = {
      {"transparent 10x3", {"..........", "..........", ".........."}, {9, 3, 5, 0}, 0},
      {"repeat of 20", {"55555555555555555555"}, {4, 6, 2, 20, 5, 5, 5, 0}, 0x10},
      {"draw of 7 and pad", {"5555555"}, {4, 12, 3, 7, 5, 5, 5, 5, 5, 5, 5, 0, 5, 0}, 0},
      {"trailing clear dropped", {"56......"}, {4, 6, 3, 2, 5, 6, 5, 0}, 0},
      {"leading clear", {"..5"}, {4, 8, 1, 2, 3, 1, 5, 0, 5, 0}, 0},
      {"clear row between", {"5", ".", "5"}, {4, 6, 3, 1, 5, 0, 9, 1, 4, 6, 3, 1, 5, 0, 5, 0}, 0},
      {"clear row after data", {"5.", ".."}, {4, 6, 3, 1, 5, 0, 9, 1, 5, 0}, 0},
  };
  for (const Case& k : cases) {
    auto world = WorldFromText(k.rows);
    Bytes want = Cat(Header(int(std::string(k.rows[0]).size()), int(k.rows.size()), k.flags), k.tokens);
    Bytes got = Encode(*world);
    EXPECT_EQ(got, want) << k.name;
    Decode(got);
  }
}

TEST(SprFrame, EachTokenSetsItsFrameFlag) {
  auto with = [](uint8_t flags) {
    CompressorSettings s;
    s.flags = flags;
    return s;
  };
  const uint8_t base = kCompressClearColor | kCompressRepeats;
  struct Case {
    const char* row;
    uint8_t settingsFlags;
    Bytes tokens;
    uint8_t frameFlags;
  } cases[] = {
      {"3", uint8_t(base | kCompressShading1), {4, 6, 7, 1, 1, 0, 5, 0}, 0x08},
      {"3333333333", uint8_t(base | kCompressShading1), {4, 6, 8, 10, 1, 1, 5, 0}, 0x08},
      {"9", uint8_t(base | kCompressShading2), {4, 6, 13, 1, 2, 0, 5, 0}, 0x08},
      {"99999999", uint8_t(base | kCompressShading2), {4, 6, 14, 8, 2, 2, 5, 0}, 0x08},
      {"1", uint8_t(base | kCompressPatterns), {4, 6, 10, 1, 0, 0, 5, 0}, 0x24},
      {".22", uint8_t(base | kCompressPatterns), {4, 8, 1, 1, 11, 2, 0, 1, 5, 0}, 0x22},
      {"3", uint8_t(base | kCompressPatterns), {4, 6, 12, 1, 0, 0, 5, 0}, 0x21},
      {"44444444", base, {4, 6, 2, 8, 4, 4, 5, 0}, 0x10},
  };
  for (const Case& k : cases) {
    auto world = WorldFromText({k.row});
    Bytes got = Encode(*world, with(k.settingsFlags));
    EXPECT_EQ(got, Cat(Header(int(std::string(k.row).size()), 1, k.frameFlags), k.tokens)) << k.row;
    Decode(got);
  }
}

TEST(SprFrame, LineHeadTurnsLongPast255Bytes) {
  // 250 draw pixels: 2 + 2 + 250 = 254 bytes, a short head.
  auto shortWorld = MakeWorld(250, 1, Alternate);
  Bytes a = Encode(*shortWorld);
  EXPECT_EQ(a[10], 4);
  EXPECT_EQ(a[11], 254);
  EXPECT_EQ(a[12], 3);
  EXPECT_EQ(a[13], 250);
  EXPECT_EQ(a.size(), 10u + 254 + 2);

  // 252 draw pixels: 256 bytes, written with the 6-byte head 4, 2, 5, FF, length + 4.
  auto longWorld = MakeWorld(252, 1, Alternate);
  Bytes b = Encode(*longWorld);
  ASSERT_EQ(b.size(), 10u + 260 + 2);
  EXPECT_EQ(Bytes(b.begin() + 10, b.begin() + 18), (Bytes{4, 2, 5, 0xFF, 0x01, 0x04, 3, 252}));
  EXPECT_EQ(b[16 + 2 + 251], 6);  // the last pixel
  EXPECT_EQ(Bytes(b.end() - 2, b.end()), (Bytes{5, 0}));
  spritedec::SprFrame f = Decode(b);
  EXPECT_EQ(f.longLines, 1);
}

TEST(SprFrame, ClearLinesSplitAt255Rows) {
  auto world = MakeWorld(4, 300, [](int, int) { return 0; });
  EXPECT_EQ(Encode(*world), Cat(Header(4, 300, 0), {9, 255, 9, 45, 5, 0}));
}

TEST(SprFrame, CountsAtTheirLimitsEncodeAndPastThemAreRefused) {
  struct Case {
    const char* name;
    int width;
    std::function<uint8_t(int, int)> fn;
    uint8_t minRepeat;
    bool fits;
  } cases[] = {
      {"clear run of 255", 256, [](int x, int) { return x == 255 ? 5 : 0; }, 8, true},
      {"clear run of 256", 257, [](int x, int) { return x == 256 ? 5 : 0; }, 8, false},
      {"trailing clear run of 300", 301, [](int x, int) { return x == 0 ? 5 : 0; }, 8, true},
      {"draw run of 254", 254, Alternate, 8, true},
      {"draw run of 255", 255, Alternate, 8, false},
      {"repeat run of 255", 255, [](int, int) { return 5; }, 8, true},
      {"repeat run of 256", 256, [](int, int) { return 5; }, 8, false},
      // Every pixel a 4-byte repeat token: 2 + 4 * w bytes; the long head holds up to 65535.
      {"line of 65534 bytes", 16382, Alternate, 1, true},
      {"line of 65538 bytes", 16383, Alternate, 1, false},
  };
  for (const Case& k : cases) {
    auto world = MakeWorld(k.width, 1, k.fn);
    CompressorSettings s;
    s.minRepeat = k.minRepeat;
    Compressor c;
    c.SetSettings(s);
    MHandle* frame = reinterpret_cast<MHandle*>(&c);  // must be replaced
    int32_t status = c.CompressFrame(world.get(), Bounds(*world), frame, nullptr);
    HandleOwner owner(status == 0 ? frame : nullptr);
    if (k.fits) {
      EXPECT_EQ(status, 0) << k.name;
      Decode(HandleBytes(frame));
    } else {
      EXPECT_EQ(status, kFrameUnencodableErr) << k.name;
      EXPECT_EQ(frame, nullptr) << k.name;
    }
  }
}

TEST(SprFrame, SettingsCheckFollowsItsSixRules) {
  CompressorSettings defaults;
  struct Case {
    const char* name;
    std::function<void(CompressorSettings&)> change;
    bool inconsistent;
  } cases[] = {
      {"defaults", [](CompressorSettings&) {}, false},
      {"clear colour 3 with patterns", [](CompressorSettings& s) { s.clearColor = 3; s.flags |= kCompressPatterns; }, true},
      {"clear colour 4 with patterns", [](CompressorSettings& s) { s.clearColor = 4; s.flags |= kCompressPatterns; }, false},
      {"clear colour inside shading 1", [](CompressorSettings& s) { s.clearColor = 6; s.flags |= kCompressShading1; }, true},
      {"clear colour inside shading 2", [](CompressorSettings& s) { s.clearColor = 7; s.flags |= kCompressShading2; }, true},
      {"clear colour 12 with both ranges", [](CompressorSettings& s) { s.clearColor = 12; s.flags |= kCompressShading1 | kCompressShading2; }, false},
      {"pattern colour inside shading 1", [](CompressorSettings& s) { s.clearColor = 200; s.flags |= kCompressShading1 | kCompressPatterns; }, true},
      {"patterns clear of shading 2", [](CompressorSettings& s) { s.clearColor = 200; s.flags |= kCompressShading2 | kCompressPatterns; }, false},
      {"overlapping ranges", [](CompressorSettings& s) { s.clearColor = 200; s.shading2Low = 6; s.flags |= kCompressShading1 | kCompressShading2; }, true},
      {"touching ranges apart", [](CompressorSettings& s) { s.clearColor = 200; s.shading2Low = 7; s.flags |= kCompressShading1 | kCompressShading2; }, false},
      {"reversed range", [](CompressorSettings& s) { s.clearColor = 200; s.shading1Low = 9; s.shading1High = 8; s.flags |= kCompressShading1; }, true},
      {"reversed range that is off", [](CompressorSettings& s) { s.shading1Low = 9; s.shading1High = 8; }, false},
      {"reversed suppression", [](CompressorSettings& s) { s.suppressLow = 9; s.suppressHigh = 8; }, true},
      {"reversed suppression that is off", [](CompressorSettings& s) { s.suppressLow = 9; s.suppressHigh = 8; s.flags &= ~kCompressSuppress; }, false},
  };
  auto world = MakeWorld(4, 2, [](int, int) { return 5; });
  for (const Case& k : cases) {
    CompressorSettings s = defaults;
    k.change(s);
    Compressor c;
    c.SetSettings(s);
    EXPECT_EQ(c.SettingsInconsistent(), k.inconsistent) << k.name;
    MHandle* frame = nullptr;
    int32_t status = c.CompressFrame(world.get(), Bounds(*world), frame, nullptr);
    HandleOwner owner(frame);
    EXPECT_EQ(status, k.inconsistent ? kCompressorSettingsErr : 0) << k.name;
    EXPECT_EQ(frame == nullptr, k.inconsistent) << k.name;
  }
}

TEST(SprFrame, SuppressionMapsColoursOutsideItsRange) {
  // A one-colour range: every colour but the clear colour becomes that colour, so the
  // eight pixels form one repeat run.
  auto world = WorldFromText({"55559999."});
  CompressorSettings s;
  s.suppressLow = s.suppressHigh = 7;
  EXPECT_EQ(Encode(*world, s), Cat(Header(9, 1, 0x10), {4, 6, 2, 8, 7, 7, 5, 0}));

  // A range with a palette: outside colours become the palette's nearest usable colour.
  std::vector<PlatformColorEntry> colours(256);
  for (int i = 0; i < 256; ++i) colours[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2), 0};
  PalWrap palette;
  palette.Create(colours.data(), 1);  // entries 0-9 and 246-255 become the static colours
  auto suppressed = [&](uint8_t p) -> int {
    const PlatformColorEntry& e = palette.GetColors()[p];
    return (p >= 10 && p <= 245) ? p : palette.FindNearestColor(e.red, e.green, e.blue);
  };
  // Run lengths compare suppressed colours, so a colour that suppresses to what the clear
  // colour suppresses to would join a clear run: such colours are left out of the image.
  std::mt19937 rng(7);
  auto noisy = MakeWorld(60, 20, [&](int, int) {
    uint8_t p = uint8_t(rng() % 256);
    return suppressed(p) == suppressed(0) ? uint8_t(0) : p;
  });
  s.suppressLow = uint8_t(palette.FirstUsableIndex());
  s.suppressHigh = uint8_t(palette.LastUsableIndex());
  spritedec::SprFrame f = Decode(Encode(*noisy, s, &palette));
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 60; ++x) {
      uint8_t p = enctest::GetPixel(*noisy, x, y);
      int want = p == 0 ? -1 : suppressed(p);
      int got = f.At(x, y).kind == spritedec::SprKind::kClear ? -1 : f.At(x, y).value;
      ASSERT_EQ(got, want) << x << "," << y;
    }

  // Without a palette the colour stays itself, after an assertion.
  ScopedDebugCapture capture;
  auto one = WorldFromText({"..f"});  // colour 15, outside 20..30
  s.suppressLow = 20;
  s.suppressHigh = 30;
  EXPECT_EQ(Encode(*one, s), Cat(Header(3, 1, 0), {4, 8, 1, 2, 3, 1, 15, 0, 5, 0}));
  EXPECT_TRUE(capture.Saw("attempting color supression with no palette"));
}

TEST(SprFrame, GeneratedImagesDecodeBackToTheirSource) {
  std::mt19937 rng(1234);
  auto noise = [&](int w, int h, int clearPercent) {
    std::vector<uint8_t> px(size_t(w) * h);
    for (auto& p : px) p = int(rng() % 100) < clearPercent ? 0 : uint8_t(1 + rng() % 255);
    return px;
  };
  auto runs = [&](int w, int h) {  // runs of random length and colour
    std::vector<uint8_t> px(size_t(w) * h);
    size_t i = 0;
    while (i < px.size()) {
      size_t n = 1 + rng() % 20;
      uint8_t c = rng() % 4 == 0 ? 0 : uint8_t(rng() % 256);
      for (size_t k = 0; k < n && i < px.size(); ++k) px[i++] = c;
    }
    return px;
  };
  struct Image {
    const char* name;
    int w, h;
    std::vector<uint8_t> px;
  };
  std::vector<Image> images;
  images.push_back({"solid", 40, 30, std::vector<uint8_t>(40 * 30, 77)});
  images.push_back({"noisy", 120, 50, noise(120, 50, 10)});
  images.push_back({"runs", 254, 40, runs(254, 40)});
  images.push_back({"one pixel wide", 1, 200, noise(1, 200, 50)});
  images.push_back({"1000 rows tall", 17, 1000, runs(17, 1000)});
  {
    // Transparent rows and columns through shapes.
    Image s{"stripes", 64, 64, noise(64, 64, 0)};
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x)
        if (y % 9 < 3 || x % 13 < 2 || y > 58) s.px[size_t(y) * 64 + x] = 0;
    images.push_back(s);
  }
  for (int zoom : {32, 64, 128}) {  // small, medium and large object cells
    Image z{"zoom", zoom, zoom * 2, runs(zoom, zoom * 2)};
    images.push_back(z);
  }

  auto settings = [](uint8_t extra, uint8_t minRepeat, uint8_t clear) {
    CompressorSettings s;
    s.flags = uint8_t((s.flags & ~kCompressRepeats) | extra);
    s.minRepeat = minRepeat;
    s.clearColor = clear;
    return s;
  };
  const CompressorSettings variants[] = {
      settings(kCompressRepeats, 8, 0),
      settings(0, 8, 0),
      settings(kCompressRepeats, 2, 0),
      settings(kCompressRepeats | kCompressShading1 | kCompressShading2, 4, 0),
      settings(kCompressRepeats | kCompressPatterns, 3, 0),
      settings(kCompressRepeats, 8, 77),  // a clear colour that is not 0
  };
  for (const Image& image : images) {
    auto world = MakeWorld(image.w, image.h, [&](int x, int y) { return image.px[size_t(y) * image.w + x]; });
    for (const CompressorSettings& s : variants) {
      Bytes bytes = Encode(*world, s);
      spritedec::SprFrame f = Decode(bytes);
      ASSERT_EQ(f.width, image.w);
      ASSERT_EQ(f.height, image.h);
      spritedec::SprColours colours{s.shading1Low, s.shading2Low, s.patternColor1, s.patternColor2, s.patternColor3};
      std::vector<int> got = spritedec::SprToIndices(f, colours);
      for (size_t i = 0; i < image.px.size(); ++i) {
        int want = image.px[i] == s.clearColor ? -1 : image.px[i];
        ASSERT_EQ(got[i], want) << image.name << " flags " << int(s.flags) << " pixel " << i;
      }
    }
  }
}

TEST(SprFrame, RectOutsideTheWorldIsCutToIt) {
  ScopedDebugCapture capture;
  auto world = WorldFromText({"56", "78"});
  Compressor c;
  MHandle* frame = nullptr;
  ASSERT_EQ(c.CompressFrame(world.get(), MacRect{0, 0, 5, 2}, frame, nullptr), 0);
  HandleOwner owner(frame);
  EXPECT_TRUE(capture.Saw("this is suspicious"));
  spritedec::SprFrame f = Decode(HandleBytes(frame));
  EXPECT_EQ(f.height, 2);
  EXPECT_EQ(f.width, 2);
}

// ---- Sprite lists ---------------------------------------------------------------------------

namespace {

spritedec::SpriteListInfo DecodeList(const Bytes& bytes) {
  spritedec::SpriteListInfo info;
  std::string error;
  EXPECT_TRUE(spritedec::DecodeSpriteList(bytes.data(), bytes.size(), info, error)) << error;
  return info;
}

Bytes FrameOf(const Bytes& list, const spritedec::ListFrame& f) {
  return Bytes(list.begin() + long(f.offset), list.begin() + long(f.offset + f.size));
}

std::vector<MacRect> Columns(int count, int width, int height) {
  std::vector<MacRect> rects;
  for (int i = 0; i < count; ++i) rects.push_back(MacRect{0, int16_t(i * width), int16_t(height), int16_t((i + 1) * width)});
  return rects;
}

}  // namespace

TEST(SpriteList, CompressSpriteListHoldsEveryFrameInOrder) {
  auto world = MakeWorld(40, 6, [](int x, int y) { return uint8_t(x % 10 == 0 ? 0 : x / 10 + y + 1); });
  std::vector<MacRect> rects = Columns(4, 10, 6);
  Compressor c;
  MHandle* list = nullptr;
  ASSERT_EQ(c.CompressSpriteList(world.get(), rects.data(), list, 4, nullptr, 4096, 502), 0);
  HandleOwner owner(list);
  Bytes bytes = HandleBytes(list);
  spritedec::SpriteListInfo info = DecodeList(bytes);
  EXPECT_EQ(info.version, 502u);
  EXPECT_EQ(info.count, 4u);
  EXPECT_EQ(info.paletteId, 4096u);
  for (int i = 0; i < 4; ++i) {
    MHandle* frame = nullptr;
    ASSERT_EQ(c.CompressFrame(world.get(), rects[i], frame, nullptr), 0);
    HandleOwner f(frame);
    EXPECT_EQ(FrameOf(bytes, info.frames[i]), HandleBytes(frame)) << i;
  }

  MHandle* none = nullptr;
  ASSERT_EQ(c.CompressSpriteList(world.get(), rects.data(), none, 0, nullptr, 0xFFFFFFFF, 503), 0);
  HandleOwner owner2(none);
  EXPECT_EQ(HandleBytes(none), (Bytes{0xF7, 1, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(SpriteList, DecoderReadsListsStoredBigEndian) {
  // The stored SPR# form: header words, offsets and each frame's first four 16-bit values
  // byte-swapped; the tokens stay as they are.
  auto world = MakeWorld(20, 3, [](int x, int y) { return uint8_t(x < 3 ? 0 : x * 3 + y); });
  std::vector<MacRect> rects = Columns(2, 10, 3);
  Compressor c;
  MHandle* list = nullptr;
  ASSERT_EQ(c.CompressSpriteList(world.get(), rects.data(), list, 2, nullptr, 9, 502), 0);
  HandleOwner owner(list);
  Bytes little = HandleBytes(list);
  spritedec::SpriteListInfo info = DecodeList(little);
  Bytes big = little;
  for (size_t at = 0; at < 12 + 4 * info.count; at += 4) std::swap(big[at], big[at + 3]), std::swap(big[at + 1], big[at + 2]);
  for (const spritedec::ListFrame& f : info.frames)
    for (size_t at = f.offset; at < f.offset + 8; at += 2) std::swap(big[at], big[at + 1]);
  spritedec::SpriteListInfo bigInfo;
  std::string error;
  ASSERT_TRUE(spritedec::DecodeSpriteList(big.data(), big.size(), bigInfo, error, true)) << error;
  EXPECT_EQ(bigInfo.version, 502u);
  EXPECT_EQ(bigInfo.paletteId, 9u);
  ASSERT_EQ(bigInfo.count, 2u);
  for (int i = 0; i < 2; ++i) {
    spritedec::SprFrame a, b;
    ASSERT_TRUE(spritedec::DecodeSprFrame(&little[info.frames[i].offset], info.frames[i].size, a, error)) << error;
    ASSERT_TRUE(spritedec::DecodeSprFrame(&big[bigInfo.frames[i].offset], bigInfo.frames[i].size, b, error, true)) << error;
    EXPECT_EQ(a.pixels, b.pixels);
    EXPECT_EQ(b.width, 10);
    EXPECT_EQ(b.height, 3);
  }
}

TEST(SpriteList, FailedListLeavesNoHandle) {
  auto world = MakeWorld(300, 1, [](int x, int) { return x == 299 ? 5 : 0; });  // clear run of 299
  std::vector<MacRect> rects = {MacRect{0, 0, 1, 10}, MacRect{0, 0, 1, 300}};
  Compressor c;
  MHandle* list = reinterpret_cast<MHandle*>(&c);
  EXPECT_EQ(c.CompressSpriteList(world.get(), rects.data(), list, 2, nullptr, 0, 502), kFrameUnencodableErr);
  EXPECT_EQ(list, nullptr);
  CompressorSettings bad;
  bad.suppressLow = 2;
  bad.suppressHigh = 1;
  c.SetSettings(bad);
  EXPECT_EQ(c.CompressSpriteList(world.get(), rects.data(), list, 1, nullptr, 0, 502), kCompressorSettingsErr);
  EXPECT_EQ(list, nullptr);
}

TEST(SpriteList, AppendMovesFramesAndOffsetsByFour) {
  auto world = MakeWorld(30, 4, [](int x, int y) { return uint8_t(1 + (x + y) % 7); });
  std::vector<MacRect> rects = Columns(3, 10, 4);
  Compressor c;
  MHandle* list = nullptr;
  ASSERT_EQ(c.CompressSpriteList(world.get(), rects.data(), list, 2, nullptr, 7, 502), 0);
  HandleOwner owner(list);
  Bytes before = HandleBytes(list);
  spritedec::SpriteListInfo was = DecodeList(before);

  MHandle* third = nullptr;
  ASSERT_EQ(c.CompressFrame(world.get(), rects[2], third, nullptr), 0);
  HandleOwner thirdOwner(third);
  ASSERT_EQ(Compressor::AppendSpriteList(list, third), 0);
  EXPECT_TRUE(IsValidMHandle(third));  // still the caller's

  Bytes after = HandleBytes(list);
  spritedec::SpriteListInfo now = DecodeList(after);
  ASSERT_EQ(now.count, 3u);
  EXPECT_EQ(now.version, 502u);
  EXPECT_EQ(now.paletteId, 7u);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(now.frames[i].offset, was.frames[i].offset + 4);
    EXPECT_EQ(FrameOf(after, now.frames[i]), FrameOf(before, was.frames[i]));
  }
  EXPECT_EQ(now.frames[2].offset, before.size() + 4);
  EXPECT_EQ(FrameOf(after, now.frames[2]), HandleBytes(third));
}

TEST(SpriteList, MergeAppendsTheSourceFramesAfterTheDestinations) {
  auto colour = MakeWorld(40, 5, [](int x, int y) { return uint8_t(x % 10 < 2 ? 0 : 10 + x + y); });
  auto depth = MakeWorld(40, 5, [](int x, int) { return uint8_t(x % 10 < 2 ? 0 : 100 + x / 10); });
  std::vector<MacRect> rects = Columns(4, 10, 5);
  Compressor c;
  MHandle* dst = nullptr;
  MHandle* src = nullptr;
  ASSERT_EQ(c.CompressSpriteList(colour.get(), rects.data(), dst, 4, nullptr, 12, 502), 0);
  ASSERT_EQ(c.CompressSpriteList(depth.get(), rects.data(), src, 4, nullptr, 0xFFFFFFFF, 503), 0);
  HandleOwner d(dst), s(src);
  Bytes dstBytes = HandleBytes(dst), srcBytes = HandleBytes(src);
  spritedec::SpriteListInfo di = DecodeList(dstBytes), si = DecodeList(srcBytes);

  ASSERT_EQ(Compressor::MergeSpriteLists(src, dst), 0);
  Bytes merged = HandleBytes(dst);
  spritedec::SpriteListInfo mi = DecodeList(merged);
  EXPECT_EQ(mi.version, 503u);
  EXPECT_EQ(mi.count, 8u);
  EXPECT_EQ(mi.paletteId, 12u);
  EXPECT_EQ(merged.size(), dstBytes.size() + srcBytes.size() - 12);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(FrameOf(merged, mi.frames[i]), FrameOf(dstBytes, di.frames[i])) << i;
    EXPECT_EQ(FrameOf(merged, mi.frames[4 + i]), FrameOf(srcBytes, si.frames[i])) << i;
  }
  EXPECT_EQ(HandleBytes(src), srcBytes);
}

TEST(SpriteList, MergeRefusesListsThatDoNotMatch) {
  auto world = MakeWorld(40, 5, [](int x, int) { return uint8_t(1 + x); });
  std::vector<MacRect> rects = Columns(4, 10, 5);
  std::vector<MacRect> other = rects;
  other[2].right = 29;  // one frame a pixel narrower
  Compressor c;
  MHandle *a = nullptr, *b = nullptr, *three = nullptr;
  ASSERT_EQ(c.CompressSpriteList(world.get(), rects.data(), a, 4, nullptr, 0, 502), 0);
  ASSERT_EQ(c.CompressSpriteList(world.get(), other.data(), b, 4, nullptr, 0, 502), 0);
  ASSERT_EQ(c.CompressSpriteList(world.get(), rects.data(), three, 3, nullptr, 0, 502), 0);
  HandleOwner ao(a), bo(b), to(three);
  Bytes aBytes = HandleBytes(a);
  EXPECT_EQ(Compressor::MergeSpriteLists(three, a), kSpriteListCountErr);
  EXPECT_EQ(Compressor::MergeSpriteLists(b, a), kSpriteListSizeErr);
  EXPECT_EQ(HandleBytes(a), aBytes);
}

// ---- Frame rectangles -----------------------------------------------------------------------

TEST(TrimFrames, TrimsEachChosenSide) {
  // Clear except one pixel at (4, 3).
  auto world = MakeWorld(10, 8, [](int x, int y) { return uint8_t(x == 4 && y == 3 ? 9 : 0); });
  struct Case {
    uint8_t sides;
    MacRect want;
  } cases[] = {
      {15, {3, 4, 4, 5}},        {kTrimTop, {3, 0, 8, 10}},  {kTrimLeft, {0, 4, 8, 10}},
      {kTrimBottom, {0, 0, 4, 10}}, {kTrimRight, {0, 0, 8, 5}}, {0, {0, 0, 8, 10}},
  };
  Compressor c;
  for (const Case& k : cases) {
    MacRect r{0, 0, 8, 10};
    c.TrimFrames(world.get(), &r, 1, k.sides, 1);
    EXPECT_TRUE(MacEqualRect(r, k.want)) << int(k.sides) << ": " << r.top << "," << r.left << "," << r.bottom << "," << r.right;
  }
}

TEST(TrimFrames, EmptyFramesAreZeroedOnlyWhenAsked) {
  auto world = MakeWorld(10, 8, [](int x, int) { return uint8_t(x < 5 ? 0 : 3); });
  Compressor c;
  for (uint8_t sides : {uint8_t(kTrimTop), uint8_t(kTrimLeft), uint8_t(kTrimBottom), uint8_t(15)}) {
    MacRect rects[2] = {{0, 0, 8, 5}, {1, 2, 6, 9}};  // the first is all clear
    c.TrimFrames(world.get(), rects, 2, sides, 1);
    EXPECT_TRUE(MacEqualRect(rects[0], MacRect{0, 0, 0, 0})) << int(sides);
    MacRect kept[1] = {{0, 0, 8, 5}};
    c.TrimFrames(world.get(), kept, 1, sides, 0);
    EXPECT_TRUE(MacEqualRect(kept[0], MacRect{0, 0, 8, 5})) << int(sides);
  }
  MacRect r{1, 2, 6, 9};
  c.TrimFrames(world.get(), &r, 1, 15, 1);
  EXPECT_TRUE(MacEqualRect(r, MacRect{1, 5, 6, 9}));

  CompressorSettings off;
  off.flags = kCompressRepeats;
  c.SetSettings(off);
  MacRect untouched{0, 0, 8, 5};
  c.TrimFrames(world.get(), &untouched, 1, 15, 1);
  EXPECT_TRUE(MacEqualRect(untouched, MacRect{0, 0, 8, 5}));
}

TEST(TrimFrames, RectPastTheWorldIsCutFirst) {
  ScopedDebugCapture capture;
  auto world = MakeWorld(6, 6, [](int x, int y) { return uint8_t(x == 2 && y == 2 ? 4 : 0); });
  Compressor c;
  MacRect r{0, 0, 9, 9};
  c.TrimFrames(world.get(), &r, 1, kTrimBottom | kTrimRight, 0);
  EXPECT_TRUE(capture.Saw("source image size smaller than expected..."));
  EXPECT_TRUE(MacEqualRect(r, MacRect{0, 0, 3, 3}));
}

TEST(GrowFrames, WidensUntilTheBorderIsClear) {
  // A 4 x 3 block at x 3..6, y 2..4.
  auto world = MakeWorld(12, 10, [](int x, int y) { return uint8_t(x >= 3 && x < 7 && y >= 2 && y < 5 ? 8 : 0); });
  Compressor c;
  MacRect r{3, 4, 4, 5};
  c.GrowFrames(world.get(), MacRect{0, 0, 10, 12}, &r, 1, 15);
  EXPECT_TRUE(MacEqualRect(r, MacRect{2, 3, 5, 7}));
  MacRect limited{3, 4, 4, 5};
  c.GrowFrames(world.get(), MacRect{0, 4, 10, 12}, &limited, 1, 15);
  EXPECT_TRUE(MacEqualRect(limited, MacRect{2, 4, 5, 7}));
  MacRect upOnly{3, 4, 4, 5};
  c.GrowFrames(world.get(), MacRect{0, 0, 10, 12}, &upOnly, 1, kTrimTop);
  EXPECT_TRUE(MacEqualRect(upOnly, MacRect{2, 4, 4, 5}));
}

TEST(StandardWidths, PictureIdRangesAndStrips) {
  ScopedDebugCapture capture;
  EXPECT_EQ(Compressor::GetStandardWidth(10000), 8);
  EXPECT_EQ(Compressor::GetStandardWidth(14000), 24);
  EXPECT_EQ(Compressor::GetStandardWidth(25999), 128);
  EXPECT_FALSE(capture.Saw("Unknown pictID in GetStandardWidth"));
  EXPECT_EQ(Compressor::GetStandardWidth(9999), 0);
  EXPECT_EQ(Compressor::GetStandardWidth(26000), 0);
  EXPECT_EQ(capture.Count("Unknown pictID in GetStandardWidth"), 2);

  EXPECT_EQ(Compressor::StripFrameCount(10000, MacRect{0, 0, 4, 32}), 4);
  EXPECT_EQ(Compressor::StripFrameCount(10000, MacRect{0, 0, 4, 30}), 3);

  // Two 8-wide frames; the second has content only in rows 2 and 3.
  auto world = MakeWorld(16, 6, [](int x, int y) { return uint8_t(x < 8 ? 1 : (y == 2 || y == 3) ? 2 : 0); });
  Compressor c;
  MacRect rects[2];
  ASSERT_EQ(c.CutStrip(world.get(), 10000, MacRect{0, 0, 6, 16}, rects), 2);
  EXPECT_TRUE(MacEqualRect(rects[0], MacRect{0, 0, 6, 8}));
  EXPECT_TRUE(MacEqualRect(rects[1], MacRect{2, 8, 4, 16}));
}
