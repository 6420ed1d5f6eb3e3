#include "fileops/RenPattern.h"

#include <algorithm>

#include "framework/TextCompare.h"

namespace {

constexpr size_t kCounterField = 20;  // the start text of a "C" token, right-aligned
constexpr int kMaxPosition = 255;

bool IsForbiddenInPattern(wchar_t c) {
  return c == L'>' || c == L':' || c == L'\\' || c == L'/' || c == L'?' || c == L'*';
}
bool HasForbidden(std::wstring_view s) { return std::any_of(s.begin(), s.end(), IsForbiddenInPattern); }

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Characters first..last (1-based, inclusive, clamped to the text) without splitting a
// surrogate pair at either end.
std::wstring CopyRange(std::wstring_view s, int64_t first, int64_t last) {
  if (first < 1) first = 1;
  if (last > static_cast<int64_t>(s.size())) last = static_cast<int64_t>(s.size());
  if (last < first) return {};
  size_t b = static_cast<size_t>(first - 1), e = static_cast<size_t>(last);
  if (b > 0 && IsLowSurrogate(s[b]) && IsHighSurrogate(s[b - 1])) ++b;
  if (e < s.size() && IsLowSurrogate(s[e]) && e > 0 && IsHighSurrogate(s[e - 1])) --e;
  return b < e ? std::wstring(s.substr(b, e - b)) : std::wstring();
}

// A decimal integer with an optional sign; blanks already removed.
bool ParseDecimal(std::wstring_view s, int64_t& v, int64_t limit) {
  size_t i = 0;
  bool neg = false;
  if (i < s.size() && (s[i] == L'+' || s[i] == L'-')) neg = s[i++] == L'-';
  if (i == s.size()) return false;
  int64_t r = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < L'0' || s[i] > L'9') return false;
    r = r * 10 + (s[i] - L'0');
    if (r > limit) return false;
  }
  v = neg ? -r : r;
  return true;
}

std::wstring StripBlanks(std::wstring_view s) {
  std::wstring r;
  for (wchar_t c : s)
    if (c != L' ') r += c;
  return r;
}

// A value in decimal with at least `digits` digits, zero padded after any sign.
std::wstring PaddedNumber(int64_t v, size_t digits) {
  bool neg = v < 0;
  uint64_t m = neg ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  std::wstring d = std::to_wstring(m);
  if (d.size() < digits) d.insert(0, digits - d.size(), L'0');
  return neg ? L"-" + d : d;
}

wchar_t SignChar(int v) { return v >= 1 ? L' ' : L'-'; }
wchar_t MagnitudeChar(int v) { return static_cast<wchar_t>(v < 0 ? -v : v); }
int DecodeSigned(wchar_t sign, wchar_t magnitude) {
  return sign == L'-' ? -static_cast<int>(magnitude) : static_cast<int>(magnitude);
}

// A number of a range: blanks around it ignored; empty means 0.
bool ParseRangeNumber(std::wstring_view s, int& v) {
  std::wstring t = Trim(s);
  if (t.empty()) {
    v = 0;
    return true;
  }
  int64_t n;
  if (!ParseDecimal(t, n, kMaxPosition)) return false;
  v = static_cast<int>(n);
  return true;
}

// The "n"/"e" token of a range tag's arguments, or "" when they are invalid.
bool CompileRange(wchar_t kind, std::wstring_view args, std::wstring& token) {
  std::wstring a = Trim(args);
  if (a.empty()) {
    token = std::wstring(1, kind == L'n' ? L'N' : L'E');
    return true;
  }
  // A leading "-" is the start's sign only when a "," separates start and end; otherwise it is
  // the separator itself ("<N-3>" is the last three characters).
  size_t comma = a.find(L',');
  bool negativeStart = a[0] == L'-' && comma != std::wstring::npos;
  size_t sep;
  wchar_t sepChar = 0;
  if (negativeStart) {
    sep = comma;
  } else {
    sep = a.find(L'-');
    if (sep == std::wstring::npos) sep = comma;
  }
  if (sep != std::wstring::npos) sepChar = a[sep];
  std::wstring_view startText = sep == std::wstring::npos ? std::wstring_view(a) : std::wstring_view(a).substr(0, sep);
  int start = 0, end = 0;
  if (negativeStart) {
    std::wstring st = Trim(startText.substr(1));
    if (st.empty() || !ParseRangeNumber(st, start)) return false;
    start = -start;
  } else if (!ParseRangeNumber(startText, start)) {
    return false;
  }
  if (sep != std::wstring::npos) {
    std::wstring endText = Trim(std::wstring_view(a).substr(sep + 1));
    if (endText.empty()) {
      end = kMaxPosition;
    } else if (!ParseRangeNumber(endText, end) || end < 0) {
      return false;
    }
    if (sepChar == L',') end = -end;  // a count
  }
  token.assign(1, kind);
  token += SignChar(start);
  token += MagnitudeChar(start);
  token += SignChar(end);
  token += MagnitudeChar(end);
  return true;
}

