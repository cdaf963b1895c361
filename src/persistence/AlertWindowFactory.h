#pragma once
// What a page keeps of an alert window: its place, its symbols, whether it comes forward on an alert, and
// for every alert type of the catalogue whether it is on and how its rows look.

#include <string>
#include <vector>

#include "persistence/Factories.h"

namespace tarnwell {

/// One catalogue row's settings in an alert window.
class TCategoryFactory : public TComponent {
 public:
  static constexpr const char* kClassName = "TCategoryFactory";
  /// Named "Anonymous_N" when made outside file reading.
  explicit TCategoryFactory(TComponent* owner = nullptr);
  const char* ClassName() const override { return kClassName; }
  TPublishedProperties Properties() override;

  std::int32_t Foreground = 0;  ///< 0x00BBGGRR
  std::int32_t Background = 0;
  bool AlertEnabled = false;
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
};

class TAlertWindowFactory : public TFormFactory {
 public:
  static constexpr const char* kClassName = "TAlertWindowFactory";
  using TFormFactory::TFormFactory;
  const char* ClassName() const override { return kClassName; }
  TPublishedProperties Properties() override;

  std::vector<std::string> Symbols;
  /// A component list of TCategoryFactory, from the catalogue's last row to its first.
  TComponent* Categories = nullptr;
  bool RaiseOnAlert = false;
};

/// Registers both classes for reading. Idempotent.
void RegisterAlertWindowFactoryClasses();

}  // namespace tarnwell
