// The per-format archive controls: which back end does each operation (the engine's components,
// a library driver, or the external archiver program named in the settings), and the external
// programs' command lines.
#include <algorithm>

#include "archive/engine/zevBlakHole.h"
#include "archive/engine/zevGZip.h"
#include "archive/engine/zevLha.h"
#include "archive/engine/zevMakeCab.h"
#include "archive/engine/zevTar.h"
#include "archive/engine/zevUnARJ.h"
#include "archive/engine/zevUnArc.h"
#include "archive/engine/zevUnBH.h"
#include "archive/engine/zevUnCab.h"
#include "archive/engine/zevUnGZip.h"
#include "archive/engine/zevUnLha.h"
#include "archive/engine/zevUnTar.h"
#include "archive/engine/zevUnZip.h"
#include "archive/engine/zevUnZoo.h"
#include "archive/engine/zevZip.h"
#include "archive/layer/ArcCtrl.h"
#include "foundation/MOption.h"
#include "foundation/MYTOOL.h"

namespace {
const TArchiverProgram& Archiver(TArchiverIndex i) { return Options.Archivers[i]; }

wchar_t LevelChar(const wchar_t* five, int level) { return five[std::clamp(level, 0, 4)]; }

std::wstring ShortArchive(const TGeneralArchiveControl& c) { return GetShortPath(c.ArchiveName); }
std::wstring QuotedArchive(const TGeneralArchiveControl& c) { return QuoteIfSpaces(Trim(c.ArchiveName)); }
}  // namespace

std::wstring SwitchWithValue(const std::wstring& sw, const std::wstring& value) {
  if (value.find_first_of(L" \t\"") == std::wstring::npos) return sw + value;
  // The command-line rules of the C runtime: a quote inside is written \", and backslashes are
  // doubled where a quote follows them.
  std::wstring q = L"\"";
  size_t slashes = 0;
  for (wchar_t ch : value) {
    if (ch == L'\\') {
      ++slashes;
      continue;
    }
    if (ch == L'"') {
      q.append(slashes * 2 + 1, L'\\');
    } else {
      q.append(slashes, L'\\');
    }
    slashes = 0;
    q += ch;
  }
  q.append(slashes * 2, L'\\');
  q += L'"';
  return sw + q;
}

