#include "foundation/LabelMarkup.h"

#include "foundation/MYTOOL.h"

#include <algorithm>
#include <climits>

namespace {
// The largest font size the mark-up may ask for; larger sizes are brought down to it.
constexpr int kMaxMarkupSize = 200;

bool IsAsciiAlnum(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }

wchar_t AsciiUpper(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c; }

std::wstring UpperAscii(std::wstring_view s) {
  std::wstring r(s);
  for (wchar_t& c : r) c = AsciiUpper(c);
  return r;
}

bool SameAscii(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

std::wstring_view TrimView(std::wstring_view s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] <= L' ') ++b;
  while (e > b && s[e - 1] <= L' ') --e;
  return s.substr(b, e - b);
}

// Decimal, or hexadecimal after "$" or "0x"; an optional sign; the value must fit 32 bits
// (colours up to $FFFFFFFF).
bool ReadNumber(std::wstring_view s, long long& out) {
  bool ok;
  int64_t v = TryStrToInt64(TrimView(s), ok);
  if (!ok || v < INT_MIN || v > 0xFFFFFFFFLL) return false;
  out = v;
  return true;
}

struct TColorName {
  const wchar_t* Name;
  uint32_t Value;
};

const TColorName kColorNames[] = {
    {L"clBlack", 0x000000},       {L"clMaroon", 0x000080},     {L"clGreen", 0x008000},
    {L"clOlive", 0x008080},       {L"clNavy", 0x800000},       {L"clPurple", 0x800080},
    {L"clTeal", 0x808000},        {L"clGray", 0x808080},       {L"clSilver", 0xC0C0C0},
    {L"clRed", 0x0000FF},         {L"clLime", 0x00FF00},       {L"clYellow", 0x00FFFF},
    {L"clBlue", 0xFF0000},        {L"clFuchsia", 0xFF00FF},    {L"clAqua", 0xFFFF00},
    {L"clLtGray", 0xC0C0C0},      {L"clDkGray", 0x808080},     {L"clWhite", 0xFFFFFF},
    {L"clMoneyGreen", 0xC0DCC0},  {L"clSkyBlue", 0xF0CAA6},    {L"clCream", 0xF0FBFF},
    {L"clMedGray", 0xA4A0A0},     {L"clNone", 0x1FFFFFFF},     {L"clDefault", 0x20000000},
    {L"clScrollBar", 0x80000000}, {L"clBackground", 0x80000001}, {L"clActiveCaption", 0x80000002},
    {L"clInactiveCaption", 0x80000003}, {L"clMenu", 0x80000004}, {L"clWindow", 0x80000005},
    {L"clWindowFrame", 0x80000006}, {L"clMenuText", 0x80000007}, {L"clWindowText", 0x80000008},
    {L"clCaptionText", 0x80000009}, {L"clActiveBorder", 0x8000000A}, {L"clInactiveBorder", 0x8000000B},
    {L"clAppWorkSpace", 0x8000000C}, {L"clHighlight", 0x8000000D}, {L"clHighlightText", 0x8000000E},
    {L"clBtnFace", 0x8000000F},   {L"clBtnShadow", 0x80000010}, {L"clGrayText", 0x80000011},
    {L"clBtnText", 0x80000012},   {L"clInactiveCaptionText", 0x80000013}, {L"clBtnHighlight", 0x80000014},
    {L"cl3DDkShadow", 0x80000015}, {L"cl3DLight", 0x80000016}, {L"clInfoText", 0x80000017},
    {L"clInfoBk", 0x80000018},
};

// The sixteen colours of the mark-up, by number (0..15) and by letter.
const wchar_t kColorLetters[] = L"kbgcrmySaBGARMYW";
const uint32_t kColorTable[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
                                  0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
}  // namespace

bool StringToColorValue(std::wstring_view text, TColor& color) {
  std::wstring_view s = TrimView(text);
  if (s.empty()) return false;
  for (const TColorName& n : kColorNames) {
    if (SameAscii(s, n.Name)) {
      color = static_cast<TColor>(n.Value);
      return true;
    }
  }
  long long v;
  if (!ReadNumber(s, v)) return false;
  color = static_cast<TColor>(static_cast<uint32_t>(v));
  return true;
}

