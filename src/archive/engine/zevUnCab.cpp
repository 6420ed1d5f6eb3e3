#include "archive/engine/zevUnCab.h"

#include <cstring>
#include <set>

#include "foundation/TextCodec.h"

namespace {
// The one CAB reader running: FDI's file callbacks carry no context of their own.
TUnCab* gReader = nullptr;
TStreamCabinetFileHandler* gHandler = nullptr;
// The handle given to the library for an entry's output: the reader's output routine takes
// what the library writes to it.
constexpr INT_PTR kOutputHandle = 0x7FFF0001;

std::wstring Upper(std::wstring s) {
  for (auto& c : s)
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
  return s;
}
}  // namespace

struct TUnCabCallbacks {
  static void* DIAMONDAPI Alloc(ULONG cb) { return std::malloc(cb ? cb : 1); }
  static void DIAMONDAPI Free(void* p) { std::free(p); }
  static INT_PTR DIAMONDAPI Open(char* name, int flags, int) {
    int err = 0;
    return gHandler ? gHandler->Open(name, flags, err) : -1;
  }
  static UINT DIAMONDAPI Read(INT_PTR hf, void* p, UINT cb) {
    int err = 0;
    return gHandler ? gHandler->Read(hf, p, cb, err) : static_cast<UINT>(-1);
  }
  static UINT DIAMONDAPI Write(INT_PTR hf, void* p, UINT cb) {
    if (hf == kOutputHandle || (gHandler && !gHandler->IsOpen(hf))) {
      if (!gReader) return static_cast<UINT>(-1);
      TUnCab& r = *gReader;
      r.FFileLeft -= cb;
      r.BytesLeft -= cb;
      if (r.BytesLeft < 0) r.BytesLeft = 0;
      r.DoProgress(static_cast<double>(r.FFileSize - r.FFileLeft), static_cast<double>(r.FFileSize), r.BytesLeft,
                   r.BytesTotal);
      try {
        return static_cast<UINT>(r.WriteBuf(r.FOut.get(), p, true, static_cast<int32_t>(cb), 32));
      } catch (...) {
        r.SetCancel(true);
        return static_cast<UINT>(-1);
      }
    }
    int err = 0;
    return gHandler ? gHandler->Write(hf, p, cb, err) : static_cast<UINT>(-1);
  }
  static int DIAMONDAPI Close(INT_PTR hf) {
    int err = 0;
    return gHandler && hf != kOutputHandle ? gHandler->Close(hf, err) : 0;
  }
  static long DIAMONDAPI Seek(INT_PTR hf, long dist, int type) {
    int err = 0;
    return gHandler ? gHandler->Seek(hf, dist, type, err) : -1;
  }
  static INT_PTR DIAMONDAPI NotifyCount(FDINOTIFICATIONTYPE kind, PFDINOTIFICATION n) {
    return gReader ? gReader->Notify(kind, n, true) : -1;
  }
  static INT_PTR DIAMONDAPI NotifyExtract(FDINOTIFICATIONTYPE kind, PFDINOTIFICATION n) {
    return gReader ? gReader->Notify(kind, n, false) : -1;
  }
};

TUnCab::TUnCab(TComponent* owner) : TUnCABInterface(owner) { FArcType = atCab; }

TUnCab::~TUnCab() {
  if (FContext && CabinetLib().FdiLoaded) CabinetLib().FDIDestroy(FContext);
}

bool TUnCab::IsCabinet(const std::wstring& name) {
  TCabinetLib& lib = CabinetLib();
  if (!lib.FdiLoaded) return false;
  TStreamCabinetFileHandler* old = gHandler;
  gHandler = &FHandler;
  struct TRestore {
    TStreamCabinetFileHandler* H;
    ~TRestore() { gHandler = H; }
  } restore{old};
  if (!FContext)
    FContext = lib.FDICreate(TUnCabCallbacks::Alloc, TUnCabCallbacks::Free, TUnCabCallbacks::Open,
                             TUnCabCallbacks::Read, TUnCabCallbacks::Write, TUnCabCallbacks::Close,
                             TUnCabCallbacks::Seek, CpuType == cptAuto ? cpuUNKNOWN : static_cast<int>(CpuType) - 1,
                             &FErf);
  if (!FContext) return false;
  int err = 0;
  INT_PTR h = FHandler.Open(FHandler.Token(name).c_str(), 0, err);
  if (h == -1) {
    DoError(name, L"", L"0", zevOpenError);
    return false;
  }
  FDICABINETINFO info{};
  bool yes = lib.FDIIsCabinet(FContext, h, &info);
  FHandler.Close(h, err);
  return yes;
}

void TUnCab::FinishOutput(bool pass) {
  std::wstring name = FOutName;
  if (FOut || !IsWriteMode()) {
    bool written = FFileLeft == 0;
    CloseOutputFile(FOut, FAttr, FDate, name);
    if (!written && IsWriteMode()) FileSys->RemoveFile(name, doFinal);
    pass = pass && written;
  }
  if (OnEnd)
    OnEnd(this, name, pass);
  else if (!pass)
    DoError(name, L"", L"0", zevCrcError);
  FOutName.clear();
}

