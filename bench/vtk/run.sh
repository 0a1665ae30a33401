#!/usr/bin/env bash
# Engine3D/EngineMPR against VTK 9: installs VTK and Xvfb here only (never in CI or the main
# install script), builds Voxmere and the comparison outside the main build, runs it at 8 and 2
# cores. Usage: bench/vtk/run.sh [views=36] [pngFolder] [scenarios, e.g. mip,slab]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${ORVANTA_BUILD:-/tmp/orvanta-vtkbench-main}"
vtkbuild="${VTK_BENCH_BUILD:-/tmp/orvanta-vtkbench}"
views="${1:-36}"
pngs="${2:-}"
scenarios="${3:-}"

if ! dpkg -s libvtk9-dev xvfb xauth >/dev/null 2>&1; then
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends libvtk9-dev xvfb xauth
fi
[ -f "$build/build.ninja" ] || cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" --target Voxmere
cmake -S "$here" -B "$vtkbuild" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANTA_BUILD="$build"
cmake --build "$vtkbuild"

[ -n "$pngs" ] && mkdir -p "$pngs"
uptime
for cores in 0-7 0-1; do
  echo "== taskset -c $cores"
  # VTK's window needs an X server; Mesa's software GL only draws the finished ray-cast image.
  xvfb-run -a -s "-screen 0 1024x768x24" taskset -c "$cores" "$vtkbuild/bench_engine3d_vtk" "$views" "$pngs" "$scenarios" | grep -v "take time"
done
