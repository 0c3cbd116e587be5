#include "SeqResFile.h"

#include <gtest/gtest.h>

#include <string>

#include "DebugCapture.h"
#include "HandleBytes.h"
#include "IFFResFile.h"
#include "IFFResFile2.h"
#include "MHandle.h"
#include "ObjResFile.h"
#include "PlatformFile.h"
#include "TestTempFolder.h"
#include "strset.h"

namespace {

typedef FixedStringBuffer<260> Path;

const uint32_t kSPR2 = MakeResType('S', 'P', 'R', '2');
const uint32_t kOBJD = MakeResType('O', 'B', 'J', 'D');
const uint32_t kPALT = MakeResType('P', 'A', 'L', 'T');
const uint32_t kSTR = MakeResType('S', 'T', 'R', '#');

using testbytes::BytesOf;
using testbytes::HandleOf;

template <class File>
void MakeFile(const std::string& path) {
  File file;
  ASSERT_EQ(file.Create(Path(path.c_str())), noErr) << path;
}

// The ids of `type` in the single file at `path`, opened as `File`, with their bytes.
template <class File>
std::string Contents(const std::string& path, uint32_t type) {
  File file;
  if (file.Open(Path(path.c_str())) != noErr) return "<no file>";
  std::string text;
  for (int16_t i = 1; i <= file.Count(type); i++) {
    MHandle* h = file.GetIndResource(type, uint16_t(i));
    int16_t id = 0;
    file.GetResID(h, id);
    text += std::to_string(id) + "=" + BytesOf(h) + ";";
  }
  return text;
}

void Add(iResFile& file, uint32_t type, uint16_t id, const std::string& bytes) {
  MHandle* h = HandleOf(bytes);
  file.AddResource(h, type, id, FixedStringBuffer<64>("n"), true);
  ASSERT_EQ(file.GetError(), noErr);
  file.WriteResource(h);
  ASSERT_EQ(file.GetError(), noErr);
}

}  // namespace

TEST(SeqResFile, MakeComponentPath) {
  struct Case {
    const char* path;
    uint32_t kind;
    const char* extension;
    bool fits;
    const char* result;
  };
  const Case cases[] = {
      {"Objects/Chair", kIFF2FileKind, ".iff", true, "Objects/Chair.iff"},
      {"Objects/Chair.IFF", kIFF2FileKind, ".iff", true, "Objects/Chair.IFF"},
      {"Objects/Chair.spf", kIFF2FileKind, ".iff", false, "Objects/Chair.spf"},
      {"Objects/Chair.iffx", kIFF2FileKind, ".iff", false, "Objects/Chair.iffx"},
      {"Objects.d/Chair", kIFF2FileKind, ".spf", true, "Objects.d/Chair.spf"},
      {"Objects/", kIFF2FileKind, ".iff", false, "Objects/"},
      {"", kIFF2FileKind, ".iff", false, ""},
      {"Chair", kEndFileKind, ".iff", false, "Chair"},
      {"Chair", kIFF2FileKind, ".", false, "Chair"},
      {"Chair", kIFF2FileKind, "iff", false, "Chair"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " " + c.extension);
    SeqFileType entry;
    entry.fKind = c.kind;
    entry.fExtension.assign(c.extension);
    Path path(c.path);
    EXPECT_EQ(SeqResFile::MakeComponentPath(path, entry), c.fits);
    EXPECT_STREQ(path.c_str(), c.result);
  }
  // A component path that would not fit is refused, not cut to another name.
  SeqFileType entry;
  entry.fKind = kIFF2FileKind;
  entry.fExtension.assign(".iff");
  FixedStringBuffer<10> small("abcdefg");
  EXPECT_FALSE(SeqResFile::MakeComponentPath(small, entry));
  EXPECT_STREQ(small.c_str(), "abcdefg");
}

