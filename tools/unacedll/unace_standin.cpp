// A stand-in for the ACE extraction library, for the tests of the program's ACE driver. It reads
// ACE archives whose entries are stored (technical type 0), single or in volumes (".ace",
// ".c00", ".c01", ...), and answers the library's calls through the library's callbacks.
//
// Layout it reads (every header: CRC16(2) size(2) then size bytes from the type on; the CRC16
// is the low word of the CRC-32 register, not inverted, over those bytes):
//   main   type=0 flags(2: 0800 volumes, 8000 solid) "**ACE**" versions(2) host(1) volume(1)
//          time(4) reserved(8) ...
//   file   type=1 flags(2: 0001 packed size, 1000 continued, 2000 continues, 4000 password,
//          8000 solid) packed(4) size(4) dosTime(4) attributes(4) CRC32(4) technical(4)
//          reserved(2) nameSize(2) name, then the data (CRC32: the whole file's, checked at
//          its last piece)
//
// Differences from a real library the tests rely on:
// - Encrypted entries are stored unciphered; the password given is checked against the one set
//   by StandInSetup ("password=...") and a wrong one writes scrambled bytes and then reports a
//   checksum error, as a wrong key does.
// - StandInSetup(config) resets the call log and sets faults, ';' separated:
//     init=N         ACEInitDll answers N
//     result=N       ACEExtract answers N at its end (when it ran to the end)
//     error=K:C:I    before the I-th file (from 0) the error callback gets kind K, code C;
//                    "cancel" ends the run (255), anything else skips that file
//     password=P     the password of encrypted entries
//     chunk=N        bytes per progress report (default 65536)
//   StandInLog() returns the calls and callbacks made since, one per line.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../common/StandInIo.h"
#include "archive/layer/UnAceApi.h"

using namespace unaceapi;

namespace {

struct Config {
  int InitResult = 0;
  int ExtractResult = 0;
  ULONG ErrorKind = 0, ErrorCode = 0;
  int ErrorFile = -1;
  std::string Password;
  size_t Chunk = 65536;
};
Config g;
std::string gLog, gLogCopy;
bool gInitialised = false;
GlobalData gGlobal{};
char gPassword[kPasswordBuffer];

void Log(const std::string& line) { gLog += line + "\n"; }

using standin::Exists;
using standin::ReadWhole;
using standin::U16;
using standin::U32;
uint32_t Crc32Raw(const char* p, size_t n, uint32_t c = 0xFFFFFFFF) { return standin::Crc32Register(p, n, c); }

// "*" any run, "?" one character, letter case ignored.
bool Match(const char* p, const char* s) {
  if (!*p) return !*s;
  if (*p == '*') return Match(p + 1, s) || (*s && Match(p, s + 1));
  if (!*s) return false;
  if (*p != '?' && std::toupper(static_cast<unsigned char>(*p)) != std::toupper(static_cast<unsigned char>(*s)))
    return false;
  return Match(p + 1, s + 1);
}

bool Selected(const std::string& list, const std::string& name) {
  if (list.empty()) return true;
  size_t i = 0;
  while (i <= list.size()) {
    size_t j = list.find('\r', i);
    if (j == std::string::npos) j = list.size();
    const std::string pattern = list.substr(i, j - i);
    if (!pattern.empty() && Match(pattern.c_str(), name.c_str())) return true;
    i = j + 1;
  }
  return false;
}

std::string FolderOf(const std::string& path) {
  const size_t p = path.find_last_of("\\/");
  return p == std::string::npos ? std::string() : path.substr(0, p);
}
std::string FilePartOf(const std::string& path) {
  const size_t p = path.find_last_of("\\/");
  return p == std::string::npos ? path : path.substr(p + 1);
}
void MakeFolders(const std::string& folder) {
  if (folder.empty() || Exists(folder)) return;
  MakeFolders(FolderOf(folder));
  CreateDirectoryA(folder.c_str(), nullptr);
}

std::string NextVolumeName(const std::string& name) {
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || name.size() - dot != 4) return name;
  std::string n = name;
  if (_stricmp(n.c_str() + dot, ".ace") == 0) return n.substr(0, dot) + ".c00";
  const int v = (n[dot + 2] - '0') * 10 + (n[dot + 3] - '0') + 1;
  if (v > 99 || n[dot + 2] < '0' || n[dot + 2] > '9') return name;
  n[dot + 2] = static_cast<char>('0' + v / 10);
  n[dot + 3] = static_cast<char>('0' + v % 10);
  return n;
}

