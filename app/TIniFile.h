// TIniFile: the settings file of the window ("A_Movrane.ini"), sections and keys.
//
// Reading: the whole file is loaded once. Empty lines, lines beginning with ";" and lines
// before the first section are ignored; a line that begins with "[" and ends with "]" opens a
// section; every other line in a section is a key, "name=value" (a line without "=" is a key
// with no value, kept as it stands). Section and key names match without regard to ASCII case;
// a section named twice continues the first one. Values read as integers are decimal, or
// hexadecimal with a "0x" or "$" prefix, with an optional sign.
//
// Writing: the whole file is rewritten from what was loaded plus the new values. Sections keep
// their place and their other keys; new sections and keys are appended in the order written.
// Each section is its name in brackets, one line per key and one empty line; lines end with
// CR LF. Ignored lines are not written back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TIniFile {
 public:
  // Loads `fileName`; a missing or unreadable file counts as empty.
  explicit TIniFile(std::string fileName);

  // Parses `text` as the file's content (for tests and for reloading).
  void LoadFromText(std::string_view text);

  // The value of `key` in `section` as an integer, or `defaultValue` when the key is missing
  // or its value is not an integer that fits 32 bits.
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) const;
  // The raw value, when the key exists.
  std::optional<std::string> ReadString(std::string_view section, std::string_view key) const;

  void WriteInteger(std::string_view section, std::string_view key, int32_t value);
  void WriteString(std::string_view section, std::string_view key, std::string_view value);

  // The file's content as UpdateFile writes it.
  std::string Text() const;
  // Rewrites the file. Returns false when it cannot be written (the file is then unchanged or
  // absent: the text goes to a temporary file that replaces the old one).
  bool UpdateFile() const;

  const std::string& FileName() const { return FFileName; }

 private:
  struct TKey {
    std::string Name;
    std::string Value;
    bool HasValue = true;
  };
  struct TSection {
    std::string Name;
    std::vector<TKey> Keys;
  };

  TSection* FindSection(std::string_view name);
  const TSection* FindSection(std::string_view name) const;

  std::string FFileName;
  std::vector<TSection> FSections;
};
