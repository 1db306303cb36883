// Everything written to a stream so far (a temporary file standing in for the
// console, the output file or the CDB list).
#pragma once

#include <cstdio>
#include <string>

namespace zv::test {

inline std::string stream_text(std::FILE* stream) {
    std::fflush(stream);
    std::rewind(stream);
    std::string text;
    char chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, stream)) > 0) text.append(chunk, got);
    return text;
}

}  // namespace zv::test
