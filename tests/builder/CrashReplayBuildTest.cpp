// Graphics rebuilds cut short: a rebuild that replaces every sprite and palette of an object,
// replayed at every state a kill or a power loss could leave; the real morvik program killed
// at random moments of such a rebuild; a rebuild that fails on a damaged object file; and a
// new object made from a template, replayed at every state a kill could leave.
// Each time the object file must open with every resource exactly once, holding its data
// from before the rebuild or from after it, and lose nothing it held.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "CrashReplay.h"
#include "DebugCapture.h"
#include "IFFResFile2.h"
#include "ImageWriters.h"
#include "MHandle.h"
#include "ObjDefinition.h"
#include "ObjectBuilder.h"
#include "SpecTestSupport.h"
#include "StringBuffer.h"
#include "TestTempFolder.h"

using namespace crashreplay;

namespace {

constexpr uint32_t kSPR2 = MakeResType('S', 'P', 'R', '2');
constexpr uint32_t kPALT = MakeResType('P', 'A', 'L', 'T');
constexpr uint32_t kDGRP = MakeResType('D', 'G', 'R', 'P');

const char kSpec[] =
    "<sizes lwidth=16 lheight=16 mwidth=8 mheight=8 swidth=4 sheight=4>\n"
    "<sprite id=100 name=one tgafile=one.tga paletteid=1>\n"
    "<sprite id=101 name=two tgafile=two.tga paletteid=2>\n"
    "<drawgroup id=10 name=both>\n<item sprite id=100>\n<item sprite id=101>\n";

// The art of both sprites, a sheet of four views with a palette of its own each; every pixel
// and every colour differs from one `round` to the next.
void WriteArt(const TestTempFolder& dir, int round) {
  const int columns = 4;
  for (int sprite = 0; sprite < 2; ++sprite) {
    TestSheet sheet(columns * (16 + 8 + 4), 16);
    int left = 0;
    for (int size = 16; size >= 4; size /= 2) {
      for (int v = 0; v < columns; ++v) {
        for (int y = size / 8; y < size - size / 8; ++y) {
          for (int x = size / 4; x < size - size / 4; ++x) {
            const size_t i = sheet.At(left + v * size + x, y);
            sheet.index[i] = uint8_t(20 + 40 * round + 9 * sprite + 3 * v + (x + y) % 5);
            sheet.depth[i] = uint8_t(10 + x + 2 * y + round);
            sheet.alpha[i] = 255;
          }
        }
      }
      left += columns * size;
    }
    std::vector<TestRGB> palette(256);
    for (int c = 0; c < 256; ++c)
      palette[c] = {uint8_t(c), uint8_t(255 - c), uint8_t((c * 7 + 31 * round + 13 * sprite) & 255)};
    std::vector<TestRGBA> pixels(sheet.index.size());
    for (size_t i = 0; i < pixels.size(); ++i) {
      const TestRGB& c = palette[sheet.index[i]];
      pixels[i] = {c.r, c.g, c.b, sheet.depth[i]};
    }
    TGAWriteOptions options;
    options.bits = 32;
    const std::string name = sprite == 0 ? "art/one" : "art/two";
    dir.WriteFile(name + ".tga", WriteTGA(sheet.width, sheet.height, pixels, options));
    dir.WriteFile(name + ".bmp", WriteSheetBMP8(sheet, palette));
  }
}

void AddResource(IFFResFile2& file, uint32_t type, int16_t id, const char* name, const std::string& data) {
  MHandle* h = HAlloc(uint32_t(data.size()));
  std::memcpy(HLock(h), data.data(), data.size());
  HUnlock(h);
  file.AddResource(h, type, uint16_t(id), FixedStringBuffer<64>(name), true);
  file.WriteResource(h);
  ASSERT_EQ(file.GetError(), noErr);
}

// An object file as a first build leaves it: `first` resources that no graphics stage
// touches, written first, then the sprites, palettes and draw group of kSpec built from the
// art of round 0. The art of round 1 is then in place for the rebuild.
struct Object {
  TestTempFolder dir;
  std::string path;
  std::string built;  // the file's bytes after the first build
  ResListing before;  // what it lists then

