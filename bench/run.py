#!/usr/bin/env python3
"""Benchmarks Marrowgate against the floor and the alternatives a user would
reach for, on generated stores (bench/generate_store.py), and prints the
results as Markdown tables.

    bench/run.py [--build build/release] [--sizes 2000,20000] [--runs 5]
                 [--slow-runs 3] [--no-alternatives] [--only convert|memory|window]

Every figure that is judged is a ratio between programs measured in the same
run: this machine is shared and noisy, so absolute times mean little. Runs of
the programs are interleaved, after one warm-up run each, and the median is
reported.

  floor        bench/floor: reads every file once and appends its bytes to one
               file per folder, nothing parsed; the least any converter does
  marrowgate   the command-line converter
  python       bench/python_mailbox.py, the standard `mailbox` module
  formail      bench/formail.sh, procmail's formail for each message

Goals: Marrowgate within 1.5x the floor at 20,000 messages; 20x faster than
python and 10x faster than formail; time per message flat across store sizes;
peak resident memory under 64 MiB, also for a single 1 GiB message; the window
within 1.2x the command line; 200,000 paths added to the list in under 2 s.
"""
import argparse
import hashlib
import mailbox
import os
import re
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
MIB = 1024 * 1024


def run_measured(command, env=None):
    """Wall seconds and peak resident KiB of `command` and its children.

    The peak comes from GNU time: a child forked from this Python process
    would count Python's own pages until it execs. Data the previous program
    left to be written out is flushed first, so that no program pays for
    another's writeback."""
    os.sync()
    start = time.perf_counter()
    result = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, env=env)
    seconds = time.perf_counter() - start
    stderr = result.stderr.decode(errors="replace")
    if result.returncode != 0:
        sys.exit(f"{command[0]} failed:\n{stderr}")
    return seconds, int(stderr.strip().splitlines()[-1])


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


def store_of(work, count):
    """The generated store of `count` messages, made anew when the generator changed."""
    generator = os.path.join(HERE, "generate_store.py")
    with open(generator, "rb") as f:
        stamp = hashlib.sha256(f.read()).hexdigest()
    store = os.path.join(work, f"store-{count}")
    stamp_file = store + ".stamp"
    if not (os.path.isdir(store) and os.path.exists(stamp_file)
            and open(stamp_file).read() == stamp):
        shutil.rmtree(store, ignore_errors=True)
        print(f"generating {count} messages in {store} ...", file=sys.stderr)
        subprocess.run([sys.executable, generator, store, str(count)], check=True)
        with open(stamp_file, "w") as f:
            f.write(stamp)
    return store


def warm(store):
    for folder, _, files in os.walk(store):
        for name in files:
            with open(os.path.join(folder, name), "rb") as f:
                while f.read(1 << 20):
                    pass


def programs(build, with_alternatives):
    cli = os.path.join(build, "src/cli/marrowgate-convert")
    floor = os.path.join(build, "bench/floor/marrowgate-bench-floor")
    found = [("marrowgate", lambda s, o: [cli, "--quiet", "-o", o, s], False),
             ("floor", lambda s, o: [floor, s, o], False)]
    if with_alternatives:
        found.append(("python", lambda s, o: [sys.executable,
                                              os.path.join(HERE, "python_mailbox.py"), s, o], True))
        if shutil.which("formail"):
            found.append(("formail", lambda s, o: ["sh", os.path.join(HERE, "formail.sh"), s, o],
                          True))
        else:
            print("formail not found (Debian package procmail): skipped", file=sys.stderr)
    return found


