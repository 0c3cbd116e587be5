// Texts and the icon of the sprite maker's window: labels and list lines that the toolkit
// draws as written, the about box's text and the icon's pixels.
#include "VintrelText.h"

#include <gtest/gtest.h>

#include "VintrelIcon.h"

namespace {

TEST(VintrelText, LabelsAndListLinesKeepFormatCharactersAsWritten) {
  struct Case {
    std::string text;
    std::string label;     // a box's label
    std::string button;    // a button's label (shortcut marks too)
    std::string listLine;  // a list box's line
  };
  const Case cases[] = {
      {"Build Chair", "Build Chair", "Build Chair", "Build Chair"},
      {"", "", "", ""},
      // A final '@' would start a symbol and hide the end of the name.
      {"Build chair@", "Build chair@@", "Build chair@@", "Build chair@"},
      {"x@->", "x@@->", "x@@->", "x@->"},
      // A leading '@' is a symbol in a label and a format code in a list line.
      {"@bsofa", "@@bsofa", "@@bsofa", "@.@bsofa"},
      {"@", "@@", "@@", "@.@"},
      {"a@@b", "a@@@@b", "a@@@@b", "a@@b"},
      // '&' marks a shortcut letter on buttons only.
      {"A&B lamp", "A&B lamp", "A&&B lamp", "A&B lamp"},
      {"&&", "&&", "&&&&", "&&"},
      {"@&", "@@&", "@@&&", "@.@&"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LiteralLabel(c.text, false), c.label) << c.text;
    EXPECT_EQ(LiteralLabel(c.text, true), c.button) << c.text;
    EXPECT_EQ(LiteralListLine(c.text), c.listLine) << c.text;
  }
  // A whole 63-character name stays whole.
  std::string name(63, 'W');
  EXPECT_EQ(LiteralLabel("Build " + name, true), "Build " + name);
}

TEST(VintrelText, AboutTextNamesTheProgramItsVersionAndBuildDate) {
  EXPECT_EQ(AboutText("Dec 10 2026", "21:00:00"),
            "Vintrel Version 1.0\nBuilt Dec 10 2026 at 21:00:00\nBuilds the sprites and draw groups of game objects.");
  std::string build = AboutText();
  EXPECT_EQ(build.rfind("Vintrel Version 1.0\nBuilt ", 0), 0u) << build;
  EXPECT_NE(build.find(" at "), std::string::npos);
}

TEST(VintrelIcon, IconIsOpaqueOnTheDrawingAndClearAroundIt) {
  for (int size : {1, 16, 32, 48}) {
    std::vector<uint8_t> pixels = VintrelIconPixels(size);
    ASSERT_EQ(pixels.size(), size_t(size) * size * 4) << size;
    auto alpha = [&](int x, int y) { return pixels[(size_t(y) * size + x) * 4 + 3]; };
    EXPECT_EQ(alpha(size / 2, size / 2), 255) << size;  // the block
    if (size < 16) continue;
    EXPECT_EQ(alpha(size / 2, size * 3 / 4), 255) << size;  // the floor tile
    for (int corner : {0, size - 1}) {
      EXPECT_EQ(alpha(corner, 0), 0) << size;
      EXPECT_EQ(alpha(corner, size - 1), 0) << size;
    }
    for (size_t i = 3; i < pixels.size(); i += 4) EXPECT_TRUE(pixels[i] == 0 || pixels[i] == 255);
  }
  EXPECT_TRUE(VintrelIconPixels(0).empty());
  EXPECT_TRUE(VintrelIconPixels(-3).empty());
}

}  // namespace
