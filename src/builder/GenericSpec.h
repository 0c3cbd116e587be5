// The common base of every spec record of the object-make compiler, the target record (an
// object definition that the object-make file speaks of), and the helpers with which every
// tag parser reads its attributes: ParseCommonAttrs and the typed getters. A getter answers
// false when the tag lacks the key (the out value is untouched) and ends the build with
// ThrowError at the key's line when the value does not parse.
//
// Not thread-safe: one build at a time.
#pragma once

#include <cstdint>
#include <memory>

#include "attribtable.h"
#include "ObjDefinition.h"
#include "StringBuffer.h"

class iResFile;
class TargetSpec;

class GenericSpec {
 public:
  GenericSpec() = default;
  virtual ~GenericSpec();
  GenericSpec(const GenericSpec&) = delete;
  GenericSpec& operator=(const GenericSpec&) = delete;

  int32_t fId = 0;                  // the tag's "id"
  int32_t fLanguage = 0;            // the tag's "language", 0 when absent
  FixedStringBuffer<64> fName;      // the tag's "name", empty when absent
  TargetSpec* fTarget = nullptr;    // the object the spec applies to (not owned); may be null
  int32_t fLine = -1;               // the line of the tag, set by ParseCommonAttrs; -1 unknown
};

// One object definition ('OBJD') of the object file. The resource handle and the file are
// the file's: they are valid while the build's object file is open.
class TargetSpec : public GenericSpec {
 public:
  // fId is the resource's id and fName its name, as the file reports them.
  TargetSpec(iResFile* file, MHandle* handle);
  ~TargetSpec() override;

  MHandle* GetHandle() const { return fHandle; }
  iResFile* GetFile() const { return fFile; }

  // The definition decoded from the handle on first use and kept; null when the handle
  // cannot be read.
  ObjDefinition* GetDefinition();
  // Forgets the decoded definition; the next GetDefinition decodes the handle again.
  void DropDefinition() { fDefinition.reset(); }
  bool HasDefinition() const { return fDefinition != nullptr; }
  // With a decoded definition: stores it into its handle, writes the handle to the file and
  // drops the decoded copy. Ends the build when there is no valid file or handle, or the
  // write fails. Without a decoded definition nothing happens.
  void SaveDefinition();

 private:
  MHandle* fHandle;
  iResFile* fFile;
  std::unique_ptr<ObjDefinition> fDefinition;
};

// --- Reading a tag ----------------------------------------------------------------------

// The tag's name (entry 0), or "" for an empty tag.
const char* TagName(AttribTable& tag);
// The tag's first entry, the place of messages "at the tag"; null for an empty tag.
AttribEntry* TagPlace(AttribTable& tag);
// The line of an entry, as messages report it.
int32_t EntryLine(const AttribEntry* entry);
// The value text of an entry.
const char* EntryValue(const AttribEntry* entry);

// The inclusive range of the field in which an integer attribute is stored.
struct IntRange {
  int64_t min;
  int64_t max;
};
// Every 32-bit signed value.
constexpr IntRange kInt32Range{INT32_MIN, INT32_MAX};
// A resource id: the 16-bit unsigned id of the resource file.
constexpr IntRange kResourceIdRange{0, 0xFFFF};
// A language byte.
constexpr IntRange kLanguageRange{0, 0xFF};
// A 32-bit GUID, written either as an unsigned or as a signed decimal number.
constexpr IntRange kGuidRange{INT32_MIN, UINT32_MAX};

// Checks an integer an author wrote against the range of the field it is stored in, so that
// no value wraps into another (a resource id of 70000 would replace resource 4464). The value
// `entry` holds is read as "%d" reads it (leading blanks, a sign, digits; what follows the
// digits is ignored). Answers false when the text is not a number (`out` untouched). A number
// outside `range` ends the build at the entry's line with
// "value %s for key \"%s\" in tag \"%s\" out of range %lld to %lld".
bool CheckedInteger(AttribTable& tag, AttribEntry* entry, IntRange range, int64_t& out);

// The messages of the typed getters for text that is not a number (the key, the tag's name).
extern const char kIntegerExpected[];
extern const char kShortExpected[];
extern const char kLongExpected[];

// `key` as an integer of `range`: false when the tag lacks the key (`out` untouched); text that
// is not one whole decimal integer (blanks around it allowed; "12abc" and "0x10" are not)
// ends the build with `notANumber` (a getter's message); a number outside the range ends it
// with the range message of CheckedInteger.
bool GetRangedAttr(AttribTable& tag, const char* key, IntRange range, int64_t& out,
                   const char* notANumber = kIntegerExpected);
// The same into an i32 field (`range` lies within the i32 range).
bool GetRangedAttr(AttribTable& tag, const char* key, IntRange range, int32_t& out,
                   const char* notANumber = kIntegerExpected);

// The keys of GenericSpec: "id" is required ("id required" at the tag) and read as GetIntAttr
// reads it (text that is not a whole integer ends the build with its message; so does a
// number outside `idRange`, the range of the field the tag's id is stored in); "name" into
// fName (cleared when absent); "language" as GetIntAttr reads it, 0 when absent. fLine becomes
// the tag's line.
void ParseCommonAttrs(GenericSpec& spec, AttribTable& tag, IntRange idRange = kInt32Range);

// Ends the build with `message` at the line of the spec's tag ("line: N - "), or without a
// line for a spec that no tag made.
[[noreturn]] void ThrowErrorAtSpec(const char* message, const GenericSpec& spec);

// A whole decimal integer into an i32; a number outside the i32 range ends the build with the
// range message of CheckedInteger.
bool GetIntAttr(AttribTable& tag, const char* key, int32_t& out);
// Exactly "true" (1) or "false" (0).
bool GetBoolAttr(AttribTable& tag, const char* key, uint16_t& out);
// "%f" into an f32.
bool GetFloatAttr(AttribTable& tag, const char* key, float& out);
// A whole decimal integer read wide, then its low 16 bits.
bool GetShortAttr(AttribTable& tag, const char* key, uint16_t& out);
// A whole decimal integer read wide, then its low 32 bits (so a u32 GUID written in decimal
// keeps its bits).
bool GetLongAttr(AttribTable& tag, const char* key, int32_t& out);

// A warning about a resource file: "file: %s \nwarning: %s\n" with the file's path on the
// log stream, and the same text on the builder's sync buffer when it has one.
void PrintFileWarning(iResFile* file, const char* message);
