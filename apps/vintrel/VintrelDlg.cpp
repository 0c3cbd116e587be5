#include "VintrelDlg.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "Compressor.h"
#include "DGRPSpec.h"
#include "ExtScanner.h"
#include "FilePaths.h"
#include "ObjDefinition.h"
#include "ObjResFile.h"
#include "ObjectBuilder.h"
#include "PlatformFile.h"
#include "SpecSet.h"
#include "TileStages.h"
#include "XAssert.h"
#include "flatfile.h"
#include "resfile.h"

namespace {

constexpr const char* kReportFileName = "VintrelReport.txt";
constexpr const char* kTimeFormat = "%H:%M:%S, %A, %B %d, %Y";
constexpr int32_t kMaxTickText = 1023;
constexpr size_t kMaxSavedName = 259;

// The builder's running flag is written by the worker and read by the timer; both go
// through atomic accesses so that neither sees a torn or stale value.
void SetBuilderRunning(ObjectBuilder* builder, uint8_t value) {
  std::atomic_ref<uint8_t>(builder->fRunning).store(value);
}
uint8_t BuilderRunning(ObjectBuilder* builder) { return std::atomic_ref<uint8_t>(builder->fRunning).load(); }

bool EndsWithSeparator(const StringBuffer& path) {
  int32_t n = path.length();
  return n > 0 && (path[n - 1] == '/' || path[n - 1] == '\\');
}

// `folder` with a separator ensured; an empty folder stays empty.
void SetFolder(StringBuffer& out, const StringBuffer& folder) {
  out.assign(folder);
  if (out.length() > 0 && !EndsWithSeparator(out)) out.append('/');
}

// Sets `top` to `folder` with a separator ensured and `sub` to top + `subName` (both empty for
// an empty folder), and fills `list` with the files of that extension found under `sub`.
void ScanFolder(const StringBuffer& folder, const char* subName, const char* extension, bool onlyWritable,
                StringBuffer& top, StringBuffer& sub, std::vector<PathString>& list) {
  PathString copy(folder);  // the folder may be `top` itself
  SetFolder(top, copy);
  sub.clear();
  if (top.length() > 0) {
    sub.assign(top);
    sub.append(subName);
  }
  list.clear();
  if (sub.length() > 0) {
    ExtScanner scanner(&list, extension, onlyWritable);
    scanner.Scan(sub);
  }
}

// Creates (or empties) the report file for writing, by the same path rules as the file
// library that reads it back and deletes it.
FILE* OpenReportFile(const StringBuffer& path) {
  return PlatformFileOpenStream(path.c_str(), PlatformOpenMode::kCreateAlways);
}

void LocalTimeText(char* text, size_t size) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  if (std::strftime(text, size, kTimeFormat, &local) == 0) text[0] = 0;
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == 0) {
    const passwd* entry = getpwuid(getuid());
    home = entry && entry->pw_dir && entry->pw_dir[0] ? entry->pw_dir : "/";
  }
  std::string folder(home);
  if (folder.back() != '/') folder.push_back('/');
  return folder;
}

// A path that the folder walk reported under `folder` (it reports lower-case names with '\\'
// separators), as the user named `folder` and with each name below it as the disk holds it.
// `extension` is added for the look-up on the disk and left off the answer again (an object
// file is listed by its path without extension).
std::string AsGiven(const StringBuffer& walked, const StringBuffer& folder, const std::string& extension = "") {
  std::string resolved = PlatformResolvePath((std::string(walked.c_str()) + extension).c_str());
  if (resolved.size() >= extension.size()) resolved.resize(resolved.size() - extension.size());
  std::string top = PlatformResolvePath(folder.c_str());
  if (!top.empty() && top.back() != '/') top += '/';
  std::string given = folder.c_str();
  if (!given.empty() && given.back() != '/' && given.back() != '\\') given += '/';
  if (top.empty() || resolved.compare(0, top.size(), top) != 0) return resolved;
  return given + resolved.substr(top.size());
}

