// A stand-in for the RAR extraction library, for the tests of the program's RAR driver. It
// reads RAR 4 archives whose entries are stored (method 0x30), single or in volumes (old
// ".rar/.r00" or new ".partN.rar" naming), and answers the library's calls with the library's
// records, callbacks and result values.
//
// It differs from a real library in two ways the tests rely on:
// - Encrypted entries are stored unciphered; the stand-in only checks the password it was given
//   against the one set by StandInSetup ("password=..."): a wrong one delivers scrambled bytes
//   and then reports bad data, as a wrong key does.
// - StandInSetup(config) resets the call log and sets faults, ';' separated:
//     open=N        the open call fails with N
//     header=K:N    the K-th header call (from 1) answers N
//     process=K:N   the K-th process call delivers its data, then answers N
//     close=N       the close call answers N
//     password=P    the password of encrypted entries
//     chunk=N       bytes per data callback (default 65536)
//   StandInLog() returns the calls and callbacks made since, one per line.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../common/StandInIo.h"
#include "archive/layer/UnRarApi.h"

using namespace unrarapi;

namespace {

struct Config {
  int OpenResult = 0;
  int HeaderCall = 0, HeaderResult = 0;
  int ProcessCall = 0, ProcessResult = 0;
  int CloseResult = 0;
  std::string Password;
  size_t Chunk = 65536;
};
Config g;
int gHeaderCalls = 0, gProcessCalls = 0;
std::string gLog, gLogCopy;

void Log(const std::string& line) { gLog += line + "\n"; }

uint32_t Crc32(const char* p, size_t n, uint32_t c = 0) { return ~standin::Crc32Register(p, n, ~c); }
bool Exists(const char* name) { return standin::Exists(name); }
using standin::ReadWhole;
using standin::U16;
using standin::U32;

struct Entry {
  std::string Name;
  uint32_t Flags = 0, HostOS = 0, Crc = 0, Time = 0, Version = 0, Method = 0, Attr = 0;
  uint64_t Packed = 0, Size = 0;
  size_t DataAt = 0;
};

struct Archive {
  std::string Volume;  // the name of the volume being read
  std::string Bytes;
  size_t Pos = 0;
  bool VolumeSet = false, NewNaming = false;
  Callback Cb = nullptr;
  LPARAM User = 0;
  ChangeVolProc VolProc = nullptr;
  ProcessDataProc DataProc = nullptr;
  bool HavePassword = false;
  std::string Password;
  bool HaveEntry = false;
  Entry Cur;
};

// The name of the volume after name.
std::string NextVolumeName(const std::string& name, bool newNaming) {
  std::string n = name;
  size_t dot = n.find_last_of('.');
  if (dot == std::string::npos) return n + ".r00";
  if (newNaming) {
    // "x.part1.rar" -> "x.part2.rar": the digits before the extension count up.
    size_t end = dot;
    size_t start = end;
    while (start > 0 && n[start - 1] >= '0' && n[start - 1] <= '9') --start;
    if (start == end) return n;
    size_t i = end;
    while (i > start) {
      --i;
      if (n[i] < '9') {
        ++n[i];
        return n;
      }
      n[i] = '0';
    }
    n.insert(start, "1");
    return n;
  }
  std::string ext = n.substr(dot + 1);
  if (_stricmp(ext.c_str(), "rar") == 0) return n.substr(0, dot) + ".r00";
  if (ext.size() == 3 && ext[1] >= '0' && ext[1] <= '9' && ext[2] >= '0' && ext[2] <= '9') {
    int v = (ext[1] - '0') * 10 + (ext[2] - '0') + 1;
    if (v > 99) return n;
    n[dot + 2] = static_cast<char>('0' + v / 10);
    n[dot + 3] = static_cast<char>('0' + v % 10);
  }
  return n;
}

// Loads a volume and reads its marker and main header. 0, or a result value.
int LoadVolume(Archive& a, const std::string& name) {
  std::string bytes;
  if (!ReadWhole(name, bytes)) return kOpenError;
  if (bytes.size() < 7 || bytes.compare(0, 7, std::string("Rar!\x1A\x07\x00", 7)) != 0) return kBadArchive;
  size_t p = 7;
  if (p + 13 > bytes.size() || static_cast<unsigned char>(bytes[p + 2]) != 0x73) return kBadArchive;
  const uint32_t size = U16(bytes, p + 5);
  if (size < 13 || p + size > bytes.size()) return kBadArchive;
  if ((Crc32(bytes.data() + p + 2, size - 2) & 0xFFFF) != U16(bytes, p)) return kBadArchive;
  const uint32_t flags = U16(bytes, p + 3);
  a.VolumeSet = (flags & 0x0001) != 0;
  a.NewNaming = (flags & 0x0010) != 0;
  a.Volume = name;
  a.Bytes.swap(bytes);
  a.Pos = p + size;
  return 0;
}

// Moves to the next volume, asking through the callback. 0, or a result value.
int ChangeVolume(Archive& a) {
  char buf[kVolumeNameBuffer] = {};
  std::string next = NextVolumeName(a.Volume, a.NewNaming);
  if (_stricmp(next.c_str(), a.Volume.c_str()) == 0) return kOpenError;  // a name that does not count
  lstrcpynA(buf, next.c_str(), sizeof buf);
  for (int asks = 0;; ++asks) {
    const bool exists = Exists(buf);
    if (!exists && asks >= 3) return kOpenError;
    if (a.Cb) {
      const LPARAM kind = exists ? kVolumeNotify : kVolumeAsk;
      const std::string asked = buf;
      const int r = a.Cb(kMsgChangeVolume, a.User, reinterpret_cast<LPARAM>(buf), kind);
      Log(std::string("volume ") + (exists ? "notify " : "ask ") + asked + " -> " + std::to_string(r));
      if (r == -1) return kOpenError;
    } else if (!exists) {
      return kOpenError;
    }
    buf[sizeof buf - 1] = 0;
    if (exists || Exists(buf)) break;
  }
  return LoadVolume(a, buf);
}

// Reads the next file header, passing over other blocks, continued parts and volume ends.
int NextHeader(Archive& a, Entry& e) {
  for (;;) {
    if (a.Pos == a.Bytes.size()) return kEndArchive;
    if (a.Pos + 7 > a.Bytes.size()) return kBadData;
    const size_t p = a.Pos;
    const uint32_t type = static_cast<unsigned char>(a.Bytes[p + 2]);
    const uint32_t flags = U16(a.Bytes, p + 3);
    const uint32_t size = U16(a.Bytes, p + 5);
    if (size < 7 || p + size > a.Bytes.size()) return kBadData;
    if ((Crc32(a.Bytes.data() + p + 2, size - 2) & 0xFFFF) != U16(a.Bytes, p)) return kBadData;
    uint64_t add = 0;
    if ((flags & 0x8000) && size >= 11) add = U32(a.Bytes, p + 7);
    if (type == 0x7B) {
      if (a.VolumeSet && (flags & 0x0001)) {
        const int r = ChangeVolume(a);
        if (r != 0) return r;
        continue;
      }
      return kEndArchive;
    }
    if (type == 0x74) {
      if (size < 32) return kBadData;
      e = Entry{};
      e.Flags = flags;
      e.Packed = U32(a.Bytes, p + 7);
      e.Size = U32(a.Bytes, p + 11);
      e.HostOS = static_cast<unsigned char>(a.Bytes[p + 15]);
      e.Crc = U32(a.Bytes, p + 16);
      e.Time = U32(a.Bytes, p + 20);
      e.Version = static_cast<unsigned char>(a.Bytes[p + 24]);
      e.Method = static_cast<unsigned char>(a.Bytes[p + 25]);
      const uint32_t nameSize = U16(a.Bytes, p + 26);
      e.Attr = U32(a.Bytes, p + 28);
      size_t nameAt = p + 32;
      if (flags & 0x0100) {
        if (size < 40) return kBadData;
        e.Packed |= static_cast<uint64_t>(U32(a.Bytes, p + 32)) << 32;
        e.Size |= static_cast<uint64_t>(U32(a.Bytes, p + 36)) << 32;
        nameAt = p + 40;
      }
      if (nameAt + nameSize > p + size) return kBadData;
      e.Name = a.Bytes.substr(nameAt, nameSize);
      e.Name = e.Name.substr(0, std::strlen(e.Name.c_str()));  // a Unicode form follows a zero
      e.DataAt = p + size;
      if (e.Packed > a.Bytes.size() - e.DataAt) return kBadData;
      a.Pos = e.DataAt + static_cast<size_t>(e.Packed);
      if (flags & 0x0001) continue;  // the rest of an entry begun in an earlier volume
      return 0;
    }
    if (add > a.Bytes.size() - p - size) return kBadData;
    a.Pos = p + size + static_cast<size_t>(add);
  }
}

int Deliver(Archive& a, std::string& chunk) {
  int r = 1;
  if (a.Cb) {
    r = a.Cb(kMsgProcessData, a.User, reinterpret_cast<LPARAM>(chunk.data()), static_cast<LPARAM>(chunk.size()));
    Log("data " + std::to_string(chunk.size()) + " -> " + std::to_string(r));
  }
  if (r != -1 && a.DataProc) r = a.DataProc(reinterpret_cast<unsigned char*>(chunk.data()), static_cast<int>(chunk.size()));
  return r == -1 ? -1 : 1;
}

// Runs the current entry's data through, part after part. deliver: hand the data to the
// callback; out: also write it there. 0, or a result value.
int Consume(Archive& a, bool deliver, HANDLE out, bool scramble) {
  Entry e = a.Cur;
  uint32_t whole = 0;  // the last piece's CRC is the whole file's, every other piece's its own
  for (;;) {
    uint32_t crc = 0;
    for (uint64_t done = 0; done < e.Packed;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(g.Chunk, e.Packed - done));
      std::string chunk = a.Bytes.substr(e.DataAt + static_cast<size_t>(done), n);
      crc = Crc32(chunk.data(), chunk.size(), crc);
      whole = Crc32(chunk.data(), chunk.size(), whole);
      if (scramble)
        for (char& c : chunk) c = static_cast<char>(c ^ 0x5A);
      done += n;
      if (deliver && Deliver(a, chunk) == -1) return kUnknown;
      if (out != INVALID_HANDLE_VALUE) {
        DWORD w = 0;
        if (!WriteFile(out, chunk.data(), static_cast<DWORD>(n), &w, nullptr) || w != n) return kWriteError;
      }
    }
    if (!scramble && ((e.Flags & kFlagSplitAfter) ? crc : whole) != e.Crc) return kBadData;
    if (!(e.Flags & kFlagSplitAfter)) return scramble ? kBadData : 0;
    // The entry goes on in the next volume: its header there is marked as continued.
    const int r = ChangeVolume(a);
    if (r != 0) return r;
    if (a.Pos + 7 > a.Bytes.size() || static_cast<unsigned char>(a.Bytes[a.Pos + 2]) != 0x74) return kBadData;
    const size_t p = a.Pos;
    const uint32_t size = U16(a.Bytes, p + 5);
    if (size < 32 || p + size > a.Bytes.size()) return kBadData;
    if ((Crc32(a.Bytes.data() + p + 2, size - 2) & 0xFFFF) != U16(a.Bytes, p)) return kBadData;
    e.Flags = U16(a.Bytes, p + 3);
    if (!(e.Flags & kFlagSplitBefore)) return kBadData;
    e.Packed = U32(a.Bytes, p + 7);
    e.Crc = U32(a.Bytes, p + 16);
    e.DataAt = p + size;
    if (e.Packed > a.Bytes.size() - e.DataAt) return kBadData;
    a.Pos = e.DataAt + static_cast<size_t>(e.Packed);
  }
}

}  // namespace

