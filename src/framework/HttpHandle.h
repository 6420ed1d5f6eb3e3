#pragma once
// The owned handle of a WinHTTP session, connection or request (kept apart from Handles.h so
// that only the units speaking HTTP see the WinHTTP declarations).
#include <windows.h>
#include <winhttp.h>

#include "framework/Handles.h"

namespace handle_closers {
struct THttp {
  void operator()(HINTERNET h) const noexcept { ::WinHttpCloseHandle(h); }
};
}  // namespace handle_closers

using THttpHandle = THandle<HINTERNET, handle_closers::THttp>;
