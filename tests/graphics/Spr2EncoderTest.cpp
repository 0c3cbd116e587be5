// SPR2 frames: exact streams for the small cases, round trips of the three encoders through
// the test decoder, refusals, and the z-buffer passes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "DebugCapture.h"
#include "EncoderTestWorld.h"
#include "Spr2Reference.h"
#include "Sprite2Compressor.h"
#include "SpriteDecoders.h"
#include "TestTempFolder.h"

using enctest::GetPixel;
using enctest::HandleBytes;
using enctest::HandleOwner;
using enctest::MakeWorld;
using enctest::SetPixel;
using enctest::WorldFromText;
using Bytes = std::vector<uint8_t>;
using World = std::unique_ptr<Offscreen>;

namespace {

MacRect Whole(Offscreen& world) {
  int32_t w, h;
  world.GetSize(w, h);
  return MacRect{0, 0, int16_t(h), int16_t(w)};
}

// The token stream (after the 16-byte header) as 16-bit words and bytes, for comparing with
// an expected list written as words.
Bytes Stream(const Bytes& frame) { return Bytes(frame.begin() + 16, frame.end()); }

// Little-endian words and single bytes, in order: W(x) is a word, plain numbers are bytes.
struct W {
  uint16_t v;
};
Bytes Le(std::initializer_list<std::variant<W, int>> items) {
  Bytes out;
  for (const auto& item : items) {
    if (std::holds_alternative<W>(item)) {
      out.push_back(uint8_t(std::get<W>(item).v));
      out.push_back(uint8_t(std::get<W>(item).v >> 8));
    } else {
      out.push_back(uint8_t(std::get<int>(item)));
    }
  }
  return out;
}

spritedec::Spr2Frame Decode(const Bytes& bytes) {
  spritedec::Spr2Frame f;
  std::string error;
  EXPECT_TRUE(spritedec::DecodeSpr2Frame(bytes.data(), bytes.size(), f, error)) << error;
  return f;
}

Bytes EncodeColor(Offscreen& world, const MacRect& rect, uint16_t paletteId = kSprite2NoPalette) {
  HandleOwner frame(EncodeSprite2Color(&world, rect, rect, paletteId));
  EXPECT_NE(frame.h, nullptr);
  return HandleBytes(frame.h);
}

}  // namespace

TEST(Sprite2Frame, ColourStreamsOfSmallCases) {
  struct Case {
    const char* name;
    std::vector<const char*> rows;
    Bytes stream;
  } cases[] = {
      {"one empty row", {"....."}, Le({W{0x0002}, W{0xA000}})},
      {"five empty rows", {"..", "..", "..", "..", ".."}, Le({W{0x8005}, W{0xA000}})},
      {"clear, run of three, trailing clear",
       {"..567."},
       Le({W{0x000A}, W{0x6002}, W{0xC003}, 5, 6, 7, 0xB0, W{0xA000}})},
      {"run of two needs no pad", {".56"}, Le({W{0x0008}, W{0x6001}, W{0xC002}, 5, 6, W{0xA000}})},
      {"two empty rows stay lines",
       {".5", "..", "..", ".5"},
       Le({W{0x0008}, W{0x6001}, W{0xC001}, 5, 0xB0, W{0x0002}, W{0x0002}, W{0x0008}, W{0x6001}, W{0xC001}, 5,
           0xB0, W{0xA000}})},
      {"three empty rows become a skip",
       {".5", "..", "..", "..", ".5"},
       Le({W{0x0008}, W{0x6001}, W{0xC001}, 5, 0xB0, W{0x8003}, W{0x0008}, W{0x6001}, W{0xC001}, 5, 0xB0,
           W{0xA000}})},
  };
  for (const Case& k : cases) {
    World world = WorldFromText(k.rows);
    Bytes frame = EncodeColor(*world, Whole(*world));
    EXPECT_EQ(Stream(frame), k.stream) << k.name;
    Decode(frame);
  }
}

TEST(Sprite2Frame, TrailingSkipIsRemovedAndLogged) {
  ScopedDebugCapture capture;
  World world = WorldFromText({".5", "..", "..", "..", ".."});
  Bytes frame = EncodeColor(*world, Whole(*world));
  EXPECT_EQ(Stream(frame), Le({W{0x0008}, W{0x6001}, W{0xC001}, 5, 0xB0, W{0xA000}}));
  EXPECT_EQ(capture.ReportCount(), 0u);  // logged, not asserted
  bool logged = false;
  for (const std::string& t : capture.Text()) logged |= t.find("skip line before end-of-sprite") != std::string::npos;
  EXPECT_TRUE(logged);
  spritedec::Spr2Frame f = Decode(frame);
  EXPECT_EQ(f.height, 5);
  EXPECT_TRUE(f.At(1, 0).visible);
  EXPECT_FALSE(f.At(1, 4).visible);
}

