#include "archive/engine/zevZip.h"

#include <algorithm>
#include <cstring>

#include "archive/engine/zevDetect.h"
#include "archive/engine/zevParallelDeflate.h"
#include "foundation/TextCodec.h"

namespace {
constexpr size_t kLocalSize = 30, kCentralSize = 46, kEndSize = 22;
constexpr int32_t kBlock = 32768;

bool StartsWithText(std::wstring_view s, std::wstring_view prefix) {
  return s.size() >= prefix.size() && SameTextNoCase(s.substr(0, prefix.size()), prefix);
}
std::wstring ExtensionOf(const std::wstring& name) {
  size_t dot = name.rfind(L'.');
  size_t sep = name.find_last_of(L"\\/:");
  if (dot == std::wstring::npos || (sep != std::wstring::npos && dot < sep)) return {};
  return name.substr(dot);
}
std::wstring FileNameOf(const std::wstring& path) {
  size_t p = path.find_last_of(L"\\/:");
  return p == std::wstring::npos ? path : path.substr(p + 1);
}

void WriteAll(TStream32& s, const void* p, size_t n) {
  if (n && s.Write(p, static_cast<int32_t>(n)) != static_cast<int32_t>(n)) throw E_RAISE(zevWriteError);
}

// A header (after its 4-byte signature) and the name behind it in the form written: with the
// "PL" signature and enciphered by the fixed header keys when encrypted.
void WriteHeaderAndName(TStream32& s, const uint8_t* header, size_t len, const std::string& name, bool encrypted) {
  std::vector<uint8_t> h(header, header + len);
  std::string n = name;
  if (encrypted) {
    h[1] = 'L';
    ZipLoadHeaderKeys();
    ZipEncryptBuffer(h.data() + 4, len - 4);
    ZipEncryptBuffer(n.data(), n.size());
  } else {
    h[1] = 'K';
  }
  WriteAll(s, h.data(), h.size());
  WriteAll(s, n.data(), n.size());
}

const wchar_t* const kPackedExtensions[] = {L".ACE", L".ARC", L".ARJ", L".BH",  L".CAB", L".ENC", L".GZ",  L".HA",
                                            L".JAR", L".LHA", L".LZH", L".PAK", L".PK3", L".PK_", L".RAR", L".TAR",
                                            L".TGZ", L".UUE", L".UU",  L".XXE", L".Z",   L".ZIP", L".ZOO"};
}  // namespace

// ---- TCompBase ----

TCompBase::TCompBase(TComponent* owner) : TZipCommon(owner) {
  RecurseDirs = false;
  DateAttribute = daFileDate;
}

void TCompBase::SetDefaultExt(const std::wstring& ext) {
  std::wstring old = FDefaultExt;
  if (ext.empty() || ext == L".") {
    FDefaultExt = FClassExt;
  } else {
    std::wstring e = ext[0] == L'.' ? ext : L"." + ext;
    e = e.substr(0, 4);
    for (auto& c : e)
      if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
    FDefaultExt = e;
  }
  if (FArchiveFile.empty()) return;
  std::wstring cur = ExtensionOf(FArchiveFile);
  if (cur.empty())
    FArchiveFile += FDefaultExt;
  else if (SameTextNoCase(cur, old))
    FArchiveFile = FArchiveFile.substr(0, FArchiveFile.size() - cur.size()) + FDefaultExt;
}

void TCompBase::SetArchiveFile(const std::wstring& name) {
  if (Loading && !FileSys->FileExists(name)) {
    FArchiveFile.clear();
    return;
  }
  FArchiveFile = SlashToBackslash(name);
  if (!FArchiveFile.empty() && ExtensionOf(FArchiveFile).empty()) FArchiveFile += FDefaultExt;
  StartOffset = 1;
  *FCancelPtr = 0;
}

void TCompBase::SetBaseDir(const std::wstring& dir) {
  FBaseDir = AppendBackslash(dir.empty() ? FileSys->CurrentDir() : dir);
}

std::wstring TCompBase::MakeStoredName(const std::wstring& fileName, const std::wstring& baseDir) const {
  switch (StoredDirNames) {
    case sdNone:
      return FileNameOf(fileName);
    case sdAbsolute:
      return fileName;
    case sdAbsoluteNoDrv:
    case sdAbsoluteNoRoot: {
      std::wstring s = fileName;
      size_t colon = s.find(L':');
      if (colon != std::wstring::npos) {
        s.erase(0, colon + 1);
      } else if (IsUNC(s)) {
        size_t server = s.find(L'\\', 2);
        size_t share = server == std::wstring::npos ? std::wstring::npos : s.find(L'\\', server + 1);
        s = share == std::wstring::npos ? std::wstring() : s.substr(share);
      }
      if (StoredDirNames == sdAbsoluteNoRoot && !s.empty() && s[0] == L'\\') s.erase(0, 1);
      return s;
    }
    case sdRelativeStoreStart: {
      std::wstring base = RemoveBackslash(baseDir);
      size_t p = base.find_last_of(L'\\');
      std::wstring cut = p == std::wstring::npos ? std::wstring() : base.substr(0, p + 1);
      if (!cut.empty() && StartsWithText(fileName, cut)) return fileName.substr(cut.size());
      return fileName;
    }
    case sdExplorer: {
      if (!baseDir.empty() && !ExplorerBaseDir.empty() &&
          SameTextNoCase(AppendBackslash(baseDir), AppendBackslash(ExplorerBaseDir))) {
        if (StartsWithText(fileName, baseDir)) return fileName.substr(baseDir.size());
        return fileName;
      }
      std::wstring eb = AppendBackslash(ExplorerBaseDir);
      if (!ExplorerBaseDir.empty() && StartsWithText(fileName, eb)) return fileName.substr(eb.size());
      return fileName;
    }
    default:  // sdRelative
      if (!baseDir.empty() && StartsWithText(fileName, baseDir)) return fileName.substr(baseDir.size());
      return fileName;
  }
}

bool TCompBase::SetEntryName(const std::wstring& name) {
  EntryName = MakeStoredName(name, FBaseDir);
  return !EntryName.empty();
}

bool TCompBase::IsExcluded(const std::wstring& name, const std::wstring& baseDir) {
  for (int i = 0; i < ExcludeSpec.Count(); ++i)
    if (MatchMaskText(name, MakeStoredName(ExcludeSpec[i], baseDir))) return true;
  return false;
}

bool TCompBase::CheckWriteable(const std::wstring& fileName) {
  if (GetCancel() || OverwriteMode != omOverwrite) return false;
  uint32_t a = FileSys->GetAttr(fileName);
  if (a == kNoFile || !(a & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrDirectory))) return true;
  if (a & kAttrDirectory) return false;
  if (!OnNonWriteableArchive) {
    DoError(fileName, L"OnNonWriteableArchive", L"0", zevEventNotAssigned);
    return false;
  }
  bool write = false;
  OnNonWriteableArchive(this, fileName, write);
  return write && FileSys->SetAttr(fileName, kAttrNormal);
}

