#include "GenericSpec.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ObjectBuilder.h"
#include "resfile.h"

GenericSpec::~GenericSpec() = default;

TargetSpec::TargetSpec(iResFile* file, MHandle* handle) : fHandle(handle), fFile(file) {
  int16_t id = 0;
  if (file != nullptr && handle != nullptr) {
    file->GetResID(handle, id);
    file->GetResName(handle, fName);
  }
  fId = id;
}

TargetSpec::~TargetSpec() = default;

ObjDefinition* TargetSpec::GetDefinition() {
  if (!fDefinition) {
    auto definition = std::make_unique<ObjDefinition>();
    if (!definition->ReadFromHandle(fHandle)) return nullptr;
    fDefinition = std::move(definition);
  }
  return fDefinition.get();
}

void TargetSpec::SaveDefinition() {
  if (!fDefinition) return;
  if (fFile == nullptr) ThrowError("no file to save to");
  if (!fFile->ValidFile()) ThrowError("invalid file in saving target");
  if (fHandle == nullptr) ThrowError("no definition to save");
  if (!fDefinition->WriteToHandle(fHandle)) ThrowError("could not write object definition");
  fFile->WriteResource(fHandle);
  if (fFile->GetError() != 0) ThrowError("could not write object definition");
  fDefinition.reset();
}

// --- Reading a tag ----------------------------------------------------------------------

const char* TagName(AttribTable& tag) {
  AttribEntry* first = tag.GetEntry(0);
  return first ? first->fName.c_str() : "";
}

AttribEntry* TagPlace(AttribTable& tag) { return tag.GetEntry(0); }

int32_t EntryLine(const AttribEntry* entry) { return entry ? entry->fLine : -1; }

const char* EntryValue(const AttribEntry* entry) { return entry ? entry->fValue.c_str() : ""; }

namespace {

// Ends the build with `format` filled with the key and the tag's name, at the key's line.
[[noreturn]] void ThrowBadValue(const char* format, AttribTable& tag, const char* key,
                                AttribEntry* entry) {
  char message[1024];
  std::snprintf(message, sizeof message, format, key, TagName(tag));
  ThrowError(message, entry);
}

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// True when the whole of `text` is one decimal integer: blanks, a sign, digits, blanks.
// "%d" would take "12abc" as 12 and "0x10" as 0, so that a typo gives another resource.
bool IsWholeInteger(const char* text) {
  while (IsBlank(*text)) text++;
  if (*text == '+' || *text == '-') text++;
  if (*text < '0' || *text > '9') return false;
  while (*text >= '0' && *text <= '9') text++;
  while (IsBlank(*text)) text++;
  return *text == '\0';
}

// Reads a whole decimal integer as wide as the platform allows.
bool ScanWide(const char* text, long long& value) {
  return IsWholeInteger(text) && std::sscanf(text, "%lld", &value) == 1;
}

}  // namespace

bool CheckedInteger(AttribTable& tag, AttribEntry* entry, IntRange range, int64_t& out) {
  const char* text = EntryValue(entry);
  const char* digits = text;
  while (IsBlank(*digits)) digits++;
  if (*digits == '+' || *digits == '-') digits++;
  if (*digits < '0' || *digits > '9') return false;
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text, &end, 10);
  const bool overflow = errno == ERANGE;
  if (overflow || value < range.min || value > range.max) {
    const int length = int(end - text);
    char message[1024];
    std::snprintf(message, sizeof message,
                  "value %.*s for key \"%s\" in tag \"%s\" out of range %lld to %lld",
                  length > 40 ? 40 : length, text, entry->fName.c_str(), TagName(tag),
                  static_cast<long long>(range.min), static_cast<long long>(range.max));
    ThrowError(message, entry);
  }
  out = value;
  return true;
}

const char kIntegerExpected[] = "integer value expected for key \"%s\" in tag \"%s\"";
const char kShortExpected[] = "short integer value expected for key \"%s\" in tag \"%s\"";
const char kLongExpected[] = "long integer value expected for key \"%s\" in tag \"%s\"";

bool GetRangedAttr(AttribTable& tag, const char* key, IntRange range, int64_t& out,
                   const char* notANumber) {
  AttribEntry* entry = tag.FindEntry(key);
  if (entry == nullptr) return false;
  if (!IsWholeInteger(EntryValue(entry)) || !CheckedInteger(tag, entry, range, out)) {
    ThrowBadValue(notANumber, tag, key, entry);
  }
  return true;
}

