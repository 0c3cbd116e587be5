// Chained resource files: where a new resource goes, the order of look-ups across members,
// the union of types, member management, and a chain over IFF 1.0 files on disk.
#include <gtest/gtest.h>

#include <string>

#include "ChainResFile.h"
#include "DebugCapture.h"
#include "IFF1TestSupport.h"
#include "IFFResFile.h"
#include "IFFResFile2.h"
#include "MemResFile.h"
#include "PlatformFile.h"
#include "TestTempFolder.h"

using ifftest::BytesOf;
using ifftest::HandleOf;
using ifftest::PathOf;

namespace {

constexpr uint32_t kSPR2 = MakeResType('S', 'P', 'R', '2');
constexpr uint32_t kOBJD = MakeResType('O', 'B', 'J', 'D');
constexpr uint32_t kDGRP = MakeResType('D', 'G', 'R', 'P');
constexpr uint32_t kPALT = MakeResType('P', 'A', 'L', 'T');

const FixedStringBuffer<4> kNoName;

// The chain leaves the operations on its own file to derived classes.
class TestChain : public ChainResFile {
 public:
  int32_t Create(const StringBuffer&) override { return unavailableErr; }
  int32_t Delete(const StringBuffer&) override { return unavailableErr; }
  int32_t Open(const StringBuffer&) override { return unavailableErr; }
  void GetName(StringBuffer& path) override { path.clear(); }
};

bool Holds(MemResFile& file, uint32_t type, uint16_t id) {
  file.Update();
  return file.GetStored(type, id, nullptr);
}

}  // namespace

TEST(ChainResFile, NewResourcesGoToTheFirstWritableMemberThatTakesTheType) {
  MemResFile a, b;
  TestChain chain;
  chain.AddFile(&a);
  chain.AddFile(&b);
  chain.AddExclusiveType(&a, kSPR2);
  chain.AddResource(HandleOf("sprite"), kSPR2, 1, kNoName, true);
  EXPECT_EQ(chain.GetError(), noErr);
  chain.AddResource(HandleOf("def"), kOBJD, 1, kNoName, true);
  EXPECT_EQ(chain.GetError(), noErr);
  EXPECT_TRUE(Holds(a, kSPR2, 1));
  EXPECT_TRUE(Holds(b, kOBJD, 1));
  EXPECT_FALSE(Holds(a, kOBJD, 1));
  EXPECT_TRUE(chain.CanWriteType(kSPR2));

  // With A read-only the sprite goes to B, which takes every type.
  a.SetReadOnly(true);
  chain.AddResource(HandleOf("sprite2"), kSPR2, 2, kNoName, true);
  EXPECT_EQ(chain.GetError(), noErr);
  EXPECT_TRUE(Holds(b, kSPR2, 2));
  EXPECT_FALSE(Holds(a, kSPR2, 2));
  // B refusing it too: no taker.
  chain.ProhibitType(&b, kSPR2);
  EXPECT_FALSE(chain.CanWriteType(kSPR2));
  MHandle* h = HandleOf("x");
  chain.AddResource(h, kSPR2, 3, kNoName, true);
  EXPECT_EQ(chain.GetError(), typeRefusedErr);
  HFree(h);
}

TEST(ChainResFile, AddResourceErrorsWhenNoMemberTakesIt) {
  MHandle* h = HandleOf("x");
  {
    MemResFile only;
    TestChain chain;
    chain.AddFile(&only);
    chain.AddExclusiveType(&only, kDGRP);
    chain.AddResource(h, kSPR2, 1, kNoName, true);
    EXPECT_EQ(chain.GetError(), typeRefusedErr);
  }
  {
    MemResFile only;
    only.SetReadOnly(true);
    TestChain chain;
    chain.AddFile(&only);
    chain.AddResource(h, kSPR2, 1, kNoName, true);
    EXPECT_EQ(chain.GetError(), noTakerErr);
  }
  {
    TestChain empty;
    empty.AddResource(h, kSPR2, 1, kNoName, true);
    EXPECT_EQ(empty.GetError(), noTakerErr);
    EXPECT_EQ(empty.CountTypes(), 0);
    EXPECT_EQ(empty.Count(kSPR2), 0);
    EXPECT_EQ(empty.UniqueID(kSPR2), 0);
    EXPECT_FALSE(empty.IsWritable());
    EXPECT_FALSE(empty.ValidFile());
    EXPECT_EQ(empty.GetResource(kSPR2, 1), nullptr);
    EXPECT_EQ(empty.GetError(), noSuchResourceErr);
    EXPECT_FALSE(empty.IsNativeOrder(h));
    EXPECT_EQ(empty.GetError(), notMemberErr);
  }
  HFree(h);
}

