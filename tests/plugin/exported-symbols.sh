#!/usr/bin/env bash
# The shipped plugin library shows a host its entry point and the file inspector's class, and
# nothing else: no test hook, no internal class. Usage: exported-symbols.sh PLUGIN_LIBRARY
set -euo pipefail
symbols="$(nm -D --defined-only "$1" | awk '{print $3}' | c++filt | sort -u)"
grep -qx '_getPlugin' <<<"$symbols"
unexpected="$(grep -vx -e '_getPlugin' -e 'VSE::FileInspectorInterface::.*' -e '.* for VSE::FileInspectorInterface' <<<"$symbols" || true)"
if [ -n "$unexpected" ]; then
  echo "the plugin exports more than a host needs:"; echo "$unexpected"; exit 1
fi
echo "exports: $(tr '\n' ';' <<<"$symbols")"