  struct Stored {
    uint32_t type;
    int16_t id;
    const char* name;
    std::string data;
  };
  explicit Object(const std::vector<Stored>& first) : path(dir / "obj.iff") {
    dir.WriteFile("obj.omk", kSpec);
    WriteArt(dir, 0);
    {
      IFFResFile2 file;
      EXPECT_EQ(file.Create(FixedStringBuffer<260>(path.c_str())), noErr);
      EXPECT_EQ(file.Open(FixedStringBuffer<260>(path.c_str())), noErr);
      for (const Stored& s : first) AddResource(file, s.type, s.id, s.name, s.data);
      EXPECT_EQ(file.Close(), noErr);
    }
    const MorvikResult r = RunMorvik(dir, Args());
    EXPECT_EQ(r.code, 0) << r.log;
    built = TestTempFolder::ReadFile(path);
    EXPECT_EQ(ListResourcesOf(TestTempFolder::ReadFile(path), ResFormat::kIFF2, before), noErr);
    WriteArt(dir, 1);
  }

  std::vector<std::string> Args() const {
    return {path, "-spec", dir / "obj.omk", "-graphics", dir / "art/"};
  }
};

const std::vector<Object::Stored> kUntouched = {
    {MakeResType('B', 'H', 'A', 'V'), 4096, "action", std::string(300, 'b')},
    {MakeResType('S', 'T', 'R', '#'), 128, "strings", std::string(90, 's')},
};

ResContents FirstOfEach(const ResListing& listing) {
  ResContents contents;
  for (const auto& [key, values] : listing) contents[key] = values.front();
  return contents;
}

}  // namespace

// Every kill, durable and partial write-back state of an in-process rebuild that replaces
// every sprite, palette and draw group: each resource once, old or new, and the new ones
// all there once the build returned.
TEST(CrashReplayBuild, GraphicsRebuildKeepsEveryResourceOnce) {
  Object object(kUntouched);
  CrashRun run(object.dir.Path());
  run.Watch(object.path, ResFormat::kIFF2);
  FILE* log = std::tmpfile();
  const int32_t result = run.Step(
      "-graphics rebuild", StepKind::kBuild,
      [&] {
        ObjectBuilder builder;
        builder.fObjectFile.assign(object.path.c_str());
        builder.fAttributesFile.assign((object.dir / "obj.omk").c_str());
        builder.fMakeGraphics = 1;
        builder.fGraphicsDir.assign((object.dir / "art/").c_str());
        builder.fLogFile = log;
        return builder.Run();
      },
      [&] {
        ResListing after;
        ASSERT_EQ(ListResourcesOf(TestTempFolder::ReadFile(object.path), ResFormat::kIFF2, after), noErr);
        run.Contents(object.path) = FirstOfEach(after);
      });
  std::fclose(log);
  ASSERT_EQ(result, 0);
  const ResContents after = run.Contents(object.path);
  for (const auto& [key, value] : FirstOfEach(object.before)) {
    if (key.type == kSPR2 || key.type == kPALT) {
      EXPECT_FALSE(after.at(key) == value) << KeyText(key) << " was not replaced";
    }
  }
  ScopedDebugCapture capture;
  const CrashReport report = run.Check();
  EXPECT_EQ(report.failed, 0u) << report.Text();
}

