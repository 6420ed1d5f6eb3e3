// Message lookups by number: every id of the built-in table in a loop, against a linear scan
// of the same "id=text" lines (what a lookup without an index would cost).
#include <string>
#include <vector>

#include "Bench.h"
#include "foundation/Language.h"

VELMO_BENCH(message_lookup) {
  TMultiLanguage& lang = LanguageObject();
  std::vector<int> ids;
  for (int i = 0; i < lang.BuiltinMessages.Count(); ++i) ids.push_back(std::stoi(lang.BuiltinMessages[i]));
  const int rounds = 200;
  size_t sink = 0;
  std::wstring s;
  double ours = BenchSeconds([&] {
    for (int r = 0; r < rounds; ++r)
      for (int id : ids) {
        LoadMessageText(id, s);
        sink += s.size();
      }
  });
  double ref = BenchSeconds([&] {
    for (int r = 0; r < rounds; ++r)
      for (int id : ids) {
        std::wstring key = std::to_wstring(id) + L'=';
        for (int i = 0; i < lang.BuiltinMessages.Count(); ++i) {
          const std::wstring& line = lang.BuiltinMessages[i];
          if (line.compare(0, key.size(), key) == 0) {
            s = line.substr(key.size());
            break;
          }
        }
        sink += s.size();
      }
  });
  double lookups = static_cast<double>(ids.size()) * rounds;
  BenchReport("LoadMessageText, per 1,000 lookups", "ms", ours * 1000 / lookups * 1000, "linear scan",
              ref * 1000 / lookups * 1000, "speed-up", ref / ours, "< 1 ms per 1,000");
  if (sink == 0) std::printf("(no text found)\n");
}
