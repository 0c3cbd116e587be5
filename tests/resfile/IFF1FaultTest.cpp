// Fault injection for IFF 1.0 files: a session of replacements, a named addition, a removal,
// a rewrite and a compacting close runs with one host call made to fail, for every call of
// every kind in turn. Whatever fails, the file on disk must open and hold every resource that
// was there before the session and every one an operation reported as written, with its bytes
// and the names of the resources the session did not touch; and the operation during which
// the call failed must report an error.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

#include "DebugCapture.h"
#include "IFF1TestSupport.h"
#include "IFFResFile.h"
#include "PlatformFile.h"
#include "TestTempFolder.h"

using ifftest::BytesOf;
using ifftest::HandleOf;
using ifftest::PathOf;

namespace {

constexpr uint32_t kTest = MakeResType('T', 'E', 'S', 'T');

struct Allowed {
  std::set<std::string> bytes;  // acceptable contents
  bool required = true;         // must be there
  bool absent = false;          // must not be there
};
using Model = std::map<int16_t, Allowed>;

std::string Fill(char c, size_t n) { return std::string(n, c); }

// Names the session never changes: resource 2 is rewritten through its own handle, 4 is left.
const std::map<int16_t, std::string> kKeptNames = {{2, "two"}, {4, "four"}};

void CheckFile(const std::string& path, const Model& model, const std::string& how) {
  IFFResFile file;
  ASSERT_EQ(file.Open(PathOf(path)), noErr) << how;
  std::set<int16_t> seen;
  for (int16_t i = 1; i <= file.Count(kTest); ++i) {
    MHandle* h = file.GetIndResource(kTest, uint16_t(i));
    ASSERT_NE(h, nullptr) << how;
    int16_t id = 0;
    file.GetResID(h, id);
    seen.insert(id);
    // A failure between writing a new block and freeing the one it replaces leaves both on
    // disk (the free is retried by the next Update); each must hold acceptable bytes.
    auto allowed = model.find(id);
    if (allowed != model.end()) {
      EXPECT_TRUE(allowed->second.bytes.count(BytesOf(h))) << how << ": a copy of id " << id;
    }
  }
  for (const auto& [id, allowed] : model) {
    MHandle* h = file.GetResource(kTest, uint16_t(id));
    if (allowed.absent || h == nullptr) {
      EXPECT_TRUE(h == nullptr || !allowed.absent) << how << ": id " << id << " should be gone";
      EXPECT_TRUE(h != nullptr || !allowed.required) << how << ": id " << id << " lost";
      continue;
    }
    EXPECT_TRUE(allowed.bytes.count(BytesOf(h))) << how << ": id " << id << " has wrong bytes";
    auto kept = kKeptNames.find(id);
    if (kept != kKeptNames.end()) {
      FixedStringBuffer<64> name;
      file.GetResName(h, name);
      EXPECT_EQ(std::string(name.c_str()), kept->second) << how << ": name of id " << id;
    }
  }
  for (int16_t id : seen) EXPECT_TRUE(model.count(id)) << how << ": stray id " << id;
  file.Close();
}

class IFF1FaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path = folder / "faults.iff";
    IFFResFile file;
    ASSERT_EQ(file.Create(PathOf(path)), noErr);
    ASSERT_EQ(file.Open(PathOf(path)), noErr);
    for (auto& [id, data] : base) {
      auto named = kKeptNames.find(id);
      FixedStringBuffer<64> name(named != kKeptNames.end() ? named->second.c_str() : "");
      file.AddResource(HandleOf(data), kTest, uint16_t(id), name, true);
    }
    ASSERT_EQ(file.Close(), noErr);
    baseBytes = TestTempFolder::ReadFile(path);
  }
  void TearDown() override { PlatformFileResetFaults(); }

  // Runs the session with call `n` of `op` failing (n 0: none). Fills `model` with what the
  // file must hold afterwards, and `snapshot` with the file right after the first operation
  // that reported an error. Returns false when a failing call went unreported.
  bool RunSession(PlatformFaultOp op, int32_t n, bool sticky, Model& model, std::string& snapshot,
                  Model& snapshotModel) {
    folder.WriteFile("faults.iff", baseBytes);
    model.clear();
    for (auto& [id, data] : base) model[id] = Allowed{{data}, true, false};
    snapshot.clear();
    bool honest = true;
    IFFResFile file;
    if (file.Open(PathOf(path)) != noErr) return false;
    PlatformFileResetFaults();
    if (n > 0) PlatformFileFailAt(op, n, sticky);

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
    };
    // 1. Replace resource 1, written at once.
    MHandle* h1 = HandleOf(Fill('N', 300));
    step([&] {
           file.AddResource(h1, kTest, 1, FixedStringBuffer<64>("one"), true);
           file.WriteResource(h1);
           return file.GetError();
         },
         // Written, but durable only once an Update or Close succeeds: until then a reopen
         // may still find the old bytes.
         [&](bool) { model[1].bytes.insert(Fill('N', 300)); });
    // 2. A new named resource, written at once (its name waits for the name list's save).
    MHandle* h5 = HandleOf(Fill('5', 120));
    step([&] {
           file.AddResource(h5, kTest, 5, FixedStringBuffer<64>("five"), true);
           file.WriteResource(h5);
           return file.GetError();
         },
         [&](bool ok) { model[5] = Allowed{{Fill('5', 120)}, ok, false}; });
    // 2b. Update: one sync makes steps 1 and 2 durable, and only then is the block that
    // resource 1 replaced freed, so its old bytes are gone for good.
    step([&] {
           file.Update();
           return file.GetError();
         },
         [&](bool ok) {
           if (!ok) return;
           model[1] = Allowed{{Fill('N', 300)}, true, false};
           model[5].required = true;
         });
    // 3. Remove the large resource: enough free bytes to compact at Close.
    step([&] {
           MHandle* h = file.GetResource(kTest, 3);
           if (h == nullptr) return file.GetError();
           file.RemoveResource(h);
           return file.GetError();
         },
         [&](bool ok) {
           if (ok) model[3] = Allowed{{}, false, true};
           else model[3].required = false;
         });
    // 4. Rewrite resource 2 with other bytes of the same size.
    bool rewrote2 = false;
    step([&] {
           MHandle* h = file.GetResource(kTest, 2);
           if (h == nullptr) return file.GetError();
           std::memset(HLock(h), 'R', size_t(HGetSize(h)));
           HUnlock(h);
           rewrote2 = true;
           file.WriteResource(h);
           return file.GetError();
         },
         [&](bool) { model[2].bytes.insert(Fill('R', base.at(2).size())); });
    // 5. A resource left to Close; then Close (names, update, compaction).
    file.AddResource(HandleOf(Fill('6', 50)), kTest, 6, FixedStringBuffer<4>(), true);
    model[6] = Allowed{{Fill('6', 50)}, false, false};
    step([&] { return file.Close(); },
         [&](bool ok) {
           if (!ok) return;
           model[6].required = true;
           model[5].required = true;
           model[1].bytes.erase(base.at(1));
           if (rewrote2) model[2].bytes.erase(base.at(2));
         });
    for (int kind = 0; kind <= kPlatformFaultRead; ++kind)
      calls[kind] = PlatformFileCallCount(PlatformFaultOp(kind));
    PlatformFileResetFaults();
    return honest;
  }

  int64_t calls[kPlatformFaultRead + 1] = {};
  TestTempFolder folder;
  std::string path;
  std::string baseBytes;
  const std::map<int16_t, std::string> base = {
      {1, Fill('a', 200)}, {2, Fill('b', 80)}, {3, Fill('c', 11000)}, {4, Fill('d', 40)}};
};

