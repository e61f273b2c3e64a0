// Owners of the builder's Windows handles: each closes its handle on every path out.
// Null and INVALID_HANDLE_VALUE both count as empty; copies are forbidden, moves allowed.
#pragma once

#include <windows.h>

template <typename Handle, typename Traits>
class ScopedHandle {
 public:
  ScopedHandle() = default;
  explicit ScopedHandle(Handle handle) : handle_(handle) {}
  ~ScopedHandle() { Reset(); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.Release()) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  Handle Get() const { return handle_; }
  bool Valid() const { return Traits::Valid(handle_); }
  explicit operator bool() const { return Valid(); }
  Handle Release() {
    Handle handle = handle_;
    handle_ = Traits::Empty();
    return handle;
  }
  // Closes the owned handle (safe when empty) and takes `handle`; gives the close result.
  bool Reset(Handle handle = Traits::Empty()) {
    bool closed = true;
    if (Valid()) closed = Traits::Close(handle_);
    handle_ = handle;
    return closed;
  }

 private:
  Handle handle_ = Traits::Empty();
};

struct KernelHandleTraits {
  static HANDLE Empty() { return nullptr; }
  static bool Valid(HANDLE h) { return h && h != INVALID_HANDLE_VALUE; }
  static bool Close(HANDLE h) { return CloseHandle(h) != FALSE; }
};

struct FindHandleTraits {
  static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
  static bool Valid(HANDLE h) { return h && h != INVALID_HANDLE_VALUE; }
  static bool Close(HANDLE h) { return FindClose(h) != FALSE; }
};

struct RegistryKeyTraits {
  static HKEY Empty() { return nullptr; }
  static bool Valid(HKEY h) { return h != nullptr; }
  static bool Close(HKEY h) { return RegCloseKey(h) == ERROR_SUCCESS; }
};

struct ModuleTraits {
  static HMODULE Empty() { return nullptr; }
  static bool Valid(HMODULE h) { return h != nullptr; }
  static bool Close(HMODULE h) { return FreeLibrary(h) != FALSE; }
};

struct GdiObjectTraits {
  static HGDIOBJ Empty() { return nullptr; }
  static bool Valid(HGDIOBJ h) { return h != nullptr; }
  static bool Close(HGDIOBJ h) { return DeleteObject(h) != FALSE; }
};

// An update left open is discarded: only an explicit Commit writes the file.
struct ResourceUpdateTraits {
  static HANDLE Empty() { return nullptr; }
  static bool Valid(HANDLE h) { return h != nullptr; }
  static bool Close(HANDLE h) { return EndUpdateResourceA(h, TRUE) != FALSE; }
};

using FileHandle = ScopedHandle<HANDLE, KernelHandleTraits>;
using FindHandle = ScopedHandle<HANDLE, FindHandleTraits>;
using RegistryKey = ScopedHandle<HKEY, RegistryKeyTraits>;
using ModuleHandle = ScopedHandle<HMODULE, ModuleTraits>;
using GdiObject = ScopedHandle<HGDIOBJ, GdiObjectTraits>;

class ResourceUpdate : public ScopedHandle<HANDLE, ResourceUpdateTraits> {
 public:
  using ScopedHandle::ScopedHandle;
  // Writes the collected changes into the file; the update is over either way.
  bool Commit() {
    HANDLE h = Release();
    return h && EndUpdateResourceA(h, FALSE) != FALSE;
  }
};
