#include "SOImageObjectSR.h"

#include <algorithm>

#include "ISODcmObject.h"
#include "SODcmFile.h"
#include "SODcmTags.h"
#include "SODcmUtil.h"
#include "SOMatrixProc.h"
#include "SOString.h"

void SOImageObjectSR::ResetImagePresentationState() {
  SOImagePresentationState& s = State();
  s.invert = false;
  SOMatrixProc::Reset(s.matrix);
  s.windowWidth = 255;
  s.windowCenter = 127;
  s.zoom = 1;
  s.panX = s.panY = 0;
  // Both bitmaps: the origin bitmap feeds captures and must show the reset window too.
  ActiveUpdateBitmapFlag();
  TriggerImageObjectDataUpdateEvent();
}

DcmImageInputData* SOImageObjectSR::GetOriginalImagePixelData() {
  ISODcmObject* object = GetDcmObject();
  if (!object || !object->GetDcmFile()) return nullptr;
  std::unique_ptr<DcmImageInputData>& record = OriginalRecord();
  if (!record) {
    auto page = std::make_unique<DcmImageInputData>();
    if (!SODcmUtil::GetImagePixelDataOfSR(object->GetDcmFile()->GetDataset(), *page,
                                          static_cast<int>(GetFrameIndex())))
      return nullptr;
    record = std::move(page);
  }
  return record.get();
}

namespace {

// Frames whose data are present: a header may claim more than the file holds.
int FramesPresent(ISODcmObject* object, int claimed) {
  if (claimed <= 1) return claimed;
  SODcmDataset* dataset = object->GetDcmFile() ? object->GetDcmFile()->GetDataset() : nullptr;
  if (!dataset) return 0;
  auto present = [&](int frame) {
    DcmImageInputData probe;
    return SODcmUtil::GetImageInputData(dataset, probe, frame);
  };
  if (present(claimed - 1)) return claimed;
  // Frames are stored in order, so the last one present is found by bisection.
  int low = 0, high = claimed - 1;  // frame low is tested below; frame high is missing
  if (!present(0)) return 0;
  while (high - low > 1) {
    int middle = low + (high - low) / 2;
    (present(middle) ? low : high) = middle;
  }
  return low + 1;
}

}  // namespace

std::vector<SOImageObject*> CreateImageObjects(ISODcmObject* object) {
  std::vector<SOImageObject*> result;
  if (!object) return result;
  if (object->AttributeExistsWithValue(dcmtag::PixelData)) {
    int frames = 1;
    object->GetAttributeValue(dcmtag::NumberOfFrames, frames, 0);
    frames = FramesPresent(object, frames);
    for (int i = 0; i < frames; ++i) {
      auto* image = new SOImageObject;
      image->SetDcmObject(object, i);
      result.push_back(image);
    }
    return result;
  }
  SOString modality;
  if (!object->GetAttributeValue(dcmtag::Modality, modality, 0) || !(modality == "SR") ||
      !object->GetDcmFile())
    return result;
  std::string text;
  if (!SODcmUtil::GetSRContentUTF8(object->GetDcmFile()->GetDataset(), text)) return result;
  // The toolkit renders page k of this same layout.
  const size_t pages = SODcmUtil::GetSRPages(text).size();
  for (size_t page = 0; page < pages; ++page) {
    auto* image = new SOImageObjectSR;
    image->SetDcmObject(object, page);
    result.push_back(image);
  }
  return result;
}
