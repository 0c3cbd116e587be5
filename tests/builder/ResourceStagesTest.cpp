// Tests of the smaller spec families and their stages: slots, attributes, skills, sounds,
// headlines, catalogs, tree tables and bitmap resources; in process over an in-memory file,
// and end to end through the morvik program with the object file read back.

#include "ResourceStages.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "IFFResFile2.h"
#include "ImageWriters.h"
#include "MemResFile.h"
#include "ObjDefinition.h"
#include "SoundRecord.h"
#include "SpecSet.h"
#include "SpecTestSupport.h"
#include "SpriteDecoders.h"
#include "TreeTable.h"
#include "strset.h"

namespace {

constexpr uint32_t kGuid = 0x1234;
constexpr uint16_t kTableId = 2001;

// An 'OBJD' with the GUID, the tree-table id in word 7 and a few catalog words set.
std::vector<uint8_t> Definition(uint32_t guid, uint16_t catalogId = 0) {
  ObjDefinition d;
  d.SetLong(kObjDefVersion, ObjDefinition::kCurrentVersion);
  d.SetGUID(guid);
  d.fWords[7] = kTableId;
  d.fWords[18] = 75;   // cost
  d.fWords[37] = 3;    // standard depreciation
  d.fWords[39] = 16;   // room sort
  d.fWords[41] = catalogId;
  std::vector<uint8_t> bytes(ObjDefinition::kByteSize);
  d.WriteTo(bytes.data());
  return bytes;
}

void Compile(SpecSet& set, const std::string& text) {
  TagFile tags(text);
  set.ParseSpecTags(tags.List());
}

std::string CompileError(iResFile& file, const std::string& text) {
  SpecSet set(&file);
  return FatalText([&] { Compile(set, text); });
}

std::vector<std::string> Strings(iResFile* file, uint32_t type, uint16_t id) {
  StringSet set;
  set.Init(file, id, type, 0, 0);
  std::vector<std::string> out;
  if (set.Read(0, 1) != 0) return out;
  for (int32_t i = 1; i <= set.Count(); i++) out.push_back(set.GetString(i));
  return out;
}

std::string Comment(iResFile* file, uint16_t id, int32_t index) {
  StringSet set;
  set.Init(file, id, kTreeTableStringsType, 0, 0);
  if (set.Read(0, 1) != 0) return "<none>";
  const char* c = set.GetComment(index);
  return c ? c : "";
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A tree table of three interactions (indexes 0, 1, 2) with their strings and comments.
void PutTreeTable(iResFile* file) {
  TreeTable table(16);
  for (uint16_t tree : {4096, 4097, 4098}) ASSERT_TRUE(table.AddEntry(0, tree));
  table.GetEntry(0)->fName = "Sit";
  table.GetEntry(1)->fName = "Stand";
  table.GetEntry(2)->fName = "Lie";
  ASSERT_EQ(table.Save(file, int16_t(kTableId), "interactions"), 0);
  StringSet set;
  set.Init(file, kTableId, kTreeTableStringsType, 0, 0);
  ASSERT_EQ(set.Read(0, 1), 0);
  set.SetComment(1, "!!named twice");
  set.SetComment(2, "plain");
  set.SetComment(3, "!already");
  ASSERT_EQ(set.Write(), 0);
}

}  // namespace

// --- Slots, attributes, skills, sounds, headlines -------------------------------------------

TEST(SlotSpecs, SlotKindsAndTheirKeys) {
  LogCapture log;
  MemResFile file;
  SpecSet set(&file);
  Compile(set,
          "<slots id=128 name=obj>\n"
          "<slot type=routing x=1.5>\n"
          "<slot type=routing min=0.5 max=2 optimal=1.25 gradient=1.6 resolution=0.5 north=x "
          "\"no rotation snap\"=false \"average object location\"=1 standing=1 sitting=2 "
          "ground=3 target=4 \"facing not required\"=1 \"opposite facing\"=1>\n"
          "<slot surface=true height=counter \"maximum size\"=-3>\n"
          "<slot type=\"contained object\" height=shelf \"maximum size\"=101>\n"
          "<slot type=sprite><slot type=handle><slot type=other>\n");
  ASSERT_EQ(set.fSlots.Count(), 1);
  const std::vector<SlotDescriptor>& s = set.fSlots.Nth(0)->fDescriptors;
  ASSERT_EQ(s.size(), 7u);
  EXPECT_EQ(s[0].fType, kSlotRouting);
  EXPECT_EQ(s[0].fX, 1.5f);
  EXPECT_EQ(s[0].fMin, 16);
  EXPECT_EQ(s[0].fMax, 16);
  EXPECT_EQ(s[0].fOptimal, 16);
  EXPECT_FLOAT_EQ(s[0].fGradient, 0.1875f);
  EXPECT_EQ(s[0].fResolution, 16);
  EXPECT_EQ(s[0].fFacing, -2);
  EXPECT_EQ(s[1].fMin, 8);
  EXPECT_EQ(s[1].fMax, 32);
  EXPECT_EQ(s[1].fOptimal, 20);
  EXPECT_FLOAT_EQ(s[1].fGradient, 0.1f);
  EXPECT_EQ(s[1].fResolution, 8);
  EXPECT_EQ(s[1].fFlags, 1 | 0x100 | 0x10000);  // present keys count, whatever their value
  EXPECT_EQ(s[1].fFacing, 4);
  EXPECT_EQ(s[1].fStanding + s[1].fSitting * 10 + s[1].fGround * 100, 321);
  EXPECT_EQ(s[1].fTarget, 4);
  EXPECT_EQ(s[2].fType, kSlotContainer);
  EXPECT_EQ(s[2].fSurfaceFlags, 1);
  EXPECT_EQ(s[2].fHeightCode, 4);
  EXPECT_EQ(s[2].fMaxSize, -3);
  EXPECT_EQ(s[3].fHeightCode, 0);
  EXPECT_EQ(s[3].fMaxSize, 101);
  EXPECT_EQ(s[4].fType, kSlotSprite);
  EXPECT_EQ(s[5].fType, kSlotHandle);
  EXPECT_EQ(s[6].fType, 0xFFFF);
  const std::string text = log.Text();
  EXPECT_TRUE(Contains(text, "warning: line: 4 - negative size value in slot tag\n")) << text;
  EXPECT_TRUE(Contains(text, "warning: line: 5 - unknown slot height found\n")) << text;
  EXPECT_TRUE(Contains(text, "size value in slot tag grater than maximum value")) << text;
  EXPECT_STREQ(set.fSlots.Nth(0)->fStrings.GetName().c_str(), "obj labels");
}

TEST(SlotSpecs, SaveWritesLabelsAndSlots) {
  MemResFile file;
  {
    StringSet old;  // old labels are dropped
    old.Init(&file, 257, kStringSetType, 0, 0);
    for (int i = 1; i <= 5; i++) old.SetString(uint32_t(i), "stale");
    ASSERT_EQ(old.Write(), 0);
  }
  SpecSet set(&file);
  Compile(set, "<slots id=130><slot name=first><slot><slot name=second type=routing>");
  WriteSlotsStage(set, &file);
  const std::vector<std::string> labels = Strings(&file, kStringSetType, 257);
  ASSERT_GE(labels.size(), 3u);
  EXPECT_EQ(labels[0], "first");
  EXPECT_EQ(labels[1], "1");
  EXPECT_EQ(labels[2], "second");
  std::vector<SlotDescriptor> loaded;
  uint32_t version = 0;
  ASSERT_EQ(LoadSlotList(loaded, &file, 130, &version), 0);
  EXPECT_EQ(version, 10u);
  ASSERT_EQ(loaded.size(), 3u);
  EXPECT_EQ(loaded[2].fType, kSlotRouting);
  EXPECT_EQ(loaded[2].fMin, 16);

  file.SetWriteError(shortWriteErr);
  EXPECT_EQ(FatalText([&] { WriteSlotsStage(set, &file); }), "could not save slots");
  file.SetWriteError(0);
  file.SetReadOnly(true);
  EXPECT_EQ(FatalText([&] { WriteSlotsStage(set, &file); }), "object file memory is read-only");
}

TEST(SlotSpecs, AttributesPadWithTheirNumbers) {
  MemResFile file;
  SpecSet set(&file);
  Compile(set, "<attributes id=300 name=attrs><attribute index=3 label=size>"
               "<attribute index=1 label=colour>");
  WriteAttributesStage(set, &file);
  EXPECT_EQ(Strings(&file, kStringSetType, 300),
            (std::vector<std::string>{"0", "colour", "2", "size"}));
  for (const char* text : {"<attributes id=1><attribute label=a>",
                           "<attributes id=1><attribute index=1>",
                           "<attributes id=1><attribute index=-1 label=a>"}) {
    MemResFile other;
    EXPECT_NE(CompileError(other, text), "<no error>") << text;
  }
  MemResFile other;
  EXPECT_EQ(CompileError(other, "<attributes id=1><attribute label=a>"),
            "line: 1 - index required for attributes");
  EXPECT_EQ(CompileError(other, "<attributes id=1><attribute index=1>"),
            "line: 1 - label required for attrributes");
}

TEST(SlotSpecs, SkillsGoToTheirSetsAndEmptySetsRemoveOldOnes) {
  LogCapture log;
  MemResFile file;
  file.PutStored(kStringSetType, 130, std::vector<uint8_t>{0, 0});  // an old set, no skills now
  SpecSet set(&file);
  Compile(set,
          "<\"skill table\" name=skills id=9>"
          "<skill index=0 name=cooking type=a2o>"
          "<skill index=2 name=talk type=\"x c2a\">"
          "<skill index=0 name=fix type=a2c>");
  WriteSkillsStage(set, &file);
  EXPECT_EQ(Strings(&file, kStringSetType, 129), (std::vector<std::string>{"cooking"}));
  EXPECT_EQ(file.Count(kStringSetType), 3);
  EXPECT_EQ(file.GetResource(kStringSetType, 130), nullptr);
  EXPECT_EQ(Strings(&file, kStringSetType, 131), (std::vector<std::string>{"fix"}));
  EXPECT_EQ(Strings(&file, kStringSetType, 132), (std::vector<std::string>{"0", "1", "talk"}));
  FixedStringBuffer<64> name;
  file.GetResName(file.GetResource(kStringSetType, 132), name);
  EXPECT_STREQ(name.c_str(), "c2a");
  const std::string text = log.Text();
  EXPECT_TRUE(Contains(text, "ignored name skills for skill table")) << text;
  EXPECT_TRUE(Contains(text, "ignored id 9 for skill table")) << text;

  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"<\"skill table\"><skill name=a type=a2o>", "line: 1 - index required for skill"},
      {"<\"skill table\"><skill index=1 type=a2o>", "line: 1 - name required for skill"},
      {"<\"skill table\"><skill index=1 name=a type=\"\">", "line: 1 - type required for skill"},
      {"<\"skill table\"><skill index=1 name=a type=x2y>", "line: 1 - unknown skill type x2y found."},
      {"<sound id=3>", "line: 1 - name required for sounds"},
  };
  for (const Case& c : cases) {
    MemResFile other;
    EXPECT_EQ(CompileError(other, c.text), c.message) << c.text;
  }
}

