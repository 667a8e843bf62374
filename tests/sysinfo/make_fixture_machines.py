#!/usr/bin/env python3
"""Builds the device parts of the fixture machines under tests/fixtures/machines/.

Only the trees the system-information tests own are written: sys/block, sys/class/block,
sys/class/drm, sys/bus/pci/devices (with the device folders they point to), sys/bus/usb,
sys/class/sound, proc/asound, etc/os-release and proc/sys/kernel/osrelease. Processor, DMI,
sensor and I2C files of the same machines belong to the hardware-library tests and are left
alone.

PCI ids come from recorded machines (ghw and hwloc sysfs snapshots) and pci.ids; EDIDs from
linuxhw/EDID (CC-BY-4.0); codec listings from tiwai/hda-emu (GPL-2.0). The "vm" machine is
copied from the machine this script runs on.

Usage: make_fixture_machines.py <shared fixtures dir> [--vm]
"""
import os
import shutil
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
MACHINES = os.path.normpath(os.path.join(HERE, "..", "fixtures", "machines"))
SHARED = sys.argv[1] if len(sys.argv) > 1 else "/work/shared/fixtures"


def path(machine, rel):
    return os.path.join(MACHINES, machine, rel)


def write(machine, rel, content):
    p = path(machine, rel)
    os.makedirs(os.path.dirname(p), exist_ok=True)
    mode = "wb" if isinstance(content, (bytes, bytearray)) else "w"
    with open(p, mode) as f:
        f.write(content)


def link(machine, rel, target_rel):
    """A relative symbolic link at rel pointing to target_rel (both machine-relative)."""
    p = path(machine, rel)
    os.makedirs(os.path.dirname(p), exist_ok=True)
    if os.path.lexists(p):
        os.remove(p)
    rel_target = os.path.relpath(path(machine, target_rel), os.path.dirname(p))
    os.symlink(rel_target, p)


def reset(machine):
    for rel in ["sys/block", "sys/class/block", "sys/class/drm", "sys/bus/pci/devices", "sys/bus/usb",
                "sys/class/sound", "proc/asound", "sys/devices/virtual/block"]:
        p = path(machine, rel)
        if os.path.islink(p) or os.path.isfile(p):
            os.remove(p)
        elif os.path.isdir(p):
            shutil.rmtree(p)


def resource_text(bars):
    lines = []
    for i in range(13):
        if i < len(bars) and bars[i]:
            start, size, flags = bars[i]
            lines.append("0x%016x 0x%016x 0x%016x" % (start, start + size - 1, flags))
        else:
            lines.append("0x%016x 0x%016x 0x%016x" % (0, 0, 0))
    return "\n".join(lines) + "\n"


MEM = 0x40200          # memory window
MEM64PF = 0x14220c     # 64-bit prefetchable memory window
IO = 0x40101


def pci(machine, bdf, vendor, device, sv, sd, cls, rev, driver="", parent="", bars=(), extra=None):
    devpath = "sys/devices/pci0000:00/" + (parent + "/" if parent else "") + bdf
    write(machine, devpath + "/vendor", "0x%04x\n" % vendor)
    write(machine, devpath + "/device", "0x%04x\n" % device)
    write(machine, devpath + "/subsystem_vendor", "0x%04x\n" % sv)
    write(machine, devpath + "/subsystem_device", "0x%04x\n" % sd)
    write(machine, devpath + "/class", "0x%06x\n" % cls)
    write(machine, devpath + "/revision", "0x%02x\n" % rev)
    write(machine, devpath + "/resource", resource_text(list(bars)))
    uevent = ""
    if driver:
        uevent += "DRIVER=%s\n" % driver
    uevent += "PCI_CLASS=%X\nPCI_ID=%04X:%04X\nPCI_SUBSYS_ID=%04X:%04X\nPCI_SLOT_NAME=%s\n" % (
        cls, vendor, device, sv, sd, bdf)
    write(machine, devpath + "/uevent", uevent)
    for name, content in (extra or {}).items():
        write(machine, devpath + "/" + name, content)
    link(machine, "sys/bus/pci/devices/" + bdf, devpath)
    return devpath


