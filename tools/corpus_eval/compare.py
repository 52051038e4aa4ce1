"""What a decoded byte string counts as against a corpus expectation.

The corpus stores expectations as UTF-8 text (or raw bytes in .bin files) and
some symbols carry conventions that several readers follow differently: Shift
JIS or Latin-1 bytes for the same characters, Code 39 Full ASCII pairs left
unexpanded, FNC1 dropped from GS1 data, control bytes dropped from Data Matrix
text, the Code 32 number printed in its base-32 form. A read that only matches
by such a convention is still a read, but it is counted apart so that a change
of convention never hides behind the totals.
"""

from __future__ import annotations

import dataclasses
import os

ONE_D = frozenset({"EAN8", "EAN13", "ITF", "CODE39", "CODE128", "CODABAR"})
SYMBOLOGIES = ("EAN8", "EAN13", "ITF", "CODE39", "CODE128", "CODABAR", "QR", "DATAMATRIX", "NONE")

# Outcomes of one read.
READ = "read"          # the bytes are the expectation (in UTF-8, Shift JIS or Latin-1)
CHARSET = "charset"    # the bytes match but the text shown for them does not, or the other way round
CONVENTION = "conv"    # matches only by one of the corpus conventions
MISREAD = "misread"    # a result that differs from the expectation
MISS = "miss"          # nothing read
FALSE_POSITIVE = "fp"  # any result on a picture that holds no code

MATCHED = frozenset({READ, CHARSET, CONVENTION})

_BLANKS = b" \t"
_DMX_CONTROL = frozenset(b"\r\n\x1d\x1f\xff")
_GS = b"\x1d"
_DMX_TEXT_LEFT_OUT = frozenset("\r\n\x1d\x1f\x00")


@dataclasses.dataclass(frozen=True)
class Expectation:
    raw: bytes                    # the expected content exactly
    text: str | None              # its characters, None for a .bin expectation
    props: dict                   # key=value lines of <stem>.result.txt

    @property
    def gs1(self) -> bool:
        return (self.props.get("symbologyIdentifier") in ("]C1", "]d2", "]Q3")
                or self.props.get("contentType") == "GS1")


def read_props(path: str) -> dict:
    props = {}
    try:
        with open(path, encoding="utf-8") as f:
            for line in f:
                key, sep, value = line.strip().partition("=")
                if sep:
                    props[key] = value
    except FileNotFoundError:
        pass
    return props


def load_expectation(corpus: str, expected: str) -> Expectation:
    path = os.path.join(corpus, expected)
    with open(path, "rb") as f:
        raw = f.read()
    stem = path[: -len(".txt")] if path.endswith(".txt") else os.path.splitext(path)[0]
    text = None
    if not path.endswith(".bin"):
        try:
            text = raw.decode("utf-8")
        except UnicodeDecodeError:
            text = None
    return Expectation(raw=raw, text=text, props=read_props(stem + ".result.txt"))


# Code 39 Full ASCII: the second character of each pair, by its shift character.
def _full_ascii_table() -> dict:
    t = {}
    for i, c in enumerate("ABCDEFGHIJKLMNOPQRSTUVWXYZ"):
        t["$" + c] = chr(1 + i)
        t["+" + c] = chr(ord("a") + i)
    for i, c in enumerate("ABCDEFGHIJKLMNO"):
        t["/" + c] = chr(ord("!") + i)
    t["/Z"] = ":"
    percent = {"A": 27, "B": 28, "C": 29, "D": 30, "E": 31,
               "F": ord(";"), "G": ord("<"), "H": ord("="), "I": ord(">"), "J": ord("?"),
               "K": ord("["), "L": ord("\\"), "M": ord("]"), "N": ord("^"), "O": ord("_"),
               "P": ord("{"), "Q": ord("|"), "R": ord("}"), "S": ord("~"), "T": 127,
               "U": 0, "V": ord("@"), "W": ord("`"), "X": 127, "Y": 127, "Z": 127}
    for c, v in percent.items():
        t["%" + c] = chr(v)
    return t


_FULL_ASCII = _full_ascii_table()


def expand_full_ascii(printed: bytes) -> bytes | None:
    """The Full ASCII reading of printed Code 39 characters; None if a shift
    character is not followed by a valid partner (then the text is not Full ASCII)."""
    try:
        s = printed.decode("ascii")
    except UnicodeDecodeError:
        return None
    out = []
    i = 0
    while i < len(s):
        if s[i] in "$%/+":
            pair = s[i:i + 2]
            if pair not in _FULL_ASCII:
                return None
            out.append(_FULL_ASCII[pair])
            i += 2
        else:
            out.append(s[i])
            i += 1
    return "".join(out).encode("latin-1")