TEST(SlotSpecs, SoundsReplaceEveryOldSound) {
  MemResFile file;
  for (uint16_t id : {5, 6, 7}) file.PutStored(kSoundRecordType, id, std::string("old\0", 4));
  std::string longName(200, 'w');
  SpecSet set(&file);
  Compile(set, "<sound id=6 name=new.wav><sound id=9 name=" + longName + ">");
  WriteSoundsStage(set, &file);
  std::vector<SoundRecord> sounds;
  ReadSoundRecords(&file, sounds);
  ASSERT_EQ(sounds.size(), 2u);
  for (const SoundRecord& s : sounds) {
    EXPECT_TRUE(s.fId == 6 || s.fId == 9);
    EXPECT_STREQ(s.fName.c_str(), s.fId == 6 ? "new.wav" : longName.c_str());
  }
}

TEST(SlotSpecs, HeadlineRowsFollowTheCounter) {
  MemResFile file;
  SpecSet set(&file);
  Compile(set, "<headline id=1 frames=2 tgafile=h.tga><headline id=2 tgafile=h.tga>"
               "<headline id=3 position=7 tgafile=h.tga>");
  ASSERT_EQ(set.fHeadlines.Count(), 3);
  // Put first: the last tag first.
  EXPECT_EQ(set.fHeadlines.Nth(2)->fFirstRow, 0);
  EXPECT_EQ(set.fHeadlines.Nth(2)->fRowCount, 2);
  EXPECT_EQ(set.fHeadlines.Nth(1)->fFirstRow, 2);
  EXPECT_EQ(set.fHeadlines.Nth(1)->fRowCount, 1);
  EXPECT_EQ(set.fHeadlines.Nth(0)->fFirstRow, 7);
  EXPECT_EQ(set.fHeadlines.Nth(0)->fRowCount, 1);
}

