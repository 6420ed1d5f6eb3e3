#include "panels/DropSrc.h"

#include <shlobj.h>
#include <shobjidl.h>

#include <cstring>
#include <map>
#include <optional>

#include "foundation/MYTOOL.h"
#include "panels/ComBase.h"
#include "panels/DropData.h"

const wchar_t* const CFSTR_FileNameMapA = L"FileNameMap";
const wchar_t* const CFSTR_FileNameMapW = L"FileNameMapW";
const wchar_t* const CFSTR_ShellIdList = L"Shell IDList Array";
const wchar_t* const CFSTR_PreferredEffect = L"Preferred DropEffect";
const wchar_t* const CFSTR_PerformedEffect = L"Performed DropEffect";

// {6E3A1C52-8B7D-4F0E-9A41-2D5C7B1E9F03}
const IID IID_IVelmoFileData = {0x6e3a1c52, 0x8b7d, 0x4f0e, {0x9a, 0x41, 0x2d, 0x5c, 0x7b, 0x1e, 0x9f, 0x03}};

UINT RegisteredFormat(const wchar_t* name) { return RegisterClipboardFormatW(name); }

namespace {
using TBytes = std::vector<uint8_t>;

HGLOBAL GlobalFromBytes(const TBytes& bytes) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, bytes.empty() ? 1 : bytes.size());
  if (!h) return nullptr;
  if (void* p = GlobalLock(h)) {
    if (!bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
    GlobalUnlock(h);
  }
  return h;
}

TBytes BytesFromGlobal(HGLOBAL h) {
  TBytes out;
  if (!h) return out;
  SIZE_T size = GlobalSize(h);
  if (const void* p = GlobalLock(h)) {
    out.assign(static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + size);
    GlobalUnlock(h);
  }
  return out;
}

// The shell's item list array: the parent folder's item list, then each item's list relative
// to it. Files of one folder share it as parent; files of several folders stand below the
// desktop with their full lists. Empty when an item is unknown to the shell.
TBytes BuildShellIdList(const std::vector<std::wstring>& files) {
  if (files.empty()) return {};
  std::wstring parent = ExtractParentDir(files[0]);
  bool oneFolder = true;
  for (const auto& f : files)
    if (lstrcmpiW(ExtractParentDir(f).c_str(), parent.c_str()) != 0) oneFolder = false;
  std::vector<TBytes> lists;
  LPITEMIDLIST parentList = oneFolder ? ILCreateFromPathW(IncludeTrailingBackslash(parent).c_str()) : nullptr;
  if (oneFolder && !parentList) return {};
  auto listBytes = [](LPCITEMIDLIST pidl) {
    UINT size = ILGetSize(pidl);
    const auto* p = reinterpret_cast<const uint8_t*>(pidl);
    return TBytes(p, p + size);
  };
  if (parentList) {
    lists.push_back(listBytes(parentList));
  } else {
    TBytes desktop(2, 0);  // the empty list: the desktop
    lists.push_back(desktop);
  }
  for (const auto& f : files) {
    LPITEMIDLIST full = ILCreateFromPathW(f.c_str());
    if (!full) {
      lists.clear();
      break;
    }
    lists.push_back(listBytes(oneFolder ? ILFindLastID(full) : full));
    ILFree(full);
  }
  if (parentList) ILFree(parentList);
  if (lists.empty()) return {};
  const size_t count = files.size();
  size_t offset = sizeof(UINT) * (count + 2);
  TBytes out(offset, 0);
  auto put = [&out](size_t at, UINT v) { std::memcpy(out.data() + at, &v, sizeof v); };
  put(0, static_cast<UINT>(count));
  for (size_t i = 0; i < lists.size(); ++i) {
    put(sizeof(UINT) * (i + 1), static_cast<UINT>(out.size()));
    out.insert(out.end(), lists[i].begin(), lists[i].end());
  }
  return out;
}

