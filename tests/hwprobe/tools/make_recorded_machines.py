#!/usr/bin/env python3
"""Builds fixture machines that hold only what a real recording held, from the shared fixture
collection: no file is made up, so each machine shows what the hardware library does with
exactly that view of a machine.

Usage: make_recorded_machines.py <shared fixtures dir> <repo root>

epyc-7451-cpuid-only    hwloc-gather-cpuid dump of two EPYC 7451 (96 logical processors), nothing else
i7-12700h-cpuid-only    libcpuid dump of a Core i7-12700H (hybrid, 20 logical processors), nothing else
phenom-ii-x6-cpuid-only libcpuid dump of a Phenom II X6 1055T (6 logical processors), nothing else
dell-dcs8000z           /proc/cpuinfo (hwloc), /sys/class/dmi/id and the kernel's SMBIOS type-17
                        entries (/sys/firmware/dmi/entries/*/raw) of a Dell DCS8000Z; no CPUID recording
thinkpad-w510           the SMBIOS table of a ThinkPad W510 (u-root dmidecode --dump-bin), nothing else
opteron-6134-cpuinfo-only /proc/cpuinfo of four Opteron 6134 (hwloc, Supermicro H8QG6), nothing else
ryzen5-1600-kernel-view /proc/cpuinfo and /sys/devices/system/cpu of a Ryzen 5 1600 desktop (ghw
                        snapshot); no CPUID recording
"""
import io, os, re, shutil, struct, sys, tarfile

SRC, ROOT = sys.argv[1], sys.argv[2]
MACHINES = os.path.join(ROOT, 'tests/fixtures/machines')


def path(machine, rel):
    full = os.path.join(MACHINES, machine, rel.lstrip('/'))
    os.makedirs(os.path.dirname(full), exist_ok=True)
    return full


def write(machine, rel, data):
    with open(path(machine, rel), 'wb' if isinstance(data, bytes) else 'w') as f:
        f.write(data)


def clean(machine):
    shutil.rmtree(os.path.join(MACHINES, machine), ignore_errors=True)


def cpuid_from_libcpuid(test_file):
    """libcpuid .test -> {cpu: hwloc-style text}."""
    cpus, cur = {}, None
    for line in open(test_file, errors='replace'):
        m = re.match(r'-+\[ (?:CPUID Registers / )?Logical CPU #(\d+) \]', line)
        if m:
            cur = int(m.group(1))
            cpus[cur] = ['# mask e[abcd]x => e[abcd]x']
            continue
        m = re.match(r'CPUID ([0-9A-F]{8}): ([0-9A-F]{8})-([0-9A-F]{8})-([0-9A-F]{8})-([0-9A-F]{8})(?: \[SL ([0-9A-F]{2})\])?',
                     line)
        if m and cur is not None:
            leaf = int(m.group(1), 16)
            regs = ' '.join('%x' % int(m.group(i), 16) for i in range(2, 6))
            if m.group(6) is not None:
                cpus[cur].append('5 %x 0 %x 0 => %s' % (leaf, int(m.group(6), 16), regs))
            else:
                cpus[cur].append('1 %x 0 0 0 => %s' % (leaf, regs))
        if line.startswith('-' * 80):
            cur = None
    # Older dumps list the subleaves of a leaf (4, 7, 0xB, 0xD ...) as repeated lines without
    # "[SL nn]": number them in order.
    for cpu, lines in cpus.items():
        seen = {}
        for line in lines[1:]:
            if line.startswith('1 '):
                leaf = line.split()[1]
                seen[leaf] = seen.get(leaf, 0) + 1
        out, index = [lines[0]], {}
        for line in lines[1:]:
            p = line.split()
            if p[0] == '1' and seen.get(p[1], 0) > 1:
                n = index.get(p[1], 0)
                index[p[1]] = n + 1
                line = '5 %s 0 %x 0 %s' % (p[1], n, ' '.join(p[5:]))
            out.append(line)
        cpus[cpu] = out
    return {k: '\n'.join(v) + '\n' for k, v in cpus.items()}


