# Sourced by the window benchmarks: private_xvfb WORK SCREEN starts an Xvfb
# of SCREEN (WxHxD) for this script alone and exports its DISPLAY; the
# server is stopped and WORK removed when the script exits.
private_xvfb() {
    Xvfb -displayfd 3 -screen 0 "$2" -nolisten tcp 3>"$1/display" 2>/dev/null &
    private_xvfb_pid=$!
    trap 'kill $private_xvfb_pid 2>/dev/null; rm -rf "'"$1"'"' EXIT
    for i in $(seq 50); do [ -s "$1/display" ] && break; sleep 0.1; done
    export DISPLAY=":$(cat "$1/display")"
}
