#!/bin/sh
# Starts the reference adventure server in the foreground on 127.0.0.1:PORT,
# serving the groups and adventures of DATA_DIR below /Orvalis/: a php-fpm
# pool runs router.php and nginx in front of it takes the connections.
#   server/start.sh PORT DATA_DIR
# Stopping the script (Ctrl+C, SIGTERM) stops both. Their configuration is
# generated from the *.in templates next to this script into DATA_DIR/run,
# together with the pid files, the access log and nginx's spool folders;
# nothing outside DATA_DIR is written.
#
# ORVALIS_MAX_UPLOAD   bytes of one upload (default 16 MiB)
# ORVALIS_PHP_WORKERS  most PHP workers at once (default 8)
# ORVALIS_VERSOES_MAX  versions kept of each replaced file (default 50; 0 keeps none)
# ORVALIS_VERSOES_BYTES
#                      bytes of versions kept per adventure (default 500 MiB)
# ORVALIS_CONEXOES_POR_ENDERECO
#                      requests in progress at once from one client address
#                      (default 64); nginx answers 503 beyond it
# ORVALIS_BUILTIN_SERVER=1
#                      runs PHP's development server (php -S) instead: one
#                      request at a time, for a machine without nginx and for
#                      comparisons.
# Started as root, the workers run as the owner of DATA_DIR.
# Exit status 3: nginx or php-fpm is not installed.
set -eu

if [ $# -ne 2 ]; then
  echo "uso: $0 PORTA PASTA_DE_DADOS" >&2
  exit 2
fi
port=$1
case $port in
  '' | *[!0-9]*) echo "$0: porta inválida: $port" >&2; exit 2 ;;
esac
data=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
limit=${ORVALIS_MAX_UPLOAD:-16777216}
workers=${ORVALIS_PHP_WORKERS:-8}
connections=${ORVALIS_CONEXOES_POR_ENDERECO:-64}
for number in "$limit" "$workers" "$connections"; do
  case $number in
    '' | *[!0-9]* | 0) echo "$0: ORVALIS_MAX_UPLOAD, ORVALIS_PHP_WORKERS e ORVALIS_CONEXOES_POR_ENDERECO devem ser números positivos" >&2; exit 2 ;;
  esac
done
versions=${ORVALIS_VERSOES_MAX:-50}
version_bytes=${ORVALIS_VERSOES_BYTES:-524288000}
for number in "$versions" "$version_bytes"; do
  case $number in
    '' | *[!0-9]*) echo "$0: ORVALIS_VERSOES_MAX e ORVALIS_VERSOES_BYTES devem ser números" >&2; exit 2 ;;
  esac
done
post_limit=$((limit + 1048576))
memory_limit=$((limit * 4 + 67108864))
# The router refuses a body this far over the limit itself; nginx refuses a
# larger one before reading it.
body_limit=$((limit + 65536))