def block(machine, blockdir, name, sectors, parts=(), lbs=512, removable=0, device_files=None, device_rel=None,
          block_files=None):
    """blockdir: machine-relative folder of the disk; device_rel: folder its device link names."""
    write(machine, blockdir + "/size", "%d\n" % sectors)
    write(machine, blockdir + "/removable", "%d\n" % removable)
    write(machine, blockdir + "/queue/logical_block_size", "%d\n" % lbs)
    write(machine, blockdir + "/queue/physical_block_size", "%d\n" % lbs)
    write(machine, blockdir + "/uevent", "MAJOR=8\nMINOR=0\nDEVNAME=%s\nDEVTYPE=disk\n" % name)
    for name_, content in (block_files or {}).items():
        write(machine, blockdir + "/" + name_, content)
    for i, psectors in enumerate(parts, start=1):
        pname = name + ("p%d" % i if name[-1].isdigit() else "%d" % i)
        write(machine, blockdir + "/" + pname + "/partition", "%d\n" % i)
        write(machine, blockdir + "/" + pname + "/size", "%d\n" % psectors)
        link(machine, "sys/class/block/" + pname, blockdir + "/" + pname)
    if device_rel:
        for fname, content in (device_files or {}).items():
            write(machine, device_rel + "/" + fname, content)
        link(machine, blockdir + "/device", device_rel)
    link(machine, "sys/block/" + name, blockdir)
    link(machine, "sys/class/block/" + name, blockdir)


def nvme_disk(machine, ctrl_path, name, model, serial, fw, sectors, parts):
    ctrl = ctrl_path + "/nvme/nvme0"
    block(machine, ctrl + "/" + name, name, sectors, parts, device_rel=ctrl,
          device_files={"model": model.ljust(40) + "\n", "serial": serial.ljust(20) + "\n",
                        "firmware_rev": fw.ljust(8) + "\n"})


def identify_text(model, serial, firmware):
    """An IDENTIFY DEVICE dump in the kernel's ata_device "id" format."""
    words = [0] * 256
    def put(first, count, text):
        text = text.ljust(count * 2)
        for i in range(count):
            words[first + i] = (ord(text[2 * i]) << 8) | ord(text[2 * i + 1])
    put(10, 10, serial.rjust(20))
    put(23, 4, firmware)
    put(27, 20, model)
    words[0] = 0x0040
    lines = []
    for i in range(0, 256, 8):
        lines.append(" ".join("%04x" % w for w in words[i:i + 8]))
    return "\n".join(lines) + "\n"


def ata_disk(machine, ahci_path, port, name, model, serial, rev, sectors, parts):
    sdev = "%s/ata%d/host%d/target%d:0:0/%d:0:0:0" % (ahci_path, port + 1, port, port, port)
    # The SCSI model field holds the first 16 characters only, as on a real machine.
    block(machine, sdev + "/block/" + name, name, sectors, parts, device_rel=sdev,
          device_files={"model": model[:16].ljust(16) + "\n", "vendor": "ATA     \n", "rev": rev + "\n"})
    dev = "%s/ata%d/link%d/dev%d.0/ata_device/dev%d.0" % (ahci_path, port + 1, port + 1, port + 1, port + 1)
    write(machine, dev + "/id", identify_text(model, serial, rev))


def edid(name):
    with open(os.path.join(SHARED, "edid", name + ".bin"), "rb") as f:
        return f.read()


