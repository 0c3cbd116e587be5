// Crash replay of scripted runs of both file formats: every state that a kill between two host
// calls, a power loss, or a power loss that writes back only some pages could leave is
// rebuilt from the recorded calls and opened, and must keep each resource exactly once with
// the data before or after the step in flight, and everything a returned step promised.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "CrashReplay.h"
#include "DebugCapture.h"
#include "IFFResFile.h"
#include "IFFResFile2.h"
#include "MHandle.h"
#include "PlatformFile.h"
#include "StringBuffer.h"
#include "TestTempFolder.h"

using namespace crashreplay;

namespace {

constexpr uint32_t kBHAV = MakeResType('B', 'H', 'A', 'V');
constexpr uint32_t kSTR = MakeResType('S', 'T', 'R', '#');

// `n` bytes that differ from page to page, so that a page written back alone shows.
std::string Data(char seed, size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = char(seed + (i / 97) % 13);
  return s;
}

std::unique_ptr<iResFile> NewFile(ResFormat format) {
  if (format == ResFormat::kIFF2) return std::make_unique<IFFResFile2>();
  return std::make_unique<IFFResFile>();
}

FixedStringBuffer<260> PathText(const std::string& path) { return FixedStringBuffer<260>(path.c_str()); }

// The steps of a run on one file, each with what it promises.
struct Script {
  CrashRun& run;
  iResFile& file;
  std::string path;

  ResContents& Model() { return run.Contents(path); }

  void Create() {
    ASSERT_EQ(run.Step("create", StepKind::kCreate, [&] { return file.Create(PathText(path)); }), noErr);
  }
  void Open() {
    ASSERT_EQ(run.Step("open", StepKind::kChange, [&] { return file.Open(PathText(path)); }), noErr);
  }
  // Adds the resource or rewrites the one of that key (keeping its name), and writes it.
  void Write(uint32_t type, int16_t id, const std::string& name, const std::string& data) {
    const ResKey key{type, id, 0};
    const std::string label = "write " + KeyText(key) + " (" + std::to_string(data.size()) + " bytes)";
    std::string kept = name;
    ASSERT_EQ(run.Step(label, StepKind::kChange,
                       [&] {
                         MHandle* h = nullptr;
                         if (Model().count(key)) {
                           h = file.GetResource(type, uint16_t(id));
                           if (h == nullptr) return file.GetError();
                           kept = Model()[key].name;
                           HSetSize(h, uint32_t(data.size()));
                         } else {
                           h = HAlloc(uint32_t(data.size()));
                           file.AddResource(h, type, uint16_t(id), FixedStringBuffer<64>(name.c_str()), true);
                         }
                         std::memcpy(HLock(h), data.data(), data.size());
                         HUnlock(h);
                         file.WriteResource(h);
                         return file.GetError();
                       },
                       [&] { Model()[key] = ResValue{kept, data}; }),
              noErr);
  }
  void Remove(uint32_t type, int16_t id) {
    const ResKey key{type, id, 0};
    ASSERT_EQ(run.Step("remove " + KeyText(key), StepKind::kChange,
                       [&] {
                         MHandle* h = file.GetResource(type, uint16_t(id));
                         if (h == nullptr) return file.GetError();
                         file.RemoveResource(h);
                         return file.GetError();
                       },
                       [&] { Model().erase(key); }),
              noErr);
  }
  // Gives the resource another id and name.
  void Rename(uint32_t type, int16_t id, int16_t newId, const std::string& name) {
    const ResKey key{type, id, 0}, newKey{type, newId, 0};
    ASSERT_EQ(run.Step("rename " + KeyText(key) + " to " + KeyText(newKey), StepKind::kChange,
                       [&] {
                         MHandle* h = file.GetResource(type, uint16_t(id));
                         if (h == nullptr) return file.GetError();
                         file.SetResInfo(h, uint16_t(newId), FixedStringBuffer<64>(name.c_str()), 0);
                         return file.GetError();
                       },
                       [&] {
                         ResValue moved = Model()[key];
                         moved.name = name;
                         Model().erase(key);
                         Model()[newKey] = moved;
                       }),
              noErr);
  }
  // Adds a resource held in memory: nothing is promised until a commit writes it.
  void Hold(uint32_t type, int16_t id, const std::string& name, const std::string& data) {
    MHandle* h = HAlloc(uint32_t(data.size()));
    std::memcpy(HLock(h), data.data(), data.size());
    HUnlock(h);
    file.AddResource(h, type, uint16_t(id), FixedStringBuffer<64>(name.c_str()), true);
    ASSERT_EQ(file.GetError(), noErr);
    held[ResKey{type, id, 0}] = ResValue{name, data};
  }
  void Update() {
    ASSERT_EQ(run.Step("update", StepKind::kCommit, [&] { return file.Update(); }, [&] { Commit(); }), noErr);
  }
  void Close() {
    ASSERT_EQ(run.Step("close", StepKind::kCommit, [&] { return file.Close(); }, [&] { Commit(); }), noErr);
  }
  void Commit() {
    for (const auto& [key, value] : held) Model()[key] = value;
    held.clear();
  }

