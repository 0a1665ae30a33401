// Decoding one frame of pixel data into the toolkit's pixel record.

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcitem.h>
#include <dcmtk/dcmdata/dcpixel.h>
#include <dcmtk/dcmdata/dcpixseq.h>
#include <dcmtk/dcmdata/dcpxitem.h>
#include <dcmtk/dcmdata/dcxfer.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "DcmInternal.h"
#include "DcmJpeg2000.h"
#include "SODcmDataset.h"
#include "SODcmTags.h"
#include "SODcmUtil.h"

namespace {

// No decoded frame may need more than this; guards against absurd Rows/Columns.
constexpr uint64_t kMaxFrameBytes = uint64_t(1) << 30;
// Lossless codecs shrink flat images a lot, but not beyond this.
constexpr uint64_t kMaxCompressionRatio = 4096;
constexpr uint64_t kAlwaysAllowedFrameBytes = uint64_t(64) << 20;

// Room for `bytes` without zero-filling: every byte is written by the decoder.
void Allocate(SOData<unsigned char>& data, uint32_t bytes) {
  data.Free();
  data.data = new unsigned char[bytes];
  data.count = bytes;
  data.owned = true;
}

struct PixelFormat {
  unsigned rows = 0, columns = 0, samples = 1;
  unsigned bitsAllocated = 0, bitsStored = 0, highBit = 0;
  bool isSigned = false;
  unsigned planar = 0;
  unsigned long frames = 1;
  std::string photometric;
};

bool ReadFormat(const SODcmDataset& ds, PixelFormat& f) {
  unsigned short v = 0;
  if (!ds.GetUint16(0x00280010, v) || v == 0) return false;
  f.rows = v;
  if (!ds.GetUint16(0x00280011, v) || v == 0) return false;
  f.columns = v;
  if (!ds.GetUint16(0x00280100, v)) return false;
  f.bitsAllocated = v;
  if (f.bitsAllocated != 1 && f.bitsAllocated != 8 && f.bitsAllocated != 16 && f.bitsAllocated != 32) return false;
  f.bitsStored = ds.GetUint16(0x00280101, v) ? v : f.bitsAllocated;
  f.highBit = ds.GetUint16(0x00280102, v) ? v : f.bitsStored - 1;
  if (f.bitsStored == 0 || f.bitsStored > f.bitsAllocated || f.highBit >= f.bitsAllocated ||
      f.highBit + 1 < f.bitsStored)
    return false;
  f.isSigned = ds.GetUint16(0x00280103, v) && v == 1;
  f.samples = ds.GetUint16(0x00280002, v) ? v : 1;
  if (f.samples != 1 && f.samples != 3) return false;
  f.planar = ds.GetUint16(0x00280006, v) ? v : 0;
  int frames = 1;
  if (ds.GetInt32(dcmtag::NumberOfFrames, frames) && frames < 1) return false;
  f.frames = static_cast<unsigned long>(frames);
  std::string photometric;
  ds.GetString(0x00280004, photometric);
  f.photometric = photometric;
  return true;
}

// Slope and intercept of a frame: per-frame group, shared group, then the top level; the first
// place with an intercept wins.
void FrameRescale(const SODcmDataset& ds, unsigned long frame, double& intercept, double& slope) {
  intercept = 0;
  slope = 1.0;
  auto take = [&](const SODcmDataset& place) {
    double s;
    if (place.GetFloat64(dcmtag::RescaleSlope, s) && s != 0) slope = s;
    return place.GetFloat64(dcmtag::RescaleIntercept, intercept);
  };
  int frames = 0;
  if (ds.GetInt32(dcmtag::NumberOfFrames, frames)) {
    SODcmDataset group, transform;
    if (ds.GetSequenceItem(dcmtag::PerFrameFunctionalGroupsSequence, frame, group) &&
        group.GetSequenceItem(dcmtag::PixelValueTransformationSequence, 0, transform) && take(transform))
      return;
    if (ds.GetSequenceItem(dcmtag::SharedFunctionalGroupsSequence, 0, group) &&
        group.GetSequenceItem(dcmtag::PixelValueTransformationSequence, 0, transform) && take(transform))
      return;
  }
  take(ds);
}

bool IsJpeg2000(E_TransferSyntax xfer) {
  return xfer == EXS_JPEG2000LosslessOnly || xfer == EXS_JPEG2000 ||
         xfer == EXS_JPEG2000MulticomponentLosslessOnly || xfer == EXS_JPEG2000Multicomponent;
}

bool StartsCodestream(const Uint8* data, Uint32 length) {
  static const Uint8 kSoc[] = {0xFF, 0x4F, 0xFF, 0x51};
  static const Uint8 kJp2[] = {0, 0, 0, 0x0C, 'j', 'P'};
  return data && ((length >= 4 && std::memcmp(data, kSoc, 4) == 0) || (length >= 6 && std::memcmp(data, kJp2, 6) == 0));
}

// The compressed bytes of one JPEG 2000 frame: one fragment per frame, the basic offset table, or
// (without one) fragments grouped at each codestream start.
bool Jpeg2000FrameBytes(DcmPixelData* pixels, unsigned long frame, unsigned long frames, std::vector<Uint8>& out) {
  E_TransferSyntax xfer;
  const DcmRepresentationParameter* param = nullptr;
  DcmPixelSequence* sequence = nullptr;
  pixels->getCurrentRepresentationKey(xfer, param);
  if (pixels->getEncapsulatedRepresentation(xfer, param, sequence).bad() || !sequence) return false;
  unsigned long items = sequence->card();
  if (items < 2) return false;
  unsigned long fragments = items - 1;
  std::vector<std::pair<unsigned long, unsigned long>> range;  // [first, last] fragment per frame
  auto fragment = [&](unsigned long i, Uint8*& data, Uint32& length) {
    DcmPixelItem* item = nullptr;
    data = nullptr;
    length = 0;
    if (sequence->getItem(item, i + 1).bad() || !item) return false;
    length = item->getLength();
    return length == 0 || item->getUint8Array(data).good();
  };
  unsigned long first = 0, last = 0;
  if (fragments == frames) {
    first = last = frame;
  } else if (frames == 1) {
    first = 0;
    last = fragments - 1;
  } else {
    std::vector<unsigned long> starts;
    for (unsigned long i = 0; i < fragments; ++i) {
      Uint8* data;
      Uint32 length;
      if (!fragment(i, data, length)) return false;
      if (StartsCodestream(data, length)) starts.push_back(i);
    }
    if (frame >= starts.size()) return false;
    first = starts[frame];
    last = frame + 1 < starts.size() ? starts[frame + 1] - 1 : fragments - 1;
  }
  out.clear();
  for (unsigned long i = first; i <= last; ++i) {
    Uint8* data;
    Uint32 length;
    if (!fragment(i, data, length)) return false;
    out.insert(out.end(), data, data + length);
  }
  return !out.empty();
}

// Grey values go into 16 signed bits; values outside that range are offset (and for ranges
// wider than 16 bits scaled) with the rescale moved to match, so modality values stay right.
template <typename Source>
void PackGrey(size_t count, Source valueAt, DcmImageInputData& out) {
  static thread_local std::vector<int32_t> values;
  values.resize(count);
  int32_t lo = INT32_MAX, hi = INT32_MIN;
  for (size_t i = 0; i < count; ++i) {
    int32_t v = valueAt(i);
    values[i] = v;
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  Allocate(out.data, static_cast<uint32_t>(count * 2));
  auto* dst = reinterpret_cast<int16_t*>(out.data.data);
  if (lo >= -32768 && hi <= 32767) {
    for (size_t i = 0; i < count; ++i) dst[i] = static_cast<int16_t>(values[i]);
    return;
  }
  int64_t range = int64_t(hi) - lo;
  if (range <= 65535) {
    int64_t offset = (lo >= 0 && hi <= 65535) ? 32768 : int64_t(lo) + 32768;
    for (size_t i = 0; i < count; ++i) dst[i] = static_cast<int16_t>(values[i] - offset);
    out.intercept += double(offset) * out.slope;
    return;
  }
  int64_t k = (range + 65534) / 65535;
  for (size_t i = 0; i < count; ++i) dst[i] = static_cast<int16_t>((int64_t(values[i]) - lo) / k - 32768);
  out.intercept += (double(lo) + 32768.0 * double(k)) * out.slope;
  out.slope *= double(k);
}

// Stored bits of a grey sample: shifted down to the high bit, masked, sign-extended.
struct GreyBits {
  unsigned shift;
  uint32_t mask, signBit;
  bool isSigned;
  explicit GreyBits(const PixelFormat& f)
      : shift(f.highBit + 1 - f.bitsStored),
        mask(f.bitsStored >= 32 ? 0xFFFFFFFFu : ((1u << f.bitsStored) - 1)),
        signBit(1u << (f.bitsStored - 1)),
        isSigned(f.isSigned) {}
  int32_t operator()(uint32_t raw) const {
    uint32_t v = (raw >> shift) & mask;
    if (isSigned && (v & signBit)) return static_cast<int32_t>(v | ~mask);
    // Unsigned 32-bit values above INT32_MAX are clipped; such data do not occur in practice.
    return static_cast<int32_t>(std::min<uint32_t>(v, 0x7FFFFFFF));
  }
};

// `bitOffset` is where the frame starts in a 1-bit buffer (frames need not start on a byte).
void GreyFromBuffer(const PixelFormat& f, const Uint8* buffer, unsigned bitOffset, DcmImageInputData& out) {
  size_t count = size_t(f.rows) * f.columns;
  GreyBits convert(f);
  if (f.bitsAllocated == 1) {
    PackGrey(count, [&](size_t i) { size_t b = i + bitOffset; return int32_t((buffer[b >> 3] >> (b & 7)) & 1); }, out);
  } else if (f.bitsAllocated == 8) {
    PackGrey(count, [&](size_t i) { return convert(buffer[i]); }, out);
  } else if (f.bitsAllocated == 16) {
    const auto* words = reinterpret_cast<const Uint16*>(buffer);
    if (f.bitsStored < 16 || f.isSigned) {
      // Every value fits in 16 signed bits: one pass, no range search.
      Allocate(out.data, static_cast<uint32_t>(count * 2));
      auto* dst = reinterpret_cast<int16_t*>(out.data.data);
      const unsigned shift = convert.shift, up = 16 - f.bitsStored;
      const uint16_t mask = static_cast<uint16_t>(convert.mask);
      if (f.isSigned) {
        for (size_t i = 0; i < count; ++i) dst[i] = static_cast<int16_t>(static_cast<int16_t>(words[i] >> shift << up) >> up);
      } else {
        for (size_t i = 0; i < count; ++i) dst[i] = static_cast<int16_t>((words[i] >> shift) & mask);
      }
      return;
    }
    PackGrey(count, [&](size_t i) { return convert(words[i]); }, out);
  } else {
    const auto* words = reinterpret_cast<const Uint32*>(buffer);
    PackGrey(count, [&](size_t i) { return convert(words[i]); }, out);
  }
}

uint8_t Clamp8(double v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 255.0))); }

