#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need,
# when one is missing and we run as root.
set -euo pipefail
need=()
for pkg in g++ cmake pkg-config libgtest-dev libcairo2-dev libpugixml-dev python3-ezdxf python3-numpy python3-matplotlib python-matplotlib-data python3-shapely libcgal-dev librecad poppler-utils; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
  else
    echo "missing packages: ${need[*]} (run as root, or install them with apt-get)" >&2
    exit 1
  fi
fi
