"""Tests of tools/corpus-eval: how results count against the corpus conventions,
and the runner itself over a small corpus read by a scripted stand-in reader."""

import json
import os
import subprocess
import sys
import tempfile
import textwrap
import unittest

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.join(SOURCE_DIR, "tools"))

from corpus_eval import compare  # noqa: E402
from corpus_eval.compare import CHARSET, CONVENTION, MISREAD, READ, Expectation  # noqa: E402

CORPUS_EVAL = os.path.join(SOURCE_DIR, "tools", "corpus-eval")


def text(s, **props):
    return Expectation(raw=s.encode("utf-8"), text=s, props=props)


class Conventions(unittest.TestCase):
    def test_outcomes(self):
        kanji = "ロット番号Ａ"
        latin = "óóabó"
        gs1 = "0101234567890128\x1d10ABC"
        cases = [
            # symbology, expectation, bytes read, text shown, outcome
            ("QR", text("Hello"), b"Hello", "Hello", READ),
            ("QR", text("Hello\r\n"), b"Hello", "Hello", MISREAD),  # a CR LF at the end belongs to the content
            ("QR", text(kanji), kanji.encode("utf-8"), kanji, READ),
            ("QR", text(kanji), kanji.encode("cp932"), kanji, READ),
            ("QR", text(kanji), kanji.encode("cp932"), "\ufffd" * 6, CHARSET),
            ("QR", text("ｱｲｳ"), "ｱｲｳ".encode("cp932"), "±²³", CHARSET),  # the same bytes taken for Latin-1
            ("QR", text("阿;;"), "阿;;".encode("gb2312"), "阿;;", CHARSET),  # the symbol's own character set
            ("QR", text("阿;;"), "阿;;".encode("gb2312"), "\u00b0\u00a2;;", MISREAD),
            ("CODE128", text(latin), latin.encode("latin-1"), latin, READ),
            ("CODE128", text(latin), b"ssabs", "ssabs", MISREAD),  # FNC4 ignored
            ("EAN13", text(" 9780804816632"), b"9780804816632", "9780804816632", READ),
            ("EAN13", text("9780804816632"), b"9780804816630", "9780804816630", MISREAD),
            ("CODE39", text("Extended !?*#"), b"E+X+T+E+N+D+E+D /A%J/J/C", "", CONVENTION),
            ("CODE39", text("Extended !?*#"), b"EXTENDED !?*#", "", MISREAD),
            ("CODE39", text("12ab"), b"12+A+B", "12+A+B", CONVENTION),
            ("CODE39", text("A/B"), b"A/B", "A/B", READ),  # a lone slash is a slash, not a shift
            ("CODE39", text("A123456788", format="Code 32"), b"3PRM8N", "3PRM8N", CONVENTION),
            ("CODE39", text("A123456788", format="Code 32"), b"3PRM8P", "3PRM8P", MISREAD),
            ("CODE39", text("A123456788"), b"3PRM8N", "3PRM8N", MISREAD),  # only where the corpus says Code 32
            ("CODE128", text(gs1, symbologyIdentifier="]C1"), gs1.encode(), gs1, READ),
            ("CODE128", text(gs1, symbologyIdentifier="]C1"), gs1.replace("\x1d", "").encode(), "", CONVENTION),
            ("CODE128", text(gs1), gs1.replace("\x1d", "").encode(), "", MISREAD),  # not GS1: the separator counts
            ("DATAMATRIX", text("line\nnext"), b"linenext", "linenext", CONVENTION),
            ("QR", text("line\nnext"), b"linenext", "linenext", MISREAD),
            ("DATAMATRIX", text("linenext"), b"line\nnext", "line\nnext", MISREAD),
            ("DATAMATRIX", text("line\nnext"), b"line\nnext", "linenext", READ),  # bytes exact, text as shown
            ("QR", text("line\nnext"), b"line\nnext", "linenext", CHARSET),
        ]
        for sym, exp, got, shown, outcome in cases:
            with self.subTest(sym=sym, expected=exp.text, got=got):
                self.assertEqual(compare.classify(sym, exp, got, shown)[0], outcome)

    def test_binary_expectation_compares_bytes_only(self):
        exp = Expectation(raw=b"\x00\xff\x1dA", text=None, props={})
        self.assertEqual(compare.classify("DATAMATRIX", exp, b"\x00\xff\x1dA", "\\x00")[0], READ)
        self.assertEqual(compare.classify("DATAMATRIX", exp, b"\x00\xff\x1dB", "")[0], MISREAD)

    def test_full_ascii_and_code32(self):
        self.assertEqual(compare.expand_full_ascii(b"$A%U%V/Z+Z%X"), b"\x01\x00@:z\x7f")
        self.assertIsNone(compare.expand_full_ascii(b"AB$"))   # a shift at the end
        self.assertIsNone(compare.expand_full_ascii(b"+1"))    # no partner
        self.assertEqual(compare.code32_number(b"000000"), b"A000000000")
        self.assertEqual(compare.code32_number(b"3PRM8N"), b"A123456788")
        self.assertIsNone(compare.code32_number(b"3PRM8A"))    # A is not a base-32 digit
        self.assertIsNone(compare.code32_number(b"ZZZZZZ"))    # more than nine digits

    def test_expectation_files(self):
        with tempfile.TemporaryDirectory() as d:
            with open(os.path.join(d, "a.txt"), "wb") as f:
                f.write("行\r\n".encode())
            with open(os.path.join(d, "a.result.txt"), "w") as f:
                f.write("symbologyIdentifier=]Q3\nisInverted=true\n")
            with open(os.path.join(d, "b.bin"), "wb") as f:
                f.write(b"\x81\xff")
            a = compare.load_expectation(d, "a.txt")
            self.assertEqual((a.text, a.raw), ("行\r\n", "行\r\n".encode()))
            self.assertTrue(a.gs1)
            self.assertEqual(a.props["isInverted"], "true")
            b = compare.load_expectation(d, "b.bin")
            self.assertEqual((b.text, b.raw, b.props), (None, b"\x81\xff", {}))

    def test_several_codes_in_one_picture(self):
        hello = text("HELLO")
        cases = [
            # codes read (bytes, text shown), outcome, the code that decides
            ([], compare.MISS, None),
            ([(b"HELLO", "HELLO")], READ, 0),
            ([(b"OTHER", "OTHER"), (b"HELLO", "HELLO")], READ, 1),  # either symbol may be the expected one
            ([(b"OTHER", "OTHER"), (b"HELL0", "HELL0")], MISREAD, 0),  # none is: the first stands
            ([(b"HELLO", "\ufffd"), (b"HELLO", "HELLO")], READ, 1),  # the plainest match
        ]
        for codes, outcome, index in cases:
            with self.subTest(codes=codes):
                got = compare.classify_codes("QR", hello, codes)
                self.assertEqual((got[0], got[2]), (outcome, index))

    def test_known_limits(self):
        self.assertEqual(compare.known_limit("CODE128", text("óó12")), "needs FNC4")
        self.assertEqual(compare.known_limit("DATAMATRIX", text("x"), "datamatrix-1/eci.png"), "needs ECI")
        self.assertEqual(compare.known_limit("DATAMATRIX", text("x", contentType="UnknownECI")), "needs ECI")
        self.assertEqual(compare.known_limit("QR", text("ó")), "")


