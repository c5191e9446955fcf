"""The converter of an earlier commit, to measure what a change costs: its
sources taken from git (`git archive`) and its converter alone built once,
in Release, into the work folder, where later runs find it."""
import os
import subprocess
import sys

from benchlib import HERE


def converter(work, commit):
    """The path of `commit`'s converter, built when missing; None (with a
    note) when it cannot be."""
    repository = os.path.dirname(HERE)
    try:
        full = subprocess.run(["git", "-C", repository, "rev-parse", "--verify", commit + "^{commit}"],
                              check=True, capture_output=True, text=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        print(f"- baseline {commit}: not a commit of this repository, skipped", file=sys.stderr)
        return None
    folder = os.path.join(work, f"baseline-{full[:12]}")
    cli = os.path.join(folder, "build", "src", "cli", "marrowgate-convert")
    if os.path.exists(cli):
        return cli
    print(f"building the converter of {commit} in {folder} ...", file=sys.stderr)
    source = os.path.join(folder, "src")
    os.makedirs(source, exist_ok=True)
    archive = subprocess.Popen(["git", "-C", repository, "archive", full], stdout=subprocess.PIPE)
    subprocess.run(["tar", "-x", "-C", source], stdin=archive.stdout, check=True)
    if archive.wait() != 0:
        return None
    build = os.path.join(folder, "build")
    steps = [["cmake", "-S", source, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
              "-DMARROWGATE_BUILD_GUI=OFF", "-DMARROWGATE_BUILD_TESTS=OFF"],
             ["cmake", "--build", build, "-j", str(os.cpu_count() or 1), "--target",
              "marrowgate-convert"]]
    for step in steps:
        if subprocess.run(["nice"] + step, stdout=subprocess.DEVNULL).returncode != 0:
            print(f"- baseline {commit}: the build failed, skipped", file=sys.stderr)
            return None
    return cli
