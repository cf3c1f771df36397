// The commands of xbtool. Each source file of the tool registers its own commands with a
// static ToolCommandRegistrar, so a new group of commands (the index commands, say) is one new
// file beside the others and needs no change to main.
//
// xbtool works over the engine's C interface only (xbengine.h), like any other program that
// loads the library.
#pragma once

#include <string>
#include <vector>

namespace xbtool {

// How a command's table is opened before the command runs.
enum class TableAccess {
  kNone,       // the command opens nothing itself (create)
  kReadOnly,   // shared, read only: struct, dump, eval, ...
  kExclusive,  // exclusive (the OS lock keeps other programs out): append, pack, zap, ...
};

struct ToolCommand {
  const char* Name;
  const char* Usage;  // the arguments after the table, as shown in the help text
  int MinArgs;        // arguments after the table
  int MaxArgs;        // -1: no limit
  TableAccess Access;
  // Runs with the table open and selected (unless kNone); returns the process exit code.
  // `args` are the arguments after the table.
  int (*Run)(const std::string& table, const std::vector<std::string>& args);
};

class ToolCommandRegistrar {
 public:
  explicit ToolCommandRegistrar(const ToolCommand& command);
};

const std::vector<ToolCommand>& Commands();

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // the engine refused or the input was bad
constexpr int kExitUsage = 2;   // wrong command line

// Writes "xbtool: <what>" and, when the engine recorded a reason, ": <reason>" to stderr, and
// returns kExitFailed.
int Fail(const std::string& what);

// Writes `bytes` to stdout unchanged.
void Write(const std::string& bytes);

}  // namespace xbtool
