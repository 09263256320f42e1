#include "query/volume_list.h"

#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include "query/error_mode.h"
#include "query/text_accumulator.h"

namespace {

// Drives can come and go between asking for the size of the root list and
// fetching it. When the list outgrew the buffer in between, it is fetched
// again, a few times at most; a list that keeps changing gives "".
const int driveListAttempts = 4;

// Types the platform may report beyond DRIVE_RAMDISK are still drives with a
// volume, so they are listed, under the same text as a drive whose type the
// platform could not tell.
const char *kindText(UINT driveType) {
    switch (driveType) {
        case DRIVE_REMOVABLE: return "removable";
        case DRIVE_FIXED: return "fixed";
        case DRIVE_REMOTE: return "remote";
        case DRIVE_CDROM: return "cdrom";
        case DRIVE_RAMDISK: return "ramdisk";
        default: return "unknown";
    }
}

struct DriveList {
    char *roots;   // NUL-terminated root paths, ended by an empty one
    DWORD length;  // bytes of roots that the platform filled
};

// Fetches the root list into a heap buffer. Returns 1, or 0 when there is no
// list (none at all, a failed fetch, no memory, or one that kept growing).
int fetchDriveList(DriveList *list) {
    for (int attempt = 0; attempt < driveListAttempts; ++attempt) {
        DWORD size = GetLogicalDriveStringsA(0, nullptr);
        if (size == 0) return 0;
        char *roots = static_cast<char *>(malloc(size + 1));
        if (roots == nullptr) return 0;
        DWORD filled = GetLogicalDriveStringsA(size, roots);
        if (filled == 0) {
            free(roots);
            return 0;
        }
        if (filled <= size) {
            roots[filled] = '\0';
            list->roots = roots;
            list->length = filled;
            return 1;
        }
        free(roots);  // the list grew: the buffer holds nothing of it
    }
    return 0;
}

int selectedByFilter(const char *kind, char **args, int32_t argCount) {
    if (argCount == 0 || args[0][0] == '\0') return 1;
    return strstr(args[0], kind) != nullptr;
}

int appendLine(TextAccumulator *acc, const char *root, size_t rootLength, const char *kind,
               const char *label) {
    uint32_t driveLength = rootLength < 2 ? static_cast<uint32_t>(rootLength) : 2;
    return appendText(acc, root, driveLength) && appendText(acc, ",", 1) &&
           appendText(acc, kind, static_cast<uint32_t>(strlen(kind))) && appendText(acc, ",", 1) &&
           appendText(acc, label, static_cast<uint32_t>(strlen(label))) && appendText(acc, "\n", 1);
}

// Appends the line of one root. Returns 0 when the whole list must be given up.
int appendDrive(TextAccumulator *acc, const char *root, size_t rootLength, char **args,
                int32_t argCount) {
    UINT driveType = GetDriveTypeA(root);
    if (driveType == DRIVE_NO_ROOT_DIR) return 1;
    const char *kind = kindText(driveType);
    // The filter comes first, so that unwanted drives are never touched.
    if (!selectedByFilter(kind, args, argCount)) return 1;
    // Room for any label the platform can return.
    char label[MAX_PATH + 1];
    // A drive whose label cannot be read holds no ready volume, whatever the
    // error says: an empty reader answers "not ready" or "not supported", a
    // locked or unformatted volume, a stick pulled mid-walk, failing media or
    // a share that cannot be reached each answer in their own words. It drops
    // out alone instead of taking the other drives with it. Should the heap
    // itself be exhausted, the next append fails and the list gives "".
    if (!GetVolumeInformationA(root, label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0))
        return 1;
    label[sizeof label - 1] = '\0';
    return appendLine(acc, root, rootLength, kind, label);
}

// Walks only what the platform filled, however the list is terminated.
int appendDrives(TextAccumulator *acc, const DriveList *list, char **args, int32_t argCount) {
    DWORD offset = 0;
    while (offset < list->length && list->roots[offset] != '\0') {
        const char *root = list->roots + offset;
        size_t rootLength = strnlen(root, list->length - offset);
        if (!appendDrive(acc, root, rootLength, args, argCount)) return 0;
        offset += static_cast<DWORD>(rootLength) + 1;
    }
    return 1;
}

char *listVolumes(char **args, int32_t argCount) {
    DriveList list;
    if (!fetchDriveList(&list)) return emptyResult();
    char *text = nullptr;
    TextAccumulator *acc = newTextAccumulator();
    if (acc == nullptr) {
        text = emptyResult();
    } else {
        if (appendDrives(acc, &list, args, argCount))
            text = finishText(acc);
        else
            text = emptyResult();
        releaseTextAccumulator(acc);
    }
    free(list.roots);
    return text;
}

}  // namespace

void ZIBWIN32_CALL enumerateVolumes(char **args, int32_t argCount, char **result,
                                    int32_t *firstFlag, int32_t *secondFlag) {
    *firstFlag = 0;
    *secondFlag = 0;
    // No critical-error boxes for drives without media while the call runs.
    SavedErrorMode saved;
    failCriticalErrorsQuietly(&saved);
    char *text = listVolumes(args, argCount);
    restoreErrorMode(&saved);
    *result = text;
}
