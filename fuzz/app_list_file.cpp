// List files come from other people's machines and the server: any bytes
// must split into lines, and the lines written back must read the same.
#include "core/ListFile.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QStringList lines = orv::ListFile::splitLines(bytes);
    const QByteArray written = orv::ListFile::joinLines(lines);
    if (orv::ListFile::splitLines(written) != lines)
        std::abort();
    // Writing what was read is stable from then on.
    if (orv::ListFile::joinLines(orv::ListFile::splitLines(written)) != written)
        std::abort();
    return 0;
}
