// Pictures ('PICT', stored big-endian): swapped to the working order, decoded into 8-bit and
// 32-bit buffers, and drawn through a port as the picture draws itself.
#include <vector>

#include "FuzzSupport.h"
#include "MHandle.h"
#include "MacRect.h"
#include "offscrn.h"
#include "picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetProcessState();
  std::vector<uint8_t> pict(data, data + size);
  Picture::SwapPicture(pict.data(), static_cast<int32_t>(pict.size()));
  std::vector<uint8_t> working = pict;

  constexpr int32_t kSide = 40;
  std::vector<uint8_t> buffer(kSide * kSide);
  FuzzNote(Picture::DrawPixels(pict.data(), static_cast<int32_t>(pict.size()), buffer.data(), kSide, kSide, kSide,
                               0, 0, true)
               ? "drawn"
               : "not drawn");
  // Bottom-up buffer, offsets into the picture.
  Picture::DrawPixels(pict.data(), static_cast<int32_t>(pict.size()), buffer.data() + (kSide - 1) * kSide, -kSide,
                      kSide, kSide, 3, 5, false);
  std::vector<uint8_t> wide(kSide * kSide * 4);
  std::vector<uint8_t> other = working;
  Picture::DrawPixels32(other.data(), static_cast<int32_t>(other.size()), wide.data(), kSide * 4, kSide, kSide, 0,
                        0);

  MHandle* h = HAlloc(static_cast<uint32_t>(working.size()));
  if (!h) return 0;
  if (!working.empty()) BlockMove(working.data(), HLock(h), static_cast<int32_t>(working.size()));
  HUnlock(h);
  {
    Offscreen port;
    if (port.Create(MacRect{0, 0, kSide, kSide})) {
      port.SetPortToSelf(nullptr);
      Picture picture(h);
      MacRect frame;
      picture.GetFrame(frame);
      picture.Draw(MacRect{0, 0, kSide, kSide});
      picture.DrawWithState(MacRect{2, 2, 20, 30});
      picture.Release();
      port.RestorePort();
    }
  }
  HFree(h);
  return 0;
}
