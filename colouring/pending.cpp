// Placeholder until this folder's handler is written; replaced, not kept.
#include "frame.h"
int colfe(void) { sds_printf("%s", "\ncolfe: not available in this build\n"); sds_retnil(); return 0; }
