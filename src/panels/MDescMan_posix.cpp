// The host's stand-ins: the host keeps no hidden or archive attributes.
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/FileIO.h"
#include "foundation/TextCodec.h"
#include "panels/MDescMan.h"

TDescOptions CurrentDescOptions() { return DescOptions; }

bool DescPathExists(const std::wstring& path) {
  struct stat st;
  return stat(WideToUtf8(path).c_str(), &st) == 0;
}

bool DescSetArchiveOnly(const std::wstring& path) { return FileSetArchiveOnly(path); }

bool DescSetHidden(const std::wstring&) { return true; }

bool DescDeleteFile(const std::wstring& path) { return DeleteFilePlain(path); }