def libcpuid_machine(machine, test):
    clean(machine)
    for cpu, text in cpuid_from_libcpuid(os.path.join(SRC, 'cpuid/libcpuid', test)).items():
        write(machine, 'cpuid/pu%d' % cpu, text)


def hwloc_machine(machine, tarball):
    clean(machine)
    with tarfile.open(os.path.join(SRC, 'cpuid/hwloc-x86', tarball)) as t:
        for member in t.getmembers():
            name = os.path.basename(member.name)
            if member.isfile() and re.fullmatch(r'pu\d+', name):
                write(machine, 'cpuid/' + name, t.extractfile(member).read())


def dell_dcs8000z():
    m = 'dell-dcs8000z'
    clean(m)
    write(m, 'proc/cpuinfo', open(os.path.join(SRC, 'cpuid/proc-cpuinfo/hwloc_dell-DCS8000Z_2xXeon-E5-2680.cpuinfo')).read())
    base = os.path.join(SRC, 'smbios/sysfs-entries-type17/dell-DCS8000Z')
    for f in sorted(os.listdir(os.path.join(base, 'class-dmi-id'))):
        src = os.path.join(base, 'class-dmi-id', f)
        if os.path.isfile(src):
            write(m, 'sys/class/dmi/id/' + f, open(src, 'rb').read())
    for e in sorted(os.listdir(os.path.join(base, 'entries'))):
        for f in sorted(os.listdir(os.path.join(base, 'entries', e))):
            src = os.path.join(base, 'entries', e, f)
            if os.path.isfile(src):
                write(m, 'sys/firmware/dmi/entries/%s/%s' % (e, f), open(src, 'rb').read())


def thinkpad_w510():
    m = 'thinkpad-w510'
    clean(m)
    dump = open(os.path.join(SRC, 'smbios/u-root/Lenovo-ThinkPad-W510.dump.bin'), 'rb').read()
    # dmidecode --dump-bin: the entry point, then the table at the offset it names.
    assert dump[0x10:0x15] == b'_DMI_'
    length, address = struct.unpack_from('<HI', dump, 0x16)
    write(m, 'sys/firmware/dmi/tables/DMI', dump[address:address + length])


def ghw_kernel_view(machine, tarball):
    clean(machine)
    with tarfile.open(os.path.join(SRC, 'sysfs/ghw', tarball)) as t:
        for member in t.getmembers():
            name = member.name.lstrip('./')
            if not (name == 'proc/cpuinfo' or
                    re.fullmatch(r'sys/devices/system/cpu/(online|possible|present|'
                                 r'cpu\d+/(topology|cache/index\d+|cpufreq)/[a-z_]+)', name)):
                continue
            if member.isfile():
                write(machine, name, t.extractfile(member).read())
            elif member.issym():
                full = path(machine, name)
                if os.path.lexists(full):
                    os.remove(full)
                os.symlink(member.linkname, full)


hwloc_machine('epyc-7451-cpuid-only', 'AMD-17h-Zen-2xEpyc-7451.tar.bz2')
libcpuid_machine('i7-12700h-cpuid-only', 'intel_12th-gen-intel-core-i7-12700h.test')
libcpuid_machine('phenom-ii-x6-cpuid-only', 'amd_amd-phenom-ii-x6-1055t-processor.test')
dell_dcs8000z()
thinkpad_w510()
ghw_kernel_view('ryzen5-1600-kernel-view', 'linux-amd64-61797caf7c0b6bca1725ad7975ed4773.tar.gz')
clean('opteron-6134-cpuinfo-only')
write('opteron-6134-cpuinfo-only', 'proc/cpuinfo', open(os.path.join(SRC, 'cpuid/proc-cpuinfo/hwloc_supermicro-H8QG6_4xOpteron-6134.cpuinfo')).read())
