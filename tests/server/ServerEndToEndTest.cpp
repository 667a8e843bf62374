// korvane-server end to end: the real server on a loopback port with a fresh data folder, seeded
// from the machine's pci.ids and usb.ids and a real modules.alias excerpt, asked through the
// program's own driver query. Names are checked against libpci and the program's usb.ids reader,
// which read the same files independently of the server.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "../detect/FakeWmi.h"
#include "../support/ServerSpawn.h"
#include "detect/DisplayHelper.h"
#include "detect/SoundHelper.h"
#include "online/DriveDBQuery.h"
#include "online/OnlineDriverDatabase.h"
#include "platform/Http.h"
#include "scores/TextCipher.h"
#include "sysinfo/PciNames.h"
#include "sysinfo/UsbIds.h"


namespace korvane {
namespace {

namespace fs = std::filesystem;

struct ServerProcess {
  pid_t pid = -1;
  std::string base;  // http://127.0.0.1:<port>
  fs::path log;
};

// Starts korvane-server and waits for the address it listens on (port 0: the kernel picks a
// free one, so parallel test runs never collide).
ServerProcess StartServer(const fs::path& data, const fs::path& modules, const fs::path& log) {
  const testsupport::SpawnedServer spawned = testsupport::SpawnKorvaneServer(data, modules, log);
  ServerProcess p;
  p.pid = spawned.pid;
  p.base = spawned.base;
  p.log = log;
  return p;
}

int StopServer(ServerProcess& p) {
  if (p.pid <= 0) return -1;
  ::kill(p.pid, SIGTERM);
  int status = 0;
  for (int i = 0; i < 100; ++i) {
    if (::waitpid(p.pid, &status, WNOHANG) == p.pid) {
      p.pid = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ::kill(p.pid, SIGKILL);
  ::waitpid(p.pid, &status, 0);
  p.pid = -1;
  return -2;  // did not stop on SIGTERM
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ServerEndToEnd : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Each test runs in a process of its own, possibly beside the others: one folder per process.
    dir_ = fs::path(std::getenv("HOME")) / ("server-e2e-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "modules" / "5.6.2");
    const fs::path alias = dir_ / "modules" / "5.6.2" / "modules.alias";
    fs::copy_file(fs::path(KORVANE_FIXTURES_DIR) / "modules-alias" / "5.6.2" / "modules.alias",
                  alias);
    // The alias file's date is the driver's release date: pin it.
    const timespec times[2] = {{1585742400, 0}, {1585742400, 0}};  // 2020-04-01 12:00 UTC
    ::utimensat(AT_FDCWD, alias.c_str(), times, 0);
    server_ = new ServerProcess(StartServer(dir_ / "data", dir_ / "modules", dir_ / "server.log"));
    if (!server_->base.empty()) {
      ::setenv("KORVANE_SERVER_BASE", server_->base.c_str(), 1);
    }
  }
  static void TearDownTestSuite() {
    if (server_ != nullptr) StopServer(*server_);
    delete server_;
    server_ = nullptr;
    ::unsetenv("KORVANE_SERVER_BASE");
    fs::remove_all(dir_);
  }
  void SetUp() override { ASSERT_FALSE(server_->base.empty()) << ReadFile(dir_ / "server.log"); }

  static std::string Search(std::string_view instanceId) {
    return DriverSearchUrl(
        server_->base + "/?action=seSearch&version=2.0&os=winxp_32&type=1&typename=", instanceId);
  }

  static inline fs::path dir_;
  static inline ServerProcess* server_ = nullptr;
};

struct PciCase {
  const char* instanceId;
  std::uint16_t vendor, device, subVendor, subDevice;
  const char* module;  // from the alias excerpt; "" when it names none
};

TEST_F(ServerEndToEnd, PciDevicesResolveToTheirIdDatabaseNames) {
  if (PciVendorName(0x10de).empty()) GTEST_SKIP() << "no pci.ids on this machine";
  const PciCase cases[] = {
      {"PCI\\VEN_10DE&DEV_2484&SUBSYS_404C1458&REV_A1\\4&2A1B3C4D&0&0008", 0x10de, 0x2484, 0x1458,
       0x404c, ""},
      {"PCI\\VEN_1002&DEV_67DF&SUBSYS_E3531DA2&REV_E7\\4&1F2E3D4C&0&0008", 0x1002, 0x67df, 0x1da2,
       0xe353, "amdgpu"},
      {"PCI\\VEN_8086&DEV_3E9B&SUBSYS_872F1043&REV_02\\3&11583659&0&10", 0x8086, 0x3e9b, 0x1043,
       0x872f, "i915"},
  };
  for (const PciCase& c : cases) {
    DeviceRecord r{};
    ASSERT_EQ(QueryDriverDatabase(c.instanceId, &r), 1) << c.instanceId;
    std::string expected = PciSubsystemName(c.vendor, c.device, c.subVendor, c.subDevice);
    if (expected.empty()) expected = PciDeviceName(c.vendor, c.device);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(RecordText(r.name), expected) << c.instanceId;
    EXPECT_EQ(RecordText(r.name2), expected);
    EXPECT_EQ(RecordText(r.manufacturer), PciVendorName(c.vendor));
    EXPECT_EQ(RecordText(r.instanceId).rfind(std::string(c.instanceId).substr(0, 21), 0), 0u)
        << RecordText(r.instanceId);
    if (*c.module != 0) {
      EXPECT_EQ(RecordText(r.driverVersion), "5.6.2");
      EXPECT_EQ(RecordText(r.releaseDate), "2020-04-01");
    }
  }
}

TEST_F(ServerEndToEnd, AnswerCarriesTheAliasFilesModule) {
  // Only the full answer shows the module; the record has no field for it.
  platform::HttpOptions o;
  const auto res = platform::HttpGet(Search("PCI\\VEN_1002&DEV_67DF&REV_E7"), o);
  ASSERT_EQ(res.status, 200u) << res.body;
  EXPECT_NE(res.body.find("<drivername>amdgpu</drivername>"), std::string::npos) << res.body;
  const auto codec =
      platform::HttpGet(Search("HDAUDIO\\FUNC_01&VEN_10EC&DEV_0899&SUBSYS_1028065F&REV_1000"), o);
  EXPECT_NE(codec.body.find("<drivername>snd_hda_codec_realtek</drivername>"), std::string::npos)
      << codec.body;
}

TEST_F(ServerEndToEnd, RealtekCodecAndUsbDevice) {
  DeviceRecord r{};
  ASSERT_EQ(
      QueryDriverDatabase(
          "HDAUDIO\\FUNC_01&VEN_10EC&DEV_0899&SUBSYS_1028065F&REV_1000\\4&35E8C0D9&0&0001", &r),
      1);
  EXPECT_EQ(RecordText(r.name), "Realtek ALC898");
  EXPECT_EQ(RecordText(r.manufacturer), "Realtek Semiconductor Corp.");
  EXPECT_EQ(RecordText(r.instanceId), "HDAUDIO\\FUNC_01&VEN_10EC&DEV_0899");
  EXPECT_EQ(RecordText(r.driverVersion), "5.6.2");

  const std::string usbName = UsbIds::System().ProductName(0x046d, 0xc52b);
  if (usbName.empty()) GTEST_SKIP() << "no usb.ids on this machine";
  r = DeviceRecord{};
  ASSERT_EQ(QueryDriverDatabase("USB\\VID_046D&PID_C52B\\5&2F4E1A3B&0&2", &r), 1);
  EXPECT_EQ(RecordText(r.name), usbName);
  EXPECT_EQ(RecordText(r.manufacturer), UsbIds::System().VendorName(0x046d));
}

TEST_F(ServerEndToEnd, UnknownDeviceIsNotFoundAndSkipped) {
  DeviceRecord r{};
  SetRecordText(r.name, "as enumerated");
  const auto trace =
      QueryDriverDatabaseTraced("PCI\\VEN_FFFE&DEV_0001&SUBSYS_00000000&REV_00\\1&2", &r);
  EXPECT_FALSE(trace.filled);
  ASSERT_EQ(trace.steps.size(), 2u);
  EXPECT_EQ(trace.steps[0].answer, DriverAnswer::kNotFound);
  EXPECT_EQ(trace.steps[1].answer, DriverAnswer::kNotFound);
  EXPECT_EQ(RecordText(r.name), "as enumerated");
}

TEST_F(ServerEndToEnd, BadQueriesGet400AndTheServerCarriesOn) {
  platform::HttpOptions o;
  const std::string longQuery(9000, 'A');
  for (const std::string& q :
       {std::string("NOT-HEX"), EncryptText("action=seSearch&version=2.0&type=1"),
        std::string(8200, '3'), longQuery}) {
    const auto res = platform::HttpGet(server_->base + "/?" + q, o);
    EXPECT_EQ(res.status, 400u) << q.substr(0, 40);
    EXPECT_FALSE(res.body.empty());
    EXPECT_EQ(res.body.find('\n'), res.body.size() - 1) << res.body;
  }
  EXPECT_EQ(platform::HttpGet(server_->base + "/info/netstat.xml", o).status, 200u);
}

TEST_F(ServerEndToEnd, SmallFilesAndStartPage) {
  platform::HttpOptions o;
  for (const char* p : {"/info/netstat.xml", "/info/netstat-en.xml"}) {
    const auto res = platform::HttpGet(server_->base + p, o);
    EXPECT_EQ(res.status, 200u) << p;
    EXPECT_NE(res.body.find("<netstat>"), std::string::npos);
  }
  for (const char* p : {"/info/tovixsoft.html", "/info/tovixsoft-en.html", "/"}) {
    const auto res = platform::HttpGet(server_->base + p, o);
    EXPECT_EQ(res.status, 200u) << p;
    EXPECT_NE(res.body.find("korvane-server"), std::string::npos);
    EXPECT_NE(res.body.find("href=\"/tovix/version/tovixnew.txt\""), std::string::npos);
  }
  EXPECT_EQ(platform::HttpGet(server_->base + "/tovix/version/tovixnew.txt", o).status, 404u);
  EXPECT_EQ(platform::HttpGet(server_->base + "/tovix/version/tovixnew-en.txt", o).status, 404u);
  const std::string ini = "[main]\nversion=3.0.603.2\nurl=http://127.0.0.1:8086/\n";
  std::ofstream(dir_ / "data" / "tovixnew.txt") << ini;
  EXPECT_EQ(platform::HttpGet(server_->base + "/tovix/version/tovixnew.txt", o).body, ini);
  EXPECT_EQ(platform::HttpGet(server_->base + "/tovix/version/tovixnew-en.txt", o).body, ini);
  fs::remove(dir_ / "data" / "tovixnew.txt");
  EXPECT_EQ(platform::HttpGet(server_->base + "/nothing/here", o).status, 404u);
}

TEST_F(ServerEndToEnd, SecondProcessSharesTheDatabaseAndBothStopOnSigterm) {
  ServerProcess second = StartServer(dir_ / "data", dir_ / "modules", dir_ / "second.log");
  ASSERT_FALSE(second.base.empty()) << ReadFile(dir_ / "second.log");
  EXPECT_NE(second.base, server_->base);
  const auto res = platform::HttpGet(DriverSearchUrl(
      second.base + "/?action=seSearch&version=2.0&typename=", "PCI\\VEN_1002&DEV_67DF"));
  EXPECT_EQ(res.status, 200u);
  EXPECT_NE(res.body.find("<drivername>amdgpu</drivername>"), std::string::npos);
  EXPECT_EQ(StopServer(second), 0);
  const std::string log = ReadFile(dir_ / "second.log");
  // The database was already seeded: no second import.
  EXPECT_EQ(log.find("imported"), std::string::npos) << log;
  // One access-log line per request, with the query's size rather than its text.
  EXPECT_NE(log.find("127.0.0.1 \"GET /?<"), std::string::npos) << log;
  EXPECT_NE(log.find("stopped"), std::string::npos);
}

TEST_F(ServerEndToEnd, TerminalModePrintsCandidatesAndRecordForScripts) {
  const std::string exe = std::string(KORVANE_BIN_DIR) + "/korvane";
  if (::access(exe.c_str(), X_OK) != 0) GTEST_SKIP() << "korvane not built";
  auto run = [&](const std::string& id, int& exitCode) {
    const std::string cmd = "'" + exe + "' --driver-query '" + id + "' --json 2>&1";
    std::string out;
    FILE* f = ::popen(cmd.c_str(), "r");
    if (f == nullptr) return out;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    const int status = ::pclose(f);
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
  };
  int code = -1;
  std::string out = run("PCI\\VEN_1002&DEV_67DF&SUBSYS_E3531DA2&REV_E7\\4&1F2E3D4C&0&0008", code);
  EXPECT_EQ(code, 0) << out;
  EXPECT_NE(out.find("\"found\": true"), std::string::npos) << out;
  EXPECT_NE(out.find("\"driverVersion\": \"5.6.2\""), std::string::npos) << out;
  // The candidates in the order they are asked: the device part first, then the whole id.
  const std::size_t list = out.find("\"candidates\"");
  const std::size_t head = out.find("\"PCI\\\\VEN_1002&DEV_67DF&SUBSYS_E3531DA2&REV_E7\",", list);
  const std::size_t whole =
      out.find("\"PCI\\\\VEN_1002&DEV_67DF&SUBSYS_E3531DA2&REV_E7\\\\4&1F2E3D4C&0&0008\"", list);
  ASSERT_NE(list, std::string::npos) << out;
  EXPECT_NE(head, std::string::npos) << out;
  EXPECT_LT(head, whole);
  EXPECT_NE(out.find("\"PCI\\\\VEN_1002&DEV_67DF&SUBSYS_E3531DA2&REV_E7\\\\\"", list),
            std::string::npos)
      << out;
  out = run("PCI\\VEN_FFFE&DEV_0001\\1", code);
  EXPECT_EQ(code, 1) << out;
  EXPECT_NE(out.find("\"record\": null"), std::string::npos) << out;
}

// The detectors' fallbacks, when the management interface lists no adapter or sound device, name
// the Plug and Play devices through this server.
struct DeviceListScope {
  explicit DeviceListScope(std::vector<PresentDevice> devices) {
    SetDeviceSourceForTesting([devices] { return devices; });
  }
  ~DeviceListScope() { SetDeviceSourceForTesting(nullptr); }
};

TEST_F(ServerEndToEnd, DisplayFallbackNamesAdaptersTheInterfaceMissed) {
  if (PciVendorName(0x10de).empty()) GTEST_SKIP() << "no pci.ids on this machine";
  FakeWmiScope wmi;  // no adapters listed
  DeviceListScope devices(
      {{"Display", "PCI\\VEN_10DE&DEV_2484&SUBSYS_404C1458&REV_A1\\4&2A1B3C4D&0&0008", ""},
       {"Net", "PCI\\VEN_8086&DEV_15B8&SUBSYS_86721043&REV_00\\3&1&0&FE", ""},
       {"Display", "PCI\\VEN_FFFE&DEV_0001\\4&1&0&0010", ""}});
  CDisplayHelper display(std::make_shared<COnlineDriverDatabase>());
  display.vUpdate();
  EXPECT_EQ(display.detected, 1);
  ASSERT_EQ(display.count, 1);  // the unknown device is skipped, the network card never asked
  std::string expected = PciSubsystemName(0x10de, 0x2484, 0x1458, 0x404c);
  if (expected.empty()) expected = PciDeviceName(0x10de, 0x2484);
  EXPECT_EQ(display.adapters[0].caption, expected);
  EXPECT_EQ(display.adapters[0].adapterCompatibility, PciVendorName(0x10de));
  EXPECT_EQ(display.adapters[0].pnpDeviceId.rfind("PCI\\VEN_10DE&DEV_2484", 0), 0u)
      << display.adapters[0].pnpDeviceId;
}

TEST_F(ServerEndToEnd, SoundFallbackNamesCodecsTheInterfaceMissed) {
  FakeWmiScope wmi;  // no sound devices listed
  DeviceListScope devices(
      {{"MEDIA", "HDAUDIO\\FUNC_01&VEN_10EC&DEV_0899&SUBSYS_1028065F&REV_1000\\4&35E8C0D9&0&0001",
        ""}});
  SoundSources sources;
  sources.database = std::make_shared<COnlineDriverDatabase>();
  sources.waveDevices = [] { return WaveDevices{}; };
  CSoundHelper sound(std::move(sources));
  sound.vUpdate();
  ASSERT_EQ(sound.count, 1);
  EXPECT_EQ(sound.devices[0].caption, "Realtek ALC898");
  EXPECT_EQ(sound.devices[0].manufacturer, "Realtek Semiconductor Corp.");
}

}  // namespace
}  // namespace korvane