int TCompBase::UpdateArchive() {
  InputMode = OutputMode = 0;
  FilesAdded = FilesDeleted = Count = 0;
  NewestDate = 0;
  BytesLeft = BytesTotal = 0;
  FWritten = false;
  ProgressProc = [this](uint8_t f, uint8_t a) { DefaultProgress(f, a); };
  *FCancelPtr = 0;
  FRaisedCode = 0;
  if (FArchiveFile.empty()) return 0;
  DiskManager.CheckDrive(FArchiveFile);
  if (DiskManager.WriteProtected) {
    DoError(FArchiveFile, L"", L"0", zevWriteProtected);
    return 0;
  }
  FNewArchive = !FileSys->FileExists(FArchiveFile);
  if (Switch == swRead) return 0;
  if (Switch == swDelete && FNewArchive) {
    DoError(FArchiveFile, L"", L"0", zevNothingToDo);
    return 0;
  }
  if (!FNewArchive && !CheckWriteable(FArchiveFile)) return 0;
  if (OnActivate) OnActivate(this);
  struct TDeactivate {
    TCompBase& W;
    ~TDeactivate() {
      if (W.OnDeactivate) W.OnDeactivate(&W);
    }
  } deactivate{*this};
  if (OnElapsedTime) Timer.Start();
  std::unique_ptr<TzevTempOutput> output;
  try {
    output = CreateOutput();
  } catch (const EzevException&) {
  }
  if (!output) {
    DoError(FArchiveFile, L"", L"0", zevCreateError);
    return 0;
  }
  std::unique_ptr<TStream32> input;
  if (!FNewArchive) {
    input = FileSys->OpenRead(FArchiveFile);
    if (!input) {
      output->Discard();
      DoError(FArchiveFile, L"", L"0", zevOpenError);
      return 0;
    }
    ArchiveSize = static_cast<uint32_t>(std::min<int64_t>(input->GetSize(), 0xFFFFFFFF));
  } else {
    ArchiveSize = 0;
  }
  bool ok = false;
  try {
    Compress(input.get(), *output);
    ok = true;
  } catch (const E_RAISE& x) {
    // Raised through RaiseError it was reported already; a failed write was not.
    if (FRaisedCode != x.ECode) DoError(FArchiveFile, EntryName, L"0", x.ECode);
  } catch (const EStreamError& e) {
    DoError(FArchiveFile, L"", L"0", e.ECode ? e.ECode : zevWriteError);
  } catch (const std::bad_alloc&) {
    DoError(FArchiveFile, L"", L"0", zevOutOfMemory);
  }
  bool changed = ok && (FilesAdded > 0 || FilesDeleted > 0) && !(GetCancel() && FNewArchive);
  input.reset();
  if (!changed) {
    // Nothing to replace, or a failure: the old archive keeps its content; nothing is deleted.
    output->Discard();
  } else if (Spanning()) {
    // The volumes are on their disks already; the whole archive in the temporary file goes.
    output->Discard();
    FWritten = true;
    if (Switch == swMove)
      for (size_t i = 0; i < FMoveList.size(); ++i)
        if (FileSys->RemoveFile(FMoveList[i], DeleteOptions) && OnDeleteFile)
          OnDeleteFile(this, FMoveList[i], static_cast<int>(i), static_cast<int>(FMoveList.size()));
  } else {
    if (!GetCancel()) ReportNewEntries();
    int rc = output->Commit();
    if (rc) {
      DoError(FArchiveFile, L"", L"0", rc);
      ok = false;
    } else {
      FWritten = true;
      AfterReplace();
      if (Switch == swMove) {
        DoProgress(0, 0, 0, 0);
        for (size_t i = 0; i < FMoveList.size(); ++i)
          if (FileSys->RemoveFile(FMoveList[i], DeleteOptions) && OnDeleteFile)
            OnDeleteFile(this, FMoveList[i], static_cast<int>(i), static_cast<int>(FMoveList.size()));
      }
    }
  }
  if (OnElapsedTime) {
    Timer.Stop();
    OnElapsedTime(this, Timer.ElapsedSeconds());
  }
  FList.clear();
  FMoveList.clear();
  if (!ok) return 0;
  return Switch == swDelete ? FilesDeleted : FilesAdded;
}

std::unique_ptr<TzevTempOutput> TCompBase::CreateOutput() {
  return FileSys->CreateReplacement(FArchiveFile, GetTempDir(), DeleteOptions);
}

void TCompBase::Compress(TStream32* input, TzevTempOutput& output) {
  FList.clear();
  FReplaced.clear();
  FMoveList.clear();
  if (input && input->GetSize() > 0) {
    if (Switch == swDelete) ExcludeSpec.Clear();
    ReadDirectory(*input, output);
  }
  if (Switch != swDelete) {
    TzevFileScan scan(nullptr, FileSys);
    scan.FileSpec = FileSpec;
    scan.SetRootDir(FBaseDir.empty() ? FileSys->CurrentDir() : FBaseDir);
    scan.Attributes = static_cast<TzevFileAttrs>(Attributes | (StoreEmptySubDirs ? AttrSet({fsDirectory}) : 0));
    scan.IncludeHiddenDirs = InAttrSet(Attributes, fsHidden);
    scan.AttributesEx = AttributesEx;
    scan.RecurseDirs = RecurseDirs;
    scan.CancelFlag = FCancelPtr;
    if (OnFileScanStatus)
      scan.OnChangeDir = [this](const std::wstring& d, int n, double s) { OnFileScanStatus(this, d, n, s); };
    scan.FoundFileProc = [this](const std::wstring& dir, const TzevFindData& f, void*) { AddScannedFile(dir, f); };
    scan.Scan();
  }
  if (GetCancel()) {
    FList.erase(std::remove_if(FList.begin(), FList.end(), [](const TCompEntry& e) { return e.Action == 0; }),
                FList.end());
    return;
  }
  ProcessEntries(input, output);
  if (FilesAdded == 0 && FilesDeleted == 0) return;
  bool anyLeft = std::any_of(FList.begin(), FList.end(), [](const TCompEntry& e) { return e.Action != 2; });
  if (!anyLeft)
    WriteEmptyEndRecord(output);
  else if (!WriteDirectory(output))
    RaiseError(FArchiveFile, L"", L"0", zevWriteError);
}

