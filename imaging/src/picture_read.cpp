// Reading any picture file into a new picture: BMP by the station's own reader,
// PNG, JPEG, TIFF and GIF through their libraries. Every reader checks the
// picture's size before it allocates, and none prints anything.
#include <cstdio>  // before jpeglib.h, which needs FILE

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <sys/stat.h>
#include <tiffio.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bmp_internal.h"
#include "vantrel/dib_file.h"

namespace {

using vantrel::detail::kMaxPictureBytes;

// One reading: its limit and what it reports. The size a file declares is
// noted as soon as a header gives it, so that a refusal can name it.
struct Reading {
  uint64_t maxPixels;
  DibReadReport* report;

  void Note(uint64_t width, uint64_t height) {
    report->width = static_cast<uint32_t>(std::min<uint64_t>(width, UINT32_MAX));
    report->height = static_cast<uint32_t>(std::min<uint64_t>(height, UINT32_MAX));
  }

  bool Over(uint64_t width, uint64_t height, uint64_t bytesPerPixel) const {
    if (width == 0 || height == 0) return false;
    if (width > INT32_MAX || height > INT32_MAX) return true;
    return width * height > maxPixels || width * height * bytesPerPixel > kMaxPictureBytes;
  }

  // The picture's own size: noted, then checked.
  bool TooLarge(uint64_t width, uint64_t height, uint64_t bytesPerPixel) {
    Note(width, height);
    return Over(width, height, bytesPerPixel);
  }
};

DibImage Fail(Reading& r, int32_t why, DibImage image = nullptr) {
  DibFree(image);
  r.report->status = why;
  return nullptr;
}

bool StartsWith(const uint8_t* d, size_t n, const char* magic, size_t m) {
  return n >= m && std::memcmp(d, magic, m) == 0;
}

// A picture whose every pixel is grey becomes an 8-bit picture.
DibImage GreyIfPossible(DibImage colour) {
  const int32_t w = DibGetWidth(colour), h = DibGetHeight(colour), stride = DibGetStride(colour);
  const uint8_t* bits = DibGetBits(colour);
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* p = bits + static_cast<ptrdiff_t>(y) * stride;
    for (int32_t x = 0; x < w; ++x, p += 3)
      if (p[0] != p[1] || p[1] != p[2]) return colour;
  }
  DibImage grey = DibCreate(w, h, 1, 4);
  if (!grey) return colour;
  uint8_t* g = DibGetBits(grey);
  const int32_t gs = DibGetStride(grey);
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* p = bits + static_cast<ptrdiff_t>(y) * stride;
    for (int32_t x = 0; x < w; ++x) g[static_cast<ptrdiff_t>(y) * gs + x] = p[3 * x];
  }
  DibFree(colour);
  return grey;
}

// ---- BMP ----------------------------------------------------------------

DibImage ReadBmp(const uint8_t* data, size_t size, Reading& r) {
  FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (!f) return Fail(r, kDibReadNoMemory);
  vantrel::detail::BmpHeader header;
  int32_t why = vantrel::detail::ParseBmpHeader(f, &header, r.maxPixels);
  if (why == 0 || why == kDibReadTooLarge)
    r.Note(uint64_t(header.info.biWidth), uint64_t(std::abs(int64_t{header.info.biHeight})));
  if (why != 0) {
    std::fclose(f);
    return Fail(r, why);
  }
  const int32_t bits = header.info.biBitCount;
  if (bits == 16) {
    std::fclose(f);
    return Fail(r, kDibReadUnsupported);
  }
  bool grey = bits <= 8;
  for (uint32_t i = 0; grey && i < header.colours; ++i) {
    const RgbQuad& c = header.table[i];
    grey = c.rgbBlue == c.rgbGreen && c.rgbGreen == c.rgbRed;
  }
  const int32_t height = header.info.biHeight < 0 ? -header.info.biHeight : header.info.biHeight;
  // A file far shorter than its rows would give a picture of mostly nothing,
  // perhaps a very large one: refused before the picture is made. Missing
  // padding at the very end is tolerated.
  const uint64_t rowBytes = (uint64_t(bits) * uint64_t(header.info.biWidth) + 31) / 32 * 4;
  const off_t start = ftello(f);
  if (start < 0 || uint64_t(start) + rowBytes * uint64_t(height) > uint64_t(size) + rowBytes) {
    std::fclose(f);
    return Fail(r, kDibReadBroken);
  }
  DibImage image = DibCreate(header.info.biWidth, height, grey ? 1 : 3, 4);
  if (!image) {
    std::fclose(f);
    return Fail(r, kDibReadNoMemory);
  }
  why = vantrel::detail::ReadBmpRows(f, header, image, true);
  std::fclose(f);
  if (why != 0) return Fail(r, kDibReadUnsupported, image);
  return image;
}

