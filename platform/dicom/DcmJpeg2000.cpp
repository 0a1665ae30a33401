#include "DcmJpeg2000.h"

#include <openjpeg.h>

#include <cstring>
#include <memory>

namespace {

struct MemoryStream {
  const uint8_t* data;
  size_t size;
  size_t pos;
};

OPJ_SIZE_T Read(void* buffer, OPJ_SIZE_T bytes, void* user) {
  auto* s = static_cast<MemoryStream*>(user);
  if (s->pos >= s->size) return static_cast<OPJ_SIZE_T>(-1);
  OPJ_SIZE_T n = std::min<OPJ_SIZE_T>(bytes, s->size - s->pos);
  std::memcpy(buffer, s->data + s->pos, n);
  s->pos += n;
  return n;
}

OPJ_OFF_T Skip(OPJ_OFF_T bytes, void* user) {
  auto* s = static_cast<MemoryStream*>(user);
  if (bytes < 0) {
    OPJ_OFF_T back = std::min<OPJ_OFF_T>(-bytes, static_cast<OPJ_OFF_T>(s->pos));
    s->pos -= back;
    return -back;
  }
  OPJ_OFF_T n = std::min<OPJ_OFF_T>(bytes, static_cast<OPJ_OFF_T>(s->size - s->pos));
  s->pos += n;
  return n;
}

OPJ_BOOL Seek(OPJ_OFF_T offset, void* user) {
  auto* s = static_cast<MemoryStream*>(user);
  if (offset < 0 || static_cast<size_t>(offset) > s->size) return OPJ_FALSE;
  s->pos = static_cast<size_t>(offset);
  return OPJ_TRUE;
}

void Quiet(const char*, void*) {}

struct CodecDeleter {
  void operator()(opj_codec_t* c) const { opj_destroy_codec(c); }
};
struct StreamDeleter {
  void operator()(opj_stream_t* s) const { opj_stream_destroy(s); }
};
struct ImageDeleter {
  void operator()(opj_image_t* i) const { opj_image_destroy(i); }
};

uint32_t Big16(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }
uint32_t Big32(const uint8_t* p) { return Big16(p) << 16 | Big16(p + 2); }
uint64_t Big64(const uint8_t* p) { return uint64_t(Big32(p)) << 32 | Big32(p + 4); }

const uint8_t kJp2Signature[] = {0, 0, 0, 0x0C, 'j', 'P', ' ', ' '};

// Where the codestream of a JP2 file starts (its 'jp2c' box); `size` when there is none.
size_t CodestreamOffset(const uint8_t* data, size_t size) {
  size_t pos = 0;
  while (size - pos >= 8) {
    uint64_t length = Big32(data + pos);
    size_t header = 8;
    if (length == 1) {
      if (size - pos < 16) break;
      length = Big64(data + pos + 8);
      header = 16;
    } else if (length == 0) {
      length = size - pos;
    }
    if (length < header || length > size - pos) break;
    if (std::memcmp(data + pos + 4, "jp2c", 4) == 0) return pos + header;
    pos += size_t(length);
  }
  return size;
}

}  // namespace

bool ReadJpeg2000Size(const uint8_t* data, size_t size, DcmJ2KSize& out) {
  if (!data || size < 8) return false;
  const size_t start = std::memcmp(data, kJp2Signature, 8) == 0 ? CodestreamOffset(data, size) : 0;
  if (size - start < 42) return false;
  const uint8_t* p = data + start;
  // SOC, then SIZ: Lsiz, Rsiz, Xsiz, Ysiz, XOsiz, YOsiz, XTsiz, YTsiz, XTOsiz, YTOsiz, Csiz and
  // three bytes per component.
  if (Big16(p) != 0xFF4F || Big16(p + 2) != 0xFF51) return false;
  const uint32_t length = Big16(p + 4), components = Big16(p + 40);
  if (components == 0 || length != 38 + 3 * components || size - start - 4 < length) return false;
  const uint32_t x1 = Big32(p + 8), y1 = Big32(p + 12), x0 = Big32(p + 16), y0 = Big32(p + 20);
  const uint32_t tileW = Big32(p + 24), tileH = Big32(p + 28), tileX0 = Big32(p + 32), tileY0 = Big32(p + 36);
  if (x0 >= x1 || y0 >= y1 || tileW == 0 || tileH == 0 || tileX0 > x0 || tileY0 > y0 ||
      uint64_t(tileX0) + tileW <= x0 || uint64_t(tileY0) + tileH <= y0)
    return false;
  out.width = x1 - x0;
  out.height = y1 - y0;
  out.components = components;
  out.tiles = ((uint64_t(x1) - tileX0 + tileW - 1) / tileW) * ((uint64_t(y1) - tileY0 + tileH - 1) / tileH);
  for (uint32_t c = 0; c < components; ++c)
    if (p[42 + 3 * c + 1] != 1 || p[42 + 3 * c + 2] != 1) return false;  // subsampled components
  return true;
}

