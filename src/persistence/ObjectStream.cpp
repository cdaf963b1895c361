#include "persistence/ObjectStream.h"

#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

namespace tarnwell {

namespace {

constexpr std::string_view kSignature = "TPF0";

// --- Writing ---------------------------------------------------------------------------------------------

class TWriter {
 public:
  std::string bytes;

  void Byte(std::uint8_t b) { bytes.push_back(static_cast<char>(b)); }
  template <class T>
  void Raw(T value) {
    // The stream is little-endian, as is every machine this runs on; a static check keeps it honest.
    static_assert(std::endian::native == std::endian::little);
    char buffer[sizeof(T)];
    std::memcpy(buffer, &value, sizeof(T));
    bytes.append(buffer, sizeof(T));
  }
  void ShortString(std::string_view text, const char* what) {
    if (text.size() > 255) {
      throw EObjectStream(std::string(what) + " '" + std::string(text.substr(0, 40)) +
                          "...' is longer than 255 characters");
    }
    Byte(static_cast<std::uint8_t>(text.size()));
    bytes.append(text);
  }
  void LongString(std::string_view text) {
    Raw(static_cast<std::uint32_t>(text.size()));
    bytes.append(text);
  }

  void Value(const TStreamValue& value) {
    switch (value.Kind) {
      case TStreamValue::kList:
        Byte(vtList);
        for (const TStreamValue& item : value.Items) Value(item);
        Byte(vtEndOfList);
        return;
      case TStreamValue::kInteger: {
        const std::int64_t v = value.Integer;
        if (v >= INT8_MIN && v <= INT8_MAX) {
          Byte(vtInt8);
          Raw(static_cast<std::int8_t>(v));
        } else if (v >= INT16_MIN && v <= INT16_MAX) {
          Byte(vtInt16);
          Raw(static_cast<std::int16_t>(v));
        } else if (v >= INT32_MIN && v <= INT32_MAX) {
          Byte(vtInt32);
          Raw(static_cast<std::int32_t>(v));
        } else {
          Byte(vtInt64);
          Raw(v);
        }
        return;
      }
      case TStreamValue::kExtended: {
        unsigned char ten[10];
        EncodeExtended(value.Float, ten);
        Byte(vtExtended);
        bytes.append(reinterpret_cast<const char*>(ten), 10);
        return;
      }
      case TStreamValue::kString:
        if (value.Text.size() <= 255) {
          Byte(vtString);
          ShortString(value.Text, "string");
        } else {
          Byte(vtLongString);
          LongString(value.Text);
        }
        return;
      case TStreamValue::kIdentifier:
        Byte(vtIdentifier);
        ShortString(value.Text, "identifier");
        return;
      case TStreamValue::kBoolean:
        Byte(value.Boolean ? vtTrue : vtFalse);
        return;
      case TStreamValue::kBinary:
        Byte(vtBinary);
        LongString(value.Text);
        return;
      case TStreamValue::kSet:
        Byte(vtSet);
        for (const std::string& name : value.Names) {
          if (name.empty()) throw EObjectStream("a set element has no name");
          ShortString(name, "set element");
        }
        Byte(0);
        return;
      case TStreamValue::kNil:
        Byte(vtNil);
        return;
      case TStreamValue::kCollection:
        Byte(vtCollection);
        for (const auto& item : value.Collection) {
          Byte(vtList);
          Properties(item);
        }
        Byte(vtEndOfList);
        return;
      case TStreamValue::kSingle:
        Byte(vtSingle);
        Raw(static_cast<float>(value.Float));
        return;
      case TStreamValue::kCurrency:
        Byte(vtCurrency);
        Raw(value.Integer);
        return;
      case TStreamValue::kDate:
        Byte(vtDate);
        Raw(value.Float);
        return;
      case TStreamValue::kWideString:
        Byte(vtWideString);
        Raw(static_cast<std::uint32_t>(value.Wide.size()));
        for (char16_t unit : value.Wide) Raw(static_cast<std::uint16_t>(unit));
        return;
    }
    throw EObjectStream("a value of an unknown kind");
  }

