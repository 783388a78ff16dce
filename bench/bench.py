"""Times `brindle backup` against the same work done with coreutils, interleaved, on
the project's disk and on a tmpfs, and writes the table into bench/README.md.

Usage: bench.py BRINDLE [--pairs N] [--fixtures a,b] [--filesystems disk,tmpfs] [--quick]
"""

import argparse
import datetime
import json
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import fixtures

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
COREUTILS = os.path.join(HERE, "coreutils-backup.sh")
README = os.path.join(HERE, "README.md")
TIMED_FIXTURES = ["typical", "small-files", "large-files"]
RATIO_TARGET = 0.9
RSS_TARGET_MB = 25.0
FLAT_MARGIN_MB = 2.0


def filesystem_type(path):
    out = subprocess.run(["findmnt", "-n", "-o", "FSTYPE", "-T", path], capture_output=True, text=True, check=True)
    return out.stdout.split()[0]  # the innermost mount


def work_folder(kind):
    if kind == "tmpfs":
        base = "/dev/shm"
    else:
        base = os.path.join(REPO, "bench", ".work")
        os.makedirs(base, exist_ok=True)
    folder = tempfile.mkdtemp(prefix="brindle-bench-", dir=base)
    fs = filesystem_type(folder)
    if (kind == "tmpfs") != (fs == "tmpfs"):
        shutil.rmtree(folder)
        sys.exit(f"{folder} is on {fs}, not on the {kind} this run asked for")
    return folder, fs


class Setup:
    """One fixture on one file system: the home, and a backup root for each tool."""

    def __init__(self, brindle, fixture, kind):
        self.brindle = brindle
        self.folder, self.fs = work_folder(kind)
        self.home = os.path.join(self.folder, "home")
        fixtures.build(fixture, self.home)
        self.files, self.bytes = fixtures.size_of(self.home)
        self.config = os.path.join(self.folder, "config")
        self.runtime = os.path.join(self.folder, "runtime")
        os.makedirs(os.path.join(self.config, "Brindle"))
        os.makedirs(self.runtime, mode=0o700)
        self.brindle_root = os.path.join(self.folder, "brindle-root")
        self.coreutils_machine = os.path.join(self.folder, "coreutils-root", "machine")
        os.makedirs(self.coreutils_machine)
        settings = {
            "backupIntervalMinutes": 30,
            "destinationRootPath": self.brindle_root,
            "enabledItemIDs": ["agent-skills", "codex-agents", "codex-automations", "codex-config", "codex-rules",
                               "codex-skills"],
        }
        with open(os.path.join(self.config, "Brindle", "settings.json"), "w") as f:
            json.dump(settings, f)
        self.env = dict(os.environ, HOME=self.home, XDG_CONFIG_HOME=self.config, XDG_RUNTIME_DIR=self.runtime)
        self.day = datetime.date.today().isoformat()

    def brindle_command(self):
        return [self.brindle, "backup"]

    def coreutils_command(self):
        return ["bash", COREUTILS, self.home, self.coreutils_machine, self.day]

    def copied_files(self):
        """Files one run copies, from Brindle's own manifest: each is copied three times."""
        (machine,) = os.listdir(self.brindle_root)
        with open(os.path.join(self.brindle_root, machine, "latest", "manifest.json")) as f:
            manifest = json.load(f)
        return sum(item.get("fileCount", 0) for item in manifest["items"] if item["status"] == "copied")

    def remove(self):
        shutil.rmtree(self.folder, ignore_errors=True)


def settle(warm_bytes):
    """Puts both tools on the same footing before a timed run. Dirty pages are written
    back, as they are by the time a real run comes 30 minutes after the last. And this
    machine is a VM that hands freed memory back to its host: memory touched for the
    first time afterwards costs a fault in the host for every page, which would charge
    whichever tool needs more pages at its peak rather than measure the copying. So
    enough memory is touched and freed first that both start on backed memory."""
    os.sync()
    if warm_bytes:
        block = bytearray(b"\x01") * warm_bytes
        del block


