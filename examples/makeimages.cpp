// Makes the images of the example object, or of the benchmark object, into a folder:
//
//   makeimages example <folder>      the small object that examples/chair.omk describes
//   makeimages bench <folder> [n] [large] [alpha] [rows]
//                                    n sprite sheets of `rows` sprites each (default 10 sheets
//                                    of 4) with large cells of `large` pixels (default 336),
//                                    their alpha images unless `alpha` is 0, and their
//                                    object-make file bench.omk
//   makeimages bench ... [rows] [fill]  `fill`: the drawn ellipses' radii over their cells'
//                                    sides (default 0.36: about 30% of a sheet drawn; 0.5:
//                                    about 60%)
//   makeimages big <folder> [n] [frames] [fill]
//                                    n sheets of 1792 x 1024 of one sprite each (4 views x 3
//                                    zooms, `frames` 1 or 2 frames: large cells of 256 x 1024
//                                    or 256 x 512), each with its own palette id; bench.omk
//   makeimages sprites <folder> n    n sheets of one sprite each (one view, cells of 64 pixels:
//                                    112 x 64), each a 32-bit TGA and its palette BMP, all in
//                                    one folder, and their object-make file sprites.omk
//
// Every sprite sheet is a row of view cells per sprite: 4 (or fewer) large cells, then the
// medium and the small ones. Objects are drawn as shaded discs on a clear background, with
// their depth in the alpha channel of the 32-bit TGAs (255 = nothing there).
// Standalone on purpose: it needs nothing but the C++ library.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> index;  // palette index per pixel, row-major from the top
  std::vector<uint8_t> depth;  // 255 = clear
  std::vector<uint8_t> alpha;  // 0 = clear, 255 = opaque
  Image(int w, int h) : width(w), height(h), index(size_t(w) * h, 0), depth(size_t(w) * h, 255),
                        alpha(size_t(w) * h, 0) {}
};

struct Rgb {
  uint8_t r, g, b;
};

// A colour cube of 6 x 6 x 6 levels in entries 16..231, greys elsewhere; entry 0 is the
// clear blue of the background.
std::vector<Rgb> MakePalette() {
  std::vector<Rgb> pal(256);
  for (int i = 0; i < 256; i++) pal[i] = {uint8_t(i), uint8_t(i), uint8_t(i)};
  pal[0] = {0, 0, 255};
  for (int i = 0; i < 216; i++) {
    pal[16 + i] = {uint8_t((i / 36) * 51), uint8_t(((i / 6) % 6) * 51), uint8_t((i % 6) * 51)};
  }
  return pal;
}

void Put16(std::string& s, unsigned v) {
  s += char(v & 255);
  s += char((v >> 8) & 255);
}
void Put32(std::string& s, unsigned v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr) {
    fprintf(stderr, "makeimages: cannot write %s\n", path.c_str());
    return false;
  }
  const bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return fclose(f) == 0 && ok;
}

// An 8-bit BMP with the palette and the image's indices.
bool WriteBmp(const std::string& path, const Image& im, const std::vector<Rgb>& pal) {
  const int rowLength = (im.width + 3) & ~3;
  const unsigned pixelOffset = 14 + 40 + 256 * 4;
  std::string s;
  s += "BM";
  Put32(s, pixelOffset + unsigned(rowLength) * im.height);
  Put32(s, 0);
  Put32(s, pixelOffset);
  Put32(s, 40);
  Put32(s, unsigned(im.width));
  Put32(s, unsigned(im.height));
  Put16(s, 1);
  Put16(s, 8);
  Put32(s, 0);
  Put32(s, unsigned(rowLength) * im.height);
  Put32(s, 2835);
  Put32(s, 2835);
  Put32(s, 256);
  Put32(s, 0);
  for (const Rgb& c : pal) {
    s += char(c.b);
    s += char(c.g);
    s += char(c.r);
    s += char(0);
  }
  for (int y = im.height - 1; y >= 0; y--) {
    s.append(reinterpret_cast<const char*>(&im.index[size_t(y) * im.width]), im.width);
    s.append(size_t(rowLength - im.width), '\0');
  }
  return WriteFile(path, s);
}

