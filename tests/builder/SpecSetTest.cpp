#include "SpecSet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MemResFile.h"
#include "ObjDefinition.h"
#include "SpecTestSupport.h"

namespace {

// An 'OBJD' of version 138 with the given GUID.
std::vector<uint8_t> Definition(uint32_t guid) {
  ObjDefinition d;
  d.SetLong(kObjDefVersion, ObjDefinition::kCurrentVersion);
  d.SetGUID(guid);
  std::vector<uint8_t> bytes(ObjDefinition::kByteSize);
  d.WriteTo(bytes.data());
  return bytes;
}

// Compiles `text` into a new set over `file`.
void Compile(SpecSet& set, const std::string& text) {
  TagFile tags(text);
  set.ParseSpecTags(tags.List());
}

std::string CompileError(const std::string& text) {
  MemResFile file;
  SpecSet set(&file);
  return FatalText([&] { Compile(set, text); });
}

template <class T>
std::vector<int32_t> Ids(const PtrList<T>& list) {
  std::vector<int32_t> ids;
  for (PtrListIterator<T> it(list); it.Current(); it.Next()) ids.push_back(it.Current()->fId);
  return ids;
}

}  // namespace

TEST(SpecSet, SingleObjectIsTheDefaultTarget) {
  MemResFile file;
  file.PutStored(kObjDefinitionType, 128, Definition(0x1234), true, "chair");
  SpecSet set(&file);
  Compile(set, "<target object=chair>");
  ASSERT_EQ(set.fTargets.Count(), 1);
  TargetSpec* target = set.fTargets.Nth(0);
  EXPECT_EQ(target->fId, 128);
  EXPECT_STREQ(target->fName.c_str(), "chair");
  ASSERT_NE(target->GetDefinition(), nullptr);
  EXPECT_EQ(target->GetDefinition()->GetGUID(), 0x1234u);
  EXPECT_EQ(set.GetDefaultTarget(), target);

  // Registered before the first tag, with no tag naming it.
  SpecSet plain(&file);
  Compile(plain, "");
  EXPECT_EQ(plain.fTargets.Count(), 1);
}

TEST(SpecSet, NoDefaultTargetAmongSeveralObjects) {
  MemResFile file;
  file.PutStored(kObjDefinitionType, 128, Definition(1), true, "one");
  file.PutStored(kObjDefinitionType, 129, Definition(2), true, "two");
  SpecSet set(&file);
  Compile(set, "");
  EXPECT_EQ(set.fTargets.Count(), 0);
  EXPECT_EQ(set.GetDefaultTarget(), nullptr);
}

TEST(SpecSet, TargetsByGuidAndByName) {
  MemResFile file;
  file.PutStored(kObjDefinitionType, 128, Definition(7), true, "one");
  file.PutStored(kObjDefinitionType, 129, Definition(0xDEADBEEF), true, "two");
  file.PutStored(kObjDefinitionType, 130, Definition(9), true, "three");
  SpecSet set(&file);
  {
    LogCapture log;
    // A GUID above the i32 range, written in decimal, keeps its bits.
    Compile(set, "<target guid=3735928559>");
    EXPECT_EQ(log.Text(), "");
  }
  // Every object visited on the way stays registered.
  EXPECT_EQ(Ids(set.fTargets), (std::vector<int32_t>{128, 129}));

  TagFile named("<target object=three>");
  TargetSpec* three = set.GetTargetForTag(named[0]);
  ASSERT_NE(three, nullptr);
  EXPECT_EQ(three->fId, 130);
  EXPECT_EQ(set.GetTargetForTag(named[0]), three);  // registered once
  EXPECT_EQ(set.fTargets.Count(), 3);

  LogCapture log;
  TagFile missing("<target guid=12345>");
  EXPECT_EQ(set.GetTargetForTag(missing[0]), nullptr);
  FixedStringBuffer<260> path;
  file.GetName(path);
  EXPECT_EQ(log.Text(), std::string("file: ") + path.c_str() +
                            " \nwarning: could not find object with guid 12345\n");

  TagFile none("\n<target>");
  EXPECT_EQ(FatalText([&] { set.GetTargetForTag(none[0]); }),
            "line: 2 - object name or guid required in target spec");
  TagFile unknown("<target object=four>");
  EXPECT_EQ(FatalText([&] { set.GetTargetForTag(unknown[0]); }),
            "line: 1 - coult not get objd resource for target tag");
}

