# Shared by the install checks: failing and skipping (ctest reads exit
# status 77 as a skip).
fail() { echo "FAIL: $*" >&2; exit 1; }
need() {
  command -v "$1" >/dev/null 2>&1 ||
    { echo "SKIPPED: $1 is not installed (Debian package $2; tools/ensure-deps installs it)"; exit 77; }
}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