void YbrToRgb(uint8_t y, uint8_t cb, uint8_t cr, uint8_t* rgb) {
  rgb[0] = Clamp8(y + 1.402 * (cr - 128));
  rgb[1] = Clamp8(y - 0.344136 * (cb - 128) - 0.714136 * (cr - 128));
  rgb[2] = Clamp8(y + 1.772 * (cb - 128));
}

// Three samples per pixel (8 or 16 bits) in the given colour model and layout to RGB bytes.
bool ColourFromBuffer(const PixelFormat& f, const std::string& model, bool planar, const Uint8* buffer,
                      DcmImageInputData& out) {
  size_t count = size_t(f.rows) * f.columns;
  Allocate(out.data, static_cast<uint32_t>(count * 3));
  uint8_t* dst = out.data.data;
  unsigned down = f.bitsStored > 8 ? f.bitsStored - 8 : 0;
  auto sample = [&](size_t pixel, int channel) -> uint8_t {
    size_t index = planar ? channel * count + pixel : pixel * 3 + channel;
    if (f.bitsAllocated == 8) return buffer[index];
    if (f.bitsAllocated == 16) return static_cast<uint8_t>(reinterpret_cast<const Uint16*>(buffer)[index] >> down);
    return static_cast<uint8_t>(reinterpret_cast<const Uint32*>(buffer)[index] >> down);
  };
  if (model == "YBR_FULL_422" && f.bitsAllocated == 8 && !planar) {
    // Native 4:2:2: Y0 Y1 Cb Cr for each pair of pixels in a row.
    if (f.columns % 2) return false;
    const uint8_t* src = buffer;
    for (size_t i = 0; i < count; i += 2, src += 4) {
      YbrToRgb(src[0], src[2], src[3], dst + i * 3);
      YbrToRgb(src[1], src[2], src[3], dst + i * 3 + 3);
    }
    return true;
  }
  bool ybr = model == "YBR_FULL";
  if (!ybr && model != "RGB" && model != "YBR_RCT" && model != "YBR_ICT") return false;
  if (!planar && f.bitsAllocated == 8 && !ybr) {
    std::memcpy(dst, buffer, count * 3);
    return true;
  }
  for (size_t i = 0; i < count; ++i) {
    uint8_t a = sample(i, 0), b = sample(i, 1), c = sample(i, 2);
    if (ybr) {
      YbrToRgb(a, b, c, dst + i * 3);
    } else {
      dst[i * 3] = a;
      dst[i * 3 + 1] = b;
      dst[i * 3 + 2] = c;
    }
  }
  return true;
}

