"""Times `brindle backup` against the same work done with coreutils, interleaved, on
the project's disk and on a tmpfs, and writes the table into bench/README.md.

Usage: bench.py BRINDLE [--before OLD_BRINDLE] [--pairs N] [--fixtures a,b] [--filesystems disk,tmpfs] [--quick]
"""

import argparse
import datetime
import filecmp
import json
import os
import platform
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

import fixtures

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
WORK = os.path.join(HERE, ".work")  # gitignored; on the project's disk
STRACE_DIR = os.path.join(WORK, "strace")  # the strace -c reports, kept after a run
COREUTILS = os.path.join(HERE, "coreutils-backup.sh")
README = os.path.join(HERE, "README.md")
TIMED_FIXTURES = ["typical", "small-files", "large-files"]
RATIO_TARGET = 0.7
RSS_TARGET_MB = 25.0
FLAT_MARGIN_MB = 2.0
MiB = 1024 * 1024

# The six items and the relative paths Brindle leaves out of them (as in DefaultBackupItems).
ITEMS = [
    (".codex/automations", {".run-jitter-salt"}),
    (".codex/AGENTS.md", set()),
    (".codex/config.toml", set()),
    (".codex/rules", set()),
    (".codex/skills", {".system", "codex-primary-runtime"}),
    (".agents/skills", set()),
]


def filesystem_type(path):
    out = subprocess.run(["findmnt", "-n", "-o", "FSTYPE", "-T", path], capture_output=True, text=True, check=True)
    return out.stdout.split()[0]  # the innermost mount


def base_folder(kind):
    if kind == "tmpfs":
        return "/dev/shm"
    os.makedirs(WORK, exist_ok=True)
    return WORK


def check_space(kind, fixture):
    """Home, staging, latest and snapshot for two tools, with the old copies kept while
    Brindle replaces them: about eight times the fixture, plus room to spare."""
    base = base_folder(kind)
    needed = 8 * fixtures.ESTIMATED_BYTES[fixture] + 256 * MiB
    free = shutil.disk_usage(base).free
    if free < needed:
        sys.exit(f"{base} has {free / MiB:,.0f} MB free; {fixture} needs about {needed / MiB:,.0f} MB")


def work_folder(kind):
    folder = tempfile.mkdtemp(prefix="brindle-bench-", dir=base_folder(kind))
    fs = filesystem_type(folder)
    on_tmpfs = fs in ("tmpfs", "ramfs")
    if (kind == "tmpfs") != on_tmpfs:
        shutil.rmtree(folder)
        sys.exit(f"{folder} is on {fs}, not on the {kind} this run asked for")
    return folder, fs


def tree(root):
    """Relative path -> (kind, size) for everything under root."""
    entries = {}
    for folder, dirs, names in os.walk(root):
        for name in dirs + names:
            path = os.path.join(folder, name)
            st = os.lstat(path)
            kind = "dir" if os.path.isdir(path) and not os.path.islink(path) else "link" if os.path.islink(path) else "file"
            entries[os.path.relpath(path, root)] = (kind, 0 if kind == "dir" else st.st_size)
    return entries


