#include "vantrel/reading_history.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <utility>

namespace vantrel {

namespace {

constexpr const char* kLevelLetters[4] = {"L", "M", "Q", "H"};

// Seconds and milliseconds of a time, the milliseconds never negative.
void Split(int64_t timeMs, time_t* seconds, int32_t* millis) {
  int64_t s = timeMs / 1000;
  int64_t ms = timeMs % 1000;
  if (ms < 0) {
    ms += 1000;
    s -= 1;
  }
  *seconds = static_cast<time_t>(s);
  *millis = static_cast<int32_t>(ms);
}

// Local broken-down time; a time the C library cannot break down is 1970.
std::tm LocalTm(time_t seconds) {
  std::tm tm{};
  if (localtime_r(&seconds, &tm) == nullptr) {
    const time_t zero = 0;
    gmtime_r(&zero, &tm);
  }
  return tm;
}

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

HistoryEntry MakeHistoryEntry(const Reading& reading, int64_t timeMs, std::string source, ReadingOrigin origin) {
  HistoryEntry e;
  e.timeMs = timeMs;
  e.kind = reading.kind;
  e.symbology = reading.symbology;
  e.qrVersion = reading.qrVersion;
  e.qrLevel = reading.qrLevel;
  e.text = reading.text;
  e.bytes = reading.bytes;
  e.milliseconds = reading.milliseconds;
  e.source = std::move(source);
  e.origin = origin;
  return e;
}

int64_t EpochMilliseconds(std::chrono::system_clock::time_point at) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count();
}

std::string KindText(const HistoryEntry& entry) {
  if (entry.kind != CodeKind::kQrCode) return entry.symbology;
  std::string text = "QR " + std::to_string(entry.qrVersion);
  if (entry.qrLevel >= 0 && entry.qrLevel <= 3) text += std::string("-") + kLevelLetters[entry.qrLevel];
  return text;
}

std::string HexBytes(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(bytes.size() * 3);
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (i != 0) hex += ' ';
    hex += kDigits[b >> 4];
    hex += kDigits[b & 0x0F];
  }
  return hex;
}

std::string LocalTimeText(int64_t timeMs) {
  time_t seconds = 0;
  int32_t millis = 0;
  Split(timeMs, &seconds, &millis);
  const std::tm tm = LocalTm(seconds);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(millis));
  return text;
}

std::string IsoTimeText(int64_t timeMs) {
  time_t seconds = 0;
  int32_t millis = 0;
  Split(timeMs, &seconds, &millis);
  const std::tm tm = LocalTm(seconds);
  const long offset = tm.tm_gmtoff;  // seconds east of UTC
  const long magnitude = offset < 0 ? -offset : offset;
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(millis),
                offset < 0 ? '-' : '+', magnitude / 3600, magnitude % 3600 / 60);
  return text;
}

std::string SourceText(const HistoryEntry& entry) { return entry.source.empty() ? "カメラ" : entry.source; }

std::string OriginText(ReadingOrigin origin) { return origin == ReadingOrigin::kTrial ? "実行" : "読取"; }

std::string MillisecondsText(double milliseconds) {
  if (!std::isfinite(milliseconds)) milliseconds = 0.0;
  char text[64];
  const auto r = std::to_chars(text, text + sizeof text, milliseconds, std::chars_format::fixed, 2);
  return r.ec == std::errc() ? std::string(text, r.ptr) : std::string("0.00");
}

std::string OneLineText(std::string_view text, size_t maxCharacters) {
  std::string line;
  line.reserve(std::min(text.size(), maxCharacters * 4 + 4));
  size_t characters = 0;
  for (size_t i = 0; i < text.size();) {
    if (characters == maxCharacters) {
      line += "…";
      break;
    }
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\r' || c == '\n') {
      line += "↵";
      i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
    } else if (c < 0x20 || c == 0x7F) {
      line += ' ';
      ++i;
    } else {
      // One whole UTF-8 sequence (the history's texts are UTF-8).
      size_t end = i + 1;
      while (end < text.size() && IsContinuation(static_cast<unsigned char>(text[end]))) ++end;
      line.append(text.substr(i, end - i));
      i = end;
    }
    ++characters;
  }
  return line;
}

