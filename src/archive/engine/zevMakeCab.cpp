#include "archive/engine/zevMakeCab.h"

#include <algorithm>
#include <cstring>

#include "archive/engine/zevUnCab.h"
#include "foundation/TextCodec.h"
#include "framework/FolderEnum.h"

namespace {
bool CopyName(char* field, size_t size, const std::string& text) {
  if (text.size() >= size) return false;
  std::memcpy(field, text.c_str(), text.size() + 1);
  return true;
}
// Removes a folder this run made, with what it holds.
void RemoveTree(const std::wstring& dir) {
  for (const WIN32_FIND_DATAW& f : TFolderEnum(dir)) {
    const std::wstring n = f.cFileName;
    if (TFolderEnum::IsFolderData(f) && !TFolderEnum::IsLinkData(f)) {
      RemoveTree(dir + n + L"\\");
    } else if (TFolderEnum::IsFolderData(f)) {
      RemoveDirectoryW((dir + n).c_str());  // a link goes as a link, never what it points at
    } else {
      SetFileAttributesW((dir + n).c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW((dir + n).c_str());
    }
  }
  RemoveDirectoryW(dir.c_str());
}
}  // namespace

struct TMakeCabCallbacks {
  static TMakeCab& W(void* pv) { return *static_cast<TMakeCab*>(pv); }
  static int DIAMONDAPI FilePlaced(PCCAB, char*, LONG, BOOL, void*) { return 0; }
  static void* DIAMONDAPI Alloc(ULONG cb) { return std::malloc(cb ? cb : 1); }
  static void DIAMONDAPI Free(void* p) { std::free(p); }
  static INT_PTR DIAMONDAPI Open(char* name, int flags, int, int* err, void* pv) {
    return W(pv).FHandler.Open(name, flags, *err);
  }
  static UINT DIAMONDAPI Read(INT_PTR hf, void* p, UINT cb, int* err, void* pv) {
    TMakeCab& w = W(pv);
    UINT n = w.FHandler.Read(hf, p, cb, *err);
    if (n != static_cast<UINT>(-1) && hf == w.FSourceHandle) {
      w.FFileLeft -= n;
      w.BytesLeft -= n;
      if (w.BytesLeft < 0) w.BytesLeft = 0;
      w.DoProgress(static_cast<double>(w.FFileSize - w.FFileLeft), static_cast<double>(w.FFileSize), w.BytesLeft,
                   w.BytesTotal);
    }
    return n;
  }
  static UINT DIAMONDAPI Write(INT_PTR hf, void* p, UINT cb, int* err, void* pv) {
    return W(pv).FHandler.Write(hf, p, cb, *err);
  }
  static int DIAMONDAPI Close(INT_PTR hf, int* err, void* pv) {
    TMakeCab& w = W(pv);
    if (hf == w.FSourceHandle) w.FSourceHandle = -1;
    return w.FHandler.Close(hf, *err);
  }
  static LONG DIAMONDAPI Seek(INT_PTR hf, LONG dist, int type, int* err, void* pv) {
    return W(pv).FHandler.Seek(hf, dist, type, *err);
  }
  static int DIAMONDAPI Delete(char* name, int* err, void* pv) { return W(pv).FHandler.Delete(name, *err); }
  static BOOL DIAMONDAPI TempFile(char* buffer, int size, void* pv) {
    TMakeCab& w = W(pv);
    std::wstring name = w.FTempFolder + L"fci" + std::to_wstring(++w.FTempCount) + L".tmp";
    std::string token = w.FHandler.Token(name);
    return CopyName(buffer, static_cast<size_t>(size), token);
  }
  static BOOL DIAMONDAPI NextCabinet(PCCAB cab, ULONG previous, void* pv) {
    TMakeCab& w = W(pv);
    bool abort = true;
    std::wstring next;
    if (w.OnGetNextCabinet) w.OnGetNextCabinet(&w, *cab, next, previous, abort);
    if (abort || next.empty()) {
      cab->szCab[0] = cab->szCabPath[0] = 0;
      return FALSE;
    }
    std::string path = w.FHandler.Token(FolderOf(next));
    std::string name = StoredFormName(next.substr(FolderOf(next).size()), false);
    return CopyName(cab->szCabPath, sizeof cab->szCabPath, path) && CopyName(cab->szCab, sizeof cab->szCab, name);
  }
  static LONG DIAMONDAPI Status(UINT, ULONG, ULONG, void* pv) { return W(pv).GetCancel() ? -1 : 0; }
  static INT_PTR DIAMONDAPI OpenInfo(char* name, USHORT* date, USHORT* time, USHORT* attribs, int* err, void* pv) {
    TMakeCab& w = W(pv);
    std::wstring path = w.FHandler.Resolve(name);
    DWORD a = GetFileAttributesW(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) {
      *err = static_cast<int>(GetLastError());
      return -1;
    }
    INT_PTR h = w.FHandler.Open(name, 0, *err);
    if (h == -1) return -1;
    uint32_t d = static_cast<uint32_t>(w.FAddDate);
    *date = static_cast<USHORT>(d >> 16);
    *time = static_cast<USHORT>(d & 0xFFFF);
    *attribs = static_cast<USHORT>((w.FAddAttr & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive)) |
                                   (w.FAddUtf8 ? _A_NAME_IS_UTF : 0));
    w.FSourceHandle = h;
    return h;
  }
};

