#!/usr/bin/env python3
"""Builds the hardware-library parts of the fixture machines under tests/fixtures/machines/
from recorded real data (the shared fixture collection) and from this VM.

Usage: make_machines.py <shared fixtures dir> <repo root> <vm cpuid dir>
Only the paths the hardware library reads are written: proc/cpuinfo, proc/meminfo,
sys/devices/system/cpu, sys/firmware/dmi, sys/class/dmi, sys/class/hwmon with the hwmon
device directories, sys/bus/i2c and cpuid/.
"""
import os, re, shutil, struct, sys, tarfile, io, glob

SRC, ROOT, VMCPUID = sys.argv[1], sys.argv[2], sys.argv[3]
MACHINES = os.path.join(ROOT, 'tests/fixtures/machines')


def write(machine, path, data, mode='w'):
    full = os.path.join(MACHINES, machine, path.lstrip('/'))
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, mode) as f:
        f.write(data)


def symlink(machine, path, target):
    full = os.path.join(MACHINES, machine, path.lstrip('/'))
    os.makedirs(os.path.dirname(full), exist_ok=True)
    if os.path.lexists(full):
        os.remove(full)
    os.symlink(target, full)


# ---- CPUID --------------------------------------------------------------------------------
def cpuid_from_libcpuid(test_file):
    """libcpuid .test -> {cpu: hwloc-style text}."""
    cpus, cur = {}, None
    for line in open(test_file, errors='replace'):
        m = re.match(r'-+\[ CPUID Registers / Logical CPU #(\d+) \]', line)
        if m:
            cur = int(m.group(1)); cpus[cur] = ['# mask e[abcd]x => e[abcd]x']
            continue
        m = re.match(r'CPUID ([0-9A-F]{8}): ([0-9A-F]{8})-([0-9A-F]{8})-([0-9A-F]{8})-([0-9A-F]{8})(?: \[SL ([0-9A-F]{2})\])?', line)
        if m and cur is not None:
            leaf = int(m.group(1), 16)
            regs = ' '.join('%x' % int(m.group(i), 16) for i in range(2, 6))
            if m.group(6) is not None:
                cpus[cur].append('5 %x 0 %x 0 => %s' % (leaf, int(m.group(6), 16), regs))
            else:
                cpus[cur].append('1 %x 0 0 0 => %s' % (leaf, regs))
        if line.startswith('--------------------------------------------------------------------------------'):
            cur = None
    return {k: '\n'.join(v) + '\n' for k, v in cpus.items()}


def regs(dump, leaf, sub=0):
    for line in dump.splitlines():
        p = line.split()
        if len(p) < 10 or p[0].startswith('#'):
            continue
        mask, l, s = int(p[0], 16), int(p[1], 16), int(p[3], 16)
        if l == leaf and (not (mask & 4) or s == sub):
            return [int(x, 16) for x in p[6:10]]
    return None


def brand(dump):
    out = b''
    for leaf in (0x80000002, 0x80000003, 0x80000004):
        r = regs(dump, leaf)
        out += b''.join(struct.pack('<I', x) for x in r)
    return out.split(b'\0')[0].decode().strip()


def cpuinfo_text(dump0, ncpu, cores, mhz, flags):
    """A /proc/cpuinfo as the kernel writes it, from a CPUID recording."""
    v = regs(dump0, 0)
    vendor = struct.pack('<III', v[1], v[3], v[2]).decode()
    sig = regs(dump0, 1)[0]
    fam = (sig >> 8) & 0xF
    model = (sig >> 4) & 0xF
    if fam == 0xF:
        fam += (sig >> 20) & 0xFF
    if fam in (6, 15) or fam >= 15:
        model += ((sig >> 16) & 0xF) << 4
    out = []
    for cpu in range(ncpu):
        out.append('processor\t: %d\nvendor_id\t: %s\ncpu family\t: %d\nmodel\t\t: %d\nmodel name\t: %s\n'
                   'stepping\t: %d\ncpu MHz\t\t: %.3f\nphysical id\t: 0\nsiblings\t: %d\ncore id\t\t: %d\n'
                   'cpu cores\t: %d\nflags\t\t: %s\n' % (cpu, vendor, fam, model, brand(dump0), sig & 0xF,
                                                         mhz[cpu], ncpu, cpu % cores, cores, flags))
    return '\n'.join(out) + '\n'


