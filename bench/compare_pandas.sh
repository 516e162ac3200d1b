#!/usr/bin/env bash
# Times tabvoro-cli capture against pandas.read_html (lxml) on the generated pages and prints
# one line per page with wall time, peak memory and the pandas/tabvoro ratios.
#
#   bash bench/compare_pandas.sh [--only rows10k,tables200] [--runs N]
#
# Environment: BENCH_ONLY, BENCH_RUNS (same as the flags), BENCH_DATA (page folder, default
# bench/data), TABVORO_CLI (use this binary instead of building build/src/app/tabvoro-cli).
# Missed targets are printed, never turned into a failing exit status: this is a measurement,
# not a gate.
set -euo pipefail
export LC_NUMERIC=C  # EPOCHREALTIME and awk must agree on the decimal point

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
data=${BENCH_DATA:-$here/data}
build_dir=$root/build
cli=${TABVORO_CLI:-$build_dir/src/app/tabvoro-cli}
only=${BENCH_ONLY:-}
runs=${BENCH_RUNS:-3}
all_pages=(rows10k rows100k spans2k tables200)
# Debian's pandas and lxml live in the system interpreter's dist-packages; a python3 from
# pyenv or a venv earlier on PATH would not see them.
py=/usr/bin/python3

while [ $# -gt 0 ]; do
  case $1 in
    --only) only=$2; shift 2 ;;
    --only=*) only=${1#*=}; shift ;;
    --runs) runs=$2; shift 2 ;;
    --runs=*) runs=${1#*=}; shift ;;
    -h|--help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "compare_pandas: unknown argument: $1" >&2; exit 2 ;;
  esac
done

pages=()
if [ -n "$only" ]; then
  IFS=, read -r -a pages <<<"$only"
  for p in "${pages[@]}"; do
    [[ " ${all_pages[*]} " == *" $p "* ]] || { echo "compare_pandas: unknown page: $p" >&2; exit 2; }
  done
else
  pages=("${all_pages[@]}")
fi

ensure_packages() {
  local missing=() p
  for p in python3-pandas python3-lxml time; do
    dpkg -s "$p" 2>/dev/null | grep -q '^Status: install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  echo "compare_pandas: installing ${missing[*]}" >&2
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Builds the CLI when it is missing. An existing build tree keeps the build type it was
# configured with (the lead's tree must not be switched under them); a fresh one is Release.
# Returns non-zero when no binary can be had, and the comparison then shows pandas alone.
ensure_cli() {
  [ -x "$cli" ] && return 0
  if [ -n "${TABVORO_CLI:-}" ]; then
    echo "compare_pandas: TABVORO_CLI=$cli is not an executable" >&2
    return 1
  fi
  echo "compare_pandas: building tabvoro-cli into $build_dir" >&2
  [ -x "$root/scripts/setup" ] && "$root/scripts/setup"
  if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release >&2 || return 1
  fi
  cmake --build "$build_dir" --target tabvoro-cli >&2 || return 1
  [ -x "$cli" ]
}

ensure_packages
have_cli=1
if ! ensure_cli; then
  have_cli=0
  echo "compare_pandas: no tabvoro-cli; measuring pandas only" >&2
fi

missing_pages=()
for p in "${pages[@]}"; do
  [ -f "$data/$p.html" ] || missing_pages+=("$p")
done
if [ ${#missing_pages[@]} -gt 0 ]; then
  "$py" "$here/generate_pages.py" --out "$data" --only "$(IFS=,; echo "${missing_pages[*]}")" >&2
fi

tmp=$(mktemp -d "${TMPDIR:-/tmp}/tabvoro-bench.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

# measure OUTDIR CMD... : runs CMD $runs times, each with a fresh, empty OUTDIR (which CMD
# writes into), and sets best_s (fastest wall time), peak_mb (highest peak RSS over the runs),
# fail (empty on success, else the exit status and first error line) and out_lines (lines
# written to OUTDIR by the last run). The wall time comes from the shell's microsecond clock
# because %e only has centiseconds, too coarse for the small pages.
measure() {
  local outdir=$1; shift
  local i rc t0 t1 wall kb
  best_s='' peak_mb=0 fail='' out_lines=0
  for ((i = 1; i <= runs; i++)); do
    rm -rf "$outdir"; mkdir -p "$outdir"
    rc=0
    t0=$EPOCHREALTIME
    /usr/bin/time -f '%e %M' -o "$tmp/time" "$@" >"$tmp/stdout" 2>"$tmp/stderr" || rc=$?
    t1=$EPOCHREALTIME
    if [ $rc -ne 0 ]; then
      fail="exit $rc: $(grep -v -m1 '^Command exited' "$tmp/stderr" || true)"
      return
    fi
    wall=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }')
    kb=$(awk 'END { print $2 }' "$tmp/time")
    best_s=$(awk -v w="$wall" -v b="$best_s" 'BEGIN { print (b == "" || w < b) ? w : b }')
    peak_mb=$(awk -v k="$kb" -v m="$peak_mb" 'BEGIN { k /= 1024; print (k > m) ? k : m }')
  done
  out_lines=$(find "$outdir" -type f -exec cat {} + | wc -l)
}

ratio() { awk -v p="$1" -v t="$2" 'BEGIN { if (t > 0) printf "%.1fx", p / t; else print "n/a" }'; }

if [ $have_cli -eq 1 ] && [ -f "$build_dir/CMakeCache.txt" ] && [ -z "${TABVORO_CLI:-}" ]; then
  echo "tabvoro-cli: $cli ($(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build_dir/CMakeCache.txt") build)"
fi
echo "pandas $("$py" -c 'import pandas, lxml.etree as e; print(pandas.__version__, "lxml", ".".join(map(str, e.LXML_VERSION)))'), best of $runs runs"

declare -A speed mem
for p in "${pages[@]}"; do
  page=$data/$p.html
  t_part="tabvoro n/a"
  t_s='' t_mb='' t_lines=''
  if [ $have_cli -eq 1 ]; then
    measure "$tmp/tabvoro" "$cli" capture --header --out-dir "$tmp/tabvoro/" "$page"
    if [ -n "$fail" ]; then
      t_part="tabvoro FAILED ($fail)"
    else
      t_s=$best_s t_mb=$peak_mb t_lines=$out_lines
      t_part=$(printf 'tabvoro %.2fs %.1fMB' "$t_s" "$t_mb")
    fi
  fi

  measure "$tmp/pandas" "$py" "$here/pandas_reference.py" "$page" "$tmp/pandas/out.csv"
  if [ -n "$fail" ]; then
    printf '%-10s  %s  pandas FAILED (%s)\n' "$p" "$t_part" "$fail"
    continue
  fi
  p_part=$(printf 'pandas %.2fs %.1fMB' "$best_s" "$peak_mb")
  if [ -n "$t_s" ]; then
    speed[$p]=$(ratio "$best_s" "$t_s")
    mem[$p]=$(ratio "$peak_mb" "$t_mb")
    printf '%-10s  %s  %s  speed ratio %s  memory ratio %s\n' "$p" "$t_part" "$p_part" "${speed[$p]}" "${mem[$p]}"
    # A fast run that drops rows is no win; the line counts make that visible at a glance.
    printf '%-10s  lines written: tabvoro %d, pandas %d\n' "" "$t_lines" "$out_lines"
  else
    printf '%-10s  %s  %s\n' "$p" "$t_part" "$p_part"
  fi
done

echo "targets: rows100k at least 3x faster (now ${speed[rows100k]:-n/a}), tables200 at least 10x faster" \
  "(now ${speed[tables200]:-n/a}), and lower peak memory than pandas (memory ratio above 1.0x) on each page"