TEST(ChainResFile, AddingUnderAStoredKeyReplacesItWherever) {
  MemResFile a, b;
  a.PutStored(kOBJD, 5, "old in a");
  TestChain chain;
  chain.AddFile(&a);
  chain.AddFile(&b);
  chain.AddExclusiveType(&a, kSPR2);  // OBJD now goes to B
  chain.AddResource(HandleOf("new"), kOBJD, 5, kNoName, true);
  EXPECT_EQ(chain.GetError(), noErr);
  EXPECT_FALSE(a.GetStored(kOBJD, 5, nullptr));
  EXPECT_EQ(BytesOf(chain.GetResource(kOBJD, 5)), "new");
  EXPECT_EQ(chain.Count(kOBJD), 1);

  // The very handle stored in A, added again: A keeps nothing, B gets it.
  a.PutStored(kOBJD, 6, "mine");
  MHandle* mine = chain.GetResource(kOBJD, 6);
  ASSERT_NE(mine, nullptr);
  chain.AddResource(mine, kOBJD, 6, kNoName, true);
  EXPECT_EQ(chain.GetError(), noErr);
  EXPECT_FALSE(a.GetStored(kOBJD, 6, nullptr));
  EXPECT_TRUE(Holds(b, kOBJD, 6));
  EXPECT_EQ(BytesOf(chain.GetResource(kOBJD, 6)), "mine");

  // A resource in another language leaves the base language's resource where it is.
  constexpr uint32_t kSTR = MakeResType('S', 'T', 'R', '#');
  a.PutStored(kSTR, 1, "english");
  chain.AddLanguageResource(HandleOf("french"), kSTR, 1, kNoName, 3, true);
  EXPECT_EQ(chain.GetError(), noErr);
  EXPECT_TRUE(a.GetStored(kSTR, 1, nullptr));
  EXPECT_EQ(BytesOf(b.GetLanguageResource(kSTR, 1, 3)), "french");

  // A resource that no member takes removes nothing.
  b.SetReadOnly(true);
  MHandle* h = HandleOf("lost?");
  chain.AddResource(h, kOBJD, 5, kNoName, true);
  EXPECT_EQ(chain.GetError(), typeRefusedErr);
  EXPECT_EQ(BytesOf(chain.GetResource(kOBJD, 5)), "new");
  HFree(h);
}

TEST(ChainResFile, AFailedWriteInTheTakerKeepsTheCopyOfAnotherMember) {
  MemResFile a, b;
  a.PutStored(kOBJD, 5, "old in a");
  TestChain chain;
  chain.AddFile(&a);
  chain.AddFile(&b);
  chain.AddExclusiveType(&a, kSPR2);  // OBJD now goes to B
  b.SetWriteError(shortWriteErr);
  chain.AddResource(HandleOf("new"), kOBJD, 5, kNoName, true);
  EXPECT_NE(chain.GetError(), noErr);
  EXPECT_TRUE(a.GetStored(kOBJD, 5, nullptr));
  a.Update();
  EXPECT_TRUE(a.GetStored(kOBJD, 5, nullptr));

  // Once the taker can write, the same add moves the resource.
  b.SetWriteError(noErr);
  chain.Update();
  chain.AddResource(HandleOf("newer"), kOBJD, 5, kNoName, true);
  EXPECT_EQ(chain.GetError(), noErr);
  EXPECT_FALSE(Holds(a, kOBJD, 5));
  EXPECT_TRUE(Holds(b, kOBJD, 5));
  EXPECT_EQ(BytesOf(chain.GetResource(kOBJD, 5)), "newer");
}

