#include "StubObject.h"

#include <cstdlib>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "ObjDefinition.h"
#include "ObjFnTable.h"
#include "ObjResFile.h"
#include "PlatformFile.h"
#include "PlatformThread.h"
#include "XAssert.h"
#include "strset.h"

namespace {

// The smallest definition that holds words 14-15 and 70-71.
const int32_t kGUIDBytes = (kObjDefTemplateGUID + 2) * 2;

uint32_t GetLongAt(const uint8_t* data, int32_t word) {
  const uint8_t* p = data + word * 2;
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void SetLongAt(uint8_t* data, int32_t word, uint32_t value) {
  uint8_t* p = data + word * 2;
  for (int32_t i = 0; i < 4; i++) p[i] = uint8_t(value >> (8 * i));
}

// Copies every resource of `source` into the open `target`; 0 or the first error.
int32_t CopyEveryResource(iResFile* source, iResFile* target, const StubObjectParams& params) {
  int16_t typeCount = source->CountTypes();
  for (int16_t t = 1; t <= typeCount; t++) {
    uint32_t type = source->GetIndType(static_cast<uint16_t>(t));
    int16_t count = source->Count(type);
    if (source->GetError() != noErr) return source->GetError();
    for (int16_t i = 1; i <= count; i++) {
      MHandle* handle = source->GetIndResource(type, static_cast<uint16_t>(i), nullptr);
      int32_t error = source->GetError();
      if (handle == nullptr) {
        XASSERT(source->GetError(), "no error returned");
        // A missing resource is never a success.
        return error != noErr ? error : int32_t(noSuchResourceErr);
      }
      if (error != noErr) return error;
      bool native = source->IsNativeOrder(handle);
      int16_t id = 0;
      source->GetResID(handle, id);
      FixedStringBuffer<64> name;
      source->GetResName(handle, name);
      source->DetachResource(handle);
      // A handle the source could not let go of stays the source's.
      if (source->GetError() != noErr) return source->GetError();

      if (type == kCopiedStringSetType) {
        HFree(handle);
        StringSet loaded;
        error = loaded.Load(source, static_cast<uint16_t>(id), 0);
        if (error != noErr) return error;
        StringSet fresh;
        fresh = loaded;
        error = fresh.Save(target, static_cast<uint16_t>(id));
        if (error != noErr) return error;
        continue;
      }
      if (type == kObjDefinitionType) {
        AssignNewGUID(handle);
        if (!params.fRetain) {
          FixedStringBuffer<64> newName(params.fName);
          if (params.fPrefix) newName.append(name);
          name.assign(newName);
        }
      }
      target->AddResource(handle, type, static_cast<uint16_t>(id), name, native);
      if (target->GetError() != noErr) {
        HFree(handle);  // a file that refuses a handle does not keep it
        return target->GetError();
      }
      target->WriteResource(handle);
      if (target->GetError() != noErr) return target->GetError();
    }
  }
  return noErr;
}

}  // namespace

StubObjectParams::StubObjectParams() : fRetain(0), fPrefix(0) {}

void StubObjectParams::SetRetain() { fRetain = 1; }

void StubObjectParams::SetPrefix(const StringBuffer& prefix) {
  fPrefix = 1;
  fName.assign(prefix);
}

int32_t StubObjectParams::MakeFromTemplate(const StringBuffer& templatePath,
                                           const StringBuffer& newPath) {
  ObjResFile source;
  int32_t error = source.Open(templatePath);
  if (error == noErr) error = CopyResources(&source, newPath);
  source.Close();
  return error;
}

int32_t StubObjectParams::CopyResources(iResFile* source, const StringBuffer& newPath) {
  fPath.assign(newPath);
  // The set is made and filled under a name of its own beside the new one, and takes the new
  // name once it is closed: a kill at any moment leaves no new object or a whole one (never
  // an empty file, which every later attempt would stumble on).
  std::vector<std::pair<std::string, std::string>> components;  // (made as, named)
  const std::string path(fPath.c_str());
  const size_t slash = path.find_last_of("/\\");
  const size_t dot = path.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  const std::string made = hasExtension ? path.substr(0, dot) + "~tmpl" + path.substr(dot) : path + "~tmpl";
  if (hasExtension) {
    components.emplace_back(made, path);
  } else {
    for (const char* extension : {".iff", ".spf"}) components.emplace_back(made + extension, path + extension);
  }
  for (const auto& [from, to] : components) {
    if (PlatformPathExists(to.c_str())) return fileExistsErr;
    PlatformFileDelete(from.c_str());  // a leftover of a copy cut short
  }
  const FixedStringBuffer<280> madePath(made.c_str());
  ObjResFile target;
  int32_t error = target.Create(madePath);
  if (error == noErr) error = target.Open(madePath);
  if (error != noErr) {
    for (const auto& [from, to] : components) PlatformFileDelete(from.c_str());
    return error;
  }
  error = CopyEveryResource(source, &target, *this);
  // What was copied is kept; a failure to get it to disk is the copy's failure too.
  int32_t updateError = target.Update();
  int32_t closeError = target.Close();
  if (error == noErr) error = updateError;
  if (error == noErr) error = closeError;
  // The files are durable; each takes its name, never over a file made meanwhile, and the
  // names are made durable in turn.
  std::string folder;
  for (const auto& [from, to] : components) {
    if (!PlatformPathExists(from.c_str())) continue;
    if (!PlatformFileMove(from.c_str(), to.c_str())) {
      if (error == noErr) error = PlatformPathExists(to.c_str()) ? int32_t(fileExistsErr) : int32_t(createFailedErr);
      continue;
    }
    const std::string host = PlatformResolvePath(to.c_str());
    const size_t end = host.find_last_of('/');
    folder = end == std::string::npos ? std::string(".") : end == 0 ? std::string("/") : host.substr(0, end);
  }
  if (!folder.empty() && !PlatformFolderSync(folder.c_str()) && error == noErr) error = createFailedErr;
  return error;
}

uint32_t MakeRandomGUID() {
  return (PlatformTickCount() << 16) ^ static_cast<uint32_t>(time(nullptr)) ^
         static_cast<uint32_t>(rand());
}

bool AssignNewGUID(MHandle* definition) {
  if (definition == nullptr || HGetSize(definition) < kGUIDBytes) {
    XASSERT(false, "definition too short");
    return false;
  }
  uint8_t* data = reinterpret_cast<uint8_t*>(HLock(definition));
  SetLongAt(data, kObjDefTemplateGUID, GetLongAt(data, kObjDefGUID));
  SetLongAt(data, kObjDefGUID, MakeRandomGUID());
  HUnlock(definition);
  return true;
}

int32_t DuplicateObjectDefinition(iResFile* file, uint16_t id, const StringBuffer& name) {
  if (file == nullptr || !file->ValidFile()) return -1;
  MHandle* handle = file->GetResource(kObjDefinitionType, id, SwizzleObjDefinition);
  if (handle == nullptr) {
    int32_t err = file->GetError();
    XASSERT(err, "error not set");
    return err != noErr ? err : int32_t(noSuchResourceErr);
  }
  file->DetachResource(handle);
  if (file->GetError() != noErr) return file->GetError();
  uint16_t newID = file->UniqueID(kObjDefinitionType);
  FixedStringBuffer<64> newName(name);
  file->UniqueName(kObjDefinitionType, newName);
  AssignNewGUID(handle);
  file->AddResource(handle, kObjDefinitionType, newID, newName, true);
  if (file->GetError() != noErr) {
    int32_t error = file->GetError();
    HFree(handle);  // a file that refuses a handle does not keep it
    return error;
  }
  ObjFnTable table;
  if (table.Load(file, id) == noErr) return table.Save(file, newID);
  return noErr;
}
