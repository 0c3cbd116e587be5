#include "CommandLineBuilder.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "XAssert.h"

namespace {

constexpr size_t kMaxWordLength = 255;
const char* const kTooLong = "command line option >255 chars";

bool IsOption(const char* word) { return word[0] == '-'; }

// A word such as "-3" or "-3c": the number of a tile option, not an option.
bool IsNegativeNumber(const char* word) {
  return word[0] == '-' && word[1] >= '0' && word[1] <= '9';
}

// Throws when `word` would not fit a file-name field.
void CheckLength(const char* word) {
  if (std::strlen(word) > kMaxWordLength) throw kTooLong;
}

// The number at the start of `word`, read as atoi reads it, but held at the ends of the i32
// range when it is larger: 4294967299 must reach the stage's range check, not wrap to 3.
int32_t TileNumber(const char* word) {
  const long long value = std::strtoll(word, nullptr, 10);
  if (value < INT32_MIN) return INT32_MIN;
  if (value > INT32_MAX) return INT32_MAX;
  return static_cast<int32_t>(value);
}

bool EndsInCutaway(const char* word) {
  size_t n = std::strlen(word);
  return n > 0 && (word[n - 1] == 'c' || word[n - 1] == 'C');
}

void EnsureTrailingSlash(StringBuffer& dir) {
  int32_t n = dir.length();
  if (n == 0) return;
  char last = dir.c_str()[n - 1];
  if (last != '/' && last != '\\') dir.append("/");
}

template <typename... Args>
void FormatInto(StringBuffer& message, const char* format, Args... args) {
  std::snprintf(message.buffer(), static_cast<size_t>(message.capacity()), format, args...);
}

void FormatInto(StringBuffer& message, const char* text) { FormatInto(message, "%s", text); }

}  // namespace

CommandLineBuilder::CommandLineBuilder(FILE* log, int32_t argc, char** argv) : fArgc(argc), fArgv(argv) {
  fLogFile = log;
}

const char* CommandLineBuilder::UsageText() {
  return "#######################################################\n"
         "# usage: morvik (dest-object-file)\n"
         "# [-tmpl (template-object-file) [-retain] [-prefix (prefix)]]\n"
         "# [-spec (omk-attribute-file)]\n"
         "# [-wall (tga-file) (palette-file) ((style number)|(style number)c)]\n"
         "# [-headline (tga-file) (palette-file)]\n"
         "# [-graphics (tga-directory)]\n"
         "# [-sounds]\n"
         "# [-slot]\n"
         "# [-attr]\n"
         "# [-skills]\n"
         "# [-printdgrps]\n"
         "# [-catalog (bmp directory)]\n"
         "# [-ttab]\n"
         "# [-bmps (bmp directory)]\n"
         "# [-famhist (output file)]\n"
         "# [-v]\n"
         "# or one tile, the object file last:\n"
         "# morvik -wallstyle (id 0-255)[c] (tga-file) (dest-object-file)\n"
         "# morvik -wallpattern (id 0-255) (bmp-file) (dest-object-file)\n"
         "# morvik -floor (id 0-255) (bmp-file) (dest-object-file)\n"
         "# morvik -floorshadow (id 0-31) (bmp-file) (dest-object-file)\n"
         "# morvik -pooltile (id 0-19) (bmp-file) (dest-object-file)\n"
         "# morvik -watertile (id 0-15) (dest-object-file)\n"
         "#   (from NN.bmp and NN.tga in the current folder, NN the id)\n"
         "# morvik -thickwalls (zoom 1-3) (bmp-file) (dest-object-file)\n"
         "# morvik -thickcutaway (zoom 1-3) (bmp-file) (tga-file) (dest-object-file)\n"
         "#######################################################\n";
}

bool CommandLineBuilder::ReadSpriteFileArgs(int32_t& index, StringBuffer& first, StringBuffer* second,
                                            StringBuffer& message, const char* optionName) {
  int32_t k = second ? 2 : 1;
  for (int32_t i = 1; i <= k; ++i) {
    if (index + i >= fArgc || IsOption(Word(index + i))) {
      FormatInto(message, "%s sprite option requires %d file arguments", optionName, k);
      return false;
    }
    CheckLength(Word(index + i));
    (i == 1 ? first : *second).assign(Word(index + i));
  }
  index += k;
  return true;
}

