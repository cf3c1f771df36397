// TComponent: the minimal component model the table layer's owner rules and component search
// need: a name, an owner, and the components it owns, in creation order.
//
// An owner does not delete what it owns (C++ code holds its components by value or by smart
// pointer); a component leaves its owner's list when destroyed, and the components of an owner
// that goes away lose their owner. The process-wide screen lists the data modules and forms in
// the order they were created; a form's components may include frames, whose own components
// the search visits one level deep.
#pragma once

#include <string>
#include <vector>

class TComponent {
 public:
  explicit TComponent(TComponent* owner = nullptr);
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  std::string Name;

  TComponent* Owner() const { return FOwner; }
  const std::vector<TComponent*>& Components() const { return FComponents; }
  // Set while the destructor of the most derived class runs (see BeginDestroy).
  bool Destroying() const { return FDestroying; }
  // Called once the owner's resource has been read (a window builds its components, then
  // calls Loaded on each).
  virtual void Loaded() { FLoading = false; }
  bool Loading() const { return FLoading; }
  void SetLoading(bool loading) { FLoading = loading; }

 protected:
  // Derived destructors call this first so that their clean-up can tell it is not a user close.
  void BeginDestroy() { FDestroying = true; }
  // A component the owner holds is about to go away (the table forgets a connection).
  virtual void Notification(TComponent* component) { (void)component; }

 private:
  TComponent* FOwner = nullptr;
  std::vector<TComponent*> FComponents;
  bool FDestroying = false;
  bool FLoading = false;
};

// A frame: a component whose own components the search visits as part of its form.
class TFrame : public TComponent {
 public:
  using TComponent::TComponent;
};

// Data modules and forms register themselves with the screen for as long as they live.
class TDataModule : public TComponent {
 public:
  explicit TDataModule(TComponent* owner = nullptr);
  ~TDataModule() override;
};

class TForm : public TComponent {
 public:
  explicit TForm(TComponent* owner = nullptr);
  ~TForm() override;
};

struct TScreen {
  std::vector<TDataModule*> DataModules;
  std::vector<TForm*> Forms;
};

TScreen& Screen();