struct FaultKind {
  PlatformFaultOp op;
  bool sticky;  // the Nth call and every later one fail, as when the disk stops
};

class IFF1FaultKindTest : public IFF1FaultTest, public ::testing::WithParamInterface<FaultKind> {};

}  // namespace

TEST_P(IFF1FaultKindTest, EveryFailingCallKeepsTheFileWhole) {
  ScopedDebugCapture capture;
  const FaultKind kind = GetParam();
  Model model, snapshotModel;
  std::string snapshot;
  ASSERT_TRUE(RunSession(kind.op, 0, false, model, snapshot, snapshotModel));
  EXPECT_TRUE(snapshot.empty());
  CheckFile(path, model, "clean");
  for (const iff1test::DiskBlock& b : iff1test::WalkBlocks(TestTempFolder::ReadFile(path)))
    EXPECT_NE(b.type, kFreeBlockType) << "the clean run ends compacted";
  const int64_t total = calls[kind.op];
  ASSERT_GT(total, 0);
  for (int32_t n = 1; n <= total; ++n) {
    std::string how = "call " + std::to_string(n) + " of " + std::to_string(total);
    bool honest = RunSession(kind.op, n, kind.sticky, model, snapshot, snapshotModel);
    EXPECT_TRUE(honest) << how << ": a failing call was reported as success";
    EXPECT_FALSE(snapshot.empty()) << how << ": no operation reported the failure";
    CheckFile(path, model, how + ", after close");
    if (!snapshot.empty())
      CheckFile(folder.WriteFile("snapshot.iff", snapshot), snapshotModel,
                how + ", right after the failure");
    EXPECT_FALSE(PlatformPathExists((path + "~defrag").c_str())) << how;
    if (::testing::Test::HasFailure()) return;  // one broken case tells enough
  }
}

std::string FaultKindName(const ::testing::TestParamInfo<FaultKind>& info) {
  static const char* const names[] = {"Write", "Seek", "Truncate", "Flush", "Read"};
  return std::string(names[info.param.op]) + (info.param.sticky ? "FromNthOn" : "AtNth");
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, IFF1FaultKindTest,
    ::testing::Values(FaultKind{kPlatformFaultWrite, false}, FaultKind{kPlatformFaultWrite, true},
                      FaultKind{kPlatformFaultSeek, false}, FaultKind{kPlatformFaultSeek, true},
                      FaultKind{kPlatformFaultFlush, false}, FaultKind{kPlatformFaultFlush, true},
                      FaultKind{kPlatformFaultRead, false}, FaultKind{kPlatformFaultRead, true}),
    FaultKindName);
