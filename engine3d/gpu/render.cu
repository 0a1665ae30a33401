// The kernels and the CUDA runtime device. Each kernel runs, per thread, the body the CPU
// renderer runs per brick or per ray (render.h), compiled for the device.

#include <cuda_runtime.h>

#include "DeviceApi.h"
#include "render.h"

namespace {

__global__ void Kernel_BuildOctree(Octree octree) {
  LinkOctree(octree);
}

__global__ void Kernel_InitOctree(V3VolumeData volume, Octree octree) {
  InitOctreeThread(volume, octree, blockIdx.x, blockIdx.y, blockIdx.z, threadIdx.x, threadIdx.y, threadIdx.z);
}

__global__ void Kernel_UpdateOctree(V3VolumeMark mark, VolumePalette palette, Octree octree) {
  UpdateOctreeThread(mark, palette, octree, blockIdx.x, blockIdx.y, blockIdx.z, threadIdx.x, threadIdx.y,
                     threadIdx.z);
}

__global__ void Kernel_UpdateVisibleBox(V3VolumeData volume, Octree octree, float* corners) {
  UpdateOpacityBox(volume, octree, corners);
}

__global__ void Kernel_Imaging_VR(V3VolumeData volume, V3VolumeMark mark, VolumeParam vp, RenderParam rp,
                                  VolumePalette palette, Octree octree, V3ImageRGB image) {
  ImagingVRThread(volume, mark, vp, rp, palette, octree, image, blockIdx.x * kImageBlock + threadIdx.x,
                  blockIdx.y * kImageBlock + threadIdx.y);
}

__global__ void Kernel_Imaging_VE(V3VolumeData volume, V3VolumeMark mark, VolumeParam vp, RenderParam rp,
                                  VolumePalette palette, Octree octree, V3ImageRGB image) {
  ImagingVEThread(volume, mark, vp, rp, palette, octree, image, blockIdx.x * kImageBlock + threadIdx.x,
                  blockIdx.y * kImageBlock + threadIdx.y);
}

// A launch succeeded when it was accepted and ran to the end.
bool Finished() {
  if (cudaGetLastError() != cudaSuccess) return false;
  return cudaDeviceSynchronize() == cudaSuccess && cudaGetLastError() == cudaSuccess;
}

class CudaDevice final : public DeviceApi {
 public:
  int DeviceCount() override {
    // Without a driver the call fails and leaves the count unwritten.
    int count = 0;
    return cudaGetDeviceCount(&count) == cudaSuccess ? count : 0;
  }
  void* Alloc(size_t bytes) override {
    void* p = nullptr;
    return cudaMalloc(&p, bytes ? bytes : 1) == cudaSuccess ? p : nullptr;
  }
  void Free(void* p) override {
    if (p) cudaFree(p);
  }
  bool CopyToDevice(void* device, const void* host, size_t bytes) override {
    return cudaMemcpy(device, host, bytes, cudaMemcpyHostToDevice) == cudaSuccess;
  }
  bool CopyToHost(void* host, const void* device, size_t bytes) override {
    return cudaMemcpy(host, device, bytes, cudaMemcpyDeviceToHost) == cudaSuccess;
  }
  bool BuildOctree(const Octree& octree) override {
    Kernel_BuildOctree<<<1, 1>>>(octree);
    return Finished();
  }
  bool InitOctree(const V3VolumeData& volume, const Octree& octree) override {
    Kernel_InitOctree<<<OctreeGrid(octree), dim3(kOctreeBlock, kOctreeBlock, kOctreeBlock)>>>(volume, octree);
    return Finished();
  }
  bool UpdateOctree(const V3VolumeMark& mark, const VolumePalette& palette, const Octree& octree) override {
    Kernel_UpdateOctree<<<OctreeGrid(octree), dim3(kOctreeBlock, kOctreeBlock, kOctreeBlock)>>>(mark, palette,
                                                                                                octree);
    return Finished();
  }
  bool UpdateVisibleBox(const V3VolumeData& volume, const Octree& octree, float* corners) override {
    Kernel_UpdateVisibleBox<<<1, 1>>>(volume, octree, corners);
    return Finished();
  }
  bool ImagingVR(const V3VolumeData& volume, const V3VolumeMark& mark, const VolumeParam& vp,
                 const RenderParam& rp, const VolumePalette& palette, const Octree& octree,
                 const V3ImageRGB& image) override {
    const dim3 grid(BlocksFor(rp.rectWidth, kImageBlock), BlocksFor(rp.rectHeight, kImageBlock), 1);
    Kernel_Imaging_VR<<<grid, dim3(kImageBlock, kImageBlock, 1)>>>(volume, mark, vp, rp, palette, octree,
                                                                   image);
    return Finished();
  }
  bool ImagingVE(const V3VolumeData& volume, const V3VolumeMark& mark, const VolumeParam& vp,
                 const RenderParam& rp, const VolumePalette& palette, const Octree& octree,
                 const V3ImageRGB& image) override {
    const dim3 grid(BlocksFor(rp.width, kImageBlock), BlocksFor(rp.height, kImageBlock), 1);
    Kernel_Imaging_VE<<<grid, dim3(kImageBlock, kImageBlock, 1)>>>(volume, mark, vp, rp, palette, octree,
                                                                   image);
    return Finished();
  }

 private:
  static dim3 OctreeGrid(const Octree& o) {
    return dim3(BlocksFor(o.bricksX, kOctreeBlock), BlocksFor(o.bricksY, kOctreeBlock),
                BlocksFor(o.bricksZ, kOctreeBlock));
  }
};

}  // namespace

DeviceApi* CudaRuntimeDevice() {
  static CudaDevice device;
  return &device;
}
