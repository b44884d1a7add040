// The tile kernel for any processor.
#define SV_TILE_KERNEL_NAME drawTileGeneric
#define SV_CLEAR_KERNEL_NAME clearRectGeneric
#include "platform/retained/raster_kernel.inc"

namespace retained {

TileKernel selectTileKernel() {
#if (defined(__x86_64__) || defined(__i386__)) && defined(SV_HAVE_AVX2_KERNEL)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"))
        return drawTileAvx2;
#endif
    return drawTileGeneric;
}

ClearKernel selectClearKernel() {
#if (defined(__x86_64__) || defined(__i386__)) && defined(SV_HAVE_AVX2_KERNEL)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"))
        return clearRectAvx2;
#endif
    return clearRectGeneric;
}

} // namespace retained
