#pragma once
// What the CAB reader and writer share: cabinet.dll loaded at run time (FDI for reading, FCI
// for writing), the file callbacks the library calls (TStreamCabinetFileHandler: Windows
// file handles, which are the handles the library holds), names handed to the library, and
// ECabinetError. Names pass through the library as short tokens that this side resolves, so
// that a path holding any character reaches the file system whole. Windows only.
#include <windows.h>

#include <fci.h>
#include <fdi.h>

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/Handles.h"

class ECabinetError : public std::runtime_error {
 public:
  ECabinetError(int32_t code, int32_t type);
  int32_t ErrorCode, ErrorType;
};

// Loads a library with the system's "cannot open file" boxes off; null on failure.
HMODULE LoadLibrarySafe(const wchar_t* name);

// The entry points of cabinet.dll, loaded once; a missing library leaves Loaded false.
struct TCabinetLib {
  bool FdiLoaded = false, FciLoaded = false;
  decltype(&::FDICreate) FDICreate = nullptr;
  decltype(&::FDIIsCabinet) FDIIsCabinet = nullptr;
  decltype(&::FDICopy) FDICopy = nullptr;
  decltype(&::FDIDestroy) FDIDestroy = nullptr;
  decltype(&::FCICreate) FCICreate = nullptr;
  decltype(&::FCIAddFile) FCIAddFile = nullptr;
  decltype(&::FCIFlushCabinet) FCIFlushCabinet = nullptr;
  decltype(&::FCIFlushFolder) FCIFlushFolder = nullptr;
  decltype(&::FCIDestroy) FCIDestroy = nullptr;
  TModuleHandle Module;
};
TCabinetLib& CabinetLib();
// Tests: acts as if cabinet.dll were missing (true) or present again (false).
void SimulateMissingCabinetDll(bool missing);

class TCabinetFileHandler {
 public:
  virtual ~TCabinetFileHandler() = default;
  // C open flags (0x100 create, 0x2 read-write, 0x1 write, 0x400 exclusive); -1 on failure,
  // err receiving the system's error.
  virtual INT_PTR Open(const char* name, int flags, int& err) = 0;
  virtual UINT Read(INT_PTR handle, void* buffer, UINT count, int& err) = 0;
  virtual UINT Write(INT_PTR handle, const void* buffer, UINT count, int& err) = 0;
  virtual int Close(INT_PTR handle, int& err) = 0;
  virtual long Seek(INT_PTR handle, long offset, int origin, int& err) = 0;
  virtual int Delete(const char* name, int& err) = 0;
};

class TStreamCabinetFileHandler : public TCabinetFileHandler {
 public:
  ~TStreamCabinetFileHandler() override;
  INT_PTR Open(const char* name, int flags, int& err) override;
  UINT Read(INT_PTR handle, void* buffer, UINT count, int& err) override;
  UINT Write(INT_PTR handle, const void* buffer, UINT count, int& err) override;
  int Close(INT_PTR handle, int& err) override;
  long Seek(INT_PTR handle, long offset, int origin, int& err) override;
  int Delete(const char* name, int& err) override;

  // A token standing for path in the names the library passes back ("?n"); text after the
  // token in such a name (a file name the library appends) is added to the path.
  std::string Token(const std::wstring& path);
  // The path a name from the library stands for: a token's path, or the name in the ANSI
  // code page, relative names taken from RelativeTo.
  std::wstring Resolve(const char* name) const;
  std::wstring RelativeTo;
  bool IsOpen(INT_PTR handle) const { return FFiles.count(handle) != 0; }

 private:
  std::map<INT_PTR, TFileHandle> FFiles;
  std::vector<std::wstring> FNames;
};

// The DOS date and time of a cabinet entry as one packed value (date in the high word).
inline int32_t CabDosDate(USHORT date, USHORT time) {
  return static_cast<int32_t>((static_cast<uint32_t>(date) << 16) | time);
}
