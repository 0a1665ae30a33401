#pragma once

// The multiplanar images of the 3D/MPR control: the axial, coronal and sagittal planes through
// one cross point, and one oblique image for the current entry of a list of slab planes (a
// plane, or a thick-slab projection on the VR builder's engine). Each result is an image object
// on its own DICOM object and file, so MPR windows show them like ordinary images. For 4D series
// it drives MPRBuilder4D and shows its stored planes per phase.
//
// UI thread only. The MPR engine is shared with the 4D worker and the projection engine with the
// VR builder's: every call into either holds that engine's mutex.

#include <memory>
#include <mutex>
#include <vector>

#include "EngineMPR.h"
#include "ISOImageObject.h"
#include "MPRBuilder4D.h"
#include "V3VolumeData.h"

class Engine3D;
class SODcmFile;
class SODcmObject;
class SOImageObject;
class SOImageObjectEx;

class IMPRBuilderCallback {
 public:
  virtual void OnMPRBuilt() {}
  virtual void OnMPRCleared() {}
  virtual void OnImageUpdated(ISOImageObject* image) { (void)image; }
  virtual void OnOriginChanged() {}
  virtual void OnSliceThicknessChanged(float thickness) { (void)thickness; }

 protected:
  ~IMPRBuilderCallback() = default;
};

class MPRBuilder : public ISOImageObjectCallback {
 public:
  // Slab types of the oblique image.
  enum { kSlabPlane = 0, kSlabAIP = 1, kSlabMIP = 2, kSlabMinIP = 3 };

  MPRBuilder();
  ~MPRBuilder();
  MPRBuilder(const MPRBuilder&) = delete;
  MPRBuilder& operator=(const MPRBuilder&) = delete;

  // Gives the engine the volume (whose voxels stay the caller's), makes the four result images
  // with the patient attributes of source and samples the three planes; false, with the builder
  // left empty, when the engine refuses the volume.
  bool Build(const V3VolumeData& volume, SODcmFile* source);
  // Build in two steps, as VRBuilder's: InitEngine on any thread (the builder empty, its phase
  // worker idle) gives the engine the volume and makes the four result images with their first
  // planes; Attach on the UI thread takes them and shows them.
  bool InitEngine(const V3VolumeData& volume, SODcmFile* source);
  void Attach(const V3VolumeData& volume);
  void Clear();
  // Samples the three orthogonal planes through the cross point.
  void Update();
  // Makes the oblique image of the current slab.
  void UpdateOblique();
  // Steps through the slab list with wrap-around; false (index -1) when the list is empty.
  bool PrevSlab();
  bool NextSlab();
  // Shows the stored planes of a 4D phase; a plane not stored leaves its image as it is.
  bool ShowPhase(int phase);

  // The cross point, under the engine's mutex.
  bool GetOrigin(double origin[3]);
  bool SetOrigin(const double origin[3]);

  EngineMPR* GetEngine() { return &engine_; }
  std::mutex& EngineMutex() { return engineMutex_; }
  // The VR builder's engine and the mutex it is used under; slab projections need it.
  void SetProjectionEngine(Engine3D* engine, std::mutex* mutex) { projection_ = engine, projectionMutex_ = mutex; }
  Engine3D* GetProjectionEngine() const { return projection_; }

  SOImageObjectEx* GetAxialImage() const { return axial_.image.get(); }
  SOImageObjectEx* GetCoronalImage() const { return coronal_.image.get(); }
  SOImageObjectEx* GetSagittalImage() const { return sagittal_.image.get(); }
  SOImageObjectEx* GetObliqueImage() const { return oblique_.image.get(); }
  const V3VolumeData& GetVolume() const { return volume_; }

  std::vector<V3SliceParam>& SlabList() { return slabs_; }
  int GetSlabIndex() const { return slabIndex_; }
  void SetSlabIndex(int index) { slabIndex_ = index; }
  float GetSlabThickness() const { return thickness_; }
  void SetSlabThickness(float thickness) { thickness_ = thickness; }
  int GetSlabType() const { return slabType_; }
  void SetSlabType(int type) { slabType_ = type; }
  bool Is4D() const { return is4D_; }
  void Set4D(bool on) { is4D_ = on; }
  int GetStamp() const { return stamp_; }
  MPRBuilder4D& Builder4D() { return builder4D_; }

  void RegisterCallback(IMPRBuilderCallback* callback);
  void UnRegisterCallback(IMPRBuilderCallback* callback);
  const std::vector<IMPRBuilderCallback*>& GetCallbacks() const { return callbacks_; }

  // ISOImageObjectCallback
  void OnImageObjectUpdated(SOImageObject* sender, unsigned int event, long parameter) override;

 private:
  struct Result {
    std::unique_ptr<SODcmFile> file;
    std::unique_ptr<SODcmObject> object;
    std::unique_ptr<SOImageObjectEx> image;
    void Reset();
  };
  void ShowPlane(Result& result, const V3ImageData& data);
  // One orthogonal plane through the cross point into result; false when the engine made none.
  bool SamplePlane(V3MPRType type, Result& result);
  // The planes changed: their images raise their events and the phases follow the new stamp;
  // sample samples them first.
  void Refresh(bool sample);

  bool is4D_ = false;
  int stamp_ = 0;
  V3VolumeData volume_{};
  std::mutex engineMutex_;
  EngineMPR engine_;
  Engine3D* projection_ = nullptr;     // borrowed
  std::mutex* projectionMutex_ = nullptr;
  Result axial_, coronal_, sagittal_, oblique_;
  // Made by InitEngine, taken by Attach (axial, coronal, sagittal, oblique), with the cross
  // point their planes were sampled through.
  Result pending_[4];
  double sampledOrigin_[3] = {0, 0, 0};
  std::vector<IMPRBuilderCallback*> callbacks_;
  int slabIndex_ = -1;
  std::vector<V3SliceParam> slabs_;
  float thickness_ = 1.0f;
  int slabType_ = kSlabAIP;
  MPRBuilder4D builder4D_;  // last: its worker goes first
};