class TFormatEnum : public TComObject<IEnumFORMATETC> {
 public:
  TFormatEnum(std::vector<FORMATETC> formats, ULONG pos) : FFormats(std::move(formats)), FPos(pos) {}
  STDMETHODIMP Next(ULONG count, FORMATETC* out, ULONG* fetched) override {
    if (!out || (count > 1 && !fetched)) return E_POINTER;
    ULONG n = 0;
    while (n < count && FPos < FFormats.size()) out[n++] = FFormats[FPos++];
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    FPos += count;
    if (FPos > FFormats.size()) {
      FPos = static_cast<ULONG>(FFormats.size());
      return S_FALSE;
    }
    return S_OK;
  }
  STDMETHODIMP Reset() override {
    FPos = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumFORMATETC** out) override {
    if (!out) return E_POINTER;
    *out = new TFormatEnum(FFormats, FPos);
    return S_OK;
  }

 private:
  std::vector<FORMATETC> FFormats;
  ULONG FPos;
};

// What every data object of this program shares: no advise sinks, and the private identity by
// which a target knows the drag is its own.
class TOwnDataObject : public TComObject<IDataObject> {
 public:
  STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
  STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

 protected:
  void* QueryOther(REFIID riid) override {
    return IsEqualIID(riid, IID_IVelmoFileData) ? static_cast<IDataObject*>(this) : nullptr;
  }
};

class TFileDataObject : public TOwnDataObject {
 public:
  TFileDataObject(const std::vector<std::wstring>& files, const std::vector<std::wstring>& mapped, DWORD effect) {
    const bool maps = !mapped.empty() && mapped.size() == files.size();
    Offer(CF_HDROP, BuildDropFiles(files));
    TBytes ids = BuildShellIdList(files);
    Offer(RegisteredFormat(CFSTR_ShellIdList), ids.empty() ? std::nullopt : std::optional<TBytes>(ids));
    TBytes effectBytes(4);
    std::memcpy(effectBytes.data(), &effect, 4);
    Offer(RegisteredFormat(CFSTR_PreferredEffect), effect ? std::optional<TBytes>(effectBytes) : std::nullopt);
    Offer(RegisteredFormat(CFSTR_FileNameMapA), maps ? std::optional<TBytes>(BuildNameMap(mapped, false)) : std::nullopt);
    Offer(RegisteredFormat(CFSTR_FileNameMapW), maps ? std::optional<TBytes>(BuildNameMap(mapped, true)) : std::nullopt);
  }

  STDMETHODIMP GetData(FORMATETC* fmt, STGMEDIUM* medium) override {
    if (!fmt || !medium) return E_INVALIDARG;
    const TBytes* bytes = Lookup(*fmt);
    if (!bytes) return DV_E_FORMATETC;
    HGLOBAL h = GlobalFromBytes(*bytes);
    if (!h) return E_OUTOFMEMORY;
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = h;
    medium->pUnkForRelease = nullptr;
    return S_OK;
  }
  STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryGetData(FORMATETC* fmt) override {
    if (!fmt) return E_INVALIDARG;
    return Lookup(*fmt) ? S_OK : DV_E_FORMATETC;
  }
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
    if (out) out->ptd = nullptr;
    return E_NOTIMPL;
  }
  // What a target tells the source (the performed effect, a paste that succeeded, ...) is
  // kept and given back to whoever asks.
  STDMETHODIMP SetData(FORMATETC* fmt, STGMEDIUM* medium, BOOL release) override {
    if (!fmt || !medium) return E_INVALIDARG;
    if (fmt->tymed != TYMED_HGLOBAL || medium->tymed != TYMED_HGLOBAL) return DV_E_TYMED;
    FStored[fmt->cfFormat] = BytesFromGlobal(medium->hGlobal);
    if (release) ReleaseStgMedium(medium);
    return S_OK;
  }
  STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (direction != DATADIR_GET) return E_NOTIMPL;
    std::vector<FORMATETC> formats;
    for (const auto& f : FOffered) formats.push_back(f.Format);
    *out = new TFormatEnum(std::move(formats), 0);
    return S_OK;
  }

 private:
  struct TOffered {
    FORMATETC Format;
    std::optional<TBytes> Bytes;
  };
  void Offer(UINT cf, std::optional<TBytes> bytes) {
    FORMATETC f{static_cast<CLIPFORMAT>(cf), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    FOffered.push_back({f, std::move(bytes)});
  }
  const TBytes* Lookup(const FORMATETC& fmt) const {
    if (!(fmt.tymed & TYMED_HGLOBAL) || fmt.dwAspect != DVASPECT_CONTENT) return nullptr;
    auto stored = FStored.find(fmt.cfFormat);
    if (stored != FStored.end()) return &stored->second;
    for (const auto& f : FOffered)
      if (f.Format.cfFormat == fmt.cfFormat) return f.Bytes ? &*f.Bytes : nullptr;
    return nullptr;
  }
  std::vector<TOffered> FOffered;
  std::map<CLIPFORMAT, TBytes> FStored;
};

