#!/usr/bin/env python3
"""Builds the fixture machines of the display and monitor tests under tests/fixtures/machines/.

display-dual-head: a Radeon RX 580 (amdgpu, 8 GiB VRAM) driving a Dell P2419H on DisplayPort and
  a Dell U4021QW on HDMI, plus an Intel HD 4600 (i915) whose VGA port has an Acer P223W plugged
  in but not enabled.
display-broken-edid: a GeForce GTX 1070 under the nvidia driver without kernel mode setting
  (connectors connected, none enabled): a Samsung C24F390 with a good EDID, a ViewSonic
  XG2401 whose EDID fails its checksum and a Dell P2419H whose EDID lost its header.

display-plain-sysfs: a laptop recorded without its PCI bus folder, connectors as plain folders: an
  Intel Iris Xe (i915) with an LG Display panel whose EDID has no name and an LG 4K monitor on
  HDMI, reached only through the card's device link.

EDIDs: linuxhw/EDID (CC-BY-4.0), from the shared fixtures. Everything else follows the kernel's
sysfs layout. Usage: make_display_machines.py [<shared fixtures dir>]
"""
import os
import shutil
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
MACHINES = os.path.normpath(os.path.join(HERE, "..", "fixtures", "machines"))
SHARED = sys.argv[1] if len(sys.argv) > 1 else "/work/shared/fixtures"

MEM = 0x40200
MEM64PF = 0x14220c
IO = 0x40101


def path(machine, rel):
    return os.path.join(MACHINES, machine, rel)


def write(machine, rel, content):
    p = path(machine, rel)
    os.makedirs(os.path.dirname(p), exist_ok=True)
    with open(p, "wb" if isinstance(content, (bytes, bytearray)) else "w") as f:
        f.write(content)


def link(machine, rel, target_rel):
    p = path(machine, rel)
    os.makedirs(os.path.dirname(p), exist_ok=True)
    if os.path.lexists(p):
        os.remove(p)
    os.symlink(os.path.relpath(path(machine, target_rel), os.path.dirname(p)), p)


def edid(name):
    with open(os.path.join(SHARED, "edid", name + ".bin"), "rb") as f:
        return f.read()


def resource_text(bars):
    lines = []
    for i in range(13):
        if i < len(bars) and bars[i]:
            start, size, flags = bars[i]
            lines.append("0x%016x 0x%016x 0x%016x" % (start, start + size - 1, flags))
        else:
            lines.append("0x%016x 0x%016x 0x%016x" % (0, 0, 0))
    return "\n".join(lines) + "\n"


def pci(machine, bdf, ids, cls, rev, driver, parent="", bars=(), extra=None, module=None, module_version=None):
    vendor, device, sv, sd = ids
    devpath = "sys/devices/pci0000:00/" + (parent + "/" if parent else "") + bdf
    write(machine, devpath + "/vendor", "0x%04x\n" % vendor)
    write(machine, devpath + "/device", "0x%04x\n" % device)
    write(machine, devpath + "/subsystem_vendor", "0x%04x\n" % sv)
    write(machine, devpath + "/subsystem_device", "0x%04x\n" % sd)
    write(machine, devpath + "/class", "0x%06x\n" % cls)
    write(machine, devpath + "/revision", "0x%02x\n" % rev)
    write(machine, devpath + "/resource", resource_text(list(bars)))
    write(machine, devpath + "/uevent", "DRIVER=%s\nPCI_CLASS=%X\nPCI_ID=%04X:%04X\nPCI_SUBSYS_ID=%04X:%04X\n"
          "PCI_SLOT_NAME=%s\n" % (driver, cls, vendor, device, sv, sd, bdf))
    for name, content in (extra or {}).items():
        write(machine, devpath + "/" + name, content)
    link(machine, "sys/bus/pci/devices/" + bdf, devpath)
    # The driver's folder, its module, and the device's links to them, as the kernel has them.
    module = module or driver
    link(machine, devpath + "/driver", "sys/bus/pci/drivers/" + driver)
    link(machine, "sys/bus/pci/drivers/%s/%s" % (driver, bdf), devpath)
    link(machine, "sys/bus/pci/drivers/%s/module" % driver, "sys/module/" + module)
    write(machine, "sys/module/%s/refcnt" % module, "1\n")
    if module_version:
        write(machine, "sys/module/%s/version" % module, module_version + "\n")
    return devpath


def drm(machine, gpu_path, card, number, connectors):
    carddir = gpu_path + "/drm/" + card
    write(machine, carddir + "/dev", "226:%d\n" % number)
    link(machine, carddir + "/device", gpu_path)
    link(machine, "sys/class/drm/" + card, carddir)
    for cname, status, enabled, edid_bytes, modes in connectors:
        cdir = carddir + "/" + card + "-" + cname
        write(machine, cdir + "/status", status + "\n")
        write(machine, cdir + "/enabled", ("enabled" if enabled else "disabled") + "\n")
        write(machine, cdir + "/edid", edid_bytes)
        write(machine, cdir + "/modes", "".join(m + "\n" for m in modes))
        link(machine, cdir + "/device", carddir)
        link(machine, "sys/class/drm/" + card + "-" + cname, cdir)
    # The render node has no connectors and is no adapter.
    link(machine, "sys/class/drm/renderD%d" % (128 + number), carddir)


def kernel(machine, release, version):
    write(machine, "proc/sys/kernel/osrelease", release + "\n")
    write(machine, "proc/sys/kernel/version", version + "\n")
    write(machine, "etc/os-release", 'PRETTY_NAME="Debian GNU/Linux 12 (bookworm)"\nNAME="Debian GNU/Linux"\n'
          'VERSION_ID="12"\n')


