#!/usr/bin/env bash
# The installed driver, registered and used as a user does it, in a fresh system root:
# regsvr of the installed libtevo.so, the registry keys and the IVI configuration store
# entries it writes, creation by ProgID and class identifier, Initialize by the logical name
# against the emulator after the user pointed the hardware asset at it, registering again
# without touching what the user changed, and unregistering back to the hives as before.
#
# Usage: registration_end_to_end.sh SDK_PREFIX CLIENT WORK_DIR
#   CLIENT is registered_driver built against the installed SDK.
set -euo pipefail

prefix=$1
client=$2
work=$3
bin=$prefix/bin
driver=$prefix/lib/libtevo.so

rm -rf "$work"
mkdir -p "$work"
export TEVO_SYSTEM_ROOT=$work/system

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

# Runs a command and checks that its output holds every expected line fragment.
expect_output() {
    local description=$1
    shift
    local output
    output=$("${@:1:$#-1}" 2>&1) || fail "$description: exit $? from ${*:1:$#-1}: $output"
    local expected
    while IFS= read -r expected; do
        [[ -z $expected ]] && continue
        grep -qF -- "$expected" <<<"$output" || fail "$description: no '$expected' in:
$output"
    done <<<"${!#}"
    echo "ok: $description"
}

emulator_pid=
cleanup() {
    if [[ -n $emulator_pid ]]; then
        kill "$emulator_pid" 2>/dev/null || true
        wait "$emulator_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT

export_hives() {
    "$bin/reg" export HKLM "$1.hklm" /y >/dev/null
    "$bin/reg" export HKCU "$1.hkcu" /y >/dev/null
}

# The fresh root is set up on first use of the COM runtime (the platform's own components
# registered); ivi-config is such a use.
"$bin/ivi-config" list >/dev/null || fail "ivi-config list in a fresh system root"
export_hives "$work/before"

"$bin/regsvr" /s "$driver" || fail "regsvr $driver"

clsid='{02bd502a-d246-488b-bb4c-4659e329a803}'
expect_output "ProgIDs" "$bin/reg" query 'HKCR\Tevo.Tevo' /s "Tevo Class
$clsid
Tevo.Tevo.1"
expect_output "driver class" "$bin/reg" query "HKCR\\CLSID\\$clsid" /s "$driver
ThreadingModel    REG_SZ    Both
Tevo.Tevo.1
Tevo.Tevo
Programmable
{16f9c0c7-2a66-4cf9-ba35-47d6737eb6e5}
{47ED5152-A398-11D4-BA58-000064657374}
{47ED5158-A398-11D4-BA58-000064657374}"
expect_output "trace item classes" "$bin/reg" query 'HKCR\Tevo.TevoSpecAnTrace.1' "TevoSpecAnTrace Class"
expect_output "trace item classes" "$bin/reg" query 'HKCR\Tevo.TevoTrace\CurVer' "Tevo.TevoTrace.1"
expect_output "type library" "$bin/reg" query 'HKCR\TypeLib\{16f9c0c7-2a66-4cf9-ba35-47d6737eb6e5}' /s "$driver"

expect_output "hardware asset" "$bin/ivi-config" show hardware-asset Tevo.Hardware \
    "GPIB0::20::INSTR
Tevo hardware asset description"
expect_output "software module" "$bin/ivi-config" show software-module Tevo.Software \
    "Tevo.Tevo
KLA,KLBR,KLC,KLD,KLF
SpecAnTrace
range1
IviDriver
IviSpecAn"
expect_output "driver session" "$bin/ivi-config" show driver-session Tevo.DriverSession \
    "Tevo.Hardware
Tevo.Software
Tr1
SpecAnTrace1
Trace6"
expect_output "logical name" "$bin/ivi-config" show logical-name Tevo "Tevo.DriverSession"

for name in Tevo.Tevo Tevo.Tevo.1 '{02BD502A-D246-488B-BB4C-4659E329A803}'; do
    expect_output "creation by $name" "$client" create "$name" "created {02BD502A-D246-488B-BB4C-4659E329A803}"
done
expect_output "late binding" "$client" dispatch "Frequency.Start"

# The user points the hardware asset at an analyzer (the emulator) and opens the session
# by its logical name.
exec {emulator_output}< <(exec "$bin/kl-emulator" --port 0 --model KLD 2>&1)
emulator_pid=$!
IFS= read -r -t 30 -u "$emulator_output" line || fail "the emulator did not start"
port=$(sed -n 's/.*listening on \([0-9]*\).*/\1/p' <<<"$line")
[[ -n $port ]] || fail "the emulator did not start: $line"
resource="TCPIP0::127.0.0.1::$port::SOCKET"
"$bin/ivi-config" set hardware-asset Tevo.Hardware --resource "$resource" >/dev/null ||
    fail "ivi-config set hardware-asset"
expect_output "Initialize by logical name" "$client" initialize Tevo "KLD"

# Registering again keeps what the user changed.
"$bin/regsvr" /s "$driver" || fail "second regsvr"
expect_output "user's resource kept" "$bin/ivi-config" show hardware-asset Tevo.Hardware "$resource"
[[ $("$bin/ivi-config" list logical-name | grep -c '^Tevo$') == 1 ]] || fail "one logical name Tevo"
expect_output "Initialize after registering again" "$client" initialize Tevo "KLD"

# Unregistering leaves the hives as they were and takes the software module out of the
# saved store; the asset, session and logical name stay.
"$bin/regsvr" /u /s "$driver" || fail "regsvr /u"
export_hives "$work/after"
diff -u "$work/before.hklm" "$work/after.hklm" || fail "HKLM differs after unregistration"
diff -u "$work/before.hkcu" "$work/after.hkcu" || fail "HKCU differs after unregistration"
echo "ok: hives as before"
if "$bin/ivi-config" list software-module | grep -q '^Tevo.Software$'; then
    fail "the software module is still in the store"
fi
expect_output "entries kept" "$bin/ivi-config" list "Tevo.Hardware
Tevo.DriverSession
Tevo"
if "$client" create Tevo.Tevo 2>/dev/null; then
    fail "the driver is still creatable after unregistration"
fi
echo "registration end to end: all ok"
