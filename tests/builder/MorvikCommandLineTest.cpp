// Runs the real morvik program over a table of command lines and checks its exit code and
// the exact bytes on its standard streams.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <fcntl.h>

#include <string>
#include <vector>

#include "CommandLineBuilder.h"
#include "TestTempFolder.h"

extern char** environ;

namespace {

struct RunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

RunResult RunMorvik(const std::vector<std::string>& args) {
  TestTempFolder folder;
  std::string outPath = folder / "out.txt", errPath = folder / "err.txt";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, folder.Path().c_str());
  std::vector<char*> argv;
  std::string program = MORVIK_PATH;
  argv.push_back(program.data());
  std::vector<std::string> copies = args;
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  RunResult result;
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  result.out = TestTempFolder::ReadFile(outPath);
  result.err = TestTempFolder::ReadFile(errPath);
  return result;
}

// The usage message: the program's name, the message, then the usage text.
std::string Usage(const std::string& message) {
  return "morvik: " + message + "\n" + CommandLineBuilder::UsageText();
}

// Options that parse start the build; these name object files that do not exist.
// The object file is named in the message, as given.
const std::string kNoObjectFile = "fatal error: could not open object file o.iff\n\n";

struct Case {
  std::vector<std::string> args;
  std::string err;  // after the banner line
  std::string out = "";
};

}  // namespace