# Folders that the workers write to; made here so that they belong to the
# folder's owner when root starts the server for someone else.
owner_and_group=$(stat -c '%U:%G' "$data")
owner=${owner_and_group%%:*}
owner_group=${owner_and_group#*:}
made=""
for dir in "$data/tmp" "$data/adventures" "$data/limits" "$data/locks" "$data/history"; do
  if [ ! -d "$dir" ]; then
    mkdir -p "$dir"
    made="$made $dir"
  fi
done
if [ "$(id -u)" -eq 0 ] && [ -n "$made" ]; then
  # shellcheck disable=SC2086
  chown "$owner_and_group" $made
fi
# The password hashes are for the workers' eyes only (older versions of
# admin.php left them readable by every local user).
if [ -f "$data/grupos.json" ]; then
  chmod 600 "$data/grupos.json"
fi

if [ "${ORVALIS_BUILTIN_SERVER:-}" = 1 ]; then
  export ORVALIS_DATA="$data"
  export ORVALIS_MAX_UPLOAD="$limit"
  export ORVALIS_VERSOES_MAX="$versions"
  export ORVALIS_VERSOES_BYTES="$version_bytes"
  exec php -n \
    -d display_errors=0 -d log_errors=1 -d error_log=/dev/stderr \
    -d expose_php=0 \
    -d file_uploads=1 -d max_file_uploads=1 \
    -d upload_tmp_dir="$data/tmp" \
    -d upload_max_filesize="$limit" \
    -d post_max_size="$post_limit" \
    -d memory_limit="$memory_limit" \
    -d variables_order=EGPCS \
    -S "127.0.0.1:$port" -t "$here" "$here/router.php"
fi

# nginx and php-fpm live in sbin, which a user's PATH may lack; php-fpm is
# named after its version on Debian (php-fpm8.2), the one of the php command
# first.
search_path="$PATH:/usr/local/sbin:/usr/sbin:/sbin"
find_program() {
  for name in "$@"; do
    found=$(PATH="$search_path" command -v "$name" 2>/dev/null) && { echo "$found"; return 0; }
  done
  return 1
}
php_facts=$(php -n -r 'echo PHP_MAJOR_VERSION, ".", PHP_MINOR_VERSION, " ", ini_get("extension_dir");' 2>/dev/null || true)
php_version=${php_facts%% *}
extension_dir=${php_facts#* }
nginx=${ORVALIS_NGINX:-$(find_program nginx || true)}
fpm=${ORVALIS_PHP_FPM:-$(find_program "php-fpm$php_version" php-fpm || true)}
if [ -z "$fpm" ]; then
  for candidate in /usr/sbin/php-fpm[0-9]*; do
    [ -x "$candidate" ] && fpm=$candidate
  done
fi
if [ -z "$nginx" ] || [ -z "$fpm" ] || [ ! -x "$nginx" ] || [ ! -x "$fpm" ]; then
  echo "$0: nginx e php-fpm são necessários (scripts/install-deps.sh os instala);" \
    "ORVALIS_BUILTIN_SERVER=1 usa o servidor de desenvolvimento do PHP" >&2
  exit 3
fi

# The paths go into quoted strings of both configurations.
case $data in
  *[\"\'\\\$\;\{\}\#]* | *"
"*)
    echo "$0: a pasta de dados não pode ter aspas, \\, \$, ;, {, } nem #: $data" >&2
    exit 2 ;;
esac

run="$data/run/$port"
# Another server of this folder on this port would lose its socket and spool.
for pid_file in "$run/nginx.pid" "$run/php-fpm.pid"; do
  if [ -f "$pid_file" ] && [ -d "/proc/$(cat "$pid_file")" ]; then
    echo "$0: já há um servidor desta pasta na porta $port ($pid_file)" >&2
    exit 1
  fi
done
# PHP's own spool of uploads is here too: on the data folder's file system, so
# that the router's rename into place never copies, and apart from tmp/.
# Whatever a crash left in the spools goes.
rm -rf "$run/body" "$run/uploads"
mkdir -p "$run" "$run/body" "$run/uploads" "$run/fastcgi" "$run/proxy" "$run/uwsgi" "$run/scgi"
# A unix socket path holds at most 107 bytes.
socket="$run/php-fpm.sock"
socket_dir=""
if [ ${#socket} -gt 100 ]; then
  socket_dir=$(mktemp -d /tmp/orvalis-fpm.XXXXXX)
  socket="$socket_dir/php-fpm.sock"
fi
rm -f "$socket"

# As root, the master processes stay root and the workers become the owner of
# the data folder, who owns what they write; lines marked "@root" exist only
# then.
root_flag=""
if [ "$(id -u)" -eq 0 ]; then
  if [ "$owner" = UNKNOWN ] || [ "$owner_group" = UNKNOWN ]; then
    echo "$0: o dono da pasta de dados não tem nome de usuário e grupo" >&2
    exit 2
  fi
  root_lines='s/^[;#]@root //'
  [ "$owner" = root ] && root_flag=-R
  chown "$owner_and_group" "$run/uploads"
  if [ -n "$socket_dir" ]; then
    chown "$owner_and_group" "$socket_dir"
  fi
else
  root_lines='/^[;#]@root /d'
fi

if [ -n "$extension_dir" ] && [ -f "$extension_dir/opcache.so" ]; then
  opcache='zend_extension = opcache
opcache.enable = On'
else
  opcache=''
fi

# Replacement texts for sed: "&", "|" and a backslash stand for themselves.
escape() {
  printf '%s' "$1" | sed 's/[&|\\]/\\&/g'
}
run_text=$(escape "$run")
data_text=$(escape "$data")
here_text=$(escape "$here")
socket_text=$(escape "$socket")
owner_text=$(escape "$owner")
group_text=$(escape "$owner_group")
generate() {
  sed -e "$root_lines" \
    -e "s|@RUN@|$run_text|g" \
    -e "s|@DATA@|$data_text|g" \
    -e "s|@UPLOADS@|$run_text/uploads|g" \
    -e "s|@SERVER@|$here_text|g" \
    -e "s|@SOCKET@|$socket_text|g" \
    -e "s|@USER@|$owner_text|g" \
    -e "s|@GROUP@|$group_text|g" \
    -e "s|@LISTEN@|127.0.0.1:$port|g" \
    -e "s|@LIMIT@|$limit|g" \
    -e "s|@BODY_LIMIT@|$body_limit|g" \
    -e "s|@POST_LIMIT@|$post_limit|g" \
    -e "s|@MEMORY_LIMIT@|$memory_limit|g" \
    -e "s|@WORKERS@|$workers|g" \
    -e "s|@VERSIONS@|$versions|g" \
    -e "s|@VERSION_BYTES@|$version_bytes|g" \
    -e "s|@CONNECTIONS@|$connections|g" \
    "$here/$1.in" >"$run/$1.new"
  mv "$run/$1.new" "$run/$1"
}
generate nginx.conf
generate php-fpm.conf
generate php.ini
printf '%s\n' "$opcache" >>"$run/php.ini"

fpm_pid=""
nginx_pid=""
watch_pid=""
sleep_pid=""
stop() {
  trap - EXIT INT TERM HUP
  for pid in $nginx_pid $fpm_pid $watch_pid $sleep_pid; do
    kill -TERM "$pid" 2>/dev/null || true
  done
  wait 2>/dev/null || true
  rm -f "$socket"
  [ -z "$socket_dir" ] || rmdir "$socket_dir" 2>/dev/null || true
}
trap 'stop' EXIT
trap 'stop; exit 130' INT
trap 'stop; exit 143' TERM
trap 'stop; exit 129' HUP

# The pool's own php.ini only: the system's php.ini and conf.d stay out.
PHP_INI_SCAN_DIR='' "$fpm" --nodaemonize --force-stderr $root_flag \
  --php-ini "$run/php.ini" --fpm-config "$run/php-fpm.conf" &
fpm_pid=$!
waited=0
while [ ! -S "$socket" ]; do
  if ! kill -0 "$fpm_pid" 2>/dev/null || [ $waited -ge 100 ]; then
    echo "$0: php-fpm não iniciou" >&2
    exit 1
  fi
  sleep 0.1
  waited=$((waited + 1))
done

"$nginx" -p "$run/" -c "$run/nginx.conf" -e stderr &
nginx_pid=$!

# Should this script be killed outright, its trap cannot run: a watcher ends
# both servers once it is gone.
script_pid=$$
(
  trap - EXIT INT TERM HUP
  while kill -0 "$script_pid" 2>/dev/null; do
    sleep 1
  done
  kill -TERM "$nginx_pid" "$fpm_pid" 2>/dev/null
) </dev/null >/dev/null 2>&1 &
watch_pid=$!

# Runs until stopped, or until one of the two ends by itself.
while kill -0 "$fpm_pid" 2>/dev/null && kill -0 "$nginx_pid" 2>/dev/null; do
  sleep 1 &
  sleep_pid=$!
  wait "$sleep_pid" || true
done
echo "$0: nginx ou php-fpm terminou; parando o servidor" >&2
exit 1