// ---- PNG ----------------------------------------------------------------

DibImage ReadPng(const uint8_t* data, size_t size, Reading& r) {
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&img, data, size)) return Fail(r, kDibReadBroken);
  // 16-bit files without gamma information are sRGB like every other picture.
  img.flags |= PNG_IMAGE_FLAG_16BIT_sRGB;
  const bool grey = (img.format & PNG_FORMAT_FLAG_COLOR) == 0;
  if (r.TooLarge(img.width, img.height, grey ? 1 : 3)) {
    png_image_free(&img);
    return Fail(r, kDibReadTooLarge);
  }
  img.format = grey ? PNG_FORMAT_GRAY : PNG_FORMAT_BGR;
  DibImage image = DibCreate(static_cast<int32_t>(img.width), static_cast<int32_t>(img.height), grey ? 1 : 3, 4);
  if (!image) {
    png_image_free(&img);
    return Fail(r, kDibReadNoMemory);
  }
  // Transparent parts show white, as on a page: dark marks stay readable.
  const png_color white{255, 255, 255};
  if (!png_image_finish_read(&img, &white, DibGetBits(image), DibGetStride(image), nullptr)) {
    png_image_free(&img);
    return Fail(r, kDibReadBroken, image);
  }
  return image;
}

// ---- JPEG ---------------------------------------------------------------

struct JpegError {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

void JpegErrorExit(j_common_ptr c) { std::longjmp(reinterpret_cast<JpegError*>(c->err)->jump, 1); }
void JpegSilent(j_common_ptr) {}
void JpegSilentLevel(j_common_ptr, int) {}

// Progressive files with thousands of scans take minutes to decode; no real
// camera or scanner writes more than a few dozen.
void JpegScanLimit(j_common_ptr c) {
  auto* d = reinterpret_cast<j_decompress_ptr>(c);
  if (d->input_scan_number > 500) JpegErrorExit(c);
}

DibImage ReadJpeg(const uint8_t* data, size_t size, Reading& r) {
  jpeg_decompress_struct c;
  JpegError err;
  jpeg_progress_mgr progress{};
  progress.progress_monitor = JpegScanLimit;
  c.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = JpegErrorExit;
  err.pub.output_message = JpegSilent;
  err.pub.emit_message = JpegSilentLevel;
  DibImage volatile image = nullptr;
  int32_t volatile why = kDibReadBroken;
  std::vector<uint8_t> cmyk;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&c);
    return Fail(r, why, image);
  }
  jpeg_create_decompress(&c);
  c.progress = &progress;
  jpeg_mem_src(&c, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&c, TRUE) != JPEG_HEADER_OK) JpegErrorExit(reinterpret_cast<j_common_ptr>(&c));
  const bool ink = c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK;
  const bool grey = c.jpeg_color_space == JCS_GRAYSCALE;
  if (r.TooLarge(c.image_width, c.image_height, grey ? 1 : 3)) {
    why = kDibReadTooLarge;
    JpegErrorExit(reinterpret_cast<j_common_ptr>(&c));
  }
  c.out_color_space = grey ? JCS_GRAYSCALE : ink ? JCS_CMYK : JCS_EXT_BGR;
  jpeg_start_decompress(&c);
  image = DibCreate(static_cast<int32_t>(c.output_width), static_cast<int32_t>(c.output_height), grey ? 1 : 3, 4);
  if (!image) {
    why = kDibReadNoMemory;
    JpegErrorExit(reinterpret_cast<j_common_ptr>(&c));
  }
  uint8_t* bits = DibGetBits(image);
  const int32_t stride = DibGetStride(image);
  if (ink) cmyk.resize(static_cast<size_t>(c.output_width) * 4);
  // Files written by the usual prepress programs store their ink inverted.
  const bool inverted = c.saw_Adobe_marker;
  while (c.output_scanline < c.output_height) {
    uint8_t* row = bits + static_cast<ptrdiff_t>(c.output_scanline) * stride;
    JSAMPROW p = ink ? cmyk.data() : row;
    if (jpeg_read_scanlines(&c, &p, 1) != 1) break;
    if (ink) {
      for (JDIMENSION x = 0; x < c.output_width; ++x) {
        uint8_t* q = cmyk.data() + 4 * x;
        const int k = inverted ? q[3] : 255 - q[3];
        for (int ch = 0; ch < 3; ++ch) {
          const int v = inverted ? q[2 - ch] : 255 - q[2 - ch];  // B from Y, G from M, R from C
          row[3 * x + ch] = static_cast<uint8_t>(v * k / 255);
        }
      }
    }
  }
  jpeg_finish_decompress(&c);
  jpeg_destroy_decompress(&c);
  return image;
}

