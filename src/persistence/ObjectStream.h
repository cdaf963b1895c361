#pragma once
// The binary object stream of page and window files: objects with a class name, a name, typed property
// values and child objects, written after the signature "TPF0" (little-endian), and the text rendering
// written beside each file. This layer knows nothing of factory classes: it reads and writes the tree.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarnwell {

/// A stream that cannot be read; the text says where (byte offset, or the file) and why.
class EObjectStream : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Value tags of the stream, as written.
enum TValueTag : std::uint8_t {
  vtEndOfList = 0,
  vtList = 1,
  vtInt8 = 2,
  vtInt16 = 3,
  vtInt32 = 4,
  vtExtended = 5,
  vtString = 6,
  vtIdentifier = 7,
  vtFalse = 8,
  vtTrue = 9,
  vtBinary = 10,
  vtSet = 11,
  vtLongString = 12,
  vtNil = 13,
  vtCollection = 14,
  vtSingle = 15,
  vtCurrency = 16,
  vtDate = 17,
  vtWideString = 18,
  vtInt64 = 19,
};

struct TStreamProperty;

/// One property value. The kind is what a writer chooses from; integer and string tags are picked by size
/// when written, so a value read back compares equal to the one written.
struct TStreamValue {
  enum TKind : std::uint8_t {
    kList,        ///< Items
    kInteger,     ///< Integer; written with the smallest of the 8, 16 and 32-bit tags, else the 64-bit one
    kExtended,    ///< Float, written as 80-bit extended precision
    kString,      ///< Text; up to 255 bytes a short string, longer a long string
    kIdentifier,  ///< Text: an enumeration value, a colour name or a referenced object's name
    kBoolean,     ///< Boolean
    kBinary,      ///< Text holds the bytes
    kSet,         ///< Names
    kNil,
    kCollection,  ///< Collection: items, each a list of properties
    kSingle,      ///< Float, written as 32-bit
    kCurrency,    ///< Integer: the amount times 10000
    kDate,        ///< Float: a date-time
    kWideString,  ///< Wide: UTF-16 code units
  };
  TKind Kind = kNil;
  std::int64_t Integer = 0;
  double Float = 0;
  bool Boolean = false;
  std::string Text;
  std::u16string Wide;
  std::vector<TStreamValue> Items;
  std::vector<std::string> Names;
  std::vector<std::vector<TStreamProperty>> Collection;

  static TStreamValue MakeInteger(std::int64_t value);
  static TStreamValue MakeString(std::string value);
  static TStreamValue MakeIdentifier(std::string value);
  static TStreamValue MakeBoolean(bool value);
  static TStreamValue MakeExtended(double value);
  static TStreamValue MakeList(std::vector<TStreamValue> items);

  friend bool operator==(const TStreamValue&, const TStreamValue&);
};

struct TStreamProperty {
  std::string Name;  ///< "Font.Height" for a property of a sub-object
  TStreamValue Value;
  friend bool operator==(const TStreamProperty&, const TStreamProperty&) = default;
};

struct TStreamObject {
  std::string ClassName;
  std::string Name;
  std::vector<TStreamProperty> Properties;
  std::vector<TStreamObject> Children;

  /// The value of a property, or null.
  const TStreamValue* Find(std::string_view name) const;
  friend bool operator==(const TStreamObject&, const TStreamObject&) = default;
};

/// The whole stream of a root object: signature, the object, its children.
std::string WriteObjectStream(const TStreamObject& root);
/// Reads a whole stream; throws EObjectStream naming the byte offset for a stream that is not one, is cut
/// short, holds an unknown tag or has bytes after the root object.
TStreamObject ReadObjectStream(std::string_view bytes);

/// The readable copy: "object Name: TClass", "  Prop = value" lines indented per level, "end".
std::string RenderObjectText(const TStreamObject& root);

/// Writes the stream to `path` and its readable copy to `path` + ".txt"; throws EObjectStream naming the
/// file that could not be written. The stream is written to a temporary file and renamed, so a failure
/// never leaves half a file where a good one was.
void SaveObjectFile(const std::string& path, const TStreamObject& root);
/// The largest page or window file read: 16 MiB (pages are kilobytes; read, a value takes many times its
/// bytes).
inline constexpr std::uintmax_t kLargestObjectFile = 16u << 20;
/// Reads the stream of `path`; throws EObjectStream naming the file for a missing, unreadable or bad one.
TStreamObject LoadObjectFile(const std::string& path);

/// 80-bit extended precision, as the stream holds it: ten bytes, little-endian.
void EncodeExtended(double value, unsigned char out[10]);
double DecodeExtended(const unsigned char in[10]);

}  // namespace tarnwell
