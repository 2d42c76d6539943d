#pragma once
// The web console's files, built into the program so it serves them wherever it runs.
#include <cstddef>
#include <vector>

namespace ombrix::server {

struct WebFile {
    const char* path;  // "index.html", "app.css", "app.js"
    const char* type;  // its Content-Type
    const unsigned char* data;
    size_t size;
};

const std::vector<WebFile>& WebFileList();

}  // namespace ombrix::server
