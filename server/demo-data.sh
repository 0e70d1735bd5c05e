#!/bin/sh
# Prepares a data folder for the reference server with one group, "Floresta"
# (password "demo"), holding the files of the sample adventure in SAMPLE_DIR.
# The sample's password file stays behind.
#   server/demo-data.sh DATA_DIR SAMPLE_DIR
set -eu

if [ $# -ne 2 ]; then
  echo "uso: $0 PASTA_DE_DADOS PASTA_DO_EXEMPLO" >&2
  exit 2
fi
data=$1
sample=$2
here=$(cd "$(dirname "$0")" && pwd)
if [ ! -d "$sample" ]; then
  echo "$0: pasta do exemplo não encontrada: $sample" >&2
  exit 1
fi

php -n "$here/admin.php" "$data" Floresta demo "Floresta (aventura de exemplo)"
target="$data/adventures/Floresta"
for file in "$sample"/*; do
  [ -f "$file" ] || continue
  case $(basename "$file") in
    sen.txt) continue ;;
  esac
  cp -p "$file" "$target/"
done
echo "Dados de demonstração em $data (grupo Floresta, senha demo)"