def cpu_tree(machine, ncpu, cores, caches, cur_khz, base_khz=None):
    """sys/devices/system/cpu for one package; threads i and i+cores share a core.
    caches: list of (level, type, sizeK, ways, shared) with shared in ('core', 'package')."""
    base = '/sys/devices/system/cpu'
    write(machine, base + '/online', '0-%d\n' % (ncpu - 1))
    write(machine, base + '/possible', '0-%d\n' % (ncpu - 1))
    for cpu in range(ncpu):
        d = '%s/cpu%d' % (base, cpu)
        core = cpu % cores
        write(machine, d + '/topology/physical_package_id', '0\n')
        write(machine, d + '/topology/core_id', '%d\n' % core)
        siblings = sorted({core, core + cores} & set(range(ncpu)))
        write(machine, d + '/topology/thread_siblings_list', ','.join(map(str, siblings)) + '\n')
        for i, (level, ctype, size, ways, shared) in enumerate(caches):
            c = '%s/cache/index%d' % (d, i)
            write(machine, c + '/level', '%d\n' % level)
            write(machine, c + '/type', ctype + '\n')
            write(machine, c + '/size', '%dK\n' % size)
            write(machine, c + '/ways_of_associativity', '%d\n' % ways)
            write(machine, c + '/coherency_line_size', '64\n')
            lst = ','.join(map(str, siblings)) if shared == 'core' else '0-%d' % (ncpu - 1)
            write(machine, c + '/shared_cpu_list', lst + '\n')
        write(machine, d + '/cpufreq/scaling_cur_freq', '%d\n' % cur_khz[cpu])
        if base_khz:
            write(machine, d + '/cpufreq/base_frequency', '%d\n' % base_khz)


# ---- hwmon --------------------------------------------------------------------------------
def sensors_chips(path):
    """lm-sensors text -> {chip id: [(label, class, raw)]}, in order."""
    chips, cur = {}, None
    for line in open(path, errors='replace'):
        line = line.rstrip('\n')
        if not line.strip():
            cur = None
            continue
        if cur is None and ':' not in line:
            cur = line.strip(); chips[cur] = []
            continue
        if cur is None or line.startswith(' ') or line.startswith('Adapter:'):
            continue
        label, _, rest = line.partition(':')
        m = re.match(r'\s*([+-]?[0-9.]+)\s*(mV|V|RPM|°C|C)\b', rest)
        if not m:
            continue
        val, unit = float(m.group(1)), m.group(2)
        if unit == 'mV':
            chips[cur].append((label.strip(), 'in', int(round(val))))
        elif unit == 'V':
            chips[cur].append((label.strip(), 'in', int(round(val * 1000))))
        elif unit == 'RPM':
            chips[cur].append((label.strip(), 'fan', int(val)))
        else:
            chips[cur].append((label.strip(), 'temp', int(round(val * 1000))))
    return chips


def hwmon(machine, n, driver, readings, device=None, board=False):
    """One hwmon directory. Board chips get no in/fan labels (their drivers give none)."""
    d = '/sys/class/hwmon/hwmon%d' % n
    write(machine, d + '/name', driver + '\n')
    counters = {'in': 0, 'fan': 1, 'temp': 1}
    for label, cls, raw in readings:
        m = re.fullmatch(r'(in|fan|temp)(\d+)', label)
        if m and m.group(1) == cls:
            idx, label = int(m.group(2)), None
        else:
            idx = counters[cls]
        counters[cls] = idx + 1
        write(machine, '%s/%s%d_input' % (d, cls, idx), '%d\n' % raw)
        if label and not (board and cls in ('in', 'fan')):
            write(machine, '%s/%s%d_label' % (d, cls, idx), label + '\n')
    if device:
        symlink(machine, d + '/device', '../../..' + device)


def machine_device(machine, kind):
    """Device path (as a hwmon link target below /sys) of the machine's first display adapter
    ('display') or NVMe controller ('nvme'), from the PCI and block trees the machine carries."""
    root = os.path.join(MACHINES, machine)
    if kind == 'nvme':
        link = os.readlink(os.path.join(root, 'sys/block/nvme0n1'))
        return '/' + link.replace('../', '', 1).rsplit('/', 1)[0]
    pci = os.path.join(root, 'sys/bus/pci/devices')
    for dev in sorted(os.listdir(pci)):
        if open(os.path.join(pci, dev, 'class')).read().startswith('0x03'):
            return '/devices' + os.readlink(os.path.join(pci, dev)).split('devices', 1)[1]
    raise SystemExit('no display adapter in ' + machine)


# ---- SMBIOS -------------------------------------------------------------------------------
class Smbios:
    def __init__(self):
        self.out, self.handle = b'', 0

    def add(self, stype, body, strings):
        h = self.handle
        self.handle += 1
        formatted = struct.pack('<BBH', stype, 4 + len(body), h) + body
        tail = b''.join(s.encode() + b'\0' for s in strings) + b'\0' if strings else b'\0\0'
        self.out += formatted + tail
        return h


