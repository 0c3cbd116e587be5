// The output of a whole graphics build, pinned: the real morvik program compiles a fixed object
// made here (smooth and noisy 32-bit sheets with depth and alpha images, a mask, a 24-bit
// sheet, a sheet matched to a raw palette, draw groups) into an object file, and the test
// compares a digest of the file's resources (each one's type, id, name and data, in type and
// id order) and of the log with the digests recorded before the build's reading, encoding and
// writing were reworked for speed. Where the resources lie in the file is not pinned: a build
// that writes fewer blocks lays them out otherwise. A second build of changed art into the
// same file pins the replacement of resources too.
//
// When the digests differ on purpose (a change of what the build writes), the new values are
// printed by the failing expectation.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "DebugCapture.h"
#include "SpriteThreadPlan.h"
#include "IFFResFile2.h"
#include "ObjectBuilder.h"
#include "ImageWriters.h"
#include "StringBuffer.h"
#include "TestTempFolder.h"

namespace {

// 64-bit FNV-1a, printed as 16 hex digits.
std::string Digest(const std::string& bytes) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 0x100000001b3ull;
  }
  char text[17];
  snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
  return text;
}

// A small deterministic generator (the standard distributions are not portable).
struct Lcg {
  uint32_t state;
  uint32_t Next() {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  }
};

std::vector<TestRGB> Palette() {
  std::vector<TestRGB> p(256);
  for (int i = 0; i < 256; i++) p[i] = {uint8_t(i), uint8_t((i * 5) & 255), uint8_t(255 - i)};
  p[0] = {0, 0, 255};
  return p;
}

const int kLarge = 32;  // cells of 32, 16 and 8 pixels

// A sheet of `columns` x `rows` cells, each a large, a medium and a small view side by side.
TestSheet CellSheet(int columns, int rows, int large = kLarge) {
  return TestSheet(columns * (large + large / 2 + large / 4), rows * large);
}

// Every cell gets a disc; `noisy` makes depth and alpha change from pixel to pixel inside it
// (dithered art), otherwise they follow the disc smoothly. Colours and alpha may also be set
// on clear pixels around the disc, as renderers leave them.
TestSheet MakeSheet(int columns, int rows, uint32_t seed, bool noisy, int large = kLarge) {
  TestSheet s = CellSheet(columns, rows, large);
  Lcg rng{seed};
  for (int row = 0; row < rows; row++) {
    int left = 0;
    for (int size = large; size >= large / 4; left += columns * size, size /= 2) {
      for (int c = 0; c < columns; c++) {
        const int x0 = left + c * size;
        const int y0 = row * large;
        const int r = size / 2 - 1 - (c % 2);
        for (int y = 0; y < size; y++) {
          for (int x = 0; x < size; x++) {
            const size_t at = size_t(y0 + y) * s.width + x0 + x;
            const int dx = x - size / 2, dy = y - size / 2;
            const int d2 = dx * dx + dy * dy;
            if (d2 > r * r) {
              if (rng.Next() % 7 == 0) s.index[at] = uint8_t(rng.Next());  // stray colour
              continue;
            }
            s.index[at] = uint8_t(16 + (seed + row * 11 + c * 5 + d2 / 8) % 200);
            if (noisy) {
              s.depth[at] = uint8_t(rng.Next() % 250);
              s.alpha[at] = uint8_t(rng.Next() % 3 == 0 ? 255 : rng.Next());
            } else {
              s.depth[at] = uint8_t(40 + d2 * 150 / (r * r + 1));
              s.alpha[at] = d2 > (r - 1) * (r - 1) ? 128 : 255;
            }
          }
        }
      }
    }
  }
  return s;
}

std::vector<uint8_t> Tga(const TestSheet& s, const std::vector<TestRGB>& palette, int bits, bool topFirst) {
  TGAWriteOptions o;
  o.bits = bits;
  o.topToBottom = topFirst;
  return WriteSheetTGA(s, palette, o);
}

std::vector<uint8_t> AlphaTga(const TestSheet& s) { return WriteSheetAlphaTGA(s); }