// A folder name as the saved-directories file holds it: as it is, or in double quotes (each
// '"' doubled) when it holds white space or starts with '"'.
std::string SavedName(const char* name) {
  std::string text(name);
  bool quote = !text.empty() && text[0] == '"';
  for (char c : text)
    if (std::isspace(static_cast<unsigned char>(c))) quote = true;
  if (!quote) return text;
  std::string out = "\"";
  for (char c : text) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

// Reads the next name of the saved-directories file from `at`: white space is skipped, and a
// name in double quotes runs to its closing quote. False when there is none, or its closing
// quote is missing.
bool ReadSavedName(const std::string& text, size_t& at, std::string& name) {
  name.clear();
  while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
  if (at >= text.size()) return false;
  if (text[at] != '"') {
    while (at < text.size() && !std::isspace(static_cast<unsigned char>(text[at]))) name += text[at++];
    return true;
  }
  for (++at; at < text.size(); ++at) {
    if (text[at] != '"') {
      name += text[at];
    } else if (at + 1 < text.size() && text[at + 1] == '"') {
      name += '"';
      ++at;
    } else {
      ++at;
      return true;
    }
  }
  return false;
}

// Text of the last occurrence of `word`, found by repeated searches from the previous hit.
int32_t FindLast(const StringBuffer& text, const char* word) {
  int32_t last = -1;
  for (int32_t at = text.find_nocase(word, 0); at >= 0; at = text.find_nocase(word, at + 1)) last = at;
  return last;
}

// A loaded definition of the object file, normalised; false when the handle is unusable.
bool ReadDefinition(MHandle* handle, ObjDefinition& definition) {
  if (handle == nullptr) return false;
  NormalizeObjDefinition(handle);
  return definition.ReadFromHandle(handle);
}

int16_t Word(const ObjDefinition& definition, int32_t index) { return static_cast<int16_t>(definition.fWords[index]); }

bool IsSingleTile(const ObjDefinition& definition) { return Word(definition, kObjDefMasterId) == 0; }
bool IsMaster(const ObjDefinition& definition) {
  return Word(definition, kObjDefMasterId) != 0 && Word(definition, kObjDefSubIndex) == -1;
}

// The draw-group range and the wall style of one definition, when it has draw groups.
void GatherIds(const ObjDefinition& definition, std::vector<int16_t>& drawGroups, std::vector<int16_t>& wallStyles) {
  int32_t first = Word(definition, kObjDefFirstDrawGroup);
  if (first == 0) return;
  int32_t count = Word(definition, kObjDefDrawGroupCount);
  for (int32_t id = first; id < first + count; ++id) drawGroups.push_back(static_cast<int16_t>(id));
  int16_t wallStyle = Word(definition, kObjDefWallStyleId);
  if (wallStyle != 0) wallStyles.push_back(wallStyle);
}

}  // namespace

// The original kept its saved-directories file at "C:/Vintrel.dirs" and fell back to "C:/"
// for its report when no temporary folder was named. On this host "C:/" stands for the
// user's home folder: $HOME as the system gives it, else the home folder of the user's
// account entry, else "/". The file name itself is kept.
VintrelHost VintrelHost::Default() {
  VintrelHost host;
  host.fGetEnv = [](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value ? value : "");
  };
  host.fDriveRoot = HomeFolder();
  host.fSystemTemp = "/tmp/";
  host.fOpenObjectFile = OpenObjectFileSet;
  return host;
}

std::string SavedDirsPath(const std::string& driveRoot) {
  std::string path = driveRoot;
  if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
  return path + "Vintrel.dirs";
}

std::unique_ptr<iResFile> OpenObjectFileSet(const StringBuffer& basePath) {
  std::unique_ptr<iResFile> file(new ObjResFile);
  file->Open(basePath);
  return file;
}

VintrelDlg::VintrelDlg(VintrelHost host) : fHost(std::move(host)) {
  if (!fHost.fGetEnv) fHost.fGetEnv = [](const char*) { return std::string(); };
  if (!fHost.fOpenObjectFile) fHost.fOpenObjectFile = OpenObjectFileSet;
  if (fHost.fSystemTemp.empty()) fHost.fSystemTemp = "/tmp/";
}

VintrelDlg::~VintrelDlg() {
  StopWorker();
  if (fErrFileStream) std::fclose(fErrFileStream);
  fErrFileStream = nullptr;
  delete fArgs;
  fArgs = nullptr;
  if (fMadeCompressor) {
    delete gCompressor;
    gCompressor = nullptr;
  }
  if (fInitialised) SetXAssertMode(fPreviousAssertMode);
}

void VintrelDlg::StopWorker() {
  if (fWorker.joinable()) fWorker.join();
}

