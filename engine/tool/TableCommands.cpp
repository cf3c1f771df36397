// xbtool's table commands: create, struct, dump, append, delete, replace, pack, zap, eval.
#include <charconv>
#include <cstdlib>
#include <string>
#include <vector>

#include "ToolCommand.h"
#include "xbengine.h"

namespace xbtool {
namespace {

struct Field {
  std::string Name;
  std::string Type;
  int Width;
  int Decimals;
};

std::vector<Field> Fields() {
  std::vector<Field> fields;
  int count = xb_FieldCount();
  for (int i = 1; i <= count; ++i) {
    Field f;
    f.Name = xb_FieldName(i);
    f.Type = xb_FieldType(f.Name.c_str());
    f.Width = xb_FieldWidth(f.Name.c_str());
    f.Decimals = xb_FieldDecimals(f.Name.c_str());
    fields.push_back(std::move(f));
  }
  return fields;
}

std::string Quoted(const std::string& value) {
  std::string out = "\"";
  for (char c : value) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

std::string WithoutTrailingBlanks(std::string text) {
  size_t end = text.find_last_not_of(' ');
  text.resize(end == std::string::npos ? 0 : end + 1);
  return text;
}

// A memo's bytes, all of them (a memo may hold any byte, NUL included).
std::string MemoText(const std::string& field) {
  int32_t length = xb_GetBlobLength(field.c_str());
  if (length <= 0) return "";
  std::string buffer(static_cast<size_t>(length) + 1, '\0');
  int32_t got = xb_GetBlob(field.c_str(), buffer.data());
  buffer.resize(got > 0 && got <= length ? static_cast<size_t>(got) : static_cast<size_t>(length));
  return buffer;
}

bool ParseRecNo(const std::string& text, int32_t& recno) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), recno);
  return ec == std::errc() && end == text.data() + text.size() && recno > 0;
}

// Moves to record `recno`, failing in words when the table has no such record.
bool GoTo(int32_t recno) {
  return recno <= xb_RecCount() && xb_Go(recno) && xb_RecNo() == recno;
}

int Create(const std::string& table, const std::vector<std::string>& args) {
  if (!xb_CreateTable(table.c_str(), args[0].c_str())) return Fail("cannot create " + table);
  return kExitOk;
}

int Struct(const std::string&, const std::vector<std::string>&) {
  std::string out;
  for (const Field& f : Fields())
    out += f.Name + " " + f.Type + " " + std::to_string(f.Width) + " " +
           std::to_string(f.Decimals) + "\n";
  Write(out);
  return kExitOk;
}

// Every value in double quotes, CR LF line ends; record order whatever the controlling order.
int Dump(const std::string&, const std::vector<std::string>&) {
  std::vector<Field> fields = Fields();
  std::string line = "\"RECNO\",\"DELETED\"";
  for (const Field& f : fields) {
    line += ',';
    line += Quoted(f.Name);
  }
  line += "\r\n";
  Write(line);
  int32_t count = xb_RecCount();
  for (int32_t recno = 1; recno <= count; ++recno) {
    if (!GoTo(recno)) return Fail(std::string("cannot read record ") += std::to_string(recno));
    line = Quoted(std::to_string(recno)) + "," + Quoted(xb_Deleted() ? "*" : "");
    for (const Field& f : fields) {
      std::string value =
          f.Type == "M" ? MemoText(f.Name) : WithoutTrailingBlanks(xb_GetString(f.Name.c_str()));
      line += ',';
      line += Quoted(value);
    }
    line += "\r\n";
    Write(line);
  }
  return kExitOk;
}

int Append(const std::string& table, const std::vector<std::string>& args) {
  if (!xb_AppendFrom(args[0].c_str(), XB_SOURCE_DELIMITED, ""))
    return Fail("cannot append " + args[0] + " to " + table);
  if (!xb_Commit()) return Fail("cannot commit " + table);
  return kExitOk;
}