// ---- TIFF ---------------------------------------------------------------

struct MemoryFile {
  const uint8_t* data;
  size_t size;
  size_t pos;
};

tmsize_t TiffRead(thandle_t h, void* buf, tmsize_t n) {
  auto* m = static_cast<MemoryFile*>(h);
  if (n < 0 || m->pos >= m->size) return 0;
  const size_t k = std::min(static_cast<size_t>(n), m->size - m->pos);
  std::memcpy(buf, m->data + m->pos, k);
  m->pos += k;
  return static_cast<tmsize_t>(k);
}
tmsize_t TiffWrite(thandle_t, void*, tmsize_t) { return -1; }
toff_t TiffSeek(thandle_t h, toff_t off, int whence) {
  auto* m = static_cast<MemoryFile*>(h);
  uint64_t base = whence == SEEK_CUR ? m->pos : whence == SEEK_END ? m->size : 0;
  uint64_t to = base + off;
  if (to < base) return static_cast<toff_t>(-1);
  m->pos = static_cast<size_t>(std::min<uint64_t>(to, SIZE_MAX));
  return to;
}
int TiffClose(thandle_t) { return 0; }
toff_t TiffSize(thandle_t h) { return static_cast<MemoryFile*>(h)->size; }
int TiffMap(thandle_t, void**, toff_t*) { return 0; }
void TiffUnmap(thandle_t, void*, toff_t) {}
int TiffQuiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

DibImage ReadTiff(const uint8_t* data, size_t size, Reading& r) {
  MemoryFile mem{data, size, 0};
  TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
  if (!opts) return Fail(r, kDibReadNoMemory);
  TIFFOpenOptionsSetErrorHandlerExtR(opts, TiffQuiet, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(opts, TiffQuiet, nullptr);
  TIFFOpenOptionsSetMaxSingleMemAlloc(opts, static_cast<tmsize_t>(256) << 20);
  TIFF* t = TIFFClientOpenExt("picture", "rm", &mem, TiffRead, TiffWrite, TiffSeek, TiffClose, TiffSize,
                              TiffMap, TiffUnmap, opts);
  TIFFOpenOptionsFree(opts);
  if (!t) return Fail(r, kDibReadBroken);
  uint32_t w = 0, h = 0;
  uint16_t photometric = 0, samples = 1;
  TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric);
  char message[1024];
  int32_t why = 0;
  if (w == 0 || h == 0) why = kDibReadBroken;
  else if (r.TooLarge(w, h, 4)) why = kDibReadTooLarge;
  else if (!TIFFRGBAImageOK(t, message)) why = kDibReadUnsupported;
  if (why != 0) {
    TIFFClose(t);
    return Fail(r, why);
  }
  std::vector<uint32_t> raster;
  try {
    raster.resize(static_cast<size_t>(w) * h);
  } catch (...) {
    TIFFClose(t);
    return Fail(r, kDibReadNoMemory);
  }
  const int ok = TIFFReadRGBAImageOriented(t, w, h, raster.data(), ORIENTATION_TOPLEFT, 0);
  TIFFClose(t);
  if (!ok) return Fail(r, kDibReadBroken);
  const bool grey = (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE);
  DibImage image = DibCreate(static_cast<int32_t>(w), static_cast<int32_t>(h), grey ? 1 : 3, 4);
  if (!image) return Fail(r, kDibReadNoMemory);
  uint8_t* bits = DibGetBits(image);
  const int32_t stride = DibGetStride(image);
  for (uint32_t y = 0; y < h; ++y) {
    uint8_t* row = bits + static_cast<ptrdiff_t>(y) * stride;
    const uint32_t* src = raster.data() + static_cast<size_t>(y) * w;
    for (uint32_t x = 0; x < w; ++x) {
      // Colours come premultiplied by alpha: transparent parts show white.
      const uint32_t p = src[x], a = TIFFGetA(p);
      auto over = [a](uint32_t c) { return static_cast<uint8_t>(std::min<uint32_t>(255, c + 255 - a)); };
      if (grey) {
        row[x] = over(TIFFGetR(p));
      } else {
        row[3 * x] = over(TIFFGetB(p));
        row[3 * x + 1] = over(TIFFGetG(p));
        row[3 * x + 2] = over(TIFFGetR(p));
      }
    }
  }
  return image;
}

