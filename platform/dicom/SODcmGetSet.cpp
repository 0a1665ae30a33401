#include "SODcmGetSet.h"

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcitem.h>

#include <string>

#include "SODcmDataset.h"

namespace {

const char* const kPhotometricNames[] = {"", "MONOCHROME1", "MONOCHROME2", "PALETTE COLOR",
                                         "RGB", "YBR_FULL", "YBR_FULL_422"};

}  // namespace

bool SODcmGetSet::Get(const SODcmDataset& dataset, SODcmImagePixel& pixel) {
  SODcmImagePixel read;
  std::string photometric;
  if (!dataset.GetUint16(0x00280002, read.samplesPerPixel) || !dataset.GetString(0x00280004, photometric) ||
      !dataset.GetUint16(0x00280010, read.rows) || !dataset.GetUint16(0x00280011, read.columns) ||
      !dataset.GetUint16(0x00280100, read.bitsAllocated) || !dataset.GetUint16(0x00280101, read.bitsStored) ||
      !dataset.GetUint16(0x00280102, read.highBit) || !dataset.GetUint16(0x00280103, read.pixelRepresentation))
    return false;
  read.photometric = PHOTOMETRIC_UNKNOWN;
  for (int i = 1; i <= PHOTOMETRIC_YBR_FULL_422; ++i)
    if (photometric == kPhotometricNames[i]) read.photometric = i;
  if (!dataset.GetInt32(0x00280008, read.numberOfFrames)) read.numberOfFrames = 1;
  const unsigned char* bytes = nullptr;
  unsigned long count = 0;
  if (!dataset.GetUint8Array(0x7FE00010, bytes, count)) return false;
  read.pixelData = SOData<unsigned char>(const_cast<unsigned char*>(bytes), static_cast<uint32_t>(count));
  pixel = std::move(read);
  return true;
}

namespace {

// The bytes the record's pixel data need; 0 for a record the module cannot hold.
uint64_t NeededBytes(const SODcmImagePixel& pixel) {
  if (pixel.photometric <= PHOTOMETRIC_UNKNOWN || pixel.photometric > PHOTOMETRIC_YBR_FULL_422 ||
      (pixel.bitsAllocated != 8 && pixel.bitsAllocated != 16) || pixel.numberOfFrames < 1)
    return 0;
  return uint64_t(pixel.rows) * pixel.columns * pixel.samplesPerPixel * (pixel.bitsAllocated / 8) *
         uint64_t(pixel.numberOfFrames);
}

// Every attribute of the module but the pixel data.
bool SetAttributes(SODcmDataset& dataset, const SODcmImagePixel& pixel) {
  bool ok = dataset.SetUint16(0x00280002, pixel.samplesPerPixel) &&
            dataset.SetString(0x00280004, kPhotometricNames[pixel.photometric]) &&
            dataset.SetUint16(0x00280010, pixel.rows) && dataset.SetUint16(0x00280011, pixel.columns) &&
            dataset.SetUint16(0x00280100, pixel.bitsAllocated) && dataset.SetUint16(0x00280101, pixel.bitsStored) &&
            dataset.SetUint16(0x00280102, pixel.highBit) &&
            dataset.SetUint16(0x00280103, pixel.pixelRepresentation);
  if (ok && pixel.samplesPerPixel > 1) ok = dataset.SetUint16(0x00280006, 0);
  if (ok && pixel.numberOfFrames > 1) ok = dataset.SetInt32(0x00280008, pixel.numberOfFrames);
  return ok;
}

}  // namespace

bool SODcmGetSet::Set(SODcmDataset& dataset, const SODcmImagePixel& pixel) {
  const uint64_t needed = NeededBytes(pixel);
  if (needed == 0 || !pixel.pixelData.data || pixel.pixelData.count < needed) return false;
  if (!SetAttributes(dataset, pixel)) return false;
  if (pixel.bitsAllocated == 8)
    return dataset.SetUint8Array(0x7FE00010, pixel.pixelData.data, static_cast<unsigned long>(needed));
  // Words are OW; their bytes are in the machine's (little-endian) order.
  return dataset.GetDcmItem()
      ->putAndInsertUint16Array(DCM_PixelData, reinterpret_cast<const Uint16*>(pixel.pixelData.data),
                                static_cast<unsigned long>(needed / 2))
      .good();
}

unsigned char* SODcmGetSet::Create(SODcmDataset& dataset, const SODcmImagePixel& pixel) {
  const uint64_t needed = NeededBytes(pixel);
  // Element lengths are 32-bit and even; 0xFFFFFFFF means undefined.
  if (needed == 0 || needed >= 0xFFFFFFFEull || pixel.bitsAllocated != 8 || !SetAttributes(dataset, pixel))
    return nullptr;
  return dataset.CreateUint8Array(0x7FE00010, static_cast<unsigned long>(needed));
}