// One palette of PALETTE COLOR: descriptor (entries, first mapped value, bits) and its data.
struct Palette {
  unsigned entries = 0;
  int first = 0;
  std::vector<uint8_t> values;
  bool Read(const SODcmDataset& ds, unsigned long descriptorTag, unsigned long dataTag) {
    int n = 0, bits = 0;
    if (!ds.GetInt32(descriptorTag, n, 0) || !ds.GetInt32(descriptorTag, first, 1) || !ds.GetInt32(descriptorTag, bits, 2))
      return false;
    entries = n == 0 ? 65536 : static_cast<unsigned>(n & 0xFFFF);
    const unsigned char* bytes = nullptr;
    unsigned long length = 0;
    if (!ds.GetUint8Array(dataTag, bytes, length) || !bytes) return false;
    const auto* words = reinterpret_cast<const Uint16*>(bytes);
    values.resize(entries);
    if (bits <= 8 && length == entries) {
      // 8-bit entries packed two to a word.
      std::memcpy(values.data(), bytes, entries);
    } else if (length >= entries * 2ul) {
      for (unsigned i = 0; i < entries; ++i) values[i] = bits <= 8 ? uint8_t(words[i] & 0xFF) : uint8_t(words[i] >> 8);
    } else {
      return false;
    }
    return true;
  }
  uint8_t Map(int v) const {
    int index = std::clamp(v - first, 0, int(entries) - 1);
    return values[index];
  }
};

