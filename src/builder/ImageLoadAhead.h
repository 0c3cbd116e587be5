// Loading the next sheet of a sprite build while the current one is compressed and written.
//
// The graphics stage loads a sheet (its palette BMP, its TGA or BMP pixels, the TGA's alpha
// channel as depth) and cleans up the depth, then cuts and compresses the sheet's sprites. An
// ImageLoadAhead does the loading of the sheet that comes next on a thread of its own, into
// worlds and a palette of its own, so that reading the files overlaps the compression.
//
// Nothing of the build depends on it: the result is handed over only when the load reported
// nothing (RunReportingNothing: no assertion, no error, no debug text, no depth pixel left
// unfilled, which the build reports as it goes). In every other case Take answers false, having
// released what the load made, and the build loads the sheet itself, in its place in the log,
// as before: it never holds two loads of one sheet. The thread touches no process-wide state:
// the global palette gets the sheet's colours from Take, on the build's thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "offscrn.h"
#include "palwrap.h"

// The files of one load: the palette BMP, and the TGA unless the sheet is a BMP.
struct SheetFiles {
  std::string palettePath;
  std::string sourcePath;
  bool isBmp = false;
  bool operator==(const SheetFiles& other) const {
    return palettePath == other.palettePath && sourcePath == other.sourcePath &&
           isBmp == other.isBmp;
  }
};

class ImageLoadAhead {
 public:
  ImageLoadAhead() = default;
  ~ImageLoadAhead();  // waits for a load under way and ends the thread
  ImageLoadAhead(const ImageLoadAhead&) = delete;
  ImageLoadAhead& operator=(const ImageLoadAhead&) = delete;

  // Starts loading `files`; a result not taken yet is dropped first.
  void Start(const SheetFiles& files);
  // Waits for the load started last. When it was of `files` and went quietly, the loaded
  // worlds change places with `colour` and `depth` (whose memory the next load reuses), the
  // global palette gets the sheet's colours as the build's own load would give it, and the
  // answer is true. Otherwise the build's worlds are left alone, the load's are released, and
  // the answer is false.
  bool Take(const SheetFiles& files, Offscreen* colour, Offscreen* depth);

 private:
  void Run();
  bool Load();  // on the thread: true when the sheet was loaded

  std::thread fThread;
  std::mutex fLock;
  std::condition_variable fChanged;
  bool fPending = false;  // a load is asked for or under way
  bool fQuit = false;
  bool fLoaded = false;   // the last load reported nothing
  SheetFiles fFiles;
  // The thread's own; the build's thread touches them only while no load is under way. The
  // palette outlives the worlds made with it.
  PalWrap fPalette;
  Offscreen fColour;
  Offscreen fDepth;
};

// The loads of a whole build, in the build's order, on up to `threads` ImageLoadAheads: each
// thread loads the next load not yet started as soon as its last one is taken. A loader's
// thread starts with its first load, so loads that are all the build's own cost no thread.
class SheetPrefetch {
 public:
  struct Load {
    SheetFiles files;
    bool ahead = false;  // false: the build loads it itself (an alpha image goes with it)
  };
  SheetPrefetch(std::vector<Load> loads, int32_t threads);
  // Load `n` of the sequence, as ImageLoadAhead::Take. False for a load that no thread took on.
  bool Take(size_t n, Offscreen* colour, Offscreen* depth);

 private:
  void StartNext(size_t loader);

  std::vector<Load> fLoads;
  std::vector<std::unique_ptr<ImageLoadAhead>> fLoaders;
  std::vector<int32_t> fLoaderOf;  // per load: the loader that loads it, -1 for none
  size_t fNextStart = 0;           // loads before it are started or passed over
};
