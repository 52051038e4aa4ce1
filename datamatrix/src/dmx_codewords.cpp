#include "datamatrix/src/dmx_codewords.h"

#include "vantrel/text_convert.h"

#include <cerrno>
#include <cstring>
#include <vector>

namespace vantrel::dmx {

namespace {

// Codewords of ASCII encodation with a meaning of their own.
constexpr uint8_t kPad = 129;
constexpr uint8_t kLatchC40 = 230;
constexpr uint8_t kLatchBase256 = 231;
constexpr uint8_t kFnc1 = 232;
constexpr uint8_t kStructuredAppend = 233;
constexpr uint8_t kReaderProgramming = 234;
constexpr uint8_t kUpperShift = 235;
constexpr uint8_t kMacro05 = 236;
constexpr uint8_t kMacro06 = 237;
constexpr uint8_t kLatchX12 = 238;
constexpr uint8_t kLatchText = 239;
constexpr uint8_t kLatchEdifact = 240;
constexpr uint8_t kEci = 241;
constexpr uint8_t kUnlatch = 254;

constexpr int32_t kDefaultEci = 3;   // ISO/IEC 8859-1 when the symbol names none
constexpr int32_t kBinaryEci = 899;  // 8-bit data: the bytes as they are
constexpr int32_t kControl = -1;     // FNC1 and the macros' texts: never converted

struct Segment {
  int32_t eci;
  std::string bytes;
};

class Interpreter {
 public:
  Interpreter(const uint8_t* data, size_t count, Message* out) : d_(data), n_(count), out_(out) {}

  int32_t Run() {
    Mode mode = Mode::kAscii;
    while (mode != Mode::kEnd) {
      switch (mode) {
        case Mode::kAscii: mode = Ascii(); break;
        case Mode::kC40: mode = C40OrText(false); break;
        case Mode::kText: mode = C40OrText(true); break;
        case Mode::kX12: mode = X12(); break;
        case Mode::kEdifact: mode = Edifact(); break;
        case Mode::kBase256: mode = Base256(); break;
        case Mode::kFail:
        case Mode::kEnd: break;
      }
      if (mode == Mode::kFail) return -2;
    }
    if (!macroTrailer_.empty()) Emit(kControl, macroTrailer_);
    return Finish();
  }

 private:
  enum class Mode { kAscii, kC40, kText, kX12, kEdifact, kBase256, kEnd, kFail };

  void Emit(int32_t eci, const std::string& s) {
    if (segments_.empty() || segments_.back().eci != eci) segments_.push_back(Segment{eci, {}});
    segments_.back().bytes += s;
  }
  void Char(uint32_t c) { Emit(eci_, std::string(1, static_cast<char>(c & 0xFF))); }

  // A data character, with the upper shift of a preceding codeword or value.
  bool DataChar(uint32_t c) {
    if (upperShift_) {
      c += 128;
      upperShift_ = false;
    }
    if (c > 255) return false;
    Char(c);
    return true;
  }

  void Fnc1(size_t position) {
    // In the first position it marks GS1 data, right after a one-character
    // application indicator the AIM form; elsewhere it separates fields.
    if (position == firstPosition_ && !out_->gs1) {
      out_->gs1 = true;
    } else if (position == firstPosition_ + 1 && !out_->gs1 && !out_->aim) {
      out_->aim = true;
    } else {
      Emit(kControl, "\x1d");
    }
  }