def bench_store(build, work, count, runs, slow_runs, with_alternatives):
    store = store_of(work, count)
    size = tree_size(store)
    warm(store)
    tools = programs(build, with_alternatives)
    seconds = {name: [] for name, _, _ in tools}
    peak = {name: 0 for name, _, _ in tools}
    # Round 0 warms up and is not counted. The slow alternatives take minutes,
    # so they skip it: the page cache is already warm, and so is the disk.
    for round_ in range(runs + 1):
        for name, command, slow in tools:
            if slow and (round_ == 0 or round_ > slow_runs):
                continue
            out = os.path.join(work, f"out-{name}")
            shutil.rmtree(out, ignore_errors=True)
            wall, rss = run_measured(command(store, out))
            peak[name] = max(peak[name], rss)
            if round_ > 0:
                seconds[name].append(wall)
    rows = {}
    for name, _, _ in tools:
        out = os.path.join(work, f"out-{name}")
        median = statistics.median(seconds[name])
        # The floor writes bare files, not mailboxes: nothing to read back.
        read_back = None if name == "floor" else count_messages(out)
        shutil.rmtree(out, ignore_errors=True)
        rows[name] = dict(seconds=median, rss_kib=peak[name], read_back=read_back,
                          runs=len(seconds[name]))
    return dict(count=count, size=size, rows=rows)


def print_store_table(result):
    count, size, rows = result["count"], result["size"], result["rows"]
    ours = rows["marrowgate"]["seconds"]
    print(f"\n{count} messages, {size / 1e9:.2f} GB:\n")
    print("| program | wall (median) | messages/s | MB/s | peak RSS | time vs marrowgate "
          "| read back |")
    print("|---|---:|---:|---:|---:|---:|---:|")
    for name, row in rows.items():
        s = row["seconds"]
        back = "n/a" if row["read_back"] is None else f"{row['read_back']} of {count}"
        print(f"| {name} | {s:.2f} s | {count / s:,.0f} | {size / 1e6 / s:,.0f} | "
              f"{row['rss_kib'] / 1024:.1f} MiB | {s / ours:.2f} | {back} |")


def verdict(ok):
    return "ok" if ok else "MISSED"


def startup_seconds(build, work, runs):
    """The command line's time on a store of one small message: what every
    run pays once."""
    cli = os.path.join(build, "src/cli/marrowgate-convert")
    empty = os.path.join(work, "one-message")
    os.makedirs(empty, exist_ok=True)
    with open(os.path.join(empty, "one.eml"), "wb") as f:
        f.write(b"From: a@example.org\r\nDate: Mon, 5 Jul 2010 14:03:09 +0000\r\n\r\nHi\r\n")
    out = os.path.join(work, "out-one")
    times = []
    for _ in range(runs + 1):
        shutil.rmtree(out, ignore_errors=True)
        times.append(run_measured([cli, "--quiet", "-o", out, empty])[0])
    shutil.rmtree(out, ignore_errors=True)
    return statistics.median(times[1:])


def print_goals(results, startup):
    print("\nGoals (ratios within this run):\n")
    largest = max(results, key=lambda r: r["count"])
    rows = largest["rows"]
    ours = rows["marrowgate"]["seconds"]
    ratio = ours / rows["floor"]["seconds"]
    print(f"- marrowgate / floor at {largest['count']}: {ratio:.2f} (goal <= 1.5): "
          f"{verdict(ratio <= 1.5)}")
    for name, goal in (("python", 20), ("formail", 10)):
        if name in rows:
            speedup = rows[name]["seconds"] / ours
            print(f"- {name} / marrowgate at {largest['count']}: {speedup:.1f}x "
                  f"(goal >= {goal}x): {verdict(speedup >= goal)}")
    # Net of the start-up every run pays once, which would otherwise weigh on
    # the small store's figure alone. The floor's time per message is shown
    # beside it: past some GB the machine itself slows down (the written data
    # no longer waits in memory), and what is Marrowgate's own is the ratio.
    if len(results) > 1:
        ours = {}
        for r in sorted(results, key=lambda r: r["count"]):
            n = r["count"]
            us = (r["rows"]["marrowgate"]["seconds"] - startup) / n * 1e6
            floor_us = r["rows"]["floor"]["seconds"] / n * 1e6
            ours[n] = us / floor_us
            print(f"- time per message at {n}: marrowgate {us:.1f} us (less the start-up of "
                  f"{startup * 1e3:.0f} ms), floor {floor_us:.1f} us, ratio {ours[n]:.2f}")
        spread = max(ours.values()) / min(ours.values())
        print(f"- time per message against the floor's, largest / smallest across sizes: "
              f"{spread:.2f} (goal: flat, <= 1.3): {verdict(spread <= 1.3)}")
    for result in results:
        for name, row in result["rows"].items():
            if row["read_back"] is not None and row["read_back"] != result["count"]:
                print(f"- {name} at {result['count']}: Python reads back {row['read_back']} "
                      f"messages, not {result['count']}")
    worst = max(r["rows"]["marrowgate"]["rss_kib"] for r in results)
    print(f"- marrowgate peak RSS on the stores: {worst / 1024:.1f} MiB (goal < 64 MiB): "
          f"{verdict(worst < 64 * 1024)}")


