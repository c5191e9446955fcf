#!/usr/bin/env python3
"""Puts the Windows build together as users get it: a folder (and a zip of it)
with the programs, every DLL they load that Windows does not have, Qt's
platform plugin, the help manual, the icon, README-Windows.txt and the notices
of the third-party libraries inside, with where their sources come from; and,
with the window, an installer of the same files.

    windows-bundle.py BUILD DEPS SOURCE VERSION

BUILD is the windows preset's build folder, DEPS the folder of the Windows
dependencies (scripts/build-windows-deps), SOURCE the repository. The bundle
lands in BUILD/Marrowgate-VERSION-windows-x64 and BUILD/Marrowgate-VERSION-windows-x64.zip,
the installer in BUILD/Marrowgate-VERSION-setup-x64.exe (resources/windows/setup.nsi).
"""
import os
import re
import shutil
import subprocess
import sys

TRIPLET = "x86_64-w64-mingw32"
# Qt plugins the window loads: the platform itself and the native style.
QT_PLUGINS = ["platforms/qwindows.dll", "styles/qwindowsvistastyle.dll"]
# The runtime DLLs of the compiler and of zlib, with the Debian packages
# whose copyright files cover them.
TOOLCHAIN_NOTICES = {
    "libstdc++-6.dll": "gcc-mingw-w64-base",
    "libgcc_s_seh-1.dll": "gcc-mingw-w64-base",
    "libwinpthread-1.dll": "mingw-w64-common",
    "zlib1.dll": "libz-mingw-w64",
}
COMMON_LICENSES = ["LGPL-2.1", "LGPL-3", "GPL-2", "GPL-3"]


def imports(path):
    """The DLL names a program or DLL imports."""
    out = subprocess.run([f"{TRIPLET}-objdump", "-p", path], capture_output=True, text=True,
                         check=True).stdout
    return re.findall(r"DLL Name: (\S+)", out)


def find_dll(name, folders):
    for folder in folders:
        for entry in os.listdir(folder) if os.path.isdir(folder) else []:
            if entry.lower() == name.lower():
                return os.path.join(folder, entry)
    return None


def copy_with_dlls(programs, bundle, folders):
    """Copies the DLLs `programs` need, and theirs in turn; the names found in
    none of `folders` are Windows' own."""
    seen, todo, shipped = set(), list(programs), []
    while todo:
        for name in imports(todo.pop()):
            if name.lower() in seen:
                continue
            seen.add(name.lower())
            found = find_dll(name, folders)
            if found:
                shutil.copy2(found, os.path.join(bundle, os.path.basename(found)))
                shipped.append(os.path.basename(found))
                todo.append(found)
    return sorted(shipped)


def package_notices(deps):
    """(Debian source package, version, copyright file) for each library built
    from a Debian source package."""
    found = []
    for part in ("sysroot", "qt", "curl"):
        top = os.path.join(deps, part, "share", "licenses")
        for name in sorted(os.listdir(top)) if os.path.isdir(top) else []:
            with open(os.path.join(top, name, "source")) as f:
                source, version = f.read().split()
            found.append((source, version, os.path.join(top, name, "copyright")))
    return found


