# Sourced by the scripts that install, build and run: each step says itself in one line, and the
# tools' own output goes to a log file, whose part for a step that fails is shown.
#   steps_log FILE              start the log (emptied)
#   step "Building" CMD ARG...  run CMD into the log; on failure show its output and exit
steps_log() {
  step_log_file="$1"
  mkdir -p "$(dirname "$step_log_file")"
  : >"$step_log_file"
}

step() {
  local title="$1"
  shift
  printf '%s ... ' "$title"
  printf '\n==== %s: %s\n' "$title" "$*" >>"$step_log_file"
  local from rc=0
  from=$(($(wc -l <"$step_log_file") + 1))
  "$@" </dev/null >>"$step_log_file" 2>&1 || rc=$?
  if ((rc == 0)); then
    echo done
    return 0
  fi
  echo "failed (exit status $rc)"
  local lines
  lines=$(tail -n +"$from" "$step_log_file" | wc -l)
  if ((lines > 60)); then
    echo "---- the last 60 of its $lines lines of output:" >&2
  else
    echo "---- its output:" >&2
  fi
  tail -n +"$from" "$step_log_file" | tail -n 60 >&2
  echo "---- the whole log: $step_log_file" >&2
  exit "$rc"
}
