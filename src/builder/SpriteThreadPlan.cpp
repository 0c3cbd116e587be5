#include "SpriteThreadPlan.h"

#include <algorithm>
#include <atomic>

#include "PlatformThread.h"

namespace {

constexpr int32_t kMostSpriteThreads = 4;
// Threads that load sheets ahead, at most. Each loader holds a sheet's worlds of its own, and
// memory the process has not touched yet costs far more than the pixels it receives: one
// loader keeps the next sheet ready while the current one is compressed.
constexpr int32_t kMostLoaders = 1;

// Measured on the machines this runs on: a thread takes about 0.3 ms to start (a few ms at
// times), a round of the pool about 0.1 ms to hand over and wake its threads, and frames are
// trimmed and encoded at about 2,000 pixels a microsecond.
constexpr int64_t kDefaultThreadWork = int64_t(4) << 20;
constexpr int64_t kLeastPooledPixels = 131072;
constexpr int64_t kLeastAheadPixels = 131072;

std::atomic<int32_t> gSpriteThreads{std::min(PlatformProcessorCount(), kMostSpriteThreads)};
std::atomic<int64_t> gSpriteThreadWork{kDefaultThreadWork};

}  // namespace

void SetSpriteThreads(int32_t threads) { gSpriteThreads.store(std::max(threads, int32_t(1))); }
int32_t GetSpriteThreads() { return gSpriteThreads.load(); }
void SetSpriteThreadWork(int64_t pixels) { gSpriteThreadWork.store(std::max(pixels, int64_t(0))); }
int64_t GetSpriteThreadWork() { return gSpriteThreadWork.load(); }

SpriteThreadSettings CurrentSpriteThreadSettings() {
  SpriteThreadSettings settings;
  settings.threads = GetSpriteThreads();
  settings.leastWork = GetSpriteThreadWork();
  settings.leastPooled = std::min(kLeastPooledPixels, settings.leastWork);
  settings.leastAhead = std::min(kLeastAheadPixels, settings.leastWork);
  return settings;
}

SpriteThreadPlan PlanSpriteThreads(const std::vector<PlannedSheet>& sheets,
                                   const std::vector<PlannedSprite>& sprites,
                                   const SpriteThreadSettings& settings) {
  SpriteThreadPlan plan;
  plan.ahead.assign(sheets.size(), false);
  plan.pooled.assign(sprites.size(), false);
  plan.following.assign(sprites.size(), kNoFollowing);
  if (settings.threads <= 1) return plan;

  int64_t aheadPixels = 0;
  for (size_t i = 1; i < sheets.size(); i++) {
    plan.ahead[i] = !sheets[i].hasAlpha && sheets[i].pixels >= settings.leastAhead;
    if (plan.ahead[i]) aheadPixels += sheets[i].pixels;
  }
  int64_t pooledPixels = 0;
  for (size_t i = 0; i < sprites.size(); i++) {
    plan.pooled[i] = sprites[i].sheet != kNoPlannedSheet && sprites[i].pixels >= settings.leastPooled;
    if (plan.pooled[i]) pooledPixels += sprites[i].pixels;
  }

  if (aheadPixels > 0 && aheadPixels >= settings.leastWork)
    plan.loaders = std::min(kMostLoaders, settings.threads - 1);
  if (plan.loaders == 0) plan.ahead.assign(sheets.size(), false);
  const int32_t poolThreads = settings.threads - plan.loaders;
  if (pooledPixels > 0 && pooledPixels >= settings.leastWork && poolThreads >= 2)
    plan.poolThreads = poolThreads;
  if (plan.poolThreads == 0) plan.pooled.assign(sprites.size(), false);

  // Sprites that name no image are passed over: the build does nothing for them.
  size_t next = sprites.size();
  for (size_t i = sprites.size(); i-- > 0;) {
    if (sprites[i].sheet == kNoPlannedSheet) continue;
    if (next < sprites.size() && plan.pooled[next] && sprites[next].sheet == sprites[i].sheet &&
        !sprites[i].masked && !sprites[next].masked)
      plan.following[i] = next;
    next = i;
  }
  return plan;
}
