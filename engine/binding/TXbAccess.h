// The access layer: every engine operation of a table component passes through here.
//
// Each operation takes the caller's route (how its table reaches the engine), then the entry's
// own arguments in the entry's order, and returns the entry's result. A route with amServer
// goes to the route's connection; any other goes to the process-wide entry table. A local call
// that finds no bound entry (the library missing or incomplete) raises EXbError instead of
// calling through a null pointer; a server route without a connection raises "No XbConnection
// specified".
//
// An observer (tests record call sequences with one) sees each call, with its arguments as
// text, just before it is made.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

#include "EXbError.h"
#include "TXbConnection.h"
#include "TXbEngine.h"

enum TAccessMethod { amLocal, amServer };

struct TXbRoute {
  TAccessMethod AccessMethod = amLocal;
  TXbConnection* Connection = nullptr;
};

class TXbAccessObserver {
 public:
  virtual ~TXbAccessObserver() = default;
  // name: the entry; args: its arguments as text, separated by ", ", texts in double quotes.
  virtual void Called(const char* name, const std::string& args) = 0;
};

namespace xbaccess {

extern TXbAccessObserver* GObserver;

// raw: the text is a byte block without a terminating NUL (a record image, blob data).
inline void AppendArg(std::string& out, const char* text, bool raw = false) {
  if (!out.empty()) out += ", ";
  if (raw) {
    out += "data";
  } else if (!text) {
    out += "NULL";
  } else {
    out += '"';
    out += text;
    out += '"';
  }
}
inline void AppendArg(std::string& out, char*, bool = false) {
  out += out.empty() ? "buffer" : ", buffer";
}
inline void AppendArg(std::string& out, void*, bool = false) {
  out += out.empty() ? "memory" : ", memory";
}
template <typename T>
requires std::is_arithmetic_v<T>
inline void AppendArg(std::string& out, T value, bool = false) {
  if (!out.empty()) out += ", ";
  out += std::to_string(value);
}

// Bit i set: argument i is a raw byte block.
unsigned RawArguments(const char* name);

template <typename... A>
void Notify(const char* name, const A&... args) {
  std::string text;
  unsigned raw = RawArguments(name);
  unsigned index = 0;
  ((AppendArg(text, args, (raw >> index) & 1u), ++index), ...);
  GObserver->Called(name, text);
}

[[noreturn]] void RaiseNotBound(const char* name);
[[noreturn]] void RaiseNoConnection();

template <typename R, typename... P>
inline R Invoke(const TXbRoute* route, const char* name, R (*entry)(P...),
                R (TXbConnection::*request)(P...), P... args) {
  if (GObserver) Notify(name, args...);
  if (route && route->AccessMethod == amServer) {
    if (!route->Connection) RaiseNoConnection();
    return (route->Connection->*request)(args...);
  }
  if (!entry) RaiseNotBound(name);
  return entry(args...);
}

// Converts the caller's arguments to the entry's parameter types first, so that what an
// observer sees and what the entry receives are the same values.
template <typename R, typename... P, typename... A>
inline R Call(const TXbRoute* route, const char* name, R (*entry)(P...),
              R (TXbConnection::*request)(P...), A... args) {
  static_assert(sizeof...(P) == sizeof...(A), "wrong number of arguments for an engine entry");
  return Invoke<R, P...>(route, name, entry, request, static_cast<P>(args)...);
}

}  // namespace xbaccess

// TXbAccess::xb_Name(route, args...) for every entry of XB_ENTRIES.
struct TXbAccess {
#define XB_ACCESS_OPERATION(ret, name, params, neutral)                                   \
  template <typename... A>                                                                \
  static ret name(const TXbRoute* route, A... args) {                                     \
    return xbaccess::Call(route, #name, XbEntries().name, &TXbConnection::name, args...); \
  }
  XB_ENTRIES(XB_ACCESS_OPERATION)
#undef XB_ACCESS_OPERATION

  // xb_SysProp's local branch makes the engine ready first.
  static int32_t SysProp(const TXbRoute* route, int32_t code, int32_t value) {
    if (!route || route->AccessMethod != amServer) EnsureEngine();
    return xb_SysProp(route, code, value);
  }

  // Whether a table file exists: the file system for a local table (a name differing only in
  // case counts, as files copied from other systems keep their spelling), the connection for a
  // server one.
  static bool FileExists(const TXbRoute* route, const std::string& databaseName,
                         const std::string& fileName);
  // The local file's name as it is on disk (exact, else the one entry of its directory that
  // differs only in case), or empty.
  static std::string FindLocalFile(const std::string& fileName);
};

// Installs an observer (nullptr removes it); returns the previous one.
TXbAccessObserver* SetXbAccessObserver(TXbAccessObserver* observer);