bool LabelColorValue(std::wstring_view value, TColor& color) {
  if ((value.size() == 1 || value.size() == 2) && IsAsciiAlnum(value[0])) {
    if (value.size() == 1) {
      for (int i = 0; i < 16; ++i) {
        if (kColorLetters[i] == value[0]) {
          color = static_cast<TColor>(kColorTable[i]);
          return true;
        }
      }
    }
    int n = -1;
    if (value.size() == 1 && value[0] >= L'0' && value[0] <= L'9') n = value[0] - L'0';
    if (value.size() == 2 && value[0] >= L'0' && value[0] <= L'9' && value[1] >= L'0' && value[1] <= L'9')
      n = (value[0] - L'0') * 10 + (value[1] - L'0');
    if (n >= 0 && n < 16) {
      color = static_cast<TColor>(kColorTable[n]);
      return true;
    }
    return false;
  }
  return StringToColorValue(value, color);
}

int THanLabelItem::Advance(int ellipsis) const {
  switch (Shown) {
    case TRunShown::rsWhole: return Width;
    case TRunShown::rsShortened:
    case TRunShown::rsClipped: return ShownWidth;
    case TRunShown::rsDots: return ellipsis;
    case TRunShown::rsHidden: return 0;
  }
  return Width;
}

// ---- model ----

THanLabelItem& TLabelModel::AddRun(const THanLabelItem& given, uint32_t mask) {
  auto run = std::make_unique<THanLabelItem>();
  if (!Runs.empty()) {
    const THanLabelItem& prev = *Runs.back();
    run->FontName = prev.FontName;
    run->Size = prev.Size;
    run->Style = prev.Style;
    run->Charset = prev.Charset;
    run->Color = prev.Color;
    run->BackColor = prev.BackColor;
    run->Alignment = prev.Alignment;
    run->Shadow = prev.Shadow;
    run->PathLevel = prev.PathLevel;
  } else {
    run->FontName = Base.FontName;
    run->Size = Base.Size;
    run->Style = Base.Style;
    run->Charset = Base.Charset;
    run->Color = Base.Color;
    run->BackColor = Base.BackColor;
    run->Alignment = laBottom;
    run->Shadow = Base.Shadow;
  }
  run->PathPart = false;
  run->Text = given.Text;
  run->NewLine = given.NewLine;
  if (mask & lmFontName) run->FontName = given.FontName;
  if (mask & lmSize) run->Size = given.Size;
  if (mask & lmStyle) run->Style = given.Style;
  if (mask & lmCharset) run->Charset = given.Charset;
  if (mask & lmColor) run->Color = given.Color;
  if (mask & lmBackColor) run->BackColor = given.BackColor;
  if (mask & lmAlignment) run->Alignment = given.Alignment;
  if (mask & lmShadow) run->Shadow = given.Shadow;
  if (mask & lmPathPart) {
    run->PathPart = given.PathPart;
    run->PathLevel = given.PathLevel;
    run->Alignment = laBottom;
  }
  run->Shown = TRunShown::rsWhole;
  run->ShownWidth = 0;
  Runs.push_back(std::move(run));
  return *Runs.back();
}

void TLabelModel::Clear() {
  Runs.clear();
  PathMode = false;
  TextRight = 0;
  TextWidth = RightExtent = TextHeight = -1;
}

std::wstring LabelPathRoot(std::wstring_view path) {
  std::wstring_view p = TrimView(path);
  if (p.size() >= 2 && p[1] == L':' && ((p[0] >= L'a' && p[0] <= L'z') || (p[0] >= L'A' && p[0] <= L'Z')))
    return std::wstring(p.substr(0, 2)) + L"\\";
  if (p.size() >= 2 && p[0] == L'\\' && p[1] == L'\\') {
    size_t server = p.find(L'\\', 2);
    if (server == std::wstring_view::npos || server == 2) return {};
    size_t share = p.find(L'\\', server + 1);
    if (share == server + 1) return {};
    if (share == std::wstring_view::npos) return std::wstring(p) + L"\\";
    return std::wstring(p.substr(0, share + 1));
  }
  return {};
}