// The art of the object; `round` 1 changes the noisy sheet and the matched one, so that the
// second build replaces some sprites with lists of other sizes.
void WriteArt(const TestTempFolder& dir, int round) {
  const std::vector<TestRGB> pal = Palette();
  const TestSheet smooth = MakeSheet(4, 2, 7, false);
  dir.WriteFile("art/smooth.tga", Tga(smooth, pal, 32, true));
  dir.WriteFile("art/smooth.bmp", WriteSheetBMP8(smooth, pal));
  dir.WriteFile("art/smoothalpha.tga", AlphaTga(smooth));

  const TestSheet noisy = MakeSheet(4, 2, 11 + 100 * round, true);
  dir.WriteFile("art/noisy.tga", Tga(noisy, pal, 32, false));
  dir.WriteFile("art/noisy.bmp", WriteSheetBMP8(noisy, pal));
  dir.WriteFile("art/noisyalpha.tga", AlphaTga(noisy));

  const TestSheet depthOnly = MakeSheet(2, 2, 23, false);
  dir.WriteFile("art/depth.tga", Tga(depthOnly, pal, 32, false));
  dir.WriteFile("art/depth.bmp", WriteSheetBMP8(depthOnly, pal));

  TestSheet mask = CellSheet(4, 1);
  for (size_t i = 0; i < mask.index.size(); i++) mask.index[i] = (i % mask.width) % 5 == 0 ? 0 : 1;
  dir.WriteFile("art/mask.bmp", WriteSheetBMP8(mask, pal));

  const TestSheet flat = MakeSheet(4, 1, 31, false);
  dir.WriteFile("art/flat.tga", Tga(flat, pal, 24, false));
  dir.WriteFile("art/flat.bmp", WriteSheetBMP8(flat, pal));

  // Colours off the palette, matched to a raw palette file.
  TestSheet matched = MakeSheet(1, 1, 43 + 100 * round, true);
  std::vector<TestRGB> shifted = pal;
  for (TestRGB& c : shifted) c = {uint8_t(c.r ^ 3), uint8_t(c.g + 9), uint8_t(c.b >> 1)};
  dir.WriteFile("art/matched.tga", Tga(matched, shifted, 32, true));
  dir.WriteFile("art/matched.bmp", WriteRawPalette(pal));
}

const char kSpec[] =
    "<sizes lwidth=32 lheight=32 mwidth=16 mheight=16 swidth=8 sheight=8>\n"
    "<sprite id=200 name=smooth-a tgafile=smooth.tga paletteid=1>\n"
    "<sprite id=201 name=smooth-b tgafile=smooth.tga columns=4 paletteid=1 mask=mask.bmp>\n"
    "<sprite id=300 name=noisy-a tgafile=noisy.tga paletteid=1>\n"
    "<sprite id=301 name=noisy-b tgafile=noisy.tga paletteid=1 shrink=top>\n"
    "<sprite id=400 name=depth-a tgafile=depth.tga columns=2 symmetry=bi-lateral pairing=1 paletteid=2>\n"
    "<sprite id=401 name=depth-b tgafile=depth.tga columns=2 symmetry=bi-lateral pairing=1 paletteid=2>\n"
    "<sprite id=500 name=flat tgafile=flat.tga paletteid=3>\n"
    "<sprite id=600 name=matched tgafile=matched.tga columns=1 symmetry=radial paletteid=4>\n"
    "<drawgroup id=100 name=all ordering=fixed>\n"
    "<item sprite id=200>\n<item sprite id=300 alt=1.5 x=0.5 y=-0.25>\n<item sprite id=500>\n<item sprite id=401>\n"
    "<drawgroup id=101 name=others ordering=obscured>\n"
    "<item sprite id=201>\n<item sprite id=301>\n<item sprite id=400>\n"
    "<item sprite id=600 \"direction offset\"=2 luminous=true>\n";

// The digest of every resource of the object file at `path`: type, id, name and data, sorted by
// type and id.
std::string ResourceDigest(const std::string& path) {
  IFFResFile2 file;
  FixedStringBuffer<260> p(path.c_str());
  EXPECT_EQ(file.Open(p), 0);
  std::vector<std::string> records;
  for (int16_t t = 1; t <= file.CountTypes(); t++) {
    const uint32_t type = file.GetIndType(uint16_t(t));
    for (int16_t i = 1; i <= file.Count(type); i++) {
      MHandle* h = file.GetIndResource(type, uint16_t(i));
      EXPECT_NE(h, nullptr);
      if (h == nullptr) continue;
      int16_t id = 0;
      file.GetResID(h, id);
      FixedStringBuffer<64> name;
      file.GetResName(h, name);
      char key[32];
      snprintf(key, sizeof key, "%08x %+06d ", static_cast<unsigned>(type), static_cast<int>(id));
      std::string record = std::string(key) + name.c_str() + '\0';
      record.append(static_cast<const char*>(HLock(h)), size_t(HGetSize(h)));
      HUnlock(h);
      file.DetachAndDispose(h);
      records.push_back(record);
    }
  }
  std::sort(records.begin(), records.end());
  std::string all;
  for (const std::string& record : records) all += std::to_string(record.size()) + ":" + record;
  return Digest(all);
}