bool CommandLineBuilder::HaveOptionWords(int32_t index, int32_t count, StringBuffer& message,
                                         const char* optionName) {
  for (int32_t i = 1; i <= count; ++i) {
    // The first word of every tile option is its number, which may be negative; the stage
    // that uses it reports a number out of its range.
    const bool missing = index + i >= fArgc ||
                         (IsOption(Word(index + i)) && !(i == 1 && IsNegativeNumber(Word(index + i))));
    if (missing) {
      FormatInto(message, "%s option requires %d parameters", optionName, count);
      return false;
    }
    CheckLength(Word(index + i));
  }
  return true;
}

bool CommandLineBuilder::ReadWallStyleArgs(int32_t& index, StringBuffer& message) {
  if (!HaveOptionWords(index, 3, message, "wallstyle")) return false;
  fTileId = TileNumber(Word(index + 1));
  fCutaway = EndsInCutaway(Word(index + 1)) ? 1 : 0;
  fTgaFile.assign(Word(index + 2));
  fObjectFile.assign(Word(index + 3));
  index += 3;
  return true;
}

bool CommandLineBuilder::ReadWallPatternArgs(int32_t& index, StringBuffer& message) {
  return ReadFloorArgs(index, message, "wallpattern");
}

bool CommandLineBuilder::ReadFloorArgs(int32_t& index, StringBuffer& message, const char* optionName) {
  if (!HaveOptionWords(index, 3, message, optionName)) return false;
  fTileId = TileNumber(Word(index + 1));
  fBmpFile.assign(Word(index + 2));
  fObjectFile.assign(Word(index + 3));
  index += 3;
  return true;
}

bool CommandLineBuilder::ReadWaterTileArgs(int32_t& index, StringBuffer& message) {
  if (!HaveOptionWords(index, 2, message, "watertile")) return false;
  fTileId = TileNumber(Word(index + 1));
  fObjectFile.assign(Word(index + 2));
  index += 2;
  return true;
}

bool CommandLineBuilder::ReadThickWallArgs(int32_t& index, StringBuffer& message) {
  if (!HaveOptionWords(index, 3, message, "thickwalls")) return false;
  fThickWallScale = TileNumber(Word(index + 1));
  fBmpFile.assign(Word(index + 2));
  fObjectFile.assign(Word(index + 3));
  index += 3;
  return true;
}

bool CommandLineBuilder::ReadThickCutawayArgs(int32_t& index, StringBuffer& message) {
  if (!HaveOptionWords(index, 4, message, "thickcutaway")) return false;
  fThickWallScale = TileNumber(Word(index + 1));
  fBmpFile.assign(Word(index + 2));
  fTgaFile.assign(Word(index + 3));
  fObjectFile.assign(Word(index + 4));
  index += 4;
  return true;
}

