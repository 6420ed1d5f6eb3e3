#include "mainwin/Setup.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>

#include "foundation/FileIO.h"
#include "foundation/Language.h"
#include "foundation/MYTOOL.h"
#include "foundation/MsgDlg.h"
#include "foundation/ScrListV.h"
#include "framework/GroupFrame.h"
#include "framework/TextCompare.h"
#include "mainwin/About.h"
#include "mainwin/Commands.h"
#include "mainwin/DockBar.h"
#include "mainwin/ExtBox.h"
#include "mainwin/MKeyLine.h"
#include "mainwin/Main.h"
#include "mainwin/SetupTexts.h"

namespace {
using O = TMOptions;
using F = TFileWinOptions;

// The dialog's geometry: two columns of rows on each page, the buttons below the pages.
constexpr int kClientW = 640, kClientH = 540;
constexpr int kPageBottom = 488;
constexpr int kColX[2] = {18, 326};
constexpr int kColW = 296;
constexpr int kCheckH = 19, kRowH = 23, kGroupHead = 18, kGroupFoot = 6, kGroupGap = 6;
constexpr int kEtcPage = 9, kExtColorPage = 8;

int RowHeight(TOptKind k) { return k == okCheck ? kCheckH : kRowH; }

std::wstring FontText(const TIniFont& f) { return f.Name + L", " + std::to_wstring(f.Size); }

// A font as the system's font dialog takes it.
LOGFONTW ToLogFont(const TIniFont& f) {
  LOGFONTW lf{};
  const TScreenDCHandle dc(GetDC(nullptr));
  lf.lfHeight = -MulDiv(f.Size > 0 ? f.Size : 8, GetDeviceCaps(dc.get(), LOGPIXELSY), 72);
  lf.lfWeight = (f.Style & fsBold) ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = (f.Style & fsItalic) ? 1 : 0;
  lf.lfUnderline = (f.Style & fsUnderline) ? 1 : 0;
  lf.lfStrikeOut = (f.Style & fsStrikeOut) ? 1 : 0;
  lf.lfCharSet = DEFAULT_CHARSET;
  wcsncpy(lf.lfFaceName, f.Name.c_str(), LF_FACESIZE - 1);
  return lf;
}

// The file dialog's filter: the message's "|" pieces, each ended by a zero.
std::wstring DialogFilter(const std::wstring& text) {
  std::wstring f = text;
  for (auto& ch : f)
    if (ch == L'|' || ch == L'\r') ch = L'\0';
  f.push_back(L'\0');
  f.push_back(L'\0');
  return f;
}

TSysControl* NewSys(TForm* form, const wchar_t* cls, DWORD style, const std::wstring& caption) {
  auto* c = new TSysControl(form, cls, style);
  c->SetCaption(caption);
  return c;
}

bool IsChecked(const TControl* c) {
  return SendMessageW(c->Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED;
}
void SetChecked(TControl* c, bool on) { SendMessageW(c->Handle(), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0); }
int ListIndex(const TControl* c) { return static_cast<int>(SendMessageW(c->Handle(), CB_GETCURSEL, 0, 0)); }
void SetListIndex(TControl* c, int i) { SendMessageW(c->Handle(), CB_SETCURSEL, static_cast<WPARAM>(i), 0); }

// Fills a drop-down list with the pieces of a comma-separated text, keeping the choice.
void SetListItems(TSysControl* c, const std::wstring& text) {
  const int keep = ListIndex(c);
  c->Send(CB_RESETCONTENT);
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(L',', start);
    std::wstring piece = Trim(text.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start));
    if (comma != std::wstring::npos || !piece.empty())
      c->Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(piece.c_str()));
    if (comma == std::wstring::npos) break;
    start = comma + 1;
  }
  if (keep >= 0) SetListIndex(c, keep);
}

// The accelerator letter of a caption ("(&S)" or "&S"), upper-cased; 0 when none.
wchar_t Accelerator(const std::wstring& caption) {
  for (size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != L'&') continue;
    if (caption[i + 1] == L'&') {
      ++i;
      continue;
    }
    return static_cast<wchar_t>(towupper(caption[i + 1]));
  }
  return 0;
}
}  // namespace

// ---- the rows ----

const std::vector<TOptRow>& SetupRows() {
  static const std::vector<TOptRow> rows = {
#include "mainwin/SetupRows.inc"
  };
  return rows;
}

int SetupPageMsg(int page) {
  // The last page is the "other" page, whose caption the message table has apart.
  return page == kEtcPage ? 31111 : 30401 + page;
}

std::function<bool(HWND owner, TColor& color)> SetupColorChooser = [](HWND owner, TColor& color) {
  static COLORREF custom[16] = {};
  CHOOSECOLORW cc{};
  cc.lStructSize = sizeof(cc);
  cc.hwndOwner = owner;
  cc.rgbResult = static_cast<COLORREF>(ColorToRGB(color));
  cc.lpCustColors = custom;
  cc.Flags = CC_RGBINIT | CC_FULLOPEN;
  if (!ChooseColorW(&cc)) return false;
  color = static_cast<TColor>(cc.rgbResult & 0xFFFFFF);
  return true;
};