struct Header {
  uint32_t Flags = 0, Packed = 0, Size = 0, Time = 0, Attr = 0, Crc = 0, Tech = 0;
  std::string Name;
  size_t DataAt = 0, Next = 0;
};

class Run {
 public:
  Run(const std::string& archive, ULONG op, const std::string& list, const std::string& dest, bool noPath,
      const std::string& password)
      : FOp(op), FList(list), FDest(dest), FNoPath(noPath), FPassword(password) {
    std::memset(FArcName, 0, sizeof FArcName);
    lstrcpynA(FArcName, archive.c_str(), sizeof FArcName);
    std::memset(&FArchive, 0, sizeof FArchive);
    FArchive.ArchiveName = FArcName;
  }

  int Go() {
    Call(gGlobal.InfoCallback, kKindGlobal, 256, nullptr, nullptr, "info");
    if (!Load(FArcName)) return ArchiveError(FBytes.empty() ? kErrOpen : kErrBroken, kResultOpen);
    if (Archive(gGlobal.StateCallback, kStateArchiveBegin, "state") == kAnswerCancel) return kResultUserAbort;
    int fileIndex = 0;
    for (;;) {
      Header h;
      const int r = NextHeader(h);
      if (r == 1) break;
      if (r < 0) return ArchiveError(r == -1 ? kErrBroken : kErrRead, kResultRead);
      if (h.Flags & 0x1000) {
        FPos = h.Next;  // the rest of an entry begun in an earlier volume
        continue;
      }
      const int res = File(h, fileIndex++);
      if (res >= 0) return res;
    }
    return g.ExtractResult;
  }

 private:
  int Call(Callback cb, ULONG kind, ULONG code, FileData* file, ProgressData* progress, const char* what) {
    if (!cb) return kAnswerOk;
    CallbackInfo info{};
    info.Progress.StructureType = kind;
    info.Progress.Code = code;
    if (kind == kKindGlobal) {
      info.Global.Global = &gGlobal;
    } else {
      info.Progress.Operation = FOp;
      info.Progress.Global = &gGlobal;
      info.Progress.Archive = &FArchive;
      info.Progress.File = file;
      info.Progress.Progress = progress;
    }
    const int r = cb(&info);
    std::string line = std::string(what) + " " + std::to_string(kind) + ":" + std::to_string(code);
    if (kind != kKindGlobal && kind != kKindProgress) line += " op=" + std::to_string(FOp);
    if (file) line += std::string(" ") + file->SourceFileName;
    if (kind == kKindArchive && code == kReqNextVolume) line += std::string(" ") + FArcName;
    if (!(kind == kKindProgress)) Log(line + " -> " + std::to_string(r));
    return r;
  }
  int Archive(Callback cb, ULONG code, const char* what) { return Call(cb, kKindArchive, code, nullptr, nullptr, what); }
  int ArchiveError(ULONG code, int result) {
    Archive(gGlobal.ErrorCallback, code, "error");
    return result;
  }

  bool Load(const std::string& name) {
    FBytes.clear();
    if (!ReadWhole(name, FBytes)) return false;
    if (FBytes.size() < 14 || FBytes.compare(7, 7, "**ACE**") != 0 || FBytes[4] != 0) return false;
    const uint32_t size = U16(FBytes, 2);
    if (4 + size > FBytes.size() || size < 10) return false;
    if ((Crc32Raw(FBytes.data() + 4, size) & 0xFFFF) != U16(FBytes, 0)) return false;
    FArchive.Flags = U16(FBytes, 5);
    FArchive.VolumeNumber = size > 14 ? static_cast<unsigned char>(FBytes[17]) : 0;
    FPos = 4 + size;
    return true;
  }