// Sheet rows are cut in 16-bit coordinates, 98 pixels apart: rows past 333 would wrap onto
// the top of the sheet and cut other headlines' cells.
TEST(SlotSpecs, HeadlineRowsStayWithinTheSheetsCoordinates) {
  const std::string kPast = "go past row 333, the last of a headline sheet";
  const std::pair<std::string, std::string> cases[] = {
      {"<headline id=1 position=333>", "<no error>"},
      {"<headline id=1 frames=334>", "<no error>"},
      {"<headline id=1 position=334>",
       "line: 1 - value 334 for key \"position\" in tag \"headline\" out of range 0 to 333"},
      {"<headline id=1\nposition=-1>",
       "line: 2 - value -1 for key \"position\" in tag \"headline\" out of range 0 to 333"},
      {"<headline id=1 position=332 frames=3>", "line: 1 - headline rows 332 to 334 " + kPast},
      {"<headline id=1 position=300 frames=30>\n<headline id=2 frames=10>",
       "line: 2 - headline rows 330 to 339 " + kPast},
  };
  for (const auto& [text, expected] : cases) {
    MemResFile file;
    EXPECT_EQ(CompileError(file, text), expected) << text;
  }
}

// --- Catalogs and bitmap resources ----------------------------------------------------------

TEST(CatalogSpecs, WordsFromTheTagOrTheTarget) {
  LogCapture log;
  MemResFile file;
  file.PutStored(kObjDefinitionType, 128, Definition(kGuid));
  SpecSet set(&file);
  Compile(set,
          "<catalog thumbnail=t.bmp>\n"
          "<catalog id=300 bmpfile=b.bmp cost=20 \"standard depreciation\"=1 \"room sort\"=\"\" "
          "\"function sort\"=\"Lighting\" hunger=3 room=-2 cook=true charisma=true logic=false>\n"
          "<catalog bmpfile=b.bmp \"room sort\"=\"Attic\" \"standard depreciation\"=0>\n");
  ASSERT_EQ(set.fCatalogs.Count(), 3);
  const uint16_t* first = set.fCatalogs.Nth(2)->fWords->fWords;
  EXPECT_EQ(set.fCatalogs.Nth(2)->fId, 2000);
  EXPECT_EQ(first[41], 2000);
  EXPECT_EQ(first[18], 75);
  EXPECT_EQ(first[37], 1);  // the target's 3 is above 0
  EXPECT_EQ(first[39], 16);
  EXPECT_STREQ(set.fCatalogs.Nth(2)->fThumbnailFile.c_str(), "t.bmp");
  const uint16_t* second = set.fCatalogs.Nth(1)->fWords->fWords;
  EXPECT_EQ(second[41], 300);
  EXPECT_EQ(second[18], 20);
  EXPECT_EQ(second[37], 0);
  EXPECT_EQ(second[39], 0);
  EXPECT_EQ(second[40], 128);
  EXPECT_EQ(second[82], 3);
  EXPECT_EQ(second[88], 0xFFFE);
  EXPECT_EQ(second[89], 1 | 32);
  const uint16_t* third = set.fCatalogs.Nth(0)->fWords->fWords;
  EXPECT_EQ(third[39], 0);
  EXPECT_EQ(third[37], 1);
  const std::string text = log.Text();
  EXPECT_TRUE(Contains(text, "warning: line: 3 - no valid room sort value\n")) << text;
  EXPECT_FALSE(Contains(text, "line: 2 - no valid")) << text;

  MemResFile none;  // no object at all
  EXPECT_EQ(CompileError(none, "<catalog bmpfile=a.bmp>"),
            "line: 1 - could not resolve target for catalog tag");
  EXPECT_EQ(CompileError(file, "<catalog id=1>"),
            "line: 1 - bmpfile or thumbnail required for catalog tag");
  EXPECT_EQ(CompileError(file, "<catalog bmpfile=a.bmp \"popup bmpfile\"=p.bmp>"),
            "line: 1 - popup id required for catalog with popup bmp file");
  EXPECT_EQ(CompileError(file, "<bmpfile id=4>"), "line: 1 - filename required for bmpfile tag");
}

