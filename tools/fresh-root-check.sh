#!/usr/bin/env bash
# Installs the Debian package into a fresh Debian root (debootstrap, minbase) and checks, as the
# member `mallory` of group dialout, that the installed tree lets no one in:
#   - replacing or removing the program or a shipped file fails;
#   - planting Kwlink.cfg, a description directory or com5 as links in the data directory
#     changes nothing root's next job does (it ends with its error, nothing lands elsewhere);
#   - a backup and a restore by mallory against the packaged simulated scale still work.
# It prints the `ls -l` of the installed tree and every refusal, and ends with status 0 only when
# every check held. Run as root:
#   bash tools/fresh-root-check.sh [path/to/kwlink_<version>_amd64.deb]
# The root is kept in $KWLINK_FRESH_ROOT (default /tmp/kwlink-fresh-root) and reused by later
# runs (only the package is installed anew); remove the directory for a really fresh one.
# Takes a few minutes the first time (debootstrap), well under a minute afterwards: not part of
# tools/test.sh, whose package test checks the same tree after the maintainer scripts.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
deb=${1:-$(ls "$here"/build/packages/kwlink_*_amd64.deb | head -n 1)}
target=${KWLINK_FRESH_ROOT:-/tmp/kwlink-fresh-root}
mirror=$(awk '/^URIs:/ { print $2; exit }' /etc/apt/sources.list.d/debian.sources 2>/dev/null ||
    true)