bool DecodeJpeg2000(const uint8_t* data, size_t size, int width, int height, int components, DcmJ2KImage& image) {
  if (!data || size < 12) return false;
  // A tile's index has 16 bits, so no codestream holds more tiles than this.
  constexpr uint64_t kMaxTiles = 65535;
  DcmJ2KSize declared;
  if (!ReadJpeg2000Size(data, size, declared) || declared.width != uint32_t(width) ||
      declared.height != uint32_t(height) || declared.components != uint32_t(components) || declared.tiles > kMaxTiles)
    return false;
  OPJ_CODEC_FORMAT format = std::memcmp(data, kJp2Signature, 8) == 0 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K;
  std::unique_ptr<opj_codec_t, CodecDeleter> codec(opj_create_decompress(format));
  if (!codec) return false;
  opj_set_info_handler(codec.get(), Quiet, nullptr);
  opj_set_warning_handler(codec.get(), Quiet, nullptr);
  opj_set_error_handler(codec.get(), Quiet, nullptr);
  opj_dparameters_t params;
  opj_set_default_decoder_parameters(&params);
  if (!opj_setup_decoder(codec.get(), &params)) return false;

  MemoryStream memory{data, size, 0};
  std::unique_ptr<opj_stream_t, StreamDeleter> stream(opj_stream_create(1 << 16, OPJ_TRUE));
  if (!stream) return false;
  opj_stream_set_user_data(stream.get(), &memory, nullptr);
  opj_stream_set_user_data_length(stream.get(), size);
  opj_stream_set_read_function(stream.get(), Read);
  opj_stream_set_skip_function(stream.get(), Skip);
  opj_stream_set_seek_function(stream.get(), Seek);

  opj_image_t* raw = nullptr;
  if (!opj_read_header(stream.get(), codec.get(), &raw)) {
    if (raw) opj_image_destroy(raw);
    return false;
  }
  std::unique_ptr<opj_image_t, ImageDeleter> decoded(raw);
  if (decoded->x1 - decoded->x0 != OPJ_UINT32(width) || decoded->y1 - decoded->y0 != OPJ_UINT32(height) ||
      decoded->numcomps != OPJ_UINT32(components))
    return false;
  if (!opj_decode(codec.get(), stream.get(), decoded.get()) || !opj_end_decompress(codec.get(), stream.get()))
    return false;
  if (decoded->numcomps == 0 || decoded->numcomps > 4) return false;
  const opj_image_comp_t& first = decoded->comps[0];
  for (OPJ_UINT32 c = 0; c < decoded->numcomps; ++c) {
    const opj_image_comp_t& comp = decoded->comps[c];
    if (!comp.data || comp.w != first.w || comp.h != first.h || comp.dx != 1 || comp.dy != 1) return false;
  }
  image.width = static_cast<int>(first.w);
  image.height = static_cast<int>(first.h);
  image.components = static_cast<int>(decoded->numcomps);
  image.precision = static_cast<int>(first.prec);
  image.isSigned = first.sgnd != 0;
  size_t pixels = size_t(first.w) * first.h;
  image.samples.resize(pixels * image.components);
  for (int c = 0; c < image.components; ++c) {
    const OPJ_INT32* src = decoded->comps[c].data;
    for (size_t i = 0; i < pixels; ++i) image.samples[i * image.components + c] = src[i];
  }
  return true;
}
