// The tile kernel for processors with AVX2 (this file is compiled with -mavx2 -mfma; it is only
// called after a run-time check of the processor).
#define SV_TILE_KERNEL_NAME drawTileAvx2
#define SV_CLEAR_KERNEL_NAME clearRectAvx2
#include "platform/retained/raster_kernel.inc"
