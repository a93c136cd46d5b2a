/* probe_addon.c -- a throwaway add-on for the program's end-to-end tests:
** commands that crash, leave the process early, or spin until Ctrl-C, and a
** LISP function that returns the module path the host gave it. */
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>
#include "sds.h"

static char name[512];

static void serve(int code)
{
    switch (code) {
    case 1: /* c:crash */
        raise(SIGKILL);
        break;
    case 2: /* c:quit */
        exit(0);
    case 3: /* c:spin */
        sds_printf("%s", "spinning\n");
        fflush(stdout);
        for (int i = 0; i < 20000 && !sds_usrbrk(); i++)
            usleep(1000);
        sds_printf("%s", "interrupted\n");
        sds_retvoid();
        break;
    case 4: /* (where) */
        sds_retstr(name);
        break;
    }
}

void SDS_EntryPoint(void *hwnd)
{
    void *a, *b;
    int reply = RSRSLT;
    (void)hwnd;
    SDS_GetGlobals(name, &a, &b);
    sds_init(0, NULL);
    for (;;) {
        int rq = sds_link(reply);
        if (rq < 0)
            exit(1);
        if (rq == RQXLOAD) {
            sds_defun("c:crash", 1);
            sds_defun("c:quit", 2);
            sds_defun("c:spin", 3);
            sds_defun("where", 4);
        } else if (rq == RQSUBR) {
            serve(sds_getfuncode());
        }
    }
}
