// Modules: load, bind, free exactly once, find by file name, and the errors
// for files that are missing or are no module. Uses the sample modules built
// beside this binary (tests/platform/modules).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <utility>

#include "platform/module.h"
#include "platform/path.h"
#include "platform/process.h"
#include "tests/common/multiprocess.h"

namespace ztn::platform {
namespace {

namespace fs = std::filesystem;

using AddFn = int (*)(int, int);
using VariantFn = int (*)();

constexpr char16_t kNameA[] = u"sample_module_a.ztm";
constexpr char16_t kNameB[] = u"sample_module_b.ztm";

// The sample module's path in system form: handed in by the build, or else
// looked for beside this program.
std::u16string SampleModule(std::u16string_view fileName) {
#if defined(ZTN_SAMPLE_MODULE_A) && defined(ZTN_SAMPLE_MODULE_B)
  return FromNativePath(fileName == kNameA ? ZTN_SAMPLE_MODULE_A : ZTN_SAMPLE_MODULE_B);
#else
  const std::u16string program = GetProgramPath();
  return program.substr(0, program.rfind(u'\\') + 1) + std::u16string(fileName);
#endif
}

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char16_t* name : {kNameA, kNameB}) {
      std::error_code error;
      ASSERT_TRUE(fs::is_regular_file(ToNativePath(SampleModule(name)), error))
          << "sample module missing: " << ToNativePath(SampleModule(name));
      ASSERT_EQ(FindLoadedModule(name), nullptr) << "a test left a module loaded";
    }
  }
};

TEST_F(ModuleTest, LoadBindFindFree) {
  auto loaded = Module::Load(SampleModule(kNameA));
  ASSERT_TRUE(loaded.ok()) << static_cast<uint32_t>(loaded.code());
  Module module = std::move(loaded).value();
  ASSERT_TRUE(module.IsLoaded());

  auto add = module.GetFunction<AddFn>("ZtnSampleAdd");
  ASSERT_NE(add, nullptr);
  EXPECT_EQ(add(2, 40), 42);
  EXPECT_EQ(module.GetFunction<VariantFn>("ZtnSampleVariant")(), 1);
  EXPECT_EQ(module.GetExport("ZtnNoSuchExport"), nullptr);
  EXPECT_EQ(module.GetExport(nullptr), nullptr);

  // Found by bare file name (trailing blanks and dots ignored), without a
  // reference of its own; its exports bind through the found handle.
  const ModuleHandle found = FindLoadedModule(kNameA);
  EXPECT_EQ(found, module.Handle());
  EXPECT_EQ(FindLoadedModule(u"sample_module_a.ztm. "), module.Handle());
  EXPECT_EQ(GetModuleExport(found, "ZtnSampleAdd"), module.GetExport("ZtnSampleAdd"));
  EXPECT_EQ(FindLoadedModule(kNameB), nullptr);
  EXPECT_EQ(FindLoadedModule(u"sample_module_a"), nullptr);
  EXPECT_EQ(FindLoadedModule(u"ample_module_a.ztm"), nullptr);
  EXPECT_EQ(FindLoadedModule(u"x\\sample_module_a.ztm"), nullptr);
  EXPECT_EQ(FindLoadedModule(u""), nullptr);

  module.Free();
  EXPECT_FALSE(module.IsLoaded());
  EXPECT_EQ(module.GetExport("ZtnSampleAdd"), nullptr);
  EXPECT_EQ(FindLoadedModule(kNameA), nullptr) << "the only reference was released";
  module.Free();  // a second Free does nothing
  EXPECT_EQ(GetModuleExport(nullptr, "ZtnSampleAdd"), nullptr);
}

TEST_F(ModuleTest, EachReferenceIsReleasedExactlyOnce) {
  auto first = Module::Load(SampleModule(kNameA));
  auto second = Module::Load(SampleModule(kNameA));
  ASSERT_TRUE(first.ok());
  ASSERT_TRUE(second.ok());
  {
    Module moved(std::move(first).value());
    Module other = std::move(second).value();
    EXPECT_EQ(moved.Handle(), other.Handle());
    moved.Free();
    moved.Free();
    // Had the moved-from object or the repeated Free released again, the
    // module would be gone while `other` still holds it.
    ASSERT_NE(FindLoadedModule(kNameA), nullptr);
    EXPECT_EQ(other.GetFunction<AddFn>("ZtnSampleAdd")(1, 2), 3);
  }
  EXPECT_EQ(FindLoadedModule(kNameA), nullptr);
}