TEST(CatalogSpecs, SaveStoresBitmapsAndTheDefinition) {
  LogCapture log;
  TestTempFolder folder;
  folder.WriteFile("thumb.bmp", std::string("BMthumb"));
  folder.WriteFile("pop.bmp", std::string("BMpopup!"));
  MemResFile file;
  file.PutStored(kObjDefinitionType, 128, Definition(kGuid, 400));
  SpecSet set(&file);
  Compile(set, "<catalog bmpfile=thumb.bmp cost=99 \"popup bmpfile\"=pop.bmp \"popup id\"=5 "
               "fun=4 body=true>"
               "<bmpfile id=77 filename=THUMB.BMP language=2>");
  FixedStringBuffer<260> dir(folder.Path().c_str());
  WriteCatalogStage(set, &file, dir);
  WriteBitmapStage(set, &file, dir);

  std::vector<uint8_t> bytes;
  ASSERT_TRUE(file.GetStored(kBitmapResourceType, 400, &bytes));
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "BMthumb");
  ASSERT_TRUE(file.GetStored(kBitmapResourceType, 5, &bytes));
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "BMpopup!");
  ASSERT_TRUE(file.GetStored(kBitmapResourceType, 77, &bytes, 2));  // found in another case
  EXPECT_EQ(bytes.size(), 7u);
  FixedStringBuffer<64> name;
  file.GetResName(file.GetResource(kBitmapResourceType, 5), name);
  EXPECT_STREQ(name.c_str(), "pop.bmp");

  ASSERT_TRUE(file.GetStored(kObjDefinitionType, 128, &bytes));
  ObjDefinition d;
  d.ReadFrom(bytes.data(), int32_t(bytes.size()));
  EXPECT_EQ(d.fWords[41], 400);
  EXPECT_EQ(d.fWords[54], 5);
  EXPECT_EQ(d.fWords[18], 99);
  EXPECT_EQ(d.fWords[87], 4);
  EXPECT_EQ(d.fWords[89], 8);
  EXPECT_EQ(d.GetGUID(), kGuid);
  EXPECT_EQ(d.fWords[7], kTableId);  // words the catalog does not own are kept
  EXPECT_EQ(log.Text(), "");
}

