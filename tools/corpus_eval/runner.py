"""Runs vantrel-read over every picture of a corpus at four rotations and tallies
what it read against the expectations, folder by folder."""

from __future__ import annotations

import argparse
import concurrent.futures
import csv
import dataclasses
import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

from . import compare
from .compare import CHARSET, CONVENTION, FALSE_POSITIVE, MATCHED, MISREAD, MISS, READ

ROTATIONS = (0, 90, 180, 270)
TOOLS_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PROJECT_DIR = os.path.dirname(TOOLS_DIR)
THOROUGH_SETTINGS = os.path.join(TOOLS_DIR, "corpus-thorough.ini")

KIND_OF = {s: "barcode" for s in compare.ONE_D}
KIND_OF.update({"QR": "qr", "DATAMATRIX": "datamatrix", "NONE": "all"})


@dataclasses.dataclass(frozen=True)
class Picture:
    folder: str
    image: str          # relative to the corpus
    symbology: str
    expected: str       # relative to the corpus, '' for NONE
    pixels: int

    @property
    def kind(self) -> str:
        if self.folder.startswith("falsepositives") or self.symbology == "NONE":
            return "all"
        return KIND_OF[self.symbology]


@dataclasses.dataclass(frozen=True)
class Run:
    name: str           # key in the baseline file
    label: str          # what the tables say
    settings: str | None
    peer: str = ""      # a peer reader's name (read through vantrel-bench --peer-read); '' for ours


@dataclasses.dataclass
class Outcome:
    run: str
    picture: Picture
    rotation: int
    outcome: str = MISS
    note: str = ""
    got_hex: str | None = None
    got_text: str | None = None
    symbology: str = ""  # what the reader said it read
    ms: float | None = None
    timeout: bool = False
    error: str = ""      # the picture could not be read
    crash: str = ""      # the reader died


class UsageError(Exception):
    pass


def read_manifest(corpus: str) -> list:
    path = os.path.join(corpus, "manifest.tsv")
    if not os.path.isfile(path):
        raise UsageError("%s: no manifest.tsv (is this a corpus folder?)" % corpus)
    pictures = []
    with open(path, encoding="utf-8", newline="") as f:
        rows = csv.DictReader(f, delimiter="\t", quoting=csv.QUOTE_NONE)
        missing = {"folder", "image", "symbology", "expected"} - set(rows.fieldnames or ())
        if missing:
            raise UsageError("%s: manifest lacks the column(s) %s" % (path, ", ".join(sorted(missing))))
        for row in rows:
            sym = row["symbology"].strip()
            if sym not in compare.SYMBOLOGIES:
                raise UsageError("%s: unknown symbology %r for %s" % (path, sym, row["image"]))
            if sym != "NONE" and not row["expected"]:
                raise UsageError("%s: %s has no expected content" % (path, row["image"]))
            try:
                pixels = int(row.get("width") or 0) * int(row.get("height") or 0)
            except ValueError:
                pixels = 0
            pictures.append(Picture(row["folder"], row["image"], sym, row["expected"] or "", pixels))
    if not pictures:
        raise UsageError("%s: the manifest lists no picture" % path)
    return pictures


def _crash_name(p) -> str:
    try:
        name = signal.Signals(-p.returncode).name
    except ValueError:
        name = "signal %d" % -p.returncode
    return name + (": " + p.stderr.decode("utf-8", "replace").strip()[-300:] if p.stderr else "")


def _json_lines(p) -> list:
    objs = []
    for line in p.stdout.decode("utf-8", "replace").splitlines():
        try:
            obj = json.loads(line)
        except json.JSONDecodeError:
            continue
        if isinstance(obj, dict):
            objs.append(obj)
    return objs


