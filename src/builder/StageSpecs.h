// Spec records of the smaller stages of the build: catalogs and bitmap resources, tree tables,
// sounds, slots, attribute strings, skill tables and headlines. The compiler places them in
// their spec lists, in list order, and makes the order checks of their tags; each record
// parses its own tags and writes its resources in its stage (see ResourceStages.h).
//
// Every failure ends the build through ThrowError (Terminate). Not thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "GenericSpec.h"
#include "ObjDefinition.h"
#include "Slots.h"
#include "StringBuffer.h"
#include "strset.h"

class Offscreen;
class SpecSet;
class TreeTable;

// Resource type of stored bitmap files, 'BMP_'.
constexpr uint32_t kBitmapResourceType = 0x424D505F;

// Reads the whole file `directory`/`fileName` (a "/" put between when the directory does
// not end in one) into a new resource (type, id, language) named after the file, in native
// order, and writes it. Returns 0, -1 when the file cannot be opened or read, or the memory
// or resource-file error; every failure is also a warning. The file keeps no handle.
// `fileFailed`, when given, is set when the bitmap was read but the object file did not take
// or write it (a missing bitmap is the author's to mend; a lost write is not).
int32_t AddBitmapResource(const StringBuffer& directory, const StringBuffer& fileName,
                          iResFile* file, uint32_t type, uint16_t id, uint8_t language,
                          bool* fileFailed = nullptr);

// Sets label `index` (from 0) of the set's current language: the set is first padded, while
// it holds `index` or fewer strings, with strings that read their own number counted from 0.
// False (nothing changed) for an index below 0 or beyond what a string set holds.
bool SetStringLabel(StringSet& set, int32_t index, const char* text);

// A "catalog" tag: the buy-catalog words of its target's definition and its thumbnails.
class CatalogSpec : public GenericSpec {
 public:
  ~CatalogSpec() override;
  void Parse(AttribTable& tag, SpecSet& specs);
  // Stores the thumbnail (and the popup bitmap) from `bitmapDir` as 'BMP_' resources of the
  // target's file, then copies the catalog words into the target's definition and saves it.
  void Save(const StringBuffer& bitmapDir, iResFile* file);

  FixedStringBuffer<260> fThumbnailFile;
  FixedStringBuffer<260> fPopupFile;
  std::unique_ptr<ObjDefinition> fWords;  // laid out as the definition's words
};

// A "bmpfile" tag: any bitmap file stored as a 'BMP_' resource.
class BMPResourceSpec : public GenericSpec {
 public:
  void Parse(AttribTable& tag);
  void Save(const StringBuffer& bitmapDir, iResFile* file);

  FixedStringBuffer<260> fFileName;
};

// A "ttab" tag and its "interaction" tags: the tree table of an object, renamed and saved
// with every interaction that the object-make file does not name marked as debug.
class TreeTableSpec : public GenericSpec {
 public:
  TreeTableSpec();
  ~TreeTableSpec() override;
  void Parse(AttribTable& tag, SpecSet& specs);
  void ParseInteraction(AttribTable& tag);
  void Save();

  std::unique_ptr<TreeTable> fTable;
  std::vector<int32_t> fInteractions;  // indexes named by "interaction" tags, in tag order
  iResFile* fFile = nullptr;           // the target's file
  int16_t fTableId = 0;                // the definition's tree-table id
  bool fUnreadable = false;            // a stored table was there but did not load
};

// A "sound" tag: one wave-file reference ('FWAV').
class SoundSpec : public GenericSpec {
 public:
  void Parse(AttribTable& tag);
  // The wave-file name, uncut (the spec's fName holds at most 63 characters).
  FixedStringBuffer<260> fWaveFile;
};

// A spec that owns a string set named after it.
class StringSpec : public GenericSpec {
 public:
  void Parse(AttribTable& tag);
  bool SetLabel(int32_t index, const char* text) { return SetStringLabel(fStrings, index, text); }

  StringSet fStrings;
};

// A "slots" tag and its "slot" tags: 'SLOT' fId and the labels in 'STR#' 257.
class SlotsSpec : public StringSpec {
 public:
  void Parse(AttribTable& tag, iResFile* file);
  void ParseSlot(AttribTable& tag);
  void Save(iResFile* file);

  std::vector<SlotDescriptor> fDescriptors;
};

// An "attributes" tag and its "attribute" tags: a labelled 'STR#' fId.
class AttrStringSpec : public StringSpec {
 public:
  void ParseAttribute(AttribTable& tag);
  void Save(iResFile* file);
};

// The "skill table" tag and its "skill" tags: four string sets of skills, 'STR#' 129 to 132.
class SkillTable : public GenericSpec {
 public:
  static constexpr int32_t kSetCount = 4;
  void Parse(AttribTable& tag);
  void ParseSkill(AttribTable& tag);
  void Save(iResFile* file);

  StringSet fSets[kSetCount];
};

// A "headline" tag: rows of the one headline sheet compressed into 'SPR#' fId.
class HeadlineSpec : public GenericSpec {
 public:
  // `counter` (in/out) is the row after the previous headline's.
  void Parse(AttribTable& tag, int32_t& counter);
  void WriteHeadlineSprites(Offscreen* colour, Offscreen* alpha, iResFile* file);

  int32_t fFirstRow = 0;
  int32_t fRowCount = 1;
};
