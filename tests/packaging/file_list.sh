# Compares a list of installed files (one path a line) with the expected list,
# whose lines are paths or shell patterns (docs/*.png). Every file must match a
# line and every line must match a file. Sourced by the packaging tests.
# usage: check_file_list FILES EXPECTED; prints the differences, returns 1 on any.
check_file_list() {
    local files=$1 expected=$2 f p ok=0 matched
    local -a patterns
    mapfile -t patterns < <(grep -v '^[[:space:]]*\(#\|$\)' "$expected")
    local -A used=()
    while IFS= read -r f; do
        matched=0
        for p in "${patterns[@]}"; do
            # shellcheck disable=SC2053 # the expected line is a pattern
            if [[ $f == $p ]]; then
                matched=1
                used[$p]=1
            fi
        done
        if [ "$matched" -eq 0 ]; then
            echo "unexpected file: $f" >&2
            ok=1
        fi
    done <"$files"
    for p in "${patterns[@]}"; do
        if [ -z "${used[$p]:-}" ]; then
            echo "missing file: $p" >&2
            ok=1
        fi
    done
    return $ok
}
