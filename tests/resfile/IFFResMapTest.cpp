#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "DebugCapture.h"
#include "IFFResMap.h"
#include "MHandle.h"
#include "Recon.h"

namespace {

constexpr uint32_t kSprite = MakeResType('S', 'P', 'R', '2');
constexpr uint32_t kGroup = MakeResType('D', 'G', 'R', 'P');

IFFResEntry* Put(IFFResMap& map, uint32_t type, int32_t id, uint32_t offset, uint16_t flags,
                 const char* name) {
  IFFResEntry* entry = map.AddEntry(type);
  map.SetID(*entry, id);
  entry->fFileoffset = offset;
  entry->fFlags = entry->fStoredFlags = flags;
  map.SetName(*entry, name);
  return entry;
}

std::vector<uint8_t> Bytes(MHandle* h) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(HLock(h));
  std::vector<uint8_t> bytes(p, p + HGetSize(h));
  HUnlock(h);
  return bytes;
}

MHandle* HandleOf(const std::vector<uint8_t>& bytes) {
  MHandle* h = HAlloc(uint32_t(bytes.size()));
  if (!bytes.empty()) std::memcpy(HLock(h), bytes.data(), bytes.size());
  HUnlock(h);
  return h;
}

void PutLE32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

void PutLE16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

// The 12-byte record header of an `rsmp` written on this host.
std::vector<uint8_t> MapRecordHeader() {
  std::vector<uint8_t> out = {0, 0, 0, 0};
  PutLE32(out, 0);
  PutLE32(out, kResMapType);
  return out;
}

}  // namespace

TEST(IFFResMap, StoredFormHasItsByteLayout) {
  IFFResMap map;
  map.SetWasted(300);
  Put(map, kSprite, 1, 64, 0x0310, "abc");  // name + NUL is even: no pad
  Put(map, kSprite, -2, 0x1234, 0x0000, "ab");  // odd: one pad byte follows
  MHandle* h = WriteMapToHandle(map, kResMapType);
  ASSERT_NE(h, nullptr);
  std::vector<uint8_t> expect = MapRecordHeader();
  PutLE32(expect, 300);
  PutLE32(expect, 1);
  PutLE32(expect, kSprite);
  PutLE32(expect, 2);
  PutLE32(expect, 64);
  PutLE16(expect, 1);
  PutLE16(expect, 0x0310);
  for (char c : std::string("abc")) expect.push_back(uint8_t(c));
  expect.push_back(0);
  PutLE32(expect, 0x1234);
  PutLE16(expect, 0xFFFE);
  PutLE16(expect, 0);
  expect.push_back('a');
  expect.push_back('b');
  expect.push_back(0);
  expect.push_back(0);  // pad: compared below only by position
  std::vector<uint8_t> got = Bytes(h);
  ASSERT_EQ(got.size(), expect.size());
  got.back() = 0;
  EXPECT_EQ(got, expect);
  EXPECT_EQ(MeasureMap(map, kResMapType), uint32_t(expect.size()));
  HFree(h);
}

TEST(IFFResMap, SavedAndLoadedMapIsEqual) {
  IFFResMap map;
  map.SetWasted(12345);
  Put(map, kSprite, 7, 500, 0x0010, "seven");
  Put(map, kGroup, 128, 64, 0x0000, "");
  Put(map, kSprite, -1, 900, 0x0510, "minus one");
  MHandle* h = WriteMapToHandle(map, kResMapType);
  IFFResMap back;
  ASSERT_TRUE(ReadMapFromHandle(back, h, kResMapType));
  HFree(h);
  EXPECT_EQ(back.GetWasted(), 12345u);
  ASSERT_EQ(back.CountTypes(), 2);
  EXPECT_EQ(back.GetIndType(1), kSprite);
  EXPECT_EQ(back.GetIndType(2), kGroup);
  IFFResEntry* e = back.GetIndEntry(kSprite, 2, nullptr);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->fID, -1);
  EXPECT_EQ(e->fFileoffset, 900u);
  EXPECT_EQ(e->fFlags, 0x0510);
  EXPECT_EQ(e->fStoredFlags, 0x0510);
  EXPECT_STREQ(e->fName.c_str(), "minus one");
  EXPECT_EQ(e->fHandle, nullptr);
  EXPECT_EQ(back.GetIndEntry(kGroup, 1, nullptr)->fFileoffset, 64u);
}

