#include "TListFile.h"

#include <strings.h>

#include <fstream>
#include <sstream>

#include "TField.h"

namespace {

bool IsHeader(const std::vector<std::string>& values, const std::vector<std::string>& header) {
  if (values.size() != header.size()) return false;
  for (size_t i = 0; i < values.size(); ++i)
    if (strcasecmp(values[i].c_str(), header[i].c_str()) != 0) return false;
  return true;
}

}  // namespace

std::vector<std::string> TListFile::Header() const {
  std::vector<std::string> names;
  for (TField* f : FTable.Fields()) names.push_back(f->FieldName);
  return names;
}

bool TListFile::SplitLine(const std::string& line, std::vector<std::string>& values) {
  values.clear();
  std::string value;
  size_t i = 0;
  while (true) {
    value.clear();
    if (i < line.size() && line[i] == '"') {
      ++i;
      while (true) {
        if (i >= line.size()) return false;
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            value += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        value += line[i++];
      }
      // Anything between the closing quote and the comma belongs to the value, as typed.
      while (i < line.size() && line[i] != ',') value += line[i++];
    } else {
      while (i < line.size() && line[i] != ',') value += line[i++];
    }
    values.push_back(value);
    if (i >= line.size()) return true;
    ++i;  // the comma
  }
}

std::string TListFile::QuoteValue(const std::string& value) {
  std::string quoted = "\"";
  for (char c : value) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

TListFile::TImportResult TListFile::ImportText(const std::string& text) {
  TImportResult result;
  const std::vector<std::string> header = Header();
  const std::vector<TField*>& fields = FTable.Fields();
  std::istringstream in(text);
  std::string line;
  std::vector<std::string> values;
  int32_t number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (!SplitLine(line, values)) {
      result.Rejected.push_back({number, "a quote is not closed"});
      continue;
    }
    if (number == 1 && IsHeader(values, header)) continue;
    if (values.size() != fields.size()) {
      result.Rejected.push_back({number, std::to_string(fields.size()) + " values expected, " +
                                             std::to_string(values.size()) + " found"});
      continue;
    }
    std::string tooLong;
    for (size_t i = 0; i < fields.size() && tooLong.empty(); ++i)
      if (static_cast<int32_t>(values[i].size()) > fields[i]->Size())
        tooLong = fields[i]->FieldName + " is longer than " + std::to_string(fields[i]->Size()) +
                  " characters";
    if (!tooLong.empty()) {
      result.Rejected.push_back({number, tooLong});
      continue;
    }
    FTable.AppendBlank();
    for (size_t i = 0; i < fields.size(); ++i) fields[i]->SetAsString(values[i]);
    FTable.Post();
    ++result.Taken;
  }
  return result;
}

bool TListFile::ImportFile(const std::string& fileName, TImportResult& result) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  result = ImportText(text.str());
  return true;
}

std::vector<std::vector<std::string>> TListFile::Rows() {
  std::vector<std::vector<std::string>> rows;
  FTable.GoTop();
  while (!FTable.Eof()) {
    std::vector<std::string> row;
    for (TField* f : FTable.Fields()) row.push_back(f->AsString());
    rows.push_back(std::move(row));
    FTable.Skip(1);
  }
  FTable.GoTop();
  return rows;
}

std::string TListFile::ExportText() {
  std::string text;
  const std::vector<std::string> header = Header();
  for (size_t i = 0; i < header.size(); ++i) {
    if (i) text += ',';
    text += header[i];
  }
  text += '\n';
  for (const auto& row : Rows()) {
    for (size_t i = 0; i < row.size(); ++i) {
      if (i) text += ',';
      text += QuoteValue(row[i]);
    }
    text += '\n';
  }
  return text;
}

bool TListFile::ExportFile(const std::string& fileName) {
  std::string text = ExportText();
  std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  return static_cast<bool>(out);
}