TEST(ChainResFile, LookUpsRunAcrossTheMembersInOrder) {
  MemResFile a, b;
  a.PutStored(kSPR2, 1, "a1");
  a.PutStored(kSPR2, 2, "a2");
  a.PutStored(kOBJD, 9, "a9");
  for (uint16_t id = 1; id <= 5; ++id) b.PutStored(kSPR2, id, "b" + std::to_string(id));
  b.PutStored(kDGRP, 1, "bd");
  TestChain chain;
  chain.AddFile(&a);
  chain.AddFile(&b);
  EXPECT_EQ(chain.Count(kSPR2), 7);
  EXPECT_EQ(BytesOf(chain.GetResource(kSPR2, 2)), "a2");  // the first member wins
  EXPECT_EQ(BytesOf(chain.GetResource(kDGRP, 1)), "bd");
  // Index 3 is the first resource of the second member.
  MHandle* third = chain.GetIndResource(kSPR2, 3);
  EXPECT_EQ(third, b.GetIndResource(kSPR2, 1));
  EXPECT_EQ(chain.GetIndResource(kSPR2, 8), nullptr);
  EXPECT_EQ(chain.GetError(), noSuchResourceErr);
  EXPECT_EQ(chain.GetResType(third), kSPR2);
  int16_t id = 0;
  chain.GetResID(third, id);
  EXPECT_EQ(chain.GetError(), noErr);
  MHandle* stranger = HandleOf("s");
  chain.GetResID(stranger, id);
  EXPECT_EQ(chain.GetError(), notMemberErr);  // the last member's answer
  EXPECT_TRUE(chain.IsNativeOrder(third));
  EXPECT_EQ(chain.GetError(), noErr);
  HFree(stranger);

  // Types: each member's from its last index down, duplicates once.
  ASSERT_EQ(a.CountTypes(), 2);
  std::vector<uint32_t> expected = {a.GetIndType(2), a.GetIndType(1)};
  for (int16_t t = b.CountTypes(); t >= 1; --t)
    if (std::find(expected.begin(), expected.end(), b.GetIndType(uint16_t(t))) == expected.end())
      expected.push_back(b.GetIndType(uint16_t(t)));
  ASSERT_EQ(chain.CountTypes(), 3);
  for (uint16_t t = 1; t <= 3; ++t) EXPECT_EQ(chain.GetIndType(t), expected[t - 1u]);
  EXPECT_EQ(chain.GetIndType(0), 0u);
  EXPECT_EQ(chain.GetIndType(4), 0u);

  // Ids above every member's, so that an added resource replaces nothing.
  EXPECT_EQ(chain.UniqueID(kSPR2), 129);
  b.PutStored(kSPR2, 400, "b400");
  EXPECT_EQ(chain.UniqueID(kSPR2), 401);
  FixedStringBuffer<64> name;
  chain.UniqueName(kSPR2, name);
  EXPECT_STREQ(name.c_str(), "anonymous 0");
}

TEST(ChainResFile, MembersAndTypeLists) {
  ScopedDebugCapture capture;
  MemResFile files[9];
  TestChain chain;
  for (int i = 0; i < 3; ++i) chain.AddFile(&files[i]);
  chain.AddExclusiveType(&files[1], kSPR2);
  chain.ProhibitType(&files[2], kOBJD);
  // The other mode on a list that has types is refused.
  chain.ProhibitType(&files[1], kDGRP);
  chain.AddExclusiveType(&files[2], kDGRP);
  EXPECT_EQ(capture.ReportCount(), 2);
  chain.RemoveFile(&files[0]);
  EXPECT_EQ(chain.CountFiles(), 2);
  EXPECT_EQ(chain.GetFile(0), &files[1]);
  EXPECT_EQ(chain.GetFile(1), &files[2]);
  EXPECT_EQ(chain.GetFile(2), nullptr);
  // The type lists moved with their members.
  files[2].SetReadOnly(true);
  EXPECT_TRUE(chain.CanWriteType(kSPR2));
  EXPECT_FALSE(chain.CanWriteType(kDGRP));
  files[2].SetReadOnly(false);
  EXPECT_TRUE(chain.CanWriteType(kDGRP));
  EXPECT_FALSE(chain.CanWriteType(kOBJD));

  for (int i = 3; i < 9; ++i) chain.AddFile(&files[i]);
  EXPECT_EQ(chain.CountFiles(), 8);
  chain.AddFile(&files[0]);  // a ninth
  EXPECT_EQ(chain.CountFiles(), 8);
  EXPECT_EQ(capture.ReportCount(), 3);
}

TEST(ChainResFile, WritesGoToWritableMembersOnly) {
  MemResFile a, b;
  TestChain chain;
  chain.AddFile(&a);
  chain.AddFile(&b);
  MHandle* h = HandleOf("data");
  chain.AddResource(h, kPALT, 1, kNoName, true);
  ASSERT_EQ(chain.GetError(), noErr);
  a.SetReadOnly(true);
  chain.WriteResource(h);
  EXPECT_EQ(chain.GetError(), notMemberErr);  // only A knows it, and A is read-only
  EXPECT_FALSE(a.GetStored(kPALT, 1, nullptr));
  a.SetReadOnly(false);
  chain.WriteResource(h);
  EXPECT_EQ(chain.GetError(), noErr);
  EXPECT_TRUE(a.GetStored(kPALT, 1, nullptr));
  chain.RemoveResource(h);
  EXPECT_EQ(chain.GetError(), noErr);
  EXPECT_EQ(chain.Count(kPALT), 0);
  EXPECT_EQ(chain.Update(), noErr);
}