def smbios_table(bios, system, board, dimms):
    s = Smbios()
    s.add(0, struct.pack('<BBHBBQHBBBB', 1, 2, 0xF000, 3, 0x7F, 0x08, 0, 0, 0, 0xFF, 0xFF), list(bios))
    s.add(1, struct.pack('<BBBB16sBBB', 1, 2, 3, 4, b'\0' * 16, 6, 5, 6), list(system) + ['--', 'SKU', 'To be filled by O.E.M.'])
    s.add(2, struct.pack('<BBBBBBHBB', 1, 2, 3, 4, 5, 9, 6, 0x0A, 0), list(board) + ['--', '--', 'To be filled by O.E.M.'])
    arr = s.add(16, struct.pack('<BBBIHHQ', 3, 3, 3, 0x80000000, 0xFFFE, len(dimms), 0), [])
    for loc, bank, size, stype, speed, conf, manuf, serial, part, ranks in dimms:
        if size == 0:
            body = struct.pack('<HHHHHBBBBBHHBBBBBIHHHH', arr, 0xFFFE, 0xFFFF, 0xFFFF, 0, 0x09, 0, 1, 2, 0x02, 0x0004,
                               0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)
            s.add(17, body, [loc, bank])
        else:
            small, ext = (size, 0) if size < 0x7FFF else (0x7FFF, size)
            body = struct.pack('<HHHHHBBBBBHHBBBBBIHHHH', arr, 0xFFFE, 64, 64, small, 0x09, 0, 1, 2, stype, 0x0080,
                               speed, 3, 4, 5, 6, ranks, ext, conf, 1200, 1200, 1200)
            s.add(17, body, [loc, bank, manuf, serial, '--', part])
    s.add(127, b'', [])
    return s.out


def spd_facts(data):
    t = data[2]
    if t == 0x0C:
        return {'serial': data[325:329].hex().upper(), 'part': data[329:349].decode().strip()}
    return {'serial': data[517:521].hex().upper(), 'part': data[521:551].decode().strip()}


def i2c_spd(machine, bus, addr, driver, data, fname):
    d = '/sys/bus/i2c/devices/%d-%04x' % (bus, addr)
    write(machine, d + '/name', driver + '\n')
    write(machine, d + '/' + fname, data, 'wb')


def clean(machine):
    for sub in ('proc/cpuinfo', 'proc/meminfo', 'sys/devices/system/cpu', 'sys/firmware/dmi', 'sys/class/dmi',
                'sys/class/hwmon', 'sys/bus/i2c', 'cpuid'):
        p = os.path.join(MACHINES, machine, sub)
        if os.path.isdir(p) and not os.path.islink(p):
            shutil.rmtree(p)
        elif os.path.lexists(p):
            os.remove(p)


def dmi_id(machine, values):
    for k, v in values.items():
        write(machine, '/sys/class/dmi/id/' + k, v + '\n')


