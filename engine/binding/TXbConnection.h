// TXbConnection: what a table with AccessMethod amServer needs of its server connection.
//
// Remote access has no protocol here yet; this is the seam a client would fill. A connection
// answers every engine entry with the entry's own arguments and results (the table's work area
// then lives on the server), checks whether a table file exists there, and knows the tables
// that use it.
//
// A connection is a component. When it goes away every table that uses it is closed and lets
// go of it: a derived destructor calls ReleaseUsers first, while the connection still answers,
// so that the tables close their work areas through it. The base destructor releases whatever
// is left without calling through (the work areas behind it are gone with it).
#pragma once

#include <string>
#include <vector>

#include "TComponent.h"
#include "xbengine.h"

class TXbConnection;

// What a table using a connection hears when the connection goes.
class TXbConnectionUser {
 public:
  virtual ~TXbConnectionUser() = default;
  // answering: the connection can still take requests (the table closes its work area there).
  virtual void ConnectionRemoved(TXbConnection* connection, bool answering) = 0;
};

class TXbConnection : public TComponent {
 public:
  explicit TXbConnection(TComponent* owner = nullptr) : TComponent(owner) {}
  ~TXbConnection() override;

  virtual bool Connected() const = 0;
  virtual bool FileExists(const std::string& databaseName, const std::string& fileName) = 0;
  virtual void SetDatabaseName(const std::string& name) = 0;
  virtual void RegisterTable(void* table) = 0;
  virtual void UnregisterTable(void* table) = 0;

  void AddUser(TXbConnectionUser* user);
  void RemoveUser(TXbConnectionUser* user);
  // Closes every table that uses the connection and makes it let go.
  void ReleaseUsers(bool answering = true);

#define XB_CONNECTION_REQUEST(ret, name, params, neutral) virtual ret name params = 0;
  XB_ENTRIES(XB_CONNECTION_REQUEST)
#undef XB_CONNECTION_REQUEST

 private:
  std::vector<TXbConnectionUser*> FUsers;
};
