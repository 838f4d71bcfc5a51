# Takes the driver's software module out of the IVI configuration store, run by the script
# host at unregistration; ivi-config saves the store after the change. The hardware asset,
# driver session and logical name that registration added stay, with whatever the user
# changed in them. A module that is not there, or a store that cannot be changed, is
# ignored.

prefix="Tevo"

ivi-config remove software-module "$prefix.Software" >/dev/null 2>&1 || true

exit 0
