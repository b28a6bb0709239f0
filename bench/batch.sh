#!/usr/bin/env bash
# Batch benchmark: N simulated cameras upgraded at once with an M MiB
# package through firmhand-cli, compared with the protocol's floor.
#
#   bench/batch.sh [CAMERAS=32] [MIB=64] [BUILD=build]
#
# PARALLEL=N sets "MaxParallelUpgrades" (default: the setting's 32). With
# more cameras than that, the cameras pass through ceil(CAMERAS / N)
# sliding slots one after another, so each floor below is one camera's
# floor times that number of slots.
#
# Two floors of one camera:
#   the old protocol floor: 100 acknowledgement polls of 100 ms (10 s)
#     + flashing time of the simulated camera (FLASH_MS)
#     + its offline time (at least the 10 s stretch that counts as offline)
#     + half a search round (2.5 s) on average until a round sees it back;
#   the camera-bound floor: the camera's own time only, i.e. its
#     acknowledgements (the simulator answers at once) and the data's time
#     on the wire (the longest transfer, read from the log with LOG_LEVEL=1;
#     else taken as 0), flashing, offline time.
# LOG_LEVEL=1 logs every block (a little more CPU); KEEP=1 keeps the folder.
set -euo pipefail
cd "$(dirname "$0")/.."
cameras=${1:-32}
mib=${2:-64}
build=${3:-build}
flash_ms=${FLASH_MS:-2000}
offline_ms=${OFFLINE_MS:-12000}
parallel=${PARALLEL:-32}
work=$(mktemp -d /tmp/firmhand-bench-XXXXXX)
export XDG_DATA_HOME=${XDG_DATA_HOME:-$work/data} XDG_STATE_HOME=${XDG_STATE_HOME:-$work/state}
sim_pid=""
cleanup() {
    if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; fi
    wait 2>/dev/null || true
    if [ -n "${KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

python3 - "$work" "$cameras" "$mib" "$flash_ms" "$offline_ms" <<'PY'
import json, os, struct, sys
work, n, mib, flash, offline = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
with open(os.path.join(work, "package.bin"), "wb") as f:
    f.write(struct.pack("<I", 0x20220118))
    chunk = os.urandom(1 << 20)
    for _ in range(mib):
        f.write(chunk)
# At most 100 cameras a /24, so that no address ends in .0 or .255:
# addresses 127.0.50.10 and up, slave addresses 127.0.150.10 and up.
groups = [(g, min(100, n - 100 * g)) for g in range((n + 99) // 100)]
fleet = {"searchPort": 0,
         "defaults": {"password": "739518", "flashMs": flash, "offlineMs": offline},
         "cameras": [{"mac": f"00:1A:2B:00:{50 + g:02X}:01", "ip": f"127.0.{50 + g}.10",
                      "ip2": f"127.0.{150 + g}.10", "mask2": "255.255.0.0",
                      "name": f"Bench {g + 1}", "repeat": count} for g, count in groups]}
json.dump(fleet, open(os.path.join(work, "fleet.json"), "w"))
PY

touch "$work/fleet.txt"
"$build/tools/sim/firmhand-sim" --fleet "$work/fleet.json" > "$work/fleet.txt" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 300); do
    [ "$(wc -l < "$work/fleet.txt")" -ge "$cameras" ] && break
    sleep 0.1
done
# One --target per camera (the SearchTargets setting holds 1023 characters).
targets=()
while read -r _ ip _ _ search_port; do targets+=(--target "$ip:$search_port"); done < "$work/fleet.txt"

start=$(date +%s.%N)
/usr/bin/time -v -o "$work/time.txt" "$build/src/cli/firmhand-cli" \
    --set MaxParallelUpgrades="$parallel" --set LogLevel=${LOG_LEVEL:-2} upgrade "${targets[@]}" \
    --package "$work/package.bin" --all --seconds 2 --yes \
    --report "$work/report.json" > "$work/cli.out" 2>&1 || true
end=$(date +%s.%N)

python3 - "$work" "$start" "$end" "$cameras" "$mib" "$flash_ms" "$offline_ms" "$parallel" <<'PY'
import datetime, glob, json, re, statistics, sys
work, start, end = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
n, mib, flash, offline = int(sys.argv[4]), int(sys.argv[5]), int(sys.argv[6]), int(sys.argv[7])
slots = -(-n // int(sys.argv[8]))
time_txt = open(work + "/time.txt").read()
def field(name):
    return re.search(re.escape(name) + r":\s*([\d.:]+)", time_txt).group(1)
user, system = float(field("User time (seconds)")), float(field("System time (seconds)"))
rss_mib = int(field("Maximum resident set size (kbytes)")) / 1024
results = json.load(open(work + "/report.json"))["results"]
ok = sum(1 for r in results if r["code"] == 0)
batch = max(r["seconds"] for r in results)
# With LOG_LEVEL=1 the log tells how long each transfer (100 blocks) took.
stamp = lambda line: datetime.datetime.strptime(line[:23], "%Y-%m-%d %H:%M:%S.%f").timestamp()
began, took = {}, []
for path in glob.glob(work + "/data/*/logs/firmhand-cli.log"):
    for line in open(path, errors="replace"):
        m = re.search(r"mac: ([0-9A-F:]{17})", line)
        if m and "totalSize:" in line:
            began[m.group(1)] = stamp(line)
        elif m and "send data succeed" in line and "times send" not in line and m.group(1) in began:
            took.append(stamp(line) - began.pop(m.group(1)))
offline_s = max(offline / 1000, 10.0)
floor = slots * (100 * 0.1 + flash / 1000 + offline_s + 2.5)
# The data's time on the wire is known from the log only (LOG_LEVEL=1).
wire = max(took) if took else 0.0
camera_floor = slots * (flash / 1000 + offline_s + wire)
# "N slots x (one camera's floor)" when cameras wait for a slot.
per = lambda parts: f"{slots} slots x ({parts})" if slots > 1 else parts
cpu = user + system
print(f"cameras                 {n} ({ok} upgraded), {slots} slot(s) of at most {sys.argv[8]} at once")
print(f"package                 {mib} MiB")
print(f"batch wall time         {batch:.1f} s   (whole CLI run {end - start:.1f} s incl. 2 s scan)")
print(f"old protocol floor      {floor:.1f} s   ({per(f'10 s polls + {flash/1000:.1f} s flash + {offline_s:.1f} s offline + 2.5 s half search round')})")
if took:
    print(f"transfer of 100 blocks  median {statistics.median(took):.2f} s, longest {wire:.2f} s ({len(took)} transfers)")
print(f"camera-bound floor      {camera_floor:.1f} s   ({per(f'{flash/1000:.1f} s flash + {offline_s:.1f} s offline + {wire:.2f} s longest transfer')}; acknowledgements at once)")
print(f"ratio to old floor      {batch / floor:.3f}")
print(f"ratio to camera floor   {batch / camera_floor:.3f}   target <= 1.05")
if took:
    # The longest of many transfers at once through one simulator process
    # is a generous share of the floor; the median is the typical camera's.
    median_floor = slots * (flash / 1000 + offline_s + statistics.median(took))
    print(f"  with median transfer  {batch / median_floor:.3f}   (floor {median_floor:.1f} s)")
print(f"CLI CPU                 {cpu:.2f} s = {cpu / n:.3f} s per camera, {cpu / (end - start):.2f} cores on average   target <= 0.14 s per camera")
print(f"CLI peak RSS            {rss_mib:.0f} MiB   target <= {mib + 64} MiB (package + 64 MiB)")
PY
