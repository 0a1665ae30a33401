// Modules and mapped files.

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <unordered_map>

#include "SOWin32.h"
#include "SOWinPrivate.h"
#include "SOWinQt.h"

using namespace sowin;

namespace {

struct FileHandle {
  int fd = -1;
  bool mapping = false;
  size_t size = 0;  // mappings
  bool writable = false;
};
std::mutex g_fileMutex;  // guards g_files and g_views
std::unordered_map<HANDLE, std::unique_ptr<FileHandle>> g_files;
std::unordered_map<const void*, size_t> g_views;

}  // namespace

HMODULE LoadLibraryA(LPCSTR path) {
  if (!path) return nullptr;
  return reinterpret_cast<HMODULE>(dlopen(SOWin::NormalisePath(path).c_str(), RTLD_NOW | RTLD_LOCAL));
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  if (!module || !name) return nullptr;
  return reinterpret_cast<FARPROC>(dlsym(module, name));
}

BOOL FreeLibrary(HMODULE module) {
  return module && dlclose(module) == 0 ? TRUE : FALSE;
}

HMODULE GetModuleHandleW(LPCWSTR name) {
  if (name) return nullptr;
  return reinterpret_cast<HMODULE>(dlopen(nullptr, RTLD_NOW | RTLD_NOLOAD));
}

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, void*, DWORD disposition, DWORD, HANDLE) {
  if (!path) return INVALID_HANDLE_VALUE;
  const bool write = access & GENERIC_WRITE;
  int flags = write ? ((access & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY;
  // Truncation waits until the lock is ours: a refused opener must never shrink a file that
  // another holder has mapped.
  bool truncate = false;
  switch (disposition) {
    case CREATE_NEW:
      flags |= O_CREAT | O_EXCL;
      break;
    case CREATE_ALWAYS:
      flags |= O_CREAT;
      truncate = true;
      break;
    case OPEN_ALWAYS:
      flags |= O_CREAT;
      break;
    case TRUNCATE_EXISTING:
      truncate = true;
      break;
    default:
      break;
  }
  const int fd = ::open(SOWin::NormalisePath(path).c_str(), flags | O_CLOEXEC, 0644);
  if (fd < 0) return INVALID_HANDLE_VALUE;
  // No sharing: nobody else may hold the file; later openers fail.
  const int lockMode = (shareMode & (FILE_SHARE_READ | FILE_SHARE_WRITE)) ? LOCK_SH : LOCK_EX;
  if (flock(fd, lockMode | LOCK_NB) != 0 || (truncate && (!write || ftruncate(fd, 0) != 0))) {
    ::close(fd);
    return INVALID_HANDLE_VALUE;
  }
  auto h = std::make_unique<FileHandle>();
  h->fd = fd;
  h->writable = write;
  HANDLE handle = h.get();
  std::lock_guard lock(g_fileMutex);
  g_files[handle] = std::move(h);
  return handle;
}

HANDLE CreateFileMappingA(HANDLE file, void*, DWORD protect, DWORD sizeHigh, DWORD sizeLow, LPCSTR) {
  std::lock_guard lock(g_fileMutex);
  auto it = g_files.find(file);
  if (it == g_files.end() || it->second->mapping) return nullptr;
  const int fd = it->second->fd;
  size_t size = (static_cast<size_t>(sizeHigh) << 32) | sizeLow;
  struct stat st {};
  if (fstat(fd, &st) != 0) return nullptr;
  if (size == 0) size = static_cast<size_t>(st.st_size);
  if (size == 0) return nullptr;
  const bool writable = protect == PAGE_READWRITE;
  if (writable && static_cast<size_t>(st.st_size) < size && ftruncate(fd, static_cast<off_t>(size)) != 0)
    return nullptr;
  auto m = std::make_unique<FileHandle>();
  m->fd = dup(fd);
  if (m->fd < 0) return nullptr;
  m->mapping = true;
  m->size = size;
  m->writable = writable;
  HANDLE handle = m.get();
  g_files[handle] = std::move(m);
  return handle;
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes) {
  std::lock_guard lock(g_fileMutex);
  auto it = g_files.find(mapping);
  if (it == g_files.end() || !it->second->mapping) return nullptr;
  const FileHandle& m = *it->second;
  const size_t offset = (static_cast<size_t>(offsetHigh) << 32) | offsetLow;
  if (offset >= m.size || offset % static_cast<size_t>(sysconf(_SC_PAGESIZE)) != 0) return nullptr;
  const size_t length = bytes ? bytes : m.size - offset;
  if (offset + length > m.size) return nullptr;
  const bool write = (access & FILE_MAP_WRITE) && m.writable;
  void* view = mmap(nullptr, length, PROT_READ | (write ? PROT_WRITE : 0), MAP_SHARED, m.fd,
                    static_cast<off_t>(offset));
  if (view == MAP_FAILED) return nullptr;
  g_views[view] = length;
  return view;
}

BOOL UnmapViewOfFile(LPCVOID view) {
  std::lock_guard lock(g_fileMutex);
  auto it = g_views.find(view);
  if (it == g_views.end()) return FALSE;
  munmap(const_cast<void*>(view), it->second);
  g_views.erase(it);
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  std::lock_guard lock(g_fileMutex);
  auto it = g_files.find(handle);
  if (it == g_files.end()) return FALSE;
  ::close(it->second->fd);
  g_files.erase(it);
  return TRUE;
}

BOOL DeleteFileA(LPCSTR path) {
  return path && ::unlink(SOWin::NormalisePath(path).c_str()) == 0 ? TRUE : FALSE;
}
