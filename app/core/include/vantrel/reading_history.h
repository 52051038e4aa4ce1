// The station's history of readings: every result the window showed, kept
// while the station runs, with the texts its table, the clipboard and the CSV
// file give it, and the repeat filter of continuous reading.
//
// Toolkit-free. The window thread owns the store and the filter; nothing here
// is shared with the capture thread, so the reading cycle pays nothing for it:
// the cycle hands its results over as before and the window appends.
#ifndef VANTREL_READING_HISTORY_H
#define VANTREL_READING_HISTORY_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "vantrel/reading.h"

namespace vantrel {

// How a reading reached the window: continuous reading (the cycle) or a
// settings page's "実行".
enum class ReadingOrigin : int32_t { kCycle = 0, kTrial = 1 };

struct HistoryEntry {
  int64_t timeMs = 0;  // when it was read, milliseconds since 1970-01-01 UTC
  CodeKind kind = CodeKind::kNone;
  std::string symbology;  // as the reading names it: "JAN-13", "QR", "DataMatrix"...
  int32_t qrVersion = 0;
  int32_t qrLevel = -1;
  // The whole text and the whole bytes, not cut as the result box cuts a QR
  // code's data.
  std::string text;
  std::string bytes;
  double milliseconds = 0.0;  // the decoders' time
  std::string source;         // empty: the camera; else the picture file's name
  ReadingOrigin origin = ReadingOrigin::kCycle;
};

HistoryEntry MakeHistoryEntry(const Reading& reading, int64_t timeMs, std::string source, ReadingOrigin origin);
// Milliseconds since 1970 of a point of the system clock.
int64_t EpochMilliseconds(std::chrono::system_clock::time_point at);

// ---- the texts of one entry

// "JAN-13", "QR 2-Q" (version and level as the standard writes them), "DataMatrix".
std::string KindText(const HistoryEntry& entry);
// "41 42 E3 81 82": each byte as two upper-case hex digits, single spaces.
std::string HexBytes(std::string_view bytes);
// Local time with milliseconds, "2025-03-04 12:34:56.789".
std::string LocalTimeText(int64_t timeMs);
// ISO 8601 local time with its offset, "2025-03-04T12:34:56.789+09:00".
std::string IsoTimeText(int64_t timeMs);
// "カメラ" or the picture file's name.
std::string SourceText(const HistoryEntry& entry);
// "読取" (continuous reading) or "実行" (a settings page's trial read).
std::string OriginText(ReadingOrigin origin);
// Milliseconds with two decimals and a point whatever the locale: "0.42".
std::string MillisecondsText(double milliseconds);
// A text on one line for a table cell: a line break shows as "↵", a tab and
// other control characters as a space; longer than maxCharacters (code points)
// it ends in "…".
std::string OneLineText(std::string_view text, size_t maxCharacters);

// The columns, in the order the table, the clipboard and the CSV file have them.
enum HistoryColumn : int32_t {
  kHistoryTime = 0,
  kHistoryKind,
  kHistoryText,
  kHistoryBytes,
  kHistoryDecodeTime,
  kHistorySource,
  kHistoryOrigin,
  kHistoryColumns
};
// "時刻", "種類", "データ", "バイト(16進)", "読取時間(ms)", "入力", "方法".
const char* HistoryHeader(int32_t column);
// A column's whole text (the time as LocalTimeText).
std::string CellText(const HistoryEntry& entry, int32_t column);

// ---- the store

class ReadingHistory {
 public:
  static constexpr size_t kDefaultCapacity = 10000;

  explicit ReadingHistory(size_t capacity = kDefaultCapacity);

  // Adds the newest entry; a full history drops its oldest first. True when
  // one was dropped.
  bool Append(HistoryEntry entry);
  // Drops the oldest entry, if any (a view that announces the drop before it
  // announces the new entry).
  void DropOldest();
  void Clear();
  size_t size() const { return entries_.size(); }
  size_t capacity() const { return capacity_; }
  bool empty() const { return entries_.empty(); }
  bool full() const { return entries_.size() >= capacity_; }
  // By age: 0 is the newest, size() - 1 the oldest.
  const HistoryEntry& Newest(size_t index) const;

 private:
  std::deque<HistoryEntry> entries_;  // oldest first
  size_t capacity_;
};

// A field for a line of separated values: as it stands, or, when it holds the
// separator, a quote, CR or LF, in quotes with each quote doubled (RFC 4180).
std::string QuoteField(std::string_view field, char separator);

// The entries at the given ages (0 the newest), in the order given, as tab-
// separated lines ending in LF, without a header: what "コピー" puts on the
// clipboard. Fields are quoted as in CSV when they need it.
std::string TabSeparatedText(const ReadingHistory& history, const std::vector<size_t>& ages);

// The whole history, newest first, as a CSV file: the UTF-8 byte order mark
// (so that spreadsheet programs read Kanji), a header line, one line per entry,
// CRLF line ends and RFC 4180 quoting. The time column is ISO 8601. A data
// text starting with "=", "+", "-", "@", a tab or CR gets a leading "'", so
// that a spreadsheet shows it instead of running it as a formula; the bytes
// column keeps the exact data.
std::string CsvText(const ReadingHistory& history);

// ---- repeat suppression

// In continuous reading the same code comes with every frame. A code of the
// same kind and bytes as one seen within the last `seconds` is shown but not
// recorded again; every sighting counts, so a code held in view stays one
// entry until it has been out of view for `seconds`.
class RepeatFilter {
 public:
  using Clock = std::chrono::steady_clock;

  // True when the entry should be recorded; notes the sighting either way.
  // seconds <= 0 (or not a number) records every reading.
  bool Admit(const HistoryEntry& entry, Clock::time_point at, double seconds);
  // Forgets every sighting (a new start of reading).
  void Clear() { seen_.clear(); }
  size_t remembered() const { return seen_.size(); }

 private:
  struct Sighting {
    CodeKind kind;
    std::string symbology;
    std::string bytes;
    Clock::time_point last;
  };
  // Codes seen lately, at most this many (the oldest sighting goes first).
  static constexpr size_t kRemembered = 1024;
  std::vector<Sighting> seen_;
};

}  // namespace vantrel

#endif
