#include <windows.h>

#include "archive/engine/zevGbls.h"

TzevTimeZone ReadSystemTimeZone() {
  TIME_ZONE_INFORMATION tz{};
  TzevTimeZone z;
  if (GetTimeZoneInformation(&tz) == TIME_ZONE_ID_INVALID) return z;
  auto date = [](const SYSTEMTIME& s) {
    return TzevZoneDate{s.wYear, s.wMonth, s.wDayOfWeek, s.wDay, s.wHour, s.wMinute};
  };
  z.Bias = tz.Bias;
  z.StandardBias = tz.StandardBias;
  z.DaylightBias = tz.DaylightBias;
  z.StandardDate = date(tz.StandardDate);
  z.DaylightDate = date(tz.DaylightDate);
  return z;
}