void TCompBase::AddScannedFile(const std::wstring& dir, const TzevFindData& find) {
  bool folder = find.Attr & kAttrDirectory;
  std::wstring full = JoinDirName(dir, find.Name);
  if (!folder && ExtList.Count() > 0) {
    std::wstring ext = ExtensionOf(find.Name);
    for (auto& c : ext)
      if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
    if (ExtList.IndexOf(ext) >= 0) return;
  }
  if (folder && !StoreEmptySubDirs) return;
  SetEntryName(full);
  if (EntryName.empty() || IsExcluded(EntryName, FBaseDir)) return;
  if (find.Size >= 0xFFFFFFFFull) {
    // Sizes are 32-bit fields here: a larger file would be stored truncated.
    DoError(full, L"4 GiB", L"0", zevInvalidArcType);
    return;
  }
  NoteDate(find.DosDate);
  uint32_t size = static_cast<uint32_t>(find.Size);
  uint32_t attr = find.Attr & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrDirectory | kAttrArchive);
  for (auto& e : FList) {
    if (e.Action == 0) {
      if (SameTextNoCase(e.Name, full)) return;  // the same file found by two file masks
      continue;
    }
    if (e.Action == 2 || !SameTextNoCase(e.Name, EntryName)) continue;
    uint32_t oldSize = GetLE32(e.Central + 24), oldAttr = GetLE32(e.Central + 38) & 0x37;
    int32_t oldDate = static_cast<int32_t>(GetLE32(e.Central + 12));
    if (oldSize == size && oldDate == find.DosDate && (oldAttr == attr || !CompareAttributes())) {
      if (Switch == swRefresh && e.Action == 1) {
        // A refresh packs the unchanged file anew in the kept entry's place.
        e.Action = 0;
        e.Name = full;
        e.BaseLen = static_cast<uint32_t>(FBaseDir.size());
        e.EncryptedHeaders = EncryptHeaders;
        e.Size = size;
        e.Attr = attr;
        e.DosDate = find.DosDate;
        BytesTotal += size;
        BytesLeft = BytesTotal;
      }
      return;  // unchanged
    }
    bool replace = false;
    if (OnReplaceFile)
      OnReplaceFile(this, EntryName, full, ConvertDate(oldDate), ConvertDate(find.DosDate), oldSize, size,
                    static_cast<int>(oldAttr), static_cast<int>(attr), replace);
    else
      DoError(EntryName, L"OnReplaceFile", L"0", zevEventNotAssigned);
    if (replace) {
      // The new file takes the kept entry's place.
      e.Action = 2;
      FReplaced.push_back(&e - FList.data());
      break;
    }
    bool rename = false;
    std::wstring kept = e.Name;
    if (OnRenameDupeFile) {
      for (;;) {
        std::wstring newName;
        rename = true;
        OnRenameDupeFile(this, kept, newName, rename);
        if (!rename || newName.empty() || SameTextNoCase(newName, e.Name)) {
          rename = rename && !newName.empty() && !SameTextNoCase(newName, e.Name);
          if (rename) kept = newName;
          break;
        }
        kept = newName;
        bool taken = std::any_of(FList.begin(), FList.end(),
                                 [&](const TCompEntry& o) { return o.Action != 0 && SameTextNoCase(o.Name, kept); });
        if (!taken) break;
      }
    } else {
      DoError(e.Name, L"OnRenameDupeFile", L"0", zevEventNotAssigned);
    }
    if (!rename) return;
    e.Action = 3;
    e.Name = kept;
    break;
  }
  TCompEntry n;
  n.Name = full;
  n.BaseLen = static_cast<uint32_t>(FBaseDir.size());
  n.Action = 0;
  n.EncryptedHeaders = EncryptHeaders;
  n.Size = size;
  n.Attr = attr;
  n.DosDate = find.DosDate;
  BytesTotal += size;
  BytesLeft = BytesTotal;
  FList.push_back(std::move(n));
}

bool TCompBase::OpenSource(const TCompEntry& e, std::unique_ptr<TStream32>& src, int64_t& size) {
  src.reset();
  size = 0;
  if (e.Attr & kAttrDirectory) return true;
  src = FileSys->OpenRead(e.Name);
  if (!src) {
    DoError(e.Name, L"", L"0", zevOpenError);
    return false;
  }
  size = src->GetSize();
  if (size >= 0xFFFFFFFFll) {
    // Sizes are 32-bit fields here: a larger file would be recorded wrongly.
    DoError(e.Name, L"4 GiB", L"0", zevInvalidArcType);
    return false;
  }
  return true;
}

std::string TCompBase::DosStoredBytes(const std::wstring& name) const {
  // Names in an archive are relative: no drive, share or root.
  std::wstring rel = TZipCommon::SafeRelativeName(name);
  for (auto& c : rel)
    if (c == L'/') c = L'\\';
  std::string out;
  bool ok = TranslateOemChar ? WideToOem(rel, out) : WideToAnsi(rel, out);
  return ok ? out : std::string();
}

void TCompBase::NoteKept(TCompEntry& e, uint32_t packed, uint32_t orig, int32_t dosTime, uint32_t attr) {
  std::memset(e.Central, 0, sizeof e.Central);
  PutLE32(e.Central + 12, static_cast<uint32_t>(dosTime));
  PutLE32(e.Central + 20, packed);
  PutLE32(e.Central + 24, orig);
  PutLE32(e.Central + 38, attr);
}

bool TCompBase::WriteFormatEntry(
    TStream32& output, TCompEntry& e, bool packs,
    const std::function<int(TStream32*, TStream32&, const std::function<void(size_t)>&)>& write) {
  const std::wstring full = e.Name;
  bool folder = e.Attr & kAttrDirectory;
  std::unique_ptr<TStream32> src;
  int64_t size = 0;
  if (!OpenSource(e, src, size)) return false;
  std::unique_ptr<TStream32> scratch;
  std::unique_ptr<TzevTempOutput> scratchFile;
  if (!folder && packs) {
    if (CompressionMethod == cmTempFile) {
      std::wstring dir = GetTempDir();
      scratchFile = FileSys->CreateReplacement(JoinDirName(dir, L"pack.tmp"), dir, DeleteOptions);
    }
    if (!scratchFile) scratch = std::make_unique<TMemoryStream32>();
  }
  struct TDropScratch {
    std::unique_ptr<TzevTempOutput>& F;
    ~TDropScratch() {
      if (F) F->Discard();
    }
  } drop{scratchFile};
  TMemoryStream32 none;
  TStream32& pack = scratchFile ? static_cast<TStream32&>(*scratchFile) : scratch ? *scratch : none;
  int64_t done = 0;
  int64_t start = output.Seek(0, soFromEnd);
  int rc = 0;
  try {
    rc = write(src.get(), pack, [&](size_t n) {
      done += static_cast<int64_t>(n);
      DoProgress(static_cast<double>(done), static_cast<double>(size), BytesLeft - done, BytesTotal);
      if (GetCancel()) RaiseError(full, L"", L"0", zevUserCanceled);
    });
  } catch (...) {
    // Entries follow one another: a partly written one must not stay in front of the next.
    output.SetSize(start);
    output.Seek(start, soFromBeginning);
    throw;
  }
  if (rc) {
    output.SetSize(start);
    output.Seek(start, soFromBeginning);
    DoError(full, rc == zevInvalidArcType ? L"4 GiB" : L"", L"0", rc);
    return false;
  }
  BytesLeft -= static_cast<double>(size);
  if (output.Seek(0, soFromEnd) > 0xFFFFFFFFll) RaiseError(FArchiveFile, L"4 GiB", L"0", zevWriteError);
  e.NewOffset = start;
  return true;
}

