// Saving through the codec libraries. What each format receives, by the
// picture's bit count:
//
//   bits  PNG                 TIFF (LZW)           JPEG (quality 90)   GIF
//   8     8-bit grey          8-bit grey           grey                256 grey levels
//   16    16-bit grey         16-bit grey          grey, high byte     256 grey levels, high byte
//   24    8-bit RGB           8-bit RGB            RGB                 256 colours (median cut)
//   32    8-bit RGBA          8-bit RGBA           RGB, alpha dropped  256 colours, alpha dropped
//   48    16-bit RGB          16-bit RGB           RGB, high bytes     256 colours from the high bytes
//   64    16-bit RGBA         16-bit RGBA          RGB, high bytes     256 colours from the high bytes
//
// The fourth byte (or 16-bit word) of a 32- or 64-bit pixel is its alpha; 8-bit
// pictures are grey, so a grey colour type stands for the grey palette.
#include <cstdio>  // before jpeglib.h, which needs FILE

#include <fcntl.h>
#include <unistd.h>
#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "bmp_internal.h"
#include "vantrel/dib_file.h"

namespace {

struct View {
  const uint8_t* bits;
  int32_t width;
  int32_t height;
  int32_t stride;
  int32_t bitCount;
  const uint8_t* Row(int32_t y) const { return bits + static_cast<ptrdiff_t>(y) * stride; }
};

bool IsGrey(int32_t bits) { return bits == 8 || bits == 16; }
bool Wide(int32_t bits) { return bits == 16 || bits == 48 || bits == 64; }
int32_t Channels(int32_t bits) {
  switch (bits) {
    case 8: case 16: return 1;
    case 24: case 48: return 3;
    default: return 4;
  }
}

// One row as 8-bit samples: grey, or blue, green, red (no alpha).
void EightBitRow(const View& v, int32_t y, uint8_t* out) {
  const uint8_t* s = v.Row(y);
  const int32_t ch = Channels(v.bitCount);
  const int32_t step = v.bitCount / 8;
  const int32_t hi = Wide(v.bitCount) ? 1 : 0;  // little-endian: the high byte is the second
  const int32_t sampleBytes = Wide(v.bitCount) ? 2 : 1;
  for (int32_t x = 0; x < v.width; ++x, s += step) {
    if (ch == 1) {
      out[x] = s[hi];
    } else {
      for (int32_t c = 0; c < 3; ++c) out[3 * x + c] = s[c * sampleBytes + hi];
    }
  }
}

// ---- PNG ----------------------------------------------------------------

void PngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWarning(png_structp, png_const_charp) {}

bool WritePng(FILE* f, const View& v) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, f);
  int colourType = PNG_COLOR_TYPE_GRAY;
  if (Channels(v.bitCount) == 3) colourType = PNG_COLOR_TYPE_RGB;
  if (Channels(v.bitCount) == 4) colourType = PNG_COLOR_TYPE_RGB_ALPHA;
  png_set_IHDR(png, info, static_cast<png_uint_32>(v.width), static_cast<png_uint_32>(v.height),
               Wide(v.bitCount) ? 16 : 8, colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  if (!IsGrey(v.bitCount)) png_set_bgr(png);
  if (Wide(v.bitCount)) png_set_swap(png);
  for (int32_t y = 0; y < v.height; ++y) png_write_row(png, const_cast<png_bytep>(v.Row(y)));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

// ---- JPEG ---------------------------------------------------------------

struct JpegError {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

void JpegErrorExit(j_common_ptr c) { std::longjmp(reinterpret_cast<JpegError*>(c->err)->jump, 1); }
void JpegSilent(j_common_ptr) {}

bool WriteJpeg(FILE* f, const View& v) {
  jpeg_compress_struct c;
  JpegError err;
  c.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = JpegErrorExit;
  err.pub.output_message = JpegSilent;
  const bool grey = IsGrey(v.bitCount);
  const bool direct = v.bitCount == 8 || v.bitCount == 24 || v.bitCount == 32;
  std::vector<uint8_t> row(direct ? 0 : static_cast<size_t>(v.width) * 3);
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&c);
    return false;
  }
  jpeg_create_compress(&c);
  jpeg_stdio_dest(&c, f);
  c.image_width = static_cast<JDIMENSION>(v.width);
  c.image_height = static_cast<JDIMENSION>(v.height);
  if (grey) {
    c.input_components = 1;
    c.in_color_space = JCS_GRAYSCALE;
  } else if (v.bitCount == 32) {
    c.input_components = 4;
    c.in_color_space = JCS_EXT_BGRX;
  } else {
    c.input_components = 3;
    c.in_color_space = JCS_EXT_BGR;
  }
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 90, TRUE);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    const int32_t y = static_cast<int32_t>(c.next_scanline);
    JSAMPROW p;
    if (direct) {
      p = const_cast<JSAMPROW>(v.Row(y));
    } else {
      EightBitRow(v, y, row.data());
      p = row.data();
    }
    jpeg_write_scanlines(&c, &p, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  return true;
}

