#include "Engine.h"

namespace xb {
namespace {

thread_local std::string tLastError;

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = char(c - 32);
  return s;
}

}  // namespace

void SetLastError(std::string text) {
  tLastError = std::move(text);
}
const std::string& LastError() {
  return tLastError;
}

namespace detail {
Engine gEngine;
}

Result<int> Engine::Use(const std::string& path, const std::string& alias, AccessMode mode,
                        CommitLevel level) {
  if (!alias.empty() && FindAlias(alias) != 0)
    return Status::Error("alias is already in use: " + Upper(alias));
  auto area = WorkArea::Open(path, alias, mode, level);
  if (!area) return area.status();
  if (alias.empty() && FindAlias((*area)->AliasName()) != 0)
    return Status::Error("alias is already in use: " + (*area)->AliasName());
  size_t slot = 0;
  while (slot < FAreas.size() && FAreas[slot]) ++slot;
  if (slot == FAreas.size()) FAreas.emplace_back();
  FAreas[slot] = std::move(*area);
  FCurrent = int(slot) + 1;
  FCurrentArea = FAreas[slot].get();
  return FCurrent;
}

WorkArea* Engine::Area(int number) {
  if (number < 1 || size_t(number) > FAreas.size()) return nullptr;
  return FAreas[size_t(number) - 1].get();
}

int Engine::Select(int number) {
  int previous = FCurrent;
  FCurrentArea = Area(number);
  FCurrent = FCurrentArea ? number : 0;
  return previous;
}

int Engine::FindAlias(const std::string& alias) const {
  std::string wanted = Upper(alias);
  while (!wanted.empty() && wanted.back() == ' ') wanted.pop_back();
  for (size_t i = 0; i < FAreas.size(); ++i)
    if (FAreas[i] && FAreas[i]->AliasName() == wanted) return int(i) + 1;
  return 0;
}

Status Engine::CloseCurrent() {
  WorkArea* area = Current();
  if (!area) return Status::Error("no work area is selected");
  Status s = area->Close();
  FAreas[size_t(FCurrent) - 1].reset();
  FCurrentArea = nullptr;
  return s;
}

}  // namespace xb
