// The one door between the host and the library: getXtable hands out the
// library's name, the table of script-callable entries and the deleter for
// their results. All of it is constant data that lives as long as the module.
#include "zibwin32.h"

#include <stdlib.h>

#include "hook/autoplay_mode.h"
#include "hook/hook_commands.h"
#include "query/process_list.h"
#include "query/volume_list.h"

namespace {

// Hosts may call it; it has nothing to do.
void ZIBWIN32_CALL auxCallback() {}

// Results come from the library's heap, so only the library may free them.
void ZIBWIN32_CALL freeResult(char *result) { free(result); }

const char libraryName[] = "zibWin32";
const char function[] = "F";
const char command[] = "C";
const char none[] = "";

const XtableEntry xtable[] = {
    {"zibWin32EnumerateProcesses", function, 0, enumerateProcesses, auxCallback},
    {"zibWin32EnumerateVolumes", function, 0, enumerateVolumes, auxCallback},
    {"zibWin32Attach", command, 0, attachCommand, auxCallback},
    {"zibWin32Detach", command, 0, detachCommand, auxCallback},
    {"zibWin32SetAutoplayMode", command, 0, setAutoplayModeCommand, auxCallback},
    {none, none, 0, nullptr, nullptr},
};

}  // namespace

extern "C" void ZIBWIN32_CALL getXtable(void *, void *, const char **name,
                                        const XtableEntry **table, FreeResult *deleter) {
    *name = libraryName;
    *table = xtable;
    *deleter = freeResult;
}