std::wstring ExpandRange(std::wstring_view s, const std::wstring& token) {
  if (token.size() < 5) return {};
  int b = DecodeSigned(token[1], token[2]);
  int c = DecodeSigned(token[3], token[4]);
  int64_t len = static_cast<int64_t>(s.size());
  if (b == 0) return CopyRange(s, len - (c < 0 ? -c : c) + 1, len);
  if (c == 0) return CopyRange(s, 1, b < 0 ? -b : b);
  int64_t first = b < 0 ? len + b + 1 : b;
  int64_t last = c < 0 ? first + (-c) - 1 : c;
  return CopyRange(s, first, last);  // a start before the first character is clamped to it
}

std::wstring ExpandDatePicture(std::wstring_view picture, TDateTime date) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0, ms = 0;
  if (!DecodeDateTime(date, y, mo, d, h, mi, se, ms)) y = mo = d = h = mi = se = 0;
  std::wstring r;
  for (wchar_t ch : picture) {
    switch (ch) {
      case L'Y': r += PaddedNumber(y, 4); break;
      case L'M': r += PaddedNumber(mo, 2); break;
      case L'D': r += PaddedNumber(d, 2); break;
      case L'd': r += PaddedNumber(y, 4) + PaddedNumber(mo, 2) + PaddedNumber(d, 2); break;
      case L'h': r += PaddedNumber(h, 2); break;
      case L'm': r += PaddedNumber(mi, 2); break;
      case L's': r += PaddedNumber(se, 2); break;
      case L't': r += PaddedNumber(h, 2) + PaddedNumber(mi, 2) + PaddedNumber(se, 2); break;
      default: r += ch;
    }
  }
  return r;
}

std::wstring ExpandOwnCounter(const std::wstring& token, const TRenameSettings& st, int index) {
  if (token.size() < 1 + kCounterField) return {};
  std::wstring startText = Trim(std::wstring_view(token).substr(1, kCounterField));
  std::wstring stepText = token.substr(1 + kCounterField);
  int64_t start = st.Start, step = st.Step;
  size_t digits = 1;
  bool ownStart = !(startText.empty() || startText == L"+" || startText == L"-");
  if (ownStart) {
    ParseDecimal(startText, start, INT32_MAX);
    digits = startText.size() - ((startText[0] == L'+' || startText[0] == L'-') ? 1 : 0);
  } else {
    digits = static_cast<size_t>(std::max(st.Width, 1));
  }
  if (!(stepText.empty() || stepText == L"+" || stepText == L"-")) ParseDecimal(stepText, step, INT32_MAX);
  if (step == 0) step = 1;
  return PaddedNumber(start + step * static_cast<int64_t>(index), digits);
}

}  // namespace

void CompileRenamePattern(std::wstring_view Pattern, TRenameTokens& Tokens, bool& Invalid) {
  std::wstring_view rest = Pattern;
  while (!rest.empty() && !Invalid) {
    size_t lt = rest.find(L'<');
    if (lt == std::wstring_view::npos) {
      if (HasForbidden(rest)) Invalid = true;
      Tokens.push_back(L"!" + std::wstring(rest));
      break;
    }
    size_t gt = rest.find(L'>');
    if (gt == std::wstring_view::npos || gt < lt + 2) {  // no ">", "<>", or ">" before "<"
      Invalid = true;
      break;
    }
    if (lt > 0) {
      std::wstring_view lit = rest.substr(0, lt);
      if (HasForbidden(lit)) {
        Invalid = true;
        break;
      }
      Tokens.push_back(L"!" + std::wstring(lit));
    }
    std::wstring_view tag = rest.substr(lt + 1, gt - lt - 1);
    rest = rest.substr(gt + 1);
    wchar_t kind = tag[0];
    std::wstring_view args = tag.substr(1);
    if (kind == L'C' || kind == L'c') {
      if (args.empty()) {
        Tokens.push_back(L"c");
        continue;
      }
      std::wstring a = StripBlanks(args);
      size_t comma = a.find(L',');
      std::wstring start = a.substr(0, comma);
      std::wstring step = comma == std::wstring::npos ? std::wstring() : a.substr(comma + 1);
      int64_t v;
      bool signOnly = start == L"+" || start == L"-";
      if (start.size() > kCounterField || (!signOnly && !ParseDecimal(start, v, INT32_MAX)) ||
          (comma != std::wstring::npos && !(step == L"+" || step == L"-" || ParseDecimal(step, v, INT32_MAX)))) {
        Invalid = true;
        break;
      }
      Tokens.push_back(L"C" + std::wstring(kCounterField - start.size(), L' ') + start + step);
    } else if (kind == L'N' || kind == L'n' || kind == L'E' || kind == L'e') {
      if (args.empty()) {
        Tokens.push_back(std::wstring(1, (kind == L'N' || kind == L'n') ? L'N' : L'E'));
        continue;
      }
      std::wstring token;
      if (!CompileRange((kind == L'N' || kind == L'n') ? L'n' : L'e', args, token)) {
        Invalid = true;
        break;
      }
      Tokens.push_back(token);
    } else {
      if (HasForbidden(tag)) {
        Invalid = true;
        break;
      }
      Tokens.push_back(L"@" + std::wstring(tag));
    }
  }
}

