#include "ImageWriters.h"

#include <algorithm>
#include <cstddef>

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back((uint8_t)v);
  out.push_back((uint8_t)(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

}  // namespace

std::vector<uint8_t> BuildBMP(const BMPFields& f, const std::vector<TestRGB>& colorTable,
                              const std::vector<uint8_t>& pixelData) {
  uint32_t tableOffset = 14 + f.headerSize;
  uint32_t dataOffset = f.pixelOffset ? f.pixelOffset
                                      : tableOffset + 4 * (uint32_t)colorTable.size();
  std::vector<uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  Put32(out, dataOffset + (uint32_t)pixelData.size());
  Put32(out, 0);
  Put32(out, dataOffset);
  size_t header = out.size();
  Put32(out, f.headerSize);
  Put32(out, (uint32_t)f.width);
  Put32(out, (uint32_t)f.height);
  Put16(out, f.planes);
  Put16(out, f.bitCount);
  Put32(out, f.compression);
  Put32(out, (uint32_t)pixelData.size());
  Put32(out, 2835);  // 72 dots per inch
  Put32(out, 2835);
  Put32(out, f.colorsUsed);
  Put32(out, 0);
  // Larger headers: the rest is zero but for the colour space, which tools set to sRGB.
  out.resize(tableOffset, 0);
  if (f.headerSize >= kBMPV4Header) {
    out[header + 56] = 'B';
    out[header + 57] = 'G';
    out[header + 58] = 'R';
    out[header + 59] = 's';
  }
  for (const TestRGB& c : colorTable) {
    out.push_back(c.b);
    out.push_back(c.g);
    out.push_back(c.r);
    out.push_back(0);
  }
  out.resize(std::max<size_t>(out.size(), dataOffset), 0);
  out.resize(dataOffset);
  out.insert(out.end(), pixelData.begin(), pixelData.end());
  return out;
}

namespace {

// Encodes `length` bytes of one row as runs (3 or more alike) and literals.
void EncodeRLE8Row(const uint8_t* p, int32_t length, std::vector<uint8_t>& out) {
  int32_t x = 0;
  while (x < length) {
    int32_t run = 1;
    while (x + run < length && run < 255 && p[x + run] == p[x]) ++run;
    if (run >= 3 || length - x < 3) {
      // A run, or a short tail that a literal (at least 3 bytes) cannot hold.
      out.push_back((uint8_t)run);
      out.push_back(p[x]);
      x += run;
      continue;
    }
    // Literal: up to the next run of 3 or more.
    int32_t n = 0;
    while (x + n < length && n < 255) {
      if (x + n + 2 < length && p[x + n] == p[x + n + 1] && p[x + n] == p[x + n + 2]) break;
      ++n;
    }
    if (n < 3) {
      for (int32_t i = 0; i < n; ++i) {
        out.push_back(1);
        out.push_back(p[x + i]);
      }
    } else {
      out.push_back(0);
      out.push_back((uint8_t)n);
      out.insert(out.end(), p + x, p + x + n);
      if (n & 1) out.push_back(0);
    }
    x += n;
  }
}

// Encodes `length` bytes as literals of up to 255 bytes; a tail under 3 as runs of 1.
void EncodeRLE8Literals(const uint8_t* p, int32_t length, std::vector<uint8_t>& out) {
  int32_t x = 0;
  while (length - x >= 3) {
    int32_t n = std::min(255, length - x);
    if (length - x - n > 0 && length - x - n < 3) n -= 3;  // keep the tail long enough
    out.push_back(0);
    out.push_back((uint8_t)n);
    out.insert(out.end(), p + x, p + x + n);
    if (n & 1) out.push_back(0);
    x += n;
  }
  for (; x < length; ++x) {
    out.push_back(1);
    out.push_back(p[x]);
  }
}

}  // namespace

std::vector<uint8_t> EncodeRLE8(const TestImage8& image, RLE8Rows rows, int pad) {
  std::vector<uint8_t> out;
  const int32_t padded = (image.width + 3) & ~3;
  std::vector<uint8_t> line;
  for (int32_t row = image.height - 1; row >= 0; --row) {
    const uint8_t* p = image.pixels.data() + (size_t)row * image.width;
    line.assign(p, p + image.width);
    if (rows == RLE8Rows::kPaddedRuns || rows == RLE8Rows::kPaddedLiterals) {
      line.resize((size_t)padded, pad < 0 ? p[image.width - 1] : (uint8_t)pad);
    } else if (rows == RLE8Rows::kEarlyEnd) {
      while (!line.empty() && line.back() == 0) line.pop_back();
    }
    if (rows == RLE8Rows::kPaddedLiterals) {
      EncodeRLE8Literals(line.data(), (int32_t)line.size(), out);
    } else {
      EncodeRLE8Row(line.data(), (int32_t)line.size(), out);
    }
    out.push_back(0);
    out.push_back(0);  // end of line
  }
  out.push_back(0);
  out.push_back(1);  // end of bitmap
  return out;
}

std::vector<uint8_t> WriteBMP8(const TestImage8& image, const BMPWriteOptions& options) {
  BMPFields f;
  f.headerSize = options.headerSize;
  f.width = image.width;
  bool topDown = options.topDown && !options.rle8;
  f.height = topDown ? -image.height : image.height;
  f.compression = options.rle8 ? 1 : 0;
  std::vector<TestRGB> table = image.palette;
  if (options.writeColorsUsed) {
    f.colorsUsed = (uint32_t)table.size();
  } else {
    table.resize(256);
  }
  std::vector<uint8_t> data;
  if (options.rle8) {
    data = EncodeRLE8(image, options.rleRows, options.rlePad);
  } else {
    int32_t rowLength = (image.width + 3) & ~3;
    data.assign((size_t)rowLength * image.height, 0);
    for (int32_t i = 0; i < image.height; ++i) {
      int32_t row = topDown ? i : image.height - 1 - i;
      std::copy_n(image.pixels.begin() + (ptrdiff_t)row * image.width, image.width,
                  data.begin() + (ptrdiff_t)i * rowLength);
    }
  }
  return BuildBMP(f, table, data);
}

std::vector<uint8_t> BuildTGA(const TGAFields& f, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> out;
  out.push_back(f.idLength);
  out.push_back(f.colorMapType);
  out.push_back(f.imageType);
  Put16(out, 0);  // first colour-map entry
  Put16(out, f.colorMapLength);
  out.push_back(f.colorMapDepth);
  Put16(out, 0);  // x origin
  Put16(out, 0);  // y origin
  Put16(out, f.width);
  Put16(out, f.height);
  out.push_back(f.depth);
  out.push_back(f.descriptor);
  out.insert(out.end(), f.idLength, 'i');
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

std::vector<uint8_t> WriteTGA(int32_t width, int32_t height, const std::vector<TestRGBA>& pixels,
                              const TGAWriteOptions& o) {
  const int bpp = o.bits == 32 ? 4 : 3;
  // Pixels in stored order.
  std::vector<TestRGBA> stored;
  stored.reserve(pixels.size());
  for (int32_t i = 0; i < height; ++i) {
    int32_t y = o.topToBottom ? i : height - 1 - i;
    for (int32_t j = 0; j < width; ++j) {
      int32_t x = o.rightToLeft ? width - 1 - j : j;
      stored.push_back(pixels[(size_t)y * width + x]);
    }
  }
  auto putPixel = [&](std::vector<uint8_t>& out, const TestRGBA& p) {
    out.push_back(p.b);
    out.push_back(p.g);
    out.push_back(p.r);
    if (bpp == 4) out.push_back(p.a);
  };
  auto same = [&](const TestRGBA& a, const TestRGBA& b) {
    return a.r == b.r && a.g == b.g && a.b == b.b && (bpp == 3 || a.a == b.a);
  };
  std::vector<uint8_t> body;
  if (!o.rle) {
    for (const TestRGBA& p : stored) putPixel(body, p);
  } else {
    size_t total = stored.size();
    size_t i = 0;
    while (i < total) {
      // A packet may not pass the end of the row unless packets cross rows.
      size_t limit = o.runsCrossRows ? total : (i / width + 1) * (size_t)width;
      size_t max = std::min<size_t>(128, limit - i);
      size_t run = 1;
      while (run < max && same(stored[i + run], stored[i])) ++run;
      if (run >= 2) {
        body.push_back((uint8_t)(0x80 | (run - 1)));
        putPixel(body, stored[i]);
        i += run;
        continue;
      }
      size_t n = 1;
      while (n < max && !(i + n + 1 < limit && same(stored[i + n], stored[i + n + 1]))) ++n;
      body.push_back((uint8_t)(n - 1));
      for (size_t k = 0; k < n; ++k) putPixel(body, stored[i + k]);
      i += n;
    }
  }
  TGAFields f;
  f.idLength = o.idLength;
  f.imageType = o.rle ? 10 : 2;
  f.width = (uint16_t)width;
  f.height = (uint16_t)height;
  f.depth = (uint8_t)o.bits;
  f.descriptor = (uint8_t)((o.bits == 32 ? 8 : 0) | (o.rightToLeft ? 0x10 : 0) |
                           (o.topToBottom ? 0x20 : 0));
  return BuildTGA(f, body);
}

std::vector<uint8_t> WriteRawPalette(const std::vector<TestRGB>& colors) {
  std::vector<uint8_t> out(768, 0);
  for (size_t i = 0; i < colors.size() && i < 256; ++i) {
    out[i * 3] = colors[i].r;
    out[i * 3 + 1] = colors[i].g;
    out[i * 3 + 2] = colors[i].b;
  }
  return out;
}

std::vector<uint8_t> WriteSheetBMP8(const TestSheet& sheet, const std::vector<TestRGB>& palette) {
  TestImage8 image;
  image.width = sheet.width;
  image.height = sheet.height;
  image.pixels = sheet.index;
  image.palette = palette;
  return WriteBMP8(image);
}

std::vector<uint8_t> WriteSheetTGA(const TestSheet& sheet, const std::vector<TestRGB>& palette,
                                   const TGAWriteOptions& options) {
  std::vector<TestRGBA> px(sheet.index.size());
  for (size_t i = 0; i < px.size(); i++) {
    const TestRGB& c = palette[sheet.index[i]];
    px[i] = {c.r, c.g, c.b, sheet.depth[i]};
  }
  return WriteTGA(sheet.width, sheet.height, px, options);
}

std::vector<uint8_t> WriteSheetAlphaTGA(const TestSheet& sheet) {
  std::vector<TestRGBA> px(sheet.alpha.size());
  for (size_t i = 0; i < px.size(); i++) px[i] = {sheet.alpha[i], sheet.alpha[i], sheet.alpha[i], 255};
  return WriteTGA(sheet.width, sheet.height, px);
}
