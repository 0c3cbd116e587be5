#include "Slots.h"

#include "Recon.h"
#include "XAssert.h"
#include "strset.h"

#include <algorithm>
#include <limits>

namespace {

// A distance stored in whole units, in sixteenths; a stored value too large for that is held
// at the nearest value that fits.
int32_t ScaleToSixteenths(int32_t units) {
  const int64_t scaled = int64_t(units) * 16;
  return int32_t(std::clamp<int64_t>(scaled, std::numeric_limits<int32_t>::min(),
                                     std::numeric_limits<int32_t>::max()));
}

}  // namespace

void SlotDescriptor::Reconstitute(ReconStream& stream, int32_t version) {
  const bool reading = stream.IsReading();
  if (version >= 3) {
    stream.ReconInt16(&fType);
    stream.ReconFloat(&fX);
    stream.ReconFloat(&fY);
    stream.ReconFloat(&fAlt);
    stream.ReconInt32(&fStanding);
    stream.ReconInt32(&fSitting);
    stream.ReconInt32(&fGround);
    stream.ReconInt32(&fFlags);
    if (version >= 4) stream.ReconInt32(&fTarget);
    if (version >= 5) {
      stream.ReconInt32(&fMin);
      stream.ReconInt32(&fMax);
      stream.ReconInt32(&fOptimal);
      stream.ReconInt32(&fMaxSize);
      stream.ReconInt32(&fSurfaceFlags);
    }
    if (version >= 7) stream.ReconFloat(&fGradient);
  } else {
    stream.ReconFloat(&fX);
    stream.ReconFloat(&fY);
    if (version == 0) {
      // Version 0 kept the height as a whole number.
      int16_t alt = int16_t(fAlt);
      stream.ReconInt16(&alt);
      if (reading) fAlt = float(alt);
    } else {
      stream.ReconFloat(&fAlt);
    }
    stream.ReconInt16(&fType);
    if (version == 2) {
      uint16_t unused = 0;
      stream.ReconInt16(&unused);
    }
    if (reading) {
      fStanding = 0;
      fSitting = 0;
      fGround = 0;
      fFlags = 0;
    }
  }
  if (version >= 8) stream.ReconInt32(&fHeightCode);

  if (version >= 9) {
    stream.ReconInt32(&fFacing);
  } else if (reading) {
    if (fFlags & kSlotAbsolute) {
      fFacing = kSlotFacingNotRequired;
      fFlags &= ~kSlotAbsolute;
    } else if (fFlags & kSlotOldFacingDefault) {
      fFacing = kSlotFacingOldDefault;
      fFlags &= ~kSlotOldFacingDefault;
    }
  }

  if (version >= 10) {
    stream.ReconInt32(&fResolution);
  } else if (reading) {
    fMin = ScaleToSixteenths(fMin);
    fMax = ScaleToSixteenths(fMax);
    fOptimal = ScaleToSixteenths(fOptimal);
    fGradient /= 16;
  }
}

int32_t SlotDescriptor::StoredBytes(int32_t version) {
  // Every field is fixed-size, so a measured descriptor is as long as any stored one.
  SlotDescriptor descriptor;
  ReconStream measure;
  descriptor.Reconstitute(measure, version);
  return measure.GetPosition();
}

int32_t SaveSlotList(std::vector<SlotDescriptor>& slots, iResFile* file, uint16_t id) {
  return SaveReconVector(slots, file, kSlotType, id, kSlotVersion);
}

int32_t LoadSlotList(std::vector<SlotDescriptor>& slots, iResFile* file, uint16_t id,
                  uint32_t* versionOut) {
  slots.clear();
  ReconStreamVector<SlotDescriptor> wrapped(&slots, kSlotType, SlotDescriptor::StoredBytes);
  SimpleReconObject<ReconStreamVector<SlotDescriptor>> object(&wrapped, kSlotType);
  int32_t result = ReconLoadResource(object, file, id, versionOut);
  if (result != 0) slots.clear();
  return result;
}

// --- Typed views ----------------------------------------------------------------------------

void SlotRoutingPlace::AddFacingDirection(int32_t d) {
  XASSERT(d >= 0 && d < 8, "bad direction");
  if (d >= 0 && d < 8) fFlags |= 1 << d;
}

void SlotRoutingPlace::SetFacingDirection(int32_t d) {
  XASSERT(d >= 0 && d < 8, "bad direction");
  if (d >= 0 && d < 8) fFacing = d;
}

