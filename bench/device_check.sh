#!/usr/bin/env bash
# One check of a machine with an NVIDIA GPU, in under 8 minutes, run from the repository
# root: the OpenCL devices, the device the program takes for its physics, the solver bench
# on the device and on the CPU, a 20-second headless benchmark with the physics on the GPU
# and one on the CPU, and the program's GPU readings of a 10-second stability test against
# nvidia-smi's over the same seconds. Everything printed also goes to a folder: $1, default
# ./device-check-out.
#
# It uses the Release build in build/release and builds it (cmake, ninja; nothing from the
# network) when a binary is missing. Without nvidia-smi, NVML or an OpenCL GPU it says so
# and goes on with what it can do; PLASHWERK_OPENCL_DEVICE=cpu puts the device cases on a
# CPU OpenCL device (PoCL) instead, to try the script on a machine without a GPU, and
# DEVICE_CHECK_STARTUP_OPTIONS adds attributes to the runs' startup_options.xml (for a
# slow device, fewer particles: 'use_particle_count="0" particles_rate="100"').

set -u

OUT=${1:-./device-check-out}
mkdir -p "$OUT" || exit 1
OUT=$(cd "$OUT" && pwd)
ROOT=$(pwd)
BUILD=$ROOT/build/release
APP=$BUILD/app/plashwerk
BENCH=$BUILD/bench/physx_solver_bench
LOG=$OUT/device-check.log
: >"$LOG"
# The whole check stops short of 8 minutes: each step gets what is left, up to its own cap.
TOTAL_S=465
SECONDS=0

say() { printf '%s\n' "$*" | tee -a "$LOG"; }
section() { say "" "== $* ($(date +%H:%M:%S), ${SECONDS}s in)"; }

# Seconds a step may take: its cap, or what is left of the whole; 0 when too little is left.
allow() {
    local left=$((TOTAL_S - SECONDS))
    local cap=$1
    ((left < cap)) && cap=$left
    ((cap < 10)) && cap=0
    echo "$cap"
}

# Runs a command under timeout with its output shown and kept in $OUT/<name>.txt.
step() {
    local name=$1 cap=$2
    shift 2
    local t
    t=$(allow "$cap")
    if ((t == 0)); then
        say "skipped: $name (the 8 minutes are spent)"
        return 124
    fi
    timeout --kill-after=5 "$t" "$@" >"$OUT/$name.txt" 2>&1
    local rc=$?
    tee -a "$LOG" <"$OUT/$name.txt"
    ((rc == 124 || rc == 137)) && say "timed out after ${t}s: $name"
    ((rc != 0 && rc != 124 && rc != 137)) && say "exit status $rc: $name"
    return "$rc"
}

have() { command -v "$1" >/dev/null 2>&1; }

section "Machine"
say "host $(uname -n), $(nproc) CPUs, kernel $(uname -r)"
if have nvidia-smi; then
    step nvidia-smi 20 nvidia-smi -L
    step nvidia-smi-driver 20 nvidia-smi --query-gpu=name,driver_version,memory.total,power.limit --format=csv
else
    say "nvidia-smi: not installed (no NVIDIA driver tools); the NVML comparison is skipped"
fi

section "Build (build/release)"
if [[ -x $APP && -x $BENCH ]]; then
    say "found $APP and $BENCH"
else
    say "building plashwerk and physx_solver_bench in build/release"
    if ! have cmake || ! have ninja; then
        say "cmake or ninja missing: cannot build; the steps that need the binaries fail"
    else
        launcher=()
        have ccache && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
        compilers=()
        have clang++ && compilers=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
        step cmake-configure 120 cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            "${compilers[@]}" "${launcher[@]}" &&
            step cmake-build 300 ninja -C "$BUILD" plashwerk physx_solver_bench
    fi
fi

section "OpenCL devices (clinfo -l)"
if have clinfo; then
    step clinfo 20 clinfo -l
else
    say "clinfo: not installed; the device the program finds is in the bench labels below"
fi
say "PLASHWERK_OPENCL_DEVICE=${PLASHWERK_OPENCL_DEVICE:-} (cpu: a CPU OpenCL device stands in for the GPU)"

section "Solver bench: device and CPU cases"
# The label of a device case names the OpenCL device the physics SDK took.
filter='^(DefaultLayout/threads:0|SettledPool/particles:65000/threads:0|DeviceSettledPool|DeviceDefaultLayout)'
step solver-bench 120 "$BENCH" --benchmark_filter="$filter" --benchmark_min_time=2 \
    --benchmark_out="$OUT/solver-bench.json" --benchmark_out_format=json