void VintrelDlg::OnInitDialog() {
  std::string text;
  if (gCompressor == nullptr) {
    gCompressor = new Compressor;
    fMadeCompressor = true;
  }
  if (!fInitialised) fPreviousAssertMode = GetXAssertMode();
  fInitialised = true;
  SetXAssertMode(XAssertMode::kDialog);
  InstallBuilderAssertHook();
  // The wall-style tags of a -graphics build are made by the tile layer.
  InstallTileStages();

  // The report file in the temporary folder, tried once for writing: TEMP, TMP or TMPDIR,
  // else the system's own temporary folder.
  std::string temp = fHost.fGetEnv("TEMP");
  if (temp.empty()) temp = fHost.fGetEnv("TMP");
  if (temp.empty()) temp = fHost.fGetEnv("TMPDIR");
  if (temp.empty()) temp = fHost.fSystemTemp;
  // The path is kept as the host names it, so that the file written here and at each run
  // is the one read back, shown and deleted at the run's end (a '\\' in TEMP is a separator
  // for the file library as for the report's writer).
  FixedStringBuffer<260> reportPath(temp.c_str());
  if (!EndsWithSeparator(reportPath)) reportPath.append('/');
  reportPath.append(kReportFileName);
  fReportPath.assign(PlatformResolvePath(reportPath.c_str()).c_str());
  if (FILE* test = OpenReportFile(fReportPath)) {
    std::fclose(test);
    text += "Using temporary file ";
    text += fReportPath.c_str();
    text += "\r\n";
  } else {
    text += "Error writing to temporary file, the full report text will not be available.\r\n";
  }

  PathString gameData;
  PathString content;
  if (fContentFolder.length() == 0 && fGameDataFolder.length() == 0 && LoadSavedDirs(gameData, content)) {
    ScanObjectsFolder(gameData);
    ScanContentFolder(content);
    text += "Using saved directories\r\nData directory: ";
    text += fGameDataFolder.c_str();
    text += "\r\nContent directory: ";
    text += fContentFolder.c_str();
    text += "\r\n";
  }

  if (fContentFolder.length() == 0) {
    std::string spriteValue = fHost.fGetEnv("SPRITEDIR");
    FixedStringBuffer<260> spriteDir(spriteValue.c_str());
    // The last "sprites" in the value, so that a folder above whose name holds the word
    // (".../sprites-old/Sprites") does not hide the one at the end.
    int32_t at = FindLast(spriteDir, "sprites");
    int32_t rest = at >= 0 ? spriteDir.length() - (at + 7) : -1;
    if (spriteDir.length() > 0 && at > 0 &&
        (rest == 0 || (rest == 1 && (spriteDir[at + 7] == '/' || spriteDir[at + 7] == '\\')))) {
      FixedStringBuffer<260> folder;
      folder.append(spriteDir, at);
      ScanContentFolder(folder);
      text += "Using variable SPRITEDIR for content, ";
      text += fContentFolder.c_str();
      text += "\r\n";
    }
    if (fContentFolder.length() == 0 && spriteValue.empty()) {
      text += "No SPRITEDIR variable.\r\n";
    } else if (fContentFolder.length() == 0) {
      text += "SPRITEDIR " + spriteValue +
              " is not used: it must name the folder Sprites in the content folder, such as "
              "/data/content/Sprites\r\n";
    }
  }

  if (fGameDataFolder.length() == 0) {
    std::string scenDir = fHost.fGetEnv("SCENDIR");
    if (!scenDir.empty()) {
      ScanObjectsFolder(FixedStringBuffer<260>(scenDir.c_str()));
      text += "Using variable SCENDIR for game data, ";
      text += scenDir;
      text += "\r\n";
    }
    if (fGameDataFolder.length() == 0) text += "No SCENDIR variable.\r\n";
  }

  fControls.fState = "Idle";
  fControls.fGoEnabled = false;
  fControls.fReport = text;
  fControls.fReportCaret = 0;
  fControls.fIds.clear();
}

void VintrelDlg::ScanContentFolder(const StringBuffer& folder) {
  ScanFolder(folder, "Sprites/", ".omk", false, fContentFolder, fSpritesFolder, fMakeFiles);
  fControls.fSpritesFolder = fSpritesFolder.c_str();
}