TEST(SpecSet, ListOrder) {
  MemResFile file;
  file.PutStored(kObjDefinitionType, 128, Definition(77));
  SpecSet set(&file);
  Compile(set,
          "<sprite id=1 tgafile=a.tga>"
          "<\"wall style\" id=10 tgafile=w1.tga>"
          "<drawgroup id=100>"
          "<sprite id=2 tgafile=a.tga>"
          "<\"wall style\" id=11 tgafile=w2.tga \"cutaway tgafile\"=c.tga global=true>"
          "<drawgroup id=101 ordering=obscured>"
          "<catalog id=1 bmpfile=t.bmp><catalog id=2 bmpfile=t.bmp>"
          "<sound id=1 name=a><sound id=2 name=b>"
          "<ttab id=1 guid=77><bmpfile id=1 filename=b.bmp><slots id=1><attributes id=1>"
          "<headline id=3 tgafile=h.tga>");
  // Appended: file order. Put first: last tag first.
  EXPECT_EQ(Ids(set.fSprites), (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(Ids(set.fDrawGroups), (std::vector<int32_t>{100, 101}));
  EXPECT_EQ(Ids(set.fWallStyles), (std::vector<int32_t>{11, 10}));
  WallStyleSpriteSpec* style = set.fWallStyles.Nth(0);
  EXPECT_STREQ(style->fTgaFile.c_str(), "w2.tga");
  EXPECT_STREQ(style->fCutawayTgaFile.c_str(), "c.tga");
  EXPECT_EQ(style->fGlobal, 1);
  EXPECT_EQ(set.fDrawGroups.Nth(1)->fOrdering, DGRPSpec::kOrderingObscured);
  EXPECT_EQ(set.fCatalogs.Count(), 2);
  EXPECT_EQ(set.fSounds.Count(), 2);
  EXPECT_EQ(set.fTreeTables.Count(), 1);
  EXPECT_EQ(set.fBitmaps.Count(), 1);
  EXPECT_EQ(set.fSlots.Count(), 1);
  EXPECT_EQ(set.fAttributes.Count(), 1);
  EXPECT_EQ(set.fHeadlines.Count(), 1);
  // The headline sprite takes the headline sizes.
  EXPECT_EQ(set.fSprites.Nth(2)->GetSizes().fHeights[0], 96);
}

TEST(SpecSet, SpritesCopyTheSizesInForceAtTheirTag) {
  MemResFile file;
  SpecSet set(&file);
  Compile(set,
          "<sizes lwidth=10 lheight=20 mwidth=6 mheight=8 swidth=4 sheight=5>"
          "<sprite id=1 tgafile=a.tga>"
          "<sizes lwidth=30 lheight=40 mwidth=6 mheight=8 swidth=4 sheight=5>"
          "<sprite id=2 tgafile=a.tga>");
  EXPECT_EQ(set.fSprites.Nth(0)->GetSizes().fWidths[0], 10);
  EXPECT_EQ(set.fSprites.Nth(1)->GetSizes().fWidths[0], 30);
  EXPECT_EQ(set.fSprites.Nth(1)->fPosition, 1);
  EXPECT_EQ(set.fSpriteSizes.fHeights[0], 40);
}

TEST(SpecSet, OrderErrors) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"<slot>", "slot tag received before slots tag"},
      {"<attribute index=1 label=a>", "got an attribute tag before attributes tag"},
      {"<skill>", "got a skill tag before \"skill table tag\""},
      {"<\"skill table\"><\"skill table\">", "found more than one skill table tag"},
      {"<interaction>", "interaction tag without ttab tag"},
      {"<ttab id=1><interaction>", "line: 1 - guid required for tree table"},
      {"<item sprite id=1>", "item tag received before drawgroup tag"},
      {"<sprite id=1 tgafile=a.tga pairing=3>",
       "line: 1 - could not find more than one sprite for a pair group"},
      {"<sprite id=1 tgafile=a.tga pairing=256><sprite id=2 tgafile=a.tga pairing=256>",
       "line: 1 - code error, too many pair groups"},
      {"<sprite id=1 tgafile=a.tga pairing=-1><sprite id=2 tgafile=a.tga pairing=-1>",
       "line: 1 - pairing expected to be >=0"},
      {"<\"wall style\" id=1>", "line: 1 - wall style tag requires tgafile attribute"},
      {"<\"wall style\" id=1 tgafile=a.tga global=\"True\">",
       "line: 1 - boolean value for key \"global\" in tag \"wall style\" expected to be true or "
       "false"},
      {"<drawgroup id=1\nordering=random>", "line: 2 - unknown ordering"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CompileError(c.text), c.message) << c.text;
  }
  // A capital T in a boolean is not "true".
  EXPECT_EQ(CompileError("<sprite id=1 tgafile=a.tga reverse=\"True\">"),
            "line: 1 - boolean value for key \"reverse\" in tag \"sprite\" expected to be true or "
            "false");
  // The same tags in their order compile.
  for (const char* text : {"<slots id=1><slot>", "<attributes id=1><attribute index=0 label=a>",
                           "<\"skill table\"><skill index=0 name=a type=a2o>"
                           "<skill index=1 name=b type=c2a>",
                           "<sprite id=1 tgafile=a.tga pairing=3><sprite id=2 tgafile=b.tga "
                           "pairing=3>"}) {
    EXPECT_EQ(CompileError(text), "<no error>") << text;
  }
}