TEST(MorvikCommandLine, UsageErrorsAndMessages) {
  const std::string longWord(256, 'x');
  const Case cases[] = {
      {{}, Usage("destination object file must be specified")},
      {{"obj.iff"}, Usage("nothing to do")},
      {{"obj.iff", "-v"}, Usage("nothing to do")},
      {{"obj.iff", "-graphics", "dir"}, Usage("no spec file specified")},
      {{"obj.iff", "-spec", "a.omk", "-graphics"}, Usage("graphics sprite option requires 1 file arguments")},
      {{"obj.iff", "-spec", "a.omk", "-bmps", "-ttab"}, Usage("bmps sprite option requires 1 file arguments")},
      {{"obj.iff", "-headline"},
       Usage("headline sprite option requires 2 file arguments"),
       "-headline is a depracated argument. Compress headlines using -graphics instead.\n"},
      // A headline with one of its two files stops there: the file read is not taken for a
      // second object file.
      {{"obj.iff", "-headline", "a.tga"},
       Usage("headline sprite option requires 2 file arguments"),
       "-headline is a depracated argument. Compress headlines using -graphics instead.\n"},
      {{"obj.iff", "-spec", "a.omk", "-headline", "a.tga", "-sounds"},
       Usage("headline sprite option requires 2 file arguments"),
       "-headline is a depracated argument. Compress headlines using -graphics instead.\n"},
      {{"obj.iff", "-wall", "a.tga", "p.bmp", "0"}, Usage("\"0\": wallstyle >=1 expected")},
      {{"obj.iff", "-wall", "a.tga", "p.bmp", "x"}, Usage("\"x\": wallstyle >=1 expected")},
      {{"obj.iff", "-wall", "a.tga", "p.bmp"}, Usage("\"-wall\": wall options expecting three parameters")},
      {{"obj.iff", "-wall", "a.tga", "p.bmp", "-v"}, Usage("\"-v\": wall options expecting three parameters")},
      {{"obj.iff", "-wall", "a.tga"}, Usage("wall sprite option requires 2 file arguments")},
      {{"obj.iff", "-wall", "a.tga", "p.bmp", "2", "-wall", "b.tga", "q.bmp", "3"},
       Usage("only one wall option allowed")},
      {{"obj.iff", "-spec", "a.omk", "-graphics", "d", "-retain"},
       Usage("-retain option only allowed with -tmpl option")},
      {{"obj.iff", "-spec", "a.omk", "-graphics", "d", "-retain", "-prefix", "pp"},
       Usage("-retain option only allowed with -tmpl option")},
      {{"obj.iff", "-spec", "a.omk", "-graphics", "d", "-prefix", "pp"},
       Usage("-prefix option only allowed with -tmpl option")},
      {{"-spec", "a.omk", "-floor", "3", "f.bmp", "obj.iff"},
       Usage("walls, floors, and pool tiles do not use a spec file"), "Making floor from f.bmp\n"},
      {{"-spec", "a.omk", "-floor", "3", "f.bmp", "obj.iff", "-graphics"},
       Usage("walls, floors, and pool tiles do not use a spec file"), "Making floor from f.bmp\n"},
      {{"obj.iff", "-dgrp", "-spec", "a.omk", "-graphics", "d"},
       Usage("-dgrp option no longer valid.\nDid you get fresh $/pevcontent/scripts?\n")},
      {{"obj.iff", "-dgrp2", "-bogus"}, Usage("unknown option: -bogus")},
      {{"obj.iff", "-dgrp2"}, Usage("-dgrp2 option no longer valid.\nDid you get fresh $/pevcontent/scripts?\n")},
      {{"obj.iff", "-catalog"}, Usage("catalog option requires parameter for bmp directory")},
      {{"obj.iff", "-catalog", "-ttab"}, Usage("catalog option requires parameter for bmp directory")},
      {{"obj.iff", "-prefix"}, Usage("prefix option requires parameter")},
      {{"obj.iff", "-tmpl"}, Usage("tmpl option requires parameter")},
      {{"obj.iff", "-tmpl", "a.iff", "-tmpl", "b.iff"}, Usage("only one template file allowed")},
      {{"obj.iff", "-spec"}, Usage("spec option requires parameter")},
      {{"obj.iff", "-spec", "a.omk", "-spec", "b.omk"}, Usage("only one spec file allowed")},
      {{"obj.iff", "-famhist", "-v"}, Usage("famhist option requires parameter")},
      {{"obj.iff", "-frobnicate"}, Usage("unknown option: -frobnicate")},
      {{"obj.iff", "other.iff"}, Usage("second object file not allowed: other.iff")},
      {{"obj.iff", "-graphics", longWord}, "command line option >255 chars"},
      {{longWord, "-ttab"}, "command line option >255 chars"},
      // The tile options: missing words are usage errors, a repeated option is refused.
      {{"-wallstyle", "3"}, Usage("wallstyle option requires 3 parameters")},
      {{"-wallstyle", "3", "a.tga", "-v"}, Usage("wallstyle option requires 3 parameters")},
      {{"-wallpattern", "3", "a.bmp"}, Usage("wallpattern option requires 3 parameters")},
      {{"-floor"}, Usage("floor option requires 3 parameters")},
      {{"-floor", "-v", "f.bmp", "o.iff"}, Usage("floor option requires 3 parameters")},
      {{"-floor", "-", "f.bmp", "o.iff"}, Usage("floor option requires 3 parameters")},
      {{"-floor", "3", "-4", "o.iff"}, Usage("floor option requires 3 parameters")},
      {{"-floorshadow", "1", "a.bmp"}, Usage("floorshadow option requires 3 parameters")},
      {{"-pooltile", "1", "-v", "o.iff"}, Usage("pooltile option requires 3 parameters")},
      {{"-watertile", "7"}, Usage("watertile option requires 2 parameters")},
      {{"-thickwalls", "2", "a.bmp"}, Usage("thickwalls option requires 3 parameters")},
      {{"-thickcutaway", "2", "a.bmp", "a.tga"}, Usage("thickcutaway option requires 4 parameters")},
      {{"-floor", "1", longWord, "o.iff"}, "command line option >255 chars"},
      {{"-wallstyle", "1", "a.tga", "o.iff", "-wallstyle", "2", "b.tga", "o.iff"},
       Usage("only one wallstyle option allowed"), "Making wall style from a.tga\n"},
      {{"-wallpattern", "1", "a.bmp", "o.iff", "-wallpattern", "2", "b.bmp", "o.iff"},
       Usage("only one wallpattern option allowed"), "Making wall pattern from a.bmp\n"},
      {{"-floor", "1", "a.bmp", "o.iff", "-pooltile", "2", "b.bmp", "o.iff"},
       Usage("only one floor, floorshadow or pooltile option allowed"), "Making floor from a.bmp\n"},
      {{"-floorshadow", "1", "a.bmp", "o.iff", "-floorshadow", "2", "b.bmp", "o.iff"},
       Usage("only one floor, floorshadow or pooltile option allowed"), "Making floor from a.bmp\n"},
      {{"-watertile", "1", "o.iff", "-watertile", "2", "o.iff"}, Usage("only one watertile option allowed")},
      // The tile options take the object file last: one named before them is not dropped in
      // silence, nor is the object file of another tile option.
      {{"d.iff", "-floor", "9", "f.bmp", "e.iff"},
       Usage("no option takes d.iff: the tile options take the object file as their last word")},
      {{"d.iff", "-watertile", "3", "e.iff"},
       Usage("no option takes d.iff: the tile options take the object file as their last word")},
      {{"-thickwalls", "1", "t.bmp", "e.iff", "-pooltile", "2", "p.bmp", "d.iff"},
       Usage("second object file not allowed: d.iff"), "Making thickwalls at 1 from t.bmp\n"},
      // Lines that parse: the build is asked for, and the stand-in driver refuses it.
      {{"obj.iff", "-spec", "a.omk", "-graphics", "d"}, "fatal error: could not open object file obj.iff\n\n"},
      {{"-pooltile", "4", "p.bmp", "o.iff"}, kNoObjectFile, "Making pool tile from p.bmp\n"},
      {{"-thickwalls", "2", "t.bmp", "o.iff"}, kNoObjectFile, "Making thickwalls at 2 from t.bmp\n"},
      {{"-thickcutaway", "2", "t.bmp", "c.tga", "o.iff"}, kNoObjectFile, "Making thick wall cutaway from c.tga\n"},
      // A negative number is the option's number, not a missing word: the line parses and the
      // stage that uses the number judges its range.
      {{"-floor", "-3", "f.bmp", "o.iff"}, kNoObjectFile, "Making floor from f.bmp\n"},
      {{"-pooltile", "-1", "p.bmp", "o.iff"}, kNoObjectFile, "Making pool tile from p.bmp\n"},
      {{"-wallstyle", "-3c", "a.tga", "o.iff"}, kNoObjectFile, "Making wall style from a.tga\n"},
      {{"-wallpattern", "-300", "a.bmp", "o.iff"}, kNoObjectFile, "Making wall pattern from a.bmp\n"},
      {{"-watertile", "-1", "o.iff"}, kNoObjectFile},
      {{"-thickwalls", "-2", "t.bmp", "o.iff"}, kNoObjectFile, "Making thickwalls at -2 from t.bmp\n"},
      {{"-thickcutaway", "-2", "t.bmp", "c.tga", "o.iff"}, kNoObjectFile, "Making thick wall cutaway from c.tga\n"},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& a : c.args) line += " " + a.substr(0, 20);
    SCOPED_TRACE("morvik" + line);
    RunResult r = RunMorvik(c.args);
    EXPECT_EQ(r.exitCode, 1);
    size_t banner = r.err.find('\n');
    ASSERT_NE(banner, std::string::npos);
    EXPECT_EQ(r.err.rfind("Morvik version built ", 0), 0u);
    EXPECT_NE(r.err.find(" at ", 0), std::string::npos);
    EXPECT_EQ(r.err.substr(banner + 1), c.err);
    EXPECT_EQ(r.out, c.out);
  }
}

