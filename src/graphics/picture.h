// Pictures: 8-bit indexed or direct-colour pictures stored as PICT resources (version 2),
// drawn into the current port through an offscreen world on the global palette.
//
// Working byte order: the picture size, the frame, the opcode words up to the first pixel
// opcode, the pixel-map fields and the colour table are in host order (SwapPicture turns a
// stored big-endian picture into it; the load by name does that as it reads). The packed
// row lengths and the mask region size stay big-endian, as stored.
//
// Only the first pixel opcode is drawn: 0x9800 (packed bits, rect), 0x9900 (packed bits,
// region) or 0x9A00 (direct bits, rect). Each packed row starts with its packed length: two
// bytes when the row bytes are 250 or more (direct pixels: more than 251), else one. Indexed
// rows of fewer than 8 bytes are stored unpacked; direct rows are packed at every width and
// unpack to planes of width bytes (R, G, B, after an alpha plane with 4 components). Every count, size and row read from the data is
// checked against the bytes present; a picture that runs short is not drawn.
// Not thread-safe: the global palette and the port serve one drawing thread.
#pragma once

#include <cstdint>

#include "MHandle.h"
#include "MacRect.h"
#include "StringBuffer.h"

class iResFile;

constexpr uint32_t kPictType = 0x50494354;  // 'PICT'

class Picture {
 public:
  explicit Picture(MHandle* data);                     // wraps a handle; no file
  Picture(iResFile* file, uint16_t id);                // PICT `id`, as stored
  Picture(iResFile* file, const StringBuffer& name);   // PICT `name`, swapped on load
  ~Picture();
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  // Lets go of the data; a handle that came from a file stays the file's.
  void Release();

  // The picture frame; all zero without data.
  void GetFrame(MacRect& out) const;

  // Draws the picture into `dest` of the current port (stretched when the sizes differ).
  // When the pixels cannot be drawn the picture's area is framed in black instead; answers
  // whether the pixels were drawn.
  bool Draw(const MacRect& dest);
  // The frame moved to (h, v), then Draw.
  bool DrawAt(int16_t h, int16_t v);
  // As Draw; on success clears bit 0 of the state word, on failure erases `dest` and frames
  // it in black.
  bool DrawWithState(const MacRect& dest);

  uint32_t GetState() const { return fState; }
  void SetState(uint32_t state) { fState = state; }

  // Decodes the picture `data` (`size` bytes) into an 8-bit buffer: `dest` is the top row,
  // `rowBytes` the step to the next row (negative for a bottom-up buffer), `width` x `height`
  // its size. Picture rows from `yOffset` and columns from `xOffset` land at the buffer's
  // top-left. Indexed colours are matched once to the global palette and cached in the
  // colour table's value fields (reset when the table's seed changes or `reset` is set).
  // False when no usable pixel opcode exists or the data run short.
  static bool DrawPixels(uint8_t* data, int32_t size, uint8_t* dest, int32_t rowBytes, int32_t width,
                         int32_t height, int32_t xOffset, int32_t yOffset, bool reset);
  // The same for indexed pictures into 4-byte pixels {0, R, G, B}; `rowBytes` in bytes.
  static bool DrawPixels32(uint8_t* data, int32_t size, uint8_t* dest, int32_t rowBytes, int32_t width,
                           int32_t height, int32_t xOffset, int32_t yOffset);

  // PackBits: a count byte n < 0 repeats the next byte 1 - n times, n >= 0 copies n + 1 bytes.
  // Stops at `srcEnd` or after `length` bytes written. Answers the bytes written.
  static int32_t UnpackBits(const uint8_t* src, const uint8_t* srcEnd, uint8_t* dst, int32_t length);

  // Turns the header, opcode words, pixel-map fields and colour table to the other byte
  // order in place, and resets the cached indices. A SwizzleProc.
  static void SwapPicture(void* data, int32_t size);

 private:
  MHandle* fData;
  iResFile* fFile;
  uint32_t fState;
};
