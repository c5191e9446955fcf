#!/usr/bin/env python3
"""Checks of the installed program and of its Debian package.

    check_package.py start-quit PROGRAM          the window starts offscreen and
                                                 ends cleanly on SIGTERM
    check_package.py build CPACK_CONFIG FOLDER   builds the package into FOLDER
    check_package.py contents FOLDER SOURCE      its files and control fields
    check_package.py lintian FOLDER              lintian finds no error (E:)
    check_package.py install FOLDER SOURCE       dpkg -i, the installed programs
                                                 run, dpkg -r; root only

SOURCE is the repository. Exits 77 when a check cannot run here (ctest shows
it as skipped), non-zero with one line per problem on failure.
"""
import glob
import io
import os
import re
import shutil
import signal
import subprocess
import sys
import tarfile
import tempfile
import time

SKIP = 77
PACKAGE = 'marrowgate'
VERSION = '4.03'
problems = []


def check(condition, message):
    if not condition:
        problems.append(message)
    return condition


def run(*command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, timeout=300, **kwargs)


def start_and_quit(program):
    """Starts the window offscreen, waits until it has taken SIGTERM (it does
    so once the window is shown), sends it and expects a clean end."""
    env = dict(os.environ, QT_QPA_PLATFORM='offscreen')
    with tempfile.TemporaryFile() as errors:
        process = subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL, stderr=errors)
        deadline = time.monotonic() + 60
        while process.poll() is None and time.monotonic() < deadline:
            with open(f'/proc/{process.pid}/status') as f:
                caught = int(re.search(r'^SigCgt:\s*(\w+)', f.read(), re.M).group(1), 16)
            if caught & (1 << (signal.SIGTERM - 1)):
                break
            time.sleep(0.05)
        else:
            process.kill()
            process.wait()
            errors.seek(0)
            check(False, f'{program} did not start: exit {process.returncode}, '
                         f'{errors.read().decode(errors="replace").strip()}')
            return
        process.send_signal(signal.SIGTERM)
        try:
            code = process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            process.kill()
            code = 'none (still running)'
        check(code == 0, f'{program} ended with exit status {code} on SIGTERM')


def dpkg(*arguments):
    """dpkg, waiting up to a minute while apt or another dpkg holds its lock."""
    for _ in range(60):
        result = run('dpkg', *arguments)
        if result.returncode == 0 or 'lock' not in result.stderr:
            break
        time.sleep(1)
    return result


def find_package(folder):
    found = glob.glob(os.path.join(folder, f'{PACKAGE}_{VERSION}_*.deb'))
    if len(found) != 1:
        sys.exit(f'FAIL: expected one {PACKAGE}_{VERSION}_*.deb in {folder}, found {found}')
    return found[0]


def build(config, folder):
    shutil.rmtree(folder, ignore_errors=True)
    result = run('cpack', '--config', config, '-B', folder)
    check(result.returncode == 0, f'cpack failed:\n{result.stdout}{result.stderr}')
    if result.returncode == 0:
        find_package(folder)


def expected_files(source):
    files = {'usr/bin/marrowgate', 'usr/bin/marrowgate-convert',
             'usr/share/applications/marrowgate.desktop',
             'usr/share/man/man1/marrowgate.1.gz',
             'usr/share/man/man1/marrowgate-convert.1.gz',
             'usr/share/doc/marrowgate/changelog.gz',
             'usr/share/doc/marrowgate/copyright'}
    files |= {f'usr/share/icons/hicolor/{n}x{n}/apps/marrowgate.png'
              for n in (16, 24, 32, 48, 128, 256)}
    help_source = os.path.join(source, 'docs', 'help')
    for folder, _, names in os.walk(help_source):
        relative = os.path.relpath(folder, help_source)
        files |= {os.path.normpath(os.path.join('usr/share/marrowgate/help', relative, n))
                  for n in names}
    return files


def contents(folder, source):
    deb = find_package(folder)
    tar = tarfile.open(fileobj=io.BytesIO(
        subprocess.run(['dpkg-deb', '--fsys-tarfile', deb], capture_output=True,
                       check=True).stdout))
    members = {m.name.removeprefix('./'): m for m in tar.getmembers()}
    files = {name for name, m in members.items() if not m.isdir()}
    expected = expected_files(source)
    check(files == expected, f'files: missing {sorted(expected - files)}, '
                             f'unexpected {sorted(files - expected)}')

    fields = {}
    for line in run('dpkg-deb', '--field', deb).stdout.splitlines():
        if not line.startswith(' ') and ':' in line:
            key, value = line.split(':', 1)
            fields[key] = value.strip()
    architecture = run('dpkg', '--print-architecture').stdout.strip()
    for key, value in (('Package', PACKAGE), ('Version', VERSION),
                       ('Architecture', architecture), ('Section', 'mail'),
                       ('Recommends', 'xdg-utils')):
        check(fields.get(key) == value, f'control: {key} is {fields.get(key)!r}, expected {value!r}')
    # Read off the programs, so the libraries they link must all be there.
    depends = fields.get('Depends', '')
    for library in ('libc6', 'libstdc++6', 'libgmime-3.0-0', 'libglib2.0-0', 'libcurl4',
                    'libqt6core6', 'libqt6gui6', 'libqt6widgets6'):
        check(re.search(rf'(^|, ){re.escape(library)}( |,|$)', depends),
              f'control: Depends lacks {library}: {depends!r}')
    # Someone must be reachable there: not a documentation or no-reply domain.
    maintainer = fields.get('Maintainer', '')
    name, _, address = maintainer.partition(' <')
    domain = address.removesuffix('>').rpartition('@')[2]
    check(name and address.endswith('>') and '.' in domain and
          not re.search(r'(^|\.)(example\.\w+|invalid|localhost)$|noreply', domain),
          f'control: Maintainer {maintainer!r} is not a name and a real address')

    member = members.get('usr/share/doc/marrowgate/copyright')
    if member:
        copyright_file(tar.extractfile(member).read().decode('utf-8'), source)


