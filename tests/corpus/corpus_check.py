"""The corpus ratchet as a test: tools/corpus-eval --check over the corpus that
VANTREL_CORPUS names; skipped (status 77) when it names none."""

import os
import subprocess
import sys

SKIPPED = 77


def main() -> int:
    corpus = os.environ.get("VANTREL_CORPUS", "")
    if not corpus:
        print("VANTREL_CORPUS names no corpus: skipped")
        return SKIPPED
    if not os.path.isfile(os.path.join(corpus, "manifest.tsv")):
        print("VANTREL_CORPUS=%s: no manifest.tsv there" % corpus)
        return 1
    source = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    build, baseline = sys.argv[1], os.path.join(source, "tests", "corpus-baseline.tsv")
    return subprocess.call([sys.executable, os.path.join(source, "tools", "corpus-eval"),
                            "--build", build, "--check", baseline, corpus])


if __name__ == "__main__":
    sys.exit(main())