# ================================ intel-desktop ============================================
def intel_desktop():
    m = 'intel-desktop'
    clean(m)
    dumps = cpuid_from_libcpuid(os.path.join(SRC, 'cpuid/libcpuid/intel_intel-core-i7-6700k-cpu.test'))
    for cpu, text in dumps.items():
        write(m, 'cpuid/pu%d' % cpu, text)
    flags = ('fpu vme de pse tsc msr pae mce cx8 apic sep mtrr pge mca cmov pat pse36 clflush dts acpi mmx fxsr sse '
             'sse2 ss ht tm pbe syscall nx pdpe1gb rdtscp lm constant_tsc pni pclmulqdq ssse3 fma cx16 sse4_1 sse4_2 '
             'movbe popcnt aes xsave avx f16c rdrand lahf_lm abm 3dnowprefetch avx2 bmi1 bmi2 rdseed adx')
    mhz = [4200.0, 4199.0, 800.0, 4100.0, 800.0, 4200.0, 800.0, 800.0]
    write(m, 'proc/cpuinfo', cpuinfo_text(dumps[0], 8, 4, mhz, flags))
    write(m, 'proc/meminfo', 'MemTotal:       32795272 kB\nMemFree:        27012344 kB\nMemAvailable:   29871220 kB\n')
    cpu_tree(m, 8, 4, [(1, 'Data', 32, 8, 'core'), (1, 'Instruction', 32, 8, 'core'), (2, 'Unified', 256, 4, 'core'),
                       (3, 'Unified', 8192, 16, 'package')], [int(x * 1000) for x in mhz], 4000000)
    spd = open(os.path.join(SRC, 'spd/illumos-libjedec/ddr4_Advantech_AQD-D4U32N32-SBW.bin'), 'rb').read()
    f = spd_facts(spd)
    dimms = [('ChannelA-DIMM0', 'BANK 0', 0, 0, 0, 0, '', '', '', 0),
             ('ChannelA-DIMM1', 'BANK 1', 32768, 0x1A, 3200, 2400, 'Apacer', f['serial'], f['part'], 2),
             ('ChannelB-DIMM0', 'BANK 2', 0, 0, 0, 0, '', '', '', 0),
             ('ChannelB-DIMM1', 'BANK 3', 32768, 0x1A, 3200, 2400, 'Apacer', f['serial'], f['part'], 2)]
    bios = ('American Megatrends Inc.', '0610', '05/08/2012')
    system = ('System manufacturer', 'System Product Name', 'System Version')
    board = ('ASUSTeK COMPUTER INC.', 'P8Z77-V LX', 'Rev X.0x')
    write(m, 'sys/firmware/dmi/tables/DMI', smbios_table(bios, system, board, dimms), 'wb')
    dmi_id(m, {'bios_vendor': bios[0], 'bios_version': bios[1], 'bios_date': bios[2], 'sys_vendor': system[0],
               'product_name': system[1], 'product_version': system[2], 'board_vendor': board[0],
               'board_name': board[1], 'board_version': board[2]})
    i2c_spd(m, 0, 0x51, 'ee1004', spd, 'eeprom')
    i2c_spd(m, 0, 0x53, 'ee1004', spd, 'eeprom')
    asrock = sensors_chips(os.path.join(SRC, 'sensors/desktop_asrock_B450M-Pro4_1EFFCFC96B8D_4393041949.sensors.txt'))
    xps = sensors_chips(os.path.join(SRC, 'sensors/notebook_dell_XPS-15-9550_3A3196B4383B_72F8EDFE5B.sensors.txt'))
    p8z = sensors_chips(os.path.join(SRC, 'sensors/desktop_asus_P8Z77-V-LX_5DF5720CB697_1A61A83764.sensors.txt'))
    # hwmon numbering as the kernel hands it out: ACPI and PCI drivers first, the Super I/O last.
    hwmon(m, 0, 'acpitz', p8z['acpitz-acpi-0'])
    hwmon(m, 1, 'nvme', xps['nvme-pci-0400'], machine_device(m, 'nvme'))
    hwmon(m, 2, 'nouveau', p8z['nouveau-pci-0100'], machine_device(m, 'display'))
    hwmon(m, 3, 'coretemp', xps['coretemp-isa-0000'], '/devices/platform/coretemp.0')
    hwmon(m, 4, 'nct6779', asrock['nct6779-isa-0290'], '/devices/platform/nct6775.656', board=True)