  ResContents held;
};

// Makes the starting file of the edit run: four resources, one of them large, closed (an
// IFF 2.x file then names its saved map).
void MakeStartFile(const std::string& path, ResFormat format) {
  std::unique_ptr<iResFile> file = NewFile(format);
  ASSERT_EQ(file->Create(PathText(path)), noErr);
  ASSERT_EQ(file->Open(PathText(path)), noErr);
  const struct {
    uint32_t type;
    int16_t id;
    const char* name;
    std::string data;
  } start[] = {{kBHAV, 128, "main", Data('a', 200)},
               {kBHAV, 129, "helper", Data('b', 5000)},
               {kSTR, 128, "strings", Data('c', 80)},
               {kBHAV, 200, "large", Data('d', 12000)}};
  for (const auto& r : start) {
    MHandle* h = HAlloc(uint32_t(r.data.size()));
    std::memcpy(HLock(h), r.data.data(), r.data.size());
    HUnlock(h);
    file->AddResource(h, r.type, uint16_t(r.id), FixedStringBuffer<64>(r.name), true);
    file->WriteResource(h);
    ASSERT_EQ(file->GetError(), noErr);
  }
  ASSERT_EQ(file->Close(), noErr);
}

// Gives the live block of (type, id) in the IFF 1.0 file at `path` the name index that would
// mark the resource at its place once the block is freed with its name index kept, as the
// layout frees a block (a foreign or damaged header can hold such a word).
void GiveMarkWord(const std::string& path, uint32_t type, int16_t id) {
  std::string bytes = TestTempFolder::ReadFile(path);
  for (size_t at = kUniqueHeaderSize; at + kFileBlockHeaderSize <= bytes.size();) {
    FileBlockHeader header;
    DecodeFileBlockHeader(reinterpret_cast<const uint8_t*>(bytes.data() + at), header);
    ASSERT_GE(header.fSize, kFileBlockHeaderSize);
    if (header.fType == type && header.fID == id && !(header.fFlags & kInvalid)) {
      FileBlockHeader freed = header;
      ASSERT_TRUE(MakeIFF1Mark(freed, type, uint32_t(at)));
      header.fNameIndex = freed.fNameIndex;
      uint8_t encoded[kFileBlockHeaderSize];
      EncodeFileBlockHeader(header, encoded);
      bytes.replace(at, kFileBlockHeaderSize, reinterpret_cast<const char*>(encoded), kFileBlockHeaderSize);
      FILE* out = std::fopen(path.c_str(), "wb");
      ASSERT_NE(out, nullptr);
      ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), out), bytes.size());
      std::fclose(out);
      return;
    }
    at += size_t(header.fSize);
  }
  FAIL() << "no live block " << KeyText(ResKey{type, id, 0});
}

void ExpectNoFailingState(CrashRun& run) {
  ScopedDebugCapture capture;  // damaged states raise assertions as they open
  const CrashReport report = run.Check();
  EXPECT_EQ(report.failed, 0u) << report.Text();
  EXPECT_TRUE(report.stepErrors.empty()) << report.stepErrors;
}

class CrashReplay : public ::testing::TestWithParam<ResFormat> {};

}  // namespace

// Edits of an existing file: adds, rewrites of the same and other sizes, an update, a
// removal, a rename, a held resource and a compacting close that saves a new map.
TEST_P(CrashReplay, EditsOfAnExistingFileKeepEveryResourceOnce) {
  TestTempFolder dir;
  const std::string path = dir / "edits.iff";
  MakeStartFile(path, GetParam());
  // The block that the run removes must not come back from the name index it keeps.
  if (GetParam() == ResFormat::kIFF1) GiveMarkWord(path, kBHAV, 200);
  CrashRun run(dir.Path());
  run.Watch(path, GetParam());
  std::unique_ptr<iResFile> file = NewFile(GetParam());
  Script s{run, *file, path, {}};
  s.Open();
  s.Write(kBHAV, 300, "added", Data('e', 700));
  s.Write(kBHAV, 128, "", Data('A', 200));   // the same size
  s.Write(kSTR, 128, "", Data('C', 3000));   // larger
  s.Update();
  s.Remove(kBHAV, 200);                      // enough waste for Close to compact
  s.Rename(kBHAV, 129, 130, "moved");
  s.Write(kBHAV, 128, "", Data('B', 50));    // smaller
  s.Hold(kSTR, 129, "held", Data('h', 40));
  s.Close();
  ExpectNoFailingState(run);
}

