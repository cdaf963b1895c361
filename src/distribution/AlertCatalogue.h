#pragma once
// The alert types a user can switch on in an alert window: 180 rows, each naming the registered factory of
// the alert (the internal name), the short code that identifies the type outside the program (the
// `alert_type` of a database row), the name shown to the user, the default look of its rows, the automatic
// window that runs it, and whether it needs the day's history from the start. Row positions are part of the
// contract: an alert window stores its per-row settings by position.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "distribution/AlertMatrix.h"

namespace tarnwell {

/// Which automatic alert window runs a type.
enum TAlertGroup : std::uint8_t { agManualOnly = 0, agVolumeConfirmed = 1, agLowVolume = 2, agMisc = 3 };

/// A colour as the system stores it: 0x00BBGGRR.
using TColor = std::uint32_t;
/// 0x00BBGGRR of a colour written #RRGGBB.
constexpr TColor ColorOfRgb(std::uint32_t rgb) {
  return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

/// An alert category with the look of its rows and its names.
class TVisualAlertCategory : public TAlertCategory {
 public:
  explicit TVisualAlertCategory(TFactoryRef factory) : TAlertCategory(std::move(factory)) {}
  /// A category of its own (its own identity in a matrix) on the source's factory, with the source's look and
  /// short code; the display name stays empty.
  static std::unique_ptr<TVisualAlertCategory> CopyOf(const TVisualAlertCategory& source);

  TColor Foreground = 0;
  TColor Background = 0;
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  std::string ShortName;
  std::string DisplayName;
};

/// One row of the catalogue as written in the program: everything but the factory.
struct TAlertTypeRow {
  const char* InternalName;
  const char* ShortName;
  const char* DisplayName;
  std::uint32_t ForegroundRgb;
  std::uint32_t BackgroundRgb;
  std::uint8_t Style;  ///< kBold | kItalic | kUnderline
  TAlertGroup Group;
  bool LateStart;

  static constexpr std::uint8_t kBold = 1, kItalic = 2, kUnderline = 4;
};

/// The 180 rows in their order. Any thread; needs no registered factory.
std::span<const TAlertTypeRow> AlertTypeRows();
/// The row of an internal name, or null.
const TAlertTypeRow* FindAlertTypeRow(std::string_view internalName);

struct TAlertTypeEntry {
  std::unique_ptr<TVisualAlertCategory> Category;  ///< owned by the catalogue
  TAlertGroup Group = agMisc;
  bool LateStart = false;
};
using TAllAlertTypes = std::vector<TAlertTypeEntry>;

/// The catalogue, built on first use with the registered factories and shared afterwards. A row whose factory
/// is not registered fails "Cannot find factory:  "name"" (every alert type registers at start-up). Any
/// thread.
const TAllAlertTypes& GetAllAlertTypes();

}  // namespace tarnwell
