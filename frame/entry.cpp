/*
** entry.cpp -- how the host enters the add-on and drives it: SDS_EntryPoint,
** the request loop and the registration table.
**
** The loop is the add-on's whole life: the host answers each sds_link with a
** request (load, run a function, or a negative value to end), the loop serves
** it and replies in the next sds_link.  A negative request ends the process
** with exit(1); there is no other way out.
*/
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "frame.h"

char app_name[512];
char app_path[512];

static void *host_window;     /* filled by the host, never read */
static void *host_instance;

typedef struct {
    short code;
    const char *name;
    int (*handler)(void);
} func_entry;

/* Registration order is the order of this table. */
static const func_entry func_table[] = {
    {  1, "c:velmora",   tri_command   },
    {  4, "c:vol",       vol_command   },
    {  5, "c:volume",    vol_command   },
    {  6, "dovrp",       dovrp         },
    {  7, "ass",         ass_sort_file },
    {  8, "set_lim",     set_lim       },
    {  9, "e_intre_lim", e_intre_lim   },
    { 10, "app_tri",     app_tri       },
    { 11, "inters_ltri", inters_ltri   },
    { 12, "colfe",       colfe         },
};
#define FUNC_COUNT (int)(sizeof(func_table) / sizeof(func_table[0]))

int register_functions(void)
{
    for (int i = 0; i < FUNC_COUNT; i++)
        if (sds_defun(func_table[i].name, func_table[i].code) != RTNORM)
            return 0;
    return 1;
}

int frame_call_handler(int code)
{
    for (int i = 0; i < FUNC_COUNT; i++)
        if (func_table[i].code == code) {
            func_table[i].handler();
            return 1;
        }
    return 0;
}

int request_loop(int argc, char **argv)
{
    int reply = RSRSLT;

    sds_init(argc, argv);
    for (;;) {
        int request = sds_link(reply);
        if (request < 0) {
            fflush(stdout);
            exit(1);
        }
        reply = RSRSLT;
        if (request == RQXLOAD) {
            if (!register_functions())
                reply = RSERR;
        } else if (request == RQSUBR) {
            frame_call_handler(sds_getfuncode());
        }
    }
}

extern "C" __attribute__((visibility("default")))
void SDS_EntryPoint(void *hwnd)
{
    static char *argv[2];

    (void)hwnd;
    SDS_GetGlobals(app_name, &host_window, &host_instance);
    strncpy(app_path, app_name, sizeof(app_path) - 1);
    app_path[sizeof(app_path) - 1] = '\0';
    argv[0] = app_name;
    argv[1] = NULL;
    request_loop(1, argv);
}