std::wstring RenameCounterText(const TRenameSettings& Settings, int Index) {
  int64_t v = static_cast<int64_t>(Settings.Start) + static_cast<int64_t>(Settings.Step) * Index;
  return PaddedNumber(v, static_cast<size_t>(std::max(Settings.Width, 1)));
}

void ExpandRenamePattern(std::wstring& Text, const TRenameTokens& Tokens, const TRenameSource& Item, int Index,
                         const TRenameSettings& Settings, bool& Invalid) {
  Text.clear();
  for (const std::wstring& t : Tokens) {
    if (t.empty()) continue;
    switch (t[0]) {
      case L'!': Text.append(t, 1); break;
      case L'@': Text += ExpandDatePicture(std::wstring_view(t).substr(1), Item.Date); break;
      case L'N': Text += Item.Name; break;
      case L'E': Text += Item.Ext; break;
      case L'n': Text += ExpandRange(Item.Name, t); break;
      case L'e': Text += ExpandRange(Item.Ext, t); break;
      case L'c': Text += RenameCounterText(Settings, Index); break;
      case L'C': Text += ExpandOwnCounter(t, Settings, Index); break;
      default: break;
    }
  }
  if (HasForbidden(Text)) Invalid = true;
}

void ReplaceAllText(std::wstring_view Text, std::wstring& Result, std::wstring_view Find, std::wstring_view Replace) {
  if (Find.empty()) {
    Result.assign(Text);
    return;
  }
  std::wstring upText = UpperCase(Text), upFind = UpperCase(Find);
  if (upText.size() != Text.size() || upFind.size() != Find.size()) {  // never by the system's rules
    upText.assign(Text);
    upFind.assign(Find);
  }
  Result.clear();
  size_t pos = 0;
  for (;;) {
    size_t hit = upText.find(upFind, pos);
    if (hit == std::wstring::npos) break;
    Result.append(Text.substr(pos, hit - pos));
    Result.append(Replace);
    pos = hit + Find.size();
  }
  Result.append(Text.substr(pos));
}

std::wstring ResolveNewNameComponent(std::wstring_view Name) {
  size_t n = Name.size();
  while (n > 0 && (Name[n - 1] == L'.' || Name[n - 1] == L' ')) --n;
  // A name of only dots and blanks ("." and ".." among them) names no file of its own.
  return std::wstring(Name.substr(0, n));
}

TRenamePass::TRenamePass(std::wstring_view NamePattern, std::wstring_view ExtPattern, TRenameSettings Settings)
    : Settings_(std::move(Settings)) {
  CompileRenamePattern(NamePattern, NameTokens_, Invalid_);
  CompileRenamePattern(ExtPattern, ExtTokens_, Invalid_);
  if (Settings_.CaseMode == 1) {
    Settings_.FindText = LowerCase(Settings_.FindText);
    Settings_.ReplaceText = LowerCase(Settings_.ReplaceText);
  } else if (Settings_.CaseMode == 2) {
    Settings_.FindText = UpperCase(Settings_.FindText);
    Settings_.ReplaceText = UpperCase(Settings_.ReplaceText);
  }
}

std::wstring TRenamePass::BuildNewName(const TRenameSource& Item, int Index) {
  if (Invalid_) return {};
  std::wstring name, ext;
  ExpandRenamePattern(name, NameTokens_, Item, Index, Settings_, Invalid_);
  ExpandRenamePattern(ext, ExtTokens_, Item, Index, Settings_, Invalid_);
  if (Invalid_) return {};
  if (!Settings_.FindText.empty()) {
    std::wstring r;
    ReplaceAllText(name, r, Settings_.FindText, Settings_.ReplaceText);
    name.swap(r);
    ReplaceAllText(ext, r, Settings_.FindText, Settings_.ReplaceText);
    ext.swap(r);
    // A replacement may bring in what no name may hold.
    if (HasForbidden(name) || HasForbidden(ext)) {
      Invalid_ = true;
      return {};
    }
  }
  std::wstring newName = ext.empty() ? name : name + L"." + ext;
  newName = ResolveNewNameComponent(newName);
  switch (Settings_.CaseMode) {
    case 1: newName = LowerCase(newName); break;
    case 2: newName = UpperCase(newName); break;
    case 3: newName = CapitalizePath(newName); break;
    case 4: newName = CapitalizeWords(newName); break;
    default: break;
  }
  return newName;
}
