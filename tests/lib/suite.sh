# shellcheck shell=bash
# What every test suite script shares: timed phases, failing with the
# suite's name, and the tools it needs. The sourcing script sets suite to its
# name first.

started=$SECONDS
phase_started=$SECONDS

# phase TITLE: a new phase begins; done_phase says how long it took.
phase() {
  echo "-- $1 (at $((SECONDS - started)) s)"
  phase_started=$SECONDS
}
done_phase() { echo "   done in $((SECONDS - phase_started)) s"; }

# fail WORDS...: says what failed, runs on_fail if the suite defines it, and
# ends the suite with status 1.
fail() {
  echo "${suite:?}: FAIL: $*" >&2
  if declare -F on_fail >/dev/null; then on_fail >&2; fi
  exit 1
}

# require_tools HINT TOOL...: fails naming every missing tool and HINT, the
# command that installs them.
require_tools() {
  local hint=$1 tool
  shift
  local missing=()
  for tool in "$@"; do
    command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
  done
  [ ${#missing[@]} -eq 0 ] || fail "missing ${missing[*]}: run $hint"
}
