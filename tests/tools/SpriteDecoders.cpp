#include "SpriteDecoders.h"

#include <cstdio>

namespace spritedec {
namespace {

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint16_t Be16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint32_t Be32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

bool Fail(std::string& error, const char* format, long a = 0, long b = 0, long c = 0) {
  char text[256];
  std::snprintf(text, sizeof text, format, a, b, c);
  error = text;
  return false;
}

}  // namespace

bool DecodeSpriteList(const uint8_t* data, size_t size, SpriteListInfo& out, std::string& error,
                      bool bigEndian) {
  out = SpriteListInfo();
  auto word = [&](size_t at) { return bigEndian ? Be32(data + at) : Le32(data + at); };
  if (size < 8) return Fail(error, "list of %ld bytes has no header", long(size));
  out.version = word(0);
  out.count = word(4);
  size_t table = 8;
  out.paletteId = 0xFFFFFFFFu;
  if (out.version >= 502) {
    if (size < 12) return Fail(error, "list of %ld bytes has no palette id", long(size));
    out.paletteId = word(8);
    table = 12;
  }
  if (out.count > (size - table) / 4)
    return Fail(error, "frame count %ld does not fit a list of %ld bytes", long(out.count),
                long(size));
  size_t first = table + 4 * size_t(out.count);
  size_t previous = first;
  for (uint32_t i = 0; i < out.count; ++i) {
    size_t offset = word(table + 4 * i);
    if (offset < previous || offset > size)
      return Fail(error, "frame %ld offset %ld out of order or outside the list", long(i),
                  long(offset));
    if (offset & 1) return Fail(error, "frame %ld offset %ld is odd", long(i), long(offset));
    if (i == 0 && offset != first)
      return Fail(error, "first frame at %ld, expected %ld", long(offset), long(first));
    out.frames.push_back({offset, 0});
    previous = offset;
  }
  for (uint32_t i = 0; i < out.count; ++i) {
    size_t end = i + 1 < out.count ? out.frames[i + 1].offset : size;
    out.frames[i].size = end - out.frames[i].offset;
  }
  if (out.count == 0 && size != first)
    return Fail(error, "empty list of %ld bytes", long(size));
  return true;
}

// ---- SPR# -----------------------------------------------------------------------------------

namespace {

struct SprReader {
  const uint8_t* d;
  size_t size;
  SprFrame& f;
  std::string& error;
  size_t pos = 10;
  uint8_t flags = 0;

  // Steps over the pad byte that follows a token ending at an odd offset.
  bool Pad() {
    if ((pos & 1) == 0) return true;
    if (pos >= size) return Fail(error, "missing pad byte at %ld", long(pos));
    if (d[pos] != 0) return Fail(error, "pad byte %ld at %ld is not 0", d[pos], long(pos));
    ++pos;
    return true;
  }

  void Put(int x, int row, SprKind kind, uint8_t value) {
    f.pixels[size_t(row) * f.width + x] = SprPixel{kind, value};
  }

  // Reads the tokens of one line, from `pos` up to `end`.
  bool Line(int row, size_t end) {
    int x = 0;
    uint8_t lastCode = 0;
    while (pos < end) {
      if (pos + 2 > end) return Fail(error, "row %ld: token head past the line end", row);
      uint8_t code = d[pos], n = d[pos + 1];
      f.tokens.push_back({code, n});
      if (n == 0) return Fail(error, "row %ld: token %ld with count 0", row, code);
      if (x + n > f.width)
        return Fail(error, "row %ld: token %ld runs past the width (x %ld)", row, code, x);
      switch (code) {
        case 1:  // clear
          pos += 2;
          break;
        case 2:    // repeat
        case 8:    // repeat shading 1
        case 14: {  // repeat shading 2
          if (pos + 4 > end) return Fail(error, "row %ld: repeat data past the line end", row);
          if (d[pos + 2] != d[pos + 3])
            return Fail(error, "row %ld: repeat token with unequal bytes %ld %ld", row,
                        d[pos + 2], d[pos + 3]);
          SprKind kind = code == 2 ? SprKind::kColor : code == 8 ? SprKind::kShade1 : SprKind::kShade2;
          for (int i = 0; i < n; ++i) Put(x + i, row, kind, d[pos + 2]);
          flags |= code == 2 ? 0x10 : 0x08;
          pos += 4;
          break;
        }
        case 3:    // draw
        case 7:    // shading 1
        case 13: {  // shading 2
          if (n > 254) return Fail(error, "row %ld: draw count %ld above 254", row, n);
          if (pos + 2 + n > end) return Fail(error, "row %ld: draw data past the line end", row);
          SprKind kind = code == 3 ? SprKind::kColor : code == 7 ? SprKind::kShade1 : SprKind::kShade2;
          for (int i = 0; i < n; ++i) Put(x + i, row, kind, d[pos + 2 + i]);
          if (code != 3) flags |= 0x08;
          pos += 2 + n;
          break;
        }
        case 10:
        case 11:
        case 12: {  // pattern colour 1, 2, 3
          if (pos + 4 > end) return Fail(error, "row %ld: pattern data past the line end", row);
          if (d[pos + 2] != uint8_t(row) || d[pos + 3] != uint8_t(x))
            return Fail(error, "row %ld: pattern position %ld,%ld is wrong", row, d[pos + 2],
                        d[pos + 3]);
          SprKind kind = code == 10 ? SprKind::kPattern1 : code == 11 ? SprKind::kPattern2 : SprKind::kPattern3;
          for (int i = 0; i < n; ++i) Put(x + i, row, kind, 0);
          flags |= 0x20 | (code == 12 ? 0x01 : code == 11 ? 0x02 : 0x04);
          pos += 4;
          break;
        }
        default:
          return Fail(error, "row %ld: unknown line token %ld at %ld", row, code, long(pos));
      }
      x += n;
      lastCode = code;
      if (!Pad()) return false;
    }
    if (pos != end) return Fail(error, "row %ld: tokens overrun the line length", row);
    if (lastCode == 1) return Fail(error, "row %ld: line ends with a clear token", row);
    return true;
  }

