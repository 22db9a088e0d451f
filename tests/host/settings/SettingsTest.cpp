// What zelhost render reads besides its plain options: --set texts, --font records, project files,
// and settings applied to a real effect instance of the built plug-in.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "render/EffectInstance.h"
#include "settings/FontOption.h"
#include "settings/ParameterSettings.h"
#include "loading/PluginModule.h"
#include "settings/ProjectFile.h"

namespace zel::host {
namespace {

// --- --set ---------------------------------------------------------------------------------------

TEST(SetOption, ReadsNameFrameAndValue) {
  struct Case {
    const char* text;
    const char* name;
    const char* value;
    std::optional<double> frame;
  };
  const Case cases[] = {
      {"X=5", "X", "5", std::nullopt},
      {"Size@250=60", "Size", "60", 250.0},
      {" Size @ 2.5 =7", "Size", "7", 2.5},
      {"Clock Type List=Digital Clock", "Clock Type List", "Digital Clock", std::nullopt},
      // The value is everything after the first '=', '=' and '@' included.
      {"Start Time=%H=%M@x", "Start Time", "%H=%M@x", std::nullopt},
      {"X@-3=1", "X", "1", -3.0},
      {"X=", "X", "", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const ParameterSetting s = ParseSetOption(c.text);
    EXPECT_EQ(s.name, c.name);
    EXPECT_EQ(s.value, c.value);
    EXPECT_EQ(s.frame, c.frame);
    EXPECT_EQ(s.where, std::string("--set '") + c.text + "'");
  }
}

TEST(SetOption, RefusesWhatIsNotNameEqualsValue) {
  struct Case {
    const char* text;
    const char* why;
  };
  const Case cases[] = {
      {"X", "no '='"},
      {"=5", "no parameter name"},
      {"  =5", "no parameter name"},
      {"@3=5", "no parameter name"},
      {"X@=5", "the frame '' is not a number"},
      {"X@abc=5", "the frame 'abc' is not a number"},
      {"X@inf=5", "the frame 'inf' is not a number"},
      {"X@1e999=5", "is not a number"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      ParseSetOption(c.text);
      ADD_FAILURE() << "accepted";
    } catch (const SettingSyntaxError& e) {
      const std::string message = e.what();
      EXPECT_EQ(message.rfind(std::string("--set '") + c.text + "': ", 0), 0u) << message;
      EXPECT_NE(message.find(c.why), std::string::npos) << message;
      EXPECT_NE(message.find("NAME=VALUE or NAME@FRAME=VALUE"), std::string::npos) << message;
    }
  }
}

// --- --font --------------------------------------------------------------------------------------

TEST(FontSpec, ReadsPositionalAndNamedForms) {
  struct Case {
    const char* text;
    FontSpec expected;
  };
  const Case cases[] = {
      {"Liberation Mono", {"Liberation Mono", -32, 0, false, false, false}},
      {"Liberation Mono,-40", {"Liberation Mono", -40, 0, false, false, false}},
      {" DejaVu Serif , 50 , bold , 1 , yes , on", {"DejaVu Serif", 50, 700, true, true, true}},
      {"Arial,,600", {"Arial", -32, 600, false, false, false}},
      {",-20", {"", -20, 0, false, false, false}},
      {"Arial,-32,Normal,0,0,0", {"Arial", -32, 400, false, false, false}},
      {"face=DejaVu Sans,italic=true", {"DejaVu Sans", -32, 0, true, false, false}},
      {"weight=black,FACE=X,strike=1,height=-1000", {"X", -1000, 900, false, false, true}},
      {"underline=off,weight=123", {"", -32, 123, false, false, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const FontSpec s = ParseFontSpec(c.text);
    EXPECT_EQ(s.face, c.expected.face);
    EXPECT_EQ(s.height, c.expected.height);
    EXPECT_EQ(s.weight, c.expected.weight);
    EXPECT_EQ(s.italic, c.expected.italic);
    EXPECT_EQ(s.underline, c.expected.underline);
    EXPECT_EQ(s.strikeOut, c.expected.strikeOut);
  }
}

TEST(FontSpec, RefusesBadFields) {
  struct Case {
    const char* text;
    const char* why;
  };
  const Case cases[] = {
      {"", "is empty"},
      {"   ", "is empty"},
      {"Arial,0", "height '0' is outside"},
      {"Arial,1001", "height '1001' is outside"},
      {"Arial,big", "height 'big' is not a whole number"},
      {"Arial,-32,heavyish", "weight 'heavyish' is neither"},
      {"Arial,-32,1001", "weight '1001' is outside 0..1000"},
      {"Arial,-32,400,maybe", "italic 'maybe' is not a yes/no value"},
      {"Arial,-32,400,0,2", "underline '2' is not a yes/no value"},
      {"Arial,-32,400,0,0,x", "strikeout 'x' is not a yes/no value"},
      {"Arial,-32,400,0,0,0,7", "has 7 fields"},
      {"face=Arial,colour=red", "has no key 'colour'"},
      {"face=Arial,bold", "'bold' is not key=value"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      ParseFontSpec(c.text);
      ADD_FAILURE() << "accepted";
    } catch (const FontSpecError& e) {
      EXPECT_NE(std::string(e.what()).find(c.why), std::string::npos) << e.what();
    }
  }
}

std::int32_t Int32At(const std::vector<std::uint8_t>& record, std::size_t at) {
  std::int32_t v;
  std::memcpy(&v, record.data() + at, 4);
  return v;
}

TEST(FontRecord, LaysOutTheFieldsAt92Bytes) {
  FontSpec spec;
  spec.face = "Liberation Serif";
  spec.height = -45;
  spec.weight = 700;
  spec.italic = true;
  spec.strikeOut = true;
  const std::vector<std::uint8_t> r = MakeFontRecord(spec);
  ASSERT_EQ(r.size(), 92u);
  EXPECT_EQ(Int32At(r, 0), -45);                  // height
  EXPECT_EQ(Int32At(r, 4), 0);                    // width
  EXPECT_EQ(Int32At(r, 8), 0);                    // escapement
  EXPECT_EQ(Int32At(r, 12), 0);                   // orientation
  EXPECT_EQ(Int32At(r, 16), 700);                 // weight
  EXPECT_EQ(r[20], 1);                            // italic
  EXPECT_EQ(r[21], 0);                            // underline
  EXPECT_EQ(r[22], 1);                            // strike-out
  EXPECT_EQ(r[23], 1);                            // character set: default
  for (std::size_t i = 24; i < 28; ++i) EXPECT_EQ(r[i], 0) << i;
  const std::u16string face = u"Liberation Serif";
  for (std::size_t i = 0; i < 32; ++i) {
    const char16_t unit = static_cast<char16_t>(r[28 + 2 * i] | r[28 + 2 * i + 1] << 8);
    EXPECT_EQ(unit, i < face.size() ? face[i] : u'\0') << "unit " << i;
  }
}

TEST(FontRecord, DefaultSpecGivesTheEffectsDefaultRecord) {
  // Height -32, character set 1, everything else 0: the record the effect registers.
  std::vector<std::uint8_t> expected(92, 0);
  expected[0] = 0xE0;
  expected[1] = expected[2] = expected[3] = 0xFF;
  expected[23] = 1;
  EXPECT_EQ(MakeFontRecord(FontSpec{}), expected);
}

TEST(FontRecord, FaceNamesCountUtf16Units) {
  struct Case {
    std::string face;
    bool fits;
  };
  const Case cases[] = {
      {std::string(31, 'a'), true},
      {std::string(32, 'a'), false},
      {"\xC3\x9C" + std::string(30, 'b'), true},           // two UTF-8 bytes, one unit: 31 units
      {"\xF0\x9F\x95\x90" + std::string(29, 'c'), true},   // one emoji, two units: 31 units
      {"\xF0\x9F\x95\x90" + std::string(30, 'c'), false},  // 32 units
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.face);
    FontSpec spec;
    spec.face = c.face;
    if (c.fits) {
      const auto r = MakeFontRecord(spec);
      EXPECT_EQ(r[28 + 2 * 31], 0);
      EXPECT_EQ(r[28 + 2 * 31 + 1], 0);
    } else {
      EXPECT_THROW(MakeFontRecord(spec), FontSpecError);
    }
  }
  FontSpec umlaut;
  umlaut.face = "\xC3\x9C";  // U+00DC
  const auto r = MakeFontRecord(umlaut);
  EXPECT_EQ(r[28], 0xDC);
  EXPECT_EQ(r[29], 0x00);
  FontSpec clock;
  clock.face = "\xF0\x9F\x95\x90";  // U+1F550: D83D DD50
  const auto s = MakeFontRecord(clock);
  EXPECT_EQ(s[28] | s[29] << 8, 0xD83D);
  EXPECT_EQ(s[30] | s[31] << 8, 0xDD50);
}

// --- project files -------------------------------------------------------------------------------

TEST(ProjectFile, ReadsParametersInOrderWithKeysAndFont) {
  const Project p = ParseProject(R"({
    "parameters": {
      "X": 25,
      "Size": [{"frame": 0, "value": 20}, {"value": 60.5, "frame": 250}],
      "Clock Type List": "Digital Clock",
      "Foreground RGB Color": [255, 230, 80.5],
      "Count Down": true,
      "Alignment List": 1
    },
    "font": {"face": "Liberation Mono", "weight": "bold", "italic": true, "height": -40}
  })",
                                 "look.json");
  struct Expected {
    const char* name;
    const char* value;
    std::optional<double> frame;
    const char* where;
  };
  const Expected expected[] = {
      {"X", "25", std::nullopt, "project 'look.json', parameter 'X'"},
      {"Size", "20", 0.0, "project 'look.json', parameter 'Size', key 1"},
      {"Size", "60.5", 250.0, "project 'look.json', parameter 'Size', key 2"},
      {"Clock Type List", "Digital Clock", std::nullopt, "project 'look.json', parameter 'Clock Type List'"},
      {"Foreground RGB Color", "255,230,80.5", std::nullopt, "project 'look.json', parameter 'Foreground RGB Color'"},
      {"Count Down", "true", std::nullopt, "project 'look.json', parameter 'Count Down'"},
      {"Alignment List", "1", std::nullopt, "project 'look.json', parameter 'Alignment List'"},
  };
  ASSERT_EQ(p.settings.size(), std::size(expected));
  for (std::size_t i = 0; i < p.settings.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(p.settings[i].name, expected[i].name);
    EXPECT_EQ(p.settings[i].value, expected[i].value);
    EXPECT_EQ(p.settings[i].frame, expected[i].frame);
    EXPECT_EQ(p.settings[i].where, expected[i].where);
  }
  ASSERT_TRUE(p.font);
  EXPECT_EQ(p.font->face, "Liberation Mono");
  EXPECT_EQ(p.font->weight, 700);
  EXPECT_TRUE(p.font->italic);
  EXPECT_EQ(p.font->height, -40);

  const Project text = ParseProject(R"({"font": "DejaVu Serif,-20"})", "f.json");
  EXPECT_TRUE(text.settings.empty());
  ASSERT_TRUE(text.font);
  EXPECT_EQ(text.font->face, "DejaVu Serif");
  EXPECT_EQ(ParseProject("{}", "empty.json").settings.size(), 0u);
}

TEST(ProjectFile, ReportsWhatIsWrongAndWhere) {
  struct Case {
    const char* text;
    const char* message;  ///< the whole message must contain this
  };
  const Case cases[] = {
      {"", "project 'p.json': parse error at line 1, column 1"},
      {"{\"parameters\": {\"X\": }", "project 'p.json': parse error at line 1, column 22"},
      {"{\n  \"parameters\": {\n    \"X\": 1,\n  }\n}", "parse error at line 4, column 3"},
      {"[1, 2]", "project 'p.json': expected a JSON object"},
      {"{\"parameter\": {}}", "project 'p.json': unknown member 'parameter'"},
      {"{\"parameters\": [1]}", "\"parameters\" must be an object"},
      {"{\"parameters\": {\"X\": null}}", "project 'p.json', parameter 'X': a value must be"},
      {"{\"parameters\": {\"X\": {\"frame\": 1}}}", "parameter 'X': a value must be"},
      {"{\"parameters\": {\"X\": [1, 2]}}", "parameter 'X': a value must be"},
      {"{\"parameters\": {\"X\": [{\"value\": 1}]}}", "parameter 'X', key 1: \"frame\" must be a number"},
      {"{\"parameters\": {\"X\": [{\"frame\": \"1\", \"value\": 1}]}}", "key 1: \"frame\" must be a number"},
      {"{\"parameters\": {\"X\": [{\"frame\": 1}]}}", "key 1: \"value\" is missing"},
      {"{\"parameters\": {\"X\": [{\"frame\": 0, \"value\": 1}, 5]}}", "key 2: a key must be"},
      {"{\"parameters\": {\"X\": [{\"frame\": 0, \"value\": 1, \"ease\": 2}]}}", "key 1: unknown member 'ease'"},
      {"{\"font\": 12}", "project 'p.json', font must be a text or an object"},
      {"{\"font\": \"Arial,0\"}", "project 'p.json', font height '0' is outside"},
      {"{\"font\": {\"size\": 3}}", "font has no key 'size'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      ParseProject(c.text, "p.json");
      ADD_FAILURE() << "accepted";
    } catch (const ProjectError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
      EXPECT_EQ(std::string(e.what()).find('\n'), std::string::npos) << "one line: " << e.what();
    }
  }
  try {
    ReadProject("/nonexistent/p.json");
    ADD_FAILURE() << "read a file that is not there";
  } catch (const ProjectError& e) {
    EXPECT_NE(std::string(e.what()).find("project '/nonexistent/p.json': cannot read it"), std::string::npos);
  }
}

// --- settings on a real effect instance --------------------------------------------------------

class ApplySettingTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { s_plugin = new zel::host::Plugin(zel::host::DefaultPluginPath()); }
  static void TearDownTestSuite() {
    delete s_plugin;
    s_plugin = nullptr;
  }
  static zel::host::Plugin* s_plugin;
};
zel::host::Plugin* ApplySettingTest::s_plugin = nullptr;

TEST_F(ApplySettingTest, SetsConstantsListsAndKeys) {
  zel::host::EffectInstance instance(*s_plugin);
  const std::vector<ParameterSetting> settings = {
      ParseSetOption("X=12.5"),
      ParseSetOption("Size@0=20"),
      ParseSetOption("Size@10=40"),
      ParseSetOption("Clock Type List=digital clock"),  // an item's name in any case
      ParseSetOption("Style List=14"),                  // an item's value
      ParseSetOption("Count Down=yes"),
      ParseSetOption("Foreground RGB Color=1,2,3"),
      ParseSetOption("Time Speed Factor@4=-2"),
  };
  for (const ParameterSetting& s : settings) ApplySetting(instance, s);
  struct Check {
    const char* name;
    std::optional<double> time;
    double value;
  };
  const Check checks[] = {
      {"X", std::nullopt, 12.5},        {"Size", 0.0, 20},  {"Size", 5.0, 30},  {"Size", 10.0, 40},
      {"Size", 99.0, 40},               {"Size", -1.0, 20}, {"the List value", std::nullopt, 1},
      {"Style List", std::nullopt, 14}, {"Count Down", std::nullopt, 1},
      {"Foreground Red", std::nullopt, 1}, {"Foreground Green", std::nullopt, 2}, {"Foreground Blue", std::nullopt, 3},
      {"Time Speed Factor", 0.0, -2},   {"Time Speed Factor", 100.0, -2},
  };
  for (const Check& c : checks) {
    SCOPED_TRACE(std::string(c.name) + " at " + (c.time ? std::to_string(*c.time) : "-"));
    EXPECT_DOUBLE_EQ(instance.Get(c.name).ValueAt(c.time).num[0], c.value);
  }
}

TEST_F(ApplySettingTest, ErrorsNameWhereTheValueCameFrom) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"Foo=1", "--set 'Foo=1': no parameter named 'Foo'"},
      {"X=150", "--set 'X=150': parameter 'X': 150 is outside its range 0..100"},
      {"X@3=-1", "outside its range 0..100"},
      {"Start Time Year=1969", "outside its range 1970..2099"},
      {"Time Speed Factor=2.5", "is not a whole number"},
      {"Clock Type List=Sundial", "'Sundial' is not one of its items ('Analog Clock', 'Digital Clock', 'LED clock')"},
      {"Style List=0", "is not one of its items"},
      {"Count Down=perhaps", "is not a yes/no value"},
      {"Foreground RGB Color=1,2", "is not a colour"},
      {"Foreground RGB Color=1,2,300", "300 is outside the range 0..255 of 'Foreground Blue'"},
      {"PrivateData=00", "expects 92 bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    zel::host::EffectInstance instance(*s_plugin);
    try {
      ApplySetting(instance, ParseSetOption(c.text));
      ADD_FAILURE() << "accepted";
    } catch (const zel::host::HostError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
      EXPECT_EQ(std::string(e.what()).rfind(std::string("--set '") + c.text + "'", 0), 0u) << e.what();
    }
  }
}

}  // namespace
}  // namespace zel::host