mirror=${mirror:-http://deb.debian.org/debian}
[ "$(id -u)" = 0 ] || { echo "run as root" >&2; exit 2; }

if [ ! -x "$target/usr/bin/dpkg" ]; then
    echo "== debootstrap bookworm into $target from $mirror"
    debootstrap --variant=minbase bookworm "$target" "$mirror" >"$target.debootstrap.log" 2>&1 ||
        { tail -20 "$target.debootstrap.log"; exit 1; }
fi
cleanup() {
    [ -n "${sims:-}" ] && kill $sims 2>/dev/null || true
    umount -R "$target/dev" 2>/dev/null || true
    umount "$target/proc" 2>/dev/null || true
}
trap cleanup EXIT
mount -t proc proc "$target/proc"
mount --rbind /dev "$target/dev"
mount --make-rslave "$target/dev"

in_root() { chroot "$target" "$@"; }
as_mallory() { chroot "$target" runuser -u mallory -- sh -c "$1"; }
failures=0
check() { # description, then a command that must succeed
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
refused() { # description, shell command mallory must not be able to do
    local out
    if out=$(as_mallory "$2" 2>&1); then
        echo "FAILED: $1 worked as mallory"
        failures=$((failures + 1))
    else
        echo "refused: $1: $out"
    fi
}

echo "== install $(basename "$deb")"
in_root sh -c 'dpkg -r kwlink >/dev/null 2>&1 || true; dpkg -P kwlink >/dev/null 2>&1 || true'
rm -rf "$target/root/"* "$target/var/opt/kwlink"
cp "$deb" "$target/tmp/kwlink.deb"
in_root dpkg -i /tmp/kwlink.deb
in_root sh -c 'id mallory >/dev/null 2>&1 || useradd -m -G dialout mallory'
echo "== the installed tree"
in_root ls -ld / /opt /opt/kwlink /var /var/opt /var/opt/kwlink /usr /usr/bin
in_root ls -lR /opt/kwlink
in_root ls -l /usr/bin/kwlink /usr/bin/kwlink-scale-sim

echo "== mallory (groups: $(in_root id -Gn mallory)) against the program directory"
refused "rename the program" 'mv /opt/kwlink/kwlink /opt/kwlink/kwlink.orig'
refused "remove the program" 'rm -f /opt/kwlink/kwlink'
refused "overwrite the program" 'printf "#!/bin/sh\nid -un\n" > /opt/kwlink/kwlink'
refused "add a program beside it" 'printf "x" > /opt/kwlink/kwlink.new'
refused "replace the /usr/bin link" 'ln -sf /tmp/x /usr/bin/kwlink'
refused "overwrite a shipped file" 'printf "1;x" > /opt/kwlink/Messages.res'
refused "remove a shipped description" 'rm -f /opt/kwlink/109SCALE700/TDES.csv'
refused "rename a shipped description directory" 'mv /opt/kwlink/109SCALE701 /opt/kwlink/x'
check "kwlink --version still the program" sh -c \
    "chroot '$target' kwlink --version | tail -n 1 | grep -q '^kwlink '"

sim() { # user, port, ident, extra options...: starts a simulated scale, prints its pid
    local user=$1 port=$2 ident=$3
    shift 3
    local out=/tmp/sim-$user-$port.out
    rm -f "$target$out"
    chroot "$target" runuser -u "$user" -- kwlink-scale-sim --link "/var/opt/kwlink/com$port" \
        --ident "$ident" --transcript "/tmp/sim-$user-$port.txt" "$@" >"$target$out" 2>&1 &
    local pid=$!
    for _ in $(seq 100); do
        grep -q ready "$target$out" 2>/dev/null && break
        sleep 0.1
    done
    sims="${sims:-} $pid"
    echo "$pid"
}
sample=/usr/share/doc/kwlink/examples/generic_scale.txt
root_refused() { # job string: root's job must end with its error
    if root_job "$1"; then
        echo "FAILED: root's job finished"
        failures=$((failures + 1))
    else
        echo "ok: root's job ended with its error"
    fi
}
root_job() { # job string; prints the exit status, the error file and the log lines that matter
    rm -rf "$target/root/backup"
    set +e
    in_root kwlink "$1" >/dev/null 2>"$target/tmp/stderr"
    local rc=$?
    set -e
    echo "   root's job: exit $rc; $(cat "$target/tmp/stderr" "$target/root/backup/Kwlink.Err" \
        2>/dev/null)"
    grep -a "not followed\|pseudo-terminal\|no terminal\|Com 5" "$target/root/backup/Kwlink.log" \
        2>/dev/null | sed 's/^/   log: /' || true
    return $rc
}

echo "== plants of mallory in the data directory, then root's next job"
as_mallory 'ln -s /root/nologin /var/opt/kwlink/Kwlink.cfg'
in_root ls -l /var/opt/kwlink/Kwlink.cfg
root_refused 'KWBACKUP[0,3];KWDIR[/root/backup]'
check "no /root/nologin" test ! -e "$target/root/nologin"
as_mallory 'rm /var/opt/kwlink/Kwlink.cfg'

as_mallory 'ln -s /root /var/opt/kwlink/KWSIM-GEN-01'
in_root ls -l /var/opt/kwlink/KWSIM-GEN-01
root_sim=$(sim root 6 KWSIM-GEN-01 --data "$sample")
root_refused 'KWBACKUP[0,3];KWDIR[/root/backup];KWPORT[6]'
check "no /root/TDES.csv, /root/ADES.csv" test ! -e "$target/root/TDES.csv" -a ! -e "$target/root/ADES.csv"
kill "$root_sim" 2>/dev/null || true
as_mallory 'rm /var/opt/kwlink/KWSIM-GEN-01'

mallory_sim=$(sim mallory 5 KWSIM-GEN-01 --data "$sample")
in_root ls -l /var/opt/kwlink/com5
in_root sh -c 'ls -lL /var/opt/kwlink/com5'
root_refused 'KWBACKUP[0,3];KWDIR[/root/backup];KWPORT[5]'
check "mallory's scale got nothing from root" sh -c \
    "! grep -q '^rx ' '$target/tmp/sim-mallory-5.txt'"
kill "$mallory_sim" 2>/dev/null || true

echo "== a backup and a restore by mallory against the packaged simulated scale"
mallory_sim=$(sim mallory 7 KWSIM-GEN-01 --data "$sample")
check "mallory's backup" as_mallory \
    'kwlink "KWBACKUP[0,3];KWDIR[$HOME/backup];KWPORT[7]" >/dev/null && ls $HOME/backup/ARTI.csv'
kill "$mallory_sim" 2>/dev/null || true
wait "$mallory_sim" 2>/dev/null || true
mallory_sim=$(sim mallory 7 KWSIM-GEN-01)
check "mallory's restore" as_mallory \
    'kwlink "KWRESTORE[0,3];KWDIR[$HOME/backup];KWPORT[7]" >/dev/null'
check "the scale stored records" grep -q '^store ' "$target/tmp/sim-mallory-7.txt"
kill "$mallory_sim" 2>/dev/null || true
in_root ls -la /var/opt/kwlink

echo "== $failures check(s) failed"
[ "$failures" = 0 ]
