// The IVI configuration-store scripts of the module: resources of type "CONFIGSCRIPT",
// run through the script host at registration (201) and unregistration (202).
#pragma once

#include "tevo/platform.h"

namespace tevo::driver {

// Resource identifiers of the two scripts.
constexpr UINT kRegisterConfigurationScript = 201;
constexpr UINT kUnregisterConfigurationScript = 202;

// How long the runner waits for a script to end. The scripts run one short command per
// entry, so they end within seconds even when other registrations hold the store; a script
// host that hangs must not hang the registering process for ever. After this time the
// runner stops waiting and the script runs on unobserved.
constexpr DWORD kConfigurationScriptWaitMilliseconds = 5 * 60 * 1000;

// Runs the CONFIGSCRIPT resource `resource_id` of `module`: writes it whole to a script
// file of this run's own in the temporary directory ("dr" with a number not yet used, and
// ".vbs"), starts it with `script_host` (verb "open", window hidden), waits for it to end
// (bounded as above) and deletes every file it created, whatever the outcome. Returns true
// when the script was started; false, with nothing run, when the resource is missing, the
// file cannot be created or written, or the script host cannot be started. The script's
// own exit code is not looked at: a script ignores the errors of its steps.
bool RunConfigurationScript(HMODULE module, UINT resource_id,
                            const wchar_t* script_host = L"wscript.exe");

}  // namespace tevo::driver
