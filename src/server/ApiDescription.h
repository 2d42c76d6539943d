#pragma once
// The OpenAPI 3 description of /api/v1 (api/openapi.json), built into the program so it
// serves it at /api/v1/openapi.json; the package ships the same file.
#include <cstddef>

namespace ombrix::server {

extern const unsigned char kApiDescription[];
extern const size_t kApiDescriptionSize;

}  // namespace ombrix::server
