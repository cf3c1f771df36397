// Helpers of the CDX tests: a plain reading of fixture tables and expected dumps, written
// independently of the engine's own readers so that the tests do not check code with itself.
#pragma once

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "cdx/KeyCodec.h"

namespace cdxtest {

struct DbfField {
  std::string name;
  char type;
  int width;
  int offset;
};

struct Dbf {
  std::vector<DbfField> fields;
  std::vector<std::string> records;  // raw images, deletion flag first
};

inline Dbf ReadDbf(const std::string& path) {
  std::vector<uint8_t> b = xbtest::ReadBytes(path);
  Dbf dbf;
  uint32_t count = b[4] | b[5] << 8 | b[6] << 16 | uint32_t(b[7]) << 24;
  size_t header = b[8] | b[9] << 8, size = b[10] | b[11] << 8;
  int offset = 1;
  for (size_t at = 32; at + 32 <= header && b[at] != 0x0D; at += 32) {
    DbfField f;
    f.name.assign(reinterpret_cast<const char*>(&b[at]), 11);
    f.name.resize(f.name.find('\0') == std::string::npos ? 11 : f.name.find('\0'));
    f.type = static_cast<char>(b[at + 11]);
    f.width = b[at + 16];
    f.offset = offset;
    offset += f.width;
    dbf.fields.push_back(f);
  }
  for (uint32_t i = 0; i < count && header + (i + 1) * size <= b.size(); ++i)
    dbf.records.emplace_back(reinterpret_cast<const char*>(&b[header + i * size]), size);
  return dbf;
}

inline std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The kind of a key expression: the type of a bare field, else character (every character
// expression of the fixtures is UPPER(), STR(), DTOS() or a concatenation).
inline xb::KeyKind KindOf(const std::string& expression, const Dbf& dbf) {
  std::string e = Upper(expression);
  while (!e.empty() && e.back() == ' ') e.pop_back();
  while (!e.empty() && e.front() == ' ') e.erase(0, 1);
  for (const DbfField& f : dbf.fields)
    if (f.name == e) {
      if (f.type == 'N' || f.type == 'F') return xb::KeyKind::kNumeric;
      if (f.type == 'D') return xb::KeyKind::kDate;
      if (f.type == 'L') return xb::KeyKind::kLogical;
    }
  return xb::KeyKind::kCharacter;
}

// A key as the dumps write it.
inline std::string DumpKey(xb::KeyKind kind, const std::string& key) {
  char text[64];
  switch (kind) {
    case xb::KeyKind::kNumeric:
      std::snprintf(text, sizeof text, "%.2f", xb::KeyCodec::DecodeNumber(key));
      return text;
    case xb::KeyKind::kDate:
      return xb::KeyCodec::DecodeDate(key);
    default:
      return key;
  }
}

struct DumpOrder {
  size_t keycount = 0;
  std::vector<std::pair<uint32_t, std::string>> rows;  // recno, key
};

// The ORDER sections of an expected dump (gzip-compressed ones are read through zcat).
inline std::map<std::string, DumpOrder> ReadDumpOrders(const std::string& path) {
  std::string text;
  if (path.size() > 3 && path.substr(path.size() - 3) == ".gz") {
    FILE* pipe = ::popen(("zcat '" + path + "'").c_str(), "r");
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    ::pclose(pipe);
  } else {
    text = xbtest::ReadText(path);
  }
  std::map<std::string, DumpOrder> orders;
  std::istringstream in(text);
  std::string line;
  DumpOrder* current = nullptr;
  while (std::getline(in, line)) {
    if (line.rfind("ORDER ", 0) == 0) {
      std::string name = line.substr(6, line.find(' ', 6) - 6);
      current = name == "natural" ? nullptr : &orders[name];
      if (current) current->keycount = std::stoul(line.substr(line.find("keycount=") + 9));
    } else if (line.rfind("END ", 0) == 0) {
      current = nullptr;
    } else if (current) {
      size_t t1 = line.find('\t'), t2 = line.rfind('\t');
      current->rows.emplace_back(std::stoul(line.substr(0, t1)), line.substr(t1 + 1, t2 - t1 - 1));
    }
  }
  return orders;
}

}  // namespace cdxtest
