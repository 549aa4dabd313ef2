// TIniFile reads and writes one INI file (Option.ini) key by key, with the rules of the Windows
// private-profile functions that the host's settings were always kept under:
//
// - A section starts with "[Name]" on a line of its own; the lines up to the next section are
//   its keys, "Key=Value". Section and key names match without regard to (ASCII) case, and the
//   first matching section, and in it the first matching key, is the one read and written.
// - Blanks (spaces, tabs) around a key's name and around its value are not part of them. A line
//   whose first non-blank character is ';' is a comment; a line without '=' is no key; lines
//   before the first section belong to no section. None of these is ever read or changed.
// - Nothing is cached: every call opens and parses the file afresh, so an edit made by hand
//   between two calls is seen by the second.
// - A value is read up to kMaxValueLength bytes (the 2048-byte buffer of the private-profile
//   functions, less its terminator); a UTF-8 sequence that would be cut there is dropped whole,
//   so the text read is always valid UTF-8 when the stored text is.
// - Integers are decimal or 0x-prefixed hexadecimal with an optional sign; a value that is empty
//   or not a 32-bit signed integer gives the caller's default. Booleans are integers, 0 false and
//   any other integer true; any other text (the words true and false too) gives the default.
// - A write replaces the value of an existing key in place, keeping the line's name, its spacing
//   up to the old value and its line ending; a new key goes right after its section's last line
//   that is neither blank nor a comment (so before the blank lines and comments that lead to the
//   next section, or right after the header of an empty section); a new section goes at the end
//   of the file, with no blank line before it. Every other byte of the file stays as it was. New
//   lines end the way the file's first line ends; a new file, or one without any line break, gets
//   CR LF. Files are UTF-8 without a byte-order mark; one found at the start is kept.
//
// Writes never leave a partly written file behind: the new content is written to a temporary
// file in the same folder, flushed to disk, and renamed over the old file, which keeps its
// permission bits (and, where allowed, its owner); a symbolic link is followed, not replaced.
// A file that exists but cannot be opened for writing, or cannot be read (its content would be
// lost), or a folder in which no file can be created, fails with EIniFileException
// "Unable to write to <path>", and the file is left untouched. A crash between creating and
// renaming the temporary file can leave "<path>.tmp-<pid>-<n>" beside it, never a damaged file.
//
// Thread safety: a TIniFile holds only its path; any number of threads may call any member at
// the same time. Readers see either the whole old or the whole new file. Writes within this
// process are serialised, so two threads writing different keys of the same file both keep their
// key; writes from other processes are not coordinated with ours.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// The error of a failed write. what() is "Unable to write to " followed by the file's path, the
// text the operator has always been shown.
class EIniFileException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A list of writes to apply to a file in one rewrite (TIniFile::Apply). Recording does not touch
// any file.
class TIniChanges {
 public:
  struct TChange {
    std::string Section;
    std::string Ident;
    std::string Value;
  };

  void WriteString(const std::string& section, const std::string& ident, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& ident, std::int32_t value);
  void WriteBool(const std::string& section, const std::string& ident, bool value);

  const std::vector<TChange>& Changes() const { return FChanges; }
  bool Empty() const { return FChanges.empty(); }

 private:
  std::vector<TChange> FChanges;
};

class TIniFile {
 public:
  // Longest value ReadString returns, in bytes.
  static constexpr std::size_t kMaxValueLength = 2047;

  // Reads and creates nothing.
  explicit TIniFile(std::string fileName);

  const std::string& FileName() const { return FFileName; }

  // A missing or unreadable file, section or key gives defaultValue.
  std::string ReadString(const std::string& section, const std::string& ident,
                         const std::string& defaultValue) const;
  std::int32_t ReadInteger(const std::string& section, const std::string& ident,
                           std::int32_t defaultValue) const;
  bool ReadBool(const std::string& section, const std::string& ident, bool defaultValue) const;

  // Each write is one complete, durable rewrite of the file, creating it when missing. A value is
  // written unchanged up to its first line break; the rest could not be read back as part of the
  // value, so it is not written. Throws EIniFileException when the file cannot be written.
  void WriteString(const std::string& section, const std::string& ident, const std::string& value);
  // Decimal digits, with '-' when negative.
  void WriteInteger(const std::string& section, const std::string& ident, std::int32_t value);
  // 1 or 0.
  void WriteBool(const std::string& section, const std::string& ident, bool value);

  // Applies the changes in their order, with the same result as the writes one after another,
  // but in one rewrite: either all of them reach the file or, on failure (EIniFileException),
  // none does. An empty list touches nothing.
  void Apply(const TIniChanges& changes);

 private:
  std::string FFileName;
};