  // 0: a file header; 1: the end; -1: a damaged header; -2: data cut short.
  int NextHeader(Header& h) {
    for (;;) {
      if (FPos == FBytes.size()) return 1;
      if (FPos + 4 > FBytes.size()) return -1;
      const uint32_t size = U16(FBytes, FPos + 2);
      if (size < 3 || FPos + 4 + size > FBytes.size()) return -1;
      if ((Crc32Raw(FBytes.data() + FPos + 4, size) & 0xFFFF) != U16(FBytes, FPos)) return -1;
      const size_t b = FPos + 4;
      const uint32_t type = static_cast<unsigned char>(FBytes[b]);
      h.Flags = U16(FBytes, b + 1);
      if (type != 1) {
        uint64_t add = (h.Flags & 1) && size >= 7 ? U32(FBytes, b + 3) : 0;
        if (add > FBytes.size() - b - size) return -2;
        FPos = b + size + static_cast<size_t>(add);
        continue;
      }
      if (size < 31) return -1;
      h.Packed = U32(FBytes, b + 3);
      h.Size = U32(FBytes, b + 7);
      h.Time = U32(FBytes, b + 11);
      h.Attr = U32(FBytes, b + 15);
      h.Crc = U32(FBytes, b + 19);
      h.Tech = U32(FBytes, b + 23);
      const uint32_t nameSize = U16(FBytes, b + 29);
      if (31 + nameSize > size) return -1;
      h.Name = FBytes.substr(b + 31, nameSize);
      h.DataAt = b + size;
      if (!(h.Flags & 1)) h.Packed = 0;
      if (h.Packed > FBytes.size() - h.DataAt) return -2;
      h.Next = h.DataAt + h.Packed;
      return 0;
    }
  }

  // Moves to the volume after the current one for the rest of h. 0, or a result.
  int NextVolume(Header& h) {
    lstrcpynA(FArcName, NextVolumeName(FArcName).c_str(), sizeof FArcName);
    if (Archive(gGlobal.RequestCallback, kReqNextVolume, "request") == kAnswerCancel) return kResultUserAbort;
    FArcName[sizeof FArcName - 1] = 0;
    if (!Load(FArcName)) return ArchiveError(kErrOpen, kResultOpen);
    Header next;
    if (NextHeader(next) != 0 || !(next.Flags & 0x1000)) return ArchiveError(kErrBroken, kResultRead);
    h.Flags = next.Flags;
    h.Packed = next.Packed;
    h.Crc = next.Crc;
    h.DataAt = next.DataAt;
    h.Next = next.Next;
    return 0;
  }

