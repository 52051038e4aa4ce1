// Any bytes as a profile file: the first line names a section and a key (split
// at the first TAB), the rest is the file. Reading must never fail, and a write
// must change exactly the one value it writes.
#include <cstdint>
#include <string>
#include <string_view>

#include "vantrel/profile_file.h"

namespace {

std::string Name(std::string_view v) {
  size_t b = 0, e = v.size();
  while (b < e && (v[b] == ' ' || v[b] == '\t')) ++b;
  while (e > b && (v[e - 1] == ' ' || v[e - 1] == '\t')) --e;
  std::string n(v.substr(b, e - b));
  for (char& c : n)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view all(reinterpret_cast<const char*>(data), size);
  size_t nl = all.find('\n');
  std::string_view names = all.substr(0, nl == std::string_view::npos ? all.size() : nl);
  std::string_view text = nl == std::string_view::npos ? std::string_view{} : all.substr(nl + 1);
  size_t tab = names.find('\t');
  std::string_view section = names.substr(0, tab == std::string_view::npos ? names.size() : tab);
  std::string_view key = tab == std::string_view::npos ? std::string_view("k") : names.substr(tab + 1);

  (void)vantrel::ProfileLookup(text, section, key);
  const std::string_view value = "12.5";
  auto changed = vantrel::ProfileApply(text, section, key, value);
  if (!changed) return 0;
  auto back = vantrel::ProfileLookup(*changed, section, key);
  if (!back || *back != value) __builtin_trap();
  // Another key of the same section, and the same key of another section, keep their values.
  for (auto [s, k] : {std::pair<std::string_view, std::string_view>{section, "other"},
                      {"other", key}, {"SYSTEM", "Xsize"}}) {
    if (Name(s) == Name(section) && Name(k) == Name(key)) continue;
    auto before = vantrel::ProfileLookup(text, s, k);
    auto after = vantrel::ProfileLookup(*changed, s, k);
    if (before != after) __builtin_trap();
  }
  return 0;
}
