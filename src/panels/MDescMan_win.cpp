#include <windows.h>

#include "panels/MDescMan.h"

#include "foundation/FileIO.h"
#include "foundation/MOption.h"

namespace {
struct TQuietErrors {
  UINT Old = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  ~TQuietErrors() { SetErrorMode(Old); }
};
}  // namespace

TDescOptions CurrentDescOptions() {
  TDescOptions o;
  o.DescHidden = Options.DescHidden;
  o.DescShortRead = Options.DescShortRead;
  o.DescShortWrite = Options.DescShortWrite;
  return o;
}

bool DescPathExists(const std::wstring& path) {
  TQuietErrors quiet;
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool DescSetArchiveOnly(const std::wstring& path) { return FileSetArchiveOnly(path); }

bool DescSetHidden(const std::wstring& path) {
  TQuietErrors quiet;
  return SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN) != 0;
}

bool DescDeleteFile(const std::wstring& path) { return DeleteFilePlain(path); }