std::vector<TScannedFile> TCompBase::ScanSources() {
  std::vector<TScannedFile> found;
  TzevFileScan scan(nullptr, FileSys);
  scan.FileSpec = FileSpec;
  scan.SetRootDir(FBaseDir.empty() ? FileSys->CurrentDir() : FBaseDir);
  scan.Attributes = Attributes;
  scan.AttributesEx = AttributesEx;
  scan.IncludeHiddenDirs = InAttrSet(Attributes, fsHidden);
  scan.RecurseDirs = RecurseDirs;
  scan.CancelFlag = FCancelPtr;
  if (OnFileScanStatus)
    scan.OnChangeDir = [this](const std::wstring& d, int n, double s) { OnFileScanStatus(this, d, n, s); };
  scan.OnRootDirChange = [this](const std::wstring& d) { SetBaseDir(d); };
  scan.FoundFileProc = [&](const std::wstring& dir, const TzevFindData& f, void*) {
    if (f.Attr & kAttrDirectory) return;
    std::wstring full = JoinDirName(dir, f.Name);
    if (f.Size >= 0xFFFFFFFFull) {
      // Sizes are 32-bit fields here: a larger file would be recorded wrongly.
      DoError(full, L"4 GiB", L"0", zevInvalidArcType);
      return;
    }
    for (const auto& x : found)
      if (SameTextNoCase(x.Path, full)) return;
    NoteDate(f.DosDate);
    found.push_back({full, f.DosDate, static_cast<uint32_t>(f.Size), f.Attr});
  };
  scan.Scan();
  BytesTotal = 0;
  for (const auto& f : found) BytesTotal += f.Size;
  BytesLeft = BytesTotal;
  return found;
}

void TCompBase::CopyEntryData(TStream32& input, TStream32& output, int64_t count) {
  std::vector<uint8_t> buf(kBlock);
  while (count > 0) {
    int32_t want = static_cast<int32_t>(std::min<int64_t>(count, kBlock));
    int32_t got = ReadBuf(&input, buf.data(), want, 0, false);
    if (got != want) RaiseError(FArchiveFile, L"", L"0", zevReadError);
    WriteAll(output, buf.data(), static_cast<size_t>(got));
    count -= got;
  }
}

void TCompBase::ProcessEntries(TStream32* input, TStream32& output) {
  if (OnElapsedTime) Timer.Start();
  int maxDeleted = FilesDeleted;
  FilesDeleted = 0;
  for (size_t i = 0; i < FList.size() && !GetCancel(); ++i) {
    TCompEntry& e = FList[i];
    Count = static_cast<int32_t>(i + 1);
    switch (e.Action) {
      case 0: {
        if ((e.Attr & kAttrDirectory) && !StoreEmptySubDirs) {
          e.Action = 2;
          break;
        }
        std::wstring full = e.Name;
        SetEntryName(full);
        bool process = true;
        if (OnBegin) OnBegin(this, EntryName, Count, process);
        if (!process) {
          e.Action = 2;
          break;
        }
        bool ok = false;
        try {
          ok = CompressFile(output, e);
        } catch (const E_RAISE& x) {
          if (x.ECode == zevWriteError || GetCancel()) throw;
          ok = false;
        }
        if (ok) {
          ++FilesAdded;
          if (Switch == swMove && !(e.Attr & kAttrDirectory)) FMoveList.push_back(full);
        } else {
          e.Action = 2;
        }
        break;
      }
      case 1:
      case 3: {
        if (!input) break;
        int64_t len = PrepareCopyEntry(*input, output, e);
        if (e.Action == 3) {
          RewriteEntry(*input, output, e);
        } else {
          input->Seek(e.OldOffset, soFromBeginning);
          CopyEntryData(*input, output, len);
        }
        break;
      }
      default:
        if (std::find(FReplaced.begin(), FReplaced.end(), i) != FReplaced.end()) break;
        ++FilesDeleted;
        if (OnDeleteFile) OnDeleteFile(this, e.Name, FilesDeleted, maxDeleted);
    }
  }
  // Deletions found while the directory was read count even when the loop was cut short.
  if (FilesDeleted < maxDeleted) FilesDeleted = maxDeleted;
}

// ---- TZip ----

TZip::TZip(TComponent* owner) : TCompBase(owner) {
  FClassExt = L".ZIP";
  FDefaultExt = L".zip";
  FArcType = atZip;
  EncryptHeaders = false;
  FAllowedMethods = (1u << cmStore) | (1u << cmDeflate);
  FCompressMethod = cmDeflate;
}

TJar::TJar(TComponent* owner) : TZip(owner) {
  FDefaultExt = L".jar";
  FClassExt = L".JAR";
  FArcType = atJar;
}

void TJar::SetArcType(TArcType) {
  FArcType = atJar;
  if (!Loading && !FArchiveFile.empty() && ExtensionOf(FArchiveFile).empty()) FArchiveFile += FDefaultExt;
}

std::string TZip::StoredBytes(const std::wstring& name, bool& utf8) const {
  // Names in an archive are relative: no drive, share or root.
  std::wstring rel = TZipCommon::SafeRelativeName(name);
  if (!name.empty() && (name.back() == L'\\' || name.back() == L'/')) rel += L'\\';
  for (auto& c : rel)
    if (c == L'\\') c = L'/';
  std::string out;
  utf8 = false;
  if (TranslateOemChar) {
    if (WideToOem(rel, out)) return out;
  } else if (WideToAnsi(rel, out)) {
    return out;
  }
  utf8 = true;
  return WideToUtf8(rel);
}

