#!/usr/bin/env python3
"""Writes the saved pages the capture benchmarks run on.

Every page is built from a fixed seed, so two runs give byte-identical files and timings from
different machines or days compare the same input. Standard library only: the pages must be
makeable before any optional package is installed.

    python3 bench/generate_pages.py [--out DIR] [--only NAME[,NAME...]] [--seed N]
"""

import argparse
import os
import random
import sys

DEFAULT_SEED = 20240611

CITIES = ["北京市", "上海市", "广州市", "深圳市", "杭州市", "成都市", "武汉市", "南京市",
          "重庆市", "天津市", "西安市", "苏州市", "长沙市", "郑州市", "青岛市", "沈阳市"]
PRODUCTS = ["名称", "销量", "库存", "单价", "金额", "数量", "型号", "规格", "品牌", "产地"]
WORDS = ["alpha", "beta", "gamma", "delta", "omega", "sigma", "kappa", "lambda", "theta",
         "vector", "matrix", "sample", "report", "quarter", "region", "market"]
STATES = ["正常", "缺货", "停售", "预售", "在售"]

HEAD = ('<!DOCTYPE html>\n<html lang="zh-CN">\n<head>\n<meta charset="utf-8">\n'
        '<title>{title}</title>\n</head>\n<body>\n')
TAIL = '</body>\n</html>\n'


def grouped(n):
    """An integer written with thousands separators, as shop and statistics pages print them."""
    return f"{n:,}"


def money(rng):
    return f"{rng.randint(1000, 999999) + rng.randint(0, 99) / 100:,.2f}"


class RowsWriter:
    """One large listing table: the shape a product or statistics page has, and the case where
    per-cell cost dominates everything else."""

    HEADER = ["序号", "名称", "城市", "销量", "金额", "代码", "类别", "占比", "日期", "备注"]

    def __init__(self, rng, pad):
        self.rng = rng
        # Extra characters in the free-text column: the knob that puts the big page near its
        # intended size without changing the kind of content.
        self.pad = pad

    def row(self, i):
        rng = self.rng
        city = rng.choice(CITIES)
        note_words = " ".join(rng.choice(WORDS) for _ in range(self.pad))
        # A comma that is not a thousands separator has to survive as text, so some notes have one.
        if i % 3 == 0:
            note = f"{note_words}, {rng.choice(STATES)}"
        else:
            note = f"{rng.choice(PRODUCTS)}{city}{note_words}"
        cells = [
            str(i + 1),
            f'<a href="/item?id={i + 1}&amp;x=1">名称{i + 1}</a>',
            city,
            grouped(rng.randint(1000, 9_999_999)),
            money(rng),
            rng.choice(WORDS) + "-" + str(rng.randint(10, 999)),
            rng.choice(PRODUCTS) + rng.choice(STATES),
            f"{rng.randint(0, 1000) / 10:.1f}%",
            f"2023-{rng.randint(1, 12):02d}-{rng.randint(1, 28):02d}",
            note,
        ]
        # Striped rows as listing pages print them: attributes the parser has to skip over.
        stripe = "odd" if i % 2 else "even"
        return f'<tr class="{stripe}">' + "".join(f"<td>{c}</td>" for c in cells) + "</tr>\n"

    def write(self, f, rows):
        f.write('<h1>销售明细</h1>\n<table class="list" border="1">\n<thead>\n<tr>')
        f.write("".join(f"<th>{h}</th>" for h in self.HEADER))
        f.write("</tr>\n</thead>\n<tbody>\n")
        for i in range(rows):
            f.write(self.row(i))
        f.write("</tbody>\n</table>\n")


def write_rows(path, rows, seed, pad):
    rng = random.Random(seed)
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(HEAD.format(title=f"{rows} 行数据"))
        RowsWriter(rng, pad).write(f, rows)
        f.write(TAIL)