  Mode Ascii() {
    while (p_ < n_) {
      const size_t position = p_ + 1;  // 1-based codeword position
      const uint8_t c = d_[p_++];
      if (upperShift_ && (c == 0 || c > 128)) return Mode::kFail;
      if (c == 0) return Mode::kFail;
      if (c <= 128) {
        if (!DataChar(c - 1u)) return Mode::kFail;
        continue;
      }
      if (c == kPad) return Mode::kEnd;
      if (c <= 229) {
        const uint32_t v = c - 130u;
        Char('0' + v / 10);
        Char('0' + v % 10);
        continue;
      }
      switch (c) {
        case kLatchC40: return Mode::kC40;
        case kLatchBase256: return Mode::kBase256;
        case kFnc1: Fnc1(position); break;
        case kStructuredAppend: {
          if (position != 1 || p_ + 3 > n_) return Mode::kFail;
          const uint8_t sequence = d_[p_];
          out_->saIndex = (sequence >> 4) + 1;
          out_->saCount = 17 - (sequence & 0x0F);
          if (out_->saCount < 2 || out_->saCount > 16 || out_->saIndex > out_->saCount) out_->saCount = 0;
          out_->saFileId = d_[p_ + 1] * 256 + d_[p_ + 2];
          p_ += 3;
          firstPosition_ = 5;
          break;
        }
        case kReaderProgramming:
          if (position != 1) return Mode::kFail;
          out_->readerInit = true;
          break;
        case kUpperShift: upperShift_ = true; break;
        case kMacro05:
        case kMacro06:
          if (position != firstPosition_) return Mode::kFail;
          out_->macro = c == kMacro05 ? 5 : 6;
          Emit(kControl, c == kMacro05 ? "[)>\x1e" "05\x1d" : "[)>\x1e" "06\x1d");
          macroTrailer_ = "\x1e\x04";
          break;
        case kLatchX12: return Mode::kX12;
        case kLatchText: return Mode::kText;
        case kLatchEdifact: return Mode::kEdifact;
        case kEci: {
          int32_t value = 0;
          if (!ReadEci(&value)) return Mode::kFail;
          eci_ = value;
          out_->eci = true;
          break;
        }
        case kUnlatch: break;  // already in ASCII: nothing to leave
        default: return Mode::kFail;  // 242 ... 253, 255
      }
    }
    return upperShift_ ? Mode::kFail : Mode::kEnd;
  }

  bool ReadEci(int32_t* value) {
    if (p_ >= n_) return false;
    const int32_t c1 = d_[p_++];
    if (c1 == 0) return false;
    if (c1 <= 127) {
      *value = c1 - 1;
      return true;
    }
    if (p_ >= n_) return false;
    const int32_t c2 = d_[p_++];
    if (c2 == 0 || c2 == 255) return false;
    if (c1 <= 191) {
      *value = (c1 - 128) * 254 + (c2 - 1) + 127;
      return true;
    }
    if (c1 == 255 || p_ >= n_) return false;
    const int32_t c3 = d_[p_++];
    if (c3 == 0 || c3 == 255) return false;
    *value = (c1 - 192) * 64516 + (c2 - 1) * 254 + (c3 - 1) + 16383;
    return true;
  }

  // Two codewords hold three values of 0..39; 254 in the first returns to ASCII,
  // and a single codeword left at the end is ASCII.
  bool ReadTriple(uint32_t u[3], bool* unlatch) {
    *unlatch = false;
    if (p_ >= n_) return false;
    if (d_[p_] == kUnlatch || p_ + 1 >= n_) {
      if (d_[p_] == kUnlatch) ++p_;
      *unlatch = true;
      return true;
    }
    const uint32_t v = d_[p_] * 256u + d_[p_ + 1] - 1u;
    p_ += 2;
    u[0] = v / 1600;
    u[1] = v / 40 % 40;
    u[2] = v % 40;
    return u[0] < 40;
  }

  Mode C40OrText(bool text) {
    int32_t shift = 0;
    while (p_ < n_) {
      uint32_t u[3];
      bool unlatch = false;
      if (!ReadTriple(u, &unlatch)) return Mode::kFail;
      if (unlatch) break;
      for (uint32_t v : u) {
        const int32_t set = shift;
        shift = 0;
        switch (set) {
          case 0:
            if (v < 3) shift = static_cast<int32_t>(v) + 1;
            else if (v == 3) { if (!DataChar(' ')) return Mode::kFail; }
            else if (v < 14) { if (!DataChar('0' + v - 4)) return Mode::kFail; }
            else if (!DataChar((text ? 'a' : 'A') + v - 14)) return Mode::kFail;
            break;
          case 1:
            if (v > 31 || !DataChar(v)) return Mode::kFail;
            break;
          case 2:
            if (v < 15) { if (!DataChar(33 + v)) return Mode::kFail; }
            else if (v < 22) { if (!DataChar(58 + v - 15)) return Mode::kFail; }
            else if (v < 27) { if (!DataChar(91 + v - 22)) return Mode::kFail; }
            else if (v == 27) Fnc1(0);
            else if (v == 30) upperShift_ = true;
            else return Mode::kFail;
            break;
          case 3:
            if (v > 31) return Mode::kFail;
            if (!text) { if (!DataChar(96 + v)) return Mode::kFail; }
            else if (v == 0) { if (!DataChar('`')) return Mode::kFail; }
            else if (v < 27) { if (!DataChar('A' + v - 1)) return Mode::kFail; }
            else if (!DataChar(123 + v - 27)) return Mode::kFail;
            break;
        }
      }
    }
    return Mode::kAscii;
  }

