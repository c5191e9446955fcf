#!/usr/bin/env python3
"""Checks of the program's resource files.

    check_resources.py manifest RESOURCES   the manifest's exact bytes and structure
    check_resources.py windows  RESOURCES   marrowgate.rc compiled with the mingw-w64
                                            resource compiler, and what it holds
    check_resources.py files    RESOURCES   picture sizes, the .desktop file, the help page

RESOURCES is the repository's resources/ folder. Exits non-zero with one line
per problem found.
"""
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

problems = []


def check(condition, message):
    if not condition:
        problems.append(message)
    return condition


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def align4(n):
    return (n + 3) & ~3


# --- manifest ------------------------------------------------------------

ASM = '{urn:schemas-microsoft-com:asm.v1}'
OWN_IDENTITY = [('name', 'XPStyle Control Demo'), ('processorArchitecture', 'x86'),
                ('version', '1.0.0.0'), ('type', 'win32')]
CONTROLS_IDENTITY = [('type', 'win32'), ('name', 'Microsoft.Windows.Common-Controls'),
                     ('version', '6.0.0.0'), ('processorArchitecture', 'x86'),
                     ('publicKeyToken', '6595b64144ccf1df'), ('language', '*')]


def check_manifest(resources):
    data = read(os.path.join(resources, 'windows', 'marrowgate.manifest'))
    check(len(data) == 568, f'manifest: {len(data)} bytes, expected 568')
    check(all(b < 0x80 for b in data), 'manifest: holds non-ASCII bytes (or a byte-order mark)')
    check(b'\n' not in data, 'manifest: holds a line feed')
    returns = data.count(b'\r')
    check(returns == 20, f'manifest: {returns} carriage returns, expected 20')
    check(not data.endswith(b'\r'), 'manifest: line end after the last line')
    lines = data.decode('ascii', 'replace').split('\r')
    check(len(lines) == 21, f'manifest: {len(lines)} lines, expected 21')
    check(lines[0] == '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>',
          'manifest: XML declaration differs')
    expected_indents = [0, 0, 0, 2, 2, 2, 2, 0, 0, 2, 4, 6, 6, 6, 6, 6, 6, 4, 2, 0, 0]
    indents = [len(l) - len(l.lstrip(' ')) for l in lines]
    check(indents == expected_indents, f'manifest: indentation {indents}')
    check(lines[6].endswith('"/>') and lines[17] == '    />',
          'manifest: the empty-element closes are not where they belong')
    check(lines[7] == '<description></description>', 'manifest: description line differs')
    check(all(line.count('="') == 1 for line in lines[3:7] + lines[11:17]),
          'manifest: identity attributes are not one to a line')

    try:
        root = ET.fromstring(data)
    except ET.ParseError as e:
        check(False, f'manifest: not well-formed XML: {e}')
        return
    check(root.tag == ASM + 'assembly' and root.attrib == {'manifestVersion': '1.0'},
          'manifest: root element or its attributes differ')
    check([c.tag for c in root] == [ASM + 'assemblyIdentity', ASM + 'description',
                                    ASM + 'dependency'], 'manifest: children of assembly differ')
    own, description, dependency = (list(root) + [None] * 3)[:3]
    if own is None or dependency is None:
        return
    check(list(own.attrib.items()) == OWN_IDENTITY, 'manifest: program identity differs')
    check(description.text is None and len(description) == 0, 'manifest: description not empty')
    inner = dependency.findall(f'{ASM}dependentAssembly/{ASM}assemblyIdentity')
    check(len(dependency) == 1 and len(inner) == 1 and
          list(inner[0].attrib.items()) == CONTROLS_IDENTITY,
          'manifest: Common Controls dependency differs')
    text = data.decode('ascii', 'replace')
    check(-1 < text.find(' xmlns=') < text.find(' manifestVersion='),
          'manifest: assembly attributes out of order')


# --- compiled resources ----------------------------------------------------

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
NEUTRAL, EN_US = 0, 1033
ICON_LAYOUT = [(48, 8), (32, 8), (24, 8), (16, 8), (256, 32),
               (128, 32), (48, 32), (32, 32), (24, 32), (16, 32)]