def write_spans(path, seed, rows=2000, cols=8):
    """A table whose grid only exists after rowspan and colspan are resolved.

    The cell pattern is planned on the grid first, so the markup is always a well-formed table:
    a spanning cell never overlaps another or runs past the last row or column.
    """
    rng = random.Random(seed)
    # taken[r] holds the columns of row r already covered by a rowspan from above.
    taken = [set() for _ in range(rows)]
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(HEAD.format(title="合并单元格"))
        f.write('<table border="1">\n<tr>')
        f.write("".join(f"<th>列{c + 1}</th>" for c in range(cols)))
        f.write("</tr>\n")
        for r in range(rows):
            spans = {}  # column -> (rowspan, colspan)
            if r % 7 == 0 and r + 2 < rows:
                c = rng.randrange(cols)
                while c in taken[r]:
                    c = (c + 1) % cols
                wide = r % 35 == 0 and c + 1 < cols and c + 1 not in taken[r]
                spans[c] = (3, 2 if wide else 1)
                for below in (r + 1, r + 2):
                    taken[below].update({c, c + 1} if wide else {c})
            if r % 5 == 0:
                busy = set(taken[r])
                for c, (_, cs) in spans.items():
                    busy.update(range(c, c + cs))
                starts = [c for c in range(cols - 1) if c not in busy and c + 1 not in busy]
                if starts:
                    spans[rng.choice(starts)] = (1, 2)
            f.write("<tr>")
            c = 0
            while c < cols:
                if c in taken[r]:
                    c += 1
                    continue
                rs, cs = spans.get(c, (1, 1))
                attrs = (f' rowspan="{rs}"' if rs > 1 else "") + (f' colspan="{cs}"' if cs > 1 else "")
                if c % 3 == 0:
                    text = grouped(rng.randint(100, 999_999))
                elif c % 3 == 1:
                    text = rng.choice(CITIES) + rng.choice(PRODUCTS)
                else:
                    text = rng.choice(WORDS)
                f.write(f"<td{attrs}>{text}</td>")
                c += cs
            f.write("</tr>\n")
        f.write("</table>\n")
        f.write(TAIL)


def small_table(rng, index, nested):
    rows = rng.randint(5, 20)
    cols = rng.randint(3, 6)
    out = [f'<table id="t{index}" border="1">\n<tr>']
    out.append("".join(f"<th>{rng.choice(PRODUCTS)}{c + 1}</th>" for c in range(cols)))
    out.append("</tr>\n")
    nest_at = (rng.randrange(rows), rng.randrange(cols)) if nested else None
    for r in range(rows):
        out.append("<tr>")
        for c in range(cols):
            if (r, c) == nest_at:
                inner = "".join(
                    f"<tr><td>{rng.choice(WORDS)}</td><td>{grouped(rng.randint(1000, 99999))}</td></tr>"
                    for _ in range(rng.randint(2, 4)))
                out.append(f"<td><table>{inner}</table></td>")
            elif c == 0:
                out.append(f"<td>{rng.choice(CITIES)}</td>")
            elif c % 2:
                out.append(f"<td>{grouped(rng.randint(1000, 9_999_999))}</td>")
            else:
                out.append(f"<td>{rng.choice(WORDS)}</td>")
        out.append("</tr>\n")
    out.append("</table>\n")
    return "".join(out)


def write_tables(path, seed, count=200):
    """Many small tables: per-table and per-page overheads, not per-cell work, decide here."""
    rng = random.Random(seed)
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(HEAD.format(title="多个表格"))
        for i in range(count):
            f.write(f"<h2>表 {i + 1} {rng.choice(CITIES)}</h2>\n<p>{rng.choice(WORDS)} "
                    f"{rng.choice(PRODUCTS)}</p>\n")
            f.write(small_table(rng, i + 1, nested=(i % 3 == 0)))
        f.write(TAIL)


# name -> how to write it. The pad of the two listing pages puts rows100k near 26 MB.
PAGES = {
    "rows10k": lambda p, s: write_rows(p, 10_000, s, pad=3),
    "rows100k": lambda p, s: write_rows(p, 100_000, s + 1, pad=3),
    "spans2k": lambda p, s: write_spans(p, s + 2),
    "tables200": lambda p, s: write_tables(p, s + 3),
}


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--out", default=os.path.join(here, "data"), help="folder for the pages")
    ap.add_argument("--only", default="", help="comma-separated page names: " + ",".join(PAGES))
    ap.add_argument("--seed", type=int, default=DEFAULT_SEED)
    args = ap.parse_args(argv)

    names = [n for n in args.only.split(",") if n] or list(PAGES)
    unknown = [n for n in names if n not in PAGES]
    if unknown:
        ap.error("unknown page: " + ", ".join(unknown))
    os.makedirs(args.out, exist_ok=True)
    for name in names:
        path = os.path.join(args.out, name + ".html")
        PAGES[name](path, args.seed)
        print(f"{path}  {os.path.getsize(path) / 1e6:.1f} MB")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
