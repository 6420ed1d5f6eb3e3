// New files from the shell's templates: the tests register their own file types in the
// prefix's registry (under HKEY_CLASSES_ROOT), scan, and create files in a scratch folder.
#include "fileops/ShellNew.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/MenuKeys.h"
#include "common/TestUtil.h"
#include "fileops/OpForm.h"
#include "foundation/Language.h"
#include "foundation/MsgDlg.h"
#include "framework/Handles.h"
#include "panels/MFList.h"

namespace {
void SetValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr), 0) << key;
  RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(k);
}
void SetBinary(const std::wstring& key, const wchar_t* name, const std::string& bytes) {
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr), 0);
  RegSetValueExW(k, name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
  RegCloseKey(k);
}
// A file type: the extension naming its class, the class with its caption and (unless
// noOpen) an open command.
void FileType(const std::wstring& ext, const std::wstring& cls, bool open = true) {
  SetValue(ext, nullptr, cls);
  SetValue(cls, nullptr, L"Velmo " + cls);
  if (open) SetValue(cls + L"\\shell\\open\\command", nullptr, L"notepad.exe \"%1\"");
}

const std::vector<std::wstring> Keys = {L".vmtnull", L".vmtboth", L".vmtfall", L".vmtnone", L".vmtnoopen", L".vmtcmd2",
                                        L".vmtcls",  L".vmtfile", L".vmtgone", L".vmtbin",  L".vmttext",   L".vmtcmd"};

class ShellNewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TMsgBoxSeam::Get().Reset();
    Dir = FDir.Path() + L"\\";
    WriteFileRaw(FTemplates.Path() + L"\\tmpl.bin", std::string("template\0bytes", 14));
    FileType(L".vmtnull", L"VmtNull");
    SetValue(L".vmtnull\\ShellNew", L"NullFile", L"");
    SetValue(L"VmtNull\\DefaultIcon", nullptr, L"shell32.dll,3");
    FileType(L".vmtboth", L"VmtBoth");
    SetBinary(L".vmtboth\\ShellNew", L"Data", "ext");
    SetValue(L"VmtBoth\\ShellNew", L"NullFile", L"");
    FileType(L".vmtfall", L"VmtFall");
    SetValue(L".vmtfall\\ShellNew", L"FileName", L"");
    SetBinary(L".vmtfall\\ShellNew", L"Data", "fall");
    FileType(L".vmtnone", L"VmtNone");
    SetValue(L".vmtnone\\ShellNew", L"FileName", L"");
    FileType(L".vmtnoopen", L"VmtNoOpen", false);
    SetValue(L".vmtnoopen\\ShellNew", L"NullFile", L"");
    FileType(L".vmtcmd2", L"VmtCmd2");
    SetValue(L".vmtcmd2\\ShellNew", L"Command", L"prog.exe %1 %2");
    FileType(L".vmtcls", L"VmtCls");
    SetValue(L"VmtCls\\ShellNew", L"NullFile", L"");
    SetValue(L".vmtcls\\DefaultIcon", nullptr, L"ext.dll,1");
    FileType(L".vmtfile", L"VmtFile");
    SetValue(L".vmtfile\\ShellNew", L"FileName", FTemplates.Path() + L"\\tmpl.bin");
    FileType(L".vmtgone", L"VmtGone");
    SetValue(L".vmtgone\\ShellNew", L"FileName", L"velmo-no-such-template.bin");
    FileType(L".vmtbin", L"VmtBin");
    SetBinary(L".vmtbin\\ShellNew", L"Data", std::string("\x01\x00\xff", 3));
    FileType(L".vmttext", L"VmtText");
    SetValue(L".vmttext\\ShellNew", L"Data", L"plain text");
    FileType(L".vmtcmd", L"VmtCmd");
    SetValue(L".vmtcmd\\ShellNew", L"Command", L"cmd.exe /c mkdir %1\\made");
    Helper.Scan();
  }
  void TearDown() override {
    for (const auto& k : Keys) RegDeleteTreeW(HKEY_CLASSES_ROOT, k.c_str());
    for (auto c : {L"VmtNull", L"VmtBoth", L"VmtFall", L"VmtNone", L"VmtNoOpen", L"VmtCmd2", L"VmtCls", L"VmtFile",
                   L"VmtGone", L"VmtBin", L"VmtText", L"VmtCmd"})
      RegDeleteTreeW(HKEY_CLASSES_ROOT, c);
    TMsgBoxSeam::Get().Reset();
  }
  int Index(const std::wstring& ext) const {
    for (int i = 0; i < Helper.Count(); ++i)
      if (Helper.Entries[static_cast<size_t>(i)].Extension == ext) return i;
    return -1;
  }
  bool Exists(const std::wstring& name) const {
    return GetFileAttributesW((Dir + name).c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  TTempDir FDir, FTemplates;
  std::wstring Dir;
  TShellNew Helper;
};
}  // namespace