TEST(SeqResFile, RegistrationTable) {
  ScopedDebugCapture capture;
  SeqResFile set;
  EXPECT_EQ(set.CountFileTypes(), 0);
  set.AddFileType(4, ".iff");
  EXPECT_TRUE(capture.Saw("bad file type"));
  for (int i = 0; i < 8; i++) set.AddFileType(kIFF2FileKind, ".iff");
  EXPECT_FALSE(capture.Saw("not enough space for types"));
  set.AddFileType(kIFF2FileKind, ".spf");
  EXPECT_TRUE(capture.Saw("not enough space for types"));
  EXPECT_EQ(set.CountFileTypes(), 8);
  set.ClearFileTypes();
  EXPECT_EQ(set.CountFileTypes(), 0);
  // An empty table fits no path.
  EXPECT_EQ(set.Open(Path("Chair")), noComponentErr);
  EXPECT_EQ(StdResFile().CountFileTypes(), 5);
  EXPECT_EQ(ObjResFile().CountFileTypes(), 3);
}

TEST(StdResFile, SplitsSpriteTypesBetweenTheTwoFiles) {
  TestTempFolder folder;
  const std::string base = folder / "Chair";
  MakeFile<IFFResFile2>(base + ".iff");
  MakeFile<IFFResFile2>(base + ".spf");
  {
    StdResFile set;
    ASSERT_EQ(set.Open(Path(base.c_str())), noErr);
    EXPECT_EQ(set.CountFiles(), 2);
    EXPECT_TRUE(set.IsWritable());
    Add(set, kSPR2, 200, "sprite");
    Add(set, kPALT, 200, "palette");
    Add(set, kOBJD, 128, "definition");
    Add(set, kSTR, 300, "strings");
    Path name;
    set.GetName(name);
    EXPECT_EQ(std::string(name.c_str()), base);
  }
  EXPECT_EQ(iResFile::FirstLiveFile(), nullptr);  // the members went with the set
  EXPECT_EQ(Contents<IFFResFile2>(base + ".spf", kSPR2), "200=sprite;");
  EXPECT_EQ(Contents<IFFResFile2>(base + ".spf", kPALT), "200=palette;");
  EXPECT_EQ(Contents<IFFResFile2>(base + ".spf", kOBJD), "");
  EXPECT_EQ(Contents<IFFResFile2>(base + ".iff", kOBJD), "128=definition;");
  EXPECT_EQ(Contents<IFFResFile2>(base + ".iff", kSTR), "300=strings;");
  EXPECT_EQ(Contents<IFFResFile2>(base + ".iff", kSPR2), "");

  // Reopened, the set shows both files as one.
  StdResFile set;
  ASSERT_EQ(set.Open(Path(base.c_str())), noErr);
  EXPECT_EQ(set.CountTypes(), 4);
  EXPECT_EQ(BytesOf(set.GetResource(kSPR2, 200)), "sprite");
  EXPECT_EQ(BytesOf(set.GetResource(kOBJD, 128)), "definition");
}

TEST(StdResFile, OneComponentTakesEveryType) {
  TestTempFolder folder;
  const std::string base = folder / "Chair";
  MakeFile<IFFResFile2>(base + ".iff");
  for (const char* path : {"Chair", "Chair.iff", "CHAIR.IFF"}) {
    SCOPED_TRACE(path);
    StdResFile set;
    ASSERT_EQ(set.Open(Path((folder / path).c_str())), noErr);
    EXPECT_EQ(set.CountFiles(), 1);
    Add(set, kSPR2, 201, "s");
    Add(set, kOBJD, 129, "d");
  }
  EXPECT_EQ(Contents<IFFResFile2>(base + ".iff", kSPR2), "201=s;");
  EXPECT_EQ(Contents<IFFResFile2>(base + ".iff", kOBJD), "129=d;");
}

