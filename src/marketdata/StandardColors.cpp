#include "marketdata/StandardColors.h"

#include <memory>
#include <typeinfo>
#include <utility>

#include "framework/Errors.h"
#include "marketdata/Combinators.h"

namespace tarnwell {
namespace {

constexpr const char* kColorNames[TStandardPalette::kColorCount] = {
    "StandardBackgroundColor", "StandardForegroundColor", "StandardRedFgColor",
    "StandardGreenFgColor",    "StandardRedBgColor",      "StandardGreenBgColor",
};

bool IsColorIndex(int index) {
  return index >= 0 && index < TStandardPalette::kColorCount;
}

/// A copy of a registered colour, so that filling the result never fills the registered factory.
TFactoryRef Color(int index) {
  return FindFactory(kColorNames[index], true)->Clone();
}

TFactoryRef TriColor(TFactoryRef value, int negative, int zero, int positive) {
  return TGenericDataNodeFactory::Make<TTriColor>(std::move(value), Color(negative), Color(zero),
                                                  Color(positive));
}

}  // namespace

const TPlaceHolderRef& ConfigurationOwnerPlaceHolder() {
  static const auto* placeHolder =
      new TPlaceHolderRef(std::make_shared<TPlaceHolder>(kConfigurationOwner, TParamValue(kGlobalOwner)));
  return *placeHolder;
}

void RegisterStandardColors() {
  for (int index = 0; index < TStandardPalette::kColorCount; ++index) {
    RegisterFactory(kColorNames[index],
                    TGenericDataNodeFactory::Make<TStandardColor>(ConfigurationOwnerPlaceHolder(), index));
  }
}

// --- TStandardColor --------------------------------------------------------------------------------------

TStandardColor::TStandardColor(const TParamList& params) {
  CheckParamCount(params, 2, "Expected params: (Configuration Owner, Index)");
  Assert(IsColorIndex(params[1].AsInteger()));
}

void TStandardColor::Store(std::uint32_t color) {
  color_ = color;
  valid_ = true;
  NotifyListeners();
}

// --- TStandardPalette ------------------------------------------------------------------------------------

TStandardPalette::TStandardPalette(const void* owner) : TStandardPalette(NameOf(owner)) {}

TStandardPalette::TStandardPalette(std::string name) : name_(std::move(name)) {
  for (int index = 0; index < kColorCount; ++index) {
    auto [node, link] = TGenericDataNodeFactory::Make<TStandardColor>(name_, index)->GetNode();
    nodes_[index] = static_cast<TStandardColor*>(node);
    links_[index] = link;
  }
}

TStandardPalette::~TStandardPalette() {
  for (TDataNodeLink* link : links_) TDataNodeLink::Release(link);
}

std::string TStandardPalette::NameOf(const void* owner) {
  std::string name = "$";  // appended rather than "$" + ..., which g++ 12 warns about falsely (-Wrestrict)
  name += HexAddress(owner);
  return name;
}

void TStandardPalette::SetDefaults() {
  for (int index = 0; index < kColorCount; ++index) SetColor(index, kDefaults[index]);
}

void TStandardPalette::SetColor(int index, std::uint32_t color) {
  Assert(IsColorIndex(index) && (color >> 24) == 0);
  colors_[index] = color;
  TStandardColor* node = nodes_[index];
  // Readers of the node run on the data node thread; the job is dropped if the node is gone by then.
  node->RunOnDataNodeThread(
      1, TCallback::Function([node, color] { node->Store(color); }, node, &typeid(TStandardColor)));
}

std::uint32_t TStandardPalette::GetColor(int index) const {
  Assert(IsColorIndex(index));
  return colors_[index];
}

TFactoryRef ForegroundTriColor(TFactoryRef value) {
  return TriColor(std::move(value), 2, 1, 3);
}

TFactoryRef BackgroundTriColor(TFactoryRef value) {
  return TriColor(std::move(value), 4, 0, 5);
}

}  // namespace tarnwell