// Files made at the drop: the names they will have until then, the real files after.
class TDeferredFileDataObject : public TOwnDataObject {
 public:
  TDeferredFileDataObject(std::vector<std::wstring> files, std::vector<std::wstring> mapped,
                          std::function<bool()> render, std::shared_ptr<TDragState> state)
      : FFiles(std::move(files)),
        FMapped(std::move(mapped)),
        FRender(std::move(render)),
        FState(std::move(state)),
        FPreview(new TFileDataObject(FFiles, FMapped, DROPEFFECT_NONE)) {}
  ~TDeferredFileDataObject() override {
    FPreview->Release();
    if (FMade) FMade->Release();
  }

  STDMETHODIMP GetData(FORMATETC* fmt, STGMEDIUM* medium) override {
    if (!fmt || !medium) return E_INVALIDARG;
    if (!IsFileFormat(fmt->cfFormat)) return FPreview->GetData(fmt, medium);
    if (FState && FState->Dropped && !FTried) Render();
    if (FFailed) return E_UNEXPECTED;
    return (FMade ? FMade : FPreview)->GetData(fmt, medium);
  }
  STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryGetData(FORMATETC* fmt) override {
    if (fmt && IsFileFormat(fmt->cfFormat) && FFailed) return DV_E_FORMATETC;
    return (FMade ? FMade : FPreview)->QueryGetData(fmt);
  }
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override {
    return FPreview->GetCanonicalFormatEtc(in, out);
  }
  // What targets tell the source stays with the one object that answers the other formats.
  STDMETHODIMP SetData(FORMATETC* fmt, STGMEDIUM* medium, BOOL release) override {
    return FPreview->SetData(fmt, medium, release);
  }
  STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override {
    return FPreview->EnumFormatEtc(direction, out);
  }

 private:
  static bool IsFileFormat(CLIPFORMAT cf) { return cf == CF_HDROP || cf == RegisteredFormat(CFSTR_ShellIdList); }
  void Render() {
    FTried = true;
    bool ok = false;
    try {
      ok = FRender && FRender();
    } catch (...) {
      ok = false;
    }
    if (!ok) {
      FFailed = true;
      return;
    }
    // Built again now that the files exist, so that the shell's item lists name them.
    FMade = new TFileDataObject(FFiles, FMapped, DROPEFFECT_NONE);
  }
  std::vector<std::wstring> FFiles, FMapped;
  std::function<bool()> FRender;
  std::shared_ptr<TDragState> FState;
  TFileDataObject* FPreview;
  TFileDataObject* FMade = nullptr;
  bool FTried = false, FFailed = false;
};

