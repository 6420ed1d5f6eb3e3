#include "archive/engine/zevFileSys.h"

#include <cstring>

namespace {
std::wstring Parent(const std::wstring& key) {
  size_t p = key.rfind(L'\\');
  return p == std::wstring::npos ? std::wstring() : key.substr(0, p);
}
}  // namespace

// A stream over one file of a TMemFileSys: reads see the file as it is; writes go to it.
class TMemFileStream : public TStream32 {
 public:
  TMemFileStream(TMemFileSys& fs, const std::wstring& key, bool writable, int64_t pos)
      : FFs(fs), FKey(key), FWritable(writable), FPos(pos) {}
  int32_t Read(void* buffer, int32_t count) override {
    auto* f = File();
    if (!f || count <= 0 || FPos >= static_cast<int64_t>(f->Data.size())) return 0;
    int64_t n = std::min<int64_t>(count, static_cast<int64_t>(f->Data.size()) - FPos);
    std::memcpy(buffer, f->Data.data() + FPos, static_cast<size_t>(n));
    FPos += n;
    return static_cast<int32_t>(n);
  }
  int32_t Write(const void* buffer, int32_t count) override {
    auto* f = File();
    if (!f || !FWritable || count <= 0) return 0;
    int64_t n = count;
    if (FFs.WriteLimit >= 0) n = std::max<int64_t>(0, std::min<int64_t>(n, FFs.WriteLimit - FFs.FWritten));
    if (n == 0) return 0;
    if (FPos + n > static_cast<int64_t>(f->Data.size())) {
      // Files written a block at a time grow by doubling, not by a copy per block.
      size_t need = static_cast<size_t>(FPos + n);
      if (need > f->Data.capacity()) f->Data.reserve(std::max(need, f->Data.capacity() * 2));
      f->Data.resize(need);
    }
    std::memcpy(f->Data.data() + FPos, buffer, static_cast<size_t>(n));
    FPos += n;
    FFs.FWritten += n;
    return static_cast<int32_t>(n);
  }
  int64_t Seek(int64_t offset, TSeekOrigin32 origin) override {
    auto* f = File();
    int64_t size = f ? static_cast<int64_t>(f->Data.size()) : 0;
    int64_t base = origin == soFromBeginning ? 0 : origin == soFromCurrent ? FPos : size;
    int64_t np = base + offset;
    if (np >= 0) FPos = np;
    return FPos;
  }
  void SetSize(int64_t newSize) override {
    auto* f = File();
    if (f && FWritable && newSize >= 0) f->Data.resize(static_cast<size_t>(newSize));
  }
  const char* ClassName() const override { return "TMemFileStream"; }

 protected:
  TMemFileSys::TFile* File() {
    auto it = FFs.FFiles.find(FKey);
    return it == FFs.FFiles.end() ? nullptr : &it->second.second;
  }
  TMemFileSys& FFs;
  std::wstring FKey;
  bool FWritable;
  int64_t FPos;
};

// A replacement: a hidden file of its own until committed.
class TMemReplacement : public TzevTempOutput {
 public:
  TMemReplacement(TMemFileSys& fs, const std::wstring& target, const std::wstring& temp)
      : FFs(fs), FTarget(target), FTemp(temp), FStream(fs, TMemFileSys::Key(temp), true, 0) {}
  ~TMemReplacement() override {
    if (!FDone) Discard();
  }
  int32_t Read(void* b, int32_t c) override { return FStream.Read(b, c); }
  int32_t Write(const void* b, int32_t c) override { return FStream.Write(b, c); }
  int64_t Seek(int64_t o, TSeekOrigin32 origin) override { return FStream.Seek(o, origin); }
  void SetSize(int64_t n) override { FStream.SetSize(n); }
  int Commit() override {
    if (FDone) return 0;
    FDone = true;
    auto it = FFs.FFiles.find(TMemFileSys::Key(FTemp));
    if (it == FFs.FFiles.end()) return zevWriteError;
    TMemFileSys::TFile f = std::move(it->second.second);
    FFs.FFiles.erase(it);
    if (!FTarget.empty()) FFs.Put(FTarget, f.Data, kAttrArchive);
    return 0;
  }
  void Discard() override {
    FDone = true;
    FFs.FFiles.erase(TMemFileSys::Key(FTemp));
  }

