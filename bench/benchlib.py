"""What the benchmark's parts share: measuring a program, the generated
stores, the goals met or missed, the page cache."""
import hashlib
import mailbox
import os
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
MIB = 1024 * 1024
GOALS = []  # (text, met) in the order measured


def goal(text, met):
    GOALS.append((text, met))


def run_measured(command, env=None):
    """Wall seconds, CPU seconds and peak resident KiB of `command`.

    The figures come from GNU time: a child forked from this Python process
    would count Python's own pages until it execs. Data the previous program
    left to be written out is flushed first, so that no program pays for
    another's writeback."""
    os.sync()
    start = time.perf_counter()
    result = subprocess.run(["/usr/bin/time", "-f", "%U %S %M"] + command,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
    seconds = time.perf_counter() - start
    stderr = result.stderr.decode(errors="replace")
    if result.returncode != 0:
        sys.exit(f"{command[0]} failed:\n{stderr}")
    user, system, peak = stderr.strip().splitlines()[-1].split()
    return seconds, float(user) + float(system), int(peak)


def tree_size(root):
    return sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(root) for f in fs)


def count_messages(root):
    """Messages Python's mailbox module reads back from every .mbox below root."""
    total = 0
    for folder, _, files in os.walk(root):
        for name in files:
            if name.endswith(".mbox"):
                box = mailbox.mbox(os.path.join(folder, name), create=False)
                total += len(box)
                box.close()
    return total


def store_of(work, count, small=False):
    """The generated store of `count` messages, made anew when the generator changed."""
    generator = os.path.join(HERE, "generate_store.py")
    with open(generator, "rb") as f:
        stamp = hashlib.sha256(f.read()).hexdigest()
    store = os.path.join(work, f"{'small' if small else 'store'}-{count}")
    stamp_file = store + ".stamp"
    if not (os.path.isdir(store) and os.path.exists(stamp_file)
            and open(stamp_file).read() == stamp):
        shutil.rmtree(store, ignore_errors=True)
        print(f"generating {count} messages in {store} ...", file=sys.stderr)
        subprocess.run([sys.executable, generator] + (["--small"] if small else [])
                       + [store, str(count)], check=True)
        with open(stamp_file, "w") as f:
            f.write(stamp)
    return store


def warm(store):
    for folder, _, files in os.walk(store):
        for name in files:
            with open(os.path.join(folder, name), "rb") as f:
                while f.read(1 << 20):
                    pass


def cli_of(build):
    return os.path.join(build, "src/cli/marrowgate-convert")


def drop_caches():
    """Drops the page cache, so that the next run reads from the disk; False
    when this process may not (only root may)."""
    if os.geteuid() != 0:
        return False
    os.sync()
    try:
        with open("/proc/sys/vm/drop_caches", "w") as f:
            f.write("3\n")
    except OSError:
        return False
    return True


def median_of(samples):
    """Median wall and CPU seconds of (wall, cpu) samples."""
    return (statistics.median(s[0] for s in samples), statistics.median(s[1] for s in samples))
