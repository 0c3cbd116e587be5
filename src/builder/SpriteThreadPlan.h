// How a sprite build uses threads: how many it may use, and the one function that decides,
// from the sizes of the build's sheets and sprites alone, which sheets are loaded ahead on a
// loader thread, which sprites have their frames encoded on the frame pool, and how many
// threads each gets. The build loop only follows the plan it returns.
//
// Every plan gives the same object file, log and debug text: threads change only when the
// work is done. The settings are process-wide; set them before a build, not during one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The threads a sprite build uses, its own included: 1 does everything on the build's thread.
// The default is the processors the process may run on (PlatformProcessorCount), at most 4.
void SetSpriteThreads(int32_t threads);
int32_t GetSpriteThreads();

// The least work, in pixels of sprite cells, for which a sprite build starts threads at all
// (see SpriteThreadSettings::leastWork). Tests set 0 to take the threads' road on small objects.
void SetSpriteThreadWork(int64_t pixels);
int64_t GetSpriteThreadWork();

struct SpriteThreadSettings {
  int32_t threads = 1;  // the build's threads, its own included
  // Pixels of cells below which the build starts no thread: its sheets that may be loaded
  // ahead together, or its sprites that may go to the pool together. Starting a thread and
  // handing work to it and back costs more than the thread gives on less.
  int64_t leastWork = 0;
  // A sprite's cells below which its frames are encoded on the build's thread, and a sheet's
  // sprites' cells below which the build loads it itself: a round of the pool, or a sheet
  // handed over, costs some 0.1 ms of waking and waiting, the work of about 200,000 pixels.
  // Never more than leastWork.
  int64_t leastPooled = 0;
  int64_t leastAhead = 0;
};

// The settings of the build about to run: GetSpriteThreads, GetSpriteThreadWork, and the
// least pixels of a pooled sprite and of a sheet loaded ahead.
SpriteThreadSettings CurrentSpriteThreadSettings();

// A sheet of the build, in the build's order: the pixels in the cells of its sprites, and
// whether it has an alpha image (such a sheet is always loaded by the build itself).
struct PlannedSheet {
  int64_t pixels = 0;
  bool hasAlpha = false;
};

// A sprite of the build, in the build's order: its sheet (kNoPlannedSheet for a sprite that
// names no image), the pixels of its cells, and whether it has a mask (which changes the
// worlds while it is compressed).
constexpr size_t kNoPlannedSheet = SIZE_MAX;
struct PlannedSprite {
  size_t sheet = kNoPlannedSheet;
  int64_t pixels = 0;
  bool masked = false;
};

struct SpriteThreadPlan {
  int32_t loaders = 0;      // threads that load sheets ahead; 0 for none
  int32_t poolThreads = 0;  // the frame pool's threads, the build's own included; 0: no pool
  std::vector<bool> ahead;   // per sheet: loaded ahead by a loader
  std::vector<bool> pooled;  // per sprite: its frames trimmed and encoded on the pool
  // Per sprite: the next sprite with an image, whose frames the pool may encode while this one
  // is written (when it is pooled, cut from the same sheet, and neither has a mask);
  // kNoFollowing for none.
  std::vector<size_t> following;
};
constexpr size_t kNoFollowing = SIZE_MAX;

// The plan of a build of `sheets` and `sprites` under `settings`:
//  - one thread, or less work than leastWork wherever threads could go: no thread at all;
//  - a sheet is loaded ahead when it is not the first (the build would wait for it at once),
//    has no alpha image, and its cells hold leastAhead pixels; one loader, when the sheets
//    loaded ahead hold leastWork pixels together;
//  - a sprite is pooled when its cells hold leastPooled pixels; the pool, with the threads
//    that the loader leaves (at least two), when the pooled sprites hold leastWork together.
SpriteThreadPlan PlanSpriteThreads(const std::vector<PlannedSheet>& sheets,
                                   const std::vector<PlannedSprite>& sprites,
                                   const SpriteThreadSettings& settings);