TEST(SpecSet, UnknownTagsWarnAndCareerTagsAreIgnored) {
  MemResFile file;
  SpecSet set(&file);
  LogCapture log;
  Compile(set, "<career id=1>\n<job>\n\n<frob x=1>\n<career>");
  EXPECT_EQ(log.Text(), "warning: line: 4 - unknown tag: frob\n");
  EXPECT_EQ(set.fSprites.Count(), 0);
}

TEST(SpecSet, PairGroupsSpreadToTheDrawGroupsThatUseThem) {
  const std::string sprites =
      "<sprite id=1 tgafile=a.tga symmetry=bi-lateral pairing=4>"
      "<sprite id=2 tgafile=b.tga symmetry=bi-lateral pairing=4>";
  EXPECT_EQ(CompileError(sprites + "<drawgroup id=100><item sprite id=1><item sprite id=2>"),
            "line: 1 - draw group uses two sprites from same pair group");

  // A draw group that uses one member gets the others at the same direction offset.
  MemResFile file;
  SpecSet set(&file);
  Compile(set, sprites +
                   "<drawgroup id=100><item sprite id=2 \"direction offset\"=2>"
                   "<drawgroup id=101>");
  DGRPEmbedded* added = set.fDrawGroups.Nth(0)->FindEmbedded(set.fSprites.Nth(0));
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->fDirectionOffset, 2);
  EXPECT_EQ(set.fDrawGroups.Nth(1)->FindEmbedded(set.fSprites.Nth(0)), nullptr);
}