// ---- TIFF ---------------------------------------------------------------

int TiffQuiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// -1 the file could not be created, 0 it was not written whole, 1 written.
int WriteTiff(const char* path, const View& v) {
  TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
  if (!opts) return -1;
  TIFFOpenOptionsSetErrorHandlerExtR(opts, TiffQuiet, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(opts, TiffQuiet, nullptr);
  TIFF* t = TIFFOpenExt(path, "w", opts);
  TIFFOpenOptionsFree(opts);
  if (!t) return -1;
  const int32_t ch = Channels(v.bitCount);
  const int32_t sampleBytes = Wide(v.bitCount) ? 2 : 1;
  bool ok = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(v.width)) &&
            TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(v.height)) &&
            TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(8 * sampleBytes)) &&
            TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(ch)) &&
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, ch == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB) &&
            TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
            TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
            TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW) &&
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
  if (ok && ch == 4) {
    const uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
    ok = TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra);
  }
  std::vector<uint8_t> row(static_cast<size_t>(v.width) * ch * sampleBytes);
  for (int32_t y = 0; ok && y < v.height; ++y) {
    const uint8_t* s = v.Row(y);
    std::memcpy(row.data(), s, row.size());
    if (ch >= 3) {
      // Blue and red trade places; 16-bit samples stay in the machine's order,
      // which the file records.
      for (int32_t x = 0; x < v.width; ++x) {
        uint8_t* p = row.data() + static_cast<size_t>(x) * ch * sampleBytes;
        for (int32_t b = 0; b < sampleBytes; ++b) std::swap(p[b], p[2 * sampleBytes + b]);
      }
    }
    ok = TIFFWriteScanline(t, row.data(), static_cast<uint32_t>(y), 0) >= 0;
  }
  if (ok) ok = TIFFFlush(t) == 1;
  TIFFClose(t);
  return ok ? 1 : 0;
}

// ---- GIF ----------------------------------------------------------------

// Pictures of few colours (printed codes, drawings) keep them exactly.
bool ExactPalette(const std::vector<GifByteType>& r, const std::vector<GifByteType>& g,
                  const std::vector<GifByteType>& b, std::vector<GifPixelType>* indices,
                  GifColorType colours[256]) {
  std::unordered_map<uint32_t, uint8_t> seen;
  for (size_t i = 0; i < r.size(); ++i) {
    const uint32_t key = (uint32_t{r[i]} << 16) | (uint32_t{g[i]} << 8) | b[i];
    auto it = seen.find(key);
    if (it == seen.end()) {
      if (seen.size() == 256) return false;
      const uint8_t index = static_cast<uint8_t>(seen.size());
      colours[index] = GifColorType{r[i], g[i], b[i]};
      it = seen.emplace(key, index).first;
    }
    (*indices)[i] = it->second;
  }
  return true;
}

