// Owners of the window layer's Windows handles: each closes its handle on every path out.
// Null and INVALID_HANDLE_VALUE both count as empty; copies are forbidden, moves allowed.
#pragma once

#include <windows.h>
#include <objbase.h>

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

// Memory the shell hands out (item lists): freed with the task allocator.
struct ShellMemoryTraits {
  static void* Empty() { return nullptr; }
  static bool Valid(void* p) { return p != nullptr; }
  static bool Close(void* p) {
    CoTaskMemFree(p);
    return true;
  }
};

using FileHandle = ScopedHandle<HANDLE, KernelHandleTraits>;
using FindHandle = ScopedHandle<HANDLE, FindHandleTraits>;
using RegistryKey = ScopedHandle<HKEY, RegistryKeyTraits>;
using ModuleHandle = ScopedHandle<HMODULE, ModuleTraits>;
using GdiObject = ScopedHandle<HGDIOBJ, GdiObjectTraits>;
using ShellMemory = ScopedHandle<void*, ShellMemoryTraits>;

// A COM interface pointer, released on every path out.
template <typename Interface>
class ComPointer {
 public:
  ComPointer() = default;
  ~ComPointer() { Reset(); }
  ComPointer(const ComPointer&) = delete;
  ComPointer& operator=(const ComPointer&) = delete;
  Interface* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  // For the functions that hand out an interface: the old one is released first.
  Interface** Out() {
    Reset();
    return &pointer_;
  }
  void Reset() {
    if (pointer_) pointer_->Release();
    pointer_ = nullptr;
  }

 private:
  Interface* pointer_ = nullptr;
};

// COM initialised for the thread while it lives, when it could be.
class ComApartment {
 public:
  ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  HRESULT result_;
};
