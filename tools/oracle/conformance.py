"""Korvane's frames against Direct3D 8's: a show rendered with a device
trace, the trace replayed on Wine's Direct3D 8, each frame compared; and
the reduction of a failing random show to the smallest that still fails."""

import copy
import json
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
import images  # noqa: E402
import randomshow  # noqa: E402

RENDER = os.path.join(ROOT, "build", "korvane-render")
INSPECT = os.path.join(ROOT, "build", "korvane-inspect")


class Failure(Exception):
    """Something could not be run: the build, the renderer, the oracle."""


def run(command, **kwargs):
    return subprocess.run(command, stdin=subprocess.DEVNULL,
                          capture_output=True, text=True, **kwargs)


def show_times(show, count):
    """`count` show times spread evenly over the show."""
    inspect = run([INSPECT, show])
    if inspect.returncode != 0:
        raise Failure("korvane-inspect cannot read " + show)
    parts = json.loads(inspect.stdout)["parts"]
    end = max((p["endtime"] for p in parts), default=0)
    if end <= 0:
        raise Failure(show + " has no parts")
    return [int((k + 0.5) * end / count) for k in range(count)]


def compare_show(show, times, work, keep_diffs_over=None, renderer="gl"):
    """[(time, per cent over 8, largest difference)] for each time, drawn
    by korvane-render --renderer `renderer`; the two frames and a
    difference picture of each frame over `keep_diffs_over` stay in
    `work`."""
    trace, ours, theirs = (os.path.join(work, d)
                           for d in ("trace", "korvane", "oracle"))
    shutil.rmtree(work, ignore_errors=True)
    render = run([RENDER, show, "--out", ours, "--at",
                  ",".join(str(t) for t in times), "--trace", trace,
                  "--renderer", renderer])
    if render.returncode != 0:
        raise Failure("korvane-render failed on %s:\n%s" %
                      (show, render.stderr))
    replay = run([os.path.join(HERE, "run"), trace, theirs])
    if replay.returncode != 0:
        raise Failure("the oracle failed on %s:\n%s" % (trace, replay.stderr))
    rows = []
    for index, ms in enumerate(sorted(times)):
        ours_png = os.path.join(ours, "at_%d.png" % ms)
        theirs_ppm = os.path.join(theirs, "frame_%04d.ppm" % index)
        if not os.path.isfile(ours_png) or not os.path.isfile(theirs_ppm):
            raise Failure("%s has no frame at %d ms" % (show, ms))
        oracle = images.read(theirs_ppm)
        share, largest, diff = images.compare(oracle, images.read(ours_png))
        if keep_diffs_over is not None and share > keep_diffs_over:
            images.write_png(os.path.join(work, "oracle_%d.png" % ms), oracle)
            images.write_png(os.path.join(work, "diff_%d.png" % ms), diff)
        rows.append((ms, share, largest))
    return rows


# ---------------------------------------------------------------- reduction

def _pieces(show):
    """Every show with one piece of `show` less, the larger pieces first."""
    def without(edit):
        smaller = copy.deepcopy(show)
        edit(smaller)
        return randomshow.keep_defined(smaller)
    failing = next(i for i, p in enumerate(show.parts) if p.times)
    for i in range(len(show.parts)):
        if i != failing:
            yield without(lambda s, i=i: s.parts.pop(i))
    for p, part in enumerate(show.parts):
        for l in range(len(part.layers)):
            yield without(lambda s, p=p, l=l: s.parts[p].layers.pop(l))
    for p, part in enumerate(show.parts):
        for l, layer in enumerate(part.layers):
            for field in ("shadows", "timeline", "blobs", "settings"):
                for k in range(len(getattr(layer, field))):
                    yield without(lambda s, p=p, l=l, f=field, k=k:
                                  getattr(s.parts[p].layers[l], f).pop(k))
            for k, item in enumerate(layer.timeline):
                if isinstance(item, tuple):
                    for j in range(len(item[3])):
                        yield without(lambda s, p=p, l=l, k=k, j=j:
                                      s.parts[p].layers[l].timeline[k][3].pop(j))
    for k, (keyword, _) in enumerate(show.settings):
        if keyword != "resolution":
            yield without(lambda s, k=k: s.settings.pop(k))


def reduce_show(show, work, assets, limit, budget=150, say=print,
                renderer="gl"):
    """The smallest show found, by dropping pieces one at a time, whose one
    compared frame still differs in more than `limit` per cent of its
    pixels. `show` compares at exactly one time."""
    folder = os.path.join(work, "show")
    tries = 0

    def fails(candidate):
        nonlocal tries
        tries += 1
        candidate.write(folder, assets)
        try:
            rows = compare_show(folder, candidate.times(),
                                os.path.join(work, "frames"),
                                renderer=renderer)
        except Failure:
            return False
        return rows[0][1] > limit

    # One pass over the pieces, again while a pass dropped any: a piece
    # that could go is dropped at once, and the next one takes its place.
    index, dropped = 0, False
    while tries < budget:
        pieces = list(_pieces(show))
        if index >= len(pieces):
            if not dropped:
                break
            index, dropped = 0, False
            continue
        if pieces[index].script() == show.script():
            index += 1  # the piece is one the show must keep
        elif fails(pieces[index]):
            show, dropped = pieces[index], True
        else:
            index += 1
    say("  reduced in %d tries" % tries)
    show.write(folder, assets)
    rows = compare_show(folder, show.times(), os.path.join(work, "frames"),
                        keep_diffs_over=-1, renderer=renderer)
    return show, rows[0]
