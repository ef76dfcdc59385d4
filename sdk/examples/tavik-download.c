/* Downloads one file of a remote disk with a progress line on standard error; Ctrl-C cancels
 * the transfer (exit status 130) and leaves what arrived so far in the local file.
 *   tavik-download HOST PORT DISK REMOTE LOCAL
 * Build: cc tavik-download.c $(pkg-config --cflags --libs TavikSDK) -o tavik-download */
#include "example_common.h"

#include <signal.h>

/* The library reads the flag once per block; the signal handler only sets it. */
static int cancel_flag = 0;

static void on_interrupt(int signal_number) {
    (void)signal_number;
    cancel_flag = 1;
}

/* Called on the downloading thread after every block. */
static void on_progress(TAVIK_PROGRESS* progress) {
    DWORD end = progress->pTransfer->dwEndPos;
    unsigned percent = end > 0 ? (unsigned)((100.0 * progress->dwPos) / end) : 100;
    fprintf(stderr, "\r%3u%% %lu of %lu bytes", percent, (unsigned long)progress->dwPos,
            (unsigned long)end);
}

int main(int argc, char** argv) {
    if (argc != 6) {
        fprintf(stderr, "usage: tavik-download HOST PORT DISK REMOTE LOCAL\n");
        return 2;
    }
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = on_interrupt;
    sigaction(SIGINT, &action, NULL);

    TAVIK_SESSION session = example_login("tavik-download", argv[1], argv[2], argv[3]);
    if (session == NULL) {
        return 1;
    }
    char* remote = example_remote_path(session, argv[4]);
    char* local = example_local_path(argv[5]);
    WCHAR* remote16 = example_to_utf16(remote);
    int size = tavik_GetFileSize(remote16, session);
    int status = 1;
    if (size < 0) {
        example_report("tavik-download", remote);
    } else {
        printf("downloading %s (%d bytes) to %s\n", remote, size, local);
        fflush(stdout);
        TAVIK_TRANSFER transfer;
        memset(&transfer, 0, sizeof transfer);
        transfer.pszSrcPath = remote;
        transfer.pszDstPath = local;
        transfer.dwEndPos = (DWORD)size;
        transfer.bTrunc = 1;
        transfer.pfnProgress = on_progress;
        BOOL done = tavik_Download(session, &transfer, &cancel_flag);
        fputc('\n', stderr);
        if (done && cancel_flag) {
            fprintf(stderr, "tavik-download: cancelled\n");
            status = 130;
        } else if (done) {
            status = 0;
        } else {
            example_report("tavik-download", remote);
        }
    }
    free(remote16);
    free(local);
    free(remote);
    tavik_DestroySession(session);
    return status;
}
