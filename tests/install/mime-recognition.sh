#!/usr/bin/env bash
# With the MIME package in a scratch data folder and its database built
# there, a saved table is recognised by its content when its name has no
# extension, and a text file is not mistaken for one.
# Usage: mime-recognition.sh QUILTOR MIME_PACKAGE
set -euo pipefail
. "$(dirname "$0")/common.sh"
quiltor=$1 package=$2
need update-mime-database shared-mime-info
need gio libglib2.0-bin

mkdir -p "$scratch/share/mime/packages"
cp "$package" "$scratch/share/mime/packages/quiltor.xml"
# (It warns that the scratch folder is not searched: the lookups below set
# the search path themselves.)
update-mime-database "$scratch/share/mime" >"$scratch/update.log" 2>&1 ||
  { cat "$scratch/update.log"; fail "update-mime-database rejects the MIME package"; }

printf 'a,b\nc,d\n' > "$scratch/in.csv"
"$quiltor" --convert "$scratch/in.csv" "$scratch/saved.qtor"
cp "$scratch/saved.qtor" "$scratch/table without extension"
cp "$scratch/in.csv" "$scratch/text without extension"

type_of() {
  XDG_DATA_HOME=$scratch/share XDG_DATA_DIRS=$scratch/share:/usr/local/share:/usr/share \
    gio info -a standard::content-type "$1" | sed -n 's/^ *standard::content-type: //p'
}
for name in "saved.qtor" "table without extension"; do
  got=$(type_of "$scratch/$name")
  [ "$got" = application/x-quiltor ] || fail "'$name' is recognised as '$got', not application/x-quiltor"
done
got=$(type_of "$scratch/text without extension")
[ "$got" != application/x-quiltor ] || fail "a CSV file without extension is taken for a table"
echo "tables recognised by name and by content"