def drm(machine, gpu_path, bdf, card, connectors):
    carddir = gpu_path + "/drm/" + card
    write(machine, carddir + "/dev", "226:0\n")
    link(machine, carddir + "/device", gpu_path)
    link(machine, "sys/class/drm/" + card, carddir)
    for cname, status, edid_bytes, modes in connectors:
        cdir = carddir + "/" + card + "-" + cname
        write(machine, cdir + "/status", status + "\n")
        write(machine, cdir + "/enabled", ("enabled" if status == "connected" else "disabled") + "\n")
        write(machine, cdir + "/edid", edid_bytes or b"")
        write(machine, cdir + "/modes", "".join(m + "\n" for m in modes))
        link(machine, "sys/class/drm/" + card + "-" + cname, cdir)


def codec_block(filename, codec_name, occurrence=0):
    """One codec's listing cut out of an ALSA information report."""
    with open(os.path.join(SHARED, "audio", "hda-codecs", filename), encoding="utf-8", errors="replace") as f:
        lines = f.read().split("\n")
    starts = [i for i, l in enumerate(lines) if l.startswith("Codec: " + codec_name)]
    start = starts[occurrence]
    end = start + 1
    while end < len(lines) and not lines[end].startswith("Codec:") and not lines[end].startswith("!!"):
        end += 1
    while end > start and lines[end - 1].strip() == "":
        end -= 1
    return "\n".join(lines[start:end]) + "\n"


def sound(machine, index, card_id, driver, short, long_, ctrl_path, codecs):
    write(machine, "proc/asound/card%d/id" % index, card_id + "\n")
    for number, text in codecs:
        write(machine, "proc/asound/card%d/codec#%d" % (index, number), text)
    sdir = ctrl_path + "/sound/card%d" % index
    write(machine, sdir + "/id", card_id + "\n")
    write(machine, sdir + "/number", "%d\n" % index)
    link(machine, sdir + "/device", ctrl_path)
    link(machine, "sys/class/sound/card%d" % index, sdir)
    return " %d [%-15s]: %s - %s\n                      %s\n" % (index, card_id, driver, short, long_)


def usb(machine, ctrl_path, name, vid, pid, dev_class, version, product="", manufacturer="", serial="",
        interfaces=()):
    parent = ctrl_path
    if "-" in name:
        bus = name.split("-")[0]
        parent = ctrl_path + "/usb" + bus
        for i in range(1, name.count(".") + 1):
            parent += "/" + name.rsplit(".", name.count(".") - i + 1)[0]
    d = parent + "/" + name
    write(machine, d + "/idVendor", "%04x\n" % vid)
    write(machine, d + "/idProduct", "%04x\n" % pid)
    write(machine, d + "/bDeviceClass", "%02x\n" % dev_class)
    write(machine, d + "/version", "%s\n" % version)
    if product:
        write(machine, d + "/product", product + "\n")
    if manufacturer:
        write(machine, d + "/manufacturer", manufacturer + "\n")
    if serial:
        write(machine, d + "/serial", serial + "\n")
    link(machine, "sys/bus/usb/devices/" + name, d)
    for n, cls in enumerate(interfaces):
        iname = "%s:1.%d" % (name, n)
        write(machine, d + "/" + iname + "/bInterfaceClass", "%02x\n" % cls)
        link(machine, "sys/bus/usb/devices/" + iname, d + "/" + iname)
    return d


def os_files(machine, pretty, name, version_id, release):
    write(machine, "etc/os-release",
          'PRETTY_NAME="%s"\nNAME="%s"\nVERSION_ID="%s"\n' % (pretty, name, version_id))
    write(machine, "proc/sys/kernel/osrelease", release + "\n")


