# The first arguments of the volume benchmarks, sourced once `here` is set:
# [BUILD_DIR] [DATA_DIR] [SIZES] [KINDS] into build, data, sizes and kinds.
build=${1:-$here/../build}
data=${2:-/tmp/bench-data}
sizes=${3:-256 512}
kinds=${4:-phantom dense}
