// The sprite maker's dialog model: start-up, folder scans, object listing, the saved
// directories, and builds on the worker thread with their progress lines and report.
#include "VintrelDlg.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <thread>

#include "../filelib/FileLibTestSupport.h"
#include "DebugCapture.h"
#include "IFFResFile2.h"
#include "ImageWriters.h"
#include "ObjDefinition.h"
#include "ObjectBuilder.h"
#include "PlatformFile.h"
#include "TestTempFolder.h"
#include "TileStageHooks.h"
#include "VintrelText.h"
#include "XAssert.h"

namespace {

using Env = std::map<std::string, std::string>;

VintrelHost TestHost(const Env& env, const std::string& driveRoot) {
  VintrelHost host = VintrelHost::Default();
  host.fGetEnv = [env](const char* name) {
    auto it = env.find(name);
    return it == env.end() ? std::string() : it->second;
  };
  host.fDriveRoot = driveRoot;
  host.fSystemTemp = driveRoot;  // tests keep even the system's temporary folder in their own
  return host;
}

struct Def {
  uint16_t id;
  const char* name;
  int16_t masterId;
  int16_t subIndex;
  int16_t firstDrawGroup;
  int16_t drawGroupCount;
  int16_t wallStyle = 0;
  uint32_t guid = 0;
  int16_t catalogId = 0;
};

// Writes `base`.iff with the definitions and an empty `base`.spf, as the game keeps objects.
void WriteObjectFile(const std::string& base, const std::vector<Def>& defs) {
  IFFResFile2 file;
  FixedStringBuffer<260> path((base + ".iff").c_str());
  ASSERT_EQ(file.Create(path), noErr);
  ASSERT_EQ(file.Open(path), noErr);
  for (const Def& d : defs) {
    ObjDefinition def;
    def.SetLong(kObjDefVersion, ObjDefinition::kCurrentVersion);
    def.fWords[kObjDefMasterId] = uint16_t(d.masterId);
    def.fWords[kObjDefSubIndex] = uint16_t(d.subIndex);
    def.fWords[kObjDefFirstDrawGroup] = uint16_t(d.firstDrawGroup);
    def.fWords[kObjDefDrawGroupCount] = uint16_t(d.drawGroupCount);
    def.fWords[kObjDefWallStyleId] = uint16_t(d.wallStyle);
    def.fWords[kObjDefCatalogId] = uint16_t(d.catalogId);
    def.SetGUID(d.guid);
    MHandle* h = HAlloc(ObjDefinition::kByteSize);
    ASSERT_TRUE(def.WriteToHandle(h));
    file.AddResource(h, kObjDefinitionType, d.id, FixedStringBuffer<64>(d.name), true);
    ASSERT_EQ(file.GetError(), noErr);
  }
  ASSERT_EQ(file.Close(), noErr);
  IFFResFile2 sprites;
  ASSERT_EQ(sprites.Create(FixedStringBuffer<260>((base + ".spf").c_str())), noErr);
}

// Drives the timer until the run closes (waiting at most 30 s on a loaded machine).
void FinishRun(VintrelDlg& dlg) {
  for (int i = 0; i < 15000 && dlg.TimerOn(); ++i) {
    dlg.OnTimer();
    if (dlg.TimerOn()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_FALSE(dlg.TimerOn());
}

// A build that the test steps through: it logs its lines, then waits for the test.
std::atomic<int> gStep{0};
std::atomic<bool> gRelease{false};
std::string gSeenSync;

void WaitFor(const std::atomic<int>& value, int wanted) {
  for (int i = 0; i < 30000 && value.load() < wanted; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void SteppedBuild(ObjectBuilder& builder) {
  LogMessage("generating sprite 1");
  LogMessage("rendering view 1");
  LogMessage("compressing frame 3");
  builder.EnterSync();
  gSeenSync = builder.GetSyncMessage();
  builder.LeaveSync();
  gStep = 1;
  while (!gRelease.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  LogMessage("rendering view 2");
  gStep = 2;
}

void FailingBuild(ObjectBuilder&) {
  LogMessage("generating sprite 1");
  ThrowError("abc");
}

void AssertingBuild(ObjectBuilder&) {
  XASSERT(1 == 2, "boom");
  LogMessage("after the assertion");
}

void QuietBuild(ObjectBuilder&) {}

class VintrelDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gStep = 0;
    gRelease = false;
    gSeenSync.clear();
    temp = tmp.MakeFolder("temp");
    home = tmp.MakeFolder("home");
    gameData = tmp.MakeFolder("game");
    content = tmp.MakeFolder("content");
    objects = tmp.MakeFolder("game/Objects");
    sprites = tmp.MakeFolder("content/Sprites");
  }
  void TearDown() override { ObjectBuilder::SetBuildProcForTesting(nullptr); }

  // A dialog on the test's folders with one object file "chair" holding a single object.
  std::unique_ptr<VintrelDlg> ReadyDialog(Env env = {}) {
    if (!env.count("TEMP")) env["TEMP"] = temp;
    env["SCENDIR"] = gameData;
    env["SPRITEDIR"] = sprites;
    if (!PlatformPathExists((objects + "chair.iff").c_str()))
      WriteObjectFile(objects + "chair", {{128, "Chair", 0, 0, 200, 2, 0, 77, 5}});
    tmp.WriteFile("content/Sprites/Chair.omk", "<objects/>");
    auto dlg = std::make_unique<VintrelDlg>(TestHost(env, home));
    dlg->OnInitDialog();
    dlg->Controls().fFileSelection = 0;
    dlg->OnFileSelected();
    return dlg;
  }

  TestTempFolder tmp;
  std::string temp, home, gameData, content, objects, sprites;
};

TEST_F(VintrelDlgTest, StartUpChoosesTheReportFileAndTellsWhereFoldersCameFrom) {
  struct Case {
    Env env;
    std::string reportFolder;  // empty: the system's temporary folder
    std::vector<std::string> parts;
  };
  std::string missing = tmp / "no/such/";
  std::string system = tmp.MakeFolder("system-temp");
  std::string tmpdir = tmp.MakeFolder("tmpdir");
  std::vector<Case> cases = {
      // Each missing variable is said on a line of its own.
      {{{"TEMP", "T"}}, "T", {"Using temporary file ", "\r\nNo SPRITEDIR variable.\r\nNo SCENDIR variable.\r\n"}},
      {{{"TMP", "T"}}, "T", {"Using temporary file "}},
      {{{"TMPDIR", tmpdir}}, tmpdir, {"Using temporary file " + tmpdir + "VintrelReport.txt\r\n"}},
      {{}, "", {"Using temporary file " + system + "VintrelReport.txt\r\n"}},
      {{{"TEMP", missing}},
       missing,
       {"Error writing to temporary file, the full report text will not be available.\r\n"}},
  };
  for (Case& c : cases) {
    for (auto& [name, value] : c.env)
      if (value == "T") value = temp;
    if (c.reportFolder == "T") c.reportFolder = temp;
    VintrelHost host = TestHost(c.env, home);
    host.fSystemTemp = system;
    VintrelDlg dlg(host);
    dlg.OnInitDialog();
    std::string folder = c.reportFolder.empty() ? system : c.reportFolder;
    EXPECT_EQ(std::string(dlg.ReportPath().c_str()), folder + "VintrelReport.txt");
    const std::string& report = dlg.Controls().fReport;
    for (const std::string& part : c.parts) EXPECT_NE(report.find(part), std::string::npos) << part << "\n" << report;
    // No Windows drive is named on this host.
    EXPECT_EQ(report.find("C:"), std::string::npos) << report;
    EXPECT_EQ(dlg.Controls().fState, "Idle");
    EXPECT_FALSE(dlg.Controls().fGoEnabled);
  }
  // The test write leaves an empty report file until the first run ends.
  EXPECT_TRUE(PlatformPathExists((temp + "VintrelReport.txt").c_str()));
}

TEST_F(VintrelDlgTest, StartUpInstallsTheTileStagesThatGraphicsBuildsUse) {
  SetTileStage(TileStage::kWallStyleTags, nullptr);
  SetTileStage(TileStage::kFloor, nullptr);
  VintrelDlg dlg(TestHost({{"TEMP", temp}}, home));
  dlg.OnInitDialog();
  EXPECT_NE(GetTileStage(TileStage::kWallStyleTags), nullptr);
  EXPECT_NE(GetTileStage(TileStage::kFloor), nullptr);
}

TEST_F(VintrelDlgTest, SpriteDirGivesTheContentFolderOnlyWhenItEndsWithTheWordSprites) {
  struct Case {
    std::string value;
    std::string content;  // expected content folder, empty when ignored
  };
  std::string base = content;  // ends with '/'
  std::vector<Case> cases = {
      {base + "Sprites", base},       {base + "SPRITES/", base},   {base + "sprites\\", base},
      {"sprites/", ""},               {base + "sprites//", ""},    {base + "spritesx", ""},
      {base + "Sprites/more", ""},    {"", ""},
      {base + "sprites-old/Sprites", base + "sprites-old/"},
  };
  for (const Case& c : cases) {
    VintrelDlg dlg(TestHost({{"TEMP", temp}, {"SPRITEDIR", c.value}}, home));
    dlg.OnInitDialog();
    EXPECT_EQ(std::string(dlg.ContentFolder().c_str()), c.content) << c.value;
    const std::string& report = dlg.Controls().fReport;
    if (c.value.empty()) {
      EXPECT_NE(report.find("No SPRITEDIR variable.\r\n"), std::string::npos);
    } else if (c.content.empty()) {
      // A value that is set but not used is not called missing: the text says what is wrong.
      EXPECT_EQ(report.find("No SPRITEDIR variable."), std::string::npos) << c.value;
      EXPECT_NE(report.find("SPRITEDIR " + c.value +
                            " is not used: it must name the folder Sprites in the content folder, such as "
                            "/data/content/Sprites\r\n"),
                std::string::npos)
          << report;
    } else {
      EXPECT_NE(report.find("Using variable SPRITEDIR for content, " + c.content + "\r\n"), std::string::npos);
      EXPECT_EQ(dlg.Controls().fSpritesFolder, c.content + "Sprites/");
    }
  }
}

TEST_F(VintrelDlgTest, SavedDirectoriesWinOverTheEnvironmentAndFailuresAreReported) {
  {
    VintrelDlg dlg(TestHost({{"TEMP", temp}, {"SCENDIR", gameData}, {"SPRITEDIR", sprites}}, home));
    dlg.OnInitDialog();
    EXPECT_TRUE(dlg.SaveDirs());
  }
  EXPECT_EQ(TestTempFolder::ReadFile(home + "Vintrel.dirs"), gameData + "\n" + content + "\n");

  std::string otherGame = tmp.MakeFolder("other");
  VintrelDlg dlg(TestHost({{"TEMP", temp}, {"SCENDIR", otherGame}}, home));
  dlg.OnInitDialog();
  EXPECT_EQ(std::string(dlg.GameDataFolder().c_str()), gameData);
  EXPECT_EQ(std::string(dlg.ContentFolder().c_str()), content);
  EXPECT_NE(dlg.Controls().fReport.find("Using saved directories\r\nData directory: " + gameData +
                                        "\r\nContent directory: " + content + "\r\n"),
            std::string::npos);

  // One token only is no saved setting.
  tmp.WriteFile("home/Vintrel.dirs", gameData + "\n");
  PathString a, b;
  EXPECT_FALSE(dlg.LoadSavedDirs(a, b));

  VintrelDlg nowhere(TestHost({{"TEMP", temp}}, tmp / "no/such/"));
  nowhere.OnInitDialog();
  nowhere.OnRemember();
  EXPECT_EQ(nowhere.Controls().fReport, "There was an error saving the directories");
}

// Every folder name that Remember saves reads back as it was at the next start; names without
// white space are saved as before, one a line.
TEST_F(VintrelDlgTest, RememberedFoldersReadBackAsTheyWereWhateverTheirNames) {
  struct Case {
    std::string game;     // folder names under the test's folder
    std::string content;
    std::string saved;    // the file's text, "@" standing for the test's folder
  };
  const Case cases[] = {
      {"gd", "ct", "@gd/\n@ct/\n"},
      {"gd sp", "c t", "\"@gd sp/\"\n\"@c t/\"\n"},
      {"tab\there", "say \"hi\"", "\"@tab\there/\"\n\"@say \"\"hi\"\"/\"\n"},
      {"no\"space", "two  spaces", "@no\"space/\n\"@two  spaces/\"\n"},
  };
  for (const Case& c : cases) {
    TestTempFolder own;
    std::string game = own.MakeFolder(c.game), contentFolder = own.MakeFolder(c.content);
    std::string ownHome = own.MakeFolder("home");
    own.MakeFolder(c.content + "/Sprites");
    {
      VintrelDlg dlg(TestHost({{"TEMP", temp}, {"SCENDIR", game}, {"SPRITEDIR", contentFolder + "Sprites"}}, ownHome));
      dlg.OnInitDialog();
      ASSERT_EQ(std::string(dlg.ContentFolder().c_str()), contentFolder);
      dlg.OnRemember();
      EXPECT_EQ(dlg.Controls().fReport.find("error saving"), std::string::npos);
    }
    std::string saved = c.saved;
    for (size_t at = saved.find('@'); at != std::string::npos; at = saved.find('@', at + own.Path().size()))
      saved.replace(at, 1, own.Path());
    EXPECT_EQ(TestTempFolder::ReadFile(ownHome + "Vintrel.dirs"), saved) << c.game;

    VintrelDlg next(TestHost({{"TEMP", temp}}, ownHome));
    next.OnInitDialog();
    EXPECT_EQ(std::string(next.GameDataFolder().c_str()), game);
    EXPECT_EQ(std::string(next.ContentFolder().c_str()), contentFolder);
    EXPECT_NE(next.Controls().fReport.find("Data directory: " + game + "\r\nContent directory: " + contentFolder),
              std::string::npos);
  }

  // What the file cannot give is no saved setting: a quote left open, a name too long.
  struct Bad {
    std::string text;
  };
  VintrelDlg dlg(TestHost({{"TEMP", temp}}, home));
  for (const Bad& b : {Bad{"\"/open quote\n/b\n"}, Bad{"/a\n\"/b\n"}, Bad{"/" + std::string(259, 'n') + "\n/b\n"}}) {
    tmp.WriteFile("home/Vintrel.dirs", b.text);
    PathString a, c;
    EXPECT_FALSE(dlg.LoadSavedDirs(a, c)) << b.text;
  }
  // A file written by hand with other white space between plain names still reads.
  tmp.WriteFile("home/Vintrel.dirs", "  /g/\t\t/c/  ");
  PathString a, c;
  ASSERT_TRUE(dlg.LoadSavedDirs(a, c));
  EXPECT_EQ(std::string(a.c_str()) + "|" + c.c_str(), "/g/|/c/");
}

// The Remember button says where it saves, and saves there.
TEST_F(VintrelDlgTest, RememberSaysItSavesInTheHomeFolder) {
  VintrelDlg dlg(TestHost({{"TEMP", temp}, {"SCENDIR", gameData}}, home));
  dlg.OnInitDialog();
  EXPECT_EQ(dlg.SavedDirsFile(), home + "Vintrel.dirs");
  EXPECT_EQ(VintrelDlg::RememberCaption().find("C:"), std::string::npos);
  EXPECT_NE(VintrelDlg::RememberCaption().find("Home"), std::string::npos);
  EXPECT_NE(dlg.RememberTip().find(home + "Vintrel.dirs"), std::string::npos) << dlg.RememberTip();
  dlg.OnRemember();
  EXPECT_EQ(TestTempFolder::ReadFile(home + "Vintrel.dirs"), gameData + "\n\n");
}

// The folder pickers answer a folder, or a file in the folder that a chooser still offers.
TEST_F(VintrelDlgTest, PickersTakeAFolderOrTheFolderOfAFileInIt) {
  tmp.WriteFile("content/marker.scnt", "");
  tmp.WriteFile("content/Sprites/Chair.omk", "x");
  tmp.WriteFile("game/Objects/lamp.spf", "x");
  std::string bareContent = content.substr(0, content.size() - 1);
  struct Case {
    std::string picked;
    std::string folder;
  };
  const Case cases[] = {
      {content, content},                    // a folder with its separator
      {bareContent, bareContent},            // a folder without one
      {content + "marker.scnt", content},    // the placeholder file
      {content + "Sprites", content + "Sprites"},
      {tmp / "gone/x.scnt", tmp / "gone/"},  // a missing file: its folder part
  };
  for (const Case& c : cases) {
    PathString folder("old");
    PickedFolder(FixedStringBuffer<260>(c.picked.c_str()), folder);
    EXPECT_EQ(std::string(folder.c_str()), c.folder) << c.picked;
  }

  VintrelDlg dlg(TestHost({{"TEMP", temp}}, home));
  dlg.OnInitDialog();
  dlg.OnContentPicked(FixedStringBuffer<260>(bareContent.c_str()));
  EXPECT_EQ(std::string(dlg.ContentFolder().c_str()), content);
  EXPECT_EQ(dlg.MakeFiles().size(), 1u);
  dlg.OnGameDataPicked(FixedStringBuffer<260>(gameData.c_str()));
  EXPECT_EQ(std::string(dlg.GameDataFolder().c_str()), gameData);
  EXPECT_EQ(dlg.Controls().fFiles, (std::vector<std::string>{"lamp"}));
  dlg.OnGameDataPicked(FixedStringBuffer<260>((gameData + "world.pev").c_str()));
  EXPECT_EQ(std::string(dlg.GameDataFolder().c_str()), gameData);
}

TEST_F(VintrelDlgTest, ObjectsScanSortsBaseNamesAndHidesReadOnlyFilesUntilShowAll) {
  WriteObjectFile(objects + "Zebra", {});
  WriteObjectFile(objects + "apple", {});
  WriteObjectFile(objects + "Mango", {});
  tmp.WriteFile("game/Objects/notes.txt", "x");
  tmp.WriteFile("game/Objects/pack.far", FarBytes::Archive({{"Packed.spf", "p"}}).bytes);
  ASSERT_EQ(::chmod((objects + "Mango.spf").c_str(), 0444), 0);

  VintrelDlg dlg(TestHost({{"TEMP", temp}, {"SCENDIR", gameData}}, home));
  dlg.OnInitDialog();
  EXPECT_EQ(dlg.Controls().fObjectsFolder, gameData + "Objects/");
  EXPECT_EQ(dlg.Controls().fFiles, (std::vector<std::string>{"apple", "zebra"}));
  ASSERT_EQ(dlg.ObjectFiles().size(), 2u);
  // Folder + base name without extension; the walk reports lower-case paths.
  std::string entry = dlg.ObjectFiles()[1].c_str();
  EXPECT_EQ(entry.substr(entry.size() - 6), "\\zebra");
  EXPECT_TRUE(PlatformPathExists((entry + ".spf").c_str()));

  dlg.Controls().fShowAll = true;
  dlg.OnRescan();
  EXPECT_EQ(dlg.Controls().fFiles, (std::vector<std::string>{"apple", "mango", "packed", "zebra"}));
  EXPECT_EQ(dlg.Controls().fFileSelection, -1);

  // A missing folder leaves the lists empty.
  dlg.ScanObjectsFolder(FixedStringBuffer<260>((tmp / "none").c_str()));
  EXPECT_TRUE(dlg.Controls().fFiles.empty());
  EXPECT_EQ(std::string(dlg.GameDataFolder().c_str()), tmp / "none/");
}

// The objects scan stays in the objects folder and lists each object file once, whatever the
// archives in it name.
TEST_F(VintrelDlgTest, ObjectsScanListsEachFileOnceAndNeverLeavesTheFolder) {
  WriteObjectFile(objects + "apple", {});
  WriteObjectFile(gameData + "stray", {});  // beside the objects folder: never listed
  tmp.WriteFile("game/Objects/pack.far",
                FarBytes::Archive({{"..\\stray.spf", "s"}, {"Packed.spf", "p"}}).bytes);

  VintrelDlg dlg(TestHost({{"TEMP", temp}, {"SCENDIR", gameData}}, home));
  ScopedDebugCapture reports;  // the passed-over entries are reported
  dlg.OnInitDialog();
  dlg.Controls().fShowAll = true;
  dlg.OnRescan();
  EXPECT_EQ(dlg.Controls().fFiles, (std::vector<std::string>{"apple", "packed"}));
}

TEST_F(VintrelDlgTest, ObjectListShowsLoneAndMasterObjectsAndTheirIds) {
  WriteObjectFile(objects + "set",
                  {{130, "Part B", 7, 1, 310, 2, 0, 2, 0},
                   {128, "Lamp", 0, 0, 200, 3, 12, 0xFFFFFFFE, 41},
                   {129, "Table", 7, -1, 300, 2, 0, 5, 9},
                   {131, "Part C", 7, 2, 0, 4, 15, 3, 0},
                   {132, "Shelf", 0, 0, 0, 5, 0, 4, 0}});
  WriteObjectFile(objects + "parts", {{140, "Only part", 3, 1, 100, 1}});
  VintrelDlg dlg(TestHost({{"TEMP", temp}, {"SCENDIR", gameData}}, home));
  dlg.OnInitDialog();
  ASSERT_EQ(dlg.Controls().fFiles, (std::vector<std::string>{"parts", "set"}));

  dlg.Controls().fFileSelection = 0;
  dlg.OnFileSelected();
  EXPECT_TRUE(dlg.Controls().fObjects.empty());
  EXPECT_FALSE(dlg.Controls().fGoEnabled);

  dlg.Controls().fFileSelection = 1;
  dlg.OnFileSelected();
  std::vector<std::string> names = dlg.Controls().fObjects;
  ASSERT_EQ(names.size(), 3u);
  std::vector<int16_t> ids = dlg.ObjectIds();
  ASSERT_EQ(dlg.Controls().fObjectSelection, 0);

  auto select = [&](const std::string& name) {
    for (size_t i = 0; i < names.size(); ++i)
      if (names[i] == name) dlg.Controls().fObjectSelection = int32_t(i);
    dlg.OnObjectSelected();
  };
  select("Lamp");
  EXPECT_EQ(dlg.Controls().fIds, "res id : 128\r\nguid : -2\r\ncatalog id : 41\r\ndg 200\r\ndg 201\r\ndg 202\r\nws 12\r\n");
  EXPECT_EQ(dlg.Controls().fGoCaption, "Build Lamp");
  EXPECT_TRUE(dlg.Controls().fGoEnabled);

  // The master gathers its parts' draw groups (sorted) and wall styles; a part without draw
  // groups contributes nothing.
  select("Table");
  EXPECT_EQ(dlg.Controls().fIds, "res id : 129\r\nguid : 5\r\ncatalog id : 9\r\ndg 300\r\ndg 301\r\ndg 310\r\ndg 311\r\n");
  EXPECT_EQ(dlg.DrawGroupIds().size(), 4u);

  select("Shelf");
  EXPECT_EQ(dlg.Controls().fIds, "res id : 132\r\nguid : 4\r\ncatalog id : 0\r\n");
  EXPECT_EQ(dlg.Controls().fGoCaption, "Build Shelf");
  EXPECT_FALSE(dlg.Controls().fGoEnabled);

  dlg.Controls().fObjectSelection = 7;
  dlg.OnObjectSelected();
  EXPECT_EQ(dlg.Controls().fGoCaption, "");
  EXPECT_EQ(dlg.Controls().fIds, "");
}

// Names reach the Objects box and the Go caption whole and as written; the window escapes
// them for the toolkit.
TEST_F(VintrelDlgTest, ObjectNamesWithFormatCharactersReachTheBoxesWhole) {
  std::string longName = "Long " + std::string(50, 'n') + " name@";
  ASSERT_EQ(longName.size(), 61u);
  WriteObjectFile(objects + "odd", {{128, "chair@", 0, 0, 200, 1}, {129, "A&B @->", 0, 0, 210, 1},
                                    {130, "@bsofa", 0, 0, 220, 1}, {131, longName.c_str(), 0, 0, 230, 1}});
  VintrelDlg dlg(TestHost({{"TEMP", temp}, {"SCENDIR", gameData}}, home));
  dlg.OnInitDialog();
  dlg.Controls().fFileSelection = 0;
  dlg.OnFileSelected();
  ASSERT_EQ(dlg.Controls().fObjects, (std::vector<std::string>{"chair@", "A&B @->", "@bsofa", longName}));
  for (int32_t i = 0; i < 4; ++i) {
    dlg.Controls().fObjectSelection = i;
    dlg.OnObjectSelected();
    EXPECT_EQ(dlg.Controls().fGoCaption, "Build " + dlg.Controls().fObjects[i]);
  }
  EXPECT_EQ(LiteralLabel(dlg.Controls().fGoCaption, true), "Build Long " + std::string(50, 'n') + " name@@");
}

TEST_F(VintrelDlgTest, MakeFileIsFoundByBaseNameIgnoringCase) {
  tmp.WriteFile("content/Sprites/Chair.omk", "x");
  tmp.WriteFile("content/Sprites/deep/Lamp.OMK", "x");
  tmp.WriteFile("content/Sprites/lamp.txt", "x");
  VintrelDlg dlg(TestHost({{"TEMP", temp}, {"SPRITEDIR", sprites}}, home));
  dlg.OnInitDialog();
  ASSERT_EQ(dlg.MakeFiles().size(), 2u);
  PathString found;
  dlg.FindMakeFileFor(FixedStringBuffer<260>("x\\objects\\LAMP"), found);
  std::string lamp = found.c_str();
  EXPECT_EQ(lamp.substr(lamp.size() - 14), "\\deep\\lamp.omk");
  EXPECT_TRUE(PlatformPathExists(lamp.c_str()));
  PathString none;
  dlg.FindMakeFileFor(FixedStringBuffer<260>("x\\objects\\sofa"), none);
  EXPECT_EQ(none.length(), 0);
}

TEST(VintrelExtractLine, TakesTheLineFromTheKeywordLessItsLastCharacter) {
  FixedStringBuffer<256> text("aa rendering one\r\nnext compressing two\r\n");
  FixedStringBuffer<64> line("old");
  EXPECT_FALSE(VintrelDlg::ExtractLineAt(text, -1, line));
  EXPECT_EQ(std::string(line.c_str()), "old");
  ASSERT_TRUE(VintrelDlg::ExtractLineAt(text, 3, line));
  EXPECT_EQ(std::string(line.c_str()), "rendering one");
  ASSERT_TRUE(VintrelDlg::ExtractLineAt(text, text.find("compressing"), line));
  EXPECT_EQ(std::string(line.c_str()), "compressing two");
  // Without a line feed the last character goes all the same; at a line feed the line is empty.
  FixedStringBuffer<64> tail("generating abc");
  ASSERT_TRUE(VintrelDlg::ExtractLineAt(tail, 0, line));
  EXPECT_EQ(std::string(line.c_str()), "generating ab");
  ASSERT_TRUE(VintrelDlg::ExtractLineAt(text, text.find("\n"), line));
  EXPECT_EQ(std::string(line.c_str()), "");
  // A long line is cut to 63 characters.
  ScopedDebugCapture capture;
  FixedStringBuffer<256> longText((std::string(100, 'g') + "\r\n").c_str());
  ASSERT_TRUE(VintrelDlg::ExtractLineAt(longText, 0, line));
  EXPECT_EQ(line.length(), 63);
}

TEST_F(VintrelDlgTest, BuildRunsOnTheWorkerWithLiveProgressAndTheReportIsShownAndDeleted) {
  ObjectBuilder::SetBuildProcForTesting(SteppedBuild);
  auto dlg = ReadyDialog();
  ASSERT_TRUE(dlg->Controls().fGoEnabled);
  ASSERT_TRUE(dlg->OnGo());
  EXPECT_TRUE(dlg->Running());
  // Quit, Escape or the close box during a run: the dialog stays, and says why.
  EXPECT_FALSE(dlg->OnClose());
  EXPECT_EQ(dlg->Controls().fReport,
            "A build is running: Vintrel closes only once it has ended. Close it again when Status shows Idle "
            "or Failed.");
  EXPECT_FALSE(dlg->Controls().fGoEnabled);
  EXPECT_FALSE(dlg->Controls().fFilesEnabled);
  EXPECT_EQ(dlg->Controls().fState, "Working...");
  // One build at a time.
  EXPECT_FALSE(dlg->OnGo());
  EXPECT_EQ(dlg->RunCount(), 1);

  WaitFor(gStep, 1);
  ASSERT_EQ(gStep.load(), 1);
  EXPECT_EQ(gSeenSync, "generating sprite 1\r\nrendering view 1\r\ncompressing frame 3\r\n");
  dlg->OnTimer();
  EXPECT_EQ(dlg->Controls().fState, "Working /");
  EXPECT_EQ(dlg->Controls().fProgress1, "generating sprite 1");
  EXPECT_EQ(dlg->Controls().fProgress2, "compressing frame 3");
  // No new text: the lines stay, the spinner moves on.
  dlg->OnTimer();
  EXPECT_EQ(dlg->Controls().fState, "Working -");
  EXPECT_EQ(dlg->Controls().fProgress2, "compressing frame 3");

  gRelease = true;
  WaitFor(gStep, 2);
  FinishRun(*dlg);
  EXPECT_TRUE(dlg->OnClose());
  EXPECT_FALSE(dlg->HasBuilder());
  EXPECT_EQ(dlg->Controls().fState, "Idle");  // a build that ended without an error
  EXPECT_TRUE(dlg->Controls().fGoEnabled);
  EXPECT_TRUE(dlg->Controls().fFilesEnabled);
  EXPECT_EQ(dlg->Controls().fProgress1, "");
  const std::string& report = dlg->Controls().fReport;
  EXPECT_EQ(report.rfind("Run #1 -- starting at ", 0), 0u);
  // The paths as the user named the folders, with the names as the disk holds them.
  EXPECT_NE(report.find("***\nArguments:\nObject file = " + objects + "chair\nOMK File=" + sprites +
                        "Chair.omk\nTGA directory=" + sprites + "\n***\n"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("compressing frame 3\nrendering view 2\n"), std::string::npos);
  EXPECT_NE(report.find("Run #1 -- ending at "), std::string::npos);
  EXPECT_EQ(dlg->Controls().fReportCaret, int32_t(report.size()));
  EXPECT_FALSE(PlatformPathExists(dlg->ReportPath().c_str()));

  // A second run counts on; the last lines of the first are not shown in it.
  ObjectBuilder::SetBuildProcForTesting(QuietBuild);
  ASSERT_TRUE(dlg->OnGo());
  FinishRun(*dlg);
  EXPECT_NE(dlg->Controls().fReport.find("Run #2 -- ending at "), std::string::npos);
  EXPECT_EQ(dlg->Controls().fProgress2, "");
}

// A temporary folder named with '\' separators: the report is written, shown, read back
// and deleted as one file, and no file with a '\' in its name is left beside it.
TEST_F(VintrelDlgTest, ReportFileUnderABackslashTempFolderIsOneFileFromStartToEnd) {
  tmp.MakeFolder("temp/sub");
  std::string bare = temp.substr(0, temp.size() - 1);  // no final '/'
  for (const std::string& value : {bare + "\\", bare + "\\sub\\", bare + "/sub\\"}) {
    ObjectBuilder::SetBuildProcForTesting(SteppedBuild);
    gRelease = true;
    auto dlg = ReadyDialog({{"TEMP", value}});
    std::string path = dlg->ReportPath().c_str();
    EXPECT_EQ(path.find('\\'), std::string::npos) << value;
    // The start-up text names the file that the test write made.
    EXPECT_NE(dlg->Controls().fReport.find("Using temporary file " + path + "\r\n"), std::string::npos) << value;
    struct stat info;
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;

    ASSERT_TRUE(dlg->OnGo());
    FinishRun(*dlg);
    const std::string& report = dlg->Controls().fReport;
    EXPECT_EQ(report.rfind("Run #1 -- starting at ", 0), 0u) << value << ": " << report;
    EXPECT_NE(report.find("rendering view 2\nRun #1 -- ending at "), std::string::npos) << value;
    EXPECT_NE(::stat(path.c_str(), &info), 0) << path << " was not deleted";
  }
  for (const std::string& folder : {tmp.Path(), temp, temp + "sub/"}) {
    PlatformFind find;
    for (bool ok = find.First((folder + "*").c_str()); ok; ok = find.Next())
      EXPECT_EQ(find.Entry().name.find('\\'), std::string::npos) << folder << find.Entry().name;
  }
}

TEST_F(VintrelDlgTest, FailingBuildsEndFailedWithTheirFatalErrorInTheReport) {
  struct Case {
    ObjectBuilder::BuildProc proc;
    std::string fatal;
  };
  ScopedDebugCapture capture;
  for (const Case& c : {Case{FailingBuild, "fatal error: abc\n\n"},
                        Case{AssertingBuild, "fatal error: XASSERT failure in file "}}) {
    ObjectBuilder::SetBuildProcForTesting(c.proc);
    auto dlg = ReadyDialog();
    ASSERT_TRUE(dlg->OnGo());
    FinishRun(*dlg);
    EXPECT_NE(dlg->Controls().fReport.find(c.fatal), std::string::npos) << dlg->Controls().fReport;
    EXPECT_EQ(dlg->Controls().fReport.find("after the assertion"), std::string::npos);
    EXPECT_EQ(dlg->Controls().fState, "Failed");
    EXPECT_TRUE(dlg->Controls().fGoEnabled);
    EXPECT_FALSE(dlg->HasBuilder());
  }
  // The assertion on the worker became the build's error, not a debug report.
  EXPECT_FALSE(capture.Saw("boom"));
  // On the dialog thread the same kind of assertion is reported.
  XASSERT(1 == 2, "on the dialog thread");
  EXPECT_TRUE(capture.Saw("on the dialog thread"));
}

TEST_F(VintrelDlgTest, RunsStillStartAndEndWhenTheReportFileCannotBeMade) {
  ObjectBuilder::SetBuildProcForTesting(FailingBuild);
  ScopedDebugCapture capture;
  auto dlg = ReadyDialog({{"TEMP", tmp / "no/such/"}});
  for (int run = 1; run <= 2; ++run) {
    ASSERT_TRUE(dlg->OnGo());
    FinishRun(*dlg);
    EXPECT_FALSE(dlg->HasBuilder());
    EXPECT_EQ(dlg->Controls().fReport, "");
    EXPECT_EQ(dlg->Controls().fState, "Failed");
  }
  EXPECT_EQ(dlg->RunCount(), 2);
  EXPECT_EQ(capture.Count("no error file"), 2);
}

TEST_F(VintrelDlgTest, TheRealBuilderRunsOnTheWorkerAndTheRunCloses) {
  auto dlg = ReadyDialog();
  ASSERT_TRUE(dlg->OnGo());
  FinishRun(*dlg);
  EXPECT_NE(dlg->Controls().fReport.find("Run #1 -- ending at "), std::string::npos);
  EXPECT_FALSE(dlg->HasBuilder());
  EXPECT_EQ(gCurrentBuilder, nullptr);
}

TEST_F(VintrelDlgTest, GoNeedsAFileAndAnObjectSelection) {
  auto dlg = ReadyDialog();
  dlg->Controls().fObjectSelection = -1;
  EXPECT_FALSE(dlg->OnGo());
  dlg->Controls().fObjectSelection = 0;
  dlg->Controls().fFileSelection = 3;
  EXPECT_FALSE(dlg->OnGo());
  EXPECT_EQ(dlg->RunCount(), 0);
  EXPECT_FALSE(dlg->TimerOn());
}

// The whole road: the dialog lists the object, and Go builds its sprite and draw group from
// the make file of the same name into the object's sprite file.
TEST_F(VintrelDlgTest, GoBuildsTheChosenObjectsSpritesAndDrawGroupsIntoItsSpriteFile) {
  const int width = 4 * (16 + 8 + 4), height = 16;
  std::vector<TestRGB> palette(256);
  for (int i = 0; i < 256; ++i) palette[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)};
  TestImage8 bmp;
  bmp.width = width;
  bmp.height = height;
  bmp.pixels.assign(size_t(width) * height, 0);
  std::vector<TestRGBA> tga(size_t(width) * height, TestRGBA{0, 255, 0, 255});
  for (int y = 2; y < 12; ++y)
    for (int x = 0; x < width; ++x)
      if (x % 16 > 1 && x % 16 < 6) {
        bmp.pixels[size_t(y) * width + x] = 9;
        tga[size_t(y) * width + x] = {palette[9].r, palette[9].g, palette[9].b, 100};
      }
  tmp.WriteFile("content/Sprites/art/chair.tga", WriteTGA(width, height, tga));
  tmp.WriteFile("content/Sprites/art/chair.bmp", WriteBMP8(bmp));
  WriteObjectFile(objects + "chair", {{128, "Chair", 0, 0, 200, 1, 0, 77, 5}});
  tmp.WriteFile("content/Sprites/art/Chair.omk",
                "<sizes lwidth=16 lheight=16 mwidth=8 mheight=8 swidth=4 sheight=4>\n"
                "<sprite id=100 name=seat tgafile=chair.tga>\n"
                "<drawgroup id=200 name=seat>\n<item sprite id=100>\n"
                "<drawgroup id=201 name=unwanted>\n<item sprite id=100>\n");

  VintrelDlg dlg(TestHost({{"TEMP", temp}, {"SCENDIR", gameData}, {"SPRITEDIR", sprites}}, home));
  dlg.OnInitDialog();
  dlg.Controls().fFileSelection = 0;
  dlg.OnFileSelected();
  ASSERT_EQ(dlg.Controls().fGoCaption, "Build Chair");
  ASSERT_TRUE(dlg.OnGo());
  FinishRun(dlg);
  const std::string& report = dlg.Controls().fReport;
  EXPECT_EQ(report.find("fatal error"), std::string::npos) << report;
  EXPECT_NE(report.find("Rendering file chair.tga"), std::string::npos) << report;
  EXPECT_EQ(dlg.Controls().fState, "Idle");

  IFFResFile2 spritesFile;
  ASSERT_EQ(spritesFile.Open(FixedStringBuffer<260>((objects + "chair.spf").c_str())), noErr);
  EXPECT_GT(spritesFile.Count(MakeResType('S', 'P', 'R', '#')) + spritesFile.Count(MakeResType('S', 'P', 'R', '2')), 0);
  EXPECT_NE(spritesFile.GetResource(MakeResType('D', 'G', 'R', 'P'), 200), nullptr) << report;
  EXPECT_EQ(spritesFile.GetResource(MakeResType('D', 'G', 'R', 'P'), 201), nullptr);
}

// A run whose object has no object-make file, or whose object-make file lacks one of the
// object's draw groups, fails: the report says what was not found where, and Status says
// "Failed" instead of "Idle".
TEST_F(VintrelDlgTest, MissingMakeFileOrDrawGroupFailsTheRunAndSaysWhichWasNotFound) {
  struct Case {
    const char* what;
    bool contentFolder;     // SPRITEDIR set
    const char* makeFile;   // written under Sprites/ (null: none)
    const char* markup;
    bool workerStarts;
    std::string said;       // "@S@" stands for the sprites folder
    std::string notSaid;
  };
  const Case cases[] = {
      {"make file of another name", true, "Other.omk", "<objects/>", false,
       "fatal error: object-make file chair.omk not found under @S@ (it is found by the object file's name, in any "
       "folder there)\n\nRun #1 -- ending at ",
       ""},
      {"no content folder", false, nullptr, "", false,
       "fatal error: no object-make file for chair: no content folder is set (set SPRITEDIR to its Sprites "
       "folder, or use Open PevContent...)\n\nRun #1 -- ending at ",
       ""},
      {"draw group 201 not defined", true, "deep/Chair.omk", "<drawgroup id=200 name=seat>\n", true,
       "error: draw group 201 is not in @S@deep/Chair.omk: it was not built\nRun #1 -- ending at ",
       "draw group 200 is not"},
  };
  for (const Case& c : cases) {
    TestTempFolder own;
    std::string game = own.MakeFolder("game"), objectsFolder = own.MakeFolder("game/Objects");
    std::string spritesFolder = own.MakeFolder("content/Sprites");
    WriteObjectFile(objectsFolder + "chair", {{128, "Chair", 0, 0, 200, 2, 0, 77, 5}});
    if (c.makeFile) own.WriteFile(std::string("content/Sprites/") + c.makeFile, c.markup);
    Env env = {{"TEMP", temp}, {"SCENDIR", game}};
    if (c.contentFolder) env["SPRITEDIR"] = spritesFolder;
    VintrelDlg dlg(TestHost(env, home));
    dlg.OnInitDialog();
    dlg.Controls().fFileSelection = 0;
    dlg.OnFileSelected();
    ASSERT_TRUE(dlg.Controls().fGoEnabled) << c.what;
    EXPECT_EQ(dlg.OnGo(), c.workerStarts) << c.what;
    FinishRun(dlg);
    const std::string& report = dlg.Controls().fReport;
    std::string expected = c.said;
    size_t mark = expected.find("@S@");
    if (mark != std::string::npos) expected.replace(mark, 3, spritesFolder);
    EXPECT_NE(report.find(expected), std::string::npos) << c.what << "\n" << expected << "\n" << report;
    if (!c.notSaid.empty()) {
      EXPECT_EQ(report.find(c.notSaid), std::string::npos) << c.what;
    }
    EXPECT_EQ(dlg.Controls().fState, "Failed") << c.what;
    EXPECT_TRUE(dlg.Controls().fGoEnabled) << c.what;
    EXPECT_TRUE(dlg.Controls().fFilesEnabled) << c.what;
    EXPECT_FALSE(dlg.HasBuilder()) << c.what;
    EXPECT_FALSE(dlg.Running()) << c.what;
    EXPECT_FALSE(PlatformPathExists(dlg.ReportPath().c_str())) << c.what;
  }
}

// A damaged object file ends the build with a message that names it, without the assertion's
// text or the source files of the program.
TEST_F(VintrelDlgTest, DamagedObjectFileIsNamedWithoutAssertionText) {
  struct Case {
    const char* what;
    const char* part;  // the damaged part of the object file set
  };
  for (const Case& c : {Case{"definitions' saved map", ".iff"}, Case{"sprites' saved map", ".spf"}}) {
    TestTempFolder own;
    std::string game = own.MakeFolder("game"), objectsFolder = own.MakeFolder("game/Objects");
    std::string spritesFolder = own.MakeFolder("content/Sprites");
    WriteObjectFile(objectsFolder + "chair", {{128, "Chair", 0, 0, 200, 2, 0, 77, 5}});
    own.WriteFile("content/Sprites/Chair.omk", "<drawgroup id=200 name=a>\n<drawgroup id=201 name=b>\n");
    VintrelDlg dlg(TestHost({{"TEMP", temp}, {"SCENDIR", game}, {"SPRITEDIR", spritesFolder}}, home));
    dlg.OnInitDialog();
    dlg.Controls().fFileSelection = 0;
    dlg.OnFileSelected();
    ASSERT_TRUE(dlg.Controls().fGoEnabled);

    std::string path = objectsFolder + "chair" + c.part;
    std::string bytes = TestTempFolder::ReadFile(path);
    size_t map = bytes.find("rsmp");
    if (map == std::string::npos) {
      // A file without a saved map gets one, with bytes that are no map, named in its header.
      ASSERT_EQ(bytes.size(), 64u);
      map = bytes.size();
      bytes += "rsmp" + std::string(4, '\0');
      bytes[map + 7] = char(76 + 40);
      bytes += std::string(76 - 8, '\0');
      bytes[60] = 0, bytes[61] = 0, bytes[62] = 0, bytes[63] = char(map);
      bytes += std::string(40, '\0');
    }
    for (size_t i = map + 76; i < bytes.size(); ++i) bytes[i] = char(0xEE);
    own.WriteFile(path.substr(own.Path().size()), bytes);

    ScopedDebugCapture capture;
    dlg.OnGo();
    FinishRun(dlg);
    const std::string& report = dlg.Controls().fReport;
    EXPECT_NE(report.find("fatal error: object file "), std::string::npos) << c.what << "\n" << report;
    EXPECT_NE(report.find(path), std::string::npos) << c.what << "\n" << report;
    EXPECT_NE(report.find(" is damaged and cannot be read\n"), std::string::npos) << c.what << "\n" << report;
    EXPECT_EQ(report.find("XASSERT"), std::string::npos) << c.what;
    EXPECT_EQ(report.find(".cpp"), std::string::npos) << c.what;
    EXPECT_EQ(dlg.Controls().fState, "Failed") << c.what;
  }
}

int RunCommand(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The code block of the README's dialog section that holds `marker`.
std::string ReadmeBlock(const std::string& marker) {
  std::string readme = TestTempFolder::ReadFile(SOURCE_DIR "/README.md");
  size_t section = readme.find("\n## Building an object in the dialog\n");
  if (section == std::string::npos) return "";
  size_t end = readme.find("\n## ", section + 1);
  for (size_t open = readme.find("```\n", section); open < end; open = readme.find("```\n", open)) {
    size_t close = readme.find("```\n", open + 4);
    if (close == std::string::npos || close > end) break;
    std::string block = readme.substr(open + 4, close - open - 4);
    if (block.find(marker) != std::string::npos) return block;
    open = close + 4;
  }
  return "";
}

// The README's road from nothing to a built object in the dialog, followed as written: its
// commands make the object file, the art and the object-make file, and the dialog model lists
// the object and builds it.
TEST_F(VintrelDlgTest, TheReadmesFirstObjectIsListedAndBuiltInTheDialog) {
  if (RunCommand("python3 -c '' >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 is not installed";
  std::string commands = ReadmeBlock("examples/newobject.py");
  ASSERT_FALSE(commands.empty());
  std::string start = ReadmeBlock("build/bin/vintrel");
  ASSERT_NE(start.find("SCENDIR=\"$PWD/mygame\" SPRITEDIR=\"$PWD/mycontent/Sprites\" "), std::string::npos) << start;

  TestTempFolder dir;
  ASSERT_EQ(::symlink(SOURCE_DIR "/examples", (dir / "examples").c_str()), 0);
  dir.WriteFile("commands.sh", "set -e\n" + commands);
  ASSERT_EQ(RunCommand("cd '" + dir.Path() + "' && bash commands.sh >log.txt 2>&1"), 0)
      << TestTempFolder::ReadFile(dir / "log.txt");
  // The object file is not made a second time over the first.
  EXPECT_EQ(RunCommand("cd '" + dir.Path() + "' && python3 examples/newobject.py mygame/Objects/first Other 1 1 2>/dev/null"), 1);

  VintrelDlg dlg(TestHost({{"TEMP", temp}, {"SCENDIR", dir / "mygame"}, {"SPRITEDIR", dir / "mycontent/Sprites"}}, home));
  dlg.OnInitDialog();
  ASSERT_EQ(dlg.Controls().fFiles, (std::vector<std::string>{"first"})) << dlg.Controls().fReport;
  dlg.Controls().fFileSelection = 0;
  dlg.OnFileSelected();
  ASSERT_EQ(dlg.Controls().fObjects, (std::vector<std::string>{"First"}));
  EXPECT_NE(dlg.Controls().fIds.find("dg 100\r\ndg 101\r\n"), std::string::npos) << dlg.Controls().fIds;
  EXPECT_EQ(dlg.Controls().fGoCaption, "Build First");
  ASSERT_TRUE(dlg.OnGo());
  FinishRun(dlg);
  const std::string& report = dlg.Controls().fReport;
  EXPECT_EQ(dlg.Controls().fState, "Idle") << report;
  EXPECT_EQ(report.find("error"), std::string::npos) << report;

  IFFResFile2 sprites;
  ASSERT_EQ(sprites.Open(FixedStringBuffer<260>((dir / "mygame/Objects/first.spf").c_str())), noErr);
  for (uint16_t id : {200, 201}) EXPECT_NE(sprites.GetResource(MakeResType('S', 'P', 'R', '2'), id), nullptr) << id;
  EXPECT_NE(sprites.GetResource(MakeResType('P', 'A', 'L', 'T'), 1), nullptr);
  for (uint16_t id : {100, 101}) EXPECT_NE(sprites.GetResource(MakeResType('D', 'G', 'R', 'P'), id), nullptr) << id;
}

}  // namespace
