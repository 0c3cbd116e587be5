// The sprite maker's main dialog, without a window toolkit: the folder scans, the object
// listing, the saved-directories file and the build that runs on a worker thread. A window
// front end binds its controls to the plain state in `VintrelControls`, forwards the user's
// actions to the On... handlers (after copying the new list selections and the Show All box
// into the controls) and calls OnTimer every 250 ms while TimerOn() is true; after each call
// it shows the controls again.
//
// Thread rules: every operation is called on the dialog thread. During a run one worker
// thread runs the builder; the two share only the sync message (under fLock), the builder's
// running flag (atomic accesses) and the assertion module's worker thread id. One run at a
// time: OnGo does nothing while a run is open.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "PlatformThread.h"
#include "StringBuffer.h"
#include "XAssert.h"

class ObjectBuilder;
class iResFile;

using PathString = FixedStringBuffer<260>;

// What the dialog's controls show. The front end copies it to its widgets and copies the
// user's list selections (-1 for none) and the Show All box back before calling a handler.
struct VintrelControls {
  std::vector<std::string> fFiles;    // Files box (1000): base names of the object files
  int32_t fFileSelection = -1;
  bool fFilesEnabled = true;
  std::vector<std::string> fObjects;  // Objects box (1008): names of the listed objects
  int32_t fObjectSelection = -1;
  bool fObjectsEnabled = true;
  std::string fSpritesFolder;         // 1001
  std::string fObjectsFolder;         // 1002
  std::string fReport;                // 1007
  int32_t fReportCaret = 0;           // caret (and scroll) position in the Report box
  std::string fGoCaption;             // 1010
  bool fGoEnabled = false;
  std::string fState;                 // 1011: "Idle", "Working...", the spinner, "Failed"
  std::string fProgress1;             // 1012: the last "generating" line
  std::string fProgress2;             // 1013: the last "rendering" or "compressing" line
  bool fShowAll = false;              // 1014
  std::string fIds;                   // 1017
};

// Where the dialog finds its configuration. The defaults read the process environment and
// map the original's "C:" folder to the user's home folder (see VintrelDlg.cpp).
struct VintrelHost {
  // Value of an environment variable; empty when it is not set.
  std::function<std::string(const char* name)> fGetEnv;
  // The folder that stands for "C:/", ending with '/'.
  std::string fDriveRoot;
  // The system's temporary folder, for the report when neither TEMP, TMP nor TMPDIR is set.
  std::string fSystemTemp;
  // Opens an object file set by its base path (folder + base name, no extension).
  std::function<std::unique_ptr<iResFile>(const StringBuffer& basePath)> fOpenObjectFile;

  static VintrelHost Default();
};

// The object file set (ObjResFile) of a listed object file, opened by its base path: its
// definitions in path.iff, its sprites in path.spf. Check ValidFile() before use.
std::unique_ptr<iResFile> OpenObjectFileSet(const StringBuffer& basePath);

// The saved-directories file: "Vintrel.dirs" in `driveRoot`, the folder that stands for "C:/"
// (the user's home folder unless a test names another).
std::string SavedDirsPath(const std::string& driveRoot);

// The folder that a folder picker answered: `picked` itself when it names a folder, else the
// folder of the file it names (a picker may still answer a placeholder file in the folder).
void PickedFolder(const StringBuffer& picked, StringBuffer& folder);

class VintrelDlg {
 public:
  explicit VintrelDlg(VintrelHost host = VintrelHost::Default());
  // Waits for a worker that is still running, then deletes the builder, the program-wide
  // compressor and the lock.
  ~VintrelDlg();
  VintrelDlg(const VintrelDlg&) = delete;
  VintrelDlg& operator=(const VintrelDlg&) = delete;

  VintrelControls& Controls() { return fControls; }

  // Start-up: compressor, report file test, saved directories or environment, scans.
  void OnInitDialog();

  // The content scan: content folder, sprites folder and the list of object-make files.
  void ScanContentFolder(const StringBuffer& folder);
  // The objects scan: game-data folder, objects folder and the list of object files; then
  // OnFileSelected.
  void ScanObjectsFolder(const StringBuffer& folder);
  // Lists the objects of the selected object file; then OnObjectSelected.
  void OnFileSelected();
  // Gathers the chosen object's draw-group and wall-style ids, the Go caption and the IDs text.
  void OnObjectSelected();
  // Show All and Refresh: the objects scan on the game-data folder.
  void OnRescan();
  // The open-content and open-game-data buttons: the content scan or the objects scan on
  // the folder that the user picked, or on the folder of the file that the user picked there.
  void OnContentPicked(const StringBuffer& picked);
  void OnGameDataPicked(const StringBuffer& picked);
  // The Remember button: SaveDirs; on failure the Report box says so.
  void OnRemember();
  // Where SaveDirs writes the two folders, and the Remember button's caption and tip that say so.
  std::string SavedDirsFile() const { return SavedDirsPath(fHost.fDriveRoot); }
  static std::string RememberCaption() { return "Remember in Home"; }
  std::string RememberTip() const;
  // True when the dialog may close (no run in progress); otherwise the Report box says why
  // it stays open.
  bool OnClose();

