#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "sysinfo/Edid.h"
#include "sysinfo/HdaCodec.h"
#include "sysinfo/LinuxHardware.h"
#include "sysinfo/PciNames.h"
#include "sysinfo/UsbIds.h"

namespace korvane {
namespace {

std::string Machine(const std::string& name) { return std::string(KORVANE_FIXTURES_DIR) + "/machines/" + name; }

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(EdidParser, DesktopMonitorWithNameAndPreferredTiming) {
  const auto bytes = ReadBytes(Machine("intel-desktop") + "/sys/class/drm/card0-DP-1/edid");
  ASSERT_EQ(bytes.size(), 256u);
  const auto edid = ParseEdid(bytes);
  ASSERT_TRUE(edid.has_value());
  EXPECT_EQ(edid->manufacturerId, "DEL");
  EXPECT_EQ(edid->productCode, 0xD066);
  EXPECT_EQ(edid->PnpId(), "DELD066");
  EXPECT_EQ(edid->monitorName, "DELL U2715H");
  EXPECT_TRUE(edid->checksumOk);
  EXPECT_TRUE(edid->digital);
  ASSERT_TRUE(edid->preferred.has_value());
  EXPECT_EQ(*edid->preferred, (EdidTiming{2560, 1440, 60}));
  EXPECT_EQ(edid->widthCm, 60);
  EXPECT_EQ(edid->heightCm, 34);
}

TEST(EdidParser, LaptopPanelWithoutName) {
  const auto edid = ParseEdid(ReadBytes(Machine("laptop") + "/sys/class/drm/card1-eDP-1/edid"));
  ASSERT_TRUE(edid.has_value());
  EXPECT_EQ(edid->PnpId(), "AUO305C");
  EXPECT_EQ(edid->monitorName, "");
  ASSERT_TRUE(edid->preferred.has_value());
  EXPECT_EQ(edid->preferred->width, 1366);
  EXPECT_EQ(edid->preferred->height, 768);
  EXPECT_EQ(edid->preferred->refreshHz, 60);
}

TEST(EdidParser, RejectsShortOrHeaderlessBlocksAndFlagsBadChecksums) {
  auto bytes = ReadBytes(Machine("amd-desktop") + "/sys/class/drm/card0-HDMI-A-1/edid");
  ASSERT_GE(bytes.size(), 128u);
  EXPECT_FALSE(ParseEdid(std::span(bytes).first(127)).has_value());
  EXPECT_FALSE(ParseEdid({}).has_value());
  auto broken = bytes;
  broken[0] = 0x01;
  EXPECT_FALSE(ParseEdid(broken).has_value());

  auto badSum = bytes;
  badSum[127] ^= 0xFF;
  const auto edid = ParseEdid(badSum);
  ASSERT_TRUE(edid.has_value());
  EXPECT_FALSE(edid->checksumOk);
  EXPECT_EQ(edid->PnpId(), "BNQ7F31");

  // Letters outside A..Z and control characters in a name never reach the texts.
  auto odd = bytes;
  odd[8] = 0x00;
  odd[9] = 0x00;
  for (std::size_t d = 54; d < 126; d += 18) {
    if (odd[d] == 0 && odd[d + 1] == 0 && odd[d + 3] == 0xFC) odd[d + 6] = 0x07;
  }
  const auto oddEdid = ParseEdid(odd);
  ASSERT_TRUE(oddEdid.has_value());
  EXPECT_EQ(oddEdid->manufacturerId, "???");
  EXPECT_EQ(oddEdid->monitorName.find('\x07'), std::string::npos);
}

TEST(HdaCodecParser, RealCodecListing) {
  const auto parsed = ParseHdaCodec(ReadText(Machine("amd-desktop") + "/proc/asound/card1/codec#0"));
  ASSERT_TRUE(parsed.valid);
  EXPECT_EQ(parsed.codec.name, "Realtek ID 887");
  EXPECT_EQ(parsed.codec.vendorId, 0x10ec0887u);
  EXPECT_EQ(parsed.codec.subsystemId, 0x1458a002u);
  EXPECT_EQ(parsed.codec.VendorPart(), 0x10EC);
  EXPECT_EQ(parsed.codec.DevicePart(), 0x0887);
  EXPECT_EQ(parsed.codec.RevisionPart(), 0x1003);
  EXPECT_EQ(parsed.codec.address, 0);
  EXPECT_TRUE(parsed.codec.audioFunction);
  EXPECT_FALSE(parsed.codec.modemFunction);
}

TEST(HdaCodecParser, IncompleteAndMultiCodecTexts) {
  EXPECT_FALSE(ParseHdaCodec("").valid);
  EXPECT_FALSE(ParseHdaCodec("Codec: Realtek ALC269\nAddress: 0\n").valid);          // no vendor id
  EXPECT_FALSE(ParseHdaCodec("Vendor Id: 0x10ec0269\n").valid);                       // no codec line
  EXPECT_FALSE(ParseHdaCodec("Codec: X\nVendor Id: 0xnothex\n").valid);
  // A vendor line before the codec line belongs to no codec.
  EXPECT_FALSE(ParseHdaCodec("Vendor Id: 0x10ec0269\nCodec: Realtek ALC269\n").valid);
  const auto modem = ParseHdaCodec("Codec: Conexant ID 2c06\r\nAddress: 1\r\nMFG Function Id: 0x2 (unsol 1)\r\n"
                                   "Vendor Id: 0x14f12c06\r\nSubsystem Id: 0x1028020c\r\nRevision Id: 0x100000\r\n");
  ASSERT_TRUE(modem.valid);
  EXPECT_TRUE(modem.codec.modemFunction);
  EXPECT_FALSE(modem.codec.audioFunction);
  EXPECT_EQ(modem.codec.address, 1);

  const std::string two = "Codec: A\nVendor Id: 0x10ec0255\nCodec: B\nVendor Id: 0x80862807\n";
  const auto first = ParseHdaCodec(two);
  ASSERT_TRUE(first.valid);
  EXPECT_EQ(first.codec.name, "A");
  EXPECT_EQ(first.codec.vendorId, 0x10ec0255u);  // the second codec does not overwrite the first
  const auto all = ParseHdaCodecs("header\n" + two + "Codec: C without vendor\n");
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[1].name, "B");
  EXPECT_EQ(all[1].vendorId, 0x80862807u);
}

TEST(UsbIdsParser, VendorsProductsAndTheEndOfTheList) {
  const UsbIds ids = UsbIds::Parse(
      "# comment\n"
      "046d  Logitech, Inc.\n"
      "\tc52b  Unifying Receiver\n"
      "\t\t00  interface line, ignored\n"
      "\tzzzz  malformed product\n"
      "0781  SanDisk Corp.\n"
      "\t5567  Cruzer Blade\n"
      "C 00  (Defined at Interface level)\n"
      "\t01  Audio\n"
      "ffff  after the class list\n");
  EXPECT_EQ(ids.VendorName(0x046d), "Logitech, Inc.");
  EXPECT_EQ(ids.ProductName(0x046d, 0xc52b), "Unifying Receiver");
  EXPECT_EQ(ids.ProductName(0x0781, 0x5567), "Cruzer Blade");
  EXPECT_EQ(ids.ProductName(0x0781, 0x1234), "");
  EXPECT_EQ(ids.ProductName(0x1d6b, 0x0002), "");
  EXPECT_EQ(ids.VendorName(0xffff), "");
  EXPECT_EQ(ids.VendorCount(), 2u);
  EXPECT_EQ(UsbIds::Parse("").VendorCount(), 0u);
  EXPECT_EQ(UsbIds::Parse("\t1234  product before any vendor\n").VendorCount(), 0u);
  EXPECT_EQ(UsbIds::Parse("12  short id\n046d  Logitech\n").VendorCount(), 0u);  // a broken line ends it

}

TEST(SysfsParsers, SoundCardList) {
  const auto cards = ParseAsoundCards(
      " 0 [PCH            ]: HDA-Intel - HDA Intel PCH\n"
      "                      HDA Intel PCH at 0xf7f00000 irq 35\n"
      "29 [Device         ]: USB-Audio - USB Audio Device\n"
      "                      C-Media Electronics Inc. USB Audio Device at usb-0000:00:14.0-2, full speed\n"
      "garbage line\n"
      "99999 [X]: nope\n");
  ASSERT_EQ(cards.size(), 2u);
  EXPECT_EQ(cards[0].index, 0);
  EXPECT_EQ(cards[0].id, "PCH");
  EXPECT_EQ(cards[0].driver, "HDA-Intel");
  EXPECT_EQ(cards[0].shortName, "HDA Intel PCH");
  EXPECT_EQ(cards[0].longName, "HDA Intel PCH at 0xf7f00000 irq 35");
  EXPECT_EQ(cards[1].index, 29);
  EXPECT_EQ(cards[1].driver, "USB-Audio");
  EXPECT_TRUE(ParseAsoundCards("--- no soundcards ---\n").empty());
}

TEST(SysfsParsers, PciResourceWindows) {
  const auto bars = ParsePciResource(
      "0x00000000f6000000 0x00000000f6ffffff 0x0000000000040200\n"
      "0x00000000e0000000 0x00000000efffffff 0x000000000014220c\n"
      "0x0000000000000000 0x0000000000000000 0x0000000000000000\n"
      "0x000000000000e000 0x000000000000e07f 0x0000000000040101\n"
      "broken line\n"
      "0xffffffffffffffff 0x0000000000000000 0x0000000000000200\n"
      "0x1 0x2 0x3\n");
  ASSERT_EQ(bars.size(), 6u);
  EXPECT_EQ(bars[0].size, 0x1000000u);
  EXPECT_TRUE(bars[0].IsMemory());
  EXPECT_FALSE(bars[0].IsPrefetchable());
  EXPECT_EQ(bars[1].size, 0x10000000u);
  EXPECT_TRUE(bars[1].IsPrefetchable());
  EXPECT_EQ(bars[2].size, 0u);
  EXPECT_EQ(bars[3].size, 0x80u);
  EXPECT_FALSE(bars[3].IsMemory());
  EXPECT_EQ(bars[4].size, 0u);
  EXPECT_EQ(bars[5].size, 0u);  // end below start: no window, not a wrapped huge one
}

TEST(SysfsParsers, CpuinfoModesAndPaths) {
  const auto cpus = ParseCpuinfo(
      "processor\t: 0\nvendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel\t\t: 94\n"
      "model name\t: Intel(R) Core(TM) i7-6700K CPU @ 4.00GHz\n\nprocessor\t: 1\nvendor_id\t: GenuineIntel\n");
  ASSERT_EQ(cpus.size(), 2u);
  EXPECT_EQ(cpus[0].modelName, "Intel(R) Core(TM) i7-6700K CPU @ 4.00GHz");
  EXPECT_EQ(cpus[0].family, 6);
  EXPECT_EQ(cpus[0].model, 94);
  EXPECT_EQ(cpus[1].index, 1);

  EXPECT_EQ(ParseDrmModes("1920x1080\n\n  1280x720  \n"), (std::vector<std::string>{"1920x1080", "1280x720"}));
  EXPECT_EQ(PciAddressInPath("../devices/pci0000:00/0000:00:01.0/0000:01:00.0/drm/card0"), "0000:01:00.0");
  EXPECT_EQ(PciAddressInPath("../devices/virtual/block/loop0"), "");
  EXPECT_EQ(PciAddressInPath("0000:00:1f.2x/0000:0g:00.0"), "");
}

TEST(SysfsParsers, AtaIdentifyStrings) {
  // Words 10-19 serial, 23-26 firmware, 27-46 model; two characters per word, high byte first.
  std::vector<std::uint16_t> words(256, 0);
  auto put = [&](std::size_t first, std::size_t count, std::string text) {
    text.resize(count * 2, ' ');
    for (std::size_t i = 0; i < count; ++i) {
      words[first + i] = static_cast<std::uint16_t>((static_cast<unsigned char>(text[2 * i]) << 8) |
                                                    static_cast<unsigned char>(text[2 * i + 1]));
    }
  };
  put(10, 10, "     S3Z2NB0K123456X");  // right-aligned in 20 characters
  put(23, 4, "RVT04B6Q");
  put(27, 20, "Samsung SSD 860 EVO 500GB");
  std::string text;
  for (std::size_t i = 0; i < words.size(); ++i) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04x", words[i]);
    text += buf;
    text += (i % 8 == 7) ? '\n' : ' ';
  }
  const auto id = ParseAtaIdentify(text);
  ASSERT_TRUE(id.has_value());
  EXPECT_EQ(id->model, "Samsung SSD 860 EVO 500GB");
  EXPECT_EQ(id->serial, "S3Z2NB0K123456X");
  EXPECT_EQ(id->firmware, "RVT04B6Q");
  EXPECT_FALSE(ParseAtaIdentify(text.substr(0, 200)).has_value());   // too few words
  EXPECT_FALSE(ParseAtaIdentify("12345 " + text).has_value());        // a word of five digits
  EXPECT_FALSE(ParseAtaIdentify(std::string(47 * 5, ' ')).has_value());
}

