#include <dlfcn.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/DynamicLibrary.h"
#include "platform/Resources.h"

namespace {

using platform::DynamicLibrary;

const std::string kBin = KORVANE_BIN_DIR;
using AnswerFn = int (*)();

TEST(DynamicLibraryTest, LoadsByWindowsNameAndResolvesItsExport) {
  DynamicLibrary library;
  ASSERT_TRUE(library.Load(kBin + "/ipc_testlib.dll")) << library.LastError();
  EXPECT_TRUE(library.IsLoaded());
  auto answer = reinterpret_cast<AnswerFn>(library.Resolve("korvane_test_answer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_EQ(library.Resolve("korvane_test_no_such_symbol"), nullptr);
  EXPECT_EQ(library.Resolve(""), nullptr);
  EXPECT_EQ(library.Resolve(nullptr), nullptr);
  // Loaded privately: its symbols must not leak into everybody's lookups.
  EXPECT_EQ(dlsym(RTLD_DEFAULT, "korvane_test_answer"), nullptr);

  library.Unload();
  EXPECT_FALSE(library.IsLoaded());
  EXPECT_EQ(library.Resolve("korvane_test_answer"), nullptr);
}

TEST(DynamicLibraryTest, FailuresAreReportedNotDeferred) {
  DynamicLibrary library;
  EXPECT_FALSE(library.Load(kBin + "/no_such_library.dll"));
  EXPECT_FALSE(library.IsLoaded());
  EXPECT_NE(library.LastError().find("no_such_library.so"), std::string::npos)
      << library.LastError();
  EXPECT_FALSE(library.Load(""));
  EXPECT_FALSE(library.LastError().empty());
  // It refers to a function nothing provides: the load itself must fail.
  EXPECT_FALSE(library.Load(kBin + "/ipc_testlib_broken.so"));
  EXPECT_NE(library.LastError().find("korvane_test_nowhere_defined"), std::string::npos)
      << library.LastError();
}

TEST(DynamicLibraryTest, OwnershipMovesWithTheObject) {
  DynamicLibrary first;
  ASSERT_TRUE(first.Load(kBin + "/ipc_testlib.so"));
  DynamicLibrary second(std::move(first));
  EXPECT_FALSE(first.IsLoaded());
  ASSERT_TRUE(second.IsLoaded());
  DynamicLibrary third;
  ASSERT_TRUE(third.Load(kBin + "/ipc_testlib.so"));
  third = std::move(second);
  EXPECT_FALSE(second.IsLoaded());
  auto answer = reinterpret_cast<AnswerFn>(third.Resolve("korvane_test_answer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  // A failed reload leaves nothing half-loaded behind.
  EXPECT_FALSE(third.Load(kBin + "/no_such_library.so"));
  EXPECT_FALSE(third.IsLoaded());
}

// ---------------------------------------------------------------------------------------------

TEST(ResourceTest, EmbeddedFileComesBackByteForByte) {
  std::ifstream in(KORVANE_IPC_RESOURCE_FILE, std::ios::binary);
  const std::vector<std::uint8_t> expected((std::istreambuf_iterator<char>(in)),
                                           std::istreambuf_iterator<char>());
  ASSERT_FALSE(expected.empty());
  const auto found = platform::FindResource("DATA", 205);
  ASSERT_EQ(found.size(), expected.size());
  EXPECT_TRUE(std::equal(found.begin(), found.end(), expected.begin()));
  EXPECT_EQ(platform::FindResource("data", 205).data(), found.data()) << "type ignores case";
  EXPECT_TRUE(platform::FindResource("DATA", 206).empty());
  EXPECT_TRUE(platform::FindResource("HTML", 205).empty());
  EXPECT_TRUE(platform::FindResource("", 205).empty());
}

TEST(ResourceTest, FirstRegistrationWinsAndBadOnesAreRefused) {
  static const unsigned char first[] = {1, 2, 3};
  static const unsigned char second[] = {9};
  EXPECT_TRUE(platform::RegisterResource("TESTRES", 1, first, sizeof first));
  EXPECT_FALSE(platform::RegisterResource("testres", 1, second, sizeof second));
  const auto found = platform::FindResource("TestRes", 1);
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[2], 3);
  EXPECT_FALSE(platform::RegisterResource(nullptr, 2, first, 1));
  EXPECT_FALSE(platform::RegisterResource("", 2, first, 1));
  EXPECT_FALSE(platform::RegisterResource("TESTRES", 2, nullptr, 5));
  EXPECT_TRUE(platform::FindResource("TESTRES", 2).empty());
  // Clashing with the linked-in resource must not replace it.
  EXPECT_FALSE(platform::RegisterResource("DATA", 205, second, sizeof second));
  EXPECT_GT(platform::FindResource("DATA", 205).size(), 1u);
}

}  // namespace