  // One entry: -1 to go on, or the run's result.
  int File(Header h, int index) {
    const bool selected = Selected(FList, h.Name);
    const bool solid = (h.Flags & 0x8000) || (FArchive.Flags & 0x8000);
    FileData fd{};
    std::string source = h.Name;
    char dest[kNameBuffer] = {};
    std::string outPath = FDest + "\\" + (FNoPath ? FilePartOf(h.Name) : h.Name);
    lstrcpynA(dest, FilePartOf(outPath).c_str(), sizeof dest);
    fd.SourceFileName = source.data();
    fd.DestinationFileName = dest;
    fd.Flags = h.Flags;
    fd.CRC32 = h.Crc;
    fd.CompressedSize = h.Packed;
    fd.Size = h.Size;
    fd.Time = h.Time;
    fd.Attributes = h.Attr;

    if (index == g.ErrorFile) {
      const int r = g.ErrorKind == kKindArchivedFile
                        ? Call(gGlobal.ErrorCallback, kKindArchivedFile, g.ErrorCode, &fd, nullptr, "error")
                        : Call(gGlobal.ErrorCallback, g.ErrorKind, g.ErrorCode, nullptr, nullptr, "error");
      if (r == kAnswerCancel) return kResultUserAbort;
      return Pass(h);
    }
    if (!selected && !solid) return Pass(h);
    const ULONG saved = FOp;
    const bool extracting = FOp == kOpExtract && selected;
    if (!selected) FOp = kOpAnalyse;
    const int begin = Call(gGlobal.StateCallback, kKindArchivedFile, kStateFileBegin, &fd, nullptr, "state");
    FOp = saved;
    if (begin == kAnswerCancel) return kResultUserAbort;
    if (begin == kAnswerSkip || (h.Attr & 0x10)) {
      if (begin != kAnswerSkip && extracting && !FNoPath) MakeFolders(outPath);
      return Pass(h);
    }
    dest[sizeof dest - 1] = 0;
    outPath = FolderOf(outPath) + "\\" + FilePartOf(dest);

    bool scramble = false;
    if ((h.Flags & 0x4000) && (extracting || FOp == kOpTest || solid)) {
      std::string pw = FPassword;
      if (pw.empty()) {
        std::memset(gPassword, 0, sizeof gPassword);
        const int r = Call(gGlobal.RequestCallback, kKindArchivedFile, kReqPassword, &fd, nullptr, "request");
        if (r == kAnswerCancel) return kResultUserAbort;
        gPassword[sizeof gPassword - 1] = 0;
        pw = gPassword;
        Log("password " + pw);
        if (!pw.empty()) FPassword = pw;
      }
      if (pw.empty()) return Pass(h);
      scramble = !g.Password.empty() && pw != g.Password;
    }

    HANDLE out = INVALID_HANDLE_VALUE;
    if (extracting) {
      if (Exists(outPath)) {
        const int r = Call(gGlobal.RequestCallback, kKindArchivedFile, kReqOverwrite, &fd, nullptr, "request");
        if (r == kAnswerCancel) return kResultUserAbort;
        if (r == kAnswerSkip) return Pass(h);
      }
      MakeFolders(FolderOf(outPath));
      out = CreateFileA(outPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (out == INVALID_HANDLE_VALUE) {
        if (Call(gGlobal.ErrorCallback, kKindArchivedFile, kErrCreate, &fd, nullptr, "error") == kAnswerCancel)
          return kResultUserAbort;
        return Pass(h);
      }
    }
    uint32_t crc = 0xFFFFFFFF;
    ULONGLONG done = 0;
    for (;;) {
      for (uint32_t at = 0; at < h.Packed;) {
        const uint32_t n = static_cast<uint32_t>(std::min<size_t>(g.Chunk, h.Packed - at));
        std::string chunk = FBytes.substr(h.DataAt + at, n);
        crc = Crc32Raw(chunk.data(), n, crc);
        if (scramble)
          for (char& c : chunk) c = static_cast<char>(c ^ 0x5A);
        if (out != INVALID_HANDLE_VALUE) {
          DWORD w = 0;
          if (!WriteFile(out, chunk.data(), n, &w, nullptr) || w != n) {
            CloseHandle(out);
            if (Call(gGlobal.ErrorCallback, kKindArchivedFile, kErrWrite, &fd, nullptr, "error") == kAnswerCancel)
              return kResultUserAbort;
            return Pass(h);
          }
        }
        at += n;
        done += n;
        ProgressData pd{};
        pd.Addr = chunk.data();
        pd.Size = n;
        pd.FileProcessedSize = done;
        pd.FileSize = h.Size;
        pd.FileCompressedSize = h.Size;
        const ULONG saved2 = FOp;
        if (!selected) FOp = kOpAnalyse;
        const int r = Call(gGlobal.StateCallback, kKindProgress, kStateProgress, &fd, &pd, "state");
        FOp = saved2;
        if (r == kAnswerCancel) {
          if (out != INVALID_HANDLE_VALUE) CloseHandle(out);  // left as it is: the caller tidies
          return kResultUserAbort;
        }
      }
      FPos = h.Next;
      if (!(h.Flags & 0x2000)) break;
      const int r = NextVolume(h);
      if (r != 0) {
        if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
        return r;
      }
    }
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    if (scramble || ~crc != h.Crc) {
      if (Archive(gGlobal.ErrorCallback, kErrCrc, "error") == kAnswerCancel) return kResultUserAbort;
    }
    return -1;
  }

  // Passes over an entry's data, through its volumes. -1 to go on, or the run's result.
  int Pass(Header h) {
    for (;;) {
      FPos = h.Next;
      if (!(h.Flags & 0x2000)) return -1;
      const int r = NextVolume(h);
      if (r != 0) return r;
    }
  }

  ULONG FOp;
  std::string FList, FDest;
  bool FNoPath;
  std::string FPassword;
  char FArcName[kNameBuffer];
  ArchiveData FArchive;
  std::string FBytes;
  size_t FPos = 0;
};

std::string Text(const char* s) { return s ? s : ""; }

}  // namespace

