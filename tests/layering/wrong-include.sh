#!/usr/bin/env bash
# The layering check must catch what it exists for: a lower layer including a higher one, and a host
# including the plugin's internals. Usage: wrong-include.sh PATH_TO_check-layering
set -euo pipefail
check="$1"
tree="$(mktemp -d)"
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/worker" "$tree/downloadmanager" "$tree/host/cli" "$tree/plugin"
printf '#pragma once\n' > "$tree/downloadmanager/DownloadManager.h"
printf '#pragma once\n' > "$tree/plugin/Topics.h"
printf '#include "plugin/Topics.h"\n#include "downloadmanager/DownloadManager.h"\n' > "$tree/worker/Bad.cpp"
printf '#include <QString>\n#include "plugin/Topics.h"\n#include "worker/Bad.h"\n' > "$tree/host/cli/Face.cpp"
if output="$("$check" "$tree")"; then
  echo "the check passed a tree with forbidden includes:"; echo "$output"; exit 1
fi
grep -q 'worker/Bad.cpp:2: worker/ may not include "downloadmanager/DownloadManager.h"' <<<"$output"
grep -q 'host/cli/Face.cpp:3: host/cli/ may not include "worker/Bad.h"' <<<"$output"
[ "$(grep -c 'may not include' <<<"$output")" = 2 ]
echo "the check caught both forbidden includes"
