// The SQLite driver store and the search request on top of it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "DriverSearch.h"
#include "DriverStore.h"
#include "HardwareIdKeys.h"
#include "scores/TextCipher.h"

namespace korvane::server {
namespace {

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        std::filesystem::path(std::getenv("HOME")) / ("store-test-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    std::string error;
    store_ = OpenSqliteDriverStore((dir_ / "drivers.sqlite").string(), &error);
    ASSERT_NE(store_, nullptr) << error;
    catalog_.names = {
        {"PCI\\VEN_1002&DEV_67DF", 1, "Ellesmere [Radeon RX 470/480/570/580/590]", "AMD", "AMD",
         "pci.ids"},
        {"PCI\\VEN_1002&DEV_67DF&SUBSYS_E3531DA2", 1, "Radeon RX 570 Pulse", "AMD", "AMD",
         "pci.ids"},
        {"PCI\\VEN_10DE&DEV_2484", 1, "GA104 <&> \"quoted\"", "NVIDIA Corporation",
         "NVIDIA Corporation", "pci.ids"},
    };
    catalog_.bindings = {
        {"PCI\\VEN_1002&DEV_67DF", "amdgpu", "5.6.2", "2020-04-01"},
        {"PCI\\VEN_1002&DEV_67DF", "amdgpu", "6.1.0-18-amd64", "2024-02-01"},
        {"PCI\\VEN_8086&DEV_15B8", "e1000e", "5.6.2", "2020-04-01"},
    };
    ASSERT_TRUE(store_->Replace(catalog_, false, &error)) << error;
  }
  void TearDown() override {
    store_.reset();
    std::filesystem::remove_all(dir_);
  }
  std::string Query(const std::string& hid) {
    return EncryptText("action=seSearch&version=2.0&os=winxp_32&type=1&typename=&hid=" + hid);
  }

  std::filesystem::path dir_;
  std::unique_ptr<DriverStore> store_;
  DriverCatalog catalog_;
};

TEST_F(StoreTest, MostSpecificNameFirstWithNewestDriverFirst) {
  const auto items = store_->Find(LookupKeys("PCI\\VEN_1002&DEV_67DF&SUBSYS_E3531DA2&REV_E7"), 10);
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0].hardwareId, "PCI\\VEN_1002&DEV_67DF&SUBSYS_E3531DA2");
  EXPECT_EQ(items[0].chipName, "Radeon RX 570 Pulse");
  EXPECT_EQ(items[0].version, "6.1.0-18-amd64");
  EXPECT_EQ(items[0].releaseDate, "2024-02-01");
  EXPECT_EQ(items[1].version, "5.6.2");
  EXPECT_EQ(items[2].hardwareId, "PCI\\VEN_1002&DEV_67DF");
  EXPECT_EQ(store_->Find(LookupKeys("PCI\\VEN_1002&DEV_67DF&SUBSYS_E3531DA2&REV_E7"), 1).size(),
            1u);
  // A device the alias files bind but the id files do not name still reports its driver.
  const auto bound = store_->Find(LookupKeys("PCI\\VEN_8086&DEV_15B8&SUBSYS_00008086"), 10);
  ASSERT_EQ(bound.size(), 1u);
  EXPECT_EQ(bound[0].driverName, "e1000e");
  EXPECT_TRUE(store_->Find({"PCI\\VEN_1002&DEV_67DF' OR '1'='1"}, 10).empty());
}

TEST_F(StoreTest, SeedingOnceAndSharingTheDatabaseBetweenProcesses) {
  EXPECT_TRUE(store_->Seeded());
  DriverCatalog other;
  other.names = {{"USB\\VID_046D&PID_C52B", 1, "Unifying Receiver", "Logitech, Inc.",
                  "Logitech, Inc.", "usb.ids"}};
  std::string error;
  // A second server opening the same database sees the seeded table and leaves it alone.
  auto second = OpenSqliteDriverStore((dir_ / "drivers.sqlite").string(), &error);
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(second->Seeded());
  EXPECT_FALSE(second->Replace(other, true, &error));
  EXPECT_EQ(second->Find({"PCI\\VEN_10DE&DEV_2484"}, 10).size(), 1u);
  // An explicit import replaces the whole table, and the first server sees it at once.
  EXPECT_TRUE(second->Replace(other, false, &error)) << error;
  EXPECT_TRUE(store_->Find({"PCI\\VEN_10DE&DEV_2484"}, 10).empty());
  EXPECT_EQ(store_->Find({"USB\\VID_046D&PID_C52B"}, 10).size(), 1u);
}

TEST_F(StoreTest, SearchAnswersXmlOrNotFound) {
  HttpAnswer a =
      HandleDriverSearch(Query("PCI%5CVEN_10DE%26DEV_2484%26SUBSYS_12345678%26REV_A1"), *store_);
  EXPECT_EQ(a.status, 200);
  EXPECT_EQ(a.contentType.rfind("text/xml", 0), 0u);
  EXPECT_NE(a.body.find("<chipname>GA104 &lt;&amp;&gt; &quot;quoted&quot;</chipname>"),
            std::string::npos)
      << a.body;
  EXPECT_NE(a.body.find("<hardwareid>PCI\\VEN_10DE&amp;DEV_2484</hardwareid>"), std::string::npos);
  EXPECT_NE(a.body.find("<listCount>1</listCount>"), std::string::npos);

  a = HandleDriverSearch(Query("PCI%5CVEN_FFFF%26DEV_0001"), *store_);
  EXPECT_EQ(a.status, 200);
  EXPECT_EQ(a.body.rfind("not found", 0), 0u);
}

TEST_F(StoreTest, BadQueriesGet400WithOneLine) {
  const std::string oversized = EncryptText("action=seSearch&hid=" + std::string(9000, 'A'));
  const std::string longHid = Query(std::string(600, 'A'));
  const std::string damaged = Query("PCI%5CVEN_10DE").substr(0, 40);
  for (const std::string& q :
       {std::string("action=seSearch&hid=PCI"), std::string("ZZ"), std::string(64, 'G'), oversized,
        longHid, damaged, EncryptText("action=seSearch&version=2.0&typename="),
        EncryptText("action=seSearch&hid="), EncryptText("action=seScore&hid=PCI%5CVEN_10DE"),
        std::string("3030303030303030") + std::string(16, '0')}) {
    const HttpAnswer a = HandleDriverSearch(q, *store_);
    EXPECT_EQ(a.status, 400) << q.substr(0, 80);
    EXPECT_EQ(a.body.find('\n'), a.body.size() - 1) << a.body;
  }
}

TEST(ParseQueryFields, DecodesAndKeepsTheFirstValue) {
  const auto f = ParseQueryFields("a=1&b=x+y%26z%5C&&c&a=2&d=%zz%4");
  EXPECT_EQ(f.at("a"), "1");
  EXPECT_EQ(f.at("b"), "x y&z\\");
  EXPECT_EQ(f.at("c"), "");
  EXPECT_EQ(f.at("d"), "%zz%4");
}

}  // namespace
}  // namespace korvane::server