extern "C" {

void WINAPI StandInSetup(const char* config) {
  g = Config{};
  gLog.clear();
  for (const auto& [key, value] : standin::Settings(config)) {
    if (key == "init") g.InitResult = std::atoi(value.c_str());
    if (key == "result") g.ExtractResult = std::atoi(value.c_str());
    if (key == "password") g.Password = value;
    if (key == "chunk" && std::atoi(value.c_str()) > 0) g.Chunk = static_cast<size_t>(std::atoi(value.c_str()));
    if (key == "error") {
      const size_t a = value.find(':'), b = value.find(':', a + 1);
      g.ErrorKind = static_cast<ULONG>(std::atoi(value.c_str()));
      g.ErrorCode = static_cast<ULONG>(std::atoi(value.c_str() + a + 1));
      g.ErrorFile = std::atoi(value.c_str() + b + 1);
    }
  }
}

const char* WINAPI StandInLog() {
  gLogCopy = gLog;
  return gLogCopy.c_str();
}

int WINAPI ACEInitDll(InitDllData* data) {
  if (!data) return kResultMemory;
  const GlobalData& d = data->Global;
  Log("ACEInitDll test=" + std::to_string(d.MaxArchiveTestBytes) + " buffer=" + std::to_string(d.MaxFileBufSize) +
      " comment=" + std::to_string(d.CommentBufSize) + (d.CommentBuf ? "" : " nocomment") +
      " temp=" + Text(d.TempDir) + " callbacks=" +
      std::to_string(!!d.InfoCallback + !!d.ErrorCallback + !!d.RequestCallback + !!d.StateCallback));
  if (g.InitResult != 0) return g.InitResult;
  gGlobal = d;
  std::memset(gPassword, 0, sizeof gPassword);
  gGlobal.DecryptPassword = gPassword;
  gInitialised = true;
  return kResultOk;
}

int WINAPI ACEReadArchiveData(char* archiveName, ReadArchiveDataData* data) {
  Log("ACEReadArchiveData " + Text(archiveName));
  std::string bytes;
  if (!data || !data->Archive || !archiveName || !ReadWhole(archiveName, bytes)) return kResultOpen;
  if (bytes.size() < 18 || bytes.compare(7, 7, "**ACE**") != 0) return kResultRead;
  data->Archive->Flags = U16(bytes, 5);
  data->Archive->VolumeNumber = static_cast<unsigned char>(bytes[17]);
  return kResultOk;
}

int WINAPI ACEList(char* archiveName, ListData* data) {
  Log("ACEList " + Text(archiveName));
  if (!gInitialised || !data || !archiveName) return kResultMemory;
  return Run(archiveName, kOpList, Text(data->Files.FileList), "", true, "").Go();
}

int WINAPI ACETest(char* archiveName, TestData* data) {
  Log("ACETest " + Text(archiveName));
  if (!gInitialised || !data || !archiveName) return kResultMemory;
  return Run(archiveName, kOpTest, Text(data->Files.FileList), "", true, Text(data->DecryptPassword)).Go();
}

int WINAPI ACEExtract(char* archiveName, ExtractData* data) {
  if (!data || !archiveName) return kResultMemory;
  std::string list = Text(data->Files.FileList);
  std::replace(list.begin(), list.end(), '\r', '|');
  Log("ACEExtract " + Text(archiveName) + " source=" + Text(data->Files.SourceDir) + " list=" + list +
      " exclude=" + Text(data->Files.ExcludeList) + " full=" + std::to_string(data->Files.FullMatch) +
      " dest=" + Text(data->DestinationDir) + " nopath=" + std::to_string(data->ExcludePath) +
      " password=" + Text(data->DecryptPassword));
  if (!gInitialised) return kResultMemory;
  std::string dest = Text(data->DestinationDir);
  while (!dest.empty() && (dest.back() == '\\' || dest.back() == '/')) dest.pop_back();
  const int r = Run(archiveName, kOpExtract, Text(data->Files.FileList), dest, data->ExcludePath != 0,
                    Text(data->DecryptPassword))
                    .Go();
  Log("ACEExtract -> " + std::to_string(r));
  return r;
}

}  // extern "C"
