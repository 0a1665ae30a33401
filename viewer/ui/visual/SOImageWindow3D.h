#pragma once

#include "IVRBuilder.h"
#include "SOImageWindow.h"

// The image window of the 3D pane: shows the VR builder's result image and carries the 3D
// tools, which find the builder as user data 0. Left button ROTATE, right WW, middle ZOOM.
// UI thread only.
class SOImageWindow3D : public SOImageWindow, public IVRBuilderCallback {
 public:
  SOImageWindow3D();
  ~SOImageWindow3D() override;

  // Borrowed; set null before the builder goes.
  void SetVRBuilder(IVRBuilder* builder);
  IVRBuilder* GetVRBuilder() { return builder_; }
  // The MPR plane images laid into the view (borrowed; null for none). The control sets them
  // whenever the planes change, and clears them when the MPR builder is cleared.
  void SetPlaneImages(SOImageObject* axial, SOImageObject* coronal, SOImageObject* sagittal);
  SOImageObject* GetAxialImage() { return axial_; }
  SOImageObject* GetCoronalImage() { return coronal_; }
  SOImageObject* GetSagittalImage() { return sagittal_; }

  // IVRBuilderCallback
  void OnVolumeBuilt() override;
  void OnVolumeCleared() override;
  void OnImageUpdated(ISOImageObject* image) override;
  void OnOriginMoved() override {}
  void OnImagingTypeChanged(int type) override;
  void OnPhaseProgress(int, int) override {}
  void OnPhasesFinished() override {}

  LRESULT OnSize(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnLButtonUp(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnRButtonUp(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnMButtonUp(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT HandleCustomerMessage(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;

 private:
  LRESULT ButtonUp(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled);
  void DetachImage();

  IVRBuilder* builder_ = nullptr;
  SOImageObject* coronal_ = nullptr;
  SOImageObject* axial_ = nullptr;
  SOImageObject* sagittal_ = nullptr;
};
