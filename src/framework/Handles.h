#pragma once
// Owned Windows handles, the last error of a failing call, and the grow-and-retry loop of the
// calls that answer "buffer too small".
//
// Every handle the program opens is held by a THandle of its kind and closed by that kind's
// closer, on every path out of the scope that opened it. Nothing else calls CloseHandle,
// FindClose, RegCloseKey, DeleteObject, DestroyIcon or their kin (the build test
// "handles_and_walks" holds the sources to that).
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <winnetwk.h>

#include <memory>
#include <string>
#include <type_traits>

// One owning handle. H is the raw handle type, Closer a noexcept function object that
// closes a non-null H. INVALID_HANDLE_VALUE is taken as null on entry, so "no handle" has
// one value whatever the opening call returns on failure.
template <class H, class Closer>
class THandle {
  static_assert(std::is_pointer_v<H>, "a handle is a pointer type");

  struct TDeleter {
    using pointer = H;
    void operator()(H h) const noexcept { Closer{}(h); }
  };

 public:
  THandle() noexcept = default;
  explicit THandle(H h) noexcept : FPtr(Normalize(h)) {}
  THandle(THandle&&) noexcept = default;
  THandle& operator=(THandle&&) noexcept = default;

  H get() const noexcept { return FPtr.get(); }
  explicit operator bool() const noexcept { return FPtr.get() != nullptr; }
  void reset(H h = nullptr) noexcept { FPtr.reset(Normalize(h)); }
  // Gives up ownership without closing.
  [[nodiscard]] H release() noexcept { return FPtr.release(); }

  // For a call that hands a new handle back through a pointer: closes the one held, and takes
  // what the call stored when the expression ends.
  class TOut {
   public:
    explicit TOut(THandle& owner) noexcept : FOwner(owner) {}
    ~TOut() { FOwner.reset(FRaw); }
    TOut(const TOut&) = delete;
    TOut& operator=(const TOut&) = delete;
    operator H*() noexcept { return &FRaw; }

   private:
    THandle& FOwner;
    H FRaw = nullptr;
  };
  TOut put() noexcept {
    reset();
    return TOut(*this);
  }

 private:
  static H Normalize(H h) noexcept {
    if constexpr (std::is_same_v<H, HANDLE>) {
      if (h == INVALID_HANDLE_VALUE) return nullptr;
    }
    return h;
  }
  std::unique_ptr<H, TDeleter> FPtr;
};

namespace handle_closers {
struct TKernel {
  void operator()(HANDLE h) const noexcept { ::CloseHandle(h); }
};
struct TFind {
  void operator()(HANDLE h) const noexcept { ::FindClose(h); }
};
struct TChange {
  void operator()(HANDLE h) const noexcept { ::FindCloseChangeNotification(h); }
};
struct TRegistry {
  void operator()(HKEY h) const noexcept {
    // The predefined keys (HKEY_CLASSES_ROOT and its kin) belong to the system.
    const auto v = reinterpret_cast<ULONG_PTR>(h);
    const auto first = reinterpret_cast<ULONG_PTR>(HKEY_CLASSES_ROOT);
    if (v >= first && v <= first + 0x7F) return;
    ::RegCloseKey(h);
  }
};
struct TGdi {
  void operator()(HGDIOBJ h) const noexcept { ::DeleteObject(h); }
};
struct TIcon {
  void operator()(HICON h) const noexcept { ::DestroyIcon(h); }
};
struct TMemoryDC {
  void operator()(HDC h) const noexcept { ::DeleteDC(h); }
};
struct TLocalMem {
  void operator()(HLOCAL h) const noexcept { ::LocalFree(h); }
};
struct TGlobalMem {
  void operator()(HGLOBAL h) const noexcept { ::GlobalFree(h); }
};
struct TCoTaskMem {
  void operator()(void* p) const noexcept { ::CoTaskMemFree(p); }
};
struct TScreenDC {
  void operator()(HDC h) const noexcept { ::ReleaseDC(nullptr, h); }
};
struct TImageList {
  void operator()(HIMAGELIST h) const noexcept { ::ImageList_Destroy(h); }
};
struct TMenu {
  void operator()(HMENU h) const noexcept { ::DestroyMenu(h); }
};
struct TModule {
  void operator()(HMODULE h) const noexcept { ::FreeLibrary(h); }
};
struct TNetEnum {
  void operator()(HANDLE h) const noexcept { ::WNetCloseEnum(h); }
};
}  // namespace handle_closers

