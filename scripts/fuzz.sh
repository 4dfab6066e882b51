#!/usr/bin/env bash
# Runs the command-line fuzz target for a bounded time (seconds, default 60); fails on a finding.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-60}
scripts/setup.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
# New inputs go to a scratch corpus; the checked-in seeds stay as they are.
mkdir -p .fuzz/corpus .fuzz/findings
status=0
./build/fuzz/tests/fuzz/fuzz_cmdline -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix=.fuzz/findings/ .fuzz/corpus tests/fuzz/corpus >.fuzz/log 2>&1 || status=$?
grep -E '^(Done|stat::number_of_executed_units|==[0-9]+==|SUMMARY)' .fuzz/log || true
if [ "$status" -eq 0 ]; then
    echo "fuzz: no finding in $seconds s"
else
    tail -n 40 .fuzz/log
    echo "fuzz: finding (status $status), input saved in .fuzz/findings"
fi
exit "$status"