class Setup:
    """One fixture on one file system: the home, and a backup root for each tool."""

    def __init__(self, brindle, fixture, kind, before=None):
        check_space(kind, fixture)
        self.brindle = brindle
        self.before = before
        self.fixture = fixture
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

    def command(self, tool):
        if tool == "brindle":
            return [self.brindle, "backup"]
        if tool == "before":
            # An earlier brindle that does not sync: durable only once sync has run.
            return ["sh", "-c", '"$0" backup && sync', self.before]
        return ["bash", COREUTILS, self.home, self.coreutils_machine, self.day]

    def item_files(self):
        """Files (and links) in the home's six items, less the excluded paths: what one run copies once."""
        count = 0
        for item, excluded in ITEMS:
            root = os.path.join(self.home, item)
            if not os.path.isdir(root):
                count += os.path.lexists(root)
                continue
            for folder, dirs, names in os.walk(root):
                rel = os.path.relpath(folder, root)
                dirs[:] = [d for d in dirs if os.path.normpath(os.path.join(rel, d)) not in excluded]
                count += sum(os.path.normpath(os.path.join(rel, n)) not in excluded for n in names)
        return count

    def brindle_machine(self):
        (machine,) = os.listdir(self.brindle_root)
        return os.path.join(self.brindle_root, machine)

    def check_same_work(self):
        """After the warm-up: both tools' latest and day snapshot hold the same tree and the
        same bytes (manifests aside), and Brindle's manifest counts the files counted here."""
        brindle = self.brindle_machine()
        for sub in ("latest", os.path.join("Snapshots", self.day)):
            a, b = os.path.join(brindle, sub), os.path.join(self.coreutils_machine, sub)
            ta, tb = tree(a), tree(b)
            ta.pop("manifest.json", None)
            tb.pop("manifest.json", None)
            if ta != tb:
                diff = sorted(set(ta.items()) ^ set(tb.items()))[:5]
                sys.exit(f"{self.fixture}: brindle's {sub} differs from coreutils': {diff}")
            files = [p for p, (k, _) in ta.items() if k == "file"]
            _, mismatch, errors = filecmp.cmpfiles(a, b, files, shallow=False)
            if mismatch or errors:
                sys.exit(f"{self.fixture}: brindle's {sub} has other bytes than coreutils' in {(mismatch + errors)[:5]}")
        with open(os.path.join(brindle, "latest", "manifest.json")) as f:
            manifest = json.load(f)
        counted = sum(item.get("fileCount", 0) for item in manifest["items"] if item["status"] == "copied")
        if counted != self.item_files():
            print(f"  note: brindle's manifest counts {counted} files, the home's items hold {self.item_files()}")

    def remove(self):
        shutil.rmtree(self.folder, ignore_errors=True)


def timed(command, env):
    """Wall seconds and peak resident memory (MB) of one run. Pending writes are flushed
    first (as they are by the time a real run comes 30 minutes after the last), so that
    neither tool pays for writing back the other's output."""
    os.sync()
    with tempfile.NamedTemporaryFile("r") as report:
        start = time.perf_counter()
        result = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report.name] + command, env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        seconds = time.perf_counter() - start
        if result.returncode != 0:
            sys.exit(f"{' '.join(command)} failed with status {result.returncode}: {result.stderr.strip()}")
        kilobytes = int(report.read().strip().splitlines()[-1])
    return seconds, kilobytes / 1024


