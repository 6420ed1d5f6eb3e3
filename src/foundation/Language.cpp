#include "foundation/Language.h"

#include <vector>

#include "foundation/BuiltinTexts.h"
#include "foundation/FileIO.h"
#include "foundation/Folders.h"
#include "foundation/HanINI.h"
#include "foundation/MYTOOL.h"
#include "foundation/TextCodec.h"
#include "framework/TextCompare.h"

namespace {
// Ids are digits; an ASCII fold is all the case-insensitive match of their names needs and
// keeps the lookup a plain hash.
std::wstring AsciiLower(std::wstring_view s) {
  std::wstring r(s);
  for (auto& c : r)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  return r;
}

std::string_view Bytes(const unsigned char* data, size_t size) {
  return std::string_view(reinterpret_cast<const char*>(data), size);
}

void LinesFromUtf8(std::string_view bytes, TStringList& lines) {
  if (bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF &&
      static_cast<unsigned char>(bytes[1]) == 0xBB && static_cast<unsigned char>(bytes[2]) == 0xBF)
    bytes.remove_prefix(3);
  lines.Clear();
  lines.SetText(Utf8ToWide(bytes));
}

bool HasFolderPart(const std::wstring& v) { return v.find_first_of(L"\\/:") != std::wstring::npos; }

size_t FileNameStart(const std::wstring& v) {
  size_t p = v.find_last_of(L"\\/:");
  return p == std::wstring::npos ? 0 : p + 1;
}

bool HasExtension(const std::wstring& v) { return v.find(L'.', FileNameStart(v)) != std::wstring::npos; }

// "0x" hexadecimal or a whole decimal number; anything else is 0.
int32_t ParseLangId(const std::wstring& raw) {
  std::wstring v = Trim(raw);
  bool ok = false;
  int32_t n = 0;
  if (v.size() > 2 && v[0] == L'0' && (v[1] == L'x' || v[1] == L'X'))
    n = TryStrToInt(L"$" + v.substr(2), ok);
  else if (!v.empty() && v[0] != L'$')
    n = TryStrToInt(v, ok);
  return ok ? n : 0;
}

std::wstring StripAccelerators(std::wstring_view caption) {
  std::wstring s;
  for (wchar_t c : caption)
    if (c != L'&') s += c;
  s = Trim(s);
  // A trailing accelerator group: "아니오(N)" after the "&" went.
  if (s.size() >= 3 && s.back() == L')') {
    size_t open = s.rfind(L'(');
    if (open != std::wstring::npos) {
      size_t inner = s.size() - open - 2;
      if (inner >= 1 && inner <= 3 && s.find(L' ', open) == std::wstring::npos) s = Trim(s.substr(0, open));
    }
  }
  return s;
}
}  // namespace

std::wstring CookMessageText(std::wstring s) {
  if (!s.empty() && s.front() == L'\'') {
    s.erase(0, 1);
    if (!s.empty() && s.back() == L'\'') s.pop_back();
  }
  for (auto& c : s)
    if (c == L'|') c = L'\r';
  return s;
}

// ---- TMultiLanguage ----

TMultiLanguage::TMultiLanguage() {
  SetBuiltinMessages(Bytes(BuiltinMessageData, BuiltinMessageDataSize));
  SetTranslationMap(Bytes(BuiltinTranslationData, BuiltinTranslationDataSize));
}

TMultiLanguage::~TMultiLanguage() = default;

void TMultiLanguage::SetBuiltinMessages(std::string_view utf8Lines) {
  LinesFromUtf8(utf8Lines, BuiltinMessages);
  FBuiltinIndex.clear();
  FBuiltinIndex.reserve(static_cast<size_t>(BuiltinMessages.Count()) * 2);
  for (int i = 0; i < BuiltinMessages.Count(); ++i) {
    const std::wstring& line = BuiltinMessages[i];
    size_t eq = line.find(L'=');
    if (eq == std::wstring::npos) continue;
    FBuiltinIndex.emplace(AsciiLower(std::wstring_view(line).substr(0, eq)), line.substr(eq + 1));
  }
  FTranslationBuilt = false;
}

void TMultiLanguage::SetTranslationMap(std::string_view utf8Lines) {
  LinesFromUtf8(utf8Lines, FTranslationMap);
  FTranslationBuilt = false;
}

void TMultiLanguage::SetSeparator(const std::wstring& value) { FSeparator = Trim(value).empty() ? L"," : value; }

void TMultiLanguage::SetLanguageFile(const std::wstring& value) {
  std::wstring v = value;
  if (!HasFolderPart(v)) v = ProgramFolder + L"Language\\" + v;
  if (!HasExtension(v)) v += L".lng";
  if (!FLanguageFile.empty() && CompareTextI(v, FLanguageFile) == 0) return;
  if (!FileExistsPlain(v)) v = ProgramFolder + v.substr(FileNameStart(v));
  FTranslationBuilt = false;
  FLanguageFile = v;
  LoadLanguageFile();
}

void TMultiLanguage::LoadLanguageFile() {
  FReader = std::make_unique<THanINI>(FLanguageFile);
  FReader->ReadOnly = true;
  ReadLanguageMain();
}

