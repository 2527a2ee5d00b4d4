#!/usr/bin/env bash
# Installs the pinned puppeteer-core for the page's tests into FOLDER/node_modules with `npm ci`,
# unless the same lock file was installed there already. Usage: npm-ci.sh FOLDER
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
folder=$1
mkdir -p "$folder"
if cmp -s "$here/package-lock.json" "$folder/node_modules/.installed-lock.json"; then
  exit 0
fi
command -v npm >/dev/null || { echo "npm-ci: npm is not installed (scripts/install-deps installs it)" >&2; exit 1; }
cp "$here/package.json" "$here/package-lock.json" "$folder/"
(cd "$folder" && npm ci --ignore-scripts --no-audit --no-fund)
cp "$here/package-lock.json" "$folder/node_modules/.installed-lock.json"