def intel_desktop():
    m = "intel-desktop"
    reset(m)
    os_files(m, "Debian GNU/Linux 12 (bookworm)", "Debian GNU/Linux", "12", "6.1.0-28-amd64")
    # Z77 platform of the board the machine's DMI names (ASUS P8Z77-V LX, subsystem 1043:84ca).
    board = (0x1043, 0x84ca)
    pci(m, "0000:00:00.0", 0x8086, 0x0150, *board, 0x060000, 0x09, "ivb_uncore")
    pci(m, "0000:00:01.0", 0x8086, 0x0151, *board, 0x060400, 0x09, "pcieport")
    gpu = pci(m, "0000:01:00.0", 0x10de, 0x1b81, 0x1458, 0x3772, 0x030000, 0xa1, "nvidia", "0000:00:01.0",
              bars=[(0xf6000000, 0x1000000, MEM), (0xe0000000, 0x10000000, MEM64PF), None,
                    (0xf0000000, 0x2000000, MEM64PF), None, (0xe000, 0x80, IO)])
    pci(m, "0000:01:00.1", 0x10de, 0x10f0, 0x1458, 0x3772, 0x040300, 0xa1, "snd_hda_intel", "0000:00:01.0",
        bars=[(0xf7080000, 0x4000, MEM)])
    pci(m, "0000:00:1c.0", 0x8086, 0x1e10, *board, 0x060400, 0xc4, "pcieport")
    nvme_ctrl = pci(m, "0000:02:00.0", 0x144d, 0xa808, 0x144d, 0xa801, 0x010802, 0x00, "nvme", "0000:00:1c.0",
                    bars=[(0xf7100000, 0x4000, MEM)])
    ehci = pci(m, "0000:00:1a.0", 0x8086, 0x1e2d, *board, 0x0c0320, 0x04, "ehci-pci",
               bars=[(0xf7f08000, 0x400, MEM)])
    hda = pci(m, "0000:00:1b.0", 0x8086, 0x1e20, *board, 0x040300, 0x04, "snd_hda_intel",
              bars=[(0xf7f00000, 0x4000, MEM)])
    pci(m, "0000:00:1f.0", 0x8086, 0x1e44, *board, 0x060100, 0x04, "lpc_ich")
    ahci = pci(m, "0000:00:1f.2", 0x8086, 0x1e02, *board, 0x010601, 0x04, "ahci",
               bars=[(0xf7f07000, 0x800, MEM)])
    pci(m, "0000:00:1f.3", 0x8086, 0x1e22, *board, 0x0c0500, 0x04, "i801_smbus")

    nvme_disk(m, nvme_ctrl, "nvme0n1", "Samsung SSD 970 EVO Plus 1TB", "S4EWNX0R123456A", "2B2QEXM7",
              1953525168, [1048576, 409600, 1951965184])
    ata_disk(m, ahci, 0, "sda", "ST2000DM008-2FR102", "ZFL1ABCD", "0001", 3907029168, [3907026944])
    # A USB stick on the EHCI controller's root hub.
    usb(m, ehci, "usb1", 0x1d6b, 0x0002, 0x09, " 2.00", "EHCI Host Controller", "Linux 6.1.0-28-amd64 ehci_hcd",
        "0000:00:1a.0", [0x09])
    usb(m, ehci, "1-1", 0x8087, 0x0024, 0x09, " 2.00", interfaces=[0x09])
    usb(m, ehci, "1-1.2", 0x046d, 0xc52b, 0x00, " 2.00", "USB Receiver", "Logitech", interfaces=[0x03, 0x03, 0x03])
    stick = usb(m, ehci, "1-1.4", 0x0781, 0x5567, 0x00, " 2.00", "Cruzer Blade", "SanDisk", "4C530001230515117433",
                interfaces=[0x08])
    sdev = stick + "/1-1.4:1.0/host6/target6:0:0/6:0:0:0"
    block(m, sdev + "/block/sdb", "sdb", 31266816, [31264768], removable=1, device_rel=sdev,
          device_files={"model": "Cruzer Blade    \n", "vendor": "SanDisk \n", "rev": "1.00\n"})

    drm(m, gpu, "0000:01:00.0", "card0", [
        ("DP-1", "connected", edid("digital_DELD066_DELL_U2715H_FDBC2DEFC94E"),
         ["2560x1440", "1920x1200", "1920x1080", "1280x1024", "1024x768"]),
        ("HDMI-A-1", "disconnected", b"", []),
        ("DVI-D-1", "disconnected", b"", []),
    ])
    cards = sound(m, 0, "PCH", "HDA-Intel", "HDA Intel PCH", "HDA Intel PCH at 0xf7f00000 irq 35", hda,
                  [(0, codec_block("alc898-alienware-alienware-x51-r2-ccert-201303-13030.codec.txt", "Realtek"))])
    cards += sound(m, 1, "NVidia", "HDA-Intel", "HDA NVidia", "HDA NVidia at 0xf7080000 irq 17",
                   "sys/devices/pci0000:00/0000:00:01.0/0000:01:00.1",
                   [(0, codec_block("alc898-alienware-alienware-x51-r2-ccert-201303-13030.codec.txt",
                                    "Nvidia GPU 40 HDMI/DP"))])
    write(m, "proc/asound/cards", cards)