class TDropSourceObject : public TComObject<IDropSource> {
 public:
  TDropSourceObject(bool rightButton, bool moveImage, std::shared_ptr<TDragState> state)
      : FRight(rightButton), FMoveImage(moveImage), FState(std::move(state)) {}
  STDMETHODIMP QueryContinueDrag(BOOL escape, DWORD keys) override {
    if (escape) return DRAGDROP_S_CANCEL;
    const DWORD own = FRight ? MK_RBUTTON : MK_LBUTTON, other = FRight ? MK_LBUTTON : MK_RBUTTON;
    // The other button pressed as well cancels, as the shell does.
    if (keys & other) return DRAGDROP_S_CANCEL;
    if (!(keys & own)) {
      if (FState) FState->Dropped = true;
      return DRAGDROP_S_DROP;
    }
    return S_OK;
  }
  STDMETHODIMP GiveFeedback(DWORD) override {
    if (FMoveImage) {
      POINT p;
      GetCursorPos(&p);
      ImageList_DragMove(p.x, p.y);
    }
    return DRAGDROP_S_USEDEFAULTCURSORS;
  }

 private:
  bool FRight;
  bool FMoveImage;
  std::shared_ptr<TDragState> FState;
};

std::vector<std::wstring> ToVector(const TStringList& list) {
  std::vector<std::wstring> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list[i]);
  return out;
}

DWORD EffectsOf(TDragTypes types) {
  DWORD e = 0;
  if (types & dtCopy) e |= DROPEFFECT_COPY;
  if (types & dtMove) e |= DROPEFFECT_MOVE;
  if (types & dtLink) e |= DROPEFFECT_LINK;
  return e;
}
}  // namespace

IDataObject* NewFileDataObject(const std::vector<std::wstring>& files, const std::vector<std::wstring>& mappedNames,
                               DWORD preferredEffect) {
  return new TFileDataObject(files, mappedNames, preferredEffect);
}

IDataObject* NewDeferredFileDataObject(const std::vector<std::wstring>& files,
                                       const std::vector<std::wstring>& mappedNames, std::function<bool()> render,
                                       std::shared_ptr<TDragState> state) {
  return new TDeferredFileDataObject(files, mappedNames, std::move(render), std::move(state));
}

// ---- TDropSource ----

void TDropSource::SetImages(HIMAGELIST images) {
  FImages = images;
  FImageIndex = 0;
  FShowImage = images != nullptr;
}

void TDropSource::SetImageIndex(int index) {
  if (index < 0 || !FImages || ImageList_GetImageCount(FImages) == 0) {
    FImageIndex = 0;
    FShowImage = false;
    return;
  }
  if (index >= ImageList_GetImageCount(FImages)) return;
  FImageIndex = index;
}

void TDropSource::SetImageHotSpot(int index, int value) {
  if (index == 1)
    FHotSpotX = value;
  else
    FHotSpotY = value;
}

void TDropSource::SetShowImage(bool show) { FShowImage = show && FImages != nullptr; }

TDragResult DragResultForEffect(DWORD effect, TDragTypes allowed) {
  if ((effect & DROPEFFECT_COPY) && (allowed & dtCopy)) return drCopy;
  if ((effect & DROPEFFECT_MOVE) && (allowed & dtMove)) return drMove;
  if ((effect & DROPEFFECT_LINK) && (allowed & dtLink)) return drLink;
  return drCancel;
}

