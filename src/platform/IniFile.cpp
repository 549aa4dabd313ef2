#include "platform/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <limits>
#include <mutex>
#include <string_view>
#include <system_error>
#include <utility>

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kCrLf = "\r\n";

// Owns one file descriptor.
class TFileHandle {
 public:
  explicit TFileHandle(int fd = -1) : FFd(fd) {}
  ~TFileHandle() {
    if (FFd >= 0) ::close(FFd);
  }
  TFileHandle(const TFileHandle&) = delete;
  TFileHandle& operator=(const TFileHandle&) = delete;

  int Get() const { return FFd; }
  void Reset(int fd) {
    if (FFd >= 0) ::close(FFd);
    FFd = fd;
  }
  explicit operator bool() const { return FFd >= 0; }
  // Closes now and reports whether the close succeeded: a failed close can be the first sign that
  // written data never reached the disk.
  bool Close() {
    const int fd = std::exchange(FFd, -1);
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int FFd;
};

// Removes the temporary file on every way out unless the file has become the real one.
class TTemporaryFile {
 public:
  explicit TTemporaryFile(std::string path) : FPath(std::move(path)) {}
  ~TTemporaryFile() {
    if (!FPath.empty()) ::unlink(FPath.c_str());
  }
  TTemporaryFile(const TTemporaryFile&) = delete;
  TTemporaryFile& operator=(const TTemporaryFile&) = delete;

  const std::string& Path() const { return FPath; }
  void Keep() { FPath.clear(); }

 private:
  std::string FPath;
};

// One line of the file as it is stored: the text without its line ending, and the ending itself
// ("\r\n", "\n", or empty on a last line that has none).
struct TLine {
  std::string Text;
  std::string Eol;
};

struct TDocument {
  std::string Bom;
  std::vector<TLine> Lines;
};

enum class TLineKind { Blank, Comment, Section, Key, Other };

struct TLineInfo {
  TLineKind Kind = TLineKind::Other;
  std::string_view Name;       // section or key name, without blanks
  std::size_t ValueStart = 0;  // Key: offset of the value, past '=' and the blanks after it
};

// A CR counts as blank so that a lone CR ending the last line is never part of a value.
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

TLineInfo Classify(std::string_view text) {
  TLineInfo info;
  std::size_t first = 0;
  while (first < text.size() && IsBlank(text[first])) ++first;
  if (first == text.size()) {
    info.Kind = TLineKind::Blank;
    return info;
  }
  if (text[first] == ';') {
    info.Kind = TLineKind::Comment;
    return info;
  }
  if (text[first] == '[') {
    const std::size_t close = text.find(']', first + 1);
    if (close != std::string_view::npos) {
      info.Kind = TLineKind::Section;
      info.Name = Trim(text.substr(first + 1, close - first - 1));
    }
    return info;
  }
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) return info;
  info.Kind = TLineKind::Key;
  info.Name = Trim(text.substr(0, equals));
  info.ValueStart = equals + 1;
  while (info.ValueStart < text.size() && IsBlank(text[info.ValueStart])) ++info.ValueStart;
  return info;
}

TDocument Parse(std::string_view bytes) {
  TDocument doc;
  if (bytes.substr(0, kBom.size()) == kBom) {
    doc.Bom = kBom;
    bytes.remove_prefix(kBom.size());
  }
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const std::size_t newline = bytes.find('\n', pos);
    TLine line;
    if (newline == std::string_view::npos) {
      line.Text = bytes.substr(pos);
      pos = bytes.size();
    } else {
      std::size_t end = newline;
      if (end > pos && bytes[end - 1] == '\r') --end;
      line.Text = bytes.substr(pos, end - pos);
      line.Eol = bytes.substr(end, newline + 1 - end);
      pos = newline + 1;
    }
    doc.Lines.push_back(std::move(line));
  }
  return doc;
}

std::string Serialize(const TDocument& doc) {
  std::string bytes = doc.Bom;
  for (const TLine& line : doc.Lines) {
    bytes += line.Text;
    bytes += line.Eol;
  }
  return bytes;
}

// The ending new lines get: the file's own, judged by its first line, so that a file kept with LF
// endings does not end up mixed.
std::string NewLineEnding(const TDocument& doc) {
  for (const TLine& line : doc.Lines) {
    if (!line.Eol.empty()) return line.Eol;
  }
  return std::string(kCrLf);
}

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

struct TLocation {
  std::size_t Header = kNone;     // the first section of the name
  std::size_t Key = kNone;        // the first key of the name in that section
  std::size_t LastEntry = kNone;  // the section's last line that is neither blank nor a comment
};