void VintrelDlg::ScanObjectsFolder(const StringBuffer& folder) {
  ScanFolder(folder, "Objects/", ".spf", !fControls.fShowAll, fGameDataFolder, fObjectsFolder, fObjectFiles);
  fControls.fObjectsFolder = fObjectsFolder.c_str();
  if (fObjectFiles.size() > 1) {
    std::stable_sort(fObjectFiles.begin(), fObjectFiles.end(), [](const PathString& a, const PathString& b) {
      return a.compare_nocase(b) < 0;
    });
  }
  fControls.fFiles.clear();
  fControls.fFileSelection = -1;
  for (PathString& entry : fObjectFiles) {
    PathString folderPart;
    FixedStringBuffer<260> base;
    FixedStringBuffer<260> extension;
    SplitPath(entry, folderPart, base, extension);
    fControls.fFiles.push_back(base.c_str());
    entry.assign(folderPart);
    entry.append(base);
  }
  OnFileSelected();
}

void VintrelDlg::OnFileSelected() {
  fControls.fObjects.clear();
  fControls.fObjectSelection = -1;
  fObjectIds.clear();
  int32_t selection = fControls.fFileSelection;
  if (selection >= 0 && selection < static_cast<int32_t>(fObjectFiles.size())) {
    std::unique_ptr<iResFile> file = fHost.fOpenObjectFile(fObjectFiles[selection]);
    if (file && file->ValidFile()) {
      int16_t count = file->Count(kObjDefinitionType);
      for (int32_t k = 1; k <= count; ++k) {
        MHandle* handle = file->GetIndResource(kObjDefinitionType, static_cast<uint16_t>(k), SwizzleObjDefinition);
        if (handle == nullptr) continue;
        FixedStringBuffer<64> name;
        file->GetResName(handle, name);
        ObjDefinition definition;
        if (!ReadDefinition(handle, definition)) continue;
        if (IsSingleTile(definition) || IsMaster(definition)) {
          int16_t id = 0;
          file->GetResID(handle, id);
          fObjectIds.push_back(id);
          fControls.fObjects.push_back(name.c_str());
        }
      }
      file->Close();
    }
    fControls.fObjectSelection = fControls.fObjects.empty() ? -1 : 0;
  }
  OnObjectSelected();
}

void VintrelDlg::OnObjectSelected() {
  fDrawGroupIds.clear();
  fWallStyleIds.clear();
  fControls.fGoCaption.clear();
  fControls.fIds.clear();
  fControls.fGoEnabled = false;

  int32_t fileIndex = fControls.fFileSelection;
  int32_t objectIndex = fControls.fObjectSelection;
  if (fileIndex < 0 || fileIndex >= static_cast<int32_t>(fObjectFiles.size())) return;
  if (objectIndex < 0 || objectIndex >= static_cast<int32_t>(fObjectIds.size())) return;

  std::unique_ptr<iResFile> file = fHost.fOpenObjectFile(fObjectFiles[fileIndex]);
  if (!file || !file->ValidFile()) return;
  int16_t id = fObjectIds[objectIndex];
  MHandle* handle = file->GetResource(kObjDefinitionType, static_cast<uint16_t>(id), SwizzleObjDefinition);
  if (handle == nullptr) {
    file->Close();
    return;
  }
  FixedStringBuffer<64> name;
  file->GetResName(handle, name);
  fControls.fGoCaption = std::string("Build ") + name.c_str();
  ObjDefinition definition;
  bool readable = ReadDefinition(handle, definition);

  bool single = readable && IsSingleTile(definition);
  bool master = readable && IsMaster(definition);
  if (single) {
    GatherIds(definition, fDrawGroupIds, fWallStyleIds);
  } else if (master) {
    int16_t masterId = Word(definition, kObjDefMasterId);
    int16_t count = file->Count(kObjDefinitionType);
    for (int32_t k = 1; k <= count; ++k) {
      ObjDefinition part;
      MHandle* partHandle = file->GetIndResource(kObjDefinitionType, static_cast<uint16_t>(k), SwizzleObjDefinition);
      if (!ReadDefinition(partHandle, part)) continue;
      if (Word(part, kObjDefMasterId) == masterId) GatherIds(part, fDrawGroupIds, fWallStyleIds);
    }
  }
  file->Close();

  FixedStringBuffer<1024> text;
  text.append("res id : ");
  text.append(int32_t(id));
  text.append("\r\n");
  if (!single && !master) {
    text.append("error, not a master object");
  } else {
    text.append("guid : ");
    text.append(static_cast<int32_t>(definition.GetGUID()));
    text.append("\r\ncatalog id : ");
    text.append(int32_t(Word(definition, kObjDefCatalogId)));
  }
  text.append("\r\n");
  if (fDrawGroupIds.size() > 1) std::sort(fDrawGroupIds.begin(), fDrawGroupIds.end());
  for (int16_t drawGroup : fDrawGroupIds) {
    text.append("dg ");
    text.append(int32_t(drawGroup));
    text.append("\r\n");
  }
  for (int16_t wallStyle : fWallStyleIds) {
    text.append("ws ");
    text.append(int32_t(wallStyle));
    text.append("\r\n");
  }
  fControls.fIds = text.c_str();
  fControls.fGoEnabled = !fDrawGroupIds.empty();
}