def write_notices(bundle, deps, shipped):
    licenses = os.path.join(bundle, "licenses")
    os.makedirs(licenses)
    for name in COMMON_LICENSES:
        shutil.copy2(f"/usr/share/common-licenses/{name}", os.path.join(licenses, name + ".txt"))
    lines = [
        "Third-party software in this folder",
        "===================================",
        "",
        "Marrowgate uses the libraries below, each shipped as a DLL beside the",
        "programs, so that it can be replaced by another build of the same library.",
        "GLib and GMime are under the GNU Lesser General Public License 2.1 or later,",
        "Qt under the GNU Lesser General Public License 3 (licenses/LGPL-2.1.txt,",
        "licenses/LGPL-3.txt), libcurl (libcurl.dll, for uploads to IMAP accounts)",
        "under the curl licence, an MIT/X derivative; the copyright file of each package",
        "in licenses/ lists every author and licence, the bundled code's included.",
        "",
        "They were built with Debian's patches, configured as the recipe says, from",
        "the source packages of Debian 12 \"bookworm\" named below; the sources are at",
        "https://deb.debian.org/debian/pool/main/ (and https://snapshot.debian.org/",
        "for every version ever published), or with `apt-get source NAME=VERSION`.",
        "The recipe is scripts/build-windows-deps in Marrowgate's source.",
        "",
    ]
    for source, version, copyright_file in package_notices(deps):
        if source == "googletest":
            continue  # the tests' only
        target = f"{source}.copyright.txt"
        shutil.copy2(copyright_file, os.path.join(licenses, target))
        lines.append(f"- {source} {version}: licenses/{target}")
    lines += ["", "libiconv-2.dll is win_iconv.c from the GLib source package above, which",
              "its author placed in the public domain.", "",
              "The compiler's runtime (Debian's mingw-w64 packages):", ""]
    for dll, package in sorted(TOOLCHAIN_NOTICES.items()):
        if dll not in shipped:
            continue
        target = f"{package}.copyright.txt"
        copyright_file = f"/usr/share/doc/{package}/copyright"
        if os.path.exists(copyright_file):
            shutil.copy2(copyright_file, os.path.join(licenses, target))
        lines.append(f"- {dll}: from the Debian package {package}, licenses/{target}")
    with open(os.path.join(bundle, "THIRD-PARTY-NOTICES.txt"), "w", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")


def nsis_text(text):
    """`text` as NSIS reads it between double quotes."""
    return text.replace("$", "$$").replace('"', '$\\"')


def write_installer_files(bundle, path):
    """The bundle's files as the installer's two macros: InstallBundle puts
    each in its folder under $INSTDIR, RemoveBundle deletes each of them and
    then the folders, deepest first, if nothing else is left in them."""
    install, remove, folders = ["!macro InstallBundle"], ["!macro RemoveBundle"], []
    for folder, subfolders, names in os.walk(bundle):
        subfolders.sort()
        relative = os.path.relpath(folder, bundle)
        target = "$INSTDIR" if relative == "." else "$INSTDIR\\" + nsis_text(
            relative.replace("/", "\\"))
        if relative != ".":
            folders.append(target)
        install.append(f'  SetOutPath "{target}"')
        for name in sorted(names):
            install.append(f'  File "{nsis_text(os.path.join(folder, name))}"')
            remove.append(f'  Delete "{target}\\{nsis_text(name)}"')
    remove += [f'  RMDir "{folder}"' for folder in sorted(folders, reverse=True)]
    with open(path, "w") as f:
        f.write("\n".join(install + ["!macroend", ""] + remove + ["!macroend", ""]))


def build_installer(build, bundle, source, version):
    files = os.path.join(build, "bundle-files.nsh")
    write_installer_files(bundle, files)
    setup = os.path.join(build, f"Marrowgate-{version}-setup-x64.exe")
    subprocess.run(["makensis", "-V2", "-NOCD", f"-DVERSION={version}", f"-DBUNDLE={bundle}",
                    f"-DFILES={files}", f"-DOUTFILE={setup}",
                    os.path.join(source, "resources", "windows", "setup.nsi")], check=True)
    return setup


def main():
    build, deps, source, version = sys.argv[1:5]
    name = f"Marrowgate-{version}-windows-x64"
    bundle = os.path.join(build, name)
    shutil.rmtree(bundle, ignore_errors=True)
    os.makedirs(bundle)

    programs = []
    for program in ("src/app/marrowgate.exe", "src/cli/marrowgate-convert.exe"):
        path = os.path.join(build, program)
        if os.path.exists(path):
            shutil.copy2(path, bundle)
            programs.append(os.path.join(bundle, os.path.basename(path)))
    if not programs:
        sys.exit(f"windows-bundle: no programs in {build}")

    qt = os.path.join(deps, "qt")
    if os.path.exists(os.path.join(bundle, "marrowgate.exe")):
        for plugin in QT_PLUGINS:
            target = os.path.join(bundle, plugin)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copy2(os.path.join(qt, "plugins", plugin), target)
            programs.append(target)
        shutil.copytree(os.path.join(source, "docs", "help"), os.path.join(bundle, "help"))

    folders = [os.path.join(deps, "sysroot", "bin"), os.path.join(deps, "curl", "bin"),
               os.path.join(qt, "bin"),
               f"/usr/{TRIPLET}/lib", f"/usr/lib/gcc/{TRIPLET}/12-posix"]
    shipped = copy_with_dlls(programs, bundle, folders)

    shutil.copy2(os.path.join(source, "resources", "windows", "marrowgate.ico"), bundle)
    for document, target in (("resources/windows/README-Windows.txt", "README-Windows.txt"),
                             ("LICENSE", "LICENSE.txt")):
        if os.path.exists(os.path.join(source, document)):
            shutil.copy2(os.path.join(source, document), os.path.join(bundle, target))
    write_notices(bundle, deps, shipped)

    archive = shutil.make_archive(bundle, "zip", build, name)
    print(f"{bundle}\n{archive} ({len(shipped)} DLLs: {', '.join(shipped)})")
    if os.path.exists(os.path.join(bundle, "marrowgate.exe")):
        print(build_installer(build, bundle, source, version))


if __name__ == "__main__":
    main()
