#include "ObjectBuilder.h"

#include <atomic>

#include "ReportCapture.h"
#include "XAssert.h"
#include "attribtable.h"

FILE* gLogStream = nullptr;
ObjectBuilder* gCurrentBuilder = nullptr;
FixedStringBuffer<1024> gScratchMessage;

namespace {

std::atomic<ObjectBuilder::BuildProc> gBuildProc{nullptr};

void ThrowAssertionAsError(const char* text) { ThrowError(text); }

// Clears the current builder however Run is left.
struct CurrentBuilderScope {
  explicit CurrentBuilderScope(ObjectBuilder* builder) { gCurrentBuilder = builder; }
  ~CurrentBuilderScope() { gCurrentBuilder = nullptr; }
};

// Appends `text` (and `ending`) to the current builder's shared message, if it has one.
void AppendToSync(const char* text, const char* ending) {
  ObjectBuilder* builder = gCurrentBuilder;
  if (!builder || !builder->HasSyncBuffer()) return;
  builder->EnterSync();
  builder->AppendSyncMessage(text);
  if (ending) builder->AppendSyncMessage(ending);
  builder->LeaveSync();
}

}  // namespace

ObjectBuilder::ObjectBuilder()
    : fSyncMessage(nullptr),
      fSyncLock(nullptr),
      fSpecs(nullptr),
      fLogFile(nullptr),
      fVerbose(0),
      fHasTemplate(0),
      fMakeWall(0),
      fMakeSounds(0),
      fMakeGraphics(0),
      fMakeSlots(0),
      fMakeHeadline(0),
      fMakeAttributes(0),
      fMakeSkills(0),
      fPrintDrawGroups(0),
      fMakeCatalog(0),
      fMakeTreeTables(0),
      fMakeBitmaps(0),
      fMakeFamilyHistory(0),
      fMakeWallStyle(0),
      fMakeWallPattern(0),
      fMakeFloor(0),
      fMakeThickWalls(0),
      fMakeThickCutaway(0),
      fThickWallScale(0),
      fRetain(0),
      fCutaway(0),
      fWallStyle(0),
      fTileId(INT32_MIN),
      fFloorShadow(0),
      fPoolTile(0),
      fMakeWaterTile(0),
      fRunning(0) {}

ObjectBuilder::~ObjectBuilder() {
  if (fSpecs) DeleteSpecSet(fSpecs);
  fSpecs = nullptr;
}

int32_t ObjectBuilder::Run() {
  gLogStream = fLogFile ? fLogFile : stderr;
  InstallBuilderAssertHook();
  CurrentBuilderScope scope(this);
  try {
    BuildProc proc = gBuildProc.load();
    if (proc) proc(*this);
    else Build();
  } catch (const Terminate& error) {
    std::snprintf(gScratchMessage.buffer(), static_cast<size_t>(gScratchMessage.capacity()), "fatal error: %s\n",
                  error.c_str());
    LogMessage(gScratchMessage.c_str());
    return 1;
  }
  return 0;
}

void ObjectBuilder::SetBuildProcForTesting(BuildProc proc) { gBuildProc.store(proc); }

void ObjectBuilder::SetSync(std::string* message, PlatformLock* lock) {
  fSyncMessage = message;
  fSyncLock = lock;
}

void ObjectBuilder::EnterSync() {
  if (fSyncLock) fSyncLock->Enter();
}

void ObjectBuilder::LeaveSync() {
  if (fSyncLock) fSyncLock->Leave();
}

void ObjectBuilder::AppendSyncMessage(const char* text) {
  XASSERT(fSyncMessage, "no sync buffer");
  if (fSyncMessage && text) fSyncMessage->append(text);
}

const char* ObjectBuilder::GetSyncMessage() const {
  XASSERT(fSyncMessage, "no sync buffer");
  return fSyncMessage ? fSyncMessage->c_str() : "";
}

void ObjectBuilder::ClearSyncMessage() {
  XASSERT(fSyncMessage, "no sync buffer");
  if (fSyncMessage) fSyncMessage->clear();
}

void LogMessage(const char* text) {
  if (ReportCapture::Take()) return;
  if (!text) text = "";
  if (gLogStream) std::fprintf(gLogStream, "%s\n", text);
  AppendToSync(text, "\r\n");
}

void ThrowError(const char* message) { throw Terminate(message ? message : ""); }

void ThrowError(const char* message, const AttribEntry* place) {
  if (!place) ThrowError(message);
  ThrowErrorAtLine(message, place->fLine);
}

void ThrowErrorAtLine(const char* message, int32_t line) {
  static FixedStringBuffer<1024> text;
  std::snprintf(text.buffer(), static_cast<size_t>(text.capacity()), "line: %d - %s", line, message ? message : "");
  throw Terminate(text.c_str());
}

namespace {

void WriteWarning(const char* text) {
  if (ReportCapture::Take()) return;
  if (gLogStream) std::fprintf(gLogStream, "%s", text);
  AppendToSync(text, nullptr);
}

}  // namespace

void PrintWarning(const char* message) {
  char text[1024];
  std::snprintf(text, sizeof text, "warning: %s\n", message ? message : "");
  WriteWarning(text);
}

void PrintWarning(const char* message, const AttribEntry* place) {
  if (place) PrintWarningAtLine(message, place->fLine);
  else PrintWarning(message);
}

void PrintWarningAtLine(const char* message, int32_t line) {
  char text[1024];
  std::snprintf(text, sizeof text, "warning: line: %d - %s\n", line, message ? message : "");
  WriteWarning(text);
}

void InstallBuilderAssertHook() { SetXAssertThrowHook(ThrowAssertionAsError); }