VERSION_STRINGS = {
    'CompanyName': 'Marrowgate Project', 'FileDescription': 'Convert Marrowgate',
    'ProductName': 'Marrowgate', 'FileVersion': '4.03', 'ProductVersion': '4.03',
    'InternalName': 'Marrowgate', 'OriginalFilename': 'Marrowgate.exe'}


def read_name(data, pos):
    """A resource type or name: 0xFFFF and a number, or a NUL-ended UTF-16 string."""
    first, = struct.unpack_from('<H', data, pos)
    if first == 0xFFFF:
        return struct.unpack_from('<H', data, pos + 2)[0], pos + 4
    end = pos
    while data[end:end + 2] != b'\0\0':
        end += 2
    return data[pos:end].decode('utf-16-le'), end + 2


def parse_res(data):
    """{(type, name, language): data} of a 32-bit .res file."""
    entries, pos = {}, 0
    while pos + 8 <= len(data):
        size, header_size = struct.unpack_from('<II', data, pos)
        kind, p = read_name(data, pos + 8)
        name, p = read_name(data, p)
        _, _, language = struct.unpack_from('<IHH', data, align4(p))
        if (size, kind, name) != (0, 0, 0):  # the empty entry that opens every .res file
            key = (kind, name, language)
            check(key not in entries, f'.res: {key} occurs twice')
            entries[key] = data[pos + header_size:pos + header_size + size]
        pos = align4(pos + header_size + size)
    return entries


def check_version(data):
    fixed = data.find(struct.pack('<I', 0xFEEF04BD))
    fields = struct.unpack_from('<10I', data, fixed) if fixed >= 0 else (0,) * 10
    _, _, file_ms, file_ls, product_ms, product_ls, mask, flags, os_, ftype = fields
    check((file_ms, file_ls, product_ms, product_ls) == (0x40003, 0, 0x40003, 0),
          'version: file or product version is not 4.3.0.0')
    check(flags & mask == 0, 'version: file flags set')
    check((os_, ftype) == (0x4, 0x1), 'version: not a 32-bit Windows application')
    text = data.decode('utf-16-le', 'replace')
    # Each string is its key, NULs up to a 4-byte boundary, then its value.
    for key, value in [('StringFileInfo', ''), ('040904B0', '')] + list(VERSION_STRINGS.items()):
        check(re.search(key + '\0+' + re.escape(value), text), f'version: no {key} {value!r}')
    check(struct.pack('<HH', 0x409, 1200) in data, 'version: translation is not 0x409, 1200')


def parse_icon_directory(data, entry_size):
    reserved, kind, count = struct.unpack_from('<HHH', data)
    check((reserved, kind) == (0, 1), 'icon directory header is wrong')
    return [struct.unpack_from('<BBBBHHI' + ('H' if entry_size == 14 else 'I'),
                               data, 6 + entry_size * i) for i in range(count)]


def check_windows(resources):
    windres = shutil.which('i686-w64-mingw32-windres')
    if not windres:
        print('FAIL: i686-w64-mingw32-windres not found; install binutils-mingw-w64-i686 '
              '(scripts/bootstrap does)')
        sys.exit(1)
    rc = os.path.join(resources, 'windows', 'marrowgate.rc')
    # windres needs a C preprocessor; the mingw-w64 gcc is not required, the host's will do.
    preprocess = [] if shutil.which('i686-w64-mingw32-gcc') else [
        '--preprocessor=' + (shutil.which('cpp') or 'cpp'), '--preprocessor-arg=-xc']
    with tempfile.TemporaryDirectory() as work:
        outputs = {}
        for form in ('coff', 'res'):
            out = os.path.join(work, 'marrowgate.' + form)
            run = subprocess.run([windres, *preprocess, '-DRC_INVOKED', '-O', form, rc, out],
                                 cwd=work, capture_output=True, text=True)
            if not check(run.returncode == 0, f'windres -O {form} failed: {run.stderr.strip()}'):
                return
            outputs[form] = read(out)
    check(outputs['coff'][:2] == b'\x4c\x01', 'windres -O coff: not an i386 COFF object')

    entries = parse_res(outputs['res'])
    ids = list(range(30001, 30011))
    expected = {(RT_MANIFEST, 1, EN_US), (RT_VERSION, 1, EN_US), (RT_GROUP_ICON, 1, NEUTRAL)}
    expected |= {(RT_ICON, i, NEUTRAL) for i in ids}
    check(set(entries) == expected, f'.res entries: {sorted(entries, key=str)}')
    if not set(entries) >= expected:
        return
    check(entries[(RT_MANIFEST, 1, EN_US)] ==
          read(os.path.join(resources, 'windows', 'marrowgate.manifest')),
          'RT_MANIFEST differs from marrowgate.manifest')
    check_version(entries[(RT_VERSION, 1, EN_US)])

    group = parse_icon_directory(entries[(RT_GROUP_ICON, 1, NEUTRAL)], 14)
    check([(e[0] or 256, e[5], e[7]) for e in group] ==
          [(size, bits, i) for (size, bits), i in zip(ICON_LAYOUT, ids)],
          f'icon group lists {[(e[0] or 256, e[5], e[7]) for e in group]}')
    images = [entries[(RT_ICON, i, NEUTRAL)] for i in ids]
    for entry, image in zip(group, images):
        check(entry[6] == len(image), f'icon group: size of {entry[7]} is {entry[6]}, '
                                      f'the image has {len(image)} bytes')
    check(images[4][:8] == b'\x89PNG\r\n\x1a\n', 'icon 30005: the 256 px image is not a PNG')

    ico = read(os.path.join(resources, 'windows', 'marrowgate.ico'))
    ico_images = [ico[e[7]:e[7] + e[6]] for e in parse_icon_directory(ico, 16)]
    check(ico_images == images, 'marrowgate.ico does not hold the executable\'s ten images')


