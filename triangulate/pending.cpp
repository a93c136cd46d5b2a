// Placeholder until this folder's handler is written; replaced, not kept.
#include "frame.h"
int tri_command(void) { sds_printf("%s", "\ntri_command: not available in this build\n"); sds_retnil(); return 0; }
