#!/usr/bin/env bash
# scripts/capture --slurm on a private one-node Slurm cluster (its own
# config, state, ports and munge key, started here and stopped by process
# id whatever happens): the joined video holds exactly the frames one run
# gives; a segment that fails fails the capture, naming its log, and the
# join never runs.
# Usage: slurm_capture_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(realpath "$1") source=$(realpath "$2")
PATH=$PATH:/usr/sbin:/sbin
skip() { echo "SKIPPED: $*"; exit 77; }
# scripts/capture draws with the source tree's build/, which it builds.
[ "$build" = "$source/build" ] || skip "scripts/capture draws with $source/build, not $build"
[ "$(id -u)" = 0 ] || skip "slurmd runs jobs only when started as root"
for tool in munged slurmctld slurmd sbatch squeue scontrol sinfo ffmpeg ffprobe; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done

scratch=$(mktemp -d)
daemons=()
cleanup() {
  local waited
  if ((${#daemons[@]} > 1)); then
    # Whatever a failure left queued or running goes before its daemons.
    squeue --noheader --format=%A 2>/dev/null | xargs -r scancel 2>/dev/null || true
    for ((waited = 0; waited < 50; waited++)); do
      [ -z "$(squeue --noheader 2>/dev/null)" ] && break
      sleep 0.2
    done
  fi
  local pid
  for pid in "${daemons[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${daemons[@]}"; do
    for ((waited = 0; waited < 100; waited++)); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
failed() {
  echo "FAILED: $*"
  for log in "$scratch"/cluster/*.log "$scratch"/out/*.parts/log_*; do
    [ -f "$log" ] || continue
    echo "--- $log"
    tail -n 20 "$log"
  done
  exit 1
}

# Two ports nothing listens on.
free_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 30000))
    [ "$port" != "${1-}" ] || continue
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || break
  done
  echo "$port"
}
ctld_port=$(free_port)
slurmd_port=$(free_port "$ctld_port")

cluster=$scratch/cluster
mkdir -m 700 "$cluster" "$cluster/state" "$cluster/spool"
dd if=/dev/urandom of="$cluster/munge.key" bs=1024 count=1 status=none
chmod 600 "$cluster/munge.key"
munged --foreground --force --socket="$cluster/munge.socket" \
  --key-file="$cluster/munge.key" --pid-file="$cluster/munged.pid" \
  --log-file="$cluster/munged.log" --seed-file="$cluster/munged.seed" \
  2>>"$cluster/munged.log" &
daemons+=($!)

host=$(hostname -s)
export SLURM_CONF=$cluster/slurm.conf
cat >"$SLURM_CONF" <<EOF
ClusterName=korvanetest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$cluster/munge.socket
StateSaveLocation=$cluster/state
SlurmdSpoolDir=$cluster/spool
SlurmctldPidFile=$cluster/slurmctld.pid
SlurmdPidFile=$cluster/slurmd.pid
SlurmctldLogFile=$cluster/slurmctld.log
SlurmdLogFile=$cluster/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
SchedulerType=sched/backfill
SchedulerParameters=bf_interval=1,sched_interval=2
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SlurmdParameters=config_overrides
ReturnToService=2
MailProg=/bin/true
MessageTimeout=10
SlurmdTimeout=30
InactiveLimit=0
KillWait=5
MinJobAge=60
NodeName=$host NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=korvanetest Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF
# Until munged answers, the daemons cannot start.
for ((waited = 0; ; waited++)); do
  [ -S "$cluster/munge.socket" ] && break
  ((waited < 100)) || failed "munged did not start"
  sleep 0.1
done
slurmctld -D -i >>"$cluster/slurmctld.log" 2>&1 &
daemons+=($!)
slurmd -D >>"$cluster/slurmd.log" 2>&1 &
daemons+=($!)
for ((waited = 0; ; waited++)); do
  [ "$(sinfo --noheader --format=%T 2>/dev/null)" = idle ] && break
  ((waited < 60)) || failed "the node did not come up"
  sleep 0.5
done

# A 600 ms show with motion in every frame, its music enabled.
show="$scratch/the show"
mkdir -p "$show/Data"
cp "$source/show/mirl .mp3" "$show/"
cp "$source/show/Data/checker.png" "$show/Data/"
cat >"$show/Data/mirl .script" <<'EOF'
<demo> resolution 160 120 music ENABLE showtime ENABLE
<part> length 300 backgroundcolor 0 0 90
<layer> type PICTURE filename checker.png position 0 0 4 size 2 2
<timeline> 0 position -1 0 4 300 position 1 0 4 </timeline> </layer> </part>
<part> length 300 backgroundcolor 40 0 0
<layer> type PICTURE filename checker.png position 0 0 4 size 1 1
<timeline> 0 position 0 -1 4 300 position 0 1 4 </timeline> </layer> </part>
EOF
frames() { ffmpeg -v error -i "$1" -map 0:v -f framemd5 - | grep -v '^#' | awk '{print $NF}'; }
streams() { ffprobe -v error -show_entries stream=codec_name -of csv=p=0 "$1"; }

export SDL_VIDEODRIVER=offscreen LIBGL_ALWAYS_SOFTWARE=1 SDL_AUDIODRIVER=dummy
"$build/korvane-render" "$show" --video "$scratch/whole.mkv" --lossless --fps 30 >/dev/null
whole=$(frames "$scratch/whole.mkv")
[ "$(wc -l <<<"$whole")" = 18 ] || failed "one run gave $(wc -l <<<"$whole") frames, not 18"

# From another folder: the jobs find the show and the programs by their
# absolute paths.
out="$scratch/out/joined 50% video.mkv"
mkdir "$scratch/out" "$scratch/elsewhere"
(cd "$scratch/elsewhere" &&
  timeout 120 "$source/scripts/capture" "../the show" "../out/joined 50% video.mkv" \
    --slurm 3 --wait --lossless --fps 30) >"$scratch/capture.txt" 2>&1 ||
  { cat "$scratch/capture.txt"; failed "the capture failed"; }
cat "$scratch/capture.txt"
[ "$(frames "$out")" = "$whole" ] || failed "the joined video's frames are not the one run's"
[ "$(streams "$out")" = "$(streams "$scratch/whole.mkv")" ] ||
  failed "the joined video's streams are $(streams "$out" | tr '\n' ' ')"
for k in 1 2 3; do
  grep -q "segment $k/3 done" "$scratch/capture.txt" || failed "segment $k/3 not reported"
done

# Segment 2 cannot write its part: the capture fails naming its log, the
# other segments end well, and the join is cancelled, not left pending.
bad=$scratch/out/bad.mkv
mkdir -p "$bad.parts/part_2.mkv"
status=0
timeout 120 "$source/scripts/capture" "$show" "$bad" --slurm 3 --wait \
  --lossless --fps 30 >"$scratch/bad.txt" 2>&1 || status=$?
cat "$scratch/bad.txt"
[ "$status" = 1 ] || failed "the capture with a failed segment exited $status, not 1"
grep -qF "segment 2/3 failed (exit 1): see $bad.parts/log_2" "$scratch/bad.txt" ||
  failed "the failed segment's log is not named"
grep -q "Is a directory" "$bad.parts/log_2" || failed "log_2 does not say why"
grep -q "segment 1/3 done" "$scratch/bad.txt" || failed "segment 1/3 not reported"
grep -q "the join (job [0-9]*) did not run" "$scratch/bad.txt" ||
  failed "the join is not reported as not run"
[ ! -e "$bad" ] || failed "a video was written from failed segments"
[ -z "$(squeue --noheader)" ] || failed "jobs are left: $(squeue --noheader)"
echo "captured on Slurm: the one run's frames; a failed segment named"