TEST(IFFResMap, LookupsByLanguageNameAndIndex) {
  IFFResMap map;
  IFFResEntry* base = Put(map, kSprite, 5, 64, 0x0000, "five");
  IFFResEntry* three = Put(map, kSprite, 5, 200, 0x0300, "five");
  EXPECT_EQ(map.FindEntry(kSprite, 5, 3, nullptr), three);
  EXPECT_EQ(map.FindEntry(kSprite, 5, 4, nullptr), base);
  EXPECT_EQ(map.FindEntry(kSprite, 5, nullptr), base);
  EXPECT_EQ(map.FindEntryExact(kSprite, 5, 4), nullptr);
  EXPECT_EQ(map.FindEntryExact(kSprite, 5, 3), three);
  FixedStringBuffer<64> name("five");
  EXPECT_EQ(map.FindEntryByName(kSprite, name, nullptr), base);
  EXPECT_EQ(map.GetIndEntry(kSprite, 0, nullptr), nullptr);
  EXPECT_EQ(map.GetIndEntry(kSprite, 3, nullptr), nullptr);

  EXPECT_EQ(map.MaxID(kSprite, 128), 128);
  Put(map, kSprite, 200, 300, 0, "");
  Put(map, kSprite, 1, 400, 0, "");
  EXPECT_EQ(map.MaxID(kSprite, 128), 200);

  Put(map, kGroup, 1, 500, 0, "");
  EXPECT_EQ(map.CountTypes(), 2);
  map.RemoveEntry(map.FindEntry(kGroup, 1, nullptr));
  EXPECT_EQ(map.CountTypes(), 1);
  EXPECT_EQ(map.GetIndType(2), 0u);

  EXPECT_TRUE(map.UpdateOffset(300, 100));
  EXPECT_EQ(map.FindEntry(kSprite, 200, nullptr)->fFileoffset, 200u);
  EXPECT_FALSE(map.UpdateOffset(12345, 1));
}

// Stored forms whose counts or names run past their bytes: each is refused with the map
// cleared, without reading past the data (the sanitizer watches) and without looping.
TEST(IFFResMap, CorruptStoredFormsAreRefused) {
  struct Case {
    const char* what;
    std::vector<uint8_t> body;
  };
  auto body = [](std::initializer_list<uint32_t> words) {
    std::vector<uint8_t> out;
    for (uint32_t w : words) PutLE32(out, w);
    return out;
  };
  std::vector<Case> cases = {
      {"node count past the end", body({0, 0x7FFFFFFF})},
      {"negative node count", body({0, 0xFFFFFFFF})},
      {"entry count past the end", body({0, 1, kSprite, 0x10000000})},
      {"body cut inside an entry", body({0, 1, kSprite, 1, 64})},
      {"no body at all", {}},
      {"one type in two nodes", body({0, 2, kSprite, 0, kSprite, 0})},
  };
  // A name that runs to the end of the data without its NUL.
  std::vector<uint8_t> unterminated = body({0, 1, kSprite, 1, 64});
  PutLE16(unterminated, 1);
  PutLE16(unterminated, 0);
  for (int i = 0; i < 10; ++i) unterminated.push_back('n');
  cases.push_back({"unterminated name", unterminated});

  ScopedDebugCapture capture;
  for (const Case& c : cases) {
    std::vector<uint8_t> record = MapRecordHeader();
    record.insert(record.end(), c.body.begin(), c.body.end());
    MHandle* h = HandleOf(record);
    IFFResMap map;
    Put(map, kGroup, 1, 64, 0, "stale");
    EXPECT_FALSE(ReadMapFromHandle(map, h, kResMapType)) << c.what;
    EXPECT_EQ(map.CountTypes(), 0) << c.what;
    HFree(h);
  }
  // A record of another type is not a map.
  IFFResMap map;
  MHandle* h = WriteMapToHandle(map, MakeResType('r', 's', 'm', 'x'));
  EXPECT_FALSE(ReadMapFromHandle(map, h, kResMapType));
  HFree(h);
}