// A resource that the taker holds is replaced by the taker itself: the chain asks it whether
// it holds the resource and reads none of the old data (a walked file holds every header).
TEST(ChainResFile, ReplacingInTheTakerReadsNothingOfTheOldCopy) {
  TestTempFolder folder;
  const std::string path = folder / "object.iff";
  {
    IFFResFile2 maker;
    ASSERT_EQ(maker.OpenWithOptions(PathOf(path), kCreateIfMissing), noErr);
    MHandle* h = HandleOf("old palette");
    maker.AddResource(h, kPALT, 1, kNoName, true);
    maker.WriteResource(h);
    ASSERT_EQ(maker.Close(), noErr);
    ASSERT_EQ(maker.ClearSavedMap(PathOf(path)), noErr);
  }
  IFFResFile2 file;
  ASSERT_EQ(file.Open(PathOf(path)), noErr);
  TestChain chain;
  chain.AddFile(&file);
  MHandle* h = HandleOf("new palette");
  PlatformFileResetFaults();
  chain.AddResource(h, kPALT, 1, kNoName, true);
  EXPECT_EQ(chain.GetError(), noErr);
  EXPECT_EQ(PlatformFileCallCount(kPlatformFaultRead), 0);
  chain.WriteResource(h);
  EXPECT_EQ(chain.GetError(), noErr);
  EXPECT_EQ(chain.Count(kPALT), 1);
  EXPECT_EQ(chain.Close(), noErr);
  ASSERT_EQ(file.Open(PathOf(path)), noErr);
  EXPECT_EQ(file.Count(kPALT), 1);
  EXPECT_EQ(BytesOf(file.GetResource(kPALT, 1)), "new palette");
}

TEST(ChainResFile, ChainOverIFF1Files) {
  TestTempFolder folder;
  std::string defs = folder / "chair.iff";
  std::string sprites = folder / "chair.spf";
  {
    IFFResFile maker;
    ASSERT_EQ(maker.Create(PathOf(defs)), noErr);
    ASSERT_EQ(maker.Create(PathOf(sprites)), noErr);
  }
  IFFResFile d, s;
  ASSERT_EQ(d.Open(PathOf(defs)), noErr);
  ASSERT_EQ(s.Open(PathOf(sprites)), noErr);
  TestChain chain;
  chain.AddFile(&d);
  chain.AddFile(&s);
  chain.ProhibitType(&d, kSPR2);
  chain.AddExclusiveType(&s, kSPR2);
  FixedStringBuffer<64> name("Chair");
  chain.UniqueName(kSPR2, name);
  chain.AddResource(HandleOf("sprite"), kSPR2, chain.UniqueID(kSPR2), name, true);
  chain.AddResource(HandleOf("def"), kOBJD, 128, FixedStringBuffer<64>("Chair"), true);
  EXPECT_EQ(chain.GetError(), noErr);
  EXPECT_EQ(chain.Close(), noErr);
  EXPECT_FALSE(chain.ValidFile());

  ASSERT_EQ(d.Open(PathOf(defs)), noErr);
  ASSERT_EQ(s.Open(PathOf(sprites)), noErr);
  EXPECT_EQ(d.Count(kSPR2), 0);
  EXPECT_EQ(BytesOf(s.GetResource(kSPR2, 129)), "sprite");
  EXPECT_EQ(BytesOf(chain.GetNamedResource(kOBJD, FixedStringBuffer<64>("chair"))), "def");
  MHandle* sprite = chain.GetNamedResource(kSPR2, FixedStringBuffer<64>("CHAIR"));
  EXPECT_EQ(BytesOf(sprite), "sprite");
  FixedStringBuffer<64> got;
  chain.GetResName(sprite, got);
  EXPECT_STREQ(got.c_str(), "Chair");
  chain.Close();
}

TEST(ChainResFile, UpdateAndCloseGoToEveryMember) {
  MemResFile a, b, c;
  TestChain chain;
  chain.AddFile(&a);
  chain.AddFile(&b);
  chain.AddFile(&c);
  chain.AddExclusiveType(&a, kSPR2);
  chain.AddExclusiveType(&b, kOBJD);
  chain.AddResource(HandleOf("s"), kSPR2, 1, kNoName, true);
  chain.AddResource(HandleOf("o"), kOBJD, 1, kNoName, true);
  chain.AddResource(HandleOf("d"), kDGRP, 1, kNoName, true);
  a.SetWriteError(shortWriteErr);
  b.SetWriteError(readOnlyErr);
  // The first member error is the chain's; the other members are written all the same.
  EXPECT_EQ(chain.Update(), shortWriteErr);
  EXPECT_TRUE(c.GetStored(kDGRP, 1, nullptr));
  // Close answers the last failure and leaves the chain's own error clear.
  EXPECT_EQ(chain.Close(), readOnlyErr);
  EXPECT_EQ(chain.GetError(), noErr);
  EXPECT_FALSE(chain.ValidFile());
}