# The stand-in reader answers from a table keyed by picture name and rotation:
# a text read, a list of texts (a line per code, as for a picture with several
# symbols), nothing, a long sleep, a crash, or a file left in its working folder.
FAKE_READER = textwrap.dedent("""\
    import json, os, signal, sys, time
    args = sys.argv[1:]
    rotation = int(args[args.index("--rotate") + 1]) if "--rotate" in args else 0
    settings = args[args.index("--settings") + 1] if "--settings" in args else ""
    picture = args[-1]
    kind = args[args.index("--kind") + 1]
    with open(os.environ["FAKE_READER_TABLE"]) as f:
        table = json.load(f)
    with open(os.environ["FAKE_READER_TABLE"] + ".log", "a") as f:
        f.write("%s %s %d %s\\n" % (os.path.basename(picture), kind, rotation, os.path.basename(settings)))
    name = os.path.basename(picture)
    answer = table.get("%s@%d" % (name, rotation), table.get(name, ""))
    if answer == "SLEEP":
        time.sleep(30)
    if answer == "CRASH":
        os.kill(os.getpid(), signal.SIGSEGV)
    if answer == "LITTER":
        open("OvoQrc.ini", "w").close()
        answer = ""
    codes = answer if isinstance(answer, list) else [answer] if answer else []
    if not codes:
        print(json.dumps({"file": picture, "ok": False, "status": -4, "symbology": None, "text": None,
                          "bytes_hex": None, "ms": 1.5}))
    for code in codes:
        print(json.dumps({"file": picture, "ok": True, "status": 0, "symbology": "X", "text": code,
                          "bytes_hex": code.encode().hex(), "ms": 1.5}))
    sys.exit(0 if codes else 1)
""")

