# SPDX-License-Identifier: Apache-2.0
# The demo's options, read alike by scripts/run.sh (before it builds) and by
# scripts/demo-session.sh. Sourced, not run.
#   demo_parse_options NAME TAKES_BUILD ARG...
# sets build, port, headless and announce; a wrong option prints the usage under NAME and exits
# 64. TAKES_BUILD (1 or empty) says whether --build DIR is offered.

demo_usage() {
  local name=$1 takes_build=$2
  if [ -n "$takes_build" ]; then
    echo "usage: $name [--build DIR] [--port N] [--headless] [--no-announce]"
    echo "  --build DIR     build tree to take the programs from (default build/default)"
  else
    echo "usage: $name [--port N] [--headless] [--no-announce]"
  fi
  cat <<'USAGE'
  --port N        the unit's bootloader port on 127.0.0.1 (default 6969; 0 picks a free one)
  --headless      flash with quillon-flash even when a display is present
  --no-announce   the unit sends no announces to 127.0.0.1 port 30303
USAGE
}

demo_parse_options() {
  local name=$1 takes_build=$2
  shift 2
  build=
  port=6969
  headless=
  announce=1
  while [ $# -gt 0 ]; do
    case $1 in
      --build | --port)
        if [ "$1" = --build ] && [ -z "$takes_build" ]; then
          echo "$name: unknown option $1" >&2
          demo_usage "$name" "$takes_build" >&2
          exit 64
        fi
        if [ $# -lt 2 ]; then
          echo "$name: $1 needs a value" >&2
          exit 64
        fi
        if [ "$1" = --build ]; then build=$2; else port=$2; fi
        shift 2
        ;;
      --headless) headless=1 && shift ;;
      --no-announce) announce= && shift ;;
      -h | --help) demo_usage "$name" "$takes_build" && exit 0 ;;
      *)
        echo "$name: unknown option $1" >&2
        demo_usage "$name" "$takes_build" >&2
        exit 64
        ;;
    esac
  done
  if ! [[ $port =~ ^[0-9]{1,5}$ ]] || [ "$port" -gt 65535 ]; then
    echo "$name: --port expects 0 to 65535, not \"$port\"" >&2
    exit 64
  fi
}
