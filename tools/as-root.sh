# Sourced first by the scripts that need root (packages, the 32-bit bed's chroot and mounts):
# run as a user, the script runs itself again through sudo and says so.
if [ "$(id -u)" != 0 ]; then
  _name=$(basename "$0" .sh)
  command -v sudo >/dev/null || { echo "$_name: needs root (and sudo is not installed)" >&2; exit 1; }
  echo "$_name: not root; running it again through sudo" >&2
  exec sudo -E bash "$0" "$@"
fi
