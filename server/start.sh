#!/bin/sh
# Starts the reference adventure server in the foreground on 127.0.0.1:PORT,
# serving the groups and adventures of DATA_DIR below /Orvalis/.
#   server/start.sh PORT DATA_DIR
# ORVALIS_MAX_UPLOAD (bytes, default 16 MiB) limits the size of one upload.
set -eu

if [ $# -ne 2 ]; then
  echo "uso: $0 PORTA PASTA_DE_DADOS" >&2
  exit 2
fi
port=$1
data=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
limit=${ORVALIS_MAX_UPLOAD:-16777216}
mkdir -p "$data/tmp" "$data/adventures"

export ORVALIS_DATA="$data"
export ORVALIS_MAX_UPLOAD="$limit"
# PHP itself must let an upload of the limit through (with room for the
# multipart framing) so that the router can answer a larger one politely.
exec php -n \
  -d display_errors=0 -d log_errors=1 -d error_log=/dev/stderr \
  -d expose_php=0 \
  -d file_uploads=1 -d max_file_uploads=1 \
  -d upload_tmp_dir="$data/tmp" \
  -d upload_max_filesize="$limit" \
  -d post_max_size="$((limit + 1048576))" \
  -d memory_limit="$((limit * 4 + 67108864))" \
  -d variables_order=EGPCS \
  -S "127.0.0.1:$port" -t "$here" "$here/router.php"
