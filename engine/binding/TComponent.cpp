#include "TComponent.h"

#include <algorithm>

TComponent::TComponent(TComponent* owner) : FOwner(owner) {
  if (FOwner) FOwner->FComponents.push_back(this);
}

TComponent::~TComponent() {
  FDestroying = true;
  for (TComponent* c : FComponents) c->FOwner = nullptr;
  if (FOwner) {
    auto& list = FOwner->FComponents;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    for (TComponent* sibling : list) sibling->Notification(this);
  }
}

TScreen& Screen() {
  static TScreen screen;
  return screen;
}

TDataModule::TDataModule(TComponent* owner) : TComponent(owner) {
  Screen().DataModules.push_back(this);
}

TDataModule::~TDataModule() {
  auto& list = Screen().DataModules;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

TForm::TForm(TComponent* owner) : TComponent(owner) {
  Screen().Forms.push_back(this);
}

TForm::~TForm() {
  auto& list = Screen().Forms;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}
