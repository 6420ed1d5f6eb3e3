// Fuzzes the descriptions parser: any bytes load without a fault, every record is found by
// its own name, and what is written back reads back to the same records and the same bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "framework/TextCompare.h"
#include "panels/MDescMan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  TDescOptions options;
  THanDescMan d(L"fuzz-no-such-folder", options);
  d.LoadFromBytes(bytes);
  d.RemoveDuplicates();
  for (int i = 0; i < d.Count(); ++i) {
    const TDescRecord& r = d.Record(i);
    if (r.Name.empty() || r.Desc.empty() || r.Name.size() > THanDescMan::MaxFieldLength ||
        r.Desc.size() > THanDescMan::MaxFieldLength)
      std::abort();
    std::wstring text;
    d.GetDescription(r.Name, L"", text);
    if (text != r.Desc) std::abort();
  }
  std::string once = d.SaveToBytes();
  THanDescMan again(L"fuzz-no-such-folder", options);
  again.LoadFromBytes(once);
  if (again.Count() != d.Count()) std::abort();
  for (int i = 0; i < d.Count(); ++i)
    if (again.Record(i).Name != d.Record(i).Name || again.Record(i).Desc != d.Record(i).Desc) std::abort();
  if (again.SaveToBytes() != once) std::abort();
  // Edits keep the list sorted and free of duplicates.
  again.SetDescription(L"new entry.txt", L"", L"line\r\nforged.txt x");
  if (d.Count() > 0) again.SetNewName(d.Record(0).Name, L"", L"new entry.txt", L"");
  again.ApplyRenames();
  for (int i = 1; i < again.Count(); ++i)
    if (CompareTextI(again.Record(i - 1).Name, again.Record(i).Name) >= 0) std::abort();
  d.Modified = again.Modified = false;
  return 0;
}
