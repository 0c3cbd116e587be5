#include "StringBuffer.h"

#include <gtest/gtest.h>

#include <string>

#include "DebugCapture.h"
#include "PStrings.h"

TEST(StringBuffer, AppendCutsWhatDoesNotFit) {
  ScopedDebugCapture capture;
  FixedStringBuffer<4> s;
  s.append("abcdef");
  EXPECT_STREQ(s.c_str(), "abc");
  EXPECT_EQ(capture.Count("append losing characters"), 1);
  s.append("x");
  EXPECT_STREQ(s.c_str(), "abc");
  EXPECT_EQ(capture.Count("append losing characters"), 2);
}

TEST(StringBuffer, AppendCountsAndForms) {
  ScopedDebugCapture capture;
  FixedStringBuffer<64> s;
  s.append("abc", 2);
  s.append("de", 10);
  s.append(static_cast<const char*>(nullptr));
  s.append('!');
  s.append(-42);
  EXPECT_STREQ(s.c_str(), "abde!-42");
  s.clear();
  s.append(7, 3);
  EXPECT_STREQ(s.c_str(), "007");
  s.clear();
  s.append(-7, 4);
  EXPECT_STREQ(s.c_str(), "-007");
  s.assign("xy");
  s.append(s);  // onto itself
  EXPECT_STREQ(s.c_str(), "xyxy");
  EXPECT_EQ(capture.ReportCount(), 0u);
}

TEST(StringBuffer, WideZeroPaddingIsCutToCapacity) {
  ScopedDebugCapture capture;
  FixedStringBuffer<8> s;
  s.append(5, 100000);
  EXPECT_STREQ(s.c_str(), "0000000");
  EXPECT_TRUE(capture.Saw("append losing characters"));
}

TEST(StringBuffer, CompareNoCase) {
  FixedStringBuffer<16> upper("ABC"), lower("abc"), prefix("ab");
  EXPECT_EQ(upper.compare_nocase(lower), 0);
  EXPECT_EQ(prefix.compare_nocase(lower), -1);
  EXPECT_LT(upper.compare(lower), 0);
  FixedStringBuffer<4> bracket("["), brace("{");
  EXPECT_NE(bracket.compare_nocase(brace), 0);
  FixedStringBuffer<4> high("\xE9");
  EXPECT_LT(high.compare_nocase("a", 1), 0);  // characters compare as signed bytes
}

TEST(StringBuffer, IndexingAndFind) {
  ScopedDebugCapture capture;
  FixedStringBuffer<16> s("hello");
  EXPECT_EQ(s[1], 'e');
  EXPECT_EQ(s[-1], 0);
  EXPECT_EQ(s[5], 0);
  EXPECT_EQ(capture.Count("accessing string past length"), 2);
  EXPECT_EQ(s.find("", 0), 0);
  EXPECT_EQ(s.find("o", s.length()), -1);
  EXPECT_EQ(s.find("l", 0), 2);
  EXPECT_EQ(s.find("l", 3), 3);
  EXPECT_EQ(s.find("hello!", 0), -1);
  EXPECT_EQ(s.find_nocase("E", 0), 1);
  EXPECT_EQ(s.find("E", 0), -1);
  FixedStringBuffer<16> mixed("AbC");
  EXPECT_EQ(mixed.to_lower(), 3);
  EXPECT_STREQ(mixed.c_str(), "abc");
}

TEST(StringBuffer, CopiesOwnTheirText) {
  FixedStringBuffer<16> a("first");
  FixedStringBuffer<16> b(a);
  a.assign("changed");
  EXPECT_STREQ(b.c_str(), "first");
  EXPECT_NE(a.c_str(), b.c_str());
  FixedStringBuffer<16> c;
  c = a;
  a.assign("again");
  EXPECT_STREQ(c.c_str(), "changed");
  StringBuffer& base = c;
  base = b;  // through the base class: the text is copied into c's own storage
  EXPECT_STREQ(c.c_str(), "first");
  EXPECT_NE(c.c_str(), b.c_str());
}

TEST(StringBuffer, CopyBetweenCapacitiesCuts) {
  ScopedDebugCapture capture;
  FixedStringBuffer<64> longer("abcdefgh");
  FixedStringBuffer<4> shorter(longer);
  EXPECT_STREQ(shorter.c_str(), "abc");
  shorter = FixedStringBuffer<64>("zz");
  EXPECT_STREQ(shorter.c_str(), "zz");
}

TEST(PStrings, RoundTripAndCut) {
  ScopedDebugCapture capture;
  uint8_t p[256] = {3, 'a', 'b', 'c'};
  FixedStringBuffer<16> s("x");
  AppendPString(p, s);
  EXPECT_STREQ(s.c_str(), "xabc");
  PStringToBuffer(p, s);
  EXPECT_STREQ(s.c_str(), "abc");

  FixedStringBuffer<512> big(std::string(300, 'q').c_str());
  uint8_t out[256] = {};
  BufferToPString(big, out);
  EXPECT_EQ(out[0], 255);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out + 1), 255), std::string(255, 'q'));
  EXPECT_TRUE(capture.Saw("string too long"));
}
