#include "ImageLoadAhead.h"

#include <utility>

#include "MakeSPR.h"
#include "ReportCapture.h"
#include "Sprite2Compressor.h"
#include "StringBuffer.h"

ImageLoadAhead::~ImageLoadAhead() {
  if (!fThread.joinable()) return;
  {
    std::lock_guard<std::mutex> hold(fLock);
    fQuit = true;
  }
  fChanged.notify_all();
  fThread.join();
}

void ImageLoadAhead::Start(const SheetFiles& files) {
  {
    std::unique_lock<std::mutex> hold(fLock);
    fChanged.wait(hold, [this] { return !fPending; });
    fFiles = files;
    fLoaded = false;
    fPending = true;
  }
  if (!fThread.joinable()) fThread = std::thread([this] { Run(); });
  fChanged.notify_all();
}

bool ImageLoadAhead::Take(const SheetFiles& files, Offscreen* colour, Offscreen* depth) {
  std::unique_lock<std::mutex> hold(fLock);
  fChanged.wait(hold, [this] { return !fPending; });
  const bool taken = fLoaded && fFiles == files;
  fLoaded = false;
  if (!taken) {
    // The build loads the sheet again: what this load made must not stay beside it.
    if (fColour.Exists()) fColour.Dispose();
    if (fDepth.Exists()) fDepth.Dispose();
    return false;
  }
  // The loaded worlds go to the build with the global palette, the build's last ones come here
  // with this palette, so that each thread's palette objects are selected only in its own
  // worlds. The global palette gets the colours that loading the palette BMP gives it.
  PalWrap* global = GetGlobalPalette();
  global->Create(fPalette.GetColors(), 0);
  colour->Swap(fColour);
  depth->Swap(fDepth);
  colour->UsePalette(global);
  depth->UsePalette(global);
  fColour.UsePalette(&fPalette);
  fDepth.UsePalette(&fPalette);
  return true;
}

void ImageLoadAhead::Run() {
  std::unique_lock<std::mutex> hold(fLock);
  for (;;) {
    fChanged.wait(hold, [this] { return fQuit || fPending; });
    if (fQuit) return;
    hold.unlock();
    const bool loaded = RunReportingNothing([this] { return Load(); });
    hold.lock();
    fLoaded = loaded;
    fPending = false;
    fChanged.notify_all();
  }
}

bool ImageLoadAhead::Load() {
  const FixedStringBuffer<260> palettePath(fFiles.palettePath.c_str());
  const FixedStringBuffer<260> sourcePath(fFiles.sourcePath.c_str());
  // What the build does for a sheet: the palette BMP's colours, the pixels, the depth's
  // clean-up.
  if (fFiles.isBmp && fDepth.Exists()) fDepth.Dispose();
  RenderImageFileWithPalette(&fPalette, &palettePath, fFiles.isBmp ? nullptr : &sourcePath,
                             &fColour, &fDepth, 0);
  if (!fColour.Exists() || fPalette.GetColors() == nullptr) return false;
  CleanUpZBuffer(&fColour, &fDepth);
  return true;
}

SheetPrefetch::SheetPrefetch(std::vector<Load> loads, int32_t threads)
    : fLoads(std::move(loads)), fLoaderOf(fLoads.size(), -1) {
  for (int32_t i = 0; i < threads; i++) {
    fLoaders.push_back(std::make_unique<ImageLoadAhead>());
    StartNext(fLoaders.size() - 1);
  }
}

void SheetPrefetch::StartNext(size_t loader) {
  while (fNextStart < fLoads.size() && !fLoads[fNextStart].ahead) fNextStart++;
  if (fNextStart == fLoads.size()) return;
  fLoaderOf[fNextStart] = int32_t(loader);
  fLoaders[loader]->Start(fLoads[fNextStart].files);
  fNextStart++;
}

bool SheetPrefetch::Take(size_t n, Offscreen* colour, Offscreen* depth) {
  if (n >= fLoads.size() || fLoaderOf[n] < 0) return false;
  const size_t loader = size_t(fLoaderOf[n]);
  fLoaderOf[n] = -1;
  const bool taken = fLoaders[loader]->Take(fLoads[n].files, colour, depth);
  StartNext(loader);
  return taken;
}
