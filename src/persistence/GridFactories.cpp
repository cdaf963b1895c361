#include "persistence/GridFactories.h"

#include <vector>

namespace tarnwell {

namespace {

const std::vector<std::string>& FontStyleNames() {
  static const std::vector<std::string> names{"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"};
  return names;
}

// A set of identifiers over the bits of `field`, bit i named names[i]; the empty set is the default and is
// not written.
TPublishedProperty SetProperty(std::string name, std::int32_t& field, const std::vector<std::string>& names) {
  return {std::move(name),
          [&field, &names]() -> std::optional<TStreamValue> {
            if (field == 0) return std::nullopt;
            TStreamValue value;
            value.Kind = TStreamValue::kSet;
            for (std::size_t i = 0; i < names.size(); ++i) {
              if (field & (1 << i)) value.Names.push_back(names[i]);
            }
            return value;
          },
          [&field, &names](const TStreamValue& value, TReadContext&) {
            if (value.Kind != TStreamValue::kSet) throw EObjectStream("expected a set");
            std::int32_t bits = 0;
            for (const std::string& member : value.Names) {
              std::size_t i = 0;
              while (i < names.size() && names[i] != member) ++i;
              if (i == names.size()) throw EObjectStream("'" + member + "' is not one of its values");
              bits |= 1 << i;
            }
            field = bits;
          }};
}

}  // namespace

TPublishedProperties TSimpleIndexCellRendererFactory::Properties() {
  TPublishedProperties properties = TWindowFactory::Properties();
  properties.push_back(StringProperty("BaseClassName", BaseClassName));
  properties.push_back(IntegerProperty("Width", Width, 0));
  return properties;
}

TPublishedProperties TIndexGridFactory::Properties() {
  TPublishedProperties properties = TWindowFactory::Properties();
  properties.push_back(BooleanProperty("Direction", Direction, false));
  properties.push_back(IntegerProperty("Alignment", Alignment, 0));
  properties.push_back(StringProperty("Font.Name", FontName));
  properties.push_back(IntegerProperty("Font.Height", FontHeight, std::nullopt));
  properties.push_back(IntegerProperty("Font.Color", FontColor, std::nullopt));
  properties.push_back(SetProperty("Font.Style", FontStyle, FontStyleNames()));
  properties.push_back(IntegerProperty("ScrollBars", ScrollBars, kScrollBarsBoth));
  properties.push_back(ReferenceProperty("Renderers", Renderers));
  properties.push_back(IntegerProperty("HeaderHeight", HeaderHeight, std::nullopt));
  properties.push_back(IntegerProperty("BodyHeight", BodyHeight, std::nullopt));
  return properties;
}

void RegisterGridFactoryClasses() {
  RegisterComponentClass<TIndexGridFactory>();
  RegisterComponentClass<TSimpleIndexCellRendererFactory>();
}

}  // namespace tarnwell