TMakeCab::TMakeCab(TComponent* owner) : TCabInterface(owner) {
  FClassExt = L".CAB";
  FDefaultExt = L".cab";
  FArcType = atCab;
  FAllowedMethods = (1u << cmStore) | (1u << cmMsZip) | (1u << cmLzx) | (1u << cmQuantum);
  FCompressMethod = cmMsZip;
}

TMakeCab::~TMakeCab() { DestroyContext(); }

TCOMP TMakeCab::CompressionCode() const {
  switch (CompressMethod()) {
    case cmStore:
      return tcompTYPE_NONE;
    case cmLzx:
      return static_cast<TCOMP>((FLzxLevel << 8) | tcompTYPE_LZX);
    case cmQuantum:
      // The library's own Quantum type, at the level and memory asked.
      return static_cast<TCOMP>((FQuantumMemory << 8) | (FQuantumLevel << 4) | tcompTYPE_QUANTUM);
    default:
      return tcompTYPE_MSZIP;
  }
}

std::wstring TMakeCab::MethodText() const {
  switch (CompressMethod()) {
    case cmStore:
      return L"Stored";
    case cmLzx:
      return L"Lzx";
    case cmQuantum:
      return L"Quantum";
    default:
      return L"MsZIP";
  }
}

void TMakeCab::DestroyContext() {
  if (FContext && CabinetLib().FciLoaded) CabinetLib().FCIDestroy(FContext);
  FContext = nullptr;
}

bool TMakeCab::CreateContext(const std::wstring& cabinet) {
  DestroyContext();
  std::memset(&FCab, 0, sizeof FCab);
  FCab.cb = 0x7FFFFFFF;
  FCab.cbFolderThresh = 0x7FFFFFFF;
  FCab.fFailOnIncompressible = FailOnIncompressible;
  if (!CopyName(FCab.szCabPath, sizeof FCab.szCabPath, FHandler.Token(FolderOf(cabinet))) ||
      !CopyName(FCab.szCab, sizeof FCab.szCab, StoredFormName(cabinet.substr(FolderOf(cabinet).size()), false)))
    return false;
  std::memset(&FErf, 0, sizeof FErf);
  FContext = CabinetLib().FCICreate(&FErf, TMakeCabCallbacks::FilePlaced, TMakeCabCallbacks::Alloc,
                                    TMakeCabCallbacks::Free, TMakeCabCallbacks::Open, TMakeCabCallbacks::Read,
                                    TMakeCabCallbacks::Write, TMakeCabCallbacks::Close, TMakeCabCallbacks::Seek,
                                    TMakeCabCallbacks::Delete, TMakeCabCallbacks::TempFile, &FCab, this);
  return FContext != nullptr;
}

