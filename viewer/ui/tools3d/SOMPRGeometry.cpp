#include "SOMPRGeometry.h"

#include <cmath>

#include "DcmImageInputData.h"
#include "ISOCtrlPlugin.h"
#include "ISOImageObject.h"
#include "SODcmUtil.h"

bool ImageProjectOf(ISOImageObject* image, SODcmImageProject& project) {
  DcmImageInputData* data = image ? image->GetOriginalImagePixelData() : nullptr;
  if (!data || data->type == DCM_PIXEL_NONE) return false;
  project.rows = data->rows;
  project.columns = data->columns;
  const double* o = image->GetImageOrientationPatient();
  const double* p = image->GetImagePositionPatient();
  const double* s = image->GetPixelSpacing();
  for (int i = 0; i < 6; ++i) project.orientation[i] = o[i];
  for (int i = 0; i < 3; ++i) project.position[i] = p[i];
  project.spacing[0] = s[0];
  project.spacing[1] = s[1];
  return true;
}

int ViewKindOf(const double o[6]) {
  const bool rowX = std::fabs(o[0]) > 0.8;
  if (rowX && std::fabs(o[4]) > 0.8) return 1;
  if (rowX && std::fabs(o[5]) > 0.8) return 2;
  if (std::fabs(o[1]) > 0.8 && std::fabs(o[5]) > 0.8) return 3;
  return 0;
}

void ViewDirectionOf(const double o[6], double n[3]) {
  n[0] = o[1] * o[5] - o[2] * o[4];
  n[1] = o[2] * o[3] - o[0] * o[5];
  n[2] = o[0] * o[4] - o[1] * o[3];
  const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]) + 0.000001;
  for (int i = 0; i < 3; ++i) n[i] /= length;
}

bool PatientToScreen(IPluginHost* host, const SODcmImageProject& project, const double patient[3], double screen[2]) {
  const SOPoint3F p{static_cast<float>(patient[0]), static_cast<float>(patient[1]), static_cast<float>(patient[2])};
  SOPointF pixel;
  if (!SODcmUtil::PatientToImageCoords(project, p, pixel)) return false;
  const double in[2] = {pixel.x, pixel.y};
  return host->ImageToScreenCoords(in, screen);
}