def amd_desktop():
    m = "amd-desktop"
    reset(m)
    os_files(m, "Ubuntu 22.04.4 LTS", "Ubuntu", "22.04", "6.5.0-41-generic")
    # Ryzen 5 1600 snapshot: Family 17h root complex, FCH LPC bridge, Family 17h audio.
    pci(m, "0000:00:00.0", 0x1022, 0x1450, 0x1022, 0x1450, 0x060000, 0x00)
    pci(m, "0000:00:01.3", 0x1022, 0x1453, 0x0000, 0x0000, 0x060400, 0x00, "pcieport")
    pci(m, "0000:00:03.1", 0x1022, 0x1453, 0x0000, 0x0000, 0x060400, 0x00, "pcieport")
    pci(m, "0000:00:14.0", 0x1022, 0x790b, 0x1458, 0x5001, 0x0c0500, 0x59, "piix4_smbus")
    pci(m, "0000:00:14.3", 0x1022, 0x790e, 0x1458, 0x5001, 0x060100, 0x51)
    pci(m, "0000:00:07.1", 0x1022, 0x1454, 0x0000, 0x0000, 0x060400, 0x00, "pcieport")
    nvme_ctrl = pci(m, "0000:01:00.0", 0x15b7, 0x501a, 0x15b7, 0x501a, 0x010802, 0x01, "nvme", "0000:00:01.3",
                    bars=[(0xfe900000, 0x4000, MEM)])
    gpu = pci(m, "0000:0a:00.0", 0x1002, 0x67df, 0x1462, 0x8a92, 0x030000, 0xe7, "amdgpu", "0000:00:03.1",
              bars=[(0xe0000000, 0x10000000, MEM64PF), None, (0xf0000000, 0x200000, MEM64PF), None,
                    (0xe000, 0x100, IO), (0xfe600000, 0x40000, MEM)],
              extra={"mem_info_vram_total": "8589934592\n"})
    pci(m, "0000:0a:00.1", 0x1002, 0xaaf0, 0x1462, 0xaaf0, 0x040300, 0x00, "snd_hda_intel", "0000:00:03.1",
        bars=[(0xfe660000, 0x4000, MEM)])
    xhci = pci(m, "0000:0c:00.3", 0x1022, 0x145c, 0x1458, 0x5007, 0x0c0330, 0x00, "xhci_hcd", "0000:00:07.1",
               bars=[(0xfe200000, 0x100000, MEM)])
    hda = pci(m, "0000:0c:00.4", 0x1022, 0x1457, 0x1458, 0xa0c3, 0x040300, 0x00, "snd_hda_intel", "0000:00:07.1",
              bars=[(0xfe300000, 0x8000, MEM)])
    pci(m, "0000:0c:00.2", 0x1022, 0x7901, 0x1458, 0xb005, 0x010601, 0x51, "ahci", "0000:00:07.1",
        bars=[(0xfe308000, 0x1000, MEM)])

    nvme_disk(m, nvme_ctrl, "nvme0n1", "WD Blue SN570 1TB", "22160Z800123", "234110WD", 1953525168,
              [1050624, 1952472064])
    usb(m, xhci, "usb1", 0x1d6b, 0x0002, 0x09, " 2.00", "xHCI Host Controller", interfaces=[0x09])
    usb(m, xhci, "usb2", 0x1d6b, 0x0003, 0x09, " 3.10", "xHCI Host Controller", interfaces=[0x09])
    usb(m, xhci, "1-2", 0x046d, 0x0825, 0xef, " 2.00", "Webcam C270", interfaces=[0x0e, 0x0e, 0x01, 0x01])
    drm(m, gpu, "0000:0a:00.0", "card0", [
        ("DP-1", "disconnected", b"", []),
        ("HDMI-A-1", "connected", edid("digital_BNQ7F31_BenQ_XL2411Z_821276AC817F"),
         ["1920x1080", "1920x1080", "1680x1050", "1280x1024"]),
        ("DVI-D-1", "disconnected", b"", []),
    ])
    cards = sound(m, 0, "Generic", "HD-Audio Generic", "HD-Audio Generic", "HD-Audio Generic at 0xfe660000 irq 88",
                  "sys/devices/pci0000:00/0000:00:03.1/0000:0a:00.1",
                  [(0, codec_block("atihdmi-toshiba-satellite-a210.codec.txt", ""))])
    cards += sound(m, 1, "Generic_1", "HD-Audio Generic", "HD-Audio Generic", "HD-Audio Generic at 0xfe300000 irq 90",
                   hda, [(0, codec_block("alc887-gigabyte-ga-880gm.codec.txt", "Realtek"))])
    write(m, "proc/asound/cards", cards)


