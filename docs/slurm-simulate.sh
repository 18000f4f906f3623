#!/usr/bin/env bash
# The statistical simulation as a SLURM job array with a merge step.
#
# Run it on the login node with the options of `quillmore-cli simulate`:
#
#   SHARDS=16 docs/slurm-simulate.sh --series-type unfixed --task joint --repeats 400
#
# It submits itself twice: an array of SHARDS tasks (--array=1-SHARDS), task
# K simulating shard K/SHARDS into part-K.json, and a merge job that starts
# once every task has ended well (afterok) and writes result.txt, exactly
# what `quillmore-cli simulate` with the same options prints. Each task's log
# (slurm-<job>_<task>.log) holds a progress line a second.
#
# Settings, from the environment:
#   SHARDS         tasks of the array (8)
#   CPUS           processors per task (4); quillmore-cli runs that many
#                  threads through SLURM_CPUS_PER_TASK, unless OMP_NUM_THREADS
#                  is set in the environment you submit from
#   TIME           time limit per task (01:00:00)
#   PARTS          the folder for the parts, the logs and result.txt; a fresh
#                  one per run (./quillmore-simulation-<date>-<time>)
#   MERGE_FORMAT   --json or --csv for result.txt (text when empty)
#   QUILLMORE_CLI  the program (build/release/app/cli/quillmore-cli beside
#                  this folder)
#
# A task that fails leaves no part; the merge job then never starts (and
# `quillmore-cli merge` would refuse the incomplete set anyway). Re-running a
# failed task alone is fine: `sbatch --array=K ... docs/slurm-simulate.sh
# --shard-task` with the same environment, then the merge.
set -euo pipefail

if [[ ${1:-} != --shard-task && ${1:-} != --merge-task ]]; then
  here=$(cd "$(dirname "$0")/.." && pwd)
  export QUILLMORE_CLI=${QUILLMORE_CLI:-$here/build/release/app/cli/quillmore-cli}
  export PARTS=${PARTS:-$PWD/quillmore-simulation-$(date +%Y%m%d-%H%M%S)}
  export SHARDS=${SHARDS:-8}
  export MERGE_FORMAT=${MERGE_FORMAT:-}
  export SIMULATE_OPTIONS="$*"
  if [[ ! -x $QUILLMORE_CLI ]]; then
    echo "slurm-simulate: no program at $QUILLMORE_CLI; build it or set QUILLMORE_CLI" >&2
    exit 1
  fi
  mkdir -p "$PARTS"
  shards=$(sbatch --parsable --job-name=quillmore-shards --array="1-$SHARDS" \
    --cpus-per-task="${CPUS:-4}" --time="${TIME:-01:00:00}" \
    --output="$PARTS/slurm-%A_%a.log" "$0" --shard-task)
  shards=${shards%%;*}  # "job;cluster" on a federation
  merge=$(sbatch --parsable --job-name=quillmore-merge --dependency="afterok:$shards" \
    --cpus-per-task=1 --time=00:10:00 --output="$PARTS/slurm-%j-merge.log" "$0" --merge-task)
  echo "submitted shards $shards (1-$SHARDS) and merge ${merge%%;*}; the result will be $PARTS/result.txt"
  exit 0
fi

if [[ $1 == --shard-task ]]; then
  # shellcheck disable=SC2086
  exec "$QUILLMORE_CLI" simulate $SIMULATE_OPTIONS --progress \
    --shard "$SLURM_ARRAY_TASK_ID/$SHARDS" --out "$PARTS/part-$SLURM_ARRAY_TASK_ID.json"
fi

# Every part of the run, in any order; written beside and renamed, so that a
# result.txt is always whole.
# shellcheck disable=SC2086
"$QUILLMORE_CLI" merge "$PARTS"/part-*.json $MERGE_FORMAT >"$PARTS/result.txt.tmp"
mv "$PARTS/result.txt.tmp" "$PARTS/result.txt"
