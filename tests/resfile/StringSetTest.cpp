#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DebugCapture.h"
#include "MemResFile.h"
#include "strset.h"

namespace {

// Little-endian stored bytes, built field by field.
struct Bytes {
  std::vector<uint8_t> v;
  Bytes& i16(int16_t x) {
    v.push_back(static_cast<uint8_t>(x & 0xFF));
    v.push_back(static_cast<uint8_t>((x >> 8) & 0xFF));
    return *this;
  }
  Bytes& u8(uint8_t x) {
    v.push_back(x);
    return *this;
  }
  Bytes& str(const char* s) {  // with its NUL
    v.insert(v.end(), s, s + strlen(s) + 1);
    return *this;
  }
  Bytes& raw(const std::string& s) {
    v.insert(v.end(), s.begin(), s.end());
    return *this;
  }
};

struct Expect {
  const char* text;
  const char* comment;  // null: no comment
};

void ExpectStrings(const StringSet& set, int8_t language, const std::vector<Expect>& want) {
  ASSERT_EQ(set.Count(language), static_cast<int32_t>(want.size()));
  for (size_t k = 0; k < want.size(); k++) {
    int32_t index = static_cast<int32_t>(k + 1);
    EXPECT_STREQ(set.GetString(index, language), want[k].text) << "index " << index;
    const char* comment = set.GetComment(index, language);
    if (want[k].comment == nullptr) {
      EXPECT_EQ(comment, nullptr) << "index " << index;
    } else {
      ASSERT_NE(comment, nullptr) << "index " << index;
      EXPECT_STREQ(comment, want[k].comment);
    }
  }
}

}  // namespace

