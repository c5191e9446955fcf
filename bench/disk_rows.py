"""The benchmark's rows beyond the warm conversion tables: conversion from a
cold page cache, how soon the first progress shows, and checking an output
(--verify-only) against reading it."""
import ctypes
import os
import pty
import select
import shutil
import signal
import subprocess
import time

from benchlib import (MIB, cli_of, drop_caches, goal, median_of, run_measured, store_of,
                      tree_size, warm)


def bench_cold(build, work, sizes, runs):
    """Each program after the page cache is dropped: the converter against the
    floor, and the floor reading each folder's files in the converter's
    order (by name) and in inode order."""
    if not drop_caches():
        print("- cold page cache: skipped (dropping the page cache takes root)")
        return
    cli = cli_of(build)
    floor = os.path.join(build, "bench/floor/marrowgate-bench-floor")
    noflush = os.path.join(build, "bench/noflush/libmarrowgate-bench-noflush.so")
    tools = [("marrowgate", lambda s, o: [cli, "--quiet", "-o", o, s]),
             ("marrowgate-noflush", lambda s, o: ["env", f"LD_PRELOAD={noflush}", cli, "--quiet",
                                                  "-o", o, s]),
             ("floor", lambda s, o: [floor, s, o]),
             ("floor+fsync", lambda s, o: [floor, "--fsync", s, o]),
             ("floor by name", lambda s, o: [floor, "--order", "name", s, o]),
             ("floor by inode", lambda s, o: [floor, "--order", "inode", s, o])]
    for count in sizes:
        store = store_of(work, count)
        samples = {name: [] for name, _ in tools}
        for _ in range(runs):
            for name, command in tools:
                out = os.path.join(work, "out-cold")
                shutil.rmtree(out, ignore_errors=True)
                drop_caches()
                wall, cpu, _ = run_measured(command(store, out))
                samples[name].append((wall, cpu))
                shutil.rmtree(out, ignore_errors=True)
        medians = {name: median_of(samples[name]) for name, _ in tools}
        size = tree_size(store)
        print(f"\n{count:,} messages, {size / 1e9:.2f} GB, page cache dropped before each run "
              f"({runs} runs each):\n")
        print("| program | wall (median) | CPU (median) | MB/s | wall vs floor |")
        print("|---|---:|---:|---:|---:|")
        for name, (wall, cpu) in medians.items():
            print(f"| {name} | {wall:.2f} s | {cpu:.2f} s | {size / 1e6 / wall:,.0f} | "
                  f"{wall / medians['floor'][0]:.2f} |")
        ratio = medians["marrowgate"][0] / medians["floor+fsync"][0]
        goal(f"cold: marrowgate / floor+fsync at {count:,} (both flushing): {ratio:.2f} "
             f"(goal <= 1.1)", ratio <= 1.1)
        print(f"- cold, at {count:,}: marrowgate-noflush / floor "
              f"{medians['marrowgate-noflush'][0] / medians['floor'][0]:.2f}; reading by name "
              f"takes {medians['floor by name'][0] / medians['floor'][0]:.2f} of the floor's "
              f"time, by inode {medians['floor by inode'][0] / medians['floor'][0]:.2f}")
        warm(store)


def first_progress_seconds(cli, store, out):
    """Seconds from the converter's start to its first progress line, on a
    terminal of its own; the run is then interrupted."""
    leader, follower = pty.openpty()
    start = time.perf_counter()
    process = subprocess.Popen([cli, "-o", out, store], stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=follower)
    os.close(follower)
    seen = b""
    seconds = None
    while seconds is None and process.poll() is None:
        ready, _, _ = select.select([leader], [], [], 5)
        if not ready:
            continue
        try:
            seen += os.read(leader, 4096)
        except OSError:
            break
        if b" messages " in seen:
            seconds = time.perf_counter() - start
    process.send_signal(signal.SIGINT)
    while process.poll() is None:
        try:
            os.read(leader, 4096)  # a full terminal would hold the converter
        except OSError:
            process.wait()
    os.close(leader)
    return seconds