std::vector<TLabelPathPiece> SplitLabelPath(const std::wstring& path) {
  std::vector<TLabelPathPiece> pieces;
  if (path.empty()) return pieces;
  std::wstring root = LabelPathRoot(path);
  bool counted = root.size() >= 3 && path.size() >= 3 && path.find(root) != std::wstring::npos;
  int level = 0;
  std::wstring segment;
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] == L'\\') {
      pieces.push_back({segment, level});
      pieces.push_back({L"\\", level});
      segment.clear();
      // The "\" that ends the root already counts: the root is level 0, its first folder 1.
      if (counted && i + 1 >= root.size()) ++level;
    } else {
      segment += path[i];
    }
  }
  if (!segment.empty()) pieces.push_back({segment, level});
  return pieces;
}

void TLabelModel::AddPathText(const std::wstring& path) {
  if (path.empty()) return;
  PathMode = true;
  for (const TLabelPathPiece& piece : SplitLabelPath(path)) {
    THanLabelItem given;
    given.Text = piece.Text;
    given.FontName = Base.FontName;
    given.Size = Base.Size;
    given.Style = Base.Style;
    given.Color = Base.Color;
    given.BackColor = Base.BackColor;
    given.Shadow = false;
    given.PathPart = true;
    given.PathLevel = piece.Level;
    AddRun(given, lmFontName | lmSize | lmStyle | lmColor | lmBackColor | lmShadow | lmPathPart);
  }
}

void TLabelModel::Layout(int start, int indent, int half, const TLabelMeasure& measure) {
  int x = start + indent, y = start;
  int lineHeight = 0, lineFixed = 0, widestFixed = 0, largestX = 0;
  size_t lineStart = 0;
  auto closeLine = [&](size_t end) {
    for (size_t k = lineStart; k < end; ++k) {
      Runs[k]->Height = lineHeight;
      Runs[k]->LineFixedWidth = lineFixed;
    }
    widestFixed = std::max(widestFixed, lineFixed);
    y += std::max(lineHeight, half) + 2;
    x = start + indent;
    lineHeight = 0;
    lineFixed = 0;
    lineStart = end;
  };
  for (size_t i = 0; i < Runs.size(); ++i) {
    THanLabelItem& r = *Runs[i];
    if (r.NewLine) closeLine(i);
    r.Left = x;
    r.Top = y;
    int w = 0, h = 0;
    measure(r, w, h);
    r.Width = std::max(w, 0);
    r.Height = std::max(h, 0) + 2;
    lineHeight = std::max(lineHeight, r.Height);
    if (!r.PathPart) lineFixed += r.Width;
    x += r.Width;
    largestX = std::max(largestX, x);
  }
  TextRight = Runs.empty() ? 0 : x;
  closeLine(Runs.size());
  TextHeight = start + y;
  RightExtent = largestX + start;
  TextWidth = widestFixed + 2 * start + indent;
}

