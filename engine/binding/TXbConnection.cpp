#include "TXbConnection.h"

#include <algorithm>

TXbConnection::~TXbConnection() {
  ReleaseUsers(false);
}

void TXbConnection::AddUser(TXbConnectionUser* user) {
  if (std::find(FUsers.begin(), FUsers.end(), user) == FUsers.end()) FUsers.push_back(user);
}

void TXbConnection::RemoveUser(TXbConnectionUser* user) {
  FUsers.erase(std::remove(FUsers.begin(), FUsers.end(), user), FUsers.end());
}

void TXbConnection::ReleaseUsers(bool answering) {
  // Each user removes itself while it lets go.
  while (!FUsers.empty()) {
    TXbConnectionUser* user = FUsers.back();
    user->ConnectionRemoved(this, answering);
    RemoveUser(user);
  }
}
