#pragma once
// Message texts by number: the language file's [Messages] entry when there is one, else the
// built-in message table; one pair of enclosing single quotes removed, "|" turned into a
// carriage return; empty for an unknown number. Forms are re-captioned from the translation
// map by component path.
#include <cstdint>
#include <functional>
#include <memory>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "framework/Component.h"
#include "framework/StringList.h"

class THanINI;
class TMultiLanguage;

void LoadMessageText(int id, std::wstring& s);
std::wstring LoadMessageText(int id);
// The same from the built-in table alone (the language file is ignored).
void LoadBuiltinMessageText(int id, std::wstring& s);
std::wstring LoadBuiltinMessageText(int id);
// The message text with each "%S" filled by the next argument, in order.
std::wstring FormatMessageText(int id, std::initializer_list<std::wstring> args);
// Re-captions the named form from the translation map.
void TranslateForm(const std::wstring& formName);

// What a translation walks and sets (TTranslationNode) is the window layer's TComponent.

using TLanguageEvent = std::function<void(TMultiLanguage* sender)>;
// Sender, component, property name, the property's current text, the text about to be set
// (the handler may change it).
using TLanguageNotifyEvent = std::function<void(TMultiLanguage* sender, TTranslationNode* component,
                                                const std::wstring& propName, const std::wstring& oldText,
                                                std::wstring& text)>;

class TMultiLanguage {
 public:
  TMultiLanguage();
  ~TMultiLanguage();
  TMultiLanguage(const TMultiLanguage&) = delete;
  TMultiLanguage& operator=(const TMultiLanguage&) = delete;

  const std::wstring& LanguageFile() const { return FLanguageFile; }
  // Selects and loads a language file: a bare name lies in the program folder's "Language\"
  // subfolder, ".lng" is added when there is no extension, and a file that does not exist
  // there is looked for in the program folder itself. The same file again does nothing.
  void SetLanguageFile(const std::wstring& value);
  const std::wstring& Separator() const { return FSeparator; }
  // An empty or all-blank value sets ",".
  void SetSeparator(const std::wstring& value);

  void LoadLanguageFile();
  // Takes the language file's text from bytes in place of the file (LanguageFile unchanged).
  void LoadLanguageBytes(std::string_view bytes);
  void BuildTranslationList();
  // The message lookup by id text (named apart from the system's GetMessage macro).
  void GetMessageText(const std::wstring& idText, std::wstring& s);
  void GetBuiltinMessageText(const std::wstring& idText, std::wstring& s);
  void TranslateForm(const std::wstring& formName);

  // Replaces the built-in table or the translation map (UTF-8 lines); the program uses the
  // embedded ones.
  void SetBuiltinMessages(std::string_view utf8Lines);
  void SetTranslationMap(std::string_view utf8Lines);
  const TStringList& TranslationMap() const { return FTranslationMap; }

  // Lines "path TAB text" for the current language file.
  TStringList TranslationList;
  // The built-in table, one "id=text" line per message.
  TStringList BuiltinMessages;
  TLanguageEvent OnBeforeTranslation;
  TLanguageEvent OnAfterTranslation;
  TLanguageNotifyEvent OnTranslate;
  std::wstring Version = L"45";
  std::wstring ID = L"Korean(한국어)";
  std::wstring HelpFile = L"velmo.hlp";
  int32_t SysErrorLangID = 0;
  // The top of every component path (the application object); nothing is translated without it.
  TTranslationNode* Application = nullptr;

 private:
  void ReadLanguageMain();
  bool LanguageText(const std::wstring& idText, std::wstring& s);
  bool BuiltinText(const std::wstring& idText, std::wstring& s) const;
  void ApplyTranslation(const std::wstring& path, const std::wstring& text);

  std::unique_ptr<THanINI> FReader;
  // [Messages] of the language file, by lower-cased key; first entry of a key wins.
  std::unordered_map<std::wstring, std::wstring> FFileMessages;
  // Built-in table index: lower-cased id text -> text of its first line.
  std::unordered_map<std::wstring, std::wstring> FBuiltinIndex;
  TStringList FTranslationMap;
  std::wstring FLanguageFile;
  std::wstring FSeparator = L",";
  bool FTranslationBuilt = false;
};

// The program's one language object, created on first use.
TMultiLanguage& LanguageObject();

// One pair of enclosing single quotes removed, then every "|" turned into a carriage return.
std::wstring CookMessageText(std::wstring s);

// The standard button lists of the message boxes, built from the message table by
// InitStdButtonLists once the language is chosen.
extern std::wstring StdButtonsYesNo;        // 9|10
extern std::wstring StdButtonsYesNoCancel;  // 9|10|2
extern std::wstring StdButtonsOkCancel;     // 1|2
extern std::wstring StdButtonsOk;           // 1
extern std::wstring StdButtonsCancel;       // 2
void InitStdButtonLists();

// The button that Escape and the close box choose when the caller names none, among the
// captions (separated by "|" or CR) read ignoring letter case, every "&" and a trailing
// accelerator group such as "(&N)": the first "cancel" or "취소", else the first "no" or
// "아니오", else the first "ok" or "확인"; -1 when there is none.
int FindCancelButton(const std::wstring& buttons);

// The language chosen at start-up: the "Use" entry of ProgramFolder's "language.ini" (name=value
// lines; a missing or unreadable file counts as empty), trimmed. When it is not empty it
// becomes the language file and SystemErrorLangID is taken from that file. Returns the entry.
// The command names and the standard button lists are built after this, so that they follow
// the chosen language.
std::wstring SelectLanguageFromIni();

// The language id for system error texts, copied from the language file at start-up.
extern int32_t SystemErrorLangID;
// The system's text for a Windows error code, trailing line breaks and other characters
// below "!" cut. SystemErrorLangID replaces langId unless it is -1; an empty text in a
// language other than the default is fetched again in the default language.
void GetSystemErrorText(int code, int langId, std::wstring& s);