// Look-ups by id and by handle stay in step with adds, id changes, handle changes, removals
// and copies, and answer the first entry in entry order, over many entries.
TEST(IFFResMap, LookupsByIdAndHandleFollowEveryChange) {
  IFFResMap map;
  std::vector<IFFResEntry*> entries;
  std::vector<MHandle*> handles;
  for (int32_t i = 0; i < 3000; ++i) {
    entries.push_back(Put(map, kSprite, i, 64 + 100 * uint32_t(i), 0, ""));
    handles.push_back(HAlloc(4));
    map.SetHandle(*entries.back(), handles.back());
  }
  uint32_t type = 0;
  for (int32_t i : {0, 1, 1500, 2999}) {
    EXPECT_EQ(map.FindEntry(kSprite, i, nullptr), entries[size_t(i)]);
    EXPECT_EQ(map.FindEntryByHandle(handles[size_t(i)], type), entries[size_t(i)]);
    EXPECT_EQ(type, kSprite);
  }
  // A later entry of the same id and language does not hide the first; renumbering the first
  // lets the later one answer, and the old id answers nothing once both moved.
  IFFResEntry* later = Put(map, kSprite, 7, 1, 0, "");
  EXPECT_EQ(map.FindEntry(kSprite, 7, nullptr), entries[7]);
  map.SetID(*entries[7], 30000);
  EXPECT_EQ(map.FindEntry(kSprite, 7, nullptr), later);
  EXPECT_EQ(map.FindEntry(kSprite, 30000, nullptr), entries[7]);
  map.SetID(*later, -5);
  EXPECT_EQ(map.FindEntry(kSprite, 7, nullptr), nullptr);
  EXPECT_EQ(map.FindEntry(kSprite, -5, nullptr), later);
  // Ids are 16 bits: 70000 is 4464.
  map.SetID(*later, 70000);
  EXPECT_EQ(map.FindEntry(kSprite, 4464, nullptr), later);

  // A handle moved to another entry, dropped, or held by a removed entry answers as it should.
  map.SetHandle(*entries[10], nullptr);
  EXPECT_EQ(map.FindEntryByHandle(handles[10], type), nullptr);
  EXPECT_EQ(type, 0u);
  map.SetHandle(*later, handles[10]);
  EXPECT_EQ(map.FindEntryByHandle(handles[10], type), later);
  EXPECT_TRUE(map.RemoveEntry(entries[20]));
  EXPECT_EQ(map.FindEntryByHandle(handles[20], type), nullptr);
  EXPECT_EQ(map.FindEntry(kSprite, 20, nullptr), nullptr);
  EXPECT_EQ(map.FindEntry(kSprite, 21, nullptr), entries[21]);

  // A copy has no handles but the same ids; a type removed answers nothing.
  IFFResMap copy(map);
  EXPECT_EQ(copy.FindEntryByHandle(handles[30], type), nullptr);
  ASSERT_NE(copy.FindEntry(kSprite, 30, nullptr), nullptr);
  EXPECT_EQ(copy.FindEntry(kSprite, 30, nullptr)->fFileoffset, entries[30]->fFileoffset);
  map.RemoveType(kSprite);
  EXPECT_EQ(map.FindEntryByHandle(handles[30], type), nullptr);
  EXPECT_EQ(map.FindEntry(kSprite, 30, nullptr), nullptr);
  for (MHandle* h : handles) HFree(h);
}

