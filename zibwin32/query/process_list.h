#ifndef ZIBWIN32_QUERY_PROCESS_LIST_H
#define ZIBWIN32_QUERY_PROCESS_LIST_H

#include "zibwin32.h"

// "zibWin32EnumerateProcesses": the executable file name of every running
// process, one a line, in snapshot order. Arguments are ignored.
void ZIBWIN32_CALL enumerateProcesses(char **args, int32_t argCount, char **result,
                                      int32_t *firstFlag, int32_t *secondFlag);

#endif