struct BuildRun {
  int exit = -1;
  std::string log;  // standard output, then the standard error lines after the version line
  std::string file;
  std::string resources;  // ResourceDigest of the file
};

BuildRun Build(const TestTempFolder& dir) {
  const std::string out = dir / "stdout.txt";
  const std::string err = dir / "stderr.txt";
  const std::string cmd = std::string("'") + MORVIK_PATH + "' '" + (dir / "obj.iff") + "' -spec '" +
                          (dir / "obj.omk") + "' -graphics '" + (dir / "art/") +
                          "' -printdgrps >'" + out + "' 2>'" + err + "'";
  const int status = std::system(cmd.c_str());
  BuildRun r;
  r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  // The first line of the error stream carries the program's build date and time.
  const std::string errText = TestTempFolder::ReadFile(err);
  const size_t firstLine = errText.find('\n');
  EXPECT_EQ(errText.rfind("Morvik version built ", 0), 0u) << errText;
  r.log = TestTempFolder::ReadFile(out) + "--\n" +
          (firstLine == std::string::npos ? std::string() : errText.substr(firstLine + 1));
  r.file = TestTempFolder::ReadFile(dir / "obj.iff");
  r.resources = ResourceDigest(dir / "obj.iff");
  return r;
}

TEST(BuildDigest, FixedObjectBuildsToTheRecordedBytesAndLog) {
  TestTempFolder dir;
  {
    IFFResFile2 file;
    FixedStringBuffer<260> path((dir / "obj.iff").c_str());
    ASSERT_EQ(file.Create(path), 0);
  }
  dir.WriteFile("obj.omk", std::string(kSpec));

  struct Expected {
    const char* file;  // the resources' digest
    const char* log;
  };
  const Expected expected[] = {
      {"9fef6bbf4bec4159", "a877f6662eca89fd"},  // a fresh object file
      {"9b9d9eb595cdc3ad", "a877f6662eca89fd"},  // the same file built again with changed art
  };
  for (int round = 0; round < 2; round++) {
    SCOPED_TRACE("build " + std::to_string(round + 1));
    WriteArt(dir, round);
    const BuildRun r = Build(dir);
    ASSERT_EQ(r.exit, 0) << r.log;
    EXPECT_GT(r.file.size(), 64u);
    EXPECT_EQ(r.resources, expected[round].file);
    EXPECT_EQ(Digest(r.log), expected[round].log) << r.log;
  }
}

// With several threads the next sheet is loaded while the current one is compressed, and a
// sprite's frames are encoded side by side: with one thread and with several the build writes
// the same file, the same log and the same debug text, also when a later sheet is damaged (the
// build ends at it with the same error), when the depth clean-up reports pixels, which it does
// as it loads, and when the encoder reports on a frame (clear bottom rows, a refused frame).
// Builds in this process, standard error and the debug text captured.
struct InProcessRun {
  int32_t result = 0;
  std::string log;
  std::string debug;
  std::string file;
};

InProcessRun BuildInProcess(const TestTempFolder& dir, int32_t threads) {
  std::remove((dir / "obj.iff").c_str());
  {
    IFFResFile2 file;
    FixedStringBuffer<260> path((dir / "obj.iff").c_str());
    EXPECT_EQ(file.Create(path), 0);
  }
  const int32_t oldThreads = GetSpriteThreads();
  const int64_t oldWork = GetSpriteThreadWork();
  SetSpriteThreads(threads);
  // The objects here are small: threads are asked for whatever the work, so that the
  // several-thread builds take the loaders' and the pool's road.
  SetSpriteThreadWork(0);
  FILE* log = tmpfile();
  FILE* err = tmpfile();
  fflush(stderr);
  const int savedErr = dup(2);
  dup2(fileno(err), 2);
  InProcessRun r;
  ScopedDebugCapture debug;
  {
    ObjectBuilder builder;
    builder.fObjectFile.assign((dir / "obj.iff").c_str());
    builder.fAttributesFile.assign((dir / "obj.omk").c_str());
    builder.fMakeGraphics = 1;
    builder.fGraphicsDir.assign((dir / "art/").c_str());
    builder.fLogFile = log;
    FILE* const oldLog = gLogStream;  // Run makes `log` the log stream; it is closed below
    r.result = builder.Run();
    gLogStream = oldLog;
  }
  fflush(stderr);
  dup2(savedErr, 2);
  close(savedErr);
  SetSpriteThreads(oldThreads);
  SetSpriteThreadWork(oldWork);
  for (FILE* f : {log, err}) {
    fflush(f);
    rewind(f);
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) r.log.append(buffer, n);
    r.log += "--\n";
    fclose(f);
  }
  for (const std::string& piece : debug.Text()) r.debug += piece;
  r.file = TestTempFolder::ReadFile(dir / "obj.iff");
  return r;
}

