#include "panels/DropTgt.h"

#include <commctrl.h>

#include "panels/ComBase.h"
#include "panels/DropData.h"

// What the system's drag loop calls; it forwards to the target component while that lives.
class TDropTargetSink : public TComObject<IDropTarget> {
 public:
  explicit TDropTargetSink(TDropTarget* owner) : FOwner(owner) {}
  void Detach() { FOwner = nullptr; }
  STDMETHODIMP DragEnter(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect) override {
    if (!effect) return E_INVALIDARG;
    if (!FOwner) return *effect = DROPEFFECT_NONE, S_OK;
    return FOwner->DragEnter(data, keys, pt, effect);
  }
  STDMETHODIMP DragOver(DWORD keys, POINTL pt, DWORD* effect) override {
    if (!effect) return E_INVALIDARG;
    if (!FOwner) return *effect = DROPEFFECT_NONE, S_OK;
    return FOwner->DragOver(keys, pt, effect);
  }
  STDMETHODIMP DragLeave() override { return FOwner ? FOwner->DragLeave() : S_OK; }
  STDMETHODIMP Drop(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect) override {
    if (!effect) return E_INVALIDARG;
    if (!FOwner) return *effect = DROPEFFECT_NONE, S_OK;
    return FOwner->Drop(data, keys, pt, effect);
  }

 private:
  TDropTarget* FOwner;
};