void CommandLineBuilder::ParseCommandLine() {
  fProgramPath.assign(fArgc > 0 && fArgv[0] ? fArgv[0] : "");
  FixedStringBuffer<256> message;

  // Reads the one value word of an option into `field`; false (message set) when missing.
  auto readValue = [&](int32_t& i, StringBuffer& field, const char* missing) {
    if (i + 1 >= fArgc || IsOption(Word(i + 1))) {
      FormatInto(message, missing);
      return false;
    }
    CheckLength(Word(i + 1));
    field.assign(Word(++i));
    return true;
  };
  // The tile options take the object file as their last word. One named before by a word of
  // its own (or by another tile option) would be dropped in silence: it is reported instead.
  bool objectFileFromWord = false;
  auto readTileArgs = [&](auto read) {
    const std::string previous = fObjectFile.c_str();
    if (!read()) return false;
    if (!previous.empty() && previous != fObjectFile.c_str()) {
      if (objectFileFromWord) {
        FormatInto(message, "no option takes %s: the tile options take the object file as their last word",
                   previous.c_str());
      } else {
        FormatInto(message, "second object file not allowed: %s", fObjectFile.c_str());
      }
      return false;
    }
    objectFileFromWord = false;
    return true;
  };
  // A second use of a tile option would silently replace the first.
  auto refuseRepeat = [&](uint16_t alreadySet, const char* text) {
    if (alreadySet) FormatInto(message, text);
    return alreadySet != 0;
  };

  for (int32_t i = 1; i < fArgc; ++i) {
    const char* word = Word(i);
    if (std::strcmp(word, "-v") == 0) {
      fVerbose = 1;
    } else if (std::strcmp(word, "-catalog") == 0) {
      if (!readValue(i, fCatalogDir, "catalog option requires parameter for bmp directory")) break;
      fMakeCatalog = 1;
    } else if (std::strcmp(word, "-ttab") == 0) {
      fMakeTreeTables = 1;
    } else if (std::strcmp(word, "-printdgrps") == 0) {
      fPrintDrawGroups = 1;
    } else if (std::strcmp(word, "-retain") == 0) {
      fRetain = 1;
    } else if (std::strcmp(word, "-prefix") == 0) {
      if (!readValue(i, fPrefix, "prefix option requires parameter")) break;
    } else if (std::strcmp(word, "-tmpl") == 0) {
      if (fHasTemplate) {
        FormatInto(message, "only one template file allowed");
        break;
      }
      if (!readValue(i, fTemplateFile, "tmpl option requires parameter")) break;
      fHasTemplate = 1;
    } else if (std::strcmp(word, "-spec") == 0) {
      if (fAttributesFile.length() > 0) {
        FormatInto(message, "only one spec file allowed");
        break;
      }
      if (!readValue(i, fAttributesFile, "spec option requires parameter")) break;
      XASSERT(fAttributesFile.length() > 0, "got a 0 length string for spec file");
    } else if (std::strcmp(word, "-sounds") == 0) {
      fMakeSounds = 1;
    } else if (std::strcmp(word, "-dgrp") == 0) {
      FormatInto(message, "-dgrp option no longer valid.\nDid you get fresh $/pevcontent/scripts?\n");
    } else if (std::strcmp(word, "-dgrp2") == 0) {
      FormatInto(message, "-dgrp2 option no longer valid.\nDid you get fresh $/pevcontent/scripts?\n");
    } else if (std::strcmp(word, "-graphics") == 0) {
      fMakeGraphics = 1;
      if (ReadSpriteFileArgs(i, fGraphicsDir, nullptr, message, "graphics")) EnsureTrailingSlash(fGraphicsDir);
    } else if (std::strcmp(word, "-bmps") == 0) {
      fMakeBitmaps = 1;
      if (ReadSpriteFileArgs(i, fBitmapDir, nullptr, message, "bmps")) EnsureTrailingSlash(fBitmapDir);
    } else if (std::strcmp(word, "-famhist") == 0) {
      if (!readValue(i, fFamilyHistoryFile, "famhist option requires parameter")) break;
      fMakeFamilyHistory = 1;
    } else if (std::strcmp(word, "-wall") == 0) {
      if (refuseRepeat(fMakeWall, "only one wall option allowed")) break;
      if (!ReadSpriteFileArgs(i, fTgaFile, &fPaletteFile, message, "wall")) break;
      if (i + 1 >= fArgc || IsOption(Word(i + 1))) {
        FormatInto(message, "\"%s\": wall options expecting three parameters", i + 1 >= fArgc ? word : Word(i + 1));
        break;
      }
      const char* style = Word(++i);
      int value = 0;
      const bool number = std::sscanf(style, "%d", &value) == 1;
      if (number) value = TileNumber(style);  // a huge style must not wrap into range
      if (!number || value < 1) {
        FormatInto(message, "\"%s\": wallstyle >=1 expected", style);
        break;
      }
      fWallStyle = value;
      fCutaway = EndsInCutaway(style) ? 1 : 0;
      fMakeWall = 1;
    } else if (std::strcmp(word, "-slot") == 0) {
      fMakeSlots = 1;
    } else if (std::strcmp(word, "-headline") == 0) {
      std::printf("-headline is a depracated argument. Compress headlines using -graphics instead.\n");
      if (refuseRepeat(fMakeHeadline, "only one headline option allowed")) break;
      fMakeHeadline = 1;
      // Stop at a missing file: a word left unread would be taken for the object file.
      if (!ReadSpriteFileArgs(i, fHeadlineTgaFile, &fHeadlinePaletteFile, message, "headline")) break;
    } else if (std::strcmp(word, "-attr") == 0) {
      fMakeAttributes = 1;
    } else if (std::strcmp(word, "-wallstyle") == 0) {
      if (refuseRepeat(fMakeWallStyle, "only one wallstyle option allowed")) break;
      if (!readTileArgs([&] { return ReadWallStyleArgs(i, message); })) break;
      std::printf("Making wall style from %s\n", fTgaFile.c_str());
      fMakeWallStyle = 1;
    } else if (std::strcmp(word, "-wallpattern") == 0) {
      if (refuseRepeat(fMakeWallPattern, "only one wallpattern option allowed")) break;
      if (!readTileArgs([&] { return ReadWallPatternArgs(i, message); })) break;
      std::printf("Making wall pattern from %s\n", fBmpFile.c_str());
      fMakeWallPattern = 1;
    } else if (std::strcmp(word, "-floor") == 0 || std::strcmp(word, "-floorshadow") == 0 ||
               std::strcmp(word, "-pooltile") == 0) {
      if (refuseRepeat(fMakeFloor, "only one floor, floorshadow or pooltile option allowed")) break;
      bool pool = std::strcmp(word, "-pooltile") == 0;
      if (!readTileArgs([&] { return ReadFloorArgs(i, message, word + 1); })) break;
      std::printf(pool ? "Making pool tile from %s\n" : "Making floor from %s\n", fBmpFile.c_str());
      fMakeFloor = 1;
      fFloorShadow = std::strcmp(word, "-floorshadow") == 0 ? 1 : 0;
      fPoolTile = pool ? 1 : 0;
    } else if (std::strcmp(word, "-watertile") == 0) {
      if (refuseRepeat(fMakeWaterTile, "only one watertile option allowed")) break;
      if (!readTileArgs([&] { return ReadWaterTileArgs(i, message); })) break;
      FormatInto(fBmpFile, "%02d.bmp", fTileId);
      FormatInto(fTgaFile, "%02d.tga", fTileId);
      fMakeWaterTile = 1;
    } else if (std::strcmp(word, "-thickwalls") == 0) {
      if (refuseRepeat(fMakeThickWalls, "only one thickwalls option allowed")) break;
      if (!readTileArgs([&] { return ReadThickWallArgs(i, message); })) break;
      std::printf("Making thickwalls at %d from %s\n", fThickWallScale, fBmpFile.c_str());
      fMakeThickWalls = 1;
    } else if (std::strcmp(word, "-thickcutaway") == 0) {
      if (refuseRepeat(fMakeThickCutaway, "only one thickcutaway option allowed")) break;
      if (!readTileArgs([&] { return ReadThickCutawayArgs(i, message); })) break;
      std::printf("Making thick wall cutaway from %s\n", fTgaFile.c_str());
      fMakeThickCutaway = 1;
    } else if (std::strcmp(word, "-skills") == 0) {
      fMakeSkills = 1;
    } else if (IsOption(word)) {
      FormatInto(message, "unknown option: %s", word);
      break;
    } else {
      if (fObjectFile.length() > 0) {
        FormatInto(message, "second object file not allowed: %s", word);
        break;
      }
      CheckLength(word);
      fObjectFile.assign(word);
      objectFileFromWord = true;
    }
  }

  if (message.length() == 0) {
    bool anyStage = fHasTemplate || fMakeWall || fMakeSounds || fMakeGraphics || fMakeSlots || fMakeHeadline ||
                    fMakeAttributes || fMakeWallStyle || fMakeWallPattern || fMakeFloor || fMakeThickWalls ||
                    fMakeThickCutaway || fMakeSkills || fPrintDrawGroups || fMakeWaterTile || fMakeCatalog ||
                    fMakeBitmaps || fMakeTreeTables || fMakeFamilyHistory;
    bool needsSpec = fMakeSounds || fMakeGraphics || fMakeSlots || fMakeHeadline || fMakeAttributes || fMakeSkills ||
                     fPrintDrawGroups || fMakeCatalog || fMakeBitmaps || fMakeTreeTables;
    if (fObjectFile.length() == 0) FormatInto(message, "destination object file must be specified");
    else if (!anyStage) FormatInto(message, "nothing to do");
    else if (fAttributesFile.length() == 0 && needsSpec) FormatInto(message, "no spec file specified");
  }
  bool tileMode = fMakeWall || fMakeWallStyle || fMakeWallPattern || fMakeFloor || fMakeThickWalls ||
                  fMakeThickCutaway || fMakeWaterTile;
  if (fAttributesFile.length() > 0 && tileMode) FormatInto(message, "walls, floors, and pool tiles do not use a spec file");
  if (!fHasTemplate) {
    if (fRetain) FormatInto(message, "-retain option only allowed with -tmpl option");
    else if (fPrefix.length() > 0) FormatInto(message, "-prefix option only allowed with -tmpl option");
  }

  if (message.length() > 0) {
    FILE* log = fLogFile ? fLogFile : stderr;
    // "morvik: <message>", then the usage.
    std::fprintf(log, "morvik: %s\n%s", message.c_str(), UsageText());
    throw "";
  }
}