void TLabelModel::ShortenPaths(int avail, int ellipsis) {
  ellipsis = std::max(ellipsis, 0);
  std::vector<std::vector<size_t>> groups;
  if (WholePath) {
    // The whole label is one path: the text after it belongs to the group too, so a path
    // followed by its information text does not count as ending in "\".
    std::vector<size_t> all;
    for (size_t i = 0; i < Runs.size(); ++i) all.push_back(i);
    groups.push_back(all);
  } else {
    for (size_t i = 0; i < Runs.size(); ++i) {
      if (!Runs[i]->PathPart) continue;
      if (i == 0 || !Runs[i - 1]->PathPart || groups.empty()) groups.emplace_back();
      groups.back().push_back(i);
    }
  }
  for (const std::vector<size_t>& g : groups) {
    for (size_t i : g) {
      Runs[i]->Shown = TRunShown::rsWhole;
      Runs[i]->ShownWidth = 0;
    }
    if (g.empty()) continue;
    long long total = 0;
    long long room;
    if (WholePath) {
      total = TextRight;
      room = avail;
    } else {
      for (size_t i : g) total += Runs[i]->Width;
      room = static_cast<long long>(avail) - Runs[g.front()]->LineFixedWidth;
    }
    const THanLabelItem& last = *Runs[g.back()];
    int level = last.PathLevel;
    bool trailingSlash = last.IsPathSlash();
    if (total <= room) continue;
    auto firstOfLevel = [&](int lv) -> long long {
      for (size_t k = 0; k < g.size(); ++k)
        if (Runs[g[k]]->PathLevel == lv) return static_cast<long long>(k);
      return -1;
    };
    auto lastOfLevel = [&](int lv) -> long long {
      for (size_t k = g.size(); k-- > 0;)
        if (Runs[g[k]]->PathLevel == lv) return static_cast<long long>(k);
      return -1;
    };
    if (level <= 1) {
      long long k = firstOfLevel(level);
      if (k < 0) continue;
      for (long long j = 0; j < k; ++j) Runs[g[static_cast<size_t>(j)]]->Shown = TRunShown::rsHidden;
      Runs[g[static_cast<size_t>(k)]]->Shown = TRunShown::rsShortened;
    } else if (level >= 3) {
      long long need = total - room + ellipsis;
      long long from = firstOfLevel(trailingSlash ? level - 1 : level - 2);
      long long to = firstOfLevel(1);
      if (from >= 0 && to >= 0 && to <= from) {
        for (long long j = from; j >= to; --j) {
          THanLabelItem& r = *Runs[g[static_cast<size_t>(j)]];
          if (j == from) {
            if (r.Width < need) {
              r.Shown = TRunShown::rsDots;
              need -= r.Width;
            } else {
              r.Shown = TRunShown::rsShortened;
              need = 0;
            }
          } else {
            r.Shown = TRunShown::rsHidden;
            need -= r.Width;
          }
          if (need <= 0 && !r.IsPathSlash()) break;
        }
      }
      for (long long j = lastOfLevel(0); need > 0 && j >= 0; --j) {
        THanLabelItem& r = *Runs[g[static_cast<size_t>(j)]];
        if (r.PathLevel != 0 || r.Shown == TRunShown::rsHidden) continue;
        r.Shown = TRunShown::rsHidden;
        need -= r.Width;
      }
      if (need > 0 && !trailingSlash) {
        long long a = lastOfLevel(level - 2), b = firstOfLevel(level - 1);
        for (long long j = a; need > 0 && a >= 0 && j <= b; ++j) {
          THanLabelItem& r = *Runs[g[static_cast<size_t>(j)]];
          if (r.Shown == TRunShown::rsHidden) continue;
          need -= r.Shown == TRunShown::rsDots ? ellipsis : r.Width;
          r.Shown = TRunShown::rsHidden;
        }
      }
      if (need > 0) {
        long long k = firstOfLevel(level);
        if (k >= 0) {
          THanLabelItem& r = *Runs[g[static_cast<size_t>(k)]];
          r.Shown = TRunShown::rsClipped;
          r.ShownWidth = static_cast<int>(std::max<long long>(r.Width - need, ellipsis));
        }
      }
    }
    // A run cut with "..." gets the room the others leave; hidden runs leave theirs.
    long long hidden = 0;
    for (size_t i : g)
      if (Runs[i]->Shown == TRunShown::rsHidden) hidden += Runs[i]->Width;
    for (size_t i : g) {
      THanLabelItem& r = *Runs[i];
      if (r.Shown == TRunShown::rsShortened)
        r.ShownWidth = static_cast<int>(std::clamp<long long>(r.Width + room - (total - hidden) - 2, 0, r.Width));
    }
  }
  Reposition(ellipsis);
}

void TLabelModel::Reposition(int ellipsis) {
  for (size_t i = 1; i < Runs.size(); ++i) {
    THanLabelItem& r = *Runs[i];
    if (r.NewLine) continue;
    const THanLabelItem& prev = *Runs[i - 1];
    r.Left = prev.Left + prev.Advance(ellipsis);
  }
}

// ---- mark-up ----

namespace {
struct TMarkupState {
  std::wstring FontName;
  int Size;
  TColor Color;
  uint8_t Style;
  TColor BackColor;
  bool Path = false;
  bool Shadow = false;
  uint8_t Alignment = laBottom;
  bool NewLine = false;