_CODE32_DIGITS = "0123456789BCDFGHJKLMNPQRSTUVWXYZ"


def code32_number(printed: bytes) -> bytes | None:
    """Italian pharmacode: six printed base-32 characters as 'A' and nine digits."""
    s = printed.decode("latin-1").strip()
    if len(s) != 6 or any(c not in _CODE32_DIGITS for c in s):
        return None
    value = 0
    for c in s:
        value = value * 32 + _CODE32_DIGITS.index(c)
    if value >= 10 ** 9:
        return None
    return b"A%09d" % value


def _encodings(exp: Expectation, symbology: str) -> list:
    """(bytes, text shown for them or None) for every byte form of the expectation."""
    if exp.text is None:
        return [(exp.raw, None)]
    text = exp.text.strip(" \t") if symbology in ONE_D else exp.text
    forms = [(text.encode("utf-8"), text)]
    for codec in ("cp932", "latin-1"):
        try:
            b = text.encode(codec)
        except UnicodeEncodeError:
            continue
        if all(b != f[0] for f in forms):
            forms.append((b, text))
    return forms


def _shown_as(symbology: str, shown: str, text: str) -> bool:
    """Whether a reader's text shows the expected characters: a 1D text
    without the blanks around it; a Data Matrix text may leave out the control
    characters that its bytes keep."""
    if symbology in ONE_D:
        return shown.strip(" \t") == text
    if shown == text:
        return True
    return symbology == "DATAMATRIX" and shown == "".join(c for c in text if c not in _DMX_TEXT_LEFT_OUT)


def classify(symbology: str, exp: Expectation, got: bytes, shown: str | None) -> tuple:
    """(outcome, note) of a result `got` (bytes) shown as `shown` (text) for a
    picture of `symbology` whose content is `exp`."""
    if symbology in ONE_D:
        got = got.strip(_BLANKS)
    forms = _encodings(exp, symbology)
    for b, text in forms:
        if got == b:
            if text is not None and shown is not None and not _shown_as(symbology, shown, text):
                return CHARSET, "bytes match, shown as %r" % shown
            return READ, ""

    conventions = []
    if symbology == "CODE39":
        expanded = expand_full_ascii(got)
        if expanded is not None and expanded != got:
            conventions.append((expanded, "Full ASCII pairs printed"))
        if exp.props.get("format") == "Code 32":
            number = code32_number(got)
            if number is not None:
                conventions.append((number, "Code 32 printed characters"))
    for value, note in conventions:
        if any(value == b for b, _ in forms):
            return CONVENTION, note
    if exp.gs1:
        if any(got == b.replace(_GS, b"") for b, _ in forms if _GS in b):
            return CONVENTION, "FNC1 dropped"
    if symbology == "DATAMATRIX":
        for b, _ in forms:
            stripped = bytes(c for c in b if c not in _DMX_CONTROL)
            if stripped != b and got == stripped:
                return CONVENTION, "control bytes dropped"
    # The other way round: the characters are right but the bytes are in a
    # character set of the symbol's own (an ECI, GB 2312 ...).
    if exp.text is not None and shown is not None and got:
        text = forms[0][1]
        if (shown.strip(" \t") if symbology in ONE_D else shown) == text:
            return CHARSET, "text right, bytes in another character set"
    return MISREAD, ""


# Which outcome of several codes in one picture stands for the picture: a
# match of any of them before a misread, the plainest match first.
_PREFERENCE = (READ, CONVENTION, CHARSET, MISREAD)


def classify_codes(symbology: str, exp: Expectation, codes: list) -> tuple:
    """(outcome, note, index) for the codes read from one picture, each a pair
    (bytes, text shown), in the reader's order: the picture matches when any
    of them is the expectation (a picture may hold more symbols than the one
    expected); otherwise it is a misread of the first. index names the code
    that decided it; a picture without codes is a miss (index None)."""
    best = None
    for i, (got, shown) in enumerate(codes):
        outcome, note = classify(symbology, exp, got, shown)
        rank = _PREFERENCE.index(outcome)
        if best is None or rank < best[0]:
            best = (rank, outcome, note, i)
    if best is None:
        return MISS, "", None
    return best[1], best[2], best[3]


def known_limit(symbology: str, exp: Expectation, image: str = "") -> str:
    """Why a reader without an optional feature cannot read this symbol, or ''."""
    if exp.props.get("contentType") == "UnknownECI" or (
            symbology == "DATAMATRIX" and os.path.basename(image).startswith("eci")):
        return "needs ECI"
    if symbology == "CODE128" and exp.text is not None and any(0x80 <= ord(c) <= 0xFF for c in exp.text):
        return "needs FNC4"
    return ""
