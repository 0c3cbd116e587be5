#include "TileTestSupport.h"

#include <sys/wait.h>

#include <cstdlib>
#include <cstring>

#include "IFFResFile2.h"
#include "MHandle.h"
#include "StringBuffer.h"

TileRun RunMorvikIn(const TestTempFolder& folder, const std::vector<std::string>& args) {
  std::string command = "cd '" + folder.Path() + "' && '" + std::string(MORVIK_PATH) + "'";
  for (const std::string& arg : args) command += " '" + arg + "'";
  const std::string outPath = folder / "morvik-out.txt";
  const std::string errPath = folder / "morvik-err.txt";
  command += " >'" + outPath + "' 2>'" + errPath + "'";
  const int status = std::system(command.c_str());
  TileRun run;
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = TestTempFolder::ReadFile(outPath);
  run.err = TestTempFolder::ReadFile(errPath);
  return run;
}

std::string MakeEmptyObjectFile(const TestTempFolder& folder, const std::string& name) {
  const std::string path = folder / name;
  IFFResFile2 file;
  file.Create(FixedStringBuffer<260>(path.c_str()));
  return path;
}

StoredResource ReadStoredResource(const std::string& objectFile, uint32_t type, uint16_t id) {
  StoredResource result;
  IFFResFile2 file;
  if (file.Open(FixedStringBuffer<260>(objectFile.c_str())) != 0) return result;
  MHandle* h = file.GetResource(type, id);
  if (h == nullptr) return result;
  result.found = true;
  const int32_t size = HGetSize(h);
  const char* data = HLock(h);
  result.bytes.assign(data, data + size);
  HUnlock(h);
  FixedStringBuffer<260> name;
  file.GetResName(h, name);
  result.name = name.c_str();
  result.native = file.IsNativeOrder(h);
  return result;
}

std::vector<uint16_t> ResourceIds(const std::string& objectFile, uint32_t type) {
  std::vector<uint16_t> ids;
  IFFResFile2 file;
  if (file.Open(FixedStringBuffer<260>(objectFile.c_str())) != 0) return ids;
  const int16_t count = file.Count(type);
  for (int16_t i = 1; i <= count; ++i) {
    MHandle* h = file.GetIndResource(type, static_cast<uint16_t>(i));
    if (h == nullptr) continue;
    int16_t id = 0;
    file.GetResID(h, id);
    ids.push_back(static_cast<uint16_t>(id));
  }
  return ids;
}

std::vector<TestRGB> DistinctPalette() {
  std::vector<TestRGB> palette(256);
  for (int i = 0; i < 256; ++i) {
    palette[i] = TestRGB{uint8_t(i), uint8_t(255 - i), uint8_t((i * 37) & 255)};
  }
  return palette;
}

TestImage8 FilledImage8(int32_t width, int32_t height, uint8_t fill) {
  TestImage8 image;
  image.width = width;
  image.height = height;
  image.pixels.assign(size_t(width) * size_t(height), fill);
  image.palette = DistinctPalette();
  return image;
}

void FillRect8(TestImage8& image, int32_t left, int32_t top, int32_t right, int32_t bottom, uint8_t index) {
  for (int32_t y = top; y < bottom; ++y) {
    std::memset(&image.pixels[size_t(y) * size_t(image.width) + size_t(left)], index, size_t(right - left));
  }
}

std::vector<TestRGBA> FilledRGBA(int32_t width, int32_t height, TestRGBA fill) {
  return std::vector<TestRGBA>(size_t(width) * size_t(height), fill);
}

void FillRectRGBA(std::vector<TestRGBA>& pixels, int32_t width, int32_t left, int32_t top, int32_t right,
                  int32_t bottom, TestRGBA colour) {
  for (int32_t y = top; y < bottom; ++y) {
    for (int32_t x = left; x < right; ++x) pixels[size_t(y) * size_t(width) + size_t(x)] = colour;
  }
}