def bench_memory(build, work):
    cli = os.path.join(build, "src/cli/marrowgate-convert")
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
    seconds, rss = run_measured([cli, "--quiet", "-o", out, store])
    shutil.rmtree(out, ignore_errors=True)
    print(f"- a single 1 GiB message: {seconds:.2f} s, peak RSS {rss / 1024:.1f} MiB "
          f"(goal < 64 MiB): {verdict(rss < 64 * 1024)}")


def bench_window(build, work, count, runs):
    tool = os.path.join(build, "src/app/marrowgate-window-bench")
    if not os.path.exists(tool):
        print("- window: skipped (the window was not built)")
        return
    store = store_of(work, count)
    cli = os.path.join(build, "src/cli/marrowgate-convert")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    window_times, cli_times = [], []
    for round_ in range(runs + 1):
        out = os.path.join(work, "out-window")
        shutil.rmtree(out, ignore_errors=True)
        os.sync()
        text = subprocess.run([tool, "convert", store, out], check=True, capture_output=True,
                              text=True, env=env).stdout
        window = float(re.search(r"window_convert_seconds ([\d.]+)", text).group(1))
        shutil.rmtree(out, ignore_errors=True)
        cli_seconds, _ = run_measured([cli, "--quiet", "-o", out, store])
        if round_ > 0:
            window_times.append(window)
            cli_times.append(cli_seconds)
    shutil.rmtree(out, ignore_errors=True)
    ratio = statistics.median(window_times) / statistics.median(cli_times)
    print(f"- window (offscreen) at {count}: {statistics.median(window_times):.2f} s against the "
          f"command line's {statistics.median(cli_times):.2f} s, ratio {ratio:.2f} (goal <= 1.2): "
          f"{verdict(ratio <= 1.2)}")
    text = subprocess.run([tool, "add-paths", "200000"], check=True, capture_output=True,
                          text=True, env=env).stdout
    total = float(re.search(r"add_paths_seconds ([\d.]+)", text).group(1))
    print(f"- window list: {' '.join(text.split())} (goal < 2 s): {verdict(total < 2)}")


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default="build/release")
    parser.add_argument("--sizes", default="2000,20000",
                        help="store sizes in messages, e.g. 2000,20000,100000")
    parser.add_argument("--runs", type=int, default=5, help="counted runs of the fast programs")
    parser.add_argument("--slow-runs", type=int, default=3,
                        help="runs of python and formail (at least 1)")
    parser.add_argument("--no-alternatives", action="store_true",
                        help="leave out python and formail")
    parser.add_argument("--only", choices=["convert", "memory", "window"])
    args = parser.parse_args()
    work = os.path.join(HERE, "work")
    os.makedirs(work, exist_ok=True)
    sizes = [int(s) for s in args.sizes.split(",")]
    if args.only in (None, "convert"):
        results = [bench_store(args.build, work, n, args.runs, args.slow_runs,
                               not args.no_alternatives) for n in sizes]
        for result in results:
            print_store_table(result)
        print_goals(results, startup_seconds(args.build, work, args.runs))
    else:
        print()
    if args.only in (None, "memory"):
        bench_memory(args.build, work)
    if args.only in (None, "window"):
        bench_window(args.build, work, 20000 if 20000 in sizes else max(sizes), args.runs)


if __name__ == "__main__":
    main()
