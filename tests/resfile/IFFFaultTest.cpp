// Fault injection over both IFF formats: a session of replacements, a named addition, an
// Update, a removal, a rewrite, a replacement left pending until Close and a compacting close
// runs with one host call made to fail, for every call of every kind in turn (writes, short
// writes, seeks, syncs of the file and of its folder, reads, renames, creates and opens).
// Whatever fails, the file on disk must open and hold each resource that was there before the
// session and each one an operation reported as written exactly once, with its bytes and its
// name (IFF 2.x: through the saved map and by a walk alike); the operation during which the
// call failed must report an error; and the ledger of the blocks agrees with the disk after
// every step. A failure that stops every later call of its kind leaves the disk as a crash
// would: the snapshot taken right after it must meet the same promises.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "DebugCapture.h"
#include "IFF1TestSupport.h"
#include "IFFResFile.h"
#include "IFFResFile2.h"
#include "IFFTestSupport.h"
#include "PlatformFile.h"
#include "TestTempFolder.h"

using ifftest::BytesOf;
using ifftest::HandleOf;
using ifftest::PathOf;

namespace {

constexpr uint32_t kTest = MakeResType('T', 'E', 'S', 'T');

// What a reopened file may hold of one resource.
struct Expect {
  std::set<std::string> bytes;  // acceptable contents
  std::set<std::string> names;  // acceptable names (none given: not checked)
  bool required = true;         // must be there (else it may be missing)
  bool absent = false;          // must not be there
  // Contents written under a new name that no Update has acknowledged yet: they may stand
  // without it (IFF 1.0 keeps names in a list of their own that Update writes).
  std::set<std::string> nameMayLag;
};
using Model = std::map<int16_t, Expect>;

std::string Data(char c, size_t n) { return std::string(n, c); }

// The names of the resources before the session: resource 1 is renamed "one" by its
// replacement, 2 is rewritten through its own handle, 4 is replaced under its own name.
const std::map<int16_t, std::string> kBaseNames = {{1, "uno"}, {2, "two"}, {4, "four"}};

// One of the two formats, through what sets them apart here.
struct Format {
  const char* name;
  std::function<std::unique_ptr<iResFile>()> make;
  std::function<int32_t(iResFile&)> checkLedger;
  // Types of the blocks of a file's bytes, in file order.
  std::function<std::vector<uint32_t>(const std::string& bytes)> blockTypes;
  bool savedMap;  // the file is also checked by a walk over a copy whose saved map is cleared
};

const Format kIFF1{
    "IFF1", [] { return std::unique_ptr<iResFile>(new IFFResFile); },
    [](iResFile& f) { return static_cast<IFFResFile&>(f).CheckLedger(); },
    [](const std::string& bytes) {
      std::vector<uint32_t> types;
      for (const iff1test::DiskBlock& b : iff1test::WalkBlocks(bytes)) types.push_back(b.type);
      return types;
    },
    false};

const Format kIFF2{
    "IFF2", [] { return std::unique_ptr<iResFile>(new IFFResFile2); },
    [](iResFile& f) { return static_cast<IFFResFile2&>(f).CheckLedger(); },
    [](const std::string& bytes) {
      std::vector<uint32_t> types;
      for (const ifftest::DiskRecord& r : ifftest::WalkRecords(bytes)) types.push_back(r.type);
      return types;
    },
    true};

// Opens `path` and checks it against the model; for a format with a saved map, again by a
// walk over a copy whose map is cleared.
void CheckFile(const Format& format, const std::string& path, const Model& model, const std::string& how) {
  for (bool walk : {false, true}) {
    if (walk && !format.savedMap) break;
    std::string use = path;
    if (walk) {
      use = path + ".walk";
      FILE* f = fopen(use.c_str(), "wb");
      std::string bytes = TestTempFolder::ReadFile(path);
      fwrite(bytes.data(), 1, bytes.size(), f);
      fclose(f);
      IFFResFile2 clearer;
      ASSERT_EQ(clearer.ClearSavedMap(PathOf(use)), noErr) << how;
    }
    const std::string where = how + (walk ? " (walk)" : "");
    std::unique_ptr<iResFile> file = format.make();
    ASSERT_EQ(file->Open(PathOf(use)), noErr) << where;
    EXPECT_EQ(format.checkLedger(*file), noErr) << where;
    std::map<int16_t, int> seen;
    for (int16_t i = 1; i <= file->Count(kTest); ++i) {
      MHandle* h = file->GetIndResource(kTest, uint16_t(i));
      ASSERT_NE(h, nullptr) << where;
      int16_t id = 0;
      file->GetResID(h, id);
      seen[id]++;
    }
    for (const auto& [id, count] : seen) {
      EXPECT_TRUE(model.count(id)) << where << ": stray id " << id;
      EXPECT_EQ(count, 1) << where << ": id " << id << " is there " << count << " times";
    }
    for (const auto& [id, expect] : model) {
      MHandle* h = file->GetResource(kTest, uint16_t(id));
      if (expect.absent) {
        EXPECT_EQ(h, nullptr) << where << ": id " << id << " should be gone";
        continue;
      }
      if (h == nullptr) {
        EXPECT_FALSE(expect.required) << where << ": id " << id << " lost";
        continue;
      }
      EXPECT_TRUE(expect.bytes.count(BytesOf(h)))
          << where << ": id " << id << " has wrong bytes: " << BytesOf(h).substr(0, 8) << " size "
          << BytesOf(h).size();
      FixedStringBuffer<64> name;
      file->GetResName(h, name);
      if (!expect.names.empty() && !(name.length() == 0 && expect.nameMayLag.count(BytesOf(h)))) {
        EXPECT_TRUE(expect.names.count(name.c_str()))
            << where << ": name of id " << id << " is \"" << name.c_str() << "\"";
      }
    }
    file->Close();
  }
}

struct FaultCase {
  const Format* format;
  PlatformFaultOp op;
  bool sticky;  // the Nth call and every later one fail: the disk stops where a crash would
};

class IFFFaultTest : public ::testing::TestWithParam<FaultCase> {
 protected:
  void SetUp() override {
    path = folder / "faults.iff";
    std::unique_ptr<iResFile> file = TheFormat().make();
    ASSERT_EQ(file->Create(PathOf(path)), noErr);
    ASSERT_EQ(file->Open(PathOf(path)), noErr);
    // A hole at the front, which the first write of the session fills exactly.
    MHandle* hole = HandleOf(Data('h', 300));
    file->AddResource(hole, kTest, 7, FixedStringBuffer<4>(), true);
    file->WriteResource(hole);
    for (auto& [id, data] : base) {
      auto named = kBaseNames.find(id);
      FixedStringBuffer<64> name(named != kBaseNames.end() ? named->second.c_str() : "");
      MHandle* h = HandleOf(data);
      file->AddResource(h, kTest, uint16_t(id), name, true);
      file->WriteResource(h);
      ASSERT_EQ(file->GetError(), noErr);
    }
    file->RemoveResource(hole);
    ASSERT_EQ(file->GetError(), noErr);
    ASSERT_EQ(file->Close(), noErr);
    baseBytes = TestTempFolder::ReadFile(path);
  }
  void TearDown() override { PlatformFileResetFaults(); }