TEST(CatalogSpecs, MissingThumbnailWarnsAndStillUpdatesTheDefinition) {
  LogCapture log;
  TestTempFolder folder;
  MemResFile file;
  file.PutStored(kObjDefinitionType, 128, Definition(kGuid));
  SpecSet set(&file);
  Compile(set, "<catalog id=9 bmpfile=gone.bmp cost=1>");
  FixedStringBuffer<260> dir(folder.Path().c_str());
  WriteCatalogStage(set, &file, dir);
  const std::string text = log.Text();
  EXPECT_EQ(text, "warning: could not open bmpfile\nwarning: " + folder.Path() + "gone.bmp\n");
  EXPECT_EQ(file.Count(kBitmapResourceType), 0);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(file.GetStored(kObjDefinitionType, 128, &bytes));
  ObjDefinition d;
  d.ReadFrom(bytes.data(), int32_t(bytes.size()));
  EXPECT_EQ(d.fWords[41], 9);
  EXPECT_EQ(d.fWords[18], 1);
}

TEST(CatalogSpecs, AddBitmapResourceJoinsThePathAndReportsFileErrors) {
  LogCapture log;
  TestTempFolder folder;
  folder.WriteFile("sub/a.bmp", std::string("abc"));
  MemResFile file;
  std::string dir = folder.Path() + "sub";  // no final slash
  EXPECT_EQ(AddBitmapResource(FixedStringBuffer<260>(dir.c_str()), FixedStringBuffer<64>("a.bmp"),
                              &file, kBitmapResourceType, 1, 0),
            0);
  EXPECT_EQ(file.Count(kBitmapResourceType), 1);
  file.SetReadOnly(true);
  EXPECT_EQ(AddBitmapResource(FixedStringBuffer<260>(dir.c_str()), FixedStringBuffer<64>("a.bmp"),
                              &file, kBitmapResourceType, 2, 0),
            readOnlyErr);
  EXPECT_TRUE(Contains(log.Text(), "warning: coult not add bmp resource\n"));
  EXPECT_EQ(file.HeldCount(), 0);
  file.SetReadOnly(false);
  file.SetWriteError(shortWriteErr);
  EXPECT_EQ(AddBitmapResource(FixedStringBuffer<260>(dir.c_str()), FixedStringBuffer<64>("a.bmp"),
                              &file, kBitmapResourceType, 3, 0),
            shortWriteErr);
  EXPECT_TRUE(Contains(log.Text(), "warning: coult not write bmp resource\n"));
}

// --- Tree tables ----------------------------------------------------------------------------

TEST(TreeTableSpecs, InteractionsRenameAndTheRestAreMarkedDebug) {
  LogCapture log;
  MemResFile file;
  file.PutStored(kObjDefinitionType, 128, Definition(kGuid));
  PutTreeTable(&file);
  SpecSet set(&file);
  Compile(set,
          "<ttab guid=4660 name=\"new name\">\n"
          "<interaction index=0 name=\"Sit Down\">\n"
          "<interaction index=9 name=Ghost>\n");
  ASSERT_EQ(set.fTreeTables.Count(), 1);
  EXPECT_TRUE(Contains(log.Text(),
                       "warning: line: 3 - interaction #9 not found in existing tree table\n"))
      << log.Text();
  WriteTreeTableStage(set);

  const std::vector<std::string> names = Strings(&file, kTreeTableStringsType, kTableId);
  ASSERT_EQ(names.size(), 3u);
  EXPECT_EQ(names[0], "Sit Down");
  EXPECT_EQ(Comment(&file, kTableId, 1), "named twice");
  EXPECT_EQ(Comment(&file, kTableId, 2), "!plain");
  EXPECT_EQ(Comment(&file, kTableId, 3), "!already");
  const std::string text = log.Text();
  EXPECT_TRUE(Contains(text, "warning: Interaction \"Stand\", #1 not found in OMK, marking menu "
                             "text as debug\n"))
      << text;
  EXPECT_TRUE(Contains(text, "Interaction \"Lie\", #2 not found in OMK")) << text;
  FixedStringBuffer<64> name;
  file.GetResName(file.GetResource(kTreeTableType, kTableId), name);
  EXPECT_STREQ(name.c_str(), "new name");
}

