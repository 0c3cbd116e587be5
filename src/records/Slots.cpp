#include "Slots.h"

#include "Recon.h"

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
    fMin *= 16;
    fMax *= 16;
    fOptimal *= 16;
    fGradient /= 16;
  }
}

int32_t SaveSlotList(std::vector<SlotDescriptor>& slots, iResFile* file, uint16_t id) {
  return SaveReconVector(slots, file, kSlotType, id, kSlotVersion);
}

int32_t LoadSlotList(std::vector<SlotDescriptor>& slots, iResFile* file, uint16_t id,
                  uint32_t* versionOut) {
  slots.clear();
  ReconStreamVector<SlotDescriptor> wrapped(&slots, kSlotType);
  SimpleReconObject<ReconStreamVector<SlotDescriptor>> object(&wrapped, kSlotType);
  int32_t result = ReconLoadResource(object, file, id, versionOut);
  if (result != 0) slots.clear();
  return result;
}
