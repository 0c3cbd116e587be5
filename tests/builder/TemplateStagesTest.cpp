// The template and family-history stages, through the real morvik program.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "FamilyHistory.h"
#include "IFFResFile2.h"
#include "MHandle.h"
#include "ObjDefinition.h"
#include "PlatformFile.h"
#include "Recon.h"
#include "SpecTestSupport.h"
#include "TestTempFolder.h"

namespace {

std::string ReportHeader() {
  std::string line;
  for (const char* c : kFamilyHistoryColumns) line += std::string(c) + "\t";
  return line + "\n";
}

// Makes an IFF 2.x object file holding `history` as 'FAMh' `id` (none when id is 0) and,
// when given, raw bytes as 'FAMh' 1.
std::string MakeHistoryFile(const TestTempFolder& folder, const std::string& name,
                            FamilyHistory* history, uint16_t id,
                            const std::string* rawFirst = nullptr) {
  const std::string path = folder / name;
  FixedStringBuffer<260> p(path.c_str());
  IFFResFile2 file;
  EXPECT_EQ(file.Create(p), 0);
  EXPECT_EQ(file.Open(p), 0);
  if (history != nullptr) {
    SimpleReconObject<FamilyHistory> object(history, kFamilyHistoryType);
    EXPECT_EQ(ReconSaveResource(object, FamilyHistory::kVersion, &file, id), 0);
  }
  if (rawFirst != nullptr) {
    MHandle* h = HAlloc(uint32_t(rawFirst->size()));
    BlockMove(rawFirst->data(), HLock(h), int32_t(rawFirst->size()));
    HUnlock(h);
    file.AddResource(h, kFamilyHistoryType, 1, FixedStringBuffer<64>(""), true);
    file.WriteResource(h);
    EXPECT_EQ(file.GetError(), 0);
  }
  EXPECT_EQ(file.Close(), 0);
  return path;
}

}  // namespace

TEST(FamilyHistoryStage, WritesTheReportOfTheFirstHistoryFromAReadOnlyFile) {
  TestTempFolder folder;
  FamilyHistory history;
  FamilyHistoryRecord record;
  record.fLot = -1;
  record.fFunds = 123456;
  history.Add(record);
  // The only history has id 5: the stage takes the first by index.
  const std::string dest = MakeHistoryFile(folder, "lot.iff", &history, 5);
  ASSERT_EQ(chmod(dest.c_str(), 0444), 0);

  const std::string report = folder / "report.txt";
  MorvikResult r = RunMorvik(folder, {dest, "-famhist", report});
  EXPECT_EQ(r.code, 0) << r.log;
  std::string expected = ReportHeader() + "-1\t";
  for (int32_t i = 1; i < 30; i++) expected += i == 24 ? "123456\t" : "0\t";
  EXPECT_EQ(TestTempFolder::ReadFile(report), expected + "\n");
}

TEST(FamilyHistoryStage, Failures) {
  TestTempFolder folder;
  FamilyHistory history;
  const std::string none = MakeHistoryFile(folder, "none.iff", nullptr, 0);
  const std::string corruptBytes = std::string(12, '\0') + "\x01";  // a header of type 0
  const std::string corrupt = MakeHistoryFile(folder, "corrupt.iff", nullptr, 0, &corruptBytes);
  const std::string good = MakeHistoryFile(folder, "good.iff", &history, 1);
  struct Case {
    std::string dest;
    std::string report;
    std::string fatal;
  };
  const Case cases[] = {
      {none, folder / "a.txt", "history resource not found"},
      {corrupt, folder / "b.txt", "could not read history resource"},
      {good, folder / "missing folder/c.txt", "could not write history report"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dest);
    MorvikResult r = RunMorvik(folder, {c.dest, "-famhist", c.report});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.log.find("fatal error: " + c.fatal + "\n"), std::string::npos) << r.log;
    EXPECT_EQ(TestTempFolder::ReadFile(c.report), "");
  }
}

TEST(TemplateStage, MakesTheDestinationFromTheTemplateBeforeItOpens) {
  struct Case {
    std::vector<std::string> options;
    const char* name;
  };
  const Case cases[] = {
      {{}, "new"},
      {{"-prefix", "Big"}, "BigChair"},
      {{"-retain"}, "Chair"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestTempFolder folder;
    // The template: a definition and a family history, which the report then reads from
    // the new object.
    FamilyHistory history;
    FamilyHistoryRecord record;
    record.fLot = 42;
    history.Add(record);
    const std::string templatePath = MakeHistoryFile(folder, "tmpl.iff", &history, 1);
    {
      IFFResFile2 file;
      ASSERT_EQ(file.Open(FixedStringBuffer<260>(templatePath.c_str())), 0);
      ObjDefinition d;
      d.SetLong(kObjDefVersion, ObjDefinition::kCurrentVersion);
      d.SetGUID(0x12345678);
      MHandle* h = HAlloc(ObjDefinition::kByteSize);
      ASSERT_TRUE(d.WriteToHandle(h));
      file.AddResource(h, kObjDefinitionType, 128, FixedStringBuffer<64>("Chair"), true);
      ASSERT_EQ(file.Close(), 0);
    }
    const std::string dest = folder / "new";
    std::vector<std::string> args = {dest, "-tmpl", templatePath, "-famhist", folder / "r.txt"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    MorvikResult r = RunMorvik(folder, args);
    ASSERT_EQ(r.code, 0) << r.log;
    EXPECT_TRUE(PlatformPathExists((dest + ".spf").c_str()));
    EXPECT_EQ(TestTempFolder::ReadFile(folder / "r.txt").substr(ReportHeader().size(), 3), "42\t");

    IFFResFile2 made;
    ASSERT_EQ(made.Open(FixedStringBuffer<260>((dest + ".iff").c_str())), 0);
    MHandle* h = made.GetResource(kObjDefinitionType, 128);
    ASSERT_NE(h, nullptr);
    FixedStringBuffer<64> name;
    made.GetResName(h, name);
    EXPECT_STREQ(name.c_str(), c.name);
    ObjDefinition d;
    ASSERT_TRUE(d.ReadFromHandle(h));
    EXPECT_EQ(d.GetLong(kObjDefTemplateGUID), 0x12345678u);
    EXPECT_NE(d.GetGUID(), 0x12345678u);
  }
}

TEST(TemplateStage, FailureEndsTheBuild) {
  TestTempFolder folder;
  const std::string templatePath = MakeHistoryFile(folder, "tmpl.iff", nullptr, 0);
  const std::string taken = MakeHistoryFile(folder, "taken.iff", nullptr, 0);
  const std::string takenBytes = TestTempFolder::ReadFile(taken);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{taken, "-tmpl", templatePath},
        std::vector<std::string>{folder / "fresh", "-tmpl", folder / "missing.iff"}}) {
    MorvikResult r = RunMorvik(folder, args);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.log.find("fatal error: could not make new object\n"), std::string::npos) << r.log;
  }
  EXPECT_EQ(TestTempFolder::ReadFile(taken), takenBytes);
  EXPECT_FALSE(PlatformPathExists((folder / "fresh.iff").c_str()));
}
