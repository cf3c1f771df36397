#include "TXbSearchObject.h"

TComponent* TXbSearchObject::FindFirstComponent(const TMatch& isOfClass) {
  FModule = FModuleComponent = FForm = FFormComponent = FFrameComponent = 0;
  return FindNextComponent(isOfClass);
}

TComponent* TXbSearchObject::FindNextComponent(const TMatch& isOfClass) {
  auto& modules = Screen().DataModules;
  for (; FModule < modules.size(); ++FModule) {
    const auto& list = modules[FModule]->Components();
    for (; FModuleComponent < list.size(); ++FModuleComponent) {
      if (isOfClass(list[FModuleComponent])) return list[FModuleComponent++];
    }
    FModuleComponent = 0;
  }
  auto& forms = Screen().Forms;
  for (; FForm < forms.size(); ++FForm) {
    const auto& list = forms[FForm]->Components();
    for (; FFormComponent < list.size(); ++FFormComponent) {
      TComponent* c = list[FFormComponent];
      if (dynamic_cast<TFrame*>(c)) {
        const auto& inner = c->Components();
        for (; FFrameComponent < inner.size(); ++FFrameComponent) {
          if (isOfClass(inner[FFrameComponent])) return inner[FFrameComponent++];
        }
        FFrameComponent = 0;
      }
      // A frame is itself a component of the form and may be what is looked for; its own
      // components come first, so the frame matches once they are exhausted.
      if (isOfClass(c)) return list[FFormComponent++];
    }
    FFormComponent = 0;
  }
  return nullptr;
}