TArchiverCall BuildArchiverCall(const TGeneralArchiveControl& c, TArcKind kind, char op) {
  TArchiverCall call;
  const bool x = op == 'x', a = op == 'a';
  const std::wstring& pw = c.Password;
  const std::wstring vol = std::to_wstring(c.VolumeSize);
  call.Folder = TGeneralArchiveControl::ProgramFolder(x ? c.DestFolder : c.SourceFolder);
  call.ListPrefix = L" @";
  std::wstring& p = call.Params;
  switch (kind) {
    case akZip:
      if (x) {
        call.Program = Archiver(arZIP).ExtrPrg;
        p = c.StorePaths ? L"-d -Jrhs" : L"-e";
        if (!pw.empty()) p += SwitchWithValue(L" -s", pw);
        if (c.Overwrite) p += L" -o";
        p += L" " + ShortArchive(c);
        call.ListKind = 0;
      } else if (a) {
        call.Program = Archiver(arZIP).AddPrg;
        p = L"-Jrhs";
        if (c.StorePaths) p += L" -p";
        if (c.RecurseDirs) p += L" -r";
        if (c.MoveFiles) p += L" -m";
        if (!pw.empty()) p += SwitchWithValue(L" -s", pw);
        p += std::wstring(L" -e") + LevelChar(L"0sfnx", c.CompressionLevel);
        p += L" " + QuotedArchive(c);
        call.ListKind = 1;
      } else {
        call.Program = Archiver(arZIP).AddPrg;
        p = L"-d -Jrhs " + ShortArchive(c);
        call.ListKind = 1;
      }
      break;
    case akRar:
    case akAce: {
      const bool rar = kind == akRar;
      call.Program = Archiver(rar ? arRAR : arACE).AddPrg;
      if (x) {
        p = c.StorePaths ? L"x" : L"e";
        if (!pw.empty()) p += SwitchWithValue(L" -p", pw);
        if (c.Overwrite) p += L" -y";
        p += L" " + ShortArchive(c);
        call.ListKind = 0;
      } else if (a) {
        p = c.MoveFiles ? L"m" : L"a";
        if (rar) {
          if (!c.StorePaths) p += L" -ep";
          if (c.RecurseDirs) p += L" -r";
        } else {
          p += c.StorePaths ? L" -ep-" : L" -ep";
          p += c.RecurseDirs ? L" -r" : L" -r-";
        }
        if (c.VolumeSize != 0) p += L" -v" + vol + L" -y";
        if (!pw.empty()) p += SwitchWithValue(L" -p", pw);
        p += std::wstring(L" -m") + LevelChar(L"01235", c.CompressionLevel);
        p += L" " + QuotedArchive(c);
        call.ListKind = c.StorePaths ? 2 : 0;
      } else {
        p = L"d " + ShortArchive(c);
        call.ListKind = rar ? 1 : 2;
      }
      break;
    }
    case akLzh:
      call.Program = Archiver(arLZH).AddPrg;
      if (x) {
        p = c.StorePaths ? L"x /a" : L"e /a";
        if (c.Overwrite) p += L" /c";
        p += L" " + ShortArchive(c);
        call.ListKind = 0;
      } else if (a) {
        p = c.MoveFiles ? L"m" : L"a";
        if (c.StorePaths) p += L" -p";
        if (c.RecurseDirs) p += L" -dr";
        p += L" " + QuotedArchive(c);
        call.ListKind = 1;
      } else {
        p = L"d " + ShortArchive(c);
        call.ListKind = 1;
      }
      break;
    case akArj:
      call.Program = Archiver(arARJ).AddPrg;
      call.ListPrefix = L" !";
      call.ListKind = 1;
      if (x) {
        p = c.StorePaths ? L"x /a /v" : L"e /a /v";
        if (!pw.empty()) p += SwitchWithValue(L" /g", pw);
        if (c.Overwrite) p += L" /y";
        p += L" " + ShortArchive(c);
      } else if (a) {
        p = c.MoveFiles ? L"m /a" : L"a /a";
        p += c.StorePaths ? L" /p" : L" /e";
        if (c.RecurseDirs) p += L" /r";
        if (c.VolumeSize != 0) p += L" /v" + vol + L"K /y";
        if (!pw.empty()) p += SwitchWithValue(L" /g", pw);
        p += std::wstring(L" /m") + LevelChar(L"01234", c.CompressionLevel);
        p += L" " + QuotedArchive(c);
      } else {
        p = L"d " + ShortArchive(c);
      }
      break;
    case akSqz:
      if (!x) break;
      call.Program = L"sqz.exe";
      p = c.StorePaths ? L"x" : L"e";
      if (c.Overwrite) p += L" -o1";
      p += L" " + ShortArchive(c);
      break;
    case akOmp:
      if (!x) break;
      call.Program = L"tomp.exe";
      p = (c.StorePaths ? L"x " : L"e ") + ShortArchive(c);
      break;
    default:
      break;
  }
  return call;
}

// ---- Engine-backed base ----

TEngineArchiveControl::TEngineArchiveControl(std::unique_ptr<TUnBase> reader, std::unique_ptr<TCompBase> writer)
    : FReader(std::move(reader)), FWriter(std::move(writer)) {
  HookLibraryEvents(FReader.get(), FWriter.get());
}

TEngineArchiveControl::~TEngineArchiveControl() {
  Extractor = nullptr;
  Compressor = nullptr;
}

TArcResultCode TEngineArchiveControl::Extract() {
  TGeneralArchiveControl::Extract();
  return LibraryExtract();
}
TArcResultCode TEngineArchiveControl::Add() {
  TGeneralArchiveControl::Add();
  return LibraryAdd();
}
TArcResultCode TEngineArchiveControl::Delete() {
  TGeneralArchiveControl::Delete();
  return LibraryDelete();
}

TArcResultCode TEngineArchiveControl::RunExternal(char operation) {
  // A self-extracting form runs the same program as its plain kind.
  const TArcKind kind = ArcType >= akZipSfx ? static_cast<TArcKind>(ArcType - (akZipSfx - akZip)) : ArcType;
  TArchiverCall call = BuildArchiverCall(*this, kind, operation);
  if (call.Program.empty() && call.Params.empty()) return arcFailed;
  std::wstring params = call.Params;
  if (!AllSelected) {
    std::wstring list;
    MakeListFile(call.ListKind, list);
    if (list.empty()) return arcProgramFailed;
    params += call.ListPrefix + list;
  }
  return RunArchiver(call.Program, params, call.Folder) ? arcOk : arcProgramFailed;
}

