// The renderer's entry points inside the engine.
#pragma once

#include "platform/retained/internal.h"

namespace retained {

// Face plane normals, centroids and vertex normals of a mesh, after its faces change.
void computeMeshNormals(MeshImpl& mesh);

// Worker threads of the renderer (the calling thread counts as one).
int renderThreadCount();
void setRenderThreadCount(int threads);

} // namespace retained
