#!/bin/bash
# Takes the README's pictures into docs/: the program at 1297 x 802 under
# Xvfb, over a fresh copy of the workspace with the sample adventure, and the
# reference adventure server on a free port for the connection window.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/install-deps.sh"
bash "$top/scripts/build.sh" --target orvalis workspace screenshots

work=$(mktemp -d)
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

ws="$work/Orvalis"
mkdir -p "$ws"
cp "$top/build/workspace/orvalis" "$top/build/workspace/defmap.bmp" "$top/build/workspace"/pan-*.png "$ws/"
cp -r "$top/build/sample/Floresta" "$ws/"

bash "$top/server/demo-data.sh" "$work/server-data" "$top/build/sample/Floresta" >/dev/null
port=$(php -r '$s = stream_socket_server("tcp://127.0.0.1:0"); echo explode(":", stream_socket_get_name($s, false))[1];')
bash "$top/server/start.sh" "$port" "$work/server-data" >"$work/server.log" 2>&1 &
server_pid=$!
base="http://127.0.0.1:$port/Orvalis/"
for _ in $(seq 50); do
  curl -s -o /dev/null --max-time 1 "${base}grupos.php" && break
  sleep 0.1
done

# The program's windows cover the screen; its working folder is the workspace.
cd "$ws"
timeout 120 xvfb-run -a -s "-screen 0 1297x802x24" \
  "$top/build/tools/screenshots/screenshots" "$ws/orvalis" "$top/docs" "$base"
ls -l "$top/docs"/*.png