TEST_F(ModuleTest, MoveAssignmentFreesWhatTheTargetHeld) {
  auto a = Module::Load(SampleModule(kNameA));
  auto b = Module::Load(SampleModule(kNameB));
  ASSERT_TRUE(a.ok());
  ASSERT_TRUE(b.ok());
  Module target = std::move(a).value();
  Module source = std::move(b).value();
  target = std::move(source);
  EXPECT_FALSE(source.IsLoaded());
  EXPECT_EQ(FindLoadedModule(kNameA), nullptr);
  EXPECT_NE(FindLoadedModule(kNameB), nullptr);
  EXPECT_EQ(target.GetFunction<VariantFn>("ZtnSampleVariant")(), 2);
  target = Module();
  EXPECT_EQ(FindLoadedModule(kNameB), nullptr);
}

TEST_F(ModuleTest, PathFormsNameTheSameFile) {
  const std::u16string path = SampleModule(kNameA);
  std::u16string forward = path;
  for (auto& c : forward) c = c == u'\\' ? u'/' : c;
  for (const std::u16string& form : {path, forward, path + u".", path + u" . "}) {
    auto module = Module::Load(form);
    ASSERT_TRUE(module.ok()) << ToNativePath(form);
    EXPECT_EQ(module->GetFunction<VariantFn>("ZtnSampleVariant")(), 1);
  }
  EXPECT_EQ(FindLoadedModule(kNameA), nullptr);
}

TEST_F(ModuleTest, BareNameMeansTheCurrentFolder) {
  // Never a search of the library paths: a system library by bare name is not
  // a file here.
  auto system = Module::Load(u"libc.so.6");
  EXPECT_FALSE(system.ok());
  EXPECT_EQ(system.code(), ErrorCode::FileNotFound);

  const fs::path previous = fs::current_path();
  fs::current_path(fs::path(ToNativePath(SampleModule(kNameA))).parent_path());
  auto module = Module::Load(kNameA);
  fs::current_path(previous);
  ASSERT_TRUE(module.ok());
  EXPECT_EQ(module->GetFunction<VariantFn>("ZtnSampleVariant")(), 1);
}

TEST_F(ModuleTest, FilesThatAreNoModule) {
  const fs::path dir = fs::temp_directory_path() / ToNativePath(test::UniqueName("ztn_module"));
  fs::create_directories(dir / "folder.ztm");
  { std::ofstream(dir / "text.ztm") << "this is not a module\n"; }
  { std::ofstream(dir / "empty.ztm"); }
  const std::u16string base = FromNativePath(dir.string());

  const struct {
    std::u16string path;
    ErrorCode expected;
  } cases[] = {
      {base + u"\\missing.ztm", ErrorCode::FileNotFound},
      {base + u"\\missing\\x.ztm", ErrorCode::FileNotFound},
      {base + u"\\text.ztm\\x.ztm", ErrorCode::FileNotFound},
      {u"", ErrorCode::FileNotFound},
      {u"a\xD800.ztm", ErrorCode::FileNotFound},
      {base + u"\\text.ztm", ErrorCode::BadFormat},
      {base + u"\\text.ztm. ", ErrorCode::BadFormat},
      {base + u"\\empty.ztm", ErrorCode::BadFormat},
      {base + u"\\folder.ztm", ErrorCode::BadFormat},
      {u"\\dev\\null", ErrorCode::BadFormat},
  };
  for (const auto& c : cases) {
    auto module = Module::Load(c.path);
    EXPECT_FALSE(module.ok()) << "case " << (&c - cases);
    EXPECT_EQ(module.code(), c.expected) << "case " << (&c - cases);
  }
  std::error_code ignored;
  fs::remove_all(dir, ignored);
}

}  // namespace
}  // namespace ztn::platform