TEST(SysfsParsers, KernelBuildDates) {
  EXPECT_EQ(KernelBuildDate("#1 SMP PREEMPT_DYNAMIC Debian 6.1.115-1 (2024-10-24)"), "20241024");
  EXPECT_EQ(KernelBuildDate("#1 SMP PREEMPT_DYNAMIC Thu Oct 24 12:00:00 UTC 2024"), "20241024");
  EXPECT_EQ(KernelBuildDate("#41~22.04.2-Ubuntu SMP PREEMPT_DYNAMIC Mon Jun  3 11:32:55 UTC 2"), "");
  EXPECT_EQ(KernelBuildDate("#1 SMP Sat Feb  3 09:10:11 CET 2018"), "20180203");
  EXPECT_EQ(KernelBuildDate(""), "");
}

TEST(PciNames, DatabaseNamesAndDisplayForms) {
  EXPECT_EQ(PciVendorName(0x10de), "NVIDIA Corporation");
  EXPECT_EQ(PciDeviceName(0x10de, 0x1b81), "GP104 [GeForce GTX 1070]");
  EXPECT_EQ(PciDeviceName(0xffff, 0xffff), "");
  EXPECT_EQ(PciSubsystemName(0x1002, 0x67df, 0x1462, 0x8a92), "Radeon RX 580");
  EXPECT_EQ(PciClassName(0x030000), "VGA compatible controller");
  EXPECT_EQ(PciMarketingName("GP104 [GeForce GTX 1070]"), "GeForce GTX 1070");
  EXPECT_EQ(PciMarketingName("GP104 [GeForce GTX 1070 / 1070 Ti]"), "GeForce GTX 1070");
  EXPECT_EQ(PciMarketingName("Alder Lake-P Integrated Graphics Controller"),
            "Alder Lake-P Integrated Graphics Controller");
  EXPECT_EQ(PciMarketingName("odd []"), "odd []");
  EXPECT_EQ(PciVendorShortName("Advanced Micro Devices, Inc. [AMD/ATI]"), "AMD");
  EXPECT_EQ(PciVendorShortName("NVIDIA Corporation"), "NVIDIA");
  EXPECT_EQ(PciVendorPlainName("Advanced Micro Devices, Inc. [AMD/ATI]"), "Advanced Micro Devices, Inc.");
}