TEST(Sprite2Frame, HeaderFields) {
  World world = MakeWorld(20, 10, [](int x, int y) { return uint8_t(x == 0 && y == 0 ? 9 : 40 + x); });
  MacRect reference{2, 3, 10, 20};
  MacRect rect{5, 7, 8, 11};
  HandleOwner frame(EncodeSprite2Color(world.get(), reference, rect, 0x1234));
  Bytes b = HandleBytes(frame.h);
  EXPECT_EQ(Bytes(b.begin(), b.begin() + 16), Le({W{4}, W{3}, W{1}, W{0}, W{0x1234}, W{9}, W{3}, W{4}}));
  EXPECT_EQ(b.size() % 2, 0u);

  HandleOwner plain(EncodeSprite2Color(world.get(), reference, rect));
  EXPECT_EQ(HandleBytes(plain.h)[8], 0xFF);  // no palette: 0xFFFF, never the handle fill
  EXPECT_EQ(HandleBytes(plain.h)[9], 0xFF);

  // An empty rect: width, height and origins 0, and an empty stream.
  HandleOwner empty(EncodeSprite2Color(world.get(), reference, MacRect{5, 7, 5, 11}));
  Bytes e = HandleBytes(empty.h);
  EXPECT_EQ(e, Le({W{0}, W{0}, W{1}, W{0}, W{0xFFFF}, W{9}, W{0}, W{0}, W{0xA000}}));
}

namespace {

// Colour, z and alpha worlds of w x h whose pixel (0, 0) is background (z 255, alpha 0).
struct Layers {
  World colour, z, alpha;
};

Layers MakeLayers(int w, int h, const std::function<void(int, int, uint8_t&, uint8_t&, uint8_t&)>& fn) {
  Layers l;
  l.colour = MakeWorld(w, h, [](int, int) { return 0; });
  l.z = MakeWorld(w, h, [](int, int) { return 255; });
  l.alpha = MakeWorld(w, h, [](int, int) { return 0; });
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t c = 0, z = 255, a = 0;
      if (x || y) fn(x, y, c, z, a);
      SetPixel(*l.colour, x, y, c);
      SetPixel(*l.z, x, y, z);
      SetPixel(*l.alpha, x, y, a);
    }
  return l;
}

Bytes EncodeAlpha(Layers& l, const MacRect& rect, int bits) {
  HandleOwner frame(EncodeSprite2ColorZAlpha(l.colour.get(), l.z.get(), l.alpha.get(), rect, rect, bits));
  EXPECT_NE(frame.h, nullptr);
  return HandleBytes(frame.h);
}

}  // namespace

TEST(Sprite2Frame, OpaquePixelsDropTheirAlpha) {
  // Pixel 1: opaque alpha; pixel 2: not. A kRunZP(1) then a kRunZPA(1) with its pad.
  Layers l = MakeLayers(3, 1, [](int x, int, uint8_t& c, uint8_t& z, uint8_t& a) {
    c = uint8_t(19 + x);
    z = uint8_t(9 + x);
    a = x == 1 ? 255 : 100;
  });
  Bytes frame = EncodeAlpha(l, MacRect{0, 1, 1, 3}, 8);
  EXPECT_EQ(Stream(frame), Le({W{0x000C}, W{0x2001}, 10, 20, W{0x4001}, 11, 21, 100, 0xB0, W{0xA000}}));
  EXPECT_EQ(frame[4], 7);

  // Runs of kRunZPA: an odd count is padded, an even one is not.
  Layers odd = MakeLayers(4, 1, [](int x, int, uint8_t& c, uint8_t& z, uint8_t& a) {
    c = uint8_t(x);
    z = uint8_t(50 + x);
    a = uint8_t(60 + x);
  });
  EXPECT_EQ(Stream(EncodeAlpha(odd, MacRect{0, 1, 1, 4}, 8)),
            Le({W{0x000E}, W{0x4003}, 51, 1, 61, 52, 2, 62, 53, 3, 63, 0xB0, W{0xA000}}));
  EXPECT_EQ(Stream(EncodeAlpha(odd, MacRect{0, 2, 1, 4}, 8)),
            Le({W{0x000A}, W{0x4002}, 52, 2, 62, 53, 3, 63, W{0xA000}}));
}