void VintrelDlg::OnRescan() {
  PathString copy(fGameDataFolder);
  ScanObjectsFolder(copy);
}

void PickedFolder(const StringBuffer& picked, StringBuffer& folder) {
  if (PlatformIsFolder(picked.c_str())) {
    folder.assign(picked);
  } else {
    GetPathFolder(picked, folder);
  }
}

void VintrelDlg::OnContentPicked(const StringBuffer& picked) {
  PathString folder;
  PickedFolder(picked, folder);
  ScanContentFolder(folder);
}

void VintrelDlg::OnGameDataPicked(const StringBuffer& picked) {
  PathString folder;
  PickedFolder(picked, folder);
  ScanObjectsFolder(folder);
}

std::string VintrelDlg::RememberTip() const {
  return "Saves the game-data and content folders in " + SavedDirsFile() + " for the next start";
}

bool VintrelDlg::OnClose() {
  if (!fRunning) return true;
  fControls.fReport =
      "A build is running: Vintrel closes only once it has ended. Close it again when Status shows "
      "Idle or Failed.";
  fControls.fReportCaret = 0;
  return false;
}

void VintrelDlg::OnRemember() {
  if (!SaveDirs()) {
    fControls.fReport = "There was an error saving the directories";
    fControls.fReportCaret = 0;
  }
}

void VintrelDlg::FindMakeFileFor(const StringBuffer& objectPath, StringBuffer& makeFile) const {
  PathString folder;
  FixedStringBuffer<260> base;
  FixedStringBuffer<260> extension;
  SplitPath(objectPath, folder, base, extension);
  for (const PathString& entry : fMakeFiles) {
    PathString entryFolder;
    FixedStringBuffer<260> entryBase;
    FixedStringBuffer<260> entryExtension;
    SplitPath(entry, entryFolder, entryBase, entryExtension);
    if (entryBase.compare_nocase(base) == 0) {
      makeFile.assign(entryFolder);
      makeFile.append(entryBase);
      makeFile.append(entryExtension);
      return;
    }
  }
}

bool VintrelDlg::SaveDirs() const {
  PlatformFile* file = PlatformFileOpen(SavedDirsFile().c_str(), PlatformOpenMode::kCreateAlways);
  if (file == nullptr) return false;
  bool written = PlatformFilePrintf(file, "%s\n%s\n", SavedName(fGameDataFolder.c_str()).c_str(),
                                    SavedName(fContentFolder.c_str()).c_str());
  PlatformFileClose(file);
  return written;
}