def copyright_file(text, source):
    """The copyright file is machine-readable (one Files: * paragraph under
    MIT) and its licence text is the repository's LICENSE word for word."""
    paragraphs = [dict(re.findall(r'^([\w-]+):[ \t]*(.*(?:\n .*)*)', p, re.M))
                  for p in re.split(r'\n\s*\n', text.strip())]
    check(paragraphs[0].get('Format', '').startswith(
          'https://www.debian.org/doc/packaging-manuals/copyright-format/1.0'),
          'copyright: the first paragraph names no machine-readable Format')
    files = [p for p in paragraphs if 'Files' in p]
    check([(p['Files'], p.get('License')) for p in files] == [('*', 'MIT')],
          f'copyright: Files paragraphs {[(p["Files"], p.get("License")) for p in files]}, '
          f"expected one: * under MIT")
    check(all('Copyright' in p for p in files), 'copyright: a Files paragraph names no holder')
    licence = next((p['License'] for p in paragraphs if p.get('License', '').startswith('MIT\n')),
                   '')
    words = lambda t: re.sub(r'[\s.]+', ' ', t).strip()
    with open(os.path.join(source, 'LICENSE')) as f:
        statement = f.read().split('Permission is hereby granted', 1)[-1]
    check(licence and words(statement) in words(licence),
          'copyright: the MIT licence text differs from LICENSE')


def run_lintian(folder):
    if not shutil.which('lintian'):
        sys.exit('FAIL: lintian not found; install it (scripts/bootstrap does)')
    result = run('lintian', find_package(folder))
    errors = [line for line in result.stdout.splitlines() if line.startswith('E:')]
    check(not errors, 'lintian reports errors:\n' + '\n'.join(errors))
    # Warnings are shown in the test's output, not failed on.
    print(result.stdout, end='')


def install(folder, source):
    if os.geteuid() != 0 or not shutil.which('dpkg'):
        print('SKIP: installing the package needs root and dpkg')
        sys.exit(SKIP)
    status = run('dpkg-query', '-W', '-f=${Status}', PACKAGE).stdout
    if 'installed' in status.split():
        print(f'SKIP: {PACKAGE} is already installed here; not replacing it')
        sys.exit(SKIP)
    deb = find_package(folder)
    installed = dpkg('-i', deb)
    if not check(installed.returncode == 0, f'dpkg -i failed: {installed.stderr.strip()}'):
        dpkg('-r', PACKAGE)
        return
    try:
        version = run('/usr/bin/marrowgate-convert', '--version')
        check(version.stdout.strip() == VERSION,
              f'installed marrowgate-convert --version says {version.stdout.strip()!r}')
        with tempfile.TemporaryDirectory() as out:
            converted = run('/usr/bin/marrowgate-convert', '-q', '-o', out,
                            os.path.join(source, 'examples', 'Store'))
            mailboxes = glob.glob(os.path.join(out, '**', '*.mbox'), recursive=True)
            check(converted.returncode == 0 and mailboxes,
                  f'installed marrowgate-convert: exit {converted.returncode}, '
                  f'{len(mailboxes)} mailboxes, {converted.stderr.strip()}')
        start_and_quit('/usr/bin/marrowgate')
        with open('/usr/share/applications/marrowgate.desktop') as f:
            command = re.search(r'^Exec=(\S+)', f.read(), re.M).group(1)
        check(shutil.which(command) == '/usr/bin/marrowgate',
              f'desktop entry runs {command!r}, not the installed program')
    finally:
        removed = dpkg('-r', PACKAGE)
        check(removed.returncode == 0 and not os.path.exists('/usr/bin/marrowgate'),
              f'dpkg -r failed: {removed.stderr.strip()}')


def main():
    commands = {'start-quit': (start_and_quit, 1), 'build': (build, 2),
                'contents': (contents, 2), 'lintian': (run_lintian, 1),
                'install': (install, 2)}
    if len(sys.argv) < 2 or commands.get(sys.argv[1], (None, -1))[1] != len(sys.argv) - 2:
        sys.exit(__doc__)
    function, _ = commands[sys.argv[1]]
    function(*sys.argv[2:])
    for p in problems:
        print('FAIL:', p)
    sys.exit(1 if problems else 0)


if __name__ == '__main__':
    main()
