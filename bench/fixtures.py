"""Builds the agent homes the benchmark backs up. Content is seeded, so every run of
the benchmark copies the same bytes."""

import os
import random

KiB = 1024
MiB = 1024 * KiB


def _write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def _text(rng, size):
    words = [b"skill", b"agent", b"rule", b"when", b"the", b"user", b"asks", b"run", b"tests", b"file"]
    out = bytearray()
    while len(out) < size:
        out += rng.choice(words) + (b"\n" if rng.random() < 0.1 else b" ")
    return bytes(out[:size])


def typical(home):
    """About 2,000 files and 30 MB: what a busy agent setup holds."""
    rng = random.Random(1)
    codex = os.path.join(home, ".codex")
    _write(os.path.join(codex, "AGENTS.md"), _text(rng, 6 * KiB))
    _write(os.path.join(codex, "config.toml"), _text(rng, 2 * KiB))
    for i in range(40):
        _write(os.path.join(codex, "automations", f"job-{i:02}", "automation.toml"), _text(rng, 1 * KiB))
        _write(os.path.join(codex, "automations", f"job-{i:02}", "prompt.md"), _text(rng, 3 * KiB))
    _write(os.path.join(codex, "automations", ".run-jitter-salt"), rng.randbytes(32))
    for i in range(30):
        _write(os.path.join(codex, "rules", f"rule-{i:02}.rules"), _text(rng, 2 * KiB))
    # Sixty skills, split between the agent's own and the shared folder.
    for i in range(60):
        base = os.path.join(codex, "skills") if i < 40 else os.path.join(home, ".agents", "skills")
        skill = os.path.join(base, f"skill-{i:02}")
        _write(os.path.join(skill, "SKILL.md"), _text(rng, 4 * KiB))
        for r in range(16):
            _write(os.path.join(skill, "references", f"ref-{r:02}.md"), _text(rng, rng.randint(1, 12) * KiB))
        for s in range(12):
            _write(os.path.join(skill, "scripts", f"tool-{s:02}.py"), _text(rng, rng.randint(1, 6) * KiB))
        if i % 6 == 0:
            _write(os.path.join(skill, "assets", "model.bin"), rng.randbytes(2 * MiB))
            _write(os.path.join(skill, "assets", "icon.png"), rng.randbytes(64 * KiB))
    # Excluded folders, so that skipping them is part of the work.
    for i in range(50):
        _write(os.path.join(codex, "skills", ".system", f"internal-{i:02}.md"), _text(rng, 4 * KiB))
        _write(os.path.join(codex, "skills", "codex-primary-runtime", f"rt-{i:02}.md"), _text(rng, 4 * KiB))


def small_files(home, count=5000):
    """`count` files of 1 KiB in nested folders."""
    rng = random.Random(2)
    skills = os.path.join(home, ".codex", "skills")
    per_folder = 25
    for i in range(count):
        folder = i // per_folder
        path = os.path.join(skills, f"s{folder // 20:03}", f"part-{folder % 20:02}", f"file-{i:06}.md")
        _write(path, rng.randbytes(1 * KiB))
    _write(os.path.join(home, ".codex", "AGENTS.md"), _text(rng, 2 * KiB))


def large_files(home):
    """A dozen files of 40 MiB."""
    rng = random.Random(3)
    block = rng.randbytes(1 * MiB)
    for i in range(12):
        base = os.path.join(home, ".codex", "skills") if i < 8 else os.path.join(home, ".agents", "skills")
        path = os.path.join(base, f"assets-{i % 4}", f"weights-{i:02}.bin")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            for b in range(40):
                # Every MiB different, so that no file system can share blocks.
                f.write(bytes([i, b]) + block[2:])
    _write(os.path.join(home, ".codex", "AGENTS.md"), _text(rng, 2 * KiB))


FIXTURES = {
    "typical": typical,
    "small-files": small_files,
    "large-files": large_files,
    "small-files-50k": lambda home: small_files(home, 50000),
}


# Rough size on disk of each home, for the free-space check before it is built.
ESTIMATED_BYTES = {
    "typical": 40 * MiB,
    "small-files": 25 * MiB,
    "large-files": 490 * MiB,
    "small-files-50k": 250 * MiB,
}


def build(name, home):
    FIXTURES[name](home)


def size_of(home):
    files = total = 0
    for folder, _, names in os.walk(home):
        for name in names:
            files += 1
            total += os.lstat(os.path.join(folder, name)).st_size
    return files, total
