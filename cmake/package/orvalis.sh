#!/bin/bash
# Starts Orvalis in the author's workspace, ~/Orvalis (ORVALIS_WORKSPACE
# names another folder). The program's own folder is its workspace, so the
# first run lays one out from the installed files: the program, the map
# background, the panel templates and the sample adventure Floresta. Later
# runs bring the program up to date and never touch the author's files.
set -euo pipefail
lib=/usr/lib/orvalis
ws=${ORVALIS_WORKSPACE:-"$HOME/Orvalis"}

# Copies what is missing from $lib/$1 into $ws/$1, keeping whatever is there.
add_missing() {
  if [ ! -e "$ws/$1" ]; then
    cp -Rp "$lib/$1" "$ws/$1"
    return
  fi
  (cd "$lib" && find "$1" -type f -print0) | while IFS= read -r -d '' f; do
    if [ ! -e "$ws/$f" ]; then
      mkdir -p "$(dirname "$ws/$f")"
      cp -p "$lib/$f" "$ws/$f"
    fi
  done
}

mkdir -p "$ws"
if [ ! -e "$ws/orvalis" ]; then
  for item in defmap.bmp "$lib"/pan-*.png Floresta; do
    add_missing "$(basename "$item")"
  done
fi
# A copy, not a link: the program takes its workspace from its real path. It
# is the installed program's, not the author's, so a newer one replaces it.
if ! cmp -s "$lib/orvalis" "$ws/orvalis"; then
  cp "$lib/orvalis" "$ws/.orvalis.new"
  mv -f "$ws/.orvalis.new" "$ws/orvalis"
fi
# The map is drawn on the background: the program cannot do without it.
add_missing defmap.bmp

# The window lists the adventures of the folder it starts in. A command
# ("orvalis compilar Floresta --pasta ...") keeps the caller's folder, so
# that a relative path means what it says.
if [ $# -eq 0 ]; then
  cd "$ws"
  exec ./orvalis
fi
exec "$ws/orvalis" "$@"
