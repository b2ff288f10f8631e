#!/usr/bin/env python3
"""Corpus for describebench: record files of known layout, and their truth.

    describe_corpus.py FOLDER [--files N] [--seed S] [--max-records M]

Writes FOLDER/NNN.bin and FOLDER/manifest.json: for each file its header
length, record length, record count and true fields (start, length, kind).
Random layouts have 2 to 16 fields of every kind with realistic values
(counters, time stamps, measurements in a range, codes, blank- and
zero-padded text, flags, padding), 50 to 1,000,000 records, half of them
behind a header. Real formats are made with the standard library: WAV sample
frames (wave), a dBase III table written byte by byte, arrays of packed C
structs (struct).
"""
import argparse
import json
import math
import os
import random
import struct
import wave

WORDS = ("north south east west alpha beta gamma delta pump valve motor sensor line "
         "station berlin paris oslo lima quito tokyo cairo delhi lagos perth anna "
         "bob carla dieter emma felix greta hans ines jan karl lena").split()

OLE_2019 = 43466.0   # 2019-01-01 as days since 1899-12-30
OLE_2026 = 46388.0   # 2027-01-01
UNIX_2019 = 1546300800


def text_value(rng, length, caps):
    words = []
    while True:
        w = rng.choice(WORDS)
        w = w.upper() if caps else w.capitalize()
        cand = " ".join(words + [w])
        if len(cand) > length or (words and rng.random() < 0.5):
            break
        words.append(w)
    return " ".join(words)[:length] or "X"


class Field:
    """A field of a random layout: kind name, length, and a value maker that
    returns the field's bytes for record i."""

    def __init__(self, kind, length, make, what):
        self.kind, self.length, self.make, self.what = kind, length, make, what