# ================================ amd-desktop ==============================================
def amd_desktop():
    m = 'amd-desktop'
    clean(m)
    dumps = cpuid_from_libcpuid(os.path.join(SRC, 'cpuid/libcpuid/amd_amd-ryzen-9-7900x-12-core-processor.test'))
    for cpu, text in dumps.items():
        write(m, 'cpuid/pu%d' % cpu, text)
    flags = ('fpu vme de pse tsc msr pae mce cx8 apic sep mtrr pge mca cmov pat pse36 clflush mmx fxsr sse sse2 ht '
             'syscall nx mmxext fxsr_opt pdpe1gb rdtscp lm constant_tsc pni pclmulqdq ssse3 fma cx16 sse4_1 sse4_2 '
             'movbe popcnt aes xsave avx f16c rdrand lahf_lm cmp_legacy abm sse4a misalignsse 3dnowprefetch topoext '
             'avx2 bmi1 bmi2 avx512f')
    mhz = [5300.0 if i % 3 == 0 else 3000.0 + 100 * i for i in range(24)]
    write(m, 'proc/cpuinfo', cpuinfo_text(dumps[0], 24, 12, mhz, flags))
    write(m, 'proc/meminfo', 'MemTotal:       131177036 kB\nMemFree:        120011236 kB\n')
    cpu_tree(m, 24, 12, [(1, 'Data', 32, 8, 'core'), (1, 'Instruction', 32, 8, 'core'), (2, 'Unified', 1024, 8, 'core'),
                         (3, 'Unified', 32768, 16, 'package')], [int(x * 1000) for x in mhz])
    # Two L3 halves (one per CCD) in the real part: cores 0-5 and 6-11 with their SMT siblings.
    for cpu in range(24):
        ccd = (cpu % 12) // 6
        lst = '%d-%d,%d-%d' % (ccd * 6, ccd * 6 + 5, ccd * 6 + 12, ccd * 6 + 17)
        write(m, '/sys/devices/system/cpu/cpu%d/cache/index3/shared_cpu_list' % cpu, lst + '\n')
    write(m, '/sys/devices/system/cpu/cpu0/cpufreq/amd_pstate_nominal_freq', '4700000\n')
    spd = open(os.path.join(SRC, 'spd/illumos-libjedec/ddr5_Micron_MTC40F2046S1RC48BA1.bin'), 'rb').read()
    i2c_spd(m, 1, 0x50, 'spd5118', spd, 'eeprom')
    i2c_spd(m, 1, 0x52, 'spd5118', spd, 'eeprom')
    dmi_id(m, {'bios_vendor': 'American Megatrends Inc.', 'bios_version': '1.D0', 'bios_date': '11/07/2019',
               'sys_vendor': 'Micro-Star International Co., Ltd', 'product_name': 'MS-7C02',
               'board_vendor': 'Micro-Star International Co., Ltd', 'board_name': 'B450 TOMAHAWK (MS-7C02)',
               'board_version': '1.0'})
    msi = sensors_chips(os.path.join(SRC, 'sensors/desktop_msi_B450-TOMAHAWK_MS-7C02_7E2999FE5141_C3704DD987.sensors.txt'))
    hwmon(m, 0, 'nvme', msi['nvme-pci-0100'], machine_device(m, 'nvme'))
    hwmon(m, 1, 'k10temp', msi['k10temp-pci-00c3'], '/devices/pci0000:00/0000:00:18.3')
    gpu = [k for k in msi if k.startswith('amdgpu')][0]
    hwmon(m, 2, 'amdgpu', msi[gpu], machine_device(m, 'display'))
    hwmon(m, 3, 'nct6797', msi['nct6797-isa-0a20'], '/devices/platform/nct6775.2592', board=True)


# ================================ laptop ===================================================
def laptop():
    m = 'laptop'
    clean(m)
    name = '20em64t-hybrid-1p6c2t+2ca4co1t'
    with tarfile.open(os.path.join(SRC, 'sysfs/hwloc/%s.tar.bz2' % name)) as t:
        for member in t.getmembers():
            rel = member.name[len(name) + 1:]
            keep = rel in ('proc/cpuinfo', 'proc/meminfo') or rel.startswith('sys/devices/system/cpu/') or \
                rel.startswith('sys/class/dmi/id/')
            if not keep or not member.isfile():
                continue
            write(m, rel, t.extractfile(member).read(), 'wb')
    with tarfile.open(os.path.join(SRC, 'cpuid/hwloc-x86/Intel-RaptorLake-Corei7-1370P.tar.bz2')) as t:
        for member in t.getmembers():
            base = os.path.basename(member.name)
            if member.isfile() and re.fullmatch(r'pu\d+', base):
                write(m, 'cpuid/' + base, t.extractfile(member).read(), 'wb')
    xps = sensors_chips(os.path.join(SRC, 'sensors/notebook_dell_XPS-15-9550_3A3196B4383B_72F8EDFE5B.sensors.txt'))
    hwmon(m, 0, 'acpitz', xps['acpitz-acpi-0'])
    hwmon(m, 1, 'coretemp', xps['coretemp-isa-0000'], '/devices/platform/coretemp.0')


# ================================ vm =======================================================
def vm():
    m = 'vm'
    clean(m)
    write(m, 'proc/cpuinfo', open('/proc/cpuinfo').read())
    write(m, 'proc/meminfo', open('/proc/meminfo').read())
    base = '/sys/devices/system/cpu'
    for f in ('online', 'possible', 'present'):
        write(m, base + '/' + f, open(base + '/' + f).read())
    for cpu in sorted(glob.glob(base + '/cpu[0-9]*')):
        for sub in ('topology/physical_package_id', 'topology/core_id', 'topology/thread_siblings_list'):
            if os.path.exists(cpu + '/' + sub):
                write(m, cpu + '/' + sub, open(cpu + '/' + sub).read())
        for idx in sorted(glob.glob(cpu + '/cache/index*')):
            for f in ('level', 'type', 'size', 'ways_of_associativity', 'coherency_line_size', 'shared_cpu_list'):
                if os.path.exists(idx + '/' + f):
                    write(m, idx + '/' + f, open(idx + '/' + f).read())
    for f in sorted(os.listdir(VMCPUID)):
        write(m, 'cpuid/' + f, open(os.path.join(VMCPUID, f)).read())


intel_desktop()
amd_desktop()
laptop()
vm()
