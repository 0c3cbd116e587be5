// Sprite rendering: the graphics stage turns every sprite spec of the object-make file into
// an SPR2 (colour and depth, plus alpha when an alpha image exists) or SPR# resource of the
// object file, with the PALT palette it names, and tells the draw groups where each view
// stands. SpecSet::RenderSprites drives it; failures throw Terminate.
//
// Image files of a source path S: the palette BMP is S less its last three characters
// followed by "bmp"; the alpha image is S less its last four characters followed by
// "alpha.tga"; the mask is the graphics directory followed by the spec's mask name.
//
// Not thread-safe: one build at a time uses the global palette and the compressor.
#pragma once

#include <cstdint>
#include <string>

#include "ptrlist.h"

class DGRPSpec;
class FramePool;
struct SpriteLookahead;
class ObjectBuilder;
class Offscreen;
class SpriteSpec;
class iResFile;

// The draw-group filter: true when `builder` asks for every draw group, or when one of the
// draw groups it asks for shows `sprite`.
bool ShouldRenderSprite(ObjectBuilder* builder, SpriteSpec* sprite);

// Clears the pixels of `destination` from row `firstRow` on wherever the mask holds its clear
// value (its top-left pixel). Throws "no destination to apply mask", "no mask to apply" and
// "mask too large or sprite file too small".
void ApplyMask(Offscreen* destination, Offscreen* mask, int32_t firstRow);

// Compresses the sprite's cells: an SPR2 list (colour and depth) when `depth` holds an image,
// else an SPR# list; adds it to `file`, then writes the spec's palette when it names one
// (unless the build's lookahead shows the file's record of that palette already holds it).
// With a pool, the frames are encoded on its threads; the list is the same. With a lookahead
// that names the next sprite, its frames are encoded on its pool while this sprite is written.
void CompressSprites(iResFile* file, Offscreen* colour, Offscreen* depth, SpriteSpec* sprite,
                     FramePool* pool = nullptr, SpriteLookahead* lookahead = nullptr);

// The same with an alpha image: always an SPR2 list of colour, depth and alpha. A sprite
// without depth stops the build with "only supports alpha sprites with z at this time".
void CompressAlphaSprites(iResFile* file, Offscreen* colour, Offscreen* depth, Offscreen* alpha,
                          SpriteSpec* sprite, FramePool* pool = nullptr,
                          SpriteLookahead* lookahead = nullptr);

// Gives the sprite's draw offsets to every draw group of `groups`, in list order.
void UpdateDrawGroupsForSprite(PtrList<DGRPSpec>& groups, SpriteSpec* sprite);

// True when `path` opens for reading.
bool FileReadable(const std::string& path);

// `path` less its last `drop` characters, then `tail`: how a sheet names its palette file
// (drop 3, "bmp") and its alpha image (drop 4, "alpha.tga").
std::string ReplaceTail(const std::string& path, size_t drop, const char* tail);