def read_once(programs: dict, corpus: str, pic: Picture, rotation: int, group: tuple, timeout: float,
              cwd: str) -> dict:
    """One reader process for the runs of the group: per run name, the JSON
    object of its read, or a dict saying why there is none."""
    path = os.path.join(corpus, pic.image)
    peers = bool(group[0].peer)
    if peers:
        cmd = [programs["bench"], "--peer-read=" + pic.kind]
        if rotation:
            cmd.append("--peer-rotate=%d" % rotation)
        cmd.append(path)
    else:
        cmd = [programs["read"], "--json", "--kind", pic.kind]
        if rotation:
            cmd += ["--rotate", str(rotation)]
        if group[0].settings:
            cmd += ["--settings", group[0].settings]
        cmd += ["--", path]
    try:
        p = subprocess.run(cmd, capture_output=True, timeout=timeout, cwd=cwd)
    except subprocess.TimeoutExpired:
        return {run.name: {"timeout": True} for run in group}
    objs = _json_lines(p)
    if peers:
        by_reader = {}
        for o in objs:
            by_reader.setdefault(o.get("reader"), []).append(o)
        out = {}
        for run in group:
            if run.peer == "zbar" and pic.kind == "datamatrix":
                out[run.name] = {"skip": True}  # ZBar reads no Data Matrix
            elif run.peer in by_reader:
                out[run.name] = _picture_reading(by_reader[run.peer])
            elif objs and "error" in objs[-1]:
                out[run.name] = {"error": objs[-1]["error"]}
            elif p.returncode < 0:
                out[run.name] = {"crash": _crash_name(p)}
            else:
                out[run.name] = {"error": p.stderr.decode("utf-8", "replace").strip()
                                 or "no line from %s (exit status %d)" % (run.peer, p.returncode)}
        return out
    run = group[0]
    if p.returncode < 0:
        return {run.name: {"crash": _crash_name(p)}}
    if not objs:
        msg = p.stderr.decode("utf-8", "replace").strip() or "no JSON line (exit status %d)" % p.returncode
        return {run.name: {"error": msg}}
    unreadable = [o for o in objs if o.get("status") is None]
    if unreadable:
        return {run.name: {"error": unreadable[0].get("error") or p.stderr.decode("utf-8", "replace").strip()
                           or "unreadable"}}
    return {run.name: _picture_reading(objs)}


def _picture_reading(objs: list) -> dict:
    """One picture's reading from a reader's JSON lines for it: a line per code
    found, in the reader's order, or a single line saying why none was."""
    if any(o.get("error") for o in objs):
        return {"error": next(o["error"] for o in objs if o.get("error"))}
    codes = [o for o in objs if o.get("ok")]
    return {"ok": bool(codes), "ms": objs[0].get("ms"), "codes": codes}


def judge(corpus: str, run: Run, pic: Picture, rotation: int, obj: dict, expectations: dict) -> Outcome | None:
    if obj.get("skip"):
        return None
    o = Outcome(run.name, pic, rotation)
    if obj.get("timeout"):
        o.timeout = True
        return o
    if obj.get("crash"):
        o.crash = obj["crash"]
        return o
    if obj.get("error"):
        o.error = obj["error"]
        return o
    ms = obj.get("ms")
    o.ms = float(ms) if isinstance(ms, (int, float)) else None
    codes = obj.get("codes") or []
    if not codes:
        return o
    # Any code on a picture without one is a false positive; on any other
    # picture the code that matches the expectation, if one does, speaks for it.
    chosen = 0
    if pic.symbology == "NONE":
        o.outcome = FALSE_POSITIVE
    else:
        exp = expectations.get(pic.expected)
        if exp is None:
            exp = expectations[pic.expected] = compare.load_expectation(corpus, pic.expected)
        read = [(bytes.fromhex(c.get("bytes_hex") or ""), c.get("text")) for c in codes]
        o.outcome, o.note, chosen = compare.classify_codes(pic.symbology, exp, read)
    o.got_hex = codes[chosen].get("bytes_hex") or ""
    o.got_text = codes[chosen].get("text")
    o.symbology = codes[chosen].get("symbology") or "?"
    return o