TEST(StringSet, ReadsEveryStoredForm) {
  struct Case {
    const char* what;
    uint32_t type;
    std::vector<uint8_t> bytes;
    std::vector<Expect> want;
  };
  const Case cases[] = {
      {"-1", kStringSetType, Bytes().i16(-1).i16(2).str("one").str("two").v,
       {{"one", nullptr}, {"two", nullptr}}},
      {"-2", kStringSetType, Bytes().i16(-2).i16(2).str("one").str("c1").str("two").str("").v,
       {{"one", "c1"}, {"two", ""}}},
      {"-3", kStringSetType,
       Bytes().i16(-3).i16(3).u8(1).str("one").str("c1").u8(1).str("two").str("").u8(4).str(
           "drei").str("k").v,
       {{"one", "c1"}, {"two", ""}}},
      {"counted", kStringSetType,
       Bytes().i16(2).u8(3).raw("a\xD5" "b").u8(2).raw("\xA1k").v, {{"a'b", nullptr}, {"ok", nullptr}}},
      {"text", kTextStringSetType, Bytes().raw("^one^\r\n^two^\r\nnot^ this").v,
       {{"one", nullptr}, {"two", nullptr}}},
      {"text never closed", kTextStringSetType, Bytes().raw("^open").v, {}},
      {"empty counted", kStringSetType, Bytes().i16(0).v, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemResFile file;
    file.PutStored(c.type, 200, c.bytes, true, "labels");
    StringSet set;
    ASSERT_EQ(set.Load(&file, 200), noErr);
    ExpectStrings(set, 0, c.want);
    EXPECT_STREQ(set.GetName().c_str(), "labels");
    EXPECT_EQ(file.HeldCount(), 0);
  }
}

// In form -3 each run of entries of one language starts again at index 1, so a later run of a
// language stands before the earlier ones. Entries of other languages end a run even when
// they are skipped.
TEST(StringSet, LaterRunsOfALanguageComeFirst) {
  Bytes stored;
  stored.i16(-3).i16(9);
  const std::pair<uint8_t, const char*> kEntries[] = {
      {1, "a"}, {1, "b"}, {2, "x"}, {1, "c"}, {1, "d"}, {2, "y"}, {2, "z"}, {3, "q"}, {1, "e"}};
  for (const auto& e : kEntries) stored.u8(e.first).str(e.second).str((std::string("#") + e.second).c_str());

  MemResFile file;
  file.PutStored(kStringSetType, 5, stored.v);
  StringSet english;
  english.Init(&file, 5, kStringSetType, 0, 0);
  ASSERT_EQ(english.Read(0, 0), noErr);
  ExpectStrings(english, 0, {{"e", "#e"}, {"c", "#c"}, {"d", "#d"}, {"a", "#a"}, {"b", "#b"}});
  EXPECT_EQ(english.Count(1), 0);

  StringSet all;
  all.Init(&file, 5, kStringSetType, 0, 1);
  ASSERT_EQ(all.Read(1, 0), noErr);
  ExpectStrings(all, 0, {{"e", "#e"}, {"c", "#c"}, {"d", "#d"}, {"a", "#a"}, {"b", "#b"}});
  ExpectStrings(all, 1, {{"y", "#y"}, {"z", "#z"}, {"x", "#x"}});
  ExpectStrings(all, 2, {{"q", "#q"}});
}

TEST(StringSet, WritesFormMinus3AndReadsItBack) {
  MemResFile file;
  StringSet set;
  set.SetString(1, "a");
  set.SetComment(1, "x");
  set.SetString(2, "bc");
  ASSERT_EQ(set.Save(&file, 129), noErr);
  EXPECT_EQ(file.HeldCount(), 0);

  std::vector<uint8_t> stored;
  ASSERT_TRUE(file.GetStored(kStringSetType, 129, &stored));
  std::vector<uint8_t> want =
      Bytes().i16(-3).i16(2).u8(1).str("a").str("x").u8(1).str("bc").str("").v;
  ASSERT_EQ(stored.size(), want.size() + 2);  // one spare byte per entry, never read
  EXPECT_TRUE(std::equal(want.begin(), want.end(), stored.begin()));

  StringSet back;
  ASSERT_EQ(back.Load(&file, 129), noErr);
  ExpectStrings(back, 0, {{"a", "x"}, {"bc", ""}});
}

TEST(StringSet, WriteMergesALanguageIntoTheStoredEnglish) {
  MemResFile file;
  StringSet english;
  for (uint32_t i = 1; i <= 5; i++) english.SetString(i, ("en" + std::to_string(i)).c_str());
  ASSERT_EQ(english.Save(&file, 7), noErr);

  StringSet third;
  third.Init(&file, 7, kStringSetType, 0, 3);
  third.SetString(1, "drei1");
  third.SetString(2, "drei2");
  ASSERT_EQ(third.Write(), noErr);

  std::vector<uint8_t> stored;
  ASSERT_TRUE(file.GetStored(kStringSetType, 7, &stored));
  EXPECT_EQ(stored[2], 10);  // 5 English entries and 5 of language 3, nothing else

  StringSet check;
  check.Init(&file, 7, kStringSetType, 0, 3);
  ASSERT_EQ(check.Read(0, 0), noErr);
  ExpectStrings(check, 3, {{"drei1", ""}, {"drei2", ""}, {"en3", ""}, {"en4", ""}, {"en5", ""}});
  EXPECT_EQ(check.GetOrigin(1, 3), 3);
  EXPECT_EQ(check.GetOrigin(3, 3), 3);  // read back as this language's own entries
  StringSet other;
  other.Init(&file, 7, kStringSetType, 0, 5);
  ASSERT_EQ(other.Read(0, 0), noErr);
  EXPECT_EQ(other.Count(5), 0);
}

TEST(StringSet, EmptyLanguageFallsBackToEnglish) {
  MemResFile file;
  file.PutStored(kStringSetType, 3,
                 Bytes().i16(-3).i16(3).u8(1).str("yes").str("c").u8(1).str("no").str("").u8(5)
                     .str("ja").str("").v);
  StringSet set;
  set.Init(&file, 3, kStringSetType, 0, 2);
  ASSERT_EQ(set.Read(0, 1), noErr);
  ExpectStrings(set, 2, {{"yes", "c"}, {"no", ""}});

  StringSet all;
  all.Init(&file, 3, kStringSetType, 0, 0);
  ASSERT_EQ(all.Read(1, 0), noErr);
  ExpectStrings(all, 4, {{"ja", ""}});
  EXPECT_EQ(all.Count(7), 2);  // empty languages take copies of English
  EXPECT_EQ(all.GetOrigin(1, 7), 0);
}

TEST(StringSet, ForeignOrderSetsAreSwizzled) {
  MemResFile file;
  file.PutStored(kStringSetType, 1,
                 std::vector<uint8_t>{0xFF, 0xFF, 0x00, 0x02, 'o', 'n', 'e', 0, 't', 'w', 'o', 0},
                 false);
  file.PutStored(kStringSetType, 2, std::vector<uint8_t>{0xFF, 0xFD, 0x00, 0x01, 1, 'x', 0, 'y', 0},
                 false);
  file.PutStored(kStringSetType, 3, std::vector<uint8_t>{0x00, 0x01, 2, 'h', 'i'}, false);
  StringSet a, b, c;
  ASSERT_EQ(a.Load(&file, 1), noErr);
  ExpectStrings(a, 0, {{"one", nullptr}, {"two", nullptr}});
  ASSERT_EQ(b.Load(&file, 2), noErr);
  ExpectStrings(b, 0, {{"x", "y"}});
  ASSERT_EQ(c.Load(&file, 3), noErr);
  ExpectStrings(c, 0, {{"hi", nullptr}});
}

TEST(StringSet, CorruptSetsGiveAnErrorAndStayEmpty) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {"-1 count past end", Bytes().i16(-1).i16(5).str("a").v},
      {"-1 huge count", Bytes().i16(-1).i16(32767).str("a").v},
      {"-1 negative count", Bytes().i16(-1).i16(-4).v},
      {"-1 no NUL", Bytes().i16(-1).i16(1).raw("ab").v},
      {"-2 comment missing", Bytes().i16(-2).i16(1).str("a").raw("b").v},
      {"-3 count past end", Bytes().i16(-3).i16(2).u8(1).str("a").str("").u8(1).v},
      {"-3 bad language", Bytes().i16(-3).i16(1).u8(21).str("a").str("").v},
      {"-3 language 0 code", Bytes().i16(-3).i16(1).u8(0).str("a").str("").v},
      {"counted past end", Bytes().i16(3).u8(1).raw("a").v},
      {"length past end", Bytes().i16(1).u8(9).raw("ab").v},
      {"one byte", Bytes().u8(0xFF).v},
      {"count cut short", Bytes().i16(-1).u8(1).v},
  };
  ScopedDebugCapture capture;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemResFile file;
    file.PutStored(kStringSetType, 9, c.bytes);
    StringSet set;
    set.Init(&file, 9, kStringSetType, 0, 0);
    EXPECT_EQ(set.Read(0, 1), shortReadErr);
    for (int8_t lang = 0; lang < kMaxLanguages; lang++) EXPECT_EQ(set.Count(lang), 0);
    EXPECT_EQ(file.HeldCount(), 0);
    StringSet loaded;
    EXPECT_NE(loaded.Load(&file, 9), noErr);
  }
}

