// The file box on screen: painting a full view of a 100,000-item listing and scrolling one page,
// against the same rows' texts drawn by bare ExtTextOutW calls on the same window in the same
// run.
#include <windows.h>

#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Bench.h"
#include "foundation/MOption.h"
#include "framework/Forms.h"
#include "panels/HanFileBox.h"
#include "panels/MFList.h"

namespace {
double Since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void FillList(TMFList& list, int n) {
  std::mt19937 rng(7);
  static const wchar_t* const words[] = {L"report", L"Final", L"IMG", L"setup", L"\xD68C\xC758\xB85D", L"data",
                                          L"\xC0AC\xC9C4", L"Project", L"invoice", L"notes", L"\xBB38\xC11C"};
  static const wchar_t* const exts[] = {L"txt", L"jpg", L"doc", L"exe", L"png", L"zip", L"hwp", L""};
  auto parent = std::make_unique<TFileBoxItem>();
  parent->Name = L"..";
  parent->Kind = ikFolder;
  parent->Size = -1;
  parent->Attr = 16;
  list.Items().InsertParent(std::move(parent));
  for (int i = 0; i < n; ++i) {
    auto it = std::make_unique<TFileBoxItem>();
    it->Kind = i % 10 == 0 ? ikFolder : ikFile;
    it->Name = std::wstring(words[rng() % std::size(words)]) + L"_" + std::to_wstring(i);
    it->Ext = it->Kind == ikFile ? exts[rng() % std::size(exts)] : L"";
    it->Size = it->Kind == ikFile ? static_cast<int64_t>(rng() % 100000) << (rng() % 20) : -1;
    it->Time = 45000 + (rng() % 2000000) / 100.0;
    it->Attr = it->Kind == ikFolder ? 16 : 32;
    it->Color = 0xC0C0C0;
    it->TypeName = L"\xD30C\xC77C";
    it->IconDone = true;
    if (it->Kind == ikFolder)
      list.Items().AddFolder(std::move(it));
    else
      list.Items().AddFile(std::move(it));
  }
}
// What the box drew for two pages, replayed by the reference window.
struct TRec {
  int X, Y;
  std::wstring Text;
  COLORREF Color;
};
std::vector<TRec> pages[2];
int refPage = 0;
HFONT refFont = nullptr;

LRESULT CALLBACK BareTextWndProc(HWND hw, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_ERASEBKGND) return 1;
  if (msg != WM_PAINT) return DefWindowProcW(hw, msg, wp, lp);
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hw, &ps);
  HGDIOBJ old = SelectObject(dc, refFont);
  SetBkMode(dc, TRANSPARENT);
  RECT all;
  GetClientRect(hw, &all);
  SetBkColor(dc, 0);
  ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &all, nullptr, 0, nullptr);
  for (const auto& t : pages[refPage]) {
    SetTextColor(dc, t.Color);
    ExtTextOutW(dc, t.X, t.Y, 0, nullptr, t.Text.data(), static_cast<UINT>(t.Text.size()), nullptr);
  }
  SelectObject(dc, old);
  EndPaint(hw, &ps);
  return 0;
}
}  // namespace

VELMO_BENCH(filebox_paint) {
  Options.ResetToDefaults();
  Options.IconView = false;
  Options.MainFont = MakeIniFont(L"Tahoma", 9, 0, 0);
  Options.PanelOptions(1).Column = 1;
  TForm form(nullptr);
  form.SetBounds(0, 0, 900, 700);
  TMFList list(1);
  list.ShowIcons = false;
  auto* box = new THanFileBox(&form, list);
  box->SetAlign(alClient);
  box->SetParent(&form);
  box->BeginUpdate();
  FillList(list, 100000);
  box->EndUpdate();
  list.ItemIndex = 0;
  form.Show();
  Application().ProcessMessages();
  const HWND wnd = box->Handle();
  const int rows = box->Rows();

  // Our pass: the whole view, then one page further (the next rows scroll in).
  auto oursOnce = [&] {
    box->SetTopIndex(0);
    InvalidateRect(wnd, nullptr, FALSE);
    UpdateWindow(wnd);
    box->SetTopIndex(rows);
    UpdateWindow(wnd);
  };
  // What our box drew for those two pages (texts and places, through its text-out record) is
  // replayed by bare ExtTextOutW calls in the paint of a plain window of the same size: the same
  // rows, the same invalidate-and-update cycle, nothing else.
  for (int page = 0; page < 2; ++page) {
    pages[page].clear();
    box->OnTextOut = [page](int x, int y, const std::wstring& t, COLORREF c) { pages[page].push_back({x, y, t, c}); };
    box->SetTopIndex(page * rows);
    InvalidateRect(wnd, nullptr, FALSE);
    UpdateWindow(wnd);
  }
  box->OnTextOut = nullptr;
  refFont = box->Font.Handle();
  WNDCLASSW wc{};
  wc.lpszClassName = L"VelmoBenchBareText";
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpfnWndProc = BareTextWndProc;
  RegisterClassW(&wc);
  RECT fr;
  GetWindowRect(form.Handle(), &fr);
  HWND ref = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE, fr.left, fr.top, box->ClientWidth(),
                             box->ClientHeight(), nullptr, nullptr, wc.hInstance, nullptr);
  Application().ProcessMessages();
  auto refOnce = [&] {
    refPage = 0;
    InvalidateRect(ref, nullptr, FALSE);
    UpdateWindow(ref);
    refPage = 1;
    InvalidateRect(ref, nullptr, FALSE);
    UpdateWindow(ref);
  };
  const int rounds = 20;
  double ours = 1e300, ref1 = 1e300;
  for (int k = 0; k < 5; ++k) {
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) oursOnce();
    GdiFlush();
    ours = std::min(ours, Since(t0) / rounds);
    t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) refOnce();
    GdiFlush();
    ref1 = std::min(ref1, Since(t0) / rounds);
  }
  DestroyWindow(ref);
  // The scroll bar is drawn again when the queue is next idle; what that costs is shown apart.
  double bar = 1e300;
  for (int k = 0; k < 3; ++k) {
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) {
      box->SetTopIndex(i % 2 ? 0 : rows);
      Application().ProcessMessages();
    }
    bar = std::min(bar, Since(t0) / rounds);
  }
  std::printf("one page scrolled with messages handled (rows and the scroll bar drawn): %.3f ms\n", bar * 1000);
  std::printf("texts drawn per view: %zu\n", pages[0].size());
  const double refTime = ref1;
  std::printf("rows on screen: %d, items: %d\n", rows, list.Count());
  BenchReport("file box: full view + one page, 100,000 items", "ms", ours * 1000, "bare ExtTextOutW", refTime * 1000,
              "ratio", ours / refTime, "<= 1.50");
  Options.ResetToDefaults();
}
