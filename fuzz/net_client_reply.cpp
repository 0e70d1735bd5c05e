// What the client does with a reply before and after it is whole: pieces past
// the size limit are refused and nothing beyond it is kept, only 2xx statuses
// are taken, and a text file received after "Ok" is written so that it reads
// back line for line. (Decompressing gzip and deflate is the transfer
// library's; the limit applies to what it gives after decoding.)
#include "FuzzCheck.h"
#include "core/Cp1252.h"
#include "core/ListFile.h"
#include "net/ServerClient.h"
#include "net/ServerReply.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>

using namespace orv;
using namespace orv::ServerClientDetail;

namespace {

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const long status = in.ConsumeIntegral<long>();
    FUZZ_REQUIRE(isSuccessStatus(status) == (status >= 200 && status < 300));

    // The reply as it arrives, in pieces, against a limit.
    const qint64 limit = in.ConsumeIntegralInRange<qint64>(0, 4096);
    QByteArray reply;
    QByteArray sent;
    bool cut = false;
    while (in.remaining_bytes() > 0) {
        const std::string piece = in.ConsumeRandomLengthString(512);
        sent += QByteArray::fromStdString(piece);
        const qsizetype before = reply.size();
        if (!appendWithinLimit(reply, piece.data(), piece.size(), limit)) {
            FUZZ_REQUIRE(before + qint64(piece.size()) > limit && reply.size() == before);
            cut = true;
            break;  // the transfer ends here
        }
        FUZZ_REQUIRE(reply.size() == before + qsizetype(piece.size()));
    }
    FUZZ_REQUIRE(reply.size() <= limit);
    FUZZ_REQUIRE(cut ? sent.size() > limit : reply == sent);

    // A text file: the lines after "Ok" are what is written.
    const QStringList lines = ServerReply::lines(reply);
    if (ServerReply::isOk(lines)) {
        const QStringList text = lines.mid(1);
        FUZZ_REQUIRE(ListFile::splitLines(ListFile::joinLines(text)) == text);
    }
    // An upload's answer is shown as it came.
    FUZZ_REQUIRE(cp1252::encode(cp1252::decode(reply)) == reply);
    return 0;
}
