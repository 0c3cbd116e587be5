// The object-make compiler's container: one list per kind of spec record, filled once from
// the tags of an object-make file by ParseSpecTags and read by the build stages. Lists keep
// tag order, except catalogs, tree tables, bitmap resources, wall styles and headlines,
// which hold the last tag first; the stages write in list order. The set owns every spec.
//
// Targets are the object definitions ('OBJD') of the object file that the tags speak of.
// The object file is not owned; it and the targets' handles are valid while the build's
// object file is open.
//
// Every failure ends the build through ThrowError (Terminate). Not thread-safe.
#pragma once

#include <cstdint>
#include <cstdio>
#include <unordered_map>

#include "attribtable.h"
#include "DGRPSpec.h"
#include "GenericSpec.h"
#include "SpriteSpec.h"
#include "StageSpecs.h"
#include "WallStyleSpriteSpec.h"
#include "ptrlist.h"

class iResFile;

class SpecSet {
 public:
  explicit SpecSet(iResFile* file);
  ~SpecSet();  // deletes every spec of every list
  SpecSet(const SpecSet&) = delete;
  SpecSet& operator=(const SpecSet&) = delete;

  // Compiles the tags in file order into the lists (see the table of tags in SpecSet.cpp),
  // then checks the pair groups.
  void ParseSpecTags(AttribTableList& tags);

  // Checks every pair group of the sprites and completes it in the draw groups that use it.
  void ResolvePairGroups();

  // With exactly one 'OBJD' in the object file: that object's target (registered when the
  // list is empty), else null.
  TargetSpec* GetDefaultTarget();
  // The target named by a tag's "guid" (a warning and null when no object has it) or
  // "object" name.
  TargetSpec* GetTargetForTag(AttribTable& tag);
  // The target of an 'OBJD' handle of the object file, made and registered when new.
  TargetSpec* GetTarget(MHandle* handle);

  iResFile* GetFile() const { return fFile; }

  // The graphics stage: compresses every sprite spec (in file order) whose draw groups the
  // builder asks for into an SPR2 or SPR# resource of `file`, with its palette, from the
  // images in `graphicsDir`, and gives the draw groups their draw offsets.
  void RenderSprites(iResFile* file, const StringBuffer& graphicsDir);
  // Saves every draw group that the current builder asks for (all when it names none) as
  // 'DGRP' under its spec's id and name.
  void WriteDrawGroups();
  // Prints the draw-group table: "DGroupNum\tName\tDescription", then one row per draw
  // group that has a view for direction 0, zoom 1.
  void PrintDrawGroups(FILE* out);

  PtrList<SpriteSpec> fSprites;             // "sprite" and "headline" tags, file order
  // The first sprite spec of each id, kept as ParseSpecTags adds them to fSprites, so that
  // FindSpriteSpec costs one look-up rather than a walk of the list.
  std::unordered_map<int32_t, SpriteSpec*> fFirstSpriteOfId;
  PtrList<DGRPSpec> fDrawGroups;            // file order
  RenderSpec fSpriteSizes;                  // the latest "sizes" tag
  PtrList<SoundSpec> fSounds;               // file order
  PtrList<SlotsSpec> fSlots;                // file order
  PtrList<HeadlineSpec> fHeadlines;         // last tag first
  PtrList<AttrStringSpec> fAttributes;      // file order
  PtrList<SkillTable> fSkillTables;         // file order (one at most)
  PtrList<TargetSpec> fTargets;             // registration order
  PtrList<CatalogSpec> fCatalogs;           // last tag first
  PtrList<TreeTableSpec> fTreeTables;       // last tag first
  PtrList<BMPResourceSpec> fBitmaps;        // last tag first
  PtrList<WallStyleSpriteSpec> fWallStyles; // last tag first
  RenderSpec fHeadlineSizes;                // headline defaults

 private:
  iResFile* fFile;
};

// The spec set of the current builder, or null when no build runs or it has no set. Spec
// parsers that need the target of their own tag reach the set through it.
SpecSet* CurrentSpecSet();