  const Format& TheFormat() const { return *GetParam().format; }

  // Runs the session with a fault armed on call `n` of `op` (n 0: no fault). Fills `model`
  // with what the file must hold afterwards and `snapshot` with the file as it was right
  // after the first operation that reported an error. Returns false when an operation during
  // which the failing call happened reported success.
  bool RunSession(PlatformFaultOp op, int32_t n, bool sticky, Model& model, std::string& snapshot,
                  Model& snapshotModel) {
    folder.WriteFile("faults.iff", baseBytes);
    model.clear();
    for (auto& [id, data] : base) {
      model[id] = Expect{{data}, {}, true, false};
      auto named = kBaseNames.find(id);
      model[id].names.insert(named != kBaseNames.end() ? named->second : "");
    }
    model[7] = Expect{{}, {}, false, true};
    snapshot.clear();
    bool honest = true;

    std::unique_ptr<iResFile> file = TheFormat().make();
    if (file->Open(PathOf(path)) != noErr) return false;
    PlatformFileResetFaults();
    if (n > 0) PlatformFileFailAt(op, n, sticky);

    // Runs one step; `apply(ok)` updates the model for its outcome.
    auto step = [&](auto action, auto apply) {
      int64_t before = PlatformFileCallCount(op);
      int32_t error = action();
      bool hit = n > 0 && before < n && n <= PlatformFileCallCount(op);
      if (hit && error == noErr) honest = false;
      apply(error == noErr);
      if (error != noErr && snapshot.empty()) {
        snapshot = TestTempFolder::ReadFile(path);
        snapshotModel = model;
      }
      // The check reads the file: only in a run without faults, whose calls are not counted.
      if (checkLedger && file->ValidFile()) {
        EXPECT_EQ(TheFormat().checkLedger(*file), noErr);
      }
    };
    // 1. Replace resource 1 with new bytes and a new name, into the hole.
    MHandle* h1 = HandleOf(Data('N', 300));
    step([&] {
           file->AddResource(h1, kTest, 1, FixedStringBuffer<64>("one"), true);
           file->WriteResource(h1);
           return file->GetError();
         },
         // Written, but durable only once an Update or Close succeeds: until then a reopen
         // may still find the old bytes.
         [&](bool) {
           model[1].bytes.insert(Data('N', 300));
           model[1].names.insert("one");
           model[1].nameMayLag.insert(Data('N', 300));
         });
    // 2. A new named resource, written at once (in IFF 1.0 its name waits for the names).
    MHandle* h5 = HandleOf(Data('5', 300));
    step([&] {
           file->AddResource(h5, kTest, 5, FixedStringBuffer<64>("five"), true);
           file->WriteResource(h5);
           return file->GetError();
         },
         [&](bool ok) { model[5] = Expect{{Data('5', 300)}, {"five"}, ok, false, {Data('5', 300)}}; });
    // 2b. Update: one sync makes steps 1 and 2 durable, so resource 1's old bytes are gone.
    step([&] {
           file->Update();
           return file->GetError();
         },
         [&](bool ok) {
           if (!ok) return;
           model[1] = Expect{{Data('N', 300)}, {"one"}, true, false};
           model[5].required = true;
           model[5].nameMayLag.clear();
         });
    // 3. Remove the large resource: enough waste to compact at close.
    step([&] {
           MHandle* h = file->GetResource(kTest, 3);
           if (h == nullptr) return file->GetError();
           file->RemoveResource(h);
           return file->GetError();
         },
         [&](bool ok) {
           if (ok) model[3] = Expect{{}, {}, false, true};
           else model[3].required = false;
         });
    // 4. Rewrite resource 2 through its own handle, with other bytes of the same size.
    bool rewrote2 = false;
    step([&] {
           MHandle* h = file->GetResource(kTest, 2);
           if (h == nullptr) return file->GetError();
           std::memset(HLock(h), 'R', size_t(HGetSize(h)));
           HUnlock(h);
           rewrote2 = true;
           file->WriteResource(h);
           return file->GetError();
         },
         [&](bool) { model[2].bytes.insert(Data('R', base.at(2).size())); });
    // 5. A resource added and left to Close, and a replacement of resource 4 under its own
    // name left to Close too; then Close (update, compaction, map).
    MHandle* h6 = HandleOf(Data('6', 50));
    file->AddResource(h6, kTest, 6, FixedStringBuffer<4>(), true);
    model[6] = Expect{{Data('6', 50)}, {""}, false, false};
    MHandle* h4 = HandleOf(Data('F', 20000));
    file->AddResource(h4, kTest, 4, FixedStringBuffer<64>("four"), true);
    model[4].bytes.insert(Data('F', 20000));
    step([&] { return file->Close(); },
         [&](bool ok) {
           if (!ok) return;
           model[6].required = true;
           model[5].required = true;
           // Everything pending reached the disk.
           model[1].bytes.erase(base.at(1));
           model[4].bytes.erase(base.at(4));
           if (rewrote2) model[2].bytes.erase(base.at(2));
         });
    for (int kind = 0; kind < kPlatformFaultKinds; ++kind)
      calls[kind] = PlatformFileCallCount(PlatformFaultOp(kind));
    PlatformFileResetFaults();
    return honest;
  }