TEST(TreeTableSpecs, ParseErrorsAndAMissingTable) {
  LogCapture log;
  MemResFile file;
  file.PutStored(kObjDefinitionType, 128, Definition(kGuid));
  EXPECT_EQ(CompileError(file, "<ttab id=1>"), "line: 1 - guid required for tree table");
  EXPECT_EQ(CompileError(file, "<ttab guid=1>"),
            "line: 1 - could not resolve target for tree table tag");
  EXPECT_EQ(CompileError(file, "<ttab guid=4660><interaction name=a>"),
            "line: 1 - index required for tree table interaction");
  EXPECT_EQ(CompileError(file, "<ttab guid=4660><interaction index=1>"),
            "line: 1 - name required for tree table interactions");

  // No table stored yet: a warning, then the stage makes one from nothing.
  SpecSet set(&file);
  Compile(set, "<ttab guid=4660>");
  EXPECT_TRUE(Contains(log.Text(), "warning: line: 1 - Could not load existing tree table\n"));
  file.SetReadOnly(true);
  EXPECT_EQ(FatalText([&] { WriteTreeTableStage(set); }), "couldn't save tree table");
}

TEST(TreeTableSpecs, AStoredTableThatDoesNotLoadIsNeverSavedOver) {
  // A stored table that cannot be read must not be replaced by an empty one: the stage stops
  // and the table and its strings stay as they were. A table that is not there is made new.
  const struct {
    const char* what;
    std::vector<uint8_t> table;
  } cases[] = {
      {"entries cut short", {3, 0, 9, 0, 0, 0x10, 0x20}},
      // Read as version 9 this would pass for an empty table.
      {"a later version", {0, 0, 10, 0, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    LogCapture log;
    MemResFile file;
    file.PutStored(kObjDefinitionType, 128, Definition(kGuid));
    file.PutStored(kTreeTableType, kTableId, c.table, true, "interactions");
    const std::vector<uint8_t> strings = {'S', 'T', 'R', '#', 1, 2, 3, 4};
    file.PutStored(kTreeTableStringsType, kTableId, strings);
    SpecSet set(&file);
    Compile(set, "<ttab guid=4660 name=chat><interaction index=0 name=Sit>");
    EXPECT_TRUE(Contains(log.Text(), "warning: line: 1 - Could not load existing tree table\n"));
    EXPECT_EQ(FatalText([&] { WriteTreeTableStage(set); }),
              "existing tree table 2001 could not be read; it is left as it was");
    std::vector<uint8_t> stored;
    ASSERT_TRUE(file.GetStored(kTreeTableType, kTableId, &stored));
    EXPECT_EQ(stored, c.table);
    ASSERT_TRUE(file.GetStored(kTreeTableStringsType, kTableId, &stored));
    EXPECT_EQ(stored, strings);
    EXPECT_EQ(file.WriteCount(), 0);
  }

  LogCapture log;
  MemResFile file;
  file.PutStored(kObjDefinitionType, 128, Definition(kGuid));
  SpecSet set(&file);
  Compile(set, "<ttab guid=4660 name=chat>");
  WriteTreeTableStage(set);
  std::vector<uint8_t> stored;
  EXPECT_TRUE(file.GetStored(kTreeTableType, kTableId, &stored));
  TreeTable table(16);
  EXPECT_EQ(table.Load(&file, int16_t(kTableId)), 0);
  EXPECT_EQ(table.EntryCount(), 0);
}

// --- End to end -----------------------------------------------------------------------------

namespace {

// An IFF 2.x object file holding one object (GUID kGuid) and its tree table.
std::string MakeObject(const TestTempFolder& folder) {
  std::string path = folder / "object.iff";
  IFFResFile2 file;
  FixedStringBuffer<260> name(path.c_str());
  EXPECT_EQ(file.Create(name), 0);
  EXPECT_EQ(file.Open(name), 0);
  std::vector<uint8_t> bytes = Definition(kGuid);
  MHandle* h = HAlloc(uint32_t(bytes.size()));
  std::memcpy(HLock(h), bytes.data(), bytes.size());
  HUnlock(h);
  file.AddResource(h, kObjDefinitionType, 128, FixedStringBuffer<64>("chair"), true);
  file.WriteResource(h);
  EXPECT_EQ(file.GetError(), 0);
  PutTreeTable(&file);
  SoundRecord old;
  old.fId = 50;
  old.fName.assign("old.wav");
  EXPECT_TRUE(old.Save(&file));
  EXPECT_EQ(file.Close(), 0);
  return path;
}

}  // namespace

TEST(ResourceStagesEndToEnd, EveryStageWritesTheObjectFile) {
  TestTempFolder folder;
  const std::string object = MakeObject(folder);
  const std::string bitmaps = folder.MakeFolder("bitmaps");
  folder.WriteFile("bitmaps/thumb.bmp", std::string("BM-thumb"));
  folder.WriteFile("bitmaps/extra.bmp", std::string("BM-extra-bitmap"));
  const std::string spec = folder.WriteFile(
      "object.omk",
      "<sound id=200 name=ding.wav>\n"
      "<slots id=128 name=chair><slot type=routing name=sit><slot>\n"
      "<attributes id=256 name=attrs><attribute index=2 label=colour>\n"
      "<\"skill table\"><skill index=0 name=cook type=a2o>\n"
      "<catalog bmpfile=thumb.bmp cost=150 \"room sort\"=\"Kitchen\">\n"
      "<ttab guid=4660><interaction index=1 name=\"Stand Up\">\n"
      "<bmpfile id=900 filename=extra.bmp>\n");
  MorvikResult r = RunMorvik(folder, {object, "-spec", spec, "-sounds", "-slot", "-attr",
                                      "-skills", "-catalog", bitmaps, "-ttab", "-bmps", bitmaps});
  ASSERT_EQ(r.code, 0) << r.log;

  IFFResFile2 file;
  ASSERT_EQ(file.Open(FixedStringBuffer<260>(object.c_str())), 0);
  std::vector<SoundRecord> sounds;
  ReadSoundRecords(&file, sounds);
  ASSERT_EQ(sounds.size(), 1u);
  EXPECT_EQ(sounds[0].fId, 200);
  EXPECT_STREQ(sounds[0].fName.c_str(), "ding.wav");

  std::vector<SlotDescriptor> slots;
  ASSERT_EQ(LoadSlotList(slots, &file, 128), 0);
  ASSERT_EQ(slots.size(), 2u);
  EXPECT_EQ(slots[0].fType, kSlotRouting);
  EXPECT_EQ(slots[1].fMaxSize, 100);
  EXPECT_EQ(Strings(&file, kStringSetType, 257), (std::vector<std::string>{"sit"}));
  EXPECT_EQ(Strings(&file, kStringSetType, 256), (std::vector<std::string>{"0", "1", "colour"}));
  EXPECT_EQ(Strings(&file, kStringSetType, 129), (std::vector<std::string>{"cook"}));

  MHandle* definition = file.GetResource(kObjDefinitionType, 128);
  ASSERT_NE(definition, nullptr);
  ObjDefinition d;
  ASSERT_TRUE(d.ReadFromHandle(definition));
  EXPECT_EQ(d.fWords[18], 150);
  EXPECT_EQ(d.fWords[39], 1);
  EXPECT_EQ(d.fWords[41], 2000);
  MHandle* thumb = file.GetResource(kBitmapResourceType, 2000);
  ASSERT_NE(thumb, nullptr);
  EXPECT_EQ(std::string(HLock(thumb), size_t(HGetSize(thumb))), "BM-thumb");
  HUnlock(thumb);
  MHandle* extra = file.GetResource(kBitmapResourceType, 900);
  ASSERT_NE(extra, nullptr);
  EXPECT_EQ(HGetSize(extra), 15);

  TreeTable table(16);
  ASSERT_EQ(table.Load(&file, int16_t(kTableId)), 0);
  ASSERT_EQ(table.EntryCount(), 3);
  EXPECT_EQ(table.GetEntry(1)->fName.str(), "Stand Up");
  EXPECT_EQ(Comment(&file, kTableId, 2), "plain");
  // Not named in the file: the table's save took one mark away, the stage leaves the other.
  EXPECT_EQ(Comment(&file, kTableId, 1), "!named twice");
  EXPECT_TRUE(Contains(r.log, "Interaction \"Sit\", #0 not found in OMK")) << r.log;
}

TEST(ResourceStagesEndToEnd, HeadlineSheetBecomesOneSpriteList) {
  TestTempFolder folder;
  const std::string object = MakeObject(folder);
  // A sheet of two rows: palette BMP and a 32-bit TGA with every pixel opaque red.
  constexpr int32_t kWidth = 120;
  constexpr int32_t kHeight = 196;
  TestImage8 palette;
  palette.width = kWidth;
  palette.height = kHeight;
  palette.pixels.assign(size_t(kWidth * kHeight), 1);
  palette.palette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}};
  folder.WriteFile("head.bmp", WriteBMP8(palette));
  std::vector<TestRGBA> pixels(size_t(kWidth * kHeight), TestRGBA{255, 0, 0, 255});
  TGAWriteOptions options;
  options.bits = 32;
  folder.WriteFile("head.tga", WriteTGA(kWidth, kHeight, pixels, options));
  const std::string spec = folder.WriteFile(
      "object.omk", "<headline id=300 name=heads frames=2 tgafile=head.tga>\n");

  MorvikResult r = RunMorvik(folder, {object, "-spec", spec, "-headline", folder / "head.tga",
                                      folder / "head.bmp"});
  ASSERT_EQ(r.code, 0) << r.log;
  IFFResFile2 file;
  ASSERT_EQ(file.Open(FixedStringBuffer<260>(object.c_str())), 0);
  MHandle* list = file.GetResource(MakeResType('S', 'P', 'R', '#'), 300);
  ASSERT_NE(list, nullptr);
  FixedStringBuffer<64> name;
  file.GetResName(list, name);
  EXPECT_STREQ(name.c_str(), "heads");
  spritedec::SpriteListInfo info;
  std::string error;
  ASSERT_TRUE(spritedec::DecodeSpriteList(reinterpret_cast<const uint8_t*>(HLock(list)),
                                          size_t(HGetSize(list)), info, error, true))
      << error;
  HUnlock(list);
  EXPECT_EQ(info.count, 12u);  // three cells a row, then their depth frames
  EXPECT_EQ(info.paletteId, 50u);

  // A headline that names no image is cut from the sheet as well; the graphics stage, which
  // has nothing to render for it, says so and leaves it to -headline.
  file.Close();
  const std::string bare = folder.WriteFile("bare.omk", "<headline id=301 name=bare>\n");
  MorvikResult plain = RunMorvik(folder, {object, "-spec", bare, "-graphics", folder.Path(),
                                          "-headline", folder / "head.tga", folder / "head.bmp"});
  ASSERT_EQ(plain.code, 0) << plain.log;
  EXPECT_TRUE(Contains(plain.log,
                       "warning: headline 301 names no tgafile or bmpfile: left to -headline\n"))
      << plain.log;
  {
    IFFResFile2 reopened;
    ASSERT_EQ(reopened.Open(FixedStringBuffer<260>(object.c_str())), 0);
    MHandle* one = reopened.GetResource(MakeResType('S', 'P', 'R', '#'), 301);
    ASSERT_NE(one, nullptr);
    spritedec::SpriteListInfo bareInfo;
    ASSERT_TRUE(spritedec::DecodeSpriteList(reinterpret_cast<const uint8_t*>(HLock(one)),
                                            size_t(HGetSize(one)), bareInfo, error, true))
        << error;
    HUnlock(one);
    EXPECT_EQ(bareInfo.count, 6u);  // one row: three cells and their depth frames
  }

  // Without a readable sheet the stage ends the build with the image check.
  MorvikResult missing = RunMorvik(
      folder, {object, "-spec", spec, "-headline", folder / "none.tga", folder / "none.bmp"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_TRUE(Contains(missing.log, "fatal error: could not open tga file")) << missing.log;
}

TEST(ResourceStagesEndToEnd, ReadOnlyObjectFile) {
  TestTempFolder folder;
  const std::string object = MakeObject(folder);
  ASSERT_EQ(chmod(object.c_str(), 0444), 0);
  const std::string spec = folder.WriteFile("object.omk", "<sound id=1 name=a.wav>\n");
  for (const char* option : {"-sounds", "-slot", "-attr", "-skills"}) {
    MorvikResult r = RunMorvik(folder, {object, "-spec", spec, option});
    EXPECT_EQ(r.code, 1) << option;
    EXPECT_TRUE(Contains(r.log, "fatal error: object file " + object + " is read-only\n")) << r.log;
  }
  // Stages without a writable check run; with no tags of their own they write nothing.
  MorvikResult r = RunMorvik(folder, {object, "-spec", spec, "-ttab"});
  EXPECT_EQ(r.code, 0) << r.log;
  IFFResFile2 file;
  ASSERT_EQ(file.Open(FixedStringBuffer<260>(object.c_str())), 0);
  EXPECT_EQ(file.Count(kSoundRecordType), 1);  // the old sound is still there
}
