#pragma once

// Look-at cameras of the engine, in double precision. The orthographic camera orbits its
// focal point; the perspective camera turns about its own eye.

struct CameraVector {
  double x = 0, y = 0, z = 0;
};

class Camera {
 public:
  virtual void SetPosition(CameraVector position);
  virtual void SetFocalPoint(CameraVector focal);
  const CameraVector& GetFocalPoint() const { return m_focal; }
  const CameraVector& GetPosition() const { return m_position; }
  const CameraVector& GetDirection() const { return m_direction; }
  const CameraVector& GetViewUp() const { return m_viewUp; }
  const CameraVector& GetRight() const { return m_right; }
  const CameraVector& GetDown() const { return m_down; }
  double* GetRightVector(double out[3]) const;
  double* GetDownVector(double out[3]) const;
  // Top-left corner of a screen of that size centred on the eye.
  double* GetScreenCorner(double width, double height, double out[3]) const;
  double* GetScreenCorner(double out[3]) const;
  void RotateScreen(float angle);
  virtual bool SetViewport(float width, float height);
  bool GetViewport(double* width, double* height) const;
  double GetDistance() const { return m_distance; }

  virtual void RotateH(float angle) = 0;
  virtual void RotateV(float angle) = 0;
  virtual void RotateToSagittal() = 0;
  virtual void RotateToCoronal() = 0;
  virtual void RotateToAxial() = 0;
  virtual void RotateToZ() = 0;
  virtual void RotateToX() = 0;
  virtual void RotateToY() = 0;
  virtual void RotateToBack() = 0;

 protected:
  ~Camera() = default;
  // Re-derives distance, direction, right, view-up and down after the eye or focal point moved.
  void UpdateFrame();
  // Places the eye (orthographic) or the focal point (perspective) for a standard view.
  void StandardView(CameraVector along, CameraVector viewUp, bool moveEye);

  double m_viewportWidth = 1.0, m_viewportHeight = 1.0;
  double m_distance = 1.0;
  CameraVector m_focal{0, 0, 0};
  CameraVector m_position{0, -1, 0};
  CameraVector m_direction{0, 1, 0};
  CameraVector m_viewUp{0, 0, 1};
  CameraVector m_right{1, 0, 0};
  CameraVector m_down{0, 0, -1};
};

class OrthographicCamera final : public Camera {
 public:
  bool SetViewport(float width, float height) override;
  void RotateH(float angle) override;
  void RotateV(float angle) override;
  void RotateToSagittal() override;
  void RotateToCoronal() override;
  void RotateToAxial() override;
  void RotateToZ() override;
  void RotateToX() override;
  void RotateToY() override;
  void RotateToBack() override;
  virtual void Zoom(float factor);

 private:
  float m_zoom = 1.0f;
  double m_baseWidth = 1.0, m_baseHeight = 1.0;
};

class PerspectiveCamera final : public Camera {
 public:
  PerspectiveCamera();
  void SetPosition(CameraVector position) override;
  void SetFocalPoint(CameraVector focal) override;
  bool SetViewport(float width, float height) override;
  void RotateH(float angle) override;
  void RotateV(float angle) override;
  void RotateToSagittal() override;
  void RotateToCoronal() override;
  void RotateToAxial() override;
  void RotateToZ() override;
  void RotateToX() override;
  void RotateToY() override;
  void RotateToBack() override;
  virtual bool SetAspectRatio(float ratio);
  virtual bool SetViewAngle(float degrees);
  virtual void Step(float distance);

 private:
  void UpdateViewport();

  float m_aspect = 1.0f;
  float m_viewAngle = 90.0f;
  float m_imageDistance = 1.0f;
};