TEST(StdResFile, OpensIFF10ComponentsBesideIFF2x) {
  TestTempFolder folder;
  const std::string base = folder / "Lamp";
  MakeFile<IFFResFile2>(base + ".iff");
  MakeFile<IFFResFile>(base + ".spf");
  {
    StdResFile set;
    ASSERT_EQ(set.Open(Path(base.c_str())), noErr);
    EXPECT_EQ(set.CountFiles(), 2);  // every file is one member, of the kind that reads it
    Add(set, kSPR2, 300, "old sprite");
    Add(set, kOBJD, 130, "d");
  }
  EXPECT_EQ(Contents<IFFResFile>(base + ".spf", kSPR2), "300=old sprite;");
  EXPECT_EQ(Contents<IFFResFile2>(base + ".iff", kOBJD), "130=d;");
  // The object file set reads no IFF 1.0 files.
  ObjResFile objects;
  ASSERT_EQ(objects.Open(Path(base.c_str())), noErr);
  EXPECT_EQ(objects.CountFiles(), 1);
}

TEST(StdResFile, OpenFailures) {
  TestTempFolder folder;
  MakeFile<IFFResFile2>(folder / "Chair.iff");
  folder.WriteFile("Chair.txt", "text");
  StdResFile set;
  EXPECT_EQ(set.Open(Path((folder / "Chair.txt").c_str())), noComponentErr);
  EXPECT_FALSE(set.ValidFile());
  // Nothing at the path: the last registration's failure, that of the folder kind.
  int32_t error = set.Open(Path((folder / "Table").c_str()));
  EXPECT_NE(error, noErr);
  EXPECT_NE(error, noComponentErr);
  EXPECT_EQ(set.CountFiles(), 0);
  // A file that no kind reads.
  folder.WriteFile("Junk.iff", std::string(200, 'j'));
  EXPECT_NE(set.Open(Path((folder / "Junk.iff").c_str())), noErr);
  EXPECT_EQ(set.CountFiles(), 0);
  EXPECT_EQ(TestTempFolder::ReadFile(folder / "Junk.iff"), std::string(200, 'j'));
}

TEST(StdResFile, SecondOpenReplacesTheMembers) {
  TestTempFolder folder;
  MakeFile<IFFResFile2>(folder / "A.iff");
  MakeFile<IFFResFile2>(folder / "A.spf");
  MakeFile<IFFResFile2>(folder / "B.iff");
  StdResFile set;
  ASSERT_EQ(set.Open(Path((folder / "A").c_str())), noErr);
  EXPECT_EQ(set.CountFiles(), 2);
  ASSERT_EQ(set.Open(Path((folder / "B").c_str())), noErr);
  EXPECT_EQ(set.CountFiles(), 1);
  Add(set, kSPR2, 1, "b");  // one member again: it takes every type
  Path name;
  set.GetName(name);
  EXPECT_EQ(std::string(name.c_str()), folder / "B");
  EXPECT_EQ(set.Close(), noErr);
  EXPECT_EQ(set.CountFiles(), 0);
  Path unchanged("kept");
  set.GetName(unchanged);
  EXPECT_STREQ(unchanged.c_str(), "kept");
  EXPECT_EQ(Contents<IFFResFile2>(folder / "B.iff", kSPR2), "1=b;");
}

TEST(StdResFile, CreateMakesBothIFFFiles) {
  TestTempFolder folder;
  StdResFile set;
  const std::string base = folder / "Chair";
  EXPECT_EQ(set.Create(Path(base.c_str())), noErr);
  EXPECT_EQ(Contents<IFFResFile2>(base + ".iff", kSPR2), "");
  EXPECT_EQ(Contents<IFFResFile2>(base + ".spf", kSPR2), "");
  EXPECT_FALSE(PlatformPathExists((base + ".dir").c_str()));
  // With an extension only that component is made.
  EXPECT_EQ(set.Create(Path((folder / "Desk.spf").c_str())), noErr);
  EXPECT_TRUE(PlatformPathExists((folder / "Desk.spf").c_str()));
  EXPECT_FALSE(PlatformPathExists((folder / "Desk.iff").c_str()));
  EXPECT_EQ(set.Create(Path((folder / "Desk.txt").c_str())), noComponentErr);
}

