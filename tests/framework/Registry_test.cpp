#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "framework/Handles.h"
#include "framework/Registry.h"

namespace {
constexpr wchar_t kKey[] = L"Software\\VelmoTest\\RegReadString";

TEST(Registry, StringValuesOfEveryLengthAndWhatIsNoString) {
  RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
  TRegKeyHandle key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
  auto putString = [&](const wchar_t* name, const std::wstring& v, DWORD type = REG_SZ) {
    ASSERT_EQ(RegSetValueExW(key.get(), name, 0, type, reinterpret_cast<const BYTE*>(v.c_str()),
                             static_cast<DWORD>((v.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  };
  const std::wstring longText(5000, L'가');  // far past the first buffer: grown and asked again
  putString(nullptr, L"default");
  putString(L"empty", L"");
  putString(L"long", longText);
  putString(L"expand", L"%SystemRoot%\\x", REG_EXPAND_SZ);
  const DWORD number = 7;
  ASSERT_EQ(RegSetValueExW(key.get(), L"number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number),
            ERROR_SUCCESS);
  // A string stored without its terminating zero still reads whole.
  const std::wstring bare = L"bare";
  ASSERT_EQ(RegSetValueExW(key.get(), L"bare", 0, REG_SZ, reinterpret_cast<const BYTE*>(bare.data()),
                           static_cast<DWORD>(bare.size() * sizeof(wchar_t))),
            ERROR_SUCCESS);

  const struct {
    const wchar_t* name;
    bool ok;
    std::wstring value;
  } cases[] = {
      {nullptr, true, L"default"},   {L"empty", true, L""},     {L"long", true, longText},
      {L"expand", true, L"%SystemRoot%\\x"}, {L"bare", true, L"bare"}, {L"number", false, L""},
      {L"missing", false, L""},
  };
  for (const auto& c : cases) {
    std::wstring v = L"stale";
    EXPECT_EQ(RegReadString(key.get(), nullptr, c.name, v), c.ok) << (c.name ? c.name : L"(default)");
    EXPECT_EQ(v, c.value) << (c.name ? c.name : L"(default)");
  }
  // Through a sub-key, and with a limit the value passes.
  std::wstring v;
  EXPECT_TRUE(RegReadString(HKEY_CURRENT_USER, kKey, nullptr, v));
  EXPECT_EQ(v, L"default");
  EXPECT_FALSE(RegReadString(key.get(), nullptr, L"long", v, 4999));
  EXPECT_TRUE(RegReadString(key.get(), nullptr, L"long", v, 5000));
  EXPECT_FALSE(RegReadString(HKEY_CURRENT_USER, L"Software\\VelmoTest\\NoSuchKey", nullptr, v));
  key.reset();
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\VelmoTest");
}
}  // namespace
