#!/usr/bin/env python3
"""Writes formula-like test inputs for the benchmarks.

  make_formulas.py file OUT SIZE_BYTES      one UTF-8 file, four default keys present, the last
                                            of them on its last line
  make_formulas.py folder DIR COUNT SIZE    COUNT GBK files of about SIZE bytes each
  make_formulas.py keys OUT                 the default library's search keys, one a line
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


def write_file(out, size):
    rng = random.Random(7)
    lines = list(formula_lines(rng, size))
    for index, key in enumerate(PLANTED[:-1]):
        at = (index + 1) * len(lines) // 4
        lines[at] = "X%d:=%s+1;" % (index, key)
    lines.append("LAST:=%s;" % PLANTED[-1])
    with open(out, "w", encoding="utf-8", newline="") as f:
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


def main(argv):
    if argv[1] == "file":
        write_file(argv[2], int(argv[3]))
    elif argv[1] == "folder":
        write_folder(argv[2], int(argv[3]), int(argv[4]))
    elif argv[1] == "keys":
        with open(argv[2], "w", encoding="utf-8") as f:
            f.write("".join(k + "\n" for k in KEYS))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
