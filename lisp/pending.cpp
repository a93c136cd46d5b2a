// Placeholder until this folder's handler is written; replaced, not kept.
#include "frame.h"
int dovrp(void) { sds_printf("%s", "\ndovrp: not available in this build\n"); sds_retnil(); return 0; }
int ass_sort_file(void) { sds_printf("%s", "\nass_sort_file: not available in this build\n"); sds_retnil(); return 0; }
int set_lim(void) { sds_printf("%s", "\nset_lim: not available in this build\n"); sds_retnil(); return 0; }
int e_intre_lim(void) { sds_printf("%s", "\ne_intre_lim: not available in this build\n"); sds_retnil(); return 0; }
int app_tri(void) { sds_printf("%s", "\napp_tri: not available in this build\n"); sds_retnil(); return 0; }