// Stored forms written on a host of the other byte order (the record's swap flag set) and
// names longer than an entry holds: numbers come out reversed, a long name is cut to 63
// characters with its assertion, and the fields after it are read from the right place.
TEST(IFFResMap, ForeignOrderAndLongNamesLoad) {
  auto be32 = [](std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 3; i >= 0; --i) out.push_back(uint8_t(v >> (8 * i)));
  };
  auto be16 = [](std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
  };
  std::vector<uint8_t> record = MapRecordHeader();
  record[0] = 1;  // the writer's order is not ours
  be32(record, 777);
  be32(record, 1);
  be32(record, kSprite);
  be32(record, 2);
  be32(record, 0x01020304);
  be16(record, 0xFFFE);
  be16(record, 0x0310);
  const std::string longName(70, 'x');
  record.insert(record.end(), longName.begin(), longName.end());
  record.push_back(0);  // 71 bytes: the next field starts after a pad byte
  record.push_back(0);
  be32(record, 64);
  be16(record, 9);
  be16(record, 0);
  for (char c : std::string("next")) record.push_back(uint8_t(c));
  record.push_back(0);

  ScopedDebugCapture capture;
  MHandle* h = HandleOf(record);
  IFFResMap map;
  ASSERT_TRUE(ReadMapFromHandle(map, h, kResMapType));
  HFree(h);
  EXPECT_EQ(capture.Count("append losing characters"), 1);
  EXPECT_EQ(map.GetWasted(), 777u);
  IFFResEntry* first = map.GetIndEntry(kSprite, 1, nullptr);
  IFFResEntry* second = map.GetIndEntry(kSprite, 2, nullptr);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(first->fFileoffset, 0x01020304u);
  EXPECT_EQ(first->fID, -2);
  EXPECT_EQ(first->fStoredFlags, 0x0310);
  EXPECT_EQ(std::string(first->fName.c_str()), std::string(63, 'x'));
  EXPECT_EQ(first->fName.length(), 63);
  EXPECT_EQ(second->fFileoffset, 64u);
  EXPECT_EQ(second->fID, 9);
  EXPECT_STREQ(second->fName.c_str(), "next");
}

// Names of a loaded map live in its stored form. Changing them (shorter, longer, empty and
// back), removing and adding entries, and copying the map leave every other name as it was,
// and the changed map saves and loads with the new names.
TEST(IFFResMap, NamesOfALoadedMapChangeOneByOne) {
  IFFResMap saved;
  const char* names[] = {"alpha", "be", "gamma", "", "delta"};
  for (int32_t i = 0; i < 5; ++i) Put(saved, kSprite, i, 64 + 100 * uint32_t(i), 0, names[i]);
  MHandle* h = WriteMapToHandle(saved, kResMapType);
  auto map = std::make_unique<IFFResMap>();
  ASSERT_TRUE(ReadMapFromHandle(*map, h, kResMapType));
  HFree(h);
  auto entry = [&map](int32_t id) { return map->FindEntry(kSprite, id, nullptr); };
  map->SetName(*entry(0), "a");
  map->SetName(*entry(1), "a name longer than the one it had");
  map->SetName(*entry(2), "");
  map->SetName(*entry(3), "was empty");
  map->SetName(*entry(2), "gam");
  EXPECT_TRUE(map->RemoveEntry(entry(4)));
  Put(*map, kSprite, 9, 900, 0, "added");
  const std::vector<std::string> expect = {"a", "a name longer than the one it had", "gam", "was empty", "added"};
  auto names_of = [](IFFResMap& m) {
    std::vector<std::string> out;
    for (int32_t i = 1; i <= m.Count(kSprite); ++i) out.emplace_back(m.GetIndEntry(kSprite, i, nullptr)->fName.c_str());
    return out;
  };
  EXPECT_EQ(names_of(*map), expect);
  FixedStringBuffer<64> gam("gam");
  EXPECT_EQ(map->FindEntryByName(kSprite, gam, nullptr), entry(2));

  IFFResMap copy(*map);
  map.reset();  // the copy keeps names of its own
  EXPECT_EQ(names_of(copy), expect);
  h = WriteMapToHandle(copy, kResMapType);
  IFFResMap back;
  ASSERT_TRUE(ReadMapFromHandle(back, h, kResMapType));
  HFree(h);
  EXPECT_EQ(names_of(back), expect);
}