bool GetRangedAttr(AttribTable& tag, const char* key, IntRange range, int32_t& out,
                   const char* notANumber) {
  int64_t value = 0;
  if (!GetRangedAttr(tag, key, range, value, notANumber)) return false;
  out = int32_t(value);
  return true;
}

void ParseCommonAttrs(GenericSpec& spec, AttribTable& tag, IntRange idRange) {
  spec.fLine = EntryLine(TagPlace(tag));
  if (tag.FindEntry("id") == nullptr) ThrowError("id required", TagPlace(tag));
  // An id that is not a number ends the build: kept as it was, it would write (or replace)
  // resource 0 or whatever the spec held.
  int64_t value = 0;
  GetRangedAttr(tag, "id", idRange, value);
  spec.fId = int32_t(value);

  AttribEntry* name = tag.FindEntry("name");
  if (name != nullptr) {
    spec.fName.assign(EntryValue(name));
  } else {
    spec.fName.clear();
  }

  int32_t language = 0;
  GetIntAttr(tag, "language", language);
  spec.fLanguage = language;
}

void ThrowErrorAtSpec(const char* message, const GenericSpec& spec) {
  if (spec.fLine < 0) ThrowError(message);
  ThrowErrorAtLine(message, spec.fLine);
}

namespace {

// The frame of every typed getter: false without the key; `parse` (text -> bool) reads the
// value, and a value it refuses ends the build with `format` at the key's line.
template <class Parse>
bool ReadAttr(AttribTable& tag, const char* key, const char* format, Parse parse) {
  AttribEntry* entry = tag.FindEntry(key);
  if (entry == nullptr) return false;
  if (!parse(EntryValue(entry))) ThrowBadValue(format, tag, key, entry);
  return true;
}

}  // namespace

bool GetIntAttr(AttribTable& tag, const char* key, int32_t& out) {
  // A number beyond 32 bits is refused rather than wrapped (4294967297 frames is not 1).
  return GetRangedAttr(tag, key, kInt32Range, out);
}

bool GetBoolAttr(AttribTable& tag, const char* key, uint16_t& out) {
  return ReadAttr(tag, key,
                  "boolean value for key \"%s\" in tag \"%s\" expected to be true or false",
                  [&](const char* text) {
                    if (std::strcmp(text, "true") == 0) {
                      out = 1;
                    } else if (std::strcmp(text, "false") == 0) {
                      out = 0;
                    } else {
                      return false;
                    }
                    return true;
                  });
}

bool GetFloatAttr(AttribTable& tag, const char* key, float& out) {
  return ReadAttr(tag, key, "float value expected for key \"%s\" in tag \"%s\"",
                  [&](const char* text) {
                    float value = 0;
                    if (std::sscanf(text, "%f", &value) != 1) return false;
                    out = value;
                    return true;
                  });
}

bool GetShortAttr(AttribTable& tag, const char* key, uint16_t& out) {
  return ReadAttr(tag, key, kShortExpected,
                  [&](const char* text) {
                    long long value = 0;
                    if (!ScanWide(text, value)) return false;
                    out = uint16_t(static_cast<unsigned long long>(value) & 0xFFFFu);
                    return true;
                  });
}

bool GetLongAttr(AttribTable& tag, const char* key, int32_t& out) {
  return ReadAttr(tag, key, kLongExpected,
                  [&](const char* text) {
                    long long value = 0;
                    if (!ScanWide(text, value)) return false;
                    out = int32_t(uint32_t(static_cast<unsigned long long>(value) & 0xFFFFFFFFu));
                    return true;
                  });
}

void PrintFileWarning(iResFile* file, const char* message) {
  FixedStringBuffer<260> path;
  if (file != nullptr) file->GetName(path);
  if (FILE* log = gLogStream) {
    std::fprintf(log, "file: %s \nwarning: %s\n", path.c_str(), message);
  }
  ObjectBuilder* builder = gCurrentBuilder;
  if (builder != nullptr && builder->HasSyncBuffer()) {
    builder->EnterSync();
    builder->AppendSyncMessage("file: ");
    builder->AppendSyncMessage(path.c_str());
    builder->AppendSyncMessage("\nwarning: ");
    builder->AppendSyncMessage(message);
    builder->AppendSyncMessage("\n");
    builder->LeaveSync();
  }
}
