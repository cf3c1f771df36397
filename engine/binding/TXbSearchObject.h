// TXbSearchObject: finds the components of a class across the screen's data modules, then its
// forms (and the frames on them, one level deep). FindFirst starts over; FindNext goes on
// after the last match.
#pragma once

#include <functional>

#include "TComponent.h"

class TXbSearchObject {
 public:
  using TMatch = std::function<bool(TComponent*)>;

  TComponent* FindFirstComponent(const TMatch& isOfClass);
  TComponent* FindNextComponent(const TMatch& isOfClass);

  template <class T>
  T* FindFirst() {
    return static_cast<T*>(FindFirstComponent(IsA<T>));
  }
  template <class T>
  T* FindNext() {
    return static_cast<T*>(FindNextComponent(IsA<T>));
  }

 private:
  template <class T>
  static bool IsA(TComponent* c) {
    return dynamic_cast<T*>(c) != nullptr;
  }

  size_t FModule = 0;
  size_t FModuleComponent = 0;
  size_t FForm = 0;
  size_t FFormComponent = 0;
  size_t FFrameComponent = 0;
};
