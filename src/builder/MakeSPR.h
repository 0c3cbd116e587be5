// Image loading for every stage that reads art, and the helpers that turn frame rectangles of
// a loaded image into sprite lists: RenderImageFile loads a BMP (which also sets the global
// palette) and a TGA into a colour world and a second world holding the TGA's alpha channel,
// used as depth by the sprite encoders. MakeSpriteList builds an SPR# list; TrimSprite2Frames
// prepares the rectangles of an SPR2 list.
//
// Failures end the build: they throw Terminate through ThrowError. Not thread-safe: the
// global palette and the program-wide compressor serve one build at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "Compressor.h"
#include "MHandle.h"
#include "MacRect.h"
#include "PlatformFile.h"
#include "ptrlist.h"
#include "StringBuffer.h"

class Offscreen;
class PalWrap;

// Loads `bmpPath` and/or `tgaPath` (either may be null) into `colour` and `second`, opening
// each file once:
//  - a BMP replaces the global palette's colours; an 8-bit BMP also gives the colour indices;
//  - a TGA creates the colour world at its size and, for a 32-bit TGA, the second world with
//    its alpha channel; its colours are matched to the global palette unless the BMP gave the
//    indices or `colourFromTgaOff` is set. Worlds given that already have the image's size
//    keep their memory and get every pixel anew; a 24-bit TGA disposes the second world.
// Throws "could not open tga file" (with the path, the reader's code and its meaning), "could
// not make offscreen", "could not make z offscreen", "couldn't open BMP file", "bad bmp width"
// and "bad bmp height" (a BMP whose size differs from the TGA's; with both names and sizes).
void RenderImageFile(const StringBuffer* bmpPath, const StringBuffer* tgaPath, Offscreen* colour,
                     Offscreen* second, uint16_t colourFromTgaOff);
// RenderImageFile on `palette` instead of the global palette: `palette` gets the colours of
// `bmpPath` as the global palette would, the worlds are made with it and a TGA's colours are
// matched to it. Touches no process-wide state, so it may run on a thread of its own.
void RenderImageFileWithPalette(PalWrap* palette, const StringBuffer* bmpPath,
                                const StringBuffer* tgaPath, Offscreen* colour, Offscreen* second,
                                uint16_t colourFromTgaOff);

// The check that image stages make after RenderImageFile: without a colour world the build
// stops with "cant make walls without tga".
void CheckImageRendered(Offscreen* colour);

// 1 when `stream` holds an 8-bit BMP (the stream is then left after the two headers, and
// `count` holds its colour count), else 0 with the stream back where it was.
uint16_t GetBMPColorCount(PlatformFile* stream, int32_t& count);

// The compressor settings of colour frames: clear colour `clearValue` when `colour` exists
// (else the global palette's nearest colour to pure blue), repeat runs of 8 or more, and
// suppression to the usable range of the global palette.
CompressorSettings MakeColourSettings(Offscreen* colour, uint8_t clearValue);
// The settings of depth frames: clear value 255, repeat runs of 8 or more.
CompressorSettings MakeDepthSettings();

// An SPR# sprite list of the frames `rects` of `colour` (and, when `second` exists, their
// depth frames merged after them), in big-endian order. `trimmed` must be empty; it receives
// the rectangles trimmed on `sides` (1 top, 2 left, 4 bottom, 8 right). The caller owns the
// handle.
MHandle* MakeSpriteList(Offscreen* colour, Offscreen* second, const std::vector<MacRect>& rects,
                        std::vector<MacRect>& trimmed, uint8_t sides, uint32_t paletteId,
                        uint16_t emptyToZero);

// Compresses `count` frames of `colour` (version 502) and, when `second` exists, of `second`
// (version 503, merged after the colour frames), and swaps the list to big-endian order.
MHandle* CompressFramesToSpriteList(const MacRect* rects, uint16_t count, Offscreen* colour,
                                    Offscreen* second, uint8_t clearValue, uint32_t paletteId);

// Copies `rects` into `trimmed` and trims them past the depth world's clear border on
// `sides`. Throws when a rectangle does not lie inside the world.
void TrimSprite2Frames(Offscreen* depth, const std::vector<MacRect>& rects,
                       std::vector<MacRect>& trimmed, uint8_t sides, uint32_t emptyToZero);
// The checks of TrimSprite2Frames alone: throws when a rectangle does not lie inside the
// world, or when there are too many.
void CheckSprite2Frames(Offscreen* depth, const std::vector<MacRect>& rects);
// One rectangle trimmed as TrimSprite2Frames trims each, with a compressor of the calling
// thread's own: frames of one world may be trimmed on several threads.
MacRect TrimSprite2Frame(Offscreen* depth, const MacRect& rect, uint8_t sides,
                         uint32_t emptyToZero);

// Swaps a sprite list of `size` bytes from host to big-endian order in place: its header, its
// offsets and the first four 16-bit words of every frame. Offsets that do not point at a
// whole frame header inside the list are left alone.
void SwapSpriteListToBigEndian(uint8_t* list, int32_t size);

// One record of a rect file: an SPR# id and its frame rectangles.
struct RectRecord {
  uint16_t fSpriteId = 0;
  std::vector<MacRect> fRects;
};

// Reads a rect file: lines "<id>:" start a record, lines "left top right bottom" add a
// rectangle to it. Failures throw "%s in file %s on line %d". The caller deletes the records.
void ReadRectFile(const char* path, PtrList<RectRecord>& records);

// Throws `message`.
[[noreturn]] void ReportError(const char* message);
// Throws "%s in file %s on line %d".
[[noreturn]] void ReportFileLineError(const char* message, const char* file, int32_t line);
// Throws "%s : %s : error #%d".
[[noreturn]] void ReportFileCodeError(const char* message, const char* file, int32_t code);
// Throws "%s : %s : error #%d (%s)", the last the TGA reader's words for `code`.
[[noreturn]] void ReportTGAError(const char* message, const char* file, int32_t code);
// Throws "bad bmp width" (or "bad bmp height" when only the heights differ), followed by both
// files' names and sizes.
[[noreturn]] void ReportBMPSizeMismatch(const char* bmpPath, int32_t bmpWidth, int32_t bmpHeight,
                                        const char* tgaPath, int32_t tgaWidth, int32_t tgaHeight);

// Debugging helpers with no caller in the build.
// Loads `bmpPath` and `tgaPath`, makes an SPR# list of `rects` and writes its bytes to `outPath`.
void WriteSpriteListFile(const char* bmpPath, const char* tgaPath, const std::vector<MacRect>& rects,
                         const char* outPath);
// Writes the palette of `world` as 256 lines "r,g,b".
void DumpPalette(Offscreen* world, FILE* out);
// Writes `world` as text, one line per row, one character per pixel.
void DumpWorld(Offscreen* world, FILE* out);