// ---- GIF ----------------------------------------------------------------

int GifRead(GifFileType* gif, GifByteType* buf, int n) {
  auto* m = static_cast<MemoryFile*>(gif->UserData);
  if (n <= 0 || m->pos >= m->size) return 0;
  const size_t k = std::min(static_cast<size_t>(n), m->size - m->pos);
  std::memcpy(buf, m->data + m->pos, k);
  m->pos += k;
  return static_cast<int>(k);
}

// The first frame, over a white canvas.
DibImage ReadGif(const uint8_t* data, size_t size, Reading& r) {
  MemoryFile mem{data, size, 0};
  int error = 0;
  GifFileType* gif = DGifOpen(&mem, GifRead, &error);
  if (!gif) return Fail(r, kDibReadBroken);
  auto done = [&](int32_t why, DibImage image) {
    DGifCloseFile(gif, &error);
    return why == 0 ? image : Fail(r, why, image);
  };
  const int32_t cw = gif->SWidth, ch = gif->SHeight;
  if (cw <= 0 || ch <= 0) return done(kDibReadBroken, nullptr);
  if (r.TooLarge(static_cast<uint64_t>(cw), static_cast<uint64_t>(ch), 3)) return done(kDibReadTooLarge, nullptr);
  DibImage image = DibCreate(cw, ch, 3, 4);
  if (!image) return done(kDibReadNoMemory, nullptr);
  uint8_t* bits = DibGetBits(image);
  const int32_t stride = DibGetStride(image);
  for (int32_t y = 0; y < ch; ++y) std::memset(bits + static_cast<ptrdiff_t>(y) * stride, 255, static_cast<size_t>(cw) * 3);

  int transparent = -1;
  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(gif, &type) != GIF_OK) return done(kDibReadBroken, image);
    if (type == TERMINATE_RECORD_TYPE) return done(kDibReadBroken, image);  // no frame at all
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* ext = nullptr;
      if (DGifGetExtension(gif, &code, &ext) != GIF_OK) return done(kDibReadBroken, image);
      if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) {
        GraphicsControlBlock gcb;
        if (DGifExtensionToGCB(ext[0], ext + 1, &gcb) == GIF_OK) transparent = gcb.TransparentColor;
      }
      while (ext) {
        if (DGifGetExtensionNext(gif, &ext) != GIF_OK) return done(kDibReadBroken, image);
      }
      continue;
    }
    if (type != IMAGE_DESC_RECORD_TYPE) continue;
    if (DGifGetImageDesc(gif) != GIF_OK) return done(kDibReadBroken, image);
    const GifImageDesc& d = gif->Image;
    const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
    if (!map || d.Width <= 0 || d.Height <= 0) return done(kDibReadBroken, image);
    // Rows outside the canvas are decoded too, only to be dropped: a frame
    // far larger than its canvas is held to the same limit, and named.
    const uint64_t fw = static_cast<uint64_t>(d.Width), fh = static_cast<uint64_t>(d.Height);
    if (fw * fh > uint64_t(cw) * uint64_t(ch) && r.Over(fw, fh, 1)) {
      r.Note(fw, fh);
      return done(kDibReadTooLarge, image);
    }
    std::vector<GifPixelType> line(static_cast<size_t>(d.Width));
    // Interlaced frames arrive in four passes.
    static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    const int passes = d.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass) {
      const int first = d.Interlace ? kStart[pass] : 0, step = d.Interlace ? kStep[pass] : 1;
      for (int r = first; r < d.Height; r += step) {
        if (DGifGetLine(gif, line.data(), d.Width) != GIF_OK) return done(kDibReadBroken, image);
        const int64_t y = int64_t{d.Top} + r;
        if (y < 0 || y >= ch) continue;
        uint8_t* row = bits + y * stride;
        for (int x = 0; x < d.Width; ++x) {
          const int64_t px = int64_t{d.Left} + x;
          const int idx = line[static_cast<size_t>(x)];
          if (px < 0 || px >= cw || idx == transparent || idx >= map->ColorCount) continue;
          const GifColorType& c = map->Colors[idx];
          row[3 * px] = c.Blue;
          row[3 * px + 1] = c.Green;
          row[3 * px + 2] = c.Red;
        }
      }
    }
    return done(0, GreyIfPossible(image));
  }
}

}  // namespace

namespace vantrel::detail {

uint64_t EffectiveMaxPixels(uint64_t maxPixels) { return maxPixels != 0 ? maxPixels : DibMaxPixels(); }

}  // namespace vantrel::detail

