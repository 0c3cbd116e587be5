// Test images for the floor and thick-wall makers: an index image with a known block of
// colour in each tile rectangle, as an offscreen world or as BMP/TGA files, the check of a
// decoded frame against the image it was cut from, and a count of the live memory
// handles.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ImageWriters.h"
#include "MHandle.h"
#include "MakeFloors.h"
#include "SpriteDecoders.h"
#include "offscrn.h"

// Palette indices of an image, top row first; index 0 (the top-left pixel) is clear.
struct TileImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> index;
  TileImage(int w, int h) : width(w), height(h), index(size_t(w) * h, 0) {}
  uint8_t& At(int x, int y) { return index[size_t(y) * width + x]; }
  uint8_t At(int x, int y) const { return index[size_t(y) * width + x]; }
  // Fills `r` inset by `inset` with a pattern of indices 10 to 209 that never repeats in a row.
  void FillBlock(const MacRect& r, int inset, int seed) {
    for (int y = r.top + inset; y < r.bottom - inset && y < height; y++) {
      for (int x = r.left + inset; x < r.right - inset && x < width; x++) {
        At(x, y) = uint8_t(10 + (x * 7 + y * 3 + seed) % 200);
      }
    }
  }
};

// The floor image: each zoom's tile rectangle that fits holds a block inset by 2.
inline TileImage FloorImage(int width, int height) {
  TileImage image(width, height);
  for (int zoom = 1; zoom <= 3; zoom++) {
    MacRect r = {0, 0, 0, 0};
    FloorTileRect(r, zoom);
    if (r.right <= width && r.bottom <= height) image.FillBlock(r, 2, zoom);
  }
  return image;
}

inline bool ImageToWorld(const TileImage& image, Offscreen& world) {
  if (!world.Create(MacRect{0, 0, int16_t(image.height), int16_t(image.width)})) return false;
  uint8_t* row = world.GetBaseAddr();
  for (int y = 0; y < image.height; y++, row += world.GetRowBytes()) {
    for (int x = 0; x < image.width; x++) row[x] = image.At(x, y);
  }
  return true;
}

inline bool MakeFloorWorld(Offscreen& world, int width, int height) {
  return ImageToWorld(FloorImage(width, height), world);
}

inline uint8_t WorldPixel(Offscreen& world, int x, int y) {
  return world.GetBaseAddr()[int64_t(y) * world.GetRowBytes() + x];
}

// A floor frame is the zoom's block: the tile rectangle trimmed by 2 on every side, every
// pixel drawn in the image's colour, its origin 2, 2 from the tile rectangle.
inline void ExpectFloorFrame(const TileImage& image, int zoom, const spritedec::Spr2Frame& frame) {
  MacRect r = {0, 0, 0, 0};
  FloorTileRect(r, zoom);
  EXPECT_EQ(frame.width, r.right - r.left - 4) << zoom;
  EXPECT_EQ(frame.height, r.bottom - r.top - 4) << zoom;
  EXPECT_EQ(frame.originX, 2);
  EXPECT_EQ(frame.originY, 2);
  EXPECT_EQ(frame.flags, spritedec::kColorData);
  int wrong = 0;
  for (int y = 0; y < frame.height; y++) {
    for (int x = 0; x < frame.width; x++) {
      const spritedec::Spr2Pixel& p = frame.At(x, y);
      if (!p.visible || p.colour != image.At(r.left + 2 + x, r.top + 2 + y)) wrong++;
    }
  }
  EXPECT_EQ(wrong, 0) << "zoom " << zoom;
}

inline void ExpectFloorFrame(Offscreen& world, int zoom, const spritedec::Spr2Frame& frame) {
  int32_t width = 0;
  int32_t height = 0;
  world.GetSize(width, height);
  TileImage image(width, height);
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) image.At(x, y) = WorldPixel(world, x, y);
  }
  ExpectFloorFrame(image, zoom, frame);
}

// A palette whose entries are all distinct, so that TGA colours match back to their indices.
inline std::vector<TestRGB> TilePalette(int shift = 0) {
  std::vector<TestRGB> p(256);
  for (int i = 0; i < 256; i++) p[i] = {uint8_t(i), uint8_t(255 - i), uint8_t((i * 7 + shift) & 255)};
  return p;
}

inline std::vector<uint8_t> TileBmp(const TileImage& image, const std::vector<TestRGB>& palette) {
  TestImage8 bmp;
  bmp.width = image.width;
  bmp.height = image.height;
  bmp.pixels = image.index;
  bmp.palette = palette;
  return WriteBMP8(bmp);
}

// A TGA of the image's colours; 32-bit with `alpha` (one value per pixel) when given.
inline std::vector<uint8_t> TileTga(const TileImage& image, const std::vector<TestRGB>& palette,
                                    const std::vector<uint8_t>* alpha) {
  std::vector<TestRGBA> pixels(image.index.size());
  for (size_t i = 0; i < pixels.size(); i++) {
    const TestRGB c = palette[image.index[i]];
    pixels[i] = {c.r, c.g, c.b, alpha ? (*alpha)[i] : uint8_t(255)};
  }
  TGAWriteOptions options;
  options.bits = alpha ? 32 : 24;
  return WriteTGA(image.width, image.height, pixels, options);
}

// Handles alive in the process now.
inline int LiveHandleCount() {
  char* text = nullptr;
  size_t size = 0;
  FILE* stream = open_memstream(&text, &size);
  ReportUndeletedMHandles(stream);
  std::fclose(stream);
  int count = 0;
  for (size_t i = 0; i + 1 < size; i++) {
    if ((i == 0 || text[i - 1] == '\n') && text[i] == 'i' && text[i + 1] == ':') count++;
  }
  std::free(text);
  return count;
}