bool VintrelDlg::LoadSavedDirs(StringBuffer& gameData, StringBuffer& content) const {
  FILE* file = PlatformFileOpenStream(SavedDirsFile().c_str(), PlatformOpenMode::kReadExisting);
  if (file == nullptr) return false;
  std::string text;
  char chunk[1024];
  for (size_t got; text.size() < 64 * 1024 && (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
    text.append(chunk, got);
  std::fclose(file);
  size_t at = 0;
  std::string first;
  std::string second;
  if (!ReadSavedName(text, at, first) || !ReadSavedName(text, at, second)) return false;
  if (first.empty() || second.empty() || first.size() > kMaxSavedName || second.size() > kMaxSavedName) return false;
  gameData.assign(first.c_str());
  content.assign(second.c_str());
  return true;
}

bool VintrelDlg::OnGo() {
  if (fRunning || fArgs) return false;  // one run at a time
  int32_t fileIndex = fControls.fFileSelection;
  int32_t objectIndex = fControls.fObjectSelection;
  if (fileIndex < 0 || fileIndex >= static_cast<int32_t>(fObjectFiles.size())) return false;
  if (objectIndex < 0 || objectIndex >= static_cast<int32_t>(fObjectIds.size())) return false;

  PathString content(fContentFolder);
  ScanContentFolder(content);  // picks up new object-make files
  if (!BeginRun()) return false;

  {
    // Lines the last run logged after its final tick must not show in this one.
    PlatformLockGuard guard(fLock);
    fSyncMessage.clear();
  }
  fArgs->SetSync(&fSyncMessage, &fLock);
  // The builder gets the paths as the user named the folders, so that the report and the
  // build's messages show them so.
  fArgs->fObjectFile.assign(AsGiven(fObjectFiles[fileIndex], fObjectsFolder, ".spf").c_str());
  PathString makeFile;
  FindMakeFileFor(fObjectFiles[fileIndex], makeFile);
  if (makeFile.length() > 0) fArgs->fAttributesFile.assign(AsGiven(makeFile, fSpritesFolder).c_str());
  GetPathFolder(fArgs->fAttributesFile, fArgs->fGraphicsDir);
  fArgs->fMakeGraphics = 1;
  fArgs->fDrawGroupIds = fDrawGroupIds;
  fArgs->fWallStyleIds = fWallStyleIds;

  fRunning = 1;
  fRunResult = 0;
  FILE* log = fArgs->fLogFile;
  std::fprintf(log, "***\nArguments:\nObject file = %s\nOMK File=%s\nTGA directory=%s\n***\n",
               fArgs->fObjectFile.c_str(), fArgs->fAttributesFile.c_str(), fArgs->fGraphicsDir.c_str());

  // Without its object-make file the build would make nothing: the run fails here.
  if (fArgs->fAttributesFile.length() == 0) {
    PathString folder;
    FixedStringBuffer<260> base;
    FixedStringBuffer<260> extension;
    SplitPath(fArgs->fObjectFile, folder, base, extension);
    if (fSpritesFolder.length() == 0) {
      std::fprintf(log,
                   "fatal error: no object-make file for %s: no content folder is set (set SPRITEDIR to its "
                   "Sprites folder, or use Open PevContent...)\n\n",
                   base.c_str());
    } else {
      std::fprintf(log,
                   "fatal error: object-make file %s.omk not found under %s (it is found by the object "
                   "file's name, in any folder there)\n\n",
                   base.c_str(), fSpritesFolder.c_str());
    }
    fRunResult = 1;
    CloseRun();
    return false;
  }

  // Raised before the worker starts, so that no tick can take the run for finished before
  // the worker got going.
  SetBuilderRunning(fArgs, 1);
  fWorker = std::thread(BuildThreadProc, fArgs, &fRunResult);

  fControls.fFilesEnabled = false;
  fControls.fObjectsEnabled = false;
  fControls.fGoEnabled = false;
  fTick = 0;
  fControls.fState = "Working...";
  fControls.fReport.clear();
  fControls.fReportCaret = 0;
  fTimerOn = true;
  return true;
}

bool VintrelDlg::BeginRun() {
  XASSERT(!fArgs, "args already prepared");
  XASSERT(!fErrFileStream, "already have a file");
  if (fArgs || fErrFileStream) return false;
  fArgs = new ObjectBuilder;
  fErrFileStream = OpenReportFile(fReportPath);
  fArgs->fLogFile = fErrFileStream ? fErrFileStream : stderr;
  ++fRunCount;
  char when[128];
  LocalTimeText(when, sizeof when);
  std::fprintf(fArgs->fLogFile, "Run #%d -- starting at %s\n", fRunCount, when);
  return true;
}

uint32_t VintrelDlg::BuildThreadProc(ObjectBuilder* builder, int32_t* result) {
  SetXAssertWorkerThread(PlatformCurrentThreadId());
  SetBuilderRunning(builder, 1);
  int32_t answer = 1;
  try {
    answer = builder->Run();
  } catch (const std::exception& error) {
    // Anything but a Terminate would end the process on this thread; it ends the build.
    std::fprintf(builder->fLogFile ? builder->fLogFile : stderr, "fatal error: %s\n\n", error.what());
  } catch (...) {
    std::fprintf(builder->fLogFile ? builder->fLogFile : stderr, "fatal error: unknown exception\n\n");
  }
  if (result) *result = answer;
  // The log stream is the report file, which the dialog closes once the run ends.
  gLogStream = nullptr;
  SetXAssertWorkerThread(0);
  SetBuilderRunning(builder, 0);
  return 1;
}

void VintrelDlg::OnTimer() {
  if (!fTimerOn || fArgs == nullptr) return;
  if (BuilderRunning(fArgs) == 0) {
    CloseRun();
    return;
  }

  static const char* const kSpinner[4] = {"Working /", "Working -", "Working \\", "Working |"};
  fControls.fState = kSpinner[fTick % 4];
  ++fTick;

  FixedStringBuffer<1024> text;
  fArgs->EnterSync();
  const char* message = fArgs->GetSyncMessage();
  size_t length = std::char_traits<char>::length(message);
  if (length > static_cast<size_t>(kMaxTickText)) message += length - kMaxTickText;
  text.assign(message);
  fArgs->ClearSyncMessage();
  fArgs->LeaveSync();

  if (text.length() == 0) return;
  int32_t generating = FindLast(text, "generating");
  int32_t rendering = FindLast(text, "rendering");
  int32_t compressing = FindLast(text, "compressing");
  FixedStringBuffer<64> line;
  if (ExtractLineAt(text, generating, line)) fControls.fProgress1 = line.c_str();
  if (ExtractLineAt(text, std::max(compressing, rendering), line)) fControls.fProgress2 = line.c_str();
}

void VintrelDlg::CloseRun() {
  StopWorker();  // the worker has lowered the running flag: it is ending
  bool failed = fRunResult != 0;
  if (ReportMissingDrawGroups()) failed = true;
  fTimerOn = false;
  fRunning = 0;
  fControls.fFilesEnabled = true;
  fControls.fGoEnabled = true;
  fControls.fObjectsEnabled = true;
  fControls.fProgress1.clear();
  fControls.fProgress2.clear();
  fControls.fState = failed ? "Failed" : "Idle";
  EndRun();
  OnObjectSelected();
}

bool VintrelDlg::ReportMissingDrawGroups() {
  if (fArgs == nullptr || fArgs->fSpecs == nullptr || fRunResult != 0) return false;
  bool missing = false;
  for (int16_t wanted : fArgs->fDrawGroupIds) {
    bool found = false;
    for (PtrListIterator<DGRPSpec> it(fArgs->fSpecs->fDrawGroups); it.Current() != nullptr && !found; it.Next())
      found = uint16_t(it.Current()->fId) == uint16_t(wanted);
    if (found) continue;
    std::fprintf(fArgs->fLogFile, "error: draw group %d is not in %s: it was not built\n", int(wanted),
                 fArgs->fAttributesFile.c_str());
    missing = true;
  }
  return missing;
}

bool VintrelDlg::ExtractLineAt(const StringBuffer& text, int32_t position, StringBuffer& line) {
  if (position == -1) return false;
  int32_t end = text.find("\n", position);
  if (end < 0) end = text.length();
  line.clear();
  if (position >= end) return true;
  line.append(text.c_str() + position, end - position - 1);
  return true;
}

void VintrelDlg::EndRun() {
  fControls.fReport.clear();
  fControls.fReportCaret = 0;
  if (fErrFileStream == nullptr) {
    XASSERT(fErrFileStream, "no error file");
  } else {
    char when[128];
    LocalTimeText(when, sizeof when);
    std::fprintf(fErrFileStream, "Run #%d -- ending at %s\n", fRunCount, when);
    std::fclose(fErrFileStream);
    fErrFileStream = nullptr;

    FlatFile report;
    if (report.Open(fReportPath) != 0) {
      fControls.fReport = "Couldn't open log file";
    } else {
      uint32_t size = 0;
      report.GetEOF(size);
      char* buffer = new (std::nothrow) char[size + size_t(1)];
      if (buffer == nullptr) {
        fControls.fReport = "Out of memory";
      } else {
        std::memset(buffer, 0, size + size_t(1));
        int32_t count = static_cast<int32_t>(size);
        report.SetPos(0);
        report.Read(buffer, count);  // a short read leaves zeros: what was there is shown
        fControls.fReport = buffer;
        fControls.fReportCaret = static_cast<int32_t>(fControls.fReport.size());
        delete[] buffer;
      }
      report.Close();
    }
    report.Delete(fReportPath);
  }
  StopWorker();
  delete fArgs;
  fArgs = nullptr;
}
