#include <gtest/gtest.h>

#include "platform/Sysroot.h"
#include "sysinfo/OsName.h"

namespace korvane {
namespace {

WindowsVersionRecord Nt(std::uint32_t major, std::uint32_t minor, std::uint32_t build, std::uint8_t productType,
                        std::uint16_t arch = kArchX86) {
  WindowsVersionRecord v;
  v.major = major;
  v.minor = minor;
  v.build = build;
  v.platformId = kVerPlatformNt;
  v.productType = productType;
  v.processorArchitecture = arch;
  return v;
}

TEST(WindowsNaming, XpProfessionalSp3) {
  WindowsVersionRecord v = Nt(5, 1, 2600, 1);
  v.servicePack = "Service Pack 3";
  v.suiteMask = 0x100;
  const OsNaming n = NameWindowsOs(v);
  EXPECT_EQ(n.result, 1);
  EXPECT_EQ(n.longName, "Windows XP Professional");
  EXPECT_EQ(n.buildText, "Service Pack 3 (Build 2600)");
  EXPECT_EQ(n.shortCode, "winxp_32");
  EXPECT_TRUE(n.isNt5OrLater);
  EXPECT_FALSE(n.isVista || n.isWindows7 || n.isServer2008);
}

TEST(WindowsNaming, XpHomeWithoutServicePack) {
  WindowsVersionRecord v = Nt(5, 1, 2600, 1);
  v.suiteMask = 0x200;
  const OsNaming n = NameWindowsOs(v);
  EXPECT_EQ(n.longName, "Windows XP Home Edition");
  EXPECT_EQ(n.buildText, "Build 2600");
}

TEST(WindowsNaming, Windows7IsAlwaysUltimateWithoutEditionLookup) {
  WindowsVersionRecord v = Nt(6, 1, 7601, 1, kArchAmd64);
  v.productInfo = 3;  // Home Premium: not consulted for 6.1
  v.servicePack = "Service Pack 1";
  const OsNaming n = NameWindowsOs(v);
  EXPECT_EQ(n.longName, "Windows 7 Ultimate, 64-bit");
  EXPECT_EQ(n.shortCode, "winseven_64");
  EXPECT_TRUE(n.isWindows7);
  EXPECT_FALSE(n.isVista);
}

TEST(WindowsNaming, VistaEditionsAndServer2008) {
  WindowsVersionRecord v = Nt(6, 0, 6002, 1, kArchX86);
  v.productInfo = 6;
  OsNaming n = NameWindowsOs(v);
  EXPECT_EQ(n.longName, "Windows Vista Business Edition, 32-bit");
  EXPECT_EQ(n.shortCode, "vista_32");
  EXPECT_TRUE(n.isVista);

  v.productInfo = 0x99;  // unknown product type: nothing appended
  EXPECT_EQ(NameWindowsOs(v).longName, "Windows Vista , 32-bit");

  v.processorArchitecture = kArchIa64;  // neither x86 nor x64: no bitness text, 32 in the code
  v.productInfo = 1;
  n = NameWindowsOs(v);
  EXPECT_EQ(n.longName, "Windows Vista Ultimate Edition");
  EXPECT_EQ(n.shortCode, "vista_32");

  WindowsVersionRecord s = Nt(6, 0, 6001, 3, kArchAmd64);
  s.productInfo = 13;
  n = NameWindowsOs(s);
  EXPECT_EQ(n.longName, "Windows Server 2008 Standard Edition (core installation), 64-bit");
  EXPECT_EQ(n.shortCode, "win2008_64");
  EXPECT_TRUE(n.isServer2008);

  n = NameWindowsOs(Nt(6, 1, 7600, 2, kArchAmd64));
  EXPECT_EQ(n.longName, "Windows Server 2008 R2, 64-bit");
  EXPECT_EQ(n.shortCode, "win2008r2_64");
  EXPECT_TRUE(n.isServer2008);
}

TEST(WindowsNaming, Server2003Family) {
  WindowsVersionRecord v = Nt(5, 2, 3790, 3);
  v.serverR2 = 1;
  v.suiteMask = 0x2;
  EXPECT_EQ(NameWindowsOs(v).longName, "Windows Server 2003 R2 Enterprise Edition");
  EXPECT_EQ(NameWindowsOs(v).shortCode, "win2003r2_32");

  v.serverR2 = 0;
  v.suiteMask = 0x2000;
  EXPECT_EQ(NameWindowsOs(v).longName, "Windows Storage Server 2003Standard Edition");

  v.suiteMask = 0x4000 | 0x80;
  EXPECT_EQ(NameWindowsOs(v).longName, "Windows Server 2003 Compute Cluster Edition");
  v.suiteMask = 0x400;
  EXPECT_EQ(NameWindowsOs(v).longName, "Windows Server 2003 Web Edition");
  v.suiteMask = 0x20;
  EXPECT_EQ(NameWindowsOs(v).longName, "Windows Server 2003 Small Business Edition");

  v.processorArchitecture = kArchAmd64;
  v.suiteMask = 0x80;
  OsNaming n = NameWindowsOs(v);
  EXPECT_EQ(n.longName, "Windows Server 2003 Datacenter x64 Edition");
  EXPECT_EQ(n.shortCode, "win2003_64");

  v.processorArchitecture = kArchIa64;
  v.suiteMask = 0;
  n = NameWindowsOs(v);
  EXPECT_EQ(n.longName, "Windows Server 2003 ");
  EXPECT_EQ(n.shortCode, "win2003_64");

  n = NameWindowsOs(Nt(5, 2, 3790, 1, kArchAmd64));
  EXPECT_EQ(n.longName, "Windows XP Professional x64 Edition");
  EXPECT_EQ(n.shortCode, "winxp_64");
}

TEST(WindowsNaming, Windows2000Editions) {
  WindowsVersionRecord v = Nt(5, 0, 2195, 1);
  EXPECT_EQ(NameWindowsOs(v).longName, "Windows 2000 Professional");
  EXPECT_EQ(NameWindowsOs(v).shortCode, "win2000");
  v.productType = 3;
  v.suiteMask = 0x80 | 0x2;
  EXPECT_EQ(NameWindowsOs(v).longName, "Windows 2000 Datacenter Server");
  v.suiteMask = 0x2;
  EXPECT_EQ(NameWindowsOs(v).longName, "Windows 2000 Advanced Server");
  v.suiteMask = 0;
  EXPECT_EQ(NameWindowsOs(v).longName, "Windows 2000 Server");
}

TEST(WindowsNaming, UnnamedAndOldSystems) {
  OsNaming n = NameWindowsOs(Nt(4, 0, 1381, 1));
  EXPECT_EQ(n.result, 0);
  EXPECT_EQ(n.longName, "Unknown OS");
  EXPECT_EQ(n.shortCode, "UnknownOs");
  EXPECT_FALSE(n.isNt5OrLater);

  // NT systems the table does not know are still "named" (result 1) with an empty name.
  for (const auto& [major, minor] : {std::pair{6u, 2u}, std::pair{10u, 0u}, std::pair{5u, 3u}}) {
    n = NameWindowsOs(Nt(major, minor, 9200, 1, kArchAmd64));
    EXPECT_EQ(n.result, 1);
    EXPECT_EQ(n.longName, "");
    EXPECT_EQ(n.shortCode, "");
    EXPECT_EQ(n.buildText, "Build 9200");
  }
  EXPECT_EQ(NameWindowsOs(Nt(6, 2, 0, 1)).buildText, "");

  WindowsVersionRecord w9x;
  w9x.platformId = kVerPlatformWindows;
  w9x.major = 4;
  w9x.servicePack = " C";
  EXPECT_EQ(NameWindowsOs(w9x).longName, "Windows 95 OSR2 ");
  EXPECT_EQ(NameWindowsOs(w9x).shortCode, "win95");
  w9x.minor = 10;
  w9x.servicePack = " A ";
  EXPECT_EQ(NameWindowsOs(w9x).longName, "Windows 98 SE ");
  w9x.servicePack = "";
  EXPECT_EQ(NameWindowsOs(w9x).longName, "Windows 98 ");
  w9x.minor = 90;
  EXPECT_EQ(NameWindowsOs(w9x).longName, "Windows Millennium Edition");
  EXPECT_EQ(NameWindowsOs(w9x).buildText, "");

  WindowsVersionRecord s;
  s.platformId = kVerPlatformWin32s;
  EXPECT_EQ(NameWindowsOs(s).longName, "Microsoft Win32s");
  s.platformId = 7;
  EXPECT_EQ(NameWindowsOs(s).result, 0);
  EXPECT_EQ(NameWindowsOs(s).longName, "Unknown OS");
}

TEST(OsRelease, PrettyNameWithQuotingAndFallback) {
  EXPECT_EQ(OsReleasePrettyName("NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"),
            "Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(OsReleasePrettyName("PRETTY_NAME='Arch Linux'\n"), "Arch Linux");
  EXPECT_EQ(OsReleasePrettyName("PRETTY_NAME=\"Say \\\"hi\\\" \\$HOME\"\n"), "Say \"hi\" $HOME");
  EXPECT_EQ(OsReleasePrettyName("NAME=Alpine\nVERSION=3.19\n"), "Alpine 3.19");
  EXPECT_EQ(OsReleasePrettyName("# PRETTY_NAME=\"commented\"\nPRETTY_NAMEX=no\n"), "");
  EXPECT_EQ(OsReleaseValue("ID=debian\r\nVERSION_ID=\"12\"", "VERSION_ID"), "12");
  EXPECT_EQ(OsReleaseValue("PRETTY_NAME=\"unterminated", "PRETTY_NAME"), "unterminated");
}

class OsNameOnMachine : public ::testing::Test {
 protected:
  void TearDown() override { platform::SetSysrootPrefixForTesting(""); }
};

TEST_F(OsNameOnMachine, NamesTheFixtureSystemAndSetsTheShortCode) {
  platform::SetSysrootPrefixForTesting(std::string(KORVANE_FIXTURES_DIR) + "/machines/laptop");
  std::string longName = "untouched", build = "untouched";
  EXPECT_EQ(GetOsName(nullptr, &build), 0);
  EXPECT_EQ(GetOsName(&longName, nullptr), 0);
  EXPECT_EQ(longName, "untouched");
  EXPECT_EQ(build, "untouched");

  ASSERT_EQ(GetOsName(&longName, &build), 1);
  EXPECT_EQ(longName, "Fedora Linux 39 (Workstation Edition)");
  EXPECT_EQ(build, "Kernel 6.8.9-200.fc39.x86_64");
  EXPECT_EQ(OsShortCode().substr(0, 6), "linux_");
  EXPECT_EQ(IsNt5OrLater(), 1);
  EXPECT_EQ(IsVista() + IsWindows7() + IsServer2008(), 0);
}

TEST_F(OsNameOnMachine, MissingOsReleaseStillNamesLinux) {
  platform::SetSysrootPrefixForTesting(std::string(KORVANE_FIXTURES_DIR) + "/machines/does-not-exist");
  std::string longName, build;
  ASSERT_EQ(GetOsName(&longName, &build), 1);
  EXPECT_EQ(longName, "Linux");
  EXPECT_EQ(build, "");
}

}  // namespace
}  // namespace korvane
