// Helpers shared by the engine tests: temporary directories and file bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace xbtest {

// A fresh directory under the system's temporary directory, removed with its contents when
// the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return FPath; }
  std::string File(const std::string& name) const { return FPath + "/" + name; }

 private:
  std::string FPath;
};

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);
// The directory of the shared fixtures (peer-xbase/, foxpro/).
std::string FixturesDir();
// Copies a fixture file into `dir` and returns the copy's path.
std::string CopyFixture(const std::string& relative, const std::string& dir);

// Debian ships only the C locales by default: compiles the locale sources of `name` (such as
// "de_DE") into `dir` as `name`.UTF-8, to be found through LOCPATH. False when localedef or the
// sources are missing (the caller skips).
bool CompileLocale(const std::string& dir, const std::string& name);

// Compiles `name` into `dir` and makes it the process locale (all categories) for the object's
// lifetime; the C locale and LOCPATH are put back after. Active() is false when the locale could
// not be compiled or set (the caller skips).
class ScopedProcessLocale {
 public:
  ScopedProcessLocale(const std::string& dir, const std::string& name);
  ~ScopedProcessLocale();
  ScopedProcessLocale(const ScopedProcessLocale&) = delete;
  ScopedProcessLocale& operator=(const ScopedProcessLocale&) = delete;
  bool Active() const { return FActive; }

 private:
  bool FActive = false;
  bool FHadPath = false;
  std::string FOldPath;
};

}  // namespace xbtest
