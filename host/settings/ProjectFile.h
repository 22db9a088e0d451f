// A project file: the parameter values and font of a render kept in JSON, so that a look can be
// saved, shared and rendered again.
//
//   {
//     "parameters": {
//       "Clock Type List": "Digital Clock",
//       "X": 25,
//       "Size": [{"frame": 0, "value": 20}, {"frame": 250, "value": 60}],
//       "Foreground RGB Color": [255, 230, 80],
//       "Count Down": true
//     },
//     "font": "Liberation Serif,-40,bold",
//     "timecode": "source",
//     "datetime": "source"
//   }
//
// "timecode" and "datetime" say where the clock starts, as zelhost's --timecode and --datetime
// do (docs/timecode.md); the command line's win. "parameters" maps a display name (or a list box's name) to a constant or to a list of keys;
// a value is a number, a boolean, a text (an item's name for a list) or three numbers for a
// colour. "font" is a --font text or an object with the same keys ({"face": ..., "weight":
// "bold"}). Every member is optional; any other member is an error, so that a typo does not pass
// silently. Entries apply in the order they are written.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "settings/FontOption.h"
#include "settings/ParameterSettings.h"

namespace zel::host {

struct Project {
  std::vector<ParameterSetting> settings;  ///< in file order; `where` names the file and entry
  std::optional<FontSpec> font;
  std::string timeCode;  ///< "timecode": "source" or HH:MM:SS:FF; empty: none
  std::string dateTime;  ///< "datetime": "source" or ISO 8601; empty: none
};

/// A project file that cannot be read or does not have the shape above. The message starts with
/// "project 'FILE'" and says where in it (line and column, or the member) and what is wrong.
class ProjectError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Reads and checks the file at `path`. Throws ProjectError.
Project ReadProject(const std::string& path);
/// The same from text already read; `path` is for messages only.
Project ParseProject(std::string_view text, const std::string& path);

/// Applies a project to `instance`: the settings in file order, then the font. Throws
/// zel::host::HostError that says where in the project the value came from.
void ApplyProject(zel::host::EffectInstance& instance, const Project& project, const std::string& path);

/// The project that gives every parameter of `instance` the value (or the keys) it has now, as
/// ReadProject and ApplyProject read it: each parameter under the name that finds it, in
/// registration order; a list by its item's name; a colour as [red, green, blue] unless a
/// channel is keyed (then the channels one by one); the font record as "font" when its fields
/// say all of it, else "PrivateData" in hexadecimal.
/// `timeCode` and `dateTime`, when not empty, are written as "timecode" and "datetime".
std::string ProjectText(const zel::host::EffectInstance& instance, const std::string& timeCode = {},
                        const std::string& dateTime = {});
/// Writes ProjectText to `path`: beside it first, renamed over it on success, so that a failed
/// save leaves the file that was there. Throws ProjectError naming the file and the reason.
void WriteProject(const zel::host::EffectInstance& instance, const std::string& path, const std::string& timeCode = {},
                  const std::string& dateTime = {});

}  // namespace zel::host