def random_field(rng):
    r = rng.random()
    choices = [
        "counter4", "counter2", "counter8", "ole", "unix", "unixms", "float", "double",
        "short", "ushort", "int", "byte", "code1", "code2", "char", "hex", "text_space",
        "text_zero", "flags", "padding", "currency",
    ]
    what = rng.choice(choices)
    if what == "counter4":
        start, step = rng.randrange(0, 2_000_000), rng.choice([1, 1, 1, 2, 10])
        return Field("4Bunsigned", 4, lambda i: struct.pack("<I", start + step * i), what)
    if what == "counter2":
        start = rng.randrange(0, 1000)
        return Field("2Bunsigned", 2, lambda i: struct.pack("<H", (start + i) & 0xFFFF), what)
    if what == "counter8":
        start = rng.randrange(10**11, 10**13)
        return Field("8Bsigned", 8, lambda i: struct.pack("<q", start + i), what)
    if what == "ole":
        t0 = rng.uniform(OLE_2019, OLE_2026 - 400)
        rising = rng.random() < 0.7
        state = {"t": t0}

        def ole(i):
            if rising:
                state["t"] += rng.uniform(0, 1 / 96)
                return struct.pack("<d", state["t"])
            return struct.pack("<d", rng.uniform(OLE_2019, OLE_2026))
        return Field("8BDateTime", 8, ole, what)
    if what == "unix":
        t0 = UNIX_2019 + rng.randrange(0, 200_000_000)
        state = {"t": t0}

        def unix(i):
            state["t"] += rng.randrange(0, 120)
            return struct.pack("<I", state["t"])
        return Field("4Bunsigned", 4, unix, what)
    if what == "unixms":
        t0 = (UNIX_2019 + rng.randrange(0, 200_000_000)) * 1000
        state = {"t": t0}

        def unixms(i):
            state["t"] += rng.randrange(0, 60_000)
            return struct.pack("<q", state["t"])
        return Field("8Bsigned", 8, unixms, what)
    if what in ("float", "double"):
        lo, hi = rng.choice([(0, 1), (-50, 50), (900, 1100), (0, 1000), (0, 100000), (-1, 1),
                             (20, 30)])
        fmt = "<f" if what == "float" else "<d"
        return Field("4BFloat" if what == "float" else "8BDouble", 4 if what == "float" else 8,
                     lambda i: struct.pack(fmt, rng.uniform(lo, hi)), what)
    if what == "short":
        lo, hi = rng.choice([(-400, 600), (-2000, 2000), (-30000, 30000)])
        return Field("2Bsigned", 2, lambda i: struct.pack("<h", rng.randint(lo, hi)), what)
    if what == "ushort":
        hi = rng.choice([4095, 1023, 65535, 20000])
        return Field("2Bunsigned", 2, lambda i: struct.pack("<H", rng.randint(0, hi)), what)
    if what == "int":
        lo, hi = rng.choice([(-1_000_000, 1_000_000), (0, 10_000_000), (-100_000, 5_000_000)])
        return Field("4Bsigned", 4, lambda i: struct.pack("<i", rng.randint(lo, hi)), what)
    if what == "byte":
        return Field("1Bsigned", 1, lambda i: struct.pack("<b", rng.randint(-50, 50)), what)
    if what == "code1":
        codes = rng.sample(range(1, 40), rng.randint(3, 8))
        return Field("1Bunsigned", 1, lambda i: bytes([rng.choice(codes)]), what)
    if what == "code2":
        codes = rng.sample(range(100, 5000), rng.randint(3, 10))
        return Field("2Bunsigned", 2, lambda i: struct.pack("<H", rng.choice(codes)), what)
    if what == "char":
        letters = rng.sample("ABCDEFGHKLMNPRSTXYZ", rng.randint(2, 6))
        return Field("1BChar", 1, lambda i: rng.choice(letters).encode(), what)
    if what == "hex":
        return Field("1BHex", 1, lambda i: bytes([rng.randrange(256)]), what)
    if what in ("text_space", "text_zero"):
        length = rng.randint(4, 32)
        pad = b" " if what == "text_space" else b"\0"
        caps = rng.random() < 0.5
        return Field("string", length,
                     lambda i: text_value(rng, length, caps).encode().ljust(length, pad), what)
    if what == "flags":
        bits = rng.sample([1, 2, 4, 8, 16, 32, 64, 128], rng.randint(2, 4))

        def flags(i):
            v = 0
            for b in bits:
                if rng.random() < 0.3:
                    v |= b
            return bytes([v])
        return Field("1BBit", 1, flags, what)
    if what == "padding":
        length = rng.randint(1, 8)
        return Field("unKnow", length, lambda i: bytes(length), what)
    assert what == "currency"
    hi = rng.choice([1000, 100000, 10_000_000])
    return Field("8BCurrency", 8,
                 lambda i: struct.pack("<q", rng.randint(-hi, hi) * 100), what)


def random_layout(rng):
    fields = []
    count = rng.randint(2, 16)
    while len(fields) < count:
        f = random_field(rng)
        prev = fields[-1] if fields else None
        # A zero run next to zero padding has no boundary anyone could see;
        # neither has a layout of nothing but padding.
        if f.what == "padding" and (prev is None or prev.what in ("padding", "text_zero")):
            continue
        if prev is not None and prev.what == "padding" and f.what == "text_zero":
            continue
        fields.append(f)
    if all(f.what == "padding" for f in fields):
        return random_layout(rng)
    return fields


def header_bytes(rng, n_records, record_length):
    length = rng.choice([16, 32, 44, 64, 100, 128, 256, 512, 1000, 4096])
    h = bytearray(rng.choice([b"DATA", b"LOG1", b"\x89REC", b"MSRM"]))
    h += struct.pack("<HHII", 2, record_length, n_records, UNIX_2019 + rng.randrange(10**8))
    h += text_value(rng, 24, True).encode().ljust(24, b"\0")
    h += struct.pack("<d", rng.uniform(OLE_2019, OLE_2026))
    while len(h) < length:
        h += bytes(rng.randrange(256) if rng.random() < 0.2 else 0 for _ in range(16))
    return bytes(h[:length])