TEST(Sprite2Frame, AlphaIsReducedToItsBits) {
  struct Case {
    int bits;
    uint8_t topLeftAlpha;
    uint8_t alpha;
    bool stored;      // written with its alpha (kRunZPA)
    uint8_t reduced;  // the alpha written
  } cases[] = {
      {4, 0, 255, false, 0},  {4, 0, 240, false, 0},   {4, 0, 239, true, 14},   {4, 0, 16, true, 1},
      {5, 0, 248, false, 0},  {5, 0, 247, true, 30},   {5, 0, 8, true, 1},      {8, 0, 255, false, 0},
      {8, 0, 254, true, 254}, {8, 15, 240, false, 0},  {8, 15, 255, true, 255}, {4, 15, 240, false, 0},
      {4, 15, 255, false, 0}, {4, 15, 239, true, 14},
  };
  for (const Case& k : cases) {
    Layers l = MakeLayers(2, 1, [&](int, int, uint8_t& c, uint8_t& z, uint8_t& a) {
      c = 7;
      z = 3;
      a = k.alpha;
    });
    SetPixel(*l.alpha, 0, 0, k.topLeftAlpha);
    spritedec::Spr2Frame f = Decode(EncodeAlpha(l, MacRect{0, 1, 1, 2}, k.bits));
    const spritedec::Spr2Pixel& p = f.At(0, 0);
    EXPECT_TRUE(p.visible);
    EXPECT_EQ(p.hasAlpha, k.stored) << k.bits << " " << int(k.alpha);
    if (k.stored) {
      EXPECT_EQ(p.alpha, k.reduced) << k.bits << " " << int(k.alpha);
    }
  }
}

TEST(Sprite2Frame, GeneratedImagesDecodeBackToTheirSource) {
  std::mt19937 rng(99);
  struct Size {
    int w, h;
  } sizes[] = {{1, 1}, {1, 120}, {90, 1}, {37, 1000}, {34, 96}, {68, 192}, {136, 384}, {200, 150}};
  for (const Size& s : sizes) {
    // Shapes over a clear background: filled discs with a band of partial alpha at the edge,
    // random depth, and empty rows and columns through them.
    const int cx = s.w / 2, cy = s.h / 2, r2 = (s.w * s.w + s.h * s.h) / 10 + 1;
    Layers l = MakeLayers(s.w + 1, s.h + 1, [&](int x, int y, uint8_t& c, uint8_t& z, uint8_t& a) {
      int d = (x - cx) * (x - cx) + (y - cy) * (y - cy);
      if (d > r2 || y % 11 == 5 || x % 17 == 3) return;
      c = uint8_t(1 + rng() % 254);
      z = uint8_t(rng() % 255);
      a = d > r2 * 3 / 4 ? uint8_t(8 + rng() % 240) : 255;
    });
    MacRect rect{1, 1, int16_t(s.h + 1), int16_t(s.w + 1)};

    HandleOwner colour(EncodeSprite2Color(l.colour.get(), MacRect{0, 0, 0, 0}, rect));
    HandleOwner depth(EncodeSprite2ColorZ(l.colour.get(), l.z.get(), MacRect{0, 0, 0, 0}, rect));
    HandleOwner alpha(EncodeSprite2ColorZAlpha(l.colour.get(), l.z.get(), l.alpha.get(), MacRect{0, 0, 0, 0}, rect, 5));
    ASSERT_NE(colour.h, nullptr);
    ASSERT_NE(depth.h, nullptr);
    ASSERT_NE(alpha.h, nullptr);
    spritedec::Spr2Frame fc = Decode(HandleBytes(colour.h));
    spritedec::Spr2Frame fz = Decode(HandleBytes(depth.h));
    spritedec::Spr2Frame fa = Decode(HandleBytes(alpha.h));
    for (const spritedec::Spr2Frame* f : {&fc, &fz, &fa}) {
      ASSERT_EQ(f->width, s.w);
      ASSERT_EQ(f->height, s.h);
      EXPECT_EQ(f->originX, 1);
      EXPECT_EQ(f->originY, 1);
      EXPECT_EQ(f->clearColour, 0);
    }
    EXPECT_EQ(fc.flags, 1u);
    EXPECT_EQ(fz.flags, 3u);
    EXPECT_EQ(fa.flags, 7u);
    for (int y = 0; y < s.h; ++y)
      for (int x = 0; x < s.w; ++x) {
        const uint8_t c = GetPixel(*l.colour, x + 1, y + 1), z = GetPixel(*l.z, x + 1, y + 1);
        const uint8_t a = uint8_t(GetPixel(*l.alpha, x + 1, y + 1) >> 3);
        spritedec::Spr2Pixel wantC, wantZ, wantA;
        if (c != 0) wantC = {true, false, c, 0, 0};
        if (z != 255) {
          wantZ = {true, false, c, z, 0};
          wantA = a == 31 ? wantZ : spritedec::Spr2Pixel{true, true, c, z, a};
        }
        ASSERT_EQ(fc.At(x, y), wantC) << s.w << "x" << s.h << " at " << x << "," << y;
        ASSERT_EQ(fz.At(x, y), wantZ) << s.w << "x" << s.h << " at " << x << "," << y;
        ASSERT_EQ(fa.At(x, y), wantA) << s.w << "x" << s.h << " at " << x << "," << y;
      }
  }
}