void TZip::ReadDirectory(TStream32& input, TzevTempOutput& output) {
  TDetectResult r;
  ZipEndSearch(input, r);
  if (!(r.ZipFound & htEnding)) {
    // Not a ZIP: updating it would throw its content away.
    RaiseError(FArchiveFile, L"", L"0", zevInvalidArcType);
  }
  uint32_t cdOffset = GetLE32(r.End + 16), cdSize = GetLE32(r.End + 12);
  int64_t shift = std::max<int64_t>(0, r.EndPos - cdOffset - cdSize);
  uint16_t commentLen = GetLE16(r.End + 20);
  if (!ArchiveCommentSet) {
    ArchiveComment.assign(commentLen, '\0');
    if (commentLen && !ReadAt(input, r.EndPos + 22, ArchiveComment.data(), commentLen)) ArchiveComment.clear();
  }
  int64_t pos = static_cast<int64_t>(cdOffset) + shift;
  int64_t dataStart = pos;
  uint32_t total = GetLE16(r.End + 10);
  int64_t size = input.GetSize();
  uint8_t h[kCentralSize];
  bool first = true;
  for (uint32_t n = 0; n < total; ++n) {
    if (!ReadAt(input, pos, h, kCentralSize) || !IsCentralSignature(GetLE32(h)))
      RaiseError(FArchiveFile, L"", L"0", zevBadFileHeader);
    TCompEntry e;
    e.EncryptedHeaders = IsEncryptedSignature(GetLE32(h));
    if (e.EncryptedHeaders) {
      ZipLoadHeaderKeys();
      ZipDecryptBuffer(h + 4, kCentralSize - 4);
    }
    uint16_t nameLen = GetLE16(h + 28), extraLen = GetLE16(h + 30), cmtLen = GetLE16(h + 32);
    e.RawName.resize(nameLen);
    e.Extra.resize(extraLen);
    e.Comment.resize(cmtLen);
    if ((nameLen && !ReadAt(input, pos + 46, e.RawName.data(), nameLen)) ||
        (extraLen && !ReadAt(input, pos + 46 + nameLen, e.Extra.data(), extraLen)) ||
        (cmtLen && !ReadAt(input, pos + 46 + nameLen + extraLen, e.Comment.data(), cmtLen)))
      RaiseError(FArchiveFile, L"", L"0", zevBadFileHeader);
    if (e.EncryptedHeaders) ZipDecryptBuffer(e.RawName.data(), nameLen);
    std::memcpy(e.Central, h, kCentralSize);
    e.OldOffset = static_cast<int64_t>(GetLE32(h + 42)) + shift;
    if (e.OldOffset >= size) RaiseError(FArchiveFile, L"", L"0", zevBadFileHeader);
    if (first || e.OldOffset < dataStart) dataStart = std::min(dataStart, e.OldOffset);
    first = false;
    e.Name = (GetLE16(h + 8) & 0x800) ? SlashToBackslash(Utf8ToWide(e.RawName))
                                      : FixStoredName(e.RawName, TranslateOemChar);
    e.Action = 1;
    if (Switch == swDelete && MatchesSpec(e.Name)) {
      e.Action = 2;
      ++FilesDeleted;
    }
    FList.push_back(std::move(e));
    pos += static_cast<int64_t>(kCentralSize) + nameLen + extraLen + cmtLen;
  }
  // The bytes before the first entry (a self-extracting stub) go over unchanged.
  if (dataStart > 0) {
    input.Seek(0, soFromBeginning);
    output.Seek(0, soFromBeginning);
    CopyEntryData(input, output, dataStart);
  }
}

int64_t TZip::PrepareCopyEntry(TStream32& input, TStream32& output, TCompEntry& e) {
  uint8_t loc[kLocalSize];
  if (!ReadAt(input, e.OldOffset, loc, kLocalSize) || !IsLocalSignature(GetLE32(loc)))
    RaiseError(e.Name, L"", L"0", zevBadFileHeader);
  if (IsEncryptedSignature(GetLE32(loc))) {
    ZipLoadHeaderKeys();
    ZipDecryptBuffer(loc + 4, kLocalSize - 4);
  }
  e.NewOffset = output.Seek(0, soFromEnd);
  int64_t len = static_cast<int64_t>(kLocalSize) + GetLE16(loc + 26) + GetLE16(loc + 28) + GetLE32(e.Central + 20);
  // Sizes written behind the data go along with it.
  if (GetLE16(e.Central + 8) & 8) {
    uint8_t d[8];
    if (ReadAt(input, e.OldOffset + len, d, 8)) {
      if (GetLE32(d) == HeaderSignature(3, false))
        len += 16;
      else if (GetLE32(d) == GetLE32(e.Central + 16))
        len += 12;
    }
  }
  return len;
}

void TZip::RewriteEntry(TStream32& input, TStream32& output, TCompEntry& e) {
  uint8_t loc[kLocalSize];
  if (!ReadAt(input, e.OldOffset, loc, kLocalSize)) RaiseError(e.Name, L"", L"0", zevBadFileHeader);
  bool enc = IsEncryptedSignature(GetLE32(loc));
  if (enc) {
    ZipLoadHeaderKeys();
    ZipDecryptBuffer(loc + 4, kLocalSize - 4);
  }
  uint16_t oldNameLen = GetLE16(loc + 26), extraLen = GetLE16(loc + 28);
  bool utf8;
  e.RawName = StoredBytes(e.Name, utf8);
  uint16_t flags = static_cast<uint16_t>((GetLE16(loc + 6) & ~0x800) | (utf8 ? 0x800 : 0));
  PutLE16(loc + 6, flags);
  PutLE16(loc + 26, static_cast<uint16_t>(e.RawName.size()));
  PutLE32(loc, 0x04034B50u);
  PutLE16(e.Central + 8, flags);
  PutLE16(e.Central + 28, static_cast<uint16_t>(e.RawName.size()));
  e.EncryptedHeaders = false;
  WriteAll(output, loc, kLocalSize);
  WriteAll(output, e.RawName.data(), e.RawName.size());
  input.Seek(e.OldOffset + static_cast<int64_t>(kLocalSize) + oldNameLen, soFromBeginning);
  CopyEntryData(input, output, extraLen + static_cast<int64_t>(GetLE32(e.Central + 20)));
}

