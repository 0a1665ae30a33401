#include "Camera.h"

#include <cmath>

namespace {

constexpr double kPi = 3.1415927;

CameraVector Add(const CameraVector& a, const CameraVector& b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
CameraVector Sub(const CameraVector& a, const CameraVector& b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
CameraVector Scale(const CameraVector& a, double s) {
  return {a.x * s, a.y * s, a.z * s};
}
double Dot(const CameraVector& a, const CameraVector& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
CameraVector Cross(const CameraVector& a, const CameraVector& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
CameraVector Normalized(const CameraVector& a) {
  const double len = std::sqrt(Dot(a, a));
  return len > 0 ? Scale(a, 1.0 / len) : a;
}
bool SameAxis(const CameraVector& a, const CameraVector& b) {
  const auto near = [](const CameraVector& p, const CameraVector& q) {
    return std::fabs(p.x - q.x) <= 1e-5 && std::fabs(p.y - q.y) <= 1e-5 && std::fabs(p.z - q.z) <= 1e-5;
  };
  return near(a, b) || near(a, Scale(b, -1));
}
double* Copy(const CameraVector& v, double out[3]) {
  out[0] = v.x, out[1] = v.y, out[2] = v.z;
  return out;
}

}  // namespace

void Camera::SetPosition(CameraVector position) {
  m_position = position;
  UpdateFrame();
}

void Camera::SetFocalPoint(CameraVector focal) {
  m_focal = focal;
  UpdateFrame();
}

double* Camera::GetRightVector(double out[3]) const {
  return Copy(m_right, out);
}
double* Camera::GetDownVector(double out[3]) const {
  return Copy(m_down, out);
}

double* Camera::GetScreenCorner(double width, double height, double out[3]) const {
  return Copy(Sub(Sub(m_position, Scale(m_down, height / 2)), Scale(m_right, width / 2)), out);
}

double* Camera::GetScreenCorner(double out[3]) const {
  return GetScreenCorner(m_viewportWidth, m_viewportHeight, out);
}

void Camera::RotateScreen(float angle) {
  const CameraVector right =
      Normalized(Add(Scale(m_right, std::cos(double(angle))), Scale(m_down, std::sin(double(angle)))));
  m_right = right;
  m_viewUp = Normalized(Cross(right, m_direction));
  m_down = Normalized(Cross(m_direction, right));
}

bool Camera::SetViewport(float width, float height) {
  if (!(width > 0) || !(height > 0)) return false;
  m_viewportWidth = width;
  m_viewportHeight = height;
  return true;
}

bool Camera::GetViewport(double* width, double* height) const {
  *width = m_viewportWidth;
  *height = m_viewportHeight;
  return true;
}

void Camera::UpdateFrame() {
  const CameraVector d = Sub(m_focal, m_position);
  m_distance = std::sqrt(Dot(d, d));
  if (m_distance <= 1e-4) return;
  m_direction = Scale(d, 1.0 / m_distance);
  if (SameAxis(m_direction, m_viewUp)) {
    m_viewUp = Normalized(Cross(m_right, m_direction));
    m_right = Normalized(Cross(m_direction, m_viewUp));
  } else {
    m_right = Normalized(Cross(m_direction, m_viewUp));
    m_viewUp = Normalized(Cross(m_right, m_direction));
  }
  m_down = Normalized(Cross(m_direction, m_right));
}

void Camera::StandardView(CameraVector along, CameraVector viewUp, bool moveEye) {
  m_viewUp = viewUp;
  m_right = Cross(along, viewUp);
  m_down = Scale(viewUp, -1);
  if (moveEye)
    m_position = Sub(m_focal, Scale(along, m_distance));
  else
    m_focal = Add(m_position, along);
  UpdateFrame();
}

bool OrthographicCamera::SetViewport(float width, float height) {
  if (!Camera::SetViewport(width, height)) return false;
  m_baseWidth = width;
  m_baseHeight = height;
  m_zoom = 1.0f;
  return true;
}

void OrthographicCamera::RotateH(float angle) {
  m_position = Sub(Add(m_focal, Scale(m_right, m_distance * std::sin(double(angle)))),
                   Scale(m_direction, m_distance * std::cos(double(angle))));
  UpdateFrame();
}

void OrthographicCamera::RotateV(float angle) {
  m_position = Sub(Add(m_focal, Scale(m_viewUp, m_distance * std::sin(double(angle)))),
                   Scale(m_direction, m_distance * std::cos(double(angle))));
  UpdateFrame();
}

void OrthographicCamera::RotateToSagittal() {
  StandardView({-1, 0, 0}, {0, 0, 1}, true);
}
void OrthographicCamera::RotateToCoronal() {
  StandardView({0, 1, 0}, {0, 0, 1}, true);
}
void OrthographicCamera::RotateToAxial() {
  StandardView({0, 0, 1}, {0, -1, 0}, true);
}
void OrthographicCamera::RotateToZ() {
  RotateToAxial();
}
void OrthographicCamera::RotateToX() {
  StandardView({-1, 0, 0}, {0, -1, 0}, true);
}
void OrthographicCamera::RotateToY() {
  RotateToCoronal();
}

void OrthographicCamera::RotateToBack() {
  m_position = Add(m_focal, Scale(m_direction, m_distance));
  UpdateFrame();
}

void OrthographicCamera::Zoom(float factor) {
  m_zoom = factor;
  if (m_baseWidth * factor > 0 && m_baseHeight * factor > 0) {
    m_viewportWidth = m_baseWidth * factor;
    m_viewportHeight = m_baseHeight * factor;
  }
}

PerspectiveCamera::PerspectiveCamera() {
  UpdateViewport();
}

void PerspectiveCamera::SetPosition(CameraVector position) {
  m_position = position;
  m_focal = Add(position, m_direction);
  UpdateFrame();
}

void PerspectiveCamera::SetFocalPoint(CameraVector) {}

bool PerspectiveCamera::SetViewport(float, float) {
  return false;
}

void PerspectiveCamera::RotateH(float angle) {
  m_focal = Add(Add(m_position, Scale(m_right, m_distance * std::sin(double(angle)))),
                Scale(m_direction, m_distance * std::cos(double(angle))));
  UpdateFrame();
}

void PerspectiveCamera::RotateV(float angle) {
  m_focal = Add(Add(m_position, Scale(m_viewUp, m_distance * std::sin(double(angle)))),
                Scale(m_direction, m_distance * std::cos(double(angle))));
  UpdateFrame();
}

void PerspectiveCamera::RotateToSagittal() {
  StandardView({-1, 0, 0}, {0, 0, 1}, false);
}
void PerspectiveCamera::RotateToCoronal() {
  StandardView({0, 1, 0}, {0, 0, 1}, false);
}
void PerspectiveCamera::RotateToAxial() {
  StandardView({0, 0, 1}, {0, -1, 0}, false);
}
void PerspectiveCamera::RotateToZ() {
  RotateToAxial();
}
void PerspectiveCamera::RotateToX() {
  StandardView({1, 0, 0}, {0, -1, 0}, false);
}
void PerspectiveCamera::RotateToY() {
  RotateToCoronal();
}

void PerspectiveCamera::RotateToBack() {
  m_focal = Sub(m_position, Scale(m_direction, m_distance));
  UpdateFrame();
}

bool PerspectiveCamera::SetAspectRatio(float ratio) {
  if (!(ratio > 0)) return false;
  m_aspect = ratio;
  UpdateViewport();
  return true;
}

bool PerspectiveCamera::SetViewAngle(float degrees) {
  if (!(degrees > 0 && degrees < 180)) return false;
  m_viewAngle = degrees;
  UpdateViewport();
  return true;
}

void PerspectiveCamera::Step(float distance) {
  const CameraVector move = Scale(m_direction, distance);
  m_position = Add(m_position, move);
  m_focal = Add(m_focal, move);
  UpdateFrame();
}

void PerspectiveCamera::UpdateViewport() {
  m_viewportHeight = 2.0 * std::tan(double(m_viewAngle) / 2.0 * kPi / 180.0) * m_imageDistance;
  m_viewportWidth = m_aspect * m_viewportHeight;
}
