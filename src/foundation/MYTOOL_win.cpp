#include "foundation/MYTOOL.h"

int64_t GetFindDataSize(const WIN32_FIND_DATAW& findData) {
  return MakeInt64(findData.nFileSizeHigh, findData.nFileSizeLow);
}

TDateTime FileTimeToLocalDateTime(const FILETIME& fileTime) {
  FILETIME local;
  if (!FileTimeToLocalFileTime(&fileTime, &local)) local = fileTime;
  int y, mo, d, h, mi, s, ms;
  FileTimeToFields(static_cast<uint64_t>(local.dwHighDateTime) << 32 | local.dwLowDateTime, y, mo, d, h, mi, s, ms);
  if (y < 1) y = 1, mo = 1, d = 1;
  if (y > 9999) y = 9999, mo = 12, d = 31;
  return EncodeDateTime(y, mo, d, h, mi, s, ms);
}

int32_t UnixTimeToDosDateTime(uint32_t seconds, bool toLocal) {
  int64_t offset = 0;
  if (toLocal) {
    // The zone's offset at that instant (daylight saving included).
    uint64_t ft = (static_cast<uint64_t>(seconds) + 11644473600ull) * 10000000ull;
    FILETIME utc{static_cast<DWORD>(ft), static_cast<DWORD>(ft >> 32)}, local;
    if (FileTimeToLocalFileTime(&utc, &local)) {
      uint64_t lt = static_cast<uint64_t>(local.dwHighDateTime) << 32 | local.dwLowDateTime;
      offset = (static_cast<int64_t>(lt) - static_cast<int64_t>(ft)) / 10000000;
    }
  }
  return UnixTimeToDosDateTimeOffset(seconds, offset);
}

void DosDateTimeToUtcFileTime(int32_t dosDateTime, FILETIME& fileTime) {
  FILETIME local{};
  uint32_t v = static_cast<uint32_t>(dosDateTime);
  if (!DosDateTimeToFileTime(static_cast<WORD>(v >> 16), static_cast<WORD>(v & 0xFFFF), &local)) {
    // An invalid DOS value: use its clamped fields.
    TDateTime t = DosToDateTimeClamped(dosDateTime);
    int y, mo, d, h, mi, s, ms;
    DecodeDateTime(t, y, mo, d, h, mi, s, ms);
    SYSTEMTIME st{static_cast<WORD>(y), static_cast<WORD>(mo), 0, static_cast<WORD>(d), static_cast<WORD>(h),
                  static_cast<WORD>(mi), static_cast<WORD>(s), 0};
    SystemTimeToFileTime(&st, &local);
  }
  if (!LocalFileTimeToFileTime(&local, &fileTime)) fileTime = local;
}
