#include "StubObject.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "DebugCapture.h"
#include "HandleBytes.h"
#include "IFFResFile2.h"
#include "MHandle.h"
#include "MemResFile.h"
#include "ObjDefinition.h"
#include "ObjFnTable.h"
#include "ObjResFile.h"
#include "PlatformFile.h"
#include "TestTempFolder.h"
#include "strset.h"

namespace {

typedef FixedStringBuffer<260> Path;

const uint32_t kSPR2 = MakeResType('S', 'P', 'R', '2');
const uint32_t kSTR = MakeResType('S', 'T', 'R', '#');

using testbytes::BytesOf;
using testbytes::HandleOf;

std::string DefinitionBytes(uint32_t guid, uint16_t marker) {
  ObjDefinition d;
  d.SetLong(kObjDefVersion, ObjDefinition::kCurrentVersion);
  d.SetGUID(guid);
  d.fWords[20] = marker;
  std::string bytes(ObjDefinition::kByteSize, '\0');
  d.WriteTo(bytes.data());
  return bytes;
}

void Add(iResFile& file, uint32_t type, uint16_t id, const char* name, const std::string& bytes,
         bool native = true) {
  MHandle* h = HandleOf(bytes);
  file.AddResource(h, type, id, FixedStringBuffer<64>(name), native);
  ASSERT_EQ(file.GetError(), noErr);
  file.WriteResource(h);
  ASSERT_EQ(file.GetError(), noErr);
}

// A template object in one IFF 2.x file: definitions 128 "Chair" and 129 "Table", a function
// table, a string set and a sprite stored in the other byte order.
std::string MakeTemplate(const TestTempFolder& folder) {
  const std::string path = folder / "template.iff";
  IFFResFile2 file;
  EXPECT_EQ(file.Create(Path(path.c_str())), noErr);
  EXPECT_EQ(file.Open(Path(path.c_str())), noErr);
  Add(file, kObjDefinitionType, 128, "Chair", DefinitionBytes(0x11112222, 1));
  Add(file, kObjDefinitionType, 129, "Table", DefinitionBytes(0x33334444, 2));
  ObjFnTable table;
  table.At(3)->first = 77;
  EXPECT_EQ(table.Save(&file, 128), noErr);
  StringSet strings;
  strings.SetString(1, "hello");
  EXPECT_EQ(strings.Save(&file, 300), noErr);
  Add(file, kSPR2, 200, "sprite", "sprite bytes", false);
  EXPECT_EQ(file.Close(), noErr);
  return path;
}

struct Definition {
  std::string name;
  ObjDefinition words;
};

// The definitions of an object file set, by id.
std::map<int16_t, Definition> Definitions(iResFile& file) {
  std::map<int16_t, Definition> result;
  for (int16_t i = 1; i <= file.Count(kObjDefinitionType); i++) {
    MHandle* h = file.GetIndResource(kObjDefinitionType, uint16_t(i));
    int16_t id = 0;
    file.GetResID(h, id);
    Definition& d = result[id];
    FixedStringBuffer<64> name;
    file.GetResName(h, name);
    d.name = name.c_str();
    d.words.ReadFromHandle(h);
  }
  return result;
}

}  // namespace

