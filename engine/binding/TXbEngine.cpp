#include "TXbEngine.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

namespace {

bool GEngineReady = false;
void* GEngineHandle = nullptr;

std::string ExecutableDir() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (n <= 0) return {};
  std::string exe(path, static_cast<size_t>(n));
  size_t slash = exe.rfind('/');
  return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
}

}  // namespace

TXbEntryTable& XbEntries() {
  static TXbEntryTable table;
  return table;
}

TXbEngine& XbEngine() {
  static TXbEngine engine;
  return engine;
}

TXbEngine::TXbEngine(std::string libraryName, TXbEntryTable* target)
    : FLibraryName(std::move(libraryName)), FTarget(target ? target : &XbEntries()) {}

TXbEngine::~TXbEngine() {
  Unload();
}

bool TXbEngine::Load() {
  if (FLoaded) return true;
  FLoadFailure.clear();
  void* handle = nullptr;
  if (FLibraryName.find('/') == std::string::npos) {
    std::string beside = ExecutableDir() + FLibraryName;
    handle = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  if (!handle) handle = dlopen(FLibraryName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    FLoadFailure = why ? why : "cannot load " + FLibraryName;
    return false;
  }
  // Resolve into a scratch table so that a library lacking an entry leaves the live table as it
  // was instead of half filled with pointers into a library we are about to give up.
  TXbEntryTable resolved;
  bool complete = true;
#define XB_RESOLVE_ENTRY(ret, name, params, neutral)                                         \
  if (complete) {                                                                            \
    resolved.name = reinterpret_cast<ret(*) params>(dlsym(handle, #name));                   \
    if (!resolved.name) {                                                                    \
      complete = false;                                                                      \
      FLoadFailure =                                                                         \
          "Assertion failure (XBENGINE: entry " #name " not found in " + FLibraryName + ")"; \
    }                                                                                        \
  }
  XB_ENTRIES(XB_RESOLVE_ENTRY)
#undef XB_RESOLVE_ENTRY
  if (!complete) {
    dlclose(handle);
    FHandle = nullptr;
    FLoaded = false;
    return false;
  }
  *FTarget = resolved;
  FHandle = handle;
  FLoaded = true;
  FTarget->xb_SetStringType(1);
  return true;
}

void TXbEngine::Unload() {
  if (!FLoaded) return;
  *FTarget = TXbEntryTable();
  dlclose(FHandle);  // a failure to release is of no consequence at this point
  FHandle = nullptr;
  FLoaded = false;
}

void EnsureEngine() {
  if (GEngineReady) return;
  GEngineReady = XbEngine().Load();
  if (GEngineReady) GEngineHandle = XbEngine().Handle();
}

bool EngineReady() {
  return GEngineReady;
}
