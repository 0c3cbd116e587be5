// Helpers of the tile-maker tests: a run of the real morvik program with both output streams,
// the resources of an object file read back, and the tile images they are made from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ImageWriters.h"
#include "TestTempFolder.h"

// What a run of morvik left: exit code (-1 when it did not exit) and its two output streams.
struct TileRun {
  int code = -1;
  std::string out;
  std::string err;
};

// Runs morvik with `args` in `folder` (its working folder, so relative names are found there).
TileRun RunMorvikIn(const TestTempFolder& folder, const std::vector<std::string>& args);

// Makes an empty IFF 2.x object file `name` in `folder`; returns its path.
std::string MakeEmptyObjectFile(const TestTempFolder& folder, const std::string& name);

// One resource of an object file as stored.
struct StoredResource {
  bool found = false;
  std::vector<uint8_t> bytes;
  std::string name;
  bool native = false;
};

StoredResource ReadStoredResource(const std::string& objectFile, uint32_t type, uint16_t id);
// The ids of every resource of `type`, in the file's order.
std::vector<uint16_t> ResourceIds(const std::string& objectFile, uint32_t type);

// A grey-ramp palette (index i is i, i, i) with one bright colour per index from 1 up, so
// that every index is a distinct colour.
std::vector<TestRGB> DistinctPalette();

// An 8-bit image of `width` x `height` filled with `fill`.
TestImage8 FilledImage8(int32_t width, int32_t height, uint8_t fill);
// Fills the rectangle [left, right) x [top, bottom) of `image` with `index`.
void FillRect8(TestImage8& image, int32_t left, int32_t top, int32_t right, int32_t bottom, uint8_t index);

// RGBA pixels of `width` x `height`, all `fill`.
std::vector<TestRGBA> FilledRGBA(int32_t width, int32_t height, TestRGBA fill);
void FillRectRGBA(std::vector<TestRGBA>& pixels, int32_t width, int32_t left, int32_t top, int32_t right,
                  int32_t bottom, TestRGBA colour);