extern "C" {

uint64_t DibMaxPixels(void) {
  // Only plain digits count: a typing error must not lift the limit, nor drop
  // it to something that refuses every picture.
  const char* text = std::getenv("VANTREL_MAX_PIXELS");
  if (!text || !*text) return kDibDefaultMaxPixels;
  uint64_t v = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return uint64_t{kDibDefaultMaxPixels};
    const uint64_t digit = static_cast<uint64_t>(*p - '0');
    if (v > (UINT64_MAX - digit) / 10) return kDibDefaultMaxPixels;
    v = v * 10 + digit;
  }
  return v != 0 ? v : uint64_t{kDibDefaultMaxPixels};
}

DibImage DibReadPictureMemoryLimited(const uint8_t* data, size_t size, uint64_t maxPixels,
                                     DibReadReport* report) {
  DibReadReport ignored;
  Reading r{vantrel::detail::EffectiveMaxPixels(maxPixels), report ? report : &ignored};
  *r.report = DibReadReport{kDibReadOk, 0, 0};
  if (!data && size) return Fail(r, kDibReadCannotOpen);
  if (size > kMaxPictureBytes) return Fail(r, kDibReadTooLarge);
  if (StartsWith(data, size, "\x89PNG\r\n\x1a\n", 8)) return ReadPng(data, size, r);
  if (StartsWith(data, size, "\xFF\xD8\xFF", 3)) return ReadJpeg(data, size, r);
  if (StartsWith(data, size, "II*\0", 4) || StartsWith(data, size, "MM\0*", 4) ||
      StartsWith(data, size, "II+\0", 4) || StartsWith(data, size, "MM\0+", 4))
    return ReadTiff(data, size, r);
  if (StartsWith(data, size, "GIF87a", 6) || StartsWith(data, size, "GIF89a", 6)) return ReadGif(data, size, r);
  if (StartsWith(data, size, "BM", 2)) return ReadBmp(data, size, r);
  // A bitmap without its file header starts with the header's size.
  if (size >= 4) {
    const uint32_t headerSize = data[0] | (data[1] << 8) | (data[2] << 16) | (uint32_t{data[3]} << 24);
    if (headerSize == 12 || headerSize == 40 || headerSize == 108 || headerSize == 124)
      return ReadBmp(data, size, r);
  }
  return Fail(r, kDibReadUnknownFormat);
}

DibImage DibReadPictureFileLimited(const char* path, uint64_t maxPixels, DibReadReport* report) {
  DibReadReport ignored;
  Reading r{vantrel::detail::EffectiveMaxPixels(maxPixels), report ? report : &ignored};
  *r.report = DibReadReport{kDibReadOk, 0, 0};
  if (!path || !*path) return Fail(r, kDibReadCannotOpen);
  FILE* f = std::fopen(path, "rb");
  if (!f) return Fail(r, kDibReadCannotOpen);
  struct stat st;
  if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
    std::fclose(f);
    return Fail(r, kDibReadCannotOpen);
  }
  if (static_cast<uint64_t>(st.st_size) > kMaxPictureBytes) {
    std::fclose(f);
    return Fail(r, kDibReadTooLarge);
  }
  std::vector<uint8_t> data;
  try {
    data.resize(static_cast<size_t>(st.st_size));
  } catch (...) {
    std::fclose(f);
    return Fail(r, kDibReadNoMemory);
  }
  const size_t got = data.empty() ? 0 : std::fread(data.data(), 1, data.size(), f);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) return Fail(r, kDibReadCannotOpen);
  data.resize(got);
  return DibReadPictureMemoryLimited(data.data(), data.size(), r.maxPixels, r.report);
}

DibImage DibReadPictureMemory(const uint8_t* data, size_t size, int32_t* status) {
  DibReadReport report;
  DibImage image = DibReadPictureMemoryLimited(data, size, 0, &report);
  if (status) *status = report.status;
  return image;
}

DibImage DibReadPictureFile(const char* path, int32_t* status) {
  DibReadReport report;
  DibImage image = DibReadPictureFileLimited(path, 0, &report);
  if (status) *status = report.status;
  return image;
}

const char* DibReadStatusText(int32_t status) {
  switch (status) {
    case kDibReadOk: return "read";
    case kDibReadCannotOpen: return "cannot open the file";
    case kDibReadUnknownFormat: return "not a BMP, PNG, JPEG, TIFF or GIF picture";
    case kDibReadBroken: return "damaged or truncated picture";
    case kDibReadUnsupported: return "a kind of picture that is not read";
    case kDibReadTooLarge: return "picture too large";
    case kDibReadNoMemory: return "not enough memory";
    default: return "unknown failure";
  }
}

}  // extern "C"