INT_PTR TUnCab::Notify(FDINOTIFICATIONTYPE kind, PFDINOTIFICATION n, bool counting) {
  if (GetCancel()) return -1;
  switch (kind) {
    case fdintCABINET_INFO:
      if (!counting && !FNextSeen) {
        FNextSeen = true;
        FNextName = n->psz1 && *n->psz1 ? AnsiToWide(n->psz1) : std::wstring();
      }
      return 0;
    case fdintCOPY_FILE: {
      std::string raw = n->psz1 ? n->psz1 : "";
      std::wstring stored =
          (n->attribs & _A_NAME_IS_UTF) ? SlashToBackslash(Utf8ToWide(raw)) : FixStoredName(raw, TranslateOemChar);
      if (!MatchesSpec(stored)) return 0;
      if (counting) {
        BytesTotal += n->cb;
        BytesLeft = BytesTotal;
        NoteDate(CabDosDate(n->date, n->time));
        return 0;
      }
      StoredName = stored;
      FFileSize = FFileLeft = n->cb;
      FDate = CabDosDate(n->date, n->time);
      FAttr = n->attribs & kRestorableAttrs;
      if (!SetEntryName(stored)) return 0;
      if (!DoBeginEntry(false)) {
        BytesLeft -= n->cb;
        return 0;
      }
      FOutName = EntryName;
      Crc32Register = 0xFFFFFFFF;
      if (!OpenOutput(FOut, StoredName, EntryName)) {
        SetCancel(true);
        return 0;
      }
      FAccepted = true;
      return kOutputHandle;
    }
    case fdintCLOSE_FILE_INFO:
      FinishOutput(FAccepted);
      FAccepted = false;
      return TRUE;
    case fdintNEXT_CABINET: {
      // A file goes on in the next cabinet of the set.
      std::wstring next = FCurrentFolder + AnsiToWide(n->psz1 ? n->psz1 : "");
      if (!NextVolumeFile(next, L"0")) return -1;
      std::string token = FHandler.Token(FolderOf(next));
      std::string name = StoredFormName(next.substr(FolderOf(next).size()), false);
      if (token.size() >= 256 || name.size() >= 256) return -1;
      std::strcpy(n->psz3, token.c_str());
      std::strcpy(n->psz1, name.c_str());
      FCurrentFolder = FolderOf(next);
      return 0;
    }
    default:
      return 0;
  }
}

bool TUnCab::CopyPass(const std::wstring& cabinet, bool counting) {
  std::string token = FHandler.Token(cabinet);
  FHandler.RelativeTo = FolderOf(cabinet);
  BOOL ok = CabinetLib().FDICopy(FContext, token.data(), const_cast<char*>(""), 0,
                                 counting ? TUnCabCallbacks::NotifyCount : TUnCabCallbacks::NotifyExtract, nullptr,
                                 this);
  if (FOut || !FOutName.empty()) FinishOutput(false);
  if (ok) return true;
  if (!FErf.fError) return !GetCancel();
  switch (FErf.erfOper) {
    case FDIERROR_USER_ABORT:
      return false;
    case FDIERROR_CORRUPT_CABINET:
      DoError(EntryName.empty() ? cabinet : EntryName, L"", L"0", zevCorruptInput);
      return false;
    default:
      throw ECabinetError(FErf.erfOper, FErf.erfType);
  }
}

void TUnCab::ExtractArchive(TStream32*) {
  if (!CabinetLib().FdiLoaded) RaiseError(ArchiveFile(), L"", L"0", zevCabinetNotFound);
  std::wstring cabinet = ArchiveFile();
  // A cabinet that is not there or not whole is an error, never an empty success.
  if (!FileSys->FileExists(cabinet)) {
    DoError(cabinet, L"", L"0", zevFileNotFound);
    return;
  }
  if (!IsCabinet(cabinet)) {
    DoError(cabinet, L"", L"0", zevCorruptInput);
    return;
  }
  TUnCab* oldReader = gReader;
  TStreamCabinetFileHandler* oldHandler = gHandler;
  gReader = this;
  gHandler = &FHandler;
  struct TRestore {
    TUnCab* R;
    TStreamCabinetFileHandler* H;
    ~TRestore() {
      gReader = R;
      gHandler = H;
    }
  } restore{oldReader, oldHandler};
  std::set<std::wstring> visited;
  try {
    for (;;) {
      visited.insert(Upper(cabinet));
      FCurrentFolder = FolderOf(cabinet);
      BytesTotal = BytesLeft = 0;
      if (!CopyPass(cabinet, true) || GetCancel()) break;
      FNextSeen = false;
      FNextName.clear();
      if (!CopyPass(cabinet, false) || GetCancel()) break;
      if (FNextName.empty()) break;
      std::wstring next = FolderOf(cabinet) + FNextName;
      // A chain that comes back to a cabinet already read would never end.
      if (visited.count(Upper(next))) break;
      if (!NextVolumeFile(next, L"0")) break;
      if (visited.count(Upper(next)) || !IsCabinet(next)) break;
      cabinet = next;
    }
  } catch (const ECabinetError& e) {
    DoError(cabinet, Utf8ToWide(e.what()), L"0", zevCorruptInput);
  }
}
