/*
** sds.h -- the add-on's only door to the CAD host.
**
** The value list (resbuf), the result and type codes, the request codes of
** sds_link, and the C declarations of the host calls the add-on uses, with the
** signatures of the published SDS interface.  The host defines every function
** declared here; the add-on includes nothing else of the host.
**
** Memory: a resbuf list handed out by the host (sds_getargs, sds_buildlist,
** sds_entget, sds_newrb) is released with sds_relrb.  A text that the host
** returns inside a resbuf (sds_getvar of a text variable) is malloc'ed and
** belongs to the caller, who releases it with free().
*/
#ifndef VELMORA_SDS_H
#define VELMORA_SDS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef double sds_real;
typedef sds_real sds_point[3];
typedef int64_t sds_name[2];          /* selection set or entity name */

/* Value types of a resbuf. */
#define RTNONE    5000   /* ends a typed list */
#define RTREAL    5001
#define RTPOINT   5002   /* 2D point (z is 0) */
#define RTSHORT   5003   /* 16-bit integer */
#define RTANG     5004
#define RTSTR     5005
#define RTENAME   5006
#define RTPICKS   5007   /* selection set */
#define RTORINT   5008
#define RT3DPOINT 5009
#define RTLONG    5010   /* 32-bit integer */
#define RTVOID    5014
#define RTLB      5016   /* list begin */
#define RTLE      5017   /* list end */
#define RTDOTE    5018
#define RTNIL     5019
#define RTDXF0    5020
#define RTT       5021

/* Results. */
#define RTNORM    5100   /* success */
#define RTERROR  (-5001)
#define RTCAN    (-5002) /* the user cancelled */
#define RTREJ    (-5003)
#define RTFAIL   (-5004)
#define RTKWORD  (-5005)

/* Requests returned by sds_link, and replies passed to it. */
#define RQSAVE    14
#define RQEND     15
#define RQQUIT    16
#define RQXLOAD   100    /* load: register the functions */
#define RQXUNLD   101    /* unload */
#define RQSUBR    102    /* run the function of sds_getfuncode() */
#define RSRSLT    1      /* the request was served */
#define RSERR     3      /* the request failed */

struct sds_binary { short clen; char *buf; };

union sds_u_val {
    sds_real rreal;
    sds_real rpoint[3];
    short rint;
    char *rstring;
    int64_t rlname[2];
    int32_t rlong;
    struct sds_binary rbinary;
};

struct resbuf {
    struct resbuf *rbnext;
    short restype;
    union sds_u_val resval;
};

/* Start-up and the request loop. */
void SDS_GetGlobals(char *appname, void **hwnd, void **hinstance);
int  sds_init(int argc, char *argv[]);
int  sds_link(int cbc);
int  sds_getfuncode(void);
int  sds_defun(const char *sname, short funcno);

/* Arguments and results of LISP functions. */
struct resbuf *sds_getargs(void);
int  sds_retvoid(void);
int  sds_retnil(void);
int  sds_rett(void);
int  sds_retint(int ival);
int  sds_retreal(sds_real rval);
int  sds_retstr(const char *s);
int  sds_retpoint(const sds_point pt);
int  sds_retlist(const struct resbuf *rbuf);
struct resbuf *sds_buildlist(int rtype, ...);
struct resbuf *sds_newrb(int v);
int  sds_relrb(struct resbuf *rb);

/* Command line, selection, entities. */
int  sds_command(int rtype, ...);
int  sds_ssget(const char *str, const void *pt1, const void *pt2,
               const struct resbuf *filter, sds_name ss);
int  sds_ssfree(const sds_name sname);
int  sds_sslength(const sds_name sname, int32_t *len);
int  sds_ssname(const sds_name ss, int32_t i, sds_name entres);
struct resbuf *sds_entget(const sds_name ent);

/* System variables and prompts. */
int  sds_setvar(const char *sym, const struct resbuf *val);
int  sds_getvar(const char *sym, struct resbuf *result);
int  sds_initget(int val, const char *kwl);
int  sds_getdist(const sds_point pt, const char *prompt, sds_real *result);

/* The outcome of the function in progress.  The add-on calls sds_fail when
** the command or LISP function it is running has failed or was cancelled
** (after printing its own message); `reason` is a short text for the host's
** report.  The host then treats the call as failed: it undoes what the call
** drew back to the mark taken before it, stops a script run with a non-zero
** status, and does not save the drawing.  Several calls keep the first
** reason.  Always RTNORM. */
int  sds_fail(const char *reason);

/* Screen and user. */
int  sds_printf(const char *format, ...);
int  sds_grdraw(const sds_point from, const sds_point to, int color, int hl);
int  sds_redraw(const sds_name ent, int mode);
int  sds_usrbrk(void);
sds_real sds_distance(const sds_point p1, const sds_point p2);

/* The add-on's entry, called once by the host after loading it. */
void SDS_EntryPoint(void *hwnd);

#ifdef __cplusplus
}
#endif

#endif
