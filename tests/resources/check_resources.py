#!/usr/bin/env python3
"""Checks of the program's resource files.

    check_resources.py manifest RESOURCES   the manifest's exact bytes and structure
    check_resources.py windows  RESOURCES INCLUDE
                                            marrowgate.rc compiled with the mingw-w64
                                            resource compiler, and what it holds;
                                            INCLUDE holds the generated Version.h
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

def check_windows(resources, include):
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
        out = os.path.join(work, 'marrowgate.res')
        run = subprocess.run([windres, *preprocess, '-DRC_INVOKED', '-I', include, '-O', 'res', rc, out],
                             cwd=work, capture_output=True, text=True)
        if not check(run.returncode == 0, f'windres failed: {run.stderr.strip()}'):
            return
        compiled = read(out)
    # The manifest goes in byte for byte; the version block names 4.03.
    check(read(os.path.join(resources, 'windows', 'marrowgate.manifest')) in compiled,
          'the compiled resources do not hold marrowgate.manifest as it is')
    for text in ('FileVersion', '4.03', 'Marrowgate.exe'):
        check(text.encode('utf-16-le') in compiled, f'the version block lacks {text!r}')
    ico = read(os.path.join(resources, 'windows', 'marrowgate.ico'))
    count, = struct.unpack_from('<H', ico, 4)
    check(ico[:4] == b'\0\0\1\0' and count == 10, 'marrowgate.ico is not an icon of ten images')


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
    arguments = {'manifest': 3, 'windows': 4, 'files': 3}
    if len(sys.argv) < 2 or arguments.get(sys.argv[1]) != len(sys.argv):
        sys.exit(__doc__)
    what, resources = sys.argv[1], os.path.abspath(sys.argv[2])
    if what == 'manifest':
        check_manifest(resources)
    elif what == 'windows':
        check_windows(resources, os.path.abspath(sys.argv[3]))
    else:
        check_pictures(resources)
        check_desktop(resources)
        check_help(resources)
    for p in problems:
        print('FAIL:', p)
    sys.exit(1 if problems else 0)


if __name__ == '__main__':
    main()