TEST(StdResFile, CreateOverExistingComponents) {
  TestTempFolder folder;
  ScopedDebugCapture capture;
  StdResFile set;
  // The .iff file exists: nothing is made.
  folder.WriteFile("A.iff", "keep");
  EXPECT_EQ(set.Create(Path((folder / "A").c_str())), fileExistsErr);
  EXPECT_FALSE(PlatformPathExists((folder / "A.spf").c_str()));
  EXPECT_EQ(TestTempFolder::ReadFile(folder / "A.iff"), "keep");
  EXPECT_FALSE(capture.Saw("oh no"));
  // The .spf file exists: the .iff file is made before the clash is found.
  folder.WriteFile("B.spf", "keep");
  EXPECT_EQ(set.Create(Path((folder / "B").c_str())), fileExistsErr);
  EXPECT_TRUE(capture.Saw("oh no. created a file where some components already exist."));
  EXPECT_TRUE(PlatformPathExists((folder / "B.iff").c_str()));
  EXPECT_EQ(TestTempFolder::ReadFile(folder / "B.spf"), "keep");
}

TEST(StdResFile, DeleteRemovesWhicheverComponentsExist) {
  TestTempFolder folder;
  MakeFile<IFFResFile2>(folder / "A.iff");
  MakeFile<IFFResFile2>(folder / "B.iff");
  MakeFile<IFFResFile2>(folder / "B.spf");
  StdResFile set;
  EXPECT_EQ(set.Delete(Path((folder / "A").c_str())), noErr);
  EXPECT_FALSE(PlatformPathExists((folder / "A.iff").c_str()));
  EXPECT_EQ(set.Delete(Path((folder / "B").c_str())), noErr);
  EXPECT_FALSE(PlatformPathExists((folder / "B.iff").c_str()));
  EXPECT_FALSE(PlatformPathExists((folder / "B.spf").c_str()));
  EXPECT_NE(set.Delete(Path((folder / "C").c_str())), noErr);
  EXPECT_EQ(set.Delete(Path((folder / "C.txt").c_str())), noComponentErr);
}

TEST(StdResFile, CreateAndDeleteRefuseWhileOpen) {
  TestTempFolder folder;
  const std::string base = folder / "Chair";
  StdResFile set;
  ASSERT_EQ(set.Create(Path(base.c_str())), noErr);
  ASSERT_EQ(set.Open(Path(base.c_str())), noErr);
  Add(set, kOBJD, 128, "definition");
  EXPECT_EQ(set.Delete(Path(base.c_str())), alreadyOpenErr);
  EXPECT_EQ(set.Create(Path((folder / "Other").c_str())), alreadyOpenErr);
  EXPECT_EQ(set.Close(), noErr);
  EXPECT_EQ(Contents<IFFResFile2>(base + ".iff", kOBJD), "128=definition;");
}

TEST(ObjResFile, Overrides) {
  ScopedDebugCapture capture;
  ObjResFile set;
  const uint16_t first[] = {0x8002, 7, 8};
  const uint16_t second[] = {1, 9};
  set.SetOverride(5, first);
  set.SetOverride(5, second);
  const uint16_t* got = set.GetOverride(5);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got[0], 2);  // the flag is cleared in the copy
  EXPECT_EQ(got[1], 7);
  EXPECT_EQ(got[2], 8);
  EXPECT_EQ(set.GetOverride(6), nullptr);
  set.SetOverride(5, nullptr);
  ASSERT_NE(set.GetOverride(5), nullptr);
  EXPECT_EQ(set.GetOverride(5)[1], 9);
  set.SetOverride(5, nullptr);
  EXPECT_EQ(set.GetOverride(5), nullptr);
  EXPECT_FALSE(capture.Saw("override not found"));
  set.SetOverride(5, nullptr);
  EXPECT_TRUE(capture.Saw("override not found"));
}

