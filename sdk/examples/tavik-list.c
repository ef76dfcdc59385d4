/* Lists a folder of a remote disk: folders first marked with "/", then files with their sizes
 * and the server's dates.
 *   tavik-list HOST PORT DISK [PATH]
 * Build: cc tavik-list.c $(pkg-config --cflags --libs TavikSDK) -o tavik-list */
#include "example_common.h"

static void print_entries(TAVIK_FILEINFO_LIST* list, int count, LPCWSTR folder, int folders) {
    for (int i = 0; i < count; ++i) {
        TAVIK_FILEINFO* entry = tavik_ReadFileInfo(list, i);
        if (entry == NULL || entry->pszName == NULL ||
            (entry->dwType == TAVIK_TYPE_FOLDER) != folders) {
            continue;
        }
        char* path = example_to_utf8(entry->pszName);
        char* folder8 = example_to_utf8(folder);
        /* A listing of a folder holds the folder itself too. */
        if (strcmp(path, folder8) != 0) {
            const char* name = strrchr(path, '/') != NULL ? strrchr(path, '/') + 1 : path;
            char* date = entry->pszDate != NULL ? example_to_utf8(entry->pszDate) : strdup("");
            if (folders) {
                printf("%s/\n", name);
            } else {
                printf("%s\t%lu\t%s\n", name, (unsigned long)entry->dwSize, date);
            }
            free(date);
        }
        free(folder8);
        free(path);
    }
}

int main(int argc, char** argv) {
    if (argc < 4 || argc > 5) {
        fprintf(stderr, "usage: tavik-list HOST PORT DISK [PATH]\n");
        return 2;
    }
    TAVIK_SESSION session = example_login("tavik-list", argv[1], argv[2], argv[3]);
    if (session == NULL) {
        return 1;
    }
    char* folder = example_remote_path(session, argc == 5 ? argv[4] : "");
    WCHAR* folder16 = example_to_utf16(folder);
    int count = 0;
    TAVIK_FILEINFO_LIST* list =
        tavik_OpenFileInfo(folder16,
                           TAVIK_INFO_FILES | TAVIK_INFO_FOLDERS | TAVIK_INFO_PATH |
                               TAVIK_INFO_SIZE | TAVIK_INFO_TYPE | TAVIK_INFO_DATE,
                           1, &count, session);
    int status = 0;
    if (list == NULL) {
        example_report("tavik-list", folder);
        status = 1;
    } else {
        print_entries(list, list->nCount, folder16, 1);
        print_entries(list, list->nCount, folder16, 0);
        tavik_CloseFileInfo(list);
    }
    free(folder16);
    free(folder);
    tavik_DestroySession(session);
    return status;
}