def timed(command, env):
    """Wall seconds and peak resident memory (MB) of one run."""
    with tempfile.NamedTemporaryFile("r") as report:
        start = time.perf_counter()
        result = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report.name] + command, env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        seconds = time.perf_counter() - start
        if result.returncode != 0:
            sys.exit(f"{' '.join(command)} failed with status {result.returncode}: {result.stderr.strip()}")
        kilobytes = int(report.read().strip().splitlines()[-1])
    return seconds, kilobytes / 1024


def syscalls(command, env):
    with tempfile.NamedTemporaryFile("r") as report:
        subprocess.run(["strace", "-c", "-f", "-o", report.name] + command, env=env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        text = report.read()
    total = re.search(r"^100\.00\s+\S+\s+\S+\s+(\d+)", text, re.M) or re.search(r"\s(\d+)\s+(?:\d+\s+)?total$", text, re.M)
    return int(total.group(1))


def measure(brindle, fixture, kind, pairs, warm):
    setup = Setup(brindle, fixture, kind)
    try:
        warm_bytes = min(4 * 3 * setup.bytes + 512 * 1024 * 1024, 6 * 1024 ** 3) if warm else 0
        # Warm-up: both tools then start from an earlier backup, as a real run does.
        timed(setup.brindle_command(), setup.env)
        timed(setup.coreutils_command(), setup.env)
        ratios, rss = [], []
        brindle_times, coreutils_times = [], []
        for pair in range(pairs):
            order = ["brindle", "coreutils"] if pair % 2 == 0 else ["coreutils", "brindle"]
            seconds = {}
            for tool in order:
                settle(warm_bytes)
                command = setup.brindle_command() if tool == "brindle" else setup.coreutils_command()
                seconds[tool], peak = timed(command, setup.env)
                if tool == "brindle":
                    rss.append(peak)
            brindle_times.append(seconds["brindle"])
            coreutils_times.append(seconds["coreutils"])
            ratios.append(seconds["brindle"] / seconds["coreutils"])
        copies = 3 * setup.copied_files()
        return {
            "fixture": fixture if warm else fixture + ", unsettled", "fs": setup.fs, "kind": kind, "files": setup.files, "bytes": setup.bytes,
            "pairs": pairs, "median": statistics.median(ratios), "low": min(ratios), "high": max(ratios),
            "brindle_s": statistics.median(brindle_times), "coreutils_s": statistics.median(coreutils_times),
            "rss_mb": max(rss),
            "brindle_calls": syscalls(setup.brindle_command(), setup.env) / copies,
            "coreutils_calls": syscalls(setup.coreutils_command(), setup.env) / copies,
        }
    finally:
        setup.remove()


def peak_memory(brindle, fixture, kind):
    setup = Setup(brindle, fixture, kind)
    try:
        timed(setup.brindle_command(), setup.env)
        return setup.files, max(timed(setup.brindle_command(), setup.env)[1] for _ in range(3))
    finally:
        setup.remove()


def machine_description():
    model = "unknown CPU"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    memory = os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / 1024 ** 3
    return f"{os.cpu_count()} cores ({model}), {memory:.0f} GiB, Linux {platform.release()}"


def table(rows, memory, commit, warm):
    ok = lambda good: "yes" if good else "**no**"
    lines = [
        f"Measured {datetime.datetime.now(datetime.timezone.utc):%Y-%m-%d %H:%M} UTC on {machine_description()}, "
        f"brindle at commit {commit}; memory {'settled' if warm else 'not settled'} before each run"
        f"{' (except where the fixture says unsettled)' if warm else ''}.",
        "",
        "| fixture | file system | files | median ratio (min–max) | brindle / cp -a s | peak RSS MB | "
        "calls per copied file, brindle / cp -a | targets met |",
        "|---|---|---|---|---|---|---|---|",
    ]
    for r in rows:
        met = r["median"] <= RATIO_TARGET and r["rss_mb"] < RSS_TARGET_MB and r["brindle_calls"] <= r["coreutils_calls"]
        lines.append(
            f"| {r['fixture']} | {r['kind']} ({r['fs']}) | {r['files']:,} | {r['median']:.2f} "
            f"({r['low']:.2f}–{r['high']:.2f}, {r['pairs']} pairs) | {r['brindle_s']:.2f} / {r['coreutils_s']:.2f} | "
            f"{r['rss_mb']:.1f} | {r['brindle_calls']:.1f} / {r['coreutils_calls']:.1f} | {ok(met)} |")
    if memory:
        lines += ["", "Peak resident memory of one run as the tree grows (tmpfs):", "",
                  "| files | peak RSS MB |", "|---|---|"]
        lines += [f"| {files:,} | {mb:.1f} |" for files, mb in memory]
        spread = max(mb for _, mb in memory) - min(mb for _, mb in memory)
        lines += ["", f"Largest minus smallest: {spread:.1f} MB (flat when at most {FLAT_MARGIN_MB:.0f} MB): "
                      f"{ok(spread <= FLAT_MARGIN_MB and max(mb for _, mb in memory) < RSS_TARGET_MB)}."]
    return "\n".join(lines)


def write_readme(text):
    with open(README) as f:
        readme = f.read()
    begin, end = "<!-- results -->", "<!-- /results -->"
    if begin not in readme or end not in readme:
        sys.exit(f"{README} lacks the {begin} … {end} markers")
    head, rest = readme.split(begin, 1)
    _, tail = rest.split(end, 1)
    with open(README, "w") as f:
        f.write(head + begin + "\n" + text + "\n" + end + tail)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("brindle")
    parser.add_argument("--pairs", type=int, default=7)
    parser.add_argument("--fixtures", default=",".join(TIMED_FIXTURES))
    parser.add_argument("--filesystems", default="disk,tmpfs")
    parser.add_argument("--quick", action="store_true", help="three pairs, no memory-growth check, README untouched")
    parser.add_argument("--unsettled", action="store_true", help="skip the memory settling before each run")
    args = parser.parse_args()
    pairs = 3 if args.quick else args.pairs
    if pairs < 1:
        sys.exit("--pairs must be at least 1")
    for name in args.fixtures.split(","):
        if name not in TIMED_FIXTURES:
            sys.exit(f"unknown fixture {name!r}; choose from {', '.join(TIMED_FIXTURES)}")
    commit = subprocess.run(["git", "-C", REPO, "rev-parse", "--short", "HEAD"], capture_output=True,
                            text=True).stdout.strip() or "unknown"

    rows = []
    for kind in args.filesystems.split(","):
        if kind not in ("disk", "tmpfs"):
            sys.exit(f"unknown file system {kind!r}; choose disk or tmpfs")
        for name in args.fixtures.split(","):
            print(f"{name} on {kind} …", flush=True)
            row = measure(args.brindle, name, kind, pairs, warm=not args.unsettled)
            print(f"  ratio {row['median']:.2f} ({row['low']:.2f}–{row['high']:.2f}), "
                  f"{row['brindle_s']:.2f} s vs {row['coreutils_s']:.2f} s, RSS {row['rss_mb']:.1f} MB, "
                  f"calls/file {row['brindle_calls']:.1f} vs {row['coreutils_calls']:.1f}", flush=True)
            rows.append(row)
    if not args.quick and not args.unsettled:
        # The one fixture whose figures the VM's memory hand-back moves, measured as is.
        for kind in args.filesystems.split(","):
            if "large-files" in args.fixtures.split(","):
                print(f"large-files on {kind}, memory not settled …", flush=True)
                rows.append(measure(args.brindle, "large-files", kind, 5, warm=False))
                print(f"  ratio {rows[-1]['median']:.2f} ({rows[-1]['low']:.2f}–{rows[-1]['high']:.2f})", flush=True)
    memory = []
    if not args.quick:
        for name in ("typical", "small-files", "small-files-50k"):
            memory.append(peak_memory(args.brindle, name, "tmpfs"))
            print(f"  memory: {memory[-1][0]:,} files -> {memory[-1][1]:.1f} MB", flush=True)
    text = table(rows, memory, commit, warm=not args.unsettled)
    print(text)
    if not args.quick:
        write_readme(text)


if __name__ == "__main__":
    main()