// ---- ZIP, JAR ----

TZipArchiveControl::TZipArchiveControl()
    : TEngineArchiveControl(std::make_unique<TUnZip>(nullptr), std::make_unique<TZip>(nullptr)) {}
TArcResultCode TZipArchiveControl::Extract() {
  TGeneralArchiveControl::Extract();
  return Archiver(arZIP).SelfControl ? LibraryExtract() : RunExternal('x');
}
TArcResultCode TZipArchiveControl::Add() {
  TGeneralArchiveControl::Add();
  return Archiver(arZIP).SelfControl ? LibraryAdd() : RunExternal('a');
}
TArcResultCode TZipArchiveControl::Delete() {
  TGeneralArchiveControl::Delete();
  return Archiver(arZIP).SelfControl ? LibraryDelete() : RunExternal('d');
}

TJARArchiveControl::TJARArchiveControl()
    : TEngineArchiveControl(std::make_unique<TUnJar>(nullptr), std::make_unique<TJar>(nullptr)) {}

// ---- RAR, ACE ----

TRarArchiveControl::TRarArchiveControl() : TEngineArchiveControl(nullptr, nullptr) {}
TArcResultCode TRarArchiveControl::Extract() {
  TGeneralArchiveControl::Extract();
  if (!Archiver(arRAR).SelfControl) return RunExternal('x');
  return RarLibraryExtract ? RarLibraryExtract(*this) : arcDllNotLoaded;
}
TArcResultCode TRarArchiveControl::Add() {
  TGeneralArchiveControl::Add();
  return RunExternal('a');
}
TArcResultCode TRarArchiveControl::Delete() {
  TGeneralArchiveControl::Delete();
  return RunExternal('d');
}

TAceArchiveControl::TAceArchiveControl() : TEngineArchiveControl(nullptr, nullptr) {}
TArcResultCode TAceArchiveControl::Extract() {
  TGeneralArchiveControl::Extract();
  if (!Archiver(arACE).SelfControl) return RunExternal('x');
  return AceLibraryExtract ? AceLibraryExtract(*this) : arcDllNotLoaded;
}
TArcResultCode TAceArchiveControl::Add() {
  TGeneralArchiveControl::Add();
  return RunExternal('a');
}
TArcResultCode TAceArchiveControl::Delete() {
  TGeneralArchiveControl::Delete();
  return RunExternal('d');
}

// ---- LZH ----

TLzhArchiveControl::TLzhArchiveControl()
    : TEngineArchiveControl(std::make_unique<TUnLha>(nullptr), std::make_unique<TLha>(nullptr)) {}
TArcResultCode TLzhArchiveControl::Extract() {
  TGeneralArchiveControl::Extract();
  return Archiver(arLZH).SelfControl ? LibraryExtract() : RunExternal('x');
}
TArcResultCode TLzhArchiveControl::Add() {
  TGeneralArchiveControl::Add();
  if (!Archiver(arLZH).SelfControl) return RunExternal('a');
  FWriter->SetDefaultExt(L".LZH");
  FWriter->SetCompressMethod(CompressionLevel <= 0 ? cmStore : CompressionLevel >= 4 ? cmFrozen6 : cmFrozen5);
  KeepMethod = true;
  return LibraryAdd();
}
TArcResultCode TLzhArchiveControl::Delete() {
  TGeneralArchiveControl::Delete();
  if (!Archiver(arLZH).SelfControl) return RunExternal('d');
  FWriter->SetDefaultExt(L".LZH");
  return LibraryDelete();
}

// ---- ARJ ----

TArjArchiveControl::TArjArchiveControl() : TEngineArchiveControl(std::make_unique<TUnArj>(nullptr), nullptr) {}
TArcResultCode TArjArchiveControl::Extract() {
  TGeneralArchiveControl::Extract();
  return Archiver(arARJ).SelfControl ? LibraryExtract() : RunExternal('x');
}
TArcResultCode TArjArchiveControl::Add() {
  TGeneralArchiveControl::Add();
  return RunExternal('a');
}
TArcResultCode TArjArchiveControl::Delete() {
  TGeneralArchiveControl::Delete();
  return RunExternal('d');
}

// ---- CAB, BH, GZIP, TAR ----

TCabArchiveControl::TCabArchiveControl()
    : TEngineArchiveControl(std::make_unique<TUnCab>(nullptr), std::make_unique<TMakeCab>(nullptr)) {}