TEST(StubObject, CopiesATemplateWithNewGUIDsAndNames) {
  struct Case {
    const char* label;
    bool retain;
    const char* prefix;
    const char* chair;
    const char* table;
  };
  const Case cases[] = {
      {"name", false, nullptr, "dest", "dest"},
      {"prefix", false, "New", "NewChair", "NewTable"},
      {"retain", true, nullptr, "Chair", "Table"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TestTempFolder folder;
    const std::string templatePath = MakeTemplate(folder);
    const std::string templateBytes = TestTempFolder::ReadFile(templatePath);
    StubObjectParams params;
    params.fName.assign("dest");
    if (c.retain) params.SetRetain();
    if (c.prefix) params.SetPrefix(FixedStringBuffer<64>(c.prefix));
    const std::string dest = folder / "dest";
    ASSERT_EQ(params.MakeFromTemplate(Path(templatePath.c_str()), Path(dest.c_str())), noErr);
    EXPECT_STREQ(params.fPath.c_str(), dest.c_str());
    EXPECT_EQ(TestTempFolder::ReadFile(templatePath), templateBytes);  // the template is untouched
    EXPECT_EQ(iResFile::FirstLiveFile(), nullptr);

    ObjResFile copy;
    ASSERT_EQ(copy.Open(Path(dest.c_str())), noErr);
    EXPECT_EQ(copy.CountFiles(), 2);  // dest.iff and dest.spf
    std::map<int16_t, Definition> defs = Definitions(copy);
    ASSERT_EQ(defs.size(), 2u);
    EXPECT_EQ(defs[128].name, c.chair);
    EXPECT_EQ(defs[129].name, c.table);
    EXPECT_EQ(defs[128].words.GetLong(kObjDefTemplateGUID), 0x11112222u);
    EXPECT_EQ(defs[129].words.GetLong(kObjDefTemplateGUID), 0x33334444u);
    EXPECT_NE(defs[128].words.GetGUID(), 0x11112222u);
    EXPECT_NE(defs[129].words.GetGUID(), 0x33334444u);
    EXPECT_NE(defs[128].words.GetGUID(), defs[129].words.GetGUID());
    EXPECT_EQ(defs[128].words.fWords[20], 1);  // the rest of the definition as it was
    EXPECT_EQ(defs[129].words.fWords[20], 2);

    ObjFnTable table;
    ASSERT_EQ(table.Load(&copy, 128), noErr);
    EXPECT_EQ(table.GetFirst(3), 77);
    StringSet strings;
    ASSERT_EQ(strings.Load(&copy, 300), noErr);
    EXPECT_STREQ(strings.GetString(1), "hello");
    MHandle* sprite = copy.GetResource(kSPR2, 200);
    ASSERT_NE(sprite, nullptr);
    EXPECT_EQ(BytesOf(sprite), "sprite bytes");
    EXPECT_FALSE(copy.IsNativeOrder(sprite));  // stored as the template had it
    copy.Close();

    // The sprite went to the sprite file, the definitions to the definition file.
    IFFResFile2 spf;
    ASSERT_EQ(spf.Open(Path((dest + ".spf").c_str())), noErr);
    EXPECT_EQ(spf.Count(kSPR2), 1);
    EXPECT_EQ(spf.Count(kObjDefinitionType), 0);
  }
}

TEST(StubObject, FailuresReturnTheFilesError) {
  TestTempFolder folder;
  const std::string templatePath = MakeTemplate(folder);
  StubObjectParams params;
  // An existing destination is not touched.
  folder.WriteFile("taken.iff", "keep me");
  EXPECT_EQ(params.MakeFromTemplate(Path(templatePath.c_str()), Path((folder / "taken").c_str())),
            fileExistsErr);
  EXPECT_EQ(TestTempFolder::ReadFile(folder / "taken.iff"), "keep me");
  EXPECT_FALSE(PlatformPathExists((folder / "taken.spf").c_str()));
  // A template that does not open.
  EXPECT_NE(params.MakeFromTemplate(Path((folder / "missing").c_str()),
                                    Path((folder / "new").c_str())),
            noErr);
  EXPECT_FALSE(PlatformPathExists((folder / "new.iff").c_str()));
  EXPECT_EQ(iResFile::FirstLiveFile(), nullptr);
}

TEST(StubObject, CopiedStringSetTypeIsSavedAsStrings) {
  TestTempFolder folder;
  MemResFile source;
  StringSet strings;
  strings.SetString(1, "one");
  strings.SetString(2, "two");
  ASSERT_EQ(strings.Save(&source, 7), noErr);
  Add(source, kCopiedStringSetType, 7, "", "raw form");
  StubObjectParams params;
  const std::string dest = folder / "strings.iff";
  ASSERT_EQ(params.CopyResources(&source, Path(dest.c_str())), noErr);

  IFFResFile2 copy;
  ASSERT_EQ(copy.Open(Path(dest.c_str())), noErr);
  EXPECT_EQ(copy.Count(kCopiedStringSetType), 0);
  EXPECT_EQ(copy.Count(kSTR), 1);
  StringSet read;
  ASSERT_EQ(read.Load(&copy, 7), noErr);
  EXPECT_STREQ(read.GetString(2), "two");

  // Without a string set of that id the copy fails with the load's error.
  MemResFile lonely;
  Add(lonely, kCopiedStringSetType, 8, "", "raw form");
  EXPECT_NE(params.CopyResources(&lonely, Path((folder / "lonely.iff").c_str())), noErr);
}

TEST(StubObject, ReadFailureOfTheSourceStopsTheCopy) {
  TestTempFolder folder;
  // A source that cannot give its second resource.
  class Failing : public MemResFile {
   public:
    MHandle* GetIndResource(uint32_t type, uint16_t index, SwizzleProc swizzle = nullptr) override {
      if (index == 2) {
        SetError(shortReadErr);
        return nullptr;
      }
      return MemResFile::GetIndResource(type, index, swizzle);
    }
  } failing;
  failing.PutStored(kSPR2, 1, std::string("a"));
  failing.PutStored(kSPR2, 2, std::string("b"));
  StubObjectParams params;
  const std::string dest = folder / "partial.iff";
  EXPECT_EQ(params.CopyResources(&failing, Path(dest.c_str())), shortReadErr);
  // What was copied before the failure is kept.
  IFFResFile2 copy;
  ASSERT_EQ(copy.Open(Path(dest.c_str())), noErr);
  EXPECT_EQ(copy.Count(kSPR2), 1);
}

TEST(StubObject, AssignNewGUID) {
  MHandle* h = HandleOf(DefinitionBytes(0xABCD1234, 0));
  ASSERT_TRUE(AssignNewGUID(h));
  ObjDefinition d;
  ASSERT_TRUE(d.ReadFromHandle(h));
  EXPECT_EQ(d.GetLong(kObjDefTemplateGUID), 0xABCD1234u);
  EXPECT_NE(d.GetGUID(), 0xABCD1234u);
  HFree(h);

  ScopedDebugCapture capture;
  MHandle* shortOne = HandleOf(std::string(100, 'x'));
  EXPECT_FALSE(AssignNewGUID(shortOne));
  EXPECT_TRUE(capture.Saw("definition too short"));
  EXPECT_EQ(BytesOf(shortOne), std::string(100, 'x'));
  HFree(shortOne);
}

TEST(StubObject, DuplicateObjectDefinition) {
  MemResFile file;
  Add(file, kObjDefinitionType, 128, "Chair", DefinitionBytes(0x55556666, 9));
  ObjFnTable table;
  table.At(0)->first = 5;
  ASSERT_EQ(table.Save(&file, 128), noErr);

  ASSERT_EQ(DuplicateObjectDefinition(&file, 128, FixedStringBuffer<64>("Chair")), noErr);
  std::map<int16_t, Definition> defs = Definitions(file);
  ASSERT_EQ(defs.size(), 2u);
  EXPECT_EQ(defs[128].name, "Chair");
  EXPECT_EQ(defs[128].words.GetGUID(), 0x55556666u);
  EXPECT_NE(defs[129].name, "Chair");  // made unique
  EXPECT_EQ(defs[129].words.GetLong(kObjDefTemplateGUID), 0x55556666u);
  EXPECT_NE(defs[129].words.GetGUID(), 0x55556666u);
  EXPECT_EQ(defs[129].words.fWords[20], 9);
  ObjFnTable copied;
  ASSERT_EQ(copied.Load(&file, 129), noErr);
  EXPECT_EQ(copied.GetFirst(0), 5);

  ScopedDebugCapture capture;
  EXPECT_EQ(DuplicateObjectDefinition(&file, 500, FixedStringBuffer<64>("x")), noSuchResourceErr);
  EXPECT_EQ(DuplicateObjectDefinition(nullptr, 128, FixedStringBuffer<64>("x")), -1);
}