def write_random(folder, name, rng, max_records):
    fields = random_layout(rng)
    n = int(math.exp(rng.uniform(math.log(50), math.log(max_records))))
    record_length = sum(f.length for f in fields)
    header = header_bytes(rng, n, record_length) if rng.random() < 0.5 else b""
    with open(os.path.join(folder, name), "wb") as out:
        out.write(header)
        chunk = []
        for i in range(n):
            chunk.append(b"".join(f.make(i) for f in fields))
            if len(chunk) >= 4096:
                out.write(b"".join(chunk))
                chunk = []
        out.write(b"".join(chunk))
    start, truth = 0, []
    for f in fields:
        truth.append({"start": start, "length": f.length, "kind": f.kind, "what": f.what})
        start += f.length
    return {"file": name, "family": "random", "header": len(header),
            "recordLength": record_length, "records": n, "fields": truth}


def write_wav(folder, name, rng, max_records):
    channels = rng.choice([1, 2])
    width = rng.choice([1, 2, 3, 4])
    rate = rng.choice([8000, 22050, 44100])
    frames = int(math.exp(rng.uniform(math.log(2000), math.log(min(max_records, 400000)))))
    # Sound as recordings have it: a few tones that come and go, over noise
    # that is smoothed (most energy is low in the spectrum), per channel.
    tones = [[(rng.uniform(80, 3000), rng.uniform(0.05, 0.3), rng.uniform(0.1, 3))
              for _ in range(3)] for _ in range(channels)]
    smooth = [0.0] * channels
    path = os.path.join(folder, name)
    with wave.open(path, "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(width)
        w.setframerate(rate)
        data = bytearray()
        top = (1 << (8 * width - 1)) - 1
        for i in range(frames):
            for c in range(channels):
                t = i / rate
                v = sum(a * (0.5 + 0.5 * math.sin(2 * math.pi * t / swell))
                        * math.sin(2 * math.pi * f * t) for f, a, swell in tones[c])
                smooth[c] = 0.95 * smooth[c] + rng.gauss(0, 0.02)
                v = max(-0.99, min(0.99, v + smooth[c]))
                s = int(v * top)
                if width == 1:
                    data += bytes([s + 128])  # 8-bit WAV samples are unsigned
                else:
                    data += s.to_bytes(width, "little", signed=True)
        w.writeframes(bytes(data))
    kinds = {1: "1Bunsigned", 2: "2Bsigned", 4: "4Bsigned"}
    truth = []
    for c in range(channels):
        kind = kinds.get(width, "unKnow")
        truth.append({"start": c * width, "length": width, "kind": kind, "what": "sample"})
    return {"file": name, "family": "wav", "header": 44, "recordLength": channels * width,
            "records": frames, "fields": truth}


def write_dbase(folder, name, rng, max_records):
    # dBase III: 32-byte header, 32 bytes per field descriptor, 0x0D, then
    # records of a deletion flag and the fields as text; 0x1A after the last.
    cols = [("NAME", "C", 20), ("CITY", "C", 14), ("QTY", "N", 6), ("PRICE", "N", 10),
            ("DATE", "D", 8), ("OK", "L", 1)]
    rng.shuffle(cols)
    cols = cols[: rng.randint(3, len(cols))]
    n = int(math.exp(rng.uniform(math.log(50), math.log(min(max_records, 200000)))))
    record_length = 1 + sum(c[2] for c in cols)
    header_length = 32 + 32 * len(cols) + 1
    out = bytearray(struct.pack("<BBBBIHH20x", 3, 125, 6, 1, n, header_length, record_length))
    for cname, ctype, clen in cols:
        out += struct.pack("<11sc4xBB14x", cname.encode(), ctype.encode(), clen,
                           2 if cname == "PRICE" else 0)
    out += b"\x0d"
    truth = [{"start": 0, "length": 1, "kind": "1BChar", "what": "deleted"}]
    start = 1
    for cname, ctype, clen in cols:
        truth.append({"start": start, "length": clen, "kind": "string", "what": cname})
        start += clen
    for i in range(n):
        rec = bytearray(b"*" if rng.random() < 0.02 else b" ")
        for cname, ctype, clen in cols:
            if ctype == "C":
                rec += text_value(rng, clen, True).encode().ljust(clen)
            elif cname == "QTY":
                rec += str(rng.randint(0, 9999)).rjust(clen).encode()
            elif cname == "PRICE":
                rec += ("%.2f" % rng.uniform(0, 99999)).rjust(clen).encode()
            elif ctype == "D":
                rec += "20%02d%02d%02d".encode() % (rng.randint(19, 26), rng.randint(1, 12),
                                                     rng.randint(1, 28))
            else:
                rec += rng.choice(b"TF?").to_bytes(1, "little")
        out += rec
    out += b"\x1a"
    with open(os.path.join(folder, name), "wb") as f:
        f.write(out)
    # The end-of-file mark is a one-byte trailer after the last record.
    return {"file": name, "family": "dbase", "header": header_length,
            "recordLength": record_length, "records": n, "fields": truth}


def write_cstruct(folder, name, rng, max_records):
    layouts = [
        ("<IffH2x", [("4Bunsigned", 4, "counter4"), ("4BFloat", 4, "float"),
                     ("4BFloat", 4, "float"), ("2Bunsigned", 2, "ushort"),
                     ("unKnow", 2, "padding")]),
        ("<qd16sI4x", [("8Bsigned", 8, "unixms"), ("8BDouble", 8, "double"),
                       ("string", 16, "text_zero"), ("4Bunsigned", 4, "code"),
                       ("unKnow", 4, "padding")]),
        ("<HhhhB3x", [("2Bunsigned", 2, "counter2"), ("2Bsigned", 2, "short"),
                      ("2Bsigned", 2, "short"), ("2Bsigned", 2, "short"),
                      ("1BBit", 1, "flags"), ("unKnow", 3, "padding")]),
    ]
    fmt, fields = rng.choice(layouts)
    n = int(math.exp(rng.uniform(math.log(50), math.log(min(max_records, 300000)))))
    t = (UNIX_2019 + rng.randrange(10**8)) * 1000
    codes = rng.sample(range(1, 1000), 5)
    rows = []
    for i in range(n):
        t += rng.randrange(1, 5000)
        if fmt == "<IffH2x":
            rows.append(struct.pack(fmt, i, rng.uniform(-20, 40), rng.uniform(0, 1),
                                    rng.randint(0, 4095)))
        elif fmt == "<qd16sI4x":
            rows.append(struct.pack(fmt, t, rng.uniform(950, 1050),
                                    text_value(rng, 15, False).encode(), rng.choice(codes)))
        else:
            rows.append(struct.pack(fmt, i & 0xFFFF, rng.randint(-1000, 1000),
                                    rng.randint(-1000, 1000), rng.randint(-1000, 1000),
                                    rng.choice([0, 1, 4, 5, 64, 65])))
    with open(os.path.join(folder, name), "wb") as f:
        f.write(b"".join(rows))
    truth, start = [], 0
    for kind, length, what in fields:
        truth.append({"start": start, "length": length, "kind": kind, "what": what})
        start += length
    return {"file": name, "family": "cstruct", "header": 0, "recordLength": start,
            "records": n, "fields": truth}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("folder")
    ap.add_argument("--files", type=int, default=120, help="random layouts")
    ap.add_argument("--real", type=int, default=8, help="files of each real format")
    ap.add_argument("--seed", type=int, default=27)
    ap.add_argument("--max-records", type=int, default=1_000_000)
    a = ap.parse_args()
    os.makedirs(a.folder, exist_ok=True)
    rng = random.Random(a.seed)
    manifest = []
    k = 0
    for maker, count in ((write_random, a.files), (write_wav, a.real), (write_dbase, a.real),
                         (write_cstruct, a.real)):
        for _ in range(count):
            manifest.append(maker(a.folder, "%03d.bin" % k, rng, a.max_records))
            k += 1
    with open(os.path.join(a.folder, "manifest.json"), "w") as f:
        json.dump(manifest, f, indent=1)


if __name__ == "__main__":
    main()
