// xbtool's index commands: index, tags, seek, reindex. They act on the table's production
// index file (the table's name with .CDX).
#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "ToolCommand.h"
#include "xbengine.h"

namespace xbtool {
namespace {

std::string WithoutTrailingBlanks(std::string text) {
  size_t end = text.find_last_not_of(' ');
  text.resize(end == std::string::npos ? 0 : end + 1);
  return text;
}

std::string NumberText(double value) {
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return ec == std::errc() ? std::string(buffer, end) : std::string("?");
}

// The day number a date key holds (2000-01-01 is 2451545); 0 for the empty date.
long JulianDay(const std::string& yyyymmdd) {
  int y = 0, m = 0, d = 0;
  if (yyyymmdd.size() != 8 || std::sscanf(yyyymmdd.c_str(), "%4d%2d%2d", &y, &m, &d) != 3) return 0;
  long a = (14 - m) / 12, yy = y + 4800 - a, mm = m + 12 * a - 3;
  return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
}

// index TAG EXPR [--for COND] [--descending] [--unique]
int Index(const std::string&, const std::vector<std::string>& args) {
  std::string condition;
  bool descending = false, unique = false, hasFor = false;
  for (size_t i = 2; i < args.size(); ++i) {
    if (args[i] == "--for" && i + 1 < args.size())
      condition = args[++i], hasFor = true;
    else if (args[i] == "--descending")
      descending = true;
    else if (args[i] == "--unique")
      unique = true;
    else
      return Fail("unknown option \"" + args[i] +
                  "\" (index TAG EXPR [--for COND] [--descending] [--unique])");
  }
  int order = xb_IndexTag(nullptr, args[0].c_str(), args[1].c_str(), unique ? 1 : 0,
                          descending ? -1 : 0, hasFor ? condition.c_str() : nullptr);
  if (order <= 0) return Fail("cannot create tag " + args[0]);
  if (!xb_Commit()) return Fail("cannot commit");
  return kExitOk;
}

// For each tag: its definition, then its entries in order, "RECNO<TAB>KEY".
int Tags(const std::string&, const std::vector<std::string>&) {
  int count = xb_SysProp(XB_PROP_ORDER_COUNT, 0);
  for (int order = 1; order <= count; ++order) {
    if (!xb_SetOrder(order)) return Fail("cannot select order " + std::to_string(order));
    // Each entry's text lives only until the next call: copy it before the next one.
    std::string name = xb_TagName(order);
    std::string key = xb_IndexKey();
    std::string condition = xb_IndexCondition();
    std::string line = "TAG " + name + " KEY " + key + " FOR " + condition;
    if (xb_SysProp(XB_PROP_DESCENDING, 0)) line += " DESCENDING";
    if (xb_IndexType() == 2 || xb_IndexType() == 4) line += " UNIQUE";
    Write(line + "\n");
    int type = xb_EvalTest(key.c_str());
    std::string dateKey = "DTOS(" + key + ")";
    xb_GoTop();
    while (!xb_Eof()) {
      std::string text;
      switch (type) {
        case XB_EXPR_NUMERIC:
          text = NumberText(xb_EvalNumeric(key.c_str()));
          break;
        case XB_EXPR_DATE:
          text = std::to_string(JulianDay(xb_EvalString(dateKey.c_str())));
          break;
        case XB_EXPR_LOGICAL:
          text = xb_EvalLogical(key.c_str()) ? "T" : "F";
          break;
        default:
          text = WithoutTrailingBlanks(xb_EvalString(key.c_str()));
      }
      Write(std::to_string(xb_RecNo()) + "\t" + text + "\n");
      if (!xb_Skip(1) && !xb_Eof())
        return Fail("cannot move in tag " + std::string(xb_TagName(order)));
    }
  }
  return kExitOk;
}

// seek TAG TEXT [--exact] [--soft]: "found RECNO" or "not found RECNO", the record the
// engine is left on.
int Seek(const std::string&, const std::vector<std::string>& args) {
  bool exact = false, soft = false;
  for (size_t i = 2; i < args.size(); ++i) {
    if (args[i] == "--exact")
      exact = true;
    else if (args[i] == "--soft")
      soft = true;
    else
      return Fail("unknown option \"" + args[i] + "\" (seek TAG TEXT [--exact] [--soft])");
  }
  int order = xb_TagArea(args[0].c_str());
  if (order <= 0) return Fail("no tag " + args[0]);
  xb_SetOrder(order);
  xb_SysProp(XB_PROP_EXACT_SET, exact ? 1 : 0);
  xb_SetSoftSeek(soft ? -1 : 0);
  bool found = xb_Seek(args[1].c_str()) != 0;
  Write(std::string(found ? "found " : "not found ") + std::to_string(xb_RecNo()) + "\n");
  return kExitOk;
}

int Reindex(const std::string&, const std::vector<std::string>&) {
  if (!xb_Reindex()) return Fail("cannot rebuild the index");
  if (!xb_Commit()) return Fail("cannot commit");
  return kExitOk;
}

const ToolCommandRegistrar kCommands[] = {
    ToolCommandRegistrar({"index", "TAG EXPR [--for COND] [--descending] [--unique]", 2, -1,
                          TableAccess::kExclusive, Index}),
    ToolCommandRegistrar({"tags", "", 0, 0, TableAccess::kReadOnly, Tags}),
    ToolCommandRegistrar(
        {"seek", "TAG TEXT [--exact] [--soft]", 2, 4, TableAccess::kReadOnly, Seek}),
    ToolCommandRegistrar({"reindex", "", 0, 0, TableAccess::kExclusive, Reindex}),
};

}  // namespace
}  // namespace xbtool