  void Properties(const std::vector<TStreamProperty>& properties) {
    for (const TStreamProperty& property : properties) {
      if (property.Name.empty()) throw EObjectStream("a property has no name");
      ShortString(property.Name, "property name");
      Value(property.Value);
    }
    Byte(0);
  }

  void Object(const TStreamObject& object) {
    if (object.ClassName.empty()) throw EObjectStream("an object has no class name");
    ShortString(object.ClassName, "class name");
    ShortString(object.Name, "object name");
    Properties(object.Properties);
    for (const TStreamObject& child : object.Children) Object(child);
    Byte(0);
  }
};

// --- Reading ---------------------------------------------------------------------------------------------

class TReader {
 public:
  explicit TReader(std::string_view bytes) : bytes_(bytes) {}

  [[noreturn]] void Fail(const std::string& why) const {
    throw EObjectStream("byte " + std::to_string(pos_) + ": " + why);
  }
  void Need(std::size_t n, const char* what) const {
    if (bytes_.size() - pos_ < n) Fail(std::string("the stream ends inside ") + what);
  }
  std::uint8_t Byte(const char* what) {
    Need(1, what);
    return static_cast<std::uint8_t>(bytes_[pos_++]);
  }
  template <class T>
  T Raw(const char* what) {
    Need(sizeof(T), what);
    T value;
    std::memcpy(&value, bytes_.data() + pos_, sizeof(T));
    pos_ += sizeof(T);
    return value;
  }
  std::string Chars(std::size_t n, const char* what) {
    Need(n, what);
    std::string text(bytes_.substr(pos_, n));
    pos_ += n;
    return text;
  }
  std::string ShortString(const char* what) { return Chars(Byte(what), what); }
  std::string LongString(const char* what) { return Chars(Raw<std::uint32_t>(what), what); }

  TStreamValue Value(std::uint8_t tag, int depth) {
    if (depth > kMaxDepth) Fail("values nested too deeply");
    TStreamValue value;
    switch (tag) {
      case vtList:
        value.Kind = TStreamValue::kList;
        for (std::uint8_t next; (next = Byte("a list")) != vtEndOfList;) value.Items.push_back(Value(next, depth + 1));
        return value;
      case vtInt8:
        return TStreamValue::MakeInteger(Raw<std::int8_t>("an integer"));
      case vtInt16:
        return TStreamValue::MakeInteger(Raw<std::int16_t>("an integer"));
      case vtInt32:
        return TStreamValue::MakeInteger(Raw<std::int32_t>("an integer"));
      case vtInt64:
        return TStreamValue::MakeInteger(Raw<std::int64_t>("an integer"));
      case vtExtended: {
        Need(10, "an extended float");
        unsigned char ten[10];
        std::memcpy(ten, bytes_.data() + pos_, 10);
        pos_ += 10;
        return TStreamValue::MakeExtended(DecodeExtended(ten));
      }
      case vtString:
        return TStreamValue::MakeString(ShortString("a string"));
      case vtLongString:
        return TStreamValue::MakeString(LongString("a long string"));
      case vtIdentifier:
        return TStreamValue::MakeIdentifier(ShortString("an identifier"));
      case vtFalse:
        return TStreamValue::MakeBoolean(false);
      case vtTrue:
        return TStreamValue::MakeBoolean(true);
      case vtBinary:
        value.Kind = TStreamValue::kBinary;
        value.Text = LongString("binary data");
        return value;
      case vtSet:
        value.Kind = TStreamValue::kSet;
        for (std::string name; !(name = ShortString("a set")).empty();) value.Names.push_back(name);
        return value;
      case vtNil:
        return value;
      case vtCollection:
        value.Kind = TStreamValue::kCollection;
        for (std::uint8_t next; (next = Byte("a collection")) != vtEndOfList;) {
          // An item may carry its order as an integer before its properties.
          if (next == vtInt8 || next == vtInt16 || next == vtInt32) {
            Value(next, depth + 1);
            next = Byte("a collection item");
          }
          if (next != vtList) Fail("a collection item does not start with a list tag (" + std::to_string(next) + ")");
          value.Collection.push_back(Properties(depth + 1));
        }
        return value;
      case vtSingle:
        value.Kind = TStreamValue::kSingle;
        value.Float = Raw<float>("a single float");
        return value;
      case vtCurrency:
        value.Kind = TStreamValue::kCurrency;
        value.Integer = Raw<std::int64_t>("a currency value");
        return value;
      case vtDate:
        value.Kind = TStreamValue::kDate;
        value.Float = Raw<double>("a date");
        return value;
      case vtWideString: {
        value.Kind = TStreamValue::kWideString;
        const std::uint32_t count = Raw<std::uint32_t>("a wide string");
        if (count > (bytes_.size() - pos_) / 2) Fail("the stream ends inside a wide string");
        value.Wide.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i) value.Wide.push_back(static_cast<char16_t>(Raw<std::uint16_t>("a wide string")));
        return value;
      }
      default:
        --pos_;
        Fail("unknown value tag " + std::to_string(tag));
    }
  }