TDragResult TDropSource::Execute() {
  FLastEffect = 0;
  FState = std::make_shared<TDragState>();
  IDataObject* data = CreateDataObject();
  if (!data) return drUnknown;
  const bool right = GetKeyState(VK_RBUTTON) < 0 && GetKeyState(VK_LBUTTON) >= 0;
  bool image = FShowImage && FImages && ImageList_GetImageCount(FImages) > FImageIndex;
  if (image) {
    POINT p;
    GetCursorPos(&p);
    image = ImageList_BeginDrag(FImages, FImageIndex, FHotSpotX, FHotSpotY) &&
            ImageList_DragEnter(nullptr, p.x, p.y);
  }
  auto* source = new TDropSourceObject(right, image, FState);
  DWORD effect = DROPEFFECT_NONE;
  HRESULT hr = DoDragDrop(data, source, EffectsOf(DragTypes), &effect);
  if (image) {
    ImageList_DragLeave(nullptr);
    ImageList_EndDrag();
  }
  // A target that moved the files itself reports it on the data and returns no effect.
  if (hr == DRAGDROP_S_DROP && effect == DROPEFFECT_NONE) {
    FORMATETC f{static_cast<CLIPFORMAT>(RegisteredFormat(CFSTR_PerformedEffect)), nullptr, DVASPECT_CONTENT, -1,
                TYMED_HGLOBAL};
    STGMEDIUM m{};
    if (SUCCEEDED(data->GetData(&f, &m))) {
      TBytes bytes = BytesFromGlobal(m.hGlobal);
      uint32_t performed = 0;
      if (ParseDropEffect(bytes.data(), bytes.size(), performed)) effect = performed;
      ReleaseStgMedium(&m);
    }
  }
  source->Release();
  data->Release();
  FLastEffect = effect;
  if (hr == DRAGDROP_S_DROP) return DragResultForEffect(effect, DragTypes);
  if (hr == DRAGDROP_S_CANCEL) return drCancel;
  if (hr == E_OUTOFMEMORY) return drOutOfMemory;
  return drUnknown;
}

// ---- TDropFileSource ----

IDataObject* TDropFileSource::CreateDataObject() {
  if (Files.Count() == 0) return nullptr;
  if (OnRender) return NewDeferredFileDataObject(ToVector(Files), ToVector(MappedNames), OnRender, DragState());
  return NewFileDataObject(ToVector(Files), ToVector(MappedNames), DROPEFFECT_NONE);
}

bool TDropFileSource::PutOnClipboard(DWORD effect) {
  if (Files.Count() == 0) return false;
  IDataObject* data = NewFileDataObject(ToVector(Files), ToVector(MappedNames), effect);
  HRESULT hr = OleSetClipboard(data);
  // The formats are rendered now, so the clipboard keeps them after this program has gone.
  if (SUCCEEDED(hr)) hr = OleFlushClipboard();
  data->Release();
  return SUCCEEDED(hr);
}

bool TDropFileSource::CopyToClipboard() { return PutOnClipboard(DROPEFFECT_COPY); }
bool TDropFileSource::CutToClipboard() { return PutOnClipboard(DROPEFFECT_MOVE); }

// ---- Shortcuts ----

std::wstring FreeShortcutName(const std::wstring& linkName) {
  std::wstring base = linkName;
  size_t slash = base.find_last_of(L'\\');
  size_t dot = base.find_last_of(L'.');
  if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) base.erase(dot);
  std::wstring name = base + L".LNK";
  for (int n = 1; GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES && n < 10000; ++n)
    name = base + L"(" + std::to_wstring(n) + L").LNK";
  return name;
}

bool CreateShortcut(const std::wstring& target, const std::wstring& linkName, const std::wstring& description) {
  if (target.empty() || linkName.empty()) return false;
  const std::wstring name = FreeShortcutName(linkName);
  if (GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
  HRESULT init = CoInitialize(nullptr);
  bool ok = false;
  IShellLinkW* link = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link)))) {
    link->SetPath(target.c_str());
    std::wstring dir = ExtractParentDir(target);
    if (IsPathRoot(dir)) dir = IncludeTrailingBackslash(dir);
    link->SetWorkingDirectory(dir.c_str());
    link->SetDescription(description.c_str());
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      ok = SUCCEEDED(file->Save(name.c_str(), TRUE));
      file->Release();
    }
    link->Release();
  }
  if (SUCCEEDED(init)) CoUninitialize();
  return ok;
}
