#include "TXbAccess.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cstring>

namespace xbaccess {

TXbAccessObserver* GObserver = nullptr;

unsigned RawArguments(const char* name) {
  if (strcmp(name, "xb_PutRecord") == 0) return 1u;
  if (strcmp(name, "xb_PutBlob") == 0) return 2u;
  return 0;
}

void RaiseNotBound(const char* name) {
  throw EXbError(std::string("The engine library libxbengine.so is not loaded (no entry ") + name +
                 ")");
}

void RaiseNoConnection() {
  throw EXbError("No XbConnection specified");
}

}  // namespace xbaccess

TXbAccessObserver* SetXbAccessObserver(TXbAccessObserver* observer) {
  TXbAccessObserver* previous = xbaccess::GObserver;
  xbaccess::GObserver = observer;
  return previous;
}

std::string TXbAccess::FindLocalFile(const std::string& fileName) {
  struct stat st;
  if (stat(fileName.c_str(), &st) == 0) return fileName;
  size_t slash = fileName.find_last_of('/');
  std::string dir = slash == std::string::npos ? "." : fileName.substr(0, slash);
  std::string base = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
  DIR* d = opendir(dir.empty() ? "/" : dir.c_str());
  if (!d) return {};
  std::string found;
  while (dirent* e = readdir(d)) {
    if (strcasecmp(e->d_name, base.c_str()) == 0) {
      found =
          (slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1)) + e->d_name;
      break;
    }
  }
  closedir(d);
  return found;
}

bool TXbAccess::FileExists(const TXbRoute* route, const std::string& databaseName,
                           const std::string& fileName) {
  if (route && route->AccessMethod == amServer) {
    if (!route->Connection) xbaccess::RaiseNoConnection();
    return route->Connection->FileExists(databaseName, fileName);
  }
  return !FindLocalFile(fileName).empty();
}