TEST_F(ShellNewTest, ScanOffersEachKindFromTheRightKeyAndLeavesOutWhatCannotBeMade) {
  struct Case {
    const wchar_t* Ext;
    int Kind;  // -1: not offered
    const wchar_t* KeyPath;
  };
  const Case cases[] = {
      {L".vmtnull", NullFile, L".vmtnull\\ShellNew"},
      {L".vmtboth", Data, L".vmtboth\\ShellNew"},  // the key under the extension wins
      {L".vmtfall", Data, L".vmtfall\\ShellNew"},  // an empty template name falls to the next kind
      {L".vmtnone", -1, L""},
      {L".vmtnoopen", -1, L""},  // a class without an open command
      {L".vmtcmd2", -1, L""},    // a command wanting two names
      {L".vmtcls", NullFile, L"VmtCls\\ShellNew"},
      {L".vmtfile", FileName, L".vmtfile\\ShellNew"},
      {L".vmtcmd", Command, L".vmtcmd\\ShellNew"},
  };
  for (const Case& c : cases) {
    int i = Index(c.Ext);
    if (c.Kind < 0) {
      EXPECT_EQ(i, -1) << c.Ext;
      continue;
    }
    ASSERT_GE(i, 0) << c.Ext;
    EXPECT_EQ(Helper.GetKind(i), c.Kind) << c.Ext;
    EXPECT_EQ(Helper.Entries[static_cast<size_t>(i)].KeyPath, c.KeyPath) << c.Ext;
  }
  int n = Index(L".vmtnull");
  std::wstring s;
  Helper.GetDescription(n, s);
  EXPECT_EQ(s, L"Velmo VmtNull");
  Helper.GetIcon(n, s);
  EXPECT_EQ(s, L"shell32.dll,3");
  Helper.GetIcon(Index(L".vmtcls"), s);
  EXPECT_EQ(s, L"ext.dll,1");  // the extension's icon when the class has none
  EXPECT_EQ(Helper.Entries[static_cast<size_t>(Index(L".vmtfile"))].Value, FTemplates.Path() + L"\\tmpl.bin");
  EXPECT_EQ(Helper.GetKind(Helper.Count()), -1);
  if (Helper.Count() > 0) {
    EXPECT_EQ(Helper.FirstIsLink(), Helper.Entries[0].Extension == L".lnk" || Helper.Entries[0].Extension == L".LNK");
  }
}