TEST(Sprite2Frame, FramesThatCannotBeStoredAreRefused) {
  ScopedDebugCapture capture;
  World small = MakeWorld(4, 4, [](int, int) { return 1; });
  World big = MakeWorld(5, 4, [](int, int) { return 1; });
  MacRect r{0, 0, 4, 4};
  EXPECT_EQ(EncodeSprite2ColorZ(small.get(), big.get(), r, r), nullptr);
  EXPECT_EQ(EncodeSprite2ColorZAlpha(small.get(), small.get(), big.get(), r, r, 5), nullptr);
  EXPECT_EQ(EncodeSprite2ColorZAlpha(small.get(), small.get(), small.get(), r, r, 9), nullptr);
  EXPECT_EQ(EncodeSprite2Color(small.get(), r, MacRect{0, 0, 5, 4}), nullptr);
  EXPECT_EQ(EncodeSprite2Color(small.get(), r, MacRect{-1, 0, 4, 4}), nullptr);

  // Counts and line lengths against their 13 bits: a line of kClear(1) and kRunP(n) holds 2 + 2 + 2 + n (+ pad)
  // bytes, at most 8191; a kClear counts at most 8191 pixels.
  struct Case {
    const char* name;
    int width;
    std::function<uint8_t(int)> fn;
    bool fits;
  } cases[] = {
      {"run of 8184", 8185, [](int x) { return x ? 3 : 0; }, true},
      {"run of 8185", 8186, [](int x) { return x ? 3 : 0; }, false},
      {"clear of 8191", 8192, [](int x) { return x == 8191 ? 3 : 0; }, true},
      {"clear of 8192", 8193, [](int x) { return x == 8192 ? 3 : 0; }, false},
      {"trailing clear of 8192", 8194, [](int x) { return x == 1 ? 3 : 0; }, true},
      {"empty row of 9000", 9000, [](int) { return 0; }, true},
  };
  for (const Case& k : cases) {
    World world = MakeWorld(k.width, 1, [&](int x, int) { return k.fn(x); });
    HandleOwner frame(EncodeSprite2Color(world.get(), Whole(*world), Whole(*world)));
    EXPECT_EQ(frame.h != nullptr, k.fits) << k.name;
    if (frame.h) Decode(HandleBytes(frame.h));
  }
}

TEST(Sprite2Frame, LongSkipsAreSplit) {
  for (int empty : {8191, 8193, 8198}) {
    World world = MakeWorld(2, empty + 2, [&](int x, int y) { return uint8_t(x == 1 && (y == 0 || y == empty + 1) ? 4 : 0); });
    Bytes frame = EncodeColor(*world, Whole(*world));
    spritedec::Spr2Frame f = Decode(frame);
    int skipped = 0, skips = 0;
    for (const spritedec::Spr2Token& t : f.tokens)
      if (t.code == spritedec::kSL) skipped += t.count, ++skips;
    EXPECT_EQ(skipped, empty);
    EXPECT_EQ(skips, empty > 8191 ? 2 : 1);
    EXPECT_TRUE(f.At(1, 0).visible);
    EXPECT_TRUE(f.At(1, empty + 1).visible);
    EXPECT_FALSE(f.At(1, 1).visible);
  }
}

// ---- Z-buffer passes ------------------------------------------------------------------------

TEST(CleanUpZBuffer, FillsFromTheNearestTierOfNeighbours) {
  // 3 x 3 worlds; the centre is visible (colour 5) without depth; (0, 0) holds the clear colour.
  struct Case {
    const char* name;
    uint8_t z[3][3];
    int want;
  } cases[] = {
      {"left and right", {{0, 0, 0}, {10, 255, 21}, {0, 0, 0}}, 16},
      {"up and down", {{0, 30, 0}, {0, 255, 0}, {0, 41, 0}}, 18},
      {"diagonals", {{8, 0, 8}, {0, 255, 0}, {8, 0, 9}}, 4},
      {"255 counts as a value", {{0, 0, 0}, {255, 255, 1}, {0, 0, 0}}, 128},
      {"nothing near", {{0, 0, 0}, {0, 255, 0}, {0, 0, 0}}, 255},
  };
  for (const Case& k : cases) {
    World colour = MakeWorld(3, 3, [](int x, int y) { return uint8_t(x == 1 && y == 1 ? 5 : 0); });
    World z = MakeWorld(3, 3, [&](int x, int y) { return k.z[y][x]; });
    testing::internal::CaptureStderr();
    CleanUpZBuffer(colour.get(), z.get());
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(GetPixel(*z, 1, 1), k.want) << k.name;
    EXPECT_EQ(err, k.want == 255 ? "Could not find neighboring z-value in z-clean up...throwing away pixel\n" : "")
        << k.name;
  }

  // Values filled earlier are seen by later pixels of the same row.
  World colour = MakeWorld(3, 1, [](int x, int) { return uint8_t(x ? 5 : 0); });
  World z = MakeWorld(3, 1, [](int x, int) { return uint8_t(x ? 255 : 40); });
  CleanUpZBuffer(colour.get(), z.get());
  EXPECT_EQ(GetPixel(*z, 1, 0), 148);  // (40 + 255) / 2, rounded
  EXPECT_EQ(GetPixel(*z, 2, 0), 148);
}