TEST(StringSet, MissingResourceOrFile) {
  MemResFile file;
  StringSet set;
  EXPECT_EQ(set.Read(0, 1), -1);  // unbound
  EXPECT_EQ(set.Load(&file, 77), noSuchResourceErr);
  file.Close();
  EXPECT_EQ(set.Load(&file, 77), -1);
  EXPECT_EQ(set.Save(&file, 77), -1);
}

TEST(StringSet, AccessorsAndTheirBadIndexes) {
  ScopedDebugCapture capture;
  StringSet set;
  set.SetComment(4, "c", 5);  // an empty language: nothing, and no assertion
  EXPECT_EQ(capture.ReportCount(), 0u);

  set.InsertString(9, "b");  // clamped to the end
  set.InsertString(0, "a");  // clamped to the front
  set.SetString(3, "c");
  ExpectStrings(set, 0, {{"a", nullptr}, {"b", nullptr}, {"c", nullptr}});
  set.SetString(9, "x");
  EXPECT_TRUE(capture.Saw("bad index"));
  set.RemoveString(2);
  ExpectStrings(set, 0, {{"a", nullptr}, {"c", nullptr}});
  set.RemoveString(3);
  EXPECT_TRUE(capture.Saw("removing non-existent string"));
  EXPECT_EQ(set.GetString(0), nullptr);
  EXPECT_EQ(set.GetString(3), nullptr);
  EXPECT_EQ(set.Count(25), 0);
  EXPECT_TRUE(capture.Saw("Illegal language specified."));

  set.SetString(1, "neun", 9);
  int8_t found = -1;
  EXPECT_STREQ(set.FindString(2, &found), "c");
  EXPECT_EQ(found, 0);
  EXPECT_EQ(set.FindString(3, &found), nullptr);

  std::vector<std::string> seen;
  for (const char* s : set) seen.push_back(s);
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "c"}));

  StringSet copy;
  copy.SetString(1, "1");
  copy.SetString(2, "2");
  copy.SetString(3, "3");
  copy = set;
  ExpectStrings(copy, 0, {{"a", ""}, {"c", ""}});
  EXPECT_EQ(copy.GetResFile(), nullptr);
}

TEST(StringSet, GetIndStringOfAFile) {
  MemResFile file;
  file.PutStored(kStringSetType, 5, Bytes().i16(-1).i16(2).str("one").str("two").v);
  FixedStringBuffer<64> out("stale");
  for (int16_t index : {0, -1, 3}) {
    file.GetIndString(out, 5, index);
    EXPECT_STREQ(out.c_str(), "") << index;
  }
  file.GetIndString(out, 5, 2);
  EXPECT_STREQ(out.c_str(), "two");
}

TEST(AnimTable, KeepsItsOwnNamesAndLowerCasesTheRest) {
  MemResFile file;
  file.PutStored(kStringSetType, 1, Bytes().i16(-1).i16(3).str("RUN").str("Jump-A").str("Sit").v);
  AnimTable table;
  table.SetString(1, "Walk");
  ASSERT_EQ(table.Load(&file, 1), noErr);
  ExpectStrings(table, 0, {{"Walk", nullptr}, {"jump-a", nullptr}, {"sit", nullptr}});
  AnimTable missing;
  EXPECT_NE(missing.Load(&file, 2), noErr);
}
