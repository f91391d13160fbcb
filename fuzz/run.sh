#!/usr/bin/env bash
# Runs one libFuzzer target over its seed corpus: fuzz/run.sh FUZZER [libFuzzer options].
# The whole-conversion target also starts from the sample projects in examples/.
# New inputs go to a working corpus beside the fuzzer binary (the seeds in the repo stay
# as they are); an input that fails a check is saved under artifacts/ there and the run
# fails, as does one input that takes longer than 30 s. Prints libFuzzer's closing
# statistics (executions, coverage).
set -euo pipefail
fuzzer=$1
shift
name=$(basename "$fuzzer" _fuzzer)
here=$(cd "$(dirname "$0")" && pwd)
work=$(cd "$(dirname "$fuzzer")" && pwd)
mkdir -p "$work/corpus/$name" "$work/artifacts/$name"
seeds=("$here/corpus/$name")
if [ "$name" = convert_project ]; then seeds+=("$here/../examples"); fi
exec "$fuzzer" "$work/corpus/$name" "${seeds[@]}" -dict="$here/kef.dict" \
  -artifact_prefix="$work/artifacts/$name/" -max_len=4096 -timeout=30 -print_final_stats=1 "$@"