bool PaletteFromBuffer(const SODcmDataset& ds, const PixelFormat& f, const Uint8* buffer, DcmImageInputData& out) {
  Palette red, green, blue;
  if (!red.Read(ds, 0x00281101, 0x00281201) || !green.Read(ds, 0x00281102, 0x00281202) ||
      !blue.Read(ds, 0x00281103, 0x00281203))
    return false;
  size_t count = size_t(f.rows) * f.columns;
  Allocate(out.data, static_cast<uint32_t>(count * 3));
  for (size_t i = 0; i < count; ++i) {
    int v = f.bitsAllocated == 8 ? buffer[i] : reinterpret_cast<const Uint16*>(buffer)[i];
    out.data.data[i * 3] = red.Map(v);
    out.data.data[i * 3 + 1] = green.Map(v);
    out.data.data[i * 3 + 2] = blue.Map(v);
  }
  return true;
}

bool DecodeJ2KFrame(std::unique_lock<std::recursive_mutex>& lock, DcmPixelData* pixels, const PixelFormat& f,
                    unsigned long frame, DcmImageInputData& out) {
  std::vector<Uint8> bytes;
  if (!Jpeg2000FrameBytes(pixels, frame, f.frames, bytes)) return false;
  lock.unlock();
  DcmJ2KImage image;
  if (!DecodeJpeg2000(bytes.data(), bytes.size(), int(f.columns), int(f.rows), int(f.samples), image)) return false;
  size_t count = size_t(f.rows) * f.columns;
  if (f.samples == 1) {
    // The header's Pixel Representation and Bits Stored rule, also where the codestream disagrees.
    GreyBits convert(f);
    PackGrey(count, [&](size_t i) { return convert(static_cast<uint32_t>(image.samples[i])); }, out);
    out.type = DCM_PIXEL_GRAY16;
    return true;
  }
  Allocate(out.data, static_cast<uint32_t>(count * 3));
  int down = image.precision > 8 ? image.precision - 8 : 0;
  for (size_t i = 0; i < count * 3; ++i) out.data.data[i] = Clamp8(image.samples[i] >> down);
  out.type = DCM_PIXEL_RGB24;
  return true;
}

