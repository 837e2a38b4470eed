#!/usr/bin/env bash
# The mutation check: every fault listed in scripts/mutants.txt is applied in
# turn to a scratch copy of the tree, the tests that own the behaviour are
# built and run, and the fault is reported caught (a test failed) or missed.
# A fault whose text is no longer in the code is reported stale. Exit status
# 0 only when every fault was caught.
#
#   scripts/mutants.sh [NAME...]        # all faults, or only those named
#
# Each fault in scripts/mutants.txt is a block:
#   == name: what the fault does
#   file: src/...            the file it changes
#   tests: REGEX             the ctest names that must catch it
#   - text as it stands      (exactly once in the file)
#   + text it becomes
set -euo pipefail
cd "$(dirname "$0")/.."
list=$PWD/scripts/mutants.txt
scratch=$(mktemp -d "${TMPDIR:-/tmp}/jvs-mutants.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export QT_QPA_PLATFORM=offscreen

# The tree as it is now, uncommitted changes included, without build output.
git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf - | tar -xf - -C "$scratch"
build=$scratch/build/mutants
launcher=()
if command -v ccache >/dev/null; then
  # Every run has a new scratch folder: paths relative to it keep the cache useful.
  export CCACHE_BASEDIR=$scratch CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
echo "mutants: configuring the unchanged tree in $scratch"
cmake -S "$scratch" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
# Only the test programs a fault names are built (each ctest name is its
# target's name), and jvs, which many of them run.
targets_for() {
  echo jvs $(ctest --test-dir "$build" -N -R "$1" | sed -n 's/^ *Test *#[0-9]*: *//p')
}

# Prints "name<TAB>file<TAB>tests<TAB>old<TAB>new" per fault, \n escaped.
faults=$(python3 - "$list" "$@" <<'PY'
import sys
path, wanted = sys.argv[1], set(sys.argv[2:])
blocks, cur = [], None
for raw in open(path, encoding="utf-8"):
    line = raw.rstrip("\n")
    if line.startswith("== "):
        cur = {"name": line[3:].split(":")[0].strip(), "old": [], "new": []}
        blocks.append(cur)
    elif cur is None or not line.strip() or line.startswith("#"):
        continue
    elif line.startswith("file: "):
        cur["file"] = line[6:].strip()
    elif line.startswith("tests: "):
        cur["tests"] = line[7:].strip()
    elif line.startswith("- "):
        cur["old"].append(line[2:])
    elif line.startswith("+ "):
        cur["new"].append(line[2:])
for b in blocks:
    if wanted and b["name"] not in wanted:
        continue
    esc = lambda lines: "\\n".join(lines).replace("\t", "\\t")
    print("\t".join([b["name"], b["file"], b["tests"], esc(b["old"]), esc(b["new"])]))
PY
)

# Every test a fault names must pass on the unchanged tree, or a "caught"
# would mean nothing.
all=$(cut -f3 <<<"$faults" | sort -u | paste -sd'|')
echo "mutants: building $(targets_for "$all")"
cmake --build "$build" -j"$(nproc)" --target $(targets_for "$all") >"$scratch/build.log" 2>&1 ||
  { tail -20 "$scratch/build.log"; exit 2; }
if ! ctest --test-dir "$build" -R "$all" --timeout 300 >"$scratch/baseline.log" 2>&1; then
  tail -20 "$scratch/baseline.log"
  echo "mutants: the unchanged tree fails its tests"
  exit 2
fi

caught=0 missed=0 stale=0
# A fault is caught at its first failing test: the rest need not run.
export GTEST_FAIL_FAST=1
while IFS=$'\t' read -r name file tests old new; do
  [ -n "$name" ] || continue
  target=$scratch/$file
  cp "$target" "$scratch/original"
  if ! python3 - "$target" "$old" "$new" <<'PY'
import sys
path, old, new = sys.argv[1], sys.argv[2], sys.argv[3]
dec = lambda s: s.replace("\\n", "\n").replace("\\t", "\t")
old, new = dec(old), dec(new)
text = open(path, encoding="utf-8").read()
if text.count(old) != 1:
    sys.exit(1)
open(path, "w", encoding="utf-8").write(text.replace(old, new))
PY
  then
    echo "STALE   $name ($file: the text is not there exactly once)"
    stale=$((stale + 1))
    continue
  fi
  result=missed
  if ! cmake --build "$build" -j"$(nproc)" --target $(targets_for "$tests") >"$scratch/mutant.log" 2>&1; then
    result=uncompiled
  elif ! ctest --test-dir "$build" -R "$tests" --timeout 300 >"$scratch/mutant.log" 2>&1; then
    result=caught
  fi
  # Back as it was; the next build compiles it again.
  cp "$scratch/original" "$target"
  case $result in
    caught) echo "caught  $name"; caught=$((caught + 1)) ;;
    missed) echo "MISSED  $name (tests: $tests)"; missed=$((missed + 1)) ;;
    *) echo "STALE   $name (does not compile)"; stale=$((stale + 1)) ;;
  esac
done <<<"$faults"
echo "mutants: $caught caught, $missed missed, $stale stale"
[ "$missed" -eq 0 ] && [ "$stale" -eq 0 ]
