// The host build has no zone rules of its own: local time is UTC.
#include "archive/engine/zevGbls.h"

TzevTimeZone ReadSystemTimeZone() { return {}; }
