#pragma once

// The data objects of a DirectX .x file (text, binary, MSZIP-compressed
// text or binary; 32- or 64-bit floats), read without knowing their
// templates: each object keeps its own numbers and strings in file order
// and its children, references already resolved to the objects they name.
// What the numbers mean is the business of whoever knows the template.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korvane {

struct XObject {
  std::string type; // the template's name as the file writes it
  std::string name; // empty when unnamed
  std::vector<double> numbers;
  std::vector<std::string> strings;
  // Indexes into XFile::objects, in file order; a reference `{ name }`
  // stands here as the object it names.
  std::vector<std::size_t> children;
};

struct XFile {
  std::vector<XObject> objects; // in the order their headers appear
  std::vector<std::size_t> top; // the objects outside any other
};

// False with `error` saying why for anything that is not a whole .x file:
// another header, a malformed or cut-short body, a reference to a name no
// object before it has, objects nested deeper than `maxDepth`. Template
// declarations are passed over. Inflated data beyond 256 MiB is refused.
bool readXFile(const std::uint8_t *data, std::size_t size, XFile &file,
               std::string &error, int maxDepth = 64);

// The template's name compared as the file format does: without regard to
// case.
bool isType(const XObject &object, const char *type);

} // namespace korvane