TEST(CleanUpZBuffer, WorldsOfOtherSizes) {
  ScopedDebugCapture capture;
  World colour = MakeWorld(3, 3, [](int, int) { return 5; });
  Offscreen none;
  CleanUpZBuffer(colour.get(), &none);
  EXPECT_EQ(capture.ReportCount(), 0u);
  World other = MakeWorld(2, 3, [](int, int) { return 255; });
  CleanUpZBuffer(colour.get(), other.get());
  EXPECT_TRUE(capture.Saw("pixel and z-buffers are different dimensions!"));
  EXPECT_EQ(GetPixel(*other, 1, 1), 255);
}

TEST(ApplyAlphaToZBuffer, ClearsDepthWhereAlphaReducesToZero) {
  World colour = MakeWorld(4, 1, [](int x, int) { return uint8_t(x ? 5 : 0); });
  World z = MakeWorld(4, 1, [](int x, int) { return uint8_t(x ? 20 : 255); });
  World alpha = MakeWorld(4, 1, [](int x, int) { return uint8_t(x == 1 ? 7 : x == 2 ? 8 : 255); });
  ApplyAlphaToZBuffer(colour.get(), z.get(), alpha.get(), 5);
  EXPECT_EQ(GetPixel(*z, 1, 0), 255);  // 7 >> 3 == 0
  EXPECT_EQ(GetPixel(*z, 2, 0), 20);
  EXPECT_EQ(GetPixel(*z, 3, 0), 20);

  ScopedDebugCapture capture;
  World narrow = MakeWorld(3, 1, [](int, int) { return 0; });
  ApplyAlphaToZBuffer(colour.get(), z.get(), narrow.get(), 5);
  EXPECT_TRUE(capture.Saw("alpha offscreen different size than z & pixels"));
  EXPECT_EQ(GetPixel(*z, 2, 0), 20);
  ApplyAlphaToZBuffer(colour.get(), z.get(), alpha.get(), 3);
  EXPECT_TRUE(capture.Saw("odd-looking alpha_bits parameters..."));
}

TEST(DebugDecodeSprite2, WritesTheDumpFile) {
  TestTempFolder folder;
  char saved[4096];
  ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
  ASSERT_EQ(chdir(folder.Path().c_str()), 0);
  Layers l = MakeLayers(4, 5, [](int x, int y, uint8_t& c, uint8_t& z, uint8_t& a) {
    if (y > 1) return;
    c = 9;
    z = 4;
    a = x == 3 ? 255 : 90;
  });
  Bytes frame = EncodeAlpha(l, MacRect{0, 0, 5, 4}, 8);
  DebugDecodeSprite2(frame.data(), frame.size());
  std::string text = TestTempFolder::ReadFile(folder / "debugdecode.txt");
  ASSERT_EQ(chdir(saved), 0);
  EXPECT_EQ(text,
            "Sprite2 Debug Decoder\nWidth = 4\nHeight = 5\nFlags = kColorData kZData kAlphaData \n"
            "Origin = (0, 0)\nClear color = 0\nPalette ID = 65535\n"
            "\n[kNL] [kClear(1)] [kRunZPA{2}] [kRunZP{1}] "
            "\n[kNL] [kRunZPA{3}] [kRunZP{1}] [kEOS]\n\n");
}

TEST(Sprite2Stream, TokensPadsAndReindexing) {
  Sprite2Stream s;
  size_t line = s.StartToken(kNL, 0);
  s.StartToken(kRunP, 3);
  s.PushByte(1);
  s.PushByte(2);
  s.PushByte(3);
  EXPECT_EQ(s.StartToken(kClear, 2), 8u);  // padded to an even offset first
  EXPECT_EQ(s.data()[7], kSprite2Pad);
  s.DropLastToken();
  EXPECT_EQ(s.size(), 8u);
  size_t end = s.StartToken(kEOS, 0);
  s.SetData(line, uint16_t(end - line));
  EXPECT_EQ(s.GetToken(line), kNL);
  EXPECT_EQ(s.GetData(line), 8);
  s.SetToken(line, kSL);
  EXPECT_EQ(s.GetToken(line), kSL);
  EXPECT_EQ(s.GetData(line), 8);
  s.SetToken(line, kNL);
  ASSERT_TRUE(s.Reindex());
  ASSERT_EQ(s.TokenCount(), 3u);
  EXPECT_EQ(s.TokenAt(0), kNL);
  EXPECT_EQ(s.TokenAt(1), kRunP);
  EXPECT_EQ(s.TokenAt(2), kEOS);
  EXPECT_EQ(s.TokenOffset(2), 8u);
}

