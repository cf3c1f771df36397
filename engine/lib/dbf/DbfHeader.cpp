#include "dbf/DbfHeader.h"

#include <algorithm>
#include <cstring>

namespace xb {
namespace {

uint32_t Le16(std::string_view b, size_t at) {
  return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8;
}
uint32_t Le32(std::string_view b, size_t at) {
  return Le16(b, at) | Le16(b, at + 2) << 16;
}
void PutLe16(std::string& b, size_t at, uint32_t v) {
  b[at] = char(v & 0xFF);
  b[at + 1] = char((v >> 8) & 0xFF);
}
void PutLe32(std::string& b, size_t at, uint32_t v) {
  PutLe16(b, at, v & 0xFFFF);
  PutLe16(b, at + 2, v >> 16);
}

bool KnownVersion(uint8_t v) {
  switch (v) {
    case 0x02:
    case 0x03:
    case 0x30:
    case 0x31:
    case 0x43:
    case 0x63:
    case 0x83:
    case 0x8B:
    case 0x8E:
    case 0xCB:
    case 0xF5:
    case 0xFB:
      return true;
    default:
      return false;
  }
}

char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

}  // namespace

bool DbfHeader::HasMemoFields() const {
  return std::any_of(fields.begin(), fields.end(), [](const FieldInfo& f) {
    return f.type == 'M' || f.type == 'G' || f.type == 'P';
  });
}

std::string DbfHeader::EncodeHead(int year, int month, int day) const {
  std::string b = raw;
  b.resize(32, '\0');
  b[0] = char(version);
  b[1] = char(std::clamp(year - 1900, 0, 255));
  b[2] = char(month);
  b[3] = char(day);
  PutLe32(b, 4, recordCount);
  PutLe16(b, 8, headerLength);
  PutLe16(b, 10, recordLength);
  b[28] = char(flags);
  return b;
}

Result<DbfHeader> ParseDbfHeader(std::string_view bytes, uint64_t fileSize) {
  if (fileSize < 32 || bytes.size() < 32) return Status::Error("file is too short to be a table");
  DbfHeader h;
  h.version = uint8_t(bytes[0]);
  if (!KnownVersion(h.version)) return Status::Error("not a table (unknown version byte)");
  h.recordCount = Le32(bytes, 4);
  h.headerLength = Le16(bytes, 8);
  h.recordLength = Le16(bytes, 10);
  h.flags = uint8_t(bytes[28]);
  h.raw = std::string(bytes.substr(0, 32));
  if (h.headerLength < 32 + 32 + 1) return Status::Error("table header is too short");
  if (h.headerLength > fileSize) return Status::Error("table file is truncated inside its header");
  if (bytes.size() < h.headerLength) return Status::Error("table header could not be read whole");
  if (h.recordLength < 2) return Status::Error("table record length is invalid");

  uint32_t offset = 1;
  // Descriptors end at the 0x0D, or where no whole descriptor fits before H (some writers end
  // them with another byte).
  for (size_t at = 32; at + 32 <= h.headerLength && bytes[at] != '\x0D'; at += 32) {
    std::string_view d = bytes.substr(at, 32);
    FieldInfo f;
    size_t nameLength = 0;
    while (nameLength < 11 && d[nameLength] != '\0') ++nameLength;
    for (size_t i = 0; i < nameLength; ++i) f.name.push_back(Upper(d[i]));
    f.type = Upper(d[11]);
    f.width = uint8_t(d[16]);
    f.decimals = uint8_t(d[17]);
    if (f.type == 'C' && f.decimals != 0) {  // wide character fields keep the high byte here
      f.width += f.decimals * 256;
      f.decimals = 0;
    }
    if (f.width == 0) return Status::Error("field " + f.name + " has no width");
    f.offset = int(offset);
    offset += uint32_t(f.width);
    if (offset > h.recordLength)
      return Status::Error("field " + f.name + " lies outside the record");
    h.fields.push_back(std::move(f));
  }
  if (h.fields.empty()) return Status::Error("table has no fields");
  if (32 + 32 * h.fields.size() + 1 > h.headerLength)
    return Status::Error("table header is damaged (no room for its terminator)");
  return h;
}

Result<DbfHeader> NewDbfHeader(std::vector<FieldInfo> fields) {
  if (fields.empty()) return Status::Error("a table needs at least one field");
  if (fields.size() > 255) return Status::Error("too many fields");
  DbfHeader h;
  uint32_t offset = 1;
  for (size_t i = 0; i < fields.size(); ++i) {
    FieldInfo& f = fields[i];
    for (char& c : f.name) c = Upper(c);
    f.type = Upper(f.type);
    if (f.name.empty() || f.name.size() > 10)
      return Status::Error("invalid field name: \"" + f.name + "\"");
    for (char c : f.name)
      if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
        return Status::Error("invalid field name: \"" + f.name + "\"");
    if (f.name[0] >= '0' && f.name[0] <= '9')
      return Status::Error("invalid field name: \"" + f.name + "\"");
    for (size_t j = 0; j < i; ++j)
      if (fields[j].name == f.name) return Status::Error("duplicate field name: " + f.name);
    bool ok = false;
    switch (f.type) {
      case 'C':
        ok = f.width >= 1 && f.width <= 254 && f.decimals == 0;
        break;
      case 'N':
      case 'F':
        ok = f.width >= 1 && f.width <= 20 && f.decimals >= 0 &&
             (f.decimals == 0 || f.decimals <= f.width - 2);
        break;
      case 'D':
        ok = (f.width == 8 || f.width == 0) && f.decimals == 0;
        f.width = 8;
        break;
      case 'L':
        ok = (f.width == 1 || f.width == 0) && f.decimals == 0;
        f.width = 1;
        break;
      case 'M':
        ok = (f.width == 10 || f.width == 0) && f.decimals == 0;
        f.width = 10;
        break;
      default:
        ok = false;
    }
    if (!ok) return Status::Error("invalid definition of field " + f.name);
    f.offset = int(offset);
    offset += uint32_t(f.width);
  }
  if (offset > 0xFFFF) return Status::Error("record is too long");
  h.fields = std::move(fields);
  h.version = h.HasMemoFields() ? kDbfFptMemo : kDbfNoMemo;
  h.headerLength = uint32_t(32 * h.fields.size() + 34);
  h.recordLength = offset;
  h.raw.assign(32, '\0');
  return h;
}

std::string EncodeDbfHeader(const DbfHeader& header, int year, int month, int day) {
  std::string b = header.EncodeHead(year, month, day);
  for (const FieldInfo& f : header.fields) {
    std::string d(32, '\0');
    std::memcpy(d.data(), f.name.data(), std::min<size_t>(f.name.size(), 10));
    d[11] = f.type;
    PutLe32(d, 12, uint32_t(f.offset));
    d[16] = char(f.width & 0xFF);
    d[17] = char(f.decimals);
    b += d;
  }
  b += '\x0D';
  b.resize(header.headerLength, '\0');
  return b;
}

}  // namespace xb
