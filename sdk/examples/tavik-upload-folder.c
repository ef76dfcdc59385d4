/* Uploads a local folder with everything in it to a remote disk, naming each file as it goes
 * and every file that failed.
 *   tavik-upload-folder HOST PORT DISK LOCAL-FOLDER REMOTE-FOLDER
 * Exit status 0 when every file arrived, 1 otherwise.
 * Build: cc tavik-upload-folder.c $(pkg-config --cflags --libs TavikSDK) -o tavik-upload-folder */
#include "example_common.h"

static int failed_files = 0;

/* Called after every block of every file; the last notice of a failed file carries its error. */
static void on_progress(TAVIK_PROGRESS* progress) {
    const TAVIK_TRANSFER* file = progress->pTransfer;
    if (progress->dwError != 0) {
        fprintf(stderr, "failed: %s (error %lu)\n", file->pszSrcPath,
                (unsigned long)progress->dwError);
        ++failed_files;
    } else if (progress->dwPos == file->dwEndPos) {
        printf("%s\n", file->pszDstPath);
    }
}

int main(int argc, char** argv) {
    if (argc != 6) {
        fprintf(stderr, "usage: tavik-upload-folder HOST PORT DISK LOCAL-FOLDER REMOTE-FOLDER\n");
        return 2;
    }
    TAVIK_SESSION session = example_login("tavik-upload-folder", argv[1], argv[2], argv[3]);
    if (session == NULL) {
        return 1;
    }
    char* local = example_local_path(argv[4]);
    char* remote = example_remote_path(session, argv[5]);
    /* No confirm callback: every file is uploaded anew, folders are made as needed. */
    TAVIK_TRANSFER_EX transfer;
    memset(&transfer, 0, sizeof transfer);
    transfer.pszSrcPath = local;
    transfer.pszDstPath = remote;
    transfer.pfnProgress = on_progress;
    int status = 0;
    if (!tavik_UploadEx(session, &transfer, NULL)) {
        example_report("tavik-upload-folder", local);
        status = 1;
    } else if (failed_files > 0) {
        fprintf(stderr, "tavik-upload-folder: %d files failed\n", failed_files);
        status = 1;
    }
    free(remote);
    free(local);
    tavik_DestroySession(session);
    return status;
}