# A program folder of its own per run (the options file is read beside the program, the
# monitoring logs are written there) and a working folder with the images.
RUNS=$OUT/runs
prepare_run() {
    local name=$1 physx_cpu=$2
    rm -rf "${RUNS:?}/$name"
    mkdir -p "$RUNS/$name/bin" "$RUNS/$name/work" || return 1
    cp "$APP" "$RUNS/$name/bin/plashwerk" || return 1
    ln -s "$ROOT/data" "$RUNS/$name/work/data"
    printf '<plashwerk><startup_options physx_cpu="%s" %s/></plashwerk>\n' "$physx_cpu" \
        "${DEVICE_CHECK_STARTUP_OPTIONS:-}" >"$RUNS/$name/bin/startup_options.xml"
}

# The results document's physics placement, SPS and FPS.
print_rates() {
    local json=$1
    if [[ ! -s $json ]]; then
        say "no results document ($json)"
        return
    fi
    if have python3; then
        python3 - "$json" <<'EOF' | tee -a "$LOG"
import json, sys
d = json.load(open(sys.argv[1]))
s, f = d.get("sps", {}), d.get("fps", {})
print("physics on GPU: %s   SPS min/avg/max: %s/%s/%s   FPS min/avg/max: %s/%s/%s   %s s"
      % (d.get("physx_on_gpu"), s.get("min"), s.get("avg"), s.get("max"),
         f.get("min"), f.get("avg"), f.get("max"), d.get("duration_ms", 0) / 1000))
EOF
    else
        say "python3 missing: see $json"
    fi
}

headless_benchmark() {
    local name=$1 physx_cpu=$2 cap=$3
    section "20-second headless benchmark, physics on the $name"
    prepare_run "bench-$name" "$physx_cpu" || {
        say "could not prepare the run folder"
        return
    }
    (cd "$RUNS/bench-$name/work" &&
        step "bench-$name" "$cap" env -u DISPLAY -u WAYLAND_DISPLAY ../bin/plashwerk /nogui \
            /run_mode=1 /max_time=20000 /noscore "/results_json=$OUT/bench-$name.json")
    rm -f "$RUNS/bench-$name/bin/plashwerk"  # only the logs stay
    grep -h "PhysX GPU(s)\|hardware detected\|crash detected" \
        "$RUNS/bench-$name/work/Plashwerk_trace.log" 2>/dev/null | tee -a "$LOG"
    print_rates "$OUT/bench-$name.json"
}

section "10-second stability test: the program's GPU readings against nvidia-smi"
prepare_run stability 0
SMI_CSV=$OUT/nvidia-smi.csv
smi_pid=
if have nvidia-smi; then
    nvidia-smi -i 0 --query-gpu=timestamp,temperature.gpu,clocks.sm,clocks.mem,utilization.gpu,power.draw \
        --format=csv,nounits -l 1 >"$SMI_CSV" 2>"$OUT/nvidia-smi.err" &
    smi_pid=$!
fi
MON_CSV=$RUNS/stability/bin/plashwerk-gpu-monitoring.csv
t=$(allow 45)
run_start='' run_end=''
if ((t > 0)); then
    (cd "$RUNS/stability/work" &&
        exec timeout --kill-after=5 "$t" env -u DISPLAY -u WAYLAND_DISPLAY ../bin/plashwerk /nogui \
            /run_mode=2 /stability_time=10 /log_temperature "/results_json=$OUT/stability.json" \
            >"$OUT/stability.txt" 2>&1) &
    prog_pid=$!
    # The run's seconds: from its first monitoring line to its end.
    while kill -0 "$prog_pid" 2>/dev/null; do
        [[ -z $run_start && -s $MON_CSV ]] && run_start=$(date +%s.%N)
        sleep 0.2
    done
    wait "$prog_pid"
    say "stability test exit status $? (0 PASS, 3 FAIL)"
    run_end=$(date +%s.%N)
    tee -a "$LOG" <"$OUT/stability.txt"
else
    say "skipped: the stability test (the 8 minutes are spent)"
fi
if [[ -n $smi_pid ]]; then
    kill "$smi_pid" 2>/dev/null
    wait "$smi_pid" 2>/dev/null
fi
[[ -f $MON_CSV ]] && cp "$MON_CSV" "$OUT/"
rm -f "$RUNS/stability/bin/plashwerk"
if ! have python3; then
    say "python3 missing: compare $OUT/plashwerk-gpu-monitoring.csv and $SMI_CSV by hand"
