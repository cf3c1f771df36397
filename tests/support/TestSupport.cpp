#include "TestSupport.h"

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace xbtest {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "xbtest-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  FPath = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(FPath, ec);
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadText(const std::string& path) {
  auto bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

void WriteText(const std::string& path, const std::string& text) {
  WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::string FixturesDir() {
  if (const char* env = std::getenv("XB_FIXTURES_DIR")) return env;
  return XB_FIXTURES_DIR;
}

std::string CopyFixture(const std::string& relative, const std::string& dir) {
  std::filesystem::path from = std::filesystem::path(FixturesDir()) / relative;
  std::filesystem::path to = std::filesystem::path(dir) / from.filename();
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(
      to, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
      std::filesystem::perm_options::add);
  return to.string();
}

bool CompileLocale(const std::string& dir, const std::string& name) {
  if (std::system("command -v localedef >/dev/null 2>&1") != 0 ||
      !std::filesystem::exists("/usr/share/i18n/locales/" + name))
    return false;
  const std::string target = dir + "/" + name + ".UTF-8";
  const std::string command =
      "localedef -c -i " + name + " -f UTF-8 " + target + " >/dev/null 2>&1";
  (void)std::system(command.c_str());
  return std::filesystem::exists(target);
}

ScopedProcessLocale::ScopedProcessLocale(const std::string& dir, const std::string& name) {
  if (const char* old = std::getenv("LOCPATH")) {
    FHadPath = true;
    FOldPath = old;
  }
  if (!CompileLocale(dir, name)) return;
  setenv("LOCPATH", dir.c_str(), 1);
  FActive = std::setlocale(LC_ALL, (name + ".UTF-8").c_str()) != nullptr;
}

ScopedProcessLocale::~ScopedProcessLocale() {
  std::setlocale(LC_ALL, "C");
  if (FHadPath)
    setenv("LOCPATH", FOldPath.c_str(), 1);
  else
    unsetenv("LOCPATH");
}

}  // namespace xbtest