  Mode X12() {
    static constexpr char kLow[] = {'\r', '*', '>', ' '};
    while (p_ < n_) {
      uint32_t u[3];
      bool unlatch = false;
      if (!ReadTriple(u, &unlatch)) return Mode::kFail;
      if (unlatch) break;
      for (uint32_t v : u) {
        if (v < 4) Char(static_cast<uint8_t>(kLow[v]));
        else if (v < 14) Char('0' + v - 4);
        else Char('A' + v - 14);
      }
    }
    return Mode::kAscii;
  }

  Mode Edifact() {
    // Groups of four 6-bit values in three codewords; with two codewords or
    // fewer left the symbol has returned to ASCII without saying so.
    while (n_ - p_ > 2) {
      const uint32_t bits = (d_[p_] << 16) | (d_[p_ + 1] << 8) | d_[p_ + 2];
      for (int32_t i = 0; i < 4; ++i) {
        const uint32_t v = (bits >> (18 - 6 * i)) & 0x3F;
        if (v == 0x1F) {
          // Unlatch: decoding goes on at the next codeword boundary.
          p_ += static_cast<size_t>((6 * (i + 1) + 7) / 8);
          return Mode::kAscii;
        }
        Char((v & 0x20) ? v : (v | 0x40));
      }
      p_ += 3;
    }
    return Mode::kAscii;
  }

  uint8_t Unrandomize255(size_t index) const {
    const int32_t position = static_cast<int32_t>(index) + 1;
    const int32_t r = (149 * position) % 255 + 1;
    const int32_t v = d_[index] - r;
    return static_cast<uint8_t>(v >= 0 ? v : v + 256);
  }

  Mode Base256() {
    if (p_ >= n_) return Mode::kFail;
    const int32_t d1 = Unrandomize255(p_++);
    size_t length;
    if (d1 == 0) {
      length = n_ - p_;  // to the end of the symbol
    } else if (d1 < 250) {
      length = static_cast<size_t>(d1);
    } else {
      if (p_ >= n_) return Mode::kFail;
      length = static_cast<size_t>(250 * (d1 - 249) + Unrandomize255(p_++));
    }
    if (length > n_ - p_) return Mode::kFail;
    std::string bytes;
    bytes.reserve(length);
    for (size_t i = 0; i < length; ++i) bytes.push_back(static_cast<char>(Unrandomize255(p_++)));
    Emit(eci_, bytes);
    return Mode::kAscii;
  }

  int32_t Finish() {
    std::string& o = out_->bytes;
    o.clear();
    const int digit = out_->gs1 ? 2 : out_->aim ? 3 : 1;
    out_->identifier[2] = static_cast<char>('0' + digit + (out_->eci ? 3 : 0));
    if (!out_->eci) {
      for (const Segment& s : segments_) o += s.bytes;
      return 0;
    }
    for (const Segment& s : segments_) {
      if (s.eci == kControl || s.eci == kBinaryEci) {
        o += s.bytes;
        continue;
      }
      const char* charset = EciCharset(s.eci == kNoEci ? kDefaultEci : s.eci);
      if (!AppendAsUtf8(charset, s.bytes, &o)) return -2;
    }
    return 0;
  }

  static constexpr int32_t kNoEci = -2;

  const uint8_t* d_;
  size_t n_;
  Message* out_;
  size_t p_ = 0;
  size_t firstPosition_ = 1;  // where FNC1 marks GS1 data (5 after a structured-append header)
  int32_t eci_ = kNoEci;
  bool upperShift_ = false;
  std::string macroTrailer_;
  std::vector<Segment> segments_;
};

}  // namespace

int32_t InterpretCodewords(const uint8_t* data, size_t count, Message* out) {
  if (!out || (!data && count > 0)) return -2;
  *out = Message{};
  Interpreter interpreter(data, count, out);
  const int32_t status = interpreter.Run();
  if (status != 0) *out = Message{};
  return status;
}

}  // namespace vantrel::dmx