// The padding attributes in the record's grey values. They hold stored values (US or SS as the
// pixels are; some writers use US for signed pixels), which the record may hold offset or scaled
// with the rescale moved to match (PackGrey).
void SetPadding(const SODcmDataset& ds, const PixelFormat& f, double storedIntercept, double storedSlope,
                DcmImageInputData& out) {
  auto stored = [&](unsigned long tag, int& value) {
    if (!ds.GetInt32(tag, value)) return false;
    if (f.isSigned && f.bitsAllocated <= 16 && value > 32767) value -= 65536;
    return true;
  };
  int first = 0, last = 0;
  if (f.samples != 1 || !stored(0x00280120, first)) return;
  if (!stored(0x00280121, last)) last = first;
  auto held = [&](int value) {
    return (value * storedSlope + storedIntercept - out.intercept) / out.slope;
  };
  const double a = held(first), b = held(last);
  out.paddingLow = static_cast<int>(std::ceil(std::min(a, b) - 1e-6));
  out.paddingHigh = static_cast<int>(std::floor(std::max(a, b) + 1e-6));
}

bool DecodeFrame(SODcmDataset* dataset, DcmImageInputData& out, unsigned long frame) {
  // DCMTK is used under the dataset's lock; converting the read bytes is not.
  std::unique_lock<std::recursive_mutex> lock(dataset->Lock());
  PixelFormat f;
  if (!ReadFormat(*dataset, f) || frame >= f.frames) return false;
  DcmElement* element = nullptr;
  if (dataset->GetDcmItem()->findAndGetElement(DCM_PixelData, element, OFFalse).bad()) return false;
  auto* pixels = dynamic_cast<DcmPixelData*>(element);
  if (!pixels) return false;
  // Pixels still on disk are read at the offsets found when the file was parsed; a file changed
  // or replaced since would give some other bytes.
  if (!pixels->valueLoaded() && dataset->SourceReplaced()) return false;

  out.rows = static_cast<unsigned short>(f.rows);
  out.columns = static_cast<unsigned short>(f.columns);
  out.monochrome1 = f.photometric == "MONOCHROME1";
  FrameRescale(*dataset, frame, out.intercept, out.slope);
  const double storedIntercept = out.intercept, storedSlope = out.slope;

  E_TransferSyntax xfer;
  const DcmRepresentationParameter* param = nullptr;
  pixels->getCurrentRepresentationKey(xfer, param);
  if (IsJpeg2000(xfer)) {
    if (!DecodeJ2KFrame(lock, pixels, f, frame, out)) return false;
    if (out.type == DCM_PIXEL_GRAY16) SetPadding(*dataset, f, storedIntercept, storedSlope, out);
    return true;
  }

  bool native = !DcmXfer(xfer).isEncapsulated();
  if (f.bitsAllocated == 1 && (!native || f.samples != 1)) return false;
  bool subsampled = native && f.samples == 3 && f.photometric == "YBR_FULL_422";
  uint64_t frameBits = uint64_t(f.rows) * f.columns * (subsampled ? 2 : f.samples) * f.bitsAllocated;
  if (frameBits / 8 > kMaxFrameBytes) return false;
  static thread_local std::vector<Uint8> buffer;
  unsigned bitOffset = 0;
  OFString colourModel;
  if (native) {
    // Only this frame is read from the file; the element's length bounds the frames.
    uint64_t firstBit = uint64_t(frame) * frameBits;
    uint64_t offset = firstBit / 8;
    uint64_t bytes = (firstBit % 8 + frameBits + 7) / 8;
    if (offset + bytes > pixels->getLength()) return false;
    bitOffset = static_cast<unsigned>(firstBit % 8);
    buffer.resize(static_cast<size_t>(bytes));
    if (pixels->getPartialValue(buffer.data(), static_cast<Uint32>(offset), static_cast<Uint32>(bytes)).bad())
      return false;
  } else {
    RegisterDcmCodecs();
    uint64_t frameBytes = frameBits / 8;
    // Compressed data cannot stand for more than this: a header claiming a huge image over a few
    // bytes of data allocates nothing.
    uint64_t compressed = pixels->getLength(xfer);
    if (frameBytes > kMaxCompressionRatio * compressed && frameBytes > kAlwaysAllowedFrameBytes) return false;
    buffer.resize(static_cast<size_t>(frameBytes + (frameBytes & 1)));
    Uint32 startFragment = 0;
    if (pixels->getUncompressedFrame(dataset->GetDcmItem(), static_cast<Uint32>(frame), startFragment, buffer.data(),
                                     static_cast<Uint32>(buffer.size()), colourModel, nullptr)
            .bad())
      return false;
  }

  if (f.photometric == "PALETTE COLOR" && f.samples == 1) {
    if (!PaletteFromBuffer(*dataset, f, buffer.data(), out)) return false;
    out.type = DCM_PIXEL_RGB24;
    return true;
  }
  lock.unlock();
  if (f.samples == 1) {
    GreyFromBuffer(f, buffer.data(), bitOffset, out);
    SetPadding(*dataset, f, storedIntercept, storedSlope, out);
    out.type = DCM_PIXEL_GRAY16;
    return true;
  }
  std::string model = colourModel.empty() ? f.photometric : colourModel.c_str();
  // Decoders hand back colour by pixel.
  bool planar = native && f.planar == 1;
  if (!ColourFromBuffer(f, model, planar, buffer.data(), out)) return false;
  out.type = DCM_PIXEL_RGB24;
  return true;
}

}  // namespace

bool SODcmUtil::GetImageInputData(SODcmDataset* dataset, DcmImageInputData& out, unsigned long frame) {
  out.Clear();
  if (!dataset) return false;
  bool ok = false;
  try {
    ok = DecodeFrame(dataset, out, frame);
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  if (!ok) out.Clear();
  return ok;
}