// A raw palette file: 256 RGB triples.
bool WriteRawPalette(const std::string& path, const std::vector<Rgb>& pal) {
  std::string s;
  for (const Rgb& c : pal) {
    s += char(c.r);
    s += char(c.g);
    s += char(c.b);
  }
  return WriteFile(path, s);
}

enum class TgaKind { kColour24, kColourDepth32, kAlpha24 };

// An uncompressed top-down TGA. kColour24: colours only; kColourDepth32: colours and the
// depth in the alpha channel; kAlpha24: the alpha image as grey levels.
bool WriteTga(const std::string& path, const Image& im, const std::vector<Rgb>& pal, TgaKind kind) {
  const bool deep = kind == TgaKind::kColourDepth32;
  std::string s;
  s += char(0);
  s += char(0);
  s += char(2);
  s.append(9, '\0');
  Put16(s, unsigned(im.width));
  Put16(s, unsigned(im.height));
  s += char(deep ? 32 : 24);
  s += char(deep ? 0x28 : 0x20);
  s.reserve(s.size() + size_t(im.width) * im.height * (deep ? 4 : 3));
  for (size_t i = 0; i < im.index.size(); i++) {
    if (kind == TgaKind::kAlpha24) {
      s += char(im.alpha[i]);
      s += char(im.alpha[i]);
      s += char(im.alpha[i]);
      continue;
    }
    const Rgb& c = pal[im.index[i]];
    s += char(c.b);
    s += char(c.g);
    s += char(c.r);
    if (deep) s += char(im.depth[i]);
  }
  return WriteFile(path, s);
}

// Draws an ellipse of `hue` (0..5) into the cell at (left, top) of the given size, shaded by
// `view`, with depth growing from the front of it; its rim is half transparent. `fill` is its
// radii over the cell's sides: 0.36 draws about 40% of a cell, 0.5 about 75%.
void DrawCell(Image& im, int left, int top, int width, int height, int hue, int view,
              double fill) {
  // The default discs lean with the view; fuller ones stay in the middle to fit their cells.
  const bool lean = fill <= 0.36;
  const double cx = left + width / 2.0 + (lean ? (view - 1.5) * width / 10.0 : 0.0);
  const double cy = top + height * (lean ? 0.55 : 0.5);
  const double rx = (width == height ? std::min(width, height) : width) * fill;
  const double ry = (width == height ? std::min(width, height) : height) * fill;
  for (int y = top; y < top + height; y++) {
    for (int x = left; x < left + width; x++) {
      const double dx = (x + 0.5 - cx) / rx;
      const double dy = (y + 0.5 - cy) / ry;
      const double d2 = dx * dx + dy * dy;
      if (d2 > 1.0) continue;
      const size_t i = size_t(y) * im.width + x;
      const int shade = std::max(0, std::min(5, int((1.2 - d2) * 4.5) - (view & 1)));
      const int r = hue & 1 ? shade : 5 - shade / 2;
      const int g = hue & 2 ? shade : shade / 3;
      const int b = hue & 4 ? shade : 1;
      im.index[i] = uint8_t(16 + r * 36 + g * 6 + b);
      im.depth[i] = uint8_t(40 + int(180 * (0.5 + dy / 2)));
      im.alpha[i] = d2 > 0.8 ? 128 : 255;
    }
  }
}

// A sheet of `rows` rows of `columns` views each, large cells of `large` x `high` pixels.
Image MakeSheet(int columns, int rows, int large, int hue, int high = 0, double fill = 0.36) {
  if (high == 0) high = large;
  const int width = columns * (large + large / 2 + large / 4);
  Image im(width, rows * high);
  for (int row = 0; row < rows; row++) {
    for (int c = 0; c < columns; c++) {
      int left = 0;
      int size = large;
      int tall = high;
      for (int zoom = 0; zoom < 3; zoom++) {
        DrawCell(im, left + c * size, row * high, size, tall, hue + row, c, fill);
        left += columns * size;
        size /= 2;
        tall /= 2;
      }
    }
  }
  return im;
}