  // The first make file whose base name equals the object path's, ignoring A-Z case.
  // Leaves `makeFile` unchanged when there is none.
  void FindMakeFileFor(const StringBuffer& objectPath, StringBuffer& makeFile) const;
  // The saved-directories file holds the game-data folder, then the content folder, each on
  // its own line. A name without white space is written as it is; one with white space (or
  // that starts with '"') is written in double quotes, each '"' in it doubled, so that every
  // name reads back as it was written.
  bool SaveDirs() const;
  // True only when the file holds both names, each of at most 259 characters.
  bool LoadSavedDirs(StringBuffer& gameData, StringBuffer& content) const;

  // Starts a run for the selected file and object. Nothing happens without both selections,
  // or while a run is open. Returns true when a worker was started. Without an object-make
  // file for the object the run fails at once: the report says which file was looked for
  // where, and no worker starts.
  bool OnGo();
  // The 250 ms timer: spinner and progress lines; closes the run once the worker finished.
  // A closed run leaves the state box "Idle", or "Failed" when the build ended with a fatal
  // error or a draw group of the object was not found in the object-make file (the report
  // names it).
  void OnTimer();
  bool TimerOn() const { return fTimerOn; }
  bool Running() const { return fRunning != 0; }
  bool HasBuilder() const { return fArgs != nullptr; }
  int32_t RunCount() const { return fRunCount; }

  // The line from `position` to the next line feed, less its last character (the CR), cut
  // to 63 characters. False for position -1.
  static bool ExtractLineAt(const StringBuffer& text, int32_t position, StringBuffer& line);

  // The worker's entry: runs the build, stores its result (0, or 1 after a fatal error) in
  // `result` when given, and lowers the running flag. Answers 1.
  static uint32_t BuildThreadProc(ObjectBuilder* builder, int32_t* result = nullptr);

  const std::vector<PathString>& MakeFiles() const { return fMakeFiles; }
  const std::vector<PathString>& ObjectFiles() const { return fObjectFiles; }
  const std::vector<int16_t>& ObjectIds() const { return fObjectIds; }
  const std::vector<int16_t>& DrawGroupIds() const { return fDrawGroupIds; }
  const std::vector<int16_t>& WallStyleIds() const { return fWallStyleIds; }
  const StringBuffer& ContentFolder() const { return fContentFolder; }
  const StringBuffer& GameDataFolder() const { return fGameDataFolder; }
  const StringBuffer& SpritesFolder() const { return fSpritesFolder; }
  const StringBuffer& ObjectsFolder() const { return fObjectsFolder; }
  const StringBuffer& ReportPath() const { return fReportPath; }

 private:
  bool BeginRun();
  void EndRun();
  void StopWorker();
  // Closes the run: controls enabled again, state "Idle" or "Failed", report shown.
  void CloseRun();
  // Logs the draw groups of the run that its object-make file does not define; true when
  // there were such.
  bool ReportMissingDrawGroups();

  VintrelHost fHost;
  VintrelControls fControls;
  std::vector<PathString> fMakeFiles;
  std::vector<PathString> fObjectFiles;
  std::vector<int16_t> fObjectIds;
  std::vector<int16_t> fDrawGroupIds;
  std::vector<int16_t> fWallStyleIds;
  PlatformLock fLock;
  std::string fSyncMessage;
  uint8_t fRunning = 0;
  int32_t fTick = 0;
  PathString fContentFolder;
  PathString fGameDataFolder;
  PathString fSpritesFolder;
  PathString fObjectsFolder;
  ObjectBuilder* fArgs = nullptr;  // the builder of the current run (mArgs)
  int32_t fRunResult = 0;          // the run's build result, written by its worker
  int32_t fRunCount = 0;
  PathString fReportPath;
  FILE* fErrFileStream = nullptr;  // the report file while a run is open (mErrFileStream)
  std::thread fWorker;
  bool fTimerOn = false;
  bool fMadeCompressor = false;
  bool fInitialised = false;
  XAssertMode fPreviousAssertMode = XAssertMode::kConsole;
};
