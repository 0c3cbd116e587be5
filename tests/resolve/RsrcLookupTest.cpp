// Resource look-up over folders: type codes, sites, descriptors, collections, the manager's
// opens by id and by name, and packets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DebugCapture.h"
#include "PlatformFile.h"
#include "RsrcCollection.h"
#include "RsrcMgr.h"
#include "RsrcPkt.h"
#include "RsrcSite.h"
#include "RsrcType.h"
#include "TestTempFolder.h"
#include "VornFile.h"

namespace {

constexpr uint32_t kSPR = 0x53505223u;  // 'SPR#'

// The folder `path` (ending in '/') as a site folder.
std::string SiteFolder(const std::string& path) {
  std::string folder = path;
  RsrcSite::NormalizeFolder(folder);
  return folder;
}

// Reads all of a stream packet's bytes.
std::string ReadAll(RsrcPkt& packet) {
  std::string bytes(static_cast<size_t>(packet.GetSize()), '\0');
  packet.GetStream()->read(bytes.data(), packet.GetSize());
  return bytes;
}

TEST(RsrcTypeTest, IntegersComeOutLeftJustified) {
  struct Case {
    uint32_t in, out;
  } cases[] = {
      {0x53505223u, 0x53505223u}, {0x00535052u, 0x53505200u}, {0x00005350u, 0x53500000u},
      {0x00000053u, 0x53000000u}, {0u, 0u},
  };
  for (const Case& c : cases) EXPECT_EQ(RsrcType(c.in).GetCode(), c.out) << std::hex << c.in;
}

TEST(RsrcTypeTest, TextsAndExtensions) {
  EXPECT_EQ(RsrcType("SPR").GetCode(), 0x53505200u);
  EXPECT_EQ(RsrcType("STR#xy").GetCode(), 0x53545223u);
  EXPECT_EQ(RsrcType("\xC8" "A").GetCode(), 0xC8410000u);
  std::string ext;
  RsrcType("BMP2").GetExtension(ext);
  EXPECT_EQ(ext, ".BMP");
  RsrcType("A").GetExtension(ext);
  EXPECT_EQ(ext, ".A");
  ScopedDebugCapture capture;
  RsrcType("****").GetExtension(ext);
  EXPECT_EQ(ext, ".*");
  EXPECT_EQ(capture.ReportCount(), 1u);
  EXPECT_TRUE(RsrcType("SPR#") == RsrcType(kSPR));
  EXPECT_TRUE(RsrcType("SPR!") < RsrcType("SPR#"));
}

TEST(RsrcSiteTest, ListsAreSplitAndNormalised) {
  RsrcSite site(";objects; more/sprites");
  std::vector<std::string> folders(site.begin(), site.end());
  EXPECT_EQ(folders, (std::vector<std::string>{"", ".\\objects\\", ".\\more\\sprites\\"}));

  RsrcSite spaced("a ;c:\\data;.;.\\here\\;\\root/x; \t");
  folders.assign(spaced.begin(), spaced.end());
  EXPECT_EQ(folders,
            (std::vector<std::string>{".\\a \\", "c:\\data\\", ".\\", ".\\here\\", "\\root\\x\\"}));
}

TEST(RsrcSiteTest, OverlongEntryIsLeftOutAndNullListReported) {
  ScopedDebugCapture capture;
  std::string list = std::string(300, 'x') + ";ok";
  RsrcSite site(list.c_str());
  std::vector<std::string> folders(site.begin(), site.end());
  EXPECT_EQ(folders, (std::vector<std::string>{".\\ok\\"}));
  EXPECT_TRUE(capture.Saw("localIndex < kMaxSiteNameLength"));
  RsrcSite none(nullptr);
  EXPECT_EQ(none.size(), 0u);
  EXPECT_FALSE(none.Validate());
  EXPECT_TRUE(capture.Saw("inPath != 0"));
}

TEST(RsrcSiteTest, ValidateAndCollectTypes) {
  TestTempFolder tmp;
  tmp.WriteFile("one/#1#a.spr", "x");
  tmp.WriteFile("one/b.STR", "x");
  tmp.WriteFile("one/noext", "x");
  tmp.WriteFile("two/#2#c.spr", "x");
  tmp.WriteFile("two/d.ab", "x");
  tmp.MakeFolder("two/sub.dir");
  tmp.MakeFolder("empty");
  std::string list = tmp / "one" + ";" + tmp / "TWO";  // another case still names the folder
  RsrcSite site(list.c_str());
  EXPECT_TRUE(site.Validate());
  std::vector<RsrcType> types{RsrcType("STR")};
  EXPECT_EQ(site.CollectTypes(types), 0);
  std::vector<RsrcType> expected{RsrcType("STR"), RsrcType("spr"), RsrcType("ab")};
  EXPECT_EQ(types, expected);
  EXPECT_EQ(site.CollectTypes(types), 5);

  EXPECT_FALSE(RsrcSite((list + ";" + tmp / "missing").c_str()).Validate());
  std::vector<RsrcType> none;
  EXPECT_TRUE(RsrcSite((tmp / "empty").c_str()).Validate());
  EXPECT_EQ(RsrcSite((tmp / "empty").c_str()).CollectTypes(none), 5);
  EXPECT_EQ(RsrcSite((tmp / "missing").c_str()).CollectTypes(none), 5);
}

TEST(RsrcSiteTest, FileExtensions) {
  char out[4];
  GetFileExtension("a.spr", out);
  EXPECT_STREQ(out, "spr");
  GetFileExtension("abc.ab", out);
  EXPECT_STREQ(out, "ab");
  GetFileExtension("abcd.a", out);
  EXPECT_STREQ(out, "a");
  ScopedDebugCapture capture;
  GetFileExtension("abcdef", out);
  EXPECT_STREQ(out, "");
  GetFileExtension("a.b", out);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(capture.ReportCount(), 2u);
}

TEST(RsrcDescriptorTest, FileNamesAreParsed) {
  RsrcDescriptor numbered(".\\d\\", "#128#Chair Big.spr", RsrcType(kSPR));
  EXPECT_EQ(numbered.GetID(), 128);
  EXPECT_STREQ(numbered.GetName(), "chair big");
  EXPECT_STREQ(numbered.GetDir(), ".\\d\\");
  EXPECT_EQ(numbered.BuildFileName(), "#128#chair big");

  RsrcDescriptor plain(".\\d\\", "Chair Big.spr", RsrcType(kSPR));
  EXPECT_EQ(plain.GetID(), RsrcDescriptor::kNoID);
  EXPECT_STREQ(plain.GetName(), "chair big");
  EXPECT_EQ(plain.BuildFileName(), "chair big");

  EXPECT_EQ(RsrcDescriptor("", "#-5#x.spr", RsrcType(kSPR)).GetID(), -5);
  // Malformed id fields: no second '#', an overlong field, a value past the i32 range.
  for (const char* name : {"#12x.spr", "#12345678901#x.spr", "#9999999999#x.spr"})
    EXPECT_EQ(RsrcDescriptor("", name, RsrcType(kSPR)).GetID(), RsrcDescriptor::kNoID) << name;

  // The whole stored name is compared, the part after the first '.' included.
  RsrcDescriptor a("", "#1#x.a.spr", RsrcType(kSPR)), b("", "#1#x.b.spr", RsrcType(kSPR));
  EXPECT_STREQ(a.GetName(), "x");
  EXPECT_FALSE(a == b);
  EXPECT_TRUE(a < RsrcDescriptor("", "#2#a.spr", RsrcType(kSPR)));
  EXPECT_TRUE(plain < RsrcDescriptor("", "dog.spr", RsrcType(kSPR)));
}

TEST(RsrcCollectionTest, AddRefusesEqualDescriptorsAndIteratorsStayInside) {
  RsrcCollection collection;
  EXPECT_EQ(collection.Add(".\\a\\", "#1#x.spr", RsrcType(kSPR)), 0);
  EXPECT_EQ(collection.Add(".\\a\\", "#1#x.spr", RsrcType(kSPR)), 3);
  EXPECT_EQ(collection.Add(".\\b\\", "#1#X.spr", RsrcType(kSPR)), 3);  // folder not compared
  EXPECT_EQ(collection.Add(".\\a\\", "#2#x.spr", RsrcType(kSPR)), 0);
  EXPECT_EQ(collection.size(), 2);
  int32_t count = 0;
  for (auto it = collection.begin(); it != collection.end(); ++it) ++count;
  EXPECT_EQ(count, 2);
  EXPECT_EQ((*(collection.begin() + 1)).GetID(), 2);

  ScopedDebugCapture capture;
  EXPECT_EQ(collection.Add(".\\nosep", "#3#x.spr", RsrcType(kSPR)), 0);
  EXPECT_TRUE(capture.Saw("inDir[inDir.length()-1]"));
  capture.Clear();
  auto outside = collection.begin() + 5;
  EXPECT_TRUE(capture.Saw("mIndex+i < mCollection->size()"));
  EXPECT_EQ((*outside).GetID(), RsrcDescriptor::kNoID);  // an empty descriptor, no crash
  collection.begin() - 1;
  EXPECT_TRUE(capture.Saw("mIndex-i >= 0"));
}

TEST(RsrcMgrTest, MajorTypes) {
  RsrcMgr manager;
  EXPECT_EQ(manager.RegisterMajorType(RsrcType("GRP ")), 0);
  EXPECT_EQ(manager.RegisterMajorType(RsrcType("GRP ")), 1);
  EXPECT_EQ(manager.AddMinorType(RsrcType("GRP "), RsrcType("SPR#")), 0);
  EXPECT_EQ(manager.AddMinorType(RsrcType("GRP "), RsrcType("SPR#")), 3);
  ScopedDebugCapture capture;
  EXPECT_EQ(manager.AddMinorType(RsrcType("NONE"), RsrcType("SPR#")), 2);
  EXPECT_TRUE(capture.Saw("majorIter != mMajorTypes.end()"));
  EXPECT_TRUE(manager.IsMajorType(RsrcType("GRP ")));
  EXPECT_FALSE(manager.IsMajorType(RsrcType("SPR#")));

  // A major type is looked up through its minor types.
  TestTempFolder tmp;
  tmp.WriteFile("d/#3#x.spr", "abc");
  RsrcSite site((tmp / "d").c_str());
  RsrcPkt packet;
  EXPECT_EQ(manager.GetRsrcByID(&packet, site, RsrcType("GRP "), 3), 0);
  EXPECT_EQ(packet.GetType(), RsrcType("SPR#"));
}

TEST(RsrcMgrTest, NamesOfFoundFiles) {
  EXPECT_EQ(RsrcMgr::ParseID("#42#name.spr"), 42);
  EXPECT_EQ(RsrcMgr::ParseID("name.spr"), RsrcDescriptor::kNoID);
  std::string name = "#42#Some Name.x.spr";
  RsrcMgr::ParseName(name);
  EXPECT_EQ(name, "Some Name");
  name = "plain.spr";
  RsrcMgr::ParseName(name);
  EXPECT_EQ(name, "plain");
  ScopedDebugCapture capture;
  EXPECT_EQ(RsrcMgr::ParseID("#12345678901#x.spr"), RsrcDescriptor::kNoID);
  EXPECT_TRUE(capture.Saw("j < 10"));
}

class RsrcOpenTest : public ::testing::Test {
 protected:
  TestTempFolder tmp;
  RsrcMgr& manager = GetRsrcMgr();
};

TEST_F(RsrcOpenTest, FirstFolderOfTheSiteWins) {
  tmp.WriteFile("a/#7#Chair.spr", "first");
  tmp.WriteFile("b/#7#chair.spr", "second");
  tmp.WriteFile("b/#8#table.spr", "table");
  RsrcSite site((tmp / "a" + ";" + tmp / "b").c_str());
  RsrcPkt byID;
  ASSERT_EQ(manager.GetRsrcByID(&byID, site, RsrcType(kSPR), 7), 0);
  EXPECT_EQ(ReadAll(byID), "first");
  EXPECT_EQ(byID.GetName(), "Chair");
  EXPECT_EQ(byID.GetID(), 7);
  EXPECT_EQ(byID.GetType(), RsrcType(kSPR));

  RsrcPkt byName;
  ASSERT_EQ(manager.GetRsrcByName(&byName, site, RsrcType(kSPR), "table"), 0);
  EXPECT_EQ(ReadAll(byName), "table");
  EXPECT_EQ(byName.GetID(), 8);
  EXPECT_EQ(byName.GetName(), "table");

  RsrcPkt missing;
  EXPECT_EQ(manager.GetRsrcByID(&missing, site, RsrcType(kSPR), 9), 5);
  EXPECT_EQ(manager.GetRsrcByName(&missing, site, RsrcType(kSPR), "sofa"), 5);
  EXPECT_EQ(manager.GetRsrcByID(&missing, site, RsrcType("BMP_"), 7), 5);
}

TEST_F(RsrcOpenTest, OpenRsrcByNameTriesTheExactFileThenAnyId) {
  tmp.WriteFile("d/#9#lamp.spr", "nine");
  tmp.WriteFile("d/#1#x#lamp.spr", "not lamp");  // matches "#*#lamp.spr" but is named "x#lamp"
  tmp.WriteFile("d/#12#plain.spr", "twelve");
  tmp.WriteFile("d/bare.spr", "bare");
  tmp.MakeFolder("d/#5#folder.spr");
  std::string dir = SiteFolder(tmp / "d");
  struct Case {
    const char* name;
    int32_t id;
    int32_t result, gotID;
    const char* bytes;
  } cases[] = {
      {"lamp", 7, 0, 9, "nine"},                         // the exact file is missing; id 9 found
      {"LAMP", 9, 0, 9, "nine"},                         // another case
      {"plain", RsrcDescriptor::kNoID, 0, 12, "twelve"}, // no id asked: the one in the name
      {"bare", RsrcDescriptor::kNoID, 0, RsrcDescriptor::kNoID, "bare"},
      {"folder", 5, 5, 0, ""},                           // a folder is no resource
      {"l*", RsrcDescriptor::kNoID, 5, 0, ""},           // a wildcard is no name
      {"../d/bare", RsrcDescriptor::kNoID, 5, 0, ""},    // nor is a path
      {"..\\d\\bare", RsrcDescriptor::kNoID, 5, 0, ""},
  };
  for (const Case& c : cases) {
    RsrcPkt packet;
    EXPECT_EQ(manager.OpenRsrc(&packet, RsrcType(kSPR), dir.c_str(), c.name, c.id), c.result)
        << c.name;
    if (c.result != 0) continue;
    EXPECT_EQ(packet.GetID(), c.gotID) << c.name;
    EXPECT_EQ(packet.GetName(), c.name);
    EXPECT_EQ(ReadAll(packet), c.bytes) << c.name;
  }
}

TEST_F(RsrcOpenTest, OpenById) {
  tmp.WriteFile("d/#4#beta.spr", "b");
  tmp.WriteFile("d/#4#alpha.spr", "a");
  tmp.WriteFile("d/#-3#neg.spr", "n");
  std::string dir = SiteFolder(tmp / "d");
  RsrcPkt packet;
  ASSERT_EQ(manager.OpenRsrc(&packet, RsrcType(kSPR), dir.c_str(), nullptr, 4), 0);
  EXPECT_EQ(packet.GetName(), "alpha");  // the first the search reports
  ASSERT_EQ(manager.OpenRsrc(&packet, RsrcType(kSPR), dir.c_str(), nullptr, -3), 0);
  EXPECT_EQ(packet.GetName(), "neg");
  EXPECT_EQ(ReadAll(packet), "n");

  ScopedDebugCapture capture;
  RsrcPkt other;
  EXPECT_EQ(manager.OpenRsrc(&other, RsrcType(kSPR), dir.c_str(), nullptr, RsrcDescriptor::kNoID), 5);
  EXPECT_TRUE(capture.Saw("inID != RsrcDescriptor::kNoID"));
  std::string noSep = dir.substr(0, dir.size() - 1);
  capture.Clear();
  manager.OpenRsrc(&other, RsrcType(kSPR), noSep.c_str(), nullptr, 4);
  EXPECT_TRUE(capture.Saw("inDir[strlen(inDir)-1]"));
}

TEST_F(RsrcOpenTest, StreamPacketsReadAndSeekThroughThePlatform) {
  // A packet's stream is read through the platform layer like every other file: its reads
  // are counted there and its faults reach them. The name is found in another case.
  tmp.WriteFile("Long.spr", std::string(20000, 'a') + "tail");
  RsrcPkt packet;
  PlatformFileResetFaults();
  ASSERT_EQ(manager.OpenPkt(&packet, (tmp / "long.SPR").c_str()), 0);
  ASSERT_EQ(packet.GetSize(), 20004);
  std::fstream* stream = packet.GetStream();
  ASSERT_NE(stream, nullptr);
  std::string bytes(20004, '\0');
  stream->read(&bytes[0], 20004);
  EXPECT_EQ(stream->gcount(), 20004);
  EXPECT_EQ(bytes.substr(19998), "aatail");
  EXPECT_GE(PlatformFileCallCount(kPlatformFaultRead), 3);  // read in blocks, through the layer
  stream->clear();
  stream->seekg(-4, std::ios_base::end);
  char tail[4] = {};
  stream->read(tail, 4);
  EXPECT_EQ(std::string(tail, 4), "tail");

  // A failing read of the layer is a short read of the stream.
  ASSERT_EQ(manager.OpenPkt(&packet, (tmp / "Long.spr").c_str()), 0);
  PlatformFileFailAt(kPlatformFaultRead, 1, true);
  packet.GetStream()->read(&bytes[0], 20004);
  EXPECT_EQ(packet.GetStream()->gcount(), 0);
  PlatformFileResetFaults();
}

TEST_F(RsrcOpenTest, StreamAndFilePackets) {
  std::string empty = tmp.WriteFile("empty.spr", "");
  std::string full = tmp.WriteFile("full.spr", "12345");
  RsrcPkt stream;
  EXPECT_EQ(manager.OpenPkt(&stream, empty.c_str()), 0);
  EXPECT_EQ(stream.GetSize(), 0);
  EXPECT_NE(stream.GetStream(), nullptr);
  EXPECT_EQ(manager.OpenPkt(&stream, (tmp / "missing.spr").c_str()), 5);
  EXPECT_EQ(stream.GetSize(), 0);
  EXPECT_EQ(stream.GetStreamType(), RsrcPkt::kCPPStream);
  {
    ScopedDebugCapture capture;
    EXPECT_EQ(stream.GetStream(), nullptr);
  }

  RsrcPkt file;
  EXPECT_EQ(file.SetStreamType(RsrcPkt::kVornFile), 0);
  ASSERT_EQ(manager.OpenPkt(&file, full.c_str()), 0);
  EXPECT_EQ(file.GetSize(), 5);
  VornFile* held = file.GetFile();
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(manager.OpenPkt(&file, (tmp / "missing.spr").c_str()), 5);
  EXPECT_EQ(file.GetFile(), held);  // a failed file open leaves the packet as it was
  EXPECT_EQ(file.GetSize(), 5);
  file.SetFile(held);  // the same file again stays open
  char bytes[5];
  EXPECT_TRUE(file.GetFile()->ReadBytes(bytes, 5));
  EXPECT_EQ(std::string(bytes, 5), "12345");

  // A file set on a packet holding a stream replaces (and deletes) the stream.
  ASSERT_EQ(manager.OpenPkt(&stream, full.c_str()), 0);
  std::fstream* s = stream.GetStream();
  stream.SetStream(s);  // the same stream again stays
  EXPECT_EQ(stream.GetStream(), s);
  stream.SetFile(GetVornFileManager().Open(VornString(full), false));
  EXPECT_EQ(stream.GetStreamType(), RsrcPkt::kVornFile);
  ScopedDebugCapture capture;
  EXPECT_EQ(stream.SetStreamType(RsrcPkt::kCPPStream), 0);
  EXPECT_TRUE(capture.Saw("(mStream == 0) && (mFile == 0)"));
  EXPECT_EQ(stream.GetStreamType(), RsrcPkt::kVornFile);
}

TEST_F(RsrcOpenTest, FindRsrcListsOnlyMappedFolders) {
  tmp.WriteFile("m/#2#b.spr", "b");
  tmp.WriteFile("m/#1#a.SPR", "a");
  tmp.WriteFile("m/c.bmp", "c");
  RsrcSite site((tmp / "m").c_str());
  RsrcCollection collection;
  EXPECT_EQ(manager.FindRsrc(site, collection, RsrcType(kSPR)), 0);
  EXPECT_EQ(collection.size(), 0);  // the global file manager maps no folder by itself

  GetVornFileManager().AddFolder(VornString(tmp / "m/"), false, false);
  EXPECT_EQ(manager.FindRsrc(site, collection, RsrcType(kSPR)), 0);
  ASSERT_EQ(collection.size(), 2);
  EXPECT_EQ((*collection.begin()).GetID(), 1);  // key order of the lower-cased names
  RsrcPkt packet;
  EXPECT_EQ(manager.OpenDescriptor(&packet, collection.begin() + 1), 0);
  EXPECT_EQ(ReadAll(packet), "b");
  EXPECT_EQ(collection.GetSite().size(), 1u);
  GetVornFileManager().Reset();
}

}  // namespace
