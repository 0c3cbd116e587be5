// The stages that write the resources of the smaller spec families: sounds, slots,
// headlines, attributes, skills, catalogs, tree tables and bitmap resources. Each runs over
// its spec list in list order; the build driver calls them in its fixed order. Every failure
// ends the build through ThrowError, except those that are warnings by design (a sound that
// cannot be removed, a bitmap file that cannot be read).
#pragma once

#include "StringBuffer.h"

class iResFile;
class SpecSet;

// -sounds: leaves the file with one 'FWAV' per sound spec and no other: the new sounds are
// saved first, then every old one they did not replace is removed. Writable check first, so
// a read-only file loses nothing; a sound that cannot be saved ends the build with nothing
// removed.
void WriteSoundsStage(SpecSet& specs, iResFile* file);
// -slot: writable check; every slots spec saves its labels and slots.
void WriteSlotsStage(SpecSet& specs, iResFile* file);
// -headline: writable check; loads the headline sheet (palette BMP and TGA) and compresses
// every headline spec's rows from it.
void WriteHeadlineStage(SpecSet& specs, iResFile* file, const StringBuffer& paletteFile,
                        const StringBuffer& tgaFile);
// -attr: writable check; every attributes spec saves its string set.
void WriteAttributesStage(SpecSet& specs, iResFile* file);
// -skills: writable check; the skill table saves its four string sets.
void WriteSkillsStage(SpecSet& specs, iResFile* file);
// -catalog: every catalog saves its thumbnails (from `catalogDir`) and definition words.
void WriteCatalogStage(SpecSet& specs, iResFile* file, const StringBuffer& catalogDir);
// -ttab: every tree-table spec saves its table and marks its menu texts.
void WriteTreeTableStage(SpecSet& specs);
// -bmps: every bitmap-resource spec stores its file (from `bitmapDir`).
void WriteBitmapStage(SpecSet& specs, iResFile* file, const StringBuffer& bitmapDir);