TEST(Sprite2Frame, SelfCheckRejectsBrokenStreams) {
  World world = WorldFromText({"..567.", ".5...."});
  Bytes good = EncodeColor(*world, Whole(*world));
  ASSERT_TRUE(CheckSprite2Frame(good.data(), good.size()));
  ScopedDebugCapture capture;
  auto broken = [&](const std::function<void(Bytes&)>& change) {
    Bytes b = good;
    change(b);
    return !CheckSprite2Frame(b.data(), b.size());
  };
  EXPECT_TRUE(broken([](Bytes& b) { b[16] = 0x0C; }));           // kNL count past the next line
  EXPECT_TRUE(broken([](Bytes& b) { b[16] = 0x00; }));           // kNL count 0
  EXPECT_TRUE(broken([](Bytes& b) { b[21] = 0xC0 | 0x1F; }));    // a run far past the end
  EXPECT_TRUE(broken([](Bytes& b) { b.resize(b.size() - 2); })); // no kEOS
  EXPECT_TRUE(broken([](Bytes& b) { b.push_back(0); b.push_back(0); }));  // bytes after kEOS
  EXPECT_TRUE(broken([](Bytes& b) { b[b.size() - 1] = 0xE0; }));  // unknown token
  EXPECT_TRUE(broken([](Bytes& b) { b[19] = 0xA0; }));           // a kEOS inside a line
  EXPECT_TRUE(broken([](Bytes& b) { b[19] = 0x00; }));           // a kNL inside a line

  // A run count that is off in any line of a taller frame, whose lines are walked several at
  // a time, wherever the line falls among them. Each line starts with a kRunP(3) (column 0 is
  // the background and outside the frame).
  World tall = MakeWorld(10, 21, [](int x, int y) { return x % 4 == 0 ? 0 : 1 + (x * y) % 200; });
  Bytes tallGood = EncodeColor(*tall, MacRect{0, 1, 21, 10});
  ASSERT_TRUE(CheckSprite2Frame(tallGood.data(), tallGood.size()));
  std::vector<size_t> firstRuns;  // the first token after each kNL
  for (size_t at = 16; at + 2 <= tallGood.size() && (tallGood[at + 1] & 0xE0) == 0;
       at += size_t(tallGood[at] | (tallGood[at + 1] & 0x1F) << 8))
    firstRuns.push_back(at + 2);
  ASSERT_EQ(firstRuns.size(), 21u);
  for (size_t line : {0, 6, 7, 8, 12, 16, 20}) {
    ASSERT_EQ(tallGood[firstRuns[line]], 3);
    for (int count : {1, 31}) {  // a parity error; a walk past the line end
      Bytes b = tallGood;
      b[firstRuns[line]] = uint8_t(count);
      EXPECT_FALSE(CheckSprite2Frame(b.data(), b.size())) << "line " << line << " count " << count;
    }
  }

  // The dump stops at the first token it cannot read.
  TestTempFolder folder;
  char saved[4096];
  ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
  ASSERT_EQ(chdir(folder.Path().c_str()), 0);
  DebugDecodeSprite2(good.data(), good.size() - 2);
  std::string text = TestTempFolder::ReadFile(folder / "debugdecode.txt");
  ASSERT_EQ(chdir(saved), 0);
  EXPECT_NE(text.find("[kRunP{3}] \n[kNL] "), std::string::npos) << text;
  EXPECT_EQ(text.substr(text.size() - 18), "[BAD TOKEN DATA!]\n");
}

// ---- The encoder against its reference ------------------------------------------------------

namespace {

// Frame kinds for the byte-for-byte comparison: fn(x, y, rng, colour, z, alpha) paints every
// pixel but (0, 0), which stays background (colour 0, z 255, alpha 0) unless `corner` says
// otherwise.
using Painter = std::function<void(int, int, std::mt19937&, uint8_t&, uint8_t&, uint8_t&)>;

// Visible with z below 255 and an alpha whose 5-bit reduction is not 0.
void Visible(std::mt19937& rng, uint8_t& c, uint8_t& z, uint8_t& a, bool opaque) {
  c = uint8_t(1 + rng() % 250);
  z = uint8_t(rng() % 255);
  a = opaque ? uint8_t(248 + rng() % 8) : uint8_t(8 + rng() % 240);
}

}  // namespace