 private:
  TMemFileSys& FFs;
  std::wstring FTarget, FTemp;
  TMemFileStream FStream;
  bool FDone = false;
};

std::wstring TMemFileSys::Key(const std::wstring& name) {
  std::wstring k;
  k.reserve(name.size());
  for (wchar_t c : name) {
    if (c == L'/') c = L'\\';
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
    if (c == L'\\' && !k.empty() && k.back() == L'\\' && k.size() > 1) continue;
    k += c;
  }
  while (k.size() > 1 && k.back() == L'\\') k.pop_back();
  return k;
}

void TMemFileSys::Put(const std::wstring& name, const std::vector<uint8_t>& data, uint32_t attr) {
  TFile f;
  f.Data = data;
  f.Attr = attr;
  std::wstring k = Key(name);
  auto it = FFiles.find(k);
  if (it != FFiles.end()) f.Date = it->second.second.Date;
  FFiles[k] = {name, std::move(f)};
}

void TMemFileSys::Put(const std::wstring& name, std::string_view data, uint32_t attr) {
  Put(name, std::vector<uint8_t>(data.begin(), data.end()), attr);
}

TMemFileSys::TFile* TMemFileSys::Find(const std::wstring& name) {
  auto it = FFiles.find(Key(name));
  return it == FFiles.end() ? nullptr : &it->second.second;
}

std::vector<uint8_t> TMemFileSys::Get(const std::wstring& name) {
  auto* f = Find(name);
  return f ? f->Data : std::vector<uint8_t>();
}

std::vector<std::wstring> TMemFileSys::Files() const {
  std::vector<std::wstring> r;
  for (const auto& [k, v] : FFiles) r.push_back(v.first);
  return r;
}

std::unique_ptr<TStream32> TMemFileSys::OpenRead(const std::wstring& name) {
  if (!Find(name)) return nullptr;
  return std::make_unique<TMemFileStream>(*this, Key(name), false, 0);
}

std::unique_ptr<TStream32> TMemFileSys::Create(const std::wstring& name) {
  if (name.empty() || DirExists(name)) return nullptr;
  auto* f = Find(name);
  if (f && (f->Attr & kAttrReadOnly)) return nullptr;
  Put(name, std::vector<uint8_t>{}, kAttrArchive);
  return std::make_unique<TMemFileStream>(*this, Key(name), true, 0);
}

std::unique_ptr<TStream32> TMemFileSys::OpenAppend(const std::wstring& name) {
  auto* f = Find(name);
  if (!f || (f->Attr & kAttrReadOnly)) return nullptr;
  return std::make_unique<TMemFileStream>(*this, Key(name), true, static_cast<int64_t>(f->Data.size()));
}

std::unique_ptr<TzevTempOutput> TMemFileSys::CreateReplacement(const std::wstring& target, const std::wstring& tempDir,
                                                               TDeleteOptions) {
  static int serial = 0;
  std::wstring dir = tempDir.empty() ? SystemTemp() : tempDir;
  if (!dir.empty() && dir.back() != L'\\') dir += L'\\';
  std::wstring temp = dir + L"wm" + std::to_wstring(++serial) + L".tmp";
  Put(temp, std::vector<uint8_t>{}, kAttrArchive);
  return std::make_unique<TMemReplacement>(*this, target, temp);
}

