#!/bin/bash
# detect over a list of files as a Slurm job array, then one merge.
#
#   ls records/*.csv > files.txt
#   sbatch --array=1-16 docs/slurm-detect.sh files.txt
#
# Each task detects its share of the list (task K of N writes
# parts/detect-K.json) with the options below; the merge job, which waits
# for every task, prints what one `quillmore-cli detect --files files.txt
# ...` prints into detect.jsonl. Change OPTIONS to your layout; --jobs is the
# files a task detects at once (default: the task's CPUs).
#SBATCH --job-name=quillmore-detect
#SBATCH --cpus-per-task=4
#SBATCH --time=01:00:00
#SBATCH --output=logs/detect-%A_%a.log
set -euo pipefail

LIST=${1:?usage: sbatch --array=1-N docs/slurm-detect.sh FILES.txt}
OPTIONS=(--column mV --unknown --tmin 120 --tmax 540 --pulse-length 36 --detrend 360 --json)
CLI=${QUILLMORE_CLI:-quillmore-cli}

mkdir -p parts logs
K=$SLURM_ARRAY_TASK_ID
N=$SLURM_ARRAY_TASK_COUNT
"$CLI" detect --files "$LIST" "${OPTIONS[@]}" --shard "$K/$N" --out "parts/detect-$K.json"

# The array's first task submits the merge, which runs once every task of
# the array has ended well (afterok); a failed task leaves the set
# incomplete and merge says which share is missing.
if [[ $K == "$SLURM_ARRAY_TASK_MIN" ]]; then
  sbatch --dependency="afterok:$SLURM_ARRAY_JOB_ID" --job-name=quillmore-merge \
    --output=logs/merge-%j.log \
    --wrap="$CLI merge parts/detect-*.json > detect.jsonl"
fi
