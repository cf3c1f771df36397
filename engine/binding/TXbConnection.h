// TXbConnection: what a table with AccessMethod amServer needs of its server connection.
//
// Remote access has no protocol here yet; this is the seam a client would fill. A connection
// answers every engine entry with the entry's own arguments and results (the table's work area
// then lives on the server), checks whether a table file exists there, and knows the tables
// that use it.
#pragma once

#include <string>

#include "xbengine.h"

class TXbConnection {
 public:
  virtual ~TXbConnection() = default;

  virtual bool Connected() const = 0;
  virtual bool FileExists(const std::string& databaseName, const std::string& fileName) = 0;
  virtual void SetDatabaseName(const std::string& name) = 0;
  virtual void RegisterTable(void* table) = 0;
  virtual void UnregisterTable(void* table) = 0;

#define XB_CONNECTION_REQUEST(ret, name, params, neutral) virtual ret name params = 0;
  XB_ENTRIES(XB_CONNECTION_REQUEST)
#undef XB_CONNECTION_REQUEST
};