bool TZip::CompressFile(TStream32& output, TCompEntry& e) {
  const std::wstring full = e.Name;
  const std::wstring stored = EntryName;
  bool folder = e.Attr & kAttrDirectory;
  bool utf8 = false;
  std::string raw = StoredBytes(folder ? stored + L"\\" : stored, utf8);
  if (raw.empty() || raw == "/") {
    DoError(full, L"", L"0", zevInvalidFileName);
    return false;
  }
  std::unique_ptr<TStream32> src;
  int64_t size = 0;
  if (!OpenSource(e, src, size)) return false;
  TDeflateType effort = DeflateType;
  if (StoreAlreadyCompressedFiles) {
    std::wstring ext = ExtensionOf(full);
    for (const auto* x : kPackedExtensions)
      if (SameTextNoCase(ext, x)) effort = dtDeflateS;
  }
  if (size == 0) effort = dtDeflateS;
  uint16_t method = (size > 0 && CompressMethod() == cmDeflate) ? 8 : 0;
  bool encrypt = !Password.empty() && size > 0;
  std::string pw = PasswordBytes();
  uint32_t crc = 0;
  if (encrypt) {
    crc = StreamCrc32(*src) ^ 0xFFFFFFFFu;
    src->Seek(0, soFromBeginning);
  }
  int64_t localPos = output.Seek(0, soFromEnd);
  uint8_t loc[kLocalSize]{};
  WriteAll(output, loc, kLocalSize);
  WriteAll(output, raw.data(), raw.size());
  const int64_t dataPos = localPos + static_cast<int64_t>(kLocalSize + raw.size());
  std::vector<uint8_t> buf(kBlock);
  auto writeStored = [&]() {
    output.SetSize(dataPos);
    output.Seek(dataPos, soFromBeginning);
    src->Seek(0, soFromBeginning);
    if (encrypt) {
      uint8_t hdr[12];
      ZipMakeEncryptHeader(pw, crc, hdr);
      WriteAll(output, hdr, 12);
    }
    Crc32Register = 0xFFFFFFFF;
    int64_t done = 0;
    for (;;) {
      int32_t n = src->Read(buf.data(), kBlock);
      if (n <= 0) break;
      UpdateCrcRegister(32, buf.data(), static_cast<size_t>(n));
      if (encrypt) ZipEncryptBuffer(buf.data(), static_cast<size_t>(n));
      WriteAll(output, buf.data(), static_cast<size_t>(n));
      done += n;
      DoProgress(static_cast<double>(done), static_cast<double>(size), BytesLeft - done, BytesTotal);
    }
    if (done != size) RaiseError(full, L"", L"0", zevReadError);
    method = 0;
  };
  if (method == 8) {
    if (encrypt) {
      uint8_t hdr[12];
      ZipMakeEncryptHeader(pw, crc, hdr);
      WriteAll(output, hdr, 12);
    }
    Crc32Register = 0xFFFFFFFF;
    {
      // Compressed on several cores; the results come back in order on this thread, where
      // they are enciphered (the cipher runs over the compressed bytes in sequence).
      std::vector<uint8_t> sealed;
      TParallelDeflate z(TCompressStream::LevelOf(effort), DeflateWindowBits, [&](const uint8_t* p, size_t n) {
        if (encrypt) {
          sealed.assign(p, p + n);
          ZipEncryptBuffer(sealed.data(), n);
          p = sealed.data();
        }
        WriteAll(output, p, n);
      });
      int64_t done = 0;
      for (;;) {
        int32_t n = src->Read(buf.data(), kBlock);
        if (n <= 0) break;
        UpdateCrcRegister(32, buf.data(), static_cast<size_t>(n));
        z.Write(buf.data(), static_cast<size_t>(n));
        done += n;
        DoProgress(static_cast<double>(done), static_cast<double>(size), BytesLeft - done, BytesTotal);
        if (GetCancel()) RaiseError(full, L"", L"0", zevUserCanceled);
      }
      z.Finish();
      if (done != size) RaiseError(full, L"", L"0", zevReadError);
    }
    if (!encrypt) crc = Crc32Register ^ 0xFFFFFFFFu;
    int64_t packed = output.Seek(0, soFromEnd) - dataPos - (encrypt ? 12 : 0);
    if (packed >= size && effort != dtDeflateS) writeStored();
  } else if (!folder && size > 0) {
    writeStored();
    if (!encrypt) crc = Crc32Register ^ 0xFFFFFFFFu;
  }
  BytesLeft -= static_cast<double>(size);
  int64_t end = output.Seek(0, soFromEnd);
  int64_t packed = end - dataPos;
  if (end > 0xFFFFFFFFll) RaiseError(FArchiveFile, L"4 GiB", L"0", zevWriteError);
  uint16_t flags = static_cast<uint16_t>((encrypt ? 1 : 0) | (utf8 ? 0x800 : 0));
  if (method == 8) {
    if (effort == dtDeflateS) flags |= 6;
    else if (effort == dtDeflateF) flags |= 4;
    else if (effort == dtDeflateX) flags |= 2;
  }
  if (size == 0) crc = 0;
  PutLE32(loc, 0x04034B50u);
  PutLE16(loc + 4, 20);
  PutLE16(loc + 6, flags);
  PutLE16(loc + 8, method);
  PutLE32(loc + 10, static_cast<uint32_t>(e.DosDate));
  PutLE32(loc + 14, crc);
  PutLE32(loc + 18, static_cast<uint32_t>(packed));
  PutLE32(loc + 22, static_cast<uint32_t>(size));
  PutLE16(loc + 26, static_cast<uint16_t>(raw.size()));
  PutLE16(loc + 28, 0);
  output.Seek(localPos, soFromBeginning);
  WriteHeaderAndName(output, loc, kLocalSize, raw, e.EncryptedHeaders);
  output.Seek(0, soFromEnd);
  std::memset(e.Central, 0, kCentralSize);
  PutLE32(e.Central, 0x02014B50u);
  PutLE16(e.Central + 4, 20);
  std::memcpy(e.Central + 6, loc + 4, 24);
  PutLE16(e.Central + 36, 1);
  PutLE32(e.Central + 38, e.Attr);
  e.NewOffset = localPos;
  e.RawName = raw;
  e.Name = stored;
  e.Extra.clear();
  e.Comment.clear();
  // The data is checked against what the header records.
  if (OnEnd) OnEnd(this, stored, (size == 0) || (Crc32Register ^ 0xFFFFFFFFu) == crc);
  return true;
}

bool TZip::WriteDirectory(TStream32& output) {
  if (Spanning()) {
    TDiskSpanObj span(*this, output);
    if (span.Run()) return true;
    // A failed span reports no entries; nothing of the run is kept.
    FilesAdded = 0;
    FList.clear();
    RaiseError(FArchiveFile, L"", L"0", GetCancel() ? zevUserCanceled : zevWriteError);
  }
  int64_t cdStart = output.Seek(0, soFromEnd);
  uint32_t entries = 0;
  for (auto& e : FList) {
    if (e.Action == 2) continue;
    if (e.NewOffset > 0xFFFFFFFFll) return false;
    PutLE32(e.Central, 0x02014B50u);
    PutLE16(e.Central + 28, static_cast<uint16_t>(e.RawName.size()));
    PutLE16(e.Central + 30, static_cast<uint16_t>(e.Extra.size()));
    PutLE16(e.Central + 32, static_cast<uint16_t>(e.Comment.size()));
    PutLE16(e.Central + 34, 0);
    PutLE32(e.Central + 42, static_cast<uint32_t>(e.NewOffset));
    WriteHeaderAndName(output, e.Central, kCentralSize, e.RawName, e.EncryptedHeaders);
    WriteAll(output, e.Extra.data(), e.Extra.size());
    WriteAll(output, e.Comment.data(), e.Comment.size());
    ++entries;
  }
  int64_t cdEnd = output.Seek(0, soFromEnd);
  if (entries > 0xFFFF || cdEnd > 0xFFFFFFFFll) return false;
  uint8_t end[kEndSize]{};
  PutLE32(end, 0x06054B50u);
  PutLE16(end + 8, static_cast<uint16_t>(entries));
  PutLE16(end + 10, static_cast<uint16_t>(entries));
  PutLE32(end + 12, static_cast<uint32_t>(cdEnd - cdStart));
  PutLE32(end + 16, static_cast<uint32_t>(cdStart));
  std::string comment = ArchiveComment.substr(0, 0xFFFF);
  PutLE16(end + 20, static_cast<uint16_t>(comment.size()));
  WriteHeaderAndName(output, end, kEndSize, std::string(), EncryptHeaders);
  WriteAll(output, comment.data(), comment.size());
  return true;
}

void TZip::WriteEmptyEndRecord(TStream32& output) {
  uint8_t end[kEndSize]{};
  PutLE32(end, 0x06054B50u);
  output.Seek(0, soFromEnd);
  WriteAll(output, end, kEndSize);
}

// ---- Comments ----

namespace {
// Takes what a directory read copies of a stub, and keeps nothing.
class TNoOutput : public TzevTempOutput {
 public:
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void*, int32_t count) override { return count; }
  int64_t Seek(int64_t, TSeekOrigin32) override { return 0; }
  int Commit() override { return 0; }
  void Discard() override {}
};
}  // namespace

