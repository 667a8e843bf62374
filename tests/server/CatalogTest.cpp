// Reading the id databases and the alias files into the driver catalog, and the lookup keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "DriverCatalog.h"
#include "HardwareIdKeys.h"

namespace korvane::server {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const DeviceName* FindName(const std::vector<DeviceName>& v, const std::string& id) {
  auto it =
      std::find_if(v.begin(), v.end(), [&](const DeviceName& d) { return d.hardwareId == id; });
  return it == v.end() ? nullptr : &*it;
}

std::set<std::string> ModulesFor(const std::vector<DriverBinding>& v, const std::string& id) {
  std::set<std::string> out;
  for (const auto& b : v) {
    if (b.hardwareId == id) out.insert(b.driverName);
  }
  return out;
}

TEST(LookupKeys, MostSpecificFirstPerEnumerator) {
  EXPECT_EQ(LookupKeys("pci\\ven_10de&dev_0611&subsys_c7723842&rev_a2\\4&2A1B3C4D&0&0008"),
            (std::vector<std::string>{"PCI\\VEN_10DE&DEV_0611&SUBSYS_C7723842&REV_A2",
                                      "PCI\\VEN_10DE&DEV_0611&SUBSYS_C7723842",
                                      "PCI\\VEN_10DE&DEV_0611&REV_A2", "PCI\\VEN_10DE&DEV_0611"}));
  // Field order in the request does not matter; unknown fields are dropped.
  EXPECT_EQ(LookupKeys("HDAUDIO\\REV_1003&DEV_0887&VEN_10EC&FUNC_01"),
            (std::vector<std::string>{"HDAUDIO\\FUNC_01&VEN_10EC&DEV_0887&REV_1003",
                                      "HDAUDIO\\FUNC_01&VEN_10EC&DEV_0887"}));
  EXPECT_EQ(LookupKeys("USB\\VID_046D&PID_C52B&MI_00\\6&1"),
            (std::vector<std::string>{"USB\\VID_046D&PID_C52B"}));
  // Ids of other forms, or without their identifying fields, are looked up as they stand.
  EXPECT_EQ(LookupKeys("PCI\\VEN_10DE"), (std::vector<std::string>{"PCI\\VEN_10DE"}));
  EXPECT_EQ(LookupKeys("ACPI\\PNP0303\\4&1"), (std::vector<std::string>{"ACPI\\PNP0303"}));
  EXPECT_EQ(LookupKeys(" display "), (std::vector<std::string>{"DISPLAY"}));
  EXPECT_TRUE(LookupKeys("  ").empty());
}

TEST(ReadPciIds, VendorsDevicesAndSubsystems) {
  const std::string text =
      "# comment\n"
      "10de  NVIDIA Corporation\n"
      "\t2484  GA104 [GeForce RTX 3070]\n"
      "\t\t1458 404c  GeForce RTX 3070 GAMING OC\n"
      "\t\tzz 404c  broken\n"
      "\tbadline\n"
      "\t\t1043 87b8  orphan under a broken device line\n"
      "8086  Intel Corporation\r\n"
      "\t3e9b  CoffeeLake-H GT2 [UHD Graphics 630]\r\n"
      "C 03  Display controller\n"
      "\t00  VGA compatible controller\n";
  std::vector<DeviceName> names;
  ReadPciIds(text, names);
  ASSERT_EQ(names.size(), 3u);
  const DeviceName* sub = FindName(names, "PCI\\VEN_10DE&DEV_2484&SUBSYS_404C1458");
  ASSERT_NE(sub, nullptr);
  EXPECT_EQ(sub->chipName, "GeForce RTX 3070 GAMING OC");
  EXPECT_EQ(sub->manufacturerEn, "NVIDIA Corporation");
  ASSERT_NE(FindName(names, "PCI\\VEN_10DE&DEV_2484"), nullptr);
  const DeviceName* intel = FindName(names, "PCI\\VEN_8086&DEV_3E9B");
  ASSERT_NE(intel, nullptr);
  EXPECT_EQ(intel->chipName, "CoffeeLake-H GT2 [UHD Graphics 630]");
  EXPECT_EQ(intel->manufacturerEn, "Intel Corporation");
}

TEST(ReadUsbIds, VendorsAndProductsOnly) {
  const std::string text =
      "046d  Logitech, Inc.\n"
      "\tc52b  Unifying Receiver\n"
      "\t\t00  interface line\n"
      "C 00  (Defined at Interface level)\n"
      "\t01  Audio\n";
  std::vector<DeviceName> names;
  ReadUsbIds(text, names);
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].hardwareId, "USB\\VID_046D&PID_C52B");
  EXPECT_EQ(names[0].chipName, "Unifying Receiver");
  EXPECT_EQ(names[0].manufacturerEn, "Logitech, Inc.");
}

