// zel2clock.so: the clock as a frei0r filter. A host of ZEL2Clock.zel like zelhost: it loads the
// plug-in through the host library, makes one effect instance per frei0r instance and renders every
// f0r_update through the effect on the client's RGBA frame. What the parameters look like and how
// time stamps become render times lives in the host library (FlatParameters.h, StreamClock.h).
//
// The plug-in is ZEL2CLOCK_PLUGIN when that is set, else ZEL2Clock.zel beside this module, else
// one folder up (the build tree: bin/frei0r-1/zel2clock.so beside bin/zelhost).
//
// Clients call f0r_init and f0r_deinit once per filter they make (FFmpeg does), so the plug-in is
// loaded by the first f0r_init and let go by the last f0r_deinit. Nothing here lets an exception
// or a failure reach the client: a frame the effect cannot render passes through unchanged.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The header declares the entry points without C linkage or visibility; both are the module's to give.
#pragma GCC visibility push(default)
extern "C" {
#include <frei0r.h>
}
#pragma GCC visibility pop

#include "parameters/FlatParameters.h"
#include "render/FrameLimits.h"
#include "settings/FontOption.h"
#include "loading/Instrumentation.h"
#include "loading/PluginModule.h"

namespace {

using zel::host::FlatInstance;
using zel::host::FlatKind;
using zel::host::FlatParameters;
using zel::host::FlatValue;

constexpr const char* kPluginVariable = "ZEL2CLOCK_PLUGIN";
/// The module's own parameter after the effect's: what a frame's alpha holds after a render. The
/// effect writes the clock's coverage there, as in zelhost; editors composite every track over the
/// one below, where that alpha would let the clip below show through an opaque clip. "input" keeps
/// the frame's own alpha, and the colours are the effect's either way.
constexpr const char* kAlphaName = "Alpha";
constexpr const char* kAlphaCoverage = "coverage";
constexpr const char* kAlphaInput = "input";
constexpr const char* kPluginFile = "ZEL2Clock.zel";
/// Largest frame side the module takes: the host's own.
constexpr unsigned kMaxSide = zel::host::kMaxFrameSide;

void Say(const std::string& line) { std::fprintf(stderr, "zel2clock: %s\n", line.c_str()); }

std::filesystem::path PluginPath() {
  if (const char* set = std::getenv(kPluginVariable); set != nullptr && *set != '\0') return set;
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&f0r_init), &info) == 0 || info.dli_fname == nullptr) return kPluginFile;
  const std::filesystem::path folder = std::filesystem::absolute(info.dli_fname).parent_path();
  std::error_code ec;
  if (std::filesystem::exists(folder / kPluginFile, ec)) return folder / kPluginFile;
  if (std::filesystem::exists(folder.parent_path() / kPluginFile, ec)) return folder.parent_path() / kPluginFile;
  return folder / kPluginFile;
}

/// What f0r_init loads, shared by every instance.
struct Loaded {
  std::mutex mutex;
  int users = 0;  ///< f0r_init calls not yet matched by f0r_deinit
  std::unique_ptr<zel::host::Plugin> plugin;
  std::unique_ptr<zel::host::Catalogue> catalogue;
  std::unique_ptr<FlatParameters> parameters;
  std::string failure;  ///< why the plug-in is not loaded
  /// The last failure said. Editors load the module and call f0r_init again and again (for its
  /// parameter list, for every filter); the same reason is one line in their log, not one a call.
  /// The module is never unloaded (linked with -z nodelete), so this outlives a client's dlclose.
  std::string failureSaid;

  void SayFailure() {
    if (failure == failureSaid) return;
    failureSaid = failure;
    Say(failure);
  }
};

Loaded& Global() {
  static Loaded loaded;
  return loaded;
}

std::vector<std::uint8_t> ReadFont(std::string_view text) { return zel::host::MakeFontRecord(zel::host::ParseFontSpec(text)); }

struct Instance {
  Instance(zel::host::Plugin& plugin, const FlatParameters& parameters, unsigned width, unsigned height)
      : flat(plugin, parameters), width(width), height(height) {}
  FlatInstance flat;
  const unsigned width, height;
  bool failureSaid = false;
  bool keepAlpha = false;         ///< "Alpha" is "input"
  std::string refusedAlpha;       ///< the last "Alpha" text refused, to say it once
  std::vector<std::uint8_t> alpha;  ///< the input's alpha, kept across an in-place render
};

zel::host::FrameView ViewOf(const Instance& instance, const std::uint32_t* frame) {
  return {reinterpret_cast<std::uint8_t*>(const_cast<std::uint32_t*>(frame)), instance.width, instance.height,
          std::size_t{instance.width} * 4, zel::host::PixelKind::Rgba};
}