int TZip::OpenForComments() {
  FList.clear();
  FCommentsModified = false;
  ArchiveCommentSet = false;
  FCommentsDataEnd = 0;
  auto in = FileSys->OpenRead(FArchiveFile);
  if (!in) {
    DoError(FArchiveFile, L"", L"0", zevOpenError);
    return 0;
  }
  TSwitch saved = Switch;
  Switch = swAdd;
  TNoOutput none;
  try {
    ReadDirectory(*in, none);
  } catch (const E_RAISE&) {
    FList.clear();
  }
  Switch = saved;
  if (FList.empty()) return 0;
  TDetectResult r;
  ZipEndSearch(*in, r);
  uint32_t cdOffset = GetLE32(r.End + 16), cdSize = GetLE32(r.End + 12);
  int64_t shift = std::max<int64_t>(0, r.EndPos - cdOffset - cdSize);
  FCommentsDataEnd = static_cast<int64_t>(cdOffset) + shift;
  // The entries stay where they are.
  for (auto& e : FList) e.NewOffset = e.OldOffset;
  ArchiveCommentSet = true;
  return static_cast<int>(FList.size());
}

bool TZip::GetEntryComment(int index, std::wstring& name, std::string& text) const {
  if (index < 0 || static_cast<size_t>(index) >= FList.size()) return false;
  name = FList[static_cast<size_t>(index)].Name;
  text = FList[static_cast<size_t>(index)].Comment;
  return true;
}

void TZip::SetEntryComment(int index, const std::string& text) {
  if (index < 0 || static_cast<size_t>(index) >= FList.size()) return;
  TCompEntry& e = FList[static_cast<size_t>(index)];
  std::string t = text.substr(0, 0xFFFF);
  if (t == e.Comment) return;
  e.Comment = t;
  PutLE16(e.Central + 32, static_cast<uint16_t>(t.size()));
  FCommentsModified = true;
}

void TZip::SetArchiveComment(const std::string& text) {
  std::string t = text.substr(0, 0xFFFF);
  if (t == ArchiveComment) return;
  ArchiveComment = t;
  ArchiveCommentSet = true;
  FCommentsModified = true;
}

bool TZip::CommitComments() {
  bool modified = FCommentsModified && !GetCancel() && !FList.empty();
  FCommentsModified = false;
  if (!modified) {
    FList.clear();
    return false;
  }
  DiskManager.CheckDrive(FArchiveFile);
  auto in = FileSys->OpenRead(FArchiveFile);
  auto out = in ? FileSys->CreateReplacement(FArchiveFile, GetTempDir(), DeleteOptions) : nullptr;
  bool ok = false;
  if (!in || !out) {
    DoError(FArchiveFile, L"", L"0", in ? zevCreateError : zevOpenError);
  } else if (Spanning()) {
    // The directory of a set on removable disks lies on its last disk only.
    DoError(FArchiveFile, L"", L"0", zevInvalidArcType);
  } else {
    try {
      in->Seek(0, soFromBeginning);
      CopyEntryData(*in, *out, FCommentsDataEnd);
      ok = WriteDirectory(*out);
    } catch (const E_RAISE&) {
      ok = false;
    } catch (const EStreamError&) {
      ok = false;
    }
  }
  in.reset();
  if (out) {
    if (!ok) {
      out->Discard();
    } else if (int rc = out->Commit()) {
      DoError(FArchiveFile, L"", L"0", rc);
      ok = false;
    }
  }
  FList.clear();
  return ok;
}

// ---- TDiskSpanObj ----

TDiskSpanObj::TDiskSpanObj(TZip& writer, TStream32& source) : FWriter(writer), FSource(source) {}

bool TDiskSpanObj::FirstDisk() {
  DiskNumber = 1;
  FLastSerial = 0;
  FNeeded = FWriter.LeaveSpaceOnFirstDisk + 10000;
  FFree = FWriter.DiskManager.FreeSpace - 10000;
  return RequestDisk();
}

bool TDiskSpanObj::NextDisk() {
  if (!CloseVolume(false)) return false;
  ++DiskNumber;
  FNeeded = 10000;
  return RequestDisk();
}

bool TDiskSpanObj::CloseVolume(bool last) {
  if (!FVolume) return true;
  int rc;
  if (DiskNumber == 1 && FFirstReplaces && !last) {
    rc = FVolume->Close();
    FFirstVolume = std::move(FVolume);
  } else {
    rc = FVolume->Commit();
  }
  FVolume.reset();
  if (rc) {
    FWriter.DoError(FWriter.ArchiveFile(), L"", std::to_wstring(DiskNumber), rc);
    return false;
  }
  return true;
}

bool TDiskSpanObj::ClearDisk() {
  TzevFileSys& fs = *FWriter.FileSys;
  auto reread = [&] {
    FWriter.DiskManager.CheckDrive(FWriter.ArchiveFile());
    FFree = FWriter.DiskManager.FreeSpace;
    return FFree >= FNeeded;
  };
  if (!FWriter.OnClearDisk) {
    if (reread()) return true;
    FWriter.DoError(FWriter.ArchiveFile(), L"OnClearDisk", std::to_wstring(DiskNumber), zevEventNotAssigned);
    return false;
  }
  (void)fs;
  for (;;) {
    bool cancel = true;
    FWriter.OnClearDisk(this, FWriter.DiskManager.Drive, FNeeded, FWriter.DiskManager.FreeSpace,
                        FWriter.DiskManager.TotalSpace, cancel);
    if (cancel) return false;
    if (reread()) return true;
  }
}

bool TDiskSpanObj::RequestDisk() {
  TzevFileSys& fs = *FWriter.FileSys;
  const std::wstring& name = FWriter.ArchiveFile();
  if (!FWriter.OnInsertDisk) {
    FWriter.DoError(name, L"OnInsertDisk", std::to_wstring(DiskNumber), zevEventNotAssigned);
    return false;
  }
  if (FFirstRequest && !fs.FileExists(name) && FFree >= FNeeded) {
    FFirstRequest = false;
    return OpenVolume();
  }
  FFirstRequest = false;
  for (;;) {
    bool cancel = true;
    FWriter.OnInsertDisk(this, std::to_wstring(DiskNumber), cancel);
    if (cancel) return false;
    if (fs.FileExists(name)) {
      // A file on the disk is replaced only with the user's consent, and only when its volume
      // is complete: until then the disk keeps what it had.
      TOverwriteMode mode = omSkip;
      if (FWriter.OnDiskSpanFileExists) {
        mode = omOverwrite;
        FWriter.OnDiskSpanFileExists(&FWriter, name, TZipCommon::ConvertDate(fs.GetDate(name, 1)), mode);
      } else {
        FWriter.DoError(name, L"OnFileExists", std::to_wstring(DiskNumber), zevEventNotAssigned);
      }
      if (mode == omSkip) {
        *FWriter.CancelPtr() = 1;
        return false;
      }
      fs.SetAttr(name, kAttrNormal);
    }
    if (!FWriter.DiskManager.CheckDrive(name)) continue;
    // The disk just filled is still in the drive: another is wanted.
    if (FWriter.DiskManager.Serial != 0 && FWriter.DiskManager.Serial == FLastSerial) continue;
    FFree = FWriter.DiskManager.FreeSpace;
    if (FWriter.DiskManager.FreeSpace < FWriter.DiskManager.TotalSpace && FFree < FNeeded && !ClearDisk())
      return false;
    if (FFree >= FNeeded) return OpenVolume();
  }
}