// Files, pipes, events, threads, processes, mappings: everything CloseHandle closes.
using TKernelHandle = THandle<HANDLE, handle_closers::TKernel>;
using TFileHandle = TKernelHandle;
using TEventHandle = TKernelHandle;
using TThreadHandle = TKernelHandle;
using TProcessHandle = TKernelHandle;
using TFindHandle = THandle<HANDLE, handle_closers::TFind>;
using TChangeHandle = THandle<HANDLE, handle_closers::TChange>;
using TRegKeyHandle = THandle<HKEY, handle_closers::TRegistry>;
template <class G = HGDIOBJ>
using TGdiHandle = THandle<G, handle_closers::TGdi>;
using TFontHandle = TGdiHandle<HFONT>;
using TBitmapHandle = TGdiHandle<HBITMAP>;
using TBrushHandle = TGdiHandle<HBRUSH>;
using TPenHandle = TGdiHandle<HPEN>;
using TIconHandle = THandle<HICON, handle_closers::TIcon>;
using TMemoryDCHandle = THandle<HDC, handle_closers::TMemoryDC>;
// A buffer the system allocated for the caller with LocalAlloc (FormatMessageW and kin).
using TLocalMemHandle = THandle<HLOCAL, handle_closers::TLocalMem>;
// Global memory not (yet) handed to the clipboard or a data object.
using TGlobalMemHandle = THandle<HGLOBAL, handle_closers::TGlobalMem>;
// Memory from the COM task allocator (item identifier lists, strings the shell hands back).
// P is the pointer type itself (PIDLIST_ABSOLUTE, wchar_t*).
template <class P>
using TCoTaskMemPtr = THandle<P, handle_closers::TCoTaskMem>;
// The screen's device context from GetDC(nullptr).
using TScreenDCHandle = THandle<HDC, handle_closers::TScreenDC>;
using TImageListHandle = THandle<HIMAGELIST, handle_closers::TImageList>;
// A menu that no window owns (a window destroys its own menu bar).
using TMenuHandle = THandle<HMENU, handle_closers::TMenu>;
using TModuleHandle = THandle<HMODULE, handle_closers::TModule>;
// An enumeration of network resources from WNetOpenEnumW.
using TNetEnumHandle = THandle<HANDLE, handle_closers::TNetEnum>;

// Closes a kernel handle at once and tells whether the system took the close without
// complaint (the last buffered writes of a file can fail here). Empty afterwards.
inline bool CloseChecked(TKernelHandle& h) noexcept {
  HANDLE raw = h.release();
  return !raw || ::CloseHandle(raw) != FALSE;
}

// The process's two handles from CreateProcessW, owned.
struct TProcessHandles {
  TProcessHandle Process;
  TThreadHandle Thread;
  explicit TProcessHandles(const PROCESS_INFORMATION& pi) noexcept : Process(pi.hProcess), Thread(pi.hThread) {}
};

// A failed call's error, captured right after the call, with the call's name beside it.
struct TWinError {
  const char* Call = nullptr;
  DWORD Code = ERROR_SUCCESS;
  explicit operator bool() const noexcept { return Code != ERROR_SUCCESS; }
};
inline TWinError LastWinError(const char* call) noexcept { return TWinError{call, ::GetLastError()}; }

// Runs a call that fills a buffer of wide characters, growing the buffer while the answer does
// not fit. fill(buffer, capacity) returns the length it wrote (less than capacity), the capacity
// it needs (at least capacity) when the buffer was too small, or 0 when it failed (with the
// thread's last error set). On success `out` holds the answer. False on failure, and when the
// answer would pass maxChars or keeps growing (GetLastError is then ERROR_INSUFFICIENT_BUFFER).
template <class Fill>
bool GrowAndRetry(std::wstring& out, Fill&& fill, DWORD firstCapacity = MAX_PATH, DWORD maxChars = 0x100000) {
  DWORD capacity = firstCapacity ? firstCapacity : 1;
  std::wstring buf;
  for (int tries = 0; tries < 8; ++tries) {
    buf.resize(capacity);
    const DWORD got = fill(buf.data(), capacity);
    if (got == 0) return false;
    if (got < capacity) {
      buf.resize(got);
      out = std::move(buf);
      return true;
    }
    if (capacity >= maxChars) break;
    capacity = got > capacity ? got : (capacity <= maxChars / 2 ? capacity * 2 : maxChars);
    if (capacity > maxChars) capacity = maxChars;
  }
  ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return false;
}