void TMultiLanguage::LoadLanguageBytes(std::string_view bytes) {
  FReader = std::make_unique<THanINI>(L"<memory>");
  FReader->ReadOnly = true;
  FReader->LoadFromBytes(bytes);
  FTranslationBuilt = false;
  ReadLanguageMain();
}

void TMultiLanguage::ReadLanguageMain() {
  Version = FReader->ReadString(L"main", L"Version", L"45");
  ID = FReader->ReadString(L"main", L"ID", L"Korean(한국어)");
  HelpFile = FReader->ReadString(L"main", L"Help", L"velmo.hlp");
  SysErrorLangID = ParseLangId(FReader->ReadString(L"main", L"SystemErrorMessageID", L"0"));
  // The file is read-only for its whole life, so its messages are indexed once.
  FFileMessages.clear();
  std::wstring key, value;
  for (bool more = FReader->FindFirstKey(L"Messages", key, value); more; more = FReader->FindNextKey(key, value))
    FFileMessages.emplace(AsciiLower(key), value);
}

bool TMultiLanguage::LanguageText(const std::wstring& idText, std::wstring& s) {
  if (FFileMessages.empty()) return false;
  auto it = FFileMessages.find(AsciiLower(idText));
  if (it == FFileMessages.end() || it->second.empty()) return false;
  s = it->second;
  return true;
}

bool TMultiLanguage::BuiltinText(const std::wstring& idText, std::wstring& s) const {
  auto it = FBuiltinIndex.find(AsciiLower(idText));
  if (it == FBuiltinIndex.end()) return false;
  s = it->second;
  return true;
}

void TMultiLanguage::BuildTranslationList() {
  if (FTranslationBuilt) return;
  if (!FReader) LoadLanguageFile();
  TranslationList.Clear();
  for (int i = 0; i < FTranslationMap.Count(); ++i) {
    const std::wstring& line = FTranslationMap[i];
    size_t eq = line.find(L'=');
    if (eq == std::wstring::npos) continue;
    std::wstring id = Trim(std::wstring_view(line).substr(0, eq));
    std::wstring path = Trim(std::wstring_view(line).substr(eq + 1));
    if (id.empty() || path.empty()) continue;
    std::wstring text;
    if (!LanguageText(id, text)) BuiltinText(id, text);
    if (!text.empty()) TranslationList.Add(path + L'\t' + text);
  }
  FTranslationBuilt = true;
}

void TMultiLanguage::GetMessageText(const std::wstring& idText, std::wstring& s) {
  BuildTranslationList();
  s.clear();
  if (!LanguageText(idText, s) && !BuiltinText(idText, s)) s.clear();
  s = CookMessageText(std::move(s));
}

void TMultiLanguage::GetBuiltinMessageText(const std::wstring& idText, std::wstring& s) {
  BuildTranslationList();
  s.clear();
  if (!BuiltinText(idText, s)) s.clear();
  s = CookMessageText(std::move(s));
}

void TMultiLanguage::TranslateForm(const std::wstring& formName) {
  std::wstring name = Trim(formName);
  if (name.empty()) return;
  BuildTranslationList();
  if (name.back() != L'.') name += L'.';
  if (OnBeforeTranslation) OnBeforeTranslation(this);
  for (int i = 0; i < TranslationList.Count(); ++i) {
    const std::wstring& line = TranslationList[i];
    if (Trim(line).empty() || line.size() < name.size()) continue;
    if (CompareTextI(std::wstring_view(line).substr(0, name.size()), name) != 0) continue;
    size_t tab = line.find(L'\t');
    if (tab == std::wstring::npos) continue;
    ApplyTranslation(line.substr(0, tab), line.substr(tab + 1));
  }
  if (OnAfterTranslation) OnAfterTranslation(this);
}