TEST(ReadModulesAlias, RealExcerptBindsDevicesToTheirModules) {
  const std::string text =
      ReadFile(std::string(KORVANE_FIXTURES_DIR) + "/modules-alias/5.6.2/modules.alias");
  ASSERT_FALSE(text.empty());
  std::vector<DriverBinding> b;
  std::vector<VendorWideCodecDriver> vendorWide;
  ReadModulesAlias(text, "5.6.2", "2020-04-01", b, &vendorWide);
  EXPECT_EQ(ModulesFor(b, "PCI\\VEN_1002&DEV_67DF"), (std::set<std::string>{"amdgpu"}));
  EXPECT_EQ(ModulesFor(b, "PCI\\VEN_8086&DEV_3E9B"),
            (std::set<std::string>{"i915"}));  // class-limited alias
  EXPECT_EQ(ModulesFor(b, "PCI\\VEN_8086&DEV_2526"), (std::set<std::string>{"iwlwifi"}));
  EXPECT_EQ(ModulesFor(b, "HDAUDIO\\FUNC_01&VEN_10EC&DEV_0887"),
            (std::set<std::string>{"snd_hda_codec_realtek"}));
  EXPECT_EQ(ModulesFor(b, "HDAUDIO\\FUNC_01&VEN_8086&DEV_2807"),
            (std::set<std::string>{"snd_hda_codec_hdmi"}));
  const auto& any = b.front();
  EXPECT_EQ(any.version, "5.6.2");
  EXPECT_EQ(any.releaseDate, "2020-04-01");
  // Vendor-wide aliases (nouveau's "every NVIDIA display device") bind no single id.
  for (const auto& x : b) {
    EXPECT_EQ(x.hardwareId.find('*'), std::string::npos) << x.hardwareId;
    EXPECT_NE(x.hardwareId, "PCI\\VEN_10DE&DEV_") << x.driverName;
  }
}

TEST(ReadModulesAlias, PatternForms) {
  const std::string text =
      "alias pci:v000014E4d000016B1sv000017AAsd00003977bc*sc*i* tg3\n"
      "alias usb:v046DpC52Bd*dc*dsc*dp*ic*isc*ip*in* logitech_dj\n"
      "alias usb:v0BDAp8153d30[0-9]*dc*dsc*dp*ic*isc*ip*in* quirky\n"
      "alias hdaudio:v10EC*r*a01* snd_hda_codec_realtek\n"
      "alias hdaudio:v14F15051r00100000a01* rev_specific\n"
      "alias pci:v*d*sv*sd*bc0Csc03i30* xhci_pci\n"
      "alias pci:v000010DE garbage\n"
      "options something else\n";
  std::vector<DriverBinding> b;
  std::vector<VendorWideCodecDriver> vendorWide;
  ReadModulesAlias(text, "6.1.0-18-amd64", "2024-02-01", b, &vendorWide);
  ASSERT_EQ(b.size(), 2u);
  EXPECT_EQ(b[0].hardwareId, "PCI\\VEN_14E4&DEV_16B1&SUBSYS_397717AA");
  EXPECT_EQ(b[1].hardwareId, "USB\\VID_046D&PID_C52B");
  ASSERT_EQ(vendorWide.size(), 1u);
  EXPECT_EQ(vendorWide[0].vendor, "10EC");
  EXPECT_EQ(vendorWide[0].module, "snd_hda_codec_realtek");
}

TEST(HdaCodecTable, EveryCodecOfTheRealAliasFileHasAName) {
  const std::string table = ReadFile(std::string(KORVANE_SERVER_DATA_DIR) + "/hda-codecs.tsv");
  std::vector<DeviceName> names;
  ReadHdaCodecTable(table, names);
  ASSERT_GT(names.size(), 300u);
  std::set<std::string> ids;
  for (const auto& n : names) {
    EXPECT_TRUE(ids.insert(n.hardwareId).second) << "listed twice: " << n.hardwareId;
    EXPECT_FALSE(n.manufacturerEn.empty());
  }
  const DeviceName* alc = FindName(names, "HDAUDIO\\FUNC_01&VEN_10EC&DEV_0899");
  ASSERT_NE(alc, nullptr);
  EXPECT_EQ(alc->chipName, "Realtek ALC898");  // as the kernel's codec listing names it
  EXPECT_EQ(alc->manufacturerEn, "Realtek Semiconductor Corp.");

  // The codec drivers of a real kernel name the codecs they bind; each needs a name here.
  const std::string alias =
      ReadFile(std::string(KORVANE_FIXTURES_DIR) + "/modules-alias/5.6.2/modules.alias");
  std::vector<DriverBinding> b;
  ReadModulesAlias(alias, "5.6.2", "", b, nullptr);
  const std::set<std::string> named = {"snd_hda_codec_realtek", "snd_hda_codec_conexant",
                                       "snd_hda_codec_idt",     "snd_hda_codec_via",
                                       "snd_hda_codec_analog",  "snd_hda_codec_cirrus",
                                       "snd_hda_codec_ca0110",  "snd_hda_codec_ca0132"};
  std::size_t checked = 0;
  for (const auto& x : b) {
    if (x.hardwareId.rfind("HDAUDIO\\", 0) != 0 || !named.count(x.driverName)) continue;
    ++checked;
    EXPECT_TRUE(ids.count(x.hardwareId)) << x.hardwareId << " (" << x.driverName << ") has no name";
  }
  EXPECT_GT(checked, 200u);
}

}  // namespace
}  // namespace korvane::server