def syscalls(command, env, report):
    """Total system calls of one run (all processes), and the most frequent calls."""
    os.sync()
    subprocess.run(["strace", "-c", "-f", "-o", report] + command, env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    total, calls = 0, []
    with open(report) as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 5 and re.fullmatch(r"[\d.]+", parts[0]) and parts[3].isdigit():
                if parts[-1] == "total":
                    total = int(parts[3])
                else:
                    calls.append((int(parts[3]), parts[-1]))
    return total, sorted(calls, reverse=True)[:6]


def durable_times(setup, gap, runs=3):
    """Median seconds from start to everything on the disk, for this brindle and for the
    earlier one (whose run is followed by sync), each on Brindle's own backup root."""
    result = {}
    for tool in ("before", "brindle"):
        times = []
        for _ in range(runs):
            time.sleep(gap)
            times.append(timed(setup.command(tool), setup.env)[0])
        result[tool] = statistics.median(times)
    return result


def measure(brindle, fixture, kind, pairs, gap, before=None):
    setup = Setup(brindle, fixture, kind, before)
    try:
        # Warm-up: both tools then start from an earlier backup (latest + today's snapshot).
        for tool in ("brindle", "coreutils"):
            timed(setup.command(tool), setup.env)
        setup.check_same_work()
        ratios, rss, times = [], [], {"brindle": [], "coreutils": []}
        for pair in range(pairs):
            order = ["brindle", "coreutils"] if pair % 2 == 0 else ["coreutils", "brindle"]
            seconds = {}
            for tool in order:
                time.sleep(gap)
                seconds[tool], peak = timed(setup.command(tool), setup.env)
                times[tool].append(seconds[tool])
                if tool == "brindle":
                    rss.append(peak)
            ratios.append(seconds["brindle"] / seconds["coreutils"])
        copies = 3 * setup.item_files()  # into staging, latest and the snapshot
        os.makedirs(STRACE_DIR, exist_ok=True)
        calls = {}
        for tool in ("brindle", "coreutils"):
            report = os.path.join(STRACE_DIR, f"{fixture}-{kind}-{tool}.txt")
            total, top = syscalls(setup.command(tool), setup.env, report)
            calls[tool] = (total / copies, top)
        durable = durable_times(setup, gap) if before else None
        return {
            "durable": durable,
            "fixture": fixture, "fs": setup.fs, "kind": kind, "files": setup.item_files(), "pairs": pairs,
            "median": statistics.median(ratios), "low": min(ratios), "high": max(ratios),
            "brindle_s": statistics.median(times["brindle"]), "coreutils_s": statistics.median(times["coreutils"]),
            "rss_mb": max(rss), "brindle_calls": calls["brindle"][0], "coreutils_calls": calls["coreutils"][0],
            "brindle_top": calls["brindle"][1], "coreutils_top": calls["coreutils"][1],
        }
    finally:
        setup.remove()


def peak_memory(brindle, fixture):
    """Brindle's highest peak RSS over three runs after a warm-up, on the tmpfs."""
    setup = Setup(brindle, fixture, "tmpfs")
    try:
        timed(setup.command("brindle"), setup.env)
        return setup.item_files(), max(timed(setup.command("brindle"), setup.env)[1] for _ in range(3))
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


def brindle_commit():
    git = ["git", "-C", REPO]
    # The last commit that changed the engine or the app, not a later commit to bench/.
    commit = subprocess.run(git + ["log", "-1", "--format=%h", "--", "BrindleCore", "BrindleApp", "CMakeLists.txt"],
                            capture_output=True, text=True).stdout.strip()
    dirty = subprocess.run(git + ["status", "--porcelain", "--", "BrindleCore", "BrindleApp", "CMakeLists.txt"],
                           capture_output=True, text=True).stdout.strip()
    return (commit or "unknown") + (" with uncommitted changes" if dirty else "")


def top_calls(top):
    return ", ".join(f"{name} {count:,}" for count, name in top)


def table(rows, memory, commit, disk_fs):
    ok = lambda good: "yes" if good else "**no**"
    lines = [
        f"Measured {datetime.datetime.now(datetime.timezone.utc):%Y-%m-%d %H:%M} UTC on {machine_description()}; "
        f"disk: {disk_fs}; brindle at commit {commit}.",
        "",
        "| fixture | file system | files copied ×3 | median ratio brindle/cp -a (min–max) | median s, brindle / cp -a "
        "| brindle peak RSS MB | calls per copied file, brindle / cp -a | ratio ≤ 0.7 | RSS < 25 MB | calls ≤ cp -a |",
        "|---|---|---|---|---|---|---|---|---|---|",
    ]
    for r in rows:
        lines.append(
            f"| {r['fixture']} | {r['kind']} ({r['fs']}) | {r['files']:,} | {r['median']:.2f} "
            f"({r['low']:.2f}–{r['high']:.2f}, {r['pairs']} pairs) | {r['brindle_s']:.2f} / {r['coreutils_s']:.2f} | "
            f"{r['rss_mb']:.1f} | {r['brindle_calls']:.1f} / {r['coreutils_calls']:.1f} | {ok(r['median'] <= RATIO_TARGET)} "
            f"| {ok(r['rss_mb'] < RSS_TARGET_MB)} | {ok(r['brindle_calls'] <= r['coreutils_calls'])} |")
    if any(r["durable"] for r in rows):
        lines += ["", "Seconds from start until the whole backup is on the disk, Brindle alone (median of three): "
                      "before, the earlier brindle followed by sync; after, this brindle, which syncs itself:", "",
                  "| fixture | file system | before (run + sync) | after |", "|---|---|---|---|"]
        lines += [f"| {r['fixture']} | {r['kind']} ({r['fs']}) | {r['durable']['before']:.2f} | {r['durable']['brindle']:.2f} |"
                  for r in rows if r["durable"]]
    if memory:
        lines += ["", "Brindle's peak resident memory as the tree grows (tmpfs, highest of three runs):", "",
                  "| fixture | files | peak RSS MB |", "|---|---|---|"]
        lines += [f"| {name} | {files:,} | {mb:.1f} |" for name, (files, mb) in memory.items()]
        growth = memory["small-files-50k"][1] - memory["typical"][1]
        lines += ["", f"50k files minus typical (≈2k files): {growth:+.1f} MB; flat (at most "
                      f"+{FLAT_MARGIN_MB:.0f} MB) and below {RSS_TARGET_MB:.0f} MB: "
                      f"{ok(growth <= FLAT_MARGIN_MB and max(mb for _, mb in memory.values()) < RSS_TARGET_MB)}."]
    lines += ["", "Most frequent system calls in the strace run (all processes):", ""]
    for r in rows:
        lines.append(f"- {r['fixture']}, {r['kind']}: brindle — {top_calls(r['brindle_top'])}; "
                     f"coreutils — {top_calls(r['coreutils_top'])}")
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
    parser.add_argument("--before", help="an earlier brindle, to time from start to durable against this one")
    parser.add_argument("--pairs", type=int, default=7, help="interleaved pairs per fixture (at least 5; default 7)")
    parser.add_argument("--fixtures", default=",".join(TIMED_FIXTURES), help="comma-separated; default all three")
    parser.add_argument("--filesystems", default="disk,tmpfs", help="disk, tmpfs or both (default)")
    parser.add_argument("--quick", action="store_true", help="three pairs, no 50k memory check, README untouched")
    parser.add_argument("--gap", type=float, default=10,
                        help="seconds to wait before each timed run, so that neither tool runs in the memory the "
                             "other has just freed (default 10; 0 runs them back to back)")
    args = parser.parse_args()
    pairs = 3 if args.quick else args.pairs
    if pairs < 5 and not args.quick:
        sys.exit("--pairs must be at least 5 (use --quick for a fast check)")
    names = args.fixtures.split(",")
    kinds = args.filesystems.split(",")
    for name in names:
        if name not in TIMED_FIXTURES:
            sys.exit(f"unknown fixture {name!r}; choose from {', '.join(TIMED_FIXTURES)}")
    for kind in kinds:
        if kind not in ("disk", "tmpfs"):
            sys.exit(f"unknown file system {kind!r}; choose disk or tmpfs")
    brindle = os.path.abspath(args.brindle)
    before = os.path.abspath(args.before) if args.before else None
    # A SIGTERM unwinds like Ctrl-C, so that the fixtures are removed.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped"))
    for kind in kinds:
        base = base_folder(kind)
        print(f"{kind}: {base} on {filesystem_type(base)}, {shutil.disk_usage(base).free / MiB:,.0f} MB free", flush=True)

    rows = []
    for kind in kinds:
        for name in names:
            print(f"{name} on {kind} …", flush=True)
            row = measure(brindle, name, kind, pairs, args.gap, before)
            print(f"  ratio {row['median']:.2f} ({row['low']:.2f}–{row['high']:.2f}), "
                  f"{row['brindle_s']:.2f} s vs {row['coreutils_s']:.2f} s, RSS {row['rss_mb']:.1f} MB, "
                  f"calls/file {row['brindle_calls']:.1f} vs {row['coreutils_calls']:.1f}", flush=True)
            rows.append(row)
    memory = {}
    if not args.quick:
        for name in ("typical", "small-files", "small-files-50k"):
            memory[name] = peak_memory(brindle, name)
            print(f"  memory: {name}, {memory[name][0]:,} files -> {memory[name][1]:.1f} MB", flush=True)
    disk_fs = filesystem_type(WORK) if "disk" in kinds else "not measured"
    text = table(rows, memory, brindle_commit(), disk_fs)
    if args.gap:
        text = text.replace("; brindle at commit", f"; {args.gap:g} s wait before each timed run; brindle at commit", 1)
    print(text)
    print(f"strace -c reports: {STRACE_DIR}")
    if not args.quick:
        write_readme(text)


if __name__ == "__main__":
    main()
