// Texture decoding for the engine's core alone, which has no image readers: every file is
// refused. Programs link the full engine (with the texture loader) instead.
#include "platform/retained/internal.h"

namespace retained {

HRESULT decodeTextureFile(const char* /*fileName*/, TextureImpl& /*texture*/) {
    return D3DRMERR_BADFILE;
}

} // namespace retained