/// The index of "Alpha": right after the effect's parameters.
int AlphaIndex() {
  const FlatParameters* parameters = Global().parameters.get();
  return parameters ? static_cast<int>(parameters->Entries().size()) : -1;
}

const FlatParameters::Entry* EntryAt(int index) {
  const FlatParameters* parameters = Global().parameters.get();
  if (parameters == nullptr || index < 0 || static_cast<std::size_t>(index) >= parameters->Entries().size()) return nullptr;
  return &parameters->Entries()[static_cast<std::size_t>(index)];
}

int Frei0rType(FlatKind kind) {
  switch (kind) {
    case FlatKind::Boolean: return F0R_PARAM_BOOL;
    case FlatKind::Number: return F0R_PARAM_DOUBLE;
    case FlatKind::Colour: return F0R_PARAM_COLOR;
    case FlatKind::Position: return F0R_PARAM_POSITION;
    case FlatKind::Text: return F0R_PARAM_STRING;
  }
  return F0R_PARAM_DOUBLE;
}

}  // namespace

extern "C" {

/// Returns 1 when the plug-in is loaded and registered, else 0 after one line on standard error;
/// f0r_construct then refuses every instance.
int f0r_init(void) {
  Loaded& g = Global();
  std::lock_guard lock(g.mutex);
  if (g.users++ > 0) return g.plugin ? 1 : 0;
  try {
    g.plugin = std::make_unique<zel::host::Plugin>(PluginPath());
    const zel::host::ComponentDefinition* effect = g.plugin->Effect();
    if (effect == nullptr) throw zel::host::HostError("plug-in " + g.plugin->Module().Path().string() + " has no effect");
    g.catalogue = std::make_unique<zel::host::Catalogue>(*effect);
    g.parameters = std::make_unique<FlatParameters>(*g.catalogue, ReadFont);
    g.failure.clear();
    g.failureSaid.clear();
    return 1;
  } catch (const std::exception& e) {
    g.parameters.reset();
    g.catalogue.reset();
    g.plugin.reset();
    g.failure = std::string("cannot load the clock plug-in: ") + e.what() + " (set " + kPluginVariable + " to its path)";
    g.SayFailure();
    return 0;
  }
}

void f0r_deinit(void) {
  Loaded& g = Global();
  std::lock_guard lock(g.mutex);
  if (g.users == 0 || --g.users > 0) return;
  g.parameters.reset();
  g.catalogue.reset();
  g.plugin.reset();
}

void f0r_get_plugin_info(f0r_plugin_info_t* info) {
  if (info == nullptr) return;
  const FlatParameters* parameters = Global().parameters.get();
  info->name = "zel2clock";
  info->author = "ZEL2Clock";
  info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
  info->color_model = F0R_COLOR_MODEL_RGBA8888;
  info->frei0r_version = FREI0R_MAJOR_VERSION;
  info->major_version = 1;
  info->minor_version = 0;
  info->num_params = parameters ? static_cast<int>(parameters->Entries().size()) + 1 : 0;
  info->explanation = "A running clock over the video: analog, digital or LED (the ZEL2Clock plug-in)";
}

void f0r_get_param_info(f0r_param_info_t* info, int index) {
  if (info == nullptr) return;
  if (index >= 0 && index == AlphaIndex()) {
    info->name = kAlphaName;
    info->type = F0R_PARAM_STRING;
    info->explanation = "What the alpha channel holds after the clock is drawn: one of 'coverage', 'input' (coverage: "
                        "the clock's, as zelhost writes it; input: the frame's own, for editors that composite tracks)";
    return;
  }
  const FlatParameters::Entry* entry = EntryAt(index);
  info->name = entry ? entry->name.c_str() : "";
  info->type = entry ? Frei0rType(entry->kind) : F0R_PARAM_DOUBLE;
  info->explanation = entry ? entry->explanation.c_str() : "";
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
  Loaded& g = Global();
  std::lock_guard lock(g.mutex);
  if (!g.plugin) {
    if (g.failure.empty()) g.failure = "f0r_construct before f0r_init: the clock plug-in is not loaded";
    g.SayFailure();
    return nullptr;
  }
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
    Say("cannot render " + std::to_string(width) + "x" + std::to_string(height) + " frames: each side must be 1 to " +
        std::to_string(kMaxSide));
    return nullptr;
  }
  try {
    return new Instance(*g.plugin, *g.parameters, width, height);
  } catch (const std::exception& e) {
    Say(std::string("cannot make an instance of the clock: ") + e.what());
    return nullptr;
  }
}

void f0r_destruct(f0r_instance_t instance) { delete static_cast<Instance*>(instance); }

