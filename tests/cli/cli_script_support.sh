# What the tool's shell tests share, sourced after they set $wine (a Wine loader, or - for
# a native build), $exe and $script (their own name, for their notes).

fail() {
  echo "FAILED: $*"
  echo "--- stdout"; cat out.txt
  echo "--- stderr"; cat err.txt
  exit 1
}

# Runs the tool with its output in files (never a pipe: a Wine service could hold it open).
# A start that Wine ended before the program printed anything or succeeded is made once more.
cli() {
  local attempt status
  for attempt in 1 2; do
    if [ "$wine" = - ]; then
      "$exe" "$@" </dev/null >out.txt 2>err.txt
    else
      "$wine" "$exe" "$@" </dev/null >out.txt 2>err.txt
    fi
    status=$?
    if [ $status -eq 0 ] || [ -s out.txt ] || [ -s err.txt ] || [ $attempt -eq 2 ]; then return $status; fi
    echo "$script: the tool ended with $status before printing anything; starting it again"
  done
}
