// The object builder: one ObjectBuilder holds every option of one build, runs it, and
// carries the two ways a build reports: the build log (a C stream) and, when the dialog
// program drives the build, a message text shared with that program's window.
//
// Fatal build errors are thrown as Terminate (by ThrowError) and turned by Run into the
// log line "fatal error: %s\n" and the result 1; warnings are logged and the build goes on.
//
// Thread rules: one build runs in a process at a time; the log stream, the current builder
// and the scratch buffer are program-wide. The shared message is the only state touched by
// two threads; every access to it is made between EnterSync and LeaveSync.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "PlatformThread.h"
#include "StringBuffer.h"

struct AttribEntry;
class SpecSet;

// The exception of a fatal build error: just its message (cut to 1023 characters).
class Terminate {
 public:
  explicit Terminate(const char* text) { fMessage.append(text, kMaxText); }
  const char* c_str() const { return fMessage.c_str(); }

 private:
  static constexpr int32_t kMaxText = 1023;
  FixedStringBuffer<1024> fMessage;
};

class ObjectBuilder {
 public:
  ObjectBuilder();
  ~ObjectBuilder();  // Deletes the spec set (and with it every spec).
  ObjectBuilder(const ObjectBuilder&) = delete;
  ObjectBuilder& operator=(const ObjectBuilder&) = delete;

  // Runs the build: sets the log stream (fLogFile, or the standard error stream) and the
  // current builder, and calls Build. Returns 0 when the build ended normally, 1 when it
  // ended with a Terminate (logged as "fatal error: <text>" and an empty line). The current
  // builder is cleared on every way out; other exceptions pass on to the caller.
  int32_t Run();

  // The build driver: every stage of one build, in order.
  void Build();

  // Gives the builder the dialog's shared message and the lock that guards it.
  void SetSync(std::string* message, PlatformLock* lock);
  bool HasSyncBuffer() const { return fSyncMessage != nullptr; }
  void EnterSync();
  void LeaveSync();
  // The caller holds the lock. Each reports "no sync buffer" when there is none.
  void AppendSyncMessage(const char* text);
  const char* GetSyncMessage() const;
  void ClearSyncMessage();

  // Tests only: makes Run call `proc` in place of Build (null restores Build).
  using BuildProc = void (*)(ObjectBuilder& builder);
  static void SetBuildProcForTesting(BuildProc proc);

  std::string* fSyncMessage;
  PlatformLock* fSyncLock;
  SpecSet* fSpecs;  // owned
  FixedStringBuffer<260> fObjectFile;
  FILE* fLogFile;  // null: the standard error stream
  FixedStringBuffer<260> fAttributesFile;
  uint16_t fVerbose;
  uint16_t fHasTemplate;
  uint16_t fMakeWall;
  uint16_t fMakeSounds;
  uint16_t fMakeGraphics;
  uint16_t fMakeSlots;
  uint16_t fMakeHeadline;
  uint16_t fMakeAttributes;
  uint16_t fMakeSkills;
  uint16_t fPrintDrawGroups;
  uint16_t fMakeCatalog;
  uint16_t fMakeTreeTables;
  uint16_t fMakeBitmaps;
  uint16_t fMakeFamilyHistory;
  uint16_t fMakeWallStyle;
  uint16_t fMakeWallPattern;
  uint16_t fMakeFloor;  // -floor, -floorshadow or -pooltile
  uint16_t fMakeThickWalls;
  uint16_t fMakeThickCutaway;
  int32_t fThickWallScale;
  FixedStringBuffer<260> fGraphicsDir;  // ends in "/" or "\\"
  FixedStringBuffer<260> fBitmapDir;
  FixedStringBuffer<260> fTemplateFile;
  uint16_t fRetain;
  FixedStringBuffer<64> fPrefix;
  uint16_t fCutaway;
  int32_t fWallStyle;
  FixedStringBuffer<260> fPaletteFile;
  FixedStringBuffer<260> fTgaFile;
  FixedStringBuffer<260> fBmpFile;
  int32_t fTileId;
  uint8_t fFloorShadow;
  uint8_t fPoolTile;
  uint8_t fMakeWaterTile;
  FixedStringBuffer<260> fHeadlinePaletteFile;
  FixedStringBuffer<260> fHeadlineTgaFile;
  FixedStringBuffer<260> fCatalogDir;
  std::vector<int16_t> fDrawGroupIds;  // empty: all
  std::vector<int16_t> fWallStyleIds;  // empty: all
  FixedStringBuffer<260> fFamilyHistoryFile;
  uint8_t fRunning;
};

// Deletes a spec set and every spec in it. Defined with the spec set.
void DeleteSpecSet(SpecSet* specs);

// Program-wide state of the build that is running.
extern FILE* gLogStream;                           // set by Run
extern ObjectBuilder* gCurrentBuilder;             // set by Run while Build runs
extern FixedStringBuffer<1024> gScratchMessage;    // for stages to format a message in

// Writes `text` and a line feed to the log stream (when set) and, with a sync buffer, the
// text and CR LF to the shared message.
void LogMessage(const char* text);

// Throws a Terminate holding `message`, or "line: <n> - <message>" with the line of the
// markup entry `place` when one is given. Never returns.
[[noreturn]] void ThrowError(const char* message, const AttribEntry* place);
[[noreturn]] void ThrowError(const char* message);
[[noreturn]] void ThrowErrorAtLine(const char* message, int32_t line);

// Logs "warning: <message>\n", or "warning: line: <n> - <message>\n" with the line of
// `place` when one is given, to the log stream and (unchanged) to the shared message.
void PrintWarning(const char* message, const AttribEntry* place);
void PrintWarning(const char* message);
void PrintWarningAtLine(const char* message, int32_t line);

// Makes an assertion that fails on the dialog's worker thread end the build with a fatal
// error. Run installs it; the dialog program may install it earlier.
void InstallBuilderAssertHook();