bool TDiskSpanObj::OpenVolume() {
  TzevFileSys& fs = *FWriter.FileSys;
  if (DiskNumber == 1) FFirstReplaces = fs.FileExists(FWriter.ArchiveFile());
  FVolume = fs.CreateReplacement(FWriter.ArchiveFile(), L"", FWriter.DeleteOptions);
  if (!FVolume) return false;
  wchar_t label[16];
  swprintf(label, 16, L"PKBACK# %03d", DiskNumber);
  std::wstring root = AppendBackslash(TDiskManager::DriveOf(FWriter.ArchiveFile()));
  if (!fs.SetVolumeLabel(root, label)) FWriter.DoError(FWriter.ArchiveFile(), L"", label, zevSpanLabelError);
  FWriter.DiskManager.CheckDrive(FWriter.ArchiveFile());
  FLastSerial = FWriter.DiskManager.Serial;
  if (DiskNumber == 1) FFirstSerial = FLastSerial;
  return true;
}

bool TDiskSpanObj::FinishFirstDisk() {
  if (!FFirstVolume) return true;
  // The set is complete: the first disk comes back to take its new volume in place of its old
  // file. Another disk in the drive (known by its serial) is asked away again.
  for (;;) {
    bool cancel = true;
    FWriter.OnInsertDisk(this, L"1", cancel);
    if (cancel) return false;
    if (!FWriter.DiskManager.CheckDrive(FWriter.ArchiveFile())) continue;
    if (FFirstSerial != 0 && FWriter.DiskManager.Serial != FFirstSerial) continue;
    break;
  }
  int rc = FFirstVolume->Commit();
  FFirstVolume.reset();
  if (rc) {
    FWriter.DoError(FWriter.ArchiveFile(), L"", L"1", rc);
    return false;
  }
  return true;
}

bool TDiskSpanObj::WriteSpanned(const void* buffer, int64_t count) {
  const uint8_t* p = static_cast<const uint8_t*>(buffer);
  while (count > 0) {
    if (FFree <= 0 && !NextDisk()) return false;
    int64_t chunk = std::min(FFree, count);
    if (FVolume->Write(p, static_cast<int32_t>(chunk)) != chunk) return false;
    FFree -= chunk;
    p += chunk;
    count -= chunk;
  }
  return true;
}

bool TDiskSpanObj::CopySpanned(int64_t from, int64_t count) {
  std::vector<uint8_t> buf(kBlock);
  while (count > 0) {
    int32_t n = static_cast<int32_t>(std::min<int64_t>(count, kBlock));
    if (!ReadAt(FSource, from, buf.data(), n) || !WriteSpanned(buf.data(), n)) return false;
    from += n;
    count -= n;
  }
  return true;
}

bool TDiskSpanObj::Run() {
  FWriter.DoProgress(0, 0, 0, 0);
  if (!FirstDisk()) return false;
  int64_t total = FSource.Seek(0, soFromEnd);
  if (total + 10000 > FFree) {
    uint8_t marker[4];
    PutLE32(marker, HeaderSignature(3, false));
    if (!WriteSpanned(marker, 4)) return false;
  }
  size_t done = 0;
  for (auto& e : FWriter.FList) {
    if (e.Action == 2) continue;
    if (*FWriter.CancelPtr()) return false;
    uint8_t loc[kLocalSize];
    if (!ReadAt(FSource, e.NewOffset, loc, kLocalSize) || !IsLocalSignature(GetLE32(loc))) return false;
    int64_t len = static_cast<int64_t>(kLocalSize) + GetLE16(loc + 26) + GetLE16(loc + 28) + GetLE32(loc + 18);
    // A local header never straddles two disks.
    if (FFree < static_cast<int64_t>(kLocalSize) + GetLE16(loc + 26) && !NextDisk()) return false;
    int64_t from = e.NewOffset;
    e.NewOffset = FVolume->Seek(0, soFromEnd);
    PutLE16(e.Central + 34, static_cast<uint16_t>(DiskNumber - 1));
    if (!CopySpanned(from, len)) return false;
    FWriter.DoProgress(static_cast<double>(++done), static_cast<double>(FWriter.FList.size() + 1), 0, 0);
    FWriter.FileSys->ProcessMessages();
  }
  // The central directory and the end record.
  uint16_t cdDisk = static_cast<uint16_t>(DiskNumber - 1);
  int64_t cdOffset = FVolume->Seek(0, soFromEnd);
  if (FFree <= 0) {
    if (!NextDisk()) return false;
    cdDisk = static_cast<uint16_t>(DiskNumber - 1);
    cdOffset = 0;
  }
  int64_t cdSize = 0;
  uint16_t entries = 0;
  for (auto& e : FWriter.FList) {
    if (e.Action == 2) continue;
    PutLE32(e.Central, 0x02014B50u);
    PutLE16(e.Central + 28, static_cast<uint16_t>(e.RawName.size()));
    PutLE16(e.Central + 30, static_cast<uint16_t>(e.Extra.size()));
    PutLE16(e.Central + 32, static_cast<uint16_t>(e.Comment.size()));
    PutLE32(e.Central + 42, static_cast<uint32_t>(e.NewOffset));
    TMemoryStream32 head;
    WriteHeaderAndName(head, e.Central, kCentralSize, e.RawName, e.EncryptedHeaders);
    if (!WriteSpanned(head.Memory(), head.GetSize()) ||
        !WriteSpanned(e.Extra.data(), static_cast<int64_t>(e.Extra.size())) ||
        !WriteSpanned(e.Comment.data(), static_cast<int64_t>(e.Comment.size())))
      return false;
    cdSize += static_cast<int64_t>(kCentralSize + e.RawName.size() + e.Extra.size() + e.Comment.size());
    ++entries;
  }
  uint8_t end[kEndSize]{};
  std::string comment = FWriter.ArchiveComment.substr(0, 0xFFFF);
  // The end record and its comment stay together on the last disk.
  if (FFree < static_cast<int64_t>(kEndSize + comment.size()) && !NextDisk()) return false;
  PutLE32(end, 0x06054B50u);
  PutLE16(end + 4, static_cast<uint16_t>(DiskNumber - 1));
  PutLE16(end + 6, cdDisk);
  PutLE16(end + 8, entries);
  PutLE16(end + 10, entries);
  PutLE32(end + 12, static_cast<uint32_t>(cdSize));
  PutLE32(end + 16, static_cast<uint32_t>(cdOffset));
  PutLE16(end + 20, static_cast<uint16_t>(comment.size()));
  if (!WriteSpanned(end, kEndSize) || !WriteSpanned(comment.data(), static_cast<int64_t>(comment.size())))
    return false;
  return CloseVolume(true) && FinishFirstDisk();
}