# --- pictures, desktop entry, help ------------------------------------------

def png_size(path):
    data = read(path)
    if data[:8] != b'\x89PNG\r\n\x1a\n' or data[12:16] != b'IHDR':
        return None
    width, height, _, colour = struct.unpack_from('>IIBB', data, 16)
    return width, height, colour


def check_pictures(resources):
    for name, size in (('banner.png', (600, 85)), ('progress.png', (22, 22))):
        found = png_size(os.path.join(resources, 'images', name))
        check(found and found[:2] == size, f'{name}: {found}, expected {size}')
    for n in (16, 24, 32, 48, 128, 256):
        found = png_size(os.path.join(resources, 'icons', 'hicolor', f'{n}x{n}', 'apps',
                                      'marrowgate.png'))
        check(found == (n, n, 6), f'{n}x{n} icon: {found}, expected {n}x{n} with alpha')


def check_desktop(resources):
    text = read(os.path.join(resources, 'linux', 'marrowgate.desktop')).decode('utf-8')
    lines = [l for l in text.splitlines() if l and not l.startswith('#')]
    check(lines and lines[0] == '[Desktop Entry]', 'desktop: first group is not [Desktop Entry]')
    keys = dict(l.split('=', 1) for l in lines[1:] if '=' in l)
    for key, value in (('Type', 'Application'), ('Name', 'Marrowgate'),
                       ('Exec', 'marrowgate'), ('Icon', 'marrowgate')):
        check(keys.get(key) == value, f'desktop: {key} is {keys.get(key)!r}')


def check_help(resources):
    # The manual's source lives with the other documents, beside resources/.
    folder = os.path.join(resources, os.pardir, 'docs', 'help', 'entourage')
    page = read(os.path.join(folder, 'index.html')).decode('utf-8')
    check('<html lang="en"' in page and '<script' not in page, 'help: needs lang="en", no script')
    ids = set(re.findall(r'\bid="([^"]+)"', page))
    for link in re.findall(r'\b(?:href|src)="([^"]+)"', page):
        if link.startswith('#'):
            check(link[1:] in ids, f'help: no anchor for {link}')
        else:  # the page is read offline: everything it uses ships beside it
            check(':' not in link and os.path.isfile(os.path.join(folder, link)),
                  f'help: {link} is not a file shipped beside the page')


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ('manifest', 'windows', 'files'):
        sys.exit(__doc__)
    what, resources = sys.argv[1], os.path.abspath(sys.argv[2])
    if what == 'manifest':
        check_manifest(resources)
    elif what == 'windows':
        check_windows(resources)
    else:
        check_pictures(resources)
        check_desktop(resources)
        check_help(resources)
    for p in problems:
        print('FAIL:', p)
    sys.exit(1 if problems else 0)


if __name__ == '__main__':
    main()