std::function<bool(HWND owner, TIniFont& font)> SetupFontChooser = [](HWND owner, TIniFont& font) {
  LOGFONTW lf = ToLogFont(font);
  CHOOSEFONTW cf{};
  cf.lStructSize = sizeof(cf);
  cf.hwndOwner = owner;
  cf.lpLogFont = &lf;
  cf.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_EFFECTS;
  cf.rgbColors = static_cast<COLORREF>(ColorToRGB(font.Color));
  if (!ChooseFontW(&cf)) return false;
  font.Name = lf.lfFaceName;
  font.Size = cf.iPointSize / 10;
  font.Style = static_cast<uint8_t>((lf.lfWeight >= FW_BOLD ? fsBold : 0) | (lf.lfItalic ? fsItalic : 0) |
                                    (lf.lfUnderline ? fsUnderline : 0) | (lf.lfStrikeOut ? fsStrikeOut : 0));
  font.Color = static_cast<TColor>(cf.rgbColors & 0xFFFFFF);
  return true;
};

std::function<bool(HWND, bool, const std::wstring&, const std::wstring&, std::wstring&)> SetupFileChooser =
    [](HWND owner, bool save, const std::wstring& filter, const std::wstring& ext, std::wstring& file) {
      std::wstring f = DialogFilter(filter);
      wchar_t buffer[MAX_PATH] = {};
      wcsncpy(buffer, file.c_str(), MAX_PATH - 1);
      OPENFILENAMEW ofn{};
      ofn.lStructSize = sizeof(ofn);
      ofn.hwndOwner = owner;
      ofn.lpstrFilter = f.c_str();
      ofn.lpstrFile = buffer;
      ofn.nMaxFile = MAX_PATH;
      ofn.lpstrDefExt = ext.c_str();
      ofn.lpstrInitialDir = ProgramFolder.c_str();
      ofn.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
      if (!(save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn))) return false;
      file = buffer;
      return true;
    };

std::function<void(TSetupForm& form)> SetupFormShown;

// ---- TColorBox ----

TColorBox::TColorBox(TComponent* owner) : TCustomControl(owner) { TabStop = true; }

void TColorBox::SetValue(TColor v) {
  FValue = v;
  Invalidate();
}

void TColorBox::Choose() {
  TColor c = FValue;
  if (SetupColorChooser && SetupColorChooser(GetAncestor(Handle(), GA_ROOT), c)) SetValue(c);
  SetFocus();
}

void TColorBox::Paint(TCanvas& canvas) {
  RECT r = ClientRect();
  const bool focused = Focused();
  canvas.FillRect(r, clBtnFace);
  canvas.Frame3D(r, clBtnShadow, clBtnHighlight, 1);
  if (focused) {
    canvas.Frame3D(r, clWindowText, clWindowText, 1);
  } else {
    InflateRect(&r, -1, -1);
  }
  InflateRect(&r, -1, -1);
  canvas.FillRect(r, ColorToRGB(FValue));
}

bool TColorBox::WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  switch (msg) {
    case WM_GETDLGCODE:
      result = DLGC_WANTCHARS;
      return true;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      Invalidate();
      return TCustomControl::WndProc(msg, wp, lp, result);
    case WM_KEYDOWN:
      if (wp == VK_SPACE) {
        Choose();
        result = 0;
        return true;
      }
      return TCustomControl::WndProc(msg, wp, lp, result);
    default:
      return TCustomControl::WndProc(msg, wp, lp, result);
  }
}

void TColorBox::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TCustomControl::MouseUp(button, shift, x, y);
  if (button == mbLeft) Choose();
}

// ---- a font button: shows the font and asks for another ----

namespace {
class TFontButton : public THanButton {
 public:
  explicit TFontButton(TComponent* owner) : THanButton(owner) { TabStop = true; }
  TIniFont Value;
  void SetValue(const TIniFont& f) {
    Value = f;
    SetCaption(FontText(f));
  }
  void Click() override {
    TIniFont f = Value;
    if (SetupFontChooser && SetupFontChooser(GetAncestor(Handle(), GA_ROOT), f)) SetValue(f);
  }
};
}  // namespace

// ---- TSetupForm ----

TSetupForm::TSetupForm(TComponent* owner) : THanForm(owner) {
  Name = L"SetupForm";
  SetBorderStyle(bsDialog);
  Position = poOwnerFormCenter;
  KeyPreview = true;
  Font.SetName(Options.MainFont.Name.empty() ? L"MS Sans Serif" : Options.MainFont.Name);
  Font.SetSize(std::clamp(Options.MainFont.Size > 0 ? Options.MainFont.Size : 9, 8, 9));
  SetClientSize(kClientW, kClientH);
  SetCaption(LoadMessageText(msgTitle));
  Build();
  TranslateForm(L"SetupForm");
  LoadControls(Options);
  LoadExtColors(Programs.ExtColor.Groups);
  SetPage(0);
  OnShown = [this](TComponent*) {
    if (SetupFormShown) SetupFormShown(*this);
  };
}

TControl* TSetupForm::AddPageControl(TControl* c, int page, const wchar_t* name) {
  if (name) c->Name = name;
  c->SetParent(this);
  FPageControls.push_back({c, page});
  return c;
}

