#!/bin/sh
# with_private_names.sh <test program> [arguments...]
#
# Runs a test that uses the machine-wide names (the clock queue, the device
# channels named after their device types) apart from the same tests of any
# other checkout running on this machine at the same moment:
#   - in a new IPC namespace (message queues of its own) and a new mount
#     namespace with a fresh tmpfs on /dev/shm (shared memory of its own),
#     as root or else inside a new user namespace, where the kernel allows it;
#   - otherwise under an exclusive lock on /tmp/orvo2-test-machine-names.lock,
#     which every checkout's wrapped tests take.
# Children of the test (orvosim, orvocore) share its namespaces. Listing a
# program's tests uses no names: that runs as it is.
set -u

for arg in "$@"; do
  case $arg in
    --gtest_list_tests) exec "$@" ;;
  esac
done

# Inside the new namespaces: the private /dev/shm, then the test.
private='mount -t tmpfs -o mode=1777 orvo2-test-shm /dev/shm && exec "$@"'
for namespaces in "--ipc --mount" "--user --map-root-user --ipc --mount"; do
  # shellcheck disable=SC2086
  if unshare $namespaces sh -c 'mount -t tmpfs orvo2-test-shm /dev/shm' 2>/dev/null; then
    # shellcheck disable=SC2086
    exec unshare $namespaces sh -c "$private" sh "$@"
  fi
done

exec flock /tmp/orvo2-test-machine-names.lock "$@"