def laptop():
    m = "laptop"
    reset(m)
    os_files(m, "Fedora Linux 39 (Workstation Edition)", "Fedora Linux", "39", "6.8.9-200.fc39.x86_64")
    # Alder Lake-P snapshot (i7-1270P) with its SATA controller in use instead of the NVMe slot.
    pci(m, "0000:00:00.0", 0x8086, 0x4621, 0x17aa, 0x22e6, 0x060000, 0x02, "igen6_edac")
    gpu = pci(m, "0000:00:02.0", 0x8086, 0x46a6, 0x17aa, 0x22e6, 0x030000, 0x0c, "i915",
              bars=[(0x603c000000, 0x1000000, MEM64PF & ~0x2000 | 0x200), (0x4000000000, 0x10000000, MEM64PF), None,
                    None, (0x3000, 0x40, IO)])
    pci(m, "0000:00:04.0", 0x8086, 0x461d, 0x17aa, 0x22e6, 0x118000, 0x02, "proc_thermal_pci")
    xhci = pci(m, "0000:00:14.0", 0x8086, 0x51ed, 0x17aa, 0x22e6, 0x0c0330, 0x01, "xhci_hcd",
               bars=[(0x603d100000, 0x10000, MEM)])
    pci(m, "0000:00:14.3", 0x8086, 0x51f0, 0x8086, 0x0094, 0x028000, 0x01, "iwlwifi",
        bars=[(0x603d1d4000, 0x4000, MEM)])
    pci(m, "0000:00:16.0", 0x8086, 0x51e0, 0x17aa, 0x22e6, 0x078000, 0x01, "mei_me")
    ahci = pci(m, "0000:00:17.0", 0x8086, 0x51d3, 0x17aa, 0x22e6, 0x010601, 0x01, "ahci",
               bars=[(0x6e240000, 0x2000, MEM)])
    pci(m, "0000:00:1f.0", 0x8086, 0x5182, 0x17aa, 0x22e6, 0x060100, 0x01)
    hda = pci(m, "0000:00:1f.3", 0x8086, 0x51c8, 0x17aa, 0x22e6, 0x040380, 0x01, "snd_hda_intel",
              bars=[(0x603d1d0000, 0x4000, MEM)])
    pci(m, "0000:00:1f.4", 0x8086, 0x51a3, 0x17aa, 0x22e6, 0x0c0500, 0x01, "i801_smbus")

    ata_disk(m, ahci, 0, "sda", "Samsung SSD 860 EVO 500GB", "S3Z2NB0K123456X", "RVT04B6Q", 976773168,
             [1050624, 975720448])
    usb(m, xhci, "usb1", 0x1d6b, 0x0002, 0x09, " 2.00", "xHCI Host Controller", interfaces=[0x09])
    usb(m, xhci, "usb2", 0x1d6b, 0x0003, 0x09, " 3.20", "xHCI Host Controller", interfaces=[0x09])
    usb(m, xhci, "1-10", 0x8087, 0x0033, 0xe0, " 2.01", interfaces=[0xe0, 0xe0])
    drm(m, gpu, "0000:00:02.0", "card1", [
        ("eDP-1", "connected", edid("digital_AUO305C_panel_76FA508D9595"), ["1366x768"]),
        ("HDMI-A-1", "disconnected", b"", []),
        ("DP-1", "disconnected", b"", []),
    ])
    cards = sound(m, 0, "PCH", "HDA-Intel", "HDA Intel PCH", "HDA Intel PCH at 0x603d1d0000 irq 147", hda, [
        (0, codec_block("alc255-dell-inspiron-5447-ccert-201401-14529.codec.txt", "Realtek")),
        (2, codec_block("alc255-dell-inspiron-5447-ccert-201401-14529.codec.txt", "Intel Haswell HDMI")),
    ])
    write(m, "proc/asound/cards", cards)