void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
  if (instance != nullptr && param != nullptr && index >= 0 && index == AlphaIndex()) {
    auto* self = static_cast<Instance*>(instance);
    const char* text = *static_cast<const char* const*>(param);
    const std::string value = text ? text : "";
    if (value == kAlphaCoverage || value == kAlphaInput) {
      self->keepAlpha = value == kAlphaInput;
      self->refusedAlpha.clear();
    } else if (value != self->refusedAlpha) {
      self->refusedAlpha = value;
      Say(std::string("parameter '") + kAlphaName + "': '" + value + "' is not coverage or input; keeping " +
          (self->keepAlpha ? kAlphaInput : kAlphaCoverage));
    }
    return;
  }
  const FlatParameters::Entry* entry = EntryAt(index);
  if (instance == nullptr || param == nullptr || entry == nullptr) return;
  FlatValue value;
  switch (entry->kind) {
    case FlatKind::Boolean:
    case FlatKind::Number: value.number = *static_cast<const double*>(param); break;
    case FlatKind::Colour: {
      const auto* c = static_cast<const f0r_param_color_t*>(param);
      value.colour = {c->r, c->g, c->b};
      break;
    }
    case FlatKind::Position: {
      const auto* p = static_cast<const f0r_param_position_t*>(param);
      value.position = {p->x, p->y};
      break;
    }
    case FlatKind::Text: {
      const char* text = *static_cast<const char* const*>(param);
      value.text = text ? text : "";
      break;
    }
  }
  try {
    if (const auto message = static_cast<Instance*>(instance)->flat.Set(static_cast<std::size_t>(index), value))
      Say(*message);
  } catch (const std::exception& e) {
    Say("parameter '" + entry->name + "': " + e.what());
  }
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
  if (instance != nullptr && param != nullptr && index >= 0 && index == AlphaIndex()) {
    *static_cast<const char**>(param) = static_cast<Instance*>(instance)->keepAlpha ? kAlphaInput : kAlphaCoverage;
    return;
  }
  const FlatParameters::Entry* entry = EntryAt(index);
  if (instance == nullptr || param == nullptr || entry == nullptr) return;
  try {
    const FlatValue& value = static_cast<Instance*>(instance)->flat.Get(static_cast<std::size_t>(index));
    switch (entry->kind) {
      case FlatKind::Boolean:
      case FlatKind::Number: *static_cast<double*>(param) = value.number; break;
      case FlatKind::Colour:
        *static_cast<f0r_param_color_t*>(param) = {static_cast<float>(value.colour[0]), static_cast<float>(value.colour[1]),
                                                   static_cast<float>(value.colour[2])};
        break;
      case FlatKind::Position: *static_cast<f0r_param_position_t*>(param) = {value.position[0], value.position[1]}; break;
      case FlatKind::Text: *static_cast<const char**>(param) = value.text.c_str(); break;
    }
  } catch (const std::exception& e) {
    Say("parameter '" + entry->name + "': " + e.what());
  }
}

void f0r_update(f0r_instance_t instance, double time, const std::uint32_t* inframe, std::uint32_t* outframe) {
  auto* self = static_cast<Instance*>(instance);
  if (self == nullptr || inframe == nullptr || outframe == nullptr) return;
  const std::size_t pixels = std::size_t{self->width} * self->height;
  const auto* in = reinterpret_cast<const std::uint8_t*>(inframe);
  auto* out = reinterpret_cast<std::uint8_t*>(outframe);
  if (self->keepAlpha && inframe == outframe) {
    self->alpha.resize(pixels);
    for (std::size_t i = 0; i < pixels; ++i) self->alpha[i] = in[i * 4 + 3];
  }
  VOKRESULT rc = VOK_E_UNEXPECTED;
  std::string why;
  try {
    rc = self->flat.Render(ViewOf(*self, inframe), ViewOf(*self, outframe), time);
    why = zel::host::ResultText(rc);
  } catch (const std::exception& e) {
    why = e.what();
  }
  if (VOKSUCCEEDED(rc)) {
    if (self->keepAlpha) {
      const std::uint8_t* source = inframe == outframe ? self->alpha.data() : in + 3;
      const std::size_t step = inframe == outframe ? 1 : 4;
      for (std::size_t i = 0; i < pixels; ++i) out[i * 4 + 3] = source[i * step];
    }
    return;
  }
  if (!self->failureSaid) {
    self->failureSaid = true;
    Say("the effect failed at time " + std::to_string(time) + " (" + why + "); frames pass through unchanged");
  }
  if (inframe != outframe) std::memcpy(outframe, inframe, pixels * 4);
}

/// Host objects alive in this module's host library: 0 after the last f0r_deinit once every
/// instance is destroyed. For tests and diagnostics.
__attribute__((visibility("default"))) std::int64_t zel2clock_live_host_objects(void) { return zel::host::Instrumentation::LiveHostObjects(); }

}  // extern "C"
