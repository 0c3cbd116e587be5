#include "VornString.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(VornString, Slices) {
  VornString s("abcde");
  EXPECT_STREQ(s.Left(9).GetBuffer(), "abcde");
  EXPECT_STREQ(s.Left(2).GetBuffer(), "ab");
  EXPECT_STREQ(s.Right(9).GetBuffer(), "abcde");
  EXPECT_STREQ(s.Right(2).GetBuffer(), "de");
  EXPECT_STREQ(s.Mid(3, 9).GetBuffer(), "de");
  EXPECT_STREQ(s.Mid(6, 1).GetBuffer(), "");
  EXPECT_STREQ(s.Mid(1, 2).GetBuffer(), "bc");
  EXPECT_STREQ(VornString(s, 1).GetBuffer(), "bcde");
  EXPECT_STREQ(VornString(s, 1, 2).GetBuffer(), "bc");
  EXPECT_STREQ(VornString(s, 7, 2).GetBuffer(), "");
  EXPECT_STREQ(VornString("xyz", 2).GetBuffer(), "xy");
  EXPECT_STREQ(VornString(static_cast<const char*>(nullptr)).GetBuffer(), "");

  VornString t;
  t.AssignLeft("hello", 3);
  EXPECT_STREQ(t.GetBuffer(), "hel");
  t.AssignLeft("hi", 10);
  EXPECT_STREQ(t.GetBuffer(), "hi");
  t.AppendLeft("there", 2);
  t.AppendLeft("!", 50);
  EXPECT_STREQ(t.GetBuffer(), "hith!");
  t.Append(VornString("?"));
  EXPECT_STREQ((t + VornString("x")).GetBuffer(), "hith!?x");
  EXPECT_EQ(t.GetLength(), 6u);
}

TEST(VornString, CaseTrimAndEnds) {
  VornString s("MiXeD 9");
  EXPECT_STREQ(VornString(s).MakeLower().GetBuffer(), "mixed 9");
  EXPECT_STREQ(s.MakeUpper().GetBuffer(), "MIXED 9");

  VornString tail("ab \t");
  tail.TrimRight();
  EXPECT_STREQ(tail.GetBuffer(), "ab \t");  // only spaces go
  VornString spaces("    ");
  spaces.Trim();
  EXPECT_STREQ(spaces.GetBuffer(), "");
  VornString both("  a b  ");
  both.Trim();
  EXPECT_STREQ(both.GetBuffer(), "a b");

  VornString abc("abc");
  EXPECT_FALSE(abc.StartsWith("abcd", 4));
  EXPECT_FALSE(abc.EndsWith("xabc", 4));
  EXPECT_TRUE(abc.StartsWith("zzz", 0));
  EXPECT_TRUE(abc.EndsWith("zzz", 0));
  EXPECT_TRUE(abc.StartsWith("abX", 2));
  EXPECT_TRUE(abc.EndsWith("bc", 2));
  EXPECT_FALSE(abc.EndsWith("b", 1));
}

TEST(VornString, FindAndSplit) {
  // "ba": its 'a' occurs before the first full match.
  VornString s("aabxba");
  EXPECT_EQ(s.Find("ba", 0, 2), 4u);
  EXPECT_EQ(s.Find("ab", 0, 2), 1u);
  EXPECT_EQ(s.Find("ab", 2, 2), VornString::kNotFound);
  EXPECT_EQ(s.Find("a", 0, 0), VornString::kNotFound);
  EXPECT_EQ(VornString().Find("a", 0, 1), VornString::kNotFound);
  // Past the end: never a wrapped length, never a read past the characters.
  EXPECT_EQ(s.Find("a", 6, 1), VornString::kNotFound);
  EXPECT_EQ(s.Find("a", 1000, 1), VornString::kNotFound);
  EXPECT_EQ(s.Find("a", VornString::kNotFound, 1), VornString::kNotFound);
  EXPECT_EQ(s.Find("abxbaXYZ", 0, 8), VornString::kNotFound);
  EXPECT_EQ(s.FindChar('x', 0), 3u);
  EXPECT_EQ(s.FindChar('x', 4), VornString::kNotFound);
  EXPECT_EQ(s.FindChar('a', 99), VornString::kNotFound);

  VornString path("one;two;three");
  VornString head;
  path.SplitAt(head, ";");
  EXPECT_STREQ(head.GetBuffer(), "one");
  EXPECT_STREQ(path.GetBuffer(), "two;three");
  path.SplitAt(head, "--");
  EXPECT_STREQ(head.GetBuffer(), "");
  EXPECT_STREQ(path.GetBuffer(), "two;three");
  path.SplitAt(head, "");
  EXPECT_STREQ(head.GetBuffer(), "two;three");
  path.SplitAt(head, nullptr);
  EXPECT_STREQ(path.GetBuffer(), "two;three");
}

TEST(VornString, FormatIsAlwaysComplete) {
  std::string long300(300, 'x');
  VornString s;
  s.Format("%s", long300.c_str());
  EXPECT_EQ(s.GetLength(), 300u);
  EXPECT_EQ(s.str(), long300);

  // Conversions whose output outruns any rough estimate of the format.
  s.Format("%.300f|%*d|%5s", 1.0, 400, 7, "ab");
  EXPECT_EQ(s.GetLength(), 302u + 1 + 400 + 1 + 5);
  EXPECT_EQ(s.str().substr(0, 6), "1.0000");
  s.Format("%ld:Dir [%s] is at:%s size:%ld offset:%ld\n", 3L, "a.bmp", "x.far", 10L, 16L);
  EXPECT_STREQ(s.GetBuffer(), "3:Dir [a.bmp] is at:x.far size:10 offset:16\n");
  s.Format("%c%%%x", 'q', 255);
  EXPECT_STREQ(s.GetBuffer(), "q%ff");
}

}  // namespace
