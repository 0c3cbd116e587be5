#include "attribtable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DebugCapture.h"
#include "TestTempFolder.h"
#include "flatfile.h"

namespace {

// Scans `text` as a markup file and answers the tables.
class Markup {
 public:
  explicit Markup(const std::string& text) {
    FixedStringBuffer<260> name(fTmp.WriteFile("spec.omk", text).c_str());
    EXPECT_EQ(fFile.Open(name), 0);
    EXPECT_EQ(ReadMarkupFile(fList, &fFile), 0);
  }
  int Count() { return fList.Count(); }
  AttribTable& Tag(int i) { return *fList.Nth(i); }
  AttribTableList& List() { return fList; }

 private:
  TestTempFolder fTmp;
  FlatFile fFile;
  AttribTableList fList;
};

// "name=value|name=value|..." of one table.
std::string Entries(AttribTable& t) {
  std::string out;
  for (int i = 0; AttribEntry* e = t.GetEntry(i); ++i) {
    if (i) out += "|";
    out += e->fName + "=" + e->fValue;
  }
  return out;
}

TEST(Markup, WordsNamesValuesAndQuotes) {
  Markup m("<Sprite Name=Foo file=\"My File.TGA\">");
  ASSERT_EQ(m.Count(), 1);
  EXPECT_EQ(Entries(m.Tag(0)), "sprite=|name=foo|file=My File.TGA");

  struct Case {
    const char* text;
    const char* entries;
  };
  const Case cases[] = {
      {"<a  name  =  value >", "a=|name=value"},
      {"<a one two>", "a=|one=|two="},
      {"<a n=foo=bar>", "a=|n=foobar"},  // the second '=' is dropped
      {"<a n= >", "a=|n="},
      {"<a \xD2Quoted Name\x22=\xD3V a L\xD2>", "a=|Quoted Name=V a L"},
      {"<a v=\"x>y\">", "a=|v=x"},  // quotes do not protect the close character
      {"<a =joins b>", "a=joins|b="},  // a blank before '=' still joins
      {"<=a ==b>", "a=b"},  // '=' at the start and after '=' is dropped
      {"<t v=\"open to the end>", "t=|v=open to the end"},
      {"<t a<b=1>", "t=|a<b=1"},  // the open character inside a tag is ordinary
      {"<T\tX=1\r\nY=\"\">", "t=|x=1|y="},
  };
  for (const Case& c : cases) {
    Markup one(c.text);
    ASSERT_EQ(one.Count(), 1) << c.text;
    EXPECT_EQ(Entries(one.Tag(0)), c.entries) << c.text;
  }
}

TEST(Markup, TagsTextOutsideEmptyTagsAndEnds) {
  Markup m("comments > and = signs <first a=1> between <> more <last b=2");
  ASSERT_EQ(m.Count(), 3);
  EXPECT_EQ(Entries(m.Tag(0)), "first=|a=1");
  EXPECT_EQ(m.Tag(1).EntryCount(), 0);  // an empty tag is still a table
  EXPECT_EQ(Entries(m.Tag(2)), "last=|b=2");  // the file ends inside the tag

  Markup nul(std::string("<a x=1>\0<b y=2>", 15));
  ASSERT_EQ(nul.Count(), 1);
  EXPECT_EQ(Entries(nul.Tag(0)), "a=|x=1");

  Markup none("no tags at all");
  EXPECT_EQ(none.Count(), 0);
}

TEST(Markup, LineNumbersUnderEveryLineEnd) {
  for (const char* eol : {"\n", "\r", "\r\n"}) {
    SCOPED_TRACE(testing::Message() << "eol " << static_cast<int>(eol[0]) << " " << eol[1] + 0);
    std::string e(eol);
    Markup m("<one a=1>" + e + e + "<two" + e + "  b=2 c" + e + "=3>" + e + "text" + e + "<three>");
    ASSERT_EQ(m.Count(), 3);
    EXPECT_EQ(m.Tag(0).GetEntry(0)->fLine, 1);
    EXPECT_EQ(m.Tag(0).GetEntry(1)->fLine, 1);
    EXPECT_EQ(m.Tag(1).GetEntry(0)->fLine, 3);
    EXPECT_EQ(m.Tag(1).GetEntry(1)->fLine, 4);
    EXPECT_EQ(m.Tag(1).GetEntry(2)->fLine, 4);  // an entry keeps the line it began on
    EXPECT_EQ(m.Tag(2).GetEntry(0)->fLine, 7);
  }
}

TEST(Markup, LargeFileAcrossReadBlocks) {
  std::string text;
  for (int i = 0; i < 800; ++i) text += "<sprite id=" + std::to_string(i) + " name=\"N " + std::to_string(i) + "\">\n";
  Markup m(text);
  ASSERT_EQ(m.Count(), 800);
  int32_t id = -1;
  EXPECT_TRUE(m.Tag(799).GetIntValue("id", &id));
  EXPECT_EQ(id, 799);
  EXPECT_STREQ(m.Tag(500).FindValue("name"), "N 500");
  EXPECT_EQ(m.Tag(500).GetEntry(0)->fLine, 501);
}

// Sizes far past what a pointer list can count (32,767 items) and far past a read block:
// nothing is dropped and every look-up, order and line is as in a small file.
TEST(Markup, LargeTagsFilesAndValuesLoseNothing) {
  {
    // One tag of 20,000 attributes, one per line, with a repeated name at the end.
    std::string text = "<big";
    for (int i = 0; i < 20000; ++i) text += "\na" + std::to_string(i) + "=" + std::to_string(i * 3);
    text += "\na5=again>";
    Markup m(text);
    ASSERT_EQ(m.Count(), 1);
    AttribTable& t = m.Tag(0);
    ASSERT_EQ(t.EntryCount(), 20002);
    EXPECT_STREQ(t.FindName(0), "big");
    for (int i : {0, 1, 12345, 19999}) {
      SCOPED_TRACE(i);
      AttribEntry* e = t.GetEntry(i + 1);
      ASSERT_NE(e, nullptr);
      EXPECT_EQ(e->fName, "a" + std::to_string(i));
      EXPECT_EQ(e->fValue, std::to_string(i * 3));
      EXPECT_EQ(e->fLine, i + 2);
    }
    int32_t value = 0;
    EXPECT_TRUE(t.GetIntValue("a19999", &value));
    EXPECT_EQ(value, 59997);
    EXPECT_EQ(t.Cursor(), 20000);
    EXPECT_STREQ(t.FindValue("a5"), "15");  // the first entry of a name wins
    EXPECT_EQ(t.GetEntry(20001)->fLine, 20002);
  }
  {
    // 40,000 tags: the ones past 32,767 are read like the others.
    std::string text;
    for (int i = 0; i < 40000; ++i) text += "<t n=" + std::to_string(i) + ">\n";
    Markup m(text);
    ASSERT_EQ(m.Count(), 40000);
    for (int i : {0, 32766, 32767, 39999}) {
      SCOPED_TRACE(i);
      EXPECT_STREQ(m.Tag(i).FindValue("n"), std::to_string(i).c_str());
      EXPECT_EQ(m.Tag(i).GetEntry(0)->fLine, i + 1);
    }
  }
  {
    // A quoted value of 3 MB keeps every byte, and the tag after it is read.
    std::string value(3 << 20, 'Q');
    for (size_t i = 0; i < value.size(); i += 4099) value[i] = 'x';
    Markup m("<v text=\"" + value + "\" after=1><next>");
    ASSERT_EQ(m.Count(), 2);
    EXPECT_EQ(std::string(m.Tag(0).FindValue("text")), value);
    EXPECT_STREQ(m.Tag(0).FindValue("after"), "1");
    EXPECT_STREQ(m.Tag(1).FindName(0), "next");
  }
}

TEST(AttribTable, LookupsCursorAndValues) {
  Markup m("<obj count=12abc word=abc neg=-5 big=4000000000>");
  AttribTable& t = m.Tag(0);
  int32_t n = 99;
  EXPECT_TRUE(t.GetIntValue("count", &n));
  EXPECT_EQ(n, 12);
  n = 99;
  EXPECT_FALSE(t.GetIntValue("word", &n));
  EXPECT_EQ(n, 99);
  EXPECT_FALSE(t.GetIntValue("missing", &n));
  EXPECT_EQ(n, 99);
  uint32_t u = 0;
  EXPECT_TRUE(t.GetIntValue("neg", &u));
  EXPECT_EQ(u, 0xFFFFFFFBu);

  EXPECT_STREQ(t.FindValue("word"), "abc");
  EXPECT_EQ(t.Cursor(), 2);
  EXPECT_STREQ(t.GetName(), "word");
  EXPECT_EQ(t.FindValue("WORD"), nullptr);  // case-sensitive
  EXPECT_TRUE(t.Done());
  EXPECT_EQ(t.FindEntry("neg"), t.GetEntry(3));
  EXPECT_STREQ(t.FindName(0), "obj");
  EXPECT_EQ(t.FindName(9), nullptr);

  t.Reset();
  int words = 0;
  for (; !t.Done(); t.Advance()) ++words;
  EXPECT_EQ(words, 5);
  t.Advance();
  EXPECT_TRUE(t.Done());
  {
    ScopedDebugCapture capture;
    EXPECT_STREQ(t.GetName(), "");
    EXPECT_STREQ(t.GetValue(), "");
    t.ClearEntry();
    EXPECT_TRUE(capture.Saw("getting name after table is done"));
    EXPECT_TRUE(capture.Saw("getting value after table is done"));
    EXPECT_TRUE(capture.Saw("clearing entry after table is done"));
  }
  t.ClearAll();
  EXPECT_EQ(t.Cursor(), 0);
  EXPECT_EQ(t.GetEntry(4)->fLine, -1);

  AttribTable fresh;
  fresh.SetLine(7);
  fresh.AppendToValue('v');
  ASSERT_EQ(fresh.EntryCount(), 1);
  EXPECT_EQ(fresh.GetEntry(0)->fLine, 7);
  EXPECT_EQ(fresh.GetEntry(0)->fValue, "v");
}

TEST(AttribTable, Dump) {
  Markup m("<sprite name=foo file=\"a b\"><x>");
  testing::internal::CaptureStdout();
  m.List().Dump();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "<\nsprite\nname=foo\nfile=\"a b\"\n>\n<\nx\n>\n");
}

}  // namespace
