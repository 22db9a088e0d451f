#include "settings/FontOption.h"

#include <array>
#include <cstring>

#include "text/Text.h"
#include "text/Text.h"

namespace zel::host {

namespace {

// Byte offsets of the record's fields.
constexpr std::size_t kHeightAt = 0;
constexpr std::size_t kWeightAt = 16;
constexpr std::size_t kItalicAt = 20;
constexpr std::size_t kUnderlineAt = 21;
constexpr std::size_t kStrikeOutAt = 22;
constexpr std::size_t kCharSetAt = 23;
constexpr std::size_t kFaceAt = 28;
static_assert(kFaceAt + (kMaxFaceUnits + 1) * 2 == kFontRecordSize);

constexpr std::uint8_t kDefaultCharSet = 1;
constexpr std::int32_t kMaxHeight = 1000;
constexpr std::int32_t kMaxWeight = 1000;

struct NamedWeight {
  const char* name;
  std::int32_t weight;
};
constexpr NamedWeight kWeights[] = {
    {"thin", 100},   {"extralight", 200}, {"light", 300},     {"normal", 400}, {"regular", 400},
    {"medium", 500}, {"semibold", 600},   {"bold", 700},      {"extrabold", 800}, {"black", 900},
};

enum class Field { Face, Height, Weight, Italic, Underline, StrikeOut };
constexpr std::array<Field, 6> kPositional = {Field::Face,   Field::Height,    Field::Weight,
                                              Field::Italic, Field::Underline, Field::StrikeOut};

std::optional<Field> FieldNamed(std::string_view key) {
  struct Name {
    const char* text;
    Field field;
  };
  static constexpr Name kNames[] = {{"face", Field::Face},           {"height", Field::Height},
                                    {"weight", Field::Weight},       {"italic", Field::Italic},
                                    {"underline", Field::Underline}, {"strikeout", Field::StrikeOut},
                                    {"strike", Field::StrikeOut}};
  for (const Name& n : kNames)
    if (EqualsIgnoringCase(key, n.text)) return n.field;
  return std::nullopt;
}

void SetField(FontSpec& spec, Field field, std::string_view raw) {
  const std::string_view text = Trim(raw);
  const auto fail = [&](const char* name, const std::string& why) {
    throw FontSpecError(std::string(name) + " " + Quoted(text) + " " + why);
  };
  switch (field) {
    case Field::Face:
      spec.face = std::string(text);
      return;
    case Field::Height: {
      const auto h = ParseInteger(text);
      if (!h) fail("height", "is not a whole number");
      if (*h == 0 || *h < -kMaxHeight || *h > kMaxHeight)
        fail("height", "is outside -1000..-1 and 1..1000 (the text is |height| percent of the clock radius)");
      spec.height = static_cast<std::int32_t>(*h);
      return;
    }
    case Field::Weight: {
      for (const NamedWeight& w : kWeights)
        if (EqualsIgnoringCase(text, w.name)) {
          spec.weight = w.weight;
          return;
        }
      const auto w = ParseInteger(text);
      if (!w) fail("weight", "is neither a number nor a weight name (normal, bold, ...)");
      if (*w < 0 || *w > kMaxWeight) fail("weight", "is outside 0..1000");
      spec.weight = static_cast<std::int32_t>(*w);
      return;
    }
    case Field::Italic:
    case Field::Underline:
    case Field::StrikeOut: {
      const char* name = field == Field::Italic ? "italic" : field == Field::Underline ? "underline" : "strikeout";
      const auto on = ParseYesNo(text);
      if (!on) fail(name, "is not a yes/no value (1, 0, yes, no, true, false, on, off)");
      (field == Field::Italic ? spec.italic : field == Field::Underline ? spec.underline : spec.strikeOut) = *on;
      return;
    }
  }
}

std::vector<std::string_view> SplitCommas(std::string_view text) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t comma = text.find(',');
    parts.push_back(text.substr(0, comma));
    if (comma == std::string_view::npos) return parts;
    text.remove_prefix(comma + 1);
  }
}

