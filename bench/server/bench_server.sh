#!/bin/bash
# The reference adventure server under load: requests per second with 20
# concurrent clients for the group list (grupos.php) and for a 4 KiB download,
# on nginx + php-fpm (server/start.sh) beside PHP's development server
# (ORVALIS_BUILTIN_SERVER=1) in the same run, on the same data folder; then
# the memory of each server's processes while a 16 MiB file is uploaded.
#   bench/server/bench_server.sh [SECONDS]     (default 5 per measurement)
# Needs wrk and curl.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-5}
for tool in wrk curl php; do
  command -v "$tool" >/dev/null || { echo "$0: $tool is needed" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

data="$work/data"
ORVALIS_HASH_COST=4 php -n "$top/server/admin.php" "$data" Floresta demo Floresta >/dev/null
head -c 4096 /dev/urandom >"$data/adventures/Floresta/quatro.bin"
head -c $((16 * 1024 * 1024)) /dev/urandom >"$work/grande.bin"

free_port() {
  local port
  for port in $(seq "$1" $(($1 + 200))); do
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return
    fi
  done
  return 1
}
wait_up() {
  for _ in $(seq 200); do
    curl -s -o /dev/null --max-time 1 "http://127.0.0.1:$1/Orvalis/grupos.php" && return
    sleep 0.1
  done
  echo "$0: the server on port $1 did not come up" >&2
  exit 1
}

fpm_port=$(free_port 21000)
bash "$top/server/start.sh" "$fpm_port" "$data" 2>"$work/fpm.log" &
fpm_pid=$!
pids+=("$fpm_pid")
builtin_port=$(free_port $((fpm_port + 1)))
ORVALIS_BUILTIN_SERVER=1 bash "$top/server/start.sh" "$builtin_port" "$data" 2>"$work/builtin.log" &
builtin_pid=$!
pids+=("$builtin_pid")
wait_up "$fpm_port"
wait_up "$builtin_port"

# Requests per second, and the failures wrk saw: refused connections, failed
# writes, time-outs and non-2xx replies. (Its "read" errors are left out:
# php -S closes the connection after every reply, which wrk counts so.)
rate() {
  local out
  out=$(wrk -t2 -c20 -d"${seconds}s" --timeout 10s "$1")
  printf '%s %s\n' "$(awk '/Requests\/sec/ {print $2}' <<<"$out")" \
    "$(awk '/Socket errors/ {gsub(/,/, ""); n += $4 + $8 + $10} /Non-2xx/ {n += $NF} END {print n + 0}' <<<"$out")"
}

echo "20 concurrent clients, ${seconds} s each, loopback"
for what in grupos.php Floresta/quatro.bin; do
  read -r fpm_rate fpm_errors < <(rate "http://127.0.0.1:$fpm_port/Orvalis/$what")
  read -r builtin_rate builtin_errors < <(rate "http://127.0.0.1:$builtin_port/Orvalis/$what")
  printf '%-20s nginx+php-fpm %8.1f req/s (%s failed)   php -S %8.1f req/s (%s failed)\n' \
    "$what" "$fpm_rate" "$fpm_errors" "$builtin_rate" "$builtin_errors"
  awk -v a="$fpm_rate" -v b="$builtin_rate" -v w="$what" \
    'BEGIN { if (b > 0) printf "ratio %-20s nginx+php-fpm / php -S = %.2f\n", w, a / b }'
done

# Memory (KiB) of the server processes of a start.sh (the nginx, php-fpm or
# php processes at or below it): the proportional set size, so that memory
# the workers share (code, the opcode cache) counts once.
server_rss() {
  local pid total=0 pss
  for pid in $(ps -e -o pid=,ppid=,comm= | awk -v root="$1" '
      { parent[$1] = $2; name[$1] = $3 }
      END {
        for (p in parent) {
          if (name[p] !~ /^(nginx|php)/) continue
          for (q = p; q > 1; q = parent[q]) if (q == root) { print p; break }
        }
      }'); do
    pss=$(awk '/^Pss:/ {print $2}' "/proc/$pid/smaps_rollup" 2>/dev/null || true)
    total=$((total + ${pss:-0}))
  done
  echo "$total"
}
# Peak of server_rss while a 16 MiB file is uploaded, at 16 MiB/s so that the
# sampling sees the upload under way.
upload_memory() {
  local port=$1 root=$2 before peak now upload
  before=$(server_rss "$root")
  curl -s --limit-rate 16M -o "$work/reply" -F "Img=@$work/grande.bin;type=image/jpg" \
    "http://127.0.0.1:$port/Orvalis/putarq.php?NoAdv=Floresta&Arq=grande$port.bin&Senha=demo" &
  upload=$!
  peak=$before
  while kill -0 "$upload" 2>/dev/null; do
    now=$(server_rss "$root")
    [ "$now" -gt "$peak" ] && peak=$now
    sleep 0.02
  done
  wait "$upload"
  [ "$(cat "$work/reply")" = Ok ] || { echo "$0: the upload to port $port failed" >&2; exit 1; }
  echo "$before $peak"
}
read -r fpm_before fpm_peak < <(upload_memory "$fpm_port" "$fpm_pid")
read -r builtin_before builtin_peak < <(upload_memory "$builtin_port" "$builtin_pid")
awk -v fp="$fpm_peak" -v fb="$fpm_before" -v bp="$builtin_peak" -v bb="$builtin_before" 'BEGIN {
  printf "memory (PSS) during a 16 MiB upload: nginx+php-fpm %.1f MiB (+%.1f over idle)   php -S %.1f MiB (+%.1f over idle)\n",
    fp / 1024, (fp - fb) / 1024, bp / 1024, (bp - bb) / 1024
  if (bp > 0) printf "ratio %-20s nginx+php-fpm / php -S = %.2f\n", "upload memory", fp / bp
  if (bp > bb) printf "ratio %-20s nginx+php-fpm / php -S = %.2f\n", "upload memory growth", (fp - fb) / (bp - bb)
}'
