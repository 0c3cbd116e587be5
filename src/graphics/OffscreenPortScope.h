// Makes an offscreen the current port for the length of a scope (the encoders read their
// pixels while the offscreen is the port) and restores the previous port at its end.
#pragma once

#include "offscrn.h"

class OffscreenPortScope {
 public:
  explicit OffscreenPortScope(Offscreen* world) : fWorld(world && world->Exists() ? world : nullptr) {
    if (fWorld == nullptr) return;
    MacRect bounds;
    uint8_t* base = nullptr;
    int32_t rowBytes = 0;
    fWorld->SetPort(nullptr, bounds, base, rowBytes);
  }
  ~OffscreenPortScope() {
    if (fWorld) fWorld->RestorePort();
  }
  OffscreenPortScope(const OffscreenPortScope&) = delete;
  OffscreenPortScope& operator=(const OffscreenPortScope&) = delete;

 private:
  Offscreen* fWorld;
};