bool TMakeCab::AddFile(const std::wstring& source, const std::wstring& nameInCabinet, int32_t dosDate, uint32_t attr) {
  std::wstring rel = SafeRelativeName(nameInCabinet);
  std::string stored;
  FAddUtf8 = !(TranslateOemChar ? WideToOem(rel, stored) : WideToAnsi(rel, stored));
  if (FAddUtf8) stored = WideToUtf8(rel);
  if (stored.empty()) {
    DoError(source, L"", L"0", zevInvalidFileName);
    return false;
  }
  FAddDate = EntryDate(dosDate);
  FAddAttr = attr;
  std::string token = FHandler.Token(source);
  std::memset(&FErf, 0, sizeof FErf);
  BOOL ok = CabinetLib().FCIAddFile(FContext, token.data(), stored.data(), FALSE, TMakeCabCallbacks::NextCabinet,
                                    TMakeCabCallbacks::Status, TMakeCabCallbacks::OpenInfo, CompressionCode());
  if (!ok) {
    if (FErf.fError && FErf.erfOper != FCIERR_USER_ABORT) throw ECabinetError(FErf.erfOper, FErf.erfType);
    return false;
  }
  if (OnRead) {
    ReadInfo = TCompEntryInfo{};
    ReadInfo.Name = nameInCabinet;
    ReadInfo.MethodText = MethodText();
    ReadInfo.DosDate = FAddDate;
    ReadInfo.Size = FFileSize;
    ReadInfo.Attr = attr;
    OnRead(this, 0, 0);
  }
  return true;
}

