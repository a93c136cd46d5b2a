// Placeholder until this folder's handler is written; replaced, not kept.
#include "frame.h"
int vol_command(void) { sds_printf("%s", "\nvol_command: not available in this build\n"); sds_retnil(); return 0; }