std::int32_t GetInt32(const std::vector<std::uint8_t>& record, std::size_t at) {
  std::uint32_t u = 0;
  for (int i = 0; i < 4; ++i) u |= static_cast<std::uint32_t>(record[at + i]) << (8 * i);
  return static_cast<std::int32_t>(u);
}

void PutInt32(std::vector<std::uint8_t>& record, std::size_t at, std::int32_t value) {
  const auto u = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) record[at + i] = static_cast<std::uint8_t>(u >> (8 * i));
}

}  // namespace

FontSpec ParseFontSpec(std::string_view text) {
  if (Trim(text).empty()) throw FontSpecError("is empty: give at least a face name");
  FontSpec spec;
  const std::vector<std::string_view> parts = SplitCommas(text);
  const bool named = parts.front().find('=') != std::string_view::npos;
  if (!named) {
    if (parts.size() > kPositional.size())
      throw FontSpecError("has " + std::to_string(parts.size()) +
                          " fields; at most 6: face,height,weight,italic,underline,strikeout");
    for (std::size_t i = 0; i < parts.size(); ++i)
      if (i == 0 || !Trim(parts[i]).empty()) SetField(spec, kPositional[i], parts[i]);
    return spec;
  }
  for (std::string_view part : parts) {
    const std::size_t eq = part.find('=');
    if (eq == std::string_view::npos)
      throw FontSpecError(Quoted(Trim(part)) + " is not key=value (keys: face, height, weight, italic, underline, strikeout)");
    SetFontField(spec, part.substr(0, eq), part.substr(eq + 1));
  }
  return spec;
}

void SetFontField(FontSpec& spec, std::string_view key, std::string_view value) {
  const auto field = FieldNamed(Trim(key));
  if (!field)
    throw FontSpecError("has no key " + Quoted(Trim(key)) + " (keys: face, height, weight, italic, underline, strikeout)");
  SetField(spec, *field, value);
}

std::vector<std::uint8_t> MakeFontRecord(const FontSpec& spec) {
  const std::u16string face = zel::host::ToUtf16(spec.face);
  if (face.size() > kMaxFaceUnits)
    throw FontSpecError("face name " + Quoted(spec.face) + " is too long: the record holds 31 UTF-16 units, it has " +
                        std::to_string(face.size()));
  std::vector<std::uint8_t> record(kFontRecordSize, 0);
  PutInt32(record, kHeightAt, spec.height);
  PutInt32(record, kWeightAt, spec.weight);
  record[kItalicAt] = spec.italic ? 1 : 0;
  record[kUnderlineAt] = spec.underline ? 1 : 0;
  record[kStrikeOutAt] = spec.strikeOut ? 1 : 0;
  record[kCharSetAt] = kDefaultCharSet;
  for (std::size_t i = 0; i < face.size(); ++i) {
    record[kFaceAt + 2 * i] = static_cast<std::uint8_t>(face[i] & 0xFF);
    record[kFaceAt + 2 * i + 1] = static_cast<std::uint8_t>(face[i] >> 8);
  }
  return record;
}

std::optional<FontSpec> FontSpecOfRecord(const std::vector<std::uint8_t>& record) {
  if (record.size() != kFontRecordSize) return std::nullopt;
  FontSpec spec;
  std::u16string face;
  for (std::size_t i = 0; i < kMaxFaceUnits + 1; ++i) {
    const auto unit = static_cast<char16_t>(record[kFaceAt + 2 * i] | record[kFaceAt + 2 * i + 1] << 8);
    if (unit == 0) break;
    face.push_back(unit);
  }
  spec.face = zel::host::ToUtf8(face);
  spec.height = GetInt32(record, kHeightAt);
  spec.weight = GetInt32(record, kWeightAt);
  spec.italic = record[kItalicAt] != 0;
  spec.underline = record[kUnderlineAt] != 0;
  spec.strikeOut = record[kStrikeOutAt] != 0;
  try {
    if (MakeFontRecord(spec) != record) return std::nullopt;
  } catch (const FontSpecError&) {
    return std::nullopt;
  }
  return spec;
}

}  // namespace zel::host
