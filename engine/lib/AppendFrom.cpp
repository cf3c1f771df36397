#include "AppendFrom.h"

#include <cstring>

#include "dbf/FieldText.h"
#include "delim/DelimitedReader.h"

namespace xb {
namespace {

std::string_view Trim(std::string_view t) {
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
  return t;
}

// Stores one cell into `field` of `record` (which is blank).
void StoreCell(const FieldInfo& field, std::string_view cell, char* record) {
  char* at = record + field.offset;
  const size_t width = size_t(field.width);
  switch (field.type) {
    case 'C':
      std::memcpy(at, cell.data(), std::min(cell.size(), width));
      return;
    case 'N':
    case 'F': {
      std::string_view t = Trim(cell);
      if (t.empty() || t.size() > 64) return;
      if (FormatDecimalText(t, field.width, field.decimals, at)) return;
      // Exponents and the like: through the value.
      std::optional<double> v = ReadNumber(t);
      if (!v) return;
      auto text = FormatNumber(*v, field.width, field.decimals);
      if (text) std::memcpy(at, text->data(), width);
      return;
    }
    case 'D': {
      std::string d = NormalizeDate(Trim(cell));
      if (Trim(cell).size() == 8) std::memcpy(at, d.data(), 8);
      return;
    }
    case 'L': {
      std::string_view t = Trim(cell);
      if (t.empty()) return;
      char c = t[0];
      if (c == 'T' || c == 't' || c == 'Y' || c == 'y')
        *at = 'T';
      else if (c == 'F' || c == 'f' || c == 'N' || c == 'n')
        *at = 'F';
      return;
    }
    default:
      return;
  }
}

}  // namespace

Result<uint32_t> AppendDelimited(WorkArea& area, const std::string& path,
                                 const Expression* condition) {
  DbfTable& table = area.Table();
  if (table.ReadOnly()) return Status::Error("table is read-only");
  auto file = CurrentFileSystem().Open(path, OpenMode::kRead);
  if (!file) return file.status();
  // Earlier appends are committed first, so a failure here drops only this file's records.
  if (Status s = area.Commit(); !s) return s;
  const uint32_t before = table.Count();
  const auto& fields = table.Fields();
  std::string record(table.RecordLength(), ' ');
  uint32_t appended = 0;
  Status status = ReadDelimited(**file, [&](const std::vector<std::string_view>& cells) {
    std::memset(record.data(), ' ', record.size());
    size_t n = std::min(cells.size(), fields.size());
    for (size_t i = 0; i < n; ++i) StoreCell(fields[i], cells[i], record.data());
    if (condition) {
      auto context = area.ContextFor(table.Count() + 1, record);
      Value v = condition->Evaluate(*context);
      if (!(v.type == ValueType::kLogical && v.logical)) return Status::Ok();
    }
    ++appended;
    return area.AppendRecord(record);
  });
  if (!status) {
    Status dropped = area.DropAppends(before);
    return dropped ? status : dropped;
  }
  if (Status s = area.Commit(); !s) {
    // Nothing of this file stays behind unless its count already reached the file.
    (void)area.DropAppends(before);
    return s;
  }
  if (appended > 0) {
    if (Status s = area.Go(table.Count()); !s) return s;
  }
  return appended;
}

}  // namespace xb
