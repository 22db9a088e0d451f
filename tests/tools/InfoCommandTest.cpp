// zelhost info, run as a user runs it: the built binary with the plug-in beside it. The JSON form
// must parse and carry the whole catalogue; the text form must show the table and the panel tree.
#include <sys/wait.h>

#include <cstdio>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

struct Outcome {
  int exitCode;
  std::string out;
};

/// Runs zelhost with `arguments` and collects its standard output.
Outcome Zelhost(const std::string& arguments) {
  const std::string command = std::string("'") + ZEL_TEST_ZELHOST + "' " + arguments + " 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return {-1, ""};
  std::string out;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  const int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

}  // namespace

TEST(InfoCommand, JsonParsesAndHoldsTheWholeCatalogue) {
  const Outcome run = Zelhost("info --json");
  ASSERT_EQ(run.exitCode, 0);
  const nlohmann::json info = nlohmann::json::parse(run.out);  // throws, and fails the test, if not JSON
  EXPECT_EQ(info["plugin"]["file"], "ZEL2Clock.zel");
  EXPECT_EQ(info["plugin"]["vendor"], "Vorbek");
  EXPECT_EQ(info["plugin"]["description"], "ZEL 2 plugin Clock");
  ASSERT_EQ(info["components"].size(), 4u);
  EXPECT_EQ(info["components"][3]["kind"], "overlay");

  const auto& parameters = info["parameters"];
  ASSERT_EQ(parameters.size(), 33u);
  for (const auto& p : parameters) {
    for (const char* key : {"name", "tooltip", "type", "default", "min", "max", "increment", "remap", "components"})
      EXPECT_TRUE(p.contains(key)) << p["name"] << " lacks " << key;
  }
  // One parameter of each shape: name, type, default, min, max, increment, remap, components.
  struct Case {
    std::size_t index;
    const char* name;
    const char* type;
    nlohmann::json def, min, max, increment, remap, components;
  };
  const nlohmann::json null;
  const Case cases[] = {
      {0, "Alignment List", "integer", null, null, null, null, null, nlohmann::json::array()},
      {1, "Foreground Red", "double", 128, 0, 255, 1, 1, nlohmann::json::array()},
      {4, "Foreground RGB Color", "rgb", null, null, null, null, null,
       {"Foreground Red", "Foreground Green", "Foreground Blue"}},
      {12, "X", "double", 50.0, 0.0, 100.0, 0.05, null, nlohmann::json::array()},
      {15, "Time Speed Factor", "signed integer", 1, -500, 500, 1, null, nlohmann::json::array()},
      {23, "Start Time Year", "integer", 2010, 1970, 2099, 1, null, nlohmann::json::array()},
      {29, "Count Down", "boolean", false, null, null, null, null, nlohmann::json::array()},
      {31, "Start Time", "text", "", null, null, null, null, nlohmann::json::array()},
      {32, "PrivateData", "bytes",
       "e0ffffff000000000000000000000000000000000000000100000000" + std::string(128, '0'), null, null, null, null,
       nlohmann::json::array()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto& p = parameters[c.index];
    EXPECT_EQ(p["name"], c.name);
    EXPECT_EQ(p["type"], c.type);
    EXPECT_EQ(p["default"], c.def);
    EXPECT_EQ(p["min"], c.min);
    EXPECT_EQ(p["max"], c.max);
    EXPECT_EQ(p["increment"], c.increment);
    EXPECT_EQ(p["remap"], c.remap);
    EXPECT_EQ(p["components"], c.components);
  }

  const auto& layout = info["layout"];
  ASSERT_EQ(layout.size(), 6u);
  const char* const top[] = {"Digital Clock Alignment", "Clock Type List", "Position/Size", "Time", "Colors",
                             "Timer Style"};
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(layout[i]["name"], top[i]);
  const auto& alignment = layout[0]["children"][0];
  EXPECT_EQ(alignment["kind"], "list box");
  EXPECT_EQ(alignment["parameter"], "Alignment List");
  ASSERT_EQ(alignment["children"].size(), 3u);
  EXPECT_EQ(alignment["children"][0]["value"], 2);
  EXPECT_EQ(alignment["children"][2]["name"], "Right Alignment");
  EXPECT_EQ(alignment["children"][2]["value"], 0);
  const auto& x = layout[2]["children"][0];
  EXPECT_TRUE(x["name"].is_null());
  EXPECT_TRUE(x["tooltip"].is_null());
  EXPECT_EQ(x["kind"], "parameter");
  EXPECT_EQ(x["parameter"], "X");
  const auto& foreground = layout[4]["children"][0];
  EXPECT_EQ(foreground["kind"], "colour");
  EXPECT_EQ(foreground["attributes"]["max"], nlohmann::json({255.0, 255.0, 255.0}));
  EXPECT_EQ(foreground["attributes"]["remap"], nlohmann::json({1.0, 1.0, 1.0}));
  EXPECT_FALSE(layout[4]["children"][2]["attributes"].contains("remap"));
  EXPECT_EQ(layout[3]["children"][2]["kind"], "check box");
  EXPECT_EQ(layout[5]["children"][1]["kind"], "text field");

  ASSERT_EQ(info["inputs"].size(), 1u);
  EXPECT_EQ(info["inputs"][0]["name"], "Input");
  ASSERT_EQ(info["outputs"].size(), 1u);
  EXPECT_EQ(info["outputs"][0]["name"], "Output");
  ASSERT_EQ(info["colorModels"].size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(info["colorModels"][i]["model"], 4 - static_cast<int>(i));
    EXPECT_EQ(info["colorModels"][i]["flags"], 1);
  }
}

TEST(InfoCommand, TextShowsTheTableAndTheIndentedTree) {
  const Outcome run = Zelhost("info");
  ASSERT_EQ(run.exitCode, 0);
  const char* const expected[] = {
      "Parameters (33)",
      "Time Speed Factor      signed integer  1         -500  500   1          -",
      "\n  \"Time\" group",
      "\n    \"Start Time\" group",
      "\n      (unnamed) parameter for \"Start Time Year\"",
      "\n      Right Alignment = 0 (no value attribute)",
      "\n      Frame Counter with Field = 15",
      "Colour models 4 (flags 1) 3 (flags 1) 2 (flags 1)",
  };
  for (const char* line : expected) EXPECT_NE(run.out.find(line), std::string::npos) << "missing: " << line;
}

TEST(InfoCommand, AMissingPluginIsAFailureWithNoOutput) {
  const Outcome run = Zelhost("info --json /nonexistent/NoSuch.zel");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "");
}

TEST(Zelhost, CommandLineMistakesAreUsageErrorsWithNoOutput) {
  for (const char* arguments : {"bogus", "", "info --no-such-flag", "render"}) {
    const Outcome run = Zelhost(arguments);
    EXPECT_EQ(run.exitCode, 2) << "zelhost " << arguments;
    EXPECT_EQ(run.out, "") << "zelhost " << arguments;
  }
  EXPECT_EQ(Zelhost("--help").exitCode, 0);
  EXPECT_EQ(Zelhost("info --help").exitCode, 0);
}