// A mask over one sprite row: clear (index 0) over the left quarter of every cell.
Image MakeMask(int columns, int large) {
  const int width = columns * (large + large / 2 + large / 4);
  Image im(width, large);
  for (int y = 0; y < large; y++) {
    for (int x = 0; x < width; x++) im.index[size_t(y) * width + x] = 1;
  }
  int left = 0;
  int size = large;
  for (int zoom = 0; zoom < 3; zoom++) {
    for (int c = 0; c < columns; c++) {
      for (int y = 0; y < size; y++) {
        for (int x = 0; x < size / 4; x++) im.index[size_t(y) * width + left + c * size + x] = 0;
      }
    }
    left += columns * size;
    size /= 2;
  }
  return im;
}

bool MakeExample(const std::string& dir) {
  const std::vector<Rgb> pal = MakePalette();
  const int large = 64;
  // chair: 32-bit TGA with its 8-bit palette BMP and an alpha image; two bi-laterally
  // symmetric sprites (2 columns) on rows 0 and 1, the second one masked.
  Image chair = MakeSheet(2, 2, large, 1);
  // lamp: 24-bit TGA (no depth) with its palette BMP.
  Image lamp = MakeSheet(4, 1, large, 3);
  // rug: 32-bit TGA whose palette file is a raw palette, so its colours are matched.
  Image rug = MakeSheet(1, 1, large, 5);
  return WriteTga(dir + "/chair.tga", chair, pal, TgaKind::kColourDepth32) &&
         WriteBmp(dir + "/chair.bmp", chair, pal) &&
         WriteTga(dir + "/chairalpha.tga", chair, pal, TgaKind::kAlpha24) &&
         WriteBmp(dir + "/chairmask.bmp", MakeMask(2, large), pal) &&
         WriteTga(dir + "/lamp.tga", lamp, pal, TgaKind::kColour24) &&
         WriteBmp(dir + "/lamp.bmp", lamp, pal) &&
         WriteTga(dir + "/rug.tga", rug, pal, TgaKind::kColourDepth32) &&
         WriteRawPalette(dir + "/rug.bmp", pal);
}

// A sheet's 32-bit TGA and palette BMP, and its alpha image when `withAlpha`.
bool WriteSheet(const std::string& base, const Image& sheet, const std::vector<Rgb>& pal,
                bool withAlpha) {
  return WriteTga(base + ".tga", sheet, pal, TgaKind::kColourDepth32) &&
         WriteBmp(base + ".bmp", sheet, pal) &&
         (!withAlpha || WriteTga(base + "alpha.tga", sheet, pal, TgaKind::kAlpha24));
}

// The sizes tag of large cells of `large` pixels.
std::string SizesTag(int large) {
  char sizes[160];
  snprintf(sizes, sizeof sizes, "<sizes lwidth=%d lheight=%d mwidth=%d mheight=%d swidth=%d sheight=%d>\n",
           large, large, large / 2, large / 2, large / 4, large / 4);
  return sizes;
}

// A draw group of the sprites 1000 .. 1000 + count - 1.
std::string DrawGroupOfAll(int count) {
  std::string omk = "<drawgroup id=100 name=all>\n";
  for (int i = 0; i < count; i++) {
    char tag[64];
    snprintf(tag, sizeof tag, "<item sprite id=%d>\n", 1000 + i);
    omk += tag;
  }
  return omk;
}

bool MakeBench(const std::string& dir, int sheets, int large, bool withAlpha, int rows,
               double fill) {
  const std::vector<Rgb> pal = MakePalette();
  std::string omk = SizesTag(large);
  for (int s = 0; s < sheets; s++) {
    char name[32];
    snprintf(name, sizeof name, "sheet%02d", s);
    if (!WriteSheet(dir + "/" + name, MakeSheet(4, rows, large, s % 6, large, fill), pal, withAlpha))
      return false;
    for (int row = 0; row < rows; row++) {
      char tag[160];
      snprintf(tag, sizeof tag, "<sprite id=%d name=%s-%d tgafile=%s.tga paletteid=1>\n",
               1000 + s * rows + row, name, row, name);
      omk += tag;
    }
  }
  return WriteFile(dir + "/bench.omk", omk + DrawGroupOfAll(sheets * rows));
}

