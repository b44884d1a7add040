// The renderer (being written): clears work; drawing comes next.
#include "platform/retained/render.h"

#include <algorithm>

namespace retained {

void computeMeshNormals(MeshImpl&) {}
int renderThreadCount() {
    return 1;
}
void setRenderThreadCount(int) {}

void clearViewport(ViewportImpl& vp) {
    DeviceImpl& d = *vp.device;
    const std::uint32_t bg = vp.camera->root()->background & 0x00FFFFFFu;
    for (int y = vp.y; y < vp.y + vp.height; ++y) {
        std::fill_n(d.colour + static_cast<std::size_t>(y) * d.stridePixels + vp.x, vp.width, bg);
        std::fill_n(d.depth + static_cast<std::size_t>(y) * d.stridePixels + vp.x, vp.width, 0.0f);
    }
}

void renderFrameTree(ViewportImpl&, FrameImpl&) {}

} // namespace retained