  void Reset(const TLabelMarkupDefaults& d) {
    FontName = d.FontName;
    Size = d.Size;
    Color = d.FontColor;
    Style = d.Style;
    BackColor = d.BackColor;
    Path = false;
    Shadow = false;
    Alignment = laBottom;
  }
};

void Emit(const std::wstring& text, TMarkupState& st, const TLabelMarkupDefaults& d, TLabelModel& model) {
  THanLabelItem given;
  if (st.Path) {
    given.FontName = d.FontName;
    given.Size = d.Size;
    given.Style = d.Style;
    given.Color = d.FontColor;
    given.BackColor = d.BackColor;
    given.NewLine = st.NewLine;
    given.Shadow = st.Shadow;
    given.Alignment = st.Alignment;
    model.AddRun(given, 0xF7);
    model.AddPathText(text);
    return;
  }
  given.Text = text;
  given.FontName = st.FontName;
  given.Size = st.Size;
  given.Style = st.Style;
  given.Color = st.Color;
  given.BackColor = st.BackColor;
  given.Alignment = st.Alignment;
  given.Shadow = st.Shadow;
  given.NewLine = st.NewLine;
  model.AddRun(given, 0xF7);
}

void ApplyTag(std::wstring_view inner, TMarkupState& st, const TLabelMarkupDefaults& d) {
  std::wstring_view tag = TrimView(inner);
  size_t eq = tag.find(L'=');
  if (eq != std::wstring_view::npos && eq != 0 && eq != tag.size() - 1) {
    std::wstring name = UpperAscii(TrimView(tag.substr(0, eq)));
    std::wstring_view value = TrimView(tag.substr(eq + 1));
    if (value.empty()) return;
    if (name == L"FONT" || name == L"F") {
      st.FontName = std::wstring(value);
    } else if (name == L"SIZE" || name == L"S") {
      long long v;
      if (ReadNumber(value, v) && v > 0) st.Size = static_cast<int>(std::min<long long>(v, kMaxMarkupSize));
    } else if (name == L"COLOR" || name == L"C") {
      LabelColorValue(value, st.Color);
    } else if (name == L"BCOLOR" || name == L"B") {
      LabelColorValue(value, st.BackColor);
    }
    return;
  }
  std::wstring t = UpperAscii(tag);
  bool closing = !t.empty() && t[0] == L'/';
  std::wstring name = closing ? t.substr(1) : t;
  if (closing && name.empty()) return;
  if (name == L"FONT" || name == L"F") {
    if (closing) st.FontName = d.FontName;
  } else if (name == L"SIZE" || name == L"S") {
    if (closing) st.Size = d.Size;
  } else if (name == L"COLOR" || name == L"C") {
    if (closing) st.Color = d.FontColor;
  } else if (name == L"BCOLOR" || name == L"B") {
    if (closing) st.BackColor = d.BackColor;
  } else if (name == L"PATH" || name == L"P") {
    st.Path = !closing;
  } else if (name == L"SHADOW" || name == L"W") {
    st.Shadow = !closing;
  } else if (name == L"BOLD" || name == L"D") {
    st.Style = closing ? (st.Style & ~1) : (st.Style | 1);
  } else if (name == L"ITALIC" || name == L"I") {
    st.Style = closing ? (st.Style & ~2) : (st.Style | 2);
  } else if (name == L"UNDERLINE" || name == L"U") {
    st.Style = closing ? (st.Style & ~4) : (st.Style | 4);
  } else if (name == L"STRIKE" || name == L"T") {
    st.Style = closing ? (st.Style & ~8) : (st.Style | 8);
  } else if (name == L"1") {
    st.Alignment = laTop;
  } else if (name == L"2") {
    st.Alignment = laCenter;
  } else if (name == L"3") {
    st.Alignment = laBottom;
  } else if (name == L"FIRST" || name == L"R" || name.empty()) {
    st.Reset(d);
  }
}
}  // namespace

void ParseLabelMarkup(std::wstring_view text, const TLabelMarkupDefaults& defaults, TLabelModel& model) {
  TMarkupState st;
  st.Reset(defaults);
  size_t pos = 0;
  while (pos < text.size()) {
    std::wstring_view rest = text.substr(pos);
    size_t lt = rest.find(L'<');
    if (lt == 0) {
      size_t gt = rest.find(L'>');
      if (gt == std::wstring_view::npos) break;  // an unclosed "<" drops the rest
      ApplyTag(rest.substr(1, gt - 1), st, defaults);
      pos += gt + 1;
      continue;
    }
    std::wstring_view token = lt == std::wstring_view::npos ? rest : rest.substr(0, lt);
    pos += token.size();
    std::wstring collected;
    for (wchar_t c : token) {
      if (c == 0 || c == L'\n') continue;
      if (c == L'\r' || c == L'|') {
        Emit(collected, st, defaults, model);
        collected.clear();
        st.NewLine = true;
        continue;
      }
      collected += c;
    }
    // What is left is emitted; so is an empty piece that carries a line break still due.
    if (!collected.empty() || st.NewLine) Emit(collected, st, defaults, model);
    st.NewLine = false;
  }
}
