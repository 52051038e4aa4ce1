#include "vantrel/profile_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace vantrel {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

enum class Kind { kBlank, kSection, kKey, kOther };

// One line of the text. `end` excludes the line break, `next` is where the next
// line starts; `cr` tells whether a '\r' stands before the '\n'.
struct Line {
  size_t begin = 0;
  size_t end = 0;
  size_t next = 0;
  bool cr = false;
  bool hasBreak = false;
  Kind kind = Kind::kOther;
  std::string_view name;   // section or key name, trimmed
  std::string_view value;  // key value, trimmed
  size_t valueBegin = 0;   // offset in the text where the value's text starts
};

class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {
    // A byte-order mark belongs to no line.
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
  }

  bool Next(Line* line) {
    if (pos_ >= text_.size()) return false;
    Line l;
    l.begin = pos_;
    size_t nl = text_.find('\n', pos_);
    if (nl == std::string_view::npos) {
      l.end = text_.size();
      l.next = text_.size();
    } else {
      l.end = nl;
      l.next = nl + 1;
      l.hasBreak = true;
    }
    // Carriage returns at the end belong to the line break, however many.
    while (l.end > l.begin && text_[l.end - 1] == '\r') {
      --l.end;
      l.cr = true;
    }
    Classify(&l);
    pos_ = l.next;
    *line = l;
    return true;
  }

 private:
  void Classify(Line* l) const {
    std::string_view content = text_.substr(l->begin, l->end - l->begin);
    std::string_view t = Trim(content);
    if (t.empty()) {
      l->kind = Kind::kBlank;
    } else if (t[0] == '[') {
      size_t close = t.find(']');
      std::string_view name = close == std::string_view::npos ? t.substr(1) : t.substr(1, close - 1);
      l->kind = Kind::kSection;
      l->name = Trim(name);
    } else if (t[0] == ';') {
      l->kind = Kind::kOther;
    } else if (size_t eq = content.find('='); eq != std::string_view::npos) {
      l->kind = Kind::kKey;
      l->name = Trim(content.substr(0, eq));
      size_t v = eq + 1;
      while (v < content.size() && IsBlank(content[v])) ++v;
      l->valueBegin = l->begin + v;
      l->value = Trim(content.substr(eq + 1));
    } else {
      l->kind = Kind::kOther;
    }
  }

  std::string_view text_;
  size_t pos_ = 0;
};

std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

std::string LineBreakOf(std::string_view text) {
  size_t nl = text.find('\n');
  if (nl != std::string_view::npos && nl > 0 && text[nl - 1] == '\r') return "\r\n";
  return "\n";
}

// Ends the text's last line: a lone CR at the end becomes a CRLF.
void EndLastLine(std::string* out, const std::string& br) {
  if (!out->empty() && out->back() == '\r') *out += '\n';
  else *out += br;
}

bool HasBreak(std::string_view s) {
  return s.find('\n') != std::string_view::npos || s.find('\r') != std::string_view::npos;
}

bool ReadWholeFile(const std::string& path, std::string* text, bool* missing) {
  *missing = false;
  text->clear();
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    *missing = (errno == ENOENT);
    return false;
  }
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text->append(buf, n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// The file that a write really replaces: the target of a symbolic link.
std::string ResolveTarget(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = ::realpath(path.c_str(), nullptr)) {
      std::string r(real);
      std::free(real);
      return r;
    }
  }
  return path;
}

bool ReplaceFile(const std::string& path, const std::string& text) {
  static std::atomic<unsigned> counter{0};
  const std::string target = ResolveTarget(path);
  struct stat old;
  const bool existed = ::stat(target.c_str(), &old) == 0;
  if (existed && !S_ISREG(old.st_mode)) return false;

  std::string tmp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    tmp = target + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
    fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  bool ok = WriteAll(fd, text);
  if (ok && existed) ok = ::fchmod(fd, old.st_mode & 07777) == 0 || errno == EPERM;
  if (ok) ok = ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  if (ok) ok = ::rename(tmp.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(tmp.c_str());
  return ok;
}

}  // namespace

std::optional<std::string> ProfileLookup(std::string_view text, std::string_view section,
                                         std::string_view key) {
  section = Trim(section);
  key = Trim(key);
  LineReader reader(text);
  Line line;
  bool inSection = false;
  while (reader.Next(&line)) {
    if (line.kind == Kind::kSection) {
      // Only the first section of the name is searched.
      if (inSection) return std::nullopt;
      inSection = SameName(line.name, section);
    } else if (inSection && line.kind == Kind::kKey && SameName(line.name, key)) {
      return std::string(Unquote(line.value));
    }
  }
  return std::nullopt;
}

std::optional<std::string> ProfileApply(std::string_view text, std::string_view section,
                                        std::string_view key, std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  if (section.empty() || key.empty()) return std::nullopt;
  if (HasBreak(section) || HasBreak(key) || HasBreak(value)) return std::nullopt;
  if (section.find(']') != std::string_view::npos) return std::nullopt;
  if (key.find('=') != std::string_view::npos || key[0] == '[' || key[0] == ';') return std::nullopt;

  const std::string br = LineBreakOf(text);
  LineReader reader(text);
  Line line;
  bool inSection = false;
  bool found = false;
  Line last;  // the section's header or its last key line
  while (reader.Next(&line)) {
    if (line.kind == Kind::kSection) {
      if (inSection) break;
      if (SameName(line.name, section)) {
        inSection = found = true;
        last = line;
      }
    } else if (inSection && line.kind == Kind::kKey) {
      if (SameName(line.name, key)) {
        std::string out(text.substr(0, line.valueBegin));
        out.append(value);
        out.append(text.substr(line.end));
        return out;
      }
      last = line;
    }
  }

  std::string out;
  if (found) {
    out.assign(text.substr(0, last.next));
    if (!last.hasBreak) EndLastLine(&out, br);
    out.append(key).append("=").append(value).append(br);
    out.append(text.substr(last.next));
    return out;
  }
  out.assign(text);
  if (!out.empty() && out.back() != '\n') EndLastLine(&out, br);
  out.append("[").append(section).append("]").append(br);
  out.append(key).append("=").append(value).append(br);
  return out;
}

std::string ProfileReadString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& defaultText, size_t size) {
  if (size == 0) return {};
  std::string text;
  bool missing = false;
  std::string result = defaultText;
  if (ReadWholeFile(file, &text, &missing)) {
    if (auto v = ProfileLookup(text, section, key)) result = std::move(*v);
  }
  if (result.size() > size - 1) result.resize(size - 1);
  return result;
}

bool ProfileWriteString(const std::string& file, const std::string& section,
                        const std::string& key, const std::string& value) {
  if (file.empty()) return false;
  std::string text;
  bool missing = false;
  // A file that exists but cannot be read is left alone: writing it would lose
  // every other line.
  if (!ReadWholeFile(file, &text, &missing) && !missing) return false;
  auto changed = ProfileApply(text, section, key, value);
  if (!changed) return false;
  return ReplaceFile(file, *changed);
}

}  // namespace vantrel