  std::vector<TStreamProperty> Properties(int depth) {
    std::vector<TStreamProperty> properties;
    for (std::string name; !(name = ShortString("a property name")).empty();) {
      const std::uint8_t tag = Byte("a property value");
      properties.push_back({std::move(name), Value(tag, depth)});
    }
    return properties;
  }

  TStreamObject Object(int depth) {
    if (depth > kMaxDepth) Fail("objects nested too deeply");
    TStreamObject object;
    object.ClassName = ShortString("a class name");
    if (object.ClassName.empty()) Fail("an object without a class name");
    object.Name = ShortString("an object name");
    object.Properties = Properties(depth);
    while (true) {
      Need(1, "an object's children");
      if (bytes_[pos_] == 0) {
        ++pos_;
        break;
      }
      object.Children.push_back(Object(depth + 1));
    }
    return object;
  }

  TStreamObject Root() {
    if (bytes_.substr(0, kSignature.size()) != kSignature) Fail("not an object stream (no \"TPF0\" signature)");
    pos_ = kSignature.size();
    TStreamObject root = Object(0);
    if (pos_ != bytes_.size()) Fail(std::to_string(bytes_.size() - pos_) + " bytes after the root object");
    return root;
  }

 private:
  // Far beyond any page; it keeps a hostile file from exhausting the stack.
  static constexpr int kMaxDepth = 200;
  std::string_view bytes_;
  std::size_t pos_ = 0;
};

// --- Text --------------------------------------------------------------------------------------------

std::string Quoted(std::string_view text) {
  if (text.empty()) return "''";
  std::string out;
  bool open = false;
  for (unsigned char c : text) {
    if (c < 32 || c == 127) {
      if (open) out += '\'';
      open = false;
      out += '#' + std::to_string(c);
      continue;
    }
    if (!open) out += '\'';
    open = true;
    if (c == '\'') out += '\'';
    out += static_cast<char>(c);
  }
  if (open) out += '\'';
  return out;
}

std::string FloatText(double value) {
  char buffer[64];
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

std::string Utf8Of(const std::u16string& wide) {
  std::string out;
  for (std::size_t i = 0; i < wide.size(); ++i) {
    std::uint32_t c = wide[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (wide[++i] - 0xDC00);
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

void RenderProperties(std::string& out, const std::vector<TStreamProperty>& properties, int level);

std::string ValueText(const TStreamValue& value, int level) {
  switch (value.Kind) {
    case TStreamValue::kList: {
      std::string out = "(";
      for (std::size_t i = 0; i < value.Items.size(); ++i) out += (i ? ", " : "") + ValueText(value.Items[i], level);
      return out + ")";
    }
    case TStreamValue::kInteger:
      return std::to_string(value.Integer);
    case TStreamValue::kExtended:
    case TStreamValue::kSingle:
    case TStreamValue::kDate:
      return FloatText(value.Float);
    case TStreamValue::kString:
      return Quoted(value.Text);
    case TStreamValue::kIdentifier:
      return value.Text;
    case TStreamValue::kBoolean:
      return value.Boolean ? "True" : "False";
    case TStreamValue::kBinary: {
      static const char* const kHex = "0123456789ABCDEF";
      std::string out = "{";
      for (unsigned char c : value.Text) {
        out += kHex[c >> 4];
        out += kHex[c & 15];
      }
      return out + "}";
    }
    case TStreamValue::kSet: {
      std::string out = "[";
      for (std::size_t i = 0; i < value.Names.size(); ++i) out += (i ? ", " : "") + value.Names[i];
      return out + "]";
    }
    case TStreamValue::kNil:
      return "nil";
    case TStreamValue::kCollection: {
      std::string out = "<";
      const std::string indent(2 * (level + 1), ' ');
      for (const auto& item : value.Collection) {
        out += "\n" + indent + "item\n";
        RenderProperties(out, item, level + 2);
        out += indent + "end";
      }
      return out + ">";
    }
    case TStreamValue::kCurrency: {
      const std::int64_t v = value.Integer;
      const std::uint64_t magnitude = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
      char fraction[8];
      std::snprintf(fraction, sizeof fraction, "%04llu", static_cast<unsigned long long>(magnitude % 10000));
      return (v < 0 ? "-" : "") + std::to_string(magnitude / 10000) + "." + fraction;
    }
    case TStreamValue::kWideString:
      return Quoted(Utf8Of(value.Wide));
  }
  return "?";
}

void RenderProperties(std::string& out, const std::vector<TStreamProperty>& properties, int level) {
  const std::string indent(2 * level, ' ');
  for (const TStreamProperty& property : properties) {
    out += indent + property.Name + " = " + ValueText(property.Value, level) + "\n";
  }
}

void RenderObject(std::string& out, const TStreamObject& object, int level) {
  const std::string indent(2 * level, ' ');
  out += indent + "object " + object.Name + ": " + object.ClassName + "\n";
  RenderProperties(out, object.Properties, level + 1);
  for (const TStreamObject& child : object.Children) RenderObject(out, child, level + 1);
  out += indent + "end\n";
}

// Writes through a temporary file and a rename, so a failed write leaves the old file whole.
void WriteWhole(const std::string& path, const std::string& bytes) {
  const std::string temporary = path + ".part";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) throw EObjectStream("cannot write " + path + ": " + std::strerror(errno));
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
    const std::string why = std::strerror(errno);
    std::remove(temporary.c_str());
    throw EObjectStream("cannot write " + path + ": " + why);
  }
}

}  // namespace

// --- Values --------------------------------------------------------------------------------------------

TStreamValue TStreamValue::MakeInteger(std::int64_t value) {
  TStreamValue v;
  v.Kind = kInteger;
  v.Integer = value;
  return v;
}
TStreamValue TStreamValue::MakeString(std::string value) {
  TStreamValue v;
  v.Kind = kString;
  v.Text = std::move(value);
  return v;
}
TStreamValue TStreamValue::MakeIdentifier(std::string value) {
  TStreamValue v;
  v.Kind = kIdentifier;
  v.Text = std::move(value);
  return v;
}
TStreamValue TStreamValue::MakeBoolean(bool value) {
  TStreamValue v;
  v.Kind = kBoolean;
  v.Boolean = value;
  return v;
}
TStreamValue TStreamValue::MakeExtended(double value) {
  TStreamValue v;
  v.Kind = kExtended;
  v.Float = value;
  return v;
}
TStreamValue TStreamValue::MakeList(std::vector<TStreamValue> items) {
  TStreamValue v;
  v.Kind = kList;
  v.Items = std::move(items);
  return v;
}

bool operator==(const TStreamValue& a, const TStreamValue& b) {
  if (a.Kind != b.Kind) return false;
  switch (a.Kind) {
    case TStreamValue::kList:
      return a.Items == b.Items;
    case TStreamValue::kInteger:
    case TStreamValue::kCurrency:
      return a.Integer == b.Integer;
    case TStreamValue::kExtended:
    case TStreamValue::kSingle:
    case TStreamValue::kDate:
      return a.Float == b.Float || (std::isnan(a.Float) && std::isnan(b.Float));
    case TStreamValue::kString:
    case TStreamValue::kIdentifier:
    case TStreamValue::kBinary:
      return a.Text == b.Text;
    case TStreamValue::kBoolean:
      return a.Boolean == b.Boolean;
    case TStreamValue::kSet:
      return a.Names == b.Names;
    case TStreamValue::kNil:
      return true;
    case TStreamValue::kCollection:
      return a.Collection == b.Collection;
    case TStreamValue::kWideString:
      return a.Wide == b.Wide;
  }
  return false;
}

const TStreamValue* TStreamObject::Find(std::string_view name) const {
  for (const TStreamProperty& property : Properties) {
    if (property.Name == name) return &property.Value;
  }
  return nullptr;
}

// --- Whole streams and files ----------------------------------------------------------------------------

std::string WriteObjectStream(const TStreamObject& root) {
  TWriter writer;
  writer.bytes.append(kSignature);
  writer.Object(root);
  return std::move(writer.bytes);
}

TStreamObject ReadObjectStream(std::string_view bytes) {
  return TReader(bytes).Root();
}

std::string RenderObjectText(const TStreamObject& root) {
  std::string out;
  RenderObject(out, root, 0);
  return out;
}

void SaveObjectFile(const std::string& path, const TStreamObject& root) {
  const std::string bytes = WriteObjectStream(root);
  WriteWhole(path, bytes);
  WriteWhole(path + ".txt", RenderObjectText(root));
}

TStreamObject LoadObjectFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EObjectStream("cannot read " + path + ": " + std::strerror(errno));
  // Every value of a stream takes many times its bytes once read, so a file far larger than any page is
  // refused before it is read, rather than let it take the memory of the whole machine.
  std::error_code sizeError;
  const auto size = std::filesystem::file_size(path, sizeError);
  if (!sizeError && size > kLargestObjectFile) {
    throw EObjectStream(path + ": " + std::to_string(size) + " bytes, more than the " +
                        std::to_string(kLargestObjectFile) + " a page or window file may have");
  }
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) throw EObjectStream("cannot read " + path);
  try {
    return ReadObjectStream(bytes.str());
  } catch (const EObjectStream& error) {
    throw EObjectStream(path + ": " + error.what());
  }
}