class Progress:
    def __init__(self, total: int, stream=sys.stderr):
        self.total, self.done, self.stream = total, 0, stream
        self.tty = hasattr(stream, "isatty") and stream.isatty()
        self.start = time.monotonic()
        self.next_line = 0

    def step(self, note: str = "") -> None:
        self.done += 1
        elapsed = time.monotonic() - self.start
        if self.tty:
            eta = elapsed / self.done * (self.total - self.done)
            self.stream.write("\rcorpus-eval: %d/%d reads, %.0f s, about %.0f s left %s\x1b[K"
                              % (self.done, self.total, elapsed, eta, note))
            if self.done == self.total:
                self.stream.write("\n")
            self.stream.flush()
        elif self.done >= self.next_line or self.done == self.total:
            self.stream.write("corpus-eval: %d/%d reads, %.0f s\n" % (self.done, self.total, elapsed))
            self.stream.flush()
            self.next_line = self.done + max(1, self.total // 10)

    def say(self, text: str) -> None:
        if self.tty:
            self.stream.write("\r\x1b[K")
        self.stream.write("corpus-eval: " + text + "\n")
        self.stream.flush()


def groups_of(runs: list) -> list:
    """Runs that one reader process serves: each of ours alone, the peers together."""
    ours = [(run,) for run in runs if not run.peer]
    peers = tuple(run for run in runs if run.peer)
    return ours + ([peers] if peers else [])


def run_all(programs: dict, corpus: str, pictures: list, runs: list, jobs: int, timeout: float,
            progress: Progress) -> tuple:
    """Every read's outcomes, and the names of any files the readers left in
    their working folder (they must leave none)."""
    expectations = {}
    work = [(group, pic, rot) for group in groups_of(runs) for pic in pictures for rot in ROTATIONS]
    # The largest pictures first, so that the slowest reads do not trail at the end.
    order = sorted(range(len(work)), key=lambda i: -work[i][1].pixels)
    results = [[] for _ in work]
    # The readers run in an empty folder of their own: nothing they find there
    # can change a read, and whatever they leave behind shows.
    cwd = tempfile.mkdtemp(prefix="corpus-eval-")
    litter = []
    try:
        with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
            futures = {pool.submit(read_once, programs, corpus, work[i][1], work[i][2], work[i][0], timeout, cwd): i
                       for i in order}
            try:
                for fut in concurrent.futures.as_completed(futures):
                    i = futures[fut]
                    group, pic, rot = work[i]
                    objs = fut.result()
                    for run in group:
                        o = judge(corpus, run, pic, rot, objs[run.name], expectations)
                        if o is None:
                            continue
                        results[i].append(o)
                        if o.timeout:
                            progress.say("%s: %s at %d degrees took longer than %g s: counted as a miss"
                                         % (run.name, pic.image, rot, timeout))
                        if o.crash:
                            progress.say("%s: %s at %d degrees: the reader crashed (%s)"
                                         % (run.name, pic.image, rot, o.crash))
                    progress.step()
            except KeyboardInterrupt:
                for fut in futures:
                    fut.cancel()
                raise
        litter = sorted(os.listdir(cwd))
    finally:
        shutil.rmtree(cwd, ignore_errors=True)
    return [o for batch in results for o in batch], litter


@dataclasses.dataclass
class Tally:
    pictures: int = 0
    read: dict = dataclasses.field(default_factory=lambda: {r: 0 for r in ROTATIONS})
    convention: int = 0
    charset: int = 0
    misreads: int = 0
    false_positives: int = 0
    timeouts: int = 0
    errors: int = 0
    crashes: int = 0
    ms: list = dataclasses.field(default_factory=list)

    def add(self, o: Outcome) -> None:
        if o.outcome in MATCHED:
            self.read[o.rotation] += 1
        self.convention += o.outcome == CONVENTION
        self.charset += o.outcome == CHARSET
        self.misreads += o.outcome == MISREAD
        self.false_positives += o.outcome == FALSE_POSITIVE
        self.timeouts += o.timeout
        self.errors += bool(o.error)
        self.crashes += bool(o.crash)
        if o.ms is not None:
            self.ms.append(o.ms)

    @property
    def reads(self) -> int:
        return sum(self.read.values())

    def median_ms(self) -> str:
        return "%.1f" % statistics.median(self.ms) if self.ms else "-"


def tally(results: list, run: Run) -> tuple:
    """Folder tallies in manifest order and symbology tallies."""
    folders, symbologies = {}, {}
    seen = set()
    for o in results:
        if o.run != run.name:
            continue
        key = o.picture.folder
        t = folders.setdefault(key, Tally())
        s = symbologies.setdefault(o.picture.symbology, Tally())
        if (o.picture.image) not in seen:
            seen.add(o.picture.image)
            t.pictures += 1
            s.pictures += 1
        t.add(o)
        s.add(o)
    return folders, symbologies


def percent(n: int, d: int) -> str:
    return "%.0f%%" % (100.0 * n / d) if d else "-"


def symbology_totals(symbologies: dict) -> str:
    parts = []
    for sym in compare.SYMBOLOGIES:
        s = symbologies.get(sym)
        if not s:
            continue
        tries = 4 * s.pictures
        if sym == "NONE":
            parts.append("no code: %d false positive(s) in %d" % (s.false_positives, tries))
            continue
        extra = []
        if s.convention:
            extra.append("%d by convention" % s.convention)
        if s.charset:
            extra.append("%d charset" % s.charset)
        if s.misreads:
            extra.append("%d misread" % s.misreads)
        parts.append("%s %d/%d %s%s" % (sym, s.reads, tries, percent(s.reads, tries),
                                       " (" + ", ".join(extra) + ")" if extra else ""))
    return "; ".join(parts)


def print_run(run: Run, results: list, corpus: str, details: bool, out) -> tuple:
    folders, symbologies = tally(results, run)
    w = max(len("folder"), max(len(f) for f in folders))
    out.write("\n== %s ==\n" % run.label)
    out.write("%-*s  pics  read@0  @90 @180 @270  conv  cset  misrd  fpos  tmout  ms(med)\n" % (w, "folder"))
    for folder, t in folders.items():
        out.write("%-*s  %4d  %6d %4d %4d %4d  %4d  %4d  %5d  %4d  %5d  %7s\n"
                  % (w, folder, t.pictures, t.read[0], t.read[90], t.read[180], t.read[270],
                     t.convention, t.charset, t.misreads, t.false_positives, t.timeouts, t.median_ms()))

    def grouped(pred):
        """(picture, outcome, note, text read) -> rotations, in manifest order."""
        groups = {}
        for o in results:
            if o.run == run.name and pred(o):
                groups.setdefault((o.picture, o.outcome, o.note, o.got_text, o.symbology), []).append(o.rotation)
        return groups

    def rots(r):
        return "at " + " ".join("%d" % x for x in sorted(r))

    for (pic, _, note, text, sym), r in grouped(lambda o: o.outcome == MISREAD).items():
        exp = compare.load_expectation(corpus, pic.expected)
        known = compare.known_limit(pic.symbology, exp, pic.image)
        out.write("  misread %s %s: got %s %r, expected %r%s\n"
                  % (pic.image, rots(r), sym, text, exp.text if exp.text is not None else exp.raw,
                     " (known: %s)" % known if known else ""))
    for (pic, _, note, text, sym), r in grouped(lambda o: o.outcome == FALSE_POSITIVE).items():
        out.write("  false positive %s %s: %s %r\n" % (pic.image, rots(r), sym, text))
    for (pic, outcome, note, text, _), r in grouped(lambda o: o.outcome in (CONVENTION, CHARSET)).items():
        out.write("  %s %s %s: %s\n" % ("by convention" if outcome == CONVENTION else "charset difference",
                                       pic.image, rots(r), note))
    failures = {}
    for o in results:
        if o.run == run.name and (o.crash or o.error):
            failures.setdefault((o.picture.image, o.crash or o.error), []).append(o.rotation)
    for (image, why), r in failures.items():
        out.write("  reader failed on %s %s: %s\n" % (image, rots(r), why))
    if details:
        for (pic, _, note, text, _), r in grouped(lambda o: o.outcome == MISS and o.picture.symbology != "NONE").items():
            exp = compare.load_expectation(corpus, pic.expected)
            known = compare.known_limit(pic.symbology, exp, pic.image)
            out.write("  missed %s %s%s\n" % (pic.image, rots(r), " (known: %s)" % known if known else ""))
    out.write("totals, %s: %s\n" % (run.label, symbology_totals(symbologies)))
    return folders, symbologies


BASELINE_COLUMNS = ("run", "folder", "pictures", "read_0", "read_90", "read_180", "read_270",
                    "misreads", "false_positives")


def write_baseline(path: str, runs: list, per_run: dict) -> None:
    lines = [
        "# Corpus ratchet: per run and folder, the fewest reads at each rotation and the most",
        "# misreads and false positives that the corpus test accepts. Raise the reads (lower the",
        "# others) when the decoders improve: tools/corpus-eval --record tests/corpus-baseline.tsv.",
        "\t".join(BASELINE_COLUMNS),
    ]
    for run in runs:
        for folder, t in per_run[run.name].items():
            lines.append("\t".join(str(v) for v in (
                run.name, folder, t.pictures, t.read[0], t.read[90], t.read[180], t.read[270],
                t.misreads, t.false_positives)))
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    os.replace(tmp, path)


def read_baseline(path: str) -> dict:
    rows = {}
    with open(path, encoding="utf-8") as f:
        header = None
        for n, line in enumerate(f, 1):
            line = line.rstrip("\r\n")
            if not line or line.startswith("#"):
                continue
            cells = line.split("\t")
            if header is None:
                header = cells
                if tuple(header) != BASELINE_COLUMNS:
                    raise UsageError("%s:%d: the header must be %s" % (path, n, " ".join(BASELINE_COLUMNS)))
                continue
            if len(cells) != len(BASELINE_COLUMNS):
                raise UsageError("%s:%d: %d cells, %d expected" % (path, n, len(cells), len(BASELINE_COLUMNS)))
            try:
                values = [int(c) for c in cells[2:]]
            except ValueError:
                raise UsageError("%s:%d: counts must be whole numbers" % (path, n)) from None
            rows[(cells[0], cells[1])] = dict(zip(BASELINE_COLUMNS[2:], values))
    if not rows:
        raise UsageError("%s: no baseline rows" % path)
    return rows


def check_baseline(baseline: dict, runs: list, per_run: dict, out) -> bool:
    """Prints every departure from the baseline; True when nothing got worse."""
    ok = True
    improved = []
    for run in runs:
        wanted = {folder: row for (r, folder), row in baseline.items() if r == run.name}
        if not wanted:
            out.write("baseline: no rows for the run %r\n" % run.name)
            ok = False
            continue
        folders = per_run[run.name]
        for folder, row in wanted.items():
            t = folders.get(folder)
            if t is None:
                out.write("baseline: %s %s: the folder is not in the corpus\n" % (run.name, folder))
                ok = False
                continue
            if t.pictures != row["pictures"]:
                out.write("baseline: %s %s: %d pictures, the baseline has %d (another corpus?)\n"
                          % (run.name, folder, t.pictures, row["pictures"]))
                ok = False
                continue
            for rot in ROTATIONS:
                key = "read_%d" % rot
                if t.read[rot] < row[key]:
                    out.write("baseline: %s %s: %d read at %d degrees, fewer than the %d recorded\n"
                              % (run.name, folder, t.read[rot], rot, row[key]))
                    ok = False
                elif t.read[rot] > row[key]:
                    improved.append("%s %s %s %d > %d" % (run.name, folder, key, t.read[rot], row[key]))
            for key, value in (("misreads", t.misreads), ("false_positives", t.false_positives)):
                if value > row[key]:
                    out.write("baseline: %s %s: %d %s, more than the %d recorded\n"
                              % (run.name, folder, value, key.replace("_", " "), row[key]))
                    ok = False
                elif value < row[key]:
                    improved.append("%s %s %s %d < %d" % (run.name, folder, key, value, row[key]))
            if t.crashes:
                out.write("baseline: %s %s: the reader crashed %d time(s)\n" % (run.name, folder, t.crashes))
                ok = False
        for folder in folders:
            if folder not in wanted:
                out.write("baseline: %s %s: not in the baseline (record it)\n" % (run.name, folder))
    if improved:
        out.write("baseline: better than recorded, tighten it: %s\n" % "; ".join(improved))
    out.write("baseline: %s\n" % ("held" if ok else "NOT HELD"))
    return ok


def find_program(build: str | None, relative: str) -> str:
    candidates = []
    if build:
        candidates.append(build)
    else:
        if os.environ.get("VANTREL_BUILD"):
            candidates.append(os.environ["VANTREL_BUILD"])
        candidates.append(os.path.join(PROJECT_DIR, "build"))
    for b in candidates:
        p = os.path.join(b, relative)
        if os.path.isfile(p) and os.access(p, os.X_OK):
            return os.path.abspath(p)
    raise UsageError("no %s under %s (build it, or name the build folder with --build)"
                     % (relative, " or ".join(candidates)))


def find_corpus(arg: str | None) -> str:
    if arg:
        return arg
    if os.environ.get("VANTREL_CORPUS"):
        return os.environ["VANTREL_CORPUS"]
    return os.path.join(os.path.dirname(PROJECT_DIR), "shared", "corpus")


def parse_args(argv):
    p = argparse.ArgumentParser(
        prog="corpus-eval",
        description="Reads every picture of a corpus with vantrel-read at 0, 90, 180 and 270 degrees and "
                    "prints read counts, misreads, false positives and median decode times per folder. "
                    "Without --settings it runs twice: with the station's default settings and with "
                    "the thorough settings of tools/corpus-thorough.ini.")
    p.add_argument("corpus", nargs="?", metavar="CORPUS",
                   help="corpus folder with manifest.tsv (default: $VANTREL_CORPUS, else ../shared/corpus)")
    p.add_argument("--build", metavar="DIR", help="build folder holding tools/vantrel-read (default: build)")
    p.add_argument("--settings", metavar="FILE", help="one run with this settings file instead of the two runs")
    p.add_argument("--jobs", "-j", type=int, default=os.cpu_count() or 1, help="reads at once (default: cores)")
    p.add_argument("--timeout", type=float, default=60.0, metavar="S",
                   help="seconds one read may take before it counts as a miss (default 60)")
    p.add_argument("--folder", action="append", metavar="NAME", help="only this folder (repeatable)")
    p.add_argument("--details", action="store_true", help="also list every missed picture")
    p.add_argument("--peers", action="store_true",
                   help="also read every picture with zxing-cpp and ZBar (vantrel-bench --peer-read), for comparison")
    p.add_argument("--json-out", metavar="FILE", help="write every read's outcome to FILE as JSON")
    g = p.add_mutually_exclusive_group()
    g.add_argument("--check", metavar="BASELINE", help="fail when a folder does worse than the baseline file says")
    g.add_argument("--record", metavar="BASELINE", help="write the counts of this evaluation as the baseline")
    args = p.parse_args(argv)
    if args.jobs < 1:
        p.error("--jobs must be at least 1")
    if args.timeout <= 0:
        p.error("--timeout must be positive")
    return args


def main(argv=None) -> int:
    args = parse_args(sys.argv[1:] if argv is None else argv)
    out = sys.stdout
    try:
        corpus = os.path.abspath(find_corpus(args.corpus))
        programs = {"read": find_program(args.build, os.path.join("tools", "vantrel-read"))}
        if args.peers:
            programs["bench"] = find_program(args.build, os.path.join("bench", "vantrel-bench"))
        pictures = read_manifest(corpus)
        if args.folder:
            unknown = set(args.folder) - {p.folder for p in pictures}
            if unknown:
                raise UsageError("no folder %s in the corpus" % ", ".join(sorted(unknown)))
            pictures = [p for p in pictures if p.folder in args.folder]
        if args.settings:
            if not os.path.isfile(args.settings):
                raise UsageError("%s: no such settings file" % args.settings)
            runs = [Run("custom", "settings %s" % args.settings, os.path.abspath(args.settings))]
        else:
            if not os.path.isfile(THOROUGH_SETTINGS):
                raise UsageError("%s is missing" % THOROUGH_SETTINGS)
            runs = [Run("defaults", "run 1: station defaults (no settings file)", None),
                    Run("thorough", "run 2: thorough settings (%s)" % os.path.relpath(THOROUGH_SETTINGS, PROJECT_DIR),
                        THOROUGH_SETTINGS)]
        if args.peers:
            runs += [Run("zxing-cpp", "peer: zxing-cpp (ReadBarcode, the same kind's formats)", None, "zxing-cpp"),
                     Run("zbar", "peer: ZBar (the same kind's formats; it reads no Data Matrix)", None, "zbar")]
        baseline = read_baseline(args.check) if args.check else None
    except (UsageError, OSError) as e:
        sys.stderr.write("corpus-eval: %s\n" % e)
        return 2

    progress = Progress(len(pictures) * len(ROTATIONS) * len(groups_of(runs)))
    progress.say("%d pictures x %d rotations x %d run(s), %d at once, reader %s"
                 % (len(pictures), len(ROTATIONS), len(runs), args.jobs, programs["read"]))
    try:
        results, litter = run_all(programs, corpus, pictures, runs, args.jobs, args.timeout, progress)
    except KeyboardInterrupt:
        sys.stderr.write("\ncorpus-eval: interrupted\n")
        return 130

    out.write("corpus %s: %d pictures in %d folders, each read at 0, 90, 180 and 270 degrees\n"
              % (corpus, len(pictures), len({p.folder for p in pictures})))
    out.write("read: the expected bytes (UTF-8, Shift JIS or Latin-1); conv: of those, read only by a corpus "
              "convention; cset: of those, bytes right but shown text differs or the other way round;\nmisrd: a different result; "
              "fpos: a result on a picture without a code; tmout: over %g s, counted as a miss; "
              "ms(med): median decode time\n" % args.timeout)
    per_run, per_sym = {}, {}
    for run in runs:
        per_run[run.name], per_sym[run.name] = print_run(run, results, corpus, args.details, out)

    if args.json_out:
        with open(args.json_out, "w", encoding="utf-8") as f:
            json.dump([dict(dataclasses.asdict(o), picture=o.picture.image) for o in results], f, indent=1)

    status = 0
    ours = [run for run in runs if not run.peer]
    if any(o.crash for o in results if o.run in {run.name for run in ours}):
        out.write("vantrel-read crashed on some pictures (listed above)\n")
        status = 1
    if litter:
        out.write("the readers left files in their working folder: %s\n" % ", ".join(litter))
        status = 1
    if args.record:
        write_baseline(args.record, ours, per_run)
        out.write("baseline written to %s\n" % args.record)
    if baseline is not None and not check_baseline(baseline, ours, per_run, out):
        status = 1
    out.write("totals per symbology: %s\n" % " | ".join(
        "%s: %s" % (run.name, symbology_totals(per_sym[run.name])) for run in runs))
    return status