  bool checkLedger = false;  // check the ledger of the blocks after every step
  int64_t calls[kPlatformFaultKinds] = {};  // host calls of each kind in the last session
  TestTempFolder folder;
  std::string path;
  std::string baseBytes;
  const std::map<int16_t, std::string> base = {
      {1, Data('a', 200)}, {2, Data('b', 80)}, {3, Data('c', 11000)}, {4, Data('d', 40)}};
};

}  // namespace

TEST_P(IFFFaultTest, EveryFailingCallKeepsTheFileWhole) {
  ScopedDebugCapture capture;  // the failures raise assertions
  const FaultCase kind = GetParam();
  Model model, snapshotModel;
  std::string snapshot;
  // Clean runs first: every step succeeds, the ledger agrees with the disk after each, and
  // the second counts the calls of each kind.
  checkLedger = true;
  ASSERT_TRUE(RunSession(kind.op, 0, false, model, snapshot, snapshotModel));
  checkLedger = false;
  ASSERT_TRUE(RunSession(kind.op, 0, false, model, snapshot, snapshotModel));
  EXPECT_TRUE(snapshot.empty());
  CheckFile(TheFormat(), path, model, "clean");
  for (uint32_t type : TheFormat().blockTypes(TestTempFolder::ReadFile(path)))
    EXPECT_NE(type, kFreeBlockType) << "the clean run ends compacted";
  const int64_t total = calls[kind.op];
  ASSERT_GT(total, 0);
  for (int32_t n = 1; n <= total; ++n) {
    std::string how = "call " + std::to_string(n) + " of " + std::to_string(total);
    bool honest = RunSession(kind.op, n, kind.sticky, model, snapshot, snapshotModel);
    EXPECT_TRUE(honest) << how << ": a failing call was reported as success";
    EXPECT_FALSE(snapshot.empty()) << how << ": no operation reported the failure";
    CheckFile(TheFormat(), path, model, how + ", after close");
    if (!snapshot.empty())
      CheckFile(TheFormat(), folder.WriteFile("snapshot.iff", snapshot), snapshotModel,
                how + ", right after the failure");
    // No file of the compaction is left behind.
    EXPECT_FALSE(PlatformPathExists((path + "~defrag").c_str())) << how;
    if (::testing::Test::HasFailure()) return;  // one broken case tells enough
  }
}

