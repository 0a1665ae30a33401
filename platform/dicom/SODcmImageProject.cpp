#include "SODcmImageProject.h"

#include <cmath>

namespace {

struct Axes {
  double row[3], col[3], normal[3];
};

// Unit row and column directions and their normal; false when degenerate.
bool MakeAxes(const SODcmImageProject& p, Axes& a) {
  double rowLength = std::sqrt(p.orientation[0] * p.orientation[0] + p.orientation[1] * p.orientation[1] +
                               p.orientation[2] * p.orientation[2]);
  double colLength = std::sqrt(p.orientation[3] * p.orientation[3] + p.orientation[4] * p.orientation[4] +
                               p.orientation[5] * p.orientation[5]);
  if (rowLength < 1e-9 || colLength < 1e-9) return false;
  for (int i = 0; i < 3; ++i) {
    a.row[i] = p.orientation[i] / rowLength;
    a.col[i] = p.orientation[3 + i] / colLength;
  }
  a.normal[0] = a.row[1] * a.col[2] - a.row[2] * a.col[1];
  a.normal[1] = a.row[2] * a.col[0] - a.row[0] * a.col[2];
  a.normal[2] = a.row[0] * a.col[1] - a.row[1] * a.col[0];
  return std::sqrt(a.normal[0] * a.normal[0] + a.normal[1] * a.normal[1] + a.normal[2] * a.normal[2]) > 1e-9;
}

}  // namespace

bool SODcmImageProject::ImageToPatientCoords(const SOPointF& image, SOPoint3F& patient) const {
  Axes a;
  if (!MakeAxes(*this, a) || spacing[0] <= 0 || spacing[1] <= 0) return false;
  // x runs along the row direction in steps of the column spacing, y along the column direction.
  double p[3];
  for (int i = 0; i < 3; ++i) p[i] = position[i] + a.row[i] * image.x * spacing[1] + a.col[i] * image.y * spacing[0];
  patient = {float(p[0]), float(p[1]), float(p[2])};
  return true;
}

bool SODcmImageProject::PatientToImageCoords(const SOPoint3F& patient, SOPointF& image) const {
  Axes a;
  if (!MakeAxes(*this, a) || spacing[0] <= 0 || spacing[1] <= 0) return false;
  double d[3] = {patient.x - position[0], patient.y - position[1], patient.z - position[2]};
  // Row and column directions may be skewed; solve in the plane rather than assume orthogonality.
  double rr = 1.0, cc = 1.0;
  double rc = a.row[0] * a.col[0] + a.row[1] * a.col[1] + a.row[2] * a.col[2];
  double dr = d[0] * a.row[0] + d[1] * a.row[1] + d[2] * a.row[2];
  double dc = d[0] * a.col[0] + d[1] * a.col[1] + d[2] * a.col[2];
  double det = rr * cc - rc * rc;
  if (std::fabs(det) < 1e-12) return false;
  double u = (dr * cc - dc * rc) / det;
  double v = (dc * rr - dr * rc) / det;
  image = {float(u / spacing[1]), float(v / spacing[0])};
  return true;
}

bool SODcmImageProject::ImageNormalVector(SOPoint3F& normal) const {
  Axes a;
  if (!MakeAxes(*this, a)) return false;
  double length = std::sqrt(a.normal[0] * a.normal[0] + a.normal[1] * a.normal[1] + a.normal[2] * a.normal[2]);
  normal = {float(a.normal[0] / length), float(a.normal[1] / length), float(a.normal[2] / length)};
  return true;
}