TEST(Sprite2Frame, BytesMatchTheReferenceEncoderOverFrameKinds) {
  struct Kind {
    const char* name;
    int w, h;
    Painter paint;
  } kinds[] = {
      {"all background", 23, 9, [](int, int, std::mt19937&, uint8_t&, uint8_t&, uint8_t&) {}},
      {"all opaque", 40, 6,
       [](int, int, std::mt19937& rng, uint8_t& c, uint8_t& z, uint8_t& a) { Visible(rng, c, z, a, true); }},
      {"noise: every pixel picks its class", 97, 31,
       [](int, int, std::mt19937& rng, uint8_t& c, uint8_t& z, uint8_t& a) {
         int k = int(rng() % 3);
         if (k) Visible(rng, c, z, a, k == 1);
       }},
      {"dither over shapes with empty bands", 130, 60,
       [](int x, int y, std::mt19937& rng, uint8_t& c, uint8_t& z, uint8_t& a) {
         if ((x - 60) * (x - 60) + (y - 25) * (y - 25) > 900 || (y >= 40 && y < 47) || y == 50) return;
         Visible(rng, c, z, a, rng() & 1);
       }},
      {"classes alternating every pixel", 64, 3,
       [](int x, int y, std::mt19937& rng, uint8_t& c, uint8_t& z, uint8_t& a) {
         int k = (x + y) % 3;
         if (k) Visible(rng, c, z, a, k == 1);
       }},
      {"runs of 1 to 20 pixels", 300, 4,
       [](int x, int y, std::mt19937& rng, uint8_t& c, uint8_t& z, uint8_t& a) {
         int run = 0, start = 0, k = 0;
         while (start + run + 1 <= x) start += ++run;  // runs of 1, 2, 3, ... pixels
         k = (run + y) % 3;
         if (k) Visible(rng, c, z, a, k == 1);
       }},
      {"rows of long and short runs mixed", 200, 12,
       [](int x, int y, std::mt19937& rng, uint8_t& c, uint8_t& z, uint8_t& a) {
         bool noisy = (y % 3 == 0) ? x < 100 : (y % 3 == 1) ? x >= 150 : false;
         int k = noisy ? int(rng() % 3) : (x / 37) % 3;
         if (k) Visible(rng, c, z, a, k == 1);
       }},
      {"visible only at the row ends", 50, 8,
       [](int x, int, std::mt19937& rng, uint8_t& c, uint8_t& z, uint8_t& a) {
         if (x == 49 || x == 1) Visible(rng, c, z, a, x == 49);
       }},
      {"empty rows at the top, between and at the bottom", 20, 30,
       [](int x, int y, std::mt19937& rng, uint8_t& c, uint8_t& z, uint8_t& a) {
         if (y < 4 || (y >= 10 && y < 12) || (y >= 15 && y < 18) || y >= 22 || x % 4 == 0) return;
         Visible(rng, c, z, a, x % 3 == 0);
       }},
      {"alpha reducing to 0 where visible", 30, 5,
       [](int x, int, std::mt19937& rng, uint8_t& c, uint8_t& z, uint8_t& a) {
         Visible(rng, c, z, a, false);
         if (x % 7 == 0) a = uint8_t(rng() % 8);
       }},
      {"smooth disc with anti-aliased edges and depth bands", 71, 45,
       [](int x, int y, std::mt19937&, uint8_t& c, uint8_t& z, uint8_t& a) {
         const int d2 = (x - 35) * (x - 35) + (y - 22) * (y - 22);
         if (d2 > 21 * 21) return;
         const bool edge = d2 > 19 * 19;
         c = uint8_t(40 + d2 / 90);
         z = uint8_t(30 + d2 / 60);
         a = edge ? uint8_t(255 - (d2 - 19 * 19)) : 255;
       }},
      {"partly transparent pixels only in some 64-pixel spans, which change from row to row", 260, 9,
       [](int x, int y, std::mt19937& rng, uint8_t& c, uint8_t& z, uint8_t& a) {
         if ((x / 64 + y) % 2 == 0 && x % 5 == 0) {
           Visible(rng, c, z, a, false);
         } else if ((x + y) % 7 != 0) {
           Visible(rng, c, z, a, true);
         }
       }},
      {"one pixel wide", 1, 40,
       [](int, int y, std::mt19937& rng, uint8_t& c, uint8_t& z, uint8_t& a) {
         if (y % 5) Visible(rng, c, z, a, y % 3 == 0);
       }},
      {"colour equal to the background but with depth", 33, 7,
       [](int x, int, std::mt19937& rng, uint8_t& c, uint8_t& z, uint8_t& a) {
         Visible(rng, c, z, a, x & 1);
         if (x % 3 == 0) c = 0;
         if (x % 5 == 0) z = 255;
       }},
  };
  std::mt19937 rng(2718);
  for (const Kind& k : kinds) {
    for (uint8_t corner : {uint8_t(0), uint8_t(7)}) {  // the top-left alpha sets the opaque value
      Layers l = MakeLayers(k.w + 2, k.h + 2, [&](int x, int y, uint8_t& c, uint8_t& z, uint8_t& a) {
        if (x > k.w || y > k.h) return;
        k.paint(x - 1, y - 1, rng, c, z, a);
      });
      SetPixel(*l.alpha, 0, 0, corner);
      const MacRect whole{1, 1, int16_t(k.h + 1), int16_t(k.w + 1)};
      std::vector<MacRect> rects = {whole, Whole(*l.colour), MacRect{1, 1, 2, 2}, MacRect{3, 3, 3, 9}};
      for (int i = 0; i < 6; ++i) {
        int16_t top = int16_t(rng() % (k.h + 2)), left = int16_t(rng() % (k.w + 2));
        rects.push_back(MacRect{top, left, int16_t(top + 1 + rng() % (k.h + 2 - top)),
                                int16_t(left + 1 + rng() % (k.w + 2 - left))});
      }
      for (const MacRect& r : rects) {
        const MacRect ref{0, 0, 0, 0};
        std::string where = std::string(k.name) + " corner " + std::to_string(corner) + " rect " +
                            std::to_string(r.top) + "," + std::to_string(r.left) + "," + std::to_string(r.bottom) +
                            "," + std::to_string(r.right);
        auto same = [&](MHandle* got, MHandle* want, const char* encoder) {
          HandleOwner g(got), w(want);
          ASSERT_EQ(g.h != nullptr, w.h != nullptr) << encoder << ": " << where;
          if (g.h) {
            EXPECT_EQ(HandleBytes(g.h), HandleBytes(w.h)) << encoder << ": " << where;
          }
        };
        same(EncodeSprite2Color(l.colour.get(), ref, r, 3), spr2ref::EncodeColor(l.colour.get(), ref, r, 3),
             "colour");
        same(EncodeSprite2ColorZ(l.colour.get(), l.z.get(), ref, r), spr2ref::EncodeColorZ(l.colour.get(), l.z.get(), ref, r),
             "colour+z");
        for (int bits : {4, 5, 8}) {
          ScopedDebugCapture capture;  // alpha reducing to 0 asserts in both
          size_t before = capture.ReportCount();
          MHandle* got = EncodeSprite2ColorZAlpha(l.colour.get(), l.z.get(), l.alpha.get(), ref, r, bits);
          size_t mine = capture.ReportCount() - before;
          MHandle* want = spr2ref::EncodeColorZAlpha(l.colour.get(), l.z.get(), l.alpha.get(), ref, r, bits);
          EXPECT_EQ(mine, capture.ReportCount() - before - mine) << "assertions, bits " << bits << ": " << where;
          same(got, want, "colour+z+alpha");
        }
      }
    }
  }
}

