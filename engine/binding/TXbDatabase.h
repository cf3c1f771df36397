// TXbDatabase: gives a directory a name that tables may use as their DatabaseName.
#pragma once

#include <string>

#include "TComponent.h"

class TXbDatabase : public TComponent {
 public:
  using TComponent::TComponent;
  std::string DataPath;
  std::string DataPathAlias;
};
