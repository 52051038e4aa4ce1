#!/usr/bin/env python3
"""Writes the station's read sound, read.wav: a short two-tone chirp
(2.2 kHz then 2.9 kHz, 90 ms in all) with soft edges, 16-bit mono at 22050 Hz.

    app/ui/sounds/make_sound.py app/ui/sounds/read.wav
"""
import math
import struct
import sys
import wave

RATE = 22050
PARTS = [(2200.0, 0.045), (2900.0, 0.045)]  # frequency, seconds
FADE = 0.004  # seconds of fade in and out of each part
LEVEL = 0.45


def samples():
    for frequency, seconds in PARTS:
        n = int(RATE * seconds)
        fade = int(RATE * FADE)
        for i in range(n):
            edge = min(1.0, i / fade, (n - 1 - i) / fade)
            yield LEVEL * edge * math.sin(2 * math.pi * frequency * i / RATE)


def main(path):
    frames = b"".join(struct.pack("<h", int(round(s * 32767))) for s in samples())
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(frames)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "read.wav")