// The real program killed at seeded random moments of the same rebuild: the object file
// opens, lists each resource once, misses none and holds old or new data in each.
TEST(CrashReplayBuild, KilledRebuildsLeaveNoDuplicateAndLoseNothing) {
  Object object(kUntouched);
  const std::vector<std::string> args = object.Args();
  std::vector<char*> argv;
  std::string program = MORVIK_PATH;
  argv.push_back(program.data());
  std::vector<std::string> owned = args;
  for (std::string& a : owned) argv.push_back(a.data());
  argv.push_back(nullptr);
  // Starts the rebuild on a fresh copy of the first build's file. With `delay` not negative,
  // waits until the program first changes the file and kills it `delay` later. Answers how
  // long the program ran after its first change of the file.
  struct stat built;
  int exitStatus = 0;
  auto rebuild = [&](std::chrono::microseconds delay) {
    object.dir.WriteFile("obj.iff", object.built);
    ::stat(object.path.c_str(), &built);
    const pid_t pid = ::fork();
    if (pid == 0) {
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 1);
      ::dup2(null, 2);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    int status = 0;
    bool ended = false;
    for (;;) {  // the program's first change of the file
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        ended = true;
        break;
      }
      struct stat now;
      if (::stat(object.path.c_str(), &now) == 0 &&
          (now.st_size != built.st_size || now.st_mtim.tv_nsec != built.st_mtim.tv_nsec ||
           now.st_mtim.tv_sec != built.st_mtim.tv_sec))
        break;
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    const auto changed = std::chrono::steady_clock::now();
    if (!ended && delay.count() >= 0) {
      std::this_thread::sleep_for(delay);
      ::kill(pid, SIGKILL);
    }
    if (!ended) ::waitpid(pid, &status, 0);
    exitStatus = status;
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - changed);
  };
  // One whole rebuild gives the new contents and the span to strike in.
  const std::chrono::microseconds span = rebuild(std::chrono::microseconds(-1));
  ASSERT_TRUE(WIFEXITED(exitStatus) && WEXITSTATUS(exitStatus) == 0);
  ResListing afterListing;
  ASSERT_EQ(ListResourcesOf(TestTempFolder::ReadFile(object.path), ResFormat::kIFF2, afterListing), noErr);
  const ResContents before = FirstOfEach(object.before), after = FirstOfEach(afterListing);

  std::mt19937 random(19);
  std::uniform_int_distribution<int64_t> moment(0, span.count());
  int failed = 0;
  std::string first;
  const int trials = 24;
  for (int trial = 0; trial < trials; ++trial) {
    const int64_t at = moment(random);
    rebuild(std::chrono::microseconds(at));
    ResListing listing;
    const int32_t error = ListResourcesOf(TestTempFolder::ReadFile(object.path), ResFormat::kIFF2, listing);
    std::string problem = error != noErr ? "does not open (error " + std::to_string(error) + ")"
                                         : CheckEachResource(listing, {&before, &after});
    if (!problem.empty()) {
      ++failed;
      if (first.empty())
        first = "killed " + std::to_string(at) + " us after its first write, of a " +
                std::to_string(span.count()) + " us span: " + problem;
    }
  }
  EXPECT_EQ(failed, 0) << failed << " of " << trials << " killed rebuilds fail; the first: " << first;
}

// A rebuild on a file with one damaged size field that its saved map still reads whole (a
// tree-table record's size 96 -> 97, a free block's size past the end, the first record's
// size doubled over the records after it): with the first it fails with its message;
// whether it fails or not, every resource readable before stays readable.
TEST(CrashReplayBuild, AFailedRebuildLeavesReadableWhatWasReadable) {
  enum class Damage { kTreeTableSize, kFreeBlockPastTheEnd, kLiveSizeDoubled };
  for (Damage damage : {Damage::kTreeTableSize, Damage::kFreeBlockPastTheEnd, Damage::kLiveSizeDoubled}) {
    SCOPED_TRACE(damage == Damage::kTreeTableSize        ? "a tree-table record's size 96 -> 97"
                 : damage == Damage::kFreeBlockPastTheEnd ? "a free block's size past the end"
                                                          : "a live record's size doubled over the records after it");
    // The tree table of 20 bytes (a record of 96) comes second, before everything else but
    // one; for the second case a removed resource leaves a free block before the sprites.
    std::vector<Object::Stored> first = {
        {MakeResType('B', 'C', 'O', 'N'), 128, "constants", std::string(12, 'k')},
        {MakeResType('T', 'T', 'A', 'B'), 128, "interactions", std::string(20, 't')},
    };
    first.insert(first.end(), kUntouched.begin(), kUntouched.end());
    if (damage == Damage::kFreeBlockPastTheEnd)
      first.push_back({MakeResType('G', 'O', 'N', 'E'), 1, "gone", std::string(400, 'g')});
    Object object(first);
    if (damage == Damage::kFreeBlockPastTheEnd) {
      IFFResFile2 file;
      ASSERT_EQ(file.Open(FixedStringBuffer<260>(object.path.c_str())), noErr);
      MHandle* h = file.GetResource(MakeResType('G', 'O', 'N', 'E'), 1);
      ASSERT_NE(h, nullptr);
      file.RemoveResource(h);
      file.SetNoDefragment();
      ASSERT_EQ(file.Close(), noErr);
      ASSERT_EQ(ListResourcesOf(TestTempFolder::ReadFile(object.path), ResFormat::kIFF2, object.before), noErr);
    }
    // Finds the record to damage by walking the file's headers.
    std::string bytes = TestTempFolder::ReadFile(object.path);
    auto be32 = [&](size_t at) {
      return (uint32_t(uint8_t(bytes[at])) << 24) | (uint32_t(uint8_t(bytes[at + 1])) << 16) |
             (uint32_t(uint8_t(bytes[at + 2])) << 8) | uint32_t(uint8_t(bytes[at + 3]));
    };
    size_t target = 0;
    for (size_t at = 64; at + 76 <= bytes.size();) {
      const uint32_t type = be32(at), size = be32(at + 4);
      const bool tableOf96 = type == MakeResType('T', 'T', 'A', 'B') && size == 96;
      const bool freeBlock = type == kFreeBlockType;
      const bool first = at == 64;
      if (damage == Damage::kTreeTableSize ? tableOf96 : damage == Damage::kFreeBlockPastTheEnd ? freeBlock : first) {
        target = at;
        break;
      }
      if (size < 76) break;
      at += size;
    }
    ASSERT_NE(target, 0u) << "no record to damage";
    const uint32_t size = damage == Damage::kTreeTableSize        ? 97
                          : damage == Damage::kFreeBlockPastTheEnd ? uint32_t(bytes.size() + 4096)
                                                                   : 2 * be32(target + 4);
    for (int i = 0; i < 4; ++i) bytes[target + 4 + i] = char(uint8_t(size >> (24 - 8 * i)));
    object.dir.WriteFile("obj.iff", bytes);
    ResListing damaged;
    ASSERT_EQ(ListResourcesOf(TestTempFolder::ReadFile(object.path), ResFormat::kIFF2, damaged), noErr);
    ASSERT_EQ(damaged.size(), object.before.size()) << "the saved map reads the file whole";

    const MorvikResult r = RunMorvik(object.dir, object.Args());
    if (damage == Damage::kTreeTableSize) {
      // The walk for a free block meets the damaged header (the record after it is named so
      // that the misread header is not one of a free block) and the write is refused.
      EXPECT_EQ(r.code, 1) << r.log;
      EXPECT_NE(r.log.find("fatal error: could not update dest file"), std::string::npos) << r.log;
    }
    ResListing listing;
    ASSERT_EQ(ListResourcesOf(TestTempFolder::ReadFile(object.path), ResFormat::kIFF2, listing), noErr);
    for (const auto& [key, values] : damaged) {
      auto got = listing.find(key);
      if (got == listing.end()) {
        ADD_FAILURE() << KeyText(key) << " was readable before the failed rebuild and is gone";
        continue;
      }
      EXPECT_EQ(got->second.size(), 1u) << KeyText(key) << " listed more than once";
      if (key.type != kSPR2 && key.type != kPALT && key.type != kDGRP) {
        EXPECT_TRUE(got->second.front() == values.front()) << KeyText(key) << " changed";
      }
    }
  }
}

