// File sets: one path without extension standing for several component files that share it
// and differ in extension (an IFF file with an object's definitions, a second IFF file with
// its sprites, a folder of loose resources). A table of registered component kinds, each a
// resource-file class and an extension, drives Open, Create and Delete; the components that
// Open finds become the members of the chain, which the set owns: it makes them at Open and
// deletes them at Close and in its destructor.
//
// StdResFile is the set the builder uses: IFF 2.x and IFF 1.0 files with the extensions ".iff"
// and ".spf", and folders of loose resources with ".dir". With both an ".iff" and an ".spf"
// file open, sprites, draw groups, palettes and bitmaps go to the ".spf" file and everything
// else to the ".iff" file.
//
// Not thread-safe: one owner at a time.
#pragma once

#include <cstdint>

#include "ChainResFile.h"
#include "StringBuffer.h"

// No registered component applied to the path, or none was opened, created or deleted, and no
// component gave another error.
constexpr int32_t noComponentErr = -250;

// Kinds of component file.
enum : uint32_t {
  kEndFileKind = 0,      // ends the table
  kIFFFileKind = 1,      // IFFResFile, IFF 1.0
  kIFF2FileKind = 2,     // IFFResFile2, IFF 2.x
  kResolveFileKind = 3,  // ResolveResFile, a folder of loose resources
};

// One registration: a kind and its extension, leading '.' included (".iff").
struct SeqFileType {
  uint32_t fKind = kEndFileKind;
  FixedStringBuffer<8> fExtension;
};

class SeqResFile : public ChainResFile {
 public:
  static constexpr int32_t kMaxFileTypes = 8;

  SeqResFile();              // No registrations, no members.
  ~SeqResFile() override;    // Deletes every member, last one first (which closes it).

  // Empties the registration table.
  void ClearFileTypes();
  // Appends a registration. A full table ("not enough space for types") or a kind outside
  // 0..3 ("bad file type") raises the assertion and leaves the table unchanged.
  void AddFileType(uint32_t kind, const char* extension);
  int32_t CountFileTypes() const;

  // Adapts `path` to the registration: false for the end entry or an extension that is not a
  // '.' and at least one more character. A path without extension gets the registration's
  // appended (false when the path names no file, or the longer path would not fit); a path
  // with one fits exactly when its extension equals the registration's, A-Z case ignored.
  static bool MakeComponentPath(StringBuffer& path, const SeqFileType& entry);

  // Closes the set, then opens each registration's component of `path` in table order; each
  // one that opens becomes the next member. noErr when at least one opened, else the last
  // failure (noComponentErr when no registration fits the path).
  int32_t Open(const StringBuffer& path) override;
  // Creates each extension's component once, by its first registration; created files are
  // left closed. fileExistsErr ends Create at once. noErr when at least one was created.
  // alreadyOpenErr while the set has members.
  int32_t Create(const StringBuffer& path) override;
  // Deletes every registration's component of `path`. readOnlyErr or noTakerErr ends Delete
  // at once. noErr when at least one was deleted. alreadyOpenErr while the set has members.
  int32_t Delete(const StringBuffer& path) override;
  // Closes every member (the result is the chain's), then deletes them all.
  int32_t Close() override;
  // The first member's path without its extension; `path` is left as it is when no member is
  // open.
  void GetName(StringBuffer& path) override;

 protected:
  // A new, closed component file of `kind`; null for kEndFileKind or an unknown kind.
  static iResFile* MakeComponent(uint32_t kind);

 private:
  void DeleteMembers(bool lastFirst);

  SeqFileType fTypes[kMaxFileTypes + 1];
};

class StdResFile : public SeqResFile {
 public:
  // Registers, in this order: IFF 2.x ".iff", IFF 2.x ".spf", IFF 1.0 ".iff", IFF 1.0 ".spf",
  // folder ".dir".
  StdResFile();

  // SeqResFile::Open, then, when both an ".iff" and an ".spf" member are open, the sprite
  // types ('SPR#', 'DGRP', 'PALT', 'BMP_', 'SPR2') go to the ".spf" member only and every
  // other type to the ".iff" member.
  int32_t Open(const StringBuffer& path) override;
};
