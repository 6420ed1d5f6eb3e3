// The host has no Windows files: the engine's default file system is one in memory.
#include "archive/engine/zevFileSys.h"

TzevFileSys& DefaultFileSys() {
  static TMemFileSys fs;
  return fs;
}
