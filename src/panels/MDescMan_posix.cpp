// The host's stand-ins: the host keeps no hidden or archive attributes.
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/TextCodec.h"
#include "panels/MDescMan.h"

TDescOptions CurrentDescOptions() { return DescOptions; }

bool DescPathExists(const std::wstring& path) {
  struct stat st;
  return stat(WideToUtf8(path).c_str(), &st) == 0;
}

bool DescSetArchiveOnly(const std::wstring& path) { return access(WideToUtf8(path).c_str(), W_OK) == 0; }

bool DescSetHidden(const std::wstring&) { return true; }

bool DescDeleteFile(const std::wstring& path) { return unlink(WideToUtf8(path).c_str()) == 0; }
