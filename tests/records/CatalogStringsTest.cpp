#include "CatalogStrings.h"

#include <gtest/gtest.h>

#include <string>

#include "MemResFile.h"
#include "strset.h"

TEST(CatalogStrings, OlderBlockWithOneOrTwoStrings) {
  MemResFile file;
  file.PutStored(kCatalogStringsType, 1, std::string("desc\0", 5));
  file.PutStored(kCatalogStringsType, 2, std::string("desc\0Name\0", 10));
  file.PutStored(kCatalogStringsType, 3, std::string("unterminated"));
  CatalogStrings s;
  s.fFirst = "stale";
  EXPECT_EQ(s.Read(&file, 1, false), 0);
  EXPECT_EQ(s.fSecond, "desc");
  EXPECT_EQ(s.fFirst, "");
  EXPECT_EQ(s.Read(&file, 2, false), 0);
  EXPECT_EQ(s.fSecond, "desc");
  EXPECT_EQ(s.fFirst, "Name");
  EXPECT_EQ(s.Read(&file, 3, false), 0);
  EXPECT_EQ(s.fSecond, "unterminated");
  EXPECT_EQ(s.fFirst, "");
}

TEST(CatalogStrings, WriteStoresTheSetAndRemovesTheOlderBlock) {
  MemResFile file;
  file.PutStored(kCatalogStringsType, 9, std::string("old\0", 4));
  CatalogStrings s;
  s.fFirst = "Chair";
  s.fSecond = "A chair";
  ASSERT_EQ(s.Write(&file, 9), 0);
  EXPECT_EQ(file.Count(kCatalogStringsType), 0);

  CatalogStrings back;
  ASSERT_EQ(back.Read(&file, 9, false), 0);
  EXPECT_EQ(back.fFirst, "Chair");
  EXPECT_EQ(back.fSecond, "A chair");
}

TEST(CatalogStrings, AnyLanguageFindsTheFirstLanguageThatHasThem) {
  MemResFile file;
  StringSet set;
  set.Init(&file, 4, kCatalogStringSetType, 0, 3);
  set.SetString(1, "Stuhl");
  set.SetString(2, "Ein Stuhl");
  ASSERT_EQ(set.Write(), 0);

  CatalogStrings s;
  s.Read(&file, 4, false);
  EXPECT_EQ(s.fFirst, "");
  EXPECT_EQ(s.Read(&file, 4, true), 0);
  EXPECT_EQ(s.fFirst, "Stuhl");
  EXPECT_EQ(s.fSecond, "Ein Stuhl");

  EXPECT_NE(s.Read(&file, 5, true), 0);  // neither form
  EXPECT_EQ(s.fFirst, "");
}