TArcResultCode TCabArchiveControl::Add() {
  TGeneralArchiveControl::Add();
  if (!FWriter) return arcFailed;
  StoreEmptySubDirs = false;
  FWriter->SetCompressMethod(CompressionLevel <= 0   ? cmStore
                             : CompressionLevel <= 2 ? cmQuantum
                             : CompressionLevel == 3 ? cmMsZip
                                                     : cmLzx);
  KeepMethod = true;
  return LibraryAdd();
}

TBHArchiveControl::TBHArchiveControl()
    : TEngineArchiveControl(std::make_unique<TUnBh>(nullptr), std::make_unique<TBlakHole>(nullptr)) {}

TGZipArchiveControl::TGZipArchiveControl()
    : TEngineArchiveControl(std::make_unique<TUnGZip>(nullptr), std::make_unique<TGZip>(nullptr)) {}
TArcResultCode TGZipArchiveControl::Add() {
  TGeneralArchiveControl::Add();
  if (!FWriter) return arcFailed;
  KeepMethod = true;
  static_cast<TGZip*>(FWriter.get())->Extension = exUser;
  FWriter->SetCompressMethod(cmDeflate);
  TArcResultCode r = LibraryAdd();
  ArchiveName = FWriter->ArchiveFile();
  return r;
}

TTarArchiveControl::TTarArchiveControl()
    : TEngineArchiveControl(std::make_unique<TUnTar>(nullptr), std::make_unique<TTar>(nullptr)) {}
TArcResultCode TTarArchiveControl::Add() {
  TGeneralArchiveControl::Add();
  if (!FWriter) return arcFailed;
  KeepMethod = true;
  FWriter->SetCompressMethod(CompressionLevel != 0 ? cmGzipTar : cmTarred);
  TArcResultCode r = LibraryAdd();
  ArchiveName = FWriter->ArchiveFile();
  return r;
}

// ---- Read-only formats ----

TArcArchiveControl::TArcArchiveControl() : TEngineArchiveControl(std::make_unique<TUnArc>(nullptr), nullptr) {}
TZooArchiveControl::TZooArchiveControl() : TEngineArchiveControl(std::make_unique<TUnZoo>(nullptr), nullptr) {}

TSqzArchiveControl::TSqzArchiveControl() : TEngineArchiveControl(nullptr, nullptr) {}
TArcResultCode TSqzArchiveControl::Extract() {
  TGeneralArchiveControl::Extract();
  return RunExternal('x');
}
TOmpArchiveControl::TOmpArchiveControl() : TEngineArchiveControl(nullptr, nullptr) {}
TArcResultCode TOmpArchiveControl::Extract() {
  TGeneralArchiveControl::Extract();
  return RunExternal('x');
}

// ---- By kind ----

std::unique_ptr<TGeneralArchiveControl> CreateArchiveControl(uint8_t arcType) {
  std::unique_ptr<TGeneralArchiveControl> c;
  switch (arcType) {
    case akZip: case akZipSfx: c = std::make_unique<TZipArchiveControl>(); break;
    case akRar: case akRarSfx: c = std::make_unique<TRarArchiveControl>(); break;
    case akAce: case akAceSfx: c = std::make_unique<TAceArchiveControl>(); break;
    case akCab: case akCabSfx: c = std::make_unique<TCabArchiveControl>(); break;
    case akLzh: case akLzhSfx: c = std::make_unique<TLzhArchiveControl>(); break;
    case akArj: case akArjSfx: c = std::make_unique<TArjArchiveControl>(); break;
    case akOmp: case akOmpSfx: c = std::make_unique<TOmpArchiveControl>(); break;
    case akSqz: case akSqzSfx: c = std::make_unique<TSqzArchiveControl>(); break;
    case akArc: c = std::make_unique<TArcArchiveControl>(); break;
    case akZoo: c = std::make_unique<TZooArchiveControl>(); break;
    case akTar: c = std::make_unique<TTarArchiveControl>(); break;
    case akBh: c = std::make_unique<TBHArchiveControl>(); break;
    case akJar: c = std::make_unique<TJARArchiveControl>(); break;
    case akGz: c = std::make_unique<TGZipArchiveControl>(); break;
    default: c = std::make_unique<TGeneralArchiveControl>(); break;
  }
  c->ArcType = static_cast<TArcKind>(arcType < kArcKindCount ? arcType : 0);
  return c;
}
