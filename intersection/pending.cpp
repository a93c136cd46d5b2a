// Placeholder until this folder's handler is written; replaced, not kept.
#include "frame.h"
int inters_ltri(void) { sds_printf("%s", "\ninters_ltri: not available in this build\n"); sds_retnil(); return 0; }
