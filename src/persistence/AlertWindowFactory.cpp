#include "persistence/AlertWindowFactory.h"

namespace tarnwell {

TCategoryFactory::TCategoryFactory(TComponent* owner) : TComponent(owner) { NameAnonymously(*this); }

TPublishedProperties TCategoryFactory::Properties() {
  return {IntegerProperty("Foreground", Foreground, std::nullopt),
          IntegerProperty("Background", Background, std::nullopt),
          BooleanProperty("AlertEnabled", AlertEnabled, false),
          BooleanProperty("Bold", Bold, false),
          BooleanProperty("Italic", Italic, false),
          BooleanProperty("Underline", Underline, false)};
}

TPublishedProperties TAlertWindowFactory::Properties() {
  TPublishedProperties properties = TFormFactory::Properties();
  properties.push_back(StringListProperty("Symbols", Symbols));
  properties.push_back(ReferenceProperty("Categories", Categories));
  properties.push_back(BooleanProperty("RaiseOnAlert", RaiseOnAlert, false));
  return properties;
}

void RegisterAlertWindowFactoryClasses() {
  RegisterComponentClass<TCategoryFactory>();
  RegisterComponentClass<TAlertWindowFactory>();
}

}  // namespace tarnwell