// A new object made from a template (-tmpl), replayed at every state a kill or a power loss
// could leave: the new object file is absent or opens, never an empty file that every later
// attempt would stumble on; once the run returned it holds the template's resources.
TEST(CrashReplayBuild, ATemplateRunLeavesNoObjectOrAWholeOne) {
  TestTempFolder dir;
  const std::string templatePath = dir / "tmpl.iff";
  {
    IFFResFile2 file;
    ASSERT_EQ(file.Create(FixedStringBuffer<260>(templatePath.c_str())), noErr);
    ASSERT_EQ(file.Open(FixedStringBuffer<260>(templatePath.c_str())), noErr);
    ObjDefinition definition;
    definition.SetLong(kObjDefVersion, ObjDefinition::kCurrentVersion);
    definition.SetGUID(0x12345678);
    MHandle* h = HAlloc(ObjDefinition::kByteSize);
    ASSERT_TRUE(definition.WriteToHandle(h));
    file.AddResource(h, kObjDefinitionType, 128, FixedStringBuffer<64>("Chair"), true);
    file.WriteResource(h);
    AddResource(file, MakeResType('S', 'T', 'R', '#'), 128, "strings", std::string(90, 's'));
    ASSERT_EQ(file.Close(), noErr);
  }
  const std::string made = dir / "new.iff";
  CrashRun run(dir.Path());
  run.Watch(made, ResFormat::kIFF2);
  FILE* log = std::tmpfile();
  const int32_t result = run.Step(
      "-tmpl", StepKind::kBuild,
      [&] {
        ObjectBuilder builder;
        builder.fObjectFile.assign(made.c_str());
        builder.fTemplateFile.assign(templatePath.c_str());
        builder.fLogFile = log;
        return builder.Run();
      },
      [&] {
        run.SetExists(made, true);
        ResListing after;
        ASSERT_EQ(ListResourcesOf(TestTempFolder::ReadFile(made), ResFormat::kIFF2, after), noErr);
        run.Contents(made) = FirstOfEach(after);
      });
  std::fclose(log);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(run.Contents(made).size(), 2u);
  ScopedDebugCapture capture;
  const CrashReport report = run.Check();
  EXPECT_EQ(report.failed, 0u) << report.Text();
}
