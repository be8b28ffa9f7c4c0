#pragma once

#include "base/show_files.h"

// gfxutil: picture files and .x meshes made into device resources, as the
// Direct3D utility library makes them. It knows device/ and base/.

#include "device/device.h"
#include "gfxutil/picture.h"

#include <cstdint>
#include <memory>
#include <string>

namespace korvane {

// Decodes JPEG, PNG, BMP (and DIB), TGA, PPM or DDS, told apart by their
// first bytes. False for anything else, for a corrupt or truncated file,
// and for a picture wider or taller than `maxSide`, which is refused before
// any pixel is decoded or allocated. `refusal`, when given, then says why,
// as the rest of a sentence that begins with the file's name.
bool decodePicture(const std::uint8_t *data, std::size_t size, Picture &picture,
                   std::uint32_t maxSide = 16384,
                   std::string *refusal = nullptr);

// The file-to-texture loader of the layers, as the utility library's
// defaults load a file: each side rounded up to a power of two, the picture
// scaled onto it with the triangle filter where a side grows, A8R8G8B8
// (X8R8G8B8 without alpha), with a full mip chain whose levels are the
// file's own where it holds them (DDS) and box-filtered below. Null when
// the file is missing, undecodable or larger than the device can hold;
// `reason` then says which, as the rest of a sentence that begins with the
// file's name. `files`: where the file lies, found by `name`.
std::unique_ptr<Texture>
loadTextureFromFile(Device &device, const std::string &name,
                    std::string *reason = nullptr,
                    const ShowFiles &files = diskFiles());

} // namespace korvane
