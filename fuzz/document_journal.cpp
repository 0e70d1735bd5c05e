// A journal found at start may be cut short, damaged or not a journal at
// all: reading it either refuses it whole or gives a state that writes back
// to exactly the same bytes.
#include "FuzzCheck.h"
#include "core/OrvalisError.h"
#include "document/JournalFile.h"

#include <cstdint>

using namespace orv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    JournalState state;
    try {
        state = JournalFile::decode(bytes);
    } catch (const OrvalisError& error) {
        FUZZ_REQUIRE(!error.text().isEmpty());
        return 0;
    }
    // Whatever was accepted is a whole state: it reads back the same.
    const QByteArray again = JournalFile::encode(state);
    FUZZ_REQUIRE(JournalFile::decode(again) == state);
    return 0;
}