int TMakeCab::UpdateArchive() {
  FilesAdded = FilesDeleted = Count = 0;
  FWritten = false;
  *FCancelPtr = 0;
  FRaisedCode = 0;
  ProgressProc = [this](uint8_t f, uint8_t a) { DefaultProgress(f, a); };
  if (!CabinetLib().FciLoaded) {
    DoError(FArchiveFile, L"", L"0", zevCabinetNotFound);
    return 0;
  }
  if (FArchiveFile.empty()) return 0;
  if (Switch == swDelete) {
    DoError(FArchiveFile, L"", L"0", zevInvalidArcType);
    return 0;
  }
  bool exists = FileSys->FileExists(FArchiveFile);
  if (Switch == swRead) return 0;
  if (exists) {
    uint32_t a = FileSys->GetAttr(FArchiveFile);
    if (a & (kAttrReadOnly | kAttrHidden | kAttrSystem)) {
      bool write = false;
      if (!OnNonWriteableArchive) {
        DoError(FArchiveFile, L"", L"0", zevWriteError);
        return 0;
      }
      OnNonWriteableArchive(this, FArchiveFile, write);
      if (!write) return 0;
      if (!FileSys->SetAttr(FArchiveFile, kAttrNormal)) {
        DoError(FArchiveFile, L"", L"0", zevWriteError);
        return 0;
      }
    }
  }
  StoreEmptySubDirs = false;
  if (OnActivate) OnActivate(this);
  if (OnElapsedTime) Timer.Start();
  // The new cabinet and the old one's entries are made in a folder of this run's own.
  FTempFolder.clear();
  std::wstring base = AppendBackslash(GetTempDir());
  for (int n = 0; n < 100000; ++n) {
    std::wstring d = base + L"vcab" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(n) + L"\\";
    if (CreateDirectoryW(RemoveBackslash(d).c_str(), nullptr)) {
      FTempFolder = d;
      break;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  bool ok = false;
  std::vector<std::wstring> moved;
  try {
    if (FTempFolder.empty()) RaiseError(FArchiveFile, L"", L"0", zevCreateError);
    std::vector<TScannedFile> found = ScanSources();
    struct TKept {
      std::wstring Path, Name;
      int32_t Date;
      uint32_t Attr;
    };
    std::vector<TKept> kept;
    if (exists && !GetCancel()) {
      // The old cabinet's entries go into the new one; a new file of the same name wins.
      TUnCab old(nullptr);
      old.FileSys = FileSys;
      old.SetArchiveFile(FArchiveFile);
      old.SetArcType(atCab);
      old.SetExtractDir(FTempFolder + L"old");
      old.FileSpec.Add(L"*.*");
      old.TranslateOemChar = TranslateOemChar;
      old.RestoreFileAttr = false;
      std::vector<int> errors;
      old.OnError = [&](TZipCommon*, const std::wstring&, const std::wstring&, const std::wstring&, int c) {
        errors.push_back(c);
      };
      old.OnBegin = [&](TZipCommon* s, const std::wstring&, int, bool&) {
        TUnCab& r = *static_cast<TUnCab*>(s);
        kept.push_back({r.EntryName, r.StoredName, 0, 0});
      };
      old.Extract();
      // A cabinet that cannot be read whole is not replaced: its entries would be lost.
      if (!errors.empty() || kept.empty()) RaiseError(FArchiveFile, L"", L"0", zevCorruptInput);
      for (auto& k : kept) {
        k.Date = FileSys->GetDate(k.Path, 1);
        k.Attr = kAttrArchive;
      }
    }
    std::wstring building = FTempFolder + L"new.cab";
    if (!CreateContext(building)) {
      if (FErf.fError) throw ECabinetError(FErf.erfOper, FErf.erfType);
      RaiseError(FArchiveFile, L"", L"0", zevCreateError);
    }
    for (const auto& k : kept) {
      if (GetCancel()) break;
      bool replaced = std::any_of(found.begin(), found.end(), [&](const TScannedFile& f) {
        SetEntryName(f.Path);
        return SameTextNoCase(EntryName, k.Name);
      });
      if (replaced) continue;
      FFileSize = FFileLeft = 0;
      if (!AddFile(k.Path, k.Name, k.Date, k.Attr)) RaiseError(k.Name, L"", L"0", zevWriteError);
    }
    for (size_t i = 0; i < found.size() && !GetCancel(); ++i) {
      FileSys->ProcessMessages();
      Count = static_cast<int32_t>(i + 1);
      SetEntryName(found[i].Path);
      bool process = true;
      if (OnBegin) OnBegin(this, EntryName, Count, process);
      if (!process) continue;
      FFileSize = FFileLeft = found[i].Size;
      bool added = false;
      try {
        added = AddFile(found[i].Path, EntryName, found[i].DosDate, found[i].Attr);
      } catch (const ECabinetError& e) {
        DoError(found[i].Path, Utf8ToWide(e.what()), L"0", zevWriteError);
        // The library's state after a refused file is its own: the cabinet is not trusted.
        RaiseError(FArchiveFile, L"", L"0", zevWriteError);
      }
      if (added) {
        ++FilesAdded;
        if (Switch == swMove) moved.push_back(found[i].Path);
      }
      if (OnEnd) OnEnd(this, EntryName, added);
    }
    if (GetCancel()) RaiseError(FArchiveFile, L"", L"0", zevUserCanceled);
    if (!CabinetLib().FCIFlushCabinet(FContext, FALSE, TMakeCabCallbacks::NextCabinet, TMakeCabCallbacks::Status))
      throw ECabinetError(FErf.erfOper, FErf.erfType);
    DestroyContext();
    if (FilesAdded > 0) {
      if (!MoveFileExW(building.c_str(), FArchiveFile.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
        RaiseError(FArchiveFile, L"", L"0", zevWriteError);
      ok = true;
    }
  } catch (const ECabinetError& e) {
    DoError(FArchiveFile, Utf8ToWide(e.what()), L"0", zevWriteError);
  } catch (const E_RAISE&) {
  } catch (const std::bad_alloc&) {
    DoError(FArchiveFile, L"", L"0", zevOutOfMemory);
  }
  DestroyContext();
  if (!FTempFolder.empty()) RemoveTree(FTempFolder);
  if (ok) {
    FWritten = true;
    for (size_t i = 0; i < moved.size(); ++i)
      if (FileSys->RemoveFile(moved[i], DeleteOptions) && OnDeleteFile)
        OnDeleteFile(this, moved[i], static_cast<int>(i), static_cast<int>(moved.size()));
  }
  if (OnElapsedTime) {
    Timer.Stop();
    OnElapsedTime(this, Timer.ElapsedSeconds());
  }
  if (OnDeactivate) OnDeactivate(this);
  return ok ? FilesAdded : 0;
}
