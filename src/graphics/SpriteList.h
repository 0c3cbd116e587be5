// The SPR# frame and sprite-list layouts that the compressor writes, and its result codes.
//
// SpriteList (a memory handle, little-endian): u32 version, u32 frame count, u32 palette id
// (0xFFFFFFFF for none), u32 offset of each frame from the start of the list, then the frames
// back to back. A frame's size is the next frame's offset minus its own (the list size for
// the last). The same container carries SPR2 frames (version 1000).
//
// SPR# frame (little-endian): u16 0, u16 0, u16 height, u16 width, u8 0, u8 frame flags, then
// byte tokens {code, count, data}, each starting at an even offset.
#pragma once

#include <cstdint>

// Result codes of the compressor (besides 0 and the memory-handle errors).
constexpr int32_t kCompressorSettingsErr = 1100;  // the settings are inconsistent
constexpr int32_t kSpriteListCountErr = 1101;     // merged lists differ in frame count
constexpr int32_t kSpriteListSizeErr = 1102;      // a merged frame differs in size
constexpr int32_t kFrameUnencodableErr = 1103;    // a run, line or count does not fit its field

// Versions a sprite list is made with.
constexpr uint32_t kSpriteListColorVersion = 502;   // colour frames
constexpr uint32_t kSpriteListMergedVersion = 503;  // z frames and merged colour-and-z lists
constexpr uint32_t kSpriteListSprite2Version = 1000;

constexpr uint32_t kSpriteListHeaderSize = 12;  // version, count, palette id
constexpr uint32_t kSprFrameHeaderSize = 10;

// SPR# token codes.
enum SprToken : uint8_t {
  kSprClearToken = 1,
  kSprRepeatToken = 2,
  kSprDrawToken = 3,
  kSprLineToken = 4,
  kSprEndToken = 5,
  kSprShadingToken = 7,
  kSprRepeatShadingToken = 8,
  kSprClearLinesToken = 9,
  kSprPatternToken1 = 10,
  kSprPatternToken2 = 11,
  kSprPatternToken3 = 12,
  kSprShadingToken2 = 13,
  kSprRepeatShadingToken2 = 14,
};

// SPR# frame flags (header byte 9).
constexpr uint8_t kSprFlagPattern3 = 0x01;
constexpr uint8_t kSprFlagPattern2 = 0x02;
constexpr uint8_t kSprFlagPattern1 = 0x04;
constexpr uint8_t kSprFlagShading = 0x08;
constexpr uint8_t kSprFlagRepeat = 0x10;
constexpr uint8_t kSprFlagPattern = 0x20;

// TrimFrames / GrowFrames sides.
constexpr uint8_t kTrimTop = 1;
constexpr uint8_t kTrimLeft = 2;
constexpr uint8_t kTrimBottom = 4;
constexpr uint8_t kTrimRight = 8;