namespace {
std::vector<uint8_t> ReadFormat(IDataObject* data, UINT cf) {
  std::vector<uint8_t> out;
  FORMATETC f{static_cast<CLIPFORMAT>(cf), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM m{};
  if (!data || FAILED(data->GetData(&f, &m))) return out;
  if (m.tymed == TYMED_HGLOBAL && m.hGlobal) {
    // The block is read within its real size, whatever it claims inside.
    SIZE_T size = GlobalSize(m.hGlobal);
    if (const void* p = GlobalLock(m.hGlobal)) {
      out.assign(static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + size);
      GlobalUnlock(m.hGlobal);
    }
  }
  ReleaseStgMedium(&m);
  return out;
}

bool HasFormat(IDataObject* data, UINT cf) {
  FORMATETC f{static_cast<CLIPFORMAT>(cf), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  return data && data->QueryGetData(&f) == S_OK;
}
}  // namespace

TShiftState ShiftOfKeys(DWORD keys) {
  TShiftState s = 0;
  if (keys & MK_SHIFT) s |= ssShift;
  if (keys & MK_CONTROL) s |= ssCtrl;
  if (keys & MK_ALT) s |= ssAlt;
  if (keys & MK_LBUTTON) s |= ssLeft;
  if (keys & MK_RBUTTON) s |= ssRight;
  if (keys & MK_MBUTTON) s |= ssMiddle;
  return s;
}

void ClearClipboard() {
  if (!OpenClipboard(nullptr)) return;
  EmptyClipboard();
  CloseClipboard();
}

// ---- TDropTarget ----

TDropTarget::TDropTarget(TComponent* owner) : TComponent(owner), FSink(new TDropTargetSink(this)) {
  FStayTimer = new TTimer(this);
  FStayTimer->SetEnabled(false);
  FStayTimer->OnTimer = [this](TComponent*) {
    FStayTimer->SetEnabled(false);
    if (OnStayTimer && FAccepted) OnStayTimer(FLastPoint);
  };
}

TDropTarget::~TDropTarget() {
  SetTargetWindow(nullptr);
  FSink->Detach();
  FSink->Release();
}

IDropTarget* TDropTarget::Interface() const { return FSink; }

bool TDropTarget::SetTarget(TControl* control) {
  return SetTargetWindow(control && control->HandleAllocated() ? control->Handle() : nullptr);
}

bool TDropTarget::SetTargetWindow(HWND wnd) {
  if (FRegistered && FWindow && IsWindow(FWindow)) RevokeDragDrop(FWindow);
  FRegistered = false;
  FWindow = wnd;
  if (!wnd) return true;
  FRegistered = SUCCEEDED(RegisterDragDrop(wnd, FSink));
  return FRegistered;
}

void TDropTarget::HideDragImage() { ImageList_DragShowNolock(FALSE); }
void TDropTarget::ShowDragImage() { ImageList_DragShowNolock(TRUE); }

POINT TDropTarget::ToClient(POINTL screen) const {
  POINT p{screen.x, screen.y};
  if (FWindow) ScreenToClient(FWindow, &p);
  return p;
}

DWORD TDropTarget::Allowed(DWORD sourceEffects) const {
  DWORD own = 0;
  if (DragTypes & dtCopy) own |= DROPEFFECT_COPY;
  if (DragTypes & dtMove) own |= DROPEFFECT_MOVE;
  if (DragTypes & dtLink) own |= DROPEFFECT_LINK;
  return sourceEffects & own;
}

DWORD TDropTarget::DefaultEffect(DWORD keys, DWORD allowed) const {
  DWORD wanted = 0;
  if ((keys & MK_ALT) || ((keys & MK_CONTROL) && (keys & MK_SHIFT)))
    wanted = DROPEFFECT_LINK;
  else if (keys & MK_CONTROL)
    wanted = DROPEFFECT_COPY;
  else if (keys & MK_SHIFT)
    wanted = DROPEFFECT_MOVE;
  if (wanted) return allowed & wanted;
  for (DWORD e : {DROPEFFECT_COPY, DROPEFFECT_MOVE, DROPEFFECT_LINK})
    if (allowed & e) return e;
  return DROPEFFECT_NONE;
}

void TDropTarget::Rest(POINT client) {
  if (client.x == FLastPoint.x && client.y == FLastPoint.y) return;
  FLastPoint = client;
  FStayTimer->SetEnabled(false);
  if (OnStayTimer && OnStayCheck && OnStayCheck(client)) {
    FStayTimer->SetInterval(static_cast<unsigned>(StayDelay > 0 ? StayDelay : 1));
    FStayTimer->SetEnabled(true);
  }
}

void TDropTarget::AutoScroll(POINT client) {
  if (ScrollSpeed <= 0 || !FWindow) return;
  RECT r;
  GetClientRect(FWindow, &r);
  const int band = 12;
  int dir = client.y < r.top + band ? SB_LINEUP : client.y >= r.bottom - band ? SB_LINEDOWN : -1;
  if (dir < 0) return;
  DWORD now = GetTickCount();
  if (now - FLastScroll < static_cast<DWORD>(ScrollSpeed)) return;
  FLastScroll = now;
  HideDragImage();
  SendMessageW(FWindow, WM_VSCROLL, static_cast<WPARAM>(dir), 0);
  UpdateWindow(FWindow);
  ShowDragImage();
}

void TDropTarget::Begin(IDataObject* data, DWORD keys, DWORD sourceEffects) {
  FSourceEffects = sourceEffects;
  FAccepted = Accepts(data);
  FRightButton = (keys & MK_RBUTTON) != 0;
  IUnknown* own = nullptr;
  FSameSource = data && SUCCEEDED(data->QueryInterface(IID_IVelmoFileData, reinterpret_cast<void**>(&own)));
  if (own) own->Release();
  FLastPoint = POINT{-1, -1};
}

HRESULT TDropTarget::DragEnter(IDataObject* data, DWORD keys, POINTL screen, DWORD* effect) {
  Begin(data, keys, *effect);
  if (!FAccepted) {
    *effect = DROPEFFECT_NONE;
    return S_OK;
  }
  if (GetDataOnEnter) ReadData(data);
  const POINT client = ToClient(screen);
  DWORD e = DefaultEffect(keys, Allowed(FSourceEffects));
  if (OnEnter) OnEnter(ShiftOfKeys(keys), client, e);
  if (OnGetDropEffect) OnGetDropEffect(ShiftOfKeys(keys), client, e);
  *effect = e & Allowed(FSourceEffects);
  Rest(client);
  return S_OK;
}

HRESULT TDropTarget::DragOver(DWORD keys, POINTL screen, DWORD* effect) {
  if (!FAccepted) {
    *effect = DROPEFFECT_NONE;
    return S_OK;
  }
  const POINT client = ToClient(screen);
  AutoScroll(client);
  DWORD e = DefaultEffect(keys, Allowed(FSourceEffects));
  if (OnGetDropEffect) OnGetDropEffect(ShiftOfKeys(keys), client, e);
  *effect = e & Allowed(FSourceEffects);
  Rest(client);
  return S_OK;
}

HRESULT TDropTarget::DragLeave() {
  FStayTimer->SetEnabled(false);
  const bool was = FAccepted;
  FAccepted = false;
  FSourceEffects = 0;
  if (was && OnLeave) OnLeave();
  return S_OK;
}

HRESULT TDropTarget::Drop(IDataObject* data, DWORD keys, POINTL screen, DWORD* effect) {
  FStayTimer->SetEnabled(false);
  const DWORD sourceEffects = *effect;
  // A drop that came without an enter (a program calling the target directly).
  if (!FAccepted) Begin(data, keys, sourceEffects);
  *effect = DROPEFFECT_NONE;
  if (!FAccepted) return S_OK;
  ReadData(data);
  const POINT client = ToClient(screen);
  // The keys are gone by now: the effect the last drag-over chose stands, unless the handler
  // decides again.
  DWORD e = DefaultEffect(keys, Allowed(sourceEffects));
  if (OnGetDropEffect) OnGetDropEffect(ShiftOfKeys(keys), client, e);
  e &= Allowed(sourceEffects);
  if (OnDrop) OnDrop(ShiftOfKeys(keys), client, e);
  *effect = e & Allowed(sourceEffects);
  FAccepted = false;
  FSourceEffects = 0;
  FSameSource = false;
  return S_OK;
}

// ---- TDropFileTarget ----

TDropFileTarget::TDropFileTarget(TComponent* owner) : TDropTarget(owner) {}

bool TDropFileTarget::Accepts(IDataObject* data) { return HasFormat(data, CF_HDROP); }

void TDropFileTarget::ReadData(IDataObject* data) { ReadFiles(data); }

bool TDropFileTarget::ReadFiles(IDataObject* data) {
  Files.Clear();
  MappedNames.Clear();
  std::vector<uint8_t> block = ReadFormat(data, CF_HDROP);
  std::vector<std::wstring> files;
  if (!ParseDropFiles(block.data(), block.size(), files) || files.empty()) return false;
  for (const auto& f : files) Files.Add(f);
  // The UTF-16 map first: names outside the code page survive only there.
  std::vector<std::wstring> map;
  std::vector<uint8_t> wide = ReadFormat(data, RegisteredFormat(CFSTR_FileNameMapW));
  if (!ParseNameMap(wide.data(), wide.size(), true, map) || map.empty()) {
    std::vector<uint8_t> ansi = ReadFormat(data, RegisteredFormat(CFSTR_FileNameMapA));
    ParseNameMap(ansi.data(), ansi.size(), false, map);
  }
  for (const auto& n : CheckedNameMap(map, files.size())) MappedNames.Add(n);
  return true;
}

int TDropFileTarget::PasteFromClipboard() {
  Files.Clear();
  MappedNames.Clear();
  IDataObject* data = nullptr;
  if (FAILED(OleGetClipboard(&data)) || !data) return 0;
  int result = 0;
  if (ReadFiles(data)) {
    std::vector<uint8_t> bytes = ReadFormat(data, RegisteredFormat(CFSTR_PreferredEffect));
    uint32_t effect = 0;
    if (!ParseDropEffect(bytes.data(), bytes.size(), effect)) effect = DROPEFFECT_COPY;
    result = (effect & DROPEFFECT_MOVE) ? 2 : (effect & DROPEFFECT_COPY) ? 1 : (effect & DROPEFFECT_LINK) ? 4 : 0;
  }
  data->Release();
  return result;
}

bool TDropFileTarget::CanPasteFromClipboard() const { return IsClipboardFormatAvailable(CF_HDROP) != FALSE; }
