#!/bin/sh
# Runs a command where the television's absolute paths are its own: a private mount namespace
# in which /opt and /usr/apps start empty, /etc and /usr read as on the host, and every write
# lands in a tmpfs that ends with the namespace. The host's folders never change, what earlier
# runs left there is not seen, and programs that write the same path (the CA file, the survey
# folder, /etc/perf) run side by side.
#   isolate.sh COMMAND [ARGS...]
# Exit status 77 (CTest's SKIP_RETURN_CODE) when no namespace can be made: needs root, or user
# namespaces for a developer who is not root.
set -eu

if [ "${1:-}" = --inside ]; then
  shift
  scratch=$(mktemp -d /tmp/tav-isolate.XXXXXX)
  mount -t tmpfs -o mode=0755 tav-isolate "$scratch"
  for dir in /etc /usr; do
    name=${dir#/}
    mkdir -p "$scratch/$name/up" "$scratch/$name/work"
    mount -t overlay overlay -o "lowerdir=$dir,upperdir=$scratch/$name/up,workdir=$scratch/$name/work" "$dir"
  done
  mount -t tmpfs -o mode=0755 tav-opt /opt
  mkdir -p /usr/apps
  mount -t tmpfs -o mode=0755 tav-apps /usr/apps
  # A debug marker on the host would turn on the debug mode that tests expect off.
  rm -f /etc/debug /etc/perf
  # The overlays hold on to the tmpfs; its mount point is no longer needed, so nothing is left
  # behind in /tmp even when the test is killed.
  umount -l "$scratch"
  rmdir "$scratch"
  export TAV_ISOLATED=1
  exec "$@"
fi

# Already inside one (a test script starting test programs), or only listing test names.
if [ "${TAV_ISOLATED:-}" = 1 ]; then exec "$@"; fi
for arg in "$@"; do
  [ "$arg" = --gtest_list_tests ] && exec "$@"
done
[ -d /opt ] || { echo "isolate.sh: /opt is missing; create it once (mkdir /opt)" >&2; exit 1; }

if [ "$(id -u)" = 0 ]; then
  exec unshare --mount --propagation private -- "$0" --inside "$@"
elif unshare --user --map-root-user --mount true 2>/dev/null; then
  exec unshare --user --map-root-user --mount --propagation private -- "$0" --inside "$@"
fi
echo "skipped: needs root (or user namespaces) to keep the test off the host's /etc, /opt and /usr/apps"
exit 77
