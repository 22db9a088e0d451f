// The project file as the preview saves it: what ProjectText writes, read back by the reader that
// zelhost render uses and applied to a fresh instance of the built plug-in, gives every parameter
// the same value at every frame; the font record goes as "font" when its fields say all of it.
// Also the host's side of the preview's keys: removing a key and resetting an instance.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "render/EffectInstance.h"
#include "settings/FontOption.h"
#include "settings/ParameterSettings.h"
#include "loading/PluginModule.h"
#include "settings/ProjectFile.h"

namespace zel::host {
namespace {

using zel::host::EffectInstance;
using zel::host::ParamValue;

class ProjectWriteTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { s_plugin = new zel::host::Plugin(zel::host::DefaultPluginPath()); }
  static void TearDownTestSuite() {
    delete s_plugin;
    s_plugin = nullptr;
  }

  static void Apply(EffectInstance& instance, const std::vector<const char*>& sets) {
    for (const char* s : sets) ApplySetting(instance, ParseSetOption(s));
  }

  /// Every parameter of `a` and `b` holds the same keys and the same value at each frame checked.
  static void ExpectSame(const EffectInstance& a, const EffectInstance& b) {
    for (std::size_t i = 0; i < a.All().size(); ++i) {
      const zel::host::ParameterValue& pa = *a.All()[i].Get();
      const zel::host::ParameterValue& pb = *b.All()[i].Get();
      SCOPED_TRACE(pa.Name());
      EXPECT_EQ(pa.KeyTimes(), pb.KeyTimes());
      for (double t : {0.0, 3.0, 7.5, 10.0, 99.0}) {
        const ParamValue va = pa.ValueAt(t), vb = pb.ValueAt(t);
        EXPECT_EQ(va.num, vb.num) << "at " << t;
        EXPECT_EQ(va.text, vb.text) << "at " << t;
        EXPECT_EQ(va.bytes, vb.bytes) << "at " << t;
      }
    }
  }

  static zel::host::Plugin* s_plugin;
};
zel::host::Plugin* ProjectWriteTest::s_plugin = nullptr;

TEST_F(ProjectWriteTest, WhatIsWrittenReadsBackToTheSameSetup) {
  const struct {
    const char* name;
    std::vector<const char*> sets;
    std::vector<std::uint8_t> font;  ///< a record to store in "PrivateData" first, or none
  } cases[] = {
      {"defaults", {}, {}},
      {"constants of every kind",
       {"Clock Type List=LED clock", "Alignment List=Right Alignment", "X=12.345678901234", "Time Speed Factor=-3",
        "Count Down=yes", "Style List=Free Format", "Start Time=%H:%M \"quoted\" \\ text", "Background RGB Color=1,2,3"},
       {}},
      {"keys on numbers, lists and a whole colour",
       {"Size@0=20", "Size@10=60", "Clock Type List@0=Analog Clock", "Clock Type List@7.5=Digital Clock",
        "Foreground RGB Color@0=0,0,0", "Foreground RGB Color@10=255,128,1"},
       {}},
      {"a key on one channel of a colour", {"Foreground Red@3=10", "Foreground Red@10=200", "Foreground Green=7"}, {}},
      {"a font the fields say", {}, MakeFontRecord(ParseFontSpec("Liberation Mono,-45,700,1,0,1"))},
      {"a font record with more than the fields", {}, [] {
         std::vector<std::uint8_t> r = MakeFontRecord(ParseFontSpec("Liberation Serif"));
         r[4] = 9;  // a width
         return r;
       }()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EffectInstance set(*s_plugin);
    Apply(set, c.sets);
    if (!c.font.empty()) {
      ParamValue v;
      v.bytes = c.font;
      ASSERT_TRUE(set.Get("PrivateData").Set(v));
    }
    const std::string text = ProjectText(set);
    EffectInstance read(*s_plugin);
    ApplyProject(read, ParseProject(text, "saved.json"), "saved.json");
    ExpectSame(set, read);

    const nlohmann::json json = nlohmann::json::parse(text);
    // A font its fields describe is written as one; any other record byte for byte.
    const bool plainFont = c.font.empty() || FontSpecOfRecord(c.font).has_value();
    EXPECT_EQ(json.contains("font"), plainFont) << text;
    EXPECT_EQ(json["parameters"].contains("PrivateData"), !plainFont) << text;
    // Lists go by their list box's name and item names.
    EXPECT_TRUE(json["parameters"]["Clock Type List"].is_string() || json["parameters"]["Clock Type List"].is_array());
  }
}

TEST_F(ProjectWriteTest, ColourIsWrittenWholeUnlessAChannelHasKeys) {
  EffectInstance whole(*s_plugin);
  Apply(whole, {"Foreground RGB Color=255,230,80"});
  const nlohmann::json a = nlohmann::json::parse(ProjectText(whole));
  EXPECT_EQ(a["parameters"]["Foreground RGB Color"], nlohmann::json::array({255.0, 230.0, 80.0}));
  EXPECT_FALSE(a["parameters"].contains("Foreground Red"));

  EffectInstance channels(*s_plugin);
  Apply(channels, {"Foreground Red@0=1", "Foreground Red@5=2"});
  const nlohmann::json b = nlohmann::json::parse(ProjectText(channels));
  EXPECT_FALSE(b["parameters"].contains("Foreground RGB Color"));
  EXPECT_EQ(b["parameters"]["Foreground Red"].size(), 2u);
}

TEST_F(ProjectWriteTest, SaveReplacesTheFileWholeOrLeavesItAlone) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("zel-project-write-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::filesystem::path path = dir / "look.json";
  std::ofstream(path) << "old";
  EffectInstance instance(*s_plugin);
  Apply(instance, {"X=25"});
  WriteProject(instance, path.string());
  std::stringstream saved;
  saved << std::ifstream(path).rdbuf();
  EXPECT_EQ(saved.str(), ProjectText(instance));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1) << "nothing left beside it";

  const std::string missing = (dir / "no-such-folder" / "look.json").string();
  try {
    WriteProject(instance, missing);
    ADD_FAILURE() << "saved into a folder that is not there";
  } catch (const ProjectError& e) {
    EXPECT_NE(std::string(e.what()).find("project '" + missing + "': cannot save it"), std::string::npos) << e.what();
  }
  std::filesystem::remove_all(dir);
}

TEST_F(ProjectWriteTest, RemovingTheLastKeyKeepsItsValueAndResetBringsBackTheDefaults) {
  EffectInstance instance(*s_plugin);
  Apply(instance, {"X=10", "X@5=70", "X@10=90", "Foreground RGB Color@2=1,2,3"});
  zel::host::ParameterValue& x = instance.Get("X");
  EXPECT_TRUE(x.HasKeyAt(5));
  EXPECT_FALSE(x.RemoveKeyAt(6)) << "no key there";
  EXPECT_TRUE(x.RemoveKeyAt(10));
  EXPECT_TRUE(x.RemoveKeyAt(5));
  EXPECT_FALSE(x.Keyed());
  EXPECT_EQ(x.ValueAt(0).num[0], 70) << "the last key's value stays, not the constant from before the keys";
  zel::host::ParameterValue& colour = instance.Get("Foreground RGB Color");
  EXPECT_TRUE(colour.Keyed());
  EXPECT_TRUE(colour.HasKeyAt(2));

  instance.ResetToDefaults();
  EffectInstance fresh(*s_plugin);
  ExpectSame(instance, fresh);
}

}  // namespace
}  // namespace zel::host
