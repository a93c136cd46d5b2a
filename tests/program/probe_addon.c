/* probe_addon.c -- a throwaway add-on for the program's end-to-end tests:
** commands that crash, leave the process early, spin until Ctrl-C or fail
** after drawing, and LISP functions that give back the module
** path and the work folder the host gave it. */
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include "sds.h"

static char name[512];

/* Something to undo: a point on a new layer in a new colour, and every
** entity there was before erased. */
static void draw_and_erase(void)
{
    sds_point p = {7, 7, 7};
    sds_command(RTSTR, "erase", RTSTR, "all", RTSTR, "", RTNONE);
    sds_command(RTSTR, "layer", RTSTR, "make", RTSTR, "PROBE", RTSTR, "", RTNONE);
    sds_command(RTSTR, "color", RTSTR, "5", RTNONE);
    sds_command(RTSTR, "point", RT3DPOINT, p, RTNONE);
}

static void serve(int code)
{
    volatile int *nowhere = NULL;
    struct resbuf rb;
    FILE *f;
    char path[600];

    switch (code) {
    case 1: /* c:crash: killed, not a fault of its own */
        raise(SIGKILL);
        break;
    case 2: /* c:quit */
        exit(0);
    case 3: /* c:spin */
        draw_and_erase();
        sds_printf("spinning %d\n", (int)getpid());
        fflush(stdout);
        for (int i = 0; i < 20000 && !sds_usrbrk(); i++)
            usleep(1000);
        sds_printf("%s", "interrupted\n");
        sds_retvoid();
        break;
    case 4: /* (where) */
        sds_retstr(name);
        break;
    case 5: /* c:segv */
        *nowhere = 1;
        break;
    case 6: /* c:fail */
        draw_and_erase();
        sds_printf("%s", "\n*** probe failed\n");
        sds_fail("probe failure");
        sds_retvoid();
        break;
    case 8: /* (workdir): TEMPPREFIX, with a work file written there */
        if (sds_getvar("TEMPPREFIX", &rb) != RTNORM || rb.restype != RTSTR) {
            sds_retnil();
            break;
        }
        snprintf(path, sizeof path, "%sprobe.bin", rb.resval.rstring);
        f = fopen(path, "w");
        if (f) {
            fputs("work", f);
            fclose(f);
        }
        sds_retstr(rb.resval.rstring);
        free(rb.resval.rstring);
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
            sds_defun("c:segv", 5);
            sds_defun("c:fail", 6);
            sds_defun("workdir", 8);
        } else if (rq == RQSUBR) {
            serve(sds_getfuncode());
        }
    }
}