def copy_real(machine, rel, dest_rel=None):
    src = "/" + rel
    try:
        with open(src, "rb") as f:
            data = f.read()
    except OSError:
        return False
    write(machine, dest_rel or rel, data)
    return True


def vm():
    """This build machine's own files (a KVM guest with a virtio disk, no display, no sound)."""
    m = "vm"
    reset(m)
    copy_real(m, "etc/os-release")
    copy_real(m, "proc/sys/kernel/osrelease")
    for bdf in sorted(os.listdir("/sys/bus/pci/devices")):
        target = os.path.realpath("/sys/bus/pci/devices/" + bdf)
        rel = target.lstrip("/")
        for name in ["vendor", "device", "subsystem_vendor", "subsystem_device", "class", "revision", "resource",
                     "uevent"]:
            copy_real(m, rel + "/" + name)
        link(m, "sys/bus/pci/devices/" + bdf, rel)
    for name in sorted(os.listdir("/sys/block")):
        target = os.path.realpath("/sys/block/" + name)
        rel = target.lstrip("/")
        for f in ["size", "removable", "queue/logical_block_size", "queue/physical_block_size", "serial", "uevent"]:
            copy_real(m, rel + "/" + f)
        dev = os.path.join(target, "device")
        if os.path.islink(dev):
            dev_target = os.path.realpath(dev).lstrip("/")
            for f in ["vendor", "device", "model", "rev", "modalias"]:
                copy_real(m, dev_target + "/" + f)
            if os.path.isdir(path(m, dev_target)):
                link(m, rel + "/device", dev_target)
        for entry in sorted(os.listdir(target)):
            if os.path.exists(os.path.join(target, entry, "partition")):
                copy_real(m, rel + "/" + entry + "/partition")
                copy_real(m, rel + "/" + entry + "/size")
                link(m, "sys/class/block/" + entry, rel + "/" + entry)
        link(m, "sys/block/" + name, rel)
        link(m, "sys/class/block/" + name, rel)


if __name__ == "__main__":
    if "--vm" in sys.argv:
        vm()
    else:
        intel_desktop()
        amd_desktop()
        laptop()
