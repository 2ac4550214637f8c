#!/usr/bin/env python3
"""Writes formula-like test inputs for the benchmarks.

  make_formulas.py file OUT SIZE_BYTES [ENC] one file (ENC: utf-8, the default, gbk or
                                            utf-16-le, with a byte-order mark), four default keys
                                            present, the last of them on its last line
  make_formulas.py folder DIR COUNT SIZE    COUNT GBK files of about SIZE bytes each
  make_formulas.py tree DIR COUNT FOLDERS   COUNT files of 500 to 1,000 bytes in FOLDERS
                                            subfolders, GBK and UTF-8 by turns, as real
                                            formula folders hold them
  make_formulas.py keys OUT                 the default library's search keys, one a line
  make_formulas.py library OUT KEYS COUNT   a library of COUNT entries (the defaults first, then
                                            function names that no formula line holds, many of
                                            them beginning like HIGH, LOW, CLOSE or VOL) as
                                            code.ini, and its search keys as KEYS
"""
import os
import random
import sys

# Formula lines that contain no key of the default library in any letter case.
LINES = [
    "MA5:=MA(CLOSE,5);",
    "MA10:=MA(CLOSE,10);",
    "{ 均线金叉，放量突破，短线买点 }",
    "VAR1:=REF(HHV(HIGH,20),1);",
    "VAR2:=(CLOSE-LLV(LOW,9))/(HHV(HIGH,9)-LLV(LOW,9))*100;",
    "DRAWTEXT(CROSS(MA5,MA10),LOW*0.98,'B'),COLORRED;",
    "量比:=VOL/MA(VOL,5);",
    "{ 以下为辅助线，仅供参考，不构成投资建议 }",
    "K:=SMA(VAR2,3,1); D:=SMA(K,3,1); J:=3*K-2*D;",
    "STICKLINE(CLOSE>OPEN,CLOSE,OPEN,0.8,0),COLORRED;",
    "RSI6:=SMA(MAX(CLOSE-REF(CLOSE,1),0),6,1)/SMA(ABS(CLOSE-REF(CLOSE,1)),6,1)*100;",
    "// 主力资金流向指标 成交额放大",
    "BOLL:=MA(CLOSE,20); UB:=BOLL+2*STD(CLOSE,20); LB:=BOLL-2*STD(CLOSE,20);",
    "XG:CROSS(C,MA(C,60)) AND V>MA(V,5)*1.5;",
]
KEYS = ["ZIG(", "PEAK(", "PEAKBARS(", "TROUGH(", "TROUGHBARS(", "FLATZIG(", "FLATZIGA(",
        "PEAKA(", "PEAKBARSA(", "TROUGHA(", "ZIGA(", "FFT(", "BACKSET(", "WINNER(", "LWINNER(",
        "COST(", "DYNAINFO(", "FINANCE(", "DRAWLINE(", "#YEAR", "#MONTH", "#WEEK", "CAPITAL",
        "DCLOSE", "DOPEN", "DLOW", "DVOL"]
# The four keys planted in a big file, the last one on its last line.
PLANTED = ["zig(c,5)", "DVOL", "#week", "Backset(c>o,2)"]


def formula_lines(rng, size):
    total = 0
    while total < size:
        line = rng.choice(LINES)
        total += len(line.encode("utf-8")) + 2
        yield line


def write_file(out, size, encoding="utf-8"):
    rng = random.Random(7)
    # Sized by the UTF-8 text: the other encodings scale it to come out at about size bytes.
    scale = {"utf-8": 1.0, "gbk": 1.0 / 0.925, "utf-16-le": 0.59}[encoding]
    lines = list(formula_lines(rng, int(size * scale)))
    for index, key in enumerate(PLANTED[:-1]):
        at = (index + 1) * len(lines) // 4
        lines[at] = "X%d:=%s+1;" % (index, key)
    lines.append("LAST:=%s;" % PLANTED[-1])
    with open(out, "w", encoding=encoding, newline="") as f:
        if encoding == "utf-16-le":
            f.write("\ufeff")
        f.write("\r\n".join(lines))


def write_folder(folder, count, size):
    rng = random.Random(11)
    os.makedirs(folder, exist_ok=True)
    for n in range(count):
        lines = list(formula_lines(rng, size))
        if n % 10 == 0:  # one file in ten uses a future function
            lines[rng.randrange(len(lines))] = "X:=%s;" % rng.choice(PLANTED)
        with open(os.path.join(folder, "f%04d.txt" % n), "w", encoding="gbk", newline="") as f:
            f.write("\r\n".join(lines) + "\r\n")


def write_tree(folder, count, folders):
    rng = random.Random(13)
    for n in range(count):
        sub = os.path.join(folder, "d%02d" % (n % folders))
        os.makedirs(sub, exist_ok=True)
        encoding = "gbk" if n % 2 == 0 else "utf-8"
        size = rng.randint(500, 1000)
        lines = []
        length = lambda: len(("\r\n".join(lines) + "\r\n").encode(encoding))
        while length() < size:  # the size in the file's own encoding
            lines.append(rng.choice(LINES))
        if n % 10 == 0:  # one file in ten uses a future function
            lines[rng.randrange(len(lines))] = "X:=%s;" % rng.choice(PLANTED)
        while length() > 1000:
            lines.pop(0)
        while length() < 500:
            lines.append(min(LINES, key=len))
        with open(os.path.join(sub, "f%05d.txt" % n), "w", encoding=encoding, newline="") as f:
            f.write("\r\n".join(lines) + "\r\n")


# Syllables of generated function names: formula words, so that many names begin like the
# words every formula is full of.
SYLLABLES = ["HIGH", "LOW", "CLOSE", "VOL", "OPEN", "AMO", "BAR", "SUM", "AVG", "DIF", "DEA",
             "KDJ", "RSI", "ATR", "OBV", "WR", "BIAS", "CCI", "MTM", "ROC", "PSY", "DMA", "TRIX",
             "XMA", "TOP", "BOT", "UP", "DN", "MID", "LINE", "BAND", "FAST", "SLOW", "LONG"]


def write_library(out, keys_out, count):
    rng = random.Random(count)
    entries = ["$" + k[:-1] if k.endswith("(") else k for k in KEYS]
    text = "\n".join(LINES).lower()
    seen = {e.lower() for e in entries}
    while len(entries) < count:
        name = "".join(rng.choice(SYLLABLES) for _ in range(rng.randint(2, 3)))
        if rng.random() < 0.5:
            name += str(rng.randint(1, 99))
        entry = "$" + name if rng.random() < 0.5 else name
        key = entry[1:] + "(" if entry.startswith("$") else entry
        if entry.lower() in seen or key.lower() in text:
            continue
        seen.add(entry.lower())
        entries.append(entry)
    with open(out, "w", encoding="utf-8", newline="") as f:
        f.write("".join(e + "\r\n" for e in entries))
    with open(keys_out, "w", encoding="utf-8") as f:
        f.write("".join((e[1:] + "(" if e.startswith("$") else e) + "\n" for e in entries))


def main(argv):
    if argv[1] == "file":
        write_file(argv[2], int(argv[3]), argv[4] if len(argv) > 4 else "utf-8")
    elif argv[1] == "library":
        write_library(argv[2], argv[3], int(argv[4]))
    elif argv[1] == "folder":
        write_folder(argv[2], int(argv[3]), int(argv[4]))
    elif argv[1] == "tree":
        write_tree(argv[2], int(argv[3]), int(argv[4]))
    elif argv[1] == "keys":
        with open(argv[2], "w", encoding="utf-8") as f:
            f.write("".join(k + "\n" for k in KEYS))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