def fresh(machine):
    p = path(machine, "")
    if os.path.isdir(p):
        shutil.rmtree(p)
    os.makedirs(p)


def dual_head():
    m = "display-dual-head"
    fresh(m)
    kernel(m, "6.1.0-28-amd64", "#1 SMP PREEMPT_DYNAMIC Debian 6.1.119-1 (2024-11-22)")
    pci(m, "0000:00:01.0", (0x8086, 0x0c01, 0x1458, 0x5000), 0x060400, 0x06, "pcieport")
    radeon = pci(m, "0000:01:00.0", (0x1002, 0x67df, 0x1462, 0x8a92), 0x030000, 0xe7, "amdgpu", "0000:00:01.0",
                 bars=[(0xe0000000, 0x10000000, MEM64PF), None, (0xf0000000, 0x200000, MEM64PF), None,
                       (0xe000, 0x100, IO), (0xf7e00000, 0x40000, MEM)],
                 extra={"mem_info_vram_total": "8589934592\n"})
    igpu = pci(m, "0000:00:02.0", (0x8086, 0x0412, 0x1458, 0xd000), 0x030000, 0x06, "i915",
               bars=[(0xf7400000, 0x400000, MEM), None, (0xd0000000, 0x10000000, MEM64PF), None,
                     (0xf000, 0x40, IO)])
    drm(m, radeon, "card0", 0, [
        ("DP-1", "connected", True, edid("digital_DELD0D9_DELL_P2419H_CFAE63E5EE0C"),
         ["1920x1080", "1920x1080", "1680x1050", "1280x1024", "1024x768", "800x600", "640x480"]),
        ("DVI-D-1", "disconnected", False, b"", []),
        ("HDMI-A-1", "connected", True, edid("digital_DEL4206_DELL_U4021QW_A01FC09AFBC1"),
         ["2560x1080", "1920x1080", "1280x720"]),
    ])
    drm(m, igpu, "card1", 1, [
        ("VGA-1", "connected", False, edid("analog_ACR000E_P223W_0A671839A9C8"),
         ["1680x1050", "1280x1024", "1024x768"]),
        ("HDMI-A-2", "disconnected", False, b"", []),
    ])


def broken_edid():
    m = "display-broken-edid"
    fresh(m)
    kernel(m, "6.1.0-28-amd64", "#1 SMP PREEMPT_DYNAMIC Debian 6.1.119-1 (2024-11-22)")
    pci(m, "0000:00:01.0", (0x8086, 0x0151, 0x1043, 0x84ca), 0x060400, 0x09, "pcieport")
    gpu = pci(m, "0000:01:00.0", (0x10de, 0x1b81, 0x1458, 0x3772), 0x030000, 0xa1, "nvidia", "0000:00:01.0",
              bars=[(0xf6000000, 0x1000000, MEM), (0xe0000000, 0x10000000, MEM64PF), None,
                    (0xf0000000, 0x2000000, MEM64PF), None, (0xe000, 0x80, IO)],
              module_version="535.183.01")
    bad_checksum = bytearray(edid("digital_VSCBB31_XG2401_SERIES_1D12BB636764"))
    bad_checksum[127] ^= 0x5a
    bad_header = bytearray(edid("digital_DELD0D9_DELL_P2419H_CFAE63E5EE0C"))
    bad_header[0:8] = b"\0" * 8
    drm(m, gpu, "card0", 0, [
        ("DP-1", "connected", False, edid("analog_SAM0D2D_C24F390_C008152486BC"), ["1920x1080", "1680x1050"]),
        ("DP-2", "connected", False, bytes(bad_checksum), ["1920x1080", "1280x720"]),
        ("HDMI-A-1", "connected", False, bytes(bad_header), ["1920x1080"]),
    ])


def plain_sysfs():
    m = "display-plain-sysfs"
    fresh(m)
    kernel(m, "6.8.9-200.fc39.x86_64", "#1 SMP PREEMPT_DYNAMIC Thu May  2 18:50:49 UTC 2024")
    dev = "sys/devices/pci0000:00/0000:00:02.0"
    for name, value in [("vendor", "0x8086"), ("device", "0x9a49"), ("subsystem_vendor", "0x17aa"),
                        ("subsystem_device", "0x22d8"), ("class", "0x030000"), ("revision", "0x01")]:
        write(m, dev + "/" + name, value + "\n")
    write(m, dev + "/resource", resource_text([(0x6000000000, 0x1000000, MEM), None,
                                               (0x4000000000, 0x10000000, MEM64PF), None, (0x3000, 0x40, IO)]))
    link(m, dev + "/driver", "sys/bus/pci/drivers/i915")
    link(m, "sys/bus/pci/drivers/i915/module", "sys/module/i915")
    write(m, "sys/module/i915/refcnt", "3\n")
    write(m, "sys/class/drm/card0/dev", "226:0\n")
    link(m, "sys/class/drm/card0/device", dev)
    for cname, e, modes in [
            ("eDP-1", edid("digital_LGD0582_panel_33372E2917B1"), ["3000x2000", "2560x1600", "1920x1200"]),
            ("HDMI-A-1", edid("digital_GSM7707_LG_HDR_4K_364D7A417566"), ["3840x2160", "2560x1440", "1920x1080"])]:
        cdir = "sys/class/drm/card0-" + cname
        write(m, cdir + "/status", "connected\n")
        write(m, cdir + "/enabled", "enabled\n")
        write(m, cdir + "/edid", e)
        write(m, cdir + "/modes", "".join(x + "\n" for x in modes))


if __name__ == "__main__":
    dual_head()
    broken_edid()
    plain_sysfs()