void TSetupForm::Build() {
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&icc);
  Tabs = NewSys(this, WC_TABCONTROLW, WS_CLIPSIBLINGS | WS_TABSTOP | TCS_MULTILINE, L"");
  Tabs->Name = L"Pages";
  Tabs->TabStop = true;
  Tabs->SetBounds(6, 6, kClientW - 12, kPageBottom - 6 + 8);
  Tabs->SetParent(this);
  for (int i = 0; i < SetupPageCount; ++i) {
    std::wstring text = LoadMessageText(SetupPageMsg(i));
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text.data();
    Tabs->Send(TCM_INSERTITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
  }
  // The pages start below the tabs, however many rows they take.
  RECT display{0, 0, Tabs->Width(), Tabs->Height()};
  Tabs->Send(TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
  FPageTop = std::max(36, static_cast<int>(display.top) + 6 + 6);
  Tabs->OnNotify = [this](NMHDR& h, LRESULT&) {
    if (h.code == TCN_SELCHANGE) SetPage(static_cast<int>(Tabs->Send(TCM_GETCURSEL)));
    return false;
  };

  PlaceRows();
  PlaceExtColorPage();
  PlaceEtcPage();

  auto button = [this](const wchar_t* name, int msg, int x) {
    auto* b = new THanButton(this);
    b->Name = name;
    b->SetCaption(LoadMessageText(msg));
    b->TabStop = true;
    b->SetBounds(x, kPageBottom + 18, 88, 25);
    b->SetParent(this);
    return b;
  };
  DefaultBtn = button(L"DefaultBtn", msgDefaultBtn, 6);
  DefaultBtn->OnClick = [this](TComponent*) { DefaultBtnClick(); };
  OkBtn = button(L"OkBtn", 1, kClientW - 3 * 94);
  OkBtn->SetDefault(true);
  OkBtn->OnClick = [this](TComponent*) { OkBtnClick(); };
  CancelBtn = button(L"CancelBtn", 2, kClientW - 2 * 94);
  CancelBtn->Cancel = true;
  CancelBtn->ModalResult = mrCancel;
  HelpBtn = button(L"HelpBtn", 31204, kClientW - 94);
  HelpBtn->OnClick = [](TComponent*) {
    if (Q7XForm) Q7XForm->ShowHelp(L"setup");
  };
  // The frames lie under the rows they hold, and the tab control under everything.
  for (const auto& pc : FPageControls)
    if (auto* frame = dynamic_cast<TGroupFrame*>(pc.first)) frame->SendToBack();
  SetWindowPos(Tabs->Handle(), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TSetupForm::PlaceRows() {
  const auto& rows = SetupRows();
  // Each group with its rows goes into the first column where it still fits.
  size_t i = 0;
  int page = -1, column = 0, y = FPageTop;
  while (i < rows.size()) {
    const TOptRow& g = rows[i];
    size_t end = i + 1;
    int height = kGroupHead + kGroupFoot;
    while (end < rows.size() && rows[end].Kind != okGroup && rows[end].Page == g.Page) {
      height += RowHeight(rows[end].Kind);
      ++end;
    }
    const bool archivers = std::wstring_view(g.Name) == L"ArcPrograms_Group";
    if (archivers) height += arCount * 0 + 5 * (kCheckH + kRowH) + kRowH;
    if (g.Page != page) {
      page = g.Page;
      column = 0;
      y = FPageTop;
    }
    if (y + height > kPageBottom - 4 && column == 0 && y > FPageTop) {
      column = 1;
      y = FPageTop;
    }
    const int x = kColX[column];
    auto* frame = new TGroupFrame(this);
    frame->SetCaption(LoadMessageText(g.Msg));
    frame->SetBounds(x - 8, y, kColW + 12, height);
    AddPageControl(frame, page, g.Name);
    FPlaced.push_back({&g, nullptr, frame, page});
    int ry = y + kGroupHead;
    for (size_t k = i + 1; k < end; ++k) {
      const TOptRow& r = rows[k];
      TControl* label = nullptr;
      TControl* control = nullptr;
      const std::wstring caption = LoadMessageText(r.Msg);
      std::wstring base = r.Name;
      base = base.substr(0, base.rfind(L'_'));
      auto makeLabel = [&](int width) {
        auto* l = NewSys(this, L"STATIC", SS_LEFT | SS_CENTERIMAGE, caption);
        l->SetBounds(x, ry, width, 21);
        AddPageControl(l, page, (base + L"_Label").c_str());
        return l;
      };
      switch (r.Kind) {
        case okCheck: {
          auto* c = NewSys(this, L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP, caption);
          c->TabStop = true;
          c->SetBounds(x, ry, kColW, kCheckH);
          control = AddPageControl(c, page, r.Name);
          break;
        }
        case okNumber: {
          label = makeLabel(kColW - 70);
          auto* e = new TEdit(this);
          e->TabStop = true;
          e->MaxLength = 7;
          e->SetBounds(x + kColW - 64, ry, 64, 21);
          control = AddPageControl(e, page, r.Name);
          break;
        }
        case okChoice: {
          const bool wide = r.Max == 0 && LoadMessageText(r.ItemsMsg).size() > 40;
          const int cw = wide ? 178 : 148;
          label = makeLabel(kColW - cw - 6);
          auto* c = NewSys(this, WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, L"");
          c->TabStop = true;
          c->SetBounds(x + kColW - cw, ry, cw, 21);
          AddPageControl(c, page, r.Name);
          SetListItems(c, LoadMessageText(r.ItemsMsg));
          c->DefineListProperty(
              L"Items", [] { return TStringList(); },
              [c](const TStringList& items) {
                std::wstring text;
                for (int n = 0; n < items.Count(); ++n) text += (n ? L"," : L"") + items[n];
                SetListItems(c, text);
              });
          if (std::wstring_view(r.Name) == L"PanelNo_Combo")
            c->OnCommand = [this, c](WORD code) {
              if (code == CBN_SELCHANGE) SetPanelIndex(ListIndex(c));
            };
          control = c;
          break;
        }
        case okColor: {
          label = makeLabel(kColW - 70);
          auto* b = new TColorBox(this);
          b->SetBounds(x + kColW - 64, ry + 1, 64, 19);
          control = AddPageControl(b, page, r.Name);
          break;
        }
        case okFont: {
          label = makeLabel(100);
          auto* b = new TFontButton(this);
          b->SetBounds(x + 104, ry, kColW - 104, 22);
          control = AddPageControl(b, page, r.Name);
          break;
        }
        case okText: {
          label = makeLabel(110);
          auto* e = new TEdit(this);
          e->TabStop = true;
          e->SetBounds(x + 114, ry, kColW - 114, 21);
          control = AddPageControl(e, page, r.Name);
          break;
        }
        case okGroup: break;
      }
      FPlaced.push_back({&r, label, control, page});
      ry += RowHeight(r.Kind);
    }
    if (archivers) PlaceArchivers(x, ry, kColW);
    y += height + kGroupGap;
    i = end;
  }
}

void TSetupForm::PlaceArchivers(int x, int& y, int width) {
  const int page = 6;
  const int shown[] = {arZIP, arRAR, arACE, arLZH, arARJ};
  for (int a : shown) {
    const std::wstring type = TMOptions::ArchiverNames[a];
    TArcControls& c = ArcControls[static_cast<size_t>(a)];
    c.Self = NewSys(this, L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP, FormatMessageText(msgArcSelf, {type}));
    c.Self->TabStop = true;
    c.Self->SetBounds(x, y, width, kCheckH);
    AddPageControl(c.Self, page, (type + L"_SelfControl_Check").c_str());
    y += kCheckH;
    auto edit = [&](int msg, const std::wstring& key) {
      auto* l = NewSys(this, L"STATIC", SS_LEFT | SS_CENTERIMAGE, LoadMessageText(msg));
      l->SetBounds(x + 16, y, 96, 21);
      AddPageControl(l, page, (type + L"_" + key + L"_Label").c_str());
      auto* e = new TEdit(this);
      e->TabStop = true;
      e->SetBounds(x + 116, y, width - 116, 21);
      AddPageControl(e, page, (type + L"_" + key + L"_Edit").c_str());
      y += kRowH;
      return e;
    };
    c.AddPrg = edit(msgArcAdd, L"AddPrg");
    if (a == arZIP) c.ExtrPrg = edit(msgArcExtr, L"ExtrPrg");
  }
}

void TSetupForm::PlaceExtColorPage() {
  const int page = kExtColorPage;
  auto* info = NewSys(this, L"STATIC", SS_LEFT, LoadMessageText(msgExtColorInfo));
  info->SetBounds(18, FPageTop + 2, kClientW - 36, 32);
  AddPageControl(info, page, L"ExtColorInfo_Label");
  ExtColorList = new TScrListView(this);
  ExtColorList->TabStop = true;
  ExtColorList->AddColumn({LoadMessageText(msgExtCol), 330, 0});
  ExtColorList->AddColumn({LoadMessageText(msgColorCol), 120, 0});
  ExtColorList->SetBounds(18, FPageTop + 40, kClientW - 36 - 110, kPageBottom - FPageTop - 50);
  AddPageControl(ExtColorList, page, L"ExtColor_List");
  ExtColorList->OnItemColors = [this](TCustomMListView*, int item, TColor& text, TColor& back) {
    if (item < 0 || item >= static_cast<int>(ExtColors.size())) return;
    text = ExtColors[static_cast<size_t>(item)].Color;
    back = Options.BackColor;
  };
  ExtColorList->OnRowMove = [this](TScrListView*, int target) {
    const int from = ExtColorList->ItemIndex();
    if (from < 0 || target < 0 || target >= static_cast<int>(ExtColors.size()) || target == from) return;
    TExtColorGroup g = ExtColors[static_cast<size_t>(from)];
    ExtColors.erase(ExtColors.begin() + from);
    ExtColors.insert(ExtColors.begin() + target, g);
    ExtColorsChanged = true;
    FillExtColorList(target);
  };
  ExtColorList->OnDblClick = [this](TComponent*) { ExtEdit(); };
  const int bx = kClientW - 18 - 100;
  int by = FPageTop + 40;
  auto button = [&](const wchar_t* name, int msg) {
    auto* b = new THanButton(this);
    b->SetCaption(LoadMessageText(msg));
    b->TabStop = true;
    b->SetBounds(bx, by, 100, 25);
    AddPageControl(b, page, name);
    by += 31;
    return b;
  };
  ExtAddBtn = button(L"ExtAddBtn", msgAdd);
  ExtAddBtn->OnClick = [this](TComponent*) { ExtAdd(); };
  ExtEditBtn = button(L"ExtEditBtn", msgEdit);
  ExtEditBtn->OnClick = [this](TComponent*) { ExtEdit(); };
  ExtDeleteBtn = button(L"ExtDeleteBtn", msgDelete);
  ExtDeleteBtn->OnClick = [this](TComponent*) { ExtDelete(); };
  by += 12;
  ExtUpBtn = button(L"ExtUpBtn", msgUp);
  ExtUpBtn->OnClick = [this](TComponent*) { ExtMove(true); };
  ExtDownBtn = button(L"ExtDownBtn", msgDown);
  ExtDownBtn->OnClick = [this](TComponent*) { ExtMove(false); };
}

void TSetupForm::PlaceEtcPage() {
  const int page = kEtcPage;
  auto* info = NewSys(this, L"STATIC", SS_LEFT, LoadMessageText(msgEtcInfo));
  info->SetBounds(18, FPageTop + 4, kClientW - 36, 36);
  AddPageControl(info, page, L"EtcInfo_Label");
  auto group = [&](const wchar_t* name, int msg, int y) {
    auto* g = new TGroupFrame(this);
    g->SetCaption(LoadMessageText(msg));
    g->SetBounds(10, y, kClientW - 20, 58);
    AddPageControl(g, page, name);
  };
  auto button = [&](const wchar_t* name, int msg, int x, int y) {
    auto* b = new THanButton(this);
    b->SetCaption(LoadMessageText(msg));
    b->TabStop = true;
    b->SetBounds(x, y, 180, 25);
    AddPageControl(b, page, name);
    return b;
  };
  group(L"CfgSet_Group", msgCfgGroup, FPageTop + 50);
  CfgLoadBtn = button(L"CfgLoadBtn", msgCfgLoad, 26, FPageTop + 72);
  CfgLoadBtn->OnClick = [this](TComponent*) { LoadSet(false); };
  CfgSaveBtn = button(L"CfgSaveBtn", msgCfgSave, 216, FPageTop + 72);
  CfgSaveBtn->OnClick = [this](TComponent*) { SaveSet(false); };
  group(L"ColSet_Group", msgColGroup, FPageTop + 120);
  ColLoadBtn = button(L"ColLoadBtn", msgColLoad, 26, FPageTop + 142);
  ColLoadBtn->OnClick = [this](TComponent*) { LoadSet(true); };
  ColSaveBtn = button(L"ColSaveBtn", msgColSave, 216, FPageTop + 142);
  ColSaveBtn->OnClick = [this](TComponent*) { SaveSet(true); };
}

TControl* TSetupForm::RowControl(const std::wstring& name) const {
  for (const auto& p : FPageControls)
    if (SameTextI(p.first->Name, name)) return p.first;
  return nullptr;
}

void TSetupForm::SetPage(int page) {
  FPage = std::clamp(page, 0, SetupPageCount - 1);
  if (static_cast<int>(Tabs->Send(TCM_GETCURSEL)) != FPage) Tabs->Send(TCM_SETCURSEL, static_cast<WPARAM>(FPage));
  for (const auto& [c, p] : FPageControls) c->SetVisible(p == FPage);
}

// ---- reading and writing the settings ----

void TSetupForm::LoadControls(const TMOptions& src) {
  for (const TPlaced& p : FPlaced) {
    if (!p.Row || !p.Control || p.Row->Kind == okGroup) continue;
    const TOptRow& r = *p.Row;
    std::visit(
        [&](auto member) {
          using M = decltype(member);
          if constexpr (std::is_same_v<M, bool O::*>) {
            SetChecked(p.Control, src.*member);
          } else if constexpr (std::is_same_v<M, int32_t O::*>) {
            const int32_t v = src.*member;
            if (r.Kind == okColor)
              static_cast<TColorBox*>(p.Control)->SetValue(v);
            else if (r.Kind == okChoice)
              SetListIndex(p.Control, v);
            else
              static_cast<TEdit*>(p.Control)->SetText(std::to_wstring(v));
          } else if constexpr (std::is_same_v<M, TIniFont O::*>) {
            static_cast<TFontButton*>(p.Control)->SetValue(src.*member);
          }
        },
        r.Member);
  }
  for (int a = 0; a < arCount; ++a) {
    const TArcControls& c = ArcControls[static_cast<size_t>(a)];
    if (!c.Self) continue;
    SetChecked(c.Self, src.Archivers[static_cast<size_t>(a)].SelfControl);
    static_cast<TEdit*>(c.AddPrg)->SetText(src.Archivers[static_cast<size_t>(a)].AddPrg);
    if (c.ExtrPrg) static_cast<TEdit*>(c.ExtrPrg)->SetText(src.Archivers[static_cast<size_t>(a)].ExtrPrg);
  }
  FPanels = src.FileWin;
  if (TControl* chooser = RowControl(L"PanelNo_Combo")) SetListIndex(chooser, FPanelIndex);
  LoadPanelControls();
}

void TSetupForm::LoadPanelControls() {
  const TFileWinOptions& rec = FPanels[static_cast<size_t>(FPanelIndex)];
  for (const TPlaced& p : FPlaced) {
    if (!p.Row || !p.Control || p.Row->Kind == okGroup) continue;
    std::visit(
        [&](auto member) {
          using M = decltype(member);
          if constexpr (std::is_same_v<M, bool F::*>) {
            SetChecked(p.Control, rec.*member);
          } else if constexpr (std::is_same_v<M, int32_t F::*>) {
            if (p.Row->Bit)
              SetChecked(p.Control, (rec.*member & p.Row->Bit) != 0);
            else if (p.Row->Kind == okChoice)
              SetListIndex(p.Control, rec.*member);
            else
              static_cast<TEdit*>(p.Control)->SetText(std::to_wstring(rec.*member));
          } else if constexpr (std::is_same_v<M, std::wstring F::*>) {
            static_cast<TEdit*>(p.Control)->SetText(rec.*member);
          }
        },
        p.Row->Member);
  }
}

int TSetupForm::ReadNumber(const TPlaced& p, bool& ok) const {
  const std::wstring text = Trim(static_cast<TEdit*>(p.Control)->Text());
  ok = !text.empty() && text.size() <= 7;
  int value = 0;
  for (size_t i = 0; ok && i < text.size(); ++i) {
    if (text[i] == L'-' && i == 0 && text.size() > 1) continue;
    if (text[i] < L'0' || text[i] > L'9') ok = false;
  }
  if (ok) value = std::stoi(text);
  ok = ok && value >= p.Row->Min && value <= p.Row->Max;
  return value;
}

bool TSetupForm::Validate() {
  for (const TPlaced& p : FPlaced) {
    if (!p.Row || p.Row->Kind != okNumber) continue;
    bool ok = false;
    ReadNumber(p, ok);
    if (ok) continue;
    // Refused, with the range, never stored.
    SetPage(p.Page);
    std::wstring caption = PlainCaption(LoadMessageText(p.Row->Msg));
    ShowErrorBox(FormatMessageText(msgRange, {caption, std::to_wstring(p.Row->Min), std::to_wstring(p.Row->Max)}));
    p.Control->SetFocus();
    static_cast<TEdit*>(p.Control)->SelectAll();
    return false;
  }
  return true;
}

bool TSetupForm::StorePanelControls() {
  TFileWinOptions& rec = FPanels[static_cast<size_t>(FPanelIndex)];
  for (const TPlaced& p : FPlaced) {
    if (!p.Row || !p.Control || p.Row->Kind == okGroup) continue;
    bool bad = false;
    std::visit(
        [&](auto member) {
          using M = decltype(member);
          if constexpr (std::is_same_v<M, bool F::*>) {
            rec.*member = IsChecked(p.Control);
          } else if constexpr (std::is_same_v<M, int32_t F::*>) {
            if (p.Row->Bit) {
              rec.*member = IsChecked(p.Control) ? (rec.*member | p.Row->Bit) : (rec.*member & ~p.Row->Bit);
            } else if (p.Row->Kind == okChoice) {
              const int i = ListIndex(p.Control);
              if (i >= 0) rec.*member = i;
            } else {
              bool ok = false;
              const int v = ReadNumber(p, ok);
              if (ok)
                rec.*member = v;
              else
                bad = true;
            }
          } else if constexpr (std::is_same_v<M, std::wstring F::*>) {
            rec.*member = Trim(static_cast<TEdit*>(p.Control)->Text());
          }
        },
        p.Row->Member);
    if (bad) return false;
  }
  return true;
}

void TSetupForm::SetPanelIndex(int index) {
  index = index == 1 ? 1 : 0;
  if (index == FPanelIndex) return;
  if (!StorePanelControls()) {
    // A value out of its range is refused before the other panel is shown.
    if (TControl* chooser = RowControl(L"PanelNo_Combo")) SetListIndex(chooser, FPanelIndex);
    Validate();
    return;
  }
  FPanelIndex = index;
  if (TControl* chooser = RowControl(L"PanelNo_Combo")) SetListIndex(chooser, FPanelIndex);
  LoadPanelControls();
}

void TSetupForm::StoreControls(TMOptions& dst) {
  for (const TPlaced& p : FPlaced) {
    if (!p.Row || !p.Control || p.Row->Kind == okGroup) continue;
    const TOptRow& r = *p.Row;
    std::visit(
        [&](auto member) {
          using M = decltype(member);
          if constexpr (std::is_same_v<M, bool O::*>) {
            dst.*member = IsChecked(p.Control);
          } else if constexpr (std::is_same_v<M, int32_t O::*>) {
            if (r.Kind == okColor) {
              dst.*member = static_cast<TColorBox*>(p.Control)->Value();
            } else if (r.Kind == okChoice) {
              const int i = ListIndex(p.Control);
              if (i >= 0) dst.*member = i;
            } else {
              bool ok = false;
              const int v = ReadNumber(p, ok);
              if (ok) dst.*member = v;
            }
          } else if constexpr (std::is_same_v<M, TIniFont O::*>) {
            dst.*member = static_cast<TFontButton*>(p.Control)->Value;
          }
        },
        r.Member);
  }
  for (int a = 0; a < arCount; ++a) {
    const TArcControls& c = ArcControls[static_cast<size_t>(a)];
    if (!c.Self) continue;
    TArchiverProgram& prog = dst.Archivers[static_cast<size_t>(a)];
    prog.SelfControl = IsChecked(c.Self);
    prog.AddPrg = Trim(static_cast<TEdit*>(c.AddPrg)->Text());
    if (c.ExtrPrg) prog.ExtrPrg = Trim(static_cast<TEdit*>(c.ExtrPrg)->Text());
  }
  StorePanelControls();
  // Only the fields the panels page shows; widths, folders and the rest stay.
  for (size_t i = 0; i < 2; ++i) {
    for (const TOptRow& r : SetupRows()) {
      std::visit(
          [&](auto member) {
            using M = decltype(member);
            if constexpr (std::is_same_v<M, bool F::*> || std::is_same_v<M, int32_t F::*> ||
                          std::is_same_v<M, std::wstring F::*>)
              dst.FileWin[i].*member = FPanels[i].*member;
          },
          r.Member);
    }
  }
  dst.ComputeMainFontHeight();
}

// ---- extension colours ----

void TSetupForm::LoadExtColors(const std::vector<TExtColorGroup>& groups) {
  ExtColors = groups;
  FillExtColorList(groups.empty() ? -1 : 0);
}

void TSetupForm::FillExtColorList(int select) {
  ExtColorList->ClearItems();
  for (const TExtColorGroup& g : ExtColors) {
    TListItem item;
    item.Caption = g.Ext;
    item.SubItems.push_back(ColorToIniText(g.Color));
    ExtColorList->AddItem(item);
  }
  ExtColorList->SelectIndex(select);
}

void TSetupForm::ExtAdd() {
  std::wstring ext;
  if (!AskOkCancel(LoadMessageText(msgExtCol), LoadMessageText(msgExtPrompt), L"", ext, L"", false)) return;
  ext = Trim(ext);
  if (ext.empty()) {
    ShowErrorBox(LoadMessageText(msgExtEmpty));
    return;
  }
  TColor color = Options.NormalColor;
  if (!SetupColorChooser || !SetupColorChooser(Handle(), color)) return;
  const int at = std::max(ExtColorList->ItemIndex() + 1, 0);
  const size_t pos = std::min(static_cast<size_t>(at), ExtColors.size());
  ExtColors.insert(ExtColors.begin() + static_cast<std::ptrdiff_t>(pos), {ext, color});
  ExtColorsChanged = true;
  FillExtColorList(static_cast<int>(pos));
}

void TSetupForm::ExtEdit() {
  const int i = ExtColorList->ItemIndex();
  if (i < 0 || i >= static_cast<int>(ExtColors.size())) return;
  TExtColorGroup g = ExtColors[static_cast<size_t>(i)];
  std::wstring ext = g.Ext;
  if (!AskOkCancel(LoadMessageText(msgExtCol), LoadMessageText(msgExtPrompt), L"", ext, L"", false)) return;
  ext = Trim(ext);
  if (ext.empty()) {
    ShowErrorBox(LoadMessageText(msgExtEmpty));
    return;
  }
  TColor color = g.Color;
  if (SetupColorChooser) SetupColorChooser(Handle(), color);
  ExtColors[static_cast<size_t>(i)] = {ext, color};
  ExtColorsChanged = true;
  FillExtColorList(i);
}

void TSetupForm::ExtDelete() {
  const int i = ExtColorList->ItemIndex();
  if (i < 0 || i >= static_cast<int>(ExtColors.size())) return;
  ExtColors.erase(ExtColors.begin() + i);
  ExtColorsChanged = true;
  FillExtColorList(std::min(i, static_cast<int>(ExtColors.size()) - 1));
}

void TSetupForm::ExtMove(bool up) { ExtColorList->MoveSelected(up); }

// ---- sets ----

// The set file the user picks, and the settings as the controls hold them now; false when the
// controls hold a wrong value or no file was picked.
bool TSetupForm::ChooseSet(bool save, bool colors, std::wstring& file, TMOptions& set) {
  if (!Validate()) return false;
  if (!SetupFileChooser ||
      !SetupFileChooser(Handle(), save, LoadMessageText(colors ? msgColFilter : msgCfgFilter), colors ? L"COL" : L"CFG",
                        file))
    return false;
  set.AssignSettings(Options);
  StoreControls(set);
  return true;
}

void TSetupForm::SaveSet(bool colors) {
  std::wstring file;
  TMOptions set;
  if (!ChooseSet(true, colors, file, set)) return;
  if (!(colors ? set.SaveColorsTo(file) : set.SaveOptionsTo(file)))
    ShowErrorBox(FormatMessageText(msgSaveFail, {file}));
}

void TSetupForm::LoadSet(bool colors) {
  std::wstring file;
  TMOptions set;
  if (!ChooseSet(false, colors, file, set)) return;
  if (!(colors ? set.LoadColorsFrom(file) : set.LoadOptionsFrom(file))) {
    ShowErrorBox(FormatMessageText(msgLoadFail, {file}));
    return;
  }
  LoadControls(set);
}

void TSetupForm::DefaultBtnClick() {
  if (MessageBoxAuto(L"", LoadMessageText(msgDefaultAsk), StdButtonsOkCancel, 4) != 0) return;
  static const TMOptions defaults;
  LoadControls(defaults);
}

void TSetupForm::OkBtnClick() {
  if (!Validate()) return;
  StoreControls(Options);
  SetModalResult(mrOk);
}

bool TSetupForm::DialogKey(WORD key, TShiftState shift, HWND target) {
  const TShiftState mods = shift & (ssShift | ssAlt | ssCtrl);
  // Ctrl+Tab and Ctrl+Shift+Tab turn the pages, as in the system's property sheets.
  if (key == VK_TAB && (mods & ssCtrl) && !(mods & ssAlt)) {
    SetPage((FPage + ((mods & ssShift) ? SetupPageCount - 1 : 1)) % SetupPageCount);
    Tabs->SetFocus();
    return true;
  }
  // Alt and a letter: the control of the visible page whose caption carries it.
  if (mods == ssAlt && ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9'))) {
    std::vector<TControl*> all;
    for (const auto& [c, p] : FPageControls)
      if (p == FPage) all.push_back(c);
    for (TControl* b : {static_cast<TControl*>(DefaultBtn), static_cast<TControl*>(OkBtn),
                        static_cast<TControl*>(CancelBtn), static_cast<TControl*>(HelpBtn)})
      all.push_back(b);
    for (TControl* c : all) {
      if (Accelerator(c->Caption()) != static_cast<wchar_t>(key) || !c->Enabled()) continue;
      if (auto* b = dynamic_cast<TButton*>(c)) {
        b->SetFocus();
        b->Click();
      } else if (auto* s = dynamic_cast<TSysControl*>(c)) {
        s->SetFocus();
        if ((GetWindowLongW(s->Handle(), GWL_STYLE) & BS_TYPEMASK) == BS_AUTOCHECKBOX) s->Send(BM_CLICK);
      }
      return true;
    }
  }
  return THanForm::DialogKey(key, shift, target);
}

std::wstring TSetupForm::LayoutProblem() const {
  std::vector<std::pair<TControl*, int>> all = FPageControls;
  for (TControl* b : {static_cast<TControl*>(DefaultBtn), static_cast<TControl*>(OkBtn),
                      static_cast<TControl*>(CancelBtn), static_cast<TControl*>(HelpBtn)})
    all.push_back({b, -1});
  auto isFrame = [](TControl* c) { return dynamic_cast<TGroupFrame*>(c) != nullptr; };
  auto rectOf = [](TControl* c) { return RECT{c->Left(), c->Top(), c->Left() + c->Width(), c->Top() + c->Height()}; };
  for (size_t i = 0; i < all.size(); ++i) {
    TControl* a = all[i].first;
    const RECT ra = rectOf(a);
    if (ra.left < 0 || ra.top < 0 || ra.right > ClientWidth() || ra.bottom > ClientHeight())
      return a->Name + L" lies outside the dialog";
    if (all[i].second >= 0 && !isFrame(a) && (ra.top < FPageTop - 4 || ra.bottom > kPageBottom + 8))
      return a->Name + L" lies outside its page";
    for (size_t j = i + 1; j < all.size(); ++j) {
      TControl* b = all[j].first;
      if (all[i].second != all[j].second && all[i].second >= 0 && all[j].second >= 0) continue;
      if (isFrame(a) || isFrame(b)) {
        // A frame holds its rows whole or not at all.
        TControl* frame = isFrame(a) ? a : b;
        TControl* other = frame == a ? b : a;
        if (isFrame(other)) {
          RECT x;
          const RECT r1 = rectOf(frame), r2 = rectOf(other);
          if (IntersectRect(&x, &r1, &r2)) return frame->Name + L" overlaps " + other->Name;
          continue;
        }
        const RECT rf = rectOf(frame), ro = rectOf(other);
        RECT x;
        if (IntersectRect(&x, &rf, &ro) && !EqualRect(&x, &ro)) return other->Name + L" is cut by " + frame->Name;
        continue;
      }
      RECT x;
      const RECT rb = rectOf(b);
      if (IntersectRect(&x, &ra, &rb)) return a->Name + L" overlaps " + b->Name;
    }
  }
  return L"";
}

// ---- running and applying ----

bool RunSetupDialog() {
  TSetupForm form(&Application());
  if (form.ShowModal() != mrOk) return false;
  // A file that cannot be written is told; the settings still apply to this session.
  if (!Options.SaveOptions()) ShowErrorBox(FormatMessageText(10601, {Options.CfgFile}));
  if (form.ExtColorsChanged) {
    Programs.ExtColor.Groups = form.ExtColors;
    Programs.ExtColor.Rebuild();
    if (!Programs.Save()) ShowErrorBox(FormatMessageText(msgSaveFail, {Programs.FileName}));
  }
  return true;
}

void ApplyKeyLineColors(TMKeyLine& line) {
  line.Colors = {Options.HKeyNormalBack, Options.HKeyNormalText,  Options.HKeyHighText,   Options.HKeyShiftBack,
                 Options.HKeyAltColor,   Options.HKeyHotItemBack, Options.HKeyHotItemKey, Options.HKeyHotItemText};
  line.Invalidate();
}

void ApplyOptionsToForm(TQ7XForm& form) {
  form.Font.SetName(Options.MainFont.Name);
  if (Options.MainFont.Size > 0) form.Font.SetSize(Options.MainFont.Size);
  form.Font.SetStyle(Options.MainFont.Style);
  form.ShowMainMenu(Options.ShowMainMenu);
  form.ApplyMenuOptions();
  form.ShowToolBar(Options.ShowMainToolBar);
  form.ShowToolNames(Options.ShowToolName);
  form.ShowKeyLine(Options.ShowKeyBar);
  if (form.Bars) {
    if (form.Bars->KeyLine) {
      form.Bars->KeyLine->SetFlat(Options.FlatKeyBar);
      ApplyKeyLineColors(*form.Bars->KeyLine);
    }
    form.FillKeyLine();
  }
  // The layout the settings name.
  if (Options.DualWindow == 0) {
    form.MakeSingleWindow();
  } else if (!form.DualMode || form.Stacked != (Options.DualWindow == 1)) {
    form.MakeDualWindow(Options.DualWindow == 1);
  }
  for (TPanelView* p : {form.Panel1, form.Panel2}) {
    if (!p) continue;
    p->ArrangeParts();
    p->ApplyTreeOptions();
    p->Reread();
  }
  form.Realign();
  form.UpdateMainMenu();
}

void InstallSetupDialog() {
  DefaultSetupDialog = [] { return RunSetupDialog(); };
  DefaultApplyOptions = [](TQ7XForm& form) { ApplyOptionsToForm(form); };
}

void InstallOptionsCommands() {
  InstallSetupDialog();
  InstallProgramEditors();
  InstallAboutBox();
}
