#!/usr/bin/env bash
# Runs a test in a mount namespace of its own, so that what it mounts is seen by it alone and
# goes when it ends. Where that is not allowed (not root) the test runs as it is and skips
# what needs mounting.
if unshare -m --propagation private true 2>/dev/null; then
    exec unshare -m --propagation private "$@"
fi
exec "$@"
