// Parameter values as a user gives them: "NAME=VALUE" for a constant, "NAME@FRAME=VALUE" for a
// keyframe, from the command line (--set) or a project file; and applying them to an effect
// instance with messages that say where the value came from.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "render/EffectInstance.h"

namespace zel::host {

/// One value for one parameter.
struct ParameterSetting {
  std::string name;              ///< display name or list-box name, as the user wrote it
  std::string value;             ///< the value as text (see EffectInstance::Parse)
  std::optional<double> frame;   ///< a keyframe at this frame, or none for a constant value
  std::string where;             ///< where it came from, for messages ("--set 'X=150'")
};

/// A --set text that is not NAME=VALUE or NAME@FRAME=VALUE.
class SettingSyntaxError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Reads "NAME=VALUE" or "NAME@FRAME=VALUE" (FRAME a finite number, fractions allowed). The name
/// ends at the first '='; the value is everything after it and may itself hold '=' or '@'.
/// Blanks around the name and the frame are ignored; the value is taken as written.
/// Throws SettingSyntaxError.
ParameterSetting ParseSetOption(std::string_view text);

/// Sets `setting` on `instance`. Throws zel::host::HostError whose message starts with
/// setting.where and names the parameter, the value and, for a number out of range, the range.
void ApplySetting(zel::host::EffectInstance& instance, const ParameterSetting& setting);

}  // namespace zel::host
