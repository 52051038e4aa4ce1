#include "vantrel/ovoutil.h"

#include <locale.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "overlay_state.h"
#include "vantrel/profile_file.h"

namespace {

bool initialized = false;

// Numbers in the profile files are written and read in the C locale, whatever
// locale the station's window has set: "90.000000" must not become "90,000000".
class CLocaleScope {
 public:
  CLocaleScope() {
    static locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    if (c) previous_ = uselocale(c);
  }
  ~CLocaleScope() {
    if (previous_) uselocale(previous_);
  }
  CLocaleScope(const CLocaleScope&) = delete;
  CLocaleScope& operator=(const CLocaleScope&) = delete;

 private:
  locale_t previous_ = static_cast<locale_t>(0);
};

constexpr size_t kReadBuffer = 100;
const char kMissing[] = "000";

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// One "%d" conversion: blanks, an optional sign, at least one digit; it stops at
// the first other character. A number beyond 32 bits does not convert.
bool ParseInt(const char** p, int32_t* out) {
  const char* s = *p;
  while (IsSpace(*s)) ++s;
  bool negative = false;
  if (*s == '+' || *s == '-') negative = (*s++ == '-');
  if (*s < '0' || *s > '9') return false;
  int64_t v = 0;
  while (*s >= '0' && *s <= '9') {
    v = v * 10 + (*s++ - '0');
    if (v > int64_t{INT32_MAX} + 1) return false;
  }
  if (negative) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return false;
  *out = static_cast<int32_t>(v);
  *p = s;
  return true;
}

}  // namespace

int32_t OvoUtilInitialize() {
  vantrel::detail::ResetDirectDrawing();
  int32_t status = vantrel::detail::CreateOverlayStore();
  if (status != 0) return status;
  initialized = true;
  return 0;
}

void OvoUtilTerminate() {
  if (!initialized) return;
  initialized = false;
  vantrel::detail::DestroyOverlayStore();
}

OvoUtilIni& OvoUtilSettingsIni() {
  static OvoUtilIni ini;
  return ini;
}

void OvoUtilIni::ReadInt(const std::string& key, int32_t* value, int32_t defaultValue) const {
  if (!value) return;
  std::string text = vantrel::ProfileReadString(file_, section_, key, kMissing, kReadBuffer);
  const char* p = text.c_str();
  int32_t v = 0;
  *value = (text != kMissing && ParseInt(&p, &v)) ? v : defaultValue;
}

int32_t OvoUtilIni::WriteInt(const std::string& key, int32_t value) const {
  char buf[500];
  std::snprintf(buf, sizeof buf, "%d", static_cast<int>(value));
  return vantrel::ProfileWriteString(file_, section_, key, buf) ? 1 : 0;
}

void OvoUtilIni::ReadDouble(const std::string& key, double* value, double defaultValue) const {
  if (!value) return;
  std::string text = vantrel::ProfileReadString(file_, section_, key, kMissing, kReadBuffer);
  *value = defaultValue;
  if (text == kMissing) return;
  CLocaleScope c;
  const char* start = text.c_str();
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(start, &end);
  // Infinities and NaN would reach every consumer of the setting unchecked.
  if (end != start && std::isfinite(v)) *value = v;
}

int32_t OvoUtilIni::WriteDouble(const std::string& key, double value) const {
  char buf[500];
  {
    CLocaleScope c;
    std::snprintf(buf, sizeof buf, "%lf", value);
  }
  return vantrel::ProfileWriteString(file_, section_, key, buf) ? 1 : 0;
}

void OvoUtilIni::ReadRect(const std::string& key, int32_t value[4],
                          const int32_t defaultValue[4]) const {
  if (!value) return;
  std::string text = vantrel::ProfileReadString(file_, section_, key, kMissing, kReadBuffer);
  int32_t v[4];
  bool ok = text != kMissing;
  const char* p = text.c_str();
  for (int i = 0; ok && i < 4; ++i) ok = ParseInt(&p, &v[i]);
  for (int i = 0; i < 4; ++i) value[i] = ok ? v[i] : (defaultValue ? defaultValue[i] : 0);
}

int32_t OvoUtilIni::WriteRect(const std::string& key, const int32_t value[4]) const {
  if (!value) return 0;
  char buf[500];
  std::snprintf(buf, sizeof buf, "%d %d %d %d", static_cast<int>(value[0]), static_cast<int>(value[1]),
                static_cast<int>(value[2]), static_cast<int>(value[3]));
  return vantrel::ProfileWriteString(file_, section_, key, buf) ? 1 : 0;
}
