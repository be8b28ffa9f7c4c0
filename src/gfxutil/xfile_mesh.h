#pragma once

#include "gfxutil/mesh.h"
#include "gfxutil/xfile_parse.h"

#include <string>
#include <vector>

namespace korvane {

// The one mesh the utility library's loader makes of a whole file: every
// Mesh at the top or in frames, in file order, each placed by the frame
// transforms before it, joined into one vertex format; each mesh's
// polygons fanned from their first corner; a vertex repeated for each
// other normal its corners give it; each mesh's own materials (inline or
// by reference) after the materials of the meshes before it. Faces keep
// their file order; `materials` is empty when no mesh has a material list.
// False with `error` where the library refuses the file.
bool buildXMesh(const XFile &file, Mesh &mesh,
                std::vector<MeshMaterial> &materials, std::string &error);

} // namespace korvane
