#!/usr/bin/env python3
"""Benchmarks Marrowgate against the floor and the alternatives a user would
reach for, on generated stores (bench/generate_store.py), and prints the
results as Markdown tables, one per store size, then the goals met or missed.

    bench/run.py [--build build/release] [--sizes 20000,100000] [--runs 5]
                 [--slow-runs 3] [--alternatives-up-to 20000]
                 [--memory-sizes 30000,300000] [--list-rows 1000000]
                 [--baseline 0ae4bec] [--progress-size 100000]
                 [--only convert|cold|progress|verify|memory|window|imap]
                 [--imap-messages 2000]

Every figure that is judged is a ratio between programs measured in the same
run: this machine is shared and noisy, so absolute times mean little. Runs of
the programs are interleaved (one round = each program once), after one
warm-up round, each output deleted and the disk synced outside the timing;
the median is reported, wall time and CPU time (user + system) apart. Each
output is removed once measured, so the page cache holds the stores and
little else.

  marrowgate   the command-line converter
  marrowgate-BASE  the converter of commit BASE (--baseline, built once in
               the work folder): the one before content identity, to show
               what exactly-once without trusting the ledger costs
  floor        bench/floor: reads every file once and appends its bytes to one
               file per folder, nothing parsed, in directory order; the least
               any converter does
  floor+fsync  the same, each output file flushed to the disk at its close
  marrowgate-noflush  the converter with fsync, fdatasync and sync_file_range
               made no-ops by a preloaded library (bench/noflush), to set
               beside the floor
  marrowgate-1thread  the converter reading each message only when it writes
               it (--no-read-ahead): what the reader thread buys
  python       bench/python_mailbox.py, the standard `mailbox` module
  formail      bench/formail.sh, procmail's formail for each message

Cold (as root only, which may drop the page cache; said so otherwise): the
converter and the floor each run after the page cache is dropped, and the
floor again reading each folder's files by name (the converter's order) and
by inode number (where their data most likely lies).

Goals: marrowgate within 1.05x the floor at 20,000 and at 100,000 messages,
both flushing their files to the disk (marrowgate against floor+fsync), and
within 1.1x without flushing (marrowgate-noflush against floor); within 1.03x
the converter before content identity; from a cold page cache within 1.1x
the floor (both flushing); the first progress line within 0.5 s of the start
on a store of 100,000 (small) messages, and the window's first "Message 1"
within 0.5 s of the conversion's start; --verify-only within 1.5x the time
of reading the output once, under 64 MiB, also with a ledger of 100 MB;
peak resident memory of marrowgate under 32 MiB at 300,000 small messages
and at most 1.25x its peak at 30,000; a single 1 GiB message under 64 MiB;
the window's list at most 100 bytes per row beyond the path's bytes,
1,000,000 rows in under 5 s and within 200 MiB; the window's conversion,
which checks its output as --verify does, within 1.1x the command line's
with --verify; the imap target (bench/imap_upload.py) at least 10x a Python
imaplib APPEND loop and within 2x Dovecot's doveadm save.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import time

import baseline
import disk_rows
from benchlib import (GOALS, HERE, MIB, cli_of, count_messages, goal, run_measured, store_of,
                      tree_size, warm)


def programs(build, with_alternatives, base=None):
    cli = cli_of(build)
    floor = os.path.join(build, "bench/floor/marrowgate-bench-floor")
    found = [("marrowgate", lambda s, o: [cli, "--quiet", "-o", o, s], False),
             ("marrowgate-1thread", lambda s, o: [cli, "--quiet", "--no-read-ahead", "-o", o, s],
              False),
             ("floor", lambda s, o: [floor, s, o], False),
             ("floor+fsync", lambda s, o: [floor, "--fsync", s, o], False)]
    if base:
        name, path = base
        found.insert(1, (f"marrowgate-{name}", lambda s, o: [path, "--quiet", "-o", o, s], False))
    noflush = os.path.join(build, "bench/noflush/libmarrowgate-bench-noflush.so")
    if os.path.exists(noflush):
        found.insert(1, ("marrowgate-noflush",
                         lambda s, o: ["env", f"LD_PRELOAD={noflush}", cli, "--quiet", "-o", o, s],
                         False))
    if with_alternatives:
        found.append(("python", lambda s, o: [sys.executable,
                                              os.path.join(HERE, "python_mailbox.py"), s, o], True))
        if shutil.which("formail"):
            found.append(("formail", lambda s, o: ["sh", os.path.join(HERE, "formail.sh"), s, o],
                          True))
        else:
            print("formail not found (Debian package procmail): skipped", file=sys.stderr)
    return found


def bench_store(build, work, count, runs, slow_runs, with_alternatives, base=None):
    store = store_of(work, count)
    size = tree_size(store)
    warm(store)
    tools = programs(build, with_alternatives, base)
    samples = {name: [] for name, _, _ in tools}
    peak = {name: 0 for name, _, _ in tools}
    read_back = {}
    # Round 0 warms up and is not counted. The slow alternatives take minutes,
    # so they skip it: the page cache is already warm, and so is the disk.
    # Each output is removed as soon as it has been measured (and, the last
    # time, read back), so that the outputs of the others do not crowd the
    # stores out of the page cache.
    last_round = {name: (slow_runs if slow else runs) for name, _, slow in tools}
    for round_ in range(runs + 1):
        for name, command, slow in tools:
            if slow and (round_ == 0 or round_ > slow_runs):
                continue
            out = os.path.join(work, f"out-{name}")
            shutil.rmtree(out, ignore_errors=True)
            wall, cpu, rss = run_measured(command(store, out))
            peak[name] = max(peak[name], rss)
            if round_ > 0:
                samples[name].append((wall, cpu))
            if round_ == last_round[name]:
                # The floor writes bare files, not mailboxes: nothing to read back.
                read_back[name] = None if name.startswith("floor") else count_messages(out)
            shutil.rmtree(out, ignore_errors=True)
    rows = {}
    for name, _, _ in tools:
        rows[name] = dict(seconds=statistics.median(s[0] for s in samples[name]),
                          cpu=statistics.median(s[1] for s in samples[name]),
                          rss_kib=peak[name], read_back=read_back[name])
    return dict(count=count, size=size, rows=rows)


def print_store_table(result):
    count, size, rows = result["count"], result["size"], result["rows"]
    floor = rows["floor"]
    print(f"\n{count:,} messages, {size / 1e9:.2f} GB:\n")
    print("| program | wall (median) | CPU (median) | messages/s | MB/s | peak RSS "
          "| wall vs floor | CPU vs floor | read back |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|")
    for name, row in rows.items():
        s = row["seconds"]
        back = "n/a" if row["read_back"] is None else f"{row['read_back']:,} of {count:,}"
        print(f"| {name} | {s:.2f} s | {row['cpu']:.2f} s | {count / s:,.0f} | "
              f"{size / 1e6 / s:,.0f} | {row['rss_kib'] / 1024:.1f} MiB | "
              f"{s / floor['seconds']:.2f} | {row['cpu'] / floor['cpu']:.2f} | {back} |")


def store_goals(results, base=None):
    for result in results:
        rows, n = result["rows"], result["count"]
        ours = rows["marrowgate"]["seconds"]
        ratio = ours / rows["floor+fsync"]["seconds"]
        goal(f"marrowgate / floor+fsync at {n:,} messages (both flushing): {ratio:.2f} "
             f"(CPU {rows['marrowgate']['cpu'] / rows['floor+fsync']['cpu']:.2f}; goal <= 1.05)",
             ratio <= 1.05)
        single = rows["marrowgate-1thread"]
        print(f"- on one thread, at {n:,} messages: marrowgate-1thread / floor+fsync "
              f"{single['seconds'] / rows['floor+fsync']['seconds']:.2f}; reading ahead "
              f"takes {ours / single['seconds']:.2f} of its time")
        if "marrowgate-noflush" in rows:
            plain = rows["marrowgate-noflush"]
            ratio = plain["seconds"] / rows["floor"]["seconds"]
            goal(f"marrowgate-noflush / floor at {n:,} messages (neither flushing): {ratio:.2f} "
                 f"(CPU {plain['cpu'] / rows['floor']['cpu']:.2f}; goal <= 1.1)", ratio <= 1.1)
        if base and f"marrowgate-{base[0]}" in rows:
            before = rows[f"marrowgate-{base[0]}"]
            ratio = ours / before["seconds"]
            goal(f"marrowgate / marrowgate-{base[0]} (before content identity) at {n:,}: "
                 f"{ratio:.3f} (CPU {rows['marrowgate']['cpu'] / before['cpu']:.3f}; "
                 f"goal <= 1.03)", ratio <= 1.03)
        for name, speedup_goal in (("python", 20), ("formail", 10)):
            if name in rows:
                speedup = rows[name]["seconds"] / ours
                goal(f"{name} / marrowgate at {n:,}: {speedup:.1f}x (goal >= {speedup_goal}x)",
                     speedup >= speedup_goal)
        for name, row in rows.items():
            if row["read_back"] is not None and row["read_back"] != n:
                goal(f"{name} at {n:,}: Python reads back {row['read_back']:,} messages", False)


def bench_memory(build, work, sizes):
    """Peak resident memory of the command line against the number of
    messages (small ones, so that the store costs little disk), and on one
    message of 1 GiB."""
    cli = cli_of(build)
    peaks = {}
    for n in sizes:
        store = store_of(work, n, small=True)
        out = os.path.join(work, "out-memory")
        shutil.rmtree(out, ignore_errors=True)
        seconds, _, rss = run_measured([cli, "--quiet", "-o", out, store])
        shutil.rmtree(out, ignore_errors=True)
        peaks[n] = rss
        print(f"- {n:,} small messages: {seconds:.2f} s, peak RSS {rss / 1024:.1f} MiB")
    if len(sizes) > 1:
        small, large = min(sizes), max(sizes)
        goal(f"marrowgate peak RSS at {large:,} small messages: {peaks[large] / 1024:.1f} MiB "
             f"(goal < 32 MiB)", peaks[large] < 32 * 1024)
        growth = peaks[large] / peaks[small]
        goal(f"marrowgate peak RSS at {large:,} / at {small:,}: {growth:.2f} (goal <= 1.25)",
             growth <= 1.25)

    store = os.path.join(work, "huge")
    path = os.path.join(store, "huge.eml")
    if not os.path.exists(path):
        os.makedirs(store, exist_ok=True)
        line = b"x" * 76 + b"\r\n"
        block = line * (MIB // len(line) + 1)
        with open(path, "wb") as f:
            f.write(b"From: big@example.org\r\nSubject: 1 GiB\r\n\r\n")
            while f.tell() < 1 << 30:
                f.write(block)
    out = os.path.join(work, "out-huge")
    shutil.rmtree(out, ignore_errors=True)
    seconds, _, rss = run_measured([cli, "--quiet", "-o", out, store])
    shutil.rmtree(out, ignore_errors=True)
    print(f"- a single 1 GiB message: {seconds:.2f} s, peak RSS {rss / 1024:.1f} MiB")
    goal(f"a single 1 GiB message: peak RSS {rss / 1024:.1f} MiB (goal < 64 MiB)",
         rss < 64 * 1024)


def bench_window(build, work, count, runs, list_rows, progress_size):
    tool = os.path.join(build, "src/app/marrowgate-window-bench")
    if not os.path.exists(tool):
        print("- window: skipped (the window was not built)")
        return
    store = store_of(work, count)
    cli = cli_of(build)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    window_times, cli_times = [], []
    out = os.path.join(work, "out-window")
    for round_ in range(runs + 1):
        shutil.rmtree(out, ignore_errors=True)
        os.sync()
        text = subprocess.run([tool, "convert", store, out], check=True, capture_output=True,
                              text=True, env=env).stdout
        window = float(re.search(r"window_convert_seconds ([\d.]+)", text).group(1))
        shutil.rmtree(out, ignore_errors=True)
        # The window checks every record against its message after the run,
        # as --verify does: the command line is timed doing the same.
        cli_seconds, _, _ = run_measured([cli, "--quiet", "--verify", "-o", out, store])
        if round_ > 0:
            window_times.append(window)
            cli_times.append(cli_seconds)
    shutil.rmtree(out, ignore_errors=True)
    ratio = statistics.median(window_times) / statistics.median(cli_times)
    print(f"- window (offscreen) conversion of {count:,} messages: "
          f"{statistics.median(window_times):.2f} s, command line with --verify "
          f"{statistics.median(cli_times):.2f} s")
    goal(f"window / command line at {count:,}: {ratio:.2f} (goal <= 1.1)", ratio <= 1.1)

    # The first "Message 1" of a conversion of many (small) messages.
    firsts = []
    small = store_of(work, progress_size, small=True)
    for _ in range(max(1, runs // 2)):
        shutil.rmtree(out, ignore_errors=True)
        os.sync()
        text = subprocess.run([tool, "convert", small, out], check=True, capture_output=True,
                              text=True, env=env).stdout
        firsts.append(float(re.search(r"window_first_message_seconds ([\d.]+)", text).group(1)))
    shutil.rmtree(out, ignore_errors=True)
    first = statistics.median(firsts)
    goal(f"the window's first \"Message 1\" on {progress_size:,} small messages: {first:.3f} s "
         f"after the conversion's start (goal < 0.5 s)", first < 0.5)

    text = subprocess.run([tool, "add-paths", str(list_rows)], check=True, capture_output=True,
                          text=True, env=env).stdout
    figures = {k: float(v) for k, v in re.findall(r"(\w+) ([-\d.]+)", text)}
    print(f"- window list: {' '.join(text.split())}")
    goal(f"window list, {list_rows:,} rows: {figures['add_paths_seconds']:.2f} s (goal < 5 s)",
         figures["add_paths_seconds"] < 5)
    goal(f"window list, {list_rows:,} rows: peak RSS {figures['add_paths_peak_rss_mib']:.1f} MiB "
         f"(goal <= 200 MiB)", figures["add_paths_peak_rss_mib"] <= 200)
    beyond = figures["add_paths_bytes_per_row_beyond_path"]
    goal(f"window list: {beyond:.1f} bytes per row beyond the path's bytes (goal <= 100)",
         beyond <= 100)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default="build/release")
    parser.add_argument("--sizes", default="20000,100000",
                        help="store sizes in messages for the speed tables")
    parser.add_argument("--runs", type=int, default=5, help="counted runs of the fast programs")
    parser.add_argument("--slow-runs", type=int, default=3,
                        help="runs of python and formail (at least 1)")
    parser.add_argument("--alternatives-up-to", type=int, default=20000,
                        help="run python and formail only on stores up to this size (0: never)")
    parser.add_argument("--memory-sizes", default="30000,300000",
                        help="sizes of the stores of small messages for the memory goals")
    parser.add_argument("--list-rows", type=int, default=1000000,
                        help="rows added to the window's list")
    parser.add_argument("--baseline", default="0ae4bec",
                        help="the commit whose converter is measured beside (empty: none)")
    parser.add_argument("--progress-size", type=int, default=100000,
                        help="small messages in the store the first progress is timed on")
    parser.add_argument("--only", choices=["convert", "cold", "progress", "verify", "memory",
                                           "window", "imap"])
    parser.add_argument("--imap-messages", type=int, default=2000,
                        help="messages of the store uploaded to a local Dovecot")
    args = parser.parse_args()
    work = os.path.join(HERE, "work")
    os.makedirs(work, exist_ok=True)
    sizes = [int(s) for s in args.sizes.split(",")]
    print(f"{time.strftime('%Y-%m-%d %H:%M UTC', time.gmtime())}, {os.cpu_count()} CPUs, "
          f"load average {os.getloadavg()[0]:.1f} at the start")
    if args.only in (None, "convert"):
        path = baseline.converter(work, args.baseline) if args.baseline else None
        base = (args.baseline, path) if path else None
        results = [bench_store(args.build, work, n, args.runs, args.slow_runs,
                               n <= args.alternatives_up_to, base) for n in sizes]
        for result in results:
            print_store_table(result)
        store_goals(results, base)
    print()
    if args.only in (None, "cold"):
        disk_rows.bench_cold(args.build, work, sizes, max(1, args.runs // 2))
    if args.only in (None, "progress"):
        disk_rows.bench_first_progress(args.build, work, args.progress_size, args.runs)
    if args.only in (None, "verify"):
        disk_rows.bench_verify(args.build, work, min(sizes), args.runs)
    if args.only in (None, "memory"):
        bench_memory(args.build, work, [int(s) for s in args.memory_sizes.split(",")])
    if args.only in (None, "window"):
        bench_window(args.build, work, 20000 if 20000 in sizes else min(sizes), args.runs,
                     args.list_rows, args.progress_size)
    if args.only in (None, "imap"):
        import imap_upload
        imap_upload.bench_imap(args.build, store_of(work, args.imap_messages), args.slow_runs,
                               goal)
    print(f"\nGoals (ratios within this run; load average {os.getloadavg()[0]:.1f} at the end):\n")
    for text, met in GOALS:
        print(f"- {text}: {'ok' if met else 'MISSED'}")


if __name__ == "__main__":
    main()
