#!/bin/sh
# Starts a private single-node Slurm cluster (munged, slurmctld, slurmd; one
# node with 2 CPUs, one partition) in a scratch folder, runs a command with
# SLURM_CONF pointing at it, then stops the daemons and removes the folder.
#
#   private_slurm.sh COMMAND [ARGS...]
#
# The exit status is the command's. When Slurm cannot be started here (not
# root, a program missing, a daemon that does not come up), it says why and
# exits with 77, which ctest takes as a skip. The daemons listen on loopback
# only, on ports of their own, so they touch no Slurm of the machine.
set -u

skip() { echo "SKIP: $*"; exit 77; }

[ "$(id -u)" -eq 0 ] || skip "Slurm's daemons must be started as root (this is uid $(id -u))"
for prog in munged munge slurmctld slurmd sbatch squeue sinfo; do
  command -v "$prog" >/dev/null 2>&1 || skip "'$prog' is not installed (Debian packages slurm-wlm and munge)"
done

work=$(mktemp -d /tmp/simblocks-slurm.XXXXXX)
chmod 755 "$work"
mkdir -p "$work/state" "$work/spool" "$work/log"
host=$(hostname -s 2>/dev/null || hostname)
port=$((20000 + $$ % 20000))

stop_all() {
  for pidfile in "$work/slurmd.pid" "$work/slurmctld.pid"; do
    [ -f "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null
  done
  [ -S "$work/munge.sock" ] && munged --stop --socket="$work/munge.sock" >/dev/null 2>&1
  # Give the daemons a moment to go before their folder does.
  i=0
  while [ $i -lt 50 ] && { [ -f "$work/slurmd.pid" ] && kill -0 "$(cat "$work/slurmd.pid")" 2>/dev/null; }; do
    sleep 0.1; i=$((i + 1))
  done
  rm -rf "$work"
}
trap stop_all EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# munge: a key of its own, a socket of its own.
dd if=/dev/urandom of="$work/munge.key" bs=1024 count=1 2>/dev/null
chmod 600 "$work/munge.key"
munged --force --socket="$work/munge.sock" --key-file="$work/munge.key" \
  --log-file="$work/log/munged.log" --pid-file="$work/munged.pid" --seed-file="$work/munged.seed" \
  || skip "munged does not start: $(tail -3 "$work/log/munged.log" 2>/dev/null)"

cat > "$work/slurm.conf" <<CONF
ClusterName=simblocks
SlurmctldHost=$host(127.0.0.1)
SlurmUser=root
SlurmdUser=root
SlurmctldPort=$port
SlurmdPort=$((port + 1))
AuthType=auth/munge
AuthInfo=socket=$work/munge.sock
CredType=cred/munge
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/log/slurmctld.log
SlurmdLogFile=$work/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SchedulerType=sched/backfill
MpiDefault=none
ReturnToService=2
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
NodeName=$host NodeAddr=127.0.0.1 CPUs=2 State=UNKNOWN
PartitionName=simblocks Nodes=ALL Default=YES MaxTime=INFINITE State=UP
CONF
SLURM_CONF=$work/slurm.conf
export SLURM_CONF

slurmctld -f "$SLURM_CONF" || skip "slurmctld does not start: $(tail -3 "$work/log/slurmctld.log" 2>/dev/null)"
slurmd -f "$SLURM_CONF" || skip "slurmd does not start: $(tail -3 "$work/log/slurmd.log" 2>/dev/null)"

# Ready when the node is idle.
i=0
until sinfo --noheader --states=idle --format=%N 2>/dev/null | grep -q .; do
  i=$((i + 1))
  [ $i -le 300 ] || skip "the Slurm node did not come up within 30 s: $(tail -3 "$work/log/slurmd.log" 2>/dev/null)"
  sleep 0.1
done
echo "private Slurm up: $(sinfo --noheader --format='%P %D node(s), %c CPUs, %t')"

"$@"
status=$?
[ $status -eq 0 ] || { echo "--- slurmctld log"; tail -20 "$work/log/slurmctld.log"; echo "--- slurmd log"; tail -20 "$work/log/slurmd.log"; }
exit $status
