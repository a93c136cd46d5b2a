/*
** calls.cpp -- what every command asks of the host in the same way: the
** selection and its export to a DXF file, a system variable set to zero,
** LISP arguments taken one by one, and the paths of the add-on's files.
*/
#include <stdlib.h>
#include <string.h>
#include "frame.h"

const char *frame_select(sds_name ss)
{
    int rc = sds_ssget(NULL, NULL, NULL, NULL, ss);

    if (rc == RTNORM)
        return NULL;
    return rc == RTCAN ? FRAME_CANCEL : "nothing selected";
}

int frame_export_selection(const char *prompt, const char *path, sds_name ss, const char **why)
{
    remove(path);
    sds_printf("%s", prompt);
    if ((*why = frame_select(ss)) != NULL)
        return FRAME_NOT_SELECTED;
    read_acadver();
    if (sds_command(RTSTR, "dxfout", RTSTR, path, RTSTR, "v",
                    RTSTR, strcmp(acadver_prefix, "14") == 0 ? "3" : "r12",
                    RTSTR, "entities", RTPICKS, ss, RTSTR, "", RTSTR, "10", RTNONE) != RTNORM) {
        sds_ssfree(ss);
        return FRAME_NOT_EXPORTED;
    }
    return FRAME_EXPORTED;
}

int vc_export_selection(const char *path, sds_name ss)
{
    const char *why = NULL;

    switch (frame_export_selection(VC_SELECT_FACES, path, ss, &why)) {
    case FRAME_EXPORTED:
        return 0;
    case FRAME_NOT_SELECTED:
        vc_error("", why);
        return 1;
    default:
        vc_error(VC_FATAL, "WRITEDXF");
        return 1;
    }
}

void frame_set_zero(const char *name, short type)
{
    struct resbuf rb;

    rb.rbnext = NULL;
    rb.restype = type;
    if (type == RTLONG)
        rb.resval.rlong = 0;
    else
        rb.resval.rint = 0;
    sds_setvar(name, &rb);
}

static int take_point(struct resbuf **rb, sds_point p, int flat_too)
{
    const struct resbuf *a = *rb;

    if (a == NULL || !(a->restype == RT3DPOINT || (flat_too && a->restype == RTPOINT)))
        return 0;
    p[0] = a->resval.rpoint[0];
    p[1] = a->resval.rpoint[1];
    p[2] = a->restype == RT3DPOINT ? a->resval.rpoint[2] : 0.0;
    *rb = a->rbnext;
    return 1;
}

int frame_take_point(struct resbuf **rb, sds_point p)
{
    return take_point(rb, p, 1);
}

int frame_take_3dpoint(struct resbuf **rb, sds_point p)
{
    return take_point(rb, p, 0);
}

int frame_take_real(struct resbuf **rb, double *v)
{
    const struct resbuf *a = *rb;

    if (a == NULL)
        return 0;
    switch (a->restype) {
    case RTREAL:  *v = a->resval.rreal; break;
    case RTSHORT: *v = a->resval.rint;  break;
    case RTLONG:  *v = a->resval.rlong; break;
    default:      return 0;
    }
    *rb = a->rbnext;
    return 1;
}

int frame_take_int(struct resbuf **rb, int *v)
{
    const struct resbuf *a = *rb;

    if (a == NULL)
        return 0;
    if (a->restype == RTSHORT)
        *v = a->resval.rint;
    else if (a->restype == RTLONG)
        *v = a->resval.rlong;
    else
        return 0;
    *rb = a->rbnext;
    return 1;
}

int frame_native_path(const char *path, char *out, size_t size)
{
    char drive[1024] = "";
    size_t used = 0;
    const char *rest = path;

    if (size == 0)
        return 1;
    if (((path[0] >= 'a' && path[0] <= 'z') || (path[0] >= 'A' && path[0] <= 'Z'))
        && path[1] == ':') {
        struct resbuf rb;
        char name[8];
        snprintf(name, sizeof(name), "DRIVE%c", path[0] >= 'a' ? path[0] - 32 : path[0]);
        rb.restype = RTNONE;
        if (sds_getvar(name, &rb) == RTNORM && rb.restype == RTSTR && rb.resval.rstring) {
            snprintf(drive, sizeof(drive), "%s", rb.resval.rstring);
            free(rb.resval.rstring);
        } else {
            snprintf(drive, sizeof(drive), ".");
        }
        rest = path + 2;
    }
    for (const char *p = drive; *p; p++) {
        if (used + 1 >= size)
            return 1;
        out[used++] = *p;
    }
    if (drive[0] != '\0' && *rest != '/' && *rest != '\\') {
        if (used + 1 >= size)
            return 1;
        out[used++] = '/';
    }
    for (const char *p = rest; *p; p++) {
        if (used + 1 >= size)
            return 1;
        out[used++] = (*p == '\\') ? '/' : *p;
    }
    out[used] = '\0';
    return 0;
}

int frame_work_path(const char *path, char *out, size_t size)
{
    struct resbuf rb;
    char folder[1024] = "";
    const char *name = path;
    int n;

    rb.rbnext = NULL;
    rb.restype = RTNONE;
    if (sds_getvar("TEMPPREFIX", &rb) == RTNORM && rb.restype == RTSTR && rb.resval.rstring) {
        snprintf(folder, sizeof(folder), "%s", rb.resval.rstring);
        free(rb.resval.rstring);
    }
    if (folder[0] == '\0') {
        n = snprintf(out, size, "%s", path);
    } else {
        for (const char *p = path; *p; p++)
            if (*p == '/' || *p == '\\')
                name = p + 1;
        n = snprintf(out, size, "%s%s", folder, name);
    }
    if (n < 0 || (size_t)n >= size) {
        if (size > 0)
            out[0] = '\0';
        return 1;
    }
    return 0;
}