extern "C" {

void WINAPI StandInSetup(const char* config) {
  g = Config{};
  gHeaderCalls = gProcessCalls = 0;
  gLog.clear();
  for (const auto& [key, value] : standin::Settings(config)) {
    const size_t colon = value.find(':');
    const int first = std::atoi(value.c_str());
    const int second = colon == std::string::npos ? 0 : std::atoi(value.c_str() + colon + 1);
    if (key == "open") g.OpenResult = first;
    if (key == "header") g.HeaderCall = first, g.HeaderResult = second;
    if (key == "process") g.ProcessCall = first, g.ProcessResult = second;
    if (key == "close") g.CloseResult = first;
    if (key == "password") g.Password = value;
    if (key == "chunk" && first > 0) g.Chunk = static_cast<size_t>(first);
  }
}

const char* WINAPI StandInLog() {
  gLogCopy = gLog;
  return gLogCopy.c_str();
}

HANDLE WINAPI RAROpenArchive(OpenArchiveData* d) {
  if (!d) return nullptr;
  Log("RAROpenArchive " + std::string(d->ArcName ? d->ArcName : "") + " mode=" + std::to_string(d->OpenMode) +
      " comment=" + std::to_string(d->CmtBufSize));
  d->CmtSize = 0;
  d->CmtState = 0;
  if (g.OpenResult != 0) {
    d->OpenResult = static_cast<UINT>(g.OpenResult);
    return nullptr;
  }
  auto* a = new Archive;
  const int r = d->ArcName ? LoadVolume(*a, d->ArcName) : kOpenError;
  d->OpenResult = static_cast<UINT>(r);
  if (r != 0) {
    delete a;
    return nullptr;
  }
  return a;
}

int WINAPI RARCloseArchive(HANDLE h) {
  Log("RARCloseArchive");
  delete static_cast<Archive*>(h);
  return g.CloseResult;
}

int WINAPI RARReadHeader(HANDLE h, HeaderData* d) {
  auto* a = static_cast<Archive*>(h);
  if (!a || !d) return kBadArchive;
  ++gHeaderCalls;
  int r = 0;
  if (a->HaveEntry) {
    // The previous entry was not processed: pass over its data.
    a->HaveEntry = false;
    if (a->Cur.Flags & kFlagSplitAfter) r = Consume(*a, false, INVALID_HANDLE_VALUE, false);
  }
  if (r == 0) r = NextHeader(*a, a->Cur);
  if (gHeaderCalls == g.HeaderCall) r = g.HeaderResult;
  Log("RARReadHeader " + (r == 0 ? a->Cur.Name : std::string()) + " -> " + std::to_string(r));
  if (r != 0) return r;
  a->HaveEntry = true;
  std::memset(d->ArcName, 0, sizeof d->ArcName);
  std::memset(d->FileName, 0, sizeof d->FileName);
  lstrcpynA(d->ArcName, a->Volume.c_str(), sizeof d->ArcName);
  lstrcpynA(d->FileName, a->Cur.Name.c_str(), sizeof d->FileName);
  d->Flags = a->Cur.Flags;
  d->PackSize = static_cast<UINT>(a->Cur.Packed);
  d->UnpSize = static_cast<UINT>(a->Cur.Size);
  d->HostOS = a->Cur.HostOS;
  d->FileCRC = a->Cur.Crc;
  d->FileTime = a->Cur.Time;
  d->UnpVer = a->Cur.Version;
  d->Method = a->Cur.Method;
  d->FileAttr = a->Cur.Attr;
  d->CmtSize = 0;
  d->CmtState = 0;
  return 0;
}

// The program reads headers with RARReadHeader only; the wide form is present because a
// library must offer it, and answers that it cannot serve.
int WINAPI RARReadHeaderEx(HANDLE, void*) {
  Log("RARReadHeaderEx");
  return kUnknown;
}

int WINAPI RARProcessFile(HANDLE h, int operation, char* destPath, char* destName) {
  auto* a = static_cast<Archive*>(h);
  if (!a) return kBadArchive;
  ++gProcessCalls;
  std::string line = "RARProcessFile " + (a->HaveEntry ? a->Cur.Name : std::string()) + " op=" +
                     std::to_string(operation) + (destPath || destName ? " dest" : "");
  auto done = [&](int r) {
    Log(line + " -> " + std::to_string(r));
    return r;
  };
  if (!a->HaveEntry) return done(kBadArchive);
  a->HaveEntry = false;
  const Entry& e = a->Cur;
  if (e.Method != 0x30 && !(e.Attr & kAttrFolder)) return done(kUnknownFormat);
  const bool solid = (e.Flags & kFlagSolid) != 0;
  const bool work = operation != kSkip || solid;
  bool scramble = false;
  if (work && (e.Flags & kFlagEncrypted)) {
    if (!a->HavePassword && a->Cb) {
      char buf[128] = {};
      const int r = a->Cb(kMsgNeedPassword, a->User, reinterpret_cast<LPARAM>(buf), sizeof buf);
      Log("password -> " + std::to_string(r));
      buf[sizeof buf - 1] = 0;
      if (r != -1 && buf[0]) {
        a->Password = buf;
        a->HavePassword = true;
      }
    }
    if (!a->HavePassword) return done(kMissingPassword);
    scramble = !g.Password.empty() && a->Password != g.Password;
  }
  HANDLE out = INVALID_HANDLE_VALUE;
  if (operation == kExtract && !(e.Attr & kAttrFolder)) {
    std::string target = destName ? std::string(destName) : std::string(destPath ? destPath : "") + "\\" + e.Name;
    out = CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return done(kCreateError);
  }
  int r = Consume(*a, work, out, scramble);
  if (out != INVALID_HANDLE_VALUE && !CloseHandle(out) && r == 0) r = kCloseError;
  if (gProcessCalls == g.ProcessCall) r = g.ProcessResult;
  return done(r);
}

void WINAPI RARSetPassword(HANDLE h, char* password) {
  auto* a = static_cast<Archive*>(h);
  Log(std::string("RARSetPassword ") + (password ? password : ""));
  if (!a) return;
  a->Password = password ? password : "";
  a->HavePassword = true;
}

void WINAPI RARSetChangeVolProc(HANDLE h, ChangeVolProc proc) {
  if (auto* a = static_cast<Archive*>(h)) a->VolProc = proc;
}

void WINAPI RARSetProcessDataProc(HANDLE h, ProcessDataProc proc) {
  if (auto* a = static_cast<Archive*>(h)) a->DataProc = proc;
}

void WINAPI RARSetCallback(HANDLE h, Callback callback, LPARAM user) {
  Log("RARSetCallback");
  if (auto* a = static_cast<Archive*>(h)) {
    a->Cb = callback;
    a->User = user;
  }
}

}  // extern "C"
