// The font record a digital clock is drawn with, as a user writes it on the command line or in a
// project file: "Face Name,height,weight,italic,underline,strikeout", or the same as key=value
// pairs ("face=Liberation Serif,weight=bold,italic=1").
//
// The record is the platform's LOGFONTW layout, 92 bytes, which the effect keeps in its hidden
// "PrivateData" parameter: five signed 32-bit fields (height, width, escapement, orientation,
// weight), eight single bytes (italic, underline, strike-out, character set, output precision,
// clip precision, quality, pitch and family) and a face name of 32 UTF-16 units, terminated
// within them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zel::host {

inline constexpr std::size_t kFontRecordSize = 92;
/// Longest face name the record holds, in UTF-16 units (the 32nd unit is the terminator).
inline constexpr std::size_t kMaxFaceUnits = 31;

/// The fields of the record a user chooses. The rest keep the effect's default record.
struct FontSpec {
  std::string face;          ///< UTF-8; empty lets the effect fall back to its own face
  std::int32_t height = -32; ///< the digital clock's text is |height| percent of the clock radius
  std::int32_t weight = 0;   ///< 0 (default), 1..1000; above 400 draws bold
  bool italic = false;
  bool underline = false;
  bool strikeOut = false;
};

/// A --font text the parser cannot take; the message says which field and why.
class FontSpecError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Reads "Face,height,weight,italic,underline,strikeout" (trailing fields may be left out, an
/// empty field keeps its default) or comma-separated key=value pairs with the keys face, height,
/// weight, italic, underline, strikeout (also "strike"). Weight is a number or one of thin,
/// extralight, light, normal, regular, medium, semibold, bold, extrabold, black; the three styles
/// are 1/0, yes/no, true/false or on/off. Throws FontSpecError.
FontSpec ParseFontSpec(std::string_view text);

/// Sets one field by its key (face, height, weight, italic, underline, strikeout or strike, any
/// case) from its text, as in the key=value form. Throws FontSpecError.
void SetFontField(FontSpec& spec, std::string_view key, std::string_view value);

/// The 92 bytes of the record: the fields of `spec`, character set 1 (default), all else 0.
/// Throws FontSpecError when the face name does not fit in 31 UTF-16 units.
std::vector<std::uint8_t> MakeFontRecord(const FontSpec& spec);

/// The fields of `record` when MakeFontRecord gives back exactly these bytes; nullopt for a
/// record with other fields set (another character set, a width, ...) or of another size.
std::optional<FontSpec> FontSpecOfRecord(const std::vector<std::uint8_t>& record);

}  // namespace zel::host