TLocation Locate(const TDocument& doc, std::string_view section, std::string_view ident) {
  TLocation loc;
  for (std::size_t i = 0; i < doc.Lines.size(); ++i) {
    const TLineInfo info = Classify(doc.Lines[i].Text);
    if (info.Kind == TLineKind::Section) {
      if (loc.Header != kNone) break;
      if (SameName(info.Name, section)) loc.Header = loc.LastEntry = i;
      continue;
    }
    if (loc.Header == kNone) continue;
    if (info.Kind == TLineKind::Key || info.Kind == TLineKind::Other) loc.LastEntry = i;
    if (info.Kind == TLineKind::Key && loc.Key == kNone && SameName(info.Name, ident)) loc.Key = i;
  }
  return loc;
}

// Cuts at kMaxValueLength bytes without splitting a UTF-8 sequence. At most three continuation
// bytes are given back, so text in another encoding is never shortened by more than that.
std::string_view TruncateValue(std::string_view value) {
  if (value.size() <= TIniFile::kMaxValueLength) return value;
  std::size_t cut = TIniFile::kMaxValueLength;
  for (int back = 0; back < 3 && cut > 0 && (static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80;
       ++back) {
    --cut;
  }
  if ((static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80) cut = TIniFile::kMaxValueLength;
  return value.substr(0, cut);
}

int DigitValue(char c, int base) {
  int digit = -1;
  if (c >= '0' && c <= '9') digit = c - '0';
  if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
  if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
  return digit < base ? digit : -1;
}

// Optional sign, then decimal digits or 0x and hexadecimal digits; nothing else. The number
// itself must lie in the 32-bit signed range (0x80000000 is out of range, not -2147483648).
bool TryParseInteger(std::string_view text, std::int32_t& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (text.size() - i >= 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return false;
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const int digit = DigitValue(text[i], base);
    if (digit < 0) return false;
    magnitude = magnitude * base + digit;
    if (magnitude > kLimit) return false;
  }
  const std::int64_t result = negative ? -magnitude : magnitude;
  if (result > std::numeric_limits<std::int32_t>::max()) return false;
  value = static_cast<std::int32_t>(result);
  return true;
}

enum class TReadResult { Ok, Missing, Failed };

TReadResult ReadWholeFile(const std::string& path, std::string& bytes) {
  TFileHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file) return errno == ENOENT ? TReadResult::Missing : TReadResult::Failed;
  bytes.clear();
  char buffer[8192];
  for (;;) {
    const ssize_t count = ::read(file.Get(), buffer, sizeof buffer);
    if (count == 0) return TReadResult::Ok;
    if (count < 0) {
      if (errno == EINTR) continue;
      return TReadResult::Failed;
    }
    bytes.append(buffer, static_cast<std::size_t>(count));
  }
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t count = ::write(fd, bytes.data(), bytes.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
  return true;
}

// The file a write really replaces: renaming over a symbolic link would replace the link, so a
// link is followed to the file it names.
std::string PhysicalPath(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!fs::is_symlink(path, ec)) return path;
  const fs::path resolved = fs::weakly_canonical(path, ec);
  return ec ? path : resolved.string();
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Writes bytes to a new file beside target, flushes it and renames it over target. `old` is the
// status of the file being replaced, or null when there is none.
bool ReplaceFile(const std::string& target, std::string_view bytes, const struct stat* old) {
  static std::atomic<unsigned> counter{0};
  TFileHandle file;
  std::string name;
  for (int attempt = 0; attempt < 100 && !file; ++attempt) {
    name = target + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    // 0666 lets the umask decide the bits of a new file, as for any file the host creates.
    file.Reset(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!file && errno != EEXIST) return false;
  }
  if (!file) return false;
  TTemporaryFile temporary(name);

  if (!WriteAll(file.Get(), bytes)) return false;
  if (old != nullptr) {
    // Owner first: a change of owner clears set-id bits, which the mode then restores. Only root
    // may give a file away; for anyone else the replacement is theirs, as a new file would be.
    if ((old->st_uid != ::geteuid() || old->st_gid != ::getegid()) &&
        ::fchown(file.Get(), old->st_uid, old->st_gid) != 0) {
      // Not fatal: the settings are written all the same.
    }
    if (::fchmod(file.Get(), old->st_mode & 07777) != 0) return false;
  }
  if (::fsync(file.Get()) != 0) return false;
  if (!file.Close()) return false;
  if (::rename(temporary.Path().c_str(), target.c_str()) != 0) return false;
  temporary.Keep();

  // Makes the rename itself durable. The new content is in place whatever this reports, so a
  // failure here is not reported as a failed write.
  TFileHandle folder(::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder) ::fsync(folder.Get());
  return true;
}

void ApplyChange(TDocument& doc, const TIniChanges::TChange& change, const std::string& eol) {
  const TLocation loc = Locate(doc, change.Section, change.Ident);
  if (loc.Key != kNone) {
    TLine& line = doc.Lines[loc.Key];
    line.Text.replace(Classify(line.Text).ValueStart, std::string::npos, change.Value);
    return;
  }
  TLine entry{change.Ident + "=" + change.Value, eol};
  if (loc.Header != kNone) {
    if (doc.Lines[loc.LastEntry].Eol.empty()) doc.Lines[loc.LastEntry].Eol = eol;
    doc.Lines.insert(doc.Lines.begin() + static_cast<std::ptrdiff_t>(loc.LastEntry + 1),
                     std::move(entry));
    return;
  }
  if (!doc.Lines.empty() && doc.Lines.back().Eol.empty()) doc.Lines.back().Eol = eol;
  doc.Lines.push_back(TLine{"[" + change.Section + "]", eol});
  doc.Lines.push_back(std::move(entry));
}

// A line break cannot be part of a value: what follows it would be read as lines of their own.
std::string SingleLine(const std::string& value) {
  return value.substr(0, value.find_first_of("\r\n"));
}

std::mutex& WriteMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

void TIniChanges::WriteString(const std::string& section, const std::string& ident,
                              const std::string& value) {
  FChanges.push_back(TChange{section, ident, SingleLine(value)});
}

void TIniChanges::WriteInteger(const std::string& section, const std::string& ident,
                               std::int32_t value) {
  WriteString(section, ident, std::to_string(value));
}

void TIniChanges::WriteBool(const std::string& section, const std::string& ident, bool value) {
  WriteString(section, ident, value ? "1" : "0");
}

TIniFile::TIniFile(std::string fileName) : FFileName(std::move(fileName)) {}

std::string TIniFile::ReadString(const std::string& section, const std::string& ident,
                                 const std::string& defaultValue) const {
  std::string bytes;
  if (ReadWholeFile(FFileName, bytes) != TReadResult::Ok) return defaultValue;
  const TDocument doc = Parse(bytes);
  const TLocation loc = Locate(doc, section, ident);
  if (loc.Key == kNone) return defaultValue;
  const std::string_view text = doc.Lines[loc.Key].Text;
  return std::string(TruncateValue(Trim(text.substr(Classify(text).ValueStart))));
}

std::int32_t TIniFile::ReadInteger(const std::string& section, const std::string& ident,
                                   std::int32_t defaultValue) const {
  std::int32_t value = 0;
  return TryParseInteger(ReadString(section, ident, std::string()), value) ? value : defaultValue;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& ident,
                        bool defaultValue) const {
  return ReadInteger(section, ident, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteString(const std::string& section, const std::string& ident,
                           const std::string& value) {
  TIniChanges changes;
  changes.WriteString(section, ident, value);
  Apply(changes);
}

void TIniFile::WriteInteger(const std::string& section, const std::string& ident,
                            std::int32_t value) {
  TIniChanges changes;
  changes.WriteInteger(section, ident, value);
  Apply(changes);
}

void TIniFile::WriteBool(const std::string& section, const std::string& ident, bool value) {
  TIniChanges changes;
  changes.WriteBool(section, ident, value);
  Apply(changes);
}

void TIniFile::Apply(const TIniChanges& changes) {
  if (changes.Empty()) return;
  const EIniFileException failure("Unable to write to " + FFileName);
  // Serialised so that two writers in this process never both read the old file and the second
  // rename drops the first one's key.
  std::lock_guard<std::mutex> lock(WriteMutex());
  const std::string target = PhysicalPath(FFileName);

  // The folder alone would let the rename through; the file's own permission is what says
  // whether it may be changed. open() rather than access(): access() judges by the real user and
  // would let a process that has given up its override rights replace a read-only file.
  struct stat old {};
  bool exists = false;
  {
    TFileHandle probe(::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (probe) {
      if (::fstat(probe.Get(), &old) != 0 || !S_ISREG(old.st_mode)) throw failure;
      exists = true;
    } else if (errno != ENOENT) {
      throw failure;
    }
  }

  TDocument doc;
  if (exists) {
    std::string bytes;
    // A file that cannot be read cannot be rewritten without losing what it holds.
    if (ReadWholeFile(target, bytes) != TReadResult::Ok) throw failure;
    doc = Parse(bytes);
  }
  const std::string eol = NewLineEnding(doc);
  for (const TIniChanges::TChange& change : changes.Changes()) ApplyChange(doc, change, eol);
  if (!ReplaceFile(target, Serialize(doc), exists ? &old : nullptr)) throw failure;
}