TEST(Sprite2Frame, WideRowsMatchTheReferenceEncoder) {
  // Rows past 8191 pixels take the run-by-run way with its count checks, noisy or not; lines
  // past 8191 bytes are refused alike.
  std::mt19937 rng(31);
  struct Case {
    const char* name;
    int w;
    std::function<int(int)> kind;  // 0 clear, 1 opaque, 2 partly transparent
  } cases[] = {
      {"noisy, short", 8000, [&](int) { return int(rng() % 3); }},
      {"noisy, wide", 8300, [&](int) { return int(rng() % 3); }},
      {"sparse dots, wide", 9000, [](int x) { return x % 97 == 0 ? 2 : 0; }},
      {"long clear then a dot", 8500, [](int x) { return x == 8400 ? 1 : 0; }},
      {"dots every 3", 8190, [](int x) { return x % 3 == 0 ? 1 : 0; }},
      {"clear run of the largest count, then a dot", 8193, [](int x) { return x == 8192 ? 2 : 0; }},
      {"clear run one past the largest count, then a dot", 8194, [](int x) { return x == 8193 ? 1 : 0; }},
      {"opaque run up to the longest line", 4094, [](int x) { return x <= 4093 ? 1 : 0; }},
      {"opaque run one past the longest line", 4096, [](int) { return 1; }},
  };
  for (const Case& k : cases) {
    Layers l = MakeLayers(k.w + 1, 2, [&](int x, int, uint8_t& c, uint8_t& z, uint8_t& a) {
      int kind = k.kind(x);
      if (kind) Visible(rng, c, z, a, kind == 1);
    });
    const MacRect r{1, 1, 2, int16_t(k.w + 1)};
    ScopedDebugCapture capture;
    for (int bits : {5, 8}) {
      HandleOwner got(EncodeSprite2ColorZAlpha(l.colour.get(), l.z.get(), l.alpha.get(), r, r, bits));
      HandleOwner want(spr2ref::EncodeColorZAlpha(l.colour.get(), l.z.get(), l.alpha.get(), r, r, bits));
      ASSERT_EQ(got.h != nullptr, want.h != nullptr) << k.name;
      if (got.h) {
        EXPECT_EQ(HandleBytes(got.h), HandleBytes(want.h)) << k.name;
      }
    }
    HandleOwner got(EncodeSprite2Color(l.colour.get(), r, r));
    HandleOwner want(spr2ref::EncodeColor(l.colour.get(), r, r));
    ASSERT_EQ(got.h != nullptr, want.h != nullptr) << k.name;
    if (got.h) {
      EXPECT_EQ(HandleBytes(got.h), HandleBytes(want.h)) << k.name;
    }
  }
}