# The stand-in for vantrel-bench --peer-read: ZBar's line first, then
# zxing-cpp's, answers from the same table under "zbar:" and "zxing:".
FAKE_PEERS = textwrap.dedent("""\
    import json, os, signal, sys
    args = sys.argv[1:]
    kind = [a for a in args if a.startswith("--peer-read=")][0].split("=")[1]
    rot = [a for a in args if a.startswith("--peer-rotate=")]
    rotation = int(rot[0].split("=")[1]) if rot else 0
    picture = args[-1]
    with open(os.environ["FAKE_READER_TABLE"]) as f:
        table = json.load(f)
    name = os.path.basename(picture)
    for peer, key in (("zbar", "zbar:"), ("zxing-cpp", "zxing:")):
        if peer == "zbar" and kind == "datamatrix":
            continue
        answer = table.get("%s%s@%d" % (key, name, rotation), table.get(key + name, ""))
        if answer == "ABORT":
            sys.stdout.flush()
            os.kill(os.getpid(), signal.SIGABRT)
        ok = answer != ""
        print(json.dumps({"file": picture, "reader": peer, "ok": ok, "symbology": "Y" if ok else None,
                          "bytes_hex": answer.encode().hex() if ok else None, "text": answer if ok else None,
                          "ms": 2.0}), flush=True)
""")

MANIFEST = [
    ("qr-1", "qr-1/a.png", "QR", "qr-1/a.txt", "HELLO"),
    ("qr-1", "qr-1/b.png", "QR", "qr-1/b.txt", "WORLD"),
    ("ean-1", "ean-1/c.png", "EAN13", "ean-1/c.txt", "4901234567894"),
    ("falsepositives-1", "falsepositives-1/d.png", "NONE", "", None),
]


