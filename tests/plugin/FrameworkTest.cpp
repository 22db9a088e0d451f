// The module's four exports and its component framework, driven through the real host.
#include <cstdio>
#include <memory>
#include <set>
#include <string>

#include <gtest/gtest.h>

namespace {

/// Runs `command` and returns what it printed, or nothing when it could not run.
std::string Output(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  if (!pipe) return "";
  std::string text;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr) text += buffer;
  return text;
}

}  // namespace

// A host finds the plug-in by these four names; anything else exported would leak the plug-in's
// internals into every host that loads it.
TEST(ModuleSymbols, ExactlyTheFourExportsAreDefined) {
  if (std::system("command -v nm >/dev/null 2>&1") != 0) GTEST_SKIP() << "nm is not installed";
  const std::string listing = Output(std::string("nm -D --defined-only '") + ZEL_TEST_PLUGIN + "'");
  std::set<std::string> names;
  std::size_t start = 0;
  while (start < listing.size()) {
    std::size_t end = listing.find('\n', start);
    if (end == std::string::npos) end = listing.size();
    const std::string line = listing.substr(start, end - start);
    if (const std::size_t space = line.rfind(' '); space != std::string::npos) names.insert(line.substr(space + 1));
    start = end + 1;
  }
  const std::set<std::string> expected = {"VOKCanUnloadNow", "VOKGetClassFactory", "VOKRegisterComponent",
                                          "VOKRegisterPlugin"};
  EXPECT_EQ(names, expected) << listing;
}
