// Loading a plug-in module: every way a file can fail to be a plug-in gets one line that names the
// file and says what is wrong with it, and a good module comes up with all four exports.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "loading/PluginModule.h"

namespace fs = std::filesystem;
using zel::host::HostError;
using zel::host::PluginModule;

namespace {

/// A fresh folder for the files a case makes, removed again afterwards.
class PluginLoadingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() /
            ("zel-loading-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }

  fs::path m_dir;
};

fs::path WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

/// What loading `path` threw, or "" when it loaded.
std::string LoadError(const fs::path& path) {
  try {
    PluginModule module(path);
    return "";
  } catch (const HostError& e) {
    return e.what();
  }
}

std::string FirstBytesOf(const fs::path& path, std::size_t count) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes(count, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(count));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

struct BadFileCase {
  const char* label;
  /// Makes the file (or leaves it out) in the test's folder and returns the path to load.
  std::function<fs::path(const fs::path& dir)> make;
  const char* what;  ///< the part of the message that says what is wrong
};

}  // namespace

TEST_F(PluginLoadingTest, EachBadFileGetsOneLineNamingTheFileAndTheFault) {
  const BadFileCase cases[] = {
      {"missing file", [](const fs::path& dir) { return dir / "absent.zel"; }, "no such file"},
      {"dangling symbolic link",
       [](const fs::path& dir) {
         fs::create_symlink(dir / "gone.zel", dir / "link.zel");
         return dir / "link.zel";
       },
       "no such file"},
      {"text that is not a library",
       [](const fs::path& dir) { return WriteFile(dir / "junk.zel", "this is not a shared library\n"); },
       "not a loadable shared library"},
      {"empty file", [](const fs::path& dir) { return WriteFile(dir / "empty.zel", ""); },
       "not a loadable shared library"},
      {"truncated copy of a real module",
       [](const fs::path& dir) { return WriteFile(dir / "cut.zel", FirstBytesOf(ZEL_TEST_PLUGIN, 200)); },
       "not a loadable shared library"},
      {"library lacking two exports", [](const fs::path&) { return fs::path(ZEL_TEST_PARTIAL_PLUGIN); },
       "lacks the export VOKGetClassFactory"},
      {"folder",
       [](const fs::path& dir) {
         fs::create_directory(dir / "folder.zel");
         return dir / "folder.zel";
       },
       "is a folder"},
  };
  for (const BadFileCase& c : cases) {
    SCOPED_TRACE(c.label);
    const fs::path path = c.make(m_dir);
    const std::string message = LoadError(path);
    ASSERT_FALSE(message.empty()) << "loaded without complaint";
    const std::string quoted = '\'' + path.string() + '\'';
    EXPECT_NE(message.find(quoted), std::string::npos) << message;
    EXPECT_NE(message.find(c.what), std::string::npos) << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << "more than one line: " << message;
  }
}

TEST_F(PluginLoadingTest, TheBuiltModuleResolvesAllFourExports) {
  PluginModule module(ZEL_TEST_PLUGIN);
  EXPECT_EQ(module.Path(), fs::path(ZEL_TEST_PLUGIN));
  EXPECT_NE(module.RegisterPlugin, nullptr);
  EXPECT_NE(module.RegisterComponent, nullptr);
  EXPECT_NE(module.GetClassFactory, nullptr);
  EXPECT_NE(module.CanUnloadNow, nullptr);
}

// A bare file name means the file in the current folder, not a search of the library path.
TEST_F(PluginLoadingTest, BareFileNameLoadsFromTheCurrentFolder) {
  fs::copy_file(ZEL_TEST_PLUGIN, m_dir / "Copy.zel");
  const fs::path before = fs::current_path();
  fs::current_path(m_dir);
  const std::string message = LoadError("Copy.zel");
  fs::current_path(before);
  EXPECT_EQ(message, "");
}

// A module that loads but breaks the registration rules is refused with one line naming it; a
// plug-in that never stops registering components must not keep the host looping.
TEST(PluginRegistration, AModuleThatBreaksTheRulesIsRefused) {
  struct Case {
    const char* label;
    const char* path;
    const char* what;
  };
  const Case cases[] = {
      {"lacks exports", ZEL_TEST_PARTIAL_PLUGIN, "lacks the export VOKGetClassFactory"},
      {"plug-in registration fails", ZEL_TEST_FAILING_PLUGIN, "registering the plug-in failed with 0x80004005"},
      {"success without a definition", ZEL_TEST_NULL_DEFINITION_PLUGIN, "registering component 0 failed"},
      {"components without end", ZEL_TEST_ENDLESS_PLUGIN, "components"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::string message;
    try {
      zel::host::Plugin plugin(c.path);
    } catch (const HostError& e) {
      message = e.what();
    }
    ASSERT_FALSE(message.empty()) << "accepted";
    EXPECT_NE(message.find(c.path), std::string::npos) << message;
    EXPECT_NE(message.find(c.what), std::string::npos) << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
  }
}