TEST(ObjResFile, AnimationTablesAreSharedByCount) {
  TestTempFolder folder;
  const std::string path = folder / "Anims.iff";
  MakeFile<IFFResFile2>(path);
  IFFResFile2 file;
  ASSERT_EQ(file.Open(Path(path.c_str())), noErr);
  StringSet names;
  names.SetString(1, "WALK");
  ASSERT_EQ(names.Save(&file, 10), noErr);

  ObjResFile set;
  EXPECT_EQ(set.GetAnimTable(nullptr, 10), nullptr);
  EXPECT_EQ(set.GetAnimTable(&file, 0), nullptr);
  EXPECT_EQ(set.GetAnimTable(&file, 11), nullptr);  // no such table
  AnimTable* table = set.GetAnimTable(&file, 10);
  ASSERT_NE(table, nullptr);
  EXPECT_STREQ(table->GetString(1), "walk");
  EXPECT_EQ(set.GetAnimTable(&file, 10), table);
  set.ReleaseAnimTable(table);
  EXPECT_EQ(set.GetAnimTable(&file, 10), table);  // still cached
  set.ReleaseAnimTable(table);
  set.ReleaseAnimTable(table);  // gone now; a new load makes a new table
  AnimTable* again = set.GetAnimTable(&file, 10);
  ASSERT_NE(again, nullptr);
  EXPECT_STREQ(again->GetString(1), "walk");
}

TEST(StdResFile, AFailedReplaceKeepsTheStoredResource) {
  TestTempFolder folder;
  const std::string base = folder / "Chair";
  MakeFile<IFFResFile2>(base + ".iff");
  {
    StdResFile set;
    ASSERT_EQ(set.Open(Path(base.c_str())), noErr);
    Add(set, kSPR2, 100, "old sprite");
  }
  {
    ScopedDebugCapture capture;
    StdResFile set;
    ASSERT_EQ(set.Open(Path(base.c_str())), noErr);
    PlatformFileFailAt(kPlatformFaultWrite, 1, true);  // the disk takes nothing from here on
    MHandle* h = HandleOf("new sprite");
    set.AddResource(h, kSPR2, 100, FixedStringBuffer<64>("n"), true);
    EXPECT_EQ(set.GetError(), noErr);
    set.WriteResource(h);
    EXPECT_NE(set.GetError(), noErr);
    set.Close();
    PlatformFileResetFaults();
  }
  std::string stored = Contents<IFFResFile2>(base + ".iff", kSPR2);
  EXPECT_TRUE(stored == "100=old sprite;" || stored == "100=new sprite;") << stored;
}

TEST(StdResFile, FolderComponentOfLooseResources) {
  TestTempFolder folder;
  const uint32_t kSPR = MakeResType('S', 'P', 'R', '#');
  const std::string base = folder / "Chair";
  folder.WriteFile("Chair.dir/#128#Seat.spr", "loose sprite");
  {
    // Only the folder: a read-only set.
    StdResFile set;
    ASSERT_EQ(set.Open(Path(base.c_str())), noErr);
    EXPECT_EQ(set.CountFiles(), 1);
    EXPECT_FALSE(set.IsWritable());
    EXPECT_EQ(BytesOf(set.GetResource(kSPR, 128)), "loose sprite");
    Path name;
    set.GetName(name);
    std::string answered = name.c_str();  // the folder kind answers with its own separators
    for (char& c : answered) c = c == '\\' ? '/' : c;
    EXPECT_EQ(answered, base);
  }
  MakeFile<IFFResFile2>(base + ".iff");
  StdResFile set;
  ASSERT_EQ(set.Open(Path(base.c_str())), noErr);
  EXPECT_EQ(set.CountFiles(), 2);
  EXPECT_TRUE(set.IsWritable());
  Add(set, kOBJD, 128, "definition");  // the folder takes nothing: the .iff file does
  EXPECT_EQ(BytesOf(set.GetResource(kSPR, 128)), "loose sprite");
  set.Close();
  EXPECT_EQ(Contents<IFFResFile2>(base + ".iff", kOBJD), "128=definition;");
}