void TMultiLanguage::ApplyTranslation(const std::wstring& rawPath, const std::wstring& rawText) {
  std::wstring path = Trim(rawPath);
  std::vector<std::wstring> pieces;
  size_t start = 0;
  for (;;) {
    size_t dot = path.find(L'.', start);
    pieces.push_back(Trim(std::wstring_view(path).substr(start, dot == std::wstring::npos ? dot : dot - start)));
    if (dot == std::wstring::npos) break;
    start = dot + 1;
  }
  TTranslationNode* node = Application;
  for (size_t p = 0; node && p + 1 < pieces.size(); ++p) {
    TTranslationNode* found = nullptr;
    for (int i = 0; i < node->OwnedCount() && !found; ++i) {
      TTranslationNode* c = node->Owned(i);
      if (c && CompareTextI(c->GetName(), pieces[p]) == 0) found = c;
    }
    node = found;
  }
  if (!node || rawText.empty()) return;
  const std::wstring& prop = pieces.back();
  // The handler hears of every component found with a text, whether or not the property
  // exists: it may log or collect texts that this build cannot place.
  std::wstring text = rawText;
  if (OnTranslate) OnTranslate(this, node, prop, node->GetPropText(prop), text);
  TTranslationNode::TPropKind kind = node->GetPropKind(prop);
  if (kind == TTranslationNode::TPropKind::None) return;
  text = CookMessageText(std::move(text));
  switch (kind) {
    case TTranslationNode::TPropKind::String:
      node->SetStringProp(prop, text);
      break;
    case TTranslationNode::TPropKind::Integer: {
      // A translation that is not a number leaves the built-in value: a damaged language
      // file must not break the dialog that asked for it.
      bool ok = false;
      int32_t n = TryStrToInt(Trim(text), ok);
      if (ok) node->SetIntegerProp(prop, n);
      break;
    }
    case TTranslationNode::TPropKind::List: {
      std::vector<std::wstring> items;
      size_t from = 0;
      for (;;) {
        size_t sep = FSeparator.empty() ? std::wstring::npos : text.find(FSeparator, from);
        if (sep == std::wstring::npos) {
          std::wstring last = Trim(std::wstring_view(text).substr(from));
          if (!last.empty()) items.push_back(last);
          break;
        }
        items.push_back(Trim(std::wstring_view(text).substr(from, sep - from)));
        from = sep + FSeparator.size();
      }
      node->SetListProp(prop, items);
      break;
    }
    case TTranslationNode::TPropKind::None:
      break;
  }
}

// ---- the program's language object and its shortcuts ----

TMultiLanguage& LanguageObject() {
  static TMultiLanguage object;
  return object;
}

void LoadMessageText(int id, std::wstring& s) { LanguageObject().GetMessageText(std::to_wstring(id), s); }

std::wstring LoadMessageText(int id) {
  std::wstring s;
  LoadMessageText(id, s);
  return s;
}

void LoadBuiltinMessageText(int id, std::wstring& s) { LanguageObject().GetBuiltinMessageText(std::to_wstring(id), s); }

std::wstring LoadBuiltinMessageText(int id) {
  std::wstring s;
  LoadBuiltinMessageText(id, s);
  return s;
}

void TranslateForm(const std::wstring& formName) { LanguageObject().TranslateForm(formName); }

std::wstring FormatMessageText(int id, std::initializer_list<std::wstring> args) {
  std::wstring s = LoadMessageText(id);
  size_t from = 0;
  for (const auto& a : args) {
    size_t at = s.find(L"%S", from);
    if (at == std::wstring::npos) break;
    s.replace(at, 2, a);
    from = at + a.size();
  }
  return s;
}

// ---- standard buttons ----

std::wstring StdButtonsYesNo;
std::wstring StdButtonsYesNoCancel;
std::wstring StdButtonsOkCancel;
std::wstring StdButtonsOk;
std::wstring StdButtonsCancel;
int32_t SystemErrorLangID = 0;

void InitStdButtonLists() {
  std::wstring ok = LoadMessageText(1), cancel = LoadMessageText(2), yes = LoadMessageText(9),
               no = LoadMessageText(10);
  StdButtonsYesNo = yes + L'|' + no;
  StdButtonsYesNoCancel = yes + L'|' + no + L'|' + cancel;
  StdButtonsOkCancel = ok + L'|' + cancel;
  StdButtonsOk = ok;
  StdButtonsCancel = cancel;
}

int FindCancelButton(const std::wstring& buttons) {
  std::vector<std::wstring> captions;
  size_t start = 0;
  for (;;) {
    size_t end = buttons.find_first_of(L"|\r", start);
    captions.push_back(StripAccelerators(
        std::wstring_view(buttons).substr(start, end == std::wstring::npos ? end : end - start)));
    if (end == std::wstring::npos) break;
    start = end + 1;
    if (buttons[end] == L'\r' && start < buttons.size() && buttons[start] == L'\n') ++start;
  }
  // Escape backs out: a cancel button wins over a no button, and either over an OK button,
  // so that Escape on an OK/Cancel question never confirms it.
  static const wchar_t* const groups[][2] = {{L"cancel", L"취소"}, {L"no", L"아니오"}, {L"ok", L"확인"}};
  for (const auto& words : groups)
    for (size_t i = 0; i < captions.size(); ++i)
      if (CompareTextI(captions[i], words[0]) == 0 || CompareTextI(captions[i], words[1]) == 0)
        return static_cast<int>(i);
  return -1;
}

std::wstring SelectLanguageFromIni() {
  std::string bytes;
  ReadFileBytes(ProgramFolder + L"language.ini", bytes);
  TTextEncoding encoding;
  TStringList lines;
  lines.SetText(DecodeText(bytes, encoding));
  std::wstring use;
  for (int i = 0; i < lines.Count() && use.empty(); ++i) {
    const std::wstring& line = lines[i];
    size_t eq = line.find(L'=');
    if (eq != std::wstring::npos && CompareTextI(Trim(std::wstring_view(line).substr(0, eq)), L"Use") == 0)
      use = Trim(std::wstring_view(line).substr(eq + 1));
  }
  if (!use.empty()) {
    LanguageObject().SetLanguageFile(use);
    SystemErrorLangID = LanguageObject().SysErrorLangID;
  }
  return use;
}
