#!/usr/bin/env python3
"""Makes resources/Sounds/Alarm.wav: a 1.2 s two-tone chime, 16-bit PCM mono 22050 Hz.

Run from anywhere:  python3 resources/tools/make_alarm.py   (standard library only)
Three pairs of soft bell tones (880 Hz then 660 Hz) with quick attack and exponential decay,
so the reminder is noticed without being harsh.
"""

import math
import os
import struct
import wave

RATE = 22050
LENGTH = 1.2
OUT = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "Sounds", "Alarm.wav")

# (start in seconds, frequency in Hz)
NOTES = [(0.00, 880.0), (0.20, 660.0), (0.40, 880.0), (0.60, 660.0), (0.80, 880.0), (0.95, 660.0)]


def tone(t, freq):
    """A bell-like tone: fundamental plus a quieter octave, 5 ms attack, exponential decay."""
    if t < 0:
        return 0.0
    attack = min(1.0, t / 0.005)
    decay = math.exp(-t * 9.0)
    return attack * decay * (math.sin(2 * math.pi * freq * t) + 0.3 * math.sin(4 * math.pi * freq * t))


def main():
    os.makedirs(os.path.dirname(OUT), exist_ok=True)
    count = int(RATE * LENGTH)
    frames = bytearray()
    for n in range(count):
        t = n / RATE
        v = sum(tone(t - start, f) for start, f in NOTES) * 0.45
        fade = min(1.0, (LENGTH - t) / 0.05)  # no click at the end
        v = max(-1.0, min(1.0, v * fade))
        frames += struct.pack("<h", round(v * 32767))
    with wave.open(OUT, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(bytes(frames))
    print(f"{OUT}: {count} frames")


if __name__ == "__main__":
    main()
