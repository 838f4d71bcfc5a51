# Adds the driver's entries to the IVI configuration store, run by the script host at
# registration: a hardware asset, the software module with its physical names, ranges and
# published APIs, a driver session with its virtual names, and a logical name. Each entry
# is added only when it is missing; an entry that exists is left exactly as it is, so that
# registering again keeps what the user changed. All steps run in one 'ivi-config run',
# which loads and locks the store once and saves it once; a step that fails (one inside a
# software module or driver session that could not be added, say) is reported and skipped,
# and the run goes on with the next one.

prefix="Tevo"
module="$prefix.Software"
session="$prefix.DriverSession"

ivi-config run - >/dev/null <<COMMANDS || true
add hardware-asset "$prefix.Hardware" \
    --description "$prefix hardware asset description" \
    --resource "GPIB0::20::INSTR"

add software-module "$module" \
    --description "$prefix software module description" \
    --prefix "$prefix" \
    --progid "$prefix.$prefix" \
    --models "KLA,KLBR,KLC,KLD,KLF"
add physical-name SpecAnTrace --software-module "$module" \
    --rc-name SpecAnTrace --range range1:1:3
add physical-name Trace --software-module "$module" \
    --rc-name Trace --range range1:1:6
add published-api IviDriver:1.0:IVI-COM --software-module "$module"
add published-api IviSpecAn:1.0:IVI-COM --software-module "$module"

add driver-session "$session" \
    --description "$prefix driver session description" \
    --hardware-asset "$prefix.Hardware" \
    --software-module "$module" \
    --cache true \
    --driver-setup "" \
    --interchange-check false \
    --query-instr-status true \
    --range-check false \
    --record-coercions false \
    --simulate false
add virtual-name Tr1=SpecAnTrace1 --driver-session "$session"
add virtual-name Tr2=SpecAnTrace2 --driver-session "$session"
add virtual-name Tr3=SpecAnTrace3 --driver-session "$session"
add virtual-name Trace1=Trace1 --driver-session "$session"
add virtual-name Trace2=Trace2 --driver-session "$session"
add virtual-name Trace3=Trace3 --driver-session "$session"
add virtual-name Trace4=Trace4 --driver-session "$session"
add virtual-name Trace5=Trace5 --driver-session "$session"
add virtual-name Trace6=Trace6 --driver-session "$session"

add logical-name "$prefix" \
    --description "$prefix logical name description" \
    --session "$session"
COMMANDS

exit 0