  bool Run() {
    int row = 0;
    for (;;) {
      if (pos + 2 > size) return Fail(error, "stream ends at %ld without an end token", long(pos));
      uint8_t code = d[pos], n = d[pos + 1];
      size_t start = pos;
      if (code == 5) {
        f.tokens.push_back({code, n});
        if (n != 0) return Fail(error, "end token with count %ld", n);
        if (row != f.height) return Fail(error, "end token after %ld of %ld rows", row, f.height);
        if (pos + 2 != size) return Fail(error, "%ld bytes after the end token", long(size - pos - 2));
        break;
      }
      if (code == 9) {
        f.tokens.push_back({code, n});
        if (n == 0) return Fail(error, "clear lines with count 0");
        if (row + n > f.height) return Fail(error, "clear lines past the last row (row %ld)", row);
        row += n;
        pos += 2;
        continue;
      }
      if (code != 4) return Fail(error, "unknown row token %ld at %ld", code, long(pos));
      if (row >= f.height) return Fail(error, "line token past the last row");
      f.tokens.push_back({code, n});
      size_t end;
      if (n == 2 && pos + 6 <= size && d[pos + 2] == 5 && d[pos + 3] == 0xFF) {
        size_t length = Be16(d + pos + 4);
        if (length < 260) return Fail(error, "row %ld: long head for a line of %ld bytes", row,
                                      long(length));
        end = start + length;
        pos += 6;
        ++f.longLines;
      } else {
        if (n < 2) return Fail(error, "row %ld: line length %ld below 2", row, n);
        end = start + n;
        pos += 2;
      }
      if (end > size) return Fail(error, "row %ld: line runs past the frame", row);
      if (!Line(row, end)) return false;
      ++row;
    }
    if (flags != f.flags)
      return Fail(error, "frame flags 0x%lx, tokens give 0x%lx", f.flags, flags);
    return true;
  }
};

}  // namespace

bool DecodeSprFrame(const uint8_t* data, size_t size, SprFrame& out, std::string& error,
                    bool bigEndianHeader) {
  out = SprFrame();
  if (size < 12) return Fail(error, "frame of %ld bytes is too short", long(size));
  if (size & 1) return Fail(error, "frame of %ld bytes has an odd size", long(size));
  auto half = [&](size_t at) { return bigEndianHeader ? Be16(data + at) : Le16(data + at); };
  if (half(0) != 0 || half(2) != 0) return Fail(error, "header words 0 and 2 are not zero");
  out.height = half(4);
  out.width = half(6);
  if (data[8] != 0) return Fail(error, "header byte 8 is %ld, not 0", data[8]);
  out.flags = data[9];
  out.pixels.assign(size_t(out.width) * out.height, SprPixel());
  SprReader reader{data, size, out, error};
  return reader.Run();
}

std::vector<int> SprToIndices(const SprFrame& frame, const SprColours& colours) {
  std::vector<int> out;
  out.reserve(frame.pixels.size());
  for (const SprPixel& p : frame.pixels) {
    switch (p.kind) {
      case SprKind::kClear: out.push_back(-1); break;
      case SprKind::kColor: out.push_back(p.value); break;
      case SprKind::kShade1: out.push_back(uint8_t(p.value + colours.shade1Low)); break;
      case SprKind::kShade2: out.push_back(uint8_t(p.value + colours.shade2Low)); break;
      case SprKind::kPattern1: out.push_back(colours.pattern1); break;
      case SprKind::kPattern2: out.push_back(colours.pattern2); break;
      case SprKind::kPattern3: out.push_back(colours.pattern3); break;
    }
  }
  return out;
}

// ---- SPR2 -----------------------------------------------------------------------------------

namespace {

struct Spr2Reader {
  const uint8_t* d;
  size_t size;
  Spr2Frame& f;
  std::string& error;
  size_t pos = 16;