// The system's usb.ids is read where the names are instead of parsed whole; every answer must be
// the one Parse gives for the same text, damaged and repeated entries included.
TEST(UsbIdsParser, FileLookupsAnswerAsParseDoes) {
  const std::string text =
      "# comment\r\n"
      "046d  Logitech, Inc.\r\n"
      "\tc52b  Unifying Receiver  \r\n"
      "\t\t00  interface line, ignored\n"
      "\tzzzz  malformed product\n"
      "\tc52b  second entry of one product\n"
      "0781  SanDisk Corp.\n"
      "\t5567  Cruzer Blade\n"
      "046d  Logitech again\n"  // a repeated vendor replaces the first with its own products
      "\tc534  Nano Receiver\n"
      "\t1234\n"
      "C 00  (Defined at Interface level)\n"
      "\t01  Audio\n"
      "ffff  after the class list\n";
  const std::string file = std::string(KORVANE_TEST_HOME) + "/usb-ids-file-test.ids";
  std::filesystem::create_directories(KORVANE_TEST_HOME);
  { std::ofstream(file, std::ios::binary) << text; }
  const UsbIds parsed = UsbIds::Parse(text);
  const UsbIds indexed = UsbIds::FromFile(file);
  EXPECT_EQ(indexed.VendorCount(), parsed.VendorCount());
  for (std::uint16_t v : {0x046d, 0x0781, 0xffff, 0x1d6b}) {
    EXPECT_EQ(indexed.VendorName(v), parsed.VendorName(v)) << v;
    for (std::uint16_t p : {0xc52b, 0xc534, 0x5567, 0x1234, 0x0001})
      EXPECT_EQ(indexed.ProductName(v, p), parsed.ProductName(v, p)) << v << ":" << p;
  }
  EXPECT_EQ(indexed.VendorName(0x046d), "Logitech again");
  EXPECT_EQ(indexed.ProductName(0x046d, 0xc534), "Nano Receiver");
  EXPECT_EQ(indexed.ProductName(0x046d, 0xc52b), "");
  std::filesystem::remove(file);
  EXPECT_EQ(UsbIds::FromFile(file).VendorCount(), 0u);
  EXPECT_EQ(UsbIds::FromFile(file).VendorName(0x046d), "");

  // The whole system list, when there is one.
  for (const char* path : {"/usr/share/hwdata/usb.ids", "/usr/share/misc/usb.ids"}) {
    std::ifstream in(path, std::ios::binary);
    if (!in) continue;
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const UsbIds whole = UsbIds::Parse(all);
    const UsbIds lazy = UsbIds::FromFile(path);
    ASSERT_GT(whole.VendorCount(), 1000u);
    EXPECT_EQ(lazy.VendorCount(), whole.VendorCount());
    int mismatches = 0;
    std::istringstream lines(all);
    std::string line;
    unsigned vendor = 0;
    while (std::getline(lines, line) && mismatches < 10) {
      unsigned id = 0;
      if (line.size() > 5 && line[0] != '\t' && std::sscanf(line.c_str(), "%4x", &id) == 1) {
        vendor = id;
        if (lazy.VendorName(static_cast<std::uint16_t>(id)) !=
            whole.VendorName(static_cast<std::uint16_t>(id)))
          ++mismatches;
      } else if (line.size() > 6 && line[0] == '\t' && line[1] != '\t' &&
                 std::sscanf(line.c_str() + 1, "%4x", &id) == 1) {
        const auto v = static_cast<std::uint16_t>(vendor), p = static_cast<std::uint16_t>(id);
        if (lazy.ProductName(v, p) != whole.ProductName(v, p)) ++mismatches;
      }
    }
    EXPECT_EQ(mismatches, 0) << path;
    break;
  }
}

}  // namespace
}  // namespace korvane
