// An effect's parameters as hosts with a flat parameter list see them: filter plug-in interfaces
// such as frei0r, whose clients (FFmpeg, MLT and the editors on it, GStreamer) know booleans,
// numbers from 0 to 1, colours with channels from 0 to 1, positions of two such numbers, and
// strings. The table is made from the effect's catalogue, so it follows the plug-in:
//
//   catalogue parameter                  flat parameter
//   a number with a range                Number, 0..1 over the range (integers rounded)
//   a boolean                            Boolean
//   an RGB triple with channels          Colour (the channels are not listed on their own)
//   a list                               Text: an item's name or value, as `zelhost --set` takes
//   text                                 Text
//   a parameter without a panel entry    not listed
// and after them, in this order:
//   "Position"    Position: "X" and "Y" as one point, when the effect has both
//   "Font"        Text: the font record in `zelhost --font` syntax, when a font reader is given
//   "Frame Rate"  Text: "auto" or a rate (see StreamClock.h)
//   "Time Unit"   Text: "auto", "seconds" or "milliseconds" (see StreamClock.h)
//
// Setting a value never fails: numbers are clamped into 0..1 (a NaN counts as 0), a text the
// parameter cannot take keeps the previous value and is reported once (until another text is set).
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "render/EffectInstance.h"
#include "render/StreamClock.h"

namespace zel::host {

enum class FlatKind { Boolean, Number, Colour, Position, Text };

/// One value of a flat parameter; the member of the parameter's kind is used.
struct FlatValue {
  double number = 0;                 ///< Boolean (0 or 1) and Number, 0..1
  std::array<double, 3> colour{};    ///< red, green, blue, each 0..1
  std::array<double, 2> position{};  ///< x, y, each 0..1
  std::string text;
};

/// Reads a font text into the effect's font record; throws std::exception with the reason when
/// it cannot. The host library does not own the font syntax: its front ends do.
using FontReader = std::function<std::vector<std::uint8_t>(std::string_view)>;

/// The flat list for one effect: names, kinds and explanations. Immutable; any thread may read it.
class FlatParameters {
 public:
  enum class Role { Parameter, Position, Font, FrameRate, TimeUnit };

  struct Entry {
    std::string name;
    FlatKind kind = FlatKind::Number;
    Role role = Role::Parameter;
    std::string explanation;  ///< what 0 and 1 mean, or which texts it takes
    VOKUID uid{};             ///< the catalogue parameter (Role::Parameter)
    bool isList = false;
    bool integral = false;    ///< an integer-typed number: values are rounded
    double minimum = 0, maximum = 1;
  };

  /// Builds the list from `catalogue`; without `font` there is no "Font" entry.
  FlatParameters(const Catalogue& catalogue, FontReader font);

  const std::vector<Entry>& Entries() const { return m_entries; }
  const FontReader& Font() const { return m_font; }

  static constexpr const char* kPosition = "Position";
  static constexpr const char* kFont = "Font";
  static constexpr const char* kFrameRate = "Frame Rate";
  static constexpr const char* kTimeUnit = "Time Unit";

 private:
  std::vector<Entry> m_entries;
  FontReader m_font;
};

/// An effect instance driven through a flat list: values in, renders at host time stamps.
/// One thread at a time per object (frei0r's rule for one instance).
class FlatInstance {
 public:
  /// `plugin` and `parameters` must outlive the instance. Throws HostError as EffectInstance does.
  FlatInstance(Plugin& plugin, const FlatParameters& parameters);

  EffectInstance& Effect() { return m_effect; }
  const StreamClock& Clock() const { return m_clock; }

  /// Sets entry `index`. Returns a one-line message for the user when a text was refused and the
  /// same text was not refused just before (MLT sets every value before every frame); else none.
  /// An index out of range is ignored.
  std::optional<std::string> Set(std::size_t index, const FlatValue& value);
  /// The value of entry `index` as Set takes it (a default FlatValue for an index out of range).
  /// A text stays valid until the next Set of that entry.
  const FlatValue& Get(std::size_t index);

  /// Renders one RGBA frame stamped `hostTime` (the host's unit) from `in` to `out`; they may be
  /// the same memory. Returns the effect's result.
  VOKRESULT Render(const FrameView& in, const FrameView& out, double hostTime);

 private:
  double NumberOf(const FlatParameters::Entry& entry, const ParameterValue& parameter) const;

  const FlatParameters& m_parameters;
  EffectInstance m_effect;
  StreamClock m_clock;
  std::vector<std::string> m_texts;     ///< last accepted text of each Text entry
  std::vector<std::string> m_refused;   ///< last refused text of each entry, to say it once
  std::vector<FlatValue> m_read;        ///< what Get handed out last
};

}  // namespace zel::host