  bool Pad() {
    if ((pos & 1) == 0) return true;
    if (pos >= size) return Fail(error, "missing pad byte at %ld", long(pos));
    if (d[pos] != 0xB0) return Fail(error, "pad byte 0x%lx at %ld is not 0xB0", d[pos], long(pos));
    ++pos;
    return true;
  }

  bool Line(int row, size_t end) {
    int x = 0;
    uint16_t lastCode = kNL;
    while (pos < end) {
      if (pos + 2 > end) return Fail(error, "row %ld: token past the line end", row);
      uint16_t word = Le16(d + pos);
      uint16_t code = word & 0xE000, n = word & 0x1FFF;
      f.tokens.push_back({code, n});
      if (n == 0) return Fail(error, "row %ld: token 0x%lx with count 0", row, code);
      if (x + n > f.width)
        return Fail(error, "row %ld: token 0x%lx runs past the width (x %ld)", row, code, x);
      pos += 2;
      size_t bytes;
      switch (code) {
        case kClear: bytes = 0; break;
        case kRunP:
          if (f.flags & kZData) return Fail(error, "row %ld: kRunP in a frame with depth", row);
          bytes = n;
          break;
        case kRunZP:
          if (!(f.flags & kZData)) return Fail(error, "row %ld: kRunZP without kZData", row);
          bytes = 2 * size_t(n);
          break;
        case kRunZPA:
          if (!(f.flags & kAlphaData)) return Fail(error, "row %ld: kRunZPA without kAlphaData", row);
          bytes = 3 * size_t(n);
          break;
        default:
          return Fail(error, "row %ld: token 0x%lx inside a line", row, code);
      }
      if (pos + bytes > end) return Fail(error, "row %ld: run data past the line end", row);
      for (int i = 0; i < n; ++i) {
        Spr2Pixel p;
        if (code == kRunP) {
          p.visible = true;
          p.colour = d[pos + i];
        } else if (code == kRunZP) {
          p.visible = true;
          p.z = d[pos + 2 * i];
          p.colour = d[pos + 2 * i + 1];
        } else if (code == kRunZPA) {
          p.visible = p.hasAlpha = true;
          p.z = d[pos + 3 * i];
          p.colour = d[pos + 3 * i + 1];
          p.alpha = d[pos + 3 * i + 2];
        }
        f.pixels[size_t(row) * f.width + x + i] = p;
      }
      pos += bytes;
      x += n;
      lastCode = code;
      if (!Pad()) return false;
    }
    if (pos != end) return Fail(error, "row %ld: tokens overrun the line length", row);
    if (lastCode == kClear) return Fail(error, "row %ld: line ends with kClear", row);
    return true;
  }

  bool Run() {
    int row = 0;
    for (;;) {
      if (pos + 2 > size) return Fail(error, "stream ends at %ld without kEOS", long(pos));
      uint16_t word = Le16(d + pos);
      uint16_t code = word & 0xE000, n = word & 0x1FFF;
      f.tokens.push_back({code, n});
      if (code == kEOS) {
        if (n != 0) return Fail(error, "kEOS with count %ld", n);
        if (pos + 2 != size) return Fail(error, "%ld bytes after kEOS", long(size - pos - 2));
        return true;
      }
      if (code == kSL) {
        if (n < 3) return Fail(error, "kSL of %ld rows (at least 3)", n);
        if (row + n > f.height) return Fail(error, "kSL past the last row (row %ld)", row);
        row += n;
        pos += 2;
        continue;
      }
      if (code != kNL) return Fail(error, "token 0x%lx between lines at %ld", code, long(pos));
      if (row >= f.height) return Fail(error, "kNL past the last row");
      if (n < 2 || (n & 1)) return Fail(error, "row %ld: kNL count %ld", row, n);
      size_t end = pos + n;
      if (end + 2 > size) return Fail(error, "row %ld: line runs past the frame", row);
      pos += 2;
      if (!Line(row, end)) return false;
      ++row;
    }
  }
};

}  // namespace

bool DecodeSpr2Frame(const uint8_t* data, size_t size, Spr2Frame& out, std::string& error) {
  out = Spr2Frame();
  if (size < 18) return Fail(error, "frame of %ld bytes is too short", long(size));
  if (size & 1) return Fail(error, "frame of %ld bytes has an odd size", long(size));
  out.width = Le16(data);
  out.height = Le16(data + 2);
  out.flags = Le32(data + 4);
  out.paletteId = Le16(data + 8);
  out.clearColour = Le16(data + 10);
  out.originY = Le16(data + 12);
  out.originX = Le16(data + 14);
  if (!(out.flags & kColorData) || (out.flags & ~uint32_t(7)))
    return Fail(error, "frame flags 0x%lx", long(out.flags));
  if ((out.flags & kAlphaData) && !(out.flags & kZData))
    return Fail(error, "alpha without depth (flags 0x%lx)", long(out.flags));
  out.pixels.assign(size_t(out.width) * out.height, Spr2Pixel());
  Spr2Reader reader{data, size, out, error};
  return reader.Run();
}

}  // namespace spritedec
