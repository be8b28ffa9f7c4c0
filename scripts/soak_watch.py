#!/usr/bin/env python3
"""The --watch soak run: korvane --watch plays a copy of a show off screen
while random saves land in it; the player must live through all of them
with its resident memory flat. See scripts/soak --watch.

    soak_watch.py MINUTES PLAYER SHOW
"""
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

LIMIT_KB = 4096  # growth allowed, second minute to last, on average


def good(script, rng):
    """The show with its colours and lengths changed, as an author edits."""
    text = re.sub(r"backgroundcolor \d+ \d+ \d+",
                  lambda m: "backgroundcolor %d %d %d" % tuple(
                      rng.randrange(256) for _ in range(3)), script)
    factor = rng.choice([1, 1, 2, 4])
    return re.sub(r"length (\d+)",
                  lambda m: "length %d" % (int(m.group(1)) * factor), text)


def broken(script, rng):
    """What a save can leave for a moment: nothing, half a file, no length."""
    kind = rng.randrange(4)
    if kind == 0:
        return ""
    if kind == 1:
        return script[:rng.randrange(len(script))]
    if kind == 2:
        return re.sub(r"length \d+", "length 0", script)
    return re.sub(r"length -?\d+", "", script)


def write(path, text, rng):
    if rng.random() < 0.5:
        with open(path, "w") as f:
            f.write(text)
    else:  # an editor's save: a new file renamed over the old one
        with open(path + ".tmp", "w") as f:
            f.write(text)
        os.replace(path + ".tmp", path)


def data_folder(root):
    for name in os.listdir(root):
        if name.lower() == "data" and os.path.isdir(os.path.join(root, name)):
            return os.path.join(root, name)
    return None


def swap(root, text, rng):
    """The Data folder replaced whole, its name in some case."""
    old = data_folder(root)
    new = os.path.join(root, "Data.new")
    shutil.copytree(old, new, ignore=shutil.ignore_patterns("debug.log"))
    with open(os.path.join(new, "mirl .script"), "w") as f:
        f.write(text)
    os.rename(old, os.path.join(root, "Data.old"))
    os.rename(new, os.path.join(root, rng.choice(["Data", "data", "DATA"])))
    shutil.rmtree(os.path.join(root, "Data.old"))


def rss_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def main():
    minutes, player, show = float(sys.argv[1]), sys.argv[2], sys.argv[3]
    rng = random.Random(7)
    work = tempfile.mkdtemp()
    root = os.path.join(work, "show")
    shutil.copytree(show, root, ignore=shutil.ignore_patterns("debug.log"))
    script = open(os.path.join(root, "Data", "mirl .script")).read()
    script = re.sub(r"resolution \d+ \d+", "resolution 320 240", script)
    write(os.path.join(root, "Data", "mirl .script"), script, rng)
    env = dict(os.environ)
    for key, value in (("SDL_VIDEODRIVER", "offscreen"),
                       ("SDL_AUDIODRIVER", "dummy"),
                       ("LIBGL_ALWAYS_SOFTWARE", "1")):
        env.setdefault(key, value)
    errors = open(os.path.join(work, "stderr.txt"), "w+")
    proc = subprocess.Popen([player, "--watch", root], env=env,
                            stdout=subprocess.DEVNULL, stderr=errors)
    start = time.time()
    end = start + minutes * 60
    readings, counts, failed = [], {"good": 0, "broken": 0, "swap": 0}, None
    next_reading = start
    try:
        while time.time() < end and failed is None:
            if proc.poll() is not None:
                failed = "the player exited (status %d)" % proc.returncode
                break
            if time.time() >= next_reading:
                readings.append((time.time() - start, rss_kb(proc.pid)))
                next_reading += 5
            path = os.path.join(data_folder(root) or root, "mirl .script")
            action = rng.random()
            if action < 0.45:
                write(path, good(script, rng), rng)
                counts["good"] += 1
            elif action < 0.85:
                write(path, broken(script, rng), rng)
                counts["broken"] += 1
            else:
                text = good(script, rng) if rng.random() < 0.7 \
                    else broken(script, rng)
                swap(root, text, rng)
                counts["swap"] += 1
            time.sleep(rng.uniform(0.05, 1.5))
        if failed is None:
            # A last good save must still be heard.
            write(os.path.join(data_folder(root), "mirl .script"), script, rng)
            time.sleep(3)
            if proc.poll() is not None:
                failed = "the player exited (status %d)" % proc.returncode
    finally:
        if proc.poll() is None:
            proc.send_signal(signal.SIGTERM)
            try:
                proc.wait(30)
            except subprocess.TimeoutExpired:
                proc.kill()
                failed = failed or "the player did not quit on SIGTERM"
        errors.seek(0)
        said = errors.read()
        shutil.rmtree(work, ignore_errors=True)
    print("%.1f minutes: %d good saves, %d broken ones, %d Data folders "
          "replaced" % ((time.time() - start) / 60, counts["good"],
                        counts["broken"], counts["swap"]))
    print("rejected reloads said: %d" % said.count("reload-rejected"))
    if failed is None and proc.returncode != 0:
        failed = "the player ended with status %d" % proc.returncode
    if failed:
        print("FAILED: " + failed)
        print("\n".join(said.splitlines()[-20:]))
        return 1
    base = [kb for t, kb in readings if 60 <= t < 120]
    last = [kb for t, kb in readings if t >= max(120, minutes * 60 - 60)]
    if not base or not last:
        print("the run is too short to judge the memory (3 minutes at least)")
        return 0
    growth = sum(last) / len(last) - sum(base) / len(base)
    print("second minute: %.0f kB on average; last minute: %.0f kB; growth "
          "%.0f kB (limit %d)" % (sum(base) / len(base),
                                 sum(last) / len(last), growth, LIMIT_KB))
    print("after the first minute the readings lay between %d and %d kB" % (
        min(kb for t, kb in readings if t >= 60),
        max(kb for t, kb in readings if t >= 60)))
    return 1 if growth > LIMIT_KB else 0


if __name__ == "__main__":
    sys.exit(main())
