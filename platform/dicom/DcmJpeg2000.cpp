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

}  // namespace

bool DecodeJpeg2000(const uint8_t* data, size_t size, DcmJ2KImage& image) {
  if (!data || size < 12) return false;
  static const uint8_t kJp2Signature[] = {0, 0, 0, 0x0C, 'j', 'P', ' ', ' '};
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
