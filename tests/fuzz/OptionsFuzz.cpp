// What zelhost render reads from the user besides file names: --set texts, --font records and
// project files, parsed and applied to a real effect instance. The first byte picks which; the
// rest is the text. Every bad input must end in the reader's own error type; anything else (a
// crash, another exception, a sanitizer report) is a finding.
#include <memory>
#include <string>

#include "render/EffectInstance.h"
#include "settings/FontOption.h"
#include "FuzzSupport.h"
#include "settings/ParameterSettings.h"
#include "settings/ProjectFile.h"

namespace {

using namespace zel::host;
using zel::host::EffectInstance;
using zel::host::HostError;

/// Stores a font as zelhost does: the record into "PrivateData". A value the parameter refuses
/// would be a finding, since MakeFontRecord makes exactly the record's size.
void ApplyFont(EffectInstance& instance, const FontSpec& spec) {
  zel::host::ParamValue value;
  value.bytes = MakeFontRecord(spec);
  if (value.bytes.size() != kFontRecordSize) __builtin_trap();
  if (!instance.Get("PrivateData").Set(value)) __builtin_trap();
}

}  // namespace

// Loads the plug-in before the first input, so that libFuzzer counts its coverage from the start.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  zel::fuzz::ClockPlugin();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const auto instance = std::make_unique<EffectInstance>(zel::fuzz::ClockPlugin());
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  try {
    switch (data[0] % 3) {
      case 0:
        ApplySetting(*instance, ParseSetOption(text));
        break;
      case 1:
        ApplyFont(*instance, ParseFontSpec(text));
        break;
      default: {
        const Project project = ParseProject(text, "fuzz.json");
        for (const ParameterSetting& setting : project.settings) ApplySetting(*instance, setting);
        if (project.font) ApplyFont(*instance, *project.font);
        break;
      }
    }
  } catch (const SettingSyntaxError&) {
  } catch (const FontSpecError&) {
  } catch (const ProjectError&) {
  } catch (const HostError&) {
  }
  return 0;
}
