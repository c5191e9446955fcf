#!/usr/bin/env python3
"""Benchmarks, reported as ratios measured in one run (this machine is shared
and noisy, so absolute times mean little):

  convert   the CLI on a 20,000-message store, against copying the same
            files with cp (the floor any converter pays for the I/O)
  memory    peak resident memory converting a single 1 GiB message
            (goal: under 64 MiB)
  window    the window converting the same store offscreen, against the CLI
            (goal: at most 1.2 times the CLI's time)
  list      adding 200,000 paths to the window's list (goal: linear)
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def timed(command, **kwargs):
    start = time.perf_counter()
    subprocess.run(command, check=True, **kwargs)
    return time.perf_counter() - start


def best_of(runs, setup, command):
    times = []
    for _ in range(runs):
        setup()
        times.append(timed(command, stdout=subprocess.DEVNULL))
    return min(times)


def store_of(work, count):
    store = os.path.join(work, f"store-{count}")
    if not os.path.isdir(store):
        subprocess.run([sys.executable, os.path.join(HERE, "generate_store.py"), store,
                        str(count)], check=True)
    return store


def bench_convert(build, work, count, runs):
    cli = os.path.join(build, "src/cli/marrowgate-convert")
    store = store_of(work, count)
    out = os.path.join(work, "out")
    size = sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(store) for f in fs)
    clear = lambda: shutil.rmtree(out, ignore_errors=True)
    copy = best_of(runs, clear, ["cp", "-r", store, out])
    convert = best_of(runs, clear, [cli, "--quiet", "-o", out, store])
    print(f"convert: {count} messages, {size / 1e6:.0f} MB: cli {convert:.2f} s "
          f"({count / convert:.0f} msg/s, {size / 1e6 / convert:.0f} MB/s), cp -r {copy:.2f} s, "
          f"ratio cli/cp {convert / copy:.2f}")
    return convert


def bench_memory(build, work):
    cli = os.path.join(build, "src/cli/marrowgate-convert")
    store = os.path.join(work, "huge")
    path = os.path.join(store, "huge.eml")
    if not os.path.exists(path):
        os.makedirs(store, exist_ok=True)
        line = b"x" * 76 + b"\r\n"
        block = line * (1 << 20 // len(line) + 1)
        with open(path, "wb") as f:
            f.write(b"From: big@example.org\r\nSubject: 1 GiB\r\n\r\n")
            while f.tell() < 1 << 30:
                f.write(block)
    out = os.path.join(work, "out-huge")
    shutil.rmtree(out, ignore_errors=True)
    result = subprocess.run(["/usr/bin/time", "-f", "%M", cli, "--quiet", "-o", out, store],
                            check=True, capture_output=True, text=True)
    peak_kib = int(result.stderr.strip().splitlines()[-1])
    shutil.rmtree(out, ignore_errors=True)
    verdict = "ok" if peak_kib < 64 * 1024 else "OVER GOAL"
    print(f"memory: 1 GiB message, peak resident {peak_kib / 1024:.1f} MiB (goal < 64 MiB): {verdict}")


def bench_window(build, work, count, cli_seconds, runs):
    tool = os.path.join(build, "src/app/marrowgate-window-bench")
    if not os.path.exists(tool):
        print("window: skipped (the window was not built)")
        return
    store = store_of(work, count)
    out = os.path.join(work, "out")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    times = []
    for _ in range(runs):
        shutil.rmtree(out, ignore_errors=True)
        text = subprocess.run([tool, "convert", store, out], check=True, capture_output=True,
                              text=True, env=env).stdout
        times.append(float(re.search(r"window_convert_seconds ([\d.]+)", text).group(1)))
    window = min(times)
    ratio = window / cli_seconds
    print(f"window: {window:.2f} s against the cli's {cli_seconds:.2f} s, ratio {ratio:.2f} "
          f"(goal <= 1.2): {'ok' if ratio <= 1.2 else 'OVER GOAL'}")
    text = subprocess.run([tool, "add-paths", "200000"], check=True, capture_output=True,
                          text=True, env=env).stdout
    print("list: " + " ".join(text.split()))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build/release")
    parser.add_argument("--count", type=int, default=20000)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--only", choices=["convert", "memory", "window"])
    args = parser.parse_args()
    work = os.path.join(HERE, "work")
    os.makedirs(work, exist_ok=True)
    if args.only in (None, "convert", "window"):
        cli_seconds = bench_convert(args.build, work, args.count, args.runs)
    if args.only in (None, "memory"):
        bench_memory(args.build, work)
    if args.only in (None, "window"):
        bench_window(args.build, work, args.count, cli_seconds, args.runs)


if __name__ == "__main__":
    main()
