// The two things the revisions bring in from outside: the record file of the
// last exchanges (a hidden file anyone may have cut or edited) and the
// server's revision listing. A record either reads as nothing or writes back
// to what it read; a listing line is taken only with a plain name, a size and
// a whole lowercase SHA-256.
#include "FuzzCheck.h"
#include "core/ListFile.h"
#include "net/ServerReply.h"
#include "net/SyncPlan.h"
#include "net/SyncRecord.h"

#include <cstdint>

using namespace orv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString server = QStringLiteral("http://127.0.0.1/Orvalis/");

    SyncRecord record;
    if (SyncRecord::parse(bytes, server, record)) {
        SyncRecord again;
        FUZZ_REQUIRE(SyncRecord::parse(record.serialize(), server, again));
        FUZZ_REQUIRE(again.serialize() == record.serialize());
        FUZZ_REQUIRE(!SyncRecord::parse(record.serialize(), server + QLatin1Char('x'), again));
    } else {
        FUZZ_REQUIRE(record.isEmpty());
    }

    QStringList rejected;
    const QStringList lines = ListFile::splitLines(bytes);
    const QList<ServerFile> files = SyncPlan::parseListing(lines, &rejected);
    FUZZ_REQUIRE(files.size() + rejected.size() <= lines.size());
    for (const ServerFile& f : files) {
        FUZZ_REQUIRE(ServerReply::isPlainFileName(f.name));
        FUZZ_REQUIRE(f.size >= 0);
        FUZZ_REQUIRE(f.sha.size() == 64);
        for (char c : f.sha)
            FUZZ_REQUIRE((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'));
    }
    return 0;
}
