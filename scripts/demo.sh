#!/usr/bin/env bash
# The program's main job on the bundled sample: installs what is missing, builds the batch
# program, generates the sample capture (a 300-frame planetary video with known truth) and
# processes it headless with samples/demo.batch, printing the time of every step.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
ninja -C build pelinoxa-batch pelinoxa-samplegen

out=build/demo
rm -rf "$out"
mkdir -p "$out"
build/tools/pelinoxa-samplegen --out "$out/jupiter.avi" --scene planet --seeing turbulent --frames 300 \
  --size 640x480 --drop 17,140 --truth "$out/jupiter-truth.json"

# The program folder is the output folder, so the form settings and the saved images land there.
cp samples/demo.batch "$out/"
(cd "$out" && XDG_CONFIG_HOME="$PWD/config" ../src/app/pelinoxa-batch --script demo.batch --timings)

echo
echo "== the frames stacked against the generator's truth"
python3 - "$out/frames.json" "$out/jupiter-truth.json" <<'PY'
import json, sys
frames = json.load(open(sys.argv[1]))
truth = json.load(open(sys.argv[2]))["frame"]
strehl = {f["index"]: f["strehl"] for f in truth if not f["dropped"]}
ranked = [r["FrameIndex"] for r in frames["ranks"]][:len(strehl)]
chosen = ranked[:60]
mean = lambda v: sum(v) / len(v)
best = sorted(strehl.values(), reverse=True)[:60]
print("mean true Strehl ratio of the 60 frames stacked: %.3f" % mean([strehl[i] for i in chosen]))
print("mean over all %d frames:                        %.3f" % (len(strehl), mean(list(strehl.values()))))
print("mean of the truly sharpest 60:                   %.3f" % mean(best))
PY

echo
echo "== settings written"
echo "-- $out/config/pelinoxa/pelinoxa.ini (user settings)"
cat "$out/config/pelinoxa/pelinoxa.ini"
echo "-- $out/pelinoxa.ini (form settings, $(wc -l < "$out/pelinoxa.ini") lines; the first 12)"
head -n 12 "$out/pelinoxa.ini"
echo
echo "== results in $out"
ls -l "$out"
