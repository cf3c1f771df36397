// TXbEngine: binds libxbengine.so at run time.
//
// The library is looked up next to the running executable first (the directory of
// /proc/self/exe), then on the default search path. Every entry of XB_ENTRIES is resolved by
// name; only when all of them resolve does the binding count as loaded and its table become
// usable. A missing library or entry makes Load return false without a message: callers learn
// of it only when an operation finds no entry (the access layer then raises EXbError).
#pragma once

#include <string>

#include "xbengine.h"

// One slot per entry of the C interface, in the order of XB_ENTRIES; all null until a load
// succeeds.
struct TXbEntryTable {
#define XB_ENTRY_SLOT(ret, name, params, neutral) ret(*name) params = nullptr;
  XB_ENTRIES(XB_ENTRY_SLOT)
#undef XB_ENTRY_SLOT
};

class TXbEngine {
 public:
  // libraryName: the file looked up; target: the table filled on success (the process-wide
  // one unless a test gives its own).
  explicit TXbEngine(std::string libraryName = "libxbengine.so", TXbEntryTable* target = nullptr);
  ~TXbEngine();  // Unload
  TXbEngine(const TXbEngine&) = delete;
  TXbEngine& operator=(const TXbEngine&) = delete;

  // True when the library is loaded and every entry resolved. Calls xb_SetStringType(1) after
  // a successful first load. A second call after a success does nothing.
  bool Load();
  // Releases the library (only when loaded) and empties the target table.
  void Unload();

  bool Loaded() const { return FLoaded; }
  void* Handle() const { return FHandle; }
  // Why the last load failed, for diagnostics: empty after a success or before any load.
  const std::string& LoadFailure() const { return FLoadFailure; }

 private:
  std::string FLibraryName;
  TXbEntryTable* FTarget;
  bool FLoaded = false;
  void* FHandle = nullptr;
  std::string FLoadFailure;
};

// The process-wide entry table every local access goes through.
TXbEntryTable& XbEntries();
// The one binding object of the process.
TXbEngine& XbEngine();
// Makes sure the library is loaded; a failed load leaves the engine not ready, so the next call
// tries again. Never reports the outcome (see EngineReady).
void EnsureEngine();
bool EngineReady();