int Delete(const std::string& table, const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    int32_t recno = 0;
    if (!ParseRecNo(arg, recno)) return Fail("not a record number: \"" + arg + "\"");
    if (!GoTo(recno)) return Fail("no record " + arg + " in " + table);
    if (!xb_Delete()) return Fail("cannot delete record " + arg);
  }
  if (!xb_Commit()) return Fail("cannot commit " + table);
  return kExitOk;
}

// Memo fields take the text as their memo; other fields take it as their stored text.
int Replace(const std::string& table, const std::vector<std::string>& args) {
  int32_t recno = 0;
  if (!ParseRecNo(args[0], recno)) return Fail("not a record number: \"" + args[0] + "\"");
  if (!GoTo(recno)) return Fail("no record " + args[0] + " in " + table);
  std::string type = xb_FieldType(args[1].c_str());
  if (type.empty()) return Fail("no field " + args[1] + " in " + table);
  int32_t valueType = type == "M" ? XB_REPLACE_MEMO : 0;
  if (!xb_Replace(args[1].c_str(), valueType, args[2].c_str()))
    return Fail("cannot replace " + args[1] + " of record " + args[0]);
  if (!xb_Commit()) return Fail("cannot commit " + table);
  return kExitOk;
}

int Pack(const std::string& table, const std::vector<std::string>&) {
  if (!xb_Pack()) return Fail("cannot pack " + table);
  return kExitOk;
}

int Zap(const std::string& table, const std::vector<std::string>&) {
  if (!xb_Zap()) return Fail("cannot zap " + table);
  return kExitOk;
}

std::string NumberText(double value) {
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return ec == std::errc() ? std::string(buffer, end) : std::string("?");
}

// One line per record in record order: character and date values as the engine gives them,
// numbers in their shortest exact form, logicals as T or F.
int Eval(const std::string&, const std::vector<std::string>& args) {
  const char* expression = args[0].c_str();
  xb_GoTop();
  int type = xb_EvalTest(expression);
  if (type == XB_EXPR_INVALID) return Fail("invalid expression \"" + args[0] + "\"");
  int32_t count = xb_RecCount();
  for (int32_t recno = 1; recno <= count; ++recno) {
    if (!GoTo(recno)) return Fail(std::string("cannot read record ") += std::to_string(recno));
    std::string value;
    switch (type) {
      case XB_EXPR_NUMERIC:
        value = NumberText(xb_EvalNumeric(expression));
        break;
      case XB_EXPR_LOGICAL:
        value.assign(1, xb_EvalLogical(expression) ? 'T' : 'F');
        break;
      default:
        value = xb_EvalString(expression);
        break;
    }
    Write(value + "\n");
  }
  return kExitOk;
}

const ToolCommandRegistrar kCommands[] = {
    ToolCommandRegistrar(
        {"create", "\"NAME,TYPE,WIDTH,DECIMALS;...\"", 1, 1, TableAccess::kNone, Create}),
    ToolCommandRegistrar({"struct", "", 0, 0, TableAccess::kReadOnly, Struct}),
    ToolCommandRegistrar({"dump", "", 0, 0, TableAccess::kReadOnly, Dump}),
    ToolCommandRegistrar({"append", "FILE", 1, 1, TableAccess::kExclusive, Append}),
    ToolCommandRegistrar({"delete", "RECNO...", 1, -1, TableAccess::kExclusive, Delete}),
    ToolCommandRegistrar({"replace", "RECNO FIELD VALUE", 3, 3, TableAccess::kExclusive, Replace}),
    ToolCommandRegistrar({"pack", "", 0, 0, TableAccess::kExclusive, Pack}),
    ToolCommandRegistrar({"zap", "", 0, 0, TableAccess::kExclusive, Zap}),
    ToolCommandRegistrar({"eval", "EXPR", 1, 1, TableAccess::kReadOnly, Eval}),
    // The index commands (index, tags, seek, reindex) live in their own file beside this one.
};

}  // namespace
}  // namespace xbtool
