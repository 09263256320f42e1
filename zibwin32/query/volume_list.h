#ifndef ZIBWIN32_QUERY_VOLUME_LIST_H
#define ZIBWIN32_QUERY_VOLUME_LIST_H

#include "zibwin32.h"

// "zibWin32EnumerateVolumes": one line "X:,kind,label\n" per drive with a
// ready volume, in the platform's order. A non-empty first argument keeps
// only the drives whose kind text occurs in it.
void ZIBWIN32_CALL enumerateVolumes(char **args, int32_t argCount, char **result,
                                    int32_t *firstFlag, int32_t *secondFlag);

#endif
