/* A C program built against an installed TavikSDK through pkg-config: it logs in to the disk
 * server given on its command line, makes a folder with a Korean name, lists the disk and checks
 * that the folder is listed, then asks for a path that does not exist and checks the error.
 *   sdk_client PORT
 * Exit status 0 when everything held, 1 otherwise (the reason on standard error). */
#include <TavikSDK.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <uchar.h>

static size_t length16(LPCWSTR text) {
    size_t n = 0;
    while (text[n] != 0) {
        ++n;
    }
    return n;
}

static int equal16(LPCWSTR a, LPCWSTR b) {
    size_t n = length16(a);
    return n == length16(b) && memcmp(a, b, n * sizeof(WCHAR)) == 0;
}

static int fail(const char* what) {
    fprintf(stderr, "sdk_client: %s (error %d)\n", what, tavik_GetLastError());
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: sdk_client PORT\n");
        return 1;
    }
    const int port = atoi(argv[1]);
    TAVIK_SESSION session = tavik_CreateSession(u"127.0.0.1", port, u"demo", NULL, 10000);
    if (session == NULL) {
        return fail("cannot log in");
    }
    int status = 0;
    static const WCHAR folder[] = u"/demo/설치 확인";
    if (!tavik_MakeFolder(folder, session)) {
        status = fail("cannot make the folder");
    }
    int count = 0;
    TAVIK_FILEINFO_LIST* list = tavik_OpenFileInfo(
        u"/demo", TAVIK_INFO_FOLDERS | TAVIK_INFO_FILES | TAVIK_INFO_PATH | TAVIK_INFO_TYPE, 1,
        &count, session);
    int found = 0;
    if (list == NULL) {
        status = fail("cannot list the disk");
    } else {
        for (int i = 0; i < count; ++i) {
            TAVIK_FILEINFO* entry = tavik_ReadFileInfo(list, i);
            if (entry != NULL && entry->pszName != NULL && equal16(entry->pszName, folder) &&
                entry->dwType == TAVIK_TYPE_FOLDER) {
                found = 1;
            }
        }
        tavik_CloseFileInfo(list);
        if (!found) {
            fprintf(stderr, "sdk_client: the new folder is not listed (%d entries)\n", count);
            status = 1;
        }
    }
    if (tavik_GetFileSize(u"/demo/없는 파일", session) != -1 ||
        tavik_GetLastError() != TAVIK_ERR_NOT_EXIST) {
        fprintf(stderr, "sdk_client: a missing file gave error %d, not %d\n", tavik_GetLastError(),
                TAVIK_ERR_NOT_EXIST);
        status = 1;
    }
    tavik_DestroySession(session);
    if (status == 0) {
        printf("sdk_client: logged in, made and listed a folder, read error %d for a missing "
               "file\n",
               TAVIK_ERR_NOT_EXIST);
    }
    return status;
}