void SlotRoutingPlace::SetRoutingValue(int32_t index, int32_t value) {
  if (index == 0) fStanding = value;
  if (index == 1) fSitting = value;
  if (index == 2) fGround = value;
}

void SlotRoutingPlace::SetDistances(int32_t min, int32_t max, int32_t optimal) {
  fMin = min;
  fMax = max;
  fOptimal = optimal;
}

void SlotRoutingPlace::SetDistancesInUnits(float min, float max, float optimal) {
  SetDistances(int32_t(min * 16), int32_t(max * 16), int32_t(optimal * 16));
}

void SlotAnimation::Start(int32_t base, int32_t spriteId, int32_t frameCount, bool reverse) {
  fBase = base;
  fSpriteId = spriteId;
  fFrameCount = frameCount;
  fFrame = reverse ? frameCount - 1 : 0;
  fStep = reverse ? -1 : 1;
}

void SlotAnimation::Start(int32_t base) { Start(base, -1, 1, false); }

void SlotAnimation::SetDuration(int32_t ticks) {
  if (ticks > 0) {
    XASSERT(fFrameCount != 0, "bad frame count");
    XASSERT(fSpriteId != 0, "no sprite");
  }
  fTickCounter = 0;
  fRemainingTicks = ticks;
}

bool SlotAnimation::Tick() {
  if (fRemainingTicks <= 0) return false;
  fRemainingTicks--;
  if (++fTickCounter < kTicksPerFrame) return false;
  fTickCounter = 0;
  fFrame += fStep;
  if (fFrameCount > 0) {
    while (fFrame < 0) fFrame += fFrameCount;
    fFrame %= fFrameCount;
  } else {
    fFrame = 0;  // no frames to move between
  }
  return true;
}

bool LoadSlots(iResFile* file, uint16_t id, std::vector<SlotContainerPlace>* containers,
               std::vector<SlotRoutingPlace>* routing, std::vector<SlotSpritePlace>* sprites) {
  std::vector<SlotDescriptor> slots;
  if (file == nullptr || LoadSlotList(slots, file, id) != 0) return true;
  for (const SlotDescriptor& d : slots) {
    if (d.fType == kSlotContainer) {
      SlotContainerPlace place;
      place.fX = d.fX;
      place.fY = d.fY;
      place.fAlt = d.fAlt;
      place.fHeightCode = d.fHeightCode;
      place.fMaxSize = d.fMaxSize;
      place.fSurfaceFlags = d.fSurfaceFlags;
      switch (place.fHeightCode) {
        case 0: place.fHeightCode = place.fAlt == 0.0f ? 1 : 5; break;
        case 1: place.fAlt = 0.0f; break;
        case 2: place.fAlt = 2.5f; break;
        case 3:
        case 8: place.fAlt = 4.0f; break;
        case 4: place.fAlt = 4.05f; break;
        default: break;
      }
      if (containers) containers->push_back(place);
    } else if (d.fType == kSlotRouting) {
      SlotRoutingPlace place;
      place.fX = d.fX;
      place.fY = d.fY;
      place.fAlt = d.fAlt;
      place.fStanding = d.fStanding;
      place.fSitting = d.fSitting;
      place.fGround = d.fGround;
      place.fFlags = d.fFlags;
      place.fTarget = d.fTarget;
      place.fMin = d.fMin;
      place.fMax = d.fMax;
      place.fOptimal = d.fOptimal;
      place.fGradient = d.fGradient;
      place.fFacing = d.fFacing;
      place.fResolution = d.fResolution;
      if (routing) routing->push_back(place);
    } else if (d.fType == kSlotSprite) {
      SlotSpritePlace place;
      place.fX = d.fX;
      place.fY = d.fY;
      place.fAlt = d.fAlt;
      if (sprites) sprites->push_back(place);
    } else {
      XASSERT(false, "Unexpected slot type found - may ignore");
    }
  }
  return true;
}

SlotLabels::SlotLabels(iResFile* file, uint16_t id) : fFile(file), fId(id) {}
SlotLabels::~SlotLabels() = default;

void SlotLabels::GetLabel(int32_t labelIndex, std::string& out) {
  out.clear();
  if (!fStrings) {
    fStrings = std::make_unique<StringSet>();
    if (fFile != nullptr) fStrings->Load(fFile, fId);
  }
  if (labelIndex >= 1 && labelIndex <= fStrings->Count()) {
    const char* text = fStrings->GetString(labelIndex);
    if (text) out = text;
  }
}
