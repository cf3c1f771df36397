#include "TIniFile.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

std::string_view Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

// Decimal, or hexadecimal after "0x"/"$", with an optional sign; nothing else on the line.
std::optional<int32_t> ParseInteger(std::string_view text) {
  std::string_view s = Trim(text);
  bool negative = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (s.size() > 1 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  } else if (!s.empty() && s[0] == '$') {
    base = 16;
    s.remove_prefix(1);
  }
  if (s.empty()) return std::nullopt;
  int64_t value = 0;
  for (char c : s) {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return std::nullopt;
    value = value * base + digit;
    if (value > (int64_t{1} << 32)) return std::nullopt;
  }
  if (base == 16 && !negative && value <= 0xFFFFFFFF) {
    // A hexadecimal value names the 32 bits, as "$FFFFFFFF" for -1.
    return static_cast<int32_t>(static_cast<uint32_t>(value));
  }
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

}  // namespace

TIniFile::TIniFile(std::string fileName) : FFileName(std::move(fileName)) {
  std::ifstream in(FFileName, std::ios::binary);
  if (!in) return;
  std::stringstream buffer;
  buffer << in.rdbuf();
  LoadFromText(buffer.str());
}

void TIniFile::LoadFromText(std::string_view text) {
  FSections.clear();
  TSection* current = nullptr;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (end < text.size() && text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
    if (line.empty() || line[0] == ';') continue;
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      std::string_view name = Trim(line.substr(1, line.size() - 2));
      current = FindSection(name);
      if (!current) {
        FSections.push_back(TSection{std::string(name), {}});
        current = &FSections.back();
      }
      continue;
    }
    if (!current) continue;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      current->Keys.push_back(TKey{std::string(line), {}, false});
    } else {
      current->Keys.push_back(TKey{std::string(Trim(line.substr(0, eq))),
                                   std::string(Trim(line.substr(eq + 1))), true});
    }
  }
}

TIniFile::TSection* TIniFile::FindSection(std::string_view name) {
  for (auto& section : FSections)
    if (SameText(section.Name, name)) return &section;
  return nullptr;
}

const TIniFile::TSection* TIniFile::FindSection(std::string_view name) const {
  return const_cast<TIniFile*>(this)->FindSection(name);
}

std::optional<std::string> TIniFile::ReadString(std::string_view section,
                                                std::string_view key) const {
  const TSection* s = FindSection(section);
  if (!s) return std::nullopt;
  for (const auto& k : s->Keys)
    if (k.HasValue && SameText(k.Name, key)) return k.Value;
  return std::nullopt;
}

int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key,
                              int32_t defaultValue) const {
  auto value = ReadString(section, key);
  if (!value) return defaultValue;
  return ParseInteger(*value).value_or(defaultValue);
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  TSection* s = FindSection(section);
  if (!s) {
    FSections.push_back(TSection{std::string(section), {}});
    s = &FSections.back();
  }
  for (auto& k : s->Keys) {
    if (SameText(k.Name, key)) {
      k.Value = std::string(value);
      k.HasValue = true;
      return;
    }
  }
  s->Keys.push_back(TKey{std::string(key), std::string(value), true});
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
  WriteString(section, key, std::to_string(value));
}

std::string TIniFile::Text() const {
  std::string out;
  for (const auto& section : FSections) {
    out += "[" + section.Name + "]\r\n";
    for (const auto& k : section.Keys)
      out += k.HasValue ? k.Name + "=" + k.Value + "\r\n" : k.Name + "\r\n";
    out += "\r\n";
  }
  return out;
}

bool TIniFile::UpdateFile() const {
  const std::string temp = FFileName + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    const std::string text = Text();
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out) {
      out.close();
      std::remove(temp.c_str());
      return false;
    }
  }
  if (std::rename(temp.c_str(), FFileName.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}