// The usage names every option the parser takes; the tile options show the object file as
// their last word.
TEST(MorvikCommandLine, UsageListsEveryOption) {
  const std::string usage = RunMorvik({}).err;
  ASSERT_NE(usage.find(CommandLineBuilder::UsageText()), std::string::npos) << usage;
  for (const char* option : {"-tmpl", "-retain", "-prefix", "-spec", "-wall", "-headline", "-graphics", "-sounds",
                             "-slot", "-attr", "-skills", "-printdgrps", "-catalog", "-ttab", "-bmps", "-famhist",
                             "-v"}) {
    const std::string word = option;
    EXPECT_TRUE(usage.find("[" + word + " ") != std::string::npos || usage.find("[" + word + "]") != std::string::npos)
        << option;
  }
  for (const char* option : {"-wallstyle", "-wallpattern", "-floor", "-floorshadow", "-pooltile", "-watertile",
                             "-thickwalls", "-thickcutaway"}) {
    const std::string start = std::string("# morvik ") + option + " (";
    const size_t at = usage.find(start);
    ASSERT_NE(at, std::string::npos) << option;
    const std::string line = usage.substr(at, usage.find('\n', at) - at);
    const std::string last = " (dest-object-file)";
    EXPECT_EQ(line.compare(line.size() - last.size(), last.size(), last), 0) << line;
  }
}

TEST(MorvikCommandLine, BannerNamesBuildDateAndTime) {
  RunResult r = RunMorvik({});
  std::string banner = r.err.substr(0, r.err.find('\n'));
  // "Morvik version built Mmm dd yyyy at hh:mm:ss"
  ASSERT_EQ(banner.size(), std::string("Morvik version built Dec 10 2026 at 08:16:03").size()) << banner;
  EXPECT_EQ(banner.substr(32, 4), " at ");
  EXPECT_EQ(banner[38], ':');
  EXPECT_EQ(banner[41], ':');
}