class Runner(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        d = self.dir.name
        self.corpus = os.path.join(d, "corpus")
        os.makedirs(self.corpus)
        rows = ["folder\timage\tsymbology\texpected\twidth\theight"]
        for folder, image, sym, expected, content in MANIFEST:
            os.makedirs(os.path.join(self.corpus, folder), exist_ok=True)
            open(os.path.join(self.corpus, image), "wb").close()
            if expected:
                with open(os.path.join(self.corpus, expected), "w") as f:
                    f.write(content)
            rows.append("\t".join((folder, image, sym, expected, "10", "10")))
        with open(os.path.join(self.corpus, "manifest.tsv"), "w") as f:
            f.write("\n".join(rows) + "\n")
        self.build = os.path.join(d, "build")
        os.makedirs(os.path.join(self.build, "tools"))
        reader = os.path.join(self.build, "tools", "vantrel-read")
        with open(reader, "w") as f:
            f.write("#!" + sys.executable + "\n" + FAKE_READER)
        os.chmod(reader, 0o755)
        os.makedirs(os.path.join(self.build, "bench"))
        peers = os.path.join(self.build, "bench", "vantrel-bench")
        with open(peers, "w") as f:
            f.write("#!" + sys.executable + "\n" + FAKE_PEERS)
        os.chmod(peers, 0o755)
        self.table = os.path.join(d, "table.json")
        self.baseline = os.path.join(d, "baseline.tsv")

    def tearDown(self):
        self.dir.cleanup()

    def evaluate(self, answers, *args):
        with open(self.table, "w") as f:
            json.dump(answers, f)
        env = dict(os.environ, FAKE_READER_TABLE=self.table)
        p = subprocess.run([sys.executable, CORPUS_EVAL, "--build", self.build, "--jobs", "2",
                            *args, self.corpus], capture_output=True, text=True, env=env, timeout=120)
        return p.returncode, p.stdout, p.stderr

    def settings(self):
        """An empty settings file: one run instead of two."""
        path = os.path.join(self.dir.name, "mine.ini")
        open(path, "w").close()
        return path

    def row(self, out, run_label, folder):
        block = out.split("== " + run_label)[1]
        for line in block.splitlines():
            if line.startswith(folder + " "):
                return line.split()[1:]
        self.fail("no row for %s in %s" % (folder, run_label))

    GOOD = {"a.png": "HELLO", "b.png": "WORLD", "c.png": "4901234567894"}

    def test_both_runs_every_rotation_and_kind(self):
        status, out, err = self.evaluate(self.GOOD)
        self.assertEqual(status, 0, err)
        with open(self.table + ".log") as f:
            calls = sorted(f.read().split("\n")[:-1])
        expected = sorted("%s %s %d %s" % (name, kind, rot, ini)
                          for name, kind in (("a.png", "qr"), ("b.png", "qr"), ("c.png", "barcode"), ("d.png", "all"))
                          for rot in (0, 90, 180, 270) for ini in ("", "corpus-thorough.ini"))
        self.assertEqual(calls, expected)
        self.assertIn("== run 1: station defaults", out)
        self.assertIn("== run 2: thorough settings", out)
        # pictures, reads at 0 90 180 270, conv, cset, misreads, false positives, timeouts, median ms
        self.assertEqual(self.row(out, "run 1", "qr-1"), ["2", "2", "2", "2", "2", "0", "0", "0", "0", "0", "1.5"])
        self.assertEqual(out.splitlines()[-1],
                         "totals per symbology: defaults: EAN13 4/4 100%; QR 8/8 100%; no code: 0 false positive(s) in 4"
                         " | thorough: EAN13 4/4 100%; QR 8/8 100%; no code: 0 false positive(s) in 4")

    def test_misreads_false_positives_timeouts_and_crashes(self):
        answers = {"a.png": "HELLO", "b.png@90": "WORLD", "b.png@180": "W0RLD", "b.png@270": "SLEEP",
                   "c.png@0": "CRASH", "d.png@270": "NOISE"}
        status, out, err = self.evaluate(answers, "--timeout", "1", "--settings", self.settings())
        self.assertEqual(status, 1, "a crash must fail the evaluation")
        self.assertEqual(self.row(out, "settings", "qr-1"), ["2", "1", "2", "1", "1", "0", "0", "1", "0", "1", "1.5"])
        self.assertEqual(self.row(out, "settings", "falsepositives-1")[8], "1")
        self.assertIn("misread qr-1/b.png at 180: got X 'W0RLD', expected 'WORLD'", out)
        self.assertIn("false positive falsepositives-1/d.png at 270: X 'NOISE'", out)
        self.assertIn("reader failed on ean-1/c.png at 0: SIGSEGV", out)
        self.assertIn("took longer than 1 s", err)

    def test_peers_beside_ours(self):
        answers = dict(self.GOOD, **{"zxing:a.png": "HELLO", "zxing:b.png@0": "ABORT", "zxing:c.png": "4901234567894",
                                     "zbar:a.png": "HELLO", "zbar:b.png": "W0RLD", "zbar:d.png": "123"})
        status, out, err = self.evaluate(answers, "--peers", "--record", self.baseline)
        self.assertEqual(status, 0, "a peer's crash is the peer's: " + out + err)
        self.assertEqual(self.row(out, "peer: zxing-cpp", "qr-1"), ["2", "1", "1", "1", "1", "0", "0", "0", "0", "0", "2.0"])
        self.assertEqual(self.row(out, "peer: ZBar", "qr-1"), ["2", "1", "1", "1", "1", "0", "0", "4", "0", "0", "2.0"])
        self.assertEqual(self.row(out, "peer: ZBar", "falsepositives-1")[8], "4")
        self.assertIn("reader failed on qr-1/b.png at 0: SIGABRT", out)
        self.assertIn("zxing-cpp: EAN13 4/4 100%; QR 4/8 50%", out.splitlines()[-1])
        with open(self.baseline) as f:
            self.assertEqual({l.split("\t")[0] for l in f.read().splitlines()[4:]}, {"defaults", "thorough"})

    def test_pictures_with_several_codes(self):
        # A line per code: a picture matches when any of its codes is the
        # expected one, and any code on a picture without one is a false
        # positive, counted once per try.
        answers = {"a.png": ["OTHER", "HELLO"], "b.png": ["NOPE", "W0RLD"], "c.png": ["4901234567894"],
                   "d.png@0": ["1", "2"]}
        status, out, err = self.evaluate(answers, "--settings", self.settings())
        self.assertEqual(status, 0, err)
        self.assertEqual(self.row(out, "settings", "qr-1"), ["2", "1", "1", "1", "1", "0", "0", "4", "0", "0", "1.5"])
        self.assertIn("misread qr-1/b.png at 0 90 180 270: got X 'NOPE', expected 'WORLD'", out)
        self.assertEqual(self.row(out, "settings", "falsepositives-1")[8], "1")
        self.assertIn("false positive falsepositives-1/d.png at 0: X '1'", out)

    def test_a_reader_that_leaves_files_fails(self):
        status, out, err = self.evaluate(dict(self.GOOD, **{"d.png@90": "LITTER"}), "--settings", self.settings())
        self.assertEqual(status, 1, out)
        self.assertIn("the readers left files in their working folder: OvoQrc.ini", out)

    def test_baseline_ratchet(self):
        status, out, err = self.evaluate({"a.png": "HELLO", "c.png@0": "4901234567894"}, "--record", self.baseline)
        self.assertEqual(status, 0, err)
        with open(self.baseline) as f:
            rows = [l.split("\t") for l in f.read().splitlines() if not l.startswith("#")]
        self.assertIn(["defaults", "qr-1", "2", "1", "1", "1", "1", "0", "0"], rows)
        self.assertIn(["thorough", "ean-1", "1", "1", "0", "0", "0", "0", "0"], rows)

        status, out, _ = self.evaluate({"a.png": "HELLO", "c.png@0": "4901234567894"}, "--check", self.baseline)
        self.assertEqual(status, 0, out)
        self.assertIn("baseline: held", out)

        status, out, _ = self.evaluate(dict(self.GOOD), "--check", self.baseline)
        self.assertEqual(status, 0, out)
        self.assertIn("better than recorded, tighten it", out)

        worse = [({"a.png": "HELLO"}, "0 read at 0 degrees, fewer than the 1 recorded"),
                 ({"a.png": "HELLO", "b.png": "WORLD!", "c.png@0": "4901234567894"}, "4 misreads, more than the 0"),
                 ({"a.png": "HELLO", "c.png@0": "4901234567894", "d.png": "1234"}, "4 false positives, more than the 0")]
        for answers, message in worse:
            with self.subTest(message=message):
                status, out, _ = self.evaluate(answers, "--check", self.baseline)
                self.assertEqual(status, 1, out)
                self.assertIn(message, out)
                self.assertIn("baseline: NOT HELD", out)

    def test_usage_errors(self):
        os.remove(os.path.join(self.build, "bench", "vantrel-bench"))
        with open(self.table, "w") as f:
            json.dump({}, f)
        env = dict(os.environ, FAKE_READER_TABLE=self.table)
        for args, message in [(["--build", self.dir.name, self.corpus], "no tools/vantrel-read"),
                              (["--build", self.build, "--peers", self.corpus], "no bench/vantrel-bench"),
                              (["--build", self.build, self.dir.name], "no manifest.tsv"),
                              (["--build", self.build, "--folder", "nope", self.corpus], "no folder nope"),
                              (["--build", self.build, "--settings", "/no/such.ini", self.corpus], "no such settings"),
                              (["--build", self.build, "--check", "/no/such.tsv", self.corpus], "such.tsv")]:
            with self.subTest(args=args):
                p = subprocess.run([sys.executable, CORPUS_EVAL, *args], capture_output=True, text=True, env=env)
                self.assertEqual(p.returncode, 2)
                self.assertIn(message, p.stderr)


if __name__ == "__main__":
    unittest.main()