// Sheets of one sprite each, 4 views of `frames` frames of large cells of `large` x `high`
// pixels (the sheet: 1792 x 1024 for 256 x 1024 and one frame, or 256 x 512 and two), each
// sprite with a palette id of its own.
bool MakeBig(const std::string& dir, int sheets, int large, int high, int frames, double fill) {
  const std::vector<Rgb> pal = MakePalette();
  char sizes[160];
  snprintf(sizes, sizeof sizes, "<sizes lwidth=%d lheight=%d mwidth=%d mheight=%d swidth=%d sheight=%d>\n",
           large, high, large / 2, high / 2, large / 4, high / 4);
  std::string omk = sizes;
  for (int s = 0; s < sheets; s++) {
    char name[32];
    snprintf(name, sizeof name, "big%03d", s);
    if (!WriteSheet(dir + "/" + name, MakeSheet(4, frames, large, s % 6, high, fill), pal, false))
      return false;
    char tag[192];
    snprintf(tag, sizeof tag, "<sprite id=%d name=%s tgafile=%s.tga frames=%d paletteid=%d>\n",
             1000 + s, name, name, frames, 1 + s);
    omk += tag;
  }
  return WriteFile(dir + "/bench.omk", omk + DrawGroupOfAll(sheets));
}

// Sheets of one sprite and one view each, cells of 64 pixels: 112 x 64.
bool MakeSprites(const std::string& dir, int count) {
  const std::vector<Rgb> pal = MakePalette();
  std::string omk = SizesTag(64);
  for (int s = 0; s < count; s++) {
    char name[32];
    snprintf(name, sizeof name, "sprite%05d", s);
    if (!WriteSheet(dir + "/" + name, MakeSheet(1, 1, 64, s % 6), pal, false)) return false;
    char tag[160];
    snprintf(tag, sizeof tag,
             "<sprite id=%d name=%s tgafile=%s.tga columns=1 symmetry=radial position=0 paletteid=1>\n",
             1000 + s, name, name);
    omk += tag;
  }
  return WriteFile(dir + "/sprites.omk", omk + DrawGroupOfAll(count));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: makeimages example|bench|big|sprites <folder> [sheets] ...\n");
    return 2;
  }
  const std::string mode = argv[1];
  if (mode == "example") return MakeExample(argv[2]) ? 0 : 1;
  if (mode == "bench") {
    const int large = argc > 4 ? atoi(argv[4]) : 336;
    if (large < 4 || large > 2048) {
      fprintf(stderr, "makeimages: large cells of 4 to 2048 pixels\n");
      return 2;
    }
    const int rows = argc > 6 ? atoi(argv[6]) : 4;
    if (rows < 1 || rows > 256) {
      fprintf(stderr, "makeimages: 1 to 256 sprites per sheet\n");
      return 2;
    }
    const double fill = argc > 7 ? atof(argv[7]) : 0.36;
    return MakeBench(argv[2], argc > 3 ? atoi(argv[3]) : 10, large, argc > 5 ? atoi(argv[5]) != 0 : true, rows, fill) ? 0 : 1;
  }
  if (mode == "big") {
    const int sheets = argc > 3 ? atoi(argv[3]) : 16;
    const int frames = argc > 4 ? atoi(argv[4]) : 1;
    const double fill = argc > 5 ? atof(argv[5]) : 0.36;
    if (sheets < 1 || sheets > 1000 || (frames != 1 && frames != 2) || fill <= 0 || fill > 0.6) {
      fprintf(stderr, "makeimages: big takes 1 to 1000 sheets, 1 or 2 frames, fill 0 to 0.6\n");
      return 2;
    }
    return MakeBig(argv[2], sheets, 256, 1024 / frames, frames, fill) ? 0 : 1;
  }
  if (mode == "sprites") {
    const int count = argc > 3 ? atoi(argv[3]) : 100;
    if (count < 1 || count > 30000) {
      fprintf(stderr, "makeimages: 1 to 30000 sprites\n");
      return 2;
    }
    return MakeSprites(argv[2], count) ? 0 : 1;
  }
  fprintf(stderr, "makeimages: unknown mode %s\n", argv[1]);
  return 2;
}