// A file made by Create, filled, updated, rewritten and closed: it is there after a power
// loss once the first update returned, and keeps what each commit acknowledged.
TEST_P(CrashReplay, ANewFileSurvivesOnceItsFirstUpdateReturned) {
  TestTempFolder dir;
  const std::string path = dir / "new.iff";
  CrashRun run(dir.Path());
  run.Watch(path, GetParam());
  std::unique_ptr<iResFile> file = NewFile(GetParam());
  Script s{run, *file, path, {}};
  s.Create();
  s.Open();
  s.Write(kBHAV, 128, "first", Data('f', 300));
  s.Write(kSTR, 128, "text", Data('t', 5000));
  s.Update();
  s.Write(kBHAV, 128, "", Data('F', 6000));
  s.Close();
  ExpectNoFailingState(run);
}

// The checker itself, on a writer that makes each new version of the file beside it, syncs it
// and swaps it in (no state may fail), and on one that rewrites the file in place without a
// sync and calls that committed (the kill states see it emptied, the durable ones lose it).
TEST_P(CrashReplay, TheCheckerPassesAWholeFileSwapAndCatchesAnUnsyncedRewrite) {
  for (bool safely : {true, false}) {
    SCOPED_TRACE(safely ? "swapped in" : "rewritten in place");
    TestTempFolder dir;
    const std::string path = dir / "swap.iff";
    MakeStartFile(path, GetParam());
    CrashRun run(dir.Path());
    run.Watch(path, GetParam());
    TestTempFolder scratch;
    // Makes the next version on a copy elsewhere, then puts it in place.
    auto rewrite = [&](const std::function<void(iResFile&)>& edit) {
      const std::string copy = scratch.WriteFile("copy.iff", TestTempFolder::ReadFile(path));
      {
        std::unique_ptr<iResFile> file = NewFile(GetParam());
        if (file->Open(PathText(copy)) != noErr) return int32_t(-1);
        edit(*file);
        if (file->Close() != noErr) return int32_t(-1);
      }
      const std::string bytes = TestTempFolder::ReadFile(copy);
      const std::string target = safely ? dir / "swap.tmp" : path;
      PlatformFile* out = PlatformFileOpen(target.c_str(), PlatformOpenMode::kCreateAlways);
      if (!out) return int32_t(-1);
      const bool written = PlatformFileWrite(out, bytes.data(), int64_t(bytes.size())) == int64_t(bytes.size()) &&
                           (!safely || PlatformFileFlush(out));
      PlatformFileClose(out);
      if (!written) return int32_t(-1);
      return int32_t(!safely || PlatformFileReplace(target.c_str(), path.c_str()) ? noErr : -1);
    };
    const ResKey removed{kBHAV, 200, 0}, rewritten{kSTR, 128, 0};
    ASSERT_EQ(run.Step("remove BHAV 200", StepKind::kChange,
                       [&] {
                         return rewrite([&](iResFile& f) { f.RemoveResource(f.GetResource(kBHAV, 200)); });
                       },
                       [&] { run.Contents(path).erase(removed); }),
              noErr);
    ASSERT_EQ(run.Step("write STR# 128", StepKind::kChange,
                       [&] {
                         return rewrite([&](iResFile& f) {
                           MHandle* h = f.GetResource(kSTR, 128);
                           HSetSize(h, 6000);
                           std::memcpy(HLock(h), Data('S', 6000).data(), 6000);
                           HUnlock(h);
                           f.WriteResource(h);
                         });
                       },
                       [&] { run.Contents(path)[rewritten].data = Data('S', 6000); }),
              noErr);
    ASSERT_EQ(run.Step("update", StepKind::kCommit, [] { return int32_t(noErr); }), noErr);
    ScopedDebugCapture capture;
    const CrashReport report = run.Check();
    if (safely) {
      EXPECT_EQ(report.failed, 0u) << report.Text();
      EXPECT_GT(report.kill.states, 0u);
      EXPECT_GT(report.durable.states, 0u);
    } else {
      EXPECT_GT(report.kill.failed, 0u) << report.Text();
      EXPECT_GT(report.durable.failed, 0u) << report.Text();
      // After the update returned, a power loss gives back the start: a lost acknowledgment.
      EXPECT_NE(report.Text(300).find("after step 3 'update', last acknowledged step 3 'update'"),
                std::string::npos)
          << report.Text();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, CrashReplay, ::testing::Values(ResFormat::kIFF2, ResFormat::kIFF1),
                         [](const ::testing::TestParamInfo<ResFormat>& info) {
                           return std::string(info.param == ResFormat::kIFF2 ? "IFF2" : "IFF1");
                         });
