#!/usr/bin/env python3
"""The reference the capture benchmarks compare against: pandas.read_html with the lxml parser,
every table it finds written to one CSV file.

    python3 pandas_reference.py PAGE OUT.csv

Debian's pandas and lxml are installed for /usr/bin/python3, so run it with that interpreter
when another python3 comes first on PATH.
"""

import sys

import pandas as pd


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    page, out = argv
    tables = pd.read_html(page, flavor="lxml", encoding="utf-8")
    rows = 0
    # One file for the whole page, CR LF line ends, header row kept: the same shape the capture
    # writes with --header, so output sizes and row counts can be set side by side.
    with open(out, "w", encoding="utf-8", newline="") as f:
        for table in tables:
            table.to_csv(f, index=False, lineterminator="\r\n")
            rows += len(table)
    print(f"{page}: {len(tables)} tables, {rows} rows -> {out}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
