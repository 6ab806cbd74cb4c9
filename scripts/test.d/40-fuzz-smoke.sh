#!/usr/bin/env bash
# A short run of every fuzz target, so that CI catches a target that no longer builds or that
# fails on the first inputs. Long runs: fuzz/run.sh --runs 10000000 (or --time SECONDS).
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
bash "$root/fuzz/run.sh" --runs 5000
