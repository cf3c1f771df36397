// xbtool: a small command-line front end to the engine, for users and for tests.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ToolCommand.h"
#include "xbengine.h"

namespace xbtool {
namespace {

std::vector<ToolCommand>& Registry() {
  static std::vector<ToolCommand> commands;
  return commands;
}

void PrintUsage(FILE* out) {
  std::fprintf(out, "usage: xbtool COMMAND TABLE [ARGUMENTS]\ncommands:\n");
  for (const ToolCommand& c : Commands()) std::fprintf(out, "  xbtool %s T %s\n", c.Name, c.Usage);
}

// The alias a table opens under: its file name without directory and extension.
std::string AliasOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name.empty() ? "T" : name;
}

}  // namespace

ToolCommandRegistrar::ToolCommandRegistrar(const ToolCommand& command) {
  Registry().push_back(command);
}

const std::vector<ToolCommand>& Commands() {
  return Registry();
}

int Fail(const std::string& what) {
  std::string reason = xb_ErrorText();
  if (reason.empty())
    std::fprintf(stderr, "xbtool: %s\n", what.c_str());
  else
    std::fprintf(stderr, "xbtool: %s: %s\n", what.c_str(), reason.c_str());
  return kExitFailed;
}

void Write(const std::string& bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

}  // namespace xbtool

int main(int argc, char** argv) {
  using namespace xbtool;
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0) {
    PrintUsage(argc < 2 ? stderr : stdout);
    return argc < 2 ? kExitUsage : kExitOk;
  }
  const ToolCommand* command = nullptr;
  for (const ToolCommand& c : Commands())
    if (std::strcmp(c.Name, argv[1]) == 0) command = &c;
  if (!command) {
    std::fprintf(stderr, "xbtool: unknown command \"%s\"\n", argv[1]);
    PrintUsage(stderr);
    return kExitUsage;
  }
  int extra = argc - 3;
  if (argc < 3 || extra < command->MinArgs || (command->MaxArgs >= 0 && extra > command->MaxArgs)) {
    std::fprintf(stderr, "usage: xbtool %s T %s\n", command->Name, command->Usage);
    return kExitUsage;
  }
  std::string table = argv[2];
  std::vector<std::string> args(argv + 3, argv + argc);
  if (command->Access == TableAccess::kNone) return command->Run(table, args);

  int mode = command->Access == TableAccess::kExclusive ? XB_OPEN_EXCLUSIVE : XB_OPEN_READONLY;
  if (xb_UseEx(table.c_str(), AliasOf(table).c_str(), mode, XB_DRIVER_CDX, XB_COMMIT_NORMAL) <= 0)
    return Fail("cannot open " + table);
  int code = command->Run(table, args);
  if (std::fflush(stdout) != 0 && code == kExitOk) {
    std::fprintf(stderr, "xbtool: cannot write the output\n");
    code = kExitFailed;
  }
  if (!xb_Close() && code == kExitOk) code = Fail("cannot close " + table);
  return code;
}
