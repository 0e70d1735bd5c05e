#!/bin/bash
# Installs, builds and opens the editor on the bundled workspace, with the
# reference adventure server on 127.0.0.1:8080 so that "Conectar" works
# (group "Floresta", password "demo"). Without a display the editor runs
# under Xvfb at 1297 x 802 and a screenshot of it is written.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/install-deps.sh"
bash "$top/scripts/build.sh" --target orvalis workspace

data="$top/build/server-data"
[ -d "$data/adventures/Floresta" ] || bash "$top/server/demo-data.sh" "$data" "$top/build/sample/Floresta"
server_pid=""
if ! curl -s -o /dev/null --max-time 2 http://127.0.0.1:8080/Orvalis/grupos.php; then
  bash "$top/server/start.sh" 8080 "$data" >"$top/build/server.log" 2>&1 &
  server_pid=$!
  trap '[ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true' EXIT
  for _ in $(seq 50); do
    curl -s -o /dev/null --max-time 1 http://127.0.0.1:8080/Orvalis/grupos.php && break
    sleep 0.1
  done
fi
echo "Servidor de aventuras em http://127.0.0.1:8080/Orvalis/ (grupo Floresta, senha demo)"

program="$top/build/workspace/orvalis"
if [ -n "${DISPLAY:-}" ]; then
  "$program"
else
  shot="$top/build/demo-screenshot.png"
  xvfb-run -a -s "-screen 0 1297x802x24" bash -c \
    "\"$program\" & p=\$!; sleep 4; import -window root \"$shot\"; kill \$p"
  echo "Sem tela: o editor rodou no Xvfb (1297 x 802); captura de tela em $shot"
fi
