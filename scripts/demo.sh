#!/usr/bin/env bash
# The main job: builds what is missing, then shows hostrun end to end.
#
# It lays out an example product folder (path table module and "ptl.dat",
# string module and skins, the hosted module "host.ztm" and linkmod), stores
# that folder as the base folder in the global shared space, starts a
# listener and a serving host, runs hostrun in utility mode and shows what
# happened, then talks to the serving host with linkctl and stops it.
# Named objects live in a private folder for the demo's run, so it never
# touches other users of the machine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh >/dev/null
build=$(cd "${BUILD_DIR:-build}" && pwd)
bin=$build/bin

work=$(mktemp -d /tmp/ztn-demo.XXXXXX)
export ZTN_OBJECT_DIR=$work/objects
mkdir -p "$ZTN_OBJECT_DIR"
pids=()
cleanup() {
  exec 3>&- 2>/dev/null || true
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

step() { printf '\n\033[1m== %s\033[0m\n' "$*"; }
show() { sed 's/^/   | /' "$@"; }
# Waits (at most 10 s) until FILE contains TEXT.
wait_for() {
  for _ in $(seq 100); do grep -q "$2" "$1" 2>/dev/null && return 0; sleep 0.1; done
  echo "timed out waiting for '$2' in $1" >&2; return 1
}
# The system form of a path: backslashes, as hostrun's command line wants it.
system_path() { printf '%s' "${1//\//\\}"; }

# hostrun needs administrator rights; as another user the demo says so with
# "/runAsUser" (placed last, so that it leaves no blank in front).
as_user=()
[ "$(id -u)" -eq 0 ] || as_user=(/runAsUser)

step "1. An example product folder"
product=$work/product
cp -r "$build/demo" "$product"
echo "$product:"
(cd "$product" && find . -type f | sort | sed 's/^\.\//   /')
echo "its path table (ptl.dat) maps the keys to files:"
grep -E '^(folder|file)' "$product/ptl.dat" | show

step "2. The product folder becomes the base folder in the global shared space"
exec 3> >("$bin/ztndata" base-folder set "$product" --hold 2>/dev/null)
pids+=($!)
for _ in $(seq 100); do
  [ "$("$bin/ztndata" base-folder get 2>/dev/null)" = "$product" ] && break; sleep 0.1
done
echo "ztndata base-folder get: $("$bin/ztndata" base-folder get)"

step "3. A listener that answers (linkctl listen, module type 7002) and a serving host"
echo "\$ linkctl listen --type 7002 --reply \"hello back from linkctl\""
"$bin/linkctl" listen --type 7002 --reply "hello back from linkctl" >"$work/listener.log" 2>&1 &
pids+=($!)
wait_for "$work/listener.log" "listening as"
show "$work/listener.log"
server_cmd=("$bin/hostrun" "$(system_path "$product/util/host.ztm")" /type 7002 "${as_user[@]}")
echo "\$ hostrun $(system_path "$product/util/host.ztm") /type 7002 ${as_user[*]}   (remote mode)"
"${server_cmd[@]}" >"$work/server.log" 2>&1 &
server=$!
pids+=($server)
wait_for "$work/server.log" "serving"
show "$work/server.log"
server_id=$(sed -n 's/.*registered as \(.*\) (module type.*/\1/p' "$work/server.log")

step "4. hostrun in utility mode: /send 7002 \"Hello from the host\""
echo "\$ hostrun /send 7002 \"Hello from the host\" ${as_user[*]}"
set +e
"$bin/hostrun" /send 7002 "Hello from the host" "${as_user[@]}" >"$work/utility.log" 2>&1
code=$?
set -e
show "$work/utility.log"
echo "hostrun's exit code (the module's GetResult): $code"

step "5. What arrived at the listener, and its reply"
wait_for "$work/listener.log" "replied to"
grep -E "code 100|replied to" "$work/listener.log" | show
step "6. What the serving host received and answered"
grep -A1 "request 100" "$work/server.log" | show

step "7. linkctl talks to the serving host ($server_id)"
for request in "200 --data echo-me" "202" "204"; do
  set -- $request
  code_name=$([ "$1" = 200 ] && echo echo || ([ "$1" = 202 ] && echo uptime) || echo stop)
  echo "\$ linkctl send --to '$server_id' --code $* --wait-reply 5000 ($code_name)"
  lines=$(wc -l <"$work/server.log")
  "$bin/linkctl" send --to "$server_id" --code "$@" --wait-reply 5000 | show
  wait_for "$work/server.log" "request $1 " && sleep 0.2
  tail -n +"$((lines + 1))" "$work/server.log" | show
done
set +e
wait "$server"
code=$?
set -e
echo "the serving host has ended, exit code $code"
