// The engine's owners of kernel and search handles: each closes its handle on every path
// out. Null and INVALID_HANDLE_VALUE both count as empty.
#pragma once

#include <windows.h>

#include <memory>

struct FileHandleCloser {
  void operator()(HANDLE h) const { CloseHandle(h); }
};
struct FindHandleCloser {
  void operator()(HANDLE h) const { FindClose(h); }
};

template <typename Closer>
using OwnedHandle = std::unique_ptr<void, Closer>;

// Takes `h`; an invalid handle gives an empty owner, which closes nothing.
template <typename Closer>
OwnedHandle<Closer> Own(HANDLE h) {
  return OwnedHandle<Closer>(h == INVALID_HANDLE_VALUE ? nullptr : h);
}
