#pragma once

#include "gfxutil/mesh.h"

#include <string>
#include <vector>

namespace korvane {

// An import of a mesh file's bytes; false with `error` when it fails.
using MeshImport = bool (*)(const std::string &bytes, Mesh &mesh,
                            std::vector<MeshMaterial> &materials,
                            std::string &error);

// Runs `import` over `bytes` in a child process: some corrupt files crash
// an importer or make it spin, and a show must survive all of them. The
// child sends the mesh back through a pipe; nothing it sends is trusted
// beyond its sizes' limits, and the mesh is checked by whoever uses it.
// False with `error` (and nothing in `mesh` and `materials`) when the
// import fails, crashes or takes longer than `seconds`.
bool importIsolated(const std::string &bytes, MeshImport import, int seconds,
                    Mesh &mesh, std::vector<MeshMaterial> &materials,
                    std::string &error);

} // namespace korvane
