#!/usr/bin/env python3
"""Writes the sample sounds that ship in the program folder's sample/sound.

    horn.wav    a two-tone car horn, two short blasts (0.5 s)
    engine.wav  an idling engine that loops without a click (0.3 s, whole cycles)
    tune.mid    a short fanfare for the MIDI synthesiser (five notes, about 0.6 s)

Only the Python standard library is used and nothing is random, so running the
script again gives the same bytes. Usage: make_sample_sounds.py [OUTPUT_FOLDER]
(default: data/sample/sound beside this script's repository root).
"""

import math
import os
import struct
import sys
import wave

RATE = 22050  # mono, 16 bit: small files, plenty for a horn and an engine


def write_wav(path, samples):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        frames = b"".join(struct.pack("<h", max(-32767, min(32767, int(round(s * 32767)))))
                          for s in samples)
        w.writeframes(frames)


def horn():
    # Two detuned square-ish tones (a major third apart) like a car's twin horn,
    # blast - gap - blast, each blast with 10 ms ramps so it does not click.
    out = []
    blast, gap = 0.2, 0.1
    ramp = int(0.01 * RATE)

    def one_blast():
        n = int(blast * RATE)
        for i in range(n):
            t = i / RATE
            v = 0.0
            for f in (415.0, 523.0):
                # first three odd harmonics: a brassy, square-like tone
                v += (math.sin(2 * math.pi * f * t) + math.sin(2 * math.pi * 3 * f * t) / 3 +
                      math.sin(2 * math.pi * 5 * f * t) / 5)
            env = min(1.0, i / ramp, (n - 1 - i) / ramp)
            out.append(0.28 * v * env)

    one_blast()
    out.extend([0.0] * int(gap * RATE))
    one_blast()
    return out


def engine():
    # 0.3 s hold exactly 18 cycles of 60 Hz and 9 of 30 Hz, so the end meets the
    # start and an endless repeat has no seam.
    n = int(0.3 * RATE)
    out = []
    for i in range(n):
        t = i / RATE
        saw = 2.0 * ((60.0 * t) % 1.0) - 1.0           # firing strokes
        pulse = math.sin(2 * math.pi * 30.0 * t) ** 2    # two-stroke beat
        hum = math.sin(2 * math.pi * 120.0 * t)
        out.append(0.35 * saw * (0.5 + 0.5 * pulse) + 0.15 * hum)
    # soften the sawtooth's edges a little with a short moving average (wrapping)
    k = 8
    return [sum(out[(i - j) % n] for j in range(k)) / k for i in range(n)]


def var_len(value):
    data = [value & 0x7F]
    value >>= 7
    while value:
        data.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(data))


def tune():
    division = 480                      # ticks per quarter note
    events = bytearray()
    events += var_len(0) + b"\xFF\x51\x03" + (500000).to_bytes(3, "big")  # 120 bpm
    events += var_len(0) + b"\xC0\x38"   # channel 1: trumpet
    notes = [(67, 120), (72, 120), (76, 120), (79, 120), (84, 240)]  # G C E G C, last one longer
    for key, length in notes:
        events += var_len(0) + bytes([0x90, key, 100])
        events += var_len(length) + bytes([0x80, key, 64])
    events += var_len(0) + b"\xFF\x2F\x00"  # end of track
    header = b"MThd" + struct.pack(">IHHH", 6, 0, 1, division)
    track = b"MTrk" + struct.pack(">I", len(events)) + bytes(events)
    return header + track


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "data", "sample", "sound")
    os.makedirs(folder, exist_ok=True)
    write_wav(os.path.join(folder, "horn.wav"), horn())
    write_wav(os.path.join(folder, "engine.wav"), engine())
    with open(os.path.join(folder, "tune.mid"), "wb") as f:
        f.write(tune())


if __name__ == "__main__":
    main()