TEST(SpecSet, TypedGetters) {
  TagFile tags(
      "<t a=12abc b=x c=true d=\"True\" e=1.5 f=4294967295 g=65537 h=-1 k=\" -7 \" m=0x10 "
      "\nid=x name=n language=2>");
  AttribTable& tag = tags[0];
  int32_t i = -5;
  EXPECT_FALSE(GetIntAttr(tag, "missing", i));
  EXPECT_EQ(i, -5);
  EXPECT_TRUE(GetIntAttr(tag, "k", i));
  EXPECT_EQ(i, -7);
  uint16_t b = 9;
  EXPECT_TRUE(GetBoolAttr(tag, "c", b));
  EXPECT_EQ(b, 1);
  float f = 0;
  EXPECT_TRUE(GetFloatAttr(tag, "e", f));
  EXPECT_FLOAT_EQ(f, 1.5f);
  int32_t l = 0;
  EXPECT_TRUE(GetLongAttr(tag, "f", l));
  EXPECT_EQ(uint32_t(l), 0xFFFFFFFFu);
  uint16_t s = 0;
  EXPECT_TRUE(GetShortAttr(tag, "g", s));
  EXPECT_EQ(s, 1);
  EXPECT_TRUE(GetShortAttr(tag, "h", s));
  EXPECT_EQ(s, 0xFFFF);

  struct Case {
    std::string message;
    std::string expected;
  };
  const Case cases[] = {
      {FatalText([&] { GetIntAttr(tag, "b", i); }),
       "line: 1 - integer value expected for key \"b\" in tag \"t\""},
      // Only the whole text is a number: "%d" would read 12 and 0.
      {FatalText([&] { GetIntAttr(tag, "a", i); }),
       "line: 1 - integer value expected for key \"a\" in tag \"t\""},
      {FatalText([&] { GetIntAttr(tag, "m", i); }),
       "line: 1 - integer value expected for key \"m\" in tag \"t\""},
      {FatalText([&] { GetShortAttr(tag, "a", s); }),
       "line: 1 - short integer value expected for key \"a\" in tag \"t\""},
      {FatalText([&] { GetLongAttr(tag, "a", l); }),
       "line: 1 - long integer value expected for key \"a\" in tag \"t\""},
      {FatalText([&] { GetBoolAttr(tag, "d", b); }),
       "line: 1 - boolean value for key \"d\" in tag \"t\" expected to be true or false"},
      {FatalText([&] { GetFloatAttr(tag, "b", f); }),
       "line: 1 - float value expected for key \"b\" in tag \"t\""},
      {FatalText([&] { GetShortAttr(tag, "b", s); }),
       "line: 1 - short integer value expected for key \"b\" in tag \"t\""},
      {FatalText([&] { GetLongAttr(tag, "b", l); }),
       "line: 1 - long integer value expected for key \"b\" in tag \"t\""},
      {FatalText([&] { GetIntAttr(tag, "language", i); }), "<no error>"},
      // Beyond 32 bits a number would wrap (4294967295 to -1).
      {FatalText([&] { GetIntAttr(tag, "f", i); }),
       "line: 1 - value 4294967295 for key \"f\" in tag \"t\" out of range -2147483648 to "
       "2147483647"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.message, c.expected);

  GenericSpec spec;
  // An id that is not a number once left fId as it was (0 for a new spec).
  EXPECT_EQ(FatalText([&] { ParseCommonAttrs(spec, tag); }),
            "line: 2 - integer value expected for key \"id\" in tag \"t\"");
  TagFile named("<t id=44 name=n language=2>");
  ParseCommonAttrs(spec, named[0]);
  EXPECT_EQ(spec.fId, 44);
  EXPECT_STREQ(spec.fName.c_str(), "n");
  EXPECT_EQ(spec.fLanguage, 2);

  TagFile bare("<t id=3>");
  ParseCommonAttrs(spec, bare[0]);
  EXPECT_EQ(spec.fId, 3);
  EXPECT_EQ(spec.fName.length(), 0);
  EXPECT_EQ(spec.fLanguage, 0);
}

TEST(SpecSet, FileWarningsReachTheLogAndTheSyncBuffer) {
  MemResFile file;
  FixedStringBuffer<260> path;
  file.GetName(path);

  ObjectBuilder builder;
  std::string shared;
  PlatformLock lock;
  builder.SetSync(&shared, &lock);
  ObjectBuilder* old = gCurrentBuilder;
  gCurrentBuilder = &builder;
  {
    LogCapture log;
    PrintFileWarning(&file, "look here");
    EXPECT_EQ(log.Text(), std::string("file: ") + path.c_str() + " \nwarning: look here\n");
  }
  gCurrentBuilder = old;
  EXPECT_EQ(shared, std::string("file: ") + path.c_str() + "\nwarning: look here\n");
}

// Every id an author writes is checked against the field it is stored in: a resource id is
// 16 bits unsigned, so 70000 would become 4464 and -1 65535, each replacing another resource.
TEST(SpecSet, IdsOutsideTheirFieldStopTheBuildAtTheirLine) {
  const std::string kId = "out of range 0 to 65535";
  struct Case {
    std::string text;
    std::string message;  // "" when the tags compile
  };
  const Case cases[] = {
      {"<sprite id=70000 tgafile=a.tga>",
       "line: 1 - value 70000 for key \"id\" in tag \"sprite\" " + kId},
      {"<sprite tgafile=a.tga\nid=-1>", "line: 2 - value -1 for key \"id\" in tag \"sprite\" " + kId},
      {"<sprite id=65535 tgafile=a.tga>", ""},
      {"<sprite id=0 tgafile=a.tga paletteid=-1>", ""},
      {"<sprite id=1 tgafile=a.tga paletteid=65536>",
       "line: 1 - value 65536 for key \"paletteid\" in tag \"sprite\" out of range -2147483648 to "
       "65535"},
      {"<headline id=65536>", "line: 1 - value 65536 for key \"id\" in tag \"headline\" " + kId},
      {"<drawgroup id=99999999999999999999>",
       "line: 1 - value 99999999999999999999 for key \"id\" in tag \"drawgroup\" " + kId},
      {"<sprite id=1 tgafile=a.tga><drawgroup id=1>\n<item sprite id=70001>",
       "line: 2 - value 70001 for key \"id\" in tag \"item\" " + kId},
      {"<sound id=-5 name=a.wav>", "line: 1 - value -5 for key \"id\" in tag \"sound\" " + kId},
      {"<sound id=+12 name=a.wav>", ""},
      {"<sound id=+12abc name=a.wav>",
       "line: 1 - integer value expected for key \"id\" in tag \"sound\""},
      {"<slots id=65536>", "line: 1 - value 65536 for key \"id\" in tag \"slots\" " + kId},
      {"<attributes id=70000>", "line: 1 - value 70000 for key \"id\" in tag \"attributes\" " + kId},
      {"<attributes id=1><attribute index=40000 label=x>",
       "line: 1 - value 40000 for key \"index\" in tag \"attribute\" out of range 0 to 32766"},
      {"<\"skill table\"><skill index=-1 name=n type=a2o>",
       "line: 1 - value -1 for key \"index\" in tag \"skill\" out of range 0 to 32766"},
      {"<bmpfile id=70000 filename=a.bmp>",
       "line: 1 - value 70000 for key \"id\" in tag \"bmpfile\" " + kId},
      {"<bmpfile id=1 filename=a.bmp\nlanguage=256>",
       "line: 2 - value 256 for key \"language\" in tag \"bmpfile\" out of range 0 to 255"},
      {"<\"wall style\" id=65531 tgafile=w.tga>",
       "line: 1 - value 65531 for key \"id\" in tag \"wall style\" out of range 0 to 65530"},
      {"<catalog id=70000 bmpfile=t.bmp>",
       "line: 1 - value 70000 for key \"id\" in tag \"catalog\" " + kId},
      {"<catalog id=-2 bmpfile=t.bmp>", "line: 1 - value -2 for key \"id\" in tag \"catalog\" " + kId},
      {"<catalog id=x bmpfile=t.bmp>",
       "line: 1 - short integer value expected for key \"id\" in tag \"catalog\""},
      {"<catalog bmpfile=t.bmp \"popup bmpfile\"=p.bmp \"popup id\"=0>",
       "line: 1 - value 0 for key \"popup id\" in tag \"catalog\" out of range 1 to 65535"},
      {"<catalog bmpfile=t.bmp \"popup bmpfile\"=p.bmp \"popup id\"=65536>",
       "line: 1 - value 65536 for key \"popup id\" in tag \"catalog\" out of range 1 to 65535"},
      {"<ttab guid=4294967296>",
       "line: 1 - value 4294967296 for key \"guid\" in tag \"ttab\" out of range -2147483648 to "
       "4294967295"},
      {"<target guid=-2147483649>",
       "line: 1 - value -2147483649 for key \"guid\" in tag \"target\" out of range -2147483648 to "
       "4294967295"},
      {"<target guid=4294967295><target guid=-1>", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    MemResFile file;
    file.PutStored(kObjDefinitionType, 128, Definition(0xFFFFFFFFu), true, "chair");
    SpecSet set(&file);
    LogCapture log;
    const std::string error = FatalText([&] { Compile(set, c.text); });
    EXPECT_EQ(error, c.message.empty() ? "<no error>" : c.message);
  }
}

// A spec list or a draw group that is full stops the build at the tag instead of dropping
// what does not fit.
TEST(SpecSet, FullListsStopTheBuild) {
  std::string sounds;
  for (int i = 0; i < 32768; ++i) sounds += "<sound id=" + std::to_string(i % 100) + " name=a>\n";
  EXPECT_EQ(CompileError(sounds),
            "line: 32768 - too many tags of one kind in spec file (at most 32767)");

  // The item past 32,767 is the only one of a pair group's sprite: dropping its pair would
  // leave the group unfinished in this draw group without a word.
  std::string items =
      "<sizes lwidth=10 lheight=20 mwidth=6 mheight=8 swidth=4 sheight=5>"
      "<sprite id=1 tgafile=a.tga>"
      "<sprite id=2 tgafile=b.tga symmetry=bi-lateral pairing=1>"
      "<sprite id=3 tgafile=b.tga symmetry=bi-lateral pairing=1>"
      "<drawgroup id=1>";
  for (int i = 0; i < 32767; ++i) items += "<item sprite id=1>";
  items += "<item sprite id=2>";
  LogCapture log;  // the repeated items warn that they overwrite each other
  EXPECT_EQ(CompileError(items), "too many items in one draw group (at most 32767)");
}

// Every key that a tag's parser reads compiles without the unknown-key warning; a key no tag
// reads is reported once, at its own line, with its tag.
TEST(SpecSet, KeysATagDoesNotReadAreReportedAtTheirLine) {
  MemResFile file;
  file.PutStored(kObjDefinitionType, 128, Definition(0x1234), true, "chair");
  SpecSet set(&file);
  LogCapture log;
  Compile(set,
          "<sizes lwidth=4 lheight=4 lxorigin=2 lyorigin=1 mwidth=2 mheight=2 mxorigin=1 myorigin=1 "
          "swidth=1 sheight=1 sxorigin=0 syorigin=0 slopwidth=0 border=0>\n"
          "<sprite id=1 name=a language=0 tgafile=a.tga mask=m.bmp position=0 frames=1 columns=4 "
          "shrink=true reverse=false paletteid=1 symmetry=none pairing=0 rotation=0>\n"
          "<headline id=2 name=h language=0 bmpfile=h.bmp position=0 frames=1 paletteid=2>\n"
          "<drawgroup id=3 name=d language=0 ordering=fixed>\n"
          "<item sprite id=1 alt=0 x=0 y=0 \"direction offset\"=0 luminous=false>\n"
          "<\"wall style\" id=4 name=w language=0 tgafile=w.tga \"cutaway tgafile\"=c.tga global=false>\n"
          "<catalog guid=4660 id=5 bmpfile=t.bmp \"popup bmpfile\"=p.bmp \"popup id\"=6 cost=1 "
          "\"initial depreciation\"=1 \"daily depreciation\"=1 \"standard depreciation\"=1 "
          "\"depreciation limit\"=1 \"room sort\"=Kitchen \"function sort\"=Seating hunger=1 "
          "comfort=1 hygiene=1 bladder=1 energy=1 fun=1 room=1 cook=true mechanical=true "
          "logic=true body=true creativity=true charisma=true study=true>\n"
          "<catalog thumbnail=t.bmp>\n"
          "<ttab guid=4660 name=t>\n<interaction index=0 name=i>\n"
          "<bmpfile id=7 name=b language=0 filename=b.bmp>\n"
          "<target guid=4660>\n<target object=chair>\n"
          "<sound id=8 name=s.wav language=0>\n"
          "<slots id=9 name=s language=0>\n"
          "<slot name=a x=0 y=0 alt=0 type=\"contained object\" \"maximum size\"=50 surface=true "
          "height=table>\n"
          "<slot type=routing standing=1 sitting=1 ground=1 target=1 min=1 max=1 optimal=1 "
          "gradient=1 resolution=1 north northeast east southeast south southwest west northwest "
          "\"no rotation snap\" absolute \"ignore rooms\" \"snap to direction\" random "
          "\"alt not required\" \"average object location\" \"facing not required\" "
          "\"opposite facing\">\n"
          "<attributes id=10 name=a language=0>\n<attribute index=0 label=l>\n"
          "<\"skill table\">\n<skill index=0 name=n type=a2o>\n");
  EXPECT_EQ(log.Text().find("unknown key"), std::string::npos) << log.Text();

  MemResFile other;
  SpecSet typo(&other);
  LogCapture typoLog;
  Compile(typo, "<sizes lwidth=4 lheight=4 mwidth=2 mheight=2 swidth=1 sheight=1>\n"
                "<sprite id=1 tgafile=a.tga\n  paletid=6 symetry=radial>\n<sound id=2 name=x.wav nmae=y>\n");
  EXPECT_EQ(typoLog.Text(),
            "warning: line: 3 - unknown key \"paletid\" in tag \"sprite\"\n"
            "warning: line: 3 - unknown key \"symetry\" in tag \"sprite\"\n"
            "warning: line: 4 - unknown key \"nmae\" in tag \"sound\"\n");
  EXPECT_EQ(typo.fSprites.Nth(0)->fPaletteId, -1);  // the misspelt key is not read
}