const char* HistoryHeader(int32_t column) {
  switch (column) {
    case kHistoryTime: return "時刻";
    case kHistoryKind: return "種類";
    case kHistoryText: return "データ";
    case kHistoryBytes: return "バイト(16進)";
    case kHistoryDecodeTime: return "読取時間(ms)";
    case kHistorySource: return "入力";
    case kHistoryOrigin: return "方法";
    default: return "";
  }
}

std::string CellText(const HistoryEntry& entry, int32_t column) {
  switch (column) {
    case kHistoryTime: return LocalTimeText(entry.timeMs);
    case kHistoryKind: return KindText(entry);
    case kHistoryText: return entry.text;
    case kHistoryBytes: return HexBytes(entry.bytes);
    case kHistoryDecodeTime: return MillisecondsText(entry.milliseconds);
    case kHistorySource: return SourceText(entry);
    case kHistoryOrigin: return OriginText(entry.origin);
    default: return std::string();
  }
}

// ---------------------------------------------------------------- the store

ReadingHistory::ReadingHistory(size_t capacity) : capacity_(capacity == 0 ? 1 : capacity) {}

bool ReadingHistory::Append(HistoryEntry entry) {
  bool dropped = false;
  if (entries_.size() >= capacity_) {
    entries_.pop_front();
    dropped = true;
  }
  entries_.push_back(std::move(entry));
  return dropped;
}

void ReadingHistory::DropOldest() {
  if (!entries_.empty()) entries_.pop_front();
}

void ReadingHistory::Clear() { entries_.clear(); }

const HistoryEntry& ReadingHistory::Newest(size_t index) const { return entries_[entries_.size() - 1 - index]; }

// ---------------------------------------------------------------- texts of many

std::string QuoteField(std::string_view field, char separator) {
  if (field.find_first_of(std::string{separator, '"', '\r', '\n'}) == std::string_view::npos)
    return std::string(field);
  std::string quoted;
  quoted.reserve(field.size() + 2);
  quoted += '"';
  for (const char c : field) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string TabSeparatedText(const ReadingHistory& history, const std::vector<size_t>& ages) {
  std::string text;
  for (const size_t age : ages) {
    if (age >= history.size()) continue;
    const HistoryEntry& e = history.Newest(age);
    for (int32_t c = 0; c < kHistoryColumns; ++c) {
      if (c != 0) text += '\t';
      text += QuoteField(CellText(e, c), '\t');
    }
    text += '\n';
  }
  return text;
}

std::string CsvText(const ReadingHistory& history) {
  std::string text = "\xEF\xBB\xBF";
  for (int32_t c = 0; c < kHistoryColumns; ++c) {
    if (c != 0) text += ',';
    text += QuoteField(HistoryHeader(c), ',');
  }
  text += "\r\n";
  for (size_t age = 0; age < history.size(); ++age) {
    const HistoryEntry& e = history.Newest(age);
    for (int32_t c = 0; c < kHistoryColumns; ++c) {
      if (c != 0) text += ',';
      std::string cell = c == kHistoryTime ? IsoTimeText(e.timeMs) : CellText(e, c);
      if (c == kHistoryText && !cell.empty() && std::string_view("=+-@\t\r").find(cell[0]) != std::string_view::npos)
        cell.insert(cell.begin(), '\'');
      text += QuoteField(cell, ',');
    }
    text += "\r\n";
  }
  return text;
}

// ---------------------------------------------------------------- repeats

bool RepeatFilter::Admit(const HistoryEntry& entry, Clock::time_point at, double seconds) {
  if (!(seconds > 0.0)) {
    seen_.clear();
    return true;
  }
  const auto window = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(std::min(seconds, 1.0e9)));
  // Sightings that have aged out are forgotten.
  std::erase_if(seen_, [&](const Sighting& s) { return at - s.last > window; });
  for (Sighting& s : seen_) {
    if (s.kind == entry.kind && s.symbology == entry.symbology && s.bytes == entry.bytes) {
      s.last = std::max(s.last, at);
      return false;
    }
  }
  if (seen_.size() >= kRemembered) {
    seen_.erase(std::min_element(seen_.begin(), seen_.end(),
                                 [](const Sighting& a, const Sighting& b) { return a.last < b.last; }));
  }
  seen_.push_back(Sighting{entry.kind, entry.symbology, entry.bytes, at});
  return true;
}

}  // namespace vantrel