else
    python3 - "$OUT/stability.json" "$MON_CSV" "$SMI_CSV" "${run_start:-}" "${run_end:-}" \
        <<'EOF' | tee -a "$LOG"
import csv, datetime, json, os, sys

doc_path, mon_path, smi_path, start, end = sys.argv[1:6]

def mean(values):
    values = [v for v in values if v is not None]
    return sum(values) / len(values) if values else None

def number(text):
    try:
        return float(text)
    except (TypeError, ValueError):
        return None

# The program's readings, once a second: the results document (NVML through the GPU
# library) and the monitoring log.
doc = {}
if os.path.exists(doc_path):
    gpus = json.load(open(doc_path)).get("series", {}).get("gpus", [])
    if gpus:
        g = gpus[0]
        doc = {"temperature": mean(g.get("temperature_c", [])),
               "sm clock": mean(g.get("core_clock_mhz", [])),
               "memory clock": mean(g.get("memory_clock_mhz", [])),
               "utilization": mean(g.get("load_percent", [])),
               "power": mean(g.get("power_w", []))}
        print("program (results document): GPU %r, %d seconds" %
              (g.get("name"), len(g.get("temperature_c", []))))
    else:
        print("program (results document): no GPU readings (no NVML?)")
else:
    print("program: no results document")
log = {}
if os.path.exists(mon_path):
    rows = list(csv.DictReader(open(mon_path, newline="")))

    def column(name):
        # A column of zeros only is a reading the monitor did not have.
        values = [number(r.get(name)) for r in rows]
        return mean(values) if any(values) else None

    log = {"temperature": column("celcius"),
           "sm clock": column("core_clock"),
           "memory clock": column("memory_clock"),
           "utilization": column("gpu_load"),
           "power": None}  # the log's gpu_power is a percentage of the board's limit
    print("program (monitoring log): %d lines, power %% of limit: %s" %
          (len(rows), mean(number(r.get("gpu_power")) for r in rows)))
else:
    print("program: no monitoring log (no GPU monitored)")

# nvidia-smi's samples over the run's seconds (all of them when those are unknown).
smi = {}
if os.path.exists(smi_path) and os.path.getsize(smi_path) > 0:
    rows = [r for r in csv.reader(open(smi_path)) if r and not r[0].startswith("timestamp")]
    lo = float(start) if start else None
    hi = float(end) if end else None
    picked = []
    for r in rows:
        try:
            t = datetime.datetime.strptime(r[0].strip(), "%Y/%m/%d %H:%M:%S.%f").timestamp()
        except ValueError:
            continue
        if (lo is None or t >= lo) and (hi is None or t <= hi):
            picked.append([number(v.strip()) for v in r[1:6]])
    if not picked:
        picked = [[number(v.strip()) for v in r[1:6]] for r in rows]
    keys = ["temperature", "sm clock", "memory clock", "utilization", "power"]
    smi = {k: mean(p[i] for p in picked) for i, k in enumerate(keys)}
    print("nvidia-smi: %d samples of the run's seconds" % len(picked))
else:
    print("nvidia-smi: no samples")

units = {"temperature": "C", "sm clock": "MHz", "memory clock": "MHz",
         "utilization": "%", "power": "W"}
fmt = lambda v: "-" if v is None else "%.1f" % v
print("%-14s %5s %12s %12s %12s %12s" %
      ("quantity", "unit", "program", "program log", "nvidia-smi", "difference"))
for k, u in units.items():
    p = doc.get(k) if doc.get(k) is not None else log.get(k)
    s = smi.get(k)
    diff = None if p is None or s is None else p - s
    print("%-14s %5s %12s %12s %12s %12s" % (k, u, fmt(doc.get(k)), fmt(log.get(k)), fmt(s), fmt(diff)))
print("(program: the results document's series, else the monitoring log; difference: program - nvidia-smi)")
EOF
fi

# The benchmark first fills the fluids (about 15 s of emission with the default settings)
# and warms up for 5 s before its 20 seconds.
headless_benchmark GPU 0 100
headless_benchmark CPU 1 120

section "Device work-group sizes (128 is the default on a GPU)"
for g in 64 256; do
    PLASHWERK_OPENCL_GROUP=$g step "solver-bench-group-$g" 30 "$BENCH" \
        --benchmark_filter='^DeviceSettledPool' --benchmark_min_time=1
done

section "Done in ${SECONDS}s; everything is in $OUT"
