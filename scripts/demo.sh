#!/usr/bin/env bash
# Runs the workstation on the simulated printer, in a demonstration workstation of its own:
# installs what is missing, builds a release build, prepares a system drive and a settings root
# under build/demo (or $VELQUORIN_DEMO_DIR), starts velquorin with the printer's recorder on,
# and drops a sample print job into the job folder once the program's analyser takes new jobs
# for automatic printing. The job prints by itself; the script reports the picture of the sheet
# the simulated printer printed. With a display the window stays open until Ctrl-C; without one
# the program runs offscreen and the script ends it once the sheet is written.
# VELQUORIN_DEMO_MANUAL=1 turns automatic printing off: the job waits in the job queue for the
# operator to print it by hand, and the window stays open until it is closed or Ctrl-C.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

build=${VELQUORIN_DEMO_BUILD:-build/release}
demo=${VELQUORIN_DEMO_DIR:-$PWD/build/demo}
scale=${VELQUORIN_TIME_SCALE:-1}
manual=${VELQUORIN_DEMO_MANUAL:-0}
print_job_set=0
if [ "$manual" = 1 ]; then print_job_set=1; fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DVELQUORIN_TESTS=OFF -DVELQUORIN_BENCH=OFF >/dev/null
cmake --build "$build" -j"${VELQUORIN_JOBS:-$(nproc)}" --target velquorin prn-gen
program=$build/src/app/velquorin
prn_gen=$build/tools/prn-gen/prn-gen

# A fresh workstation each run. Only a folder this script made is ever removed.
marker=.velquorin-demo
if [ -e "$demo" ]; then
  if [ ! -e "$demo/$marker" ]; then
    echo "demo: $demo exists and was not made by this script; set VELQUORIN_DEMO_DIR" >&2
    exit 1
  fi
  rm -rf "$demo"
fi
drive=$demo/drive_c
settings=$demo/data/NorvaxelQ800X
spool=$demo/IMAGESPOOL
jobs=$demo/Output
printed=$demo/printed-sheet
mkdir -p "$drive" "$settings/RIPCM" "$spool" "$jobs" "$demo/run"
touch "$demo/$marker"
chmod 700 "$demo/run"

# "hotfpath.ini" and "all_setting.ini" as the installation writes them, with CR LF line ends;
# Print_job_set 0 sends each analysed job to the printer without the operator, 1 leaves it to him.
printf '%s\r\n%s\r\n' "$spool" "$jobs" >"$drive/hotfpath.ini"
printf '%s\r\n' "[overall situation]" "file print finish set=1" "print cancel file set=1" \
  "feather set=2" "UV set=2" "Print_job_set=$print_job_set" \
  "Channle 1=0" "Channle 2=1" "Channle 3=2" "Channle 4=3" \
  "Channle 5=4" "Channle 6=5" "Channle 7=6" "Channle 8=7" \
  "Print_direction_set=2" "print_media=0" "rotary_range=0" "rotary_dimeter=" \
  "step_adjust=2" >"$settings/all_setting.ini"

export XDG_DATA_HOME=$demo/data
export VELQUORIN_SYSTEM_DRIVE=$drive
# An instance of its own: a workstation already running for this user is left alone.
export XDG_RUNTIME_DIR=$demo/run
export VELQUORIN_PRINTER=sim
export VELQUORIN_SIM_CAPTURE=$printed
export VELQUORIN_SIM_CAPTURE_BANDS=1
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
  echo "demo: no display, the window runs offscreen"
  if [ "$manual" = 1 ]; then
    echo "demo: printing by hand needs a display (DISPLAY or WAYLAND_DISPLAY)" >&2
    exit 1
  fi
fi

"$program" &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' INT TERM EXIT
echo "demo: velquorin runs (pid $pid) on the workstation in $demo"

# Jobs that the analyser meets in its first 20000 ms are never sent by themselves, so the
# sample job comes a little later (program time; VELQUORIN_TIME_SCALE speeds it up).
sleep "$(awk -v s="$scale" 'BEGIN { if (s <= 0) s = 1; printf "%.3f", 21 / s }')"
if ! kill -0 "$pid" 2>/dev/null; then
  echo "demo: velquorin ended before the job could be given to it" >&2
  exit 1
fi
# Written beside the job folder and moved in whole, so the watcher never meets half a file.
"$prn_gen" --width 100mm --length 60mm --dpi 720x720 --pattern blocks -o "$demo/sample.prn" >/dev/null
mv "$demo/sample.prn" "$jobs/sample.prn"
echo "demo: sample job $jobs/sample.prn is in the job folder"
echo "demo: the printer's record goes to $printed (events.jsonl, band-NNNNNN.bin, sheet-NNN.png)"

if [ "$manual" = 1 ]; then
  echo "demo: automatic printing is off: select the job, click Print, and the sheet is written"
  echo "demo: to $printed/sheet-000.png; the window stays open until it is closed or Ctrl-C"
  wait "$pid" || true
  trap - INT TERM EXIT
  exit 0
fi

# The sheet is written when the printer ends the job; bounded, so a job that never prints
# ends the demonstration with a clear message instead of a wait without end.
sheet=$printed/sheet-000.png
limit=$(awk -v s="$scale" 'BEGIN { if (s <= 0) s = 1; printf "%d", 900 / s + 30 }')
waited=0
while [ ! -e "$sheet" ]; do
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "demo: velquorin ended before the sheet was printed" >&2
    exit 1
  fi
  if [ "$waited" -ge "$limit" ]; then
    echo "demo: no sheet after $limit s; see $printed/events.jsonl" >&2
    exit 1
  fi
  sleep 1
  waited=$((waited + 1))
done
echo "demo: the sample job is printed; the sheet's picture is $sheet"
# The job printer then files the job away (here into the printed-jobs history).
waited=0
while [ -e "$jobs/sample.prn" ] && [ "$waited" -lt 30 ] && kill -0 "$pid" 2>/dev/null; do
  sleep 1
  waited=$((waited + 1))
done
if [ -e "$jobs/sample.prn" ]; then
  echo "demo: the sample job is still in the job folder" >&2
else
  echo "demo: the sample job has left the job folder for the printed-jobs history in $settings/RIPCM"
fi

if [ "${QT_QPA_PLATFORM:-}" = offscreen ]; then
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  trap - INT TERM EXIT
  echo "demo: done"
  exit 0
fi
echo "demo: the window stays open; Ctrl-C ends the demonstration"
wait "$pid" || true
trap - INT TERM EXIT