TEST_F(ShellNewTest, CreateNewFileOfEveryKindAndItsFailures) {
  auto& seam = TMsgBoxSeam::Get();
  EXPECT_EQ(Helper.CreateNewFile(Index(L".vmtnull"), Dir, L"empty.vmtnull"), 0);
  EXPECT_EQ(ReadFileRaw(Dir + L"empty.vmtnull"), "");
  EXPECT_EQ(Helper.CreateNewFile(Index(L".vmtfile"), Dir, L"copy.vmtfile"), 0);
  EXPECT_EQ(ReadFileRaw(Dir + L"copy.vmtfile"), std::string("template\0bytes", 14));
  EXPECT_EQ(Helper.CreateNewFile(Index(L".vmtbin"), Dir, L"b.vmtbin"), 0);
  EXPECT_EQ(ReadFileRaw(Dir + L"b.vmtbin"), std::string("\x01\x00\xff", 3));
  EXPECT_EQ(Helper.CreateNewFile(Index(L".vmttext"), Dir, L"t.vmttext"), 0);
  EXPECT_EQ(ReadFileRaw(Dir + L"t.vmttext"), "plain text");
  EXPECT_TRUE(seam.Shown.empty());

  // An existing name: 1, message 3002, the file untouched.
  WriteFileRaw(Dir + L"taken.vmtnull", "keep");
  seam.PushButton(0);
  seam.PushButton(0);
  EXPECT_EQ(Helper.CreateNewFile(Index(L".vmtnull"), Dir, L"taken.vmtnull"), 1);
  EXPECT_EQ(ReadFileRaw(Dir + L"taken.vmtnull"), "keep");
  ASSERT_EQ(seam.Shown.size(), 1u);
  EXPECT_EQ(seam.Shown[0].Text, FormatText(LoadMessageText(3002), {Dir + L"taken.vmtnull"}));
  // A missing template: 2, message 3003, nothing left behind.
  EXPECT_EQ(Helper.CreateNewFile(Index(L".vmtgone"), Dir, L"gone.vmtgone"), 2);
  EXPECT_FALSE(Exists(L"gone.vmtgone"));
  ASSERT_EQ(seam.Shown.size(), 2u);
  EXPECT_EQ(seam.Shown[1].Text, LoadMessageText(3003));
  // A bad index, and a name that would leave the folder.
  EXPECT_EQ(Helper.CreateNewFile(Helper.Count(), Dir, L"x.txt"), 2);
  EXPECT_EQ(Helper.CreateNewFile(Index(L".vmtnull"), Dir, L"..\\out.vmtnull"), 2);
  EXPECT_FALSE(Exists(L"..\\out.vmtnull"));
}

TEST_F(ShellNewTest, ACommandTemplateRunsInTheFolder) {
  EXPECT_EQ(Helper.CreateNewFile(Index(L".vmtcmd"), Dir, L""), 0);
  for (int i = 0; i < 200 && !Exists(L"made"); ++i) Sleep(50);
  EXPECT_TRUE(Exists(L"made"));
  EXPECT_TRUE(TMsgBoxSeam::Get().Shown.empty());
}

TEST_F(ShellNewTest, TheNameIsAskedWithAUniqueDefaultAndAskedAgainWhileTaken) {
  WriteFileRaw(Dir + L"Velmo VmtNull.vmtnull", "");
  WriteFileRaw(Dir + L"taken.vmtnull", "keep");
  auto& seam = TMsgBoxSeam::Get();
  seam.PushText(0, L"taken");  // the extension is added, the name is taken
  seam.PushButton(0);          // the error box
  seam.PushText(0, L"fresh");
  EXPECT_EQ(NewFileFromEntry(Helper, Index(L".vmtnull"), Dir), L"fresh.vmtnull");
  EXPECT_TRUE(Exists(L"fresh.vmtnull"));
  ASSERT_EQ(seam.Shown.size(), 3u);
  EXPECT_EQ(seam.Shown[0].Title, LoadMessageText(3000));
  EXPECT_EQ(seam.Shown[0].InitialValue, L"Velmo VmtNull1.vmtnull");
  EXPECT_EQ(ReadFileRaw(Dir + L"taken.vmtnull"), "keep");
  seam.Reset();
  seam.PushButton(1);  // Cancel
  EXPECT_EQ(NewFileFromEntry(Helper, Index(L".vmtnull"), Dir), L"");
}

TEST_F(ShellNewTest, TheMenuCreatesTheChosenEntryAndFocusesIt) {
  TMFList list(1);
  list.Path = FDir.Path();
  list.Refresh();
  int at = Index(L".vmtbin");
  ASSERT_GE(at, 0);
  std::vector<WORD> keys(static_cast<size_t>(at + 1), VK_DOWN);
  keys.push_back(VK_RETURN);
  TMenuKeys menu(keys);
  TMsgBoxSeam::Get().PushText(0, L"picked");
  TForm owner(nullptr);
  EXPECT_EQ(ShowNewFileMenu(Helper, list, owner.Handle(), 10, 10), L"picked.vmtbin");
  EXPECT_TRUE(menu.Sent());
  EXPECT_EQ(ReadFileRaw(Dir + L"picked.vmtbin"), std::string("\x01\x00\xff", 3));
  ASSERT_GE(list.ItemIndex, 0);
  EXPECT_EQ(list.ItemName(list.ItemIndex), L"picked.vmtbin");
}
