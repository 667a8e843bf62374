#include <gtest/gtest.h>

#include "sysinfo/Wmi.h"

namespace korvane {
namespace {

class FakeProvider : public WmiProvider {
 public:
  std::vector<WmiObject> Instances(std::string_view className) override {
    asked.emplace_back(className);
    std::vector<WmiObject> out;
    if (className != "Win32_SoundDevice" && className != "win32_sounddevice") return out;
    for (int i = 0; i < 3; ++i) {
      WmiObject o("Win32_SoundDevice");
      o.Put("Caption", Variant::String("Device " + std::to_string(i)));
      o.Put("StatusInfo", Variant::Int32(3));
      o.Put("Size", Variant::String("1000204886016"));
      o.Put("Manufacturer", Variant::Null());
      out.push_back(std::move(o));
    }
    return out;
  }
  std::vector<std::string> asked;
};

class WmiSession : public ::testing::Test {
 protected:
  void SetUp() override {
    provider = std::make_shared<FakeProvider>();
    SetWmiProviderForTesting(provider);
  }
  void TearDown() override {
    SetWmiFailureStepForTesting(0);
    SetWmiProviderForTesting(nullptr);
  }
  std::shared_ptr<FakeProvider> provider;
};

TEST(WqlParsing, OnlySelectAllFromOneClass) {
  EXPECT_EQ(WqlSelectAllClass("Select * From Win32_DiskDrive"), "Win32_DiskDrive");
  EXPECT_EQ(WqlSelectAllClass("  SELECT\t*\r\nfrom   win32_videocontroller  "), "win32_videocontroller");
  EXPECT_EQ(WqlSelectAllClass("Select * From Win32_DiskDrive Where Index = 0"), "");
  EXPECT_EQ(WqlSelectAllClass("Select Caption From Win32_DiskDrive"), "");
  EXPECT_EQ(WqlSelectAllClass("Select * From Win32_Disk;Drive"), "");
  EXPECT_EQ(WqlSelectAllClass("Select * From"), "");
  EXPECT_EQ(WqlSelectAllClass(""), "");
}

TEST_F(WmiSession, ObjectsComeOneAtATimeInProviderOrder) {
  WmiQuery query("select * from win32_sounddevice");
  ASSERT_TRUE(query.Ok());
  std::vector<std::string> captions;
  while (auto object = query.Next()) {
    std::string caption;
    ASSERT_TRUE(GetStringProperty(*object, "caption", &caption));
    captions.push_back(caption);
  }
  EXPECT_EQ(captions, (std::vector<std::string>{"Device 0", "Device 1", "Device 2"}));
  EXPECT_EQ(query.Next(), nullptr);  // stays at the end
  EXPECT_EQ(provider->asked, std::vector<std::string>{"win32_sounddevice"});
}

TEST_F(WmiSession, PropertyReadsHonourTheVariantType) {
  WmiQuery query("Select * From Win32_SoundDevice");
  auto object = query.Next();
  ASSERT_NE(object, nullptr);
  std::string text = "unchanged";
  std::int32_t number = 42;
  EXPECT_FALSE(GetStringProperty(*object, "StatusInfo", &text));   // VT_I4 is not text
  EXPECT_FALSE(GetStringProperty(*object, "Manufacturer", &text)); // VT_NULL
  EXPECT_FALSE(GetStringProperty(*object, "NoSuchProperty", &text));
  EXPECT_EQ(text, "unchanged");
  EXPECT_FALSE(GetInt32Property(*object, "Size", &number));        // 64-bit numbers are strings
  EXPECT_EQ(number, 42);
  EXPECT_TRUE(GetInt32Property(*object, "STATUSINFO", &number));
  EXPECT_EQ(number, 3);

  Variant v = Variant::String("stale");
  EXPECT_EQ(object->Get("NoSuchProperty", &v), kWBEM_E_NOT_FOUND);
  EXPECT_EQ(v.vt, VT_EMPTY);  // cleared, never left holding an old value
  EXPECT_EQ(object->Get("Manufacturer", &v), kS_OK);
  EXPECT_EQ(v.vt, VT_NULL);
}

TEST_F(WmiSession, OtherQueriesAndClassesGiveNoObject) {
  for (const char* wql : {"Select * From Win32_Processor", "Select Name From Win32_SoundDevice", "garbage"}) {
    WmiQuery query(wql);
    EXPECT_TRUE(query.Ok()) << wql;
    EXPECT_EQ(query.Next(), nullptr) << wql;
  }
}

TEST_F(WmiSession, AFailingStepAbandonsTheQuery) {
  for (int step = 2; step <= 5; ++step) {
    SetWmiFailureStepForTesting(step);
    WmiQuery query("Select * From Win32_SoundDevice");
    EXPECT_FALSE(query.Ok()) << "step " << step;
    EXPECT_EQ(query.Next(), nullptr) << "step " << step;
  }
  EXPECT_TRUE(provider->asked.empty());
}

TEST_F(WmiSession, SessionStepsCheckTheirArguments) {
  std::unique_ptr<WbemLocator> locator;
  EXPECT_EQ(CreateWbemLocator("{00000000-0000-0000-0000-000000000000}", kClsctxInprocServer, kIidWbemLocator, &locator),
            kREGDB_E_CLASSNOTREG);
  ASSERT_EQ(CreateWbemLocator(kClsidWbemLocator, kClsctxInprocServer | kClsctxLocalServer, kIidWbemLocator, &locator),
            kS_OK);
  std::unique_ptr<WbemServices> services;
  EXPECT_EQ(locator->ConnectServer("ROOT\\DEFAULT", {}, {}, {}, 0, {}, &services), kWBEM_E_INVALID_NAMESPACE);
  ASSERT_EQ(locator->ConnectServer("root\\cimv2", {}, {}, {}, 0, {}, &services), kS_OK);
  EXPECT_EQ(CoSetProxyBlanket(nullptr, kRpcAuthnWinNt, kRpcAuthzNone, kRpcAuthnLevelCall, kRpcImpLevelImpersonate),
            kE_POINTER);
  std::unique_ptr<WbemClassEnumerator> enumerator;
  EXPECT_EQ(services->ExecQuery("SQL", "Select * From Win32_SoundDevice", 0x30, &enumerator),
            kWBEM_E_INVALID_QUERY_TYPE);
  ASSERT_EQ(services->ExecQuery("WQL", "Select * From Win32_SoundDevice", 0x30, &enumerator), kS_OK);
  std::unique_ptr<WmiObject> object;
  std::uint32_t returned = 7;
  EXPECT_EQ(enumerator->Next(kWbemInfinite, 1, &object, &returned), kS_OK);
  EXPECT_EQ(returned, 1u);
  EXPECT_EQ(enumerator->Next(kWbemInfinite, 1, nullptr, &returned), kWBEM_E_INVALID_PARAMETER);
  EXPECT_EQ(EnsureComSecurity(), 1);
}

}  // namespace
}  // namespace korvane