std::string FaultCaseName(const ::testing::TestParamInfo<FaultCase>& info) {
  static const char* const names[] = {"Write",      "Seek",   "Truncate", "Flush",  "Read",
                                      "ShortWrite", "FolderSync", "Rename", "Create", "Open"};
  return std::string(info.param.format->name) + names[info.param.op] +
         (info.param.sticky ? "FromNthOn" : "AtNth");
}

std::vector<FaultCase> AllFaultCases() {
  std::vector<FaultCase> cases;
  for (const Format* format : {&kIFF1, &kIFF2})
    for (PlatformFaultOp op : {kPlatformFaultWrite, kPlatformFaultShortWrite, kPlatformFaultSeek,
                               kPlatformFaultFlush, kPlatformFaultFolderSync, kPlatformFaultRead,
                               kPlatformFaultRename, kPlatformFaultCreate, kPlatformFaultOpen})
      for (bool sticky : {false, true}) cases.push_back({format, op, sticky});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Kinds, IFFFaultTest, ::testing::ValuesIn(AllFaultCases()), FaultCaseName);

// A replacement whose write fails part way may leave the old block marked as the resource's
// only record on disk; removing the resource then takes that mark too, or the resource would
// come back at the next open. Every write of the replacement is failed in turn, over both
// formats.
TEST(IFFFaultRemove, ARemovedResourceStaysRemovedAfterAFailedReplacement) {
  ScopedDebugCapture capture;  // the failures raise assertions
  for (const Format* format : {&kIFF1, &kIFF2}) {
    for (int32_t n = 1;; ++n) {
      const std::string how = std::string(format->name) + ", write " + std::to_string(n) + " fails";
      TestTempFolder folder;
      const std::string path = folder / "removed.iff";
      {
        std::unique_ptr<iResFile> file = format->make();
        ASSERT_EQ(file->Create(PathOf(path)), noErr) << how;
        ASSERT_EQ(file->Open(PathOf(path)), noErr) << how;
        for (auto [id, data] : {std::pair<int16_t, std::string>{1, Data('a', 200)}, {2, Data('b', 50)}}) {
          MHandle* h = HandleOf(data);
          file->AddResource(h, kTest, uint16_t(id), FixedStringBuffer<64>("kept"), true);
          file->WriteResource(h);
        }
        ASSERT_EQ(file->Close(), noErr) << how;
      }
      std::unique_ptr<iResFile> file = format->make();
      ASSERT_EQ(file->Open(PathOf(path)), noErr) << how;
      MHandle* h = HandleOf(Data('n', 300));
      PlatformFileResetFaults();
      PlatformFileFailAt(kPlatformFaultWrite, n);
      file->AddResource(h, kTest, 1, FixedStringBuffer<64>("kept"), true);
      file->WriteResource(h);
      const bool fired = PlatformFileCallCount(kPlatformFaultWrite) >= n;
      PlatformFileResetFaults();
      if (!fired) {
        file->Close();
        break;  // every write of the replacement has failed once
      }
      file->RemoveResource(h);
      EXPECT_EQ(file->GetError(), noErr) << how;
      EXPECT_EQ(file->Close(), noErr) << how;
      std::unique_ptr<iResFile> again = format->make();
      ASSERT_EQ(again->Open(PathOf(path)), noErr) << how;
      EXPECT_EQ(again->GetResource(kTest, 1), nullptr) << how << ": the removed resource came back";
      EXPECT_EQ(BytesOf(again->GetResource(kTest, 2)), Data('b', 50)) << how;
      again->Close();
      if (::testing::Test::HasFailure()) return;
    }
  }
}
