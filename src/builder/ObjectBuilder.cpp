#include "ObjectBuilder.h"

#include <atomic>
#include <string>

#include "DebugStream.h"
#include "PlatformFile.h"
#include "ReportCapture.h"
#include "XAssert.h"
#include "attribtable.h"

FILE* gLogStream = nullptr;
ObjectBuilder* gCurrentBuilder = nullptr;
FixedStringBuffer<1024> gScratchMessage;

namespace {

std::atomic<ObjectBuilder::BuildProc> gBuildProc{nullptr};

// True when the assertion stands in the layers that read and write resource files and the
// records in them: on a build's worker it fails because a file's bytes are not what they
// must be, or because the disk refused a write, not because of a fault in the build.
bool AssertsAboutAFile(const char* source) {
  std::string path = std::string("/") + source;
  for (char& c : path)
    if (c == '\\') c = '/';
  path.erase(path.rfind('/'));                  // the source's folder
  std::string folder = path.substr(path.rfind('/') + 1);
  return folder == "resfile" || folder == "records";
}

// The file that an assertion's message names: the layers that read files end the message with
// the file's path. Empty when no existing file is named.
std::string FileNamedIn(const char* message, std::string& reason) {
  std::string text(message);
  for (size_t space = text.find(' '); space != std::string::npos; space = text.find(' ', space + 1)) {
    std::string rest = text.substr(space + 1);
    if (!rest.empty() && PlatformPathExists(rest.c_str()) && !PlatformIsFolder(rest.c_str())) {
      reason = text.substr(0, space);
      return rest;
    }
  }
  reason = text;
  return std::string();
}

// The build's object file for a message: the file itself, or the parts of an object file set
// named by its base path that exist.
std::string ObjectFileForMessage() {
  ObjectBuilder* builder = gCurrentBuilder;
  if (builder == nullptr || builder->fObjectFile.length() == 0) return "(unnamed)";
  std::string base = builder->fObjectFile.c_str();
  if (PlatformPathExists(base.c_str())) return base;
  std::string parts;
  for (const char* extension : {".iff", ".spf", ".dir"}) {
    if (!PlatformPathExists((base + extension).c_str())) continue;
    if (!parts.empty()) parts += " or ";
    parts += base + extension;
  }
  return parts.empty() ? base : parts;
}

// An assertion on the build's worker ends the build. One about a file says which file is
// damaged (or could not be written) in words a user can act on; the assertion's own text,
// with its source path, goes to the debug text for the program's developers.
void ThrowAssertionAsError(const XAssertSite& site, const char* text) {
  if (!AssertsAboutAFile(site.file)) ThrowError(text);
  gDebugStream << text << "\n";
  std::string reason;
  std::string file = FileNamedIn(site.message, reason);
  if (file.empty()) file = ObjectFileForMessage();
  const bool writing = reason.find("writ") != std::string::npos || reason.find("flush") != std::string::npos ||
                       reason.find("inval") != std::string::npos || reason.find("created") != std::string::npos;
  std::string message = writing ? "could not write object file " + file
                                : "object file " + file + " is damaged and cannot be read";
  ThrowError(message.c_str());
}

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