void ExpectSameBuild(const InProcessRun& several, const InProcessRun& one) {
  EXPECT_EQ(several.result, one.result);
  EXPECT_EQ(Digest(several.file), Digest(one.file));
  EXPECT_EQ(several.log, one.log);
  EXPECT_EQ(several.debug, one.debug);
}

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) n++;
  return n;
}

TEST(BuildDigest, OneThreadAndSeveralBuildTheSameFileAndLog) {
  TestTempFolder dir;
  dir.WriteFile("obj.omk", std::string(kSpec));
  WriteArt(dir, 0);
  // Two more sheets that load cleanly, one after the other, and one whose clean-up reports a
  // pixel without depth around it, each with a palette of its own; their cells are large
  // enough for the sheets to be loaded ahead and the frames encoded on the pool.
  const int large = 64;
  const std::vector<TestRGB> pal = Palette();
  for (const char* name : {"more", "other", "lonely"}) {
    TestSheet sheet = MakeSheet(4, 2, uint32_t(name[0]), false, large);
    for (uint8_t& z : sheet.depth)
      if (z == 255) z = 254;  // no stray colour is left without depth
    if (name[0] == 'l') {
      const size_t at = sheet.At(0, 0);
      sheet.index[at] = 0;
      sheet.index[sheet.At(1, 1)] = 77;
      for (int y = 0; y < 3; y++)
        for (int x = 0; x < 3; x++)
          sheet.depth[sheet.At(x, y)] = x == 1 && y == 1 ? 255 : 0;
    }
    std::vector<TestRGB> own = pal;  // each sheet's palette of its own
    for (TestRGB& c : own) c.g = uint8_t(c.g ^ name[0]);
    dir.WriteFile(std::string("art/") + name + ".tga", Tga(sheet, own, 32, false));
    dir.WriteFile(std::string("art/") + name + ".bmp", WriteSheetBMP8(sheet, own));
  }
  // Cells whose bottom rows are clear: the encoder says so in the debug text, from the pool's
  // thread unless the result is made again.
  TestSheet clear(4 * (large + large / 2 + large / 4), 2 * large);
  for (int y = 0; y < clear.height; y++) {
    for (int x = 0; x < clear.width; x++) {
      const int inCell = y % large;
      if (inCell >= large / 8) continue;  // only the top rows of each sprite row hold pixels
      clear.index[clear.At(x, y)] = uint8_t(16 + (x + y) % 100);
      clear.depth[clear.At(x, y)] = uint8_t((x * 3 + y) % 250);
    }
  }
  dir.WriteFile("art/clear.tga", Tga(clear, pal, 32, false));
  dir.WriteFile("art/clear.bmp", WriteSheetBMP8(clear, pal));
  const std::string more =
      "<sizes lwidth=64 lheight=64 mwidth=32 mheight=32 swidth=16 sheight=16>\n"
      "<sprite id=700 name=more-a tgafile=more.tga paletteid=5>\n"
      "<sprite id=701 name=other tgafile=other.tga paletteid=5>\n"
      "<sprite id=702 name=more-b tgafile=more.tga paletteid=6>\n"
      "<sprite id=703 name=lonely tgafile=lonely.tga paletteid=6>\n"
      "<sprite id=704 name=other-b tgafile=other.tga paletteid=6>\n"
      "<sprite id=705 name=other-c tgafile=other.tga shrink=top paletteid=7>\n"
      "<sprite id=706 name=clear-a tgafile=clear.tga paletteid=7>\n"
      "<sprite id=707 name=clear-b tgafile=clear.tga paletteid=8>\n";
  dir.WriteFile("obj.omk", std::string(kSpec) + more);
  const InProcessRun one = BuildInProcess(dir, 1);
  ASSERT_EQ(one.result, 0) << one.log;
  EXPECT_NE(one.log.find("Rendering file other.tga..."), std::string::npos);
  EXPECT_NE(one.log.find("Could not find neighboring z-value"), std::string::npos) << one.log;
  EXPECT_NE(one.debug.find("SPR2: skip line before end-of-sprite removed"), std::string::npos)
      << one.debug;
  for (int32_t threads : {2, 4}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    ExpectSameBuild(BuildInProcess(dir, threads), one);
  }
  // An object of one sheet is built on the frame pool (no sheet to load ahead): the encoder's
  // report about the clear rows comes from a pool thread there, and is said once, in its place.
  const std::string clearOnly =
      "<sizes lwidth=64 lheight=64 mwidth=32 mheight=32 swidth=16 sheight=16>\n"
      "<sprite id=706 name=clear-a tgafile=clear.tga paletteid=7>\n"
      "<sprite id=707 name=clear-b tgafile=clear.tga paletteid=8>\n";
  dir.WriteFile("obj.omk", clearOnly);
  {
    const InProcessRun clearOne = BuildInProcess(dir, 1);
    ASSERT_EQ(clearOne.result, 0) << clearOne.log;
    EXPECT_NE(clearOne.debug.find("SPR2: skip line before end-of-sprite removed"),
              std::string::npos);
    for (int32_t threads : {2, 4}) {
      SCOPED_TRACE(std::to_string(threads) + " threads, one sheet");
      ExpectSameBuild(BuildInProcess(dir, threads), clearOne);
    }
  }
  dir.WriteFile("obj.omk", std::string(kSpec) + more);

  // A frame the encoder refuses (a line of more bytes than its count holds) ends the builds
  // at the same place, the refusal said once.
  {
    const int wide = 4200;
    TestSheet sheet(wide + wide / 2 + wide / 4, 4);
    for (size_t i = 0; i < sheet.index.size(); i++) {
      sheet.index[i] = uint8_t(16 + i % 200);
      sheet.depth[i] = uint8_t(i % 250);
    }
    dir.WriteFile("art/wide.tga", Tga(sheet, pal, 32, false));
    dir.WriteFile("art/wide.bmp", WriteSheetBMP8(sheet, pal));
    dir.WriteFile("obj.omk", std::string(kSpec) + more +
                                 "<sizes lwidth=4200 lheight=4 mwidth=2100 mheight=2 swidth=1050 "
                                 "sheight=1>\n<sprite id=708 name=wide tgafile=wide.tga columns=1>\n");
    const InProcessRun refusedOne = BuildInProcess(dir, 1);
    EXPECT_NE(refusedOne.result, 0);
    EXPECT_NE(refusedOne.log.find("could not encode sprite frame"), std::string::npos)
        << refusedOne.log;
    EXPECT_EQ(Occurrences(refusedOne.debug, "SPR2 frame refused"), 1u) << refusedOne.debug;
    ExpectSameBuild(BuildInProcess(dir, 4), refusedOne);
    // The same frame refused on a pool thread, in an object of that sheet alone.
    dir.WriteFile("obj.omk",
                  "<sizes lwidth=4200 lheight=4 mwidth=2100 mheight=2 swidth=1050 sheight=1>\n"
                  "<sprite id=708 name=wide tgafile=wide.tga columns=1>\n");
    const InProcessRun wideOne = BuildInProcess(dir, 1);
    EXPECT_NE(wideOne.result, 0);
    EXPECT_EQ(Occurrences(wideOne.debug, "SPR2 frame refused"), 1u) << wideOne.debug;
    ExpectSameBuild(BuildInProcess(dir, 4), wideOne);
    dir.WriteFile("obj.omk", std::string(kSpec) + more);
  }

  // A sheet cut short (refused when it is opened) ends the builds at the same place.
  std::string cut = TestTempFolder::ReadFile(dir / "art/other.tga");
  cut.resize(cut.size() / 2);
  dir.WriteFile("art/other.tga", cut);
  const InProcessRun cutOne = BuildInProcess(dir, 1);
  EXPECT_NE(cutOne.result, 0);
  EXPECT_NE(cutOne.log.find("could not open tga file"), std::string::npos) << cutOne.log;
  ExpectSameBuild(BuildInProcess(dir, 4), cutOne);
}

}  // namespace