uint32_t TMemFileSys::GetAttr(const std::wstring& name) {
  std::wstring k = Key(name);
  if (k.empty()) return kNoFile;
  if (auto* f = Find(name)) return f->Attr;
  if (k.size() == 2 && k[1] == L':') return kAttrDirectory;  // a drive root
  if (FDirs.count(k)) return kAttrDirectory;
  std::wstring prefix = k + L"\\";
  auto it = FFiles.lower_bound(prefix);
  if (it != FFiles.end() && it->first.compare(0, prefix.size(), prefix) == 0) return kAttrDirectory;
  auto d = FDirs.lower_bound(prefix);
  if (d != FDirs.end() && d->first.compare(0, prefix.size(), prefix) == 0) return kAttrDirectory;
  return kNoFile;
}

bool TMemFileSys::SetAttr(const std::wstring& name, uint32_t attr) {
  auto* f = Find(name);
  if (!f) return GetAttr(name) != kNoFile;
  f->Attr = attr == kAttrNormal ? 0 : attr & ~kAttrDirectory;
  return true;
}

int32_t TMemFileSys::GetDate(const std::wstring& name, int) {
  auto* f = Find(name);
  return f ? f->Date : 0;
}

bool TMemFileSys::SetDate(const std::wstring& name, int32_t dosDateTime) {
  auto* f = Find(name);
  if (!f) return false;
  f->Date = dosDateTime;
  return true;
}

bool TMemFileSys::RemoveFile(const std::wstring& name, TDeleteOptions) { return FFiles.erase(Key(name)) > 0; }

bool TMemFileSys::ForceDirs(const std::wstring& dir) {
  std::wstring k = Key(dir);
  if (k.empty()) return false;
  if (Find(dir)) return false;  // a file stands in the way
  for (std::wstring p = k; !p.empty() && !(p.size() == 2 && p[1] == L':'); p = Parent(p)) {
    if (FFiles.count(p)) return false;
    FDirs.emplace(p, p);
  }
  return true;
}

bool TMemFileSys::ListFolder(const std::wstring& dir, const std::function<bool(const TzevFindData&)>& each) {
  std::wstring k = Key(dir);
  if (GetAttr(dir) == kNoFile || !(GetAttr(dir) & kAttrDirectory)) return false;
  std::wstring prefix = k + L"\\";
  std::map<std::wstring, TzevFindData> found;  // sorted by key, one per child
  for (auto it = FFiles.lower_bound(prefix); it != FFiles.end() && it->first.compare(0, prefix.size(), prefix) == 0;
       ++it) {
    std::wstring rest = it->first.substr(prefix.size());
    size_t sep = rest.find(L'\\');
    const std::wstring& full = it->second.first;
    TzevFindData d;
    if (sep == std::wstring::npos) {
      size_t p = full.find_last_of(L"\\/");
      d.Name = p == std::wstring::npos ? full : full.substr(p + 1);
      d.Attr = it->second.second.Attr ? it->second.second.Attr : kAttrNormal;
      d.Size = it->second.second.Data.size();
      d.DosDate = it->second.second.Date;
    } else {
      d.Name = rest.substr(0, sep);
      d.Attr = kAttrDirectory;
    }
    found.emplace(Key(d.Name), d);
  }
  for (auto it = FDirs.lower_bound(prefix); it != FDirs.end() && it->first.compare(0, prefix.size(), prefix) == 0;
       ++it) {
    std::wstring rest = it->first.substr(prefix.size());
    std::wstring name = rest.substr(0, rest.find(L'\\'));
    TzevFindData d;
    d.Name = name;
    d.Attr = kAttrDirectory;
    found.emplace(name, d);
  }
  for (const auto& [key, d] : found)
    if (!each(d)) break;
  return true;
}

bool TMemFileSys::VolumeInfo(const std::wstring&, TzevVolumeInfo& info, std::wstring&) {
  info = Volume;
  return true;
}

int TMemFileSys::Ask(const std::wstring& text, const std::wstring& buttons) {
  Asked.push_back(text);
  if (!Answers.empty()) {
    int a = Answers.front();
    Answers.erase(Answers.begin());
    return a;
  }
  return buttons.find(L'|') == std::wstring::npos ? 0 : 1;
}