// -1 the file could not be created, 0 it was not written whole, 1 written.
int WriteGif(const char* path, const View& v) {
  if (v.width > 65535 || v.height > 65535) return -1;
  const size_t n = static_cast<size_t>(v.width) * v.height;
  std::vector<GifPixelType> indices(n);
  GifColorType colours[256] = {};
  int mapSize = 256;
  std::vector<uint8_t> row(static_cast<size_t>(v.width) * 3);
  if (IsGrey(v.bitCount)) {
    for (int i = 0; i < 256; ++i) colours[i] = GifColorType{uint8_t(i), uint8_t(i), uint8_t(i)};
    for (int32_t y = 0; y < v.height; ++y) EightBitRow(v, y, indices.data() + static_cast<size_t>(y) * v.width);
  } else {
    std::vector<GifByteType> r(n), g(n), b(n);
    for (int32_t y = 0; y < v.height; ++y) {
      EightBitRow(v, y, row.data());
      for (int32_t x = 0; x < v.width; ++x) {
        const size_t i = static_cast<size_t>(y) * v.width + x;
        b[i] = row[3 * x];
        g[i] = row[3 * x + 1];
        r[i] = row[3 * x + 2];
      }
    }
    if (!ExactPalette(r, g, b, &indices, colours) &&
        GifQuantizeBuffer(static_cast<unsigned>(v.width), static_cast<unsigned>(v.height), &mapSize,
                          r.data(), g.data(), b.data(), indices.data(), colours) != GIF_OK)
      return -1;
  }
  ColorMapObject* map = GifMakeMapObject(256, colours);
  if (!map) return -1;
  int error = 0;
  // giflib would create the file for its owner alone; a saved picture gets the
  // permissions every other format gets (0666 less the umask).
  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    GifFreeMapObject(map);
    return -1;
  }
  GifFileType* gif = EGifOpenFileHandle(fd, &error);  // closes fd with the file from here
  if (!gif) {
    close(fd);
    GifFreeMapObject(map);
    return -1;
  }
  bool ok = EGifPutScreenDesc(gif, v.width, v.height, 8, 0, map) == GIF_OK &&
            EGifPutImageDesc(gif, 0, 0, v.width, v.height, false, nullptr) == GIF_OK;
  for (int32_t y = 0; ok && y < v.height; ++y)
    ok = EGifPutLine(gif, indices.data() + static_cast<size_t>(y) * v.width, v.width) == GIF_OK;
  if (EGifCloseFile(gif, &error) != GIF_OK) ok = false;
  GifFreeMapObject(map);
  return ok ? 1 : 0;
}

}  // namespace

extern "C" int32_t DibSaveWithCodec(const char* path, DibImage image) {
  if (!path || !*path || !image) return 0;
  DibEncoderId id{};
  if (DibFindEncoder(path, &id) < 0) return 0;
  if (id.format == kDibFormatBmp) return DibWriteBmp(path, image);
  const View v{DibGetBits(image), DibGetWidth(image), DibGetHeight(image), DibGetStride(image),
               DibGetBitCount(image)};
  switch (v.bitCount) {
    case 8: case 16: case 24: case 32: case 48: case 64: break;
    default: return 0;
  }
  if (!v.bits || v.width <= 0 || v.height <= 0) return 0;

  int result = -1;
  if (id.format == kDibFormatPng || id.format == kDibFormatJpeg) {
    FILE* f = std::fopen(path, "wb");
    if (!f) return 0;
    bool ok = id.format == kDibFormatPng ? WritePng(f, v) : WriteJpeg(f, v);
    if (std::fclose(f) != 0) ok = false;
    result = ok ? 1 : 0;
  } else if (id.format == kDibFormatTiff) {
    result = WriteTiff(path, v);
  } else if (id.format == kDibFormatGif) {
    result = WriteGif(path, v);
  }
  // A picture that could not be written whole is not left behind half-written;
  // a file that was never opened is not ours to remove.
  if (result == 0) vantrel::detail::RemovePartialFile(path);
  return result == 1 ? 1 : 0;
}