def bench_first_progress(build, work, count, runs):
    store = store_of(work, count, small=True)
    warm(store)
    out = os.path.join(work, "out-progress")
    times = []
    for _ in range(runs):
        shutil.rmtree(out, ignore_errors=True)
        os.sync()
        seconds = first_progress_seconds(cli_of(build), store, out)
        if seconds is not None:
            times.append(seconds)
    shutil.rmtree(out, ignore_errors=True)
    if not times:
        goal(f"first progress line on {count:,} small messages: none seen", False)
        return
    first = sorted(times)[len(times) // 2]
    print(f"- first progress line on {count:,} small messages: {first:.3f} s (median of "
          f"{len(times)}, warm page cache)")
    goal(f"first progress line on {count:,} small messages: {first:.3f} s (goal < 0.5 s)",
         first < 0.5)


def read_all(*roots):
    """A command that reads every file below `roots` once."""
    quoted = " ".join(f"'{root}'" for root in roots)
    return ["sh", "-c", f"find {quoted} -type f -print0 | xargs -0 cat > /dev/null"]


def bench_verify(build, work, count, runs):
    """--verify-only against reading the output once (the page cache warm,
    as after the conversion it checks), on the store's output as converted,
    and again with a ledger grown to 100 MB by lines of records that no
    longer stand."""
    cli = cli_of(build)
    store = store_of(work, count)
    out = os.path.join(work, "out-verify")
    shutil.rmtree(out, ignore_errors=True)
    subprocess.run([cli, "--quiet", "-o", out, store], check=True, stdout=subprocess.DEVNULL)
    warm(store)
    warm(out)
    verify = [cli, "--verify-only", "-o", out, store]
    for ledger in ("as converted", "of 100 MB"):
        if ledger == "of 100 MB":
            grow_ledger(out, 100 * MIB)
            warm(out)
        samples = {"verify": [], "read output": [], "read output and store": []}
        peak = 0
        for _ in range(runs):
            wall, cpu, rss = run_measured(verify)
            samples["verify"].append((wall, cpu))
            peak = max(peak, rss)
            samples["read output"].append(run_measured(read_all(out))[:2])
            samples["read output and store"].append(run_measured(read_all(out, store))[:2])
        medians = {name: median_of(values) for name, values in samples.items()}
        ratio = medians["verify"][0] / medians["read output"][0]
        print(f"- --verify-only, {count:,} messages, ledger {ledger}: "
              f"{medians['verify'][0]:.2f} s (CPU {medians['verify'][1]:.2f} s), peak RSS "
              f"{peak / 1024:.1f} MiB; reading the output once {medians['read output'][0]:.2f} s, "
              f"the output and the store {medians['read output and store'][0]:.2f} s")
        goal(f"--verify-only / reading the output once, ledger {ledger}: {ratio:.2f} "
             f"(goal <= 1.5)", ratio <= 1.5)
        goal(f"--verify-only peak RSS, ledger {ledger}: {peak / 1024:.1f} MiB (goal < 64 MiB)",
             peak < 64 * 1024)
    shutil.rmtree(out, ignore_errors=True)


def grow_ledger(out, size):
    """Appends to the output's ledger "record" lines of its own mailboxes
    that a later "open" at size 0 drops, with their checksums, until it is
    `size` bytes long; then the mailboxes' lines again, so that what stands
    is as it was. What a ledger that was never compacted looks like."""
    xxhash = ctypes.CDLL("libxxhash.so.0")
    xxhash.XXH3_64bits.restype = ctypes.c_uint64
    xxhash.XXH3_64bits.argtypes = [ctypes.c_char_p, ctypes.c_size_t]
    path = os.path.join(out, ".marrowgate-ledger")
    with open(path, "rb") as f:
        lines = f.read().split(b"\n")[1:-1]
    ours = [line for line in lines if line.startswith((b"open\t", b"record\t", b"closed\t"))]
    mailboxes = sorted({line.split(b"\t")[1] for line in ours})

    def checked(text):
        return text + b"\t%08x\n" % (xxhash.XXH3_64bits(text, len(text)) & 0xFFFFFFFF)

    with open(path, "ab") as f:
        n = 0
        while f.tell() < size:
            mailbox = mailboxes[n % len(mailboxes)]
            hash_ = b"%032x" % n
            f.write(checked(b"record\t" + mailbox + b"\t%d-%d\t" % (n * 10, n * 10 + 10) + hash_ +
                            b"\t/gone/%d.eml\t10\t0\t0\t0" % n))
            n += 1
        for mailbox in mailboxes:
            f.write(checked(b"open\t" + mailbox + b"\t0\tentourage"))
        for line in ours:
            f.write(line + b"\n")