// --- Extended precision ----------------------------------------------------------------------------------

void EncodeExtended(double value, unsigned char out[10]) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, 8);
  const std::uint16_t sign = static_cast<std::uint16_t>((bits >> 63) << 15);
  const int exponent = static_cast<int>((bits >> 52) & 0x7FF);
  std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  std::uint16_t top;
  std::uint64_t mantissa;
  if (exponent == 0x7FF) {  // infinity or not a number
    top = sign | 0x7FFF;
    mantissa = (std::uint64_t{1} << 63) | (fraction << 11);
  } else if (exponent == 0 && fraction == 0) {
    top = sign;
    mantissa = 0;
  } else {
    int e = exponent - 1023;
    if (exponent == 0) {  // a subnormal double is a normal extended
      e = -1022;
      while ((fraction & (std::uint64_t{1} << 52)) == 0) {
        fraction <<= 1;
        --e;
      }
      fraction &= (std::uint64_t{1} << 52) - 1;
    }
    top = static_cast<std::uint16_t>(sign | (e + 16383));
    mantissa = (std::uint64_t{1} << 63) | (fraction << 11);
  }
  std::memcpy(out, &mantissa, 8);
  std::memcpy(out + 8, &top, 2);
}

double DecodeExtended(const unsigned char in[10]) {
  std::uint64_t mantissa;
  std::uint16_t top;
  std::memcpy(&mantissa, in, 8);
  std::memcpy(&top, in + 8, 2);
  const bool negative = (top & 0x8000) != 0;
  const int exponent = top & 0x7FFF;
  double value;
  if (exponent == 0x7FFF) {
    value = (mantissa << 1) == 0 ? std::numeric_limits<double>::infinity() : std::numeric_limits<double>::quiet_NaN();
  } else if (mantissa == 0) {
    value = 0;
  } else {
    // The 64-bit mantissa rounds to the 53 bits a double holds.
    value = std::ldexp(static_cast<double>(mantissa), exponent - 16383 - 63);
  }
  return negative ? -value : value;
}

}  // namespace tarnwell
