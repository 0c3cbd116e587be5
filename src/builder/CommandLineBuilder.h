// The console program's builder: turns the command line into the options of one build.
// Every command-line error ends in one usage message on the log stream.
#pragma once

#include <cstdint>
#include <cstdio>

#include "ObjectBuilder.h"
#include "StringBuffer.h"

class CommandLineBuilder : public ObjectBuilder {
 public:
  // `log` becomes fLogFile; the words are read by ParseCommandLine (word 0 is the program).
  CommandLineBuilder(FILE* log, int32_t argc, char** argv);

  // Sets the builder's fields from the words. On a usage error it writes
  // "morvik: <message>\n" and the usage text to the log stream and throws an
  // empty C string; a file argument over 255 characters throws "command line option >255
  // chars". The tile options take the object file as their last word: an object file named
  // before them that they would drop is a usage error.
  void ParseCommandLine();

  // Reads the one or two file words after word `index` into `first` and `second` (when
  // given); false, with the message "<option> sprite option requires <k> file arguments",
  // when a word is missing or begins with "-". Advances `index` over what it read.
  bool ReadSpriteFileArgs(int32_t& index, StringBuffer& first, StringBuffer* second, StringBuffer& message,
                          const char* optionName);

  // The tile options' readers: each reads the words after word `index` into its fields and
  // advances `index` over them. False, with a message naming the option, when a word is
  // missing or begins with "-"; the first word is a number and may be negative ("-3"). A
  // number beyond 32 bits is held at the end of the i32 range, so the stage refuses it.
  bool ReadWallStyleArgs(int32_t& index, StringBuffer& message);
  bool ReadWallPatternArgs(int32_t& index, StringBuffer& message);
  bool ReadFloorArgs(int32_t& index, StringBuffer& message, const char* optionName);
  bool ReadWaterTileArgs(int32_t& index, StringBuffer& message);
  bool ReadThickWallArgs(int32_t& index, StringBuffer& message);
  bool ReadThickCutawayArgs(int32_t& index, StringBuffer& message);

  // The usage text: every option, the tile options with the object file last; each line
  // ended by a line feed.
  static const char* UsageText();

  FixedStringBuffer<256> fProgramPath;
  int32_t fArgc;
  char** fArgv;

 private:
  // Checks that `count` words follow word `index`, none beginning with "-" (but the first,
  // the option's number, may be negative) and none over 255 characters (which throws). On a missing word sets "<option> option requires <count>
  // parameters" and returns false.
  bool HaveOptionWords(int32_t index, int32_t count, StringBuffer& message, const char* optionName);
  const char* Word(int32_t index) const { return fArgv[index]; }
};
